// "Main App": the start-up order of the firmware. Each step belongs to some
// subsystem; the program fills in the steps that exist, and a step left null
// is skipped (and says so in the debug log), never faked.
#pragma once

struct main_app_steps {
    void (*pci_init)(void);
    void (*logger_init)(void);
    void (*settings_init)(void);
    void (*sdk_os_init)(void);
    void (*sdk_platform_init)(void);
    void (*factory_default_thread_start)(void);
    void (*net_util_locks_init)(void);
    // Unit 0: probe, attach, system init, multi-unit registration, CPU rules.
    void (*unit_bringup)(void);
    void (*board_probe)(void);
    void (*loopback_up)(void);  // "eth0" 127.0.0.1/255.0.0.0

    // Application init, in this order.
    void (*portmgr_init)(void);
    void (*vlanmgr_init)(void);
    void (*l2mgr_init)(void);
    void (*trunkmgr_init)(void);
    void (*web_init)(void);  // hook, server name, server when "httpd" is "1"
    void (*port_pvid_init)(void);
    void (*snmp_init)(void);  // back end, configuration, "snmpd"
    void (*rmon_init)(void);
    void (*timer_service_init)(void);  // device database and timer service
    void (*telnetd_init)(void);
    void (*default_port_vlans)(void);
    void (*storm_mode_init)(void);
    void (*dos_init)(void);
    void (*voip_init)(void);
    void (*darp_init)(void);
    void (*qos_init)(void);
    void (*stp_forward_all)(void);

    // Settings: stored ones if they validate, else the factory defaults.
    int (*settings_stored_valid)(void);  // non-zero when valid
    int (*factory_data_valid)(void);     // non-zero when valid
    int (*factory_restore)(void);        // every group from the factory image
    int (*settings_load_all)(void);
    int (*settings_save_all)(void);

    void (*print_interfaces)(void);
    void (*log_system_init_done)(void);
    // The diagnostic monitor's set-up, then the console for ever.
    void (*diag_init)(void);
    void (*console_loop)(void);
};

// Creates the thread "Main App" running the steps; 0, or -1 when the thread
// cannot be made. The steps must stay valid for the life of the program.
int main_app_start(const main_app_steps *steps);
// The body of "Main App" on the calling thread; ends in a reboot.
[[noreturn]] void main_app_run(const main_app_steps *steps);

// Wall clock set at start-up: 2006-05-01 00:00:00 UTC.
constexpr unsigned MAIN_APP_START_TIME = 1146441600u;
