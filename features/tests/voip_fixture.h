// Auto VoIP on the 52-port board's chip, and frames as the CPU port hands
// its copies to the receive callout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "board.h"
#include "dxp_types.h"
#include "dxpx.h"
#include "feature_fixture.h"
#include "sal.h"
#include "voipmgr.h"

namespace voip_test {

using Bytes = std::vector<uint8_t>;

// A tagged IPv4 frame with its FCS, as the CPU port hands it on.
inline Bytes frame(uint8_t protocol, const uint8_t src[4], const uint8_t dst[4], uint16_t sport,
                   uint16_t dport, const Bytes &payload) {
    Bytes f = {0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 6, 0x81, 0x00, 0x00, 0x01, 0x08, 0x00};
    const int l4 = protocol == 6 ? 20 : 8;
    const int total = 20 + l4 + static_cast<int>(payload.size());
    Bytes ip = {0x45, 0, uint8_t(total >> 8), uint8_t(total), 0, 0, 0, 0, 64, protocol, 0, 0};
    ip.insert(ip.end(), src, src + 4);
    ip.insert(ip.end(), dst, dst + 4);
    f.insert(f.end(), ip.begin(), ip.end());
    Bytes ports = {uint8_t(sport >> 8), uint8_t(sport), uint8_t(dport >> 8), uint8_t(dport)};
    f.insert(f.end(), ports.begin(), ports.end());
    if (protocol == 6)
        f.insert(f.end(), {0, 0, 0, 1, 0, 0, 0, 1, 0x50, 0x18, 0x10, 0, 0, 0, 0, 0});
    else
        f.insert(f.end(),
                 {uint8_t((l4 + payload.size()) >> 8), uint8_t(l4 + payload.size()), 0, 0});
    f.insert(f.end(), payload.begin(), payload.end());
    f.insert(f.end(), {0xde, 0xad, 0xbe, 0xef});
    return f;
}

inline Bytes text(const std::string &s) {
    return Bytes(s.begin(), s.end());
}

// Hands the frame to the callout from a buffer of exactly its size, as
// having come in on the front-panel port.
inline int deliver(const Bytes &f, int uport = 1) {
    Bytes copy = f;
    dxp_pkt pkt{};
    int lport = 0, unit = 0, port = 0;
    if (ulpm_to_lport(uport, &lport) == 0 && dxpx_lport_to_unit_port(lport, &unit, &port) == 0) {
        pkt.rx_unit = static_cast<uint8_t>(unit);
        pkt.rx_port = static_cast<uint8_t>(port);
    }
    pkt._pkt_data = {.data = copy.data(), .len = static_cast<uint32_t>(copy.size())};
    pkt.pkt_data = &pkt._pkt_data;
    pkt.blk_count = 1;
    pkt.tot_len = static_cast<uint16_t>(copy.size());
    return voip_rx(0, &pkt, nullptr);
}

class VoipTest : public feature_test::BoardTest {
  protected:
    sim::ChipKind chip() const override { return sim::ChipKind::DXP7101; }
    void SetUp() override {
        BoardTest::SetUp();
        voip_init();
        ASSERT_GE(voip_group_get(), 0);
    }
    void TearDown() override {
        voip_init();  // frees every call
        size_t held = 0;
        for (const char *tag : {"SIP", "SDP", "VOIP", "MGCP", "SCCP", "H323"})
            held += sal_alloc_bytes_in_use(tag);
        EXPECT_EQ(held, 0u);
        BoardTest::TearDown();
    }
    // Port 1 up and forwarding, for frames that enter it.
    void port_up() {
        board->chip().poke("SWMODE", 0, 0x03);  // forwarding on, as the chip reset init leaves it
        board->port(1).linkUp();
        ASSERT_EQ(dxp_port_enable_set(0, 1, 1), 0);
        dxp_pbmp_t up{};
        dxp_pbmp_port_add(&up, 1);
        ASSERT_EQ(dxp_linkscan_update(0, up), 0);
    }
    // The address table sends the frames' destination MAC (as frame()
    // builds them) out of the front-panel port; 0 to forget it.
    static void station_at(int uport) {
        const dxp_mac_t mac = {0, 1, 2, 3, 4, 5};
        dxp_l2_addr_delete(0, mac, 1);
        if (uport == 0) return;
        int lport = 0, unit = 0, port = 0;
        ASSERT_EQ(ulpm_to_lport(uport, &lport), 0);
        ASSERT_EQ(dxpx_lport_to_unit_port(lport, &unit, &port), 0);
        dxp_l2_addr at;
        dxp_l2_addr_init(&at, mac, 1);
        at.port = port;
        ASSERT_EQ(dxp_l2_addr_add(0, &at), 0);
    }
    // Auto VoIP's entries, checked against the group's.
    static int rules() {
        dxp_field_group_status_t st{};
        EXPECT_EQ(dxp_field_group_status_get(0, voip_group_get(), &st), 0);
        int count = -1;
        voip_entry_count_get(&count);
        EXPECT_EQ(count, st.entries_total - st.entries_free);
        return count;
    }
};

}  // namespace voip_test
