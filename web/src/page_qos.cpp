// The quality-of-service pages: 802.1p priority to queue map, queue
// scheduling and count, and the enhanced (port, DSCP, ToS, IP) priority maps
// of the QoS manager.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "sal_lock.h"
#include "dxp.h"
#include "dxpx.h"
#include "fp_share.h"
#include "logger.h"
#include "net_util.h"
#include "port_reserve.h"
#include "qosmgr.h"
#include "settings.h"
#include "web_pages.h"
#include "web_switch_pages.h"

namespace {

constexpr int kPriorities = 8;
constexpr int kSchedStrict = 1;
constexpr int kSchedWrr = 3;
constexpr int kWeightChoices = 15;
constexpr int kIpTextMax = 15;
constexpr int kIpAddPairsMax = 24;

const char *const kModeNames[] = {"Disabled", "Port Based QoS", "DSCP Based QoS", "ToS Based QoS",
                                  "IP Address Based QoS"};
const char *const kModeLog[] = {"ENHANCE_MODE_DISABLED", "ENHANCE_MODE_PORT_BASED_QOS",
                                "ENHANCE_MODE_DSCP_BASED_QOS", "ENHANCE_MODE_TOS_BASED_QOS",
                                "ENHANCE_MODE_IP_BASED_QOS"};
constexpr int kModeCount = 5;

enum QosSelector : uint16_t {
    kSelModeValue = 9,
    kSelModeChecked = 10,
    kSelModeName = 11,
    kSelPlusOne = 17,
    kSelQueueSelected = 18,
    kSelQueueMap = 19,
    kSelFalse1 = 20,
    kSelFalse2 = 21,
    kSelWeightMax = 22,
    kSelFalse3 = 23,
    kSelWeights = 24,
    kSelQueueCount = 25,
    kSelSchedValue = 27,
    kSelSchedSelected = 28,
    kSelSchedName = 29,
    kSelArg = 30,
    kSelQueueLabel = 31,
    kSelPlusOneAgain = 32,
    // Cells of the enhanced maps: argument 1 the row, argument 2 the column.
    kSelPortPriority = 40,
    kSelMapNumber = 41,  // of the DSCP or ToS map, whichever mode is on
    kSelMapPriority = 42,
    kSelMapAction = 43,
    kSelMapName = 44,
    kSelIpAddress = 45,
    kSelIpMask = 46,
    kSelIpPriority = 47,
    kSelIpNumber = 48,
};

// The DSCP and ToS maps print in two columns.
bool dscp_mode() {
    int mode = 0;
    qosmgr_mode_get(&mode);
    return mode == ENHANCE_MODE_DSCP_BASED_QOS;
}

int map_rows() {
    return (dscp_mode() ? MAX_QOS_DSCP_BASE_NUM : MAX_QOS_TOS_BASE_NUM) / 2;
}

int map_priority(int index, int *prio) {
    return dscp_mode() ? qosmgr_dscp_base_get_by_index(index, prio)
                       : qosmgr_tos_base_get_by_index(index, prio);
}

int queue_count() {
    int numq = 0;
    if (dxpx_cosq_config_get(&numq) != 0 || numq < 1) numq = 1;
    return numq;
}

bool parse_int(const char *text, int min, int max, int *out) {
    return web_form_int(text, min, max, out);
}

int qos_error(httpd_event *ev, httpd_request *req, const char *title, const char *message) {
    return web_error_page(ev, req, title, message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

void qos_saved(const char *text) {
    settings_save_item("qos");
    logger_puts(LOG_LEVEL_INFO, LOG_MOD_QOS, text);
}

struct MapPage {
    const char *title;
    const char *too_many;
    const char *set_failed;
    const char *log_text;
    int (*size)();
    int (*set)(int index, int priority);
    // Why entry i may not change now, or nullptr (any entry may).
    const char *(*held)(int index, int priority) = nullptr;
    // Entries 0..count-1 as one change (1), in place of set for each.
    int (*set_all)(const int *priorities, int count) = nullptr;
};

// A port under self-test keeps its priority until its test ends.
const char *port_map_held(int index, int priority) {
    int now = 0;
    if (qos_port_priority_get_by_index(index, &now) == 1 && now == priority) return nullptr;
    return web_port_held_text(index + 1);
}

int port_map_size() {
    return board_num_uports;
}
int dscp_map_size() {
    return MAX_QOS_DSCP_BASE_NUM;
}
int tos_map_size() {
    return MAX_QOS_TOS_BASE_NUM;
}

// One comma-separated list of priorities, entry i for map index i.
int map_page(httpd_event *ev, httpd_request *req, const MapPage &page) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    const char *text = web_form_value(ev, 0);
    std::string values = text != nullptr ? text : "";
    int prio[MAX_QOS_IP_BASE_NUM > BOARD_MAX_UPORTS ? MAX_QOS_IP_BASE_NUM : BOARD_MAX_UPORTS];
    int count = 0;
    size_t at = 0;
    while (!values.empty() && at <= values.size()) {
        size_t comma = values.find(',', at);
        std::string item = values.substr(at, comma == std::string::npos ? comma : comma - at);
        if (count >= page.size()) return qos_error(ev, req, page.title, page.too_many);
        if (!parse_int(item.c_str(), 0, kPriorities - 1, &prio[count]))
            return qos_error(ev, req, page.title, page.set_failed);
        count++;
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    for (int i = 0; i < count && page.held != nullptr; i++) {
        if (const char *held = page.held(i, prio[i])) return qos_error(ev, req, page.title, held);
    }
    {
        // The entries wait for the unit lock once, not once per entry.
        DxpUnitLock api(DXPX_CPU_UNIT);
        if (page.set_all != nullptr && count > 0 && page.set_all(prio, count) != 1)
            return qos_error(ev, req, page.title, page.set_failed);
        for (int i = 0; i < count && page.set_all == nullptr; i++) {
            if (page.set(i, prio[i]) != 1) return qos_error(ev, req, page.title, page.set_failed);
        }
    }
    qos_saved(page.log_text);
    return 0;
}

std::string queue_map_text() {
    std::string text;
    for (int p = 0; p < kPriorities; p++) {
        int q = 0;
        if (dxpx_cosq_mapping_get(p, &q) != 0) {
            logger_puts(LOG_LEVEL_ERROR, LOG_MOD_QOS, "dxpx_cosq_mapping_get : failed");
            return "";
        }
        text += web_tag_printf(p == 0 ? "%d" : ",%d", q);
    }
    return text;
}

std::string weights_text() {
    int mode = 0, delay = 0, weights[kPriorities] = {};
    if (dxpx_cosq_sched_get(&mode, weights, &delay) != 0) {
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_QOS, "dxpx_cosq_sched_get : failed");
        return "";
    }
    int numq = queue_count();
    std::string text;
    for (int q = 0; q < numq; q++) {
        int w = mode == kSchedStrict && q == 3 ? 1 : weights[q];
        text += web_tag_printf(q == 0 ? "%d" : ",%d", w);
    }
    if (numq == 1) text += ",0";
    return text;
}

int sched_mode() {
    int mode = kSchedStrict, delay = 0, weights[kPriorities] = {};
    dxpx_cosq_sched_get(&mode, weights, &delay);
    return mode;
}

int ip_cell(const uint16_t args[3], httpd_tag_out *out) {
    uint8_t ip[4], mask[4];
    int prio = 0;
    if (qosmgr_ip_base_get_by_index(args[1], ip, mask, &prio) != 1) return 0;
    char text[16];
    if (args[0] == kSelIpAddress) web_tag_text(out, web_tag_printf("%s", ip_to_str(text, ip)));
    if (args[0] == kSelIpMask) web_tag_text(out, web_tag_printf("%s", ip_to_str(text, mask)));
    if (args[0] == kSelIpPriority) web_tag_int(out, prio);
    return 1;
}

void map_cell(const uint16_t args[3], httpd_tag_out *out) {
    int prio = 0;
    switch (args[0]) {
        case kSelPortPriority:
            if (qos_port_priority_get_by_index(args[1], &prio) == 1) web_tag_int(out, prio);
            break;
        case kSelMapNumber:
            web_tag_text(out, web_tag_printf("%02d", args[1] + args[2] * map_rows()));
            break;
        case kSelMapPriority:
            if (map_priority(args[1] + args[2] * map_rows(), &prio) == 1) web_tag_int(out, prio);
            break;
        case kSelMapAction:
            web_tag_text(out, dscp_mode() ? "qos_enhance_dscp.cgi" : "qos_enhance_tos.cgi");
            break;
        case kSelMapName:
            web_tag_text(out, dscp_mode() ? "DSCP" : "ToS");
            break;
        case kSelIpNumber:
            web_tag_int(out, args[1] + 1);
            break;
        default:
            ip_cell(args, out);
            break;
    }
}

// The DSCP map and the mode's rules hold queues: a new priority map moves
// them, as a load of the saved settings would.
void queues_moved() {
    if (!qosmgr_queues_refresh(1))
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_QOS, "QoS Map Set : Can't move the QoS rules");
}

}  // namespace

