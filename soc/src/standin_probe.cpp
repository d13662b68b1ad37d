// Stand-in for the start-up glue of the diagnostic shell until it lands: the
// device manager prints on the console, every supported device of the
// board's device enumerator becomes a device, and each device's host vector
// leads to the enumerator's operations.
#include "bde.h"
#include "sal.h"
#include "sal_config.h"
#include "soc.h"
#include "soc_standin.h"
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
int glue_debug_check(uint32_t mask) {
    return (sal_debug_flags_add(0) & mask) != 0;
}

int glue_print(uint32_t mask, const char *format, va_list args) {
    if (mask != 0 && !glue_debug_check(mask)) return 0;
    return sal_vprintf(format, args);
}

const char *config_var_get(soc_cm_dev_t *, const char *name) {
    return sal_config_get(name);
}

int interrupt_connect(soc_cm_dev_t *dev, soc_cm_isr_t isr, void *data) {
    return ops()->interrupt_connect(dev->dev, isr, data);
}

int interrupt_disconnect(soc_cm_dev_t *dev) {
    return ops()->interrupt_disconnect(dev->dev);
}

uint32_t mmio_read(soc_cm_dev_t *dev, uint32_t addr) {
    return ops()->read(dev->dev, addr);
}

void mmio_write(soc_cm_dev_t *dev, uint32_t addr, uint32_t data) {
    ops()->write(dev->dev, addr, data);
}

uint32_t pci_conf_read(soc_cm_dev_t *dev, uint32_t addr) {
    return ops()->pci_conf_read(dev->dev, addr);
}

void pci_conf_write(soc_cm_dev_t *dev, uint32_t addr, uint32_t data) {
    ops()->pci_conf_write(dev->dev, addr, data);
}

void *salloc(soc_cm_dev_t *dev, int size, const char *name) {
    return ops()->salloc(dev->dev, size, name);
}

void sfree(soc_cm_dev_t *dev, void *ptr) {
    ops()->sfree(dev->dev, ptr);
}

int sflush(soc_cm_dev_t *dev, void *addr, int length) {
    return ops()->sflush(dev->dev, addr, length);
}

int sinval(soc_cm_dev_t *dev, void *addr, int length) {
    return ops()->sinval(dev->dev, addr, length);
}

uint32_t l2p(soc_cm_dev_t *dev, void *addr) {
    return ops()->l2p(dev->dev, addr);
}

void *p2l(soc_cm_dev_t *dev, uint32_t addr) {
    return ops()->p2l(dev->dev, addr);
}

int switch_reg_read(soc_cm_dev_t *dev, uint32_t addr, uint8_t *buf, int len) {
    return ops()->switch_reg_read(dev->dev, addr, buf, len);
}

int switch_reg_write(soc_cm_dev_t *dev, uint32_t addr, uint8_t *buf, int len) {
    return ops()->switch_reg_write(dev->dev, addr, buf, len);
}

const char *bus_name(uint32_t type) {
    switch (type & BDE_BUS_MASK) {
        case BDE_BUS_PCI:
            return "PCI";
        case BDE_BUS_SPI:
            return "SPI";
        default:
            return "EB";
    }
}

}  // namespace

int soc_glue_init(void) {
    if (inited) return SOC_E_INTERNAL;
    static const soc_cm_init_t vectors = {glue_print, glue_debug_check, nullptr};
    soc_cm_init(&vectors);
    inited = true;
    return 0;
}

int soc_glue_probe(void) {
    if (probed) {
        sal_printf("soc_glue_probe: cannot probe more than once\n");
        return SOC_E_INTERNAL;
    }
    if (ops() == nullptr && bde_init() != 0) return SOC_E_INTERNAL;
    probed = true;
    int created = 0;
    int n = ops()->num_devices(BDE_ALL_DEVICES);
    for (int d = 0; d < n && d < SOC_MAX_NUM_DEVICES; d++) {
        const bde_dev_t *dev = ops()->get_dev(d);
        if (dev == nullptr || soc_cm_device_supported(dev->device, dev->rev) < 0) break;
        uint16_t drv_dev_id = 0;
        uint8_t drv_rev_id = 0;
        soc_cm_driver_id_get(dev->device, dev->rev, &drv_dev_id, &drv_rev_id);
        sal_printf("%s unit %d: Dev 0x%04x, Rev 0x%02x, Chip %s, Driver %s\n",
                   bus_name(ops()->get_dev_type(d)), d, dev->device, dev->rev,
                   soc_cm_id_to_name(dev->device, dev->rev),
                   soc_cm_id_to_name(drv_dev_id, drv_rev_id));
        if (soc_cm_device_create(dev->device, dev->rev, nullptr) < 0) break;
        created++;
    }
    return created;
}

int soc_glue_attach(int unit) {
    const bde_dev_t *dev = ops() ? ops()->get_dev(unit) : nullptr;
    if (dev == nullptr) return SOC_E_INTERNAL;
    soc_cm_dev_vectors_t v{};
    v.bus_type = ops()->get_dev_type(unit);
    v.config_var_get = config_var_get;
    v.interrupt_connect = interrupt_connect;
    v.interrupt_disconnect = interrupt_disconnect;
    v.base_address = dev->base_address;
    v.read = mmio_read;
    v.write = mmio_write;
    v.pci_conf_read = pci_conf_read;
    v.pci_conf_write = pci_conf_write;
    v.salloc = salloc;
    v.sfree = sfree;
    v.sflush = sflush;
    v.sinval = sinval;
    v.l2p = l2p;
    v.p2l = p2l;
    v.switch_reg_read = switch_reg_read;
    v.switch_reg_write = switch_reg_write;
    v.interrupt_line = kInterruptLine;
    if (soc_cm_device_init(unit, &v) != 0) {
        sal_printf("soc_glue_attach: device init failed\n");
        return SOC_E_INTERNAL;
    }
    return 0;
}

int soc_glue_detach(int unit) {
    return soc_cm_device_destroy(unit);
}

void soc_glue_host_forget(void) {
    inited = false;
    probed = false;
}
