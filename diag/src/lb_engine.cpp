// The loopback test engine: parameters, port and VLAN set-up, the CPU
// receive monitor, frame building, sending, waiting and comparing. The
// receive callout runs where the receive service parses each frame, ahead
// of its queues, and only stores frames and gives the semaphore; everything
// else runs on the test thread.
#include "lb_engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <optional>
#include <utility>

#include "diag_parse.h"
#include "diag_pattern.h"
#include "diag_pkt.h"
#include "diag_test.h"
#include "drv_if.h"
#include "drv_reg_rmw.h"
#include "drv_vlan.h"
#include "pktsvc.h"
#include "port_reserve.h"
#include "dxp_enums.h"
#include "dxp_error.h"
#include "dxp_tarn.h"
#include "et_soc.h"
#include "sal.h"
#include "shr.h"
#include "soc_dma.h"
#include "soc_property.h"

namespace {

constexpr int kKinds = 4;
constexpr int kRxPriority = 255;
// Every class of service, called as each frame is parsed: the test's frames
// are taken before the queue that other ports' traffic to the CPU may fill.
constexpr uint32_t kRxFlags = 0x8000C0FF;
constexpr int kStpForward = 4;
constexpr uint32_t kLearnForwardOnly = 4;
constexpr int kPayloadAt = 20;
constexpr int kIndexAt = 24;
constexpr int kMinLength = 64;
constexpr int kLinkWaitUsecs = 5000000;

const char *const kSendModes[] = {"Single", "Array", nullptr};
const char *const kCrcModes[] = {"CpuNone", "CpuAppend", "MacRegen", nullptr};
const char *const kLoopModes[] = {"MAC", "PHY", "EXTernal", nullptr};
const char *const kSnakePaths[] = {"INCreasing", "DECreasing", "TWOways", nullptr};
const char *const kSpeeds[] = {"MAXimum",        "10fullduplex",   "100fullduplex",
                               "1000fullduplex", "2500fullduplex", "3000fullduplex",
                               "10Gfullduplex",  nullptr};
constexpr int kSpeedMbps[] = {0, 10, 100, 1000, 2500, 3000, 10000};

lb_params_t *records[SOC_MAX_NUM_DEVICES][kKinds];
// The unit's frames are numbered on from run to run: a frame of an earlier
// run that comes back late (the CPU port held it in a queue) is behind
// every number of this one, never taken for one of its frames.
uint32_t next_seq[SOC_MAX_NUM_DEVICES];

soc_pbmp_t phy_ports(int unit) {
    const soc_control_t *soc = SOC_CONTROL(unit);
    soc_pbmp_t b = soc->e.bitmap;
    for (int i = 0; i < 2; i++)
        b.w[i] &= ~soc->cmic_bitmap.w[i];
    return b;
}

int queue_count(int unit) {
    int numq = 0;
    if (dxp_cosq_config_get(unit, &numq) < 0 || numq <= 0) return 1;
    return numq;
}

void set_defaults(int unit, int kind, lb_params_t *p) {
    static const dxp_mac_t kSrc = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    static const dxp_mac_t kDst = {0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb};
    const bool snake = kind == LB_KIND_SNAKE;
    *p = lb_params_t{};
    p->pbm = phy_ports(unit);
    if (kind == LB_KIND_MAC) p->pbm = SOC_CONTROL(unit)->e.bitmap;
    if (kind == LB_KIND_EXTERNAL) {
        soc_pbmp_t every_second{};
        bool take = true;
        for (int port = 0; port < LB_PORTS; port++) {
            if (!soc_pbmp_member(SOC_CONTROL(unit)->e.bitmap, port)) continue;
            if (take) soc_pbmp_port_add(&every_second, port);
            take = !take;
        }
        p->pbm = every_second;
    }
    p->hg_dest_mod_inc = snake ? 1 : 0;
    p->hg_dest_port = SOC_CONTROL(unit)->cmic_port;
    std::memcpy(p->mac_src, kSrc, 6);
    std::memcpy(p->mac_dst, kDst, 6);
    p->mac_dst_inc = snake ? 1 : 0;
    p->pattern = static_cast<int>(0xA5A4A3A2u);
    p->vlan = 1;
    p->len_start = 72;
    p->len_end = 1522;
    p->len_inc = 512;
    p->ppt_start = 1;
    p->ppt_end = LB_MAX_PPT;
    p->ppt_inc = snake ? 6 : (p->ppt_end - p->ppt_start != 0 ? p->ppt_end - p->ppt_start : 1);
    p->send_mode = LB_SEND_SINGLE;
    p->count = snake ? 5 : 10;
    p->crc_mode = snake ? LB_CRC_CPU_APPEND : LB_CRC_MAC_REGEN;
    p->dst_inc = snake ? 1 : 0;
    p->loopback = kind == LB_KIND_PHY        ? LB_LOOP_PHY
                  : kind == LB_KIND_EXTERNAL ? LB_LOOP_EXTERNAL
                                             : LB_LOOP_MAC;
    p->cos_end = queue_count(unit) - 1;
    p->check_data = snake ? 0 : 1;
    p->duration = snake ? 10 : 0;
    p->interval = snake ? diag_settings.report_time : 0;
    p->snake_path = LB_PATH_INCREASING;
}

// The largest frame the receive buffers hold with the management tag, the
// receive header and an appended CRC.
int frame_limit(int unit) {
    dxp_rx_cfg_t cfg{};
    dxp_rx_cfg_get(unit, &cfg);
    int size = cfg.pkt_size > 0 ? cfg.pkt_size : 2048;
    return size - SOC_DMA_RX_HDR_BYTES - 10;
}

uint32_t crc_of(const uint8_t *data, int len) {
    return ~shr_crc32(~0u, data, static_cast<size_t>(len));
}

uint32_t be32(const uint8_t *p) {
    return packet_unpack_be(p, 4);
}

// A CRC in the frame goes in the order the MAC sends its FCS: the least
// significant byte first.
void put_fcs(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; i++)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t fcs_at(const uint8_t *p) {
    return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
}

void put_be32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; i++)
        p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

uint8_t *data_of(dxp_pkt *pkt) {
    return pkt->pkt_data[0].data;
}

int length_of_rx(const dxp_pkt *pkt) {
    return pkt->pkt_len;
}

uint16_t vid_of(const uint8_t *f) {
    return static_cast<uint16_t>((f[14] & 0x0f) << 8 | f[15]);
}

// A received frame's bytes, from its first block.
const uint8_t *frame_of(const dxp_pkt *pkt) {
    return pkt->pkt_data != nullptr ? pkt->pkt_data[0].data : pkt->_pkt_data.data;
}

uint32_t first_seq(const lb_work_t *lw) {
    return be32(lw->tx[0]->pkt_data[0].data + 16);
}

// A frame of the trial: the addresses and VLAN of one of its frames, and a
// sequence number that no earlier trial sent. Anything else that reaches the
// CPU through a tested port (another host's broadcast flooded into the test
// VLAN and looped back, an earlier trial's frame coming late) is foreign. A
// test frame spoilt on its way still counts, and the comparison reports it.
bool carries_signature(const lb_work_t *lw, const dxp_pkt *pkt) {
    if (pkt->pkt_len < kPayloadAt) return false;
    const uint8_t *r = frame_of(pkt);
    if (r == nullptr || r[12] != 0x81 || r[13] != 0x00) return false;
    const int expect = lw->expect.load();
    bool ours = false;
    for (int i = 0; i < expect && i < LB_MAX_PPT && !ours; i++) {
        const uint8_t *t = lw->tx[i]->pkt_data[0].data;
        ours = std::memcmp(t, r, 12) == 0 && vid_of(t) == vid_of(r);
    }
    if (!ours) return false;
    // The run numbers its frames from 0: what is behind the trial's first
    // number was sent before it.
    return static_cast<int32_t>(be32(r + 16) - first_seq(lw)) >= 0;
}

