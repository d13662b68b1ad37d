// The port settings form: "setport.cgi" picks the port, the form's values
// come from sspvar_portset_tag_ssi, and "portset.cgi" applies a post to the
// switch step by step, keeps flow control and the PVID in tables of their
// own and saves the "portconf" item.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "board.h"
#include "dxpx.h"
#include "port_reserve.h"
#include "logger.h"
#include "settings.h"
#include "vlanmgr.h"
#include "web_pages.h"
#include "web_ports.h"
#include "web_ports_internal.h"

namespace {

constexpr const char *kTitle = "Set Port";
// Ability bits of the advertisement: the speeds the forced gigabit state
// drops, and pause.
constexpr uint32_t kAdvertLowSpeeds = 0x1F;
constexpr uint32_t kAdvertPauseTx = 0x400;
constexpr uint32_t kAdvertPauseRx = 0x800;
constexpr uint32_t kAdvertPause = kAdvertPauseTx | kAdvertPauseRx;
// Flow control values of the form past off (0) and on (1): pause in one
// direction only, which the form offers only as what the port runs.
constexpr int kPauseTxOnly = 2, kPauseRxOnly = 3;
int port_pause_shown(int port);
constexpr uint32_t kAdvert100Full = 0x8;
constexpr uint32_t kAdvert1000Full = 0x20;
constexpr int kMediumCopper = 1;

// Written by the "httpd" thread and the settings load, read by others.
std::atomic<uint8_t> flowctrl_table[BOARD_MAX_UPORTS];
std::atomic<uint32_t> pvid_table[BOARD_MAX_UPORTS];
std::atomic<uint8_t> speed_code_table[BOARD_MAX_UPORTS];
std::atomic<port_cpu_l2_addr_fn> cpu_l2_addr_source{nullptr};

bool index_valid(int index) {
    return index >= 0 && index < BOARD_MAX_UPORTS;
}

uint32_t lport_flags(int lport) {
    dxpx_lport_t entry{};
    if (lport < 0 || lport >= dxpx_lport_count() || dxpx_lport_get(lport, &entry) != 0) return 0;
    return entry.flags;
}

bool gigabit_port(int lport) {
    uint32_t flags = lport_flags(lport);
    return (flags & DXPX_PORT_F_VALID) != 0 && (flags & DXPX_PORT_F_GE) != 0;
}

// The form's port type: 0 fast Ethernet, 1 gigabit copper (or no class),
// 2 the third class, 3 gigabit fibre, 4 a gigabit port on a 100BASE-FX
// fibre, which runs 100 full alone.
int port_type(int lport) {
    uint32_t flags = lport_flags(lport);
    if ((flags & DXPX_PORT_F_VALID) == 0) return 1;
    if ((flags & DXPX_PORT_F_FE) != 0) return 0;
    if ((flags & DXPX_PORT_F_GE) != 0) {
        int medium = 0;
        dxpx_port_medium_get(lport, &medium);
        if (medium == kMediumCopper) return 1;
        uint32_t ability = 0;
        const bool fx100 = dxpx_port_ability_get(lport, &ability) == 0 &&
                           (ability & kAdvert1000Full) == 0 && (ability & kAdvert100Full) != 0;
        return fx100 ? 4 : 3;
    }
    if ((flags & DXPX_PORT_F_XE) != 0) return 2;
    return 1;
}

// The ability bit a speed/duplex code needs, and the code's name as the
// form lists it.
struct CodeAbility {
    uint32_t bit;
    const char *name;
};
constexpr CodeAbility kCodeAbility[] = {{0, ""},
                                        {0x1, "10Mbps Half"},
                                        {0x2, "10Mbps Full"},
                                        {0x4, "100Mbps Half"},
                                        {0x8, "100Mbps Full"},
                                        {0x20, "1Gbps Full"}};

// Speed and duplex of a speed/duplex code; speed 0 for an unknown code.
void speed_of_code(char code, int *speed, int *duplex) {
    switch (code) {
        case '1':
            *speed = 10, *duplex = 0;
            break;
        case '2':
            *speed = 10, *duplex = 1;
            break;
        case '3':
            *speed = 100, *duplex = 0;
            break;
        case '4':
            *speed = 100, *duplex = 1;
            break;
        case '5':
            *speed = 1000, *duplex = 1;
            break;
        default:
            *speed = 0, *duplex = 0;
            break;
    }
}

// The speed/duplex codes the port runs now, bit n for code n; 0 when its
// abilities are unknown.
int codes_runnable(int lport) {
    uint32_t ability = 0;
    if (dxpx_port_ability_get(lport, &ability) != 0) return 0;
    int codes = 0;
    for (int code = 1; code <= 5; code++)
        if ((ability & kCodeAbility[code].bit) != 0) codes |= 1 << code;
    return codes;
}

int code_of_speed(int speed, int duplex) {
    switch (speed) {
        case 10:
            return duplex == 1 ? 2 : 1;
        case 100:
            return duplex == 1 ? 4 : 3;
        case 1000:
            return 5;
        default:
            return 1;
    }
}

// The speeds a port runs that its advertisement leaves out; 0 when its
// abilities are unknown.
uint32_t speeds_left_out(int lport, uint32_t advert) {
    uint32_t ability = 0;
    if (dxpx_port_ability_get(lport, &ability) != 0) return 0;
    return ability & kPortAdvertSpeeds & ~advert;
}

// Auto-negotiation as the form shows it: 0 off, or a gigabit copper port
// that negotiates 1000 full alone (forced to gigabit); 1 on with every speed
// the port runs; 2 on with fewer (a cap set on the monitor), which the form
// offers as a choice of its own so that an Apply that leaves it keeps it.
int autoneg_shown(int lport) {
    int autoneg = 0;
    if (dxpx_port_autoneg_get(lport, &autoneg) != 0 || autoneg != 1) return 0;
    uint32_t advert = 0;
    if (dxpx_port_advert_get(lport, &advert) != 0) return 1;
    int medium = 0;
    dxpx_port_medium_get(lport, &medium);
    if (gigabit_port(lport) && medium == kMediumCopper && (advert & kAdvertLowSpeeds) == 0)
        return 0;
    // A gigabit port off copper (a fibre, or no medium yet) offers the
    // fibre's one speed beside the copper's abilities: no cap of its own.
    // Written back as the port's advertisement, it would cap the copper and
    // force the fibre.
    if (gigabit_port(lport) && medium != kMediumCopper) return 1;
    // Reduced only while it offers some of the speeds the port runs.
    uint32_t ability = 0;
    if (dxpx_port_ability_get(lport, &ability) != 0 || (advert & ability & kPortAdvertSpeeds) == 0)
        return 1;
    return speeds_left_out(lport, advert) != 0 ? 2 : 1;
}

// What a reduced advertisement offers, as its choice names it: "up to 100"
// when it offers every speed the port runs up to its fastest, else the
// speed/duplex names it offers.
const char *advert_running_text(int lport) {
    uint32_t advert = 0;
    if (dxpx_port_advert_get(lport, &advert) != 0) return "";
    const uint32_t left_out = speeds_left_out(lport, advert);
    static constexpr int kMbps[] = {0, 10, 10, 100, 100, 1000};
    int fastest = 0;
    for (int code = 1; code <= 5; code++)
        if ((advert & kCodeAbility[code].bit) != 0) fastest = kMbps[code];
    bool every = fastest != 0;
    std::string names;
    for (int code = 1; code <= 5; code++) {
        const uint32_t bit = kCodeAbility[code].bit;
        if (kMbps[code] <= fastest && (left_out & bit) != 0) every = false;
        if ((advert & bit) != 0)
            names += (names.empty() ? "" : ", ") + std::string(kCodeAbility[code].name);
    }
    return every ? web_tag_printf("up to %d", fastest) : web_tag_printf("%s", names.c_str());
}

// A negotiating port shows the link's speed. A forced one shows what it is
// forced to, whoever forced it (the form or the monitor): the chip reports
// that, link or not, and the form's last code stands in only while it
// reports no speed. The forced gigabit state negotiates 1000 full alone.
int speed_code_shown(int port, int lport, int speed, int duplex) {
    if (autoneg_shown(lport) != 0) return code_of_speed(speed, duplex);
    int autoneg = 0;
    if (dxpx_port_autoneg_get(lport, &autoneg) == 0 && autoneg == 1) return 5;
    const int stored = speed_code_table[port - 1].load();
    if (speed != 10 && speed != 100 && speed != 1000 && stored != 0) return stored;
    return code_of_speed(speed, duplex);
}

// The error page of a refused step (the caller logs its own line).
int refuse(httpd_event *ev, httpd_request *req, const char *message) {
    return web_error_page(ev, req, kTitle, message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

bool pvid_defined(int pvid, int port, const char *text, httpd_event *ev, httpd_request *req,
                  int *rv) {
    bool found = false;
    int count = qsw_vlanmgr_count_get();
    for (int i = 0; i < count; i++) {
        uint16_t vid = qsw_vlanmgr_vid_get(i);
        if (vid == VLANMGR_VID_NONE) {
            logger_printf(LOG_LEVEL_ERROR, LOG_MOD_PORT,
                          "Set Port: qsw_vlanmgr_vid_get vid #%d failed.\n", i);
            *rv = refuse(ev, req, "qsw_vlanmgr_vid_get failed");
            return false;
        }
        if (vid == pvid) found = true;
    }
    if (!found) {
        web_refused_puts(req, LOG_MOD_PORT, "Set Port: PVID is not an existent vlan id.\n");
        *rv = refuse(ev, req,
                     web_tag_printf("PVID is not an existent vlan id: port %d pvid \"%.16s\"; "
                                    "nothing changed",
                                    port, text));
    }
    return found;
}

struct PortForm {
    int port;
    int lport;
    bool autoneg;
    bool forced_gigabit;
    bool keep_speeds;  // the running reduced advertisement, left as it is
    int speed;
    int duplex;
    bool flow;
    bool pause_tx, pause_rx;  // as flow, or one direction kept as it runs
    int priority;
    int pvid;
};

// Logs a refused step for the port and shows its message.
int port_failed(httpd_event *ev, httpd_request *req, const PortForm &f, const char *message,
                const char *log) {
    logger_printf(LOG_LEVEL_ERROR, LOG_MOD_PORT, "Set Port #%d: %s.\n", f.port, log);
    return refuse(ev, req, message);
}

// The form's fields in the order the steps take them: port, admin,
// autonego, speed (absent while auto-negotiation is on), flow_ctrl,
// priority and pvid.
constexpr const char *kFieldNames[] = {"port",      "admin",    "autonego", "speed",
                                       "flow_ctrl", "priority", "pvid"};
constexpr int kFieldCount = static_cast<int>(std::size(kFieldNames));
constexpr int kSpeedField = 3;

// Logs a value the form may not set, naming the client, and shows its message.
int port_refused(httpd_event *ev, httpd_request *req, const PortForm &f, const char *message,
                 const char *log) {
    web_refused_printf(req, LOG_MOD_PORT, "Set Port #%d: %s.\n", f.port, log);
    return refuse(ev, req, message);
}

// 1000 Mb/s full asked with auto-negotiation off on a gigabit copper port:
// reached through negotiation with only gigabit advertised.
bool forced_gigabit(const httpd_pair *pairs, int count, int lport) {
    if (std::strcmp(pairs[2].value, "0") != 0 || count < 4 || pairs[3].value[0] != '5' ||
        !gigabit_port(lport))
        return false;
    int medium = 0;
    dxpx_port_medium_get(lport, &medium);
    return medium == kMediumCopper;
}

// A forced speed the port cannot run is refused before anything changes,
// so the port keeps running as it was; 0 or the handler's answer.
int check_speed(httpd_event *ev, httpd_request *req, const httpd_pair *pairs, int count,
                const PortForm &f) {
    if (count != 7 || forced_gigabit(pairs, count, f.lport)) return 0;
    int code = 0;
    uint32_t ability = 0;
    char message[128];
    if (!web_form_int(pairs[3].value, 1, 5, &code)) {
        std::snprintf(message, sizeof message,
                      "Set speed failed: port %d speed \"%.8s\" is no speed/duplex code (1-5)",
                      f.port, pairs[3].value);
    } else if (dxpx_port_ability_get(f.lport, &ability) == 0 &&
               (ability & kCodeAbility[code].bit) == 0) {
        std::snprintf(message, sizeof message, "Set speed failed: port %d cannot run %s", f.port,
                      kCodeAbility[code].name);
    } else {
        return 0;
    }
    web_refused_printf(req, LOG_MOD_PORT, "Set Port #%d: Set speed failed.\n", f.port);
    return refuse(ev, req, message);
}

// A yes-or-no select of the form: "0" or "1"; false for anything else.
bool form_switch(const char *text) {
    return std::strcmp(text, "0") == 0 || std::strcmp(text, "1") == 0;
}

// The priority and the PVID are checked before anything changes too, so a
// refused form leaves the port as it was; 0 or the handler's answer.
int check_values(httpd_event *ev, httpd_request *req, const httpd_pair *pairs, int count,
                 PortForm &f) {
    // The state is the form's select: a value it does not offer is a
    // malformed post, not a disable.
    const char *admin = pairs[1].value;
    if (!form_switch(admin)) {
        web_refused_printf(req, LOG_MOD_PORT, "Set Port #%d: malformed admin state.\n", f.port);
        return refuse(ev, req,
                      web_tag_printf("Port %d: admin \"%.16s\" is neither 0 (disable) nor 1 "
                                     "(enable); nothing changed",
                                     f.port, admin));
    }
    // Auto-negotiation 2 is the running reduced advertisement, offered only
    // while the port runs one.
    const char *autonego = pairs[2].value;
    if (!form_switch(autonego) && std::strcmp(autonego, "2") != 0)
        return port_refused(ev, req, f,
                            web_tag_printf("Port %d: autonego \"%.16s\" is neither 0 (off) nor 1 "
                                           "(on); nothing changed",
                                           f.port, autonego),
                            "Set auto negotiatio failed");
    if (std::strcmp(autonego, "2") == 0 && autoneg_shown(f.lport) != 2)
        return port_refused(ev, req, f,
                            web_tag_printf("Port %d: autonego 2 keeps a reduced advertisement, "
                                           "and the port runs none; nothing changed",
                                           f.port),
                            "Set auto negotiatio failed");
    const bool autoneg = std::strcmp(autonego, "0") != 0 || forced_gigabit(pairs, count, f.lport);
    if (count != 7 && !(count == 6 && autoneg)) {
        web_refused_puts(req, LOG_MOD_PORT, "Set Port: cxt->count is a wrong value.\n");
        return refuse(ev, req,
                      web_tag_printf("Port %d: the post lacks speed, which auto-negotiation off "
                                     "needs; nothing changed",
                                     f.port));
    }
    const int first = count == 6 ? 3 : 4;
    int priority = 0, pvid = -1, flow = 0;
    // Pause in one direction only is taken back only as the port runs it.
    const char *flow_text = pairs[first].value;
    if (!web_form_int(flow_text, 0, kPauseRxOnly, &flow) ||
        (flow >= kPauseTxOnly && flow != port_pause_shown(f.port)))
        return port_refused(ev, req, f,
                            web_tag_printf("Set pause failed: port %d flow_ctrl \"%.16s\" is "
                                           "neither 0 (off) nor 1 (on) nor the one direction the "
                                           "port runs; nothing changed",
                                           f.port, flow_text),
                            "Set pause failed");
    if (!web_form_int(pairs[first + 1].value, 0, 7, &priority))
        return port_refused(ev, req, f,
                            web_tag_printf("Set untagged priority failed: port %d priority "
                                           "\"%.16s\" is not 0 to 7; nothing changed",
                                           f.port, pairs[first + 1].value),
                            "Set untagged priority failed");
    int rv = 0;
    web_form_int(pairs[first + 2].value, 1, 4094, &pvid);  // no VLAN has -1
    if (!pvid_defined(pvid, f.port, pairs[first + 2].value, ev, req, &rv)) return rv;
    return 0;
}

// Steps 2 to 6: enable, auto-negotiation, MDI-X and speed/duplex; 0 or the
// handler's answer.
int apply_link(httpd_event *ev, httpd_request *req, const httpd_pair *pairs, int count,
               PortForm &f) {
    int enable = pairs[1].value[0] == '1' ? 1 : 0;
    if (dxpx_port_enable_set(f.lport, enable) != 0)
        return port_failed(ev, req, f, "Enable port failed", "Enable port failed");
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_PORT, "Set Port #%d %s\n", f.port,
                  enable ? "Enable" : "Disable");

    f.forced_gigabit = forced_gigabit(pairs, count, f.lport);
    f.keep_speeds = std::strcmp(pairs[2].value, "2") == 0;
    f.autoneg = f.forced_gigabit || std::strcmp(pairs[2].value, "0") != 0;
    if (dxpx_port_autoneg_set(f.lport, f.autoneg ? 1 : 0) != 0)
        return port_failed(ev, req, f, "Set auto negotiatio failed", "Set auto negotiatio failed");
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_PORT, "Set Port #%d auto-nego %s\n", f.port,
                  f.autoneg ? "on" : "off");

    // A PHY without MDI-X control answers "feature unavailable".
    int rv = dxpx_port_mdix_set(f.lport, f.autoneg ? 0 : 1);
    if (rv != 0 && rv != DXP_E_UNAVAIL)
        return port_failed(ev, req, f, "Set mdix failed", "Set mdix failed");

    int first = 4;
    if (count == 6) {
        first = 3;
    } else {
        speed_of_code(pairs[3].value[0], &f.speed, &f.duplex);
        // Negotiating, the link runs what the ends agree: setting a speed
        // beside "on" would force the port.
        if (!f.autoneg) {
            if (f.speed == 0 || dxpx_port_speed_set(f.lport, f.speed) != 0)
                return port_failed(ev, req, f, "Set speed failed", "Set speed failed");
            if (dxpx_port_duplex_set(f.lport, f.duplex) != 0)
                return port_failed(ev, req, f, "Set duplex failed", "Set duplex failed");
        }
        port_speed_code_set(f.port - 1, pairs[3].value[0] - '0');
        logger_printf(LOG_LEVEL_INFO, LOG_MOD_PORT, "Set Port #%d %dMbps %s\n", f.port, f.speed,
                      f.duplex == 1 ? "Full-Duplex" : "Half-Duplex");
    }
    f.flow = std::strcmp(pairs[first].value, "1") == 0;
    f.pause_tx = f.flow || std::strcmp(pairs[first].value, "2") == 0;
    f.pause_rx = f.flow || std::strcmp(pairs[first].value, "3") == 0;
    f.priority = static_cast<int>(std::strtol(pairs[first + 1].value, nullptr, 10));
    f.pvid = static_cast<int>(std::strtol(pairs[first + 2].value, nullptr, 10));
    return 0;
}

// Steps 8 to 13: flow control, advertisement, pause, priority and PVID.
int apply_port_values(httpd_event *ev, httpd_request *req, const PortForm &f) {
    // One direction kept leaves the form's own flow control as it was.
    if (f.pause_tx == f.pause_rx) {
        port_flowctrl_set(f.port - 1, f.flow ? 1 : 0);
        logger_printf(LOG_LEVEL_INFO, LOG_MOD_PORT, "Set Port #%d flow control %s\n", f.port,
                      f.flow ? "Enabled" : "Disabled");
    }
    if (f.autoneg) {
        uint32_t advert = 0;
        if (dxpx_port_advert_get(f.lport, &advert) != 0)
            return port_failed(ev, req, f, "dxpx_port_advert_get failed", "port advert get failed");
        advert &= ~kAdvertPause;
        if (f.pause_tx) advert |= kAdvertPauseTx;
        if (f.pause_rx) advert |= kAdvertPauseRx;
        // "On" offers every speed the port's PHY and MAC run, as a load
        // advertises it; the running reduced advertisement stays as it is.
        if (f.forced_gigabit)
            advert = port_advert_runnable(f.lport, advert & ~kAdvertLowSpeeds);
        else if (!f.keep_speeds)
            advert = port_advert_runnable(f.lport, advert | kPortAdvertSpeeds);
        if (dxpx_port_advert_set(f.lport, advert) != 0)
            return port_failed(ev, req, f, "dxpx_port_advert_set failed", "port advert set failed");
    }
    if (dxpx_port_pause_set(f.lport, f.pause_tx ? 1 : 0, f.pause_rx ? 1 : 0) != 0)
        return port_failed(ev, req, f, "Set pause failed", "Set pause failed");
    if (dxpx_port_untagged_priority_set(f.lport, f.priority) != 0)
        return port_failed(ev, req, f, "Set untagged priority failed",
                           "Set untagged priority failed");
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_PORT, "Set Port #%d default priority %d\n", f.port,
                  f.priority);
    if (dxpx_port_untagged_vlan_set(f.lport, static_cast<dxp_vlan_t>(f.pvid)) != 0)
        return port_failed(ev, req, f, "Set untagged vlan failed", "Set untagged vlan failed");
    if (setportcbk_PVID_set(f.port - 1, f.pvid) != 1)
        return port_failed(ev, req, f, "setportcbk_PVID_set", "Set PVID failed");
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_PORT, "Set Port #%d PVID %d\n", f.port, f.pvid);
    return 0;
}

