// The chip's register space: every described register instance of a model at
// its 16-bit address (page << 8 | offset), with its width, reset value and
// implemented bits, as the chip decodes the catalogue rows.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "chipdata/chipdata.h"
#include "sim/profile.h"

namespace sim {

struct RegInstance {
    int reg_id;
    int instance;  // array index, or the chip port of a per-port page
    int port;      // the chip port the instance serves, -1 for chip-wide ones
    uint16_t address;
    int width;  // bytes
    uint32_t type;
    uint64_t reset;
    uint64_t mask;     // implemented bits
    uint64_t ro_mask;  // bits the CPU cannot change
    const chipdata_reg *row;
};

// Width in bytes of a register row, from its flags and implemented bits.
int regWidth(const chipdata_reg &row);

// Every instance of every register row of the model, with its address and
// port.
std::vector<RegInstance> buildAddressMap(const ChipProfile &profile);

// The instance that a reference names on the chip: a per-port register by
// port (ports above a split register's range in the register that carries
// them), a chip-wide one or an array by index. Null where there is none.
const RegInstance *findInstance(const ChipProfile &profile, const std::vector<RegInstance> &map,
                                int reg_id, int port, int index);

// Storage for the addressed registers (types 1 and 7). Not locked: the chip
// that owns it serialises access.
class RegSpace {
  public:
    using ReadHook = std::function<void(uint64_t &value)>;
    using WriteHook = std::function<void(uint64_t old_value, uint64_t new_value)>;

    explicit RegSpace(const ChipProfile &profile);

    // The register instance covering a byte address, or null.
    const RegInstance *at(uint16_t address) const;
    const RegInstance *find(int reg_id, int instance) const;
    const std::vector<RegInstance> &instances() const { return instances_; }

    // Bus read of len bytes from address upward (bus byte k = register bits
    // 8k..8k+7); bytes of undescribed addresses read 0. Runs the read hook of
    // the register at address.
    void read(uint16_t address, uint8_t *buf, int len);
    // Bus write; merges into the covered registers. Returns the bits the write
    // tried to set outside the implemented masks (for the anomaly log) and
    // whether it hit a read-only register.
    struct WriteResult {
        uint64_t unimplemented = 0;
        bool read_only = false;
    };
    WriteResult write(uint16_t address, const uint8_t *buf, int len);

    uint64_t peek(const RegInstance &reg) const;
    void poke(const RegInstance &reg, uint64_t value);  // no hooks, no masks
    void setReset(const RegInstance &reg, uint64_t value);

    void onRead(const RegInstance &reg, ReadHook hook);
    void onWrite(const RegInstance &reg, WriteHook hook);

    void resetAll();

  private:
    size_t indexOf(const RegInstance &reg) const { return &reg - instances_.data(); }

    std::vector<RegInstance> instances_;
    std::vector<int32_t> by_address_;          // byte address -> instance, -1 for none
    std::vector<std::vector<int32_t>> by_id_;  // register id -> its instances
    std::vector<uint64_t> values_;
    std::vector<ReadHook> read_hooks_;
    std::vector<WriteHook> write_hooks_;
};

}  // namespace sim
