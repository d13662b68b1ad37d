// The operating system's network device "eth0" (device "dev_et0"): the first
// CPU-port MAC found on the PCI bus, plugged into the TCP/IP stack through
// the generic Ethernet driver interface. It carries no switch traffic.
#pragma once

#include "eth_drv.h"
#include "etc.h"

constexpr int ET_TXQ_MAX = 51;  // frames waiting beyond the hardware ring
constexpr int ET_NKEYS = 128;   // stack keys of frames handed over

// Control keys of the interface.
constexpr unsigned long ETH_DRV_SET_MAC_ADDRESS = 0x100;
constexpr unsigned long ETH_DRV_GET_IF_STATS_UD = 0x101;
constexpr unsigned long ETH_DRV_GET_IF_STATS = 0x102;
constexpr unsigned long ETH_DRV_SET_MC_LIST = 0x110;
constexpr unsigned long ETH_DRV_SET_MC_ALL = 0x111;
constexpr unsigned long ETH_DRV_SET_PROMISC = 0x6E;
constexpr int ETH_DRV_UNSUPPORTED = -3;  // 0x101/0x102: no statistics record here
constexpr uint32_t ETH_DRV_IFF_PROMISC = 0x100;

struct eth_drv_mc_list {
    int len;
    uint8_t addrs[ETC_MAXMULTILIST][6];
};

extern eth_drv_sc et0_sc;
extern const eth_drv_device dev_et0;

// Init of the device-table entry: true when the device was set up.
bool et_netdev_init(eth_drv_sc *sc);
// Interface flags the stack keeps (ETH_DRV_IFF_PROMISC).
void et_netdev_if_flags_set(uint32_t flags);
// The common engine of the attached device, or null.
etc_info_t *et_netdev_etc(void);
// Stops the device and releases it (tests).
void et_netdev_release(void);