uint32_t seq_of(const dxp_pkt *pkt) {
    return be32(frame_of(pkt) + 16);
}

int rx_callout(int, dxp_pkt *pkt, void *cookie) {
    auto *lw = static_cast<lb_work_t *>(cookie);
    // The receive service keeps serving the management interface during
    // the test: only what returns through a tested port and carries the
    // signature of the trial under way is the test's (a looped-back port
    // takes nothing from its wire, but the switch floods other ports'
    // frames into it). The frames of a trial are looked at only while it
    // waits: between trials the test thread builds the next ones.
    if (!soc_pbmp_member(lw->p->pbm, pkt->rx_port)) {
        lw->others.fetch_add(1);
        return DXP_RX_NOT_HANDLED;
    }
    if (!lw->waiting.load() || !carries_signature(lw, pkt)) {
        lw->others.fetch_add(1);
        lw->foreign.fetch_add(1);
        return DXP_RX_NOT_HANDLED;
    }
    const int n = lw->received.load();
    if (n >= 2 * LB_MAX_PPT) return DXP_RX_NOT_HANDLED;
    // Each frame of the trial counts once: a second copy of one would fill
    // the count while another is still missing.
    if (const int at = lbu_seq_index(first_seq(lw), lw->expect.load(), seq_of(pkt)); at >= 0) {
        if (lw->back.fetch_or(1u << at) & 1u << at) {
            lw->others.fetch_add(1);
            lw->foreign.fetch_add(1);
            return DXP_RX_NOT_HANDLED;
        }
    }
    dxp_pkt &slot = lw->rx[n];
    slot = *pkt;
    slot._pkt_data = pkt->pkt_data != nullptr ? pkt->pkt_data[0] : pkt->_pkt_data;
    slot.pkt_data = &slot._pkt_data;
    slot.blk_count = 1;
    lw->received.store(n + 1);
    if (n + 1 >= lw->expect.load()) {
        lw->waiting.store(false);
        if (!lw->given.exchange(true) && sal_sem_give(lw->sema) < 0)
            sal_printf("Warning: LB RX done give failed\n");
    }
    return DXP_RX_HANDLED_OWNED;
}

int setup_ports(lb_work_t *lw) {
    const int unit = lw->unit;
    const lb_params_t &p = *lw->p;
    test_msg("Saving ports\n");
    for (int port = 0; port < LB_PORTS; port++) {
        if (!soc_pbmp_member(p.pbm, port)) continue;
        if (int rv = test_save_port(&lw->saved, port); rv < 0) {
            test_error(unit, "Port %s: Could not get port info: %s\n", lb_port_name(unit, port),
                       dxp_errmsg(rv));
            return -1;
        }
        if (test_neutral_port(&lw->saved, port) < 0) return -1;
    }
    char names[256];
    format_pbmp(unit, names, sizeof names, p.pbm);
    test_msg("Port setup, bitmap %s\n", names);
    for (int port = 0; port < LB_PORTS; port++) {
        if (!soc_pbmp_member(p.pbm, port)) continue;
        const char *name = lb_port_name(unit, port);
        int speed = kSpeedMbps[p.speed];
        if (speed == 0) dxp_port_speed_max(unit, port, &speed);
        int medium = 0;
        if (dxp_port_medium_get(unit, port, &medium) >= 0 && medium == 2) {
            // A fibre runs the one speed of its kind (1000BASE-X or
            // 100BASE-FX): the test forces that one.
            int fibre = 0;
            if (dxp_port_speed_get(unit, port, &fibre) < 0 || fibre <= 0) fibre = 1000;
            soc_cm_debug_print(0x8000, "unit %d Port %s is in Fiber mode. Forcing FullDuplex\n",
                               unit, name);
            soc_cm_debug_print(0x8000, "unit %d Port %s is in Fiber mode. Forcing %dMbps\n", unit,
                               name, fibre);
            speed = fibre;
        }
        int rv = dxp_port_autoneg_set(unit, port, p.autoneg);
        if (rv >= 0 && !p.autoneg) rv = dxp_port_speed_set(unit, port, speed);
        if (rv >= 0 && !p.autoneg) rv = dxp_port_duplex_set(unit, port, 1);
        if (rv >= 0) rv = dxp_port_enable_set(unit, port, 1);
        if (rv < 0) {
            test_error(unit, "Port %s: Port setup failed: %s\n", name, dxp_errmsg(rv));
            return -1;
        }
        // Where the chip cannot stop learning, the test frames' source
        // addresses are learnt; the test looks up destinations only.
        if (rv = dxp_port_learn_set(unit, port, kLearnForwardOnly); rv < 0 && rv != DXP_E_UNAVAIL) {
            test_error(unit, "Unable to set learn state: port %s: %s\n", name, dxp_errmsg(rv));
            return -1;
        }
        dxp_port_pause_set(unit, port, 0, 0);
        char speed_text[16];
        std::snprintf(speed_text, sizeof speed_text, "%d", speed);
        if (p.loopback == LB_LOOP_PHY) {
            soc_cm_debug_print(0x8000, "PHY loopback at speed %s\n", speed_text);
            if (rv = dxp_port_loopback_set(unit, port, 2); rv < 0) {
                test_error(unit, "Port %s: Failed to set PHY loopback: %s\n", name, dxp_errmsg(rv));
                return -1;
            }
        } else if (p.loopback == LB_LOOP_MAC) {
            soc_cm_debug_print(0x8000, "MAC loopback at speed %s\n", speed_text);
            if (rv = dxp_port_loopback_set(unit, port, 1); rv < 0) {
                test_error(unit, "Port %s: Failed to set MAC loopback: %s\n", name, dxp_errmsg(rv));
                return -1;
            }
        }
        if (rv = dxp_port_stp_set(unit, port, kStpForward); rv < 0) {
            test_error(unit, "Unable to set port %s in forwarding state: %s\n", name,
                       dxp_errmsg(rv));
            return -1;
        }
    }
    return 0;
}

dxp_pbmp_t to_dxp(const soc_pbmp_t &b) {
    return dxp_pbmp_t{{b.w[0], b.w[1]}};
}

// The CPU port takes other ports' broadcasts, multicasts and unknown
// unicasts as a member of their VLANs; the test's frames reach it through
// their own address entries, which these fields leave alone.
constexpr uint32_t kFloodFields[] = {F_MIRX_BC_EN, F_MIRX_MC_EN, F_MIRX_UC_EN};

void unshield_cpu(lb_work_t *lw) {
    const int cpu = SOC_CONTROL(lw->unit)->cmic_port;
    for (size_t i = 0; i < std::size(kFloodFields); i++) {
        if (!(lw->flood_cleared >> i & 1)) continue;
        if (int rv = drv_reg_field_write(lw->unit, R_MII_PCTL, cpu, kFloodFields[i], 1); rv < 0)
            sal_printf("CPU port: Could not restore its flooded frames: %s\n", dxp_errmsg(rv));
    }
    lw->flood_cleared = 0;
    lw->shielded = false;
}

