// One register of a unit held in memory for a read-modify-write through the
// unit's chip service table: address (slot 3), length (slot 2), read into a
// zeroed two-word buffer (slot 0), field sets and gets (slots 4 and 5), write
// (slot 1).
#pragma once

#include <cstdint>

#include "drv_if.h"

class DrvRegValue {
  public:
    DrvRegValue(int unit, uint32_t reg, int port = 0, int index = 0)
        : unit_(unit),
          reg_(reg),
          addr_(DRV_SERVICES(unit)->reg_addr(unit, reg, port, index)),
          len_(DRV_SERVICES(unit)->reg_length_get(unit, reg)) {}

    int read() { return DRV_SERVICES(unit_)->reg_read(unit_, addr_, value_, len_); }
    int write() const { return DRV_SERVICES(unit_)->reg_write(unit_, addr_, value_, len_); }

    // Field values of up to 32 bits; wider fields through the raw value.
    void set(uint32_t field, uint32_t value) {
        uint32_t f[2] = {value, 0};
        DRV_SERVICES(unit_)->reg_field_set(unit_, reg_, value_, field, f);
    }
    uint32_t get(uint32_t field) const {
        uint32_t f[2] = {0, 0};
        DRV_SERVICES(unit_)->reg_field_get(unit_, reg_, value_, field, f);
        return f[0];
    }

    // Fields of up to 64 bits as two words, low word first.
    void setWords(uint32_t field, const uint32_t *words) {
        DRV_SERVICES(unit_)->reg_field_set(unit_, reg_, value_, field, words);
    }
    void getWords(uint32_t field, uint32_t *words) const {
        DRV_SERVICES(unit_)->reg_field_get(unit_, reg_, value_, field, words);
    }

    // Bit k of the register; bits outside 0..63 read 0 and ignore writes.
    bool bit(int k) const { return inRange(k) && ((value_[k / 32] >> (k % 32)) & 1u); }
    void setBit(int k, bool on) {
        if (!inRange(k)) return;
        uint32_t mask = 1u << (k % 32);
        value_[k / 32] = on ? value_[k / 32] | mask : value_[k / 32] & ~mask;
    }
    uint64_t raw() const { return value_[0] | static_cast<uint64_t>(value_[1]) << 32; }
    uint32_t *words() { return value_; }
    uint32_t address() const { return addr_; }
    int length() const { return len_; }

  private:
    static bool inRange(int k) { return k >= 0 && k < 64; }

    int unit_;
    uint32_t reg_;
    uint32_t addr_;
    int len_;
    uint32_t value_[2] = {0, 0};
};
