// Dynamic ARP inspection: the binding database, trusted ports, inspected
// VLANs, aging, and the chip set-up that brings ARP and DHCP to the CPU.
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "board.h"
#include "dai_internal.h"
#include "daimgr.h"
#include "dosmgr_internal.h"
#include "drv_reg_rmw.h"
#include "dxpx.h"
#include "log_gate.h"
#include "logger.h"
#include "nvram.h"
#include "port_reserve.h"
#include "pvk.h"
#include "sal.h"
#include "sal_lock.h"
#include "soc_property.h"
#include "timerapi.h"

darp_state darp;

namespace {

constexpr int kArpGroupPrio = 6;
constexpr int kDhcpGroupPrio = 7;
constexpr int kSharedGroupPrio = 2;
constexpr uint32_t kLearnForward = 4;  // forward, no learning
constexpr uint32_t kLearnNormal = 5;

// Guarded by darp_config_lock(): the groups, the rule sets below, the aging
// timer and the callout's registration.
int (*dos_group_source)(void) = nullptr;
int shared_group = 0;
int arp_group = 0;
int dhcp_group = 0;
wp_timer_t aging_timer = nullptr;
uint32_t aging_params[1] = {DARP_AGING_PERIOD_MS};

void lock() {
    if (darp.lock) sal_mutex_take(darp.lock, sal_mutex_FOREVER);
}
void unlock() {
    if (darp.lock) sal_mutex_give(darp.lock);
}

int bucket_of(const uint8_t mac[6], uint16_t vid) {
    uint8_t key[8] = {static_cast<uint8_t>(vid >> 8), static_cast<uint8_t>(vid)};
    std::memcpy(key + 2, mac, 6);
    return pvk_crc8(key, sizeof key, 0xFF);
}

// ---------------------------------------------------------------- rules
// A rule set: the chip ports it covers and the rule of each node installed.
struct rule_set {
    uint64_t ports;
    std::vector<dos_port_node> nodes;
    std::vector<int> entries;
};
rule_set arp_copy{}, arp_redirect{}, dhcp_copy{};

enum class RuleKind { ArpCopy, ArpRedirect, Dhcp };

// The group id, or the chip's refusal.
int group_for(RuleKind kind) {
    int *group = kind == RuleKind::Dhcp ? &dhcp_group : &arp_group;
    if (*group != 0) return *group;
    dxp_field_qset_t qset{};
    dxp_field_qset_add(&qset, dxpFieldQualifySrcPort);
    if (kind == RuleKind::Dhcp) {
        dxp_field_qset_add(&qset, dxpFieldQualifyL4SrcPort);
        dxp_field_qset_add(&qset, dxpFieldQualifyL4DstPort);
    } else {
        dxp_field_qset_add(&qset, dxpFieldQualifyEtherType);
    }
    int rv = dxp_field_group_create(DXPX_CPU_UNIT, qset,
                                    kind == RuleKind::Dhcp ? kDhcpGroupPrio : kArpGroupPrio, group);
    if (rv < 0) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_DYNAMICARP, "DARP group create failed: %s",
                      dxp_errmsg(rv));
        *group = 0;
        return rv;
    }
    return *group;
}

