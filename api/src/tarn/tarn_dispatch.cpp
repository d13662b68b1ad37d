// The "tarn" family's dispatch table.
#include <atomic>

#include "dxp.h"
#include "dxp_tarn.h"
#include "tarn_slots.h"
#include "unavailable.h"

namespace {

std::atomic<const dxp_tarn_pkt_ops_t *> pkt_ops{nullptr};

// A packet slot: the registered service's operation, else absent.
template <typename Fn>
struct pkt_forward;
template <typename... Args>
struct pkt_forward<int (*)(Args...)> {
    template <int (*dxp_tarn_pkt_ops_t::*Op)(Args...), int Absent>
    static int call(Args... args) {
        const dxp_tarn_pkt_ops_t *ops = pkt_ops.load(std::memory_order_acquire);
        if (ops == nullptr || ops->*Op == nullptr) return Absent;
        return (ops->*Op)(args...);
    }
};

// Fills the unit's chip identity; zero while the unit has no chip record yet
// (the API may be attached before the chip is).
int tarn_attach(int unit, dxp_info_t *info) {
    *info = dxp_info_t{};
    int rv = dxp_tarn_dispatch.info_get(unit, info);
    return rv == DXP_E_UNAVAIL || rv == DXP_E_UNIT ? DXP_E_NONE : rv;
}

// Modules that keep per-unit records start over at the next attach.
int tarn_detach(int unit) {
    dxp_tarn_igmp_forget(unit);
    dxp_tarn_mirror_forget(unit);
    return DXP_E_NONE;
}

constexpr dxp_dispatch_t build_table() {
    dxp_dispatch_t table{};
    table.family = "tarn";
    table.attach = tarn_attach;
    table.detach = tarn_detach;
#define DXP_API(slot, name, ret, params, args) \
    table.name = &unavailable<decltype(table.name)>::call;
#include "dxp_api_list.h"
#define DXP_TARN_FILL(name) table.name = dxp_tarn_##name;
    DXP_TARN_IMPLEMENTED(DXP_TARN_FILL)
#undef DXP_TARN_FILL
#define DXP_TARN_PKT_FILL(name) \
    table.name = &pkt_forward<decltype(table.name)>::call<&dxp_tarn_pkt_ops_t::name, DXP_E_UNAVAIL>;
    DXP_TARN_PKT_OPS(DXP_TARN_PKT_FILL)
#undef DXP_TARN_PKT_FILL
    table.tx_init = &pkt_forward<decltype(table.tx_init)>::call<&dxp_tarn_pkt_ops_t::tx_init, 0>;
    return table;
}

}  // namespace

constinit const dxp_dispatch_t dxp_tarn_dispatch = build_table();

void dxp_tarn_pkt_ops_register(const dxp_tarn_pkt_ops_t *ops) {
    pkt_ops.store(ops, std::memory_order_release);
}
