// The model's clock and its time-ordered event queue. The clock counts
// microseconds; it runs by hand (tests advance it) until a source is bound,
// after which it reads that source (the host binds the platform's clock, so
// that the platform's manual test clock drives ageing and meters too).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

namespace sim {

class SimClock {
  public:
    using Source = std::function<uint64_t()>;

    uint64_t now() const;
    // Moves the hand-run clock on; ignored while a source is bound.
    void advance(uint64_t usecs);
    // An empty source returns to the hand-run clock at the source's last time.
    void setSource(Source source);
    bool hasSource() const { return static_cast<bool>(source_); }

  private:
    Source source_;
    uint64_t manual_ = 0;
};

// Events at a model time, run in time order (same time: in the order they
// were added). Not locked: its owner serialises access.
class EventQueue {
  public:
    using Event = std::function<void()>;

    void at(uint64_t when, Event event);
    bool empty() const { return events_.empty(); }
    size_t size() const { return events_.size(); }
    // Time of the first event; only when not empty.
    uint64_t next() const { return events_.begin()->first.first; }
    // Takes the first event if it is due at `now`.
    bool popDue(uint64_t now, Event *out);
    void clear() { events_.clear(); }

  private:
    std::map<std::pair<uint64_t, uint64_t>, Event> events_;
    uint64_t seq_ = 0;
};

}  // namespace sim
