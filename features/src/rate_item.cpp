// The "rate" settings item (3,076 bytes): the storm "all ports" flag, then
// per user port (128 slots) the ingress rate and burst, the egress rate and
// burst (kbps, kbits) and the storm rate and class flags, as 32-bit words.
#include <string>

#include "board.h"
#include "dxp.h"
#include "dxpx.h"
#include "logger.h"
#include "port_reserve.h"
#include "qosmgr.h"
#include "serialize.h"
#include "settings.h"

namespace {

constexpr uint32_t kVersion = 0x88740001;
constexpr int kPorts = 128;
constexpr int kPortWords = 6;
constexpr int kRecordSize = 4 + kPorts * kPortWords * 4;
constexpr int kStormBcast = 4, kStormMcast = 2, kStormDlf = 1;

struct PortRates {
    uint32_t in_rate, in_burst, out_rate, out_burst, storm_rate, storm_flags;
};

// A port's storm rate is that of its first enabled class.
void storm_read(int lport, PortRates *p) {
    struct Read {
        int (*get)(int *, int *, int);
        int bit;
    };
    const Read reads[] = {{.get = dxpx_rate_mcast_get, .bit = kStormMcast},
                          {.get = dxpx_rate_dlfbc_get, .bit = kStormDlf},
                          {.get = dxpx_rate_bcast_get, .bit = kStormBcast}};
    int flags = 0;
    bool found = false;
    for (const Read &r : reads) {
        int own = 0, rate = 0;
        if (r.get(&rate, &own, lport) != 0) continue;
        if ((own & r.bit) != 0 && !found) {
            p->storm_rate = static_cast<uint32_t>(rate);
            found = true;
        }
        flags |= own & r.bit;
    }
    p->storm_flags = static_cast<uint32_t>(flags);
}

PortRates running(int lport) {
    PortRates p{};
    dxpx_port_rate_ingress_get(lport, &p.in_rate, &p.in_burst);
    dxpx_port_rate_egress_get(lport, &p.out_rate, &p.out_burst);
    storm_read(lport, &p);
    return p;
}

bool operator==(const PortRates &a, const PortRates &b) {
    return a.in_rate == b.in_rate && a.in_burst == b.in_burst && a.out_rate == b.out_rate &&
           a.out_burst == b.out_burst && a.storm_rate == b.storm_rate &&
           a.storm_flags == b.storm_flags;
}

int save(settings_medium *m) {
    int all = 0;
    storm_allports_get(&all);
    if (medium_write_u32(m, static_cast<uint32_t>(all)) != 0) return -1;
    DxpUnitLock api(DXPX_CPU_UNIT);  // one wait for it, not five per port
    for (int i = 0; i < kPorts; i++) {
        PortRates p{};
        int lport = 0;
        if (i < board_num_uports && ulpm_to_lport(i + 1, &lport) == 0) p = running(lport);
        const uint32_t words[kPortWords] = {p.in_rate,   p.in_burst,   p.out_rate,
                                            p.out_burst, p.storm_rate, p.storm_flags};
        for (uint32_t w : words) {
            if (medium_write_u32(m, w) != 0) return -1;
        }
    }
    return kRecordSize;
}

int read_record(settings_medium *m, uint32_t *all, PortRates (&ports)[kPorts]) {
    if (medium_read_u32(m, all) != 0) return -1;
    for (PortRates &p : ports) {
        uint32_t *words[kPortWords] = {&p.in_rate,   &p.in_burst,   &p.out_rate,
                                       &p.out_burst, &p.storm_rate, &p.storm_flags};
        for (uint32_t *w : words) {
            if (medium_read_u32(m, w) != 0) return -1;
        }
    }
    return 0;
}

// Why a user port cannot run its row's limits (its storm limit too) as
// stored, or null.
const char *row_refusal(int uport, int lport, const PortRates &p) {
    const std::string port_label = "port " + std::to_string(uport);
    if (const char *refused = dxpx_port_rates_refusal(lport, port_label.c_str(), p.in_rate,
                                                      p.in_burst, p.out_rate, p.out_burst))
        return refused;
    return (p.storm_flags & 7) != 0 ? dxpx_storm_refusal(lport, port_label.c_str(), p.storm_rate)
                                    : nullptr;
}

int load(settings_medium *m) {
    uint32_t all = 0;
    PortRates ports[kPorts];
    if (read_record(m, &all, ports) != 0) return -1;
    PortReserveFreeze tests;  // the tests' ports stay as the load finds them
    storm_allports_set(all != 0 ? 1 : 0);
    // The ports' API calls as one hold (after the QoS manager's storm flag,
    // whose lock comes first): a load waits for the unit lock once.
    DxpUnitLock api(DXPX_CPU_UNIT);
    for (int n = 1; n <= board_num_uports && n <= kPorts; n++) {
        const PortRates &p = ports[n - 1];
        int lport = 0;
        if (ulpm_to_lport(n, &lport) != 0) continue;
        // A port under self-test keeps what it runs until a load after the
        // test; only a row that would change it is worth a line.
        if (port_reserved_lport(lport)) {
            if (!(running(lport) == p))
                settings_load_skipped(LOG_MOD_RATE, "Rate limits: port %d: %s", n,
                                      port_reserve_held_text_lport(lport));
            continue;
        }
        // A row whose limits the port cannot run as stored is left whole.
        if (const char *refused = row_refusal(n, lport, p)) {
            settings_load_skipped(LOG_MOD_RATE, "Rate limits: %s", refused);
            continue;
        }
        const int rate = static_cast<int>(p.storm_rate);
        const int flags = static_cast<int>(p.storm_flags & 7);
        // A chip without a limiter fails even "no limit": only a limit it
        // cannot take is worth a line.
        bool failed =
            dxpx_port_rate_ingress_set(lport, p.in_rate, p.in_burst) != 0 && p.in_rate != 0;
        failed =
            (dxpx_port_rate_egress_set(lport, p.out_rate, p.out_burst) != 0 && p.out_rate != 0) ||
            failed;
        bool storm_failed = dxpx_rate_mcast_set(rate, flags, lport) != 0 ||
                            dxpx_rate_bcast_set(rate, flags, lport) != 0 ||
                            dxpx_rate_dlfbc_set(rate, flags, lport) != 0;
        if (failed || (storm_failed && flags != 0)) {
            logger_printf(LOG_LEVEL_ERROR, LOG_MOD_RATE, "Rate settings: port %d cannot be set", n);
        }
    }
    return kRecordSize;
}

int check(settings_medium *m) {
    if (!settings_check_record_size(m, kVersion, kRecordSize)) return 0;
    if (!settings_check_of_backup()) return 1;
    // A restore of a limit a port cannot run is refused by name, as the
    // page and the monitor refuse it.
    uint32_t all = 0;
    PortRates ports[kPorts];
    if (read_record(m, &all, ports) != 0) return 0;
    for (int n = 1; n <= board_num_uports && n <= kPorts; n++) {
        int lport = 0;
        if (ulpm_to_lport(n, &lport) != 0) continue;
        if (const char *refused = row_refusal(n, lport, ports[n - 1])) {
            settings_check_refuse("Rate limits: %s", refused);
            return 0;
        }
    }
    return 1;
}

}  // namespace

int rate_item(int op, settings_medium *m) {
    return settings_item_dispatch(op, m, load, save, kVersion, check);
}