// One rule into *entry; a node mask of 0 leaves the ingress port out. 0, or
// the chip's refusal with nothing left behind.
int rule_build(int group, RuleKind kind, const dos_port_node &node, int *entry) {
    *entry = 0;
    int rv = dxpx_field_entry_create_id(group, entry);
    if (rv == 0 && node.mask != 0)
        rv = dxp_field_qualify_SrcPort(DXPX_CPU_UNIT, *entry, 0, -1, node.value, node.mask);
    if (rv == 0 && kind == RuleKind::Dhcp) {
        rv = dxpx_field_qualify_L4DstPort(*entry, 68, 0xFFFF);
        if (rv == 0) rv = dxpx_field_qualify_L4SrcPort(*entry, 67, 0xFFFF);
    } else if (rv == 0) {
        rv = dxpx_field_qualify_EtherType(*entry, 0x0806, 0xFFFF);
    }
    if (rv == 0) {
        rv = kind == RuleKind::ArpRedirect
                 ? dxpx_field_action_add(*entry, dxpFieldActionRedirectPort, 0,
                                         static_cast<uint32_t>(DXPX_LPORT_CPU))
                 : dxpx_field_action_add(*entry, dxpFieldActionCopyToCpu, 0, 0);
    }
    if (rv == 0) rv = dxpx_field_entry_prio_set(*entry, -1);
    // Placing a rule needs a free row; without one the rule does not fit.
    if (rv == SOC_E_CONFIG) rv = SOC_E_RESOURCE;
    if (rv == 0) rv = dxpx_field_entry_install(*entry);
    if (rv != 0) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_DYNAMICARP, "DARP rule failed: %s", dxp_errmsg(rv));
        if (*entry != 0) dxpx_field_entry_destroy(*entry);
        *entry = 0;
    }
    return rv;
}

void rule_drop(int entry) {
    dxpx_field_entry_remove(entry);
    dxpx_field_entry_destroy(entry);
}

void set_destroy(rule_set &s) {
    for (int entry : s.entries)
        rule_drop(entry);
    s.nodes.clear();
    s.entries.clear();
}

bool has_node(const std::vector<dos_port_node> &nodes, const dos_port_node &n) {
    return std::find(nodes.begin(), nodes.end(), n) != nodes.end();
}

// A set's nodes after a change, and the rules made for those it lacked.
struct set_change {
    std::vector<dos_port_node> want;
    std::vector<int> made;
};

// Makes the rules of the set's new nodes beside the installed ones: 0, or
// the chip's refusal (the rules made so far are in c.made).
int set_stage(const rule_set &s, RuleKind kind, set_change &c) {
    if (s.ports == 0) return 0;
    const int group = group_for(kind);
    if (group <= 0) return group < 0 ? group : SOC_E_INTERNAL;
    c.want = __builtin_popcountll(s.ports) == board_num_uports
                 ? std::vector<dos_port_node>{{.value = 0, .mask = 0}}
                 : dos_port_node_list(s.ports);
    for (const dos_port_node &n : c.want) {
        if (has_node(s.nodes, n)) continue;
        int entry = 0;
        if (int rv = rule_build(group, kind, n, &entry); rv != 0) return rv;
        c.made.push_back(entry);
    }
    return 0;
}

// The set runs the staged rules: kept nodes keep theirs, the others go.
void set_commit(rule_set &s, const set_change &c) {
    std::vector<int> entries;
    size_t next = 0;
    for (const dos_port_node &n : c.want) {
        const auto old = std::find(s.nodes.begin(), s.nodes.end(), n);
        entries.push_back(old != s.nodes.end()
                              ? s.entries[static_cast<size_t>(old - s.nodes.begin())]
                              : c.made[next++]);
    }
    for (size_t i = 0; i < s.nodes.size(); i++)
        if (!has_node(c.want, s.nodes[i])) rule_drop(s.entries[i]);
    s.nodes = c.want;
    s.entries = std::move(entries);
}

void set_port(rule_set &s, int chip_port, bool on) {
    if (chip_port < 0 || chip_port >= 64) return;
    if (on)
        s.ports |= uint64_t{1} << chip_port;
    else
        s.ports &= ~(uint64_t{1} << chip_port);
}

