// The multi-unit layer over the recording family.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "dxpx.h"
#include "fake_family.h"
#include "port_reserve.h"
#include "sal.h"

namespace {

using calls_t = std::vector<std::string>;

int callout_a(int, dxp_pkt *, void *) {
    return DXP_RX_NOT_HANDLED;
}
int callout_b(int, dxp_pkt *, void *) {
    return DXP_RX_NOT_HANDLED;
}

class dxpx_lport : public FakeFamilyTest {};

TEST_F(dxpx_lport, CpuUnitPortsAreTheirOwnLogicalPorts) {
    add_units({0});
    EXPECT_EQ(dxpx_lport_count(), fake::PORTS);
    for (int port = 0; port < fake::PORTS; port++) {
        EXPECT_EQ(dxpx_unit_port_to_lport(0, port), port);
        int unit = -1, chip_port = -1;
        ASSERT_EQ(dxpx_lport_to_unit_port(port, &unit, &chip_port), DXP_E_NONE);
        EXPECT_EQ(unit, 0);
        EXPECT_EQ(chip_port, port);
    }
    dxpx_lport_t entry;
    ASSERT_EQ(dxpx_lport_get(fake::CPU_PORT, &entry), DXP_E_NONE);
    EXPECT_EQ(entry.flags, DXPX_PORT_F_VALID | DXPX_PORT_F_CPU);
    ASSERT_EQ(dxpx_lport_get(3, &entry), DXP_E_NONE);
    EXPECT_EQ(entry.flags, DXPX_PORT_F_VALID | DXPX_PORT_F_FE);
    ASSERT_EQ(dxpx_lport_get(50, &entry), DXP_E_NONE);
    EXPECT_EQ(entry.flags, DXPX_PORT_F_VALID | DXPX_PORT_F_GE);

    int lport = -1, unit = -1, port = -1;
    EXPECT_EQ(dxpx_unit_cpu_lport_get(0, &lport), DXP_E_NONE);
    EXPECT_EQ(lport, fake::CPU_PORT);
    EXPECT_EQ(dxpx_lport_to_unit_port(DXPX_LPORT_CPU, &unit, &port), DXP_E_NONE);
    EXPECT_EQ(port, fake::CPU_PORT);
}

TEST_F(dxpx_lport, OtherUnitsFollowAndBadPortsAreRefused) {
    add_units({0, 2});
    EXPECT_EQ(dxpx_unit_port_to_lport(2, 0), DXP_PORTS_MAX);
    EXPECT_EQ(dxpx_unit_port_to_lport(2, 52), DXP_PORTS_MAX + 52);
    int modid = -1, lport = -1;
    EXPECT_EQ(dxpx_lport_modid_get(DXP_PORTS_MAX + 1, &modid), DXP_E_NONE);
    EXPECT_EQ(modid, 2);
    EXPECT_EQ(dxpx_unit_cpu_lport_get(2, &lport), DXP_E_NONE);
    EXPECT_EQ(lport, DXP_PORTS_MAX + fake::CPU_PORT);

    int unit, port;
    for (int bad : {53, 63, -1, -4, DXPX_LPORT_MAX, 100000})
        EXPECT_EQ(dxpx_lport_to_unit_port(bad, &unit, &port), DXP_E_PORT) << bad;
    EXPECT_EQ(dxpx_lport_to_unit_port(1, nullptr, &port), DXP_E_PARAM);
    EXPECT_EQ(dxpx_unit_port_to_lport(0, 53), DXPX_LPORT_NONE);
    EXPECT_EQ(dxpx_unit_port_to_lport(1, 0), DXPX_LPORT_NONE);
    EXPECT_EQ(dxpx_unit_cpu_lport_get(1, &lport), DXP_E_NOT_FOUND);
    EXPECT_EQ(dxpx_port_speed_set(53, 100), DXP_E_PORT);
    int speed;
    EXPECT_EQ(dxpx_port_speed_get(1, nullptr), DXP_E_PARAM);
    EXPECT_EQ(dxpx_port_speed_get(DXP_PORTS_MAX + 4, &speed), DXP_E_NONE);
    EXPECT_EQ(fake::calls("port_speed_get"), calls_t{"port_speed_get(2,4)"});
    EXPECT_TRUE(fake::calls("port_speed_set").empty());

    EXPECT_EQ(dxpx_unit_register(2), DXP_E_EXISTS);
    EXPECT_EQ(dxpx_unit_register(9), DXP_E_UNIT);  // not attached
    EXPECT_EQ(dxpx_unit_unregister(2), DXP_E_NONE);
    EXPECT_EQ(dxpx_unit_port_to_lport(2, 0), DXPX_LPORT_NONE);
    EXPECT_EQ(dxpx_lport_count(), fake::PORTS);
}

TEST(dxpx_lplist, GrowsSixteenAtATime) {
    dxpx_lplist_t list;
    ASSERT_EQ(dxpx_lplist_init(&list, 0, 0), DXP_E_NONE);
    EXPECT_EQ(list.lp_last, -1);
    EXPECT_EQ(list.lp_alloc, 16);
    for (int i = 0; i < 16; i++)
        ASSERT_EQ(dxpx_lplist_add(&list, 100 + i), DXP_E_NONE);
    EXPECT_EQ(list.lp_alloc, 16);
    ASSERT_EQ(dxpx_lplist_add(&list, 200), DXP_E_NONE);
    EXPECT_EQ(list.lp_alloc, 32);
    EXPECT_EQ(list.lp_last, 16);
    EXPECT_EQ(dxpx_lplist_index_of(&list, 115), 15);
    EXPECT_EQ(dxpx_lplist_index_of(&list, 200), 16);
    EXPECT_EQ(dxpx_lplist_index_of(&list, 99), DXP_E_NOT_FOUND);
    EXPECT_EQ(dxpx_lplist_clear(&list), DXP_E_NONE);
    EXPECT_EQ(dxpx_lplist_index_of(&list, 100), DXP_E_NOT_FOUND);
    EXPECT_EQ(dxpx_lplist_free(&list), DXP_E_NONE);

    // A list never given room is empty, whatever lp_last holds.
    dxpx_lplist_t zero{};
    EXPECT_EQ(dxpx_lplist_count(&zero), 0);
    EXPECT_EQ(dxpx_lplist_index_of(&zero, 0), DXP_E_NOT_FOUND);

    ASSERT_EQ(dxpx_lplist_init(&list, 64, 0), DXP_E_NONE);
    EXPECT_EQ(list.lp_alloc, 64);
    EXPECT_EQ(dxpx_lplist_free(&list), DXP_E_NONE);
    EXPECT_EQ(dxpx_lplist_init(nullptr, 1, 1), DXP_E_PARAM);
    EXPECT_NE(dxpx_lplist_free(nullptr), 0);
    EXPECT_EQ(dxpx_lplist_add(nullptr, 1), DXP_E_PARAM);
}

TEST_F(dxpx_lport, FailedRegistrationLeavesNothingBehind) {
    add_units({0});
    ASSERT_EQ(dxpx_rx_register("a", callout_a, 100, nullptr, 0), DXP_E_NONE);
    ASSERT_EQ(dxpx_rx_register("b", callout_b, 90, nullptr, 0), DXP_E_NONE);
    ASSERT_EQ(dxpx_rx_start(), DXP_E_NONE);
    ASSERT_EQ(dxp_attach(1, "tarn", nullptr, 1), 1);
    fake::set_result("rx_start", 1, DXP_E_MEMORY);
    EXPECT_EQ(dxpx_unit_register(1), DXP_E_MEMORY);
    EXPECT_EQ(dxpx_unit_port_to_lport(1, 0), DXPX_LPORT_NONE);
    EXPECT_EQ(fake::link_handler(1), nullptr);
    fake::set_result("rx_start", 1, DXP_E_NONE);
    EXPECT_EQ(dxpx_unit_register(1), DXP_E_NONE);
    EXPECT_EQ(dxpx_unit_port_to_lport(1, 0), DXP_PORTS_MAX);
    EXPECT_EQ(dxpx_rx_unregister(callout_a, 100), DXP_E_NONE);
    EXPECT_EQ(dxpx_rx_unregister(callout_b, 90), DXP_E_NONE);
}

TEST_F(dxpx_lport, PopulateByPortClass) {
    add_units({0});
    dxpx_lplist_t list;
    ASSERT_EQ(dxpx_lplist_init(&list, 0, 0), DXP_E_NONE);
    ASSERT_EQ(dxpx_port_lplist_populate(&list, DXPX_PORT_F_VALID), DXP_E_NONE);
    EXPECT_EQ(list.lp_last + 1, fake::PORTS);
    ASSERT_EQ(dxpx_port_lplist_populate(&list, DXPX_PORT_F_CPU), DXP_E_NONE);
    ASSERT_EQ(list.lp_last, 0);
    EXPECT_EQ(list.lp_ports[0], fake::CPU_PORT);
    ASSERT_EQ(dxpx_port_lplist_populate(&list, DXPX_PORT_F_GE), DXP_E_NONE);
    EXPECT_EQ(list.lp_last + 1, fake::PORTS - fake::CPU_PORT - 1);
    dxpx_lplist_free(&list);
}

class dxpx_every_unit : public FakeFamilyTest {};

TEST_F(dxpx_every_unit, KeepsTheLastErrorOtherThanUnavailable) {
    add_units({0, 1});
    fake::set_result("switch_control_set", 0, DXP_E_PARAM);
    fake::set_result("switch_control_set", 1, DXP_E_UNAVAIL);
    EXPECT_EQ(dxpx_switch_control_set(dxpSwitchDosAttackToCpu, 1), DXP_E_PARAM);
    EXPECT_EQ(fake::calls("switch_control_set"),
              (calls_t{"switch_control_set(0,59,1)", "switch_control_set(1,59,1)"}));

    fake::set_result("field_entry_install", 0, DXP_E_UNAVAIL);
    EXPECT_EQ(dxpx_field_entry_install(5), DXP_E_NONE);
    fake::set_result("field_entry_install", 1, DXP_E_UNAVAIL);
    EXPECT_EQ(dxpx_field_entry_install(5), DXP_E_NONE);
    fake::set_result("field_entry_install", 0, DXP_E_NOT_FOUND);
    fake::set_result("field_entry_install", 1, DXP_E_FULL);
    EXPECT_EQ(dxpx_field_entry_install(5), DXP_E_FULL);
    // Qualifiers and groups the family lacks count as unavailable.
    EXPECT_EQ(dxpx_field_qualify_EtherType(5, 0x0806, 0xffff), DXP_E_NONE);

    // The entry made on the first unit that can is made with its id on the rest.
    fake::set_result("field_entry_create", 0, DXP_E_UNAVAIL);
    int entry = -1;
    EXPECT_EQ(dxpx_field_entry_create_id(3, &entry), DXP_E_NONE);
    EXPECT_EQ(entry, 77);
    EXPECT_EQ(fake::calls("field_entry_create_id"), calls_t{});
    EXPECT_EQ(dxpx_field_entry_create_id(3, nullptr), DXP_E_PARAM);
}

TEST_F(dxpx_every_unit, DscpMapOnAllPortsCoversEveryUnit) {
    add_units({0, 1});
    fake::set_result("port_dscp_map_set", 0, DXP_E_UNAVAIL);
    EXPECT_EQ(dxpx_port_dscp_map_set(DXPX_LPORT_ALL, 10, 10, 3), DXP_E_NONE);
    EXPECT_EQ(dxpx_port_dscp_map_set(5, 20, 20, 1), DXP_E_UNAVAIL);  // one port: as the unit says
    EXPECT_EQ(fake::calls("port_dscp_map_set"),
              (calls_t{"port_dscp_map_set(0,-1,10,10,3)", "port_dscp_map_set(1,-1,10,10,3)",
                       "port_dscp_map_set(0,5,20,20,1)"}));
    EXPECT_EQ(dxpx_port_dscp_map_mode_set(53, 1), DXP_E_NONE);  // mode 1 does nothing
}

TEST_F(dxpx_every_unit, ListsAndRecordsAreTranslatedPerUnit) {
    add_units({0, 1});
    dxpx_lplist_t members, untagged;
    dxpx_lplist_init(&members, 0, 0);
    dxpx_lplist_init(&untagged, 0, 0);
    for (int lport : {1, 33, DXP_PORTS_MAX + 2})
        dxpx_lplist_add(&members, lport);
    dxpx_lplist_add(&untagged, 1);
    EXPECT_EQ(dxpx_vlan_port_add(10, members, untagged), DXP_E_NONE);
    EXPECT_EQ(fake::calls("vlan_port_add"),
              (calls_t{"vlan_port_add(0,10,2,2,2,0)", "vlan_port_add(1,10,4,0,0,0)"}));
    dxpx_lplist_add(&members, 53);
    EXPECT_EQ(dxpx_vlan_port_add(11, members, untagged), DXP_E_PORT);
    EXPECT_EQ(fake::calls("vlan_port_add").size(), 2u);

    fake::set_vlan_ports(1, dxp_pbmp_t{{0x3, 0}}, dxp_pbmp_t{{0x2, 0}});
    ASSERT_EQ(dxpx_vlan_port_get(10, &members, &untagged), DXP_E_NONE);
    EXPECT_EQ(members.lp_last, 1);
    EXPECT_EQ(members.lp_ports[1], DXP_PORTS_MAX + 1);
    EXPECT_EQ(untagged.lp_last, 0);

    dxpx_trunk_add_info_t trunk{3, -1, -1, -1, {-1, 0, nullptr}};
    dxpx_lplist_init(&trunk.ports, 0, 0);
    EXPECT_EQ(dxpx_trunk_set(1, &trunk), DXP_E_PARAM);  // no members
    dxpx_lplist_add(&trunk.ports, DXP_PORTS_MAX + 5);
    EXPECT_EQ(dxpx_trunk_set(1, &trunk), DXP_E_NONE);
    EXPECT_EQ(fake::calls("trunk_set"), (calls_t{"trunk_set(0,1,1,5,1)", "trunk_set(1,1,1,5,1)"}));

    // The CPU port of each unit, as that unit's module and port.
    dxpx_l2_addr_t l2;
    const dxp_mac_t mac = {0, 1, 2, 3, 4, 5};
    dxpx_l2_addr_init(&l2, mac, 20);
    l2.lport = DXPX_LPORT_CPU;
    l2.flags = DXP_L2_STATIC;
    EXPECT_EQ(dxpx_l2_addr_add(&l2, 0x4000), DXP_E_NONE);
    EXPECT_EQ(fake::calls("l2_addr_add"),
              (calls_t{"l2_addr_add(0,48,0,20,16416)", "l2_addr_add(1,48,1,20,16416)"}));
    ASSERT_EQ(dxpx_l2_addr_get(mac, 20, &l2, 0), DXP_E_NONE);
    EXPECT_EQ(l2.lport, 7);

    for (dxpx_lplist_t *list : {&members, &untagged, &trunk.ports})
        dxpx_lplist_free(list);
}

TEST_F(dxpx_every_unit, ZeroInitialisedListsAreEmpty) {
    add_units({0});
    const dxpx_lplist_t zero{};
    EXPECT_EQ(dxpx_vlan_port_add(10, zero, zero), DXP_E_NONE);
    EXPECT_EQ(dxpx_vlan_port_remove(10, zero), DXP_E_NONE);
    EXPECT_TRUE(fake::calls("vlan_port").empty());
    dxpx_trunk_add_info_t trunk{};
    EXPECT_EQ(dxpx_trunk_set(1, &trunk), DXP_E_PARAM);
    dxp_pkt pkt{};
    EXPECT_EQ(dxpx_tx(&pkt, &zero), DXP_E_NONE);
    EXPECT_TRUE(fake::calls("tx").empty());
    // A unit without BPDU slots has none, whatever it answers.
    EXPECT_EQ(dxpx_l2_bpdu_count(), 0);
}

TEST_F(dxpx_every_unit, RedirectGoesToTheLogicalPortOfParameterOne) {
    add_units({0, 1});
    int cpu = -1;
    ASSERT_EQ(dxpx_unit_cpu_lport_get(DXPX_CPU_UNIT, &cpu), DXP_E_NONE);
    EXPECT_EQ(dxpx_field_action_add(5, dxpFieldActionRedirectPort, 0, cpu), DXP_E_NONE);
    EXPECT_EQ(dxpx_field_action_add(5, dxpFieldActionRedirectPort, 0,
                                    static_cast<uint32_t>(DXPX_LPORT_CPU)),
              DXP_E_NONE);
    EXPECT_EQ(dxpx_field_action_add(6, dxpFieldActionRedirectPort, 0, DXP_PORTS_MAX + 3),
              DXP_E_NONE);
    EXPECT_EQ(dxpx_field_action_add(6, dxpFieldActionRedirectPort, 0, 53), DXP_E_PORT);
    EXPECT_EQ(fake::calls("field_action_add"),
              (calls_t{"field_action_add(0,5,22,0,48)", "field_action_add(1,5,22,0,48)",
                       "field_action_add(0,5,22,0,48)", "field_action_add(1,5,22,0,48)",
                       "field_action_add(0,6,22,1,3)", "field_action_add(1,6,22,1,3)"}));
}

TEST_F(dxpx_every_unit, MirrorToAnotherUnitNeedsDirectedMirroring) {
    add_units({0, 1});
    EXPECT_EQ(dxpx_mirror_port_set(3, DXP_PORTS_MAX + 4, 0x3), DXP_E_PARAM);
    EXPECT_EQ(fake::calls("switch_control_get"), calls_t{"switch_control_get(0,102)"});
    EXPECT_EQ(dxpx_mirror_port_set(3, 4, 0x3), DXP_E_NONE);
    EXPECT_EQ(dxpx_mirror_port_set(3, 0, 0), DXP_E_NONE);
    EXPECT_EQ(fake::calls("mirror_port_set"),
              (calls_t{"mirror_port_set(0,3,0,4,3)", "mirror_port_set(0,3,0,-1,0)"}));
}

TEST_F(dxpx_every_unit, StormGetLeavesOtherFlagBits) {
    add_units({0});
    int rate = 0, flags = DXP_RATE_MCAST;
    EXPECT_EQ(dxpx_rate_bcast_get(&rate, &flags, 2), DXP_E_NONE);
    EXPECT_EQ(flags, DXP_RATE_MCAST | DXP_RATE_BCAST);
    EXPECT_EQ(rate, 500);
    EXPECT_EQ(dxpx_rate_bcast_get(nullptr, &flags, 2), DXP_E_PARAM);
}

TEST_F(dxpx_every_unit, NothingToDoWithoutUnits) {
    int numq;
    EXPECT_EQ(dxpx_cosq_config_get(&numq), DXP_E_UNIT);
    EXPECT_EQ(dxpx_switch_control_set(dxpSwitchDosAttackToCpu, 1), DXP_E_UNIT);
    EXPECT_EQ(dxpx_l2_bpdu_count(), 0);
}

struct deferred_send {
    int unit;
    dxp_pkt *pkt;
    void *cookie;
};
std::vector<deferred_send> deferred;
int deferred_tx(int unit, dxp_pkt *pkt, void *cookie) {
    deferred.push_back({unit, pkt, cookie});
    return DXP_E_NONE;
}
std::vector<std::pair<int, dxp_pkt *>> tx_done_calls;
void tx_done(int unit, dxp_pkt *pkt, void *) {
    tx_done_calls.emplace_back(unit, pkt);
}

TEST_F(dxpx_every_unit, AsynchronousSendKeepsEachUnitsPorts) {
    add_units({0, 1});
    const auto saved = fake::table.tx;
    fake::table.tx = deferred_tx;
    deferred.clear();
    tx_done_calls.clear();
    uint8_t frame[64] = {};
    dxp_pkt_blk_t blk{frame, sizeof(frame)};
    dxp_pkt pkt{};
    pkt.pkt_data = &blk;
    pkt.blk_count = 1;
    pkt.call_back = tx_done;
    dxpx_lplist_t list;
    dxpx_lplist_init(&list, 0, 0);
    for (int lport : {2, DXP_PORTS_MAX + 1})
        dxpx_lplist_add(&list, lport);
    EXPECT_EQ(dxpx_tx(&pkt, &list), DXP_E_NONE);
    fake::table.tx = saved;
    // The sends complete later and still see their own unit's ports.
    ASSERT_EQ(deferred.size(), 2u);
    EXPECT_EQ(deferred[0].pkt->tx_pbmp.w[0], 4u);
    EXPECT_EQ(deferred[1].pkt->tx_pbmp.w[0], 2u);
    for (const deferred_send &d : deferred)
        d.pkt->call_back(d.unit, d.pkt, d.cookie);
    EXPECT_EQ(tx_done_calls, (std::vector<std::pair<int, dxp_pkt *>>{{0, &pkt}, {1, &pkt}}));
    dxpx_lplist_free(&list);
}

TEST_F(dxpx_every_unit, TransmitsToListedPortsUnitByUnit) {
    add_units({0, 1});
    uint8_t frame[64] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    dxp_pkt_blk_t blk{frame, sizeof(frame)};
    dxp_pkt pkt{};
    pkt.pkt_data = &blk;
    pkt.blk_count = 1;
    pkt.tx_upbmp = dxp_pbmp_t{{0xffffffff, 0}};
    dxpx_lplist_t list;
    dxpx_lplist_init(&list, 0, 0);
    for (int lport : {2, DXP_PORTS_MAX + 1})
        dxpx_lplist_add(&list, lport);
    EXPECT_EQ(dxpx_tx(&pkt, &list), DXP_E_NONE);
    EXPECT_EQ(fake::calls("tx"), (calls_t{"tx(0,4,0,4)", "tx(1,2,0,2)"}));
    EXPECT_EQ(pkt.tx_upbmp.w[0], 0xffffffffu);  // the caller's bitmaps come back

    // Resolved by the L2 table: the fake knows every address on port 7.
    pkt.flags = DXP_TX_ETHER;
    fake::set_vlan_ports(0, dxp_pbmp_t{{0xff, 0}}, dxp_pbmp_t{{0x80, 0}});
    EXPECT_EQ(dxpx_tx(&pkt, nullptr), DXP_E_NONE);
    EXPECT_EQ(fake::calls("tx").back(), "tx(0,128,0,128)");
    EXPECT_EQ(dxpx_tx(nullptr, nullptr), DXP_E_PARAM);
    dxpx_lplist_free(&list);
}

class dxpx_fanout : public FakeFamilyTest {};

std::atomic<int> last_link_lport{-1};
std::atomic<int> link_events{0};
void record_link(int lport, dxp_port_info *info) {
    last_link_lport = lport;
    if (info->linkstatus) link_events++;
}
void count_link(int, dxp_port_info *) {
    link_events++;
}

TEST_F(dxpx_fanout, LinkChangesArriveAsLogicalPorts) {
    add_units({0, 1});
    ASSERT_EQ(dxpx_linkscan_register(record_link), DXP_E_NONE);
    EXPECT_EQ(dxpx_linkscan_register(record_link), DXP_E_EXISTS);
    EXPECT_EQ(dxpx_linkscan_register(nullptr), DXP_E_PARAM);
    dxp_linkscan_handler_t unit_handler = fake::link_handler(1);
    ASSERT_NE(unit_handler, nullptr);
    dxp_port_info info{};
    info.linkstatus = 1;
    link_events = 0;
    unit_handler(1, 3, &info);
    EXPECT_EQ(last_link_lport, DXP_PORTS_MAX + 3);
    EXPECT_EQ(link_events, 1);
    unit_handler(1, 60, &info);  // no such logical port: nobody is told
    EXPECT_EQ(link_events, 1);
    EXPECT_EQ(dxpx_linkscan_unregister(record_link), DXP_E_NONE);
    EXPECT_EQ(dxpx_linkscan_unregister(record_link), DXP_E_NOT_FOUND);
    unit_handler(1, 3, &info);
    EXPECT_EQ(link_events, 1);
}

TEST_F(dxpx_fanout, RegistrationWhileDelivering) {
    add_units({0});
    dxp_linkscan_handler_t unit_handler = fake::link_handler(0);
    ASSERT_NE(unit_handler, nullptr);
    std::atomic<bool> stop{false};
    std::thread deliver([&] {
        dxp_port_info info{};
        while (!stop)
            unit_handler(0, 1, &info);
    });
    for (int i = 0; i < 2000; i++) {
        ASSERT_EQ(dxpx_linkscan_register(count_link), DXP_E_NONE);
        ASSERT_EQ(dxpx_linkscan_unregister(count_link), DXP_E_NONE);
    }
    stop = true;
    deliver.join();
}

// A handler that holds its delivery until the test lets it go.
struct SlowHandler {
    sal_sem_t entered = sal_sem_create("entered", sal_sem_BINARY, 0);
    sal_sem_t release = sal_sem_create("release", sal_sem_BINARY, 0);
    std::atomic<bool> finished{false};
    ~SlowHandler() {
        sal_sem_destroy(entered);
        sal_sem_destroy(release);
    }
};
SlowHandler *slow = nullptr;
void slow_link(int, dxp_port_info *) {
    sal_sem_give(slow->entered);
    sal_sem_take(slow->release, sal_sem_FOREVER);
    slow->finished = true;
}

TEST_F(dxpx_fanout, UnregisterWaitsForTheDeliveryInFlight) {
    add_units({0});
    SlowHandler handler;
    slow = &handler;
    ASSERT_EQ(dxpx_linkscan_register(slow_link), DXP_E_NONE);
    dxp_linkscan_handler_t unit_handler = fake::link_handler(0);
    std::thread deliver([&] {
        dxp_port_info info{};
        unit_handler(0, 1, &info);
    });
    ASSERT_EQ(sal_sem_take(handler.entered, sal_sem_FOREVER), 0);
    std::atomic<bool> returned{false};
    bool finished_at_return = false;
    std::thread unregister([&] {
        EXPECT_EQ(dxpx_linkscan_unregister(slow_link), DXP_E_NONE);
        finished_at_return = handler.finished;
        returned = true;
    });
    // Give a wrong unregister the chance to return early.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    while (!returned && std::chrono::steady_clock::now() < deadline)
        sal_thread_yield();
    sal_sem_give(handler.release);
    unregister.join();
    deliver.join();
    EXPECT_TRUE(finished_at_return);
    slow = nullptr;
}

std::atomic<int> self_calls{0};
void unregister_self(int, dxp_port_info *) {
    self_calls++;
    EXPECT_EQ(dxpx_linkscan_unregister(unregister_self), DXP_E_NONE);
}

TEST_F(dxpx_fanout, HandlerMayUnregisterItself) {
    add_units({0});
    ASSERT_EQ(dxpx_linkscan_register(unregister_self), DXP_E_NONE);
    dxp_linkscan_handler_t unit_handler = fake::link_handler(0);
    dxp_port_info info{};
    self_calls = 0;
    unit_handler(0, 1, &info);
    unit_handler(0, 1, &info);
    EXPECT_EQ(self_calls, 1);
}

int callout(int, dxp_pkt *, void *) {
    return DXP_RX_NOT_HANDLED;
}
int other_callout(int, dxp_pkt *, void *) {
    return DXP_RX_NOT_HANDLED;
}

TEST_F(dxpx_fanout, ReceiveCalloutsByPriorityAndStartOnce) {
    add_units({0, 1});
    ASSERT_EQ(dxpx_rx_register("low", callout, 100, nullptr, 0xC0FF), DXP_E_NONE);
    ASSERT_EQ(dxpx_rx_register("high", other_callout, 200, nullptr, 0xC0FF), DXP_E_NONE);
    ASSERT_EQ(dxpx_rx_register("low2", other_callout, 100, nullptr, 0xC0FF), DXP_E_NONE);
    EXPECT_EQ(dxpx_rx_register("again", callout, 100, nullptr, 0), DXP_E_EXISTS);
    EXPECT_EQ(dxpx_rx_register("none", nullptr, 100, nullptr, 0), DXP_E_PARAM);
    EXPECT_TRUE(fake::calls("rx_register").empty());  // receive does not run yet

    ASSERT_EQ(dxpx_rx_start(), DXP_E_NONE);
    ASSERT_EQ(dxpx_rx_start(), DXP_E_NONE);
    EXPECT_EQ(fake::calls("rx_start"), (calls_t{"rx_start(0)", "rx_start(1)"}));
    EXPECT_EQ(fake::calls("rx_register"),
              (calls_t{"rx_register(0,high,200,49407)", "rx_register(1,high,200,49407)",
                       "rx_register(0,low,100,49407)", "rx_register(1,low,100,49407)",
                       "rx_register(0,low2,100,49407)", "rx_register(1,low2,100,49407)"}));

    // Once receive runs, registrations reach the units at once.
    ASSERT_EQ(dxpx_rx_register("arp", callout, 190, nullptr, 0xC0FF), DXP_E_NONE);
    EXPECT_EQ(fake::calls("rx_register").size(), 8u);
    EXPECT_EQ(dxpx_rx_unregister(callout, 190), DXP_E_NONE);
    EXPECT_EQ(dxpx_rx_unregister(callout, 190), DXP_E_NOT_FOUND);
    EXPECT_EQ(fake::calls("rx_unregister"),
              (calls_t{"rx_unregister(0,190)", "rx_unregister(1,190)"}));

    // A unit registered later starts receive with every callout.
    add_units({2});
    EXPECT_EQ(fake::calls("rx_start").back(), "rx_start(2)");
    EXPECT_EQ(fake::calls("rx_register").size(), 11u);

    EXPECT_EQ(dxpx_rx_unregister(callout, 100), DXP_E_NONE);
    EXPECT_EQ(dxpx_rx_unregister(other_callout, 100), DXP_E_NONE);
    EXPECT_EQ(dxpx_rx_unregister(other_callout, 200), DXP_E_NONE);
}

}  // namespace

