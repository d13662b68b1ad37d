// Pins the register catalogue to every id, address, width and bit position
// that the interface documents state, so that a mistake shared by the chip
// services and the chip model cannot hide.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "chipdata/chipdata.h"
#include "chipdata/ids.h"
#include "sim/regspace.h"

namespace {

constexpr chipdata_model k7101 = CHIPDATA_DXP7101;
constexpr chipdata_model k7106 = CHIPDATA_DXP7106;
constexpr chipdata_model k7102 = CHIPDATA_DXP7102_A1;
constexpr chipdata_model kModels[] = {CHIPDATA_DXP7102_A0, CHIPDATA_DXP7102_A1, CHIPDATA_DXP7101,
                                      CHIPDATA_DXP7106};

const chipdata_reg &row(chipdata_model model, int reg) {
    const chipdata_reg *r = chipdata_reg_info(model, reg);
    if (r == nullptr) throw std::runtime_error(std::string("missing ") + chipdata_reg_name(reg));
    return *r;
}

// "hi:lo" of a field, or "absent".
std::string bits(chipdata_model model, int reg, int field) {
    const chipdata_field *f = chipdata_reg_field(&row(model, reg), field);
    if (f == nullptr) return "absent";
    return std::to_string(f->bp + f->len - 1) + ":" + std::to_string(f->bp);
}

int width(chipdata_model model, int reg) {
    return sim::regWidth(row(model, reg));
}

TEST(catalogue_golden, RegisterIdsAndNames) {
    const std::pair<int, const char *> regs[] = {
        {0, "ACTLSTS"},
        {1, "ACT_POL_DATA"},
        {2, "ACT_POL_DATA0"},
        {3, "ACT_POL_DATA1"},
        {4, "AEGSTS"},
        {5, "AGEOUT_CTL"},
        {6, "AGEOUT_EN_VID"},
        {7, "AMODE2"},
        {8, "AMPHY"},
        {9, "ANADV"},
        {10, "ANEXP"},
        {11, "ANLPAR"},
        {12, "ANNXP"},
        {13, "ARLA_ENTRY"},
        {14, "ARLA_ENTRY0"},
        {15, "ARLA_ENTRY1"},
        {22, "ARLA_MAC"},
        {27, "ARLA_RWCTL"},
        {28, "ARLA_SRCH_ADR"},
        {29, "ARLA_SRCH_CTL"},
        {30, "ARLA_SRCH_RSLT"},
        {36, "ARLA_SRCH_RSLT_VID"},
        {37, "ARLA_VID"},
        {39, "ARLA_VID_ENTRY0"},
        {40, "ARLA_VID_ENTRY1"},
        {62, "BPDU_MCADDR"},
        {84, "CHIP_RST_CTL"},
        {90, "DEFAULT_1Q_TAG"},
        {98, "DTAG_GLO_CTL"},
        {99, "DUPSTS"},
        {101, "EAP_GLO_CON"},
        {104, "EGMIRCTL"},
        {106, "EGMIRMAC"},
        {172, "FCON_FLOWMIX"},
        {180, "FCON_Q0_TXDSC_CTRL_3"},
        {183, "FCON_Q1_TXDSC_CTRL_3"},
        {186, "FCON_Q2_TXDSC_CTRL_3"},
        {189, "FCON_Q3_TXDSC_CTRL_3"},
        {273, "GARLCFG"},
        {298, "GLOBAL_TRUNK_CTL"},
        {299, "GMNGCFG"},
        {300, "GRPADDR1"},
        {301, "GRPADDR2"},
        {340, "G_PCTL"},
        {364, "IGMIRCTL"},
        {366, "IGMIRMAC"},
        {370, "ISP_PORT_SEL_PBM"},
        {371, "ISP_SEL_PORTMAP"},
        {372, "ISP_VID"},
        {396, "LNKSTS"},
        {402, "LRN_CNT_CTL"},
        {405, "MAC_SEC_CON0"},
        {406, "MAC_SEC_CON1"},
        {407, "MAC_SEC_CON2"},
        {408, "MAC_SEC_CON3"},
        {409, "MAC_SEC_CON4"},
        {457, "MIICTL"},
        {459, "MII_PCTL"},
        {461, "MIRCAPCTL"},
        {478, "MST_CON"},
        {488, "NEW_CONTROL"},
        {522, "PORTVEC1"},
        {523, "PORTVEC2"},
        {525, "PORT_EAP_CON"},
        {531, "PORT_MAX_LEARN"},
        {533, "PORT_SEC_CON"},
        {535, "PORT_VLAN_CTL"},
        {542, "QOS_1P_EN"},
        {543, "QOS_CTL"},
        {545, "QOS_DIFF_DSCP1"},
        {546, "QOS_DIFF_DSCP2"},
        {548, "QOS_D_TOS_TH"},
        {554, "QOS_M_TOS_TH"},
        {555, "QOS_PAUSE_EN"},
        {558, "QOS_R_TOS_TH"},
        {559, "QOS_TCI_TH"},
        {560, "QOS_TOS_DIF_CTL"},
        {561, "QOS_TOS_DIF_EN"},
        {564, "QOS_T_TOS_TH"},
        {670, "SPDSTS"},
        {671, "SPECIAL_MNGT"},
        {675, "STRAP_STS"},
        {678, "STS_OVERRIDE_GP"},
        {680, "STS_OVERRIDE_P"},
        {683, "SWMODE"},
        {684, "SW_FLOW_CON"},
        {748, "TH_PCTL"},
        {760, "TRUNK_GRP0_CTL"},
        {761, "TRUNK_GRP1_CTL"},
        {795, "TXQ_FLUSH_MODE"},
        {814, "VLAN_CTRL0"},
        {815, "VLAN_CTRL1"},
        {816, "VLAN_CTRL2"},
        {817, "VLAN_CTRL3"},
        {818, "VLAN_CTRL4"},
        {819, "VLAN_CTRL5"},
        {829, "WATCH_DOG_CTRL"},
    };
    for (auto [id, name] : regs) {
        ASSERT_NE(chipdata_reg_name(id), nullptr) << id;
        EXPECT_STREQ(chipdata_reg_name(id), name);
        EXPECT_EQ(chipdata_reg_id(name), id);
    }
    const std::pair<int, const char *> fields[] = {
        {2, "ACC_CTL"},
        {311, "DIS_NEW_TXDIS"},
        {335, "DYN_MAX_MAC_NO"},
        {346, "EAP_BLK_MODE"},
        {347, "EAP_EN"},
        {353, "EAP_MODE"},
        {409, "EN_DOU_TAG"},
        {411, "EN_DROP_NON1Q"},
        {412, "EN_DTAG_ISP"},
        {423, "EN_HW_RESET"},
        {825, "INGR_VID_CHK"},
        {846, "IPG"},
        {860, "ISP_PORT_PBMP"},
        {862, "ISP_VLAN_DELIMITER"},
        {918, "LNK_STS"},
        {962, "MAC_SEC_CON"},
        {983, "MAC_SEC_CON_P52_32"},
        {1058, "MIRX_DIS"},
        {1063, "MITX_DIS"},
        {1278, "PORT_NUM_R"},
        {1508, "RST_CHIP"},
        {1531, "RXBPDU_EN"},
        {1622, "SOFTWARE_RESET"},
        {1670, "START_DONE"},
        {1687, "SW_SA_CNT_RST"},
    };
    for (auto [id, name] : fields) {
        ASSERT_NE(chipdata_field_name(id), nullptr) << id;
        EXPECT_STREQ(chipdata_field_name(id), name);
        EXPECT_EQ(chipdata_field_id(name), id);
    }
    EXPECT_EQ(chipdata_reg_id("NO_SUCH_REGISTER"), -1);
    EXPECT_EQ(chipdata_reg_name(CHIPDATA_NUM_REG_NAMES), nullptr);
}

TEST(catalogue_golden, NamesAreInAsciiOrderOfTheirIds) {
    std::string previous;
    for (int id = 0; id < CHIPDATA_NUM_REG_NAMES; id++) {
        if (const char *name = chipdata_reg_name(id)) {
            EXPECT_LT(previous, name) << id;
            previous = name;
        }
    }
    previous.clear();
    for (int id = 0; id < CHIPDATA_NUM_FIELD_NAMES; id++) {
        if (const char *name = chipdata_field_name(id)) {
            EXPECT_LT(previous, name) << id;
            previous = name;
        }
    }
}

TEST(catalogue_golden, ResetAndAddressingRegisters) {
    EXPECT_EQ(row(k7101, R_CHIP_RST_CTL).address, 0x037cu);
    EXPECT_EQ(row(k7106, R_CHIP_RST_CTL).address, 0x037cu);
    EXPECT_NE(chipdata_reg_field(&row(k7101, R_CHIP_RST_CTL), F_RST_CHIP), nullptr);
    // The DXP7102 has no chip reset register.
    EXPECT_EQ(chipdata_reg_info(k7102, R_CHIP_RST_CTL), nullptr);

    EXPECT_EQ(row(k7102, R_MST_CON).address, 0x4300u);
    EXPECT_EQ(width(k7102, R_MST_CON), 1);
    EXPECT_EQ(row(CHIPDATA_DXP7102_A0, R_MST_CON).address, 0x4300u);
    EXPECT_EQ(row(k7101, R_MST_CON).address, 0x4500u);

    // Split registers of the DXP7101 family: first range and its base.
    EXPECT_EQ(row(k7101, R_UDF_OFFSET4_P).address, 0x2400u);
    EXPECT_EQ(row(k7101, R_UDF_OFFSET4_P).count, 24u);
    EXPECT_EQ(row(k7101, R_UDF_OFFSET4_EXP).count, 24u);  // ports 24-47
    EXPECT_EQ(row(k7101, R_PORT_VLAN_CTL).address, 0x3200u);
    EXPECT_EQ(row(k7101, R_PORT_VLAN_CTL).count, 24u);
    EXPECT_EQ(row(k7101, R_PORT_VLAN1_CTL).count, 29u);  // ports 24-52
    EXPECT_EQ(row(k7101, R_PORT_EAP_CON).address, 0x4000u);
    EXPECT_EQ(row(k7101, R_PORT_EAP_CON).count, 24u);
    EXPECT_EQ(row(k7101, R_PORT_EAP1_CON).count, 29u);
    EXPECT_EQ(row(k7101, R_PORT_IRC_CON).address, 0x4300u);
    EXPECT_EQ(row(k7101, R_PORT_IRC_CON).count, 32u);
    EXPECT_EQ(row(k7101, R_PORT_IRC1_CON).count, 21u);
    EXPECT_EQ(row(k7106, R_PORT_IRC_CON).address, 0x4390u);
    EXPECT_EQ(row(k7106, R_PORT_IRC_CON).count, 8u);
    EXPECT_EQ(row(k7106, R_PORT_IRC1_CON).count, 21u);  // ports 8-28
}

TEST(catalogue_golden, PortMacRegisters) {
    for (chipdata_model m : kModels) {
        SCOPED_TRACE(m);
        for (int reg : {R_TH_PCTL, R_G_PCTL, R_MII_PCTL}) {
            EXPECT_EQ(bits(m, reg, F_MIRX_DIS), "0:0");
            EXPECT_EQ(bits(m, reg, F_MITX_DIS), "1:1");
        }
        EXPECT_EQ(bits(m, R_TH_PCTL, F_MISTP_STATE), "7:5");
        EXPECT_EQ(bits(m, R_G_PCTL, F_G_MISTP_STATE), "7:5");
        EXPECT_EQ(bits(m, R_MII_PCTL, F_MIRX_BC_EN), "2:2");
        EXPECT_EQ(row(m, R_MII_PCTL).count, 1u);
        EXPECT_EQ(bits(m, R_STS_OVERRIDE_P, F_DUPLX_MODE), "1:1");
        EXPECT_EQ(bits(m, R_STS_OVERRIDE_P, F_SPEED_R), "2:2");
        EXPECT_EQ(bits(m, R_STS_OVERRIDE_GP, F_DUPLX_MODE), "1:1");
        EXPECT_EQ(bits(m, R_STS_OVERRIDE_GP, F_GIGA_SPEED), "3:2");
    }
    // Wide models: 64-bit flow control and 53-port status; DXP7102 32 bits.
    EXPECT_EQ(bits(k7101, R_SW_FLOW_CON, F_SW_FLOE_CON_EN), "63:63");
    EXPECT_EQ(bits(k7101, R_SW_FLOW_CON, F_TXFLOW_HALF_MODE), "62:62");
    EXPECT_EQ(bits(k7101, R_SW_FLOW_CON, F_SW_FLOW_CON), "57:0");
    EXPECT_EQ(bits(k7106, R_SW_FLOW_CON, F_SW_FLOE_CON_EN), "63:63");
    EXPECT_EQ(bits(k7106, R_SW_FLOW_CON, F_SW_FLOW_CON), "57:24");
    EXPECT_EQ(bits(k7102, R_SW_FLOW_CON, F_SW_FLOE_CON_EN), "31:31");
    EXPECT_EQ(bits(k7102, R_SW_FLOW_CON, F_TXFLOW_HALF_MODE), "30:30");
    EXPECT_EQ(bits(k7102, R_SW_FLOW_CON, F_SW_FLOW_CON), "28:0");
    EXPECT_EQ(bits(k7101, R_STS_OVERRIDE_P, F_EN_PHY_SCAN), "7:7");
    EXPECT_EQ(bits(k7106, R_STS_OVERRIDE_GP, F_EN_PHY_SCAN), "7:7");
    EXPECT_EQ(bits(k7102, R_STS_OVERRIDE_GP, F_EN_STS_OVERRIDE), "7:7");
    EXPECT_EQ(bits(k7102, R_STS_OVERRIDE_P, F_EN_PHY_SCAN), "absent");
    EXPECT_EQ(bits(k7101, R_DUPSTS, F_DUP_STS), "52:0");
    EXPECT_EQ(bits(k7106, R_DUPSTS, F_DUP_STS), "52:24");
    EXPECT_EQ(bits(k7102, R_DUPSTS, F_DUP_STS), "26:0");
    EXPECT_EQ(bits(k7101, R_SPDSTS, F_PORT_SPD), "57:0");
    EXPECT_EQ(bits(k7106, R_SPDSTS, F_PORT_SPD), "57:24");
    EXPECT_EQ(bits(k7102, R_SPDSTS, F_PORT_SPD), "28:0");
    EXPECT_EQ(bits(k7101, R_QOS_PAUSE_EN, F_QOS_PAUSE_EN), "52:0");
    EXPECT_EQ(bits(k7106, R_QOS_PAUSE_EN, F_QOS_PAUSE_EN), "52:24");  // port + 24
    EXPECT_EQ(bits(k7102, R_QOS_PAUSE_EN, F_QOS_PAUSE_EN), "26:0");
    EXPECT_EQ(bits(k7102, R_STRAP_STS, F_GIGA0_IFSEL), "17:16");
    EXPECT_EQ(bits(k7102, R_STRAP_STS, F_GIGA1_IFSEL), "19:18");
    // Read as 4 bytes by the PHY probe.
    EXPECT_EQ(width(k7102, R_STRAP_STS), 4);
    EXPECT_EQ(width(k7102, R_SPDSTS), 4);
    EXPECT_EQ(width(k7102, R_DUPSTS), 4);
    EXPECT_EQ(bits(k7101, R_LNKSTS, F_LNK_STS), "52:0");
    EXPECT_EQ(bits(k7106, R_LNKSTS, F_LNK_STS), "52:24");
}

TEST(catalogue_golden, PortRegisterProperties) {
    for (chipdata_model m : kModels) {
        SCOPED_TRACE(m);
        EXPECT_EQ(width(m, R_SWMODE), 1);
        EXPECT_EQ(bits(m, R_SWMODE, F_IPG), "3:2");  // two bits, field values 0-3
        EXPECT_NE(bits(m, R_SWMODE, F_SW_FWDG_EN), "absent");
        EXPECT_NE(bits(m, R_SWMODE, F_SW_FWDG_MODE), "absent");
        EXPECT_EQ(width(m, R_GMNGCFG), 1);
        EXPECT_EQ(bits(m, R_GMNGCFG, F_RXBPDU_EN), "1:1");
        EXPECT_EQ(width(m, R_MIICTL), 2);
        EXPECT_EQ(row(m, R_MIICTL).type, CHIPDATA_TYPE_PORT_PHY);
        EXPECT_NE(bits(m, R_VLAN_CTRL4, F_INGR_VID_CHK), "absent");
        EXPECT_EQ(bits(m, R_VLAN_CTRL4, F_INGR_VID_CHK), "7:6");
        EXPECT_EQ(bits(m, R_PORT_EAP_CON, F_EAP_UNI_DA), "47:0");
        EXPECT_NE(bits(m, R_PORT_EAP_CON, F_EAP_EN), "absent");
        EXPECT_NE(bits(m, R_PORT_EAP_CON, F_EAP_BLK_MODE), "absent");
        // The learn limit holds 0x1fff.
        EXPECT_EQ(bits(m, R_PORT_MAX_LEARN, F_DYN_MAX_MAC_NO), "12:0");
    }
    EXPECT_EQ(bits(k7106, R_VLAN_CTRL3, F_EN_DROP_NON1Q), "52:24");
    EXPECT_EQ(bits(k7101, R_DTAG_GLO_CTL, F_EN_DTAG_ISP), "0:0");
    EXPECT_EQ(bits(k7106, R_DTAG_GLO_CTL, F_EN_DTAG_ISP), "0:0");
    EXPECT_EQ(bits(k7102, R_VLAN_CTRL4, F_EN_DOU_TAG), "0:0");
    EXPECT_EQ(bits(k7101, R_ISP_PORT_SEL_PBM, F_ISP_PORT_PBMP), "52:0");
    EXPECT_EQ(bits(k7101, R_ISP_VID, F_ISP_VLAN_DELIMITER), "15:0");
    EXPECT_EQ(chipdata_reg_info(k7102, R_ISP_VID), nullptr);  // 0x2c000000 chips only

    // Security modes: 2-bit slots on the DXP7101 family (port 40 of a DXP7101
    // at bits 16-17 of MAC_SEC_CON_P52_32; DXP7106 ports 8-28 from bit 0),
    // 3-bit port fields on the DXP7102.
    EXPECT_EQ(bits(k7101, R_MAC_SEC_CON0, F_MAC_SEC_CON), "63:0");
    EXPECT_EQ(bits(k7106, R_MAC_SEC_CON0, F_MAC_SEC_CON), "63:0");
    const chipdata_field *hi =
        chipdata_reg_field(&row(k7101, R_MAC_SEC_CON1), F_MAC_SEC_CON_P52_32);
    ASSERT_NE(hi, nullptr);
    EXPECT_EQ(hi->bp, 0);
    EXPECT_GE(hi->len, 2 * (52 - 32 + 1));
    const chipdata_field *hi6 =
        chipdata_reg_field(&row(k7106, R_MAC_SEC_CON1), F_MAC_SEC_CON_P52_32);
    ASSERT_NE(hi6, nullptr);
    EXPECT_GE(hi6->len, 2 * (28 - 8 + 1));
    EXPECT_NE(bits(k7101, R_MAC_SEC_CON3, F_SW_SA_CNT_RST), "absent");
    for (int p = 0; p < 24; p++) {
        int reg = p < 16 ? R_MAC_SEC_CON0 : R_MAC_SEC_CON1;
        int field = chipdata_field_id(("MAC_SEC_CON_P" + std::to_string(p)).c_str());
        ASSERT_GE(field, 0) << p;
        const chipdata_field *f = chipdata_reg_field(&row(k7102, reg), field);
        ASSERT_NE(f, nullptr) << p;
        EXPECT_GE(f->len, 3);  // codes 0-7
    }
    EXPECT_NE(bits(k7102, R_MAC_SEC_CON4, F_SW_SA_CNT_RST), "absent");
}

TEST(catalogue_golden, FlowControlSetUpFields) {
    // Every field the chip init writes, with room for the value it writes.
    struct Write {
        int reg;
        int field;
        unsigned value;
    };
    const Write set_b[] = {
        {R_FCON_FLOWMIX, F_QOS_RSRV_QUOTA_OPT, 3},
        {R_FCON_FLOWMIX, F_EN_PARKING_PREVENTION, 1},
        {R_FCON_FLOWMIX, F_EN_RX_PAUSE, 0},
        {R_FCON_GLOB_TH_CTRL_2, F_FCON_GLOB_DROP_TH, 214},
        {R_FCON_GLOB_TH_CTRL_2, F_FCON_GLOB_MCDROP_TH, 214},
        {R_FCON_GLOB_TH_CTRL_1, F_FCON_GLOB_PAUSE_TH, 134},
        {R_FCON_GLOB_TH_CTRL_1, F_FCON_GLOB_HYST_TH, 129},
        {R_FCON_Q0_100_TH_CTRL_2, F_BT100_DROP_THRS, 196},
        {R_FCON_Q3_100_TH_CTRL_2, F_BT100_DROP_THRS, 196},
        {R_FCON_Q0_100_TH_CTRL_1, F_BT100_PAUS_THRS, 39},
        {R_FCON_Q3_100_TH_CTRL_1, F_BT100_PAUS_THRS, 39},
        {R_FCON_MISC_TXFLOW_CTRL, F_RESERVE_BLANCE, 1},
        {R_FCON_MISC_TXFLOW_CTRL, F_TOTAL_LQTH_DROP, 214},
        {R_FCON_RXBASE_BUFNUM, F_RXBASE_RESV_BUFNUM, 15},
        {R_PHYSCAN_CTL, F_EN_PHY_SCAN, 0},
    };
    const Write set_a[] = {
        {R_FCON_FLOWMIX, F_EN_MCAST_DROP, 1},
        {R_FCON_FLOWMIX, F_EN_UCAST_DROP, 1},
        {R_FCON_FLOWMIX, F_EN_TXQ_PAUSE, 1},
        {R_FCON_FLOWMIX, F_EN_RX_DROP, 0},
        {R_FCON_GLOB_TH_CTRL_2, F_FCON_GLOB_DROP_TH, 252},
        {R_FCON_GLOB_TH_CTRL_1, F_FCON_GLOB_PAUSE_TH, 184},
        {R_FCON_GLOB_TH_CTRL_1, F_FCON_GLOB_HYST_TH, 174},
        {R_FCON_Q2_100_TH_CTRL_2, F_BT100_DROP_THRS, 51},
        {R_FCON_Q1_100_TH_CTRL_1, F_BT100_PAUS_THRS, 16},
        {R_FCON_Q1_100_TH_CTRL_1, F_BT100_HYST_THRS, 7},
        {R_FCON_MISC_TXFLOW_CTRL, F_TOTAL_1QTH_DROP, 252},
        {R_FCON_RSRV_BUFNUM, F_RXBASE_RESV_BUFNUM, 6},
        {R_FCON_RSRV_BUFNUM, F_RUNOFF, 1},
        {R_FCON_RSRV_BUFNUM, F_RESERVED_R, 0},
        {R_PHYSCAN_CTL, F_EN_PHY_SCAN, 0},
    };
    auto check = [](chipdata_model m, const Write &w) {
        const chipdata_field *f = chipdata_reg_field(&row(m, w.reg), w.field);
        ASSERT_NE(f, nullptr) << chipdata_reg_name(w.reg) << "." << chipdata_field_name(w.field);
        EXPECT_LE(w.value, (1ull << f->len) - 1) << chipdata_field_name(w.field);
    };
    for (const Write &w : set_b) {
        check(k7101, w);
        check(k7106, w);
    }
    for (const Write &w : set_a)
        check(k7102, w);
    for (chipdata_model m : kModels) {
        EXPECT_EQ(bits(m, R_TH_PCTL, F_MISTP_STATE), "7:5");
        EXPECT_NE(bits(m, R_SWMODE, F_SW_FWDG_EN), "absent");
    }
}

TEST(catalogue_golden, VlanAndMacStateLayouts) {
    for (chipdata_model m : kModels) {
        SCOPED_TRACE(m);
        EXPECT_EQ(row(m, R_VLAN_CTRL0).address, 0x3400u);
        EXPECT_EQ(width(m, R_VLAN_CTRL0), 1);
        EXPECT_EQ(bits(m, R_VLAN_CTRL0, F_VLAN_EN), "7:7");
        EXPECT_EQ(bits(m, R_VLAN_CTRL0, F_VLAN_LEARN_MODE), "6:5");
        EXPECT_EQ(bits(m, R_VLAN_CTRL1, F_EN_RSV_MCAST_V_TAG), "1:1");
        EXPECT_EQ(bits(m, R_VLAN_CTRL2, F_EN_GMRP_GVRP_V_TAG), "4:4");
        EXPECT_EQ(bits(m, R_VLAN_CTRL4, F_EN_MGE_REV_GVRP), "5:5");
        EXPECT_EQ(bits(m, R_VLAN_CTRL4, F_EN_MGE_REV_GMRP), "4:4");
        EXPECT_EQ(bits(m, R_VLAN_CTRL5, F_DROP_VTABLE_MISS), "3:3");
        EXPECT_EQ(width(m, R_DEFAULT_1Q_TAG), 2);
        EXPECT_EQ(bits(m, R_DEFAULT_1Q_TAG, F_PRI_R), "15:13");
        EXPECT_EQ(bits(m, R_DEFAULT_1Q_TAG, F_CFI_R), "12:12");
        EXPECT_EQ(bits(m, R_DEFAULT_1Q_TAG, F_DEF_TAG), "11:0");
        EXPECT_EQ(bits(m, R_MST_CON, F_AGE_MODE_PRT), "1:1");
        EXPECT_EQ(bits(m, R_MST_CON, F_AGE_MODE_VLAN), "2:2");
        EXPECT_EQ(bits(m, R_MST_CON, F_EN_AGE_STATIC), "4:4");
        EXPECT_EQ(bits(m, R_MST_CON, F_FAST_AGE_STDN), "7:7");
        EXPECT_EQ(bits(m, R_GMNGCFG, F_RXBPDU_EN), "1:1");
    }
    EXPECT_EQ(bits(k7101, R_GMNGCFG, F_IGMP_IP_CHK), "4:3");
    EXPECT_EQ(bits(k7102, R_GMNGCFG, F_IGMPIP_SNOP_EN), "3:3");
    EXPECT_EQ(bits(k7102, R_STS_OVERRIDE_P24, F_MII_SW_OR), "7:7");
    EXPECT_NE(bits(k7101, R_STS_OVERRIDE_IMP, F_MII_SW_OR), "absent");
    EXPECT_EQ(bits(k7101, R_PORT_VLAN_CTL, F_PORT_EGRESS_EN), "52:0");
    EXPECT_EQ(bits(k7106, R_PORT_VLAN_CTL, F_PORT_EGRESS_EN), "52:24");
}

TEST(catalogue_golden, RowsAreConsistent) {
    for (chipdata_model m : kModels) {
        const chipdata_reg *const *table = chipdata_reg_table(m);
        for (int id = 0; id < CHIPDATA_NUM_REGS; id++) {
            const chipdata_reg *r = table[id];
            if (r == nullptr) continue;
            SCOPED_TRACE(std::string(chipdata_reg_name(id)) + " model " + std::to_string(m));
            ASSERT_NE(chipdata_reg_name(id), nullptr);
            int w = sim::regWidth(*r);
            ASSERT_GE(w, 1);
            ASSERT_LE(w, 8);
            uint64_t mask = (uint64_t(r->mask_hi) << 32) | r->mask_lo;
            uint64_t reset = (uint64_t(r->reset_hi) << 32) | r->reset_lo;
            uint64_t span = w == 8 ? ~0ull : (1ull << (8 * w)) - 1;
            EXPECT_EQ(mask & ~span, 0u) << "implemented bits beyond the width";
            EXPECT_EQ(reset & ~mask, 0u) << "reset value outside the implemented bits";
            EXPECT_EQ(((r->flags & CHIPDATA_RF_ARRAY) != 0), r->count > 1);
            uint64_t seen = 0;
            std::set<uint32_t> ids;
            for (uint32_t i = 0; i < r->num_fields; i++) {
                const chipdata_field &f = r->fields[i];
                ASSERT_NE(chipdata_field_name(f.field), nullptr);
                EXPECT_TRUE(ids.insert(f.field).second) << "field listed twice";
                uint64_t fb = (f.len >= 64 ? ~0ull : ((1ull << f.len) - 1)) << f.bp;
                EXPECT_EQ(fb & seen, 0u) << chipdata_field_name(f.field) << " overlaps";
                EXPECT_EQ(fb & ~mask, 0u) << chipdata_field_name(f.field) << " outside the mask";
                seen |= fb;
            }
        }
    }
}

TEST(catalogue_golden, BlockAndPortTables) {
    struct Expect {
        chipdata_model model;
        int ports, fe, cpu, blocks;
    };
    for (Expect e : {Expect{k7102, 27, 24, 24, 9}, Expect{k7106, 29, 24, 24, 11},
                     Expect{k7101, 53, 48, 48, 16}}) {
        const chipdata_block *blocks = chipdata_block_table(e.model);
        const chipdata_port *ports = chipdata_port_table(e.model);
        int nblocks = 0;
        while (blocks[nblocks].type != -1)
            nblocks++;
        EXPECT_EQ(nblocks, e.blocks);
        int nports = 0;
        while (ports[nports].block != -1)
            nports++;
        ASSERT_EQ(nports, e.ports);
        for (int p = 0; p < nports; p++) {
            int type = blocks[ports[p].block].type;
            if (p < e.fe) {
                EXPECT_EQ(type, int(CHIPDATA_BLK_FE)) << p;
            } else if (p == e.cpu) {
                EXPECT_EQ(type, int(CHIPDATA_BLK_CPU)) << p;
            } else {
                EXPECT_EQ(type, int(CHIPDATA_BLK_GE)) << p;
            }
        }
    }
}

TEST(catalogue_golden, IdentityValues) {
    const uint16_t ids[] = {DXP7101_DEVICE_ID, DXP7102_DEVICE_ID, DXP7103_DEVICE_ID,
                            DXP7104_DEVICE_ID, DXP7105_DEVICE_ID, DXP7106_DEVICE_ID,
                            DXP7107_DEVICE_ID, DXP7108_DEVICE_ID, DXP71090_DEVICE_ID,
                            DXP6202_DEVICE_ID};
    EXPECT_EQ(std::set<uint16_t>(std::begin(ids), std::end(ids)).size(), std::size(ids));
    EXPECT_EQ(PHY_OUI_KEY_C ^ PHY_OUI_KEY_B, 0x2000u);
    EXPECT_EQ(phy_bit_rev_by_byte(0x00000001), 0x00000080u);
    EXPECT_EQ(phy_bit_rev_by_byte(0x00008000), 0x00000100u);
    // The identifier registers decode back to key and model.
    for (uint32_t key : {PHY_OUI_KEY_A, PHY_OUI_KEY_B, PHY_OUI_KEY_C, PHY_OUI_KEY_D}) {
        uint16_t id0 = phy_id0(key);
        uint16_t id1 = phy_id1(key, 0x24, 3);
        uint32_t oui = (uint32_t(id0) << 6) | (id1 >> 10);
        EXPECT_EQ(phy_bit_rev_by_byte(oui), key);
        EXPECT_EQ((id1 >> 4) & 0x3f, 0x24);
        EXPECT_EQ(id1 & 0xf, 3);
    }
}

}  // namespace

namespace {

TEST(catalogue_golden, QueueMapsNameATwoBitFieldPerKey) {
    for (chipdata_model m : {k7101, k7106, k7102}) {
        EXPECT_EQ(bits(m, R_QOS_TCI_TH, F_PRITAG_000), "1:0");
        EXPECT_EQ(bits(m, R_QOS_TCI_TH, F_PRITAG_111), "15:14");
        for (int reg : {R_QOS_D_TOS_TH, R_QOS_T_TOS_TH, R_QOS_R_TOS_TH, R_QOS_M_TOS_TH})
            EXPECT_EQ(bits(m, reg, F_D_TOS_101), "11:10");
        EXPECT_EQ(bits(m, R_QOS_DIFF_DSCP1, F_PRI_DSCP_000101), "11:10");
        EXPECT_EQ(bits(m, R_QOS_DIFF_DSCP2, F_PRI_DSCP_101000), "17:16");
        EXPECT_EQ(bits(m, R_QOS_DIFF_DSCP2, F_PRI_DSCP_000101), "absent");
        EXPECT_EQ(row(m, R_QOS_DIFF_DSCP2).num_fields, 32u);
    }
}

}  // namespace
