// The frame side of the model: each port's wire (inject, capture, cable,
// loopback plug), the management port to the CPU (ImpPort) and the
// forwarding pipeline between them, driven by the event queue on the model
// clock. The pipeline reads the chip's registers and tables as the drivers
// left them; all state is guarded by the chip's lock, and sinks are called
// after it is released.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "sim/anomalies.h"
#include "sim/chip.h"
#include "sim/frame.h"
#include "sim/shared_buffer.h"
#include "sim/sim_clock.h"

namespace sim {

enum class Fcs { Good, Bad, Included };

// A frame a port sent, as seen on the wire.
struct SentFrame {
    std::vector<uint8_t> bytes;  // without FCS
    bool tagged = false;
    uint16_t vid = 0;
    uint8_t pri = 0;
    int queue = 0;
    uint64_t seq = 0;
};

// Frames the pipeline dropped before any egress decision, by reason.
struct DropStats {
    uint64_t gate = 0;   // link down, receive disabled, forwarding off
    uint64_t error = 0;  // FCS, size
    uint64_t vlan = 0;
    uint64_t stp = 0;
    uint64_t no_egress = 0;
    uint64_t rate = 0;  // ingress limit, storm control
    // No room in the packet buffer (a frame arriving at a port) or in the
    // backlog of frames handed to sinks (a frame leaving one).
    uint64_t buffer = 0;
    // No room in the egress queue of the port it was to leave by.
    uint64_t egress = 0;
};

using FrameSink = std::function<void(std::vector<uint8_t> frame)>;

class Fabric;

class Port {
  public:
    Port(Fabric &fabric, int port) : fabric_(fabric), port_(port) {}
    int number() const { return port_; }

    // The frame arrives on the wire (a good FCS is added). False when the
    // port cannot take frames (the CPU port: use ImpPort; a port whose PHY
    // is looped back).
    bool inject(const Frame &frame);
    bool injectRaw(std::span<const uint8_t> bytes, Fcs fcs = Fcs::Good);
    void injectBurst(const Frame &frame, int n);
    // The attached host sends the frame (a good FCS is added): it waits in
    // the host's queue and crosses the wire at the port's line rate as the
    // packet buffer has room for it, so a burst the wire carries is delayed,
    // not lost. Past Fabric::kHostQueueCells waiting it is dropped and
    // counted as the port's discard. False as for inject.
    bool send(const Frame &frame);

    // Frames the port sent while no sink was set.
    std::vector<SentFrame> sent() const;
    // The sent frames once there are at least n, or at the end of the
    // (real-time) timeout: for a worker thread that runs the queue.
    std::vector<SentFrame> waitSent(size_t n, std::chrono::milliseconds timeout) const;
    void clearSent();
    // Frames the port sends go to the sink (without FCS) instead.
    void setSink(FrameSink sink);

    void linkUp(const LinkPartner &partner = {});
    void linkDown();
    // A cable to another port of the board: both links come up.
    void connectTo(Port &peer);
    // A plug that returns everything the port sends (after the hop delay).
    void loopbackPlug(bool on);

  private:
    Fabric &fabric_;
    int port_;
};

// The management port as the CPU-port MAC sees it. Frames to the CPU carry
// the management tag (0x8874 and the tag word) after the source MAC, are
// always 802.1Q-tagged and end with an FCS computed without the management
// tag; frames from the CPU are checked the same way.
class ImpPort {
  public:
    explicit ImpPort(Fabric &fabric) : fabric_(fabric) {}
    // Frames to the CPU go to the sink as the pipeline hands them over.
    void setCpuSink(FrameSink sink);
    // The CPU-port MAC behind the port instead: frames to the CPU wait in
    // the port's class-of-service queues and leave at the link's rate while
    // the MAC has a receive buffer for them (room: buffers posted and not
    // yet filled; negative while it takes every frame, e.g. is off), as a
    // MAC holds its link when it has none. roomGrew resumes the port.
    void connectMac(FrameSink sink, std::function<int()> room);
    void roomGrew();
    // Opcode 0 enters the pipeline at the CPU port; opcodes 3/4 go straight
    // to the ports of the tag's bitmap (for 4 the second group, from chip port 24).
    void fromCpu(std::span<const uint8_t> frame);
    // Frames handed to the CPU while no sink was set.
    std::vector<std::vector<uint8_t>> toCpu() const;
    void clearToCpu();

