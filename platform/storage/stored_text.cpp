// Interned store texts; see stored_text.h.
#include "stored_text.h"

#include <mutex>
#include <string>
#include <unordered_set>

namespace storage_text {

const char *keep(std::string_view text) {
    // Never destroyed: detached threads may still read values at exit. The
    // set's nodes do not move when it grows.
    static auto *lock = new std::mutex;
    static auto *texts = new std::unordered_set<std::string>;
    std::lock_guard<std::mutex> g(*lock);
    return texts->emplace(text).first->c_str();
}

}  // namespace storage_text