int setup_vlan(lb_work_t *lw) {
    const int unit = lw->unit;
    const lb_params_t &p = *lw->p;
    const auto vid = static_cast<dxp_vlan_t>(p.vlan);
    // Only the tested ports leave their VLANs: the others keep serving.
    if (int rv = test_vlan_leave_others(&lw->saved, to_dxp(p.pbm), vid); rv < 0) {
        test_error(unit, "Could not take the test ports out of their VLANs: %s\n", dxp_errmsg(rv));
        return -1;
    }
    if (int rv = test_vlan_create(&lw->saved, vid); rv < 0 && rv != DXP_E_EXISTS) {
        test_error(unit, "Could not create VLAN %d: %s\n", p.vlan, dxp_errmsg(rv));
        return -1;
    }
    soc_pbmp_t members = p.pbm;
    for (int i = 0; i < 2; i++)
        members.w[i] |= SOC_CONTROL(unit)->cmic_bitmap.w[i];
    soc_pbmp_t untagged{};
    for (int i = 0; i < 2; i++)
        untagged.w[i] = p.ubm.w[i] & p.pbm.w[i];
    if (int rv = test_vlan_port_add(&lw->saved, vid, to_dxp(members), to_dxp(untagged)); rv < 0) {
        test_error(unit, "Could not add test ports to VLAN %d: %s\n", p.vlan, dxp_errmsg(rv));
        return -1;
    }
    // The frames come back to the CPU in this VLAN.
    test_hold_cpu_vlan(&lw->saved, vid);
    for (int port = 0; port < LB_PORTS; port++) {
        if (!soc_pbmp_member(p.pbm, port)) continue;
        if (int rv = test_pvid_set(&lw->saved, port, vid); rv < 0) {
            test_error(unit, "Could not set port %s to tag packet with VLAN %d: %s\n",
                       lb_port_name(unit, port), p.vlan, dxp_errmsg(rv));
            return -1;
        }
    }
    return 0;
}

int port_monitor_start(lb_work_t *lw) {
    const int unit = lw->unit;
    test_msg("Port monitor init\n");
    // A running service (the management interface's) is shared, not
    // stopped: the switch stays reachable while it tests its ports.
    if (!dxp_rx_active(unit)) {
        dxp_rx_cfg_t cfg{};
        dxp_rx_cfg_init(unit);
        dxp_rx_cfg_get(unit, &cfg);
        if (int rv = dxp_rx_start(unit, &cfg); rv < 0) {
            sal_printf("lbu_port_monitor_task:rx_start failed: %s\n", dxp_errmsg(rv));
            return rv;
        }
        lw->started_rx = true;
    }
    if (int rv = dxp_rx_register(unit, "loopback test", rx_callout, kRxPriority, lw, kRxFlags);
        rv < 0) {
        sal_printf("lbu_port_monitor_task:rx_register failed: %s\n", dxp_errmsg(rv));
        return rv;
    }
    lw->monitor_on = true;
    // A service started here, or just before, posts its buffers at the
    // thread's next pass; a frame that returned before would be dropped by
    // the MAC.
    const uint32_t start = sal_time_usecs();
    while (rx_chain_state(unit, 0, 0) != DV_S_ACTIVE &&
           static_cast<int32_t>(sal_time_usecs() - start) < kLinkWaitUsecs)
        sal_usleep(1000);
    return 0;
}

int ppt_sum(const lb_params_t &p) {
    int frames = 0;
    for (int ppt = p.ppt_start; ppt <= p.ppt_end; ppt += p.ppt_inc)
        frames += ppt;
    return frames;
}

int packet_timeout_usecs(int unit) {
    const uint32_t boot = sal_boot_flags_get();
    int dflt = (boot & 0xA0000) ? 180 : (boot & 0x10000) ? 60 : 5;
    return soc_property_get(unit, "diag_lb_packet_timeout", dflt) * 1000000;
}

// Where the chip cannot stop learning, the test frames' source addresses
// were learnt on the tested ports: they go with the test. The chip is asked
// for each address in each VLAN the frames carried (the firmware's shadow of
// the table may not have caught up yet).
void forget_sources(lb_work_t *lw) {
    const lb_params_t &p = *lw->p;
    const int unit = lw->unit;
    if (soc_pbmp_is_null(lw->saved.info_ports)) return;
    dxp_vlan_t vids[LB_PORTS + 1];
    int nvids = 0;
    vids[nvids++] = static_cast<dxp_vlan_t>(p.vlan);
    if (lw->kind == LB_KIND_SNAKE)
        for (int port = 0; port < LB_PORTS; port++)
            if (soc_pbmp_member(p.pbm, port))
                vids[nvids++] = static_cast<dxp_vlan_t>(p.vlan + port + 1);
    // Frames of a trial, and the snake's reverse chain, send from the
    // following addresses.
    const int sources = p.mac_src_inc != 0 ? LB_MAX_PPT + 1 : 1;
    dxp_mac_t src;
    std::memcpy(src, p.mac_src, 6);
    for (int i = 0; i < sources; i++, macaddr_increment(src, p.mac_src_inc)) {
        for (int v = 0; v < nvids; v++) {
            dxp_l2_addr found{};
            if (dxp_l2_addr_get(unit, src, vids[v], &found) < 0) continue;
            if ((found.flags & DXP_L2_STATIC) || !soc_pbmp_member(p.pbm, found.port)) continue;
            dxp_l2_addr_delete(unit, src, vids[v]);
        }
    }
}

}  // namespace

const char *lb_port_name(int unit, int port) {
    return SOC_CONTROL(unit)->port_name[port];
}

int lb_port_count(const soc_pbmp_t &pbm) {
    return __builtin_popcount(pbm.w[0]) + __builtin_popcount(pbm.w[1]);
}

lb_params_t *lbu_params(int unit, int kind) {
    if (records[unit][0] == nullptr) {
        for (int k = 0; k < kKinds; k++) {
            auto *p = static_cast<lb_params_t *>(sal_alloc(sizeof(lb_params_t), "lb2 params"));
            if (p == nullptr) return nullptr;
            set_defaults(unit, k, p);
            records[unit][k] = p;
        }
    }
    return records[unit][kind];
}