  private:
    Fabric &fabric_;
};

class Fabric {
  public:
    static constexpr uint64_t kHopDelayUs = 1000;
    static constexpr int kQueues = 4;
    // The packet buffer: a frame holds cells of it from its arrival at a
    // port (the CPU port included; a frame on a looped or cabled wire from
    // the moment it was sent) until the pipeline has taken it, accounted by
    // the egress queue its port's priority gives it. A port holds at most
    // kPortCells in each of them, all ports together kBufferCells, and each
    // port's queue keeps kReservedCells that only its own frames use; of the
    // rest, which the ports share, a queue (with those that preempt it) holds at
    // most what is left free. A frame that does not fit is dropped and
    // counted as the port's discard, so a flood from several ports costs
    // bounded memory and delay, the other ports still find room, and a
    // port's higher-priority frames find room beside its lower ones' flood.
    // Of the ports' next frames the pipeline takes a preempting queue's
    // first (the highest first), the ports in turn; queues sharing by weight
    // take turns by their weights, as they leave, so that a model running
    // behind still feeds each its share; a queue's room counts only the
    // backlog of the queues that preempt it.
    static constexpr size_t kCellBytes = 256;
    static constexpr uint32_t kPortCells = 512;
    static constexpr uint32_t kBufferCells = 4096;
    static constexpr uint32_t kReservedCells = 8;
    static constexpr uint32_t kBufferFreePart = 1;
    // What a port's host may have waiting for the wire (Port::send), in
    // cells too: 4 MB, more than a TCP stream keeps in flight.
    static constexpr uint32_t kHostQueueCells = 16384;
    // Preamble, start delimiter and the gap between two frames, in bytes.
    static constexpr uint64_t kWireOverheadBytes = 20;
    // Nanoseconds a frame (with its FCS) holds a wire of the rate.
    static uint64_t wireNs(size_t bytes, int mbps) {
        return (bytes + kWireOverheadBytes) * 8 * 1000 / static_cast<uint64_t>(mbps);
    }
    static uint32_t cellsOf(const std::vector<uint8_t> &wire) {
        return static_cast<uint32_t>((wire.size() + kCellBytes - 1) / kCellBytes);
    }
    // Frames handed to sinks wait until the event thread's pass ends, or
    // until those waiting span kSinkSpanUs of model time, so that a pass
    // running late does not deliver its whole backlog at once; past
    // kSinkBacklog, a frame leaving a port is dropped and counted as its
    // discard. A port without a sink keeps at most kCapturedFrames of what
    // it sent (and the CPU port of what it got while no sink was set).
    static constexpr size_t kSinkBacklog = 8192;
    static constexpr uint64_t kSinkSpanUs = 250;
    static constexpr size_t kCapturedFrames = 4096;
    // Egress: a port sends at its line rate, or at its egress limit when
    // that is lower (the limit's bucket is the burst it may send at once);
    // what it cannot send yet waits in its class-of-service queue (the
    // priority map's) and leaves in the order the scheduling mode gives (the
    // highest queue first when it preempts, else by the queues' weights). A
    // queue holds at most kQueueCells, all ports' queues together
    // kEgressCells: enough for what a late pass of the event thread brings
    // at once. Each queue keeps kQueueReservedCells of them that no other
    // takes, and of the rest a queue with the port's queues that preempt it
    // holds at most 1/kEgressFreePart of what is left free, so a shaped or
    // congested port fills only its own share and every other port still
    // has room, and a lower queue's backlog leaves a preempting queue its
    // room (under strict priority the high queue's frames are never the
    // ones dropped), while queues sharing by weight each have room of their
    // own, so each keeps a backlog for its turns. A frame past its queue's
    // room is dropped and counted as the port's discard,
    // except that a port running flow control is held instead: its frames
    // are not taken while those it has waiting in egress queues hold
    // kPauseCells or more. The CPU honours pause too: what it sends may wait
    // kCpuHoldCells beyond a queue's room.
    static constexpr uint32_t kQueueCells = 1024;
    static constexpr uint32_t kEgressCells = 16384;
    static constexpr uint32_t kQueueReservedCells = 16;
    static constexpr uint32_t kEgressFreePart = 4;
    static constexpr uint32_t kPauseCells = 512;
    static constexpr uint32_t kCpuHoldCells = 2048;

