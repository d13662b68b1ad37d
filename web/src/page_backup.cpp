// Backup download, restore upload and factory defaults of the whole
// settings image. The image's text form belongs to the settings
// serializer; these pages only move it.
#include <string>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "logger.h"
#include "port_reserve.h"
#include "sal.h"
#include "settings.h"
#include "web_pages.h"
#include "web_system.h"

namespace {

constexpr size_t kPieceMax = 200;
constexpr uint32_t kAllGroups = 0xFFFFFFFF;
constexpr uint32_t kAllButRmon = 0xFFFFFFFE;
constexpr const char *kRestoreTitle = "Restore Settings";
constexpr const char *kInvalidFile = "Invalid format or version not matched!";
constexpr const char *kNoResource = "Internal server error. You may need to restart the system.";

// Reading position in the backup text; the character saved where the last
// piece was cut is put back before the next one.
struct line_cursor {
    long pos;  // -1 at the end
    char saved;
};

// The restore upload, held whole in memory.
struct restore_upload {
    char *buf;
    long size;
};

const char backup_key = 0;
const char cursor_key = 0;
const char restore_key = 0;

std::atomic<void (*)(void)> counters_clear{nullptr};

// A whole settings image cannot be applied around a test: the test would
// put its ports back afterwards while the store held the image, so both stay
// as they are until the test has ended.
const char *held_text() {
    return web_any_port_held_text();
}

const char *held_refusal(const char *held, const char *what) {
    static char message[200];  // "httpd" only
    std::snprintf(message, sizeof message,
                  "%s: %s and nothing changed; try again once the test has ended", held, what);
    return message;
}

// From its acceptance until it is applied and stored, an image keeps every
// self-test from starting: the page has announced it, so it is done whole.
// Each accepted image holds a bar of its own, given back once it is stored,
// so the tests stay barred until the last one waiting is done.
constexpr const char *kBarReason = "a restore is being applied";

// Each accepted restore or reset is a deferred action of its own, run in the
// order accepted: the one accepted last is what runs last and is stored.
// Uploads waiting are held whole in memory, so only so many may wait.
constexpr int kImagesWaitingMax = 8;
std::atomic<int> images_waiting{0};

// Bars the tests for an accepted image; false (nothing barred) while a test
// holds a port already.
bool bar_tests() {
    return port_reserve_bar(kBarReason) == 0;
}

// The refusal of an image that cannot wait: logged, and the page's text.
const char *cannot_wait(const httpd_request *req, const char *log_prefix, const char *why,
                        const char *what, const char *until) {
    static char message[200];  // "httpd" only
    web_refused_printf(req, LOG_MOD_PERSISTENCE, "%s: %s; nothing changed", log_prefix, why);
    std::snprintf(message, sizeof message, "%s: %s and nothing changed; try again once %s", why,
                  what, until);
    return message;
}

// A restart under way, from whichever entrance, would drop the image.
constexpr const char *kRestarting = "The switch is restarting";
constexpr const char *kRestarted = "it has restarted";

void image_done(uint32_t turn) {
    images_waiting--;
    port_reserve_unbar();  // the image's bar
    sal_turn_release(turn);
}

// An accepted image and where it stands among every entrance's changes.
struct image_job {
    httpd_timer_fn apply;
    void *arg;
    uint32_t turn;
};

// Applies the image once everything accepted before it at any entrance has
// run (an earlier image, an SNMP SET or a form held behind one); till then
// it looks again on the timer's next tick, behind the images queued before
// it.
void image_run(void *p) {
    auto *job = static_cast<image_job *>(p);
    if (sal_turn_before(job->turn) != 0 && httpd_timer_once(0, image_run, job)) return;
    job->apply(job->arg);
    image_done(job->turn);
    sal_free(job);
}

// Bars the tests and queues the image's action behind those accepted before
// it: nullptr, or why nothing was queued (nothing barred then).
const char *image_accept(const httpd_request *req, httpd_timer_fn apply, void *arg,
                         const char *log_prefix, const char *what) {
    const char *held = held_text();
    if (held != nullptr || !bar_tests()) {
        web_refused_printf(req, LOG_MOD_PERSISTENCE, "%s: a self-test holds ports; nothing changed",
                           log_prefix);
        return held_refusal(held != nullptr ? held : "A self-test holds ports", what);
    }
    // Counted before the look at restarts: a restart announced after the
    // look waits for the image, one announced before it is seen here.
    const int waiting = images_waiting++;
    // Why the image cannot wait now: the restart would drop it, and the
    // uploads waiting are held in memory.
    const char *refused = nullptr;
    if (sal_restart_announced() != 0) {
        refused = cannot_wait(req, log_prefix, kRestarting, what, kRestarted);
    } else if (waiting >= kImagesWaitingMax) {
        refused = cannot_wait(req, log_prefix, "Too many restores are waiting to be applied", what,
                              "they are done");
    }
    if (refused != nullptr) {
        images_waiting--;
        port_reserve_unbar();
        return refused;
    }
    // The image holds its request's turn until it is applied.
    const uint32_t turn = httpd_req_turn(req);
    sal_turn_keep(turn);
    auto *job = static_cast<image_job *>(sal_alloc(sizeof(image_job), "restore"));
    if (job != nullptr) *job = {apply, arg, turn};
    if (job == nullptr || !httpd_timer_once(1, image_run, job)) {
        sal_free(job);
        image_done(turn);
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_PERSISTENCE, "%s: not enough resource!", log_prefix);
        return kNoResource;
    }
    return nullptr;
}

