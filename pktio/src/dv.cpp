// DMA vectors: allocation, reset, descriptors, dumps.
#include <atomic>
#include <cstring>

#include "soc.h"
#include "soc_dma.h"
#include "soc_error.h"

namespace {

std::atomic<int> allocs{0};
std::atomic<int> frees{0};

// Assertions of this file report the file name "dma".
void dma_assert(const char *expr, int line) {
    sal_assert(expr, "dma", line);
}

}  // namespace

int soc_dv_alloc_count(void) {
    return allocs;
}

int soc_dv_free_count(void) {
    return frees;
}

void soc_dv_counters_clear(void) {
    allocs = 0;
    frees = 0;
}

dv_t *soc_dv_alloc(int unit, uint8_t op, int cnt) {
    if (cnt <= 0) {
        dma_assert("cnt > 0", __LINE__);
        return nullptr;
    }
    if (op != DV_TX && op != DV_RX) {
        soc_cm_print("ERROR: unit %d unknown dma op %d\n", unit, op);
        dma_assert("0", __LINE__);
        return nullptr;
    }
    auto *dv = static_cast<dv_t *>(sal_alloc(sizeof(dv_t), "soc_dv_alloc"));
    if (dv == nullptr) {
        soc_cm_print("ERROR: unit %d dv alloc failed.\n", unit);
        return nullptr;
    }
    std::memset(dv, 0, sizeof *dv);
    dv->dv_dcb = static_cast<soc_dcb_t *>(sal_alloc(sizeof(soc_dcb_t) * cnt, "soc_dcb_alloc"));
    if (dv->dv_dcb == nullptr) {
        soc_cm_print("ERROR: unit %d dcb alloc failed.\n", unit);
        sal_free(dv);
        return nullptr;
    }
    std::memset(dv->dv_dcb, 0, sizeof(soc_dcb_t) * cnt);
    if (op == DV_TX) {
        dv->dv_tx_hdr = static_cast<uint8_t *>(sal_dma_alloc(SOC_DMA_TX_HDR_BYTES, "dma_tx_hdr"));
        dv->dv_tx_crc = static_cast<uint8_t *>(sal_dma_alloc(SOC_DMA_TX_CRC_BYTES, "dma_tx_hdr"));
        if (dv->dv_tx_hdr == nullptr || dv->dv_tx_crc == nullptr) {
            soc_cm_print("ERROR: unit %d tx dmabuf hdr/crc alloc failed.\n", unit);
            sal_dma_free(dv->dv_tx_hdr);
            sal_dma_free(dv->dv_tx_crc);
            sal_free(dv->dv_dcb);
            sal_free(dv);
            return nullptr;
        }
        std::memset(dv->dv_tx_hdr, 0, SOC_DMA_TX_HDR_BYTES);
        std::memset(dv->dv_tx_crc, 0, SOC_DMA_TX_CRC_BYTES);
    }
    dv->dv_magic = DV_MAGIC_NUMBER;
    dv->dv_unit = unit;
    dv->dv_op = op;
    dv->dv_cnt = static_cast<uint16_t>(cnt);
    allocs++;
    return dv;
}

void soc_dv_free(int, dv_t *dv) {
    if (dv == nullptr || dv->dv_magic != DV_MAGIC_NUMBER) {
        dma_assert("dv->dv_magic == DV_MAGIC_NUMBER", __LINE__);
        return;
    }
    dv->dv_magic = 0;
    sal_dma_free(dv->dv_tx_hdr);
    sal_dma_free(dv->dv_tx_crc);
    sal_free(dv->dv_dcb);
    sal_free(dv);
    frees++;
}

void soc_dma_dv_reset(uint8_t op, dv_t *dv) {
    dv->dv_op = op;
    dv->dv_vcnt = 0;
    dv->dv_dcnt = 0;
    dv->dv_flags = 0;
    dv->dv_length = 0;
    dv->user1 = nullptr;
    dv->dv_next = nullptr;
    dv->dv_chain_state = 0;
    dv->dv_npkt = 0;
}

int soc_dv_desc_add(dv_t *dv, void *addr, uint16_t cnt) {
    if (!(dv->dv_vcnt < dv->dv_cnt)) {
        dma_assert("(dv->dv_vcnt >= 0) && (dv->dv_vcnt < dv->dv_cnt)", __LINE__);
        return SOC_E_FULL;
    }
    soc_dcb_t *d = &dv->dv_dcb[dv->dv_vcnt];
    d->addr = static_cast<uint8_t *>(addr);
    d->len = cnt;
    d->next = nullptr;
    if (dv->dv_vcnt > 0) dv->dv_dcb[dv->dv_vcnt - 1].next = d;
    dv->dv_length = static_cast<uint16_t>(dv->dv_length + cnt);
    dv->dv_vcnt++;
    return dv->dv_cnt - dv->dv_vcnt;
}

bool soc_dv_valid(const dv_t *dv) {
    return dv != nullptr && dv->dv_magic == DV_MAGIC_NUMBER;
}

void soc_dma_data_dump(const char *pfx, const uint8_t *data, int len) {
    if (data == nullptr || len <= 0) {
        soc_cm_print("%sdata[%04x]: <NONE>\n", pfx, 0);
        return;
    }
    for (int i = 0; i < len; i += 16) {
        char line[16 * 3 + 1];
        int n = 0;
        for (int j = i; j < len && j < i + 16; j++)
            n += std::snprintf(line + n, sizeof line - n, "%02x ", data[j]);
        soc_cm_print("%sdata[%04x]: %s\n", pfx, i, line);
    }
}

void soc_dv_dump(int, const char *pfx, const dv_t *dv) {
    if (!soc_dv_valid(dv)) {
        soc_cm_print("%sdv@%p appears invalid\n", pfx, static_cast<const void *>(dv));
        return;
    }
    static const char *const kOps[] = {"None", "TX", "RX"};
    const char *op = dv->dv_op <= DV_RX ? kOps[dv->dv_op] : "*ERR*";
    soc_cm_print("%sdv@%p op=%s vcnt=%d cnt=%d\n", pfx, static_cast<const void *>(dv), op,
                 dv->dv_vcnt, dv->dv_cnt);
    soc_cm_print("%s    user1 %p. user2 %p. user3 %p. user4 %p\n", pfx, dv->user1, dv->user2,
                 dv->user3, dv->user4);
    for (int i = 0; i < dv->dv_vcnt; i++) {
        const soc_dcb_t &d = dv->dv_dcb[i];
        soc_cm_print("%sdcb[%d] @%p: addr=%p, len=%d\n", pfx, i, static_cast<const void *>(&d),
                     static_cast<const void *>(d.addr), d.len);
        if (soc_cm_debug_enabled(DK_CPU_PORT) && (dv->dv_op == DV_TX || dv->dv_op == DV_RX))
            soc_dma_data_dump(pfx, d.addr, d.len);
    }
}