// Brings the rules to the trusted ports. Every new rule is made before any
// installed one goes, so a change the field processor refuses leaves every
// port's rules as they were: 0, or the refusal.
int port_rules_apply() {
    rule_set *const sets[] = {&arp_copy, &arp_redirect, &dhcp_copy};
    const RuleKind kinds[] = {RuleKind::ArpCopy, RuleKind::ArpRedirect, RuleKind::Dhcp};
    const uint64_t before[] = {arp_copy.ports, arp_redirect.ports, dhcp_copy.ports};
    for (int u = 1; u <= board_num_uports; u++) {
        int lport = 0, unit = 0, port = 0;
        if (ulpm_to_lport(u, &lport) != 0 || dxpx_lport_to_unit_port(lport, &unit, &port) != 0)
            continue;
        bool trusted = darp_port_trust_get(u) == 1;
        set_port(arp_copy, port, trusted);
        set_port(arp_redirect, port, !trusted);
        set_port(dhcp_copy, port, trusted);
    }
    set_change changes[3];
    int rv = 0;
    for (int i = 0; i < 3 && rv == 0; i++)
        rv = set_stage(*sets[i], kinds[i], changes[i]);
    if (rv != 0) {
        for (int i = 0; i < 3; i++) {
            for (int entry : changes[i].made)
                rule_drop(entry);
            sets[i]->ports = before[i];
        }
        return rv;
    }
    for (int i = 0; i < 3; i++)
        set_commit(*sets[i], changes[i]);
    return 0;
}

int chip_apply(bool on) {
    dxpx_lplist_t ports{};
    dxpx_lplist_init(&ports, 0, 0);
    dxpx_port_lplist_populate(&ports, DXPX_PORT_F_XE);
    for (int i = 0; i < dxpx_lplist_count(&ports); i++)
        dxpx_port_learn_set(ports.lp_ports[i], on ? kLearnForward : kLearnNormal);
    dxpx_lplist_free(&ports);
    int rv = 0;
    if (on) {
        rv = drv_reg_field_write(DXPX_CPU_UNIT, R_SPECIAL_MNGT, 0, F_EN_ARP_BYPASS_VLAN, 0);
        if (!darp.rx_registered) {
            int r = dxpx_rx_register("darp", darp_rx, DARP_RX_PRIORITY, nullptr, DARP_RX_FLAGS);
            if (r == 0) darp.rx_registered = true;
            if (r != 0 && rv == 0) rv = r;
        }
        uint8_t mac[6] = {};
        const char *text = nvram_get("et1macaddr");
        if (text == nullptr || !pvk_ether_atoe(text, mac)) std::memset(mac, 0, sizeof mac);
        lock();
        std::memcpy(darp.cpu_mac, mac, sizeof mac);
        unlock();
    } else {
        if (darp.rx_registered) {
            dxpx_rx_unregister(darp_rx, DARP_RX_PRIORITY);
            darp.rx_registered = false;
        }
        set_destroy(arp_copy);
        set_destroy(arp_redirect);
        set_destroy(dhcp_copy);
        arp_copy.ports = arp_redirect.ports = dhcp_copy.ports = 0;
        rv = drv_reg_field_write(DXPX_CPU_UNIT, R_SPECIAL_MNGT, 0, F_EN_ARP_BYPASS_VLAN, 1);
    }
    return rv;
}

void aging_tick(wp_timer_t, void *) {
    darp_aging_run();
}

}  // namespace

// ---------------------------------------------------------------- life cycle
sal_mutex_t darp_config_lock(void) {
    static sal_mutex_t lock = sal_mutex_create("DARP CFG");
    return lock;
}

void darp_init(void) {
    SalLock hold(darp_config_lock());
    if (darp.lock == nullptr) {
        darp.lock = sal_mutex_create("DARP");
        if (darp.lock == nullptr)
            logger_puts(LOG_LEVEL_ERROR, LOG_MOD_DYNAMICARP, "Mutex create failed!");
    }
    darp_reset();
    // The chip starts as inspection switched off leaves it, so that turning
    // it on and off again (or a factory reset) ends where a start does.
    drv_reg_field_write(DXPX_CPU_UNIT, R_SPECIAL_MNGT, 0, F_EN_ARP_BYPASS_VLAN, 1);
    // Rules and groups of an earlier start belong to a unit that is gone.
    arp_copy = arp_redirect = dhcp_copy = rule_set{};
    arp_group = dhcp_group = 0;
    shared_group = 0;
    int dos = dos_group_source ? dos_group_source() : 0;
    if (dos > 0) {
        shared_group = dos;
        return;
    }
    dxp_field_qset_t qset{};
    for (int q : {dxpFieldQualifyEtherType, dxpFieldQualifyDstIp, dxpFieldQualifyIpProtocol,
                  dxpFieldQualifySrcPort, dxpFieldQualifyTcpControl})
        dxp_field_qset_add(&qset, q);
    if (dxp_field_group_create(DXPX_CPU_UNIT, qset, kSharedGroupPrio, &shared_group) < 0)
        shared_group = 0;
}

