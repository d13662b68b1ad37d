// Auto VoIP: field-processor rules copy the signalling of SIP, MGCP, SCCP and
// H.323 to the CPU while the chip forwards it; the receive callout hands each
// copy to its protocol's snooper, which follows the calls and gives their
// voice streams the queue of internal priority 7 with per-call media rules.
// All rules share one field group and never exceed VOIP_MAX_ENTRIES.
#pragma once

#include <cstdint>

#include "dxp_types.h"
#include "sal.h"
#include "serialize.h"

constexpr int VOIP_MAX_ENTRIES = 128;
// The field processor has 128 rows for every feature. Calls' rules hold at
// most VOIP_CALL_ENTRIES of them (the signalling rules take 8 more), so
// snooped traffic never takes the rows DoS prevention, ARP inspection and
// QoS build on; calls not yet carrying media (their H.245 copy rules) hold
// at most VOIP_SETUP_ENTRIES of those.
constexpr int VOIP_CALL_ENTRIES = 48;
constexpr int VOIP_SETUP_ENTRIES = 16;
// Rows the calls charged to one front-panel port hold at most: a call is
// charged to the port of a phone it serves (where that phone's frames came
// in), never to the call server that signals every call, so one port, and
// any host on it whatever addresses it claims, cannot take Auto VoIP from
// the others. Four calls of two rules.
constexpr int VOIP_PORT_ENTRIES = 8;
// Of those, copy rules of its calls being set up: two calls.
constexpr int VOIP_PORT_SETUP_ENTRIES = 4;
// A call whose signalling and media rules showed no sign of life for this
// long is dropped with its rules: its ends went away without a goodbye
// crossing this switch, or it never was a call. Five minutes is above the
// longest quiet stretch of a live call setup, a callee ringing (Q.931 T301,
// at least three minutes); once the media rules are in place their hit
// counters show the call alive however quiet its signalling is.
constexpr uint32_t VOIP_IDLE_SECS = 300;
constexpr int VOIP_CALLOUT_PRIO = 200;
constexpr int VOIP_GROUP_PRIO = 3;
constexpr int VOIP_VOICE_PRIO = 7;
// The rank of Auto VoIP's rules among the chip's rows, which acts on the
// first rule a frame matches: below DoS prevention's (2 and 1) and ARP
// inspection's (highest), above QoS's (default), whatever was made first.
constexpr int VOIP_ENTRY_PRIO = 0;

// Signalling classes, also the class parameter of the copy rules.
enum voip_class {
    VOIP_CLASS_NONE = 0,
    VOIP_CLASS_SIP = 1,
    VOIP_CLASS_MGCP = 2,
    VOIP_CLASS_SCCP = 3,
    VOIP_CLASS_H323 = 4,
    VOIP_CLASS_H245 = 5,
};

// Two locks. voip_profile_lock() (recursive, "voip profile") makes one
// profile change at a time: the signalling rules and the callout's
// registration; it sits under the settings lock and over the receive
// thread's callout lock. The inner "voip" lock guards the profile, the entry
// count and the snoopers' call lists, which the callout uses on the receive
// thread; the callout is never (un)registered under it.
sal_mutex_t voip_profile_lock(void);

void voip_init(void);
// 0, or the error when the signalling rules could not be made; the state
// then stays as it was.
int voip_profile_set(int profile, int enable, int priority);
// Why the last refused switching on failed, as the administrator reads it.
const char *voip_profile_refusal(void);
void voip_profile_get(int profile, int *enable, int *priority);
void voip_entry_count_get(int *count);
void voip_entry_count_set(int count);
// The voice priority's rules (the signalling copies and every call's voice
// rules) take the queue the priority maps to now: after the priority map
// changed, live calls keep their priority. 0, or the first error.
int voip_queues_refresh(void);
// Entries held by the calls' rules, and by those of calls being set up.
void voip_call_entry_count_get(int *calls, int *setup);
int voip_group_get(void);  // -1 without a field processor

// The class of a TCP (6) or UDP (17) segment by its ports (two 16-bit words,
// source first, in host order).
int voip_classify(int ip_protocol, const uint16_t ports[2]);
// The receive callout: a tagged frame as the CPU port delivers it.
int voip_rx(int unit, dxp_pkt *pkt, void *cookie);
// The front-panel port the copy being handled came in on (0: not known);
// for a trunk's member, the trunk's lowest, as a call's party may use any
// member. Read by the snoopers under the callout's lock.
int voip_rx_port(void);
// Index 0 SIP, 1 MGCP, 2 SCCP, 3 H.323: copy rules for both directions.
int voip_signal_rules_set(int index, int port, int enable);
int voip_signal_enable(int enable);

// The snoopers. Lengths include the 4-byte frame check sequence; addresses
// are in network byte order as they stand in the frame.
int sip_parse(const uint8_t src_dst_ip[8], const uint8_t *payload, int length);
int mgcp_parse(const uint8_t src_dst_ip[8], const uint8_t *payload, int length);
int sccp_parse(const uint8_t *ip_header, int length);
// H.225.0 call signalling (TCP 1720) and the calls' H.245 connections: 0 when
// the segment belonged to a call, -1 when it was not followed.
int h225_rx(const uint8_t *ip_header, int length);
int h245_rx(const uint8_t *ip_header, int length);
// True when the port is the H.245 port of a known H.323 call.
bool h323_is_h245_port(uint16_t port);

// The "voip" settings item: enable and priority of profile 0.
int voip_item(int op, settings_medium *m);
