// CPU-port Ethernet common driver engine.
#include "etc.h"

#include <cstdio>
#include <cstring>

#include "pvk.h"
#include "soc.h"

uint32_t et_msglevel = 0;

namespace {

constexpr uint32_t kMsgNoDump = 0x10000;
constexpr size_t kDumpBytes = 4096;
constexpr size_t kDumpChipMin = 3700;

void etc_assert(const char *expr, int line) {
    sal_assert(expr, "etc", line);
}

const chops_t *const kChips[] = {&et_soc_chops};

}  // namespace

const chops_t *etc_chipmatch(uint32_t vendor, uint32_t device) {
    for (const chops_t *c : kChips) {
        if (c->id(vendor, device)) return c;
    }
    return nullptr;
}

const chops_t *etc_eth0_chipmatch(uint32_t vendor, uint32_t device) {
    return et_eth0_chops.id(vendor, device) ? &et_eth0_chops : nullptr;
}

etc_info_t *etc_attach(void *et, const etc_owner_t *owner, uint16_t vendor, uint16_t device,
                       int unit, uint32_t regs) {
    auto *etc = static_cast<etc_info_t *>(sal_alloc(sizeof(etc_info_t), "et module"));
    if (etc == nullptr) return nullptr;
    std::memset(etc, 0, sizeof *etc);
    etc->et = et;
    etc->owner = owner;
    etc->unit = unit;
    etc->vendor = vendor;
    etc->device = device;
    etc->forcespeed = -1;
    etc->linkstate = 0;
    if (owner->chips == nullptr)
        etc->chops = etc_chipmatch(vendor, device);
    else
        etc->chops = owner->chips->id(vendor, device) ? owner->chips : nullptr;
    if (etc->chops == nullptr) {
        etc_assert("etc->chops", __LINE__);
        sal_free(etc);
        return nullptr;
    }
    etc->ch = etc->chops->attach(etc, unit, regs);
    if (etc->ch == nullptr) {
        etc_detach(etc);
        return nullptr;
    }
    return etc;
}

void etc_detach(etc_info_t *etc) {
    if (etc == nullptr) return;
    if (etc->ch) etc->chops->detach(etc->ch);
    etc->chops = nullptr;
    etc->ch = nullptr;
    sal_free(etc);
}

void etc_reset(etc_info_t *etc) {
    etc->reset++;
    etc->chops->reset(etc->ch);
    etc->chops->txreclaim(etc->ch, true);
    etc->chops->rxreclaim(etc->ch);
}

void etc_init(etc_info_t *etc, bool full) {
    if (etc->pioactive != nullptr) etc_assert("etc->pioactive == NULL", __LINE__);
    static const uint8_t zero[6] = {};
    if (std::memcmp(etc->cur_etheraddr, zero, 6) == 0)
        etc_assert("!ETHER_ISNULLADDR(&etc->cur_etheraddr)", __LINE__);
    if (etc->cur_etheraddr[0] & 1) etc_assert("!ETHER_ISMULTI(&etc->cur_etheraddr)", __LINE__);
    etc->chops->init(etc->ch, full);
}

void etc_up(etc_info_t *etc) {
    etc->up = 1;
    etc->owner->et_init(etc->et, true);
}

int etc_down(etc_info_t *etc, int reset) {
    etc->up = 0;
    if (reset) etc->owner->et_reset(etc->et);
    if (etc->linkstate) {
        etc->linkstate = 0;
        if (!etc->nolinkreport) etc->owner->et_link_down(etc->et);
    }
    return 0;
}

void etc_promisc(etc_info_t *etc, int on) {
    etc->promisc = on;
    etc->owner->et_init(etc->et, true);
}

void etc_loopback(etc_info_t *etc, int on) {
    etc->loopbk = on;
    etc->owner->et_init(etc->et, true);
}

