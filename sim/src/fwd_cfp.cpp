// The field processor in the pipeline: the frame's key in each slice view,
// the first active row that matches, its meter (a token bucket on the model
// clock) choosing the in-band or out-of-band action and counter.
#include "sim/fabric.h"

namespace sim {

namespace {

constexpr int kWords = CfpEngine::kRowWords;

struct Key {
    uint32_t w[kWords] = {};
    void put(int pos, int len, uint64_t value) {
        for (int i = 0; i < len; i++) {
            if ((value >> i) & 1) w[(pos + i) / 32] |= 1u << ((pos + i) % 32);
        }
    }
};

uint32_t be32(const std::vector<uint8_t> &f, size_t at) {
    return at + 4 <= f.size()
               ? static_cast<uint32_t>(f[at] << 24 | f[at + 1] << 16 | f[at + 2] << 8 | f[at + 3])
               : 0;
}

uint16_t be16(const std::vector<uint8_t> &f, size_t at) {
    return at + 2 <= f.size() ? static_cast<uint16_t>(f[at] << 8 | f[at + 1]) : 0;
}

// The user-defined fields of each slice: key position and width of the value
// (its valid bit sits just above) and where the port's offset is kept.
struct UdfSlot {
    int slice;
    int pos;
    int bits;
    int reg;
    int field;
};
constexpr UdfSlot kUdfSlots[] = {
    {0, 2, 8, R_UDF_OFFSET0_P, F_UDF_OFFSET}, {2, 2, 32, R_UDF_OFFSET2_P, F_UDF_OFFSET},
    {3, 66, 32, R_UDF_OFFSET3_P, F_OFFSET_A}, {3, 34, 32, R_UDF_OFFSET3_P, F_OFFSET_B},
    {3, 2, 32, R_UDF_OFFSET3_P, F_OFFSET_C},  {4, 130, 32, R_UDF_OFFSET4_P, F_OFFSET_A},
    {4, 98, 32, R_UDF_OFFSET4_P, F_OFFSET_B}, {4, 66, 32, R_UDF_OFFSET4_P, F_OFFSET_C},
    {4, 34, 32, R_UDF_OFFSET4_P, F_OFFSET_D}, {4, 2, 32, R_UDF_OFFSET4_P, F_OFFSET_E},
};
// Bits 166..162 of slice 4 and 100..98 of slice 3 are the valid bits of
// fields A..E; slices 0 and 2 have theirs right above the value.
int udfValidBit(const UdfSlot &u) {
    if (u.slice == 3) return 100 - (66 - u.pos) / 32;
    if (u.slice == 4) return 166 - (130 - u.pos) / 32;
    return u.pos + u.bits;
}

// kbit of a REF_CAP code.
double burstOf(uint32_t code) {
    return static_cast<double>(131072u >> (code > 11 ? 11 : code));
}

}  // namespace

// UDF_OFFSET4_P serves the first ports on the DXP7101; the next ones have
// theirs in UDF_OFFSET4_EXP.
const RegInstance *Fabric::udfOffsetReg(int reg_id, int port) const {
    if (const RegInstance *r = portReg(reg_id, port)) return r;
    const RegInstance *first = reg(reg_id);
    if (reg_id != R_UDF_OFFSET4_P || first == nullptr) return nullptr;
    return reg(R_UDF_OFFSET4_EXP, port - static_cast<int>(first->row->count));
}

Fabric::CfpResult Fabric::fieldProcessor(int port, const std::vector<uint8_t> &f,
                                         const FrameView &view, const Classified &c) {
    CfpResult result;
    CfpEngine *cfp = chip_.cfp();
    if (cfp == nullptr || !((field(R_CFP_GLOBAL_CTL, F_EN_CFP_MAP) >> port) & 1)) return result;
    uint64_t slices = field(portReg(R_SLICE_MAP_P, port), F_SLICE_SEL_MAP, 0x1f);

    // The fields every slice shares, then each slice's own.
    Key common;
    common.put(0, 2, 3);  // VALID_R
    common.put(176, 6, static_cast<uint64_t>(port + profile_.port_offset));
    common.put(175, 1, view.tagged);
    common.put(173, 1, view.ethertype >= 0x600);
    common.put(171, 1, view.ethertype < 0x600);
    size_t l3 = view.l3, l4 = view.l3 + (view.ipv4 ? (f[view.l3] & 0xf) * 4u : 0);
    bool tcp = view.ipv4 && view.ip_proto == 6, udp = view.ipv4 && view.ip_proto == 17;
    uint32_t sip = view.ipv4 ? be32(f, l3 + 12) : 0, dip = view.ipv4 ? be32(f, l3 + 16) : 0;
    uint16_t sport = tcp || udp ? be16(f, l4) : 0, dport = tcp || udp ? be16(f, l4 + 2) : 0;
    Key keys[5] = {common, common, common, common, common};
    for (int s = 0; s < 5; s++)
        keys[s].put(182, 3, static_cast<uint64_t>(s));
    keys[0].put(122, 48, view.dst);
    keys[0].put(74, 48, view.src);
    keys[0].put(50, 12, c.vid);
    keys[0].put(34, 16, view.ethertype);
    keys[1].put(122, 48, view.dst);
    keys[1].put(74, 48, view.src);
    keys[1].put(66, 1, view.ipv4);
    keys[1].put(34, 32, sip);
    keys[1].put(2, 32, dip);
    keys[2].put(164, 1, view.ipv4);
    keys[2].put(163, 1, view.ipv4 && sip == dip);
    keys[2].put(162, 1, tcp || udp);
    keys[2].put(130, 32, dip);
    keys[2].put(98, 32, sip);
    keys[2].put(82, 16, dport);
    keys[2].put(66, 16, sport);
    keys[2].put(65, 1, (tcp || udp) && sport == dport);
    keys[2].put(64, 1, (tcp || udp) && sport < 1024);
    keys[2].put(63, 1, tcp);
    keys[2].put(62, 1, tcp && be32(f, l4 + 4) == 0);
    keys[2].put(58, 4, tcp && l4 + 12 < f.size() ? f[l4 + 12] >> 4 : 0);
    keys[2].put(50, 6, tcp && l4 + 13 < f.size() ? f[l4 + 13] & 0x3f : 0);
    keys[2].put(42, 8, view.ip_proto);
    keys[3].put(154, 16, view.ethertype);
    keys[3].put(138, 16, c.vid);
    keys[3].put(130, 8, view.ip_proto);
    keys[3].put(122, 8, view.ipv4 ? f[l3] >> 4 : 0);
    keys[3].put(114, 8, view.ipv4 ? f[l3 + 1] : 0);
    keys[3].put(106, 8, view.ipv4 ? f[l3 + 8] : 0);
    // User-defined fields: bytes of the frame as received at the port's
    // offsets, valid when the frame reaches that far.
    for (const UdfSlot &u : kUdfSlots) {
        const RegInstance *r = udfOffsetReg(u.reg, port);
        if (r == nullptr) continue;
        size_t at = field(r, u.field);
        size_t bytes = static_cast<size_t>(u.bits / 8);
        if (at + bytes > f.size()) continue;
        uint64_t value = 0;
        for (size_t k = 0; k < bytes; k++)
            value = value << 8 | f[at + k];
        keys[u.slice].put(u.pos, u.bits, value);
        keys[u.slice].put(udfValidBit(u), 1, 1);
    }

    for (int i = 0; i < CfpEngine::kRows; i++) {
        CfpEngine::Row row = cfp->row(i);
        if ((row.data[0] & 3) != 3 || (row.mask[0] & 3) != 3) continue;
        int slice = static_cast<int>((row.data[5] >> (182 - 160)) & 7);
        if (slice > 4 || !((slices >> slice) & 1)) continue;
        bool hit = true;
        for (int w = 0; w < kWords && hit; w++)
            hit = ((keys[slice].w[w] ^ row.data[w]) & row.mask[w]) == 0;
        if (!hit) continue;

        bool in_profile = true;
        if (row.meter[1] >> 31) {  // RATE_REFRESH_EN
            // The bucket belongs to the meter as written: a new one starts full.
            Meter &m = meters_[i];
            uint64_t serial = cfp->meterSerial(i);
            if (m.serial != serial) m = Meter{serial, {}};
            in_profile = takeTokens(m.bucket, rateKbps(row.meter[1] & 0xff),
                                    burstOf((row.meter[1] >> 8) & 0xf), f.size() + 4);
        }
        if (in_profile)
            row.in_band++;
        else
            row.out_band++;
        cfp->setRow(i, row);
        uint32_t a = in_profile ? row.action : row.action >> 16;
        if (a & 0x400) result.pri = static_cast<int>((a >> 8) & 3);
        if (a & 0x80) {
            int dest = static_cast<int>(a & 0x3f);
            int p = dest - profile_.port_offset;
            if (dest >= 62)
                result.drop = true;
            else if (a & 0x40)
                result.copy = p;
            else
                result.redirect = p;
        }
        break;
    }
    return result;
}

}  // namespace sim
