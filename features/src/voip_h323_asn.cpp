// Descriptor tables of the H.225.0 and H.245 types on the snooper's paths,
// written from the published ASN.1 modules. Types the snooper walks through
// are spelled out up to the field it needs; branches it never needs (video,
// data, security tokens, other multiplexes) carry the stop attribute, and
// extension additions it does not know are stepped over by their length.
#include "voip_h323_asn.h"

#include <array>

namespace {

constexpr uint16_t kExt = PER_EXTENSIBLE;
constexpr uint16_t kOpt = PER_OPTIONAL;
constexpr uint16_t kDec = PER_DECODE;

constexpr per_field nul(uint16_t attr = 0) {
    return per_make(PER_NULL, 0, 0, 0, attr);
}
// A branch the snooper does not follow: reaching it ends the walk there.
constexpr per_field stop(uint16_t attr = 0) {
    return nul(static_cast<uint16_t>(attr | PER_STOP));
}
constexpr per_field boolean() {
    return per_make(PER_BOOLEAN, 0, 0, 0, 0);
}
constexpr per_field object_id() {
    return per_make(PER_OBJECT_ID, 0, 0, 0, 0);
}
constexpr per_field integer(uint8_t size, uint8_t lb = 0, uint16_t attr = 0) {
    return per_make(PER_INTEGER, size, lb, 0, attr);
}
constexpr per_field octets(uint8_t size, uint8_t lb, uint16_t attr = 0, uint16_t offset = 0) {
    return per_make(PER_OCTET_STRING, size, lb, 0, attr, offset);
}
constexpr per_field numeric(uint8_t bits, uint8_t lb) {
    return per_make(PER_NUMERIC_STRING, bits, lb, 0, 0);
}
constexpr per_field bmp(uint8_t size, uint8_t lb) {
    return per_make(PER_BMP_STRING, size, lb, 0, 0);
}
constexpr per_field sequence(uint8_t optional_bits, uint8_t roots, uint8_t extensions,
                             uint16_t attr, const per_field *fields, uint16_t offset = 0) {
    return per_make(PER_SEQUENCE, optional_bits, roots, extensions, attr, offset, fields);
}
constexpr per_field sequence_of(uint8_t size, uint8_t keep, uint16_t attr, const per_field *element,
                                uint16_t offset = 0) {
    return per_make(PER_SEQUENCE_OF, size, 0, keep, attr, offset, element);
}
constexpr per_field choice(uint8_t bits, uint8_t known, uint8_t roots, uint16_t attr,
                           const per_field *fields, uint16_t offset = 0) {
    return per_make(PER_CHOICE, bits, known, roots, attr, offset, fields);
}
constexpr per_field with(per_field f, uint16_t attr) {
    f.attr = static_cast<uint16_t>(f.attr | attr);
    return f;
}

constexpr uint16_t off(size_t offset) {
    return static_cast<uint16_t>(offset);
}

// Field lists both modules spell the same way.
constexpr per_field kH221Fields[] = {integer(PER_ONE_BYTE), integer(PER_ONE_BYTE),
                                     integer(PER_TWO_BYTES)};
constexpr per_field kAddress4 = octets(PER_FIXED, 4);
constexpr per_field kRoutingAlts[] = {nul(), nul()};
constexpr per_field kIpxFields[] = {octets(PER_FIXED, 6), octets(PER_FIXED, 4),
                                    octets(PER_FIXED, 2)};
constexpr per_field kIp6Fields[] = {octets(PER_FIXED, 16), integer(PER_TWO_BYTES)};

// ---- H.245 ----

namespace h245 {

constexpr per_field kIdentifierAlts[] = {object_id(), sequence(0, 3, 0, 0, kH221Fields)};
constexpr per_field kNonStandardFields[] = {choice(1, 2, 2, 0, kIdentifierAlts),
                                            octets(PER_UNCONSTRAINED, 0)};
constexpr per_field kNonStandard = sequence(0, 2, 0, 0, kNonStandardFields);

constexpr per_field kSourceRouteFields[] = {choice(1, 2, 2, 0, kRoutingAlts), kAddress4,
                                            integer(PER_TWO_BYTES),
                                            sequence_of(PER_UNCONSTRAINED, 0, 0, &kAddress4)};

// TransportAddress whose iPAddress stores the offset of its 4 bytes in the
// per_transport at Off.
template <size_t Off>
constexpr per_field kIpFields[] = {
    octets(PER_FIXED, 4, kDec, off(Off + offsetof(per_transport, ip))), integer(PER_TWO_BYTES)};
template <size_t Off>
constexpr per_field kUnicastAlts[] = {
    sequence(0, 2, 0, kExt, kIpFields<Off>),  // iPAddress
    sequence(0, 3, 0, kExt, kIpxFields),      // iPXAddress
    sequence(0, 2, 0, kExt, kIp6Fields),      // iP6Address: not followed
    octets(PER_FIXED, 16),                    // netBios
    sequence(0, 4, 0, kExt, kSourceRouteFields),
};
template <size_t Off>
constexpr per_field kTransportAlts[] = {
    choice(3, 5, 5, kExt | kDec, kUnicastAlts<Off>, off(Off + offsetof(per_transport, unicast))),
    stop(),  // multicastAddress
};
template <size_t Off>
constexpr per_field kTransport = choice(1, 2, 2, kExt | kDec, kTransportAlts<Off>,
                                        off(Off + offsetof(per_transport, choice)));

// H2250LogicalChannelParameters up to its mediaChannel.
constexpr per_field kNonStandardList = sequence_of(PER_UNCONSTRAINED, 0, kOpt, &kNonStandard);

template <size_t Off>
constexpr per_field kH2250Fields[] = {
    kNonStandardList,
    integer(PER_ONE_BYTE),  // sessionID
    integer(8, 1, kOpt),    // associatedSessionID
    with(kTransport<Off + offsetof(h245_channel, media)>, kOpt),
    stop(kOpt),  // mediaGuaranteedDelivery and the rest
};
template <size_t Off>
constexpr per_field kH2250 = sequence(10, 5, 0, kExt | kDec, kH2250Fields<Off>,
                                      off(Off + offsetof(h245_channel, options)));

// H2250LogicalChannelAckParameters up to its mediaChannel.
template <size_t Off>
constexpr per_field kH2250AckFields[] = {
    kNonStandardList, integer(8, 1, kOpt),  // sessionID
    with(kTransport<Off + offsetof(h245_channel, media)>, kOpt),
    stop(kOpt),  // mediaControlChannel and the rest
};

constexpr per_field kG7231Fields[] = {integer(PER_ONE_BYTE, 1), boolean()};
constexpr per_field kIs11172Fields[] = {boolean(), boolean(), boolean(),
                                        boolean(), boolean(), boolean(),
                                        boolean(), boolean(), integer(PER_TWO_BYTES, 1)};
constexpr per_field kFrames = integer(PER_ONE_BYTE, 1);  // INTEGER (1..256)
constexpr per_field kAudioAlts[] = {
    kNonStandard,
    kFrames,  // g711Alaw64k
    kFrames,  // g711Alaw56k
    kFrames,  // g711Ulaw64k
    kFrames,  // g711Ulaw56k
    kFrames,  // g722-64k
    kFrames,  // g722-56k
    kFrames,  // g722-48k
    sequence(0, 2, 0, 0, kG7231Fields),
    kFrames,  // g728
    kFrames,  // g729
    kFrames,  // g729AnnexA
    sequence(0, 9, 0, kExt, kIs11172Fields),
    stop(),  // is13818AudioCapability
};
constexpr per_field kDataTypeAlts[] = {
    kNonStandard,
    nul(),   // nullData
    stop(),  // videoData
    choice(4, 14, 14, kExt, kAudioAlts),
    stop(),  // data
    stop(),  // encryptionData
};
constexpr per_field kDataType = choice(3, 6, 6, kExt, kDataTypeAlts);

constexpr size_t kForward = offsetof(h245_message, olc_forward);
constexpr size_t kReverse = offsetof(h245_message, olc_reverse);
constexpr size_t kAckReverse = offsetof(h245_message, ack_reverse);
constexpr size_t kAckForward = offsetof(h245_message, ack_forward);

constexpr per_field kForwardMuxAlts[] = {stop(), stop(), stop(),  // H.222, H.223, V.76
                                         with(kH2250<kForward>, kDec), nul()};
constexpr per_field kForwardFields[] = {
    integer(PER_TWO_BYTES, 0, kOpt),  // portNumber
    kDataType,
    choice(2, 5, 3, kExt | kDec, kForwardMuxAlts, off(kForward + offsetof(h245_channel, mux))),
};
constexpr per_field kReverseMuxAlts[] = {stop(), stop(),  // H.223, V.76
                                         kH2250<kReverse>};
constexpr per_field kReverseFields[] = {
    kDataType,
    choice(1, 3, 2, kExt | kDec | kOpt, kReverseMuxAlts,
           off(kReverse + offsetof(h245_channel, mux))),
};
constexpr per_field kOlcFields[] = {
    integer(PER_TWO_BYTES, 1),  // forwardLogicalChannelNumber
    sequence(1, 3, 0, kExt, kForwardFields),
    sequence(1, 2, 0, kExt | kOpt, kReverseFields),
};

constexpr per_field kAckReverseMuxAlts[] = {stop(),  // H.222
                                            kH2250<kAckReverse>};
constexpr per_field kAckReverseFields[] = {
    integer(PER_TWO_BYTES, 1),        // reverseLogicalChannelNumber
    integer(PER_TWO_BYTES, 0, kOpt),  // portNumber
    choice(0, 2, 1, kExt | kDec | kOpt, kAckReverseMuxAlts,
           off(kAckReverse + offsetof(h245_channel, mux))),
};
constexpr per_field kAckForwardMuxAlts[] = {sequence(5, 4, 0, kExt, kH2250AckFields<kAckForward>)};
constexpr per_field kOlcAckFields[] = {
    integer(PER_TWO_BYTES, 1),  // forwardLogicalChannelNumber
    sequence(2, 3, 0, kExt | kOpt, kAckReverseFields),
    nul(),  // separateStack: stepped over
    choice(0, 1, 1, kExt | kDec, kAckForwardMuxAlts,
           off(kAckForward + offsetof(h245_channel, mux))),
};

// The request and response choices: one alternative followed, the others
// stop the walk.
template <size_t N>
constexpr std::array<per_field, N> only(size_t index, per_field followed) {
    std::array<per_field, N> alts{};
    for (per_field &f : alts)
        f = stop();
    alts[index] = followed;
    return alts;
}
constexpr auto kRequestAlts = only<11>(3, sequence(1, 3, 0, kExt, kOlcFields));
constexpr auto kResponseAlts = only<19>(5, sequence(1, 2, 2, kExt, kOlcAckFields));
constexpr per_field kMessageAlts[] = {
    choice(4, 11, 11, kExt | kDec, kRequestAlts.data(), off(offsetof(h245_message, request))),
    choice(5, 19, 19, kExt | kDec, kResponseAlts.data(), off(offsetof(h245_message, response))),
    stop(),  // command
    stop(),  // indication
};

// An OpenLogicalChannel of fastStart, decoded into an h245_message.
constexpr per_field kFastStartElement =
    sequence(1, 3, 0, kExt | kDec | PER_OPEN, kOlcFields, off(sizeof(h245_message)));
// A tunnelled MultimediaSystemControlMessage.
constexpr per_field kTunnelledElement =
    choice(2, 4, 4, kExt | kDec | PER_OPEN, kMessageAlts, off(sizeof(h245_message)));

}  // namespace h245

// ---- H.225.0 ----

namespace h225 {

constexpr per_field kIdentifierAlts[] = {object_id(), sequence(0, 3, 0, kExt, kH221Fields)};
constexpr per_field kNonStandardFields[] = {choice(1, 2, 2, kExt, kIdentifierAlts),
                                            octets(PER_UNCONSTRAINED, 0)};
constexpr per_field kNonStandard = sequence(0, 2, 0, 0, kNonStandardFields);

// GatekeeperInfo, TerminalInfo, McuInfo and the protocol capabilities share
// this root: an optional nonStandardData.
constexpr per_field kInfoFields[] = {with(kNonStandard, kOpt)};
constexpr per_field kInfo = sequence(1, 1, 0, kExt, kInfoFields);
constexpr per_field kProtocolAlts[] = {kNonStandard, kInfo, kInfo, kInfo, kInfo,
                                       kInfo,        kInfo, kInfo, kInfo};
constexpr per_field kProtocol = choice(4, 9, 9, kExt, kProtocolAlts);
constexpr per_field kGatewayFields[] = {sequence_of(PER_UNCONSTRAINED, 0, kOpt, &kProtocol),
                                        with(kNonStandard, kOpt)};
constexpr per_field kVendorFields[] = {sequence(0, 3, 0, kExt, kH221Fields),
                                       octets(PER_ONE_BYTE, 1, kOpt),
                                       octets(PER_ONE_BYTE, 1, kOpt)};
constexpr per_field kEndpointFields[] = {
    with(kNonStandard, kOpt),
    sequence(2, 3, 0, kExt | kOpt, kVendorFields),
    with(kInfo, kOpt),  // gatekeeper
    sequence(2, 2, 0, kExt | kOpt, kGatewayFields),
    with(kInfo, kOpt),  // mcu
    with(kInfo, kOpt),  // terminal
    boolean(),          // mc
    boolean(),          // undefinedNode
};
constexpr per_field kEndpoint = sequence(6, 8, 0, kExt, kEndpointFields);

constexpr per_field kAliasAlts[] = {numeric(7, 1),          // dialedDigits
                                    bmp(PER_ONE_BYTE, 1)};  // h323-ID
constexpr per_field kAlias = choice(1, 2, 2, kExt, kAliasAlts);
constexpr per_field kAliases = sequence_of(PER_UNCONSTRAINED, 0, kOpt, &kAlias);

constexpr per_field kSourceRouteFields[] = {kAddress4, integer(PER_TWO_BYTES),
                                            sequence_of(PER_UNCONSTRAINED, 0, 0, &kAddress4),
                                            choice(1, 2, 2, kExt, kRoutingAlts)};

// TransportAddress; Attr kDec stores it into h225_message's h245_address.
constexpr size_t kH245 = offsetof(h225_message, h245_address);
template <uint16_t Attr>
constexpr per_field kIpFields[] = {
    octets(PER_FIXED, 4, Attr, off(kH245 + offsetof(per_transport, ip))), integer(PER_TWO_BYTES)};
template <uint16_t Attr>
constexpr per_field kTransportAlts[] = {
    sequence(0, 2, 0, 0, kIpFields<Attr>),  // ipAddress
    sequence(0, 4, 0, kExt, kSourceRouteFields),
    sequence(0, 3, 0, 0, kIpxFields),
    sequence(0, 2, 0, kExt, kIp6Fields),  // ip6Address: not followed
    octets(PER_FIXED, 16),                // netBios
    octets(5, 1),                         // nsap
    kNonStandard,
};
template <uint16_t Attr>
constexpr per_field kTransport = choice(3, 7, 7, kExt | Attr, kTransportAlts<Attr>,
                                        off(kH245 + offsetof(per_transport, choice)));
constexpr per_field kH245Address = with(kTransport<kDec>, kOpt);
constexpr per_field kOtherAddress = with(kTransport<0>, kOpt);

constexpr per_field kConferenceId = octets(PER_FIXED, 16);
constexpr per_field kCallIdFields[] = {octets(PER_FIXED, 16)};
constexpr per_field kCallId = sequence(0, 1, 0, kExt, kCallIdFields);
constexpr per_field kFastStart =
    sequence_of(PER_UNCONSTRAINED, H225_MAX_FAST_START, kDec | kOpt, &h245::kFastStartElement,
                off(offsetof(h225_message, fast_start_count)));
constexpr per_field kCallReference = integer(PER_TWO_BYTES);

constexpr per_field kThreeNullAlts[] = {nul(), nul(), nul(), nul()};
constexpr per_field kQ954Fields[] = {boolean(), boolean()};
constexpr per_field kQseriesFields[] = {
    boolean(), boolean(), boolean(), boolean(),
    boolean(), boolean(), boolean(), sequence(0, 2, 0, kExt, kQ954Fields)};

constexpr per_field kSetupFields[] = {
    object_id(),  // protocolIdentifier
    kH245Address,
    kAliases,                                                  // sourceAddress
    kEndpoint,                                                 // sourceInfo
    kAliases,                                                  // destinationAddress
    kOtherAddress,                                             // destCallSignalAddress
    kAliases,                                                  // destExtraCallInfo
    sequence_of(PER_UNCONSTRAINED, 0, kOpt, &kCallReference),  // destExtraCRV
    boolean(),                                                 // activeMC
    kConferenceId,
    choice(2, 3, 3, kExt, kThreeNullAlts),           // conferenceGoal
    sequence(0, 8, 0, kExt | kOpt, kQseriesFields),  // callServices
    choice(2, 4, 4, kExt, kThreeNullAlts),           // callType
    nul(),  // sourceCallSignalAddress: the extensions from here on
    nul(),  // remoteExtensionAddress
    nul(),  // callIdentifier
    nul(),  // h245SecurityCapability
    nul(),  // tokens
    nul(),  // cryptoTokens
    kFastStart,
};

// CallProceeding and Alerting; their extensions: callIdentifier,
// h245SecurityMode, tokens, cryptoTokens, fastStart.
constexpr per_field kProceedingFields[] = {object_id(), kEndpoint, kH245Address, nul(),
                                           nul(),       nul(),     nul(),        kFastStart};
constexpr per_field kConnectFields[] = {object_id(), kH245Address, kEndpoint, kConferenceId, nul(),
                                        nul(),       nul(),        nul(),     kFastStart};
// extensions: callIdentifier, tokens, cryptoTokens, fastStart
constexpr per_field kInformationFields[] = {object_id(), nul(), nul(), nul(), kFastStart};
constexpr per_field kReleaseFields[] = {stop()};
constexpr per_field kFacilityFields[] = {
    object_id(),
    kOtherAddress,  // alternativeAddress
    kAliases,       // alternativeAliasAddress
    with(kConferenceId, kOpt),
    choice(2, 4, 4, kExt, kThreeNullAlts),  // reason
    nul(),                                  // callIdentifier: the extensions from here on
    nul(),                                  // destExtraCallInfo
    nul(),                                  // remoteExtensionAddress
    nul(),                                  // tokens
    nul(),                                  // cryptoTokens
    nul(),                                  // conferences
    with(kH245Address, kDec),
    kFastStart,
};

constexpr per_field kSecurityModeAlts[] = {kNonStandard, nul(), nul()};
constexpr per_field kSecurityMode = choice(2, 3, 3, kExt, kSecurityModeAlts);
constexpr per_field kSecurityCapsFields[] = {with(kNonStandard, kOpt), kSecurityMode, kSecurityMode,
                                             kSecurityMode};
constexpr per_field kSecurityCaps = sequence(1, 4, 0, kExt, kSecurityCapsFields);
constexpr per_field kH245SecurityAlts[] = {kNonStandard, nul(), kSecurityCaps, kSecurityCaps};
constexpr per_field kToken = stop();  // ClearToken, CryptoH323Token: not walked
constexpr per_field kProgressFields[] = {
    object_id(),
    kEndpoint,  // destinationInfo
    kH245Address,
    kCallId,
    choice(2, 4, 4, kExt | kOpt, kH245SecurityAlts),   // h245SecurityMode
    sequence_of(PER_UNCONSTRAINED, 0, kOpt, &kToken),  // tokens
    sequence_of(PER_UNCONSTRAINED, 0, kOpt, &kToken),  // cryptoTokens
    kFastStart,
};

constexpr per_field kBodyAlts[] = {
    sequence(7, 13, 7, kExt, kSetupFields),
    sequence(1, 3, 5, kExt, kProceedingFields),
    sequence(1, 4, 5, kExt, kConnectFields),
    sequence(1, 3, 5, kExt, kProceedingFields),  // alerting
    sequence(0, 1, 4, kExt, kInformationFields),
    sequence(1, 1, 0, kExt, kReleaseFields),
    sequence(3, 5, 8, kExt, kFacilityFields),
    sequence(5, 8, 0, kExt | kDec, kProgressFields, off(offsetof(h225_message, options))),
};

constexpr per_field kTunnelled =
    sequence_of(PER_UNCONSTRAINED, H225_MAX_TUNNELLED, kDec | kOpt, &h245::kTunnelledElement,
                off(offsetof(h225_message, h245_count)));
constexpr per_field kPduFields[] = {
    choice(3, 8, 7, kExt | kDec, kBodyAlts, off(offsetof(h225_message, body))),
    with(kNonStandard, kOpt),
    // extensions: h4501SupplementaryService, h245Tunneling, h245Control
    nul(),
    nul(),
    kTunnelled,
};
constexpr per_field kUserInformationFields[] = {
    sequence(1, 2, 3, kExt, kPduFields),
    stop(kOpt),  // user-data
};

static_assert(offsetof(h225_message, fast_start) == offsetof(h225_message, fast_start_count) + 4);
static_assert(offsetof(h225_message, h245) == offsetof(h225_message, h245_count) + 4);

}  // namespace h225

}  // namespace

const per_field h225_user_information = sequence(1, 2, 0, kExt | kDec, h225::kUserInformationFields,
                                                 off(offsetof(h225_message, options)));
const per_field h245_control_message =
    choice(2, 4, 4, kExt | kDec, h245::kMessageAlts, off(offsetof(h245_message, kind)));
