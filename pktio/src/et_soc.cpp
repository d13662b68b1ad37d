// CPU-port glue: attach, start and stop of the MAC driver, vector queues,
// interrupt and deferred event routines.
#include "et_soc.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "drv_reg_value.h"

#include "pktsvc.h"
#include "soc.h"
#include "soc_error.h"
#include "soc_pktio.h"

namespace {

et_soc_info_t *et_soc = nullptr;

void glue_assert(const char *expr, int line) {
    sal_assert(expr, "et_soc", line);
}

et_soc_info_t *glue(void *et) {
    if (et != et_soc) glue_assert("et == et_soc", __LINE__);
    return static_cast<et_soc_info_t *>(et);
}

dv_t *rx_dv_get(void *owner, int) {
    auto *et = static_cast<et_soc_info_t *>(owner);
    dv_t *dv = et->rxq_head;
    if (dv == nullptr) return nullptr;
    et->rxq_head = dv->dv_next;
    if (et->rxq_head == nullptr) et->rxq_tail = nullptr;
    dv->dv_next = nullptr;
    et->rxq_cnt--;
    return dv;
}

const dma_osl_t kOsl = {.rx_get = rx_dv_get};

void et_reset(void *et) {
    etc_reset(glue(et)->etc);
}

void et_init(void *e, bool full) {
    et_soc_info_t *et = glue(e);
    et->resetting = 1;
    // The interrupt routine shares the chip's sticky interrupt state.
    int level = sal_splhi();
    etc_reset(et->etc);
    etc_init(et->etc, full);
    sal_spl(level);
    et->resetting = 0;
}

void et_up(void *e) {
    et_soc_info_t *et = glue(e);
    if (!et->etc->up) etc_up(et->etc);
}

void et_down(void *e, int reset) {
    int level = sal_splhi();
    etc_down(glue(e)->etc, reset);
    sal_spl(level);
}

void et_link(void *et) {
    glue(et);
}

const etc_owner_t kOwner = {
    .et_init = et_init,
    .et_reset = et_reset,
    .et_up = et_up,
    .et_down = et_down,
    .et_link_up = et_link,
    .et_link_down = et_link,
    .osl = &kOsl,
};

// Called with ET_SOC_DMA held.
void tx_drain(et_soc_info_t *et) {
    etc_info_t *etc = et->etc;
    while (*etc->txavail > 0 && et->txq_head != nullptr) {
        dv_t *dv = et->txq_head;
        et->txq_head = dv->dv_next;
        if (et->txq_head == nullptr) et->txq_tail = nullptr;
        dv->dv_next = nullptr;
        et->txq_cnt--;
        if (etc->chops->tx(etc->ch, dv) < 0) {
            // The ring refused it after all: back to the head.
            dv->dv_next = et->txq_head;
            et->txq_head = dv;
            if (et->txq_tail == nullptr) et->txq_tail = dv;
            et->txq_cnt++;
            break;
        }
        etc->txframe++;
        etc->txbyte += dv->dv_length;
    }
}

void et_dpc(void *owner, void *a1, void *a2, void *, void *) {
    auto *et = static_cast<et_soc_info_t *>(owner);
    int unit = static_cast<int>(reinterpret_cast<intptr_t>(a1));
    int events = static_cast<int>(reinterpret_cast<intptr_t>(a2));
    if (et != et_soc || unit != et->dev) glue_assert("unit == et_soc->dev", __LINE__);
    if (events == 0) glue_assert("events", __LINE__);
    etc_info_t *etc = et->etc;
    const chops_t *ops = etc->chops;
    sal_mutex_take(et->soc_dma, sal_mutex_FOREVER);
    if (events & INTR_RX) {
        for (int i = 0; i < ET_SOC_RX_BUDGET; i++) {
            dv_t *dv = ops->rx(etc->ch);
            if (dv == nullptr) break;
            soc_dma_rx_counts_t counts{etc->rxframe, etc->rxbyte};
            soc_dma_rx_parse(soc_dma_unit_flags(dv->dv_unit), dv, ET_SOC_RXBUFSIZE, et->rx_enabled,
                             &counts);
            etc->rxframe = counts.frames;
            etc->rxbyte = counts.bytes;
        }
        ops->rxfill(etc->ch);
    }
    if (events & INTR_TX) ops->txreclaim(etc->ch, false);
    if ((events & INTR_ERROR) && ops->errors(etc->ch)) {
        if (!ops->rxrecover(etc->ch)) et_init(et, true);
    }
    if (et->txq_head != nullptr) tx_drain(et);
    int level = sal_splhi();
    et->dpc_pending = 0;
    ops->intrson(etc->ch);
    sal_spl(level);
    sal_mutex_give(et->soc_dma);
}

void et_isr(void *data) {
    auto *et = static_cast<et_soc_info_t *>(data);
    etc_info_t *etc = et->etc;
    if (!etc->up) return;
    int events = etc->chops->getintrevents(etc->ch);
    if (!(events & INTR_NEW) || et->dpc_pending) return;
    etc->chops->intrsoff(etc->ch);
    et->dpc_pending = 1;
    sal_dpc(et_dpc, et, reinterpret_cast<void *>(static_cast<intptr_t>(et->dev)),
            reinterpret_cast<void *>(static_cast<intptr_t>(events)), nullptr, nullptr);
}

void destroy(et_soc_info_t *et) {
    if (et->etc) etc_detach(et->etc);
    if (et->soc_dma) sal_mutex_destroy(et->soc_dma);
    if (et->tx_dma) sal_mutex_destroy(et->tx_dma);
    if (et->rx_dma) sal_mutex_destroy(et->rx_dma);
    sal_free(et);
    // The padding lives in the board's DMA memory, which may go with the glue.
    soc_dma_tx_pad_release();
}

uint32_t dma_inited = 0;  // units whose management port was set up

// Read-modify-write of fields of a register the chip has; a register the
// chip's map lacks is left alone.
int mgmt_set(int unit, uint32_t reg, std::initializer_list<std::pair<uint32_t, uint32_t>> fields,
             bool cpu_block = true) {
    const int port = cpu_block ? SOC_CONTROL(unit)->cmic_port : 0;
    if (SOC_REG_INFO(unit, reg) == nullptr) return 0;
    DrvRegValue r(unit, reg, port);
    if (int rv = r.read(); rv < 0) return rv;
    for (auto [field, value] : fields)
        r.set(field, value);
    return r.write();
}

// Management port set-up: the switch forwards to and takes frames from the
// CPU port with the management tag.
int pktio_dma_init(int unit) {
    if (SOC_CONTROL(unit) == nullptr) return SOC_E_UNIT;
    const uint32_t chip = SOC_CONTROL(unit)->chip_flags;
    int rv = mgmt_set(unit, R_SWMODE, {{F_SW_FWDG_EN, 1}, {F_SW_FWDG_MODE, 1}}, false);
    if (rv < 0) return rv;
    if (et_soc != nullptr && unit >= 0 && unit < 32) {
        if (dma_inited >> unit & 1)
            soc_cm_debug_print(0x8000000, "dma had been initialized before !!!\n");
        dma_inited |= 1u << unit;
        if ((chip & SOC_CHIP_DXP7102) && rv >= 0)
            rv = mgmt_set(unit, R_STS_OVERRIDE_P24,
                          {{F_MII_SW_OR, 1}, {F_MII_SPD, 1}, {F_MII_FDX, 1}, {F_MII_LINK, 1}});
        if ((chip & 0xB7800000) && rv >= 0)
            rv = mgmt_set(unit, R_STS_OVERRIDE_IMP,
                          {{F_MII_SW_OR, 1}, {F_DUPLX_MODE, 1}, {F_LINK_STS, 1}, {F_SPEED_R, 1}});
        if ((chip & SOC_CHIP_DXP71090) && rv >= 0)
            rv = mgmt_set(unit, R_STS_OVERRIDE_IMP,
                          {{F_SW_ORD, 1}, {F_DUPLX_MODE, 1}, {F_LINK_STS, 1}, {F_GIGA_SPEED, 1}});
        // The CPU port's control register is the only instance on these
        // chips' maps, so there is nothing further to copy it to.
        if (rv >= 0)
            rv = mgmt_set(unit, R_MII_PCTL,
                          {{F_MIRX_UC_EN, 1}, {F_MIRX_MC_EN, 1}, {F_MIRX_BC_EN, 1}});
        if (rv < 0) return rv;
    }
    rv = mgmt_set(unit, R_GMNGCFG, {{F_FRM_MNGP, 2}, {F_RXBPDU_EN, 1}}, false);
    if (rv >= 0 && (chip & SOC_CHIP_DXP7102))
        rv = mgmt_set(unit, R_MNGPID,
                      {{F_PORT_ID, static_cast<uint32_t>(SOC_CONTROL(unit)->cmic_port)}});
    return rv < 0 ? rv : 0;
}

int pktio_dma_attach(int dev) {
    soc_dv_counters_clear();
    int rv = soc_tarn_attach(dev);
    if (rv < 0) return rv;
    rv = et_soc_attach(dev);
    if (rv < 0) {
        soc_cm_print("soc_tarn_dma_attach: et_soc_attach failed %d\n", rv);
        return rv;
    }
    return et_soc_start(dev);
}

int pktio_dma_detach(int dev) {
    if (et_soc != nullptr && et_soc->dev == dev) et_soc_stop(dev);
    return 0;
}

const soc_pktio_ops kPktioOps = {
    .dma_init = pktio_dma_init,
    .dma_attach = pktio_dma_attach,
    .dma_detach = pktio_dma_detach,
};

}  // namespace

