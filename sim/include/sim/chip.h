// The switch chip's register core: the register space, the PHY pages and the
// chip reset, behind one lock. The bus front ends (serial slave, window,
// direct calls) reach it only through read/write and fetch/store.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/chip_mutex.h"
#include "sim/access_log.h"
#include "sim/anomalies.h"
#include "sim/cfp_engine.h"
#include "sim/mib_counters.h"
#include "sim/phy_pages.h"
#include "sim/profile.h"
#include "sim/regspace.h"
#include "sim/tables.h"

namespace sim {

// What answers on a whole page in place of the register space (the PHY and
// SERDES pages). The chip keeps one table of page -> handler; the bus paths
// and the width query all look there first.
class PageHandler {
  public:
    virtual ~PageHandler() = default;
    // What the page holds, for anomaly texts ("PHY register").
    virtual const char *kind() const = 0;
    // Width of the register at the offset, 0 when nothing is described there.
    virtual int width(uint8_t offset) const = 0;
    // buf arrives zeroed; an access that does not fit leaves it so.
    virtual void read(uint8_t offset, uint8_t *buf, int len) = 0;
    // Called for every write after the width check; one that does not fit is
    // ignored.
    virtual void write(uint8_t offset, const uint8_t *buf, int len) = 0;
};

class Chip {
  public:
    // gigabit_phy: what answers on the gigabit ports' PHY pages, as the part
    // gigabit_part.
    Chip(const ChipProfile &profile, Anomalies &anomalies, AccessLog &log,
         PhyKind gigabit_phy = PhyKind::None, PhyPart gigabit_part = {});
    Chip(const Chip &) = delete;
    Chip &operator=(const Chip &) = delete;

    const ChipProfile &profile() const { return profile_; }

    // One register access of 1-8 bytes as a bus carries it: checked against
    // the register's width, logged, recorded as an anomaly when it does not
    // fit. Returns 0, or -1 for a length outside 1-8 (nothing done; a read
    // leaves zeros).
    int read(BusPath path, uint8_t page, uint8_t offset, uint8_t *buf, int len);
    int write(BusPath path, uint8_t page, uint8_t offset, const uint8_t *buf, int len);

    // The halves of a read whose length the bus learns only afterwards (the
    // serial slave streams bytes until the master stops): fetch runs the read
    // side effects and returns len bytes from the address upward; complete
    // checks and logs the access once its length is known.
    void fetch(uint8_t page, uint8_t offset, uint8_t *buf, int len);
    void complete(BusPath path, uint8_t page, uint8_t offset, const uint8_t *buf, int len);

    // Width in bytes of the register at the address (PHY registers are 2), 0
    // when nothing is described there.
    int widthAt(uint8_t page, uint8_t offset) const;

    // Read-back and set-up for tests: no side effects, no bus, no checks.
    // Unknown names or instances throw std::out_of_range.
    uint64_t peek(const std::string &reg, int instance = 0) const;
    void poke(const std::string &reg, int instance, uint64_t value);
    uint64_t peekAt(uint16_t address) const;
    // Changes a register's reset value too (board straps survive a chip reset).
    void setResetValue(const std::string &reg, int instance, uint64_t value);
    uint16_t phyPeek(int port, int reg) const;
    // The port's PHY (or, where none answers, its SERDES) loops frames back.
    bool phyLoopedBack(int port) const;
    void phyPoke(int port, int reg, uint16_t value);
    // The port's PHY, for its cable knobs.
    PhyModel &phyModel(int port) { return phys_.phy(port); }

    // The port's cable: a partner plugged in (autonegotiating or forced) or
    // nothing. The port status registers (LNKSTS, DUPSTS, SPDSTS) follow the
    // PHYs' link state.
    void linkUp(int port, const LinkPartner &partner = {});
    void linkDown(int port);
    // Unplugs only the fibre of a copper/fibre or dual-media PHY (its copper
    // partner stays).
    void fiberDown(int port);
    // Wires the fibre interface of the port's copper/fibre PHY (its strap).
    void fiberStrapSet(int port);
    LinkState portLink(int port) const;
    // The cable a cable test measures (see PhyModel), under the chip's lock.
    void cableSet(int port, int metres);
    void cableFaultSet(int port, int pair, PairFault fault, int metres);

    // The port's MIB counter of a register ("RXOCTETS", ...): traffic counts
    // added wrap at the counter's width like the chip's do. Unknown names or
    // ports throw std::out_of_range.
    uint64_t mibGet(const std::string &reg, int port) const;
    void mibSet(const std::string &reg, int port, uint64_t value);
    void mibAdd(const std::string &reg, int port, uint64_t delta);

    // Chip reset: every register and PHY page back to its reset value; busy
    // bits injected below end with it.
    void reset();
    // Reads of RST_CHIP that still show 1 after a reset request (default 2).
    void setResetBusyReads(int reads);

    // Fault knob: the next reads of the register instance (on any bus path)
    // show its busy bit set, whatever the operation's state: the field named,
    // or the register's start/done bit (a field ending in STDN, STRTDN or
    // DONE). 0 reads ends it. Unknown names, or a register without such a bit,
    // throw std::out_of_range.
    void busyReads(const std::string &reg, int reads, int instance = 0);
    void busyReads(const std::string &reg, const std::string &field, int reads, int instance = 0);
    int resetCount() const;

    ChipMutex &mutex() const { return mutex_; }

    // Hands every access to the page to the handler (replacing any other).
    void handlePage(uint8_t page, std::unique_ptr<PageHandler> handler);

    // The table memories and the L2 engine (learning and ageing for tests).
    TableEngine &tables() { return tables_; }
    // Register storage and counters for the model's frame side: no bus, no
    // log; callers hold mutex().
    RegSpace &regs() { return regs_; }
    MibCounters &mib() { return mib_; }
    // The field processor, null on models without one.
    CfpEngine *cfp() { return cfp_.get(); }

  private:
    class PhyPage;

    PageHandler *pageHandler(uint8_t page) const { return page_handlers_[page].get(); }
    struct BusyBit {
        const RegInstance *reg;
        uint64_t mask;
        int reads;
    };
    void armBusy(const RegInstance &reg, uint64_t mask, int reads);
    void showBusy(uint16_t address, uint8_t *buf, int len);
    void installPhyPages();
    const RegInstance &instance(const std::string &reg, int index) const;
    void installResetControl();
    void installMibReset();
    const RegInstance &mibCounter(const std::string &reg, int port) const;
    void refreshPortStatus();
    bool lengthOk(BusOp op, uint16_t address, int len);
    void checkWidth(BusOp op, uint16_t address, int len);

    const ChipProfile &profile_;
    Anomalies &anomalies_;
    AccessLog &log_;
    mutable ChipMutex mutex_;
    RegSpace regs_;
    TableEngine tables_;
    PhyPages phys_;
    MibCounters mib_;
    int reset_busy_reads_ = 2;
    int reset_count_ = 0;
    std::vector<BusyBit> busy_;
    std::unique_ptr<CfpEngine> cfp_;
    std::array<std::unique_ptr<PageHandler>, 256> page_handlers_;
};

}  // namespace sim
