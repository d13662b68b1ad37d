// The monitor's L2 table commands: AGE sets the hardware age timer, BPDU the
// BPDU address slots, L2 adds, deletes, shows and watches unicast addresses
// and MCAST manages multicast groups. Option values persist between uses.
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "diag_parse.h"
#include "diag_shell.h"
#include "drv_arl.h"
#include "drv_if.h"
#include "drv_mem.h"
#include "dxp.h"
#include "dxp_error.h"
#include "dxp_tarn.h"
#include "end_drv.h"
#include "feature_cmds.h"
#include "sal.h"
#include "shell_cmds.h"
#include "soc_cm.h"
#include "soc_control.h"
#include "soc_error.h"

namespace {

using namespace feature_cmds;

constexpr int kSearchFound = SOC_E_EXISTS;  // the search service's "one more entry"

bool is_zero_mac(const dxp_mac_t mac) {
    static const dxp_mac_t kZero = {};
    return std::memcmp(mac, kZero, sizeof kZero) == 0;
}

// The CPU's station entries hold the address eth1 runs with: an entry of it
// elsewhere, or its deletion, sends the frames for the switch away from it.
bool own_mac(const dxp_mac_t mac) {
    dxpx_l2_addr_t station{};
    return end_cpu_l2_addr_get(1, &station) == 1 &&
           std::memcmp(station.mac, mac, sizeof station.mac) == 0;
}

bool refuse_own_mac(const char *cmd, const dxp_mac_t mac, const char *what) {
    if (!own_mac(mac)) return false;
    // The MAC written as "L2 show" writes it.
    sal_printf("%s: ERROR: %02x:%02x:%02x:%02x:%02x:%02x is the switch's own MAC address: %s\n",
               cmd, mac[0], mac[1], mac[2], mac[3], mac[4], mac[5], what);
    return true;
}

// One of a self-test's own addresses, or a static address on a tested port
// (its test puts it back), is refused by name before anything changes.
bool refuse_test_address(const char *cmd, int unit, const dxp_mac_t mac, dxp_vlan_t vid) {
    if (port_reserve_address_refuses(unit, mac, vid)) {
        sal_printf("%s: ERROR: %s\n", cmd, errmsg(DXP_E_BUSY));
        return true;
    }
    dxp_l2_addr now{};
    if (!port_reserve_any() || dxp_l2_addr_get(unit, mac, vid, &now) < 0 ||
        (now.flags & DXP_L2_STATIC) == 0 || (now.flags & (DXP_L2_MCAST | DXP_L2_TRUNK_MEMBER)))
        return false;
    soc_pbmp_t port{};
    soc_pbmp_port_add(&port, now.port);
    return refuse_held(cmd, unit, port);
}

// ---------------------------------------------------------------- BPDU
dxp_mac_t bpdu_mac = {0x01, 0x80, 0xc2, 0x00, 0x00, 0x00};
int bpdu_index = 0;

// ---------------------------------------------------------------- L2
struct L2Options {
    dxp_mac_t mac = {0, 0, 0, 0, 0, 1};
    soc_pbmp_t pbmp{};
    int vid = 1;
    int prio = -1;
    int is_static = 0;
    int count = 1;
    int module = 0;
    int tgid = 0;
    int port = 0;
    bool watching = false;
};
L2Options l2;

// ---------------------------------------------------------------- MCAST
dxp_mac_t mc_mac = {0x01, 0x00, 0x00, 0x00, 0x00, 0x01};
int mc_vid = 1;
soc_pbmp_t mc_pbmp{};
int mc_index = -1;

int bpdu_slot_check(const char *cmd, int unit) {
    int count = dxp_l2_bpdu_count(unit);
    if (bpdu_index >= 0 && bpdu_index < count) return CMD_OK;
    sal_printf("%s ERROR: support %d BUPUs\n", cmd, count);
    return CMD_FAIL;
}

// Copies the shadow entry at index under the shadow's lock; false when the
// slot is all zero.
bool shadow_entry(int unit, uint32_t index, uint32_t *entry) {
    soc_control_t *soc = SOC_CONTROL(unit);
    const auto *table = static_cast<const uint32_t *>(soc->arl_table);
    sal_mutex_take(soc->arl_table_lock, sal_mutex_FOREVER);
    std::memcpy(entry, table + index * DRV_ARL_ENTRY_WORDS, DRV_ARL_ENTRY_WORDS * sizeof(uint32_t));
    sal_mutex_give(soc->arl_table_lock);
    return entry[0] != 0 || entry[1] != 0 || entry[2] != 0;
}

uint32_t entry_field(int unit, uint32_t *entry, uint32_t field) {
    uint32_t value[2] = {0, 0};
    DRV_SERVICES(unit)->mem_field_get(unit, DRV_MEM_ARL, field, entry, value);
    return value[0];
}

bool entry_valid(int unit, uint32_t *entry) {
    return entry_field(unit, entry, DRV_MEM_FIELD_VALID) != 0;
}

// Entries of the unit's L2 shadow; 0 when it keeps none, and the chip's own
// search serves instead. With a shadow the search is the shadow thread's:
// a walk of its own would take the thread's results and restart its pass.
uint32_t shadow_length(int unit) {
    return SOC_CONTROL(unit)->arl_table == nullptr ? 0 : soc_arl_shadow_length(unit);
}

}  // namespace

