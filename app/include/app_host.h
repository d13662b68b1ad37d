// Host-only controls of the application core: the stand-in for a DHCP server
// and the flash logger's flush. The firmware itself never calls these; the
// host entry point and the tests do.
#pragma once

#include "net_util.h"

// ---- DHCP. The "dhcp client" thread of an interface asks the DHCP servers
// on the Linux interface that carries it (sal_netif_map), and gives that
// interface the leased address. A lease source set here answers instead
// (tests): 0 with the lease filled in, or -1 when no server answers. The
// client tries again every NET_DHCP_RETRY_USECS, and renews a lease at half
// its time.
struct net_dhcp_lease {
    char ip[NET_IF_ADDR_SIZE];
    char mask[NET_IF_ADDR_SIZE];
    char gw[NET_IF_ADDR_SIZE];
    uint32_t lease_secs;  // 0: no renewal
};
using net_dhcp_server_fn = int (*)(const char *ifname, net_dhcp_lease *lease);
constexpr int NET_DHCP_RETRY_USECS = 5 * 1000000;
// Null: the real DHCP exchange (the default). Returns the previous function.
net_dhcp_server_fn net_util_host_dhcp_server_set(net_dhcp_server_fn fn);

// ---- flash logger. Waits until every queued line is in flash: 0, or -1
// when there is no flash logger.
int logger_flash_sync(void);
