// Ethernet frames for the model's ports: a builder for the frames tests
// inject (Ethernet II, 802.1Q, ARP, IPv4 with UDP, TCP or IGMP, spanning-tree
// BPDUs), the Ethernet CRC-32 and a parser of the header fields the
// forwarding stages look at. Frame bytes never include the FCS unless a call
// says so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sim {

using MacAddr = uint64_t;  // 48 bits, first byte on the wire in bits 47-40

constexpr MacAddr kBroadcast = 0xffffffffffffull;
constexpr MacAddr kBpduAddr = 0x0180c2000000ull;
constexpr uint16_t kTpid = 0x8100;
constexpr uint16_t kMgmtType = 0x8874;

// Reflected CRC-32 (polynomial 0xedb88320) as Ethernet computes its FCS.
uint32_t crc32(std::span<const uint8_t> data);
// The frame with its FCS (little-endian CRC) appended.
std::vector<uint8_t> withFcs(std::span<const uint8_t> frame);
// True when the last four bytes are the frame's valid FCS.
bool fcsOk(std::span<const uint8_t> frame_with_fcs);

MacAddr macAt(const uint8_t *p);
void putMac(uint8_t *p, MacAddr mac);
inline bool isMulticast(MacAddr mac) {
    return (mac >> 40) & 1;
}

struct Frame {
    std::vector<uint8_t> bytes;  // without FCS
};

// The fields of a frame's header the pipeline looks at.
struct FrameView {
    bool ok = false;  // at least the Ethernet header
    MacAddr dst = 0, src = 0;
    bool tagged = false;
    uint16_t vid = 0;
    uint8_t pri = 0;
    uint16_t ethertype = 0;  // after the tag
    size_t l3 = 0;           // offset of the payload after the EtherType
    uint8_t ip_proto = 0;    // IPv4 only, else 0
    bool ipv4 = false;

    static FrameView parse(std::span<const uint8_t> bytes);
};

class FrameBuilder {
  public:
    FrameBuilder &dst(MacAddr mac);
    FrameBuilder &src(MacAddr mac);
    // An 802.1Q tag with the VLAN id and priority.
    FrameBuilder &vlan(uint16_t vid, uint8_t pri = 0);
    FrameBuilder &ethertype(uint16_t type);
    FrameBuilder &payload(std::vector<uint8_t> bytes);
    // ARP request (op 1) or reply (op 2) between the two IPv4 addresses.
    FrameBuilder &arp(uint16_t op, uint32_t sender_ip, uint32_t target_ip);
    // IPv4 with the protocol and its payload (header checksum filled in).
    FrameBuilder &ipv4(uint32_t src_ip, uint32_t dst_ip, uint8_t proto,
                       std::vector<uint8_t> l4 = {}, uint8_t tos = 0);
    FrameBuilder &udp(uint32_t src_ip, uint32_t dst_ip, uint16_t sport, uint16_t dport,
                      std::vector<uint8_t> data = {});
    FrameBuilder &tcp(uint32_t src_ip, uint32_t dst_ip, uint16_t sport, uint16_t dport,
                      uint8_t flags = 0x02);
    FrameBuilder &igmp(uint32_t src_ip, uint32_t group, uint8_t type = 0x16);
    // A configuration BPDU to the bridge group address (LLC, no EtherType).
    FrameBuilder &bpdu();
    // Pads to 60 bytes (64 with the FCS) unless given a size.
    FrameBuilder &size(size_t bytes);
    Frame build() const;

  private:
    MacAddr dst_ = kBroadcast, src_ = 0x020000000001ull;
    bool tagged_ = false;
    uint16_t vid_ = 0;
    uint8_t pri_ = 0;
    uint16_t type_ = 0x0800;
    bool llc_ = false;
    std::vector<uint8_t> payload_;
    size_t size_ = 60;
};

}  // namespace sim
