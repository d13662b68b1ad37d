// Auto VoIP core: the profile, the signalling copy rules, the receive callout
// that dispatches to the snoopers, and the rule pairs they share.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "board.h"
#include "dxp.h"
#include "dxpx.h"
#include "fp_share.h"
#include "log_gate.h"
#include "logger.h"
#include "sal_lock.h"
#include "soc_property.h"
#include "timerapi.h"
#include "voip_internal.h"

namespace {

constexpr uint32_t kVersion = 0x88740001;
constexpr uint32_t kCalloutFlags = 0xC0FF;  // every class of service, thread context
constexpr int kSignalIndexes = 4;

int profile_enable = 0;
int profile_priority = 0;
int group = -1;
int signal_ids[kSignalIndexes][2];
std::atomic<int> entry_count{0};
int shared_taken = 0;  // of entry_count, taken from the rows shared with QoS
int rx_uport = 0;      // the port (a trunk's: its lowest) of the copy being handled
int rx_in_uport = 0;   // the port it came in on, for the log
// The copy being handled, while its snooper runs; its destination's
// station is looked up once, when a snooper asks.
const uint8_t *rx_frame = nullptr;
uint64_t rx_dest_station = 0;
bool rx_dest_looked_up = false;
const char *refusal = "Auto VoIP could not be enabled";
// The calls' entries (of entry_count), each with the front-panel port
// charged for it and whether it is a copy rule of a call being set up; id
// 0 = free slot.
struct call_row {
    int id;
    int port;
    bool setup;
};
call_row call_rows[VOIP_CALL_ENTRIES] = {};
bool callout_registered = false;
wp_timer_t sweep_timer = nullptr;  // while Auto VoIP is on

// Guards the state above and the snoopers' call lists: the callout runs on
// the receive thread, profile changes on the web and "Main App" threads. The
// callout is never (un)registered under it: unregistering waits for a
// delivery in flight, which may be waiting for this lock.
sal_mutex_t state_lock() {
    static sal_mutex_t m = sal_mutex_create("voip");
    return m;
}

}  // namespace

// Over state_lock() and over the receive thread's callout lock: one profile
// change at a time, with the callout's registration (callout_registered) and
// the signalling rules it makes.
sal_mutex_t voip_profile_lock(void) {
    static sal_mutex_t m = sal_mutex_create("voip profile");
    return m;
}

