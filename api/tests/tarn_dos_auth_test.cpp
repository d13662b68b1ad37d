// Switch controls (DoS entries and trap bits) and Ethernet AV of the family,
// on the chips with the field processor, after a full unit initialisation.
#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "../../drv/tests/port_fixture.h"
#include "drv_cfp.h"
#include "drv_security.h"
#include "dxp.h"
#include "dxp_tarn.h"
#include "dxp_tarn_auth.h"
#include "dxp_tarn_eav.h"
#include "soc_arl.h"
#include "soc_counter.h"
#include "sim/board.h"
#include "tarn_field_fixture.h"

namespace {

soc_pbmp_t tarn_test_port(int port) {
    soc_pbmp_t b{};
    soc_pbmp_port_add(&b, port);
    return b;
}

class tarn_dos_auth : public tarn_test::FieldUnitTest {
  protected:
    void SetUp() override {
        PortUnitTest::SetUp();
        bringUp();
    }
    void TearDown() override {
        dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 0);
        FieldUnitTest::TearDown();
    }
    static bool installed(int entry) {
        int prio = 0;
        return dxp_field_entry_prio_get(0, entry, &prio) == 0;
    }
    static int installedCount() {
        int n = 0;
        for (int entry = 1; entry <= 64; entry++)
            n += installed(entry) ? 1 : 0;
        return n;
    }
    static int portGet(int port, int type) {
        int v = -1;
        EXPECT_EQ(dxp_switch_control_port_get(0, port, type, &v), 0);
        return v;
    }
};

TEST_P(tarn_dos_auth, DosTypesNeedTheMasterSwitchAndFirstFragment) {
    EXPECT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackSipEqualDip, 1), DXP_E_INIT);
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 1), 0);
    EXPECT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackTcpFlags, 1), DXP_E_INIT);
    EXPECT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackTcpFrag, 1), DXP_E_INIT);
    EXPECT_FALSE(installed(1));
    EXPECT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackIcmp, 1), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_switch_control_set(0, dxpSwitchCpuProtocolPrio, 7), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_switch_control_port_set(0, 53, dxpSwitchDosAttackSipEqualDip, 1), DXP_E_PORT);
    EXPECT_EQ(dxp_switch_control_port_set(0, 5, dxpSwitchIgmpToCPU, 1), DXP_E_UNAVAIL);

    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackMinTcpHdrSize, 300), 0);
    int v = 0;
    ASSERT_EQ(dxp_switch_control_get(0, dxpSwitchDosAttackMinTcpHdrSize, &v), 0);
    EXPECT_EQ(v, 44);
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackV4FirstFrag, 1), 0);
    EXPECT_EQ(portGet(7, dxpSwitchDosAttackV4FirstFrag), 1);
    EXPECT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackTcpFlags, 1), 0);
    EXPECT_EQ(portGet(7, dxpSwitchDosAttackTcpFlags), 1);
    for (int entry = 1; entry <= 4; entry++)
        EXPECT_TRUE(installed(entry)) << entry;
    uint32_t rate = 0, burst = 0;
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackPingFlood, 1), 0);
    ASSERT_EQ(dxp_field_meter_get(0, 5, 2, &rate, &burst), 0);
    EXPECT_EQ(rate, 64u);
    EXPECT_EQ(burst, 1024u);
    uint32_t p0 = 0, p1 = 0;
    ASSERT_EQ(dxp_field_action_get(0, 5, dxpFieldActionRpDrop, &p0, &p1), 0);
}

