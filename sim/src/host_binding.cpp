#include "sim/host_binding.h"

#include <atomic>
#include <string>

#include "sim/board.h"

namespace sim {

namespace {
std::atomic<Board *> bound{nullptr};
std::atomic<void (*)(void *)> upcall{nullptr};
std::atomic<void *> upcall_arg{nullptr};

std::atomic<void (*)(void *)> eth0_upcall{nullptr};
std::atomic<void *> eth0_upcall_arg{nullptr};

void raise_upcall() {
    void (*fn)(void *) = upcall.load();
    if (fn) fn(upcall_arg.load());
}

void raise_eth0_upcall() {
    void (*fn)(void *) = eth0_upcall.load();
    if (fn) fn(eth0_upcall_arg.load());
}
}  // namespace

void bindHost(Board &board) {
    board.mac().setIrqNotify(raise_upcall);
    board.eth0Mac().setIrqNotify(raise_eth0_upcall);
    bound.store(&board);
}

void unbindHost() {
    Board *b = bound.exchange(nullptr);
    if (b) {
        b->mac().setIrqNotify(nullptr);
        b->eth0Mac().setIrqNotify(nullptr);
    }
}

Board *boundBoard() {
    return bound.load();
}

}  // namespace sim

using sim::Board;

namespace {

Board *board() {
    return sim::boundBoard();
}

bool switch_device(Board *b, int dev) {
    if (dev == 0) return true;
    b->anomalies().record(sim::AnomalyKind::NoDevice, static_cast<uint32_t>(dev),
                          "switch register access to device " + std::to_string(dev));
    return false;
}

// The CPU-port MAC when the bound board has it as that device.
sim::MacCore *mac_device(int dev) {
    Board *b = board();
    if (b && dev == SIM_ETH0_DEV && b->config().eth0_mac) return &b->eth0Mac();
    return b && dev == 1 && b->config().cpu_mac ? &b->mac() : nullptr;
}

}  // namespace

extern "C" {

int sim_bound(void) {
    return board() != nullptr;
}

const char *sim_board_name(void) {
    Board *b = board();
    return b ? b->config().name : nullptr;
}

int sim_bus_direct(void) {
    Board *b = board();
    return b && b->config().bus == sim::BusMode::Direct;
}

uint32_t sim_gpio_out(uint32_t mask, uint32_t value) {
    Board *b = board();
    return b ? b->gpio().out(mask, value) : 0;
}

uint32_t sim_gpio_outen(uint32_t mask, uint32_t value) {
    Board *b = board();
    return b ? b->gpio().outEnable(mask, value) : 0;
}

uint32_t sim_gpio_in(void) {
    Board *b = board();
    return b ? b->gpio().in() : 0;
}

int sim_extbus_config(int mode) {
    Board *b = board();
    if (!b) return -1;
    b->window().enable(mode == 1);
    return 0;
}

int sim_extbus_read(uint32_t offset, int width, uint32_t *value) {
    Board *b = board();
    if (!b || offset >= sim::BusWindow::kSize || (width != 1 && width != 2)) return -1;
    *value = width == 1 ? b->window().read8(offset) : b->window().read16(offset);
    return 0;
}

int sim_extbus_write(uint32_t offset, int width, uint32_t value) {
    Board *b = board();
    if (!b || offset >= sim::BusWindow::kSize || (width != 1 && width != 2)) return -1;
    if (width == 1) {
        b->window().write8(offset, static_cast<uint8_t>(value));
    } else {
        b->window().write16(offset, static_cast<uint16_t>(value));
    }
    return 0;
}

int sim_device_count(void) {
    Board *b = board();
    return b ? static_cast<int>(b->devices().size()) : 0;
}

int sim_device_get(int dev, struct sim_device_info *out) {
    Board *b = board();
    if (!b || out == nullptr) return -1;
    auto devices = b->devices();
    if (dev < 0 || dev >= static_cast<int>(devices.size())) return -1;
    const sim::DeviceInfo &d = devices[dev];
    *out = {d.device_id, d.revision, d.bus_type, d.base_address, d.base_address1};
    return 0;
}

int sim_switch_reg_read(int dev, uint8_t page, uint8_t offset, uint8_t *buf, int len) {
    Board *b = board();
    if (!b || buf == nullptr || !switch_device(b, dev)) return -1;
    return b->chip().read(sim::BusPath::Direct, page, offset, buf, len);
}

int sim_switch_reg_write(int dev, uint8_t page, uint8_t offset, const uint8_t *buf, int len) {
    Board *b = board();
    if (!b || buf == nullptr || !switch_device(b, dev)) return -1;
    return b->chip().write(sim::BusPath::Direct, page, offset, buf, len);
}

void *sim_dma_alloc(size_t size) {
    Board *b = board();
    return b ? b->dma().alloc(size) : nullptr;
}

int sim_dma_free(void *p) {
    Board *b = board();
    return b && b->dma().free(p) ? 0 : -1;
}

uint32_t sim_dma_virt_to_bus(const void *p) {
    Board *b = board();
    return b ? b->dma().toBus(p) : 0;
}

void *sim_dma_bus_to_virt(uint32_t bus, size_t len) {
    Board *b = board();
    if (!b) return nullptr;
    void *p = b->dma().fromBus(bus, len);
    if (p == nullptr)
        b->anomalies().record(sim::AnomalyKind::DmaOutOfArena, bus,
                              "bus address outside the DMA memory");
    return p;
}

void *sim_dma_bus_lookup(uint32_t bus, size_t len) {
    Board *b = board();
    return b ? b->dma().fromBus(bus, len) : nullptr;
}

uint32_t sim_mmio_read(int dev, uint32_t offset) {
    sim::MacCore *mac = mac_device(dev);
    return mac ? mac->read(offset) : 0xffffffff;
}

int sim_mmio_write(int dev, uint32_t offset, uint32_t value) {
    sim::MacCore *mac = mac_device(dev);
    if (mac) mac->write(offset, value);
    return mac ? 0 : -1;
}

uint32_t sim_pci_conf_read(int dev, uint32_t offset) {
    sim::MacCore *mac = mac_device(dev);
    return mac ? mac->pciConfRead(offset) : 0xffffffff;
}

int sim_pci_conf_write(int dev, uint32_t offset, uint32_t value) {
    sim::MacCore *mac = mac_device(dev);
    if (mac) mac->pciConfWrite(offset, value);
    return mac ? 0 : -1;
}

void sim_irq_upcall_set(void (*fn)(void *arg), void *arg) {
    sim::upcall_arg.store(arg);
    sim::upcall.store(fn);
}

void sim_eth0_irq_upcall_set(void (*fn)(void *arg), void *arg) {
    sim::eth0_upcall_arg.store(arg);
    sim::eth0_upcall.store(fn);
}

int sim_irq_pending(int dev) {
    sim::MacCore *mac = mac_device(dev);
    return mac && mac->irqPending();
}

void sim_note_unmapped(uint32_t address, int write) {
    Board *b = board();
    if (b)
        b->anomalies().record(
            sim::AnomalyKind::HostMemory, address,
            write ? "write to unmapped host memory" : "read of unmapped host memory");
}
}