void l2_walk(int unit, void (*fn)(int unit, const dxp_l2_addr *rec, void *cookie), void *cookie) {
    auto each = [&](uint32_t *entry) {
        if (!entry_valid(unit, entry)) return;
        dxp_l2_addr rec;
        _dxp_tarn_l2_from_arl(unit, &rec, entry);
        fn(unit, &rec, cookie);
    };
    if (const uint32_t n = shadow_length(unit); n > 0) {
        for (uint32_t i = 0; i < n; i++) {
            uint32_t e[DRV_ARL_ENTRY_WORDS];
            if (shadow_entry(unit, i, e)) each(e);
        }
        return;
    }
    const drv_if_t *drv = DRV_SERVICES(unit);
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(all_ports(unit), port)) continue;
        uint32_t key[DRV_ARL_ENTRY_WORDS] = {}, e0[DRV_ARL_ENTRY_WORDS] = {},
                 e1[DRV_ARL_ENTRY_WORDS] = {};
        drv->mem_search(unit, DRV_MEM_ARL, key, e0, e1, DRV_MEM_OP_SEARCH_START);
        uint32_t p = static_cast<uint32_t>(port);
        drv->mem_field_set(unit, DRV_MEM_ARL, DRV_MEM_FIELD_SRC_PORT, key, &p);
        for (;;) {
            std::memset(e0, 0, sizeof e0);
            std::memset(e1, 0, sizeof e1);
            if (drv->mem_search(unit, DRV_MEM_ARL, key, e0, e1,
                                DRV_MEM_OP_SEARCH_NEXT | DRV_MEM_OP_SEARCH_PORT) != kSearchFound)
                break;
            each(e0);
            each(e1);
        }
    }
}

