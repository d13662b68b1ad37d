// CPU-port frame format: receive parse of the management tag and transmit
// header, padding and CRC set-up.
#include <atomic>
#include <cstring>

#include "drv_l2ctl.h"
#include "soc.h"
#include "soc_error.h"
#include "soc_dma.h"

namespace {

constexpr uint32_t kLenMask = 0x3FFFu << 15;
constexpr uint32_t kChipPortShifted = 0x28000000;
constexpr uint32_t kChipLen12 = 0x2C000000;
constexpr uint32_t kChipBit21 = 0x00200000;
constexpr uint32_t kChipBit27 = 0x08000000;
constexpr uint32_t kChipBit31 = 0x80000000;
constexpr uint32_t kFeatureBit21 = 0x00200000;
constexpr uint32_t kDebugTag = 0x2000;
constexpr int kPadBytes = 64;

std::atomic<uint8_t *> pad{nullptr};

uint16_t le16(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

void complete(dv_t *dv) {
    if (dv->dv_done_chain) {
        dv->dv_done_chain(dv->dv_unit, dv);
    } else if (dv->dv_done_packet) {
        dv->dv_done_packet(dv->dv_unit, dv, &dv->dv_dcb[0]);
    } else {
        sal_dma_free(dv->dv_dcb[0].addr);
        soc_dv_free(dv->dv_unit, dv);
    }
}

// Byte i of the packet's frame, over its blocks.
struct FrameView {
    const dxp_pkt *pkt;
    uint32_t total() const {
        uint32_t n = 0;
        for (int b = 0; b < pkt->blk_count; b++)
            n += pkt->pkt_data[b].len;
        return n;
    }
    bool locate(uint32_t i, int *block, uint32_t *offset) const {
        for (int b = 0; b < pkt->blk_count; b++) {
            if (i < pkt->pkt_data[b].len) {
                *block = b;
                *offset = i;
                return true;
            }
            i -= pkt->pkt_data[b].len;
        }
        return false;
    }
    uint8_t at(uint32_t i) const {
        int b;
        uint32_t o;
        return locate(i, &b, &o) ? pkt->pkt_data[b].data[o] : 0;
    }
};

}  // namespace

uint8_t *soc_dma_tx_pad(void) {
    uint8_t *p = pad.load();
    if (p != nullptr) return p;
    // Two first callers may race: the loser frees its copy.
    auto *mine = static_cast<uint8_t *>(sal_dma_alloc(kPadBytes, "TX Pkt Pad"));
    if (mine == nullptr) return nullptr;
    std::memset(mine, 0, kPadBytes);
    if (pad.compare_exchange_strong(p, mine)) return mine;
    sal_dma_free(mine);
    return p;
}

void soc_dma_tx_pad_release(void) {
    sal_dma_free(pad.exchange(nullptr));
}

soc_dma_flags_t soc_dma_unit_flags(int unit) {
    soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr) return {0, 0};
    return {soc->chip_flags, soc->features[0]};
}

void soc_dma_rx_parse(const soc_dma_flags_t &flags, dv_t *dv, int buffer_bytes, int rx_enabled,
                      soc_dma_rx_counts_t *counts) {
    uint8_t *buf = dv->dv_dcb[0].addr;
    uint8_t *frame = buf + SOC_DMA_RX_HDR_BYTES;
    dv->dv_flags = 0;
    if (frame[12] != 0x88 || frame[13] != 0x74) {
        dv->dv_status &= ~kLenMask;
        dv->dv_flags |= DV_F_BAD;
        dv->dv_length = 0;
        dv->dv_dcb[0].len = 0;
    } else {
        uint32_t w =
            static_cast<uint32_t>(frame[14]) << 24 | frame[15] << 16 | frame[16] << 8 | frame[17];
        if (flags.chip & kChipPortShifted) w = (w & ~0x3Fu) | (((w & 0x3F) - 24) & 0x3F);
        uint32_t e = 0;
        if ((flags.chip & kChipBit31) && (w >> 29) == 1) {
            w &= ~0x20u;
            e = 4;
        }
        if (flags.chip & kChipBit21) w = (w & ~kLenMask) | ((w >> 16) & 0x1FFF) << 15;
        if (flags.chip & kChipLen12) w = (w & ~kLenMask) | ((w >> 17) & 0xFFF) << 15;
        dv->dv_status = w;
        uint32_t len = (w & kLenMask) >> 15;
        uint32_t want = e + len + 10;
        // The chip's length is trusted only as far as the buffer goes.
        bool fits = want <= static_cast<uint32_t>(buffer_bytes - SOC_DMA_RX_HDR_BYTES);
        if (le16(buf) != want || !fits) {
            dv->dv_flags |= DV_F_BAD;
        } else {
            std::memmove(frame + 6, frame, 12);
            dv->dv_length = static_cast<uint16_t>(want);
            dv->dv_dcb[0].len = static_cast<uint16_t>(len + 4);
        }
    }
    if (counts) {
        counts->frames++;
        counts->bytes += dv->dv_length;
    }
    uint16_t rx_flags = le16(buf + 2);
    if (rx_flags & 0xF) dv->dv_flags |= rx_flags;
    if (!rx_enabled) dv->dv_flags = DV_F_RX_DISABLED;
    complete(dv);
}