namespace {

class port_reservation : public FakeFamilyTest {};

dxp_pbmp_t ports_of(std::initializer_list<int> ports) {
    dxp_pbmp_t b{};
    for (int p : ports)
        dxp_pbmp_port_add(&b, p);
    return b;
}

// A self-test's ports refuse the managers' changes and reach no chip; a
// changer holding a port keeps a test from taking it until it is done.
TEST_F(port_reservation, HeldPortsRefuseChangesUntilReleased) {
    add_units({0});
    ASSERT_EQ(port_reserve(0, ports_of({3, 40}), "Snake"), DXP_E_NONE);
    EXPECT_TRUE(port_reserved(0, 40));
    EXPECT_STREQ(port_reserve_owner(0, 3), "Snake");
    EXPECT_EQ(dxpx_port_speed_set(3, 100), DXP_E_BUSY);
    EXPECT_EQ(dxpx_port_speed_set(40, 100), DXP_E_BUSY);
    EXPECT_TRUE(fake::calls("port_speed_set").empty());
    EXPECT_EQ(port_reserve_hold(3), DXP_E_BUSY);
    EXPECT_STREQ(port_reserve_owner_lport(40), "Snake");
    // Nor does a trunk take a held port, or a mirror copy into or out of
    // one; its mirroring may go off.
    dxpx_trunk_add_info_t trunk{1, -1, -1, -1, {-1, 0, nullptr}};
    dxpx_lplist_init(&trunk.ports, 0, 0);
    dxpx_lplist_add(&trunk.ports, 5);
    dxpx_lplist_add(&trunk.ports, 3);
    EXPECT_EQ(dxpx_trunk_set(1, &trunk), DXP_E_BUSY);
    dxpx_lplist_free(&trunk.ports);
    EXPECT_TRUE(fake::calls("trunk_set").empty());
    EXPECT_EQ(dxpx_mirror_port_set(5, 3, 0x1), DXP_E_BUSY);
    EXPECT_EQ(dxpx_mirror_port_set(3, 5, 0x3), DXP_E_BUSY);
    EXPECT_TRUE(fake::calls("mirror_port_set").empty());
    EXPECT_EQ(dxpx_mirror_port_set(3, 5, 0x1), DXP_E_NONE);
    EXPECT_EQ(dxpx_mirror_port_set(3, 0, 0), DXP_E_NONE);
    // Another test cannot take a held port; nothing of its set is marked.
    EXPECT_EQ(port_reserve(0, ports_of({4, 3}), "Traffic"), DXP_E_BUSY);
    EXPECT_FALSE(port_reserved(0, 4));
    EXPECT_EQ(dxpx_port_speed_set(4, 100), DXP_E_NONE);

    port_reserve_release(0, ports_of({3, 40}));
    EXPECT_FALSE(port_reserved(0, 3));
    EXPECT_EQ(port_reserve_owner(0, 3), nullptr);
    EXPECT_EQ(dxpx_port_speed_set(3, 100), DXP_E_NONE);

    ASSERT_EQ(port_reserve_hold(3), DXP_E_NONE);
    std::atomic<bool> taken{false};
    std::thread test([&] {
        EXPECT_EQ(port_reserve(0, ports_of({3}), "Snake"), DXP_E_NONE);
        taken = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(taken.load());
    port_reserve_unhold();
    test.join();
    EXPECT_TRUE(taken.load());
    port_reserve_release(0, ports_of({3}));

    // Nor while a changer holds the unit's API lock across its steps.
    taken = false;
    std::optional<DxpUnitLock> api(std::in_place, 0);
    std::thread later([&] {
        EXPECT_EQ(port_reserve(0, ports_of({3}), "Snake"), DXP_E_NONE);
        taken = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(port_reserved(0, 3));
    api.reset();
    later.join();
    EXPECT_TRUE(taken.load());
    port_reserve_release(0, ports_of({3}));
}

// While a test holds ports, the managers read the VLANs and the port
// settings as the test will give them back, and cannot change them.
TEST_F(port_reservation, ManagersSeeHeldPortsAsTheTestWillGiveThemBack) {
    add_units({0});
    ASSERT_EQ(port_reserve(0, ports_of({1, 2}), "Snake"), DXP_E_NONE);
    // The test put port 1 into VLAN 10, took untagged port 2 out of it and
    // made VLAN 20.
    port_reserve_keep_member(0, 10, 1, false, false);
    port_reserve_keep_member(0, 10, 2, true, true);
    port_reserve_keep_member(0, 10, 2, false, false);  // the first one counts
    port_reserve_keep_created(0, 20, ports_of({1, 2}));
    fake::set_vlan_ports(0, ports_of({1, 5}), ports_of({}));
    dxpx_lplist_t members, untagged;
    dxpx_lplist_init(&members, 0, 0);
    dxpx_lplist_init(&untagged, 0, 0);
    ASSERT_EQ(dxpx_vlan_port_get(10, &members, &untagged), DXP_E_NONE);
    ASSERT_EQ(members.lp_last, 1);
    EXPECT_EQ(members.lp_ports[0], 2);
    EXPECT_EQ(members.lp_ports[1], 5);
    ASSERT_EQ(untagged.lp_last, 0);
    EXPECT_EQ(untagged.lp_ports[0], 2);
    EXPECT_EQ(dxpx_vlan_port_get(20, &members, &untagged), DXP_E_NOT_FOUND);
    EXPECT_EQ(dxpx_vlan_destroy(20), DXP_E_BUSY);

    // Membership changes of a held port are refused whole.
    dxpx_lplist_clear(&members);
    dxpx_lplist_clear(&untagged);
    dxpx_lplist_add(&members, 5);
    dxpx_lplist_add(&members, 1);
    EXPECT_EQ(dxpx_vlan_port_add(30, members, untagged), DXP_E_BUSY);
    EXPECT_EQ(dxpx_vlan_port_remove(30, members), DXP_E_BUSY);
    EXPECT_TRUE(fake::calls("vlan_port_add").empty());
    EXPECT_TRUE(fake::calls("vlan_port_remove").empty());

    // The port settings a save reads are the ones kept before the test.
    dxp_port_info before{};
    before.autoneg = 1;
    before.untagged_priority = 5;
    before.local_advert = 0x3f;
    port_reserve_keep_info(0, 1, &before);
    int value = 0;
    uint32_t advert = 0;
    EXPECT_EQ(dxpx_port_autoneg_get(1, &value), DXP_E_NONE);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(dxpx_port_untagged_priority_get(1, &value), DXP_E_NONE);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(dxpx_port_advert_get(1, &advert), DXP_E_NONE);
    EXPECT_EQ(advert, 0x3fu);

    // Released, the chip answers again.
    port_reserve_release(0, ports_of({1, 2}));
    ASSERT_EQ(dxpx_vlan_port_get(10, &members, &untagged), DXP_E_NONE);
    ASSERT_EQ(members.lp_last, 1);
    EXPECT_EQ(members.lp_ports[0], 1);
    EXPECT_EQ(dxpx_vlan_port_get(20, &members, &untagged), DXP_E_NONE);
    EXPECT_FALSE(port_reserve_kept_info(0, 1, &before));
    // The next test on another port keeps nothing of the last one.
    ASSERT_EQ(port_reserve(0, ports_of({5}), "Traffic"), DXP_E_NONE);
    port_reserve_keep_member(0, 10, 5, false, false);
    ASSERT_EQ(dxpx_vlan_port_get(10, &members, &untagged), DXP_E_NONE);
    ASSERT_EQ(members.lp_last, 0);
    EXPECT_EQ(members.lp_ports[0], 1);
    port_reserve_release(0, ports_of({5}));
    dxpx_lplist_free(&members);
    dxpx_lplist_free(&untagged);
}

}  // namespace
