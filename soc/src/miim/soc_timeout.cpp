// The polling time-out of the chip layer's wait loops.
#include "sal.h"
#include "soc_miim.h"

void soc_timeout_init(soc_timeout_t *to, int usec, int min_polls) {
    to->expire = 0;
    to->usec = usec;
    to->min_polls = min_polls;
    to->polls = 1;
    to->exp_delay = 1;
}

int soc_timeout_check(soc_timeout_t *to) {
    if (to->min_polls >= 0) {
        if (++to->polls < to->min_polls) return 0;
        // Fast polling is over: from now on the clock decides.
        to->min_polls = -1;
        to->expire = sal_time_usecs() + static_cast<uint32_t>(to->usec);
        to->exp_delay = 1;
        return 0;
    }
    to->polls++;
    if (static_cast<int32_t>(sal_time_usecs() - to->expire) >= 0) return 1;
    sal_usleep(static_cast<uint32_t>(to->exp_delay));
    int cap = to->usec / 10;
    to->exp_delay = to->exp_delay * 2 > cap ? cap : to->exp_delay * 2;
    return 0;
}

int soc_timeout_elapsed(soc_timeout_t *to) {
    return static_cast<int>(sal_time_usecs() - (to->expire - static_cast<uint32_t>(to->usec)));
}
