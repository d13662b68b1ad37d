// The fabric's plumbing: ports, the event queue, sinks and ageing.
#include "sim/fabric.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <thread>

namespace sim {

Fabric::Fabric(Chip &chip, Anomalies &anomalies)
    : chip_(chip),
      anomalies_(anomalies),
      profile_(chip.profile()),
      regs_(chip.regs()),
      state_(static_cast<size_t>(chip.profile().num_ports)),
      imp_(*this),
      buffer_({.ports = static_cast<size_t>(chip.profile().num_ports),
               .queues = kQueues,
               .total = kBufferCells,
               .reserved = kReservedCells,
               .free_part = kBufferFreePart}),
      egress_({.ports = static_cast<size_t>(chip.profile().num_ports),
               .queues = kQueues,
               .total = kEgressCells,
               .reserved = kQueueReservedCells,
               .free_part = kEgressFreePart}) {
    for (int p = 0; p < profile_.num_ports; p++)
        ports_.push_back(std::make_unique<Port>(*this, p));
    port_buckets_.resize(static_cast<size_t>(profile_.num_ports));
    queue_counts_.resize(static_cast<size_t>(profile_.num_ports));
    bindClock({});
}

Port &Fabric::port(int p) {
    if (p < 0 || p >= profile_.num_ports)
        throw std::out_of_range("no port " + std::to_string(p) + " on " + profile_.name);
    return *ports_[static_cast<size_t>(p)];
}

DropStats Fabric::dropStats() const {
    std::lock_guard<ChipMutex> g(chip_.mutex());
    return drops_;
}

void Fabric::setNotifier(std::function<void()> notify) {
    std::lock_guard<ChipMutex> g(chip_.mutex());
    notify_ = std::move(notify);
}

void Fabric::bindClock(SimClock::Source source) {
    std::unique_lock<ChipMutex> lock(chip_.mutex());
    clock_.setSource(std::move(source));
    last_age_ = clock_.now();
    uint64_t gen = ++age_gen_;
    queue_.at(last_age_ + 1000000, [this, gen] { ageTick(gen); });
}

uint64_t Fabric::nextEvent() const {
    std::lock_guard<ChipMutex> g(chip_.mutex());
    return queue_.empty() ? UINT64_MAX : queue_.next();
}

namespace {

// How long the event thread waits, lock given, for a waiting access to take it.
constexpr std::chrono::microseconds kLetThroughBound{1000};

template <typename F>
bool pollUntil(std::chrono::milliseconds timeout, F done) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace

bool Fabric::settle(std::chrono::milliseconds timeout) {
    return pollUntil(timeout, [this] {
        std::lock_guard<ChipMutex> g(chip_.mutex());
        return !pumping_ && outbox_.empty() && (queue_.empty() || queue_.next() > clock_.now());
    });
}

void Fabric::pump() {
    std::unique_lock<ChipMutex> lock(chip_.mutex());
    runDue(lock);
}

void Fabric::pump(std::chrono::microseconds slice) {
    std::unique_lock<ChipMutex> lock(chip_.mutex());
    runDue(lock, std::chrono::steady_clock::now() + slice);
}

bool Fabric::behind() const {
    std::lock_guard<ChipMutex> g(chip_.mutex());
    return !queue_.empty() && queue_.next() <= clock_.now();
}

void Fabric::advance(uint64_t usecs) {
    std::unique_lock<ChipMutex> lock(chip_.mutex());
    clock_.advance(usecs);
    runDue(lock);
}

void Fabric::drain() {
    if (clock().hasSource()) return pump();
    // Events due within a few frame times of the last one belong to the
    // frames waiting now; the ageing tick a second away does not.
    constexpr uint64_t kWireHorizonUs = 10'000;
    for (uint64_t now = clock_.now(); nextEvent() < now + kWireHorizonUs; now = clock_.now())
        advance(nextEvent() - now);
}

void Fabric::runDue(std::unique_lock<ChipMutex> &lock,
                    std::chrono::steady_clock::time_point until) {
    if (pumping_) return;  // an event added by an event: the outer loop runs it
    pumping_ = true;
    // A bound on one pass keeps a storm of zero-delay events from starving
    // the caller; the rest stays queued.
    int budget = 100000;
    EventQueue::Event event;
    const bool sliced = until != std::chrono::steady_clock::time_point::max();
    uint64_t handing_since = 0;  // model time of the first frame waiting for its sink
    while (budget-- > 0 && !queue_.empty() && queue_.next() <= clock_.now()) {
        const uint64_t due = queue_.next();
        // A pass that runs late hands frames over as it goes, not all at its
        // end: a host sees them about as the wire spaced them, not a whole
        // pass at once (which a TCP sender reads as acknowledgements bunched
        // in the network and answers with a window the port cannot hold).
        if (!outbox_.empty() && due >= handing_since + kSinkSpanUs) handOver(lock);
        const bool none_waiting = outbox_.empty();
        queue_.popDue(due, &event);
        event();
        if (none_waiting && !outbox_.empty()) handing_since = due;
        // The event thread's slices hold the lock for long under a frame load:
        // a register access or a transfer waiting for it goes first.
        if (sliced && chip_.mutex().waited()) chip_.mutex().letThrough(lock, kLetThroughBound);
        // The clock is read now and then only: it costs more than most events.
        if (budget % 64 == 0 && std::chrono::steady_clock::now() >= until) break;
    }
    pumping_ = false;
    handOver(lock);
}

void Fabric::handOver(std::unique_lock<ChipMutex> &lock) {
    if (outbox_.empty()) return;
    std::vector<std::function<void()>> out;
    out.swap(outbox_);
    const std::function<void()> handed = handed_over_;
    lock.unlock();
    for (auto &f : out)
        f();
    if (handed) handed();
    lock.lock();
}

void Fabric::setHandedOver(std::function<void()> handed) {
    std::lock_guard<ChipMutex> g(chip_.mutex());
    handed_over_ = std::move(handed);
}

void Fabric::schedule(uint64_t delay, EventQueue::Event event) {
    queue_.at(clock_.now() + delay, std::move(event));
}

bool Fabric::bufferAdmits(int port, int queue, uint32_t cells) const {
    // The pipeline takes a preempting queue's frames first; queues that
    // share by weight are taken in turn, each with room of its own.
    return buffer_.admits(static_cast<size_t>(port), static_cast<size_t>(queue), cells, kPortCells,
                          queuesAhead(queue));
}

void Fabric::releaseCells(int port, int queue, uint32_t cells) {
    buffer_.give(static_cast<size_t>(port), static_cast<size_t>(queue), cells);
    if (room_waiters_.empty()) return;
    // Hosts held back for want of room try again in turn: one that got room
    // waits next behind those that got none, so that each has its turn.
    std::deque<int> waiting;
    waiting.swap(room_waiters_);
    std::vector<int> served;
    for (const int waiter : waiting) {
        PortState &s = state_[static_cast<size_t>(waiter)];
        const uint32_t queued = s.host_cells;
        s.room_wait = false;
        feedWire(waiter);
        if (s.host_cells != queued && s.room_wait) {
            std::erase(room_waiters_, waiter);
            served.push_back(waiter);
        }
    }
    for (const int waiter : served)
        room_waiters_.push_back(waiter);
}

bool Fabric::enqueueIngress(int port, std::vector<uint8_t> wire, uint64_t delay, bool from_cpu,
                            uint64_t arrived_ns, int queue) {
    const uint32_t cells = cellsOf(wire);
    if (queue < 0) queue = arrivalQueue(port, wire);
    if (!bufferAdmits(port, queue, cells) || dropFault(from_cpu)) {
        mib(R_RXDROPPKTS, port, 1);
        drops_.buffer++;
        return false;
    }
    buffer_.take(static_cast<size_t>(port), static_cast<size_t>(queue), cells);
    state_[static_cast<size_t>(port)].rx_queue.push_back(
        {std::move(wire), clock_.now() + delay, cells, from_cpu, queue, arrived_ns});
    rx_waiting_ |= 1ull << port;
    // Each frame brings the pipeline one turn, which goes to the next port
    // in line: a quiet port's frame waits behind at most one frame of each
    // other port, not behind their backlogs.
    schedule(delay, [this] {
        if (serveIngress())
            serveOwed();
        else
            serves_owed_++;  // every due frame is held: a freed port takes the turn
    });
    return true;
}

bool Fabric::flowHeld(int port) const {
    if (state_[static_cast<size_t>(port)].in_egress < kPauseCells) return false;
    return port == profile_.cpu_port || ((field(R_QOS_PAUSE_EN, F_QOS_PAUSE_EN) >> port) & 1);
}

bool Fabric::serveIngress() {
    const int ports = profile_.num_ports;
    const uint64_t now = clock_.now();
    // A preempting queue's frame goes first, as it leaves first; queues
    // that share by weight take turns by weight here too, so that a model
    // running behind still feeds each its share and the weights, not the
    // intake, set the shares.
    const bool preempt = field(R_FCON_FLOWMIX, F_MODE_HQ_PREEMPT) != 0;
    const int top = static_cast<int>(field(R_QOS_CTL, F_QOS_EN));
    auto rank = [&](int queue) { return preempt && queue >= top ? queue + 1 : 0; };
    auto ready = [&](int p) {
        return ((rx_waiting_ >> p) & 1) &&
               state_[static_cast<size_t>(p)].rx_queue.front().due <= now && !flowHeld(p);
    };
    int chosen = -1;
    int best = -1;
    uint32_t weighted = 0;  // the weighted queues with a frame ready
    for (int i = 0; i < ports && rx_waiting_ != 0; i++) {
        const int p = (serve_next_ + i) % ports;
        if (!ready(p)) continue;
        const int queue = state_[static_cast<size_t>(p)].rx_queue.front().queue;
        if (rank(queue) == 0) weighted |= 1u << queue;
        if (rank(queue) <= best) continue;
        chosen = p;
        best = rank(queue);
    }
    if (chosen < 0) return false;
    if (best == 0 && (weighted & (weighted - 1)) != 0) {
        const int queue = weightedTurn(&intake_queue_, &intake_left_, weighted);
        for (int i = 0; i < ports; i++) {
            const int p = (serve_next_ + i) % ports;
            if (ready(p) && state_[static_cast<size_t>(p)].rx_queue.front().queue == queue) {
                chosen = p;
                break;
            }
        }
    }
    PortState &s = state_[static_cast<size_t>(chosen)];
    Arrived frame = std::move(s.rx_queue.front());
    s.rx_queue.pop_front();
    if (s.rx_queue.empty()) rx_waiting_ &= ~(1ull << chosen);
    serve_next_ = (chosen + 1) % ports;
    releaseCells(chosen, frame.queue, frame.cells);
    arrived_ns_ = frame.arrived_ns;
    ingress(chosen, frame.wire, frame.from_cpu);
    arrived_ns_ = 0;
    return true;
}

void Fabric::serveOwed() {
    if (serves_owed_ == 0 || owed_armed_) return;
    owed_armed_ = true;
    schedule(0, [this] {
        owed_armed_ = false;
        // A few at a time, so that one event does not hold the lock for long.
        int turns = 64;
        while (serves_owed_ > 0 && turns-- > 0 && serveIngress())
            serves_owed_--;
        if (turns < 0) serveOwed();
    });
}

// Called with the lock held after an entry point queued work.
void Fabric::kick(std::unique_lock<ChipMutex> &lock) {
    if (notify_)
        notify_();
    else
        runDue(lock);
}

void Fabric::ageTick(uint64_t gen) {
    if (gen != age_gen_) return;
    uint64_t now = clock_.now();
    uint64_t seconds = (now - last_age_) / 1000000;
    last_age_ += seconds * 1000000;
    if (seconds > 0) chip_.tables().advanceAgeClock(static_cast<uint32_t>(seconds));
    queue_.at(last_age_ + 1000000, [this, gen] { ageTick(gen); });
}

bool Port::inject(const Frame &frame) {
    return injectRaw(frame.bytes, Fcs::Good);
}

bool Port::injectRaw(std::span<const uint8_t> bytes, Fcs fcs) {
    if (port_ == fabric_.profile_.cpu_port) return false;
    std::vector<uint8_t> wire;
    if (fcs == Fcs::Included) {
        wire.assign(bytes.begin(), bytes.end());
    } else {
        wire = withFcs(bytes);
        if (fcs == Fcs::Bad) wire.back() ^= 0xff;
    }
    std::unique_lock<ChipMutex> lock(fabric_.chip_.mutex());
    // A PHY looped back inside itself no longer listens to its wire.
    if (fabric_.chip_.phyLoopedBack(port_)) return false;
    // A frame the buffer has no room for was still taken from the wire.
    if (fabric_.enqueueIngress(port_, std::move(wire), 0)) fabric_.kick(lock);
    return true;
}

void Port::injectBurst(const Frame &frame, int n) {
    for (int i = 0; i < n; i++)
        inject(frame);
}

std::vector<SentFrame> Port::sent() const {
    std::lock_guard<ChipMutex> g(fabric_.chip_.mutex());
    return fabric_.state_[static_cast<size_t>(port_)].sent;
}

std::vector<SentFrame> Port::waitSent(size_t n, std::chrono::milliseconds timeout) const {
    pollUntil(timeout, [&] { return sent().size() >= n; });
    return sent();
}

void Port::clearSent() {
    std::lock_guard<ChipMutex> g(fabric_.chip_.mutex());
    fabric_.state_[static_cast<size_t>(port_)].sent.clear();
}

void Port::setSink(FrameSink sink) {
    std::lock_guard<ChipMutex> g(fabric_.chip_.mutex());
    fabric_.state_[static_cast<size_t>(port_)].sink = std::move(sink);
}

void Port::linkUp(const LinkPartner &partner) {
    fabric_.chip_.linkUp(port_, partner);
}

void Port::linkDown() {
    fabric_.chip_.linkDown(port_);
}

void Port::connectTo(Port &peer) {
    {
        std::lock_guard<ChipMutex> g(fabric_.chip_.mutex());
        fabric_.state_[static_cast<size_t>(port_)].peer = peer.port_;
        fabric_.state_[static_cast<size_t>(peer.port_)].peer = port_;
    }
    linkUp();
    peer.linkUp();
}

void Port::loopbackPlug(bool on) {
    {
        std::lock_guard<ChipMutex> g(fabric_.chip_.mutex());
        fabric_.state_[static_cast<size_t>(port_)].plug = on;
    }
    if (on)
        linkUp();
    else
        linkDown();
}

}  // namespace sim
