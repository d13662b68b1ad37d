// Port authorisation: 802.1X port states, egress blocking of unauthorised
// ports, a per-port list of authorised MACs and the port security mode.
#include <array>
#include <atomic>
#include <cstring>

#include "drv_security.h"
#include "dxp_tarn_auth.h"
#include "port_reserve.h"
#include "sal.h"
#include "tarn_internal.h"

namespace {

using tarn::services;

constexpr int kPorts = 53;
constexpr uint32_t kDevPropSecMacs = 7;
constexpr uint32_t kDevPropAuthPbmp = 9;
constexpr uint32_t kMacAdd = 8, kMacDelete = 9, kMacDeleteAll = 10;
constexpr uint32_t kModeUncontrolled = 0x1, kModeUnauth = 0x2, kModeAuth = 0x4;
constexpr uint32_t kModeBlockEgress = 0x10, kModeLinkKeep = 0x40;
constexpr int kLinkDownReason = 0x4000;

struct auth_mac_node {
    uint8_t mac[6];
    uint8_t spare[2];
    auth_mac_node *next;
};

struct auth_port {
    std::atomic<uint32_t> mode;
    int mac_count;
    int sec_param;
    uint32_t sec_mode;
    auth_mac_node *mac_list;
};

struct auth_info {
    std::atomic<int> initialised;
    auth_port port[kPorts];
};

struct auth_cb {
    int registered;
    dxp_auth_cb_t fn;
    void *data;
};

std::atomic<uint64_t> auth_pbmp{0};
std::array<auth_info, SOC_MAX_NUM_DEVICES> infos{};
std::array<auth_cb, SOC_MAX_NUM_DEVICES> cbs{};

// The callback is read on the link-scan thread.
sal_mutex_t cb_lock() {
    static sal_mutex_t m = sal_mutex_create("auth_cb");
    return m;
}

int entry(const char *op, int unit) {
    soc_cm_debug_print(tarn::kDebugApi, "DXP API : %s()..\n", op);
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    if (!infos[unit].initialised) return DXP_E_INIT;
    return auth_pbmp.load() & 0xffffffffu ? DXP_E_NONE : DXP_E_UNAVAIL;
}

soc_pbmp_t eligible_ports(int unit, bool mac_ops) {
    const uint64_t a = auth_pbmp.load();
    const soc_control_t *s = SOC_CONTROL(unit);
    soc_pbmp_t b{{s->e.bitmap.w[0] & static_cast<uint32_t>(a),
                  s->e.bitmap.w[1] & static_cast<uint32_t>(a >> 32)}};
    if (mac_ops && SOC_IS_DXP7102(unit)) {
        b.w[0] &= ~s->ge.bitmap.w[0];
        b.w[1] &= ~s->ge.bitmap.w[1];
    }
    return b;
}

bool eligible(int unit, int port, bool mac_ops = false) {
    return port >= 0 && port < kPorts && SOC_PORT_VALID(unit, port) &&
           soc_pbmp_member(eligible_ports(unit, mac_ops), port);
}

int port_entry(const char *op, int unit, int port, bool mac_ops = false) {
    if (int rv = entry(op, unit); rv < 0) return rv;
    return eligible(unit, port, mac_ops) ? DXP_E_NONE : DXP_E_BADID;
}

bool mac_equal(const uint8_t *a, const uint8_t *b) {
    return std::memcmp(a, b, 6) == 0;
}

}  // namespace

int dxp_tarn_auth_maclist_find(auth_mac_node *head, const uint8_t *mac) {
    for (; head != nullptr; head = head->next)
        if (mac_equal(head->mac, mac)) return 1;
    return 0;
}

int dxp_tarn_auth_maclist_insert(auth_mac_node **head, const uint8_t *mac, auth_mac_node **node) {
    if (dxp_tarn_auth_maclist_find(*head, mac)) return DXP_E_EXISTS;
    auto *n = static_cast<auth_mac_node *>(sal_alloc(sizeof(auth_mac_node), "maclist"));
    if (n == nullptr) return DXP_E_MEMORY;
    std::memcpy(n->mac, mac, 6);
    n->next = *head;
    *head = n;
    if (node != nullptr) *node = n;
    return DXP_E_NONE;
}

int dxp_tarn_auth_maclist_remove(auth_mac_node **head, const uint8_t *mac, auth_mac_node **node) {
    for (auth_mac_node **p = head; *p != nullptr; p = &(*p)->next) {
        if (!mac_equal((*p)->mac, mac)) continue;
        auth_mac_node *n = *p;
        *p = n->next;
        n->next = nullptr;
        *node = n;
        return DXP_E_NONE;
    }
    return DXP_E_NOT_FOUND;
}

int dxp_tarn_auth_maclist_flush(auth_mac_node **head) {
    if (*head == nullptr) return DXP_E_EMPTY;
    while (auth_mac_node *n = *head) {
        *head = n->next;
        sal_free(n);
    }
    return DXP_E_NONE;
}

