// One PHY as the switch sees it through its register page: 32 clause-22
// registers of 16 bits with reset, auto-negotiation against a link partner,
// the latched-low link bit, loopback and power down (a powered-down PHY has
// no link, looped back or not). Kinds: the chip's own fast-Ethernet PHY (with
// its vendor power down, MDI-X control and shadow bank), an external
// 10/100/1000 copper PHY, an external copper/fibre gigabit PHY (mode and
// status registers behind the register-28 shadow selector, a 1000BASE-X fibre
// register bank, expansion registers), an external dual-media gigabit PHY
// (a copper and a fibre interface, each with its own signal, one of them
// active as its auxiliary control selects, the fibre side in registers
// 11-14), the chip's 1000BASE-X SERDES, or nothing (all registers read
// 0xffff).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace sim {

enum class PhyKind { None, FastEthernet, GigabitCopper, GigabitCombo, GigabitDualMedia, Serdes };

enum class Medium { Copper, Fiber };

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
    // The wiring needs the crossover (MDI-X) side: forced MDI gets no link.
    bool needs_crossover = false;
    Medium medium = Medium::Copper;  // the side of a copper/fibre PHY it plugs into

    static LinkPartner autonegotiating(uint32_t abilities) {
        return {true, abilities, 0, false, false, Medium::Copper};
    }
    static LinkPartner forced(int speed, bool full_duplex) {
        return {false, 0, speed, full_duplex, false, Medium::Copper};
    }
    static LinkPartner fiber(int speed = 1000) {
        return {speed == 1000, kAbility1000Full | kAbilityPause, speed, true, false, Medium::Fiber};
    }
};

// The part a PHY answers as: its identifier registers 2 and 3 (both 0: the
// usual part of its kind).
struct PhyPart {
    uint16_t id0 = 0;
    uint16_t id1 = 0;
    bool given() const { return id0 != 0 || id1 != 0; }
};

// What a cable test finds on one pair of the port's cable.
enum class PairFault { None, Open, Short, Unknown };

struct LinkState {
    bool up = false;
    int speed = 0;  // Mb/s
    bool full_duplex = false;
    bool operator==(const LinkState &) const = default;
};

class PhyModel {
  public:
    PhyModel(PhyKind kind, uint16_t id0, uint16_t id1);
    ~PhyModel();

    PhyKind kind() const { return kind_; }
    bool present() const { return kind_ != PhyKind::None; }

    // Bus access; reading the status register clears the latched link-down.
    uint16_t read(int reg);
    void write(int reg, uint16_t value);
    // Test access without side effects. Poking an identifier register fits
    // another part (it survives resets); poking register 28 of a copper/fibre
    // PHY with the mode-control selector (0x7c00) sets its fibre strap from
    // bit 3.
    uint16_t peek(int reg) const { return present() ? regs_[reg & 31] : 0xffff; }
    void poke(int reg, uint16_t value);
    // Vendor registers without side effects: the fast-Ethernet shadow bank,
    // and a copper/fibre PHY's register-28 shadows (selector 0..31) and its
    // fibre register bank.
    uint16_t peekShadow(int reg) const { return shadow_[reg & 31]; }
    uint16_t peekFiber(int reg) const;

    void reset();  // registers back to their defaults; the cable stays
    // The cable a cable test measures: a connected cable's length, and a
    // fault on a pair (pair 0..3) at a distance. Without a cable and a fault
    // every pair is open at 0 m. A faulted pair also keeps the speeds that
    // need it from linking.
    void setCableLength(int metres) { cable_metres_ = metres; }
    void setPairFault(int pair, PairFault fault, int metres);
    // On a copper/fibre or dual-media PHY a partner on one side keeps the
    // other side's (both media may have signal); elsewhere a partner
    // replaces the last.
    void connect(const LinkPartner &partner);
    void disconnect();
    // Unplugs the fibre side of a copper/fibre or dual-media PHY only.
    void disconnectFiber();
    // The board wires a copper/fibre PHY's fibre interface: its mode control
    // reads the strap (bit 3) set. It survives resets.
    void setFiberStrap(bool on) { fiber_strap_ = on; }
    // The link of the active side (a copper/fibre PHY's mode decides).
    LinkState state() const;
    // Whether the active side loops the port's frames back: the copper
    // control's loopback bit, or the fibre side's own on a fibre-active
    // copper/fibre or dual-media PHY.
    bool loopedBack() const;

  private:
    bool poweredDown() const;
    bool comboFiberActive() const;
    bool dualFiberActive() const { return (aux_misc_ & 0x0800) != 0; }
    bool dualFiberUp() const;
    uint16_t dualRead(int reg);
    bool dualWrite(int reg, uint16_t value);
    bool fiberAt100() const;
    uint16_t comboRead(int reg);
    bool comboWrite(int reg, uint16_t value);
    uint32_t localAbilities() const;
    uint32_t capabilities() const;
    LinkState resolve(bool *autoneg_done) const;
    void update();
    uint16_t partnerPage() const;
    uint32_t copperUsable(uint32_t abilities) const;
    // A pair as the cable test sees it: fault and distance in metres.
    PairFault pairFault(int pair, int *metres) const;
    uint16_t feShadowRead(int reg);
    void gigaTestRun();
    int32_t echoTap(int pair, int i) const;
    uint16_t dspRead();

    const PhyKind kind_;
    uint16_t id0_, id1_;
    std::array<uint16_t, 32> regs_{};
    std::optional<LinkPartner> partner_;
    LinkState state_;
    bool latched_down_ = false;
    // Fast Ethernet: shadow bank behind register 31; copper/fibre: the
    // register-28 shadows by selector.
    std::array<uint16_t, 32> shadow_{};
    bool shadow_open_ = false;
    int shadow_select_ = 0;
    bool fiber_strap_ = false;
    bool link_changed_ = false;
    std::array<uint16_t, 256> expansion_{};
    std::unique_ptr<PhyModel> fiber_;  // the fibre bank of a copper/fibre PHY
    // Dual-media PHY: the fibre partner, and the auxiliary-control shadow
    // whose bit 11 selects fibre (written after a read of it, or with data).
    std::optional<LinkPartner> fiber_partner_;
    uint16_t aux_misc_ = 0;
    bool aux_misc_selected_ = false;
    bool aux_misc_read_ = false;
    int cable_metres_ = 20;
    std::array<PairFault, 4> faults_{};
    std::array<int, 4> fault_metres_{};
    int fe_test_phase_ = 0;  // 1: status to read, 2: lengths to read
    int readout_word_ = 0;
};

}  // namespace sim
