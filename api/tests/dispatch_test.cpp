// The per-unit front: stubs, attachment, return-code messages and the layout
// of the API list.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "dxp.h"
#include "dxp_tarn.h"
#include "fake_family.h"

namespace {

struct api_entry {
    int slot;
    const char *name;
};
#define DXP_API(slot, name, ret, params, args) {slot, #name},
constexpr api_entry api_list[] = {
#include "dxp_api_list.h"
};

class dxp_stub : public FakeFamilyTest {};

TEST_F(dxp_stub, RejectsUnitsOutOfRangeOrNotAttachedWithoutCallingTheFamily) {
    add_units({0});
    int speed = -1;
    for (int unit : {-1, 128, INT_MAX, INT_MIN, 1, 127}) {
        EXPECT_EQ(dxp_port_speed_set(unit, 1, 100), DXP_E_UNIT) << unit;
        EXPECT_EQ(dxp_port_speed_get(unit, 1, &speed), DXP_E_UNIT) << unit;
    }
    EXPECT_EQ(speed, -1);
    EXPECT_TRUE(fake::calls("port_speed_set").empty());
    EXPECT_TRUE(fake::calls("port_speed_get").empty());
}

TEST_F(dxp_stub, PassesArgumentsAndResultThroughUnchanged) {
    add_units({0, 3});
    fake::set_result("port_speed_set", 3, 42);
    fake::set_result("port_speed_set", 0, DXP_E_PORT);
    EXPECT_EQ(dxp_port_speed_set(3, 5, 100), 42);
    EXPECT_EQ(dxp_port_speed_set(0, 52, 10), DXP_E_PORT);
    EXPECT_EQ(fake::calls("port_speed_set"),
              (std::vector<std::string>{"port_speed_set(3,5,100)", "port_speed_set(0,52,10)"}));
    int speed = 0;
    EXPECT_EQ(dxp_port_speed_get(3, 7, &speed), DXP_E_NONE);
    EXPECT_EQ(speed, 1000);
}

TEST_F(dxp_stub, EmptySlotIsUnavailable) {
    add_units({0});
    int enable = 5;
    EXPECT_EQ(dxp_port_jam_get(0, 1, &enable), DXP_E_UNAVAIL);
    EXPECT_EQ(enable, 5);
}

TEST_F(dxp_stub, InitAttachesOnDemandAndRunsTheInitSlot) {
    EXPECT_EQ(dxp_attach_check(4), DXP_E_UNIT);
    fake::set_result("init", 4, DXP_E_TIMEOUT);
    EXPECT_EQ(dxp_init(4), DXP_E_TIMEOUT);
    EXPECT_EQ(dxp_attach_check(4), DXP_E_NONE);
    EXPECT_EQ(dxp_init(4), DXP_E_TIMEOUT);  // attached already: init runs again
    EXPECT_EQ(fake::calls("attach"), std::vector<std::string>{"attach(4)"});
    EXPECT_EQ(fake::calls("init").size(), 2u);
    EXPECT_EQ(dxp_init(128), DXP_E_UNIT);
}

class dxp_attaching : public FakeFamilyTest {};

TEST_F(dxp_attaching, AttachAnyUnitThenFindIt) {
    int unit = dxp_attach(-1, "tarn", "spi", 9);
    ASSERT_EQ(unit, 0);
    EXPECT_EQ(dxp_attach(-1, "tarn", nullptr, 0), 1);
    EXPECT_EQ(dxp_find("tarn", "spi", 9), 0);
    EXPECT_EQ(dxp_find("tarn", nullptr, 0), 1);
    EXPECT_EQ(dxp_find("tarn", "pci", 9), DXP_E_NOT_FOUND);
    EXPECT_EQ(dxp_find("tarn", nullptr, 5), DXP_E_NOT_FOUND);

    dxp_unit_control_t control;
    ASSERT_EQ(dxp_unit_control_get(0, &control), DXP_E_NONE);
    EXPECT_STREQ(control.type, "tarn");
    EXPECT_STREQ(control.subtype, "spi");
    EXPECT_EQ(control.remote_unit, 9);
    EXPECT_EQ(control.chip.device, 0x7101u);
    EXPECT_EQ(control.chip.capability, DXP_INFO_CAP_L3);
}

TEST_F(dxp_attaching, BadRequestsLeaveTheUnitAlone) {
    EXPECT_EQ(dxp_attach(0, "nosuch", nullptr, 0), DXP_E_PARAM);
    EXPECT_EQ(dxp_attach(0, nullptr, nullptr, 0), DXP_E_PARAM);
    EXPECT_EQ(dxp_attach(128, "tarn", nullptr, 0), DXP_E_UNIT);
    EXPECT_EQ(dxp_attach(-2, "tarn", nullptr, 0), DXP_E_UNIT);
    std::string long_subtype(32, 'x');
    EXPECT_EQ(dxp_attach(0, "tarn", long_subtype.c_str(), 0), DXP_E_PARAM);
    EXPECT_EQ(dxp_attach_check(0), DXP_E_UNIT);

    fake::set_result("attach", 2, DXP_E_INIT);
    EXPECT_EQ(dxp_attach(2, "tarn", nullptr, 2), DXP_E_INIT);
    EXPECT_EQ(dxp_attach_check(2), DXP_E_UNIT);

    EXPECT_EQ(dxp_attach(5, "tarn", nullptr, 5), 5);
    EXPECT_EQ(dxp_attach(5, "tarn", nullptr, 5), DXP_E_EXISTS);
    EXPECT_EQ(dxp_detach(5), DXP_E_NONE);
    EXPECT_EQ(dxp_detach(5), DXP_E_UNIT);
    EXPECT_EQ(dxp_attach_check(5), DXP_E_UNIT);
    dxp_unit_control_t control;
    EXPECT_EQ(dxp_unit_control_get(5, &control), DXP_E_UNIT);
}

TEST(dxp_tarn, UnfilledSlotsOfTheFamilyAreUnavailable) {
    ASSERT_EQ(dxp_dispatch_find("tarn"), &dxp_tarn_dispatch);
    ASSERT_EQ(dxp_attach(7, "tarn", nullptr, 7), 7);
    int speed = 0;
    EXPECT_EQ(dxp_port_cfi_color_get(7), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_filter_create(7, &speed), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_vlan_vector_add(7), DXP_E_UNAVAIL);
    // Every slot of the table holds an operation.
    const void *const *words = reinterpret_cast<const void *const *>(&dxp_tarn_dispatch);
    for (size_t i = 0; i < sizeof(dxp_dispatch_t) / sizeof(void *); i++)
        EXPECT_NE(words[i], nullptr) << "slot " << i;
    EXPECT_EQ(dxp_detach(7), DXP_E_NONE);
}

TEST(dxp_api_list, SlotsAreContiguousAndInAsciiOrder) {
    constexpr int count = sizeof(api_list) / sizeof(api_list[0]);
    ASSERT_EQ(count, 681);
    for (int i = 0; i < count; i++)
        EXPECT_EQ(api_list[i].slot, 3 + i) << api_list[i].name;
    for (int i = 1; i < count; i++) {
        // init_modules keeps its historical place behind init_phy_addr_set.
        if (std::strcmp(api_list[i].name, "init_modules") == 0) continue;
        if (std::strcmp(api_list[i - 1].name, "init_modules") == 0) continue;
        EXPECT_LT(std::strcmp(api_list[i - 1].name, api_list[i].name), 0)
            << api_list[i - 1].name << " before " << api_list[i].name;
    }
}

TEST(dxp_errmsg, MessagesOfTheCodes) {
    EXPECT_STREQ(dxp_errmsg(0), "Ok");
    EXPECT_STREQ(dxp_errmsg(DXP_E_UNAVAIL), "Feature unavailable");
    EXPECT_STREQ(dxp_errmsg(-18), "Invalid port");
    EXPECT_STREQ(dxp_errmsg(-19), "Unknown error");
    EXPECT_STREQ(dxp_errmsg(1), "Unknown error");
    EXPECT_STREQ(dxp_errmsg(INT_MIN), "Unknown error");
}

}  // namespace
