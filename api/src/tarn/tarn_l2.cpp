// The L2 address module: L2 address records to and from the chip's ARL
// entries, add / look up / delete by every key, the change notification
// towards up to three clients per unit, the age timer, the BPDU addresses and
// the two-entry L2 cache.
#include <array>
#include <cstring>

#include "drv_arl.h"
#include "drv_mem.h"
#include "dxp_tarn.h"
#include "sal.h"
#include "soc_arl.h"
#include "soc_property.h"
#include "tarn_internal.h"

namespace {

constexpr int kWords = DRV_ARL_ENTRY_WORDS;
constexpr uint32_t kUnsupportedFlags = 0x9e;
constexpr uint32_t kControlFlags = DXP_L2_DISCARD_SRC | DXP_L2_DISCARD_DST | DXP_L2_COPY_TO_CPU;
constexpr uint32_t kFlagNative = 0x10000, kFlagMoved = 0x20000, kFlagMovedFromNative = 0x40000,
                   kFlagMovedToNative = 0x80000;
constexpr uint32_t kCacheValid = 0x400;

constexpr uint32_t kOpKey = DRV_MEM_OP_BY_MAC | DRV_MEM_OP_BY_VLAN;  // 0x6
constexpr uint32_t kOpKeyStatic = kOpKey | DRV_MEM_OP_DELETE_BY_STATIC;
constexpr dxp_vlan_t kVidMax = 4095;

constexpr uint32_t kPropAgeMax = 2, kPropVlanIds = 0xb, kPropBpduNum = 0xc;
constexpr uint32_t kMacTypeBpdu = 1, kMacTypeCache0 = 2, kMacTypeCache1 = 3;
constexpr int kCacheSize = 2;
constexpr int kClients = 3;

struct Client {
    dxp_l2_addr_callback_t cb;
    void *data;
};
struct Notify {
    dxp_l2_addr_callback_t installed;
    void *installed_data;
    Client slot[kClients];
    int count;
};
std::array<Notify, SOC_MAX_NUM_DEVICES> notify{};

// The client slots change on the caller's thread while the ARL thread walks
// them.
sal_mutex_t client_lock(int unit) {
    static auto *locks = [] {
        auto *a = new std::array<sal_mutex_t, SOC_MAX_NUM_DEVICES>;
        for (auto &m : *a)
            m = sal_mutex_create("l2_clients");
        return a;
    }();
    return (*locks)[unit];
}

class ClientLock {
  public:
    explicit ClientLock(int unit) : lock_(client_lock(unit)) { sal_mutex_take(lock_, -1); }
    ~ClientLock() { sal_mutex_give(lock_); }
    ClientLock(const ClientLock &) = delete;
    ClientLock &operator=(const ClientLock &) = delete;

