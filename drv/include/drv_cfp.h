// Field-processor (CFP) services of the DXP7101 family: the entry record that
// callers build rules in, field access on it, the access engine that moves
// rows between the record and the chip's TCAM, action, meter and counter
// RAMs, and the set-up of the processor (controls, slices, qualifier sets,
// user-defined fields). Every service answers 0 or a switch return code.
#pragma once

#include <cstdint>

#include "drv_if.h"

// One rule as the services see it. Callers may keep more state of their own
// around it; the services touch only these words.
struct drv_cfp_entry_t {
    uint32_t id;             // TCAM row last read, written or found
    uint32_t tcam_data[12];  // key; the chip's rows use the first 6 words
    uint32_t tcam_mask[12];  // same layout as tcam_data
    uint32_t act_data;       // one CFP_ACT_POL word
    uint32_t meter_data[2];  // one CFP_METER entry, bits 31..0 first
    uint32_t w[3];           // qualifier set, bit q = qualifier q
};

constexpr int DRV_CFP_ROWS = 512;
constexpr int DRV_CFP_ROW_WORDS = 6;
constexpr int DRV_CFP_SLICES = 5;

// RAM types naming the memory a service works on.
constexpr uint32_t DRV_CFP_RAM_TCAM = 1;
constexpr uint32_t DRV_CFP_RAM_TCAM_MASK = 2;  // field access only
constexpr uint32_t DRV_CFP_RAM_ACT = 3;
constexpr uint32_t DRV_CFP_RAM_METER = 4;
constexpr uint32_t DRV_CFP_RAM_STAT_IB = 5;
constexpr uint32_t DRV_CFP_RAM_STAT_OB = 6;
constexpr uint32_t DRV_CFP_RAM_ALL = 7;  // TCAM, action and meter (entry read/write)

// Driver field ids (the gaps have no field).
enum drv_cfp_field_id : uint32_t {
    DRV_CFP_FIELD_VALID = 0,
    DRV_CFP_FIELD_SLICE_ID = 1,
    DRV_CFP_FIELD_IN_PORT = 2,
    DRV_CFP_FIELD_VLAN_TAGGED = 3,
    DRV_CFP_FIELD_SP_TAGGED = 4,
    DRV_CFP_FIELD_EII_OR_8023 = 5,
    DRV_CFP_FIELD_CRVX_TAGGED = 6,
    DRV_CFP_FIELD_IEEE_LLC = 7,
    DRV_CFP_FIELD_IEEE_SNAP = 8,
    DRV_CFP_FIELD_MAC_DA = 9,
    DRV_CFP_FIELD_MAC_SA = 10,
    DRV_CFP_FIELD_SP_VID = 11,
    DRV_CFP_FIELD_USR_VID = 12,
    DRV_CFP_FIELD_ETYPE = 15,
    DRV_CFP_FIELD_UDF0_VALID = 16,
    DRV_CFP_FIELD_UDF0 = 17,
    DRV_CFP_FIELD_IP4_VALID = 18,
    DRV_CFP_FIELD_IP_DA = 19,
    DRV_CFP_FIELD_IP_SA = 20,
    DRV_CFP_FIELD_SAME_IP = 21,
    DRV_CFP_FIELD_L4_VALID = 22,
    DRV_CFP_FIELD_L4DST = 25,
    DRV_CFP_FIELD_L4SRC = 26,
    DRV_CFP_FIELD_SAME_L4PORT = 27,
    DRV_CFP_FIELD_L4SRC_LESS1024 = 28,
    DRV_CFP_FIELD_TCP_FRAME = 29,
    DRV_CFP_FIELD_TCP_SEQ_ZERO = 30,
    DRV_CFP_FIELD_TCP_HDR_LEN = 31,
    DRV_CFP_FIELD_TCP_FLAG = 32,
    DRV_CFP_FIELD_UDF2_VALID = 33,
    DRV_CFP_FIELD_UDF2 = 34,
    DRV_CFP_FIELD_IP_PROTO = 35,
    DRV_CFP_FIELD_IP_VER = 36,
    DRV_CFP_FIELD_IP_TOS = 37,
    DRV_CFP_FIELD_IP_TTL = 38,
    DRV_CFP_FIELD_UDF3A_VALID = 39,
    DRV_CFP_FIELD_UDF3A = 40,
    DRV_CFP_FIELD_UDF3B_VALID = 41,
    DRV_CFP_FIELD_UDF3B = 42,
    DRV_CFP_FIELD_UDF3C_VALID = 43,
    DRV_CFP_FIELD_UDF3C = 44,
    DRV_CFP_FIELD_UDF4A_VALID = 45,
    DRV_CFP_FIELD_UDF4A = 46,
    DRV_CFP_FIELD_UDF4B_VALID = 47,
    DRV_CFP_FIELD_UDF4B = 48,
    DRV_CFP_FIELD_UDF4C_VALID = 49,
    DRV_CFP_FIELD_UDF4C = 50,
    DRV_CFP_FIELD_UDF4D_VALID = 51,
    DRV_CFP_FIELD_UDF4D = 52,
    DRV_CFP_FIELD_UDF4E_VALID = 53,
    DRV_CFP_FIELD_UDF4E = 54,
    DRV_CFP_FIELD_CHANGE_PRI_IB = 119,
    DRV_CFP_FIELD_NEW_PRI_IB = 120,
    DRV_CFP_FIELD_REDIRECT_IB = 123,
    DRV_CFP_FIELD_ADD_CHANGE_DEST_IB = 124,
    DRV_CFP_FIELD_NEW_DEST_IB = 125,
    DRV_CFP_FIELD_CHANGE_PRI_OB = 126,
    DRV_CFP_FIELD_NEW_PRI_OB = 127,
    DRV_CFP_FIELD_REDIRECT_OB = 130,
    DRV_CFP_FIELD_ADD_CHANGE_DEST_OB = 131,
    DRV_CFP_FIELD_NEW_DEST_OB = 132,
    DRV_CFP_FIELD_CURR_QUOTA = 149,
    DRV_CFP_FIELD_RATE_REFRESH_EN = 150,
    DRV_CFP_FIELD_REF_CAP = 151,
    DRV_CFP_FIELD_TOKEN_NUM = 152,
    DRV_CFP_FIELD_IN_BAND_CNT = 156,
    DRV_CFP_FIELD_OUT_BAND_CNT = 157,
    DRV_CFP_FIELD_COUNT = 158,
};

