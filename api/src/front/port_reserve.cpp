// The self-test port reservation: one bitmap of held ports per unit.
#include "port_reserve.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "dxpx.h"
#include "sal.h"

namespace {

constexpr int kUnits = DXP_UNITS_MAX;
constexpr int kWords = 2;

// "port_reserve": guards the marking and unmarking of ports; the held bits
// and their owners are atomics, so that a setter or a page can look without
// the lock (it must not take it under a feature manager's lock).
sal_mutex_t guard() {
    static sal_mutex_t m = sal_mutex_create("port_reserve");
    return m;
}
std::atomic<uint32_t> held[kUnits][kWords];
// Read without the lock: a page asks for a test's name under the unit's API
// lock, which a test takes after this one when it marks its ports.
std::atomic<const char *> owners[kUnits][kWords * 32];
// The thread of the test that holds each port: only its own steps change it.
std::atomic<sal_thread_t> holders[kUnits][kWords * 32];
thread_local int aside = 0;
struct Refusal {
    int unit = -1, port = -1;
};
thread_local Refusal refusal;
// The refused address's text, noted with it; empty when none is noted.
thread_local char address_refusal[96];
thread_local int test_number = 0;
// The CPU port a self-test holds (-1: none), marked under the lock; read
// without it.
struct CpuHold {
    std::atomic<int> port{-1};
    std::atomic<const char *> owner{nullptr};
    std::atomic<sal_thread_t> holder{nullptr};
};
CpuHold cpu_holds[kUnits];
// Settings images accepted and not yet applied (under the lock), and why.
int bars = 0;
std::atomic<const char *> bar_reason{nullptr};

// "port_reserve kept": what the held ports were before their test. A leaf:
// nothing is called while it is held.
sal_mutex_t kept_guard() {
    static sal_mutex_t m = sal_mutex_create("port_reserve kept");
    return m;
}
struct KeptVlan {
    dxp_vlan_t vid = 0;
    bool created = false;
    int test = 0;                 // created: the test's number, 0 when unknown
    const char *owner = nullptr;  // created: the test's name
    dxp_pbmp_t owners{};          // the test's ports (created), or the ports kept below
    // Created: the test's ports it put in. Else what the kept ports were.
    dxp_pbmp_t members{}, untagged{};
};
struct HeldAddress {
    dxp_l2_addr addr;
    sal_thread_t holder;
    int test;           // its number, 0 when unknown
    const char *owner;  // its name
};
struct Kept {
    dxp_pbmp_t info_ports{};          // the array is made without zeroing
    std::vector<dxp_port_info> info;  // by port, once one is kept
    std::vector<KeptVlan> vlans;
    std::vector<HeldAddress> addresses;
    std::vector<dxp_l2_addr> statics;   // on the held ports
    std::vector<dxp_vlan_t> cpu_vlans;  // whose CPU membership is held
};
Kept &kept(int unit) {
    static auto *all = new Kept[kUnits];
    return all[unit];
}

class KeptLock {
  public:
    KeptLock() { sal_mutex_take(kept_guard(), sal_mutex_FOREVER); }
    ~KeptLock() { sal_mutex_give(kept_guard()); }
    KeptLock(const KeptLock &) = delete;
    KeptLock &operator=(const KeptLock &) = delete;
};

KeptVlan *kept_vlan(Kept &k, dxp_vlan_t vid) {
    for (KeptVlan &v : k.vlans)
        if (v.vid == vid) return &v;
    return nullptr;
}

// The VLAN's record, made empty when there is none yet.
KeptVlan &kept_vlan_or_new(Kept &k, dxp_vlan_t vid) {
    if (KeptVlan *v = kept_vlan(k, vid)) return *v;
    KeptVlan added;
    added.vid = vid;
    k.vlans.push_back(added);
    return k.vlans.back();
}

// A port of the unit the thread holds, or -1.
int held_by(int unit, sal_thread_t thread) {
    for (int port = 0; port < kWords * 32; port++)
        if ((held[unit][port / 32].load() >> (port % 32) & 1) &&
            holders[unit][port].load() == thread)
            return port;
    return -1;
}

bool same_key(const dxp_l2_addr &a, const uint8_t *mac, dxp_vlan_t vid) {
    return a.vid == vid && std::memcmp(a.mac, mac, sizeof a.mac) == 0;
}

void forget_kept(int unit, dxp_pbmp_t ports) {
    KeptLock hold;
    Kept &k = kept(unit);
    for (int w = 0; w < kWords; w++)
        k.info_ports.w[w] &= ~ports.w[w];
    std::erase_if(k.addresses, [&](const HeldAddress &a) { return held_by(unit, a.holder) < 0; });
    std::erase_if(k.statics, [&](const dxp_l2_addr &a) { return dxp_pbmp_member(ports, a.port); });
    std::erase_if(k.vlans, [&](KeptVlan &v) {
        bool mine = false;
        for (int w = 0; w < kWords; w++) {
            mine = mine || (v.owners.w[w] & ports.w[w]) != 0;
            if (v.created) continue;
            v.owners.w[w] &= ~ports.w[w];
            v.members.w[w] &= ~ports.w[w];
            v.untagged.w[w] &= ~ports.w[w];
        }
        return v.created ? mine : dxp_pbmp_is_null(v.owners);
    });
}

bool unit_ok(int unit) {
    return unit >= 0 && unit < kUnits;
}

bool port_ok(int port) {
    return port >= 0 && port < kWords * 32;
}

}  // namespace

