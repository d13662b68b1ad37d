// Descriptor-ring DMA engine.
#include "et_dma.h"

#include <cstdio>
#include <cstring>

#include "soc.h"

namespace {

constexpr uint32_t kXmtControl = 0x00;
constexpr uint32_t kXmtAddr = 0x04;
constexpr uint32_t kXmtPtr = 0x08;
constexpr uint32_t kXmtStatus = 0x0C;
constexpr uint32_t kRcvControl = 0x10;
constexpr uint32_t kRcvAddr = 0x14;
constexpr uint32_t kRcvPtr = 0x18;
constexpr uint32_t kRcvStatus = 0x1C;
constexpr uint32_t kRingBytes = 8192;
constexpr uint32_t kRingAlign = 4096;
constexpr int kResetPolls = 1000;

void et_assert(const char *expr, int line) {
    sal_assert(expr, "et", line);
}

uint32_t rd(dma_info_t *di, uint32_t reg) {
    return di->hw->read(di->hwctx, di->regs + reg);
}

void wr(dma_info_t *di, uint32_t reg, uint32_t v) {
    di->hw->write(di->hwctx, di->regs + reg, v);
}

uint32_t next(uint32_t i, uint32_t n) {
    return (i + 1) & (n - 1);
}

// Polls the channel's state until it is one of the accepted ones.
void poll_state(dma_info_t *di, uint32_t reg, bool idle_ok) {
    for (int i = 0; i < kResetPolls; i++) {
        uint32_t s = rd(di, reg) & XS_XS_MASK;
        if (s == XS_XS_DISABLED || (idle_ok && (s == XS_XS_IDLE || s == XS_XS_STOPPED))) return;
    }
}

bool ring_alloc(dma_info_t *di, void **alloc, dma_desc_t **ring, uint32_t *pa) {
    auto *mem = static_cast<uint8_t *>(di->hw->salloc(di->hwctx, kRingBytes, "dma alloc"));
    if (mem == nullptr) return false;
    *alloc = mem;
    uintptr_t a = reinterpret_cast<uintptr_t>(mem);
    uintptr_t aligned = (a + kRingAlign - 1) & ~static_cast<uintptr_t>(kRingAlign - 1);
    *ring = reinterpret_cast<dma_desc_t *>(aligned);
    *pa = di->hw->l2p(di->hwctx, *ring);
    return true;
}

uint32_t ring_index(uint32_t status) {
    return (status & 0xFFF) / sizeof(dma_desc_t);
}

int unit_of(void *ctx) {
    return static_cast<int>(reinterpret_cast<intptr_t>(ctx));
}

}  // namespace

const et_hw_t et_hw_unit = {
    .read = [](void *ctx, uint32_t addr) { return soc_cm_iproc_read(unit_of(ctx), addr); },
    .write = [](void *ctx, uint32_t addr,
                uint32_t v) { soc_cm_iproc_write(unit_of(ctx), addr, v); },
    .salloc = [](void *ctx, int size,
                 const char *tag) { return soc_cm_salloc(unit_of(ctx), size, tag); },
    .sfree = [](void *ctx, void *p) { soc_cm_sfree(unit_of(ctx), p); },
    .l2p = [](void *ctx, void *p) { return soc_cm_l2p(unit_of(ctx), p); },
    .sync =
        [](void *ctx, void *p, int len, bool to_device) {
            if (to_device)
                soc_cm_sflush(unit_of(ctx), p, len);
            else
                soc_cm_sinval(unit_of(ctx), p, len);
        },
};

void dma_pkt_free(dv_t *p) {
    if (p == nullptr) return;
    if (p->dv_op != DV_TX && p->dv_op != DV_RX) {
        soc_cm_print("ERROR: unit %d unknown dma op %d\n", p->dv_unit, p->dv_op);
        et_assert("0", __LINE__);
        return;
    }
    p->dv_flags |= DV_F_DONE;
    if (p->dv_done_chain) {
        p->dv_done_chain(p->dv_unit, p);
        return;
    }
    // A receive service that owns its buffers takes them back per packet.
    if (p->dv_op == DV_RX && p->dv_done_packet) {
        p->dv_done_packet(p->dv_unit, p, &p->dv_dcb[0]);
        return;
    }
    if (p->dv_op == DV_RX) sal_dma_free(p->dv_dcb[0].addr);
    soc_dv_free(p->dv_unit, p);
}

