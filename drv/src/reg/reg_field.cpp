// Field get and set on a register value held in memory.
#include <algorithm>
#include <array>

#include "drv_if.h"
#include "drv_reg.h"
#include "reg_internal.h"
#include "soc_error.h"

namespace {

// The chip numbers these ports 24 higher than the switch layer does.
constexpr uint32_t kPortOffset = 24;
constexpr uint32_t kPortFieldsDxp7106[] = {
    F_PORT_ID,          F_SNAPSHOT_PORT, F_EGRESS_P,    F_ARL_PID,     F_ARLA_SRCH_RSLT_PRID,
    F_DIG_FLOWCON_PROT, F_SEARCH_OPTION, F_NEW_DEST_IB, F_NEW_DEST_OB,
};
constexpr uint32_t kPortFieldsDxp71090[] = {
    F_PORT_ID,          F_SNAPSHOT_PORT, F_EGRESS_P,   F_ARL_PID,    F_ARLA_SRCH_RSLT_PRID,
    F_DIG_FLOWCON_PROT, F_NEW_FWD_OB,    F_NEW_FWD_IB, F_PORT_NUM_R, F_RCM_PORT,
};

template <size_t N>
bool listed(const uint32_t (&fields)[N], uint32_t field) {
    return std::find(std::begin(fields), std::end(fields), field) != std::end(fields);
}

bool is_port_field(int unit, uint32_t field) {
    uint32_t flags = SOC_CONTROL(unit)->chip_flags;
    if (flags & SOC_CHIP_DXP7106) return listed(kPortFieldsDxp7106, field);
    if (flags & SOC_CHIP_DXP71090) return listed(kPortFieldsDxp71090, field);
    return false;
}

// Register values are at most 64 bits.
constexpr int kMaxFieldBits = 64;
using FieldValue = std::array<uint32_t, 2>;

uint32_t ones(int n) {
    return n >= 32 ? ~0u : (1u << n) - 1;
}

int field_words(const chipdata_field &f) {
    return (std::min<int>(f.len, kMaxFieldBits) + 31) / 32;
}

// The field's row; null after the assertion "finfop" when the register has
// no such field.
const chipdata_field *field_row(int unit, uint32_t reg, uint32_t field) {
    const chipdata_reg *row = drv_reg_row(unit, reg);
    if (row == nullptr) return nullptr;
    const chipdata_field *f = chipdata_reg_field(row, static_cast<int>(field));
    if (f == nullptr) sal_assert("finfop", __FILE__, __LINE__);
    return f;
}

// Each output word takes 32 bits of the value from the current position,
// joining two register words when the position is not word-aligned; the last
// word is masked to the remaining length.
void extract(const uint32_t *regbuf, int bp, int len, uint32_t *out) {
    for (int i = 0; len > 0; i++, bp += 32, len -= 32) {
        int n = std::min(len, 32);
        int w = bp / 32, s = bp % 32;
        uint32_t v = regbuf[w] >> s;
        if (s != 0 && s + n > 32) v |= regbuf[w + 1] << (32 - s);
        out[i] = v & ones(n);
    }
}

void deposit(uint32_t *regbuf, int bp, int len, const uint32_t *in) {
    for (int i = 0; len > 0; i++, bp += 32, len -= 32) {
        int n = std::min(len, 32);
        int w = bp / 32, s = bp % 32;
        uint32_t m = ones(n);
        uint32_t v = in[i] & m;
        regbuf[w] = (regbuf[w] & ~(m << s)) | (v << s);
        if (s != 0 && s + n > 32)
            regbuf[w + 1] = (regbuf[w + 1] & ~(m >> (32 - s))) | (v >> (32 - s));
    }
}

bool value_fits(const chipdata_field &f, const FieldValue &value) {
    int words = field_words(f);
    int tail = f.len % 32;
    return tail == 0 || (value[words - 1] & ~ones(tail)) == 0;
}

// The caller's value as the chip holds it.
FieldValue chip_value(int unit, uint32_t field, const chipdata_field &f, const uint32_t *fldbuf) {
    FieldValue value{0, 0};
    std::copy_n(fldbuf, field_words(f), value.begin());
    if (is_port_field(unit, field)) value[0] += kPortOffset;
    return value;
}

}  // namespace

int drv_reg_field_get(int unit, uint32_t reg, const uint32_t *regbuf, uint32_t field,
                      uint32_t *fldbuf) {
    const chipdata_field *f = field_row(unit, reg, field);
    if (f == nullptr) return SOC_E_PARAM;
    extract(regbuf, f->bp, std::min<int>(f->len, kMaxFieldBits), fldbuf);
    if (is_port_field(unit, field)) fldbuf[0] -= kPortOffset;
    return 0;
}

int drv_reg_field_set(int unit, uint32_t reg, uint32_t *regbuf, uint32_t field,
                      const uint32_t *fldbuf) {
    const chipdata_field *f = field_row(unit, reg, field);
    if (f == nullptr) return SOC_E_PARAM;
    FieldValue value = chip_value(unit, field, *f, fldbuf);
    if (!value_fits(*f, value)) {
        sal_assert("!VALUE_TOO_BIG_FOR_FIELD", __FILE__, __LINE__);
        return SOC_E_PARAM;
    }
    deposit(regbuf, f->bp, std::min<int>(f->len, kMaxFieldBits), value.data());
    return 0;
}

bool drv_reg_field_fits(int unit, uint32_t reg, uint32_t field, const uint32_t *fldbuf) {
    const chipdata_reg *row = SOC_CONTROL(unit) ? SOC_REG_INFO(unit, reg) : nullptr;
    const chipdata_field *f = row ? chipdata_reg_field(row, static_cast<int>(field)) : nullptr;
    return f != nullptr && fldbuf != nullptr && value_fits(*f, chip_value(unit, field, *f, fldbuf));
}
