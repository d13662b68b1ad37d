// The device enumerator over the simulated board.
#include "bde.h"

#include <atomic>
#include <mutex>

#include "board_host.h"
#include "sal.h"
#include "sal_host.h"
#include "sim/host_binding.h"

namespace {

struct Device {
    bde_dev_t dev;
    uint32_t type;
    void *access_handle;  // of the CPU-side switch access, after the probe
    bde_isr_t isr;
    void *isr_data;
};

struct Enumerator {
    std::mutex lock;  // guards init, the probe and the interrupt table
    std::atomic<bool> ready{false};
    std::atomic<bool> direct{false};
    int count = 0;  // devices are fixed between inits
    Device devices[BDE_MAX_DEVICES] = {};
    sb_t *sbh = nullptr;
    std::atomic<const bde_switch_access *> access{nullptr};
    bool warned = false;           // about a pin path without access, once
    sal_sem_t irq_kick = nullptr;  // given by the model's interrupt upcall
};

Enumerator &bde() {
    static auto *e = new Enumerator;
    return *e;
}

Device *device(int d) {
    Enumerator &e = bde();
    if (!e.ready || d < 0 || d >= e.count) return nullptr;
    return &e.devices[d];
}

Device *switch_device(int d) {
    Device *dev = device(d);
    return dev && (dev->type & BDE_DEV_SWITCH) ? dev : nullptr;
}

// The start-up probe of the management interface: read the probe register
// over the window, switch to serial mode and read it again.
// Called with the lock held.
void probe(Enumerator &e, Device &dev) {
    const bde_switch_access *access = e.access.load();
    if (dev.access_handle != nullptr || access == nullptr || e.direct) return;
    if (e.sbh == nullptr) e.sbh = sb_attach(SB_CC_CORE_ID, 0);
    if (e.sbh == nullptr) return;
    void *h = access->attach(e.sbh, BDE_SWITCH_PIN_CS, BDE_SWITCH_PIN_CLK, BDE_SWITCH_PIN_DOUT,
                             BDE_SWITCH_PIN_DIN);
    if (h == nullptr) {
        sal_printf("bde: cannot attach the switch management interface\n");
        return;
    }
    uint8_t value[2] = {0, 0};
    access->mii_reg_read(h, 0, BDE_PROBE_PAGE, BDE_PROBE_OFFSET, value, 2);
    access->mode_set(h, 1);
    access->mii_reg_read(h, 0, BDE_PROBE_PAGE, BDE_PROBE_OFFSET, value, 2);
    dev.access_handle = h;
}

// The serial access handle of a switch device, probing on first use.
void *access_handle(Device &dev) {
    Enumerator &e = bde();
    std::lock_guard<std::mutex> g(e.lock);
    probe(e, dev);
    if (dev.access_handle == nullptr && !e.warned) {
        sal_printf("bde: no access to the switch over its management pins\n");
        e.warned = true;
    }
    return dev.access_handle;
}

bool length_ok(int len) {
    return len >= 1 && len <= 8;
}

const char *op_name(void) {
    const char *name = sim_board_name();
    return name ? name : "";
}

int op_num_devices(int type) {
    Enumerator &e = bde();
    if (!e.ready) return 0;
    int n = 0;
    for (int d = 0; d < e.count; d++) {
        uint32_t t = e.devices[d].type;
        if (type == BDE_ALL_DEVICES || (type == BDE_SWITCH_DEVICES && (t & BDE_DEV_SWITCH)) ||
            (type == BDE_ETHER_DEVICES && (t & BDE_DEV_ETHER)))
            n++;
    }
    return n;
}

const bde_dev_t *op_get_dev(int d) {
    Device *dev = device(d);
    return dev ? &dev->dev : nullptr;
}

uint32_t op_get_dev_type(int d) {
    Device *dev = device(d);
    return dev ? dev->type : 0;
}

uint32_t op_pci_conf_read(int d, uint32_t offset) {
    return bde_pci_conf_read(d, offset);
}

int op_pci_conf_write(int d, uint32_t offset, uint32_t data) {
    return bde_pci_conf_write(d, offset, data);
}

void op_pci_bus_features(int, int *be_pio, int *be_packet, int *be_other) {
    // No byte swapping on this board.
    if (be_pio) *be_pio = 0;
    if (be_packet) *be_packet = 0;
    if (be_other) *be_other = 0;
}

// Memory-mapped registers: the PCI devices' (the CPU-port MAC).
uint32_t op_read(int d, uint32_t offset) {
    Device *dev = device(d);
    return dev && (dev->type & BDE_DEV_ETHER) ? sim_mmio_read(d, offset) : 0xffffffff;
}

int op_write(int d, uint32_t offset, uint32_t data) {
    Device *dev = device(d);
    return dev && (dev->type & BDE_DEV_ETHER) ? sim_mmio_write(d, offset, data) : -1;
}

void *op_salloc(int d, int size, const char *) {
    if (device(d) == nullptr || size <= 0) return nullptr;
    return sim_dma_alloc(static_cast<size_t>(size));
}

void op_sfree(int d, void *ptr) {
    if (device(d) != nullptr && ptr != nullptr) sim_dma_free(ptr);
}

// DMA memory is coherent on the host.
int op_sflush(int, void *, int) {
    return 0;
}

int op_sinval(int, void *, int) {
    return 0;
}

void irq_kick(void *kick) {
    sal_sem_give(static_cast<sal_sem_t>(kick));
}

// Delivers the model's interrupt levels: a device whose line is up gets its
// routine run in interrupt context, outside the model's lock. A routine that
// leaves its line up runs again at the next change of the level.
void irq_thread(void *arg) {
    Enumerator &e = bde();
    auto kick = static_cast<sal_sem_t>(arg);
    for (;;) {
        sal_sem_take(kick, sal_sem_FOREVER);
        for (int d = 0; d < BDE_MAX_DEVICES; d++) {
            bde_isr_t isr;
            void *data;
            {
                std::lock_guard<std::mutex> g(e.lock);
                if (d >= e.count) break;
                isr = e.devices[d].isr;
                data = e.devices[d].isr_data;
            }
            if (isr != nullptr && sim_irq_pending(d)) sal_host_intr_run(isr, data);
        }
    }
}

// Called with the lock held.
bool irq_dispatcher_start(Enumerator &e) {
    if (e.irq_kick != nullptr) return true;
    sal_sem_t kick = sal_sem_create("irq kick", sal_sem_BINARY, 0);
    if (kick == nullptr) return false;
    e.irq_kick = kick;
    if (sal_thread_create("irq", 0, 0, irq_thread, kick) == SAL_THREAD_ERROR) {
        e.irq_kick = nullptr;
        sal_sem_destroy(kick);
        return false;
    }
    sim_irq_upcall_set(irq_kick, kick);
    return true;
}

int op_interrupt_connect(int d, bde_isr_t isr, void *data) {
    Device *dev = device(d);
    if (dev == nullptr || isr == nullptr) return -1;
    Enumerator &e = bde();
    std::lock_guard<std::mutex> g(e.lock);
    if ((dev->type & BDE_DEV_ETHER) && !irq_dispatcher_start(e)) return -1;
    dev->isr = isr;
    dev->isr_data = data;
    // A level already up is delivered now.
    if (e.irq_kick) sal_sem_give(e.irq_kick);
    return 0;
}

int op_interrupt_disconnect(int d) {
    Device *dev = device(d);
    if (dev == nullptr) return -1;
    std::lock_guard<std::mutex> g(bde().lock);
    dev->isr = nullptr;
    dev->isr_data = nullptr;
    return 0;
}

uint32_t op_l2p(int d, void *laddr) {
    return device(d) ? sim_dma_virt_to_bus(laddr) : 0;
}

void *op_p2l(int d, uint32_t paddr) {
    return device(d) ? sim_dma_bus_to_virt(paddr, 1) : nullptr;
}

enum class Framing { Serial, TwoWire };
enum class Access { Read, Write };

// One switch register access, straight into the model on the direct path,
// else through the CPU-side switch access.
int register_access(int d, uint8_t page, uint8_t offset, uint8_t *buf, int len, Access access,
                    Framing framing) {
    Device *dev = switch_device(d);
    if (dev == nullptr || buf == nullptr || !length_ok(len)) return -1;
    if (bde().direct) {
        return access == Access::Write ? sim_switch_reg_write(d, page, offset, buf, len)
                                       : sim_switch_reg_read(d, page, offset, buf, len);
    }
    void *h = access_handle(*dev);
    if (h == nullptr) return -1;
    const bde_switch_access *a = bde().access.load();
    if (framing == Framing::Serial) {
        return access == Access::Write ? a->mii_reg_write(h, 0, page, offset, buf, len)
                                       : a->mii_reg_read(h, 0, page, offset, buf, len);
    }
    return access == Access::Write ? a->spi_reg_write(h, page, offset, buf, len)
                                   : a->spi_reg_read(h, page, offset, buf, len);
}

int op_switch_reg_read(int d, uint32_t addr, uint8_t *buf, int len) {
    if (addr > 0xffff) return -1;
    return register_access(d, static_cast<uint8_t>(addr >> 8), static_cast<uint8_t>(addr), buf, len,
                           Access::Read, Framing::Serial);
}

int op_switch_reg_write(int d, uint32_t addr, uint8_t *buf, int len) {
    if (addr > 0xffff) return -1;
    return register_access(d, static_cast<uint8_t>(addr >> 8), static_cast<uint8_t>(addr), buf, len,
                           Access::Write, Framing::Serial);
}

int op_spi_reg_read(int d, uint8_t page, uint8_t offset, uint8_t *buf, int len) {
    return register_access(d, page, offset, buf, len, Access::Read, Framing::TwoWire);
}

int op_spi_reg_write(int d, uint8_t page, uint8_t offset, uint8_t *buf, int len) {
    return register_access(d, page, offset, buf, len, Access::Write, Framing::TwoWire);
}

int op_spi_byte_read(int d, uint8_t addr, uint8_t *byte) {
    Device *dev = switch_device(d);
    if (dev == nullptr || byte == nullptr || bde().direct) return -1;
    void *h = access_handle(*dev);
    return h ? bde().access.load()->spi_byte_read(h, addr, byte) : -1;
}

int op_spi_status_read(int d, uint8_t *status) {
    Device *dev = switch_device(d);
    if (dev == nullptr || status == nullptr || bde().direct) return -1;
    void *h = access_handle(*dev);
    return h ? bde().access.load()->spi_status_read(h, status) : -1;
}

constexpr bde_ops kOps = {
    .name = op_name,
    .num_devices = op_num_devices,
    .get_dev = op_get_dev,
    .get_dev_type = op_get_dev_type,
    .pci_conf_read = op_pci_conf_read,
    .pci_conf_write = op_pci_conf_write,
    .pci_bus_features = op_pci_bus_features,
    .read = op_read,
    .write = op_write,
    .salloc = op_salloc,
    .sfree = op_sfree,
    .sflush = op_sflush,
    .sinval = op_sinval,
    .interrupt_connect = op_interrupt_connect,
    .interrupt_disconnect = op_interrupt_disconnect,
    .l2p = op_l2p,
    .p2l = op_p2l,
    .switch_reg_read = op_switch_reg_read,
    .switch_reg_write = op_switch_reg_write,
    .spi_reg_read = op_spi_reg_read,
    .spi_reg_write = op_spi_reg_write,
    .spi_byte_read = op_spi_byte_read,
    .spi_status_read = op_spi_status_read,
};

void forget_devices(Enumerator &e) {
    for (int d = 0; d < e.count; d++) {
        const bde_switch_access *access = e.access.load();
        if (e.devices[d].access_handle && access) access->detach(e.devices[d].access_handle);
        e.devices[d] = {};
    }
    e.count = 0;
    e.ready = false;
    if (e.sbh) sb_detach(e.sbh);
    e.sbh = nullptr;
}

}  // namespace