int dxp_tarn_auth_init(int unit) {
    soc_cm_debug_print(tarn::kDebugApi, "DXP API : dxp_tarn_auth_init()..\n");
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    uint32_t w[2] = {0, 0};
    if (int rv = services(unit)->dev_prop_get(unit, kDevPropAuthPbmp, w); rv < 0) return rv;
    auth_pbmp = static_cast<uint64_t>(w[1]) << 32 | w[0];
    if (w[0] == 0) return DXP_E_UNAVAIL;
    auth_info &info = infos[unit];
    for (auth_port &p : info.port) {
        dxp_tarn_auth_maclist_flush(&p.mac_list);
        p.mode = 0;
        p.mac_count = p.sec_param = 0;
        p.sec_mode = 0;
    }
    info.initialised = 0;
    const soc_pbmp_t ports = eligible_ports(unit, false);
    if (int rv = services(unit)->security_set(unit, ports, DRV_SECURITY_STATE_UNCONTROLLED, 0, 0);
        rv < 0)
        return rv;
    info.initialised = 1;
    for (int port = 0; port < kPorts; port++)
        if (soc_pbmp_member(ports, port)) info.port[port].mode = kModeUncontrolled;
    if (!cbs[unit].registered) {
        if (int rv = dxp_linkscan_register(unit, dxp_tarn_auth_link_handler); rv < 0) return rv;
        cbs[unit].registered = 1;
    }
    return DXP_E_NONE;
}

int dxp_tarn_auth_detach(int unit) {
    if (int rv = entry(__func__, unit); rv < 0) return rv;
    const soc_pbmp_t ports = eligible_ports(unit, true);
    for (int port = 0; port < kPorts; port++)
        if (soc_pbmp_member(ports, port)) dxp_auth_mac_delete_all(unit, port);
    if (int rv = dxp_auth_init(unit); rv < 0) return rv;
    sal_mutex_take(cb_lock(), sal_mutex_FOREVER);
    cbs[unit].fn = nullptr;
    cbs[unit].data = nullptr;
    sal_mutex_give(cb_lock());
    if (cbs[unit].registered) {
        dxp_linkscan_unregister(unit, dxp_tarn_auth_link_handler);
        cbs[unit].registered = 0;
    }
    return DXP_E_NONE;
}

int dxp_tarn_auth_mode_set(int unit, int port, uint32_t modes) {
    soc_cm_debug_print(tarn::kDebugApi, "DXP API : dxp_tarn_auth_mode_set()..port=%d, mode=0x%x\n",
                       port, modes);
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    uint32_t state;
    if (modes & kModeUncontrolled)
        state = DRV_SECURITY_STATE_UNCONTROLLED;
    else if (modes & kModeUnauth)
        state = DRV_SECURITY_STATE_UNAUTHORIZED;
    else if (modes & kModeAuth)
        state = DRV_SECURITY_STATE_AUTHORIZED;
    else
        return DXP_E_PARAM;
    // A port under 802.1X control keeps no MAC security mode of its own.
    if (int rv = services(unit)->security_set(unit, tarn::port_bitmap(port), state,
                                              DRV_SECURITY_NONE, 0);
        rv < 0)
        return rv;
    infos[unit].port[port].mode = modes;
    return DXP_E_NONE;
}

int dxp_tarn_auth_mode_get(int unit, int port, uint32_t *modes) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (modes == nullptr) return DXP_E_PARAM;
    *modes = infos[unit].port[port].mode;
    soc_cm_debug_print(tarn::kDebugApi,
                       "DXP API : dxp_tarn_auth_mode_get()....port=%d, mode=0x%x\n", port, *modes);
    return DXP_E_NONE;
}

// The link handler reports ports it turns unauthorised to this callback.
int dxp_tarn_auth_unauth_callback(int unit, dxp_auth_cb_t func, void *cookie) {
    if (int rv = entry(__func__, unit); rv < 0) return rv;
    sal_mutex_take(cb_lock(), sal_mutex_FOREVER);
    cbs[unit].fn = func;
    cbs[unit].data = cookie;
    sal_mutex_give(cb_lock());
    return DXP_E_NONE;
}

int dxp_tarn_auth_egress_set(int unit, int port, int enable) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    const uint32_t mode = infos[unit].port[port].mode;
    if ((mode & kModeUnauth) == 0 || (mode & kModeBlockEgress) == 0) return DXP_E_NONE;
    return services(unit)->port_set(unit, tarn::port_bitmap(port), PROP_ENABLE_TX, enable != 0);
}

int dxp_tarn_auth_egress_get(int unit, int port, int *enable) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (enable == nullptr) return DXP_E_PARAM;
    uint32_t v = 0;
    if (int rv = services(unit)->port_get(unit, port, PROP_ENABLE_TX, &v); rv < 0) return rv;
    *enable = static_cast<int>(v);
    return DXP_E_NONE;
}

