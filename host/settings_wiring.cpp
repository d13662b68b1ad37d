// The settings items of this build and the subsystems that handle them. An
// item of a subsystem not built yet keeps no handler and is skipped.
#include "settings_wiring.h"

#include "boot_items.h"
#include "dosmgr.h"
#include "daimgr.h"
#include "l2mgr.h"
#include "logger.h"
#include "mirror_item.h"
#include "net_util.h"
#include "qosmgr.h"
#include "rmon.h"
#include "serialize.h"
#include "snmpcfg.h"
#include "trunkmgr.h"
#include "vlanmgr.h"
#include "voipmgr.h"
#include "web_ports.h"
#include "webauth.h"

int settings_wiring(void) {
    struct Wire {
        const char *name;
        settings_item_fn fn;
    };
    static constexpr Wire wires[] = {
        {.name = "vlan", .fn = vlanmgr_item},
        {.name = "trunk", .fn = trunkmgr_item},
        {.name = "l2", .fn = l2mgr_item},
        {.name = "aging", .fn = l2mgr_aging_item},
        {.name = "qos", .fn = qosmgr_item},
        {.name = "darp", .fn = darp_item},
        {.name = "rate", .fn = rate_item},
        {.name = "dos", .fn = dos_item},
        {.name = "voip", .fn = voip_item},
        {.name = "mirror", .fn = mirror_item},
        {.name = "portconf", .fn = port_settings_item},
        {.name = "snmp", .fn = snmpcfg_item},
        {.name = "rmon", .fn = rmon_settings_item},
        {.name = "et0config", .fn = settings_item_et0config},
        {.name = "et1config", .fn = settings_item_et1config},
        {.name = "STARTUP", .fn = settings_item_startup},
        {.name = "httpd", .fn = settings_item_httpd},
        {.name = "loggers", .fn = settings_item_loggers},
        {.name = "username", .fn = webauth_item_username},
        {.name = "password", .fn = webauth_item_password},
    };
    int rv = 0;
    for (const Wire &w : wires) {
        if (settings_item_handler_set(w.name, w.fn) != 0) rv = -1;
    }
    return rv;
}
