// QoS manager: the active mode's rules and the tables behind them.
#include "qosmgr.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "board.h"
#include "dxp.h"
#include "dxpx.h"
#include "fp_share.h"
#include "log_gate.h"
#include "logger.h"
#include "port_reserve.h"
#include "qosmgr_internal.h"
#include "sal_lock.h"
#include "soc_property.h"

namespace {

constexpr int kMaxPorts = 128;

int mode = ENHANCE_MODE_DISABLED;
int group = -1;
int port_prio[kMaxPorts];
int port_entry[kMaxPorts];  // 0: no rule
int dscp_prio[MAX_QOS_DSCP_BASE_NUM];
int tos_prio[MAX_QOS_TOS_BASE_NUM];
qosmgr_ip_base_entry ip_table[MAX_QOS_IP_BASE_NUM];
int ip_entry[MAX_QOS_IP_BASE_NUM];
int ip_count = 0;
int storm_allports = 0;
const char *last_refusal = nullptr;   // why the last rule could not be made
int rows_held = 0;                    // the rules' entries, each taken from the shared rows
int (*queues_moved)(void) = nullptr;  // the other features' rules that hold queues
// Everything above is guarded by qosmgr_lock(): the web pages, the settings
// load and the monitor change it; the rules are made under it too, so a
// mode change and a port change never interleave their field entries.

int queue_of(int priority, int *queue) {
    return dxpx_cosq_mapping_get(priority, queue);
}

void rule_drop(int &entry) {
    if (entry == 0) return;
    DxpUnitLock api(DXPX_CPU_UNIT);  // one wait for it per rule, not per call
    dxpx_field_entry_remove(entry);
    dxpx_field_entry_destroy(entry);
    entry = 0;
    rows_held--;
    fp_rows_shared_give(1);
}

// A new rule's entry, unless it would take a row DoS prevention and ARP
// inspection keep.
int rule_create(int *entry) {
    if (!fp_rows_shared_take(1)) {
        log_refused_printf(LOG_LEVEL_ERROR, LOG_MOD_QOS, "QoS rule refused: %s", FP_ROWS_KEPT_TEXT);
        last_refusal = FP_ROWS_KEPT_TEXT;
        return SOC_E_RESOURCE;
    }
    const int rv = dxpx_field_entry_create_id(group, entry);
    if (rv != 0) {
        fp_rows_shared_give(1);
        last_refusal = dxp_errmsg(rv);
        return rv;
    }
    rows_held++;
    return 0;
}

int rule_finish(int entry, int priority) {
    int queue = 0;
    int rv = queue_of(priority, &queue);
    if (rv == 0)
        rv =
            dxpx_field_action_add(entry, dxpFieldActionPrioIntNew, static_cast<uint32_t>(queue), 0);
    if (rv == 0) rv = dxpx_field_entry_install(entry);
    return rv;
}

// A rule without room refuses the manager's setting (gated, naming the
// sender); any other failure is the switch's own error.
void rule_failed(int rv, const char *what, int number) {
    char line[96];
    std::snprintf(line, sizeof line, "QoS rule of %s %d: %s", what, number, dxp_errmsg(rv));
    if (rv == SOC_E_RESOURCE)
        log_refused_printf(LOG_LEVEL_ERROR, LOG_MOD_QOS, "%s", line);
    else
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_QOS, line);
}

// The rule of user port index+1; its entry id is kept even when a later step
// fails, so that the next change removes it.
int port_rule(int index) {
    DxpUnitLock api(DXPX_CPU_UNIT);  // one wait for it per rule, not per call
    int lport = 0, unit = 0, port = 0;
    int rv = ulpm_to_lport(index + 1, &lport);
    if (rv == 0) rv = dxpx_lport_to_unit_port(lport, &unit, &port);
    if (rv == 0) rv = rule_create(&port_entry[index]);
    // Every port bit is compared, whatever the board.
    if (rv == 0) rv = dxp_field_qualify_SrcPort(DXPX_CPU_UNIT, port_entry[index], 0, -1, port, -1);
    if (rv == 0) rv = rule_finish(port_entry[index], port_prio[index]);
    if (rv != 0) {
        rule_failed(rv, "port", index + 1);
        if (last_refusal == nullptr) last_refusal = dxp_errmsg(rv);
    }
    return rv;
}

