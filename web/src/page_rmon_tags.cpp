// Tags and loops of the RMON-lite pages: each prints one column of a probe
// row, read through the probe's application read; the loops walk a table
// in index order and keep the indexes for the row tags of the request.
#include <cstdio>
#include <cstring>
#include <vector>

#include "logger.h"
#include "page_rmon_internal.h"
#include "web_pages.h"

using namespace rmonpage;

namespace {

// Row indexes a loop found, kept for the request.
struct Rows {
    uint32_t count;
    uint32_t index[1];
};

const char alarm_rows = 0, event_rows = 0, log_rows = 0, histctrl_rows = 0, history_rows = 0;

// Walks the rows of a table with next reads on `column`; with a parent
// (non-zero) only the rows below it, keeping their second index part.
int walk(const char *name, Table t, uint32_t column, uint32_t parent, const void *key,
         httpd_request *req) {
    std::vector<uint32_t> found;
    uint32_t after[2] = {parent, 0};
    int parts = parent != 0 ? 2 : 0;
    while (found.size() < kIndexMax) {
        uint32_t row[2] = {};
        int error = next(t, column, after, parts, row);
        if (error != 0) {
            if (error != RMON_NO_SUCH_NAME)
                logger_printf(LOG_LEVEL_INFO, LOG_MOD_RMON, "%s, index=%d, SNMP_ERR=%d!\n", name,
                              static_cast<int>(after[parts > 0 ? parts - 1 : 0]), error);
            break;
        }
        if (parent != 0 && row[0] != parent) break;
        found.push_back(parent != 0 ? row[1] : row[0]);
        after[0] = row[0];
        after[1] = row[1];
        parts = parent != 0 ? 2 : 1;
    }
    size_t size = sizeof(Rows) + found.size() * sizeof(uint32_t);
    auto *rows = static_cast<Rows *>(httpd_req_state_get(req, key, size));
    if (rows == nullptr) return 0;
    rows->count = static_cast<uint32_t>(found.size());
    if (!found.empty()) std::memcpy(rows->index, found.data(), found.size() * sizeof(uint32_t));
    return 0;
}

int loop_row(const char *name, Table t, uint32_t column, uint32_t parent, const void *key,
             int index, httpd_request *req) {
    if (index == 0) walk(name, t, column, parent, key, req);
    const auto *rows = static_cast<const Rows *>(httpd_req_state_find(req, key));
    return rows != nullptr && index >= 0 && static_cast<uint32_t>(index) < rows->count;
}

uint32_t row_at(const httpd_request *req, const void *key, uint16_t pos) {
    const auto *rows = static_cast<const Rows *>(httpd_req_state_find(req, key));
    return rows != nullptr && pos < rows->count ? rows->index[pos] : 0;
}

// The row of a form tag (second argument kCreated): the one just created,
// else the one the modify handler stored; of a list tag: the loop's row.
uint32_t row_of(const uint16_t args[3], const httpd_request *req, const void *created,
                const void *shown, const void *rows) {
    if (args[1] != kCreated) return row_at(req, rows, args[1]);
    uint32_t index = created != nullptr ? stored(req, created) : 0;
    return index != 0 ? index : stored(req, shown);
}

// Reads a column for a tag; false (with "SNMP Error" printed and logged,
// or "&nbsp;" for no row) when it cannot be read.
bool fetch(const char *tag, Table t, uint32_t column, const uint32_t *instance, int parts, Value *v,
           httpd_tag_out *out) {
    if (instance[parts - 1] == 0) {
        web_tag_text(out, "&nbsp;");
        return false;
    }
    if (read(t, column, instance, parts, v) != 0) {
        logger_printf(LOG_LEVEL_WARNING, LOG_MOD_RMON, "%s failed!!! snmp_status=%d,ret->type=%d\n",
                      tag, v->error, v->type);
        web_tag_text(out, "SNMP Error");
        return false;
    }
    return true;
}

bool fetch(const char *tag, Table t, uint32_t column, uint32_t index, Value *v,
           httpd_tag_out *out) {
    return fetch(tag, t, column, &index, 1, v, out);
}

void print_text(const Value &v, httpd_tag_out *out) {
    char raw[sizeof v.bytes + 1] = {};
    size_t n = v.length < sizeof v.bytes ? v.length : sizeof v.bytes, k = 0;
    // Control characters (the log lines end in a newline) are left out.
    for (size_t i = 0; i < n; i++)
        if (v.bytes[i] >= 0x20 && v.bytes[i] != 0x7f) raw[k++] = static_cast<char>(v.bytes[i]);
    char escaped[WEB_TAG_TEXT_SIZE];
    web_html_escape(raw, escaped, sizeof escaped);
    web_tag_text(out, web_tag_printf("%s", escaped));
}

void print_u32(const Value &v, httpd_tag_out *out) {
    web_tag_text(out, web_tag_printf("%u", v.u32()));
}

void print_int(const Value &v, httpd_tag_out *out) {
    web_tag_text(out, web_tag_printf("%d", static_cast<int32_t>(v.u32())));
}

void print_time(const Value &v, httpd_tag_out *out) {
    uint32_t s = v.u32() / 100;
    web_tag_text(out, web_tag_printf("%dD: %dH: %dM: %dS", static_cast<int>(s / 86400),
                                     static_cast<int>(s / 3600 % 24), static_cast<int>(s / 60 % 60),
                                     static_cast<int>(s % 60)));
}

// The sub-identifier at `pos` of an OID value.
uint32_t sub_id(const Value &v, int pos) {
    if (v.type != RMON_ASN_OBJECT_ID || pos >= v.length) return 0;
    uint32_t sub = 0;
    std::memcpy(&sub, v.bytes + 4 * pos, sizeof sub);
    return sub;
}

// Alarm variable (1..17) of an alarm's OID, 0 for another object.
int alarm_var_of(const Value &v) {
    if (v.type != RMON_ASN_OBJECT_ID || v.length != kAlarmVarLen) return 0;
    for (int i = 0; i < 10; i++)
        if (sub_id(v, i) != kAlarmVarBase[i]) return 0;
    int var = static_cast<int>(sub_id(v, 10)) - 2;
    return alarm_var_name(var) != nullptr ? var : 0;
}

void heading(const char *created_text, uint32_t index, bool created, httpd_tag_out *out) {
    if (created)
        web_tag_text(out, created_text);
    else
        web_tag_text(out, web_tag_printf("Modify, Index %02d", static_cast<int>(index)));
}

}  // namespace