void pktio_register(void) {
    soc_pktio_register(&kPktioOps);
    pktsvc_register();
}

et_soc_info_t *et_soc_get(void) {
    return et_soc;
}

int et_soc_attach(int unit) {
    uint32_t id = 0xFFFFFFFF;
    if (const soc_cm_dev_t *d = soc_cm_dev(unit); d && d->vectors.pci_conf_read)
        id = d->vectors.pci_conf_read(const_cast<soc_cm_dev_t *>(d), 0);
    auto vendor = static_cast<uint16_t>(id & 0xFFFF);
    auto device = static_cast<uint16_t>(id >> 16);
    if (etc_chipmatch(vendor, device) == nullptr) return SOC_E_NOT_FOUND;
    if (et_soc != nullptr) return SOC_E_INTERNAL;
    auto *et = static_cast<et_soc_info_t *>(sal_alloc(sizeof(et_soc_info_t), "et module"));
    if (et == nullptr) return SOC_E_INTERNAL;
    std::memset(et, 0, sizeof *et);
    et->dev = unit;
    et->soc_dma = sal_mutex_create("ET_SOC_DMA");
    et->tx_dma = sal_mutex_create("ET_TX_DMA");
    et->rx_dma = sal_mutex_create("ET_RX_DMA");
    et->rx_enabled = 1;
    et_soc = et;
    if (!et->soc_dma || !et->tx_dma || !et->rx_dma || soc_dma_tx_pad() == nullptr) {
        et_soc = nullptr;
        destroy(et);
        return SOC_E_INTERNAL;
    }
    et->etc = etc_attach(et, &kOwner, vendor, device, unit, 0);
    if (et->etc == nullptr || soc_cm_interrupt_connect(unit, et_isr, et) < 0) {
        et_soc = nullptr;
        destroy(et);
        return SOC_E_INTERNAL;
    }
    char name[128];
    et->etc->chops->longname(et->etc->ch, name, sizeof name);
    soc_cm_print("%s %s\n", name, ET_SOC_VERSION);
    return 0;
}

