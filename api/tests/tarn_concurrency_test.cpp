// Several threads on one unit at once, as the web, the monitor, SNMP and the
// receive thread use it: field entries, DoS controls, trunks, mirroring,
// spanning-tree groups and port settings stay whole, and link-scan handlers
// may take a manager's lock while that manager calls the API.
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "tarn_field_fixture.h"

namespace {

using tarn_test::qset_of;

constexpr int kRounds = 150;

class tarn_concurrency : public tarn_test::FieldUnitTest {
  protected:
    // Runs every body on a thread of its own for kRounds rounds.
    static void together(const std::vector<std::function<void(int)>> &bodies) {
        std::vector<std::thread> threads;
        for (const auto &body : bodies)
            threads.emplace_back([&body] {
                for (int round = 0; round < kRounds; round++)
                    body(round);
            });
        for (std::thread &t : threads)
            t.join();
    }
    static int entriesUsed(int group) {
        dxp_field_group_status_t st{};
        EXPECT_EQ(dxp_field_group_status_get(0, group, &st), 0);
        return st.entries_total - st.entries_free;
    }
    static int port(int n) {
        int found = 0;
        for (int p = 0; p < 64; p++)
            if (soc_pbmp_member(SOC_CONTROL(0)->e.bitmap, p) && found++ == n) return p;
        return -1;
    }
};

// What one user of a group builds: a drop rule with a counter, moved, read
// and taken down again.
void entry_cycle(int group, uint32_t ip) {
    int entry = 0;
    ASSERT_EQ(dxp_field_entry_create(0, group, &entry), 0);
    EXPECT_EQ(dxp_field_qualify_SrcIp(0, entry, ip, 0xffffffff), 0);
    EXPECT_EQ(dxp_field_action_add(0, entry, dxpFieldActionDrop, 0, 0), 0);
    EXPECT_EQ(dxp_field_counter_create(0, entry), 0);
    EXPECT_EQ(dxp_field_entry_install(0, entry), 0);
    EXPECT_EQ(dxp_field_entry_prio_set(0, entry, static_cast<int>(ip & 7)), 0);
    int copy = 0;
    if (dxp_field_entry_copy(0, entry, &copy) == 0) {
        EXPECT_EQ(dxp_field_entry_destroy(0, copy), 0);
    }
    uint64_t count = 0;
    EXPECT_EQ(dxp_field_counter_get(0, entry, 0, &count), 0);
    EXPECT_EQ(dxp_field_entry_remove(0, entry), 0);
    EXPECT_EQ(dxp_field_entry_destroy(0, entry), 0);
}

TEST_P(tarn_concurrency, FieldEntriesDosAndTablesStayWholeUnderManyUsers) {
    bringUp();
    const dxp_field_qset_t q = qset_of({dxpFieldQualifySrcIp, dxpFieldQualifyIpProtocol});
    int g1 = 0, g2 = 0;
    ASSERT_EQ(dxp_field_group_create(0, q, 3, &g1), 0);
    ASSERT_EQ(dxp_field_group_create(0, q, 4, &g2), 0);
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 1), 0);
    ASSERT_EQ(dxp_vlan_create(0, 2), 0);
    const int p1 = port(1), p2 = port(2), p3 = port(3);
    std::atomic<int> trunks_made{0};

    together({
        // Two managers building rules (Auto VoIP, ARP inspection, IP QoS).
        [&](int r) { entry_cycle(g1, 0x0a000000u + static_cast<uint32_t>(r)); },
        [&](int r) { entry_cycle(g2, 0x0b000000u + static_cast<uint32_t>(r)); },
        // The monitor's fp walk over the entry ids.
        [&](int) {
            for (int id = 1; id < 64; id++) {
                int prio = 0;
                dxp_field_entry_prio_get(0, id, &prio);
            }
            dxp_field_status_t st{};
            EXPECT_EQ(dxp_field_status_get(0, &st), 0);
        },
        // The DoS page for all ports and the monitor's dos per port.
        [&](int r) {
            EXPECT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackSipEqualDip, r & 1), 0);
        },
        [&](int r) {
            EXPECT_EQ(dxp_switch_control_port_set(0, p1 + r % 3, dxpSwitchDosAttackTcpSmurf,
                                                  (r >> 1) & 1),
                      0);
            int on = 0;
            EXPECT_EQ(dxp_switch_control_port_get(0, p1, dxpSwitchDosAttackTcpSmurf, &on), 0);
        },
        // Trunks, mirroring, spanning-tree groups and port settings.
        [&](int) {
            int tid = -1;
            if (dxp_trunk_create(0, &tid) != 0) return;
            trunks_made++;
            dxp_trunk_add_info info{};
            info.num_ports = 2;
            info.psc = 1;
            info.tp[0] = p2;
            info.tp[1] = p3;
            EXPECT_EQ(dxp_trunk_set(0, tid, &info), 0);
            dxp_trunk_add_info back{};
            EXPECT_EQ(dxp_trunk_get(0, tid, &back), 0);
            EXPECT_EQ(back.num_ports, 2);
            EXPECT_EQ(dxp_trunk_destroy(0, tid), 0);
        },
        [&](int r) {
            EXPECT_EQ(dxp_mirror_to_set(0, p1), 0);
            EXPECT_EQ(dxp_mirror_mode_set(0, r & 1), 0);
            int mode = -1;
            EXPECT_EQ(dxp_mirror_mode_get(0, &mode), 0);
        },
        [&](int) {
            int stg = 0;
            if (dxp_stg_create(0, &stg) != 0) return;
            EXPECT_EQ(dxp_stg_stp_set(0, stg, p2, 3), 0);
            int *list = nullptr, count = 0;
            EXPECT_EQ(dxp_stg_list(0, &list, &count), 0);
            EXPECT_GE(count, 2);
            dxp_stg_list_destroy(0, list, count);
            EXPECT_EQ(dxp_stg_destroy(0, stg), 0);
        },
        [&](int r) {
            EXPECT_EQ(dxp_port_untagged_vlan_set(0, p3, static_cast<dxp_vlan_t>(1 + (r & 1))), 0);
            dxp_port_info info{};
            EXPECT_EQ(dxp_port_info_get(0, p3, &info), 0);
            EXPECT_EQ(dxp_port_enable_set(0, p2, r & 1), 0);
        },
    });

    EXPECT_GT(trunks_made.load(), 0);
    // The DoS records end as the last call of each left them.
    int on = -1;
    ASSERT_EQ(dxp_switch_control_get(0, dxpSwitchDosAttackSipEqualDip, &on), 0);
    EXPECT_EQ(on, (kRounds - 1) & 1);
    // The DoS rules may share the groups; once they go, nothing is left.
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 0), 0);
    EXPECT_EQ(entriesUsed(g1), 0);
    EXPECT_EQ(entriesUsed(g2), 0);
    dxp_field_status_t st{};
    ASSERT_EQ(dxp_field_status_get(0, &st), 0);
    EXPECT_EQ(st.group_free, st.group_total - 2);
}