int qos_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    // No self-test takes a port between the check of the held ports and the
    // scheduling change; the reservation goes before the manager's lock.
    PortReserveFreeze tests;
    SalLock hold(qosmgr_lock());  // the change and its save are one step
    const char *title = "QoS Map Set";
    int mode = 0, delay = 0, weights[kPriorities] = {};
    if (dxpx_cosq_sched_get(&mode, weights, &delay) != 0) {
        logger_puts(LOG_LEVEL_WARNING, LOG_MOD_QOS, "QoS Map Set : Can't get scheduling mode!");
        return qos_error(ev, req, title, "Can't get scheduling mode!");
    }
    int queues[kPriorities];
    for (int p = 0; p < kPriorities; p++) {
        if (dxpx_cosq_mapping_get(p, &queues[p]) != 0) queues[p] = 0;
    }
    // What the switch runs with, put back when the post fails part-way.
    const int old_mode = mode;
    int old_weights[kPriorities], old_queues[kPriorities];
    std::copy(std::begin(weights), std::end(weights), std::begin(old_weights));
    std::copy(std::begin(queues), std::end(queues), std::begin(old_queues));
    if (!parse_int(web_form_value(ev, 0), kSchedStrict, kSchedWrr, &mode) || mode == 2)
        return qos_error(ev, req, title, "Can't set scheduling mode!");
    const int numq = queue_count();
    const int last = mode == kSchedWrr ? numq + 8 : 9;
    for (int i = 1; i < ev->b.num && i <= last; i++) {
        const char *name = ev->a.pairs[i].name;
        if (name == nullptr || (name[0] != 'p' && name[0] != 'w')) continue;
        // Only p0-p7 and w0 to w(queues - 1), with values the switch takes.
        int index = 0, value = 0;
        if (name[0] == 'p') {
            if (!parse_int(name + 1, 0, kPriorities - 1, &index) ||
                !parse_int(ev->a.pairs[i].value, 0, numq - 1, &value))
                return qos_error(ev, req, title, "Can't set cos queue map!");
            queues[index] = value;
        } else if (mode == kSchedWrr) {
            if (!parse_int(name + 1, 0, numq - 1, &index))
                return qos_error(ev, req, title, "Can't set scheduling mode!");
            // A weight off the list is taken only as the one that runs.
            if (!parse_int(ev->a.pairs[i].value, 0, INT32_MAX, &value) ||
                (value > kWeightChoices && value != old_weights[index])) {
                // Named as the switch's own refusals are, so a hand-made
                // post learns which weight the page does not take.
                const std::string why = web_tag_printf(
                    "Queue %d weight is not one of the choices: 1 to %d", index, kWeightChoices);
                return qos_error(ev, req, title, why.c_str());
            }
            weights[index] = value;
        }
    }
    // The scheduling reaches every port, a tested one's too: it is set only
    // when it changes, so an unchanged Apply or a new map alone is taken
    // during a self-test. It is set first: the switch refuses some weights,
    // and a refused post must leave the map as it was too.
    const bool sched_changed =
        mode != old_mode || !std::equal(std::begin(weights), std::end(weights), old_weights);
    if (sched_changed) {
        if (const char *held = web_any_port_held_text()) {
            web_refused_printf(req, LOG_MOD_QOS, "QoS Map Set refused : %s", held);
            return qos_error(ev, req, title, held);
        }
        if (int rv = dxpx_cosq_sched_set(mode, weights, delay); rv != 0) {
            const char *why = rv == DXP_E_PARAM && mode == kSchedWrr
                                  ? dxp_cosq_weights_refusal(DXPX_CPU_UNIT, weights)
                                  : nullptr;
            if (why == nullptr) why = "Can't set scheduling mode!";
            web_refused_printf(req, LOG_MOD_QOS, "QoS Map Set : %s", why);
            dxpx_cosq_sched_set(old_mode, old_weights, delay);
            return qos_error(ev, req, title, why);
        }
    }
    std::string line = "QoS Map Set :";
    for (int p = 0; p < kPriorities; p++) {
        if (dxpx_cosq_mapping_set(p, queues[p]) != 0) {
            for (int back = 0; back < p; back++)
                dxpx_cosq_mapping_set(back, old_queues[back]);
            if (sched_changed) dxpx_cosq_sched_set(old_mode, old_weights, delay);
            web_refused_puts(req, LOG_MOD_QOS, "QoS Map Set : Can't set cos queue map!");
            return qos_error(ev, req, title, "Can't set cos queue map!");
        }
        line += web_tag_printf(" priority = %d map to queue %d,", p, queues[p]);
    }
    if (!std::equal(std::begin(queues), std::end(queues), std::begin(old_queues))) queues_moved();
    logger_puts(LOG_LEVEL_INFO, LOG_MOD_QOS, line.c_str());
    qos_saved(mode == kSchedStrict ? "QoS Map Set : queue mode = Strict Priority"
                                   : "QoS Map Set : queue mode = Weight Round-Robin");
    return 0;
}