int port_reserve(int unit, dxp_pbmp_t ports, const char *owner) {
    if (!unit_ok(unit)) return DXP_E_UNIT;
    sal_mutex_take(guard(), sal_mutex_FOREVER);
    // Marked under the unit's API lock: a change that holds it across its
    // steps sees the held ports stay as it checked them.
    DxpUnitLock api(unit);
    for (int w = 0; w < kWords; w++) {
        if (bars > 0 || (held[unit][w].load() & ports.w[w]) != 0) {
            sal_mutex_give(guard());
            return DXP_E_BUSY;
        }
    }
    for (int w = 0; w < kWords; w++) {
        for (int b = 0; b < 32; b++)
            if (ports.w[w] >> b & 1) {
                owners[unit][w * 32 + b].store(owner);
                holders[unit][w * 32 + b].store(sal_thread_self());
            }
        held[unit][w].fetch_or(ports.w[w]);
    }
    sal_mutex_give(guard());
    return DXP_E_NONE;
}

int port_reserve_bar(const char *why) {
    sal_mutex_take(guard(), sal_mutex_FOREVER);
    const bool held_any = port_reserve_any();
    if (!held_any && bars++ == 0) bar_reason.store(why);
    sal_mutex_give(guard());
    return held_any ? DXP_E_BUSY : DXP_E_NONE;
}

void port_reserve_unbar(void) {
    sal_mutex_take(guard(), sal_mutex_FOREVER);
    if (bars > 0 && --bars == 0) bar_reason.store(nullptr);
    sal_mutex_give(guard());
}

const char *port_reserve_barred(void) {
    return bar_reason.load();
}

void port_reserve_release(int unit, dxp_pbmp_t ports) {
    if (!unit_ok(unit)) return;
    sal_mutex_take(guard(), sal_mutex_FOREVER);
    for (int w = 0; w < kWords; w++) {
        held[unit][w].fetch_and(~ports.w[w]);
        for (int b = 0; b < 32; b++)
            if (ports.w[w] >> b & 1) {
                owners[unit][w * 32 + b].store(nullptr);
                holders[unit][w * 32 + b].store(nullptr);
            }
    }
    forget_kept(unit, ports);
    sal_mutex_give(guard());
}

bool port_reserved(int unit, int port) {
    return unit_ok(unit) && port_ok(port) && (held[unit][port / 32].load() >> (port % 32) & 1);
}

bool port_reserve_refuses(int unit, int port) {
    if (!port_reserved(unit, port)) return false;
    return aside > 0 || holders[unit][port].load() != sal_thread_self();
}

void port_reserve_step_aside(int on) {
    if (on) {
        aside++;
    } else if (aside > 0) {
        aside--;
    }
}

void port_reserve_note_refusal(int unit, int port) {
    address_refusal[0] = '\0';
    refusal = Refusal{unit, port};
}

