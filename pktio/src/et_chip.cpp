// CPU-port MAC chip engine. SDK instance: the processor's second MAC core,
// its registers reached through the unit's host vector. eth0 instance: the
// first MAC found on PCI, its registers mapped directly.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bde.h"
#include "chipdata/ids.h"
#include "etc.h"
#include "pvk.h"
#include "sb.h"
#include "tarn_bus.h"
#include "soc.h"

const char ET_SOC_MACADDR[] = "00:1d:7a:62:02:01";
const char ET_ETH0_MACADDR[] = "00:1d:7a:62:01:01";

namespace {

// MAC registers.
constexpr uint32_t kDevControl = 0x000;
constexpr uint32_t kBistStatus = 0x00C;
constexpr uint32_t kWakeupLength = 0x010;
constexpr uint32_t kIntStatus = 0x020;
constexpr uint32_t kIntMask = 0x024;
constexpr uint32_t kGpTimer = 0x028;
constexpr uint32_t kEmacControl = 0x0A8;
constexpr uint32_t kEmacFlowControl = 0x0AC;
constexpr uint32_t kIntRecvLazy = 0x100;
constexpr uint32_t kRxConfig = 0x400;
constexpr uint32_t kRxMaxLength = 0x404;
constexpr uint32_t kTxMaxLength = 0x408;
constexpr uint32_t kMdioControl = 0x410;
constexpr uint32_t kMiiData = 0x414;
constexpr uint32_t kEmacIntStatus = 0x41C;
constexpr uint32_t kCamDataLow = 0x420;
constexpr uint32_t kCamDataHigh = 0x424;
constexpr uint32_t kCamControl = 0x428;
constexpr uint32_t kEnetControl = 0x42C;
constexpr uint32_t kTxControl = 0x430;
constexpr uint32_t kTxWatermark = 0x434;
constexpr uint32_t kMibControl = 0x438;
// Backplane core registers.
constexpr uint32_t kSbImState = 0xF90;
constexpr uint32_t kSbTmStateLow = 0xF98;
constexpr uint32_t kSbTmStateHigh = 0xF9C;
constexpr uint32_t kSbImConfigLow = 0xFA8;
constexpr uint32_t kSbIdHigh = 0xFFC;

constexpr uint32_t kIntRxDone = 0x10000;
constexpr uint32_t kIntTxDone = 0x1000000;
constexpr uint32_t kErrorBits = 0xDC00;  // receive descriptor underflow left out
constexpr uint32_t kIntMaskSdk = 0x0101DC00;
constexpr uint32_t kErrorBitsEth0 = 0xFC00;
constexpr uint32_t kIntMaskEth0 = 0x0101FC00;
constexpr int kCamPollsEth0 = 10;
constexpr int kMiiPollsEth0 = 10;
constexpr uint32_t kNoPhy = 31;
constexpr uint32_t kCamBusy = 0x80000000;
constexpr uint32_t kCamEnable = 0x1;
constexpr uint32_t kEcEnable = 0x1;
constexpr uint32_t kEcRecover = 0x2;
constexpr int kCamPolls = 100;
constexpr int kMiiPolls = 500;
constexpr int kCorePolls = 1000;
constexpr uint32_t kSbtmlAllow = 0x3FFF0000;
constexpr uint32_t kSbtmhFlMask = 0x1FFF0000;

constexpr uint32_t kNtxd = 16, kNrxd = 64, kRxBufSize = ET_SOC_RXBUFSIZE, kNrxPost = 63,
                   kRxOffset = 30;
constexpr uint32_t kNtxdEth0 = 64, kNrxdEth0 = 512, kNrxPostEth0 = 32;

struct sb_handle_t {
    uint32_t chip, chiprev, boardtype, boardvendor, bustype;
    int unit;
    uint32_t regs;
};

struct ch_t {
    etc_info_t *etc;
    void *et;
    const et_hw_t *hw;
    void *hwctx;
    bool eth0;
    uint32_t errmask;
    int cam_polls, mii_polls;
    uint32_t mdiocontrol;
    sb_t *board;       // eth0: the backplane's GPIO core
    tarn_sw_t *sw;     // eth0: switch access over the GPIO pins
    adm_pins_t *pins;  // eth0: serial-pin record
    uint32_t regs;
    dma_info_t *di;
    sb_handle_t sbh;
    uint32_t intstatus;
    uint32_t intmask;
    uint32_t errbits;  // error bits of the last errors()
    bool mibgood;
};

void chip_assert(const char *expr, int line) {
    sal_assert(expr, "etc47xx", line);
}

uint32_t R(ch_t *ch, uint32_t off) {
    return ch->hw->read(ch->hwctx, ch->regs + off);
}

void W(ch_t *ch, uint32_t off, uint32_t v) {
    ch->hw->write(ch->hwctx, ch->regs + off, v);
}

void OR(ch_t *ch, uint32_t off, uint32_t v) {
    W(ch, off, R(ch, off) | v);
}

void AND(ch_t *ch, uint32_t off, uint32_t v) {
    W(ch, off, R(ch, off) & v);
}

// ---- backplane core access.
uint32_t sb_coreid(ch_t *ch) {
    return (R(ch, kSbIdHigh) & 0xFFF0) >> 4;
}

bool sb_iscoreup(ch_t *ch) {
    return (R(ch, kSbTmStateLow) & 0x30003) == 0x10000;
}

void sb_coreflags(ch_t *ch, uint32_t mask, uint32_t val) {
    if ((mask & ~kSbtmlAllow) != 0) chip_assert("(mask & ~SBTML_ALLOW) == 0", __LINE__);
    if ((val & ~mask) != 0) chip_assert("(val & ~mask) == 0", __LINE__);
    W(ch, kSbTmStateLow, (R(ch, kSbTmStateLow) & ~mask) | val);
}

void sb_core_disable(ch_t *ch, uint32_t flags) {
    if (R(ch, kSbTmStateLow) & 0x1) return;
    W(ch, kSbTmStateLow, 0x10002);
    for (int i = 0; i < kCorePolls && !(R(ch, kSbTmStateLow) & 0x2); i++) {
    }
    for (int i = 0; i < kCorePolls && (R(ch, kSbTmStateHigh) & 0x4); i++) {
    }
    W(ch, kSbTmStateLow, flags | 0x30003);
    W(ch, kSbTmStateLow, flags | 0x3);
}

void sb_core_reset(ch_t *ch, uint32_t flags) {
    sb_core_disable(ch, flags);
    W(ch, kSbTmStateLow, flags | 0x30001);
    if (R(ch, kSbTmStateHigh) & 0x1) W(ch, kSbTmStateHigh, 0);
    uint32_t im = R(ch, kSbImState);
    if (im & 0x60000) W(ch, kSbImState, im & ~0x60000u);
    W(ch, kSbTmStateLow, flags | 0x30000);
    W(ch, kSbTmStateLow, flags | 0x10000);
}

void sb_timeout_fixup(ch_t *ch) {
    uint32_t v = R(ch, kSbImConfigLow) & ~0x77u;
    if (ch->sbh.bustype == BDE_BUS_PCI) {
        if (sb_coreid(ch) != 0x804) v |= 0x32;
    } else {
        v |= 0x53;
    }
    W(ch, kSbImConfigLow, v);
}

// ---- MII.
uint16_t phyrd(void *c, uint32_t phy, uint32_t reg) {
    auto *ch = static_cast<ch_t *>(c);
    if (reg >= 32) {
        chip_assert("reg < 32", __LINE__);
        return 0xFFFF;
    }
    W(ch, kEmacIntStatus, 1);
    W(ch, kMiiData, 0x60020000 | phy << 23 | reg << 18);
    for (int i = 0; i < ch->mii_polls && !(R(ch, kEmacIntStatus) & 1); i++) {
    }
    return static_cast<uint16_t>(R(ch, kMiiData) & 0xFFFF);
}

void phywr(void *c, uint32_t phy, uint32_t reg, uint16_t v) {
    auto *ch = static_cast<ch_t *>(c);
    if (reg >= 32) {
        chip_assert("reg < 32", __LINE__);
        return;
    }
    W(ch, kEmacIntStatus, 1);
    W(ch, kMiiData, 0x50020000 | phy << 23 | reg << 18 | v);
    for (int i = 0; i < ch->mii_polls && !(R(ch, kEmacIntStatus) & 1); i++) {
    }
}

void phyor(ch_t *ch, uint32_t phy, uint32_t reg, uint16_t v) {
    phywr(ch, phy, reg, phyrd(ch, phy, reg) | v);
}

void phyand(ch_t *ch, uint32_t phy, uint32_t reg, uint16_t v) {
    phywr(ch, phy, reg, phyrd(ch, phy, reg) & v);
}

void phy_fixups(ch_t *ch, uint32_t phy) {
    phyand(ch, phy, 26, 0x7FFF);
    phyor(ch, phy, 27, 0x40);
    uint32_t id = static_cast<uint32_t>(phyrd(ch, phy, 3)) << 16 | phyrd(ch, phy, 2);
    if (id == 0x55210022) {
        phyor(ch, phy, 30, 0x3000);
        phyand(ch, phy, 22, 0xFFDF);
    }
}

void phyreset(void *c, uint32_t phy) {
    auto *ch = static_cast<ch_t *>(c);
    if (phy == 30) return;
    phywr(ch, phy, 0, 0x8000);
    sal_usleep(100);
    phyrd(ch, phy, 0);
    phy_fixups(ch, phy);
}

// ---- CAM.
void cam_write(ch_t *ch, int index, const uint8_t *a) {
    if (R(ch, kCamControl) & (kCamBusy | kCamEnable))
        chip_assert("(R_REG(ch->dev, &regs->camcontrol) & (CC_CB | CC_CE)) == 0", __LINE__);
    W(ch, kCamDataLow, static_cast<uint32_t>(a[2]) << 24 | a[3] << 16 | a[4] << 8 | a[5]);
    W(ch, kCamDataHigh, 0x10000 | a[0] << 8 | a[1]);
    W(ch, kCamControl, static_cast<uint32_t>(index) << 16 | 0x8);
    int i = 0;
    for (; i < ch->cam_polls && (R(ch, kCamControl) & kCamBusy); i++) {
    }
    if (!ch->eth0 && (R(ch, kCamControl) & kCamBusy))
        chip_assert("(R_REG(ch->dev, &regs->camcontrol) & CC_CB) == 0", __LINE__);
}

// ---- operations.
bool chip_id(uint32_t vendor, uint32_t device) {
    return vendor == CHIP_VENDOR_ID && device == DXP6202_DEVICE_ID;
}

bool chip_id_eth0(uint32_t vendor, uint32_t device) {
    static constexpr uint16_t kDevices[] = {DXP6202_DEVICE_ID, DXP6201_DEVICE_ID, DXP6203_DEVICE_ID,
                                            0};
    if (vendor != CHIP_VENDOR_ID) return false;
    for (const uint16_t *d = kDevices; *d != 0; d++) {
        if (*d == device) return true;
    }
    return false;
}

void statsupd(void *c) {
    auto *ch = static_cast<ch_t *>(c);
    etc_info_t *etc = ch->etc;
    for (uint32_t off = 0x510; off <= 0x55C; off += 4)
        etc_mib(etc, off) += R(ch, off);
    for (uint32_t off = 0x590; off <= 0x5D8; off += 4)
        etc_mib(etc, off) += R(ch, off);
    auto m = [etc](uint32_t off) { return etc_mib(etc, off); };
    etc->txerror = m(0x530) + m(0x534) + m(0x53C) + m(0x54C) + m(0x550) + etc->txnobuf +
                   etc->dmade + etc->dmada + etc->dmape + etc->txuflo;
    etc->rxerror = m(0x5B0) + m(0x5B4) + m(0x5BC) + m(0x5C0) + m(0x5C4) + m(0x5C8) + m(0x5CC) +
                   m(0x5D0) + etc->rxnobuf + etc->rxdmauflo + etc->rxoflo + etc->rxbadlen;
}

void chipreset(void *c) {
    auto *ch = static_cast<ch_t *>(c);
    etc_info_t *etc = ch->etc;
    if (sb_iscoreup(ch)) {
        if (ch->mibgood) statsupd(ch);
        dma_txreset(ch->di);
        dma_rxreset(ch->di);
        sb_core_reset(ch, 0);
        if (R(ch, kIntStatus) != 0) chip_assert("R_REG(ch->dev, &regs->intstatus) == 0", __LINE__);
        if (R(ch, kEnetControl) & kEcEnable)
            chip_assert("(R_REG(ch->dev, &regs->enetcontrol) & EC_ES) == 0", __LINE__);
    } else {
        sb_core_reset(ch, 0);
    }
    W(ch, kMibControl, 1);
    for (uint32_t off = 0x510; off <= 0x55C; off += 4)
        R(ch, off);
    for (uint32_t off = 0x590; off <= 0x5D8; off += 4)
        R(ch, off);
    ch->mibgood = true;
    W(ch, kMdioControl, ch->mdiocontrol);
    uint32_t dev = R(ch, kDevControl);
    if (!(dev & 0x400)) {
        W(ch, kEnetControl, 0x8);
    } else if (dev & 0x8000) {
        W(ch, kDevControl, dev & ~0x8000u);
        sal_usleep(100);
        if (etc->phyaddr != 30) phy_fixups(ch, static_cast<uint32_t>(etc->phyaddr));
    }
    ch->intstatus = 0;
}

void chipinit(void *c, bool full) {
    auto *ch = static_cast<ch_t *>(c);
    etc_info_t *etc = ch->etc;
    sb_timeout_fixup(ch);
    OR(ch, kEmacControl, 1);
    W(ch, kIntRecvLazy, 0x01000000);
    uint32_t rxconfig = 0x60;
    if (etc->promisc) {
        rxconfig |= 0x8;
    } else {
        cam_write(ch, 0, etc->cur_etheraddr);
        if (etc->allmulti) {
            rxconfig |= 0x2;
        } else {
            for (int i = 0; i < etc->nmulticast; i++)
                cam_write(ch, i + 1, etc->multicast[i]);
        }
        OR(ch, kCamControl, kCamEnable);
    }
    if (etc->loopbk) rxconfig |= 0x10;
    W(ch, kRxConfig, rxconfig);
    W(ch, kRxMaxLength, 1550);
    W(ch, kTxMaxLength, 1550);
    W(ch, kTxWatermark, 56);
    uint32_t phy = static_cast<uint32_t>(etc->phyaddr);
    if (phy != 30) {
        if (etc->forcespeed != -1) {
            uint16_t r0 = phyrd(ch, phy, 0) & 0xCEFF;
            static constexpr uint16_t kForce[] = {0, 0x100, 0x2000, 0x2100};
            if (etc->forcespeed >= 0 && etc->forcespeed <= 3) r0 |= kForce[etc->forcespeed];
            phywr(ch, phy, 0, r0);
        } else if (etc->needautoneg) {
            if (etc->advertise == 0) chip_assert("etc->advertise", __LINE__);
            phywr(ch, phy, 4, static_cast<uint16_t>((phyrd(ch, phy, 4) & 0xFE1F) | etc->advertise));
            phyor(ch, phy, 0, 0x200);
            etc->needautoneg = 0;
        }
    }
    if (full) {
        dma_txinit(ch->di);
        dma_rxinit(ch->di);
        dma_rxfill(ch->di);
        W(ch, kIntMask, ch->intmask);
    } else {
        dma_rxenable(ch->di);
    }
    OR(ch, kEnetControl, kEcEnable);
}

int chiptx(void *c, dv_t *p) {
    auto *ch = static_cast<ch_t *>(c);
    int rv = dma_txfast(ch->di, p, 0);
    if (rv < 0) ch->etc->txnobuf++;
    return rv;
}

dv_t *chiprx(void *c) {
    auto *ch = static_cast<ch_t *>(c);
    dv_t *p = dma_rx(ch->di);
    if (p == nullptr) ch->intstatus &= ~kIntRxDone;
    return p;
}

void chiprxfill(void *c) {
    dma_rxfill(static_cast<ch_t *>(c)->di);
}

uint32_t chiprxroom(void *c) {
    return dma_rxroom(static_cast<ch_t *>(c)->di);
}

int getintrevents(void *c) {
    auto *ch = static_cast<ch_t *>(c);
    uint32_t v = R(ch, kIntStatus);
    ch->intstatus |= v;
    W(ch, kIntStatus, ch->intstatus);
    int events = 0;
    if (v & ch->intmask) events |= INTR_NEW;
    if (ch->intstatus & kIntRxDone) events |= INTR_RX;
    if (ch->intstatus & kIntTxDone) events |= INTR_TX;
    if (ch->intstatus & ch->errmask) events |= INTR_ERROR;
    if (ch->intstatus & 0x80) events |= INTR_TO;
    return events;
}

bool chiperrors(void *c) {
    auto *ch = static_cast<ch_t *>(c);
    etc_info_t *etc = ch->etc;
    uint32_t bits = ch->intstatus & ch->errmask;
    ch->errbits = bits;
    ch->intstatus &= ~ch->errmask;
    if (bits & 0x400) etc->dmade++;
    if (bits & 0x800) etc->dmada++;
    if (bits & 0x1000) etc->dmape++;
    if (bits & 0x2000) etc->rxdmauflo++;
    if (bits & 0x4000) etc->rxoflo++;
    if (bits & 0x8000) etc->txuflo++;
    return true;
}

void intrson(void *c) {
    auto *ch = static_cast<ch_t *>(c);
    W(ch, kIntMask, ch->intmask);
}

void intrsoff(void *c) {
    W(static_cast<ch_t *>(c), kIntMask, 0);
}

void txreclaim(void *c, bool forceall) {
    auto *ch = static_cast<ch_t *>(c);
    ch->intstatus &= ~kIntTxDone;
    dma_txreclaim(ch->di, forceall);
}

void rxreclaim(void *c) {
    auto *ch = static_cast<ch_t *>(c);
    ch->intstatus &= ~kIntRxDone;
    dma_rxreclaim(ch->di);
}

void enablepme(void *c) {
    auto *ch = static_cast<ch_t *>(c);
    OR(ch, kDevControl, 0x80);
    sb_coreflags(ch, 0x40000000, 0x40000000);
}

void disablepme(void *c) {
    auto *ch = static_cast<ch_t *>(c);
    AND(ch, kDevControl, ~0x80u);
    sb_coreflags(ch, 0x40000000, 0);
}

void duplexupd(void *c) {
    auto *ch = static_cast<ch_t *>(c);
    uint32_t v = R(ch, kTxControl) & ~1u;
    W(ch, kTxControl, v | (ch->etc->duplex ? 1 : 0));
}

void longname(void *c, char *buf, size_t len) {
    auto *ch = static_cast<ch_t *>(c);
    const char *name = "Carvolix DXP62xx 10/100 Mbps Ethernet Controller";
    (void)ch;
    std::strncpy(buf, name, len);
    if (len > 0) buf[len - 1] = '\0';
}

struct RegName {
    uint32_t off;
    const char *name;
};

// Register groups of the dump, one line each.
constexpr RegName kDumpRegs[][8] = {
    {{0x000, "devcontrol"}, {0x00C, "biststatus"}, {0x010, "wakeuplength"}},
    {{0x020, "intstatus"}, {0x024, "intmask"}, {0x028, "gptimer"}},
    {{0x0A0, "emactxmaxburstlen"},
     {0x0A4, "emacrxmaxburstlen"},
     {0x0A8, "emaccontrol"},
     {0x0AC, "emacflowcontrol"}},
    {{0x100, "intrecvlazy"}},
    {{0x400, "rxconfig"}, {0x404, "rxmaxlength"}, {0x408, "txmaxlength"}},
    {{0x410, "mdiocontrol"}, {0x428, "camcontrol"}, {0x42C, "enetcontrol"}},
    {{0x430, "txcontrol"}, {0x434, "txwatermark"}, {0x438, "mibcontrol"}},
};

void dump(void *c, char *buf) {
    auto *ch = static_cast<ch_t *>(c);
    if (ch->eth0) return;
    for (const auto &group : kDumpRegs) {
        for (const RegName &r : group) {
            if (r.name == nullptr) break;
            buf += std::sprintf(buf, "%s 0x%x ", r.name, R(ch, r.off));
        }
        buf += std::sprintf(buf, "\n");
    }
    uint32_t phy = static_cast<uint32_t>(ch->etc->phyaddr);
    auto p = [ch, phy](uint32_t r) { return static_cast<unsigned>(phyrd(ch, phy, r)); };
    buf += std::sprintf(buf, "phy0 0x%x phy1 0x%x phy2 0x%x phy3 0x%x\n", p(0), p(1), p(2), p(3));
    buf +=
        std::sprintf(buf, "phy4 0x%x phy5 0x%x phy24 0x%x phy25 0x%x\n", p(4), p(5), p(24), p(25));
    buf += std::sprintf(buf, "regs 0x%x etphy 0x%x ch->intstatus 0x%x intmask 0x%x\n", ch->regs,
                        phy, ch->intstatus, ch->intmask);
    dma_dump(ch->di, buf);
}

void rxstop(void *c) {
    auto *ch = static_cast<ch_t *>(c);
    dma_rxreset(ch->di);
    rxreclaim(ch);
}

void rxstart(void *c) {
    auto *ch = static_cast<ch_t *>(c);
    if (!dma_soc_rxenabled(ch->di)) {
        dma_rxinit(ch->di);
        dma_rxfill(ch->di);
    }
}

bool rxrecover(void *c) {
    auto *ch = static_cast<ch_t *>(c);
    if (ch->errbits != 0x4000) return false;
    ch->errbits = 0;
    OR(ch, kEnetControl, kEcRecover);
    dma_rxreset(ch->di);
    dma_rxenable(ch->di);
    dma_rxrestart(ch->di);
    OR(ch, kEnetControl, kEcEnable);
    return true;
}

void chipdetach(void *c) {
    auto *ch = static_cast<ch_t *>(c);
    if (ch == nullptr) return;
    if (ch->pins != nullptr) adm_pins_detach(ch->pins);
    if (ch->sw != nullptr) tarn_sw_detach(ch->sw);
    sb_core_disable(ch, 0);
    dma_detach(ch->di);
    if (ch->board != nullptr) sb_detach(ch->board);
    sal_free(ch);
}

// Permanent and current address from a text; false for a bad or zero one.
bool set_address(etc_info_t *etc, const char *text) {
    static const uint8_t zero[6] = {};
    if (!pvk_ether_atoe(text, etc->perm_etheraddr)) return false;
    if (std::memcmp(etc->perm_etheraddr, zero, 6) == 0) return false;
    std::memcpy(etc->cur_etheraddr, etc->perm_etheraddr, 6);
    return true;
}

// The instance's NVRAM variable "et<unit><key>", or the default text.
const char *unit_var(int unit, const char *key, const char *fallback) {
    char name[32];
    std::snprintf(name, sizeof name, "et%d%s", unit, key);
    const char *v = pvk_getvar(nullptr, name);
    return v != nullptr ? v : fallback;
}

ch_t *chip_new(etc_info_t *etc, uint32_t regs, bool eth0) {
    auto *ch = static_cast<ch_t *>(sal_alloc(sizeof(ch_t), "et module"));
    if (ch == nullptr) return nullptr;
    std::memset(ch, 0, sizeof *ch);
    ch->etc = etc;
    ch->et = etc->et;
    ch->regs = regs;
    ch->eth0 = eth0;
    ch->hw = etc->owner->hw ? etc->owner->hw : &et_hw_unit;
    ch->hwctx = etc->owner->hw ? etc->owner->hwctx : et_hw_unit_ctx(etc->unit);
    ch->errmask = eth0 ? kErrorBitsEth0 : kErrorBits;
    ch->cam_polls = eth0 ? kCamPollsEth0 : kCamPolls;
    ch->mii_polls = eth0 ? kMiiPollsEth0 : kMiiPolls;
    ch->mdiocontrol = 0x94;
    return ch;
}

bool chip_dma_attach(ch_t *ch, int unit) {
    etc_info_t *etc = ch->etc;
    char name[16];
    std::snprintf(name, sizeof name, "et%d", unit);
    ch->di = dma_attach(etc->et, etc->owner->osl, unit, name, ch->regs + DMA_REG_BASE,
                        ch->eth0 ? kNtxdEth0 : kNtxd, ch->eth0 ? kNrxdEth0 : kNrxd, kRxBufSize,
                        ch->eth0 ? kNrxPostEth0 : kNrxPost, kRxOffset, 0, 0, &et_msglevel, ch->hw,
                        ch->hwctx);
    if (ch->di == nullptr) return false;
    etc->txavail = static_cast<uint32_t *>(dma_getvar(ch->di, "&txavail"));
    return true;
}

void *chipattach(etc_info_t *etc, int unit, uint32_t regs) {
    ch_t *ch = chip_new(etc, regs, false);
    if (ch == nullptr) return nullptr;
    ch->sbh.unit = unit;
    ch->sbh.regs = regs;
    const soc_cm_dev_t *dev = soc_cm_dev(unit);
    ch->sbh.bustype = dev ? dev->vectors.bus_type & BDE_BUS_MASK : 0;
    ch->sbh.chip = etc->device;
    if (sb_coreid(ch) != SB_ENET_CORE_ID) {
        chip_assert("sb_soc_coreid(ch->sbh) == SB_ENET", __LINE__);
        sal_free(ch);
        return nullptr;
    }
    etc->chip = ch->sbh.chip;
    etc->chiprev = R(ch, kSbIdHigh) & 0xF;
    etc->pcibus = ch->sbh.bustype == BDE_BUS_PCI;
    if (!chip_dma_attach(ch, unit)) {
        sal_free(ch);
        return nullptr;
    }
    if (!set_address(etc, ET_SOC_MACADDR)) {
        chipdetach(ch);
        return nullptr;
    }
    etc->coreunit = 1;
    etc->phyaddr = 1;
    etc->mdcport = 1;
    chipreset(ch);
    ch->intmask = kIntMaskSdk;
    if (etc->mdcport == etc->coreunit) phyreset(ch, static_cast<uint32_t>(etc->phyaddr));
    return ch;
}

uint32_t eth0_mdiocontrol(uint16_t device) {
    if (device == DXP6201_DEVICE_ID) return 0x8D;
    if (device == DXP6203_DEVICE_ID) return 0x92;
    uint32_t hz = sb_clock(nullptr);
    return hz != 0 ? ((hz + 2500000) / 5000000) | 0x80 : 0x94;
}

// eth0: the board's PHY reset pulse, the PHY, and the switch reached over
// GPIO pins on the boards that wire it so.
bool eth0_board_setup(ch_t *ch) {
    etc_info_t *etc = ch->etc;
    ch->board = sb_attach(SB_CC_CORE_ID, 0);
    uint32_t type = ch->board ? sb_boardtype(ch->board) : 0;
    auto flags = static_cast<uint32_t>(pvk_getintvar(nullptr, "boardflags"));
    if (ch->board != nullptr && type >= 0x41A && type <= 0x41C) {
        sb_gpioout(ch->board, 0x44, 0);
        sb_gpioouten(ch->board, 0x44, 0x44);
        sal_usleep(1000);
        sal_usleep(1000);
        sb_gpioout(ch->board, 0x44, 0x44);
        sb_gpioouten(ch->board, 0x44, 0);
    }
    if (etc->mdcport == etc->coreunit) phyreset(ch, static_cast<uint32_t>(etc->phyaddr));
    if ((flags & 0x10) || type == 0x41D || type == 0x428) {
        ch->sw = ch->board ? tarn_sw_attach(ch->board, 0x4, 0x8, 0x10, 0x20) : nullptr;
        if (ch->sw == nullptr) return false;
        tarn_mii_setup(ch->sw, 0);
    }
    if (flags & 0x80) {
        ch->pins = ch->board ? adm_pins_attach(ch->board) : nullptr;
        if (ch->pins == nullptr) return false;
    }
    return true;
}

// eth0: addresses from NVRAM; its core registers through the same window.
void *chipattach_eth0(etc_info_t *etc, int unit, uint32_t regs) {
    ch_t *ch = chip_new(etc, regs, true);
    if (ch == nullptr) return nullptr;
    ch->sbh.unit = unit;
    ch->sbh.regs = regs;
    ch->sbh.bustype = BDE_BUS_PCI;
    ch->sbh.chip = etc->device;
    if (sb_coreid(ch) != SB_ENET_CORE_ID) {
        sal_free(ch);
        return nullptr;
    }
    etc->chip = etc->device;
    etc->chiprev = R(ch, kSbIdHigh) & 0xF;
    etc->pcibus = 1;
    ch->mdiocontrol = eth0_mdiocontrol(etc->device);
    if (!chip_dma_attach(ch, unit)) {
        sal_free(ch);
        return nullptr;
    }
    etc->coreunit = unit;
    etc->phyaddr = static_cast<int>(std::strtol(unit_var(unit, "phyaddr", "6"), nullptr, 0));
    etc->mdcport = static_cast<int>(std::strtol(unit_var(unit, "mdcport", "0"), nullptr, 0));
    if (!set_address(etc, unit_var(unit, "macaddr", ET_ETH0_MACADDR)) ||
        static_cast<uint32_t>(etc->phyaddr) == kNoPhy) {
        chipdetach(ch);
        return nullptr;
    }
    chipreset(ch);
    ch->intmask = kIntMaskEth0;
    if (!eth0_board_setup(ch)) {
        chipdetach(ch);
        return nullptr;
    }
    return ch;
}

}  // namespace

