// Gates for the log lines that outside traffic can cause: a burst writes its
// first lines, a bucket bounds what a slow stream writes, and one line a
// window reports what was folded, by source.
#include "log_gate.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "log_internal.h"
#include "sal_lock.h"

static_assert(LOG_GATE_WINDOW_MAX_SECS * 1000000ull <= INT32_MAX,
              "a report is queued as a deferred call, whose delay is a signed 32-bit count");

namespace {

using log_internal::core_lock;

// The count of the lines the shared budget had no room for.
log_gate shared{.burst = LOG_GATE_SHARED_BURST};

uint32_t refill_secs(const log_gate &g) {
    return &g == &shared ? LOG_GATE_SHARED_REFILL_SECS : LOG_GATE_REFILL_SECS;
}

// ---- the bucket. `full_at` is when it holds `burst` tokens again; each
// line written moves it one refill later. A report is written whatever the
// bucket holds, and may leave it owing as many lines as it holds.
int64_t owed_secs(const log_gate &g, uint32_t now) {
    return std::max<int64_t>(0, static_cast<int64_t>(g.full_at) - now);
}

bool has_token(const log_gate &g, uint32_t now) {
    return owed_secs(g, now) + refill_secs(g) <= static_cast<int64_t>(g.burst) * refill_secs(g);
}

void spend_token(log_gate &g, uint32_t now) {
    // A clock set back leaves no larger debt than the cap.
    const int64_t owed = std::min<int64_t>(owed_secs(g, now) + refill_secs(g),
                                           2 * static_cast<int64_t>(g.burst) * refill_secs(g));
    g.full_at = static_cast<uint32_t>(now + owed);
}

// ---- the report's text.
class text_builder {
  public:
    text_builder(char *out, size_t size) : out_(out), size_(size) { out_[0] = '\0'; }
    void add(const char *fmt, ...) __attribute__((format(printf, 2, 3))) {
        if (used_ + 1 >= size_) return;
        va_list ap;
        va_start(ap, fmt);
        const int n = std::vsnprintf(out_ + used_, size_ - used_, fmt, ap);
        va_end(ap);
        if (n > 0) used_ = std::min(size_ - 1, used_ + static_cast<size_t>(n));
    }
    size_t length() const { return used_; }

