// Backplane glue over the simulated board: the common core is always there;
// Ethernet cores only where the board model has them.
#include "sb.h"

#include <atomic>
#include <mutex>
#include <new>

#include "pvk.h"
#include "sal.h"
#include "sim/host_binding.h"

struct sb_s {
    unsigned attached_core;
    std::atomic<unsigned> current_core;
};

namespace {

constexpr unsigned kCommonCore = 0;
constexpr uint32_t kBackplaneHz = 125000000;
constexpr uint32_t kCoreFlagReset = 0x1;
constexpr uint32_t kCoreFlagClock = 0x2;

struct CoreState {
    uint32_t id;
    unsigned unit;
    bool present;
    uint32_t control;  // reset and clock bits plus the core flags
};

std::mutex cores_lock;
// Core 0 is the common core; 1 and 2 the Ethernet cores of units 0 and 1,
// absent until the board model offers them.
CoreState cores[] = {
    {SB_CC_CORE_ID, 0, true, kCoreFlagClock},
    {SB_ENET, 0, false, kCoreFlagReset},
    {SB_ENET, 1, false, kCoreFlagReset},
};
constexpr unsigned kNumCores = sizeof cores / sizeof cores[0];

CoreState &selected(sb_t *sbh) {
    unsigned idx = sbh->current_core.load();
    return cores[idx < kNumCores ? idx : kCommonCore];
}

}  // namespace

sb_t *sb_attach(uint32_t core_id, unsigned core_unit) {
    if (!sim_bound()) return nullptr;
    unsigned found = kNumCores;
    {
        std::lock_guard<std::mutex> g(cores_lock);
        for (unsigned i = 0; i < kNumCores && found == kNumCores; i++) {
            if (cores[i].present && cores[i].id == core_id && cores[i].unit == core_unit) found = i;
        }
    }
    if (found == kNumCores) return nullptr;
    void *mem = sal_alloc(sizeof(sb_t), "sb");
    if (mem == nullptr) return nullptr;
    auto *sbh = new (mem) sb_t;
    sbh->attached_core = found;
    sbh->current_core.store(found);
    return sbh;
}

void sb_detach(sb_t *sbh) {
    if (sbh == nullptr) return;
    sbh->~sb_t();
    sal_free(sbh);
}

uint32_t sb_chip(sb_t *) {
    return SB_CHIP_ID;
}

uint32_t sb_chiprev(sb_t *) {
    return 0;
}

uint32_t sb_bus(sb_t *) {
    return SB_BUS_SYSTEM;
}

uint32_t sb_boardtype(sb_t *) {
    return static_cast<uint32_t>(pvk_getintvar(nullptr, "boardtype"));
}

unsigned sb_coreunit(sb_t *sbh) {
    std::lock_guard<std::mutex> g(cores_lock);
    return selected(sbh).unit;
}

uint32_t sb_soc_coreid(sb_t *sbh) {
    std::lock_guard<std::mutex> g(cores_lock);
    return selected(sbh).id;
}

uint32_t sb_clock(sb_t *) {
    return kBackplaneHz;
}

unsigned sb_coreidx(sb_t *sbh) {
    return sbh->current_core.load();
}

void sb_setcore_gpio(sb_t *sbh) {
    sbh->current_core.store(kCommonCore);
}

void sb_setcoreidx(sb_t *sbh, unsigned index) {
    if (index < kNumCores) sbh->current_core.store(index);
}

bool sb_iscoreup(sb_t *sbh) {
    std::lock_guard<std::mutex> g(cores_lock);
    uint32_t c = selected(sbh).control;
    return (c & (kCoreFlagReset | kCoreFlagClock)) == kCoreFlagClock;
}

void sb_core_disable(sb_t *sbh, uint32_t core_flags) {
    std::lock_guard<std::mutex> g(cores_lock);
    CoreState &c = selected(sbh);
    c.control = kCoreFlagReset | (core_flags & SB_CORE_FLAGS_MASK);
}

void sb_core_reset(sb_t *sbh, uint32_t core_flags) {
    std::lock_guard<std::mutex> g(cores_lock);
    CoreState &c = selected(sbh);
    c.control = kCoreFlagClock | (core_flags & SB_CORE_FLAGS_MASK);
}

void sb_core_tofixup(sb_t *) {}

int sb_pci_setup(sb_t *, uint32_t *out, uint32_t) {
    if (out != nullptr) *out = 0;
    return 0;
}

uint32_t sb_coreflags(sb_t *sbh, uint32_t mask, uint32_t value) {
    std::lock_guard<std::mutex> g(cores_lock);
    CoreState &c = selected(sbh);
    mask &= SB_CORE_FLAGS_MASK;
    c.control = (c.control & ~mask) | (value & mask);
    return c.control & SB_CORE_FLAGS_MASK;
}

uint32_t sb_gpioout(sb_t *, uint32_t mask, uint32_t value) {
    return sim_gpio_out(mask, value);
}

uint32_t sb_gpioouten(sb_t *, uint32_t mask, uint32_t value) {
    return sim_gpio_outen(mask, value);
}

uint32_t sb_gpioin(sb_t *) {
    return sim_gpio_in();
}

int sb_extbus_config(sb_t *, int mode) {
    if (mode != 0 && mode != 1) return -1;
    return sim_extbus_config(mode);
}
