// Stand-ins for the settings handlers of later subsystems: "vlan" (an 8-byte
// record), "rmon" (a 32-bit record), "username" (a text) and the RMON reset.
// They and the core's own handlers are registered before any test runs.
#pragma once

#include <cstdint>
#include <string>

namespace fake_items {

struct State {
    uint32_t vlan_word = 0;
    uint16_t vlan_half = 0;
    uint8_t vlan_bytes[2] = {0, 0};
    uint32_t rmon = 0;
    std::string username;
    bool operator==(const State &) const = default;
};

extern State state;
extern int vlan_loads;  // loads that applied a record
extern int rmon_resets;
// Rows the "vlan" item's load reports as skipped, one call each.
extern std::string skipped_rows[2];

void reset();

}  // namespace fake_items
