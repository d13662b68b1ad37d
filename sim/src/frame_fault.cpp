// Data-path faults on demand: tests of the firmware's own frame checks need
// a frame that leaves a port changed, or one its packet buffer had no room
// for.
#include "sim/fabric.h"

namespace sim {

void Fabric::corruptFrame(uint64_t nth, size_t offset) {
    std::lock_guard<ChipMutex> g(chip_.mutex());
    corrupt_in_ = nth;
    corrupt_at_ = offset;
}

void Fabric::applyFault(std::vector<uint8_t> &frame) {
    if (corrupt_in_ == 0 || --corrupt_in_ != 0 || frame.empty()) return;
    frame[corrupt_at_ < frame.size() ? corrupt_at_ : frame.size() / 2] ^= 0xff;
}

void Fabric::dropFrame(uint64_t nth) {
    std::lock_guard<ChipMutex> g(chip_.mutex());
    drop_in_ = nth;
}

bool Fabric::dropFault(bool from_cpu) {
    return !from_cpu && drop_in_ != 0 && --drop_in_ == 0;
}

}  // namespace sim
