// Multicast groups in the chip: the L2 entry that names the group and the
// half row of MARL_PBMP (two groups per row) that holds its ports.
#include <array>
#include <cstring>

#include "chipdata/chipdata.h"
#include "drv_mcast.h"
#include "drv_mem.h"
#include "drv_reg_rmw.h"
#include "sal.h"
#include "soc_error.h"

namespace {

constexpr uint32_t kTrace = 0x200;
// Bit-string words of a MARL_PBMP or VLAN row as the table services copy them.
constexpr int kRowWords = 6;

std::array<drv_l2mc_table_t, SOC_MAX_NUM_DEVICES> l2mc_tables{};

drv_mcast_record load(const dxp_mcast_addr *mcaddr) {
    drv_mcast_record r;
    std::memcpy(&r, mcaddr, sizeof r);
    return r;
}

void store(dxp_mcast_addr *mcaddr, const drv_mcast_record &r) {
    std::memcpy(mcaddr, &r, sizeof r);
}

uint32_t entry_field(int unit, uint32_t mem, uint32_t field, const uint32_t *entry) {
    uint32_t value[2] = {0, 0};
    DRV_SERVICES(unit)->mem_field_get(unit, mem, field, const_cast<uint32_t *>(entry), value);
    return value[0];
}

int entry_field_set(int unit, uint32_t mem, uint32_t field, uint32_t *entry, uint32_t value) {
    uint32_t v[2] = {value, 0};
    return DRV_SERVICES(unit)->mem_field_set(unit, mem, field, entry, v);
}

// Rows of the table hold the groups 2r (even half) and 2r + 1 (odd half).
struct GroupHalf {
    uint32_t row;
    uint32_t bitmap_field;
    uint32_t valid_field;
};
GroupHalf half_of(uint32_t group) {
    const bool odd = group & 1u;
    return {group / 2, odd ? DRV_MEM_FIELD_DEST_BITMAP1 : DRV_MEM_FIELD_DEST_BITMAP,
            odd ? DRV_MEM_FIELD_VALID1 : DRV_MEM_FIELD_VALID};
}

// Index 0 also marks an entry without a group, so it is never handed out.
int free_group(const drv_l2mc_table_t &t) {
    for (int g = 1; g < t.count; g++)
        if (t.used[g] == 0) return g;
    return -1;
}

}  // namespace

drv_l2mc_table_t *drv_mcast_l2mc_table(int unit) {
    if (unit < 0 || unit >= SOC_MAX_NUM_DEVICES) return nullptr;
    return &l2mc_tables[unit];
}

int drv_mcast_init(int unit) {
    const drv_if_t *s = DRV_SERVICES(unit);
    if (SOC_IS_DXP7102(unit)) {
        if (int rv = s->mem_clear(unit, DRV_MEM_MCAST); rv < 0) return rv;
    }
    return s->mem_clear(unit, DRV_MEM_MARL);
}

int drv_mcast_to_arl_entry(int unit, uint32_t *arl_entry, const dxp_mcast_addr *mcaddr) {
    const drv_mcast_record r = load(mcaddr);
    std::memset(arl_entry, 0, DRV_ARL_ENTRY_WORDS * sizeof(uint32_t));
    const drv_if_t *s = DRV_SERVICES(unit);
    uint32_t mac[2] = {
        static_cast<uint32_t>(r.mac[2]) << 24 | r.mac[3] << 16 | r.mac[4] << 8 | r.mac[5],
        static_cast<uint32_t>(r.mac[0]) << 8 | r.mac[1]};
    s->mem_field_set(unit, DRV_MEM_MARL, DRV_MEM_FIELD_MAC, arl_entry, mac);
    entry_field_set(unit, DRV_MEM_MARL, DRV_MEM_FIELD_VLANID, arl_entry, r.vid);
    if (!(SOC_CONTROL(unit)->chip_flags & SOC_CHIP_DXP7103))
        entry_field_set(unit, DRV_MEM_MARL, DRV_MEM_FIELD_STATIC, arl_entry, 1);
    entry_field_set(unit, DRV_MEM_MARL, DRV_MEM_FIELD_VALID, arl_entry, 1);
    const uint32_t group = r.l2mc_index < 0 ? 0 : static_cast<uint32_t>(r.l2mc_index);
    entry_field_set(unit, DRV_MEM_MARL, DRV_MEM_FIELD_DEST_BITMAP, arl_entry, group);
    return SOC_E_NONE;
}

