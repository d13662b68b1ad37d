// A simulated board: the switch chip with its management interface (GPIO
// pins, external-bus window), the DMA memory and the list of devices the
// platform's device enumerator reports. Tests and the host program create one
// and bind it to the platform glue (host_binding.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/access_log.h"
#include "sim/anomalies.h"
#include "sim/chip.h"
#include "sim/dma_arena.h"
#include "sim/fabric.h"
#include "sim/gpio.h"
#include "sim/mac_core.h"
#include "sim/profile.h"
#include "sim/serial_slave.h"
#include "sim/window.h"

namespace sim {

enum class BoardKind { RW3090, RW3070, DXP97102R24GM };

// How the device enumerator reaches the switch registers: over the real pin
// and window path (Pins), or straight into the register core (Direct, for long
// or sanitizer-heavy tests). Invisible to everything above the platform glue.
enum class BusMode { Pins, Direct };

struct BoardConfig {
    BoardKind board = BoardKind::RW3090;
    const char *name = "RW3090";
    ChipKind chip = ChipKind::DXP7101;
    int revision = 0;  // reported by the bus; the chip model's default
    int user_ports = 52;
    BusMode bus = BusMode::Pins;
    int chip_id = 0;  // serial-interface chip id
    SerialPins pins;
    uint32_t straps = 0;  // STRAP_STS of the DXP7102
    // What answers on the gigabit ports' PHY pages: nothing (the ports run on
    // the chip's SERDES) or an external PHY of a kind, answering as a part
    // (none given: the kind's usual one).
    PhyKind gigabit_phy = PhyKind::None;
    PhyPart gigabit_part;
    size_t dma_bytes = 4u << 20;
    // The CPU-port MAC on PCI (device 1); single-chip tests leave it out.
    bool cpu_mac = true;
    // The processor's first MAC (the OS interface eth0): on the PCI bus the
    // OS scans, never in the switch SDK's device list.
    bool eth0_mac = true;

    static BoardConfig preset(BoardKind board);
    // "52", "28" or "26": the board with that many front-panel ports; false
    // (with the list of presets in *error) for anything else.
    static bool fromPortCount(const std::string &ports, BoardConfig *out, std::string *error);
    static const char *presetList();
};

// Bus types of the device enumerator (low four bits of the device type).
constexpr uint32_t kBusPci = 1;
constexpr uint32_t kBusSpi = 2;
// Register base of the CPU-port MAC on the processor's backplane.
constexpr uint32_t kMacBase = 0x18001000;
// The eth0 MAC's BAR 0 on the OS's PCI bus (bus 0, device 2).
constexpr uint32_t kEth0MacBase = 0x18000000;

struct DeviceInfo {
    uint16_t device_id;
    uint8_t revision;
    uint32_t bus_type;
    uint32_t base_address;
    uint32_t base_address1;
};

class Board {
  public:
    explicit Board(const BoardConfig &config);
    Board(const Board &) = delete;
    Board &operator=(const Board &) = delete;

    static std::unique_ptr<Board> create(const BoardConfig &config);

    const BoardConfig &config() const { return config_; }
    const ChipProfile &profile() const { return profile_; }
    Chip &chip() { return chip_; }
    SerialSlave &serial() { return serial_; }
    GpioBlock &gpio() { return gpio_; }
    BusWindow &window() { return window_; }
    DmaArena &dma() { return dma_; }
    MacCore &mac() { return mac_; }
    MacCore &eth0Mac() { return eth0_mac_; }
    Anomalies &anomalies() { return anomalies_; }
    AccessLog &accessLog() { return log_; }

    // The frame side: a front-panel port's wire by chip port number
    // (std::out_of_range for a port the chip lacks), the management port,
    // the event queue on the model clock.
    Port &port(int chip_port) { return fabric_.port(chip_port); }
    ImpPort &cpu() { return fabric_.cpu(); }
    Fabric &fabric() { return fabric_; }
    void setCpuSink(FrameSink sink) { fabric_.cpu().setCpuSink(std::move(sink)); }
    void fromCpu(std::span<const uint8_t> frame) { fabric_.cpu().fromCpu(frame); }
    void pump() { fabric_.pump(); }
    DropStats dropStats() const { return fabric_.dropStats(); }

    // Joins the CPU-port MAC to the switch's management port: frames the
    // switch sends to the CPU land in the MAC's receive ring, frames the MAC
    // transmits enter the switch. Without it both ends keep their captures.
    void connectCpuMac();

    // Device 0 is the switch chip on the management bus ("SPI"), device 1 the
    // CPU-port MAC on PCI.
    std::vector<DeviceInfo> devices() const;

  private:
    const BoardConfig config_;
    const ChipProfile &profile_;
    Anomalies anomalies_;
    AccessLog log_;
    Chip chip_;
    SerialSlave serial_;
    GpioBlock gpio_;
    BusWindow window_;
    DmaArena dma_;
    MacCore mac_;
    MacCore eth0_mac_;
    Fabric fabric_;
};

}  // namespace sim
