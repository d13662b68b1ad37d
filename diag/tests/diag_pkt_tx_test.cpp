// The transmit commands over the whole packet path: frames are checked as
// they leave the chip model's front-panel ports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag_pkt_fixture.h"

namespace {

using diag_test::PktMonitor;

// Every option back to its default; the options live as long as the program.
const std::string kDefaults =
    "TX 0 PerPortSrcMac=0 Length=68 Filename= DestMac=10:11:12:13:14:15 "
    "SourceMac=00:01:02:03:04:05 DestMacInc=0 SourceMacInc=0 Pattern=0x12345678 PatternInc=1 "
    "VLantag=1 VlanPrio=0 CRC=Recompute PortBitMap=0x2 UntagBitMap=0x0";

class pkt_tx : public PktMonitor {
  protected:
    void SetUp() override {
        PktMonitor::SetUp();
        run({kDefaults});
    }
};

uint32_t be32(const std::vector<uint8_t> &b, size_t at) {
    return static_cast<uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

TEST_F(pkt_tx, FramesLeaveTheSelectedPortAsBuiltAndOptionsPersist) {
    std::string out =
        run({"TX 2 PortBitMap=0x2 DestMac=00:aa:bb:cc:dd:ee Pattern=0x01020304 "
             "VLantag=0x5 VlanPrio=3",
             "TXCount"});
    EXPECT_TRUE(has(out, "TX (Not-Running) Transmit Req(2) Sent(2)\n")) << out;
    auto sent = board->port(1).waitSent(2, std::chrono::seconds(5));
    ASSERT_EQ(sent.size(), 2u) << out;
    EXPECT_TRUE(board->port(2).sent().empty());
    const std::vector<uint8_t> &f = sent[0].bytes;
    ASSERT_EQ(f.size(), 64u);  // 68 with the CRC the transmit path recomputed
    EXPECT_EQ(f[0], 0x00);
    EXPECT_EQ(f[5], 0xee);
    EXPECT_EQ(f[11], 0x05);  // default source 00:01:02:03:04:05
    EXPECT_TRUE(sent[0].tagged);
    EXPECT_EQ(sent[0].vid, 5);
    EXPECT_EQ(sent[0].pri, 3);
    EXPECT_EQ(f[16] << 8 | f[17], 68);
    EXPECT_EQ(be32(f, 26), 0x01020304u);
    EXPECT_EQ(be32(f, 30), 0x01020305u);
    // The pattern carries on into the second frame.
    EXPECT_EQ(be32(sent[1].bytes, 26), 0x01020304u + 9);

    // Options stay: one more untagged frame, with identical payloads now.
    board->port(1).clearSent();
    out = run({"TX 2 VLantag=0 PatternInc=0 Length=60"});
    EXPECT_TRUE(has(out, "TX: Warning: Length 60 too small for untagged packet (min 64)\n")) << out;
    EXPECT_TRUE(has(out, "Warning:  Sending untagged packet.\n")) << out;
    sent = board->port(1).waitSent(2, std::chrono::seconds(5));
    ASSERT_EQ(sent.size(), 2u) << out;
    EXPECT_FALSE(sent[0].tagged);
    EXPECT_EQ(sent[0].bytes[5], 0xee);
    EXPECT_EQ(sent[0].bytes[12] << 8 | sent[0].bytes[13], 60);
    EXPECT_EQ(sent[0].bytes, sent[1].bytes);
}

TEST_F(pkt_tx, PerPortSourcesIncrementsAndFileFrames) {
    std::string out = run({"TX 3 PortBitMap=0x6 PerPortSrcMac=1 SourceMacInc=1 DestMacInc=2"});
    auto to1 = board->port(1).waitSent(2, std::chrono::seconds(5));
    auto to2 = board->port(2).waitSent(1, std::chrono::seconds(5));
    ASSERT_EQ(to1.size(), 2u) << out;
    ASSERT_EQ(to2.size(), 1u) << out;
    EXPECT_EQ(to1[0].bytes[11], 0x05);
    EXPECT_EQ(to2[0].bytes[11], 0x06);
    EXPECT_EQ(to1[1].bytes[11], 0x05);  // the bitmap starts again, and the source
    EXPECT_EQ(to1[0].bytes[5], 0x15);
    EXPECT_EQ(to2[0].bytes[5], 0x17);
    EXPECT_EQ(to1[1].bytes[5], 0x19);

    fs_file("frame.hex", "ff ff ff ff ff ff 00 00 00 00 00 00\n81 00 a0 07 08 00\n" +
                             std::string(100, 'c') + "\n");
    board->port(1).clearSent();
    out =
        run({"TX 1 PerPortSrcMac=0 SourceMacInc=0 DestMacInc=0 PortBitMap=0x2 Filename=frame.hex"});
    auto sent = board->port(1).waitSent(1, std::chrono::seconds(5));
    ASSERT_EQ(sent.size(), 1u) << out;
    EXPECT_TRUE(sent[0].tagged);
    EXPECT_EQ(sent[0].vid, 7);
    EXPECT_EQ(sent[0].pri, 5);
    EXPECT_EQ(sent[0].bytes.size(), 64u);  // 68 bytes from the file, less the CRC
    EXPECT_EQ(sent[0].bytes[40], 0xcc);
    out = run({"TX 1 Filename=none.hex", "TX 1 Filename="});
    EXPECT_TRUE(has(out, "Unable to load packet from file none.hex\n")) << out;
}

TEST_F(pkt_tx, BadInputIsRefusedAndChangesNothing) {
    std::string out = run({"TX", "TX many", "TX 1 Length=5", "TX 1 Bogus=1", "TX 1 DestMac=xyz",
                           "TX 1 CRC=Sometimes", "TX 0", "TX -3", "TXSTArt 100000001", "TXCount"});
    EXPECT_TRUE(has(out, "Usage (TX): Count [PortBitMap=pbmp] ")) << out;
    EXPECT_TRUE(has(out, "TX: Error: Count 0 out of range (1-100000000)\n")) << out;
    EXPECT_TRUE(has(out, "TX: Error: Count -3 out of range (1-100000000)\n")) << out;
    EXPECT_TRUE(has(out, "TXSTArt: Error: Count 100000001 out of range (1-100000000)\n")) << out;
    EXPECT_TRUE(has(out, "TX: Error: Length 5 out of range (18 to 16383)\n")) << out;
    EXPECT_TRUE(has(out, "TX: Error: Invalid option or malformed expression: Bogus=1\n")) << out;
    EXPECT_TRUE(has(out, "TX: Error: DestMac=xyz refused: not a MAC address")) << out;
    EXPECT_TRUE(has(out, "=Sometimes refused: not one of")) << out;
    EXPECT_TRUE(has(out, "TX (Not-Running) Transmit Req(0) Sent(0)\n")) << out;
    EXPECT_TRUE(board->port(1).sent().empty());
    out = run({"TX 1 PortBitMap=0x2"});  // the refused values were not kept
    auto sent = board->port(1).waitSent(1, std::chrono::seconds(5));
    ASSERT_EQ(sent.size(), 1u) << out;
    EXPECT_EQ(sent[0].bytes.size(), 64u);
    EXPECT_EQ(sent[0].bytes[0], 0x10);
}

TEST_F(pkt_tx, BackgroundRunStopsOnRequest) {
    std::string out = run({"TXSTOp", "TXSTArt 100000000 PortBitMap=0x2", "TXSTArt 1", "TX 1"});
    EXPECT_TRUE(has(out, "TXSTOp: TX not currently running\n")) << out;
    EXPECT_TRUE(has(out, "TXSTArt: Error: tx command running\n")) << out;
    EXPECT_TRUE(has(out, "TX: Error: already active\n")) << out;
    ASSERT_EQ(board->port(1).waitSent(3, std::chrono::seconds(5)).size() >= 3, true);
    out = run({"TXCount", "TXSTOp"});
    EXPECT_TRUE(has(out, "TX (Running) Transmit Req(100000000)")) << out;
    EXPECT_TRUE(has(out, "TXSTOp: TX termination requested\n")) << out;
    ASSERT_TRUE(shows("TX Completed successfully: TX Requested(100000000) Tx Sent("));
    // The state returns to idle just after the message.
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!has(run({"TXCount"}), "Not-Running") && std::chrono::steady_clock::now() < end) {
    }
    out = run({"TXCount"});
    EXPECT_TRUE(has(out, "TX (Not-Running) Transmit Req(100000000) Sent(")) << out;
}

}  // namespace
