// Settings items of the start-up: "httpd" (the web server is started when it
// is "1") and "STARTUP" (the boot loader's command line, read by the loader
// from NVRAM).
#pragma once

constexpr unsigned BOOT_ITEMS_VERSION = 0x88740001u;
constexpr int BOOT_STARTUP_MAX = 256;

// Non-zero when the loaded "httpd" item enables the web server (the default).
int startup_httpd_enabled(void);
// The boot command line last loaded or set ("" when none).
void startup_command_get(char *buf, int size);
// 0, or -1 when the text is too long or holds control characters.
int startup_command_set(const char *text);

// Handlers of the settings items "httpd" and "STARTUP" (registered at start-up).
struct settings_medium;
int settings_item_httpd(int op, settings_medium *m);
int settings_item_startup(int op, settings_medium *m);
