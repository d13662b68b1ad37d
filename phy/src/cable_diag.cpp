// Cable tests that the PHY measures itself: the two-pair test of the
// fast-Ethernet PHYs through their shadow bank, and the 640X test, either the
// PHY's built-in test through its expansion registers or the echo analysis.
#include "chipdata/ids.h"
#include "drv_port.h"
#include "phy.h"
#include "phy_internal.h"
#include "sal.h"
#include "soc_control.h"
#include "soc_error.h"
#include "soc_miim.h"
#include "soc_property.h"

using namespace phy;

namespace {

constexpr uint32_t kFeTest = 19, kFeTestCtl = 20, kFeLinkQuality = 27, kShadow = 31;
constexpr uint16_t kShadowOpen = 0x008b, kShadowClose = 0x000b;
constexpr uint16_t kFeBusy = 0x0004, kFeDoneMask = 0x03c0, kFeDone = 0x0300;
// The fast-Ethernet PHY gives no bound for its test; a finished test takes a
// few polls, so this many means the PHY has hung.
constexpr int kFePolls = 1000;

// A short settling pause between shadow-bank accesses.
void busy_delay() {
    volatile int count = 0;
    while (count < 1000)
        count = count + 1;
}

constexpr int32_t fe_state(uint16_t field) {
    constexpr int32_t kStates[4] = {0, 1, 2, 5};  // Ok, Open, Short, Unknown
    return kStates[field & 3];
}

// Runs the started fast-Ethernet test to completion and reads its states and
// lengths; a bad completion closes the shadow bank and fails the test.
int fe_collect(int unit, int port, phy_cable_diag_t *r, bool sleep, int32_t fuzz) {
    uint16_t v = kFeBusy;
    for (int polls = 0; v & kFeBusy; polls++) {
        if (polls == kFePolls) {
            (void)wr(unit, port, kShadow, kShadowClose);
            return SOC_E_TIMEOUT;
        }
        if (sleep) {
            sal_usleep(1000);
        } else {
            busy_delay();
        }
        if (int rv = wr(unit, port, kFeTestCtl, 0); rv < 0) return rv;
        if (int rv = rd(unit, port, kFeTest, &v); rv < 0) return rv;
    }
    if ((v & kFeDoneMask) != kFeDone) {
        (void)wr(unit, port, kShadow, kShadowClose);
        return SOC_E_FAIL;
    }
    r->npairs = 2;
    r->fuzz_len = fuzz;
    r->pair_state[0] = fe_state(v >> 10);
    r->pair_state[1] = fe_state(v >> 12);
    r->state = r->pair_state[0] > r->pair_state[1] ? r->pair_state[0] : r->pair_state[1];
    if (int rv = rd(unit, port, kFeTest, &v); rv < 0) return rv;
    r->pair_len[0] = ((v & 0xff) * 80) / 100;
    r->pair_len[1] = ((v >> 8) * 80) / 100;
    return SOC_E_NONE;
}

void both_pairs_ok(phy_cable_diag_t *r, int32_t len, int32_t fuzz) {
    *r = {};
    r->npairs = 2;
    r->pair_len[0] = r->pair_len[1] = len;
    r->fuzz_len = fuzz;
}

// ---- 640X

constexpr uint32_t kAuxStatus = 17, kIntStatus = 25, kExpNumber = 23, kExpValue = 21;
constexpr uint16_t kAuxLinked = 0x0100, kIntBothRx = 0x0600;
constexpr uint16_t kStatusOpenShort = 0x0002;
constexpr int kRunPolls = 50;

int miim_rd(int unit, int addr, uint32_t reg, uint16_t *v) {
    return soc_miim_read(unit, static_cast<uint32_t>(addr), reg, v);
}
int miim_wr(int unit, int addr, uint32_t reg, uint16_t v) {
    return soc_miim_write(unit, static_cast<uint32_t>(addr), reg, v);
}
int exp_wr(int unit, int addr, uint16_t number, uint16_t v) {
    if (int rv = miim_wr(unit, addr, kExpNumber, number); rv < 0) return rv;
    return miim_wr(unit, addr, kExpValue, v);
}
int exp_rd(int unit, int addr, uint16_t number, uint16_t *v) {
    if (int rv = miim_wr(unit, addr, kExpNumber, number); rv < 0) return rv;
    return miim_rd(unit, addr, kExpValue, v);
}
// Writes reg = (read value & ~clear) | set.
int miim_rmw(int unit, int addr, uint32_t reg, uint16_t set, uint16_t clear) {
    uint16_t v = 0;
    if (int rv = miim_rd(unit, addr, reg, &v); rv < 0) return rv;
    return miim_wr(unit, addr, reg, static_cast<uint16_t>((v & ~clear) | set));
}

constexpr uint16_t kUnlinkedSets[3][11] = {
    {0x5014, 0x0ed8, 0x0af0, 0x047e, 0x0a14, 0x3c00, 0x0640, 0x00fa, 0x012c, 0x0a60, 0x000b},
    {0xffff, 0x04b0, 0x0320, 0x0320, 0x608c, 0xa000, 0x03e8, 0x0258, 0x00b4, 0x0a14, 0x000b},
    {0xffff, 0xffff, 0xffff, 0xffff, 0x608c, 0xa000, 0x03e8, 0x0258, 0x00b4, 0x0a14, 0x000b},
};

void lengths_of(const phy_640x_cdiag_params_t &p, phy_cable_diag_t *r) {
    r->pair_len[0] = p.result_a & 0xff;
    r->pair_len[1] = p.result_a >> 8;
    r->pair_len[2] = p.result_b & 0xff;
    r->pair_len[3] = p.result_b >> 8;
}

// One pair's reading that lost its echo takes its partner's.
void mend(int32_t *a, int32_t *b) {
    if (*a < 128 && *b > 140) *b = *a;
    if (*b < 128 && *a > 140) *a = *b;
}

// The test code unless it failed, else the reset set-up's failure, else the
// test's value.
int restore_640x(int unit, int port, int test_rv) {
    const int reset_rv = reset_setup_640x(unit, port);
    if (test_rv < 0) return test_rv;
    return reset_rv < 0 ? reset_rv : test_rv;
}

int linked_640x(int unit, int port, int addr, uint16_t variant, phy_cable_diag_t *r) {
    uint16_t v = 0;
    if (int rv = rd(unit, port, kIntStatus, &v); rv < 0) return rv;
    // A linked port is measured, never pulse-tested: its pair states say
    // nothing, and the caller hears so.
    if ((v & kIntBothRx) != kIntBothRx) {
        r->npairs = 2;
        r->pair_len[0] = r->pair_len[1] = -1;
        return PHY_CABLE_DIAG_LINK_UP;
    }
    phy_640x_cdiag_params_t p{.mode = 1,
                              .p = {0, 0, 0, 0, 0, 0, 300, 200, 160, 0x6096, 0x0207},
                              .status = 0,
                              .result_a = 0,
                              .result_b = 0};
    const int rv = phy_640x_cdiag_run(unit, addr, &p);
    if (rv < 0) return rv;
    lengths_of(p, r);
    if (variant == 11) {
        mend(&r->pair_len[0], &r->pair_len[1]);
        mend(&r->pair_len[2], &r->pair_len[3]);
    }
    return PHY_CABLE_DIAG_LINK_UP;
}

int unlinked_640x(int unit, int port, int addr, phy_cable_diag_t *r) {
    if (int rv = phy_640x_cdiag_prepare(unit, addr); rv < 0) return restore_640x(unit, port, rv);
    phy_640x_cdiag_params_t p{};
    int rv = SOC_E_NONE;
    for (const auto &set : kUnlinkedSets) {
        p = {.mode = 0, .p = {}, .status = 0, .result_a = 0, .result_b = 0};
        for (int i = 0; i < 11; i++)
            p.p[i] = set[i];
        rv = phy_640x_cdiag_run(unit, addr, &p);
        if (rv < 0 || (p.status & kStatusOpenShort)) break;
    }
    if (rv >= 0) {
        if (p.status & kStatusOpenShort) r->state = 3;
        for (int i = 0; i < 4; i++) {
            r->pair_state[i] = (p.status & (0x0100 << i)) ? 3 : (p.status & (0x1000 << i)) ? 5 : 0;
        }
        lengths_of(p, r);
    }
    return restore_640x(unit, port, rv);
}

}  // namespace

