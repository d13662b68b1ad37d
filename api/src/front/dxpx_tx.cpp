// Transmit to logical ports.
#include <array>

#include "dxpx.h"
#include "dxpx_internal.h"
#include "sal.h"

namespace {

// Byte at offset of the packet's data, or -1 beyond its end.
int pkt_byte(const dxp_pkt &pkt, uint32_t offset) {
    for (int i = 0; i < pkt.blk_count; i++) {
        const dxp_pkt_blk_t &blk = pkt.pkt_data[i];
        if (offset < blk.len) return blk.data[offset];
        offset -= blk.len;
    }
    return -1;
}

// Chooses the packet's ports on its unit: the destination MAC's port (or a
// trunk member) when the L2 table has it, else every port of the VLAN but the
// CPU's; the VLAN's untagged ports among them go out untagged.
int resolve_ports(int unit, dxp_pkt *pkt) {
    dxp_mac_t dest_mac;
    for (int i = 0; i < 6; i++) {
        int byte = pkt_byte(*pkt, i);
        if (byte < 0) return DXP_E_PARAM;
        dest_mac[i] = static_cast<uint8_t>(byte);
    }
    dxp_vlan_t vid;
    int rv;
    if (!(pkt->flags & DXP_PKT_F_NO_VTAG) && pkt_byte(*pkt, 12) == 0x81 &&
        pkt_byte(*pkt, 13) == 0 && pkt_byte(*pkt, 15) >= 0) {
        vid = static_cast<dxp_vlan_t>(((pkt_byte(*pkt, 14) & 0x0f) << 8) | pkt_byte(*pkt, 15));
    } else if ((rv = dxp_vlan_default_get(unit, &vid)) < 0) {
        return rv;
    }
    dxp_pbmp_t members{}, untagged{};
    rv = dxp_vlan_port_get(unit, vid, &members, &untagged);
    if (rv < 0) return rv;
    int cpu_lport;
    dxpx_lport_t cpu;
    if (dxpx_unit_cpu_lport_get(unit, &cpu_lport) == 0 && dxpx_lport_get(cpu_lport, &cpu) == 0)
        dxp_pbmp_port_remove(&members, cpu.port);

    dxp_pbmp_t ports = members;
    dxp_l2_addr l2{};
    bool unicast = (dest_mac[0] & 1) == 0;
    if (unicast && dxp_l2_addr_get(unit, dest_mac, vid, &l2) == DXP_E_NONE) {
        int port = l2.port;
        if (l2.flags & DXP_L2_TRUNK_MEMBER) {
            dxp_trunk_add_info trunk{};
            rv = dxp_trunk_get(unit, l2.tgid, &trunk);
            if (rv < 0) return rv;
            if (trunk.num_ports < 1 || trunk.num_ports > DXP_TRUNK_MAX_PORTCNT)
                return DXP_E_NOT_FOUND;
            port = trunk.tp[dest_mac[5] % trunk.num_ports];
        }
        ports = dxp_pbmp_t{};
        dxp_pbmp_port_add(&ports, port);
    }
    pkt->tx_pbmp = ports;
    pkt->tx_upbmp = dxp_pbmp_t{{untagged.w[0] & ports.w[0], untagged.w[1] & ports.w[1]}};
    return DXP_E_NONE;
}

// A unit's own copy of a packet sent with a completion callback: the send
// may still read its bitmaps after dxpx_tx has returned.
struct unit_copy_t {
    dxp_pkt pkt;
    dxp_pkt *caller;
};

void unit_copy_done(int unit, dxp_pkt *, void *cookie) {
    auto *copy = static_cast<unit_copy_t *>(cookie);
    dxp_pkt *caller = copy->caller;
    sal_free(copy);
    caller->call_back(unit, caller, nullptr);
}

int tx_unit_copy(int unit, const dxp_pkt &pkt, dxp_pkt *caller) {
    auto *copy = static_cast<unit_copy_t *>(sal_alloc(sizeof(unit_copy_t), "dxpx_tx"));
    if (copy == nullptr) return DXP_E_MEMORY;
    copy->pkt = pkt;
    copy->pkt.call_back = unit_copy_done;
    copy->caller = caller;
    int rv = dxp_tx(unit, &copy->pkt, copy);
    if (rv < 0) sal_free(copy);
    return rv;
}

}  // namespace

int dxpx_tx(dxp_pkt *pkt, const dxpx_lplist_t *lplist) {
    if (pkt == nullptr) return DXP_E_PARAM;
    if (lplist == nullptr) {
        int unit = pkt->unit;
        if (pkt->flags & DXP_TX_ETHER) {
            int rv = resolve_ports(unit, pkt);
            if (rv < 0) return rv;
        }
        return dxp_tx(unit, pkt, nullptr);
    }

    std::array<dxp_pbmp_t, DXP_UNITS_MAX> ports{};
    const int count = dxpx_lplist_count(lplist);
    for (int i = 0; i < count; i++) {
        int unit, port;
        int rv = dxpx_lport_to_unit_port(lplist->lp_ports[i], &unit, &port);
        if (rv < 0) return rv;
        dxp_pbmp_port_add(&ports[unit], port);
    }
    // The packet goes to each unit with that unit's ports, then gets its own back.
    const dxp_pbmp_t tx_pbmp = pkt->tx_pbmp, tx_upbmp = pkt->tx_upbmp;
    const uint8_t own_unit = pkt->unit;
    int rv = DXP_E_NONE;
    for (int unit = 0; unit < DXP_UNITS_MAX && rv >= 0; unit++) {
        if (dxp_pbmp_is_null(ports[unit])) continue;
        pkt->unit = static_cast<uint8_t>(unit);
        pkt->tx_pbmp = ports[unit];
        pkt->tx_upbmp =
            dxp_pbmp_t{{tx_upbmp.w[0] & ports[unit].w[0], tx_upbmp.w[1] & ports[unit].w[1]}};
        rv = pkt->call_back ? tx_unit_copy(unit, *pkt, pkt) : dxp_tx(unit, pkt, nullptr);
    }
    pkt->unit = own_unit;
    pkt->tx_pbmp = tx_pbmp;
    pkt->tx_upbmp = tx_upbmp;
    return rv;
}
