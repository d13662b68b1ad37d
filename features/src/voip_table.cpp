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

void *voip_eviction_take(const voip_eviction &eviction, log_gate *gate, const char *what) {
    int port = 0;
    void *victim = eviction.victim(&port);
    if (victim != nullptr)
        log_gate_printf(gate, log_source_port(port), LOG_LEVEL_WARNING, LOG_MOD_AUTOVOIP,
                        "%s, port %d's oldest waiting ones no longer followed\n", what, port);
    return victim;
}
