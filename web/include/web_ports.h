// The port pages: port settings (the flow-control and PVID tables and the
// "portconf" settings item), the port status page with the front panel, and
// the port statistics pages.
#pragma once

#include <cstdint>

#include "dxpx.h"
#include "httpd.h"
#include "serialize.h"

// ---- port settings tables, indexed by user port - 1
// Out-of-range indexes are ignored (set) or read as 0 (get).
void port_flowctrl_set(int index, int value);
int port_flowctrl_get(int index);
// Sets every PVID that is 0 to 1; returns 1.
int port_pvid_init(void);
int port_pvid_get(int index);
// Changes one port's PVID and keeps the CPU's MAC address in exactly the
// VLANs that are some port's PVID; 1, or 0 when the address could not be
// moved (the table then keeps the old PVID).
int setportcbk_PVID_set(int index, int pvid);

// The CPU's MAC as a static address record of VLAN `vid`; 1 once the
// management driver knows the address, else 0. Registered by the program;
// without it only the PVID table changes.
using port_cpu_l2_addr_fn = int (*)(dxp_vlan_t vid, dxpx_l2_addr_t *record);
void port_cpu_l2_addr_source_set(port_cpu_l2_addr_fn fn);

// The "portconf" settings item: per user port its enable, auto-negotiation,
// speed, duplex, advertisement, flow control, priority and PVID.
int port_settings_item(int op, settings_medium *m);

// ---- port settings page
int ssphandler_setport_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_portset_cgi(httpd_event *ev, httpd_request *req);
// Selectors 8-15 of the edit form (port type, enable, auto-negotiation,
// speed code, flow control, priority, PVID, port label).
void sspvar_portset_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);

// ---- port status page and front panel
// argument 0: port index; 1: column 11 speed/duplex, 12 flow control,
// 14 PVID, 16 link; 2: 3 first half, 4 second half.
void sspvar_port_tag_status(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
int panel_hook(httpd_event *ev, httpd_request *req);
void sspvar_panel_tag_states(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
// argument 0: port index; 1: LED 19 above 100 Mb/s, 20 100 Mb/s, 21 duplex,
// 22 link.
void sspvar_panel_tag_led(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_panel_tag_ledsize(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_panel_tag_cellsize(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
int ssploop_panel_tag_fastports(const uint16_t args[3], int index, httpd_request *req);

// Bits of a user port's state word on the front panel: the link, its
// duplex and speed class, a disabled port, and a port able to run above
// 100 Mb/s.
enum panel_state_bit : int {
    PANEL_LINK = 0x1,
    PANEL_FULL_DUPLEX = 0x2,
    PANEL_100M = 0x4,
    PANEL_ABOVE_100M = 0x8,
    PANEL_DISABLED = 0x10,
    PANEL_GIGABIT_PORT = 0x80,
};
// The state word of user port 1..N; with `live` false only the port class.
int panel_port_state(int uport, bool live);

// ---- port statistics pages
int ssphandler_counters_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_clear_counter_cgi(httpd_event *ev, httpd_request *req);
void sspvar_statist_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_counters_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
// Clears the counters of every user port (results ignored).
void port_counters_clear_all(void);
// The "STATISTICS" error page with the switch code's message; returns 1.
int stat_err_page(httpd_event *ev, httpd_request *req, int code);
