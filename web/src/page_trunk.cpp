// The trunk page: every trunk group with its members and the load
// distribution criterion, all rebuilt at once by "trunk.cgi"; and the IPv4
// address helpers the QoS pages use.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sal_lock.h"
#include "dxpx.h"
#include "logger.h"
#include "settings.h"
#include "trunkmgr.h"
#include "vlanmgr.h"
#include "web_pages.h"
#include "web_switch_pages.h"

namespace {

constexpr size_t kMemberTextMax = 88;  // bytes of a member list, NUL included
constexpr int kListMax = 64;
constexpr uint16_t kLeftColumn = 10;
constexpr uint16_t kMiscCriterionValue = 2;  // sspvar_trunk_tag_misc: a criterion choice's value

enum TrunkSelector : uint16_t {
    kSelMembers = 0,
    kSelTrunkCount = 2,
    kSelTrunkSize = 3,
    kSelCriterion = 4,
    kSelCriterionText = 5,  // 5, 6, 7: the texts of criteria 1, 2, 3 (plus the loop index)
    kSelTrunkNumber = 8,
    kSelCellTitle = 9,
    kSelCellId = 12,
    kSelPortRule = 14,
};

// The criteria as the page names them, 1 to 6. The page offers the first
// three; the IP ones (which the monitor or a restored file may set) only as
// what runs, so that an Apply keeps them.
const char *const kCriterionTexts[] = {
    "SA ( Source MAC Address ) ", "DA ( Destination MAC Address ) ", "SA + DA ",
    "SIP ( Source IP Address ) ", "DIP ( Destination IP Address ) ", "SIP + DIP "};
constexpr int kCriteriaOffered = 3;
constexpr int kCriteria = 6;

const char *criterion_name(int psc) {
    switch (psc) {
        case 1:
            return "Criterion : SA";
        case 2:
            return "Criterion : DA";
        case 4:
            return "Criterion : SIP";
        case 5:
            return "Criterion : DIP";
        case 6:
            return "Criterion : SIP + DIP";
        default:
            return "Criterion : SA + DA";
    }
}

// The criterion the groups run: the first group's, 1 when there is none.
int running_criterion() {
    for (int t = 0; t < board_num_trunks; t++) {
        int got = 0;
        if (dxpx_trunk_psc_get(t, &got) == 0) return got;
    }
    return 1;
}

// The criterion of the list's n-th choice (from 0): the offered ones, then
// the running one when it is none of them; 0 past the end.
int criterion_choice(int index) {
    if (index < kCriteriaOffered) return index + 1;
    const int running = running_criterion();
    return index == kCriteriaOffered && running > kCriteriaOffered && running <= kCriteria ? running
                                                                                           : 0;
}

// Member user ports of a trunk, ascending, at most the trunk size.
std::vector<int> trunk_ports(int tid) {
    std::vector<int> ports;
    upbmp_t bmp{};
    if (trunkmgr_trunk_get(tid, &bmp) != 0) return ports;
    for (int n = 1; n <= board_num_uports && static_cast<int>(ports.size()) < board_trunk_size;
         n++) {
        if (upbmp_test(&bmp, n)) ports.push_back(n);
    }
    upbmp_free(&bmp);
    return ports;
}

// 1 when every VLAN holds the trunk's ports all or none; else 0 with the VID.
int trunk_vlan_check(int count, const upbmp_t *members, int *vid_out) {
    if (count == 0) return 1;
    for (int i = 0; i < qsw_vlanmgr_count_get(); i++) {
        uint16_t vid = qsw_vlanmgr_vid_get(i);
        if (vid == VLANMGR_VID_NONE) {
            logger_puts(LOG_LEVEL_WARNING, LOG_MOD_TRUNKING, "Get vlan id  failed");
            return 0;
        }
        upbmp_t m{}, u{};
        if (qsw_vlanmgr_vlan_get(vid, &m, &u) != 0) {
            logger_puts(LOG_LEVEL_ERROR, LOG_MOD_TRUNKING, "Get vlan port failed");
            return 0;
        }
        int in_vlan = 0;
        for (int n = 1; n <= board_num_uports; n++) {
            if (upbmp_test(members, n) && upbmp_test(&m, n)) in_vlan++;
        }
        upbmp_free(&m);
        upbmp_free(&u);
        if (in_vlan != 0 && in_vlan != count) {
            *vid_out = vid;
            return 0;
        }
    }
    *vid_out = 1;
    return 1;
}

// What trunk.cgi holds while it runs; freed whichever way it ends.
struct TrunkWork {
    dxpx_trunk_add_info_t info{};
    upbmp_t bmp{};
    bool list_ok = false;
    ~TrunkWork() {
        if (list_ok) dxpx_lplist_free(&info.ports);
        upbmp_free(&bmp);
    }
};

int trunk_error(httpd_event *ev, httpd_request *req, const char *message, int level,
                const char *log_text) {
    // A warning is a refused value; an error, the switch's own failure.
    if (level == LOG_LEVEL_WARNING)
        web_refused_puts(req, LOG_MOD_TRUNKING, log_text);
    else
        logger_puts(level, LOG_MOD_TRUNKING, log_text);
    return web_error_page(ev, req, "Set Trunk", message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

// Splits a member list into user ports: bad_port when a port cannot be
// added, too_many when the list holds more than a trunk takes.
enum class Parse { ok, too_many, bad_port };

Parse members_parse(const char *text, upbmp_t *bmp, std::vector<int> *ports) {
    char work[kMemberTextMax];
    std::snprintf(work, sizeof work, "%s", text != nullptr ? text : "");
    char *save = nullptr;
    for (char *tok = strtok_r(work, ",", &save); tok != nullptr;
         tok = strtok_r(nullptr, ",", &save)) {
        long p = std::strtol(tok, nullptr, 10);
        if (p == 0) continue;
        if (p < 1 || p > board_num_uports || upbmp_add(bmp, static_cast<int>(p)) != 0)
            return Parse::bad_port;
        ports->push_back(static_cast<int>(p));
    }
    return static_cast<int>(ports->size()) > board_trunk_size ? Parse::too_many : Parse::ok;
}

// True when the list holds only decimal numbers (spaces around them
// allowed) separated by ",": a letter must not make a port silently go.
bool members_well_formed(const char *text) {
    bool digit_seen = false, gap_after_digit = false;
    for (const char *c = text != nullptr ? text : ""; *c != '\0'; c++) {
        if (*c >= '0' && *c <= '9') {
            if (gap_after_digit) return false;
            digit_seen = true;
        } else if (*c == ' ') {
            gap_after_digit = digit_seen;
        } else if (*c == ',') {
            digit_seen = gap_after_digit = false;
        } else {
            return false;
        }
    }
    return true;
}

// A trunk member leaves any other port VLAN for VLAN 1, in the switch too;
// false when the port manager refuses. *changed tells whether a PVID moved.
bool members_to_vlan_one(const std::vector<int> &ports, bool *changed) {
    for (int p : ports) {
        if (port_pvid_get(p - 1) == 1) continue;
        int lport = 0;
        if (setportcbk_PVID_set(p - 1, 1) != 1) return false;
        *changed = true;
        if (ulpm_to_lport(p, &lport) == 0) dxpx_port_untagged_vlan_set(lport, 1);
    }
    return true;
}

// The ports each group of the post names, whatever else is wrong with the
// lists (the main pass reports that).
std::vector<std::vector<int>> posted_members(httpd_event *ev) {
    std::vector<std::vector<int>> posted(static_cast<size_t>(board_num_trunks));
    for (int t = 0; t < board_num_trunks; t++) {
        upbmp_t bmp{};
        if (upbmp_alloc(&bmp, board_num_uports) != 0) continue;
        members_parse(web_form_value(ev, t + 1), &bmp, &posted[static_cast<size_t>(t)]);
        upbmp_free(&bmp);
    }
    return posted;
}

// The port named by two groups of the post, with both group numbers; 0
// when every port is named once at most.
int port_in_two_groups(const std::vector<std::vector<int>> &posted, int *first, int *second) {
    std::vector<int> owner(static_cast<size_t>(board_num_uports) + 1, 0);
    for (size_t t = 0; t < posted.size(); t++) {
        for (int p : posted[t]) {
            int &o = owner[static_cast<size_t>(p)];
            if (o != 0 && o != static_cast<int>(t) + 1) {
                *first = o;
                *second = static_cast<int>(t) + 1;
                return p;
            }
            o = static_cast<int>(t) + 1;
        }
    }
    return 0;
}

// The switch takes a port in one group only: before the groups are rebuilt
// in order, the ports the post moves to another group leave their old one.
void release_moved_ports(const std::vector<std::vector<int>> &posted, int psc) {
    for (int t = 0; t < board_num_trunks; t++) {
        upbmp_t current{};
        if (trunkmgr_trunk_get(t, &current) != 0) continue;
        bool moved = false;
        for (size_t other = 0; other < posted.size(); other++) {
            if (static_cast<int>(other) == t) continue;
            for (int p : posted[other]) {
                if (upbmp_test(&current, p) == 0) continue;
                upbmp_remove(&current, p);
                moved = true;
            }
        }
        if (moved) {
            // The group's addresses go with the ports that leave it.
            dxpx_l2_addr_delete_by_trunk(t, 0);
            dxpx_trunk_add_info_t info{};
            bool kept = false;
            if (dxpx_lplist_init(&info.ports, 0, kListMax) == 0) {
                info.psc = psc;
                info.dlf_index = info.mc_index = info.ipmc_index = -1;
                kept = upbmp_to_lplist(&current, &info.ports) == 0 &&
                       dxpx_lplist_count(&info.ports) > 0 && dxpx_trunk_set(t, &info) == 0;
                dxpx_lplist_free(&info.ports);
            }
            if (kept) {
                trunkmgr_trunk_set(t, &current);
            } else {
                dxpx_trunk_destroy(t);
                trunkmgr_trunk_delete(t);
            }
        }
        upbmp_free(&current);
    }
}

// User ports of one speed class as ranges ("1-24").
std::string class_ports(uint32_t port_class) {
    std::string text;
    int run_start = 0;
    for (int n = 1; n <= board_num_uports + 1; n++) {
        int lport = 0;
        dxpx_lport_t entry{};
        bool in = n <= board_num_uports && ulpm_to_lport(n, &lport) == 0 &&
                  dxpx_lport_get(lport, &entry) == 0 && (entry.flags & port_class) != 0;
        if (in && run_start == 0) run_start = n;
        if (in || run_start == 0) continue;
        if (!text.empty()) text += ",";
        text += run_start == n - 1 ? std::to_string(run_start)
                                   : std::to_string(run_start) + "-" + std::to_string(n - 1);
        run_start = 0;
    }
    return text;
}

// Which group takes which ports, on a switch whose first groups take only
// fast Ethernet ports and the others only gigabit ones; "" elsewhere.
std::string trunk_port_rule() {
    if (board_trunk_fe_groups <= 0 || board_trunk_fe_groups >= board_num_trunks) return "";
    int fe = board_trunk_fe_groups;
    std::string groups_fe = fe == 1 ? "Trunk 1 takes" : "Trunks 1-" + std::to_string(fe) + " take";
    std::string groups_ge =
        fe + 1 == board_num_trunks
            ? "trunk " + std::to_string(fe + 1) + " takes"
            : "trunks " + std::to_string(fe + 1) + "-" + std::to_string(board_num_trunks) + " take";
    return groups_fe + " fast Ethernet ports only (" + class_ports(DXPX_PORT_F_FE) + "), " +
           groups_ge + " gigabit ports only (" + class_ports(DXPX_PORT_F_GE) + ").";
}

// Whether the group may take these ports on a switch whose first groups take
// only fast Ethernet ports and the others only gigabit ones (the switch
// refuses the others), and no group mixes the two.
bool group_takes(int tid, const std::vector<int> &ports) {
    if (board_trunk_fe_groups <= 0 || board_trunk_fe_groups >= board_num_trunks) return true;
    const uint32_t wanted = tid < board_trunk_fe_groups ? DXPX_PORT_F_FE : DXPX_PORT_F_GE;
    for (int p : ports) {
        int lport = 0;
        dxpx_lport_t entry{};
        if (ulpm_to_lport(p, &lport) != 0 || dxpx_lport_get(lport, &entry) != 0) return false;
        if ((entry.flags & wanted) == 0) return false;
    }
    return true;
}

int trunk_refused(httpd_event *ev, httpd_request *req, int tid) {
    web_refused_printf(req, LOG_MOD_TRUNKING, "Failed to set trunk group id %d", tid);
    std::string msg = web_tag_printf("The switch refused trunk %d.", tid + 1);
    std::string rule = trunk_port_rule();
    if (!rule.empty()) msg += " " + rule;
    return web_error_page(ev, req, "Set Trunk", msg.c_str(), WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

}  // namespace

char *ip_to_str(char *buf, const uint8_t addr[4]) {
    std::snprintf(buf, 16, "%d.%d.%d.%d", addr[0], addr[1], addr[2], addr[3]);
    return buf;
}

int netmask_is_contiguous(const uint8_t mask[4]) {
    uint32_t m =
        uint32_t{mask[0]} << 24 | uint32_t{mask[1]} << 16 | uint32_t{mask[2]} << 8 | mask[3];
    bool seen_one = false;
    for (int bit = 0; bit < 32; bit++) {
        bool set = (m >> bit & 1) != 0;
        if (set) seen_one = true;
        if (!set && seen_one) return 0;
    }
    return 1;
}

int trunk_member_l2_flush(int tid, const upbmp_t *members) {
    upbmp_t current{};
    if (trunkmgr_trunk_get(tid, &current) != 0 && upbmp_alloc(&current, board_num_uports) != 0) {
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_TRUNKING, "Allocate user port bit map failed");
        return 0;
    }
    int ok = 1;
    bool trunk_flushed = false;
    for (int n = 1; n <= board_num_uports && ok; n++) {
        bool now = upbmp_test(members, n) != 0, before = upbmp_test(&current, n) != 0;
        if (now && !before) {
            int lport = 0;
            if (ulpm_to_lport(n, &lport) != 0) {
                logger_puts(LOG_LEVEL_ERROR, LOG_MOD_TRUNKING,
                            "Convert from user port to logical port failed");
                ok = 0;
            } else if (dxpx_l2_addr_delete_by_port(lport, 0) != 0) {
                logger_puts(LOG_LEVEL_ERROR, LOG_MOD_TRUNKING,
                            "Failed to delete l2 address by port");
                ok = 0;
            }
        } else if (before && !now && !trunk_flushed) {
            trunk_flushed = true;
            if (dxpx_l2_addr_delete_by_trunk(tid, 0) != 0) {
                logger_puts(LOG_LEVEL_ERROR, LOG_MOD_TRUNKING,
                            "Failed to delete l2 address by trunk");
                ok = 0;
            }
        }
    }
    upbmp_free(&current);
    return ok;
}

namespace {

// Applies the post group by group; *pvids_changed tells whether a member's
// PVID moved to 1.
int trunk_apply(httpd_event *ev, httpd_request *req, bool *pvids_changed) {
    TrunkWork w;
    if (dxpx_lplist_init(&w.info.ports, 0, kListMax) != 0) {
        return trunk_error(ev, req, "dxpx_lplist_init failed", LOG_LEVEL_WARNING,
                           "Set trunk : Could not init port list");
    }
    w.list_ok = true;
    if (upbmp_alloc(&w.bmp, board_num_uports) != 0) {
        return trunk_error(ev, req, "upbmp_alloc failed", LOG_LEVEL_ERROR,
                           "Allocate user port bit map failed");
    }
    const char *criterion_text = web_form_value(ev, 0);
    long long criterion = 0;
    // A criterion the page does not offer is taken only as the one that runs.
    if (criterion_text != nullptr &&
        (!web_form_number(criterion_text, 0, kCriteria, &criterion) ||
         (criterion > kCriteriaOffered && criterion != running_criterion())))
        return trunk_error(ev, req, "Invalid distribution criterion", LOG_LEVEL_WARNING,
                           "Set trunk : invalid distribution criterion");
    // The lists are checked before any group changes.
    for (int t = 0; t < board_num_trunks; t++) {
        const char *text = web_form_value(ev, t + 1);
        if (text != nullptr && std::strlen(text) >= kMemberTextMax) {
            return trunk_error(ev, req,
                               web_tag_printf("Member list of trunk %d is too long", t + 1),
                               LOG_LEVEL_WARNING, "Set trunk : member list too long");
        }
        if (!members_well_formed(text)) {
            return trunk_error(
                ev, req,
                web_tag_printf("Member list of trunk %d must be port numbers separated by commas",
                               t + 1),
                LOG_LEVEL_WARNING, "Set trunk : member list is not port numbers");
        }
    }
    std::vector<std::vector<int>> posted = posted_members(ev);
    int first = 0, second = 0;
    if (int port = port_in_two_groups(posted, &first, &second); port != 0) {
        return trunk_error(ev, req,
                           web_tag_printf("Port %d cannot be a member of trunk %d and trunk %d",
                                          port, first, second),
                           LOG_LEVEL_WARNING, "Set trunk : a port was given to two trunks");
    }
    // A port named twice would pass as two members of the group.
    for (size_t t = 0; t < posted.size(); t++) {
        const std::vector<int> &list = posted[t];
        for (size_t i = 0; i < list.size(); i++) {
            if (std::find(list.begin() + static_cast<long>(i) + 1, list.end(), list[i]) ==
                list.end())
                continue;
            return trunk_error(ev, req,
                               web_tag_printf("Port %d is named twice in trunk %d", list[i],
                                              static_cast<int>(t) + 1),
                               LOG_LEVEL_WARNING, "Set trunk : a port was named twice");
        }
    }
    // Every group is checked before any changes, so that a refused post
    // leaves the groups as they were.
    for (int t = 0; t < board_num_trunks; t++) {
        upbmp_clear_all(&w.bmp);
        std::vector<int> ports;
        switch (members_parse(web_form_value(ev, t + 1), &w.bmp, &ports)) {
            case Parse::too_many: {
                const std::string text =
                    web_tag_printf("Trunk %d would hold %d ports: a trunk holds at most %d", t + 1,
                                   static_cast<int>(ports.size()), board_trunk_size);
                return trunk_error(ev, req, text.c_str(), LOG_LEVEL_WARNING,
                                   ("Set trunk : " + text).c_str());
            }
            case Parse::bad_port:
                return trunk_error(ev, req, "upbmp_add failed", LOG_LEVEL_ERROR,
                                   "Add a port to port bit map failed");
            case Parse::ok:
                break;
        }
        // A trunk would take a tested port's frames elsewhere.
        for (int p : ports)
            if (const char *held = web_port_held_text(p)) {
                const std::string text = held;
                return trunk_error(ev, req, text.c_str(), LOG_LEVEL_WARNING,
                                   ("Set trunk : " + text).c_str());
            }
        int vid = 1;
        if (!trunk_vlan_check(static_cast<int>(ports.size()), &w.bmp, &vid)) {
            web_refused_printf(req, LOG_MOD_TRUNKING, "Trunk member doesn't belong to same vlan %d",
                               vid);
            std::string msg =
                web_tag_printf("All trunk %d members don't belong to vlan %d", t + 1, vid);
            return web_error_page(ev, req, "Set Trunk", msg.c_str(), WEB_RETRY_LABEL,
                                  WEB_RETRY_ACTION);
        }
        if (!group_takes(t, ports)) return trunk_refused(ev, req, t);
    }
    release_moved_ports(posted, criterion >= 1 ? static_cast<int>(criterion) : 0);
    int psc = 0;
    for (int t = 0; t < board_num_trunks; t++) {
        // A group created here and then refused goes again.
        const bool created = dxpx_trunk_create_with_tid(t) == 0;
        upbmp_clear_all(&w.bmp);
        // Parsed and checked above.
        std::vector<int> ports;
        members_parse(web_form_value(ev, t + 1), &w.bmp, &ports);
        if (trunk_member_l2_flush(t, &w.bmp) != 1) {
            return trunk_error(ev, req, "trunkcbk_del_l2_trunk_member_change failed",
                               LOG_LEVEL_ERROR,
                               "Failed to delete l2 address according to trunk member port");
        }
        if (upbmp_to_lplist(&w.bmp, &w.info.ports) != 0) {
            return trunk_error(ev, req, "upbmp_to_lplist failed", LOG_LEVEL_ERROR,
                               "Failed to convert a user port bit map to logical port list");
        }
        if (criterion >= 1) psc = static_cast<int>(criterion);
        w.info.psc = psc;
        w.info.dlf_index = w.info.mc_index = w.info.ipmc_index = -1;
        if (int rv = dxpx_trunk_set(t, &w.info); rv != 0) {
            if (!ports.empty()) {
                // Refused by the switch: the group stays as it was.
                if (created) dxpx_trunk_destroy(t);
                return trunk_refused(ev, req, t);
            }
            // No members: the group goes.
            trunkmgr_trunk_set(t, &w.bmp);
            dxpx_trunk_destroy(t);
            if (rv != SOC_E_PARAM) {
                web_refused_printf(req, LOG_MOD_TRUNKING, "Failed to destory trunk group id %d", t);
                return web_error_page(ev, req, "Set Trunk", "dxpx_trunk_destroy failed",
                                      WEB_RETRY_LABEL, WEB_RETRY_ACTION);
            }
            continue;
        }
        trunkmgr_trunk_set(t, &w.bmp);
        if (!members_to_vlan_one(ports, pvids_changed)) {
            return trunk_error(ev, req, "setportcbk_PVID_set failed", LOG_LEVEL_ERROR,
                               "Set ports PVID to default vid failed");
        }
        std::string line =
            web_tag_printf("Set trunk (%s) : Trunk ID = %d, ", criterion_name(psc), t);
        line += "member ports =";
        for (int p : ports)
            line += web_tag_printf(" %d,", p);
        logger_puts(LOG_LEVEL_INFO, LOG_MOD_TRUNKING, line.c_str());
    }
    return 0;
}

}  // namespace

int trunk_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    SalLock hold(trunkmgr_lock());  // the change and its save are one step
    // Saved whichever way the post ends, so that the stored groups and PVIDs
    // are those the switch runs with (a group the switch refuses late in the
    // post leaves the earlier ones applied).
    bool pvids_changed = false;
    int rv = trunk_apply(ev, req, &pvids_changed);
    bool saved = settings_save_item("trunk") == 1;
    if (pvids_changed && settings_save_item("portconf") != 1) saved = false;
    if (!saved && rv == 0) {
        return trunk_error(ev, req, "Save to nvram failed", LOG_LEVEL_ERROR,
                           "Save current trunk to nvram failed");
    }
    return rv;
}

void sspvar_trunk_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    const int loop = args[1];
    int number = loop + 1;
    if (args[2] != kLeftColumn) number = loop + (board_num_trunks + 1) / 2 + 1;
    switch (args[0]) {
        case kSelMembers: {
            std::vector<int> ports = trunk_ports(loop);
            std::string text;
            for (int i = 0; i < board_trunk_size; i++) {
                int p = i < static_cast<int>(ports.size()) ? ports[static_cast<size_t>(i)] : 0;
                text += web_tag_printf(i == 0 ? "%d" : ",%d", p);
            }
            web_tag_text(out, web_tag_printf("%s", text.c_str()));
            break;
        }
        case kSelTrunkCount:
            web_tag_int(out, board_num_trunks);
            break;
        case kSelTrunkSize:
            web_tag_int(out, board_trunk_size);
            break;
        case kSelCriterion:
            web_tag_int(out, running_criterion());
            break;
        case kSelTrunkNumber:
            web_tag_int(out, loop + 1);
            break;
        case kSelCellTitle:
            web_tag_text(
                out, number > board_num_trunks ? "&nbsp;" : web_tag_printf("Trunk %2d", number));
            break;
        case kSelCellId:
            web_tag_int(out, number);
            break;
        case kSelCriterionText:
        case kSelCriterionText + 1:
        case kSelCriterionText + 2: {
            const int psc = criterion_choice(args[0] - kSelCriterionText + loop);
            if (psc > kCriteriaOffered)
                web_tag_text(out, web_tag_printf("%s(running)", kCriterionTexts[psc - 1]));
            else if (psc != 0)
                web_tag_text(out, kCriterionTexts[psc - 1]);
            break;
        }
        case kSelPortRule:
            web_tag_text(out, web_tag_printf("%s", trunk_port_rule().c_str()));
            break;
        default:
            break;
    }
}

void sspvar_trunk_tag_misc(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    if (args[0] == 1) web_tag_int(out, 0);
    if (args[0] == kSelTrunkNumber) web_tag_int(out, args[1] + 1);
    if (args[0] == kMiscCriterionValue) web_tag_int(out, criterion_choice(args[1]));
}

void sspvar_trunk_tag_port(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    web_tag_text(out, web_tag_printf("%02d", args[0] + 1));
}

int ssploop_trunk_tag_psc(const uint16_t *, int index, httpd_request *) {
    return criterion_choice(index) != 0 ? 1 : 0;
}

int ssploop_trunk_tag_rows(const uint16_t *, int index, httpd_request *) {
    return index < (board_num_trunks + 1) / 2 ? 1 : 0;
}

int ssploop_trunk_tag_trunks(const uint16_t *, int index, httpd_request *) {
    return index < board_num_trunks ? 1 : 0;
}

int ssploop_trunk_tag_ports(const uint16_t *, int index, httpd_request *) {
    return index < board_num_uports ? 1 : 0;
}

int ssploop_trunk_tag_type(const uint16_t *, int, httpd_request *) {
    return 0;
}
