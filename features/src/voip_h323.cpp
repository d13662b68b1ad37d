// H.323 snooping.
#include "voip_internal.h"

int h225_rx(const uint8_t *, int) {
    return -1;
}

int h245_rx(const uint8_t *, int) {
    return -1;
}

bool h323_is_h245_port(uint16_t) {
    return false;
}

void h323_calls_clear(void) {}
