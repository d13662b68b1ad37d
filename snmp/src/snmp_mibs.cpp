// The agent-side MIB modules: the system group, the interfaces group and the
// Ethernet-like statistics. They never read the switch: each fills its
// request block and hands it to the application's value handler.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "board.h"
#include "dxpx.h"
#include "log_gate.h"
#include "logger.h"
#include "sal.h"
#include "snmp_backend.h"
#include "snmp_mibs.h"
#include "snmp_netsnmp.h"
#include "snmp_request_queue.h"

namespace snmpmib {
namespace {

snmp_param_block *system_block;
snmp_param_block *interface_block;
snmp_param_block *dot3_block;
long if_number = -1;
// ifLastChange by ifIndex - 1: stamped by link scan, in the agent's
// up-time, so that no read can miss or consume a change.
std::atomic<u_long> last_change[128];

// Results handed back to the agent: it copies them before the next call.
long long_result;
u_char text_result[128];
oid oid_result[16];

// Link changes whose linkUp or linkDown trap the agent thread has yet to
// send: link scan must not wait for the agent lock. A burst beyond the room
// is counted by port with the state it left.
struct LinkEvent {
    int uport;
    bool up;
};
constexpr size_t kLinkEvents = 64;
constexpr int kLinkPorts = 128;
LinkEvent link_events[kLinkEvents];
size_t link_event_count;
uint32_t link_events_lost[kLinkPorts];  // by uport - 1
bool link_lost_up[kLinkPorts];          // the state the latest lost change left

// A host can take its link up and down as often as it likes, and each
// change would reach every trap station. Each port's notifications come
// from a bucket of kLinkTrapBurst that one token a kLinkTrapRefillSecs
// fills again; a change that finds it empty (or no room in the queue) is
// counted in the log instead, and once a token is back the port's state
// then is notified, unless the latest notification already said it.
// The agent thread's own.
constexpr uint32_t kLinkTrapBurst = 4;
constexpr uint32_t kLinkTrapRefillSecs = 30;
struct LinkTrapBudget {
    uint32_t full_at = 0;  // sal_time when the bucket is full again
    int unsent = -1;       // the state (1 up) a change left unnotified; -1 none
    int sent = -1;         // the state the latest notification said
};
LinkTrapBudget link_trap_budget[kLinkPorts];

sal_mutex_t link_event_mutex() {
    static sal_mutex_t m = sal_mutex_create("snmp link traps");
    return m;
}

// Link scan's report of a port whose link went up or down.
void link_changed(int lport, dxp_port_info *info) {
    int uport = 0;
    if (ulpm_to_uport(lport, &uport) != 0 || uport < 1 || uport > 128) return;
    snmp_values_port_state_changed();
    last_change[uport - 1] = netsnmp_get_agent_uptime();
    if (info == nullptr) return;
    sal_mutex_take(link_event_mutex(), sal_mutex_FOREVER);
    if (link_event_count < kLinkEvents) {
        link_events[link_event_count++] = {.uport = uport, .up = info->linkstatus != 0};
    } else {
        link_events_lost[uport - 1]++;
        link_lost_up[uport - 1] = info->linkstatus != 0;
    }
    sal_mutex_give(link_event_mutex());
}

int ask(snmp_param_block *b) {
    return snmp_app_callbacks_call(SNMP_CB_MIB_VALUE_MAJOR, SNMP_CB_MIB_VALUE_MINOR, b);
}

long interface_count() {
    if (if_number < 0) {
        snmp_param_block b{};
        b.selector = SNMP_SEL_INTERFACES;
        b.item = 7;
        if (ask(&b) == 0) if_number = b.value;
    }
    return if_number < 0 ? 0 : if_number;
}

// Scalar: the instance is name.0.
bool match_scalar(struct variable *vp, oid *name, size_t *length, int exact) {
    oid want[MAX_OID_LEN];
    size_t n = vp->namelen;
    std::memcpy(want, vp->name, n * sizeof(oid));
    want[n++] = 0;
    int cmp = snmp_oid_compare(name, *length, want, n);
    if (exact ? cmp != 0 : cmp >= 0) return false;
    std::memcpy(name, want, n * sizeof(oid));
    *length = n;
    return true;
}

// Table of rows 1..rows under vp->name: the row index, or 0 for none.
long match_row(struct variable *vp, oid *name, size_t *length, int exact, long rows) {
    oid want[MAX_OID_LEN];
    size_t n = vp->namelen;
    std::memcpy(want, vp->name, n * sizeof(oid));
    if (exact) {
        if (*length != n + 1 || snmp_oid_compare(name, n, want, n) != 0) return 0;
        return name[n] >= 1 && name[n] <= static_cast<oid>(rows) ? static_cast<long>(name[n]) : 0;
    }
    for (long row = 1; row <= rows; row++) {
        want[n] = static_cast<oid>(row);
        if (snmp_oid_compare(want, n + 1, name, *length) > 0) {
            std::memcpy(name, want, (n + 1) * sizeof(oid));
            *length = n + 1;
            return row;
        }
    }
    return 0;
}

u_char *integer(long value, size_t *var_len) {
    long_result = value;
    *var_len = sizeof long_result;
    return reinterpret_cast<u_char *>(&long_result);
}

u_char *text(const char *src, size_t len, size_t *var_len) {
    len = std::min(len, sizeof text_result);
    std::memcpy(text_result, src, len);
    *var_len = len;
    return text_result;
}

u_char *object_id(const snmp_param_block &b, size_t *var_len) {
    size_t n = std::min<size_t>(static_cast<size_t>(b.value) / 4, 16);
    for (size_t i = 0; i < n; i++)
        oid_result[i] = b.oid[i];
    *var_len = n * sizeof(oid);
    return reinterpret_cast<u_char *>(oid_result);
}

// ---- system group

enum SystemMagic : u_char {
    kSysDescr = 1,
    kSysObjectId,
    kSysUpTime,
    kSysContact,
    kSysName,
    kSysLocation,
    kSysServices,  // sysORLastChange (.8) belongs to the sysORTable module
};

// Old texts kept from RESERVE2 for UNDO, by item (0-6).
char saved_system_text[7][128];

int system_item_of(const oid *name, size_t length) {
    if (length < 8) return -1;
    switch (name[7]) {
        case 1:
            return 0;
        case 4:
            return 3;
        case 5:
            return 4;
        case 6:
            return 5;
        default:
            return -1;
    }
}

int system_write(int item, const char *bytes, size_t len) {
    snmp_param_block *b = system_block;
    b->selector = SNMP_SEL_SYSTEM;
    b->direction = 1;
    b->item = item;
    std::memcpy(b->text, bytes, len);
    b->text[len] = '\0';
    return ask(b);
}

int write_system(int action, u_char *var_val, u_char var_val_type, size_t var_val_len, u_char *,
                 oid *name, size_t name_len) {
    int item = system_item_of(name, name_len);
    if (item < 0) return SNMP_ERR_GENERR;
    switch (action) {
        case RESERVE1:
            if (var_val_type != ASN_OCTET_STR) {
                DEBUGMSGTL(("snmpmib", "not string\n"));
                return SNMP_ERR_WRONGTYPE;
            }
            // The texts hold 127 bytes and a NUL.
            if (var_val_len > 127) {
                DEBUGMSGTL(("snmpmib", "bad length\n"));
                return SNMP_ERR_WRONGLENGTH;
            }
            for (size_t i = 0; i < var_val_len; i++) {
                if (var_val[i] < 0x20 || var_val[i] > 0x7E) {
                    DEBUGMSGTL(("snmpmib", "not print %x\n", var_val[i]));
                    return SNMP_ERR_WRONGVALUE;
                }
            }
            return SNMP_ERR_NOERROR;
        case RESERVE2: {
            // Kept before ACTION: UNDO also reaches a varbind whose ACTION
            // never ran.
            snmp_param_block *b = system_block;
            b->selector = SNMP_SEL_SYSTEM;
            b->direction = 0;
            b->item = item;
            if (ask(b) != 0) return SNMP_ERR_RESOURCEUNAVAILABLE;
            std::snprintf(saved_system_text[item], sizeof saved_system_text[item], "%s", b->text);
            return SNMP_ERR_NOERROR;
        }
        case ACTION:
            return system_write(item, reinterpret_cast<const char *>(var_val), var_val_len) == 0
                       ? SNMP_ERR_NOERROR
                       : SNMP_ERR_GENERR;
        case UNDO:
            system_write(item, saved_system_text[item], std::strlen(saved_system_text[item]));
            return SNMP_ERR_NOERROR;
        default:
            return SNMP_ERR_NOERROR;
    }
}

u_char *var_system(struct variable *vp, oid *name, size_t *length, int exact, size_t *var_len,
                   WriteMethod **write_method) {
    if (!match_scalar(vp, name, length, exact)) return nullptr;
    if (vp->magic == kSysUpTime)
        return integer(static_cast<long>(netsnmp_get_agent_uptime()), var_len);
    if (vp->magic < kSysDescr || vp->magic > kSysServices) return nullptr;
    snmp_param_block *b = system_block;
    *b = {};
    b->selector = SNMP_SEL_SYSTEM;
    b->item = vp->magic - 1;
    if (ask(b) != 0) return nullptr;
    switch (vp->magic) {
        case kSysServices:
            return integer(b->value, var_len);
        case kSysObjectId:
            return object_id(*b, var_len);
        default:
            *write_method = write_system;
            return text(b->text, std::strlen(b->text), var_len);
    }
}

// ---- interfaces group

constexpr u_char kIfNumber = 0;
constexpr int kIfAdminStatusColumn = 7;
constexpr int kIfLastChangeColumn = 9;

// What a SET request does to each row's ifAdminStatus: the value it writes,
// the value before it, and whether the ACTION phase wrote it, so that a
// request that fails later puts the port back.
struct AdminChange {
    long want = 0;
    long before = 0;
    bool applied = false;
};
constexpr long kAdminRows = 128;
AdminChange admin_changes[kAdminRows + 1];

snmp_param_block admin_block(long row, int direction, long value) {
    snmp_param_block b{};
    b.selector = SNMP_SEL_INTERFACES;
    b.direction = direction;
    b.item = 14;
    b.port = static_cast<int32_t>(row);
    b.value = static_cast<int32_t>(value);
    return b;
}

// The port takes a write now (a self-test holds none of it). The answer
// carries only an error status: the log says which test holds the port (a
// manager's refused request is no fault of the switch: a warning).
bool admin_writable(long row) {
    snmp_param_block b = admin_block(row, SNMP_DIR_CHECK, 0);
    if (ask(&b) == 0) return true;
    // A manager may repeat the request as often as it likes: gated.
    static log_gate refused_log{.burst = 10};
    const log_source from = log_source_ipv4(snmp_request_queue::serving());
    char sender[24];
    log_source_text(from, sender, sizeof sender);
    if (b.text[0] != '\0')
        log_gate_printf(&refused_log, from, LOG_LEVEL_WARNING, LOG_MOD_SNMPD,
                        "ifAdminStatus.%ld not set: %s (request from %s)", row, b.text, sender);
    return false;
}

bool admin_write(long row, long value) {
    snmp_param_block b = admin_block(row, SNMP_DIR_WRITE, value);
    return ask(&b) == 0;
}

// Everything that can refuse the write is checked in RESERVE1 and RESERVE2;
// the port changes in ACTION, where a later variable's failure still
// reaches UNDO. COMMIT changes nothing, as the agent undoes nothing after it.
int write_ifAdminStatus(int action, u_char *var_val, u_char var_val_type, size_t var_val_len,
                        u_char *, oid *name, size_t name_len) {
    constexpr size_t kColumnAt = 9;  // 1.3.6.1.2.1.2.2.1.<column>.<row>
    if (name_len != kColumnAt + 2 || name[kColumnAt] != kIfAdminStatusColumn)
        return SNMP_ERR_NOCREATION;
    long row = static_cast<long>(name[kColumnAt + 1]);
    // Only a row that RESERVE1 took reaches the later phases with work.
    if (action != RESERVE1 && (row < 1 || row > kAdminRows)) return SNMP_ERR_NOERROR;
    switch (action) {
        case RESERVE1:
            if (var_val_type != ASN_INTEGER) {
                sal_printf("write to ifAdminStatus not ASN_INTEGER\n");
                return SNMP_ERR_WRONGTYPE;
            }
            if (var_val_len > sizeof(long)) {
                sal_printf("write to ifAdminStatus: bad length\n");
                return SNMP_ERR_WRONGLENGTH;
            }
            if (row < 1 || row > std::min(interface_count(), kAdminRows))
                return SNMP_ERR_NOCREATION;
            // Not badValue: that is SNMPv1's; the agent maps this one back for
            // a v1 request. The ports have no testing(3) state: taken, it
            // would switch the port off and read back as down(2).
            if (long value = *reinterpret_cast<long *>(var_val); value < 1 || value > 2)
                return SNMP_ERR_WRONGVALUE;
            // A port a self-test holds takes no change until the test ends.
            return admin_writable(row) ? SNMP_ERR_NOERROR : SNMP_ERR_INCONSISTENTVALUE;
        case RESERVE2: {
            snmp_param_block b = admin_block(row, SNMP_DIR_READ, 0);
            if (ask(&b) != 0) return SNMP_ERR_RESOURCEUNAVAILABLE;
            admin_changes[row] = {.want = *reinterpret_cast<long *>(var_val), .before = b.value};
            return SNMP_ERR_NOERROR;
        }
        case ACTION: {
            AdminChange &c = admin_changes[row];
            if (!admin_write(row, c.want))
                return admin_writable(row) ? SNMP_ERR_GENERR : SNMP_ERR_INCONSISTENTVALUE;
            c.applied = true;
            return SNMP_ERR_NOERROR;
        }
        case UNDO: {
            AdminChange &c = admin_changes[row];
            bool restored = !c.applied || admin_write(row, c.before);
            c = {};
            return restored ? SNMP_ERR_NOERROR : SNMP_ERR_UNDOFAILED;
        }
        case COMMIT:
        case FREE:
            admin_changes[row] = {};
            return SNMP_ERR_NOERROR;
        default:
            return SNMP_ERR_NOERROR;
    }
}

u_char *var_interfaces(struct variable *vp, oid *name, size_t *length, int exact, size_t *var_len,
                       WriteMethod **) {
    if (!match_scalar(vp, name, length, exact)) return nullptr;
    return integer(interface_count(), var_len);
}

u_char *var_ifEntry(struct variable *vp, oid *name, size_t *length, int exact, size_t *var_len,
                    WriteMethod **write_method) {
    if (vp->magic == kIfAdminStatusColumn) *write_method = write_ifAdminStatus;
    long row = match_row(vp, name, length, exact, interface_count());
    if (row == 0) return nullptr;
    snmp_param_block *b = interface_block;
    *b = {};
    b->selector = SNMP_SEL_INTERFACES;
    b->item = vp->magic + 7;
    b->port = static_cast<int32_t>(row);
    if (vp->magic == kIfLastChangeColumn)
        return integer(row <= 128 ? static_cast<long>(last_change[row - 1].load()) : 0, var_len);
    if (ask(b) != 0 && (b->item == 14 || b->item == 15)) return nullptr;
    switch (vp->magic) {
        case 2:
            return text(b->text, std::strlen(b->text), var_len);
        case 6:
            return text(b->text, 6, var_len);
        case 22:
            oid_result[0] = 0;
            oid_result[1] = 0;
            *var_len = 2 * sizeof(oid);
            return reinterpret_cast<u_char *>(oid_result);
        default:
            return integer(static_cast<long>(static_cast<uint32_t>(b->value)), var_len);
    }
}

// ---- Ethernet-like statistics and collisions

// dot3StatsTable column -> item.
int dot3_item(int column) {
    if (column >= 1 && column <= 11) return 29 + column;
    switch (column) {
        case 13:
            return 41;
        case 16:
            return 42;
        case 17:
            return 44;
        case 18:
            return 43;
        case 19:
            return 45;
        case 20:
            return 46;
        case 21:
            return 47;
        default:
            return -1;
    }
}

constexpr u_char kCollBase = 100;  // dot3CollTable columns: magic 101..103

u_char *dot3_answer(struct variable *vp, oid *name, size_t *length, int exact, size_t *var_len,
                    int item) {
    long row = match_row(vp, name, length, exact, interface_count());
    if (row == 0 || item < 0) return nullptr;
    snmp_param_block *b = dot3_block;
    *b = {};
    b->selector = SNMP_SEL_DOT3;
    b->item = item;
    b->port = static_cast<int32_t>(row);
    ask(b);
    if (item == 44) return object_id(*b, var_len);
    return integer(
        static_cast<long>((item >= 31 && item <= 43) || item == 50 ? static_cast<uint32_t>(b->value)
                                                                   : b->value),
        var_len);
}

u_char *var_dot3StatsEntry(struct variable *vp, oid *name, size_t *length, int exact,
                           size_t *var_len, WriteMethod **) {
    return dot3_answer(vp, name, length, exact, var_len, dot3_item(vp->magic));
}

u_char *var_dot3CollEntry(struct variable *vp, oid *name, size_t *length, int exact,
                          size_t *var_len, WriteMethod **) {
    return dot3_answer(vp, name, length, exact, var_len, 48 + (vp->magic - kCollBase - 1));
}

// One integer column of ifTable's row as a trap variable.
void add_if_column(netsnmp_variable_list **vars, oid column, int uport, long value) {
    oid name[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, column, static_cast<oid>(uport)};
    snmp_varlist_add_variable(vars, name, OID_LENGTH(name), ASN_INTEGER, &value, sizeof value);
}

snmp_param_block *new_block(const char *tag) {
    return static_cast<snmp_param_block *>(sal_alloc(sizeof(snmp_param_block), tag));
}

struct variable1 scalar(u_char magic, u_char type, u_short acl, oid sub) {
    return {.magic = magic,
            .type = type,
            .acl = acl,
            .findVar = var_system,
            .namelen = 1,
            .name = {sub}};
}

struct variable3 table_column(u_char magic, u_char type, u_short acl, FindVarMethod *find,
                              oid entry, oid table, oid column) {
    return {.magic = magic,
            .type = type,
            .acl = acl,
            .findVar = find,
            .namelen = 3,
            .name = {entry, table, column}};
}

}  // namespace

void init_system_mib() {
    static struct variable1 vars[] = {
        scalar(kSysDescr, ASN_OCTET_STR, NETSNMP_OLDAPI_RONLY, 1),
        scalar(kSysObjectId, ASN_OBJECT_ID, NETSNMP_OLDAPI_RONLY, 2),
        scalar(kSysUpTime, ASN_TIMETICKS, NETSNMP_OLDAPI_RONLY, 3),
        scalar(kSysContact, ASN_OCTET_STR, NETSNMP_OLDAPI_RWRITE, 4),
        scalar(kSysName, ASN_OCTET_STR, NETSNMP_OLDAPI_RWRITE, 5),
        scalar(kSysLocation, ASN_OCTET_STR, NETSNMP_OLDAPI_RWRITE, 6),
        scalar(kSysServices, ASN_INTEGER, NETSNMP_OLDAPI_RONLY, 7),
    };
    static oid base[] = {1, 3, 6, 1, 2, 1, 1};
    system_block = new_block("system_param");
    REGISTER_MIB("mibII/system", vars, variable1, base);
}

void init_interfaces() {
    static struct variable3 vars[23] = {
        {.magic = kIfNumber,
         .type = ASN_INTEGER,
         .acl = NETSNMP_OLDAPI_RONLY,
         .findVar = var_interfaces,
         .namelen = 1,
         .name = {1}},
    };
    static const u_char types[22] = {
        ASN_INTEGER, ASN_OCTET_STR, ASN_INTEGER,   ASN_INTEGER,   ASN_GAUGE,   ASN_OCTET_STR,
        ASN_INTEGER, ASN_INTEGER,   ASN_TIMETICKS, ASN_COUNTER,   ASN_COUNTER, ASN_COUNTER,
        ASN_COUNTER, ASN_COUNTER,   ASN_COUNTER,   ASN_COUNTER,   ASN_COUNTER, ASN_COUNTER,
        ASN_COUNTER, ASN_COUNTER,   ASN_GAUGE,     ASN_OBJECT_ID,
    };
    for (int column = 1; column <= 22; column++) {
        u_short acl = column == kIfAdminStatusColumn ? NETSNMP_OLDAPI_RWRITE : NETSNMP_OLDAPI_RONLY;
        vars[column] = table_column(static_cast<u_char>(column), types[column - 1], acl,
                                    var_ifEntry, 2, 1, static_cast<oid>(column));
    }
    static oid base[] = {1, 3, 6, 1, 2, 1, 2};
    interface_block = new_block("interface_parms");
    REGISTER_MIB("interfaces", vars, variable3, base);
    u_long now = netsnmp_get_agent_uptime();
    for (std::atomic<u_long> &stamp : last_change)
        stamp = now;
    dxpx_linkscan_unregister(link_changed);  // a second start registers once
    dxpx_linkscan_register(link_changed);
}

void init_dot3() {
    static const int columns[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 16, 17, 18, 19, 20, 21};
    static struct variable3 vars[20];
    int n = 0;
    for (int column : columns) {
        u_char type = ASN_COUNTER;
        if (column == 1 || column >= 19) type = ASN_INTEGER;
        if (column == 17) type = ASN_OBJECT_ID;
        vars[n++] = table_column(static_cast<u_char>(column), type, NETSNMP_OLDAPI_RONLY,
                                 var_dot3StatsEntry, 2, 1, static_cast<oid>(column));
    }
    vars[n++] =
        table_column(kCollBase + 1, ASN_INTEGER, NETSNMP_OLDAPI_RONLY, var_dot3CollEntry, 5, 1, 1);
    vars[n++] =
        table_column(kCollBase + 3, ASN_COUNTER, NETSNMP_OLDAPI_RONLY, var_dot3CollEntry, 5, 1, 3);
    static oid base[] = {1, 3, 6, 1, 2, 1, 10, 7};
    dot3_block = new_block("dot3_parms");
    REGISTER_MIB("dot3", vars, variable3, base);
}

namespace {

bool link_trap_token(LinkTrapBudget &b, uint32_t now) {
    const int64_t owed = std::max<int64_t>(0, static_cast<int64_t>(b.full_at) - now);
    if (owed + kLinkTrapRefillSecs > int64_t{kLinkTrapBurst} * kLinkTrapRefillSecs) return false;
    b.full_at = static_cast<uint32_t>(now + owed + kLinkTrapRefillSecs);
    return true;
}

void send_link_trap(int uport, bool up) {
    snmp_param_block b{};
    b.selector = SNMP_SEL_INTERFACES;
    b.item = 14;
    b.port = uport;
    long admin = ask(&b) == 0 ? b.value : 1;
    // The objects a linkDown or linkUp notification carries.
    netsnmp_variable_list *vars = nullptr;
    add_if_column(&vars, 1, uport, uport);
    add_if_column(&vars, kIfAdminStatusColumn, uport, admin);
    add_if_column(&vars, 8, uport, up ? 1 : 2);
    send_trap_vars(up ? SNMP_TRAP_LINKUP : SNMP_TRAP_LINKDOWN, 0, vars);
    snmp_free_varbind(vars);
    link_trap_budget[uport - 1].sent = up;
}

void count_unsent(int uport, bool up) {
    static log_gate unsent_log;
    log_gate_printf(&unsent_log, log_source_port(uport), LOG_LEVEL_INFO, LOG_MOD_SNMPD,
                    "snmpd: port %d's link changes too often: a linkUp or linkDown notification "
                    "not sent",
                    uport);
    link_trap_budget[uport - 1].unsent = up;
}

}  // namespace

void send_link_traps() {
    LinkEvent pending[kLinkEvents];
    uint32_t lost[kLinkPorts];
    bool lost_up[kLinkPorts];
    sal_mutex_take(link_event_mutex(), sal_mutex_FOREVER);
    size_t n = link_event_count;
    std::copy_n(link_events, n, pending);
    link_event_count = 0;
    std::copy_n(link_events_lost, kLinkPorts, lost);
    std::copy_n(link_lost_up, kLinkPorts, lost_up);
    std::fill_n(link_events_lost, kLinkPorts, 0);
    sal_mutex_give(link_event_mutex());
    const uint32_t now = sal_time();
    for (size_t i = 0; i < n; i++) {
        const LinkEvent &e = pending[i];
        LinkTrapBudget &budget = link_trap_budget[e.uport - 1];
        if (link_trap_token(budget, now)) {
            send_link_trap(e.uport, e.up);
            budget.unsent = -1;
        } else {
            count_unsent(e.uport, e.up);
        }
    }
    // Lost changes came after every queued one.
    for (int p = 0; p < kLinkPorts; p++) {
        for (uint32_t i = 0; i < lost[p]; i++)
            count_unsent(p + 1, lost_up[p]);
    }
    // The state a flapping link was left in reaches the stations once a
    // token is back.
    for (int p = 0; p < kLinkPorts; p++) {
        LinkTrapBudget &budget = link_trap_budget[p];
        if (budget.unsent < 0) continue;
        if (budget.unsent == budget.sent) {
            budget.unsent = -1;
        } else if (link_trap_token(budget, now)) {
            send_link_trap(p + 1, budget.unsent == 1);
            budget.unsent = -1;
        }
    }
}

void init_mib_modules() {
    init_system_mib();
    init_sysORTable();
    static oid snmpv2_mib[] = {1, 3, 6, 1, 6, 3, 1};
    register_sysORTable(snmpv2_mib, OID_LENGTH(snmpv2_mib), "The MIB module for SNMPv2 entities");
    init_interfaces();
    // The IP, ICMP, TCP and UDP groups describe the stack the management
    // servers run on, which is the host's here: net-snmp's own modules serve it.
    netsnmp_access_interface_init();  // the address table looks interfaces up
    init_ip();
    init_icmp();
    init_tcp();
    init_udp();
    init_dot3();
    init_rmonlite();
    init_snmp_mib();
    init_snmpEngine();
    init_snmpMPDStats();
    init_usmStats();
    init_usmUser();
    init_vacm_vars();
    init_vacm_conf();
}

}  // namespace snmpmib
