// Response preparation: form arguments, status, caching rule and the header
// lines of the response head.
#include <cstdio>
#include <cstring>
#include <optional>

#include "httpd_internal.h"
#include "sal.h"
#include "settings.h"
#include "web_pages.h"

namespace {

// Shared by all requests: only valid while the event-4 calls run.
httpd_pair pair_table[HTTPD_PAIRS_MAX];
int pair_count = 0;
const httpd_request *pairs_owner = nullptr;

bool is_static_file(const httpd_record *record) {
    return record != nullptr && (record->kind & HTTPD_REC_TYPE_MASK) == HTTPD_REC_TEXT &&
           (record->kind & HTTPD_REC_LAST) != 0;
}

void cookie_line(char *line, size_t size, const char *value) {
    char clean[HTTPD_HEAD_LINE_MAX];
    httpd_text_clean(value, clean, sizeof(clean));
    // SameSite keeps pages of other sites from sending the session cookie.
    std::snprintf(line, size, "Set-Cookie: %s=%s; path=/; SameSite=Strict", httpd_server_name(),
                  clean);
}

void busy_page(httpd_request *req, const char *message) {
    httpd_event ev{HTTPD_EV_ARGS, req->record, req->flags, {}, {}, {}};
    web_error_page(&ev, req, "Busy", message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
    req->record = ev.content;
    req->flags = ev.flags;
}

bool filled(httpd_word word) {
    return word.text != nullptr && word.text[0] != '\0';
}

}  // namespace

void httpd_text_clean(const char *text, char *out, size_t size) {
    if (size == 0) return;
    size_t n = 0;
    for (const char *p = text != nullptr ? text : ""; *p != '\0' && n + 1 < size; p++) {
        auto c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != 0x7f) out[n++] = static_cast<char>(c);
    }
    out[n] = '\0';
}

const httpd_pair *httpd_req_pairs(const httpd_request *req, int *count) {
    bool valid = req != nullptr && req == pairs_owner;
    if (count != nullptr) *count = valid ? pair_count : 0;
    return valid ? pair_table : nullptr;
}

bool httpd_response_images_pending(httpd_request *req, uint32_t waited_usecs, bool images_ahead) {
    if ((req->flags & (HTTPD_F_EV_ARGS | HTTPD_F_VIEW_ONLY)) != HTTPD_F_EV_ARGS) return false;
    // A form that queues an image itself queues it behind those waiting:
    // the image waits for its turn instead.
    if ((req->flags & HTTPD_F_IMAGE_QUEUE) != 0 || !images_ahead) return false;
    if (waited_usecs < SAL_IMAGES_WAIT_USECS) return true;
    req->images_busy = true;
    return false;
}

bool httpd_response_changes_settings(const httpd_request *req) {
    if ((req->flags & HTTPD_F_VIEW_ONLY) != 0) return false;
    return (req->flags & HTTPD_F_EV_ARGS) != 0 || httpd_request_uploads(req);
}

bool httpd_response_static(const httpd_request *req) {
    return req->row->handler == nullptr && is_static_file(req->record);
}

long httpd_response_prepare(httpd_request *req, char *status, size_t status_size) {
    status[0] = '\0';
    if ((req->flags & HTTPD_F_EV_ARGS) != 0 || (httpd_root_mask() & HTTPD_F_EV_ARGS) != 0) {
        pair_count = httpd_split_pairs(req->buf, req->buf_len, pair_table, HTTPD_PAIRS_MAX);
        pairs_owner = req;
        httpd_word pairs{.pairs = pair_table};
        httpd_word count{.num = pair_count};
        // A form handler changes settings and saves them: one step against a
        // load or factory reset on another thread. A plain page read waits
        // for neither.
        const bool form = pair_count > 0 || (req->flags & HTTPD_F_EV_ARGS) != 0;
        if (!form) {
            httpd_hook_event_send(req, HTTPD_EV_ARGS, HTTPD_F_EV_ARGS, pairs, count);
        } else if (!settings_startup_wait(HTTPD_STARTUP_WAIT_USECS)) {
            busy_page(req, "The switch is starting; try again in a moment.");
        } else if (req->images_busy) {
            busy_page(req, SAL_IMAGES_BUSY_TEXT);
        } else {
            // A form that only picks what its page shows has no load to
            // keep out.
            std::optional<SettingsLock> hold;
            if ((req->flags & HTTPD_F_VIEW_ONLY) == 0) hold.emplace();
            httpd_hook_event_send(req, HTTPD_EV_ARGS, HTTPD_F_EV_ARGS, pairs, count);
            httpd_handler_event_send(req, HTTPD_EV_ARGS, HTTPD_F_EV_ARGS, pairs, count, {});
        }
        pairs_owner = nullptr;
    }
    // From here on the buffer holds pending page output.
    req->buf_len = 0;
    req->buf_pos = 0;

    httpd_word answer{};
    httpd_hook_event_send(req, HTTPD_EV_STATUS, HTTPD_F_EV_STATUS, {}, {}, &answer);
    if (!filled(answer)) {
        answer = {};
        httpd_handler_event_send(req, HTTPD_EV_STATUS, HTTPD_F_EV_STATUS, {}, {}, {}, &answer);
    }
    if (filled(answer)) httpd_text_clean(answer.text, status, status_size);

    bool static_file = is_static_file(req->record);
    if ((req->flags & HTTPD_F_NO_CACHE) != 0) {
        req->flags &= ~HTTPD_F_LONG_CACHE;
    } else if (req->row->handler == nullptr && static_file) {
        req->flags |= HTTPD_F_LONG_CACHE;
    } else if ((req->flags & HTTPD_F_LONG_CACHE) == 0) {
        req->flags |= HTTPD_F_NO_CACHE;
    }
    long length = static_file ? req->record->arg[0] : 0;
    if ((req->flags & HTTPD_F_IF_MODIFIED) != 0 && (req->flags & HTTPD_F_LONG_CACHE) != 0 &&
        (status[0] == '\0' || std::strncmp(status, "200", 3) == 0)) {
        req->record = nullptr;
        length = 0;
        httpd_text_clean("304 Not Modified", status, status_size);
    }
    return length;
}