int darp_group_get(void) {
    SalLock hold(darp_config_lock());
    return shared_group;
}

void darp_dos_group_source_set(int (*dos_group_get)(void)) {
    SalLock hold(darp_config_lock());
    dos_group_source = dos_group_get;
}

void darp_reset(void) {
    lock();
    std::memset(darp.db, 0, sizeof darp.db);
    darp.db_count = 0;
    upbmp_free(&darp.trusted);
    darp.trusted_count = 0;
    std::memset(darp.vlans, 0, sizeof darp.vlans);
    darp.vlan_count = 0;
    unlock();
}

int darp_enable_set(int enable) {
    SalLock hold(darp_config_lock());
    enable = enable ? 1 : 0;
    if (enable == darp.enabled) return enable ? port_rules_apply() : 0;
    if (enable && !darp_runs()) return DXP_E_UNAVAIL;
    // Every port's learning changes: a port under self-test keeps its own,
    // so the switch is refused whole rather than left half inspected.
    if (port_reserve_any()) return DXP_E_BUSY;
    if (enable) {
        darp.enabled = 1;
        int rv = chip_apply(true);
        if (rv == 0) rv = port_rules_apply();
        if (rv != 0) {
            // Refused: the chip back as inspection off leaves it, nothing on.
            chip_apply(false);
            darp.enabled = 0;
            return rv;
        }
        logger_puts(LOG_LEVEL_INFO, LOG_MOD_DYNAMICARP, "Dynamic ARP enabled");
        return 0;
    }
    logger_puts(LOG_LEVEL_INFO, LOG_MOD_DYNAMICARP, "Dynamic ARP disabled");
    darp.enabled = 0;
    darp_reset();
    darp_aging_set(0);
    return chip_apply(false);
}

bool darp_runs(void) {
    // Without a field processor no ARP frame reaches the CPU before the
    // chip forwards it: nothing could be checked.
    return soc_feature(DXPX_CPU_UNIT, soc_feature_field);
}

int darp_enable_trusted(const upbmp_t *trusted) {
    SalLock hold(darp_config_lock());
    bool was[BOARD_MAX_UPORTS + 1] = {};
    for (int u = 1; u <= board_num_uports; u++) {
        was[u] = darp_port_trust_get(u) == 1;
        darp_port_trust_set(u, upbmp_test(trusted, u) ? 0 : 1);
    }
    const int rv = darp_enable_set(1);
    for (int u = 1; u <= board_num_uports && rv != 0; u++)
        darp_port_trust_set(u, was[u] ? 0 : 1);
    return rv;
}

int darp_enable_get(int *enable) {
    if (enable == nullptr) return -4;
    *enable = darp.enabled.load();
    return 0;
}

// ---------------------------------------------------------------- aging
void darp_aging_set(uint16_t hours) {
    SalLock hold(darp_config_lock());
    if (hours == darp.aging_hours) return;
    darp.aging_hours = hours;
    if (aging_timer != nullptr) {
        wpTimerDelete(aging_timer);
        aging_timer = nullptr;
    }
    if (hours == 0) {
        logger_puts(LOG_LEVEL_INFO, LOG_MOD_DYNAMICARP, "Remove aging timer");
        return;
    }
    // One timer whatever the value: each run reads the current aging time.
    aging_timer = wpTimerCreate(WP_TIMER_PERIODIC, aging_tick);
    if (aging_timer == nullptr) {
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_DYNAMICARP, "Fail to create aging timer");
        return;
    }
    if (wpTimerStart(aging_timer, aging_params) != 0) {
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_DYNAMICARP, "Fail to set info aging timer param");
        return;
    }
    logger_puts(LOG_LEVEL_INFO, LOG_MOD_DYNAMICARP, "Add aging timer");
}

