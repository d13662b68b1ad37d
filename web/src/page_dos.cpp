// The DoS attack prevention pages over the DoS prevention manager; every
// change saves the "dos" item.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dosmgr.h"
#include "settings.h"
#include "web_dos_pages.h"
#include "dxp_error.h"
#include "logger.h"
#include "port_reserve.h"
#include "web_pages.h"
#include "web_switch_pages.h"

namespace {

constexpr const char *kTitle = "DoS Attack Prevention";
constexpr int kGlobalTypes[] = {DOS_ATTACK_LAND, DOS_ATTACK_BLAT, DOS_ATTACK_XMAS_SCAN};
constexpr int kPortTypes[] = {DOS_ATTACK_SMURF, DOS_ATTACK_PING_FLOOD, DOS_ATTACK_SYN_FLOOD};
constexpr int kChecks = 3;
constexpr int kRateMin = 64, kRateMax = 1048576;
constexpr int kOtherRate = 128;

// The port the per-port page shows, kept for the rest of the request.
struct Shown {
    int port;  // -1: all ports
    int all;
};

const void *shown_key() {
    return reinterpret_cast<const void *>(&ssphandler_dos_showperport_cgi);
}

void shown_set(httpd_request *req, int port) {
    auto *s = static_cast<Shown *>(httpd_req_state_get(req, shown_key(), sizeof(Shown)));
    if (s == nullptr) return;
    s->port = port;
    s->all = port == -1 ? 1 : 0;
}

Shown shown_get(const httpd_request *req) {
    const auto *s = static_cast<const Shown *>(httpd_req_state_find(req, shown_key()));
    return s != nullptr ? *s : Shown{.port = 1, .all = 0};
}

int error(httpd_event *ev, httpd_request *req, const char *message) {
    return web_error_page(ev, req, kTitle, message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

// A switch without the service refuses a post that switches a check on
// before the manager is asked for any of them: one warning, saying what
// the page says, as the other feature pages log their refusals.
const char *unavailable(const char *checks) {
    return std::strchr(checks, '1') != nullptr ? web_feature_missing(WEB_FEATURE_AUTO_DOS)
                                               : nullptr;
}

int unavailable_error(httpd_event *ev, httpd_request *req, const char *missing) {
    web_refused_printf(req, LOG_MOD_DOS, "DOS setting failed : %s", missing);
    return error(ev, req, missing);
}

// The switch's refusal; a switch without the service says why.
int refused_error(httpd_event *ev, httpd_request *req, int rv) {
    const char *missing = web_feature_missing(WEB_FEATURE_AUTO_DOS);
    return error(ev, req, rv == DXP_E_UNAVAIL && missing != nullptr ? missing : dxp_errmsg(rv));
}

bool checks_ok(const char *text) {
    return text != nullptr && std::strlen(text) == kChecks &&
           std::strspn(text, "01") == static_cast<size_t>(kChecks);
}

// The global form may also say '2' for a type left as it is: one that only
// some ports have, whose box the user did not touch.
constexpr char kLeave = '2';

bool global_checks_ok(const char *text) {
    return text != nullptr && std::strlen(text) == kChecks &&
           std::strspn(text, "012") == static_cast<size_t>(kChecks);
}

bool number(const char *text, int min, int max, int *out) {
    return web_form_int(text, min, max, out);
}

bool on(int port, int type, int *rate = nullptr) {
    int enabled = 0, r = 0;
    dos_attack_get(port, type, &enabled, &r);
    if (rate != nullptr) *rate = r;
    return enabled != 0;
}

}  // namespace

int ssphandler_dos_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    const char *checks = web_form_value(ev, 0);
    if (ev->b.num != 1 || !global_checks_ok(checks))
        return error(ev, req, "Expecting three settings");
    if (const char *missing = unavailable(checks)) return unavailable_error(ev, req, missing);
    int refused = 0;
    {
        // The checks reach every port: while a self-test holds one, the form
        // is refused whole, and no test starts half-way through it.
        PortReserveFreeze tests;
        if (std::strspn(checks, "2") != static_cast<size_t>(kChecks)) {
            if (const char *held = web_any_port_held_text()) return error(ev, req, held);
        }
        for (int i = 0; i < kChecks; i++) {
            if (checks[i] == kLeave) continue;
            const int rv = dos_attack_set(-1, kGlobalTypes[i], checks[i] == '1' ? 1 : 0, 0);
            if (rv < 0 && refused == 0) refused = rv;
        }
    }
    settings_save_item("dos");
    // What the switch took is kept; what it refused is said.
    return refused < 0 ? refused_error(ev, req, refused) : 0;
}

int ssphandler_dos_showperport_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    int port = 0;
    if (ev->b.num != 1 || !number(web_form_value(ev, 0), 1, web_port_count(), &port))
        return error(ev, req, "Invalid port");
    shown_set(req, port);
    return 0;
}