int soc_dma_tx_setup(const soc_dma_flags_t &flags, int cpu_port, dxp_pkt *pkt, dv_t *dv) {
    if (pkt->flags & DXP_TX_RAW) {
        for (int b = 0; b < pkt->blk_count; b++) {
            int rv = soc_dv_desc_add(dv, pkt->pkt_data[b].data,
                                     static_cast<uint16_t>(pkt->pkt_data[b].len));
            if (rv < 0) return rv;
        }
        return 0;
    }
    if (pkt->blk_count < 1 || pkt->pkt_data[0].len < 6) return SOC_E_PARAM;
    FrameView f{pkt};
    bool tagged = !(pkt->flags & DXP_PKT_F_NO_VTAG) && f.at(12) == 0x81 && f.at(13) == 0x00 &&
                  f.total() >= 16;
    uint32_t payload_at = tagged ? 16 : 12;
    int block = pkt->blk_count;
    uint32_t offset = 0;
    if (payload_at < f.total() && !f.locate(payload_at, &block, &offset)) return SOC_E_PARAM;
    if (payload_at > f.total()) return SOC_E_PARAM;
    if (dv->dv_npkt < SOC_DV_MAX_PKTS) dv->dv_pkts[dv->dv_npkt++] = pkt;

    bool bit27 = flags.chip & kChipBit27;
    bool feature21 = flags.feature & kFeatureBit21;
    uint32_t enforce_mask = bit27 ? 0x06000000 : 0x03000000;
    uint32_t word = 0;
    bool ports = !dxp_pbmp_is_null(pkt->tx_pbmp);
    if (!ports) {
        if (feature21) soc_cm_debug_print(kDebugTag, "TAG_NO_ENFORCEMENT \n");
    } else {
        dxp_pbmp_t pbmp = pkt->tx_pbmp;
        dxp_pbmp_port_remove(&pbmp, cpu_port);
        word = pbmp.w[0] & 0x1FFFFFFF;
        uint32_t op = 0;
        if (pkt->dest_mod <= 1) op = (bit27 ? 4 : 3) + pkt->dest_mod;
        word |= op << 29;
        if (feature21) {
            if (!(flags.chip & kChipBit31)) {
                word |= static_cast<uint32_t>(pkt->prio_int % 4) << 27;
            } else {
                if (pkt->flags & DXP_TX_PRIO_INT) word |= 1u << 23;
                word |= static_cast<uint32_t>(pkt->prio_int % 8) << 26;
            }
            word &= ~enforce_mask;
            if (tagged && dxp_pbmp_is_null(pkt->tx_upbmp)) {
                soc_cm_debug_print(kDebugTag, "TAG_ENFORCEMENT \n");
                word |= bit27 ? 0x04000000 : 0x02000000;
            } else {
                soc_cm_debug_print(kDebugTag, "UNTAG_ENFORCEMENT \n");
                word |= bit27 ? 0x02000000 : 0x01000000;
            }
        }
    }
    bool untag_port = (pkt->tx_pbmp.w[0] & pkt->tx_upbmp.w[0]) != 0 ||
                      (pkt->tx_pbmp.w[1] & pkt->tx_upbmp.w[1]) != 0;
    bool keep = tagged && !(!feature21 && ports && untag_port);

    uint8_t *h = dv->dv_tx_hdr;
    for (uint32_t i = 0; i < 12; i++)
        h[i] = f.at(i);
    h[12] = 0x88;
    h[13] = 0x74;
    h[14] = static_cast<uint8_t>(word >> 24);
    h[15] = static_cast<uint8_t>(word >> 16);
    h[16] = static_cast<uint8_t>(word >> 8);
    h[17] = static_cast<uint8_t>(word);
    uint16_t hdr_len = 18;
    if (keep) {
        for (uint32_t i = 0; i < 4; i++)
            h[18 + i] = f.at(12 + i);
        hdr_len = 22;
    }
    int rv = soc_dv_desc_add(dv, h, hdr_len);
    if (rv < 0) return rv;

    bool has_crc = (pkt->flags & DXP_PKT_F_CRC_MASK) == DXP_PKT_F_CRC_REGEN;
    uint32_t payload = 0;
    for (int b = block; b < pkt->blk_count; b++) {
        uint32_t start = b == block ? offset : 0;
        uint32_t len = pkt->pkt_data[b].len - start;
        if (has_crc && b == pkt->blk_count - 1) len = len >= 4 ? len - 4 : 0;
        rv = soc_dv_desc_add(dv, pkt->pkt_data[b].data + start, static_cast<uint16_t>(len));
        if (rv < 0) return rv;
        payload += len;
    }
    uint32_t length = (keep ? 16 : 12) + payload;
    uint32_t min = keep ? 64 : 60;
    if (length < min && !(pkt->flags & DXP_TX_NO_PAD)) {
        // The glue holds the padding while it is attached; a lazy copy made
        // here would outlive the DMA memory it came from.
        uint8_t *zeros = pad.load();
        if (zeros == nullptr) return SOC_E_MEMORY;
        rv = soc_dv_desc_add(dv, zeros, static_cast<uint16_t>(min - length));
        if (rv < 0) return rv;
    }
    soc_pkt_block_t blocks[64];
    int n = 0;
    for (int i = 0; i < dv->dv_vcnt && n < 64; i++)
        blocks[n++] = {dv->dv_dcb[i].addr, dv->dv_dcb[i].len};
    uint32_t crc = soc_pkt_crc32(blocks, n, 1);
    for (int i = 0; i < 4; i++)
        dv->dv_tx_crc[i] = static_cast<uint8_t>(crc >> (8 * i));
    rv = soc_dv_desc_add(dv, dv->dv_tx_crc, 4);
    return rv < 0 ? rv : 0;
}