dma_info_t *dma_attach(void *owner, const dma_osl_t *osl, int unit, const char *name, uint32_t regs,
                       uint32_t ntxd, uint32_t nrxd, uint32_t rxbufsize, uint32_t nrxpost,
                       uint32_t rxoffset, uint32_t ddoffset, uint32_t dataoffset,
                       uint32_t *msg_level, const et_hw_t *hw, void *hwctx) {
    if (ntxd > MAXDD) {
        et_assert("ntxd <= MAXDD", __LINE__);
        return nullptr;
    }
    if (nrxd > MAXDD) {
        et_assert("nrxd <= MAXDD", __LINE__);
        return nullptr;
    }
    auto *di = static_cast<dma_info_t *>(sal_alloc(sizeof(dma_info_t), "et module"));
    if (di == nullptr) return nullptr;
    std::memset(di, 0, sizeof *di);
    di->msg_level = msg_level ? msg_level : &di->default_msg_level;
    std::snprintf(di->name, sizeof di->name, "%s", name);
    di->unit = unit;
    di->hw = hw ? hw : &et_hw_unit;
    di->hwctx = hw ? hwctx : et_hw_unit_ctx(unit);
    di->regs = regs;
    di->owner = owner;
    di->osl = osl;
    di->ntxd = ntxd;
    di->nrxd = nrxd;
    di->rxbufsize = rxbufsize;
    di->nrxpost = nrxpost;
    di->rxoffset = rxoffset;
    di->ddoffset = ddoffset;
    di->dataoffset = dataoffset;
    if ((ntxd && !ring_alloc(di, &di->txd_alloc, &di->txd, &di->txdpa)) ||
        (nrxd && !ring_alloc(di, &di->rxd_alloc, &di->rxd, &di->rxdpa))) {
        dma_detach(di);
        return nullptr;
    }
    return di;
}

void dma_detach(dma_info_t *di) {
    if (di == nullptr) return;
    if (di->txin != di->txout) et_assert("di->txin == di->txout", __LINE__);
    if (di->rxin != di->rxout) et_assert("di->rxin == di->rxout", __LINE__);
    if (di->txd_alloc) di->hw->sfree(di->hwctx, di->txd_alloc);
    if (di->rxd_alloc) di->hw->sfree(di->hwctx, di->rxd_alloc);
    sal_free(di);
}

void dma_txreset(dma_info_t *di) {
    wr(di, kXmtControl, 0x2);
    poll_state(di, kXmtStatus, true);
    wr(di, kXmtControl, 0);
    poll_state(di, kXmtStatus, false);
}

void dma_rxreset(dma_info_t *di) {
    wr(di, kRcvControl, 0);
    poll_state(di, kRcvStatus, false);
}

void dma_txinit(dma_info_t *di) {
    di->txin = di->txout = 0;
    di->txavail = di->ntxd - 1;
    std::memset(di->txd, 0, di->ntxd * sizeof(dma_desc_t));
    wr(di, kXmtControl, 1);
    wr(di, kXmtAddr, di->txdpa + di->ddoffset);
}

void dma_rxinit(dma_info_t *di) {
    di->rxin = di->rxout = 0;
    std::memset(di->rxd, 0, di->nrxd * sizeof(dma_desc_t));
    wr(di, kRcvAddr, di->rxdpa + di->ddoffset);
    dma_rxenable(di);
}

void dma_rxenable(dma_info_t *di) {
    wr(di, kRcvControl, di->rxoffset << 1 | 1);
}

void dma_txsuspend(dma_info_t *di) {
    wr(di, kXmtControl, rd(di, kXmtControl) | 0x2);
}

void dma_txresume(dma_info_t *di) {
    wr(di, kXmtControl, rd(di, kXmtControl) & ~0x2u);
}

bool dma_txsuspended(dma_info_t *di) {
    return (rd(di, kXmtControl) & 0x2) && (rd(di, kXmtStatus) & XS_XS_MASK) == XS_XS_IDLE;
}

bool dma_txstopped(dma_info_t *di) {
    return (rd(di, kXmtStatus) & XS_XS_MASK) == XS_XS_STOPPED;
}

bool dma_rxstopped(dma_info_t *di) {
    return (rd(di, kRcvStatus) & XS_XS_MASK) == XS_XS_STOPPED;
}

void dma_fifoloopbackenable(dma_info_t *di) {
    wr(di, kXmtControl, rd(di, kXmtControl) | 0x4);
}

bool dma_soc_txenabled(dma_info_t *di) {
    uint32_t c = rd(di, kXmtControl);
    return c != 0xFFFFFFFF && (c & 1);
}

bool dma_soc_rxenabled(dma_info_t *di) {
    uint32_t c = rd(di, kRcvControl);
    return c != 0xFFFFFFFF && (c & 1);
}

