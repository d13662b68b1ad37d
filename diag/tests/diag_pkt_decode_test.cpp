// The packet decoder on frames the chip model's frame builder makes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag_console.h"
#include "diag_pkt.h"
#include "sim/frame.h"

namespace {

constexpr sim::MacAddr kDst = 0x0010a0b0c0d1ull, kSrc = 0x000102030405ull;

std::string decode(const std::vector<uint8_t> &f, int type = PKT_DECODE_ETHER, int rv = 0) {
    diag_test::ConsoleCapture cap;
    EXPECT_EQ(pkt_decode_print("P", type, f.data(), static_cast<int>(f.size())), rv);
    return cap.take();
}

std::vector<uint8_t> bytes(const sim::FrameBuilder &b) {
    return b.build().bytes;
}

TEST(pkt_decode, LayersOfTaggedTcpIcmpAndArp) {
    std::string out = decode(bytes(sim::FrameBuilder().dst(kDst).src(kSrc).vlan(7).tcp(
        0x0a000001, 0x0a000002, 1234, 80, 0x12)));
    EXPECT_EQ(out.substr(0, 2), "P\n");
    EXPECT_NE(out.find("\nP  Ethernet: dst<00:10:a0:b0:c0:d1> src<00:01:02:03:04:05> Tagged Packet "
                       "Internet Protocol (IP)\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\nP  IP: V(4) src<10.0.0.1> dst<10.0.0.2> hl<5> service-type<0> tl<40> "),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("TCP (Transmission Control) [RFC793]\nP  TCP: sPort<1234> dPort<80> Seq<"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Off<5> Flags<0x12=SYN,ACK> Csum<0x"), std::string::npos) << out;

    std::vector<uint8_t> echo = {8, 0, 0xf7, 0xfe, 0, 1, 0, 1};
    out = decode(bytes(sim::FrameBuilder().ipv4(0x0a000001, 0x0a000002, 1, echo)));
    EXPECT_NE(out.find("Untagged Packet Internet Protocol (IP)"), std::string::npos) << out;
    EXPECT_NE(out.find("\nP  ICMP: Type-8 (Echo [RFC792]) \nP  Generic:  (Echo [RFC792])Code <0> "
                       "Checksum <0xf7fe> hun <00010001> \n"),
              std::string::npos)
        << out;
    std::vector<uint8_t> unreachable = {3, 3, 0, 0, 0, 0, 0, 0};
    out = decode(bytes(sim::FrameBuilder().ipv4(1, 2, 1, unreachable)));
    EXPECT_NE(out.find("Type-3 (Destination Unreachable [RFC792]) \nP  Type 3: Code-3 (Port "
                       "Unreachable) \n"),
              std::string::npos)
        << out;

    out = decode(bytes(sim::FrameBuilder().src(kSrc).arp(1, 0xc0a80001, 0xc0a80002)));
    EXPECT_NE(out.find("ARP (IP and CHAOS)\nP  ARP: Request [RFC826] fmt<1> "
                       "src-ha<00:01:02:03:04:05> src_pa<192:168:0:1> tar_ha<"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("> tar_pa<192:168:0:2>\n"), std::string::npos) << out;
}

TEST(pkt_decode, UnknownShortAndInvalidInput) {
    std::vector<uint8_t> f = bytes(sim::FrameBuilder().src(kSrc).ethertype(0x88b5));
    std::string out = decode(f);
    std::string tail = "* Unknown/Experimental format * ";
    for (int i = 0; i < 60; i++) {  // the frame's 60 bytes, however many were asked
        char b[4];
        std::snprintf(b, sizeof b, "%s%02x", i ? " " : "", f[i]);
        tail += b;
    }
    EXPECT_NE(out.find(tail + "\n"), std::string::npos) << out;

    // Redirects name their code from a registry of their own.
    std::vector<uint8_t> odd = {5, 0, 0, 0, 0, 0, 0, 0};
    out = decode(bytes(sim::FrameBuilder().ipv4(1, 2, 1, odd)), PKT_DECODE_ETHER);
    EXPECT_NE(out.find("Type-5 (Redirect [RFC792]) \nP  Type 5: Code-0"), std::string::npos) << out;

    std::vector<uint8_t> runt(10, 0xab);
    out = decode(runt);
    EXPECT_NE(out.find("Ethernet: ETHER (***INVALID LENGTH 10***):ab ab"), std::string::npos)
        << out;
    out = decode(std::vector<uint8_t>(12, 0), PKT_DECODE_TCP);
    EXPECT_NE(out.find("TCP: *Invalid Length for TCP packet* 12-bytes\n"), std::string::npos)
        << out;
    out = decode(std::vector<uint8_t>(19, 0x45), PKT_DECODE_IP);
    EXPECT_NE(out.find("IP: (***INVALID***):45 45"), std::string::npos) << out;
    EXPECT_EQ(decode(f, 6, -1), "");
    EXPECT_EQ(pkt_decode_print("", PKT_DECODE_ETHER, nullptr, 0), 0);
}

}  // namespace
