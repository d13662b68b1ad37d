// State of dynamic ARP inspection shared by its source files.
#pragma once

#include <atomic>
#include <cstdint>

#include "board.h"
#include "daimgr.h"
#include "sal.h"

struct darp_trusted_entry {
    uint8_t mac[6];
    uint8_t ip[4];  // network order
    uint16_t vid;
    uint32_t refreshed;  // seen since the last aging run
    uint32_t learned;    // from DHCP, ages; 0 = configured
    uint32_t valid;
    uint32_t time;  // last sighting, seconds
};

struct darp_state {
    sal_mutex_t lock = nullptr;            // "DARP": database, trusted ports, VLAN list
    std::atomic<int> enabled{0};           // read by the receive and timer threads
    std::atomic<uint16_t> aging_hours{0};  // written under "DARP CFG", read by the timer
    darp_trusted_entry db[DARP_BUCKETS][DARP_BUCKET_ENTRIES] = {};
    int db_count = 0;
    upbmp_t trusted{};
    int trusted_count = 0;
    uint16_t vlans[DARP_VLAN_MAX] = {};  // ascending, 0 = empty
    int vlan_count = 0;
    uint8_t cpu_mac[6] = {};     // under the lock
    bool rx_registered = false;  // under "DARP CFG"
};

extern darp_state darp;

// Of the ingress port's trunk no member is kept; of every other trunk only
// its first member with a link.
void darp_flood_trunk_filter(upbmp_t *ports, int ingress);

// The CPU's MAC address, read when inspection was enabled.
void darp_cpu_mac_get(uint8_t mac[6]);
