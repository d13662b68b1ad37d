// EthernetAV: shows and sets the chip's audio/video controls, watches for
// time-sync frames and sends an AV test frame.
#include <cstring>
#include <strings.h>

#include "diag_parse.h"
#include "drv_if.h"
#include "dxp.h"
#include "dxp_error.h"
#include "dxp_tarn_eav.h"
#include "sal.h"
#include "shell_cmds.h"
#include "soc.h"

namespace {

constexpr int kWatchPriority = 101;
constexpr uint32_t kWatchFlags = 0xC0FF;
constexpr uint32_t kDebugTx = 0x200000;

struct EavState {
    dxp_mac_t sync_mac;
    uint16_t sync_ethertype;
    dxp_rx_cfg_t rx_cfg;
    dxp_pkt pkt;
};
// A fixed unicast source for the test frames.
const dxp_mac_t kTestSrcMac = {0x00, 0x10, 0x18, 0x00, 0xa5, 0x01};
EavState eav = {
    .sync_mac = {},
    .sync_ethertype = 0,
    .rx_cfg = {.pkt_size = 2048,
               .pkts_per_chain = 1,
               .global_pps = 0,
               .max_burst = 1,
               .chan_cfg = {{.chains = 63, .reserved = 0, .flags = 0, .cos_bmp = 255}},
               .rx_alloc = nullptr,
               .rx_free = nullptr,
               .flags = 0},
    .pkt = {},
};

const char *const kTypesHelp[] = {
    "Control Type :\n",
    "   1 : Enable time stamp to IMP port.\n",
    "       Parameter = 0 means disable, otherwize enable.\n",
    "   2 : Max AV packet size.\n",
    "       Paramter indicates the max AV packets size.\n",
    "\n",
    "Time Sync Type :\n",
    "   1 : Time Base. p0 : time base value(ns)\n",
    "   2 : Time Adjust. p0 : increment time(ns) per tick.\n",
    "       p1 : adjust period(ticks).\n",
    "   3 : Tick Counter. p0 : tick counter.\n",
    "   4 : Slot Number. p0 : slot number.\n",
    "   5 : Macro Slot Time. p0 : slot time for  class 4 traffic.\n",
    "       only 1, 2, 4ms are allowed\n",
    "   6 : Slot Adjust. p0 : number of ticks in the slot.\n",
    "       only 3124, 3125, 3126 are allowed.\n",
    "       p1 : adjust period(slots).\n",
    "\n",
    "Queue Control Type :\n",
    "   1 : Queue 4 bandwidth. p0 = bandwidth (bytes/slot time)\n",
    "   2 : Queue 5 bandwidth. p0 = bandwidth (bytes/slot time)\n",
    "   3 : Queue 5 Window(jitter control).\n",
    "       p0 = 0 means disable, otherwize enable.\n",
    "\n",
};

bool is(const char *word, const char *name) {
    return word != nullptr && strcasecmp(word, name) == 0;
}

// The next word as a number; false when it is missing.
bool number(args_t *a, int *value) {
    const char *w = ARG_GET(a);
    if (w == nullptr) return false;
    *value = parse_integer(w);
    return true;
}

// 1 with the port, 0 when the word is missing, -1 after the error line.
int port_word(int unit, args_t *a, int *port) {
    const char *w = ARG_GET(a);
    if (w == nullptr) return 0;
    if (parse_port(unit, w, port) != 0) {
        sal_printf("ERROR: invalid port string: \"%s\"\n", w);
        return -1;
    }
    return 1;
}

void print_sync_mac(const char *label) {
    const uint8_t *m = eav.sync_mac;
    soc_cm_print("%s = %02x-%02x-%02x-", label, m[0], m[1], m[2]);
    soc_cm_print("%02x-%02x-%02x, EtherType = 0x%04x\n", m[3], m[4], m[5], eav.sync_ethertype);
}

int watcher(int, dxp_pkt *pkt, void *) {
    const uint8_t *f = pkt->pkt_data[0].data;
    if (std::memcmp(f, eav.sync_mac, 6) != 0) return DXP_RX_NOT_HANDLED;
    static const uint8_t kEgressSrc[6] = {0x01, 0x80, 0xc2, 0x00, 0x00, 0x01};
    uint32_t value = static_cast<uint32_t>(f[12]) << 24 | static_cast<uint32_t>(f[13]) << 16 |
                     static_cast<uint32_t>(f[14]) << 8 | f[15];
    if (std::memcmp(f + 6, kEgressSrc, 6) == 0)
        soc_cm_print(
            "Receive EAV Egress Time Stamp Packet : tx_port = %d\nDepature time is 0x%x.\n",
            pkt->rx_port, value);
    else
        soc_cm_print("Receive EAV Time Sync Packet : rx_port = %d\nTime is 0x%x.\n", pkt->rx_port,
                     value);
    return DXP_RX_HANDLED;
}

int eav_control(int unit, args_t *a) {
    const char *op = ARG_GET(a);
    int type = 0, value = 0;
    if (!number(a, &type) || type < 1 || type > 2) return CMD_USAGE;
    const drv_if_t *svc = DRV_SERVICES(unit);
    if (is(op, "set")) {
        if (!number(a, &value)) return CMD_USAGE;
        if (svc->eav_control_set(unit, static_cast<uint32_t>(type), static_cast<uint32_t>(value)) <
            0) {
            sal_printf("eav control set : failed with control type = %d, parameter = %d\n", type,
                       value);
            return CMD_FAIL;
        }
        return CMD_OK;
    }
    if (!is(op, "get")) return CMD_USAGE;
    uint32_t v = 0;
    if (svc->eav_control_get(unit, static_cast<uint32_t>(type), &v) < 0) {
        sal_printf("eav control get : failed with control type = %d\n", type);
        return CMD_FAIL;
    }
    if (type == 1)
        soc_cm_print(" Time Stamp to IMP port is %s", v ? "Enabled.\n" : "Disabled.\n");
    else
        soc_cm_print(" Max Ethernet AV size  is %d\n", static_cast<int>(v));
    return CMD_OK;
}

int eav_mac(int unit, args_t *a) {
    const char *op = ARG_GET(a);
    if (is(op, "get")) {
        print_sync_mac("Get Time Sync MACDA");
        return CMD_OK;
    }
    if (!is(op, "set")) return CMD_USAGE;
    const char *text = ARG_GET(a);
    int ethertype = 0;
    if (text == nullptr || !number(a, &ethertype)) return CMD_USAGE;
    dxp_mac_t mac;
    if (int rv = parse_macaddr(text, mac); rv != 0) {
        sal_printf("ERROR: invalid mac string: \"%s\" (error=%d)\n", text, rv);
        return CMD_FAIL;
    }
    if (dxp_tarn_eav_time_sync_mac_set(unit, mac, static_cast<uint16_t>(ethertype)) != 0) {
        sal_printf("Fail to set Time Sync MACDA and EtherType value!\n");
        return CMD_FAIL;
    }
    std::memcpy(eav.sync_mac, mac, 6);
    eav.sync_ethertype = static_cast<uint16_t>(ethertype);
    soc_cm_print("Set Time Sync MACDA = %02x-%02x-", mac[0], mac[1]);
    soc_cm_print("%02x-%02x-%02x-%02x, EtherType = 0x%x\n", mac[2], mac[3], mac[4], mac[5],
                 eav.sync_ethertype);
    return CMD_OK;
}

// This chip family's service tables carry no per-port AV queue controls:
// both directions report the failure.
int eav_queue(int unit, args_t *a) {
    const char *op = ARG_GET(a);
    int port = 0, type = 0, value = 0;
    if (!is(op, "set") && !is(op, "get")) return CMD_USAGE;
    int got = port_word(unit, a, &port);
    if (got <= 0) return got < 0 ? CMD_FAIL : CMD_USAGE;
    if (!number(a, &type) || type < 1 || type > 3) return CMD_USAGE;
    if (is(op, "set")) {
        if (!number(a, &value)) return CMD_USAGE;
        sal_printf("eav queue control set : failed with port = %d, ", port);
        sal_printf("control type = %d, parameter = %d\n", type, value);
        return CMD_FAIL;
    }
    sal_printf("eav queue control get : failed with port = %d, control type = %d\n", port, type);
    return CMD_FAIL;
}

int eav_timesync(int unit, args_t *a) {
    const char *op = ARG_GET(a);
    int type = 0, p0 = 0, p1 = 0;
    if (!number(a, &type) || type < 1 || type > 6) return CMD_USAGE;
    if (is(op, "set")) {
        if (!number(a, &p0)) return CMD_USAGE;
        if ((type == 2 || type == 6) && !number(a, &p1)) return CMD_USAGE;
        if (DRV_SERVICES(unit)->eav_queue_control_set(unit, static_cast<uint32_t>(type),
                                                      static_cast<uint32_t>(p0),
                                                      static_cast<uint32_t>(p1)) < 0) {
            sal_printf("eav timesync set : failed with control type = %d, p0 = %d, p1 = %d\n", type,
                       p0, p1);
            return CMD_FAIL;
        }
        return CMD_OK;
    }
    if (!is(op, "get")) return CMD_USAGE;
    uint32_t v0 = 0, v1 = 0;
    if (dxp_eav_control_get(unit, type, &v0, &v1) < 0) {
        sal_printf("eav timesyncl get : failed with control type = %d\n", type);
        return CMD_FAIL;
    }
    int i0 = static_cast<int>(v0), i1 = static_cast<int>(v1);
    switch (type) {
        case 1:
            soc_cm_print(" TimeSync Get : Time Base = 0x%x ns.\n", v0);
            break;
        case 2:
            soc_cm_print(" TimeSync Get : Time Increment = %d ns, Adjust Period = %d ticks.\n", i0,
                         i1);
            break;
        case 3:
            soc_cm_print(" TimeSync Get : Tick Counter = %d.\n", i0);
            break;
        case 4:
            soc_cm_print(" TimeSync Get : Slot Number = %d.\n", i0);
            break;
        case 5:
            soc_cm_print(" TimeSync Get : Macro Slot Period = %d ms.\n", i0);
            break;
        default:
            soc_cm_print(" TimeSync Get : Slot Adjust = %d ticks, Adjust Period = %d slots.\n", i0,
                         i1);
    }
    return CMD_OK;
}

void eav_status(int unit) {
    soc_cm_print("Ethernet AV Status :\n");
    const soc_control_t *soc = SOC_CONTROL(unit);
    for (int port = 0; soc != nullptr && port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(soc->ge.bitmap, port)) continue;
        int enabled = 0;
        dxp_tarn_eav_port_enable_get(unit, port, &enabled);
        if (enabled)
            soc_cm_print("GE%d is AV enabled.\n", port);
        else
            soc_cm_print("Port %d is AV disabled.\n", port);
    }
    static const struct {
        int type;
        const char *line;
    } lines[] = {{0, " Max Ethernet AV size  is %d\n"},
                 {1, " TimeSync : current Time Base = 0x%x ns.\n"},
                 {4, " TimeSync : current Slot Number = %d.\n"},
                 {3, " TimeSync : current Tick Counter = %d.\n"},
                 {5, " TimeSync : Macro Slot Period = %d ms.\n"}};
    for (const auto &l : lines) {
        uint32_t p0 = 0, p1 = 0;
        if (dxp_eav_control_get(unit, l.type, &p0, &p1) == 0) soc_cm_print(l.line, p0);
    }
    print_sync_mac("Time Sync MACDA");
}

