// HTTP/1.0 server of the web management: the web file table, compiled page
// records, request events for page handlers and the root hook, and the
// deferred actions that run on the "httpd_timer" thread.
#pragma once

#include <cstddef>
#include <cstdint>

struct httpd_request;  // per-request context, owned by the server

// ---------------------------------------------------------------- flags
// Row flags and request flags share one layout.
constexpr uint32_t HTTPD_F_NO_CACHE = 0x1;
constexpr uint32_t HTTPD_F_LONG_CACHE = 0x2;
constexpr uint32_t HTTPD_F_INTERNAL = 0x100;
constexpr uint32_t HTTPD_F_LOGIN_FREE = 0x200;  // on a request: authorised
constexpr uint32_t HTTPD_F_IF_MODIFIED = 0x400;
constexpr uint32_t HTTPD_F_REDIRECT = 0x800;
constexpr uint32_t HTTPD_F_EV_HEADER = 0x1000;
constexpr uint32_t HTTPD_F_EV_COOKIE = 0x2000;
constexpr uint32_t HTTPD_F_EV_ARGS = 0x4000;
constexpr uint32_t HTTPD_F_MULTIPART = 0x8000;
constexpr uint32_t HTTPD_F_EV_STATUS = 0x10000;
constexpr uint32_t HTTPD_F_EV_EXTRA_HEADER = 0x20000;
constexpr uint32_t HTTPD_F_EV_SET_COOKIE = 0x40000;
constexpr uint32_t HTTPD_F_EV_ATTACHMENT = 0x80000;
constexpr uint32_t HTTPD_F_EV_OPEN_CLOSE = 0x100000;
constexpr uint32_t HTTPD_F_EV_HOOK_OPEN = 0x200000;  // root hook mask only
// A request that queues a settings image itself: a form of it is answered at
// once rather than after the images queued before it, and a settings change
// that comes after an upload of it waits until the upload is taken or refused.
constexpr uint32_t HTTPD_F_IMAGE_QUEUE = 0x400000;
// A form that only picks what its page shows (a port): it changes no
// setting, so it is answered at once while settings images are applied.
constexpr uint32_t HTTPD_F_VIEW_ONLY = 0x800000;

// ---------------------------------------------------------------- compiled pages
constexpr uint8_t HTTPD_REC_TEXT = 0;
constexpr uint8_t HTTPD_REC_LOOP = 1;  // loop start (pointer set) or loop end (pointer null)
constexpr uint8_t HTTPD_REC_TAG = 2;
constexpr uint8_t HTTPD_REC_TYPE_MASK = 0x3;
constexpr uint8_t HTTPD_REC_ARG0_LEVEL = 0x10;  // argument 0 names a loop level
constexpr uint8_t HTTPD_REC_ARG1_LEVEL = 0x20;
constexpr uint8_t HTTPD_REC_ARG2_LEVEL = 0x40;
constexpr uint8_t HTTPD_REC_LAST = 0x80;
constexpr int HTTPD_LOOP_DEPTH_MAX = 3;

constexpr int HTTPD_TAG_TEXT = 1;
constexpr int HTTPD_TAG_INT = 2;

struct httpd_tag_out {
    int kind;          // HTTPD_TAG_TEXT, HTTPD_TAG_INT, anything else prints nothing
    const char *text;  // HTTPD_TAG_TEXT
    int number;        // HTTPD_TAG_INT, printed with "%d"
};

