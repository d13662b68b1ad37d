// Handlers of the "httpd" and "STARTUP" settings items.
#include "boot_items.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "nvram.h"
#include "sal_lock.h"
#include "serialize.h"

namespace {

std::atomic<bool> httpd_enabled{true};
std::atomic<bool> httpd_loaded{false};
std::string startup_command;

sal_mutex_t startup_lock() {
    static sal_mutex_t m = sal_mutex_create("boot items");
    return m;
}

bool printable(const char *text) {
    for (const char *p = text; *p; p++) {
        if (static_cast<unsigned char>(*p) < 0x20) return false;
    }
    return true;
}

}  // namespace

int settings_item_httpd(int op, settings_medium *m) {
    switch (op) {
        case SETTINGS_OP_LOAD: {
            const char *text = m->ops->read_text(m);
            if (text == nullptr || (std::strcmp(text, "0") != 0 && std::strcmp(text, "1") != 0)) {
                return -1;
            }
            httpd_enabled.store(text[0] == '1');
            httpd_loaded.store(true);
            return 1;
        }
        case SETTINGS_OP_SAVE:
            return m->ops->write_text(m, httpd_enabled.load() ? "1" : "0") == 0 ? 1 : -1;
        case SETTINGS_OP_VERSION:
            return static_cast<int>(BOOT_ITEMS_VERSION);
        default:
            return -1;
    }
}

int settings_item_startup(int op, settings_medium *m) {
    switch (op) {
        case SETTINGS_OP_LOAD: {
            const char *text = m->ops->read_text(m);
            if (text == nullptr || std::strlen(text) >= BOOT_STARTUP_MAX || !printable(text)) {
                return -1;
            }
            SalLock g(startup_lock());
            startup_command = text;
            return static_cast<int>(startup_command.size());
        }
        case SETTINGS_OP_SAVE: {
            SalLock g(startup_lock());
            return m->ops->write_text(m, startup_command.c_str()) == 0
                       ? static_cast<int>(startup_command.size())
                       : -1;
        }
        case SETTINGS_OP_VERSION:
            return static_cast<int>(BOOT_ITEMS_VERSION);
        default:
            return -1;
    }
}

int startup_httpd_enabled(void) {
    // The web server starts before the settings are loaded, so until then the
    // stored value decides.
    if (!httpd_loaded.load()) {
        const char *stored = nvram_get("httpd");
        return stored != nullptr && std::strcmp(stored, "0") == 0 ? 0 : 1;
    }
    return httpd_enabled.load() ? 1 : 0;
}

void startup_command_get(char *buf, int size) {
    if (buf == nullptr || size <= 0) return;
    SalLock g(startup_lock());
    std::snprintf(buf, static_cast<size_t>(size), "%s", startup_command.c_str());
}

int startup_command_set(const char *text) {
    if (text == nullptr || std::strlen(text) >= BOOT_STARTUP_MAX || !printable(text)) return -1;
    SalLock g(startup_lock());
    startup_command = text;
    return 0;
}