int queue_num_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS || ev->b.num != 1) return 0;
    const char *text = web_form_value(ev, 0);
    if (int zero = 0; web_form_int(text, 0, 0, &zero)) return 0;
    // No self-test takes a port between the check of the held ports and the
    // change; the reservation goes before the manager's lock.
    PortReserveFreeze tests;
    SalLock hold(qosmgr_lock());
    int numq = 0, old_numq = 0;
    int map[kPriorities];
    bool read = dxpx_cosq_config_get(&old_numq) == 0;
    for (int p = 0; p < kPriorities && read; p++)
        read = dxpx_cosq_mapping_get(p, &map[p]) == 0;
    // The count reaches every port's queues, a tested one's too; the same
    // count again is no change.
    if (read && parse_int(text, 1, board_num_cosq, &numq) && numq != old_numq) {
        if (const char *held = web_any_port_held_text()) {
            web_refused_printf(req, LOG_MOD_QOS, "Change CoS Queue Number refused : %s", held);
            return qos_error(ev, req, "Change CoS Queue Number", held);
        }
    }
    if (!parse_int(text, 1, board_num_cosq, &numq) || !read || dxpx_cosq_config_set(numq) != 0) {
        web_refused_puts(req, LOG_MOD_QOS, "Change CoS Queue Number : Can't set cos queue number!");
        return qos_error(ev, req, "Change CoS Queue Number", "Can't set cos queue number!");
    }
    // The switch spreads the priorities anew over the queues; the
    // administrator's map is kept instead, a priority whose queue is gone
    // folding into the highest queue left.
    bool mapped = true, moved = false;
    for (int p = 0; p < kPriorities && mapped; p++) {
        moved = moved || map[p] >= numq;
        mapped = dxpx_cosq_mapping_set(p, map[p] < numq ? map[p] : numq - 1) == 0;
    }
    if (!mapped) {
        // Put back the count and the map the switch ran with.
        dxpx_cosq_config_set(old_numq);
        for (int p = 0; p < kPriorities; p++)
            dxpx_cosq_mapping_set(p, map[p]);
        web_refused_puts(req, LOG_MOD_QOS, "Change CoS Queue Number : Can't set cos queue map!");
        return qos_error(ev, req, "Change CoS Queue Number", "Can't set cos queue map!");
    }
    if (moved) queues_moved();
    settings_save_item("qos");
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_QOS, "Change CoS Queue Number : queue number = %d", numq);
    return 0;
}

