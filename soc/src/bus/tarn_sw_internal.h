// Shared by the framings of the switch access handle.
#pragma once

#include "sal.h"
#include "sb.h"
#include "tarn_bus.h"

namespace tarn_bus {

// One transaction on a handle: holds the handle's lock and has the GPIO core
// selected; the core selected before is restored at the end.
class Transaction {
  public:
    explicit Transaction(tarn_sw_t *sw) : sw_(sw) {
        sal_mutex_take(sw->lock, sal_mutex_FOREVER);
        sw->saved_core = sb_coreidx(sw->sbh);
        sb_setcore_gpio(sw->sbh);
        sw->out_levels = sb_gpioout(sw->sbh, 0, 0);
    }
    ~Transaction() {
        sb_setcoreidx(sw_->sbh, sw_->saved_core);
        sal_mutex_give(sw_->lock);
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

  private:
    tarn_sw_t *sw_;
};

// Level driven on an output pin.
enum class Level { Low, High };
inline Level level_of(bool bit) {
    return bit ? Level::High : Level::Low;
}

// Within a transaction the handle alone drives its pins, so a step that
// leaves a pin where it is (data-out low before each received bit) is no edge
// and needs no write.
inline void pin_set(tarn_sw_t *sw, uint32_t mask, Level level) {
    uint32_t want = level == Level::High ? mask : 0;
    if ((sw->out_levels & mask) == want) return;
    sw->out_levels = sb_gpioout(sw->sbh, mask, want);
}

inline bool data_in(tarn_sw_t *sw) {
    return (sb_gpioin(sw->sbh) & sw->din) != 0;
}

inline bool length_ok(const void *buf, int len) {
    return buf != nullptr && len >= 1 && len <= 8;
}

}  // namespace tarn_bus
