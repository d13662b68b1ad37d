// Descriptor-ring DMA engine of the CPU-port MAC: one transmit and one
// receive ring over the MAC's DMA channel registers. Packets are DMA vectors
// (one descriptor per data block). Registers are reached through the unit's
// host vector; the owner supplies receive buffers.
#pragma once

#include <cstdint>

#include "soc_dma.h"

constexpr int MAXDD = 512;
constexpr uint32_t DMA_REG_BASE = 0x200;

// Descriptor control bits.
constexpr uint32_t CTRL_BC_MASK = 0x1FFF;
constexpr uint32_t CTRL_EOT = 0x10000000;
constexpr uint32_t CTRL_IOC = 0x20000000;
constexpr uint32_t CTRL_EOF = 0x40000000;
constexpr uint32_t CTRL_SOF = 0x80000000;

// Channel states (bits 12-15 of the status registers).
constexpr uint32_t XS_XS_MASK = 0xF000;
constexpr uint32_t XS_XS_DISABLED = 0x0000;
constexpr uint32_t XS_XS_IDLE = 0x2000;
constexpr uint32_t XS_XS_STOPPED = 0x3000;

struct dma_desc_t {
    uint32_t ctrl;
    uint32_t addr;
};

// Register and DMA-memory access of one MAC. The SDK instance reaches its
// MAC through the unit's host vector (et_hw_unit, context: the unit number);
// the eth0 instance maps its bus window directly.
struct et_hw_t {
    uint32_t (*read)(void *ctx, uint32_t addr);
    void (*write)(void *ctx, uint32_t addr, uint32_t value);
    void *(*salloc)(void *ctx, int size, const char *tag);
    void (*sfree)(void *ctx, void *p);
    uint32_t (*l2p)(void *ctx, void *p);
    void (*sync)(void *ctx, void *p, int len, bool to_device);
};
extern const et_hw_t et_hw_unit;
inline void *et_hw_unit_ctx(int unit) {
    return reinterpret_cast<void *>(static_cast<intptr_t>(unit));
}

// The owner's buffer supply.
struct dma_osl_t {
    // A receive vector with one block of size bytes, or null.
    dv_t *(*rx_get)(void *owner, int size);
};

struct dma_info_t {
    uint32_t rxgiants;
    uint32_t rxnobuf;
    uint32_t txnobuf;
    uint32_t *msg_level;
    uint32_t default_msg_level;
    char name[9];
    int unit;
    uint32_t regs;  // DMA register base in the MAC's space
    void *owner;
    const dma_osl_t *osl;
    const et_hw_t *hw;
    void *hwctx;

    dma_desc_t *txd;
    uint32_t txin, txout, txavail;
    dv_t *txp[MAXDD];
    uint32_t txdpa;
    void *txd_alloc;
    dma_desc_t *rxd;
    uint32_t rxin, rxout;
    dv_t *rxp[MAXDD];
    uint32_t rxdpa;
    void *rxd_alloc;

    uint32_t ntxd, nrxd, rxbufsize, nrxpost, rxoffset, ddoffset, dataoffset;
};

dma_info_t *dma_attach(void *owner, const dma_osl_t *osl, int unit, const char *name, uint32_t regs,
                       uint32_t ntxd, uint32_t nrxd, uint32_t rxbufsize, uint32_t nrxpost,
                       uint32_t rxoffset, uint32_t ddoffset, uint32_t dataoffset,
                       uint32_t *msg_level, const et_hw_t *hw = nullptr, void *hwctx = nullptr);
void dma_detach(dma_info_t *di);
void dma_txreset(dma_info_t *di);
void dma_rxreset(dma_info_t *di);
void dma_txinit(dma_info_t *di);
void dma_rxinit(dma_info_t *di);
void dma_rxenable(dma_info_t *di);
void dma_txsuspend(dma_info_t *di);
void dma_txresume(dma_info_t *di);
bool dma_txsuspended(dma_info_t *di);
bool dma_txstopped(dma_info_t *di);
bool dma_rxstopped(dma_info_t *di);
void dma_fifoloopbackenable(dma_info_t *di);
bool dma_soc_txenabled(dma_info_t *di);
bool dma_soc_rxenabled(dma_info_t *di);
int dma_txfast(dma_info_t *di, dv_t *p, uint32_t coreflags);
dv_t *dma_rx(dma_info_t *di);
void dma_rxfill(dma_info_t *di);
// Receive buffers posted that the MAC has not filled yet: the frames it
// can take before it misses one.
uint32_t dma_rxroom(dma_info_t *di);
dv_t *dma_getnexttxp(dma_info_t *di, bool forceall);
dv_t *dma_getnextrxp(dma_info_t *di, bool forceall);
void dma_txreclaim(dma_info_t *di, bool forceall);
void dma_rxreclaim(dma_info_t *di);
void dma_rxrestart(dma_info_t *di);
void *dma_getvar(dma_info_t *di, const char *name);
char *dma_dump(dma_info_t *di, char *buf);
// Frees a vector the engine gives up: done flag, then its completion, else
// its buffer and itself.
void dma_pkt_free(dv_t *p);
