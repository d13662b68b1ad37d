#include "sim/profile.h"

#include "chipdata/ids.h"

namespace sim {

namespace {

constexpr ChipProfile kProfiles[] = {
    {ChipKind::DXP7101, "DXP7101", CHIPDATA_DXP7101, DXP7101_DEVICE_ID, 0, 0x4000000, 0x20, 53, 48,
     48, 0, 2048},
    {ChipKind::DXP7106, "DXP7106", CHIPDATA_DXP7106, DXP7106_DEVICE_ID, 0, 0x20000000, 0x22, 29, 24,
     24, 24, 2048},
    {ChipKind::DXP7102A0, "DXP7102_A0", CHIPDATA_DXP7102_A0, DXP7102_DEVICE_ID, 0, 0x200000, 0x1a,
     27, 24, 24, 0, 1536},
    {ChipKind::DXP7102A1, "DXP7102_A1", CHIPDATA_DXP7102_A1, DXP7102_DEVICE_ID, 1, 0x600000, 0x1b,
     27, 24, 24, 0, 1536},
};

}  // namespace

const ChipProfile &ChipProfile::get(ChipKind kind) {
    for (const ChipProfile &p : kProfiles) {
        if (p.kind == kind) return p;
    }
    return kProfiles[0];
}

PortClass ChipProfile::portClass(int port) const {
    if (port < 0 || port >= num_ports) return PortClass::None;
    if (port < fe_ports) return PortClass::FastEthernet;
    if (port == cpu_port) return PortClass::Cpu;
    return PortClass::Gigabit;
}

int ChipProfile::phyPage(int port) const {
    if (port < 0 || port >= num_ports) return -1;
    switch (kind) {
        case ChipKind::DXP7101:
            if (port < 24) return 0xc0 + port;
            if (port < 48) return 0x88 + port;
            return 0xa8 + port;
        case ChipKind::DXP7106:
            return port < 24 ? 0xa0 + port : 0xc0 + port;
        case ChipKind::DXP7102A0:
        case ChipKind::DXP7102A1:
            return 0x10 + port;
    }
    return -1;
}

int ChipProfile::serdesPage(int port) const {
    if (!wideBitmaps() || portClass(port) != PortClass::Gigabit) return -1;
    return 0xb8 + port - cpu_port;
}

}  // namespace sim