// Actions: 1-7 on the in-profile (in-band) fields, 14-20 the same on the
// out-of-profile ones.
constexpr uint32_t DRV_CFP_ACT_IB_NONE = 1;          // no redirection
constexpr uint32_t DRV_CFP_ACT_IB_REDIRECT_ADD = 2;  // add port param
constexpr uint32_t DRV_CFP_ACT_IB_PRI = 3;           // priority param
constexpr uint32_t DRV_CFP_ACT_IB_PRI_CANCEL = 4;    // keep the priority
constexpr uint32_t DRV_CFP_ACT_IB_DEST_63 = 5;       // destination code 63
constexpr uint32_t DRV_CFP_ACT_IB_DEST_62 = 6;       // destination code 62
constexpr uint32_t DRV_CFP_ACT_IB_REDIRECT = 7;      // replace by port param
constexpr uint32_t DRV_CFP_ACT_OB_OFFSET = 13;       // OB action = IB action + 13
constexpr uint32_t DRV_CFP_ACT_OB_NONE = 14;
constexpr uint32_t DRV_CFP_ACT_OB_REDIRECT_ADD = 15;
constexpr uint32_t DRV_CFP_ACT_OB_PRI = 16;
constexpr uint32_t DRV_CFP_ACT_OB_PRI_CANCEL = 17;
constexpr uint32_t DRV_CFP_ACT_OB_DEST_63 = 18;
constexpr uint32_t DRV_CFP_ACT_OB_DEST_62 = 19;
constexpr uint32_t DRV_CFP_ACT_OB_REDIRECT = 20;

// Search flags of drv_cfp_entry_search.
constexpr uint32_t DRV_CFP_SRCH_START = 0x1;
constexpr uint32_t DRV_CFP_SRCH_GET = 0x2;         // next hit, -5 after the last
constexpr uint32_t DRV_CFP_SRCH_DONE = 0x4;        // *index = 1 once finished
constexpr uint32_t DRV_CFP_SRCH_SRC_PORT = 0x400;  // only rows of the entry's source port

// Counter types of drv_cfp_stat_get/set.
constexpr uint32_t DRV_CFP_STAT_IB = 0;
constexpr uint32_t DRV_CFP_STAT_OB = 1;
constexpr uint32_t DRV_CFP_STAT_ALL = 2;

