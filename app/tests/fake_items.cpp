#include "fake_items.h"

#include <gtest/gtest.h>

#include "boot_items.h"
#include "logger.h"
#include "net_util.h"
#include "serialize.h"
#include "settings.h"

namespace fake_items {

State state;
int vlan_loads = 0;
int rmon_resets = 0;
std::string skipped_rows[2];

void reset() {
    state = State{};
    skipped_rows[0].clear();
    skipped_rows[1].clear();
    vlan_loads = 0;
    rmon_resets = 0;
}

namespace {

int vlan_item(int op, settings_medium *m) {
    if (op == SETTINGS_OP_VERSION) return static_cast<int>(0x88740001u);
    if (op == SETTINGS_OP_SAVE) {
        if (medium_write_u32(m, state.vlan_word) || medium_write_u16(m, state.vlan_half) ||
            medium_write_bytes(m, state.vlan_bytes, 2))
            return -1;
        return 8;
    }
    if (op != SETTINGS_OP_LOAD) return -1;
    State loaded = state;
    if (medium_read_u32(m, &loaded.vlan_word) || medium_read_u16(m, &loaded.vlan_half) ||
        medium_read_bytes(m, loaded.vlan_bytes, 2))
        return -1;
    state = loaded;
    vlan_loads++;
    for (const std::string &row : skipped_rows)
        if (!row.empty()) settings_load_skipped(LOG_MOD_VLAN, "%s", row.c_str());
    return 8;
}

int rmon_item(int op, settings_medium *m) {
    if (op == SETTINGS_OP_VERSION) return static_cast<int>(0x88740001u);
    if (op == SETTINGS_OP_SAVE) return medium_write_u32(m, state.rmon) == 0 ? 4 : -1;
    if (op != SETTINGS_OP_LOAD) return -1;
    return medium_read_u32(m, &state.rmon) == 0 ? 4 : -1;
}

int username_item(int op, settings_medium *m) {
    if (op == SETTINGS_OP_VERSION) return static_cast<int>(0x88740001u);
    if (op == SETTINGS_OP_SAVE) return medium_write_text(m, state.username.c_str()) == 0 ? 15 : -1;
    if (op != SETTINGS_OP_LOAD) return -1;
    if (const char *text = medium_read_text(m)) state.username = text;
    return 15;
}

int rmon_reset() {
    rmon_resets++;
    return 0;
}

// The application core's own items, as the program wires them, and the
// stand-ins.
class Wiring : public ::testing::Environment {
  public:
    void SetUp() override {
        ASSERT_EQ(settings_item_handler_set("vlan", vlan_item), 0);
        ASSERT_EQ(settings_item_handler_set("rmon", rmon_item), 0);
        ASSERT_EQ(settings_item_handler_set("username", username_item), 0);
        ASSERT_EQ(settings_rmon_reset_set(rmon_reset), 0);
        ASSERT_EQ(settings_item_handler_set("et0config", settings_item_et0config), 0);
        ASSERT_EQ(settings_item_handler_set("et1config", settings_item_et1config), 0);
        ASSERT_EQ(settings_item_handler_set("STARTUP", settings_item_startup), 0);
        ASSERT_EQ(settings_item_handler_set("httpd", settings_item_httpd), 0);
        ASSERT_EQ(settings_item_handler_set("loggers", settings_item_loggers), 0);
    }
};

[[maybe_unused]] ::testing::Environment *const wiring =
    ::testing::AddGlobalTestEnvironment(new Wiring);

}  // namespace
}  // namespace fake_items
