// Register length and address from the register-info rows.
#include "drv_if.h"
#include "drv_reg.h"
#include "reg_internal.h"
#include "soc_error.h"

namespace {

// Registers whose ports are split over two registers on the DXP7101 family:
// ports first..last use the register, ports above last and below limit the
// second register with index port - last - 1.
struct SplitRegister {
    uint32_t chip_flag;
    int reg;
    uint32_t base;
    int first;
    int last;
    int limit;
    int second;
};

constexpr SplitRegister kSplitRegisters[] = {
    {SOC_CHIP_DXP7101, R_UDF_OFFSET4_P, 0x2400, 0, 23, 48, R_UDF_OFFSET4_EXP},
    {SOC_CHIP_DXP7101, R_PORT_VLAN_CTL, 0x3200, 0, 23, 53, R_PORT_VLAN1_CTL},
    {SOC_CHIP_DXP7101, R_PORT_EAP_CON, 0x4000, 0, 23, 53, R_PORT_EAP1_CON},
    {SOC_CHIP_DXP7101, R_PORT_IRC_CON, 0x4300, 0, 31, 53, R_PORT_IRC1_CON},
    {SOC_CHIP_DXP7106, R_PORT_IRC_CON, 0x4390, 0, 7, 29, R_PORT_IRC1_CON},
};

// 0 with the address and index to use; SOC_E_PARAM for a port at or above the
// limit; SOC_E_NOT_FOUND when the register is not split on this chip.
int split_register_lookup(int unit, uint32_t reg, int port, uint32_t *base, int *index) {
    const soc_control_t *soc = SOC_CONTROL(unit);
    for (const SplitRegister &s : kSplitRegisters) {
        if (!(soc->chip_flags & s.chip_flag) || static_cast<uint32_t>(s.reg) != reg) continue;
        if (port >= s.first && port <= s.last) {
            *base = s.base;
            *index = port - s.first;
            return 0;
        }
        if (port > s.last && port < s.limit) {
            const chipdata_reg *second = SOC_REG_INFO(unit, s.second);
            if (second == nullptr) return SOC_E_NOT_FOUND;
            *base = second->address;
            *index = port - s.last - 1;
            return 0;
        }
        return SOC_E_PARAM;
    }
    return SOC_E_NOT_FOUND;
}

constexpr uint32_t kBlkIndexed = 0xc400c5f;  // block types that need more than the port

// Instance number k of an addressed register (type 1); base + k * length is
// its address.
int addressed_instance(const soc_control_t *soc, const chipdata_reg &row, int port, int index) {
    const uint32_t blk = row.block;
    const uint32_t flags = soc->chip_flags;
    const int fe = soc->fe.num;
    const int n = static_cast<int>(row.count);
    if (blk & CHIPDATA_BLK_SYS) return index;
    if (!(blk & kBlkIndexed) || (blk & SOC_BLK_EPIC)) return port;
    if (blk & SOC_BLK_CPIC) {
        if ((flags & SOC_CHIP_DXP7102) && n > fe) return port - 24;
        if ((flags & (SOC_CHIP_DXP7101_FAMILY | SOC_CHIP_DXP71090)) && n > fe) return port - fe;
        bool cpu =
            port < SOC_MAX_NUM_PORTS && (soc->port_type[port] & (SOC_BLK_CMIC | SOC_BLK_CPIC)) != 0;
        return cpu ? 0 : port;
    }
    if (blk & SOC_BLK_GPIC) {
        if (flags & (SOC_CHIP_DXP7102 | SOC_CHIP_DXP71090)) return port - 25;
        if (flags & SOC_CHIP_DXP7101_FAMILY) return port - fe - 1;
    }
    return 0;
}

}  // namespace

const chipdata_reg *drv_reg_row(int unit, uint32_t reg) {
    const chipdata_reg *row = SOC_CONTROL(unit) ? SOC_REG_INFO(unit, reg) : nullptr;
    if (row == nullptr) sal_assert("SOC_REG_IS_VALID(unit, reg)", __FILE__, __LINE__);
    return row;
}

int drv_reg_length_get(int unit, uint32_t reg) {
    const chipdata_reg *row = drv_reg_row(unit, reg);
    if (row == nullptr) return 0;
    if ((row->flags & CHIPDATA_RF_COUNTER) && row->type != 4)
        return (row->flags & CHIPDATA_RF_64BIT) ? 8 : 4;
    if (row->flags & CHIPDATA_RF_64BIT) {
        if (row->mask_hi & 0xff000000) return 8;
        if (row->mask_hi & 0x00ff0000) return 7;
        if (row->mask_hi & 0x0000ff00) return 6;
        return 5;
    }
    if (row->flags & CHIPDATA_RF_32BIT) return (row->mask_lo & 0xff000000) ? 4 : 3;
    if (row->flags & CHIPDATA_RF_16BIT) return 2;
    if (row->flags & CHIPDATA_RF_8BIT) return 1;
    return 0;
}

uint32_t drv_reg_addr(int unit, uint32_t reg, int port, int index) {
    const chipdata_reg *row = drv_reg_row(unit, reg);
    if (row == nullptr) return 0;
    const soc_control_t *soc = SOC_CONTROL(unit);
    const int len = drv_reg_length_get(unit, reg);
    uint32_t base = row->address;
    if (soc->chip_flags & SOC_CHIP_DXP7101_FAMILY) {
        uint32_t split_base;
        int split_index;
        if (split_register_lookup(unit, reg, port, &split_base, &split_index) == 0) {
            base = split_base;
            port = split_index;
        }
    }
    if (port < 0) port = 0;
    if (index < 0) index = 0;

    uint32_t addr = base;
    switch (row->type) {
        case CHIPDATA_TYPE_PORT_MIB:
        case CHIPDATA_TYPE_PORT_PHY:
            if (index != 0) sal_assert("index == 0", __FILE__, __LINE__);
            if ((row->block & 3) == SOC_BLK_GPIC && (soc->chip_flags & SOC_CHIP_DXP7101_FAMILY))
                port -= soc->fe.num;
            if ((row->block & SOC_BLK_GROUP_HI) && (soc->chip_flags & SOC_CHIP_DXP7101)) port -= 24;
            addr = ((static_cast<uint32_t>(port) & 0xff) << 8) + base;
            break;
        case CHIPDATA_TYPE_ADDR:
            addr = base + static_cast<uint32_t>(addressed_instance(soc, *row, port, index) * len);
            break;
        case CHIPDATA_TYPE_SINGLE:
            if (port != 0) sal_assert("port == 0", __FILE__, __LINE__);
            break;
        default:
            sal_assert("SOC_REG_TYPE_VALID(unit, reg)", __FILE__, __LINE__);
            break;
    }
    addr &= 0xffff;
    soc_cm_debug_print(DK_REG,
                       "drv_reg_addr: unit = %d, reg index= 0x%x,     port = %d, index = %d, "
                       "addr = 0x%x\n",
                       unit, reg, port, index, addr);
    return addr;
}