uint16_t darp_aging_get(void) {
    SalLock hold(darp_config_lock());
    return darp.aging_hours;
}

void darp_aging_run(void) {
    if (!darp.enabled) return;
    const uint32_t limit = uint32_t{darp.aging_hours.load()} * 3600;
    lock();
    const uint32_t now = sal_time();
    int seen = 0, removed = 0;
    for (int b = 0; b < DARP_BUCKETS && seen < darp.db_count; b++) {
        for (darp_trusted_entry &e : darp.db[b]) {
            if (!e.valid || !e.learned) continue;
            seen++;
            if (e.refreshed) {
                e.refreshed = 0;
            } else if (limit > 0 && now - e.time > limit) {
                e.valid = 0;
                removed++;
            }
        }
    }
    darp.db_count -= removed;
    unlock();
}

// ---------------------------------------------------------------- database
namespace {
// Under the lock.
int configured_count() {
    int n = 0;
    for (const auto &bucket : darp.db)
        for (const darp_trusted_entry &e : bucket)
            n += e.valid && !e.learned ? 1 : 0;
    return n;
}
}  // namespace

int darp_trusted_db_add(const uint8_t mac[6], const uint8_t ip[4], uint16_t vid, int learned) {
    static const uint8_t none[6] = {};
    if (std::memcmp(mac, none, 6) == 0 || (mac[0] & 1) != 0 || std::memcmp(ip, none, 4) == 0)
        return -4;
    const int b = bucket_of(mac, vid);
    lock();
    darp_trusted_entry *slot = nullptr;
    for (darp_trusted_entry &e : darp.db[b]) {
        if (e.valid && e.vid == vid && std::memcmp(e.mac, mac, 6) == 0) {
            slot = &e;
            break;
        }
        if (!e.valid && slot == nullptr) slot = &e;
    }
    // A configured binding the settings item cannot store would be gone
    // after a restart.
    if (slot != nullptr && !learned && (!slot->valid || slot->learned) &&
        configured_count() >= DARP_STATIC_MAX) {
        unlock();
        return -6;
    }
    if (slot != nullptr && slot->valid) {
        slot->refreshed = 1;
        slot->time = sal_time();
        if (!learned) slot->learned = 0;
    } else if (slot != nullptr) {
        std::memcpy(slot->mac, mac, 6);
        std::memcpy(slot->ip, ip, 4);
        slot->vid = vid;
        slot->refreshed = 0;
        slot->learned = learned ? 1 : 0;
        slot->valid = 1;
        slot->time = sal_time();
        darp.db_count++;
    }
    unlock();
    if (slot != nullptr) return 0;
    // Acknowledgements that a trusted port carries can hit a full bucket
    // again and again; a binding the administrator adds is logged as ever.
    static log_gate full_log;
    log_gate_printf(learned ? &full_log : nullptr, LOG_SOURCE_NONE, LOG_LEVEL_WARNING,
                    LOG_MOD_DYNAMICARP, "Trusted database index %d is full\n", b);
    return -14;
}

int darp_trusted_db_delete(const uint8_t mac[6], uint16_t vid) {
    const int b = bucket_of(mac, vid);
    lock();
    for (darp_trusted_entry &e : darp.db[b]) {
        if (e.valid && e.vid == vid && std::memcmp(e.mac, mac, 6) == 0) {
            e.valid = 0;
            darp.db_count--;
            unlock();
            return 0;
        }
    }
    unlock();
    return -7;
}

