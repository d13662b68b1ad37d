// The dynamic ARP inspection pages: the settings form (enable, trusted
// ports, inspected VLANs, aging) and the list of bindings with add and
// delete.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board.h"
#include "daimgr.h"
#include "dxp.h"
#include "logger.h"
#include "net_util.h"
#include "port_reserve.h"
#include "sal_lock.h"
#include "settings.h"
#include "vlanmgr.h"
#include "web_pages.h"
#include "web_switch_pages.h"

int darpvlan_cgi(httpd_event *ev, httpd_request *req);

namespace {

constexpr const char *kTitle = "Dynamic ARP";
constexpr int kVidMax = 4094;

// What darpvlan.cgi posted, shown again by the form instead of the settings.
struct FormState {
    uint8_t trusted[128];  // one flag byte per port
    int32_t from;
    int32_t to;
    uint16_t aging;
};
static_assert(sizeof(FormState) == 140);

const void *state_key() {
    return reinterpret_cast<const void *>(&darpvlan_cgi);
}

bool number(const char *text, long lo, long hi, long *out) {
    long long v = 0;
    if (!web_form_number(text, lo, hi, &v)) return false;
    *out = static_cast<long>(v);
    return true;
}

// A VLAN range of ids up to 4094: 0 as "from" means none, and a range whose
// end is below its start ("5 to --") is empty.
bool range(const char *from_text, const char *to_text, long *from, long *to) {
    if (!number(from_text, 0, kVidMax, from) || !number(to_text, 0, kVidMax, to)) return false;
    if (*to < *from) *from = *to = 0;
    return true;
}

int fail(httpd_event *ev, httpd_request *req, const char *message) {
    web_refused_printf(req, LOG_MOD_DYNAMICARP, "Dynamic ARP setting failed : %s", message);
    return web_error_page(ev, req, kTitle, message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

// A chip that cannot inspect is named, not a bare "Feature unavailable".
const char *refusal_text(int rv) {
    const char *missing = web_feature_missing(WEB_FEATURE_DYNAMIC_ARP);
    return rv == DXP_E_UNAVAIL && missing != nullptr ? missing : dxp_errmsg(rv);
}

int save() {
    return settings_save_item("darp") == 1 ? 0 : -1;
}

// Bound MAC, IP and VLAN of a form: the message naming the first malformed
// field, or nullptr when all parse.
const char *binding_of(httpd_event *ev, int vid_at, uint8_t mac[6], uint8_t ip[4], uint16_t *vid) {
    long v = 0;
    if (net_util_mac_parse(web_form_value(ev, 0), mac) != 0) return "Invalid MAC address";
    if (ip != nullptr && net_util_ip_parse(web_form_value(ev, 1), ip) != 0)
        return "Invalid IP address";
    if (!number(web_form_value(ev, vid_at), 1, kVidMax, &v)) return "Invalid VLAN ID";
    *vid = static_cast<uint16_t>(v);
    return nullptr;
}

void vlan_options(httpd_tag_out *out, int chosen) {
    char text[WEB_TAG_TEXT_SIZE] = "";
    size_t used = 0;
    const int count = qsw_vlanmgr_count_get();
    for (int i = 0; i < VLANMGR_MAX && count > 0; i++) {
        const uint16_t vid = qsw_vlanmgr_vid_get(i);
        if (vid == VLANMGR_VID_NONE) continue;
        int n = std::snprintf(text + used, WEB_TAG_TEXT_SIZE - used,
                              vid == chosen ? "<OPTION value=%d selected>%d</OPTION>"
                                            : "<OPTION value=%d>%d</OPTION>",
                              vid, vid);
        if (n < 0 || used + static_cast<size_t>(n) >= WEB_TAG_TEXT_SIZE) break;
        used += static_cast<size_t>(n);
    }
    web_tag_text(out, text);
}

// The inspected VLANs as ranges: "1-3, 7, 9-10".
void vlan_ranges(httpd_tag_out *out) {
    char text[WEB_TAG_TEXT_SIZE] = "";
    size_t used = 0;
    int i = 0;
    uint16_t first = 0;
    while (darp_vlan_get_by_index(i, &first) == 0) {
        uint16_t last = first, next = 0;
        while (darp_vlan_get_by_index(i + 1, &next) == 0 && next == last + 1) {
            last = next;
            i++;
        }
        i++;
        const bool more = darp_vlan_get_by_index(i, &next) == 0;
        int n = last != first ? std::snprintf(text + used, WEB_TAG_TEXT_SIZE - used,
                                              more ? "%d-%d, " : "%d-%d", first, last)
                              : std::snprintf(text + used, WEB_TAG_TEXT_SIZE - used,
                                              more ? "%d, " : "%d", first);
        if (n < 0 || used + static_cast<size_t>(n) >= WEB_TAG_TEXT_SIZE) break;
        used += static_cast<size_t>(n);
    }
    web_tag_text(out, text);
}

}  // namespace

// Pairs: enable, per-port text, remove from/to, add from/to, aging.
int darp_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    long enable = 0;
    if (ev->b.num < 1 || !number(web_form_value(ev, 0), 0, 1, &enable))
        return fail(ev, req, "Invalid setting");
    // No self-test takes or gives back a port between the check below and
    // the change; the reservation goes before the manager's lock, as in the
    // settings load.
    PortReserveFreeze tests;
    // The ports, VLANs and rules of one post are one change (the save below
    // takes the settings lock, which the server already holds).
    SalLock hold(darp_config_lock());
    // Switching inspection on or off sets every port's learning, which a
    // self-test holds on its ports: refused whole until the test has ended.
    int running = 0;
    darp_enable_get(&running);
    if (running != enable) {
        if (const char *held = web_any_port_held_text()) return fail(ev, req, held);
    }
    if (enable == 0) {
        if (int rv = darp_enable_set(0); rv != 0) return fail(ev, req, dxp_errmsg(rv));
        save();
        logger_puts(LOG_LEVEL_INFO, LOG_MOD_DYNAMICARP, "Dynamic ARP : disabled");
        return 0;
    }
    long rm_from = 0, rm_to = 0, add_from = 0, add_to = 0, aging = 0;
    const char *ports = web_form_value(ev, 1);
    if (ev->b.num != 7 || ports == nullptr) return fail(ev, req, "Invalid setting");
    if (!range(web_form_value(ev, 2), web_form_value(ev, 3), &rm_from, &rm_to) ||
        !range(web_form_value(ev, 4), web_form_value(ev, 5), &add_from, &add_to))
        return fail(ev, req, "Invalid VLAN range");
    if (!number(web_form_value(ev, 6), 0, 0xFFFF, &aging))
        return fail(ev, req, "Invalid aging time");

    if (!web_form_ports(ports, "01")) return fail(ev, req, "Invalid port list");
    upbmp_t trusted{};
    if (upbmp_alloc(&trusted, board_num_uports) != 0)
        return fail(ev, req, dxp_errmsg(SOC_E_MEMORY));
    for (int i = 1; i <= board_num_uports; i++)
        if (ports[i - 1] == '1') upbmp_add(&trusted, i);
    // The trusted ports decide the rules: a change the switch refuses leaves
    // them, the VLANs and the aging time as they were, and stores nothing.
    const int rv = darp_enable_trusted(&trusted);
    upbmp_free(&trusted);
    if (rv != 0) return fail(ev, req, refusal_text(rv));
    for (long vid = rm_from; rm_from > 0 && vid <= rm_to; vid++) {
        if (qsw_vlanmgr_vid_exist(static_cast<uint16_t>(vid)))
            darp_vlan_set(static_cast<uint16_t>(vid), 0);
    }
    for (long vid = add_from; add_from > 0 && vid <= add_to; vid++)
        darp_vlan_set(static_cast<uint16_t>(vid), 1);
    darp_aging_set(static_cast<uint16_t>(aging));
    save();
    logger_puts(LOG_LEVEL_INFO, LOG_MOD_DYNAMICARP, "Dynamic ARP : enabled");
    return 0;
}

// Pairs: per-port text, the VLAN range (from, to), the aging time.
int darpvlan_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    auto *s = static_cast<FormState *>(httpd_req_state_get(req, state_key(), sizeof(FormState)));
    if (s == nullptr) return 0;
    std::memset(s, 0, sizeof *s);
    const char *ports = web_form_value(ev, 0);
    for (size_t i = 0; ports != nullptr && ports[i] != '\0' && i < sizeof s->trusted; i++)
        s->trusted[i] = ports[i] == '1';
    long v = 0;
    if (number(web_form_value(ev, 1), 0, kVidMax, &v)) s->from = static_cast<int32_t>(v);
    if (number(web_form_value(ev, 2), 0, kVidMax, &v)) s->to = static_cast<int32_t>(v);
    if (number(web_form_value(ev, 3), 0, 0xFFFF, &v)) s->aging = static_cast<uint16_t>(v);
    return 0;
}

