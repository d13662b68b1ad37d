// libFuzzer target: the H.323 snooper's receive path (TCP segments of call
// signalling and of H.245 connections, split and merged as the input says)
// and the PER decoder on both message trees. The rule pairs are counted by a
// stand-in for the field processor, which must see every pair it installed
// removed again once the calls are cleared.
//
// Input: records {control, length, bytes}. Control bit 0: from the callee;
// bit 1: an H.245 segment (its port follows in two bytes); bit 2: FIN;
// bits 3-4: 0 a segment, 1 the bytes patched into a whole message before
// they are sent, 2 and 3 the bytes decoded alone as H.225.0 or H.245.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../src/voip_h323_asn.h"
#include "../src/voip_internal.h"
#include "logger.h"

namespace {

int installed = 0;
int next_id = 1;

// Messages the patching mode starts from: a Setup with an H.245 address and
// fastStart, a Connect with tunnelled OpenLogicalChannel and Ack, and an
// Ack on the H.245 connection.
const uint8_t kSetup[] = {
    0x03, 0x00, 0x00, 0x6e, 0x08, 0x02, 0x12, 0x34, 0x05, 0xa1, 0x04, 0x03, 0x80, 0x90, 0xa2, 0x7e,
    0x00, 0x5c, 0x05, 0x00, 0xc0, 0x06, 0x00, 0x08, 0x91, 0x4a, 0x00, 0x04, 0x00, 0x0a, 0x00, 0x00,
    0x02, 0x13, 0x88, 0x00, 0x00, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a,
    0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x00, 0x31, 0x10, 0x11, 0x00, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a,
    0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x23, 0x01, 0x21, 0x40, 0x00, 0x00,
    0x0c, 0x60, 0x13, 0x80, 0x0a, 0x10, 0x00, 0x01, 0x00, 0x0a, 0x00, 0x00, 0x01, 0x4e, 0x20, 0x4c,
    0x60, 0x13, 0x80, 0x0a, 0x10, 0x00, 0x01, 0x00, 0x0a, 0x00, 0x00, 0x01, 0x4e, 0x20};
const uint8_t kConnect[] = {
    0x03, 0x00, 0x00, 0x60, 0x08, 0x02, 0x12, 0x34, 0x07, 0xa1, 0x04, 0x03, 0x80, 0x90, 0xa2, 0x7e,
    0x00, 0x4e, 0x05, 0x22, 0x40, 0x06, 0x00, 0x08, 0x91, 0x4a, 0x00, 0x04, 0x00, 0x0a, 0x00, 0x00,
    0x02, 0x13, 0x88, 0x00, 0x00, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x5a,
    0x5a, 0x5a, 0x5a, 0x5a, 0x5a, 0x04, 0xc0, 0x01, 0x80, 0x26, 0x02, 0x13, 0x03, 0x00, 0x00, 0x00,
    0x0c, 0x60, 0x13, 0x80, 0x0a, 0x10, 0x00, 0x01, 0x00, 0x0a, 0x00, 0x00, 0x01, 0x4e, 0x20, 0x10,
    0x22, 0xc0, 0x00, 0x00, 0x02, 0x80, 0x09, 0x18, 0x00, 0x00, 0x0a, 0x00, 0x00, 0x02, 0x75, 0x30};
const uint8_t kAck[] = {0x03, 0x00, 0x00, 0x14, 0x22, 0xc0, 0x00, 0x00, 0x02, 0x80,
                        0x09, 0x18, 0x00, 0x00, 0x0a, 0x00, 0x00, 0x02, 0x75, 0x30};
const uint8_t *const kTemplates[] = {kSetup, kConnect, kAck};
const size_t kTemplateSizes[] = {sizeof kSetup, sizeof kConnect, sizeof kAck};

const uint8_t kCaller[4] = {10, 0, 0, 1}, kCallee[4] = {10, 0, 0, 2};

void segment(bool from_callee, uint16_t h245_port, bool fin, const uint8_t *payload, size_t n) {
    std::vector<uint8_t> ip(40 + n + 4, 0);
    const size_t total = 40 + n;
    ip[0] = 0x45;
    ip[2] = uint8_t(total >> 8);
    ip[3] = uint8_t(total);
    ip[9] = 6;
    std::memcpy(&ip[12], from_callee ? kCallee : kCaller, 4);
    std::memcpy(&ip[16], from_callee ? kCaller : kCallee, 4);
    const uint16_t near = h245_port != 0 ? 41000 : 40000, far = h245_port != 0 ? h245_port : 1720;
    const uint16_t sport = from_callee ? far : near, dport = from_callee ? near : far;
    ip[20] = uint8_t(sport >> 8);
    ip[21] = uint8_t(sport);
    ip[22] = uint8_t(dport >> 8);
    ip[23] = uint8_t(dport);
    ip[32] = 0x50;
    ip[33] = fin ? 0x11 : 0x18;
    if (n > 0) std::memcpy(&ip[40], payload, n);
    const int len = static_cast<int>(ip.size());
    if (h245_port != 0)
        h245_rx(ip.data(), len);
    else
        h225_rx(ip.data(), len);
}

}  // namespace

