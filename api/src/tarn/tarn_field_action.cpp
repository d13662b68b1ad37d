// Field processor: actions. An action is kept on the entry's list and
// programmed into the action word of its CFP image; the row changes only at
// the next install or reinstall.
#include <initializer_list>

#include "tarn_field_internal.h"

namespace tarn::field {
namespace {

constexpr int kPrioActions = 14;  // actions below this one all set a priority
constexpr uint32_t kRedirectPortMax = 52;
constexpr uint32_t kRedirectFlag = 0x40;

bool forwarding(int action) {
    switch (action) {
        case dxpFieldActionCopyToCpu:
        case dxpFieldActionCopyToCpuCancel:
        case dxpFieldActionRedirectPort:
        case dxpFieldActionRedirectPortCancel:
        case dxpFieldActionDrop:
        case dxpFieldActionDropCancel:
            return true;
        default:
            return false;
    }
}

bool layout_a_only(int action) {
    switch (action) {
        case dxpFieldActionCosQNew:
        case dxpFieldActionCosQCpuNew:
        case dxpFieldActionPrioPktNew:
        case dxpFieldActionPrioPktCancel:
        case dxpFieldActionDscpNew:
        case dxpFieldActionDscpCancel:
        case dxpFieldActionRpDscpNew:
        case dxpFieldActionInnerVlanNew:
        case dxpFieldActionOuterVlanNew:
            return true;
        default:
            return false;
    }
}

bool never_supported(int action) {
    return (action >= 2 && action <= 6) || action == 8 || action == 10 || action == 12 ||
           (action >= 14 && action <= 16) || action == 21 || action == 25 || action == 26 ||
           (action >= 30 && action <= 40) || action == 43 || (action >= 48 && action <= 53) ||
           action == 55 || action == 57;
}

// What a CFP action code is set to.
enum class Value { Param0, Param1, Zero, CpuPort };
struct Code {
    uint32_t code;
    Value value;
    bool out_of_profile;  // written only while the entry has no meter
};

// Out-of-profile codes of the CFP services beyond those drv_cfp.h names.
constexpr uint32_t kOutDscp = 25, kOutDscpCancel = 26;

struct Codes {
    Code c[2];
    int n;
};

// The codes an action programs, in order; none for an action with no row.
Codes codes_of(int action) {
    using enum Value;
    switch (action) {
        case dxpFieldActionCosQNew:
            return {{{34, Param0, false}, {32, Param0, false}}, 2};
        case dxpFieldActionCosQCpuNew:
            return {{{36, Param0, false}}, 1};
        case dxpFieldActionPrioPktNew:
            return {{{27, Param0, false}}, 1};
        case dxpFieldActionPrioPktCancel:
            return {{{28, Param0, false}}, 1};
        case dxpFieldActionPrioIntNew:
            return {{{DRV_CFP_ACT_OB_PRI, Param0, true}, {DRV_CFP_ACT_IB_PRI, Param0, false}}, 2};
        case dxpFieldActionPrioIntCancel:
            return {{{DRV_CFP_ACT_OB_PRI_CANCEL, Zero, true},
                     {DRV_CFP_ACT_IB_PRI_CANCEL, Param0, false}},
                    2};
        case dxpFieldActionDscpNew:
            return {{{kOutDscp, Param0, true}, {12, Param0, false}}, 2};
        case dxpFieldActionDscpCancel:
            return {{{kOutDscpCancel, Zero, true}, {13, Param0, false}}, 2};
        case dxpFieldActionCopyToCpu:
            return {{{DRV_CFP_ACT_OB_REDIRECT_ADD, CpuPort, true},
                     {DRV_CFP_ACT_IB_REDIRECT_ADD, CpuPort, false}},
                    2};
        case dxpFieldActionCopyToCpuCancel:
        case dxpFieldActionRedirectPortCancel:
        case dxpFieldActionDropCancel:
            return {{{DRV_CFP_ACT_OB_NONE, Zero, true}, {DRV_CFP_ACT_IB_NONE, Param0, false}}, 2};
        case dxpFieldActionRedirectPort:
            return {
                {{DRV_CFP_ACT_OB_REDIRECT, Param1, true}, {DRV_CFP_ACT_IB_REDIRECT, Param1, false}},
                2};
        case dxpFieldActionDrop:
            return {{{DRV_CFP_ACT_OB_DEST_63, Zero, true}, {DRV_CFP_ACT_IB_DEST_63, Param0, false}},
                    2};
        case dxpFieldActionRpDrop:
            return {{{DRV_CFP_ACT_OB_DEST_63, Param0, false}}, 1};
        case dxpFieldActionRpDropCancel:
        case dxpFieldActionRpCopyToCpuCancel:
            return {{{DRV_CFP_ACT_OB_NONE, Param0, false}}, 1};
        case dxpFieldActionRpCopyToCpu:
            return {{{DRV_CFP_ACT_OB_REDIRECT_ADD, CpuPort, false}}, 1};
        case dxpFieldActionRpDscpNew:
            return {{{kOutDscp, Param0, false}}, 1};
        case dxpFieldActionInnerVlanNew:
            return {{{29, Param0, false}}, 1};
        case dxpFieldActionOuterVlanNew:
            return {{{30, Param0, false}}, 1};
        default:
            return {{}, 0};
    }
}

struct ClearCodes {
    uint32_t c[2];
    int n;
};

// The codes removing an action sets back to 0; none when it cannot be removed.
ClearCodes clear_codes_of(int action) {
    if (forwarding(action)) return {{DRV_CFP_ACT_IB_NONE, DRV_CFP_ACT_OB_NONE}, 2};
    switch (action) {
        case dxpFieldActionCosQNew:
            return {{33, 35}, 2};
        case dxpFieldActionCosQCpuNew:
            return {{37}, 1};
        case dxpFieldActionPrioPktNew:
        case dxpFieldActionPrioPktCancel:
            return {{28}, 1};
        case dxpFieldActionPrioIntNew:
        case dxpFieldActionPrioIntCancel:
            return {{DRV_CFP_ACT_IB_PRI_CANCEL, DRV_CFP_ACT_OB_PRI_CANCEL}, 2};
        case dxpFieldActionDscpNew:
        case dxpFieldActionDscpCancel:
            return {{13, kOutDscpCancel}, 2};
        case dxpFieldActionRpDrop:
        case dxpFieldActionRpDropCancel:
        case dxpFieldActionRpCopyToCpu:
        case dxpFieldActionRpCopyToCpuCancel:
            return {{DRV_CFP_ACT_OB_NONE}, 1};
        default:
            return {{}, 0};
    }
}

int codes_clear(int unit, drv_cfp_entry_t *image, std::initializer_list<uint32_t> codes) {
    const drv_if_t *drv = services(unit);
    for (uint32_t code : codes)
        if (int rv = drv->cfp_action_set(unit, code, image, 0); rv < 0) return rv;
    return DXP_E_NONE;
}

int codes_clear(int unit, drv_cfp_entry_t *image, const ClearCodes &codes) {
    const drv_if_t *drv = services(unit);
    for (int i = 0; i < codes.n; i++)
        if (int rv = drv->cfp_action_set(unit, codes.c[i], image, 0); rv < 0) return rv;
    return DXP_E_NONE;
}

Action *action_find(const Entry *e, int action) {
    for (Action *a = e->actions; a != nullptr; a = a->next)
        if (a->type == action) return a;
    return nullptr;
}

}  // namespace
}  // namespace tarn::field

