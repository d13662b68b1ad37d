// The 802.1Q VLAN pages: the list of VLANs, one VLAN's members, creation and
// removal. The switch is changed first; the VLAN manager records the result.
#include <cstdlib>
#include <cstring>
#include <string>

#include "sal_lock.h"
#include "dxp_error.h"
#include "dxpx.h"
#include "log_gate.h"
#include "logger.h"
#include "port_reserve.h"
#include "settings.h"
#include "trunkmgr.h"
#include "vlanmgr.h"
#include "web_pages.h"
#include "web_switch_pages.h"

namespace {

constexpr int kMaxBitPorts = 64;
constexpr int kListMax = 64;
constexpr int kRowBreakCells = 26;

enum VlanSelector : uint16_t {
    kSelVidValue = 0,
    kSelVidText = 1,
    kSelPortStates = 2,
    kSelVidMax = 3,
    kSelSelectedVid = 4,
    kSelRemoveDisabled = 5,
    kSelPage = 6,
    kSelVlanMax = 7,
    kSelMayCreate = 8,
    kSelRowVid = 9,
    kSelMemberCell = 10,
    kSelPrevDisabled = 11,
    kSelNextDisabled = 12,
};

int port_limit() {
    int ports = board_num_uports;
    return ports < kMaxBitPorts ? ports : kMaxBitPorts;
}

uint64_t port_bit(int uport) {
    return uint64_t{1} << (uport - 1);
}

uint64_t all_port_bits() {
    int n = port_limit();
    return n >= kMaxBitPorts ? ~uint64_t{0} : (uint64_t{1} << n) - 1;
}

int vid_of(const char *text) {
    int v = 0;
    if (text == nullptr) return 0;
    return web_form_int(text, 0, 0xffff, &v) ? v : -1;
}

void selected_vid_store(httpd_request *req, int vid) {
    auto *slot = static_cast<int32_t *>(
        httpd_req_state_get(req, reinterpret_cast<const void *>(&showvlan_cgi), sizeof(int32_t)));
    if (slot != nullptr) *slot = vid;
}

int selected_vid(const httpd_request *req) {
    const auto *slot = static_cast<const int32_t *>(
        httpd_req_state_find(req, reinterpret_cast<const void *>(&showvlan_cgi)));
    return slot != nullptr ? *slot : 1;
}

int list_page(const httpd_request *req) {
    const auto *slot = static_cast<const int32_t *>(
        httpd_req_state_find(req, reinterpret_cast<const void *>(&pagevlan_cgi)));
    return slot != nullptr ? *slot : 0;
}

int vlan_err_page(httpd_event *ev, httpd_request *req, int code) {
    return web_error_page(ev, req, "VLAN", dxp_errmsg(code), WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

int vlan_error(httpd_event *ev, httpd_request *req, const char *title, const std::string &message) {
    return web_error_page(ev, req, title, message.c_str(), WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

// Member and untagged ports of a VLAN as the manager records them.
bool manager_bits(int vid, uint64_t *members, uint64_t *untagged) {
    *members = *untagged = 0;
    upbmp_t m{}, u{};
    if (vid < 1 || qsw_vlanmgr_vlan_get(static_cast<uint16_t>(vid), &m, &u) != 0) return false;
    for (int n = 1; n <= port_limit(); n++) {
        if (upbmp_test(&m, n)) *members |= port_bit(n);
        if (upbmp_test(&u, n)) *untagged |= port_bit(n);
    }
    upbmp_free(&m);
    upbmp_free(&u);
    return true;
}

// The first trunk whose ports the VLAN holds only in part, or -1.
int split_trunk(uint64_t members) {
    for (int t = 0; t < board_num_trunks; t++) {
        upbmp_t ports{};
        if (trunkmgr_trunk_get(t, &ports) != 0) continue;
        int count = 0, in_vlan = 0;
        for (int n = 1; n <= port_limit(); n++) {
            if (!upbmp_test(&ports, n)) continue;
            count++;
            if ((members & port_bit(n)) != 0) in_vlan++;
        }
        upbmp_free(&ports);
        if (in_vlan != 0 && in_vlan != count) return t;
    }
    return -1;
}

// "member port = 1, 2,untagger member port = 3," after the prefix.
void log_members(const char *prefix, int vid, uint64_t members, uint64_t untagged) {
    std::string text = web_tag_printf(prefix, vid);
    if (members != 0) text += "member port =";
    for (int n = 1; n <= port_limit(); n++) {
        if ((members & port_bit(n)) != 0) text += web_tag_printf(" %d,", n);
    }
    if (untagged != 0) text += "untagger member port =";
    for (int n = 1; n <= port_limit(); n++) {
        if ((untagged & port_bit(n)) != 0) text += web_tag_printf(" %d,", n);
    }
    logger_puts(LOG_LEVEL_INFO, LOG_MOD_VLAN, text.c_str());
}

// Records the VLAN in the manager and saves the "vlan" item.
void vlan_record(int vid, uint64_t members, uint64_t untagged) {
    upbmp_t m{}, u{};
    if (upbmp_alloc(&m, board_num_uports) == 0 && upbmp_alloc(&u, board_num_uports) == 0) {
        for (int n = 1; n <= port_limit(); n++) {
            if ((members & port_bit(n)) != 0) upbmp_add(&m, n);
            if ((untagged & port_bit(n)) != 0) upbmp_add(&u, n);
        }
        qsw_vlanmgr_vlan_set(static_cast<uint16_t>(vid), &m, &u);
    }
    upbmp_free(&m);
    upbmp_free(&u);
    settings_save_item("vlan");
}

// Two logical-port lists freed with the holder.
struct ListPair {
    dxpx_lplist_t members{};
    dxpx_lplist_t untagged{};
    int rv = 0;
    const char *failed = nullptr;
    ListPair(const char *tagged_text, const char *untagged_text) {
        if ((rv = dxpx_lplist_init(&members, 0, kListMax)) != 0) {
            failed = tagged_text;
        } else if ((rv = dxpx_lplist_init(&untagged, 0, kListMax)) != 0) {
            failed = untagged_text;
        }
        if (failed != nullptr) logger_puts(LOG_LEVEL_WARNING, LOG_MOD_VLAN, failed);
    }
    ~ListPair() {
        if (members.lp_ports != nullptr) dxpx_lplist_free(&members);
        if (untagged.lp_ports != nullptr) dxpx_lplist_free(&untagged);
    }
    ListPair(const ListPair &) = delete;
    ListPair &operator=(const ListPair &) = delete;
};

// Member cells of one list row: 0 none, 1 untagged, 2 tagged, per port.
struct RowCells {
    int vid;
    int printed;
    uint8_t state[kMaxBitPorts];
};

RowCells *row_cells(httpd_request *req, int vid) {
    const void *key = reinterpret_cast<const void *>(&sspvar_vlanlist_tag_ssi);
    auto *row = static_cast<RowCells *>(httpd_req_state_find(req, key));
    if (row != nullptr && row->vid == vid) return row;
    row = static_cast<RowCells *>(httpd_req_state_get(req, key, sizeof(RowCells)));
    if (row == nullptr) return nullptr;
    std::memset(row, 0, sizeof *row);
    row->vid = vid;
    uint64_t members = 0, untagged = 0;
    manager_bits(vid, &members, &untagged);
    for (int n = 1; n <= port_limit(); n++) {
        if ((members & port_bit(n)) == 0) continue;
        row->state[n - 1] = (untagged & port_bit(n)) != 0 ? 1 : 2;
    }
    return row;
}

// The error page of the trunk rule, or -1 when every trunk is in whole or not at all.
int trunk_rule_page(httpd_event *ev, httpd_request *req, const char *title, uint64_t members,
                    int vid) {
    int t = split_trunk(members);
    if (t < 0) return -1;
    return vlan_error(
        ev, req, title,
        web_tag_printf("All trunk %d members don't belong to this vlan %d", t + 1, vid));
}

int members_add(int vid, ListPair *lists, uint64_t members, uint64_t untagged, const char *failed) {
    vlan_bits_to_lplist(members, &lists->members);
    vlan_bits_to_lplist(untagged, &lists->untagged);
    int rv = dxpx_vlan_port_add(static_cast<dxp_vlan_t>(vid), lists->members, lists->untagged);
    if (rv != 0) log_refused_printf(LOG_LEVEL_WARNING, LOG_MOD_VLAN, "%s", failed);
    return rv;
}

// The ports under self-test: the test gives their memberships back as they
// were, and the pages show them so.
uint64_t held_ports() {
    uint64_t held = 0;
    for (int n = 1; n <= port_limit(); n++) {
        int lport = 0;
        if (ulpm_to_lport(n, &lport) == 0 && port_reserved_lport(lport)) held |= port_bit(n);
    }
    return held;
}

// The error page when one of the ports is under self-test, or -1.
int held_port_page(httpd_event *ev, httpd_request *req, const char *title, uint64_t ports) {
    const uint64_t held = ports & held_ports();
    for (int n = 1; n <= port_limit(); n++) {
        if ((held & port_bit(n)) != 0)
            if (const char *text = web_port_held_text(n)) return vlan_error(ev, req, title, text);
    }
    return -1;
}

// The ports as ranges: "6-7,9".
std::string port_ranges(uint64_t bits) {
    std::string text;
    for (int n = 1; n <= port_limit(); n++) {
        if ((bits & port_bit(n)) == 0) continue;
        int last = n;
        while (last < port_limit() && (bits & port_bit(last + 1)) != 0)
            last++;
        if (!text.empty()) text += ",";
        text += last > n ? web_tag_printf("%d-%d", n, last) : web_tag_printf("%d", n);
        n = last;
    }
    return text;
}

// "VLAN 15 is held by self-test 72 (Traffic Test) on ports 6-7" when the
// VLAN is a self-test's own (no page lists it), or nullptr.
const char *test_vlan_text(int vid) {
    int tried = -1;
    for (int n = 1; n <= port_limit(); n++) {
        int lport = 0, unit = 0, port = 0;
        if (ulpm_to_lport(n, &lport) != 0 || dxpx_lport_to_unit_port(lport, &unit, &port) < 0 ||
            unit == tried)
            continue;
        tried = unit;
        dxp_pbmp_t ports{};
        const char *held =
            port_reserve_vlan_holder_text(unit, static_cast<dxp_vlan_t>(vid), &ports);
        if (held == nullptr) continue;
        uint64_t bits = 0;
        for (int m = 1; m <= port_limit(); m++) {
            int other = 0, on = 0;
            if (ulpm_to_lport(m, &lport) == 0 && dxpx_lport_to_unit_port(lport, &on, &other) >= 0 &&
                on == unit && dxp_pbmp_member(ports, other))
                bits |= port_bit(m);
        }
        return web_tag_printf("%s %s", held, port_ranges(bits).c_str());
    }
    return nullptr;
}

// The error page naming the port whose self-test's hold refused the switch
// API's last change on this thread, or -1.
int refused_port_page(httpd_event *ev, httpd_request *req, const char *title) {
    int unit = 0, port = 0, uport = 0;
    if (!port_reserve_take_refusal(&unit, &port) ||
        ulpm_to_uport(dxpx_unit_port_to_lport(unit, port), &uport) != 0)
        return -1;
    const char *text = web_port_held_text(uport);
    return text != nullptr ? vlan_error(ev, req, title, text) : -1;
}

// Logs the members and records the VLAN once the switch took them, or
// shows the switch's error: the log holds only what was done.
int vlan_finish(httpd_event *ev, httpd_request *req, int rv, const char *prefix, int vid,
                uint64_t members, uint64_t untagged) {
    if (rv != 0) return vlan_err_page(ev, req, rv);
    log_members(prefix, vid, members, untagged);
    vlan_record(vid, members, untagged);
    return 0;
}

// A member list holds one of 0 (not a member), 1 (untagged) or 2 (tagged)
// for each port, as the pages post it: any other character is refused
// rather than read as "not a member", and so is a list of another length,
// which would drop the ports it leaves out.
bool portstr_valid(const char *text) {
    return web_form_ports(text, "012");
}

int page_count() {
    int vlans = qsw_vlanmgr_count_get();
    return vlans == 0 ? 1 : (vlans + WEB_VLANS_PER_PAGE - 1) / WEB_VLANS_PER_PAGE;
}

}  // namespace

void vlan_portstr_parse(const char *text, uint64_t *members, uint64_t *untagged, uint64_t *all) {
    *members = *untagged = 0;
    *all = all_port_bits();
    if (text == nullptr) return;
    size_t len = strnlen(text, kMaxBitPorts);
    for (size_t i = 0; i < len && static_cast<int>(i) < port_limit(); i++) {
        uint64_t bit = uint64_t{1} << i;
        if (text[i] == '1' || text[i] == '2') *members |= bit;
        if (text[i] == '1') *untagged |= bit;
    }
}

int vlan_lplist_to_bits(const dxpx_lplist_t *list, uint64_t *bits) {
    *bits = 0;
    for (int i = 0; i < dxpx_lplist_count(list); i++) {
        int uport = 0;
        if (ulpm_to_uport(list->lp_ports[i], &uport) != 0) continue;
        if (uport >= 1 && uport <= port_limit()) *bits |= port_bit(uport);
    }
    return 0;
}

int vlan_bits_to_lplist(uint64_t bits, dxpx_lplist_t *list) {
    dxpx_lplist_clear(list);
    for (int n = 1; n <= port_limit(); n++) {
        int lport = 0;
        if ((bits & port_bit(n)) == 0 || ulpm_to_lport(n, &lport) != 0) continue;
        if (int rv = dxpx_lplist_add(list, lport); rv != 0) return rv;
    }
    return 0;
}

int showvlan_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    selected_vid_store(req, vid_of(web_form_value(ev, 0)));
    return 0;
}

int pagevlan_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    const char *mode = web_form_value(ev, 1);
    int page = vid_of(web_form_value(ev, 0));
    page += mode != nullptr && std::strcmp(mode, "1") == 0 ? 1 : -1;
    // The page number comes from the client: keep it on an existing page.
    if (page >= page_count()) page = page_count() - 1;
    if (page < 0) page = 0;
    auto *slot = static_cast<int32_t *>(
        httpd_req_state_get(req, reinterpret_cast<const void *>(&pagevlan_cgi), sizeof(int32_t)));
    if (slot != nullptr) *slot = page;
    return 0;
}

int setvlan_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    // Trunks before VLANs: the pages of both read the other manager.
    SalLock trunks(trunkmgr_lock());
    SalLock hold(qsw_vlanmgr_lock());  // the change and its save are one step
    ListPair lists("Set Vlan : Could not init tagged port list",
                   "Set Vlan : Could not init untagged port list");
    if (lists.failed != nullptr) return vlan_err_page(ev, req, lists.rv);
    int vid = vid_of(web_form_value(ev, 0));
    selected_vid_store(req, vid);
    // Only a VLAN the manager knows can change: the manager records the result.
    if (vid < 1 || vid > WEB_VLAN_VID_MAX) return vlan_err_page(ev, req, SOC_E_BADID);
    if (!qsw_vlanmgr_vid_exist(static_cast<uint16_t>(vid)))
        return vlan_err_page(ev, req, SOC_E_NOT_FOUND);
    if (!portstr_valid(web_form_value(ev, 1))) return vlan_err_page(ev, req, SOC_E_PARAM);

    uint64_t cur_members = 0, cur_untagged = 0;
    if (dxpx_vlan_port_get(static_cast<dxp_vlan_t>(vid), &lists.members, &lists.untagged) != 0) {
        logger_printf(LOG_LEVEL_WARNING, LOG_MOD_VLAN,
                      "Set Vlan : dxpx_vlan_port_get vid = %d failed\n", vid);
    } else {
        vlan_lplist_to_bits(&lists.members, &cur_members);
        vlan_lplist_to_bits(&lists.untagged, &cur_untagged);
    }
    uint64_t members = 0, untagged = 0, all = 0;
    vlan_portstr_parse(web_form_value(ev, 1), &members, &untagged, &all);
    cur_members &= all;
    cur_untagged &= all;

    if (int page = trunk_rule_page(ev, req, "Set VLAN", members, vid); page >= 0) return page;
    const uint64_t changed = (cur_members ^ members) | (members & (cur_untagged ^ untagged));
    if (int page = held_port_page(ev, req, "Set VLAN", changed); page >= 0) return page;
    uint64_t removed = cur_members & ~members;
    for (int n = 1; n <= port_limit(); n++) {
        if ((removed & port_bit(n)) != 0 && port_pvid_get(n - 1) == vid) {
            return vlan_error(
                ev, req, "Set VLAN",
                web_tag_printf(
                    "Change PVID of port %d to other VLAN before removing it from this VLAN.", n));
        }
    }
    // A port that changes between tagged and untagged leaves and joins again.
    removed |= cur_members & members & (cur_untagged ^ untagged);
    if (removed != 0) {
        vlan_bits_to_lplist(removed, &lists.members);
        // Refused, the VLAN keeps its ports and the post adds none.
        if (int rv = dxpx_vlan_port_remove(static_cast<dxp_vlan_t>(vid), lists.members); rv != 0) {
            web_refused_puts(req, LOG_MOD_VLAN, "Set Vlan : dxpx_vlan_port_remove failed");
            return vlan_err_page(ev, req, rv);
        }
    }
    // A tested port is left to its test, which gives it back as the page
    // shows it.
    const uint64_t free = ~held_ports();
    int rv = members_add(vid, &lists, members & free, untagged & free,
                         "Set Vlan : dxpx_vlan_port_add failed");
    if (rv != 0 && removed != 0) {
        // The ports taken out go back as they were.
        members_add(vid, &lists, removed, removed & cur_untagged,
                    "Set Vlan : dxpx_vlan_port_add failed");
    }
    return vlan_finish(ev, req, rv, "Set Vlan : VLAN ID = %d, ", vid, members, untagged);
}

int newvlan_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    // Trunks before VLANs: the pages of both read the other manager.
    SalLock trunks(trunkmgr_lock());
    SalLock hold(qsw_vlanmgr_lock());  // the change and its save are one step
    int vid = vid_of(web_form_value(ev, 0));
    if (vid < 2 || vid > WEB_VLAN_VID_MAX) return vlan_err_page(ev, req, SOC_E_BADID);
    if (qsw_vlanmgr_vid_exist(static_cast<uint16_t>(vid))) {
        web_refused_printf(req, LOG_MOD_VLAN, "Create Vlan : Vlan id %d existed already", vid);
        return vlan_error(ev, req, "Create New Vlan", "Vlan id existed already");
    }
    // A VLAN the manager cannot record would live in the switch only.
    if (qsw_vlanmgr_count_get() >= VLANMGR_MAX) return vlan_err_page(ev, req, SOC_E_FULL);
    ListPair lists("New Vlan : Could not init tagged port list",
                   "New Vlan : Could not init untagged port list");
    if (lists.failed != nullptr) return vlan_err_page(ev, req, lists.rv);
    selected_vid_store(req, vid);
    if (!portstr_valid(web_form_value(ev, 1))) return vlan_err_page(ev, req, SOC_E_PARAM);
    uint64_t members = 0, untagged = 0, all = 0;
    vlan_portstr_parse(web_form_value(ev, 1), &members, &untagged, &all);
    if (int page = trunk_rule_page(ev, req, "VLAN", members, vid); page >= 0) return page;
    if (int page = held_port_page(ev, req, "Create New Vlan", members); page >= 0) return page;
    if (const char *held = test_vlan_text(vid)) return vlan_error(ev, req, "Create New Vlan", held);
    int rv = dxpx_vlan_create(static_cast<dxp_vlan_t>(vid));
    if (rv != 0) {
        web_refused_printf(req, LOG_MOD_VLAN, "New Vlan : dxpx_vlan_create failed, vid = %d", vid);
        // The switch runs a VLAN the manager has no row for: one made on
        // the monitor, which no page lists.
        if (rv == DXP_E_EXISTS)
            return vlan_error(
                ev, req, "Create New Vlan",
                web_tag_printf("VLAN %d exists in the switch, made on the monitor: no page lists "
                               "it; destroy it there first",
                               vid));
    } else {
        rv = members_add(vid, &lists, members, untagged, "New Vlan : dxpx_vlan_port_add failed");
        // A VLAN the switch refused members for is not left behind.
        if (rv != 0) dxpx_vlan_destroy(static_cast<dxp_vlan_t>(vid));
    }
    return vlan_finish(ev, req, rv, "New Vlan : VLAN ID = %d, ", vid, members, untagged);
}

