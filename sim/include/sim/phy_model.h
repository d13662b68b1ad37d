// One PHY as the switch sees it through its register page: 32 clause-22
// registers of 16 bits with reset, auto-negotiation against a link partner,
// the latched-low link bit, loopback and power down. Kinds: the chip's own
// fast-Ethernet PHY, an external 10/100/1000 copper PHY, the chip's
// 1000BASE-X SERDES, or nothing (all registers read 0xffff).
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace sim {

enum class PhyKind { None, FastEthernet, GigabitCopper, Serdes };

// Abilities of a link partner, in the bits of the PHY layer's ability word.
constexpr uint32_t kAbility10Half = 0x1;
constexpr uint32_t kAbility10Full = 0x2;
constexpr uint32_t kAbility100Half = 0x4;
constexpr uint32_t kAbility100Full = 0x8;
constexpr uint32_t kAbility1000Half = 0x10;
constexpr uint32_t kAbility1000Full = 0x20;
constexpr uint32_t kAbilityPause = 0x400;
constexpr uint32_t kAbilityAsymPause = 0x800;
constexpr uint32_t kAbilityAll = 0x3f | kAbilityPause;

// The device at the other end of a port's cable.
struct LinkPartner {
    bool autoneg = true;
    uint32_t abilities = kAbilityAll;  // advertised when autonegotiating
    int speed = 100;                   // forced mode
    bool full_duplex = true;           // forced mode

    static LinkPartner autonegotiating(uint32_t abilities) { return {true, abilities, 0, false}; }
    static LinkPartner forced(int speed, bool full_duplex) {
        return {false, 0, speed, full_duplex};
    }
};

struct LinkState {
    bool up = false;
    int speed = 0;  // Mb/s
    bool full_duplex = false;
    bool operator==(const LinkState &) const = default;
};

class PhyModel {
  public:
    PhyModel(PhyKind kind, uint16_t id0, uint16_t id1);

    PhyKind kind() const { return kind_; }
    bool present() const { return kind_ != PhyKind::None; }

    // Bus access; reading the status register clears the latched link-down.
    uint16_t read(int reg);
    void write(int reg, uint16_t value);
    // Test access without side effects.
    uint16_t peek(int reg) const { return present() ? regs_[reg & 31] : 0xffff; }
    void poke(int reg, uint16_t value) { regs_[reg & 31] = value; }

    void reset();  // registers back to their defaults; the cable stays
    void connect(const LinkPartner &partner);
    void disconnect();
    LinkState state() const { return state_; }

  private:
    uint32_t localAbilities() const;
    uint32_t capabilities() const;
    LinkState resolve(bool *autoneg_done) const;
    void update();
    uint16_t partnerPage() const;

    const PhyKind kind_;
    const uint16_t id0_, id1_;
    std::array<uint16_t, 32> regs_{};
    std::optional<LinkPartner> partner_;
    LinkState state_;
    bool latched_down_ = false;
};

}  // namespace sim
