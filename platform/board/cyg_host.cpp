// OS services of the eth0 device over the simulated board: its PCI bus holds
// the processor's first Ethernet MAC only.
#include "cyg_host.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "sal.h"
#include "sal_host.h"
#include "sim/host_binding.h"

namespace {

constexpr cyg_pci_device_id kEth0DevId = 0 << 16 | 0x10 << 8;  // bus 0, device 2
constexpr uint32_t kEth0BarSize = 0x1000;
constexpr cyg_vector_t kEth0Vector = 2;

bool eth0_present() {
    return sim_pci_conf_read(SIM_ETH0_DEV, 0) != 0xFFFFFFFF;
}

struct Line {
    std::mutex lock;
    cyg_interrupt *attached = nullptr;
    bool masked = true;
};

Line &line() {
    static auto *l = new Line;
    return *l;
}

// Interrupt context: the ISR while the line is up, then its DSR.
void line_service(void *) {
    Line &l = line();
    cyg_interrupt *intr;
    {
        std::lock_guard<std::mutex> g(l.lock);
        intr = l.masked ? nullptr : l.attached;
        if (intr == nullptr || !sim_irq_pending(SIM_ETH0_DEV)) return;
    }
    uint32_t r = intr->isr(intr->vector, intr->data);
    if ((r & CYG_ISR_CALL_DSR) && intr->dsr != nullptr) intr->dsr(intr->vector, 1, intr->data);
}

void line_changed(void *) {
    sal_host_intr_post(line_service, nullptr);
}

}  // namespace

void cyg_pci_init(void) {}

bool cyg_pci_find_matching(cyg_pci_match_func match, void *user, cyg_pci_device_id *devid) {
    if (devid == nullptr || match == nullptr) return false;
    if (*devid != CYG_PCI_NULL_DEVID || !eth0_present()) return false;
    uint32_t id = sim_pci_conf_read(SIM_ETH0_DEV, 0);
    uint32_t class_rev = sim_pci_conf_read(SIM_ETH0_DEV, 8);
    if (!match(static_cast<uint16_t>(id), static_cast<uint16_t>(id >> 16), class_rev, user))
        return false;
    *devid = kEth0DevId;
    return true;
}

void cyg_pci_get_device_info(cyg_pci_device_id devid, cyg_pci_device *dev) {
    std::memset(dev, 0, sizeof *dev);
    dev->devid = devid;
    if (devid != kEth0DevId) return;
    uint32_t id = sim_pci_conf_read(SIM_ETH0_DEV, 0);
    uint32_t cmd = sim_pci_conf_read(SIM_ETH0_DEV, 4);
    dev->vendor = static_cast<uint16_t>(id);
    dev->device = static_cast<uint16_t>(id >> 16);
    dev->command = static_cast<uint16_t>(cmd);
    dev->status = static_cast<uint16_t>(cmd >> 16);
    dev->class_rev = sim_pci_conf_read(SIM_ETH0_DEV, 8);
    dev->num_bars = CYG_PCI_MAX_BAR;
    dev->base_size[0] = kEth0BarSize;
}

bool cyg_pci_configure_device(cyg_pci_device *dev) {
    if (dev->devid != kEth0DevId || !eth0_present()) return false;
    dev->base_address[0] = SIM_ETH0_BAR0;
    dev->base_map[0] = SIM_ETH0_BAR0;
    return true;
}

bool cyg_pci_translate_interrupt(cyg_pci_device *dev, uint32_t *vector) {
    if (dev->devid != kEth0DevId) return false;
    *vector = kEth0Vector;
    return true;
}

void cyg_pcihw_write_config_uint16(uint8_t bus, uint8_t devfn, uint8_t offset, uint16_t value) {
    if ((static_cast<uint32_t>(bus) << 16 | static_cast<uint32_t>(devfn) << 8) != kEth0DevId)
        return;
    uint32_t word = sim_pci_conf_read(SIM_ETH0_DEV, offset & ~3u);
    unsigned shift = (offset & 2) * 8;
    word = (word & ~(0xFFFFu << shift)) | static_cast<uint32_t>(value) << shift;
    // Status bits clear when written back as ones: keep them zero.
    if ((offset & ~3u) == 4 && shift == 0) word &= 0xFFFF;
    sim_pci_conf_write(SIM_ETH0_DEV, offset & ~3u, word);
}

uint32_t cyg_pci_mem_read32(uint32_t cpu_addr) {
    if (cpu_addr - SIM_ETH0_BAR0 >= kEth0BarSize) return 0xFFFFFFFF;
    return sim_mmio_read(SIM_ETH0_DEV, cpu_addr - SIM_ETH0_BAR0);
}

void cyg_pci_mem_write32(uint32_t cpu_addr, uint32_t value) {
    if (cpu_addr - SIM_ETH0_BAR0 < kEth0BarSize)
        sim_mmio_write(SIM_ETH0_DEV, cpu_addr - SIM_ETH0_BAR0, value);
}

uint32_t cyg_pci_bus_address(const void *p) {
    return sim_dma_virt_to_bus(p);
}

void cyg_interrupt_create(cyg_vector_t vector, int priority, uintptr_t data, cyg_ISR_t isr,
                          cyg_DSR_t dsr, cyg_handle_t *handle, cyg_interrupt *intr) {
    *intr = {.vector = vector, .priority = priority, .data = data, .isr = isr, .dsr = dsr};
    *handle = intr;
}

void cyg_interrupt_attach(cyg_handle_t handle) {
    auto *intr = static_cast<cyg_interrupt *>(handle);
    if (intr == nullptr || intr->vector != kEth0Vector) return;
    Line &l = line();
    std::lock_guard<std::mutex> g(l.lock);
    l.attached = intr;
    sim_eth0_irq_upcall_set(line_changed, nullptr);
}

void cyg_interrupt_detach(cyg_handle_t handle) {
    Line &l = line();
    std::lock_guard<std::mutex> g(l.lock);
    if (l.attached != handle) return;
    sim_eth0_irq_upcall_set(nullptr, nullptr);
    l.attached = nullptr;
    l.masked = true;
}

void cyg_interrupt_mask(cyg_vector_t vector) {
    if (vector != kEth0Vector) return;
    Line &l = line();
    std::lock_guard<std::mutex> g(l.lock);
    l.masked = true;
}

void cyg_interrupt_unmask(cyg_vector_t vector) {
    if (vector != kEth0Vector) return;
    Line &l = line();
    {
        std::lock_guard<std::mutex> g(l.lock);
        l.masked = false;
    }
    // A level already up is delivered now.
    line_changed(nullptr);
}

void cyg_interrupt_acknowledge(cyg_vector_t) {}

cyg_handle_t cyg_real_time_clock(void) {
    static int clock;
    return &clock;
}

void cyg_clock_to_counter(cyg_handle_t clock, cyg_handle_t *counter) {
    *counter = clock;
}

void cyg_alarm_create(cyg_handle_t counter, cyg_alarm_t fn, uintptr_t data, cyg_handle_t *handle,
                      cyg_alarm *alarm) {
    *alarm = {.counter = counter, .fn = fn, .data = data, .armed = false};
    *handle = alarm;
}