int et_soc_detach(int unit) {
    et_soc_info_t *et = et_soc;
    if (et == nullptr || et->dev != unit) return SOC_E_UNIT;
    if (soc_cm_interrupt_disconnect(unit) < 0) {
        soc_cm_print("soc_detach: could not disconnect interrupt.\n");
        return SOC_E_INTERNAL;
    }
    sal_dpc_cancel(et);
    et_soc = nullptr;
    destroy(et);
    return 0;
}

namespace {

// Start brings the MAC up promiscuous; stop takes it down with a reset.
int start_stop(int unit, bool start) {
    et_soc_info_t *et = et_soc;
    if (et == nullptr || unit != et->dev) {
        glue_assert("unit == et_soc->dev", __LINE__);
        return SOC_E_UNIT;
    }
    sal_mutex_take(et->soc_dma, sal_mutex_FOREVER);
    et->etc->promisc = start ? 1 : 0;
    if (start)
        et_up(et);
    else
        et_down(et, 1);
    sal_mutex_give(et->soc_dma);
    return 0;
}

}  // namespace

int et_soc_start(int unit) {
    return start_stop(unit, true);
}

int et_soc_stop(int unit) {
    return start_stop(unit, false);
}

int et_soc_mac_set(int, const uint8_t mac[6]) {
    et_soc_info_t *et = et_soc;
    if (et == nullptr) return SOC_E_UNIT;
    if (et->etc->up) return SOC_E_BUSY;
    std::memcpy(et->etc->cur_etheraddr, mac, 6);
    return 0;
}

void et_soc_dump(void) {
    if (et_soc != nullptr) etc_dump(et_soc->etc);
}

uint64_t et_soc_rx_missed(void) {
    et_soc_info_t *et = et_soc;
    if (et == nullptr || et->etc == nullptr) return 0;
    sal_mutex_take(et->soc_dma, sal_mutex_FOREVER);
    et->etc->chops->statsupd(et->etc->ch);
    const uint64_t missed = etc_mib(et->etc, 0x5BC);
    sal_mutex_give(et->soc_dma);
    return missed;
}

int et_soc_rx_room(void) {
    et_soc_info_t *et = et_soc;
    if (et == nullptr || et->etc == nullptr) return -1;
    sal_mutex_take(et->soc_dma, sal_mutex_FOREVER);
    const int room = et->etc->up ? static_cast<int>(et->etc->chops->rxroom(et->etc->ch)) : -1;
    sal_mutex_give(et->soc_dma);
    return room;
}

void et_emac_dump(void) {
    et_soc_dump();
}