namespace {

void show_entry(int unit, const dxp_l2_addr *rec, void *pbmp) {
    if (soc_pbmp_member(*static_cast<const soc_pbmp_t *>(pbmp), rec->port))
        dump_l2_addr(unit, "", rec);
}

int l2_show(int unit, args_t *a) {
    soc_pbmp_t pbmp = all_ports(unit);
    if (ARG_CNT(a) > 0) {
        int rv = CMD_OK;
        if (!options(unit, a, {{"PortBitMap", PQ_PBMP, &l2.pbmp}}, &rv)) return rv;
        pbmp = pbmp_and(l2.pbmp, all_ports(unit));
    }
    l2_walk(unit, show_entry, &pbmp);
    soc_cm_print("\n");
    return CMD_OK;
}

void dump_raw(int unit, uint32_t *e) {
    uint32_t mac[2] = {0, 0};
    DRV_SERVICES(unit)->mem_field_get(unit, DRV_MEM_ARL, DRV_MEM_FIELD_MAC, e, mac);
    const uint64_t m = (static_cast<uint64_t>(mac[1]) << 32) | mac[0];
    auto byte = [m](int i) { return static_cast<unsigned>((m >> (40 - 8 * i)) & 0xff); };
    soc_cm_print("\nMac = %02x-%02x-%02x-%02x-%02x-%02x ", byte(0), byte(1), byte(2), byte(3),
                 byte(4), byte(5));
    soc_cm_print("VLAN ID = %d, ", static_cast<int>(entry_field(unit, e, DRV_MEM_FIELD_VLANID)));
    const bool is_static = entry_field(unit, e, DRV_MEM_FIELD_STATIC) != 0;
    if (byte(0) & 1) {
        soc_cm_print("Multicast Index = %d, ",
                     static_cast<int>(entry_field(unit, e, DRV_MEM_FIELD_DEST_BITMAP)));
        if (is_static) soc_cm_print("STATIC");
        return;
    }
    soc_cm_print("Port = %d, ", static_cast<int>(entry_field(unit, e, DRV_MEM_FIELD_SRC_PORT)));
    soc_cm_print("Priority Queue = %d",
                 static_cast<int>(entry_field(unit, e, DRV_MEM_FIELD_PRIORITY)));
    if (is_static) soc_cm_print(", STATIC");
    if (entry_field(unit, e, DRV_MEM_FIELD_AGE) != 0) soc_cm_print(", Hit");
}

int l2_dump(int unit) {
    if (const uint32_t n = shadow_length(unit); n > 0) {
        for (uint32_t i = 0; i < n; i++) {
            uint32_t e[DRV_ARL_ENTRY_WORDS];
            if (shadow_entry(unit, i, e) && entry_valid(unit, e)) dump_raw(unit, e);
        }
    } else {
        const drv_if_t *drv = DRV_SERVICES(unit);
        uint32_t key[DRV_ARL_ENTRY_WORDS] = {}, e0[DRV_ARL_ENTRY_WORDS] = {},
                 e1[DRV_ARL_ENTRY_WORDS] = {};
        drv->mem_search(unit, DRV_MEM_ARL, key, e0, e1, DRV_MEM_OP_SEARCH_START);
        for (;;) {
            std::memset(e0, 0, sizeof e0);
            std::memset(e1, 0, sizeof e1);
            if (drv->mem_search(unit, DRV_MEM_ARL, key, e0, e1, DRV_MEM_OP_SEARCH_NEXT) !=
                kSearchFound)
                break;
            for (uint32_t *e : {e0, e1}) {
                if (!entry_valid(unit, e)) continue;
                dxp_l2_addr rec;
                _dxp_tarn_l2_from_arl(unit, &rec, e);
                dump_l2_addr(unit, "", &rec);
            }
        }
    }
    soc_cm_print("\n");
    return CMD_OK;
}

// The stored L2 options with the line's values, its VLAN id checked: a
// refused line keeps none of them. 1 when the command goes on, else 0 with
// *rv set.
int l2_options(const char *cmd, int unit, args_t *a, std::initializer_list<Option> list, int *rv) {
    const L2Options before = l2;
    if (!options(unit, a, list, rv)) return 0;
    if (vlan_id_fits(cmd, l2.vid)) return 1;
    l2 = before;
    *rv = CMD_FAIL;
    return 0;
}

int l2_add(const char *cmd, int unit, args_t *a) {
    const L2Options before = l2;
    int rv = CMD_OK;
    if (!l2_options(cmd, unit, a,
                    {{"PortBitMap", PQ_PBMP, &l2.pbmp},
                     {"MACaddress", PQ_MAC, l2.mac},
                     {"Vlanid", PQ_HEX, &l2.vid},
                     {"PRIority", PQ_HEX, &l2.prio},
                     {"STatic", PQ_BOOL, &l2.is_static}},
                    &rv))
        return rv;
    if (soc_pbmp_is_null(l2.pbmp)) {
        sal_printf("%s: ERROR: empty port bitmap\n", cmd);
        return CMD_FAIL;
    }
    // Each port takes the next address: all are checked before the first add.
    dxp_mac_t mac;
    std::memcpy(mac, l2.mac, sizeof mac);
    const auto vid = static_cast<dxp_vlan_t>(l2.vid);
    if (refuse_held(cmd, unit, pbmp_and(l2.pbmp, all_ports(unit)))) {
        l2 = before;
        return CMD_FAIL;
    }
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(l2.pbmp, port)) continue;
        // On the CPU port it would rewrite the station entry without its
        // class of service.
        dxp_l2_addr station{};
        const bool cpu = soc_pbmp_member(SOC_CONTROL(unit)->cmic_bitmap, port);
        if ((!cpu && refuse_own_mac(cmd, mac, "only the CPU port takes it")) ||
            (cpu && dxp_l2_addr_get(unit, mac, vid, &station) >= 0 &&
             refuse_own_mac(cmd, mac, "the CPU's station entry stays")) ||
            refuse_test_address(cmd, unit, mac, vid)) {
            l2 = before;
            return CMD_FAIL;
        }
        macaddr_increment(mac, 1);
    }
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(l2.pbmp, port)) continue;
        dxp_l2_addr rec;
        dxp_l2_addr_init(&rec, l2.mac, vid);
        rec.port = port;
        rec.tgid = l2.tgid;
        if (l2.prio < 0 || l2.prio > 3) l2.prio = 0;
        rec.cos_dst = l2.prio;
        if (l2.is_static) rec.flags |= DXP_L2_STATIC;
        if (int r = dxp_l2_addr_add(unit, &rec); r < 0) {
            sal_printf("%s: ERROR: %s\n", cmd, feature_cmds::errmsg(r));
            return CMD_FAIL;
        }
        dump_l2_addr(unit, "ADD: ", &rec);
        macaddr_increment(l2.mac, 1);
    }
    return CMD_OK;
}