bool port_reserve_take_refusal(int *unit, int *port) {
    address_refusal[0] = '\0';
    const Refusal noted = std::exchange(refusal, Refusal{});
    if (noted.port < 0) return false;
    *unit = noted.unit;
    *port = noted.port;
    return true;
}

bool port_reserved_lport(int lport) {
    int unit = 0, port = 0;
    return dxpx_lport_to_unit_port(lport, &unit, &port) >= 0 && port_reserved(unit, port);
}

const char *port_reserve_owner(int unit, int port) {
    if (!port_reserved(unit, port)) return nullptr;
    return owners[unit][port].load();
}

const char *port_reserve_owner_lport(int lport) {
    int unit = 0, port = 0;
    if (dxpx_lport_to_unit_port(lport, &unit, &port) < 0) return nullptr;
    return port_reserve_owner(unit, port);
}

const char *port_reserve_held_text(int unit, int port) {
    static thread_local char text[96];
    const char *owner = port_reserve_owner(unit, port);
    if (owner == nullptr) return "port under self-test";
    std::snprintf(text, sizeof text, "port under self-test (%s)", owner);
    return text;
}

const char *port_reserve_held_text_lport(int lport) {
    int unit = 0, port = 0;
    if (dxpx_lport_to_unit_port(lport, &unit, &port) < 0) unit = port = -1;
    return port_reserve_held_text(unit, port);
}

int port_reserve_hold(int lport) {
    sal_mutex_take(guard(), sal_mutex_FOREVER);
    if (port_reserved_lport(lport)) {
        sal_mutex_give(guard());
        return DXP_E_BUSY;
    }
    return DXP_E_NONE;
}

int port_reserve_hold_all(void) {
    sal_mutex_take(guard(), sal_mutex_FOREVER);
    if (port_reserve_any()) {
        sal_mutex_give(guard());
        return DXP_E_BUSY;
    }
    return DXP_E_NONE;
}

void port_reserve_freeze(void) {
    sal_mutex_take(guard(), sal_mutex_FOREVER);
}

void port_reserve_unhold(void) {
    sal_mutex_give(guard());
}

bool port_reserve_any(void) {
    for (int unit = 0; unit < kUnits; unit++)
        for (int w = 0; w < kWords; w++)
            if (held[unit][w].load() != 0) return true;
    return false;
}

int port_reserve_first_lport(void) {
    for (int unit = 0; unit < kUnits; unit++)
        for (int port = 0; port < kWords * 32; port++)
            if (port_reserved(unit, port)) return dxpx_unit_port_to_lport(unit, port);
    return -1;
}

void port_reserve_keep_info(int unit, int port, const dxp_port_info *info) {
    if (!port_reserved(unit, port) || info == nullptr) return;
    KeptLock hold;
    Kept &k = kept(unit);
    k.info.resize(kWords * 32);
    k.info[static_cast<size_t>(port)] = *info;
    dxp_pbmp_port_add(&k.info_ports, port);
}

bool port_reserve_kept_info(int unit, int port, dxp_port_info *info) {
    if (!port_reserved(unit, port) || info == nullptr) return false;
    KeptLock hold;
    const Kept &k = kept(unit);
    if (!dxp_pbmp_member(k.info_ports, port)) return false;
    *info = k.info[static_cast<size_t>(port)];
    return true;
}

bool port_reserve_kept_info_lport(int lport, dxp_port_info *info) {
    int unit = 0, port = 0;
    return dxpx_lport_to_unit_port(lport, &unit, &port) >= 0 &&
           port_reserve_kept_info(unit, port, info);
}

void port_reserve_keep_created(int unit, dxp_vlan_t vid, dxp_pbmp_t ports) {
    if (!unit_ok(unit)) return;
    const char *owner = nullptr;
    for (int port = 0; port < kWords * 32 && owner == nullptr; port++)
        if (dxp_pbmp_member(ports, port)) owner = port_reserve_owner(unit, port);
    KeptLock hold;
    KeptVlan &v = kept_vlan_or_new(kept(unit), vid);
    v.created = true;
    v.owners = ports;
    v.test = test_number;
    v.owner = owner;
}