// Points port index+1's installed rule at its priority's queue: only the
// rule's action changes, so no row of the field table moves (a new rule
// shifts the rules below it). False when the rule must be made again.
bool port_rule_requeue(int index) {
    if (port_entry[index] == 0) return false;
    DxpUnitLock api(DXPX_CPU_UNIT);
    int queue = 0;
    if (queue_of(port_prio[index], &queue) != 0) return false;
    const int entry = port_entry[index];
    return dxp_field_action_remove(DXPX_CPU_UNIT, entry, dxpFieldActionPrioIntNew) == 0 &&
           dxpx_field_action_add(entry, dxpFieldActionPrioIntNew, static_cast<uint32_t>(queue),
                                 0) == 0 &&
           dxpx_field_entry_reinstall(entry) == 0;
}

// Port index+1's rule for its priority, changed in place where it can be.
int port_rule_update(int index) {
    if (port_rule_requeue(index)) return 0;
    rule_drop(port_entry[index]);
    return port_rule(index);
}

uint32_t be32(const uint8_t b[4]) {
    return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
}

int ip_rule(int i) {
    DxpUnitLock api(DXPX_CPU_UNIT);  // one wait for it per rule, not per call
    int rv = rule_create(&ip_entry[i]);
    if (rv == 0)
        rv = dxpx_field_qualify_SrcIp(ip_entry[i], be32(ip_table[i].ip), be32(ip_table[i].mask));
    if (rv == 0) rv = rule_finish(ip_entry[i], static_cast<int>(ip_table[i].priority));
    if (rv != 0) {
        rule_failed(rv, "IP entry", i + 1);
        if (last_refusal == nullptr) last_refusal = dxp_errmsg(rv);
    }
    return rv;
}

void drop_all_rules() {
    for (int &e : port_entry)
        rule_drop(e);
    for (int &e : ip_entry)
        rule_drop(e);
}

// "Port N: port under self-test (the test's name)" for the first user port
// a self-test holds, or nullptr. The owner is read without the hold's lock.
const char *held_port_text() {
    static char text[96];
    for (int n = 1; n <= board_num_uports; n++) {
        if (!port_reserved_lport(user_port_map[n])) continue;
        sal_snprintf(text, sizeof text, "Port %d: %s", n,
                     port_reserve_held_text_lport(user_port_map[n]));
        return text;
    }
    return nullptr;
}

// The DSCP classification a user port runs (0 off, 2 on), or -1.
int dscp_mode_of(int n) {
    int unit = 0, port = 0, on = 0;
    if (dxpx_lport_to_unit_port(user_port_map[n], &unit, &port) != 0 ||
        dxp_port_dscp_map_mode_get(unit, port, &on) != 0)
        return -1;
    return on;
}

// Every port's DSCP classification, or none changed: a port that refuses
// (a self-test that started meanwhile) gives the ports changed before it
// back. A port that runs the mode already is left alone.
int dscp_mode_all(int map_mode) {
    std::array<int, kMaxPorts + 1> was{};
    for (int n = 1; n <= board_num_uports && n <= kMaxPorts; n++) {
        was[n] = dscp_mode_of(n);
        if (was[n] == map_mode) continue;
        int rv = dxpx_port_dscp_map_mode_set(user_port_map[n], map_mode);
        if (rv == 0) continue;
        for (int back = 1; back < n; back++)
            if (was[back] >= 0 && was[back] != map_mode)
                dxpx_port_dscp_map_mode_set(user_port_map[back], was[back]);
        if (last_refusal == nullptr)
            last_refusal =
                rv == DXP_E_BUSY && held_port_text() != nullptr ? held_port_text() : dxp_errmsg(rv);
        return rv;
    }
    return 0;
}

bool dscp_based(int m) {
    return m == ENHANCE_MODE_DSCP_BASED_QOS || m == ENHANCE_MODE_TOS_BASED_QOS;
}

// The priority the chip's DSCP map gives a code point in a mode: the DSCP
// and ToS modes' own tables, priority 0 in the others. The chip keeps the
// queue of that priority, so the map follows the priority-to-queue map.
int map_priority(int for_mode, int dscp) {
    if (for_mode == ENHANCE_MODE_DSCP_BASED_QOS) return dscp_prio[dscp];
    if (for_mode == ENHANCE_MODE_TOS_BASED_QOS) return tos_prio[dscp / 8];
    return 0;
}

bool map_write(int for_mode, int from, int to) {
    for (int d = from; d < to; d++) {
        if (dxpx_port_dscp_map_set(DXPX_LPORT_ALL, d, d, map_priority(for_mode, d)) != 0)
            return false;
    }
    return true;
}

