// The order of settings images and the changes around them, across entrances.
#include <algorithm>
#include <mutex>
#include <vector>

#include "sal.h"

namespace {

// Looked at again this often while a change waits for its turn.
constexpr uint32_t kWaitStepUsecs = 10000;

struct hold {
    uint32_t turn;
    bool image;
    // A change accepted while an image, or a change behind one, was held:
    // released with the others behind that image, it keeps its place
    // among them.
    bool behind;
};

struct turns_state {
    std::mutex lock;  // guards what follows
    uint32_t next_turn = 1;
    // One entry per hold: an image keeps its upload's turn, so a turn may be
    // held twice. Few are held at once (what waits around an image).
    std::vector<hold> held;

    bool held_before(uint32_t turn, bool images_only) const {
        return std::any_of(held.begin(), held.end(), [&](const hold &h) {
            return (h.image || !images_only) && static_cast<int32_t>(h.turn - turn) < 0;
        });
    }
    bool waits(const hold &h) const { return held_before(h.turn, !h.behind); }
    std::vector<hold>::iterator find(uint32_t turn) {
        return std::find_if(held.begin(), held.end(),
                            [turn](const hold &h) { return h.turn == turn; });
    }
};

// Never destroyed: the web and agent threads may still release their turns
// while the process exits, after static objects are gone.
turns_state &turns() {
    static turns_state *const state = new turns_state;
    return *state;
}

}  // namespace

uint32_t sal_turn_take(int image) {
    // Taken and held in one step: nothing accepted later sees the turn
    // free before it was held.
    turns_state &t = turns();
    std::lock_guard<std::mutex> g(t.lock);
    const uint32_t turn = t.next_turn++;
    const bool behind = std::any_of(t.held.begin(), t.held.end(),
                                    [](const hold &h) { return h.image || h.behind; });
    t.held.push_back({turn, image != 0, behind && image == 0});
    return turn;
}

void sal_turn_keep(uint32_t turn) {
    turns_state &t = turns();
    std::lock_guard<std::mutex> g(t.lock);
    t.held.push_back({turn, true, false});
}

void sal_turn_release(uint32_t turn) {
    turns_state &t = turns();
    std::lock_guard<std::mutex> g(t.lock);
    if (const auto at = t.find(turn); at != t.held.end()) t.held.erase(at);
}

int sal_turn_waits(uint32_t turn) {
    turns_state &t = turns();
    std::lock_guard<std::mutex> g(t.lock);
    const auto own = t.find(turn);
    const bool behind = own != t.held.end() && own->behind;
    return t.held_before(turn, !behind) ? 1 : 0;
}

int sal_turn_change_ready_before(uint32_t turn) {
    turns_state &t = turns();
    std::lock_guard<std::mutex> g(t.lock);
    return std::any_of(t.held.begin(), t.held.end(),
                       [&](const hold &h) {
                           return !h.image && static_cast<int32_t>(h.turn - turn) < 0 &&
                                  !t.waits(h);
                       })
               ? 1
               : 0;
}

int sal_turn_before(uint32_t turn) {
    turns_state &t = turns();
    std::lock_guard<std::mutex> g(t.lock);
    return t.held_before(turn, false) ? 1 : 0;
}

int sal_turn_wait(uint32_t turn, uint32_t usecs) {
    const uint32_t start = sal_time_usecs();
    while (sal_turn_waits(turn) != 0) {
        if (sal_time_usecs() - start >= usecs) return 0;
        sal_usleep(kWaitStepUsecs);
    }
    return 1;
}
