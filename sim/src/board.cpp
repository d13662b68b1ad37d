#include "sim/board.h"

#include "chipdata/ids.h"

namespace sim {

namespace {

struct Preset {
    const char *ports;
    BoardKind board;
    const char *name;
    ChipKind chip;
    int user_ports;
    PhyKind gigabit_phy;
};

// The DXP7102 has no SERDES of its own: its gigabit ports carry copper PHYs.
constexpr Preset kPresets[] = {
    {"52", BoardKind::RW3090, "RW3090", ChipKind::DXP7101, 52, PhyKind::None},
    {"28", BoardKind::RW3070, "RW3070", ChipKind::DXP7106, 28, PhyKind::None},
    {"26", BoardKind::DXP97102R24GM, "DXP97102R24GM", ChipKind::DXP7102A1, 26,
     PhyKind::GigabitCopper},
};

BoardConfig from_preset(const Preset &p) {
    BoardConfig c;
    c.board = p.board;
    c.name = p.name;
    c.chip = p.chip;
    c.revision = ChipProfile::get(p.chip).revision;
    c.user_ports = p.user_ports;
    c.gigabit_phy = p.gigabit_phy;
    return c;
}

}  // namespace

BoardConfig BoardConfig::preset(BoardKind board) {
    for (const Preset &p : kPresets) {
        if (p.board == board) return from_preset(p);
    }
    return from_preset(kPresets[0]);
}

bool BoardConfig::fromPortCount(const std::string &ports, BoardConfig *out, std::string *error) {
    for (const Preset &p : kPresets) {
        if (ports == p.ports) {
            *out = from_preset(p);
            return true;
        }
    }
    if (error) *error = "no board with " + ports + " ports; boards: " + presetList();
    return false;
}

const char *BoardConfig::presetList() {
    return "52 (RW3090, DXP7101), 28 (RW3070, DXP7106), 26 (DXP97102R24GM, DXP7102)";
}

Board::Board(const BoardConfig &config)
    : config_(config),
      profile_(ChipProfile::get(config.chip)),
      chip_(profile_, anomalies_, log_, config.gigabit_phy, config.gigabit_part),
      serial_(chip_, anomalies_, log_, config.chip_id),
      gpio_(serial_, config.pins),
      window_(chip_, anomalies_),
      dma_(config.dma_bytes),
      mac_(dma_, anomalies_, DXP6202_DEVICE_ID),
      eth0_mac_(dma_, anomalies_, DXP6201_DEVICE_ID),
      fabric_(chip_, anomalies_) {
    if (config.straps != 0) chip_.setResetValue("STRAP_STS", 0, config.straps);
}

std::unique_ptr<Board> Board::create(const BoardConfig &config) {
    return std::make_unique<Board>(config);
}

void Board::connectCpuMac() {
    if (!config_.cpu_mac) return;
    // Both ends hand frames over outside their own locks, so neither lock
    // is ever held while the other is taken.
    mac_.setTransmitSink([this](std::vector<uint8_t> frame) { fabric_.cpu().fromCpu(frame); });
    fabric_.cpu().connectMac([this](std::vector<uint8_t> frame) { mac_.receiveFromSwitch(frame); },
                             [this] { return mac_.rxRoom(); });
    mac_.setRxRoomNotify([this] { fabric_.cpu().roomGrew(); });
}

std::vector<DeviceInfo> Board::devices() const {
    std::vector<DeviceInfo> list = {
        {profile_.device_id, static_cast<uint8_t>(config_.revision), kBusSpi, BusWindow::kBase, 0}};
    if (config_.cpu_mac) list.push_back({DXP6202_DEVICE_ID, 0, kBusPci, kMacBase, 0});
    return list;
}

}  // namespace sim
