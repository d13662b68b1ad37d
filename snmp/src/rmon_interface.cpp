// The probe's read and write entry points: column reads by exact or next
// instance, column writes and EntryStatus writes, reached by the agent module
// through callback slots (0,5) and (0,6) and by the web pages directly.
#include <algorithm>
#include <cstring>

#include "rmon_internal.h"
#include "snmp_backend.h"

using namespace rmonp;

namespace {

using Handler = int (*)(rmon_entry *, int, int, oid_val *, int *);

Handler handler_of(int magic) {
    static const Handler handlers[RMON_TABLES] = {
        rmon_mib_etherstats, rmon_mib_histcontrol, rmon_mib_histethstats,
        rmon_mib_alarm,      rmon_mib_event,       rmon_mib_log,
    };
    return magic < 0 ? nullptr : handlers[magic];
}

rmon_table *table_of(uint32_t group, uint32_t tbl) {
    int magic = rmon_tbl_magic(group, tbl);
    return magic < 0 ? nullptr : rmon_mibtree[magic];
}

// The caller's value copied into a buffer of the probe's own.
struct PrivateValue {
    oid_val val{};
    uint8_t bytes[512]{};
    explicit PrivateValue(const oid_val *from, bool copy) {
        val.type = from->type;
        int unit = from->type == RMON_ASN_OBJECT_ID ? 4 : 1;
        int n = std::min<int>(from->length * (copy ? unit : 1), sizeof bytes);
        if (copy && from->value != nullptr) std::memcpy(bytes, from->value, n);
        val.length = static_cast<uint16_t>(copy ? n / unit : n);
        val.value = bytes;
    }
};

}  // namespace

int rmonp_var_get(uint32_t group, uint32_t tbl, uint32_t var_id, rmon_oid_t *oid, uint16_t *oid_len,
                  oid_val *value, int exact, int *error) {
    *error = RMON_NO_ERROR;
    rmon_table *t = table_of(group, tbl);
    if (t == nullptr || oid == nullptr || oid_len == nullptr) {
        *error = RMON_NO_SUCH_NAME;
        return 0;
    }
    rmon_oid_t key_oid[13] = {};
    uint16_t n = std::min<uint16_t>(*oid_len, 13);
    std::copy(oid, oid + n, key_oid);
    key_oid[6] = 16;
    key_oid[7] = group;
    key_oid[8] = tbl;
    key_oid[9] = 1;
    key_oid[10] = var_id + 1;
    rmon_oid_key key{.oid = key_oid, .len = std::max<uint16_t>(n, 11)};
    if (*oid_len >= 14) key.len = 14;
    TableLock hold(t);
    int found = 0;
    rmon_entry *row = rmon_idx_oid_var_search(exact, &key, &found);
    if (found) row->reclaim = 0;
    if (!exact) {
        if (!found) {
            oid[11] = 1;
            oid[10] += 1;
            *oid_len = std::min<uint16_t>(key.len, 13);
        } else {
            std::copy(key_oid, key_oid + key.len, oid);
            *oid_len = key.len;
        }
    }
    if (!found) {
        *error = RMON_NO_SUCH_NAME;
        return 0;
    }
    return handler_of(magic_of(t))(row, static_cast<int>(var_id), RMON_ACT_GET, value, error);
}

int rmonp_var_set(uint32_t group, uint32_t tbl, uint32_t var_id, uint32_t index, oid_val *value,
                  int action, int *error) {
    *error = RMON_NO_ERROR;
    rmon_table *t = table_of(group, tbl);
    if (action == -1 || t == nullptr) {
        *error = RMON_GEN_ERR;
        return 1;
    }
    TableLock hold(t);
    rmon_entry *row = rmon_row_search(1, group, tbl, index, 0);
    if (row == nullptr) {
        *error = RMON_NO_SUCH_NAME;
        return 0;
    }
    int magic = magic_of(t);
    if (magic == RMON_ETHERHISTORY || magic == RMON_LOG) {
        *error = RMON_GEN_ERR;
        return 1;
    }
    if (var_id >= row->mib_var_count) {
        *error = RMON_NO_SUCH_NAME;
        return 0;
    }
    // The test of a deletion answers what the deletion will: fixed rows and
    // valid ones stay, and their delete callback refuses without touching
    // anything, so its own error is the answer.
    if (action == RMON_ACT_TEST && var_id + 1 == row->mib_var_count &&
        value->type == RMON_ASN_INTEGER && int_of(value) == RMON_INVALID &&
        (t->remove == refuse_remove || row->status == RMON_VALID)) {
        t->remove(magic, row, error);
        if (*error == RMON_NO_ERROR) *error = RMON_GEN_ERR;
        return 0;
    }
    return handler_of(magic)(row, static_cast<int>(var_id), action, value, error);
}

int rmonp_row_status_set(uint32_t group, uint32_t tbl, uint32_t index, oid_val *value, int *error) {
    *error = RMON_NO_ERROR;
    rmon_table *t = table_of(group, tbl);
    if (t == nullptr || !t->control) {
        *error = RMON_NO_CREATION;
        return 0;
    }
    int magic = magic_of(t);
    int32_t want = int_of(value);
    TableLock hold(t);
    rmon_entry *row = rmon_row_search(1, group, tbl, index, 0);
    if (want == RMON_CREATE_REQUEST) {
        if (row != nullptr) {
            *error = RMON_WRONG_VALUE;
            return 0;
        }
        return t->create(magic, index, error);
    }
    if (row == nullptr) {
        *error = RMON_NO_CREATION;
        return 0;
    }
    switch (want) {
        case RMON_UNDER_CREATION:
            return t->enable(magic, row, 0, error);
        case RMON_VALID:
            return t->enable(magic, row, 1, error);
        case RMON_INVALID:
            return t->remove(magic, row, error);
        default:
            *error = RMON_WRONG_VALUE;
            return 0;
    }
}

