// The web part of the application start-up.
#include "web_start.h"

#include "boot_items.h"
#include "httpd.h"
#include "webauth.h"

int web_start(void) {
    httpd_set_hook(webauth_hook, WEBAUTH_HOOK_MASK);
    httpd_set_server_name("WebManaged");
    if (startup_httpd_enabled() == 0) return 0;
    return httpd_init();
}