  private:
    sal_mutex_t lock_;
};

void trace(const char *op) {
    soc_cm_debug_print(tarn::kDebugApi, "DXP API : %s()..\n", op);
}

int unit_attached_check(int unit) {
    return SOC_UNIT_VALID(unit) && soc_unit_attached(unit) ? DXP_E_NONE : DXP_E_UNIT;
}

bool arl_control(int unit) {
    return soc_feature(unit, soc_feature_arl_mode_control);
}

int prop(int unit, uint32_t id, uint32_t *value) {
    uint32_t v[2] = {0, 0};
    int rv = tarn::services(unit)->dev_prop_get(unit, id, v);
    *value = v[0];
    return rv;
}

int field_set(int unit, uint32_t *e, uint32_t field, uint32_t value) {
    uint32_t v[2] = {value, 0};
    return tarn::services(unit)->mem_field_set(unit, DRV_MEM_ARL, field, e, v);
}

uint32_t field_get(int unit, uint32_t *e, uint32_t field) {
    uint32_t v[2] = {0, 0};
    tarn::services(unit)->mem_field_get(unit, DRV_MEM_ARL, field, e, v);
    return v[0];
}

int to_arl(int unit, uint32_t *e, const dxp_l2_addr *a) {
    std::memset(e, 0, kWords * sizeof(uint32_t));
    // The entry holds 12 bits of VLAN id: a larger one would name another VLAN.
    if (a->vid > kVidMax) return DXP_E_PARAM;
    uint32_t mask = kUnsupportedFlags;
    const bool control = arl_control(unit);
    if (control) mask &= ~kControlFlags;
    if (a->flags & mask) return DXP_E_UNAVAIL;
    const drv_if_t *drv = tarn::services(unit);
    uint32_t mac[2] = {static_cast<uint32_t>(a->mac[2]) << 24 |
                           static_cast<uint32_t>(a->mac[3]) << 16 |
                           static_cast<uint32_t>(a->mac[4]) << 8 | a->mac[5],
                       static_cast<uint32_t>(a->mac[0]) << 8 | a->mac[1]};
    if (int rv = drv->mem_field_set(unit, DRV_MEM_ARL, DRV_MEM_FIELD_MAC, e, mac); rv < 0)
        return rv;
    if (int rv = field_set(unit, e, DRV_MEM_FIELD_VLANID, a->vid); rv < 0) return rv;
    if (int rv = field_set(unit, e, DRV_MEM_FIELD_PRIORITY, static_cast<uint32_t>(a->cos_dst));
        rv < 0)
        return rv;
    if (a->flags & DXP_L2_STATIC) {
        if (int rv = field_set(unit, e, DRV_MEM_FIELD_STATIC, 1); rv < 0) return rv;
    }
    if (int rv = field_set(unit, e, DRV_MEM_FIELD_VALID, 1); rv < 0) return rv;
    if (a->flags & DXP_L2_HIT) {
        if (int rv = field_set(unit, e, DRV_MEM_FIELD_AGE, 1); rv < 0) return rv;
    }
    if (control) {
        uint32_t c = (a->flags & DXP_L2_DISCARD_DST)   ? 1
                     : (a->flags & DXP_L2_DISCARD_SRC) ? 2
                     : (a->flags & DXP_L2_COPY_TO_CPU) ? 3
                                                       : 0;
        if (int rv = field_set(unit, e, DRV_MEM_FIELD_ARL_CONTROL, c); rv < 0) return rv;
    }
    return field_set(unit, e, DRV_MEM_FIELD_SRC_PORT, static_cast<uint32_t>(a->port));
}

void from_arl(int unit, dxp_l2_addr *a, uint32_t *e) {
    *a = dxp_l2_addr{};
    uint32_t mac[2] = {0, 0};
    tarn::services(unit)->mem_field_get(unit, DRV_MEM_ARL, DRV_MEM_FIELD_MAC, e, mac);
    a->mac[0] = static_cast<uint8_t>(mac[1] >> 8);
    a->mac[1] = static_cast<uint8_t>(mac[1]);
    for (int i = 0; i < 4; i++)
        a->mac[2 + i] = static_cast<uint8_t>(mac[0] >> (24 - 8 * i));
    a->vid = static_cast<dxp_vlan_t>(field_get(unit, e, DRV_MEM_FIELD_VLANID));
    if (field_get(unit, e, DRV_MEM_FIELD_STATIC) != 0) a->flags |= DXP_L2_STATIC;
    if (a->mac[0] & 1) {
        a->flags |= DXP_L2_MCAST;
        if (uint32_t idx = field_get(unit, e, DRV_MEM_FIELD_DEST_BITMAP); idx != 0)
            a->l2mc_index = static_cast<int>(idx);
        return;
    }
    a->port = static_cast<int>(field_get(unit, e, DRV_MEM_FIELD_SRC_PORT));
    a->cos_dst = static_cast<int>(field_get(unit, e, DRV_MEM_FIELD_PRIORITY));
    if (field_get(unit, e, DRV_MEM_FIELD_AGE) != 0) a->flags |= DXP_L2_HIT;
    if (arl_control(unit)) {
        switch (field_get(unit, e, DRV_MEM_FIELD_ARL_CONTROL)) {
            case 1:
                a->flags |= DXP_L2_DISCARD_DST;
                break;
            case 2:
                a->flags |= DXP_L2_DISCARD_SRC;
                break;
            case 3:
                a->flags |= DXP_L2_COPY_TO_CPU;
                break;
            default:
                break;
        }
    }
}

void notify_fanout(int unit, dxp_l2_addr *l2addr, int insert, void *) {
    ClientLock lock(unit);
    for (const Client &c : notify[unit].slot)
        if (c.cb != nullptr) c.cb(unit, l2addr, insert, c.data);
}

// Runs on the L2 shadow thread under the driver's arl_table_lock, which comes
// after the unit's API lock: the port check goes straight to the family (it
// keeps no state), not through the locking stub.
void arl_callback(int unit, uint32_t *old_entry, uint32_t *new_entry, void *) {
    ClientLock lock(unit);
    const Notify &n = notify[unit];
    if (n.installed == nullptr) return;
    dxp_l2_addr old_addr{}, new_addr{};
    if (old_entry != nullptr) from_arl(unit, &old_addr, old_entry);
    if (new_entry != nullptr) from_arl(unit, &new_addr, new_entry);
    if (old_entry != nullptr && new_entry != nullptr) {
        old_addr.flags |= kFlagMoved;
        new_addr.flags |= kFlagMoved;
        if (dxp_tarn_l2_port_native(unit, old_addr.modid, old_addr.port) > 0) {
            old_addr.flags |= kFlagNative | kFlagMovedFromNative;
            new_addr.flags |= kFlagMovedFromNative;
        }
        if (dxp_tarn_l2_port_native(unit, new_addr.modid, new_addr.port) > 0) {
            new_addr.flags |= kFlagNative | kFlagMovedToNative;
            old_addr.flags |= kFlagMovedToNative;
        }
    } else if (old_entry != nullptr) {
        if (dxp_tarn_l2_port_native(unit, old_addr.modid, old_addr.port) > 0)
            old_addr.flags |= kFlagNative;
    } else if (new_entry != nullptr) {
        if (dxp_tarn_l2_port_native(unit, new_addr.modid, new_addr.port) > 0)
            new_addr.flags |= kFlagNative;
    }
    if (old_entry != nullptr) n.installed(unit, &old_addr, 0, n.installed_data);
    if (new_entry != nullptr) n.installed(unit, &new_addr, 1, n.installed_data);
}

int delete_key(int unit, dxp_l2_addr *a, uint32_t flags) {
    uint32_t e[kWords];
    if (int rv = to_arl(unit, e, a); rv < 0) return rv;
    return tarn::services(unit)->mem_delete(unit, DRV_MEM_ARL, e, flags);
}

// A key entry holding only the port and / or the VLAN id.
int delete_by(int unit, const int *port, const dxp_vlan_t *vid, uint32_t op, uint32_t flags) {
    uint32_t e[kWords] = {};
    if (vid != nullptr) {
        if (int rv = field_set(unit, e, DRV_MEM_FIELD_VLANID, *vid); rv < 0) return rv;
    }
    if (port != nullptr) {
        if (int rv = field_set(unit, e, DRV_MEM_FIELD_SRC_PORT, static_cast<uint32_t>(*port));
            rv < 0)
            return rv;
    }
    if (flags & DXP_L2_DELETE_STATIC) op |= DRV_MEM_OP_DELETE_BY_STATIC;
    return tarn::services(unit)->mem_delete(unit, DRV_MEM_ARL, e, op);
}

void warn_delete_by_mac(int rv) {
    soc_cm_debug_print(tarn::kDebugWarn, "Warnning: dxp_l2_addr_delete_by_mac(),\n\t >>%s\n",
                       dxp_errmsg(rv));
}

// Deletes mac in every VLAN; port >= 0 deletes only entries on that port.
int delete_by_mac_walk(int unit, const dxp_mac_t mac, int port, uint32_t flags) {
    uint32_t vids = 0;
    if (int rv = prop(unit, kPropVlanIds, &vids); rv < 0) return rv;
    const drv_if_t *drv = tarn::services(unit);
    const bool statics = flags == DXP_L2_DELETE_STATIC;
    for (uint32_t vid = 1; vid < vids; vid++) {
        dxp_l2_addr a;
        dxp_l2_addr_init(&a, mac, static_cast<dxp_vlan_t>(vid));
        if (statics) a.flags |= DXP_L2_STATIC;
        uint32_t key[kWords];
        if (int rv = to_arl(unit, key, &a); rv < 0) return rv;
        if (port >= 0) {
            uint32_t found[kWords] = {};
            int rv = drv->mem_search(unit, DRV_MEM_ARL, key, found, nullptr, kOpKey);
            if (rv == DXP_E_NOT_FOUND) continue;
            if (rv != DXP_E_EXISTS) {
                if (rv < 0) warn_delete_by_mac(rv);
                continue;
            }
            if (field_get(unit, found, DRV_MEM_FIELD_SRC_PORT) != static_cast<uint32_t>(port))
                continue;
        }
        int rv = drv->mem_delete(unit, DRV_MEM_ARL, key, statics ? kOpKeyStatic : kOpKey);
        if (rv < 0 && rv != DXP_E_NOT_FOUND) warn_delete_by_mac(rv);
    }
    return DXP_E_NONE;
}

// Runs del on each member port of trunk tgid.
template <typename Del>
int delete_by_trunk(int unit, int tgid, Del del) {
    if (tgid == -1) return DXP_E_PARAM;
    dxp_trunk_add_info info{};
    int rv = dxp_trunk_get(unit, tgid, &info);
    if (rv == DXP_E_NOT_FOUND) return DXP_E_NONE;
    if (rv < 0) return DXP_E_INTERNAL;
    if (info.num_ports <= 0) return DXP_E_UNAVAIL;
    for (int i = 0; i < info.num_ports && i < DXP_TRUNK_MAX_PORTCNT; i++) {
        if (rv = del(info.tp[i]); rv < 0) return rv;
    }
    return DXP_E_NONE;
}

int arl_search(int unit, dxp_l2_addr *key_addr, uint32_t *found) {
    uint32_t key[kWords];
    if (int rv = to_arl(unit, key, key_addr); rv < 0) return rv;
    return tarn::services(unit)->mem_search(unit, DRV_MEM_ARL, key, found, nullptr, kOpKey);
}

int cache_type(int index, uint32_t *type) {
    if (index == 0) {
        *type = kMacTypeCache0;
    } else if (index == 1) {
        *type = kMacTypeCache1;
    } else {
        return DXP_E_PARAM;
    }
    return DXP_E_NONE;
}

int bpdu_check(int unit, int index) {
    const int count = dxp_l2_bpdu_count(unit);
    if (count <= 0) return DXP_E_UNAVAIL;
    return index < 0 || index >= count ? DXP_E_PARAM : DXP_E_NONE;
}

int bpdu_init(int unit) {
    static const dxp_mac_t kBpdu = {0x01, 0x80, 0xc2, 0x00, 0x00, 0x00};
    const int count = dxp_l2_bpdu_count(unit);
    for (int i = 0; i < count; i++) {
        if (int rv = dxp_l2_bpdu_set(unit, i, kBpdu); rv < 0) return rv;
    }
    return DXP_E_NONE;
}

// Empties the chip's L2 table.
int arl_clear(int unit) {
    return tarn::services(unit)->mem_clear(unit, DRV_MEM_ARL);
}

}  // namespace

