#include "sim/cfp_engine.h"

#include <stdexcept>

namespace sim {

namespace {

constexpr uint32_t kOpRead = 1;
constexpr uint32_t kOpWrite = 2;
constexpr uint32_t kOpSearch = 4;

constexpr uint32_t kRamTcam = 1;
constexpr uint32_t kRamAction = 2;
constexpr uint32_t kRamMeter = 4;
constexpr uint32_t kRamInBand = 8;
constexpr uint32_t kRamOutBand = 16;

// Bits of a TCAM row the search looks at: VALID_R (1..0) and SRC_P (181..176).
bool row_valid(const CfpEngine::Row &r) {
    return (r.data[0] & 0x3) != 0;
}
uint32_t row_src_port(const CfpEngine::Row &r) {
    return (r.data[5] >> 16) & 0x3f;
}

}  // namespace

CfpEngine::CfpEngine(RegSpace &regs, ChipMutex &lock)
    : regs_(regs), lock_(lock), acc_(regs.find(R_CFP_ACC, 0)), rows_(kRows), meter_serial_(kRows) {
    if (acc_ == nullptr) throw std::logic_error("field processor without CFP_ACC");
    regs_.onWrite(*acc_, [this](uint64_t, uint64_t value) { onAccessWrite(value); });
    regs_.onRead(*acc_, [this](uint64_t &value) { onAccessRead(value); });
    if (const RegInstance *last = regs_.find(R_CFP_DATA, kRowWords - 1)) {
        regs_.onRead(*last, [this](uint64_t &) { hit_read_ = !hits_.empty(); });
    }
}

void CfpEngine::reset() {
    std::lock_guard<ChipMutex> g(lock_);
    rows_.assign(kRows, Row{});
    for (size_t i = 0; i < rows_.size(); i++)
        renewMeter(i);
    hits_.clear();
    hit_read_ = false;
}

CfpEngine::Row CfpEngine::row(int index) const {
    std::lock_guard<ChipMutex> g(lock_);
    return rows_.at(index);
}

void CfpEngine::setRow(int index, const Row &row) {
    std::lock_guard<ChipMutex> g(lock_);
    Row &r = rows_.at(index);
    if (r.meter[0] != row.meter[0] || r.meter[1] != row.meter[1])
        renewMeter(static_cast<size_t>(index));
    r = row;
}

uint64_t CfpEngine::meterSerial(int index) const {
    std::lock_guard<ChipMutex> g(lock_);
    return meter_serial_.at(static_cast<size_t>(index));
}

void CfpEngine::setNeverDone(bool never) {
    std::lock_guard<ChipMutex> g(lock_);
    never_done_ = never;
}

int CfpEngine::operations() const {
    std::lock_guard<ChipMutex> g(lock_);
    return operations_;
}

uint32_t CfpEngine::accField(uint64_t value, int field) const {
    const chipdata_field *f = chipdata_reg_field(acc_->row, field);
    return static_cast<uint32_t>((value >> f->bp) & ((1ull << f->len) - 1));
}

uint64_t CfpEngine::withAccField(uint64_t value, int field, uint32_t v) const {
    const chipdata_field *f = chipdata_reg_field(acc_->row, field);
    uint64_t mask = ((1ull << f->len) - 1) << f->bp;
    return (value & ~mask) | ((static_cast<uint64_t>(v) << f->bp) & mask);
}

uint32_t CfpEngine::reg(int reg_id, int index) const {
    const RegInstance *r = regs_.find(reg_id, index);
    return r ? static_cast<uint32_t>(regs_.peek(*r)) : 0;
}

void CfpEngine::setReg(int reg_id, int index, uint32_t value) {
    if (const RegInstance *r = regs_.find(reg_id, index)) regs_.poke(*r, value);
}

void CfpEngine::onAccessWrite(uint64_t value) {
    uint64_t acc = value;
    if (accField(acc, F_TCAM_RST)) {
        for (Row &r : rows_) {
            for (int i = 0; i < kRowWords; i++)
                r.data[i] = r.mask[i] = 0;
        }
        hits_.clear();
        acc = withAccField(acc, F_TCAM_RST, 0);
    }
    if (accField(acc, F_OP_STR_DONE) && !never_done_) {
        operations_++;
        run(acc);
        acc = withAccField(acc, F_OP_STR_DONE, 0);
    }
    regs_.poke(*acc_, acc);
}

// While a search has hits, CFP_ACC shows the current one, also after other
// operations (the action and meter of a hit are read between hits).
void CfpEngine::onAccessRead(uint64_t &value) {
    if (hit_read_) {
        hit_read_ = false;
        hits_.erase(hits_.begin());
        handOut(value);
    } else if (!hits_.empty()) {
        value = withAccField(value, F_SERCH_STS, 1);
        value = withAccField(value, F_XCESS_ADDR, static_cast<uint32_t>(hits_.front()));
    }
}

void CfpEngine::run(uint64_t &acc) {
    uint32_t op = accField(acc, F_OP_SEL);
    uint32_t ram = accField(acc, F_RAM_SEL);
    uint32_t index = accField(acc, F_XCESS_ADDR);
    if (op == kOpSearch) {
        search(acc);
        return;
    }
    if (index >= static_cast<uint32_t>(kRows) || (op != kOpRead && op != kOpWrite)) return;
    Row &r = rows_[index];
    bool rd = op == kOpRead;
    switch (ram) {
        case kRamTcam:
            for (int i = 0; i < kRowWords; i++) {
                if (rd) {
                    setReg(R_CFP_DATA, i, r.data[i]);
                    setReg(R_CFP_MASK, i, r.mask[i]);
                } else {
                    r.data[i] = reg(R_CFP_DATA, i);
                    r.mask[i] = reg(R_CFP_MASK, i);
                }
            }
            break;
        case kRamAction:
            rd ? setReg(R_ACT_POL_DATA, 0, r.action) : void(r.action = reg(R_ACT_POL_DATA));
            break;
        case kRamMeter:
            if (rd) {
                setReg(R_RATE_METER0, 0, r.meter[0]);
                setReg(R_RATE_METER1, 0, r.meter[1]);
            } else {
                r.meter[0] = reg(R_RATE_METER0);
                r.meter[1] = reg(R_RATE_METER1);
                renewMeter(index);
            }
            break;
        case kRamInBand:
            rd ? setReg(R_RATE_INBAND, 0, r.in_band) : void(r.in_band = reg(R_RATE_INBAND));
            break;
        case kRamOutBand:
            rd ? setReg(R_RATE_OUTBAND, 0, r.out_band) : void(r.out_band = reg(R_RATE_OUTBAND));
            break;
        default:
            break;
    }
}

// SEARCH_OPTION names the source port whose rows are wanted, or every port
// with 63; both in the chip's own port numbering, as SRC_P is.
void CfpEngine::search(uint64_t &acc) {
    hits_.clear();
    hit_read_ = false;
    uint32_t option = accField(acc, F_SEARCH_OPTION);
    for (int i = 0; i < kRows; i++) {
        if (!row_valid(rows_[i])) continue;
        if (option < 63 && row_src_port(rows_[i]) != option) continue;
        hits_.push_back(i);
    }
    handOut(acc);
}

void CfpEngine::handOut(uint64_t &acc) {
    if (hits_.empty()) {
        acc = withAccField(acc, F_SERCH_STS, 0);
        return;
    }
    const Row &r = rows_[hits_.front()];
    for (int i = 0; i < kRowWords; i++) {
        setReg(R_CFP_DATA, i, r.data[i]);
        setReg(R_CFP_MASK, i, r.mask[i]);
    }
    acc = withAccField(acc, F_SERCH_STS, 1);
    acc = withAccField(acc, F_XCESS_ADDR, static_cast<uint32_t>(hits_.front()));
}

}  // namespace sim