int etc_ioctl(etc_info_t *etc, int cmd, void *arg) {
    auto *vec = static_cast<int *>(arg);
    int value = vec ? vec[0] : 0;
    switch (cmd) {
        case 0:
            etc->owner->et_up(etc->et);
            return 0;
        case 1:
            etc->owner->et_down(etc->et, 1);
            return 0;
        case 2:
            etc_loopback(etc, value);
            return 0;
        case 3:
            if ((et_msglevel & kMsgNoDump) && arg) *static_cast<char *>(arg) = '\0';
            return 0;
        case 4:
            et_msglevel = static_cast<uint32_t>(value);
            return 0;
        case 5:
            etc_promisc(etc, value);
            return 0;
        case 7:
            if (value < -1 || value > 3) return -1;
            etc->forcespeed = value;
            etc->chops->phyreset(etc->ch, static_cast<uint32_t>(etc->phyaddr));
            if (value == -1 && (etc->advertise & 0x1)) etc->needautoneg = 1;
            etc->owner->et_init(etc->et, true);
            return 0;
        case 9:
            if (vec)
                vec[1] = etc->chops->phyrd(etc->ch, static_cast<uint32_t>(etc->phyaddr),
                                           static_cast<uint32_t>(vec[0]));
            return 0;
        case 10:
            if (vec)
                etc->chops->phywr(etc->ch, static_cast<uint32_t>(etc->phyaddr),
                                  static_cast<uint32_t>(vec[0]), static_cast<uint16_t>(vec[1]));
            return 0;
        default:
            return -1;
    }
}

void etc_watchdog(etc_info_t *etc) {
    etc->now++;
    if (etc->phyaddr == 30) {
        etc->speed = 100;
        etc->duplex = 1;
        etc->linkstate = 1;
        return;
    }
    auto phy = static_cast<uint32_t>(etc->phyaddr);
    uint16_t status = etc->chops->phyrd(etc->ch, phy, 1);
    uint16_t adv = etc->chops->phyrd(etc->ch, phy, 4);
    uint16_t lpa = etc->chops->phyrd(etc->ch, phy, 5);
    if (status == 0xFFFF) return;
    if (!etc->linkstate && (status & 0x4)) {
        etc->linkstate = 1;
        if (etc->nolinkreport)
            etc->nolinkreport = 0;
        else
            etc->owner->et_link_up(etc->et);
    } else if (etc->linkstate && !(status & 0x4)) {
        etc->linkstate = 0;
        if (!etc->nolinkreport) etc->owner->et_link_down(etc->et);
    }
    uint16_t common = adv & lpa;
    if (common & 0x100) {
        etc->speed = 100;
        etc->duplex = 1;
    } else if (common & 0x80) {
        etc->speed = 100;
        etc->duplex = 0;
    } else if (common & 0x40) {
        etc->speed = 10;
        etc->duplex = 1;
    } else {
        etc->speed = 10;
        etc->duplex = 0;
    }
    etc->chops->duplexupd(etc->ch);
    if (etc->now % 30 == 0) etc->chops->statsupd(etc->ch);
}

void etc_dump(etc_info_t *etc) {
    auto *buf = static_cast<char *>(sal_alloc(kDumpBytes * 2, "et module"));
    if (buf == nullptr) return;
    buf[0] = '\0';
    etc->chops->dump(etc->ch, buf);
    sal_printf(" %s", buf);
    sal_free(buf);
}

void etc_dumpchip(etc_info_t *etc, char *buf, size_t size) {
    if (size < kDumpChipMin) return;
    etc->chops->dump(etc->ch, buf + std::strlen(buf));
}