namespace phy {

int fe_cable_diag(int unit, int port, phy_cable_diag_t *result) {
    if (!SOC_IS_FAMILY_LAYOUT(unit)) return SOC_E_UNAVAIL;
    return phy_fe_cable_diag(unit, port, result);
}

int cable_diag_631x(int unit, int port, phy_cable_diag_t *result) {
    Ident id{};
    if (int rv = ident_read(unit, port, &id); rv < 0) return rv;
    const bool tested =
        id.is(PHY_OUI_KEY_B, PHY_MODEL_6317) || id.is(PHY_OUI_KEY_B, PHY_MODEL_7101_FE) ||
        id.is(PHY_OUI_KEY_B, PHY_MODEL_7102_FE) || id.is(PHY_OUI_KEY_C, PHY_MODEL_7102_FE);
    if (!tested) return SOC_E_UNAVAIL;
    if (result == nullptr) return SOC_E_PARAM;
    uint16_t status = 0, v = 0;
    if (int rv = rd(unit, port, 25, &status); rv < 0) return rv;
    if (int rv = wr(unit, port, kShadow, kShadowOpen); rv < 0) return rv;
    sal_usleep(1000);
    if (status & 0x0004) {
        if (int rv = rd(unit, port, 24, &v); rv < 0) return rv;
        const int32_t q = (v & 0x7e00) >> 9;
        both_pairs_ok(result, ((172000 * q - 1576036) / 100000) & 0xff, 5);
    } else {
        static constexpr RegWrite kStart[] = {
            {kFeTestCtl, 0x0000}, {kFeTest, 0x0000}, {kFeTest, 0x0000}, {kFeTest, 0x4824},
            {kFeTest, 0x4000},    {kFeTest, 0x0500}, {kFeTest, 0xc404}, {kFeTest, 0x0100},
            {kFeTest, 0x004c},    {kFeTest, 0x8006},
        };
        if (int rv = write_seq(unit, port, kStart, 10); rv < 0) return rv;
        if (int rv = fe_collect(unit, port, result, true, 0); rv < 0) return rv;
    }
    return wr(unit, port, kShadow, kShadowClose);
}

}  // namespace phy

