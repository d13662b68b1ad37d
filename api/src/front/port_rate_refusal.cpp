// The reason a port's rate limit is refused, named alike for the monitor, the
// pages and a settings load: the limiter would run another limit or burst
// than the one given, or has none to run it.
#include <string>

#include "drv_rate.h"
#include "dxp.h"
#include "dxpx_internal.h"

namespace {

const char *refusal_text(const std::string &text) {
    static thread_local std::string kept;
    kept = text;
    return kept.c_str();
}

std::string bursts_run() {
    std::string list;
    for (uint32_t code = 0; drv_bucket_decode(code) >= 0; code++) {
        if (!list.empty()) list += drv_bucket_decode(code + 1) >= 0 ? ", " : " or ";
        list += std::to_string(drv_bucket_decode(code));
    }
    return list;
}

}  // namespace

const char *dxp_port_rate_refusal(int unit, int port, const char *port_name, int egress,
                                  uint32_t kbits_sec, uint32_t kbits_burst) {
    // No limit asks nothing of the limiter.
    if (kbits_sec == 0) return nullptr;
    const char *name = port_name != nullptr ? port_name : "port";
    const char *dir = egress != 0 ? "egress" : "ingress";
    uint32_t now = 0, now_burst = 0;
    const int rv = egress != 0 ? dxp_port_rate_egress_get(unit, port, &now, &now_burst)
                               : dxp_port_rate_ingress_get(unit, port, &now, &now_burst);
    // Other errors (no such unit or port) are the set's own to answer.
    if (rv < 0 && rv != DXP_E_PARAM) return nullptr;
    if (rv == DXP_E_PARAM || (egress != 0 && !drv_rate_egress_present(unit)))
        return refusal_text(std::string(name) + " has no " + dir + " limiter");
    const std::string text =
        std::string(name) + ": " + dir + " limit " + std::to_string(kbits_sec) + " kbps ";
    if (!drv_rate_limit_runs(kbits_sec)) {
        uint32_t below = 0, above = 0;
        drv_rate_limits_around(kbits_sec, &below, &above);
        if (above == 0)
            return refusal_text(text + "is above the largest it runs, " + std::to_string(below) +
                                " kbps");
        if (below == 0)
            return refusal_text(text + "is below the smallest it runs, " + std::to_string(above) +
                                " kbps");
        return refusal_text(text + "is not one it runs: the nearest are " + std::to_string(below) +
                            " and " + std::to_string(above) + " kbps");
    }
    if (!drv_rate_burst_runs(kbits_burst)) {
        return refusal_text(std::string(name) + ": " + dir + " burst " +
                            std::to_string(kbits_burst) +
                            " kbits is not one it runs: " + bursts_run() + " kbits");
    }
    return nullptr;
}

const char *dxpx_port_rate_refusal(int lport, const char *port_name, int egress, uint32_t kbits_sec,
                                   uint32_t kbits_burst) {
    const char *refusal = nullptr;
    dxpx_on_lport(lport, [&](int unit, int port) {
        refusal = dxp_port_rate_refusal(unit, port, port_name, egress, kbits_sec, kbits_burst);
        return DXP_E_NONE;
    });
    return refusal;
}

uint32_t dxpx_port_rate_burst_fit(uint32_t kbits_burst) {
    return drv_rate_burst_fit(kbits_burst);
}
