// Device manager: device records with their host vectors, and the prints.
#include <atomic>
#include <cstring>

#include "cm_internal.h"
#include "soc_cm.h"
#include "soc_error.h"

namespace {

// Written at start-up (init, create), by the monitor's probe and by the
// host-only reset; the device and unit counts are read by running units'
// threads (every unit check), so they are published atomically.
struct Manager {
    bool inited = false;
    soc_cm_init_t vectors{};
    soc_cm_dev_t devices[SOC_MAX_NUM_DEVICES]{};
    int num_devices = 0;
    int num_units = 0;
    int last_switch = -1;
};

Manager manager;

}  // namespace

int soc_cm_init(const soc_cm_init_t *init) {
    if (manager.inited) return 0;
    manager = Manager{};
    if (init != nullptr) manager.vectors = *init;
    manager.inited = true;
    return 0;
}

bool soc_cm_initialised(void) {
    return manager.inited;
}

void soc_cm_host_forget(void) {
    manager = Manager{};
}

int soc_cm_device_supported(uint16_t dev_id, uint8_t rev_id) {
    if (!manager.inited) return SOC_E_INIT;
    return soc_cm_internal::supported_row(dev_id, rev_id) ? 0 : -16;
}

int soc_cm_device_create(uint16_t dev_id, uint8_t rev_id, void *cookie) {
    if (!manager.inited) return SOC_E_INIT;
    const soc_cm_device_info_t *row = soc_cm_internal::supported_row(dev_id, rev_id);
    if (row == nullptr) return SOC_E_UNAVAIL;
    if (manager.num_devices >= SOC_MAX_NUM_DEVICES) return SOC_E_UNIT;
    int dev = manager.num_devices;
    soc_cm_dev_t &d = manager.devices[dev];
    d = soc_cm_dev_t{};
    d.dev = dev;
    d.info = row;
    d.cookie = cookie;
    d.dev_id = dev_id;
    d.rev_id = rev_id;
    if (row->dev_type & SOC_CM_SWITCH) {
        std::atomic_ref<int>(manager.num_units).fetch_add(1, std::memory_order_release);
        manager.last_switch = dev;
    }
    // Published last: a running unit's threads look devices up meanwhile.
    std::atomic_ref<int>(manager.num_devices).store(dev + 1, std::memory_order_release);
    return dev;
}

soc_cm_dev_t *soc_cm_dev(int dev) {
    if (!manager.inited || dev < 0 || dev >= soc_cm_get_num_devices()) return nullptr;
    return &manager.devices[dev];
}

int soc_cm_get_num_devices(void) {
    return std::atomic_ref<int>(manager.num_devices).load(std::memory_order_acquire);
}

int soc_cm_get_num_units(void) {
    return std::atomic_ref<int>(manager.num_units).load(std::memory_order_acquire);
}

int soc_cm_last_switch_device(void) {
    return manager.last_switch;
}

int soc_cm_device_id_get(int dev, uint16_t *dev_id, uint8_t *rev_id) {
    if (!manager.inited) return SOC_E_INIT;
    const soc_cm_dev_t *d = soc_cm_dev(dev);
    if (d == nullptr) return SOC_E_UNIT;
    if (dev_id) *dev_id = d->dev_id;
    if (rev_id) *rev_id = d->rev_id;
    return 0;
}

const char *soc_cm_device_name(int dev) {
    const soc_cm_dev_t *d = soc_cm_dev(dev);
    return d ? d->info->dev_name : "<UNKNOWN>";
}

uint32_t soc_cm_get_dev_type(int dev) {
    const soc_cm_dev_t *d = soc_cm_dev(dev);
    return d ? d->info->dev_type : 0;
}

const char *soc_cm_get_name(int dev) {
    const soc_cm_dev_t *d = soc_cm_dev(dev);
    return d ? d->info->dev_name : nullptr;
}

// ---------------------------------------------------------------- host vector