void _dxp_tarn_l2_from_arl(int unit, dxp_l2_addr *l2addr, uint32_t *entry) {
    from_arl(unit, l2addr, entry);
}

int dxp_tarn_l2_addr_add(int unit, dxp_l2_addr *l2addr) {
    trace("dxp_tarn_l2_addr_add");
    if (l2addr == nullptr) return DXP_E_PARAM;
    uint32_t e[kWords];
    if (int rv = to_arl(unit, e, l2addr); rv < 0) return rv;
    uint32_t op = kOpKey;
    if (l2addr->flags & DXP_L2_REPLACE_DYNAMIC) op |= DRV_MEM_OP_REPLACE;
    return tarn::services(unit)->mem_insert(unit, DRV_MEM_ARL, e, op);
}

int dxp_tarn_l2_addr_delete(int unit, const dxp_mac_t mac, dxp_vlan_t vid) {
    trace("dxp_tarn_l2_addr_delete");
    dxp_l2_addr a;
    dxp_l2_addr_init(&a, mac, vid);
    return delete_key(unit, &a, kOpKeyStatic);
}

int dxp_tarn_l2_addr_delete_by_port(int unit, int, int port, uint32_t flags) {
    trace("dxp_tarn_l2_addr_delete_by_port");
    return delete_by(unit, &port, nullptr, DRV_MEM_OP_DELETE_BY_PORT, flags);
}

