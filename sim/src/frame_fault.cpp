// A data-path fault on demand: tests of the firmware's own frame checks
// need a frame that leaves a port changed.
#include "sim/fabric.h"

namespace sim {

void Fabric::corruptFrame(uint64_t nth) {
    std::lock_guard<std::recursive_mutex> g(chip_.mutex());
    corrupt_in_ = nth;
}

void Fabric::applyFault(std::vector<uint8_t> &frame) {
    if (corrupt_in_ == 0 || --corrupt_in_ != 0 || frame.empty()) return;
    frame[frame.size() / 2] ^= 0xff;
}

}  // namespace sim