int qos_enhance_mode_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    SalLock hold(qosmgr_lock());  // the change and its save are one step
    int mode = 0;
    if (!parse_int(web_form_value(ev, 0), 0, kModeCount - 1, &mode)) {
        web_refused_puts(req, LOG_MOD_QOS, "QoS Enhancement Set : mode = UNKNOWN");
        return qos_error(ev, req, "QoS Enhancement Set", "mode = UNKNOWN");
    }
    if (qosmgr_mode_set(mode) != 1) {
        const char *missing = web_feature_missing(WEB_FEATURE_QOS);
        const bool rules = mode == ENHANCE_MODE_PORT_BASED_QOS || mode == ENHANCE_MODE_IP_BASED_QOS;
        const char *refusal = qosmgr_refusal();
        const char *reason = rules && missing != nullptr ? missing
                             : refusal != nullptr        ? refusal
                                                         : "qosmgr_mode_set failed";
        web_refused_printf(req, LOG_MOD_QOS, "QoS Enhancement Set refused : %s", reason);
        return qos_error(ev, req, "QoS Enhancement Set", reason);
    }
    settings_save_item("qos");
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_QOS, "QoS Enhancement Set : mode = %s", kModeLog[mode]);
    return 0;
}

int qos_enhance_port_cgi(httpd_event *ev, httpd_request *req) {
    // No self-test takes or gives back a port between the check of the held
    // ports and the change; the reservation goes before the manager's lock,
    // as in the settings load.
    PortReserveFreeze tests;
    SalLock hold(qosmgr_lock());  // the change and its save are one step
    static const MapPage page = {
        .title = "Apply priority change for port based QoS",
        .too_many = "index >= webutil_show_error",
        .set_failed = "qos_port_mod_priority_by_index failed",
        .log_text = "QoS Enhancement Set : change port based qos map",
        .size = port_map_size,
        .set = qos_port_mod_priority_by_index,
        .held = port_map_held,
        .set_all = qos_port_priorities_set,
    };
    return map_page(ev, req, page);
}

