// The fixed table of settings items. Each owner registers its item's handler
// at start-up; an item whose owner is not built keeps a null handler and is
// skipped.
#include <atomic>
#include <cstring>

#include "serialize.h"
#include "serialize_internal.h"

const settings_item g_serializers[] = {
    {"rmon", SETTINGS_GROUP_RMON, SETTINGS_ITEM_RECORD},
    {"vlan", SETTINGS_GROUP_VLAN, SETTINGS_ITEM_RECORD},
    {"portconf", SETTINGS_GROUP_PORT, SETTINGS_ITEM_RECORD},
    {"trunk", SETTINGS_GROUP_TRUNK, SETTINGS_ITEM_RECORD},
    {"l2", SETTINGS_GROUP_L2, SETTINGS_ITEM_RECORD},
    {"aging", SETTINGS_GROUP_AGING, SETTINGS_ITEM_RECORD},
    {"mirror", SETTINGS_GROUP_MIRROR, SETTINGS_ITEM_RECORD},
    {"qos", SETTINGS_GROUP_QOS, SETTINGS_ITEM_RECORD},
    {"rate", SETTINGS_GROUP_RATE, SETTINGS_ITEM_RECORD},
    {"dos", SETTINGS_GROUP_DOS, SETTINGS_ITEM_RECORD},
    {"darp", SETTINGS_GROUP_DARP, SETTINGS_ITEM_RECORD},
    {"voip", SETTINGS_GROUP_VOIP, SETTINGS_ITEM_RECORD},
    {"snmp", SETTINGS_GROUP_SNMP, SETTINGS_ITEM_RECORD},
    {"et0config", SETTINGS_GROUP_NETWORK, SETTINGS_ITEM_RECORD},
    {"et1config", SETTINGS_GROUP_NETWORK, SETTINGS_ITEM_RECORD},
    {"STARTUP", SETTINGS_GROUP_BOOT, SETTINGS_ITEM_TEXT},
    {"httpd", SETTINGS_GROUP_HTTPD, SETTINGS_ITEM_TEXT},
    {"loggers", SETTINGS_GROUP_LOGGERS, SETTINGS_ITEM_RECORD},
    {"username", SETTINGS_GROUP_ACCOUNT, SETTINGS_ITEM_TEXT},
    {"password", SETTINGS_GROUP_ACCOUNT, SETTINGS_ITEM_RECORD},
};

const int g_serializers_count = static_cast<int>(sizeof g_serializers / sizeof g_serializers[0]);

static_assert(sizeof g_serializers / sizeof g_serializers[0] <= settings_internal::kMaxItems);

namespace {

// By table index; written once per item, read by any thread.
std::atomic<settings_item_fn> handlers[settings_internal::kMaxItems];

}  // namespace

const settings_item *settings_item_find(const char *name) {
    return name ? settings_internal::item_find({name, std::strlen(name)}) : nullptr;
}

int settings_item_handler_set(const char *name, settings_item_fn fn) {
    const settings_item *item = settings_item_find(name);
    if (item == nullptr || fn == nullptr) return -1;
    settings_item_fn none = nullptr;
    auto &slot = handlers[static_cast<size_t>(settings_internal::item_index(item))];
    return slot.compare_exchange_strong(none, fn) ? 0 : -1;
}

settings_item_fn settings_item_handler(const settings_item *item) {
    if (item < g_serializers || item >= g_serializers + g_serializers_count) return nullptr;
    return handlers[static_cast<size_t>(settings_internal::item_index(item))].load();
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