namespace {

void callout_set(bool on) {
    if (on && !callout_registered) {
        int rv = dxpx_rx_register("voip", voip_rx, VOIP_CALLOUT_PRIO, nullptr, kCalloutFlags);
        callout_registered = rv == 0 || rv == SOC_E_EXISTS;
        if (!callout_registered)
            logger_printf(LOG_LEVEL_ERROR, LOG_MOD_AUTOVOIP, "Auto VoIP callout failed : %s",
                          dxp_errmsg(rv));
    } else if (!on && callout_registered) {
        dxpx_rx_unregister(voip_rx, VOIP_CALLOUT_PRIO);
        callout_registered = false;
    }
}

struct Signal {
    int port;
    uint8_t protocol;
};
constexpr Signal kSignals[kSignalIndexes] = {
    {.port = 5060, .protocol = 17},
    {.port = 2727, .protocol = 17},
    {.port = 2000, .protocol = 6},
    {.port = 1720, .protocol = 6},
};

int voice_queue(int *queue) {
    return dxpx_cosq_mapping_get(VOIP_VOICE_PRIO, queue);
}

void entry_drop(int &id) {
    if (id == 0) return;
    dxpx_field_entry_remove(id);
    dxpx_field_entry_destroy(id);
    id = 0;
}

void shared_give(int n) {
    shared_taken -= n;
    fp_rows_shared_give(n);
}

// A new entry ranked above QoS's rules, whatever was made first.
int entry_new(int *id) {
    int rv = dxpx_field_entry_create_id(group, id);
    if (rv != 0) return rv;
    rv = dxpx_field_entry_prio_set(*id, VOIP_ENTRY_PRIO);
    if (rv == 0) return 0;
    entry_drop(*id);
    // Placing a rule needs a free row; without one the rule does not fit.
    return rv == SOC_E_CONFIG ? SOC_E_RESOURCE : rv;
}

int qualify(int id, const voip_rule &r) {
    // The group's key has no EtherType field; the IP protocol only matches
    // IPv4 frames anyway, so a refusal here changes nothing.
    (void)dxpx_field_qualify_EtherType(id, 0x0800, 0xFFFF);
    int rv = dxpx_field_qualify_IpProtocol(id, r.protocol, 0xFF);
    if (rv == 0) rv = dxpx_field_qualify_SrcIp(id, r.src_ip, r.src_ip_mask);
    if (rv == 0) rv = dxpx_field_qualify_DstIp(id, r.dst_ip, r.dst_ip_mask);
    if (rv == 0) rv = dxpx_field_qualify_L4SrcPort(id, r.src_port, r.src_port_mask);
    if (rv == 0) rv = dxpx_field_qualify_L4DstPort(id, r.dst_port, r.dst_port_mask);
    return rv;
}

int actions(int id, int copy_class) {
    int queue = 0;
    if (copy_class != 0)
        return dxpx_field_action_add(id, dxpFieldActionCopyToCpu, 1,
                                     static_cast<uint32_t>(copy_class));
    int rv = voice_queue(&queue);
    if (rv == 0)
        rv = dxpx_field_action_add(id, dxpFieldActionPrioIntNew, static_cast<uint32_t>(queue), 0);
    return rv;
}

// The class of a frame's ports, or 0.
int classify_ports(int protocol, uint16_t a, uint16_t b) {
    auto either = [&](uint16_t p) { return a == p || b == p; };
    if (protocol == 6) {
        if (either(2000)) return VOIP_CLASS_SCCP;
        if (either(1720)) return VOIP_CLASS_H323;
        if (h323_is_h245_port(a) || h323_is_h245_port(b)) return VOIP_CLASS_H245;
    } else if (protocol == 17) {
        if (either(2727)) return VOIP_CLASS_MGCP;
        if (either(5060)) return VOIP_CLASS_SIP;
    }
    return VOIP_CLASS_NONE;
}

int save(settings_medium *m) {
    SalLock changing(voip_profile_lock());
    int enable = 0, priority = 0;
    voip_profile_get(0, &enable, &priority);
    if (medium_write_u32(m, static_cast<uint32_t>(enable)) != 0 ||
        medium_write_u32(m, static_cast<uint32_t>(priority)) != 0)
        return -1;
    return 8;
}

int check(settings_medium *m) {
    return settings_check_record_size(m, kVersion, 8);
}

int load(settings_medium *m) {
    uint32_t enable = 0, priority = 0;
    if (medium_read_u32(m, &enable) != 0 || medium_read_u32(m, &priority) != 0) return -1;
    voip_profile_set(0, static_cast<int>(enable), static_cast<int>(priority));
    return 8;
}

}  // namespace

voip_rule voip_rule_mirror(const voip_rule &r) {
    return {.protocol = r.protocol,
            .src_ip = r.dst_ip,
            .src_ip_mask = r.dst_ip_mask,
            .dst_ip = r.src_ip,
            .dst_ip_mask = r.src_ip_mask,
            .src_port = r.dst_port,
            .src_port_mask = r.dst_port_mask,
            .dst_port = r.src_port,
            .dst_port_mask = r.src_port_mask,
            .copy_class = r.copy_class};
}

namespace {

// The calls' rows that match.
template <typename Match>
int call_rows_count(Match match) {
    int n = 0;
    for (const call_row &r : call_rows)
        n += r.id != 0 && match(r);
    return n;
}

// The row of a call's entry (0 finds a free one), or null.
call_row *call_row_of(int id) {
    for (call_row &r : call_rows) {
        if (r.id == id) return &r;
    }
    return nullptr;
}

// A call's entry goes back: its row, the chip's entry, the count and its
// shared row.
int call_entry_drop(int &id) {
    if (call_row *r = call_row_of(id)) *r = {};
    const int rv = dxpx_field_entry_remove(id);
    const int rv2 = dxpx_field_entry_destroy(id);
    id = 0;
    if (entry_count > 0) entry_count--;
    shared_give(1);
    return rv != 0 ? rv : rv2;
}

// A new entry of a call's pair on a shared row already taken, made and
// installed; a voice rule counts its hits, which tell a live call from an
// idle one.
int call_entry_make(int *id, const voip_rule &rule, int port) {
    call_row *row = call_row_of(0);
    if (row == nullptr) return SOC_E_RESOURCE;
    int rv = entry_new(id);
    if (rv != 0) {
        *id = 0;
        return rv;
    }
    *row = {.id = *id, .port = port, .setup = rule.copy_class != 0};
    entry_count++;
    shared_taken++;
    rv = qualify(*id, rule);
    if (rv == 0) rv = actions(*id, rule.copy_class);
    if (rv == 0) rv = dxpx_field_entry_install(*id);
    // A new counter changes the entry, which goes to the chip again.
    if (rv == 0 && rule.copy_class == 0 && dxp_field_counter_create(DXPX_CPU_UNIT, *id) == 0)
        rv = dxp_field_entry_reinstall(DXPX_CPU_UNIT, *id);
    return rv;
}

}  // namespace

