// A bus master for the model's tests that drives the GPIO pins and the window
// exactly as the CPU side of the management interface does.
#pragma once

#include <cstdint>
#include <cstring>

#include "sim/board.h"

namespace simtest {

class SerialMaster {
  public:
    explicit SerialMaster(sim::Board &board) : gpio_(board.gpio()), window_(board.window()) {
        const sim::SerialPins &p = gpio_.serialPins();
        cs_ = p.chip_select;
        clk_ = p.clock;
        dout_ = p.data_out;
        din_ = p.data_in;
        gpio_.out(cs_ | clk_ | dout_, cs_);
        gpio_.outEnable(cs_ | clk_ | dout_ | din_, cs_ | clk_ | dout_);
        window_.enable(true);
    }

    // ---- four-wire serial
    void select(bool on) { gpio_.out(cs_, on ? 0 : cs_); }

    void sendByte(uint8_t b) {
        for (int bit = 7; bit >= 0; bit--) {
            gpio_.out(clk_, 0);
            gpio_.out(dout_, (b >> bit) & 1 ? dout_ : 0);
            gpio_.out(clk_, clk_);
        }
    }

    uint8_t receiveByte() {
        uint8_t b = 0;
        for (int bit = 0; bit < 8; bit++) {
            gpio_.out(clk_, 0);
            gpio_.out(dout_, 0);
            b = static_cast<uint8_t>(b << 1 | ((gpio_.in() & din_) ? 1 : 0));
            gpio_.out(clk_, clk_);
        }
        return b;
    }

    // Status polls until not busy; false after 50 busy answers.
    bool waitReady(int id) {
        for (int tries = 0; tries < 50; tries++) {
            select(true);
            sendByte(static_cast<uint8_t>(0x60 | (id & 7) << 1));
            sendByte(0xfe);
            uint8_t status = receiveByte();
            select(false);
            if ((status & 0x04) == 0) return true;
        }
        return false;
    }

    void selectPage(int id, uint8_t page) {
        if (id == cached_id_ && page == cached_page_) return;
        select(true);
        sendByte(static_cast<uint8_t>(0x61 | (id & 7) << 1));
        sendByte(0xff);
        sendByte(page);
        select(false);
        cached_id_ = id;
        cached_page_ = page;
    }

    bool write(int id, uint8_t page, uint8_t offset, const uint8_t *buf, int len) {
        bool ready = waitReady(id);
        selectPage(id, page);
        if (!ready) return false;
        select(true);
        sendByte(static_cast<uint8_t>(0x61 | (id & 7) << 1));
        sendByte(offset);
        for (int i = 0; i < len; i++)
            sendByte(buf[i]);
        select(false);
        return true;
    }

    // False (buffer untouched) when the chip stays busy or never gets ready.
    bool read(int id, uint8_t page, uint8_t offset, uint8_t *buf, int len) {
        if (!waitReady(id)) return false;
        selectPage(id, page);
        select(true);
        sendByte(static_cast<uint8_t>((id & 7) << 1 | 0x10));
        sendByte(offset);
        bool ready = false;
        for (int tries = 0; tries < 50 && !ready; tries++)
            ready = (receiveByte() & 0x03) != 0;
        if (ready) {
            for (int i = 0; i < len; i++)
                buf[i] = receiveByte();
        }
        select(false);
        return ready;
    }

    // ---- external-bus window
    bool windowWrite(uint8_t page, uint8_t offset, const uint8_t *buf, int len) {
        uint16_t po = static_cast<uint16_t>(page | offset << 8);
        window_.write16(8, po);
        window_.write16(8, po);
        int i = 0;
        for (; i + 1 < len; i += 2)
            window_.write16(i, static_cast<uint16_t>(buf[i] | buf[i + 1] << 8));
        if (i < len) window_.write8(i, buf[i]);
        window_.write8(10, 2);
        for (int polls = 0; polls < 200; polls++) {
            if (window_.read8(11) == 0) return true;
        }
        window_.write8(10, 0);
        return false;
    }

    bool windowRead(uint8_t page, uint8_t offset, uint8_t *buf, int len) {
        uint16_t po = static_cast<uint16_t>(page | offset << 8);
        window_.write16(8, po);
        window_.write16(8, po);
        window_.write8(10, 1);
        bool done = false;
        for (int polls = 0; polls < 200 && !done; polls++)
            done = window_.read8(11) == 0;
        if (!done) {
            window_.write8(10, 0);
            return false;
        }
        if (window_.read8(12) == (1u << (len - 1))) {
            for (int i = 0; i < len; i++)
                buf[i] = window_.read8(i);
        } else {
            std::memset(buf, 0, len);
        }
        return true;
    }

  private:
    sim::GpioBlock &gpio_;
    sim::BusWindow &window_;
    uint32_t cs_, clk_, dout_, din_;
    int cached_id_ = -1;
    int cached_page_ = -1;
};

}  // namespace simtest
