// The VLAN, trunk and QoS pages over the chip model: a 26-port board with its
// managers, the settings store, and the web server with the login hook, used
// through HTTP with the administrator's cookie.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>

#include "../../features/tests/feature_fixture.h"
#include "flash.h"
#include "l2mgr.h"
#include "logger.h"
#include "mirror_item.h"
#include "net_util.h"
#include "nvram.h"
#include "qosmgr.h"
#include "settings.h"
#include "soc_counter.h"
#include "storage_host.h"
#include "trunkmgr.h"
#include "vlanmgr.h"
#include "web_pages.h"
#include "web_ports.h"
#include "web_switch_pages.h"
#include "web_test_support.h"
#include "webauth.h"

namespace switch_pages_test {

// The settings store the handlers save to, once per test process.
inline void store_once() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (flash_host_path()[0] == '\0') {
            std::string pattern =
                (std::filesystem::temp_directory_path() / "switch_pages_XXXXXX").string();
            static std::string dir = ::mkdtemp(pattern.data());
            flash_host_open((dir + "/flash.bin").c_str(), 1);
            flashInit();
            nvram_init();
            std::atexit([] {
                std::error_code ec;
                std::filesystem::remove_all(dir, ec);
            });
        }
        settings_init();
        logger_init();
        net_util_init();
        settings_item_handler_set("vlan", vlanmgr_item);
        settings_item_handler_set("trunk", trunkmgr_item);
        settings_item_handler_set("qos", qosmgr_item);
        settings_item_handler_set("rate", rate_item);
        settings_item_handler_set("l2", l2mgr_item);
        settings_item_handler_set("aging", l2mgr_aging_item);
        settings_item_handler_set("mirror", mirror_item);
        settings_item_handler_set("portconf", port_settings_item);
    });
}

// A user port's logical port and its unit and chip port.
struct ChipPort {
    int lport = -1, unit = -1, port = -1;
};

inline ChipPort chip_port_of(int uport) {
    ChipPort c;
    EXPECT_EQ(ulpm_to_lport(uport, &c.lport), 0);
    EXPECT_EQ(dxpx_lport_to_unit_port(c.lport, &c.unit, &c.port), 0);
    return c;
}

class SwitchPages : public feature_test::BoardTest {
  protected:
    std::string cookie;

    void SetUp() override {
        BoardTest::SetUp();
        store_once();
        web_board_port_count_set(board_num_uports);
        ASSERT_EQ(qsw_vlanmgr_init(), 0);
        ASSERT_EQ(trunkmgr_init(), 0);
        qosmgr_init();  // no field processor on this chip: the port and IP rules fail
        for (int i = 0; i < BOARD_MAX_UPORTS; i++)
            setportcbk_PVID_set(i, 1);
        test_log_take();
        test_raw_content_set(nullptr);
        ASSERT_EQ(webauth_username_set("admin"), 1);
        ASSERT_EQ(webauth_password_set("qivor"), 1);
        test_hook_set(webauth_hook, WEBAUTH_HOOK_MASK);
        cookie = "WebManaged=" + std::string(webauth_cookie_get());
    }
    void TearDown() override {
        test_hook_set(nullptr, 0);
        // The counter thread reads the port records the base tear-down forgets.
        soc_tarn_counter_stop(0);
        BoardTest::TearDown();
    }

    test_response post(const std::string &path, const std::string &body) {
        return test_parse_response(test_exchange(
            "POST " + path + " HTTP/1.0\r\nCookie: " + cookie +
            "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body));
    }
    test_response get(const std::string &path) {
        return test_parse_response(
            test_exchange("GET " + path + " HTTP/1.0\r\nCookie: " + cookie + "\r\n\r\n"));
    }
    // The error page's message, "" when the answer is no error page.
    static std::string error_of(const test_response &r) { return test_error_message(r); }
    // True when the RAM log holds the line since its last clear; a refused
    // form's line may name the client after it.
    static bool logged(const std::string &line) {
        logger *ram = logger_ram_get();
        uint32_t seq = 0;
        int count = ram->ops->count(&seq, ram);
        for (int i = 0; i < count; i++) {
            logger_record rec{};
            rec.seq = seq + static_cast<uint32_t>(i);
            char text[256] = {};
            if (ram->ops->read(&rec, text, sizeof text, ram) == 1 &&
                (line == text || line + " (127.0.0.1)" == text))
                return true;
        }
        return false;
    }
    static void log_clear() {
        logger *ram = logger_ram_get();
        ram->ops->clear(ram);
    }
    static std::string saved(const char *item) {
        const char *value = nvram_get(item);
        return value != nullptr ? value : "";
    }
};

}  // namespace switch_pages_test