namespace {

// Whether the port's calls may take `missing` more rows (copy rows: setup).
bool port_room(int port, int missing, bool setup) {
    if (port < 0) return false;
    if (call_rows_count([port](const call_row &r) { return r.port == port; }) + missing >
        VOIP_PORT_ENTRIES)
        return false;
    return !setup || (call_rows_count([](const call_row &r) { return r.setup; }) + missing <=
                          VOIP_SETUP_ENTRIES &&
                      call_rows_count([port](const call_row &r) {
                          return r.setup && r.port == port;
                      }) + missing <=
                          VOIP_PORT_SETUP_ENTRIES);
}

}  // namespace

int voip_rule_pair_install(int ids[2], const voip_rule rules[2], const int ports[2]) {
    const int missing = (ids[0] == 0) + (ids[1] == 0);
    int port = -1;
    if (missing > 0) {
        const int calls = call_rows_count([](const call_row &) { return true; });
        if (entry_count + missing > VOIP_MAX_ENTRIES || calls + missing > VOIP_CALL_ENTRIES)
            return SOC_E_RESOURCE;
        for (int i = 0; i < 2 && port < 0; i++) {
            if (port_room(ports[i], missing, rules[0].copy_class != 0)) port = ports[i];
        }
        if (port < 0 || !fp_rows_shared_take(missing)) return SOC_E_RESOURCE;
    }
    bool created[2] = {false, false};
    int rv = 0, made = 0;
    for (int i = 0; i < 2 && rv == 0; i++) {
        if (ids[i] != 0) {
            rv = qualify(ids[i], rules[i]);
            if (rv == 0) rv = dxpx_field_entry_reinstall(ids[i]);
            continue;
        }
        rv = call_entry_make(&ids[i], rules[i], port);
        created[i] = ids[i] != 0;
        made += created[i];
    }
    // Rows taken for entries that were never made go back at once; those
    // made go back as they are dropped.
    fp_rows_shared_give(missing - made);
    if (rv != 0) {
        for (int i = 0; i < 2; i++) {
            if (created[i]) call_entry_drop(ids[i]);
        }
    }
    return rv;
}

int voip_rule_pair_remove(int ids[2]) {
    int result = 0;
    for (int i = 0; i < 2; i++) {
        if (ids[i] == 0) continue;
        const int rv = call_entry_drop(ids[i]);
        if (result == 0) result = rv;
    }
    return result;
}

