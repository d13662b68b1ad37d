// The generic Ethernet driver interface between network device drivers and the
// TCP/IP stack. A driver fills an eth_drv_sc with its hardware functions; the
// platform supplies the stack's entries (init, recv, tx_done). On the host the
// stack side is a queue per interface: received frames wait there for the
// host's network bridge or a test, and frames to send are handed to the
// driver through eth_drv_host_send.
#pragma once

#include <cstddef>
#include <cstdint>

struct eth_drv_sc;

struct eth_drv_sg {
    uintptr_t buf;
    uint32_t len;
};

// Status of tx_done: the frame was taken, or it was refused.
constexpr int ETH_DRV_TX_OK = 1;
constexpr int ETH_DRV_TX_FAILED = -1;

// The stack's entries, called by the driver.
struct eth_drv_funs {
    void (*init)(eth_drv_sc *sc, unsigned char *enaddr);             // interface ready, MAC given
    void (*recv)(eth_drv_sc *sc, int total_len);                     // a frame waits in the driver
    void (*tx_done)(eth_drv_sc *sc, unsigned long key, int status);  // a send finished
};

// The driver's hardware functions, in this order.
struct eth_hwr_funs {
    void (*start)(eth_drv_sc *sc, unsigned char *enaddr, int flags);
    void (*stop)(eth_drv_sc *sc);
    int (*control)(eth_drv_sc *sc, unsigned long key, void *data, int data_length);
    int (*can_send)(eth_drv_sc *sc);
    void (*send)(eth_drv_sc *sc, eth_drv_sg *sg_list, int sg_len, int total_len, unsigned long key);
    // Copies the frame announced by recv into the stack's buffers and frees
    // it; copying stops at an entry whose address is 0 (the stack had no
    // buffer, so the frame is dropped).
    void (*recv)(eth_drv_sc *sc, eth_drv_sg *sg_list, int sg_len);
    void (*deliver)(eth_drv_sc *sc);
    void (*poll)(eth_drv_sc *sc);
    int (*int_vector)(eth_drv_sc *sc);
    const eth_drv_funs *eth_drv;  // set to &eth_drv_funs_table by the driver
};

struct eth_drv_host_if;

struct eth_drv_sc {
    eth_hwr_funs *funs;
    void *driver_private;
    const char *dev_name;  // interface name, "eth0" or "eth1"
    int state;             // nonzero once the stack's init ran
    unsigned char enaddr[6];
    eth_drv_host_if *host;  // the platform's queue; set by init
};

extern const eth_drv_funs eth_drv_funs_table;

// Device table of the network start-up: each device's init runs once, in
// registration order. Up to 4 devices.
struct eth_drv_device {
    const char *name;  // "dev_et0", "dev_end0"
    bool (*init)(eth_drv_sc *sc);
    eth_drv_sc *sc;
};
int eth_drv_device_register(const eth_drv_device *dev);  // 0, or -1 when full
int eth_drv_devices_init(void);                          // number of devices whose init succeeded

// Host side of the stack.
constexpr int ETH_DRV_HOST_QUEUE = 64;              // received frames kept per interface
eth_drv_sc *eth_drv_host_find(const char *ifname);  // an initialised interface, or null
// Takes the oldest received frame: its length, or -1 when none waits; a frame
// longer than size is cut to size.
int eth_drv_host_receive(eth_drv_sc *sc, uint8_t *buf, size_t size);
int eth_drv_host_pending(eth_drv_sc *sc);
unsigned eth_drv_host_dropped(eth_drv_sc *sc);  // frames lost to a full queue
// Hands a frame to the driver's send; 0, or -1 when the driver cannot send.
int eth_drv_host_send(eth_drv_sc *sc, const uint8_t *frame, size_t len, unsigned long key);
// Completions reported through tx_done so far.
unsigned eth_drv_host_tx_done(eth_drv_sc *sc);
// Takes the oldest completion not taken yet: 0 with its key and status, or -1
// when none waits. The last ETH_DRV_HOST_QUEUE completions are kept.
int eth_drv_host_tx_done_take(eth_drv_sc *sc, unsigned long *key, int *status);
// Back-end of an interface: with a sink, frames the driver hands up go to it
// (on the driver's thread) instead of the queue; null restores the queue.
using eth_drv_host_sink_fn = void (*)(void *ctx, const uint8_t *frame, size_t len);
void eth_drv_host_sink_set(eth_drv_sc *sc, eth_drv_host_sink_fn sink, void *ctx);
// TAP back-end: creates the Linux TAP device tap_name with the interface's
// MAC address (IPv6 off, up); frames handed up are written to it and frames
// the kernel sends on it go to the driver's send. Needs CAP_NET_ADMIN and
// an initialised interface. 0, or -1 with the reason in error.
int eth_drv_host_tap_attach(eth_drv_sc *sc, const char *tap_name, char *error, size_t size);

// Forgets every interface and device (tests).
void eth_drv_host_reset(void);
