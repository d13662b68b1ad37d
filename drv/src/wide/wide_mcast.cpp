// Multicast group bitmaps of the 53-port chips: one MARL_PBMP record per
// group with a two-word port bitmap; group indexes are handed out by their
// use counts.
#include "drv_mcast.h"
#include "drv_mem.h"
#include "drv_wide.h"
#include "sal.h"
#include "soc_cm.h"
#include "soc_error.h"

namespace {

constexpr uint32_t kTrace = 0x200;
constexpr int kWords = DRV_WIDE_ENTRY_BYTES / 4;
constexpr uint32_t kInsertFlags = DRV_MEM_OP_REPLACE | DRV_MEM_OP_BY_VLAN | DRV_MEM_OP_BY_MAC;

bool two_words(int unit) {
    return SOC_CONTROL(unit)->port_num > 32;
}

int group_of(int unit, const uint32_t *entry, uint32_t *group) {
    uint32_t v[2] = {0, 0};
    int rv = DRV_SERVICES(unit)->mem_field_get(unit, DRV_MEM_MARL, DRV_MEM_FIELD_DEST_BITMAP,
                                               const_cast<uint32_t *>(entry), v);
    *group = v[0];
    return rv;
}

}  // namespace

int drv_dxp7101_mcast_bmp_get(int unit, const uint32_t *entry, soc_pbmp_t *bmp) {
    if (entry == nullptr) sal_assert("entry", "mcast.c", __LINE__);
    if (bmp == nullptr) sal_assert("bmp", "mcast.c", __LINE__);
    const drv_if_t *s = DRV_SERVICES(unit);
    uint32_t group;
    if (int rv = group_of(unit, entry, &group); rv < 0) return rv;
    uint32_t row[kWords] = {};
    if (int rv = s->mem_read(unit, DRV_MEM_MCAST, group, 1, row); rv < 0) return rv;
    uint32_t w[2] = {0, 0};
    if (int rv = s->mem_field_get(unit, DRV_MEM_MCAST, DRV_MEM_FIELD_DEST_BITMAP, row, w); rv < 0)
        return rv;
    bmp->w[0] = w[0];
    bmp->w[1] = two_words(unit) ? w[1] : 0;
    soc_cm_debug_print(kTrace, "drv_mcast_bmp_get: unit %d, bmp = 0x%x 0x%x\n", unit, bmp->w[0],
                       bmp->w[1]);
    return 0;
}

int drv_dxp7101_mcast_bmp_set(int unit, uint32_t *entry, soc_pbmp_t bmp, uint32_t flag) {
    if (entry == nullptr) {
        sal_assert("entry", "mcast.c", __LINE__);
        return SOC_E_PARAM;
    }
    soc_cm_debug_print(kTrace, "drv_mcast_bmp_set: unit %d, bmp = 0x%x 0x%x flag %x\n", unit,
                       bmp.w[0], bmp.w[1], flag);
    const drv_if_t *s = DRV_SERVICES(unit);
    drv_l2mc_table_t *table = drv_mcast_l2mc_table(unit);
    uint32_t group;
    if (int rv = group_of(unit, entry, &group); rv < 0) return rv;
    // The use counts bound the group index before any row is touched.
    if (table == nullptr || table->used == nullptr || group >= static_cast<uint32_t>(table->count))
        return SOC_E_PARAM;
    auto *used = reinterpret_cast<int32_t *>(table->used);
    if (flag & DRV_MCAST_CREATE) {
        if (group == 0) {
            int g = 0;
            while (g < table->count && used[g] > 0)
                g++;
            if (g == table->count) return SOC_E_FULL;
            group = static_cast<uint32_t>(g);
        }
        uint32_t v[2] = {group, 0};
        if (int rv = s->mem_field_set(unit, DRV_MEM_MARL, DRV_MEM_FIELD_DEST_BITMAP, entry, v);
            rv < 0)
            return rv;
        if (int rv = s->mem_insert(unit, DRV_MEM_ARL, entry, kInsertFlags); rv < 0) return rv;
        used[group]++;
    }
    uint32_t row[kWords] = {};
    if (int rv = s->mem_read(unit, DRV_MEM_MCAST, group, 1, row); rv < 0) return rv;
    uint32_t w[2] = {bmp.w[0], two_words(unit) ? bmp.w[1] : 0};
    if (int rv = s->mem_field_set(unit, DRV_MEM_MCAST, DRV_MEM_FIELD_DEST_BITMAP, row, w); rv < 0)
        return rv;
    if (int rv = s->mem_write(unit, DRV_MEM_MCAST, group, 1, row); rv < 0) return rv;
    if (flag & DRV_MCAST_RELEASE) used[group]--;
    return 0;
}