int l2_del(const char *cmd, int unit, args_t *a) {
    const L2Options before = l2;
    int rv = CMD_OK;
    if (!l2_options(cmd, unit, a,
                    {{"MACaddress", PQ_MAC, l2.mac},
                     {"Count", PQ_INT, &l2.count},
                     {"Vlanid", PQ_HEX, &l2.vid}},
                    &rv))
        return rv;
    dxp_mac_t mac;
    std::memcpy(mac, l2.mac, sizeof mac);
    const auto vid = static_cast<dxp_vlan_t>(l2.vid);
    for (int i = 0; i < l2.count; i++, macaddr_increment(mac, 1)) {
        if (refuse_own_mac(cmd, mac, "the CPU's station entry stays") ||
            refuse_test_address(cmd, unit, mac, vid)) {
            l2 = before;
            return CMD_FAIL;
        }
    }
    for (int i = 0; i < l2.count; i++) {
        dxp_l2_addr rec;
        int r = dxp_l2_addr_get(unit, l2.mac, vid, &rec);
        if (r >= 0) r = dxp_l2_addr_delete(unit, l2.mac, vid);
        if (r >= 0) dump_l2_addr(unit, "DEL: ", &rec);
        if (r < 0) {
            sal_printf("%s: ERROR: %s\n", cmd, feature_cmds::errmsg(r));
            return CMD_FAIL;
        }
        macaddr_increment(l2.mac, 1);
    }
    return CMD_OK;
}

