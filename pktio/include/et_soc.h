// The CPU-port glue: owns the MAC driver instance of the switch's CPU port,
// its locks, its queues of pending transmit and receive vectors, its
// interrupt routine and deferred event routine; starts DMA vectors on it.
#pragma once

#include <cstdint>

#include "etc.h"
#include "soc_dma.h"

struct et_soc_info_t {
    etc_info_t *etc;
    int dev;
    sal_mutex_t soc_dma;  // "ET_SOC_DMA": every use of the MAC driver
    sal_mutex_t tx_dma;   // "ET_TX_DMA"
    sal_mutex_t rx_dma;   // "ET_RX_DMA"
    dv_t *txq_head, *txq_tail;
    int txq_cnt;
    dv_t *rxq_head, *rxq_tail;
    int rxq_cnt;
    int resetting;
    int dpc_pending;
    int rx_enabled;
};

constexpr const char *ET_SOC_VERSION = "2002.9.27.0";
constexpr int ET_SOC_RX_BUDGET = 64;

// Registers the packet path with the unit life cycle and the packet
// services with the dispatch table.
void pktio_register(void);

// 0, -1, or -7 when the unit's PCI device is no MAC the driver serves.
int et_soc_attach(int unit);
int et_soc_detach(int unit);
int et_soc_start(int unit);
int et_soc_stop(int unit);
et_soc_info_t *et_soc_get(void);  // null while none is attached
int et_soc_mac_set(int unit, const uint8_t mac[6]);
void et_soc_dump(void);
// Frames the CPU-port MAC dropped for want of a posted receive buffer since
// the start: the count of an overrun CPU port.
uint64_t et_soc_rx_missed(void);
// Frames the CPU-port MAC can take now: the receive buffers posted and not
// yet filled; -1 while there is none or it is down.
int et_soc_rx_room(void);
void et_emac_dump(void);  // the monitor's "emac" dump
// Writes "et<unit>: <date> <time> version <version>\n": its length, or
// 4096 when the buffer is smaller than that.
int et_soc_version(et_soc_info_t *et, char *buf, int size);
// The glue whose driver reaches its PHYs through that MDC port, else null.
et_soc_info_t *et_soc_find(et_soc_info_t *et, int mdcport);
int et_soc_phy_read(et_soc_info_t *et, int phy, int reg, uint16_t *value);
int et_soc_phy_write(et_soc_info_t *et, int phy, int reg, uint16_t value);

int soc_dma_start(int unit, dv_t *dv);
// 0, -9 on time-out (usec; -1 without limit), -2 without a semaphore.
int soc_dma_wait_timeout(int unit, dv_t *dv, int usec);
int soc_dma_wait(int unit, dv_t *dv);
int soc_dma_rx_enable(int unit);
int soc_dma_rx_disable(int unit);