using namespace tarn;
using namespace tarn::field;

int dxp_tarn_field_action_add(int unit, int entry, int action, uint32_t param0, uint32_t param1) {
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e); rv < 0) return rv;
    for (const Action *a = e->actions; a != nullptr; a = a->next) {
        if ((a->type < kPrioActions && action < kPrioActions) ||
            (forwarding(a->type) && forwarding(action)))
            return DXP_E_CONFIG;
    }
    if ((layout_a_only(action) && key_layout(unit) != KeyLayout::A) || never_supported(action))
        return DXP_E_UNAVAIL;
    if (action == dxpFieldActionRedirectPort && (param1 & ~kRedirectFlag) > kRedirectPortMax)
        return DXP_E_PARAM;
    if (action == dxpFieldActionMeterConfig) {
        if (e->meter == nullptr) return DXP_E_RESOURCE;
        if (param0 > 7 || param0 == 4 || param0 == 5) return DXP_E_PARAM;
        e->meter_mode = static_cast<int>(param0);
        e->dirty = true;
        return DXP_E_NONE;
    }
    const Codes codes = codes_of(action);
    if (codes.n == 0) return DXP_E_UNAVAIL;

    const drv_if_t *drv = services(unit);
    const auto cpu = static_cast<uint32_t>(SOC_CONTROL(unit)->cmic_port);
    drv_cfp_entry_t image = e->image;
    for (int i = 0; i < codes.n; i++) {
        const Code &c = codes.c[i];
        if (c.out_of_profile && e->meter != nullptr) continue;
        const uint32_t value = c.value == Value::Param0    ? param0
                               : c.value == Value::Param1  ? param1
                               : c.value == Value::CpuPort ? cpu
                                                           : 0;
        if (int rv = drv->cfp_action_set(unit, c.code, &image, value); rv < 0) return rv;
    }
    auto *a = static_cast<Action *>(sal_alloc(sizeof(Action), "field_action"));
    if (a == nullptr) return DXP_E_MEMORY;
    *a = Action{.type = action, .param0 = param0, .param1 = param1, .next = e->actions};
    e->actions = a;
    e->image = image;
    e->dirty = true;
    return DXP_E_NONE;
}