bool eav_rx_started[SOC_MAX_NUM_DEVICES];

int eav_watch(int unit, args_t *a) {
    const char *op = ARG_GET(a);
    // The receive service also carries management traffic and other
    // callouts: the watcher stops it only when it was the one to start it.
    bool &started = eav_rx_started[unit >= 0 && unit < SOC_MAX_NUM_DEVICES ? unit : 0];
    if (is(op, "start")) {
        if (!dxp_rx_active(unit)) {
            dxp_rx_start(unit, &eav.rx_cfg);
            started = true;
        }
        if (int rv = dxp_rx_register(unit, "EAV", watcher, kWatchPriority, nullptr, kWatchFlags);
            rv < 0) {
            sal_printf("%s: dxp_rx_register failed: %s\n", ARG_CMD(a), dxp_errmsg(rv));
            return CMD_FAIL;
        }
    } else if (is(op, "stop")) {
        if (started) dxp_rx_stop(unit, &eav.rx_cfg);
        started = false;
        if (int rv = dxp_rx_unregister(unit, watcher, kWatchPriority); rv < 0) {
            sal_printf("%s: dxp_rx_unregister failed: %s\n", ARG_CMD(a), dxp_errmsg(rv));
            return CMD_FAIL;
        }
    }
    return CMD_OK;
}

