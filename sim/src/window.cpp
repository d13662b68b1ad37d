#include "sim/window.h"

#include <string>

namespace sim {

BusWindow::BusWindow(Chip &chip, Anomalies &anomalies) : chip_(chip), anomalies_(anomalies) {}

void BusWindow::enable(bool on) {
    std::lock_guard<std::mutex> g(mutex_);
    enabled_ = on;
}

bool BusWindow::enabled() const {
    std::lock_guard<std::mutex> g(mutex_);
    return enabled_;
}

void BusWindow::injectBusy(int polls) {
    std::lock_guard<std::mutex> g(mutex_);
    busy_polls_ = polls;
}

bool BusWindow::usable(uint32_t offset, int width) {
    if (!enabled_) {
        anomalies_.record(AnomalyKind::WindowProtocol, kBase + offset,
                          "window access before the external bus was configured");
        return false;
    }
    if (offset + width > kLengthCode + 1) {
        anomalies_.record(AnomalyKind::WindowProtocol, kBase + offset,
                          "window access at offset " + std::to_string(offset));
        return false;
    }
    return true;
}

uint8_t BusWindow::read8(uint32_t offset) {
    std::lock_guard<std::mutex> g(mutex_);
    if (!usable(offset, 1)) return 0;
    if (offset == kBusy) {
        if (pending_ == kIdle) return 0;
        if (busy_polls_ != 0) {
            if (busy_polls_ > 0) busy_polls_--;
            return 1;
        }
        execute(pending_);
        return 0;
    }
    return regs_[offset];
}

uint16_t BusWindow::read16(uint32_t offset) {
    uint16_t lo = read8(offset);
    return static_cast<uint16_t>(lo | read8(offset + 1) << 8);
}

void BusWindow::write8(uint32_t offset, uint8_t value) {
    std::lock_guard<std::mutex> g(mutex_);
    if (!usable(offset, 1)) return;
    store(offset, value);
}

void BusWindow::write16(uint32_t offset, uint16_t value) {
    std::lock_guard<std::mutex> g(mutex_);
    if (!usable(offset, 2)) return;
    store(offset, static_cast<uint8_t>(value));
    store(offset + 1, static_cast<uint8_t>(value >> 8));
}

void BusWindow::store(uint32_t offset, uint8_t value) {
    if (offset == kBusy || offset == kLengthCode) {
        anomalies_.record(AnomalyKind::WindowProtocol, kBase + offset,
                          "write to the window's read-only byte " + std::to_string(offset));
        return;
    }
    regs_[offset] = value;
    if (offset != kCommand) return;
    if (value == kIdle) {
        pending_ = kIdle;  // the CPU gave up on a busy command
        return;
    }
    if (value != kRead && value != kWrite) {
        anomalies_.record(AnomalyKind::WindowProtocol, kBase + offset,
                          "unknown window command " + std::to_string(value));
        return;
    }
    pending_ = value;
    if (busy_polls_ == 0) execute(value);
}

void BusWindow::execute(uint8_t command) {
    uint8_t page = regs_[kPage];
    uint8_t offset = regs_[kOffset];
    int width = chip_.widthAt(page, offset);
    if (command == kRead) {
        chip_.fetch(page, offset, regs_ + kData, 8);
        // An undescribed address is checked (and logged) as a one-byte access.
        chip_.complete(BusPath::Window, page, offset, regs_ + kData, width ? width : 1);
        regs_[kLengthCode] = static_cast<uint8_t>(width ? 1u << (width - 1) : 0);
    } else {
        chip_.write(BusPath::Window, page, offset, regs_ + kData, width ? width : 1);
    }
    regs_[kCommand] = kIdle;
    pending_ = kIdle;
}

}  // namespace sim
