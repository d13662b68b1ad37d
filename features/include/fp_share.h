// The field processor's rows as the features share them. DoS prevention and
// ARP inspection protect every port, so FP_ROWS_PROTECTED rows stay theirs:
// Auto VoIP's rules, which snooped calls multiply, and QoS rules, as many as
// the administrator lists, together hold at most the others.
#pragma once

constexpr int FP_ROWS = 128;
constexpr int FP_ROWS_PROTECTED = 48;
constexpr const char *FP_ROWS_KEPT_TEXT =
    "The field processor's remaining rows are kept for DoS prevention and ARP inspection";

// Whether Auto VoIP and QoS, holding `held` rows together, may take `more`.
constexpr bool fp_rows_shared_room(int held, int more) {
    return held + more <= FP_ROWS - FP_ROWS_PROTECTED;
}

// Rows held without taking the managers' locks (their rules are made under
// them, and a rule maker of one holds the unit lock, which comes later).
int voip_rows_held(void);
int qosmgr_rows_held(void);
