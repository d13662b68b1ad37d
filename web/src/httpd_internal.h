// Internals shared by the modules of the HTTP server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "httpd.h"
#include "unique_fd.h"

constexpr size_t HTTPD_IO_SIZE = 4096;        // shared read/send buffer
constexpr size_t HTTPD_ARG_MAX = 4095;        // argument bytes kept per request
constexpr size_t HTTPD_SEND_LIMIT = 1400;     // bytes sent per writable event
constexpr int HTTPD_PAIRS_MAX = 256;          // pairs kept for event 4
constexpr size_t HTTPD_HEAD_LINE_MAX = 1024;  // one response header line
// How long a form posted during start-up waits for the settings load before
// it is answered "busy" (the server serves nobody meanwhile).
constexpr long HTTPD_STARTUP_WAIT_USECS = 5L * 1000000;
// Largest request body accepted: a firmware image fits with room to spare.
constexpr long HTTPD_CONTENT_LENGTH_MAX = 64L * 1024 * 1024;

struct alignas(std::max_align_t) httpd_state_block {
    const void *key;
    size_t size;
    httpd_state_block *next;
    unsigned char *data() { return reinterpret_cast<unsigned char *>(this + 1); }
};

struct httpd_request {
    const httpd_file *row;
    const httpd_record *record;  // content; while rendering the current record
    uint32_t flags;
    long content_length;  // request body length
    bool drop_body;       // an upload handler asked for the rest to be dropped
    bool images_busy;     // a form that settings images kept waiting too long
    bool unlocked;        // rendered without the settings lock
    // renderer
    size_t text_offset;
    uint16_t loop_index[HTTPD_LOOP_DEPTH_MAX];
    uint8_t depth;
    bool page_ended;  // the records are done; pending bytes may remain
    // argument bytes before rendering, pending output bytes while rendering
    char buf[HTTPD_ARG_MAX + 2];
    size_t buf_len;
    size_t buf_pos;
    httpd_state_block *blocks;
    int socket;
    uint32_t turn;  // a settings change's place among every entrance's (0: none)
};

// ---- web root (httpd_files.cpp)
const httpd_file *httpd_file_find(const char *path);
httpd_hook_fn httpd_root_hook(void);
uint32_t httpd_root_mask(void);

// ---- request context and events (httpd_request.cpp)
// Opens a request for a path (query: GET arguments or null); null when the
// path names no servable row or memory runs out.
httpd_request *httpd_request_open(const char *path, const char *query, int sock);
void httpd_request_close(httpd_request *req);
// Event to the root hook when its mask has `bit`; returns what the hook did
// (0 when not sent). Content, flags and for event 0 the row are taken back
// on a return of 1; *out gets the hook's first word.
int httpd_hook_event_send(httpd_request *req, int event, uint32_t bit, httpd_word a, httpd_word b,
                          httpd_word *out = nullptr);
// Event to the row's handler when the request flags have `bit` (0: always).
int httpd_handler_event_send(httpd_request *req, int event, uint32_t bit, httpd_word a,
                             httpd_word b, httpd_word c, httpd_word *out = nullptr);
void httpd_request_header(httpd_request *req, const char *name, const char *value);
// false when the body cannot be taken (a malformed upload): close the session.
bool httpd_request_body(httpd_request *req, const char *data, size_t len);
void httpd_request_body_end(httpd_request *req);
// True for a file upload (multipart body).
bool httpd_request_uploads(const httpd_request *req);

// ---- response (httpd_response.cpp)
// Runs the argument and status events and the caching rule; writes the
// status text (without line end) into status and returns the content length
// to announce (0: none).
long httpd_response_prepare(httpd_request *req, char *status, size_t status_size);
// Before the settings lock is taken for the response: a form runs after the
// settings images accepted before it at any entrance (`images_ahead`: a
// restore being read or applied), or the images would undo it. True while
// the form must wait, having waited `waited_usecs`; past
// SAL_IMAGES_WAIT_USECS it is answered busy.
bool httpd_response_images_pending(httpd_request *req, uint32_t waited_usecs, bool images_ahead);
// True for a request that may change settings: a form, or an upload (whose
// end may queue a settings image).
bool httpd_response_changes_settings(const httpd_request *req);
// Next response header line without its line end; false after the last.
bool httpd_response_head_line(httpd_request *req, char *line, size_t size);
// True for a static file: no handler and one last text record, bytes that
// never change.
bool httpd_response_static(const httpd_request *req);

// ---- renderer (httpd_render.cpp)
// Next piece of the page, at most `space` bytes (possibly none); false at the end.
bool httpd_render(httpd_request *req, size_t space, const char **data, size_t *len);

