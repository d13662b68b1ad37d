// The service tables: the two DXP7102 tables are identical slot for slot, and
// so are the DXP7101 and DXP7106 tables.
#include "drv_arl.h"
#include "drv_cfp.h"
#include "drv_counter.h"
#include "drv_if.h"
#include "drv_l2ctl.h"
#include "drv_mcast.h"
#include "drv_mem.h"
#include "drv_miim.h"
#include "drv_mirror.h"
#include "drv_port.h"
#include "drv_queue.h"
#include "drv_rate.h"
#include "drv_reg.h"
#include "drv_security.h"
#include "drv_trap.h"
#include "drv_trunk.h"
#include "drv_vlan.h"
#include "drv_wide.h"
#include "service_tables.h"
#include "services_list.h"
#include "unavailable.h"

namespace {

enum class Family { Dxp7102, Dxp7101 };

constexpr drv_if_t make_services(Family family) {
    drv_if_t t{};
#define DRV_SLOT(slot, member, ret, params) t.member = &unavailable<decltype(t.member)>::call;
#include "drv_slots.h"
    // Empty in every table; never called.
    t.reserved8 = nullptr;
    t.reserved9 = nullptr;
#define DRV_FILL(member, function) t.member = function;
    DRV_GENERIC_SERVICES(DRV_FILL)
    if (family == Family::Dxp7101) {
#define DRV_UNFILL(member) t.member = &unavailable<decltype(t.member)>::call;
        DRV_DXP7101_OVERRIDDEN(DRV_UNFILL)
#undef DRV_UNFILL
        DRV_DXP7101_SERVICES(DRV_FILL)
        DRV_CFP_SERVICES(DRV_FILL)
    }
#undef DRV_FILL
    return t;
}

}  // namespace

constinit const drv_if_t drv_dxp7102_services = make_services(Family::Dxp7102);
constinit const drv_if_t drv_dxp7101_services = make_services(Family::Dxp7101);
