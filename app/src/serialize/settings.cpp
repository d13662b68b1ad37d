// Settings manager: the NVRAM store medium, the backup image (RAM memory
// medium), the factory defaults and the C-array image of the live settings.
#include "settings.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "logger.h"
#include "nvram.h"
#include "sal_lock.h"
#include "serialize_internal.h"
#include "shr.h"

using namespace settings_internal;

namespace {

constexpr std::string_view kBackupHeader = "#settings-image 1\n";
constexpr std::string_view kBackupTrailer = "#end ";
constexpr size_t kKeyMax = 64;

sal_mutex_t settings_lock() {
    static sal_mutex_t lock = sal_mutex_create("settings");
    return lock;
}

// The rows the running load skipped, for its caller; set only by a load
// that the caller asked to note them, for that load's own thread (the load
// hands the settings lock to waiting forms between items).
thread_local std::string *load_notes = nullptr;

// False from the start of "Main App" until its settings load has finished.
std::atomic<bool> startup_done{true};

std::atomic<const uint8_t *> factory_image{nullptr};
// The RMON probe's table reset; null until the probe registers it.
std::atomic<int (*)(void)> rmon_reset{nullptr};

bool version_key(const settings_item &item, char (&key)[kKeyMax]) {
    int n = std::snprintf(key, sizeof key, "%s_ver", item.name);
    return n > 0 && static_cast<size_t>(n) < sizeof key;
}

// ---- NVRAM store medium: the value under the item's name, "0x%08x" under
// name + "_ver"; records as hexadecimal text.

bool nvram_store_item(const settings_item &item, const ItemValue &v) {
    char key[kKeyMax];
    char version[16];
    std::snprintf(version, sizeof version, "0x%08x", v.version);
    if (!version_key(item, key)) return false;
    if (item.kind == SETTINGS_ITEM_TEXT && !v.present) {
        nvram_unset(item.name);  // absent already is fine
    } else {
        ByteBuffer text;
        if (!value_text_append(text, item, v) || !text.append_byte(0)) return false;
        if (nvram_set(item.name, reinterpret_cast<const char *>(text.data())) != 0) return false;
    }
    return nvram_set(key, version) == 0;
}

constexpr const char *kNotStored = "no version stored";

// The stored entry of an item; null with the reason when missing or bad.
const char *nvram_read_item(const settings_item &item, ImageEntry &e) {
    char key[kKeyMax];
    if (!version_key(item, key)) return "name too long";
    const char *version_text = nvram_get(key);
    if (version_text == nullptr || *version_text == '\0') return kNotStored;
    uint32_t version = 0;
    if (!version_parse(version_text, version)) return "malformed version";
    if (!text_entry_make(item, version, nvram_get(item.name), e))
        return "missing or malformed value";
    return nullptr;
}

int save_to_nvram(const settings_item &item) {
    ItemValue v;
    int result = item_save(item, v);
    if (result < 0) return result;
    return nvram_store_item(item, v) ? result : -1;
}

bool selected(const settings_item &item, uint32_t mask) {
    return settings_item_handler(&item) != nullptr && (item.group & mask) != 0;
}

// ---- backup image: header, item lines, "#end <count> <crc32>".

bool trailer_parse(std::string_view line, unsigned &count, uint32_t &crc) {
    if (!line.starts_with(kBackupTrailer)) return false;
    line.remove_prefix(kBackupTrailer.size());
    size_t space = line.find(' ');
    if (space == std::string_view::npos || line.size() - space - 1 != 8) return false;
    const char *count_end = line.data() + space;
    const char *end = line.data() + line.size();
    auto [p1, e1] = std::from_chars(line.data(), count_end, count);
    auto [p2, e2] = std::from_chars(count_end + 1, end, crc, 16);
    return e1 == std::errc() && p1 == count_end && e2 == std::errc() && p2 == end;
}

bool backup_parse(const char *buf, ParsedImage &parsed, char *err, size_t err_size) {
    if (buf == nullptr) {
        std::snprintf(err, err_size, "no image");
        return false;
    }
    // The restore page adds a LF and a NUL after the uploaded bytes.
    size_t len = strnlen(buf, SETTINGS_BACKUP_SIZE + 2);
    if (len == SETTINGS_BACKUP_SIZE + 2) {
        std::snprintf(err, err_size, "image larger than %zu bytes", SETTINGS_BACKUP_SIZE);
        return false;
    }
    std::string_view text(buf, len);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    size_t last_nl = text.rfind('\n');
    if (!text.starts_with(kBackupHeader) || last_nl == std::string_view::npos ||
        last_nl < kBackupHeader.size() - 1) {
        std::snprintf(err, err_size, "not a settings image");
        return false;
    }
    std::string_view body = text.substr(0, last_nl + 1);
    unsigned count = 0;
    uint32_t crc = 0;
    if (!trailer_parse(text.substr(last_nl + 1), count, crc)) {
        std::snprintf(err, err_size, "image incomplete: no end line");
        return false;
    }
    if (~shr_crc32(~0u, body.data(), body.size()) != crc) {
        std::snprintf(err, err_size, "checksum mismatch");
        return false;
    }
    if (!text_parse_lines(body.substr(kBackupHeader.size()), false, parsed, err, err_size))
        return false;
    if (static_cast<unsigned>(parsed.count) != count) {
        std::snprintf(err, err_size, "%d items found, %u expected", parsed.count, count);
        return false;
    }
    BackupCheck backup;
    return entries_fit(parsed, err, err_size);
}

bool factory_parse(ParsedImage &parsed, char *err, size_t err_size) {
    const uint8_t *image = factory_image.load();
    if (image == nullptr) {
        std::snprintf(err, err_size, "this board has no factory-default image");
        return false;
    }
    return binary_parse(image, SETTINGS_IMAGE_MAX, parsed, err, err_size) &&
           entries_fit(parsed, err, err_size);
}

// Loads the image's items of the groups in group order; true when all loaded.
// With all_or_nothing, a refused item stops the load and puts every item
// loaded before it back as it was.
bool load_image(const ParsedImage &parsed, uint32_t mask, const char *source, bool all_or_nothing) {
    std::array<ItemValue, kMaxItems> previous;
    std::array<bool, kMaxItems> have_previous{};
    std::array<const settings_item *, kMaxItems> loaded{};
    size_t loaded_count = 0;
    bool all = true;
    for (const settings_item *item : items_in_group_order()) {
        const ImageEntry *e = parsed.find(*item);
        if (!selected(*item, mask) || e == nullptr) continue;
        size_t index = static_cast<size_t>(item_index(item));
        if (all_or_nothing) have_previous[index] = item_save(*item, previous[index]) >= 0;
        ItemValue v;
        if (entry_value(*e, v) && item_load(*item, e->version, v, source) >= 0) {
            loaded[loaded_count++] = item;
            continue;
        }
        all = false;
        if (!all_or_nothing) continue;
        logger_printf(LOG_LEVEL_WARNING, LOG_MOD_PERSISTENCE,
                      "Settings from %s: %s refused; the items loaded before it are put back",
                      source, item->name);
        while (loaded_count > 0) {
            const settings_item *undo = loaded[--loaded_count];
            size_t at = static_cast<size_t>(item_index(undo));
            if (have_previous[at])
                item_load(*undo, previous[at].version, previous[at], "roll-back");
        }
        return false;
    }
    return all;
}

// A stored record the item refuses would stay refused on every start: the
// item takes its factory default, which is saved over the stored record.
bool repair_from_factory(const settings_item &item) {
    ParsedImage parsed;
    char err[160];
    ItemValue v;
    const ImageEntry *e = factory_parse(parsed, err, sizeof err) ? parsed.find(item) : nullptr;
    if (e == nullptr || !entry_value(*e, v) ||
        item_load(item, e->version, v, "factory defaults") < 0 || save_to_nvram(item) < 0) {
        return false;
    }
    logger_printf(LOG_LEVEL_WARNING, LOG_MOD_PERSISTENCE,
                  "Settings item %s: factory default loaded and saved in place of the stored one",
                  item.name);
    return true;
}

}  // namespace

