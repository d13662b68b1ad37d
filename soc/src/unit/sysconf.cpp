// Start-up glue: the device manager prints on the console, the board's
// enumerator devices that the manager supports become its devices, and a
// device's host vector leads to the enumerator's operations.
#include "soc_sysconf.h"

#include <cstdio>
#include <cstdlib>

#include "bde.h"
#include "sal.h"
#include "sal_config.h"
#include "soc.h"
#include "soc_error.h"

namespace {

bool inited = false;
bool probed = false;

// Any switch interrupt line: the enumerator delivers by device, not by line.
constexpr int kInterruptLine = 1;

const bde_ops *ops() {
    return bde_ops_get();
}

// Prints mask-0 text always, debug text when the platform's debug word has
// one of the mask's categories.
int print_check(uint32_t mask) {
    return (sal_debug_flags_add(0) & mask) != 0;
}

int print_out(uint32_t mask, const char *format, va_list args) {
    if (mask != 0 && !print_check(mask)) return 0;
    return sal_vprintf(format, args);
}

// Each wrapper answers 0 when the enumerator lacks the operation.
const char *config_var_get(soc_cm_dev_t *, const char *name) {
    return sal_config_get(name);
}

int interrupt_connect(soc_cm_dev_t *dev, soc_cm_isr_t isr, void *data) {
    return ops()->interrupt_connect ? ops()->interrupt_connect(dev->dev, isr, data) : 0;
}

// Released, so that an attach after a detach can connect the line again.
int interrupt_disconnect(soc_cm_dev_t *dev) {
    return ops()->interrupt_disconnect ? ops()->interrupt_disconnect(dev->dev) : 0;
}

uint32_t mmio_read(soc_cm_dev_t *dev, uint32_t addr) {
    return ops()->read ? ops()->read(dev->dev, addr) : 0;
}

void mmio_write(soc_cm_dev_t *dev, uint32_t addr, uint32_t data) {
    if (ops()->write) ops()->write(dev->dev, addr, data);
}

uint32_t pci_conf_read(soc_cm_dev_t *dev, uint32_t addr) {
    return ops()->pci_conf_read ? ops()->pci_conf_read(dev->dev, addr) : 0;
}

void pci_conf_write(soc_cm_dev_t *dev, uint32_t addr, uint32_t data) {
    if (ops()->pci_conf_write) ops()->pci_conf_write(dev->dev, addr, data);
}

void *salloc(soc_cm_dev_t *dev, int size, const char *name) {
    return ops()->salloc ? ops()->salloc(dev->dev, size, name) : nullptr;
}

void sfree(soc_cm_dev_t *dev, void *ptr) {
    if (ops()->sfree) ops()->sfree(dev->dev, ptr);
}

int sflush(soc_cm_dev_t *dev, void *addr, int length) {
    return ops()->sflush ? ops()->sflush(dev->dev, addr, length) : 0;
}

int sinval(soc_cm_dev_t *dev, void *addr, int length) {
    return ops()->sinval ? ops()->sinval(dev->dev, addr, length) : 0;
}

uint32_t l2p(soc_cm_dev_t *dev, void *addr) {
    return ops()->l2p ? ops()->l2p(dev->dev, addr) : 0;
}

void *p2l(soc_cm_dev_t *dev, uint32_t addr) {
    return ops()->p2l ? ops()->p2l(dev->dev, addr) : nullptr;
}

int switch_reg_read(soc_cm_dev_t *dev, uint32_t addr, uint8_t *buf, int len) {
    return ops()->switch_reg_read ? ops()->switch_reg_read(dev->dev, addr, buf, len) : 0;
}

int switch_reg_write(soc_cm_dev_t *dev, uint32_t addr, uint8_t *buf, int len) {
    return ops()->switch_reg_write ? ops()->switch_reg_write(dev->dev, addr, buf, len) : 0;
}

const char *bus_name(uint32_t type) {
    switch (type & BDE_BUS_MASK) {
        case BDE_BUS_PCI:
            return "PCI";
        case BDE_BUS_SPI:
            return "SPI";
        case BDE_BUS_EB:
            return "EB";
        case BDE_BUS_TARN_EB:
            return "TARN/EB";
        case BDE_BUS_ICS:
            return "ICS";
        default:
            return nullptr;
    }
}

// The unit's variable first, then the general one.
template <typename T>
void override_id(const char *name, int d, T *value) {
    char unit_name[40];
    std::snprintf(unit_name, sizeof unit_name, "%s.%d", name, d);
    const char *text = sal_config_get(unit_name);
    if (text == nullptr) text = sal_config_get(name);
    if (text != nullptr) *value = static_cast<T>(std::strtoul(text, nullptr, 0));
}

bool probe_device(int d) {
    const bde_dev_t *dev = ops()->get_dev(d);
    if (dev == nullptr) return false;
    uint16_t dev_id = dev->device;
    uint8_t rev_id = dev->rev;
    override_id("pci_override_dev", d, &dev_id);
    override_id("pci_override_rev", d, &rev_id);
    if (soc_cm_device_supported(dev_id, rev_id) < 0) return false;
    uint32_t type = ops()->get_dev_type(d);
    const char *bus = bus_name(type);
    if (bus == nullptr) {
        sal_printf("Error : Unknow bus type 0x%x !!\n", type);
        return false;
    }
    sal_printf("%s unit %d: Dev 0x%04x, Rev 0x%02x, Chip %s, Driver %s\n", bus, d, dev->device,
               dev->rev, soc_cm_id_to_name(dev->device, dev->rev),
               soc_cm_id_to_name(dev_id, rev_id));
    if (dev->base_address1 != 0 && sal_bus_probe(dev->base_address1) != 0) {
        sal_printf("sysconf_probe: unable to probe address 0x%x\n", dev->base_address1);
        return false;
    }
    return soc_cm_device_create(dev_id, rev_id, nullptr) >= 0;
}

}  // namespace