namespace {

// Seconds from the wrapping microsecond clock, read at every look. The
// sweep timer looks every VOIP_SWEEP_SECS, far within the clock's wrap.
struct idle_clock {
    bool started;
    uint32_t last_us;
    uint64_t elapsed_us;
} clock_state;
uint32_t last_sweep = 0;

// Frames that hit the pair's voice rules so far, summed.
uint32_t pair_hits(const int ids[2]) {
    uint32_t sum = 0;
    for (int i = 0; i < 2; i++) {
        uint32_t v = 0;
        if (ids[i] != 0 && dxp_field_counter_get32(DXPX_CPU_UNIT, ids[i], 0, &v) == 0) sum += v;
    }
    return sum;
}

// Every snooper's idle calls go, at most once per VOIP_SWEEP_SECS.
void calls_age() {
    const uint32_t now = voip_idle_now();
    if (now - last_sweep < VOIP_SWEEP_SECS) return;
    last_sweep = now;
    sip_sessions_age(now);
    mgcp_agents_age(now);
    sccp_phones_age(now);
    h323_calls_age(now);
}

void sweep_tick(wp_timer_t, void *) {
    SalLock lock(state_lock());
    calls_age();
}

struct sweep_params {
    uint32_t interval_ms;
} sweep_interval = {VOIP_SWEEP_SECS * 1000};

// The sweep timer runs while Auto VoIP is on. Under the profile lock only:
// deleting waits for a tick in progress, which takes the state lock.
void sweep_set(bool on) {
    if (!on && sweep_timer != nullptr) {
        wpTimerDelete(sweep_timer);
        sweep_timer = nullptr;
    } else if (on && sweep_timer == nullptr) {
        sweep_timer = wpTimerCreate(WP_TIMER_PERIODIC, sweep_tick);
        if (sweep_timer != nullptr && wpTimerStart(sweep_timer, &sweep_interval) != 0) {
            wpTimerDelete(sweep_timer);
            sweep_timer = nullptr;
        }
        if (sweep_timer == nullptr)
            logger_printf(LOG_LEVEL_ERROR, LOG_MOD_AUTOVOIP,
                          "Auto VoIP: no timer, idle calls are looked for as copies arrive");
    }
}

// Every call and its rules go.
void calls_clear() {
    sip_sessions_clear();
    mgcp_agents_clear();
    sccp_phones_clear();
    h323_calls_clear();
}

// The front-panel port of the unit's port; 0 when it is none.
int front_port(int unit, int port) {
    int uport = 0;
    const int lport = dxpx_unit_port_to_lport(unit, port);
    if (lport < 0 || ulpm_to_uport(lport, &uport) != 0 || uport < 1 || uport > board_num_uports)
        return 0;
    return uport;
}

// The port a call knows the unit's port by: for a trunk's member the
// trunk's lowest, as the chip spreads one party's frames over every member,
// so a party's BYE or DLCX on another member is still the party's; else the
// front-panel port itself (0: none).
int link_port(int unit, int port) {
    const int uport = front_port(unit, port);
    dxp_trunk_chip_info chip{};
    if (uport == 0 || dxp_trunk_chip_info_get(unit, &chip) != 0) return uport;
    for (int tid = chip.trunk_id_min; tid <= chip.trunk_id_max; tid++) {
        dxp_trunk_add_info trunk{};
        if (dxp_trunk_get(unit, tid, &trunk) != 0) continue;
        int lowest = uport;
        bool member = false;
        for (int i = 0; i < trunk.num_ports && i < DXP_TRUNK_MAX_PORTCNT; i++) {
            member = member || trunk.tp[i] == port;
            const int other = front_port(unit, trunk.tp[i]);
            if (other != 0) lowest = std::min(lowest, other);
        }
        if (member) return lowest;
    }
    return uport;
}

}  // namespace

uint32_t voip_idle_now(void) {
    const uint32_t us = sal_time_usecs();
    if (clock_state.started) clock_state.elapsed_us += us - clock_state.last_us;
    clock_state.started = true;
    clock_state.last_us = us;
    return static_cast<uint32_t>(clock_state.elapsed_us / 1000000);
}

bool voip_call_idle(voip_life *life, const int ids[2], uint32_t now) {
    const uint32_t hits = pair_hits(ids);
    if (hits != life->hits) {
        life->hits = hits;
        life->seen = now;
    }
    return now - life->seen >= VOIP_IDLE_SECS;
}

void voip_failure_log(log_gate *gate, const char *text) {
    log_gate_puts(gate, log_source_port(rx_in_uport), LOG_LEVEL_ERROR, LOG_MOD_AUTOVOIP, text);
}

void voip_init(void) {
    SalLock changing(voip_profile_lock());
    callout_set(false);
    sweep_set(false);
    SalLock lock(state_lock());
    calls_clear();
    for (auto &pair : signal_ids) {
        for (int &id : pair)
            entry_drop(id);
    }
    profile_enable = 0;
    profile_priority = 0;
    entry_count = 0;
    shared_give(shared_taken);
    std::memset(call_rows, 0, sizeof call_rows);
    // A new unit starts without the group; an old one is replaced.
    if (group >= 0) dxp_field_group_destroy(DXPX_CPU_UNIT, group);
    group = -1;
    // The 26-port board's chip has none: Auto VoIP cannot run, as its page says.
    if (!soc_feature(DXPX_CPU_UNIT, soc_feature_field)) {
        logger_puts(LOG_LEVEL_WARNING, LOG_MOD_AUTOVOIP,
                    "This switch has no field processor: Auto VoIP cannot run on it.");
        return;
    }
    dxp_field_qset_t qset{};
    dxp_field_qset_add(&qset, dxpFieldQualifySrcIp);
    dxp_field_qset_add(&qset, dxpFieldQualifyDstIp);
    dxp_field_qset_add(&qset, dxpFieldQualifyL4SrcPort);
    dxp_field_qset_add(&qset, dxpFieldQualifyL4DstPort);
    dxp_field_qset_add(&qset, dxpFieldQualifyIpProtocol);
    int rv = dxp_field_group_create(DXPX_CPU_UNIT, qset, VOIP_GROUP_PRIO, &group);
    if (rv != 0) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_AUTOVOIP, "Auto VoIP group cannot be created: %s",
                      dxp_errmsg(rv));
        group = -1;
    }
}

