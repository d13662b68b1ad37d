// Register catalogue of the DXP71xx switch chips: register and field names
// with their ids, the per-model register description rows, the block and port
// tables. Data only; the chip services and the chip model both read it.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------- ids
enum chipdata_reg_id : int {
#define REG_NAME(id, name) R_##name = id,
#include "chipdata/reg_names.def"
#undef REG_NAME
};

enum chipdata_field_id : int {
#define FIELD_NAME(id, name) F_##name = id,
#include "chipdata/field_names.def"
#undef FIELD_NAME
};

constexpr int CHIPDATA_NUM_REGS = 859;        // register ids of this chip family
constexpr int CHIPDATA_NUM_REG_NAMES = 2581;  // the name table also spans other families
constexpr int CHIPDATA_NUM_FIELD_NAMES = 2000;

// ---------------------------------------------------------------- row format
// Block-type bits of a register row (word 0).
constexpr uint32_t CHIPDATA_BLK_FE = 0x1;
constexpr uint32_t CHIPDATA_BLK_GE = 0x2;
constexpr uint32_t CHIPDATA_BLK_CPU = 0x40;
constexpr uint32_t CHIPDATA_BLK_PORTS = 0x43;  // every port block
constexpr uint32_t CHIPDATA_BLK_SYS = 0x2000000;
constexpr uint32_t CHIPDATA_BLK_GROUP_B = 0x10000000;  // DXP7101 ports 24-47
constexpr uint32_t CHIPDATA_BLK_GROUP_A = 0x20000000;  // ports 0-23

// Register types (word 1).
constexpr uint32_t CHIPDATA_TYPE_ADDR = 1;      // addressed register or array
constexpr uint32_t CHIPDATA_TYPE_PORT_MIB = 2;  // per-port page of counters
constexpr uint32_t CHIPDATA_TYPE_PORT_PHY = 6;  // per-port page of PHY registers
constexpr uint32_t CHIPDATA_TYPE_SINGLE = 7;

// Register flags (word 4).
constexpr uint32_t CHIPDATA_RF_64BIT = 0x1;
constexpr uint32_t CHIPDATA_RF_COUNTER = 0x2;
constexpr uint32_t CHIPDATA_RF_ARRAY = 0x4;
constexpr uint32_t CHIPDATA_RF_INDEX_NOT_PORT = 0x8;
constexpr uint32_t CHIPDATA_RF_RO = 0x10;
constexpr uint32_t CHIPDATA_RF_WO = 0x20;
constexpr uint32_t CHIPDATA_RF_ERR_COUNTER = 0x40;
constexpr uint32_t CHIPDATA_RF_SPECIAL = 0x80;
constexpr uint32_t CHIPDATA_RF_32BIT = 0x2000;  // three or four bytes
constexpr uint32_t CHIPDATA_RF_16BIT = 0x4000;
constexpr uint32_t CHIPDATA_RF_8BIT = 0x8000;

// Field flags.
constexpr uint32_t CHIPDATA_FF_RO = 0x2;
constexpr uint32_t CHIPDATA_FF_WO = 0x4;
// Memory fields: a multi-bit value stored little-endian (otherwise the
// field's lowest bit is the value's most significant one).
constexpr uint32_t CHIPDATA_FF_LE = 0x1;

struct chipdata_field {
    uint32_t field;  // field id
    uint16_t len;    // bits
    uint16_t bp;     // lowest bit
    uint32_t flags;
};

// One register-description row (the 14-word row of the register-info table).
struct chipdata_reg {
    uint32_t block;
    uint32_t type;
    uint32_t count;    // instances
    uint32_t address;  // page << 8 | offset of instance 0
    uint32_t flags;
    uint32_t num_fields;
    const chipdata_field *fields;
    uint32_t reset_lo, reset_hi;
    uint32_t mask_lo, mask_hi;  // implemented bits
    int32_t counter_index;      // -1 for registers that are not counters
    uint32_t block2, type2;
};

// ---------------------------------------------------------------- models
enum chipdata_model {
    CHIPDATA_DXP7102_A0,
    CHIPDATA_DXP7102_A1,
    CHIPDATA_DXP7101,
    CHIPDATA_DXP7106,
    CHIPDATA_NUM_MODELS
};

// Block table row: {block type (one bit), instance within the type, 0, block
// number}; the table ends with a row of type -1.
struct chipdata_block {
    int32_t type;
    int32_t instance;
    int32_t reserved;
    int32_t number;
};

// Port table row: {block index, index within the block}; ends with {-1, -1}.
struct chipdata_port {
    int32_t block;
    int32_t index;
};

// Register-info table of a model: CHIPDATA_NUM_REGS entries indexed by
// register id, null where the model lacks the register.
const chipdata_reg *const *chipdata_reg_table(chipdata_model model);
const chipdata_reg *chipdata_reg_info(chipdata_model model, int reg_id);  // null when absent
const chipdata_block *chipdata_block_table(chipdata_model model);
const chipdata_port *chipdata_port_table(chipdata_model model);

// Names by id (null for an id without a name) and ids by name (-1 when unknown).
const char *chipdata_reg_name(int reg_id);
const char *chipdata_field_name(int field_id);
int chipdata_reg_id(const char *name);
int chipdata_field_id(const char *name);

// The field row of a register, or null.
const chipdata_field *chipdata_reg_field(const chipdata_reg *reg, int field_id);
