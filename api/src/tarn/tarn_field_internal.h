// State of the field-processor module shared by its control, group and entry
// parts: the per-unit control record, its slice records, groups and entries,
// and the process-wide TCAM row map.
#pragma once

#include <cstdint>

#include "drv_cfp.h"
#include "dxp_tarn.h"
#include "sal.h"
#include "soc_property.h"
#include "tarn_internal.h"

namespace tarn::field {

constexpr int kMaxUnits = 16;  // DXP_MAX_NUM_UNITS
constexpr int kSlices = 16;
constexpr int kMaxRows = 1024;
constexpr int kQsetUdfSlots = 8;  // DXP_FIELD_USER_NUM_UDFS
constexpr int kQualWords = 3;     // qualifier bitmap words of a qset
constexpr int kMaxUdfs = 16;      // UDF records kept; the chips offer 10
constexpr uint8_t kNoCfpSlice = 0xFF;
constexpr uint32_t kDebug = kDebugApi;

// CFP RAM selectors and field ids of the services this module calls.
constexpr uint32_t kRamTcam = DRV_CFP_RAM_TCAM;
constexpr uint32_t kRamMask = DRV_CFP_RAM_TCAM_MASK;
constexpr uint32_t kRamAct = DRV_CFP_RAM_ACT;
constexpr uint32_t kRamMeter = DRV_CFP_RAM_METER;
constexpr uint32_t kRamAll = DRV_CFP_RAM_ALL;
constexpr uint32_t kFieldValid = DRV_CFP_FIELD_VALID;
constexpr uint32_t kFieldSliceId = DRV_CFP_FIELD_SLICE_ID;

struct Group;
struct Entry;

struct Slice {
    Group *owner;  // null = free
    uint8_t number;
    bool enabled;  // its CFP slice id is on in every port's slice-enable bitmap
    dxp_field_qset_t qset;
    uint8_t cfp_slice;  // kNoCfpSlice = none
    Entry *entries[kMaxRows];
};

struct Udf {
    bool valid;
    int use_count;  // groups whose qset names it
    int udf_num;    // the UserDefined qualifier it stands for
};

// A port range for the RangeCheck qualifier.
struct Range {
    uint32_t flags;
    int id;
    int min;
    int max;
    Range *next;
};

struct Control {
    sal_mutex_t lock;  // "field_control.lock", recursive
    dxp_field_status_t status;
    int stage_control;
    int tcam_size;
    int slice_count;
    int tcam_slice_sz;
    int udf_count;
    Udf udf[kMaxUdfs];
    Group *groups;  // newest first
    Slice *slices;  // kSlices records
    Range *ranges;  // newest first
    int next_range_id;
};

struct Group {
    int unit;
    int id;
    dxp_field_qset_t qset;
    int mode;
    Slice *slice;
    dxp_field_group_status_t status;
    Group *next;
};

// Action, counter and meter records an entry may carry.
struct Action {
    int type;
    uint32_t param0;
    uint32_t param1;
    Action *next;
};
struct Counter {
    int row;  // TCAM row whose statistics it reads
};
struct Meter {
    uint32_t committed_rate, committed_burst;
    uint32_t peak_rate, peak_burst;
};

struct Entry {
    int unit;
    int id;
    int group;
    int prio;
    uint16_t slice_idx;  // TCAM row
    bool dirty;          // the image differs from the row, or the row was removed
    bool on_chip;        // its row has been written: a move copies the row
    Action *actions;
    Counter *counter;
    uint32_t counter_pair;
    Meter *meter;
    int meter_mode;
    bool meter_installed;
    Slice *fs;
    drv_cfp_entry_t image;
};

// Process-wide row map and free-row count (all units share them).
extern Entry *_field_shared_entries[kMaxRows];
extern int shared_free_rows;

// Prints the operation's trace line and makes the unit and feature checks.
int unit_checks(const char *op, int unit);
// unit_checks, then the module must be initialised; *fc is its record.
int checks(const char *op, int unit, Control **fc);

Group *group_find(const Control *fc, int group);
Entry *entry_find(const Control *fc, int entry);
// checks, then the entry by id; *fc (when asked for) is the module's record.
int entry_get(const char *op, int unit, int entry, Entry **e, Control **fc = nullptr);
// 0, or -10 while any row of the slice holds an entry; a free slice has no
// owner, no qset and no CFP slice.
int slice_clear(const Control *fc, Slice *fs);
// The entry's slice-enable bit on every valid port, once per slice.
int slice_enable(int unit, Slice *fs);
// Frees every action record of the entry.
void actions_release(Entry *e);

// Key layouts of the chips: B on the DXP7101 family, A on the older CFP chip.
enum class KeyLayout { None, A, B };
KeyLayout key_layout(int unit);

}  // namespace tarn::field
