// The register writes init makes on the chip itself: flow-control buffer
// thresholds and PHY-scan control at every init, the per-port start state
// after a reset; and the chip-level functions table.
#include <array>
#include <span>

#include "chipdata/chipdata.h"
#include "drv_if.h"
#include "drv_reg.h"
#include "drv_reg_value.h"
#include "soc.h"
#include "soc_chip_port.h"
#include "soc_control.h"
#include "soc_error.h"

namespace {

constexpr uint32_t kStpForwarding = 5;

// chip_flags groups tested here.
constexpr uint32_t kHasWatchdogRegfile = 0x93000000;
constexpr uint32_t kFamilyPortControl = 0x2c200000;  // TH_PCTL / G_PCTL
constexpr uint32_t kMiiPortControl = 0x13800000;     // MII_PCTL / G_PCTL
constexpr uint32_t kGigabitOnlyControl = 0x80000000;
constexpr uint32_t kStpStsChips = 0x92000000;
constexpr uint32_t kOwnPhyScan = 0x2ca00000;
constexpr uint32_t kPortGroupB = 0x10000000;

struct FieldValue {
    uint32_t field;
    uint32_t value;
};

struct RegSetup {
    uint32_t reg;
    std::array<FieldValue, 5> fields;
    int count;
};

// Flow-control set-up A (DXP7102).
constexpr RegSetup kSetupA[] = {
    {R_FCON_FLOWMIX,
     {{{F_EN_MCAST_DROP, 1},
       {F_EN_UCAST_DROP, 1},
       {F_EN_TXQ_PAUSE, 1},
       {F_EN_RX_DROP, 0},
       {F_EN_RX_PAUSE, 0}}},
     5},
    {R_FCON_GLOB_TH_CTRL_2, {{{F_FCON_GLOB_DROP_TH, 252}, {F_FCON_GLOB_MCDROP_TH, 252}}}, 2},
    {R_FCON_GLOB_TH_CTRL_1, {{{F_FCON_GLOB_PAUSE_TH, 184}, {F_FCON_GLOB_HYST_TH, 174}}}, 2},
    {R_FCON_Q0_100_TH_CTRL_2, {{{F_BT100_DROP_THRS, 51}}}, 1},
    {R_FCON_Q1_100_TH_CTRL_2, {{{F_BT100_DROP_THRS, 51}}}, 1},
    {R_FCON_Q2_100_TH_CTRL_2, {{{F_BT100_DROP_THRS, 51}}}, 1},
    {R_FCON_Q3_100_TH_CTRL_2, {{{F_BT100_DROP_THRS, 51}}}, 1},
    {R_FCON_Q0_100_TH_CTRL_1, {{{F_BT100_PAUS_THRS, 16}, {F_BT100_HYST_THRS, 7}}}, 2},
    {R_FCON_Q1_100_TH_CTRL_1, {{{F_BT100_PAUS_THRS, 16}, {F_BT100_HYST_THRS, 7}}}, 2},
    {R_FCON_Q2_100_TH_CTRL_1, {{{F_BT100_PAUS_THRS, 16}, {F_BT100_HYST_THRS, 7}}}, 2},
    {R_FCON_Q3_100_TH_CTRL_1, {{{F_BT100_PAUS_THRS, 16}, {F_BT100_HYST_THRS, 7}}}, 2},
    {R_FCON_MISC_TXFLOW_CTRL, {{{F_RESERVE_BLANCE, 1}, {F_TOTAL_1QTH_DROP, 252}}}, 2},
    {R_FCON_RSRV_BUFNUM, {{{F_RXBASE_RESV_BUFNUM, 6}, {F_RUNOFF, 1}, {F_RESERVED_R, 0}}}, 3},
};

// Flow-control set-up B (DXP7101, DXP7106).
constexpr RegSetup kSetupB[] = {
    {R_FCON_FLOWMIX,
     {{{F_QOS_RSRV_QUOTA_OPT, 3}, {F_EN_PARKING_PREVENTION, 1}, {F_EN_RX_PAUSE, 0}}},
     3},
    {R_FCON_GLOB_TH_CTRL_2, {{{F_FCON_GLOB_DROP_TH, 214}, {F_FCON_GLOB_MCDROP_TH, 214}}}, 2},
    {R_FCON_GLOB_TH_CTRL_1, {{{F_FCON_GLOB_PAUSE_TH, 134}, {F_FCON_GLOB_HYST_TH, 129}}}, 2},
    {R_FCON_Q0_100_TH_CTRL_2, {{{F_BT100_DROP_THRS, 196}}}, 1},
    {R_FCON_Q1_100_TH_CTRL_2, {{{F_BT100_DROP_THRS, 196}}}, 1},
    {R_FCON_Q2_100_TH_CTRL_2, {{{F_BT100_DROP_THRS, 196}}}, 1},
    {R_FCON_Q3_100_TH_CTRL_2, {{{F_BT100_DROP_THRS, 196}}}, 1},
    {R_FCON_Q0_100_TH_CTRL_1, {{{F_BT100_PAUS_THRS, 39}}}, 1},
    {R_FCON_Q1_100_TH_CTRL_1, {{{F_BT100_PAUS_THRS, 39}}}, 1},
    {R_FCON_Q2_100_TH_CTRL_1, {{{F_BT100_PAUS_THRS, 39}}}, 1},
    {R_FCON_Q3_100_TH_CTRL_1, {{{F_BT100_PAUS_THRS, 39}}}, 1},
    {R_FCON_MISC_TXFLOW_CTRL, {{{F_RESERVE_BLANCE, 1}, {F_TOTAL_LQTH_DROP, 214}}}, 2},
    {R_FCON_RXBASE_BUFNUM, {{{F_RXBASE_RESV_BUFNUM, 15}}}, 1},
};

uint32_t chip_flags(int unit) {
    return SOC_CONTROL(unit)->chip_flags;
}

// Chips of other families reach these paths only through the default driver,
// whose tables may lack their registers.
bool has_reg(int unit, uint32_t reg) {
    return SOC_REG_INFO(unit, reg) != nullptr;
}

int set_fields(int unit, uint32_t reg, int index, std::span<const FieldValue> fields) {
    DrvRegValue v(unit, reg, index);
    if (int rv = v.read(); rv < 0) return rv;
    for (const FieldValue &f : fields)
        v.set(f.field, f.value);
    return v.write();
}

int set_field(int unit, uint32_t reg, uint32_t field, uint32_t value) {
    const FieldValue f[] = {{field, value}};
    return set_fields(unit, reg, 0, f);
}

// The first failing access ends the set-up with its error.
int flow_control_setup(int unit, std::span<const RegSetup> steps) {
    for (const RegSetup &s : steps) {
        int rv = set_fields(unit, s.reg, 0, std::span(s.fields).first(s.count));
        if (rv < 0) return rv;
    }
    return SOC_E_NONE;
}

int nothing(int) {
    return 0;
}

}  // namespace

