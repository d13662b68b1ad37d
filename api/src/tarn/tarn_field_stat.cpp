// Field processor: an entry's counter (its row's two statistics) and meter
// (a rate and burst in its row's meter word), and the port ranges of the
// RangeCheck qualifier.
#include <cstdint>

#include "sal_lock.h"
#include "tarn_field_internal.h"

namespace tarn::field {
namespace {

constexpr int kCounterLast = 1;  // counters 0 and 1: the row's two statistics
constexpr int kMeterCommitted = 1;
constexpr uint32_t kMeterPeakBit = 0x2;
constexpr uint32_t kRateLimit = 0x1FFFFFF;
constexpr uint32_t kBurstLimit = 0x4000;
// What the meter word can hold; a rate of 0 turns the meter off.
constexpr uint32_t kRateMin = 64, kRateMax = 1048576;
constexpr uint32_t kBurstMin = 64, kBurstMax = 131072;
constexpr uint32_t kRangeFlagUnsupported = 0x2;
constexpr int kRangeMin = 0, kRangeMax = 1023;

bool rate_ok(uint32_t rate, uint32_t burst) {
    if (rate == 0) return burst == 0 || (burst >= kBurstMin && burst <= kBurstMax);
    return rate >= kRateMin && rate <= kRateMax && burst >= kBurstMin && burst <= kBurstMax;
}

int range_id_next(int id) {
    const int next = static_cast<int>(static_cast<uint32_t>(id) + 1);
    return next == 0 ? 1 : next;
}

Range **range_link(Control *fc, int id) {
    for (Range **link = &fc->ranges; *link != nullptr; link = &(*link)->next)
        if ((*link)->id == id) return link;
    return nullptr;
}

}  // namespace
}  // namespace tarn::field

using namespace tarn;
using namespace tarn::field;

int dxp_tarn_field_counter_create(int unit, int entry) {
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e); rv < 0) return rv;
    if (e->counter != nullptr) return DXP_E_EXISTS;
    auto *c = static_cast<Counter *>(sal_alloc(sizeof(Counter), "field_counter"));
    if (c == nullptr) return DXP_E_MEMORY;
    c->row = e->slice_idx;
    e->counter = c;
    e->counter_pair = 1;
    e->dirty = true;
    for (int k = 0; k <= kCounterLast; k++)
        if (dxp_field_counter_set(unit, entry, k, 0) < 0) return DXP_E_INTERNAL;
    return DXP_E_NONE;
}

int dxp_tarn_field_counter_destroy(int unit, int entry) {
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e); rv < 0) return rv;
    if (e->counter == nullptr) return DXP_E_EMPTY;
    sal_free(e->counter);
    e->counter = nullptr;
    e->dirty = true;
    return DXP_E_NONE;
}

int dxp_tarn_field_counter_get(int unit, int entry, int counter_num, uint64_t *value) {
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e); rv < 0) return rv;
    if (counter_num < 0 || counter_num > kCounterLast || value == nullptr) return DXP_E_PARAM;
    uint32_t v = 0;
    if (int rv = dxp_field_counter_get32(unit, entry, counter_num, &v); rv < 0) return rv;
    *value = v;
    return DXP_E_NONE;
}

int dxp_tarn_field_counter_get32(int unit, int entry, int counter_num, uint32_t *value) {
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e); rv < 0) return rv;
    if (counter_num < 0 || counter_num > kCounterLast || value == nullptr) return DXP_E_PARAM;
    if (e->counter == nullptr) return DXP_E_EMPTY;
    return services(unit)->cfp_stat_get(unit, static_cast<uint32_t>(counter_num),
                                        static_cast<uint32_t>(e->counter->row), value);
}

int dxp_tarn_field_counter_set32(int unit, int entry, int counter_num, uint32_t value) {
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e); rv < 0) return rv;
    if (e->counter == nullptr) return DXP_E_EMPTY;
    if (counter_num < 0 || counter_num > kCounterLast) return DXP_E_PARAM;
    return services(unit)->cfp_stat_set(unit, static_cast<uint32_t>(counter_num),
                                        static_cast<uint32_t>(e->counter->row), value);
}

int dxp_tarn_field_counter_set(int unit, int entry, int counter_num, uint64_t value) {
    // The row's statistics are 32 bits wide: a wider value is refused, not
    // cut to another.
    if (value > UINT32_MAX) return DXP_E_PARAM;
    return dxp_tarn_field_counter_set32(unit, entry, counter_num, static_cast<uint32_t>(value));
}

