// Dynamic ARP inspection over the 52-port board: the binding database, the
// VLAN list and the settings item through the manager, and frames through
// the CPU-port MAC's receive ring, the receive service and the transmit path.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../../drv/tests/port_fixture.h"
#include "../../pktio/tests/pktio_fixture.h"
#include "board.h"
#include "daimgr.h"
#include "dxp_tarn.h"
#include "dxpx.h"
#include "feature_fixture.h"
#include "port_reserve.h"
#include "portmgr.h"
#include "pvk.h"
#include "sal_host.h"
#include "soc_counter.h"
#include "trunkmgr.h"
#include "vlanmgr.h"

namespace {

using pktio_test::eventually;

const uint8_t kHost[6] = {0x02, 0, 0, 0, 0, 0x11};
const uint8_t kOther[6] = {0x02, 0, 0, 0, 0, 0x22};
const uint8_t kIp[4] = {10, 1, 1, 5};

class darp_engine : public pktio_test::PktioTest {
  protected:
    void SetUp() override {
        PktioTest::SetUp();
        drv_port_info_host_forget();
        ASSERT_EQ(sysconf_attach(0), 0);
        soc_phy_layer_register(soc_phy_init);
        ASSERT_EQ(phy_unit_init(0), 0);
        port_test::phy_hooks_register();
        ASSERT_EQ(soc_init(0), 0);
        ASSERT_EQ(dxp_dispatch_register(&dxp_tarn_dispatch), 0);
        ASSERT_EQ(dxp_init(0), 0);
        ASSERT_EQ(dxp_tarn_tx_init(0), 0);
        ASSERT_EQ(dxpx_unit_register(0), 0);
        ASSERT_EQ(board_probe(), 0);
        ASSERT_EQ(qsw_vlanmgr_init(), 0);
        ASSERT_EQ(trunkmgr_init(), 0);
        ASSERT_EQ(portmgr_init(), 0);
        darp_init();
    }
    void TearDown() override {
        sal_clock_real();
        darp_enable_set(0);
        dxp_tarn_rx_clear(0);
        // The counter thread reads the port records the tear-down forgets.
        soc_tarn_counter_stop(0);
        dxpx_unit_unregister(0);
        dxp_linkscan_detach(0);
        dxp_detach(0);
        port_test::phy_hooks_forget();
        PktioTest::TearDown();
    }
    // Chip port of a user port.
    static int chip_port(int uport) {
        int lport = 0, unit = 0, port = 0;
        ulpm_to_lport(uport, &lport);
        dxpx_lport_to_unit_port(lport, &unit, &port);
        return port;
    }
    // A tagged frame as the switch hands it to the CPU from a user port:
    // addresses, management tag, 802.1Q tag, EtherType, payload, FCS.
    void receive(int uport, uint16_t vid, const uint8_t dst[6], const uint8_t src[6],
                 uint16_t ether_type, const std::vector<uint8_t> &payload) {
        size_t len = std::max<size_t>(12 + 6 + 4 + 2 + payload.size() + 4, 68);
        std::vector<uint8_t> f = pktio_test::to_cpu(len, chip_port(uport), 17);
        std::memcpy(&f[0], dst, 6);
        std::memcpy(&f[6], src, 6);
        f[20] = static_cast<uint8_t>(vid >> 8);
        f[21] = static_cast<uint8_t>(vid);
        f[22] = static_cast<uint8_t>(ether_type >> 8);
        f[23] = static_cast<uint8_t>(ether_type);
        std::fill(f.begin() + 24, f.end(), 0);
        std::copy(payload.begin(), payload.end(), f.begin() + 24);
        // Each frame waits for a posted receive buffer (the ring's current
        // descriptor short of its posted end).
        ASSERT_TRUE(eventually([&] {
            return (board->mac().peek(0x21C) & 0xFFF) != (board->mac().peek(0x218) & 0xFFF);
        }));
        board->mac().receiveFromSwitch(f);
    }
    static std::vector<uint8_t> arp(uint16_t op, const uint8_t sender[6], const uint8_t ip[4]) {
        std::vector<uint8_t> p = {0, 1, 8, 0, 6, 4, 0, static_cast<uint8_t>(op)};
        p.insert(p.end(), sender, sender + 6);
        p.insert(p.end(), ip, ip + 4);
        p.insert(p.end(), kOther, kOther + 6);
        p.insert(p.end(), {10, 1, 1, 1});
        return p;
    }
    // IPv4 and UDP headers (67 -> 68) and a BOOTP reply with option 53.
    static std::vector<uint8_t> dhcp(uint8_t type, const uint8_t yiaddr[4],
                                     const uint8_t client[6] = kHost, uint8_t from_port = 67) {
        std::vector<uint8_t> p(20 + 8 + 240 + 4, 0);
        p[0] = 0x45;
        p[9] = 17;
        p[21] = from_port;
        p[23] = 68;
        uint8_t *b = &p[28];
        b[0] = 2;
        std::memcpy(b + 16, yiaddr, 4);
        std::memcpy(b + 28, client, 6);
        const uint8_t cookie_and_type[] = {99, 130, 83, 99, 53, 1, type, 255};
        std::memcpy(b + 236, cookie_and_type, sizeof cookie_and_type);
        return p;
    }
    void enable_on_vlan1() {
        darp_port_trust_set(1, 0);
        ASSERT_EQ(darp_vlan_set(1, 1), 0);
        ASSERT_EQ(darp_enable_set(1), 0);
        ASSERT_EQ(dxpx_rx_start(), 0);
    }
};

TEST_F(darp_engine, BindingDatabaseAndVlanList) {
    EXPECT_EQ(darp_trusted_db_add(kHost, kIp, 1, 1), 0);
    EXPECT_EQ(darp_trusted_db_add(kHost, kIp, 1, 0), 0);  // refresh, becomes configured
    EXPECT_EQ(darp_trusted_db_count_get(), 1);
    uint8_t mac[6], ip[4];
    uint16_t vid = 0;
    int learned = 1;
    ASSERT_EQ(darp_trusted_db_get_by_index(0, mac, ip, &vid, &learned), 0);
    EXPECT_EQ(std::memcmp(mac, kHost, 6), 0);
    EXPECT_EQ(std::memcmp(ip, kIp, 4), 0);
    EXPECT_EQ(vid, 1);
    EXPECT_EQ(learned, 0);
    EXPECT_EQ(darp_trusted_db_get_by_index(1, mac, ip, &vid, &learned), -7);
    EXPECT_EQ(darp_binding_check(kHost, kIp, 2), 0);
    EXPECT_EQ(darp_binding_check(kHost, kIp, 1), 1);

    // Five keys of one bucket: the fifth is refused.
    int added = 0, refused = 0;
    for (int n = 0; n < 4096 && refused == 0; n++) {
        uint8_t m[6] = {0x02, 0, 0, 0, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
        uint8_t key[8] = {0, 7, m[0], m[1], m[2], m[3], m[4], m[5]};
        uint8_t first[8] = {0, 7, 0x02, 0, 0, 0, 0, 0};
        if (pvk_crc8(key, 8, 0xFF) != pvk_crc8(first, 8, 0xFF)) continue;
        int rv = darp_trusted_db_add(m, kIp, 7, 1);
        if (rv == 0) {
            added++;
        } else {
            EXPECT_EQ(rv, -14);
            refused++;
        }
    }
    EXPECT_EQ(added, 4);
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(darp_trusted_db_delete(kHost, 1), 0);
    EXPECT_EQ(darp_trusted_db_delete(kHost, 1), -7);
    EXPECT_EQ(darp_trusted_db_count_get(), 4);

    EXPECT_EQ(darp_vlan_set(30, 1), 0);
    EXPECT_EQ(darp_vlan_set(10, 1), 0);
    EXPECT_EQ(darp_vlan_set(20, 1), 0);
    EXPECT_EQ(darp_vlan_set(20, 1), -8);
    EXPECT_EQ(darp_vlan_set(20, 0), 0);
    EXPECT_EQ(darp_vlan_set(20, 0), -7);
    uint16_t v = 0;
    ASSERT_EQ(darp_vlan_get_by_index(0, &v), 0);
    EXPECT_EQ(v, 10);
    ASSERT_EQ(darp_vlan_get_by_index(1, &v), 0);
    EXPECT_EQ(v, 30);
    EXPECT_EQ(darp_vlan_get_by_index(2, &v), -7);
    EXPECT_EQ(darp_vlan_get_by_index(256, &v), -4);
    for (uint16_t n = 100; darp_vlan_count_get() < DARP_VLAN_MAX; n++)
        darp_vlan_set(n, 1);
    EXPECT_EQ(darp_vlan_set(4000, 1), -6);
}

TEST_F(darp_engine, LearnedBindingsAgeConfiguredOnesStay) {
    sal_clock_manual(1000000);
    ASSERT_EQ(darp_enable_set(1), 0);
    darp_aging_set(1);
    darp_trusted_db_add(kHost, kIp, 1, 1);
    darp_trusted_db_add(kOther, kIp, 1, 0);
    sal_clock_advance(3601ull * 1000000);
    darp_aging_run();
    EXPECT_EQ(darp_trusted_db_count_get(), 1);
    EXPECT_EQ(darp_binding_check(kOther, kIp, 1), 1);

    darp_trusted_db_add(kHost, kIp, 1, 1);
    darp_binding_check(kHost, kIp, 1);  // seen: survives one run
    sal_clock_advance(3601ull * 1000000);
    darp_aging_run();
    EXPECT_EQ(darp_trusted_db_count_get(), 2);
    darp_aging_run();
    EXPECT_EQ(darp_trusted_db_count_get(), 1);

    // Disabling forgets everything and stops aging.
    ASSERT_EQ(darp_enable_set(0), 0);
    EXPECT_EQ(darp_trusted_db_count_get(), 0);
    EXPECT_EQ(darp_aging_get(), 0);
}

// Inspection on and off again leaves the chip's ARP bypass as a start does,
// so a factory reset reads back as a first boot.
TEST_F(darp_engine, OnAndOffAgainLeaveTheChipAsAtStart) {
    const uint64_t start = board->chip().peek("SPECIAL_MNGT");
    ASSERT_EQ(darp_enable_set(1), 0);
    EXPECT_NE(board->chip().peek("SPECIAL_MNGT"), start);
    ASSERT_EQ(darp_enable_set(0), 0);
    EXPECT_EQ(board->chip().peek("SPECIAL_MNGT"), start);
}

// With the field processor nearly full, a change of the trusted ports whose
// rules do not fit is refused, as is switching inspection on: the rules, the
// trusted ports and the stored record stay as they were.
TEST_F(darp_engine, ARefusedChangeLeavesTheRulesAndTheRecord) {
    // The field-processor entries there are, by id.
    auto entries = [] {
        std::vector<int> ids;
        for (int id = 1, prio = 0; id <= 512; id++)
            if (dxp_field_entry_prio_get(0, id, &prio) == 0) ids.push_back(id);
        return ids;
    };
    enable_on_vlan1();
    const std::vector<int> rules = entries();
    ASSERT_FALSE(rules.empty());
    feature_test::MemoryMedium before;
    ASSERT_EQ(before.save(darp_item), 0);
    // Other rules take every row but one: the change needs three.
    feature_test::FieldFiller filler(1);
    auto without_filler = [&] {
        std::vector<int> ids = entries();
        std::erase_if(ids, [&](int id) { return filler.holds(id); });
        return ids;
    };

    feature_test::Ports two({1, 2});
    EXPECT_EQ(darp_enable_trusted(&two.bmp), SOC_E_RESOURCE);
    EXPECT_EQ(without_filler(), rules);
    EXPECT_EQ(darp_port_trust_get(1), 1);
    EXPECT_EQ(darp_port_trust_get(2), 0);
    feature_test::MemoryMedium after;
    ASSERT_EQ(after.save(darp_item), 0);
    EXPECT_EQ(after.bytes, before.bytes);

    // Off frees the rows; on again, with more rules than fit, stays off.
    const uint64_t bypass = board->chip().peek("SPECIAL_MNGT");
    ASSERT_EQ(darp_enable_set(0), 0);
    const uint64_t off = board->chip().peek("SPECIAL_MNGT");
    filler.fill(1);
    EXPECT_EQ(darp_enable_trusted(&two.bmp), SOC_E_RESOURCE);
    int on = 1;
    darp_enable_get(&on);
    EXPECT_EQ(on, 0);
    EXPECT_EQ(darp_port_trust_get(1), 0);
    EXPECT_EQ(without_filler(), std::vector<int>{});
    EXPECT_EQ(board->chip().peek("SPECIAL_MNGT"), off);
    // A load refused alike leaves it off with nothing recorded; once the
    // rows are free, the next load brings the stored settings back.
    EXPECT_EQ(before.load(darp_item), -1);
    darp_enable_get(&on);
    EXPECT_EQ(on, 0);
    EXPECT_EQ(darp_vlan_count_get(), 0);
    EXPECT_EQ(darp_port_trust_get(1), 0);

    filler.release();
    ASSERT_EQ(before.load(darp_item), 0);
    ASSERT_EQ(after.save(darp_item), 0);
    EXPECT_EQ(after.bytes, before.bytes);
    EXPECT_EQ(darp_enable_trusted(&two.bmp), 0);
    EXPECT_EQ(darp_port_trust_get(2), 1);
    EXPECT_EQ(board->chip().peek("SPECIAL_MNGT"), bypass);
}

TEST_F(darp_engine, SettingsKeepConfigurationButNotLearnedBindings) {
    feature_test::MemoryMedium disabled;
    ASSERT_EQ(disabled.save(darp_item), 0);
    EXPECT_EQ(disabled.bytes.size(), 2u);

    darp_port_trust_set(3, 0);
    darp_port_trust_set(52, 0);
    darp_vlan_set(5, 1);
    darp_aging_set(12);
    ASSERT_EQ(darp_enable_set(1), 0);
    darp_trusted_db_add(kHost, kIp, 5, 0);
    darp_trusted_db_add(kOther, kIp, 5, 1);
    feature_test::MemoryMedium saved;
    ASSERT_EQ(saved.save(darp_item), 0);
    EXPECT_EQ(saved.bytes.size(), 2u + 2 + 512 + 16 * 12 + 7);

    ASSERT_EQ(disabled.load(darp_item), 0);
    int on = 1;
    darp_enable_get(&on);
    EXPECT_EQ(on, 0);
    EXPECT_EQ(darp_trusted_db_count_get(), 0);

    ASSERT_EQ(saved.load(darp_item), 0);
    darp_enable_get(&on);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(darp_aging_get(), 12);
    EXPECT_EQ(darp_trusted_db_count_get(), 1);
    EXPECT_EQ(darp_binding_check(kHost, kIp, 5), 1);
    EXPECT_TRUE(darp_vlan_exist(5));
    EXPECT_EQ(darp_port_trust_get(3) + darp_port_trust_get(52) + darp_port_trust_get(4), 2);

    // A load of what runs keeps the bindings learnt meanwhile; one that
    // differs starts the database again from the record.
    darp_trusted_db_add(kOther, kIp, 5, 1);
    ASSERT_EQ(saved.load(darp_item), 0);
    EXPECT_EQ(darp_trusted_db_count_get(), 2);
    darp_aging_set(3);
    ASSERT_EQ(saved.load(darp_item), 0);
    EXPECT_EQ(darp_aging_get(), 12);
    EXPECT_EQ(darp_trusted_db_count_get(), 1);

    // During a self-test a load that would switch the inspection, and so
    // every port's learning, waits whole for a load after the test.
    int lport = 0, unit = 0, port = 0;
    ASSERT_EQ(ulpm_to_lport(7, &lport), 0);
    ASSERT_EQ(dxpx_lport_to_unit_port(lport, &unit, &port), 0);
    dxp_pbmp_t held{};
    dxp_pbmp_port_add(&held, port);
    ASSERT_EQ(port_reserve(unit, held, "Snake"), 0);
    ASSERT_EQ(disabled.load(darp_item), 0);
    darp_enable_get(&on);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(darp_aging_get(), 12);
    port_reserve_release(unit, held);
    ASSERT_EQ(disabled.load(darp_item), 0);
    darp_enable_get(&on);
    EXPECT_EQ(on, 0);
    ASSERT_EQ(saved.load(darp_item), 0);

    // A short record changes nothing but the enable flag.
    saved.bytes.resize(100);
    EXPECT_EQ(saved.load(darp_item), -1);
}

TEST_F(darp_engine, DhcpAcknowledgementsFillTheDatabase) {
    enable_on_vlan1();
    const uint8_t bcast[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    // No host can hold these, so their acknowledgements bind nothing.
    const uint8_t never_leased[][4] = {{0, 0, 0, 0},        {0, 1, 2, 3},   {127, 0, 0, 1},
                                       {224, 0, 0, 5},      {239, 1, 2, 3}, {240, 0, 0, 1},
                                       {255, 255, 255, 255}};
    for (const uint8_t *ip : never_leased)
        receive(1, 1, bcast, kOther, 0x0800, dhcp(5, ip));
    receive(1, 1, bcast, kOther, 0x0800, dhcp(2, kIp));  // an offer
    // A zero byte is an ordinary host address.
    const uint8_t zero_bytes[4] = {192, 168, 0, 10};
    receive(1, 1, bcast, kOther, 0x0800, dhcp(5, zero_bytes));
    ASSERT_TRUE(eventually([] { return darp_trusted_db_count_get() == 1; }));
    uint8_t mac[6], ip[4];
    uint16_t vid = 0;
    int learned = 0;
    ASSERT_EQ(darp_trusted_db_get_by_index(0, mac, ip, &vid, &learned), 0);
    EXPECT_EQ(std::memcmp(mac, kHost, 6), 0);
    EXPECT_EQ(std::memcmp(ip, zero_bytes, 4), 0);
    EXPECT_EQ(vid, 1);
    EXPECT_EQ(learned, 1);
}

TEST_F(darp_engine, OnlyServerRepliesOnTrustedPortsAreLearnt) {
    ASSERT_EQ(logger_init(), 0);
    enable_on_vlan1();
    const uint8_t bcast[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    // Forged acknowledgements from untrusted port 2, enough to fill every
    // bucket many times over, and one not from a server's port on port 1.
    for (int n = 0; n < 3000; n++) {
        const uint8_t forged[6] = {
            0x02, 0, 0, 0x66, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
        receive(2, 1, bcast, kOther, 0x0800, dhcp(5, kIp, forged));
    }
    receive(1, 1, bcast, kOther, 0x0800, dhcp(5, kIp, kOther, 68));
    // The real lease on the trusted port binds; it is the only binding.
    receive(1, 1, bcast, kOther, 0x0800, dhcp(5, kIp));
    ASSERT_TRUE(eventually([] { return darp_trusted_db_count_get() >= 1; }));
    EXPECT_EQ(darp_trusted_db_count_get(), 1);
    EXPECT_EQ(darp_binding_check(kHost, kIp, 1), 1);
    EXPECT_EQ(feature_test::log_lines("not learnt"), 1);
}

TEST_F(darp_engine, ArpFromUntrustedPortsIsCheckedAgainstBindings) {
    enable_on_vlan1();
    darp_trusted_db_add(kHost, kIp, 1, 0);
    const uint8_t forged_ip[4] = {10, 1, 1, 6};
    // The replies' destination sits on port 1: each re-sent reply is one
    // transmission there. Flooded, it would leave this board's CPU port as one
    // transmission per port group, the second a moment after the first.
    dxp_l2_addr target;
    dxp_l2_addr_init(&target, kOther, 1);
    target.port = chip_port(1);
    target.flags = DXP_L2_STATIC;
    ASSERT_EQ(dxp_l2_addr_add(0, &target), 0);
    const size_t before = frames().size();
    const uint32_t dropped = darp_dropped_count_get();

    // A reply with a bound sender goes out once; forged ones are dropped.
    receive(2, 1, kOther, kHost, 0x0806, arp(2, kHost, kIp));
    ASSERT_TRUE(eventually([&] { return frames().size() == before + 1; }));
    receive(2, 1, kOther, kHost, 0x0806, arp(2, kHost, forged_ip));
    receive(2, 1, kOther, kOther, 0x0806, arp(2, kHost, kIp));  // source differs from sender
    ASSERT_TRUE(eventually([&] { return darp_dropped_count_get() >= dropped + 2; }));
    // Outside the inspected VLANs the mismatch passes.
    ASSERT_EQ(darp_vlan_set(1, 0), 0);
    receive(2, 1, kOther, kOther, 0x0806, arp(2, kHost, forged_ip));
    ASSERT_TRUE(eventually([&] { return frames().size() == before + 2; }));
    EXPECT_EQ(darp_dropped_count_get(), dropped + 2);
    // The re-sent frame is the received one, addresses first.
    std::vector<uint8_t> out = frames()[before];
    EXPECT_EQ(std::memcmp(out.data(), kOther, 6), 0);
    EXPECT_EQ(std::memcmp(out.data() + 6, kHost, 6), 0);
    const uint32_t tag =
        static_cast<uint32_t>(out[14]) << 24 | out[15] << 16 | out[16] << 8 | out[17];
    EXPECT_EQ(tag & 0xFFFFFF, 1u << chip_port(1));
}

TEST_F(darp_engine, BroadcastRequestsFromUntrustedPortsAreFloodedOncePerTrunk) {
    enable_on_vlan1();
    darp_trusted_db_add(kHost, kIp, 1, 0);
    for (int u : {1, 2, 3, 4, 5}) {
        int lport = 0;
        ASSERT_EQ(ulpm_to_lport(u, &lport), 0);
        dxp_port_info info{};
        info.linkstatus = u != 3;  // the trunk's first member is down
        portmgr_link_change(lport, &info);
    }
    feature_test::Ports members({1, 2, 3, 4, 5, 6}), untagged({1, 2, 3, 4, 5, 6});
    ASSERT_EQ(qsw_vlanmgr_vlan_set(1, &members.bmp, &untagged.bmp), 0);
    feature_test::Ports trunk({3, 4, 5});
    ASSERT_EQ(trunkmgr_trunk_set(0, &trunk.bmp), 0);
    const size_t before = frames().size();
    const uint8_t bcast[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    receive(2, 1, bcast, kHost, 0x0806, arp(1, kHost, kIp));
    // Port 1, and of the trunk only port 4; never the ingress port 2.
    ASSERT_TRUE(eventually([&] { return frames().size() == before + 2; }));
    uint32_t ports = 0;
    const std::vector<std::vector<uint8_t>> sent_now = frames();
    for (size_t i = before; i < before + 2; i++) {
        const std::vector<uint8_t> &f = sent_now[i];
        ports |= static_cast<uint32_t>(f[14]) << 24 | f[15] << 16 | f[16] << 8 | f[17];
    }
    EXPECT_EQ(ports & 0xFFFFFF, 1u << chip_port(1) | 1u << chip_port(4));
}

TEST_F(darp_engine, UnicastArpIsNeverResentByItsIngressPort) {
    enable_on_vlan1();
    darp_trusted_db_add(kHost, kIp, 1, 0);
    for (int u : {1, 2, 3}) {
        int lport = 0;
        ASSERT_EQ(ulpm_to_lport(u, &lport), 0);
        dxp_port_info info{};
        info.linkstatus = 1;
        portmgr_link_change(lport, &info);
    }
    feature_test::Ports members({1, 2, 3}), untagged({1, 2, 3});
    ASSERT_EQ(qsw_vlanmgr_vlan_set(1, &members.bmp, &untagged.bmp), 0);
    // Ports the frames sent since before went to.
    auto sent_to = [this](size_t before, size_t count) {
        EXPECT_TRUE(eventually([&] { return frames().size() >= before + count; }));
        uint32_t ports = 0;
        const std::vector<std::vector<uint8_t>> now = frames();
        for (size_t i = before; i < now.size(); i++)
            ports |= static_cast<uint32_t>(now[i][14]) << 24 | now[i][15] << 16 | now[i][16] << 8 |
                     now[i][17];
        return ports & 0xFFFFFF;
    };
    const uint32_t others = 1u << chip_port(1) | 1u << chip_port(3);

    // Destination unknown: the VLAN's other ports.
    size_t before = frames().size();
    receive(2, 1, kOther, kHost, 0x0806, arp(2, kHost, kIp));
    EXPECT_EQ(sent_to(before, 2), others);

    // Destination learnt on the ingress port: the same.
    dxp_l2_addr there;
    dxp_l2_addr_init(&there, kOther, 1);
    there.port = chip_port(2);
    there.flags = DXP_L2_STATIC;
    ASSERT_EQ(dxp_l2_addr_add(0, &there), 0);
    before = frames().size();
    receive(2, 1, kOther, kHost, 0x0806, arp(1, kHost, kIp));
    EXPECT_EQ(sent_to(before, 2), others);

    // Learnt on another port: that port alone.
    there.port = chip_port(3);
    ASSERT_EQ(dxp_l2_addr_add(0, &there), 0);
    before = frames().size();
    receive(2, 1, kOther, kHost, 0x0806, arp(2, kHost, kIp));
    EXPECT_EQ(sent_to(before, 1), 1u << chip_port(3));
}

}  // namespace
