// The CFP memories as table memories: rows move between a caller's flat
// buffer and the matching part of a CFP entry record through the CFP
// services, so that tools handling every table alike reach them too.
#include <algorithm>
#include <cstring>

#include "drv_wide.h"
#include "soc_cm.h"
#include "soc_error.h"
#include "wide_internal.h"

using drv_wide::entry_bytes;

namespace {

// Where a memory id's rows live: chip memory for bounds and size, RAM type
// of row moves and field access, and the record part (null for counters).
struct CfpMem {
    int mem;
    uint32_t ram;
    uint32_t field_ram;
    int field_mem;
};

bool cfp_mem(uint32_t id, CfpMem *out) {
    switch (id) {
        case DRV_MEM_CFP_DATA:
            *out = {CFP_TCAM_S0m, DRV_CFP_RAM_TCAM, DRV_CFP_RAM_TCAM, CFP_TCAM_S0m};
            return true;
        case DRV_MEM_CFP_MASK:
            *out = {CFP_TCAM_S0m, DRV_CFP_RAM_TCAM, DRV_CFP_RAM_TCAM_MASK, CFP_TCAM_MASKm};
            return true;
        case DRV_MEM_CFP_ACTION:
            *out = {CFP_ACT_POLm, DRV_CFP_RAM_ACT, DRV_CFP_RAM_ACT, CFP_ACT_POLm};
            return true;
        case DRV_MEM_CFP_METER:
            *out = {CFP_METERm, DRV_CFP_RAM_METER, DRV_CFP_RAM_METER, CFP_METERm};
            return true;
        case DRV_MEM_CFP_STAT_IN:
        case DRV_MEM_CFP_STAT_OUT:
            *out = {CFP_STAT_IBm, 0, 0, -1};
            return true;
        default:
            return false;
    }
}

uint32_t *part(drv_cfp_entry_t *e, uint32_t id) {
    switch (id) {
        case DRV_MEM_CFP_DATA:
            return e->tcam_data;
        case DRV_MEM_CFP_MASK:
            return e->tcam_mask;
        case DRV_MEM_CFP_ACTION:
            return &e->act_data;
        default:
            return e->meter_data;
    }
}

size_t part_bytes(uint32_t id) {
    switch (id) {
        case DRV_MEM_CFP_DATA:
            return sizeof(drv_cfp_entry_t::tcam_data);
        case DRV_MEM_CFP_MASK:
            return sizeof(drv_cfp_entry_t::tcam_mask);
        case DRV_MEM_CFP_ACTION:
            return sizeof(drv_cfp_entry_t::act_data);
        default:
            return sizeof(drv_cfp_entry_t::meter_data);
    }
}

int move(int unit, uint32_t id, uint32_t entry_id, uint32_t count, uint32_t *entry, bool read) {
    CfpMem cm;
    if (count == 0 || !cfp_mem(id, &cm)) return SOC_E_PARAM;
    const soc_mem_info_t *r = drv_cfp_mem_info(cm.mem);
    if (r == nullptr) return SOC_E_PARAM;
    size_t bytes = static_cast<size_t>(entry_bytes(r));
    auto *buf = reinterpret_cast<uint8_t *>(entry);
    const drv_if_t *s = DRV_SERVICES(unit);
    const char *what = read ? "_drv_dxp7101_cfp_read(mem=0x%x,entry_id=0x%x)\n"
                            : "_drv_dxp7101_cfp_write(mem=0x%x,entry_id=0x%x)\n";
    for (uint32_t k = 0; k < count; k++, buf += bytes) {
        long long i = static_cast<long long>(entry_id) + k;
        if (i < r->index_min || i > r->index_max) return SOC_E_PARAM;
        auto index = static_cast<uint32_t>(i);
        int rv;
        if (cm.field_mem < 0) {
            uint32_t stat = id == DRV_MEM_CFP_STAT_IN ? DRV_CFP_STAT_IB : DRV_CFP_STAT_OB;
            uint32_t value = 0;
            if (read) {
                rv = s->cfp_stat_get(unit, stat, index, &value);
                if (rv >= 0) std::memcpy(buf, &value, std::min(bytes, sizeof value));
            } else {
                std::memcpy(&value, buf, std::min(bytes, sizeof value));
                rv = s->cfp_stat_set(unit, stat, index, value);
            }
        } else {
            drv_cfp_entry_t rec{};
            size_t n = std::min(bytes, part_bytes(id));
            bool tcam = cm.ram == DRV_CFP_RAM_TCAM;
            if (read || tcam) {
                // A TCAM half is written over the row as the chip holds it.
                rv = s->cfp_entry_read(unit, index, cm.ram, &rec);
                if (rv < 0) {
                    soc_cm_debug_print(DK_ERR, "_drv_dxp7101_cfp_read(mem=0x%x,entry_id=0x%x)\n",
                                       id, index);
                    return rv;
                }
            }
            if (read) {
                std::memcpy(buf, part(&rec, id), n);
            } else {
                std::memcpy(part(&rec, id), buf, n);
                rv = s->cfp_entry_write(unit, index, cm.ram, &rec);
            }
        }
        if (rv < 0) {
            soc_cm_debug_print(DK_ERR, what, id, index);
            return rv;
        }
    }
    return 0;
}

int field(int unit, uint32_t id, uint32_t fld, uint32_t *entry, uint32_t *fldbuf, bool set) {
    CfpMem cm;
    if (!cfp_mem(id, &cm) || cm.field_mem < 0) return SOC_E_PARAM;
    const soc_mem_info_t *r = drv_cfp_mem_info(cm.field_mem);
    if (r == nullptr) return SOC_E_PARAM;
    size_t n = std::min(static_cast<size_t>(entry_bytes(r)), part_bytes(id));
    drv_cfp_entry_t rec{};
    std::memcpy(part(&rec, id), entry, n);
    const drv_if_t *s = DRV_SERVICES(unit);
    int rv = set ? s->cfp_field_set(unit, cm.field_ram, fld, &rec, fldbuf)
                 : s->cfp_field_get(unit, cm.field_ram, fld, &rec, fldbuf);
    if (rv < 0) {
        soc_cm_debug_print(DK_ERR,
                           set ? "_drv_dxp7101_cfp_field_set(mem=0x%x,field=0x%x)\n"
                               : "_drv_dxp7101_cfp_field_get(mem=0x%x,field=0x%x)\n",
                           id, fld);
        return rv;
    }
    if (set) std::memcpy(entry, part(&rec, id), n);
    return 0;
}

}  // namespace

int _drv_dxp7101_cfp_read(int unit, uint32_t mem, uint32_t entry_id, uint32_t count,
                          uint32_t *entry) {
    return move(unit, mem, entry_id, count, entry, true);
}

int _drv_dxp7101_cfp_write(int unit, uint32_t mem, uint32_t entry_id, uint32_t count,
                           uint32_t *entry) {
    return move(unit, mem, entry_id, count, entry, false);
}

int _drv_dxp7101_cfp_field_get(int unit, uint32_t mem, uint32_t field_id, uint32_t *entry,
                               uint32_t *fldbuf) {
    return field(unit, mem, field_id, entry, fldbuf, false);
}

int _drv_dxp7101_cfp_field_set(int unit, uint32_t mem, uint32_t field_id, uint32_t *entry,
                               uint32_t *fldbuf) {
    return field(unit, mem, field_id, entry, fldbuf, true);
}