int bde_init(void) {
    Enumerator &e = bde();
    std::lock_guard<std::mutex> g(e.lock);
    forget_devices(e);
    if (!sim_bound()) return -1;
    e.direct = sim_bus_direct() != 0;
    int found = sim_device_count();
    for (int d = 0; d < found && e.count < BDE_MAX_DEVICES; d++) {
        sim_device_info info{};
        if (sim_device_get(d, &info) != 0) break;
        Device &dev = e.devices[e.count++];
        dev.dev = {info.device_id, info.revision, info.base_address, info.base_address1};
        uint32_t bus = info.bus_type & BDE_BUS_MASK;
        dev.type = bus | (bus == BDE_BUS_PCI ? BDE_DEV_ETHER : BDE_DEV_SWITCH);
    }
    e.ready = true;
    for (int d = 0; d < e.count; d++) {
        if (e.devices[d].type & BDE_DEV_SWITCH) probe(e, e.devices[d]);
    }
    return 0;
}

const bde_ops *bde_ops_get(void) {
    return bde().ready ? &kOps : nullptr;
}

// Devices off PCI end in a master abort.
uint32_t bde_pci_conf_read(int d, uint32_t offset) {
    Device *dev = device(d);
    return dev && (dev->type & BDE_BUS_MASK) == BDE_BUS_PCI ? sim_pci_conf_read(d, offset) : ~0u;
}

int bde_pci_conf_write(int d, uint32_t offset, uint32_t value) {
    Device *dev = device(d);
    if (dev == nullptr || (dev->type & BDE_BUS_MASK) != BDE_BUS_PCI) return -1;
    return sim_pci_conf_write(d, offset, value);
}

void bde_switch_access_register(const bde_switch_access *access) {
    Enumerator &e = bde();
    e.access.store(access);
}

void board_host_forget_devices(void) {
    Enumerator &e = bde();
    std::lock_guard<std::mutex> g(e.lock);
    forget_devices(e);
}

int board_host_irq_raise(int d) {
    Device *dev = device(d);
    if (dev == nullptr) return -1;
    bde_isr_t isr;
    void *data;
    {
        std::lock_guard<std::mutex> g(bde().lock);
        isr = dev->isr;
        data = dev->isr_data;
    }
    return isr ? sal_host_intr_post(isr, data) : -1;
}
