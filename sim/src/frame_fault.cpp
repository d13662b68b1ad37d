// A data-path fault on demand: tests of the firmware's own frame checks
// need a frame that leaves a port changed.
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

}  // namespace sim
