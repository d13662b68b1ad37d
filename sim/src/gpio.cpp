#include "sim/gpio.h"

#include <utility>

namespace sim {

GpioBlock::GpioBlock(SerialSlave &slave, SerialPins pins)
    : slave_(slave), pins_(pins), slave_inputs_(pins.chip_select | pins.clock | pins.data_out) {}

void GpioBlock::changed(uint32_t old_levels) {
    uint32_t now = levels();
    if (now != old_levels) moved(now, now ^ old_levels);
}

uint32_t GpioBlock::movedThenOut(uint32_t edges) {
    moved(levels(), edges);
    return out_;
}

void GpioBlock::updateMode() {
    cpu_drives_serial_ = (out_enable_ & slave_inputs_) == slave_inputs_ && listeners_.empty();
}

void GpioBlock::notify(uint32_t now, uint32_t moved) {
    auto listeners = listeners_;  // a listener may remove itself
    for (auto &[id, listener] : listeners)
        listener(now, moved);
}

uint32_t GpioBlock::outEnable(uint32_t mask, uint32_t value) {
    uint32_t before = levels();
    out_enable_ = (out_enable_ & ~mask) | (value & mask);
    updateMode();
    changed(before);
    return out_enable_;
}

uint32_t GpioBlock::outValue() const {
    return out_;
}

uint32_t GpioBlock::outEnableValue() const {
    return out_enable_;
}

int GpioBlock::addListener(Listener listener) {
    int id = next_listener_++;
    listeners_[id] = std::move(listener);
    updateMode();
    return id;
}

void GpioBlock::removeListener(int id) {
    listeners_.erase(id);
    updateMode();
}

void GpioBlock::drive(uint32_t mask, uint32_t value) {
    driven_value_ = (driven_value_ & ~mask) | (value & mask);
    driven_mask_ |= mask;
}

void GpioBlock::release(uint32_t mask) {
    driven_mask_ &= ~mask;
}

}  // namespace sim