int sysconf_init(void) {
    if (inited) return SOC_E_INTERNAL;
    static const soc_cm_init_t vectors = {
        .debug_out = print_out, .debug_check = print_check, .device_dump = nullptr};
    soc_cm_init(&vectors);
    inited = true;
    return 0;
}

int sysconf_probe(void) {
    if (probed) {
        sal_printf("sysconf_probe: cannot probe more than once\n");
        return SOC_E_INTERNAL;
    }
    probed = true;
    if (ops() == nullptr && bde_init() != 0) return SOC_E_INTERNAL;
    int n = ops()->num_devices(BDE_ALL_DEVICES);
    for (int d = 0; d < n && d < SOC_MAX_NUM_DEVICES; d++) {
        if (!probe_device(d)) break;
    }
    return 0;
}

bool sysconf_probed(void) {
    return probed;
}

int sysconf_attach(int unit) {
    const bde_dev_t *dev = ops() != nullptr && unit >= 0 && unit < soc_cm_get_num_devices()
                               ? ops()->get_dev(unit)
                               : nullptr;
    if (dev == nullptr) return SOC_E_INTERNAL;
    int be_pio = 0, be_packet = 0, be_other = 0;
    if (ops()->pci_bus_features) ops()->pci_bus_features(unit, &be_pio, &be_packet, &be_other);
    soc_cm_dev_vectors_t v = {
        .init = 0,
        .bus_type = ops()->get_dev_type(unit),
        .bus_prop2 = static_cast<uint32_t>(be_pio),
        .bus_prop3 = static_cast<uint32_t>(be_packet),
        .config_var_get = config_var_get,
        .interrupt_connect = interrupt_connect,
        .interrupt_disconnect = interrupt_disconnect,
        .base_address = dev->base_address,
        .read = mmio_read,
        .write = mmio_write,
        .pci_conf_read = pci_conf_read,
        .pci_conf_write = pci_conf_write,
        .salloc = salloc,
        .sfree = sfree,
        .sflush = sflush,
        .sinval = sinval,
        .l2p = l2p,
        .p2l = p2l,
        .switch_reg_read = switch_reg_read,
        .switch_reg_write = switch_reg_write,
        .interrupt_line = kInterruptLine,
    };
    if (soc_cm_device_init(unit, &v) != 0) {
        sal_printf("sysconf_attach: dxp device init failed\n");
        return SOC_E_INTERNAL;
    }
    return 0;
}

int sysconf_detach(int unit) {
    return soc_cm_device_destroy(unit);
}

void sysconf_host_forget(void) {
    inited = false;
    probed = false;
}