int rmonp_row_create_test(uint32_t group, uint32_t tbl, uint32_t index, uint32_t also_new,
                          int *error) {
    *error = RMON_NO_ERROR;
    rmon_table *t = table_of(group, tbl);
    if (t == nullptr || !t->control) {
        *error = RMON_NO_CREATION;
        return 0;
    }
    TableLock hold(t);
    // In the order the create callbacks meet them.
    if (rmon_row_search(1, group, tbl, index, 0) != nullptr)
        *error = RMON_WRONG_VALUE;
    else if (t->create == refuse_create)
        *error = RMON_RESOURCE_UNAVAILABLE;
    else if (index < 1 || index > kIndexMax)
        *error = RMON_WRONG_VALUE;
    else if (t->row_limit != 0 && t->count + also_new >= t->row_limit)
        *error = RMON_RESOURCE_UNAVAILABLE;
    return 0;
}

int rmonp_var_test_new(uint32_t group, uint32_t tbl, uint32_t var_id, oid_val *value, int *error) {
    *error = RMON_NO_ERROR;
    rmon_table *t = table_of(group, tbl);
    rmon_entry *row = nullptr;
    if (t == nullptr || !t->control) {
        *error = RMON_NO_CREATION;
        return 0;
    }
    if (_rowp_default_row_setup(magic_of(t), &row) != 0) {
        *error = RMON_RESOURCE_UNAVAILABLE;
        return 0;
    }
    // A row of the table's defaults, under creation as a new row is, in no
    // table: the column's test sees what it would see once the row is made.
    row->status = RMON_UNDER_CREATION;
    if (var_id >= row->mib_var_count)
        *error = RMON_NO_SUCH_NAME;
    else
        handler_of(magic_of(t))(row, static_cast<int>(var_id), RMON_ACT_TEST, value, error);
    row_discard(row);
    return 0;
}

int rmonprobe_snmpop_get_callback(int, int, void *request, void *) {
    auto *r = static_cast<rmon_get_request *>(request);
    if (r == nullptr || r->value == nullptr || *r->value == nullptr || r->variable_len < 11) {
        log(LOG_LEVEL_WARNING, "%s: no Parameters!\n", __func__);
        return 1;
    }
    oid_val *caller = *r->value;
    PrivateValue mine(caller, false);
    const rmon_oid_t *var = r->variable_oid;
    int status = rmonp_var_get(var[7], var[8], var[10] - 1, r->oid, r->oid_len, &mine.val, r->exact,
                               r->error);
    *r->result = status;
    if (status != 0 || *r->error != 0) return 1;
    int unit = mine.val.type == RMON_ASN_OBJECT_ID ? 4 : 1;
    int n = std::min<int>(mine.val.length * unit, caller->length);
    caller->type = mine.val.type;
    caller->length = static_cast<uint16_t>(n / unit);
    std::memcpy(caller->value, mine.bytes, static_cast<size_t>(n));
    return 0;
}

int rmonprobe_snmpop_set_callback(int, int, void *request, void *) {
    auto *r = static_cast<rmon_set_request *>(request);
    if (r == nullptr || r->oid == nullptr || r->oid_len < 11) {
        log(LOG_LEVEL_WARNING, "%s: no Parameters!\n", __func__);
        return 1;
    }
    if (r->value == nullptr) return 1;
    // Only control rows are written: their instance is the index alone, and
    // no other (a column without an index included) can ever be made.
    if (r->oid_len != 12) {
        *r->error = RMON_NO_CREATION;
        *r->result = 0;
        return 0;
    }
    PrivateValue mine(r->value, true);
    const rmon_oid_t *o = r->oid;
    uint32_t index = o[11];
    int status;
    if (r->action == 6) {
        status = rmonp_row_status_set(o[7], o[8], index, &mine.val, r->error);
    } else if (r->action == 7) {
        status = rmonp_var_test_new(o[7], o[8], o[10] - 1, &mine.val, r->error);
    } else if (r->action == 8) {
        status = rmonp_row_create_test(o[7], o[8], index, static_cast<uint32_t>(int_of(&mine.val)),
                                       r->error);
    } else {
        int action = r->action == 0   ? RMON_ACT_TEST
                     : r->action == 1 ? RMON_ACT_NOTHING
                     : r->action == 3 ? RMON_ACT_SET
                                      : -1;
        status = rmonp_var_set(o[7], o[8], o[10] - 1, index, &mine.val, action, r->error);
    }
    *r->result = status;
    return 0;
}

int rmonprobe_applop_get(rmon_get_request *request) {
    return rmonprobe_snmpop_get_callback(RMON_CB_MAJOR, RMON_CB_GET_MINOR, request, nullptr);
}

int rmonprobe_applop_set(rmon_set_request *request) {
    return rmonprobe_snmpop_set_callback(RMON_CB_MAJOR, RMON_CB_SET_MINOR, request, nullptr);
}

int rmonprobe_callbacks_register(void) {
    snmp_app_callback_register(RMON_CB_MAJOR, RMON_CB_GET_MINOR, rmonprobe_snmpop_get_callback,
                               nullptr);
    snmp_app_callback_register(RMON_CB_MAJOR, RMON_CB_SET_MINOR, rmonprobe_snmpop_set_callback,
                               nullptr);
    return 0;
}
