#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "drv_l2ctl.h"
#include "pktio_fixture.h"
#include "soc_dma.h"

namespace {

using pktio_test::AssertCapture;

// A receive buffer: header with the count, then a frame carrying the tag
// word and a payload of L + 4 - 12 bytes behind the tag.
std::vector<uint8_t> rx_buffer(uint32_t word, uint16_t count, size_t frame_len) {
    std::vector<uint8_t> b(SOC_DMA_RX_HDR_BYTES + frame_len + 8, 0);
    b[0] = static_cast<uint8_t>(count);
    b[1] = static_cast<uint8_t>(count >> 8);
    uint8_t *f = b.data() + SOC_DMA_RX_HDR_BYTES;
    for (int i = 0; i < 12; i++)
        f[i] = static_cast<uint8_t>(i + 1);
    f[12] = 0x88;
    f[13] = 0x74;
    f[14] = static_cast<uint8_t>(word >> 24);
    f[15] = static_cast<uint8_t>(word >> 16);
    f[16] = static_cast<uint8_t>(word >> 8);
    f[17] = static_cast<uint8_t>(word);
    return b;
}

struct Parsed {
    uint32_t status, flags, length, first_len;
    std::vector<uint8_t> buf;
};

int completions = 0;
void done(int, dv_t *) {
    completions++;
}

Parsed parse(std::vector<uint8_t> buf, soc_dma_flags_t flags, int rx_enabled = 1) {
    dv_t *dv = soc_dv_alloc(0, DV_RX, 1);
    soc_dv_desc_add(dv, buf.data(), static_cast<uint16_t>(buf.size()));
    dv->dv_done_chain = done;
    soc_dma_rx_counts_t counts{};
    soc_dma_rx_parse(flags, dv, static_cast<int>(buf.size()), rx_enabled, &counts);
    Parsed p{dv->dv_status, dv->dv_flags, dv->dv_length, dv->dv_dcb[0].len, buf};
    soc_dv_free(0, dv);
    return p;
}

TEST(soc_dv, DescriptorAddCountsDownAndStopsAtTheEnd) {
    AssertCapture capture;
    dv_t *dv = soc_dv_alloc(0, DV_TX, 3);
    ASSERT_NE(dv, nullptr);
    uint8_t b[4];
    EXPECT_EQ(soc_dv_desc_add(dv, b, 4), 2);
    EXPECT_EQ(soc_dv_desc_add(dv, b, 4), 1);
    EXPECT_EQ(soc_dv_desc_add(dv, b, 4), 0);
    EXPECT_LT(soc_dv_desc_add(dv, b, 4), 0);
    ASSERT_EQ(AssertCapture::seen().size(), 1u);
    EXPECT_EQ(AssertCapture::seen()[0], "(dv->dv_vcnt >= 0) && (dv->dv_vcnt < dv->dv_cnt)");
    EXPECT_EQ(dv->dv_dcb[0].next, &dv->dv_dcb[1]);
    EXPECT_EQ(dv->dv_length, 12);
    // Reset keeps descriptors and buffers: the vector fills again.
    uint8_t *hdr = dv->dv_tx_hdr;
    soc_dma_dv_reset(DV_TX, dv);
    EXPECT_EQ(dv->dv_tx_hdr, hdr);
    EXPECT_EQ(soc_dv_desc_add(dv, b, 4), 2);
    soc_dv_free(0, dv);
}

TEST(soc_dma_rx_parse, AcceptsOnlyTheCountTheTagNames) {
    completions = 0;
    // L = 64: only a count of 74 is accepted; the addresses move up 6 bytes.
    Parsed ok = parse(rx_buffer(64u << 15 | 5, 74, 74), {0, 0});
    EXPECT_EQ(ok.flags, 0u);
    EXPECT_EQ(ok.length, 74u);
    EXPECT_EQ(ok.first_len, 68u);
    EXPECT_EQ(ok.status & 0x3F, 5u);
    EXPECT_EQ(ok.buf[36], 1);
    EXPECT_EQ(ok.buf[47], 12);

    Parsed off = parse(rx_buffer(64u << 15, 75, 75), {0, 0});
    EXPECT_EQ(off.flags, DV_F_BAD);
    EXPECT_EQ(off.buf[30], 1);  // data left in place

    std::vector<uint8_t> untagged = rx_buffer(0, 74, 74);
    untagged[SOC_DMA_RX_HDR_BYTES + 12] = 0x08;
    Parsed none = parse(untagged, {0, 0});
    EXPECT_EQ(none.flags, DV_F_BAD);
    EXPECT_EQ(none.length, 0u);
    EXPECT_EQ(none.first_len, 0u);

    // A count that agrees with the tag but claims more than the buffer holds.
    std::vector<uint8_t> small = rx_buffer(200u << 15, 210, 60);
    EXPECT_EQ(parse(small, {0, 0}).flags, DV_F_BAD);

    EXPECT_EQ(parse(rx_buffer(64u << 15, 74, 74), {0, 0}, 0).flags, DV_F_RX_DISABLED);
    EXPECT_EQ(completions, 5);
}

TEST(soc_dma_rx_parse, TagVariantsFollowTheChipFlags) {
    EXPECT_EQ(parse(rx_buffer(64u << 15 | 24, 74, 74), {0x20000000, 0}).status & 0x3F, 0u);
    EXPECT_EQ(parse(rx_buffer(64u << 15 | 3, 74, 74), {0x08000000, 0}).status & 0x3F, 43u);
    // Bit 21: the length sits one bit higher in the word.
    Parsed moved = parse(rx_buffer(64u << 16, 74, 74), {0x00200000, 0});
    EXPECT_EQ(moved.flags, 0u);
    EXPECT_EQ((moved.status >> 15) & 0x3FFF, 64u);
    // Bit 31 with opcode 1: four extra bytes, bit 5 cleared.
    Parsed extra = parse(rx_buffer(1u << 29 | 64u << 15 | 0x20, 78, 78), {0x80000000, 0});
    EXPECT_EQ(extra.flags, 0u);
    EXPECT_EQ(extra.length, 78u);
    EXPECT_EQ(extra.status & 0x20, 0u);
    // Receive error bits of the header reach the vector.
    std::vector<uint8_t> err = rx_buffer(64u << 15, 74, 74);
    err[2] = 0x02;
    EXPECT_EQ(parse(err, {0, 0}).flags, 0x02u);
}

struct TxCase {
    std::vector<uint8_t> frame;
    dxp_pkt pkt{};
    dxp_pkt_blk_t blk{};
    explicit TxCase(size_t len, bool tagged = false) : frame(len, 0xAB) {
        for (size_t i = 0; i < 12 && i < len; i++)
            frame[i] = static_cast<uint8_t>(0x10 + i);
        if (len < 16) {
        } else if (tagged) {
            frame[12] = 0x81;
            frame[13] = 0x00;
            frame[14] = 0x00;
            frame[15] = 0x07;
        } else {
            frame[12] = 0x08;
            frame[13] = 0x00;
        }
        blk = {frame.data(), static_cast<uint32_t>(len)};
        pkt.pkt_data = &blk;
        pkt.blk_count = 1;
    }
};

uint32_t tag_word(const dv_t *dv) {
    const uint8_t *h = dv->dv_tx_hdr;
    return static_cast<uint32_t>(h[14]) << 24 | h[15] << 16 | h[16] << 8 | h[17];
}

TEST(soc_dma_tx_setup, HeaderPaddingAndCrc) {
    TxCase c(42);
    ASSERT_NE(soc_dma_tx_pad(), nullptr);  // as the glue's attach sets it up
    dv_t *dv = soc_dv_alloc(0, DV_TX, 8);
    ASSERT_EQ(soc_dma_tx_setup({0, 0}, 0, &c.pkt, dv), 0);
    ASSERT_EQ(dv->dv_vcnt, 4);  // header, payload, padding, CRC
    EXPECT_EQ(dv->dv_dcb[0].len, 18);
    EXPECT_EQ(dv->dv_dcb[1].len, 30);
    EXPECT_EQ(dv->dv_dcb[2].len, 18);
    EXPECT_EQ(tag_word(dv), 0u);
    // The CRC covers the frame without its management tag.
    std::vector<uint8_t> plain(c.frame);
    plain.resize(60, 0);
    soc_pkt_block_t whole{plain.data(), 60};
    uint32_t crc = soc_pkt_crc32(&whole, 1, 0);
    EXPECT_EQ(std::memcmp(dv->dv_dcb[3].addr, &crc, 4), 0);
    soc_dv_free(0, dv);

    c.pkt.flags = DXP_TX_NO_PAD;
    dv = soc_dv_alloc(0, DV_TX, 8);
    ASSERT_EQ(soc_dma_tx_setup({0, 0}, 0, &c.pkt, dv), 0);
    EXPECT_EQ(dv->dv_vcnt, 3);
    soc_dv_free(0, dv);
    soc_dma_tx_pad_release();
}

TEST(soc_dma_tx_setup, TagWordAndOpcodes) {
    TxCase c(64, true);
    dxp_pbmp_port_add(&c.pkt.tx_pbmp, 3);
    dxp_pbmp_port_add(&c.pkt.tx_pbmp, 28);  // the CPU port is left out
    dv_t *dv = soc_dv_alloc(0, DV_TX, 8);
    ASSERT_EQ(soc_dma_tx_setup({0, 0}, 28, &c.pkt, dv), 0);
    EXPECT_EQ(tag_word(dv), 3u << 29 | 0x8);
    EXPECT_EQ(dv->dv_dcb[0].len, 22);  // tag kept
    soc_dv_free(0, dv);

    c.pkt.dest_mod = 1;
    dxp_pbmp_port_add(&c.pkt.tx_upbmp, 3);
    dv = soc_dv_alloc(0, DV_TX, 8);
    ASSERT_EQ(soc_dma_tx_setup({0x08000000, 0}, 28, &c.pkt, dv), 0);
    EXPECT_EQ(tag_word(dv) >> 29, 5u);
    EXPECT_EQ(dv->dv_dcb[0].len, 18);  // untagged egress: tag stripped
    soc_dv_free(0, dv);

    // Feature bit 21: priority and the untag enforcement.
    c.pkt.prio_int = 6;
    dv = soc_dv_alloc(0, DV_TX, 8);
    ASSERT_EQ(soc_dma_tx_setup({0, 0x200000}, 28, &c.pkt, dv), 0);
    EXPECT_EQ(tag_word(dv), 4u << 29 | 2u << 27 | 0x01000000 | 0x8);
    soc_dv_free(0, dv);

    TxCase shorty(4);
    dv = soc_dv_alloc(0, DV_TX, 8);
    EXPECT_EQ(soc_dma_tx_setup({0, 0}, 0, &shorty.pkt, dv), -4);
    soc_dv_free(0, dv);
}

}  // namespace
