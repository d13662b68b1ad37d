// Per-model register tables, built at compile time from the .def rows.
#include <array>
#include <cstring>

#include "chipdata/chipdata.h"

namespace {

// Shorthands used by the .def files.
constexpr uint32_t SYS = CHIPDATA_BLK_SYS;
constexpr uint32_t PORTS = CHIPDATA_BLK_PORTS;
constexpr uint32_t FE = CHIPDATA_BLK_FE;
constexpr uint32_t GE = CHIPDATA_BLK_GE;
constexpr uint32_t CPU = CHIPDATA_BLK_CPU;
constexpr uint32_t ADDR = CHIPDATA_TYPE_ADDR;
constexpr uint32_t PHY = CHIPDATA_TYPE_PORT_PHY;
constexpr uint32_t RO = CHIPDATA_RF_RO;

constexpr chipdata_field kEndField = {UINT32_MAX, 0, 0, 0};

constexpr chipdata_field make_field(int field, int hi, int lo, uint32_t flags) {
    // A reversed or oversized bit range fails the build.
    if (hi < lo || hi > 63 || lo < 0) throw "bad field bits";
    return {static_cast<uint32_t>(field), static_cast<uint16_t>(hi - lo + 1),
            static_cast<uint16_t>(lo), flags};
}

constexpr uint32_t width_flag(int bytes) {
    if (bytes == 1) return CHIPDATA_RF_8BIT;
    if (bytes == 2) return CHIPDATA_RF_16BIT;
    if (bytes == 3 || bytes == 4) return CHIPDATA_RF_32BIT;
    if (bytes >= 5 && bytes <= 8) return CHIPDATA_RF_64BIT;
    throw "bad register width";
}

constexpr uint64_t field_bits(const chipdata_field &f) {
    uint64_t ones = f.len >= 64 ? ~0ull : ((1ull << f.len) - 1);
    return ones << f.bp;
}

template <size_t N>
constexpr chipdata_reg make_reg(uint32_t block, uint32_t type, uint32_t count, uint32_t address,
                                int bytes, uint32_t flags, uint64_t reset, uint64_t mask,
                                const chipdata_field (&fields)[N]) {
    if (mask == 0) {
        for (size_t i = 0; i + 1 < N; i++)
            mask |= field_bits(fields[i]);
    }
    return {block,
            type,
            count,
            address,
            width_flag(bytes) | (count > 1 ? CHIPDATA_RF_ARRAY : 0) | flags,
            static_cast<uint32_t>(N - 1),
            N > 1 ? fields : nullptr,
            static_cast<uint32_t>(reset),
            static_cast<uint32_t>(reset >> 32),
            static_cast<uint32_t>(mask),
            static_cast<uint32_t>(mask >> 32),
            -1,
            0,
            0};
}

// A per-port MIB counter: one field over the whole register, writable so
// that the counter self-tests can load it.
template <size_t N>
constexpr chipdata_reg make_counter(int index, uint32_t address, int bytes,
                                    const chipdata_field (&fields)[N]) {
    chipdata_reg reg = make_reg(CHIPDATA_BLK_PORTS, CHIPDATA_TYPE_PORT_MIB, 1, address, bytes,
                                CHIPDATA_RF_COUNTER, 0, 0, fields);
    reg.counter_index = index;
    return reg;
}

struct RegRow {
    int id;
    chipdata_reg reg;
};

using RegTable = std::array<const chipdata_reg *, CHIPDATA_NUM_REGS>;

template <size_t N>
constexpr RegTable make_table(const RegRow (&rows)[N]) {
    RegTable table{};
    for (const RegRow &row : rows) {
        if (row.id < 0 || row.id >= CHIPDATA_NUM_REGS || table[row.id] != nullptr)
            throw "register listed twice or outside the family's ids";
        table[row.id] = &row.reg;
    }
    return table;
}

#define F(name, hi, lo) make_field(F_##name, hi, lo, 0)
#define FRO(name, hi, lo) make_field(F_##name, hi, lo, CHIPDATA_FF_RO)
#define ROW_FIELDS(name, blk, type, count, addr, bytes, flags, reset, mask, ...) \
    constexpr chipdata_field fields_##name[] = {__VA_ARGS__ __VA_OPT__(, ) kEndField};
#define ROW_ENTRY(name, blk, type, count, addr, bytes, flags, reset, mask, ...) \
    RegRow{R_##name, make_reg(blk, type, count, addr, bytes, flags, reset, mask, fields_##name)},
#define CTR_FIELDS(name, index, offset, bytes)                                              \
    constexpr chipdata_field fields_##name[] = {make_field(F_MIB_CNT, (bytes)*8 - 1, 0, 0), \
                                                kEndField};
#define CTR_ENTRY(name, index, offset, bytes) \
    RegRow{R_##name, make_counter(index, kMibPage << 8 | (offset), bytes, fields_##name)},

namespace dxp7101 {
constexpr uint32_t kMibPage = 0x50;
#define ROW ROW_FIELDS
#include "dxp7101.def"
#undef ROW
#define CTR CTR_FIELDS
#include "mib_counters.def"
#undef CTR
constexpr RegRow rows[] = {
#define ROW ROW_ENTRY
#include "dxp7101.def"
#undef ROW
#define CTR CTR_ENTRY
#include "mib_counters.def"
#undef CTR
};
constexpr RegTable table = make_table(rows);
}  // namespace dxp7101

namespace dxp7106 {
constexpr uint32_t kMibPage = 0x68;
#define ROW ROW_FIELDS
#include "dxp7106.def"
#undef ROW
#define CTR CTR_FIELDS
#include "mib_counters.def"
#undef CTR
constexpr RegRow rows[] = {
#define ROW ROW_ENTRY
#include "dxp7106.def"
#undef ROW
#define CTR CTR_ENTRY
#include "mib_counters.def"
#undef CTR
};
constexpr RegTable table = make_table(rows);
}  // namespace dxp7106

namespace dxp7102 {
constexpr uint32_t kMibPage = 0x50;
#define ROW ROW_FIELDS
#include "dxp7102.def"
#undef ROW
#define CTR CTR_FIELDS
#include "mib_counters.def"
#undef CTR
constexpr RegRow rows[] = {
#define ROW ROW_ENTRY
#include "dxp7102.def"
#undef ROW
#define CTR CTR_ENTRY
#include "mib_counters.def"
#undef CTR
};
constexpr RegTable table = make_table(rows);
}  // namespace dxp7102

#undef CTR_ENTRY
#undef CTR_FIELDS
#undef ROW_ENTRY
#undef ROW_FIELDS
#undef FRO
#undef F

}  // namespace

const chipdata_reg *const *chipdata_reg_table(chipdata_model model) {
    switch (model) {
        case CHIPDATA_DXP7102_A0:
        case CHIPDATA_DXP7102_A1:
            return dxp7102::table.data();
        case CHIPDATA_DXP7101:
            return dxp7101::table.data();
        case CHIPDATA_DXP7106:
            return dxp7106::table.data();
        default:
            return nullptr;
    }
}

const chipdata_reg *chipdata_reg_info(chipdata_model model, int reg_id) {
    const chipdata_reg *const *table = chipdata_reg_table(model);
    if (table == nullptr || reg_id < 0 || reg_id >= CHIPDATA_NUM_REGS) return nullptr;
    return table[reg_id];
}

const chipdata_field *chipdata_reg_field(const chipdata_reg *reg, int field_id) {
    if (reg == nullptr) return nullptr;
    for (uint32_t i = 0; i < reg->num_fields; i++) {
        if (reg->fields[i].field == static_cast<uint32_t>(field_id)) return &reg->fields[i];
    }
    return nullptr;
}