// A manager's link handler takes the manager's lock; the manager, holding
// it, calls the API that link scan also serves. Neither waits for the other.
std::mutex manager;
std::atomic<int> handled{0};
void manager_link_handler(int unit, int port, dxp_port_info *) {
    std::lock_guard<std::mutex> hold(manager);
    dxp_port_info info{};
    dxp_port_info_get(unit, port, &info);
    handled++;
}

TEST_P(tarn_concurrency, LinkHandlersMayTakeAManagersLockAgainstItsApiCalls) {
    bringUp();
    const int p = port(4);
    ASSERT_EQ(dxp_linkscan_register(0, manager_link_handler), 0);
    std::atomic<bool> done{false};
    std::thread flapper([&] {
        for (int i = 0; i < 40; i++) {
            if (i & 1)
                board->port(p).linkDown();
            else
                board->port(p).linkUp();
            dxp_pbmp_t b{};
            dxp_pbmp_port_add(&b, p);
            dxp_link_change(0, b);
            sal_usleep(2000);
        }
        done = true;
    });
    while (!done) {
        std::lock_guard<std::mutex> hold(manager);
        EXPECT_EQ(dxp_port_linkscan_set(0, p, 1), 0);
        EXPECT_EQ(dxp_port_enable_set(0, p, 1), 0);
    }
    flapper.join();
    dxp_linkscan_unregister(0, manager_link_handler);
    EXPECT_GT(handled.load(), 0);
}

TEST(dxp_api_lock, BlockingAndUpcallingSlotsRunWithoutTheUnitLock) {
    for (int slot : {13, 254, 291, 292, 296, 305, 345, 512, 533, 534, 546, 630, 635})
        EXPECT_TRUE(dxp_api_slot_unlocked(slot)) << slot;
    for (int slot : {67, 85, 87, 94, 331, 338, 399, 402, 475, 549, 558, 602, 603, 607, 629})
        EXPECT_FALSE(dxp_api_slot_unlocked(slot)) << slot;
}

INSTANTIATE_TEST_SUITE_P(chips, tarn_concurrency,
                         ::testing::Values(sim::ChipKind::DXP7101, sim::ChipKind::DXP7106),
                         port_test::chip_name);

}  // namespace
