// A buffer the ports share as a chip's buffer manager shares its cells: each
// of a port's queues keeps a reserve that no other takes and holds at most
// its cap; beyond the reserves a queue takes cells of the shared part only
// while what it and the port's queues served before it hold there stays
// within a fraction of what is left free. So however many ports fill up (a
// shaped port, a congested one, a storm), each fills only its own share and
// the others still find room; within a port a backlog behind a strict
// queue never takes that queue's room (what finds none is the lower
// queue's frame), and queues that take turns by weight each keep room of
// their own, so their shares are the scheduler's, not the drops'.
// Not locked: its owner serialises access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

class SharedBuffer {
  public:
    struct Shape {
        size_t ports = 0;
        size_t queues = 1;      // per port
        uint32_t total = 0;     // cells of the whole buffer
        uint32_t reserved = 0;  // each queue's own cells
        // A queue and those above it hold of the shared part at most
        // 1/free_part of what is free.
        uint32_t free_part = 1;
    };
    explicit SharedBuffer(const Shape &shape);

    // Whether the port's queue may take the cells now, holding at most cap;
    // ahead: a bit for each of the port's queues always served before this
    // one (bit q for queue q), whose backlog counts against its share.
    bool admits(size_t port, size_t queue, uint32_t cells, uint32_t cap, uint32_t ahead) const;
    void take(size_t port, size_t queue, uint32_t cells);
    void give(size_t port, size_t queue, uint32_t cells);
    uint32_t held(size_t port, size_t queue) const { return held_[port * queues_ + queue]; }
    // Cells the port holds in all its queues.
    uint32_t portHeld(size_t port) const { return port_held_[port]; }

  private:
    uint32_t beyondReserve(uint32_t held) const { return held > reserved_ ? held - reserved_ : 0; }

    size_t queues_;
    uint32_t reserved_;
    uint32_t free_part_;
    uint32_t shared_;
    uint32_t shared_used_ = 0;
    std::vector<uint32_t> held_;       // by port and queue
    std::vector<uint32_t> port_held_;  // by port
};

}  // namespace sim
