// Fills "Main App"'s steps with the subsystems of this build. A step whose
// subsystem is not built stays null and is skipped.
#include "firmware_steps.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board.h"
#include "boot_items.h"
#include "diag_shell.h"
#include "diag_test.h"
#include "dosmgr.h"
#include "dxp.h"
#include "dxp_enums.h"
#include "cyg_host.h"
#include "daimgr.h"
#include "dxp_tarn.h"
#include "dxpx.h"
#include "ecos_shell.h"
#include "end_drv.h"
#include "eth_drv.h"
#include "et_netdev.h"
#include "et_soc.h"
#include "factory_reset.h"
#include "l2mgr.h"
#include "logger.h"
#include "net_util.h"
#include "nvram.h"
#include "phy.h"
#include "qosmgr.h"
#include "portmgr.h"
#include "sal.h"
#include "sal_config.h"
#include "sal_netif.h"
#include "settings.h"
#include "settings_wiring.h"
#include "rmon.h"
#include "snmp_agent.h"
#include "snmp_backend.h"
#include "soc.h"
#include "soc_cm.h"
#include "soc_sysconf.h"
#include "tarn_bus.h"
#include "trunkmgr.h"
#include "vlanmgr.h"
#include "voipmgr.h"
#include "telnetd.h"
#include "timerapi.h"
#include "web_pages.h"
#include "web_ports.h"
#include "web_start.h"
#include "web_system.h"
#include "webauth.h"

