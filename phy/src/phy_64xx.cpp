// Gigabit PHY models that run the generic gigabit driver plus their own
// register settings after every reset.
#include "phy.h"
#include "phy_internal.h"
#include "soc_error.h"

using namespace phy;

namespace {

int settings_6406(int unit, int port) {
    constexpr RegWrite kSeq[] = {{24, 0x0c20}, {23, 0x0012}, {21, 0x1804}, {23, 0x0013},
                                 {21, 0x1204}, {23, 0x8006}, {21, 0x0132}, {23, 0x8006},
                                 {21, 0x0232}, {23, 0x201f}, {21, 0x0a20}};
    return write_seq(unit, port, kSeq, 11);
}

int settings_6407(int unit, int port) {
    if (port % 2 == 1) {
        if (int rv = wr(unit, port, 24, 0x0212); rv < 0) return rv;
    }
    constexpr RegWrite kSeq[] = {{24, 0x0c20}, {23, 0x0007}, {21, 0x8107}, {24, 0x0420}};
    return write_seq(unit, port, kSeq, 4);
}

int settings_6408(int unit, int port) {
    if ((port + 2) % 4 == 0) {
        if (int rv = wr(unit, port, 24, 0x0592); rv < 0) return rv;
    }
    constexpr RegWrite kSeq[] = {{28, 0x8820}, {4, 0x05de}};
    return write_seq(unit, port, kSeq, 2);
}

int settings_6409(int unit, int port) {
    constexpr RegWrite kSeq[] = {{24, 0x0420}, {24, 0x0004}};
    return write_seq(unit, port, kSeq, 2);
}

int settings_6410(int unit, int port) {
    uint16_t v = 0;
    if (int rv = rd(unit, port, 16, &v); rv < 0) return rv;
    if (int rv = wr(unit, port, 16, v | 0x0021); rv < 0) return rv;
    if (int rv = wr(unit, port, 24, 0x0007); rv < 0) return rv;
    if (int rv = rd(unit, port, 24, &v); rv < 0) return rv;
    return wr(unit, port, 24, v | 0x4000);
}

template <int (*settings)(int, int)>
int model_init(int unit, int port) {
    if (int rv = ge_init(unit, port); rv < 0) return rv;
    return settings(unit, port);
}

// After a link loss the PHY is reset; the user's control, advertisement and
// 1000BASE-T control values survive it.
template <int (*settings)(int, int)>
int model_link_down(int unit, int port) {
    constexpr uint32_t kKept[] = {MII_CTRL, MII_ANA, MII_GB_CTRL};
    uint16_t kept[3] = {};
    for (int i = 0; i < 3; i++) {
        if (int rv = rd(unit, port, kKept[i], &kept[i]); rv < 0) return rv;
    }
    if (int rv = phy_common_reset(unit, port); rv < 0) return rv;
    if (int rv = settings(unit, port); rv < 0) return rv;
    for (int i = 0; i < 3; i++) {
        if (int rv = wr(unit, port, kKept[i], kept[i]); rv < 0) return rv;
    }
    return SOC_E_NONE;
}

template <int (*settings)(int, int)>
constexpr phy_driver_t model_driver(const char *name) {
    phy_driver_t d = ge_driver_slots();
    d.drv_name = name;
    d.init = model_init<settings>;
    d.linkdown_event = model_link_down<settings>;
    return d;
}

}  // namespace

constinit const phy_driver_t phy_6406_drv = model_driver<settings_6406>("6406 Gigabit PHY Driver");
constinit const phy_driver_t phy_6407_drv = model_driver<settings_6407>("6407 Gigabit PHY Driver");
constinit const phy_driver_t phy_6408_drv = model_driver<settings_6408>("6408 Gigabit PHY Driver");
constinit const phy_driver_t phy_6409_drv = model_driver<settings_6409>("6409 Gigabit PHY Driver");
constinit const phy_driver_t phy_6410_drv =
    model_driver<settings_6410>("6410/11 Gigabit PHY Driver");