TEST_P(tarn_dos_auth, OnePortOffRebuildsTheRuleForTheOthers) {
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 1), 0);
    // Disabling what was never enabled has nothing to remove.
    EXPECT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackL4Port, 0), 0);
    EXPECT_FALSE(installed(1));
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackSipEqualDip, 1), 0);
    ASSERT_TRUE(installed(1));
    // On again changes nothing: no second entry.
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackSipEqualDip, 1), 0);
    ASSERT_EQ(dxp_switch_control_port_set(0, 4, dxpSwitchDosAttackSipEqualDip, 1), 0);
    EXPECT_FALSE(installed(2));

    ASSERT_EQ(dxp_switch_control_port_set(0, 5, dxpSwitchDosAttackSipEqualDip, 0), 0);
    // The rule rebuilt for the ports that keep it: blocks of source ports.
    EXPECT_GT(installedCount(), 1);
    EXPECT_EQ(portGet(5, dxpSwitchDosAttackSipEqualDip), 0);
    EXPECT_EQ(portGet(4, dxpSwitchDosAttackSipEqualDip), 1);
    // On frames: a Land attack passes on port 5 only.
    board->chip().poke("SWMODE", 0, 0x03);
    for (int p = 3; p <= 6; p++) {
        board->port(p).linkUp();
        ASSERT_EQ(dxp_port_enable_set(0, p, 1), 0);
    }
    dxp_pbmp_t up{};
    for (int p = 3; p <= 6; p++)
        dxp_pbmp_port_add(&up, p);
    ASSERT_EQ(dxp_linkscan_update(0, up), 0);
    const auto land_passes = [&](int port) {
        const int out = port == 3 ? 6 : 3;
        const size_t before = board->port(out).sent().size();
        board->port(port).inject(
            sim::FrameBuilder().src(0x020000000001ull).udp(0x0a000001, 0x0a000001, 9, 9).build());
        return board->port(out).sent().size() > before;
    };
    EXPECT_TRUE(land_passes(5));
    for (int port : {3, 4, 6})
        EXPECT_FALSE(land_passes(port)) << port;
    int v = -1;
    ASSERT_EQ(dxp_switch_control_get(0, dxpSwitchDosAttackSipEqualDip, &v), 0);
    EXPECT_EQ(v, 0);  // no longer on for the whole switch

    // Back on for port 5: one rule for every port again.
    ASSERT_EQ(dxp_switch_control_port_set(0, 5, dxpSwitchDosAttackSipEqualDip, 1), 0);
    ASSERT_EQ(dxp_switch_control_get(0, dxpSwitchDosAttackSipEqualDip, &v), 0);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(installedCount(), 1);

    ASSERT_EQ(dxp_switch_control_port_set(0, 3, dxpSwitchDosAttackSynFlood, 1), 0);
    EXPECT_EQ(portGet(3, dxpSwitchDosAttackSynFlood), 1);
    EXPECT_EQ(portGet(4, dxpSwitchDosAttackSynFlood), 0);
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackSipEqualDip, 0), 0);
    EXPECT_EQ(portGet(4, dxpSwitchDosAttackSipEqualDip), 0);
    // Switching DoS control off removes what is still installed.
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 0), 0);
    EXPECT_EQ(installedCount(), 0);
    EXPECT_EQ(portGet(3, dxpSwitchDosAttackSynFlood), 0);
}

// The valid TCAM rows with their actions, in row order or sorted.
using Row = std::array<uint32_t, 2 * DRV_CFP_ROW_WORDS + 1>;
std::vector<Row> cfp_rows(bool sorted) {
    std::vector<Row> rows;
    for (int index = 0; index < DRV_CFP_ROWS; index++) {
        drv_cfp_entry_t e{};
        uint32_t valid = 0;
        if (drv_cfp_entry_read(0, index, DRV_CFP_RAM_ALL, &e) != 0 ||
            drv_cfp_field_get(0, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_VALID, &e, &valid) != 0 ||
            valid == 0)
            continue;
        Row r{};
        std::copy_n(e.tcam_data, DRV_CFP_ROW_WORDS, r.begin());
        std::copy_n(e.tcam_mask, DRV_CFP_ROW_WORDS, r.begin() + DRV_CFP_ROW_WORDS);
        r.back() = e.act_data;
        rows.push_back(r);
    }
    if (sorted) std::sort(rows.begin(), rows.end());
    return rows;
}

