// The address table pages: the aging time, the static addresses with their
// add, delete and lookup forms, and the paged dump of the table's snapshot.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sal_lock.h"
#include "board.h"
#include "dxpx.h"
#include "l2mgr.h"
#include "logger.h"
#include "net_util.h"
#include "port_reserve.h"
#include "sal.h"
#include "settings.h"
#include "web_l2_rate_pages.h"
#include "web_pages.h"
#include "web_switch_pages.h"

namespace {

constexpr int kListEntries = 64;
constexpr uint32_t kCpuFlags = 0x4000;  // the CPU port's own addresses
constexpr int kCpuCos = 7;

enum Column : uint16_t {
    kColNumber = 0,
    kColMac = 1,
    kColVid = 2,
    kColPort = 3,
    kColType = 4,
};

const void *lookup_key() {
    return reinterpret_cast<const void *>(&ssploop_l2static_tag_index);
}

int dump_page(httpd_request *req) {
    const int *p = static_cast<const int *>(
        httpd_req_state_find(req, reinterpret_cast<const void *>(&pagel2dump_cgi)));
    return p != nullptr ? *p : 0;
}

int decimal(const char *text) {
    int v = 0;
    return web_form_int(text, 0, INT32_MAX, &v) ? v : 0;
}

// The VLAN id of a form; 0 (no VLAN) for anything but 1 to 4094, so that a
// number past 16 bits does not name another VLAN.
dxp_vlan_t vid_of(const char *text) {
    int v = 0;
    return static_cast<dxp_vlan_t>(web_form_int(text, 1, 4094, &v) ? v : 0);
}

bool port_is_host(const dxpx_l2_addr_t &a) {
    if (a.lport == DXPX_LPORT_CPU) return true;
    dxpx_lport_t e{};
    constexpr uint32_t host = DXPX_PORT_F_VALID | DXPX_PORT_F_CPU;
    return dxpx_lport_get(a.lport, &e) == 0 && (e.flags & host) == host;
}

void entry_print(const dxpx_l2_addr_t &a, int number, int column, bool dump, httpd_tag_out *out) {
    switch (column) {
        case kColNumber:
            web_tag_int(out, number);
            break;
        case kColMac:
            web_tag_text(out, web_tag_printf("%02X-%02X-%02X-%02X-%02X-%02X", a.mac[0], a.mac[1],
                                             a.mac[2], a.mac[3], a.mac[4], a.mac[5]));
            break;
        case kColVid:
            web_tag_int(out, a.vid);
            break;
        case kColPort: {
            if (port_is_host(a) || (dump && (a.flags & DXP_L2_COPY_TO_CPU) != 0)) {
                web_tag_text(out, "HOST");
                break;
            }
            int uport = 0;
            if (int rv = ulpm_to_uport(a.lport, &uport); rv != 0) {
                logger_printf(LOG_LEVEL_ERROR, LOG_MOD_L2,
                              "%s : ulpm_to_uport failed (lport=%d uport=%d rv=%d).",
                              dump ? "sspvar_arl_tag_dump" : "sspvar_arl_tag_address", a.lport,
                              uport, rv);
                break;
            }
            web_tag_int(out, uport);
            break;
        }
        case kColType:
            web_tag_text(out, (a.flags & DXP_L2_STATIC) != 0 ? "static" : "dynamic");
            break;
        default:
            break;
    }
}

int l2_error(httpd_event *ev, httpd_request *req, const char *title, const char *message, int level,
             const char *log_text) {
    // A warning is a refused request; an error, the switch's own failure.
    if (level == LOG_LEVEL_WARNING)
        web_refused_puts(req, LOG_MOD_L2, log_text);
    else
        logger_puts(level, LOG_MOD_L2, log_text);
    return web_error_page(ev, req, title, message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

// The two port lists l2add.cgi checks the VLAN with, freed however it ends.
struct VlanLists {
    dxpx_lplist_t tagged{}, untagged{};
    bool tagged_ok = false, untagged_ok = false;
    ~VlanLists() {
        if (tagged_ok) dxpx_lplist_free(&tagged);
        if (untagged_ok) dxpx_lplist_free(&untagged);
    }
    bool init() {
        tagged_ok = dxpx_lplist_init(&tagged, 0, kListEntries) == 0;
        if (!tagged_ok) {
            sal_printf("Could not init tagged port list\n");
            return false;
        }
        untagged_ok = dxpx_lplist_init(&untagged, 0, kListEntries) == 0;
        if (!untagged_ok) sal_printf("Could not init untagged port list\n");
        return untagged_ok;
    }
};

int add_error(httpd_event *ev, httpd_request *req, const char *message, const char *log_reason,
              int level = LOG_LEVEL_WARNING) {
    if (level == LOG_LEVEL_WARNING)  // a refused value, not the switch's failure
        web_refused_printf(req, LOG_MOD_L2, "ADD L2 Static Address : %s", log_reason);
    else
        logger_printf(level, LOG_MOD_L2, "ADD L2 Static Address : %s", log_reason);
    return web_error_page(ev, req, "ADD L2 Static Address", message, WEB_RETRY_LABEL,
                          WEB_RETRY_ACTION);
}

// Why the switch API's hold refused the last change, as ": " and a port
// under self-test with its test or a test's own address; "" for no refusal.
std::string refusal_reason() {
    if (const char *address = port_reserve_take_address_refusal())
        return std::string(": ") + address;
    int unit = 0, port = 0, uport = 0;
    if (!port_reserve_take_refusal(&unit, &port) ||
        ulpm_to_uport(dxpx_unit_port_to_lport(unit, port), &uport) != 0)
        return "";
    const char *held = web_port_held_text(uport);
    return held != nullptr ? std::string(": ") + held : "";
}

// Forgets a refusal an earlier request left unnamed.
void refusal_forget() {
    int unit = 0, port = 0;
    port_reserve_take_refusal(&unit, &port);
}

}  // namespace

int aging_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    int seconds = 0;
    if (ev->b.num != 0) {
        // The form sends the enable box and the time, or nothing when off.
        if (ev->b.num != 2 || !web_form_int(web_form_value(ev, 1), 0, INT32_MAX, &seconds)) {
            web_refused_puts(req, LOG_MOD_AGING, "Set L2 Table Aging failed : Invalid aging time");
            return web_error_page(ev, req, "AGING", "Invalid aging time", WEB_RETRY_LABEL,
                                  WEB_RETRY_ACTION);
        }
    }
    if (int rv = dxpx_l2_age_timer_set(seconds); rv != 0) {
        web_refused_printf(req, LOG_MOD_AGING, "Set L2 Table Aging failed : %s (%d seconds)",
                           dxp_errmsg(rv), seconds);
        return web_error_page(ev, req, "AGING", dxp_errmsg(rv), WEB_RETRY_LABEL, WEB_RETRY_ACTION);
    }
    settings_save_item("aging");
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_AGING, "Set L2 Table Aging : %d second(s)", seconds);
    return 0;
}

