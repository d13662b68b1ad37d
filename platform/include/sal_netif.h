// Host interfaces behind the firmware's network interfaces: with a TAP
// back-end, "eth1" is a Linux interface whose address the firmware sets.
#pragma once

#include <cstdint>

// Names the Linux interface that carries a firmware interface; null or ""
// removes it. Up to four.
void sal_netif_map(const char *fw_name, const char *host_name);
// The Linux interface of a firmware interface; false when there is none.
bool sal_netif_host_name(const char *fw_name, char *out, int size);
// Gives the interface its IPv4 address and mask, and the default route via
// gw when gw is not 0.0.0.0 (the old default route is replaced). 0, or -1.
int sal_netif_addr_set(const char *host_name, const uint8_t ip[4], const uint8_t mask[4],
                       const uint8_t gw[4]);
// Removes the interface's IPv4 address. 0, or -1.
int sal_netif_addr_clear(const char *host_name);
// The interface's MAC address. 0, or -1.
int sal_netif_mac_get(const char *host_name, uint8_t mac[6]);
