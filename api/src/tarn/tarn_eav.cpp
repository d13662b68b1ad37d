// Ethernet AV: the queue thresholds that time-sensitive traffic needs, then
// the EAV controls of the chip's driver services.
#include "dxp_tarn_eav.h"
#include "port_reserve.h"

#include "tarn_internal.h"

namespace {

using tarn::services;

struct RegValue {
    uint16_t addr;  // page << 8 | offset
    uint16_t value;
};

// clang-format off
constexpr RegValue kEavRegs[DXP_EAV_REG_WRITES] = {
    {0x0a10, 0x6e},  {0x0a12, 0x6f},  {0x0a14, 0x6f},  {0x0a16, 0x70},  {0x0ab0, 0x70},
    {0x0ab2, 0x70},  {0x0a18, 0xe8},  {0x0a1a, 0xe9},  {0x0a1c, 0xea},  {0x0a1e, 0xeb},
    {0x0ab4, 0x1ff}, {0x0ab6, 0x1ff}, {0x0a20, 0x1f4}, {0x0a22, 0x1f4}, {0x0a24, 0x1f4},
    {0x0a26, 0x1f4}, {0x0ab8, 0x1ff}, {0x0aba, 0x1ff}, {0x0a40, 0x1},   {0x0a42, 0x1},
    {0x0a44, 0x1},   {0x0a46, 0x1},   {0x0a48, 0x12},  {0x0a4a, 0x18},  {0x0d10, 0x7a},
    {0x0d12, 0x7b},  {0x0d14, 0x7b},  {0x0d16, 0x7c},  {0x0d18, 0xf4},  {0x0d1a, 0xf5},
    {0x0d1c, 0xf6},  {0x0d1e, 0xf7},  {0x0d20, 0x1ff}, {0x0d22, 0x1ff}, {0x0d24, 0x1ff},
    {0x0d26, 0x1ff}, {0x0a28, 0x6c},  {0x0a2a, 0x6d},  {0x0a2c, 0x6e},  {0x0a2e, 0x6f},
    {0x0abc, 0x6f},  {0x0abe, 0x6f},  {0x0a30, 0xf6},  {0x0a32, 0xf8},  {0x0a34, 0xfa},
    {0x0a36, 0xfc},  {0x0ac0, 0x1ff}, {0x0ac2, 0x1ff}, {0x0a38, 0x17a}, {0x0a3a, 0x17c},
    {0x0a3c, 0x17e}, {0x0a3e, 0x180}, {0x0ac4, 0x1ff}, {0x0ac6, 0x1ff}, {0x0d28, 0x8a},
    {0x0d2a, 0x8b},  {0x0d2c, 0x8c},  {0x0d2e, 0x8d},  {0x0d30, 0x114}, {0x0d32, 0x116},
    {0x0d34, 0x118}, {0x0d36, 0x11a}, {0x0d38, 0x198}, {0x0d3a, 0x19a}, {0x0d3c, 0x19c},
    {0x0d3e, 0x19e},
};
// clang-format on

// The global control code of EAV control type 0.
constexpr uint32_t kEavGlobalControl = 2;
constexpr int kEavControlTypes = 7;
constexpr int kPorts = 53;

int unit_check(int unit) {
    return SOC_UNIT_VALID(unit) && soc_unit_attached(unit) ? DXP_E_NONE : DXP_E_UNIT;
}

int port_check(int unit, int port) {
    if (int rv = unit_check(unit); rv < 0) return rv;
    return port >= 0 && port < kPorts && SOC_PORT_VALID(unit, port) ? DXP_E_NONE : DXP_E_PORT;
}

int failed(int rv, const char *op) {
    if (rv < 0) soc_cm_debug_print(tarn::kDebugErr, "EAV Error: failure in %s()\n", op);
    return rv;
}

}  // namespace

