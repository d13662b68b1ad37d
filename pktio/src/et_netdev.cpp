// Network device eth0: PCI discovery, interrupt object, the stack's hardware
// functions over the common engine with the eth0 chip table.
#include "et_netdev.h"

#include <cstdio>
#include <cstring>

#include "cyg_host.h"
#include "nvram.h"
#include "pkt.h"
#include "sal.h"
#include "soc_dma.h"

namespace {

constexpr uint32_t kRxHeaderBytes = 30;
constexpr uint32_t kFcsBytes = 4;
constexpr uint16_t kRxFlagErrors = 0xF;
constexpr uint16_t kPciCommandMemory = 2;
constexpr uint16_t kPciCommandActive = 0x7;

struct et_info_t {
    etc_info_t *etc;
    eth_drv_sc *sc;
    uint8_t bus, devfn;
    cyg_pci_device *pci;
    uint32_t regs;
    int unit;
    uint32_t flags;  // interface flags of the stack
    dv_t *txq_head, *txq_tail;
    int txq_count;
    unsigned long txkeys[ET_NKEYS];
    dv_t *rxp;  // frame being delivered
    const uint8_t *rx_data;
    int rx_len;
    int key_prod, key_cons;
    uint32_t events;
    cyg_vector_t vector;
    cyg_handle_t intr_handle;
    cyg_interrupt intr;
    cyg_handle_t alarm_handle;
    cyg_alarm alarm;
    cyg_handle_t counter;
    et_info_t *next;
};

et_info_t et0;
et_info_t *et_list;

// Serialises the network-thread entry points against the interrupt routine.
struct NetLock {
    int level = sal_splhi();
    ~NetLock() { sal_spl(level); }
};

const et_hw_t kHw = {
    .read = [](void *, uint32_t addr) { return cyg_pci_mem_read32(addr); },
    .write = [](void *, uint32_t addr, uint32_t v) { cyg_pci_mem_write32(addr, v); },
    .salloc = [](void *, int size,
                 const char *tag) { return sal_dma_alloc(static_cast<size_t>(size), tag); },
    .sfree = [](void *, void *p) { sal_dma_free(p); },
    .l2p = [](void *, void *p) { return cyg_pci_bus_address(p); },
    .sync = [](void *, void *, int, bool) {},
};

dv_t *rx_get(void *, int size) {
    dv_t *dv = soc_dv_alloc(0, DV_RX, 1);
    if (dv == nullptr) return nullptr;
    void *buf = sal_dma_alloc(static_cast<size_t>(size), "et0 rx");
    if (buf == nullptr) {
        soc_dv_free(0, dv);
        return nullptr;
    }
    soc_dv_desc_add(dv, buf, static_cast<uint16_t>(size));
    return dv;
}

const dma_osl_t kOsl = {.rx_get = rx_get};

void tx_buffer_done(int unit, dv_t *dv) {
    sal_dma_free(dv->dv_dcb[0].addr);
    soc_dv_free(unit, dv);
}

et_info_t *info(void *et) {
    return static_cast<et_info_t *>(et);
}

void et_reset(void *et) {
    etc_reset(info(et)->etc);
    info(et)->events = 0;
}

void et_init(void *et, bool) {
    et_reset(et);
    etc_init(info(et)->etc, true);
}

void et_up(void *et) {
    etc_up(info(et)->etc);
}

void et_down(void *et, int reset) {
    etc_down(info(et)->etc, reset);
}

void et_link(void *) {}

const etc_owner_t kOwner = {
    .et_init = et_init,
    .et_reset = et_reset,
    .et_up = et_up,
    .et_down = et_down,
    .et_link_up = et_link,
    .et_link_down = et_link,
    .osl = &kOsl,
    .hw = &kHw,
    .hwctx = nullptr,
    .chips = &et_eth0_chops,
};

bool pci_match(uint16_t vendor, uint16_t device, uint32_t, void *) {
    return etc_eth0_chipmatch(vendor, device) != nullptr;
}

uint32_t et_isr(cyg_vector_t vector, uintptr_t data) {
    et_info_t *et = info(reinterpret_cast<void *>(data));
    etc_info_t *etc = et->etc;
    if (etc == nullptr || !etc->up) return 0;
    int events = etc->chops->getintrevents(etc->ch);
    if (!(events & INTR_NEW)) return 0;
    cyg_interrupt_acknowledge(vector);
    etc->chops->intrsoff(etc->ch);
    et->events = static_cast<uint32_t>(events);
    return CYG_ISR_CALL_DSR;
}

void deliver_dpc(void *owner, void *, void *, void *, void *) {
    auto *sc = static_cast<eth_drv_sc *>(owner);
    sc->funs->deliver(sc);
}

// The generic driver's deferred routine: deliver runs on the network thread.
void et_dsr(cyg_vector_t, uint32_t, uintptr_t data) {
    et_info_t *et = info(reinterpret_cast<void *>(data));
    sal_dpc(deliver_dpc, et->sc, nullptr, nullptr, nullptr, nullptr);
}

void rx_frame(et_info_t *et, dv_t *p) {
    etc_info_t *etc = et->etc;
    uint8_t *buf = p->dv_dcb[0].addr;
    int len = static_cast<int>(p->dv_dcb[0].len) - static_cast<int>(kRxHeaderBytes);
    etc->rxframe++;
    etc->rxbyte += static_cast<uint32_t>(len);
    auto flags = static_cast<uint16_t>(buf[2] | buf[3] << 8);
    len -= static_cast<int>(kFcsBytes);
    if ((flags & kRxFlagErrors) != 0 || len <= 0) {
        dma_pkt_free(p);
        return;
    }
    et->rxp = p;
    et->rx_data = buf + kRxHeaderBytes;
    et->rx_len = len;
    et->sc->funs->eth_drv->recv(et->sc, len);
    // recv frees it; a stack that never asked leaves it here.
    if (et->rxp != nullptr) {
        dma_pkt_free(et->rxp);
        et->rxp = nullptr;
    }
}

void tx_drain(et_info_t *et) {
    etc_info_t *etc = et->etc;
    while (et->txq_head != nullptr && *etc->txavail != 0 && etc->pioactive == nullptr) {
        dv_t *p = et->txq_head;
        et->txq_head = p->dv_next;
        if (et->txq_head == nullptr) et->txq_tail = nullptr;
        et->txq_count--;
        p->dv_next = nullptr;
        uint32_t len = p->dv_length;
        if (etc->chops->tx(etc->ch, p) < 0) {
            dma_pkt_free(p);
            continue;
        }
        etc->txframe++;
        etc->txbyte += len;
    }
}

void tx_done_all(et_info_t *et) {
    while (et->key_cons != et->key_prod) {
        unsigned long key = et->txkeys[et->key_cons];
        et->txkeys[et->key_cons] = 0;
        et->key_cons = (et->key_cons + 1) % ET_NKEYS;
        et->sc->funs->eth_drv->tx_done(et->sc, key, ETH_DRV_TX_OK);
    }
}

// ---- hardware functions.
void hw_start(eth_drv_sc *sc, unsigned char *, int) {
    NetLock g;
    etc_up(info(sc->driver_private)->etc);
}

void hw_stop(eth_drv_sc *sc) {
    NetLock g;
    etc_down(info(sc->driver_private)->etc, 1);
}

int hw_control(eth_drv_sc *sc, unsigned long key, void *data, int length) {
    NetLock g;
    et_info_t *et = info(sc->driver_private);
    etc_info_t *etc = et->etc;
    switch (key) {
        case ETH_DRV_SET_MAC_ADDRESS:
            if (length != 6 || data == nullptr) return -2;
            if (etc->up) return 1;
            std::memcpy(etc->cur_etheraddr, data, 6);
            return 0;
        case ETH_DRV_GET_IF_STATS_UD:
        case ETH_DRV_GET_IF_STATS:
            // No statistics record is kept: leave the multicast state alone.
            return ETH_DRV_UNSUPPORTED;
        case ETH_DRV_SET_MC_LIST: {
            etc_promisc(etc, (et->flags & ETH_DRV_IFF_PROMISC) ? 1 : 0);
            etc->allmulti = 0;
            const auto *list = static_cast<const eth_drv_mc_list *>(data);
            if (etc->up && list != nullptr) {
                int n = list->len < 0 ? 0 : list->len;
                if (n > ETC_MAXMULTILIST) n = ETC_MAXMULTILIST;
                std::memcpy(etc->multicast, list->addrs, static_cast<size_t>(n) * 6);
                etc->nmulticast = n;
            } else {
                etc->nmulticast = 0;
            }
            et_init(et, true);
            return 0;
        }
        case ETH_DRV_SET_MC_ALL:
            etc->allmulti = 1;
            etc->nmulticast = 0;
            et_init(et, true);
            return 0;
        case ETH_DRV_SET_PROMISC:
            if (data != nullptr && *static_cast<int *>(data))
                sal_printf("etc_ioctl: ethernet in promiscuos mode ...\n");
            return etc_ioctl(etc, 5, data) == 0 ? 0 : -1;
        default:
            return 0;
    }
}

int hw_can_send(eth_drv_sc *) {
    return 1;
}

void hw_send(eth_drv_sc *sc, eth_drv_sg *sg, int sg_len, int total_len, unsigned long key) {
    NetLock g;
    et_info_t *et = info(sc->driver_private);
    etc_info_t *etc = et->etc;
    dv_t *p = nullptr;
    uint8_t *buf = nullptr;
    if (et->txq_count < ET_TXQ_MAX && total_len > 0 &&
        static_cast<size_t>(total_len) <= PKT_DATA_MAX) {
        p = soc_dv_alloc(0, DV_TX, 1);
        buf = p ? static_cast<uint8_t *>(sal_dma_alloc(static_cast<size_t>(total_len), "et0 tx"))
                : nullptr;
    }
    if (buf == nullptr) {
        if (p != nullptr) soc_dv_free(0, p);
        etc->txerror++;
        etc->txnobuf++;
        // Refused: the stack still gets its key back.
        sc->funs->eth_drv->tx_done(sc, key, ETH_DRV_TX_FAILED);
        return;
    }
    et->txkeys[et->key_prod] = key;
    size_t off = 0;
    for (int i = 0; i < sg_len && off < static_cast<size_t>(total_len); i++) {
        size_t n = sg[i].len;
        if (n > static_cast<size_t>(total_len) - off) n = static_cast<size_t>(total_len) - off;
        std::memcpy(buf + off, reinterpret_cast<const void *>(sg[i].buf), n);
        off += n;
    }
    soc_dv_desc_add(p, buf, static_cast<uint16_t>(total_len));
    p->dv_done_chain = tx_buffer_done;
    et->key_prod = (et->key_prod + 1) % ET_NKEYS;
    if (et->txq_tail != nullptr)
        et->txq_tail->dv_next = p;
    else
        et->txq_head = p;
    et->txq_tail = p;
    et->txq_count++;
    tx_drain(et);
    tx_done_all(et);
}

void hw_recv(eth_drv_sc *sc, eth_drv_sg *sg, int sg_len) {
    NetLock g;
    et_info_t *et = info(sc->driver_private);
    if (et->rxp == nullptr) return;
    const uint8_t *src = et->rx_data;
    int left = et->rx_len;
    for (int i = 0; i < sg_len && left > 0 && sg[i].buf != 0; i++) {
        int n = static_cast<int>(sg[i].len) < left ? static_cast<int>(sg[i].len) : left;
        std::memcpy(reinterpret_cast<void *>(sg[i].buf), src, static_cast<size_t>(n));
        src += n;
        left -= n;
    }
    dma_pkt_free(et->rxp);
    et->rxp = nullptr;
}

void hw_deliver(eth_drv_sc *sc) {
    NetLock g;
    et_info_t *et = info(sc->driver_private);
    etc_info_t *etc = et->etc;
    if (!etc->up) return;
    if (et->events & INTR_RX) {
        while (dv_t *p = etc->chops->rx(etc->ch))
            rx_frame(et, p);
        etc->chops->rxfill(etc->ch);
    }
    if (et->events & INTR_TX) {
        etc->chops->txreclaim(etc->ch, false);
        tx_drain(et);
    }
    if ((et->events & INTR_ERROR) && etc->chops->errors(etc->ch)) et_init(et, true);
    et->events = 0;
    if (etc->up) etc->chops->intrson(etc->ch);
}

void hw_poll(eth_drv_sc *) {}

int hw_int_vector(eth_drv_sc *sc) {
    return static_cast<int>(info(sc->driver_private)->vector);
}

eth_hwr_funs et0_funs = {
    .start = hw_start,
    .stop = hw_stop,
    .control = hw_control,
    .can_send = hw_can_send,
    .send = hw_send,
    .recv = hw_recv,
    .deliver = hw_deliver,
    .poll = hw_poll,
    .int_vector = hw_int_vector,
    .eth_drv = &eth_drv_funs_table,
};

void watchdog_alarm(cyg_handle_t, uintptr_t data) {
    etc_watchdog(info(reinterpret_cast<void *>(data))->etc);
}

void print_device(const cyg_pci_device &d, int unit) {
    sal_printf("Found device on bus %d, devfn 0x%02x:\n", CYG_PCI_DEV_GET_BUS(d.devid),
               CYG_PCI_DEV_GET_DEVFN(d.devid));
    if (d.command & kPciCommandActive)
        sal_printf(" Note that board is active. Probed sizes and CPU addresses invalid!\n");
    sal_printf(" Vendor    0x%04x", d.vendor);
    sal_printf("\n Device    0x%04x", d.device);
    sal_printf("\n Command   0x%04x, Status 0x%04x\n", d.command, d.status);
    sal_printf(" Class/Rev 0x%08x", d.class_rev);
    sal_printf("\n Header 0x%02x\n", d.header_type);
    sal_printf(" SubVendor 0x%04x, Sub ID 0x%04x\n", d.sub_vendor, d.sub_id);
    for (int i = 0; i < CYG_PCI_MAX_BAR; i++) {
        sal_printf(" BAR[%d]    0x%08x /", i, d.base_address[i]);
        sal_printf(" probed size 0x%08x / CPU addr 0x%08x\n", d.base_size[i], d.base_map[i]);
    }
    sal_printf(" eth%d configured\n", unit);
    sal_printf(" memory address = 0x%08x\n", d.base_map[0]);
    sal_printf(" I/O address = 0x%08x\n", 0u);
}

}  // namespace