    Fabric(Chip &chip, Anomalies &anomalies);
    Fabric(const Fabric &) = delete;
    Fabric &operator=(const Fabric &) = delete;

    Port &port(int p);  // std::out_of_range for a port the chip does not have
    ImpPort &cpu() { return imp_; }
    const SimClock &clock() const { return clock_; }
    DropStats dropStats() const;
    // Frames the port sent from one of its egress queues (0 outside the
    // ports and queues).
    uint64_t queueCount(int port, int queue) const;

    // Runs every event that is due; with no notifier set, adding an event
    // runs the due ones at once on the caller's thread.
    void pump();
    // Runs due events for at most about the slice of real time, so that a
    // model that falls behind (frames looping at wire speed) still lets the
    // other users of its lock in between slices; within the slice a thread
    // waiting for the lock (a register access) gets it between two events.
    void pump(std::chrono::microseconds slice);
    // True when an event is due and waits to run.
    bool behind() const;
    // Called (without the lock) when an event was added: a worker that runs
    // the queue wakes up.
    void setNotifier(std::function<void()> notify);
    // Called (without the lock) once a batch of frames was handed to the
    // ports' sinks: a sink that passes frames to a thread of its own wakes
    // it once per batch rather than once per frame.
    void setHandedOver(std::function<void()> handed);
    // Waits (real time, up to the timeout) until no event is due; false when
    // some still are.
    bool settle(std::chrono::milliseconds timeout);
    // Model time of the next event, or UINT64_MAX.
    uint64_t nextEvent() const;
    // Moves the hand-run clock on and runs what fell due.
    void advance(uint64_t usecs);
    // Lets what waits at the ports leave: runs the wire's events, a hand-run
    // clock moving only as far as they need (for a look at what ports sent
    // that does not time it); with a bound clock it only pumps.
    void drain();
    // Reads model time from the source (empty: the hand-run clock again);
    // ageing counts from the moment of binding.
    void bindClock(SimClock::Source source);
    // The nth frame (1 the next) that a front-panel port puts on its wire
    // from now on gets one byte inverted (at the offset, or the middle one
    // when the frame is shorter) before the FCS is computed, as a fault on
    // the MAC's data path would; 0 cancels.
    void corruptFrame(uint64_t nth, size_t offset = SIZE_MAX);
    // The nth frame (1 the next) that arrives at a front-panel port from now
    // on finds its packet buffer full: dropped and counted as the port's
    // discard; 0 cancels.
    void dropFrame(uint64_t nth);

  private:
    friend class Port;
    friend class ImpPort;