// Pairs: MAC, IP address, VLAN id.
int darpadd_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    uint8_t mac[6], ip[4];
    uint16_t vid = 0;
    // A binding that was asked for and not added must not look added.
    if (const char *bad = binding_of(ev, 2, mac, ip, &vid)) return fail(ev, req, bad);
    static const uint8_t none[6] = {};
    if (std::memcmp(mac, none, 6) == 0 || (mac[0] & 1) != 0)
        return fail(ev, req, "Invalid MAC address: a unicast host address is needed");
    if (std::memcmp(ip, none, 4) == 0) return fail(ev, req, "Invalid IP address");
    // The settings item keeps bindings only while the inspection is on.
    int on = 0;
    darp_enable_get(&on);
    if (!on) {
        const char *missing = web_feature_missing(WEB_FEATURE_DYNAMIC_ARP);
        return fail(ev, req,
                    missing != nullptr ? missing : "Enable Dynamic ARP before adding bindings");
    }
    int rv = darp_trusted_db_add(mac, ip, vid, 0);
    static_assert(DARP_STATIC_MAX == 16, "the message names the limit");
    if (rv == -6) return fail(ev, req, "Static binding table full (16 bindings)");
    if (rv != 0) return fail(ev, req, dxp_errmsg(rv));
    save();
    return 0;
}

