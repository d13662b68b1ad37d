// Attach and detach of a unit: the control record, the chip driver, the port
// model, the features and the locks of the register, memory and ARL paths.
#include <cstdint>
#include <cstring>

#include "soc.h"
#include "soc_arl.h"
#include "soc_property.h"
#include "soc_pktio.h"
#include "soc_error.h"

namespace {

constexpr int kUnitDefaults[SOC_UNIT_DEFAULT_WORDS] = {18, 18, 21, 21, 18, 18, 21,
                                                       21, 12, 12, 12, 12, 8};

// The once-per-process hooks of the driver records run at the first attach.
bool driver_hooks_done = false;

void *unit_owner(int unit) {
    return reinterpret_cast<void *>(static_cast<intptr_t>(unit));
}

void destroy_mutex(sal_mutex_t *m) {
    if (*m != nullptr) sal_mutex_destroy(*m);
    *m = nullptr;
}

// The first entry of the chip driver list that has a block table.
const soc_driver_t *default_driver() {
    for (const soc_driver_t *d : soc_tarn_drivers_table) {
        if (d->block_info != nullptr) return d;
    }
    sal_assert("chip < SOC_TARN_NUM_SUPPORTED_CHIPS", __FILE__, __LINE__);
    return nullptr;
}

const soc_driver_t *unit_driver(int unit) {
    uint16_t dev_id = 0;
    uint8_t rev_id = 0;
    soc_cm_device_id_get(unit, &dev_id, &rev_id);
    if (const soc_driver_t *d = soc_tarn_chip_driver_find(dev_id, rev_id)) return d;
    const soc_driver_t *d = default_driver();
    if (d == nullptr) return nullptr;
    soc_cm_print("#### \n");
    soc_cm_print("#### Chip not recognized. \n");
    soc_cm_print("#### Device id:  0x%04x.  Rev id:  0x%02x\n", dev_id, rev_id);
    soc_cm_print("#### Installing default driver for device %s.\n", soc_chip_type_name(d->type));
    soc_cm_print("#### Unpredictable behavior may result.\n");
    soc_cm_print("#### \n");
    return d;
}

void run_driver_hooks() {
    if (driver_hooks_done) return;
    driver_hooks_done = true;
    for (const soc_driver_t *d : soc_tarn_drivers_table) {
        if (d->init != nullptr) d->init();
    }
}

// The locks and states of the record; false when one cannot be made.
bool create_unit_state(int unit, soc_control_t *soc) {
    soc->miim_lock = sal_mutex_create("MIIM");
    soc->override_lock = sal_mutex_create("Override");
    if (soc->miim_lock == nullptr || soc->override_lock == nullptr) return false;
    if (soc_tarn_counter_attach(unit) != 0) return false;
    for (int m = 0; m < SOC_NUM_MEMS; m++) {
        soc->mem_state[m].lock = sal_mutex_create(soc_mem_name(m));
        if (soc->mem_state[m].lock == nullptr) return false;
    }
    if (soc_spi_mutex() == nullptr) {
        sal_mutex_t spi = sal_mutex_create("SPI");
        if (spi == nullptr) return false;
        soc_spi_mutex_set(spi);
    }
    soc->arl_table_lock = sal_mutex_create("ARL_SW_TABLE");
    soc->arl_search_lock = sal_mutex_create("ARL_MEM_SEARCH");
    soc->mem_rwctrl_lock = sal_mutex_create("MEM_RWCTRL_REG");
    soc->arl_intr_sem = sal_sem_create("ARL interrupt", sal_sem_BINARY, 0);
    if (soc->arl_table_lock == nullptr || soc->arl_search_lock == nullptr ||
        soc->mem_rwctrl_lock == nullptr || soc->arl_intr_sem == nullptr)
        return false;
    soc->arl_pid = SAL_THREAD_ERROR;
    std::memset(soc->port_words, 0, sizeof soc->port_words);
    std::memcpy(soc->unit_defaults, kUnitDefaults, sizeof kUnitDefaults);
    return true;
}

void destroy_arl_locks(soc_control_t *soc) {
    destroy_mutex(&soc->arl_table_lock);
    destroy_mutex(&soc->arl_search_lock);
    destroy_mutex(&soc->mem_rwctrl_lock);
    if (soc->arl_intr_sem != nullptr) sal_sem_destroy(soc->arl_intr_sem);
    soc->arl_intr_sem = nullptr;
}

// The locks and the table caches still enabled.
void destroy_memory_locks(soc_control_t *soc) {
    for (soc_mem_state_t &state : soc->mem_state) {
        destroy_mutex(&state.lock);
        if (state.cache != nullptr) sal_free(state.cache);
        if (state.vmap != nullptr) sal_free(state.vmap);
        state.cache = nullptr;
        state.vmap = nullptr;
    }
}

// One attach fewer; the last one takes the "SPI" mutex with it.
void count_detach() {
    if (--soc_attached_count > 0) return;
    soc_attached_count = 0;
    sal_mutex_t spi = soc_spi_mutex();
    soc_spi_mutex_set(nullptr);
    if (spi != nullptr) sal_mutex_destroy(spi);
}

// Undoes a failed attach completely, so that the unit can be attached again.
void release_unit(int unit) {
    soc_control_t *soc = soc_control[unit];
    if (soc == nullptr) return;
    if (soc->counter_state != nullptr) soc_tarn_counter_detach(unit);
    destroy_mutex(&soc->miim_lock);
    destroy_mutex(&soc->override_lock);
    destroy_memory_locks(soc);
    destroy_arl_locks(soc);
    if (soc->flags & SOC_F_ATTACHED) count_detach();
    soc_control[unit] = nullptr;
    sal_free(soc);
}

}  // namespace