int dxp_tarn_auth_mac_add(int unit, int port, const dxp_mac_t mac) {
    if (int rv = port_entry(__func__, unit, port, true); rv < 0) return rv;
    static constexpr uint8_t kZero[6] = {}, kEapol[6] = {0x01, 0x80, 0xc2, 0x00, 0x00, 0x03};
    if (mac == nullptr || mac_equal(mac, kZero) || mac_equal(mac, kEapol)) return DXP_E_PARAM;
    uint32_t max = 0;
    if (int rv = services(unit)->dev_prop_get(unit, kDevPropSecMacs, &max); rv < 0) return rv;
    if (max == 0) return DXP_E_UNAVAIL;
    auth_port &p = infos[unit].port[port];
    if (static_cast<uint32_t>(p.mac_count) >= max) return DXP_E_FULL;
    // The list takes the MAC first so that the chip never holds one the
    // list lacks.
    auth_mac_node *node = nullptr;
    if (int rv = dxp_tarn_auth_maclist_insert(&p.mac_list, mac, &node); rv < 0) return rv;
    uint8_t m[6];
    std::memcpy(m, mac, 6);
    if (int rv = services(unit)->mac_set(unit, tarn::port_bitmap(port), kMacAdd, m, 0); rv < 0) {
        dxp_tarn_auth_maclist_remove(&p.mac_list, mac, &node);
        sal_free(node);
        return rv;
    }
    p.mac_count++;
    return DXP_E_NONE;
}

int dxp_tarn_auth_mac_delete(int unit, int port, const dxp_mac_t mac) {
    if (int rv = port_entry(__func__, unit, port, true); rv < 0) return rv;
    if (mac == nullptr) return DXP_E_PARAM;
    uint8_t m[6];
    std::memcpy(m, mac, 6);
    if (int rv = services(unit)->mac_set(unit, tarn::port_bitmap(port), kMacDelete, m, 0); rv < 0)
        return rv;
    auth_port &p = infos[unit].port[port];
    auth_mac_node *node = nullptr;
    if (int rv = dxp_tarn_auth_maclist_remove(&p.mac_list, mac, &node); rv < 0) return rv;
    sal_free(node);
    p.mac_count--;
    return DXP_E_NONE;
}

int dxp_tarn_auth_mac_delete_all(int unit, int port) {
    if (int rv = port_entry(__func__, unit, port, true); rv < 0) return rv;
    if (int rv = services(unit)->mac_set(unit, tarn::port_bitmap(port), kMacDeleteAll, nullptr, 0);
        rv < 0)
        return rv;
    auth_port &p = infos[unit].port[port];
    const int rv = dxp_tarn_auth_maclist_flush(&p.mac_list);
    p.mac_count = 0;
    return rv;
}

int dxp_tarn_auth_sec_mode_set(int unit, int port, uint32_t mode, int param) {
    if (int rv = port_entry(__func__, unit, port, true); rv < 0) return rv;
    DxpUnitLock api(unit);  // called directly, not through a stub
    if (port_reserve_refuses(unit, port)) {
        port_reserve_note_refusal(unit, port);
        return DXP_E_BUSY;
    }
    uint32_t prop;
    switch (mode) {
        case DXP_AUTH_SEC_NONE:
            prop = PROP_SEC_MODE_NONE;
            break;
        case DXP_AUTH_SEC_STATIC_ACCEPT:
            prop = PROP_SEC_MODE_STATIC_ACCEPT;
            break;
        case DXP_AUTH_SEC_STATIC_REJECT:
            prop = PROP_SEC_MODE_STATIC_REJECT;
            break;
        case DXP_AUTH_SEC_SA_NUM:
            if (param >= 4096) return DXP_E_PARAM;
            prop = PROP_SEC_MODE_DYNAMIC_SA_NUM;
            break;
        case DXP_AUTH_SEC_SA_MATCH:
            prop = PROP_SEC_MODE_DYNAMIC_SA_MATCH;
            break;
        default:
            return DXP_E_PARAM;
    }
    if (int rv = services(unit)->port_set(unit, tarn::port_bitmap(port), prop,
                                          static_cast<uint32_t>(param));
        rv < 0)
        return rv;
    infos[unit].port[port].sec_param = param;
    infos[unit].port[port].sec_mode = mode;
    return DXP_E_NONE;
}

void dxp_tarn_auth_link_handler(int unit, int port, dxp_port_info *info) {
    if (!SOC_UNIT_VALID(unit) || port < 0 || port >= kPorts || info == nullptr) return;
    // Link scan calls its handlers without the API lock that guards the modes
    // (and the unit's port sets, which a re-init changes).
    uint32_t mode = 0;
    {
        DxpUnitLock api(unit);
        if (!soc_pbmp_member(SOC_CONTROL(unit)->e.bitmap, port)) return;
        mode = infos[unit].port[port].mode;
    }
    if (mode & kModeUncontrolled) return;
    if (info->linkstatus == 0 && (mode & kModeAuth) && !(mode & kModeLinkKeep))
        dxp_auth_mode_set(unit, port, kModeUnauth);
    sal_mutex_take(cb_lock(), sal_mutex_FOREVER);
    const dxp_auth_cb_t fn = cbs[unit].fn;
    void *data = cbs[unit].data;
    sal_mutex_give(cb_lock());
    if (fn != nullptr) fn(data, unit, port, kLinkDownReason);
}