int delvlan_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    // Trunks before VLANs: the pages of both read the other manager.
    SalLock trunks(trunkmgr_lock());
    SalLock hold(qsw_vlanmgr_lock());  // the change and its save are one step
    int vid = vid_of(web_form_value(ev, 0));
    // VLAN 1 stays: the manager keeps it whatever the switch says.
    if (vid < 2 || vid > WEB_VLAN_VID_MAX) return vlan_err_page(ev, req, SOC_E_BADID);
    for (int n = 1; n <= board_num_uports; n++) {
        if (port_pvid_get(n - 1) == vid) {
            return vlan_error(
                ev, req, "Remove Vlan",
                web_tag_printf("Change PVID of port %d to other VLAN before removing this VLAN.",
                               n));
        }
    }
    uint64_t members = 0, untagged = 0;
    if (manager_bits(vid, &members, &untagged)) {
        if (int page = held_port_page(ev, req, "Remove Vlan", members); page >= 0) return page;
    }
    // A VLAN the manager does not list (a self-test's own) is refused by the
    // switch API's hold: the page names the port it noted.
    int unit = 0, port = 0;
    port_reserve_take_refusal(&unit, &port);
    int rv = dxpx_vlan_destroy(static_cast<dxp_vlan_t>(vid));
    if (rv != 0) {
        web_refused_printf(req, LOG_MOD_VLAN, "Remove Vlan : dxpx_vlan_destroy vid = %d failed",
                           vid);
        if (int page = refused_port_page(ev, req, "Remove Vlan"); page >= 0) return page;
        return vlan_err_page(ev, req, rv);
    }
    qsw_vlanmgr_vlan_delete(static_cast<uint16_t>(vid));
    settings_save_item("vlan");
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_VLAN, "Remove Vlan : VLAN ID = %d", vid);
    return 0;
}

