// Tables, rows and column values of the probe: the row templates, control
// and data rows kept in index order, the exact and next searches from an
// instance OID, and the data-index counters.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "rmon_internal.h"
#include "sal_lock.h"

rmon_table *rmon_mibtree[RMON_TABLES];

namespace rmonp {
namespace {

constexpr rmon_oid_t kIfIndexDefault[11] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 0};
constexpr rmon_oid_t kAlarmVarDefault[13] = {1, 3, 6, 1, 2, 1, 16, 0, 0, 1, 1, 0, 0};

constexpr ColumnSpec kInt{.access = RMON_RO, .type = RMON_ASN_INTEGER, .bytes = 4, .length = 4};
constexpr ColumnSpec kIntRw{.access = RMON_RW, .type = RMON_ASN_INTEGER, .bytes = 4, .length = 4};
constexpr ColumnSpec kTicks{.access = RMON_RO, .type = RMON_ASN_TIMETICKS, .bytes = 4, .length = 4};
constexpr ColumnSpec kCounter{.access = RMON_RO, .type = RMON_ASN_COUNTER, .bytes = 8, .length = 8};
constexpr ColumnSpec kText{.access = RMON_RW, .type = RMON_ASN_OCTET_STR, .bytes = 128};
constexpr ColumnSpec kSource{.access = RMON_RW,
                             .type = RMON_ASN_OBJECT_ID,
                             .bytes = 11 * 4,
                             .length = 11,
                             .def = kIfIndexDefault};

struct Template {
    ColumnSpec cols[21];
    int count;
};

// The head columns, Counter32 columns up to last, then the tail columns.
constexpr Template make_counters(int count, std::initializer_list<ColumnSpec> head, int first,
                                 int last, std::initializer_list<ColumnSpec> tail) {
    Template t{};
    t.count = count;
    int c = 0;
    for (const ColumnSpec &s : head)
        t.cols[c++] = s;
    for (; c <= last - 1; c++)
        t.cols[c] = c >= first - 1 ? kCounter : kInt;
    for (const ColumnSpec &s : tail)
        t.cols[c++] = s;
    return t;
}

constexpr Template make_stats() {
    return make_counters(21, {kInt, kSource}, 3, 19, {kText, kIntRw});
}

constexpr Template make_history() {
    return make_counters(15, {kInt, kInt, kTicks}, 4, 14, {kInt});
}

constexpr Template make_alarm() {
    Template t{};
    t.count = 12;
    for (int c = 0; c < 12; c++)
        t.cols[c] = kIntRw;
    t.cols[0] = kInt;
    t.cols[2] = {.access = RMON_RW,
                 .type = RMON_ASN_OBJECT_ID,
                 .bytes = 13 * 4,
                 .length = 13,
                 .def = kAlarmVarDefault};
    t.cols[4] = kInt;
    t.cols[10] = kText;
    return t;
}

const Template kTemplates[RMON_TABLES] = {
    make_stats(),
    {.cols = {kInt, kSource, kIntRw, kInt, kIntRw, kText, kIntRw}, .count = 7},
    make_history(),
    make_alarm(),
    {.cols = {kInt, kText, kIntRw, kText, kTicks, kText, kIntRw}, .count = 7},
    {.cols = {kInt, kInt, kTicks, {.access = RMON_RO, .type = RMON_ASN_OCTET_STR, .bytes = 256}},
     .count = 4},
};

uint32_t index_of(const rmon_entry *row) {
    return *static_cast<const uint32_t *>(row->variables[0].value);
}

uint32_t second_of(const rmon_entry *row) {
    return *static_cast<const uint32_t *>(row->variables[1].value);
}

void link_before(rmon_table *t, rmon_entry *row, rmon_entry *at) {
    if (at == nullptr) {
        rmon_entry *last = t->first;
        while (last != nullptr && last->next != nullptr)
            last = last->next;
        row->prev = last;
        row->next = nullptr;
        if (last != nullptr)
            last->next = row;
        else
            t->first = row;
        return;
    }
    row->next = at;
    row->prev = at->prev;
    if (at->prev != nullptr)
        at->prev->next = row;
    else
        t->first = row;
    at->prev = row;
}

void unlink(rmon_table *t, rmon_entry *row) {
    if (row->prev != nullptr)
        row->prev->next = row->next;
    else
        t->first = row->next;
    if (row->next != nullptr) row->next->prev = row->prev;
    row->prev = row->next = nullptr;
}

void free_row(rmon_entry *row) {
    for (uint32_t i = 0; i < row->mib_var_count; i++) {
        if (row->variables[i].value == nullptr)
            log(LOG_LEVEL_WARNING, "%s,%d, fail on free the rmon_var[%d] value.\n", __func__,
                __LINE__, static_cast<int>(i));
        sal_free(row->variables[i].value);
    }
    sal_free(row->variables);
    sal_mutex_destroy(row->mutex);
    row->~rmon_entry();
    sal_free(row);
}

// The checks every row creation makes first; false (logged) refuses it.
bool may_create(const char *who, const rmon_table *t, bool control, uint32_t index,
                const char *no_table, const char *wrong_kind) {
    const char *why = t == nullptr                   ? no_table
                      : (t->control != 0) != control ? wrong_kind
                      : index < 1                    ? "%s,%d, invalid index!\n"
                                                     : nullptr;
    if (why != nullptr) log(LOG_LEVEL_DEBUG, why, who, __LINE__);
    return why == nullptr;
}

}  // namespace

