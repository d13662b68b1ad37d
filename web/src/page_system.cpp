// System page handlers: static address and DHCP client of the management
// interface, and the restart requests. Each handler only validates and
// answers; the change runs a second later on "httpd_timer", so that the
// answer leaves before the address goes away or the board restarts.
#include <atomic>
#include <cstring>

#include "logger.h"
#include "net_util.h"
#include "sal.h"
#include "settings.h"
#include "web_pages.h"
#include "web_system.h"

#ifndef SWITCHFW_VERSION
#define SWITCHFW_VERSION "1.0.0"
#endif
#ifndef SWITCHFW_BUILD_DATE
#define SWITCHFW_BUILD_DATE "unknown"
#endif

namespace {

constexpr const char *kSetipTitle = "Configure IP Address";
constexpr uint16_t kVersionText = 7;
constexpr uint16_t kBuildDateText = 8;
constexpr uint16_t kDhcpNotice = 5;
constexpr size_t kIfnameLen = 4;

struct ip_change {
    char ip[NET_IF_ADDR_SIZE];
    char mask[NET_IF_ADDR_SIZE];
    char gw[NET_IF_ADDR_SIZE];
    char ifname[NET_IF_ADDR_SIZE];
};

// The latest accepted change of each kind. A newer request replaces one that
// has not run yet; whoever takes the record owns it.
std::atomic<ip_change *> pending_setip{nullptr};
std::atomic<ip_change *> pending_dhcp{nullptr};
std::atomic<void (*)(void)> reboot_fn{nullptr};
// Address changes being accepted or applied, beside those waiting in the
// slots: a restart waits until none is left.
std::atomic<int> changes_busy{0};

// Counts an address change from before its acceptance to after its store.
class ChangeBusy {
  public:
    ChangeBusy() { changes_busy++; }
    ~ChangeBusy() { changes_busy--; }
    ChangeBusy(const ChangeBusy &) = delete;
    ChangeBusy &operator=(const ChangeBusy &) = delete;
};

constexpr const char *kRestartingRefusal =
    "The switch is restarting: the address is not changed and nothing changed; try again "
    "once it has restarted";

const char setip_key = 0;
const char dhcp_key = 0;

bool ifname_valid(const char *name) {
    return std::strlen(name) == kIfnameLen && std::strncmp(name, "eth", 3) == 0 &&
           (name[3] == '0' || name[3] == '1');
}

bool copy_field(char (&field)[NET_IF_ADDR_SIZE], const char *text) {
    if (std::strlen(text) >= sizeof field) return false;
    std::strcpy(field, text);
    return true;
}

uint32_t address_word(const uint8_t a[4]) {
    return static_cast<uint32_t>(a[0]) << 24 | static_cast<uint32_t>(a[1]) << 16 |
           static_cast<uint32_t>(a[2]) << 8 | a[3];
}

// Ones from the top, then zeros only.
bool netmask_is_contiguous(uint32_t mask) {
    uint32_t inverted = ~mask;
    return (inverted & (inverted + 1)) == 0;
}

// An address a host can take on its subnet: not 0.0.0.0, not multicast or
// reserved, and (with two host bits or more) not the subnet's own address or
// its broadcast address.
bool host_address(uint32_t ip, uint32_t mask) {
    if (ip == 0 || ip >= 0xE0000000u) return false;
    const uint32_t host = ip & ~mask;
    return ~mask < 3 || (host != 0 && host != ~mask);
}

void save_interface(const char *ifname) {
    settings_save_item(ifname[3] == '1' ? "et1config" : "et0config");
    settings_save_item("STARTUP");
}

void schedule(std::atomic<ip_change *> &slot, ip_change *change, httpd_timer_fn apply) {
    ip_change *old = slot.exchange(change);
    httpd_timer_cancel(apply);
    httpd_timer_add(1, apply, nullptr);
    sal_free(old);
}

void setip_apply(void *) {
    httpd_timer_cancel(setip_apply);
    ChangeBusy busy;
    ip_change *c = pending_setip.exchange(nullptr);
    if (c == nullptr) return;
    net_util_if_stop(c->ifname);
    net_util_if_start(c->ifname, NET_IF_MODE_STATIC, c->ip, c->mask, c->gw);
    save_interface(c->ifname);
    sal_free(c);
}

void dhcp_apply(void *) {
    httpd_timer_cancel(dhcp_apply);
    ChangeBusy busy;
    ip_change *c = pending_dhcp.exchange(nullptr);
    if (c == nullptr) return;
    net_util_if_stop(c->ifname);
    net_util_if_start(c->ifname, NET_IF_MODE_DHCP, nullptr, nullptr, nullptr);
    save_interface(c->ifname);
    sal_free(c);
}

void web_reboot_action(void *) {
    httpd_timer_cancel(web_reboot_action);
    void (*fn)(void) = reboot_fn.load();
    if (fn != nullptr) {
        fn();
        sal_restart_withdraw();  // a stand-in that returns
    } else {
        sal_reboot();
    }
}

// Answers the restart request and reboots a second later.
void reboot_later() {
    logger_puts(LOG_LEVEL_INFO, LOG_MOD_SYSTEM, "Restart system by web request");
    // Nothing accepted from here on could run before the reboot.
    sal_restart_announce();
    httpd_timer_add(1, web_reboot_action, nullptr);
}

bool confirmed(const httpd_event *ev) {
    const httpd_pair *pairs = ev->a.pairs;
    return ev->b.num >= 1 && std::strcmp(pairs[0].name, "confirm") == 0 &&
           std::strcmp(pairs[0].value, "yes") == 0;
}

int setip_refuse(httpd_event *ev, httpd_request *req, const char *message) {
    return web_error_page(ev, req, kSetipTitle, message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

}  // namespace

void web_reboot_set(void (*fn)(void)) {
    reboot_fn.store(fn);
}

int web_changes_waiting(void) {
    return changes_busy.load() + (pending_setip.load() != nullptr ? 1 : 0) +
           (pending_dhcp.load() != nullptr ? 1 : 0) + httpd_forms_waiting();
}

const char *web_setip_address(const httpd_request *req) {
    return static_cast<const char *>(httpd_req_state_find(req, &setip_key));
}

int setip_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    if (ev->b.num != 4) return web_content_switch(ev, "/system.htm");
    const httpd_pair *pairs = ev->a.pairs;
    ip_change change{};
    uint8_t ip[4], mask[4], gw[4];
    bool valid = copy_field(change.ip, pairs[0].value) && copy_field(change.mask, pairs[1].value) &&
                 copy_field(change.gw, pairs[2].value) &&
                 copy_field(change.ifname, pairs[3].value) && ifname_valid(change.ifname) &&
                 net_util_ip_parse(change.ip, ip) == 0 &&
                 net_util_ip_parse(change.mask, mask) == 0 &&
                 net_util_ip_parse(change.gw, gw) == 0 && netmask_is_contiguous(address_word(mask));
    uint32_t m = address_word(mask);
    if (!valid || !host_address(address_word(ip), m))
        return setip_refuse(ev, req, "Invalid IP, network submask or gateway address!");
    // 0.0.0.0 is no gateway, as the factory settings have it.
    if (address_word(gw) != 0 && (address_word(ip) & m) != (address_word(gw) & m))
        return setip_refuse(ev, req, "IP and gateway addresses are in different domain!");
    // Counted before the look at restarts: a restart announced after the
    // look waits for the change, one announced before it is seen here.
    ChangeBusy busy;
    if (sal_restart_announced() != 0) return setip_refuse(ev, req, kRestartingRefusal);

    auto *rec = static_cast<ip_change *>(sal_alloc(sizeof(ip_change), "setip.cgi"));
    auto *shown = static_cast<char *>(httpd_req_state_get(req, &setip_key, sizeof change.ip));
    if (rec == nullptr || shown == nullptr) {
        sal_free(rec);
        return setip_refuse(ev, req, "Internal server error!");
    }
    std::strcpy(shown, change.ip);
    *rec = change;
    schedule(pending_setip, rec, setip_apply);
    return 0;
}

int dhcp_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS || ev->b.num != 1) return 0;
    ip_change change{};
    if (!copy_field(change.ifname, ev->a.pairs[0].value) || !ifname_valid(change.ifname))
        return setip_refuse(ev, req, "Invalid interface: no DHCP client started");
    ChangeBusy busy;  // as for setip.cgi
    if (sal_restart_announced() != 0)
        return web_error_page(ev, req, "DHCP Client", kRestartingRefusal, WEB_RETRY_LABEL,
                              WEB_RETRY_ACTION);
    auto *rec = static_cast<ip_change *>(sal_alloc(sizeof(ip_change), "dhcp.cgi"));
    if (rec == nullptr || httpd_req_state_get(req, &dhcp_key, 4) == nullptr) {
        sal_free(rec);
        return 0;
    }
    *rec = change;
    schedule(pending_dhcp, rec, dhcp_apply);
    return 0;
}

int reset_cgi(httpd_event *ev, httpd_request *) {
    if (ev->event == HTTPD_EV_ARGS && confirmed(ev)) reboot_later();
    return 0;
}

int restart_cgi(httpd_event *ev, httpd_request *) {
    return reset_cgi(ev, nullptr);
}

void sspvar_sysinfo_tag_version(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    if (args[0] == kVersionText) web_tag_text(out, SWITCHFW_VERSION);
    if (args[0] == kBuildDateText) web_tag_text(out, SWITCHFW_BUILD_DATE);
}

int ssploop_dhcp_tag_notice(const uint16_t args[3], int index, httpd_request *req) {
    if (index != 0) return 0;
    bool accepted = httpd_req_state_find(req, &dhcp_key) != nullptr;
    return (args[0] == kDhcpNotice) == accepted ? 1 : 0;
}
