// Device init and destroy: install a device's host vector and attach what the
// device is (a switch unit or the CPU-port network controller), and the way
// back.
#include "soc.h"
#include "soc_pktio.h"
#include "soc_error.h"

namespace {

// Words 5 and 6, 7 or both 8 and 9, then 10-13, 18, 19 and 20.
bool vector_complete(const soc_cm_dev_vectors_t &v) {
    bool register_access = v.base_address != 0 || (v.read != nullptr && v.write != nullptr);
    return v.interrupt_connect != nullptr && v.interrupt_disconnect != nullptr && register_access &&
           v.pci_conf_read != nullptr && v.pci_conf_write != nullptr && v.salloc != nullptr &&
           v.sfree != nullptr && v.switch_reg_read != nullptr && v.switch_reg_write != nullptr &&
           v.interrupt_line != 0;
}

}  // namespace

int soc_cm_device_init(int dev, const soc_cm_dev_vectors_t *vectors) {
    if (!soc_cm_initialised()) return SOC_E_INIT;
    soc_cm_dev_t *d = soc_cm_dev(dev);
    if (d == nullptr) return SOC_E_UNIT;
    if (d->vectors.interrupt_connect != nullptr && d->vectors.init) return SOC_E_UNIT;
    if (vectors == nullptr || !vector_complete(*vectors)) return SOC_E_PARAM;
    d->vectors = *vectors;
    // Set after the copy so that it holds whatever the caller's word 0 says.
    d->vectors.init = 1;

    uint32_t type = d->info->dev_type;
    int rv = SOC_E_UNIT;
    if (type & SOC_CM_SWITCH) {
        if (type & SOC_CM_TARN) {
            rv = soc_tarn_attach(dev);
        } else {
            soc_cm_debug_print(DK_ERR, "ERROR: QNT devices should not be here !");
        }
    } else if (type & SOC_CM_CPU_NIC) {
        rv = soc_tarn_dma_attach(dev);
    }
    // A device whose attach failed may be initialised again.
    if (rv != 0) d->vectors.init = 0;
    return rv;
}

int soc_cm_device_destroy(int dev) {
    if (!soc_cm_initialised()) return SOC_E_INIT;
    soc_cm_dev_t *d = soc_cm_dev(dev);
    if (d == nullptr) return SOC_E_UNIT;
    soc_cm_print("soc_cm_device_destroy\n");
    uint32_t type = d->info->dev_type;
    int rv;
    if ((type & SOC_CM_SWITCH) && (type & SOC_CM_TARN)) {
        rv = soc_detach(dev);
    } else if (type & SOC_CM_CPU_NIC) {
        rv = soc_tarn_dma_detach(dev);
    } else {
        soc_cm_debug_print(DK_ERR, "ERROR: QNT devices should not be here !");
        rv = SOC_E_INTERNAL;
    }
    d->vectors.interrupt_connect = nullptr;
    return rv;
}
