#include "sim/frame.h"

namespace sim {

namespace {

void put16(std::vector<uint8_t> &v, uint16_t x) {
    v.push_back(static_cast<uint8_t>(x >> 8));
    v.push_back(static_cast<uint8_t>(x));
}

void put32(std::vector<uint8_t> &v, uint32_t x) {
    put16(v, static_cast<uint16_t>(x >> 16));
    put16(v, static_cast<uint16_t>(x));
}

uint16_t inetSum(const std::vector<uint8_t> &v, size_t from, size_t len) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < len; i += 2)
        sum += static_cast<uint32_t>(v[from + i] << 8 | v[from + i + 1]);
    if (len & 1) sum += static_cast<uint32_t>(v[from + len - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

}  // namespace

namespace {

// Slice-by-8 tables of the reflected Ethernet polynomial: a frame's FCS is
// computed at every hop, and bit by bit it cost more than the rest of the
// forwarding.
struct CrcTables {
    uint32_t t[8][256];
    constexpr CrcTables() : t{} {
        for (uint32_t b = 0; b < 256; b++) {
            uint32_t crc = b;
            for (int k = 0; k < 8; k++)
                crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
            t[0][b] = crc;
        }
        for (uint32_t b = 0; b < 256; b++)
            for (int s = 1; s < 8; s++)
                t[s][b] = (t[s - 1][b] >> 8) ^ t[0][t[s - 1][b] & 0xff];
    }
};

constexpr CrcTables kCrc;

}  // namespace

uint32_t crc32(std::span<const uint8_t> data) {
    uint32_t crc = 0xffffffffu;
    const uint8_t *p = data.data();
    size_t n = data.size();
    for (; n >= 8; p += 8, n -= 8) {
        const uint32_t lo =
            crc ^ (p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
        crc = kCrc.t[7][lo & 0xff] ^ kCrc.t[6][(lo >> 8) & 0xff] ^ kCrc.t[5][(lo >> 16) & 0xff] ^
              kCrc.t[4][lo >> 24] ^ kCrc.t[3][p[4]] ^ kCrc.t[2][p[5]] ^ kCrc.t[1][p[6]] ^
              kCrc.t[0][p[7]];
    }
    for (; n > 0; p++, n--)
        crc = (crc >> 8) ^ kCrc.t[0][(crc ^ *p) & 0xff];
    return ~crc;
}

std::vector<uint8_t> withFcs(std::span<const uint8_t> frame) {
    std::vector<uint8_t> out(frame.begin(), frame.end());
    uint32_t crc = crc32(frame);
    for (int k = 0; k < 4; k++)
        out.push_back(static_cast<uint8_t>(crc >> (8 * k)));
    return out;
}

bool fcsOk(std::span<const uint8_t> f) {
    if (f.size() < 4) return false;
    uint32_t crc = crc32(f.first(f.size() - 4));
    const uint8_t *t = f.data() + f.size() - 4;
    return (t[0] | t[1] << 8 | t[2] << 16 | static_cast<uint32_t>(t[3]) << 24) == crc;
}

MacAddr macAt(const uint8_t *p) {
    MacAddr m = 0;
    for (int k = 0; k < 6; k++)
        m = m << 8 | p[k];
    return m;
}

void putMac(uint8_t *p, MacAddr mac) {
    for (int k = 0; k < 6; k++)
        p[k] = static_cast<uint8_t>(mac >> (40 - 8 * k));
}

FrameView FrameView::parse(std::span<const uint8_t> b) {
    FrameView v;
    if (b.size() < 14) return v;
    v.ok = true;
    v.dst = macAt(b.data());
    v.src = macAt(b.data() + 6);
    size_t at = 12;
    uint16_t type = static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
    if (type == kTpid && b.size() >= 18) {
        v.tagged = true;
        uint16_t tci = static_cast<uint16_t>(b[14] << 8 | b[15]);
        v.vid = tci & 0xfff;
        v.pri = static_cast<uint8_t>(tci >> 13);
        at = 16;
        type = static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
    }
    v.ethertype = type;
    v.l3 = at + 2;
    if (type == 0x0800 && b.size() >= v.l3 + 20) {
        v.ipv4 = true;
        v.ip_proto = b[v.l3 + 9];
    }
    return v;
}

FrameBuilder &FrameBuilder::dst(MacAddr mac) {
    dst_ = mac;
    return *this;
}

FrameBuilder &FrameBuilder::src(MacAddr mac) {
    src_ = mac;
    return *this;
}

FrameBuilder &FrameBuilder::vlan(uint16_t vid, uint8_t pri) {
    tagged_ = true;
    vid_ = vid;
    pri_ = pri;
    return *this;
}

FrameBuilder &FrameBuilder::ethertype(uint16_t type) {
    type_ = type;
    llc_ = false;
    return *this;
}

FrameBuilder &FrameBuilder::payload(std::vector<uint8_t> bytes) {
    payload_ = std::move(bytes);
    return *this;
}

FrameBuilder &FrameBuilder::arp(uint16_t op, uint32_t sender_ip, uint32_t target_ip) {
    std::vector<uint8_t> p;
    put16(p, 1);
    put16(p, 0x0800);
    p.push_back(6);
    p.push_back(4);
    put16(p, op);
    p.resize(p.size() + 6);
    putMac(p.data() + p.size() - 6, src_);
    put32(p, sender_ip);
    p.resize(p.size() + 6);
    if (op == 2) putMac(p.data() + p.size() - 6, dst_);
    put32(p, target_ip);
    type_ = 0x0806;
    llc_ = false;
    payload_ = std::move(p);
    return *this;
}

FrameBuilder &FrameBuilder::ipv4(uint32_t src_ip, uint32_t dst_ip, uint8_t proto,
                                 std::vector<uint8_t> l4, uint8_t tos) {
    std::vector<uint8_t> p;
    p.push_back(0x45);
    p.push_back(tos);
    put16(p, static_cast<uint16_t>(20 + l4.size()));
    put32(p, 0);  // id, flags, fragment offset
    p.push_back(64);
    p.push_back(proto);
    put16(p, 0);
    put32(p, src_ip);
    put32(p, dst_ip);
    uint16_t sum = inetSum(p, 0, 20);
    p[10] = static_cast<uint8_t>(sum >> 8);
    p[11] = static_cast<uint8_t>(sum);
    p.insert(p.end(), l4.begin(), l4.end());
    type_ = 0x0800;
    llc_ = false;
    payload_ = std::move(p);
    return *this;
}

FrameBuilder &FrameBuilder::udp(uint32_t src_ip, uint32_t dst_ip, uint16_t sport, uint16_t dport,
                                std::vector<uint8_t> data) {
    std::vector<uint8_t> l4;
    put16(l4, sport);
    put16(l4, dport);
    put16(l4, static_cast<uint16_t>(8 + data.size()));
    put16(l4, 0);  // no checksum
    l4.insert(l4.end(), data.begin(), data.end());
    return ipv4(src_ip, dst_ip, 17, std::move(l4));
}

FrameBuilder &FrameBuilder::tcp(uint32_t src_ip, uint32_t dst_ip, uint16_t sport, uint16_t dport,
                                uint8_t flags) {
    std::vector<uint8_t> l4;
    put16(l4, sport);
    put16(l4, dport);
    put32(l4, 1);  // sequence
    put32(l4, 0);  // acknowledgement
    l4.push_back(0x50);
    l4.push_back(flags);
    put16(l4, 0xffff);
    put32(l4, 0);  // checksum, urgent pointer
    return ipv4(src_ip, dst_ip, 6, std::move(l4));
}

FrameBuilder &FrameBuilder::igmp(uint32_t src_ip, uint32_t group, uint8_t type) {
    std::vector<uint8_t> l4{type, 0, 0, 0};
    put32(l4, group);
    uint16_t sum = inetSum(l4, 0, l4.size());
    l4[2] = static_cast<uint8_t>(sum >> 8);
    l4[3] = static_cast<uint8_t>(sum);
    return ipv4(src_ip, group, 2, std::move(l4));
}

FrameBuilder &FrameBuilder::bpdu() {
    dst_ = kBpduAddr;
    llc_ = true;
    // LLC 42/42/03, then a configuration BPDU of 35 bytes.
    payload_ = {0x42, 0x42, 0x03, 0x00, 0x00, 0x00, 0x00};
    payload_.resize(3 + 35, 0);
    return *this;
}

FrameBuilder &FrameBuilder::size(size_t bytes) {
    size_ = bytes;
    return *this;
}

Frame FrameBuilder::build() const {
    Frame f;
    auto &b = f.bytes;
    b.resize(12);
    putMac(b.data(), dst_);
    putMac(b.data() + 6, src_);
    if (tagged_) {
        put16(b, kTpid);
        put16(b, static_cast<uint16_t>(pri_ << 13 | (vid_ & 0xfff)));
    }
    put16(b, llc_ ? static_cast<uint16_t>(payload_.size()) : type_);
    b.insert(b.end(), payload_.begin(), payload_.end());
    if (b.size() < size_) b.resize(size_, 0);
    return f;
}

}  // namespace sim