int dma_txfast(dma_info_t *di, dv_t *p, uint32_t coreflags) {
    uint32_t txout = di->txout;
    uint32_t first = txout;
    bool last_empty = false;
    for (int b = 0; b < p->dv_vcnt; b++) {
        if (next(txout, di->ntxd) == di->txin) {
            // Full: the descriptors written so far are dropped again.
            for (uint32_t i = first; i != txout; i = next(i, di->ntxd))
                di->txd[i] = {0, 0};
            di->txavail = 0;
            di->txnobuf++;
            return -1;
        }
        const soc_dcb_t &d = p->dv_dcb[b];
        bool last = b == p->dv_vcnt - 1;
        last_empty = last && d.len == 0;
        if (d.len == 0) continue;
        di->hw->sync(di->hwctx, d.addr, d.len, true);
        uint32_t ctrl = (d.len & CTRL_BC_MASK) | coreflags;
        if (txout == first) ctrl |= CTRL_SOF;
        if (last) ctrl |= CTRL_IOC | CTRL_EOF;
        if (txout == di->ntxd - 1) ctrl |= CTRL_EOT;
        if (di->txp[txout] != nullptr) et_assert("di->txp[txout] == NULL", __LINE__);
        di->txd[txout] = {ctrl, di->hw->l2p(di->hwctx, d.addr) + di->dataoffset};
        txout = next(txout, di->ntxd);
    }
    if (last_empty && txout != first)
        di->txd[(txout - 1) & (di->ntxd - 1)].ctrl |= CTRL_IOC | CTRL_EOF;
    di->txp[first] = p;
    di->txout = txout;
    wr(di, kXmtPtr, txout * sizeof(dma_desc_t));
    di->txavail = di->ntxd - ((di->txout - di->txin) & (di->ntxd - 1)) - 1;
    return 0;
}

dv_t *dma_getnexttxp(dma_info_t *di, bool forceall) {
    if (forceall && dma_soc_txenabled(di)) {
        et_assert("!forceall || !dma_soc_txenabled(di)", __LINE__);
        return nullptr;
    }
    uint32_t end = forceall ? di->txout : ring_index(rd(di, kXmtStatus));
    if (di->txin == 0 && end > di->txout) return nullptr;
    dv_t *p = nullptr;
    uint32_t i = di->txin;
    while (i != end) {
        di->txd[i].addr = 0;
        p = di->txp[i];
        di->txp[i] = nullptr;
        i = next(i, di->ntxd);
        if (p != nullptr) break;
    }
    di->txin = i;
    di->txavail = di->ntxd - ((di->txout - di->txin) & (di->ntxd - 1)) - 1;
    return p;
}

dv_t *dma_getnextrxp(dma_info_t *di, bool forceall) {
    if (forceall && dma_soc_rxenabled(di)) {
        et_assert("!forceall || !dma_soc_rxenabled(di)", __LINE__);
        return nullptr;
    }
    uint32_t i = di->rxin;
    if (i == di->rxout) return nullptr;
    if (!forceall && i == ring_index(rd(di, kRcvStatus))) return nullptr;
    dv_t *p = di->rxp[i];
    di->rxp[i] = nullptr;
    di->rxd[i].addr = 0;
    di->rxin = next(i, di->nrxd);
    return p;
}

void dma_txreclaim(dma_info_t *di, bool forceall) {
    while (dv_t *p = dma_getnexttxp(di, forceall))
        dma_pkt_free(p);
}

void dma_rxreclaim(dma_info_t *di) {
    while (dv_t *p = dma_getnextrxp(di, true))
        dma_pkt_free(p);
}

dv_t *dma_rx(dma_info_t *di) {
    uint32_t room = di->rxbufsize - di->rxoffset;
    while (dv_t *p = dma_getnextrxp(di, false)) {
        uint8_t *buf = p->dv_dcb[0].addr;
        di->hw->sync(di->hwctx, buf, static_cast<int>(di->rxbufsize), false);
        uint32_t len = static_cast<uint32_t>(buf[0] | buf[1] << 8);
        if (len <= room) {
            p->dv_dcb[0].len = static_cast<uint16_t>(di->rxoffset + len);
            return p;
        }
        // The frame spilled into the following buffers: drop them all.
        dma_pkt_free(p);
        di->rxgiants++;
        int64_t skip = static_cast<int64_t>(len) - room;
        while (skip > 0) {
            dv_t *q = dma_getnextrxp(di, false);
            if (q == nullptr) break;
            dma_pkt_free(q);
            skip -= di->rxbufsize;
        }
    }
    return nullptr;
}

