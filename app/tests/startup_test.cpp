// "Main App" start-up order and the choice between stored and factory settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app_test_env.h"
#include "boot_items.h"
#include "factory_reset.h"
#include "fake_items.h"
#include "main_app.h"
#include "nvram.h"
#include "sal.h"
#include "sal_host.h"
#include "settings.h"

namespace {

std::mutex trace_lock;
std::vector<std::string> trace;
std::atomic<bool> rebooted{false};
bool stored_valid = true;
bool factory_valid = true;

void note(const char *step) {
    std::lock_guard<std::mutex> g(trace_lock);
    trace.emplace_back(step);
}

std::vector<std::string> steps_seen() {
    std::lock_guard<std::mutex> g(trace_lock);
    return trace;
}

#define STEP(name) [] { note(#name); }

struct Output {
    std::mutex lock;
    std::string text;
    sal_console_ops ops{this,
                        [](void *ctx, const char *buf, size_t len) {
                            auto *o = static_cast<Output *>(ctx);
                            std::lock_guard<std::mutex> g(o->lock);
                            o->text.append(buf, len);
                            return static_cast<int>(len);
                        },
                        [](void *, char *, size_t) { return -1; }};
    std::string get() {
        std::lock_guard<std::mutex> g(lock);
        return text;
    }
};

main_app_steps full_steps() {
    main_app_steps s{};
    s.pci_init = STEP(pci_init);
    s.logger_init = STEP(logger_init);
    s.settings_init = STEP(settings_init);
    s.sdk_os_init = STEP(sdk_os_init);
    s.sdk_platform_init = STEP(sdk_platform_init);
    s.factory_default_thread_start = STEP(factory_default);
    s.net_util_locks_init = STEP(net_util_locks);
    s.unit_bringup = STEP(unit_bringup);
    s.board_probe = STEP(board_probe);
    s.loopback_up = STEP(loopback_up);
    s.portmgr_init = STEP(portmgr);
    s.vlanmgr_init = STEP(vlanmgr);
    s.l2mgr_init = STEP(l2mgr);
    s.trunkmgr_init = STEP(trunkmgr);
    s.web_init = STEP(web);
    s.port_pvid_init = STEP(port_pvid);
    s.snmp_init = STEP(snmp);
    s.rmon_init = STEP(rmon);
    s.timer_service_init = STEP(timer_service);
    s.telnetd_init = STEP(telnetd);
    s.default_port_vlans = STEP(default_vlans);
    s.storm_mode_init = STEP(storm);
    s.dos_init = STEP(dos);
    s.voip_init = STEP(voip);
    s.darp_init = STEP(darp);
    s.qos_init = STEP(qos);
    s.stp_forward_all = STEP(stp_forward);
    s.settings_stored_valid = [] {
        note("stored_valid?");
        return stored_valid ? 1 : 0;
    };
    s.factory_data_valid = [] {
        note("factory_valid?");
        return factory_valid ? 1 : 0;
    };
    s.factory_restore = [] {
        note("factory_restore");
        return 1;
    };
    s.settings_load_all = [] {
        note("load_all");
        return 1;
    };
    s.settings_save_all = [] {
        note("save_all");
        return 1;
    };
    s.print_interfaces = STEP(print_interfaces);
    s.log_system_init_done = STEP(system_init_done);
    s.console_loop = STEP(console_loop);
    return s;
}

// Runs "Main App" on its own thread with its console captured; true once it
// has called the reboot hook.
bool run_until_reboot(const main_app_steps &steps, Output &out) {
    static Output *console;
    console = &out;
    static const main_app_steps *current;
    current = &steps;
    sal_thread_create(
        "Main App test", 0, 0,
        [](void *) {
            sal_console_bind(&console->ops);
            main_app_run(current);
        },
        nullptr);
    for (int i = 0; i < 3000 && !rebooted.load(); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return rebooted.load();
}

class main_app_steps_run : public ::testing::Test {
  protected:
    Output out;
    main_app_steps steps = full_steps();
    sal_reboot_hook_t prev_hook = nullptr;

    void SetUp() override {
        {
            std::lock_guard<std::mutex> g(trace_lock);
            trace.clear();
        }
        rebooted = false;
        stored_valid = factory_valid = true;
        sal_reboot_delay_set(0);
        prev_hook = sal_reboot_hook_set([] { rebooted = true; });
    }
    void TearDown() override { sal_reboot_hook_set(prev_hook); }

    void run_main_app() { ASSERT_TRUE(run_until_reboot(steps, out)); }
};

TEST_F(main_app_steps_run, StepsRunInTheFixedOrderAndEndInAReboot) {
    run_main_app();
    std::vector<std::string> want = {"pci_init",
                                     "logger_init",
                                     "settings_init",
                                     "sdk_os_init",
                                     "sdk_platform_init",
                                     "factory_default",
                                     "net_util_locks",
                                     "unit_bringup",
                                     "board_probe",
                                     "loopback_up",
                                     "portmgr",
                                     "vlanmgr",
                                     "l2mgr",
                                     "trunkmgr",
                                     "web",
                                     "port_pvid",
                                     "snmp",
                                     "rmon",
                                     "timer_service",
                                     "telnetd",
                                     "default_vlans",
                                     "storm",
                                     "dos",
                                     "voip",
                                     "darp",
                                     "qos",
                                     "stp_forward",
                                     "factory_valid?",
                                     "stored_valid?",
                                     "load_all",
                                     "print_interfaces",
                                     "system_init_done",
                                     "console_loop"};
    EXPECT_EQ(steps_seen(), want);
    EXPECT_NE(out.get().find("Network interface status: \n"), std::string::npos);
    EXPECT_EQ(out.get().find("factory defaults"), std::string::npos);
    uint32_t now = sal_time();
    EXPECT_GE(now, MAIN_APP_START_TIME);
    EXPECT_LT(now, MAIN_APP_START_TIME + 60);
}

// The servers start before the stored settings are loaded: their gate is
// closed until then, and a waiter hears of the opening.
TEST_F(main_app_steps_run, ServersTakeChangesOnlyAfterTheStartUpLoad) {
    static std::atomic<int> at_web{-1}, at_load{-1}, at_done{-1};
    static std::atomic<int> waited{-1};
    steps.web_init = [] {
        at_web = settings_startup_done();
        // A server thread waiting for the gate, as the web server does.
        sal_thread_create(
            "gate waiter", 0, 0, [](void *) { waited = settings_startup_wait(3000000); }, nullptr);
    };
    steps.settings_load_all = [] {
        at_load = settings_startup_done();
        return 1;
    };
    steps.log_system_init_done = [] { at_done = settings_startup_done(); };
    run_main_app();
    EXPECT_EQ(at_web.load(), 0);
    EXPECT_EQ(at_load.load(), 0);
    EXPECT_EQ(at_done.load(), 1);
    for (int i = 0; i < 3000 && waited.load() < 0; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(waited.load(), 1);
}

TEST_F(main_app_steps_run, InvalidStoredSettingsFallBackToFactoryDefaultsAndSave) {
    stored_valid = false;
    run_main_app();
    auto seen = steps_seen();
    auto at = std::find(seen.begin(), seen.end(), "stored_valid?");
    ASSERT_NE(at, seen.end());
    EXPECT_EQ(std::vector<std::string>(at + 1, at + 4),
              (std::vector<std::string>{"factory_restore", "load_all", "save_all"}));
    EXPECT_NE(out.get().find("Some of current saved settings in NVRAM are invalid. Loading "
                             "factory defaults.....\n"),
              std::string::npos);
}

TEST_F(main_app_steps_run, InvalidFactoryDataIsReportedFirst) {
    stored_valid = false;
    factory_valid = false;
    run_main_app();
    std::string text = out.get();
    EXPECT_NE(text.find("*BUG* - Data for Factory Defaults are invalid!\n"), std::string::npos);
    auto seen = steps_seen();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "factory_restore"), 0);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "save_all"), 0);
}

