// Life-cycle steps whose modules come later: the counter collector keeps only
// an empty state per unit.
#include "soc.h"
#include "soc_error.h"

namespace {
struct CounterState {
    int unit;
};
}  // namespace

int soc_tarn_counter_attach(int unit) {
    soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr) return SOC_E_UNIT;
    if (soc->counter_state != nullptr) return 0;
    auto *state = static_cast<CounterState *>(sal_alloc(sizeof(CounterState), "soc_counter"));
    if (state == nullptr) return SOC_E_MEMORY;
    state->unit = unit;
    soc->counter_state = state;
    return 0;
}

int soc_tarn_counter_detach(int unit) {
    soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr) return SOC_E_UNIT;
    if (soc->counter_state != nullptr) sal_free(soc->counter_state);
    soc->counter_state = nullptr;
    return 0;
}
