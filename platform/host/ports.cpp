// Well-known server ports, moved by an offset where the host forbids them,
// and the address the servers listen on.
#include <arpa/inet.h>

#include <atomic>

#include "sal_host.h"

namespace {
std::atomic<int> port_offset{0};
std::atomic<uint32_t> listen_address{htonl(INADDR_LOOPBACK)};
}  // namespace

void sal_host_port_offset_set(int offset) {
    port_offset.store(offset);
}

int sal_host_port(int well_known_port) {
    return well_known_port + port_offset.load();
}

int sal_host_listen_address_set(const char *dotted) {
    in_addr parsed{};
    if (dotted == nullptr || inet_pton(AF_INET, dotted, &parsed) != 1) return -1;
    listen_address.store(parsed.s_addr);
    return 0;
}

uint32_t sal_host_listen_address(void) {
    return listen_address.load();
}