// The user port stored by "setport.cgi", with its logical port; false when
// none is stored or it names no front-panel port.
bool stored_port(const httpd_request *req, int *port, int *lport) {
    const auto *stored = static_cast<const int *>(
        httpd_req_state_find(req, reinterpret_cast<const void *>(&ssphandler_setport_cgi)));
    if (stored == nullptr) return false;
    *port = *stored;
    return *port >= 1 && *port <= web_port_count() && ulpm_to_lport(*port, lport) == 0;
}

// The form's checks and steps, with the port held against a self-test.
int apply_form(httpd_event *ev, httpd_request *req, const httpd_pair *pairs, int count,
               PortForm &f) {
    if (int rv = check_speed(ev, req, pairs, count, f); rv != 0) return rv;
    if (int rv = check_values(ev, req, pairs, count, f); rv != 0) return rv;
    if (int rv = apply_link(ev, req, pairs, count, f); rv != 0) return rv;
    return apply_port_values(ev, req, f);
}

}  // namespace

void port_flowctrl_set(int index, int value) {
    if (index_valid(index)) flowctrl_table[index].store(value == 1 ? 1 : 0);
}

int port_flowctrl_get(int index) {
    return index_valid(index) ? flowctrl_table[index].load() : 0;
}

void port_speed_code_set(int index, int code) {
    if (index_valid(index)) speed_code_table[index].store(code >= 1 && code <= 5 ? code : 0);
}

