// The field processor's rows as the features share them. DoS prevention and
// ARP inspection protect every port, so FP_ROWS_PROTECTED rows stay theirs:
// Auto VoIP's rules, which snooped calls multiply, and QoS rules, as many as
// the administrator lists, together hold at most the others.
#pragma once

constexpr int FP_ROWS = 128;
constexpr int FP_ROWS_PROTECTED = 48;
constexpr int FP_ROWS_SHARED = FP_ROWS - FP_ROWS_PROTECTED;
constexpr const char *FP_ROWS_KEPT_TEXT =
    "The field processor's remaining rows are kept for DoS prevention and ARP inspection";

// Takes n of the rows Auto VoIP and QoS share when they fit: the check and
// the take are one step, so two features cannot both take the last row.
// Without taking the managers' locks (their rules are made under them, and a
// rule maker of one holds the unit lock, which comes later).
bool fp_rows_shared_take(int n);
// Gives n taken rows back.
void fp_rows_shared_give(int n);
// The shared rows taken.
int fp_rows_shared_held(void);
