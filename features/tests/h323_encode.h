// A small aligned-PER writer and the H.323 messages the snooper's tests send:
// H.225.0 Setup, Connect and ReleaseComplete in Q.931 in TPKT, with an
// h245Address, fastStart and tunnelled H.245, and H.245 OpenLogicalChannel
// and OpenLogicalChannelAck with their media addresses.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace h323_test {

using Bytes = std::vector<uint8_t>;

class Per {
  public:
    Per &bits(uint32_t v, unsigned n) {
        for (unsigned i = n; i-- > 0;) {
            if (used_ == 0) out_.push_back(0);
            if ((v >> i) & 1u) out_.back() |= static_cast<uint8_t>(0x80 >> used_);
            used_ = (used_ + 1) % 8;
        }
        return *this;
    }
    Per &align() {
        used_ = 0;
        return *this;
    }
    Per &bytes(const Bytes &b) {
        align();
        out_.insert(out_.end(), b.begin(), b.end());
        return *this;
    }
    Per &u8(uint8_t v) { return bytes({v}); }
    Per &u16(uint16_t v) { return bytes({uint8_t(v >> 8), uint8_t(v)}); }
    // A length determinant of up to 16383.
    Per &length(size_t n) { return n < 128 ? u8(uint8_t(n)) : u16(uint16_t(0x8000 | n)); }
    // A value in an open type (or an unconstrained OCTET STRING).
    Per &open(const Per &inner) {
        length(inner.out_.size());
        return bytes(inner.out_);
    }
    // Extension additions: their count and presence bitmap.
    Per &extensions(const std::vector<bool> &present) {
        bits(0, 1).bits(uint32_t(present.size() - 1), 6);
        for (bool p : present)
            bits(p ? 1 : 0, 1);
        return *this;
    }
    const Bytes &data() const { return out_; }

  private:
    Bytes out_;
    unsigned used_ = 0;
};

struct Address {
    uint8_t ip[4];
    uint16_t port;
};

inline Bytes ip_bytes(const Address &a) {
    return {a.ip[0], a.ip[1], a.ip[2], a.ip[3]};
}

// H.245 TransportAddress: unicastAddress / iPAddress.
inline void h245_transport(Per &p, const Address &a) {
    p.bits(0, 1).bits(0, 1);  // unicastAddress
    p.bits(0, 1).bits(0, 3);  // iPAddress
    p.bits(0, 1).bytes(ip_bytes(a)).u16(a.port);
}

// H2250LogicalChannelParameters with a session id and a mediaChannel.
inline Per h2250(const Address &media) {
    Per p;
    p.bits(0, 1).bits(0b0010000000, 10).u8(1);
    h245_transport(p, media);
    return p;
}

// DataType audioData / g711Ulaw64k with 20 frames.
inline void g711(Per &p) {
    p.bits(0, 1).bits(3, 3).bits(0, 1).bits(3, 4).u8(19);
}

// OpenLogicalChannel for audio with forward and, when given, reverse media.
inline void olc(Per &p, const Address &forward, const Address *reverse = nullptr) {
    p.bits(0, 1).bits(reverse != nullptr, 1).u16(0);  // channel 1
    p.bits(0, 1).bits(0, 1);                          // forward parameters, no portNumber
    g711(p);
    p.bits(1, 1).bits(0, 1).bits(0, 6).open(h2250(forward));  // h2250LogicalChannelParameters
    if (reverse != nullptr) {
        p.bits(0, 1).bits(1, 1);
        g711(p);
        p.bits(1, 1).bits(0, 1).bits(0, 6).open(h2250(*reverse));
    }
}

// OpenLogicalChannelAck whose forwardMultiplexAckParameters give the media.
inline void olc_ack(Per &p, const Address &media) {
    Per ack;
    ack.bits(0, 1);                              // h2250LogicalChannelAckParameters
    ack.bits(0, 1).bits(0b01100, 5).bits(0, 8);  // sessionID 1 and mediaChannel
    h245_transport(ack, media);
    p.bits(1, 1).bits(0, 1).u16(0);  // extensions, no reverse parameters, channel 1
    p.extensions({false, true});
    p.open(ack);
}

// MultimediaSystemControlMessage request/openLogicalChannel.
inline Bytes h245_olc(const Address &forward, const Address *reverse = nullptr) {
    Per p;
    p.bits(0, 1).bits(0, 2).bits(0, 1).bits(3, 4);
    olc(p, forward, reverse);
    return p.data();
}

