// Frames through the chip model: VLANs, learning and ageing, spanning tree,
// trunks, mirroring, counters, the management port and bad input.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim/board.h"

namespace {

using sim::FrameBuilder;
using sim::MacAddr;

constexpr MacAddr kA = 0x02000000000aull, kB = 0x02000000000bull, kC = 0x02000000000cull;

struct forwarding : ::testing::Test {
    sim::Board board{sim::BoardConfig::preset(sim::BoardKind::RW3090)};
    sim::Chip &chip = board.chip();
    const int cpu = board.profile().cpu_port;

    void SetUp() override {
        chip.poke("SWMODE", 0, 0x02);  // SW_FWDG_EN
        for (int p = 0; p < 6; p++)
            board.port(p).linkUp();
    }

    void reg(uint8_t page, uint8_t offset, uint64_t value, int len) {
        uint8_t buf[8];
        for (int i = 0; i < 8; i++)
            buf[i] = static_cast<uint8_t>(value >> (8 * i));
        ASSERT_EQ(chip.write(sim::BusPath::Direct, page, offset, buf, len), 0);
    }
    // One row of VLAN_1Q (1) or MSPT_TAB (3) through the table access registers.
    void table(int which, int index, uint64_t w0, uint64_t w1, uint64_t w2) {
        reg(0x05, 0x28, w0, 8);
        reg(0x05, 0x30, w1, 8);
        reg(0x05, 0x38, w2, 8);
        reg(0x05, 0x20, static_cast<uint64_t>(index), 2);
        reg(0x05, 0x00, 0x80 | static_cast<uint64_t>(which) << 1, 1);
    }
    void vlans(std::initializer_list<std::tuple<int, uint64_t, uint64_t>> rows) {
        for (auto [vid, members, untag] : rows)
            table(1, vid, members, untag, 0);
        reg(0x34, 0x00, 0xe0, 1);  // VLAN_EN, per-VLAN learning
    }
    static uint64_t bits(std::initializer_list<int> ports) {
        uint64_t m = 0;
        for (int p : ports)
            m |= 1ull << p;
        return m;
    }
    void drain() { board.fabric().drain(); }
    std::vector<sim::SentFrame> sent(int port) {
        drain();
        return board.port(port).sent();
    }
    uint64_t queued(int port, int queue) {
        drain();
        return board.fabric().queueCount(port, queue);
    }
    std::vector<int> receivers(int upto = 6) {
        drain();
        std::vector<int> out;
        for (int p = 0; p < upto; p++) {
            if (!sent(p).empty()) out.push_back(p);
        }
        return out;
    }
    void clear() {
        drain();
        for (int p = 0; p < 6; p++)
            board.port(p).clearSent();
        board.cpu().clearToCpu();
    }
};

TEST_F(forwarding, FloodsLearnsAndFollowsAStationMove) {
    vlans({{1, bits({0, 1, 2, 3}), bits({0, 1, 2, 3})}, {2, bits({4, 5}), 0}});
    for (int p = 0; p < 6; p++)
        chip.poke("DEFAULT_1Q_TAG", p, p < 4 ? 1 : 2);

    board.port(0).inject(FrameBuilder().src(kA).dst(kB).build());
    EXPECT_EQ(receivers(), (std::vector<int>{1, 2, 3}));  // unknown unicast: VLAN 1 only
    ASSERT_TRUE(chip.tables().lookup(kA, 1));
    EXPECT_EQ(chip.tables().lookup(kA, 1)->port, 0);

    clear();
    board.port(2).inject(FrameBuilder().src(kB).dst(kA).build());
    EXPECT_EQ(receivers(), (std::vector<int>{0}));
    clear();
    board.port(0).inject(FrameBuilder().src(kA).dst(kB).build());
    EXPECT_EQ(receivers(), (std::vector<int>{2}));

    clear();  // B moves to port 3
    board.port(3).inject(FrameBuilder().src(kB).dst(kC).build());
    clear();
    board.port(0).inject(FrameBuilder().src(kA).dst(kB).build());
    EXPECT_EQ(receivers(), (std::vector<int>{3}));
    EXPECT_EQ(sent(3).front().bytes.size(), 60u);

    // A frame whose entry points back out of the port it came in at goes
    // nowhere, and the port counts it as dropped.
    clear();
    board.port(3).inject(FrameBuilder().src(kC).dst(kB).build());
    EXPECT_TRUE(receivers().empty());
    EXPECT_EQ(chip.mibGet("RXDROPPKTS", 3), 1u);
}

TEST_F(forwarding, AgesEntriesOnTheModelClock) {
    chip.poke("SPTAGT", 0, 10);
    board.port(0).inject(FrameBuilder().src(kA).build());
    ASSERT_TRUE(chip.tables().lookup(kA, 1));
    board.fabric().advance(11'000'000);  // one pass clears the hit bit
    EXPECT_TRUE(chip.tables().lookup(kA, 1));
    board.fabric().advance(10'000'000);
    EXPECT_FALSE(chip.tables().lookup(kA, 1));

    // A clock that comes late runs one pass, not every pass it owes.
    board.port(0).inject(FrameBuilder().src(kA).build());
    board.fabric().advance(35'000'000);
    EXPECT_TRUE(chip.tables().lookup(kA, 1));

    // A new, shorter time starts the ager again: an address heard just
    // before the change stays for the new time.
    reg(0x45, 0x08, 300, 4);  // SPTAGT
    board.fabric().advance(25'000'000);
    board.port(0).inject(FrameBuilder().src(kA).build());
    reg(0x45, 0x08, 10, 4);
    board.fabric().advance(4'000'000);
    EXPECT_TRUE(chip.tables().lookup(kA, 1));
    board.fabric().advance(7'000'000);
    EXPECT_TRUE(chip.tables().lookup(kA, 1));
    board.fabric().advance(10'000'000);
    EXPECT_FALSE(chip.tables().lookup(kA, 1));
}

TEST_F(forwarding, FastAgeTakesTheSelectedPortAndVlan) {
    vlans({{1, bits({0, 1, 2, 3}), 0}, {2, bits({0, 1, 2, 3}), 0}});
    const auto learn = [&] {
        board.port(1).inject(FrameBuilder().src(kA).vlan(1).build());
        board.port(2).inject(FrameBuilder().src(kB).vlan(1).build());
        board.port(2).inject(FrameBuilder().src(kC).vlan(2).build());
    };
    const auto fastAge = [&](uint64_t ageout, uint64_t modes) {
        chip.poke("AGEOUT_CTL", 0, ageout);
        chip.poke("MST_CON", 0, 0);
        reg(0x45, 0x00, 0x80 | modes, 1);  // FAST_AGE_STDN with the modes
        EXPECT_EQ(chip.peek("MST_CON") & 0x80, 0u);
    };
    learn();
    fastAge(2, 0x02);  // port 2
    EXPECT_TRUE(chip.tables().lookup(kA, 1));
    EXPECT_FALSE(chip.tables().lookup(kB, 1));
    EXPECT_FALSE(chip.tables().lookup(kC, 2));
    learn();
    fastAge(2 << 6, 0x04);  // VLAN 2
    EXPECT_TRUE(chip.tables().lookup(kA, 1));
    EXPECT_TRUE(chip.tables().lookup(kB, 1));
    EXPECT_FALSE(chip.tables().lookup(kC, 2));
    learn();
    fastAge(1 << 6 | 2, 0x06);  // port 2 in VLAN 1
    EXPECT_TRUE(chip.tables().lookup(kA, 1));
    EXPECT_FALSE(chip.tables().lookup(kB, 1));
    EXPECT_TRUE(chip.tables().lookup(kC, 2));
    // Without EN_AGE_STATIC a static entry stays; with it, it goes.
    reg(0x05, 0x02, kA, 6);
    reg(0x05, 0x08, 1, 2);
    reg(0x05, 0x10, kA | 1ull << 48 | 3ull << 62, 8);  // port 1, static, valid
    reg(0x05, 0x18, 1, 2);
    reg(0x05, 0x00, 0x80, 1);
    ASSERT_TRUE(chip.tables().lookup(kA, 1));
    fastAge(1, 0x02);
    EXPECT_TRUE(chip.tables().lookup(kA, 1));
    fastAge(1, 0x12);
    EXPECT_FALSE(chip.tables().lookup(kA, 1));
}

TEST_F(forwarding, TagsPerUntaggedMapAndFiltersIngress) {
    vlans({{10, bits({1, 2, 3}), bits({2})}});
    reg(0x34, 0x10, 0x40, 1);  // INGR_VID_CHK
    board.port(1).inject(FrameBuilder().src(kA).vlan(10, 5).build());
    auto to2 = sent(2), to3 = sent(3);
    ASSERT_EQ(to2.size(), 1u);
    ASSERT_EQ(to3.size(), 1u);
    EXPECT_FALSE(to2[0].tagged);
    EXPECT_EQ(to2[0].bytes.size(), 60u);
    EXPECT_TRUE(to3[0].tagged);
    EXPECT_EQ(to3[0].vid, 10);
    EXPECT_EQ(to3[0].pri, 5);

    clear();
    board.port(4).inject(FrameBuilder().src(kB).vlan(10).build());  // not a member
    EXPECT_TRUE(receivers().empty());
    EXPECT_EQ(board.dropStats().vlan, 1u);
}

TEST_F(forwarding, BlockingPortDropsDataButTrapsBpdusAndIgmp) {
    chip.poke("TH_PCTL", 1, 2 << 5);  // blocking
    chip.poke("GMNGCFG", 0, 0x02);    // RXBPDU_EN
    board.port(1).inject(FrameBuilder().src(kA).build());
    EXPECT_TRUE(receivers().empty());
    EXPECT_FALSE(chip.tables().lookup(kA, 1));
    EXPECT_EQ(chip.mibGet("RXDROPPKTS", 1), 1u);  // taken and dropped: counted
    // So is a frame off the wire while the port's receive is still off.
    chip.poke("TH_PCTL", 4, 1);  // MIRX_DIS
    board.port(4).inject(FrameBuilder().src(kC).build());
    EXPECT_TRUE(receivers().empty());
    EXPECT_EQ(chip.mibGet("RXDROPPKTS", 4), 1u);
    board.port(1).inject(FrameBuilder().src(kA).bpdu().build());
    EXPECT_TRUE(receivers().empty());
    ASSERT_EQ(board.cpu().toCpu().size(), 1u);
    chip.poke("GMNGCFG", 0, 0x0a);  // and IGMP capture
    board.port(2).inject(FrameBuilder().src(kB).igmp(0x0a000002, 0xe0000101).build());
    EXPECT_TRUE(receivers().empty());
    EXPECT_EQ(board.cpu().toCpu().size(), 2u);
    // Group states instead once multiple trees are on: port 1 of tree 0 forwards.
    chip.poke("MST_CON", 0, 0x40);
    table(3, 0, 5ull << 3, 0, 0);
    board.port(1).inject(FrameBuilder().src(kA).build());
    EXPECT_EQ(receivers().size(), 5u);
}

TEST_F(forwarding, TrunkGetsOneCopyAndNeverReflects) {
    chip.poke("GLOBAL_TRUNK_CTL", 0, 0x02);
    chip.poke("TRUNK_GRP0_CTL", 0, 1ull << 53 | bits({2, 3}));
    board.port(0).inject(FrameBuilder().src(kA).build());
    auto got = receivers();
    EXPECT_EQ(got.size(), 4u);  // 1, 4, 5 and one of 2/3
    EXPECT_NE(sent(2).empty(), sent(3).empty());
    clear();
    board.port(2).inject(FrameBuilder().src(kB).build());
    EXPECT_EQ(receivers(), (std::vector<int>{0, 1, 4, 5}));
}

TEST_F(forwarding, TrunkSendsOnlyOnMembersThatPassEveryEgressCheck) {
    chip.poke("GLOBAL_TRUNK_CTL", 0, 0x02);
    chip.poke("TRUNK_GRP0_CTL", 0, 1ull << 53 | bits({2, 3}));
    auto flood_from = [&](int port, uint16_t vid) {
        for (MacAddr src = 1; src <= 16; src++)
            board.port(port).inject(FrameBuilder().src(0x020000000100ull + src).vlan(vid).build());
    };
    chip.poke("TH_PCTL", 3, 2 << 5);  // member 3 blocking
    flood_from(0, 1);
    EXPECT_TRUE(sent(3).empty());
    EXPECT_EQ(sent(2).size(), 16u);

    clear();  // member 3 forwards again but is outside VLAN 10
    chip.poke("TH_PCTL", 3, 0);
    vlans({{1, bits({0, 1, 2, 3, 4, 5}), 0}, {10, bits({0, 1, 2}), 0}});
    flood_from(0, 10);
    EXPECT_TRUE(sent(3).empty());
    EXPECT_EQ(sent(2).size(), 16u);
    clear();
    flood_from(0, 1);  // both may send in VLAN 1: the hash shares the load
    EXPECT_FALSE(sent(2).empty());
    EXPECT_FALSE(sent(3).empty());
    EXPECT_EQ(sent(2).size() + sent(3).size(), 16u);
}

TEST_F(forwarding, KnownUnicastToATrunkFailsOverToAMemberWithLink) {
    chip.poke("GLOBAL_TRUNK_CTL", 0, 0x02);
    chip.poke("TRUNK_GRP0_CTL", 0, 1ull << 53 | bits({2, 3}));
    board.port(2).inject(FrameBuilder().src(kB).build());
    clear();
    board.port(0).inject(FrameBuilder().src(kA).dst(kB).build());
    EXPECT_EQ(sent(2).size() + sent(3).size(), 1u);
    EXPECT_EQ(receivers().size(), 1u);  // known: no flood

    clear();
    board.port(2).linkDown();
    board.port(0).inject(FrameBuilder().src(kA).dst(kB).build());
    EXPECT_EQ(receivers(), (std::vector<int>{3}));
    EXPECT_EQ(chip.mibGet("TXDROPPKTS", 2), 0u);  // not lost: the other member took it
    board.port(3).linkDown();
    board.port(0).inject(FrameBuilder().src(kA).dst(kB).build());
    EXPECT_EQ(sent(3).size(), 1u);  // no member left: nothing more
    // Lost once, and counted at the first member without link.
    EXPECT_EQ(chip.mibGet("TXDROPPKTS", 2) + chip.mibGet("TXDROPPKTS", 3), 1u);
    EXPECT_EQ(chip.mibGet("TXDROPPKTS", 2), 1u);

    // An address on a port without link outside any trunk: the frame to it
    // is dropped and counted at that port, as the CPU's frames are; a flood
    // passes it by uncounted.
    board.port(4).inject(FrameBuilder().src(kC).build());
    board.port(4).linkDown();
    board.port(0).inject(FrameBuilder().src(kA).dst(kC).build());
    board.port(0).inject(FrameBuilder().src(kA).build());
    drain();
    EXPECT_EQ(chip.mibGet("TXDROPPKTS", 4), 1u);
}

TEST_F(forwarding, EgressMirrorCopyIsTheFrameAsTheMirroredPortSentIt) {
    vlans({{1, bits({0, 1, 2}), bits({1})}});  // 1 untagged, 2 tagged
    chip.poke("MIRCAPCTL", 0, 1ull << 63 | bits({5}));
    chip.poke("EGMIRCTL", 0, bits({1, 2}));
    board.port(0).inject(FrameBuilder().src(kA).vlan(1, 3).build());
    auto to1 = sent(1), to2 = sent(2), copies = sent(5);
    ASSERT_EQ(to1.size(), 1u);
    ASSERT_EQ(to2.size(), 1u);
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_FALSE(to1[0].tagged);
    EXPECT_TRUE(to2[0].tagged);
    EXPECT_EQ(copies[0].bytes, to1[0].bytes);
    EXPECT_EQ(copies[1].bytes, to2[0].bytes);
}

TEST_F(forwarding, LongGoodFramesCountAsOversizeOutsideTheSizeBuckets) {
    const char *buckets[] = {"PKTS64OCTETS",       "PKTS65TO127OCTETS",   "PKTS128TO255OCTETS",
                             "PKTS256TO511OCTETS", "PKTS512TO1023OCTETS", "PKTS1024TO1522OCTETS"};
    board.port(0).inject(FrameBuilder().src(kA).size(1518).build());  // 1522 with the FCS
    EXPECT_EQ(chip.mibGet("PKTS1024TO1522OCTETS", 0), 1u);
    EXPECT_EQ(chip.mibGet("RXOVERSIZEPKTS", 0), 0u);
    board.port(0).inject(FrameBuilder().src(kA).size(2000).build());  // taken and forwarded
    EXPECT_EQ(chip.mibGet("RXOVERSIZEPKTS", 0), 1u);
    EXPECT_EQ(chip.mibGet("RXBROADCASTPKT", 0), 2u);
    EXPECT_EQ(sent(1).size(), 2u);
    board.port(0).inject(FrameBuilder().src(kA).size(9000).build());  // 9004: past the MAC
    EXPECT_EQ(chip.mibGet("RXOVERSIZEPKTS", 0), 2u);
    EXPECT_EQ(chip.mibGet("RXOCTETS", 0), 1522u + 2004 + 9004);
    EXPECT_EQ(sent(1).size(), 2u);
    uint64_t bucketed = 0;
    for (const char *b : buckets)
        bucketed += chip.mibGet(b, 0);
    EXPECT_EQ(bucketed, 1u);
}

TEST_F(forwarding, MirrorsIngressAndEgressToTheCapturePort) {
    chip.poke("MIRCAPCTL", 0, 1ull << 63 | bits({5}));
    chip.poke("IGMIRCTL", 0, bits({0}));
    chip.poke("PORT_VLAN_CTL", 0, bits({1}));  // port 0 may only reach port 1
    board.port(0).inject(FrameBuilder().src(kA).build());
    EXPECT_EQ(receivers(), (std::vector<int>{1, 5}));
    clear();  // egress side: what port 1 sends
    chip.poke("IGMIRCTL", 0, 0);
    chip.poke("EGMIRCTL", 0, bits({1}));
    board.port(0).inject(FrameBuilder().src(kA).build());
    EXPECT_EQ(receivers(), (std::vector<int>{1, 5}));
    chip.poke("EGMIRCTL", 0, bits({2}));
    board.port(0).inject(FrameBuilder().src(kA).build());
    EXPECT_EQ(sent(5).size(), 1u);  // port 2 sent nothing to copy
}

TEST_F(forwarding, CountsAndDropsBadFrames) {
    auto good = FrameBuilder().src(kA).build();
    board.port(0).inject(good);
    board.port(0).injectRaw(FrameBuilder().src(kA).size(40).build().bytes);  // runt
    board.port(0).injectRaw(good.bytes, sim::Fcs::Bad);
    board.port(0).inject(FrameBuilder().src(kA).size(3000).build());
    EXPECT_EQ(chip.mibGet("RXBROADCASTPKT", 0), 1u);
    EXPECT_EQ(chip.mibGet("RXUNDERSIZEPKTS", 0), 1u);
    EXPECT_EQ(chip.mibGet("RXFCSERRORS", 0), 1u);
    EXPECT_EQ(chip.mibGet("RXOVERSIZEPKTS", 0), 1u);
    EXPECT_EQ(chip.mibGet("TXBROADCASTPKTS", 1), 1u);
    EXPECT_EQ(chip.mibGet("TXOCTETS", 1), 64u);
    EXPECT_EQ(sent(1).size(), 1u);
    EXPECT_THROW(board.port(99), std::out_of_range);
    EXPECT_FALSE(board.port(cpu).inject(good));
}

TEST_F(forwarding, ManagementPortTagsBothWays) {
    chip.poke("MII_PCTL", 0, 0x04);  // broadcasts to the CPU
    board.port(3).inject(FrameBuilder().src(kA).build());
    auto up = board.cpu().toCpu();
    ASSERT_EQ(up.size(), 1u);
    const auto &f = up[0];
    ASSERT_EQ(f.size(), 64u + 6 + 4);  // tag inserted, management tag, FCS
    EXPECT_EQ(f[12], 0x88);
    EXPECT_EQ(f[13], 0x74);
    uint32_t word = uint32_t(f[14]) << 24 | f[15] << 16 | f[16] << 8 | f[17];
    EXPECT_EQ(word & 0x3f, 3u);
    EXPECT_EQ((word >> 17) & 0xfff, 64u);
    EXPECT_EQ(f[18], 0x81);
    std::vector<uint8_t> inner(f.begin(), f.begin() + 12);
    inner.insert(inner.end(), f.begin() + 18, f.end());
    EXPECT_TRUE(sim::fcsOk(inner));

    // Opcode 3 goes to the bitmap as given.
    clear();
    auto out = FrameBuilder().src(kC).dst(kA).build().bytes;
    auto wire = sim::withFcs(out);
    uint8_t tag[6] = {0x88, 0x74, 0x60, 0x00, 0x00, 0x24};  // ports 2 and 5
    wire.insert(wire.begin() + 12, tag, tag + 6);
    board.fromCpu(wire);
    EXPECT_EQ(receivers(), (std::vector<int>{2, 5}));
    EXPECT_EQ(sent(2)[0].bytes, out);
    // A port without link (7) drops what the CPU sends it, counted there.
    clear();
    wire[17] = 0x84;
    board.fromCpu(wire);
    EXPECT_EQ(receivers(), (std::vector<int>{2}));
    EXPECT_EQ(chip.mibGet("TXDROPPKTS", 7), 1u);
    wire[17] = 0x24;

    // Opcode 4: the second group, from port 24.
    clear();
    board.port(24).linkUp();
    board.port(44).linkUp();
    const uint8_t second[4] = {0x80, 0x10, 0x00, 0x01};  // bits 0 and 20
    std::copy(second, second + 4, wire.begin() + 14);
    board.fromCpu(wire);
    EXPECT_EQ(receivers(45), (std::vector<int>{24, 44}));

    clear();
    wire.back() ^= 1;
    board.fromCpu(wire);
    board.fromCpu(sim::withFcs(out));  // no management tag
    EXPECT_TRUE(receivers().empty());
    EXPECT_EQ(board.anomalies().count(sim::AnomalyKind::CpuFrame), 2u);
}

TEST_F(forwarding, LoopbackReturnsFramesAfterTheHopDelay) {
    board.port(4).loopbackPlug(true);
    board.port(0).inject(FrameBuilder().src(kA).build());
    EXPECT_EQ(chip.mibGet("RXBROADCASTPKT", 4), 0u);
    board.fabric().advance(sim::Fabric::kHopDelayUs);
    EXPECT_EQ(chip.mibGet("RXBROADCASTPKT", 4), 1u);
    EXPECT_EQ(chip.tables().lookup(kA, 1)->port, 4);  // the looped frame moved A
}

// Frames wait in a packet buffer of fixed size until the pipeline takes
// them (here nothing runs the queue until pump): a port's flood fills at most
// its own share and is counted as its discards; floods from several ports
// fill no more of what the ports share than leaves every other port its
// reserved cells and room beside them; once the pipeline has run, the ports
// take frames again.
TEST_F(forwarding, PacketBufferBoundsWhatWaitsPerPortAndInTotal) {
    board.fabric().setNotifier([] {});
    const auto flood = FrameBuilder().src(kA).build();  // one cell each
    const uint32_t share = sim::Fabric::kPortCells, reserved = sim::Fabric::kReservedCells;
    for (uint32_t i = 0; i < share + 100; i++)
        board.port(0).inject(flood);
    EXPECT_EQ(chip.mibGet("RXDROPPKTS", 0), 100u);
    EXPECT_EQ(board.fabric().dropStats().buffer, 100u);
    constexpr int kFlooders = 5;
    for (int p = 1; p < kFlooders; p++)
        for (uint32_t i = 0; i < share; i++)
            board.port(p).inject(FrameBuilder().src(kB + static_cast<MacAddr>(p)).dst(kA).build());
    uint64_t held = 0;
    for (int p = 0; p < kFlooders; p++)
        held += (p == 0 ? share + 100 : share) - chip.mibGet("RXDROPPKTS", p);
    const uint64_t pool =
        sim::Fabric::kBufferCells - uint64_t{reserved} * sim::Fabric::kQueues *
                                        static_cast<uint64_t>(board.profile().num_ports);
    // Most of the shared part, never all of it.
    EXPECT_LT(held, pool + kFlooders * reserved);
    EXPECT_GE(held, pool / 2);
    // A quiet port gets its reserved cells and more, the CPU port too.
    const int quiet = kFlooders;
    constexpr uint32_t kBeside = 8;
    for (uint32_t i = 0; i < reserved + kBeside; i++)
        board.port(quiet).inject(FrameBuilder().src(kC).dst(kA).build());
    EXPECT_EQ(chip.mibGet("RXDROPPKTS", quiet), 0u);
    auto wire = sim::withFcs(FrameBuilder().src(kC).dst(kA).build().bytes);
    const uint8_t tag[6] = {0x88, 0x74, 0x00, 0x00, 0x00, 0x00};
    wire.insert(wire.begin() + 12, tag, tag + 6);
    board.fromCpu(wire);
    EXPECT_EQ(chip.mibGet("RXDROPPKTS", cpu), 0u);
    EXPECT_EQ(chip.mibGet("RXBROADCASTPKT", 0), 0u);

    board.fabric().pump();
    EXPECT_EQ(chip.mibGet("RXBROADCASTPKT", 0), share);
    EXPECT_EQ(chip.mibGet("RXUNICASTPKTS", quiet), reserved + kBeside);
    board.port(quiet).inject(FrameBuilder().src(kC).dst(kA).build());
    board.fabric().pump();
    EXPECT_EQ(chip.mibGet("RXUNICASTPKTS", quiet), reserved + kBeside + 1);
    EXPECT_EQ(chip.mibGet("RXDROPPKTS", quiet), 0u);
}

// What a host sends crosses the wire at the port's line rate and waits while
// the buffer is full: a burst of full-size frames all arrives, paced, and
// only what overflows the host's own queue is counted as a discard.
TEST_F(forwarding, AHostsBurstCrossesTheWireAtLineRateAndWaitsForRoom) {
    board.fabric().setNotifier([] {});
    chip.phyPoke(1, 0, 0x2000 | 0x0100);  // 100 Mb/s, full duplex
    const auto full = FrameBuilder().src(kA).dst(kB).size(1514).build();
    for (int i = 0; i < 100; i++)
        ASSERT_TRUE(board.port(1).send(full));
    board.fabric().pump();
    // 1538 bytes on the wire each: 123.04 us at 100 Mb/s.
    board.fabric().advance(123 * 10);
    EXPECT_EQ(chip.mibGet("RXUNICASTPKTS", 1), 10u);
    board.fabric().advance(123 * 100);
    EXPECT_EQ(chip.mibGet("RXUNICASTPKTS", 1), 100u);
    EXPECT_EQ(chip.mibGet("RXDROPPKTS", 1), 0u);

    // While the port's share of the buffer is full the host's frames wait in
    // its queue; only what overflows that is a discard.
    const auto small = FrameBuilder().src(kA).dst(kB).build();
    for (uint32_t i = 0; i < sim::Fabric::kPortCells; i++)
        board.port(2).inject(small);
    const size_t queued = sim::Fabric::kHostQueueCells / 6;  // 1518 bytes: 6 cells each
    for (size_t i = 0; i < queued + 3; i++)
        board.port(2).send(full);
    EXPECT_EQ(chip.mibGet("RXDROPPKTS", 2), 3u);
    for (int i = 0; i < 10 && chip.mibGet("RXUNICASTPKTS", 2) < sim::Fabric::kPortCells + queued;
         i++)
        board.fabric().advance(1000000);
    EXPECT_EQ(chip.mibGet("RXUNICASTPKTS", 2), sim::Fabric::kPortCells + queued);
    EXPECT_EQ(chip.mibGet("RXDROPPKTS", 2), 3u);
    // What still waits when the PHY loops back is lost on the wire.
    for (int i = 0; i < 3; i++)
        board.port(3).send(full);
    chip.phyPoke(3, 0, 0x4000 | 0x2000 | 0x0100);
    board.fabric().advance(10000);
    EXPECT_EQ(chip.mibGet("RXUNICASTPKTS", 3), 1u);  // it had crossed at once
    EXPECT_FALSE(board.port(3).send(full));
    EXPECT_FALSE(board.port(cpu).send(small));
}

// Hosts held back for want of room take turns: while the buffer is full,
// three ports' frames get in one port after the other as cells come free.
TEST_F(forwarding, HostsWaitingForRoomTakeTurns) {
    uint64_t now = 0;
    board.fabric().bindClock([&now] { return now; });
    board.fabric().setNotifier([] {});
    board.port(1).inject(FrameBuilder().src(kA).build());
    board.fabric().pump();
    const auto small = FrameBuilder().src(kC).build();
    for (int p : {0, 5, 6, 7})
        for (uint32_t i = 0; i < sim::Fabric::kPortCells; i++)
            board.port(p).injectRaw(small.bytes, sim::Fcs::Bad);
    const std::vector<int> hosts{2, 3, 4};
    for (int p : hosts) {
        for (uint32_t i = 0; i < sim::Fabric::kReservedCells; i++)
            board.port(p).injectRaw(small.bytes, sim::Fcs::Bad);
        for (int i = 0; i < 10; i++)
            board.port(p).send(
                FrameBuilder().src(kB + static_cast<MacAddr>(p)).dst(kA).size(1514).build());
    }
    now = 100000;
    board.fabric().pump();
    now += 10000;  // they leave port 1 at its line rate
    board.fabric().pump();
    std::vector<int> order;
    for (const sim::SentFrame &f : sent(1)) {
        const MacAddr src = sim::macAt(f.bytes.data() + 6);
        if (src >= kB + 2 && src <= kB + 4) order.push_back(static_cast<int>(src - kB));
    }
    ASSERT_EQ(order.size(), 30u);
    for (size_t i = 0; i + 3 <= 9; i += 3)
        EXPECT_TRUE(std::is_permutation(order.begin() + static_cast<long>(i),
                                        order.begin() + static_cast<long>(i) + 3, hosts.begin()))
            << i;
    board.fabric().bindClock({});
}

// Frames the CPU sends into the pipeline share the buffer (counted at the
// CPU port); a port without a sink keeps a bounded record of what it sent.
TEST_F(forwarding, CpuFramesAndCapturesStayBounded) {
    board.fabric().setNotifier([] {});
    auto wire = sim::withFcs(FrameBuilder().src(kC).build().bytes);
    const uint8_t tag[6] = {0x88, 0x74, 0x00, 0x00, 0x00, 0x00};  // opcode 0: the pipeline
    wire.insert(wire.begin() + 12, tag, tag + 6);
    for (uint32_t i = 0; i < sim::Fabric::kPortCells + 5; i++)
        board.fromCpu(wire);
    EXPECT_EQ(chip.mibGet("RXDROPPKTS", cpu), 5u);
    board.fabric().pump();
    EXPECT_EQ(sent(1).size(), sim::Fabric::kPortCells);
    const uint32_t rounds = sim::Fabric::kCapturedFrames / sim::Fabric::kPortCells + 1;
    for (uint32_t round = 1; round < rounds; round++) {
        for (uint32_t i = 0; i < sim::Fabric::kPortCells; i++)
            board.fromCpu(wire);
        drain();
    }
    EXPECT_EQ(sent(1).size(), sim::Fabric::kCapturedFrames);
    EXPECT_EQ(chip.mibGet("TXBROADCASTPKTS", 1), rounds * sim::Fabric::kPortCells);
}

TEST_F(forwarding, APhyLoopedBackTakesNothingFromItsWire) {
    chip.phyPoke(2, 0, 0x4000 | 0x2000 | 0x0100);  // loopback, 100 Mb/s, full duplex
    EXPECT_FALSE(board.port(2).inject(FrameBuilder().src(kA).build()));
    board.fabric().advance(sim::Fabric::kHopDelayUs);
    EXPECT_EQ(chip.mibGet("RXBROADCASTPKT", 2), 0u);
    EXPECT_FALSE(chip.tables().lookup(kA, 1).has_value());
    chip.phyPoke(2, 0, 0x2000 | 0x0100);
    EXPECT_TRUE(board.port(2).inject(FrameBuilder().src(kA).build()));
}

}  // namespace

