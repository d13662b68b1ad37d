// The program's settings wiring: every item of a subsystem that is built has
// its handler.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serialize.h"
#include "settings_wiring.h"

namespace {

TEST(settings_wiring_of_switchfw, EverySettingsItemHasItsHandler) {
    ASSERT_EQ(settings_wiring(), 0);
    std::vector<std::string> unhandled;
    for (int i = 0; i < g_serializers_count; i++) {
        if (settings_item_handler(&g_serializers[i]) == nullptr)
            unhandled.emplace_back(g_serializers[i].name);
    }
    EXPECT_EQ(unhandled, std::vector<std::string>{});
    // A second wiring finds every slot taken.
    EXPECT_EQ(settings_wiring(), -1);
}

}  // namespace
