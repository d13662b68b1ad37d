// The snoopers' tables are held per port: when one is full, the record
// given up is the oldest waiting one of the port that holds the most, so a
// port filling a table pushes out its own records and never the calls of a
// port that holds fewer.
#include <cstdio>
#include <cstring>

#include "logger.h"
#include "sal.h"
#include "voip_internal.h"

namespace {

uint32_t stamp_clock = 0;

size_t slot_of(int port) {
    return static_cast<size_t>(port < 0 ? 0 : port % VOIP_PORT_SLOTS);
}

}  // namespace

uint32_t voip_record_stamp(void) {
    return ++stamp_clock;
}

voip_eviction::voip_eviction(int incoming_port) : incoming(incoming_port) {}

void voip_eviction::add(void *record, int port, uint32_t stamp, bool holds_rule) {
    const size_t p = slot_of(port);
    held[p]++;
    if (holds_rule) return;
    if (oldest[p] == nullptr || static_cast<int32_t>(stamp - oldest_stamp[p]) < 0) {
        oldest[p] = record;
        oldest_stamp[p] = stamp;
    }
}

void *voip_eviction::victim(int *port) const {
    int most = -1;
    for (int p = 0; p < VOIP_PORT_SLOTS; p++) {
        if (oldest[p] == nullptr) continue;
        if (most < 0 || held[p] > held[most] ||
            (held[p] == held[most] && static_cast<size_t>(p) == slot_of(incoming)))
            most = p;
    }
    if (most < 0) return nullptr;
    if (port != nullptr) *port = most;
    return oldest[most];
}

void voip_answer_tally::add(int port, uint32_t stamp) {
    if (port < 0 || port >= VOIP_PORT_SLOTS) return;
    if (answered[port]++ == 0 || static_cast<int32_t>(stamp - oldest[port]) < 0)
        oldest[port] = stamp;
}

int voip_answer_tally::port() const {
    int most = -1;
    for (int p = 0; p < VOIP_PORT_SLOTS; p++) {
        if (answered[p] == 0) continue;
        if (most < 0 || answered[p] > answered[most] ||
            (answered[p] == answered[most] && static_cast<int32_t>(oldest[p] - oldest[most]) < 0))
            most = p;
    }
    return most;
}

namespace {

// The ports as ranges ("1-3, 7"), within size; how many ports.
int ports_text(const bool ports[VOIP_PORT_SLOTS], char *out, size_t size) {
    size_t at = 0;
    int count = 0;
    out[0] = '\0';
    for (int p = 0; p < VOIP_PORT_SLOTS && at < size; p++) {
        count += ports[p];
        if (!ports[p] || (p > 0 && ports[p - 1])) continue;
        int last = p;
        while (last + 1 < VOIP_PORT_SLOTS && ports[last + 1])
            last++;
        const int n = last == p
                          ? std::snprintf(out + at, size - at, "%s%d", at ? ", " : "", p)
                          : std::snprintf(out + at, size - at, "%s%d-%d", at ? ", " : "", p, last);
        if (n < 0) break;
        at += static_cast<size_t>(n);
    }
    return count;
}

}  // namespace

void voip_burst_flush(voip_burst_note *note, bool ending) {
    if (note->what == nullptr) return;
    const uint32_t now = sal_time();
    const bool ended = ending || now - note->last >= LOG_BURST_QUIET_SECS;
    if (note->folded > 0 && (ended || now - note->said >= VOIP_BURST_FOLD_SECS)) {
        char ports[128];
        const int count = ports_text(note->ports, ports, sizeof ports);
        logger_printf(note->level, LOG_MOD_AUTOVOIP, "%s, %u more%s of port%s %s\n", note->what,
                      static_cast<unsigned>(note->folded), note->noun, count == 1 ? "" : "s",
                      ports);
        note->folded = 0;
        std::memset(note->ports, 0, sizeof note->ports);
        note->said = now;
    }
    if (ended) note->what = nullptr;
}

bool voip_burst_count(voip_burst_note *note, int level, const char *what, const char *noun,
                      int port) {
    voip_burst_flush(note, false);  // a burst that ended says what it folded
    const uint32_t now = sal_time();
    note->last = now;
    if (note->what != nullptr) {
        note->folded++;
        note->ports[slot_of(port)] = true;
        return false;
    }
    note->what = what;
    note->noun = noun;
    note->level = level;
    note->said = now;
    return true;
}

void *voip_eviction_take(const voip_eviction &eviction, voip_burst_note *note, const char *what) {
    int port = 0;
    void *victim = eviction.victim(&port);
    if (victim != nullptr && voip_burst_count(note, LOG_LEVEL_WARNING, what, " waiting ones", port))
        logger_printf(LOG_LEVEL_WARNING, LOG_MOD_AUTOVOIP,
                      "%s, port %d's oldest waiting ones no longer followed\n", what, port);
    return victim;
}
