// The Auto VoIP page: one profile that switches the feature on or off. The
// bandwidth choice is kept off the page; the feature runs without a limit.
#include <cstdlib>
#include <cstring>

#include "sal_lock.h"
#include "logger.h"
#include "settings.h"
#include "voipmgr.h"
#include "web_pages.h"
#include "web_switch_pages.h"
#include "web_voip_page.h"

namespace {

constexpr const char *kProfiles[] = {"Disable", "IP Phone"};
constexpr int kProfileCount = 2;

struct Bandwidth {
    int limit;  // kb/s, 0 = no limit
    const char *label;
};
constexpr Bandwidth kBandwidths[] = {
    {.limit = 0, .label = "No Limit"},    {.limit = 512, .label = "512 Kbps"},
    {.limit = 1024, .label = " 1  Mbps"}, {.limit = 2048, .label = " 2  Mbps"},
    {.limit = 5120, .label = " 5  Mbps"}, {.limit = 10240, .label = "10  Mbps"},
};
constexpr int kBandwidthCount = 6;

// The form's "profiles" value, else its first value.
const char *profile_value(const httpd_event *ev) {
    for (int i = 0; i < ev->b.num; i++) {
        if (std::strcmp(ev->a.pairs[i].name, "profiles") == 0) return ev->a.pairs[i].value;
    }
    return web_form_value(ev, 0);
}

}  // namespace

int voip_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    SalLock hold(voip_profile_lock());  // the change and its save are one step
    const char *text = profile_value(ev);
    int profile = -1;
    if (!web_form_int(text, 0, kProfileCount - 1, &profile)) {
        web_refused_puts(req, LOG_MOD_AUTOVOIP, "Set Auto VoIP failed : Invalid profile");
        return web_error_page(ev, req, "Auto VoIP", "Invalid profile", WEB_RETRY_LABEL,
                              WEB_RETRY_ACTION);
    }
    const int enable = profile != 0 ? 1 : 0;
    // A switch without the service refuses before the manager is asked: one
    // gated warning naming the client, as the other pages log theirs.
    if (const char *missing = web_feature_missing(WEB_FEATURE_AUTO_VOIP); missing && enable) {
        web_refused_printf(req, LOG_MOD_AUTOVOIP, "Set Auto VoIP failed : %s", missing);
        return web_error_page(ev, req, "Auto VoIP", missing, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
    }
    // The form has no bandwidth field: a profile that stays on keeps the
    // bandwidth it runs (a restored file's).
    int running = 0, limit = kBandwidths[0].limit;
    voip_profile_get(0, &running, &limit);
    if (voip_profile_set(0, enable, enable ? limit : 0) != 0) {
        // Refused: nothing changed, nothing to store; the reason is named.
        const char *missing = web_feature_missing(WEB_FEATURE_AUTO_VOIP);
        return web_error_page(ev, req, "Auto VoIP",
                              missing != nullptr ? missing : voip_profile_refusal(),
                              WEB_RETRY_LABEL, WEB_RETRY_ACTION);
    }
    settings_save_item("voip");
    return 0;
}

void sspvar_voip_tag_profile(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    int enable = 0, limit = 0;
    voip_profile_get(0, &enable, &limit);
    const int index = args[1];
    switch (args[0]) {
        case 0:
            web_tag_int(out, kProfileCount);
            break;
        case 2:
            web_tag_int(out, index);
            break;
        case 3:
            web_tag_text(out, enable == index ? "selected" : "");
            break;
        case 4:
            if (index < kProfileCount) web_tag_text(out, kProfiles[index]);
            break;
        default:
            break;
    }
}

void sspvar_voip_tag_bw(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    int enable = 0, limit = 0;
    voip_profile_get(0, &enable, &limit);
    const int index = args[1];
    int current = 0;  // a limit outside the table shows as the first entry
    for (int i = 0; i < kBandwidthCount; i++) {
        if (kBandwidths[i].limit == limit) current = i;
    }
    switch (args[0]) {
        case 1:
            web_tag_int(out, kBandwidthCount);
            break;
        case 5:
            web_tag_int(out, index);
            break;
        case 6:
            web_tag_text(out, index == current ? "selected" : "");
            break;
        case 7:
            if (index < kBandwidthCount) web_tag_text(out, kBandwidths[index].label);
            break;
        default:
            break;
    }
}

int ssploop_voip_tag_profiles(const uint16_t *, int index, httpd_request *) {
    return index < kProfileCount;
}

int ssploop_voip_tag_bw(const uint16_t *, int index, httpd_request *) {
    return index < kBandwidthCount;
}

int ssploop_voip_tag_hidden(const uint16_t *, int, httpd_request *) {
    return 0;
}