int settings_init(void) {
    return settings_lock() ? 0 : -1;
}

void settings_lock_take(void) {
    sal_mutex_take(settings_lock(), sal_mutex_FOREVER);
}

void settings_lock_give(void) {
    sal_mutex_give(settings_lock());
}

void settings_startup_begin(void) {
    startup_done.store(false);
}

void settings_startup_done_set(void) {
    startup_done.store(true);
}

int settings_startup_done(void) {
    return startup_done.load() ? 1 : 0;
}

int settings_startup_wait(long usecs) {
    // Polled: start-up ends once per run, and the waiters are the servers'
    // first requests only.
    constexpr long kStep = 10000;
    for (long waited = 0; !startup_done.load(); waited += kStep) {
        if (waited >= usecs) return 0;
        sal_usleep(kStep);
    }
    return 1;
}

int settings_save_item(const char *name) {
    const settings_item *item = settings_item_find(name);
    if (item == nullptr || settings_item_handler(item) == nullptr) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_PERSISTENCE,
                      "Save settings: no settings item \"%s\"", name ? name : "(null)");
        return -1;
    }
    SalLock hold(settings_lock());
    if (save_to_nvram(*item) < 0 || nvram_commit() != 0) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_PERSISTENCE, "Save settings: %s failed", item->name);
        return 0;
    }
    logger_printf(LOG_LEVEL_DEBUG, LOG_MOD_PERSISTENCE, "Save settings: %s saved", item->name);
    return 1;
}

