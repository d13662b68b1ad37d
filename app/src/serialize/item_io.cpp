// Saving, checking and loading one item through its handler, with the
// roll-back of a refused load.
#include <cstdarg>
#include <cstdio>

#include "logger.h"
#include "serialize_internal.h"
#include "settings.h"

namespace {

// What the running check refused, named by the item (one check at a time
// per thread).
thread_local char refused_value[160];
thread_local bool backup_check = false;
thread_local uint32_t check_round = 0;

}  // namespace

void settings_check_refuse(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(refused_value, sizeof refused_value, fmt, ap);
    va_end(ap);
}

bool settings_check_of_backup(void) {
    return backup_check;
}

uint32_t settings_check_round(void) {
    return check_round;
}

namespace settings_internal {

BackupCheck::BackupCheck() {
    backup_check = true;
    check_round++;
}

BackupCheck::~BackupCheck() {
    backup_check = false;
}

const char *check_refused_value(void) {
    return refused_value;
}

void check_refused_clear(void) {
    refused_value[0] = '\0';
}

namespace {

// Runs the handler's load over a stored value; *unread gets the record bytes
// it left.
int load_raw(const settings_item &item, const ItemValue &v, size_t *unread, int op) {
    ByteBuffer text;
    MediumState s;
    s.item = &item;
    s.loading = true;
    s.present = v.present;
    s.version = v.version;
    s.data = v.bytes.data();
    s.len = v.bytes.size();
    if (item.kind == SETTINGS_ITEM_TEXT) {
        // read_text hands out a NUL-terminated copy.
        if (!text.append(v.bytes.view()) || !text.append_byte(0)) return -1;
        s.data = text.data();
        s.len = 0;
    }
    settings_medium m = medium_for(s);
    settings_item_fn handler = settings_item_handler(&item);
    int result = handler ? handler(op, &m) : -1;
    *unread = s.len - s.pos;
    return result;
}

}  // namespace

const char *item_check(const settings_item &item, uint32_t version, const ItemValue &v) {
    if (item.kind == SETTINGS_ITEM_TEXT) {
        return version == item_version(item) ? nullptr : "version not matched";
    }
    ItemValue stored;
    stored.version = version;
    stored.present = v.present;
    if (!stored.bytes.append(v.bytes.view())) return "out of memory";
    size_t unread = 0;
    check_refused_clear();
    int checked = load_raw(item, stored, &unread, SETTINGS_OP_CHECK);
    if (checked == 1) return nullptr;
    if (checked == 0) return refused_value[0] != '\0' ? refused_value : "record refused";
    return version == item_version(item) ? nullptr : "version not matched";
}

bool entries_fit(const ParsedImage &image, char *err, size_t err_size) {
    for (const ImageEntry &e : image.entries) {
        if (e.item == nullptr || settings_item_handler(e.item) == nullptr) continue;
        ItemValue v;
        const char *why = entry_value(e, v) ? item_check(*e.item, e.version, v) : "malformed value";
        if (why != nullptr) {
            std::snprintf(err, err_size, "item %s (version 0x%08x, %zu bytes): %s", e.item->name,
                          e.version, v.bytes.size(), why);
            return false;
        }
    }
    return true;
}

int item_save(const settings_item &item, ItemValue &v) {
    v.version = item_version(item);
    v.present = item.kind == SETTINGS_ITEM_RECORD;  // a text item has none until written
    v.bytes.clear();
    MediumState s;
    s.item = &item;
    s.out = &v;
    settings_medium m = medium_for(s);
    settings_item_fn handler = settings_item_handler(&item);
    int result = handler ? handler(SETTINGS_OP_SAVE, &m) : -1;
    if (result < 0) return result;
    if (s.failed || !v.bytes.ok()) return -1;
    return result;
}

int item_load(const settings_item &item, uint32_t version, const ItemValue &v, const char *source) {
    uint32_t want = item_version(item);
    if (version != want && item_check(item, version, v) != nullptr) {
        logger_printf(LOG_LEVEL_WARNING, LOG_MOD_PERSISTENCE,
                      "Settings item %s from %s has version 0x%08x, expected 0x%08x; not loaded",
                      item.name, source, version, want);
        return -1;
    }
    // The current state, to put back should the stored one be refused.
    ItemValue previous;
    bool have_previous = item_save(item, previous) >= 0;
    // A value equal to what runs changes nothing, so it rebuilds no rule and
    // touches no port. At start-up the state that runs is not yet applied to
    // the chip everywhere: the stored value is applied whatever it is. The
    // port item's default VLANs are the page's table, which the monitor's
    // `PVlan` passes by: its load always runs, so a load puts them back. So
    // does the static address list's, which the monitor's `L2` commands pass
    // by.
    if (have_previous && version == want && settings_startup_done() &&
        item.group != SETTINGS_GROUP_PORT && item.group != SETTINGS_GROUP_L2 &&
        previous.present == v.present && previous.bytes.view() == v.bytes.view())
        return static_cast<int>(v.bytes.size());

    size_t unread = 0;
    int result = load_raw(item, v, &unread, SETTINGS_OP_LOAD);
    if (result >= 0 && unread == 0) return result;
    if (result >= 0) {
        logger_printf(LOG_LEVEL_WARNING, LOG_MOD_PERSISTENCE,
                      "Settings item %s from %s: record of %zu bytes has %zu bytes too many; "
                      "not loaded",
                      item.name, source, v.bytes.size(), unread);
    } else {
        logger_printf(LOG_LEVEL_WARNING, LOG_MOD_PERSISTENCE,
                      "Settings item %s from %s: record of %zu bytes refused; not loaded",
                      item.name, source, v.bytes.size());
    }
    if (have_previous) load_raw(item, previous, &unread, SETTINGS_OP_LOAD);
    return -1;
}

}  // namespace settings_internal