int qos_enhance_dscp_cgi(httpd_event *ev, httpd_request *req) {
    SalLock hold(qosmgr_lock());  // the change and its save are one step
    static const MapPage page = {
        .title = "Apply priority change for DSCP based QoS",
        .too_many = "index >= MAX_QOS_DSCP_BASE_NUM",
        .set_failed = "qosmgr_dscp_base_set_by_index failed",
        .log_text = "QoS Enhancement Set : change DSCP based qos map",
        .size = dscp_map_size,
        .set = qosmgr_dscp_base_set_by_index,
    };
    return map_page(ev, req, page);
}

int qos_enhance_tos_cgi(httpd_event *ev, httpd_request *req) {
    SalLock hold(qosmgr_lock());  // the change and its save are one step
    static const MapPage page = {
        .title = "Apply priority change for TOS based QoS",
        .too_many = "index >= MAX_QOS_TOS_BASE_NUM",
        .set_failed = "qosmgr_tos_base_set_by_index failed",
        .log_text = "QoS Enhancement Set : change TOS based qos map",
        .size = tos_map_size,
        .set = qosmgr_tos_base_set_by_index,
    };
    return map_page(ev, req, page);
}

int qos_enhance_ip_cgi(httpd_event *ev, httpd_request *req) {
    SalLock hold(qosmgr_lock());  // the change and its save are one step
    static const MapPage page = {
        .title = "Apply priority change for Ip address based QoS",
        .too_many = "index >= qosmgr_ip_base_cnt_get()",
        .set_failed = "qosmgr_ip_base_set_by_index failed",
        .log_text = "QoS Enhancement Set : change IP based qos map",
        .size = qosmgr_ip_base_cnt_get,
        .set = qosmgr_ip_base_set_by_index,
    };
    return map_page(ev, req, page);
}

int qos_enhance_ip_add_cgi(httpd_event *ev, httpd_request *req) {
    SalLock hold(qosmgr_lock());  // the change and its save are one step
    if (ev->event != HTTPD_EV_ARGS || ev->b.num < 3 || ev->b.num >= kIpAddPairsMax) return 0;
    const char *title = "Add Ip based entry";
    const char *ip_text = web_form_value(ev, 0);
    const char *mask_text = web_form_value(ev, 1);
    uint8_t ip[4], mask[4];
    int prio = 0;
    if (qosmgr_ip_base_full()) return qos_error(ev, req, title, "Ip based entry table full!");
    if (strnlen(ip_text, kIpTextMax + 1) > kIpTextMax || net_util_ip_parse(ip_text, ip) != 0)
        return qos_error(ev, req, title, "Expecting IP address in the format w.x.y.z");
    if (strnlen(mask_text, kIpTextMax + 1) > kIpTextMax || net_util_ip_parse(mask_text, mask) != 0)
        return qos_error(ev, req, title, "Expecting IP MASK in the format w.x.y.z");
    if (!netmask_is_contiguous(mask)) return qos_error(ev, req, title, "IP mask is wrong value");
    if (qosmgr_ip_base_find(ip, mask) >= 0)
        return qos_error(ev, req, title, "The IP already existed");
    if (!parse_int(web_form_value(ev, 2), 0, kPriorities - 1, &prio))
        return qos_error(ev, req, title, "qosmgr_ip_base_add failed!");
    if (int rv = qosmgr_ip_base_add(ip, mask, prio); rv < 0)
        return qos_error(ev, req, title,
                         rv == SOC_E_RESOURCE ? FP_ROWS_KEPT_TEXT : "qosmgr_ip_base_add failed!");
    qos_saved("QoS Enhancement Set : add one entry for IP based qos");
    return 0;
}