void sspvar_aging_tag_value(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    int seconds = 0;
    if (dxpx_l2_age_timer_get(&seconds) != 0) {
        logger_puts(LOG_LEVEL_WARNING, LOG_MOD_AGING, "Failed to get l2 age timer");
        return;
    }
    switch (args[0]) {
        case 0:
            web_tag_text(out, seconds != 0 ? "checked" : "");
            break;
        case 1:
            web_tag_int(out, seconds);
            break;
        case 2:
            web_tag_text(out, seconds != 0 ? web_tag_printf("%d second(s)", seconds) : "Disabled");
            break;
        default:
            break;
    }
}

int l2lookup_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    uint8_t mac[6] = {};
    const dxp_vlan_t vid = vid_of(web_form_value(ev, 1));
    if (ev->b.num != 2 || vid == 0 || net_util_mac_parse(web_form_value(ev, 0), mac) != 0) {
        return l2_error(ev, req, "L2 Address Lookup", "Invalid MAC address or VLAN ID!",
                        LOG_LEVEL_WARNING, "L2 Address Lookup Invalid MAC address or VLAN ID!");
    }
    auto *found = static_cast<dxpx_l2_addr_t *>(
        httpd_req_state_get(req, lookup_key(), sizeof(dxpx_l2_addr_t)));
    if (found == nullptr || dxpx_l2_addr_get(mac, vid, found, 0) != 0) {
        httpd_req_state_free(req, lookup_key());
        return l2_error(ev, req, "L2 Address Lookup", "MAC address can't found!", LOG_LEVEL_WARNING,
                        "L2 Address Lookup MAC address can't found!");
    }
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_L2,
                  "L2 Address Lookup : MAC = %02x-%02x-%02x-%02x-%02x-%02x, vid = %d", mac[0],
                  mac[1], mac[2], mac[3], mac[4], mac[5], vid);
    return 0;
}

int ssploop_l2static_tag_index(const uint16_t args[3], int index, httpd_request *req) {
    if (args[0] == WEB_L2_LOOKUP_INDEX)
        return index == 0 && httpd_req_state_find(req, lookup_key()) != nullptr ? 1 : 0;
    return index < l2mgr_static_count_get() ? 1 : 0;
}