TEST_F(main_app_steps_run, MissingStepsAreSkipped) {
    steps = main_app_steps{};
    steps.console_loop = STEP(console_loop);
    run_main_app();
    EXPECT_EQ(steps_seen(), (std::vector<std::string>{"console_loop"}));
}

// The settings step with the real settings manager over a flash file.
class startup_settings : public app_test::FlashFixture {
  protected:
    Output out;
    main_app_steps steps{};
    std::vector<uint8_t> factory_image = std::vector<uint8_t>(SETTINGS_IMAGE_MAX);
    sal_reboot_hook_t prev_hook = nullptr;

    void SetUp() override {
        FlashFixture::SetUp();
        fake_items::reset();
        ASSERT_EQ(settings_init(), 0);
        rebooted = false;
        sal_reboot_delay_set(0);
        prev_hook = sal_reboot_hook_set([] { rebooted = true; });
        steps.settings_stored_valid = settings_nvram_validate;
        steps.factory_data_valid = settings_factory_default_validate;
        steps.factory_restore = settings_factory_default;
        steps.settings_load_all = [] { return settings_load_group(SETTINGS_GROUP_ALL); };
        steps.settings_save_all = [] { return settings_save_group(SETTINGS_GROUP_ALL); };
        // The board's factory defaults.
        fake_items::state.vlan_word = 0x0F0F0F0F;
        fake_items::state.username = "admin";
        ASSERT_GT(settings_image_build(factory_image.data(), factory_image.size()), 0);
        settings_factory_image_set(factory_image.data());
    }
    void TearDown() override {
        settings_factory_image_set(nullptr);
        startup_command_set("");
        sal_reboot_hook_set(prev_hook);
        FlashFixture::TearDown();
    }
    // What the program holds when it starts again.
    void restart() {
        fake_items::reset();
        startup_command_set("");
        reopen_flash();
    }
};