int l2_clear(const char *cmd, int unit, args_t *a) {
    const L2Options before = l2;
    std::memset(l2.mac, 0, sizeof l2.mac);
    l2.module = l2.port = l2.vid = l2.tgid = -1;
    l2.is_static = 1;
    int rv = CMD_OK;
    const int go_on = options(unit, a,
                              {{"Module", PQ_INT, &l2.module},
                               {"Port", PQ_PORT, &l2.port},
                               {"Vlanid", PQ_HEX, &l2.vid},
                               {"TrunkGroupID", PQ_INT, &l2.tgid},
                               {"MACaddress", PQ_MAC, l2.mac},
                               {"STatic", PQ_BOOL, &l2.is_static}},
                              &rv);
    // What the clear selects by; the stored values stay for unset ones.
    const int module = l2.module, port = l2.port, vid = l2.vid, tgid = l2.tgid;
    dxp_mac_t mac;
    std::memcpy(mac, l2.mac, sizeof mac);
    for (int L2Options::*f :
         {&L2Options::module, &L2Options::port, &L2Options::vid, &L2Options::tgid}) {
        if (l2.*f == -1) l2.*f = before.*f;
    }
    if (!go_on) return rv;
    if (vid != -1 && !vlan_id_fits(cmd, vid)) {
        l2.vid = before.vid;
        return CMD_FAIL;
    }

    // The addresses of a port under self-test are its test's.
    soc_pbmp_t named{};
    if (port >= 0 && port < SOC_MAX_NUM_PORTS) soc_pbmp_port_add(&named, port);
    if (refuse_held(cmd, unit, named)) return CMD_FAIL;
    uint32_t mask = 0;
    if (!is_zero_mac(mac)) mask |= 0x1;
    if (module >= 0) mask |= 0x2;
    if (port >= 0) mask |= 0x4;
    if (vid >= 0) mask |= 0x8;
    if (tgid >= 0) mask |= 0x10;
    const char *which = l2.is_static ? "static and non-static" : "non-static";
    l2.is_static = l2.is_static ? 1 : 0;
    const uint32_t flags = l2.is_static ? DXP_L2_DELETE_STATIC : 0;
    const auto v = static_cast<dxp_vlan_t>(vid);
    int r = 0;
    const char *by = nullptr;  // what the clear selects by, said once it is done
    switch (mask) {
        case 0x1:
            by = "by MAC";
            r = dxp_l2_addr_delete_by_mac(unit, mac, flags);
            break;
        case 0x4:
            by = "by port, local module ID";
            r = dxp_l2_addr_delete_by_port(unit, -1, port, flags);
            break;
        case 0x5:
            by = "by MAC and port";
            r = dxp_l2_addr_delete_by_mac_port(unit, mac, -1, port, flags);
            break;
        case 0x6:
            by = "by module/port";
            r = dxp_l2_addr_delete_by_port(unit, module, port, flags);
            break;
        case 0x7:
            by = "by MAC and module/port";
            r = dxp_l2_addr_delete_by_mac_port(unit, mac, module, port, flags);
            break;
        case 0x8:
            by = "by VLAN";
            r = dxp_l2_addr_delete_by_vlan(unit, v, flags);
            break;
        case 0x9:
            r = dxp_l2_addr_delete(unit, mac, v);
            break;
        case 0xc:
            by = "by VLAN and port";
            r = dxp_l2_addr_delete_by_vlan_port(unit, v, -1, port, flags);
            break;
        case 0xe:
            by = "by VLAN and module/port";
            r = dxp_l2_addr_delete_by_vlan_port(unit, v, module, port, flags);
            break;
        case 0x10:
            by = "by trunk ID";
            r = dxp_l2_addr_delete_by_trunk(unit, tgid, flags);
            break;
        case 0x18:
            by = "by trunk ID";
            r = dxp_l2_addr_delete_by_vlan_trunk(unit, v, tgid, flags);
            break;
        default:
            sal_printf("%s: Unknown argument combination\n", cmd);
            return CMD_USAGE;
    }
    if (r >= 0 && by != nullptr) sal_printf("%s: Deleting %s addresses %s\n", cmd, which, by);
    if (r >= 0 && by == nullptr) sal_printf("%s: Deleting an address by MAC and VLAN\n", cmd);
    // A clear by VLAN, port or address may take the CPU's station entries.
    diag_unit_entries_restore(unit);
    if (r < 0) {
        sal_printf("%s: ERROR: %s\n", cmd, feature_cmds::errmsg(r));
        return CMD_FAIL;
    }
    return CMD_OK;
}

int l2_conflict(const char *cmd, int unit, args_t *a) {
    int rv = CMD_OK;
    if (!l2_options(cmd, unit, a, {{"MACaddress", PQ_MAC, l2.mac}, {"Vlanid", PQ_HEX, &l2.vid}},
                    &rv))
        return rv;
    dxp_l2_addr key, found[2];
    int count = 0;
    dxp_l2_addr_init(&key, l2.mac, static_cast<dxp_vlan_t>(l2.vid));
    if (int r = dxp_l2_conflict_get(unit, &key, found, 2, &count); r < 0) {
        sal_printf("%s: dxp_l2_conflict_get failed: %s\n", cmd, feature_cmds::errmsg(r));
        return CMD_FAIL;
    }
    for (int i = 0; i < count && i < 2; i++)
        dump_l2_addr(unit, "conflict: ", &found[i]);
    return CMD_OK;
}

// Runs on the thread that changed the table; the console takes output only
// from the main thread, so that thread stands in for it while printing.
void l2_watch_callback(int unit, dxp_l2_addr *rec, int insert, void *) {
    int level = sal_splhi();
    sal_thread_t main_thread = sal_thread_main_get();
    sal_thread_main_set(sal_thread_self());
    dump_l2_addr(unit, insert ? "L2 ADD: " : "L2 DEL: ", rec);
    sal_thread_main_set(main_thread);
    sal_spl(level);
}

int l2_watch(int unit, args_t *a) {
    const char *word = ARG_GET(a);
    if (word == nullptr) {
        sal_printf("L2 watch is%srunning.\n", l2.watching ? " " : " not ");
    } else if (word_is(word, "start")) {
        l2.watching = true;
        dxp_l2_addr_register(unit, l2_watch_callback, nullptr);
    } else if (word_is(word, "stop")) {
        l2.watching = false;
        dxp_l2_addr_unregister(unit, l2_watch_callback, nullptr);
    } else {
        return CMD_USAGE;
    }
    return CMD_OK;
}