int voip_rx_port(void) {
    return 1;
}

uint64_t voip_rx_dest_station(void) {
    return 0;
}

int voip_rule_pair_install(int ids[2], const voip_rule rules[2], const int ports[2]) {
    (void)rules;
    (void)ports;
    for (int i = 0; i < 2; i++) {
        if (ids[i] != 0) continue;
        ids[i] = next_id++;
        installed++;
    }
    return 0;
}

int voip_rule_pair_remove(int ids[2]) {
    for (int i = 0; i < 2; i++) {
        if (ids[i] == 0) continue;
        ids[i] = 0;
        installed--;
    }
    return 0;
}

uint32_t voip_idle_now(void) {
    return 0;
}

bool voip_call_idle(voip_life *, const int *, uint32_t) {
    return false;
}

voip_rule voip_rule_mirror(const voip_rule &r) {
    return r;
}

int logger_printf(int, int, const char *, ...) {
    return 0;
}

int log_gate_puts(log_gate *, log_source, int, int, const char *) {
    return 0;
}

int log_gate_printf(log_gate *, log_source, int, int, const char *, ...) {
    return 0;
}

void log_gate_flush(log_gate *) {}

void voip_failure_log(log_gate *, const char *) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    size_t at = 0;
    while (size - at >= 2) {
        const uint8_t control = data[at];
        size_t n = data[at + 1];
        at += 2;
        uint16_t h245_port = 0;
        if ((control & 2) && size - at >= 2) {
            h245_port = static_cast<uint16_t>(data[at] << 8 | data[at + 1]);
            at += 2;
        }
        if (n > size - at) n = size - at;
        const uint8_t *bytes = data + at;
        at += n;
        const bool from_callee = control & 1, fin = control & 4;
        switch ((control >> 3) & 3) {
            case 0:
                segment(from_callee, h245_port, fin, bytes, n);
                break;
            case 1: {
                // A whole message with a few bytes changed and maybe cut:
                // {template, cut length, then (position, value) pairs}.
                if (n < 2) break;
                const size_t t = bytes[0] % 3;
                std::vector<uint8_t> m(kTemplates[t], kTemplates[t] + kTemplateSizes[t]);
                if (bytes[1] != 0 && bytes[1] < m.size()) m.resize(bytes[1]);
                for (size_t i = 2; i + 1 < n; i += 2)
                    m[bytes[i] % m.size()] = bytes[i + 1];
                segment(from_callee, t == 2 ? 5000 : h245_port, fin, m.data(), m.size());
                break;
            }
            case 2: {
                h225_message out{};
                per_decode(&h225_user_information, bytes, n, &out);
                break;
            }
            default: {
                h245_message out{};
                per_decode(&h245_control_message, bytes, n, &out);
                break;
            }
        }
    }
    h323_calls_clear();
    if (installed != 0) std::abort();  // a rule pair outlived its call
    return 0;
}
