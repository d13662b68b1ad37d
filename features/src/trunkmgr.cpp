// Trunk manager: group bitmaps, the port-to-group map and change delivery.
#include "trunkmgr.h"

#include <cstdint>

#include "logger.h"
#include "sal.h"
#include "sal_lock.h"

namespace {

constexpr int kMaxTrunks = 8;

// The groups, the port map and the counts are guarded by "TRUNKMGR"
// (trunkmgr_lock()); the handler list by "TRUNKMGR CB", which is held while
// a change is delivered on the deferred-call thread.
upbmp_t groups[kMaxTrunks];  // configured when byte_count != 0
int *port_map = nullptr;     // word n-1: trunk of user port n, or -1
int configured = 0;
int free_ports = 0;
sal_mutex_t lock = nullptr;     // "TRUNKMGR"
sal_mutex_t cb_lock = nullptr;  // "TRUNKMGR CB"

struct HandlerNode {
    HandlerNode *next;
    trunkmgr_handler_t handler;
};
HandlerNode *handlers = nullptr;

bool valid_id(int tid) {
    return tid >= 0 && tid < board_num_trunks && tid < kMaxTrunks;
}

void free_members(int tid) {
    for (int n = 1; n <= board_num_uports; n++) {
        if (upbmp_test(&groups[tid], n)) {
            port_map[n - 1] = -1;
            free_ports++;
        }
    }
}

void change_free(trunk_change *c) {
    upbmp_free(&c->a);
    upbmp_free(&c->b);
    sal_free(c);
}

void change_deliver(void *, void *record, void *, void *, void *) {
    auto *c = static_cast<trunk_change *>(record);
    {
        SalLock hold(cb_lock);
        for (HandlerNode *h = handlers; h != nullptr; h = h->next)
            h->handler(c);
    }
    change_free(c);
}

}  // namespace

sal_mutex_t trunkmgr_lock(void) {
    static sal_mutex_t m = sal_mutex_create("TRUNKMGR");
    return m;
}

int trunkmgr_init(void) {
    if (lock == nullptr) lock = trunkmgr_lock();
    if (lock == nullptr)
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_TRUNKING, "Manager Mutex create failed!");
    if (cb_lock == nullptr) cb_lock = sal_mutex_create("TRUNKMGR CB");
    if (cb_lock == nullptr)
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_TRUNKING, "Manager Mutex create failed!");
    for (upbmp_t &g : groups) {
        upbmp_free(&g);
        g = {};
    }
    sal_free(port_map);
    port_map = static_cast<int *>(
        sal_alloc(sizeof(int) * static_cast<size_t>(board_num_uports + 1), "TRUNK_MGR"));
    if (port_map == nullptr) return SOC_E_MEMORY;
    for (int n = 0; n <= board_num_uports; n++)
        port_map[n] = -1;
    configured = 0;
    free_ports = board_num_uports;
    return SOC_E_NONE;
}

int trunkmgr_trunk_set(int tid, const upbmp_t *members) {
    if (!valid_id(tid)) return SOC_E_BADID;
    SalLock hold(lock);
    upbmp_t &g = groups[tid];
    const bool was = g.byte_count != 0;
    uint32_t type = 0;
    if (upbmp_is_empty(members)) {
        if (!was) return SOC_E_NONE;
        free_members(tid);
        configured--;
        type = TRUNK_CHANGE_DELETE;
    } else if (was) {
        if (upbmp_equal(members, &g)) return SOC_E_NONE;
        free_members(tid);
        type = TRUNK_CHANGE_MODIFY;
    } else {
        int rv = upbmp_alloc(&g, board_num_uports);
        if (rv != SOC_E_NONE) return rv;
        configured++;
        type = TRUNK_CHANGE_CREATE;
    }
    auto *c = static_cast<trunk_change *>(sal_alloc(sizeof(trunk_change), "trunkmgr cb"));
    int rv = c == nullptr ? SOC_E_MEMORY : upbmp_alloc(&c->a, board_num_uports);
    if (rv == SOC_E_NONE && type == TRUNK_CHANGE_MODIFY) rv = upbmp_alloc(&c->b, board_num_uports);
    if (rv != SOC_E_NONE) {
        if (c != nullptr) change_free(c);
        // The group keeps what it holds so far; members follow the caller.
        if (type == TRUNK_CHANGE_DELETE) {
            upbmp_free(&g);
            g = {};
        }
        return rv;
    }
    c->type = type;
    c->trunk_id = static_cast<uint32_t>(tid);
    if (type == TRUNK_CHANGE_DELETE) {
        upbmp_copy(&c->a, &g);
        upbmp_free(&g);
        g = {};
    } else {
        if (type == TRUNK_CHANGE_MODIFY) upbmp_copy(&c->b, &g);
        upbmp_copy(&c->a, members);
        upbmp_copy(&g, members);
        for (int n = 1; n <= board_num_uports; n++) {
            if (upbmp_test(&g, n)) {
                port_map[n - 1] = tid;
                free_ports--;
            }
        }
    }
    if (sal_dpc(change_deliver, nullptr, c, nullptr, nullptr, nullptr) != 0) change_free(c);
    return SOC_E_NONE;
}

