// Packet records of the per-unit API, and the registration that hands the
// packet operations to the unit's dispatch table.
#include <cstring>

#include "pktsvc.h"
#include "soc_error.h"

namespace {

constexpr int kMinFrame = 20;

dxp_pkt *record(const char *tag) {
    auto *pkt = static_cast<dxp_pkt *>(sal_alloc(sizeof(dxp_pkt), tag));
    if (pkt != nullptr) std::memset(static_cast<void *>(pkt), 0, sizeof *pkt);
    return pkt;
}

}  // namespace

int dxp_tarn_pkt_alloc(int unit, int size, uint32_t flags, dxp_pkt **out) {
    *out = nullptr;
    dxp_pkt *pkt = record("rx alloc pkt");
    if (pkt == nullptr) return SOC_E_MEMORY;
    auto *data = static_cast<uint8_t *>(sal_dma_alloc(size > 0 ? size : 1, "rx alloc data"));
    if (data == nullptr) {
        sal_free(pkt);
        return SOC_E_MEMORY;
    }
    pkt->_pkt_data = {data, static_cast<uint32_t>(size > 0 ? size : 0)};
    pkt->pkt_data = &pkt->_pkt_data;
    pkt->blk_count = 1;
    pkt->unit = static_cast<uint8_t>(unit);
    pkt->flags = flags;
    *out = pkt;
    return 0;
}

int dxp_tarn_pkt_free(int, dxp_pkt *pkt) {
    if (pkt == nullptr) return 0;
    for (int b = 0; b < pkt->blk_count; b++)
        sal_dma_free(pkt->pkt_data[b].data);
    sal_free(pkt);
    return 0;
}

int dxp_tarn_pkt_blk_alloc(int unit, int n, int size, uint32_t flags, dxp_pkt ***out) {
    *out = nullptr;
    if (n < 1) return SOC_E_PARAM;
    auto **array = static_cast<dxp_pkt **>(sal_alloc(sizeof(dxp_pkt *) * n, "pkt_blk"));
    if (array == nullptr) return SOC_E_MEMORY;
    for (int i = 0; i < n; i++) {
        if (int rv = dxp_tarn_pkt_alloc(unit, size, flags, &array[i]); rv < 0) {
            for (int j = 0; j < i; j++)
                dxp_tarn_pkt_free(unit, array[j]);
            sal_free(array);
            return rv;
        }
    }
    *out = array;
    return 0;
}

int dxp_tarn_pkt_blk_free(int unit, dxp_pkt **array, int n) {
    if (array == nullptr) return 0;
    for (int i = 0; i < n; i++)
        if (array[i] != nullptr) dxp_tarn_pkt_free(unit, array[i]);
    sal_free(array);
    return 0;
}

int dxp_tarn_pkt_flags_init(int, dxp_pkt *pkt, uint32_t flags) {
    if (pkt == nullptr) return SOC_E_PARAM;
    pkt->flags = flags;
    return 0;
}

int dxp_tarn_pkt_flags_len_setup(int, dxp_pkt *pkt, int alloc_bytes, int payload, uint32_t flags) {
    if (pkt == nullptr) return SOC_E_PARAM;
    if (payload < 0) payload = alloc_bytes - kMinFrame;
    if (payload > alloc_bytes - kMinFrame) return SOC_E_PARAM;
    pkt->flags = flags;
    return payload;
}

int dxp_tarn_pkt_clear(int unit, dxp_pkt *pkt, dxp_pkt_blk_t *blks, int blk_count, uint32_t flags,
                       dxp_pkt **out) {
    const bool mine = pkt == nullptr;
    if (mine && (pkt = record("pkt_setup")) == nullptr) {
        if (out) *out = nullptr;
        return SOC_E_MEMORY;
    }
    std::memset(static_cast<void *>(pkt), 0, sizeof *pkt);
    int bytes = 0;
    for (int b = 0; b < blk_count && blks != nullptr; b++)
        bytes += static_cast<int>(blks[b].len);
    int rv = SOC_E_MEMORY;
    if (bytes >= kMinFrame) {
        pkt->pkt_data = blks;
        pkt->blk_count = static_cast<uint8_t>(blk_count);
        pkt->unit = static_cast<uint8_t>(unit);
        rv = dxp_tarn_pkt_flags_len_setup(unit, pkt, bytes, -1, flags);
    }
    if (rv < 0) {
        if (mine) sal_free(pkt);
        if (out) *out = nullptr;
        return rv;
    }
    if (out) *out = pkt;
    return 0;
}

