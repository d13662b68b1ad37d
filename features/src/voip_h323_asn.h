// The H.225.0 (H323-UserInformation) and H.245 (MultimediaSystemControlMessage)
// types the H.323 snooper reads, as PER descriptors, and the decode areas
// they fill: the message body, the H.245 address, fastStart and tunnelled
// H.245 messages, and the media channels of OpenLogicalChannel and its Ack.
#pragma once

#include <cstddef>
#include <cstdint>

#include "voip_per.h"

// A TransportAddress as decoded. ip is the byte offset (from the decoded
// buffer's start) of the 4 address bytes, which the 2 port bytes follow;
// 0 when the value held no IPv4 address.
struct per_transport {
    uint32_t choice;   // H.225.0: 0 ipAddress; H.245: 0 unicastAddress
    uint32_t unicast;  // H.245: 0 iPAddress
    uint32_t ip;
};

// Logical-channel parameters: the multiplex choice taken and the H.225.0
// parameters' mediaChannel.
struct h245_channel {
    uint32_t mux;
    uint32_t options;  // the parameters' optional-field bitmap
    per_transport media;
};

// Multiplex choices that carry H.225.0 logical-channel parameters.
constexpr uint32_t H245_OLC_FORWARD_H2250 = 3;
constexpr uint32_t H245_OLC_REVERSE_H2250 = 2;
constexpr uint32_t H245_ACK_REVERSE_H2250 = 1;
constexpr uint32_t H245_ACK_FORWARD_H2250 = 0;

struct h245_message {
    uint32_t kind;      // 0 request, 1 response, 2 command, 3 indication; in fastStart
                        // the OpenLogicalChannel's optional-field bitmap
    uint32_t request;   // 3 openLogicalChannel
    uint32_t response;  // 5 openLogicalChannelAck
    h245_channel olc_forward;
    h245_channel olc_reverse;
    h245_channel ack_reverse;
    h245_channel ack_forward;
};
static_assert(offsetof(h245_message, kind) == 0, "a list element's own output sits at its start");

constexpr int H225_MAX_FAST_START = 16;
constexpr int H225_MAX_TUNNELLED = 4;

enum h225_body : uint32_t {
    H225_SETUP = 0,
    H225_CALL_PROCEEDING = 1,
    H225_CONNECT = 2,
    H225_ALERTING = 3,
    H225_INFORMATION = 4,
    H225_RELEASE_COMPLETE = 5,
    H225_FACILITY = 6,
    H225_PROGRESS = 7,
};

struct h225_message {
    uint32_t options;  // optional-field bitmap of the decoded sequence
    uint32_t body;
    per_transport h245_address;
    uint32_t fast_start_count;
    h245_message fast_start[H225_MAX_FAST_START];  // each an OpenLogicalChannel
    uint32_t h245_count;
    h245_message h245[H225_MAX_TUNNELLED];
};

extern const per_field h225_user_information;
extern const per_field h245_control_message;
