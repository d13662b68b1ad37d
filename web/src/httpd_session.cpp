// The session state machine: reading the request, sending the response head
// and the rendered page, closing.
//
//   FREE --accept--> REQUEST_LINE (ACCEPTED is passed at once)
//   REQUEST_LINE --request line, row opened--> HEADERS
//   HEADERS --blank line, no body--> HEAD; --blank line, body--> BODY
//   BODY --last body byte--> HEAD
//   HEAD --head sent--> SEND_BODY --page rendered--> SENT
//   SENT --nothing left unsent--> FREE
//
// Any state goes to FREE through the close: a malformed or unservable
// request, a send error or reset, the client closing while the request is
// read, the request deadline (REQUEST_LINE to BODY) or the idle limit (HEAD
// to SENT), or the server reclaiming the slot for a newcomer. A client that
// shuts down only its sending side while being answered still gets the
// whole answer.
#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#include "settings.h"
#include "httpd_internal.h"
#include "log_gate.h"
#include "sal.h"
#include "web_pages.h"

namespace {

// One read/send buffer for every session, with a spare byte for the
// terminator of the last line.
char io_buf[HTTPD_IO_SIZE + 1];

// Renderer steps per writable event, so that a page whose loops print
// nothing cannot hold the thread.
constexpr int kRenderStepsPerEvent = 4096;
// Pieces of HTTPD_SEND_LIMIT bytes sent per writable event at most.
constexpr int kPiecesPerWrite = 8;
// A rendered page stops here, as does one whose loops print nothing for
// this many rounds of renderer steps.
constexpr size_t kPageMaxBytes = 4u << 20;
constexpr int kPageIdleRounds = 64;

// Forms waiting for the settings images ("httpd" only; read by a restart,
// which lets them run first).
std::atomic<int> forms_waiting{0};

bool image_upload(const httpd_session *s) {
    return httpd_request_uploads(s->req) && (s->req->flags & HTTPD_F_IMAGE_QUEUE) != 0;
}

// A settings change takes its place among the images and the changes of
// every entrance and holds it until its page has run: an image accepted
// after it elsewhere runs after it. A request that may queue an image (a
// restore upload from its head, a factory reset) holds its turn as an image
// from the start, so that a change accepted after it at another entrance
// waits for it even while it waits behind another form.
void take_turn(httpd_session *s) {
    if (s->turn_held || !httpd_response_changes_settings(s->req)) return;
    s->images_turn = sal_turn_take((s->req->flags & HTTPD_F_IMAGE_QUEUE) != 0 ? 1 : 0);
    s->req->turn = s->images_turn;
    s->turn_held = true;
}

void release_turn(httpd_session *s) {
    if (!s->turn_held) return;
    s->turn_held = false;
    sal_turn_release(s->images_turn);
}

void start_waiting(httpd_session *s, uint32_t now) {
    if (s->images_deferred) return;
    s->images_deferred = true;
    s->images_since = now;
    forms_waiting++;
}

void stop_waiting(httpd_session *s) {
    if (!s->images_deferred) return;
    s->images_deferred = false;
    forms_waiting--;
}

bool read_request_line(httpd_session *s, size_t fill, size_t *pos) {
    char *line = nullptr;
    if (httpd_take_line(io_buf, fill, pos, &line) != httpd_line_result::line) return false;
    bool post = false;
    char *path = nullptr;
    char *query = nullptr;
    if (!httpd_parse_request_line(line, &post, &path, &query)) return false;
    s->req = httpd_request_open(path, post ? nullptr : query, s->sock.get());
    if (s->req == nullptr) return false;
    s->state = HTTPD_SLOT_HEADERS;
    return true;
}

// One header line; false closes the session.
bool header_line(httpd_session *s, char *line) {
    char *name = nullptr;
    char *value = nullptr;
    if (!httpd_parse_header(line, &name, &value)) return true;  // not a header: ignored
    if (sal_strcasecmp(name, "Content-Length") == 0) {
        long length = 0;
        if (!httpd_parse_content_length(value, &length)) return false;
        s->remaining = length;
        s->req->content_length = length;
    }
    httpd_request_header(s->req, name, value);
    return true;
}

void start_response(httpd_session *s) {
    // A form is accepted whole: one trickling its body holds up no change
    // accepted meanwhile.
    take_turn(s);
    s->state = HTTPD_SLOT_HEAD;
    httpd_session_write(s);
}

// Feeds the bytes of one read through the states; false closes the session.
bool consume(httpd_session *s, size_t fill) {
    size_t pos = 0;
    if (s->state == HTTPD_SLOT_REQUEST_LINE && !read_request_line(s, fill, &pos)) return false;
    while (s->state == HTTPD_SLOT_HEADERS) {
        char *line = nullptr;
        switch (httpd_take_line(io_buf, fill, &pos, &line)) {
            case httpd_line_result::none:
                return true;  // the read ended at a line end: wait for more
            case httpd_line_result::partial:
            case httpd_line_result::invalid:
                return false;
            case httpd_line_result::line:
                break;
        }
        if (line[0] != '\0') {
            if (!header_line(s, line)) return false;
            continue;
        }
        httpd_request_header(s->req, nullptr, nullptr);
        // A restore upload is accepted with its headers: what is accepted
        // after it runs after its image, however long its body takes (it
        // ends within HTTPD_IMAGE_UPLOAD_SECONDS).
        if (image_upload(s)) take_turn(s);
        if (s->remaining == 0) {
            start_response(s);
            return true;
        }
        s->state = HTTPD_SLOT_BODY;
        s->progress_at = sal_time();
        s->progress_bytes = 0;
    }
    if (s->state == HTTPD_SLOT_BODY) {
        size_t take = std::min(fill - pos, static_cast<size_t>(s->remaining));
        if (!httpd_request_body(s->req, io_buf + pos, take)) return false;
        s->remaining -= static_cast<long>(take);
        s->progress_bytes += static_cast<long>(take);
        if (s->progress_bytes >= HTTPD_BODY_PROGRESS_BYTES) {
            s->progress_at = sal_time();
            s->progress_bytes = 0;
        }
        if (s->remaining == 0) {
            httpd_request_body_end(s->req);
            start_response(s);
        }
    }
    return true;
}

// Status line, head lines and the blank line; false when the send buffer
// filled up first.
bool fill_head(httpd_session *s, size_t *fill) {
    if (!s->head_begun) {
        s->head_begun = true;
        char status[64];
        long length = httpd_response_prepare(s->req, status, sizeof(status));
        *fill += static_cast<size_t>(std::snprintf(io_buf + *fill, HTTPD_SEND_LIMIT - *fill,
                                                   "HTTP/1.0 %s\r\nConnection: close\r\n",
                                                   status[0] != '\0' ? status : "200 OK"));
        if (length > 0) {
            *fill += static_cast<size_t>(std::snprintf(io_buf + *fill, HTTPD_SEND_LIMIT - *fill,
                                                       "Content-Length: %ld\r\n", length));
        }
    }
    for (;;) {
        if (!s->line_held) {
            if (!httpd_response_head_line(s->req, s->head_line, sizeof(s->head_line))) break;
            s->line_held = true;
        }
        size_t len = std::strlen(s->head_line);
        if (*fill + len + 2 > HTTPD_SEND_LIMIT) return false;
        std::memcpy(io_buf + *fill, s->head_line, len);
        std::memcpy(io_buf + *fill + len, "\r\n", 2);
        *fill += len + 2;
        s->line_held = false;
    }
    if (*fill + 2 > HTTPD_SEND_LIMIT) return false;
    std::memcpy(io_buf + *fill, "\r\n", 2);
    *fill += 2;
    s->state = HTTPD_SLOT_SEND_BODY;
    return true;
}

void fill_body(httpd_session *s, size_t *fill) {
    for (int step = 0; *fill < HTTPD_SEND_LIMIT && step < kRenderStepsPerEvent; step++) {
        const char *data = nullptr;
        size_t len = 0;
        if (!httpd_render(s->req, HTTPD_SEND_LIMIT - *fill, &data, &len)) {
            s->state = HTTPD_SLOT_SENT;
            return;
        }
        if (len > 0) std::memcpy(io_buf + *fill, data, len);
        *fill += len;
    }
}

// Sends bytes without blocking the thread; what the socket does not take
// waits in the session. False on a send error.
bool send_bytes(httpd_session *s, const char *data, size_t len) {
    ssize_t sent = send(s->sock.get(), data, len, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
        sent = 0;
    }
    if (sent > 0) s->last_activity = sal_time();
    size_t rest = len - static_cast<size_t>(sent);
    if (rest > 0) std::memmove(s->unsent, data + sent, rest);
    s->unsent_len = rest;
    s->unsent_pos = 0;
    return true;
}

}  // namespace

