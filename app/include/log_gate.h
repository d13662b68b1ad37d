// A gate for log lines (or console prints) that outside traffic can cause:
// a host's frames, requests or login attempts. Every such line passes one,
// with the source that caused it (a port or an address).
//
// Fast: a burst writes its first `burst` lines; the rest are folded, and one
// line reports them at the end of the window they fell in. While they keep
// coming, each window is twice as long as the one before (up to half an
// hour) and writes only its report.
// Slow: every line written, reports included, takes a token from a bucket
// of `burst` that one token a LOG_GATE_REFILL_SECS fills again; a line that
// finds it empty is folded too. So a slow stream writes its burst and then
// reports, not a line each.
// The report names every source it counts: "<line> (N more like this
// folded: 497 from port 2, 1 from port 3, 1 from port 4)", the line being
// the latest of the source folded most, N the lines not written. A window
// keeps LOG_GATE_SOURCES sources apart; the rest are counted together with
// the span they came from ("40 from other addresses, 127.0.0.5 to
// 127.0.0.9", or for ports "40 from ports 5-9").
// New source: while a gate folds, the first line of a source it has not
// seen since it began folding is written at once (up to LOG_GATE_SOURCES a
// window), so a new sender is named when it appears.
// Shared: every line of every gate that the flash keeps (by its level),
// reports and new sources' lines included, also takes a token from one bucket of
// LOG_GATE_SHARED_BURST that one token a LOG_GATE_SHARED_REFILL_SECS fills;
// a line that finds it empty is counted there instead, and one line a
// window (doubling like a gate's) reports those counts with their kinds
// and sources. So all kinds together write a bounded share of the stored
// log, however many of them a host drives.
#pragma once

#include <cstddef>
#include <cstdint>

#include "logger.h"

constexpr uint32_t LOG_GATE_WINDOW_SECS = 10;  // a burst's first window
constexpr uint32_t LOG_GATE_WINDOW_MAX_SECS = 1800;
constexpr uint32_t LOG_GATE_REFILL_SECS = 60;  // one line a minute once the burst is spent
constexpr int LOG_GATE_SOURCES = 4;
constexpr int LOG_GATE_SEEN = 16;  // sources a folding gate remembers as named
// The budget all gates share: some 200 lines a day once its burst is spent,
// about a seventh of the flash ring's 1,420 records, the counts included.
constexpr uint32_t LOG_GATE_SHARED_BURST = 20;
constexpr uint32_t LOG_GATE_SHARED_REFILL_SECS = 450;

enum class log_source_kind : uint8_t { none, port, ipv4 };

// What caused a line: a front-panel port, or an IPv4 address (host order).
struct log_source {
    log_source_kind kind = log_source_kind::none;
    uint32_t value = 0;
};
constexpr log_source LOG_SOURCE_NONE{};
constexpr log_source log_source_port(int uport) {
    return {log_source_kind::port, static_cast<uint32_t>(uport)};
}
constexpr log_source log_source_ipv4(uint32_t host_order) {
    return {log_source_kind::ipv4, host_order};
}
constexpr log_source log_source_ipv4(const uint8_t ip[4]) {
    return log_source_ipv4(static_cast<uint32_t>(ip[0]) << 24 | static_cast<uint32_t>(ip[1]) << 16 |
                           static_cast<uint32_t>(ip[2]) << 8 | ip[3]);
}

// A window's count of one source.
struct log_gate_source_count {
    log_source source;
    uint32_t folded;
};

// One per kind of line, of static storage: its report is made after the
// caller has returned. Guarded by the log core's lock.
struct log_gate {
    uint32_t burst = 1;       // lines a burst writes before folding; the bucket's size
    bool console = false;     // its lines are console prints (sal_printf), not logged
    uint32_t full_at = 0;     // sal_time when the bucket is full again; 0: full
    bool open = false;        // a window is under way: lines fold
    uint32_t since = 0;       // its start (sal_time seconds)
    uint32_t window = 0;      // its length
    uint32_t generation = 0;  // of the window; a report queued for an older one is stale
    bool report_queued = false;
    // The window's folded lines, by source.
    log_gate_source_count sources[LOG_GATE_SOURCES] = {};
    int source_count = 0;
    uint32_t others = 0;       // folded from sources the table had no room for
    uint64_t other_ports = 0;  // which ports those were
    bool other_ports_only = true;
    bool other_addresses_only = true;
    uint32_t other_lowest = 0;  // the span of those addresses (host order)
    uint32_t other_highest = 0;
    int heaviest = -1;  // the source folded most: its latest line is reported
    int level = 0;
    int module = 0;
    char latest[LOGGER_TEXT_MAX] = {};
    log_gate *next_listed = nullptr;  // the gates that ever folded, for the report at the end
    bool listed = false;
    // The sources named since the gate began folding, and how many were
    // written at once in this window for being new.
    log_source seen[LOG_GATE_SEEN] = {};
    int seen_count = 0;
    int seen_next = 0;
    int fresh_written = 0;
    uint64_t modules = 0;  // the shared count's kinds (log modules)
};

// The source as the count names it: "port 3", "127.0.0.2".
void log_source_text(const log_source &source, char *out, size_t size);

// Logs the line when the gate lets it through: 1 let through (written, or
// counted over the shared budget), 0 folded by the gate. A null
// gate lets every line through, for callers whose line is gated only when a
// host caused it.
int log_gate_printf(log_gate *gate, log_source from, int level, int module, const char *fmt, ...)
    __attribute__((format(printf, 5, 6)));
int log_gate_puts(log_gate *gate, log_source from, int level, int module, const char *text);
// Reports what the window folded now and starts the gate afresh: the
// feature whose lines they are was stopped by the administrator.
void log_gate_flush(log_gate *gate);
// Reports what every gate's window under way folded: the program ends or
// restarts, and the counts would be lost with it.
void log_gates_report_all(void);
// The shared budget starts full and uncounted (the log starts afresh).
void log_gates_shared_reset(void);

// A manager's refused request (a web form, an SNMP SET, a telnet or
// monitor command) is as frequent as the manager likes: its line is a
// warning, passes its module's gate of refusals and names the sender.
int log_refused_puts_from(log_source from, int module, const char *text);

// The manager whose request the calling thread serves, set by the entrance
// for the request's span, so that a layer below it that refuses the
// request can name the sender. None outside a request.
log_source log_requester(void);
void log_requester_set(log_source who);  // the next request on the same thread
class log_requester_scope {
  public:
    explicit log_requester_scope(log_source who) : before_(log_requester()) {
        log_requester_set(who);
    }
    ~log_requester_scope() { log_requester_set(before_); }
    log_requester_scope(const log_requester_scope &) = delete;
    log_requester_scope &operator=(const log_requester_scope &) = delete;

  private:
    log_source before_;
};
// A refusal logged below the entrance: within a request, as
// log_refused_puts_from with the requester; outside one (a stored setting
// the switch cannot take) the switch's own line, logged at `level`.
int log_refused_printf(int level, int module, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