void row_discard(rmon_entry *row) {
    free_row(row);
}

const ColumnSpec *columns(int tbl_magic, int *count) {
    *count = kTemplates[tbl_magic].count;
    return kTemplates[tbl_magic].cols;
}

int row_count_of(int tbl_magic) {
    return kTemplates[tbl_magic].count;
}

int magic_of(const rmon_table *t) {
    return rmon_tbl_magic(t->group, t->table);
}

void log(int level, const char *fmt, ...) {
    char line[320];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    logger_puts(level, LOG_MOD_RMON, line);
}

int get_column(rmon_entry *row, int var_id, oid_val *value) {
    const rmon_var &v = row->variables[var_id];
    SchedLock hold;
    value->type = v.type;
    if (v.type == RMON_ASN_OCTET_STR) {
        int n = std::min<int>(v.length, value->length);
        std::memcpy(value->value, v.value, static_cast<size_t>(n));
        value->length = static_cast<uint16_t>(n);
    } else if (v.type == RMON_ASN_OBJECT_ID) {
        int n = std::min<int>(v.length, value->length / 4);
        std::memcpy(value->value, v.value, static_cast<size_t>(n) * 4);
        value->length = static_cast<uint16_t>(n);
    } else {
        if (value->length < 4) return 1;
        std::memcpy(value->value, v.value, 4);
        value->length = 4;
    }
    return 0;
}

// Every byte counts: a NUL would hide the bytes behind it from a check
// that stopped there, yet they are stored and read back.
bool printable(const oid_val *value) {
    const auto *b = static_cast<const uint8_t *>(value->value);
    for (int i = 0; i < value->length; i++) {
        if (b[i] < 0x20 || b[i] > 0x7E) return false;
    }
    return true;
}

int32_t int_of(const oid_val *value) {
    int32_t v = 0;
    if (value->value != nullptr && value->length >= 4) std::memcpy(&v, value->value, 4);
    return v;
}

int check_int(const oid_val *value, int64_t lo, int64_t hi) {
    if (value->type != RMON_ASN_INTEGER) return RMON_WRONG_TYPE;
    if (value->length != 4) return RMON_WRONG_LENGTH;
    int32_t v = int_of(value);
    return v < lo || v > hi ? RMON_WRONG_VALUE : RMON_NO_ERROR;
}

int check_text(const oid_val *value) {
    int error = RMON_NO_ERROR;
    if (value->type != RMON_ASN_OCTET_STR)
        error = RMON_WRONG_TYPE;
    else if (value->length >= 128)
        error = RMON_WRONG_LENGTH;
    if (!printable(value)) error = RMON_WRONG_VALUE;
    return error;
}

