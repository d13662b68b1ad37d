// The rate limit pages (per-port ingress and egress limits) and the storm
// control pages (broadcast, multicast and DLF limits of one or all ports).
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "board.h"
#include "dxpx.h"
#include "logger.h"
#include "port_reserve.h"
#include "qosmgr.h"
#include "settings.h"
#include "web_l2_rate_pages.h"
#include "web_pages.h"
#include "web_switch_pages.h"

namespace {

struct Choice {
    const char *name;
    uint32_t value;
};

// The last ingress and egress choice only for ports above 100 Mb/s.
constexpr Choice kIngress[] = {{"No Limit", 0},      {"64 Kbps", 64},    {"256 Kbps", 256},
                               {"1 Mbps", 1024},     {"10 Mbps", 10240}, {"64 Mbps", 65536},
                               {"100 Mbps", 102400}, {"1 Gbps", 1024000}};
constexpr Choice kEgress[] = {{"1 Tokens", 1},        {"4 Tokens", 4},       {"16 Tokens", 16},
                              {"160 Tokens", 160},    {"1024 Tokens", 1024}, {"1600 Tokens", 1600},
                              {"16000 Tokens", 16000}};
constexpr Choice kBurst[] = {
    {"6 KB", 48}, {"10 KB", 80}, {"18 KB", 144}, {"34 KB", 272}, {"66 KB", 528}};
constexpr uint32_t kEgressUnit = 64;  // kbps per egress rate unit

struct StormType {
    int flags;
    const char *name;
};
// Form values 1 to 8. The form offers the first five; the others (which the
// monitor and a stored file may hold) only as what a port runs, so that an
// Apply keeps them.
constexpr StormType kStormTypes[] = {{0, "None"},      {4, "BC"}, {6, "BC+MC"}, {5, "BC+DLF"},
                                     {7, "BC+MC+DLF"}, {2, "MC"}, {1, "DLF"},   {3, "MC+DLF"}};
constexpr int kStormTypeCount = 5;
constexpr int kStormTypeAll = static_cast<int>(std::size(kStormTypes));
constexpr int kStormBcast = 4, kStormMcast = 2, kStormDlf = 1;

// The storm form's port when no request selects one; -1 until the first.
int storm_port_last = -1;

bool parse_uint(const char *text, unsigned long max, uint32_t *out) {
    long long v = 0;
    if (text == nullptr || *text == '-' ||
        !web_form_number(text, 0, static_cast<long long>(max), &v))
        return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

bool lport_of(int uport, int *lport) {
    return uport >= 1 && uport <= board_num_uports && ulpm_to_lport(uport, lport) == 0;
}

// A port that can run above 100 Mb/s gets the last rate choices.
bool port_fast(int uport) {
    int lport = 0;
    dxpx_lport_t e{};
    if (!lport_of(uport, &lport) || dxpx_lport_get(lport, &e) != 0) return false;
    return (e.flags & DXPX_PORT_F_VALID) != 0 && (e.flags & DXPX_PORT_F_GE) != 0;
}

// Selected port of the rate form: the request's, else port 1.
int rate_port(httpd_request *req) {
    const void *key = reinterpret_cast<const void *>(&rate_cgi);
    const int *p = static_cast<const int *>(httpd_req_state_find(req, key));
    return p != nullptr ? *p : 1;
}

void rate_port_set(httpd_request *req, int uport) {
    auto *p = static_cast<int *>(
        httpd_req_state_get(req, reinterpret_cast<const void *>(&rate_cgi), sizeof(int)));
    if (p != nullptr) *p = uport;
}

struct Rates {
    bool ingress_ok = false, egress_ok = false;
    uint32_t ingress = 0, ingress_burst = 0, egress = 0, egress_burst = 0;
};

Rates rates_of(int uport) {
    Rates r;
    int lport = 0;
    if (!lport_of(uport, &lport)) return r;
    r.ingress_ok = dxpx_port_rate_ingress_get(lport, &r.ingress, &r.ingress_burst) == 0;
    r.egress_ok = dxpx_port_rate_egress_get(lport, &r.egress, &r.egress_burst) == 0;
    return r;
}

// One of a form list's offers: a step of the list, or what the port runs.
struct Offer {
    std::string name;
    uint32_t value;
};

// What a list presets: the port's running value when it has one.
struct Running {
    bool known = false;
    uint32_t value = 0;
    std::string name;  // the offer's name when no step is the value
};

// A list's steps for the port, with what runs as an offer of its own (in
// value order) when no step is it: an Apply that leaves the list alone then
// posts the value that runs rather than the first step.
std::vector<Offer> offers(const Choice *list, size_t count, const Running &running) {
    std::vector<Offer> out;
    bool found = !running.known;
    for (size_t i = 0; i < count; i++) {
        if (!found && list[i].value >= running.value) {
            found = true;
            if (list[i].value != running.value) out.push_back({running.name, running.value});
        }
        out.push_back({list[i].name, list[i].value});
    }
    if (!found) out.push_back({running.name, running.value});
    return out;
}

void offers_print(httpd_tag_out *out, const std::vector<Offer> &list, bool names) {
    std::string text;
    for (const Offer &o : list) {
        if (!text.empty()) text += ",";
        text += names ? web_tag_printf("\"%s\"", o.name.c_str()) : web_tag_printf("%u", o.value);
    }
    web_tag_text(out, web_tag_printf("%s", text.c_str()));
}

const char *rate_text(uint32_t kbps) {
    return kbps == 0 ? "No Limit" : web_tag_printf("%u %s", kbps, "kbps");
}

// The lists of the rate form, in the order of their tags.
enum class RateList { Ingress, Egress, Burst };

// A list of the port's form: the steps it offers and the value that runs.
// An egress rate and burst run only with the egress limit on; off, the
// first steps are as good as any.
struct RateForm {
    const Choice *steps = nullptr;
    size_t count = 0;
    Running running;
};

RateForm rate_form(int uport, RateList list) {
    const bool fast = port_fast(uport);
    const Rates r = rates_of(uport);
    const bool egress_on = r.egress_ok && r.egress != 0;
    RateForm f;
    switch (list) {
        case RateList::Ingress:
            f.steps = kIngress;
            f.count = fast ? 8 : 7;
            f.running = {r.ingress_ok, r.ingress, std::string(rate_text(r.ingress)) + " (running)"};
            break;
        case RateList::Egress:
            f.steps = kEgress;
            f.count = fast ? 7 : 6;
            f.running = {egress_on, r.egress / kEgressUnit,
                         web_tag_printf("%u kbps (running)", r.egress)};
            break;
        case RateList::Burst:
            f.steps = kBurst;
            f.count = std::size(kBurst);
            f.running = {egress_on, r.egress_burst,
                         web_tag_printf("%u KB (running)", r.egress_burst / 8)};
            break;
    }
    return f;
}

// A limit or burst between two of the chip's steps runs as the nearest
// step: the answer page says which ran, where it is not what was posted.
constexpr size_t kNoteSize = 320;

void rate_note_ran(httpd_request *req, int uport, uint32_t ingress, uint32_t egress,
                   uint32_t burst) {
    const Rates r = rates_of(uport);
    std::string note;
    auto ran = [&note](const char *what, uint32_t posted, uint32_t runs, const char *unit) {
        if (posted == runs) return;
        note += note.empty() ? "" : "; ";
        note += web_tag_printf("%s %u %s runs as %u %s", what, posted, unit, runs, unit);
    };
    if (r.ingress_ok) ran("ingress", ingress, r.ingress, "kbps");
    if (r.egress_ok) ran("egress", egress, r.egress, "kbps");
    if (r.egress_ok && egress != 0) ran("egress burst", burst, r.egress_burst, "kbit");
    if (note.empty()) return;
    note = "Port " + std::to_string(uport) + ": " + note + ", the nearest steps the port has.";
    auto *kept = static_cast<char *>(
        httpd_req_state_get(req, reinterpret_cast<const void *>(&setrate_cgi), kNoteSize));
    if (kept != nullptr) std::snprintf(kept, kNoteSize, "%s", note.c_str());
}

// The one field of a port selection, by name; null when the post has
// another or more.
const char *port_field(const httpd_event *ev) {
    static constexpr const char *kPort[] = {"port"};
    const char *value = nullptr;
    return web_form_fields(ev, kPort, 1, &value) == nullptr ? value : nullptr;
}

int rate_error(httpd_event *ev, httpd_request *req, const char *message, const char *log_text) {
    if (log_text != nullptr) logger_puts(LOG_LEVEL_ERROR, LOG_MOD_RATE, log_text);
    return web_error_page(ev, req, "Set Rate", message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

// A value the form may not set: logged as a warning naming the client.
int rate_refused(httpd_event *ev, httpd_request *req, const char *message, const char *log_text) {
    web_refused_puts(req, LOG_MOD_RATE, log_text);
    return web_error_page(ev, req, "Set Rate", message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

// A port's storm state: type 1..5 (0 when the flags form no type) and rate.
struct Storm {
    bool ok = false;
    int type = 0;
    int rate = 0;
};

Storm storm_of(int uport) {
    Storm s;
    int lport = 0;
    if (!lport_of(uport, &lport)) return s;
    struct Read {
        int (*get)(int *, int *, int);
        int bit;
    };
    const Read reads[] = {{.get = dxpx_rate_mcast_get, .bit = kStormMcast},
                          {.get = dxpx_rate_dlfbc_get, .bit = kStormDlf},
                          {.get = dxpx_rate_bcast_get, .bit = kStormBcast}};
    int flags = 0;
    bool rate_found = false;
    for (const Read &r : reads) {
        int own = 0, rate = 0;
        if (r.get(&rate, &own, lport) != 0) return s;
        if ((own & r.bit) != 0 && !rate_found) {
            s.rate = rate;
            rate_found = true;
        }
        flags |= own;
    }
    s.ok = true;
    for (int t = 0; t < kStormTypeAll; t++)
        if (kStormTypes[t].flags == flags) s.type = t + 1;
    return s;
}

int storm_port_shown(httpd_request *req) {
    const void *key = reinterpret_cast<const void *>(&storm_show_per_port_cgi);
    if (const int *p = static_cast<const int *>(httpd_req_state_find(req, key)); p != nullptr)
        return *p;
    if (storm_port_last >= 0) return storm_port_last;
    int all = 0;
    storm_allports_get(&all);
    return all != 0 ? 0 : 1;
}

void storm_port_select(httpd_request *req, int uport) {
    storm_port_last = uport;
    auto *p = static_cast<int *>(httpd_req_state_get(
        req, reinterpret_cast<const void *>(&storm_show_per_port_cgi), sizeof(int)));
    if (p != nullptr) *p = uport;
}

int storm_error(httpd_event *ev, httpd_request *req, const char *title, const char *message,
                const char *log_text) {
    if (log_text != nullptr) logger_puts(LOG_LEVEL_ERROR, LOG_MOD_RATE, log_text);
    return web_error_page(ev, req, title, message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

// A value the form may not set: logged as a warning naming the client.
int storm_refused(httpd_event *ev, httpd_request *req, const char *title, const char *message,
                  const char *log_text) {
    web_refused_puts(req, LOG_MOD_RATE, log_text);
    return web_error_page(ev, req, title, message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

// 0, 1 when the multicast or broadcast call failed, 2 for the DLF call.
int storm_apply(int uport, int rate, int flags) {
    int lport = 0;
    if (!lport_of(uport, &lport)) return 1;
    if (dxpx_rate_mcast_set(rate, flags, lport) != 0) return 1;
    if (dxpx_rate_bcast_set(rate, flags, lport) != 0) return 1;
    if (dxpx_rate_dlfbc_set(rate, flags, lport) != 0) return 2;
    return 0;
}

// A port's storm classes and their shared limit, as read before a change so
// that a change that fails half-way can be put back.
struct StormSaved {
    int lport = -1;
    int rate = 0;
    int flags = 0;
};

bool storm_save(int uport, StormSaved *saved) {
    if (!lport_of(uport, &saved->lport)) return false;
    int (*const gets[])(int *, int *, int) = {dxpx_rate_mcast_get, dxpx_rate_bcast_get,
                                              dxpx_rate_dlfbc_get};
    for (auto get : gets) {
        int rate = 0;
        if (get(&rate, &saved->flags, saved->lport) != 0) return false;
        saved->rate = rate;
    }
    return true;
}

void storm_restore(const StormSaved &saved) {
    if (saved.lport < 0) return;
    dxpx_rate_mcast_set(saved.rate, saved.flags, saved.lport);
    dxpx_rate_bcast_set(saved.rate, saved.flags, saved.lport);
    dxpx_rate_dlfbc_set(saved.rate, saved.flags, saved.lport);
}

// The storm state the form shows: "all ports" shows the first port's.
Storm storm_shown(httpd_request *req) {
    const int uport = storm_port_shown(req);
    return storm_of(uport != 0 ? uport : 1);
}

// The type of the form's n-th choice (from 0): the offered ones, then the
// shown port's when it is none of them.
int storm_choice_type(const Storm &s, int index) {
    if (index < kStormTypeCount) return index + 1;
    return index == kStormTypeCount && s.type > kStormTypeCount ? s.type : 0;
}

}  // namespace

int rate_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    uint32_t port = 0;
    int lport = 0;
    const char *text = port_field(ev);
    if (!parse_uint(text, BOARD_MAX_UPORTS, &port) || !lport_of(static_cast<int>(port), &lport)) {
        return rate_error(ev, req,
                          web_tag_printf("port \"%.16s\" is no front-panel port; nothing changed",
                                         text != nullptr ? text : ""),
                          nullptr);
    }
    rate_port_set(req, static_cast<int>(port));
    return 0;
}

int setrate_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    // The fields are read by name: a post in another order means the same,
    // and one that lacks a field is refused rather than taken as 0.
    static constexpr const char *kNames[] = {"port", "ingress", "egress_enable", "egress", "burst"};
    constexpr int kFields = static_cast<int>(std::size(kNames));
    const char *values[kFields];
    const char *stray = web_form_fields(ev, kNames, kFields, values);
    uint32_t port = 0;
    int lport = 0;
    if (!parse_uint(values[0], BOARD_MAX_UPORTS, &port) ||
        !lport_of(static_cast<int>(port), &lport)) {
        const char *why = stray != nullptr       ? "the post is refused"
                          : values[0] == nullptr ? "the post lacks the port"
                                                 : "no front-panel port";
        return rate_refused(ev, req,
                            web_tag_printf("port \"%.16s\": %s; nothing changed",
                                           values[0] != nullptr ? values[0] : "", why),
                            "Set Rate: Transfer user port number to logical port number failed.\n");
    }
    const int uport = static_cast<int>(port);
    rate_port_set(req, uport);
    if (stray != nullptr)
        return rate_error(ev, req,
                          web_tag_printf("port %d: field \"%.16s\" is unknown or given twice; "
                                         "nothing changed",
                                         uport, stray),
                          nullptr);
    // A self-test gives the port back as it found it.
    if (const char *held = web_port_held_text(uport)) return rate_error(ev, req, held, nullptr);
    // Every value is checked before anything changes. A refusal names the
    // port, the field and the value.
    uint32_t numbers[kFields] = {};
    for (int i = 1; i < kFields; i++) {
        if (values[i] == nullptr)
            return rate_error(
                ev, req,
                web_tag_printf("port %d: the post lacks %s; nothing changed", uport, kNames[i]),
                nullptr);
        if (!parse_uint(values[i], UINT32_MAX, &numbers[i]))
            return rate_error(ev, req,
                              web_tag_printf("port %d: %s \"%.16s\" is not a number the page "
                                             "takes; nothing changed",
                                             uport, kNames[i], values[i]),
                              nullptr);
    }
    const uint32_t ingress = numbers[1], enable = numbers[2], egress = numbers[3],
                   burst = numbers[4];
    // The form's choice posts 0 or 1; anything else is no state at all.
    if (enable > 1)
        return rate_error(ev, req,
                          web_tag_printf("port %d: egress_enable %u is neither 0 (off) nor 1 "
                                         "(on); nothing changed",
                                         uport, enable),
                          nullptr);
    // An enabled limit of nothing would run as no limit at all: the limit
    // is removed with the egress limit disabled.
    if (enable != 0 && egress == 0)
        return rate_error(ev, req,
                          web_tag_printf("port %d: egress 0 with the egress limit enabled is no "
                                         "limit (disable the egress limit to remove it); nothing "
                                         "changed",
                                         uport),
                          nullptr);
    // No burst is no bucket: the page offers none and the limiter would run
    // its smallest. An unchanged running one is kept as it runs.
    const RateForm bursts = rate_form(uport, RateList::Burst);
    if (enable != 0 && burst == 0 && !(bursts.running.known && bursts.running.value == 0))
        return rate_error(ev, req,
                          web_tag_printf("port %d: egress burst 0 is none the page offers (the "
                                         "smallest is %u kbit); nothing changed",
                                         uport, kBurst[0].value),
                          nullptr);
    // A limit above the largest the limiter runs is refused by name below;
    // one that is not even a count of kbps is refused here.
    if (enable != 0 && egress > UINT32_MAX / kEgressUnit)
        return rate_error(ev, req,
                          web_tag_printf("port %d: egress %u (x %u kbps) is above the largest "
                                         "limit the port runs; nothing changed",
                                         uport, egress, kEgressUnit),
                          nullptr);

    // A limit the port cannot run is named before any change.
    uint32_t egress_kbps = enable != 0 ? egress * kEgressUnit : 0;
    uint32_t egress_burst = enable != 0 ? burst : 0;
    const std::string port_label = "port " + std::to_string(uport);
    if (const char *refused = dxpx_port_rates_refusal(lport, port_label.c_str(), ingress, ingress,
                                                      egress_kbps, egress_burst))
        return rate_error(ev, req, refused, nullptr);

    uint32_t current = 0, current_burst = 0;
    if (dxpx_port_rate_ingress_get(lport, &current, &current_burst) != 0) {
        return rate_error(ev, req, "Get ingress rate failed",
                          web_tag_printf("Set Rate: Get Port #%d ingress rate failed.\n", uport));
    }
    // The egress limit goes first: the switch refuses some of them, while it
    // takes every ingress limit, so a refused post changes nothing.
    uint32_t old_egress = 0, old_egress_burst = 0;
    const bool egress_read = dxpx_port_rate_egress_get(lport, &old_egress, &old_egress_burst) == 0;
    if (dxpx_port_rate_egress_set(lport, egress_kbps, egress_burst) != 0)
        return rate_error(ev, req, "Set egress rate failed", "Set Rate: Set egress rate failed.\n");
    if (ingress != current) {
        if (dxpx_port_rate_ingress_set(lport, ingress, ingress) != 0) {
            if (egress_read) dxpx_port_rate_egress_set(lport, old_egress, old_egress_burst);
            return rate_error(
                ev, req, "Set ingress rate failed",
                web_tag_printf("Set Rate: Set Port #%d ingress rate failed.\n", uport));
        }
        if (ingress == 0) {
            logger_printf(LOG_LEVEL_INFO, LOG_MOD_RATE, "Set Port #%d ingress rate no limit.\n",
                          uport);
        } else {
            logger_printf(LOG_LEVEL_INFO, LOG_MOD_RATE, "Set Port #%d ingress rate %dKbps.\n",
                          uport, static_cast<int>(ingress));
        }
    }
    settings_save_item("rate");
    rate_note_ran(req, uport, ingress, egress_kbps, egress_burst);
    return 0;
}

int storm_show_per_port_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    uint32_t port = 0;
    const char *text = port_field(ev);
    if (!parse_uint(text, BOARD_MAX_UPORTS, &port) ||
        port > static_cast<uint32_t>(board_num_uports)) {
        return storm_error(ev, req, "Get Storm",
                           web_tag_printf("port \"%.16s\" is no front-panel port (0 for all "
                                          "ports); nothing changed",
                                          text != nullptr ? text : ""),
                           nullptr);
    }
    storm_port_select(req, static_cast<int>(port));
    return 0;
}

int storm_per_port_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    // By name, as the rate form: another order means the same.
    static constexpr const char *kNames[] = {"port", "type", "rate"};
    const char *values[std::size(kNames)];
    const char *stray = web_form_fields(ev, kNames, static_cast<int>(std::size(kNames)), values);
    uint32_t port = 0, type = 0, rate = 0;
    int lport = 0;
    if (!parse_uint(values[0], BOARD_MAX_UPORTS, &port) ||
        (port != 0 && !lport_of(static_cast<int>(port), &lport))) {
        return storm_refused(
            ev, req, "Get Storm",
            web_tag_printf("port \"%.16s\": %s; nothing changed",
                           values[0] != nullptr ? values[0] : "",
                           values[0] == nullptr ? "the post lacks the port"
                                                : "no front-panel port (0 for all ports)"),
            "Convert from logical port to user port failed");
    }
    const int uport = static_cast<int>(port);
    storm_port_select(req, uport);
    const std::string ports = uport != 0 ? "port " + std::to_string(uport) : "all ports";
    if (stray != nullptr)
        return storm_error(ev, req, "Set Storm",
                           web_tag_printf("%s: field \"%.16s\" is unknown or given twice; "
                                          "nothing changed",
                                          ports.c_str(), stray),
                           nullptr);
    for (size_t i = 1; i < std::size(kNames); i++)
        if (values[i] == nullptr)
            return storm_error(
                ev, req, "Set Storm",
                web_tag_printf("%s: the post lacks %s; nothing changed", ports.c_str(), kNames[i]),
                nullptr);
    if (!parse_uint(values[1], kStormTypeAll, &type) || type < 1)
        return storm_error(ev, req, "Set Storm",
                           web_tag_printf("%s: storm type \"%.16s\" is none of 1 to %d; nothing "
                                          "changed",
                                          ports.c_str(), values[1], kStormTypeCount),
                           nullptr);
    // The types past the form's five are taken only as what the shown port
    // runs, posted back unchanged.
    const int shown_type = storm_of(uport != 0 ? uport : 1).type;
    if (static_cast<int>(type) > kStormTypeCount && static_cast<int>(type) != shown_type) {
        return storm_error(ev, req, "Set Storm",
                           web_tag_printf("%s: storm type %u (%s) is not one the page offers; "
                                          "nothing changed",
                                          ports.c_str(), type, kStormTypes[type - 1].name),
                           nullptr);
    }
    if (type != 1 && !parse_uint(values[2], INT32_MAX, &rate))
        return storm_error(ev, req, "Set Storm",
                           web_tag_printf("%s: storm rate \"%.16s\" is not a number of kbps "
                                          "(0 for no limit); nothing changed",
                                          ports.c_str(), values[2]),
                           nullptr);
    // A rate of 0 is no limit: no class stays on with it.
    const int flags = rate != 0 ? kStormTypes[type - 1].flags : 0;
    const int kbps = static_cast<int>(rate);

    // The ports' storm state is read first; a failure part-way puts back
    // every port already changed, and the "all ports" flag changes only with
    // success.
    const int first = uport != 0 ? uport : 1;
    const int last = uport != 0 ? uport : board_num_uports;
    for (int n = first; n <= last; n++)
        if (const char *held = web_port_held_text(n))
            return storm_error(ev, req, "Set Storm", held, nullptr);
    // A limit a port cannot run is named before any change.
    for (int n = first; n <= last && flags != 0; n++) {
        int lp = 0;
        const std::string label = "port " + std::to_string(n);
        const char *refused =
            lport_of(n, &lp) ? dxpx_storm_refusal(lp, label.c_str(), rate) : nullptr;
        if (refused != nullptr) return storm_error(ev, req, "Set Storm", refused, nullptr);
    }
    std::vector<StormSaved> saved(static_cast<size_t>(last - first + 1));
    for (int n = first; n <= last; n++) {
        if (!storm_save(n, &saved[static_cast<size_t>(n - first)])) {
            return storm_error(ev, req, "Get Storm", "dxpx_rate_mcast_get failed",
                               "Get Storm: dxpx_rate_mcast_get failed.\n");
        }
    }
    int failed = 0;
    for (int n = first; n <= last && failed == 0; n++) {
        failed = storm_apply(n, kbps, flags);
        if (failed != 0) {
            for (int back = first; back <= n; back++)
                storm_restore(saved[static_cast<size_t>(back - first)]);
        }
    }
    if (failed == 0) storm_allports_set(uport != 0 ? 0 : 1);
    if (failed == 1) {
        return storm_error(ev, req, "Set Storm", "dxpx_rate_mcast_set  failed",
                           "Set Storm: dxpx_rate_mcast_set failed.\n");
    }
    if (failed == 2) {
        return storm_error(ev, req, "Set Storm", "dxpx_rate_dlfbc_set  failed",
                           "Set Storm: dxpx_rate_dlfbc_set failed.\n");
    }
    const char *name = kStormTypes[type - 1].name;
    if (uport != 0 && flags == 0) {
        logger_printf(LOG_LEVEL_INFO, LOG_MOD_RATE, "Set storm control no limit for port %d\n",
                      uport);
    } else if (uport != 0) {
        logger_printf(LOG_LEVEL_INFO, LOG_MOD_RATE, "Set storm control, %s %dKbps for port %d\n",
                      name, kbps, uport);
    } else if (flags == 0) {
        logger_puts(LOG_LEVEL_INFO, LOG_MOD_RATE, "Set storm control no limit for system\n");
    } else {
        logger_printf(LOG_LEVEL_INFO, LOG_MOD_RATE, "Set storm control, %s %dKbps for system\n",
                      name, kbps);
    }
    settings_save_item("rate");
    // A rate between two of the chip's steps runs as the nearest one.
    const Storm ran = storm_of(first);
    if (flags != 0 && ran.ok && ran.rate != kbps) {
        auto *kept = static_cast<char *>(httpd_req_state_get(
            req, reinterpret_cast<const void *>(&storm_per_port_cgi), kNoteSize));
        if (kept != nullptr)
            std::snprintf(kept, kNoteSize,
                          "%s: storm rate %d kbps runs as %d kbps, the nearest step the port has.",
                          uport != 0 ? ("Port " + std::to_string(uport)).c_str() : "All ports",
                          kbps, ran.rate);
    }
    return 0;
}

void sspvar_rate_tag_choice(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    if (args[0] / 2 > static_cast<int>(RateList::Burst)) return;
    const RateForm f = rate_form(rate_port(req), static_cast<RateList>(args[0] / 2));
    offers_print(out, offers(f.steps, f.count, f.running), args[0] % 2 == 0);
}

void sspvar_rate_tag_form(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    const int uport = rate_port(req);
    if (args[0] == 0) return web_tag_int(out, uport);
    if (args[0] == 6) {
        const void *key = reinterpret_cast<const void *>(&setrate_cgi);
        if (const auto *note = static_cast<const char *>(httpd_req_state_find(req, key)))
            web_tag_text(out, note);
        return;
    }
    if (args[0] == 5) {
        if (args[1] + 1 == uport) web_tag_text(out, "selected");
        return;
    }
    if (args[0] == 2) {
        const Rates r = rates_of(uport);
        if (r.egress_ok && r.egress != 0) web_tag_text(out, "selected");
        return;
    }
    // Tags 1, 3 and 4 preset the ingress, egress and burst lists.
    RateList list = RateList::Ingress;
    switch (args[0]) {
        case 1:
            break;
        case 3:
            list = RateList::Egress;
            break;
        case 4:
            list = RateList::Burst;
            break;
        default:
            return;
    }
    const RateForm f = rate_form(uport, list);
    web_tag_text(out, web_tag_printf("%u", f.running.known ? f.running.value : f.steps[0].value));
}

void sspvar_rate_tag_row(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    const Rates r = rates_of(args[1] + 1);
    switch (args[0]) {
        case 0:
            if (!r.egress_ok) web_tag_text(out, "<!--");
            break;
        case 4:
            if (!r.egress_ok) web_tag_text(out, "-->");
            break;
        case 1:
            if (r.ingress_ok) web_tag_text(out, rate_text(r.ingress));
            break;
        case 2:
            if (r.egress_ok) web_tag_text(out, rate_text(r.egress));
            break;
        case 3:
            if (r.egress_ok && r.egress != 0)
                web_tag_text(out, web_tag_printf("%u KB", r.egress_burst / 8));
            else
                web_tag_text(out, "-");
            break;
        default:
            break;
    }
}

int ssploop_storm_tag_type(const uint16_t *, int index, httpd_request *req) {
    return storm_choice_type(storm_shown(req), index) != 0 ? 1 : 0;
}

void sspvar_storm_tag_form(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    const int uport = storm_port_shown(req);
    const Storm s = storm_shown(req);
    const int type = storm_choice_type(s, args[1]);
    switch (args[0]) {
        case 0:
            web_tag_int(out, type);
            break;
        case 1:
            if (type > kStormTypeCount)
                web_tag_text(out, web_tag_printf("%s (running)", kStormTypes[type - 1].name));
            else if (type != 0)
                web_tag_text(out, kStormTypes[type - 1].name);
            break;
        case 2:
            if (type != 0 && type == s.type) web_tag_text(out, "selected");
            break;
        case 3:
            web_tag_int(out, uport);
            break;
        case 4:
            web_tag_int(out, s.type > 1 ? s.rate : 0);
            break;
        case 5:
            if (args[1] + args[2] == uport) web_tag_text(out, "selected");
            break;
        case 6: {
            const void *key = reinterpret_cast<const void *>(&storm_per_port_cgi);
            if (const auto *note = static_cast<const char *>(httpd_req_state_find(req, key)))
                web_tag_text(out, note);
            break;
        }
        default:
            break;
    }
}

void sspvar_storm_tag_row(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    const Storm s = storm_of(args[1] + 1);
    if (!s.ok || s.type == 0) return;
    if (args[0] == 0) web_tag_text(out, kStormTypes[s.type - 1].name);
    if (args[0] == 1) web_tag_text(out, rate_text(s.type > 1 ? static_cast<uint32_t>(s.rate) : 0));
}