// Controls of drv_cfp_control_get/set.
constexpr uint32_t DRV_CFP_ENABLE = 0;  // per port
constexpr uint32_t DRV_CFP_VLAN_HANDLE = 1;
constexpr uint32_t DRV_CFP_TRUNK_HANDLE = 2;
constexpr uint32_t DRV_CFP_ISP_VID = 3;
constexpr uint32_t DRV_CFP_LLC_ENCAP = 4;     // CTRL | SSAP << 8 | DSAP << 16
constexpr uint32_t DRV_CFP_SLICE_SELECT = 5;  // per port
constexpr uint32_t DRV_CFP_TCAM_RESET = 6;    // set only

constexpr uint32_t DRV_CFP_UDF_COUNT = 10;
constexpr uint32_t DRV_CFP_UDF_OFFSET_MAX = 80;

// CFP memories (indexes 0-9 of the family's memory table).
const soc_mem_info_t *drv_cfp_mem_info(int mem);  // null outside CFP_ACT_POLm..CFP_TCAM_S4m

// Service slots 111-132.
int drv_cfp_init(int unit);
int drv_cfp_action_get(int unit, uint32_t *action, drv_cfp_entry_t *entry, uint32_t *act_param);
int drv_cfp_action_set(int unit, uint32_t action, drv_cfp_entry_t *entry, uint32_t act_param);
int drv_cfp_control_get(int unit, uint32_t control_type, int port, uint32_t *state);
int drv_cfp_control_set(int unit, uint32_t control_type, int port, uint32_t state);
int drv_cfp_entry_read(int unit, uint32_t index, uint32_t ram_type, drv_cfp_entry_t *entry);
int drv_cfp_entry_search(int unit, uint32_t flags, uint32_t *index, drv_cfp_entry_t *entry);
int drv_cfp_entry_write(int unit, uint32_t index, uint32_t ram_type, drv_cfp_entry_t *entry);
int drv_cfp_field_get(int unit, uint32_t mem_type, uint32_t field_type, drv_cfp_entry_t *entry,
                      uint32_t *fld_val);
int drv_cfp_field_set(int unit, uint32_t mem_type, uint32_t field_type, drv_cfp_entry_t *entry,
                      uint32_t *fld_val);
int drv_cfp_meter_get(int unit, drv_cfp_entry_t *entry, uint32_t *kbits_sec, uint32_t *kbits_burst);
int drv_cfp_meter_set(int unit, drv_cfp_entry_t *entry, uint32_t kbits_sec, uint32_t kbits_burst);
int drv_cfp_qset_bit_get(int unit, uint32_t qual, drv_cfp_entry_t *entry, uint32_t *val);
int drv_cfp_qset_bit_set(int unit, uint32_t qual, drv_cfp_entry_t *entry, uint32_t val);
int drv_cfp_qset_to_slice(int unit, drv_cfp_entry_t *entry, int *slice_id);
int drv_cfp_slice_to_qset(int unit, int slice_id, drv_cfp_entry_t *entry);
int drv_cfp_stat_get(int unit, uint32_t stat_type, uint32_t index, uint32_t *counter);
int drv_cfp_stat_set(int unit, uint32_t stat_type, uint32_t index, uint32_t counter);
int drv_cfp_udf_get(int unit, int port, uint32_t udf_index, uint32_t *offset);
int drv_cfp_udf_set(int unit, int port, uint32_t udf_index, uint32_t offset);
int drv_cfp_range_check(int unit, uint32_t flags, uint32_t min, uint32_t max);
int drv_cfp_reserved_op(int unit);

// Internal steps, exposed for the services above and the table-memory layer.
int _drv_cfp_field_mapping(int unit, uint32_t field_id, uint32_t *mem_field);
int _drv_cfp_read(int unit, uint32_t ram_type, uint32_t index, drv_cfp_entry_t *entry);
int _drv_cfp_write(int unit, uint32_t ram_type, uint32_t index, drv_cfp_entry_t *entry);
int _drv_cfp_stat_read(int unit, uint32_t ram_type, uint32_t index, uint32_t *counter);
int _drv_cfp_stat_write(int unit, uint32_t ram_type, uint32_t index, uint32_t value);
int _drv_cfp_tcam_search(int unit, uint32_t flags, uint32_t *index, drv_cfp_entry_t *entry);
uint32_t _drv_cfp_meter_rate2chip(uint32_t kbits_sec);
uint32_t _drv_cfp_meter_chip2rate(uint32_t code);
uint32_t _drv_cfp_meter_burst2chip(uint32_t kbits_burst);
uint32_t _drv_cfp_meter_chip2burst(uint32_t code);
