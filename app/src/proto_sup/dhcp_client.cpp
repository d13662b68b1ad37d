// DHCP client messages (RFC 2131) over a UDP socket bound to the interface.
#include "dhcp_client.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

#include "unique_fd.h"

namespace {

constexpr uint8_t kCookie[4] = {99, 130, 83, 99};
constexpr int kOptionsAt = 240;

void put32(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

uint32_t get32(const uint8_t *p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

std::chrono::steady_clock::time_point deadline_after(int ms) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

int ms_left(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for a reply of the wanted type; false at the deadline or on a refusal.
bool await(int fd, uint32_t xid, const uint8_t mac[6], uint8_t want,
           std::chrono::steady_clock::time_point deadline, dhcp_reply *out) {
    uint8_t buf[1500];
    for (int left = ms_left(deadline); left > 0; left = ms_left(deadline)) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, left) <= 0) continue;
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0 || !dhcp_parse(buf, static_cast<int>(n), xid, mac, out)) continue;
        if (out->type == DHCP_NAK) return false;
        if (out->type == want) return true;
    }
    return false;
}

bool send_to_servers(int fd, const uint8_t *msg, int len) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(67);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    return sendto(fd, msg, static_cast<size_t>(len), 0, reinterpret_cast<sockaddr *>(&to),
                  sizeof to) == len;
}

}  // namespace

int dhcp_build(uint8_t *buf, uint8_t type, uint32_t xid, const uint8_t mac[6],
               const uint8_t *requested, const uint8_t *server) {
    std::memset(buf, 0, DHCP_MSG_MAX);
    buf[0] = 1;  // request
    buf[1] = 1;  // Ethernet
    buf[2] = 6;
    put32(buf + 4, xid);
    buf[10] = 0x80;  // answer by broadcast: the interface has no address yet
    std::memcpy(buf + 28, mac, 6);
    std::memcpy(buf + 236, kCookie, 4);
    uint8_t *o = buf + kOptionsAt;
    *o++ = 53;
    *o++ = 1;
    *o++ = type;
    if (requested != nullptr) {
        *o++ = 50;
        *o++ = 4;
        std::memcpy(o, requested, 4);
        o += 4;
    }
    if (server != nullptr) {
        *o++ = 54;
        *o++ = 4;
        std::memcpy(o, server, 4);
        o += 4;
    }
    const uint8_t wanted[] = {55, 3, 1, 3, 51};  // mask, router, lease time
    std::memcpy(o, wanted, sizeof wanted);
    o += sizeof wanted;
    *o++ = 255;
    int len = static_cast<int>(o - buf);
    return len < 300 ? 300 : len;  // the BOOTP minimum some servers expect
}

bool dhcp_parse(const uint8_t *buf, int len, uint32_t xid, const uint8_t mac[6], dhcp_reply *out) {
    if (len < kOptionsAt || buf[0] != 2 || get32(buf + 4) != xid ||
        std::memcmp(buf + 28, mac, 6) != 0 || std::memcmp(buf + 236, kCookie, 4) != 0)
        return false;
    *out = dhcp_reply{};
    std::memcpy(out->yiaddr, buf + 16, 4);
    for (int i = kOptionsAt; i < len;) {
        uint8_t code = buf[i];
        if (code == 255) break;
        if (code == 0) {
            i++;
            continue;
        }
        if (i + 1 >= len || i + 2 + buf[i + 1] > len) return false;
        const uint8_t n = buf[i + 1];
        const uint8_t *v = buf + i + 2;
        if (code == 53 && n == 1) out->type = v[0];
        if (code == 1 && n == 4) std::memcpy(out->mask, v, 4);
        if (code == 3 && n >= 4) std::memcpy(out->router, v, 4);
        if (code == 54 && n == 4) std::memcpy(out->server, v, 4);
        if (code == 51 && n == 4) out->lease_secs = get32(v);
        i += 2 + n;
    }
    return out->type != 0;
}

int dhcp_exchange(const char *host_if, const uint8_t mac[6], net_dhcp_lease *lease,
                  int timeout_ms) {
    if (host_if == nullptr || mac == nullptr || lease == nullptr) return -1;
    UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return -1;
    int on = 1;
    setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(fd.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    if (setsockopt(fd.get(), SOL_SOCKET, SO_BINDTODEVICE, host_if,
                   static_cast<socklen_t>(std::strlen(host_if))) != 0)
        return -1;
    sockaddr_in me{};
    me.sin_family = AF_INET;
    me.sin_port = htons(68);
    if (bind(fd.get(), reinterpret_cast<sockaddr *>(&me), sizeof me) != 0) return -1;

    std::random_device rd;
    const uint32_t xid = rd();
    const auto deadline = deadline_after(timeout_ms);
    uint8_t msg[DHCP_MSG_MAX];
    dhcp_reply offer{}, ack{};
    int len = dhcp_build(msg, DHCP_DISCOVER, xid, mac, nullptr, nullptr);
    if (!send_to_servers(fd.get(), msg, len) ||
        !await(fd.get(), xid, mac, DHCP_OFFER, deadline, &offer))
        return -1;
    len = dhcp_build(msg, DHCP_REQUEST, xid, mac, offer.yiaddr, offer.server);
    if (!send_to_servers(fd.get(), msg, len) ||
        !await(fd.get(), xid, mac, DHCP_ACK, deadline, &ack))
        return -1;
    auto text = [](char(&out)[NET_IF_ADDR_SIZE], const uint8_t a[4]) {
        std::snprintf(out, sizeof out, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    };
    text(lease->ip, ack.yiaddr);
    text(lease->mask, ack.mask);
    text(lease->gw, ack.router);
    lease->lease_secs = ack.lease_secs;
    return 0;
}