void port_reserve_keep_member(int unit, dxp_vlan_t vid, int port, bool member, bool untagged) {
    if (!port_reserved(unit, port)) return;
    KeptLock hold;
    KeptVlan &v = kept_vlan_or_new(kept(unit), vid);
    if (v.created) {
        dxp_pbmp_port_add(&v.members, port);
        return;
    }
    if (dxp_pbmp_member(v.owners, port)) return;
    dxp_pbmp_port_add(&v.owners, port);
    if (member) dxp_pbmp_port_add(&v.members, port);
    if (member && untagged) dxp_pbmp_port_add(&v.untagged, port);
}

bool port_reserve_vlan_view(int unit, dxp_vlan_t vid, dxp_pbmp_t *members, dxp_pbmp_t *untagged) {
    if (!unit_ok(unit) || !port_reserve_any()) return true;
    KeptLock hold;
    const KeptVlan *v = kept_vlan(kept(unit), vid);
    if (v == nullptr) return true;
    if (v->created) return false;
    for (int w = 0; w < kWords; w++) {
        members->w[w] = (members->w[w] & ~v->owners.w[w]) | v->members.w[w];
        untagged->w[w] = (untagged->w[w] & ~v->owners.w[w]) | v->untagged.w[w];
    }
    return true;
}

const char *port_reserve_vlan_holder_text(int unit, dxp_vlan_t vid, dxp_pbmp_t *ports) {
    if (!unit_ok(unit) || !port_reserve_any()) return nullptr;
    static thread_local char text[128];
    KeptLock hold;
    const KeptVlan *v = kept_vlan(kept(unit), vid);
    if (v == nullptr || !v->created) return nullptr;
    *ports = v->members;
    char test[16] = "";
    if (v->test > 0) std::snprintf(test, sizeof test, " %d", v->test);
    std::snprintf(text, sizeof text, "VLAN %d is held by self-test%s (%s) on ports", vid, test,
                  v->owner != nullptr ? v->owner : "unnamed");
    return text;
}

void port_reserve_test_number(int number) {
    test_number = number;
}

bool port_reserve_is_test(int unit) {
    return unit_ok(unit) && aside == 0 && held_by(unit, sal_thread_self()) >= 0;
}

void port_reserve_keep_address(int unit, const dxp_l2_addr *addr) {
    if (addr == nullptr || !port_reserve_is_test(unit)) return;
    const sal_thread_t self = sal_thread_self();
    const int port = held_by(unit, self);
    if (port < 0) return;
    const HeldAddress added{*addr, self, test_number, owners[unit][port].load()};
    KeptLock hold;
    std::vector<HeldAddress> &list = kept(unit).addresses;
    for (HeldAddress &a : list)
        if (same_key(a.addr, addr->mac, addr->vid)) {
            a = added;
            return;
        }
    list.push_back(added);
}

void port_reserve_forget_address(int unit, const dxp_mac_t mac, dxp_vlan_t vid) {
    if (!unit_ok(unit) || mac == nullptr) return;
    KeptLock hold;
    std::erase_if(kept(unit).addresses,
                  [&](const HeldAddress &a) { return same_key(a.addr, mac, vid); });
}

bool port_reserve_address_refuses(int unit, const dxp_mac_t mac, dxp_vlan_t vid) {
    if (!unit_ok(unit) || mac == nullptr || !port_reserve_any()) return false;
    KeptLock hold;
    for (const HeldAddress &a : kept(unit).addresses) {
        if (!same_key(a.addr, mac, vid) || held_by(unit, a.holder) < 0) continue;
        if (aside == 0 && a.holder == sal_thread_self()) return false;
        refusal = Refusal{};
        char who[48];
        if (a.test > 0)
            std::snprintf(who, sizeof who, "self-test %d", a.test);
        else
            std::snprintf(who, sizeof who, "%s", a.owner != nullptr ? a.owner : "a self-test");
        std::snprintf(address_refusal, sizeof address_refusal,
                      "%02x:%02x:%02x:%02x:%02x:%02x in VLAN %d is %s's address", mac[0], mac[1],
                      mac[2], mac[3], mac[4], mac[5], vid, who);
        return true;
    }
    return false;
}

const char *port_reserve_take_address_refusal(void) {
    static thread_local char taken[sizeof address_refusal];
    if (address_refusal[0] == '\0') return nullptr;
    std::memcpy(taken, address_refusal, sizeof taken);
    address_refusal[0] = '\0';
    return taken;
}

