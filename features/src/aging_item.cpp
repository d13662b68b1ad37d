// The "aging" settings item: the address table's aging time in seconds as
// one 32-bit word, 0 when aging is off.
#include "dxpx.h"
#include "l2mgr.h"
#include "logger.h"
#include "serialize.h"

namespace {

constexpr uint32_t kVersion = 0x88740001;

int save(settings_medium *m) {
    int seconds = 0;
    if (dxpx_l2_age_timer_get(&seconds) != 0) return -1;
    return medium_write_u32(m, static_cast<uint32_t>(seconds)) == 0 ? 4 : -1;
}

int load(settings_medium *m) {
    uint32_t seconds = 0;
    if (medium_read_u32(m, &seconds) != 0) return -1;
    if (int rv = dxpx_l2_age_timer_set(static_cast<int>(seconds)); rv != 0) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_AGING, "Aging settings: %u seconds: %s", seconds,
                      dxp_errmsg(rv));
    }
    return 4;
}

int check(settings_medium *m) {
    return settings_check_record_size(m, kVersion, 4);
}

}  // namespace

int l2mgr_aging_item(int op, settings_medium *m) {
    return settings_item_dispatch(op, m, load, save, kVersion, check);
}
