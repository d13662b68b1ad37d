// H.323 calls followed by Auto VoIP on the 52-port board's chip: the H.245
// control connection copied to the CPU, the media rules that replace it once
// both channels are open, and the end of the call, from H.225.0 and H.245
// segments handed to the receive callout.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "h323_encode.h"
#include "logger.h"
#include "sal.h"
#include "sal_host.h"
#include "voip_fixture.h"
#include "voipmgr.h"

namespace {

using h323_test::Address;
using h323_test::Uuie;
using voip_test::Bytes;
using voip_test::deliver;
using voip_test::frame;

const uint8_t kCaller[4] = {10, 0, 0, 1}, kCallee[4] = {10, 0, 0, 2};
const Address kControl = {{10, 0, 0, 2}, 5000};
const Address kCallerMedia = {{10, 0, 0, 1}, 20000}, kCalleeMedia = {{10, 0, 0, 2}, 30000};
constexpr int kTcpFlags = 18 + 20 + 13;  // in the tagged frame

class voip_h323 : public voip_test::VoipTest {
  protected:
    // The class parameters of the entries that copy to the CPU.
    static std::multiset<uint32_t> copy_classes() {
        std::multiset<uint32_t> classes;
        for (int id = 0; id < 2048; id++) {
            uint32_t p0 = 0, p1 = 0;
            if (dxp_field_action_get(0, id, dxpFieldActionCopyToCpu, &p0, &p1) == 0)
                classes.insert(p1);
        }
        return classes;
    }
    // Call signalling between the caller's port and 1720.
    static int h225(bool from_caller, const Bytes &payload, uint16_t caller_port = 40000) {
        return from_caller ? deliver(frame(6, kCaller, kCallee, caller_port, 1720, payload))
                           : deliver(frame(6, kCallee, kCaller, 1720, caller_port, payload));
    }
    static int h245(bool from_caller, const Bytes &message) {
        const Bytes payload = h323_test::tpkt(message);
        return from_caller ? deliver(frame(6, kCaller, kCallee, 41000, kControl.port, payload))
                           : deliver(frame(6, kCallee, kCaller, kControl.port, 41000, payload));
    }
    static Bytes setup(const Address *control, std::vector<Bytes> fast = {}) {
        return h323_test::q931(h323_test::kSetupType,
                               h323_test::user_information(Uuie::kSetup, control, std::move(fast)));
    }
    // The callee's Connect, which answers the call.
    static int answer(uint16_t caller_port = 40000, const Address *control = nullptr) {
        return h225(false,
                    h323_test::q931(h323_test::kConnectType,
                                    h323_test::user_information(Uuie::kConnect, control)),
                    caller_port);
    }
    // A call whose media come from the Setup's fastStart and the Connect's
    // tunnelled OpenLogicalChannelAck.
    static void fast_start_call(uint16_t caller_port = 40000) {
        h323_test::Per olc;
        h323_test::olc(olc, kCallerMedia);
        h225(true, setup(nullptr, {olc.data()}), caller_port);
        h225(false,
             h323_test::q931(h323_test::kConnectType,
                             h323_test::user_information(Uuie::kConnect, nullptr, {},
                                                         {h323_test::h245_olc_ack(kCalleeMedia)})),
             caller_port);
    }
    static Bytes release() {
        return h323_test::q931(h323_test::kReleaseType,
                               h323_test::user_information(Uuie::kReleaseComplete));
    }
    // Frames entering port 1 that hit an entry.
    uint32_t hits(Bytes f) {
        auto count = [this] {
            uint32_t n = 0;
            for (int i = 0; i < sim::CfpEngine::kRows; i++)
                n += board->chip().cfp()->row(i).in_band;
            return n;
        };
        f.erase(f.begin() + 12, f.begin() + 16);
        f.resize(f.size() - 4);
        const uint32_t before = count();
        board->port(1).injectRaw(f);
        board->fabric().pump();
        return count() - before;
    }
};

Bytes rtp_to(const Address &a) {
    const uint8_t from[4] = {10, 0, 0, 9};
    return frame(17, from, a.ip, 1234, a.port, Bytes(160, 0xd5));
}

TEST_F(voip_h323, AnsweredSetupWithH245AddressCopiesTheControlConnectionWithAClassPerCall) {
    EXPECT_EQ(h225(true, setup(nullptr)), DXP_RX_HANDLED);
    EXPECT_EQ(rules(), 0);
    EXPECT_FALSE(h323_is_h245_port(kControl.port));

    // The address is known from the Setup; the rules wait for an answer.
    EXPECT_EQ(h225(true, setup(&kControl)), DXP_RX_HANDLED);
    EXPECT_EQ(rules(), 0);
    EXPECT_TRUE(h323_is_h245_port(kControl.port));
    answer();
    EXPECT_EQ(rules(), 2);
    EXPECT_EQ(copy_classes(), (std::multiset<uint32_t>{5, 5}));
    EXPECT_TRUE(h323_is_h245_port(kControl.port));
    const uint16_t h245_ports[2] = {41000, kControl.port};
    EXPECT_EQ(voip_classify(6, h245_ports), VOIP_CLASS_H245);

    // The Connect repeats the address: the same pair stays.
    h225(false, h323_test::q931(h323_test::kConnectType,
                                h323_test::user_information(Uuie::kConnect, &kControl)));
    EXPECT_EQ(rules(), 2);

    const Address other = {{10, 0, 0, 2}, 5002};
    h225(true, setup(&other), 40002);
    EXPECT_EQ(rules(), 2);
    answer(40002);
    EXPECT_EQ(rules(), 4);
    EXPECT_EQ(copy_classes(), (std::multiset<uint32_t>{5, 5, 6, 6}));

    // ReleaseComplete ends one call; the end of the other's connection ends it.
    h225(false, release());
    EXPECT_EQ(rules(), 2);
    EXPECT_FALSE(h323_is_h245_port(kControl.port));
    Bytes fin = frame(6, kCallee, kCaller, 1720, 40002, {});
    fin[kTcpFlags] = 0x11;
    deliver(fin);
    EXPECT_EQ(rules(), 0);
    EXPECT_EQ(sal_alloc_bytes_in_use("H323"), 0u);
}

// Segments of a call's connection from a port that neither its Setup nor
// its answer came in on change nothing, and a Setup or answer forged there
// first on that connection is a call of its own: the real one still gets
// its rules and ends with its own ReleaseComplete.
TEST_F(voip_h323, OnlyTheCallsOwnPortsSpeakForIt) {
    auto send = [](bool from_caller, const Bytes &payload, int port, uint16_t caller = 40000) {
        const Bytes f = from_caller ? frame(6, kCaller, kCallee, caller, 1720, payload)
                                    : frame(6, kCallee, kCaller, 1720, caller, payload);
        deliver(f, port);
    };
    h323_test::Per olc;
    h323_test::olc(olc, kCallerMedia);
    send(true, setup(nullptr, {olc.data()}), 4);
    send(true, setup(nullptr, {olc.data()}), 1);
    auto connect = [](const Address &media) {
        return h323_test::q931(h323_test::kConnectType,
                               h323_test::user_information(Uuie::kConnect, nullptr, {},
                                                           {h323_test::h245_olc_ack(media)}));
    };
    send(false, connect(kCalleeMedia), 2);
    ASSERT_EQ(rules(), 4) << "the forged call and the real one";
    for (bool from_caller : {true, false})
        send(from_caller, release(), 3);
    Bytes fin = frame(6, kCallee, kCaller, 1720, 40000, {});
    fin[kTcpFlags] = 0x11;
    deliver(fin, 3);
    EXPECT_EQ(rules(), 4) << "ReleaseComplete and FIN from port 3";
    send(true, release(), 1);
    EXPECT_EQ(rules(), 2) << "the caller's ReleaseComplete";
    deliver(fin, 2);
    EXPECT_EQ(rules(), 0) << "the callee's FIN ends the forged call too";
    // A Connect forged on port 4 before the callee's: the callee's answer
    // still gives the call rules of its own, once.
    send(true, setup(nullptr, {olc.data()}), 1, 40002);
    send(false, connect({{10, 0, 0, 66}, 30000}), 4, 40002);
    for (int i = 0; i < 2; i++)
        send(false, connect(kCalleeMedia), 2, 40002);
    EXPECT_EQ(rules(), 4);
    send(true, release(), 1, 40002);
    EXPECT_EQ(rules(), 0);
    // A Setup forged on port 4 on an answered call's connection: the
    // callee's next message gives it port 4's rows only, and the caller's
    // ReleaseComplete ends it with the call.
    send(true, setup(nullptr, {olc.data()}), 1, 40004);
    send(false, connect(kCalleeMedia), 2, 40004);
    h323_test::Per forged;
    h323_test::olc(forged, {{10, 0, 0, 66}, 26000});
    send(true, setup(nullptr, {forged.data()}), 4, 40004);
    send(false, connect(kCalleeMedia), 2, 40004);
    EXPECT_EQ(rules(), 4);
    send(true, release(), 1, 40004);
    EXPECT_EQ(rules(), 0);
    // That Setup answered by port 4 itself, both sent to a station there:
    // port 4's ReleaseComplete ends only what its own answer made.
    send(true, setup(nullptr, {olc.data()}), 1, 40006);
    send(false, connect(kCalleeMedia), 2, 40006);
    station_at(4);
    send(true, setup(nullptr, {forged.data()}), 4, 40006);
    send(false, connect({{10, 0, 0, 66}, 36000}), 4, 40006);
    station_at(0);
    EXPECT_EQ(rules(), 6) << "the call, the forged call and what its answer made of the call";
    send(false, release(), 4, 40006);
    EXPECT_EQ(rules(), 2);
    send(true, release(), 1, 40006);
    EXPECT_EQ(rules(), 0);
    EXPECT_EQ(sal_alloc_bytes_in_use("H323"), 0u);
}

TEST_F(voip_h323, ControlClassRunsFrom5To254ThenStartsAgain) {
    for (int i = 0; i < 250; i++) {
        h225(true, setup(&kControl));
        answer();
        h225(true, release());
    }
    h225(true, setup(&kControl));
    answer();
    EXPECT_EQ(copy_classes(), (std::multiset<uint32_t>{5, 5}));
}

TEST_F(voip_h323, OpenLogicalChannelAndAckReplaceTheControlRulesByMediaRules) {
    port_up();
    h225(true, setup(&kControl));
    answer();
    EXPECT_EQ(rules(), 2);
    EXPECT_EQ(hits(rtp_to(kCalleeMedia)), 0u);

    EXPECT_EQ(h245(true, h323_test::h245_olc(kCallerMedia)), DXP_RX_HANDLED);
    EXPECT_EQ(copy_classes().size(), 2u);  // one side known: still the control rules
    h245(false, h323_test::h245_olc_ack(kCalleeMedia));
    EXPECT_EQ(rules(), 2);
    EXPECT_TRUE(copy_classes().empty());
    EXPECT_EQ(hits(rtp_to(kCallerMedia)), 1u);
    EXPECT_EQ(hits(rtp_to(kCalleeMedia)), 1u);
    EXPECT_EQ(hits(rtp_to({{10, 0, 0, 2}, 30001})), 1u);  // its RTCP port too
    EXPECT_EQ(hits(rtp_to({{10, 0, 0, 3}, 30000})), 0u);

    // A repeated address after the media are known keeps the media rules.
    h225(false, h323_test::q931(h323_test::kConnectType,
                                h323_test::user_information(Uuie::kConnect, &kControl)));
    EXPECT_TRUE(copy_classes().empty());

    h225(true, release());
    EXPECT_EQ(rules(), 0);
    EXPECT_EQ(hits(rtp_to(kCalleeMedia)), 0u);
}

TEST_F(voip_h323, FastStartAndTunnelledH245GiveTheMediaWithoutAControlConnection) {
    port_up();
    h323_test::Per olc;
    h323_test::olc(olc, kCallerMedia);
    h225(true, setup(nullptr, {olc.data()}));
    EXPECT_EQ(rules(), 0);
    const Bytes connect =
        h323_test::q931(h323_test::kConnectType,
                        h323_test::user_information(Uuie::kConnect, nullptr, {},
                                                    {h323_test::h245_olc_ack(kCalleeMedia)}));
    h225(false, connect);
    EXPECT_EQ(rules(), 2);
    EXPECT_EQ(hits(rtp_to(kCallerMedia)), 1u);
    EXPECT_EQ(hits(rtp_to(kCalleeMedia)), 1u);

    // fastStart on both sides, the offer with forward and reverse channels:
    // each side's channels name the media of its own direction.
    h225(true, release());
    EXPECT_EQ(rules(), 0);
    h323_test::Per both, answer;
    h323_test::olc(both, kCallerMedia, &kCallerMedia);
    h225(true, setup(nullptr, {both.data()}), 40004);
    EXPECT_EQ(rules(), 0);
    h323_test::olc(answer, kCalleeMedia);
    h225(false,
         h323_test::q931(h323_test::kConnectType,
                         h323_test::user_information(Uuie::kConnect, nullptr, {answer.data()})),
         40004);
    EXPECT_EQ(rules(), 2);
    EXPECT_EQ(hits(rtp_to(kCalleeMedia)), 1u);
}

TEST_F(voip_h323, TpktSplitOverTwoSegmentsIsReassembled) {
    const Bytes whole = setup(&kControl);
    const Bytes header(whole.begin(), whole.begin() + 4), body(whole.begin() + 4, whole.end());
    h225(true, header);
    EXPECT_EQ(rules(), 0);
    h225(true, body);
    EXPECT_TRUE(h323_is_h245_port(kControl.port));
    answer();
    EXPECT_EQ(rules(), 2);

    // Two messages in one segment; a header announced in the other direction
    // does not take this direction's body.
    h225(true, release());
    Bytes two = setup(&kControl);
    const Bytes rel = release();
    two.insert(two.end(), rel.begin(), rel.end());
    h225(true, two, 40006);
    EXPECT_EQ(rules(), 0);
    h225(true, header, 40008);
    h225(false, body, 40008);
    EXPECT_EQ(rules(), 0);
    h225(true, body, 40008);
    answer(40008);
    EXPECT_EQ(rules(), 2);
}

TEST_F(voip_h323, MalformedSignallingIsIgnored) {
    Bytes q = setup(&kControl);
    Bytes bad = q;
    bad[4] = 9;  // not Q.931
    h225(true, bad);
    EXPECT_EQ(rules(), 0);
    bad = q;
    bad[3] = 3;  // a TPKT shorter than its header
    h225(true, bad, 40010);
    bad = q;
    bad[3] = static_cast<uint8_t>(bad[3] + 1);  // longer than the segment
    h225(true, bad, 40012);
    EXPECT_EQ(rules(), 0);
    // The user-user length beyond the message.
    bad = q;
    for (size_t i = 4 + 11; i + 2 < bad.size(); i++) {
        if (bad[i] == 0x7E) {
            bad[i + 2] = static_cast<uint8_t>(bad[i + 2] + 1);
            break;
        }
    }
    h225(true, bad, 40014);
    EXPECT_EQ(rules(), 0);

    // An ip6Address in the channel is not followed.
    h225(true, q, 40016);
    answer(40016);
    Bytes olc = h323_test::h245_olc(kCallerMedia);
    h245(true, olc);
    h323_test::Per ack;
    ack.bits(0, 1).bits(1, 2).bits(0, 1).bits(5, 5).bits(1, 1).bits(0, 1).u16(0);
    ack.extensions({false, true});
    h323_test::Per params;
    params.bits(0, 1).bits(0, 1).bits(0b00100, 5);
    params.bits(0, 1).bits(0, 1).bits(0, 1).bits(2, 3).bits(0, 1);  // iP6Address
    params.bytes(Bytes(16, 0xfe)).u16(30000);
    ack.open(params);
    h245(false, ack.data());
    EXPECT_EQ(copy_classes().size(), 2u);
    EXPECT_EQ(rules(), 2);

    // Every prefix of the messages: nothing is read past the frame's end.
    h323_test::Per fast;
    h323_test::olc(fast, kCallerMedia, &kCalleeMedia);
    const std::vector<Bytes> messages = {
        setup(&kControl, {fast.data()}),
        h323_test::q931(h323_test::kConnectType,
                        h323_test::user_information(Uuie::kConnect, &kControl, {},
                                                    {olc, h323_test::h245_olc_ack(kCalleeMedia)}))};
    for (const Bytes &m : messages) {
        for (size_t n = 4; n < m.size(); n++) {
            Bytes cut(m.begin(), m.begin() + static_cast<long>(n));
            cut[2] = static_cast<uint8_t>(n >> 8);
            cut[3] = static_cast<uint8_t>(n);
            h225(true, cut, static_cast<uint16_t>(50000 + n % 200));
            h245(false,
                 Bytes(olc.begin(), olc.begin() + static_cast<long>(std::min(n, olc.size()))));
        }
    }
}

TEST_F(voip_h323, OnlyH225MessagesMakeCallsAndAFullListSaysSoOnce) {
    ASSERT_EQ(logger_init(), 0);
    // Junk from many connections: not Q.931, or Q.931 without an H.225.0
    // message in it, or a ReleaseComplete for no call.
    Bytes junk = setup(&kControl);
    junk[4] = 9;
    Bytes cut = h323_test::user_information(Uuie::kSetup, &kControl);
    cut.resize(2);
    const Bytes undecodable = h323_test::q931(h323_test::kSetupType, cut);
    for (int i = 0; i < 300; i++) {
        const uint8_t from[4] = {10, 1, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
        const auto port = static_cast<uint16_t>(10000 + i);
        deliver(frame(6, from, kCallee, port, 1720,
                      i % 3 == 0   ? junk
                      : i % 3 == 1 ? undecodable
                                   : release()));
    }
    EXPECT_EQ(sal_alloc_bytes_in_use("H323"), 0u);

    // A call after the junk gets its media rules.
    port_up();
    fast_start_call();
    EXPECT_EQ(rules(), 2);
    EXPECT_EQ(hits(rtp_to(kCalleeMedia)), 1u);
    h225(true, release());

    // Calls are bounded; answered calls holding no rule make room for new
    // ones as unanswered ones do, and a burst of that is logged once.
    auto full_lines = [] { return feature_test::log_lines("too many calls"); };
    const int before = full_lines();
    size_t held = 0;
    for (int i = 0; i < 300; i++) {
        if (i == 280) held = sal_alloc_bytes_in_use("H323");
        const auto port = static_cast<uint16_t>(10000 + i);
        h225(true, setup(nullptr), port);
        answer(port);
    }
    EXPECT_GT(held, 0u);
    EXPECT_EQ(sal_alloc_bytes_in_use("H323"), held);
    EXPECT_EQ(full_lines(), before + 1);
    // A connection reset frees its call.
    Bytes rst = frame(6, kCaller, kCallee, 10299, 1720, {});
    rst[kTcpFlags] = 0x04;
    deliver(rst);
    EXPECT_LT(sal_alloc_bytes_in_use("H323"), held);
    h225(true, setup(&kControl), 20000);
    answer(20000);
    EXPECT_EQ(rules(), 2);
    h225(true, setup(nullptr), 20002);
    EXPECT_EQ(full_lines(), before + 1);
}

TEST_F(voip_h323, UnansweredSetupsHoldNoRulesAndLeaveRoomForCalls) {
    ASSERT_EQ(logger_init(), 0);
    port_up();
    // Setups with an H.245 address from many address and port pairs, never
    // answered: no rule, no failure logged, and the list makes room.
    auto evicted = [] {
        return feature_test::log_lines("port 1's oldest waiting ones no longer followed");
    };
    const int said = evicted();
    for (int i = 0; i < 300; i++) {
        const uint8_t from[4] = {10, 2, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
        deliver(frame(6, from, kCallee, static_cast<uint16_t>(20000 + i), 1720, setup(&kControl)));
    }
    EXPECT_EQ(rules(), 0);
    EXPECT_EQ(feature_test::log_lines("Create FP entries"), 0);
    EXPECT_EQ(evicted(), said + 1);

    // A real call still gets its control rules, then its media rules.
    h225(true, setup(&kControl));
    answer();
    EXPECT_EQ(copy_classes().size(), 2u);
    h245(true, h323_test::h245_olc(kCallerMedia));
    h245(false, h323_test::h245_olc_ack(kCalleeMedia));
    EXPECT_EQ(rules(), 2);
    EXPECT_EQ(hits(rtp_to(kCalleeMedia)), 1u);
    h225(true, release());

    // Answers forged for every Setup, from eight ports: calls being set up
    // hold only their share of rows, and the failures beyond it are logged
    // once, and once for each of the first four other ports.
    for (int i = 0; i < 100; i++) {
        const uint8_t from[4] = {10, 3, 0, static_cast<uint8_t>(i)};
        const auto port = static_cast<uint16_t>(30000 + i);
        const Address control = {{10, 3, 0, static_cast<uint8_t>(i)}, 6000};
        deliver(frame(6, from, kCallee, port, 1720, setup(&control)), 1 + i % 8);
        deliver(frame(6, kCallee, from, 1720, port,
                      h323_test::q931(h323_test::kConnectType,
                                      h323_test::user_information(Uuie::kConnect))),
                1 + i % 8);
    }
    int calls = 0, setup_entries = 0;
    voip_call_entry_count_get(&calls, &setup_entries);
    EXPECT_EQ(setup_entries, VOIP_SETUP_ENTRIES);
    EXPECT_EQ(calls, VOIP_SETUP_ENTRIES);
    EXPECT_EQ(rules(), VOIP_SETUP_ENTRIES);
    EXPECT_EQ(feature_test::log_lines("Create FP entries for H245"), 1 + 4);
    // A fastStart call is not held up by them.
    fast_start_call(40100);
    EXPECT_EQ(rules(), VOIP_SETUP_ENTRIES + 2);
    EXPECT_EQ(hits(rtp_to(kCalleeMedia)), 1u);
}

// Answered calls from one caller's port that never open their media hold
// only that port's share of the set-up rows; the others are there for
// callers on other ports, and a call that ends gives its rows back at once.
TEST_F(voip_h323, AnsweredCallsOfOneCallerHoldOnlyItsShareOfTheSetupRows) {
    for (int i = 0; i < 8; i++) {
        const auto port = static_cast<uint16_t>(40100 + i);
        const Address control = {{10, 0, 0, 2}, static_cast<uint16_t>(6000 + i)};
        h225(true, setup(&control), port);
        answer(port);
    }
    int calls = 0, setup_rows = 0;
    voip_call_entry_count_get(&calls, &setup_rows);
    EXPECT_EQ(setup_rows, VOIP_PORT_SETUP_ENTRIES);
    const uint8_t other[4] = {10, 0, 0, 5};
    deliver(frame(6, other, kCallee, 40000, 1720, setup(&kControl)), 5);
    deliver(frame(
        6, kCallee, other, 1720, 40000,
        h323_test::q931(h323_test::kConnectType, h323_test::user_information(Uuie::kConnect))));
    voip_call_entry_count_get(&calls, &setup_rows);
    EXPECT_EQ(setup_rows, VOIP_PORT_SETUP_ENTRIES + 2) << "another caller's call";
    h225(true, release(), 40100);
    voip_call_entry_count_get(&calls, &setup_rows);
    EXPECT_EQ(setup_rows, VOIP_PORT_SETUP_ENTRIES);
    const Address late = {{10, 0, 0, 2}, 6100};
    h225(true, setup(&late), 40200);
    answer(40200);
    voip_call_entry_count_get(&calls, &setup_rows);
    EXPECT_EQ(setup_rows, VOIP_PORT_SETUP_ENTRIES + 2);
    EXPECT_EQ(copy_classes().size(), static_cast<size_t>(VOIP_PORT_SETUP_ENTRIES + 2));
}

TEST_F(voip_h323, CallsWithoutSignallingOrMediaAreAged) {
    sal_clock_manual(1000000);
    port_up();
    auto after = [](int seconds) {
        sal_clock_advance(static_cast<uint64_t>(seconds) * 1000000);
        // Any segment on the port looks for idle calls.
        const uint8_t other[4] = {10, 9, 9, 9};
        deliver(frame(6, other, kCallee, 33333, 1720, {}));
    };
    // A call with its control connection: kept while that carries segments.
    h225(true, setup(&kControl));
    answer();
    EXPECT_EQ(rules(), 2);
    after(200);
    h245(true, Bytes{});
    after(200);
    EXPECT_EQ(rules(), 2);
    after(301);
    EXPECT_EQ(rules(), 0);
    EXPECT_EQ(sal_alloc_bytes_in_use("H323"), 0u);

    // A call in its media: kept while they flow, however quiet its signalling.
    fast_start_call(40020);
    EXPECT_EQ(rules(), 2);
    for (int i = 0; i < 3; i++) {
        after(200);
        EXPECT_EQ(hits(rtp_to(kCallerMedia)), 1u);
    }
    after(200);
    EXPECT_EQ(rules(), 2);
    after(301);
    EXPECT_EQ(rules(), 0);
    EXPECT_EQ(sal_alloc_bytes_in_use("H323"), 0u);
    sal_clock_real();
}

}  // namespace
