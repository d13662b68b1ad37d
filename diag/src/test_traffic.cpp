// Self-test 72: pairs of ports pass frames to each other, looped back at the
// MAC, at the PHY or through cables, while the test polls their statistics
// and fails when a pair stops passing traffic. Init saves the ports, the test
// runs the traffic, done restores the switch.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "diag_counter.h"
#include "diag_parse.h"
#include "diag_pattern.h"
#include "diag_test.h"
#include "dxp.h"
#include "dxp_enums.h"
#include "dxp_error.h"
#include "dxpx.h"
#include "sal.h"
#include "soc.h"
#include "soc_counter.h"
#include "test_restore.h"

namespace {

constexpr int kPorts = 64;
constexpr int kMaxLength = 16384;
constexpr int kLinkWaitUsecs = 15000000;
constexpr int kStpForward = 4;
constexpr int kDiscardUntagged = 2;
enum { kModeMac, kModePhy, kModeExternal };
const char *const kModes[] = {"MAC", "PHY", "External", nullptr};
const char *const kSpeeds[] = {"MAX",
                               "10fullduplex",
                               "100fullduplex",
                               "1000fullduplex",
                               "2500fullduplex",
                               "3000fullduplex",
                               "10Gfullduplex",
                               nullptr};
constexpr int kSpeedMbps[] = {0, 10, 100, 1000, 2500, 3000, 10000};

// Options keep their last values between runs.
struct Params {
    int pattern = static_cast<int>(0xA5A4A3A2u);
    int pattern_inc = 0;
    int seconds = 60;
    int interval = 5;
    int mode = kModePhy;
    int speed = 0;
    int length = 1518;
    soc_pbmp_t pbmp{};
    int cleanup = 1;
    int show_stats = 0;
};
Params params;

struct Pair {
    int a, b;
    // Port A + 10 and port A + 11, or the next ones nobody has; 0 until the
    // pair's set-up made them.
    dxp_vlan_t vlan_a, vlan_b;
};
struct Stats {
    uint64_t in_octets, out_octets, out_frames, in_frames, align, mac_rx, discards;
};

struct Work {
    int unit;
    Params p;
    Stats *stats;  // "Stats", by port
    Pair *pairs;   // "Port Config", by pair
    int npairs;
    dxp_port_info *test_cfg;  // "Port Test Configuration", by port
    test_saved_t *orig_cfg;   // "Original Port Configuration": the switch as found
    int *modport;             // "Original Modport Map"
    int age_seconds;
    int frame_max[kPorts];  // a port's largest frame before the run raised it, or 0
    bool age_taken;         // the run switched ageing off
    uint32_t age_changes;   // the managers' ageing changes then
    uint8_t *frame[2];      // DMA memory, one per side of a pair
    int passed_loops;       // loops that passed, said at the done
};
Work *work_of[SOC_MAX_NUM_DEVICES];

const char *pname(int unit, int port) {
    return SOC_CONTROL(unit)->port_name[port];
}

void port_list(int unit, const soc_pbmp_t &b, char *text, size_t size, char *hex, size_t hsize) {
    text[0] = '\0';
    for (int port = 0; port < kPorts; port++) {
        if (!soc_pbmp_member(b, port)) continue;
        size_t n = std::strlen(text);
        std::snprintf(text + n, size - n, "%s%s", n ? "," : "", pname(unit, port));
    }
    std::snprintf(hex, hsize, "0x%08x%08x", b.w[1], b.w[0]);
}

int port_count(const soc_pbmp_t &b) {
    return __builtin_popcount(b.w[0]) + __builtin_popcount(b.w[1]);
}

soc_pbmp_t default_pbmp(int unit) {
    const soc_control_t *soc = SOC_CONTROL(unit);
    soc_pbmp_t b = soc->e.bitmap;
    for (int i = 0; i < 2; i++)
        b.w[i] &= ~soc->cmic_bitmap.w[i];
    if (port_count(b) % 2 != 0)
        for (int port = kPorts - 1; port >= 0; port--)
            if (soc_pbmp_member(b, port)) {
                soc_pbmp_port_remove(&b, port);
                break;
            }
    return b;
}

dxp_pbmp_t to_dxp(const soc_pbmp_t &b) {
    return dxp_pbmp_t{{b.w[0], b.w[1]}};
}
dxp_pbmp_t two_ports(int a, int b) {
    dxp_pbmp_t p{};
    dxp_pbmp_port_add(&p, a);
    dxp_pbmp_port_add(&p, b);
    return p;
}

// "2 minutes", "3 hours": the largest unit that fits.
void time_text(int seconds, char *buf, size_t size) {
    static const struct {
        const char *fmt;
        int seconds;
    } units[] = {{"%d years", 31536000}, {"%d months", 2592000}, {"%d weeks", 604800},
                 {"%d days", 86400},     {"%d hours", 3600},     {"%d minutes", 60}};
    for (const auto &u : units)
        if (seconds >= u.seconds) {
            std::snprintf(buf, size, u.fmt, seconds / u.seconds);
            return;
        }
    std::snprintf(buf, size, "%d seconds", seconds);
}

void scaled(double v, bool bits) {
    static const char *const fmts[] = {"%2.2fK", "%2.2fM", "%2.2fG", "%2.2fT"};
    int top = bits ? 2 : 3;
    if (v < 1000.0) {
        sal_printf("%.0f", v);
        return;
    }
    int i = 0;
    v /= 1000.0;
    while (i < top && v >= 1000.0) {
        v /= 1000.0;
        i++;
    }
    sal_printf(fmts[i], v);
}

int traffic_init_parse(int unit, args_t *a) {
    const Params before = params;
    params.pbmp = default_pbmp(unit);
    parse_table_t pt;
    parse_table_init(unit, &pt);
    parse_table_add(&pt, "Pattern", PQ_HEX | PQ_DFL, nullptr, &params.pattern, nullptr);
    parse_table_add(&pt, "PatternIncrement", PQ_HEX | PQ_DFL, nullptr, &params.pattern_inc,
                    nullptr);
    parse_table_add(&pt, "TimeInSeconds", PQ_INT | PQ_DFL, nullptr, &params.seconds, nullptr);
    parse_table_add(&pt, "CounterPollInterval", PQ_INT | PQ_DFL, nullptr, &params.interval,
                    nullptr);
    parse_table_add(&pt, "RunMode", PQ_MULTI | PQ_DFL, nullptr, &params.mode, kModes);
    parse_table_add(&pt, "SPeed", PQ_MULTI | PQ_DFL, nullptr, &params.speed, kSpeeds);
    parse_table_add(&pt, "Length", PQ_INT | PQ_DFL, nullptr, &params.length, nullptr);
    parse_table_add(&pt, "PortBitMap", PQ_PBMP | PQ_DFL, nullptr, &params.pbmp, nullptr);
    parse_table_add(&pt, "CleanUp", PQ_BOOL | PQ_DFL, nullptr, &params.cleanup, nullptr);
    parse_table_add(&pt, "ShowStats", PQ_BOOL | PQ_DFL, nullptr, &params.show_stats, nullptr);
    int n = parse_table_args(a, &pt);
    parse_table_done(&pt);
    const char *left = ARG_CUR(a);
    if (n < 0) {
        test_error(unit, "%s", "");  // the parser's line said which and why
        params = before;
        return -1;
    }
    if (left != nullptr) {
        test_error(unit, "%s: Invalid option: %s\n", ARG_CMD(a), left);
        params = before;
        return -1;
    }
    // Bad values would make the poll loop spin or the frames unusable, and
    // a run of no time would pass after one poll that checked nothing.
    const struct {
        const char *name;
        int value, least, most;
    } ranges[] = {{"CounterPollInterval", params.interval, 1, INT32_MAX},
                  {"TimeInSeconds", params.seconds, 1, INT32_MAX},
                  {"Length", params.length, 64, kMaxLength}};
    for (const auto &r : ranges) {
        if (r.value >= r.least && r.value <= r.most) continue;
        if (r.most == INT32_MAX)
            test_error(unit, "%s: Invalid option: %s=%d (at least %d)\n", ARG_CMD(a), r.name,
                       r.value, r.least);
        else
            test_error(unit, "%s: Invalid option: %s=%d (%d to %d)\n", ARG_CMD(a), r.name, r.value,
                       r.least, r.most);
        params = before;
        return -1;
    }
    // The test pairs front ports: the CPU port sends the first frames and
    // can loop nothing back.
    const soc_control_t *soc = SOC_CONTROL(unit);
    for (int port = 0; port < kPorts; port++) {
        if (!soc_pbmp_member(params.pbmp, port)) continue;
        const bool cpu = soc_pbmp_member(soc->cmic_bitmap, port);
        if (!cpu && soc_pbmp_member(soc->e.bitmap, port)) continue;
        test_error(unit, "%s: port %s %s: the test pairs front ports only\n", ARG_CMD(a),
                   pname(unit, port), cpu ? "is the CPU port" : "is no Ethernet port");
        params = before;
        return -1;
    }
    return 0;
}

template <typename T>
T *alloc_parts(int count, const char *tag) {
    size_t bytes = sizeof(T) * static_cast<size_t>(count);
    auto *p = static_cast<T *>(sal_alloc(bytes, tag));
    if (p != nullptr) std::memset(static_cast<void *>(p), 0, bytes);
    return p;
}

void free_work(Work *w) {
    sal_free(w->stats);
    sal_free(w->pairs);
    sal_free(w->test_cfg);
    sal_free(w->orig_cfg);
    sal_free(w->modport);
    for (uint8_t *f : w->frame)
        sal_dma_free(f);
    if (work_of[w->unit] == w) work_of[w->unit] = nullptr;
    sal_free(w);
}

// A BPDU address equal to the test frames' destination takes them to the
// CPU, and the pairs would report no traffic on healthy ports: refused by
// name before anything is set.
bool bpdu_takes_frames(const Work *w) {
    const int unit = w->unit;
    const int count = dxp_l2_bpdu_count(unit);
    for (int i = 0; i < count; i++) {
        dxp_mac_t mac{};
        if (dxp_l2_bpdu_get(unit, i, mac) < 0) continue;
        bool hit = true;
        if (w->p.mode == kModeExternal) {
            // Each port's frames go to 00:00:00:00:fe:<port>.
            static const uint8_t stem[5] = {0, 0, 0, 0, 0xfe};
            hit = std::memcmp(mac, stem, sizeof stem) == 0 && mac[5] < kPorts &&
                  soc_pbmp_member(w->p.pbmp, mac[5]);
        } else {
            for (uint8_t byte : mac)
                hit = hit && byte == 0xff;
        }
        if (!hit) continue;
        char text[18];
        format_macaddr(text, mac);
        test_error(unit,
                   "TRAFFIC: BPDU address %d (%s) takes the test frames to the CPU; clear it "
                   "for the test\n",
                   i, text);
        return true;
    }
    return false;
}

int traffic_test_init(int unit, args_t *a, void **out) {
    // A refused run keeps none of its arguments.
    const Params before = params;
    if (traffic_init_parse(unit, a) < 0) return -1;
    Work *w = alloc_parts<Work>(1, "Traffic Test config");
    if (w == nullptr) return -1;
    w->unit = unit;
    w->p = params;
    w->stats = alloc_parts<Stats>(kPorts, "Stats");
    w->pairs = alloc_parts<Pair>(kPorts / 2, "Port Config");
    w->test_cfg = alloc_parts<dxp_port_info>(kPorts, "Port Test Configuration");
    w->orig_cfg = alloc_parts<test_saved_t>(1, "Original Port Configuration");
    w->modport = alloc_parts<int>(kPorts, "Original Modport Map");
    if (!w->stats || !w->pairs || !w->test_cfg || !w->orig_cfg || !w->modport) {
        free_work(w);
        return -1;
    }
    // The tested ports are held against the other managers and the VLANs
    // the pairs change are kept for the done.
    if (test_save_switch(w->orig_cfg, unit, w->p.pbmp, "Traffic Test") < 0) {
        free_work(w);
        return -1;
    }
    if (test_check_frame_settings(w->orig_cfg) < 0 || bpdu_takes_frames(w)) {
        test_release_switch(w->orig_cfg);
        free_work(w);
        params = before;
        return -1;
    }
    dxp_l2_age_timer_get(unit, &w->age_seconds);
    for (int port = 0; port < kPorts; port++) {
        if (!soc_pbmp_member(w->p.pbmp, port)) continue;
        int rv = test_save_port(w->orig_cfg, port);
        if (rv < 0)
            sal_printf("traffic_init: port %s: could not get port info: %s\n", pname(unit, port),
                       dxp_errmsg(rv));
        // The framework runs no done after a failed init: give back here.
        if (rv >= 0 && test_neutral_port(w->orig_cfg, port) < 0) {
            test_restore_switch(w->orig_cfg);
            free_work(w);
            params = before;
            return -1;
        }
        dxp_l2_addr_delete_by_port(unit, -1, port, 0);
    }
    work_of[unit] = w;
    *out = w;
    return 0;
}

constexpr dxp_vlan_t kFirstVlan = 2, kLastVlan = 4094;

bool made_by_test(const Work *w, dxp_vlan_t vid) {
    for (int i = 0; i < w->npairs; i++)
        if (w->pairs[i].vlan_a == vid || w->pairs[i].vlan_b == vid) return true;
    return false;
}

// Makes a VLAN of the test's own for the pair, from `want` on: a VLAN that
// exists carries hosts in service, which must never see a test frame, so
// the pair takes the next one nobody has and says so. 0 when none could be
// made (said).
dxp_vlan_t own_vlan(Work *w, const Pair &pr, dxp_vlan_t want) {
    const int unit = w->unit;
    dxp_vlan_t vid = want;
    do {
        const int rv = test_vlan_create(w->orig_cfg, vid);
        if (rv >= 0) return vid;
        if (rv != DXP_E_EXISTS) {
            sal_printf("ERROR: ports %s, %s vlan %d: cannot create vlan: %s\n", pname(unit, pr.a),
                       pname(unit, pr.b), vid, dxp_errmsg(rv));
            return 0;
        }
        dxp_pbmp_t members{}, untagged{};
        if (vid == want && !made_by_test(w, vid) &&
            dxp_vlan_port_get(unit, vid, &members, &untagged) >= 0) {
            char ports[256] = "none";
            if (!dxp_pbmp_is_null(members))
                format_pbmp(unit, ports, sizeof ports, soc_pbmp_t{{members.w[0], members.w[1]}});
            sal_printf("TRAFFIC: VLAN %d is in service on ports %s: the test takes another\n", vid,
                       ports);
        }
        vid = vid >= kLastVlan ? kFirstVlan : static_cast<dxp_vlan_t>(vid + 1);
    } while (vid != want);
    sal_printf("ERROR: ports %s, %s: no free vlan\n", pname(unit, pr.a), pname(unit, pr.b));
    return 0;
}

// Speed, duplex, loopback, VLANs and forwarding for one pair; false when the
// pair could not be set up.
bool setup_pair(Work *w, Pair &pr) {
    int unit = w->unit;
    const char *na = pname(unit, pr.a), *nb = pname(unit, pr.b);
    bool external = w->p.mode == kModeExternal;
    // The pair's VLANs are its own: no host in service is a member.
    pr.vlan_a = own_vlan(w, pr, static_cast<dxp_vlan_t>(pr.a + 10));
    if (pr.vlan_a != 0 && external) pr.vlan_b = own_vlan(w, pr, static_cast<dxp_vlan_t>(pr.a + 11));
    if (pr.vlan_a == 0 || (external && pr.vlan_b == 0)) return false;
    if (external)
        sal_printf("TRAFFIC: ports %s, %s use VLANs %d and %d\n", na, nb, pr.vlan_a, pr.vlan_b);
    else
        sal_printf("TRAFFIC: ports %s, %s use VLAN %d\n", na, nb, pr.vlan_a);
    sal_printf("TRAFFIC: setting up ports %s, %s: ", na, nb);
    int speed = kSpeedMbps[w->p.speed];
    if (speed == 0) {
        int ma = 0, mb = 0;
        dxp_port_speed_max(unit, pr.a, &ma);
        dxp_port_speed_max(unit, pr.b, &mb);
        speed = ma < mb ? ma : mb;
        if (ma != mb)
            sal_printf("NOTICE: port %s only capable of speed %d, setting link partner to match.\n",
                       ma < mb ? na : nb, speed);
    }
    // Out of every VLAN it serves in, tagged or not, before it loops back: a
    // frame of one flooded out of a looped port would come back in and be
    // flooded again without end. The memberships come back with the done.
    const dxp_pbmp_t both = two_ports(pr.a, pr.b);
    if (int rv = test_vlan_leave_others(w->orig_cfg, both, 0); rv < 0) {
        sal_printf("ERROR: ports %s, %s: cannot leave their VLANs: %s\n", na, nb, dxp_errmsg(rv));
        return false;
    }
    static const int kLoopback[] = {1, 2, 0};
    for (int port : {pr.a, pr.b}) {
        dxp_port_info *cfg = &w->test_cfg[port];
        if (dxp_port_info_save(unit, port, cfg) < 0) {
            sal_printf("ERROR: traffic setup unit %d, ports %s, %s: %s info save failed\n", unit,
                       na, nb, pname(unit, port));
            return false;
        }
        cfg->action_mask =
            DXP_PORT_ATTR_AUTONEG_MASK | DXP_PORT_ATTR_SPEED_MASK | DXP_PORT_ATTR_DUPLEX_MASK;
        cfg->autoneg = 0;
        cfg->speed = speed;
        cfg->duplex = 1;
        if (int rv = dxp_port_info_restore(unit, port, cfg); rv < 0) {
            sal_printf("ERROR: traffic setup unit %d, ports %s, %s: %s info restore failed: %s\n",
                       unit, na, nb, pname(unit, port), dxp_errmsg(rv));
            return false;
        }
        // The MAC driver refuses MAC loopback: say so now, not after the
        // wait for a link that cannot come.
        if (int rv = dxp_port_loopback_set(unit, port, kLoopback[w->p.mode]); rv < 0) {
            sal_printf("\nERROR: port %s: %s loopback refused: %s\n", pname(unit, port),
                       kModes[w->p.mode], dxp_errmsg(rv));
            return false;
        }
    }
    sal_printf("PORT ");
    // Over a cable the frames leave tagged and the ports take tagged frames
    // alone: a host on the wire in place of the cable gets none of its
    // frames through the pair, so its traffic is not taken for the test's.
    for (dxp_vlan_t vid : {pr.vlan_a, pr.vlan_b}) {
        if (vid == 0) break;
        int rv = test_vlan_port_add(w->orig_cfg, vid, both, external ? dxp_pbmp_t{} : both);
        if (rv < 0) {
            sal_printf("ERROR: ports %s, %s vlan %d: cannot create vlan\n", na, nb, vid);
            return false;
        }
    }
    for (int port : {pr.a, pr.b}) {
        dxp_vlan_t vid = external && port == pr.b ? pr.vlan_b : pr.vlan_a;
        if (test_pvid_set(w->orig_cfg, port, vid) < 0) {
            sal_printf("ERROR: port %s vlan %d: cannot set default vlan\n", pname(unit, port), vid);
            return false;
        }
        // Sealed from the rest of the switch, each port forwards to its
        // partner alone.
        soc_pbmp_t partner{};
        soc_pbmp_port_add(&partner, port == pr.a ? pr.b : pr.a);
        test_port_egress(w->orig_cfg, port, partner);
        if (external) {
            if (int rv = dxp_port_discard_set(unit, port, kDiscardUntagged); rv < 0) {
                sal_printf("ERROR: port %s: cannot drop untagged frames: %s\n", pname(unit, port),
                           dxp_errmsg(rv));
                return false;
            }
        }
    }
    sal_printf("VLAN ");
    if (external) {
        // A frame from port A enters at B and is sent back out of A by its
        // static entry, and the other way round.
        const struct {
            int port, to;
            dxp_vlan_t vid;
        } entries[] = {{pr.a, pr.a, pr.vlan_b}, {pr.b, pr.b, pr.vlan_a}};
        for (const auto &e : entries) {
            dxp_l2_addr addr{};
            uint8_t mac[6] = {0, 0, 0, 0, 0xfe, static_cast<uint8_t>(e.port)};
            std::memcpy(addr.mac, mac, 6);
            addr.vid = e.vid;
            addr.port = e.to;
            addr.flags = DXP_L2_STATIC;
            if (int rv = dxp_l2_addr_add(unit, &addr); rv < 0)
                sal_printf(
                    "ERROR: l2 entry add failed: port %s, mac %2x:%2x:%2x:%2x:%2x:%2x vlan "
                    "%d: %s\n",
                    pname(unit, e.to), mac[0], mac[1], mac[2], mac[3], mac[4], mac[5], e.vid,
                    dxp_errmsg(rv));
        }
    }
    sal_printf("L2 ");
    for (int port : {pr.a, pr.b}) {
        dxp_port_stp_set(unit, port, kStpForward);
        dxp_stat_clear(unit, port);
    }
    sal_printf("STAT\n");
    return true;
}

int start_frames(Work *w, const Pair &pr, uint32_t *pattern) {
    int unit = w->unit;
    int len = w->p.length;
    sal_printf("TRAFFIC: starting %d byte frames on ports %s, %s\n", len, pname(unit, pr.a),
               pname(unit, pr.b));
    for (int side = 0; side < 2; side++) {
        int port = side == 0 ? pr.a : pr.b;
        uint8_t *&f = w->frame[side];
        if (f == nullptr) f = static_cast<uint8_t *>(sal_dma_alloc(kMaxLength, "Traffic frame"));
        if (f == nullptr) {
            sal_printf("Error initializing packet buffers\n");
            return -1;
        }
        *pattern = packet_pattern_fill(f, len, *pattern, static_cast<uint32_t>(w->p.pattern_inc));
        if (w->p.mode == kModeExternal) {
            // Addressed to the partner's entry, so the chip sends it back here.
            uint8_t da[6] = {0, 0, 0, 0, 0xfe, static_cast<uint8_t>(port)};
            uint8_t sa[6] = {0, 0, 0, 0, 0xfe, static_cast<uint8_t>(port == pr.a ? pr.b : pr.a)};
            std::memcpy(f, da, 6);
            std::memcpy(f + 6, sa, 6);
        } else {
            static const uint8_t da[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
            static const uint8_t sa[6] = {0, 0, 0, 0, 0xfe, 0};
            std::memcpy(f, da, 6);
            std::memcpy(f + 6, sa, 6);
        }
        // Over a cable a frame is tagged with the VLAN its partner puts
        // the frame in, whose static entry sends it back to this port.
        const bool external = w->p.mode == kModeExternal;
        const dxp_vlan_t vid = external && port == pr.a ? pr.vlan_b : pr.vlan_a;
        f[12] = 0x81;
        f[13] = 0x00;
        f[14] = static_cast<uint8_t>(vid >> 8 & 0x0f);
        f[15] = static_cast<uint8_t>(vid);
        f[16] = static_cast<uint8_t>(len >> 8);
        f[17] = static_cast<uint8_t>(len);
        dxp_pkt pkt{};
        pkt._pkt_data.data = f;
        pkt._pkt_data.len = static_cast<uint32_t>(len);
        pkt.pkt_data = &pkt._pkt_data;
        pkt.blk_count = 1;
        pkt.unit = static_cast<uint8_t>(unit);
        pkt.flags = DXP_PKT_F_CRC_REGEN;
        dxp_pbmp_port_add(&pkt.tx_pbmp, port);
        if (!external) dxp_pbmp_port_add(&pkt.tx_upbmp, port);
        if (int rv = dxp_tx(unit, &pkt, nullptr); rv < 0) {
            sal_printf("ERROR: port %s: dxp_tx %s failed: %s\n", pname(unit, port),
                       side == 0 ? "A" : "B", dxp_errmsg(rv));
            return -1;
        }
    }
    return 0;
}

Stats read_stats(int unit, int port) {
    Stats s{};
    dxp_stat_get(unit, port, snmpIfInOctets, &s.in_octets);
    dxp_stat_get(unit, port, snmpIfOutOctets, &s.out_octets);
    dxp_stat_get(unit, port, snmpDot1dTpPortOutFrames, &s.out_frames);
    dxp_stat_get(unit, port, snmpDot1dTpPortInFrames, &s.in_frames);
    dxp_stat_get(unit, port, snmpDot3StatsAlignmentErrors, &s.align);
    dxp_stat_get(unit, port, snmpDot3StatsInternalMacReceiveErrors, &s.mac_rx);
    dxp_stat_get(unit, port, snmpIfInDiscards, &s.discards);
    return s;
}

void print_rates(const char *dir, const char *bytes_word, uint64_t frames, uint64_t bytes,
                 int interval) {
    sal_printf("%s packets ", dir);
    scaled(static_cast<double>(frames), false);
    sal_printf(" +");
    scaled(static_cast<double>(frames) / interval, false);
    sal_printf("/s %s ", bytes_word);
    scaled(static_cast<double>(bytes), false);
    sal_printf("B +");
    scaled(static_cast<double>(bytes) / interval, false);
    sal_printf("B/s [");
    scaled(static_cast<double>(bytes) * 8 / interval, true);
    sal_printf("b/s]");
}

// A pair that passed nothing during the interval is given a while more:
// the chip model runs as fast as the host lets it, and a busy host may have
// given it no time. Traffic stopped only when nothing moves in that while.
Stats stats_after_grace(Work *w, const Pair &pr, const Stats &was) {
    constexpr int kStepUsecs = 100000, kSteps = 50;
    Stats now = read_stats(w->unit, pr.a);
    for (int step = 0; step < kSteps; step++) {
        if (now.out_frames != was.out_frames && now.in_frames != was.in_frames) break;
        if (sh_wait_usec(kStepUsecs, 0) == CMD_INTR) break;
        dxp_stat_sync(w->unit);
        now = read_stats(w->unit, pr.a);
    }
    return now;
}

// False when the pair stopped passing traffic.
bool check_pair(Work *w, const Pair &pr) {
    int unit = w->unit;
    const Stats &was = w->stats[pr.a];
    Stats now = stats_after_grace(w, pr, was);
    uint64_t tx = now.out_frames - was.out_frames, rx = now.in_frames - was.in_frames;
    int speed = 0, duplex = 0;
    dxp_port_speed_get(unit, pr.a, &speed);
    dxp_port_duplex_get(unit, pr.a, &duplex);
    sal_printf("Port %s (", pname(unit, pr.a));
    const char *dup = duplex ? "FD" : "HD";
    if (speed == 0)
        sal_printf("-");
    else if (speed >= 1000 && speed % 1000 == 0)
        sal_printf("%dG %s", speed / 1000, dup);
    else if (speed >= 1000)
        sal_printf("%d.%dG %s", speed / 1000, speed % 1000 / 100, dup);
    else
        sal_printf("%dM %s", speed, dup);
    // A frame the port dropped as it came in passed nothing.
    const uint64_t dropped = now.discards - was.discards;
    bool stopped = tx == 0 || rx <= dropped;
    sal_printf("): %s\n", now.align != was.align         ? "ALN Error Detected"
                          : now.mac_rx != was.mac_rx     ? "Discard Error Detected"
                          : now.discards != was.discards ? "Dropped Error Detected"
                          : stopped                      ? "FAIL->NO TRAFFIC"
                                                         : "PASSED");
    print_rates("\tTX", "TX Bytes", tx, now.out_octets - was.out_octets, w->p.interval);
    print_rates("\n\tRX", "RX bytes", rx, now.in_octets - was.in_octets, w->p.interval);
    sal_printf("\n");
    if (stopped)
        sal_printf("ERROR: traffic stopped on ports %s, %s\n", pname(unit, pr.a),
                   pname(unit, pr.b));
    if (stopped || w->p.show_stats) {
        sal_printf("PortA (%s) statistics:\n", pname(unit, pr.a));
        counter_show_pbmp(unit, -1, 1ull << pr.a, 0);
        sal_printf("PortB (%s) statistics:\n", pname(unit, pr.b));
        counter_show_pbmp(unit, -1, 1ull << pr.b, 0);
    }
    if (stopped) {
        sal_printf("Exiting test..\n");
        return false;
    }
    w->stats[pr.a] = now;
    return true;
}

int traffic_test(int unit, args_t *, void *work) {
    auto *w = static_cast<Work *>(work);
    const Params &p = w->p;
    for (int port = 0; port < kPorts; port++) {
        if (!soc_pbmp_member(p.pbmp, port)) continue;
        int max = 0;
        int rv = dxp_port_frame_max_get(unit, port, &max);
        if (rv >= 0 && max < p.length) {
            rv = dxp_port_frame_max_set(unit, port, p.length);
            // The done gives the port its own largest frame back.
            if (rv >= 0) w->frame_max[port] = max;
        }
        if (rv < 0) {
            test_error(unit, "TRAFFIC: port %s cannot take %d byte frames (Length): %s\n",
                       pname(unit, port), p.length, dxp_errmsg(rv));
            return -1;
        }
    }
    char list[512], hex[24];
    port_list(unit, p.pbmp, list, sizeof list, hex, sizeof hex);
    sal_printf("TRAFFIC: unit %d ports %s (%s), %d packets, mode %s\n", unit, list, hex, 1,
               kModes[p.mode]);
    w->age_changes = dxpx_l2_age_timer_changes();
    dxpx_l2_age_timer_lend(w->age_seconds);  // before the chip reads 0
    w->age_taken = dxp_l2_age_timer_set(unit, 0) >= 0;
    if (!w->age_taken) dxpx_l2_age_timer_lend_end();

    w->npairs = 0;
    int first = -1;
    sal_printf("TRAFFIC: Port pairing:");
    for (int port = 0; port < kPorts; port++) {
        if (!soc_pbmp_member(p.pbmp, port)) continue;
        if (first < 0) {
            first = port;
            continue;
        }
        w->pairs[w->npairs++] = {.a = first, .b = port, .vlan_a = 0, .vlan_b = 0};
        sal_printf(" %s-%s", pname(unit, first), pname(unit, port));
        first = -1;
    }
    sal_printf("\n");
    soc_pbmp_t used{}, paired{};
    if (first >= 0)
        sal_printf("WARNING: odd number of ports, will not use port %s\n", pname(unit, first));
    for (int i = 0; i < w->npairs; i++) {
        soc_pbmp_port_add(&paired, w->pairs[i].a);
        soc_pbmp_port_add(&paired, w->pairs[i].b);
    }
    // No frame of the network reaches a paired port, and none of the
    // test's leaves one, until the done gives the ports back.
    test_seal_ports(w->orig_cfg, paired, soc_pbmp_t{});
    for (int i = 0; i < w->npairs; i++) {
        if (!setup_pair(w, w->pairs[i])) continue;
        soc_pbmp_port_add(&used, w->pairs[i].a);
        soc_pbmp_port_add(&used, w->pairs[i].b);
    }

    // A run without a working pair would pass without having tested anything.
    if (soc_pbmp_is_null(used)) {
        test_error(unit, "TRAFFIC: no pair of ports could be set up: nothing to test\n");
        return -1;
    }
    port_list(unit, used, list, sizeof list, hex, sizeof hex);
    sal_printf("TRAFFIC: waiting for link on ports %s (%s)\n", list, hex);
    dxp_pbmp_t waiting = to_dxp(used);
    if (int rv = test_link_wait(unit, &waiting, kLinkWaitUsecs); rv < 0) {
        soc_pbmp_t down{{waiting.w[0], waiting.w[1]}};
        port_list(unit, down, list, sizeof list, hex, sizeof hex);
        test_error(unit, "TRAFFIC: failed waiting for link on %s (%s): %s\n", list, hex,
                   dxp_errmsg(rv));
        return -1;
    }
    for (int port = 0; port < kPorts; port++)
        if (soc_pbmp_member(used, port)) dxp_port_update(unit, port, 1);
    if (soc_tarn_counter_set32(unit, used, 0) < 0) sal_printf("ERROR: Clear counters failed\n");

    uint32_t pattern = static_cast<uint32_t>(p.pattern);
    for (int i = 0; i < w->npairs; i++) {
        const Pair &pr = w->pairs[i];
        if (soc_pbmp_member(used, pr.a) && start_frames(w, pr, &pattern) < 0) return -1;
    }

    char run_words[32], total_words[32];
    time_text(p.seconds, total_words, sizeof total_words);
    for (int elapsed = 0, polls = 0; p.seconds >= elapsed; polls++) {
        // A break ends the run; the done gives the ports back.
        if (sh_wait_usec(static_cast<uint64_t>(p.interval) * 1000000u, 0) == CMD_INTR)
            return TEST_STOPPED;
        if (polls == 0) {
            time_text(p.interval, run_words, sizeof run_words);
            sal_printf("TRAFFIC: mode %s, %d byte frames, runtime %s of %s\n", kModes[p.mode],
                       p.length, run_words, total_words);
            for (int i = 0; i < w->npairs; i++)
                w->stats[w->pairs[i].a] = read_stats(unit, w->pairs[i].a);
            continue;
        }
        sal_printf("TRAFFIC: running... (%d%% complete)\n", elapsed * 100 / p.seconds);
        dxp_stat_sync(unit);
        elapsed += p.interval;
        for (int i = 0; i < w->npairs; i++)
            if (soc_pbmp_member(used, w->pairs[i].a) && !check_pair(w, w->pairs[i])) return -1;
    }
    // Said by the done, once the ports are given back.
    w->passed_loops++;
    return 0;
}

// The addresses the test's frames came from, in the pairs' VLANs: a late
// frame may have been learnt after the flush by port.
void forget_test_sources(Work *w) {
    for (int i = 0; i < w->npairs; i++) {
        const Pair &pr = w->pairs[i];
        for (int source : {0, pr.a, pr.b}) {
            const dxp_mac_t mac = {0, 0, 0, 0, 0xfe, static_cast<uint8_t>(source)};
            for (dxp_vlan_t vid : {pr.vlan_a, pr.vlan_b}) {
                dxp_l2_addr found{};
                if (dxp_l2_addr_get(w->unit, mac, vid, &found) >= 0 &&
                    !(found.flags & DXP_L2_STATIC))
                    dxp_l2_addr_delete(w->unit, mac, vid);
            }
        }
    }
}

int traffic_test_done(int unit, void *work) {
    auto *w = static_cast<Work *>(work);
    if (w == nullptr) return 0;
    int rv = 0;
    if (!w->p.cleanup) {
        sal_printf(
            "WARNING: CleanupOnExit disabled: (H/W configuration still active for debug)\n"
            "*** Zero EPC_LINK to stop traffic.\n*** Reboot switch when done.\n");
        test_release_switch(w->orig_cfg);
    } else {
        // The pairs stop first and their loops open once nothing moves, so
        // that no frame leaves by the wire and none is learnt after the
        // flush below.
        if (test_stop_ports(w->orig_cfg) < 0) rv = -1;
        for (int i = 0; i < w->npairs; i++) {
            const Pair &pr = w->pairs[i];
            sal_printf("TRAFFIC: restoring ports: %s, %s\n", pname(unit, pr.a), pname(unit, pr.b));
            if (w->p.mode == kModeExternal) {
                // The pair's static entries are no part of the switch's own.
                uint8_t mac[6] = {0, 0, 0, 0, 0xfe, static_cast<uint8_t>(pr.a)};
                dxp_l2_addr_delete(unit, mac, pr.vlan_b);
                mac[5] = static_cast<uint8_t>(pr.b);
                dxp_l2_addr_delete(unit, mac, pr.vlan_a);
            }
            dxp_port_stp_set(unit, pr.a, 0);
            dxp_port_stp_set(unit, pr.b, 0);
        }
        for (int port = 0; port < kPorts; port++)
            if (soc_pbmp_member(w->p.pbmp, port)) dxp_l2_addr_delete_by_port(unit, -1, port, 0);
        // The test's VLANs go and the ports' memberships and settings come
        // back, each refused item reported.
        if (test_restore_switch(w->orig_cfg) < 0) {
            sal_printf("traffic_test_free: could not restore every setting\n");
            rv = -1;
        }
        forget_test_sources(w);
        for (int port = 0; port < kPorts; port++)
            if (w->frame_max[port] > 0) dxp_port_frame_max_set(unit, port, w->frame_max[port]);
        // An ageing time a manager or the monitor set during the run stays:
        // the chip keeps what the manager's page shows and stores, or what
        // the monitor set.
        int age_now = -1;
        if (w->age_taken && dxpx_l2_age_timer_changes() == w->age_changes &&
            dxp_l2_age_timer_get(unit, &age_now) >= 0 && age_now == 0)
            dxp_l2_age_timer_set(unit, w->age_seconds);
        cval_set_pbmp(unit, static_cast<uint64_t>(w->p.pbmp.w[1]) << 32 | w->p.pbmp.w[0], 0);
    }
    if (w->age_taken) dxpx_l2_age_timer_lend_end();
    char total_words[32];
    time_text(w->p.seconds, total_words, sizeof total_words);
    for (int i = 0; i < w->passed_loops; i++)
        sal_printf("TEST passed: %s\n", total_words);
    free_work(w);
    return rv < 0 ? -1 : 0;
}

}  // namespace

void test_traffic_register(void) {
    test_t row{};
    row.t_name = "Traffic Test";
    row.t_flags = TEST_F_RC | TEST_F_CHIP_MASK;
    row.t_test = 72;
    row.t_loops = 1;
    row.t_init_f = traffic_test_init;
    row.t_done_f = traffic_test_done;
    row.t_test_f = traffic_test;
    test_register(row);
}