void sspvar_vlan_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    switch (args[0]) {
        case kSelVidValue:
        case kSelVidText:
            web_tag_int(out, qsw_vlanmgr_vid_get(args[1]));
            break;
        case kSelPortStates: {
            uint64_t members = 0, untagged = 0;
            manager_bits(selected_vid(req), &members, &untagged);
            std::string text;
            for (int n = 1; n <= port_limit(); n++) {
                char digit = '0';
                if ((members & port_bit(n)) != 0) digit = (untagged & port_bit(n)) != 0 ? '1' : '2';
                if (n > 1) text += ',';
                text += digit;
            }
            web_tag_text(out, web_tag_printf("%s", text.c_str()));
            break;
        }
        case kSelVidMax:
            web_tag_int(out, WEB_VLAN_VID_MAX);
            break;
        case kSelSelectedVid:
            web_tag_int(out, selected_vid(req));
            break;
        case kSelRemoveDisabled:
            web_tag_text(out, selected_vid(req) < 2 ? "Disabled" : "");
            break;
        default:
            break;
    }
}

void sspvar_vlanlist_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    int page = list_page(req);
    int vid = qsw_vlanmgr_vid_get(page * WEB_VLANS_PER_PAGE + args[1]);
    switch (args[0]) {
        case kSelPage:
            web_tag_int(out, page);
            break;
        case kSelVlanMax:
            web_tag_int(out, VLANMGR_MAX);
            break;
        case kSelMayCreate:
            web_tag_int(out, qsw_vlanmgr_count_get() >= VLANMGR_MAX ? 0 : 1);
            break;
        case kSelRowVid:
            web_tag_int(out, vid);
            break;
        case kSelMemberCell: {
            int port = args[2] + 1;
            if (vid < 1 || vid == VLANMGR_VID_NONE || port > port_limit()) break;
            RowCells *row = row_cells(req, vid);
            if (row == nullptr || row->state[port - 1] == 0) break;
            const char *colour = row->state[port - 1] == 1 ? "#33FFCC" : "#FFCC33";
            row->printed++;
            web_tag_text(out, web_tag_printf("<TD BGCOLOR=%s>%02d</TD>%s", colour, port,
                                             row->printed == kRowBreakCells ? "<TR>" : ""));
            break;
        }
        case kSelPrevDisabled:
            web_tag_text(out, page == 0 ? "Disabled" : "");
            break;
        case kSelNextDisabled:
            web_tag_text(
                out, (page + 1) * WEB_VLANS_PER_PAGE >= qsw_vlanmgr_count_get() ? "Disabled" : "");
            break;
        default:
            break;
    }
}

int ssploop_vlanlist_tag_page(const uint16_t *, int index, httpd_request *req) {
    return index < WEB_VLANS_PER_PAGE &&
                   list_page(req) * WEB_VLANS_PER_PAGE + index < qsw_vlanmgr_count_get()
               ? 1
               : 0;
}

int ssploop_vlan_tag_all(const uint16_t *, int index, httpd_request *) {
    return index < qsw_vlanmgr_count_get() ? 1 : 0;
}