char *etc_dumpetc(etc_info_t *etc, char *b) {
    char perm[32], cur[32];
    pvk_ether_ntoa(etc->perm_etheraddr, perm);
    pvk_ether_ntoa(etc->cur_etheraddr, cur);
    auto m = [etc](uint32_t off) { return static_cast<int>(etc_mib(etc, off)); };
    auto i = [](uint32_t v) { return static_cast<int>(v); };
    b += std::sprintf(b, "etc 0x%x et 0x%x unit %d msglevel %d speed/duplex %d%s\n",
                      static_cast<unsigned>(reinterpret_cast<uintptr_t>(etc)),
                      static_cast<unsigned>(reinterpret_cast<uintptr_t>(etc->et)), etc->unit,
                      i(et_msglevel), etc->speed, etc->duplex ? "full" : "half");
    b += std::sprintf(b, "up %d promisc %d loopbk %d forcespeed %d advertise 0x%x needautoneg %d\n",
                      etc->up, etc->promisc, etc->loopbk, etc->forcespeed, etc->advertise,
                      etc->needautoneg);
    b += std::sprintf(b, "piomode %d pioactive 0x%x nmulticast %d allmulti %d\n", etc->piomode,
                      static_cast<unsigned>(reinterpret_cast<uintptr_t>(etc->pioactive)),
                      etc->nmulticast, etc->allmulti);
    b += std::sprintf(b, "vendor 0x%x device 0x%x rev %d coreunit %d phyaddr %d mdcport %d\n",
                      etc->vendor, etc->device, i(etc->chiprev), etc->coreunit, etc->phyaddr,
                      etc->mdcport);
    b += std::sprintf(b, "perm_etheraddr %s cur_etheraddr %s\n", perm, cur);
    if (etc->nmulticast) {
        b += std::sprintf(b, "multicast: ");
        for (int k = 0; k < etc->nmulticast; k++) {
            char a[32];
            b += std::sprintf(b, "%s ", pvk_ether_ntoa(etc->multicast[k], a));
        }
        b += std::sprintf(b, "\n");
    }
    b += std::sprintf(b, "linkstate %d\n", etc->linkstate);
    b += std::sprintf(b, "\n");
    etc->chops->statsupd(etc->ch);
    b += std::sprintf(b, "txframe %d txbyte %d txerror %d rxframe %d rxbyte %d rxerror %d\n",
                      i(etc->txframe), i(etc->txbyte), i(etc->txerror), i(etc->rxframe),
                      i(etc->rxbyte), i(etc->rxerror));
    b += std::sprintf(b,
                      "tx_broadcast_pkts %d tx_multicast_pkts %d     tx_jabber_pkts %d "
                      "tx_oversize_pkts %d\n",
                      m(0x510), m(0x514), m(0x530), m(0x534));
    b += std::sprintf(b, "tx_fragment_pkts %d tx_underruns %d\n", m(0x538), m(0x53C));
    b += std::sprintf(b,
                      "tx_total_cols %d tx_single_cols %d tx_multiple_cols %d         "
                      "tx_excessive_cols %d\n",
                      m(0x540), m(0x544), m(0x548), m(0x54C));
    b += std::sprintf(b, "tx_late_cols %d tx_defered %d tx_carrier_lost %d tx_pause_pkts %d\n",
                      m(0x550), m(0x554), m(0x558), m(0x55C));
    b += std::sprintf(b, "txnobuf %d reset %d dmade %d dmada %d dmape %d\n", i(etc->txnobuf),
                      i(etc->reset), i(etc->dmade), i(etc->dmada), i(etc->dmape));
    b += std::sprintf(b,
                      "rx_broadcast_pkts %d rx_multicast_pkts %d     rx_jabber_pkts %d "
                      "rx_oversize_pkts %d\n",
                      m(0x590), m(0x594), m(0x5B0), m(0x5B4));
    b += std::sprintf(b,
                      "rx_fragment_pkts %d rx_missed_pkts %d         rx_crc_align_errs %d "
                      "rx_undersize %d\n",
                      m(0x5B8), m(0x5BC), m(0x5C0), m(0x5C4));
    b += std::sprintf(b, "rx_crc_errs %d rx_align_errs %d rx_symbol_errs %d rx_pause_pkts %d\n",
                      m(0x5C8), m(0x5CC), m(0x5D0), m(0x5D4));
    b += std::sprintf(b, "rx_nonpause_pkts %d rxnobuf %d rxdmauflo %d rxoflo %d rxbadlen %d\n",
                      m(0x5D8), i(etc->rxnobuf), i(etc->rxdmauflo), i(etc->rxoflo),
                      i(etc->rxbadlen));
    b += std::sprintf(b, "\n");
    return b;
}
