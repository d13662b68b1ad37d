// "Main App": runs the start-up steps in their fixed order, settles the
// settings, then gives the console to the monitor until it returns.
#include "main_app.h"

#include "sal.h"
#include "settings.h"

namespace {

void run_step(void (*fn)(void), const char *name) {
    if (fn == nullptr) {
        // The subsystem that owns this step is not part of this build.
        sal_debug_printf(0x1, "Main App: %s skipped\n", name);
        return;
    }
    fn();
}

#define MAIN_APP_STEP(steps, field) run_step((steps)->field, #field)

void settle_settings(const main_app_steps *s) {
    bool factory_valid = s->factory_data_valid != nullptr && s->factory_data_valid() != 0;
    if (s->factory_data_valid != nullptr && !factory_valid) {
        sal_printf("*BUG* - Data for Factory Defaults are invalid!\n");
    }
    if (s->settings_stored_valid != nullptr && s->settings_stored_valid()) {
        if (s->settings_load_all) s->settings_load_all();
        return;
    }
    if (!factory_valid) return;  // nothing sound to load: the built-in values stay
    sal_printf(
        "Some of current saved settings in NVRAM are invalid. Loading factory defaults.....\n");
    // The factory values first, then every stored item that is still valid
    // over them; saving last keeps both, so one bad item does not cost the
    // others.
    if (s->factory_restore) s->factory_restore();
    if (s->settings_load_all) s->settings_load_all();
    if (s->settings_save_all) s->settings_save_all();
}

void main_app_thread(void *arg) {
    main_app_run(static_cast<const main_app_steps *>(arg));
}

}  // namespace

void main_app_run(const main_app_steps *s) {
    static const main_app_steps none{};
    if (s == nullptr) s = &none;
    settings_startup_begin();
    MAIN_APP_STEP(s, pci_init);
    sal_wallclock_set(MAIN_APP_START_TIME);
    MAIN_APP_STEP(s, logger_init);
    MAIN_APP_STEP(s, settings_init);
    MAIN_APP_STEP(s, sdk_os_init);
    MAIN_APP_STEP(s, sdk_platform_init);
    MAIN_APP_STEP(s, factory_default_thread_start);
    MAIN_APP_STEP(s, net_util_locks_init);
    MAIN_APP_STEP(s, unit_bringup);
    MAIN_APP_STEP(s, board_probe);
    MAIN_APP_STEP(s, loopback_up);

    MAIN_APP_STEP(s, portmgr_init);
    MAIN_APP_STEP(s, vlanmgr_init);
    MAIN_APP_STEP(s, l2mgr_init);
    MAIN_APP_STEP(s, trunkmgr_init);
    MAIN_APP_STEP(s, web_init);
    MAIN_APP_STEP(s, port_pvid_init);
    MAIN_APP_STEP(s, snmp_init);
    MAIN_APP_STEP(s, rmon_init);
    MAIN_APP_STEP(s, timer_service_init);
    MAIN_APP_STEP(s, telnetd_init);
    MAIN_APP_STEP(s, default_port_vlans);
    MAIN_APP_STEP(s, storm_mode_init);
    MAIN_APP_STEP(s, dos_init);
    MAIN_APP_STEP(s, voip_init);
    MAIN_APP_STEP(s, darp_init);
    MAIN_APP_STEP(s, qos_init);
    MAIN_APP_STEP(s, stp_forward_all);

    sal_usleep(10000);
    settle_settings(s);
    // The servers started above take changes from here on.
    settings_startup_done_set();

    sal_printf("Network interface status: \n");
    MAIN_APP_STEP(s, print_interfaces);
    MAIN_APP_STEP(s, log_system_init_done);

    MAIN_APP_STEP(s, diag_init);
    MAIN_APP_STEP(s, console_loop);
    sal_reboot_after_pending();
}

int main_app_start(const main_app_steps *steps) {
    sal_thread_t t = sal_thread_create("Main App", 32 * 1024, SAL_THREAD_PRIO_DEFAULT,
                                       main_app_thread, const_cast<main_app_steps *>(steps));
    if (t == SAL_THREAD_ERROR) return -1;
    sal_thread_main_set(t);
    return 0;
}
