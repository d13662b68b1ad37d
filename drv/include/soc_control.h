// The unit control record: one per attached switch unit, reached by unit
// number. It carries the chip identity and type flags, the port model by port
// class, the chip driver record with its service table, the feature bitmap
// and the locks of the register, memory and ARL paths.
#pragma once

#include <cstdint>

#include "sal.h"
#include "soc_cm.h"

constexpr int SOC_MAX_NUM_PORTS = 53;
constexpr int SOC_MAX_NUM_BLKS = 16;
constexpr int SOC_NUM_MEMS = 28;  // memory indexes of the family layout
constexpr int SOC_FEATURE_WORDS = 8;
constexpr int SOC_PORT_NAME_LEN = 8;
constexpr int SOC_UNIT_DEFAULT_WORDS = 13;

// 64-bit port bitmap as two words, ports 0-31 in the first.
struct soc_pbmp_t {
    uint32_t w[2];
};

inline bool soc_pbmp_member(const soc_pbmp_t &b, int port) {
    return port >= 0 && port < 64 && (b.w[port / 32] >> (port % 32)) & 1u;
}
inline void soc_pbmp_port_add(soc_pbmp_t *b, int port) {
    if (port >= 0 && port < 64) b->w[port / 32] |= 1u << (port % 32);
}
inline void soc_pbmp_port_remove(soc_pbmp_t *b, int port) {
    if (port >= 0 && port < 64) b->w[port / 32] &= ~(1u << (port % 32));
}
inline bool soc_pbmp_is_null(const soc_pbmp_t &b) {
    return b.w[0] == 0 && b.w[1] == 0;
}

// chip_flags bits and the groups that services test.
constexpr uint32_t SOC_CHIP_DXP7102 = 0x200000;
constexpr uint32_t SOC_CHIP_DXP7102_A1 = 0x400000;  // added from revision A1
constexpr uint32_t SOC_CHIP_DXP7103 = 0x800000;
constexpr uint32_t SOC_CHIP_DXP7108 = 0x1000000;
constexpr uint32_t SOC_CHIP_DXP7104 = 0x2000000;
constexpr uint32_t SOC_CHIP_DXP7101 = 0x4000000;
constexpr uint32_t SOC_CHIP_DXP71090 = 0x8000000;
constexpr uint32_t SOC_CHIP_DXP7107 = 0x10000000;
constexpr uint32_t SOC_CHIP_DXP7106 = 0x20000000;
constexpr uint32_t SOC_CHIP_DXP7105 = 0x80000000;
constexpr uint32_t SOC_CHIP_DXP7101_FAMILY = 0x24000000;  // DXP7101 or DXP7106
constexpr uint32_t SOC_CHIP_FAMILY_LAYOUT = 0xbfe00000;

// Chip type numbers of the driver records and their groups.
constexpr int SOC_CHIP_TYPE_DXP7102_A0 = 0x1a;
constexpr int SOC_CHIP_TYPE_DXP7102_A1 = 0x1b;
constexpr int SOC_CHIP_TYPE_DXP7101 = 0x20;
constexpr int SOC_CHIP_TYPE_DXP7106 = 0x22;
constexpr int SOC_CHIP_GROUP_DXP7102 = 0x16;
constexpr int SOC_CHIP_GROUP_DXP7101 = 0x1a;
constexpr int SOC_CHIP_GROUP_DXP7106 = 0x1c;

// Block types of the block table.
constexpr uint32_t SOC_BLK_EPIC = 0x1;  // fast Ethernet
constexpr uint32_t SOC_BLK_GPIC = 0x2;  // gigabit
constexpr uint32_t SOC_BLK_HG4 = 0x4;
constexpr uint32_t SOC_BLK_HG8 = 0x8;
constexpr uint32_t SOC_BLK_XE = 0x10;
constexpr uint32_t SOC_BLK_CMIC = 0x20;
constexpr uint32_t SOC_BLK_CPIC = 0x40;
constexpr uint32_t SOC_BLK_ARL = 0x80;
constexpr uint32_t SOC_BLK_MMU = 0x100;
constexpr uint32_t SOC_BLK_MCU = 0x200;
// The two port groups of the DXP7101 family.
constexpr uint32_t SOC_BLK_GROUP_HI = 0x10000000;  // DXP7101 ports 24-47
constexpr uint32_t SOC_BLK_GROUP_LO = 0x20000000;  // ports 0-23

// Flags of the record.
constexpr uint32_t SOC_F_ATTACHED = 0x1;
constexpr uint32_t SOC_F_INITED = 0x2;
constexpr uint32_t SOC_F_KEEP_AFTER_INIT = 0x13;

struct soc_driver_s;
struct soc_functions_s;
using soc_driver_t = soc_driver_s;
using soc_functions_t = soc_functions_s;

// One port class: its ports in the order found, count, first and last port
// (-1 when empty) and bitmap.
struct soc_port_list_t {
    int port[SOC_MAX_NUM_PORTS];
    int num;
    int min;
    int max;
    soc_pbmp_t bitmap;
};

// Per-memory state: its mutex and the software cache of the table services.
struct soc_mem_state_t {
    sal_mutex_t lock;
    uint8_t *cache;
    uint32_t *vmap;
};

// Called by the link scan with the ports whose link changed.
using soc_link_handler_t = void (*)(int unit, soc_pbmp_t *ports);

