// Register descriptions for the diagnostics.
#include "soc_regdesc.h"

#include <array>
#include <cstdio>

#include "chipdata/chipdata.h"
#include "drv_if.h"
#include "drv_reg.h"
#include "sal.h"
#include "soc_control.h"
#include "soc_error.h"

namespace {

constexpr uint32_t kIndexedBlock = 0x2000000;  // chip-wide registers: arrays by index

// Pages of a per-port page range fold onto the range's first page.
struct PageRange {
    int first;
    int last;
    int to;
};
struct FoldClass {
    uint32_t flags;  // 0: every other chip
    std::array<PageRange, 4> ranges;
    int count;
};
constexpr FoldClass kFolds[] = {
    {0x200000, {{{0x10, 0x2b, 0x10}, {0x50, 0x6a, 0x50}}}, 2},
    {0x4000000,
     {{{0xa0, 0xb7, 0xa0}, {0xc0, 0xdc, 0xa0}, {0x50, 0x84, 0x50}, {0xb8, 0xbc, 0xb8}}},
     4},
    {0x20000000,
     {{{0xa0, 0xb7, 0xa0}, {0xd8, 0xdc, 0xa0}, {0x68, 0x84, 0x68}, {0xb8, 0xbc, 0xb8}}},
     4},
    {0x12000000, {{{0x10, 0x17, 0x10}, {0x20, 0x28, 0x20}, {0x87, 0x88, 0x87}}}, 3},
    {0x8000000, {{{0xa0, 0xb7, 0xa0}, {0xd8, 0xdc, 0xa0}, {0x68, 0x84, 0x68}}}, 3},
    {0x1000000, {{{0x10, 0x18, 0x10}, {0x20, 0x28, 0x20}, {0x80, 0x88, 0x80}}}, 3},
    {0x800000, {{{0x10, 0x1f, 0x10}, {0x50, 0x60, 0x50}, {0x80, 0x8f, 0x80}}}, 3},
    {0, {{{0x10, 0x18, 0x10}, {0x20, 0x28, 0x20}}}, 2},
};

int fold_page(uint32_t chip_flags, int page) {
    for (const FoldClass &c : kFolds) {
        if (c.flags != 0 && !(chip_flags & c.flags)) continue;
        for (int i = 0; i < c.count; i++) {
            if (page >= c.ranges[i].first && page <= c.ranges[i].last) return c.ranges[i].to;
        }
        return page;
    }
    return page;
}

const chipdata_reg *reg_info(int unit, int reg) {
    return reg < 0 ? nullptr : SOC_REG_INFO(unit, static_cast<uint32_t>(reg));
}

// Bits of a value that a register of len bytes holds.
uint64_t cut_to_length(uint64_t v, int len) {
    switch (len) {
        case 1:
            return v & 0xff;
        case 2:
            return v & 0xffff;
        case 3:
            return v & 0xffffff;
        case 4:
            return v & 0xffffffff;
        case 6:
            return v & 0xffffffffffffull;
        default:
            return v;
    }
}

void report(int unit, int reg, int port, int idx, soc_reg_iter_f fn, void *data) {
    soc_regaddrinfo_t ai{};
    ai.addr = DRV_SERVICES(unit)->reg_addr(unit, static_cast<uint32_t>(reg), port, idx);
    ai.valid = 1;
    ai.reg = reg;
    ai.idx = idx;
    ai.port = port;
    ai.block = -1;
    ai.field = -1;
    (void)fn(unit, &ai, data);
}

void report_ports(int unit, int reg, soc_pbmp_t ports, soc_reg_iter_f fn, void *data) {
    for (int port = 0; port < 64; port++) {
        if (soc_pbmp_member(ports, port)) report(unit, reg, port, -1, fn, data);
    }
}

void report_indexes(int unit, int reg, uint32_t count, soc_reg_iter_f fn, void *data) {
    for (uint32_t i = 0; i < count; i++)
        report(unit, reg, -1, static_cast<int>(i), fn, data);
}

}  // namespace

void soc_reg_addr_decode(int unit, soc_regaddrinfo_t *ainfo, uint32_t addr) {
    *ainfo = {};
    ainfo->addr = addr;
    ainfo->valid = 1;
    ainfo->reg = ainfo->idx = ainfo->port = ainfo->block = ainfo->field = -1;
    const soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr || s->chip_driver == nullptr) return;
    int page = fold_page(s->chip_flags, static_cast<int>((addr >> 8) & 0xff));
    uint32_t offset = addr & 0xff;
    for (int reg = 0; reg < CHIPDATA_NUM_REGS; reg++) {
        const chipdata_reg *row = reg_info(unit, reg);
        if (row == nullptr || static_cast<int>((row->address >> 8) & 0xff) != page) continue;
        uint32_t base = row->address & 0xff;
        int len = DRV_SERVICES(unit)->reg_length_get(unit, static_cast<uint32_t>(reg));
        uint32_t count = row->count > 0 ? row->count : 1;
        if (offset != base && (len <= 0 || offset < base || offset >= base + count * len)) continue;
        ainfo->reg = reg;
        int k = len > 0 ? static_cast<int>((offset - base) / len) : 0;
        if (count >= 8 && count <= 10) {
            ainfo->port = k;
        } else if (count > 10) {
            ainfo->idx = k;
        }
        return;
    }
}

