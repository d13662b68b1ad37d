// Record of everything the model saw the firmware do that real hardware would
// not accept: accesses to undescribed addresses, bad lengths, writes to
// read-only or unimplemented bits, framing errors, DMA addresses outside the
// arena. Tests assert it empty (or look for one entry) at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

enum class AnomalyKind {
    UndescribedAddress,  // no register at the page/offset
    BadLength,           // access of 0 or more than 8 bytes
    WidthMismatch,       // access length differs from the register's width
    ReadOnlyWrite,       // write to a read-only register or field
    UnimplementedBits,   // ones written outside the implemented mask
    SerialFraming,       // unknown command, data without a frame, ...
    WindowProtocol,      // window used while disabled, unknown command
    DmaOutOfArena,       // bus address outside the DMA arena
    HostMemory,          // host memory access outside every mapping
    NoDevice,            // access to a device the board does not have
    CpuFrame,            // CPU frame without the management tag or with a bad CRC
};

const char *anomalyKindName(AnomalyKind kind);

struct Anomaly {
    AnomalyKind kind;
    uint32_t address;
    std::string text;
};

class Anomalies {
  public:
    void record(AnomalyKind kind, uint32_t address, std::string text);
    std::vector<Anomaly> list() const;
    size_t count(AnomalyKind kind) const;
    size_t total() const;
    bool empty() const { return total() == 0; }
    void clear();

  private:
    static constexpr size_t kKeep = 256;  // oldest entries beyond this are dropped
    mutable std::mutex mutex_;
    std::vector<Anomaly> entries_;
    static constexpr size_t kKinds = static_cast<size_t>(AnomalyKind::CpuFrame) + 1;
    size_t counts_[kKinds] = {};
    size_t total_ = 0;
};

// The anomalies a test expects because the behaviour it checks provokes them;
// everything else the model recorded is a fault of the code under test.
class AnomalyAllowList {
  public:
    // address -1: at any address.
    void allow(AnomalyKind kind, int64_t address = -1) { allowed_.push_back({kind, address}); }
    std::vector<Anomaly> unexpected(const Anomalies &log) const;

  private:
    struct Entry {
        AnomalyKind kind;
        int64_t address;
    };
    std::vector<Entry> allowed_;
};

}  // namespace sim