bool httpd_session_stalled(const httpd_session *s, uint32_t now) {
    if (s->state == HTTPD_SLOT_REQUEST_LINE || s->state == HTTPD_SLOT_HEADERS)
        return now - s->accepted_at >= HTTPD_STALL_SECONDS;
    if (s->state == HTTPD_SLOT_BODY) return now - s->progress_at >= HTTPD_STALL_SECONDS;
    return false;
}

void httpd_session_reset(httpd_session *s) {
    s->sock.reset();
    s->state = HTTPD_SLOT_FREE;
    s->req = nullptr;
    s->remaining = 0;
    s->last_activity = 0;
    s->accepted_at = 0;
    s->progress_at = 0;
    s->progress_bytes = 0;
    s->accept_seq = 0;
    s->peer = 0;
    s->input_ended = false;
    s->head_begun = false;
    s->line_held = false;
    s->images_deferred = false;
    s->images_since = 0;
    release_turn(s);
    s->images_turn = 0;
    s->unsent_len = 0;
    s->unsent_pos = 0;
    std::string().swap(s->page);
    s->page_pos = 0;
}

void httpd_session_accept(httpd_session *s, UniqueFd sock, uint32_t peer, uint64_t seq) {
    httpd_session_reset(s);
    s->sock = std::move(sock);
    // Accepted, and at once waiting for the request line.
    s->state = HTTPD_SLOT_REQUEST_LINE;
    s->last_activity = s->accepted_at = s->progress_at = sal_time();
    s->accept_seq = seq;
    s->peer = peer;
}