int dxp_tarn_pkt_rx_alloc(int unit, int size, dxp_pkt **out) {
    *out = nullptr;
    if (unit == -2) unit = 0;
    dxp_pkt *pkt = record("pkt_rx_alloc");
    if (pkt == nullptr) return SOC_E_MEMORY;
    void *buf = nullptr;
    if (int rv = dxp_tarn_rx_alloc(unit, size, 0, &buf); rv < 0) {
        sal_free(pkt);
        return rv;
    }
    pkt->_pkt_data = {static_cast<uint8_t *>(buf), static_cast<uint32_t>(size)};
    pkt->pkt_data = &pkt->_pkt_data;
    pkt->blk_count = 1;
    pkt->unit = static_cast<uint8_t>(unit);
    pkt->tot_len = static_cast<uint16_t>(size);
    *out = pkt;
    return 0;
}

int dxp_tarn_pkt_rx_free(int unit, dxp_pkt *pkt) {
    if (pkt == nullptr) return 0;
    int rv = dxp_tarn_rx_free(unit, pkt->pkt_data ? pkt->pkt_data[0].data : nullptr);
    sal_free(pkt);
    return rv;
}

void pktsvc_register(void) {
    static const dxp_tarn_pkt_ops_t ops = {
        .rx_active = dxp_tarn_rx_active,
        .rx_alloc = dxp_tarn_rx_alloc,
        .rx_burst_get = dxp_tarn_rx_burst_get,
        .rx_burst_set = dxp_tarn_rx_burst_set,
        .rx_cfg_get = dxp_tarn_rx_cfg_get,
        .rx_cfg_init = dxp_tarn_rx_cfg_init,
        .rx_channels_running = dxp_tarn_rx_channels_running,
        .rx_clear = dxp_tarn_rx_clear,
        .rx_cos_burst_get = dxp_tarn_rx_cos_burst_get,
        .rx_cos_burst_set = dxp_tarn_rx_cos_burst_set,
        .rx_cos_max_len_get = dxp_tarn_rx_cos_max_len_get,
        .rx_cos_max_len_set = dxp_tarn_rx_cos_max_len_set,
        .rx_cos_rate_get = dxp_tarn_rx_cos_rate_get,
        .rx_cos_rate_set = dxp_tarn_rx_cos_rate_set,
        .rx_free = dxp_tarn_rx_free,
        .rx_free_enqueue = dxp_tarn_rx_free_enqueue,
        .rx_init = dxp_tarn_rx_init,
        .rx_rate_get = dxp_tarn_rx_rate_get,
        .rx_rate_set = dxp_tarn_rx_rate_set,
        .rx_register = dxp_tarn_rx_register,
        .rx_start = dxp_tarn_rx_start,
        .rx_stop = dxp_tarn_rx_stop,
        .rx_unregister = dxp_tarn_rx_unregister,
        .tx = dxp_tarn_tx,
        .tx_array = dxp_tarn_tx_array,
        .tx_init = dxp_tarn_tx_init,
        .tx_pkt_map = dxp_tarn_tx_pkt_map,
        .pkt_alloc = dxp_tarn_pkt_alloc,
        .pkt_blk_alloc = dxp_tarn_pkt_blk_alloc,
        .pkt_blk_free = dxp_tarn_pkt_blk_free,
        .pkt_clear = dxp_tarn_pkt_clear,
        .pkt_flags_init = dxp_tarn_pkt_flags_init,
        .pkt_flags_len_setup = dxp_tarn_pkt_flags_len_setup,
        .pkt_free = dxp_tarn_pkt_free,
        .pkt_rx_alloc = dxp_tarn_pkt_rx_alloc,
        .pkt_rx_free = dxp_tarn_pkt_rx_free,
    };
    dxp_tarn_pkt_ops_register(&ops);
}