int voip_group_get(void) {
    return group;
}

void voip_entry_count_get(int *count) {
    SalLock lock(state_lock());
    *count = entry_count;
}

void voip_entry_count_set(int count) {
    SalLock lock(state_lock());
    entry_count = count;
}

void voip_call_entry_count_get(int *calls, int *setup) {
    SalLock lock(state_lock());
    *calls = call_rows_count([](const call_row &) { return true; });
    *setup = call_rows_count([](const call_row &r) { return r.setup; });
}

int voip_classify(int ip_protocol, const uint16_t ports[2]) {
    return classify_ports(ip_protocol, ports[0], ports[1]);
}

int voip_rx(int, dxp_pkt *pkt, void *) {
    if (pkt == nullptr || pkt->pkt_data == nullptr || pkt->pkt_data[0].data == nullptr)
        return DXP_RX_NOT_HANDLED;
    // Never read beyond the first block, whatever tot_len claims.
    uint32_t avail = pkt->tot_len;
    if (avail > pkt->pkt_data[0].len) avail = pkt->pkt_data[0].len;
    const int len = static_cast<int>(avail);
    const uint8_t *f = pkt->pkt_data[0].data;
    if (len < 46 || voip_be16(f + 16) != 0x0800) return DXP_RX_NOT_HANDLED;
    SalLock lock(state_lock());
    // Calls are charged to the ports their phones' frames come in on.
    rx_uport = link_port(pkt->rx_unit, pkt->rx_port);
    rx_in_uport = front_port(pkt->rx_unit, pkt->rx_port);
    rx_frame = f;
    rx_dest_looked_up = false;
    const int cls = classify_ports(f[27], voip_be16(f + 38), voip_be16(f + 40));
    switch (cls) {
        case VOIP_CLASS_SIP:
            sip_parse(f + 30, f + 46, len - 46);
            break;
        case VOIP_CLASS_MGCP:
            mgcp_parse(f + 30, f + 46, len - 46);
            break;
        case VOIP_CLASS_SCCP:
            sccp_parse(f + 18, len - 18);
            break;
        case VOIP_CLASS_H323:
            h225_rx(f + 18, len - 18);
            break;
        case VOIP_CLASS_H245:
            h245_rx(f + 18, len - 18);
            break;
        default:
            rx_frame = nullptr;
            return DXP_RX_NOT_HANDLED;
    }
    rx_frame = nullptr;
    calls_age();
    // Only a copy: the chip has forwarded the frame itself.
    return DXP_RX_HANDLED;
}

int voip_rx_port(void) {
    return rx_uport;
}

namespace {

// Adds the front-panel port of the unit's port to the station.
void station_add(uint64_t *station, int unit, int port) {
    const int uport = front_port(unit, port);
    if (uport >= 1 && uport < 64) *station |= uint64_t{1} << uport;
}

// The members of the unit's trunk into the station; false when it has none.
bool trunk_add(uint64_t *station, int unit, int tid) {
    dxp_trunk_add_info trunk{};
    if (dxp_trunk_get(unit, tid, &trunk) != 0 || trunk.num_ports < 1) return false;
    for (int i = 0; i < trunk.num_ports && i < DXP_TRUNK_MAX_PORTCNT; i++)
        station_add(station, unit, trunk.tp[i]);
    return true;
}

// Where the address table sends the MAC's frames in the VLAN: its port or,
// when that is a trunk's, every member, as the chip spreads the party's
// frames over them. The trunks are read from the chip: the trunk manager's
// lock ranks above Auto VoIP's.
uint64_t station_of(const dxp_mac_t mac, dxp_vlan_t vid) {
    dxpx_l2_addr_t at{};
    if (dxpx_l2_addr_get(mac, vid, &at, 0) != 0) return 0;
    uint64_t station = 0;
    if ((at.flags & DXP_L2_TRUNK_MEMBER) != 0) {
        trunk_add(&station, DXPX_CPU_UNIT, at.tgid);
        return station;
    }
    int unit = 0, port = 0;
    if (at.lport < 0 || dxpx_lport_to_unit_port(at.lport, &unit, &port) != 0) return 0;
    station_add(&station, unit, port);
    dxp_trunk_chip_info chip{};
    if (station == 0 || dxp_trunk_chip_info_get(unit, &chip) != 0) return station;
    for (int tid = chip.trunk_id_min; tid <= chip.trunk_id_max; tid++) {
        uint64_t members = 0;
        if (trunk_add(&members, unit, tid) && (members & station) != 0) return members;
    }
    return station;
}

}  // namespace

