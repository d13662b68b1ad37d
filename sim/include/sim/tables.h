// The chip's table memories behind the generic memory window and the L2
// address engine: hash, key lookup and write, table search, fast ageing,
// learning and ageing. Owned by the Chip and run under its lock.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/chip_mutex.h"
#include "sim/profile.h"
#include "sim/regspace.h"

namespace sim {

// CRC-16 (polynomial 0x1021, initial 0xffff, no reflection) over the first
// nbits bits of data, most significant bit first.
uint16_t arlCrc16(const uint8_t *data, int nbits);

class TableEngine {
  public:
    static constexpr int kArlRows = 8192;

    TableEngine(const ChipProfile &profile, RegSpace &regs, ChipMutex &lock);
    TableEngine(const TableEngine &) = delete;
    TableEngine &operator=(const TableEngine &) = delete;

    // Every table back to empty (chip reset).
    void reset();

    // Test access, without side effects.
    uint64_t memPeek(uint32_t address) const;
    void memPoke(uint32_t address, uint64_t value);
    int arlValidRows() const;
    // Table index of a key as the chip hashes it now (bin 0 of the bucket).
    int arlIndex(uint64_t mac, uint16_t vid) const;

    // Start/done bits stay set for this many reads after a start (0 default).
    void setWindowBusyReads(int reads);
    void setArlBusyReads(int reads);

    // A frame with this source arrives on the port: learns or moves a dynamic
    // entry unless learning is off on the port. False when not learned.
    bool learn(int port, uint64_t mac, uint16_t vid);
    // What the address table holds for a key, as the forwarding lookup sees
    // it: a unicast entry's chip port or a multicast entry's group bitmap.
    struct L2Hit {
        bool is_static = false;
        int port = -1;
        bool group = false;
        uint64_t pbmp = 0;
        int cos = 0;  // a unicast entry's priority: the class of service it gives
    };
    std::optional<L2Hit> lookup(uint64_t mac, uint16_t vid) const;
    // A VLAN_1Q (1), MARL_PBMP (2) or MSPT_TAB (3) row of the wide chips as
    // its three data words; false on chips without these tables.
    bool otherRow(int table, int index, uint64_t words[3]) const;
    // The ageing clock moves on; a full SPTAGT.AGE_TIME period clears the
    // hit bit of dynamic entries and removes those already cleared (one pass
    // however many periods passed). Writing a new time starts the period anew.
    void advanceAgeClock(uint32_t seconds);

  private:
    bool arlSupported() const;
    void installWindow();
    void installArl();
    uint64_t field(int reg, int fld) const;
    void setField(int reg, int fld, uint64_t value);
    uint64_t *cell(uint32_t address);
    int bucketOf(uint64_t mac, uint16_t vid) const;
    uint64_t rowMac(int index) const;
    void loadBins(int bucket);
    void storeBins(int bucket);
    void presentSearch(int from);
    // Index of the first row from `from` on with the bit set, or rows.size():
    // the search of an idle table walks every row at each start.
    static int firstWith(const std::vector<uint64_t> &rows, int from, uint64_t bit);
    // The access busy countdown and the search hooks both address tables share.
    void installSearchHooks(void (TableEngine::*present)(int));
    void fastAge();
    void ageOnce();
    void installAger();
    // The wide chips' address table and other tables (wide_tables.cpp).
    void installWide();
    int wideSlot(uint64_t mac, uint16_t vid) const;
    bool wideLearn(int port, uint64_t mac, uint16_t vid);
    void wideAgeOnce();
    void widePresent(int from);

    const ChipProfile &profile_;
    RegSpace &regs_;
    ChipMutex &lock_;
    std::vector<uint64_t> arl_;            // raw rows, index = bucket * 2 + bin
    std::map<uint32_t, uint64_t> window_;  // other window memories by address
    int window_busy_reads_ = 0;
    int window_pending_ = 0;
    int arl_busy_reads_ = 0;
    int arl_pending_ = 0;
    int search_next_ = -1;  // next row to look at, -1 when no search runs
    bool search_consumed_ = false;
    uint32_t age_seconds_ = 0;
    int age_pending_ = 0;                                // reads before a fast age ends
    std::vector<uint64_t> wide_arl_;                     // ARLA_ENTRY form, index = hash slot
    std::vector<uint16_t> wide_vid_;                     // VLAN id of each slot
    std::map<uint32_t, std::array<uint64_t, 3>> other_;  // table << 16 | index
};

}  // namespace sim