int eav_tx(int unit, args_t *a) {
    int port = 0, vid = 0;
    int got = port_word(unit, a, &port);
    if (got <= 0) return got < 0 ? CMD_FAIL : CMD_USAGE;
    if (!number(a, &vid)) return CMD_USAGE;
    dxp_pkt *p = &eav.pkt;
    // Only the latest buffer is kept: the one the packet record holds.
    auto *f = static_cast<uint8_t *>(sal_dma_alloc(64, "TX"));
    if (f == nullptr) {
        sal_printf("WARNING: Could not alloc tx buffer. Memory error.\n");
        return CMD_OK;
    }
    sal_dma_free(p->_pkt_data.data);
    std::memset(f, 0, 64);
    std::memcpy(f, eav.sync_mac, 6);
    std::memcpy(f + 6, kTestSrcMac, 6);
    uint32_t tci = 0xA000u | (static_cast<uint32_t>(vid) & 0xfff);
    const uint8_t head[] = {0x81,
                            0x00,
                            static_cast<uint8_t>(tci >> 8),
                            static_cast<uint8_t>(tci),
                            static_cast<uint8_t>(eav.sync_ethertype >> 8),
                            static_cast<uint8_t>(eav.sync_ethertype)};
    std::memcpy(f + 12, head, sizeof head);
    p->_pkt_data.data = f;
    p->_pkt_data.len = 64;
    p->pkt_data = &p->_pkt_data;
    p->blk_count = 1;
    p->unit = static_cast<uint8_t>(unit);
    p->flags = (p->flags & ~DXP_PKT_F_CRC_MASK) | DXP_PKT_F_CRC_REGEN | DXP_TX_PRIO_INT;
    p->tx_pbmp = dxp_pbmp_t{};
    p->tx_upbmp = dxp_pbmp_t{};
    dxp_pbmp_port_add(&p->tx_pbmp, port);
    if (int rv = dxp_tx(unit, p, nullptr); rv != 0)
        sal_debug_printf(kDebugTx, "dxp_tx failed: Unit %d: %s\n", unit, dxp_errmsg(rv));
    return CMD_OK;
}

}  // namespace