// MultimediaSystemControlMessage response/openLogicalChannelAck.
inline Bytes h245_olc_ack(const Address &media) {
    Per p;
    p.bits(0, 1).bits(1, 2).bits(0, 1).bits(5, 5);
    olc_ack(p, media);
    return p.data();
}

inline Bytes tpkt(const Bytes &body) {
    const size_t n = body.size() + 4;
    Bytes b(n);
    b[0] = 3;
    b[2] = uint8_t(n >> 8);
    b[3] = uint8_t(n);
    std::copy(body.begin(), body.end(), b.begin() + 4);
    return b;
}

struct Uuie {
    enum Body { kSetup = 0, kConnect = 2, kReleaseComplete = 5 } body;
    const Address *h245_address;
    std::vector<Bytes> fast_start;  // OpenLogicalChannel encodings
    std::vector<Bytes> tunnelled;   // H.245 messages
};

// A minimal EndpointType: nothing optional, not an MC.
inline void endpoint(Per &p) {
    p.bits(0, 1).bits(0, 6).bits(0, 2);
}

inline void h225_address(Per &p, const Address &a) {
    p.bits(0, 1).bits(0, 3).bytes(ip_bytes(a)).u16(a.port);  // ipAddress
}

inline void fast_start_list(Per &p, const std::vector<Bytes> &olcs) {
    Per list;
    list.length(olcs.size());
    for (const Bytes &o : olcs) {
        Per element;
        element.bytes(o);
        list.open(element);
    }
    p.open(list);
}

const Bytes kProtocolId = {6, 0x00, 0x08, 0x91, 0x4a, 0x00, 0x04};  // with its length
const Bytes kConferenceId(16, 0x5a);

// H323-UserInformation.
inline Bytes user_information(Uuie::Body body, const Address *h245_address = nullptr,
                              std::vector<Bytes> fast_start = {},
                              std::vector<Bytes> tunnelled = {}) {
    const Uuie m = {body, h245_address, std::move(fast_start), std::move(tunnelled)};
    Per p;
    p.bits(0, 1).bits(0, 1);                     // no user-data
    p.bits(!m.tunnelled.empty(), 1).bits(0, 1);  // H323-UU-PDU
    p.bits(0, 1).bits(m.body, 3);
    const bool fast = !m.fast_start.empty();
    const bool h245 = m.h245_address != nullptr;
    switch (m.body) {
        case Uuie::kSetup:
            p.bits(fast, 1).bits(h245 ? 0b1000000 : 0, 7).bytes(kProtocolId);
            if (h245) h225_address(p, *m.h245_address);
            endpoint(p);
            p.bits(0, 1).bytes(kConferenceId);  // activeMC, conferenceID
            p.bits(0, 1).bits(0, 2);            // conferenceGoal create
            p.bits(0, 1).bits(0, 2);            // callType pointToPoint
            if (fast) {
                p.extensions({false, false, true, false, false, false, true});
                Per call_id;
                call_id.bits(0, 1).bytes(kConferenceId);
                p.open(call_id);
                fast_start_list(p, m.fast_start);
            }
            break;
        case Uuie::kConnect:
            p.bits(fast, 1).bits(h245, 1).bytes(kProtocolId);
            if (h245) h225_address(p, *m.h245_address);
            endpoint(p);
            p.bytes(kConferenceId);
            if (fast) {
                p.extensions({false, false, false, false, true});
                fast_start_list(p, m.fast_start);
            }
            break;
        case Uuie::kReleaseComplete:
            p.bits(0, 1).bits(0, 1).bytes(kProtocolId);
            break;
    }
    if (!m.tunnelled.empty()) {
        p.extensions({false, true, true});
        Per tunnelling;
        tunnelling.bits(1, 1);
        p.open(tunnelling);
        Per list;
        list.length(m.tunnelled.size());
        for (const Bytes &t : m.tunnelled) {
            Per element;
            element.bytes(t);
            list.open(element);
        }
        p.open(list);
    }
    return p.data();
}

// Q.931 message of the type with a bearer capability and the user-user
// element holding the H.225.0 message, in a TPKT.
inline Bytes q931(uint8_t type, const Bytes &uuie) {
    Bytes b = {0x08, 0x02, 0x12, 0x34, type, 0xA1, 0x04, 0x03, 0x80, 0x90, 0xA2};
    const size_t n = uuie.size() + 1;
    b.insert(b.end(), {0x7E, uint8_t(n >> 8), uint8_t(n), 0x05});
    b.insert(b.end(), uuie.begin(), uuie.end());
    return tpkt(b);
}

constexpr uint8_t kSetupType = 0x05, kConnectType = 0x07, kReleaseType = 0x5A;

}  // namespace h323_test
