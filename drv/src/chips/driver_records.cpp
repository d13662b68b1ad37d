// The four chip driver records, the chip driver list and the chip type names.
#include "chipdata/ids.h"
#include "drv_counter.h"
#include "drv_if.h"
#include "drv_mem.h"
#include "service_tables.h"

namespace {

constexpr const char *kOrigin = " Not located in Server Need Verified";
constexpr int kNumCos = 4;

const soc_driver_t kNoDriver = {};

}  // namespace

void drv_dxp7102_a0_init(void) {}
void drv_dxp7102_a1_init(void) {}
void drv_dxp7101_init(void) {}
void drv_dxp7106_init(void) {}

const soc_driver_t soc_driver_dxp7102_a0 = {
    SOC_CHIP_TYPE_DXP7102_A0,
    "dxp7102_a0",
    kOrigin,
    CHIP_VENDOR_ID,
    DXP7102_DEVICE_ID,
    0,
    kNumCos,
    chipdata_reg_table(CHIPDATA_DXP7102_A0),
    drv_dxp7102_mem_info,
    chipdata_block_table(CHIPDATA_DXP7102_A0),
    chipdata_port_table(CHIPDATA_DXP7102_A0),
    {{drv_counter_map_rows, DRV_COUNTER_MAP_ROWS}, {drv_counter_map_rows, DRV_COUNTER_MAP_ROWS}},
    drv_dxp7102_feature,
    drv_dxp7102_a0_init,
    &drv_dxp7102_services,
};

const soc_driver_t soc_driver_dxp7102_a1 = {
    SOC_CHIP_TYPE_DXP7102_A1,
    "dxp7102_a1",
    kOrigin,
    CHIP_VENDOR_ID,
    DXP7102_DEVICE_ID,
    1,
    kNumCos,
    chipdata_reg_table(CHIPDATA_DXP7102_A1),
    drv_dxp7102_mem_info,
    chipdata_block_table(CHIPDATA_DXP7102_A1),
    chipdata_port_table(CHIPDATA_DXP7102_A1),
    {{drv_counter_map_rows, DRV_COUNTER_MAP_ROWS}, {drv_counter_map_rows, DRV_COUNTER_MAP_ROWS}},
    drv_dxp7102_feature,
    drv_dxp7102_a1_init,
    &drv_dxp7102_services,
};

const soc_driver_t soc_driver_dxp7101_a0 = {
    SOC_CHIP_TYPE_DXP7101,
    "dxp7101_a0",
    kOrigin,
    CHIP_VENDOR_ID,
    DXP7101_DEVICE_ID,
    0,
    kNumCos,
    chipdata_reg_table(CHIPDATA_DXP7101),
    drv_dxp7101_mem_info,
    chipdata_block_table(CHIPDATA_DXP7101),
    chipdata_port_table(CHIPDATA_DXP7101),
    {{drv_counter_map_rows, DRV_COUNTER_MAP_ROWS}, {drv_counter_map_rows, DRV_COUNTER_MAP_ROWS}},
    drv_dxp7101_feature,
    drv_dxp7101_init,
    &drv_dxp7101_services,
};

const soc_driver_t soc_driver_dxp7106_a0 = {
    SOC_CHIP_TYPE_DXP7106,
    "dxp7106_a0",
    kOrigin,
    CHIP_VENDOR_ID,
    DXP7106_DEVICE_ID,
    0,
    kNumCos,
    chipdata_reg_table(CHIPDATA_DXP7106),
    drv_dxp7101_mem_info,
    chipdata_block_table(CHIPDATA_DXP7106),
    chipdata_port_table(CHIPDATA_DXP7106),
    {{drv_counter_map_rows, DRV_COUNTER_MAP_ROWS}, {drv_counter_map_rows, DRV_COUNTER_MAP_ROWS}},
    drv_dxp7101_feature,
    drv_dxp7106_init,
    &drv_dxp7101_services,
};

const soc_driver_t *const soc_tarn_drivers_table[SOC_TARN_NUM_SUPPORTED_CHIPS] = {
    &soc_driver_dxp7102_a0,
    &kNoDriver,
    &kNoDriver,
    &kNoDriver,
    &soc_driver_dxp7102_a1,
    &soc_driver_dxp7101_a0,
    &kNoDriver,
    &soc_driver_dxp7106_a0,
    &kNoDriver,
    &kNoDriver,
};

const soc_driver_t *soc_tarn_chip_driver_find(uint16_t dev_id, uint8_t rev_id) {
    uint16_t drv_dev_id;
    uint8_t drv_rev_id;
    if (soc_cm_driver_id_get(dev_id, rev_id, &drv_dev_id, &drv_rev_id) != 0) return nullptr;
    for (const soc_driver_t *d : soc_tarn_drivers_table) {
        if (d->services != nullptr && d->pci_device == drv_dev_id && d->pci_revision == drv_rev_id)
            return d;
    }
    return nullptr;
}

const char *soc_chip_type_name(int chip_type) {
    switch (chip_type) {
        case SOC_CHIP_TYPE_DXP7102_A0:
            return "DXP7102_A0";
        case SOC_CHIP_TYPE_DXP7102_A1:
            return "DXP7102_A1";
        case SOC_CHIP_TYPE_DXP7101:
            return "DXP7101_A0";
        case SOC_CHIP_TYPE_DXP7106:
            return "DXP7106_A0";
        default:
            return "?";
    }
}

int soc_chip_type_to_group(int chip_type) {
    switch (chip_type) {
        case SOC_CHIP_TYPE_DXP7102_A0:
        case SOC_CHIP_TYPE_DXP7102_A1:
            return SOC_CHIP_GROUP_DXP7102;
        case SOC_CHIP_TYPE_DXP7101:
            return SOC_CHIP_GROUP_DXP7101;
        case SOC_CHIP_TYPE_DXP7106:
            return SOC_CHIP_GROUP_DXP7106;
        default:
            return -1;
    }
}

const char *soc_chip_group_name(int chip_group) {
    switch (chip_group) {
        case SOC_CHIP_GROUP_DXP7102:
            return "DXP7102";
        case SOC_CHIP_GROUP_DXP7101:
            return "DXP7101";
        case SOC_CHIP_GROUP_DXP7106:
            return "DXP7106";
        default:
            return "?";
    }
}

const char *soc_mem_name(int mem) {
    static constexpr const char *kNames[SOC_NUM_MEMS] = {
        "CFP_ACT_POL",    "CFP_METER",      "CFP_STAT_IB",    "CFP_STAT_OB", "CFP_TCAM_MASK",
        "CFP_TCAM_S0",    "CFP_TCAM_S1",    "CFP_TCAM_S2",    "CFP_TCAM_S3", "CFP_TCAM_S4",
        "CFP_TCAM_S5",    "FLOW2VLAN",      "GEN_MEMORY",     "L2_ARL",      "L2_ARL_SW",
        "L2_MARL_SW",     "MAC2VLAN",       "MARL_PBMP",      "MSPT_TAB",    "PROTOCOL2VLAN",
        "STSEC_COUNTER0", "STSEC_COUNTER1", "STSEC_COUNTER2", "STSEC_MAC0",  "STSEC_MAC1",
        "STSEC_MAC2",     "VLAN2VLAN",      "VLAN_1Q",
    };
    return mem >= 0 && mem < SOC_NUM_MEMS ? kNames[mem] : nullptr;
}