int settings_save_group(uint32_t mask) {
    SalLock hold(settings_lock());
    bool all = true;
    for (const settings_item *item : items_in_group_order()) {
        if (!selected(*item, mask)) continue;
        if (save_to_nvram(*item) < 0) {
            logger_printf(LOG_LEVEL_ERROR, LOG_MOD_PERSISTENCE, "Save settings: %s failed",
                          item->name);
            all = false;
        }
    }
    if (nvram_commit() != 0) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_PERSISTENCE,
                      "Save settings: commit of groups 0x%08x failed", mask);
        return 0;
    }
    return all ? 1 : 0;
}

int settings_nvram_validate(void) {
    SalLock hold(settings_lock());
    for (const settings_item *item : items_in_group_order()) {
        if (settings_item_handler(item) == nullptr) continue;
        ImageEntry e;
        const char *why = nvram_read_item(*item, e);
        ItemValue v;
        if (why == nullptr) why = entry_value(e, v) ? item_check(*item, e.version, v) : "malformed";
        if (why != nullptr) {
            // A new board or a reset one simply has nothing stored yet.
            logger_printf(why == kNotStored ? LOG_LEVEL_INFO : LOG_LEVEL_WARNING,
                          LOG_MOD_PERSISTENCE, "Stored settings item %s: %s", item->name, why);
            return 0;
        }
    }
    return 1;
}

// How long a load keeps the settings lock while a form waits for it: short,
// as every web answer and every other load waits meanwhile.
constexpr uint32_t kLoadTurnUsecs = 20000;
// The longest turn a load takes after waiting, so no form waits past it.
constexpr uint32_t kLoadTurnMaxUsecs = 500000;

void settings_load_skipped(int log_module, const char *fmt, ...) {
    char line[160];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    logger_printf(LOG_LEVEL_ERROR, log_module, "%s", line);
    if (load_notes == nullptr) return;
    load_notes->append(line);
    load_notes->push_back('\n');
}

int settings_load_group_noting(uint32_t mask, char *skipped, size_t size) {
    std::string notes;
    load_notes = &notes;
    const int rv = settings_load_group(mask);
    load_notes = nullptr;
    if (skipped != nullptr && size > 0) {
        if (notes.size() >= size) notes.resize(size - 1);
        std::memcpy(skipped, notes.c_str(), notes.size() + 1);
    }
    return rv;
}

int settings_load_group(uint32_t mask) {
    bool all = true;
    bool repaired = false;
    SalLock hold(settings_lock());
    uint32_t turn_start = sal_time_usecs();
    uint32_t turn = kLoadTurnUsecs;
    for (const settings_item *item : items_in_group_order()) {
        if (!selected(*item, mask)) continue;
        // A form waiting for the lock goes between two items once the load
        // has had its turn; each item is read from the store when it comes,
        // so a change saved meanwhile is loaded, not overwritten. The next
        // turn lasts as long as the others held the lock, so forms posted
        // back to back share it with the load instead of starving it.
        if (sal_time_usecs() - turn_start >= turn && sal_mutex_waiters(settings_lock()) > 0) {
            const uint32_t gave = sal_time_usecs();
            sal_mutex_give(settings_lock());
            sal_mutex_take(settings_lock(), sal_mutex_FOREVER);
            turn_start = sal_time_usecs();
            turn = std::clamp(turn_start - gave, kLoadTurnUsecs, kLoadTurnMaxUsecs);
        }
        ImageEntry e;
        ItemValue v;
        const char *why = nvram_read_item(*item, e);
        if (why == nullptr && !entry_value(e, v)) why = "malformed value";
        if (why != nullptr) {
            // After a factory reset or on a new board the items are simply absent.
            logger_printf(why == kNotStored ? LOG_LEVEL_INFO : LOG_LEVEL_WARNING,
                          LOG_MOD_PERSISTENCE, "Settings item %s from NVRAM: %s; not loaded",
                          item->name, why);
            all = false;
            if (why != kNotStored) repaired |= repair_from_factory(*item);
        } else if (item_load(*item, e.version, v, "NVRAM") < 0) {
            all = false;
            repaired |= repair_from_factory(*item);
        }
    }
    if (repaired && nvram_commit() != 0) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_PERSISTENCE,
                      "Load settings: commit of the repaired items failed");
    }
    return all ? 1 : 0;
}