int handle_writable(const char *who, rmon_entry *row, int var_id, int action, oid_val *value,
                    int *error, uint32_t settable, int busy_error, ColumnTest test_fn) {
    *error = RMON_NO_ERROR;
    if (var_id < 0 || var_id >= static_cast<int>(row->mib_var_count)) {
        log_refused_printf(LOG_LEVEL_WARNING, LOG_MOD_RMON, "%s: invalid variable id:%d\n", who,
                           var_id);
        *error = RMON_NO_SUCH_NAME;
        return 0;
    }
    int column = var_id + 1;
    switch (action) {
        case RMON_ACT_GET:
            return get_column(row, var_id, value);
        case RMON_ACT_NOTHING:
            return 0;
        case RMON_ACT_SET:
            if ((settable & column_bit(column)) == 0)
                *error = RMON_NO_ACCESS;
            else if (row->variables[var_id].type == RMON_ASN_OCTET_STR)
                set_text(row, var_id, value);
            else if (row->variables[var_id].type == RMON_ASN_OBJECT_ID)
                set_oid(row, var_id, value);
            else
                rmon_var_u32_set(row, column, static_cast<uint32_t>(int_of(value)));
            return 0;
        case RMON_ACT_TEST:
            break;
        default:
            return 5;
    }
    if (row->status != RMON_UNDER_CREATION && column != static_cast<int>(row->mib_var_count))
        *error = busy_error;
    else if (row->variables[var_id].access != RMON_RW)
        *error = RMON_NOT_WRITABLE;
    else
        *error = test_fn(row, column, value);
    return 0;
}

int deletion_logged(int status, uint32_t index, int *error, const char *fail_fmt,
                    const char *done_fmt) {
    if (status != 0) {
        *error = RMON_GEN_ERR;
        log_refused_printf(LOG_LEVEL_INFO, LOG_MOD_RMON, fail_fmt, static_cast<int>(index));
    } else {
        log(LOG_LEVEL_INFO, done_fmt, static_cast<int>(index));
    }
    return status;
}

int create_row(int tbl_magic, uint32_t index, int *error, const CreateTexts &texts,
               void (*set_defaults)(rmon_entry *row)) {
    *error = RMON_NO_ERROR;
    int status = 0;
    rmon_entry *row = nullptr;
    if (index < 1 || index > kIndexMax) {
        *error = RMON_WRONG_VALUE;
        status = 5;
    } else if ((row = rmon_row_ctrl_create(table(tbl_magic), index)) == nullptr) {
        *error = RMON_RESOURCE_UNAVAILABLE;
        status = 8;
    } else {
        row->flags = 0;
        SalLock hold(row->mutex);
        set_defaults(row);
    }
    if (status != 0)
        log_refused_printf(LOG_LEVEL_INFO, LOG_MOD_RMON, status == 5 ? texts.bad_index : texts.full,
                           static_cast<int>(index));
    else
        log(LOG_LEVEL_INFO, texts.created, static_cast<int>(index));
    return status;
}

void set_text(rmon_entry *row, int var_id, const oid_val *value) {
    const auto *b = static_cast<const char *>(value->value);
    size_t n = strnlen(b, value->length);
    rmon_var_bytes_set(row, var_id + 1, b, static_cast<uint16_t>(std::min<size_t>(n, kOwnerMax)));
}

void set_oid(rmon_entry *row, int var_id, const oid_val *value) {
    rmon_var_bytes_set(row, var_id + 1, value->value, value->length);
}

}  // namespace rmonp

using namespace rmonp;

int rmon_tbl_magic(uint32_t group, uint32_t table) {
    switch (group * 10 + table) {
        case 11:
            return RMON_ETHERSTATS;
        case 21:
            return RMON_HISTCONTROL;
        case 22:
            return RMON_ETHERHISTORY;
        case 31:
            return RMON_ALARM;
        case 91:
            return RMON_EVENT;
        case 92:
            return RMON_LOG;
        default:
            return -1;
    }
}