dxp_pbmp_t pbmp_of(std::initializer_list<int> ports) {
    dxp_pbmp_t b{};
    for (int p : ports)
        dxp_pbmp_port_add(&b, p);
    return b;
}

TEST_P(tarn_dos_auth, PortBitmapChangeInstallsWhatPortByPortChangesDo) {
    const std::initializer_list<int> on = {1, 2, 3, 5, 8, 9, 10, 17}, off = {2, 9};
    for (int type : {dxpSwitchDosAttackL4Port, dxpSwitchDosAttackSynFlood}) {
        ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 1), 0);
        for (int p : on)
            ASSERT_EQ(dxp_switch_control_port_set(0, p, type, 1), 0);
        for (int p : off)
            ASSERT_EQ(dxp_switch_control_port_set(0, p, type, 0), 0);
        const std::vector<Row> port_by_port = cfp_rows(true);
        ASSERT_FALSE(port_by_port.empty());
        ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 0), 0);
        ASSERT_TRUE(cfp_rows(true).empty());

        ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 1), 0);
        ASSERT_EQ(dxp_tarn_switch_control_pbmp_set(0, pbmp_of(on), type, 1), 0);
        ASSERT_EQ(dxp_tarn_switch_control_pbmp_set(0, pbmp_of(off), type, 0), 0);
        EXPECT_EQ(cfp_rows(true), port_by_port) << type;
        for (int p = 0; p < 20; p++) {
            const bool want = std::count(on.begin(), on.end(), p) != 0 &&
                              std::count(off.begin(), off.end(), p) == 0;
            EXPECT_EQ(portGet(p, type), want ? 1 : 0) << type << " port " << p;
        }
        ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 0), 0);
    }
}

TEST_P(tarn_dos_auth, PortsThatKeepATypeKeepTheirRows) {
    // Only this test's calls may write while the log counts.
    dxp_linkscan_detach(0);
    soc_tarn_counter_stop(0);
    soc_arl_stop(0);
    board->accessLog().enable(true);
    const auto writes_of_port_20 = [&] {
        board->accessLog().clear();
        EXPECT_EQ(dxp_switch_control_port_set(0, 20, dxpSwitchDosAttackL4Port, 1), 0);
        return board->accessLog().count(sim::BusOp::Write);
    };
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 1), 0);
    const size_t alone = writes_of_port_20();
    ASSERT_EQ(dxp_switch_control_port_set(0, 20, dxpSwitchDosAttackL4Port, 0), 0);
    ASSERT_TRUE(cfp_rows(false).empty());

    ASSERT_EQ(dxp_tarn_switch_control_pbmp_set(0, pbmp_of({0, 1, 2, 3, 4, 5, 6, 7}),
                                               dxpSwitchDosAttackL4Port, 1),
              0);
    const std::vector<Row> before = cfp_rows(false);
    ASSERT_FALSE(before.empty());
    // A port far from the others adds its own rows and writes no more than
    // it does alone: the block of the first eight stays where it was.
    EXPECT_LE(writes_of_port_20(), alone);
    const std::vector<Row> after = cfp_rows(false);
    ASSERT_GT(after.size(), before.size());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
    // Every port again: one row without a port qualifier.
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackL4Port, 1), 0);
    EXPECT_EQ(cfp_rows(false).size(), 1u);
}

