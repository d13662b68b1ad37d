// Which user ports belong to which trunk group; every change of a group is
// announced to the registered handlers on the deferred-call thread.
#pragma once

#include <cstdint>

#include "board.h"
#include "sal.h"
#include "serialize.h"

constexpr uint32_t TRUNK_CHANGE_CREATE = 1;
constexpr uint32_t TRUNK_CHANGE_DELETE = 2;
constexpr uint32_t TRUNK_CHANGE_MODIFY = 3;

// A: new members (create, modify) or removed ones (delete); B: old members
// of a modify, else empty.
struct trunk_change {
    uint32_t type;
    uint32_t trunk_id;
    upbmp_t a;
    upbmp_t b;
};
// Must not keep the record.
using trunkmgr_handler_t = void (*)(const trunk_change *change);

// The manager's lock ("TRUNKMGR", recursive; every call below takes it). The
// page and the settings item hold it across a change of the chip's trunks
// and the table; it sits under the settings lock and over the API's locks.
sal_mutex_t trunkmgr_lock(void);
int trunkmgr_init(void);
int trunkmgr_trunk_set(int tid, const upbmp_t *members);  // 0, -2 or -13
int trunkmgr_trunk_delete(int tid);
int trunkmgr_trunk_delete_all(void);
int trunkmgr_trunk_get(int tid, upbmp_t *members);  // a copy: 0, -13 or -7
int trunkmgr_port_trunk_get(int uport);             // trunk id, or -1
int trunkmgr_port_in_trunk(int tid, int uport);
int trunkmgr_trunk_id_by_index(int n);
int trunkmgr_trunk_port_by_index(int n);
int trunkmgr_configured_count(void);
int trunkmgr_free_port_count(void);
int trunkmgr_handler_register(trunkmgr_handler_t handler);  // 0 or -2
int trunkmgr_handler_unregister(trunkmgr_handler_t handler);

// The "trunk" settings item: each chip trunk's selection and members.
int trunkmgr_item(int op, settings_medium *m);
