// Rules of the family's field processor over the chip model's CFP: what
// qualifiers, actions, counters and meters leave in a TCAM row, and the
// port ranges.
#include "drv_cfp.h"
#include "tarn_field_fixture.h"

namespace {

using tarn_test::qset_of;

class tarn_field_rules : public tarn_test::FieldUnitTest {
  protected:
    void SetUp() override {
        PortUnitTest::SetUp();
        bringUp();
    }
    // An entry of a new group on the given qualifiers.
    static int entryOn(const dxp_field_qset_t &q) {
        int group = 0, entry = 0;
        EXPECT_EQ(dxp_field_group_create(0, q, -1, &group), 0);
        EXPECT_EQ(dxp_field_entry_create(0, group, &entry), 0);
        return entry;
    }
    // The row as the chip holds it.
    static drv_cfp_entry_t row(int index) {
        drv_cfp_entry_t e{};
        EXPECT_EQ(drv_cfp_entry_read(0, index, DRV_CFP_RAM_ALL, &e), 0);
        return e;
    }
    static uint32_t field(drv_cfp_entry_t &e, uint32_t ram, uint32_t id, int word = 0) {
        uint32_t v[2] = {};
        EXPECT_EQ(drv_cfp_field_get(0, ram, id, &e, v), 0);
        return v[word];
    }
};

const dxp_field_qset_t kL2Rules = qset_of({dxpFieldQualifySrcMac, dxpFieldQualifyOuterVlan});
const dxp_field_qset_t kL4 = qset_of({dxpFieldQualifyDstIp, dxpFieldQualifyL4DstPort,
                                      dxpFieldQualifyTcpControl, dxpFieldQualifyRangeCheck});

TEST_P(tarn_field_rules, QualifiersWriteTheKeyAndItsCompanions) {
    dxp_field_udf_spec_t udf_spec{};
    int udf = 0;
    ASSERT_EQ(dxp_field_udf_spec_set(0, &udf_spec, 0, 14), 0);
    ASSERT_EQ(dxp_field_udf_create(0, &udf_spec, &udf), 0);
    dxp_field_qset_t q = kL2Rules;
    dxp_field_qset_add(&q, dxpFieldQualifySrcPort);
    ASSERT_EQ(dxp_field_qset_add_udf(0, &q, udf), 0);
    const int mac = entryOn(q);
    const uint8_t byte[4] = {0, 0, 0, 0xab}, ones[4] = {0xff, 0xff, 0xff, 0xff};
    ASSERT_EQ(dxp_field_qualify_UserDefined(0, mac, udf, byte, ones), 0);
    ASSERT_EQ(dxp_field_qualify_SrcPort(0, mac, 0, -1, 3, -1), 0);
    const dxp_mac_t sa = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55},
                    all = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    ASSERT_EQ(dxp_field_qualify_SrcMac(0, mac, sa, all), 0);
    ASSERT_EQ(dxp_field_qualify_OuterVlan(0, mac, 5, 0xfff), 0);
    ASSERT_EQ(dxp_field_qualify_OuterVlan(0, mac, 7, 0xfff), 0);  // replaces the first
    EXPECT_EQ(dxp_field_qualify_DstIp(0, mac, 1, 1), DXP_E_NOT_FOUND);
    ASSERT_EQ(dxp_field_entry_install(0, mac), 0);
    drv_cfp_entry_t r = row(0);
    EXPECT_EQ(field(r, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_MAC_SA, 0), 0x22334455u);
    EXPECT_EQ(field(r, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_MAC_SA, 1), 0x0011u);
    EXPECT_EQ(field(r, DRV_CFP_RAM_TCAM_MASK, DRV_CFP_FIELD_MAC_SA, 1), 0xffffu);
    EXPECT_EQ(field(r, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_USR_VID), 7u);
    EXPECT_EQ(field(r, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_IN_PORT), 3u);
    EXPECT_EQ(field(r, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_UDF0), 0xabu);
    EXPECT_EQ(field(r, DRV_CFP_RAM_TCAM_MASK, DRV_CFP_FIELD_UDF0_VALID), 1u);

