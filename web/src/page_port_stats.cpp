// The port statistics pages: two packet counts per port on "statist.htm",
// every counter of one port on the "counters.cgi" page, and clearing them.
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "board.h"
#include "dxpx.h"
#include "port_reserve.h"
#include "web_pages.h"
#include "web_ports.h"

namespace {

constexpr int kTxPackets = 38;
constexpr int kRxPackets = 39;

// Statistic of each detail page selector 1 to 29.
constexpr int kDetailStats[] = {6,  7,  8,  9,  10, 11, 0,  1,  2,  3,  4,  5,  21, 22, 23,
                                24, 32, 25, 33, 36, 37, 34, 35, 26, 27, 28, 29, 30, 31};

bool stat_read(int uport, int stat, uint32_t *value) {
    int lport = 0;
    return uport >= 1 && uport <= web_port_count() && ulpm_to_lport(uport, &lport) == 0 &&
           dxpx_stat_get32(lport, stat, value) >= 0;
}

void stat_tag(httpd_tag_out *out, int uport, int stat) {
    uint32_t value = 0;
    if (stat_read(uport, stat, &value)) {
        web_tag_text(out, web_tag_printf("%u", value));
    } else {
        web_tag_text(out, "--");
    }
}

}  // namespace

void port_counters_clear_all(void) {
    // A self-test judges its ports by their counters: they are its own until
    // it ends.
    for (int uport = 1; uport <= board_num_uports; uport++) {
        int lport = 0;
        if (ulpm_to_lport(uport, &lport) == 0 && !port_reserved_lport(lport))
            dxpx_stat_clear(lport);
    }
}

int stat_err_page(httpd_event *ev, httpd_request *req, int code) {
    const char *message = code >= -18 && code <= 0 ? dxp_errmsg(code) : "Unknown error";
    return web_error_page(ev, req, "STATISTICS", message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

int ssphandler_counters_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    auto *port = static_cast<int *>(httpd_req_state_get(
        req, reinterpret_cast<const void *>(&ssphandler_counters_cgi), sizeof(int)));
    if (port == nullptr) return 0;
    *port = 0;
    for (int i = 0; i < static_cast<int>(ev->b.num); i++) {
        if (std::strcmp(ev->a.pairs[i].name, "port") == 0)
            *port = web_form_int(ev->a.pairs[i].value, 1, web_port_count(), port) ? *port : 0;
    }
    return 0;
}

int ssphandler_clear_counter_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    if (ev->b.num < 1 || std::strcmp(ev->a.pairs[0].value, "all") != 0) return 0;
    // A self-test's counters are its verdict: all or none are cleared.
    for (int uport = 1; uport <= web_port_count(); uport++) {
        if (const char *held = web_port_held_text(uport))
            return web_error_page(ev, req, "STATISTICS", held, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
    }
    for (int uport = 1; uport <= web_port_count(); uport++) {
        int lport = 0;
        int rv = ulpm_to_lport(uport, &lport);
        if (rv == 0) rv = dxpx_stat_clear(lport);
        if (rv < 0) return stat_err_page(ev, req, rv);
    }
    return 0;
}

void sspvar_statist_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    const int ports = web_port_count();
    const int row = args[1];
    const int left = row + 1;
    const int right = row + (ports + 1) / 2 + 1;
    if (args[0] >= 2 && ports % 2 == 1 && left == (ports + 1) / 2) {
        web_tag_text(out, "&nbsp;");
        return;
    }
    // Selectors 0 and 1 are the left port's Tx and Rx, 2 and 3 the right's.
    if (args[0] > 3) return;
    stat_tag(out, args[0] < 2 ? left : right, args[0] % 2 == 0 ? kTxPackets : kRxPackets);
}

void sspvar_counters_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    const auto *port = static_cast<const int *>(
        httpd_req_state_find(req, reinterpret_cast<const void *>(&ssphandler_counters_cgi)));
    if (port == nullptr) return;
    const int selector = args[0];
    if (selector == 0) {
        web_tag_text(out, web_tag_printf("%02u", static_cast<unsigned>(*port)));
    } else if (selector <= static_cast<int>(std::size(kDetailStats))) {
        stat_tag(out, *port, kDetailStats[selector - 1]);
    } else {
        stat_tag(out, *port, 0);
    }
}
