// A stand-in "tarn" chip family whose operations record their calls, and a
// fixture that installs it for a test and removes every trace afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dxp.h"
#include "dxpx.h"

namespace fake {

// Every unit looks like this: 53 ports, 0-47 fast Ethernet, the CPU at 48,
// 49-52 gigabit.
constexpr int PORTS = 53;
constexpr int CPU_PORT = 48;

extern dxp_dispatch_t table;

void reset();
// What the operation answers on the unit (default 0).
void set_result(const std::string &op, int unit, int rv);
// The calls made so far, as "op(arg,arg,...)", optionally only those of op.
std::vector<std::string> calls(const std::string &op = "");
// The link handler the multi-unit layer installed on the unit, or null.
dxp_linkscan_handler_t link_handler(int unit);
// What dxp_vlan_port_get answers for every VLAN.
void set_vlan_ports(int unit, dxp_pbmp_t members, dxp_pbmp_t untagged);

}  // namespace fake

// Installs the fake family as "tarn"; units attached or registered during a
// test are removed again.
class FakeFamilyTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Attaches and registers the units with the multi-unit layer.
    void add_units(std::initializer_list<int> units);
};
