// The port mirroring page: mirroring on or off, the monitor (capture) port
// and per port whether what it receives and what it sends are copied there.
#include <cstdint>
#include <string>

#include "board.h"
#include "dxp_error.h"
#include "dxpx.h"
#include "logger.h"
#include "mirrormgr.h"
#include "settings.h"
#include "web_diag_pages.h"
#include "web_pages.h"
#include "web_switch_pages.h"

namespace {

constexpr int kMaskPorts = 64;  // ports the ingress and egress texts can name

enum MirrorSelector : uint16_t {
    kSelMode = 0,
    kSelMonitor = 1,
    kSelIngress = 2,
    kSelEgress = 3,
    kSelNumber = 4,
};

// A non-negative decimal number, or -1.
int number_of(const char *text) {
    int v = -1;
    return web_form_int(text, 0, 0xFFFF, &v) ? v : -1;
}

uint64_t port_bits(const char *text) {
    uint64_t bits = 0;
    for (int i = 0; text != nullptr && text[i] != '\0' && i < kMaskPorts; i++) {
        if (text[i] == '1') bits |= uint64_t{1} << i;
    }
    return bits;
}

// The refusal when the mirror would copy frames into or out of a port
// under self-test, else nullptr.
const char *mirror_held_port(httpd_event *ev, int mtp_uport) {
    if (const char *held = web_port_held_text(mtp_uport)) return held;
    const uint64_t mirrored = port_bits(web_form_value(ev, 0)) | port_bits(web_form_value(ev, 1));
    for (int n = 1; n <= board_num_uports && n <= kMaskPorts; n++) {
        if ((mirrored >> (n - 1) & 1) == 0) continue;
        if (const char *held = web_port_held_text(n)) return held;
    }
    return nullptr;
}

int mirror_error(httpd_event *ev, httpd_request *req, const char *message) {
    return web_error_page(ev, req, "MIRROR", message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

int mirror_save(httpd_event *ev, httpd_request *req) {
    if (settings_save_item("mirror") == 1) return 0;
    logger_puts(LOG_LEVEL_ERROR, LOG_MOD_MIRROR, "Set Mirror : Save mirror to nvram failed");
    return mirror_error(ev, req, "Save to nvram failed");
}

// The mode the page shows: the one mode.cgi kept for this request, else
// the switch's.
int shown_mode(httpd_request *req) {
    const void *key = reinterpret_cast<const void *>(&mode_cgi);
    if (const int *kept = static_cast<const int *>(httpd_req_state_find(req, key))) return *kept;
    int mode = 0;
    if (dxpx_mirror_mode_get(&mode) != 0) {
        logger_puts(LOG_LEVEL_WARNING, LOG_MOD_MIRROR, "Set Mirror : Failed to get mirror mode");
        return 0;
    }
    return mode != 0 ? 1 : 0;
}

bool direction_on(int uport, bool ingress) {
    int lport = 0, on = 0;
    if (ulpm_to_lport(uport, &lport) != 0) return false;
    int rv = ingress ? dxpx_mirror_ingress_get(lport, &on) : dxpx_mirror_egress_get(lport, &on);
    if (rv != 0) {
        logger_puts(LOG_LEVEL_WARNING, LOG_MOD_MIRROR,
                    ingress ? "Set Mirror : Failed to get ingress ports"
                            : "Set Mirror : Failed to get egress ports");
        return false;
    }
    return on != 0;
}

int mirror_disable(httpd_event *ev, httpd_request *req) {
    for (int n = 1; n <= board_num_uports; n++) {
        int lport = 0;
        if (ulpm_to_lport(n, &lport) == 0) dxpx_mirror_port_set(lport, 0, 0);
    }
    logger_puts(LOG_LEVEL_INFO, LOG_MOD_MIRROR, "Disable Mirror mode");
    return mirror_save(ev, req);
}

int mirror_enable(httpd_event *ev, httpd_request *req, int mtp_uport, int mtp) {
    // Kept for the page and the saved item while no port is mirrored yet.
    mirrormgr_monitor_set(mtp_uport);
    const uint64_t ingress = port_bits(web_form_value(ev, 0));
    const uint64_t egress = port_bits(web_form_value(ev, 1));
    std::string in_list, out_list;
    for (int n = 1; n <= board_num_uports; n++) {
        int lport = 0;
        if (ulpm_to_lport(n, &lport) != 0) continue;
        const uint64_t bit = n <= kMaskPorts ? uint64_t{1} << (n - 1) : 0;
        uint32_t flags = 0x1;
        if ((ingress & bit) != 0) {
            flags |= 0x2;
            in_list += web_tag_printf(" %d,", n);
        }
        if ((egress & bit) != 0) {
            flags |= 0x4;
            out_list += web_tag_printf(" %d,", n);
        }
        if (int rv = dxpx_mirror_port_set(lport, mtp, flags); rv != 0) {
            logger_puts(LOG_LEVEL_ERROR, LOG_MOD_MIRROR, "Set Mirror : Set mirror ports failed");
            return rv < 0 ? mirror_error(ev, req, dxp_errmsg(rv)) : 0;
        }
    }
    // Logged once every port took its part.
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_MIRROR, "Enable Mirror mode : Set mtp to port : %d",
                  mtp_uport);
    if (!in_list.empty())
        logger_printf(LOG_LEVEL_INFO, LOG_MOD_MIRROR, "Set Mirror : Ingress ports : %s",
                      in_list.c_str());
    if (!out_list.empty())
        logger_printf(LOG_LEVEL_INFO, LOG_MOD_MIRROR, "Set Mirror : Egress ports : %s",
                      out_list.c_str());
    return mirror_save(ev, req);
}

}  // namespace

int mirror_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    web_api_batch_hold();  // the form's ports and their save in one go
    const int count = ev->b.num;
    const int mode = number_of(web_form_value(ev, count > 1 ? 3 : 0));
    if (mode < 0) {
        web_refused_puts(req, LOG_MOD_MIRROR, "Set Mirror : Invalid mirror mode");
        return mirror_error(ev, req, "Invalid mirror mode");
    }
    // The monitor port is checked before anything changes.
    int mtp_uport = 0, mtp = 0;
    if (mode != 0) {
        mtp_uport = number_of(web_form_value(ev, 2));
        if (mtp_uport < 1 || mtp_uport > board_num_uports || ulpm_to_lport(mtp_uport, &mtp) != 0) {
            logger_printf(LOG_LEVEL_ERROR, LOG_MOD_MIRROR, "Failed to map logical port from %d",
                          mtp_uport);
            return mirror_error(ev, req, "Invalid monitor port");
        }
        if (!web_form_ports(web_form_value(ev, 0), "01") ||
            !web_form_ports(web_form_value(ev, 1), "01"))
            return mirror_error(ev, req, "Invalid port list");
        if (const char *held = mirror_held_port(ev, mtp_uport)) return mirror_error(ev, req, held);
    }
    // Off as a start leaves it, the mirror-to port forgotten in the chip too.
    if (int rv = mode != 0 ? dxpx_mirror_mode_set(1) : dxpx_mirror_init(); rv != 0) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_MIRROR, "Set Mirror : Set mirror mode(%s) failed",
                      mode == 0 ? "Disable" : "L2");
        return rv < 0 ? mirror_error(ev, req, dxp_errmsg(rv)) : 0;
    }
    return mode == 0 ? mirror_disable(ev, req) : mirror_enable(ev, req, mtp_uport, mtp);
}