namespace {

bool exit_on_eof = false;

// Changes answered as accepted and not yet stored.
int changes_waiting() {
    return web_changes_waiting() + rmon_settings_saves_waiting();
}

// The board comes from unit 0's chip; its name goes into "firmware_version".
void board_probe_step() {
    int rv = board_probe();
    if (rv != 0) {
        sal_printf("board_probe() failed: %s\n", dxp_errmsg(rv));
        return;
    }
    // The board probe gives the 26-port board no image: its port records
    // differ from the 28-port board's, so it has one of its own here.
    settings_factory_image_set(factory_default_image ? factory_default_image
                                                     : factory_default_image_c);
    web_board_port_count_set(board_num_uports);
    // Committed only when it changes, so a start does not rewrite the flash.
    const char *stored = nvram_get("firmware_version");
    if (stored == nullptr || std::strcmp(stored, board_name) != 0) {
        if (nvram_set("firmware_version", board_name) != 0 || nvram_commit() != 0)
            sal_printf("Board probe: the firmware version could not be stored\n");
    }
}

// A manager that cannot start says so; the switch comes up without it.
void manager_step(const char *name, int rv) {
    if (rv != 0) sal_printf("%s() failed: %s\n", name, dxp_errmsg(rv));
}

void sdk_platform_init() {
    // "config.dxp" may be absent on a new board; the store then starts empty.
    sal_config_refresh();
}

// The PHY layer above the chip layer: its per-port records are set up in every
// unit init, its probe and reset hooks run in every port attach.
void phy_layer_wire() {
    static const drv_port_neighbours_t neighbours = {
        .phy_probe = soc_phy_probe,
        .phy_reset_register = phy_common_reset_register,
        .errmsg = dxp_errmsg,
        .phy_failed = &phy_noconn,
    };
    soc_phy_layer_register(soc_phy_init);
    drv_port_neighbours_register(&neighbours);
}

// Unit 0: probe the board's switch devices, attach unit 0 and initialise it
// (chip reset and switch API), then register it with the multi-unit layer.
void unit_bringup() {
    tarn_bus_register();
    phy_layer_wire();
    pktio_register();
    // The PHY layer's routines that the port module calls.
    static const dxp_tarn_phy_hooks_t phy_hooks = {
        .common_init = phy_common_init,
        .medium_change_register = phy_common_medium_change_register,
        .medium_change_unregister = phy_common_medium_change_unregister,
        .reset_register = phy_common_reset_register,
        .reset_unregister = phy_common_reset_unregister,
    };
    dxp_tarn_phy_hooks_register(&phy_hooks);
    if (sysconf_init() < 0 || sysconf_probe() < 0 || sysconf_attach(0) < 0) {
        sal_printf("Unit 0: no switch device could be attached\n");
        return;
    }
    // The CPU-port MAC: its attach brings up the packet engine.
    for (int dev = 1; dev < soc_cm_get_num_devices(); dev++) {
        if ((soc_cm_get_dev_type(dev) & SOC_CM_CPU_NIC) && sysconf_attach(dev) < 0)
            sal_printf("Device %d: the CPU-port MAC could not be attached\n", dev);
    }
    system_init(0);
    int rv = dxp_attach_check(0);
    if (rv >= 0) rv = dxpx_unit_register(0);
    if (rv < 0) {
        sal_printf("Unit 0 switch API: %s\n", dxp_errmsg(rv));
        return;
    }
    // A lone switch is module 0; this chip family keeps no module id, so the
    // refusal is expected and start-up goes on.
    dxp_stk_my_modid_set(0, 0);
    // Steer management traffic to the CPU at the highest priority.
    dxp_switch_control_set(0, dxpSwitchCpuProtocolPrio, 7);
    // IGMP snooping is ready for the monitor's "igmp" command but starts off:
    // nothing on the CPU follows group membership, so trapped reports would
    // be lost instead of reaching the other ports.
    rv = dxp_igmp_snooping_init(0);
    if (rv >= 0) rv = dxp_igmp_snooping_enable_set(0, 0);
    if (rv < 0 && rv != DXP_E_UNAVAIL) sal_printf("Unit 0 IGMP snooping: %s\n", dxp_errmsg(rv));
}

// "eth0" (no switch traffic) and "eth1" are set up with the
// other network devices before Main App; eth1 starts once the unit and the
// port VLAN table exist, and from then on the port pages move the CPU MAC
// between VLANs through it.
void network_devices_init(const std::string &mgmt_tap) {
    static const end_board_t board = {
        .user_port_count = [] { return board_num_uports; },
        .pvid_get = port_pvid_get,
    };
    end_board_register(&board);
    port_cpu_l2_addr_source_set(end_cpu_l2_addr_get);
    eth_drv_device_register(&dev_et0);
    eth_drv_device_register(&dev_end0);
    eth_drv_devices_init();
    if (mgmt_tap.empty()) return;
    char error[128];
    if (eth_drv_host_tap_attach(&end0_sc, mgmt_tap.c_str(), error, sizeof error) != 0) {
        sal_printf("eth1: no TAP back-end (%s)\n", error);
        return;
    }
    sal_netif_map("eth1", mgmt_tap.c_str());
}

void mgmt_if_start() {
    if (end0_sc.state) end0_sc.funs->start(&end0_sc, end0_sc.enaddr, 0);
}

// eth0 gets the loopback address and its MAC is started; no host interface
// stands for it, as 127.0.0.1 is the host's own loopback.
void loopback_up() {
    if (net_util_if_start("eth0", NET_IF_MODE_STATIC, "127.0.0.1", "255.0.0.0", "") != 0)
        sal_printf("eth0: the address could not be set\n");
    if (et0_sc.state) et0_sc.funs->start(&et0_sc, et0_sc.enaddr, 0);
}

// The chip's VLAN init puts every port into VLAN 1 untagged; the VLAN
// manager's VLAN 1 says the same until a stored "vlan" item replaces it, so
// the pages and the ARP inspection's flooding see the ports the chip uses.
void default_port_vlans() {
    upbmp_t members{}, untagged{};
    if (upbmp_alloc(&members, board_num_uports) == 0 &&
        upbmp_alloc(&untagged, board_num_uports) == 0) {
        for (int port = 1; port <= board_num_uports; port++) {
            upbmp_add(&members, port);
            upbmp_add(&untagged, port);
        }
        manager_step("qsw_vlanmgr_vlan_set", qsw_vlanmgr_vlan_set(1, &members, &untagged));
    }
    upbmp_free(&members);
    upbmp_free(&untagged);
}

// Unit init already leaves every port forwarding; start-up says so again
// for the user ports once the managers have their settings in place.
void stp_forward_all() {
    constexpr int kStpForward = 4;
    for (int uport = 1; uport <= board_num_uports; uport++) {
        int unit = 0, port = 0;
        if (dxpx_lport_to_unit_port(user_port_map[uport], &unit, &port) != 0) continue;
        int rv = dxp_port_stp_set(unit, port, kStpForward);
        if (rv < 0) sal_printf("Port %d: spanning-tree forwarding: %s\n", uport, dxp_errmsg(rv));
    }
}

void print_interfaces() {
    for (const char *name : {"eth0", "eth1"}) {
        net_if_info info{};
        if (net_util_if_info_get(name, &info, 0) < 0) continue;
        if (info.mode < NET_IF_DHCP_BOUND) {
            sal_printf("%s: not set up\n", name);
        } else {
            sal_printf("%s: IP %s, mask %s, gateway %s%s\n", name, info.ip, info.mask,
                       info.gw[0] ? info.gw : "none",
                       info.mode == NET_IF_DHCP_BOUND ? " (DHCP)" : "");
        }
    }
}

// Test hook of the system test (environment SWITCHFW_TEST_MANAGERS):
// "create" adds a VLAN, a trunk and a static address through the managers
// and saves the settings; any value prints what the managers and the chip
// hold.
const uint8_t kHookMac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

void hook_create() {
    upbmp_t members{}, untagged{};
    dxpx_lplist_t lm{}, lu{};
    upbmp_alloc(&members, board_num_uports);
    upbmp_alloc(&untagged, board_num_uports);
    dxpx_lplist_init(&lm, 0, 0);
    dxpx_lplist_init(&lu, 0, 0);
    upbmp_add(&members, 1);
    upbmp_add(&members, 2);
    upbmp_add(&untagged, 2);
    upbmp_to_lplist(&members, &lm);
    upbmp_to_lplist(&untagged, &lu);
    dxpx_vlan_create(100);
    dxpx_vlan_port_add(100, lm, lu);
    qsw_vlanmgr_vlan_set(100, &members, &untagged);

    upbmp_clear_all(&members);
    upbmp_add(&members, 3);
    upbmp_add(&members, 4);
    dxpx_trunk_add_info_t info{};
    info.psc = 1;
    info.ports = lm;
    upbmp_to_lplist(&members, &info.ports);
    trunkmgr_trunk_set(0, &members);
    dxpx_trunk_create_with_tid(0);
    dxpx_trunk_set(0, &info);
    lm = info.ports;

    dxpx_l2_addr_t addr{};
    dxpx_l2_addr_init(&addr, kHookMac, 1);
    addr.flags = DXP_L2_STATIC;
    addr.lport = user_port_map[5];
    l2mgr_static_add(&addr);
    settings_save_group(SETTINGS_GROUP_ALL);
    dxpx_lplist_free(&lm);
    dxpx_lplist_free(&lu);
    upbmp_free(&members);
    upbmp_free(&untagged);
}

// Appends formatted text.
__attribute__((format(printf, 2, 3))) void add(std::string &line, const char *fmt, ...) {
    char buf[128];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    line.append(buf);
}

std::string uports(const upbmp_t &bmp) {
    std::string out;
    for (int n = 1; n <= board_num_uports; n++) {
        if (upbmp_test(&bmp, n)) add(out, out.empty() ? "%d" : ",%d", n);
    }
    return out;
}

void hook_show() {
    std::string line = "Managers:";
    for (int i = 0; i < qsw_vlanmgr_count_get(); i++) {
        upbmp_t m{}, u{};
        uint16_t vid = qsw_vlanmgr_vlan_get_by_index(i, &m, &u);
        if (vid != 100)
            add(line, " vlan %u", vid);
        else
            add(line, " vlan 100 [%s/%s]", uports(m).c_str(), uports(u).c_str());
        upbmp_free(&m);
        upbmp_free(&u);
    }
    upbmp_t t{};
    if (trunkmgr_trunk_get(0, &t) == 0) add(line, " trunk 0 [%s]", uports(t).c_str());
    upbmp_free(&t);
    add(line, " static %d\nChip:", l2mgr_static_count_get());
    dxpx_lplist_t m{}, u{};
    dxpx_lplist_init(&m, 0, 0);
    dxpx_lplist_init(&u, 0, 0);
    if (dxpx_vlan_port_get(100, &m, &u) == 0)
        add(line, " vlan 100 %d ports", dxpx_lplist_count(&m));
    dxpx_lplist_free(&m);
    dxpx_lplist_free(&u);
    dxp_trunk_add_info info{};
    if (dxp_trunk_get(DXPX_CPU_UNIT, 0, &info) == 0) add(line, " trunk 0 %d ports", info.num_ports);
    dxpx_l2_addr_t addr{};
    if (dxpx_l2_addr_get(kHookMac, 1, &addr, 0) == 0)
        add(line, " static on %d%s", addr.lport, (addr.flags & DXP_L2_STATIC) ? " (static)" : "");
    sal_printf("%s\n", line.c_str());
}

void manager_hook() {
    const char *hook = std::getenv("SWITCHFW_TEST_MANAGERS");
    if (hook == nullptr) return;
    if (std::strcmp(hook, "create") == 0) hook_create();
    hook_show();
}

void log_system_init_done() {
    manager_hook();
    logger_puts(LOG_LEVEL_INFO, LOG_MOD_SYSTEM, "System init done");
}

// The monitor's INIT empties the chip's address table: the CPU's own
// station entries, one per port's VLAN as eth1's start made them, go back so
// that management traffic still reaches the CPU.
void cpu_stations_restore(int unit) {
    if (unit != DXPX_CPU_UNIT) return;
    for (int uport = 1; uport <= board_num_uports; uport++) {
        dxpx_l2_addr_t rec{};
        if (end_cpu_l2_addr_get(static_cast<dxp_vlan_t>(port_pvid_get(uport - 1)), &rec) == 0)
            return;  // eth1 has not started: it adds them when it does
        if (int rv = dxpx_l2_addr_add(&rec, 0); rv < 0) {
            sal_printf("Port %d: the CPU's station entry could not be restored: %s\n", uport,
                       dxp_errmsg(rv));
            return;
        }
    }
}

void diag_setup() {
    diag_init();
    diag_unit_init_register(cpu_stations_restore);
    // A restart finds the rows already there; test_register refuses repeats.
    test_counters_register();
    test_traffic_register();
    test_loopback_register();
    var_set_integer("units", soc_cm_get_num_units(), 0, 0);
}

// The monitor on the console; leaving it reboots the switch. At the end of
// console input the program either ends or leaves the servers running.
void console_loop() {
    diag_shell(-1, "DXP", 1);
    // The reboot that follows says "Resetting...".
    if (!diag_console_ended()) return;
    if (exit_on_eof) {
        // Other threads keep running: end without running static destructors
        // under them, once the images answered as accepted are in.
        sal_exit_after_pending(0);
    }
    for (;;)
        sal_sleep(3600);
}

}  // namespace

