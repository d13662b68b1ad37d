// The L2 address engine of the DXP7102: 4096 buckets of two bins kept as raw
// rows (MAC bits 47-12 stored, bits 11-0 given by the bucket), reached by key
// through the ARLA_* registers and walked by the table search.
#include "sim/tables.h"

namespace sim {

namespace {

constexpr uint64_t kMask36 = (1ull << 36) - 1;
constexpr uint64_t kMask48 = (1ull << 48) - 1;
constexpr int kBuckets = TableEngine::kArlRows / 2;

// Raw row bits.
constexpr int kRowPort = 36;  // port, priority and age: 8 bits (group index)
constexpr int kRowPri = 41;
constexpr int kRowVid = 44;
constexpr int kWidePri = 57;  // in the 53-port chips' unicast entries
constexpr int kRowCon = 57;
constexpr uint64_t kRowAge = 1ull << 43;
constexpr uint64_t kRowStatic = 1ull << 62;
constexpr uint64_t kRowValid = 1ull << 63;
// Bin register bits.
constexpr int kEntPort = 48;
constexpr int kEntCon = 56;

bool multicast(uint64_t mac) {
    return (mac >> 40) & 1;
}

}  // namespace

uint16_t arlCrc16(const uint8_t *data, int nbits) {
    uint16_t crc = 0xffff;
    for (int i = 0; i < nbits; i++) {
        bool bit = (data[i / 8] >> (7 - i % 8)) & 1;
        bool top = crc & 0x8000;
        crc = static_cast<uint16_t>(crc << 1);
        if (bit != top) crc ^= 0x1021;
    }
    return crc;
}

bool TableEngine::arlSupported() const {
    return regs_.find(R_ARLA_ENTRY0, 0) != nullptr;
}

// The key is VID and MAC bits 47-12 when VLANs are part of it (VLAN_EN and
// learn mode 3), else MAC bits 47-12 and twelve zero bits.
int TableEngine::bucketOf(uint64_t mac, uint16_t vid) const {
    uint64_t high = (mac >> 12) & kMask36;
    bool by_vlan = field(R_VLAN_CTRL0, F_VLAN_EN) && field(R_VLAN_CTRL0, F_VLAN_LEARN_MODE) == 3;
    uint64_t key = by_vlan ? (static_cast<uint64_t>(vid & 0xfff) << 36 | high) : high << 12;
    uint8_t bytes[6];
    for (int k = 0; k < 6; k++)
        bytes[k] = static_cast<uint8_t>(key >> (40 - 8 * k));
    return static_cast<int>(((mac & 0xfff) ^ arlCrc16(bytes, 48)) % kBuckets);
}

int TableEngine::arlIndex(uint64_t mac, uint16_t vid) const {
    std::lock_guard<ChipMutex> g(lock_);
    return bucketOf(mac, vid) * 2;
}

// The full MAC of a row: the low 12 bits come back from its bucket.
uint64_t TableEngine::rowMac(int index) const {
    uint64_t row = arl_[index];
    uint64_t high = row & kMask36;
    uint16_t vid = static_cast<uint16_t>((row >> kRowVid) & 0xfff);
    int with_zero_low = bucketOf(high << 12, vid);  // CRC of the key alone
    uint64_t low = static_cast<uint64_t>((index / 2) ^ with_zero_low) & 0xfff;
    return high << 12 | low;
}

int TableEngine::arlValidRows() const {
    std::lock_guard<ChipMutex> g(lock_);
    int n = 0;
    for (uint64_t row : arl_)
        n += (row & kRowValid) != 0;
    return n;
}

void TableEngine::setArlBusyReads(int reads) {
    std::lock_guard<ChipMutex> g(lock_);
    arl_busy_reads_ = reads < 0 ? 0 : reads;
    if (arl_pending_ > arl_busy_reads_) arl_pending_ = arl_busy_reads_;
}

void TableEngine::loadBins(int bucket) {
    const int entry_regs[2] = {R_ARLA_ENTRY0, R_ARLA_ENTRY1};
    const int vid_regs[2] = {R_ARLA_VID_ENTRY0, R_ARLA_VID_ENTRY1};
    for (int bin = 0; bin < 2; bin++) {
        int index = bucket * 2 + bin;
        uint64_t row = arl_[index];
        uint64_t e = 0;
        if (row & kRowValid) {
            e = rowMac(index) | ((row >> kRowPort) & 0xff) << kEntPort |
                ((row >> kRowCon) & 3) << kEntCon | (row & (kRowStatic | kRowValid));
        }
        regs_.poke(*regs_.find(entry_regs[bin], 0), e);
        regs_.poke(*regs_.find(vid_regs[bin], 0), (row >> kRowVid) & 0xfff);
    }
}

void TableEngine::storeBins(int bucket) {
    const int entry_regs[2] = {R_ARLA_ENTRY0, R_ARLA_ENTRY1};
    const int vid_regs[2] = {R_ARLA_VID_ENTRY0, R_ARLA_VID_ENTRY1};
    for (int bin = 0; bin < 2; bin++) {
        uint64_t e = regs_.peek(*regs_.find(entry_regs[bin], 0));
        uint64_t vid = regs_.peek(*regs_.find(vid_regs[bin], 0)) & 0xfff;
        uint64_t row = 0;
        if (e & kRowValid) {
            row = ((e & kMask48) >> 12) | ((e >> kEntPort) & 0xff) << kRowPort | vid << kRowVid |
                  ((e >> kEntCon) & 3) << kRowCon | (e & (kRowStatic | kRowValid));
        }
        arl_[bucket * 2 + bin] = row;
    }
}

int TableEngine::firstWith(const std::vector<uint64_t> &rows, int from, uint64_t bit) {
    const int n = static_cast<int>(rows.size());
    int i = from < 0 ? 0 : from;
    // Blocks of rows per test until one has the bit.
    constexpr int kBlock = 32;
    for (; i + kBlock <= n; i += kBlock) {
        uint64_t any = 0;
        for (int k = 0; k < kBlock; k++)
            any |= rows[i + k];
        if (any & bit) break;
    }
    while (i < n && !(rows[i] & bit))
        i++;
    return i;
}

// Shows the first valid row from `from` on, or ends the search.
void TableEngine::presentSearch(int from) {
    int index = firstWith(arl_, from, kRowValid);
    if (index >= kArlRows) {
        search_next_ = -1;
        setField(R_ARLA_SRCH_CTL, F_ARLA_SRCH_VLID, 0);
        setField(R_ARLA_SRCH_CTL, F_ARLA_SRCH_STDN, 0);
        return;
    }
    uint64_t row = arl_[index];
    uint64_t result = rowMac(index) | ((row >> kRowPort) & 0xff) << kEntPort |
                      ((row >> kRowCon) & 3) << kEntCon | (row & (kRowStatic | kRowValid));
    regs_.poke(*regs_.find(R_ARLA_SRCH_RSLT, 0), result);
    regs_.poke(*regs_.find(R_ARLA_SRCH_RSLT_VID, 0), (row >> kRowVid) & 0xfff);
    setField(R_ARLA_SRCH_ADR, F_ARLA_SRCH_ADR, static_cast<uint64_t>(index));
    setField(R_ARLA_SRCH_CTL, F_ARLA_SRCH_VLID, 1);
    search_next_ = index + 1;
}

void TableEngine::fastAge() {
    bool by_port = field(R_MST_CON, F_AGE_MODE_PRT);
    bool by_vlan = field(R_MST_CON, F_AGE_MODE_VLAN);
    bool statics = field(R_MST_CON, F_EN_AGE_STATIC);
    uint64_t ports = field(R_CHIP0_PORT_AGE, F_AGE_EN_PRT);
    uint64_t vid = field(R_AGEOUT_EN_VID, F_AGE_EN_VID);
    for (int index = 0; index < kArlRows; index++) {
        uint64_t row = arl_[index];
        if (!(row & kRowValid) || ((row & kRowStatic) && !statics)) continue;
        if (by_port) {
            int port = static_cast<int>((row >> kRowPort) & 0x1f);
            if (multicast(rowMac(index)) || !((ports >> port) & 1)) continue;
        }
        if (by_vlan && ((row >> kRowVid) & 0xfff) != vid) continue;
        arl_[index] = 0;
    }
}

void TableEngine::installSearchHooks(void (TableEngine::*present)(int)) {
    regs_.onRead(*regs_.find(R_ARLA_RWCTL, 0), [this](uint64_t &) {
        if (arl_pending_ > 0) {
            arl_pending_--;
            return;
        }
        setField(R_ARLA_RWCTL, F_ARL_STRTDN, 0);
    });
    regs_.onWrite(*regs_.find(R_ARLA_SRCH_CTL, 0), [this, present](uint64_t, uint64_t) {
        if (field(R_ARLA_SRCH_CTL, F_ARLA_SRCH_STDN) == 0) return;
        search_consumed_ = false;
        (this->*present)(0);
    });
    // Reading the result takes it; the next one shows at the next poll.
    regs_.onRead(*regs_.find(R_ARLA_SRCH_RSLT, 0), [this](uint64_t &) {
        if (search_next_ >= 0) search_consumed_ = true;
    });
    regs_.onRead(*regs_.find(R_ARLA_SRCH_CTL, 0), [this, present](uint64_t &) {
        if (!search_consumed_) return;
        search_consumed_ = false;
        setField(R_ARLA_SRCH_CTL, F_ARLA_SRCH_VLID, 0);
        (this->*present)(search_next_);
    });
}

void TableEngine::installArl() {
    if (!arlSupported()) return;
    regs_.onWrite(*regs_.find(R_ARLA_RWCTL, 0), [this](uint64_t, uint64_t) {
        if (field(R_ARLA_RWCTL, F_ARL_STRTDN) == 0) return;
        int bucket = bucketOf(regs_.peek(*regs_.find(R_ARLA_MAC, 0)) & kMask48,
                              static_cast<uint16_t>(regs_.peek(*regs_.find(R_ARLA_VID, 0))));
        if (field(R_ARLA_RWCTL, F_ARL_RW))
            loadBins(bucket);
        else
            storeBins(bucket);
        arl_pending_ = arl_busy_reads_;
        if (arl_pending_ == 0) setField(R_ARLA_RWCTL, F_ARL_STRTDN, 0);
    });
    installSearchHooks(&TableEngine::presentSearch);
    regs_.onWrite(*regs_.find(R_MST_CON, 0), [this](uint64_t, uint64_t) {
        if (field(R_MST_CON, F_FAST_AGE_STDN) == 0) return;
        fastAge();
        setField(R_MST_CON, F_FAST_AGE_STDN, 0);
    });
}

bool TableEngine::learn(int port, uint64_t mac, uint16_t vid) {
    std::lock_guard<ChipMutex> g(lock_);
    if (multicast(mac) || port < 0 || port >= profile_.num_ports) return false;
    if (const RegInstance *dis = regs_.find(R_DIS_LEARN, 0)) {
        const chipdata_field *f = chipdata_reg_field(dis->row, F_DIS_LEARN);
        if (f != nullptr && ((regs_.peek(*dis) >> (f->bp + port)) & 1)) return false;
    }
    if (!wide_arl_.empty()) return wideLearn(port, mac, vid);
    if (!arlSupported()) return false;
    bool by_vlan = field(R_VLAN_CTRL0, F_VLAN_EN) && field(R_VLAN_CTRL0, F_VLAN_LEARN_MODE) == 3;
    int bucket = bucketOf(mac, vid);
    int free_bin = -1;
    for (int bin = 0; bin < 2; bin++) {
        int index = bucket * 2 + bin;
        uint64_t row = arl_[index];
        if (!(row & kRowValid)) {
            if (free_bin < 0) free_bin = bin;
            continue;
        }
        bool same = rowMac(index) == (mac & kMask48) &&
                    (!by_vlan || ((row >> kRowVid) & 0xfff) == (vid & 0xfffu));
        if (!same) continue;
        if (row & kRowStatic) return false;
        row &= ~(0x1full << kRowPort);
        arl_[index] = row | static_cast<uint64_t>(port) << kRowPort | kRowAge;
        return true;
    }
    if (free_bin < 0) return false;
    arl_[bucket * 2 + free_bin] = ((mac & kMask48) >> 12) |
                                  static_cast<uint64_t>(port) << kRowPort | kRowAge |
                                  static_cast<uint64_t>(vid & 0xfff) << kRowVid | kRowValid;
    return true;
}

std::optional<TableEngine::L2Hit> TableEngine::lookup(uint64_t mac, uint16_t vid) const {
    std::lock_guard<ChipMutex> g(lock_);
    mac &= kMask48;
    bool by_vlan = field(R_VLAN_CTRL0, F_VLAN_EN) && field(R_VLAN_CTRL0, F_VLAN_LEARN_MODE) == 3;
    if (!wide_arl_.empty()) {
        int slot = wideSlot(mac, vid);
        uint64_t e = wide_arl_[slot];
        if (!(e & kRowValid) || (e & kMask48) != mac) return std::nullopt;
        if (by_vlan && wide_vid_[slot] != (vid & 0xfff)) return std::nullopt;
        L2Hit hit;
        hit.is_static = (e & kRowStatic) != 0;
        if (multicast(mac)) {
            hit.group = true;
            uint64_t words[3];
            if (otherRow(2, static_cast<int>((e >> 48) & 0xfff), words)) hit.pbmp = words[0];
        } else {
            hit.port = static_cast<int>((e >> 48) & 0x3f) - profile_.port_offset;
            hit.cos = static_cast<int>((e >> kWidePri) & 3);
        }
        return hit;
    }
    // Multicast rows of this chip name a group the model does not follow:
    // such frames flood.
    if (!arlSupported() || multicast(mac)) return std::nullopt;
    int bucket = bucketOf(mac, vid);
    for (int bin = 0; bin < 2; bin++) {
        int index = bucket * 2 + bin;
        uint64_t row = arl_[index];
        if (!(row & kRowValid) || rowMac(index) != mac) continue;
        if (by_vlan && ((row >> kRowVid) & 0xfff) != (vid & 0xfffu)) continue;
        L2Hit hit;
        hit.is_static = (row & kRowStatic) != 0;
        hit.port = static_cast<int>((row >> kRowPort) & 0x1f);
        hit.cos = static_cast<int>((row >> kRowPri) & 3);
        return hit;
    }
    return std::nullopt;
}

void TableEngine::ageOnce() {
    wideAgeOnce();
    for (uint64_t &row : arl_) {
        if (!(row & kRowValid) || (row & kRowStatic)) continue;
        if (row & kRowAge)
            row &= ~kRowAge;
        else
            row = 0;
    }
}

void TableEngine::advanceAgeClock(uint32_t seconds) {
    std::lock_guard<ChipMutex> g(lock_);
    uint64_t period = field(R_SPTAGT, F_AGE_TIME);
    if (period == 0) return;
    age_seconds_ += seconds;
    if (age_seconds_ < period) return;
    // One pass however late the clock comes: passes owed run back to back
    // would take addresses heard a moment ago.
    age_seconds_ = static_cast<uint32_t>(age_seconds_ % period);
    ageOnce();
}

void TableEngine::installAger() {
    const RegInstance *timer = regs_.find(R_SPTAGT, 0);
    const chipdata_field *f = timer ? chipdata_reg_field(timer->row, F_AGE_TIME) : nullptr;
    if (f == nullptr) return;
    const uint64_t mask = (f->len >= 64 ? ~0ull : (1ull << f->len) - 1) << f->bp;
    // A new ageing time starts the ager again, as the chip's does: the
    // seconds counted under the old time owe no pass.
    regs_.onWrite(*timer, [this, mask](uint64_t before, uint64_t after) {
        if (((before ^ after) & mask) != 0) age_seconds_ = 0;
    });
}

}  // namespace sim
