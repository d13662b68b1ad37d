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

std::mutex turns_lock;  // guards what follows
uint32_t next_turn = 1;
// One entry per hold: an image keeps its upload's turn, so a turn may be
// held twice. Few are held at once (what waits around an image).
std::vector<hold> held;

bool earlier(uint32_t turn, uint32_t than) {
    return static_cast<int32_t>(turn - than) < 0;
}

bool held_before(uint32_t turn, bool images_only) {
    return std::any_of(held.begin(), held.end(), [&](const hold &h) {
        return (h.image || !images_only) && earlier(h.turn, turn);
    });
}

}  // namespace

uint32_t sal_turn_take(int image) {
    // Taken and held in one step: nothing accepted later sees the turn
    // free before it was held.
    std::lock_guard<std::mutex> g(turns_lock);
    const uint32_t turn = next_turn++;
    const bool behind =
        std::any_of(held.begin(), held.end(), [](const hold &h) { return h.image || h.behind; });
    held.push_back({turn, image != 0, behind && image == 0});
    return turn;
}

void sal_turn_keep(uint32_t turn) {
    std::lock_guard<std::mutex> g(turns_lock);
    held.push_back({turn, true, false});
}

void sal_turn_release(uint32_t turn) {
    std::lock_guard<std::mutex> g(turns_lock);
    const auto at =
        std::find_if(held.begin(), held.end(), [turn](const hold &h) { return h.turn == turn; });
    if (at != held.end()) held.erase(at);
}

int sal_turn_waits(uint32_t turn) {
    std::lock_guard<std::mutex> g(turns_lock);
    const auto own =
        std::find_if(held.begin(), held.end(), [turn](const hold &h) { return h.turn == turn; });
    const bool behind = own != held.end() && own->behind;
    return held_before(turn, !behind) ? 1 : 0;
}

int sal_turn_before(uint32_t turn) {
    std::lock_guard<std::mutex> g(turns_lock);
    return held_before(turn, false) ? 1 : 0;
}

int sal_turn_wait(uint32_t turn, uint32_t usecs) {
    const uint32_t start = sal_time_usecs();
    while (sal_turn_waits(turn) != 0) {
        if (sal_time_usecs() - start >= usecs) return 0;
        sal_usleep(kWaitStepUsecs);
    }
    return 1;
}
