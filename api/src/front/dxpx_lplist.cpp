// Logical-port lists.
#include <algorithm>
#include <cstring>

#include "dxpx.h"
#include "sal.h"

namespace {

// Moves the list to room for capacity entries: 0 or -2.
int resize(dxpx_lplist_t *list, int capacity) {
    auto *ports = static_cast<int *>(sal_alloc(sizeof(int) * capacity, "dxpx_lplist"));
    if (ports == nullptr) return DXP_E_MEMORY;
    if (list->lp_ports != nullptr) {
        std::memcpy(ports, list->lp_ports, sizeof(int) * (list->lp_last + 1));
        sal_free(list->lp_ports);
    }
    list->lp_ports = ports;
    list->lp_alloc = capacity;
    return DXP_E_NONE;
}

}  // namespace

int dxpx_lplist_init(dxpx_lplist_t *list, int count, int capacity) {
    if (list == nullptr) return DXP_E_PARAM;
    *list = dxpx_lplist_t{-1, 0, nullptr};
    return resize(list, std::max({count, capacity, DXPX_LPLIST_GROW}));
}

int dxpx_lplist_free(dxpx_lplist_t *list) {
    if (list == nullptr) return DXP_E_PARAM;
    sal_free(list->lp_ports);
    *list = dxpx_lplist_t{-1, 0, nullptr};
    return DXP_E_NONE;
}

int dxpx_lplist_clear(dxpx_lplist_t *list) {
    if (list == nullptr) return DXP_E_PARAM;
    list->lp_last = -1;
    return DXP_E_NONE;
}

int dxpx_lplist_add(dxpx_lplist_t *list, int lport) {
    if (list == nullptr) return DXP_E_PARAM;
    if (list->lp_ports == nullptr) list->lp_last = -1;  // a list that was never given room
    if (list->lp_last + 1 >= list->lp_alloc || list->lp_ports == nullptr) {
        int rv = resize(list, std::max(list->lp_alloc, 0) + DXPX_LPLIST_GROW);
        if (rv < 0) return rv;
    }
    list->lp_ports[++list->lp_last] = lport;
    return DXP_E_NONE;
}

int dxpx_lplist_count(const dxpx_lplist_t *list) {
    if (list == nullptr || list->lp_ports == nullptr || list->lp_last < 0) return 0;
    return std::min(list->lp_last + 1, list->lp_alloc);
}

int dxpx_lplist_index_of(const dxpx_lplist_t *list, int lport) {
    if (list == nullptr) return DXP_E_PARAM;
    const int count = dxpx_lplist_count(list);
    for (int i = 0; i < count; i++)
        if (list->lp_ports[i] == lport) return i;
    return DXP_E_NOT_FOUND;
}