  private:
    char *out_;
    size_t size_;
    size_t used_ = 0;
};

void add_source(text_builder &t, const log_source &s) {
    switch (s.kind) {
        case log_source_kind::port:
            t.add("port %u", s.value);
            break;
        case log_source_kind::ipv4:
            t.add("%u.%u.%u.%u", s.value >> 24, (s.value >> 16) & 0xFF, (s.value >> 8) & 0xFF,
                  s.value & 0xFF);
            break;
        case log_source_kind::none:
            t.add("an unnamed source");
            break;
    }
}

// "ports 1-3, 5", or "port 7".
void add_ports(text_builder &t, uint64_t ports) {
    t.add("port%s", (ports & (ports - 1)) != 0 ? "s" : "");
    const char *separator = " ";
    for (int p = 0; p < 64; p++) {
        if ((ports >> p & 1) == 0) continue;
        int last = p;
        while (last + 1 < 64 && (ports >> (last + 1) & 1) != 0)
            last++;
        if (last == p)
            t.add("%s%d", separator, p);
        else
            t.add("%s%d-%d", separator, p, last);
        separator = ", ";
        p = last;
    }
}

// Whether the text names the source (its name, not inside a longer number).
bool names_source(const char *text, const log_source &from, const char *name) {
    const size_t len = std::strlen(name);
    for (const char *at = std::strstr(text, name); at != nullptr; at = std::strstr(at + 1, name)) {
        const bool number_before =
            from.kind == log_source_kind::ipv4 && at > text &&
            (std::isdigit(static_cast<unsigned char>(at[-1])) != 0 || at[-1] == '.');
        if (!number_before && std::isdigit(static_cast<unsigned char>(at[len])) == 0) return true;
    }
    return false;
}

// The text as it is written and folded: a text that does not name its
// source gets it appended (before its line break, cutting the text if need
// be), so no line, written or reported, hides who caused it.
void with_source(const char *text, const log_source &from, char *out, size_t size) {
    char name[24];
    text_builder t(name, sizeof name);
    add_source(t, from);
    if (from.kind == log_source_kind::none || names_source(text, from, name)) {
        std::snprintf(out, size, "%s", text);
        return;
    }
    const size_t length = std::strlen(text);
    size_t body = length;
    while (body > 0 && (text[body - 1] == '\n' || text[body - 1] == '\r'))
        body--;
    const size_t line_break = length - body;
    const size_t room = size - 1 - std::min(size - 1, t.length() + 3 + line_break);
    std::snprintf(out, size, "%.*s (%s)%s", static_cast<int>(std::min(body, room)), text, name,
                  text + body);
}

bool folded_any(const log_gate &g) {
    return g.source_count > 0 || g.others > 0;
}

// "other addresses, 127.0.0.5 to 127.0.0.9": no address of the span is
// hidden, though the table had no room to count each apart.
void add_other_addresses(text_builder &t, const log_gate &g) {
    if (!g.other_addresses_only) {
        t.add("other sources");
        return;
    }
    if (g.other_lowest == g.other_highest) {
        add_source(t, log_source_ipv4(g.other_lowest));
        return;
    }
    t.add("other addresses, ");
    add_source(t, log_source_ipv4(g.other_lowest));
    t.add(" to ");
    add_source(t, log_source_ipv4(g.other_highest));
}

uint32_t folded_total(const log_gate &g) {
    uint32_t total = g.others;
    for (int i = 0; i < g.source_count; i++)
        total += g.sources[i].folded;
    return total;
}

// ": 3 from port 2, 1 from 127.0.0.2, 40 from ports 5-9", leaving out the
// heaviest source's reported line when `less_heaviest`.
void add_counts(text_builder &t, const log_gate &g, bool less_heaviest) {
    const char *separator = ": ";
    for (int i = 0; i < g.source_count; i++) {
        const uint32_t n = g.sources[i].folded - (less_heaviest && i == g.heaviest ? 1 : 0);
        if (n == 0) continue;
        t.add("%s%u from ", separator, n);
        add_source(t, g.sources[i].source);
        separator = ", ";
    }
    if (g.others > 0) {
        t.add("%s%u from ", separator, g.others);
        if (g.other_ports_only)
            add_ports(t, g.other_ports);
        else
            add_other_addresses(t, g);
    }
}

// " (N more like this folded: ...)" after the heaviest source's latest
// line, which is itself one of the folded: N counts only the rest.
void build_suffix(const log_gate &g, char *out, size_t size) {
    const uint32_t total = folded_total(g);
    text_builder t(out, size);
    if (total <= 1) return;
    t.add(" (%u more like this folded", total - 1);
    if (g.source_count > 1 || g.others > 0) add_counts(t, g, true);
    t.add(")");
}

// The shared budget's count: how many lines, of which kinds, from whom.
void build_shared(const log_gate &g, char *out, size_t size) {
    text_builder t(out, size);
    t.add("%u lines others caused not logged: over the budget all such lines share (",
          folded_total(g));
    const char *separator = "";
    for (int module = 0; module < 64; module++) {
        if ((g.modules >> module & 1) == 0) continue;
        t.add("%s%s", separator, logger_module_name(module));
        separator = ", ";
    }
    t.add(")");
    add_counts(t, g, false);
}

void clear_counts(log_gate &g) {
    std::fill(std::begin(g.sources), std::end(g.sources), log_gate_source_count{});
    g.source_count = 0;
    g.others = 0;
    g.other_ports = 0;
    g.other_ports_only = true;
    g.other_addresses_only = true;
    g.other_lowest = g.other_highest = 0;
    g.heaviest = -1;
    g.latest[0] = '\0';
    g.fresh_written = 0;
    g.modules = 0;
}

void forget_seen(log_gate &g) {
    g.seen_count = 0;
    g.seen_next = 0;
}

bool seen(const log_gate &g, const log_source &from) {
    for (int i = 0; i < g.seen_count; i++)
        if (g.seen[i].kind == from.kind && g.seen[i].value == from.value) return true;
    return false;
}

// Remembered in turn: a flood of ever-new sources pushes out the oldest.
void remember(log_gate &g, const log_source &from) {
    if (seen(g, from)) return;
    g.seen[g.seen_next] = from;
    g.seen_next = (g.seen_next + 1) % LOG_GATE_SEEN;
    g.seen_count = std::min(g.seen_count + 1, LOG_GATE_SEEN);
}

void report_due(void *owner, void *generation, void *, void *, void *);

// The table's row of the source, or -1 when it is full.
int row_of(log_gate &g, const log_source &from) {
    for (int i = 0; i < g.source_count; i++) {
        const log_source &s = g.sources[i].source;
        if (s.kind == from.kind && s.value == from.value) return i;
    }
    if (g.source_count == LOG_GATE_SOURCES) return -1;
    g.sources[g.source_count] = {from, 0};
    return g.source_count++;
}

// Counts lines among those the table had no room for: ports by number,
// addresses by their span.
void add_others(log_gate &g, uint32_t lines, uint64_t ports, bool ports_only, bool addresses_only,
                uint32_t lowest, uint32_t highest) {
    if (lines == 0) return;
    const bool first = g.others == 0;
    g.others += lines;
    g.other_ports |= ports;
    g.other_ports_only = g.other_ports_only && ports_only;
    g.other_addresses_only = g.other_addresses_only && addresses_only;
    if (!addresses_only) return;
    g.other_lowest = first ? lowest : std::min(g.other_lowest, lowest);
    g.other_highest = first ? highest : std::max(g.other_highest, highest);
}

void add_other(log_gate &g, const log_source &from, uint32_t lines) {
    const bool port = from.kind == log_source_kind::port && from.value < 64;
    add_others(g, lines, port ? uint64_t{1} << from.value : 0, port,
               from.kind == log_source_kind::ipv4, from.value, from.value);
}

void queue_report(log_gate &g, uint32_t now) {
    if (g.report_queued) return;
    // Asked once a window: when the deferred-call queue is full, the first
    // line after the window makes the report instead.
    g.report_queued = true;
    const uint32_t left = g.window - (now - g.since);
    sal_dpc_time(left * 1000000u, report_due, &g,
                 reinterpret_cast<void *>(static_cast<uintptr_t>(g.generation)), nullptr, nullptr,
                 nullptr);
}

void fold_locked(log_gate &g, log_source from, int level, int module, const char *text,
                 uint32_t now, uint32_t lines = 1) {
    const int row = row_of(g, from);
    if (row < 0) {
        add_other(g, from, lines);
    } else {
        g.sources[row].folded += lines;
        if (text != nullptr && (g.heaviest < 0 || row == g.heaviest ||
                                g.sources[row].folded > g.sources[g.heaviest].folded)) {
            g.heaviest = row;
            g.level = level;
            g.module = module;
            std::snprintf(g.latest, sizeof g.latest, "%s", text);
            size_t len = std::strlen(g.latest);
            while (len > 0 && (g.latest[len - 1] == '\n' || g.latest[len - 1] == '\r'))
                g.latest[--len] = '\0';
        }
    }
    queue_report(g, now);
}

log_gate *listed_gates = nullptr;

void open_window_locked(log_gate &g, uint32_t now) {
    if (!g.listed && &g != &shared) {
        g.listed = true;
        g.next_listed = listed_gates;
        listed_gates = &g;
    }
    g.open = true;
    g.since = now;
    if (g.window == 0) g.window = LOG_GATE_WINDOW_SECS;
    g.generation++;
    g.report_queued = false;
    clear_counts(g);
}

void end_window_locked(log_gate &g, uint32_t now);

// The shared window's clock: a window past its end reports before the next
// line is counted or written.
void shared_tick(uint32_t now) {
    if (shared.open && now - shared.since >= shared.window) end_window_locked(shared, now);
}

// Whether the flash keeps lines of the level: only they wear the stored
// log, so only they share its budget.
bool stored(int level) {
    logger *flash = logger_flash_get();
    const uint32_t mask =
        flash != nullptr ? flash->ops->level_mask_get(flash) : LOGGER_FLASH_DEFAULT_MASK;
    level = std::clamp(level, 0, LOG_LEVEL_COUNT - 1);
    return (mask >> level & 1) != 0;
}

// Takes a token of the shared budget for a line about to be logged; false
// when there is none.
bool shared_take(uint32_t now) {
    shared_tick(now);
    if (!has_token(shared, now)) return false;
    spend_token(shared, now);
    return true;
}

void shared_open(uint32_t now, int module) {
    if (!shared.open) open_window_locked(shared, now);
    if (module >= 0 && module < 64) shared.modules |= uint64_t{1} << module;
}

// Counts a line the shared budget had no room for.
void shared_fold(const log_source &from, int module, uint32_t now, uint32_t lines = 1) {
    shared_open(now, module);
    fold_locked(shared, from, 0, module, nullptr, now, lines);
}

// Writes the window's report. A gate's goes through the shared budget, and
// when that is spent its counts join the shared count; the shared count is
// always written.
void report_locked(log_gate &g, uint32_t now) {
    spend_token(g, now);
    char line[LOGGER_TEXT_MAX + LOGGER_TEXT_MAX / 2 + 32];
    if (&g == &shared) {
        build_shared(g, line, sizeof line);
        logger_puts(LOG_LEVEL_WARNING, LOG_MOD_LOGGER, line);
        return;
    }
    if (!g.console && stored(g.level) && !shared_take(now)) {
        for (int i = 0; i < g.source_count; i++)
            shared_fold(g.sources[i].source, g.module, now, g.sources[i].folded);
        if (g.others > 0) {
            shared_open(now, g.module);
            add_others(shared, g.others, g.other_ports, g.other_ports_only, g.other_addresses_only,
                       g.other_lowest, g.other_highest);
            queue_report(shared, now);
        }
        return;
    }
    char suffix[LOGGER_TEXT_MAX / 2 + 32];
    build_suffix(g, suffix, sizeof suffix);
    const int room = std::max(0, LOGGER_TEXT_MAX - 1 - static_cast<int>(std::strlen(suffix)));
    std::snprintf(line, sizeof line, "%.*s%s", room, g.latest, suffix);
    // A console gate's lines are printed, not logged.
    if (g.console)
        sal_printf("%s\n", line);
    else
        logger_puts(g.level, g.module, line);
}

// Ends the window under way. One that folded reports and opens the next,
// twice as long, in which the flood that goes on writes only its report;
// a quiet one ends the folding, and the next burst starts from the first
// window once the bucket has a token again.
void end_window_locked(log_gate &g, uint32_t now) {
    g.generation++;
    g.report_queued = false;
    if (folded_any(g)) {
        report_locked(g, now);
        clear_counts(g);
        g.since = now;
        g.window = std::min(g.window * 2, LOG_GATE_WINDOW_MAX_SECS);
        return;
    }
    g.open = false;
    g.fresh_written = 0;
    if (has_token(g, now)) {
        g.window = 0;
        forget_seen(g);
    }
}

// Runs on the deferred-call thread at the end of the window it was queued
// for; a window ended meanwhile by a later line is not reported twice.
void report_due(void *owner, void *generation, void *, void *, void *) {
    log_gate &g = *static_cast<log_gate *>(owner);
    SalLock hold(core_lock());
    if (g.open && g.generation == static_cast<uint32_t>(reinterpret_cast<uintptr_t>(generation)))
        end_window_locked(g, sal_time());
}

// Ends a gate's folding at once, reporting what its window folded.
void close_locked(log_gate &g, uint32_t now) {
    if (folded_any(g)) report_locked(g, now);
    clear_counts(g);
    g.open = false;
    g.generation++;  // a report still queued for the window is stale
    g.report_queued = false;
}

void write_line(const log_gate &g, int level, int module, const char *text) {
    if (g.console)
        sal_printf("%s", text);
    else
        logger_puts(level, module, text);
}

}  // namespace

