// CPU-port Ethernet driver: the chip operations table of the MAC chip engine
// and the chip-independent common engine with its state record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "et_dma.h"

struct etc_info_t;

// Events of getintrevents.
constexpr int INTR_TX = 0x1;
constexpr int INTR_RX = 0x2;
constexpr int INTR_ERROR = 0x4;
constexpr int INTR_TO = 0x8;
constexpr int INTR_NEW = 0x10;

struct chops_t {
    bool (*id)(uint32_t vendor, uint32_t device);
    void *(*attach)(etc_info_t *etc, int unit, uint32_t regs);
    void (*detach)(void *ch);
    void (*reset)(void *ch);
    void (*init)(void *ch, bool full);
    int (*tx)(void *ch, dv_t *p);
    dv_t *(*rx)(void *ch);
    void (*rxfill)(void *ch);
    int (*getintrevents)(void *ch);
    bool (*errors)(void *ch);
    void (*intrson)(void *ch);
    void (*intrsoff)(void *ch);
    void (*txreclaim)(void *ch, bool forceall);
    void (*rxreclaim)(void *ch);
    void (*statsupd)(void *ch);
    void (*enablepme)(void *ch);
    void (*disablepme)(void *ch);
    void (*phyreset)(void *ch, uint32_t phy);
    uint16_t (*phyrd)(void *ch, uint32_t phy, uint32_t reg);
    void (*phywr)(void *ch, uint32_t phy, uint32_t reg, uint16_t value);
    void (*dump)(void *ch, char *buf);
    void (*longname)(void *ch, char *buf, size_t len);
    void (*duplexupd)(void *ch);
    void (*rxstop)(void *ch);
    void (*rxstart)(void *ch);
    bool (*rxrecover)(void *ch);
    uint32_t (*rxroom)(void *ch);
};

#define CHOPS_SLOT(name) (offsetof(chops_t, name) / sizeof(void *))
static_assert(CHOPS_SLOT(id) == 0 && CHOPS_SLOT(reset) == 3 && CHOPS_SLOT(tx) == 5);
static_assert(CHOPS_SLOT(getintrevents) == 8 && CHOPS_SLOT(txreclaim) == 12);
static_assert(CHOPS_SLOT(phyreset) == 17 && CHOPS_SLOT(dump) == 20);
static_assert(CHOPS_SLOT(duplexupd) == 22 && CHOPS_SLOT(rxrecover) == 25);
#undef CHOPS_SLOT

// Owner callbacks of the common engine; et is the owner's record.
struct etc_owner_t {
    void (*et_init)(void *et, bool full);
    void (*et_reset)(void *et);
    void (*et_up)(void *et);
    void (*et_down)(void *et, int reset);
    void (*et_link_up)(void *et);
    void (*et_link_down)(void *et);
    const dma_osl_t *osl;  // receive buffers of the DMA engine
    // Register access; null: the unit's host vector.
    const et_hw_t *hw = nullptr;
    void *hwctx = nullptr;
    // The owner's chip table; null: the SDK list (etc_chipmatch).
    const chops_t *chips = nullptr;
};

constexpr int ETC_MIB_WORDS = 55;  // 0x500-0x5D8
constexpr int ETC_MAXMULTILIST = 32;

struct etc_info_t {
    void *et;
    int unit;
    int up;
    int promisc;
    int loopbk;
    int forcespeed;  // -1 automatic, 0 10/half, 1 10/full, 2 100/half, 3 100/full
    uint32_t advertise;
    int needautoneg;
    int speed;
    int duplex;
    int piomode;
    void *pioactive;
    uint32_t *txavail;
    uint16_t vendor;
    uint16_t device;
    uint32_t chip;
    uint32_t chiprev;
    int pcibus;
    const chops_t *chops;
    void *ch;
    int coreunit;
    int phyaddr;
    int mdcport;
    uint8_t cur_etheraddr[6];
    uint8_t perm_etheraddr[6];
    uint8_t multicast[ETC_MAXMULTILIST][6];
    int nmulticast;
    int allmulti;
    int linkstate;
    int nolinkreport;  // link-report suppression
    uint32_t now;      // watchdog ticks
    uint32_t mib[ETC_MIB_WORDS];
    uint32_t txframe, txbyte, rxframe, rxbyte, txerror, txnobuf, rxerror, rxnobuf, reset;
    uint32_t dmade, dmada, dmape, rxdmauflo, rxoflo, txuflo, rxbadlen;
    const etc_owner_t *owner;
};

// The MIB word of a counter at its register offset.
inline uint32_t &etc_mib(etc_info_t *etc, uint32_t offset) {
    return etc->mib[(offset - 0x500) / 4];
}

extern uint32_t et_msglevel;

// The SDK instance's chip operations (the CPU-port MAC of the processor).
extern const chops_t et_soc_chops;
// Receive buffer size of the SDK instance's ring.
constexpr int ET_SOC_RXBUFSIZE = 1792;
// Built-in MAC address text of the SDK instance.
extern const char ET_SOC_MACADDR[];

// The eth0 instance's chip operations and its default MAC address text.
extern const chops_t et_eth0_chops;
extern const char ET_ETH0_MACADDR[];

// The DMA engine of an SDK chip record.
dma_info_t *et_chip_dma(void *ch);

const chops_t *etc_chipmatch(uint32_t vendor, uint32_t device);
// The eth0 copy's lookup: its own chip table.
const chops_t *etc_eth0_chipmatch(uint32_t vendor, uint32_t device);
etc_info_t *etc_attach(void *et, const etc_owner_t *owner, uint16_t vendor, uint16_t device,
                       int unit, uint32_t regs);
void etc_detach(etc_info_t *etc);
void etc_reset(etc_info_t *etc);
void etc_init(etc_info_t *etc, bool full);
void etc_up(etc_info_t *etc);
int etc_down(etc_info_t *etc, int reset);
int etc_ioctl(etc_info_t *etc, int cmd, void *arg);
void etc_promisc(etc_info_t *etc, int on);
void etc_loopback(etc_info_t *etc, int on);
void etc_watchdog(etc_info_t *etc);
void etc_dump(etc_info_t *etc);
void etc_dumpchip(etc_info_t *etc, char *buf, size_t size);
char *etc_dumpetc(etc_info_t *etc, char *buf);