bool remove_mode(int current) {
    switch (current) {
        case ENHANCE_MODE_DISABLED:
            return true;
        case ENHANCE_MODE_PORT_BASED_QOS:
            for (int &e : port_entry)
                rule_drop(e);
            return true;
        case ENHANCE_MODE_DSCP_BASED_QOS:
        case ENHANCE_MODE_TOS_BASED_QOS:
            if (dscp_mode_all(0) != 0) return false;
            return map_write(ENHANCE_MODE_DISABLED, 0, MAX_QOS_DSCP_BASE_NUM);
        case ENHANCE_MODE_IP_BASED_QOS:
            for (int &e : ip_entry)
                rule_drop(e);
            return true;
        default:
            return false;
    }
}

bool install_mode(int next) {
    switch (next) {
        case ENHANCE_MODE_DISABLED:
            return true;
        case ENHANCE_MODE_PORT_BASED_QOS:
            for (int i = 0; i < board_num_uports && i < kMaxPorts; i++) {
                if (port_rule(i) != 0) return false;
            }
            return true;
        case ENHANCE_MODE_DSCP_BASED_QOS:
        case ENHANCE_MODE_TOS_BASED_QOS:
            return map_write(next, 0, MAX_QOS_DSCP_BASE_NUM) && dscp_mode_all(2) == 0;
        case ENHANCE_MODE_IP_BASED_QOS:
            for (int i = 0; i < ip_count; i++) {
                if (ip_rule(i) != 0) return false;
            }
            return true;
        default:
            return false;
    }
}

}  // namespace

sal_mutex_t qosmgr_lock(void) {
    static sal_mutex_t lock = sal_mutex_create("QOSMGR");
    return lock;
}

int qosmgr_init(void) {
    SalLock hold(qosmgr_lock());
    qos_item_forget_applied();
    drop_all_rules();
    std::memset(ip_table, 0, sizeof ip_table);
    ip_count = 0;
    std::fill(std::begin(port_prio), std::end(port_prio), 0);
    std::fill(std::begin(dscp_prio), std::end(dscp_prio), 0);
    std::fill(std::begin(tos_prio), std::end(tos_prio), 0);
    mode = ENHANCE_MODE_DISABLED;
    // A new unit starts without the group; an old one is replaced.
    if (group >= 0) dxp_field_group_destroy(DXPX_CPU_UNIT, group);
    group = -1;
    // The 26-port board's chip has none: the DSCP and ToS modes run without
    // the group, as the QoS page says.
    if (!soc_feature(DXPX_CPU_UNIT, soc_feature_field)) {
        logger_puts(LOG_LEVEL_WARNING, LOG_MOD_QOS,
                    "This switch has no field processor: port and IP address based QoS cannot "
                    "run on it.");
        return 1;
    }
    dxp_field_qset_t qset{};
    dxp_field_qset_add(&qset, dxpFieldQualifySrcIp);
    dxp_field_qset_add(&qset, dxpFieldQualifySrcPort);
    int rv = dxp_field_group_create(DXPX_CPU_UNIT, qset, QOSMGR_GROUP_PRIO, &group);
    if (rv != 0) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_QOS, "QoS group cannot be created: %s",
                      dxp_errmsg(rv));
        group = -1;
        return 0;
    }
    return 1;
}

const char *qosmgr_refusal(void) {
    SalLock hold(qosmgr_lock());
    return last_refusal;
}

int qosmgr_group_get(void) {
    SalLock hold(qosmgr_lock());
    return group;
}

int qosmgr_mode_get(int *out) {
    SalLock hold(qosmgr_lock());
    *out = mode;
    return 1;
}

const char *qosmgr_mode_held(int next) {
    SalLock hold(qosmgr_lock());
    // The DSCP and ToS modes switch every port's classification, and the
    // port mode has a rule of its own on every port: a port under self-test
    // keeps its own, so a change into or out of them waits for the test.
    const auto per_port = [](int m) { return dscp_based(m) || m == ENHANCE_MODE_PORT_BASED_QOS; };
    if (next == mode || (!per_port(mode) && !per_port(next))) return nullptr;
    return held_port_text();
}

const char *qosmgr_held_port_text(void) {
    SalLock hold(qosmgr_lock());
    return held_port_text();
}

