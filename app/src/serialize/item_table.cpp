// The fixed table of settings items. Handlers are referenced weakly: an item
// whose owner is not linked in has a null handler and is skipped.
#include <cstring>

#include "serialize.h"
#include "serialize_internal.h"

#define SETTINGS_WEAK_HANDLER(fn) extern int fn(int op, settings_medium *m) __attribute__((weak))

SETTINGS_WEAK_HANDLER(settings_item_rmon);
SETTINGS_WEAK_HANDLER(settings_item_vlan);
SETTINGS_WEAK_HANDLER(settings_item_portconf);
SETTINGS_WEAK_HANDLER(settings_item_trunk);
SETTINGS_WEAK_HANDLER(settings_item_l2);
SETTINGS_WEAK_HANDLER(settings_item_aging);
SETTINGS_WEAK_HANDLER(settings_item_mirror);
SETTINGS_WEAK_HANDLER(settings_item_qos);
SETTINGS_WEAK_HANDLER(settings_item_rate);
SETTINGS_WEAK_HANDLER(settings_item_dos);
SETTINGS_WEAK_HANDLER(settings_item_darp);
SETTINGS_WEAK_HANDLER(settings_item_voip);
SETTINGS_WEAK_HANDLER(settings_item_snmp);
SETTINGS_WEAK_HANDLER(settings_item_et0config);
SETTINGS_WEAK_HANDLER(settings_item_et1config);
SETTINGS_WEAK_HANDLER(settings_item_startup);
SETTINGS_WEAK_HANDLER(settings_item_httpd);
SETTINGS_WEAK_HANDLER(settings_item_loggers);
SETTINGS_WEAK_HANDLER(webauth_item_username);
SETTINGS_WEAK_HANDLER(webauth_item_password);

const settings_item g_serializers[] = {
    {"rmon", SETTINGS_GROUP_RMON, SETTINGS_ITEM_RECORD, settings_item_rmon},
    {"vlan", SETTINGS_GROUP_VLAN, SETTINGS_ITEM_RECORD, settings_item_vlan},
    {"portconf", SETTINGS_GROUP_PORT, SETTINGS_ITEM_RECORD, settings_item_portconf},
    {"trunk", SETTINGS_GROUP_TRUNK, SETTINGS_ITEM_RECORD, settings_item_trunk},
    {"l2", SETTINGS_GROUP_L2, SETTINGS_ITEM_RECORD, settings_item_l2},
    {"aging", SETTINGS_GROUP_AGING, SETTINGS_ITEM_RECORD, settings_item_aging},
    {"mirror", SETTINGS_GROUP_MIRROR, SETTINGS_ITEM_RECORD, settings_item_mirror},
    {"qos", SETTINGS_GROUP_QOS, SETTINGS_ITEM_RECORD, settings_item_qos},
    {"rate", SETTINGS_GROUP_RATE, SETTINGS_ITEM_RECORD, settings_item_rate},
    {"dos", SETTINGS_GROUP_DOS, SETTINGS_ITEM_RECORD, settings_item_dos},
    {"darp", SETTINGS_GROUP_DARP, SETTINGS_ITEM_RECORD, settings_item_darp},
    {"voip", SETTINGS_GROUP_VOIP, SETTINGS_ITEM_RECORD, settings_item_voip},
    {"snmp", SETTINGS_GROUP_SNMP, SETTINGS_ITEM_RECORD, settings_item_snmp},
    {"et0config", SETTINGS_GROUP_NETWORK, SETTINGS_ITEM_RECORD, settings_item_et0config},
    {"et1config", SETTINGS_GROUP_NETWORK, SETTINGS_ITEM_RECORD, settings_item_et1config},
    {"STARTUP", SETTINGS_GROUP_BOOT, SETTINGS_ITEM_TEXT, settings_item_startup},
    {"httpd", SETTINGS_GROUP_HTTPD, SETTINGS_ITEM_TEXT, settings_item_httpd},
    {"loggers", SETTINGS_GROUP_LOGGERS, SETTINGS_ITEM_RECORD, settings_item_loggers},
    {"username", SETTINGS_GROUP_ACCOUNT, SETTINGS_ITEM_TEXT, webauth_item_username},
    {"password", SETTINGS_GROUP_ACCOUNT, SETTINGS_ITEM_RECORD, webauth_item_password},
};

const int g_serializers_count = static_cast<int>(sizeof g_serializers / sizeof g_serializers[0]);

static_assert(sizeof g_serializers / sizeof g_serializers[0] <= settings_internal::kMaxItems);

const settings_item *settings_item_find(const char *name) {
    return name ? settings_internal::item_find({name, std::strlen(name)}) : nullptr;
}

namespace settings_internal {

const settings_item *item_find(std::string_view name) {
    for (const settings_item &item : std::span(g_serializers, g_serializers_count)) {
        if (name == item.name) return &item;
    }
    return nullptr;
}

int item_index(const settings_item *item) {
    return static_cast<int>(item - g_serializers);
}

namespace {
int lowest_bit(uint32_t mask) {
    return mask ? __builtin_ctz(mask) : 32;
}
}  // namespace

std::span<const settings_item *const> items_in_group_order() {
    static const auto order = [] {
        std::array<const settings_item *, kMaxItems> sorted{};
        int n = 0;
        for (int bit = 0; bit <= 32; bit++) {
            for (const settings_item &item : std::span(g_serializers, g_serializers_count)) {
                if (lowest_bit(item.group) == bit) sorted[n++] = &item;
            }
        }
        return sorted;
    }();
    return {order.data(), static_cast<size_t>(g_serializers_count)};
}

}  // namespace settings_internal
