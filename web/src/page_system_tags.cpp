// Values of the management interface shown by the system page and used in
// the redirect page and the login redirect.
#include <cstdio>

#include "net_util.h"
#include "nvram.h"
#include "web_pages.h"
#include "web_system.h"

namespace {

enum ssi_selector : uint16_t {
    SSI_NEW_IP = 0,
    SSI_IP = 1,
    SSI_MASK = 2,
    SSI_GATEWAY = 3,
    SSI_IFNAME = 4,
    SSI_DHCP = 5,
    SSI_MAC = 9,
};

// The interface the pages show: "eth1" once it is set up, else "eth0".
net_if_info shown_interface() {
    net_if_info info{};
    if (net_util_if_info_get("eth1", &info, 0) < NET_IF_DHCP_BOUND) {
        info = net_if_info{};
        if (net_util_if_info_get("eth0", &info, 0) < 0) info = net_if_info{};
    }
    return info;
}

// The record's texts are fixed fields; print them bounded.
const char *field_text(const char *field, size_t size) {
    return web_tag_printf("%.*s", static_cast<int>(size), field);
}

}  // namespace

void web_mgmt_address(char *buf, size_t size) {
    if (size == 0) return;
    net_if_info info = shown_interface();
    std::snprintf(buf, size, "%.*s", static_cast<int>(sizeof info.ip), info.ip);
}

void sspvar_system_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    if (args[0] == SSI_NEW_IP) {
        const char *ip = web_setip_address(req);
        if (ip != nullptr) web_tag_text(out, ip);
        return;
    }
    net_if_info info = shown_interface();
    switch (args[0]) {
        case SSI_IP:
            return web_tag_text(out, field_text(info.ip, sizeof info.ip));
        case SSI_MASK:
            return web_tag_text(out, field_text(info.mask, sizeof info.mask));
        case SSI_GATEWAY:
            return web_tag_text(out, field_text(info.gw, sizeof info.gw));
        case SSI_IFNAME:
            return web_tag_text(out, field_text(info.name, sizeof info.name));
        case SSI_DHCP:
            return web_tag_text(out, info.mode == NET_IF_STATIC ? "Disabled" : "Enabled");
        case SSI_MAC: {
            const char *mac = nvram_get(info.name[3] == '0' ? "et0macaddr" : "et1macaddr");
            if (mac == nullptr || mac[0] == '\0') return web_tag_text(out, "N/A");
            char escaped[WEB_TAG_TEXT_SIZE];
            web_html_escape(mac, escaped, sizeof escaped);
            return web_tag_text(out, web_tag_printf("%s", escaped));
        }
        default:
            return;
    }
}