dma_info_t *et_chip_dma(void *ch) {
    return static_cast<ch_t *>(ch)->di;
}

namespace {

// The two flavours differ only in how they recognise and attach their MAC.
constexpr chops_t make_chops(decltype(chops_t::id) id, decltype(chops_t::attach) attach) {
    return chops_t{
        .id = id,
        .attach = attach,
        .detach = chipdetach,
        .reset = chipreset,
        .init = chipinit,
        .tx = chiptx,
        .rx = chiprx,
        .rxfill = chiprxfill,
        .getintrevents = getintrevents,
        .errors = chiperrors,
        .intrson = intrson,
        .intrsoff = intrsoff,
        .txreclaim = txreclaim,
        .rxreclaim = rxreclaim,
        .statsupd = statsupd,
        .enablepme = enablepme,
        .disablepme = disablepme,
        .phyreset = phyreset,
        .phyrd = phyrd,
        .phywr = phywr,
        .dump = dump,
        .longname = longname,
        .duplexupd = duplexupd,
        .rxstop = rxstop,
        .rxstart = rxstart,
        .rxrecover = rxrecover,
        .rxroom = chiprxroom,
    };
}

}  // namespace

const chops_t et_soc_chops = make_chops(chip_id, chipattach);
const chops_t et_eth0_chops = make_chops(chip_id_eth0, chipattach_eth0);
