// How a chip model lays out a port in the MAC registers.
#pragma once

#include "soc_error.h"
#include "sal.h"
#include "soc_cm.h"
#include "soc_control.h"

namespace drv_mac {

constexpr uint32_t kWideModels = 0x2c000000;  // 64-bit status and flow-control registers
constexpr uint32_t kCpuPortTypes = 0x60;
constexpr uint32_t kEthernetPortTypes = 0x0c400c1f;

struct MacPort {
    int port;
    bool dxp7102;
    bool wide;
    int off;  // chip port numbering offset (24 on the DXP7106)
    int cpu;
    bool fe;
    bool ge;
    bool cpu_port;
    bool ethernet;

    explicit MacPort(int unit, int p) : port(p) {
        const soc_control_t *s = SOC_CONTROL(unit);
        dxp7102 = s->chip_flags & SOC_CHIP_DXP7102;
        wide = s->chip_flags & kWideModels;
        off = (s->chip_flags & SOC_CHIP_DXP7106) ? 24 : 0;
        cpu = s->cmic_port;
        bool in_range = p >= 0 && p < SOC_MAX_NUM_PORTS;
        fe = soc_pbmp_member(s->fe.bitmap, p);
        ge = soc_pbmp_member(s->ge.bitmap, p);
        cpu_port = in_range && (s->port_type[p] & kCpuPortTypes);
        ethernet = in_range && (s->port_type[p] & kEthernetPortTypes);
    }

    // Ports the fast-Ethernet driver serves: its own and the DXP7102's CPU port.
    bool feDriver() const { return fe || (dxp7102 && cpu_port); }
    // Ports the gigabit driver serves: its own and the wide models' CPU port.
    bool geDriver() const { return ge || (wide && cpu_port); }
    // Ports with one bit in the flow-control and speed-status registers.
    bool oneBit() const { return feDriver(); }
    // Ports with a two-bit field there.
    bool twoBits() const { return geDriver(); }
    // Bit of a one-bit-per-port register.
    int bit() const { return port + off; }
    // Low bit of the port's two-bit field.
    int q() const { return wide ? 2 * port - cpu + off : 2 * port - 25; }
};

// The unit's "MIIM" mutex, held while the status overrides change: link scan
// writes the same registers.
class MiimLock {
  public:
    explicit MiimLock(int unit) : m_(SOC_CONTROL(unit)->miim_lock) {
        if (m_ != nullptr) sal_mutex_take(m_, sal_mutex_FOREVER);
    }
    ~MiimLock() {
        if (m_ != nullptr) sal_mutex_give(m_);
    }
    MiimLock(const MiimLock &) = delete;
    MiimLock &operator=(const MiimLock &) = delete;

  private:
    sal_mutex_t m_;
};

constexpr uint32_t kTrace = DK_API;

}  // namespace drv_mac