int lbu_parse_args(int unit, int kind, args_t *a, lb_params_t *p) {
    const lb_params_t before = *p;
    parse_table_t pt[3];
    for (parse_table_t &t : pt)
        parse_table_init(unit, &t);
    const uint32_t d = PQ_DFL;
    parse_table_add(&pt[0], kind == LB_KIND_EXTERNAL ? "TxPortBitMap" : "PortBitMap", PQ_PBMP | d,
                    nullptr, &p->pbm, nullptr);
    if (kind == LB_KIND_MAC || kind == LB_KIND_PHY)
        parse_table_add(&pt[0], "UntagBitMap", PQ_PBMP | d, nullptr, &p->ubm, nullptr);
    parse_table_add(&pt[0], "HGDestMOD", PQ_INT | d, nullptr, &p->hg_dest_mod, nullptr);
    if (kind == LB_KIND_SNAKE)
        parse_table_add(&pt[0], "HGDestMODInc", PQ_INT | d, nullptr, &p->hg_dest_mod_inc, nullptr);
    parse_table_add(&pt[0], "HGDestPORT", PQ_INT | d, nullptr, &p->hg_dest_port, nullptr);
    parse_table_add(&pt[0], "OpCode", PQ_INT | d, nullptr, &p->opcode, nullptr);
    parse_table_add(&pt[0], "SourceMac", PQ_MAC | d, nullptr, p->mac_src, nullptr);
    parse_table_add(&pt[0], "SourceMacInc", PQ_INT | d, nullptr, &p->mac_src_inc, nullptr);
    parse_table_add(&pt[0], "DestMac", PQ_MAC | d, nullptr, p->mac_dst, nullptr);
    parse_table_add(&pt[0], "DestMacInc", PQ_INT | d, nullptr, &p->mac_dst_inc, nullptr);
    parse_table_add(&pt[0], "Pattern", PQ_HEX | d, nullptr, &p->pattern, nullptr);
    parse_table_add(&pt[0], "PatternIncrement", PQ_HEX | d, nullptr, &p->pattern_inc, nullptr);
    parse_table_add(&pt[1], "VLantag", PQ_INT | d, nullptr, &p->vlan, nullptr);
    parse_table_add(&pt[1], "LengthStart", PQ_INT | d, nullptr, &p->len_start, nullptr);
    parse_table_add(&pt[1], "LengthEnd", PQ_INT | d, nullptr, &p->len_end, nullptr);
    parse_table_add(&pt[1], "LengthIncrement", PQ_INT | d, nullptr, &p->len_inc, nullptr);
    parse_table_add(&pt[1], "PktsPerTrialStart", PQ_INT | d, nullptr, &p->ppt_start, nullptr);
    parse_table_add(&pt[1], "PktsPerTrialEnd", PQ_INT | d, nullptr, &p->ppt_end, nullptr);
    parse_table_add(&pt[1], "PktsPerTrialInc", PQ_INT | d, nullptr, &p->ppt_inc, nullptr);
    parse_table_add(&pt[1], "SENDMethod", PQ_MULTI | d, nullptr, &p->send_mode, kSendModes);
    parse_table_add(&pt[1], "Count", PQ_INT | d, nullptr, &p->count, nullptr);
    parse_table_add(&pt[1], "CRC", PQ_MULTI | d, nullptr, &p->crc_mode, kCrcModes);
    parse_table_add(&pt[2], "DestinationIncrement", PQ_INT | d, nullptr, &p->dst_inc, nullptr);
    parse_table_add(&pt[2], "Speed", PQ_MULTI | d, nullptr, &p->speed, kSpeeds);
    parse_table_add(&pt[2], "AutoNeg", PQ_BOOL | d, nullptr, &p->autoneg, nullptr);
    parse_table_add(&pt[2], "LoopbackMode", PQ_MULTI | d, nullptr, &p->loopback, kLoopModes);
    parse_table_add(&pt[2], "COSStart", PQ_INT | d, nullptr, &p->cos_start, nullptr);
    parse_table_add(&pt[2], "COSEnd", PQ_INT | d, nullptr, &p->cos_end, nullptr);
    parse_table_add(&pt[2], "CheckData", PQ_BOOL | d, nullptr, &p->check_data, nullptr);
    parse_table_add(&pt[2], "CheckCrc", PQ_BOOL | d, nullptr, &p->check_crc, nullptr);
    parse_table_add(&pt[2], "InjectPackets", PQ_BOOL | d, nullptr, &p->inject, nullptr);
    parse_table_add(&pt[2], "Duration", PQ_INT | d, nullptr, &p->duration, nullptr);
    parse_table_add(&pt[2], "Interval", PQ_INT | d, nullptr, &p->interval, nullptr);
    parse_table_add(&pt[2], "SnakePath", PQ_MULTI | d, nullptr, &p->snake_path, kSnakePaths);
    // The words may name options of any table in any order.
    bool bad = false;
    for (bool more = true; more && !bad;) {
        more = false;
        for (parse_table_t &t : pt) {
            int n = parse_table_args(a, &t);
            if (n < 0) bad = true;
            if (n > 0) more = true;
        }
    }
    for (parse_table_t &t : pt)
        parse_table_done(&t);
    const char *left = ARG_CUR(a);
    if (bad) {
        test_error(unit, "%s", "");  // the parser's line said which and why
        *p = before;
        return -1;
    }
    if (left != nullptr) {
        test_error(unit, "%s: Invalid option: %s\n", ARG_CMD(a), left);
        *p = before;
        return -1;
    }
    return 0;
}

int lbu_check_params(lb_work_t *lw) {
    const int unit = lw->unit;
    lb_params_t &p = *lw->p;
    // Checked before anything changes: the set-up destroys the VLANs first.
    if (p.vlan < 1 || p.vlan > 4094) {
        test_error(unit, "VLAN tag %d out of range (1-4094)\n", p.vlan);
        return -1;
    }
    // The snake's per-port VLANs follow the tag.
    if (lw->kind == LB_KIND_SNAKE && p.vlan + LB_PORTS + 1 > 4094) {
        test_error(unit, "VLAN tag %d leaves no room for the snake's VLANs (at most %d)\n", p.vlan,
                   4094 - LB_PORTS - 1);
        return -1;
    }
    if (p.count < 1) {
        test_error(unit, "Count %d: at least one run is needed\n", p.count);
        return -1;
    }
    // Bounded as TestRun's loop count: a run must end within reason.
    if (p.count > TEST_MAX_LOOPS) {
        test_error(unit, "Count %d too large (at most %d)\n", p.count, TEST_MAX_LOOPS);
        return -1;
    }
    if (soc_pbmp_is_null(p.pbm)) {
        test_error(unit, "No port to test\n");
        return -1;
    }
    if (p.len_end < p.len_start) {
        test_error(unit, "Packet end length %d below start length %d\n", p.len_end, p.len_start);
        return -1;
    }
    if (p.ppt_end < p.ppt_start) {
        test_error(unit, "Packets per trial end %d below start %d\n", p.ppt_end, p.ppt_start);
        return -1;
    }
    if (p.duration < 0 || p.interval < 0) {
        test_error(unit, "Duration and Interval must not be negative\n");
        return -1;
    }
    if (p.len_start < kMinLength) {
        test_error(unit, "Packet start length %d too small\n", p.len_start);
        return -1;
    }
    // Frames are built in, and return into, buffers of a fixed size.
    if (const int limit = frame_limit(unit); p.len_end > limit) {
        test_error(unit, "Packet end length %d too large.  Max is %d.\n", p.len_end, limit);
        return -1;
    }
    if (p.ppt_start > LB_MAX_PPT || p.ppt_end > LB_MAX_PPT) {
        test_error(unit, "Too many packets per trial (%d, %d).  Max is %d.\n", p.ppt_start,
                   p.ppt_end, LB_MAX_PPT);
        p.ppt_start = p.ppt_end = LB_MAX_PPT;
        return -1;
    }
    if (p.len_inc <= 0 || p.ppt_inc <= 0 || p.ppt_start < 1) {
        test_error(unit, "Increments must be > 0\n");
        return -1;
    }
    soc_pbmp_t allowed = phy_ports(unit);
    if ((p.pbm.w[0] & ~allowed.w[0]) != 0 || (p.pbm.w[1] & ~allowed.w[1]) != 0) {
        char names[256];
        format_pbmp(unit, names, sizeof names, allowed);
        test_error(unit, "Invalid bits in port bitmap.\nAllowable ports are %s\n", names);
        return -1;
    }
    if (p.cos_start < 0 || p.cos_end < p.cos_start || p.cos_end >= lw->numq) {
        test_error(unit, "Invalid COS values: start=%d end=%d\n", p.cos_start, p.cos_end);
        return -1;
    }
    if (p.check_crc && p.crc_mode == LB_CRC_CPU_NONE) {
        test_error(unit, "Can't check CRC if not generating it\n");
        return -1;
    }
    if (p.check_crc && lw->kind == LB_KIND_MAC) {
        test_error(unit, "Can't check CRC (not generated in MAC loopback mode)\n");
        return -1;
    }
    if (lw->kind == LB_KIND_SNAKE) {
        // A chain of one port would send each frame back out of the port it
        // came in at, which the switch never does.
        if (lb_port_count(p.pbm) < 2) {
            char names[256];
            format_pbmp(unit, names, sizeof names, p.pbm);
            test_error(unit, "PortBitMap %s: the snake needs two ports\n", names);
            return -1;
        }
        unsigned long long total = 0;
        for (int run = 0, ppt = p.ppt_start; run < p.count; run++) {
            total += static_cast<unsigned long long>(ppt);
            ppt += p.ppt_inc;
            while (ppt > p.ppt_end && p.ppt_end > p.ppt_start)
                ppt -= p.ppt_end - p.ppt_start;
            if (ppt > p.ppt_end) ppt = p.ppt_start;
        }
        test_msg("LB: total %llu pkt over %d runs\n", total, p.count);
        return 0;
    }
    const int lengths = (p.len_end - p.len_start) / p.len_inc + 1;
    const int queues = p.cos_end - p.cos_start + 1;
    int ports = lb_port_count(p.pbm);
    if (lw->kind == LB_KIND_EXTERNAL) ports /= 2;
    const int frames = ppt_sum(p);
    test_msg("LB: total %llu pkt (%d len * %d COS * %d port * %d packets * %d count)\n",
             static_cast<unsigned long long>(lbu_total(lw)), lengths, queues, ports, frames,
             p.count);
    return 0;
}