int soc_cm_interrupt_connect(int dev, soc_cm_isr_t isr, void *data) {
    soc_cm_dev_t *d = soc_cm_dev(dev);
    if (d == nullptr || d->vectors.interrupt_connect == nullptr) return SOC_E_INTERNAL;
    return d->vectors.interrupt_connect(d, isr, data);
}

int soc_cm_interrupt_disconnect(int dev) {
    soc_cm_dev_t *d = soc_cm_dev(dev);
    if (d == nullptr || d->vectors.interrupt_disconnect == nullptr) return SOC_E_INTERNAL;
    return d->vectors.interrupt_disconnect(d);
}

void *soc_cm_salloc(int dev, int size, const char *name) {
    soc_cm_dev_t *d = soc_cm_dev(dev);
    if (d == nullptr || d->vectors.salloc == nullptr) return nullptr;
    return d->vectors.salloc(d, size, name);
}

void soc_cm_sfree(int dev, void *ptr) {
    soc_cm_dev_t *d = soc_cm_dev(dev);
    if (d != nullptr && d->vectors.sfree != nullptr) d->vectors.sfree(d, ptr);
}

int soc_cm_sflush(int dev, void *addr, int length) {
    soc_cm_dev_t *d = soc_cm_dev(dev);
    if (d == nullptr || d->vectors.sflush == nullptr) return 0;
    return d->vectors.sflush(d, addr, length);
}

int soc_cm_sinval(int dev, void *addr, int length) {
    soc_cm_dev_t *d = soc_cm_dev(dev);
    if (d == nullptr || d->vectors.sinval == nullptr) return 0;
    return d->vectors.sinval(d, addr, length);
}

uint32_t soc_cm_l2p(int dev, void *addr) {
    soc_cm_dev_t *d = soc_cm_dev(dev);
    if (d == nullptr || d->vectors.l2p == nullptr) return 0;
    return d->vectors.l2p(d, addr);
}

void *soc_cm_p2l(int dev, uint32_t addr) {
    soc_cm_dev_t *d = soc_cm_dev(dev);
    if (d == nullptr || d->vectors.p2l == nullptr) return nullptr;
    return d->vectors.p2l(d, addr);
}

uint32_t soc_cm_iproc_read(int dev, uint32_t addr) {
    soc_cm_dev_t *d = soc_cm_dev(dev);
    if (d == nullptr || d->vectors.read == nullptr) return 0;
    return d->vectors.read(d, addr);
}

void soc_cm_iproc_write(int dev, uint32_t addr, uint32_t data) {
    soc_cm_dev_t *d = soc_cm_dev(dev);
    if (d != nullptr && d->vectors.write != nullptr) d->vectors.write(d, addr, data);
}

const char *soc_cm_config_var_get(int dev, const char *name) {
    soc_cm_dev_t *d = soc_cm_dev(dev);
    if (d == nullptr || d->vectors.config_var_get == nullptr || name == nullptr) return nullptr;
    return d->vectors.config_var_get(d, name);
}

void soc_cm_display_device(int dev) {
    if (manager.vectors.device_dump != nullptr) {
        manager.vectors.device_dump(dev);
        return;
    }
    const soc_cm_dev_t *d = soc_cm_dev(dev);
    soc_cm_print("CM: Base=%p\n", d ? reinterpret_cast<void *>(d->vectors.base_address) : nullptr);
}

// ---------------------------------------------------------------- prints

int soc_cm_print(const char *format, ...) {
    if (manager.vectors.debug_out == nullptr) return 0;
    va_list args;
    va_start(args, format);
    int n = manager.vectors.debug_out(0, format, args);
    va_end(args);
    return n;
}

int soc_cm_debug_print(uint32_t mask, const char *format, ...) {
    if (manager.vectors.debug_out == nullptr) return 0;
    va_list args;
    va_start(args, format);
    int n = manager.vectors.debug_out(mask, format, args);
    va_end(args);
    return n;
}

int soc_cm_debug_enabled(uint32_t mask) {
    return manager.vectors.debug_check ? manager.vectors.debug_check(mask) : 0;
}
