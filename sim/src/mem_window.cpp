// The generic memory window: GENMEM_ADDR selects an 8-byte entry, a start in
// GENMEM_CTL moves it between the table and GENMEM_DATA. Addresses 0-8191
// are the raw L2 rows; the other tables keep their entries by address.
#include <stdexcept>

#include "sim/tables.h"

namespace sim {

namespace {
constexpr uint32_t kWindowLast = 0x2003ff;
}

TableEngine::TableEngine(const ChipProfile &profile, RegSpace &regs, ChipMutex &lock)
    : profile_(profile), regs_(regs), lock_(lock), arl_(kArlRows, 0) {
    installWindow();
    installArl();
    installWide();
    installAger();
}

void TableEngine::reset() {
    std::lock_guard<ChipMutex> g(lock_);
    std::fill(arl_.begin(), arl_.end(), 0);
    window_.clear();
    std::fill(wide_arl_.begin(), wide_arl_.end(), 0);
    std::fill(wide_vid_.begin(), wide_vid_.end(), 0);
    other_.clear();
    window_pending_ = arl_pending_ = age_pending_ = 0;
    search_next_ = -1;
    search_consumed_ = false;
    age_seconds_ = 0;
}

uint64_t TableEngine::field(int reg, int fld) const {
    const RegInstance *r = regs_.find(reg, 0);
    const chipdata_field *f = r ? chipdata_reg_field(r->row, fld) : nullptr;
    if (f == nullptr) return 0;
    uint64_t v = regs_.peek(*r) >> f->bp;
    return f->len >= 64 ? v : v & ((1ull << f->len) - 1);
}

void TableEngine::setField(int reg, int fld, uint64_t value) {
    const RegInstance *r = regs_.find(reg, 0);
    const chipdata_field *f = r ? chipdata_reg_field(r->row, fld) : nullptr;
    if (f == nullptr) return;
    uint64_t mask = (f->len >= 64 ? ~0ull : (1ull << f->len) - 1) << f->bp;
    regs_.poke(*r, (regs_.peek(*r) & ~mask) | ((value << f->bp) & mask));
}

uint64_t *TableEngine::cell(uint32_t address) {
    if (address < static_cast<uint32_t>(kArlRows)) return &arl_[address];
    if (address > kWindowLast) return nullptr;
    return &window_[address];
}

uint64_t TableEngine::memPeek(uint32_t address) const {
    std::lock_guard<ChipMutex> g(lock_);
    if (address < static_cast<uint32_t>(kArlRows)) return arl_[address];
    auto it = window_.find(address);
    return it == window_.end() ? 0 : it->second;
}

void TableEngine::memPoke(uint32_t address, uint64_t value) {
    std::lock_guard<ChipMutex> g(lock_);
    if (uint64_t *c = cell(address)) *c = value;
}

void TableEngine::setWindowBusyReads(int reads) {
    std::lock_guard<ChipMutex> g(lock_);
    window_busy_reads_ = reads < 0 ? 0 : reads;
    if (window_pending_ > window_busy_reads_) window_pending_ = window_busy_reads_;
}

void TableEngine::installWindow() {
    const RegInstance *ctl = regs_.find(R_GENMEM_CTL, 0);
    if (ctl == nullptr || regs_.find(R_GENMEM_DATA, 0) == nullptr) return;
    regs_.onWrite(*ctl, [this](uint64_t, uint64_t) {
        if (field(R_GENMEM_CTL, F_GENMEM_STDN) == 0) return;
        uint64_t *c = cell(static_cast<uint32_t>(field(R_GENMEM_ADDR, F_GENMEM_ADDR)));
        if (c != nullptr) {
            if (field(R_GENMEM_CTL, F_MEM_RW))
                setField(R_GENMEM_DATA, F_GENMEM_DATA, *c);
            else
                *c = field(R_GENMEM_DATA, F_GENMEM_DATA);
        }
        window_pending_ = window_busy_reads_;
        if (window_pending_ == 0) setField(R_GENMEM_CTL, F_GENMEM_STDN, 0);
    });
    regs_.onRead(*ctl, [this](uint64_t &) {
        if (window_pending_ > 0) {
            window_pending_--;
            return;
        }
        setField(R_GENMEM_CTL, F_GENMEM_STDN, 0);
    });
}

}  // namespace sim
