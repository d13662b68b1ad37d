// Globals of the unit control records.
#include <atomic>

#include "soc_control.h"

soc_control_t *soc_control[SOC_MAX_NUM_DEVICES] = {};
int soc_attached_count = 0;
int soc_cpu_nic_unit = -1;
int soc_cpu_nic_count = 0;

namespace {
// Read by every register access on any thread; changed only by attach and
// detach.
std::atomic<sal_mutex_t> spi_mutex{nullptr};
}  // namespace

sal_mutex_t soc_spi_mutex(void) {
    return spi_mutex.load();
}

void soc_spi_mutex_set(sal_mutex_t m) {
    spi_mutex.store(m);
}

int soc_unit_attached(int unit) {
    return SOC_UNIT_VALID(unit) && (SOC_CONTROL(unit)->flags & SOC_F_ATTACHED) ? 1 : 0;
}
