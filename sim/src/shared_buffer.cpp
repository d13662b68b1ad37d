// Reserves per queue and a dynamic cap per queue on the shared part of a
// buffer.
#include "sim/shared_buffer.h"

#include <stdexcept>

namespace sim {

SharedBuffer::SharedBuffer(const Shape &shape)
    : queues_(shape.queues),
      reserved_(shape.reserved),
      free_part_(shape.free_part),
      held_(shape.ports * shape.queues, 0),
      port_held_(shape.ports, 0) {
    const uint64_t reserves = uint64_t{shape.reserved} * shape.ports * shape.queues;
    if (reserves >= shape.total || shape.free_part == 0 || shape.queues == 0)
        throw std::invalid_argument("a buffer's reserves leave nothing to share");
    shared_ = shape.total - static_cast<uint32_t>(reserves);
}

bool SharedBuffer::admits(size_t port, size_t queue, uint32_t cells, uint32_t cap,
                          uint32_t ahead) const {
    const uint32_t *held = &held_[port * queues_];
    if (held[queue] + cells > cap) return false;
    const uint32_t beyond = beyondReserve(held[queue] + cells) - beyondReserve(held[queue]);
    if (beyond == 0) return true;
    if (shared_used_ + beyond > shared_) return false;
    // Queues filling up each keep to a share of what is left free, so the
    // shared part never runs out for the others; a queue's share counts
    // the queues served before it, whose backlog leaves first, not those it
    // outranks or takes turns with.
    uint64_t mine = beyond + beyondReserve(held[queue]);
    for (size_t q = 0; q < queues_; q++) {
        if (q != queue && ((ahead >> q) & 1)) mine += beyondReserve(held[q]);
    }
    return mine * free_part_ <= shared_ - (shared_used_ + beyond);
}

void SharedBuffer::take(size_t port, size_t queue, uint32_t cells) {
    uint32_t &held = held_[port * queues_ + queue];
    shared_used_ += beyondReserve(held + cells) - beyondReserve(held);
    held += cells;
    port_held_[port] += cells;
}

void SharedBuffer::give(size_t port, size_t queue, uint32_t cells) {
    uint32_t &held = held_[port * queues_ + queue];
    shared_used_ -= beyondReserve(held) - beyondReserve(held - cells);
    held -= cells;
    port_held_[port] -= cells;
}

}  // namespace sim
