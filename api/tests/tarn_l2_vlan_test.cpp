// The family's L2 address module, spanning-tree groups, VLAN table and VLAN
// controls after a full unit init on the chip model.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "../../drv/tests/port_fixture.h"
#include "drv_arl.h"
#include "drv_mem.h"
#include "dxp.h"
#include "dxp_tarn.h"
#include "port_reserve.h"
#include "sim/tables.h"
#include "soc_property.h"

namespace {

constexpr int kCpu = 24;  // DXP7102 layout: FE 0-23, CPU 24, GE 25-26
constexpr uint64_t kAllPorts = 0x7ffffff;
const dxp_mac_t kMacA = {0x00, 0x10, 0x20, 0x30, 0x40, 0x50};
const dxp_mac_t kMacB = {0x00, 0x10, 0x20, 0x30, 0x40, 0x51};

dxp_pbmp_t pbmp(std::initializer_list<int> list) {
    dxp_pbmp_t b{};
    for (int p : list)
        dxp_pbmp_port_add(&b, p);
    return b;
}

class api_l2_vlan : public port_test::PortUnitTest {
  protected:
    void SetUp() override { bringUp(true); }
    void bringUp(bool mstp) {
        startPorts(sim::ChipKind::DXP7102A1);
        ASSERT_EQ(soc_init(0), 0);
        mstpFeature(mstp);
        ASSERT_EQ(dxp_dispatch_register(&dxp_tarn_dispatch), 0);
        ASSERT_EQ(dxp_init(0), 0);
    }
    void mstpFeature(bool on) { feature(soc_feature_mstp, on); }
    void feature(int f, bool on) {
        uint32_t &word = unit0()->features[f / 32];
        word = on ? word | 1u << (f % 32) : word & ~(1u << (f % 32));
    }
    void TearDown() override {
        dxp_linkscan_detach(0);  // the scan thread must not outlive the unit
        dxp_detach(0);
        PortUnitTest::TearDown();
    }
    sim::TableEngine &tables() { return board->chip().tables(); }
    // The model's VLAN table entry: members, untagged ports, group id.
    struct VlanRow {
        uint64_t members, untagged, stg;
    };
    VlanRow vlanRow(int vid) {
        uint64_t v = tables().memPeek(0x2000 + vid);
        return {v & kAllPorts, (v >> 27) & kAllPorts, (v >> 54) & 0x3f};
    }
    static dxp_l2_addr addr(const dxp_mac_t mac, dxp_vlan_t vid, int port, uint32_t flags = 0) {
        dxp_l2_addr a;
        dxp_l2_addr_init(&a, mac, vid);
        a.port = port;
        a.flags = flags;
        return a;
    }
    void add(const dxp_mac_t mac, dxp_vlan_t vid, int port, uint32_t flags = 0) {
        dxp_l2_addr a = addr(mac, vid, port, flags);
        ASSERT_EQ(dxp_l2_addr_add(0, &a), 0);
    }
    bool present(const dxp_mac_t mac, dxp_vlan_t vid) {
        dxp_l2_addr out{};
        return dxp_l2_addr_get(0, mac, vid, &out) == 0;
    }
    std::vector<int> stgVlans(int stg) {
        dxp_vlan_t *list = nullptr;
        int count = -1;
        EXPECT_EQ(dxp_stg_vlan_list(0, stg, &list, &count), 0);
        std::vector<int> out(list, list + count);
        dxp_stg_vlan_list_destroy(0, list, count);
        return out;
    }
    std::vector<int> vlanIds(const dxp_pbmp_t *by) {
        dxp_vlan_data *list = nullptr;
        int count = -1;
        EXPECT_EQ(
            by ? dxp_vlan_list_by_pbmp(0, *by, &list, &count) : dxp_vlan_list(0, &list, &count), 0);
        std::vector<int> out;
        for (int i = 0; i < count; i++)
            out.push_back(list[i].vlan_tag);
        if (count == 0) {
            EXPECT_EQ(list, nullptr);
        }
        dxp_vlan_list_destroy(0, list, count);
        return out;
    }
};

TEST_F(api_l2_vlan, L2AddressesAddGetAndDeleteByEveryKey) {
    // Flags the chip cannot hold.
    dxp_l2_addr bad = addr(kMacA, 1, 3, DXP_L2_TRUNK_MEMBER);
    EXPECT_EQ(dxp_l2_addr_add(0, &bad), DXP_E_UNAVAIL);
    bad.flags = DXP_L2_L3LOOKUP;
    EXPECT_EQ(dxp_l2_addr_add(0, &bad), DXP_E_UNAVAIL);
    feature(soc_feature_arl_mode_control, false);  // no control field in the entry
    bad.flags = DXP_L2_DISCARD_SRC;
    EXPECT_EQ(dxp_l2_addr_add(0, &bad), DXP_E_UNAVAIL);
    feature(soc_feature_arl_mode_control, true);

    add(kMacA, 1, 3, DXP_L2_STATIC | DXP_L2_DISCARD_DST | DXP_L2_COPY_TO_CPU);
    EXPECT_EQ(tables().arlValidRows(), 1);
    dxp_l2_addr got{};
    ASSERT_EQ(dxp_l2_addr_get(0, kMacA, 1, &got), 0);
    EXPECT_EQ(got.port, 3);
    EXPECT_EQ(got.flags, DXP_L2_STATIC | DXP_L2_DISCARD_DST);  // destination discard wins
    EXPECT_EQ(dxp_l2_addr_get(0, kMacA, 2, &got), DXP_E_NOT_FOUND);

    dxp_l2_addr cf[2];
    int count = -1;
    dxp_l2_addr key = addr(kMacA, 1, 9);
    EXPECT_EQ(dxp_l2_conflict_get(0, &key, cf, 2, &count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(cf[0].port, 3);
    key = addr(kMacB, 1, 9);
    EXPECT_EQ(dxp_l2_conflict_get(0, &key, cf, 2, &count), 0);
    EXPECT_EQ(count, 0);

    EXPECT_EQ(dxp_l2_addr_delete(0, kMacA, 1), 0);
    EXPECT_FALSE(present(kMacA, 1));
    EXPECT_EQ(tables().arlValidRows(), 0);

    // By port: static entries stay unless asked for.
    add(kMacA, 1, 3);
    add(kMacB, 1, 3, DXP_L2_STATIC);
    add(kMacA, 2, 4);
    EXPECT_EQ(dxp_l2_addr_delete_by_port(0, -1, 3, 0), 0);
    EXPECT_FALSE(present(kMacA, 1));
    EXPECT_TRUE(present(kMacB, 1));
    EXPECT_TRUE(present(kMacA, 2));
    EXPECT_EQ(dxp_l2_addr_delete_by_port(0, -1, 3, DXP_L2_DELETE_STATIC), 0);
    EXPECT_FALSE(present(kMacB, 1));

    // By VLAN and by VLAN and port.
    add(kMacB, 2, 5);
    EXPECT_EQ(dxp_l2_addr_delete_by_vlan_port(0, 2, -1, 5, 0), 0);
    EXPECT_FALSE(present(kMacB, 2));
    EXPECT_TRUE(present(kMacA, 2));
    EXPECT_EQ(dxp_l2_addr_delete_by_vlan(0, 2, 0), 0);
    EXPECT_FALSE(present(kMacA, 2));

    // By MAC in every VLAN, and by MAC on one port only.
    add(kMacA, 1, 3);
    add(kMacA, 7, 3);
    add(kMacA, 4094, 6);
    EXPECT_EQ(dxp_l2_addr_delete_by_mac_port(0, kMacA, -1, 3, 0), 0);
    EXPECT_FALSE(present(kMacA, 1) || present(kMacA, 7));
    EXPECT_TRUE(present(kMacA, 4094));
    EXPECT_EQ(dxp_l2_addr_delete_by_mac(0, kMacA, 0), 0);
    EXPECT_EQ(tables().arlValidRows(), 0);
    EXPECT_EQ(dxp_l2_addr_delete_by_mac(0, kMacB, 0), 0);  // nowhere: still fine

    EXPECT_EQ(dxp_l2_addr_delete_by_trunk(0, -1, 0), DXP_E_PARAM);
}

TEST_F(api_l2_vlan, AgeTimerBpduAddressesAndCache) {
    int age = -1;
    EXPECT_EQ(dxp_l2_age_timer_get(0, &age), 0);
    EXPECT_EQ(age, 0);  // init turns ageing off
    EXPECT_EQ(dxp_l2_age_timer_set(0, 300), 0);
    EXPECT_EQ(dxp_l2_age_timer_get(0, &age), 0);
    EXPECT_EQ(age, 300);
    EXPECT_EQ(dxp_l2_age_timer_set(0, 0x100000), DXP_E_PARAM);

    ASSERT_EQ(dxp_l2_bpdu_count(0), 3);
    dxp_mac_t mac{};
    const dxp_mac_t bpdu = {0x01, 0x80, 0xc2, 0, 0, 0};
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(dxp_l2_bpdu_get(0, i, mac), 0);
        EXPECT_EQ(std::memcmp(mac, bpdu, 6), 0) << i;
    }
    EXPECT_EQ(dxp_l2_bpdu_set(0, 3, bpdu), DXP_E_PARAM);
    EXPECT_EQ(dxp_l2_bpdu_get(0, -1, mac), DXP_E_PARAM);

    int size = 0;
    EXPECT_EQ(dxp_l2_cache_size_get(0, &size), 0);
    EXPECT_EQ(size, 2);
    dxp_l2_cache_addr c{};
    std::memcpy(c.mac, kMacA, 6);
    c.dest_ports = pbmp({2});
    EXPECT_EQ(dxp_l2_cache_set(0, 0, &c), DXP_E_UNAVAIL);  // not marked valid
    c.flags = 0x400;
    EXPECT_EQ(dxp_l2_cache_set(0, 2, &c), DXP_E_PARAM);
    EXPECT_EQ(dxp_l2_cache_set(0, 1, &c), 0);
    dxp_l2_cache_addr out{};
    EXPECT_EQ(dxp_l2_cache_get(0, 1, &out), 0);
    EXPECT_EQ(out.flags, 0x400u);
    EXPECT_EQ(std::memcmp(out.mac, kMacA, 6), 0);
    EXPECT_EQ(dxp_l2_cache_delete_all(0), 0);
    out = {};
    EXPECT_EQ(dxp_l2_cache_get(0, 1, &out), 0);
    EXPECT_EQ(out.flags, 0u);
    EXPECT_EQ(dxp_l2_cache_get(3, 1, &out), DXP_E_UNIT);
}

struct Seen {
    std::vector<std::string> calls;
};
void record(int, dxp_l2_addr *a, int insert, void *data) {
    static_cast<Seen *>(data)->calls.push_back(std::to_string(insert) + ":" +
                                               std::to_string(a->port) + ":" +
                                               std::to_string(a->flags >> 16));
}

TEST_F(api_l2_vlan, ClientsHearAddsAndMovesWithNativeFlags) {
    Seen a, b, c, d;
    EXPECT_EQ(dxp_l2_addr_register(0, record, &a), 0);
    EXPECT_EQ(dxp_l2_addr_register(0, record, &b), 0);
    EXPECT_EQ(dxp_l2_addr_register(0, record, &c), 0);
    EXPECT_EQ(dxp_l2_addr_register(0, record, &d), DXP_E_MEMORY);
    EXPECT_EQ(dxp_l2_addr_unregister(0, record, &d), 0);  // unknown: fine
    EXPECT_EQ(dxp_l2_addr_unregister(0, record, &b), 0);

    // What the L2 shadow reports: an entry that moved from port 3 to port 4.
    const drv_if_t *drv = DRV_SERVICES(0);
    uint32_t old_e[DRV_ARL_ENTRY_WORDS] = {}, new_e[DRV_ARL_ENTRY_WORDS] = {};
    uint32_t v[2] = {0x20304050, 0x0010};
    drv->mem_field_set(0, DRV_MEM_ARL, DRV_MEM_FIELD_MAC, old_e, v);
    drv->mem_field_set(0, DRV_MEM_ARL, DRV_MEM_FIELD_MAC, new_e, v);
    v[0] = 3;
    v[1] = 0;
    drv->mem_field_set(0, DRV_MEM_ARL, DRV_MEM_FIELD_SRC_PORT, old_e, v);
    v[0] = 4;
    drv->mem_field_set(0, DRV_MEM_ARL, DRV_MEM_FIELD_SRC_PORT, new_e, v);
    soc_arl_notify(0, old_e, new_e);
    soc_arl_notify(0, nullptr, new_e);
    // flags >> 16: 1 native, 2 moved, 4 from native, 8 to native.
    const std::vector<std::string> expected = {"0:3:15", "1:4:15", "1:4:1"};
    EXPECT_EQ(a.calls, expected);
    EXPECT_EQ(c.calls, expected);
    EXPECT_TRUE(b.calls.empty());

    // Clear empties the registry; clients register again and hear changes.
    EXPECT_EQ(dxp_l2_clear(0), 0);
    soc_arl_notify(0, old_e, nullptr);
    EXPECT_EQ(a.calls.size(), 3u);
    EXPECT_EQ(dxp_l2_addr_register(0, record, &d), 0);
    soc_arl_notify(0, old_e, nullptr);
    EXPECT_EQ(d.calls, std::vector<std::string>{"0:3:1"});
    EXPECT_EQ(dxp_l2_addr_unregister(0, record, &d), 0);
}

void count_call(int, dxp_l2_addr *, int, void *data) {
    ++*static_cast<std::atomic<int> *>(data);
}

TEST_F(api_l2_vlan, ClientsComeAndGoWhileTheShadowReports) {
    uint32_t entry[DRV_ARL_ENTRY_WORDS] = {};
    uint32_t v[2] = {0x20304050, 0x0010};
    DRV_SERVICES(0)->mem_field_set(0, DRV_MEM_ARL, DRV_MEM_FIELD_MAC, entry, v);
    std::atomic<int> calls{0}, steady{0};
    ASSERT_EQ(dxp_l2_addr_register(0, count_call, &steady), 0);
    std::atomic<bool> stop{false};
    std::thread reporter([&] {
        while (!stop)
            soc_arl_notify(0, nullptr, entry);
    });
    for (int i = 0; i < 2000; i++) {
        EXPECT_EQ(dxp_l2_addr_register(0, count_call, &calls), 0);
        EXPECT_EQ(dxp_l2_addr_unregister(0, count_call, &calls), 0);
    }
    stop = true;
    reporter.join();
    const int seen = steady;
    soc_arl_notify(0, nullptr, entry);
    EXPECT_EQ(steady, seen + 1);  // the steady client never lost its slot
    EXPECT_EQ(dxp_l2_addr_unregister(0, count_call, &steady), 0);
}

TEST_F(api_l2_vlan, GroupsCreateDestroyAndMoveVlans) {
    int max = 0, defl = 0;
    EXPECT_EQ(dxp_stg_count_get(0, &max), 0);
    EXPECT_EQ(max, 32);
    EXPECT_EQ(dxp_stg_default_get(0, &defl), 0);
    EXPECT_EQ(defl, 1);
    EXPECT_EQ(stgVlans(1), std::vector<int>{1});

    int stg = 0;
    EXPECT_EQ(dxp_stg_create(0, &stg), 0);
    EXPECT_EQ(stg, 2);
    EXPECT_EQ(dxp_stg_create_id(0, 3), 0);
    EXPECT_EQ(dxp_stg_create_id(0, 3), DXP_E_EXISTS);
    EXPECT_EQ(dxp_stg_create_id(0, 33), DXP_E_BADID);
    EXPECT_EQ(dxp_stg_destroy(0, 1), DXP_E_NOT_FOUND);
    EXPECT_EQ(dxp_stg_destroy(0, 5), DXP_E_NOT_FOUND);

    ASSERT_EQ(dxp_vlan_create(0, 10), 0);
    ASSERT_EQ(dxp_vlan_create(0, 20), 0);
    EXPECT_EQ(stgVlans(1), (std::vector<int>{1, 10, 20}));
    EXPECT_EQ(dxp_stg_vlan_add(0, 2, 10), 0);
    EXPECT_EQ(dxp_stg_vlan_add(0, 2, 20), 0);
    EXPECT_EQ(dxp_stg_vlan_add(0, 3, 10), 0);
    EXPECT_EQ(stgVlans(2), std::vector<int>{20});
    EXPECT_EQ(stgVlans(3), std::vector<int>{10});
    EXPECT_EQ(stgVlans(1), std::vector<int>{1});
    EXPECT_EQ(vlanRow(10).stg, 3u);
    EXPECT_EQ(dxp_stg_vlan_add(0, 2, 4095), DXP_E_BADID);

    // Removing a VLAN from its group puts it back into the default group.
    EXPECT_EQ(dxp_stg_vlan_remove(0, 2, 10), DXP_E_NOT_FOUND);  // not there
    EXPECT_EQ(dxp_stg_vlan_remove(0, 3, 10), 0);
    EXPECT_EQ(vlanRow(10).stg, 1u);
    EXPECT_EQ(stgVlans(1), (std::vector<int>{1, 10}));
    EXPECT_TRUE(stgVlans(3).empty());

    // Port states, the CPU port always forwarding.
    int state = -1;
    EXPECT_EQ(dxp_stg_stp_set(0, 2, kCpu, 1), DXP_E_FAIL);
    EXPECT_EQ(dxp_stg_stp_set(0, 2, kCpu, 4), 0);
    EXPECT_EQ(dxp_stg_stp_get(0, 2, kCpu, &state), 0);
    EXPECT_EQ(state, 4);
    EXPECT_EQ(dxp_stg_stp_set(0, 2, 5, 3), 0);
    EXPECT_EQ(dxp_stg_stp_get(0, 2, 5, &state), 0);
    EXPECT_EQ(state, 3);
    EXPECT_EQ(dxp_vlan_stp_get(0, 20, 5, &state), 0);  // VLAN 20 is in group 2
    EXPECT_EQ(state, 3);
    EXPECT_EQ(dxp_stg_stp_get(0, 1, 5, &state), 0);
    EXPECT_EQ(state, 4);  // unit init forwards every port in the default group
    EXPECT_EQ(dxp_stg_stp_set(0, 2, 30, 4), DXP_E_PORT);
    EXPECT_EQ(dxp_stg_stp_set(0, 4, 5, 4), DXP_E_NOT_FOUND);

    // Destroying a group hands its VLANs to the default group.
    EXPECT_EQ(dxp_stg_destroy(0, 2), 0);
    EXPECT_EQ(stgVlans(1), (std::vector<int>{1, 10, 20}));
    int *list = nullptr, count = 0;
    EXPECT_EQ(dxp_stg_list(0, &list, &count), 0);
    EXPECT_EQ(std::vector<int>(list, list + count), (std::vector<int>{1, 3}));
    dxp_stg_list_destroy(0, list, count);
    EXPECT_EQ(dxp_vlan_stg_set(0, 10, 9), DXP_E_BADID);
}

// While a self-test holds ports 4 and 5 and runs them in a VLAN of its own
// (20), another thread's change that reaches them (through the VLAN, its
// group, an address, a group address, the DSCP mode of every port, link
// scan) is refused before the chip changes, naming the port; what reaches
// only ports in service, or the VLAN the test shares with them, is taken.
TEST_F(api_l2_vlan, ChangesReachingATestedPortAreRefusedBeforeTheChip) {
    ASSERT_EQ(dxp_vlan_create(0, 10), 0);
    ASSERT_EQ(dxp_vlan_port_add(0, 10, pbmp({4, 9}), pbmp({})), 0);
    dxp_mcast_addr group{};
    const dxp_mac_t kGroup = {0x01, 0x00, 0x5e, 0x00, 0x00, 0x07};
    dxp_mcast_addr_init(&group, kGroup, 1);
    group.pbmp = pbmp({4, 9});
    ASSERT_EQ(dxp_mcast_addr_add(0, &group), 0);
    std::thread test([] {
        ASSERT_EQ(port_reserve(0, pbmp({4, 5}), "Traffic Test"), 0);
        ASSERT_EQ(dxp_vlan_create(0, 20), 0);
        port_reserve_keep_created(0, 20, pbmp({4, 5}));
        ASSERT_EQ(dxp_vlan_port_add(0, 20, pbmp({4, 5}), pbmp({4, 5})), 0);
    });
    test.join();
    int stg = 0;
    ASSERT_EQ(dxp_stg_create(0, &stg), 0);
    const VlanRow row10 = vlanRow(10), row20 = vlanRow(20);
    const auto refused_at = [](int rv) {
        int unit = -1, port = -1;
        return rv == DXP_E_BUSY && port_reserve_take_refusal(&unit, &port) ? port : -1;
    };
    EXPECT_EQ(refused_at(dxp_stg_vlan_add(0, stg, 20)), 4);
    EXPECT_EQ(refused_at(dxp_stg_vlan_add(0, stg, 10)), 4);
    EXPECT_EQ(refused_at(dxp_vlan_port_add(0, 20, pbmp({9}), pbmp({}))), 4);
    EXPECT_EQ(refused_at(dxp_vlan_destroy(0, 10)), 4);
    dxp_l2_addr on_port = addr(kMacA, 1, 5, DXP_L2_STATIC);
    dxp_l2_addr in_vlan = addr(kMacB, 20, 9, DXP_L2_STATIC);
    EXPECT_EQ(refused_at(dxp_l2_addr_add(0, &on_port)), 5);
    EXPECT_EQ(refused_at(dxp_l2_addr_add(0, &in_vlan)), 4);
    EXPECT_EQ(refused_at(dxp_mcast_addr_remove(0, kGroup, 1)), 4);
    EXPECT_EQ(refused_at(dxp_port_dscp_map_mode_set(0, -1, 0)), 4);
    EXPECT_EQ(refused_at(dxp_linkscan_mode_set_pbm(0, pbmp({3, 5}), 0)), 5);
    EXPECT_EQ(vlanRow(10).members, row10.members);
    EXPECT_EQ(vlanRow(10).stg, row10.stg);
    EXPECT_EQ(vlanRow(20).members, row20.members);
    EXPECT_EQ(vlanRow(20).stg, row20.stg);
    EXPECT_FALSE(present(kMacA, 1));
    EXPECT_FALSE(present(kMacB, 20));
    dxp_mcast_addr now{};
    EXPECT_EQ(dxp_mcast_port_get(0, kGroup, 1, &now), 0);
    int mode = -1;
    EXPECT_EQ(dxp_linkscan_mode_get(0, 3, &mode), 0);
    EXPECT_NE(mode, 0);

    // The VLAN shared with the ports in service, the unit's DSCP map.
    EXPECT_EQ(dxp_vlan_port_add(0, 1, pbmp({9}), pbmp({9})), 0);
    dxp_l2_addr shared = addr(kMacA, 10, 9, DXP_L2_STATIC);
    EXPECT_EQ(dxp_l2_addr_add(0, &shared), 0);
    EXPECT_EQ(dxp_l2_addr_delete(0, kMacA, 10), 0);
    EXPECT_EQ(dxp_port_dscp_map_set(0, -1, 5, 5, 1), 0);

    port_reserve_release(0, pbmp({4, 5}));
    EXPECT_EQ(dxp_stg_vlan_add(0, stg, 10), 0);
    EXPECT_EQ(dxp_vlan_port_add(0, 20, pbmp({9}), pbmp({})), 0);
    EXPECT_EQ(dxp_l2_addr_add(0, &on_port), 0);
    EXPECT_EQ(dxp_mcast_addr_remove(0, kGroup, 1), 0);
}

// The CPU port a loopback test sends from is held for its settings and its
// membership of the test's VLAN, naming the CPU port; its other VLANs and
// the ports in service are not, and the test itself changes what it holds.
TEST_F(api_l2_vlan, TheCpuPortOfATestKeepsItsSettingsAndTheTestsVlan) {
    const int cpu = SOC_CONTROL(0)->cmic_port;
    const dxp_pbmp_t cpu_only = pbmp({cpu});
    ASSERT_EQ(dxp_vlan_create(0, 10), 0);
    ASSERT_EQ(dxp_vlan_port_add(0, 10, cpu_only, pbmp({})), 0);
    std::thread test([&] {
        ASSERT_EQ(port_reserve(0, pbmp({4}), "PHY Loopback - Mark 2"), 0);
        ASSERT_EQ(port_reserve_cpu(0, cpu, "PHY Loopback - Mark 2"), 0);
        EXPECT_EQ(port_reserve_cpu(0, cpu, "New Snake Test"), DXP_E_BUSY);
        ASSERT_EQ(dxp_vlan_port_add(0, 1, pbmp({4, cpu}), pbmp({4})), 0);
        port_reserve_cpu_vlan(0, 1);
    });
    test.join();
    const auto refused_at = [](int rv) {
        int unit = -1, port = -1;
        return rv == DXP_E_BUSY && port_reserve_take_refusal(&unit, &port) ? port : -1;
    };
    const VlanRow row1 = vlanRow(1);
    EXPECT_EQ(refused_at(dxp_vlan_port_remove(0, 1, cpu_only)), cpu);
    EXPECT_EQ(refused_at(dxp_vlan_port_add(0, 1, cpu_only, cpu_only)), cpu);
    EXPECT_EQ(refused_at(dxp_port_enable_set(0, cpu, 0)), cpu);
    EXPECT_EQ(refused_at(dxp_port_rate_egress_set(0, cpu, 64, 64)), cpu);
    EXPECT_EQ(refused_at(dxp_rx_rate_set(0, 10)), cpu);
    EXPECT_STREQ(port_reserve_cpu_owner(0, cpu), "PHY Loopback - Mark 2");
    EXPECT_EQ(vlanRow(1).members, row1.members);
    int enabled = 0;
    EXPECT_EQ(dxp_port_enable_get(0, cpu, &enabled), 0);
    EXPECT_EQ(enabled, 1);
    // Its other VLANs, and the ports in service in the test's VLAN.
    EXPECT_EQ(dxp_vlan_port_remove(0, 10, cpu_only), 0);
    EXPECT_EQ(dxp_vlan_port_remove(0, 1, pbmp({9})), 0);
    EXPECT_EQ(dxp_vlan_port_add(0, 1, pbmp({9}), pbmp({9})), 0);

    std::thread done([&] {
        EXPECT_EQ(dxp_vlan_port_remove(0, 1, pbmp({4})), 0);
        port_reserve_cpu_release(0);
        port_reserve_release(0, pbmp({4}));
    });
    done.join();
    EXPECT_EQ(port_reserve_cpu_owner(0, cpu), nullptr);
    EXPECT_EQ(dxp_vlan_port_remove(0, 1, cpu_only), 0);
    EXPECT_EQ(dxp_vlan_port_add(0, 1, cpu_only, pbmp({})), 0);
}

// A unit first brought up with a single spanning tree.
class api_l2_vlan_single_stg : public api_l2_vlan {
  protected:
    void SetUp() override { bringUp(false); }
};

TEST_F(api_l2_vlan_single_stg, ReinitWithMoreGroupsGrowsItsTables) {
    int stg = 0;
    EXPECT_EQ(dxp_stg_create(0, &stg), DXP_E_FULL);
    EXPECT_EQ(dxp_stg_count_get(0, &stg), 0);
    EXPECT_EQ(stg, 1);
    mstpFeature(true);
    ASSERT_EQ(dxp_stg_init(0), 0);
    EXPECT_EQ(dxp_stg_create_id(0, 32), 0);
    ASSERT_EQ(dxp_vlan_create(0, 30), 0);
    EXPECT_EQ(dxp_stg_vlan_add(0, 32, 30), 0);
    EXPECT_EQ(stgVlans(32), std::vector<int>{30});
}

TEST_F(api_l2_vlan, VlanTableMembersListsAndReservedIds) {
    // The default VLAN holds every port, all but the CPU port untagged.
    VlanRow row = vlanRow(1);
    EXPECT_EQ(row.members, kAllPorts);
    EXPECT_EQ(row.untagged, kAllPorts & ~(1ull << kCpu));
    EXPECT_EQ(row.stg, 1u);
    const uint64_t reserved = tables().memPeek(0x2000 + 4095);
    EXPECT_EQ(reserved, 1ull << 54);

    EXPECT_EQ(dxp_vlan_create(0, 1), DXP_E_EXISTS);
    EXPECT_EQ(dxp_vlan_destroy(0, 1), DXP_E_BADID);
    EXPECT_EQ(dxp_vlan_destroy(0, 7), DXP_E_NOT_FOUND);
    EXPECT_EQ(dxp_vlan_create(0, 0), DXP_E_PARAM);
    EXPECT_EQ(dxp_vlan_create(0, 4095), DXP_E_PARAM);
    EXPECT_EQ(dxp_vlan_port_add(0, 4095, pbmp({2}), pbmp({2})), DXP_E_PARAM);
    EXPECT_EQ(tables().memPeek(0x2000 + 4095), reserved);

    ASSERT_EQ(dxp_vlan_create(0, 10), 0);
    EXPECT_EQ(vlanRow(10).members, 0u);
    EXPECT_EQ(dxp_vlan_port_add(0, 10, pbmp({2, 3, kCpu}), pbmp({2, kCpu})), 0);
    EXPECT_EQ(dxp_vlan_port_add(0, 10, pbmp({2, 3}), pbmp({})), 0);  // no change
    row = vlanRow(10);
    EXPECT_EQ(row.members, 0b1100ull | 1ull << kCpu);
    EXPECT_EQ(row.untagged, 0b100ull);
    EXPECT_EQ(dxp_vlan_port_remove(0, 10, pbmp({3, 5})), 0);
    dxp_pbmp_t members{}, untagged{};
    EXPECT_EQ(dxp_vlan_port_get(0, 10, &members, &untagged), 0);
    EXPECT_EQ(members.w[0], 0b100u | 1u << kCpu);
    EXPECT_EQ(untagged.w[0], 0b100u);

    ASSERT_EQ(dxp_vlan_create(0, 5), 0);
    ASSERT_EQ(dxp_vlan_port_add(0, 5, pbmp({3}), pbmp({})), 0);
    EXPECT_EQ(vlanIds(nullptr), (std::vector<int>{1, 5, 10}));
    const dxp_pbmp_t by3 = pbmp({3}), by2 = pbmp({2}), none{};
    EXPECT_EQ(vlanIds(&by3), (std::vector<int>{1, 5}));
    EXPECT_EQ(vlanIds(&by2), (std::vector<int>{1, 10}));
    EXPECT_TRUE(vlanIds(&none).empty());

    dxp_vlan_t defl = 0;
    EXPECT_EQ(dxp_vlan_default_set(0, 7), DXP_E_NOT_FOUND);
    EXPECT_EQ(dxp_vlan_default_set(0, 10), 0);
    EXPECT_EQ(dxp_vlan_default_get(0, &defl), 0);
    EXPECT_EQ(defl, 10);
    EXPECT_EQ(dxp_vlan_destroy_all(0), 0);
    EXPECT_EQ(vlanIds(nullptr), std::vector<int>{10});
    EXPECT_EQ(vlanRow(5).members, 0u);
    EXPECT_EQ(vlanRow(5).stg, 0u);
    EXPECT_EQ(stgVlans(1), std::vector<int>{10});
}

TEST_F(api_l2_vlan, MacVlansAndVlanControls) {
    EXPECT_EQ(dxp_vlan_mac_add(0, kMacA, 10, 0x200), DXP_E_PARAM);
    EXPECT_EQ(dxp_vlan_mac_add(0, kMacA, 10, 0x105), DXP_E_UNAVAIL);  // no such table here

    int arg = -1;
    EXPECT_EQ(dxp_vlan_control_set(0, 0, 1), 0);
    EXPECT_EQ(dxp_vlan_control_get(0, 0, &arg), 0);
    EXPECT_EQ(arg, 1);
    EXPECT_EQ(board->chip().peek("VLAN_CTRL5") & 0x8, 0x8u);
    for (int on : {1, 0}) {
        EXPECT_EQ(dxp_vlan_control_set(0, 3, on), 0);
        EXPECT_EQ(dxp_vlan_control_get(0, 3, &arg), 0);
        EXPECT_EQ(arg, on);
    }
    EXPECT_EQ(dxp_vlan_control_set(0, 7, 1), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_vlan_control_set(0, 6, 1), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_vlan_control_port_set(0, 60, 1, 1), DXP_E_PARAM);
    EXPECT_EQ(dxp_vlan_control_port_get(0, 3, 3, &arg), DXP_E_UNAVAIL);
}

// The wide chip's own table services behind the API: addresses, VLANs and
// spanning-tree states of ports above 32.
class api_l2_vlan_wide : public port_test::PortUnitTest {
  protected:
    void TearDown() override {
        dxp_linkscan_detach(0);  // the scan thread must not outlive the unit
        dxp_detach(0);
        PortUnitTest::TearDown();
    }
};

TEST_F(api_l2_vlan_wide, UnitInitBringsUpTheTablesOfTheWideChip) {
    startPorts(sim::ChipKind::DXP7101);
    ASSERT_EQ(soc_init(0), 0);
    ASSERT_EQ(dxp_dispatch_register(&dxp_tarn_dispatch), 0);
    ASSERT_EQ(dxp_init(0), 0);
    dxp_l2_addr a;
    dxp_l2_addr_init(&a, kMacA, 1);
    a.port = 40;
    a.flags = DXP_L2_STATIC;
    ASSERT_EQ(dxp_l2_addr_add(0, &a), 0);
    dxp_l2_addr got{};
    ASSERT_EQ(dxp_l2_addr_get(0, kMacA, 1, &got), 0);
    EXPECT_EQ(got.port, 40);
    EXPECT_EQ(dxp_l2_addr_delete(0, kMacA, 1), 0);
    EXPECT_EQ(dxp_l2_addr_get(0, kMacA, 1, &got), DXP_E_NOT_FOUND);

    ASSERT_EQ(dxp_vlan_create(0, 10), 0);
    dxp_pbmp_t members{}, untagged{}, back{}, back_untagged{};
    dxp_pbmp_port_add(&members, 40);
    ASSERT_EQ(dxp_vlan_port_add(0, 10, members, untagged), 0);
    ASSERT_EQ(dxp_vlan_port_get(0, 10, &back, &back_untagged), 0);
    EXPECT_TRUE(dxp_pbmp_member(back, 40));

    constexpr int kBlocking = 1;  // API state
    int stg = -1, state = -1;
    ASSERT_EQ(dxp_stg_default_get(0, &stg), 0);
    ASSERT_EQ(dxp_stg_stp_set(0, stg, 40, kBlocking), 0);
    ASSERT_EQ(dxp_stg_stp_get(0, stg, 40, &state), 0);
    EXPECT_EQ(state, kBlocking);
}

}  // namespace