void sspvar_rmonalarm_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    static const char tag[] = "sspvar_rmonalarm_tag_ssi";
    uint32_t index = row_of(args, req, &kAlarmCreated, &kAlarmShown, &alarm_rows);
    int sel = args[0];
    if (sel == 9 || sel == 11 || sel == 13) return web_tag_text(out, "2147483647");
    if (sel == 7) return web_tag_text(out, web_tag_printf("%d", static_cast<int>(index)));
    if (sel == 6)
        return heading("Create New Alarm", index,
                       args[1] == kCreated && stored(req, &kAlarmCreated) != 0, out);
    // Column of each selector; 0 for the selectors handled below.
    static const uint8_t columns[20] = {3, 3, 4, 6, 9,  10, 0, 0, 2, 0,
                                        7, 0, 8, 0, 11, 3,  4, 5, 6, 11};
    if (sel >= 20 || columns[sel] == 0) return;
    Value v;
    if (!fetch(tag, kAlarm, columns[sel], index, &v, out)) return;
    static const char *const sample[] = {"", "Absolute", "Delta"};
    static const char *const startup[] = {"", "Rising", "Falling", "Rising/Falling"};
    int var = 0;
    switch (sel) {
        case 0:
            return web_tag_int(out, alarm_var_of(v) != 0 ? static_cast<int>(sub_id(v, 11)) : 0);
        case 1:
            return web_tag_int(out, alarm_var_of(v));
        case 14:
        case 19:
            return print_text(v, out);
        case 15:
            var = alarm_var_of(v);
            if (var == 0) return web_tag_text(out, "&nbsp;");
            return web_tag_text(
                out, web_tag_printf("%s.%d", alarm_var_name(var), static_cast<int>(sub_id(v, 11))));
        case 16:
            return web_tag_text(out, v.u32() <= 2 ? sample[v.u32()] : "");
        case 18:
            return web_tag_text(out, v.u32() <= 3 ? startup[v.u32()] : "");
        default:
            return print_int(v, out);
    }
}