int qos_enhance_ip_del_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    SalLock hold(qosmgr_lock());  // the change and its save are one step
    int entry = 0;
    if (!parse_int(web_form_value(ev, 0), 1, MAX_QOS_IP_BASE_NUM, &entry) ||
        qosmgr_ip_base_delete_by_index(entry - 1) != 1) {
        return qos_error(ev, req, "Delete Ip based entry",
                         "qosmgr_ip_base_delete_by_index failed!");
    }
    qos_saved("QoS Enhancement Set : delete one entry for IP based qos");
    return 0;
}

void sspvar_qos_tag_value(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    const int row = args[1];
    switch (args[0]) {
        case kSelModeValue:
            web_tag_int(out, row);
            break;
        case kSelModeChecked: {
            int mode = 0;
            qosmgr_mode_get(&mode);
            web_tag_text(out, mode == row ? "checked" : "");
            break;
        }
        case kSelModeName:
            if (row < kModeCount) web_tag_text(out, kModeNames[row]);
            break;
        case kSelPlusOne:
        case kSelPlusOneAgain:
            web_tag_int(out, row + 1);
            break;
        case kSelQueueSelected:
            web_tag_text(out, row + 1 == queue_count() ? "selected" : "");
            break;
        case kSelQueueMap:
            web_tag_text(out, web_tag_printf("%s", queue_map_text().c_str()));
            break;
        case kSelFalse1:
        case kSelFalse2:
        case kSelFalse3:
            web_tag_text(out, "false");
            break;
        case kSelWeightMax:
            web_tag_int(out, kWeightChoices);
            break;
        case kSelWeights:
            web_tag_text(out, web_tag_printf("%s", weights_text().c_str()));
            break;
        case kSelQueueCount:
            web_tag_int(out, queue_count());
            break;
        case kSelSchedValue:
            web_tag_int(out, row == 0 ? kSchedStrict : kSchedWrr);
            break;
        case kSelSchedSelected:
            web_tag_text(out,
                         sched_mode() == (row == 0 ? kSchedStrict : kSchedWrr) ? "selected" : "");
            break;
        case kSelSchedName:
            web_tag_text(out, row == 0 ? "Strict Priority" : "Weighted Round Robin");
            break;
        case kSelArg:
            web_tag_int(out, row);
            break;
        case kSelQueueLabel: {
            int numq = queue_count();
            const char *label = "";
            if (numq > 1 && row == 0) label = "&nbsp;&nbsp;(Low)";
            if (numq > 1 && row == numq - 1) label = "&nbsp;&nbsp;(High)";
            web_tag_text(out, label);
            break;
        }
        default:
            map_cell(args, out);
            break;
    }
}

// argument 0: 0 port, 1 DSCP, 2 ToS, 3 IP (with entries), 4 DSCP or ToS.
int ssploop_qos_tag_mode(const uint16_t args[3], int index, httpd_request *) {
    int mode = 0;
    qosmgr_mode_get(&mode);
    if (index != 0) return 0;
    if (args[0] == 4)
        return mode == ENHANCE_MODE_DSCP_BASED_QOS || mode == ENHANCE_MODE_TOS_BASED_QOS ? 1 : 0;
    if (args[0] + 1 != mode) return 0;
    return mode != ENHANCE_MODE_IP_BASED_QOS || qosmgr_ip_base_cnt_get() > 0 ? 1 : 0;
}

int ssploop_qos_tag_two(const uint16_t *, int index, httpd_request *) {
    return index < 2 ? 1 : 0;
}

int ssploop_qos_tag_queues(const uint16_t *, int index, httpd_request *) {
    return index < queue_count() ? 1 : 0;
}

int ssploop_qos_tag_once(const uint16_t *, int index, httpd_request *) {
    return index == 0 ? 1 : 0;
}

int ssploop_qos_tag_boardqueues(const uint16_t *, int index, httpd_request *) {
    return index < board_num_cosq ? 1 : 0;
}

int ssploop_qos_tag_weights(const uint16_t *, int index, httpd_request *) {
    return index < kWeightChoices ? 1 : 0;
}

int ssploop_qos_tag_rows(const uint16_t args[3], int index, httpd_request *) {
    int rows = args[0] == 0 ? map_rows() : qosmgr_ip_base_cnt_get();
    return index < rows ? 1 : 0;
}