int lbu_init(lb_work_t *lw, int unit, int kind) {
    lw->unit = unit;
    lw->kind = kind;
    lw->timeout_usec = packet_timeout_usecs(unit);
    lw->seq = next_seq[unit];
    lw->pattern = static_cast<uint32_t>(lw->p->pattern);
    lw->tx_alloc_len = frame_limit(unit);
    dxp_pkt **array = nullptr;
    if (dxp_pkt_blk_alloc(unit, LB_MAX_PPT, lw->tx_alloc_len, 0, &array) < 0) {
        test_error(unit, "Unable to allocate tx packet memory\n");
        return -1;
    }
    for (int i = 0; i < LB_MAX_PPT; i++)
        lw->tx[i] = array[i];
    sal_free(array);
    lw->rx = static_cast<dxp_pkt *>(sal_alloc(sizeof(dxp_pkt) * 2 * LB_MAX_PPT, "lb2 rx pkts"));
    if (lw->rx == nullptr) {
        test_error(unit, "Unable to allocate rx packet memory\n");
        return -1;
    }
    lw->sema = sal_sem_create("lb2-sema", sal_sem_COUNTING, 0);
    if (lw->sema == nullptr) return -1;
    // The watcher in SOC mode has the CPU port's DMA to itself.
    if (!dxp_rx_active(unit) && pw_running(unit)) {
        test_error(unit, "The packet watcher holds the receive DMA; stop it first\n");
        return -1;
    }
    // Before anything changes: the tested ports are held against the other
    // managers and the VLAN table the set-up destroys is kept for the done.
    // The CPU port sends the frames and takes them back: it is held too.
    const char *owner = kind == LB_KIND_SNAKE ? "New Snake Test" : "PHY Loopback - Mark 2";
    if (test_save_switch(&lw->saved, unit, lw->p->pbm, owner) < 0 ||
        test_hold_cpu(&lw->saved, owner) < 0 || test_check_frame_settings(&lw->saved) < 0)
        return -1;
    if (kind != LB_KIND_SNAKE && lbu_cpu_addresses(lw, lbu_l2_free) < 0) return -1;
    // Before the first port loops back: a broadcast flooded between looped
    // ports while the others are set up would circle without end. Each
    // tested port forwards to the CPU only (the snake opens the way to its
    // neighbours), and no other port forwards into them.
    test_seal_ports(&lw->saved, lw->p->pbm, SOC_CONTROL(unit)->cmic_bitmap);
    if (setup_ports(lw) < 0 || setup_vlan(lw) < 0) return -1;
    // A looped-back port takes a moment to report its link; frames sent
    // before would be lost. A port that never comes up fails its trials.
    // Link scan takes the looped-back link in now, not at its next pass in
    // the middle of a trial.
    dxp_pbmp_t waiting = to_dxp(lw->p->pbm);
    dxp_linkscan_update(unit, waiting);
    if (test_link_wait(unit, &waiting, kLinkWaitUsecs) == DXP_E_TIMEOUT) {
        soc_pbmp_t down{{waiting.w[0], waiting.w[1]}};
        char names[256];
        format_pbmp(unit, names, sizeof names, down);
        sal_printf("Warning: no link on %s after the loopback was set\n", names);
    }
    // Link scan leaves a forced port's MAC as a link loss left it: enable
    // it for the looped-back link.
    for (int port = 0; port < LB_PORTS; port++)
        if (soc_pbmp_member(lw->p->pbm, port)) dxp_port_update(unit, port, 1);
    if (port_monitor_start(lw) < 0) return -1;
    lw->start_time = lw->last_report = sal_time();
    return 0;
}

void lbu_build_frame(lb_work_t *lw, int i, int port, int len, int cos, const dxp_mac_t dst,
                     const dxp_mac_t src, dxp_vlan_t vid) {
    const lb_params_t &p = *lw->p;
    dxp_pkt *pkt = lw->tx[i];
    uint8_t *f = data_of(pkt);
    std::memcpy(f, dst, 6);
    std::memcpy(f + 6, src, 6);
    f[12] = 0x81;
    f[13] = 0x00;
    f[14] = static_cast<uint8_t>(vid >> 8 & 0x0f);
    f[15] = static_cast<uint8_t>(vid);
    put_be32(f + 16, lw->seq++);
    next_seq[lw->unit] = lw->seq;
    lw->pattern = packet_pattern_fill(f + kPayloadAt, len - kPayloadAt, lw->pattern,
                                      static_cast<uint32_t>(p.pattern_inc));
    f[kIndexAt] = static_cast<uint8_t>(i);
    if (p.crc_mode == LB_CRC_CPU_APPEND) put_fcs(f + len - 4, crc_of(f, len - 4));
    pkt->pkt_data[0].len = static_cast<uint32_t>(len);
    pkt->blk_count = 1;
    pkt->cos = static_cast<uint8_t>(cos);
    pkt->prio_int = static_cast<uint8_t>(cos);
    pkt->call_back = nullptr;
    // The MAC regenerates a CRC over the frame's last four bytes, or appends
    // one after the CRC the CPU wrote.
    pkt->flags = p.crc_mode == LB_CRC_CPU_APPEND ? 0 : DXP_PKT_F_CRC_REGEN;
    dxp_pbmp_t tx{}, untag{};
    dxp_pbmp_port_add(&tx, port);
    if (soc_pbmp_member(p.ubm, port)) dxp_pbmp_port_add(&untag, port);
    dxp_tx_pkt_map(lw->unit, pkt, tx, untag);
    lw->matched[i] = false;
}

bool lbu_setup_frames(lb_work_t *lw, int len, int ppt, int cos, const dxp_mac_t dst,
                      const dxp_mac_t src, dxp_vlan_t vid) {
    const lb_params_t &p = *lw->p;
    if (!lbu_frames_fit(lw, len, ppt)) return false;
    dxp_mac_t da, sa;
    std::memcpy(da, dst, 6);
    std::memcpy(sa, src, 6);
    for (int i = 0; i < ppt; i++) {
        lbu_build_frame(lw, i, lw->tx_port, len, cos, da, sa, vid);
        macaddr_increment(da, p.mac_dst_inc);
        macaddr_increment(sa, p.mac_src_inc);
    }
    return true;
}

bool lbu_frames_fit(const lb_work_t *lw, int len, int ppt) {
    return len <= lw->tx_alloc_len && ppt <= LB_MAX_PPT && ppt >= 1 && len >= kMinLength;
}

int lbu_seq_index(uint32_t first, int frames, uint32_t seq) {
    const uint32_t at = seq - first;
    return frames > 0 && at < static_cast<uint32_t>(frames) ? static_cast<int>(at) : -1;
}

uint32_t lbu_missing(const lb_work_t *lw, int frames) {
    const uint32_t all = frames >= 32 ? ~0u : (1u << frames) - 1;
    return all & ~lw->back.load();
}

namespace {

uint32_t mib_read(int unit, int reg, int port) {
    const drv_if_t *svc = DRV_SERVICES(unit);
    uint32_t v = 0;
    if (svc != nullptr) svc->reg_read(unit, svc->reg_addr(unit, reg, port, 0), &v, 4);
    return v;
}

}  // namespace

