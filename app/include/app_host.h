// Host-only controls of the application core: the stand-in for a DHCP server
// and the flash logger's flush. The firmware itself never calls these; the
// host entry point and the tests do.
#pragma once

#include "net_util.h"

// ---- DHCP. With no real DHCP server on the host, the "dhcp client" thread
// asks this function for a lease: 0 with the lease filled in, or -1 when no
// server answers (the client tries again every NET_DHCP_RETRY_USECS).
struct net_dhcp_lease {
    char ip[NET_IF_ADDR_SIZE];
    char mask[NET_IF_ADDR_SIZE];
    char gw[NET_IF_ADDR_SIZE];
};
using net_dhcp_server_fn = int (*)(const char *ifname, net_dhcp_lease *lease);
constexpr int NET_DHCP_RETRY_USECS = 5 * 1000000;
// Null: no server answers (the default). Returns the previous function.
net_dhcp_server_fn net_util_host_dhcp_server_set(net_dhcp_server_fn fn);

// ---- flash logger. Waits until every queued line is in flash: 0, or -1
// when there is no flash logger.
int logger_flash_sync(void);
