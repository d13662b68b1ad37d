// The agent's RMON-lite module: the six RMON tables under 1.3.6.1.2.1.16.
// It keeps no data: every read and write is packed into a request record
// and handed to the probe through the application's callback slots (0,5)
// and (0,6).
#include <algorithm>
#include <cstring>
#include <vector>

#include "rmon.h"
#include "snmp_backend.h"
#include "snmp_mibs.h"
#include "snmp_netsnmp.h"

namespace snmpmib {
namespace {

constexpr size_t kValueRoom = 512;
constexpr size_t kOidRoom = 128;

// One member of the read-method family: its magic range, status column and
// error text.
struct Member {
    u_char first, last;
    u_char status;  // magic of the status column (0: none)
    const char *invalid;
};

constexpr Member kEtherStats{1, 21, 21, "Err:eCos.snmp.mib2.rmon-Invalid etherStats var!\n"};
constexpr Member kHistControl{22, 28, 28, "Err:eCos.snmp.mib2.rmon-Invalid histControl var!\n"};
constexpr Member kHistStats{29, 43, 0, "Err:eCos.snmp.mib2.rmon-Invalid histStats var!\n"};
constexpr Member kAlarm{44, 55, 55, "Err:eCos.snmp.mib2.rmon-Invalid alarm var!"};
constexpr Member kEvent{56, 62, 62, "Err:eCos.snmp.mib2.rmon-Invalid event var!"};
constexpr Member kLog{63, 66, 0, "Err:eCos.snmp.mib2.rmon-Invalid log var!"};

// Results handed back to the agent, which copies them before the next call.
struct Results {
    long integer;
    u_char text[256];
    oid object[kOidRoom];
};
Results results[6];

int write_rmonColumn(int action, u_char *var_val, u_char var_val_type, size_t var_val_len, u_char *,
                     oid *name, size_t name_len);
int write_rmonRowStatus(int action, u_char *var_val, u_char var_val_type, size_t var_val_len,
                        u_char *, oid *name, size_t name_len);

// Writable columns by magic: the column writer, the status writer, or none.
WriteMethod *writer_of(u_char magic) {
    static const struct {
        u_char base;
        std::initializer_list<int> columns;
        int status;
    } tables[] = {
        {0, {2, 20}, 21},
        {21, {2, 3, 5, 6}, 7},
        {43, {2, 3, 4, 6, 7, 8, 9, 10, 11}, 12},
        {55, {2, 3, 4, 6}, 7},
    };
    for (const auto &t : tables) {
        int column = magic - t.base;
        if (column == t.status) return write_rmonRowStatus;
        for (int c : t.columns)
            if (c == column) return write_rmonColumn;
    }
    return nullptr;
}

bool row_being_made(const oid *name, size_t name_len);

u_char *read_member(const Member &m, Results &out, struct variable *vp, oid *name, size_t *length,
                    int exact, size_t *var_len, WriteMethod **write_method) {
    *write_method = nullptr;
    if (vp->magic < m.first || vp->magic > m.last) {
        snmp_set_detail(m.invalid);
        return nullptr;
    }
    rmon_oid_t request[kOidRoom] = {};
    rmon_oid_t variable[kOidRoom] = {};
    // A request before the table starts at its first column.
    bool after = snmp_oid_compare(name, *length, vp->name, vp->namelen) >= 0;
    const oid *from = after ? name : vp->name;
    size_t n = std::min(after ? *length : static_cast<size_t>(vp->namelen), kOidRoom);
    for (size_t i = 0; i < n; i++)
        request[i] = static_cast<rmon_oid_t>(from[i]);
    for (size_t i = 0; i < vp->namelen && i < kOidRoom; i++)
        variable[i] = static_cast<rmon_oid_t>(vp->name[i]);
    uint8_t bytes[kValueRoom] = {};
    oid_val value{.type = static_cast<uint8_t>(vp->type), .length = kValueRoom, .value = bytes};
    oid_val *value_ptr = &value;
    uint16_t request_len = static_cast<uint16_t>(n);
    int error = 0, result = 0;
    rmon_get_request r{.variable_oid = variable,
                       .variable_len = static_cast<uint16_t>(vp->namelen),
                       .oid = request,
                       .oid_len = &request_len,
                       .exact = exact,
                       .value = &value_ptr,
                       .error = &error,
                       .result = &result};
    snmp_app_callbacks_call(RMON_CB_MAJOR, RMON_CB_GET_MINOR, &r);
    if (error != 0) {
        if (vp->magic == m.status && error == RMON_NO_SUCH_NAME)
            *write_method = write_rmonRowStatus;
        else if (exact && row_being_made(name, *length))
            *write_method = writer_of(vp->magic);  // a column of the row the SET makes
        *var_len = 0;
        return nullptr;
    }
    if (!exact) {
        *length = std::min<size_t>(request_len, MAX_OID_LEN);
        for (size_t i = 0; i < *length; i++)
            name[i] = request[i];
    }
    u_char *answer;
    switch (value.type) {
        case RMON_ASN_OCTET_STR:
            std::memset(out.text, 0, sizeof out.text);
            *var_len = std::min<size_t>(value.length, sizeof out.text);
            std::memcpy(out.text, bytes, *var_len);
            answer = out.text;
            break;
        case RMON_ASN_OBJECT_ID: {
            size_t count = std::min<size_t>(value.length, kOidRoom);
            for (size_t i = 0; i < count; i++) {
                uint32_t sub;
                std::memcpy(&sub, bytes + 4 * i, 4);
                out.object[i] = sub;
            }
            *var_len = count * sizeof(oid);
            answer = reinterpret_cast<u_char *>(out.object);
            break;
        }
        default: {
            uint32_t word;
            std::memcpy(&word, bytes, 4);
            // INTEGER is signed; counters and time ticks are not.
            out.integer = value.type == RMON_ASN_INTEGER
                              ? static_cast<long>(static_cast<int32_t>(word))
                              : static_cast<long>(word);
            *var_len = sizeof out.integer;
            answer = reinterpret_cast<u_char *>(&out.integer);
            break;
        }
    }
    // The first index columns of the statistics and event tables answer
    // with the instance itself.
    if (vp->magic == 1 || vp->magic == 56) {
        out.integer = static_cast<long>(name[*length - 1]);
        *var_len = sizeof out.integer;
        answer = reinterpret_cast<u_char *>(&out.integer);
    }
    *write_method = writer_of(vp->magic);
    return answer;
}

// Hands one write to the probe: 0 test, 3 set, 6 EntryStatus.
int probe_write(int action, const u_char *var_val, u_char type, size_t len, const oid *name,
                size_t name_len) {
    uint8_t bytes[kValueRoom] = {};
    oid_val value{.type = type, .length = 0, .value = bytes};
    if (type == ASN_OBJECT_ID) {
        size_t count = len / sizeof(oid);
        if (count > kValueRoom / 4) return SNMP_ERR_WRONGLENGTH;
        for (size_t i = 0; i < count; i++) {
            oid sub;
            std::memcpy(&sub, var_val + i * sizeof(oid), sizeof sub);
            auto word = static_cast<uint32_t>(sub);
            std::memcpy(bytes + 4 * i, &word, 4);
        }
        value.length = static_cast<uint16_t>(count);
    } else if (type == ASN_OCTET_STR) {
        if (len > kValueRoom) return SNMP_ERR_WRONGLENGTH;
        // An empty value comes without bytes.
        if (len != 0) std::memcpy(bytes, var_val, len);
        value.length = static_cast<uint16_t>(len);
    } else if (len == sizeof(long)) {
        // The agent hands integers as a long; the probe takes 32 bits.
        long v;
        std::memcpy(&v, var_val, sizeof v);
        auto word = static_cast<int32_t>(v);
        std::memcpy(bytes, &word, 4);
        value.length = 4;
    } else {
        if (len > kValueRoom) return SNMP_ERR_WRONGLENGTH;
        if (len != 0) std::memcpy(bytes, var_val, len);
        value.length = static_cast<uint16_t>(len);
    }
    rmon_oid_t request[kOidRoom] = {};
    size_t n = std::min(name_len, kOidRoom);
    for (size_t i = 0; i < n; i++)
        request[i] = static_cast<rmon_oid_t>(name[i]);
    int error = 0, result = 0;
    rmon_set_request r{.action = action,
                       .oid = request,
                       .oid_len = static_cast<uint16_t>(n),
                       .value = &value,
                       .error = &error,
                       .result = &result};
    if (snmp_app_callbacks_call(RMON_CB_MAJOR, RMON_CB_SET_MINOR, &r) != 0 && error == 0)
        return SNMP_ERR_GENERR;
    return error;
}

// What a SET request did to the probe, by variable, so that a request that
// fails leaves the tables as they were: the row its createRequest made, and
// the value (or status) a variable had before the ACTION phase changed it.
struct Change {
    std::vector<oid> name;
    bool creating = false;  // the request makes the row (a createRequest)
    unsigned made_at = 0;   // its place among the request's variables
    bool created = false;   // the ACTION phase made it
    bool applied = false;   // the ACTION phase wrote the variable
    bool status = false;    // the variable is the row's status
    uint8_t old_type = 0;   // the value before the ACTION phase
    std::vector<uint8_t> old;
    // What RESERVE1 took of the request, for the checks of RESERVE2: the
    // statuses it sets (a deletion, a state; the places of its valids among
    // the request's variables), and the alarm variables it sets, by place.
    bool wants_delete = false, wants_state = false;
    std::vector<unsigned> valid_at;
    std::vector<std::pair<unsigned, std::vector<rmon_oid_t>>> variables;
};

// Counts the variables RESERVE1 takes, so that RESERVE2 knows their order.
unsigned reserve_count;

std::vector<Change> &changes() {
    static auto *c = new std::vector<Change>;
    return *c;
}

// A request's first RESERVE1 follows the phases of the one before: no
// record of that one is of any use then.
int last_action = FREE;
void phase(int action) {
    if (action == RESERVE1 && last_action != RESERVE1) changes().clear();
    last_action = action;
}

bool same(const Change &c, const oid *name, size_t name_len) {
    return c.name.size() == name_len && std::equal(c.name.begin(), c.name.end(), name);
}

void forget(const oid *name, size_t name_len) {
    std::erase_if(changes(), [&](const Change &c) { return same(c, name, name_len); });
}

// The record of a variable, made when the request has none yet.
Change &change_of(const oid *name, size_t name_len) {
    for (Change &c : changes()) {
        if (same(c, name, name_len)) return c;
    }
    changes().push_back({});
    changes().back().name.assign(name, name + name_len);
    return changes().back();
}

// Keeps the variable's current value: false when the probe has none.
bool read_current(const oid *name, size_t name_len, Change &into) {
    if (name_len < 12 || name_len > kOidRoom) return false;
    rmon_oid_t request[kOidRoom] = {};
    for (size_t i = 0; i < name_len; i++)
        request[i] = static_cast<rmon_oid_t>(name[i]);
    uint8_t bytes[kValueRoom] = {};
    oid_val value{.type = 0, .length = kValueRoom, .value = bytes};
    oid_val *value_ptr = &value;
    auto len = static_cast<uint16_t>(name_len);
    int error = 0, result = 0;
    rmon_get_request r{.variable_oid = request,
                       .variable_len = 11,
                       .oid = request,
                       .oid_len = &len,
                       .exact = 1,
                       .value = &value_ptr,
                       .error = &error,
                       .result = &result};
    if (snmp_app_callbacks_call(RMON_CB_MAJOR, RMON_CB_GET_MINOR, &r) != 0 || error != 0)
        return false;
    into.old_type = value.type;
    size_t n = value.type == RMON_ASN_OBJECT_ID ? value.length * 4u : value.length;
    into.old.assign(bytes, bytes + std::min(n, kValueRoom));
    return true;
}

// Hands a status to the probe (action 6): it creates, enables or deletes.
int status_write(long status, const oid *name, size_t name_len) {
    auto word = static_cast<long>(static_cast<int32_t>(status));
    return probe_write(6, reinterpret_cast<const u_char *>(&word), ASN_INTEGER, sizeof word, name,
                       name_len);
}

// Writes a kept value back in the form the agent hands values.
void restore(const Change &c, const oid *name, size_t name_len) {
    int32_t word = 0;
    std::memcpy(&word, c.old.data(), std::min<size_t>(4, c.old.size()));
    if (c.status) {
        status_write(word, name, name_len);
    } else if (c.old_type == RMON_ASN_OBJECT_ID) {
        std::vector<oid> subs(c.old.size() / 4);
        for (size_t i = 0; i < subs.size(); i++) {
            uint32_t sub;
            std::memcpy(&sub, c.old.data() + 4 * i, 4);
            subs[i] = sub;
        }
        probe_write(3, reinterpret_cast<const u_char *>(subs.data()), ASN_OBJECT_ID,
                    subs.size() * sizeof(oid), name, name_len);
    } else if (c.old_type == RMON_ASN_INTEGER) {
        long v = word;
        probe_write(3, reinterpret_cast<const u_char *>(&v), ASN_INTEGER, sizeof v, name, name_len);
    } else {
        probe_write(3, c.old.data(), c.old_type, c.old.size(), name, name_len);
    }
}

// The name of another column of the same row.
std::vector<oid> column_name(const oid *name, size_t name_len, oid column) {
    std::vector<oid> other(name, name + name_len);
    other[10] = column;
    return other;
}

// The status column of the row's table, 0 for a table without.
oid status_column(const oid *name, size_t name_len) {
    if (name_len != 12) return 0;
    switch (name[7] * 10 + name[8]) {
        case 11:
            return 21;
        case 21:
        case 91:
            return 7;
        case 31:
            return 12;
        default:
            return 0;
    }
}

const Change *record_of(const oid *name, size_t name_len) {
    for (const Change &c : changes()) {
        if (same(c, name, name_len)) return &c;
    }
    return nullptr;
}

// Whether the request makes the row at its ACTION phase.
bool row_being_made(const oid *name, size_t name_len) {
    oid status = status_column(name, name_len);
    if (status == 0) return false;
    std::vector<oid> status_name = column_name(name, name_len, status);
    const Change *c = record_of(status_name.data(), status_name.size());
    return c != nullptr && c->creating;
}

// The rows of the variable's table that the request makes.
long rows_being_made(const oid *name) {
    return std::count_if(changes().begin(), changes().end(), [&](const Change &c) {
        return c.creating && c.name[7] == name[7] && c.name[8] == name[8];
    });
}

constexpr oid kAlarmGroup = 3, kAlarmVariableColumn = 3, kAlarmStatusColumn = 12;

bool alarm_column(const oid *name, size_t name_len, oid column) {
    return name_len == 12 && name[7] == kAlarmGroup && name[8] == 1 && name[10] == column;
}

// Whether the alarm variable names a row the request makes before place at.
bool names_row_made_before(const std::vector<rmon_oid_t> &variable, unsigned at) {
    if (variable.size() != 12) return false;
    std::vector<oid> status_name(variable.begin(), variable.end());
    status_name[10] = status_column(status_name.data(), status_name.size());
    const Change *c = record_of(status_name.data(), status_name.size());
    return status_name[10] != 0 && c != nullptr && c->creating && c->made_at < at;
}

// The test of an alarm variable in effect at place at: a row the request
// makes before then is there by then.
int variable_test(const std::vector<rmon_oid_t> &variable, unsigned at) {
    const int n = static_cast<int>(variable.size());
    return names_row_made_before(variable, at)
               ? rmon_alarm_new_row_variable_test(variable.data(), n)
               : rmon_alarm_variable_test(variable.data(), n);
}

// An alarm made valid starts sampling its variable: the one it has then,
// the last the request set before the status, or else its current one,
// must be there to sample.
int alarm_variable_check(const Change &status, const oid *name, size_t name_len) {
    std::vector<oid> variable = column_name(name, name_len, kAlarmVariableColumn);
    const Change *column = record_of(variable.data(), variable.size());
    Change current;
    std::vector<rmon_oid_t> now;
    if (read_current(variable.data(), variable.size(), current)) {
        now.resize(current.old.size() / 4);
        std::memcpy(now.data(), current.old.data(), now.size() * 4);
    } else if (row_being_made(name, name_len)) {
        now.assign(std::begin(RMON_ALARM_VARIABLE_DEFAULT), std::end(RMON_ALARM_VARIABLE_DEFAULT));
    }
    for (unsigned at : status.valid_at) {
        const std::vector<rmon_oid_t> *in_effect = &now;
        for (size_t i = 0; column != nullptr && i < column->variables.size(); i++) {
            if (column->variables[i].first < at) in_effect = &column->variables[i].second;
        }
        if (int error = variable_test(*in_effect, at); error != SNMP_ERR_NOERROR) return error;
    }
    return SNMP_ERR_NOERROR;
}

// Puts back what the request changed of this variable; the record goes.
// True in the phases of a failed request, which only undo.
bool undone(int action, const oid *name, size_t name_len) {
    if (action != UNDO && action != FREE) return false;
    for (const Change &c : changes()) {
        if (!same(c, name, name_len)) continue;
        // Deleting the row the request made takes whatever it wrote along;
        // a row it made valid is taken back to underCreation first, as only
        // such a row can be deleted.
        if (c.created) {
            if (c.status) status_write(RMON_UNDER_CREATION, name, name_len);
            status_write(RMON_INVALID, name, name_len);
        } else if (c.applied)
            restore(c, name, name_len);
        break;
    }
    forget(name, name_len);
    return true;
}

int write_rmonColumn(int action, u_char *var_val, u_char var_val_type, size_t var_val_len, u_char *,
                     oid *name, size_t name_len) {
    phase(action);
    if (undone(action, name, name_len)) return SNMP_ERR_NOERROR;
    switch (action) {
        case RESERVE1: {
            const unsigned at = ++reserve_count;
            const int test = row_being_made(name, name_len) ? 7 : 0;
            if (!alarm_column(name, name_len, kAlarmVariableColumn) ||
                var_val_type != ASN_OBJECT_ID)
                return probe_write(test, var_val, var_val_type, var_val_len, name, name_len);
            std::vector<rmon_oid_t> value(std::min<size_t>(var_val_len / sizeof(oid), kOidRoom));
            for (size_t i = 0; i < value.size(); i++) {
                oid sub;
                std::memcpy(&sub, var_val + i * sizeof(oid), sizeof sub);
                value[i] = static_cast<rmon_oid_t>(sub);
            }
            int error;
            if (names_row_made_before(value, at)) {
                // A row the request makes before: the probe tests the alarm
                // with a variable that is there, the variable's table says
                // whether its column holds a number.
                oid there[12];
                std::copy(std::begin(RMON_ALARM_VARIABLE_DEFAULT),
                          std::end(RMON_ALARM_VARIABLE_DEFAULT), there);
                error = probe_write(test, reinterpret_cast<const u_char *>(there), ASN_OBJECT_ID,
                                    sizeof there, name, name_len);
                if (error == SNMP_ERR_NOERROR)
                    error = rmon_alarm_new_row_variable_test(value.data(),
                                                             static_cast<int>(value.size()));
            } else {
                error = probe_write(test, var_val, var_val_type, var_val_len, name, name_len);
            }
            // The alarm's status, checked in RESERVE2, may need it.
            if (error == SNMP_ERR_NOERROR)
                change_of(name, name_len).variables.emplace_back(at, std::move(value));
            return error;
        }
        case ACTION: {
            // Written here, in the request's order, so that a later
            // variable's failure can still put it back.
            // A variable named twice keeps the value from before the first.
            Change &c = change_of(name, name_len);
            if (!c.applied) c.applied = read_current(name, name_len, c);
            return probe_write(3, var_val, var_val_type, var_val_len, name, name_len);
        }
        case COMMIT:
            forget(name, name_len);
            rmon_settings_save_later();
            return SNMP_ERR_NOERROR;
        default:
            return SNMP_ERR_NOERROR;
    }
}

int write_rmonRowStatus(int action, u_char *var_val, u_char var_val_type, size_t var_val_len,
                        u_char *, oid *name, size_t name_len) {
    long want = 0;
    if (var_val_type == ASN_INTEGER && var_val_len == sizeof want)
        std::memcpy(&want, var_val, sizeof want);
    bool create = want == RMON_CREATE_REQUEST;
    phase(action);
    if (undone(action, name, name_len)) return SNMP_ERR_NOERROR;
    switch (action) {
        case RESERVE1: {
            const unsigned at = ++reserve_count;
            if (!create) {
                int error = probe_write(row_being_made(name, name_len) ? 7 : 0, var_val,
                                        var_val_type, var_val_len, name, name_len);
                if (error != SNMP_ERR_NOERROR) return error;
                Change &c = change_of(name, name_len);
                (want == RMON_INVALID ? c.wants_delete : c.wants_state) = true;
                if (want == RMON_VALID) c.valid_at.push_back(at);
                return error;
            }
            // Only tested here: the row is made in the ACTION phase, and the
            // request's later variables are tested as for the new row.
            if (row_being_made(name, name_len)) return SNMP_ERR_WRONGVALUE;
            long before = rows_being_made(name);
            int error = probe_write(8, reinterpret_cast<const u_char *>(&before), ASN_INTEGER,
                                    sizeof before, name, name_len);
            if (error == SNMP_ERR_NOERROR) {
                Change &c = change_of(name, name_len);
                c.creating = true;
                c.made_at = at;
            }
            return error;
        }
        case RESERVE2: {
            // What the ACTION phase would refuse is refused here, before any
            // variable of the request is written. A deletion cannot be undone
            // and waits for COMMIT (its test in RESERVE1 said it will
            // succeed): a row whose status the request also sets could not
            // be deleted then.
            if (create) return SNMP_ERR_NOERROR;
            const Change &c = change_of(name, name_len);
            if (c.wants_delete && c.wants_state) return SNMP_ERR_INCONSISTENTVALUE;
            if (want == RMON_VALID && alarm_column(name, name_len, kAlarmStatusColumn))
                return alarm_variable_check(c, name, name_len);
            return SNMP_ERR_NOERROR;
        }
        case ACTION: {
            // The row is made, and underCreation and valid take effect here,
            // where a failure still reaches UNDO; a deletion waits for COMMIT.
            if (create) {
                int error = status_write(RMON_CREATE_REQUEST, name, name_len);
                if (error == SNMP_ERR_NOERROR) change_of(name, name_len).created = true;
                return error;
            }
            if (want == RMON_INVALID) return SNMP_ERR_NOERROR;
            Change &c = change_of(name, name_len);
            c.status = true;
            if (!c.created && !c.applied) c.applied = read_current(name, name_len, c);
            return status_write(want, name, name_len);
        }
        case COMMIT: {
            // Rows made, changed and deleted here are stored as the pages'
            // are, once the change is made.
            forget(name, name_len);
            const int error =
                want != RMON_INVALID ? SNMP_ERR_NOERROR : status_write(want, name, name_len);
            rmon_settings_save_later();
            return error;
        }
        default:
            return SNMP_ERR_NOERROR;
    }
}

#define RMON_READER(fn, member, slot)                                                              \
    u_char *fn(struct variable *vp, oid *name, size_t *length, int exact, size_t *var_len,         \
               WriteMethod **write_method) {                                                       \
        return read_member(member, results[slot], vp, name, length, exact, var_len, write_method); \
    }

RMON_READER(var_etherStatsTable, kEtherStats, 0)
RMON_READER(var_historyControlTable, kHistControl, 1)
RMON_READER(var_etherHistoryTable, kHistStats, 2)
RMON_READER(var_alarmTable, kAlarm, 3)
RMON_READER(var_eventTable, kEvent, 4)
RMON_READER(var_logTable, kLog, 5)

}  // namespace

void init_rmonlite() {
    struct Table {
        oid group, table;
        int columns;
        FindVarMethod *read;
        const u_char *types;
    };
    static const u_char stats_types[21] = {
        ASN_INTEGER, ASN_OBJECT_ID, ASN_COUNTER, ASN_COUNTER, ASN_COUNTER, ASN_COUNTER,
        ASN_COUNTER, ASN_COUNTER,   ASN_COUNTER, ASN_COUNTER, ASN_COUNTER, ASN_COUNTER,
        ASN_COUNTER, ASN_COUNTER,   ASN_COUNTER, ASN_COUNTER, ASN_COUNTER, ASN_COUNTER,
        ASN_COUNTER, ASN_OCTET_STR, ASN_INTEGER,
    };
    static const u_char hist_control_types[7] = {ASN_INTEGER, ASN_OBJECT_ID, ASN_INTEGER,
                                                 ASN_INTEGER, ASN_INTEGER,   ASN_OCTET_STR,
                                                 ASN_INTEGER};
    static const u_char history_types[15] = {
        ASN_INTEGER, ASN_INTEGER, ASN_TIMETICKS, ASN_COUNTER, ASN_COUNTER,
        ASN_COUNTER, ASN_COUNTER, ASN_COUNTER,   ASN_COUNTER, ASN_COUNTER,
        ASN_COUNTER, ASN_COUNTER, ASN_COUNTER,   ASN_COUNTER, ASN_INTEGER,
    };
    static const u_char alarm_types[12] = {
        ASN_INTEGER, ASN_INTEGER, ASN_OBJECT_ID, ASN_INTEGER, ASN_INTEGER,   ASN_INTEGER,
        ASN_INTEGER, ASN_INTEGER, ASN_INTEGER,   ASN_INTEGER, ASN_OCTET_STR, ASN_INTEGER,
    };
    static const u_char event_types[7] = {ASN_INTEGER,   ASN_OCTET_STR, ASN_INTEGER, ASN_OCTET_STR,
                                          ASN_TIMETICKS, ASN_OCTET_STR, ASN_INTEGER};
    static const u_char log_types[4] = {ASN_INTEGER, ASN_INTEGER, ASN_TIMETICKS, ASN_OCTET_STR};
    static const Table tables[] = {
        {1, 1, 21, var_etherStatsTable, stats_types},
        {2, 1, 7, var_historyControlTable, hist_control_types},
        {2, 2, 15, var_etherHistoryTable, history_types},
        {3, 1, 12, var_alarmTable, alarm_types},
        {9, 1, 7, var_eventTable, event_types},
        {9, 2, 4, var_logTable, log_types},
    };
    static struct variable4 vars[66];
    u_char magic = 0;
    for (const Table &t : tables) {
        for (int c = 1; c <= t.columns; c++) {
            magic++;
            vars[magic - 1] = {.magic = magic,
                               .type = t.types[c - 1],
                               .acl = static_cast<u_short>(writer_of(magic) ? NETSNMP_OLDAPI_RWRITE
                                                                            : NETSNMP_OLDAPI_RONLY),
                               .findVar = t.read,
                               .namelen = 4,
                               .name = {t.group, t.table, 1, static_cast<oid>(c)}};
        }
    }
    static oid base[] = {1, 3, 6, 1, 2, 1, 16};
    register_mib("mibII/rmonlite", reinterpret_cast<struct variable *>(vars),
                 sizeof(struct variable4), 66, base, OID_LENGTH(base));
}

}  // namespace snmpmib
