// Auto VoIP on the 52-port board's chip: signalling copy rules, and voice
// rules opened and closed by SIP, MGCP and SCCP messages handed to the
// receive callout as tagged frames.
#include "voipmgr.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "feature_fixture.h"
#include "h323_encode.h"
#include "log_gate.h"
#include "voip_fixture.h"
#include "../src/voip_internal.h"
#include "sal.h"
#include "sal_host.h"

namespace {

using voip_test::Bytes;
using voip_test::deliver;
using voip_test::frame;
using voip_test::text;

const uint8_t kPhoneA[4] = {10, 0, 0, 1}, kPhoneB[4] = {10, 0, 0, 2}, kAgent[4] = {10, 0, 0, 9};

std::string sdp(const char *ip, int port, const char *media = "audio") {
    return std::string("v=0\r\no=- 1 1 IN IP4 ") + ip + "\r\ns=-\r\nc=IN IP4 " + ip +
           "\r\nt=0 0\r\nm=" + media + " " + std::to_string(port) + " RTP/AVP 0 8\r\n";
}

std::string sip(const std::string &start, const std::string &call_id, const std::string &body,
                const std::string &cseq = "1 INVITE") {
    return start + "\r\nVia: SIP/2.0/UDP 10.0.0.1\r\nCall-ID: " + call_id + "\r\nCSeq: " + cseq +
           "\r\nContent-Type: application/sdp\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

class voip : public voip_test::VoipTest {
  protected:
    static int sip_frame(const uint8_t *from, const uint8_t *to, const std::string &msg) {
        return deliver(frame(17, from, to, 5060, 5060, text(msg)));
    }
};

// A full table gives up the oldest record holding no rule of the port that
// holds the most records; the new record's own port when it holds as many;
// never a record holding a rule; and ages compare across the stamp's wrap.
TEST(voip_eviction, GivesUpTheOldestWaitingRecordOfThePortHoldingTheMost) {
    int records[8] = {};
    auto table = [&](int incoming) {
        voip_eviction e(incoming);
        e.add(&records[0], 3, 1, false);           // the oldest of all, of a port holding one
        e.add(&records[1], 2, 0xFFFFFFF0u, true);  // port 2's oldest holds a rule
        e.add(&records[2], 2, 0xFFFFFFFEu, false);
        e.add(&records[3], 2, 2, false);  // after the stamp wrapped
        e.add(&records[4], 4, 3, false);
        e.add(&records[5], 4, 4, false);
        e.add(&records[6], 4, 5, false);
        return e;
    };
    int port = 0;
    EXPECT_EQ(table(3).victim(&port), &records[2]) << "port 2's oldest without a rule";
    EXPECT_EQ(port, 2);
    EXPECT_EQ(table(4).victim(&port), &records[4]) << "the new record's own port holds as many";
    EXPECT_EQ(port, 4);
    voip_eviction ruled(1);
    ruled.add(&records[7], 1, 1, true);
    EXPECT_EQ(ruled.victim(nullptr), nullptr);
}

TEST_F(voip, ProfileInstallsAndRemovesTheSignallingRules) {
    voip_profile_set(0, 1, 6);
    EXPECT_EQ(rules(), 8);
    EXPECT_EQ(dxpx_rx_register("again", voip_rx, VOIP_CALLOUT_PRIO, nullptr, 0), DXP_E_EXISTS);
    voip_profile_set(0, 1, 3);  // priority only
    int enable = 0, priority = 0;
    voip_profile_get(0, &enable, &priority);
    EXPECT_EQ(enable, 1);
    EXPECT_EQ(priority, 3);
    EXPECT_EQ(rules(), 8);

    voip_profile_set(1, 0, 0);  // no such profile: nothing changes
    voip_profile_get(1, &enable, &priority);
    EXPECT_EQ(enable, 0);
    EXPECT_EQ(rules(), 8);

    feature_test::MemoryMedium saved;
    ASSERT_EQ(saved.save(voip_item), 8);
    voip_profile_set(0, 0, 0);
    EXPECT_EQ(rules(), 0);
    EXPECT_EQ(dxpx_rx_unregister(voip_rx, VOIP_CALLOUT_PRIO), DXP_E_NOT_FOUND);
    ASSERT_EQ(saved.load(voip_item), 8);
    voip_profile_get(0, &enable, &priority);
    EXPECT_EQ(enable, 1);
    EXPECT_EQ(priority, 3);
    EXPECT_EQ(rules(), 8);

    voip_profile_set(0, 0, 0);
    voip_entry_count_set(121);  // the limit leaves no room for eight
    voip_profile_set(0, 1, 6);
    voip_profile_get(0, &enable, &priority);
    EXPECT_EQ(enable, 0);
    voip_entry_count_set(0);
    EXPECT_EQ(rules(), 0);
}

TEST_F(voip, ClassifiesByWellKnownPorts) {
    const uint16_t sccp_sip[2] = {2000, 5060}, sip_udp[2] = {40000, 5060}, mgcp[2] = {2727, 5060},
                   h323[2] = {1720, 3000}, other[2] = {80, 5060};
    EXPECT_EQ(voip_classify(6, sccp_sip), VOIP_CLASS_SCCP);
    EXPECT_EQ(voip_classify(17, sip_udp), VOIP_CLASS_SIP);
    EXPECT_EQ(voip_classify(17, mgcp), VOIP_CLASS_MGCP);
    EXPECT_EQ(voip_classify(6, h323), VOIP_CLASS_H323);
    EXPECT_EQ(voip_classify(6, other), VOIP_CLASS_NONE);
    EXPECT_EQ(deliver(frame(6, kPhoneA, kPhoneB, 80, 8080, text("GET /"))), DXP_RX_NOT_HANDLED);
}

TEST_F(voip, SipCallOpensAndClosesVoiceRules) {
    // No SDP in the INVITE: nothing is followed.
    EXPECT_EQ(sip_frame(kPhoneA, kPhoneB, sip("INVITE sip:b@x SIP/2.0", "c0", "")), DXP_RX_HANDLED);
    sip_frame(kPhoneB, kPhoneA, sip("SIP/2.0 200 OK", "c0", sdp("10.0.0.2", 30000)));
    EXPECT_EQ(rules(), 0);

    sip_frame(kPhoneA, kPhoneB, sip("INVITE sip:b@x SIP/2.0", "c1", sdp("10.0.0.1", 20000)));
    sip_frame(kPhoneB, kPhoneA, sip("SIP/2.0 180 Ringing", "c1", ""));
    EXPECT_EQ(rules(), 0);
    sip_frame(kPhoneB, kPhoneA, sip("SIP/2.0 200 OK", "c1", sdp("10.0.0.2", 30000)));
    EXPECT_EQ(rules(), 2);
    sip_frame(kPhoneA, kPhoneB,
              sip("INVITE sip:b@x SIP/2.0", "c1", sdp("10.0.0.1", 20002), "2 INVITE"));
    EXPECT_EQ(rules(), 2);  // a re-INVITE updates the pair in place
    // Failure answers to requests inside the call, and a CANCEL of its
    // re-INVITE, leave it as it is.
    sip_frame(kPhoneA, kPhoneB, sip("CANCEL sip:b@x SIP/2.0", "c1", "", "2 CANCEL"));
    sip_frame(kPhoneB, kPhoneA, sip("SIP/2.0 491 Request Pending", "c1", "", "2 INVITE"));
    sip_frame(kPhoneB, kPhoneA, sip("SIP/2.0 501 Not Implemented", "c1", "", "3 INFO"));
    EXPECT_EQ(rules(), 2);
    sip_frame(kPhoneA, kPhoneB, sip("BYE sip:b@x SIP/2.0", "c1", "", "4 BYE"));
    EXPECT_EQ(rules(), 0);

    // A failure answer to the INVITE ends the call, one to another request
    // before the answer does not; video alone gives no voice end.
    sip_frame(kPhoneA, kPhoneB, sip("INVITE sip:b@x SIP/2.0", "c2", sdp("10.0.0.1", 20000)));
    sip_frame(kPhoneB, kPhoneA, sip("SIP/2.0 501 Not Implemented", "c2", "", "2 INFO"));
    sip_frame(kPhoneB, kPhoneA, sip("SIP/2.0 200 OK", "c2", sdp("10.0.0.2", 30000)));
    EXPECT_EQ(rules(), 2);
    sip_frame(kPhoneA, kPhoneB, sip("BYE sip:b@x SIP/2.0", "c2", "", "3 BYE"));
    sip_frame(kPhoneA, kPhoneB, sip("INVITE sip:b@x SIP/2.0", "c2", sdp("10.0.0.1", 20000)));
    sip_frame(kPhoneB, kPhoneA, sip("SIP/2.0 486 Busy Here", "c2", ""));
    sip_frame(kPhoneB, kPhoneA, sip("SIP/2.0 200 OK", "c2", sdp("10.0.0.2", 30000)));
    EXPECT_EQ(rules(), 0);
    // A CANCEL before the answer ends the call too.
    sip_frame(kPhoneA, kPhoneB, sip("INVITE sip:b@x SIP/2.0", "c5", sdp("10.0.0.1", 20000)));
    sip_frame(kPhoneA, kPhoneB, sip("CANCEL sip:b@x SIP/2.0", "c5", "", "1 CANCEL"));
    sip_frame(kPhoneB, kPhoneA, sip("SIP/2.0 200 OK", "c5", sdp("10.0.0.2", 30000)));
    EXPECT_EQ(rules(), 0);
    sip_frame(kPhoneA, kPhoneB,
              sip("INVITE sip:b@x SIP/2.0", "c3", sdp("10.0.0.1", 20000, "video")));
    sip_frame(kPhoneB, kPhoneA, sip("SIP/2.0 200 OK", "c3", sdp("10.0.0.2", 30000)));
    EXPECT_EQ(rules(), 0);

    // A status code of 0 fails the parse: the session stays unanswered.
    sip_frame(kPhoneA, kPhoneB, sip("INVITE sip:b@x SIP/2.0", "c4", sdp("10.0.0.1", 20000)));
    sip_frame(kPhoneB, kPhoneA, sip("SIP/2.0 0 OK", "c4", sdp("10.0.0.2", 30000)));
    EXPECT_EQ(rules(), 0);

    // Unanswered calls do not take memory without bound.
    size_t held = 0;
    for (int i = 0; i < 400; i++) {
        if (i == 300) held = sal_alloc_bytes_in_use("SIP");
        sip_frame(
            kPhoneA, kPhoneB,
            sip("INVITE sip:b@x SIP/2.0", "u" + std::to_string(1000 + i), sdp("10.0.0.1", 20000)));
    }
    EXPECT_EQ(sal_alloc_bytes_in_use("SIP"), held);
    EXPECT_EQ(rules(), 0);
    // Nor do they keep a new call from being followed.
    sip_frame(kPhoneA, kPhoneB, sip("INVITE sip:b@x SIP/2.0", "c5", sdp("10.0.0.1", 20000)));
    sip_frame(kPhoneB, kPhoneA, sip("SIP/2.0 200 OK", "c5", sdp("10.0.0.2", 30000)));
    EXPECT_EQ(rules(), 2);
}

// Header names are compared without case, and the compact forms name
// Call-ID (i) and Content-Type (c) as well.
TEST_F(voip, SipHeaderNamesInEverySpelling) {
    auto spelt = [](std::string msg, const std::string &call_id, const std::string &type) {
        msg.replace(msg.find("Call-ID:"), 7, call_id);
        msg.replace(msg.find("Content-Type:"), 12, type);
        return msg;
    };
    int n = 0;
    for (const char *call_id : {"Call-Id", "call-id", "CALL-ID", "i", "I"}) {
        SCOPED_TRACE(call_id);
        const std::string id = "spelt" + std::to_string(n++), type = n % 2 ? "c" : "content-type";
        sip_frame(kPhoneA, kPhoneB,
                  spelt(sip("INVITE sip:b@x SIP/2.0", id, sdp("10.0.0.1", 20000)), call_id, type));
        sip_frame(kPhoneB, kPhoneA,
                  spelt(sip("SIP/2.0 200 OK", id, sdp("10.0.0.2", 30000)), call_id, type));
        EXPECT_EQ(rules(), 2);
        sip_frame(kPhoneA, kPhoneB,
                  spelt(sip("BYE sip:b@x SIP/2.0", id, "", "2 BYE"), call_id, type));
        EXPECT_EQ(rules(), 0);
    }
}

TEST_F(voip, MgcpConnectionOpensAndClosesVoiceRules) {
    auto mgcp = [](const uint8_t *from, const uint8_t *to, const std::string &msg) {
        return deliver(frame(17, from, to, 2727, 2427, text(msg)));
    };
    const std::string crcx =
        "CRCX 1001 aaln/1@gw MGCP 1.0\r\nC: A3C47F21456789F0\r\nL: p:10, a:PCMU\r\nM: recvonly\r\n";
    mgcp(kAgent, kPhoneA, "MDCX 1000 aaln/1@gw MGCP 1.0\r\nC: X\r\n");
    mgcp(kAgent, kPhoneA, crcx);
    mgcp(kPhoneA, kAgent, "200 1001 OK\r\nX: 1\r\n\r\n" + sdp("10.0.0.1", 4000));
    EXPECT_EQ(rules(), 0);  // the answer must name the connection first
    mgcp(kPhoneA, kAgent, "200 1001 OK\r\nI: FDE234C8\r\n\r\n" + sdp("10.0.0.1", 4000));
    EXPECT_EQ(rules(), 2);
    mgcp(kAgent, kPhoneA, "DLCX 1002 aaln/1@gw MGCP 1.0\r\nC: 0000\r\n");
    EXPECT_EQ(rules(), 2);
    mgcp(kAgent, kPhoneA, "DLCX 1003 aaln/1@gw MGCP 1.0\r\nC: A3C47F21456789F0\r\n");
    EXPECT_EQ(rules(), 0);

    // CRCXs nobody answers neither hold rules nor keep a new connection
    // from being followed.
    for (int i = 0; i < 300; i++) {
        const uint8_t agent[4] = {10, 5, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
        mgcp(agent, kPhoneA,
             "CRCX " + std::to_string(2000 + i) + " aaln/1@gw MGCP 1.0\r\nC: " + std::to_string(i) +
                 "\r\n");
    }
    EXPECT_EQ(rules(), 0);
    mgcp(kAgent, kPhoneA, crcx);
    mgcp(kPhoneA, kAgent, "200 1001 OK\r\nI: FDE234C8\r\n\r\n" + sdp("10.0.0.1", 4000));
    EXPECT_EQ(rules(), 2);
}

// A trunk gateway on port 1 answers an agent on port 2 for lines whose media
// the SDP places elsewhere: the connections take the agent's port's share,
// then the gateway's. A host that is agent and gateway at once on one port
// gets that port's share only.
TEST_F(voip, MgcpConnectionsAreChargedToAPortOfTheCallWithRoom) {
    ASSERT_EQ(logger_init(), 0);
    const uint8_t gateway[4] = {10, 0, 0, 60};
    auto connect = [&](const uint8_t *agent, int agent_port, int gateway_port, int n) {
        const std::string t = std::to_string(n), line = "10.0.3." + std::to_string(n % 200);
        deliver(frame(17, agent, gateway, 2727, 2427,
                      text("CRCX " + t + " ds/ds1-1/" + t + "@gw MGCP 1.0\r\nC: c" + t + "\r\n")),
                agent_port);
        deliver(frame(17, gateway, agent, 2427, 2727,
                      text("200 " + t + " OK\r\nI: i" + t + "\r\n\r\n" +
                           sdp(line.c_str(), 4000 + 2 * n))),
                gateway_port);
    };
    for (int n = 1; n <= 6; n++)
        connect(kAgent, 2, 1, n);
    EXPECT_EQ(rules(), 12) << "six connections through one gateway";
    for (int n = 7; n <= 9; n++)
        connect(kAgent, 2, 1, n);
    EXPECT_EQ(rules(), 2 * VOIP_PORT_ENTRIES) << "both ports' shares and no more";
    EXPECT_EQ(feature_test::log_lines("Setup_MGCP_Session(enable) failed"), 1);
    const uint8_t both[4] = {10, 0, 0, 70};
    for (int n = 100; n < 110; n++)
        connect(both, 5, 5, n);
    EXPECT_EQ(rules(), 3 * VOIP_PORT_ENTRIES) << "one port's share";
}

// The gateway on port 1 answers the agent's CRCXs on port 2, and a host on
// port 4 answers four of them first, claiming the gateway: its answers take
// only its own port's rows, and every real connection gets its rules, those
// the gateway's port has no room for on the agent's port.
TEST_F(voip, AnswersClaimingTheGatewayFromElsewhereTakeOnlyTheirOwnPort) {
    const uint8_t gateway[4] = {10, 0, 0, 60};
    for (int n = 1; n <= 8; n++) {
        const std::string t = std::to_string(n);
        deliver(frame(17, kAgent, gateway, 2727, 2427,
                      text("CRCX " + t + " ds/ds1-1/" + t + "@gw MGCP 1.0\r\nC: c" + t + "\r\n")),
                2);
        if (n >= 5)
            deliver(frame(17, gateway, kAgent, 2427, 2727,
                          text("200 " + t + " OK\r\nI: f" + t + "\r\n\r\n" +
                               sdp("10.0.9.250", 5000 + 2 * n))),
                    4);
        deliver(frame(17, gateway, kAgent, 2427, 2727,
                      text("200 " + t + " OK\r\nI: i" + t + "\r\n\r\n" +
                           sdp("10.0.0.60", 4000 + 2 * n))),
                1);
    }
    EXPECT_EQ(rules(), 2 * 8 + 2 * 4);
}

// A gateway behind a trunk of ports 1 and 3, whose MAC the address table
// has on port 1, answers the agent's CRCXs from port 3, after a host on port 4
// answered four of them first claiming it: the trunk's answers are the
// gateway's though it never answered before, charged to its port or the
// agent's, and the forged ones take only port 4's rows. A call's party is
// the trunk, not the member its frames happen to enter on.
TEST_F(voip, TheGatewayAnswersFromWhereTheAddressTableHasIt) {
    const auto chip_port = [](int uport) {
        int lport = 0, unit = 0, port = 0;
        EXPECT_EQ(ulpm_to_lport(uport, &lport), 0);
        EXPECT_EQ(dxpx_lport_to_unit_port(lport, &unit, &port), 0);
        return port;
    };
    dxp_trunk_add_info trunk{};
    trunk.num_ports = 2;
    trunk.tp[0] = chip_port(1);
    trunk.tp[1] = chip_port(3);
    ASSERT_EQ(dxp_trunk_create_with_tid(0, 0), 0);
    ASSERT_EQ(dxp_trunk_set(0, 0, &trunk), 0);
    // Learnt on the trunk's first port.
    const dxp_mac_t gateway_mac = {0, 1, 2, 3, 4, 5};  // the frames' destination
    dxp_l2_addr at;
    dxp_l2_addr_init(&at, gateway_mac, 1);
    at.port = chip_port(1);
    ASSERT_EQ(dxp_l2_addr_add(0, &at), 0);
    // A caller behind the trunk whose BYE enters on the other member than
    // its INVITE ends its call at once.
    const int before = rules();
    const auto sip_on = [&](const uint8_t *from, const uint8_t *to, const std::string &msg,
                            int port) {
        deliver(frame(17, from, to, 5060, 5060, text(msg)), port);
    };
    sip_on(kPhoneA, kPhoneB, sip("INVITE sip:b@x SIP/2.0", "t1", sdp("10.0.0.1", 20000)), 1);
    sip_on(kPhoneB, kPhoneA, sip("SIP/2.0 200 OK", "t1", sdp("10.0.0.2", 30000)), 2);
    EXPECT_EQ(rules(), before + 2);
    sip_on(kPhoneA, kPhoneB, sip("BYE sip:b@x SIP/2.0", "t1", "", "2 BYE"), 3);
    EXPECT_EQ(rules(), before);

    const uint8_t gateway[4] = {10, 0, 0, 60};
    auto answer = [&](int n, const char *id, const char *media, int port) {
        const std::string t = std::to_string(n);
        deliver(
            frame(17, gateway, kAgent, 2427, 2727,
                  text("200 " + t + " OK\r\nI: " + id + t + "\r\n\r\n" + sdp(media, 4000 + 2 * n))),
            port);
    };
    for (int n = 1; n <= 8; n++) {
        const std::string t = std::to_string(n);
        deliver(frame(17, kAgent, gateway, 2727, 2427,
                      text("CRCX " + t + " ds/ds1-1/" + t + "@gw MGCP 1.0\r\nC: c" + t + "\r\n")),
                2);
    }
    for (int n = 5; n <= 8; n++)
        answer(n, "f", "10.0.9.250", 4);
    for (int n = 1; n <= 8; n++)
        answer(n, "i", "10.0.0.60", 3);
    EXPECT_EQ(rules(), 2 * 8 + 2 * 4);
}

Bytes skinny(uint32_t id, std::vector<uint32_t> words) {
    const uint32_t n = 4 + 4 * static_cast<uint32_t>(words.size());
    Bytes b;
    auto le = [&](uint32_t v) {
        for (int i = 0; i < 4; i++)
            b.push_back(uint8_t(v >> (8 * i)));
    };
    le(n);
    le(0);
    le(id);
    for (uint32_t w : words)
        le(w);
    return b;
}

TEST_F(voip, SccpMediaTransmissionOpensAndClosesVoiceRules) {
    const uint32_t remote = 10 | 0 << 8 | 0 << 16 | 7u << 24;  // 10.0.0.7 in wire order
    Bytes start = skinny(0x100, {});                           // a keep-alive first
    start.resize(12);
    start[0] = 4;
    Bytes media = skinny(138, {77, 1, remote, 16384});
    start.insert(start.end(), media.begin(), media.end());
    auto send = [](const Bytes &payload) {
        return deliver(frame(6, kAgent, kPhoneA, 2000, 51000, payload));
    };
    EXPECT_EQ(send(start), DXP_RX_HANDLED);
    EXPECT_EQ(rules(), 2);
    send(start);
    EXPECT_EQ(rules(), 2);
    send(skinny(139, {78, 1}));
    EXPECT_EQ(rules(), 2);
    send(skinny(139, {77, 1}));
    EXPECT_EQ(rules(), 0);
    // CloseReceiveChannel ends the conference as well.
    send(media);
    EXPECT_EQ(rules(), 2);
    send(skinny(0x106, {77, 1}));
    EXPECT_EQ(rules(), 0);
    EXPECT_EQ(sal_alloc_bytes_in_use("SCCP"), 0u);
}

// StartMediaTransmission of the conference from the address, with a remote
// end of its own, as having come in on the port.
int sccp_start(const uint8_t from[4], uint32_t conference, int port = 1,
               const uint8_t *phone = kPhoneA, uint16_t phone_port = 51000) {
    const uint32_t remote =
        10 | 9u << 8 | (conference >> 8 & 0xFF) << 16 | (conference & 0xFF) << 24;
    return deliver(
        frame(6, from, phone, 2000, phone_port, skinny(138, {conference, 1, remote, 16384})), port);
}

// Calls' rules stay within their share of the field processor, and those
// charged to one port within its share of that, whatever addresses the
// signalling claims; a failure beyond it is logged once per burst and
// once for each of a window's first new ports.
TEST_F(voip, CallsHoldOnlyTheirShareOfTheFieldProcessor) {
    ASSERT_EQ(logger_init(), 0);
    voip_profile_set(0, 1, 7);
    ASSERT_EQ(rules(), 8);
    // Forged call managers on port 1, none of whose phones was heard.
    for (uint32_t conference = 1; conference <= 300; conference++) {
        const uint8_t forged[4] = {10, 99, static_cast<uint8_t>(conference >> 4),
                                   static_cast<uint8_t>(conference)};
        sccp_start(forged, conference);
    }
    int calls = 0, setup = 0;
    voip_call_entry_count_get(&calls, &setup);
    EXPECT_EQ(calls, VOIP_PORT_ENTRIES) << "one port";
    EXPECT_EQ(feature_test::log_lines("Setup_SCCP_Session(enable) failed"), 1);
    // Call managers on other ports still get their calls' rules.
    for (uint32_t conference = 1; conference <= 300; conference++) {
        const uint8_t agent[4] = {10, 8, 0, static_cast<uint8_t>(conference % 50)};
        sccp_start(agent, 1000 + conference, 2 + static_cast<int>(conference % 50));
    }
    voip_call_entry_count_get(&calls, &setup);
    EXPECT_EQ(calls, VOIP_CALL_ENTRIES);
    EXPECT_EQ(setup, 0);
    EXPECT_EQ(rules(), 8 + VOIP_CALL_ENTRIES);
    // The first four new ports of the window are named at once.
    EXPECT_EQ(feature_test::log_lines("Setup_SCCP_Session(enable) failed"), 1 + 4);
    // At the window's end its count is said, by port; the next failure
    // falls in the next window, from a port it has not named.
    sal_wallclock_set(sal_time() + LOG_GATE_WINDOW_SECS);
    sccp_start(kPhoneB, 5000, 3);
    EXPECT_EQ(feature_test::log_lines("Setup_SCCP_Session(enable) failed"), 1 + 4 + 2);
    EXPECT_EQ(
        feature_test::log_lines("Setup_SCCP_Session(enable) failed (port 1) (570 more like this "
                                "folded: 294 from port 1, "),
        1);
    // The rest of the chip's rows are still there for other features.
    constexpr int kChipRows = 128;
    dxp_field_qset_t qset{};
    dxp_field_qset_add(&qset, dxpFieldQualifyIpProtocol);
    int other = 0;
    ASSERT_EQ(dxp_field_group_create(0, qset, 5, &other), 0);
    for (int i = 0; i < kChipRows - 8 - VOIP_CALL_ENTRIES; i++) {
        int entry = 0;
        ASSERT_EQ(dxp_field_entry_create(0, other, &entry), 0) << i;
    }
}

// One call server on port 1 signals every call: an SCCP call manager tells
// six phones on ports 2 to 4, each heard on its connection to it, to
// start their media, and a SIP PBX calls six phones there that answer
// themselves. Every call is charged to its phone's port and gets its rules;
// a phone's port past its share gets no more.
TEST_F(voip, CallsThroughOneServerAreChargedToTheirPhonesPorts) {
    voip_profile_set(0, 1, 7);
    const uint8_t server[4] = {10, 0, 0, 50};
    for (uint32_t i = 0; i < 6; i++) {
        const uint8_t phone[4] = {10, 0, 1, static_cast<uint8_t>(100 + i)};
        const int port = 2 + static_cast<int>(i % 3);
        // The phone's keep-alive to the manager, then the manager's order.
        deliver(frame(6, phone, server, 51000, 2000, skinny(0x100, {})), port);
        sccp_start(server, 1 + i, 1, phone, 51000);
    }
    EXPECT_EQ(rules(), 8 + 6 * 2);
    for (int i = 0; i < 6; i++) {
        const std::string phone = "10.0.2." + std::to_string(100 + i);
        const uint8_t ip[4] = {10, 0, 2, static_cast<uint8_t>(100 + i)};
        const std::string id = "pbx" + std::to_string(i);
        deliver(frame(17, server, ip, 5060, 5060,
                      text(sip("INVITE sip:p@x SIP/2.0", id, sdp("10.0.0.50", 20000 + 2 * i)))),
                1);
        deliver(frame(17, ip, server, 5060, 5060,
                      text(sip("SIP/2.0 200 OK", id, sdp(phone.c_str(), 30000)))),
                2 + i % 3);
    }
    EXPECT_EQ(rules(), 8 + 12 * 2);
    // Ports 2 to 4 now hold their shares: a fifth call of a phone there
    // gets none, a phone on another port does.
    sccp_start(server, 100, 1, kPhoneB, 51000);
    deliver(frame(6, kPhoneB, server, 51000, 2000, skinny(0x100, {})), 2);
    sccp_start(server, 101, 1, kPhoneB, 51000);
    EXPECT_EQ(rules(), 8 + 12 * 2 + 2) << "the manager's own port for an unheard phone";
    deliver(frame(6, kPhoneA, server, 52000, 2000, skinny(0x100, {})), 8);
    sccp_start(server, 102, 1, kPhoneA, 52000);
    EXPECT_EQ(rules(), 8 + 12 * 2 + 4);
}

// Orders forged as the call manager's by hosts that cannot see the phone's
// connection (a sequence number far from the phone's acknowledgements)
// neither end a call nor take its conference id: they count only for the
// port they came in on. The manager's real orders start and end the call.
TEST_F(voip, ForgedSccpOrdersNeitherEndNorBlockCalls) {
    voip_profile_set(0, 1, 7);
    const uint8_t server[4] = {10, 0, 0, 50}, phone[4] = {10, 0, 1, 100};
    deliver(frame(6, phone, server, 51000, 2000, skinny(0x100, {})), 2);
    auto order = [&](uint32_t id, uint32_t conference, uint32_t seq, int port) {
        const uint32_t remote = 10 | 9u << 8 | 9u << 16 | 1u << 24;
        Bytes f = frame(
            6, server, phone, 2000, 51000,
            id == 138 ? skinny(id, {conference, 1, remote, 16384}) : skinny(id, {conference, 1}));
        for (int i = 0; i < 4; i++)
            f[42 + i] = static_cast<uint8_t>(seq >> (24 - 8 * i));  // TCP sequence number
        return deliver(f, port);
    };
    constexpr uint32_t kReal = 1, kGuessed = 0x40000000;
    order(138, 5, kGuessed, 4);  // a conference id the manager has not used yet
    EXPECT_EQ(rules(), 8 + 2);
    order(138, 5, kReal, 1);
    EXPECT_EQ(rules(), 8 + 4) << "the real call on the id gets its rules";
    for (uint32_t stop : {139u, 0x106u})
        for (int port : {3, 1, 2})  // the manager's port and the phone's too
            order(stop, 5, kGuessed, port);
    EXPECT_EQ(rules(), 8 + 4);
    order(139, 5, kGuessed, 4);  // the forger's own session
    EXPECT_EQ(rules(), 8 + 2);
    order(139, 5, kReal, 1);
    EXPECT_EQ(rules(), 8);
}

// Orders from a port that no set-up of a call came in on: DLCX, BYE and
// CANCEL naming the call end nothing, and a CRCX, INVITE or answer that
// takes its id first is a call of its own, so the real one still gets its
// rules.
TEST_F(voip, OrdersFromOutsideACallNeitherEndNorBlockIt) {
    voip_profile_set(0, 1, 7);
    const uint8_t gateway[4] = {10, 0, 0, 60};
    auto mgcp = [&](const std::string &verb, int t, int call, int port) {
        deliver(frame(17, kAgent, gateway, 2727, 2427,
                      text(verb + " " + std::to_string(t) + " ds/ds1-1/" + std::to_string(call) +
                           "@gw MGCP 1.0\r\nC: call" + std::to_string(call) + "\r\n")),
                port);
    };
    auto answer = [&](int t) {
        const std::string n = std::to_string(t);
        deliver(frame(17, gateway, kAgent, 2427, 2727,
                      text("200 " + n + " OK\r\nI: conn" + n + "\r\n\r\n" +
                           sdp("10.0.0.60", 4000 + 2 * t))),
                1);
    };
    // Port 4 opens a connection on the agent's next call id, answers the
    // agent's CRCX before the gateway does and sends a DLCX: the agent's
    // connection gets rules of its own from the gateway's answer, once, and
    // ends with the agent's DLCX.
    mgcp("CRCX", 950, 7, 4);
    mgcp("CRCX", 7, 7, 2);
    deliver(frame(17, gateway, kAgent, 2427, 2727,
                  text("200 7 OK\r\nI: forged\r\n\r\n" + sdp("10.0.0.66", 4000))),
            4);
    answer(7);
    answer(7);
    mgcp("DLCX", 901, 7, 4);
    EXPECT_EQ(rules(), 8 + 4);
    mgcp("DLCX", 8, 7, 2);
    EXPECT_EQ(rules(), 8);
    // A CRCX port 4 sends to the gateway under the gateway's own address:
    // the gateway's answer to the agent is the agent's CRCX's, and the
    // agent's DLCX ends it.
    deliver(frame(17, gateway, gateway, 2727, 2427,
                  text("CRCX 9 ds/ds1-1/9@gw MGCP 1.0\r\nC: call9\r\n")),
            4);
    mgcp("CRCX", 9, 9, 2);
    answer(9);
    mgcp("DLCX", 10, 9, 2);
    EXPECT_EQ(rules(), 8);
    // A CRCX port 4 answers itself on an answered call id, both sent to a
    // station there: its DLCX ends only its own connection.
    mgcp("CRCX", 11, 11, 2);
    answer(11);
    station_at(4);
    mgcp("CRCX", 12, 11, 4);
    deliver(frame(17, gateway, kAgent, 2427, 2727,
                  text("200 12 OK\r\nI: own\r\n\r\n" + sdp("10.0.0.66", 4100))),
            4);
    station_at(0);
    EXPECT_EQ(rules(), 8 + 4);
    mgcp("DLCX", 13, 11, 4);
    EXPECT_EQ(rules(), 8 + 2);
    mgcp("DLCX", 14, 11, 2);
    EXPECT_EQ(rules(), 8);

    const std::string invite = "INVITE sip:b@x SIP/2.0";
    auto sip_on = [](int port, const uint8_t *from, const uint8_t *to, const std::string &msg) {
        deliver(frame(17, from, to, 5060, 5060, text(msg)), port);
    };
    // An INVITE forged on port 2 first, its CANCEL and a BYE there: the
    // real call on the Call-ID is answered and ends with its caller's BYE.
    sip_on(2, kPhoneA, kPhoneB, sip(invite, "s2", sdp("10.0.0.1", 22000)));
    sip_on(3, kPhoneA, kPhoneB, sip(invite, "s2", sdp("10.0.0.1", 20000)));
    sip_on(2, kPhoneA, kPhoneB, sip("CANCEL sip:b@x SIP/2.0", "s2", "", "1 CANCEL"));
    sip_on(4, kPhoneB, kPhoneA, sip("SIP/2.0 200 OK", "s2", sdp("10.0.0.2", 30000)));
    sip_on(2, kPhoneA, kPhoneB, sip("BYE sip:b@x SIP/2.0", "s2", "", "2 BYE"));
    EXPECT_EQ(rules(), 8 + 2);
    sip_on(3, kPhoneA, kPhoneB, sip("BYE sip:b@x SIP/2.0", "s2", "", "2 BYE"));
    EXPECT_EQ(rules(), 8);
    // A proxy on port 1 passes the INVITE and the answer on: one call, which
    // the proxy's BYE ends.
    sip_on(3, kPhoneA, kAgent, sip(invite, "s3", sdp("10.0.0.1", 20000)));
    sip_on(1, kAgent, kPhoneB, sip(invite, "s3", sdp("10.0.0.1", 20000)));
    sip_on(4, kPhoneB, kAgent, sip("SIP/2.0 200 OK", "s3", sdp("10.0.0.2", 30000)));
    sip_on(1, kAgent, kPhoneA, sip("SIP/2.0 200 OK", "s3", sdp("10.0.0.2", 30000)));
    EXPECT_EQ(rules(), 8 + 2);
    sip_on(1, kAgent, kPhoneB, sip("BYE sip:b@x SIP/2.0", "s3", "", "2 BYE"));
    EXPECT_EQ(rules(), 8);
    // A 200 forged on port 2 before the callee's: the callee's answer still
    // gives the call rules of its own, once; the caller's BYE ends both.
    sip_on(3, kPhoneA, kPhoneB, sip(invite, "s4", sdp("10.0.0.1", 20000)));
    sip_on(2, kPhoneB, kPhoneA, sip("SIP/2.0 200 OK", "s4", sdp("10.0.0.66", 30000)));
    for (int i = 0; i < 2; i++)
        sip_on(4, kPhoneB, kPhoneA, sip("SIP/2.0 200 OK", "s4", sdp("10.0.0.2", 30000)));
    EXPECT_EQ(rules(), 8 + 4);
    sip_on(3, kPhoneA, kPhoneB, sip("BYE sip:b@x SIP/2.0", "s4", "", "2 BYE"));
    EXPECT_EQ(rules(), 8);
    // An INVITE with an offer of its own forged on port 2 before the
    // callee's answer, which answers both: the caller's BYE ends every pair
    // of the call; on another call the forger's BYE ends only its own.
    const uint8_t early_forger[4] = {10, 0, 0, 250};
    auto early_forged_call = [&](const std::string &id, const uint8_t *forger) {
        sip_on(3, kPhoneA, kPhoneB, sip(invite, id, sdp("10.0.0.1", 20000)));
        sip_on(2, forger, kPhoneB, sip(invite, id, sdp("10.0.0.250", 50020)));
        sip_on(4, kPhoneB, kPhoneA, sip("SIP/2.0 200 OK", id, sdp("10.0.0.2", 33000)));
        EXPECT_EQ(rules(), 8 + 4);
    };
    early_forged_call("s6", early_forger);
    sip_on(3, kPhoneA, kPhoneB, sip("BYE sip:b@x SIP/2.0", "s6", "", "2 BYE"));
    EXPECT_EQ(rules(), 8);
    early_forged_call("s7", early_forger);
    sip_on(2, early_forger, kPhoneB, sip("BYE sip:b@x SIP/2.0", "s7", "", "2 BYE"));
    EXPECT_EQ(rules(), 8 + 2);
    sip_on(3, kPhoneA, kPhoneB, sip("BYE sip:b@x SIP/2.0", "s7", "", "2 BYE"));
    EXPECT_EQ(rules(), 8);
    // The same under the caller's address, the caller's MAC unknown to the
    // address table: the forger's BYE ends no pair of the call.
    early_forged_call("s9", kPhoneA);
    sip_on(2, kPhoneA, kPhoneB, sip("BYE sip:b@x SIP/2.0", "s9", "", "2 BYE"));
    EXPECT_EQ(rules(), 8 + 2);
    sip_on(4, kPhoneB, kPhoneA, sip("BYE sip:a@x SIP/2.0", "s9", "", "1 BYE"));
    EXPECT_EQ(rules(), 8);
    // An offer port 2 answers itself, both sent to a station there.
    sip_on(3, kPhoneA, kPhoneB, sip(invite, "s8", sdp("10.0.0.1", 20000)));
    sip_on(4, kPhoneB, kPhoneA, sip("SIP/2.0 200 OK", "s8", sdp("10.0.0.2", 33000)));
    station_at(2);
    sip_on(2, early_forger, kPhoneB, sip(invite, "s8", sdp("10.0.0.250", 50020), "7 INVITE"));
    sip_on(2, kPhoneB, early_forger,
           sip("SIP/2.0 200 OK", "s8", sdp("10.0.0.2", 33000), "7 INVITE"));
    station_at(0);
    EXPECT_EQ(rules(), 8 + 4);
    sip_on(2, early_forger, kPhoneB, sip("BYE sip:b@x SIP/2.0", "s8", "", "8 BYE"));
    EXPECT_EQ(rules(), 8 + 2);
    sip_on(3, kPhoneA, kPhoneB, sip("BYE sip:b@x SIP/2.0", "s8", "", "2 BYE"));
    EXPECT_EQ(rules(), 8);
    // An INVITE forged on port 2 on an answered call once port 2's own
    // calls hold its rows: neither the callee's answer to the caller's
    // re-INVITE nor its answer to the forged offer gives it a pair.
    for (int k = 0; k < VOIP_PORT_ENTRIES / 2; k++) {
        const std::string id = "p2-" + std::to_string(k);
        sip_on(2, kAgent, kPhoneA, sip(invite, id, sdp("10.0.0.9", 40000 + 2 * k)));
        sip_on(2, kPhoneA, kAgent, sip("SIP/2.0 200 OK", id, sdp("10.0.0.1", 42000 + 2 * k)));
    }
    const uint8_t forger[4] = {10, 0, 0, 66};
    sip_on(3, kPhoneA, kPhoneB, sip(invite, "s5", sdp("10.0.0.1", 20000)));
    sip_on(4, kPhoneB, kPhoneA, sip("SIP/2.0 200 OK", "s5", sdp("10.0.0.2", 30000)));
    sip_on(2, forger, kPhoneB, sip(invite, "s5", sdp("10.0.0.66", 26000), "7 INVITE"));
    sip_on(3, kPhoneA, kPhoneB, sip(invite, "s5", sdp("10.0.0.1", 20000), "3 INVITE"));
    for (const char *cseq : {"3 INVITE", "7 INVITE"})
        sip_on(4, kPhoneB, kPhoneA, sip("SIP/2.0 200 OK", "s5", sdp("10.0.0.2", 30000), cseq));
    EXPECT_EQ(rules(), 8 + VOIP_PORT_ENTRIES + 2);
}

// One answered call of each of SIP, MGCP and SCCP, whose media go to port
// base (SIP), base + 2 (MGCP) and base + 4 (SCCP); and an H.323 call whose
// fastStart and tunnelled Ack give its media at base + 6.
void calls_of_each_protocol(int base) {
    const std::string id = std::to_string(base);
    deliver(frame(17, kPhoneA, kPhoneB, 5060, 5060,
                  text(sip("INVITE sip:b@x SIP/2.0", "s" + id, sdp("10.0.0.1", base)))));
    deliver(frame(17, kPhoneB, kPhoneA, 5060, 5060,
                  text(sip("SIP/2.0 200 OK", "s" + id, sdp("10.0.0.2", base)))));
    deliver(frame(17, kAgent, kPhoneA, 2727, 2427,
                  text("CRCX " + id + " aaln/1@gw MGCP 1.0\r\nC: m" + id + "\r\n")));
    deliver(frame(17, kPhoneA, kAgent, 2427, 2727,
                  text("200 " + id + " OK\r\nI: 1\r\n\r\n" + sdp("10.0.0.1", base + 2))));
    const uint32_t remote = 10 | 0 << 8 | 0 << 16 | 7u << 24;
    deliver(frame(
        6, kAgent, kPhoneB, 2000, 51000,
        skinny(138, {static_cast<uint32_t>(base), 1, remote, static_cast<uint32_t>(base + 4)})));
    using h323_test::Uuie;
    const h323_test::Address caller = {{10, 0, 0, 1}, static_cast<uint16_t>(base + 6)},
                             callee = {{10, 0, 0, 2}, static_cast<uint16_t>(base + 6)};
    h323_test::Per olc;
    h323_test::olc(olc, caller);
    const auto port = static_cast<uint16_t>(base);
    deliver(
        frame(6, kPhoneA, kPhoneB, port, 1720,
              h323_test::q931(h323_test::kSetupType,
                              h323_test::user_information(Uuie::kSetup, nullptr, {olc.data()}))));
    deliver(frame(6, kPhoneB, kPhoneA, 1720, port,
                  h323_test::q931(h323_test::kConnectType,
                                  h323_test::user_information(Uuie::kConnect, nullptr, {},
                                                              {h323_test::h245_olc_ack(callee)}))));
}

// Auto VoIP switched off ends every call: no snooper would see their ends.
TEST_F(voip, SwitchingOffEndsEveryCall) {
    voip_profile_set(0, 1, 7);
    calls_of_each_protocol(20000);
    EXPECT_EQ(rules(), 8 + 4 * 2);
    voip_profile_set(0, 0, 0);
    EXPECT_EQ(rules(), 0);
    int calls = -1, setup = -1;
    voip_call_entry_count_get(&calls, &setup);
    EXPECT_EQ(calls, 0);
    for (const char *tag : {"SIP", "MGCP", "SCCP", "H323"})
        EXPECT_EQ(sal_alloc_bytes_in_use(tag), 0u) << tag;
    // On again, the same calls start afresh.
    voip_profile_set(0, 1, 7);
    calls_of_each_protocol(20000);
    EXPECT_EQ(rules(), 8 + 4 * 2);
}

// Keeps the manual clock for one test.
struct ManualClock {
    ManualClock() { sal_clock_manual(1000000); }
    ~ManualClock() { sal_clock_real(); }
    ManualClock(const ManualClock &) = delete;
    ManualClock &operator=(const ManualClock &) = delete;
    static void advance(int seconds) {
        sal_clock_advance(static_cast<uint64_t>(seconds) * 1000000);
    }
};

// Calls of every protocol whose media rules see no frame for the idle time go
// with their rules; a call whose media flow stays. Idle calls are looked for
// as copies arrive, and by a timer when none do.
TEST_F(voip, IdleCallsGoLiveOnesStay) {
    ManualClock clock;
    port_up();
    const auto rtp = [this] {  // to the SIP call's callee end, untagged and without FCS
        Bytes f = frame(17, kPhoneA, kPhoneB, 20000, 20000, Bytes(160, 0xd5));
        f.erase(f.begin() + 12, f.begin() + 16);
        f.resize(f.size() - 4);
        board->port(1).injectRaw(f);
        board->fabric().pump();
    };
    // A copy on the signalling ports, which looks for idle calls.
    const auto copy = [] { deliver(frame(17, kAgent, kPhoneA, 40000, 5060, text("x"))); };
    voip_profile_set(0, 1, 7);
    calls_of_each_protocol(20000);
    ASSERT_EQ(rules(), 8 + 4 * 2);
    ManualClock::advance(VOIP_IDLE_SECS - 100);
    rtp();
    copy();
    ManualClock::advance(VOIP_IDLE_SECS - 100);
    copy();
    EXPECT_EQ(rules(), 8 + 2) << "the SIP call, whose media flowed";
    EXPECT_EQ(sal_alloc_bytes_in_use("MGCP") + sal_alloc_bytes_in_use("SCCP") +
                  sal_alloc_bytes_in_use("H323"),
              0u);
    // With no copies at all the timer finds the idle call.
    ManualClock::advance(VOIP_IDLE_SECS);
    int calls = -1, setup = 0;
    for (int tries = 0; tries < 100 && calls != 0; tries++) {
        usleep(50000);  // real time: the platform's sleeps follow the manual clock
        voip_call_entry_count_get(&calls, &setup);
    }
    EXPECT_EQ(rules(), 8);
    EXPECT_EQ(sal_alloc_bytes_in_use("SIP"), 0u);
}

// Every message cut short at every length: nothing is read past the frame's
// end (the sanitizers watch) and no half-parsed call installs a rule.
TEST_F(voip, TruncatedSignallingIsHarmless) {
    const std::vector<Bytes> frames = {
        frame(17, kPhoneA, kPhoneB, 5060, 5060,
              text(sip("INVITE sip:b@x SIP/2.0", "t1", sdp("10.0.0.1", 20000)))),
        frame(17, kAgent, kPhoneA, 2727, 2427,
              text("CRCX 1 e MGCP 1.0\r\nC: 1\r\n\r\n" + sdp("10.0.0.1", 4000))),
        frame(6, kAgent, kPhoneA, 2000, 51000, skinny(138, {1, 1, 0x0700000a, 16384})),
        frame(6, kAgent, kPhoneA, 1720, 51000, {3, 0, 0, 40, 8, 2, 0, 1, 5, 0x7e, 0, 30, 5}),
    };
    ASSERT_EQ(logger_init(), 0);
    auto folded = [] { return feature_test::log_lines("more like this folded"); };
    const int said = feature_test::log_lines("SIP: "), said_folded = folded();
    for (const Bytes &f : frames) {
        for (size_t n = 0; n < f.size(); n++)
            deliver(Bytes(f.begin(), f.begin() + static_cast<long>(n)));
    }
    EXPECT_EQ(rules(), 0);
    // The SIP and MGCP parsers' faults are said in a line each, and their
    // count once following stops.
    voip_init();
    EXPECT_EQ(feature_test::log_lines("SIP: "), said + 2);
    EXPECT_EQ(folded(), said_folded + 2);
}

}  // namespace

// The rules match real frames in the chip model: signalling on either
// port, and the call's voice stream once the call is up.
TEST_F(voip, RulesMatchFramesEnteringAPort) {
    port_up();
    auto hits = [this] {
        uint32_t n = 0;
        for (int i = 0; i < sim::CfpEngine::kRows; i++)
            n += board->chip().cfp()->row(i).in_band;
        return n;
    };
    auto enter = [&](Bytes f) {  // untagged, without its FCS
        f.erase(f.begin() + 12, f.begin() + 16);
        f.resize(f.size() - 4);
        const uint32_t before = hits();
        board->port(1).injectRaw(f);
        board->fabric().pump();
        return hits() - before;
    };
    const Bytes invite = frame(17, kPhoneA, kPhoneB, 5060, 5060,
                               text(sip("INVITE sip:b@x SIP/2.0", "m1", sdp("10.0.0.1", 20000))));
    const Bytes ok = frame(17, kPhoneB, kPhoneA, 5060, 5060,
                           text(sip("SIP/2.0 200 OK", "m1", sdp("10.0.0.2", 30000))));
    const Bytes rtp = frame(17, kPhoneA, kPhoneB, 20000, 30000, Bytes(160, 0xd5));
    EXPECT_EQ(enter(invite), 0u);
    voip_profile_set(0, 1, 7);
    EXPECT_EQ(enter(invite), 1u);
    EXPECT_EQ(enter(frame(17, kPhoneA, kPhoneB, 40000, 5060, Bytes(20, 0))), 1u);
    EXPECT_EQ(enter(rtp), 0u);
    deliver(invite);
    deliver(ok);
    EXPECT_EQ(enter(rtp), 1u);
    EXPECT_EQ(enter(frame(17, kPhoneB, kPhoneA, 30001, 20001, Bytes(160, 0xd5))), 1u);
    EXPECT_EQ(enter(frame(6, kPhoneA, kPhoneB, 20000, 30000, Bytes(20, 0))), 0u);  // TCP
    deliver(frame(17, kPhoneA, kPhoneB, 5060, 5060, text(sip("BYE sip:b@x SIP/2.0", "m1", ""))));
    EXPECT_EQ(enter(rtp), 0u);
}