int dxp_tarn_l2_addr_delete_by_vlan(int unit, dxp_vlan_t vid, uint32_t flags) {
    trace("dxp_tarn_l2_addr_delete_by_vlan");
    return delete_by(unit, nullptr, &vid, DRV_MEM_OP_DELETE_BY_VLANID, flags);
}

int dxp_tarn_l2_addr_delete_by_vlan_port(int unit, dxp_vlan_t vid, int, int port, uint32_t flags) {
    trace("dxp_tarn_l2_addr_delete_by_vlan_port");
    return delete_by(unit, &port, &vid, DRV_MEM_OP_DELETE_BY_PORT | DRV_MEM_OP_DELETE_BY_VLANID,
                     flags);
}

int dxp_tarn_l2_addr_delete_by_mac(int unit, const dxp_mac_t mac, uint32_t flags) {
    trace("dxp_tarn_l2_addr_delete_by_mac");
    return delete_by_mac_walk(unit, mac, -1, flags);
}

int dxp_tarn_l2_addr_delete_by_mac_port(int unit, const dxp_mac_t mac, int, int port,
                                        uint32_t flags) {
    trace("dxp_tarn_l2_addr_delete_by_mac_port");
    if (port < 0) return DXP_E_PORT;
    return delete_by_mac_walk(unit, mac, port, flags);
}

