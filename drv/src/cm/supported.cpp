// The table of supported devices and the lookup by id and revision.
#include "cm_internal.h"

#include "chipdata/ids.h"
#include "soc_error.h"

namespace {

constexpr uint32_t kQnt = SOC_CM_SWITCH | SOC_CM_QNT;
constexpr uint32_t kTarn = SOC_CM_SWITCH | SOC_CM_TARN;
constexpr uint32_t kNic = SOC_CM_CPU_NIC | SOC_CM_QNT;

constexpr soc_cm_device_info_t kSupported[SOC_CM_NUM_SUPPORTED] = {
    {QNT_DEVICE_IDS[0], 0, "QNT5501_A0", QNT_DEVICE_IDS[4], 1, kQnt},
    {QNT_DEVICE_IDS[1], 0, "QNT5502_A0", QNT_DEVICE_IDS[4], 1, kQnt},
    {QNT_DEVICE_IDS[2], 0, "QNT5503_A0", QNT_DEVICE_IDS[4], 1, kQnt},
    {QNT_DEVICE_IDS[3], 0, "QNT5504_A0", QNT_DEVICE_IDS[4], 1, kQnt},
    {QNT_DEVICE_IDS[4], 1, "QNT5505_A1", QNT_DEVICE_IDS[4], 1, kQnt},
    {DXP7102_DEVICE_ID, 0, "DXP7102_A0", 0, 0, kTarn},
    {DXP7102_DEVICE_ID, 1, "DXP7102_A1", DXP7102_DEVICE_ID, 1, kTarn},
    {DXP7102_DEVICE_ID, 2, "DXP7102_A2", DXP7102_DEVICE_ID, 1, kTarn},
    {DXP7103_DEVICE_ID, 0, "DXP7103_A0", 0, 0, kTarn},
    {DXP7108_DEVICE_ID, 0, "DXP7108_A0", 0, 0, kTarn},
    {DXP7104_DEVICE_ID, 0, "DXP7104_A0", 0, 0, kTarn},
    {DXP7101_DEVICE_ID, 0, "DXP7101_A0", 0, 0, kTarn},
    {DXP7107_DEVICE_ID, 0, "DXP7107_A0", 0, 0, kTarn},
    {DXP7106_DEVICE_ID, 0, "DXP7106_A0", 0, 0, kTarn},
    {DXP7101_DEVICE_ID, 1, "DXP7101_A1", DXP7101_DEVICE_ID, 0, kTarn},
    {DXP7106_DEVICE_ID, 1, "DXP7106_A1", DXP7106_DEVICE_ID, 0, kTarn},
    {DXP7105_DEVICE_ID, 0, "DXP7105_A0", 0, 0, kTarn},
    {DXP71090_DEVICE_ID, 0, "DXP71090_A0", 0, 0, kTarn},
    {DXP6202_DEVICE_ID, 0, "DXP6202_A0", 0, 0, kNic},
    {DXP6202_DEVICE_ID, 9, "DXP6202_A9", DXP6202_DEVICE_ID, 0, kNic},
};

const soc_cm_device_info_t *exact(uint16_t dev_id, uint8_t rev_id) {
    for (const soc_cm_device_info_t &row : kSupported) {
        if (row.dev_id == dev_id && row.rev_id == rev_id) return &row;
    }
    return nullptr;
}

}  // namespace

namespace soc_cm_internal {

// Tries the revision and then lower ones, 16 tries in all: a revision whose
// low nibble is 0 becomes x | 0xF, any other is decremented.
const soc_cm_device_info_t *supported_row(uint16_t dev_id, uint8_t rev_id) {
    for (int tries = 0; tries < 16; tries++) {
        if (const soc_cm_device_info_t *row = exact(dev_id, rev_id)) return row;
        rev_id = (rev_id & 0xf) == 0 ? static_cast<uint8_t>(rev_id | 0xf)
                                     : static_cast<uint8_t>(rev_id - 1);
    }
    return nullptr;
}

}  // namespace soc_cm_internal

int soc_cm_driver_id_get(uint16_t dev_id, uint8_t rev_id, uint16_t *drv_dev_id,
                         uint8_t *drv_rev_id) {
    const soc_cm_device_info_t *row = soc_cm_internal::supported_row(dev_id, rev_id);
    if (row == nullptr) return SOC_E_NOT_FOUND;
    bool own = row->dev_id_driver == 0;
    if (drv_dev_id) *drv_dev_id = own ? row->dev_id : row->dev_id_driver;
    if (drv_rev_id) *drv_rev_id = own ? row->rev_id : row->rev_id_driver;
    return 0;
}

const char *soc_cm_id_to_name(uint16_t dev_id, uint8_t rev_id) {
    const soc_cm_device_info_t *row = soc_cm_internal::supported_row(dev_id, rev_id);
    return row ? row->dev_name : "UNKNOWN";
}

void soc_cm_device_list_print(void) {
    soc_cm_print("%-8s%-16s%-16s%-16s\n", "Index", "Chip", "Chip Dev/Rev", "Driver Dev/Rev");
    int index = 0;
    for (const soc_cm_device_info_t &row : kSupported) {
        soc_cm_print("%-8d%-16s%04x %02x         %04x %02x\n", index++, row.dev_name, row.dev_id,
                     row.rev_id, row.dev_id_driver, row.rev_id_driver);
    }
}
