// Constants of one chip model: identity, port layout and page map.
#pragma once

#include <cstdint>
#include <string>

#include "chipdata/chipdata.h"

namespace sim {

enum class ChipKind { DXP7101, DXP7106, DXP7102A0, DXP7102A1 };

enum class PortClass { None, FastEthernet, Cpu, Gigabit };

struct ChipProfile {
    ChipKind kind;
    const char *name;
    chipdata_model data_model;
    uint16_t device_id;
    uint8_t revision;
    uint32_t chip_flags;
    int chip_type;
    int num_ports;    // chip ports 0 .. num_ports-1
    int fe_ports;     // fast-Ethernet ports 0 .. fe_ports-1
    int cpu_port;     // then the CPU port, then the gigabit ports
    int port_offset;  // added to port numbers the chip reports (24 on DXP7106)
    int frame_max;

    static const ChipProfile &get(ChipKind kind);

    PortClass portClass(int port) const;
    // Register page of the port's PHY (the CPU port has one too), -1 for no port.
    int phyPage(int port) const;
    // Register page of a gigabit port's SERDES (DXP7101 family), -1 for none.
    int serdesPage(int port) const;
    bool wideBitmaps() const { return chip_flags & 0x24000000; }  // DXP7101 family
};

}  // namespace sim