int _rowp_default_row_setup(int tbl_magic, rmon_entry **row) {
    if (tbl_magic < 0 || tbl_magic >= RMON_TABLES) {
        log(LOG_LEVEL_DEBUG, "%s,tbl_magic=%d, table invalid\n", __func__, tbl_magic);
        return 1;
    }
    if (*row != nullptr) return 0;
    const Template &tp = kTemplates[tbl_magic];
    void *mem = sal_alloc(sizeof(rmon_entry), "rmon_entry");
    auto *vars = static_cast<rmon_var *>(sal_alloc(sizeof(rmon_var) * tp.count, "rmon_var"));
    sal_mutex_t m = mem && vars ? sal_mutex_create("rmon entry mutex") : nullptr;
    bool ok = m != nullptr;
    for (int c = 0; ok && c < tp.count; c++) {
        const ColumnSpec &s = tp.cols[c];
        vars[c] = {.id = static_cast<uint32_t>(c),
                   .access = s.access,
                   .type = s.type,
                   .length = s.length,
                   .value = sal_alloc(s.bytes, "rmon_var_val")};
        if (vars[c].value == nullptr)
            ok = false;
        else if (s.def != nullptr)
            std::memcpy(vars[c].value, s.def, s.length * sizeof(rmon_oid_t));
    }
    if (!ok) {
        for (int c = 0; vars != nullptr && c < tp.count; c++)
            sal_free(vars[c].value);
        sal_free(vars);
        if (m != nullptr) sal_mutex_destroy(m);
        sal_free(mem);
        log(LOG_LEVEL_DEBUG, "%s,%d,memory alloc failed\n", __func__, __LINE__);
        return 8;
    }
    auto *r = new (mem) rmon_entry{};
    r->status = RMON_CREATE_REQUEST;
    r->mutex = m;
    r->variables = vars;
    r->mib_var_count = static_cast<uint32_t>(tp.count);
    *row = r;
    return 0;
}

uint32_t rmon_row_index(rmon_entry *row) {
    return rmon_var_u32(row, 1);
}

uint32_t rmon_var_u32(rmon_entry *row, int column) {
    SchedLock hold;
    uint32_t v;
    std::memcpy(&v, row->variables[column - 1].value, 4);
    return v;
}

uint64_t rmon_var_u64(rmon_entry *row, int column) {
    SchedLock hold;
    uint64_t v;
    std::memcpy(&v, row->variables[column - 1].value, 8);
    return v;
}

void rmon_var_u32_set(rmon_entry *row, int column, uint32_t value) {
    SchedLock hold;
    rmon_var &v = row->variables[column - 1];
    std::memcpy(v.value, &value, 4);
    if (v.type != RMON_ASN_OCTET_STR && v.type != RMON_ASN_OBJECT_ID) v.length = 4;
}

int rmon_var_copy(rmon_entry *row, int column, void *out, int room) {
    SchedLock hold;
    const rmon_var &v = row->variables[column - 1];
    int unit = v.type == RMON_ASN_OBJECT_ID ? 4 : 1;
    int n = std::min<int>(v.length, room / unit);
    std::memcpy(out, v.value, static_cast<size_t>(n * unit));
    return n;
}

void rmon_var_bytes_set(rmon_entry *row, int column, const void *bytes, uint16_t length) {
    rmon_var &v = row->variables[column - 1];
    if (v.type != RMON_ASN_OBJECT_ID) {
        rmon_var_text_set(row, column, static_cast<const char *>(bytes), length);
        return;
    }
    // Alarm rows hold 13 sub-identifiers, the data sources 11.
    length = std::min<uint16_t>(length, row->mib_var_count == 12 ? 13 : 11);
    SchedLock hold;
    if (length > 0) std::memcpy(v.value, bytes, length * sizeof(rmon_oid_t));
    v.length = length;
}

void rmon_var_text_set(rmon_entry *row, int column, const char *text, uint16_t length) {
    rmon_var &v = row->variables[column - 1];
    // Log descriptions hold 255 bytes, the other texts 127.
    length = std::min<uint16_t>(length, row->mib_var_count == 4 ? 255 : kOwnerMax);
    SchedLock hold;
    if (length > 0) std::memcpy(v.value, text, length);
    static_cast<char *>(v.value)[length] = 0;
    v.length = length;
}

rmon_entry *rmon_row_ctrl_create(rmon_table *t, uint32_t index) {
    if (!may_create(__func__, t, true, index, "%s,%d, target table is NULL\n",
                    "%s,%d, not a control table\n"))
        return nullptr;
    TableLock hold(t);
    if (t->row_limit != 0 && t->count >= t->row_limit) {
        log(LOG_LEVEL_DEBUG, "%s,%d, Max table row exceed!\n", __func__, __LINE__);
        return nullptr;
    }
    rmon_entry *row = nullptr;
    if (_rowp_default_row_setup(magic_of(t), &row) != 0) {
        log(LOG_LEVEL_DEBUG, "%s,%d, fail on setting default row!\n", __func__, __LINE__);
        return nullptr;
    }
    rmon_var_u32_set(row, 1, index);
    link_before(t, row, rmon_row_search(0, t->group, t->table, index, 0));
    t->count++;
    rmon_row_ctrl_modify(row);
    return row;
}