TEST_F(startup_settings, OneInvalidItemTakesItsFactoryDefaultAndTheOthersAreKept) {
    fake_items::state.vlan_word = 0x11111111;
    fake_items::state.username = "operator";
    ASSERT_EQ(settings_save_group(SETTINGS_GROUP_ALL), 1);
    ASSERT_EQ(nvram_set("username_ver", "0x88740009"), 0);  // from another firmware
    ASSERT_EQ(nvram_commit(), 0);

    restart();
    ASSERT_TRUE(run_until_reboot(steps, out));
    EXPECT_NE(out.get().find("Loading factory defaults....."), std::string::npos);
    EXPECT_EQ(fake_items::state.vlan_word, 0x11111111u);  // stored and valid: kept
    EXPECT_EQ(fake_items::state.username, "admin");       // invalid: factory default
    EXPECT_EQ(settings_nvram_validate(), 1);
    EXPECT_STREQ(nvram_get("vlan"), "1111111100000000");
    EXPECT_STREQ(nvram_get("username"), "admin");
}

TEST_F(startup_settings, ResetButtonKeepsTheBootCommandLineAcrossTheNextStart) {
    ASSERT_EQ(startup_command_set("boot -z flash0"), 0);
    fake_items::state.vlan_word = 0x11111111;
    ASSERT_EQ(settings_save_group(SETTINGS_GROUP_ALL), 1);
    ASSERT_EQ(nvram_set("et0macaddr", "00-10-18-00-00-01"), 0);
    ASSERT_EQ(factory_default_erase_settings(), 0);
    EXPECT_EQ(nvram_get("vlan"), nullptr);
    EXPECT_STREQ(nvram_get("et0macaddr"), "00-10-18-00-00-01");

    restart();
    ASSERT_TRUE(run_until_reboot(steps, out));
    EXPECT_NE(out.get().find("Loading factory defaults....."), std::string::npos);
    EXPECT_EQ(fake_items::state.vlan_word, 0x0F0F0F0Fu);
    char command[BOOT_STARTUP_MAX];
    startup_command_get(command, sizeof command);
    EXPECT_STREQ(command, "boot -z flash0");
    EXPECT_STREQ(nvram_get("STARTUP"), "boot -z flash0");
    EXPECT_EQ(settings_nvram_validate(), 1);
}

}  // namespace

namespace {

// The web server starts before the settings load, so the stored "httpd" value
// must decide on its own.
TEST_F(startup_settings, StoredHttpdSettingDecidesBeforeTheSettingsLoad) {
    EXPECT_EQ(startup_httpd_enabled(), 1);  // nothing stored: the server runs
    ASSERT_EQ(nvram_set("httpd", "0"), 0);
    EXPECT_EQ(startup_httpd_enabled(), 0);
    ASSERT_EQ(nvram_set("httpd", "1"), 0);
    EXPECT_EQ(startup_httpd_enabled(), 1);
}

}  // namespace
