// The serial management pins as the board's NVRAM names them.
#include <cstdio>
#include <cstring>

#include "pvk.h"
#include "sal.h"
#include "tarn_bus.h"

namespace {

constexpr int kGpioVariables = 16;

// 1 << n for the first "gpio<n>" variable holding the pin's name, else the default.
uint16_t pin_mask(const char *pin_name, uint16_t default_mask) {
    for (int n = 0; n < kGpioVariables; n++) {
        char name[16];
        std::snprintf(name, sizeof name, "gpio%d", n);
        const char *value = pvk_getvar(nullptr, name);
        if (value != nullptr && std::strcmp(value, pin_name) == 0)
            return static_cast<uint16_t>(1u << n);
    }
    return default_mask;
}

}  // namespace

adm_pins_t *adm_pins_attach(sb_t *sbh) {
    auto *pins = static_cast<adm_pins_t *>(sal_alloc(sizeof(adm_pins_t), "adm_pins"));
    if (pins == nullptr) return nullptr;
    pins->sbh = sbh;
    pins->eecs = pin_mask("adm_eecs", 4);
    pins->eesk = pin_mask("adm_eesk", 8);
    pins->eedi = pin_mask("adm_eedi", 16);
    return pins;
}

void adm_pins_detach(adm_pins_t *pins) {
    if (pins != nullptr) sal_free(pins);
}