    struct Arrived {
        std::vector<uint8_t> wire;
        uint64_t due = 0;  // model time from which the pipeline may take it
        uint32_t cells = 0;
        bool from_cpu = false;
        int queue = 0;            // the egress queue its port's priority gives it
        uint64_t arrived_ns = 0;  // 0: when it was queued
    };
    struct Leaving {
        std::vector<uint8_t> frame;
        int from = -1;  // the port it came in on
        uint32_t cells = 0;
    };
    struct PortState {
        std::vector<SentFrame> sent;
        FrameSink sink;
        int peer = -1;
        bool plug = false;
        // Frames the attached host sent that have not crossed the wire yet.
        std::deque<std::vector<uint8_t>> host_queue;
        uint32_t host_cells = 0;
        uint64_t wire_free_ns = 0;  // model time at which the wire is free again
        bool wire_armed = false;    // an event moves the queue on
        bool room_wait = false;     // in room_waiters_
        // Frames in the packet buffer waiting for the pipeline.
        std::deque<Arrived> rx_queue;
        // Egress: the frames waiting in each class-of-service queue (their
        // cells are held in egress_), and when the transmit side of the wire
        // is free.
        std::array<std::deque<Leaving>, kQueues> tx_queue;
        uint64_t tx_free_ns = 0;
        // Up to when the egress limit's bucket has paid for what was sent.
        uint64_t shaped_ns = 0;
        double shaped_kbps = 0;  // the limit's rate when shaped_ns was last moved
        bool tx_armed = false;
        int wrr_queue = 0;      // the queue whose weighted turn it is
        uint64_t wrr_left = 0;  // frames it may still send in that turn
        // Cells of this port's frames waiting in egress queues (flow control).
        uint32_t in_egress = 0;
    };
    // What the field processor's first matching row decided.
    struct CfpResult {
        bool drop = false;
        int redirect = -1;  // the only port to send to
        int copy = -1;      // a port that gets a copy besides
        int pri = -1;       // new priority
    };
    struct Bucket {
        bool primed = false;
        double tokens = 0;  // bits
        uint64_t last = 0;  // model time of the last refill
    };
    // The ingress decision the later stages work from.
    struct Classified {
        uint16_t vid = 0;
        uint8_t pri = 0;
        bool vlan_on = false;  // VLAN_EN set and the VLAN in the table
        uint64_t members = 0;
        uint64_t untag = 0;
        int mspt = 0;
        int queue = 0;      // egress queue
        int cpu_queue = 0;  // the CPU port's: an address entry may choose it
    };

