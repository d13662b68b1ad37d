// Request contexts: opening and closing, events to the root hook and the
// page handler, the header and body steps, and per-request state blocks.
#include <algorithm>
#include <cstring>

#include "httpd_internal.h"
#include "sal.h"

namespace {

// Per-request state of a multipart upload.
struct upload_state {
    long passed;  // file bytes handed to the handler
    long head;    // part head up to and including the blank line
    long tail;    // closing boundary line
};

const char upload_key = 0;

void free_blocks(httpd_request *req) {
    while (req->blocks != nullptr) {
        httpd_state_block *next = req->blocks->next;
        sal_free(req->blocks);
        req->blocks = next;
    }
}

void append_argument(httpd_request *req, const char *data, size_t len) {
    size_t room = HTTPD_ARG_MAX - req->buf_len;
    size_t n = std::min(len, room);
    std::memcpy(req->buf + req->buf_len, data, n);
    req->buf_len += n;
    req->buf[req->buf_len] = '\0';
}

// First chunk of an upload: finds the part head and announces the file.
bool upload_start(httpd_request *req, const char *&data, size_t &len) {
    const char *blank = nullptr;
    for (size_t i = 0; i + 4 <= len; i++) {
        if (std::memcmp(data + i, "\r\n\r\n", 4) == 0) {
            blank = data + i;
            break;
        }
    }
    // The part head must come whole in the first chunk.
    if (blank == nullptr) return false;
    long head = static_cast<long>(blank - data) + 4;
    const char *line_end = static_cast<const char *>(std::memchr(data, '\r', len));
    long tail = static_cast<long>(line_end - data) + 6;
    long file_size = req->content_length - head - tail;
    // An empty file (what a browser sends for an empty one) is announced
    // too: its handler answers it.
    if (file_size < 0) return false;
    auto *up =
        static_cast<upload_state *>(httpd_req_state_get(req, &upload_key, sizeof(upload_state)));
    if (up == nullptr) return false;
    *up = {0, head, tail};
    httpd_word none{};
    int changed = httpd_handler_event_send(req, HTTPD_EV_UPLOAD, HTTPD_F_MULTIPART, none,
                                           httpd_word{.num = -1}, httpd_word{.num = file_size});
    if (changed == 1 && (req->flags & HTTPD_F_MULTIPART) == 0) {
        httpd_req_state_free(req, &upload_key);
        req->drop_body = true;
        return true;
    }
    data += head;
    len -= static_cast<size_t>(head);
    return true;
}

// The value of the session cookie among the pairs of a Cookie header
// (split on ";" and blanks), copied whole; null when the header has none.
// Browsers send every cookie of the address, not only ours.
const char *session_cookie_find(const char *header) {
    static char value[HTTPD_IO_SIZE + 1];  // "httpd" only
    const char *cookie_name = httpd_server_name();
    size_t name_len = std::strlen(cookie_name);
    for (const char *p = header; *p != '\0';) {
        while (*p == ';' || *p == ' ' || *p == '\t')
            p++;
        size_t len = std::strcspn(p, "; \t");
        if (len > name_len && p[name_len] == '=' && std::strncmp(p, cookie_name, name_len) == 0) {
            size_t value_len = len - name_len - 1;
            std::memcpy(value, p + name_len + 1, value_len);
            value[value_len] = '\0';
            return value;
        }
        p += len;
    }
    return nullptr;
}

}  // namespace

httpd_request *httpd_request_open(const char *path, const char *query, int sock) {
    const httpd_file *row = httpd_file_find(path);
    if (row == nullptr || (row->flags & HTTPD_F_INTERNAL) != 0) return nullptr;
    auto *req = static_cast<httpd_request *>(sal_alloc(sizeof(httpd_request), "httpd_request"));
    if (req == nullptr) return nullptr;
    req->row = row;
    req->record = row->content;
    req->flags = row->flags;
    req->socket = sock;
    req->turn = 0;
    httpd_hook_event_send(req, HTTPD_EV_HOOK_OPEN, HTTPD_F_EV_HOOK_OPEN, httpd_word{.text = path},
                          httpd_word{});
    if (req->row == nullptr || (req->row->flags & HTTPD_F_INTERNAL) != 0) {
        free_blocks(req);  // the hook may have kept state already
        sal_free(req);
        return nullptr;
    }
    if (query != nullptr) append_argument(req, query, std::strlen(query));
    httpd_handler_event_send(req, HTTPD_EV_OPEN, HTTPD_F_EV_OPEN_CLOSE, {}, {}, {});
    return req;
}

void httpd_request_close(httpd_request *req) {
    if (req == nullptr) return;
    httpd_hook_event_send(req, HTTPD_EV_CLOSE, HTTPD_F_EV_OPEN_CLOSE, {}, {});
    httpd_handler_event_send(req, HTTPD_EV_CLOSE, HTTPD_F_EV_OPEN_CLOSE, {}, {}, {});
    free_blocks(req);
    sal_free(req);
}

int httpd_hook_event_send(httpd_request *req, int event, uint32_t bit, httpd_word a, httpd_word b,
                          httpd_word *out) {
    httpd_hook_fn hook = httpd_root_hook();
    if (hook == nullptr || (httpd_root_mask() & bit) == 0) return 0;
    httpd_hook_event ev{event, req->row, req->record, req->flags, a, b};
    int changed = hook(&ev, req);
    if (out != nullptr) *out = ev.a;
    if (changed == 1) {
        req->record = ev.content;
        req->flags = ev.flags;
        if (event == HTTPD_EV_HOOK_OPEN) req->row = ev.row;
    }
    return changed;
}