eth_drv_sc et0_sc = {
    .funs = &et0_funs,
    .driver_private = &et0,
    .dev_name = "eth0",
    .state = 0,
    .enaddr = {},
    .host = nullptr,
};

const eth_drv_device dev_et0 = {.name = "dev_et0", .init = et_netdev_init, .sc = &et0_sc};

bool et_netdev_init(eth_drv_sc *sc) {
    et_info_t *et = info(sc->driver_private);
    std::memset(et, 0, sizeof *et);
    et->sc = sc;
    nvram_init();
    cyg_pci_init();
    cyg_pci_device_id devid = CYG_PCI_NULL_DEVID;
    if (!cyg_pci_find_matching(pci_match, nullptr, &devid)) return false;
    et->bus = CYG_PCI_DEV_GET_BUS(devid);
    et->devfn = CYG_PCI_DEV_GET_DEVFN(devid);
    et->pci = static_cast<cyg_pci_device *>(sal_alloc(sizeof(cyg_pci_device), "et0 pci"));
    if (et->pci == nullptr) return false;
    cyg_pcihw_write_config_uint16(et->bus, et->devfn, 4, kPciCommandMemory);
    cyg_pci_get_device_info(devid, et->pci);
    bool have_intr = cyg_pci_translate_interrupt(et->pci, &et->vector);
    if (have_intr) {
        cyg_interrupt_create(et->vector, 0, reinterpret_cast<uintptr_t>(et), et_isr, et_dsr,
                             &et->intr_handle, &et->intr);
        cyg_interrupt_attach(et->intr_handle);
    }
    if (!cyg_pci_configure_device(et->pci)) {
        et_netdev_release();
        return false;
    }
    print_device(*et->pci, et->unit);
    et->regs = et->pci->base_map[0];
    et->etc = etc_attach(et, &kOwner, et->pci->vendor, et->pci->device, et->unit, et->regs);
    if (et->etc == nullptr) {
        sal_printf("et_init: etc_attach() %d failed\n", et->unit);
        et_netdev_release();
        return false;
    }
    cyg_interrupt_acknowledge(et->vector);
    cyg_interrupt_unmask(et->vector);
    et->next = et_list;
    et_list = et;
    cyg_clock_to_counter(cyg_real_time_clock(), &et->counter);
    cyg_alarm_create(et->counter, watchdog_alarm, reinterpret_cast<uintptr_t>(et),
                     &et->alarm_handle, &et->alarm);
    sc->funs->eth_drv->init(sc, et->etc->cur_etheraddr);
    std::memcpy(sc->enaddr, et->etc->cur_etheraddr, 6);
    return true;
}

void et_netdev_if_flags_set(uint32_t flags) {
    NetLock g;
    et0.flags = flags;
}

etc_info_t *et_netdev_etc(void) {
    return et0.etc;
}

void et_netdev_release(void) {
    et_info_t *et = &et0;
    if (et->intr_handle != nullptr) cyg_interrupt_detach(et->intr_handle);
    sal_dpc_cancel(et->sc);
    {
        NetLock g;
        if (et->etc != nullptr) {
            etc_down(et->etc, 1);
            while (dv_t *p = et->txq_head) {
                et->txq_head = p->dv_next;
                dma_pkt_free(p);
            }
            etc_detach(et->etc);
        }
        if (et->pci != nullptr) sal_free(et->pci);
        et_list = nullptr;
        std::memset(et, 0, sizeof *et);
    }
}