std::vector<dxp_l2_addr> port_reserve_held_addresses(int unit, bool own) {
    std::vector<dxp_l2_addr> list;
    if (!unit_ok(unit) || !port_reserve_any()) return list;
    const sal_thread_t self = sal_thread_self();
    KeptLock hold;
    for (const HeldAddress &a : kept(unit).addresses) {
        if (held_by(unit, a.holder) < 0) continue;
        const bool mine = aside == 0 && a.holder == self;
        if (mine == own) list.push_back(a.addr);
    }
    return list;
}

int port_reserve_cpu(int unit, int port, const char *owner) {
    if (!unit_ok(unit) || !port_ok(port)) return DXP_E_PARAM;
    sal_mutex_take(guard(), sal_mutex_FOREVER);
    DxpUnitLock api(unit);
    CpuHold &h = cpu_holds[unit];
    int rv = DXP_E_BUSY;
    if (h.port.load() < 0) {
        h.owner.store(owner);
        h.holder.store(sal_thread_self());
        h.port.store(port);
        rv = DXP_E_NONE;
    }
    sal_mutex_give(guard());
    return rv;
}

void port_reserve_cpu_vlan(int unit, dxp_vlan_t vid) {
    if (!unit_ok(unit)) return;
    KeptLock hold;
    std::vector<dxp_vlan_t> &list = kept(unit).cpu_vlans;
    if (std::find(list.begin(), list.end(), vid) == list.end()) list.push_back(vid);
}

void port_reserve_cpu_release(int unit) {
    if (!unit_ok(unit)) return;
    sal_mutex_take(guard(), sal_mutex_FOREVER);
    {
        KeptLock hold;
        kept(unit).cpu_vlans.clear();
    }
    CpuHold &h = cpu_holds[unit];
    h.port.store(-1);
    h.owner.store(nullptr);
    h.holder.store(nullptr);
    sal_mutex_give(guard());
}

namespace {

// The unit's held CPU port when the calling thread is not its test, or -1.
int cpu_refused_port(int unit) {
    if (!unit_ok(unit)) return -1;
    const CpuHold &h = cpu_holds[unit];
    const int port = h.port.load();
    if (port < 0 || (aside == 0 && h.holder.load() == sal_thread_self())) return -1;
    return port;
}

}  // namespace

bool port_reserve_cpu_refuses(int unit, int port) {
    const int held_port = cpu_refused_port(unit);
    if (held_port < 0 || (port >= 0 && port != held_port)) return false;
    port_reserve_note_refusal(unit, held_port);
    return true;
}

bool port_reserve_cpu_vlan_refuses(int unit, dxp_vlan_t vid, dxp_pbmp_t ports) {
    const int held_port = cpu_refused_port(unit);
    if (held_port < 0 || !dxp_pbmp_member(ports, held_port)) return false;
    {
        KeptLock hold;
        const std::vector<dxp_vlan_t> &list = kept(unit).cpu_vlans;
        if (std::find(list.begin(), list.end(), vid) == list.end()) return false;
    }
    port_reserve_note_refusal(unit, held_port);
    return true;
}

const char *port_reserve_cpu_owner(int unit, int port) {
    if (!unit_ok(unit) || port < 0 || cpu_holds[unit].port.load() != port) return nullptr;
    return cpu_holds[unit].owner.load();
}

void port_reserve_keep_static(int unit, const dxp_l2_addr *addr) {
    if (addr == nullptr || !port_reserved(unit, addr->port)) return;
    KeptLock hold;
    kept(unit).statics.push_back(*addr);
}

int port_reserve_kept_static_port(int unit, const uint8_t *mac, int vid) {
    if (!unit_ok(unit) || !port_reserve_any()) return -1;
    KeptLock hold;
    for (const dxp_l2_addr &a : kept(unit).statics) {
        if ((mac != nullptr && std::memcmp(a.mac, mac, sizeof a.mac) != 0) ||
            (vid >= 0 && a.vid != vid))
            continue;
        if (port_reserve_refuses(unit, a.port)) return a.port;
    }
    return -1;
}