int trunkmgr_trunk_delete(int tid) {
    upbmp_t none{};
    return trunkmgr_trunk_set(tid, &none);
}

int trunkmgr_trunk_delete_all(void) {
    int rv = SOC_E_NONE;
    for (int tid = 0; tid < board_num_trunks; tid++) {
        int r = trunkmgr_trunk_delete(tid);
        if (r != SOC_E_NONE) rv = r;
    }
    return rv;
}

int trunkmgr_trunk_get(int tid, upbmp_t *members) {
    if (!valid_id(tid)) return SOC_E_BADID;
    SalLock hold(lock);
    if (groups[tid].byte_count == 0) return SOC_E_NOT_FOUND;
    int rv = upbmp_alloc(members, board_num_uports);
    if (rv == SOC_E_NONE) upbmp_copy(members, &groups[tid]);
    return rv;
}

int trunkmgr_port_trunk_get(int uport) {
    if (port_map == nullptr || uport < 1 || uport > board_num_uports) return -1;
    SalLock hold(lock);
    return port_map[uport - 1];
}

int trunkmgr_port_in_trunk(int tid, int uport) {
    int t = trunkmgr_port_trunk_get(uport);
    return t >= 0 && t == tid ? 1 : 0;
}

int trunkmgr_trunk_id_by_index(int n) {
    SalLock hold(lock);
    for (int tid = 0; tid < board_num_trunks && tid < kMaxTrunks; tid++) {
        if (groups[tid].byte_count != 0 && n-- == 0) return tid;
    }
    return -1;
}

int trunkmgr_trunk_port_by_index(int n) {
    SalLock hold(lock);
    for (int u = 1; u <= board_num_uports; u++) {
        if (port_map[u - 1] >= 0 && n-- == 0) return u;
    }
    return -1;
}

int trunkmgr_configured_count(void) {
    SalLock hold(lock);
    return configured;
}

int trunkmgr_free_port_count(void) {
    SalLock hold(lock);
    return free_ports;
}

int trunkmgr_handler_register(trunkmgr_handler_t handler) {
    SalLock hold(cb_lock);
    HandlerNode **tail = &handlers;
    for (; *tail != nullptr; tail = &(*tail)->next) {
        if ((*tail)->handler == handler) return SOC_E_NONE;
    }
    auto *node = static_cast<HandlerNode *>(sal_alloc(sizeof(HandlerNode), "trunkmgr_handler"));
    if (node == nullptr) return SOC_E_MEMORY;
    node->handler = handler;
    *tail = node;
    return SOC_E_NONE;
}

int trunkmgr_handler_unregister(trunkmgr_handler_t handler) {
    SalLock hold(cb_lock);
    for (HandlerNode **p = &handlers; *p != nullptr; p = &(*p)->next) {
        if ((*p)->handler == handler) {
            HandlerNode *gone = *p;
            *p = gone->next;
            sal_free(gone);
            break;
        }
    }
    return SOC_E_NONE;
}