int phy_fe_cable_diag(int unit, int port, phy_cable_diag_t *result) {
    if (result == nullptr) return SOC_E_PARAM;
    if (int rv = wr(unit, port, kShadow, kShadowOpen); rv < 0) return rv;
    busy_delay();
    uint16_t v = 0;
    if (int rv = rd(unit, port, kFeTestCtl, &v); rv < 0) return rv;
    if (v & 0x0040) {
        // With link the PHY only estimates the length from the signal.
        if (int rv = rd(unit, port, kFeLinkQuality, &v); rv < 0) return rv;
        const int32_t q20 = 20 * ((v >> 12) & 7);
        both_pairs_ok(result, (q20 < 35 ? 0 : q20 - 35) + 10, 10);
    } else {
        static constexpr RegWrite kStart[] = {
            {kFeTestCtl, 0x0000}, {kFeTest, 0x0000}, {kFeTestCtl, 0x0200}, {kFeTest, 0x4824},
            {kFeTest, 0x0400},    {kFeTest, 0x0500}, {kFeTest, 0xc404},    {kFeTest, 0x0100},
            {kFeTest, 0x004f},    {kFeTestCtl, 0},   {kFeTest, 0x8006},
        };
        if (int rv = write_seq(unit, port, kStart, 11); rv < 0) return rv;
        if (int rv = fe_collect(unit, port, result, false, 1); rv < 0) return rv;
    }
    return wr(unit, port, kShadow, kShadowClose);
}