int httpd_handler_event_send(httpd_request *req, int event, uint32_t bit, httpd_word a,
                             httpd_word b, httpd_word c, httpd_word *out) {
    if (req->row->handler == nullptr || (bit != 0 && (req->flags & bit) == 0)) return 0;
    httpd_event ev{event, req->record, req->flags, a, b, c};
    int changed = req->row->handler(&ev, req);
    if (out != nullptr) *out = ev.a;
    if (changed == 1) {
        req->record = ev.content;
        req->flags = ev.flags;
    }
    return changed;
}

void httpd_request_header(httpd_request *req, const char *name, const char *value) {
    if (name != nullptr) {
        const char *cookie = nullptr;
        if (std::strcmp(name, "Cookie") == 0) cookie = session_cookie_find(value);
        if (cookie != nullptr) {
            httpd_word text{.text = cookie};
            httpd_hook_event_send(req, HTTPD_EV_COOKIE, HTTPD_F_EV_COOKIE, text, {});
            httpd_handler_event_send(req, HTTPD_EV_COOKIE, HTTPD_F_EV_COOKIE, text, {}, {});
        }
        if (std::strcmp(name, "If-Modified-Since") == 0) req->flags |= HTTPD_F_IF_MODIFIED;
    }
    httpd_word a{.text = name};
    httpd_word b{.text = value};
    httpd_hook_event_send(req, HTTPD_EV_HEADER, HTTPD_F_EV_HEADER, a, b);
    httpd_handler_event_send(req, HTTPD_EV_HEADER, HTTPD_F_EV_HEADER, a, b, {});
}

bool httpd_request_body(httpd_request *req, const char *data, size_t len) {
    if (req->drop_body || len == 0) return true;
    if (req->row->handler == nullptr || (req->flags & HTTPD_F_MULTIPART) == 0) {
        append_argument(req, data, len);
        return true;
    }
    auto *up = static_cast<upload_state *>(httpd_req_state_find(req, &upload_key));
    if (up == nullptr) {
        if (!upload_start(req, data, len)) return false;
        if (req->drop_body) return true;
        up = static_cast<upload_state *>(httpd_req_state_find(req, &upload_key));
    }
    // Hand over file bytes only: the closing boundary stays behind.
    long room = req->content_length - up->tail - up->head - up->passed;
    long chunk = std::min(static_cast<long>(len), std::max(room, 0L));
    if (chunk > 0) {
        httpd_handler_event_send(req, HTTPD_EV_UPLOAD, HTTPD_F_MULTIPART, httpd_word{.data = data},
                                 httpd_word{.num = up->passed}, httpd_word{.num = chunk});
        up->passed += chunk;
    }
    return true;
}

void httpd_request_body_end(httpd_request *req) {
    auto *up = static_cast<upload_state *>(httpd_req_state_find(req, &upload_key));
    if (up == nullptr || req->drop_body) return;
    httpd_handler_event_send(req, HTTPD_EV_UPLOAD, HTTPD_F_MULTIPART, httpd_word{},
                             httpd_word{.num = up->passed}, httpd_word{.num = 0});
}

bool httpd_request_uploads(const httpd_request *req) {
    return (req->flags & HTTPD_F_MULTIPART) != 0;
}

int httpd_req_socket(const httpd_request *req) {
    return req != nullptr ? req->socket : -1;
}

uint32_t httpd_req_turn(const httpd_request *req) {
    return req != nullptr ? req->turn : 0;
}

void httpd_req_answer_unlocked(httpd_request *req) {
    if (req != nullptr) req->unlocked = true;
}

int httpd_req_authorised(const httpd_request *req) {
    return req != nullptr && (req->flags & HTTPD_F_LOGIN_FREE) != 0 ? 1 : 0;
}

void *httpd_req_state_get(httpd_request *req, const void *key, size_t size) {
    if (req == nullptr) return nullptr;
    void *found = httpd_req_state_find(req, key);
    if (found != nullptr) {
        auto *block = reinterpret_cast<httpd_state_block *>(found) - 1;
        if (block->size >= size) return found;
        httpd_req_state_free(req, key);
    }
    auto *block = static_cast<httpd_state_block *>(
        sal_alloc(sizeof(httpd_state_block) + size, "httpd_req_state"));
    if (block == nullptr) return nullptr;
    block->key = key;
    block->size = size;
    block->next = req->blocks;
    req->blocks = block;
    return block->data();
}

void *httpd_req_state_find(const httpd_request *req, const void *key) {
    if (req == nullptr) return nullptr;
    for (httpd_state_block *block = req->blocks; block != nullptr; block = block->next) {
        if (block->key == key) return block->data();
    }
    return nullptr;
}

void httpd_req_state_free(httpd_request *req, const void *key) {
    if (req == nullptr) return;
    for (httpd_state_block **link = &req->blocks; *link != nullptr; link = &(*link)->next) {
        if ((*link)->key == key) {
            httpd_state_block *block = *link;
            *link = block->next;
            sal_free(block);
            return;
        }
    }
}
