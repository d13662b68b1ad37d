// Network utilities: address parsing and the management interfaces "eth0"
// and "eth1", each set up with a static address or by the DHCP client thread
// "dhcp client".
#pragma once

#include <cstdint>

#include "sal.h"

// Interface state word of net_if_info: below 2 not set up, 2 or more
// configured, 3 with the DHCP client off.
constexpr int NET_IF_DOWN = 0;
constexpr int NET_IF_DHCP_WAIT = 1;   // DHCP client running, no lease yet
constexpr int NET_IF_DHCP_BOUND = 2;  // address leased by DHCP
constexpr int NET_IF_STATIC = 3;      // static address

// Modes of net_util_if_start.
constexpr int NET_IF_MODE_STATIC = 0;
constexpr int NET_IF_MODE_DHCP = 1;

constexpr int NET_IF_ADDR_SIZE = 16;

struct net_if_info {
    char name[8];
    int mode;  // NET_IF_*
    char ip[NET_IF_ADDR_SIZE];
    char mask[NET_IF_ADDR_SIZE];
    char gw[NET_IF_ADDR_SIZE];
};

// Guards the web account; created by net_util_init. Takers wait 300 s.
extern sal_mutex_t net_util_userinfo;
constexpr int NET_UTIL_USERINFO_WAIT_USECS = 300 * 1000000;

// Creates the network-utility locks; safe to call again. 0, or -1.
int net_util_init(void);

// Dotted-decimal IPv4 of exactly four parts 0-255: 0, or -1 when malformed.
int net_util_ip_parse(const char *text, uint8_t out[4]);
// "xx-xx-xx-xx-xx-xx" with groups of 1 or 2 hexadecimal digits: 0, or -1 for
// null, empty or malformed text.
int net_util_mac_parse(const char *text, uint8_t out[6]);

// Copies the interface's record: its state word, or -1 for an unknown name.
// The flag is accepted for callers and not used.
int net_util_if_info_get(const char *name, net_if_info *rec, int flag);
// Takes the address away and stops its DHCP client: 0, or -1 for an unknown name.
int net_util_if_stop(const char *name);
// Sets a static address (mode 0; the gateway may be null or empty for none)
// or starts the DHCP client (mode 1; the addresses are ignored). A running
// set-up is stopped first. 0, or -1 for an unknown name or mode, an address
// that does not parse, or a client thread that cannot start.
int net_util_if_start(const char *name, int mode, const char *ip, const char *mask, const char *gw);

// Handlers of the settings items "et0config" and "et1config" (registered at
// start-up).
struct settings_medium;
int settings_item_et0config(int op, settings_medium *m);
int settings_item_et1config(int op, settings_medium *m);