// Holds the settings lock and keeps every self-test from starting while the
// whole image is applied and stored; false (nothing held) while one runs.
class WholeImage {
  public:
    WholeImage() : ok_(port_reserve_hold_all() == 0) {}
    ~WholeImage() {
        if (ok_) port_reserve_unhold();
    }
    WholeImage(const WholeImage &) = delete;
    WholeImage &operator=(const WholeImage &) = delete;
    bool ok() const { return ok_; }

  private:
    SettingsLock settings_;  // before the reservation's lock
    bool ok_;
};

void restore_apply(void *arg) {
    auto *buf = static_cast<char *>(arg);
    {
        WholeImage whole;
        if (!whole.ok()) {
            // Cannot happen while the upload's bar stands; said if it does.
            logger_puts(LOG_LEVEL_WARNING, LOG_MOD_PERSISTENCE,
                        "Restore settings: a self-test holds ports; nothing changed");
        } else if (settings_restore_from_memory(buf) != 1) {
            logger_puts(LOG_LEVEL_ERROR, LOG_MOD_PERSISTENCE,
                        "Restore settings: error occurred! The backup was not applied whole "
                        "and is not stored");
        } else if (settings_save_group(kAllGroups) != 1) {
            logger_puts(LOG_LEVEL_ERROR, LOG_MOD_PERSISTENCE,
                        "Restore settings: error occurred! The backup runs but was not stored");
        } else {
            logger_puts(LOG_LEVEL_INFO, LOG_MOD_PERSISTENCE, "Restore settings: process completed");
        }
    }
    sal_free(buf);
}

void factory_load() {
    WholeImage whole;
    if (!whole.ok()) {
        logger_puts(LOG_LEVEL_WARNING, LOG_MOD_PERSISTENCE,
                    "Restore factory defaults: a self-test holds ports; nothing changed");
        return;
    }
    logger_puts(LOG_LEVEL_INFO, LOG_MOD_PERSISTENCE, "Restore factory defaults: process started");
    if (settings_factory_default() != 1) {
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_PERSISTENCE,
                    "Restore factory defaults: error occurred!");
        return;
    }
    const bool stored = settings_save_group(kAllButRmon) == 1;
    void (*clear)(void) = counters_clear.load();
    if (clear != nullptr) clear();
    if (!stored) {
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_PERSISTENCE,
                    "Restore factory defaults: error occurred! The defaults run but were not "
                    "stored");
        return;
    }
    logger_puts(LOG_LEVEL_INFO, LOG_MOD_PERSISTENCE, "Restore factory defaults: process completed");
}

