// Field processor: the per-unit control record, module init and detach, the
// status query and the field control, and the slice helpers.
#include <array>

#include "tarn_field_internal.h"

namespace tarn::field {

Entry *_field_shared_entries[kMaxRows];
int shared_free_rows;

namespace {

constexpr uint32_t kPropTcamSize = 15;
constexpr uint32_t kPropUdfCount = 16;
// Chips of the family that carry a CFP.
constexpr uint32_t kCfpChips = 0xAC000000;
constexpr int kStageControlDefault = 3;
constexpr int kControlStage = 0;

std::array<Control *, kMaxUnits> controls{};

void control_free(Control *fc) {
    sal_free(fc->slices);
    sal_mutex_destroy(fc->lock);
    sal_free(fc);
}

// Fills the record from the chip's geometry; the record is locked.
int control_setup(int unit, Control *fc) {
    const drv_if_t *drv = services(unit);
    if (SOC_CONTROL(unit)->chip_flags & kCfpChips) {
        uint32_t rows = 0;
        if (int rv = drv->dev_prop_get(unit, kPropTcamSize, &rows); rv < 0) return rv;
        const int size = soc_property_get(unit, "dxp_field_entry_sz", static_cast<int>(rows));
        // The row maps hold kMaxRows rows.
        if (size < 1 || size > kMaxRows) return DXP_E_CONFIG;
        fc->tcam_size = fc->tcam_slice_sz = size;
        fc->slice_count = kSlices;
    }
    fc->status.group_total = fc->status.group_free = kSlices;
    if (soc_feature(unit, soc_feature_field_slice_enable)) fc->status.flags |= 0x2;
    fc->stage_control = kStageControlDefault;

    uint32_t udfs = 0;
    if (int rv = drv->dev_prop_get(unit, kPropUdfCount, &udfs); rv < 0) return rv;
    fc->udf_count = udfs > kMaxUdfs ? kMaxUdfs : static_cast<int>(udfs);
    for (int i = 0; i < fc->udf_count; i++)
        fc->udf[i].udf_num = i;

    fc->slices = static_cast<Slice *>(sal_alloc(sizeof(Slice) * kSlices, "slices info"));
    if (fc->slices == nullptr) return DXP_E_MEMORY;
    for (int i = 0; i < kSlices; i++) {
        fc->slices[i].number = static_cast<uint8_t>(i);
        fc->slices[i].cfp_slice = kNoCfpSlice;
    }
    shared_free_rows = fc->tcam_size;
    return drv->cfp_init(unit);
}

}  // namespace

int unit_checks(const char *op, int unit) {
    soc_cm_debug_print(kDebug, "DXP API : %s()..\n", op);
    // The record table has room for kMaxUnits units only.
    if (unit >= kMaxUnits || unit_check(unit) < 0) return DXP_E_UNIT;
    return soc_feature(unit, soc_feature_field) ? DXP_E_NONE : DXP_E_UNAVAIL;
}

int checks(const char *op, int unit, Control **fc) {
    if (int rv = unit_checks(op, unit); rv < 0) return rv;
    *fc = controls[unit];
    return *fc != nullptr ? DXP_E_NONE : DXP_E_INIT;
}

Group *group_find(const Control *fc, int group) {
    for (Group *g = fc->groups; g != nullptr; g = g->next)
        if (g->id == group) return g;
    return nullptr;
}

Entry *entry_find(const Control *fc, int entry) {
    for (const Group *g = fc->groups; g != nullptr; g = g->next) {
        for (int row = 0; row < fc->tcam_slice_sz; row++) {
            Entry *e = g->slice->entries[row];
            if (e != nullptr && e->id == entry) return e;
        }
    }
    return nullptr;
}

int entry_get(const char *op, int unit, int entry, Entry **e, Control **fc) {
    Control *module = nullptr;
    if (int rv = checks(op, unit, &module); rv < 0) return rv;
    if (fc != nullptr) *fc = module;
    *e = entry_find(module, entry);
    return *e != nullptr ? DXP_E_NONE : DXP_E_NOT_FOUND;
}

int slice_clear(const Control *fc, Slice *fs) {
    SAL_ASSERT(fs != nullptr);
    for (int row = 0; row < fc->tcam_slice_sz; row++)
        if (fs->entries[row] != nullptr) return DXP_E_BUSY;
    fs->owner = nullptr;
    fs->qset = dxp_field_qset_t{};
    fs->cfp_slice = kNoCfpSlice;
    fs->enabled = false;
    return DXP_E_NONE;
}

int slice_enable(int unit, Slice *fs) {
    if (fs->enabled || !soc_feature(unit, soc_feature_field_slice_enable)) return DXP_E_NONE;
    const drv_if_t *drv = services(unit);
    for (int port = 0; port < 64; port++) {
        if (!SOC_PORT_VALID(unit, port)) continue;
        uint32_t map = 0;
        if (int rv = drv->cfp_control_get(unit, DRV_CFP_SLICE_SELECT, port, &map); rv < 0)
            return rv;
        map |= 1u << fs->cfp_slice;
        if (int rv = drv->cfp_control_set(unit, DRV_CFP_SLICE_SELECT, port, map); rv < 0) return rv;
    }
    fs->enabled = true;
    return DXP_E_NONE;
}

void actions_release(Entry *e) {
    while (Action *a = e->actions) {
        e->actions = a->next;
        sal_free(a);
    }
}

}  // namespace tarn::field

