// Routines shared by the switch API: module names, record initialisers, the
// L2 address dump, byte access into a packet's blocks and the module-port
// lookup; and the family's helpers behind tarn_internal.h.
#include <atomic>
#include <cstring>

#include "dxp_tarn.h"
#include "sal.h"
#include "shr.h"
#include "tarn_internal.h"

namespace {

constexpr const char *kModuleNames[] = {
    "port", "l2",     "vlan",     "trunk",  "cosq", "mcast", "linkscan",
    "stat", "filter", "diffserv", "mirror", "l3",   "stack", "ipmc",
    "stg",  "tx",     "dmux",     "auth",   "rx",   "field", "rcpu",
};
static_assert(sizeof(kModuleNames) / sizeof(kModuleNames[0]) == 21);

std::atomic<dxp_modid_port_hook_t> modid_port_hook{nullptr};

}  // namespace

namespace tarn {

bool simulated_boot() {
    return (sal_boot_flags_get() & kBootSimulation) != 0;
}

PbmpText pbmp_text(soc_pbmp_t b) {
    PbmpText t{};
    shr_format_uint64_hex(b.w[0], b.w[1], t.text);
    return t;
}

}  // namespace tarn

const char *dxp_module_name(int, int module) {
    if (module < 0 || module >= static_cast<int>(sizeof(kModuleNames) / sizeof(kModuleNames[0])))
        return "unknown";
    return kModuleNames[module];
}

void dxp_l2_addr_init(dxp_l2_addr *l2addr, const dxp_mac_t mac, dxp_vlan_t vid) {
    if (l2addr == nullptr) return;
    *l2addr = dxp_l2_addr{};
    if (mac != nullptr) std::memcpy(l2addr->mac, mac, sizeof(l2addr->mac));
    l2addr->vid = vid;
}

void dxp_l2_addr_dump(const dxp_l2_addr *a) {
    if (a == nullptr) return;
    soc_cm_print("MAC_ADDR=%02x:%02x:%02x:%02x:%02x:%02x, ", a->mac[0], a->mac[1], a->mac[2],
                 a->mac[3], a->mac[4], a->mac[5]);
    soc_cm_print("VLAN_TAG=0x%x, PORT=%d, TGID=%d, RTAG=%d,\n", a->vid, a->port, a->tgid, a->rtag);
    soc_cm_print("    MODID=%d, L2MC_IDX=%d,", a->modid, a->l2mc_index);
    soc_cm_print(" COS_DST=%d, COS_SRC=%d, \n    FLAGS=0x%08x\n", a->cos_dst, a->cos_src, a->flags);
}

void dxp_l2_learn_limit_init(dxp_l2_learn_limit_t *limit) {
    if (limit != nullptr) *limit = dxp_l2_learn_limit_t{};
}

void dxp_pkt_clear(dxp_pkt *pkt) {
    if (pkt != nullptr) *pkt = dxp_pkt{};
}

void dxp_rec8_init(void *rec) {
    if (rec != nullptr) std::memset(rec, 0, 8);
}
void dxp_rec16_init(void *rec) {
    if (rec != nullptr) std::memset(rec, 0, 16);
}
void dxp_rec52_init(void *rec) {
    if (rec != nullptr) std::memset(rec, 0, 52);
}

int dxp_pkt_byte_index(dxp_pkt *pkt, int offset, int *left, int *block, uint8_t **pointer) {
    if (pointer != nullptr) *pointer = nullptr;
    if (pkt == nullptr || offset < 0) return DXP_E_NOT_FOUND;
    int start = 0;
    for (int i = 0; i < pkt->blk_count; i++) {
        const dxp_pkt_blk_t &blk = pkt->pkt_data[i];
        const int len = static_cast<int>(blk.len);
        if (offset < start + len) {
            if (pointer != nullptr) *pointer = blk.data + (offset - start);
            if (left != nullptr) *left = start + len - offset;
            if (block != nullptr) *block = i;
            return DXP_E_NONE;
        }
        start += len;
    }
    return DXP_E_NOT_FOUND;
}

int dxp_pkt_memcpy(dxp_pkt *pkt, int offset, const void *src, int len) {
    int left = 0, block = 0;
    uint8_t *dst = nullptr;
    if (src == nullptr || len <= 0 || dxp_pkt_byte_index(pkt, offset, &left, &block, &dst) < 0)
        return 0;
    const auto *from = static_cast<const uint8_t *>(src);
    int copied = 0;
    while (copied < len) {
        const int n = left < len - copied ? left : len - copied;
        std::memcpy(dst, from + copied, static_cast<size_t>(n));
        copied += n;
        // Next non-empty block.
        do {
            if (++block >= pkt->blk_count) return copied;
            dst = pkt->pkt_data[block].data;
            left = static_cast<int>(pkt->pkt_data[block].len);
        } while (left == 0);
    }
    return copied;
}

void dxp_modid_port_hook_set(dxp_modid_port_hook_t hook) {
    modid_port_hook.store(hook);
}

int dxp_modid_port_get(int unit, int modid, int *port) {
    if (dxp_modid_port_hook_t hook = modid_port_hook.load(); hook != nullptr)
        return hook(unit, modid, port);
    return dxp_modid_port_get_default(unit, modid, port);
}

int dxp_modid_port_get_default(int unit, int modid, int *port) {
    int my_modid = 0, count = 0;
    if (int rv = dxp_stk_my_modid_get(unit, &my_modid); rv != 0) return rv;
    if (int rv = dxp_stk_modid_count(unit, &count); rv != 0) return rv;
    if (port == nullptr) return DXP_E_PARAM;
    if (modid >= my_modid && modid < my_modid + count) {
        *port = -1;
        return DXP_E_NONE;
    }
    int rv = dxp_stk_modport_get(unit, modid, port);
    if (rv != DXP_E_UNAVAIL) return rv;
    dxp_pbmp_t pbmp{};
    if (rv = dxp_stk_ucast_pbmp_get(unit, -1, modid, &pbmp); rv < 0) return rv;
    for (int p = 0; p < DXP_PORTS_MAX; p++) {
        if (dxp_pbmp_member(pbmp, p)) {
            *port = p;
            return DXP_E_NONE;
        }
    }
    return DXP_E_NOT_FOUND;
}
