// The port status page and the front panel of the top frame. The panel is
// served without a login; only a request with a valid session cookie gets
// the live port states, others see every LED gray.
#include <atomic>
#include <string>

#include "board.h"
#include "dxpx.h"
#include "logger.h"
#include "web_pages.h"
#include "web_ports.h"
#include "webauth.h"

namespace {

constexpr uint32_t kCookieValid = 0x80000000;
constexpr uint16_t kFirstHalf = 3;
constexpr uint16_t kSecondHalf = 4;
constexpr int kLargeBoardPorts = 27;

enum status_col : uint16_t { COL_SPEED = 11, COL_FLOW = 12, COL_PVID = 14, COL_LINK = 16 };
enum panel_led : uint16_t { LED_ABOVE_100M = 19, LED_100M = 20, LED_DUPLEX = 21, LED_LINK = 22 };

// -1 until worked out: whether any port can run above 100 Mb/s.
std::atomic<int> above_100_present{-1};

bool gigabit_class(int uport) {
    int lport = 0;
    dxpx_lport_t entry{};
    if (ulpm_to_lport(uport, &lport) != 0 || dxpx_lport_get(lport, &entry) != 0) return false;
    const uint32_t both = DXPX_PORT_F_VALID | DXPX_PORT_F_GE;
    return (entry.flags & both) == both;
}

bool any_gigabit_port() {
    int known = above_100_present.load();
    if (known < 0) {
        known = 0;
        for (int uport = 1; uport <= web_port_count(); uport++)
            known = known != 0 || gigabit_class(uport) ? 1 : 0;
        // Before the board probe there is nothing to remember.
        if (web_port_count() > 0) above_100_present.store(known);
    }
    return known != 0;
}

bool logged_out(const httpd_request *req) {
    return httpd_req_state_find(req, reinterpret_cast<const void *>(&sspvar_panel_tag_states)) !=
           nullptr;
}

bool small_board() {
    return web_port_count() < kLargeBoardPorts;
}

const char *led_image(bool on, const char *color) {
    return on ? color : "lgray.gif";
}

void status_text(httpd_tag_out *out, int port, int lport, uint16_t column) {
    int up = 0;
    if (dxpx_port_link_status_get(lport, &up) != 0) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_PORT, "Get Port #%d link status failed.\n", port);
        up = 0;
    }
    if (up != 1 && (column == COL_SPEED || column == COL_FLOW)) {
        web_tag_text(out, "<b>--</b>");
        return;
    }
    switch (column) {
        case COL_SPEED: {
            int speed = 0;
            int duplex = 0;
            if (dxpx_port_speed_get(lport, &speed) != 0)
                logger_printf(LOG_LEVEL_ERROR, LOG_MOD_PORT, "Get Port #%d speed failed.\n", port);
            if (dxpx_port_duplex_get(lport, &duplex) != 0)
                logger_printf(LOG_LEVEL_ERROR, LOG_MOD_PORT, "Get Port #%d duplex failed.\n", port);
            web_tag_text(out,
                         web_tag_printf("<b>%dMbps %s</b>", speed, duplex == 1 ? "Full" : "Half"));
            return;
        }
        case COL_FLOW: {
            int tx = 0;
            int rx = 0;
            if (dxpx_port_pause_get(lport, &tx, &rx) != 0)
                logger_printf(LOG_LEVEL_ERROR, LOG_MOD_PORT, "Get Port #%d pause failed.\n", port);
            web_tag_text(out, tx == 1 || rx == 1 ? "<b>Enabled</b>" : "<b>Disabled</b>");
            return;
        }
        case COL_PVID:
            web_tag_int(out, port_pvid_get(port - 1));
            return;
        case COL_LINK:
            web_tag_text(out, up == 1 ? "<b>Up</b>" : "<b>Down</b>");
            return;
        default:
            web_tag_text(out, "");
            return;
    }
}

}  // namespace