void lbu_drops_read(int unit, const soc_pbmp_t &ports, lb_drops_t *d) {
    d->ports = ports;
    for (int port = 0; port < LB_PORTS; port++) {
        if (!soc_pbmp_member(ports, port)) continue;
        d->out[port] = mib_read(unit, R_TXDROPPKTS, port);
        d->in[port] = mib_read(unit, R_RXDROPPKTS, port);
    }
    d->cpu_queue = mib_read(unit, R_TXDROPPKTS, SOC_CONTROL(unit)->cmic_port);
    d->cpu_mac = et_soc_rx_missed();
    rx_counts_t rx{};
    if (rx_counts_get(unit, &rx) >= 0) d->rx_service = rx.bad + rx.chan_stopped + rx.thread_stopped;
}

void lbu_count_drops(lb_work_t *lw) {
    const int unit = lw->unit;
    const lb_drops_t &was = lw->drops_at_send;
    lb_drops_t now{};
    lbu_drops_read(unit, was.ports, &now);
    lw->others_seen = lw->others.load() - lw->others_at_send;
    lw->dropped = 0;
    for (int port = 0; port < LB_PORTS; port++) {
        if (!soc_pbmp_member(was.ports, port)) continue;
        const uint32_t out = now.out[port] - was.out[port], in = now.in[port] - was.in[port];
        // The port's transmit drops count what a port without link refused
        // too: a full queue is named only where the port has its link.
        if (out > 0) {
            int up = 0;
            const bool linked = dxp_port_link_status_get(unit, port, &up) < 0 || up != 0;
            sal_printf("%u frame%s dropped at %s on the way out: %s\n", out, out == 1 ? "" : "s",
                       lb_port_name(unit, port), linked ? "queue full" : "no link");
        }
        if (in > 0)
            sal_printf("%u frame%s dropped at %s on the way in: buffer full\n", in,
                       in == 1 ? "" : "s", lb_port_name(unit, port));
        lw->dropped += out + in;
    }
    const uint32_t queue = now.cpu_queue - was.cpu_queue;
    const uint64_t mac = now.cpu_mac - was.cpu_mac;
    lw->overrun = queue + mac;
    if (lw->overrun > 0)
        sal_printf(
            "The CPU port was overrun: %llu frames to the CPU dropped meanwhile (%u at its queue: "
            "queue full, %llu at its MAC: no receive buffer)\n",
            static_cast<unsigned long long>(lw->overrun), queue,
            static_cast<unsigned long long>(mac));
    lw->dropped += lw->overrun;
    if (const uint32_t service = now.rx_service - was.rx_service; service > 0) {
        sal_printf(
            "%u frame%s dropped by the CPU's receive service: channel stopped or frame bad\n",
            service, service == 1 ? "" : "s");
        lw->dropped += service;
    }
}

bool lbu_shield_cpu(lb_work_t *lw) {
    if (lw->shielded || lw->others_seen <= 0) return false;
    lw->shielded = true;
    const int cpu = SOC_CONTROL(lw->unit)->cmic_port;
    for (size_t i = 0; i < std::size(kFloodFields); i++) {
        uint32_t on = 0;
        if (drv_reg_field_read(lw->unit, R_MII_PCTL, cpu, kFloodFields[i], &on) >= 0 && on &&
            drv_reg_field_write(lw->unit, R_MII_PCTL, cpu, kFloodFields[i], 0) >= 0)
            lw->flood_cleared |= 1u << i;
    }
    test_msg(
        "LB: the CPU port is overrun: other ports' flooded frames are kept from it until the "
        "test ends\n");
    return true;
}

void lbu_timed_out(lb_work_t *lw) {
    sal_printf("%d foreign frames arrived meanwhile\n", lw->others.load() - lw->others_at_send);
    lbu_count_drops(lw);
}

// The CPU-port MAC drops a frame that finds no receive buffer posted, and
// on a slow host the receive thread may not have posted again yet what the
// last trial used. A receive service set up with fewer buffers than a
// trial sends gives up waiting, and the overrun is counted.
void lbu_wait_rx_room(const lb_work_t *lw, int frames) {
    const uint32_t start = sal_time_usecs();
    for (int room = et_soc_rx_room();
         room >= 0 && room < frames &&
         static_cast<int32_t>(sal_time_usecs() - start) < lw->timeout_usec;
         room = et_soc_rx_room())
        sal_usleep(1000);
}

void lbu_expect(lb_work_t *lw, int expect) {
    lbu_wait_rx_room(lw, expect);
    lw->others_at_send = lw->others.load();
    // The snake's frames pass every tested port; the others', their own.
    soc_pbmp_t path = lw->p->pbm;
    if (lw->kind != LB_KIND_SNAKE) {
        path = soc_pbmp_t{};
        soc_pbmp_port_add(&path, lw->tx_port);
        soc_pbmp_port_add(&path, lw->rx_port);
    }
    lbu_drops_read(lw->unit, path, &lw->drops_at_send);
    lw->overrun = lw->dropped = 0;
    while (sal_sem_take(lw->sema, 0) == 0) {
    }
    lw->received.store(0);
    lw->back.store(0);
    lw->expect.store(expect);
    lw->given.store(false);
    lw->waiting.store(true);
}

int lbu_send_packets(lb_work_t *lw, int ppt) {
    const int unit = lw->unit;
    if (lw->p->send_mode == LB_SEND_SINGLE) {
        for (int i = 0; i < ppt; i++) {
            if (int rv = dxp_tx(unit, lw->tx[i], nullptr); rv < 0) {
                sal_printf("lbu_send_packets: ERROR: port%d: dxp_tx:%s\n", lw->tx_port,
                           dxp_errmsg(rv));
                return rv;
            }
            lw->tx_pkts++;
            lw->port_sent++;
            lw->tx_bytes += lw->tx[i]->pkt_data[0].len;
        }
        return 0;
    }
    if (lw->p->send_mode == LB_SEND_ARRAY) {
        if (int rv = dxp_tx_array(unit, lw->tx, ppt, nullptr, nullptr); rv < 0) {
            sal_printf("lbu_send_packets (array): ERROR: port %d; ppt %d; dxp_tx: %s\n",
                       lw->tx_port, ppt, dxp_errmsg(rv));
            return rv;
        }
        for (int i = 0; i < ppt; i++) {
            lw->tx_pkts++;
            lw->port_sent++;
            lw->tx_bytes += lw->tx[i]->pkt_data[0].len;
        }
        return 0;
    }
    sal_printf("lbu_send_packets: Unsupported send mechanism\n");
    return DXP_E_PARAM;
}

bool lbu_take_within(lb_work_t *lw, int usecs, const std::function<bool()> &moved) {
    constexpr uint32_t kSliceUsecs = 10000;
    int64_t waited = 0;
    for (uint32_t at = sal_time_usecs(); sal_sem_take(lw->sema, kSliceUsecs) < 0;) {
        const uint32_t now = sal_time_usecs();
        waited += std::min(now - at, 2 * kSliceUsecs);
        at = now;
        if (moved()) waited = 0;
        if (waited >= usecs) return false;
    }
    return true;
}