void sspvar_arl_tag_address(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    dxpx_l2_addr_t a{};
    int number = args[1] + 1;
    if (args[1] == WEB_L2_LOOKUP_INDEX) {
        const auto *found =
            static_cast<const dxpx_l2_addr_t *>(httpd_req_state_find(req, lookup_key()));
        if (found == nullptr) return;
        a = *found;
        number = 1;
    } else if (l2mgr_static_get_by_index(args[1], &a) != 1) {
        return;
    }
    entry_print(a, number, args[0], false, out);
}

int l2dump_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    if (l2mgr_snapshot_refresh() != 0) {
        return l2_error(ev, req, "L2 Address Dump", "ARL table can't access!", LOG_LEVEL_WARNING,
                        "L2 Address ARL table can't access!");
    }
    return 0;
}

int pagel2dump_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    int page = decimal(web_form_value(ev, 0));
    page = decimal(web_form_value(ev, 1)) == 1 ? page + 1 : page - 1;
    // Stay within the pages the snapshot fills.
    const int total = l2mgr_snapshot_count_get(0);
    const int last = total > 0 ? (total - 1) / WEB_L2_DUMP_PER_PAGE : 0;
    if (page > last) page = last;
    if (page < 0) page = 0;
    auto *p = static_cast<int *>(
        httpd_req_state_get(req, reinterpret_cast<const void *>(&pagel2dump_cgi), sizeof(int)));
    if (p != nullptr) *p = page;
    return 0;
}

int ssploop_l2dump_tag_index(const uint16_t *, int index, httpd_request *req) {
    return index < WEB_L2_DUMP_PER_PAGE &&
                   dump_page(req) * WEB_L2_DUMP_PER_PAGE + index < l2mgr_snapshot_count_get(0)
               ? 1
               : 0;
}

void sspvar_arl_tag_dump(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    const int index = dump_page(req) * WEB_L2_DUMP_PER_PAGE + args[1];
    dxpx_l2_addr_t a{};
    if (l2mgr_snapshot_get_by_index(index, &a) != 1) return;
    entry_print(a, index + 1, args[0], true, out);
}

void sspvar_l2dump_tag_page(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    const int page = dump_page(req);
    switch (args[0]) {
        case 0:
            web_tag_int(out, page);
            break;
        case 1:
            web_tag_text(out, page == 0 ? "Disabled" : "");
            break;
        case 2:
            web_tag_text(out, (page + 1) * WEB_L2_DUMP_PER_PAGE >= l2mgr_snapshot_count_get(0)
                                  ? "Disabled"
                                  : "");
            break;
        default:
            break;
    }
}

void sspvar_l2dump_tag_total(const uint16_t *, httpd_tag_out *out, httpd_request *) {
    web_tag_int(out, l2mgr_snapshot_count_get(0));
}

void sspvar_l2dump_tag_static(const uint16_t *, httpd_tag_out *out, httpd_request *) {
    web_tag_int(out, l2mgr_snapshot_count_get(1));
}

void sspvar_l2dump_tag_dynamic(const uint16_t *, httpd_tag_out *out, httpd_request *) {
    web_tag_int(out, l2mgr_snapshot_count_get(2));
}