int httpd_forms_waiting(void) {
    return forms_waiting.load();
}

void httpd_session_close(httpd_session *s) {
    stop_waiting(s);
    httpd_request_close(s->req);
    httpd_session_reset(s);
}

void httpd_session_timeout_check(httpd_session *s, uint32_t now) {
    bool expired = false;
    if (s->state == HTTPD_SLOT_REQUEST_LINE || s->state == HTTPD_SLOT_HEADERS) {
        expired = now - s->accepted_at >= HTTPD_REQUEST_SECONDS;
    } else if (s->state == HTTPD_SLOT_BODY) {
        expired = now - s->progress_at >= HTTPD_REQUEST_SECONDS ||
                  (image_upload(s) && now - s->accepted_at >= HTTPD_IMAGE_UPLOAD_SECONDS);
    } else if (s->state >= HTTPD_SLOT_HEAD) {
        expired = now - s->last_activity >= HTTPD_IDLE_SECONDS;
    }
    if (!expired) return;
    // Any client can leave its requests unfinished again and again.
    static log_gate timeout_print{.burst = 4, .console = true};
    log_gate_printf(&timeout_print, log_source_ipv4(ntohl(s->peer)), LOG_LEVEL_WARNING,
                    LOG_MOD_HTTPD, "httpd: session %p (wcph=%p) timeout!\n", static_cast<void *>(s),
                    static_cast<void *>(s->req));
    httpd_session_close(s);
}

void httpd_session_input_end(httpd_session *s) {
    if (s->state < HTTPD_SLOT_HEAD) return httpd_session_close(s);
    s->input_ended = true;
}

void httpd_session_read(httpd_session *s) {
    const log_requester_scope client(log_source_ipv4(ntohl(s->peer)));
    s->last_activity = sal_time();
    ssize_t n = recv(s->sock.get(), io_buf, HTTPD_IO_SIZE, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n < 0) return httpd_session_close(s);
    if (n == 0) return httpd_session_input_end(s);
    // Bytes after the request are not read as another one.
    if (s->state >= HTTPD_SLOT_HEAD) return;
    io_buf[n] = '\0';
    if (!consume(s, static_cast<size_t>(n))) httpd_session_close(s);
}

