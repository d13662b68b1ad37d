// The chip's four-wire serial management interface, at pin level. The CPU
// drives chip select, clock and data-out; the chip samples data-out on the
// clock's rising edge and presents its next data-in bit on the falling edge,
// most significant bit first. Frames (chip select low for each):
//   status poll   0x60|id<<1, 0xFE, <status byte out>      (0x04 = busy)
//   page read     0x60|id<<1, 0xFF, <page byte out>
//   page select   0x61|id<<1, 0xFF, page
//   write         0x61|id<<1, offset, data bytes            (committed when chip select rises)
//   read          0x10|id<<1, offset, <not-ready bytes, 0x03, register bytes out>
// Frames for another chip id get no answer.
//
// States of a frame (Frame below), driven by chip select and the bytes in:
//   Deselected -> None          chip select falls: a new frame, nothing yet
//   None -> InterfaceRead       first byte 0x60|id<<1 (status or page read)
//   None -> Write               first byte 0x61|id<<1
//   None -> Read                first byte 0x10|id<<1; the second byte (offset)
//                               fetches the register and queues not-ready
//                               bytes, the ready byte and the register bytes
//   None -> Ignore              another chip id, or an unknown command
//                               (recorded); later bytes are dropped
//   InterfaceRead -> Ignore     an interface register other than 0xfe/0xff
//   any -> Deselected           chip select rises: a Write commits (page
//                               select, or the data to the chip); a Read whose
//                               ready byte went out completes with the register
//                               bytes the master clocked; a partial byte is a
//                               framing anomaly
//
// Pin changes come from one CPU, a transaction at a time (see gpio.h): the
// edge path takes no lock and allocates nothing; the fault knobs and the page
// register are atomics so that tests may set or read them from any thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "sim/access_log.h"
#include "sim/anomalies.h"
#include "sim/chip.h"

namespace sim {

class SerialSlave {
  public:
    SerialSlave(Chip &chip, Anomalies &anomalies, AccessLog &log, int chip_id);

    // New levels of the CPU-driven pins; called on every change.
    void pins(bool chip_select, bool clock, bool data_out) {
        (void)edge(chip_select, clock, data_out, 0);
    }
    // The same for the GPIO block's edge path, answering `result` (the GPIO
    // register value) so that the whole path is inline code and tail calls.
    uint32_t edge(bool chip_select, bool clock, bool data_out, uint32_t result) {
        if (chip_select != cs_) return selectThenEdge(chip_select, clock, data_out, result);
        return clockEdge(clock, data_out, result);
    }
    // An edge that moved the clock alone (and maybe data-out).
    uint32_t clockEdge(bool clock, bool data_out, uint32_t result) {
        if (cs_) {
            // Deselected: the two-wire framing and idle toggling are not ours.
            clk_ = clock;
            miso_ = false;
            return result;
        }
        if (clock == clk_) return result;
        clk_ = clock;
        if (clock) {
            shift_in_ = static_cast<uint8_t>(shift_in_ << 1 | (data_out ? 1 : 0));
            if (++bits_in_ == 8) return byteDone(result);
        } else if (out_bit_ < 8) {
            miso_ = (out_byte_ >> (7 - out_bit_)) & 1;
            out_bit_++;
        } else {
            miso_ = false;
        }
        return result;
    }
    // Level the chip drives on the CPU's data-in pin.
    bool dataIn() const { return miso_; }

    // Fault injection: the next status polls report busy (-1: for ever); the
    // next read streams this many not-ready bytes before the ready byte (-1:
    // never ready).
    void injectBusy(int polls);
    void injectNotReady(int bytes);

    uint8_t page() const;

  private:
    enum class Frame { None, Ignore, InterfaceRead, Write, Read };

    uint32_t selectThenEdge(bool chip_select, bool clock, bool data_out, uint32_t result);
    uint32_t byteDone(uint32_t result);
    void startFrame();
    void endFrame();
    void byteReceived(uint8_t byte);
    void loadNextOutput();

    static constexpr int kStreamBytes = 8;
    static constexpr int kMaxWriteBytes = 16;  // beyond a register; kept to report the length

    Chip &chip_;
    Anomalies &anomalies_;
    AccessLog &log_;
    const int chip_id_;

    bool cs_ = true;
    bool clk_ = false;
    bool miso_ = false;
    std::atomic<uint8_t> page_{0};
    std::atomic<int> busy_polls_{0};
    std::atomic<int> not_ready_bytes_{0};

    // Frame state.
    Frame frame_ = Frame::None;
    int bytes_in_ = 0;
    int bits_in_ = 0;
    uint8_t shift_in_ = 0;
    uint8_t offset_ = 0;
    uint8_t write_data_[kMaxWriteBytes] = {};
    int write_len_ = 0;  // bytes received, counted beyond the buffer too
    // Bytes still to go out: zeros_ not-ready bytes, then out_[out_next_..out_end_).
    int zeros_ = 0;
    uint8_t out_[kStreamBytes + 1] = {};
    int out_next_ = 0;
    int out_end_ = 0;
    int out_data_from_ = -1;  // index in the output stream of the first register byte
    uint8_t out_byte_ = 0;
    int out_bit_ = 8;     // next bit to present, 8 = nothing loaded
    int out_index_ = -1;  // stream index of out_byte_
    int loads_ = 0;       // output bytes loaded in this frame
    bool ready_clocked_ = false;
    int data_clocked_ = 0;  // register bytes fully clocked out
    uint8_t read_bytes_[8] = {};
};

}  // namespace sim