// The VLAN id given to the API; one too wide for its 16 bits must not wrap
// into a valid id, so it is passed as one the API refuses.
dxp_vlan_t mcast_vid() {
    return mc_vid < 0 || mc_vid > 0xffff ? dxp_vlan_t{0xffff} : static_cast<dxp_vlan_t>(mc_vid);
}

int mcast_join_leave(const char *cmd, int unit, const char *word, bool join) {
    const dxp_vlan_t vid = mcast_vid();
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(mc_pbmp, port)) continue;
        int r = join ? dxp_mcast_join(unit, mc_mac, vid, port, nullptr)
                     : dxp_mcast_leave(unit, mc_mac, vid, port);
        const char *name = port_name(unit, port);
        if (r < 0) {
            sal_printf("ERROR: %s %s port %s failed: %s\n", cmd, word, name,
                       feature_cmds::errmsg(r));
            return CMD_FAIL;
        }
        if (join && r == DXP_MCAST_JOIN_CREATED)
            sal_printf("port %s added\n", name);
        else if (join && r == DXP_MCAST_JOIN_ADDED)
            sal_printf("port %s updated\n", name);
        else if (!join && r == DXP_MCAST_LEAVE_DELETED)
            sal_printf("port %s deleted\n", name);
        else if (!join && r == DXP_MCAST_LEAVE_UPDATED)
            sal_printf("port %s updated\n", name);
        else if (!join && r == DXP_MCAST_LEAVE_NOTFOUND)
            sal_printf("port %s not found\n", name);
        else
            sal_printf("port %s complete, return %d\n", name, r);
    }
    return CMD_OK;
}

dxp_mcast_addr mcast_record() {
    dxp_mcast_addr rec;
    dxp_mcast_addr_init(&rec, mc_mac, mcast_vid());
    rec.pbmp = to_dxp(mc_pbmp);
    return rec;
}

}  // namespace

int cmd_age(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit)) return CMD_FAIL;
    const char *word = ARG_GET(a);
    if (word == nullptr) {
        int seconds = 0;
        if (int r = dxp_l2_age_timer_get(unit, &seconds); r < 0) {
            sal_printf("%s ERROR: could not get age time: %s\n", cmd, feature_cmds::errmsg(r));
            return CMD_FAIL;
        }
        sal_printf("Current age timer is %d.\n", seconds);
        return CMD_OK;
    }
    if (ARG_CNT(a) > 0) return CMD_USAGE;
    // A number past an int would wrap, 4294967296 to 0 (no ageing at all).
    if (!parse_is_integer(word) || parse_integer(word) < 0) {
        sal_printf(
            "%s ERROR: age time %s is not a number of seconds (0 for none); nothing "
            "changed\n",
            cmd, word);
        return CMD_FAIL;
    }
    const int seconds = parse_integer(word);
    if (int r = dxp_l2_age_timer_set(unit, seconds); r < 0) {
        sal_printf("%s ERROR: could not set age time %d: %s\n", cmd, seconds,
                   feature_cmds::errmsg(r));
        return CMD_FAIL;
    }
    sal_printf("Set age timer to %d. %s\n", seconds, seconds == 0 ? "(disabled)" : "");
    return CMD_OK;
}