void log_source_text(const log_source &source, char *out, size_t size) {
    if (size == 0) return;
    text_builder t(out, size);
    add_source(t, source);
}

int log_gate_puts(log_gate *gate, log_source from, int level, int module, const char *text) {
    if (text == nullptr) text = "";
    if (gate == nullptr) {
        logger_puts(level, module, text);
        return 1;
    }
    char named[LOGGER_TEXT_MAX];
    with_source(text, from, named, sizeof named);
    text = named;
    log_gate &g = *gate;
    SalLock hold(core_lock());
    const uint32_t now = sal_time();
    // A clock set back counts as the window's end too.
    if (g.open && now - g.since >= g.window) end_window_locked(g, now);
    if (!g.open && owed_secs(g, now) == 0) forget_seen(g);  // quiet long enough
    const bool own_token = !g.open && has_token(g, now);
    if (!own_token && !g.open) open_window_locked(g, now);
    // A source the folding gate has not named yet is named at once.
    const bool fresh = !own_token && !seen(g, from) && g.fresh_written < LOG_GATE_SOURCES;
    remember(g, from);
    if (!own_token && !fresh) {
        fold_locked(g, from, level, module, text, now);
        return 0;
    }
    // The kind's own budget is spent whether the shared one writes the line
    // or counts it: what the gate lets through (a notification the line
    // stands for) does not hang on what other kinds left of the stored log.
    if (own_token)
        spend_token(g, now);
    else
        g.fresh_written++;
    if (!g.console && stored(level) && !shared_take(now))
        shared_fold(from, module, now);
    else
        write_line(g, level, module, text);
    return 1;
}