    const int l4 = entryOn(kL4);
    ASSERT_EQ(dxp_field_qualify_DstIp(0, l4, 0x0a000001, 0xffffff00), 0);
    ASSERT_EQ(dxp_field_qualify_L4DstPort(0, l4, 0x10050, 0xffff), 0);
    ASSERT_EQ(dxp_field_qualify_TcpControl(0, l4, 0x02, 0x3f), 0);
    ASSERT_EQ(dxp_field_qualify_RangeCheck(0, l4, 0, 1), 0);
    ASSERT_EQ(dxp_field_entry_install(0, l4), 0);
    r = row(1);
    EXPECT_EQ(field(r, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_IP_DA), 0x0a000001u);
    EXPECT_EQ(field(r, DRV_CFP_RAM_TCAM_MASK, DRV_CFP_FIELD_IP_DA), 0xffffff00u);
    EXPECT_EQ(field(r, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_L4DST), 0x50u);  // 16 bits wide
    EXPECT_EQ(field(r, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_TCP_FLAG), 0x02u);
    EXPECT_EQ(field(r, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_L4SRC_LESS1024), 1u);
    for (uint32_t ram : {DRV_CFP_RAM_TCAM, DRV_CFP_RAM_TCAM_MASK}) {
        EXPECT_EQ(field(r, ram, DRV_CFP_FIELD_IP4_VALID), 1u);
        EXPECT_EQ(field(r, ram, DRV_CFP_FIELD_L4_VALID), 1u);
        EXPECT_EQ(field(r, ram, DRV_CFP_FIELD_TCP_FRAME), 1u);
    }

    // Cleared, the entry keeps its slice: it matches nothing of other slices.
    const uint32_t slice = field(r, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_SLICE_ID);
    ASSERT_EQ(dxp_field_qualify_clear(0, l4), 0);
    ASSERT_EQ(dxp_field_entry_reinstall(0, l4), 0);
    r = row(1);
    EXPECT_EQ(field(r, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_SLICE_ID), slice);
    EXPECT_EQ(field(r, DRV_CFP_RAM_TCAM_MASK, DRV_CFP_FIELD_SLICE_ID), 7u);
    EXPECT_EQ(field(r, DRV_CFP_RAM_TCAM_MASK, DRV_CFP_FIELD_IP_DA), 0u);
    EXPECT_NE(field(r, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_VALID), 0u);

    EXPECT_EQ(dxp_field_qualify_clear(0, 99), DXP_E_NOT_FOUND);
    EXPECT_EQ(dxp_field_qualify_IpType(0, 99, 10), DXP_E_PARAM);
    EXPECT_EQ(dxp_field_qualify_IpType(0, l4, 5), DXP_E_NOT_FOUND);  // no qset holds it
    EXPECT_EQ(dxp_field_qualify_IpProtocolCommon(0, l4, 8), DXP_E_PARAM);
    EXPECT_EQ(dxp_field_qualify_Snap(0, l4, 0, 0), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_field_qualify_UserDefined(0, l4, 11, byte, ones), DXP_E_PARAM);
}

