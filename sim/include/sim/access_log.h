// Optional record of the bus transactions the chip saw, in order, for tests of
// access order and framing ("two writes to one page send one page select").
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace sim {

enum class BusPath { Spi, Window, Direct };
enum class BusOp { Read, Write, PageSelect, StatusPoll };

struct BusAccess {
    BusPath path;
    BusOp op;
    uint8_t page;
    uint8_t offset;
    int length;
    uint64_t value;  // bus bytes, byte 0 lowest
};

class AccessLog {
  public:
    void enable(bool on);
    bool enabled() const;
    void add(const BusAccess &access);
    std::vector<BusAccess> entries() const;
    size_t count(BusOp op) const;
    void clear();

  private:
    static constexpr size_t kKeep = 4096;
    mutable std::mutex mutex_;
    std::atomic<bool> enabled_{false};  // read without the lock on every access
    std::vector<BusAccess> entries_;
};

}  // namespace sim
