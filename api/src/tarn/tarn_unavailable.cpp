// The stacking operations that answer on a single-chip family; every other
// stacking, statistics, multicast, diffserv, filter and port slot this family
// lacks keeps the dispatch table's -16 answer.
#include "dxp_tarn.h"

namespace {

// Module ids and ports of the stacking API run 0..128.
constexpr int kModidLimit = 129;

}  // namespace

int dxp_tarn_stk_my_modid_get(int unit, int *my_modid) {
    if (my_modid == nullptr) return DXP_E_PARAM;
    *my_modid = unit;
    return DXP_E_NONE;
}

int dxp_tarn_stk_modid_get(int unit, int *modid) {
    if (unit >= kModidLimit || modid == nullptr) return DXP_E_PARAM;
    *modid = unit;
    return DXP_E_NONE;
}

int dxp_tarn_stk_modport_get(int unit, int modid, int *port) {
    if (unit >= kModidLimit || modid >= kModidLimit || port == nullptr) return DXP_E_PARAM;
    *port = 0;
    return DXP_E_NONE;
}

int dxp_tarn_diffserv_init(int) {
    return DXP_E_UNAVAIL;
}
