// Self-tests 49 (PHY loopback) and 39 (snake) on the loopback engine. The
// PHY loopback sends every combination of class of service, frames per trial
// and length out of each port, which returns them, and checks each frame and
// the port statistics. The snake chains the ports with per-port VLANs and
// static L2 entries so that frames circulate through all of them, then
// opens the chain towards the CPU and checks that every frame came back and
// every port passed traffic.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "diag_parse.h"
#include "diag_test.h"
#include "dxp_enums.h"
#include "dxp_error.h"
#include "dxp_tarn.h"
#include "lb_engine.h"
#include "sal.h"
#include "soc_counter.h"
#include "soc_dma.h"

namespace {

constexpr int kHairpinControl = 0;  // port control: frames may leave by their ingress port
constexpr int kVlanTries = 64;      // VLANs a snake port tries for a free table slot
constexpr dxp_vlan_t kLastVlan = 4094;

struct PortStats {
    uint64_t tx, rx, align, discards;
};

// One run context per unit, from the init to the done.
lb_work_t *work_of[SOC_MAX_NUM_DEVICES];

int lb_done_test(int unit, void *work);

int lb_init(int unit, args_t *a, void **work, int kind) {
    lb_params_t *p = lbu_params(unit, kind);
    if (p == nullptr) return -1;
    const lb_params_t before = *p;
    if (lbu_parse_args(unit, kind, a, p) < 0) return -1;
    void *mem = sal_alloc(sizeof(lb_work_t), "lb2 work");
    if (mem == nullptr) return -1;
    auto *lw = new (mem) lb_work_t{};
    lw->unit = unit;
    lw->kind = kind;
    lw->p = p;
    lw->numq = 1;
    if (dxp_cosq_config_get(unit, &lw->numq) < 0 || lw->numq <= 0) lw->numq = 1;
    work_of[unit] = lw;
    if (lbu_check_params(lw) < 0) {
        // Values that fail the check would fail every later run too.
        *p = before;
        lb_done_test(unit, lw);
        return -1;
    }
    if (lbu_init(lw, unit, kind) < 0) {
        // The framework runs no done after a failed init: undo here. A
        // refused run keeps nothing of its arguments.
        lb_done_test(unit, lw);
        *p = before;
        return -1;
    }
    *work = lw;
    return 0;
}

int lb_phy_init(int unit, args_t *a, void **work) {
    return lb_init(unit, a, work, LB_KIND_PHY);
}

int lb_snake_init(int unit, args_t *a, void **work) {
    return lb_init(unit, a, work, LB_KIND_SNAKE);
}

// ---------------------------------------------------------------- PHY loopback

int lbu_trial(lb_work_t *lw, int len, int ppt, int cos, int iteration) {
    const int unit = lw->unit;
    const lb_params_t &p = *lw->p;
    const char *txn = lb_port_name(unit, lw->tx_port), *rxn = lb_port_name(unit, lw->rx_port);
    if (!lbu_setup_frames(lw, len, ppt, cos, p.mac_dst, p.mac_src,
                          static_cast<dxp_vlan_t>(p.vlan))) {
        test_error(unit,
                   "Could not setup chain\n\tPort TX(%s) RX(%s)\n\tPacket Length=%d bytes\n\t"
                   "PPT=%d\n\tCurrent COS=%d\n\tIteration %d of %d\n",
                   txn, rxn, len, ppt, cos, iteration, p.count);
        return -1;
    }
    lbu_expect(lw, ppt);
    if (int rv = lbu_send_packets(lw, ppt); rv < 0) {
        lbu_free_rx(lw);
        test_error(unit, "Packet TX failed: ERROR: %s\n", dxp_errmsg(rv));
        return -1;
    }
    int rv = lbu_wait_packets(lw, ppt);
    lbu_free_rx(lw);
    // Frames dropped on the way (counted at the port or the CPU port) may
    // have been the test's own: the trial runs again, with other ports'
    // flooded frames kept from an overrun CPU port when some came meanwhile.
    for (int again = 0; rv < 0 && lw->dropped > 0 && again < LB_OVERRUN_RETRIES; again++) {
        if (lw->overrun > 0) lbu_shield_cpu(lw);
        rv = -1;
        if (lbu_setup_frames(lw, len, ppt, cos, p.mac_dst, p.mac_src,
                             static_cast<dxp_vlan_t>(p.vlan))) {
            lbu_expect(lw, ppt);
            if (rv = lbu_send_packets(lw, ppt); rv >= 0) rv = lbu_wait_packets(lw, ppt);
            lbu_free_rx(lw);
        }
    }
    if (rv < 0) {
        sal_printf("Transmitted packets\n");
        for (int i = 0; i < ppt; i++) {
            const int n = static_cast<int>(lw->tx[i]->pkt_data[0].len);
            sal_printf("TX packet %d: len=%d\n", i, n);
            soc_dma_data_dump("", lw->tx[i]->pkt_data[0].data, n);
        }
        // Still overrun: the port's loopback cannot be judged.
        if (lw->overrun > 0)
            test_error(unit,
                       "CPU port overrun: %llu frames to the CPU dropped during the trial\n\t"
                       "Packet Length=%d bytes\n\tPPT=%d\n\tCurrent COS=%d\n\tIteration %d "
                       "of %d\n",
                       static_cast<unsigned long long>(lw->overrun), len, ppt, cos, iteration,
                       p.count);
        else if (lw->dropped > 0)
            test_error(unit,
                       "Frames dropped on their way: %llu, counted where they were dropped "
                       "(above)\n\tPort TX(%s) RX(%s)\n\tPacket Length=%d bytes\n\tPPT=%d\n\t"
                       "Current COS=%d\n\tIteration %d of %d\n",
                       static_cast<unsigned long long>(lw->dropped), txn, rxn, len, ppt, cos,
                       iteration, p.count);
        else
            test_error(unit,
                       "See error description\n\tPort TX(%s) RX(%s)\n\tPacket Length=%d "
                       "bytes\n\tPPT=%d\n\tCurrent COS=%d\n\tIteration %d of %d\n",
                       txn, rxn, len, ppt, cos, iteration, p.count);
        return -1;
    }
    lbu_progress(lw, lbu_total(lw), false);
    return 0;
}

int stat32(lb_work_t *lw, int port, int type, const char *dir, const char *name, uint32_t *v) {
    if (int rv = dxp_stat_get32(lw->unit, port, type, v); rv < 0) {
        test_error(lw->unit, "Could not get port %s %s %s stats : %s\n",
                   lb_port_name(lw->unit, port), dir, name, dxp_errmsg(rv));
        return -1;
    }
    return 0;
}

int lbu_check_stats(lb_work_t *lw) {
    const int unit = lw->unit;
    const char *txn = lb_port_name(unit, lw->tx_port), *rxn = lb_port_name(unit, lw->rx_port);
    dxp_stat_sync(unit);
    uint32_t out = 0, in = 0, errors = 0;
    if (stat32(lw, lw->tx_port, snmpIfOutUcastPkts, "tx", "snmpIfOutUcastPkts", &out) < 0 ||
        stat32(lw, lw->rx_port, snmpIfInUcastPkts, "rx", "snmpIfInUcastPkts", &in) < 0)
        return -1;
    // Frames the receive port dropped for want of buffer were said and their
    // trials run again: they are no loss of the port's loopback.
    uint32_t in_dropped = 0;
    if (out != in && out > in) dxp_stat_get32(unit, lw->rx_port, snmpIfInDiscards, &in_dropped);
    if (out != in && out - in > in_dropped) {
        test_error(unit, "TX/RX packet stats mismatch: (%s) TX=%d, (%s) RX=%d\n", txn,
                   static_cast<int>(out), rxn, static_cast<int>(in));
        return -1;
    }
    if (stat32(lw, lw->tx_port, snmpIfOutErrors, "tx error", "snmpIfOutErrors", &errors) < 0)
        return -1;
    if (errors != 0) {
        test_error(unit, "TX error stats found: TX (%s) error count=%d\n", txn,
                   static_cast<int>(errors));
        return -1;
    }
    static const struct {
        int type;
        const char *name;
    } kRxErrors[] = {{snmpEtherStatsUndersizePkts, "snmpEtherStatsUndersizePkts"},
                     {snmpEtherStatsFragments, "snmpEtherStatsFragments"},
                     {snmpEtherStatsCRCAlignErrors, "snmpEtherStatsCRCAlignErrors"},
                     {snmpEtherStatsJabbers, "snmpEtherStatsJabbers"}};
    uint32_t sum = 0;
    for (const auto &e : kRxErrors) {
        uint32_t v = 0;
        if (stat32(lw, lw->rx_port, e.type, "rx", e.name, &v) < 0) return -1;
        sum += v;
    }
    if (sum != 0) {
        test_error(unit, "RX error stats found: RX (%s) error count=%d\n", rxn,
                   static_cast<int>(sum));
        return -1;
    }
    return 0;
}

int lbu_port_test(lb_work_t *lw) {
    const int unit = lw->unit;
    const lb_params_t &p = *lw->p;
    for (int port : {lw->tx_port, lw->rx_port}) {
        if (int rv = dxp_stat_clear(unit, port); rv < 0) {
            test_error(unit, "Could not clear port %s counters: %s\n", lb_port_name(unit, port),
                       dxp_errmsg(rv));
            return -1;
        }
    }
    lw->port_sent = lw->port_got = 0;
    soc_cm_debug_print(0x8000,
                       "Testing Port %s --> %s cnt(%d) pkt/trial(%d,%d += %d) l(%d,%d += %d) "
                       "cos(%d,%d)\n",
                       lb_port_name(unit, lw->tx_port), lb_port_name(unit, lw->rx_port), p.count,
                       p.ppt_start, p.ppt_end, p.ppt_inc, p.len_start, p.len_end, p.len_inc,
                       p.cos_start, p.cos_end);
    for (int cos = p.cos_start; cos <= p.cos_end; cos++)
        for (int ppt = p.ppt_start; ppt <= p.ppt_end; ppt += p.ppt_inc)
            for (int len = p.len_start; len <= p.len_end; len += p.len_inc)
                for (int i = 1; i <= p.count; i++) {
                    if (sh_stop_requested()) return TEST_STOPPED;
                    if (lbu_trial(lw, len, ppt, cos, i) < 0) return -1;
                }
    return lbu_check_stats(lw);
}

int lb_mac_test(int unit, args_t *, void *work) {
    auto *lw = static_cast<lb_work_t *>(work);
    const lb_params_t &p = *lw->p;
    soc_cm_debug_print(0x8000, "lb_mac_test[%d]: Starting ....\n", unit);
    lw->start_time = lw->last_report = sal_time();
    lw->tx_pkts = lw->rx_pkts = lw->tx_bytes = lw->rx_bytes = 0;
    const soc_pbmp_t pbm = p.pbm;
    if (!soc_pbmp_is_null(pbm)) {
        test_msg("Setting up ARL\n");
        const auto to_cpu = [](lb_work_t *w, const dxp_mac_t mac, dxp_vlan_t vid) {
            const int cpu = SOC_CONTROL(w->unit)->cmic_port;
            const int rv = lbu_l2_add(w, mac, vid, cpu);
            // An address in service was named already.
            if (rv < 0 && rv != DXP_E_EXISTS)
                test_error(w->unit, "Failed to set up L2 address: port %s\n",
                           lb_port_name(w->unit, cpu));
            return rv;
        };
        if (lbu_cpu_addresses(lw, to_cpu) < 0) {
            lbu_l2_remove_all(lw);
            return -1;
        }
    }
    int rv = 0;
    for (int port = 0; port < LB_PORTS && rv == 0; port++) {
        if (!soc_pbmp_member(pbm, port)) continue;
        lw->tx_port = lw->rx_port = port;
        rv = lbu_port_test(lw);
    }
    lbu_l2_remove_all(lw);
    lbu_progress(lw, lbu_total(lw), true);
    if (rv == TEST_STOPPED) return rv;
    if (rv == 0 && lw->tx_pkts == 0) {
        test_error(unit, "No frame was sent: nothing was tested\n");
        rv = -1;
    }
    return rv;
}

// ---------------------------------------------------------------- snake

dxp_vlan_t link_vid(const lb_params_t &p, int port) {
    return static_cast<dxp_vlan_t>(p.vlan + port + 1);
}

bool is_multicast(const dxp_mac_t mac) {
    return (mac[0] & 1) != 0;
}

// Points the link's address in its VLAN at `to` (the CPU port opens the
// chain there).
int link_set(lb_work_t *lw, const lb_link_t &l, int to) {
    const int unit = lw->unit;
    if (is_multicast(l.dst)) {
        dxp_mcast_addr mc{};
        dxp_mcast_addr_init(&mc, l.dst, l.vid);
        dxp_pbmp_port_add(&mc.pbmp, l.from);
        dxp_pbmp_port_add(&mc.pbmp, to);
        dxp_mcast_addr_remove(unit, l.dst, l.vid);
        return dxp_mcast_addr_add(unit, &mc);
    }
    if (to == l.from) {
        int rv = dxp_port_control_set(unit, l.from, kHairpinControl, 1);
        if (rv < 0 && rv != DXP_E_UNAVAIL) return rv;
    }
    dxp_l2_addr addr{};
    dxp_l2_addr_init(&addr, l.dst, l.vid);
    addr.port = to;
    addr.flags = DXP_L2_STATIC;
    return dxp_l2_addr_add(unit, &addr);
}

void link_remove(lb_work_t *lw, const lb_link_t &l) {
    const int unit = lw->unit;
    int rv = is_multicast(l.dst) ? dxp_mcast_addr_remove(unit, l.dst, l.vid)
                                 : dxp_l2_addr_delete(unit, l.dst, l.vid);
    if (rv < 0 && rv != DXP_E_NOT_FOUND)
        sal_printf("Could not remove snake link of port %s: %s\n", lb_port_name(unit, l.from),
                   dxp_errmsg(rv));
    if (l.to == l.from) dxp_port_control_set(unit, l.from, kHairpinControl, 0);
}

void snake_free(lb_work_t *lw) {
    const bool forward = lw->p->snake_path != LB_PATH_DECREASING;
    const bool reverse = lw->p->snake_path != LB_PATH_INCREASING;
    for (int i = 0; i < lw->snake_ports; i++) {
        if (forward) link_remove(lw, lw->fwd[i]);
        if (reverse) link_remove(lw, lw->rev[i]);
    }
    // The links' VLANs go with the test's journal.
    sal_free(lw->fwd);
    sal_free(lw->rev);
    sal_free(lw->markers);
    lw->fwd = lw->rev = nullptr;
    lw->markers = nullptr;
    lw->fwd_count = lw->rev_count = lw->snake_ports = 0;
}

// What port i of the chains forwards to: itself, its neighbours and the CPU.
soc_pbmp_t link_reach(const lb_work_t *lw, int i) {
    soc_pbmp_t reach{};
    for (int member :
         {lw->fwd[i].from, lw->fwd[i].to, lw->rev[i].to, SOC_CONTROL(lw->unit)->cmic_port})
        soc_pbmp_port_add(&reach, member);
    return reach;
}

// Port i's VLAN with the port, its neighbours and the CPU, and its links'
// entries. The table's slot of a link's entry follows its address and VLAN,
// and every link of a chain has the frames' destination address: where
// another entry holds the slot, the port takes the next free VLAN instead.
int snake_link_port(lb_work_t *lw, int i, bool forward, bool reverse, dxp_vlan_t *next_spare) {
    const int unit = lw->unit;
    const int port = lw->fwd[i].from;
    const int cpu = SOC_CONTROL(unit)->cmic_port;
    dxp_pbmp_t members{}, untagged{};
    for (int member : {port, lw->fwd[i].to, lw->rev[i].to}) {
        dxp_pbmp_port_add(&members, member);
        dxp_pbmp_port_add(&untagged, member);
    }
    dxp_pbmp_port_add(&members, cpu);
    int rv = DXP_E_FULL;
    for (int tries = 0; tries < kVlanTries && rv == DXP_E_FULL; tries++) {
        dxp_vlan_t vid = lw->fwd[i].vid;
        if (tries > 0) vid = (*next_spare)++;
        if (vid > kLastVlan) return DXP_E_FULL;
        rv = test_vlan_create(&lw->saved, vid);
        // A VLAN that exists is someone else's: the port takes another, and
        // says which.
        if (rv == DXP_E_EXISTS) {
            test_msg("LB: VLAN %d is in service: port %s takes another\n", vid,
                     lb_port_name(unit, port));
            rv = DXP_E_FULL;
            continue;
        }
        if (rv >= 0 && tries > 0)
            test_msg("LB: port %s runs in VLAN %d\n", lb_port_name(unit, port), vid);
        if (rv < 0) return rv;
        lw->fwd[i].vid = lw->rev[i].vid = vid;
        rv = test_vlan_port_add(&lw->saved, vid, members, untagged);
        test_hold_cpu_vlan(&lw->saved, vid);
        if (rv >= 0 && forward) rv = link_set(lw, lw->fwd[i], lw->fwd[i].to);
        if (rv >= 0 && reverse) rv = link_set(lw, lw->rev[i], lw->rev[i].to);
        if (rv < 0) {
            if (forward) link_remove(lw, lw->fwd[i]);
            if (reverse) link_remove(lw, lw->rev[i]);
            dxp_vlan_destroy(unit, vid);
        }
    }
    if (rv < 0) return rv;
    if (rv = test_port_egress(&lw->saved, port, link_reach(lw, i)); rv < 0) return rv;
    return test_pvid_set(&lw->saved, port, lw->fwd[i].vid);
}

// The chains in ascending port order (the reverse one walked backwards),
// each port's VLAN holding the port, its neighbours and the CPU, and the
// links' L2 entries closing each chain into a ring.
int snake_build(lb_work_t *lw) {
    const lb_params_t &p = *lw->p;
    int ports[LB_PORTS], n = 0;
    for (int port = 0; port < LB_PORTS; port++)
        if (soc_pbmp_member(p.pbm, port)) ports[n++] = port;
    if (n == 0) return DXP_E_PARAM;
    const bool forward = p.snake_path != LB_PATH_DECREASING;
    const bool reverse = p.snake_path != LB_PATH_INCREASING;
    lw->fwd = static_cast<lb_link_t *>(sal_alloc(sizeof(lb_link_t) * n, "Forward snake port info"));
    lw->rev = static_cast<lb_link_t *>(sal_alloc(sizeof(lb_link_t) * n, "Reverse snake port info"));
    lw->markers = static_cast<uint8_t *>(sal_alloc(LB_MAX_PPT, "Snake TX match markers"));
    if (lw->fwd == nullptr || lw->rev == nullptr || lw->markers == nullptr) return DXP_E_MEMORY;
    // The snake's frames travel in the ports' own VLANs. Out of the test
    // VLAN, which the untested ports share, no other host's frame enters
    // the chains.
    const dxp_pbmp_t tested{{p.pbm.w[0], p.pbm.w[1]}};
    if (int rv = test_vlan_port_remove(&lw->saved, static_cast<dxp_vlan_t>(p.vlan), tested); rv < 0)
        return rv;
    dxp_mac_t rev_dst, rev_src;
    std::memcpy(rev_dst, p.mac_dst, 6);
    std::memcpy(rev_src, p.mac_src, 6);
    if (forward && reverse) {
        macaddr_increment(rev_dst, p.mac_dst_inc != 0 ? p.mac_dst_inc : 1);
        macaddr_increment(rev_src, p.mac_src_inc);
    }
    for (int i = 0; i < n; i++) {
        lb_link_t &f = lw->fwd[i];
        f = lb_link_t{ports[i], ports[(i + 1) % n], link_vid(p, ports[i]), {}, {}};
        std::memcpy(f.dst, p.mac_dst, 6);
        std::memcpy(f.src, p.mac_src, 6);
        lb_link_t &r = lw->rev[i];
        r = lb_link_t{ports[i], ports[(i + n - 1) % n], link_vid(p, ports[i]), {}, {}};
        std::memcpy(r.dst, rev_dst, 6);
        std::memcpy(r.src, rev_src, 6);
    }
    // Both chains share each port's VLAN; their addresses tell them apart.
    auto next_spare = static_cast<dxp_vlan_t>(link_vid(p, LB_PORTS));
    for (int i = 0; i < n; i++) {
        if (int rv = snake_link_port(lw, i, forward, reverse, &next_spare); rv < 0) {
            sal_printf("%s loop closure failed: %s\n", forward ? "Forward" : "Reverse",
                       dxp_errmsg(rv));
            return rv;
        }
        lw->snake_ports = i + 1;
    }
    lw->fwd_count = forward ? n : 0;
    lw->rev_count = reverse ? n : 0;
    return 0;
}

// The chain a frame travels: the forward one for even frames when both run.
const lb_link_t *chain_first(const lb_work_t *lw, int frame) {
    if (lw->fwd_count > 0 && (lw->rev_count == 0 || frame % 2 == 0)) return &lw->fwd[0];
    // The reverse chain starts at the highest port.
    return &lw->rev[lw->rev_count - 1];
}

void read_port_stats(int unit, int port, PortStats *s) {
    uint64_t v = 0;
    *s = PortStats{};
    if (dxp_stat_get(unit, port, snmpIfOutUcastPkts, &v) >= 0) s->tx = v;
    if (dxp_stat_get(unit, port, snmpIfInUcastPkts, &v) >= 0) s->rx = v;
    if (dxp_stat_get(unit, port, snmpDot3StatsAlignmentErrors, &v) >= 0) s->align = v;
    if (dxp_stat_get(unit, port, snmpIfInDiscards, &v) >= 0) s->discards = v;
}

int snake_check_ports(lb_work_t *lw, const PortStats *before, int seconds) {
    const int unit = lw->unit;
    const lb_params_t &p = *lw->p;
    int rv = 0;
    dxp_stat_sync(unit);
    for (int port = 0; port < LB_PORTS; port++) {
        if (!soc_pbmp_member(p.pbm, port)) continue;
        const char *name = lb_port_name(unit, port);
        PortStats now;
        read_port_stats(unit, port, &now);
        const uint32_t tx = static_cast<uint32_t>(now.tx - before[port].tx);
        const uint32_t rx = static_cast<uint32_t>(now.rx - before[port].rx);
        sal_printf("Port %s Tx Count = 0x%x\n", name, tx);
        sal_printf("Port %s Rx Count = 0x%x\n", name, rx);
        if (tx == 0) {
            test_error(unit, "Port %s failed to send packets\n", name);
            rv = -1;
        }
        if (rx == 0) {
            test_error(unit, "Port %s failed to receive packets\n", name);
            rv = -1;
        }
        if (tx != 0 && rx == 0) {
            test_error(unit, "Port %s loopback failure\n", name);
            // What the port shows now tells a lost link from a lost loopback.
            int up = -1, loopback = -1, enable = -1;
            dxp_port_link_status_get(unit, port, &up);
            dxp_port_loopback_get(unit, port, &loopback);
            dxp_port_enable_get(unit, port, &enable);
            sal_printf("Port %s now: link %s, loopback %d, %s\n", name, up > 0 ? "up" : "down",
                       loopback, enable > 0 ? "enabled" : "disabled");
        }
        sal_printf("Port %s (%d) statistics:\n", name, port);
        int speed = 0, duplex = 0;
        dxp_port_speed_get(unit, port, &speed);
        dxp_port_duplex_get(unit, port, &duplex);
        const int secs = seconds > 0 ? seconds : 1;
        sal_printf("Port %s (%d) (%dM %s) tx %u pkt/s rx %u pkt/s: ", name, port, speed,
                   duplex ? "FD" : "HD", tx / static_cast<uint32_t>(secs),
                   rx / static_cast<uint32_t>(secs));
        if (now.align != before[port].align) {
            sal_printf("ALN Error Detected\n");
        } else if (now.discards != before[port].discards) {
            sal_printf("Dropped Error Detected\n");
        } else if (tx == 0 || rx == 0) {
            sal_printf("FAIL->NO TRAFFIC\n");
            sal_printf("ERROR: traffic stopped on port %s (%d)\n", name, port);
        } else {
            sal_printf("PASSED\n");
        }
    }
    return rv;
}

// How many frames the tested ports have passed both ways, counted up to
// `cap` a port and direction: once the sum reaches the frames per trial on
// every port both ways, every frame has gone round the chain at least once.
uint64_t frames_round(lb_work_t *lw, const PortStats *before, int cap) {
    uint64_t passed = 0;
    dxp_stat_sync(lw->unit);
    for (int port = 0; port < LB_PORTS; port++) {
        if (!soc_pbmp_member(lw->p->pbm, port)) continue;
        PortStats now;
        read_port_stats(lw->unit, port, &now);
        passed += std::min<uint64_t>(now.tx - before[port].tx, static_cast<uint64_t>(cap));
        passed += std::min<uint64_t>(now.rx - before[port].rx, static_cast<uint64_t>(cap));
    }
    return passed;
}

// The chip model runs as fast as the host lets it: the ports are judged by
// the frames they passed, not by what a second of wall-clock time saw. This
// waits until every frame has gone round once, for as long as the frames
// move on: the time-out is the frame time-out since the last frame moved,
// so it grows with the ports the chain has. False after a break.
bool wait_frames_round(lb_work_t *lw, const PortStats *before, int ppt) {
    constexpr int kStepUsecs = 20000;
    const uint64_t all = static_cast<uint64_t>(2 * ppt) * lb_port_count(lw->p->pbm);
    uint64_t last = frames_round(lw, before, ppt);
    uint32_t moved = sal_time_usecs();
    while (last < all && static_cast<int32_t>(sal_time_usecs() - moved) < lw->timeout_usec) {
        if (sh_wait_usec(kStepUsecs, 0) == CMD_INTR) return false;
        const uint64_t now = frames_round(lw, before, ppt);
        if (now != last) moved = sal_time_usecs();
        last = now;
    }
    return true;
}

// Waits for the frames to come home to the CPU, for as long as they keep
// coming or moving through the ports, at most one frame time-out per port
// of the chain (a frame passes each once), in time the host gave the
// program: a stall of the whole program is no port's fault; false on a
// time-out.
bool wait_frames_home(lb_work_t *lw, const PortStats *before) {
    int received = lw->received.load();
    uint64_t passed = frames_round(lw, before, INT32_MAX);
    const auto nothing_seen = [] { return false; };
    for (int slices = lb_port_count(lw->p->pbm) + 1;
         !lbu_take_within(lw, lw->timeout_usec, nothing_seen); slices--) {
        const int now = lw->received.load();
        const uint64_t moved = frames_round(lw, before, INT32_MAX);
        if ((now == received && moved == passed) || slices <= 1) return false;
        received = now;
        passed = moved;
    }
    return true;
}

// A snake loop whose frames were dropped where it was counted (an overrun
// CPU port, a full buffer or queue of a tested port).
constexpr int kSnakeDropped = -2;

// Every frame through the tested ports, both ways, the dropped ones too.
uint64_t ports_traffic(lb_work_t *lw) {
    return test_ports_traffic(lw->unit, lw->p->pbm);
}

// A frame that reached a tested port before its loopback closed it (another
// host's broadcast, which a slow host loops back late) is flooded round the
// chains in the ports' VLANs, doubling at every port, until it fills the
// chains and overruns the CPU port with copies. Before the frames are sent,
// the tested ports forward to the CPU alone until nothing moves through them
// any more (no longer than the frame time-out), then the chains open again.
// False after a break.
bool chains_cleared(lb_work_t *lw) {
    constexpr int kStepUsecs = 20000;
    constexpr int kQuietSteps = 5;
    const soc_pbmp_t cpu = SOC_CONTROL(lw->unit)->cmic_bitmap;
    for (int i = 0; i < lw->snake_ports; i++)
        test_port_egress(&lw->saved, lw->fwd[i].from, cpu);
    bool stopped = false;
    const uint64_t first = ports_traffic(lw);
    uint64_t last = first;
    const uint32_t start = sal_time_usecs();
    for (int quiet = 0; quiet < kQuietSteps && !stopped &&
                        static_cast<int32_t>(sal_time_usecs() - start) < lw->timeout_usec;) {
        stopped = sh_wait_usec(kStepUsecs, 0) == CMD_INTR;
        const uint64_t now = ports_traffic(lw);
        quiet = now == last ? quiet + 1 : 0;
        last = now;
    }
    if (last != first)
        test_msg(
            "LB: other hosts' frames were still passing the tested ports (%llu counted): "
            "the chains opened once they were gone\n",
            static_cast<unsigned long long>(last - first));
    for (int i = 0; i < lw->snake_ports; i++)
        test_port_egress(&lw->saved, lw->fwd[i].from, link_reach(lw, i));
    return !stopped;
}

// Sends the frames into the chains, lets them circulate for the duration,
// opens the chains towards the CPU and matches what returns. A loop whose
// frames were dropped where it was counted judges no port: the caller runs
// it again, or names the drops after the last try.
int snake_run(lb_work_t *lw, int len, int ppt, int cos) {
    const int unit = lw->unit;
    const lb_params_t &p = *lw->p;
    const int cpu = SOC_CONTROL(unit)->cmic_port;
    if (!chains_cleared(lw)) return TEST_STOPPED;
    for (int i = 0; i < ppt; i++) {
        const lb_link_t *first = chain_first(lw, i);
        // The frames return through the first link's VLAN, so they carry it.
        lbu_build_frame(lw, i, first->from, len, cos, first->dst, first->src, first->vid);
        lw->markers[i] = 0;
    }
    PortStats before[LB_PORTS];
    dxp_stat_sync(unit);
    for (int port = 0; port < LB_PORTS; port++)
        if (soc_pbmp_member(p.pbm, port)) read_port_stats(unit, port, &before[port]);
    lbu_expect(lw, ppt);
    lw->waiting.store(false);  // nothing reaches the CPU while the chains are closed
    if (int rv = lbu_send_packets(lw, ppt); rv < 0) {
        test_error(unit, "Packet TX failed: ERROR: %s\n", dxp_errmsg(rv));
        return -1;
    }
    const int interval = p.interval > 0 ? p.interval : 1;
    // A break cuts the circulation short; the frames still come home.
    bool stopped = false;
    for (int elapsed = 1; elapsed <= p.duration && !stopped; elapsed++) {
        stopped = sh_wait_usec(1000000, 0) == CMD_INTR;
        if (!stopped && elapsed % interval == 0 && elapsed < p.duration)
            sal_printf("Time elapsed:  %d seconds\n", elapsed);
    }
    if (!stopped) stopped = !wait_frames_round(lw, before, ppt);
    lbu_wait_rx_room(lw, ppt);
    lw->waiting.store(true);
    if (lw->fwd_count > 0) {
        if (int rv = link_set(lw, lw->fwd[0], cpu); rv < 0) {
            test_error(unit, "CPU redirect failure on forward loop: %s\n", dxp_errmsg(rv));
            return -1;
        }
    }
    if (lw->rev_count > 0) {
        if (int rv = link_set(lw, lw->rev[lw->rev_count - 1], cpu); rv < 0) {
            test_error(unit, "CPU redirect failure on reverse loop: %s\n", dxp_errmsg(rv));
            return -1;
        }
    }
    int rv = 0;
    // After a break too: the frames come home rather than reach the
    // management interface.
    const bool timed_out = !wait_frames_home(lw, before) && !stopped;
    if (timed_out) {
        lw->waiting.store(false);
        sal_printf("Time-out waiting for snake completion\n");
        sal_printf("Receive count is %d; expecting %d pkts.\n", lw->received.load(), ppt);
        lbu_timed_out(lw);
        rv = -1;
    }
    lw->waiting.store(false);
    const int got = lw->received.load();
    for (int i = 0; i < got && i < ppt && !stopped; i++) {
        const int at = lbu_match_packet(lw, &lw->rx[i], ppt);
        if (at < 0) {
            rv = -1;
            continue;
        }
        lw->markers[at] = 1;
        lw->rx_pkts++;
        lw->rx_bytes += lw->rx[i].pkt_len;
        if (lbu_check_packet(lw, lw->tx[at], &lw->rx[i]) < 0) rv = -1;
    }
    bool missing = false;
    for (int i = 0; i < ppt && !stopped; i++) {
        if (!lw->markers[i]) {
            sal_printf("TX packet %d did not return to CPU\n", i);
            missing = true;
            rv = -1;
        }
    }
    lbu_free_rx(lw);
    // Close the chains again for the next loop.
    for (const lb_link_t *l : {lw->fwd_count > 0 ? &lw->fwd[0] : nullptr,
                               lw->rev_count > 0 ? &lw->rev[lw->rev_count - 1] : nullptr}) {
        if (l != nullptr && link_set(lw, *l, l->to) < 0) {
            test_error(unit, "CPU undirect failure on forward loop: %s\n", dxp_errmsg(DXP_E_FAIL));
            rv = -1;
        }
    }
    if (stopped) return rv < 0 ? rv : TEST_STOPPED;
    // Where the missing frames were dropped (said at a time-out already).
    if (missing && !timed_out) lbu_count_drops(lw);
    if (rv < 0 && lw->dropped > 0) return kSnakeDropped;
    if (snake_check_ports(lw, before, p.duration) < 0) rv = -1;
    if (rv < 0)
        test_error(unit, "Snake failed\n\tPacket Length=%d bytes\n\tPPT=%d\n\tCurrent COS=%d\n",
                   len, ppt, cos);
    return rv;
}

int lb_snake_test(int unit, args_t *, void *work) {
    auto *lw = static_cast<lb_work_t *>(work);
    const lb_params_t &p = *lw->p;
    int cos = p.cos_start, len = p.len_start, ppt = p.ppt_start;
    for (int loop = 1; loop <= p.count; loop++) {
        if (sh_stop_requested()) return TEST_STOPPED;
        sal_printf("\nLB: loop %d of %d: circular test on ports for %d seconds\n", loop, p.count,
                   p.duration);
        if (p.inject) return 0;
        // The ports are judged by what they passed from the run's start:
        // the counters stay as the administrator reads them, on every port.
        if (lw->fwd == nullptr && snake_build(lw) < 0) {
            test_error(unit,
                       "Could not setup snake\n\tPacket Length=%d bytes\n\tPPT=%d\n\t"
                       "Current COS=%d\n",
                       len, ppt, cos);
            return -1;
        }
        if (!lbu_frames_fit(lw, len, ppt)) {
            test_error(unit,
                       "Could not setup snake\n\tPacket Length=%d bytes\n\tPPT=%d\n\t"
                       "Current COS=%d\n",
                       len, ppt, cos);
            return -1;
        }
        int rv = snake_run(lw, len, ppt, cos);
        for (int again = 0; rv == kSnakeDropped && again < LB_OVERRUN_RETRIES; again++) {
            if (lw->overrun > 0) lbu_shield_cpu(lw);
            rv = snake_run(lw, len, ppt, cos);
        }
        if (rv == kSnakeDropped && lw->overrun > 0) {
            test_error(unit,
                       "CPU port overrun: %llu frames to the CPU dropped while the snake's "
                       "frames came home\n\tPacket Length=%d bytes\n\tPPT=%d\n\tCurrent "
                       "COS=%d\n",
                       static_cast<unsigned long long>(lw->overrun), len, ppt, cos);
            return -1;
        }
        if (rv == kSnakeDropped) {
            test_error(unit,
                       "Snake frames dropped on their way: %llu, counted where they were dropped "
                       "(above)\n\tPacket Length=%d bytes\n\tPPT=%d\n\tCurrent COS=%d\n",
                       static_cast<unsigned long long>(lw->dropped), len, ppt, cos);
            return -1;
        }
        if (rv != 0) return rv;
        if (++cos > p.cos_end) cos = p.cos_start;
        if ((len += p.len_inc) > p.len_end) len = p.len_start;
        if ((ppt += p.ppt_inc) > p.ppt_end) ppt = p.ppt_start;
    }
    return 0;
}

// ---------------------------------------------------------------- done

int lb_done_test(int unit, void *work) {
    auto *lw = static_cast<lb_work_t *>(work);
    if (lw == nullptr) return 0;
    // The ports stop and their loops open before the snake's links go: a
    // frame still on its way would be flooded, or leave by the wire.
    int rv = test_stop_ports(&lw->saved);
    if (lw->fwd != nullptr || lw->rev != nullptr || lw->markers != nullptr) snake_free(lw);
    if (lbu_done(lw) < 0) rv = -1;
    work_of[unit] = nullptr;
    sal_free(lw);
    return rv;
}

}  // namespace

void test_loopback_register(void) {
    test_t row{};
    row.t_flags = TEST_F_RC | TEST_F_CHIP_MASK;
    row.t_loops = 1;
    row.t_done_f = lb_done_test;

    row.t_name = "New Snake Test";
    row.t_test = 39;
    row.t_init_f = lb_snake_init;
    row.t_test_f = lb_snake_test;
    test_register(row);

    row.t_name = "PHY Loopback - Mark 2";
    row.t_test = 49;
    row.t_init_f = lb_phy_init;
    row.t_test_f = lb_mac_test;
    test_register(row);
}