const main_app_steps *firmware_steps(const HostOptions &options) {
    static main_app_steps s{};
    exit_on_eof = options.exit_on_eof;

    ecos_shell_services shell{};
    shell.username_get = webauth_username_get;
    shell.password_get = webauth_password_get;
    shell.settings_load = [](char *skipped, int size) {
        return settings_load_group_noting(SETTINGS_GROUP_ALL, skipped, static_cast<size_t>(size));
    };
    shell.port_counters_clear_all = port_counters_clear_all;
    shell.end_counters_get = end_counters_get;
    shell.end_counters_clear = end_counters_clear;
    ecos_shell_init(&shell);
    // The web factory reset clears the port counters as the console's does.
    web_counters_clear_set(port_counters_clear_all);
    // A restart or a settings change accepted at any entrance lets the
    // settings images the web has announced be applied first; a change also
    // waits for a restore upload whose headers came before it.
    sal_images_pending_set([] { return web_images_waiting() + httpd_image_uploads_reading(); });
    // A restart also waits for the address changes the web has answered,
    // and for the RMON rows the SNMP agent changed to be stored.
    sal_changes_pending_set(changes_waiting);

    if (settings_wiring() != 0) sal_printf("Settings: a handler was registered twice\n");
    network_devices_init(options.mgmt_tap);

    s.pci_init = [] { cyg_pci_init(); };
    s.logger_init = [] { logger_init(); };
    s.settings_init = [] { settings_init(); };
    s.sdk_os_init = [] { sal_core_init(); };
    s.sdk_platform_init = sdk_platform_init;
    s.factory_default_thread_start = [] { factory_default_thread_start(); };
    s.net_util_locks_init = [] { net_util_init(); };
    s.unit_bringup = unit_bringup;
    s.board_probe = board_probe_step;
    s.portmgr_init = [] { manager_step("portmgr_init", portmgr_init()); };
    s.vlanmgr_init = [] { manager_step("qsw_vlanmgr_init", qsw_vlanmgr_init()); };
    s.l2mgr_init = [] { l2mgr_init(); };
    s.trunkmgr_init = [] { manager_step("trunkmgr_init", trunkmgr_init()); };
    s.loopback_up = loopback_up;
    s.default_port_vlans = default_port_vlans;
    s.storm_mode_init = [] { storm_allports_init(); };
    s.dos_init = [] { manager_step("dos_init", dos_init()); };
    s.voip_init = [] {
        voip_init();
        // Its rules hold the voice priority's queue, which the QoS map moves.
        qosmgr_queues_moved_register(voip_queues_refresh);
    };
    s.darp_init = [] {
        // DoS prevention starts first: ARP inspection shares its group.
        darp_dos_group_source_set(dos_group_get);
        darp_init();
    };
    s.qos_init = [] {
        if (!qosmgr_init()) sal_printf("qosmgr_init() failed\n");
    };
    s.stp_forward_all = stp_forward_all;
    s.port_pvid_init = [] {
        port_pvid_init();
        mgmt_if_start();
    };
    s.web_init = [] { web_start(); };
    s.snmp_init = [] {
        snmp_backend_init();
        snmp_agent_start();
    };
    s.rmon_init = [] {
        rmon_init();
        settings_rmon_reset_set(rmonp_table_reset);
    };
    s.timer_service_init = [] { wpTimerInit(); };
    s.telnetd_init = [] { telnetd_start(); };
    s.settings_stored_valid = settings_nvram_validate;
    s.factory_data_valid = settings_factory_default_validate;
    s.factory_restore = settings_factory_default;
    s.settings_load_all = [] { return settings_load_group(SETTINGS_GROUP_ALL); };
    s.settings_save_all = [] { return settings_save_group(SETTINGS_GROUP_ALL); };
    s.print_interfaces = print_interfaces;
    s.log_system_init_done = log_system_init_done;
    s.diag_init = diag_setup;
    s.console_loop = console_loop;
    return &s;
}