struct soc_control_t {
    uint32_t flags;
    int chip_type;
    int chip_group;
    uint32_t chip_flags;

    // Port model (rebuilt at every init).
    int port_num;
    int block_num;
    soc_port_list_t fe;    // block type 0x1
    soc_port_list_t ge;    // block type 0x2
    soc_port_list_t xe;    // block type 0x10 (empty on this family)
    soc_port_list_t hg;    // block types 0x4 and 0x8 (empty on this family)
    soc_port_list_t port;  // front ports; the CPU port too on family chips
    soc_port_list_t e;     // Ethernet ports; the CPU port too on family chips
    soc_port_list_t all;   // every valid port
    soc_pbmp_t cmic_bitmap;
    int cmic_port;
    int cmic_block;
    int arl_block;
    int mmu_block;
    int mcu_block;
    int group_a_block;  // block type SOC_BLK_GROUP_HI
    int group_b_block;  // block type SOC_BLK_GROUP_LO
    uint32_t block_valid;
    char port_name[SOC_MAX_NUM_PORTS][SOC_PORT_NAME_LEN];
    uint32_t port_type[SOC_MAX_NUM_PORTS];
    int port_offset[SOC_MAX_NUM_PORTS];
    soc_pbmp_t block_bitmap[SOC_MAX_NUM_BLKS];
    int block_port[SOC_MAX_NUM_BLKS];  // first port, -10 when none
    uint8_t block_port_count[SOC_MAX_NUM_BLKS];
    char block_name[SOC_MAX_NUM_BLKS][16];
    int mem_block_any[SOC_NUM_MEMS];

    sal_mutex_t miim_lock;      // "MIIM"
    sal_mutex_t override_lock;  // "Override"
    soc_mem_state_t mem_state[SOC_NUM_MEMS];
    int unit_defaults[SOC_UNIT_DEFAULT_WORDS];
    uint32_t port_words[SOC_MAX_NUM_PORTS];
    sal_mutex_t arl_table_lock;   // "ARL_SW_TABLE"
    sal_mutex_t arl_search_lock;  // "ARL_MEM_SEARCH"
    sal_mutex_t mem_rwctrl_lock;  // "MEM_RWCTRL_REG"
    sal_sem_t arl_intr_sem;       // "ARL interrupt"
    sal_thread_t arl_pid;         // SAL_THREAD_ERROR while no ARL thread runs
    void *arl_table;              // the L2 shadow
    soc_pbmp_t link_fwd;          // linked ports
    soc_pbmp_t link_bitmap1;
    soc_pbmp_t link_bitmap2;

    const soc_driver_t *chip_driver;
    const soc_functions_t *chip_functions;
    uint32_t features[SOC_FEATURE_WORDS];

    soc_link_handler_t link_handler;
    void *phy_info[SOC_MAX_NUM_PORTS];  // owned by the PHY layer
    int16_t phyaddr_to_port[256];
    void *counter_state;  // owned by the counter collector
};

// Record pointers by unit, null while the unit has none.
extern soc_control_t *soc_control[SOC_MAX_NUM_DEVICES];

inline soc_control_t *SOC_CONTROL(int unit) {
    return unit >= 0 && unit < SOC_MAX_NUM_DEVICES ? soc_control[unit] : nullptr;
}
// 0 <= unit < unit count and the record exists.
inline bool SOC_UNIT_VALID(int unit) {
    return unit >= 0 && unit < soc_cm_get_num_units() && SOC_CONTROL(unit) != nullptr;
}
// 1 when valid and attached, else 0.
int soc_unit_attached(int unit);

inline bool SOC_IS_DXP7102(int unit) {
    return SOC_CONTROL(unit)->chip_flags & SOC_CHIP_DXP7102;
}
inline bool SOC_IS_DXP7101_FAMILY(int unit) {
    return SOC_CONTROL(unit)->chip_flags & SOC_CHIP_DXP7101_FAMILY;
}
inline bool SOC_IS_DXP7101(int unit) {
    return SOC_CONTROL(unit)->chip_flags & SOC_CHIP_DXP7101;
}
inline bool SOC_IS_DXP7106(int unit) {
    return SOC_CONTROL(unit)->chip_flags & SOC_CHIP_DXP7106;
}
inline bool SOC_IS_FAMILY_LAYOUT(int unit) {
    return SOC_CONTROL(unit)->chip_flags & SOC_CHIP_FAMILY_LAYOUT;
}

// A port of the unit's port table that is valid (in the `all` class).
inline bool SOC_PORT_VALID(int unit, int port) {
    const soc_control_t *s = SOC_CONTROL(unit);
    return s != nullptr && port >= 0 && port < s->port_num && soc_pbmp_member(s->all.bitmap, port);
}
// The unit has more than 32 ports: port bitmaps use their second word.
inline bool SOC_PBMP_WIDE(int unit) {
    return SOC_CONTROL(unit)->port_num > 32;
}

// The process-wide "SPI" mutex around every register and MIIM bus transfer;
// null while no unit is attached.
sal_mutex_t soc_spi_mutex(void);
void soc_spi_mutex_set(sal_mutex_t m);

// Units attached now; the first device with the CPU-port network controller
// flag (-1 until one) and the number of such devices.
extern int soc_attached_count;
extern int soc_cpu_nic_unit;
extern int soc_cpu_nic_count;
