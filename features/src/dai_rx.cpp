// The receive callout of dynamic ARP inspection: learns bindings from DHCP
// acknowledgements that trusted ports carry, checks ARP from untrusted ports
// and re-sends what passes, never back out of the port it came in on.
#include <atomic>
#include <cstring>

#include "board.h"
#include "dai_internal.h"
#include "dxpx.h"
#include "log_gate.h"
#include "logger.h"
#include "portmgr.h"
#include "sal.h"
#include "trunkmgr.h"
#include "vlanmgr.h"

namespace {

// Offsets into a received frame, which keeps its 802.1Q tag.
constexpr int kSrcMac = 6;
constexpr int kTci = 14;
constexpr int kEtherType = 16;
constexpr int kIpVersionIhl = 18;
constexpr int kIpProto = 27;
constexpr int kUdpSrc = 38;
constexpr int kUdpDst = 40;
constexpr int kBootp = 46;
constexpr int kBootpYiaddr = kBootp + 16;
constexpr int kBootpChaddr = kBootp + 28;
constexpr int kBootpOptions = 240;  // within the BOOTP part, after the magic cookie
constexpr int kArpHwType = 18;
constexpr int kArpOp = 24;
constexpr int kArpSenderMac = 26;
constexpr int kArpSenderIp = 32;
constexpr int kFcs = 4;
constexpr uint32_t kTxFlags = DXP_TX_ETHER | DXP_PKT_F_CRC_APPEND;

std::atomic<uint32_t> dropped{0};
// Lines that a host's frames cause.
log_gate untrusted_reply_log, no_memory_log;

int drop() {
    dropped++;
    return DXP_RX_HANDLED;
}

uint16_t be16(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

bool is_broadcast(const uint8_t *mac) {
    static const uint8_t kAll[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    return std::memcmp(mac, kAll, 6) == 0;
}

// Whether a host can hold the address as its own: "this network" 0/8
// (0.0.0.0 included), loopback 127/8, multicast 224/4 and the reserved 240/4
// (which holds the limited broadcast) can never be a lease. Whether an address
// is the network or broadcast address of its subnet depends on a mask the
// binding does not keep, so such addresses are not judged here.
bool host_can_hold(const uint8_t ip[4]) {
    return ip[0] != 0 && ip[0] != 127 && ip[0] < 224;
}

// Option 53 of the BOOTP part, or -1.
int dhcp_message_type(const uint8_t *bootp, int len) {
    for (int at = kBootpOptions; at < len;) {
        const uint8_t code = bootp[at];
        if (code == 0) {
            at++;
            continue;
        }
        if (code == 255 || at + 1 >= len) break;
        const int olen = bootp[at + 1];
        if (code == 53 && olen >= 1 && at + 2 < len) return bootp[at + 2];
        at += 2 + olen;
    }
    return -1;
}

// A DHCP frame (UDP to port 67 or 68). Only a server's reply (from port 67)
// that entered on a trusted port is learnt: a reply from an untrusted port
// also reaches the CPU, flooded as a broadcast, and would let any host bind
// an address or fill the database.
int dhcp_snoop(const uint8_t *f, int len, uint16_t vid, int uport) {
    if (len <= kBootpChaddr + 6 || f[kBootp] != 2 || be16(f + kUdpSrc) != 67) return DXP_RX_HANDLED;
    // The switch's own lease goes on to its DHCP client, wherever the server is.
    uint8_t cpu_mac[6];
    darp_cpu_mac_get(cpu_mac);
    if (std::memcmp(f + kBootpChaddr, cpu_mac, 6) == 0) return DXP_RX_NOT_HANDLED;
    if (uport < 1 || darp_port_trust_get(uport) != 1) {
        log_gate_printf(&untrusted_reply_log, log_source_port(uport), LOG_LEVEL_WARNING,
                        LOG_MOD_DYNAMICARP, "DARP: DHCP reply from untrusted port %d not learnt\n",
                        uport);
        return DXP_RX_HANDLED;
    }
    const int blen = len - kBootp;
    auto *bootp = static_cast<uint8_t *>(sal_alloc(static_cast<size_t>(blen), "DARP DHCP"));
    if (bootp == nullptr) {
        log_gate_puts(&no_memory_log, log_source_port(uport), LOG_LEVEL_WARNING, LOG_MOD_DYNAMICARP,
                      "DARP: Could not allocate memory\n");
        return DXP_RX_NOT_HANDLED;
    }
    std::memcpy(bootp, f + kBootp, static_cast<size_t>(blen));
    const uint8_t *yiaddr = f + kBootpYiaddr;
    if (dhcp_message_type(bootp, blen) == 5 && host_can_hold(yiaddr))
        darp_trusted_db_add(f + kBootpChaddr, yiaddr, vid, 1);
    sal_free(bootp);
    return DXP_RX_HANDLED;
}

// Sends the frame (without its check sequence) once: to the ports given, or
// where the switch would send it when lport is -1.
void send(int unit, const uint8_t *f, int len, int lport, bool untagged) {
    auto *buf = static_cast<uint8_t *>(sal_dma_alloc(static_cast<size_t>(len), "DARP"));
    if (buf == nullptr) return;
    std::memcpy(buf, f, static_cast<size_t>(len));
    dxp_pkt pkt{};
    pkt._pkt_data = {buf, static_cast<uint32_t>(len)};
    pkt.pkt_data = &pkt._pkt_data;
    pkt.blk_count = 1;
    pkt.unit = static_cast<uint8_t>(unit);
    pkt.tot_len = pkt.pkt_len = static_cast<uint16_t>(len);
    pkt.flags = kTxFlags;
    if (lport < 0) {
        dxpx_tx(&pkt, nullptr);
    } else {
        pkt.flags &= ~DXP_TX_ETHER;
        if (untagged) pkt.tx_upbmp = dxp_pbmp_t{{~0u, ~0u}};
        dxpx_lplist_t one{};
        if (dxpx_lplist_init(&one, 1, 0) == 0 && dxpx_lplist_add(&one, lport) == 0)
            dxpx_tx(&pkt, &one);
        dxpx_lplist_free(&one);
    }
    sal_dma_free(buf);
}

bool link_up(int uport) {
    int link = 0;
    return portmgr_link_get(uport, &link) == 0 && link;
}

}  // namespace

void darp_flood_trunk_filter(upbmp_t *ports, int ingress) {
    const int own = trunkmgr_port_trunk_get(ingress);
    for (int t = 0; t < board_num_trunks; t++) {
        bool kept = false;
        for (int u = 1; u <= board_num_uports; u++) {
            if (!trunkmgr_port_in_trunk(t, u) || !upbmp_test(ports, u)) continue;
            if (t == own || kept || !link_up(u))
                upbmp_remove(ports, u);
            else
                kept = true;
        }
    }
}

namespace {

void flood(int unit, const uint8_t *f, int len, uint16_t vid, int ingress) {
    upbmp_t members{}, untagged{};
    if (qsw_vlanmgr_vlan_get(vid, &members, &untagged) == 0) {
        upbmp_remove(&members, ingress);
        darp_flood_trunk_filter(&members, ingress);
        for (int u = 1; u <= board_num_uports; u++) {
            int lport = 0;
            if (!upbmp_test(&members, u) || !link_up(u) || ulpm_to_lport(u, &lport) != 0) continue;
            send(unit, f, len, lport, upbmp_test(&untagged, u));
        }
    }
    upbmp_free(&members);
    upbmp_free(&untagged);
}

// Whether the address table places the unicast destination on a link other
// than the ingress port's (the port itself or its trunk).
bool learnt_elsewhere(const uint8_t *dest, uint16_t vid, int ingress) {
    dxpx_l2_addr_t at{};
    dxp_mac_t mac;
    std::memcpy(mac, dest, sizeof mac);
    if (dxpx_l2_addr_get(mac, vid, &at, 0) != 0) return false;
    if (at.flags & DXP_L2_TRUNK_MEMBER) return at.tgid != trunkmgr_port_trunk_get(ingress);
    int uport = 0;
    return ulpm_to_uport(at.lport, &uport) == 0 && uport >= 1 && uport <= board_num_uports &&
           uport != ingress;
}

// Sends a frame that passed the check on, never back out of its ingress
// port: to the destination's port when it is learnt on another link, else
// to the VLAN's other ports.
void resend(int unit, const uint8_t *f, int len, uint16_t vid, int ingress) {
    if ((f[0] & 1) == 0 && learnt_elsewhere(f, vid, ingress))
        send(unit, f, len, -1, false);
    else
        flood(unit, f, len, vid, ingress);
}

}  // namespace

int darp_rx(int unit, dxp_pkt *pkt, void *) {
    if (pkt == nullptr || pkt->pkt_data == nullptr || pkt->pkt_data[0].data == nullptr)
        return DXP_RX_NOT_HANDLED;
    const uint8_t *f = pkt->pkt_data[0].data;
    int len = pkt->tot_len;
    if (len > static_cast<int>(pkt->pkt_data[0].len)) len = static_cast<int>(pkt->pkt_data[0].len);
    if (len < kArpSenderIp + 4 + kFcs) return DXP_RX_NOT_HANDLED;
    len -= kFcs;
    const uint16_t vid = be16(f + kTci) & 0xFFF;

    int uport = 0;
    const int lport = dxpx_unit_port_to_lport(pkt->rx_unit, pkt->rx_port);
    if (lport < 0 || ulpm_to_uport(lport, &uport) != 0 || uport < 1 || uport > board_num_uports)
        uport = 0;
    // The offsets assume an IPv4 header without options, as DHCP sends it.
    if (len > kUdpDst + 2 && be16(f + kEtherType) == 0x0800 && f[kIpVersionIhl] == 0x45 &&
        f[kIpProto] == 17 && (be16(f + kUdpDst) == 67 || be16(f + kUdpDst) == 68))
        return dhcp_snoop(f, len, vid, uport);
    if (be16(f + kEtherType) != 0x0806) return DXP_RX_NOT_HANDLED;
    if (be16(f + kArpHwType) != 1) return DXP_RX_HANDLED;
    if (uport == 0) return drop();
    const bool trusted = darp_port_trust_get(uport) == 1;
    if (!trusted && darp_vlan_exist(vid)) {
        if (std::memcmp(f + kSrcMac, f + kArpSenderMac, 6) != 0 ||
            !darp_binding_check(f + kArpSenderMac, f + kArpSenderIp, vid))
            return drop();
    }
    uint8_t cpu_mac[6];
    darp_cpu_mac_get(cpu_mac);
    const bool to_cpu = std::memcmp(f, cpu_mac, 6) == 0;
    switch (be16(f + kArpOp)) {
        case 1:
            if (is_broadcast(f)) {
                if (!trusted) flood(unit, f, len, vid, uport);
                return DXP_RX_NOT_HANDLED;
            }
            if (to_cpu) return DXP_RX_NOT_HANDLED;
            // A unicast request that passed the check still reaches its host.
            if (!trusted) resend(unit, f, len, vid, uport);
            return DXP_RX_HANDLED;
        case 2:
            if (to_cpu) return DXP_RX_NOT_HANDLED;
            if (!trusted) resend(unit, f, len, vid, uport);
            return DXP_RX_HANDLED;
        default:
            resend(unit, f, len, vid, uport);
            return DXP_RX_HANDLED;
    }
}

uint32_t darp_dropped_count_get(void) {
    return dropped.load();
}