const soc_functions_t *_soc_functions_find(const soc_driver_t *drv) {
    if (drv != nullptr && drv->type >= 0x1a && drv->type <= 0x24) return &soc_tarn_functions;
    soc_cm_print("_soc_functions_find: no functions for this chip\n");
    sal_assert("0", __FILE__, __LINE__);
    return nullptr;
}

int soc_tarn_attach(int unit) {
    if (unit < 0 || unit >= SOC_MAX_NUM_DEVICES) return SOC_E_UNIT;
    soc_control_t *soc = soc_control[unit];
    if (soc != nullptr) {
        // A detached switch unit starts over in its own record: its locks,
        // caches and counter state went at the detach, and a reader that
        // still holds the pointer never meets freed memory.
        if ((soc->flags & SOC_F_ATTACHED) || soc->chip_driver == nullptr) return SOC_E_EXISTS;
    } else {
        soc = static_cast<soc_control_t *>(sal_alloc(sizeof(soc_control_t), "soc_control"));
        if (soc == nullptr) return SOC_E_MEMORY;
    }
    std::memset(soc, 0, sizeof *soc);
    soc_phy_addr_map_clear(soc);
    soc_control[unit] = soc;

    // The CPU-port network controller keeps an empty record.
    if (soc_cm_get_dev_type(unit) & SOC_CM_CPU_NIC) {
        if (soc_cpu_nic_unit < 0) soc_cpu_nic_unit = unit;
        soc_cpu_nic_count++;
        return 0;
    }

    soc->chip_driver = unit_driver(unit);
    soc->chip_functions = soc->chip_driver ? _soc_functions_find(soc->chip_driver) : nullptr;
    if (soc->chip_functions == nullptr) {
        release_unit(unit);
        return SOC_E_INTERNAL;
    }
    soc->flags |= SOC_F_ATTACHED;
    soc_attached_count++;
    run_driver_hooks();

    soc_tarn_info_config(unit, soc);
    soc_feature_init(unit);
    if (!create_unit_state(unit, soc)) {
        soc_cm_debug_print(DK_ERR, "soc_tarn_attach: unit %d failed\n", unit);
        release_unit(unit);
        return SOC_E_MEMORY;
    }

    uint32_t type = soc_cm_get_dev_type(unit);
    if (type & SOC_CM_QNT) {
        soc_cm_print("PCI device %s attached as unit %d.\n", soc_cm_device_name(unit), unit);
    } else if (type & SOC_CM_TARN) {
        soc_cm_print("SPI device %s attached as unit %d.\n", soc_cm_device_name(unit), unit);
    }
    return 0;
}

int soc_detach(int unit) {
    if (unit < 0 || unit >= soc_cm_get_num_units()) return SOC_E_UNIT;
    soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr || !(soc->flags & SOC_F_ATTACHED)) return SOC_E_UNIT;

    sal_dpc_cancel(unit_owner(unit));
    soc_reset_init(unit);
    if (soc_cm_interrupt_disconnect(unit) < 0) {
        soc_cm_print("soc_detach: could not disconnect interrupt line\n");
        return SOC_E_INTERNAL;
    }
    soc_tarn_counter_detach(unit);
    destroy_mutex(&soc->miim_lock);
    destroy_mutex(&soc->override_lock);
    int level = sal_splhi();
    soc->flags &= ~SOC_F_ATTACHED;
    sal_spl(level);
    soc_arl_mode_set(unit, 0);
    destroy_arl_locks(soc);
    destroy_memory_locks(soc);
    count_detach();
    return 0;
}

void soc_host_forget_units(void) {
    // Without the chip accesses of a detach: the chip may be gone already.
    for (int unit = 0; unit < SOC_MAX_NUM_DEVICES; unit++) {
        if (soc_control[unit] == nullptr) continue;
        if (soc_control[unit]->flags & SOC_F_ATTACHED) {
            sal_dpc_cancel(unit_owner(unit));
            soc_arl_stop(unit);  // without the mode change's pause, which a test clock may hold
        }
        release_unit(unit);
    }
    soc_attached_count = 0;
    soc_cpu_nic_unit = -1;
    soc_cpu_nic_count = 0;
    driver_hooks_done = false;
    soc_cm_host_forget();
}
