// The packet services over the CPU-port glue: the receive service (chains of
// receive buffers, class-of-service queues with token buckets, callouts run
// by the "dxpRX.%d" thread), the transmit service (single, asynchronous and
// multi-port sends, completions on "dxpTX") and the packet records. Their
// dxp_tarn_* operations are declared in dxp_tarn.h and reach the dispatch
// table through pktsvc_register.
#pragma once

#include <cstdint>

#include "dxp_tarn.h"

// Hands the packet operations to the unit's dispatch table.
void pktsvc_register(void);

// Receive counters of a unit, for the monitor and the tests.
struct rx_counts_t {
    uint32_t received;        // every frame the driver delivered
    uint32_t no_callout;      // found no thread callout
    uint32_t chan_stopped;    // arrived on a stopped channel
    uint32_t thread_stopped;  // arrived while the thread was stopped
    uint32_t bad;             // marked bad by the driver
    uint32_t bad_return;      // invalid interrupt-callout returns
    uint32_t discarded;       // taken by "Discard"
    uint32_t alloc_failed;    // buffer allocation failures
    uint32_t enqueued[16];
    uint32_t dropped[16];
};
// 0, or -17 without receive state.
int rx_counts_get(int unit, rx_counts_t *out);

// Chain states of a receive DMA vector.
constexpr int DV_S_NEEDS_FILL = 0;
constexpr int DV_S_FILLED = 1;
constexpr int DV_S_SCHEDULED = 2;
constexpr int DV_S_ACTIVE = 3;
constexpr int DV_S_ERROR = 5;
// State of chain `chain` of channel `chan`, -1 when there is none.
int rx_chain_state(int unit, int chan, int chain);

// The unit's receive thread, null while none runs.
sal_thread_t rx_thread_get(int unit);

// Thread-side dispatch of a received packet to the thread callouts.
void rx_process_packet(int unit, dxp_pkt *pkt);