namespace {

// The time-out runs from the last frame that came back, not from the send:
// a host that runs the chip model slowly returns the frames late, not never.
bool wait_all_back(lb_work_t *lw) {
    int received = lw->received.load();
    return lbu_take_within(lw, lw->timeout_usec, [&] {
        const int back = lw->received.load();
        return std::exchange(received, back) != back;
    });
}

// The tested port's counters since the port test cleared them.
struct PortPath {
    uint32_t out, in, out_dropped, in_dropped;
    int cpu_took;  // frames the CPU's receive path handed on, the test's and others'
};

PortPath port_path(lb_work_t *lw) {
    PortPath c{};
    dxp_stat_sync(lw->unit);
    dxp_stat_get32(lw->unit, lw->tx_port, snmpIfOutUcastPkts, &c.out);
    dxp_stat_get32(lw->unit, lw->tx_port, snmpIfOutDiscards, &c.out_dropped);
    dxp_stat_get32(lw->unit, lw->rx_port, snmpIfInUcastPkts, &c.in);
    dxp_stat_get32(lw->unit, lw->rx_port, snmpIfInDiscards, &c.in_dropped);
    c.cpu_took = lw->others.load() + lw->received.load();
    return c;
}

// A trial's frames that the port has not yet sent, or not yet taken back,
// with none dropped, are late (the host runs the chip model slowly), not
// lost, while the port still moves some of them on: after the first look
// (*last empty), one that moved nothing since the last look has lost them
// (a medium change). So are frames the port took back that wait in the CPU
// port's queues behind other frames to the CPU (its receive thread gets
// little of the processor), while the CPU's receive path moves and its
// queues dropped nothing since the send.
bool still_on_their_way(lb_work_t *lw, std::optional<PortPath> *last) {
    const PortPath c = port_path(lw);
    const bool moved = !last->has_value() || c.out != (*last)->out || c.in != (*last)->in ||
                       c.cpu_took != (*last)->cpu_took;
    *last = c;
    if (!moved || c.out_dropped != 0 || c.in_dropped != 0) return false;
    if (c.out < lw->port_sent || c.in < c.out) return true;
    lb_drops_t now{};
    lbu_drops_read(lw->unit, lw->drops_at_send.ports, &now);
    const lb_drops_t &was = lw->drops_at_send;
    const uint32_t at_cpu = lw->port_got + static_cast<uint32_t>(lw->received.load());
    return now.cpu_queue == was.cpu_queue && now.cpu_mac == was.cpu_mac && c.in > at_cpu;
}

// Where the frames the test gave the port went, after a time-out.
void say_where(lb_work_t *lw) {
    const PortPath c = port_path(lw);
    sal_printf(
        "Port %s sent %u of the %u frames the test gave it (%u dropped there); port %s took "
        "%u back (%u dropped there); the CPU got %u of them\n",
        lb_port_name(lw->unit, lw->tx_port), c.out, lw->port_sent, c.out_dropped,
        lb_port_name(lw->unit, lw->rx_port), c.in, c.in_dropped, lw->port_got);
}

// Time-outs a trial's frames that are still on their way may take.
constexpr int kLateWaits = 3;

// Names the trial's frames that did not come back by their sequence
// numbers, runs of them as first-last.
void say_missing(lb_work_t *lw, int ppt) {
    const uint32_t missing = lbu_missing(lw, ppt);
    if (missing == 0) return;
    const uint32_t first = first_seq(lw);
    char text[256];
    size_t used = 0;
    for (int i = 0; i < ppt && used < sizeof text; i++) {
        if (!(missing >> i & 1)) continue;
        int last = i;
        while (last + 1 < ppt && (missing >> (last + 1) & 1))
            last++;
        const int n = last == i ? std::snprintf(text + used, sizeof text - used, "%s0x%08x",
                                                used ? ", " : "", first + static_cast<uint32_t>(i))
                                : std::snprintf(text + used, sizeof text - used, "%s0x%08x-0x%08x",
                                                used ? ", " : "", first + static_cast<uint32_t>(i),
                                                first + static_cast<uint32_t>(last));
        used = std::min(sizeof text - 1, used + static_cast<size_t>(std::max(n, 0)));
        i = last;
    }
    sal_printf("Frames missing, by sequence number: %s\n", text);
}

}  // namespace

int lbu_wait_packets(lb_work_t *lw, int ppt) {
    const int unit = lw->unit;
    const bool may_be_late = lw->kind != LB_KIND_SNAKE;
    std::optional<PortPath> last;
    bool back = wait_all_back(lw);
    for (int late = 0; !back && may_be_late && late < kLateWaits && still_on_their_way(lw, &last);
         late++)
        back = wait_all_back(lw);
    lw->port_got += static_cast<uint32_t>(std::min(lw->received.load(), ppt));
    if (!back) {
        lw->waiting.store(false);
        sal_printf("Time-out waiting for completion Tx(%s) Rx(%s)\n",
                   lb_port_name(unit, lw->tx_port), lb_port_name(unit, lw->rx_port));
        sal_printf("Receive count is %d; expecting %d pkts.\n", lw->received.load(), ppt);
        say_missing(lw, ppt);
        lbu_timed_out(lw);
        say_where(lw);
        return -1;
    }
    // Each returned frame answers the transmitted frame its sequence number
    // names: every number of the trial came back once, in whatever order
    // the CPU's receive path handed them on. One that names no frame of the
    // trial was spoilt and compares with the frame in its place.
    const uint32_t first = first_seq(lw);
    for (int i = 0; i < ppt; i++) {
        if (i >= lw->received.load() || lw->rx[i].pkt_data == nullptr) {
            sal_printf("Ran out of receive packets\n");
            say_missing(lw, ppt);
            lbu_count_drops(lw);
            return -1;
        }
        const int at = lbu_seq_index(first, ppt, seq_of(&lw->rx[i]));
        if (lbu_check_packet(lw, lw->tx[at >= 0 ? at : i], &lw->rx[i]) < 0) return -1;
        lw->rx_bytes += static_cast<uint64_t>(length_of_rx(&lw->rx[i]));
        lw->rx_pkts++;
    }
    return 0;
}

int lbu_check_packet(lb_work_t *lw, dxp_pkt *tx, dxp_pkt *rx) {
    const lb_params_t &p = *lw->p;
    const uint8_t *t = data_of(tx);
    const uint8_t *r = data_of(rx);
    const int tx_len = static_cast<int>(tx->pkt_data[0].len);
    const int rx_len = length_of_rx(rx);
    bool bad = false;
    if (std::memcmp(t, r, 12) != 0) {
        char es[18], ed[18], rs[18], rd[18];
        format_macaddr(es, t + 6);
        format_macaddr(ed, t);
        format_macaddr(rs, r + 6);
        format_macaddr(rd, r);
        sal_printf(
            "ERROR: MAC address miscompare:\n\tExpected src=%s dst=%s\n\tReceived src=%s "
            "dst=%s\n",
            es, ed, rs, rd);
        bad = true;
    }
    const bool appended = p.crc_mode == LB_CRC_CPU_APPEND;
    if (rx_len != tx_len && !(appended && rx_len == tx_len + 4)) {
        sal_printf("ERROR: Length miscompare: TX(%d) RX(%d)\n", tx_len, rx_len);
        bad = true;
    } else if (std::memcmp(t + 12, r + 12, 4) != 0) {
        sal_printf("ERROR: VLAN tag miscompare: offset 0x%x\n", 12);
        bad = true;
    } else if (be32(t + 16) != be32(r + 16)) {
        sal_printf(
            "ERROR: Sequence # miscompare: offset 0x%x\n\tExpected 0x%08x, Received 0x%08x\n", 16,
            be32(t + 16), be32(r + 16));
        bad = true;
    } else if (p.check_data || lw->kind != LB_KIND_SNAKE) {
        // The last four bytes are the CRC the MAC wrote or the one appended.
        const int at =
            packet_pattern_compare(t + kPayloadAt, r + kPayloadAt, tx_len - kPayloadAt - 4);
        if (at >= 0) {
            sal_printf("ERROR: Payload miscompare: offset 0x%x\n", at + kPayloadAt);
            bad = true;
        }
    }
    if (!bad && p.check_crc && rx_len >= 4) {
        const uint32_t calc = crc_of(r, rx_len - 4);
        const uint32_t got = fcs_at(r + rx_len - 4);
        if (calc != got) {
            sal_printf("ERROR: CRC miscompare: calc=0x%08x rx=0x%08x\n", calc, got);
            bad = true;
        }
    }
    if (!bad) return 0;
    sal_printf("ERROR Found when verifying received packet\n");
    sal_printf("TX packet: len=%d\n", tx_len);
    soc_dma_data_dump("", t, tx_len);
    sal_printf("RX packet: len=%d\n", rx_len);
    soc_dma_data_dump("", r, rx_len);
    return -1;
}