TEST_P(tarn_field_rules, ActionsProgramTheActionWord) {
    const int plain = entryOn(kL4);
    int metered = 0;
    ASSERT_EQ(dxp_field_entry_create(0, 1, &metered), 0);
    ASSERT_EQ(dxp_field_action_add(0, plain, dxpFieldActionDrop, 0, 0), 0);
    EXPECT_EQ(dxp_field_action_add(0, plain, dxpFieldActionRedirectPort, 0, 3), DXP_E_CONFIG);
    ASSERT_EQ(dxp_field_action_add(0, plain, dxpFieldActionPrioIntNew, 2, 0), 0);
    EXPECT_EQ(dxp_field_action_add(0, plain, dxpFieldActionPrioIntCancel, 0, 0), DXP_E_CONFIG);
    EXPECT_EQ(dxp_field_action_add(0, plain, dxpFieldActionDscpNew, 1, 0), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_field_action_add(0, plain, dxpFieldActionTosNew, 1, 0), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_field_action_add(0, metered, dxpFieldActionRedirectPort, 0, 53), DXP_E_PARAM);
    EXPECT_EQ(dxp_field_action_add(0, metered, dxpFieldActionMeterConfig, 0, 0), DXP_E_RESOURCE);

    // Without a meter both profiles drop; a metered entry copies to the CPU
    // in profile only.
    ASSERT_EQ(dxp_field_meter_create(0, metered), 0);
    EXPECT_EQ(dxp_field_action_add(0, metered, dxpFieldActionMeterConfig, 4, 0), DXP_E_PARAM);
    ASSERT_EQ(dxp_field_action_add(0, metered, dxpFieldActionMeterConfig, 6, 0), 0);
    uint32_t p0 = 9, p1 = 9;
    EXPECT_EQ(dxp_field_action_get(0, metered, dxpFieldActionMeterConfig, &p0, &p1),
              DXP_E_NOT_FOUND);
    ASSERT_EQ(dxp_field_action_add(0, metered, dxpFieldActionCopyToCpu, 0, 0), 0);
    ASSERT_EQ(dxp_field_entry_install(0, plain), 0);
    ASSERT_EQ(dxp_field_entry_install(0, metered), 0);
    drv_cfp_entry_t r = row(0);
    for (uint32_t id : {DRV_CFP_FIELD_NEW_DEST_IB, DRV_CFP_FIELD_NEW_DEST_OB})
        EXPECT_EQ(field(r, DRV_CFP_RAM_ACT, id), 63u);
    EXPECT_EQ(field(r, DRV_CFP_RAM_ACT, DRV_CFP_FIELD_CHANGE_PRI_IB), 1u);
    EXPECT_EQ(field(r, DRV_CFP_RAM_ACT, DRV_CFP_FIELD_NEW_PRI_OB), 2u);
    r = row(1);
    EXPECT_EQ(field(r, DRV_CFP_RAM_ACT, DRV_CFP_FIELD_ADD_CHANGE_DEST_IB), 1u);
    EXPECT_EQ(field(r, DRV_CFP_RAM_ACT, DRV_CFP_FIELD_REDIRECT_OB), 0u);
    uint32_t action = DRV_CFP_ACT_IB_REDIRECT_ADD, cpu = 0;
    ASSERT_EQ(drv_cfp_action_get(0, &action, &r, &cpu), 0);
    EXPECT_EQ(static_cast<int>(cpu), SOC_CONTROL(0)->cmic_port);

    ASSERT_EQ(dxp_field_action_get(0, plain, dxpFieldActionPrioIntNew, &p0, &p1), 0);
    EXPECT_EQ(p0, 2u);
    EXPECT_EQ(dxp_field_action_get(0, plain, dxpFieldActionPrioIntNew, nullptr, &p1), DXP_E_PARAM);
    EXPECT_EQ(dxp_field_action_remove(0, plain, 70), DXP_E_PARAM);
    EXPECT_EQ(dxp_field_action_remove(0, plain, dxpFieldActionRpDrop), DXP_E_NOT_FOUND);
    ASSERT_EQ(dxp_field_action_remove(0, plain, dxpFieldActionDrop), 0);
    ASSERT_EQ(dxp_field_action_add(0, plain, dxpFieldActionRedirectPort, 0, 5), 0);
    ASSERT_EQ(dxp_field_entry_reinstall(0, plain), 0);
    r = row(0);
    EXPECT_EQ(field(r, DRV_CFP_RAM_ACT, DRV_CFP_FIELD_NEW_DEST_IB),
              GetParam() == sim::ChipKind::DXP7106 ? 29u : 5u);
    ASSERT_EQ(dxp_field_action_remove_all(0, plain), 0);
    EXPECT_EQ(dxp_field_action_get(0, plain, dxpFieldActionPrioIntNew, &p0, &p1), DXP_E_NOT_FOUND);
    ASSERT_EQ(dxp_field_entry_reinstall(0, plain), 0);
    r = row(0);
    EXPECT_EQ(field(r, DRV_CFP_RAM_ACT, DRV_CFP_FIELD_REDIRECT_IB), 0u);
    EXPECT_EQ(field(r, DRV_CFP_RAM_ACT, DRV_CFP_FIELD_CHANGE_PRI_IB), 0u);
}