namespace {

// Sends, or closes the session on a send error (false).
bool send_or_close(httpd_session *s, const char *data, size_t len) {
    if (send_bytes(s, data, len)) return true;
    // Any client can reset its connections as fast as it makes them: a gate
    // bounds the console's lines.
    static log_gate send_failed_print{.console = true};
    log_gate_puts(&send_failed_print, log_source_ipv4(ntohl(s->peer)), LOG_LEVEL_WARNING,
                  LOG_MOD_HTTPD, "httpd: socket_send failed!\n");
    httpd_session_close(s);
    return false;
}

// Renders the whole answer of a dynamic page into the session under one
// take of the settings lock: its tags read settings (the SNMP tables, the
// port tables) that a load on another thread replaces, and they see one
// state; the pieces then go out without any lock. A page of ports holds the
// switch API's lock over the render (web_api_batch_hold): one wait for it.
void render_page(httpd_session *s) {
    std::optional<SettingsLock> hold;
    if (!s->req->unlocked) hold.emplace();
    int idle = 0;
    while (s->state == HTTPD_SLOT_HEAD || s->state == HTTPD_SLOT_SEND_BODY) {
        size_t fill = 0;
        if (s->state == HTTPD_SLOT_SEND_BODY || fill_head(s, &fill)) fill_body(s, &fill);
        s->page.append(io_buf, fill);
        idle = fill > 0 ? 0 : idle + 1;
        if (idle >= kPageIdleRounds || s->page.size() >= kPageMaxBytes) s->state = HTTPD_SLOT_SENT;
    }
    web_api_batch_release();
}

// One piece of at most HTTPD_SEND_LIMIT bytes; true when it went out whole
// and more of the answer remains.
bool write_piece(httpd_session *s) {
    if (s->unsent_pos < s->unsent_len) {
        if (!send_or_close(s, s->unsent + s->unsent_pos, s->unsent_len - s->unsent_pos))
            return false;
        if (s->unsent_len > 0) return false;
    }
    size_t fill = 0;
    const char *data = io_buf;
    if (s->page_pos < s->page.size()) {
        fill = std::min(s->page.size() - s->page_pos, HTTPD_SEND_LIMIT);
        data = s->page.data() + s->page_pos;
        s->page_pos += fill;
    } else if (s->state == HTTPD_SLOT_SEND_BODY ||
               (s->state == HTTPD_SLOT_HEAD && fill_head(s, &fill))) {
        fill_body(s, &fill);  // a static file: its bytes never change
    }
    if (fill > 0 && !send_or_close(s, data, fill)) return false;
    if (s->unsent_len > 0) return false;
    // Everything is out: the slot frees now, not a wait later.
    if (s->state == HTTPD_SLOT_SENT && s->page_pos >= s->page.size()) {
        httpd_session_close(s);
        return false;
    }
    return fill > 0;
}

}  // namespace

void httpd_session_write(httpd_session *s) {
    // A static file needs no lock; a dynamic page is rendered at its first
    // write. A few pieces go out while the socket takes them, so that a page
    // is not a wait per 1400 bytes; the sends do not block, so a slow client
    // holds up no one.
    const log_requester_scope client(log_source_ipv4(ntohl(s->peer)));
    if (s->state == HTTPD_SLOT_HEAD && !s->head_begun && !httpd_response_static(s->req)) {
        // A form waits without the thread for the images accepted before
        // it at any entrance (a restore being read or applied), and then for
        // the changes accepted before it that waited with it: static files
        // and other pages are served meanwhile. A settings change accepted
        // behind a waiting form waits for its turn after it.
        const uint32_t now = sal_time_usecs();
        const bool changes = httpd_response_changes_settings(s->req);
        const bool behind = !s->images_deferred && forms_waiting > 0 && changes;
        const bool images = s->turn_held && sal_turn_waits(s->images_turn) != 0;
        const uint32_t waited = s->images_deferred ? now - s->images_since : 0;
        if (behind || httpd_response_images_pending(s->req, waited, images)) {
            start_waiting(s, now);
            return;
        }
        stop_waiting(s);
        render_page(s);
        release_turn(s);
    }
    for (int piece = 0; piece < kPiecesPerWrite && write_piece(s); piece++) {
    }
    web_api_batch_release();
}