void sspvar_rmonevent_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    static const char tag[] = "sspvar_rmonevent_tag_ssi";
    uint32_t index = row_of(args, req, &kEventCreated, &kEventShown, &event_rows);
    int sel = args[0];
    if (sel == 0) return web_tag_text(out, web_tag_printf("%d", static_cast<int>(index)));
    if (sel == 10)
        return heading("Create New Event", index,
                       args[1] == kCreated && stored(req, &kEventCreated) != 0, out);
    // 1 description, 2 type, 3 community, 4 owner, 5 last time sent,
    // 6-9 "Checked" for types 1-4, 11 the type's name.
    static const uint8_t columns[12] = {0, 2, 3, 4, 6, 5, 3, 3, 3, 3, 0, 3};
    if (sel >= 12 || columns[sel] == 0) return;
    Value v;
    if (!fetch(tag, kEvent, columns[sel], index, &v, out)) return;
    static const char *const types[] = {"", "None", "Log", "SNMP Trap", "Log and Trap"};
    if (sel == 1 || sel == 3 || sel == 4) return print_text(v, out);
    if (sel == 5) return print_time(v, out);
    if (sel >= 6 && sel <= 9)
        return web_tag_text(out, static_cast<int>(v.u32()) == sel - 5 ? "Checked" : "");
    if (sel == 11) return web_tag_text(out, v.u32() <= 4 ? types[v.u32()] : "");
    print_int(v, out);
}

void sspvar_rmoneventlog_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    static const char tag[] = "sspvar_rmoneventlog_tag_ssi";
    uint32_t row[2] = {stored(req, &kLogShown), row_at(req, &log_rows, args[1])};
    switch (args[0]) {
        case 0:
            return web_tag_text(out, web_tag_printf("%d", static_cast<int>(row[1])));
        case 3:
            return web_tag_text(out, web_tag_printf("%d", static_cast<int>(row[0])));
        case 1:
        case 2: {
            Value v;
            if (!fetch(tag, kLog, args[0] == 1 ? 3 : 4, row, 2, &v, out)) return;
            return args[0] == 1 ? print_time(v, out) : print_text(v, out);
        }
        default:
            return;
    }
}

void sspvar_rmonhistctrl_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    static const char tag[] = "sspvar_rmonhistctrl_tag_ssi";
    uint32_t index = row_of(args, req, nullptr, &kHistCtrlShown, &histctrl_rows);
    int sel = args[0];
    if (sel == 0) return web_tag_text(out, web_tag_printf("%02d", static_cast<int>(index)));
    // 1 data source (the port), 2 buckets requested, 3 granted, 4 interval,
    // 5 owner, 6 state, 7 and 8 "Checked" for enabled and disabled.
    static const uint8_t columns[9] = {0, 2, 3, 4, 5, 6, 7, 7, 7};
    if (sel >= 9) return;
    Value v;
    if (!fetch(tag, kHistCtrl, columns[sel], index, &v, out)) return;
    bool valid = v.u32() == RMON_VALID;
    switch (sel) {
        case 1:
            return web_tag_text(out, web_tag_printf("%u", sub_id(v, v.length - 1)));
        case 5:
            return print_text(v, out);
        case 6:
            return web_tag_text(out, valid ? "<FONT color=green>Enabled" : "Disabled");
        case 7:
        case 8:
            return web_tag_text(out, valid == (sel == 7) ? "Checked" : "");
        default:
            return print_u32(v, out);
    }
}