int log_gate_printf(log_gate *gate, log_source from, int level, int module, const char *fmt, ...) {
    char line[LOGGER_TEXT_MAX];
    va_list ap;
    va_start(ap, fmt);
    line[0] = '\0';
    if (fmt != nullptr) std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    return log_gate_puts(gate, from, level, module, line);
}

void log_gate_flush(log_gate *gate) {
    if (gate == nullptr) return;
    log_gate &g = *gate;
    SalLock hold(core_lock());
    g.full_at = 0;
    forget_seen(g);
    if (!g.open) return;
    close_locked(g, sal_time());
    g.window = 0;
    g.full_at = 0;
}

void log_gates_report_all(void) {
    SalLock hold(core_lock());
    const uint32_t now = sal_time();
    for (log_gate *g = listed_gates; g != nullptr; g = g->next_listed)
        if (g->open) close_locked(*g, now);
    // Last: the gates' reports the shared budget had no room for are in it.
    if (shared.open) close_locked(shared, now);
}

void log_gates_shared_reset(void) {
    SalLock hold(core_lock());
    shared.open = false;
    shared.generation++;
    shared.report_queued = false;
    shared.window = 0;
    shared.full_at = 0;
    clear_counts(shared);
}

namespace {

thread_local log_source requester{};

constexpr int kRefusedModules = 64;

}  // namespace

int log_refused_puts_from(log_source from, int module, const char *text) {
    // One gate a module, so a flood of one page's or table's refusals is
    // counted apart from the others.
    static std::array<log_gate, kRefusedModules> refused_log = [] {
        std::array<log_gate, kRefusedModules> gates{};
        for (log_gate &g : gates)
            g.burst = 10;
        return gates;
    }();
    log_gate *gate = module >= 0 && module < kRefusedModules
                         ? &refused_log[static_cast<size_t>(module)]
                         : nullptr;
    return log_gate_puts(gate, from, LOG_LEVEL_WARNING, module, text);
}

log_source log_requester(void) {
    return requester;
}

void log_requester_set(log_source who) {
    requester = who;
}

int log_refused_printf(int level, int module, const char *fmt, ...) {
    char line[LOGGER_TEXT_MAX];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    if (requester.kind == log_source_kind::none) {
        logger_puts(level, module, line);
        return 1;
    }
    return log_refused_puts_from(requester, module, line);
}