int soc_reg_info_read(int unit, const soc_regaddrinfo_t *ainfo, uint64_t *value) {
    if (reg_info(unit, ainfo->reg) == nullptr) return SOC_E_PARAM;
    int len = DRV_SERVICES(unit)->reg_length_get(unit, static_cast<uint32_t>(ainfo->reg));
    if (len <= 0) return SOC_E_PARAM;
    uint32_t v[2] = {0, 0};
    if (int rv = DRV_SERVICES(unit)->reg_read(unit, ainfo->addr, v, len); rv < 0) return rv;
    *value = cut_to_length(v[0] | static_cast<uint64_t>(v[1]) << 32, len);
    return 0;
}

int soc_reg_info_write(int unit, const soc_regaddrinfo_t *ainfo, uint64_t value) {
    if (reg_info(unit, ainfo->reg) == nullptr) return SOC_E_PARAM;
    int len = DRV_SERVICES(unit)->reg_length_get(unit, static_cast<uint32_t>(ainfo->reg));
    if (len <= 0) return SOC_E_PARAM;
    uint32_t v[2] = {static_cast<uint32_t>(value), static_cast<uint32_t>(value >> 32)};
    return DRV_SERVICES(unit)->reg_write(unit, ainfo->addr, v, len);
}

void soc_reg_info_sprint(int unit, char *buf, size_t size, const soc_regaddrinfo_t *ainfo) {
    if (buf == nullptr || size == 0) return;
    buf[0] = '\0';
    if (!ainfo->valid) {
        std::snprintf(buf, size, "Invalid Address");
        return;
    }
    const chipdata_reg *row = reg_info(unit, ainfo->reg);
    if (row == nullptr) {
        std::snprintf(buf, size, "Reserved");
        return;
    }
    size_t n = 0;
    auto append = [&](const char *fmt, auto... args) {
        if (n < size) n += std::snprintf(buf + n, size - n, fmt, args...);
    };
    const chipdata_field *field = nullptr;
    if (ainfo->field >= 0) {
        field = chipdata_reg_field(row, ainfo->field);
        if (field == nullptr) {
            sal_assert("finfop", "reg", __LINE__);
            return;
        }
        if (field->flags & 0x1) append("[%d:%d] ", field->bp + field->len - 1, field->bp);
    }
    const char *name = chipdata_reg_name(ainfo->reg);
    append("%s", name ? name : "?");
    if (ainfo->idx >= 0) append("(%d)", ainfo->idx);
    if (ainfo->block >= 0) append(".%d", ainfo->block);
    if (ainfo->port >= 0 && ainfo->port < SOC_MAX_NUM_PORTS)
        append(".%s", SOC_CONTROL(unit)->port_name[ainfo->port]);
    if (field != nullptr) {
        const char *fname = chipdata_field_name(ainfo->field);
        append(".%s", fname ? fname : "?");
    }
}

void soc_reg_iterate(int unit, soc_reg_iter_f fn, void *data) {
    const soc_control_t *s = SOC_CONTROL(unit);
    for (int reg = 0; reg < CHIPDATA_NUM_REGS; reg++) {
        const chipdata_reg *row = reg_info(unit, reg);
        if (row == nullptr) continue;
        uint32_t count = row->count > 0 ? row->count : 1;
        switch (row->type) {
            case CHIPDATA_TYPE_ADDR:
                if (!(row->block & kIndexedBlock)) {
                    report_ports(unit, reg, drv_reg_port_set(unit, static_cast<uint32_t>(reg)), fn,
                                 data);
                } else if (count == 1) {
                    report(unit, reg, -1, -1, fn, data);
                } else {
                    report_indexes(unit, reg, count, fn, data);
                }
                break;
            case CHIPDATA_TYPE_PORT_MIB:
                for (int port = s->port.min; port >= 0 && port <= s->port.max; port++) {
                    if (soc_pbmp_member(s->port.bitmap, port))
                        report(unit, reg, port, -1, fn, data);
                }
                break;
            case CHIPDATA_TYPE_PORT_PHY:
                report_ports(unit, reg, drv_reg_port_set(unit, static_cast<uint32_t>(reg)), fn,
                             data);
                break;
            case CHIPDATA_TYPE_SINGLE:
                report_indexes(unit, reg, count, fn, data);
                break;
            default:
                break;  // types 3 and 4 are not shown
        }
    }
}
