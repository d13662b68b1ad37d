// The field processor's storage and its access engine: 512 TCAM rows of
// data and mask, an action word, a meter (two words) and in-band and
// out-of-band counters per row, all reached only through CFP_ACC and its data
// registers. Writing CFP_ACC with OP_STR_DONE set runs a read, write or
// search at once and clears the bit; TCAM_RST clears every TCAM row. A search
// hands out its hits one at a time: SERCH_STS and XCESS_ADDR name the current
// hit and CFP_DATA/CFP_MASK hold its row; once the last data word is read,
// the next read of CFP_ACC shows the following hit (or SERCH_STS 0). Action,
// meter and counter operations between hits leave the search alone; a TCAM
// read puts its own row into the data registers.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "sim/chip_mutex.h"
#include "sim/regspace.h"

namespace sim {

class CfpEngine {
  public:
    static constexpr int kRows = 512;
    static constexpr int kRowWords = 6;

    struct Row {
        uint32_t data[kRowWords] = {};
        uint32_t mask[kRowWords] = {};
        uint32_t action = 0;
        uint32_t meter[2] = {};
        uint32_t in_band = 0;
        uint32_t out_band = 0;
    };

    // Hooks itself onto the access register of regs; the chip's lock guards
    // every access (the engine takes it again for the test calls below).
    CfpEngine(RegSpace &regs, ChipMutex &lock);
    CfpEngine(const CfpEngine &) = delete;
    CfpEngine &operator=(const CfpEngine &) = delete;

    // Chip reset: every row cleared, no search in progress.
    void reset();

    // Read-back and set-up for tests.
    Row row(int index) const;
    void setRow(int index, const Row &row);
    // Fault: operations are accepted but never complete (OP_STR_DONE stays 1).
    void setNeverDone(bool never);
    int operations() const;  // operations run since the model started
    // Changes whenever the row's meter is written (through the access
    // engine or setRow with other meter words) or the chip is reset: the
    // meter's running state starts afresh.
    uint64_t meterSerial(int index) const;

  private:
    uint32_t accField(uint64_t value, int field) const;
    uint64_t withAccField(uint64_t value, int field, uint32_t v) const;
    void onAccessWrite(uint64_t value);
    void onAccessRead(uint64_t &value);
    void run(uint64_t &acc);
    void search(uint64_t &acc);
    void handOut(uint64_t &acc);
    uint32_t reg(int reg_id, int index = 0) const;
    void setReg(int reg_id, int index, uint32_t value);
    void renewMeter(size_t index) { meter_serial_[index] = ++next_serial_; }

    RegSpace &regs_;
    ChipMutex &lock_;
    const RegInstance *acc_;
    std::vector<Row> rows_;
    std::vector<uint64_t> meter_serial_;
    uint64_t next_serial_ = 0;
    std::vector<int> hits_;  // pending hits of the search, current first
    bool hit_read_ = false;  // the current hit's last data word was read
    bool never_done_ = false;
    int operations_ = 0;
};

}  // namespace sim