int cmd_eav(int unit, args_t *a) {
    const char *sub = ARG_GET(a);
    if (is(sub, "control")) return eav_control(unit, a);
    if (is(sub, "mac")) return eav_mac(unit, a);
    if (is(sub, "types")) {
        for (const char *line : kTypesHelp)
            soc_cm_print("%s", line);
        return CMD_OK;
    }
    if (is(sub, "init")) {
        soc_cm_print("Ethernet AV init.\n");
        dxp_tarn_eav_init(unit);
        dxp_tarn_eav_time_sync_mac_get(unit, eav.sync_mac, &eav.sync_ethertype);
        return CMD_OK;
    }
    if (is(sub, "port")) {
        const char *op = ARG_GET(a);
        bool on = is(op, "enable");
        if (!on && !is(op, "disable")) {
            while (ARG_GET(a) != nullptr) {
            }
            return CMD_OK;
        }
        int port = 0;
        int got = port_word(unit, a, &port);
        if (got <= 0) return got < 0 ? CMD_FAIL : CMD_USAGE;
        // A refusal was said by the call itself: the port is not what the
        // line would claim.
        if (dxp_tarn_eav_port_enable_set(unit, port, on ? 1 : 0) < 0) return CMD_FAIL;
        soc_cm_print(on ? "Port %d is AV enabled\n" : "Port %d is AV disabled\n", port);
        return CMD_OK;
    }
    if (is(sub, "queue")) return eav_queue(unit, a);
    if (is(sub, "watch")) return eav_watch(unit, a);
    if (is(sub, "status")) {
        eav_status(unit);
        return CMD_OK;
    }
    if (is(sub, "timestamp")) {
        int port = 0;
        int got = port_word(unit, a, &port);
        if (got <= 0) return got < 0 ? CMD_FAIL : CMD_USAGE;
        uint32_t stamp = 0;
        if (dxp_eav_timestamp_get(unit, port, &stamp) != 0)
            soc_cm_print("Get Port %d Egress Time Stamp failed!\n", port);
        else
            soc_cm_print("Port %d Egress Time Stamp = 0x%x\n", port, stamp);
        return CMD_OK;
    }
    if (is(sub, "timesync")) return eav_timesync(unit, a);
    if (is(sub, "tx")) return eav_tx(unit, a);
    return CMD_USAGE;
}