bool httpd_response_head_line(httpd_request *req, char *line, size_t size) {
    if ((req->flags & HTTPD_F_NO_CACHE) != 0) {
        req->flags &= ~HTTPD_F_NO_CACHE;
        std::snprintf(line, size, "Cache-Control: no-cache\r\nPragma: no-cache\r\nExpires: -1");
        return true;
    }
    if ((req->flags & HTTPD_F_LONG_CACHE) != 0) {
        req->flags &= ~HTTPD_F_LONG_CACHE;
        if ((req->flags & HTTPD_F_IF_MODIFIED) == 0) {
            std::snprintf(line, size,
                          "Cache-Control: max-age=2592000\r\n"
                          "Last-Modified: Sat, 01 Jan 2000 09:00:00 GMT\r\n"
                          "Expires: Mon, 31 Dec 2046 23:59:59 GMT");
            return true;
        }
    }
    // The root hook is asked on every call and answers each line once.
    httpd_word answer{};
    httpd_hook_event_send(req, HTTPD_EV_SET_COOKIE, HTTPD_F_EV_SET_COOKIE, {}, {}, &answer);
    if (answer.text != nullptr) {
        cookie_line(line, size, answer.text);
        return true;
    }
    answer = {};
    httpd_hook_event_send(req, HTTPD_EV_EXTRA_HEADER, HTTPD_F_EV_EXTRA_HEADER, {}, {}, &answer);
    if (filled(answer)) {
        httpd_text_clean(answer.text, line, size);
        return true;
    }
    if ((req->flags & HTTPD_F_EV_SET_COOKIE) != 0) {
        req->flags &= ~HTTPD_F_EV_SET_COOKIE;
        answer = {};
        httpd_handler_event_send(req, HTTPD_EV_SET_COOKIE, 0, {}, {}, {}, &answer);
        if (answer.text != nullptr) {
            cookie_line(line, size, answer.text);
            return true;
        }
    }
    if ((req->flags & HTTPD_F_EV_ATTACHMENT) != 0) {
        req->flags &= ~HTTPD_F_EV_ATTACHMENT;
        answer = {};
        httpd_handler_event_send(req, HTTPD_EV_ATTACHMENT, 0, {}, {}, {}, &answer);
        char name[256];
        httpd_text_clean(filled(answer) ? answer.text : req->row->name, name, sizeof(name));
        // A quote or backslash would end or escape the quoted file name.
        for (char *p = name; *p != '\0'; p++) {
            if (*p == '"' || *p == '\\') *p = '_';
        }
        std::snprintf(line, size, "Content-Disposition: attachment; filename=\"%s\"", name);
        return true;
    }
    if ((req->flags & HTTPD_F_EV_EXTRA_HEADER) != 0) {
        req->flags &= ~HTTPD_F_EV_EXTRA_HEADER;
        answer = {};
        httpd_handler_event_send(req, HTTPD_EV_EXTRA_HEADER, 0, {}, {}, {}, &answer);
        if (filled(answer)) {
            httpd_text_clean(answer.text, line, size);
            return true;
        }
    }
    return false;
}
