// The value/mask nodes that cover a set of chip ports with few rules.
#pragma once

#include <cstdint>
#include <vector>

struct dos_port_node {
    int value;  // the bits the mask keeps
    int mask;   // 6 bits
    bool operator==(const dos_port_node &) const = default;
};

// One node per port in port order, then pairs that differ in one bit merged.
std::vector<dos_port_node> dos_port_node_list(uint64_t ports);
