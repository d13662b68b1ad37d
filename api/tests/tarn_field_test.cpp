// The family's field-processor core over the chip model's CFP: module control,
// groups with their slices and user-defined fields, and entries kept in
// priority order in the TCAM.
#include <vector>

#include "chipdata/ids.h"
#include "drv_cfp.h"
#include "sal_config.h"
#include "soc_property.h"
#include "tarn_field_fixture.h"

namespace {

using tarn_test::qset_of;

const dxp_field_qset_t kL2 = qset_of({dxpFieldQualifySrcMac, dxpFieldQualifyDstMac,
                                      dxpFieldQualifyEtherType, dxpFieldQualifyOuterVlan});
const dxp_field_qset_t kL3 = qset_of({dxpFieldQualifySrcIp, dxpFieldQualifyDstIp,
                                      dxpFieldQualifyIpProtocol, dxpFieldQualifyL4DstPort});

class tarn_field : public tarn_test::FieldUnitTest {
  protected:
    // Whether CFP slice id cfp is on in the port's slice-enable bitmap.
    static bool sliceOn(int cfp, int port = 0) {
        uint32_t map = 0;
        EXPECT_EQ(drv_cfp_control_get(0, DRV_CFP_SLICE_SELECT, port, &map), 0);
        return (map >> cfp) & 1u;
    }
    static bool rowValid(int row) {
        drv_cfp_entry_t e{};
        EXPECT_EQ(drv_cfp_entry_read(0, row, DRV_CFP_RAM_TCAM, &e), 0);
        uint32_t v = 0;
        EXPECT_EQ(drv_cfp_field_get(0, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_VALID, &e, &v), 0);
        return v != 0;
    }
    static uint32_t stat(int row) {
        uint32_t v = 0;
        EXPECT_EQ(drv_cfp_stat_get(0, DRV_CFP_STAT_IB, row, &v), 0);
        return v;
    }
    static std::vector<uint32_t> stats(int rows) {
        std::vector<uint32_t> out;
        for (int row = 0; row < rows; row++)
            out.push_back(stat(row));
        return out;
    }
    static int prio(int entry) {
        int p = 99;
        EXPECT_EQ(dxp_field_entry_prio_get(0, entry, &p), 0);
        return p;
    }
    static int groupFree() {
        dxp_field_status_t s{};
        EXPECT_EQ(dxp_field_status_get(0, &s), 0);
        return s.group_free;
    }
};

TEST_P(tarn_field, ControlInitDetachAndChecks) {
    bringUp();
    EXPECT_TRUE(static_cast<uint32_t>(dxp_init_modules_get(0)) & DXP_MODULE_FIELD);
    int v = 0;
    EXPECT_EQ(dxp_field_control_get(0, 0, &v), 0);
    EXPECT_EQ(v, 3);
    EXPECT_EQ(dxp_field_control_set(0, 0, 7), 0);
    EXPECT_EQ(dxp_field_control_get(0, 0, &v), 0);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(dxp_field_control_get(0, 1, &v), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_field_control_set(0, 1, 0), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_tarn_field_control_get(9, 0, nullptr), DXP_E_PARAM);
    EXPECT_EQ(dxp_tarn_field_control_get(9, 0, &v), DXP_E_UNIT);
    dxp_field_status_t s{};
    EXPECT_EQ(dxp_field_status_get(0, nullptr), DXP_E_PARAM);
    ASSERT_EQ(dxp_field_status_get(0, &s), 0);
    EXPECT_EQ(s.group_total, 16);
    EXPECT_EQ(s.group_free, 16);
    EXPECT_EQ(s.flags, 0x2);
    uint32_t on = 0;
    EXPECT_EQ(drv_cfp_control_get(0, DRV_CFP_ENABLE, 3, &on), 0);
    EXPECT_EQ(on, 1u);
    // A port's share of the field processor, as a port control: off on one
    // port leaves the others on; the CPU port has none.
    EXPECT_EQ(dxp_port_control_set(0, 3, dxpPortControlFieldProcessor, 0), 0);
    EXPECT_EQ(dxp_port_control_get(0, 3, dxpPortControlFieldProcessor, &v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(dxp_port_control_get(0, 2, dxpPortControlFieldProcessor, &v), 0);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(dxp_port_control_set(0, 3, dxpPortControlFieldProcessor, 1), 0);
    EXPECT_EQ(drv_cfp_control_get(0, DRV_CFP_ENABLE, 3, &on), 0);
    EXPECT_EQ(on, 1u);
    EXPECT_EQ(dxp_port_control_set(0, SOC_CONTROL(0)->cmic_port, dxpPortControlFieldProcessor, 0),
              DXP_E_PORT);
    EXPECT_EQ(dxp_port_control_set(0, 3, dxpPortControlBridge, 1), DXP_E_UNAVAIL);

    // Init again starts from nothing.
    int group = 0, entry = 0;
    ASSERT_EQ(dxp_field_group_create(0, kL2, -1, &group), 0);
    ASSERT_EQ(dxp_field_entry_create(0, group, &entry), 0);
    ASSERT_EQ(dxp_field_init(0), 0);
    dxp_field_qset_t q{};
    EXPECT_EQ(dxp_field_group_get(0, group, &q), DXP_E_NOT_FOUND);
    EXPECT_EQ(groupFree(), 16);
    EXPECT_EQ(dxp_field_control_get(0, 0, &v), 0);
    EXPECT_EQ(v, 3);

    ASSERT_EQ(dxp_field_detach(0), 0);
    EXPECT_EQ(drv_cfp_control_get(0, DRV_CFP_ENABLE, 3, &on), 0);
    EXPECT_EQ(on, 0u);
    EXPECT_EQ(dxp_field_status_get(0, &s), DXP_E_INIT);
    EXPECT_EQ(dxp_field_entry_create(0, 1, &entry), DXP_E_INIT);
    EXPECT_EQ(dxp_field_detach(0), DXP_E_INIT);
}

TEST_P(tarn_field, GroupsChooseShareAndGiveBackSlices) {
    bringUp();
    int l2 = 0, l3 = 0, shared = 0;
    ASSERT_EQ(dxp_field_group_create(0, kL2, -1, &l2), 0);
    ASSERT_EQ(dxp_field_group_create(0, kL3, -1, &l3), 0);
    EXPECT_EQ(l2, 1);
    EXPECT_EQ(l3, 2);
    ASSERT_EQ(dxp_field_group_enable_set(0, l3, 0), 0);
    EXPECT_FALSE(sliceOn(2, 0));
    EXPECT_FALSE(sliceOn(2, 25));
    ASSERT_EQ(dxp_field_group_enable_set(0, l3, 1), 0);
    EXPECT_TRUE(sliceOn(0, 25));
    EXPECT_TRUE(sliceOn(2, 25));
    int on = 0;
    EXPECT_EQ(dxp_field_group_enable_get(0, l3, &on), 0);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(groupFree(), 14);

    // A qset that fits an existing group's CFP slice joins that group.
    const dxp_field_qset_t mac = qset_of({dxpFieldQualifySrcMac, dxpFieldQualifyStageIngress});
    ASSERT_EQ(dxp_field_group_create(0, mac, -1, &shared), 0);
    EXPECT_EQ(shared, l2);
    EXPECT_EQ(groupFree(), 14);
    dxp_field_qset_t q{};
    ASSERT_EQ(dxp_field_group_get(0, l2, &q), 0);
    EXPECT_TRUE(dxp_field_qset_test(q, dxpFieldQualifyStageIngress));

    // Refusals.
    EXPECT_EQ(dxp_field_group_create(0, qset_of({dxpFieldQualifySnap}), -1, &shared),
              DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_field_group_create_id(0, kL3, 16, 9), DXP_E_PARAM);
    EXPECT_EQ(dxp_field_group_create_id(0, kL3, -1, l2), DXP_E_EXISTS);
    EXPECT_EQ(dxp_field_group_create_mode_id(0, kL3, -1, 1, 9), DXP_E_PARAM);
    // An explicit slice that another group owns is not taken over.
    EXPECT_EQ(dxp_field_group_create_id(0, kL3, 0, 9), DXP_E_EXISTS);
    EXPECT_EQ(dxp_field_group_destroy(0, 9), DXP_E_NOT_FOUND);
    for (int id = 3; id <= 16; id++)
        ASSERT_EQ(dxp_field_group_create_id(0, kL3, -1, id), 0) << id;
    EXPECT_EQ(dxp_field_group_create_id(0, kL3, -1, 17), DXP_E_RESOURCE);
    for (int id = 3; id <= 16; id++)
        ASSERT_EQ(dxp_field_group_destroy(0, id), 0) << id;
    EXPECT_TRUE(sliceOn(2));  // group 2 still matches on it

    int mode = -1;
    EXPECT_EQ(dxp_field_group_create_mode_id(0, kL3, 5, 3, 20), 0);
    EXPECT_EQ(dxp_field_group_mode_get(0, 20, &mode), 0);
    EXPECT_EQ(mode, 3);
    EXPECT_EQ(dxp_field_group_mode_get(0, 20, nullptr), DXP_E_PARAM);
    EXPECT_EQ(dxp_field_group_destroy(0, 20), 0);

    // A group holding an entry stays.
    int entry = 0;
    ASSERT_EQ(dxp_field_entry_create(0, l3, &entry), 0);
    EXPECT_EQ(dxp_field_group_destroy(0, l3), DXP_E_BUSY);
    // Set on a group with entries widens within its CFP slice only.
    EXPECT_EQ(dxp_field_group_set(0, l3,
                                  qset_of({dxpFieldQualifyL4SrcPort, dxpFieldQualifyStageIngress})),
              0);
    ASSERT_EQ(dxp_field_group_get(0, l3, &q), 0);
    EXPECT_TRUE(dxp_field_qset_test(q, dxpFieldQualifyL4SrcPort));
    EXPECT_TRUE(dxp_field_qset_test(q, dxpFieldQualifySrcIp));
    EXPECT_EQ(dxp_field_group_set(0, l3, qset_of({dxpFieldQualifySrcMac})), DXP_E_RESOURCE);
    EXPECT_EQ(dxp_field_group_set(0, l3, dxp_field_qset_t{}), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_field_group_set(0, 30, kL2), DXP_E_NOT_FOUND);
    ASSERT_EQ(dxp_field_entry_destroy(0, entry), 0);
    ASSERT_EQ(dxp_field_group_destroy(0, l3), 0);
    EXPECT_EQ(groupFree(), 15);
    EXPECT_FALSE(sliceOn(2));
    EXPECT_TRUE(sliceOn(0));

    // Set on an empty group builds it again on its new CFP slice.
    ASSERT_EQ(dxp_field_group_set(0, l2, kL3), 0);
    EXPECT_FALSE(sliceOn(0));
    EXPECT_TRUE(sliceOn(2));
    ASSERT_EQ(dxp_field_group_get(0, l2, &q), 0);
    EXPECT_FALSE(dxp_field_qset_test(q, dxpFieldQualifySrcMac));
}

TEST_P(tarn_field, UserDefinedFields) {
    bringUp();
    dxp_field_udf_spec_t udf_spec{}, other{}, read{};
    uint32_t offset = 0;
    ASSERT_EQ(dxp_field_udf_spec_set(0, &udf_spec, 0, 12), 0);
    ASSERT_EQ(dxp_field_udf_spec_get(0, &udf_spec, nullptr, &offset), 0);
    EXPECT_EQ(offset, 12u);
    int udf = 0, again = 0;
    ASSERT_EQ(dxp_field_udf_create(0, &udf_spec, &udf), 0);
    ASSERT_EQ(dxp_field_udf_create(0, &udf_spec, &again), 0);
    EXPECT_EQ(udf, 1);
    EXPECT_EQ(again, 1);
    ASSERT_EQ(dxp_field_udf_get(0, &read, udf), 0);
    EXPECT_EQ(read.offset[0], 12u);
    dxp_field_udf_spec_set(0, &other, 0, 20);
    EXPECT_EQ(dxp_field_udf_create_id(0, &other, 1), DXP_E_EXISTS);
    EXPECT_EQ(dxp_field_udf_create(0, &other, &again), 0);
    EXPECT_EQ(again, 2);
    EXPECT_EQ(dxp_field_udf_create_id(0, &other, 0), DXP_E_PARAM);
    EXPECT_EQ(dxp_field_udf_create_id(0, &other, 11), DXP_E_PARAM);
    EXPECT_EQ(dxp_field_udf_get(0, &read, 3), DXP_E_PARAM);  // not made
    // The DXP7101 has the offsets of UDFs 6-10 on ports 0-23 only.
    ASSERT_EQ(dxp_field_udf_create_id(0, &other, 9),
              GetParam() == sim::ChipKind::DXP7101 ? DXP_E_PORT : DXP_E_NONE);
    EXPECT_EQ(dxp_field_udf_destroy(0, 2), DXP_E_UNAVAIL);

    // A qset names up to eight UDFs, each by an id up to eight.
    dxp_field_qset_t q = kL2;
    ASSERT_EQ(dxp_field_qset_add_udf(0, &q, 1), 0);
    ASSERT_EQ(dxp_field_qset_add_udf(0, &q, 1), 0);
    EXPECT_EQ(q.w[3], 1u);
    EXPECT_EQ(q.w[4], 0u);
    EXPECT_TRUE(dxp_field_qset_test(q, dxpFieldQualifyUserDefined0));
    EXPECT_EQ(dxp_field_qset_add_udf(0, &q, 9), DXP_E_PARAM);
    EXPECT_EQ(dxp_field_qset_add_udf(0, &q, 3), DXP_E_PARAM);  // not made
    dxp_field_qset_t full{};
    for (int i = 0; i < 8; i++)
        full.w[3 + i] = 2;
    EXPECT_EQ(dxp_field_qset_add_udf(0, &full, 1), DXP_E_RESOURCE);
    EXPECT_EQ(full.w[10], 2u);

    // A group that takes UDF 1 in by sharing keeps it in use until it goes.
    int group = 0, shared = 0;
    ASSERT_EQ(dxp_field_group_create(0, kL2, -1, &group), 0);
    dxp_field_qset_t udf_only{};
    ASSERT_EQ(dxp_field_qset_add_udf(0, &udf_only, 1), 0);
    ASSERT_EQ(dxp_field_group_create(0, udf_only, -1, &shared), 0);
    EXPECT_EQ(shared, group);
    EXPECT_EQ(dxp_field_udf_destroy(0, 1), DXP_E_EXISTS);
    ASSERT_EQ(dxp_field_group_destroy(0, group), 0);
    EXPECT_EQ(dxp_field_udf_destroy(0, 1), DXP_E_UNAVAIL);
    ASSERT_EQ(dxp_field_group_create_id(0, q, -1, 4), 0);
    EXPECT_EQ(dxp_field_udf_destroy(0, 1), DXP_E_EXISTS);
}

TEST_P(tarn_field, EntriesKeepPriorityOrderAndMoveWithTheirStatistics) {
    bringUp();
    int group = 0;
    ASSERT_EQ(dxp_field_group_create(0, kL2, -1, &group), 0);
    int e[3] = {};
    for (int &id : e) {
        ASSERT_EQ(dxp_field_entry_create(0, group, &id), 0);
        ASSERT_EQ(dxp_field_entry_install(0, id), 0);
    }
    EXPECT_EQ(e[0], 1);
    EXPECT_EQ(e[2], 3);
    EXPECT_EQ(prio(e[0]), -2);
    // Creation order gives rows 0, 1, 2: removing the second clears row 1.
    ASSERT_EQ(dxp_field_entry_remove(0, e[1]), 0);
    EXPECT_TRUE(rowValid(0));
    EXPECT_FALSE(rowValid(1));
    EXPECT_TRUE(rowValid(2));
    EXPECT_FALSE(rowValid(3));
    ASSERT_EQ(dxp_field_entry_reinstall(0, e[1]), 0);
    EXPECT_TRUE(rowValid(1));
    for (int row = 0; row < 3; row++)
        ASSERT_EQ(drv_cfp_stat_set(0, DRV_CFP_STAT_IB, row, 100 * (row + 1)), 0);

    // A higher priority moves the newest entry to the front.
    ASSERT_EQ(dxp_field_entry_prio_set(0, e[2], 10), 0);
    EXPECT_EQ(stats(4), (std::vector<uint32_t>{300, 100, 200, 0}));
    EXPECT_EQ(dxp_field_entry_prio_set(0, e[2], 10), 0);
    ASSERT_EQ(dxp_field_entry_prio_set(0, e[1], -1), 0);
    EXPECT_EQ(stats(4), (std::vector<uint32_t>{200, 300, 100, 0}));
    // The lowest priority goes behind the others into the empty row there.
    ASSERT_EQ(dxp_field_entry_prio_set(0, e[1], -3), 0);
    EXPECT_EQ(stats(4), (std::vector<uint32_t>{0, 300, 100, 200}));
    dxp_field_group_status_t gs{};
    ASSERT_EQ(dxp_field_group_status_get(0, group, &gs), 0);
    EXPECT_EQ(gs.prio_max, 10);
    EXPECT_EQ(gs.prio_min, 10);
    EXPECT_EQ(gs.entries_free, gs.entries_total - 3);
    EXPECT_FALSE(rowValid(0));
    EXPECT_TRUE(rowValid(1) && rowValid(2) && rowValid(3));

    // Destroying an entry moves no other row and clears its statistics.
    ASSERT_EQ(dxp_field_entry_destroy(0, e[2]), 0);
    EXPECT_EQ(stats(4), (std::vector<uint32_t>{0, 0, 100, 200}));
    EXPECT_FALSE(rowValid(1));

    // A copy takes the source's priority and lands behind it.
    int copy = 0;
    ASSERT_EQ(dxp_field_entry_copy(0, e[0], &copy), 0);
    EXPECT_EQ(copy, 3);  // the first free id after the source
    EXPECT_EQ(prio(copy), -2);
    ASSERT_EQ(dxp_field_entry_install(0, copy), 0);
    EXPECT_EQ(stats(5), (std::vector<uint32_t>{0, 0, 100, 0, 200}));

    EXPECT_EQ(dxp_field_entry_create_id(0, group, e[0]), DXP_E_EXISTS);
    EXPECT_EQ(dxp_field_entry_create_id(0, 40, 50), DXP_E_NOT_FOUND);
    EXPECT_EQ(dxp_field_entry_prio_set(0, 50, 1), DXP_E_NOT_FOUND);
    EXPECT_EQ(dxp_field_entry_install(0, 50), DXP_E_NOT_FOUND);
    EXPECT_EQ(dxp_field_entry_prio_get(0, e[0], nullptr), DXP_E_PARAM);
    // No id is left after the last one.
    ASSERT_EQ(dxp_field_entry_create_id(0, group, 0x1000000), 0);
    EXPECT_EQ(dxp_field_entry_copy(0, 0x1000000, &copy), DXP_E_RESOURCE);
    EXPECT_EQ(dxp_field_entry_destroy_all(0), 0);
    ASSERT_EQ(dxp_field_group_status_get(0, group, &gs), 0);
    EXPECT_EQ(gs.entries_free, gs.entries_total);
    EXPECT_FALSE(rowValid(0));
}

// Rules made one after another ahead of a long run of rows keep the
// priority order, and every moved row keeps its statistics.
TEST_P(tarn_field, RulesMadeAheadOfALongRunKeepOrderAndStatistics) {
    bringUp(32);
    int group = 0;
    ASSERT_EQ(dxp_field_group_create(0, kL2, -1, &group), 0);
    for (int i = 0; i < 12; i++) {
        int id = 0;
        ASSERT_EQ(dxp_field_entry_create(0, group, &id), 0);
        ASSERT_EQ(dxp_field_entry_install(0, id), 0);
        ASSERT_EQ(drv_cfp_stat_set(0, DRV_CFP_STAT_IB, i, i + 1), 0);
    }
    for (int i = 0; i < 3; i++) {
        int id = 0;
        ASSERT_EQ(dxp_field_entry_create(0, group, &id), 0);
        ASSERT_EQ(dxp_field_entry_prio_set(0, id, 10), 0);
        ASSERT_EQ(dxp_field_entry_install(0, id), 0);
    }
    EXPECT_TRUE(rowValid(0) && rowValid(1) && rowValid(2));
    std::vector<uint32_t> moved;
    int valid = 0;
    for (int row = 0; row < 32; row++) {
        valid += rowValid(row);
        if (uint32_t v = stat(row); v != 0) moved.push_back(v);
    }
    EXPECT_EQ(valid, 15);
    EXPECT_EQ(moved, (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST_P(tarn_field, FullTableNeverOverwritesARow) {
    bringUp(4);
    int group = 0;
    ASSERT_EQ(dxp_field_group_create(0, kL3, -1, &group), 0);
    int e[4] = {};
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(dxp_field_entry_create(0, group, &e[i]), 0);
    ASSERT_EQ(dxp_field_entry_prio_set(0, e[2], -3), 0);
    // The last row is the only free one: the new entry cannot pass the
    // lowest-priority entry and stays behind it.
    ASSERT_EQ(dxp_field_entry_create(0, group, &e[3]), 0);
    EXPECT_EQ(prio(e[2]), -3);
    EXPECT_EQ(prio(e[3]), -3);
    for (int id : e)
        ASSERT_EQ(dxp_field_entry_install(0, id), 0) << id;
    for (int row = 0; row < 4; row++)
        EXPECT_TRUE(rowValid(row)) << row;
    int more = 0;
    EXPECT_EQ(dxp_field_entry_create(0, group, &more), DXP_E_RESOURCE);
    EXPECT_EQ(dxp_field_entry_prio_set(0, e[0], 5), DXP_E_CONFIG);
    ASSERT_EQ(dxp_field_entry_destroy(0, e[0]), 0);
    ASSERT_EQ(dxp_field_entry_prio_set(0, e[3], 5), 0);
    EXPECT_EQ(prio(e[3]), 5);
}

TEST_P(tarn_field, ACreateGathersTheEmptyRowsWhenItNeedsTheLastOne) {
    bringUp(4);
    int group = 0;
    ASSERT_EQ(dxp_field_group_create(0, kL2, -1, &group), 0);
    int e[5] = {};
    for (int i = 0; i < 4; i++) {
        ASSERT_EQ(dxp_field_entry_create(0, group, &e[i]), 0);
        ASSERT_EQ(dxp_field_entry_install(0, e[i]), 0);
    }
    ASSERT_EQ(dxp_field_entry_destroy(0, e[0]), 0);
    ASSERT_EQ(dxp_field_entry_destroy(0, e[1]), 0);
    EXPECT_FALSE(rowValid(0) || rowValid(1));
    EXPECT_TRUE(rowValid(2) && rowValid(3));
    ASSERT_EQ(drv_cfp_stat_set(0, DRV_CFP_STAT_IB, 2, 20), 0);
    ASSERT_EQ(drv_cfp_stat_set(0, DRV_CFP_STAT_IB, 3, 30), 0);
    // The last row is taken: the used rows move up, in order, with their
    // statistics, and the new entry goes behind them.
    ASSERT_EQ(dxp_field_entry_create(0, group, &e[4]), 0);
    ASSERT_EQ(dxp_field_entry_install(0, e[4]), 0);
    EXPECT_EQ(stats(4), (std::vector<uint32_t>{20, 30, 0, 0}));
    EXPECT_TRUE(rowValid(0) && rowValid(1) && rowValid(2));
    EXPECT_FALSE(rowValid(3));
}

INSTANTIATE_TEST_SUITE_P(chips, tarn_field,
                         ::testing::Values(sim::ChipKind::DXP7101, sim::ChipKind::DXP7106),
                         port_test::chip_name);

// A unit above the module's 16-unit table is refused, not stored past it.
class tarn_field_units : public soc_test::UnitTest {};

TEST_F(tarn_field_units, UnitsAboveTheTableAreRefused) {
    start(sim::ChipKind::DXP7101);
    for (int unit = 1; unit <= 16; unit++) {
        soc_cm_dev_vectors_t v = borrowed_vectors();
        ASSERT_EQ(soc_cm_device_create(DXP7101_DEVICE_ID, 0, nullptr), unit);
        ASSERT_EQ(soc_cm_device_init(unit, &v), 0);
    }
    ASSERT_TRUE(soc_feature(16, soc_feature_field));
    EXPECT_EQ(dxp_tarn_field_init(16), DXP_E_UNIT);
    EXPECT_EQ(dxp_tarn_field_detach(16), DXP_E_UNIT);
}

}  // namespace