uint32_t dma_rxroom(dma_info_t *di) {
    return (di->rxout - ring_index(rd(di, kRcvStatus))) & (di->nrxd - 1);
}

void dma_rxfill(dma_info_t *di) {
    uint32_t n = di->nrxpost - ((di->rxout - di->rxin) & (di->nrxd - 1));
    uint32_t rxout = di->rxout;
    for (uint32_t i = 0; i < n; i++) {
        dv_t *p = di->osl->rx_get(di->owner, static_cast<int>(di->rxbufsize));
        if (p == nullptr) {
            di->rxnobuf++;
            break;
        }
        uint8_t *buf = p->dv_dcb[0].addr;
        std::memset(buf, 0, 4);
        uint32_t pa = di->hw->l2p(di->hwctx, buf);
        if (pa & 3) et_assert("ISALIGNED(pa, 4)", __LINE__);
        if (di->rxp[rxout] != nullptr) et_assert("di->rxp[rxout] == NULL", __LINE__);
        if (di->rxd[rxout].addr != 0) et_assert("R_SM(&di->rxd[rxout].addr) == 0", __LINE__);
        di->rxp[rxout] = p;
        uint32_t ctrl = di->rxbufsize | (rxout == di->nrxd - 1 ? CTRL_EOT : 0);
        di->rxd[rxout] = {ctrl, pa + di->dataoffset};
        rxout = next(rxout, di->nrxd);
    }
    di->rxout = rxout;
    wr(di, kRcvPtr, rxout * sizeof(dma_desc_t));
}

void dma_rxrestart(dma_info_t *di) {
    wr(di, kRcvAddr, di->rxdpa + di->ddoffset);
    di->rxd[di->nrxd - 1].ctrl = di->rxbufsize | CTRL_EOT;
    auto **posted = static_cast<dv_t **>(sal_alloc(sizeof(dv_t *) * di->nrxd, "et module"));
    if (posted == nullptr) return;
    uint32_t count = 0;
    for (uint32_t i = di->rxin; i != di->rxout; i = next(i, di->nrxd)) {
        posted[count++] = di->rxp[i];
        di->rxp[i] = nullptr;
        di->rxd[i].addr = 0;
    }
    uint32_t slot = 0;
    for (; slot < di->nrxd - 1; slot++) {
        dv_t *p = slot < count ? posted[slot]
                               : di->osl->rx_get(di->owner, static_cast<int>(di->rxbufsize));
        if (p == nullptr) {
            di->rxnobuf++;
            break;
        }
        uint8_t *buf = p->dv_dcb[0].addr;
        std::memset(buf, 0, 4);
        di->rxp[slot] = p;
        di->rxd[slot] = {di->rxbufsize, di->hw->l2p(di->hwctx, buf) + di->dataoffset};
    }
    sal_free(posted);
    di->rxin = 0;
    di->rxout = slot;
    wr(di, kRcvPtr, slot * sizeof(dma_desc_t));
}

void *dma_getvar(dma_info_t *di, const char *name) {
    if (std::strcmp(name, "&txavail") == 0) return &di->txavail;
    et_assert("0", __LINE__);
    return nullptr;
}

char *dma_dump(dma_info_t *di, char *buf) {
    buf += std::sprintf(buf, "txd 0x%lx txdpa 0x%lx txp 0x%lx txin %d txout %d\n",
                        reinterpret_cast<unsigned long>(di->txd),
                        static_cast<unsigned long>(di->txdpa),
                        reinterpret_cast<unsigned long>(di->txp), di->txin, di->txout);
    buf += std::sprintf(buf, "rxd 0x%lx rxdpa 0x%lx rxp 0x%lx rxin %d rxout %d\n",
                        reinterpret_cast<unsigned long>(di->rxd),
                        static_cast<unsigned long>(di->rxdpa),
                        reinterpret_cast<unsigned long>(di->rxp), di->rxin, di->rxout);
    buf += std::sprintf(buf, "xmtcontrol 0x%x xmtaddr 0x%x xmtptr 0x%x xmtstatus 0x%x\n",
                        rd(di, kXmtControl), rd(di, kXmtAddr), rd(di, kXmtPtr), rd(di, kXmtStatus));
    buf += std::sprintf(buf, "rcvcontrol 0x%x rcvaddr 0x%x rcvptr 0x%x rcvstatus 0x%x\n",
                        rd(di, kRcvControl), rd(di, kRcvAddr), rd(di, kRcvPtr), rd(di, kRcvStatus));
    return buf;
}
