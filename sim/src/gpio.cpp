#include "sim/gpio.h"

#include <utility>

namespace sim {

GpioBlock::GpioBlock(SerialSlave &slave, SerialPins pins) : slave_(slave), pins_(pins) {}

uint32_t GpioBlock::levels() const {
    uint32_t level = out_ & out_enable_;
    uint32_t floating = ~out_enable_;
    level |= driven_value_ & driven_mask_ & floating;
    floating &= ~driven_mask_;
    // Chip select has a pull-up; data-in follows the chip.
    level |= pins_.chip_select & floating;
    if ((pins_.data_in & floating) && slave_.dataIn()) level |= pins_.data_in;
    return level;
}

void GpioBlock::changed(uint32_t old_levels) {
    uint32_t now = levels();
    uint32_t moved = now ^ old_levels;
    if (moved == 0) return;
    if (moved & (pins_.chip_select | pins_.clock | pins_.data_out))
        slave_.pins(now & pins_.chip_select, now & pins_.clock, now & pins_.data_out);
    if (listeners_.empty()) return;
    auto listeners = listeners_;  // a listener may remove itself
    for (auto &[id, listener] : listeners)
        listener(now, moved);
}

uint32_t GpioBlock::out(uint32_t mask, uint32_t value) {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    uint32_t before = levels();
    out_ = (out_ & ~mask) | (value & mask);
    changed(before);
    return out_;
}

uint32_t GpioBlock::outEnable(uint32_t mask, uint32_t value) {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    uint32_t before = levels();
    out_enable_ = (out_enable_ & ~mask) | (value & mask);
    changed(before);
    return out_enable_;
}

uint32_t GpioBlock::outValue() const {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    return out_;
}

uint32_t GpioBlock::outEnableValue() const {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    return out_enable_;
}

uint32_t GpioBlock::in() const {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    return levels();
}

int GpioBlock::addListener(Listener listener) {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    int id = next_listener_++;
    listeners_[id] = std::move(listener);
    return id;
}

void GpioBlock::removeListener(int id) {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    listeners_.erase(id);
}

void GpioBlock::drive(uint32_t mask, uint32_t value) {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    driven_value_ = (driven_value_ & ~mask) | (value & mask);
    driven_mask_ |= mask;
}

void GpioBlock::release(uint32_t mask) {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    driven_mask_ &= ~mask;
}

}  // namespace sim
