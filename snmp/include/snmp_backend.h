// The application side of the SNMP agent: the request block that the agent's
// MIB modules fill, the value handler that answers it from the switch API and
// the board port map, and the small callback registry between the two.
#pragma once

#include <cstdint>

// One request from an agent module to the application.
struct snmp_param_block {
    int32_t selector = 0;   // SNMP_SEL_*
    int32_t direction = 0;  // SNMP_DIR_*
    int32_t item = 0;       // item code (system 0-6, interfaces 7-29, dot3 30-50)
    int32_t port = 0;       // ifIndex = user port 1..N
    int32_t value = 0;      // integer result, or an OID result's length in bytes (4 per sub-id)
    char text[128] = {};    // NUL-terminated text; 6 raw bytes for ifPhysAddress
    uint32_t oid[16] = {};  // object-identifier result
};

constexpr int SNMP_SEL_SYSTEM = 0;
constexpr int SNMP_SEL_INTERFACES = 1;
constexpr int SNMP_SEL_DOT3 = 2;

constexpr int SNMP_DIR_READ = 0;
constexpr int SNMP_DIR_WRITE = 1;
// Whether a write of the item would be taken now, changing nothing: 0 yes,
// 1 no (a port held by a self-test; the text says so, naming the test). The
// agent asks before a SET changes anything, so that a request it must refuse
// leaves every object as it was.
constexpr int SNMP_DIR_CHECK = 2;

// Callback slots of the application registry. They carry the agent's old
// (major, minor) numbers but never reach net-snmp, whose own slots with the
// same numbers mean something else.
constexpr int SNMP_CB_MIB_VALUE_MAJOR = 1;
constexpr int SNMP_CB_MIB_VALUE_MINOR = 6;

using snmp_app_callback_fn = int (*)(int major, int minor, void *data, void *arg);
// 0, or -1 when the slot is out of range or full.
int snmp_app_callback_register(int major, int minor, snmp_app_callback_fn fn, void *arg);
// Calls every callback of the slot in registration order; the last result,
// or 1 when the slot is empty.
int snmp_app_callbacks_call(int major, int minor, void *data);

// The value handler of slot (1, 6): 0 served, 1 not served (block unchanged
// or cleared as each item says).
int snmp_mib_callback(int major, int minor, void *block, void *arg);
int snmp_system_value(snmp_param_block *b);
int snmp_interface_value(snmp_param_block *b);
int snmp_dot3_value(snmp_param_block *b);

// MAC address of a user port: the base MAC ("et1macaddr", else "et0macaddr")
// plus the port, the carry running into the higher bytes except byte 0.
void snmp_port_mac_get(int port, uint8_t mac_out[6]);
// "aa:bb-cc:dd:ee:ff" (groups of 1-2 hex digits) or "0x" + up to 12 hex
// digits; 0, or -1 when the text does not parse (mac_out then unchanged).
int mac_str_parse(const char *text, uint8_t mac_out[6]);

// Between these the calling thread answers one request: each kind of port
// state a cell needs is read for every port at once, under one take of the
// unit lock, and kept for the next requests until a port setter is called,
// a link changes or half a second has passed. Called by the agent's thread
// under the agent lock.
void snmp_values_batch_begin(void);
void snmp_values_batch_end(void);
// A port's link changed: the kept port state is read again. Any thread.
void snmp_values_port_state_changed(void);

// Registers the value handler; once, at start-up.
void snmp_backend_init(void);
