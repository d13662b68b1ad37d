// Table-memory layouts. The DXP7102 rows are complete; the DXP7101 family
// reaches its tables through the table access registers (base unused).
#include "chipdata/memories.h"

#include <array>

namespace {

constexpr chipdata_field fld(int field, int hi, int lo) {
    if (hi < lo || lo < 0 || hi > 191) throw "bad memory field bits";
    return {static_cast<uint32_t>(field), static_cast<uint16_t>(hi - lo + 1),
            static_cast<uint16_t>(lo), 0};
}

template <size_t N>
constexpr chipdata_mem mem(int lo, int hi, uint32_t base, int bytes,
                           const chipdata_field (&fields)[N]) {
    return {lo, hi, base, bytes, static_cast<int>(N), fields};
}
constexpr chipdata_mem mem(int lo, int hi, uint32_t base, int bytes) {
    return {lo, hi, base, bytes, 0, nullptr};
}

namespace dxp7102 {
// Raw row: the low 12 MAC bits are the bucket's and are not stored.
constexpr chipdata_field l2_arl[] = {
    fld(F_MACADDR2, 35, 0), fld(F_PORTID_R, 40, 36),   fld(F_PRIORITY_R, 42, 41),
    fld(F_AGE, 43, 43),     fld(F_VID_R, 55, 44),      fld(F_MACADDR1, 56, 56),
    fld(F_CONTROL, 58, 57), fld(F_RESERVED_R, 61, 59), fld(F_STATIC, 62, 62),
    fld(F_VALID_R, 63, 63),
};
constexpr chipdata_field l2_arl_sw[] = {
    fld(F_MACADDR, 47, 0),     fld(F_PORTID_R, 52, 48), fld(F_PRIORITY_R, 54, 53),
    fld(F_AGE, 55, 55),        fld(F_VID_R, 67, 56),    fld(F_CONTROL, 69, 68),
    fld(F_RESERVED_R, 72, 70), fld(F_STATIC, 73, 73),   fld(F_VALID_R, 74, 74),
};
constexpr chipdata_field l2_marl_sw[] = {
    fld(F_MACADDR, 47, 0),  fld(F_MARL_PBMP_IDX, 55, 48), fld(F_VID_R, 67, 56),
    fld(F_CONTROL, 69, 68), fld(F_RESERVED_R, 72, 70),    fld(F_STATIC, 73, 73),
    fld(F_VALID_R, 74, 74),
};
constexpr chipdata_field vlan_1q[] = {
    fld(F_FORWARD_MAP, 26, 0),
    fld(F_UNTAG_MAP, 53, 27),
    fld(F_MSPT_ID, 59, 54),
    fld(F_VALID_R, 60, 60),
};
constexpr chipdata_field marl_pbmp[] = {
    fld(F_EVEN_PBMP, 26, 0), fld(F_EVEN_VALID, 27, 27), fld(F_RESERVED_R, 29, 28),
    fld(F_ODD_PBMP, 56, 30), fld(F_ODD_VALID, 57, 57),
};
constexpr chipdata_field stsec_mac[] = {fld(F_MACADDR, 47, 0), fld(F_VLAID, 48, 48)};

constexpr std::array<chipdata_mem, CHIPDATA_NUM_MEMS> make_table() {
    std::array<chipdata_mem, CHIPDATA_NUM_MEMS> t{};
    t[M_GEN_MEMORY] = mem(0, 0x2003ff, 0, 8);
    t[M_L2_ARL] = mem(0, 8191, 0, 8, l2_arl);
    t[M_L2_ARL_SW] = mem(0, 8191, 0, 10, l2_arl_sw);
    t[M_L2_MARL_SW] = mem(0, 8191, 0, 10, l2_marl_sw);
    t[M_MARL_PBMP] = mem(0, 127, 0x3000, 8, marl_pbmp);
    t[M_MSPT_TAB] = mem(0, 31, 0x3080, 8);
    t[M_STSEC_COUNTER0] = mem(0, 23, 0x1000c0, 8);
    t[M_STSEC_COUNTER1] = mem(0, 23, 0x1002c0, 8);
    t[M_STSEC_COUNTER2] = mem(0, 23, 0x1004c0, 8);
    t[M_STSEC_MAC0] = mem(0, 191, 0x100000, 8, stsec_mac);
    t[M_STSEC_MAC1] = mem(0, 191, 0x100200, 8, stsec_mac);
    t[M_STSEC_MAC2] = mem(0, 191, 0x100400, 8, stsec_mac);
    t[M_VLAN_1Q] = mem(0, 4095, 0x2000, 8, vlan_1q);
    return t;
}
constexpr auto table = make_table();
}  // namespace dxp7102

namespace dxp7101 {
// Every field of these tables is little-endian.
constexpr chipdata_field le(chipdata_field f) {
    f.flags = CHIPDATA_FF_LE;
    return f;
}
constexpr chipdata_field l2_arl_sw[] = {
    le(fld(F_MACADDR, 47, 0)),     le(fld(F_PORTID_R, 53, 48)), le(fld(F_RESERVED_R, 56, 54)),
    le(fld(F_PRIORITY_R, 58, 57)), le(fld(F_AGE, 59, 59)),      le(fld(F_VID_R, 71, 60)),
    le(fld(F_CONTROL, 73, 72)),    le(fld(F_STATIC, 77, 77)),   le(fld(F_VALID_R, 78, 78)),
};
constexpr chipdata_field l2_marl_sw[] = {
    le(fld(F_MACADDR, 47, 0)),  le(fld(F_MARL_PBMP_IDX, 59, 48)), le(fld(F_VID_R, 71, 60)),
    le(fld(F_CONTROL, 73, 72)), le(fld(F_RESERVED_R, 76, 74)),    le(fld(F_STATIC, 77, 77)),
    le(fld(F_VALID_R, 78, 78)),
};
constexpr chipdata_field vlan_1q[] = {
    le(fld(F_FORWARD_MAP, 52, 0)),
    le(fld(F_UNTAG_MAP, 116, 64)),
    le(fld(F_MSPT_ID, 135, 128)),
};
constexpr chipdata_field marl_pbmp[] = {le(fld(F_PBMP_R, 52, 0))};
constexpr std::array<chipdata_mem, CHIPDATA_NUM_MEMS> make_table() {
    std::array<chipdata_mem, CHIPDATA_NUM_MEMS> t{};
    t[M_VLAN_1Q] = mem(0, 4095, 0, 24, vlan_1q);
    t[M_MARL_PBMP] = mem(0, 4095, 0, 24, marl_pbmp);
    t[M_MSPT_TAB] = mem(0, 255, 0, 24);
    t[M_L2_ARL_SW] = mem(0, 8191, 0, 10, l2_arl_sw);
    t[M_L2_MARL_SW] = mem(0, 8191, 0, 10, l2_marl_sw);
    return t;
}
constexpr auto table = make_table();
}  // namespace dxp7101

}  // namespace

const chipdata_mem *chipdata_mem_info(chipdata_model model, int m) {
    if (m < 0 || m >= CHIPDATA_NUM_MEMS) return nullptr;
    const chipdata_mem *row = nullptr;
    switch (model) {
        case CHIPDATA_DXP7102_A0:
        case CHIPDATA_DXP7102_A1:
            row = &dxp7102::table[m];
            break;
        case CHIPDATA_DXP7101:
        case CHIPDATA_DXP7106:
            row = &dxp7101::table[m];
            break;
        default:
            return nullptr;
    }
    return row->bytes != 0 ? row : nullptr;
}

const chipdata_field *chipdata_mem_field(const chipdata_mem *m, int field_id) {
    if (m == nullptr) return nullptr;
    for (int i = 0; i < m->num_fields; i++) {
        if (m->fields[i].field == static_cast<uint32_t>(field_id)) return &m->fields[i];
    }
    return nullptr;
}
