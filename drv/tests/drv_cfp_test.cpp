// Field-processor services over the chip model's field processor.
#include <cstring>

#include "../../soc/tests/unit_fixture.h"
#include "drv_cfp.h"
#include "soc_error.h"

namespace {

class drv_cfp : public soc_test::UnitTest {
  protected:
    const drv_if_t *svc() { return DRV_SERVICES(0); }
    sim::CfpEngine &engine() { return *board->chip().cfp(); }
    uint32_t field(uint32_t ram, uint32_t id, drv_cfp_entry_t &e) {
        uint32_t v[2] = {0xdead, 0xdead};
        EXPECT_EQ(svc()->cfp_field_get(0, ram, id, &e, v), 0);
        return v[0];
    }
    void setField(uint32_t ram, uint32_t id, drv_cfp_entry_t &e, uint32_t value) {
        ASSERT_EQ(svc()->cfp_field_set(0, ram, id, &e, &value), 0);
    }
    // A valid slice-0 rule on a source port.
    drv_cfp_entry_t rule(uint32_t port, uint32_t tag) {
        drv_cfp_entry_t e{};
        setField(DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_IN_PORT, e, port);
        setField(DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_VALID, e, 3);
        setField(DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_ETYPE, e, tag);
        setField(DRV_CFP_RAM_TCAM_MASK, DRV_CFP_FIELD_ETYPE, e, 0xffff);
        e.act_data = tag;
        e.meter_data[1] = tag << 8;
        return e;
    }
};

TEST_F(drv_cfp, FieldsFollowTheSliceAcrossWordBoundaries) {
    start(sim::ChipKind::DXP7101);
    drv_cfp_entry_t e{};
    uint32_t mac[2] = {0x33445566, 0x1122};
    ASSERT_EQ(svc()->cfp_field_set(0, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_MAC_DA, &e, mac), 0);
    // Bits 169..122: words 3 to 5.
    EXPECT_EQ(e.tcam_data[3], 0x33445566u << 26);
    EXPECT_EQ(e.tcam_data[4], 0x33445566u >> 6 | 0x1122u << 26);
    EXPECT_EQ(e.tcam_data[5], 0x1122u >> 6);
    uint32_t back[2] = {};
    ASSERT_EQ(svc()->cfp_field_get(0, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_MAC_DA, &e, back), 0);
    EXPECT_EQ(back[0], mac[0]);
    EXPECT_EQ(back[1], mac[1]);

    setField(DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_UDF0, e, 0x1ff);
    EXPECT_EQ(field(DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_UDF0, e), 0xffu);

    // The mask takes the layout of the data's slice.
    drv_cfp_entry_t s{};
    setField(DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_SLICE_ID, s, 1);
    setField(DRV_CFP_RAM_TCAM_MASK, DRV_CFP_FIELD_IP_SA, s, 0xffffffff);
    EXPECT_EQ(s.tcam_mask[1], 0xfffffffcu);
    EXPECT_EQ(s.tcam_mask[2], 0x3u);
    setField(DRV_CFP_RAM_TCAM_MASK, DRV_CFP_FIELD_IN_PORT, s, 0x3f);
    EXPECT_EQ(s.tcam_mask[5] >> 16 & 0x3f, 0x3fu);
    uint32_t v[2] = {1, 1};
    EXPECT_EQ(svc()->cfp_field_get(0, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_MAC_SA, &s, v), 0);
    setField(DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_SLICE_ID, s, 2);
    EXPECT_EQ(svc()->cfp_field_get(0, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_MAC_SA, &s, v), SOC_E_PARAM);
    setField(DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_SLICE_ID, s, 7);
    EXPECT_EQ(field(DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_SLICE_ID, s), 7u);
    EXPECT_EQ(svc()->cfp_field_get(0, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_VALID, &s, v), -1);

    const drv_cfp_entry_t before = e;
    EXPECT_EQ(svc()->cfp_field_set(0, DRV_CFP_RAM_TCAM, 13, &e, v), SOC_E_BADID);
    EXPECT_EQ(svc()->cfp_field_set(0, DRV_CFP_RAM_ACT, 158, &e, v), SOC_E_BADID);
    EXPECT_EQ(svc()->cfp_field_set(0, 0, DRV_CFP_FIELD_VALID, &e, v), SOC_E_PARAM);
    EXPECT_EQ(svc()->cfp_field_set(0, DRV_CFP_RAM_STAT_IB, DRV_CFP_FIELD_VALID, &e, v),
              SOC_E_PARAM);
    EXPECT_EQ(std::memcmp(&before, &e, sizeof e), 0);
}

TEST_F(drv_cfp, ShiftedChipsNumberPortsTwentyFourHigher) {
    start(sim::ChipKind::DXP7106);
    drv_cfp_entry_t e{};
    uint32_t port = 3;
    ASSERT_EQ(svc()->cfp_field_set(0, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_IN_PORT, &e, &port), 0);
    EXPECT_EQ(port, 3u);
    EXPECT_EQ(e.tcam_data[5] >> 16 & 0x3f, 27u);
    EXPECT_EQ(field(DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_IN_PORT, e), 3u);

    ASSERT_EQ(svc()->cfp_action_set(0, DRV_CFP_ACT_IB_REDIRECT_ADD, &e, 5), 0);
    EXPECT_EQ(field(DRV_CFP_RAM_ACT, DRV_CFP_FIELD_NEW_DEST_IB, e), 29u);
    uint32_t action = DRV_CFP_ACT_IB_REDIRECT, param = 0;
    ASSERT_EQ(svc()->cfp_action_get(0, &action, &e, &param), 0);
    EXPECT_EQ(action, DRV_CFP_ACT_IB_REDIRECT_ADD);
    EXPECT_EQ(param, 5u);
    EXPECT_EQ(svc()->cfp_action_set(0, DRV_CFP_ACT_IB_REDIRECT, &e, 40), SOC_E_PARAM);

    uint32_t index = 0;
    ASSERT_EQ(svc()->cfp_entry_search(0, DRV_CFP_SRCH_START, &index, &e), 0);
    // The register layer adds the chip's 24 to the option: 39 reaches the
    // chip as its every-port code 63.
    EXPECT_EQ(board->chip().peek("CFP_ACC") >> 25 & 0x3f, 63u);
    ASSERT_EQ(svc()->cfp_entry_search(0, DRV_CFP_SRCH_START | DRV_CFP_SRCH_SRC_PORT, &index, &e),
              0);
    EXPECT_EQ(board->chip().peek("CFP_ACC") >> 25 & 0x3f, 27u);
}

TEST_F(drv_cfp, RowsMoveThroughTheAccessEngineAndSearchHandsOutHits) {
    start(sim::ChipKind::DXP7101);
    drv_cfp_entry_t a = rule(4, 0x0800), b = rule(7, 0x0806);
    ASSERT_EQ(svc()->cfp_entry_write(0, 5, DRV_CFP_RAM_ALL, &a), 0);
    ASSERT_EQ(svc()->cfp_entry_write(0, 9, DRV_CFP_RAM_ALL, &b), 0);
    EXPECT_EQ(b.id, 9u);
    EXPECT_EQ(engine().row(9).action, 0x0806u);

    drv_cfp_entry_t r{};
    ASSERT_EQ(svc()->cfp_entry_read(0, 5, DRV_CFP_RAM_ALL, &r), 0);
    EXPECT_EQ(r.id, 5u);
    EXPECT_EQ(std::memcmp(r.tcam_data, a.tcam_data, sizeof a.tcam_data), 0);
    EXPECT_EQ(std::memcmp(r.tcam_mask, a.tcam_mask, sizeof a.tcam_mask), 0);
    EXPECT_EQ(r.meter_data[1], a.meter_data[1]);

    uint32_t index = 0;
    drv_cfp_entry_t hit{};
    ASSERT_EQ(svc()->cfp_entry_search(0, DRV_CFP_SRCH_START, &index, &hit), 0);
    ASSERT_EQ(svc()->cfp_entry_search(0, DRV_CFP_SRCH_DONE, &index, &hit), 0);
    EXPECT_EQ(index, 1u);
    for (uint32_t want : {5u, 9u}) {
        ASSERT_EQ(svc()->cfp_entry_search(0, DRV_CFP_SRCH_GET, &index, &hit), 0);
        EXPECT_EQ(index, want);
        EXPECT_EQ(hit.id, want);
        EXPECT_EQ(hit.act_data, want == 5 ? 0x0800u : 0x0806u);
        EXPECT_EQ(field(DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_ETYPE, hit), hit.act_data);
    }
    EXPECT_EQ(svc()->cfp_entry_search(0, DRV_CFP_SRCH_GET, &index, &hit), SOC_E_EMPTY);

    // Only the rows of the entry's source port.
    ASSERT_EQ(svc()->cfp_entry_search(0, DRV_CFP_SRCH_START | DRV_CFP_SRCH_SRC_PORT, &index, &b),
              0);
    ASSERT_EQ(svc()->cfp_entry_search(0, DRV_CFP_SRCH_GET, &index, &hit), 0);
    EXPECT_EQ(index, 9u);
    EXPECT_EQ(svc()->cfp_entry_search(0, DRV_CFP_SRCH_GET, &index, &hit), SOC_E_EMPTY);

    // Refused requests never reach the chip.
    const int ops = engine().operations();
    EXPECT_EQ(svc()->cfp_entry_read(0, 512, DRV_CFP_RAM_TCAM, &r), SOC_E_PARAM);
    EXPECT_EQ(svc()->cfp_entry_write(0, 512, DRV_CFP_RAM_ALL, &r), SOC_E_PARAM);
    EXPECT_EQ(svc()->cfp_entry_read(0, 1, DRV_CFP_RAM_STAT_IB, &r), SOC_E_PARAM);
    EXPECT_EQ(_drv_cfp_write(0, DRV_CFP_RAM_STAT_IB, 1, &r), SOC_E_PARAM);
    EXPECT_EQ(_drv_cfp_write(0, 9, 1, &r), SOC_E_UNAVAIL);
    EXPECT_EQ(svc()->cfp_stat_get(0, DRV_CFP_STAT_IB, 512, &index), SOC_E_PARAM);
    EXPECT_EQ(svc()->cfp_stat_get(0, 3, 1, &index), SOC_E_PARAM);
    EXPECT_EQ(engine().operations(), ops);

    // A reset clears the TCAM rows only.
    ASSERT_EQ(svc()->cfp_control_set(0, DRV_CFP_TCAM_RESET, 0, 0), 0);
    EXPECT_EQ(engine().row(9).data[0], 0u);
    EXPECT_EQ(engine().row(9).action, 0x0806u);
}

TEST_F(drv_cfp, StuckEngineTimesOutAndReleasesTheLock) {
    start(sim::ChipKind::DXP7101);
    drv_cfp_entry_t e = rule(1, 0x88cc);
    engine().setNeverDone(true);
    EXPECT_EQ(svc()->cfp_entry_write(0, 3, DRV_CFP_RAM_TCAM, &e), SOC_E_TIMEOUT);
    uint32_t counter = 0;
    EXPECT_EQ(svc()->cfp_stat_get(0, DRV_CFP_STAT_ALL, 3, &counter), SOC_E_TIMEOUT);
    engine().setNeverDone(false);
    board->chip().poke("CFP_ACC", 0, 0);
    EXPECT_EQ(svc()->cfp_entry_write(0, 3, DRV_CFP_RAM_TCAM, &e), 0);
}

TEST_F(drv_cfp, CountersWrapWhenSummed) {
    start(sim::ChipKind::DXP7101);
    ASSERT_EQ(svc()->cfp_stat_set(0, DRV_CFP_STAT_ALL, 7, 0xffffffff), 0);
    ASSERT_EQ(svc()->cfp_stat_set(0, DRV_CFP_STAT_OB, 7, 2), 0);
    EXPECT_EQ(engine().row(7).in_band, 0xffffffffu);
    uint32_t counter = 0;
    ASSERT_EQ(svc()->cfp_stat_get(0, DRV_CFP_STAT_ALL, 7, &counter), 0);
    EXPECT_EQ(counter, 1u);
}

TEST_F(drv_cfp, MeterCodesAndActionGroups) {
    const uint32_t rates[][3] = {
        {64, 1, 64},           {1792, 28, 1792},      {1793, 28, 1792},       {2048, 29, 2048},
        {102400, 127, 102400}, {106496, 128, 106496}, {1048576, 243, 1048576}};
    for (const auto &r : rates) {
        EXPECT_EQ(_drv_cfp_meter_rate2chip(r[0]), r[1]) << r[0];
        EXPECT_EQ(_drv_cfp_meter_chip2rate(r[1]), r[2]) << r[1];
    }
    EXPECT_EQ(_drv_cfp_meter_burst2chip(131072), 0u);
    EXPECT_EQ(_drv_cfp_meter_burst2chip(100000), 1u);
    EXPECT_EQ(_drv_cfp_meter_chip2burst(1), 65536u);
    EXPECT_EQ(_drv_cfp_meter_burst2chip(64), 11u);

    start(sim::ChipKind::DXP7101);
    drv_cfp_entry_t e{};
    ASSERT_EQ(svc()->cfp_meter_set(0, &e, 2048, 100000), 0);
    const drv_cfp_entry_t before = e;
    EXPECT_EQ(svc()->cfp_meter_set(0, &e, 2000000, 0), SOC_E_PARAM);
    EXPECT_EQ(svc()->cfp_meter_set(0, &e, 0, 10), SOC_E_PARAM);
    EXPECT_EQ(std::memcmp(before.meter_data, e.meter_data, sizeof e.meter_data), 0);
    ASSERT_EQ(svc()->cfp_meter_set(0, &e, 0, 0), 0);
    uint32_t rate = 1, burst = 0;
    ASSERT_EQ(svc()->cfp_meter_get(0, &e, &rate, &burst), 0);
    EXPECT_EQ(rate, 0u);
    EXPECT_EQ(burst, 65536u);

    uint32_t action = 0, param = 0;
    ASSERT_EQ(svc()->cfp_action_set(0, DRV_CFP_ACT_IB_DEST_63, &e, 0), 0);
    ASSERT_EQ(svc()->cfp_action_set(0, DRV_CFP_ACT_OB_PRI, &e, 2), 0);
    ASSERT_EQ(svc()->cfp_action_set(0, DRV_CFP_ACT_OB_PRI_CANCEL, &e, 0), 0);
    action = DRV_CFP_ACT_IB_REDIRECT;
    ASSERT_EQ(svc()->cfp_action_get(0, &action, &e, &param), 0);
    EXPECT_EQ(action, DRV_CFP_ACT_IB_DEST_63);
    action = DRV_CFP_ACT_OB_PRI;
    ASSERT_EQ(svc()->cfp_action_get(0, &action, &e, &param), 0);
    EXPECT_EQ(action, DRV_CFP_ACT_OB_PRI_CANCEL);
    const drv_cfp_entry_t kept = e;
    EXPECT_EQ(svc()->cfp_action_set(0, DRV_CFP_ACT_IB_PRI, &e, 4), SOC_E_PARAM);
    EXPECT_EQ(svc()->cfp_action_set(0, DRV_CFP_ACT_OB_REDIRECT, &e, 64), SOC_E_PARAM);
    EXPECT_EQ(e.act_data, kept.act_data);
    for (uint32_t bad : {0u, 8u, 13u, 21u}) {
        action = bad;
        EXPECT_EQ(svc()->cfp_action_set(0, bad, &e, 0), SOC_E_PARAM);
        EXPECT_EQ(svc()->cfp_action_get(0, &action, &e, &param), SOC_E_PARAM);
    }
}

TEST_F(drv_cfp, QualifierSetsPickTheFirstFittingSlice) {
    start(sim::ChipKind::DXP7101);
    auto slice_of = [&](std::initializer_list<uint32_t> quals) {
        drv_cfp_entry_t e{};
        for (uint32_t q : quals)
            EXPECT_EQ(svc()->cfp_qset_bit_set(0, q, &e, 1), 0);
        int slice = -1;
        int rv = svc()->cfp_qset_to_slice(0, &e, &slice);
        return rv < 0 ? rv : slice;
    };
    EXPECT_EQ(slice_of({}), 0);
    EXPECT_EQ(slice_of({31}), 0);
    EXPECT_EQ(slice_of({32}), 2);
    EXPECT_EQ(slice_of({13, 8}), SOC_E_RESOURCE);
    EXPECT_EQ(slice_of({64}), SOC_E_RESOURCE);

    drv_cfp_entry_t e{};
    e.w[2] = 0xffffffff;
    ASSERT_EQ(svc()->cfp_slice_to_qset(0, 3, &e), 0);
    EXPECT_EQ(e.w[0], 0x7800113fu);
    EXPECT_EQ(e.w[1], 0xeu);
    EXPECT_EQ(e.w[2], 0u);
    EXPECT_EQ(svc()->cfp_slice_to_qset(0, 5, &e), SOC_E_PARAM);
    EXPECT_EQ(svc()->cfp_range_check(0, 1, 0, 1023), 0);
    EXPECT_EQ(svc()->cfp_range_check(0, 1, 0, 1000), SOC_E_UNAVAIL);
    EXPECT_EQ(svc()->cfp_range_check(0, 3, 0, 1023), SOC_E_PARAM);
}

TEST_F(drv_cfp, ControlsAndOffsetsChangeOnlyTheirField) {
    for (sim::ChipKind chip : {sim::ChipKind::DXP7101, sim::ChipKind::DXP7106}) {
        start(chip);
        const soc_control_t *s = unit0();
        ASSERT_EQ(svc()->cfp_init(0), 0);
        uint32_t v = 0;
        for (int port = 0; port <= s->all.max; port++) {
            ASSERT_EQ(svc()->cfp_control_get(0, DRV_CFP_ENABLE, port, &v), 0);
            EXPECT_EQ(v, port == s->cmic_port ? 0u : 1u) << port;
        }
        ASSERT_EQ(svc()->cfp_control_set(0, DRV_CFP_ENABLE, s->cmic_port, 0), 0);
        ASSERT_EQ(svc()->cfp_control_set(0, DRV_CFP_ENABLE, s->all.max, 0), 0);
        ASSERT_EQ(svc()->cfp_control_get(0, DRV_CFP_ENABLE, s->all.max - 1, &v), 0);
        EXPECT_EQ(v, 1u);

        ASSERT_EQ(svc()->cfp_control_set(0, DRV_CFP_TRUNK_HANDLE, 0, 5), 0);
        ASSERT_EQ(svc()->cfp_control_get(0, DRV_CFP_TRUNK_HANDLE, 0, &v), 0);
        EXPECT_EQ(v, 1u);
        ASSERT_EQ(svc()->cfp_control_set(0, DRV_CFP_LLC_ENCAP, 0, 0x030201), 0);
        ASSERT_EQ(svc()->cfp_control_get(0, DRV_CFP_LLC_ENCAP, 0, &v), 0);
        EXPECT_EQ(v, 0x030201u);
        EXPECT_EQ(svc()->cfp_control_set(0, DRV_CFP_ISP_VID, 0, 0x10000), SOC_E_PARAM);
        EXPECT_EQ(svc()->cfp_control_get(0, DRV_CFP_TCAM_RESET, 0, &v), SOC_E_UNAVAIL);
        EXPECT_EQ(svc()->cfp_control_set(0, 7, 0, 0), SOC_E_UNAVAIL);

        ASSERT_EQ(svc()->cfp_udf_set(0, 2, 3, 80), 0);
        ASSERT_EQ(svc()->cfp_udf_set(0, 2, 2, 7), 0);
        EXPECT_EQ(svc()->cfp_udf_set(0, 2, 3, 81), SOC_E_CONFIG);
        EXPECT_EQ(svc()->cfp_udf_set(0, 2, 10, 1), SOC_E_CONFIG);
        EXPECT_EQ(board->chip().peek("UDF_OFFSET3_P", 2), 0x5007u);
        ASSERT_EQ(svc()->cfp_udf_get(0, 2, 3, &v), 0);
        EXPECT_EQ(v, 80u);
    }
}

}  // namespace
