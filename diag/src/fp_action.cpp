// FieldProcessor action, counter, meter and range: what a field entry does
// and measures, and the layer-4 port ranges RangeCheck refers to.
#include <cstdint>

#include "diag_parse.h"
#include "dxp.h"
#include "feature_cmds.h"
#include "fp_cmd.h"
#include "sal.h"
#include "shell_cmds.h"

namespace fp_cmd {

using feature_cmds::word_is;

namespace {

constexpr int kMeterCommitted = 2;
constexpr int kMeterPeak = 1;
constexpr uint32_t kRangeSrcPort = 0x1;
constexpr uint32_t kRangeDstPort = 0x2;

// Drop-precedence colours; an unknown word passes as -1 for the API to judge.
int colour(const char *word) {
    if (parse_is_integer(word)) return parse_integer(word);
    const char *const names[] = {"preserve", "green", "yellow", "red"};
    for (int i = 0; i < 4; i++)
        if (word_is(word, names[i])) return i;
    return -1;
}

// The parameters of action add; CMD_USAGE when a word is missing.
int action_params(int unit, int act, args_t *a, int *p0, int *p1) {
    *p0 = 0;
    *p1 = 0;
    switch (act) {
        case dxpFieldActionRedirectPort:
        case dxpFieldActionMirrorIngress:
        case dxpFieldActionMirrorEgress: {
            const char *modid = ARG_GET(a), *port = ARG_GET(a);
            if (modid == nullptr || port == nullptr) return CMD_USAGE;
            *p0 = parse_integer(modid);
            if (parse_port(unit, port, p1) != 0) *p1 = 0;
            return CMD_OK;
        }
        case dxpFieldActionRedirectPbmp:
        case dxpFieldActionEgressMask: {
            const char *word = ARG_GET(a);
            if (word == nullptr) return CMD_USAGE;
            soc_pbmp_t pbmp{};
            if (parse_pbmp(unit, word, &pbmp) == 0) *p0 = static_cast<int>(pbmp.w[0]);
            return CMD_OK;
        }
        case dxpFieldActionDropPrecedence:
        case dxpFieldActionRpDropPrecedence:
        case dxpFieldActionYpDropPrecedence: {
            const char *word = ARG_GET(a);
            if (word == nullptr) return CMD_USAGE;
            *p0 = colour(word);
            return CMD_OK;
        }
        default:
            return next_int(a, p0) && next_int(a, p1) ? CMD_OK : CMD_USAGE;
    }
}

}  // namespace

int action(int unit, args_t *a) {
    const char *sub = ARG_GET(a);
    int eid = 0;
    if (!(word_is(sub, "add") || word_is(sub, "get") || word_is(sub, "remove")) ||
        !next_int(a, &eid))
        return CMD_USAGE;
    const char *word = ARG_GET(a);
    if (word == nullptr) {
        if (!word_is(sub, "remove")) return CMD_USAGE;
        return report("dxp_field_action_remove_all", unit, dxp_field_action_remove_all(unit, eid));
    }
    int act = parse_is_integer(word) ? parse_integer(word) : parse_field_action(word);
    if (!parse_is_integer(word) && act == DIAG_FIELD_ACTION_COUNT) {
        sal_printf("Unknown action: %s\n", word);
        return CMD_FAIL;
    }
    if (word_is(sub, "remove"))
        return report("dxp_field_action_remove", unit, dxp_field_action_remove(unit, eid, act));
    if (word_is(sub, "add")) {
        int p0 = 0, p1 = 0;
        if (int rv = action_params(unit, act, a, &p0, &p1); rv != CMD_OK) return rv;
        return report("dxp_field_action_add", unit,
                      dxp_field_action_add(unit, eid, act, static_cast<uint32_t>(p0),
                                           static_cast<uint32_t>(p1)));
    }
    uint32_t p0 = 0, p1 = 0;
    int rv = dxp_field_action_get(unit, eid, act, &p0, &p1);
    if (report("dxp_field_action_get", unit, rv) != CMD_OK) return CMD_FAIL;
    char name[DIAG_FIELD_NAME_BUF];
    action_name(name, act);
    sal_printf("FP action get: action=%s, p0=%d, p1=%d\n", name, static_cast<int>(p0),
               static_cast<int>(p1));
    return CMD_OK;
}

int counter(int unit, args_t *a) {
    const char *sub = ARG_GET(a);
    int eid = 0, num = 0;
    bool known = word_is(sub, "create") || word_is(sub, "destroy") || word_is(sub, "get") ||
                 word_is(sub, "set") || word_is(sub, "share");
    if (!known || !next_int(a, &eid)) return CMD_USAGE;
    if (word_is(sub, "create"))
        return report("dxp_field_counter_create", unit, dxp_field_counter_create(unit, eid));
    if (word_is(sub, "destroy"))
        return report("dxp_field_counter_destroy", unit, dxp_field_counter_destroy(unit, eid));
    if (!next_int(a, &num)) return CMD_USAGE;
    if (word_is(sub, "share"))
        return report("dxp_field_counter_share", unit, dxp_field_counter_share(unit, eid, num));
    if (word_is(sub, "set")) {
        const char *val = ARG_GET(a);
        if (val == nullptr) return CMD_USAGE;
        // The counter holds 32 bits: a value it cannot hold is refused, not cut.
        if (*val == '-' || !parse_integer_fits(val, 32)) {
            sal_printf("FP counter set: Error: value %s out of range (0-4294967295)\n", val);
            return CMD_FAIL;
        }
        return report("dxp_field_counter_set", unit,
                      dxp_field_counter_set(unit, eid, num, parse_uint64(val)));
    }
    uint64_t value = 0;
    int rv = dxp_field_counter_get(unit, eid, num, &value);
    if (report("dxp_field_counter_get", unit, rv) != CMD_OK) return CMD_FAIL;
    char buf[32];
    format_uint64_decimal(buf, value, 0);
    sal_printf("FP counter get: eid=%d, counter_num=%d, val=%s\n", eid, num, buf);
    return CMD_OK;
}

int meter(int unit, args_t *a) {
    const char *sub = ARG_GET(a);
    int eid = 0;
    bool known = word_is(sub, "create") || word_is(sub, "destroy") || word_is(sub, "getc") ||
                 word_is(sub, "getp") || word_is(sub, "setc") || word_is(sub, "setp") ||
                 word_is(sub, "share");
    if (!known || !next_int(a, &eid)) return CMD_USAGE;
    if (word_is(sub, "create"))
        return report("dxp_field_meter_create", unit, dxp_field_meter_create(unit, eid));
    if (word_is(sub, "destroy"))
        return report("dxp_field_meter_destroy", unit, dxp_field_meter_destroy(unit, eid));
    if (word_is(sub, "share")) {
        int dst = 0;
        if (!next_int(a, &dst)) return CMD_USAGE;
        return report("dxp_field_meter_share", unit, dxp_field_meter_share(unit, eid, dst));
    }
    const bool committed = word_is(sub, "getc") || word_is(sub, "setc");
    const int index = committed ? kMeterCommitted : kMeterPeak;
    if (word_is(sub, "setc") || word_is(sub, "setp")) {
        int rate = 0, burst = 0;
        if (!next_int(a, &rate) || !next_int(a, &burst)) return CMD_USAGE;
        return report("dxp_field_meter_set", unit,
                      dxp_field_meter_set(unit, eid, index, static_cast<uint32_t>(rate),
                                          static_cast<uint32_t>(burst)));
    }
    uint32_t rate = 0, burst = 0;
    int rv = dxp_field_meter_get(unit, eid, index, &rate, &burst);
    if (rv == 0)
        sal_printf("FP meter get %s eid=%d: rate=%d, burst=%d\n", committed ? "committed" : "peak",
                   eid, static_cast<int>(rate), static_cast<int>(burst));
    return report("dxp_field_meter_get", unit, rv);
}

int range(int unit, args_t *a) {
    const char *sub = ARG_GET(a);
    const bool grouped = word_is(sub, "group");
    if (grouped) {
        if (!word_is(ARG_GET(a), "create")) return CMD_USAGE;
    } else if (!(word_is(sub, "create") || word_is(sub, "get") || word_is(sub, "destroy"))) {
        return CMD_USAGE;
    }
    if (word_is(sub, "get") || word_is(sub, "destroy")) {
        int rid = 0;
        if (!next_int(a, &rid)) return CMD_USAGE;
        if (word_is(sub, "destroy"))
            return report("dxp_field_range_destroy", unit, dxp_field_range_destroy(unit, rid));
        uint32_t flags = 0;
        int min = 0, max = 0;
        int rv = dxp_field_range_get(unit, rid, &flags, &min, &max);
        if (report("dxp_field_range_get", unit, rv) != CMD_OK) return CMD_FAIL;
        sal_printf("FP range get: rid=%d, min=%d max=%d ", rid, min, max);
        sal_printf("flags=0x%x%s%s\n", flags, flags & kRangeSrcPort ? " SRCPORT" : "",
                   flags & kRangeDstPort ? " DSTPORT" : "");
        return CMD_OK;
    }
    // The id form has one number more than the plain one.
    const int need = grouped ? 4 : 3;
    const int count = ARG_CNT(a);
    if (count < need) return CMD_USAGE;
    int v[5] = {};
    const int taken = count > need ? need + 1 : need;
    for (int i = 0; i < taken; i++)
        next_int(a, &v[i]);
    const bool with_id = taken > need;
    int rid = with_id ? v[0] : 0;
    const int *p = with_id ? v + 1 : v;  // flags, min, max[, group]
    const auto flags = static_cast<uint32_t>(p[0]);
    int rv = 0;
    const char *api = nullptr;
    if (grouped) {
        api = with_id ? "dxp_field_range_group_create_id" : "dxp_field_range_group_create";
        rv = with_id ? dxp_field_range_group_create_id(unit, rid, flags, p[1], p[2], p[3])
                     : dxp_field_range_group_create(unit, &rid, flags, p[1], p[2], p[3]);
        return report(api, unit, rv);
    }
    api = with_id ? "dxp_field_range_create_id" : "dxp_field_range_create";
    rv = with_id ? dxp_field_range_create_id(unit, rid, flags, p[1], p[2])
                 : dxp_field_range_create(unit, &rid, flags, p[1], p[2]);
    if (report(api, unit, rv) != CMD_OK) return CMD_FAIL;
    sal_printf("RID %d created!\n", rid);
    return CMD_OK;
}

}  // namespace fp_cmd
