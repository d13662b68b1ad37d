// One DHCP exchange (discover, offer, request, acknowledgement) over a host
// network interface, for the management interfaces' DHCP client.
#pragma once

#include <cstdint>

#include "app_host.h"

// Asks the DHCP servers on host_if for a lease for mac: 0 with the lease
// filled in (lease_secs 0 when the server gave no time), -1 when none came
// within timeout_ms or a server refused.
int dhcp_exchange(const char *host_if, const uint8_t mac[6], net_dhcp_lease *lease, int timeout_ms);

// Message building and parsing, apart from the socket.
constexpr int DHCP_MSG_MAX = 576;
constexpr uint8_t DHCP_DISCOVER = 1, DHCP_OFFER = 2, DHCP_REQUEST = 3, DHCP_ACK = 5, DHCP_NAK = 6;
// A client message; requested and server are the offer's addresses (null
// for a discover). Returns its length.
int dhcp_build(uint8_t *buf, uint8_t type, uint32_t xid, const uint8_t mac[6],
               const uint8_t *requested, const uint8_t *server);
struct dhcp_reply {
    uint8_t type;
    uint8_t yiaddr[4];
    uint8_t mask[4];
    uint8_t router[4];
    uint8_t server[4];
    uint32_t lease_secs;
};
// A server reply to xid and mac: true with its fields; false for anything else.
bool dhcp_parse(const uint8_t *buf, int len, uint32_t xid, const uint8_t mac[6], dhcp_reply *out);
