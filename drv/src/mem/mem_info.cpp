// Memory-info rows of the driver records, made from the catalogue's table
// layouts.
#include <array>

#include "chipdata/memories.h"
#include "drv_cfp.h"
#include "drv_mem.h"

static_assert(static_cast<int>(M_L2_ARL) == L2_ARLm && static_cast<int>(M_VLAN_1Q) == VLAN_1Qm &&
              static_cast<int>(M_STSEC_MAC0) == STSEC_MAC0m && CHIPDATA_NUM_MEMS == SOC_NUM_MEMS);

namespace {

using Rows = std::array<soc_mem_info_t, SOC_NUM_MEMS>;

Rows make_rows(chipdata_model model) {
    Rows rows{};
    for (int m = 0; m < SOC_NUM_MEMS; m++) {
        const chipdata_mem *mem = chipdata_mem_info(model, m);
        if (mem == nullptr) continue;
        rows[m] = {
            .flags = SOC_MEM_FLAG_VALID,
            .minblock = 0,
            .maxblock = -1,
            .index_min = mem->index_min,
            .index_max = mem->index_max,
            .blocks = 0,
            .reserved = 0,
            .base = mem->base,
            .reserved2 = 0,
            .size_fields =
                static_cast<uint32_t>(mem->bytes) | static_cast<uint32_t>(mem->num_fields) << 16,
            .fields = mem->fields,
        };
    }
    return rows;
}

// Fills a driver record's table from the rows (before main, once).
bool fill(const soc_mem_info_t **table, const Rows &rows) {
    for (int m = 0; m < SOC_NUM_MEMS; m++)
        table[m] = rows[m].flags & SOC_MEM_FLAG_VALID ? &rows[m] : nullptr;
    return true;
}

const Rows k7102Rows = make_rows(CHIPDATA_DXP7102_A0);
const Rows k7101Rows = make_rows(CHIPDATA_DXP7101);

}  // namespace

const soc_mem_info_t *drv_dxp7102_mem_info[SOC_NUM_MEMS];
const soc_mem_info_t *drv_dxp7101_mem_info[SOC_NUM_MEMS];

namespace {
// The family's CFP memories are described with the field-processor services.
bool join_cfp(const soc_mem_info_t **table) {
    for (int m = CFP_ACT_POLm; m <= CFP_TCAM_S4m; m++)
        table[m] = drv_cfp_mem_info(m);
    return true;
}

[[maybe_unused]] const bool kFilled = fill(drv_dxp7102_mem_info, k7102Rows) &&
                                      fill(drv_dxp7101_mem_info, k7101Rows) &&
                                      join_cfp(drv_dxp7101_mem_info);
}  // namespace
