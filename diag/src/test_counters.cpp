// Self-tests 30 and 31: every counter register of the chip's counter maps is
// checked on the first port of its port type, for its described width and
// for holding what is written to it. The port may be in service: each
// register is read first and written back after its check, with the counter
// collector kept off it meanwhile, so the totals an administrator reads
// neither jump nor run backwards. Problems go through test_error; the tests
// themselves always return 0.
#include <bit>
#include <cstdint>

#include "chipdata/chipdata.h"
#include "diag_test.h"
#include "drv_if.h"
#include "dxp_error.h"
#include "soc_counter.h"

namespace {

// No register of this device manager is excluded by unit; only read-only
// registers are left alone.
constexpr uint32_t kSkipFlags = CHIPDATA_RF_RO;

using check_f = void (*)(int unit, int reg, int port, int width, bool wide);

const char *reg_name(int reg) {
    const char *name = chipdata_reg_name(reg);
    return name != nullptr ? name : "?";
}

struct Access {
    int unit;
    int reg;
    int port;
    int len;
    int write(uint64_t value) const {
        const drv_if_t *svc = DRV_SERVICES(unit);
        uint32_t words[2] = {static_cast<uint32_t>(value), static_cast<uint32_t>(value >> 32)};
        return svc->reg_write(unit, svc->reg_addr(unit, static_cast<uint32_t>(reg), port, 0), words,
                              len);
    }
    int read(uint64_t *value) const {
        const drv_if_t *svc = DRV_SERVICES(unit);
        uint32_t words[2] = {0, 0};
        int rv = svc->reg_read(unit, svc->reg_addr(unit, static_cast<uint32_t>(reg), port, 0),
                               words, len);
        *value = static_cast<uint64_t>(words[1]) << 32 | words[0];
        return rv;
    }
    const char *port_name() const { return SOC_CONTROL(unit)->port_name[port]; }
};

void check_width(int unit, int reg, int port, int width, bool wide) {
    Access acc{.unit = unit, .reg = reg, .port = port, .len = width / 8};
    uint64_t value = wide ? ~0ull : 0xffffffffull;
    int rv = acc.write(value);
    if (rv >= 0) rv = acc.read(&value);
    if (rv < 0) {
        test_error(unit, "Can't access counter %s.%s: %s\n", reg_name(reg), acc.port_name(),
                   dxp_errmsg(rv));
        return;
    }
    if (!wide) value &= 0xffffffffull;
    int count = std::popcount(value);
    if (count != width)
        test_error(unit, "Counter %s.%s width mismatch: regsfile: %d bits, actual: %d bits\n",
                   reg_name(reg), acc.port_name(), width, count);
}

void check_read_write(int unit, int reg, int port, int width, bool wide) {
    Access acc{.unit = unit, .reg = reg, .port = port, .len = width / 8};
    uint64_t mask = width >= 64 ? ~0ull : (1ull << width) - 1;
    uint64_t step = wide ? 0x5555555555555555ull : 0x55555555ull;
    uint64_t pattern = 0;
    for (int round = 0; round < 4; round++, pattern += step) {
        int rv = acc.write(pattern & mask);
        if (rv < 0)
            test_error(unit, "Can't write counter %s.%s: %s\n", reg_name(reg), acc.port_name(),
                       dxp_errmsg(rv));
        uint64_t got = 0;
        rv = acc.read(&got);
        if (rv < 0) {
            test_error(unit, "Can't access counter %s.%s: %s\n", reg_name(reg), acc.port_name(),
                       dxp_errmsg(rv));
            continue;
        }
        if (((got ^ pattern) & mask) == 0) continue;
        uint64_t again = 0;
        acc.read(&again);
        uint64_t w = pattern & mask, r = got & mask, rr = again & mask;
        if (wide)
            test_error(unit,
                       "Counter %s.%s miscompare:\n    wrote     0x%08x%08x\n    read      "
                       "0x%08x%08x\n    re-read   0x%08x%08x\n",
                       reg_name(reg), acc.port_name(), static_cast<uint32_t>(w >> 32),
                       static_cast<uint32_t>(w), static_cast<uint32_t>(r >> 32),
                       static_cast<uint32_t>(r), static_cast<uint32_t>(rr >> 32),
                       static_cast<uint32_t>(rr));
        else
            test_error(unit,
                       "Counter %s.%s miscompare: \n    wrote     0x%08x\n    read      0x%08x\n "
                       "   re-read   0x%08x\n",
                       reg_name(reg), acc.port_name(), static_cast<uint32_t>(w),
                       static_cast<uint32_t>(r), static_cast<uint32_t>(rr));
    }
}

// Checks one register between a read of its value and the write that puts
// it back, the collector held off the hardware counters throughout; the
// counts of the moment of the check itself are lost, never added.
void check_kept(int unit, int reg, int port, int width, check_f check) {
    const drv_if_t *svc = DRV_SERVICES(unit);
    Access whole{.unit = unit,
                 .reg = reg,
                 .port = port,
                 .len = svc->reg_length_get(unit, static_cast<uint32_t>(reg)) == 8 ? 8 : 4};
    const bool held = soc_tarn_counter_hw_hold(unit) == 0;
    uint64_t kept = 0;
    if (int rv = whole.read(&kept); rv < 0) {
        // What cannot be read cannot be put back: left untouched.
        test_error(unit, "Can't access counter %s.%s: %s\n", reg_name(reg), whole.port_name(),
                   dxp_errmsg(rv));
    } else {
        check(unit, reg, port, width, width > 32);
        if (int back = whole.write(kept); back < 0)
            test_error(unit, "Can't restore counter %s.%s: %s\n", reg_name(reg), whole.port_name(),
                       dxp_errmsg(back));
    }
    if (held) soc_tarn_counter_hw_release(unit);
}

// Six port types; this chip family keeps one map for fast-Ethernet ports
// and one for gigabit ports, and no further port classes.
void walk(int unit, check_f check) {
    const soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr || soc->chip_driver == nullptr) return;
    const soc_cmap_t *maps = soc->chip_driver->counter_maps;
    const struct {
        const soc_cmap_t *map;
        const soc_port_list_t *ports;
    } types[6] = {
        {&maps[0], &soc->fe}, {&maps[1], &soc->ge}, {nullptr, &soc->ge},
        {nullptr, &soc->xe},  {nullptr, &soc->hg},  {nullptr, nullptr},
    };
    for (const auto &type : types) {
        if (type.map == nullptr || type.map->counters == nullptr || type.ports == nullptr ||
            type.ports->num <= 0)
            continue;
        int port = type.ports->port[0];
        for (int i = 0; i < type.map->num; i++) {
            int reg = type.map->counters[i];
            if (reg < 0 || reg >= CHIPDATA_NUM_REGS) continue;
            const soc_reg_info_t *info = SOC_REG_INFO(unit, static_cast<uint32_t>(reg));
            if (info == nullptr || info->num_fields == 0 || (info->flags & kSkipFlags)) continue;
            check_kept(unit, reg, port, info->fields[0].len, check);
        }
    }
}

int counter_width_test(int unit, args_t *, void *) {
    walk(unit, check_width);
    return 0;
}

int counter_read_write_test(int unit, args_t *, void *) {
    walk(unit, check_read_write);
    return 0;
}

}  // namespace

void test_counters_register(void) {
    test_t row{};
    row.t_flags = TEST_F_RC | TEST_F_SEL_DEFAULT | TEST_F_CHIP_MASK;
    row.t_loops = 1;
    row.t_name = "Counter widths";
    row.t_test = 30;
    row.t_test_f = counter_width_test;
    test_register(row);
    row.t_name = "Counter read/write";
    row.t_test = 31;
    row.t_test_f = counter_read_write_test;
    test_register(row);
}