// ---- parsing (httpd_parse.cpp)
enum class httpd_line_result { line, none, partial, invalid };
// Takes the line starting at *pos of buf[0..fill): NUL-terminates it in place
// (the LF and a CR before it) and moves *pos past it; invalid when the line
// holds a NUL byte.
httpd_line_result httpd_take_line(char *buf, size_t fill, size_t *pos, char **line);
// "METHOD path[?query] ..."; false on an unknown method or a missing path.
bool httpd_parse_request_line(char *line, bool *post, char **path, char **query);
// "Name: value"; false for a line without a colon.
bool httpd_parse_header(char *line, char **name, char **value);
// Digits only, at most HTTPD_CONTENT_LENGTH_MAX.
bool httpd_parse_content_length(const char *text, long *length);
// Splits buf[0..len) in place (buf must hold len+1 bytes) into URL-decoded pairs.
int httpd_split_pairs(char *buf, size_t len, httpd_pair *pairs, int max_pairs);
void httpd_url_decode(char *text);

// ---- sessions (httpd_session.cpp); used by the "httpd" thread only
enum httpd_slot_state : int {
    HTTPD_SLOT_FREE = 0,
    HTTPD_SLOT_ACCEPTED = 1,
    HTTPD_SLOT_REQUEST_LINE = 2,
    HTTPD_SLOT_HEADERS = 3,
    HTTPD_SLOT_BODY = 4,
    HTTPD_SLOT_HEAD = 5,
    HTTPD_SLOT_SEND_BODY = 6,
    HTTPD_SLOT_SENT = 7,
};

struct httpd_session {
    UniqueFd sock;
    httpd_slot_state state;
    httpd_request *req;
    long remaining;  // request body bytes still to read
    uint32_t last_activity;
    uint32_t accepted_at;  // start of the request deadline
    uint32_t progress_at;  // last time the body made steady progress
    long progress_bytes;   // body bytes since progress_at
    uint64_t accept_seq;   // order of acceptance: the oldest is reclaimed first
    uint32_t peer;         // the client's address: slots are shared out by it
    bool input_ended;      // the client shut down its side while we answer
    bool head_begun;
    bool line_held;  // head_line did not fit into the last send
    // A form waiting for the settings images: the server leaves it out of
    // its writers and looks again on every short pass, serving the others.
    bool images_deferred;
    uint32_t images_since;   // sal_time_usecs of the first look
    uint32_t images_turn;    // the change's place among every entrance's images and changes
    bool turn_held = false;  // images_turn is held until the page has run
    char head_line[HTTPD_HEAD_LINE_MAX];
    // bytes the socket did not take on the last send, sent before anything new
    char unsent[HTTPD_SEND_LIMIT];
    size_t unsent_len;
    size_t unsent_pos;
    // A dynamic answer, rendered whole at its first write, and what of it
    // went out.
    std::string page;
    size_t page_pos;
};

constexpr uint32_t HTTPD_IDLE_SECONDS = 45;
// A request must bring its headers within this time of the accept, and its
// body must keep bringing HTTPD_BODY_PROGRESS_BYTES (or its end) within each
// such span, so that trickling clients cannot hold the slots.
constexpr uint32_t HTTPD_REQUEST_SECONDS = 10;
constexpr long HTTPD_BODY_PROGRESS_BYTES = 1024;
// A restore's upload holds the changes the other entrances accept after it
// until its image is in: however it trickles, it ends within this time of
// the accept.
constexpr uint32_t HTTPD_IMAGE_UPLOAD_SECONDS = 60;

// A session still reading its request may lose its slot to a newcomer once
// it has gone this long without progress: its headers since the accept, its
// body since the last steady progress.
constexpr uint32_t HTTPD_STALL_SECONDS = 2;

// True when the session has waited past HTTPD_STALL_SECONDS for its request.
bool httpd_session_stalled(const httpd_session *s, uint32_t now);
void httpd_session_reset(httpd_session *s);
void httpd_session_accept(httpd_session *s, UniqueFd sock, uint32_t peer, uint64_t seq);
void httpd_session_read(httpd_session *s);
// The client shut down its sending side: ends a session that still reads
// its request; an answer in progress is still sent.
void httpd_session_input_end(httpd_session *s);
void httpd_session_write(httpd_session *s);
// How long the server's poll may sleep while a form waits for the images.
constexpr int HTTPD_IMAGES_POLL_MILLIS = 20;
// True while a form accepted before `turn` waits: an upload accepted after
// it is not read on, so that its image comes after the form.
bool httpd_server_form_waiting_before(uint32_t turn);
void httpd_session_close(httpd_session *s);
// Closes a session past its request deadline or idle limit.
void httpd_session_timeout_check(httpd_session *s, uint32_t now);

// ---- deferred actions (httpd_timer.cpp)
bool httpd_timer_start(void);    // creates "httpd_timer"
void httpd_timer_run_due(void);  // one pass over the list
// Passes made so far; *next gets the time (sal_time_usecs) of the next one.
uint32_t httpd_timer_passes(uint32_t *next);
