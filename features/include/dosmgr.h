// Automatic DoS-attack prevention: eleven attack types, some switched on for
// all ports by chip switch controls, smurf and the two floods per port by
// field-processor rules (a drop rule, metered rules that drop out-of-profile
// traffic).
#pragma once

#include "board.h"
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
// user port 1..N or -1 for all ports (a switch-control type acts on all
// ports whichever is named); the rate counts for the floods only
// (64 to 1048576 kbit/s). 0, -4 for a bad port, type or rate (nothing
// changes), or the switch error of a rule that could not be built (the
// request is recorded all the same).
int dos_attack_set(int uport, int type, int enable, int rate);
// The ports of the bitmap in one change: each rule type's rules are rebuilt
// once. A switch-control type given for some ports only is set on those
// ports' own controls (as the monitor sets them); for every port it is the
// type for all ports. Results as dos_attack_set.
int dos_attack_set_ports(const upbmp_t *uports, int type, int enable, int rate);
// One check of a per-port change.
struct dos_check {
    int type;  // a rule type: smurf, ping flood or SYN flood
    int enable;
    int rate;
};
// The checks for user port uport (or -1 for all ports) as one change: every
// check's new rules are made beside the installed ones before any of those
// goes, so a change that does not fit as a whole changes nothing, and
// *refused (when given) is the type whose rules did not fit. Results as
// dos_attack_set.
int dos_attack_set_checks(int uport, const dos_check *checks, int count, int *refused);
// The name of a rule type as the log and the pages say it.
const char *dos_attack_name(int type);
// Port -1 reads user port 1, but a switch-control type reads as on only
// where every port has it; an unknown type or port gives 0 and 0.
void dos_attack_get(int uport, int type, int *enabled, int *rate);
// On how many user ports the chip acts on a type.
enum dos_reach { DOS_REACH_NONE, DOS_REACH_SOME, DOS_REACH_ALL };
dos_reach dos_attack_reach(int type);
void dos_attack_reset(void);  // every type off on every port
int dos_group_get(void);      // the field group of the latest rule, 0 before any

// The "dos" settings item.
int dos_item(int op, settings_medium *m);
