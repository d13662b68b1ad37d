// Feature-visibility loop of the menu and the port and system pages, and
// the empty tag that stands for a hidden value.
#include "dxpx.h"
#include "logger.h"
#include "soc_property.h"
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

const char *web_feature_missing(uint16_t feature) {
    // Their rules are field-processor entries; the 26-port board's chip has none.
    if (soc_feature(DXPX_CPU_UNIT, soc_feature_field)) return nullptr;
    switch (feature) {
        case WEB_FEATURE_AUTO_DOS:
            return "This switch has no field processor: the DoS checks cannot run on it.";
        case WEB_FEATURE_AUTO_VOIP:
            return "This switch has no field processor: Auto VoIP cannot run on it.";
        case WEB_FEATURE_DYNAMIC_ARP:
            return "This switch has no field processor: Dynamic ARP Inspection cannot run on it.";
        case WEB_FEATURE_QOS:
            return "This switch has no field processor: port and IP address based QoS cannot "
                   "run on it.";
        default:
            return nullptr;
    }
}

int ssploop_feature_tag_missing(const uint16_t args[3], int index, httpd_request *) {
    return index == 0 && web_feature_missing(args[0]) != nullptr ? 1 : 0;
}

void sspvar_feature_tag_missing(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    if (const char *text = web_feature_missing(args[0]); text != nullptr) web_tag_text(out, text);
}

int ssploop_feature_tag_show(const uint16_t args[3], int index, httpd_request *) {
    return index == 0 && feature_shown(args[0]) ? 1 : 0;
}

void sspvar_empty_tag(const uint16_t *, httpd_tag_out *out, httpd_request *) {
    out->kind = 0;
}