int port_speed_code_get(int index) {
    return index_valid(index) ? speed_code_table[index].load() : 0;
}

int port_speed_code_running(int port) {
    int lport = 0;
    if (!index_valid(port - 1) || ulpm_to_lport(port, &lport) != 0) return 0;
    int speed = 0;
    int duplex = 0;
    // A port under self-test runs the test's speed: the page and a save
    // take the one the test gives back.
    dxp_port_info before{};
    if (port_reserve_kept_info_lport(lport, &before)) {
        speed = before.speed;
        duplex = before.duplex;
    } else {
        dxpx_port_speed_get(lport, &speed);
        dxpx_port_duplex_get(lport, &duplex);
    }
    return speed_code_shown(port, lport, speed, duplex);
}

namespace {

// The pause a port runs (false when it cannot be read).
bool pause_running(int port, int *tx, int *rx) {
    int lport = 0;
    if (!index_valid(port - 1) || ulpm_to_lport(port, &lport) != 0) return false;
    // Negotiating, the port pauses as its advertisement offers (the link's
    // pause is what the partner agreed to); forced, as its MAC is set.
    int autoneg = 0;
    uint32_t advert = 0;
    dxp_port_info before{};
    if (dxpx_port_autoneg_get(lport, &autoneg) == 0 && autoneg == 1) {
        if (dxpx_port_advert_get(lport, &advert) != 0) return false;
        *tx = (advert & kAdvertPauseTx) != 0;
        *rx = (advert & kAdvertPauseRx) != 0;
    } else if (port_reserve_kept_info_lport(lport, &before)) {
        *tx = before.pause_tx;  // as the self-test will give it back
        *rx = before.pause_rx;
    } else if (dxpx_port_pause_get(lport, tx, rx) != 0) {
        return false;
    }
    return true;
}

// What the form's flow control shows: off, on, or one direction only.
int port_pause_shown(int port) {
    int tx = 0, rx = 0;
    if (!pause_running(port, &tx, &rx) || tx == rx) return port_flowctrl_running(port);
    return tx != 0 ? kPauseTxOnly : kPauseRxOnly;
}

}  // namespace