int dxp_tarn_l2_addr_delete_by_trunk(int unit, int tgid, uint32_t flags) {
    trace("dxp_tarn_l2_addr_delete_by_trunk");
    return delete_by_trunk(
        unit, tgid, [&](int port) { return dxp_l2_addr_delete_by_port(unit, -1, port, flags); });
}

int dxp_tarn_l2_addr_delete_by_vlan_trunk(int unit, dxp_vlan_t vid, int tgid, uint32_t flags) {
    trace("dxp_tarn_l2_addr_delete_by_vlan_trunk");
    return delete_by_trunk(unit, tgid, [&](int port) {
        return dxp_l2_addr_delete_by_vlan_port(unit, vid, -1, port, flags);
    });
}

int dxp_tarn_l2_addr_get(int unit, const dxp_mac_t mac, dxp_vlan_t vid, dxp_l2_addr *l2addr) {
    trace("dxp_tarn_l2_addr_get");
    if (l2addr == nullptr) return DXP_E_PARAM;
    dxp_l2_addr key;
    dxp_l2_addr_init(&key, mac, vid);
    uint32_t found[kWords] = {};
    int rv = arl_search(unit, &key, found);
    if (rv != DXP_E_EXISTS) return rv < 0 ? rv : DXP_E_NOT_FOUND;
    from_arl(unit, l2addr, found);
    return DXP_E_NONE;
}

int dxp_tarn_l2_conflict_get(int unit, dxp_l2_addr *addr, dxp_l2_addr *cf_array, int cf_max,
                             int *cf_count) {
    trace("dxp_tarn_l2_conflict_get");
    if (addr == nullptr || cf_count == nullptr) return DXP_E_PARAM;
    *cf_count = 0;
    uint32_t found[kWords] = {};
    // The entry stored under the key, or the one occupying its slot.
    int rv = arl_search(unit, addr, found);
    if ((rv == DXP_E_EXISTS || rv == DXP_E_FULL) && cf_max >= 1 && cf_array != nullptr) {
        from_arl(unit, &cf_array[0], found);
        *cf_count = 1;
    } else if (rv < 0 && rv != DXP_E_EXISTS && rv != DXP_E_FULL && rv != DXP_E_NOT_FOUND) {
        return rv;
    }
    return DXP_E_NONE;
}