int darp_trusted_db_get_by_index(int n, uint8_t mac[6], uint8_t ip[4], uint16_t *vid,
                                 int *learned) {
    lock();
    int rv = -7;
    for (int b = 0; b < DARP_BUCKETS && rv != 0 && n >= 0 && n < darp.db_count; b++) {
        for (const darp_trusted_entry &e : darp.db[b]) {
            if (!e.valid || n-- > 0) continue;
            if (mac) std::memcpy(mac, e.mac, 6);
            if (ip) std::memcpy(ip, e.ip, 4);
            if (vid) *vid = e.vid;
            if (learned) *learned = static_cast<int>(e.learned);
            rv = 0;
            break;
        }
    }
    unlock();
    return rv;
}

int darp_trusted_db_count_get(void) {
    lock();
    int n = darp.db_count;
    unlock();
    return n;
}

void darp_cpu_mac_get(uint8_t mac[6]) {
    lock();
    std::memcpy(mac, darp.cpu_mac, 6);
    unlock();
}

int darp_binding_check(const uint8_t mac[6], const uint8_t ip[4], uint16_t vid) {
    const int b = bucket_of(mac, vid);
    lock();
    for (darp_trusted_entry &e : darp.db[b]) {
        if (e.valid && e.vid == vid && std::memcmp(e.mac, mac, 6) == 0 &&
            std::memcmp(e.ip, ip, 4) == 0) {
            e.refreshed = 1;
            e.time = sal_time();
            unlock();
            return 1;
        }
    }
    unlock();
    return 0;
}

// ---------------------------------------------------------------- trusted ports
void darp_port_trust_set(int uport, int untrusted) {
    lock();
    if (darp.trusted.bits == nullptr) upbmp_alloc(&darp.trusted, board_num_uports);
    if (untrusted == 0) {
        if (!upbmp_test(&darp.trusted, uport) && upbmp_add(&darp.trusted, uport) == 0)
            darp.trusted_count++;
    } else if (upbmp_test(&darp.trusted, uport) && upbmp_remove(&darp.trusted, uport) == 0) {
        darp.trusted_count--;
    }
    unlock();
}

int darp_port_trust_get(int uport) {
    lock();
    int rv = darp.trusted.bits != nullptr && upbmp_test(&darp.trusted, uport) ? 1 : 0;
    unlock();
    return rv;
}

// ---------------------------------------------------------------- VLANs
int darp_vlan_set(uint16_t vid, int add) {
    lock();
    int at = 0;
    while (at < darp.vlan_count && darp.vlans[at] < vid)
        at++;
    const bool listed = at < darp.vlan_count && darp.vlans[at] == vid;
    int rv = 0;
    if (add) {
        if (listed) {
            rv = -8;
        } else if (darp.vlan_count >= DARP_VLAN_MAX) {
            rv = -6;
        } else {
            std::memmove(&darp.vlans[at + 1], &darp.vlans[at],
                         (darp.vlan_count - at) * sizeof darp.vlans[0]);
            darp.vlans[at] = vid;
            darp.vlan_count++;
        }
    } else if (!listed) {
        rv = -7;
    } else {
        std::memmove(&darp.vlans[at], &darp.vlans[at + 1],
                     (darp.vlan_count - at - 1) * sizeof darp.vlans[0]);
        darp.vlans[--darp.vlan_count] = 0;
    }
    unlock();
    return rv;
}

int darp_vlan_exist(uint16_t vid) {
    lock();
    int rv = 0;
    for (int i = 0; i < darp.vlan_count && !rv; i++)
        rv = darp.vlans[i] == vid;
    unlock();
    return rv;
}

int darp_vlan_get_by_index(int n, uint16_t *vid) {
    if (n < 0 || n >= DARP_VLAN_MAX) return -4;
    lock();
    uint16_t v = darp.vlans[n];
    unlock();
    if (v == 0) return -7;
    if (vid) *vid = v;
    return 0;
}

int darp_vlan_count_get(void) {
    lock();
    int n = darp.vlan_count;
    unlock();
    return n;
}