// Pause in one direction only is no state of the stored settings: the
// form's own stands.
int port_flowctrl_running(int port) {
    const int form = port_flowctrl_get(port - 1);
    int tx = 0, rx = 0;
    if (!pause_running(port, &tx, &rx)) return form;
    return tx == rx ? tx : form;
}

bool port_speed_of_code(int code, int *speed, int *duplex) {
    speed_of_code(static_cast<char>('0' + code), speed, duplex);
    return *speed != 0;
}

int port_code_of_speed(int speed, int duplex) {
    return code_of_speed(speed, duplex);
}

int port_pvid_init(void) {
    for (auto &pvid : pvid_table) {
        uint32_t unset = 0;
        pvid.compare_exchange_strong(unset, 1);
    }
    return 1;
}

int port_pvid_get(int index) {
    return index_valid(index) ? static_cast<int>(pvid_table[index].load()) : 0;
}

void port_cpu_l2_addr_source_set(port_cpu_l2_addr_fn fn) {
    cpu_l2_addr_source.store(fn);
}

int setportcbk_PVID_set(int index, int pvid) {
    if (!index_valid(index)) return 0;
    const int old = port_pvid_get(index);
    bool old_used = false;
    bool new_used = false;
    for (int j = 0; j < web_port_count() && j < BOARD_MAX_UPORTS; j++) {
        if (j == index) continue;
        old_used = old_used || port_pvid_get(j) == old;
        new_used = new_used || port_pvid_get(j) == pvid;
    }
    dxpx_l2_addr_t record{};
    port_cpu_l2_addr_fn source = cpu_l2_addr_source.load();
    if (source != nullptr && source(static_cast<dxp_vlan_t>(pvid), &record) == 1 && old != pvid) {
        if (!old_used && dxpx_l2_addr_delete(record.mac, static_cast<dxp_vlan_t>(old)) != 0)
            return 0;
        if (!new_used && dxpx_l2_addr_add(&record, 0) < 0) return 0;
    }
    pvid_table[index].store(static_cast<uint32_t>(pvid));
    return 1;
}

