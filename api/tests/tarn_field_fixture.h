// A unit of the family brought up with its field processor, per chip.
#pragma once

#include <initializer_list>
#include <string>

#include "../../drv/tests/port_fixture.h"
#include "dxp.h"
#include "dxp_tarn.h"
#include "sal_config.h"

namespace tarn_test {

inline dxp_field_qset_t qset_of(std::initializer_list<int> qualifiers) {
    dxp_field_qset_t q{};
    for (int n : qualifiers)
        dxp_field_qset_add(&q, n);
    return q;
}

class FieldUnitTest : public port_test::PortUnitTest,
                      public ::testing::WithParamInterface<sim::ChipKind> {
  protected:
    // Unit 0 fully initialised; rows limits the TCAM (0 = the chip's size).
    void bringUp(int rows = 0) {
        startPorts(GetParam());
        if (rows > 0) sal_config_set("dxp_field_entry_sz", std::to_string(rows).c_str());
        ASSERT_EQ(soc_init(0), 0);
        ASSERT_EQ(dxp_dispatch_register(&dxp_tarn_dispatch), 0);
        ASSERT_EQ(dxp_init(0), 0);
    }
    void TearDown() override {
        dxp_field_detach(0);
        dxp_linkscan_detach(0);  // the scan thread must not outlive the unit
        dxp_detach(0);
        PortUnitTest::TearDown();
    }
};

}  // namespace tarn_test
