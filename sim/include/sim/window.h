// The switch's register window on the processor's external bus (mode 0 of the
// management interface). Byte registers at offsets 0-7 data (low byte first),
// 8-9 page and offset, 10 command (1 read, 2 write, 0 idle), 11 busy, 12 read
// length code: after a read the chip sets it to 1 << (width - 1) for the width
// of the register it read.
#pragma once

#include <cstdint>
#include <mutex>

#include "sim/access_log.h"
#include "sim/anomalies.h"
#include "sim/chip.h"

namespace sim {

class BusWindow {
  public:
    static constexpr uint32_t kBase = 0xBA000000;
    static constexpr uint32_t kSize = 16;

    BusWindow(Chip &chip, Anomalies &anomalies);

    // The processor's external-bus set-up opens the window (mode 1).
    void enable(bool on);
    bool enabled() const;

    uint8_t read8(uint32_t offset);
    uint16_t read16(uint32_t offset);
    void write8(uint32_t offset, uint8_t value);
    void write16(uint32_t offset, uint16_t value);

    // Fault injection: the next command stays busy for this many polls of the
    // busy byte (-1: for ever, until the CPU writes command 0).
    void injectBusy(int polls);

  private:
    enum Reg { kData = 0, kPage = 8, kOffset = 9, kCommand = 10, kBusy = 11, kLengthCode = 12 };
    enum Command { kIdle = 0, kRead = 1, kWrite = 2 };

    bool usable(uint32_t offset, int width);
    void store(uint32_t offset, uint8_t value);
    void execute(uint8_t command);

    Chip &chip_;
    Anomalies &anomalies_;
    mutable std::mutex mutex_;
    bool enabled_ = false;
    uint8_t regs_[kSize] = {};
    int busy_polls_ = 0;
    uint8_t pending_ = kIdle;
};

}  // namespace sim