int ssphandler_dos_perport_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    if (ev->b.num != 4) return error(ev, req, "Expecting a port, three settings and two rates");
    const char *port_text = web_form_value(ev, 0);
    const char *checks = web_form_value(ev, 1);
    int port = -1;
    if (std::strcmp(port_text, "FF") != 0 && !number(port_text, 1, web_port_count(), &port))
        return error(ev, req, "Invalid port");
    if (!checks_ok(checks)) return error(ev, req, "Expecting three settings");
    if (const char *missing = unavailable(checks)) return unavailable_error(ev, req, missing);
    // A port under self-test keeps its checks until its test ends.
    if (const char *held = port < 0 ? web_any_port_held_text() : web_port_held_text(port))
        return error(ev, req, held);
    // The rates are checked before anything changes; an unchecked flood's
    // rate is not used.
    int rates[kChecks] = {0, 0, 0};
    for (int i = 1; i < kChecks; i++) {
        if (checks[i] == '1' && !number(web_form_value(ev, i + 1), kRateMin, kRateMax, &rates[i]))
            return error(ev, req, "Invalid rate");
    }
    // The three checks are one change: a refused one takes none of them,
    // and nothing new is stored.
    dos_check change[kChecks];
    for (int i = 0; i < kChecks; i++)
        change[i] = {.type = kPortTypes[i], .enable = checks[i] == '1' ? 1 : 0, .rate = rates[i]};
    int refused_type = -1;
    const int rv = dos_attack_set_checks(port, change, kChecks, &refused_type);
    if (rv < 0) {
        if (rv == DXP_E_UNAVAIL || refused_type < 0) return refused_error(ev, req, rv);
        char text[160];
        std::snprintf(text, sizeof text, "%s: the %s check does not fit", dxp_errmsg(rv),
                      dos_attack_name(refused_type));
        return error(ev, req, text);
    }
    settings_save_item("dos");
    shown_set(req, port);
    return 0;
}

// Tags 11, 12 and 15 with a second argument 1 say so when some ports only
// have the type; without it, they mark the box on when every port has it,
// or as "some" for the page's script.
void sspvar_dos_tag_global(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    int type = -1;
    switch (args[0]) {
        case 11:
            type = DOS_ATTACK_LAND;
            break;
        case 12:
            type = DOS_ATTACK_BLAT;
            break;
        case 14:
            type = DOS_ATTACK_SYN_SPORT;
            break;
        case 15:
            type = DOS_ATTACK_XMAS_SCAN;
            break;
        case 16:
            type = DOS_ATTACK_NULL_SCAN;
            break;
        case 17:
            type = DOS_ATTACK_SYN_FIN;
            break;
        case 20:
            type = DOS_ATTACK_ICMP;
            break;
        default:
            return;
    }
    const bool box = args[0] == 11 || args[0] == 12 || args[0] == 15;
    if (!box) {
        if (on(-1, type)) web_tag_text(out, "checked");
        return;
    }
    const dos_reach reach = dos_attack_reach(type);
    if (args[1] == 1) {
        if (reach == DOS_REACH_SOME) web_tag_text(out, "on for some ports only");
    } else if (reach == DOS_REACH_ALL) {
        web_tag_text(out, "checked");
    } else if (reach == DOS_REACH_SOME) {
        web_tag_text(out, "data-some=\"1\"");
    }
}

void sspvar_dos_tag_perport(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    const Shown shown = shown_get(req);
    const int port = shown.port == -1 ? 1 : shown.port;
    const int sel = args[0];
    int rate = 0;
    bool checked = false;
    if (sel == 2) {
        checked = shown.all != 0;
    } else if (sel == 3) {
        checked = on(port, DOS_ATTACK_SMURF);
    } else if (sel >= 4 && sel <= 9) {
        const int type = sel < 7 ? DOS_ATTACK_PING_FLOOD : DOS_ATTACK_SYN_FLOOD;
        const int which = (sel - 4) % 3;
        checked = on(port, type, &rate) && (which == 0 || (which == 1 && rate != kOtherRate) ||
                                            (which == 2 && rate != DOS_FLOOD_RATE));
    }
    if (checked) web_tag_text(out, "checked");
}

void sspvar_dos_tag_port(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    const Shown shown = shown_get(req);
    const int port = shown.port == -1 ? 1 : shown.port;
    if (args[0] == 1 && args[1] + 1 == port) web_tag_text(out, "selected");
}

int ssploop_dos_tag_section(const uint16_t args[3], int index, httpd_request *) {
    return args[0] == 18 && index == 0 ? 1 : 0;
}