int ssphandler_setport_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS || ev->b.num < 1) return 0;
    auto *stored = static_cast<int *>(httpd_req_state_get(
        req, reinterpret_cast<const void *>(&ssphandler_setport_cgi), sizeof(int)));
    if (stored != nullptr)
        *stored = web_form_int(ev->a.pairs[0].value, 1, web_port_count(), stored) ? *stored : 0;
    return 0;
}

int ssphandler_portset_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    // The fields by name, laid out in the order the steps read them: a post
    // in another order means the same.
    const char *values[kFieldCount];
    const char *stray = web_form_fields(ev, kFieldNames, kFieldCount, values);
    PortForm f{};
    if (!web_form_int(values[0], 1, web_port_count(), &f.port) ||
        ulpm_to_lport(f.port, &f.lport) != 0) {
        web_refused_puts(req, LOG_MOD_PORT,
                         "Set Port: Transfer user port number to logical port number failed.\n");
        return refuse(ev, req,
                      web_tag_printf("Transfer user port number to logical port number failed: "
                                     "port \"%.16s\" is no front-panel port; nothing changed",
                                     values[0] != nullptr ? values[0] : ""));
    }
    httpd_pair pairs[kFieldCount];
    int count = 0;
    for (int i = 0; i < kFieldCount; i++) {
        if (values[i] == nullptr && i == kSpeedField) continue;
        if (stray != nullptr || values[i] == nullptr) {
            web_refused_puts(req, LOG_MOD_PORT, "Set Port: cxt->count is a wrong value.\n");
            return refuse(ev, req,
                          stray != nullptr
                              ? web_tag_printf("Port %d: field \"%.16s\" is unknown or given "
                                               "twice; nothing changed",
                                               f.port, stray)
                              : web_tag_printf("Port %d: the post lacks %s; nothing changed",
                                               f.port, kFieldNames[i]));
        }
        pairs[count++] = {const_cast<char *>(kFieldNames[i]), const_cast<char *>(values[i])};
    }
    // A port under self-test is refused before anything changes; the hold
    // keeps a test from taking it half-way through.
    if (port_reserve_hold(f.lport) != 0) {
        const char *held = port_reserve_held_text_lport(f.lport);
        web_refused_printf(req, LOG_MOD_PORT, "Set Port #%d: %s.\n", f.port, held);
        return refuse(ev, req, web_tag_printf("Port %d: %s", f.port, held));
    }
    int rv = apply_form(ev, req, pairs, count, f);
    port_reserve_unhold();
    if (rv != 0) return rv;
    if (settings_save_item("portconf") != 1) {
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_PORT, "Set Port: Save to nvram failed.\n");
        return refuse(ev, req, "Save to nvram failed");
    }
    return 0;
}

void sspvar_portset_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    int port = 0;
    int lport = 0;
    if (!stored_port(req, &port, &lport)) return;
    web_api_batch_hold();  // the form's fields in one go
    int value = 0;
    switch (args[0]) {
        case 8:
            web_tag_int(out, port_type(lport));
            break;
        case 9:
            web_tag_int(out, dxpx_port_enable_get(lport, &value) == 0 && value == 1 ? 1 : 0);
            break;
        case 10:
            web_tag_int(out, autoneg_shown(lport));
            break;
        case 11:
            web_tag_int(out, port_speed_code_running(port));
            break;
        case 12:
            web_tag_int(out, port_pause_shown(port));
            break;
        case 13:
            dxpx_port_untagged_priority_get(lport, &value);
            web_tag_int(out, value);
            break;
        case 14:
            web_tag_int(out, static_cast<uint16_t>(port_pvid_get(port - 1)));
            break;
        case 15:
            web_tag_text(out, web_tag_printf(port < 10 ? "0%d" : "%d", port));
            break;
        case 16:
            web_tag_int(out, codes_runnable(lport));
            break;
        case 17:
            if (autoneg_shown(lport) == 2) web_tag_text(out, advert_running_text(lport));
            break;
        default:
            break;
    }
}