const soc_functions_t soc_tarn_functions = {
    soc_tarn_chip_init, {nothing, nothing, nothing, nothing}, nullptr};

int soc_chip_init(int unit) {
    if (!soc_unit_attached(unit)) return SOC_E_INIT;
    return SOC_CONTROL(unit)->chip_functions->chip_init(unit);
}

int soc_tarn_chip_init(int unit) {
    uint32_t flags = chip_flags(unit);
    // The set-up's result does not decide init: the PHY-scan step below runs
    // and answers regardless.
    if (flags & SOC_CHIP_DXP7102) {
        (void)flow_control_setup(unit, kSetupA);
    } else if (flags & SOC_CHIP_DXP7103) {
        if (has_reg(unit, R_EXTPHY_SCAN_CTL))
            (void)set_field(unit, R_EXTPHY_SCAN_CTL, F_PHY_SCAN_EN, 1);
    } else if ((flags & SOC_CHIP_DXP7101_FAMILY) && !(flags & kPortGroupB)) {
        (void)flow_control_setup(unit, kSetupB);
    }
    // The software link scan polls the PHYs; the chip's own scan stays off.
    if (!(flags & kOwnPhyScan)) return 0;
    if (flags & kFamilyPortControl) return set_field(unit, R_PHYSCAN_CTL, F_EN_PHY_SCAN, 0);
    if (!has_reg(unit, R_EXTPHY_SCAN_CTL)) return 0;
    return set_field(unit, R_EXTPHY_SCAN_CTL, F_PHY_SCAN_EN, 0);
}

void soc_tarn_port_reset_init(int unit) {
    const soc_control_t *s = SOC_CONTROL(unit);
    uint32_t flags = s->chip_flags;
    if ((flags & kHasWatchdogRegfile) && has_reg(unit, R_WATCH_DOG_CTRL)) {
        if (set_field(unit, R_WATCH_DOG_CTRL, F_EN_RST_REGFILE, 1) < 0) return;
    }
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(s->e.bitmap, port)) continue;
        bool gigabit = soc_pbmp_member(s->ge.bitmap, port);
        uint32_t reg;
        int index = port;
        if (flags & kFamilyPortControl) {
            reg = gigabit ? R_G_PCTL : R_TH_PCTL;
        } else if (flags & kMiiPortControl) {
            reg = gigabit ? R_G_PCTL : R_MII_PCTL;
            if (!gigabit) index = 0;
        } else if ((flags & kGigabitOnlyControl) && gigabit) {
            reg = R_G_PCTL;
        } else {
            continue;
        }
        uint32_t field = gigabit                        ? F_G_MISTP_STATE
                         : (flags & kFamilyPortControl) ? F_MISTP_STATE
                         : (flags & SOC_CHIP_DXP7103)   ? F_MII_MISTP_STATE
                         : (flags & kStpStsChips)       ? F_STP_STS
                                                        : F_MISTP_STATE;
        const FieldValue f[] = {{field, kStpForwarding}};
        if (set_fields(unit, reg, index, f) < 0) return;
    }
    const FieldValue mode[] = {{F_SW_FWDG_EN, 1}, {F_SW_FWDG_MODE, 1}};
    (void)set_fields(unit, R_SWMODE, 0, mode);
}

int soc_tarn_loop_detect_enable_set(int unit, int enable) {
    return set_field(unit, R_LPDET_CFG, F_EN_LPDET, enable ? 1 : 0);
}

int soc_tarn_loop_detect_enable_get(int unit, int *enable) {
    DrvRegValue v(unit, R_LPDET_CFG);
    if (int rv = v.read(); rv < 0) return rv;
    *enable = v.get(F_EN_LPDET);
    return 0;
}

int soc_tarn_loop_detect_sa_set(int unit, const uint8_t mac[6]) {
    DrvRegValue v(unit, R_LD_FRM_SA);
    uint32_t field[2] = {0, 0};
    soc_tarn_mac_to_field(mac, field);
    v.setWords(F_LD_SA, field);
    return v.write();
}

int soc_tarn_led_warning_portmap_get(int unit, soc_pbmp_t *bmp) {
    DrvRegValue v(unit, R_LED_PORTMAP);
    if (int rv = v.read(); rv < 0) return rv;
    uint32_t field[2] = {0, 0};
    v.getWords(F_LED_WARNING_PORTMAP, field);
    return soc_tarn_regval_to_pbmp(unit, bmp, field[0], field[1]);
}
