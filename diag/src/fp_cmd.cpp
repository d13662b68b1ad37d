// FieldProcessor: the monitor's window on the field-processor API. Each
// sub-command is one API call whose outcome is printed; this file holds the
// dispatcher, the module, group and entry sub-commands and the helpers the
// qualifier and action parts share.
#include "fp_cmd.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "diag_parse.h"
#include "dxp.h"
#include "dxp_error.h"
#include "feature_cmds.h"
#include "sal.h"
#include "shell_cmds.h"

namespace fp_cmd {

using feature_cmds::word_is;

namespace {

constexpr const char *kStageNames[] = {"First", "IngressEarly", "IngressLate", "Default", "Last"};
constexpr const char *kControlNames[] = {"Stage", "ColorIndependent", "Tivra0", "Tivra1", "Tivra2"};
constexpr const char *kIpTypeNames[] = {"Any",          "NonIp",   "Ipv4Not", "Ipv4NoOpts",
                                        "Ipv4WithOpts", "Ipv4Any", "Ipv6Not", "Ipv6",
                                        "Ip",           "ARP/RARP"};
constexpr NameTable kControls{kControlNames, static_cast<int>(std::size(kControlNames)),
                              "dxpFieldControl"};

// Only these controls reach the API; the others are reported and skipped.
constexpr int kControlStage = 0;
constexpr int kControlColorIndependent = 1;

// Entry priorities named by word.
constexpr int kPrioHighest = -1;
constexpr int kPrioDontCare = -2;
constexpr int kPrioLowest = -3;

// Removes the long-form prefix a formatted name starts with.
void strip_prefix(char *buf, const char *prefix) {
    size_t n = std::strlen(prefix);
    if (std::strncmp(buf, prefix, n) == 0) std::memmove(buf, buf + n, std::strlen(buf + n) + 1);
}

// A name the parse library formats, short, or "??" when it is out of range.
void short_name(char *buf, int value, int count, void (*format)(char *, int), const char *prefix) {
    if (value < 0 || value >= count) {
        std::snprintf(buf, DIAG_FIELD_NAME_BUF, "??");
        return;
    }
    format(buf, value);
    strip_prefix(buf, prefix);
}

// The okay line and one more with the id, or the failure line.
int okay_if(const char *api, int unit, int rv, const int *id, const char *fmt) {
    if (report(api, unit, rv) != CMD_OK) return CMD_FAIL;
    sal_printf(fmt, *id);
    return CMD_OK;
}

void print_qset(const dxp_field_qset_t &q) {
    char buf[2048];
    format_field_qset(buf, sizeof buf, q);
    sal_printf("qset=%s\n", buf);
}

// ---------------------------------------------------------------- module
int control(int unit, args_t *a) {
    const char *word = ARG_GET(a);
    if (word == nullptr) return CMD_USAGE;
    int ctrl = number_or_name(kControls, word);
    if (!parse_is_integer(word) && ctrl == kControls.count) {
        sal_printf("Unknown control: %s\n", word);
        return CMD_FAIL;
    }
    if (static_cast<unsigned>(ctrl) > kControlColorIndependent) {
        sal_printf("Control %d unknown\n", ctrl);
        return CMD_OK;
    }
    const char *value = ARG_GET(a);
    if (value == nullptr) {
        int status = 0;
        int rv = dxp_field_control_get(unit, ctrl, &status);
        if (report("dxp_field_control_get", unit, rv) != CMD_OK) return CMD_FAIL;
        sal_printf("FP element=%d: status=%d\n", ctrl, status);
        return CMD_OK;
    }
    int status = 0;
    if (ctrl == kControlStage) {
        status = number_or_name(kStages, value);
        if (!parse_is_integer(value) && status == kStages.count) {
            sal_printf("Unknown stage: %s\n", value);
            return CMD_FAIL;
        }
    } else {
        status = parse_integer(value);
    }
    return report("dxp_field_control_set", unit, dxp_field_control_set(unit, ctrl, status));
}

int status(int unit) {
    dxp_field_status_t st{};
    int rv = dxp_field_status_get(unit, &st);
    if (report("dxp_field_status_get", unit, rv) != CMD_OK) return CMD_FAIL;
    sal_printf("field_status={group_total=%d, group_free=%d, flags=0x%x}\n", st.group_total,
               st.group_free, static_cast<unsigned>(st.flags));
    return CMD_OK;
}

int init(int unit) {
    int rv = dxp_field_init(unit);
    if (report("dxp_field_init", unit, rv) != CMD_OK) return CMD_FAIL;
    state().qset = dxp_field_qset_t{};
    return CMD_OK;
}

// ---------------------------------------------------------------- groups
int group_create(int unit, args_t *a) {
    int pri = 0, gid = 0;
    if (!next_int(a, &pri)) return CMD_USAGE;
    const dxp_field_qset_t &q = state().qset;
    int rv = 0;
    const char *api = nullptr;
    if (!next_int(a, &gid)) {
        api = "dxp_field_group_create";
        rv = dxp_field_group_create(unit, q, pri, &gid);
    } else if (const char *word = ARG_GET(a); word == nullptr) {
        api = "dxp_field_group_create_id";
        rv = dxp_field_group_create_id(unit, q, pri, gid);
    } else {
        int mode = parse_is_integer(word) ? parse_integer(word) : parse_field_group_mode(word);
        if (!parse_is_integer(word) && mode == DIAG_FIELD_GROUP_MODE_COUNT) {
            sal_printf("Unknown mode: %s\n", word);
            return CMD_FAIL;
        }
        api = "dxp_field_group_create_mode_id";
        rv = dxp_field_group_create_mode_id(unit, q, pri, mode, gid);
    }
    if (report(api, unit, rv) != CMD_OK) return CMD_FAIL;
    sal_printf("GID %d created!\n", gid);
    return CMD_OK;
}

void print_group_status(const dxp_field_group_status_t &s) {
    sal_printf("group_status={\t");
    sal_printf("prio_min=%d,       \t", s.prio_min);
    sal_printf("prio_max=%d,       \t", s.prio_max);
    sal_printf("entries_total=%d,\t", s.entries_total);
    sal_printf("entries_free=%d,\n\t\t", s.entries_free);
    sal_printf("counters_total=%d,\t", s.counters_total);
    sal_printf("counters_free=%d,\t", s.counters_free);
    sal_printf("meters_total=%d,\t", s.meters_total);
    sal_printf("meters_free=%d", s.meters_free);
    sal_printf("}\n");
}

int group_lookup(int unit, int gid, args_t *a) {
    const char *word = ARG_GET(a);
    if (word == nullptr) {
        int enable = 0;
        int rv = dxp_field_group_enable_get(unit, gid, &enable);
        if (report("dxp_field_group_enable_get", unit, rv) != CMD_OK) return CMD_FAIL;
        sal_printf("GID %d: lookup=%s\n", gid, enable ? "Enabled" : "Disabled");
        return CMD_OK;
    }
    int enable = word_is(word, "enable") ? 1 : word_is(word, "disable") ? 0 : -1;
    if (enable < 0) return CMD_USAGE;
    return report("dxp_field_group_enable_set", unit,
                  dxp_field_group_enable_set(unit, gid, enable));
}

int group(int unit, args_t *a) {
    const char *sub = ARG_GET(a);
    if (word_is(sub, "create")) return group_create(unit, a);
    int gid = 0;
    bool known = word_is(sub, "destroy") || word_is(sub, "get") || word_is(sub, "set") ||
                 word_is(sub, "status") || word_is(sub, "mode") || word_is(sub, "lookup");
    if (!known || !next_int(a, &gid)) return CMD_USAGE;
    if (word_is(sub, "destroy"))
        return report("dxp_field_group_destroy", unit, dxp_field_group_destroy(unit, gid));
    if (word_is(sub, "set"))
        return report("dxp_field_group_set", unit, dxp_field_group_set(unit, gid, state().qset));
    if (word_is(sub, "lookup")) return group_lookup(unit, gid, a);
    if (word_is(sub, "get")) {
        dxp_field_qset_t q{};
        int rv = dxp_field_group_get(unit, gid, &q);
        if (report("dxp_field_group_get", unit, rv) != CMD_OK) return CMD_FAIL;
        print_qset(q);
        return CMD_OK;
    }
    if (word_is(sub, "status")) {
        dxp_field_group_status_t st{};
        int rv = dxp_field_group_status_get(unit, gid, &st);
        if (rv >= 0) print_group_status(st);
        return report("dxp_field_group_status_get", unit, rv);
    }
    int mode = 0;
    int rv = dxp_field_group_mode_get(unit, gid, &mode);
    if (rv == 0) {
        char name[DIAG_FIELD_NAME_BUF];
        group_mode_name(name, mode);
        sal_printf("group mode=%s\n", name);
    }
    return report("dxp_field_group_mode_get", unit, rv);
}

// ---------------------------------------------------------------- entries
int entry_install(int unit, args_t *a) {
    int eid = 0;
    if (!next_int(a, &eid)) return CMD_USAGE;
    int rv = dxp_field_entry_install(unit, eid);
    sal_printf("dxp_field_entry_install(unit=%d, entry=%d) ", unit, eid);
    if (rv == 0) {
        sal_printf("okay\n");
        return CMD_OK;
    }
    sal_printf("failed: %s\n", dxp_errmsg(rv));
    return CMD_FAIL;
}

int entry_prio(int unit, int eid, args_t *a) {
    const char *word = ARG_GET(a);
    if (word == nullptr) {
        int prio = 0;
        int rv = dxp_field_entry_prio_get(unit, eid, &prio);
        if (report("dxp_field_entry_prio_get", unit, rv) != CMD_OK) return CMD_FAIL;
        sal_printf("FP entry=%d: prio=%d\n", eid, prio);
        return CMD_OK;
    }
    int prio = 0;
    if (parse_is_integer(word))
        prio = parse_integer(word);
    else if (word_is(word, "highest"))
        prio = kPrioHighest;
    else if (word_is(word, "lowest"))
        prio = kPrioLowest;
    else if (word_is(word, "dontcare") || word_is(word, "default"))
        prio = kPrioDontCare;
    else
        return CMD_USAGE;
    return report("dxp_field_entry_prio_set", unit, dxp_field_entry_prio_set(unit, eid, prio));
}

int entry(int unit, args_t *a) {
    const char *sub = ARG_GET(a);
    if (word_is(sub, "install")) return entry_install(unit, a);
    int id = 0, second = 0;
    if (word_is(sub, "destroy")) {
        if (!next_int(a, &id))
            return report("dxp_field_entry_destroy_all", unit, dxp_field_entry_destroy_all(unit));
        return report("dxp_field_entry_destroy", unit, dxp_field_entry_destroy(unit, id));
    }
    bool known = word_is(sub, "create") || word_is(sub, "copy") || word_is(sub, "reinstall") ||
                 word_is(sub, "remove") || word_is(sub, "prio");
    if (!known || !next_int(a, &id)) return CMD_USAGE;
    if (word_is(sub, "reinstall"))
        return report("dxp_field_entry_reinstall", unit, dxp_field_entry_reinstall(unit, id));
    if (word_is(sub, "remove"))
        return report("dxp_field_entry_remove", unit, dxp_field_entry_remove(unit, id));
    if (word_is(sub, "prio")) return entry_prio(unit, id, a);
    const char *fmt = "EID %d created!\n";
    if (word_is(sub, "create")) {
        if (next_int(a, &second))
            return okay_if("dxp_field_entry_create_id", unit,
                           dxp_field_entry_create_id(unit, id, second), &second, fmt);
        return okay_if("dxp_field_entry_create", unit, dxp_field_entry_create(unit, id, &second),
                       &second, fmt);
    }
    if (next_int(a, &second))
        return report("dxp_field_entry_copy_id", unit, dxp_field_entry_copy_id(unit, id, second));
    return okay_if("dxp_field_entry_copy", unit, dxp_field_entry_copy(unit, id, &second), &second,
                   fmt);
}

}  // namespace

const NameTable kStages{kStageNames, static_cast<int>(std::size(kStageNames)), "dxpFieldStage"};
const NameTable kIpTypes{kIpTypeNames, static_cast<int>(std::size(kIpTypeNames)), "dxpFieldIpType"};

State &state() {
    static State s{};
    return s;
}

int report(const char *api, int unit, int rv) {
    if (rv == 0) {
        sal_printf("%s(unit=%d) okay\n", api, unit);
        return CMD_OK;
    }
    sal_printf("%s() failed: %s\n", api, feature_cmds::errmsg(rv));
    return CMD_FAIL;
}

bool next_int(args_t *a, int *value) {
    const char *word = ARG_GET(a);
    if (word == nullptr) return false;
    *value = parse_integer(word);
    return true;
}

int lookup(const NameTable &t, const char *text) {
    if (text == nullptr) return t.count;
    for (int i = 0; i < t.count; i++) {
        char name[256];
        if (sal_strcasecmp(text, t.names[i]) == 0) return i;
        std::snprintf(name, sizeof name, "%s%s", t.prefix, t.names[i]);
        if (sal_strcasecmp(text, name) == 0) return i;
    }
    return t.count;
}

int number_or_name(const NameTable &t, const char *text) {
    return parse_is_integer(text) ? parse_integer(text) : lookup(t, text);
}

const char *name_of(const NameTable &t, int value) {
    return value >= 0 && value < t.count ? t.names[value] : "??";
}

void qualifier_name(char *buf, int q) {
    short_name(
        buf, q, DIAG_FIELD_QUALIFY_COUNT, [](char *b, int v) { format_field_qualifier(b, v, 1); },
        "");
}

void action_name(char *buf, int action) {
    short_name(buf, action, DIAG_FIELD_ACTION_COUNT, format_field_action, "dxpFieldAction");
}

void group_mode_name(char *buf, int mode) {
    short_name(buf, mode, DIAG_FIELD_GROUP_MODE_COUNT, format_field_group_mode,
               "dxpFieldGroupMode");
}

}  // namespace fp_cmd

int cmd_fp(int unit, args_t *a) {
    using namespace fp_cmd;
    const char *sub = ARG_GET(a);
    if (word_is(sub, "action")) return action(unit, a);
    if (word_is(sub, "control")) return control(unit, a);
    if (word_is(sub, "counter")) return counter(unit, a);
    if (word_is(sub, "detach")) return report("dxp_field_detach", unit, dxp_field_detach(unit));
    if (word_is(sub, "entry")) return entry(unit, a);
    if (word_is(sub, "group")) return group(unit, a);
    if (word_is(sub, "init")) return init(unit);
    if (word_is(sub, "install")) return entry_install(unit, a);
    if (word_is(sub, "range")) return range(unit, a);
    if (word_is(sub, "meter")) return meter(unit, a);
    if (word_is(sub, "status")) return status(unit);
    if (word_is(sub, "qual")) return qual(unit, a);
    if (word_is(sub, "qset")) return qset(unit, a);
    if (word_is(sub, "user")) return user(unit, a);
    return CMD_USAGE;
}