int l2add_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    SalLock hold(l2mgr_lock());  // the change and its save are one step
    if (l2mgr_static_count_get() >= L2MGR_STATIC_MAX)
        return add_error(ev, req, "L2 static MAC address full!", "L2 static MAC address full!");
    VlanLists lists;
    if (!lists.init())
        return add_error(ev, req, "dxpx_lplist_init failed!", "dxpx_lplist_init failed!");
    const dxp_vlan_t vid = vid_of(web_form_value(ev, 1));
    if (dxpx_vlan_port_get(vid, &lists.tagged, &lists.untagged) != 0)
        return add_error(ev, req, "VLAN ID is not existent!", "VLAN ID is not existent!");
    uint8_t mac[6] = {};
    if (ev->b.num != 3 || vid == 0 || net_util_mac_parse(web_form_value(ev, 0), mac) != 0) {
        return add_error(ev, req, "Invalid MAC address or VLAN ID!",
                         "Invalid MAC address or VLAN ID!");
    }
    if ((mac[0] & 1) != 0) {
        return add_error(ev, req, "Multicast MAC address can't be added!",
                         "Multicast MAC address!");
    }
    if (l2mgr_own_mac(mac)) {
        // Frames to the switch would follow it to the port: management cut.
        char text[80];
        std::snprintf(text, sizeof text,
                      "%02X-%02X-%02X-%02X-%02X-%02X is the switch's own MAC address", mac[0],
                      mac[1], mac[2], mac[3], mac[4], mac[5]);
        const std::string message = std::string(text) + " and can't be added!";
        return add_error(ev, req, message.c_str(), (std::string(text) + "!").c_str());
    }
    dxpx_l2_addr_t a;
    std::memset(&a, 0, sizeof a);
    std::memcpy(a.mac, mac, sizeof mac);
    a.vid = vid;
    int uport = -1;
    if (!web_form_int(web_form_value(ev, 2), 0, board_num_uports, &uport) ||
        (uport != 0 && ulpm_to_lport(uport, &a.lport) != 0)) {
        return add_error(ev, req, "Transfer user port number to logical port number failed",
                         "Transfer user port number to logical port number failed!");
    }
    if (uport == 0) {
        a.lport = DXPX_LPORT_CPU;
        a.flags = kCpuFlags;
        a.cos_dst = kCpuCos;
    }
    a.flags |= DXP_L2_STATIC;
    // An address on a port under self-test would take frames into its test.
    if (const char *held = uport != 0 ? web_port_held_text(uport) : nullptr)
        return add_error(ev, req, held, held);
    if (l2mgr_static_exist(&a)) {
        return add_error(ev, req, "L2 static MAC address already existed",
                         "L2 static MAC address already existed!");
    }
    refusal_forget();
    if (l2mgr_static_add(&a) != 1) {
        const std::string reason = refusal_reason();
        return add_error(ev, req, ("Add L2 static MAC address failed" + reason).c_str(),
                         ("Add L2 static MAC address failed" + reason + "!").c_str());
    }
    if (settings_save_item("l2") != 1)
        return add_error(ev, req, "Can't save to nvram!", "Can't save to nvram!", LOG_LEVEL_ERROR);
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_L2,
                  "ADD L2 Static Address : MAC = %02x-%02x-%02x-%02x-%02x-%02x, vid = %d", mac[0],
                  mac[1], mac[2], mac[3], mac[4], mac[5], vid);
    return 0;
}

int l2del_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    SalLock hold(l2mgr_lock());  // the change and its save are one step
    uint8_t mac[6] = {};
    const dxp_vlan_t vid = vid_of(web_form_value(ev, 1));
    if (ev->b.num != 2 || vid == 0 || net_util_mac_parse(web_form_value(ev, 0), mac) != 0) {
        return l2_error(ev, req, "Delete L2 Static Address", "Invalid MAC address or VLAN ID!",
                        LOG_LEVEL_WARNING,
                        "Delete L2 Static Address failed: invalid MAC address or VLAN ID");
    }
    dxpx_l2_addr_t a{};
    std::memcpy(a.mac, mac, sizeof mac);
    a.vid = vid;
    // Nothing to remove is a refusal, not a removal the log would report.
    if (!l2mgr_static_exist(&a)) {
        const char *message =
            web_tag_printf("No static address %02x-%02x-%02x-%02x-%02x-%02x on VLAN %d", mac[0],
                           mac[1], mac[2], mac[3], mac[4], mac[5], vid);
        return l2_error(ev, req, "Delete L2 Static Address", message, LOG_LEVEL_WARNING,
                        (std::string("Delete L2 Static Address failed: ") + message).c_str());
    }
    refusal_forget();
    if (l2mgr_static_delete(&a) != 1) {
        const std::string reason = refusal_reason();
        return l2_error(ev, req, "Delete L2 Static Address",
                        ("Delete L2 static MAC address failed" + reason).c_str(), LOG_LEVEL_WARNING,
                        ("Delete L2 Static Address failed" + reason).c_str());
    }
    if (settings_save_item("l2") != 1) {
        return l2_error(ev, req, "Delete L2 Static Address", "Save to nvram failed",
                        LOG_LEVEL_ERROR, "Delete L2 Static Address : Save to nvram failed");
    }
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_L2,
                  "Delete L2 Static Address : MAC = %02x-%02x-%02x-%02x-%02x-%02x, vid = %d",
                  mac[0], mac[1], mac[2], mac[3], mac[4], mac[5], vid);
    return 0;
}

int ssploop_port_tag_all(const uint16_t *, int index, httpd_request *) {
    return index < board_num_uports ? 1 : 0;
}

void sspvar_l2add_tag_port(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    if (args[0] == 3) web_tag_int(out, args[1] + 1);
}