int lbu_match_packet(lb_work_t *lw, dxp_pkt *rx, int ppt) {
    const uint8_t *r = data_of(rx);
    const char *from = lb_port_name(lw->unit, rx->rx_port);
    for (int i = 0; i < ppt; i++) {
        const uint8_t *t = data_of(lw->tx[i]);
        if (std::memcmp(t, r, 12) != 0 || t[kIndexAt] != r[kIndexAt]) continue;
        if (lw->matched[i]) {
            sal_printf("Duplicate packet from port %s\n", from);
            return -1;
        }
        lw->matched[i] = true;
        return i;
    }
    sal_printf("Unrecognized packet from port %s\n", from);
    return -1;
}

void lbu_free_rx(lb_work_t *lw) {
    lw->waiting.store(false);
    const int n = lw->received.exchange(0);
    for (int i = 0; i < n && i < 2 * LB_MAX_PPT; i++) {
        if (lw->rx[i].alloc_ptr != nullptr) dxp_rx_free(lw->unit, lw->rx[i].alloc_ptr);
        lw->rx[i] = dxp_pkt{};
    }
}

namespace {

dxp_l2_addr test_entry(const dxp_mac_t mac, dxp_vlan_t vid, int port) {
    dxp_l2_addr addr{};
    dxp_l2_addr_init(&addr, mac, vid);
    addr.port = port;
    addr.flags = DXP_L2_STATIC;
    return addr;
}

}  // namespace

int lbu_l2_free(lb_work_t *lw, const dxp_mac_t mac, dxp_vlan_t vid) {
    const int unit = lw->unit;
    // Claimed before the look: an entry another caller puts in afterwards is
    // refused to it, by the address's name.
    const dxp_l2_addr mine = test_entry(mac, vid, SOC_CONTROL(unit)->cmic_port);
    port_reserve_keep_address(unit, &mine);
    dxp_l2_addr now{};
    if (dxp_l2_addr_get(unit, mac, vid, &now) < 0) return 0;
    port_reserve_forget_address(unit, mac, vid);
    char text[18], holder[32];
    format_macaddr(text, mac);
    if (now.flags & DXP_L2_TRUNK_MEMBER)
        std::snprintf(holder, sizeof holder, "trunk %d", now.tgid);
    else
        std::snprintf(holder, sizeof holder, "port %s", lb_port_name(unit, now.port));
    test_error(unit, "%s in VLAN %d is a%s address of %s: the test takes no address in service\n",
               text, vid, (now.flags & DXP_L2_STATIC) ? " static" : " learnt", holder);
    return -1;
}

int lbu_cpu_addresses(lb_work_t *lw, int (*each)(lb_work_t *, const dxp_mac_t, dxp_vlan_t)) {
    const lb_params_t &p = *lw->p;
    dxp_mac_t mac;
    std::memcpy(mac, p.mac_dst, 6);
    const int entries = p.mac_dst_inc != 0 ? LB_MAX_PPT : 1;
    for (int i = 0; i < entries; i++, macaddr_increment(mac, p.mac_dst_inc))
        if (each(lw, mac, static_cast<dxp_vlan_t>(p.vlan)) < 0) return -1;
    return 0;
}

int lbu_l2_add(lb_work_t *lw, const dxp_mac_t mac, dxp_vlan_t vid, int port) {
    if (lbu_l2_free(lw, mac, vid) < 0) return DXP_E_EXISTS;
    dxp_l2_addr addr = test_entry(mac, vid, port);
    int rv = dxp_l2_addr_add(lw->unit, &addr);
    if (rv >= 0 && lw->l2_count < LB_MAX_L2) {
        lb_l2_entry_t &e = lw->l2[lw->l2_count++];
        std::memcpy(e.mac, mac, 6);
        e.vid = vid;
    }
    return rv;
}

void lbu_l2_remove_all(lb_work_t *lw) {
    for (int i = 0; i < lw->l2_count; i++)
        dxp_l2_addr_delete(lw->unit, lw->l2[i].mac, lw->l2[i].vid);
    lw->l2_count = 0;
}

uint64_t lbu_total(lb_work_t *lw) {
    const lb_params_t &p = *lw->p;
    const uint64_t lengths = static_cast<uint64_t>((p.len_end - p.len_start) / p.len_inc + 1);
    int ports = lb_port_count(p.pbm);
    if (lw->kind == LB_KIND_EXTERNAL) ports /= 2;
    return lengths * static_cast<uint64_t>(p.cos_end - p.cos_start + 1) *
           static_cast<uint64_t>(ports) * static_cast<uint64_t>(ppt_sum(p)) *
           static_cast<uint64_t>(p.count);
}

void lbu_progress(lb_work_t *lw, uint64_t total, bool final) {
    const uint32_t now = sal_time();
    if (!final && now - lw->last_report < static_cast<uint32_t>(diag_settings.report_time)) return;
    lw->last_report = now;
    const uint32_t secs = now - lw->start_time > 0 ? now - lw->start_time : 1;
    const int percent = total > 0 ? static_cast<int>(lw->tx_pkts * 100 / total) : 100;
    test_msg("LB: xmit %llu pkt (%d%%, %llu pkt/s, %llu KB/s avg), recv %llu pkt (%d sec)\n",
             static_cast<unsigned long long>(lw->tx_pkts), percent,
             static_cast<unsigned long long>(lw->tx_pkts / secs),
             static_cast<unsigned long long>(lw->tx_bytes / 1024 / secs),
             static_cast<unsigned long long>(lw->rx_pkts), static_cast<int>(now - lw->start_time));
    if (final && lw->foreign.load() > 0)
        test_msg("LB: %d foreign frames left to the management interface\n", lw->foreign.load());
}

int lbu_done(lb_work_t *lw) {
    const int unit = lw->unit;
    int result = 0;
    if (lw->started_rx) {
        if (int rv = dxp_rx_stop(unit, nullptr); rv < 0) {
            sal_printf("lbu_done: could not stop packet driver: %s\n", dxp_errmsg(rv));
            result = -1;
        }
        lw->started_rx = false;
    }
    if (lw->monitor_on) {
        if (dxp_rx_unregister(unit, rx_callout, kRxPriority) < 0) {
            sal_printf("Failed to unregister RX handler.\n");
            result = -1;
        }
        lw->monitor_on = false;
    }
    if (lw->rx != nullptr) lbu_free_rx(lw);
    sal_free(lw->rx);
    lw->rx = nullptr;
    for (dxp_pkt *&pkt : lw->tx) {
        if (pkt != nullptr) {
            // The record may point at a block of its own again.
            pkt->pkt_data = &pkt->_pkt_data;
            pkt->blk_count = 1;
            dxp_pkt_free(unit, pkt);
        }
        pkt = nullptr;
    }
    if (lw->sema != nullptr) sal_sem_destroy(lw->sema);
    lw->sema = nullptr;
    lbu_l2_remove_all(lw);
    forget_sources(lw);
    unshield_cpu(lw);
    if (test_restore_switch(&lw->saved) < 0) result = -1;
    return result;
}
