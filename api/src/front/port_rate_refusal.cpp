// The reason a port's rate limit is refused, named alike for the monitor, the
// pages and a settings load: the port has no limiter for it, or the limit is
// above every code the limiter has, or an egress burst is above its largest
// bucket. A limit or burst between two codes runs as the nearest one, as the
// chip takes it.
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
    if (kbits_sec > drv_rate_limit_max())
        return refusal_text(std::string(name) + ": " + dir + " limit " + std::to_string(kbits_sec) +
                            " kbps is above the largest it runs, " +
                            std::to_string(drv_rate_limit_max()) + " kbps");
    // An egress burst is the administrator's own; the ingress one is the
    // rate again, and runs as the largest bucket.
    if (egress != 0 && kbits_burst > drv_bucket_burst_max())
        return refusal_text(std::string(name) + ": egress burst " + std::to_string(kbits_burst) +
                            " kbit is above the largest it runs, " +
                            std::to_string(drv_bucket_burst_max()) + " kbit");
    return nullptr;
}

const char *dxp_storm_refusal(int unit, int port, const char *port_name, uint32_t kbits_sec) {
    if (kbits_sec == 0) return nullptr;
    const char *name = port_name != nullptr ? port_name : "port";
    int now = 0, flags = 0;
    const int rv = dxp_rate_bcast_get(unit, &now, &flags, port);
    if (rv < 0 && rv != DXP_E_PARAM) return nullptr;
    if (rv == DXP_E_PARAM) return refusal_text(std::string(name) + " has no storm control");
    if (kbits_sec > drv_storm_limit_max())
        return refusal_text(std::string(name) + ": storm limit " + std::to_string(kbits_sec) +
                            " kbps is above the largest it runs, " +
                            std::to_string(drv_storm_limit_max()) + " kbps");
    return nullptr;
}

const char *dxpx_storm_refusal(int lport, const char *port_name, uint32_t kbits_sec) {
    const char *refusal = nullptr;
    dxpx_on_lport(lport, [&](int unit, int port) {
        refusal = dxp_storm_refusal(unit, port, port_name, kbits_sec);
        return DXP_E_NONE;
    });
    return refusal;
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

const char *dxpx_port_rates_refusal(int lport, const char *port_name, uint32_t in_kbits_sec,
                                    uint32_t in_kbits_burst, uint32_t out_kbits_sec,
                                    uint32_t out_kbits_burst) {
    const char *refusal = dxpx_port_rate_refusal(lport, port_name, 0, in_kbits_sec, in_kbits_burst);
    if (refusal != nullptr) return refusal;
    return dxpx_port_rate_refusal(lport, port_name, 1, out_kbits_sec, out_kbits_burst);
}
