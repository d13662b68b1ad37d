// State and helpers the field-processor command's parts share.
#pragma once

#include "diag_shell.h"
#include "dxp_types.h"

namespace fp_cmd {

// One instance serves every unit for the life of the monitor.
struct State {
    dxp_field_qset_t qset;
    dxp_field_udf_spec_t udf;
    int udf_id;
};
State &state();

// Prints the okay line (rv 0) or the failure line; CMD_OK or CMD_FAIL.
int report(const char *api, int unit, int rv);
// The next word as an integer; false when there is none.
bool next_int(args_t *a, int *value);

// An enumeration's names by value, with the prefix of their long forms.
struct NameTable {
    const char *const *names;
    int count;
    const char *prefix;
};
extern const NameTable kStages;
extern const NameTable kIpTypes;
// The index the text names (short or long form, any case); count when none.
int lookup(const NameTable &t, const char *text);
// A number, or a name looked up in t.
int number_or_name(const NameTable &t, const char *text);
// The short name of a value; "??" outside the table.
const char *name_of(const NameTable &t, int value);

// The qualifier, action and group-mode vocabularies are the parse library's;
// these write their short names (DIAG_FIELD_NAME_BUF bytes), "??" outside.
void qualifier_name(char *buf, int q);
void action_name(char *buf, int action);
void group_mode_name(char *buf, int mode);

int qual(int unit, args_t *a);
int qset(int unit, args_t *a);
int user(int unit, args_t *a);
int action(int unit, args_t *a);
int counter(int unit, args_t *a);
int meter(int unit, args_t *a);
int range(int unit, args_t *a);

}  // namespace fp_cmd
