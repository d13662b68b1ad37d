#include "fake_items.h"

#include "serialize.h"

namespace fake_items {

State state;
int vlan_loads = 0;
int rmon_resets = 0;

void reset() {
    state = State{};
    vlan_loads = 0;
    rmon_resets = 0;
}

}  // namespace fake_items

using fake_items::state;

int settings_item_vlan(int op, settings_medium *m) {
    if (op == SETTINGS_OP_VERSION) return static_cast<int>(0x88740001u);
    if (op == SETTINGS_OP_SAVE) {
        if (medium_write_u32(m, state.vlan_word) || medium_write_u16(m, state.vlan_half) ||
            medium_write_bytes(m, state.vlan_bytes, 2))
            return -1;
        return 8;
    }
    fake_items::State loaded = state;
    if (medium_read_u32(m, &loaded.vlan_word) || medium_read_u16(m, &loaded.vlan_half) ||
        medium_read_bytes(m, loaded.vlan_bytes, 2))
        return -1;
    state = loaded;
    fake_items::vlan_loads++;
    return 8;
}

int settings_item_rmon(int op, settings_medium *m) {
    if (op == SETTINGS_OP_VERSION) return static_cast<int>(0x88740001u);
    if (op == SETTINGS_OP_SAVE) return medium_write_u32(m, state.rmon) == 0 ? 4 : -1;
    return medium_read_u32(m, &state.rmon) == 0 ? 4 : -1;
}

int webauth_item_username(int op, settings_medium *m) {
    if (op == SETTINGS_OP_VERSION) return static_cast<int>(0x88740001u);
    if (op == SETTINGS_OP_SAVE) return medium_write_text(m, state.username.c_str()) == 0 ? 15 : -1;
    if (const char *text = medium_read_text(m)) state.username = text;
    return 15;
}

int rmonp_table_reset(void) {
    fake_items::rmon_resets++;
    return 0;
}
