// The "mirror" settings item (24 bytes, 32-bit words): the mode (0 off, 1
// on), the monitor user port (0 none), then the ingress and the egress port
// sets, each as two words of 32 ports (bit n - 1 = user port n).
#include "board.h"
#include "dxp.h"
#include "dxp_error.h"
#include "dxpx.h"
#include "logger.h"
#include "mirror_item.h"
#include "mirrormgr.h"
#include "port_reserve.h"
#include "settings.h"

namespace {

constexpr uint32_t kVersion = 0x88740001;
constexpr int kWords = 6;
constexpr int kMaskPorts = 64;

struct Record {
    uint32_t mode, mtp;
    uint64_t ingress, egress;
};

uint64_t bit_of(int uport) {
    return uport <= kMaskPorts ? uint64_t{1} << (uport - 1) : 0;
}

// The first port under self-test that the record mirrors into or out of, or
// 0. Mirroring is one setting of the chip, mode and mirror-to port shared
// by every port: such a record waits whole for a load after the test.
int held_port(const Record &r) {
    if (r.mode == 0) return 0;
    if (r.mtp >= 1 && r.mtp <= static_cast<uint32_t>(board_num_uports) &&
        uport_under_test(static_cast<int>(r.mtp)))
        return static_cast<int>(r.mtp);
    for (int n = 1; n <= board_num_uports; n++) {
        if (((r.ingress | r.egress) & bit_of(n)) != 0 && uport_under_test(n)) return n;
    }
    return 0;
}

int save(settings_medium *m) {
    Record r{};
    int mode = 0;
    if (dxpx_mirror_mode_get(&mode) == 0 && mode != 0) r.mode = 1;
    r.mtp = static_cast<uint32_t>(mirrormgr_monitor_get());
    DxpUnitLock api(DXPX_CPU_UNIT);  // one wait for it, not two per port
    for (int n = 1; n <= board_num_uports; n++) {
        int lport = 0, on = 0;
        if (ulpm_to_lport(n, &lport) != 0) continue;
        if (dxpx_mirror_ingress_get(lport, &on) == 0 && on != 0) r.ingress |= bit_of(n);
        on = 0;
        if (dxpx_mirror_egress_get(lport, &on) == 0 && on != 0) r.egress |= bit_of(n);
    }
    const uint32_t words[kWords] = {r.mode,
                                    r.mtp,
                                    static_cast<uint32_t>(r.ingress),
                                    static_cast<uint32_t>(r.ingress >> 32),
                                    static_cast<uint32_t>(r.egress),
                                    static_cast<uint32_t>(r.egress >> 32)};
    for (uint32_t w : words) {
        if (medium_write_u32(m, w) != 0) return -1;
    }
    return kWords * 4;
}

int load(settings_medium *m) {
    uint32_t w[kWords] = {};
    for (uint32_t &v : w) {
        if (medium_read_u32(m, &v) != 0) return -1;
    }
    const Record r{.mode = w[0],
                   .mtp = w[1],
                   .ingress = w[2] | uint64_t{w[3]} << 32,
                   .egress = w[4] | uint64_t{w[5]} << 32};
    PortReserveFreeze tests;  // the tests' ports stay as the load finds them
    if (int uport = held_port(r); uport != 0) {
        settings_load_skipped(LOG_MOD_MIRROR, "Mirroring: port %d: %s", uport,
                              uport_held_text(uport));
        return kWords * 4;
    }
    int mtp = 0;
    bool on = r.mode != 0;
    if (on && (r.mtp < 1 || r.mtp > static_cast<uint32_t>(board_num_uports) ||
               ulpm_to_lport(static_cast<int>(r.mtp), &mtp) != 0)) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_MIRROR, "Mirror settings: bad monitor port %u",
                      r.mtp);
        on = false;
    }
    // Kept for the page while no port is mirrored; factory settings (0) and
    // ports out of range forget the last one.
    mirrormgr_monitor_set(static_cast<int>(r.mtp));
    DxpUnitLock api(DXPX_CPU_UNIT);  // one wait for it, not one per port
    // Off is the state of a start: no mirror-to port in the chip either.
    if (int rv = on ? dxpx_mirror_mode_set(1) : dxpx_mirror_init(); rv != 0)
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_MIRROR, "Mirror settings: %s", dxp_errmsg(rv));
    for (int n = 1; n <= board_num_uports; n++) {
        int lport = 0;
        if (ulpm_to_lport(n, &lport) != 0) continue;
        uint32_t flags = 0;
        if (on) {
            flags = 0x1;
            if ((r.ingress & bit_of(n)) != 0) flags |= 0x2;
            if ((r.egress & bit_of(n)) != 0) flags |= 0x4;
        }
        dxpx_mirror_port_set(lport, on ? mtp : 0, flags);
    }
    return kWords * 4;
}

int check(settings_medium *m) {
    return settings_check_record_size(m, kVersion, kWords * 4);
}

}  // namespace

int mirror_item(int op, settings_medium *m) {
    return settings_item_dispatch(op, m, load, save, kVersion, check);
}