uint64_t voip_rx_dest_station(void) {
    if (rx_frame == nullptr) return 0;
    if (!rx_dest_looked_up) {
        rx_dest_looked_up = true;
        dxp_mac_t mac;
        std::memcpy(mac, rx_frame, sizeof mac);
        const auto vid = static_cast<dxp_vlan_t>(voip_be16(rx_frame + 14) & 0xFFF);
        // A group address has no station.
        rx_dest_station = (mac[0] & 1) != 0 ? 0 : station_of(mac, vid);
    }
    return rx_dest_station;
}

int voip_signal_rules_set(int index, int port, int enable) {
    if (index < 0 || index >= kSignalIndexes) return SOC_E_PARAM;
    int *ids = signal_ids[index];
    // One wait for the unit's API lock per pair of rules, not one per call
    // behind whatever else holds it.
    DxpUnitLock api(DXPX_CPU_UNIT);
    if (!enable) {
        // The caller accounts for the signalling entries.
        entry_drop(ids[0]);
        entry_drop(ids[1]);
        return 0;
    }
    int queue = 0;
    int rv = voice_queue(&queue);
    for (int i = 0; i < 2 && rv == 0; i++) {
        rv = entry_new(&ids[i]);
        if (rv != 0) {
            ids[i] = 0;
            break;
        }
        const auto p = static_cast<uint32_t>(port);
        rv = dxpx_field_qualify_IpProtocol(ids[i], kSignals[index].protocol, 0xFF);
        if (rv == 0) rv = dxpx_field_qualify_SrcIp(ids[i], 0, 0);
        if (rv == 0) rv = dxpx_field_qualify_DstIp(ids[i], 0, 0);
        if (rv == 0) rv = dxpx_field_qualify_L4SrcPort(ids[i], i == 0 ? p : 0, i == 0 ? 0xFFFF : 0);
        if (rv == 0) rv = dxpx_field_qualify_L4DstPort(ids[i], i == 1 ? p : 0, i == 1 ? 0xFFFF : 0);
        if (rv == 0)
            rv = dxpx_field_action_add(ids[i], dxpFieldActionCopyToCpu, 1,
                                       static_cast<uint32_t>(index + 1));
        if (rv == 0)
            rv = dxpx_field_action_add(ids[i], dxpFieldActionPrioIntNew,
                                       static_cast<uint32_t>(queue), 0);
        if (rv == 0) rv = dxpx_field_entry_install(ids[i]);
    }
    if (rv != 0) {
        entry_drop(ids[0]);
        entry_drop(ids[1]);
    }
    return rv;
}

int voip_queues_refresh(void) {
    SalLock lock(state_lock());
    int queue = 0;
    int rv = voice_queue(&queue);
    if (rv != 0) return rv;
    DxpUnitLock api(DXPX_CPU_UNIT);
    // The rule goes to the chip again with the voice priority's new queue.
    auto requeue = [queue](int id) {
        if (id == 0) return 0;
        int r = dxp_field_action_remove(DXPX_CPU_UNIT, id, dxpFieldActionPrioIntNew);
        if (r == 0)
            r = dxp_field_action_add(DXPX_CPU_UNIT, id, dxpFieldActionPrioIntNew,
                                     static_cast<uint32_t>(queue), 0);
        return r == 0 ? dxp_field_entry_reinstall(DXPX_CPU_UNIT, id) : r;
    };
    for (const auto &pair : signal_ids) {
        for (int id : pair) {
            if (int r = requeue(id); r != 0 && rv == 0) rv = r;
        }
    }
    for (const call_row &row : call_rows) {
        if (row.setup) continue;
        if (int r = requeue(row.id); r != 0 && rv == 0) rv = r;
    }
    return rv;
}