int cmd_bpdu(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit)) return CMD_FAIL;
    const char *sub = ARG_GET(a);
    int rv = CMD_OK;
    int r = 0;
    if (word_is(sub, "add") || word_is(sub, "+")) {
        if (!options(unit, a, {{"Index", PQ_INT, &bpdu_index}, {"MACaddress", PQ_MAC, bpdu_mac}},
                     &rv))
            return rv;
        if (bpdu_slot_check(cmd, unit) < 0) return CMD_FAIL;
        r = dxp_l2_bpdu_set(unit, bpdu_index, bpdu_mac);
    } else if (word_is(sub, "del") || word_is(sub, "-")) {
        if (!options(unit, a, {{"Index", PQ_INT, &bpdu_index}}, &rv)) return rv;
        if (bpdu_slot_check(cmd, unit) < 0) return CMD_FAIL;
        static const dxp_mac_t kNone = {};
        r = dxp_l2_bpdu_set(unit, bpdu_index, kNone);
    } else if (word_is(sub, "show") || word_is(sub, "-d")) {
        int count = dxp_l2_bpdu_count(unit);
        sal_printf("unit %d has %d BPDU entries\n", unit, count);
        for (int i = 0; i < count && r >= 0; i++) {
            dxp_mac_t mac = {};
            r = dxp_l2_bpdu_get(unit, i, mac);
            char text[18];
            format_macaddr(text, mac);
            if (r >= 0) sal_printf("\tBPDU %d: %s\n", i, text);
        }
    } else {
        return CMD_USAGE;
    }
    if (r < 0) {
        sal_printf("%s ERROR: %s\n", cmd, feature_cmds::errmsg(r));
        return CMD_FAIL;
    }
    return CMD_OK;
}

int cmd_l2(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit)) return CMD_FAIL;
    const char *sub = ARG_GET(a);
    if (word_is(sub, "add") || word_is(sub, "+")) return l2_add(cmd, unit, a);
    if (word_is(sub, "del") || word_is(sub, "-")) return l2_del(cmd, unit, a);
    if (word_is(sub, "show") || word_is(sub, "-d")) return l2_show(unit, a);
    if (word_is(sub, "clear") || word_is(sub, "clr")) return l2_clear(cmd, unit, a);
    if (word_is(sub, "dump")) return l2_dump(unit);
    if (word_is(sub, "conflict")) return l2_conflict(cmd, unit, a);
    if (word_is(sub, "watch")) return l2_watch(unit, a);
    return CMD_USAGE;
}

int cmd_mcast(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit)) return CMD_FAIL;
    mc_pbmp = pbmp_and(mc_pbmp, all_ports(unit));
    mc_index = -1;
    const char *sub = ARG_GET(a);
    if (sub == nullptr) return CMD_USAGE;
    int rv = CMD_OK;
    const Option mac{"MACaddress", PQ_MAC, mc_mac}, vid{"Vlanid", PQ_HEX, &mc_vid},
        pbmp{"PortBitMap", PQ_PBMP, &mc_pbmp};
    if (word_is(sub, "add")) {
        if (!options(unit, a, {mac, vid, pbmp, {"Index", PQ_INT, &mc_index}}, &rv)) return rv;
        if (refuse_held(cmd, unit, pbmp_and(mc_pbmp, all_ports(unit)))) return CMD_FAIL;
        dxp_mcast_addr rec = mcast_record();
        rec.l2mc_index = mc_index;
        int r = mc_index < 0 ? dxp_mcast_addr_add(unit, &rec)
                             : dxp_mcast_addr_add_w_l2mcindex(unit, &rec);
        if (r < 0) {
            sal_printf("dxp_mcast_addr_add failed ERROR: %s\n", feature_cmds::errmsg(r));
            return CMD_FAIL;
        }
        return CMD_OK;
    }
    if (sal_strncasecmp(sub, "del", 3) == 0) {
        if (!options(unit, a, {mac, vid}, &rv)) return rv;
        if (int r = dxp_mcast_addr_remove(unit, mc_mac, mcast_vid()); r < 0) {
            sal_printf("dxp_mcast_addr_remove failed ERROR: %s\n", feature_cmds::errmsg(r));
            return CMD_FAIL;
        }
        return CMD_OK;
    }
    const bool join = word_is(sub, "join"), leave = word_is(sub, "leave");
    const bool padd = word_is(sub, "padd"), premove = word_is(sub, "premove");
    if (!join && !leave && !padd && !premove) return CMD_USAGE;
    if (!options(unit, a, {mac, vid, pbmp}, &rv)) return rv;
    mc_pbmp = pbmp_and(mc_pbmp, all_ports(unit));
    if (refuse_held(cmd, unit, mc_pbmp)) return CMD_FAIL;
    if (join || leave) return mcast_join_leave(cmd, unit, sub, join);
    dxp_mcast_addr rec = mcast_record();
    int r = padd ? dxp_mcast_port_add(unit, &rec) : dxp_mcast_port_remove(unit, &rec);
    if (r < 0) {
        sal_printf("ERROR: %s %s ports failed: %s\n", cmd, sub, feature_cmds::errmsg(r));
        return CMD_FAIL;
    }
    return CMD_OK;
}