TEST_P(tarn_dos_auth, PortBitmapChangeRefusesBadInputAndChangesNothing) {
    const dxp_pbmp_t some = pbmp_of({3, 4});
    EXPECT_EQ(dxp_tarn_switch_control_pbmp_set(0, some, dxpSwitchDosAttackL4Port, 1), DXP_E_INIT);
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 1), 0);
    EXPECT_EQ(dxp_tarn_switch_control_pbmp_set(0, some, dxpSwitchDosAttackTcpFlags, 1), DXP_E_INIT);
    EXPECT_EQ(dxp_tarn_switch_control_pbmp_set(9, some, dxpSwitchDosAttackL4Port, 1), DXP_E_UNIT);
    EXPECT_EQ(dxp_tarn_switch_control_pbmp_set(0, some, dxpSwitchIgmpToCPU, 1), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_tarn_switch_control_pbmp_set(0, pbmp_of({3, 53}), dxpSwitchDosAttackL4Port, 1),
              DXP_E_PORT);
    EXPECT_EQ(portGet(3, dxpSwitchDosAttackL4Port), 0);
    EXPECT_TRUE(cfp_rows(false).empty());
    EXPECT_EQ(dxp_tarn_switch_control_pbmp_set(0, dxp_pbmp_t{}, dxpSwitchDosAttackL4Port, 1), 0);
    EXPECT_TRUE(cfp_rows(false).empty());
}

TEST_P(tarn_dos_auth, PerPortEntriesMatchTheirPortOnly) {
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 1), 0);
    ASSERT_EQ(dxp_switch_control_port_set(0, 3, dxpSwitchDosAttackTcpSmurf, 1), 0);
    // SrcPort answers -7 on an entry that does not qualify it.
    EXPECT_EQ(dxp_field_qualify_SrcPort(0, 1, 0, -1, 3, -1), 0);
    dxp_field_qset_t q{};
    int group = 0, entry = 0;
    ASSERT_EQ(dxp_field_group_create(0, q, -1, &group), 0);
    ASSERT_EQ(dxp_field_entry_create(0, group, &entry), 0);
    EXPECT_LT(dxp_field_qualify_SrcPort(0, entry, 0, -1, 3, -1), 0);
}

TEST_P(tarn_dos_auth, TypeTurnedOffLeavesTheGroupItSharedToItsMaker) {
    // Another feature's group, still empty, on the slice the Land entries take.
    dxp_field_qset_t q{};
    dxp_field_qset_add(&q, dxpFieldQualifySrcIpEqualDstIp);
    int other = 0, entry = 0;
    ASSERT_EQ(dxp_field_group_create(0, q, 3, &other), 0);
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 1), 0);
    for (int on : {1, 0})
        ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackSipEqualDip, on), 0);
    ASSERT_EQ(dxp_field_entry_create(0, other, &entry), 0);
    EXPECT_EQ(dxp_field_entry_destroy(0, entry), 0);
    EXPECT_EQ(dxp_field_group_destroy(0, other), 0);

    // A group the type made for itself goes with it.
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackSipEqualDip, 1), 0);
    dxp_field_group_status_t st{};
    ASSERT_EQ(dxp_field_group_status_get(0, other, &st), 0);  // the type's own, same id
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackSipEqualDip, 0), 0);
    EXPECT_EQ(dxp_field_group_status_get(0, other, &st), DXP_E_NOT_FOUND);
}

TEST_P(tarn_dos_auth, TrapControlsWriteOnlyChanges) {
    // Only this test's calls may write while the log counts.
    dxp_linkscan_detach(0);
    soc_tarn_counter_stop(0);
    soc_arl_stop(0);
    board->accessLog().enable(true);
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchBpduToCPU, 1), 0);
    int v = 0;
    ASSERT_EQ(dxp_switch_control_get(0, dxpSwitchBpduToCPU, &v), 0);
    EXPECT_EQ(v, 1);
    board->accessLog().clear();
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchBpduToCPU, 1), 0);
    EXPECT_EQ(board->accessLog().count(sim::BusOp::Write), 0u);
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchBpduToCPU, 0), 0);
    EXPECT_GT(board->accessLog().count(sim::BusOp::Write), 0u);
    ASSERT_EQ(dxp_switch_control_get(0, dxpSwitchBpduToCPU, &v), 0);
    EXPECT_EQ(v, 0);
}