using namespace tarn;
using namespace tarn::field;

int dxp_tarn_field_init(int unit) {
    if (int rv = unit_checks(__func__, unit); rv < 0) return rv;
    if (controls[unit] != nullptr) dxp_field_detach(unit);

    auto *fc = static_cast<Control *>(sal_alloc(sizeof(Control), "field_control"));
    if (fc == nullptr) return DXP_E_MEMORY;
    fc->lock = sal_mutex_create("field_control.lock");
    if (fc->lock == nullptr) {
        sal_free(fc);
        return DXP_E_MEMORY;
    }
    sal_mutex_take(fc->lock, sal_mutex_FOREVER);
    const int rv = control_setup(unit, fc);
    sal_mutex_give(fc->lock);
    if (rv < 0) {
        control_free(fc);
        return rv;
    }
    controls[unit] = fc;
    return DXP_E_NONE;
}

int dxp_tarn_field_detach(int unit) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    if (int rv = dxp_field_entry_destroy_all(unit); rv < 0) return rv;
    while (fc->groups != nullptr)
        if (int rv = dxp_field_group_destroy(unit, fc->groups->id); rv < 0) return rv;

    const drv_if_t *drv = services(unit);
    for (int port = 0; port < 64; port++)
        if (SOC_PORT_VALID(unit, port)) drv->cfp_control_set(unit, DRV_CFP_ENABLE, port, 0);
    drv->cfp_control_set(unit, DRV_CFP_TCAM_RESET, 0, 0);

    while (fc->ranges != nullptr)
        if (int rv = dxp_field_range_destroy(unit, fc->ranges->id); rv < 0) return rv;

    controls[unit] = nullptr;
    control_free(fc);
    return DXP_E_NONE;
}

int dxp_tarn_field_status_get(int unit, dxp_field_status_t *status) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    if (status == nullptr) return DXP_E_PARAM;
    *status = fc->status;
    return DXP_E_NONE;
}

int dxp_tarn_field_control_get(int unit, int control, int *value) {
    if (value == nullptr) return DXP_E_PARAM;
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    if (control != kControlStage) return DXP_E_UNAVAIL;
    *value = fc->stage_control;
    return DXP_E_NONE;
}

int dxp_tarn_field_control_set(int unit, int control, int value) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    if (control != kControlStage) return DXP_E_UNAVAIL;
    fc->stage_control = value;
    return DXP_E_NONE;
}

// The field processor looks at a port's frames only where its bit is on: a
// self-test turns it off on its ports, so that no rule catches its frames.
int dxp_tarn_port_control_get(int unit, int port, int type, int *value) {
    if (type != dxpPortControlFieldProcessor) return DXP_E_UNAVAIL;
    if (int rv = unit_checks(__func__, unit); rv < 0) return rv;
    if (value == nullptr) return DXP_E_PARAM;
    if (!SOC_PORT_VALID(unit, port) || port == SOC_CONTROL(unit)->cmic_port) return DXP_E_PORT;
    uint32_t on = 0;
    if (int rv = services(unit)->cfp_control_get(unit, DRV_CFP_ENABLE, port, &on); rv < 0)
        return rv;
    *value = on != 0 ? 1 : 0;
    return DXP_E_NONE;
}

int dxp_tarn_port_control_set(int unit, int port, int type, int value) {
    if (type != dxpPortControlFieldProcessor) return DXP_E_UNAVAIL;
    if (int rv = unit_checks(__func__, unit); rv < 0) return rv;
    if (!SOC_PORT_VALID(unit, port) || port == SOC_CONTROL(unit)->cmic_port) return DXP_E_PORT;
    return services(unit)->cfp_control_set(unit, DRV_CFP_ENABLE, port, value != 0 ? 1 : 0);
}