int dxp_tarn_eav_reg_init(int unit) {
    if (int rv = unit_check(unit); rv < 0) return rv;
    // Thresholds that the chip may not implement on every model: the results
    // do not decide whether EAV is usable.
    for (const RegValue &r : kEavRegs) {
        const uint32_t value = r.value;
        (void)services(unit)->reg_write(unit, r.addr, &value, 2);
    }
    return DXP_E_NONE;
}

int dxp_tarn_eav_init(int unit) {
    if (int rv = dxp_tarn_eav_reg_init(unit); rv < 0) return rv;
    return failed(services(unit)->eav_control_set(unit, 1, 1), "dxp_tarn_eav_init");
}

int dxp_tarn_eav_port_enable_get(int unit, int port, int *enable) {
    if (int rv = port_check(unit, port); rv < 0) return rv;
    if (enable == nullptr) return DXP_E_PARAM;
    uint32_t value = 0;
    if (int rv = services(unit)->eav_enable_get(unit, port, &value); rv < 0)
        return failed(rv, "dxp_tarn_eav_port_enable_get");
    *enable = value != 0 ? 1 : 0;
    return DXP_E_NONE;
}

int dxp_tarn_eav_port_enable_set(int unit, int port, int enable) {
    if (int rv = port_check(unit, port); rv < 0) return rv;
    // Called directly, not through a stub: the self-test hold is checked here.
    DxpUnitLock api(unit);
    if (port_reserve_refuses(unit, port)) {
        port_reserve_note_refusal(unit, port);
        return DXP_E_BUSY;
    }
    return failed(services(unit)->eav_enable_set(unit, port, enable > 0 ? 1 : 0),
                  "dxp_tarn_eav_port_enable_set");
}

int dxp_eav_control_get(int unit, int type, uint32_t *p0, uint32_t *p1) {
    if (int rv = unit_check(unit); rv < 0) return rv;
    if (type < 0 || type >= kEavControlTypes || p0 == nullptr || p1 == nullptr) return DXP_E_PARAM;
    const int rv = type == 0 ? services(unit)->eav_control_get(unit, kEavGlobalControl, p0)
                             : services(unit)->eav_queue_control_get(
                                   unit, static_cast<uint32_t>(type), p0, p1);
    return failed(rv, "dxp_eav_control_get");
}

int dxp_eav_control_set(int unit, int type, uint32_t p0, uint32_t p1) {
    if (int rv = unit_check(unit); rv < 0) return rv;
    if (type < 0 || type >= kEavControlTypes) return DXP_E_PARAM;
    const int rv = type == 0 ? services(unit)->eav_control_set(unit, kEavGlobalControl, p0)
                             : services(unit)->eav_queue_control_set(
                                   unit, static_cast<uint32_t>(type), p0, p1);
    return failed(rv, "dxp_eav_control_set");
}

int dxp_eav_timestamp_get(int unit, int port, uint32_t *timestamp) {
    if (int rv = port_check(unit, port); rv < 0) return rv;
    if (timestamp == nullptr) return DXP_E_PARAM;
    return failed(services(unit)->eav_timestamp_get(unit, port, timestamp),
                  "dxp_eav_timestamp_get");
}

// No chip of the family has the time-synchronisation filter services yet.
int dxp_tarn_eav_time_sync_mac_set(int unit, const dxp_mac_t mac, uint16_t) {
    if (int rv = unit_check(unit); rv < 0) return rv;
    if (mac == nullptr) return DXP_E_PARAM;
    return failed(services(unit)->unavail143(unit), "dxp_tarn_eav_time_sync_mac_set");
}

int dxp_tarn_eav_time_sync_mac_get(int unit, dxp_mac_t mac, uint16_t *ethertype) {
    if (int rv = unit_check(unit); rv < 0) return rv;
    if (mac == nullptr || ethertype == nullptr) return DXP_E_PARAM;
    return failed(services(unit)->unavail142(unit), "dxp_tarn_eav_time_sync_mac_get");
}
