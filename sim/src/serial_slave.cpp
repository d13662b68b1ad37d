#include "sim/serial_slave.h"

#include <cstdio>
#include <cstring>

namespace sim {

namespace {

constexpr uint8_t kStatusRegister = 0xfe;
constexpr uint8_t kPageRegister = 0xff;
constexpr uint8_t kStatusBusy = 0x04;
constexpr uint8_t kReadReady = 0x03;
constexpr int kStreamBytes = 8;
constexpr size_t kMaxWriteBytes = 16;  // beyond a register; kept only to report the length

std::string hex_byte(uint8_t b) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02x", b);
    return buf;
}

}  // namespace

SerialSlave::SerialSlave(Chip &chip, Anomalies &anomalies, AccessLog &log, int chip_id)
    : chip_(chip), anomalies_(anomalies), log_(log), chip_id_(chip_id) {}

void SerialSlave::injectBusy(int polls) {
    std::lock_guard<std::mutex> g(mutex_);
    busy_polls_ = polls;
}

void SerialSlave::injectNotReady(int bytes) {
    std::lock_guard<std::mutex> g(mutex_);
    not_ready_bytes_ = bytes;
}

uint8_t SerialSlave::page() const {
    std::lock_guard<std::mutex> g(mutex_);
    return page_;
}

bool SerialSlave::dataIn() const {
    std::lock_guard<std::mutex> g(mutex_);
    return miso_;
}

void SerialSlave::pins(bool chip_select, bool clock, bool data_out) {
    std::lock_guard<std::mutex> g(mutex_);
    if (chip_select != cs_) {
        if (!chip_select) {
            startFrame();
        } else {
            endFrame();
        }
        cs_ = chip_select;
    }
    if (cs_) {
        // Deselected: the two-wire framing and idle toggling are not ours.
        clk_ = clock;
        miso_ = false;
        return;
    }
    if (clock == clk_) return;
    clk_ = clock;
    if (clock) {
        shift_in_ = static_cast<uint8_t>(shift_in_ << 1 | (data_out ? 1 : 0));
        if (++bits_in_ < 8) return;
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
    } else if (out_bit_ < 8) {
        miso_ = (out_byte_ >> (7 - out_bit_)) & 1;
        out_bit_++;
    } else {
        miso_ = false;
    }
}

void SerialSlave::startFrame() {
    frame_ = Frame::None;
    bytes_in_ = 0;
    bits_in_ = 0;
    shift_in_ = 0;
    write_data_.clear();
    out_queue_.clear();
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
    if (out_queue_.empty()) {
        out_byte_ = 0;
        out_bit_ = 8;
        out_index_ = -1;
        return;
    }
    out_byte_ = out_queue_.front();
    out_queue_.pop_front();
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
                bool busy = busy_polls_ != 0;
                if (busy_polls_ > 0) busy_polls_--;
                uint8_t status = busy ? kStatusBusy : 0;
                out_queue_.push_back(status);
                log_.add({BusPath::Spi, BusOp::StatusPoll, page_, byte, 1, status});
            } else if (byte == kPageRegister) {
                out_queue_.push_back(page_);
            } else {
                anomalies_.record(
                    AnomalyKind::SerialFraming, byte,
                    "serial interface register " + hex_byte(byte) + " does not exist");
                frame_ = Frame::Ignore;
            }
        } else if (frame_ == Frame::Read) {
            int not_ready = not_ready_bytes_;
            not_ready_bytes_ = 0;
            if (not_ready < 0) return;  // never ready: the master gives up
            for (int i = 0; i < not_ready; i++)
                out_queue_.push_back(0);
            out_queue_.push_back(kReadReady);
            out_data_from_ = loads_ + not_ready + 1;
            chip_.fetch(page_, offset_, read_bytes_, kStreamBytes);
            for (uint8_t b : read_bytes_)
                out_queue_.push_back(b);
        }
        return;
    }
    if (frame_ == Frame::Write) {
        if (write_data_.size() < kMaxWriteBytes) write_data_.push_back(byte);
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
            if (write_data_.size() == 1) {
                page_ = write_data_[0];
                log_.add({BusPath::Spi, BusOp::PageSelect, page_, kPageRegister, 1, page_});
            } else {
                anomalies_.record(
                    AnomalyKind::SerialFraming, kPageRegister,
                    "page select with " + std::to_string(write_data_.size()) + " bytes");
            }
        } else if (offset_ == kStatusRegister) {
            anomalies_.record(AnomalyKind::SerialFraming, kStatusRegister,
                              "write to the status register");
        } else if (write_data_.empty()) {
            anomalies_.record(AnomalyKind::BadLength, static_cast<uint32_t>(page_ << 8 | offset_),
                              "write frame without data");
        } else {
            chip_.write(BusPath::Spi, page_, offset_, write_data_.data(),
                        static_cast<int>(write_data_.size()));
        }
    } else if (frame_ == Frame::Read && ready_clocked_) {
        // The ready byte went out: the access is as long as the master clocked.
        chip_.complete(BusPath::Spi, page_, offset_, read_bytes_, data_clocked_);
    }
    frame_ = Frame::None;
    out_queue_.clear();
    out_bit_ = 8;
    miso_ = false;
}

}  // namespace sim
