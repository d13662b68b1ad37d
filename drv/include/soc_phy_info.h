// The per-port PHY record that the unit control record anchors (phy_info[]):
// filled by the PHY layer at probe time, read by the chip's MII services for
// the flags of the PHY they reach.
#pragma once

#include <atomic>
#include <cstdint>

#include "soc_control.h"

struct soc_phy_info_t {
    uint16_t phy_id0;  // identifier register 2, 0xffff when unreadable
    uint16_t phy_id1;  // identifier register 3
    uint8_t phy_addr;
    uint8_t phy_addr_int;  // internal PHY, 255 when none
    const char *phy_name;
    uint32_t phy_flags;
    uint32_t phy_an_timeout;  // microseconds
};

// phy_flags bits.
constexpr uint32_t PHY_FLAGS_COPPER = 0x1;
constexpr uint32_t PHY_FLAGS_FIBER = 0x2;
constexpr uint32_t PHY_FLAGS_PASSTHRU = 0x4;
constexpr uint32_t PHY_FLAGS_TBI = 0x8;
constexpr uint32_t PHY_FLAGS_DISABLE = 0x20;
constexpr uint32_t PHY_FLAGS_C45 = 0x40;
constexpr uint32_t PHY_FLAGS_100FX = 0x80;
constexpr uint32_t PHY_FLAGS_SERDES = 0x200;  // the chip's internal SERDES

// The flags change at run time (port enable, medium) while the link scan
// reads them: both sides go through these.
inline uint32_t soc_phy_flags(const soc_phy_info_t *pi) {
    return std::atomic_ref<uint32_t>(const_cast<uint32_t &>(pi->phy_flags))
        .load(std::memory_order_relaxed);
}
inline void soc_phy_flags_change(soc_phy_info_t *pi, uint32_t set, uint32_t clear) {
    std::atomic_ref<uint32_t> flags(pi->phy_flags);
    uint32_t old = flags.load(std::memory_order_relaxed);
    while (!flags.compare_exchange_weak(old, (old & ~clear) | set, std::memory_order_relaxed)) {
    }
}

// The port's record, null while the PHY layer has none.
inline soc_phy_info_t *soc_phy_info(int unit, int port) {
    soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr || port < 0 || port >= SOC_MAX_NUM_PORTS) return nullptr;
    return static_cast<soc_phy_info_t *>(s->phy_info[port]);
}