int dxp_tarn_l2_addr_register(int unit, dxp_l2_addr_callback_t callback, void *userdata) {
    trace("dxp_tarn_l2_addr_register");
    if (callback == nullptr) return DXP_E_PARAM;
    ClientLock lock(unit);
    Notify &n = notify[unit];
    if (n.count == 0) {
        if (n.installed != nullptr) return DXP_E_INTERNAL;
        n.installed = notify_fanout;
        n.installed_data = nullptr;
    }
    if (n.count >= kClients) return DXP_E_MEMORY;
    for (Client &c : n.slot) {
        if (c.cb != nullptr) continue;
        c = Client{callback, userdata};
        n.count++;
        return DXP_E_NONE;
    }
    return DXP_E_MEMORY;
}

int dxp_tarn_l2_addr_unregister(int unit, dxp_l2_addr_callback_t callback, void *userdata) {
    trace("dxp_tarn_l2_addr_unregister");
    ClientLock lock(unit);
    Notify &n = notify[unit];
    for (Client &c : n.slot) {
        if (c.cb != callback || c.data != userdata || c.cb == nullptr) continue;
        c = Client{};
        if (--n.count == 0) {
            n.installed = nullptr;
            n.installed_data = nullptr;
        }
        break;
    }
    return DXP_E_NONE;
}

int dxp_tarn_l2_age_timer_set(int unit, int age_seconds) {
    trace("dxp_tarn_l2_age_timer_set");
    uint32_t max = 0;
    if (int rv = prop(unit, kPropAgeMax, &max); rv < 0) return rv;
    if (age_seconds < 0 || static_cast<uint32_t>(age_seconds) > max) return DXP_E_PARAM;
    return tarn::services(unit)->age_timer_set(unit, age_seconds != 0,
                                               static_cast<uint32_t>(age_seconds));
}

int dxp_tarn_l2_age_timer_get(int unit, int *age_seconds) {
    trace("dxp_tarn_l2_age_timer_get");
    if (age_seconds == nullptr) return DXP_E_PARAM;
    uint32_t enable = 0, seconds = 0;
    if (int rv = tarn::services(unit)->age_timer_get(unit, &enable, &seconds); rv < 0) return rv;
    *age_seconds = enable ? static_cast<int>(seconds) : 0;
    return DXP_E_NONE;
}

int dxp_tarn_l2_bpdu_count(int unit) {
    uint32_t count = 0;
    if (prop(unit, kPropBpduNum, &count) < 0) return 0;
    return static_cast<int>(count);
}

int dxp_tarn_l2_bpdu_set(int unit, int index, const dxp_mac_t mac) {
    trace("dxp_tarn_l2_bpdu_set");
    if (int rv = bpdu_check(unit, index); rv < 0) return rv;
    uint8_t copy[6];
    std::memcpy(copy, mac, sizeof copy);
    return tarn::services(unit)->mac_set(unit, soc_pbmp_t{}, kMacTypeBpdu, copy,
                                         static_cast<uint32_t>(index));
}

int dxp_tarn_l2_bpdu_get(int unit, int index, dxp_mac_t mac) {
    trace("dxp_tarn_l2_bpdu_get");
    if (int rv = bpdu_check(unit, index); rv < 0) return rv;
    soc_pbmp_t b{};
    return tarn::services(unit)->mac_get(unit, index, kMacTypeBpdu, &b, mac);
}

int dxp_tarn_l2_addr_freeze(int unit) {
    trace("dxp_tarn_l2_addr_freeze");
    int rv = soc_arl_freeze(unit);
    return rv < 0 ? rv : DXP_E_NONE;
}

int dxp_tarn_l2_addr_thaw(int unit) {
    trace("dxp_tarn_l2_addr_thaw");
    int rv = soc_arl_thaw(unit);
    return rv < 0 ? rv : DXP_E_NONE;
}

int dxp_tarn_l2_init(int unit) {
    trace("dxp_tarn_l2_init");
    if (int rv = dxp_l2_age_timer_set(unit, 0); rv < 0) return rv;
    dxp_l2_detach(unit);
    bpdu_init(unit);
    soc_arl_notify_unregister(unit, arl_callback, nullptr);
    if (int rv = arl_clear(unit); rv < 0) return rv;
    return soc_arl_notify_register(unit, arl_callback, nullptr);
}

