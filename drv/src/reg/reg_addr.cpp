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

const SplitRegister *split_of(int unit, uint32_t reg) {
    const soc_control_t *soc = SOC_CONTROL(unit);
    for (const SplitRegister &s : kSplitRegisters) {
        if ((soc->chip_flags & s.chip_flag) && static_cast<uint32_t>(s.reg) == reg) return &s;
    }
    return nullptr;
}

// 0 with the address and index to use; SOC_E_PARAM for a port at or above the
// limit; SOC_E_NOT_FOUND when the register is not split on this chip.
int split_register_lookup(int unit, uint32_t reg, int port, uint32_t *base, int *index) {
    const SplitRegister *s = split_of(unit, reg);
    if (s == nullptr) return SOC_E_NOT_FOUND;
    if (port >= s->first && port <= s->last) {
        *base = s->base;
        *index = port - s->first;
        return SOC_E_NONE;
    }
    if (port > s->last && port < s->limit) {
        const chipdata_reg *second = SOC_REG_INFO(unit, s->second);
        if (second == nullptr) return SOC_E_NOT_FOUND;
        *base = second->address;
        *index = port - s->last - 1;
        return SOC_E_NONE;
    }
    return SOC_E_PARAM;
}

constexpr uint32_t kBlkIndexed = 0xc400c5f;  // block types that need more than the port
constexpr uint32_t kWalkBlocks = 0x2c400c5f;
constexpr uint32_t kWalkPhyBlocks = 0x3c400c5f;

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

// Ports of the unit's enabled blocks that hold the register (all ports when
// the row names none of the port block types in mask).
soc_pbmp_t block_ports(const soc_control_t *s, const chipdata_reg &row, uint32_t mask) {
    if ((row.block & mask) == 0) return s->all.bitmap;
    soc_pbmp_t ports{};
    const chipdata_block *blocks = s->chip_driver->block_info;
    for (int b = 0; blocks != nullptr && b < s->block_num && b < SOC_MAX_NUM_BLKS; b++) {
        if (static_cast<uint32_t>(blocks[b].type) & row.block) {
            ports.w[0] |= s->block_bitmap[b].w[0];
            ports.w[1] |= s->block_bitmap[b].w[1];
        }
    }
    return ports;
}

// Register pages of the ports' PHYs: ports first..last at page + port.
struct PhyPageRange {
    uint32_t chip_flag;
    int first;
    int last;
    int page;
};
constexpr PhyPageRange kPhyPages[] = {
    {SOC_CHIP_DXP7102, 0, 26, 0x10},  {SOC_CHIP_DXP7106, 0, 23, 0xa0},
    {SOC_CHIP_DXP7106, 24, 28, 0xc0}, {SOC_CHIP_DXP7101, 0, 23, 0xc0},
    {SOC_CHIP_DXP7101, 24, 47, 0x88}, {SOC_CHIP_DXP7101, 48, 52, 0xa8},
};