    // Queue plumbing (fabric.cpp).
    void schedule(uint64_t delay, EventQueue::Event event);
    // Takes the frame into the packet buffer and queues it for the pipeline;
    // false (and counted) when it does not fit.
    // arrived_ns: when the frame's last bit came in, if earlier than now (a
    // wire event run late puts in what came meanwhile at once).
    // queue: the frame's arrival queue when the caller has it, else -1.
    bool enqueueIngress(int port, std::vector<uint8_t> wire, uint64_t delay, bool from_cpu = false,
                        uint64_t arrived_ns = 0, int queue = -1);
    bool bufferAdmits(int port, int queue, uint32_t cells) const;
    void releaseCells(int port, int queue, uint32_t cells);
    // One frame into the pipeline: of the ports that have one due and are
    // not held by flow control, the next in turn among those whose frame is
    // of the highest preempting queue, else of the weighted queue whose turn
    // it is; false when none has.
    bool serveIngress();
    void serveOwed();
    bool flowHeld(int port) const;
    // The host queue (fwd_wire.cpp): moves the port's waiting frames onto the
    // wire and into the buffer as far as the line rate and the room allow.
    void feedWire(int port);
    int lineRateMbps(int port) const;
    bool fullDuplex(int port) const;
    void runDue(
        std::unique_lock<ChipMutex> &lock,
        std::chrono::steady_clock::time_point until = std::chrono::steady_clock::time_point::max());
    void kick(std::unique_lock<ChipMutex> &lock);
    // Calls the sinks of the frames waiting in outbox_, without the lock.
    void handOver(std::unique_lock<ChipMutex> &lock);
    void ageTick(uint64_t gen);
    // Pipeline (fwd_ingress.cpp, fwd_lookup.cpp, fwd_egress.cpp).
    void ingress(int port, const std::vector<uint8_t> &wire, bool from_cpu);
    bool gateOpen(int port, bool from_cpu);
    bool countRx(int port, const std::vector<uint8_t> &wire);
    bool classify(int port, const FrameView &view, Classified *c);
    int stpState(int port, const Classified &c) const;
    const RegInstance *udfOffsetReg(int reg_id, int port) const;
    CfpResult fieldProcessor(int port, const std::vector<uint8_t> &frame, const FrameView &view,
                             const Classified &c);
    // entry_cos: the class of service of the address entry the frame hit, else -1.
    uint64_t destinations(const FrameView &view, const Classified &c, bool *to_cpu_only,
                          int *entry_cos);
    // *unlinked: the ports of dest the frame would have left by but for
    // their link (a trunk's once, when no member takes it).
    uint64_t egressSet(int port, uint64_t dest, const FrameView &view, const Classified &c,
                       uint64_t *unlinked);
    // Member bitmaps of the enabled trunk groups (none while trunking is off).
    std::vector<uint64_t> trunkGroups() const;
    // The members of the trunk the port belongs to, or the port alone.
    uint64_t trunkOf(int port) const;
    uint64_t trunkReduce(int port, uint64_t set, const FrameView &view,
                         const std::vector<uint64_t> &trunks);
    // Queue choice (fwd_queue.cpp): cfp_queue is the field processor's new
    // priority, -1 for none.
    int mapQueue(int reg_id, int key) const;
    // The queue a frame arriving at the port is accounted to in the packet
    // buffer: its port's priority, before the pipeline classifies it.
    int arrivalQueue(int port, const std::vector<uint8_t> &wire) const;
    int egressQueue(int from, const std::vector<uint8_t> &frame, const FrameView &view,
                    const Classified &c, int cfp_queue) const;
    // The frame as the port's VLAN rule sends it.
    std::vector<uint8_t> egressFrame(int port, const std::vector<uint8_t> &frame,
                                     const Classified &c) const;
    // False when nothing left the port; *sent gets the frame as it left.
    bool transmit(int port, int from, const std::vector<uint8_t> &frame, const Classified &c,
                  std::vector<uint8_t> *sent = nullptr);
    // Egress (fwd_sched.cpp): queues the frame to leave the port at its line
    // rate; leaveWire puts it on the wire.
    void wireOut(int port, std::vector<uint8_t> frame, int queue, int from);
    void drainTx(int port);
    bool egressEmpty(int port) const;
    // The queues the scheduling mode always serves before the queue (a bit
    // each): a strict queue's backlog counts against the room of those it
    // preempts; queues that take turns by weight each keep room of their own.
    uint32_t queuesAhead(int queue) const;
    int nextTxQueue(PortState &s);
    // Of the queues waiting (a bit each), the one whose weighted turn it is
    // after *queue with *left frames of its turn left (both advanced).
    int weightedTurn(int *queue, uint64_t *left, uint32_t waiting) const;
    void leaveWire(int port, std::vector<uint8_t> frame, int queue);
    void toCpuPort(int ingress_port, std::vector<uint8_t> frame, const Classified &c);
    // The CPU port's link (fwd_cpu.cpp): whether the MAC takes a frame now,
    // the frame leaving to it, and the held queues resuming.
    bool cpuMacTakes();
    void leaveToCpu(std::vector<uint8_t> frame, int queue);
    void resumeCpu();
    void countTx(int port, const std::vector<uint8_t> &frame);
    void countLeaving(int port, const std::vector<uint8_t> &frame, int queue);
    // Rate control (fwd_rate.cpp).
    static double rateKbps(uint32_t code);
    bool takeTokens(Bucket &b, double kbps, double burst_kbits, size_t bytes);
    uint32_t packetClass(const FrameView &view, const Classified &c);
    bool ingressControl(int port, uint64_t *raw, const chipdata_reg **layout) const;
    bool ingressRateAdmits(int port, const FrameView &view, const Classified &c, size_t wire_bytes);
    // The model time (ns), start_ns or later, from which the port's egress
    // limit lets a frame of wire_bytes (FCS included) leave; a frame that may
    // leave by now_ns is charged to the port's bucket.
    uint64_t egressRateStart(int port, size_t wire_bytes, uint64_t start_ns, uint64_t now_ns);
    void fromCpu(std::span<const uint8_t> frame);
    // Register access helpers with cached lookups.
    const RegInstance *reg(int reg_id, int instance = 0) const;
    const RegInstance *portReg(int reg_id, int port) const;
    uint64_t field(const RegInstance *r, int field_id, uint64_t absent = 0) const;
    uint64_t field(int reg_id, int field_id, uint64_t absent = 0) const {
        return field(reg(reg_id), field_id, absent);
    }
    uint64_t portMask() const { return (1ull << chip_.profile().num_ports) - 1; }
    bool macLinkUp(int port) const;
    const RegInstance *portCtl(int port) const;
    void mib(int reg_id, int port, uint64_t delta);