int dxp_tarn_l2_clear(int unit) {
    trace("dxp_tarn_l2_clear");
    dxp_l2_detach(unit);
    soc_arl_notify_unregister(unit, arl_callback, nullptr);
    if (int rv = arl_clear(unit); rv < 0) return rv;
    if (int rv = soc_arl_notify_register(unit, arl_callback, nullptr); rv < 0) return rv;
    ClientLock lock(unit);
    notify[unit] = Notify{};
    return DXP_E_NONE;
}

int dxp_tarn_l2_detach(int) {
    return DXP_E_UNAVAIL;
}

int dxp_tarn_l2_cache_size_get(int unit, int *size) {
    trace("dxp_tarn_l2_cache_size_get");
    if (int rv = unit_attached_check(unit); rv < 0) return rv;
    if (size == nullptr) return DXP_E_PARAM;
    *size = kCacheSize;
    return DXP_E_NONE;
}

int dxp_tarn_l2_cache_set(int unit, int index, dxp_l2_cache_addr *addr) {
    trace("dxp_tarn_l2_cache_set");
    if (int rv = unit_attached_check(unit); rv < 0) return rv;
    uint32_t type = 0;
    if (int rv = cache_type(index, &type); rv < 0) return rv;
    if (addr == nullptr) return DXP_E_PARAM;
    if (addr->flags != kCacheValid) return DXP_E_UNAVAIL;
    return tarn::services(unit)->mac_set(unit, tarn::to_soc(addr->dest_ports), type, addr->mac, 0);
}

int dxp_tarn_l2_cache_get(int unit, int index, dxp_l2_cache_addr *addr) {
    trace("dxp_tarn_l2_cache_get");
    if (int rv = unit_attached_check(unit); rv < 0) return rv;
    uint32_t type = 0;
    if (int rv = cache_type(index, &type); rv < 0) return rv;
    if (addr == nullptr) return DXP_E_PARAM;
    soc_pbmp_t b{};
    if (int rv = tarn::services(unit)->mac_get(unit, 0, type, &b, addr->mac); rv < 0) return rv;
    addr->dest_ports = tarn::to_dxp(b);
    static const dxp_mac_t kZero = {};
    if (std::memcmp(addr->mac, kZero, sizeof kZero) != 0) addr->flags |= kCacheValid;
    return DXP_E_NONE;
}

int dxp_tarn_l2_cache_delete(int unit, int index) {
    trace("dxp_tarn_l2_cache_delete");
    if (int rv = unit_attached_check(unit); rv < 0) return rv;
    uint32_t type = 0;
    if (int rv = cache_type(index, &type); rv < 0) return rv;
    uint8_t zero[6] = {};
    return tarn::services(unit)->mac_set(unit, soc_pbmp_t{}, type, zero, 0);
}

int dxp_tarn_l2_cache_delete_all(int unit) {
    trace("dxp_tarn_l2_cache_delete_all");
    if (int rv = dxp_l2_cache_delete(unit, 0); rv < 0) return rv;
    return dxp_l2_cache_delete(unit, 1);
}

int dxp_tarn_l2_cache_init(int unit) {
    trace("dxp_tarn_l2_cache_init");
    if (int rv = unit_attached_check(unit); rv < 0) return rv;
    return dxp_l2_cache_delete_all(unit);
}

int dxp_tarn_l2_port_native(int, int modid, int) {
    return modid >= 0 ? 1 : 0;
}

int dxp_tarn_l2_key_dump(int, const char *prefix, dxp_l2_addr *entry, const char *suffix) {
    if (entry == nullptr) return DXP_E_PARAM;
    soc_cm_print("l2: %sVLAN=0x%03x MAC=0x%02x%02x%02x%02x%02x%02x%s", prefix ? prefix : "",
                 entry->vid, entry->mac[0], entry->mac[1], entry->mac[2], entry->mac[3],
                 entry->mac[4], entry->mac[5], suffix ? suffix : "");
    return DXP_E_NONE;
}