TEST_P(tarn_dos_auth, EavWritesItsThresholdsThenAnswersUnavailable) {
    board->accessLog().enable(true);
    EXPECT_EQ(dxp_tarn_eav_init(0), DXP_E_UNAVAIL);
    size_t writes = 0;
    for (const sim::BusAccess &a : board->accessLog().entries())
        if (a.op == sim::BusOp::Write && a.length == 2 && (a.page == 0x0a || a.page == 0x0d))
            writes++;
    EXPECT_EQ(writes, size_t{DXP_EAV_REG_WRITES});
    uint32_t p0 = 0, p1 = 0;
    EXPECT_EQ(dxp_eav_control_get(0, 7, &p0, &p1), DXP_E_PARAM);
    EXPECT_EQ(dxp_eav_control_get(0, 3, &p0, &p1), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_tarn_eav_port_enable_set(0, 53, 1), DXP_E_PORT);
    EXPECT_EQ(dxp_tarn_eav_port_enable_set(0, 1, -1), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_tarn_eav_init(9), DXP_E_UNIT);
}

INSTANTIATE_TEST_SUITE_P(chips, tarn_dos_auth,
                         ::testing::Values(sim::ChipKind::DXP7101, sim::ChipKind::DXP7106),
                         port_test::chip_name);

class tarn_auth : public tarn_dos_auth {
  protected:
    static uint32_t state(int port) {
        uint32_t s = 0, mask = 0xabc;
        EXPECT_EQ(DRV_SERVICES(0)->security_get(0, port, &s, &mask), 0);
        EXPECT_EQ(mask, 0xabcu);
        return s;
    }
    static uint32_t mode(int port) {
        uint32_t m = 0;
        EXPECT_EQ(dxp_auth_mode_get(0, port, &m), 0);
        return m;
    }
};

struct Report {
    int calls = 0, port = -1, reason = 0;
};

TEST_P(tarn_auth, ModesFollowTheLinkAndReportToTheCallback) {
    // The test calls the link handler itself; the scan thread must not call it
    // too, with a callback whose cookie lives on this stack.
    ASSERT_EQ(dxp_linkscan_detach(0), 0);
    EXPECT_EQ(mode(1), 1u);
    EXPECT_EQ(state(1), DRV_SECURITY_STATE_UNCONTROLLED);
    EXPECT_EQ(dxp_auth_mode_set(0, 1, 0), DXP_E_PARAM);
    EXPECT_EQ(dxp_auth_mode_set(0, 60, 4), DXP_E_BADID);
    EXPECT_EQ(dxp_tarn_auth_sec_mode_set(0, 1, DXP_AUTH_SEC_SA_NUM, 4096), DXP_E_PARAM);
    EXPECT_EQ(dxp_tarn_auth_sec_mode_set(0, 1, DXP_AUTH_SEC_SA_NUM, 4095), 0);
    EXPECT_EQ(DRV_SERVICES(0)->security_set(0, tarn_test_port(1), 4, 0, 0), DXP_E_PARAM);
    EXPECT_EQ(DRV_SERVICES(0)->security_set(0, tarn_test_port(1), 2, 0, 0), DXP_E_PARAM);

    ASSERT_EQ(dxp_auth_mode_set(0, 1, 0x4), 0);
    EXPECT_EQ(state(1), DRV_SECURITY_STATE_AUTHORIZED);
    Report r;
    ASSERT_EQ(dxp_auth_unauth_callback(
                  0,
                  [](void *cookie, int, int port, int reason) {
                      auto *rep = static_cast<Report *>(cookie);
                      rep->calls++;
                      rep->port = port;
                      rep->reason = reason;
                  },
                  &r),
              0);
    dxp_port_info info{};
    info.linkstatus = 0;
    dxp_tarn_auth_link_handler(0, 1, &info);
    EXPECT_EQ(mode(1), 2u);
    EXPECT_EQ(state(1), DRV_SECURITY_STATE_UNAUTHORIZED);
    EXPECT_EQ(r.calls, 1);
    EXPECT_EQ(r.port, 1);
    EXPECT_EQ(r.reason, 0x4000);
    // A port that keeps its state over link changes stays authorised.
    ASSERT_EQ(dxp_auth_mode_set(0, 2, 0x44), 0);
    dxp_tarn_auth_link_handler(0, 2, &info);
    EXPECT_EQ(mode(2), 0x44u);
    dxp_auth_unauth_callback(0, nullptr, nullptr);
}

