// Per-unit switch API. Every dxp_<operation> checks that the unit is below
// 128 and attached (else -3) and calls the operation's slot in the unit's
// dispatch table with the same arguments, returning its result unchanged; an
// empty slot answers -16. The operations and their slots are listed in
// dxp_api_list.h.
#pragma once

#include <cstdint>

#include "dxp_enums.h"
#include "dxp_error.h"
#include "dxp_types.h"

// Dispatch table of a chip family.
struct dxp_dispatch_t {
    const char *family;
    // Called when a unit is attached; fills the chip's identity.
    int (*attach)(int unit, dxp_info_t *info);
    int (*detach)(int unit);
#define DXP_API(slot, name, ret, params, args) ret(*name) params;
#include "dxp_api_list.h"
};

#define DXP_API(slot, name, ret, params, args) ret dxp_##name params;
#include "dxp_api_list.h"

// The family that dxp_init attaches a unit to.
#define DXP_DEFAULT_FAMILY "tarn"

// Attaches unit (or the lowest free unit for -1) to the family named type:
// the attached unit, or -3 (bad unit), -4 (unknown family, over-long names),
// -6 (no free unit), -8 (already attached) or the family's attach error.
// subtype may be null; type and subtype are copied (15 and 31 characters).
int dxp_attach(int unit, const char *type, const char *subtype, int remote_unit);
int dxp_detach(int unit);
// The first attached unit with that family, subtype (null: any) and remote
// unit, or -7.
int dxp_find(const char *type, const char *subtype, int remote_unit);
int dxp_attach_check(int unit);  // 0 when attached, else -3

// The unit's API lock ("dxp_config_lock", recursive): guards the software
// state behind the unit's dispatch table (field groups, entries, ranges,
// meters and counters, DoS records, trunk, spanning-tree, mirror, VLAN and
// port records). Every per-unit stub holds it for its call except the
// operations that wait for a thread that itself calls the API or that call
// up into the layers above (dxp_api_slot_unlocked). Lock order: a feature
// manager's lock, then this lock, then the module locks below it
// (field_control.lock, link scan's lock, PHY and driver locks). Null for a
// unit out of range.
struct sal_mutex_s;
sal_mutex_s *dxp_unit_lock(int unit);
// True for the dispatch slots whose stub runs without the unit's API lock.
bool dxp_api_slot_unlocked(int slot);

// Holds the unit's API lock for a scope; for code that reaches the family's
// state other than through the stubs, or that makes several calls one step.
class DxpUnitLock {
  public:
    explicit DxpUnitLock(int unit);
    ~DxpUnitLock();
    DxpUnitLock(const DxpUnitLock &) = delete;
    DxpUnitLock &operator=(const DxpUnitLock &) = delete;

  private:
    sal_mutex_s *lock_;
};

// API control record of an attached unit.
struct dxp_unit_control_t {
    char type[16];
    char subtype[32];
    int remote_unit;
    dxp_info_t chip;
};
int dxp_unit_control_get(int unit, dxp_unit_control_t *out);  // 0, -3 or -4

// Chip families known to dxp_attach. Registering a table replaces the family
// of the same name (units attached before keep the table they had): 0, -4 for
// a table without a name, -6 when the registry is full.
int dxp_dispatch_register(const dxp_dispatch_t *table);
const dxp_dispatch_t *dxp_dispatch_find(const char *family);  // null when unknown

// Why the unit refuses a weighted scheduling of these weights (one per
// queue): "Queue 3 weight 0 cannot run on this switch: its weights run 1 to
// 55" for the first weight it cannot run, or null when it runs them all.
const char *dxp_cosq_weights_refusal(int unit, const int *weights);
// Why a port refuses an ingress (egress 0) or egress limit of kbit/s with a
// burst of kbits, named with port_name: a port without that limiter, or a
// limit above the largest it has a code for ("ge3: egress limit 2000000 kbps
// is above the largest it runs, 1024000 kbps"); null when it runs it (a
// limit or burst between two codes runs as the nearest, as the chip takes
// it). No limit (0) is never refused here.
const char *dxp_port_rate_refusal(int unit, int port, const char *port_name, int egress,
                                  uint32_t kbits_sec, uint32_t kbits_burst);
// Why a port cannot run a storm limit of kbits_sec, named alike: a port
// without storm control, or a limit above the largest it has a code for;
// null when it runs it. No limit (0) is never refused here.
const char *dxp_storm_refusal(int unit, int port, const char *port_name, uint32_t kbits_sec);
