// Automatic DoS-attack prevention: eleven attack types, some switched on for
// all ports by chip switch controls, smurf and the two floods per port by
// field-processor rules (a drop rule, metered rules that drop out-of-profile
// traffic).
#pragma once

#include "serialize.h"

enum dos_attack_type {
    DOS_ATTACK_LAND = 0,       // source IP equal to destination IP
    DOS_ATTACK_BLAT = 1,       // equal TCP source and destination ports
    DOS_ATTACK_NULL_SCAN = 2,  // 2, 7, 8 and 9 share one switch control
    DOS_ATTACK_SMURF = 3,
    DOS_ATTACK_ICMP = 4,  // recorded only
    DOS_ATTACK_PING_FLOOD = 5,
    DOS_ATTACK_SYN_FLOOD = 6,
    DOS_ATTACK_SYN_FIN = 7,
    DOS_ATTACK_XMAS_SCAN = 8,
    DOS_ATTACK_SYN_SPORT = 9,  // SYN from a source port below 1024
    DOS_ATTACK_NONE = 10,      // accepted, does nothing
    DOS_ATTACK_TYPES = 11,
};

// The flood rate of the first port set, kbit/s; other rates form the second.
constexpr int DOS_FLOOD_RATE = 64;

int dos_init(void);  // 0
// user port 1..N or -1 for all ports; the rate counts for the floods only
// (64 to 1048576 kbit/s). 0, -4 for a bad port, type or rate (nothing
// changes), or the switch error of a rule that could not be built (the
// request is recorded all the same).
int dos_attack_set(int uport, int type, int enable, int rate);
// Port -1 reads user port 1; an unknown type or port gives 0 and 0.
void dos_attack_get(int uport, int type, int *enabled, int *rate);
void dos_attack_reset(void);  // every type off on every port
int dos_group_get(void);      // the field group of the latest rule, 0 before any

// The "dos" settings item.
int dos_item(int op, settings_medium *m);