rmon_entry *rmon_row_data_create(rmon_table *t, uint32_t parent, uint32_t data_index,
                                 uint32_t max_rows) {
    if (!may_create(__func__, t, false, data_index, "%s,%d, table is NULL\n",
                    "%s,%d, not a data table!\n"))
        return nullptr;
    TableLock hold(t);
    rmon_entry *recycled = nullptr;
    if (max_rows > 0) {
        rmon_entry *r = t->first;
        while (r != nullptr && index_of(r) != parent)
            r = r->next;
        uint32_t run = 0;
        for (rmon_entry *q = r; q != nullptr && index_of(q) == parent; q = q->next)
            run++;
        if (run >= max_rows) recycled = r;
    }
    rmon_entry *row = recycled;
    if (row == nullptr) {
        if (t->row_limit != 0 && t->count >= t->row_limit) {
            log(LOG_LEVEL_DEBUG, "%s,%d, Max table row exceed!\n", __func__, __LINE__);
            return nullptr;
        }
        if (_rowp_default_row_setup(magic_of(t), &row) != 0) {
            log(LOG_LEVEL_DEBUG, "%s,%d, fail on setting default row!\n", __func__, __LINE__);
            return nullptr;
        }
    } else {
        unlink(t, row);
    }
    rmon_var_u32_set(row, 1, parent);
    rmon_var_u32_set(row, 2, data_index);
    rmon_entry *after = nullptr;
    for (rmon_entry *q = t->first; q != nullptr; q = q->next) {
        uint32_t i = index_of(q);
        if (i > parent || (i == parent && second_of(q) > data_index)) {
            after = q;
            break;
        }
    }
    link_before(t, row, after);
    if (recycled == nullptr) t->count++;
    return row;
}

int rmon_row_ctrl_delete(rmon_table *t, rmon_entry *row) {
    if (t == nullptr) {
        log(LOG_LEVEL_WARNING, "%s,%d, NULL table!\n", __func__, __LINE__);
        return 1;
    }
    if (!t->control) {
        log(LOG_LEVEL_WARNING, "%s,%d, not a control table.\n", __func__, __LINE__);
        return 2;
    }
    if (row == nullptr) {
        log(LOG_LEVEL_WARNING, "%s,%d, NULL entry!\n", __func__, __LINE__);
        return 4;
    }
    if (row->status == RMON_VALID) return 5;
    uint32_t index = 0;
    {
        TableLock hold(t);
        index = index_of(row);
        unlink(t, row);
        t->count--;
        free_row(row);
    }
    rmon_table *data = nullptr;
    if (magic_of(t) == RMON_HISTCONTROL) data = table(RMON_ETHERHISTORY);
    if (magic_of(t) == RMON_EVENT) data = table(RMON_LOG);
    if (data != nullptr) {
        int n = rmon_row_data_delete_all(data, data->group, index);
        if (n > 0)
            log(LOG_LEVEL_DEBUG, "%s,%d, %d associated data entris has been deleted also.\n",
                __func__, __LINE__, n);
    }
    return 0;
}

int rmon_row_data_delete(rmon_table *t, rmon_entry *row) {
    if (t == nullptr) {
        log(LOG_LEVEL_WARNING, "%s,%d, table is NULL.\n", __func__, __LINE__);
        return 1;
    }
    if (t->control) {
        log(LOG_LEVEL_WARNING, "%s,%d, not a control table.\n", __func__, __LINE__);
        return 2;
    }
    if (row == nullptr) {
        log(LOG_LEVEL_WARNING, "%s,%d, Null entry currently.\n", __func__, __LINE__);
        return 4;
    }
    TableLock hold(t);
    unlink(t, row);
    t->count--;
    free_row(row);
    return 0;
}

int rmon_row_data_delete_all(rmon_table *t, uint32_t, uint32_t parent) {
    if (t == nullptr || t->control || parent < 1) return 0;
    TableLock hold(t);
    int n = 0;
    rmon_entry *r = rmon_row_search(0, t->group, t->table, parent, 0);
    while (r != nullptr && index_of(r) == parent) {
        rmon_entry *next = r->next;
        if (rmon_row_data_delete(t, r) != 0) break;
        n++;
        r = next;
    }
    return n;
}

