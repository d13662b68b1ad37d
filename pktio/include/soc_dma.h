// DMA vectors: the unit of work the packet services hand to the CPU-port MAC
// driver (a list of buffer descriptors with completion callbacks), and the
// CPU-port frame format: the management tag and receive header a received
// vector is parsed from, and the header, padding and CRC a transmitted
// packet is given.
#pragma once

#include <cstdint>

#include "dxp_types.h"
#include "sal.h"

constexpr uint32_t DV_MAGIC_NUMBER = 0xba5eba11;
constexpr uint8_t DV_NONE = 0;
constexpr uint8_t DV_TX = 1;
constexpr uint8_t DV_RX = 2;

constexpr int SOC_DMA_TX_HDR_BYTES = 22;
constexpr int SOC_DMA_TX_CRC_BYTES = 8;
constexpr int SOC_DMA_RX_HDR_BYTES = 30;
constexpr int SOC_DV_MAX_PKTS = 8;

// Vector flags set by the receive parse.
constexpr uint32_t DV_F_RX_DISABLED = 0x1;
constexpr uint32_t DV_F_BAD = 0x4;
// Set on a vector the MAC driver frees.
constexpr uint32_t DV_F_DONE = 0x4;

struct soc_dcb_t {
    soc_dcb_t *next;
    uint8_t *addr;
    uint16_t len;
};

struct dv_t;
using dv_done_chain_t = void (*)(int unit, dv_t *dv);
using dv_done_packet_t = void (*)(int unit, dv_t *dv, soc_dcb_t *dcb);

struct dv_t {
    int dv_unit;
    uint32_t dv_magic;
    uint8_t dv_op;
    uint32_t dv_flags;
    uint16_t dv_length;
    uint16_t dv_cnt;
    uint16_t dv_vcnt;
    uint16_t dv_dcnt;
    uint32_t dv_status;  // receive: the tag word
    dv_done_chain_t dv_done_chain;
    dv_done_packet_t dv_done_packet;
    void *user1, *user2, *user3, *user4;
    sal_sem_t dv_sem;
    uint8_t *dv_tx_hdr;  // DMA memory, transmit only
    uint8_t *dv_tx_crc;
    dv_t *dv_next;  // transmit queue link
    int dv_chain_state;
    int dv_npkt;
    dxp_pkt *dv_pkts[SOC_DV_MAX_PKTS];
    soc_dcb_t *dv_dcb;
};

dv_t *soc_dv_alloc(int unit, uint8_t op, int cnt);
void soc_dv_free(int unit, dv_t *dv);
void soc_dma_dv_reset(uint8_t op, dv_t *dv);
// Descriptors left after this one.
int soc_dv_desc_add(dv_t *dv, void *addr, uint16_t cnt);
bool soc_dv_valid(const dv_t *dv);
void soc_dv_dump(int unit, const char *pfx, const dv_t *dv);
void soc_dma_data_dump(const char *pfx, const uint8_t *data, int len);
// Unit vector counters.
int soc_dv_alloc_count(void);
int soc_dv_free_count(void);
void soc_dv_counters_clear(void);

// Chip-type and feature flags the frame format depends on.
struct soc_dma_flags_t {
    uint32_t chip;
    uint32_t feature;
};
soc_dma_flags_t soc_dma_unit_flags(int unit);

// Received-frame counters the parse adds to (the MAC driver's).
struct soc_dma_rx_counts_t {
    uint32_t frames;
    uint32_t bytes;
};

// Receive parse of a completed receive vector whose first descriptor holds
// the receive header and the frame; buffer_bytes is the descriptor's buffer
// size. rx_enabled 0 marks the vector as taken while reception was off.
// Calls the vector's completion at the end.
void soc_dma_rx_parse(const soc_dma_flags_t &flags, dv_t *dv, int buffer_bytes, int rx_enabled,
                      soc_dma_rx_counts_t *counts);
// Transmit header, payload, padding and CRC descriptors of a packet: 0, -4
// for a malformed packet, SOC_E_MEMORY for a frame to pad while no padding
// source is set up, or a descriptor-add error.
int soc_dma_tx_setup(const soc_dma_flags_t &flags, int cpu_port, dxp_pkt *pkt, dv_t *dv);
// Padding source: 64 zero bytes of DMA memory ("TX Pkt Pad"), set up on the
// first call; the glue's attach sets it up and its detach releases it.
uint8_t *soc_dma_tx_pad(void);
// Frees the padding source (when the DMA memory it came from goes).
void soc_dma_tx_pad_release(void);
