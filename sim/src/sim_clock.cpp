#include "sim/sim_clock.h"

namespace sim {

uint64_t SimClock::now() const {
    return source_ ? source_() : manual_;
}

void SimClock::advance(uint64_t usecs) {
    if (!source_) manual_ += usecs;
}

void SimClock::setSource(Source source) {
    if (source_ && !source) manual_ = source_();
    source_ = std::move(source);
}

void EventQueue::at(uint64_t when, Event event) {
    events_.emplace(std::make_pair(when, seq_++), std::move(event));
}

bool EventQueue::popDue(uint64_t now, Event *out) {
    if (events_.empty() || events_.begin()->first.first > now) return false;
    *out = std::move(events_.begin()->second);
    events_.erase(events_.begin());
    return true;
}

}  // namespace sim
