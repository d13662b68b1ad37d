// Packet buffers of the TCP/IP stack: one 4096-byte block each, a header
// followed by up to 4072 bytes of frame data; buffers chain through next.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t PKT_BLOCK_SIZE = 4096;
constexpr size_t PKT_DATA_MAX = 4072;

struct pkt {
    pkt *next;      // next buffer of a chain, or null
    uint8_t *data;  // start of the frame data
    uint32_t len;   // bytes of frame data
    uint32_t flags;
};

// A buffer with len bytes of room (data points at its data area); null when
// len exceeds PKT_DATA_MAX or memory is short.
pkt *pkt_get(size_t len);
// Frees a buffer and every buffer chained behind it.
void pkt_free(pkt *p);