int voip_signal_enable(int enable) {
    SalLock changing(voip_profile_lock());
    if (!enable) {
        callout_set(false);
        sweep_set(false);
    }
    {
        SalLock lock(state_lock());
        // Off ends every call: no snooper sees its end any more.
        if (!enable) calls_clear();
        constexpr int kRules = 2 * kSignalIndexes;
        if (enable && group < 0) {
            refusal = "This switch has no field processor";
            return SOC_E_UNAVAIL;
        }
        const int count = entry_count + (enable ? kRules : -kRules);
        if (count > VOIP_MAX_ENTRIES) {
            refusal = "Auto VoIP's rules are all in use";
            return SOC_E_RESOURCE;
        }
        if (enable && !fp_rows_shared_take(kRules)) {
            refusal = FP_ROWS_KEPT_TEXT;
            return SOC_E_RESOURCE;
        }
        for (int i = 0; i < kSignalIndexes; i++) {
            int rv = voip_signal_rules_set(i, kSignals[i].port, enable);
            if (rv != 0 && enable) {
                for (int j = 0; j < i; j++)
                    voip_signal_rules_set(j, kSignals[j].port, 0);
                fp_rows_shared_give(kRules);
                refusal = dxp_errmsg(rv);
                return rv;
            }
        }
        if (enable) {
            shared_taken += kRules;
        } else {
            shared_give(shared_taken < kRules ? shared_taken : kRules);
        }
        entry_count = count < 0 ? 0 : count;
    }
    // Copies reach the snoopers once their rules are in place.
    if (enable) {
        callout_set(true);
        sweep_set(true);
    }
    return 0;
}

int voip_profile_set(int profile, int enable, int priority) {
    if (profile != 0) {
        log_refused_printf(LOG_LEVEL_WARNING, LOG_MOD_AUTOVOIP, "unsupported Profile(0x%x)\n",
                           static_cast<unsigned>(profile));
        return SOC_E_PARAM;
    }
    enable = enable ? 1 : 0;
    // Two posts of "on" at once must not both install the rules.
    SalLock changing(voip_profile_lock());
    {
        SalLock lock(state_lock());
        if (!profile_enable && !enable) return 0;
        if (profile_enable && enable) {
            profile_priority = priority;
            return 0;
        }
    }
    int rv = voip_signal_enable(enable);
    if (rv != 0) {
        // A switch without a field processor, or without room for the
        // rules, refuses the manager's setting as its page says: gated,
        // naming the sender. Any other failure is the switch's own.
        char line[160];
        std::snprintf(line, sizeof line, "Create FP entries for VoIP control packets failed : %s\n",
                      refusal);
        if (rv == SOC_E_UNAVAIL || rv == SOC_E_RESOURCE)
            log_refused_printf(rv == SOC_E_UNAVAIL ? LOG_LEVEL_WARNING : LOG_LEVEL_ERROR,
                               LOG_MOD_AUTOVOIP, "%s", line);
        else
            logger_puts(LOG_LEVEL_ERROR, LOG_MOD_AUTOVOIP, line);
        // Nothing was installed: the profile keeps its state.
        if (enable) return rv;
    }
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_AUTOVOIP, "Auto VoIP %s",
                  enable == 1 ? "enabled" : "disabled");
    SalLock lock(state_lock());
    profile_enable = enable;
    profile_priority = enable ? priority : 0;
    return 0;
}

const char *voip_profile_refusal(void) {
    SalLock lock(state_lock());
    return refusal;
}

void voip_profile_get(int profile, int *enable, int *priority) {
    if (profile != 0) {
        logger_printf(LOG_LEVEL_WARNING, LOG_MOD_AUTOVOIP, "unsupported Profile(0x%x)\n",
                      static_cast<unsigned>(profile));
        *enable = 0;
        *priority = 0;
        return;
    }
    SalLock lock(state_lock());
    *enable = profile_enable;
    *priority = profile_priority;
}

int voip_item(int op, settings_medium *m) {
    return settings_item_dispatch(op, m, load, save, kVersion, check);
}
