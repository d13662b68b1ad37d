// The processor's GPIO block: output, output-enable and input words. The
// switch's serial management pins hang off it; tests can watch the pin levels
// and drive the inputs.
//
// One CPU drives the pins, a bus transaction at a time: callers serialise
// their accesses (the CPU-side bus holds its handle's lock), so an edge takes
// no lock of its own and the pins of the serial interface are fixed masks.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

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
    // Inline: the serial bus writes it for every edge; only driven outputs
    // that change move a pin.
    uint32_t out(uint32_t mask, uint32_t value) {
        uint32_t next = (out_ & ~mask) | (value & mask);
        uint32_t edges = (next ^ out_) & out_enable_;
        out_ = next;
        if (edges == 0) return next;
        if (!cpu_drives_serial_) return movedThenOut(edges);
        // The serial pins' levels are the output bits. The chip samples
        // data-out on the clock's rising edge only.
        if (edges == pins_.data_out) return next;
        if (edges == pins_.clock)
            return slave_.clockEdge(next & edges, next & pins_.data_out, next);
        return slave_.edge(next & pins_.chip_select, next & pins_.clock, next & pins_.data_out,
                           next);
    }
    uint32_t outEnable(uint32_t mask, uint32_t value);
    uint32_t outValue() const;
    uint32_t outEnableValue() const;
    // Pin levels as the input register reads them.
    uint32_t in() const { return levels(); }

    int addListener(Listener listener);
    void removeListener(int id);
    // Levels an outside device puts on pins that the CPU does not drive.
    void drive(uint32_t mask, uint32_t value);
    void release(uint32_t mask);

    const SerialPins &serialPins() const { return pins_; }

  private:
    uint32_t levels() const {
        uint32_t level = out_ & out_enable_;
        uint32_t floating = ~out_enable_;
        level |= driven_value_ & driven_mask_ & floating;
        floating &= ~driven_mask_;
        // Chip select has a pull-up; data-in follows the chip.
        level |= pins_.chip_select & floating;
        if ((pins_.data_in & floating) && slave_.dataIn()) level |= pins_.data_in;
        return level;
    }
    void changed(uint32_t old_levels);
    uint32_t movedThenOut(uint32_t edges);
    void updateMode();
    void moved(uint32_t now, uint32_t edges) {
        if (edges & slave_inputs_)
            slave_.pins(now & pins_.chip_select, now & pins_.clock, now & pins_.data_out);
        if (!listeners_.empty()) notify(now, edges);
    }
    void notify(uint32_t now, uint32_t moved);

    SerialSlave &slave_;
    const SerialPins pins_;
    const uint32_t slave_inputs_;  // chip select, clock and data-out
    uint32_t out_ = 0;
    uint32_t out_enable_ = 0;
    uint32_t driven_mask_ = 0;
    uint32_t driven_value_ = 0;
    std::map<int, Listener> listeners_;
    // The CPU drives every serial input of the chip and nobody listens: an
    // edge goes straight to the slave.
    bool cpu_drives_serial_ = false;
    int next_listener_ = 1;
};

}  // namespace sim