int mode_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    const int mode = number_of(web_form_value(ev, 0));
    auto *kept = static_cast<int *>(
        httpd_req_state_get(req, reinterpret_cast<const void *>(&mode_cgi), sizeof(int)));
    if (kept != nullptr) *kept = mode > 0 ? 1 : 0;
    return 0;
}

void sspvar_mirror_tag_form(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    const int port = args[1] + 1;
    switch (args[0]) {
        case kSelMode:
            if (shown_mode(req) == args[1]) web_tag_text(out, "selected");
            break;
        case kSelMonitor: {
            // Looked up once per page: the rows all ask for it.
            const void *key = reinterpret_cast<const void *>(&mirrormgr_monitor_get);
            auto *found = static_cast<int *>(httpd_req_state_find(req, key));
            if (found == nullptr) {
                found = static_cast<int *>(httpd_req_state_get(req, key, sizeof(int)));
                if (found != nullptr) *found = mirrormgr_monitor_get();
            }
            if ((found != nullptr ? *found : mirrormgr_monitor_get()) == port)
                web_tag_text(out, "selected");
            break;
        }
        case kSelIngress:
        case kSelEgress:
            web_api_batch_hold();  // the page's rows of ports in one go
            if (direction_on(port, args[0] == kSelIngress)) web_tag_text(out, "checked");
            break;
        case kSelNumber:
            web_tag_text(out, web_tag_printf("%02d", port));
            break;
        default:
            break;
    }
}

int ssploop_mirror_tag_ports(const uint16_t *, int index, httpd_request *) {
    return index < board_num_uports ? 1 : 0;
}
