// Custom per-port handlers: one handler per unit that an application plugs
// into the API; operation 1 sets, 2 reads.
#include <array>
#include <atomic>

#include "dxp_tarn.h"

namespace {

constexpr int kCustomUnits = 129;  // one more than the API's units
constexpr int kOpSet = 1;
constexpr int kOpGet = 2;

std::array<std::atomic<dxp_custom_handler_t>, kCustomUnits> custom_handler_table{};

bool unit_ok(int unit) {
    return unit >= 0 && unit < kCustomUnits;
}

}  // namespace

int dxp_tarn_custom_register(int unit, dxp_custom_handler_t handler, void *) {
    if (!unit_ok(unit)) return DXP_E_UNIT;
    custom_handler_table[unit].store(handler);
    return DXP_E_NONE;
}

int dxp_tarn_custom_unregister(int unit, dxp_custom_handler_t, void *user_data) {
    return dxp_custom_register(unit, nullptr, user_data);
}

int dxp_tarn_custom_port_set(int unit, int port, int type, int value) {
    if (!unit_ok(unit)) return DXP_E_UNIT;
    dxp_custom_handler_t handler = custom_handler_table[unit].load();
    if (handler == nullptr) return DXP_E_UNAVAIL;
    return handler(unit, port, kOpSet, type, &value);
}

int dxp_tarn_custom_port_get(int unit, int port, int type, int *value) {
    if (!unit_ok(unit)) return DXP_E_UNIT;
    dxp_custom_handler_t handler = custom_handler_table[unit].load();
    if (handler == nullptr) return DXP_E_UNAVAIL;
    return handler(unit, port, kOpGet, type, value);
}
