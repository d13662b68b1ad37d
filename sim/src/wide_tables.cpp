// The tables of the 53-port chips: one hashed address-table slot per key,
// reached through ARLA_MAC/ARLA_VID and ARLA_ENTRY/ARLA_VID_ENTRY, the
// VLAN_1Q, MARL_PBMP and MSPT_TAB rows through OTHER_TABLE_INDEX/DATA0-2,
// the table walk and the fast age of the table, a port or a VLAN.
#include "sim/tables.h"

namespace sim {

namespace {

constexpr uint64_t kMask48 = (1ull << 48) - 1;
constexpr uint64_t kStatic = 1ull << 62;
constexpr uint64_t kValid = 1ull << 63;
constexpr int kSlots = TableEngine::kArlRows;
const int kDataRegs[3] = {R_OTHER_TABLE_DATA0, R_OTHER_TABLE_DATA1, R_OTHER_TABLE_DATA2};
constexpr uint64_t kAge = 1ull << 59;
constexpr int kPid = 48;
constexpr uint32_t kWindowSpt = 0x3080;  // the DXP7102's spanning-tree groups in the window
constexpr int kSptGroups = 32;

bool multicast(uint64_t mac) {
    return (mac >> 40) & 1;
}

}  // namespace

// The key is the VLAN id (per-VLAN learning, else 0) over the MAC, 47 bits
// of CRC from the top, folded with the MAC's low 13 bits.
int TableEngine::wideSlot(uint64_t mac, uint16_t vid) const {
    bool by_vlan = field(R_VLAN_CTRL0, F_VLAN_EN) && field(R_VLAN_CTRL0, F_VLAN_LEARN_MODE) == 3;
    uint64_t key = (by_vlan ? static_cast<uint64_t>(vid & 0xfff) : 0) << 52 | (mac & kMask48) << 4;
    uint8_t bytes[8];
    for (int k = 0; k < 8; k++)
        bytes[k] = static_cast<uint8_t>(key >> (56 - 8 * k));
    return static_cast<int>(((mac & 0x1fff) ^ arlCrc16(bytes, 47)) % kSlots);
}

bool TableEngine::wideLearn(int port, uint64_t mac, uint16_t vid) {
    bool by_vlan = field(R_VLAN_CTRL0, F_VLAN_EN) && field(R_VLAN_CTRL0, F_VLAN_LEARN_MODE) == 3;
    int slot = wideSlot(mac, vid);
    uint64_t e = wide_arl_[slot];
    uint64_t pid = static_cast<uint64_t>(port + profile_.port_offset) & 0x3f;
    if (e & kValid) {
        bool same =
            (e & kMask48) == (mac & kMask48) && (!by_vlan || wide_vid_[slot] == (vid & 0xfff));
        if (!same || (e & kStatic)) return false;
        wide_arl_[slot] = (e & ~(0x3full << kPid)) | pid << kPid | kAge;
        return true;
    }
    wide_arl_[slot] = (mac & kMask48) | pid << kPid | kAge | kValid;
    wide_vid_[slot] = static_cast<uint16_t>(vid & 0xfff);
    return true;
}

// Dynamic entries seen since the last pass lose their hit bit; the others go.
void TableEngine::wideAgeOnce() {
    for (size_t i = 0; i < wide_arl_.size(); i++) {
        uint64_t &e = wide_arl_[i];
        if (!(e & kValid) || (e & kStatic)) continue;
        if (e & kAge) {
            e &= ~kAge;
        } else {
            e = 0;
            wide_vid_[i] = 0;
        }
    }
}

bool TableEngine::otherRow(int table, int index, uint64_t words[3]) const {
    std::lock_guard<ChipMutex> g(lock_);
    if (wide_arl_.empty()) {
        // The DXP7102 keeps its VLAN and spanning-tree tables in the memory
        // window: members, untagged ports and group in one 64-bit entry, a
        // group's two-bit port states in another (word 0 as it is).
        if (!arlSupported()) return false;
        if (table == 3) {
            auto t = window_.find(kWindowSpt + static_cast<uint32_t>(index % kSptGroups));
            words[0] = t == window_.end() ? 0 : t->second;
            words[1] = words[2] = 0;
            return true;
        }
        if (table != 1) return false;
        auto v = window_.find(0x2000u + static_cast<uint32_t>(index & 0xfff));
        uint64_t e = v == window_.end() ? 0 : v->second;
        words[0] = e & 0x7ffffff;
        words[1] = (e >> 27) & 0x7ffffff;
        words[2] = (e >> 54) & 0x3f;
        return true;
    }
    auto it = other_.find(static_cast<uint32_t>(table << 16 | (index & 0xfff)));
    for (int w = 0; w < 3; w++)
        words[w] = it == other_.end() ? 0 : it->second[w];
    return true;
}

void TableEngine::widePresent(int from) {
    if (int i = firstWith(wide_arl_, from, kValid); i < kSlots) {
        regs_.poke(*regs_.find(R_ARLA_SRCH_RSLT, 0), wide_arl_[i]);
        regs_.poke(*regs_.find(R_ARLA_SRCH_RSLT_VID, 0), wide_vid_[i]);
        setField(R_ARLA_SRCH_ADR, F_ARLA_SRCH_ADR, static_cast<uint64_t>(i));
        setField(R_ARLA_SRCH_CTL, F_ARLA_SRCH_VLID, 1);
        search_next_ = i + 1;
        return;
    }
    search_next_ = -1;
    setField(R_ARLA_SRCH_CTL, F_ARLA_SRCH_VLID, 0);
    setField(R_ARLA_SRCH_CTL, F_ARLA_SRCH_STDN, 0);
}

void TableEngine::installWide() {
    if (regs_.find(R_OTHER_TABLE_INDEX, 0) == nullptr || regs_.find(R_ARLA_ENTRY, 0) == nullptr)
        return;
    wide_arl_.assign(kSlots, 0);
    wide_vid_.assign(kSlots, 0);
    regs_.onWrite(*regs_.find(R_ARLA_RWCTL, 0), [this](uint64_t, uint64_t) {
        if (field(R_ARLA_RWCTL, F_ARL_STRTDN) == 0) return;
        bool read = field(R_ARLA_RWCTL, F_TAB_RW) != 0;
        uint64_t table = field(R_ARLA_RWCTL, F_TAB_INDEX);
        if (table == 0) {
            uint64_t mac = regs_.peek(*regs_.find(R_ARLA_MAC, 0)) & kMask48;
            auto vid = static_cast<uint16_t>(regs_.peek(*regs_.find(R_ARLA_VID, 0)) & 0xfff);
            int slot = wideSlot(mac, vid);
            if (read) {
                regs_.poke(*regs_.find(R_ARLA_ENTRY, 0), wide_arl_[slot]);
                regs_.poke(*regs_.find(R_ARLA_VID_ENTRY, 0), wide_vid_[slot]);
            } else {
                uint64_t e = regs_.peek(*regs_.find(R_ARLA_ENTRY, 0));
                wide_arl_[slot] = e & kValid ? e : 0;
                wide_vid_[slot] =
                    e & kValid ? static_cast<uint16_t>(regs_.peek(*regs_.find(R_ARLA_VID_ENTRY, 0)))
                               : 0;
            }
        } else {
            uint32_t key =
                static_cast<uint32_t>(table << 16 | field(R_OTHER_TABLE_INDEX, F_TABLE_INDEX));
            for (int w = 0; w < 3; w++) {
                const RegInstance &r = *regs_.find(kDataRegs[w], 0);
                if (read)
                    regs_.poke(r, other_.count(key) ? other_[key][w] : 0);
                else
                    other_[key][w] = regs_.peek(r);
            }
        }
        arl_pending_ = arl_busy_reads_;
        if (arl_pending_ == 0) setField(R_ARLA_RWCTL, F_ARL_STRTDN, 0);
    });
    installSearchHooks(&TableEngine::widePresent);
    // The fast age takes the dynamic entries (static ones too with
    // EN_AGE_STATIC) of the whole table, or with AGE_MODE_PRT/AGE_MODE_VLAN
    // only the unicast entries of AGEOUT_CTL's port and/or VLAN.
    regs_.onWrite(*regs_.find(R_MST_CON, 0), [this](uint64_t, uint64_t) {
        if (field(R_MST_CON, F_FAST_AGE_STDN) == 0) return;
        const bool by_port = field(R_MST_CON, F_AGE_MODE_PRT) != 0;
        const bool by_vlan = field(R_MST_CON, F_AGE_MODE_VLAN) != 0;
        const bool with_static = field(R_MST_CON, F_EN_AGE_STATIC) != 0;
        const bool filter_reg = regs_.find(R_AGEOUT_CTL, 0) != nullptr;
        const uint64_t port = filter_reg ? field(R_AGEOUT_CTL, F_AGE_EN_PRT) : 0;
        const uint64_t vid = filter_reg ? field(R_AGEOUT_CTL, F_AGE_EN_VID) : 0;
        for (int i = 0; i < kSlots; i++) {
            const uint64_t e = wide_arl_[i];
            if (!(e & kValid) || ((e & kStatic) && !with_static)) continue;
            if ((by_port || by_vlan) && !filter_reg) continue;
            if (by_port && (multicast(e & kMask48) || ((e >> kPid) & 0x3f) != port)) continue;
            if (by_vlan && wide_vid_[i] != vid) continue;
            wide_arl_[i] = 0;
            wide_vid_[i] = 0;
        }
        age_pending_ = arl_busy_reads_;
        if (age_pending_ == 0) setField(R_MST_CON, F_FAST_AGE_STDN, 0);
    });
    regs_.onRead(*regs_.find(R_MST_CON, 0), [this](uint64_t &) {
        if (age_pending_ > 0 && --age_pending_ > 0) return;
        setField(R_MST_CON, F_FAST_AGE_STDN, 0);
    });
}

}  // namespace sim
