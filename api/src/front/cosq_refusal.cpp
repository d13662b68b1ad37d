// The reason a weighted queue scheduling is refused, named for the monitor
// and the pages alike.
#include <array>
#include <cstdio>

#include "dxp.h"

namespace {

constexpr int kModeWrr = 3;

}  // namespace

const char *dxp_cosq_weights_refusal(int unit, const int *weights) {
    int max = 0, mode = 0, delay = 0;
    if (weights == nullptr || dxp_cosq_sched_weight_max_get(unit, kModeWrr, &max) < 0)
        return nullptr;
    // The read fills one weight per queue the chip has; the rest stay -1.
    std::array<int, 16> now{};
    now.fill(-1);
    if (dxp_cosq_sched_get(unit, &mode, now.data(), &delay) < 0) return nullptr;
    for (size_t q = 0; q < now.size() && now[q] >= 0; q++) {
        if (weights[q] >= 1 && weights[q] <= max) continue;
        static thread_local char text[96];
        std::snprintf(text, sizeof text,
                      "Queue %zu weight %d cannot run on this switch: its weights run 1 to %d", q,
                      weights[q], max);
        return text;
    }
    return nullptr;
}
