// The port model of a unit: chip identity and type flags, the valid ports by
// class with their names, and the blocks, from the driver's block and port
// tables.
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "chipdata/ids.h"
#include "soc.h"
#include "soc_property.h"

namespace {

constexpr uint32_t kCpuBlocks = SOC_BLK_CMIC | SOC_BLK_CPIC;
constexpr uint32_t kForcedValid71090 = 0x7000003;
constexpr int kNoBlockPort = -10;
constexpr uint32_t kDevPropGroupHi = 13;
constexpr uint32_t kDevPropGroupLo = 14;

uint32_t chip_flags_of(uint16_t drv_dev_id, uint8_t drv_rev_id) {
    switch (drv_dev_id) {
        case DXP7102_DEVICE_ID:
            return drv_rev_id == 1 || drv_rev_id == 2 ? SOC_CHIP_DXP7102 | SOC_CHIP_DXP7102_A1
                                                      : SOC_CHIP_DXP7102;
        case DXP7106_DEVICE_ID:
            return SOC_CHIP_DXP7106;
        case DXP7101_DEVICE_ID:
            return SOC_CHIP_DXP7101;
        case DXP7103_DEVICE_ID:
            return SOC_CHIP_DXP7103;
        case DXP7108_DEVICE_ID:
            return SOC_CHIP_DXP7108;
        case DXP7104_DEVICE_ID:
            return SOC_CHIP_DXP7104;
        case DXP7107_DEVICE_ID:
            return SOC_CHIP_DXP7107;
        case DXP71090_DEVICE_ID:
            return SOC_CHIP_DXP71090;
        case DXP7105_DEVICE_ID:
            return SOC_CHIP_DXP7105;
        default:
            return 0;
    }
}

void clear_list(soc_port_list_t *list) {
    *list = soc_port_list_t{};
    list->min = -1;
    list->max = -1;
}

void add_port(soc_port_list_t *list, int port) {
    list->port[list->num++] = port;
    if (list->min < 0) list->min = port;
    list->max = port;
    soc_pbmp_port_add(&list->bitmap, port);
}

void clear_model(soc_control_t *soc) {
    soc->port_num = 0;
    soc->block_num = 0;
    for (soc_port_list_t *list :
         {&soc->fe, &soc->ge, &soc->xe, &soc->hg, &soc->port, &soc->e, &soc->all})
        clear_list(list);
    soc->cmic_bitmap = {};
    soc->cmic_port = soc->cmic_block = -1;
    soc->arl_block = soc->mmu_block = soc->mcu_block = -1;
    soc->group_a_block = soc->group_b_block = -1;
    soc->block_valid = 0;
    std::memset(soc->port_name, 0, sizeof soc->port_name);
    std::memset(soc->port_type, 0, sizeof soc->port_type);
    std::memset(soc->port_offset, 0, sizeof soc->port_offset);
    std::memset(soc->block_bitmap, 0, sizeof soc->block_bitmap);
    std::memset(soc->block_port_count, 0, sizeof soc->block_port_count);
    std::memset(soc->block_name, 0, sizeof soc->block_name);
    for (int &p : soc->block_port)
        p = kNoBlockPort;
    for (int &b : soc->mem_block_any)
        b = -1;
}

soc_pbmp_t valid_ports(int unit, uint32_t flags) {
    soc_pbmp_t valid = soc_property_get_pbmp(unit, "pbmp_valid", 1);
    if (flags & SOC_CHIP_DXP71090) valid = {{kForcedValid71090, 0}};
    if (flags & SOC_CHIP_DXP7102) {
        if (soc_property_get(unit, "dxp7111", 0)) valid.w[0] &= ~0x00ff0000u;
        if (soc_property_get(unit, "dxp7110", 0)) valid.w[0] &= ~0x00ffff00u;
    }
    return valid;
}

// Enters a valid port into the class lists of its block type and names it
// after its position in its class.
void add_valid_port(soc_control_t *soc, int port, int block, uint32_t type, int cpu_count) {
    bool family = soc->chip_flags & SOC_CHIP_FAMILY_LAYOUT;
    int position = 0;
    if (type & SOC_BLK_EPIC) {
        position = soc->fe.num;
        add_port(&soc->fe, port);
        add_port(&soc->port, port);
        add_port(&soc->e, port);
    } else if (type & SOC_BLK_GPIC) {
        position = soc->ge.num;
        add_port(&soc->ge, port);
        add_port(&soc->port, port);
        add_port(&soc->e, port);
    } else if (type & SOC_BLK_XE) {
        position = soc->xe.num;
        add_port(&soc->xe, port);
        add_port(&soc->e, port);
    } else if (type & (SOC_BLK_HG4 | SOC_BLK_HG8)) {
        position = soc->hg.num;
        add_port(&soc->hg, port);
        add_port(&soc->port, port);
    } else if (type & kCpuBlocks) {
        position = cpu_count;
        soc_pbmp_port_add(&soc->cmic_bitmap, port);
        soc->cmic_port = port;
        soc->cmic_block = block;
        if (family) {
            add_port(&soc->port, port);
            add_port(&soc->e, port);
        }
    }
    add_port(&soc->all, port);
    // Port positions are below 64, so "ge63" is the longest name; format
    // through a roomy buffer so the copy into the record is visibly bounded.
    char name[32];
    std::snprintf(name, sizeof name, "%s%d", soc_block_port_name_lookup(type), position);
    std::snprintf(soc->port_name[port], SOC_PORT_NAME_LEN, "%.*s", SOC_PORT_NAME_LEN - 1, name);
}

void config_ports(soc_control_t *soc, soc_pbmp_t valid) {
    const soc_driver_t *drv = soc->chip_driver;
    int cpu_count = 0;
    int port = 0;
    for (; port < SOC_MAX_NUM_PORTS; port++) {
        const chipdata_port &row = drv->port_info[port];
        if (row.block == -1 && row.index == -1) break;
        bool in_table = row.block >= 0 && row.block < SOC_MAX_NUM_BLKS;
        uint32_t type = in_table ? static_cast<uint32_t>(drv->block_info[row.block].type) : 0;
        if (!in_table || (!soc_pbmp_member(valid, port) && !(type & kCpuBlocks))) {
            std::snprintf(soc->port_name[port], SOC_PORT_NAME_LEN, "?%d", port);
            continue;
        }
        add_valid_port(soc, port, row.block, type, cpu_count);
        if (type & kCpuBlocks) cpu_count++;
        soc->port_type[port] = type;
        soc->port_offset[port] = row.index;
        soc_pbmp_port_add(&soc->block_bitmap[row.block], port);
        if (soc->block_port[row.block] == kNoBlockPort) soc->block_port[row.block] = port;
        soc->block_port_count[row.block]++;
    }
    soc->port_num = port;
}

void config_blocks(int unit, soc_control_t *soc) {
    const soc_driver_t *drv = soc->chip_driver;
    int blk = 0;
    for (; blk < SOC_MAX_NUM_BLKS && drv->block_info[blk].type >= 0; blk++) {
        const chipdata_block &row = drv->block_info[blk];
        uint32_t type = static_cast<uint32_t>(row.type);
        soc->block_valid |= type;
        if (type == SOC_BLK_ARL) soc->arl_block = blk;
        if (type == SOC_BLK_MMU) soc->mmu_block = blk;
        if (type == SOC_BLK_MCU) soc->mcu_block = blk;
        if (type == SOC_BLK_GROUP_HI) soc->group_a_block = blk;
        if (type == SOC_BLK_GROUP_LO) soc->group_b_block = blk;
        std::snprintf(soc->block_name[blk], sizeof soc->block_name[blk], "%s%d",
                      soc_block_name_lookup(type), row.instance);
        // The port groups take their ports from the chip's device properties.
        uint32_t prop = 0;
        if (type == SOC_BLK_GROUP_HI && (soc->chip_flags & SOC_CHIP_DXP7101_FAMILY))
            prop = kDevPropGroupHi;
        if (type == SOC_BLK_GROUP_LO && (soc->chip_flags & SOC_CHIP_DXP7101))
            prop = kDevPropGroupLo;
        if (prop != 0) {
            soc_pbmp_t bmp{};
            if (drv->services->dev_prop_get(unit, prop, bmp.w) == 0) soc->block_bitmap[blk] = bmp;
        }
    }
    soc->block_num = blk;
}

// Per memory: the first block of its range that holds it and has a port.
void config_memories(soc_control_t *soc) {
    const soc_driver_t *drv = soc->chip_driver;
    if (drv->mem_info == nullptr) return;
    for (int m = 0; m < SOC_NUM_MEMS; m++) {
        const soc_mem_info_t *mem = drv->mem_info[m];
        if (mem == nullptr) continue;
        for (int blk = mem->minblock; blk <= mem->maxblock && blk < soc->block_num; blk++) {
            if (blk < 0) continue;
            bool holds = static_cast<uint32_t>(drv->block_info[blk].type) & mem->blocks;
            if (holds && !soc_pbmp_is_null(soc->block_bitmap[blk])) {
                soc->mem_block_any[m] = blk;
                break;
            }
        }
    }
}

}  // namespace

int soc_tarn_info_config(int unit, soc_control_t *soc) {
    clear_model(soc);
    const soc_driver_t *drv = soc->chip_driver;
    uint16_t dev_id = 0, drv_dev_id = 0;
    uint8_t rev_id = 0, drv_rev_id = 0;
    soc_cm_device_id_get(unit, &dev_id, &rev_id);
    soc_cm_driver_id_get(dev_id, rev_id, &drv_dev_id, &drv_rev_id);
    soc->chip_type = drv->type;
    soc->chip_group = soc_chip_type_to_group(drv->type);
    soc->chip_flags = chip_flags_of(drv_dev_id, drv_rev_id);

    config_ports(soc, valid_ports(unit, soc->chip_flags));
    config_blocks(unit, soc);
    config_memories(soc);
    return 0;
}
