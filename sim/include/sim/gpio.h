// The processor's GPIO block: output, output-enable and input words. The
// switch's serial management pins hang off it; tests can watch the pin levels
// and drive the inputs.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

#include "sim/serial_slave.h"

namespace sim {

// Pin masks of the serial management interface (GPIO pins 2 to 5).
struct SerialPins {
    uint32_t chip_select = 0x04;
    uint32_t clock = 0x08;
    uint32_t data_out = 0x10;  // CPU to chip
    uint32_t data_in = 0x20;   // chip to CPU
};

class GpioBlock {
  public:
    // levels: every pin's level after the change; changed: the pins that moved.
    using Listener = std::function<void(uint32_t levels, uint32_t changed)>;

    GpioBlock(SerialSlave &slave, SerialPins pins);

    // Read-modify-write of the masked bits; return the new register value.
    uint32_t out(uint32_t mask, uint32_t value);
    uint32_t outEnable(uint32_t mask, uint32_t value);
    uint32_t outValue() const;
    uint32_t outEnableValue() const;
    // Pin levels as the input register reads them.
    uint32_t in() const;

    int addListener(Listener listener);
    void removeListener(int id);
    // Levels an outside device puts on pins that the CPU does not drive.
    void drive(uint32_t mask, uint32_t value);
    void release(uint32_t mask);

    const SerialPins &serialPins() const { return pins_; }

  private:
    uint32_t levels() const;
    void changed(uint32_t old_levels);

    SerialSlave &slave_;
    const SerialPins pins_;
    mutable std::recursive_mutex mutex_;
    uint32_t out_ = 0;
    uint32_t out_enable_ = 0;
    uint32_t driven_mask_ = 0;
    uint32_t driven_value_ = 0;
    std::map<int, Listener> listeners_;
    int next_listener_ = 1;
};

}  // namespace sim