using httpd_tag_fn = void (*)(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
// Non-zero while row `index` (0, 1, 2, ...) exists.
using httpd_loop_fn = int (*)(const uint16_t args[3], int index, httpd_request *req);

struct httpd_record {
    uint8_t kind;
    uint8_t body_count;  // loops: records from the loop start to its loop end
    uint16_t arg[3];     // text: arg[0] is the byte length
    union {
        const char *text;
        httpd_tag_fn tag;
        httpd_loop_fn loop;
    } ptr;
};

// ---------------------------------------------------------------- events
enum httpd_event_no {
    HTTPD_EV_HOOK_OPEN = 0,     // a: request path; the hook may substitute the row
    HTTPD_EV_OPEN = 1,          // handler only
    HTTPD_EV_HEADER = 2,        // a: name (null at the end of the headers), b: value
    HTTPD_EV_COOKIE = 3,        // a: session cookie value
    HTTPD_EV_ARGS = 4,          // a: pairs, b: count
    HTTPD_EV_UPLOAD = 5,        // a: data, b: offset, c: length
    HTTPD_EV_STATUS = 6,        // out a: status text, e.g. "302 Found"
    HTTPD_EV_EXTRA_HEADER = 7,  // out a: one header line
    HTTPD_EV_SET_COOKIE = 8,    // out a: cookie value
    HTTPD_EV_ATTACHMENT = 9,    // out a: file name
    HTTPD_EV_CLOSE = 10,
};

struct httpd_pair {
    char *name;
    char *value;
};

union httpd_word {
    const char *text;
    const void *data;
    const httpd_pair *pairs;
    intptr_t num;
};

struct httpd_file;

struct httpd_event {
    int event;
    const httpd_record *content;
    uint32_t flags;
    httpd_word a, b, c;
};

struct httpd_hook_event {
    int event;
    const httpd_file *row;
    const httpd_record *content;
    uint32_t flags;
    httpd_word a, b;
};

// Both return 1 when they changed the record: the server then takes content
// and flags (and, for event 0, the row) back. Out words are read either way.
//
// Events 1 (open) and 10 (close) reach a handler whether or not the request
// is authorised, and event 1 comes before the cookie is seen. A handler that
// keeps state across requests (a running upgrade, a pending restart) acts on
// event 10 only when httpd_req_authorised says so, and never on event 1;
// the other events of a protected row reach it only when authorised.
using httpd_handler_fn = int (*)(httpd_event *ev, httpd_request *req);
using httpd_hook_fn = int (*)(httpd_hook_event *ev, httpd_request *req);

struct httpd_file {
    const char *name;
    httpd_handler_fn handler;
    const httpd_record *content;
    uint32_t flags;
};

// The generated table of the web files: rows in alphabetical order, then an
// all-zero row.
constexpr int HTTPD_FILE_COUNT = 259;
extern const httpd_file web_file_table[HTTPD_FILE_COUNT + 1];

// Handler of the rows whose page is not built yet: leaves the request as it is.
int httpd_pending_handler(httpd_event *ev, httpd_request *req);

// ---------------------------------------------------------------- server
// Starts "httpd" and "httpd_timer"; 0, or -1 when a thread cannot be made.
// A second call does nothing.
int httpd_init(void);
void httpd_set_hook(httpd_hook_fn hook, uint32_t mask);
// An empty or absent name is ignored; the text must stay valid.
void httpd_set_server_name(const char *name);
// Forms accepted and waiting for the settings images queued before them: a
// restart lets them run first, as it does the images.
int httpd_forms_waiting(void);
// Restore uploads whose headers were read and whose image is not yet queued
// or refused: a settings change accepted after them, at any entrance, runs
// after their image. None counts once a restart is announced, which refuses
// them at their end.
int httpd_image_uploads_reading(void);
const char *httpd_server_name(void);

// Content (and flags) of the web file the path names, looked up like a
// request path; null when no row matches. Internal rows are found too.
const httpd_record *httpd_file_content_get(const char *path, uint32_t *flags);

// ---------------------------------------------------------------- request accessors
int httpd_req_socket(const httpd_request *req);  // -1 without a request
// A settings change's place among the settings images and the changes of
// every entrance, held until its page has run (sal_turn_take); 0 for other
// requests.
uint32_t httpd_req_turn(const httpd_request *req);
// 1 when the request may use a protected page: the row is login-free or the
// root hook authorised it; 0 otherwise and without a request.
int httpd_req_authorised(const httpd_request *req);
// The pair table of event 4; valid while the event-4 calls run.
const httpd_pair *httpd_req_pairs(const httpd_request *req, int *count);
// The answer reads no settings (a refusal's texts kept in the request): it
// is rendered without waiting for the settings lock, which a restart under
// way holds until the end.
void httpd_req_answer_unlocked(httpd_request *req);

// Per-request state blocks, keyed by the owning function's address and
// freed with the request. get: a block of at least `size` bytes (a smaller
// one is replaced), newest first; null without a request or memory.
void *httpd_req_state_get(httpd_request *req, const void *key, size_t size);
void *httpd_req_state_find(const httpd_request *req, const void *key);
void httpd_req_state_free(httpd_request *req, const void *key);

// Copies text into out (size bytes) without control characters (CR, LF,
// ...), cut to size - 1 bytes: for request texts that go into a header line
// or the log.
void httpd_text_clean(const char *text, char *out, size_t size);

// ---------------------------------------------------------------- deferred actions
struct httpd_timer;
using httpd_timer_fn = void (*)(void *arg);

// Runs cb(arg) on "httpd_timer" every `period` seconds (0: every 750 ms tick,
// at most 2000) until cancelled; null when cb is absent, the period out of
// range or memory runs out. Actions due in the same pass run in the order
// they were added.
httpd_timer *httpd_timer_add(int period, httpd_timer_fn cb, void *arg);
// Runs cb(arg) once, `period` seconds from now, then forgets it: each call is
// an action of its own, run in turn with the others. False when it cannot be
// added (as httpd_timer_add).
bool httpd_timer_once(int period, httpd_timer_fn cb, void *arg);
// Cancels every action with that callback; safe from inside the callback.
void httpd_timer_cancel(httpd_timer_fn cb);