namespace {

// A slice-0 row matching one EtherType, with an in-band action word.
sim::CfpEngine::Row etypeRow(uint16_t type, uint32_t action) {
    sim::CfpEngine::Row r;
    r.data[0] = r.mask[0] = 3;        // VALID_R
    r.data[1] = uint32_t(type) << 2;  // ETYPE, bits 34-49
    r.mask[1] = 0xffffu << 2;
    r.action = action;
    return r;
}

TEST_F(forwarding, FieldProcessorDropsRedirectsAndCopiesToTheCpu) {
    sim::CfpEngine &cfp = *chip.cfp();
    chip.poke("CFP_GLOBAL_CTL", 0, bits({0}));
    auto ip = FrameBuilder().src(kA).udp(0x0a000001, 0x0a000002, 1, 2).build();
    cfp.setRow(3, etypeRow(0x0800, 0x80 | 63));  // drop
    board.port(0).inject(ip);
    EXPECT_TRUE(receivers().empty());
    board.port(0).inject(FrameBuilder().src(kA).ethertype(0x0806).build());
    EXPECT_EQ(receivers().size(), 5u);  // other EtherTypes pass
    EXPECT_EQ(cfp.row(3).in_band, 1u);

    clear();
    cfp.setRow(3, etypeRow(0x0800, 0x80 | 4));  // redirect to port 4
    board.port(0).inject(ip);
    EXPECT_EQ(receivers(), (std::vector<int>{4}));

    clear();
    cfp.setRow(3, etypeRow(0x0800, 0xc0 | uint32_t(cpu)));  // copy to the CPU
    board.port(0).inject(ip);
    EXPECT_EQ(receivers().size(), 5u);
    EXPECT_EQ(board.cpu().toCpu().size(), 1u);

    // Metered at 64 kbit/s with a 64 kbit bucket: out of profile is dropped.
    auto metered = etypeRow(0x0800, (0x80 | 63) << 16);
    metered.meter[1] = 1u << 31 | 11 << 8 | 1;
    cfp.setRow(3, metered);
    clear();
    board.port(0).injectBurst(ip, 130);
    EXPECT_EQ(cfp.row(3).in_band, 125u);
    EXPECT_EQ(cfp.row(3).out_band, 5u);
    EXPECT_EQ(sent(2).size(), 125u);
    board.fabric().advance(1'000'000);  // 64 kbit more
    board.port(0).injectBurst(ip, 130);
    EXPECT_EQ(cfp.row(3).in_band, 250u);
}

// Writes a meter through the access engine as the driver does.
void writeMeter(forwarding &t, int row, uint32_t word1) {
    t.chip.poke("RATE_METER0", 0, 0);
    t.chip.poke("RATE_METER1", 0, word1);
    t.reg(0x21, 0x00, uint64_t(row) << 16 | 4 << 8 | 2 << 1 | 1, 4);
}

TEST_F(forwarding, NewMeterOnAReusedRowStartsWithAFullBucket) {
    sim::CfpEngine &cfp = *chip.cfp();
    chip.poke("CFP_GLOBAL_CTL", 0, bits({0}));
    auto ip = FrameBuilder().src(kA).udp(0x0a000001, 0x0a000002, 1, 2).build();
    auto row = etypeRow(0x0800, (0x80 | 63) << 16);  // out of profile: drop
    cfp.setRow(3, row);
    writeMeter(*this, 3, 1u << 31 | 11 << 8 | 1);  // 64 kbit/s, 64 kbit bucket
    board.port(0).injectBurst(ip, 130);
    EXPECT_EQ(sent(2).size(), 125u);

    clear();  // the same row gets the same meter again: a fresh bucket
    writeMeter(*this, 3, 1u << 31 | 11 << 8 | 1);
    board.port(0).injectBurst(ip, 130);
    EXPECT_EQ(sent(2).size(), 125u);

    clear();  // and a larger one through the test API
    row = cfp.row(3);
    row.meter[1] = 1u << 31 | 10 << 8 | 2;  // 128 kbit/s, 128 kbit bucket
    cfp.setRow(3, row);
    board.port(0).injectBurst(ip, 260);
    EXPECT_EQ(sent(2).size(), 250u);
}

TEST_F(forwarding, RulesMatchUserDefinedFieldsAtThePortsOffsets) {
    sim::CfpEngine &cfp = *chip.cfp();
    chip.poke("CFP_GLOBAL_CTL", 0, bits({0, 30}));
    chip.poke("UDF_OFFSET2_P", 0, 42);  // the first four bytes of the UDP payload
    sim::CfpEngine::Row r;
    r.data[0] = r.mask[0] = 3;                                          // VALID_R
    r.data[5] = r.mask[5] = 7u << (182 - 160);                          // SLICEID
    r.data[5] = 2u << (182 - 160);                                      // slice 2
    r.data[0] |= 0xdeadbeefu << 2, r.mask[0] |= ~0u << 2;               // UDF2, bits 33..2
    r.data[1] = 0xdeadbeefu >> 30 | 1u << 2, r.mask[1] = 3u | 1u << 2;  // and UDF2_VLD
    r.action = 0x80 | 63;                                               // drop
    cfp.setRow(0, r);
    auto udp = [](std::vector<uint8_t> data) {
        return FrameBuilder().src(kA).udp(0x0a000001, 0x0a000002, 9, 9, data).build();
    };
    board.port(0).inject(udp({0xde, 0xad, 0xbe, 0xef, 1}));
    EXPECT_TRUE(receivers().empty());
    EXPECT_EQ(cfp.row(0).in_band, 1u);
    board.port(0).inject(udp({0xde, 0xad, 0xbe, 0xee, 1}));
    EXPECT_EQ(receivers().size(), 5u);

    // Port 30 keeps its slice-4 offsets in the second register.
    clear();
    board.port(30).linkUp();
    chip.poke("UDF_OFFSET4_EXP", 6, 4ull << 24);  // OFFSET_D: bytes 4-7
    sim::CfpEngine::Row d;
    d.data[0] = d.mask[0] = 3;
    d.data[5] = 4u << (182 - 160), d.mask[5] = 7u << (182 - 160) | 1u << (163 - 160);
    d.data[5] |= 1u << (163 - 160);                      // UDF4D_VLD
    d.data[1] = 0x000a0200u << 2, d.mask[1] = ~0u << 2;  // 00 0a from the DA, 02 00 from the SA
    d.data[2] = 0, d.mask[2] = 3;
    d.action = 0x80 | 63;
    cfp.setRow(0, d);
    board.port(30).inject(FrameBuilder().src(kC).dst(0x02000000000aull).build());
    EXPECT_EQ(cfp.row(0).in_band, 1u);
    board.port(30).inject(FrameBuilder().src(kC).dst(0x02000000000bull).build());
    EXPECT_EQ(cfp.row(0).in_band, 1u);
    EXPECT_EQ(sent(1).size(), 1u);
}

TEST_F(forwarding, QueuesFollowTheClassificationMapsAndTheQueueCount) {
    chip.poke("QOS_CTL", 0, 3ull << 53);  // four queues
    chip.poke("QOS_1P_EN", 0, bits({0}));
    chip.poke("QOS_TCI_TH", 0, 2u << 10 | 1u << 2);  // 5 -> 2, 1 -> 1, the rest 0
    board.port(0).inject(FrameBuilder().src(kA).vlan(1, 5).build());
    board.port(0).inject(FrameBuilder().src(kA).vlan(1, 1).build());
    board.port(0).inject(FrameBuilder().src(kA).vlan(1, 7).build());
    EXPECT_EQ(queued(1, 0), 1u);
    EXPECT_EQ(queued(1, 1), 1u);
    EXPECT_EQ(queued(1, 2), 1u);

    // DSCP on port 3: DSCP 46 -> 3 (DSCP2 bits 29:28), 10 -> 1.
    chip.poke("QOS_TOS_DIF_EN", 0, bits({3}));
    chip.poke("QOS_TOS_DIF_CTL", 0, 1);
    chip.poke("QOS_DIFF_DSCP2", 0, 3ull << 28);
    chip.poke("QOS_DIFF_DSCP1", 0, 1ull << 20);
    auto ip = [](uint8_t tos) {
        return FrameBuilder().src(kB).ipv4(0x0a000001, 0x0a000002, 17, {}, tos).build();
    };
    board.port(3).inject(ip(46 << 2));
    board.port(3).inject(ip(10 << 2));
    board.port(3).inject(FrameBuilder().src(kB).vlan(1, 5).ethertype(0x88b5).build());  // 0
    EXPECT_EQ(queued(1, 3), 1u);
    EXPECT_EQ(queued(1, 1), 2u);
    EXPECT_EQ(queued(1, 0), 2u);

    // ToS precedence instead: precedence 5 (DSCP 46 has it) -> 1.
    chip.poke("QOS_TOS_DIF_CTL", 0, 0);
    chip.poke("QOS_D_TOS_TH", 0, 1u << 10);
    board.port(3).inject(ip(46 << 2));
    EXPECT_EQ(queued(1, 1), 3u);

    // Two queues: queue 3 folds onto queue 1; the field processor's new
    // priority comes first.
    chip.poke("QOS_CTL", 0, 1ull << 53);
    chip.poke("QOS_TOS_DIF_CTL", 0, 1);
    board.port(3).inject(ip(46 << 2));
    EXPECT_EQ(queued(1, 3), 1u);
    EXPECT_EQ(queued(1, 1), 4u);
    chip.poke("CFP_GLOBAL_CTL", 0, bits({3}));
    chip.cfp()->setRow(0, etypeRow(0x0800, 0x400));  // new priority 0
    board.port(3).inject(ip(46 << 2));
    EXPECT_EQ(queued(1, 0), 3u);
    EXPECT_EQ(queued(99, 0), 0u);
}

TEST_F(forwarding, StormControlDropsOutOfProfileFramesAndEgressShapingDelaysThem) {
    // Port 0: storm control of broadcasts at 64 kbit/s with a 48 kbit bucket,
    // no overall limit (254).
    chip.poke("PORT_IRC_CON", 0, 1ull << 39 | 0x08ull << 32 | 1ull << 21 | 1ull << 20 | 254);
    auto bcast = FrameBuilder().src(kA).size(996).build();  // 8000 bits on the wire
    board.port(0).injectBurst(bcast, 20);
    EXPECT_EQ(sent(1).size(), 6u);
    EXPECT_EQ(board.fabric().dropStats().rate, 14u);
    board.fabric().advance(500'000);  // 32 kbit more: four frames
    board.port(0).injectBurst(bcast, 20);
    EXPECT_EQ(sent(1).size(), 10u);

    // Unicast is not in the storm classes.
    board.port(1).inject(FrameBuilder().src(kB).build());
    clear();
    board.port(0).injectBurst(FrameBuilder().src(kA).dst(kB).size(996).build(), 20);
    EXPECT_EQ(sent(1).size(), 20u);

    // Port 2 shapes its egress to 64 kbit/s with the same bucket: six leave
    // at the line rate, the others one every 125 ms, none is lost, and the
    // other ports get everything at once.
    chip.poke("PORT_ERC_CON", 2, 1u << 15 | 1);
    clear();
    board.port(3).injectBurst(bcast, 20);
    board.fabric().advance(2000);
    EXPECT_EQ(board.port(2).sent().size(), 6u);
    EXPECT_EQ(board.port(4).sent().size(), 20u);
    board.fabric().advance(14 * 125'000 - 10'000);
    EXPECT_EQ(board.port(2).sent().size(), 19u);
    board.fabric().advance(10'000);
    EXPECT_EQ(board.port(2).sent().size(), 20u);
    EXPECT_EQ(chip.mibGet("TXDROPPKTS", 2), 0u);
}

}  // namespace

namespace {

TEST(forwarding_dxp7102, VlanTableInTheMemoryWindowDecidesEgress) {
    sim::Board board{sim::BoardConfig::preset(sim::BoardKind::DXP97102R24GM)};
    sim::Chip &chip = board.chip();
    chip.poke("SWMODE", 0, 0x02);
    chip.poke("VLAN_CTRL0", 0, 0x80);
    for (int p = 0; p < 4; p++)
        board.port(p).linkUp();
    chip.tables().memPoke(0x2000 + 1, 0b0111 | 0b0100ull << 27);  // ports 0-2, 2 untagged
    board.port(0).inject(FrameBuilder().src(kA).build());
    auto to1 = board.port(1).sent(), to2 = board.port(2).sent();
    ASSERT_EQ(to1.size(), 1u);
    EXPECT_TRUE(to1[0].tagged);
    ASSERT_EQ(to2.size(), 1u);
    EXPECT_FALSE(to2[0].tagged);
    EXPECT_TRUE(board.port(3).sent().empty());
    EXPECT_EQ(chip.tables().lookup(kA, 1)->port, 0);
}

}  // namespace