void factory_apply(void *) {
    factory_load();
}

int restore_refuse(httpd_event *ev, httpd_request *req, const char *message) {
    web_error_page(ev, req, kRestoreTitle, message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
    ev->flags &= ~HTTPD_F_MULTIPART;  // drop the rest of the body
    return 1;
}

void restore_drop(httpd_request *req) {
    auto *up = static_cast<restore_upload *>(httpd_req_state_find(req, &restore_key));
    if (up == nullptr) return;
    sal_free(up->buf);
    httpd_req_state_free(req, &restore_key);
}

int restore_start(httpd_event *ev, httpd_request *req, long size) {
    if (size <= 0 || size > static_cast<long>(SETTINGS_BACKUP_SIZE)) {
        web_refused_puts(req, LOG_MOD_PERSISTENCE, "Restore settings: invalid config file");
        return restore_refuse(ev, req, kInvalidFile);
    }
    if (const char *held = held_text()) {
        web_refused_puts(req, LOG_MOD_PERSISTENCE,
                         "Restore settings: a self-test holds ports; nothing changed");
        return restore_refuse(ev, req, held_refusal(held, "the backup is not restored"));
    }
    // Not read at all once it could not be applied.
    if (sal_restart_announced() != 0)
        return restore_refuse(ev, req,
                              cannot_wait(req, "Restore settings", kRestarting,
                                          "the backup is not restored", kRestarted));
    logger_puts(LOG_LEVEL_INFO, LOG_MOD_PERSISTENCE, "Restore settings: process started");
    auto *buf = static_cast<char *>(sal_alloc(static_cast<size_t>(size) + 2, "restore"));
    auto *up = static_cast<restore_upload *>(
        buf != nullptr ? httpd_req_state_get(req, &restore_key, sizeof(restore_upload)) : nullptr);
    if (up == nullptr) {
        sal_free(buf);
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_PERSISTENCE, "Restore settings: not enough resource!");
        return restore_refuse(ev, req, kNoResource);
    }
    *up = {buf, size};
    return 0;
}

int restore_end(httpd_event *ev, httpd_request *req, long received) {
    auto *up = static_cast<restore_upload *>(httpd_req_state_find(req, &restore_key));
    if (up == nullptr) return 0;
    if (received != up->size) {
        restore_drop(req);
        return web_error_page(ev, req, kRestoreTitle, kInvalidFile, WEB_RETRY_LABEL,
                              WEB_RETRY_ACTION);
    }
    up->buf[received] = '\n';
    up->buf[received + 1] = '\0';
    if (settings_validate_memory(up->buf) == 0) {
        web_refused_printf(req, LOG_MOD_PERSISTENCE, "Settings image invalid: %s",
                           settings_validate_error());
        restore_drop(req);
        // A value no form takes is named, as the form would name it.
        const char *reason = settings_validate_reason();
        const std::string message = reason[0] != '\0' ? std::string(kInvalidFile) + " " + reason
                                                      : std::string(kInvalidFile);
        return web_error_page(ev, req, kRestoreTitle, message.c_str(), WEB_RETRY_LABEL,
                              WEB_RETRY_ACTION);
    }
    if (const char *refused = image_accept(req, restore_apply, up->buf, "Restore settings",
                                           "the backup is not restored")) {
        restore_drop(req);
        return web_error_page(ev, req, kRestoreTitle, refused, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
    }
    httpd_req_state_free(req, &restore_key);  // the buffer is the action's now
    return 0;
}

}  // namespace

int web_images_waiting(void) {
    return images_waiting.load();
}

void web_counters_clear_set(void (*fn)(void)) {
    counters_clear.store(fn);
}