TEST_P(tarn_field_rules, CountersMetersAndRanges) {
    const int entry = entryOn(kL4);
    uint32_t v32 = 0;
    uint64_t v64 = 0;
    EXPECT_EQ(dxp_field_counter_get32(0, entry, 0, &v32), DXP_E_EMPTY);
    ASSERT_EQ(drv_cfp_stat_set(0, DRV_CFP_STAT_OB, 0, 77), 0);
    ASSERT_EQ(dxp_field_counter_create(0, entry), 0);
    EXPECT_EQ(dxp_field_counter_create(0, entry), DXP_E_EXISTS);
    ASSERT_EQ(dxp_field_counter_get(0, entry, 1, &v64), 0);
    EXPECT_EQ(v64, 0u);  // zeroed at creation
    ASSERT_EQ(dxp_field_counter_set(0, entry, 0, 5), 0);
    // The counter holds 32 bits: a wider value is refused, not cut to 5.
    EXPECT_EQ(dxp_field_counter_set(0, entry, 0, 0x100000005ull), DXP_E_PARAM);
    ASSERT_EQ(dxp_field_counter_get(0, entry, 0, &v64), 0);
    EXPECT_EQ(v64, 5u);
    ASSERT_EQ(dxp_field_counter_set(0, entry, 1, 0xffffffffull), 0);
    ASSERT_EQ(dxp_field_counter_get(0, entry, 1, &v64), 0);
    EXPECT_EQ(v64, 0xffffffffull);
    EXPECT_EQ(dxp_field_counter_get(0, entry, 2, &v64), DXP_E_PARAM);
    ASSERT_EQ(dxp_field_counter_destroy(0, entry), 0);
    EXPECT_EQ(dxp_field_counter_destroy(0, entry), DXP_E_EMPTY);

    uint32_t rate = 9, burst = 9;
    EXPECT_EQ(dxp_field_meter_get(0, entry, 2, &rate, &burst), DXP_E_EMPTY);
    ASSERT_EQ(dxp_field_meter_create(0, entry), 0);
    EXPECT_EQ(dxp_field_meter_create(0, entry), DXP_E_EXISTS);
    ASSERT_EQ(dxp_field_meter_get(0, entry, 2, &rate, &burst), 0);
    EXPECT_EQ(rate, 0u);
    EXPECT_EQ(dxp_field_meter_set(0, entry, 1, 1000, 1024), DXP_E_PARAM);
    ASSERT_EQ(dxp_field_meter_set(0, entry, 2, 2048, 0x5000), 0);
    // Refused values leave the meter as it was.
    EXPECT_EQ(dxp_field_meter_set(0, entry, 2, 32, 1024), DXP_E_PARAM);
    EXPECT_EQ(dxp_field_meter_set(0, entry, 2, 0x3000000, 1024), DXP_E_PARAM);
    ASSERT_EQ(dxp_field_meter_get(0, entry, 2, &rate, &burst), 0);
    EXPECT_EQ(rate, 2048u);
    EXPECT_EQ(burst, 0x4000u);
    ASSERT_EQ(dxp_field_entry_install(0, entry), 0);
    drv_cfp_entry_t r = row(0);
    ASSERT_EQ(drv_cfp_meter_get(0, &r, &rate, &burst), 0);
    EXPECT_EQ(rate, 2048u);
    EXPECT_EQ(burst, 0x4000u);
    // A copy takes the meter along.
    int copy = 0;
    ASSERT_EQ(dxp_field_entry_copy(0, entry, &copy), 0);
    ASSERT_EQ(dxp_field_meter_get(0, copy, 2, &rate, &burst), 0);
    EXPECT_EQ(rate, 2048u);
    ASSERT_EQ(dxp_field_entry_destroy(0, copy), 0);
    ASSERT_EQ(dxp_field_meter_destroy(0, entry), 0);
    EXPECT_EQ(dxp_field_meter_destroy(0, entry), DXP_E_EMPTY);

    int ids[3] = {};
    for (int &id : ids)
        ASSERT_EQ(dxp_field_range_create(0, &id, 1, 0, 1023), 0);
    EXPECT_EQ(ids[0], 0);
    EXPECT_EQ(ids[2], 2);
    EXPECT_EQ(dxp_field_range_create(0, &ids[0], 1, 0, 1000), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_tarn_field_range_create_id(9, 5, 0x2, 0, 1023), DXP_E_PARAM);
    EXPECT_EQ(dxp_field_range_create_id(0, 1, 0, 0, 1023), DXP_E_EXISTS);
    ASSERT_EQ(dxp_field_range_destroy(0, 1), 0);
    EXPECT_EQ(dxp_field_range_destroy(0, 1), DXP_E_NOT_FOUND);
    uint32_t flags = 0;
    int max = 0;
    ASSERT_EQ(dxp_field_range_get(0, 2, &flags, nullptr, &max), 0);
    EXPECT_EQ(flags, 1u);
    EXPECT_EQ(max, 1023);
    ASSERT_EQ(dxp_field_range_create_id(0, 7, 0, 0, 1023), 0);  // detach frees it
}

INSTANTIATE_TEST_SUITE_P(chips, tarn_field_rules,
                         ::testing::Values(sim::ChipKind::DXP7101, sim::ChipKind::DXP7106),
                         port_test::chip_name);

}  // namespace