// The address of a register instance, or SOC_E_PARAM when the unit's chip
// has no instance of it for that port and index.
int instance_addr(int unit, uint32_t reg, int port, int index, uint32_t *addr) {
    const chipdata_reg *row = drv_reg_row(unit, reg);
    if (row == nullptr) return SOC_E_PARAM;
    const soc_control_t *soc = SOC_CONTROL(unit);
    if (port < 0) port = 0;
    if (index < 0) index = 0;
    switch (row->type) {
        case CHIPDATA_TYPE_PORT_PHY: {
            int page = drv_reg_phy_page(unit, port);
            if (index != 0 || page < 0 ||
                !soc_pbmp_member(block_ports(soc, *row, kWalkPhyBlocks), port))
                return SOC_E_PARAM;
            *addr = static_cast<uint32_t>(page) << 8 | (row->address & 0xff);
            return SOC_E_NONE;
        }
        case CHIPDATA_TYPE_PORT_MIB:
            // Counter pages exist only for the chip's own ports.
            if (!soc_pbmp_is_null(soc->all.bitmap) && !soc_pbmp_member(soc->all.bitmap, port))
                return SOC_E_PARAM;
            if ((row->block & 3) == SOC_BLK_GPIC && (soc->chip_flags & SOC_CHIP_DXP7101_FAMILY))
                port -= soc->fe.num;
            if ((row->block & SOC_BLK_GROUP_HI) && (soc->chip_flags & SOC_CHIP_DXP7101)) port -= 24;
            if (index != 0 || port < 0) return SOC_E_PARAM;
            *addr = ((static_cast<uint32_t>(port) & 0xff) << 8) + row->address;
            return SOC_E_NONE;
        case CHIPDATA_TYPE_ADDR: {
            const int len = drv_reg_length_get(unit, reg);
            uint32_t base = row->address;
            int k;
            if (row->block & CHIPDATA_BLK_SYS) {
                k = index;
            } else {
                // Arrays numbered by port reach every port (the CPU and
                // gigabit ports' registers follow the fast-Ethernet array);
                // the others only the ports of their blocks.
                bool by_port = !(row->block & kBlkIndexed) || (row->block & SOC_BLK_EPIC);
                soc_pbmp_t ports = by_port ? soc->all.bitmap : block_ports(soc, *row, kWalkBlocks);
                if (!soc_pbmp_member(ports, port)) return SOC_E_PARAM;
                int split_index;
                int rv = split_register_lookup(unit, reg, port, &base, &split_index);
                if (rv == SOC_E_PARAM) return rv;
                if (rv == SOC_E_NONE) {
                    *addr = (base + static_cast<uint32_t>(split_index * len)) & 0xffff;
                    return SOC_E_NONE;
                }
                k = addressed_instance(soc, *row, port, index);
                if (by_port && k >= 0) {
                    *addr = (base + static_cast<uint32_t>(k * len)) & 0xffff;
                    return SOC_E_NONE;
                }
            }
            if (k < 0 || k >= static_cast<int>(row->count)) return SOC_E_PARAM;
            *addr = (base + static_cast<uint32_t>(k * len)) & 0xffff;
            return SOC_E_NONE;
        }
        case CHIPDATA_TYPE_SINGLE:
            if (port != 0) return SOC_E_PARAM;
            *addr = row->address;
            return SOC_E_NONE;
        default:
            sal_assert("SOC_REG_TYPE_VALID(unit, reg)", __FILE__, __LINE__);
            return SOC_E_PARAM;
    }
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

int drv_reg_phy_page(int unit, int port) {
    const soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr) return SOC_E_PARAM;
    for (const PhyPageRange &r : kPhyPages) {
        if ((soc->chip_flags & r.chip_flag) && port >= r.first && port <= r.last)
            return r.page + port;
    }
    return SOC_E_PARAM;
}

int drv_reg_addr_get(int unit, uint32_t reg, int port, int index, uint32_t *addr) {
    uint32_t a = 0;
    int rv = instance_addr(unit, reg, port, index, &a);
    if (rv == SOC_E_NONE && addr != nullptr) *addr = a;
    return rv;
}

uint32_t drv_reg_addr(int unit, uint32_t reg, int port, int index) {
    const chipdata_reg *row = drv_reg_row(unit, reg);
    if (row == nullptr) return 0;
    if (index > 0 && (row->type == CHIPDATA_TYPE_PORT_PHY || row->type == CHIPDATA_TYPE_PORT_MIB))
        sal_assert("index == 0", __FILE__, __LINE__);
    if (port > 0 && row->type == CHIPDATA_TYPE_SINGLE) sal_assert("port == 0", __FILE__, __LINE__);
    uint32_t addr = DRV_REG_ADDR_NONE;
    (void)instance_addr(unit, reg, port, index, &addr);
    soc_cm_debug_print(DK_REG,
                       "drv_reg_addr: unit = %d, reg index= 0x%x,     port = %d, index = %d, "
                       "addr = 0x%x\n",
                       unit, reg, port, index, addr);
    return addr;
}

soc_pbmp_t drv_reg_port_set(int unit, uint32_t reg) {
    soc_pbmp_t ports{};
    const chipdata_reg *row = SOC_CONTROL(unit) ? SOC_REG_INFO(unit, reg) : nullptr;
    if (row == nullptr || (row->block & CHIPDATA_BLK_SYS)) return ports;
    const soc_control_t *soc = SOC_CONTROL(unit);
    bool phy = row->type == CHIPDATA_TYPE_PORT_PHY;
    ports = block_ports(soc, *row, phy ? kWalkPhyBlocks : kWalkBlocks);
    const SplitRegister *split = split_of(unit, reg);
    for (int port = 0; port < 64; port++) {
        bool own = split == nullptr || (port >= split->first && port <= split->last);
        if (!own || (phy && drv_reg_phy_page(unit, port) < 0)) soc_pbmp_port_remove(&ports, port);
    }
    return ports;
}