int dxp_tarn_field_meter_create(int unit, int entry) {
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e); rv < 0) return rv;
    if (e->meter != nullptr) return DXP_E_EXISTS;
    auto *m = static_cast<Meter *>(sal_alloc(sizeof(Meter), "field_meter"));
    if (m == nullptr) return DXP_E_MEMORY;
    e->meter = m;
    e->meter_mode = 1;
    e->meter_installed = false;
    return DXP_E_NONE;
}

int dxp_tarn_field_meter_destroy(int unit, int entry) {
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e); rv < 0) return rv;
    if (e->meter == nullptr) return DXP_E_EMPTY;
    sal_free(e->meter);
    e->meter = nullptr;
    e->dirty = true;
    return DXP_E_NONE;
}

int dxp_tarn_field_meter_get(int unit, int entry, int index, uint32_t *kbits_sec,
                             uint32_t *kbits_burst) {
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e); rv < 0) return rv;
    if (e->meter == nullptr) return DXP_E_EMPTY;
    if (kbits_sec == nullptr || kbits_burst == nullptr) return DXP_E_PARAM;
    if (index == kMeterCommitted) {
        *kbits_sec = e->meter->committed_rate;
        *kbits_burst = e->meter->committed_burst;
    } else if (index == kMeterCommitted + 1) {
        *kbits_sec = e->meter->peak_rate;
        *kbits_burst = e->meter->peak_burst;
    } else {
        return DXP_E_PARAM;
    }
    return DXP_E_NONE;
}

int dxp_tarn_field_meter_set(int unit, int entry, int index, uint32_t kbits_sec,
                             uint32_t kbits_burst) {
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e); rv < 0) return rv;
    if (e->meter == nullptr) return DXP_E_EMPTY;
    kbits_sec = kbits_sec > kRateLimit ? kRateLimit : kbits_sec;
    kbits_burst = kbits_burst > kBurstLimit ? kBurstLimit : kbits_burst;
    // Only the peak pair reaches the chip.
    if ((static_cast<uint32_t>(index) & kMeterPeakBit) == 0) return DXP_E_PARAM;
    // A pair the meter word cannot hold is refused before anything changes.
    if (!rate_ok(kbits_sec, kbits_burst)) return DXP_E_PARAM;
    drv_cfp_entry_t image = e->image;
    if (int rv = services(unit)->cfp_meter_set(unit, &image, kbits_sec, kbits_burst); rv < 0)
        return rv;
    e->image = image;
    e->meter->peak_rate = kbits_sec;
    e->meter->peak_burst = kbits_burst;
    e->meter_installed = false;
    return DXP_E_NONE;
}

int dxp_tarn_field_range_create_id(int unit, int range, uint32_t flags, int min, int max) {
    if (flags & kRangeFlagUnsupported) return DXP_E_PARAM;
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    SalLock guard(fc->lock);
    // The chip checks one fixed range: source ports below 1024.
    if (min != kRangeMin || max != kRangeMax) return DXP_E_UNAVAIL;
    if (range_link(fc, range) != nullptr) return DXP_E_EXISTS;
    auto *r = static_cast<Range *>(sal_alloc(sizeof(Range), "fp_range"));
    if (r == nullptr) return DXP_E_MEMORY;
    *r = Range{.flags = flags, .id = range, .min = min, .max = max, .next = fc->ranges};
    fc->ranges = r;
    return DXP_E_NONE;
}

int dxp_tarn_field_range_create(int unit, int *range, uint32_t flags, int min, int max) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    if (range == nullptr) return DXP_E_PARAM;
    SalLock guard(fc->lock);
    int rv;
    while ((rv = dxp_field_range_create_id(unit, fc->next_range_id, flags, min, max)) ==
           DXP_E_EXISTS)
        fc->next_range_id = range_id_next(fc->next_range_id);
    if (rv == DXP_E_NONE) {
        *range = fc->next_range_id;
        fc->next_range_id = range_id_next(fc->next_range_id);
    }
    return rv;
}

int dxp_tarn_field_range_destroy(int unit, int range) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    SalLock guard(fc->lock);
    Range **link = range_link(fc, range);
    if (link == nullptr) return DXP_E_NOT_FOUND;
    Range *gone = *link;
    *link = gone->next;
    sal_free(gone);
    return DXP_E_NONE;
}

int dxp_tarn_field_range_get(int unit, int range, uint32_t *flags, int *min, int *max) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    SalLock guard(fc->lock);
    Range **link = range_link(fc, range);
    if (link == nullptr) return DXP_E_NOT_FOUND;
    if (flags != nullptr) *flags = (*link)->flags;
    if (min != nullptr) *min = (*link)->min;
    if (max != nullptr) *max = (*link)->max;
    return DXP_E_NONE;
}