int dxp_tarn_field_action_get(int unit, int entry, int action, uint32_t *param0, uint32_t *param1) {
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e); rv < 0) return rv;
    const Action *a = action_find(e, action);
    if (a == nullptr) return DXP_E_NOT_FOUND;
    if (param0 == nullptr || param1 == nullptr) return DXP_E_PARAM;
    *param0 = a->param0;
    *param1 = a->param1;
    return DXP_E_NONE;
}

int dxp_tarn_field_action_remove(int unit, int entry, int action) {
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e); rv < 0) return rv;
    if (action < 0 || action >= dxpFieldActionCount) return DXP_E_PARAM;
    if (action_find(e, action) == nullptr) return DXP_E_NOT_FOUND;
    const ClearCodes codes = clear_codes_of(action);
    if (codes.n == 0) return DXP_E_UNAVAIL;
    drv_cfp_entry_t image = e->image;
    if (int rv = codes_clear(unit, &image, codes); rv < 0) return rv;
    for (Action **link = &e->actions; *link != nullptr; link = &(*link)->next) {
        if ((*link)->type != action) continue;
        Action *gone = *link;
        *link = gone->next;
        sal_free(gone);
        break;
    }
    e->image = image;
    e->dirty = true;
    return DXP_E_NONE;
}

int dxp_tarn_field_action_remove_all(int unit, int entry) {
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e); rv < 0) return rv;
    if (e->actions != nullptr) e->dirty = true;
    actions_release(e);
    // The codes the layout-A action word adds are not served elsewhere.
    if (key_layout(unit) == KeyLayout::A)
        return codes_clear(
            unit, &e->image,
            {DRV_CFP_ACT_IB_PRI_CANCEL, DRV_CFP_ACT_OB_PRI_CANCEL, DRV_CFP_ACT_IB_NONE,
             DRV_CFP_ACT_OB_NONE, 13, kOutDscpCancel, 33, 35, 37});
    return codes_clear(unit, &e->image,
                       {DRV_CFP_ACT_IB_PRI_CANCEL, DRV_CFP_ACT_OB_PRI_CANCEL, DRV_CFP_ACT_IB_NONE,
                        DRV_CFP_ACT_OB_NONE});
}
