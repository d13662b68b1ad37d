// H.323 calls are not followed yet: the copies of their call signalling
// (which the signalling rules already raise to the voice priority) are
// consumed without effect, and no H.245 port is known.
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
