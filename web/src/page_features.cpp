// Feature-visibility loop of the menu and the port and system pages, and
// the empty tag that stands for a hidden value.
#include "logger.h"
#include "web_pages.h"

namespace {

bool feature_shown(uint16_t feature) {
    switch (feature) {
        case WEB_FEATURE_PVID:
        case WEB_FEATURE_TRUNK:
        case WEB_FEATURE_MIRROR:
        case WEB_FEATURE_QOS:
        case WEB_FEATURE_RATE:
        case WEB_FEATURE_STORM:
        case WEB_FEATURE_CABLE_DIAG:
        case WEB_FEATURE_AUTO_DOS:
        case WEB_FEATURE_AUTO_VOIP:
        case WEB_FEATURE_LOGGING:
        case WEB_FEATURE_SNMP:
        case WEB_FEATURE_RMON_LITE:
        case WEB_FEATURE_DYNAMIC_ARP:
            return true;
        case WEB_FEATURE_RAM_LOGS:
            return logger_ram_get() != nullptr;
        case WEB_FEATURE_FLASH_LOGS:
            return logger_flash_get() != nullptr;
        default:  // features this firmware does not have
            return false;
    }
}

}  // namespace

int ssploop_feature_tag_show(const uint16_t args[3], int index, httpd_request *) {
    return index == 0 && feature_shown(args[0]) ? 1 : 0;
}

void sspvar_empty_tag(const uint16_t *, httpd_tag_out *out, httpd_request *) {
    out->kind = 0;
}
