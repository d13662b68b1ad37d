// Port manager: one link word per user port, read from the ports at start and
// kept from the link changes after.
#include "portmgr.h"

#include <array>
#include <atomic>
#include <new>

#include "board.h"
#include "dxpx.h"
#include "log_gate.h"
#include "logger.h"
#include "sal.h"

namespace {
// Written by the link-scan thread, read by any thread one word at a time.
// kUnknown until the port's state was read or a change came in.
constexpr int kUnknown = -1;
std::atomic<int> *link_status = nullptr;
int link_count = 0;
// A host that pulls its cable or resets its NIC again and again makes
// changes as fast as the link scan sees them: each port's lines pass a gate
// of their own, so one flapping port does not hide another's change.
constexpr uint32_t kLinkLinesPerBurst = 4;
std::array<log_gate, BOARD_MAX_UPORTS + 1> link_log = [] {
    std::array<log_gate, BOARD_MAX_UPORTS + 1> gates{};
    for (log_gate &g : gates)
        g.burst = kLinkLinesPerBurst;
    return gates;
}();

// A link that came up before the handler was registered sends no change, so
// the words start from the ports' real state. A change delivered meanwhile
// is newer than the state read here and wins.
void link_status_seed(void) {
    for (int uport = 1; uport < link_count; uport++) {
        int lport = 0, up = 0;
        if (ulpm_to_lport(uport, &lport) != SOC_E_NONE ||
            dxpx_port_link_status_get(lport, &up) != 0)
            up = 0;
        int expected = kUnknown;
        link_status[uport].compare_exchange_strong(expected, up ? 1 : 0);
    }
}
}  // namespace

int portmgr_init(void) {
    if (link_status == nullptr) {
        link_count = board_num_uports + 1;
        void *mem =
            sal_alloc(sizeof(std::atomic<int>) * static_cast<size_t>(link_count), "PORT MGR");
        if (mem == nullptr) {
            logger_puts(LOG_LEVEL_ERROR, LOG_MOD_PORT, "Alloc link_status failed!");
            return SOC_E_FAIL;
        }
        link_status = new (mem) std::atomic<int>[static_cast<size_t>(link_count)]();
    }
    dxpx_linkscan_unregister(portmgr_link_change);  // a second init registers once
    for (int uport = 0; uport < link_count; uport++)
        link_status[uport].store(kUnknown);
    if (dxpx_linkscan_register(portmgr_link_change) != 0) {
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_PORT, "Register linkscan callback failed!");
        return SOC_E_FAIL;
    }
    link_status_seed();
    return SOC_E_NONE;
}

void portmgr_link_change(int lport, dxp_port_info *info) {
    int uport = 0;
    if (ulpm_to_uport(lport, &uport) != SOC_E_NONE || uport >= link_count) return;
    log_gate &gate = link_log[static_cast<size_t>(uport)];
    if (info->linkstatus == 0) {
        log_gate_printf(&gate, log_source_port(uport), LOG_LEVEL_INFO, LOG_MOD_PORT,
                        "QSW:  Link change DOWN, port %d.\n", uport);
    } else {
        log_gate_printf(&gate, log_source_port(uport), LOG_LEVEL_INFO, LOG_MOD_PORT,
                        "QSW:  Link change UP, port %d, %dMb %s.\n", uport, info->speed,
                        info->duplex ? "Full Duplex" : "Half Duplex");
    }
    link_status[uport].store(info->linkstatus);
}

int portmgr_link_get(int uport, int *link) {
    if (link_status == nullptr || uport < 1 || uport > board_num_uports || uport >= link_count)
        return SOC_E_FAIL;
    *link = link_status[uport].load() == 1 ? 1 : 0;
    return SOC_E_NONE;
}