    Chip &chip_;
    Anomalies &anomalies_;
    const ChipProfile &profile_;
    RegSpace &regs_;
    SimClock clock_;
    EventQueue queue_;
    std::vector<std::unique_ptr<Port>> ports_;
    std::vector<PortState> state_;
    ImpPort imp_;
    std::vector<std::vector<uint8_t>> to_cpu_;
    FrameSink cpu_sink_;
    std::function<void()> handed_over_;
    std::function<int()> cpu_room_;  // empty: no MAC behind the port
    // Frames handed to the MAC's sink and not yet taken by it.
    std::atomic<int> cpu_in_flight_{0};
    // The CPU port waits for room; set before the room is read, so that a
    // buffer posted meanwhile finds it set and resumes the port.
    std::atomic<bool> cpu_held_{false};
    std::function<void()> notify_;
    std::vector<std::function<void()>> outbox_;  // sink calls made after unlocking
    DropStats drops_;
    SharedBuffer buffer_;           // the packet buffer, by port and queue
    uint64_t rx_waiting_ = 0;       // ports with frames in the packet buffer
    SharedBuffer egress_;           // the egress queues, by port and queue
    std::deque<int> room_waiters_;  // ports whose host queue waits for cells
    int serve_next_ = 0;            // the port whose turn at the pipeline is next
    // The weighted queues' turns at the pipeline, as an egress port's.
    int intake_queue_ = 0;
    uint64_t intake_left_ = 0;
    // When the frame in the pipeline arrived (0: now): an idle egress wire
    // starts from then, so that frames a late pass brings at once leave as
    // they would have, not bunched behind each other.
    uint64_t arrived_ns_ = 0;
    uint64_t serves_owed_ = 0;  // frames left waiting by flow control
    bool owed_armed_ = false;
    uint64_t seq_ = 0;
    uint64_t corrupt_in_ = 0;  // frames to the one corruptFrame spoils, 0: none
    size_t corrupt_at_ = SIZE_MAX;
    void applyFault(std::vector<uint8_t> &frame);
    uint64_t drop_in_ = 0;  // frames to the one dropFrame drops, 0: none
    bool dropFault(bool from_cpu);
    uint64_t last_age_ = 0;
    uint64_t age_gen_ = 0;
    bool pumping_ = false;
    mutable std::map<uint64_t, const RegInstance *> reg_cache_;
    struct Meter {
        uint64_t serial = 0;  // the meter write this bucket belongs to
        Bucket bucket;
    };
    std::map<int, Meter> meters_;  // by CFP row
    std::vector<std::array<uint64_t, kQueues>> queue_counts_;
    // Per port: ingress limit, storm control.
    std::vector<std::array<Bucket, 2>> port_buckets_;
};

}  // namespace sim