// Pairs: MAC, VLAN id.
int darpdel_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    uint8_t mac[6];
    uint16_t vid = 0;
    if (ev->b.num != 2 || binding_of(ev, 1, mac, nullptr, &vid) != nullptr) return 0;
    int rv = darp_trusted_db_delete(mac, vid);
    save();
    if (rv != 0)
        return web_error_page(ev, req, kTitle, dxp_errmsg(rv), WEB_RETRY_LABEL, WEB_RETRY_ACTION);
    return 0;
}

int ssploop_darp_tag_enabled(const uint16_t *, int index, httpd_request *) {
    int on = 0;
    darp_enable_get(&on);
    return index == 0 && on ? 1 : 0;
}

// One row per binding, and one for "none" while there is none.
int ssploop_darp_tag_entries(const uint16_t *, int index, httpd_request *) {
    const int count = darp_trusted_db_count_get();
    return index < (count > 0 ? count : 1) ? 1 : 0;
}

int ssploop_darp_tag_vlans(const uint16_t *, int index, httpd_request *) {
    return index < darp_vlan_count_get() ? 1 : 0;
}

// Argument 0: the binding index; argument 1: 0 the row's cells, 1 the query
// of its delete link.
void sspvar_darp_tag_entry(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    uint8_t mac[6], ip[4];
    uint16_t vid = 0;
    int learned = 0;
    const bool found = darp_trusted_db_get_by_index(args[0], mac, ip, &vid, &learned) == 0;
    if (args[1] == 1) {
        if (found)
            web_tag_text(out, web_tag_printf("mac=%02X-%02X-%02X-%02X-%02X-%02X&vid=%d", mac[0],
                                             mac[1], mac[2], mac[3], mac[4], mac[5], vid));
        return;
    }
    if (!found) {
        web_tag_text(out, "<TD>--</TD><TD>--</TD><TD>--</TD><TD>--</TD>");
        return;
    }
    web_tag_text(out, web_tag_printf("<TD>%02X-%02X-%02X-%02X-%02X-%02X</TD><TD>%d.%d.%d.%d</TD>"
                                     "<TD>%d</TD><TD>%s</TD>",
                                     mac[0], mac[1], mac[2], mac[3], mac[4], mac[5], ip[0], ip[1],
                                     ip[2], ip[3], vid, learned ? "dynamic" : "static"));
}

// Argument 0 selects: 0 "checked" when enabled; 1 "checked" for trusted
// port argument 1 + 1; 2 and 3 the VLAN choices of a range's from and to,
// preset from darpvlan.cgi's range when argument 1 is 1 (the add range);
// 4 the inspected VLANs; 5 the aging time; 6 the inspected VLAN of row
// argument 1.
void sspvar_darp_tag_config(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    const auto *s = static_cast<const FormState *>(httpd_req_state_find(req, state_key()));
    int on = 0;
    darp_enable_get(&on);
    switch (args[0]) {
        case 0:
            web_tag_text(out, on ? "checked" : "");
            break;
        case 1: {
            bool trusted = s != nullptr ? args[1] < sizeof s->trusted && s->trusted[args[1]]
                                        : darp_port_trust_get(args[1] + 1) == 1;
            web_tag_text(out, trusted ? "checked" : "");
            break;
        }
        case 2:
            vlan_options(out, s != nullptr && args[1] == 1 ? s->from : 0);
            break;
        case 3:
            vlan_options(out, s != nullptr && args[1] == 1 ? s->to : 0);
            break;
        case 4:
            vlan_ranges(out);
            break;
        case 5:
            web_tag_int(out, s != nullptr ? s->aging : darp_aging_get());
            break;
        case 6: {
            uint16_t vid = 0;
            if (darp_vlan_get_by_index(args[1], &vid) == 0) web_tag_int(out, vid);
            break;
        }
        default:
            break;
    }
}
