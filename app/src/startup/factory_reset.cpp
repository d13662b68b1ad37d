// "FactoryDefault": waits for the reset button, then erases the saved
// settings and reboots, so that the next start loads the factory defaults.
#include "factory_reset.h"

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "flash_layout.h"
#include "nvram.h"
#include "sal.h"
#include "settings.h"

namespace {

// Made by the start-up thread, given from the main thread on a signal.
std::atomic<sal_sem_t> button{nullptr};

bool matches(const char *name, const char *prefix, const char *suffix) {
    size_t n = std::strlen(name), p = std::strlen(prefix), s = std::strlen(suffix);
    return n >= p + s && std::strncmp(name, prefix, p) == 0 &&
           std::strcmp(name + n - s, suffix) == 0;
}

void factory_default_thread(void *) {
    for (;;) {
        sal_sem_take(button.load(), sal_sem_FOREVER);
        sal_printf("Reset button pressed: restoring factory defaults\n");
        // No restore or reset is accepted from the press on: the restart
        // would drop it.
        sal_restart_announce();
        // Held until the restart: a restore or reset the web accepted before
        // the press, applied and stored after the erase, would stand in its
        // place.
        SettingsLock settings;
        if (factory_default_erase_settings() != 0) {
            sal_printf("Factory reset: the settings could not be erased\n");
            sal_restart_withdraw();
            continue;
        }
        sal_reboot();
    }
}

}  // namespace

bool factory_default_keeps_key(const char *name) {
    if (name == nullptr) return false;
    // The board's identity and the boot loader's command line outlive a reset;
    // the command line keeps its version key, or the next start refuses it.
    return matches(name, "et", "macaddr") || matches(name, "et", "phyaddr") ||
           matches(name, "et", "mdcport") || std::strcmp(name, "boardflags") == 0 ||
           matches(name, "gpio", "") || std::strcmp(name, "STARTUP") == 0 ||
           std::strcmp(name, "STARTUP_ver") == 0;
}

int factory_default_erase_settings(void) {
    std::vector<char> all(FLASH_NVRAM_COPY_SIZE + 2);
    if (nvram_getall(all.data(), all.size()) != 0) return -1;
    std::vector<std::string> doomed;
    for (const char *p = all.data(); *p != '\0'; p += std::strlen(p) + 1) {
        const char *eq = std::strchr(p, '=');
        std::string name = eq ? std::string(p, static_cast<size_t>(eq - p)) : std::string(p);
        if (!factory_default_keeps_key(name.c_str())) doomed.push_back(name);
    }
    for (const std::string &name : doomed)
        nvram_unset(name.c_str());
    return nvram_commit() == 0 ? 0 : -1;
}

int factory_default_thread_start(void) {
    if (button.load() == nullptr)
        button.store(sal_sem_create("factory default", sal_sem_BINARY, 0));
    if (button.load() == nullptr) return -1;
    return sal_thread_create("FactoryDefault", 16384, 5, factory_default_thread, nullptr) ==
                   SAL_THREAD_ERROR
               ? -1
               : 0;
}

void factory_default_button_press(void) {
    if (sal_sem_t b = button.load()) sal_sem_give(b);
}
