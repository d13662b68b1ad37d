// The monitor port of port mirroring: the switch's answer while a port is
// mirrored, else the port chosen last.
#include "mirrormgr.h"

#include <atomic>
#include <cstdint>

#include "board.h"
#include "dxpx.h"

namespace {

std::atomic<int> chosen_uport{0};

// The monitor port the switch reports for its mirrored ports; 0 when none.
int switch_monitor() {
    for (int n = 1; n <= board_num_uports; n++) {
        int lport = 0, mtp = DXPX_LPORT_NONE, uport = 0;
        uint32_t flags = 0;
        if (ulpm_to_lport(n, &lport) != 0 || dxpx_mirror_port_get(lport, &mtp, &flags) != 0)
            continue;
        if ((flags & 0x1) != 0 && mtp >= 0 && ulpm_to_uport(mtp, &uport) == 0) return uport;
    }
    return 0;
}

}  // namespace

void mirrormgr_monitor_set(int uport) {
    chosen_uport = uport >= 1 && uport <= board_num_uports ? uport : 0;
}

int mirrormgr_monitor_get(void) {
    const int uport = switch_monitor();
    return uport != 0 ? uport : chosen_uport.load();
}