int et_soc_version(et_soc_info_t *et, char *buf, int size) {
    char text[128];
    int n = std::snprintf(text, sizeof text, "et%d: %s %s version %s\n", et ? et->dev : 0, __DATE__,
                          __TIME__, ET_SOC_VERSION);
    if (size < n + 1) return 4096;
    std::memcpy(buf, text, static_cast<size_t>(n) + 1);
    return n;
}

et_soc_info_t *et_soc_find(et_soc_info_t *et, int mdcport) {
    return et != nullptr && et == et_soc && et->etc->mdcport == mdcport ? et : nullptr;
}

int et_soc_phy_read(et_soc_info_t *et, int phy, int reg, uint16_t *value) {
    sal_mutex_take(et->soc_dma, sal_mutex_FOREVER);
    *value =
        et->etc->chops->phyrd(et->etc->ch, static_cast<uint32_t>(phy), static_cast<uint32_t>(reg));
    sal_mutex_give(et->soc_dma);
    return 0;
}

int et_soc_phy_write(et_soc_info_t *et, int phy, int reg, uint16_t value) {
    sal_mutex_take(et->soc_dma, sal_mutex_FOREVER);
    et->etc->chops->phywr(et->etc->ch, static_cast<uint32_t>(phy), static_cast<uint32_t>(reg),
                          value);
    sal_mutex_give(et->soc_dma);
    return 0;
}

int soc_dma_start(int unit, dv_t *dv) {
    et_soc_info_t *et = et_soc;
    if (soc_cm_debug_enabled(0x400) && dv->dv_op == DV_TX) soc_dv_dump(unit, "dma (before): ", dv);
    if (dv->dv_op != DV_TX && dv->dv_op != DV_RX) {
        soc_cm_print("ERROR: unit %d unknown dma op %d\n", unit, dv->dv_op);
        glue_assert("0", __LINE__);
        return 0;
    }
    if (et == nullptr) return 0;
    bool tx = dv->dv_op == DV_TX;
    sal_mutex_t queue_lock = tx ? et->tx_dma : et->rx_dma;
    sal_mutex_take(queue_lock, sal_mutex_FOREVER);
    sal_mutex_take(et->soc_dma, sal_mutex_FOREVER);
    dv->dv_next = nullptr;
    dv_t **head = tx ? &et->txq_head : &et->rxq_head;
    dv_t **tail = tx ? &et->txq_tail : &et->rxq_tail;
    if (*tail)
        (*tail)->dv_next = dv;
    else
        *head = dv;
    *tail = dv;
    if (tx) {
        et->txq_cnt++;
        tx_drain(et);
    } else {
        et->rxq_cnt++;
        if (!et->resetting) et->etc->chops->rxfill(et->etc->ch);
    }
    sal_mutex_give(et->soc_dma);
    sal_mutex_give(queue_lock);
    return 0;
}

namespace {
void give_sem(int, dv_t *dv) {
    sal_sem_give(dv->dv_sem);
}
}  // namespace

int soc_dma_wait_timeout(int unit, dv_t *dv, int usec) {
    dv->dv_sem = sal_sem_create("dv_sem", sal_sem_BINARY, 0);
    if (dv->dv_sem == nullptr) return SOC_E_MEMORY;
    dv->dv_done_chain = give_sem;
    soc_dma_start(unit, dv);
    int rv = sal_sem_take(dv->dv_sem, usec < 0 ? sal_sem_FOREVER : usec) == 0 ? 0 : SOC_E_TIMEOUT;
    sal_sem_destroy(dv->dv_sem);
    dv->dv_sem = nullptr;
    return rv;
}

int soc_dma_wait(int unit, dv_t *dv) {
    return soc_dma_wait_timeout(unit, dv, -1);
}

namespace {

int rx_switch(bool on) {
    et_soc_info_t *et = et_soc;
    if (et == nullptr) return SOC_E_UNIT;
    sal_mutex_take(et->rx_dma, sal_mutex_FOREVER);
    sal_mutex_take(et->soc_dma, sal_mutex_FOREVER);
    (on ? et->etc->chops->rxstart : et->etc->chops->rxstop)(et->etc->ch);
    et->rx_enabled = on ? 1 : 0;
    // Vectors still waiting for a ring slot go back to their owners too, so
    // that a stopped receiver may free them.
    while (!on && et->rxq_head != nullptr) {
        dv_t *dv = rx_dv_get(et, 0);
        dv->dv_flags = DV_F_RX_DISABLED | DV_F_DONE;
        dma_pkt_free(dv);
    }
    sal_mutex_give(et->soc_dma);
    sal_mutex_give(et->rx_dma);
    return 0;
}

}  // namespace

int soc_dma_rx_enable(int) {
    return rx_switch(true);
}

int soc_dma_rx_disable(int) {
    return rx_switch(false);
}
