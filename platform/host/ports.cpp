// Well-known server ports, moved by an offset where the host forbids them.
#include <atomic>

#include "sal_host.h"

namespace {
std::atomic<int> port_offset{0};
}  // namespace

void sal_host_port_offset_set(int offset) {
    port_offset.store(offset);
}

int sal_host_port(int well_known_port) {
    return well_known_port + port_offset.load();
}