int phy_640x_cdiag_prepare(int unit, int addr) {
    if (int rv = miim_wr(unit, addr, 28, 0x7c00); rv < 0) return rv;
    if (int rv = miim_rmw(unit, addr, 28, 0x8000, 0x0001); rv < 0) return rv;
    uint16_t v = 0;
    if (int rv = miim_rd(unit, addr, 0, &v); rv < 0) return rv;
    if (int rv = miim_wr(unit, addr, 0, 0x0040); rv < 0) return rv;
    if (int rv = miim_wr(unit, addr, 24, 0x0007); rv < 0) return rv;
    if (int rv = miim_rmw(unit, addr, 24, 0x0800, 0); rv < 0) return rv;
    if (int rv = miim_wr(unit, addr, 24, 0x7007); rv < 0) return rv;
    if (int rv = miim_rmw(unit, addr, 24, 0x8000, 0x0200); rv < 0) return rv;
    if (int rv = miim_wr(unit, addr, kExpNumber, 0x0000); rv < 0) return rv;
    if (int rv = miim_rd(unit, addr, kExpValue, &v); rv < 0) return rv;
    if (int rv = miim_wr(unit, addr, kExpValue, 0xf8b5); rv < 0) return rv;
    for (uint16_t n : {0x2000, 0x4000, 0x6000}) {
        if (int rv = exp_wr(unit, addr, n, 0xf8b5); rv < 0) return rv;
    }
    if (int rv = miim_wr(unit, addr, kExpNumber, 0x8100); rv < 0) return rv;
    if (int rv = miim_wr(unit, addr, 22, 0x0002); rv < 0) return rv;
    if (int rv = miim_rd(unit, addr, kExpValue, &v); rv < 0) return rv;
    if (int rv = miim_wr(unit, addr, kExpValue, 0x0030); rv < 0) return rv;
    if (int rv = miim_wr(unit, addr, kExpNumber, 0x8200); rv < 0) return rv;
    return miim_wr(unit, addr, 22, 0x0002);
}

int phy_640x_cdiag_run(int unit, int addr, phy_640x_cdiag_params_t *p) {
    if (p->mode == 0) {
        for (int i = 0; i < 6; i++) {
            if (int rv = exp_wr(unit, addr, static_cast<uint16_t>(0x0f14 + i), p->p[i]); rv < 0)
                return rv;
        }
    }
    for (int i = 6; i < 10; i++) {
        if (int rv = exp_wr(unit, addr, static_cast<uint16_t>(0x0f1a + i - 6), p->p[i]); rv < 0)
            return rv;
    }
    if (int rv = exp_wr(unit, addr, 0x0f10, p->p[10]); rv < 0) return rv;
    for (int poll = 0; poll < kRunPolls; poll++) {
        sal_usleep(1000);
        uint16_t v = 0;
        if (int rv = exp_rd(unit, addr, 0x0f11, &v); rv < 0) return rv;
        if (v & 0x0001) {
            p->status = v;
            if (int rv = exp_rd(unit, addr, 0x0f12, &p->result_a); rv < 0) return rv;
            return exp_rd(unit, addr, 0x0f13, &p->result_b);
        }
    }
    return SOC_E_TIMEOUT;
}

int cable_diag_hw(int unit, int port, phy_cable_diag_t *result) {
    if (result == nullptr) return SOC_E_PARAM;
    uint16_t variant = 0;
    if (int rv = variant_640x(unit, port, &variant); rv < 0) return rv;
    if (variant != 9 && variant != 11 && variant != 12 && variant != 13) return SOC_E_UNAVAIL;
    *result = {};
    result->npairs = 4;
    // The port's link is on the fibre: the copper pairs carry none of it, and
    // a test would reset the PHY under the live fibre link.
    if (!(flags(unit, port) & PHY_FLAGS_COPPER)) {
        for (int32_t &len : result->pair_len)
            len = -1;
        return PHY_CABLE_DIAG_ON_FIBER;
    }
    const int addr = info(unit, port)->phy_addr;
    if (soc_property_get(unit, "cable_diag_hw", 0) == 0) {
        const int rv = phy_cdiag_sw(unit, addr, result);
        return rv <= 0 ? restore_640x(unit, port, rv) : rv;
    }
    if (variant != 11 && variant != 12) return SOC_E_UNAVAIL;
    uint16_t aux = 0;
    if (int rv = rd(unit, port, kAuxStatus, &aux); rv < 0) return rv;
    if (aux & kAuxLinked) return linked_640x(unit, port, addr, variant, result);
    return unlinked_640x(unit, port, addr, result);
}
