#include "sim/mib_counters.h"

#include <cstring>

namespace sim {

namespace {

uint64_t width_mask(const RegInstance &reg) {
    return reg.width >= 8 ? ~0ull : (1ull << (8 * reg.width)) - 1;
}

}  // namespace

MibCounters::MibCounters(const ChipProfile &profile) : by_address_(0x10000, -1) {
    for (const RegInstance &r : buildAddressMap(profile)) {
        if (r.type == CHIPDATA_TYPE_PORT_MIB) counters_.push_back(r);
    }
    for (size_t i = 0; i < counters_.size(); i++) {
        const RegInstance &r = counters_[i];
        for (int b = 0; b < r.width && r.address + b < 0x10000; b++) {
            if (by_address_[r.address + b] < 0)
                by_address_[r.address + b] = static_cast<int32_t>(i);
        }
    }
    values_.assign(counters_.size(), 0);
}

const RegInstance *MibCounters::at(uint16_t address) const {
    int32_t i = by_address_[address];
    return i < 0 ? nullptr : &counters_[i];
}

const RegInstance *MibCounters::find(int reg_id, int port) const {
    for (const RegInstance &r : counters_) {
        if (r.reg_id == reg_id && r.port == port) return &r;
    }
    return nullptr;
}

void MibCounters::read(uint16_t address, uint8_t *buf, int len) const {
    std::memset(buf, 0, len);
    for (int k = 0; k < len && address + k <= 0xffff; k++) {
        const RegInstance *r = at(static_cast<uint16_t>(address + k));
        if (r == nullptr) continue;
        buf[k] = static_cast<uint8_t>(values_[indexOf(*r)] >> (8 * (address + k - r->address)));
    }
}

void MibCounters::write(uint16_t address, const uint8_t *buf, int len) {
    for (int k = 0; k < len && address + k <= 0xffff; k++) {
        const RegInstance *r = at(static_cast<uint16_t>(address + k));
        if (r == nullptr) continue;
        int shift = 8 * (address + k - r->address);
        uint64_t &v = values_[indexOf(*r)];
        v = (v & ~(0xffull << shift)) | (static_cast<uint64_t>(buf[k]) << shift);
    }
}

uint64_t MibCounters::get(const RegInstance &reg) const {
    return values_[indexOf(reg)];
}

void MibCounters::set(const RegInstance &reg, uint64_t value) {
    values_[indexOf(reg)] = value & width_mask(reg);
}

void MibCounters::add(const RegInstance &reg, uint64_t delta) {
    set(reg, values_[indexOf(reg)] + delta);
}

void MibCounters::clearAll() {
    values_.assign(values_.size(), 0);
}

}  // namespace sim