int dxpqsw_cfg(httpd_event *ev, httpd_request *req) {
    switch (ev->event) {
        case HTTPD_EV_ARGS: {
            auto *cursor = static_cast<line_cursor *>(
                httpd_req_state_get(req, &cursor_key, sizeof(line_cursor)));
            auto *text =
                static_cast<char *>(httpd_req_state_get(req, &backup_key, SETTINGS_BACKUP_SIZE));
            if (cursor == nullptr || text == nullptr || settings_backup_to_memory(text) == 0) {
                httpd_req_state_free(req, &cursor_key);
                return web_error_page(ev, req, "Backup Current Settings",
                                      "Failed to backup current settings!", WEB_RETRY_LABEL,
                                      WEB_RETRY_ACTION);
            }
            *cursor = {text[0] != '\0' ? 0 : -1, text[0]};
            return 0;
        }
        case HTTPD_EV_EXTRA_HEADER: {
            const auto *text = static_cast<const char *>(httpd_req_state_find(req, &backup_key));
            if (httpd_req_state_find(req, &cursor_key) == nullptr || text == nullptr) return 0;
            static char line[48];  // "httpd" only
            std::snprintf(line, sizeof line, "Content-Length: %zu", std::strlen(text));
            ev->a.text = line;
            return 0;
        }
        case HTTPD_EV_ATTACHMENT:
            ev->a.text = SETTINGS_BACKUP_FILE_NAME;
            return 0;
        default:
            return 0;
    }
}

int ssploop_backup_tag_line(const uint16_t *, int, httpd_request *req) {
    const auto *cursor = static_cast<const line_cursor *>(httpd_req_state_find(req, &cursor_key));
    return cursor != nullptr && cursor->pos != -1 ? 1 : 0;
}

void sspvar_backup_tag_line(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    auto *cursor = static_cast<line_cursor *>(httpd_req_state_find(req, &cursor_key));
    auto *text = static_cast<char *>(httpd_req_state_find(req, &backup_key));
    if (cursor == nullptr || text == nullptr || cursor->pos < 0) return;
    char *piece = text + cursor->pos;
    *piece = cursor->saved;
    size_t len = 0;
    while (len < kPieceMax && piece[len] != '\0') {
        if (piece[len++] == '\n') break;
    }
    if (piece[len] == '\0') {
        cursor->pos = -1;
    } else {
        cursor->saved = piece[len];
        piece[len] = '\0';
        cursor->pos += static_cast<long>(len);
    }
    web_tag_text(out, piece);
}

int restore_cgi(httpd_event *ev, httpd_request *req) {
    switch (ev->event) {
        case HTTPD_EV_UPLOAD: {
            if (ev->a.data == nullptr && ev->b.num == -1) return restore_start(ev, req, ev->c.num);
            if (ev->a.data == nullptr) return restore_end(ev, req, ev->b.num);
            auto *up = static_cast<restore_upload *>(httpd_req_state_find(req, &restore_key));
            long offset = ev->b.num;
            long len = ev->c.num;
            // Every copy stays inside the allocation, whatever the offsets say.
            if (up != nullptr && offset >= 0 && len >= 0 && offset <= up->size &&
                len <= up->size - offset)
                std::memcpy(up->buf + offset, ev->a.data, static_cast<size_t>(len));
            return 0;
        }
        case HTTPD_EV_CLOSE:
            restore_drop(req);  // an upload that did not finish
            return 0;
        default:
            return 0;
    }
}

int restored_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    if (ev->b.num == 1 && std::strcmp(ev->a.pairs[0].value, "2") == 0) {
        if (const char *refused =
                image_accept(req, factory_apply, nullptr, "Restore factory defaults",
                             "the factory defaults are not restored"))
            return web_error_page(ev, req, "Restore Factory Defaults", refused, WEB_RETRY_LABEL,
                                  WEB_RETRY_ACTION);
        return 0;
    }
    return web_content_switch(ev, "/system.htm");
}