int qosmgr_mode_set(int next) {
    SalLock hold(qosmgr_lock());
    last_refusal = nullptr;
    if (next == mode) return 1;
    // The port and IP address modes are field-processor rules: without the
    // group no rule can be made, and the mode would run as none.
    const bool rules = next == ENHANCE_MODE_PORT_BASED_QOS || next == ENHANCE_MODE_IP_BASED_QOS;
    if (rules && group < 0) return 0;
    // The rebuild waits for the unit lock once, not once per rule or entry;
    // a test marks its ports under it, so none starts between the check
    // below and the rebuild.
    DxpUnitLock api(DXPX_CPU_UNIT);
    if (const char *held = qosmgr_mode_held(next)) {
        last_refusal = held;
        return 0;
    }
    if (!remove_mode(mode)) return 0;
    if (!install_mode(next)) {
        // The switch goes on with the mode it had, not half of the new one.
        remove_mode(next);
        install_mode(mode);
        return 0;
    }
    mode = next;
    return 1;
}

int qos_port_mod_priority_by_index(int index, int priority) {
    SalLock hold(qosmgr_lock());
    if (index < 0 || index >= board_num_uports || index >= kMaxPorts) return 0;
    if (mode != ENHANCE_MODE_PORT_BASED_QOS) return 1;
    const int old = port_prio[index];
    port_prio[index] = priority;
    if (port_rule_update(index) != 0) {
        port_prio[index] = old;
        port_rule_update(index);
        return 0;
    }
    return 1;
}

int qos_port_priorities_set(const int *priorities, int count) {
    SalLock hold(qosmgr_lock());
    if (count < 0 || count > board_num_uports || count > kMaxPorts) return 0;
    if (mode != ENHANCE_MODE_PORT_BASED_QOS) return 1;
    // The form's ports as one wait for the unit lock, not one per rule.
    DxpUnitLock api(DXPX_CPU_UNIT);
    int old[kMaxPorts];
    std::copy(port_prio, port_prio + kMaxPorts, old);
    int failed = -1;
    for (int i = 0; i < count && failed < 0; i++) {
        if (priorities[i] == port_prio[i] && port_entry[i] != 0) continue;
        port_prio[i] = priorities[i];
        if (port_rule_update(i) != 0) failed = i;
    }
    if (failed < 0) return 1;
    // Refused: every port the change touched gets its old rule back.
    for (int i = 0; i <= failed; i++) {
        if (port_prio[i] == old[i] && port_entry[i] != 0) continue;
        port_prio[i] = old[i];
        port_rule_update(i);
    }
    return 0;
}

int qos_port_priority_get_by_index(int index, int *priority) {
    SalLock hold(qosmgr_lock());
    if (index < 0 || index >= board_num_uports || index >= kMaxPorts) return 0;
    *priority = port_prio[index];
    return 1;
}

int qosmgr_dscp_base_set_by_index(int dscp, int priority) {
    SalLock hold(qosmgr_lock());
    if (dscp < 0 || dscp >= MAX_QOS_DSCP_BASE_NUM) return 0;
    dscp_prio[dscp] = priority;
    // Another mode's map stays in the chip until this one is chosen.
    if (mode != ENHANCE_MODE_DSCP_BASED_QOS) return 1;
    return map_write(mode, dscp, dscp + 1) ? 1 : 0;
}

int qosmgr_dscp_base_get_by_index(int dscp, int *priority) {
    SalLock hold(qosmgr_lock());
    if (dscp < 0 || dscp >= MAX_QOS_DSCP_BASE_NUM) return 0;
    *priority = dscp_prio[dscp];
    return 1;
}

int qosmgr_tos_base_set_by_index(int precedence, int priority) {
    SalLock hold(qosmgr_lock());
    if (precedence < 0 || precedence >= MAX_QOS_TOS_BASE_NUM) return 0;
    tos_prio[precedence] = priority;
    if (mode != ENHANCE_MODE_TOS_BASED_QOS) return 1;
    return map_write(mode, precedence * 8, precedence * 8 + 8) ? 1 : 0;
}

void qosmgr_queues_moved_register(int (*moved)(void)) {
    SalLock hold(qosmgr_lock());
    queues_moved = moved;
}

int qosmgr_queues_refresh(int rules) {
    SalLock hold(qosmgr_lock());
    last_refusal = nullptr;
    if (!map_write(mode, 0, MAX_QOS_DSCP_BASE_NUM)) return 0;
    if (queues_moved != nullptr && queues_moved() != 0) return 0;
    return rules == 0 ? 1 : qosmgr_rules_rebuild();
}

