#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "drv_l2ctl.h"
#include "pktio_fixture.h"

namespace {

using namespace pktio_test;

std::atomic<int> rx_done{0};
std::atomic<uint32_t> rx_flags{0};
void on_rx(int, dv_t *dv) {
    rx_flags = dv->dv_flags;
    rx_done++;
}

using et_engine = PktioTest;

// A finished receive vector made ready for another frame.
void soc_dv_reset_rx(dv_t *dv) {
    uint8_t *buf = dv->dv_dcb[0].addr;
    soc_dma_dv_reset(DV_RX, dv);
    soc_dv_desc_add(dv, buf, ET_SOC_RXBUFSIZE);
}

TEST_F(et_engine, TransmitDescriptorsReachTheManagementPort) {
    uint8_t *one = static_cast<uint8_t *>(sal_dma_alloc(60, "tx"));
    // Fifteen single-block frames bring the ring to its last slot.
    for (int i = 0; i < 15; i++) {
        dv_t *dv = soc_dv_alloc(kNic, DV_TX, 1);
        soc_dv_desc_add(dv, one, 60);
        ASSERT_EQ(soc_dma_wait_timeout(kNic, dv, 5000000), 0);
        soc_dv_free(kNic, dv);
    }
    uint8_t *blocks[3];
    const uint16_t sizes[3] = {20, 30, 14};
    dv_t *dv = soc_dv_alloc(kNic, DV_TX, 4);
    for (int i = 0; i < 3; i++) {
        blocks[i] = static_cast<uint8_t *>(sal_dma_alloc(sizes[i], "tx"));
        std::memset(blocks[i], i + 1, sizes[i]);
        soc_dv_desc_add(dv, blocks[i], sizes[i]);
    }
    soc_dv_desc_add(dv, blocks[0], 0);  // an empty last block
    ASSERT_EQ(soc_dma_wait_timeout(kNic, dv, 5000000), 0);
    auto out = frames();
    ASSERT_EQ(out.size(), 16u);
    ASSERT_EQ(out[15].size(), 64u);
    EXPECT_EQ(out[15][0], 1);
    EXPECT_EQ(out[15][50], 3);
    EXPECT_TRUE(eventually([&] { return locked([&] { return et->etc->txframe == 16; }); }));
    // Descriptor words stay behind their cleared address words.
    sal_mutex_take(et->soc_dma, sal_mutex_FOREVER);
    const dma_desc_t *d = di()->txd;
    EXPECT_EQ(d[15].ctrl & 0xF0000000, CTRL_SOF | CTRL_EOT);
    EXPECT_EQ(d[0].ctrl & 0xF0000000, 0u);
    EXPECT_EQ(d[1].ctrl & 0xF0000000, CTRL_IOC | CTRL_EOF);
    sal_mutex_give(et->soc_dma);
    EXPECT_EQ(board->mac().peek(0x504), 16u);  // transmit MIB
    for (uint8_t *b : blocks)
        sal_dma_free(b);
    sal_dma_free(one);
    soc_dv_free(kNic, dv);
}

TEST_F(et_engine, PacketLeavesWithItsManagementTagPaddingAndCrc) {
    auto *data = static_cast<uint8_t *>(sal_dma_alloc(42, "tx"));
    std::memset(data, 0x33, 42);
    data[0] = 0x01;  // a multicast destination
    dxp_pkt_blk_t blk{data, 42};
    dxp_pkt pkt{};
    pkt.pkt_data = &blk;
    pkt.blk_count = 1;
    dxp_pbmp_port_add(&pkt.tx_pbmp, 5);
    dv_t *dv = soc_dv_alloc(kNic, DV_TX, 8);
    ASSERT_EQ(soc_dma_tx_setup(soc_dma_unit_flags(kNic), 28, &pkt, dv), 0);
    ASSERT_EQ(soc_dma_wait_timeout(kNic, dv, 5000000), 0);
    auto out = frames();
    ASSERT_EQ(out.size(), 1u);
    const std::vector<uint8_t> &f = out[0];
    ASSERT_EQ(f.size(), 6u + 60u + 4u);  // tag, padded frame, CRC
    EXPECT_EQ(f[12], 0x88);
    EXPECT_EQ(f[13], 0x74);
    uint32_t word = static_cast<uint32_t>(f[14]) << 24 | f[15] << 16 | f[16] << 8 | f[17];
    EXPECT_EQ(word, 3u << 29 | 1u << 5);
    std::vector<uint8_t> plain(f.begin(), f.end() - 4);
    plain.erase(plain.begin() + 12, plain.begin() + 18);  // without the tag
    soc_pkt_block_t whole{plain.data(), static_cast<uint32_t>(plain.size())};
    uint32_t crc = soc_pkt_crc32(&whole, 1, 0);
    EXPECT_EQ(std::memcmp(&f[f.size() - 4], &crc, 4), 0);
    EXPECT_EQ(board->mac().peek(0x514), 1u);  // counted as multicast
    soc_dv_free(kNic, dv);
    sal_dma_free(data);
}

TEST_F(et_engine, FullRingRefusesTheSixteenthFrame) {
    uint8_t *buf = static_cast<uint8_t *>(sal_dma_alloc(64, "tx"));
    sal_mutex_take(et->soc_dma, sal_mutex_FOREVER);
    board->mac().write(0x024, 0);  // no interrupt reclaims while the ring fills
    dv_t *refused = nullptr;
    for (int i = 0; i < 16; i++) {
        dv_t *dv = soc_dv_alloc(kNic, DV_TX, 1);
        soc_dv_desc_add(dv, buf, 64);
        int rv = dma_txfast(di(), dv, 0);
        EXPECT_EQ(rv, i < 15 ? 0 : -1) << i;
        if (rv < 0) refused = dv;
    }
    EXPECT_EQ(di()->txavail, 0u);
    EXPECT_EQ(di()->txnobuf, 1u);
    dma_txreclaim(di(), false);  // frees the fifteen sent
    EXPECT_EQ(di()->txavail, 15u);
    sal_mutex_give(et->soc_dma);
    soc_dv_free(kNic, refused);
    sal_dma_free(buf);
}

TEST_F(et_engine, ReceivedFrameLandsWithItsHeaderAndIsParsed) {
    rx_done = 0;
    dv_t *dv = rx_vector(on_rx);
    ASSERT_EQ(soc_dma_start(kNic, dv), 0);
    EXPECT_EQ(board->mac().peek(0x218), 8u);  // one buffer posted
    board->mac().receiveFromSwitch(to_cpu(74, 7));
    ASSERT_TRUE(eventually([] { return rx_done == 1; }));
    EXPECT_EQ(rx_flags, 0u);
    const uint8_t *b = dv->dv_dcb[0].addr;
    EXPECT_EQ(b[0] | b[1] << 8, 74);
    EXPECT_EQ(dv->dv_status & 0x3F, 7u);
    EXPECT_EQ(dv->dv_length, 74);
    EXPECT_EQ(b[36], 0x20);  // addresses moved over the tag
    EXPECT_EQ(locked([&] { return et->etc->rxframe; }), 1u);
    free_rx_vector(dv);

    // Nothing posted: the frame is missed and counted.
    board->mac().receiveFromSwitch(to_cpu(74, 7));
    EXPECT_EQ(board->mac().peek(0x5BC), 1u);
}

TEST_F(et_engine, GiantFrameDropsTwoBuffers) {
    rx_done = 0;
    std::vector<dv_t *> dvs;
    for (int i = 0; i < 3; i++) {
        dvs.push_back(rx_vector(on_rx));
        soc_dma_start(kNic, dvs.back());
    }
    EXPECT_EQ(et_soc_rx_room(), 3);
    board->mac().receiveFromSwitch(to_cpu(1763, 1));
    ASSERT_TRUE(eventually([] { return rx_done == 2; }));
    EXPECT_EQ(locked([&] { return di()->rxgiants; }), 1u);
    EXPECT_EQ(et_soc_rx_room(), 1);  // the giant filled two buffers
    EXPECT_EQ(rx_flags & DV_F_DONE, DV_F_DONE);
    // The third buffer still takes the next frame.
    board->mac().receiveFromSwitch(to_cpu(100, 1));
    ASSERT_TRUE(eventually([] { return rx_done == 3; }));
    EXPECT_EQ(rx_flags, 0u);
    et_soc_stop(kNic);  // hands back what is still posted
    for (dv_t *dv : dvs)
        free_rx_vector(dv);
}

TEST_F(et_engine, FifoOverflowRestartsTheReceiveRing) {
    rx_done = 0;
    std::vector<dv_t *> dvs;
    for (int i = 0; i < 2; i++) {
        dvs.push_back(rx_vector(on_rx));
        soc_dma_start(kNic, dvs.back());
    }
    board->mac().rxFifoOverflow();
    ASSERT_TRUE(eventually([&] { return locked([&] { return et->etc->rxoflo == 1; }); }));
    ASSERT_TRUE(eventually([&] { return board->mac().peek(0x42C) & 0x2; }));
    sal_mutex_take(et->soc_dma, sal_mutex_FOREVER);
    EXPECT_EQ(di()->rxin, 0u);
    EXPECT_EQ(di()->rxout, 2u);
    EXPECT_EQ(et->etc->reset, 1u);  // recovered without a re-init
    sal_mutex_give(et->soc_dma);
    board->mac().receiveFromSwitch(to_cpu(80, 2));
    ASSERT_TRUE(eventually([] { return rx_done == 1; }));
    et_soc_stop(kNic);  // hands back what is still posted
    for (dv_t *dv : dvs)
        free_rx_vector(dv);
}

TEST_F(et_engine, ReceptionOffHandsBackThePostedBuffers) {
    rx_done = 0;
    dv_t *dv = rx_vector(on_rx);
    soc_dma_start(kNic, dv);
    ASSERT_EQ(soc_dma_rx_disable(kNic), 0);
    EXPECT_EQ(rx_done, 1);
    EXPECT_EQ(rx_flags & DV_F_DONE, DV_F_DONE);
    EXPECT_EQ(board->mac().peek(0x210), 0u);
    board->mac().receiveFromSwitch(to_cpu(80, 2));
    EXPECT_EQ(board->mac().peek(0x5BC), 1u);  // missed while off

    ASSERT_EQ(soc_dma_rx_enable(kNic), 0);
    soc_dv_reset_rx(dv);
    soc_dma_start(kNic, dv);
    board->mac().receiveFromSwitch(to_cpu(80, 2));
    ASSERT_TRUE(eventually([] { return rx_done == 2; }));
    EXPECT_EQ(rx_flags, 0u);
    free_rx_vector(dv);
}

TEST_F(et_engine, RingLimitsAndFill) {
    AssertCapture capture;
    EXPECT_EQ(dma_attach(nullptr, nullptr, kNic, "x", 0x200, 513, 8, 1792, 7, 30, 0, 0, nullptr),
              nullptr);
    ASSERT_EQ(AssertCapture::seen().size(), 1u);
    EXPECT_EQ(AssertCapture::seen()[0], "ntxd <= MAXDD");
    dma_info_t *big =
        dma_attach(nullptr, nullptr, kNic, "x", 0x200, 512, 8, 1792, 7, 30, 0, 0, nullptr);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->txdpa & 0xFFF, 0u);
    EXPECT_EQ(*static_cast<uint32_t *>(dma_getvar(big, "&txavail")), big->txavail);
    dma_detach(big);
    // nrxpost 63 of 64: one slot stays unposted.
    EXPECT_EQ(di()->nrxpost, 63u);
    EXPECT_EQ(di()->nrxd, 64u);
}

}  // namespace
