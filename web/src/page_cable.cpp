// The cable diagnostics page: runs the cable test of one port's PHY and
// shows the overall state and each wire pair's state and fault length.
#include <cstdint>
#include <cstdlib>

#include "board.h"
#include "dxp_error.h"
#include "dxpx.h"
#include "logger.h"
#include "web_diag_pages.h"
#include "port_reserve.h"
#include "web_pages.h"
#include "web_switch_pages.h"

namespace {

constexpr const char *kTitle = "CABLE DIAGNOSTIC";
constexpr int kPairsMax = 4;
constexpr int kScanOff = 0, kScanOn = 1;  // link scan modes of a port

enum CableSelector : uint16_t {
    kSelPortSelected = 0,
    kSelPort = 1,
    kSelPairs = 2,
    kSelState = 3,
    kSelPairLetter = 4,
    kSelPair = 5,
};

// What the test did to the pairs.
enum class CableTest : uint8_t {
    Pulsed,   // the pair states hold
    LinkUp,   // measured only: the pair states say nothing
    OnFiber,  // the port runs on fibre: the copper pairs were left alone
};

// The test result of this request.
struct CableResult {
    uint16_t uport;
    uint16_t shown;
    dxp_port_cable_diag_t diag;
    CableTest test;
};

const void *result_key() {
    return reinterpret_cast<const void *>(&cable_cgi);
}

const CableResult *result_of(const httpd_request *req) {
    return static_cast<const CableResult *>(httpd_req_state_find(req, result_key()));
}

const char *state_name(int state) {
    static constexpr const char *kNames[] = {"Ok",         "Open",      "Short",
                                             "Open/Short", "Crosstalk", "Unknown"};
    return state >= 0 && state <= 5 ? kNames[state] : kNames[5];
}

int cable_fail(httpd_event *ev, httpd_request *req, const char *format, int uport, int rv) {
    logger_printf(LOG_LEVEL_ERROR, LOG_MOD_CABLEDIAG, format, uport);
    return web_error_page(ev, req, kTitle, dxp_errmsg(rv), WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

}  // namespace

int cable_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    int uport = 0, lport = 0, unit = 0, port = 0;
    if (!web_form_int(web_form_value(ev, 0), 1, board_num_uports, &uport) ||
        ulpm_to_lport(uport, &lport) != 0 || dxpx_lport_to_unit_port(lport, &unit, &port) != 0) {
        web_refused_puts(req, LOG_MOD_CABLEDIAG, "Get Port cablediag, invalid port.\n");
        return web_error_page(ev, req, kTitle, "Invalid port", WEB_RETRY_LABEL, WEB_RETRY_ACTION);
    }
    // The test would disturb the PHY a self-test runs on; no self-test
    // starts before the port's settings and scanning are put back.
    PortReserveFreeze tests;
    if (const char *held = web_port_held_text(uport))
        return web_error_page(ev, req, kTitle, held, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
    const int n = uport;
    // The test disturbs the PHY: its settings are put back afterwards. They
    // are read first: stopping link scanning enables the port.
    dxp_port_info saved{};
    if (int rv = dxpx_port_info_get(lport, &saved); rv < 0)
        return cable_fail(ev, req, "Get Port #%d cablediag, get port info failed.\n", n, rv);
    if (int rv = dxp_linkscan_mode_set(unit, port, kScanOff); rv < 0)
        return cable_fail(ev, req, "Get Port #%d cablediag, stop linkscan failed.\n", n, rv);
    // A disabled port is tested as it is, without link.
    if (!saved.enable) dxp_port_enable_set(unit, port, 0);
    CableResult result{
        .uport = static_cast<uint16_t>(n), .shown = 0, .diag = {}, .test = CableTest::Pulsed};
    const int tested = dxpx_port_cable_diag(lport, &result.diag);
    if (tested == DXP_CABLE_DIAG_LINK_UP) result.test = CableTest::LinkUp;
    if (tested == DXP_CABLE_DIAG_ON_FIBER) result.test = CableTest::OnFiber;
    if (tested < 0) {
        // A port with no cable test refuses the request; other failures are the switch's.
        if (tested == DXP_E_UNAVAIL)
            web_refused_printf(req, LOG_MOD_CABLEDIAG, "Get Port #%d cablediag failed: %s.\n", n,
                               dxp_errmsg(tested));
        else
            logger_printf(LOG_LEVEL_ERROR, LOG_MOD_CABLEDIAG, "Get Port #%d cablediag failed.\n",
                          n);
        dxpx_port_info_set(lport, &saved);
        dxp_linkscan_mode_set(unit, port, kScanOn);
        return web_error_page(ev, req, kTitle, dxp_errmsg(tested), WEB_RETRY_LABEL,
                              WEB_RETRY_ACTION);
    }
    if (int rv = dxpx_port_info_set(lport, &saved); rv < 0) {
        dxp_linkscan_mode_set(unit, port, kScanOn);
        return cable_fail(ev, req, "Get Port #%d cablediag, set port info failed.\n", n, rv);
    }
    if (int rv = dxp_linkscan_mode_set(unit, port, kScanOn); rv < 0)
        return cable_fail(ev, req, "Get Port #%d cablediag, recover linkscan failed.\n", n, rv);
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_CABLEDIAG, "Get Port #%d cablediag success.\n", n);
    if (auto *kept =
            static_cast<CableResult *>(httpd_req_state_get(req, result_key(), sizeof(CableResult))))
        *kept = result;
    return 0;
}

void sspvar_cable_tag_result(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    const CableResult *r = result_of(req);
    const int pair = args[1];
    if (args[0] == kSelPortSelected) {
        if (r != nullptr && pair + 1 == r->uport) web_tag_text(out, "selected");
        return;
    }
    if (args[0] == kSelPairLetter) {
        web_tag_text(out, web_tag_printf("%c", 'A' + pair % kPairsMax));
        return;
    }
    if (r == nullptr) {
        web_tag_text(out, "--");
        return;
    }
    switch (args[0]) {
        case kSelPort:
            web_tag_text(out, web_tag_printf("%02u", unsigned{r->uport}));
            break;
        case kSelPairs:
            web_tag_text(out, web_tag_printf("%u", static_cast<unsigned>(r->diag.npairs)));
            break;
        case kSelState:
            web_tag_text(out, r->test == CableTest::OnFiber  ? DXP_CABLE_DIAG_ON_FIBER_TEXT
                              : r->test == CableTest::LinkUp ? DXP_CABLE_DIAG_LINK_UP_TEXT
                                                             : state_name(r->diag.state));
            break;
        case kSelPair:
            if (pair >= kPairsMax) break;
            if (r->test == CableTest::OnFiber) {
                web_tag_text(out, "not tested");
                break;
            }
            web_tag_text(out, web_tag_printf("%s, length %d meters",
                                             r->test == CableTest::LinkUp
                                                 ? DXP_CABLE_DIAG_LINK_UP_TEXT
                                                 : state_name(r->diag.pair_state[pair]),
                                             r->diag.pair_len[pair]));
            break;
        default:
            break;
    }
}

// The result section, once per request.
int ssploop_cable_tag_result(const uint16_t *, int index, httpd_request *) {
    return index == 0 ? 1 : 0;
}

int ssploop_cable_tag_pairs(const uint16_t *, int index, httpd_request *req) {
    const CableResult *r = result_of(req);
    const int pairs = r != nullptr ? r->diag.npairs : 0;
    return index < pairs && index < kPairsMax ? 1 : 0;
}

int ssploop_cable_tag_ports(const uint16_t *, int index, httpd_request *) {
    return index < board_num_uports ? 1 : 0;
}
