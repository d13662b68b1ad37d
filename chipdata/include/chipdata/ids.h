// Identity values of the chips and PHYs on this board family: the device ids
// the bus reports, the vendor id, and the keys and model numbers that the PHY
// identifier registers decode to. The firmware and the chip model share them.
#pragma once

#include <cstdint>

constexpr uint16_t CHIP_VENDOR_ID = 0x1d7a;

constexpr uint16_t DXP7101_DEVICE_ID = 0xa701;
constexpr uint16_t DXP7102_DEVICE_ID = 0xa702;
constexpr uint16_t DXP7103_DEVICE_ID = 0xa703;
constexpr uint16_t DXP7104_DEVICE_ID = 0xa704;
constexpr uint16_t DXP7105_DEVICE_ID = 0xa705;
constexpr uint16_t DXP7106_DEVICE_ID = 0xa706;
constexpr uint16_t DXP7107_DEVICE_ID = 0xa707;
constexpr uint16_t DXP7108_DEVICE_ID = 0xa708;
constexpr uint16_t DXP71090_DEVICE_ID = 0xa790;
constexpr uint16_t DXP6201_DEVICE_ID = 0xa621;  // stand-alone Ethernet MAC
constexpr uint16_t DXP6202_DEVICE_ID = 0xa622;  // CPU-port Ethernet MAC core
constexpr uint16_t DXP6203_DEVICE_ID = 0xa623;  // stand-alone Ethernet MAC

// The five chips of the other switch family whose attach is refused.
constexpr uint16_t QNT_DEVICE_IDS[5] = {0xb501, 0xb502, 0xb503, 0xb504, 0xb505};

// Backplane core id of the Ethernet MAC cores.
constexpr uint32_t SB_ENET_CORE_ID = 0x806;

// PHY identifier keys: the PHY makers' OUIs as the identifier decoding turns
// them into keys (key C differs from key B only in bit 13).
constexpr uint32_t PHY_OUI_KEY_A = 0x0a45;
constexpr uint32_t PHY_OUI_KEY_B = 0x1c62;
constexpr uint32_t PHY_OUI_KEY_C = PHY_OUI_KEY_B ^ 0x2000;
constexpr uint32_t PHY_OUI_KEY_D = 0x0b73;

// PHY model numbers (identifier register 3, bits 9:4) under their keys.
constexpr uint16_t PHY_MODEL_6311 = 0x1f;     // key A
constexpr uint16_t PHY_MODEL_6312 = 0x1e;     // key A
constexpr uint16_t PHY_MODEL_6319 = 0x1c;     // key A
constexpr uint16_t PHY_MODEL_6315 = 0x1d;     // key A
constexpr uint16_t PHY_MODEL_6316 = 0x20;     // key A
constexpr uint16_t PHY_MODEL_6317 = 0x00;     // key B
constexpr uint16_t PHY_MODEL_7102_FE = 0x02;  // key B or C
constexpr uint16_t PHY_MODEL_6405 = 0x04;     // key D
constexpr uint16_t PHY_MODEL_6406 = 0x05;     // key D
constexpr uint16_t PHY_MODEL_6407 = 0x06;     // key D
constexpr uint16_t PHY_MODEL_6408 = 0x08;     // key D
constexpr uint16_t PHY_MODEL_6409 = 0x07;     // key D
constexpr uint16_t PHY_MODEL_6401S = 0x0e;    // key D
constexpr uint16_t PHY_MODEL_6410 = 0x0a;     // key D
constexpr uint16_t PHY_MODEL_6402 = 0x0b;     // key D
constexpr uint16_t PHY_MODEL_6413 = 0x3b;     // key D
constexpr uint16_t PHY_MODEL_6412 = 0x0c;     // key D (also 0x0d)
constexpr uint16_t PHY_MODEL_6414 = 0x08;     // key B
constexpr uint16_t PHY_MODEL_6415 = 0x09;     // key B
constexpr uint16_t PHY_MODEL_6416 = 0x0b;     // key B
constexpr uint16_t PHY_MODEL_7104 = 0x0d;     // key B
constexpr uint16_t PHY_MODEL_7101_FE = 0x24;  // key B
constexpr uint16_t PHY_MODEL_7105 = 0x0f;     // key B

// Reverses the bit order inside each byte of a 32-bit value.
constexpr uint32_t phy_bit_rev_by_byte(uint32_t v) {
    uint32_t out = 0;
    for (int byte = 0; byte < 4; byte++) {
        for (int bit = 0; bit < 8; bit++) {
            if (v & (1u << (byte * 8 + bit))) out |= 1u << (byte * 8 + 7 - bit);
        }
    }
    return out;
}

// Identifier registers 2 and 3 of a PHY that decodes to (key, model, revision).
constexpr uint16_t phy_id0(uint32_t key) {
    return static_cast<uint16_t>(phy_bit_rev_by_byte(key) >> 6);
}
constexpr uint16_t phy_id1(uint32_t key, uint16_t model, uint16_t revision) {
    return static_cast<uint16_t>(((phy_bit_rev_by_byte(key) & 0x3f) << 10) | ((model & 0x3f) << 4) |
                                 (revision & 0xf));
}