int qosmgr_rules_rebuild(void) {
    SalLock hold(qosmgr_lock());
    last_refusal = nullptr;
    if (mode != ENHANCE_MODE_PORT_BASED_QOS && mode != ENHANCE_MODE_IP_BASED_QOS) return 1;
    DxpUnitLock api(DXPX_CPU_UNIT);  // one wait for it for all the rules
    return remove_mode(mode) && install_mode(mode) ? 1 : 0;
}

int qosmgr_tos_base_get_by_index(int precedence, int *priority) {
    SalLock hold(qosmgr_lock());
    if (precedence < 0 || precedence >= MAX_QOS_TOS_BASE_NUM) return 0;
    *priority = tos_prio[precedence];
    return 1;
}

int qosmgr_ip_base_cnt_get(void) {
    SalLock hold(qosmgr_lock());
    return ip_count;
}

int qosmgr_ip_base_full(void) {
    SalLock hold(qosmgr_lock());
    return ip_count >= MAX_QOS_IP_BASE_NUM ? 1 : 0;
}

int qosmgr_ip_base_add(const uint8_t ip[4], const uint8_t mask[4], int priority) {
    SalLock hold(qosmgr_lock());
    if (qosmgr_ip_base_full()) return SOC_E_FULL;
    const int i = ip_count;
    ip_table[i] = {};
    std::memcpy(ip_table[i].ip, ip, 4);
    std::memcpy(ip_table[i].mask, mask, 4);
    ip_table[i].priority = static_cast<uint32_t>(priority);
    if (mode == ENHANCE_MODE_IP_BASED_QOS) {
        int rv = ip_rule(i);
        if (rv != 0) {
            rule_drop(ip_entry[i]);
            ip_table[i] = {};
            return rv;
        }
    }
    ip_count++;
    return i;
}

int qosmgr_ip_base_delete_by_index(int index) {
    SalLock hold(qosmgr_lock());
    if (index < 0 || index >= ip_count) return 0;
    for (int &e : ip_entry)
        rule_drop(e);
    std::copy(ip_table + index + 1, ip_table + ip_count, ip_table + index);
    ip_count--;
    ip_table[ip_count] = {};
    if (mode != ENHANCE_MODE_IP_BASED_QOS) return 1;
    for (int i = 0; i < ip_count; i++) {
        if (ip_rule(i) != 0) return 0;
    }
    return 1;
}

int qosmgr_ip_base_get_by_index(int index, uint8_t ip[4], uint8_t mask[4], int *priority) {
    SalLock hold(qosmgr_lock());
    if (index < 0 || index >= ip_count) return 0;
    std::memcpy(ip, ip_table[index].ip, 4);
    std::memcpy(mask, ip_table[index].mask, 4);
    *priority = static_cast<int>(ip_table[index].priority);
    return 1;
}

int qosmgr_ip_base_set_by_index(int index, int priority) {
    SalLock hold(qosmgr_lock());
    if (index < 0 || index >= ip_count) return 0;
    ip_table[index].priority = static_cast<uint32_t>(priority);
    rule_drop(ip_entry[index]);
    if (mode != ENHANCE_MODE_IP_BASED_QOS) return 1;
    return ip_rule(index) == 0 ? 1 : 0;
}

int qosmgr_ip_base_find(const uint8_t ip[4], const uint8_t mask[4]) {
    SalLock hold(qosmgr_lock());
    for (int i = 0; i < ip_count; i++) {
        if (std::memcmp(ip_table[i].ip, ip, 4) == 0 && std::memcmp(ip_table[i].mask, mask, 4) == 0)
            return i;
    }
    return -1;
}

void qosmgr_tables_replace(const int *priorities, int ports, const qosmgr_ip_base_entry *ip,
                           int count) {
    drop_all_rules();
    for (int i = 0; i < kMaxPorts; i++)
        port_prio[i] = i < ports ? priorities[i] : 0;
    std::memset(ip_table, 0, sizeof ip_table);
    ip_count = std::min(count, MAX_QOS_IP_BASE_NUM);
    std::copy(ip, ip + ip_count, ip_table);
}

void storm_allports_init(void) {
    SalLock hold(qosmgr_lock());
    storm_allports = 0;
}

void storm_allports_set(int value) {
    SalLock hold(qosmgr_lock());
    storm_allports = value;
}

void storm_allports_get(int *value) {
    SalLock hold(qosmgr_lock());
    *value = storm_allports;
}
