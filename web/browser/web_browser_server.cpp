// Test server for the browser test: the web server with the login hook on
// 127.0.0.1:PORT, its settings in a flash file of its own. It prints one
// "ready" line with the loggers that exist and runs until its standard
// input ends.
//
//   web_browser_server PORT FLASH_FILE
#include <cstdio>
#include <cstdlib>
#include <string>

#include "flash.h"
#include "logger.h"
#include "net_util.h"
#include "nvram.h"
#include "sal.h"
#include "sal_host.h"
#include "settings.h"
#include "storage_host.h"
#include "web_start.h"
#include "webauth.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: web_browser_server PORT FLASH_FILE\n");
        return 2;
    }
    int port = std::atoi(argv[1]);
    if (port <= 80 || port > 65535) {
        std::fprintf(stderr, "web_browser_server: bad port %s\n", argv[1]);
        return 2;
    }
    if (flash_host_open(argv[2], 1) != 0 || flashInit() != 0 || nvram_init() != 0) {
        std::fprintf(stderr, "web_browser_server: flash %s: %s\n", argv[2],
                     flash_host_last_error());
        return 1;
    }
    sal_core_init();
    logger_init();
    settings_init();
    // The account and logger items are the only ones this server's pages save.
    settings_item_handler_set("username", webauth_item_username);
    settings_item_handler_set("password", webauth_item_password);
    settings_item_handler_set("loggers", settings_item_loggers);
    net_util_init();
    net_util_if_start("eth0", NET_IF_MODE_STATIC, "127.0.0.1", "255.0.0.0", "");
    sal_host_listen_address_set("127.0.0.1");
    sal_host_port_offset_set(port - 80);
    if (web_start() != 0) {
        std::fprintf(stderr, "web_browser_server: the web server did not start\n");
        return 1;
    }
    std::printf("ready ram_logs=%d flash_logs=%d\n", logger_ram_get() != nullptr ? 1 : 0,
                logger_flash_get() != nullptr ? 1 : 0);
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
    }
    std::fflush(nullptr);
    std::_Exit(0);
}