int rmon_row_ctrl_modify(rmon_entry *row) {
    if (row == nullptr) return 4;
    row->status = RMON_UNDER_CREATION;
    rmon_var_u32_set(row, static_cast<int>(row->mib_var_count), RMON_UNDER_CREATION);
    return 0;
}

int rmon_row_ctrl_enable(rmon_entry *row) {
    if (row == nullptr) return 4;
    row->status = RMON_VALID;
    rmon_var_u32_set(row, static_cast<int>(row->mib_var_count), RMON_VALID);
    return 0;
}

rmon_entry *rmon_row_search(int exact, uint32_t group, uint32_t tbl, uint32_t i, uint32_t j) {
    int magic = rmon_tbl_magic(group, tbl);
    if (magic < 0 || rmon_mibtree[magic] == nullptr) return nullptr;
    rmon_table *t = rmon_mibtree[magic];
    TableLock hold(t);
    if (i == 0) return exact ? nullptr : t->first;
    for (rmon_entry *r = t->first; r != nullptr; r = r->next) {
        uint32_t idx = index_of(r);
        if (idx < i) continue;
        if (idx > i) return exact ? nullptr : r;
        if (j == 0) {
            if (exact) return r;
            return t->control ? r->next : r;
        }
        // Control rows have no second index: any instance below row i
        // comes before the next row.
        if (t->control) return exact ? nullptr : r->next;
        uint32_t s = second_of(r);
        if (s < j) continue;
        if (s == j) return exact ? r : r->next;
        return exact ? nullptr : r;
    }
    return nullptr;
}

bool rmon_row_exists(rmon_table *t, uint32_t index) {
    return t != nullptr && rmon_row_search(1, t->group, t->table, index, 0) != nullptr;
}

uint32_t rmon_data_index_next(rmon_table *t, uint32_t parent) {
    SalLock hold(t->aux_mutex);
    rmon_aux_info **at = &t->aux_info;
    while (*at != nullptr && (*at)->parent < parent)
        at = &(*at)->next;
    if (*at == nullptr || (*at)->parent != parent) {
        auto *aux = static_cast<rmon_aux_info *>(sal_alloc(sizeof(rmon_aux_info), "rmon_probe"));
        if (aux == nullptr) return 1;
        *aux = {.next = *at, .parent = parent, .next_index = 1};
        *at = aux;
    }
    if ((*at)->next_index == 0xFFFFFFFFu) (*at)->next_index = 1;
    return (*at)->next_index++;
}

rmon_entry *rmon_idx_oid_var_search(int exact, rmon_oid_key *key, int *found) {
    *found = 0;
    if (key->len < 9) {
        log(LOG_LEVEL_DEBUG, "%s,%d: invalid oid_string length\n", __func__, __LINE__);
        return nullptr;
    }
    if (key->len >= 14) return nullptr;
    uint32_t group = key->oid[7], tbl = key->oid[8];
    uint32_t column = key->len >= 11 ? key->oid[10] : 0;
    uint32_t index = key->len >= 12 ? key->oid[11] : 0;
    uint32_t second = key->len >= 13 ? key->oid[12] : 0;
    int magic = rmon_tbl_magic(group, tbl);
    if (magic < 0) return nullptr;
    rmon_entry *row = nullptr;
    if (exact) {
        // An instance is the row's index, and a data row's second index:
        // no sub-identifier more or less.
        uint16_t instance_len =
            rmon_mibtree[magic] != nullptr && rmon_mibtree[magic]->control ? 12 : 13;
        if (column == 0 || index == 0 || key->len != instance_len) return nullptr;
        row = rmon_row_search(1, group, tbl, index, second);
    } else {
        row = rmon_row_search(0, group, tbl, index, second);
        if (row != nullptr && column != 0) {
            key->oid[9] = 1;
            key->oid[11] = index_of(row);
            if (rmon_mibtree[magic]->control) {
                key->len = 12;
            } else {
                key->oid[12] = second_of(row);
                key->len = 13;
            }
        }
    }
    if (row != nullptr && row->mib_var_count >= column) *found = 1;
    return row;
}