int drv_arl_to_mcast_entry(int unit, dxp_mcast_addr *mcaddr, const uint32_t *arl_entry) {
    drv_mcast_record r{};
    const drv_if_t *s = DRV_SERVICES(unit);
    uint32_t mac[2] = {0, 0};
    s->mem_field_get(unit, DRV_MEM_MARL, DRV_MEM_FIELD_MAC, const_cast<uint32_t *>(arl_entry), mac);
    r.mac[0] = static_cast<uint8_t>(mac[1] >> 8);
    r.mac[1] = static_cast<uint8_t>(mac[1]);
    for (int i = 0; i < 4; i++)
        r.mac[2 + i] = static_cast<uint8_t>(mac[0] >> (24 - 8 * i));
    r.vid = static_cast<uint16_t>(entry_field(unit, DRV_MEM_MARL, DRV_MEM_FIELD_VLANID, arl_entry));
    uint32_t vlan_row[kRowWords] = {};
    if (int rv = s->mem_read(unit, DRV_MEM_VLAN, r.vid, 1, vlan_row); rv < 0) return rv;
    soc_pbmp_t ports{};
    if (int rv = s->mcast_bmp_get(unit, arl_entry, &ports); rv < 0) return rv;
    r.pbmp[0] = ports.w[0];
    r.pbmp[1] = ports.w[1];
    s->mem_field_get(unit, DRV_MEM_VLAN, DRV_MEM_FIELD_OUTPUT_UNTAG, vlan_row, r.ubmp);
    r.l2mc_index =
        static_cast<int32_t>(entry_field(unit, DRV_MEM_MARL, DRV_MEM_FIELD_DEST_BITMAP, arl_entry));
    store(mcaddr, r);
    return SOC_E_NONE;
}

int drv_mcast_bmp_get(int unit, const uint32_t *entry, soc_pbmp_t *bmp) {
    if (entry == nullptr) sal_assert("entry", "mcast.c", __LINE__);
    if (bmp == nullptr) sal_assert("bmp", "mcast.c", __LINE__);
    const drv_if_t *s = DRV_SERVICES(unit);
    const GroupHalf h = half_of(entry_field(unit, DRV_MEM_MARL, DRV_MEM_FIELD_DEST_BITMAP, entry));
    uint32_t row[kRowWords] = {};
    if (int rv = s->mem_read(unit, DRV_MEM_MCAST, h.row, 1, row); rv < 0) return rv;
    *bmp = soc_pbmp_t{};
    s->mem_field_get(unit, DRV_MEM_MCAST, h.bitmap_field, row, bmp->w);
    soc_cm_debug_print(kTrace, "drv_mcast_bmp_get: unit %d, bmp = %x\n", unit, bmp->w[0]);
    return SOC_E_NONE;
}

int drv_mcast_bmp_set(int unit, uint32_t *entry, soc_pbmp_t bmp, uint32_t flag) {
    if (entry == nullptr) return SOC_E_NONE;
    soc_cm_debug_print(kTrace, "drv_mcast_bmp_set: unit %d, bmp = %x flag %x\n", unit, bmp.w[0],
                       flag);
    const drv_if_t *s = DRV_SERVICES(unit);
    drv_l2mc_table_t &table = l2mc_tables[unit];
    uint32_t group = entry_field(unit, DRV_MEM_MARL, DRV_MEM_FIELD_DEST_BITMAP, entry);
    // A group index from the caller is checked before any counter or row.
    if (table.used == nullptr || group >= static_cast<uint32_t>(table.count)) return SOC_E_PARAM;
    const soc_pbmp_t &all = SOC_CONTROL(unit)->all.bitmap;
    if ((bmp.w[0] & ~all.w[0]) || (bmp.w[1] & ~all.w[1])) return SOC_E_PARAM;
    if (flag & DRV_MCAST_CREATE) {
        if (group == 0) {
            int g = free_group(table);
            if (g < 0) return SOC_E_FULL;
            group = static_cast<uint32_t>(g);
        }
        entry_field_set(unit, DRV_MEM_MARL, DRV_MEM_FIELD_DEST_BITMAP, entry, group);
        if (int rv = s->mem_insert(unit, DRV_MEM_ARL, entry,
                                   DRV_MEM_OP_REPLACE | DRV_MEM_OP_BY_MAC | DRV_MEM_OP_BY_VLAN);
            rv < 0)
            return rv;
        table.used[group]++;
    }
    if (int rv = drv_reg_field_write(unit, R_NEW_CONTROL, 0, F_IP_MULTICAST, 1); rv < 0) return rv;
    const GroupHalf h = half_of(group);
    uint32_t row[kRowWords] = {};
    if (int rv = s->mem_read(unit, DRV_MEM_MCAST, h.row, 1, row); rv < 0) return rv;
    uint32_t valid[2] = {soc_pbmp_is_null(bmp) ? 0u : 1u, 0};
    s->mem_field_set(unit, DRV_MEM_MCAST, h.valid_field, row, valid);
    s->mem_field_set(unit, DRV_MEM_MCAST, h.bitmap_field, row, bmp.w);
    if (int rv = s->mem_write(unit, DRV_MEM_MCAST, h.row, 1, row); rv < 0) return rv;
    if ((flag & DRV_MCAST_RELEASE) && table.used[group] > 0) table.used[group]--;
    return SOC_E_NONE;
}
