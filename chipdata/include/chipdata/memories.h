// Table memories of the DXP71xx chips: entry layouts and where each table
// sits in the generic memory window. Data only, shared by the chip services
// and the chip model.
#pragma once

#include <cstdint>

#include "chipdata/chipdata.h"

// Memory indexes, in the ASCII order of their names.
enum chipdata_mem_id : int {
    M_CFP_ACT_POL,
    M_CFP_METER,
    M_CFP_STAT_IB,
    M_CFP_STAT_OB,
    M_CFP_TCAM_MASK,
    M_CFP_TCAM_S0,
    M_CFP_TCAM_S1,
    M_CFP_TCAM_S2,
    M_CFP_TCAM_S3,
    M_CFP_TCAM_S4,
    M_CFP_TCAM_S5,
    M_FLOW2VLAN,
    M_GEN_MEMORY,
    M_L2_ARL,
    M_L2_ARL_SW,
    M_L2_MARL_SW,
    M_MAC2VLAN,
    M_MARL_PBMP,
    M_MSPT_TAB,
    M_PROTOCOL2VLAN,
    M_STSEC_COUNTER0,
    M_STSEC_COUNTER1,
    M_STSEC_COUNTER2,
    M_STSEC_MAC0,
    M_STSEC_MAC1,
    M_STSEC_MAC2,
    M_VLAN2VLAN,
    M_VLAN_1Q,
    CHIPDATA_NUM_MEMS
};

// Entries are little-endian bit strings; field rows as for registers, with
// bit positions beyond 63 allowed.
struct chipdata_mem {
    int index_min;
    int index_max;
    uint32_t base;  // first address in the generic memory window
    int bytes;      // entry bytes
    int num_fields;
    const chipdata_field *fields;
};

// Null when the model has no such memory.
const chipdata_mem *chipdata_mem_info(chipdata_model model, int mem);
const chipdata_field *chipdata_mem_field(const chipdata_mem *mem, int field_id);
