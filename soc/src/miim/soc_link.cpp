// What the software link scan tells the chip layer about link state.
#include "sal.h"
#include "soc_miim.h"
#include "soc_error.h"

namespace {}  // namespace

int soc_link_fwd_hw_set(int) {
    return 0;
}

int soc_link_fwd_set(int unit, soc_pbmp_t fwd) {
    soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr) return SOC_E_UNIT;
    s->link_fwd = fwd;
    return soc_link_fwd_hw_set(unit);
}

int soc_link_bitmap1_set(int unit, soc_pbmp_t bmp) {
    soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr) return SOC_E_UNIT;
    s->link_bitmap1 = bmp;
    return 0;
}

int soc_link_bitmap2_set(int unit, soc_pbmp_t bmp) {
    soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr) return SOC_E_UNIT;
    s->link_bitmap2 = bmp;
    return 0;
}

int soc_linkscan_handler_register(int unit, soc_link_handler_t handler) {
    soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr) return SOC_E_UNIT;
    if (handler != nullptr && s->link_handler != nullptr) return SOC_E_EXISTS;
    s->link_handler = handler;
    return 0;
}

void soc_linkscan_hw_pause(int) {}

void soc_linkscan_hw_continue(int) {}

int soc_linkscan_hw_config(int, soc_pbmp_t) {
    return 0;
}
