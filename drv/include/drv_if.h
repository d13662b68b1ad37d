// Chip driver records: one constant record per supported chip and revision
// with its identity, the tables that describe its registers, memories,
// blocks, ports and counters, its feature predicate and its 146-slot service
// table. Every chip operation goes unit record -> driver record -> service
// table -> slot, with the unit as first argument.
#pragma once

#include <cstdint>

#include "chipdata/chipdata.h"
#include "soc_control.h"

struct dxp_mcast_addr;
struct drv_cfp_entry_t;

// The service table.
struct drv_if_t {
#define DRV_SLOT(slot, member, ret, params) ret(*member) params;
#include "drv_slots.h"
};

constexpr int DRV_NUM_SLOTS = 146;

// Register-info row (the 14-word row of the register catalogue).
using soc_reg_info_t = chipdata_reg;
using soc_field_info_t = chipdata_field;

// Memory-info row (one per memory index).
constexpr uint32_t SOC_MEM_FLAG_VALID = 0x2;
struct soc_mem_info_t {
    uint32_t flags;  // SOC_MEM_FLAG_VALID when the chip has the memory
    int minblock;    // block range that may hold the memory
    int maxblock;
    int index_min;
    int index_max;
    uint32_t blocks;  // block types that hold the memory
    uint32_t reserved;
    uint32_t base;  // base in the generic memory window
    uint32_t reserved2;
    uint32_t size_fields;  // entry bytes in the low half, field count in the high half
    const chipdata_field *fields;
};

// Memory indexes, in the ASCII order of their names.
enum soc_mem_t : int {
    CFP_ACT_POLm,
    CFP_METERm,
    CFP_STAT_IBm,
    CFP_STAT_OBm,
    CFP_TCAM_MASKm,
    CFP_TCAM_S0m,
    CFP_TCAM_S1m,
    CFP_TCAM_S2m,
    CFP_TCAM_S3m,
    CFP_TCAM_S4m,
    CFP_TCAM_S5m,
    FLOW2VLANm,
    GEN_MEMORYm,
    L2_ARLm,
    L2_ARL_SWm,
    L2_MARL_SWm,
    MAC2VLANm,
    MARL_PBMPm,
    MSPT_TABm,
    PROTOCOL2VLANm,
    STSEC_COUNTER0m,
    STSEC_COUNTER1m,
    STSEC_COUNTER2m,
    STSEC_MAC0m,
    STSEC_MAC1m,
    STSEC_MAC2m,
    VLAN2VLANm,
    VLAN_1Qm,
};
const char *soc_mem_name(int mem);  // null outside 0..27

// Driver memory ids of the table services.
constexpr uint32_t DRV_MEM_ARL = 0x10000;
constexpr uint32_t DRV_MEM_VLAN = 0x10001;
constexpr uint32_t DRV_MEM_MSTP = 0x10002;
constexpr uint32_t DRV_MEM_MCAST = 0x10003;
constexpr uint32_t DRV_MEM_SECMAC = 0x10004;
constexpr uint32_t DRV_MEM_GEN = 0x10005;
constexpr uint32_t DRV_MEM_ARL_HW = 0x10006;
constexpr uint32_t DRV_MEM_MARL = 0x10007;
constexpr uint32_t DRV_MEM_MACVLAN = 0x10009;

// Counter map: a list of counter register ids and its length.
struct soc_cmap_t {
    const int *counters;
    int num;
};

struct soc_driver_s {
    int type;                               // 0: chip type number
    const char *chip_string;                // 1: code name
    const char *origin;                     // 2: description
    uint16_t pci_vendor;                    // 3: vendor id
    uint16_t pci_device;                    //    and device id
    int pci_revision;                       // 4
    int num_cos;                            // 5
    const chipdata_reg *const *reg_info;    // 6: by register id, null where absent
    const soc_mem_info_t *const *mem_info;  // 7: by memory index, null where absent
    const chipdata_block *block_info;       // 9: ends with a row of type -1
    const chipdata_port *port_info;         // 10: ends with {-1, -1}
    soc_cmap_t counter_maps[2];             // 11
    int (*feature)(int unit, int feature);  // 12
    void (*init)(void);                     // 13: once per process
    const drv_if_t *services;               // 14
};

// The chip driver list: DXP7102 A0, -, -, -, DXP7102 A1, DXP7101, -, DXP7106,
// -, -; an empty entry points at an all-zero record.
constexpr int SOC_TARN_NUM_SUPPORTED_CHIPS = 10;
extern const soc_driver_t *const soc_tarn_drivers_table[SOC_TARN_NUM_SUPPORTED_CHIPS];

extern const soc_driver_t soc_driver_dxp7102_a0;
extern const soc_driver_t soc_driver_dxp7102_a1;
extern const soc_driver_t soc_driver_dxp7101_a0;
extern const soc_driver_t soc_driver_dxp7106_a0;

// The record whose device id and revision equal the pair's driver ids
// (soc_cm_driver_id_get) among the entries that have a service table; null
// when none.
const soc_driver_t *soc_tarn_chip_driver_find(uint16_t dev_id, uint8_t rev_id);

// "DXP7102_A0", "DXP7102_A1", "DXP7101_A0", "DXP7106_A0"; "?" otherwise.
const char *soc_chip_type_name(int chip_type);
// 0x16, 0x1a, 0x1c; -1 otherwise. Its name "DXP7102", "DXP7101", "DXP7106".
int soc_chip_type_to_group(int chip_type);
const char *soc_chip_group_name(int chip_group);

// The unit's service table (the unit must have a record).
inline const drv_if_t *DRV_SERVICES(int unit) {
    return SOC_CONTROL(unit)->chip_driver->services;
}
inline const chipdata_reg *SOC_REG_INFO(int unit, uint32_t reg) {
    const soc_driver_t *d = SOC_CONTROL(unit)->chip_driver;
    return d->reg_info != nullptr && reg < static_cast<uint32_t>(CHIPDATA_NUM_REGS)
               ? d->reg_info[reg]
               : nullptr;
}

// Table services of the chip driver records.
int drv_mem_width_get(int unit, uint32_t mem, uint32_t *width);
// Ids 9, 10, 13 and 14 write two words.
int drv_dev_prop_get(int unit, uint32_t prop_type, uint32_t *prop_val);
int drv_dxp7101_dev_prop_get(int unit, uint32_t prop_type, uint32_t *prop_val);
int drv_dxp7102_feature(int unit, int feature);
int drv_dxp7101_feature(int unit, int feature);
void drv_dxp7102_a0_init(void);
void drv_dxp7102_a1_init(void);
void drv_dxp7101_init(void);
void drv_dxp7106_init(void);
