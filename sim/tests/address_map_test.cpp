// The chip model's own decoding of the catalogue rows into addresses.
#include <gtest/gtest.h>

#include <map>

#include "sim/phy_pages.h"
#include "sim/regspace.h"

namespace {

using sim::ChipKind;
using sim::ChipProfile;

constexpr ChipKind kKinds[] = {ChipKind::DXP7101, ChipKind::DXP7106, ChipKind::DXP7102A0,
                               ChipKind::DXP7102A1};

int address_of(ChipKind kind, const char *reg, int instance) {
    for (const sim::RegInstance &r : sim::buildAddressMap(ChipProfile::get(kind))) {
        if (r.reg_id == chipdata_reg_id(reg) && r.instance == instance) return r.address;
    }
    return -1;
}

TEST(address_map, ArraysStepByTheirWidth) {
    // PORT_VLAN_CTL of DXP7101 port 30 is index 6 of the second register.
    int second = address_of(ChipKind::DXP7101, "PORT_VLAN1_CTL", 0);
    EXPECT_EQ(address_of(ChipKind::DXP7101, "PORT_VLAN1_CTL", 6), second + 6 * 7);
    EXPECT_EQ(address_of(ChipKind::DXP7101, "PORT_EAP_CON", 23), 0x4000 + 23 * 8);
    EXPECT_EQ(address_of(ChipKind::DXP7106, "PORT_IRC_CON", 7), 0x4390 + 7 * 8);
    EXPECT_EQ(address_of(ChipKind::DXP7101, "UDF_OFFSET4_P", 1), 0x2405);
    EXPECT_EQ(address_of(ChipKind::DXP7102A1, "MST_CON", 0), 0x4300);
    EXPECT_EQ(address_of(ChipKind::DXP7101, "CHIP_RST_CTL", 0), 0x037c);
}

TEST(address_map, PortControlSitsAtThePortNumber) {
    // The CPU port's control register is the fast-Ethernet array's next slot,
    // and the gigabit registers follow it, so every port p is at offset p.
    for (ChipKind kind : kKinds) {
        const ChipProfile &p = ChipProfile::get(kind);
        EXPECT_EQ(address_of(kind, "MII_PCTL", 0), 0x0100 + p.cpu_port);
        EXPECT_EQ(address_of(kind, "G_PCTL", 0), 0x0100 + p.cpu_port + 1);
        EXPECT_EQ(address_of(kind, "STS_OVERRIDE_GP", 0), 0x0400 + p.cpu_port + 1);
        EXPECT_EQ(address_of(kind, "TH_PCTL", p.fe_ports - 1), 0x0100 + p.fe_ports - 1);
    }
}

TEST(address_map, PhyPagesFollowTheMiimPageMap) {
    // MIICTL is register 0 of the port's PHY page.
    for (ChipKind kind : kKinds) {
        const ChipProfile &p = ChipProfile::get(kind);
        int covered = 0;
        for (const sim::RegInstance &r : sim::buildAddressMap(p)) {
            if (r.reg_id != R_MIICTL) continue;
            EXPECT_EQ(r.address, p.phyPage(r.instance) << 8) << p.name << " port " << r.instance;
            covered++;
        }
        EXPECT_GE(covered, 24) << p.name;
    }
    EXPECT_EQ(ChipProfile::get(ChipKind::DXP7102A1).phyPage(3) << 8 | 2 * 2, 0x1304);
    EXPECT_EQ(ChipProfile::get(ChipKind::DXP7101).phyPage(30), 0x88 + 30);
    EXPECT_EQ(ChipProfile::get(ChipKind::DXP7101).phyPage(50), 0xa8 + 50);
    EXPECT_EQ(ChipProfile::get(ChipKind::DXP7106).phyPage(26), 0xc0 + 26);
    EXPECT_EQ(ChipProfile::get(ChipKind::DXP7106).phyPage(24), 0xc0 + 24);
    EXPECT_EQ(ChipProfile::get(ChipKind::DXP7106).phyPage(29), -1);
}

TEST(address_map, RegistersDoNotOverlapEachOtherOrThePhyPages) {
    for (ChipKind kind : kKinds) {
        const ChipProfile &p = ChipProfile::get(kind);
        sim::PhyPages phys(p);
        std::map<int, std::string> owner;
        for (const sim::RegInstance &r : sim::buildAddressMap(p)) {
            if (r.type == CHIPDATA_TYPE_PORT_PHY) continue;
            std::string name =
                std::string(chipdata_reg_name(r.reg_id)) + "[" + std::to_string(r.instance) + "]";
            EXPECT_LT(phys.portOfPage(r.address >> 8), 0) << p.name << " " << name;
            for (int b = 0; b < r.width; b++) {
                auto [it, fresh] = owner.emplace(r.address + b, name);
                EXPECT_TRUE(fresh) << p.name << " " << name << " overlaps " << it->second;
            }
            EXPECT_LE(r.address + r.width, 0x10000) << name;
        }
    }
}

}  // namespace