TEST_P(tarn_auth, UnauthorisedPortsLoseTheirAddresses) {
    if (GetParam() != sim::ChipKind::DXP7102A1) return;  // table services pending there
    dxp_l2_addr a{};
    a.flags = DXP_L2_STATIC;
    const dxp_mac_t mac = {0x00, 0x10, 0x20, 0x30, 0x40, 0x50};
    std::memcpy(a.mac, mac, 6);
    a.vid = 1;
    a.port = 3;
    ASSERT_EQ(dxp_l2_addr_add(0, &a), 0);
    dxp_l2_addr got{};
    ASSERT_EQ(dxp_l2_addr_get(0, mac, 1, &got), 0);
    ASSERT_EQ(dxp_auth_mode_set(0, 3, 0x2), 0);
    EXPECT_EQ(dxp_l2_addr_get(0, mac, 1, &got), DXP_E_NOT_FOUND);
}

TEST_P(tarn_auth, AuthorisedMacListKeepsChipAndListTogether) {
    const dxp_mac_t eapol = {0x01, 0x80, 0xc2, 0x00, 0x00, 0x03}, zero = {};
    dxp_mac_t mac = {0x00, 0x11, 0x22, 0x33, 0x44, 0x00};
    EXPECT_EQ(dxp_auth_mac_add(0, 1, eapol), DXP_E_PARAM);
    EXPECT_EQ(dxp_auth_mac_add(0, 1, zero), DXP_E_PARAM);
    if (GetParam() != sim::ChipKind::DXP7102A1) {
        EXPECT_EQ(dxp_auth_mac_add(0, 1, mac), DXP_E_UNAVAIL);
        return;
    }
    EXPECT_EQ(dxp_auth_mac_delete_all(0, 1), DXP_E_EMPTY);
    EXPECT_EQ(dxp_auth_mac_delete(0, 1, mac), DXP_E_NOT_FOUND);
    ASSERT_EQ(dxp_auth_mac_add(0, 1, mac), 0);
    EXPECT_EQ(dxp_auth_mac_add(0, 1, mac), DXP_E_EXISTS);
    // A refused duplicate leaves no second copy in the chip.
    ASSERT_EQ(dxp_auth_mac_delete(0, 1, mac), 0);
    EXPECT_EQ(DRV_SERVICES(0)->mac_set(0, tarn_test_port(1), 9, mac, 0), DXP_E_NOT_FOUND);
    ASSERT_EQ(dxp_auth_mac_add(0, 1, mac), 0);
    for (int i = 1; i < 24; i++) {
        mac[5] = static_cast<uint8_t>(i);
        ASSERT_EQ(dxp_auth_mac_add(0, 1, mac), 0) << i;
    }
    mac[5] = 99;
    EXPECT_EQ(dxp_auth_mac_add(0, 1, mac), DXP_E_FULL);
    mac[5] = 5;
    EXPECT_EQ(dxp_auth_mac_delete(0, 1, mac), 0);
    EXPECT_EQ(dxp_auth_mac_add(0, 1, mac), 0);
    EXPECT_EQ(dxp_auth_mac_delete_all(0, 1), 0);
    EXPECT_EQ(dxp_auth_mac_delete_all(0, 1), DXP_E_EMPTY);
}

INSTANTIATE_TEST_SUITE_P(chips, tarn_auth,
                         ::testing::Values(sim::ChipKind::DXP7106, sim::ChipKind::DXP7102A1),
                         port_test::chip_name);

}  // namespace
