// The per-port PHY-driver lock of the drivers that keep private state per
// port (the copper/fibre and dual-media drivers): link scan, the counter
// thread, the web pages and the monitor all reach that state through the
// driver slots, and each slot runs whole under the port's lock.
//
// Lock order: taken under the unit's API lock and field_control.lock, above
// the drivers' memory locks and the bus (MIIM) locks. Nothing waits on
// another thread while holding it: the medium-change callback, which may
// call back into the port layer, runs once the outermost slot has given the
// lock back.
#pragma once

#include "sal.h"

namespace phy {

// The port's lock (recursive); null for a unit or port out of range.
sal_mutex_t port_lock(int unit, int port);

// Tells the medium-change callback of the port once the slot running on this
// thread has given the port's lock back.
void medium_change_later(int unit, int port, int medium);

// Per thread: slot calls under way, and a medium change to tell after them.
struct SlotCalls {
    int depth;
    bool due;
    int unit, port, medium;
};
SlotCalls &slot_calls();
void slot_calls_done();

// A driver slot run under the port's lock.
template <auto Fn>
struct Locked;
template <typename... Args, int (*Fn)(int, int, Args...)>
struct Locked<Fn> {
    static int call(int unit, int port, Args... args) {
        sal_mutex_t m = port_lock(unit, port);
        if (m == nullptr) return Fn(unit, port, args...);
        SlotCalls &calls = slot_calls();
        sal_mutex_take(m, sal_mutex_FOREVER);
        calls.depth++;
        const int rv = Fn(unit, port, args...);
        calls.depth--;
        sal_mutex_give(m);
        if (calls.depth == 0 && calls.due) slot_calls_done();
        return rv;
    }
};

}  // namespace phy
