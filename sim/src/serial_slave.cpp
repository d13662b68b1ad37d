#include "sim/serial_slave.h"

#include <cstdio>
#include <cstring>

namespace sim {

namespace {

constexpr uint8_t kStatusRegister = 0xfe;
constexpr uint8_t kPageRegister = 0xff;
constexpr uint8_t kStatusBusy = 0x04;
constexpr uint8_t kReadReady = 0x03;

std::string hex_byte(uint8_t b) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02x", b);
    return buf;
}

}  // namespace

SerialSlave::SerialSlave(Chip &chip, Anomalies &anomalies, AccessLog &log, int chip_id)
    : chip_(chip), anomalies_(anomalies), log_(log), chip_id_(chip_id) {}

void SerialSlave::injectBusy(int polls) {
    busy_polls_.store(polls);
}

void SerialSlave::injectNotReady(int bytes) {
    not_ready_bytes_.store(bytes);
}

uint8_t SerialSlave::page() const {
    return page_.load();
}

uint32_t SerialSlave::selectThenEdge(bool chip_select, bool clock, bool data_out, uint32_t result) {
    if (!chip_select) {
        startFrame();
    } else {
        endFrame();
    }
    cs_ = chip_select;
    return edge(chip_select, clock, data_out, result);
}

uint32_t SerialSlave::byteDone(uint32_t result) {
    if (out_bit_ == 8 && out_index_ >= 0 && out_data_from_ >= 0) {
        if (out_index_ >= out_data_from_) {
            data_clocked_++;
        } else if (out_index_ == out_data_from_ - 1) {
            ready_clocked_ = true;
        }
    }
    uint8_t byte = shift_in_;
    bits_in_ = 0;
    shift_in_ = 0;
    byteReceived(byte);
    bytes_in_++;
    loadNextOutput();
    return result;
}

void SerialSlave::startFrame() {
    frame_ = Frame::None;
    bytes_in_ = 0;
    bits_in_ = 0;
    shift_in_ = 0;
    write_len_ = 0;
    zeros_ = 0;
    out_next_ = out_end_ = 0;
    out_data_from_ = -1;
    out_byte_ = 0;
    out_bit_ = 8;
    out_index_ = -1;
    loads_ = 0;
    data_clocked_ = 0;
    ready_clocked_ = false;
    miso_ = false;
}

void SerialSlave::loadNextOutput() {
    if (zeros_ > 0) {
        zeros_--;
        out_byte_ = 0;
    } else if (out_next_ < out_end_) {
        out_byte_ = out_[out_next_++];
    } else {
        out_byte_ = 0;
        out_bit_ = 8;
        out_index_ = -1;
        return;
    }
    out_bit_ = 0;
    out_index_ = loads_++;
}

void SerialSlave::byteReceived(uint8_t byte) {
    if (frame_ == Frame::Ignore) return;
    if (bytes_in_ == 0) {
        int id = (byte >> 1) & 7;
        switch (byte & 0xf1) {
            case 0x60:
                frame_ = Frame::InterfaceRead;
                break;
            case 0x61:
                frame_ = Frame::Write;
                break;
            case 0x10:
                frame_ = Frame::Read;
                break;
            default:
                anomalies_.record(AnomalyKind::SerialFraming, byte,
                                  "unknown serial command " + hex_byte(byte));
                frame_ = Frame::Ignore;
                return;
        }
        if (id != chip_id_) frame_ = Frame::Ignore;  // another chip's frame
        return;
    }
    if (bytes_in_ == 1) {
        offset_ = byte;
        if (frame_ == Frame::InterfaceRead) {
            if (byte == kStatusRegister) {
                int polls = busy_polls_.load(std::memory_order_relaxed);
                while (polls > 0 && !busy_polls_.compare_exchange_weak(polls, polls - 1)) {
                }
                uint8_t status = polls != 0 ? kStatusBusy : 0;
                out_[out_end_++] = status;
                log_.add({BusPath::Spi, BusOp::StatusPoll, page_.load(std::memory_order_relaxed),
                          byte, 1, status});
            } else if (byte == kPageRegister) {
                out_[out_end_++] = page_.load(std::memory_order_relaxed);
            } else {
                anomalies_.record(
                    AnomalyKind::SerialFraming, byte,
                    "serial interface register " + hex_byte(byte) + " does not exist");
                frame_ = Frame::Ignore;
            }
        } else if (frame_ == Frame::Read) {
            int not_ready = not_ready_bytes_.exchange(0, std::memory_order_relaxed);
            if (not_ready < 0) return;  // never ready: the master gives up
            zeros_ = not_ready;
            out_[out_end_++] = kReadReady;
            out_data_from_ = loads_ + not_ready + 1;
            chip_.fetch(page_.load(std::memory_order_relaxed), offset_, read_bytes_, kStreamBytes);
            for (uint8_t b : read_bytes_)
                out_[out_end_++] = b;
        }
        return;
    }
    if (frame_ == Frame::Write) {
        if (write_len_ < kMaxWriteBytes) write_data_[write_len_++] = byte;
    }
    // Bytes received while the chip talks are the master's idle data-out.
}

void SerialSlave::endFrame() {
    if (bits_in_ != 0)
        anomalies_.record(AnomalyKind::SerialFraming, 0,
                          "chip select rose after " + std::to_string(bits_in_) + " bits of a byte");
    if (frame_ == Frame::Write) {
        if (bytes_in_ < 2) {
            anomalies_.record(AnomalyKind::SerialFraming, 0, "write frame without an offset");
        } else if (offset_ == kPageRegister) {
            if (write_len_ == 1) {
                page_.store(write_data_[0]);
                log_.add({BusPath::Spi, BusOp::PageSelect, write_data_[0], kPageRegister, 1,
                          write_data_[0]});
            } else {
                anomalies_.record(AnomalyKind::SerialFraming, kPageRegister,
                                  "page select with " + std::to_string(write_len_) + " bytes");
            }
        } else if (offset_ == kStatusRegister) {
            anomalies_.record(AnomalyKind::SerialFraming, kStatusRegister,
                              "write to the status register");
        } else if (write_len_ == 0) {
            anomalies_.record(AnomalyKind::BadLength,
                              static_cast<uint32_t>(page_.load() << 8 | offset_),
                              "write frame without data");
        } else {
            chip_.write(BusPath::Spi, page_.load(), offset_, write_data_, write_len_);
        }
    } else if (frame_ == Frame::Read && ready_clocked_) {
        // The ready byte went out: the access is as long as the master clocked.
        chip_.complete(BusPath::Spi, page_.load(), offset_, read_bytes_, data_clocked_);
    }
    frame_ = Frame::None;
    zeros_ = 0;
    out_next_ = out_end_ = 0;
    out_bit_ = 8;
    miso_ = false;
}

}  // namespace sim
