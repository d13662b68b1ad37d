// The shared rows' count: one atomic word, so a take checks and counts at once.
#include "fp_share.h"

#include <atomic>

namespace {

std::atomic<int> held{0};

}  // namespace

bool fp_rows_shared_take(int n) {
    int now = held.load();
    do {
        if (now + n > FP_ROWS_SHARED) return false;
    } while (!held.compare_exchange_weak(now, now + n));
    return true;
}

void fp_rows_shared_give(int n) {
    int now = held.load();
    // Never below zero, whatever a re-initialised feature gives back.
    while (!held.compare_exchange_weak(now, now - n < 0 ? 0 : now - n)) {
    }
}

int fp_rows_shared_held(void) {
    return held.load();
}