void sspvar_rmonhist_stat_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    static const char tag[] = "sspvar_rmonhist_stat_tag_ssi";
    uint32_t row[2] = {stored(req, &kHistoryShown), row_at(req, &history_rows, args[1])};
    // 0 sample index ... 13 utilization (columns 2 to 15); 14 the control row.
    if (args[0] == 14) return web_tag_text(out, web_tag_printf("%d", static_cast<int>(row[0])));
    if (args[0] > 13) return;
    Value v;
    if (!fetch(tag, kHistory, args[0] + 2u, row, 2, &v, out)) return;
    print_u32(v, out);
}

void sspvar_rmonstat_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    static const char tag[] = "sspvar_rmonstat_tag_ssi";
    int sel = args[0];
    uint32_t index = stored(req, &kStatShown);
    if (sel <= 1) {
        // Overview: the port of the loop row, in the first or second half.
        int ports = web_port_count();
        int port = args[1] + 1 + (sel == 1 ? (ports + 1) / 2 : 0);
        if (port > ports) return web_tag_text(out, "&nbsp;");
        index = static_cast<uint32_t>(port);
    }
    if (sel == 2) return web_tag_text(out, web_tag_printf("%02d", static_cast<int>(index)));
    // Counter columns of selectors 4 to 20.
    static const uint8_t counters[17] = {3,  12, 4,  13, 5,  14, 6,  15, 7,
                                         16, 8,  17, 9,  18, 10, 19, 11};
    uint32_t column = sel >= 4 && sel <= 20 ? counters[sel - 4] : 21;
    if (sel > 21) return;
    Value v;
    if (!fetch(tag, kStats, column, index, &v, out)) return;
    bool valid = v.u32() == RMON_VALID;
    switch (sel) {
        case 0:
        case 1:
            return web_tag_text(out, valid ? "<FONT color=green>Enabled" : "Disabled");
        case 3:
            return web_tag_text(out, valid ? "'Set Disable'" : "'Set Enable'");
        case 21:
            return web_tag_text(out, valid ? "" : "disabled");
        default:
            return print_u32(v, out);
    }
}

void rmon_tag_const(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    if (args[0] <= 3) web_tag_int(out, args[0]);
}

int ssploop_rmonalarm_tag_index(const uint16_t *, int index, httpd_request *req) {
    return loop_row("ssploop_rmonalarm_tag_index", kAlarm, 12, 0, &alarm_rows, index, req);
}

int ssploop_rmonevent_tag_index(const uint16_t *, int index, httpd_request *req) {
    return loop_row("ssploop_rmonevent_tag_index", kEvent, 7, 0, &event_rows, index, req);
}

int ssploop_rmoneventlog_tag_index(const uint16_t *, int index, httpd_request *req) {
    uint32_t event = stored(req, &kLogShown);
    if (event == 0) return 0;
    return loop_row("ssploop_rmoneventlog_tag_index", kLog, 3, event, &log_rows, index, req);
}

int ssploop_rmonhistctrl_tag_index(const uint16_t *, int index, httpd_request *req) {
    return loop_row("ssploop_rmonhistctrl_tag_index", kHistCtrl, 7, 0, &histctrl_rows, index, req);
}

int ssploop_rmonhist_stat_tag_index(const uint16_t *, int index, httpd_request *req) {
    uint32_t control = stored(req, &kHistoryShown);
    if (control == 0) return 0;
    return loop_row("ssploop_rmonhist_stat_tag_index", kHistory, 3, control, &history_rows, index,
                    req);
}