int settings_backup_to_memory(char *buf) {
    if (buf == nullptr) return 0;
    SalLock hold(settings_lock());
    ByteBuffer text;
    text.append(kBackupHeader);
    unsigned count = 0;
    for (const settings_item &item : std::span(g_serializers, g_serializers_count)) {
        if (settings_item_handler(&item) == nullptr) continue;
        ItemValue v;
        if (item_save(item, v) < 0 || !text_append_item(text, item, v)) {
            logger_printf(LOG_LEVEL_ERROR, LOG_MOD_PERSISTENCE, "Backup settings: %s failed",
                          item.name);
            return 0;
        }
        count++;
    }
    char trailer[48];
    uint32_t crc = ~shr_crc32(~0u, text.data(), text.size());
    std::snprintf(trailer, sizeof trailer, "%.*s%u %08x\n", static_cast<int>(kBackupTrailer.size()),
                  kBackupTrailer.data(), count, crc);
    text.append(std::string_view(trailer));
    if (!text.ok() || text.size() + 1 > SETTINGS_BACKUP_SIZE) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_PERSISTENCE,
                      "Backup settings: image does not fit in %zu bytes", SETTINGS_BACKUP_SIZE);
        return 0;
    }
    std::memcpy(buf, text.data(), text.size());
    buf[text.size()] = '\0';
    return 1;
}

namespace {
thread_local char validate_error[320];
}  // namespace

int settings_validate_memory(const char *buf) {
    ParsedImage parsed;
    check_refused_clear();
    validate_error[0] = '\0';
    if (backup_parse(buf, parsed, validate_error, sizeof validate_error)) {
        check_refused_clear();
        validate_error[0] = '\0';
        return 1;
    }
    return 0;
}

const char *settings_validate_error(void) {
    return validate_error;
}

const char *settings_validate_reason(void) {
    return check_refused_value();
}

int settings_restore_from_memory(const char *buf) {
    SalLock hold(settings_lock());
    ParsedImage parsed;
    char err[160];
    if (!backup_parse(buf, parsed, err, sizeof err)) {
        logger_printf(LOG_LEVEL_WARNING, LOG_MOD_PERSISTENCE,
                      "Restore settings: image invalid: %s; nothing changed", err);
        return 0;
    }
    return load_image(parsed, SETTINGS_GROUP_ALL, "backup", true) ? 1 : 0;
}

void settings_factory_image_set(const uint8_t *image) {
    factory_image.store(image);
}

const uint8_t *settings_factory_image_get(void) {
    return factory_image.load();
}

int settings_rmon_reset_set(int (*fn)(void)) {
    int (*none)(void) = nullptr;
    return fn != nullptr && rmon_reset.compare_exchange_strong(none, fn) ? 0 : -1;
}

int settings_factory_default_validate(void) {
    ParsedImage parsed;
    char err[160];
    if (factory_parse(parsed, err, sizeof err)) return 1;
    logger_printf(LOG_LEVEL_ERROR, LOG_MOD_PERSISTENCE, "Factory defaults invalid: %s", err);
    return 0;
}

int settings_factory_default(void) {
    SalLock hold(settings_lock());
    ParsedImage parsed;
    char err[160];
    if (!factory_parse(parsed, err, sizeof err)) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_PERSISTENCE, "Factory defaults invalid: %s", err);
        return 0;
    }
    int (*reset)(void) = rmon_reset.load();
    bool rmon_ok = reset == nullptr || reset() == 0;
    bool items_ok = load_image(parsed, ~SETTINGS_GROUP_RMON, "factory defaults", false);
    return rmon_ok && items_ok ? 1 : 0;
}

int settings_image_build(uint8_t *buf, size_t size) {
    if (buf == nullptr) return -1;
    SalLock hold(settings_lock());
    ByteBuffer image;
    binary_begin(image);
    for (const settings_item &item : std::span(g_serializers, g_serializers_count)) {
        if (settings_item_handler(&item) == nullptr) continue;
        ItemValue v;
        if (item_save(item, v) < 0 || !binary_append_item(image, item, v)) return -1;
    }
    if (!binary_finish(image) || image.size() > size) return -1;
    std::memcpy(buf, image.data(), image.size());
    return static_cast<int>(image.size());
}
