// Block and port tables: which block every chip port belongs to.
#include <array>

#include "chipdata/chipdata.h"

namespace {

constexpr int32_t kEndBlock = -1;

struct Layout {
    int fe_blocks;  // of eight ports each
    int ge_ports;   // one block each
    bool port_groups;
};

constexpr Layout kDxp7101{6, 4, true};
constexpr Layout kDxp7106{3, 4, false};
constexpr Layout kDxp7102{3, 2, false};

// CPU block, the fast-Ethernet blocks, one block per gigabit port, then the
// chip-wide blocks.
template <size_t N>
constexpr std::array<chipdata_block, N> make_blocks(Layout l) {
    std::array<chipdata_block, N> rows{};
    int n = 0;
    auto add = [&](int32_t type, int32_t instance) {
        rows[n] = {type, instance, 0, n};
        n++;
    };
    add(CHIPDATA_BLK_CPU, 0);
    for (int i = 0; i < l.fe_blocks; i++)
        add(CHIPDATA_BLK_FE, i);
    for (int i = 0; i < l.ge_ports; i++)
        add(CHIPDATA_BLK_GE, i);
    add(0x1000000, 0);
    if (l.port_groups) {
        add(static_cast<int32_t>(CHIPDATA_BLK_GROUP_A), 0);
        add(static_cast<int32_t>(CHIPDATA_BLK_GROUP_B), 0);
    }
    add(0x800000, 0);
    add(static_cast<int32_t>(CHIPDATA_BLK_SYS), 0);
    rows[n] = {kEndBlock, 0, 0, 0};
    if (n + 1 != static_cast<int>(N)) throw "block table size";
    return rows;
}

// Fast-Ethernet ports first, then the CPU port, then the gigabit ports.
template <size_t N>
constexpr std::array<chipdata_port, N> make_ports(Layout l) {
    std::array<chipdata_port, N> rows{};
    int fe = l.fe_blocks * 8;
    int n = 0;
    for (int p = 0; p < fe; p++)
        rows[n++] = {1 + p / 8, p % 8};
    rows[n++] = {0, 0};
    for (int g = 0; g < l.ge_ports; g++)
        rows[n++] = {1 + l.fe_blocks + g, 0};
    rows[n] = {-1, -1};
    if (n + 1 != static_cast<int>(N)) throw "port table size";
    return rows;
}

constexpr auto kBlocks7101 = make_blocks<17>(kDxp7101);
constexpr auto kBlocks7106 = make_blocks<12>(kDxp7106);
constexpr auto kBlocks7102 = make_blocks<10>(kDxp7102);
constexpr auto kPorts7101 = make_ports<54>(kDxp7101);
constexpr auto kPorts7106 = make_ports<30>(kDxp7106);
constexpr auto kPorts7102 = make_ports<28>(kDxp7102);

}  // namespace

const chipdata_block *chipdata_block_table(chipdata_model model) {
    switch (model) {
        case CHIPDATA_DXP7102_A0:
        case CHIPDATA_DXP7102_A1:
            return kBlocks7102.data();
        case CHIPDATA_DXP7101:
            return kBlocks7101.data();
        case CHIPDATA_DXP7106:
            return kBlocks7106.data();
        default:
            return nullptr;
    }
}

const chipdata_port *chipdata_port_table(chipdata_model model) {
    switch (model) {
        case CHIPDATA_DXP7102_A0:
        case CHIPDATA_DXP7102_A1:
            return kPorts7102.data();
        case CHIPDATA_DXP7101:
            return kPorts7101.data();
        case CHIPDATA_DXP7106:
            return kPorts7106.data();
        default:
            return nullptr;
    }
}