void sspvar_port_tag_status(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    const int ports = web_port_count();
    int port = args[0] + 1;
    if (args[2] == kSecondHalf) port += (ports + 1) / 2;
    if (port > ports) return;
    if (args[2] != kFirstHalf && args[2] != kSecondHalf) {
        web_tag_text(out, "");
        return;
    }
    int lport = 0;
    if (ulpm_to_lport(port, &lport) != 0) {
        web_tag_text(out, "");
        return;
    }
    web_api_batch_hold();  // the page's rows of ports in one go
    status_text(out, port, lport, args[1]);
}

int panel_port_state(int uport, bool live) {
    int state = gigabit_class(uport) ? PANEL_GIGABIT_PORT : 0;
    int lport = 0;
    if (!live || ulpm_to_lport(uport, &lport) != 0) return state;
    int value = 0;
    if (dxpx_port_enable_get(lport, &value) != 0 || value != 1) return state | PANEL_DISABLED;
    if (dxpx_port_link_status_get(lport, &value) != 0 || value != 1) return state;
    state |= PANEL_LINK;
    if (dxpx_port_duplex_get(lport, &value) == 0 && value == 1) state |= PANEL_FULL_DUPLEX;
    if (dxpx_port_speed_get(lport, &value) == 0) {
        if (value > 10) state |= PANEL_100M;
        if (value > 100 && (state & PANEL_GIGABIT_PORT) != 0) state |= PANEL_ABOVE_100M;
    }
    return state;
}

int panel_hook(httpd_event *ev, httpd_request *req) {
    switch (ev->event) {
        case HTTPD_EV_COOKIE:
            if (ev->a.text == nullptr || webauth_cookie_check(ev->a.text) != 0) return 0;
            ev->flags |= kCookieValid;
            return 1;
        case HTTPD_EV_STATUS:
            if ((ev->flags & kCookieValid) == 0)
                httpd_req_state_get(req, reinterpret_cast<const void *>(&sspvar_panel_tag_states),
                                    1);
            return 0;
        default:
            return 0;
    }
}

void sspvar_panel_tag_states(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    const bool live = !logged_out(req);
    std::string list;
    for (int uport = 1; uport <= web_port_count(); uport++) {
        if (uport > 1) list += ',';
        list += web_tag_printf("0x%x", panel_port_state(uport, live));
    }
    web_tag_text(out, web_tag_printf("%s", list.c_str()));
}

void sspvar_panel_tag_led(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    const int uport = args[0] + 1;
    if (uport > web_port_count()) return;
    if (args[1] == LED_ABOVE_100M && !gigabit_class(uport)) return;
    const int state = panel_port_state(uport, !logged_out(req));
    switch (args[1]) {
        case LED_ABOVE_100M:
            web_tag_text(out, led_image((state & PANEL_ABOVE_100M) != 0, "lgreen.gif"));
            break;
        case LED_100M:
            web_tag_text(out, led_image((state & PANEL_100M) != 0, "lorange.gif"));
            break;
        case LED_DUPLEX:
            web_tag_text(out, led_image((state & PANEL_FULL_DUPLEX) != 0, "lgreen.gif"));
            break;
        case LED_LINK:
            web_tag_text(out, (state & PANEL_DISABLED) != 0
                                  ? "lorange.gif"
                                  : led_image((state & PANEL_LINK) != 0, "lgreen.gif"));
            break;
        default:
            break;
    }
}

void sspvar_panel_tag_ledsize(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    if (args[1] == 1 && !gigabit_class(args[0] + 1)) {
        web_tag_text(out, "width=0 height=0");
        return;
    }
    web_tag_text(out, small_board() ? "width=16 height=16" : "width=10 height=10");
}

void sspvar_panel_tag_cellsize(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    if (args[0] == 18) {
        web_tag_int(out, small_board() ? 16 : 10);
    } else {
        web_tag_int(out, small_board() ? 12 : 9);
    }
}

int ssploop_panel_tag_fastports(const uint16_t args[3], int index, httpd_request *) {
    return args[0] == 1 && index == 0 && any_gigabit_port() ? 1 : 0;
}
