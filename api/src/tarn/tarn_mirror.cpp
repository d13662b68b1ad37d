// Mirroring: one mirror-to port per unit and, per port, whether its received
// and transmitted traffic is copied there. The chip holds the port bitmaps;
// the unit's record keeps the API mode and the chosen mirror-to port.
#include "drv_mirror.h"
#include "tarn_internal.h"

namespace {

constexpr int kPortLimit = 53;
constexpr uint32_t kMirrorable = 0xc400c1f;
constexpr uint32_t kCpuPort = 0x60;
constexpr uint32_t kFlagEnable = 0x1, kFlagIngress = 0x2, kFlagEgress = 0x4, kFlagUnsupported = 0x8;
constexpr int kModeOff = 0, kModeL2 = 1, kModeL3 = 2;

struct MirrorInfo {
    int initialised;
    int mode;     // -1 before init
    int to_port;  // -1 while none is chosen
    int spare;
};

MirrorInfo mirror_info[SOC_MAX_NUM_DEVICES];

void trace(const char *op) {
    soc_cm_debug_print(tarn::kDebugApi, "DXP API : %s()..\n", op);
}

int unit_entry(const char *op, int unit) {
    trace(op);
    return soc_unit_attached(unit) ? DXP_E_NONE : DXP_E_UNIT;
}

uint32_t port_word(int unit, int port) {
    return port >= 0 && port < kPortLimit ? SOC_CONTROL(unit)->port_type[port] : 0;
}

bool mirrorable(int unit, int port) {
    return (port_word(unit, port) & kMirrorable) != 0;
}

struct DrvMirror {
    uint32_t enable = 0;
    int port = -1;
    soc_pbmp_t ingress{};
    soc_pbmp_t egress{};
};

int read_state(int unit, DrvMirror *m) {
    return tarn::services(unit)->mirror_get(unit, &m->enable, &m->port, &m->ingress, &m->egress);
}

int write_state(int unit, const DrvMirror &m) {
    return tarn::services(unit)->mirror_set(unit, m.enable, m.port, m.ingress, m.egress);
}

// Ingress (true) or egress bitmap of the chip's state.
soc_pbmp_t &direction(DrvMirror &m, bool ingress) {
    return ingress ? m.ingress : m.egress;
}

int direction_set(const char *op, int unit, int port, int enable, bool ingress) {
    if (int rv = unit_entry(op, unit); rv < 0) return rv;
    if (!mirrorable(unit, port)) return DXP_E_PORT;
    if (!mirror_info[unit].initialised) return DXP_E_INIT;
    DrvMirror m;
    if (int rv = read_state(unit, &m); rv < 0) return rv;
    soc_pbmp_t &bits = direction(m, ingress);
    if (soc_pbmp_member(bits, port) == (enable != 0)) return DXP_E_NONE;
    if (enable) {
        soc_pbmp_port_add(&bits, port);
    } else {
        soc_pbmp_port_remove(&bits, port);
    }
    int rv = write_state(unit, m);
    return rv < 0 ? rv : DXP_E_NONE;
}

int direction_get(const char *op, int unit, int port, int *enable, bool ingress) {
    if (int rv = unit_entry(op, unit); rv < 0) return rv;
    if (!mirrorable(unit, port)) return DXP_E_PORT;
    if (!mirror_info[unit].initialised) return DXP_E_INIT;
    DrvMirror m;
    if (int rv = read_state(unit, &m); rv < 0) return rv;
    *enable = soc_pbmp_member(direction(m, ingress), port) ? 1 : 0;
    return DXP_E_NONE;
}

// Ports that mirror_port_set and _get accept.
int port_check(int unit, int port) {
    uint32_t word = port_word(unit, port);
    return word != 0 && !(word & kCpuPort) ? DXP_E_NONE : DXP_E_PORT;
}

int trace_unavailable(const char *text) {
    soc_cm_debug_print(tarn::kDebugApi, "%s", text);
    return DXP_E_UNAVAIL;
}

}  // namespace

void dxp_tarn_mirror_forget(int unit) {
    if (unit >= 0 && unit < SOC_MAX_NUM_DEVICES) mirror_info[unit] = MirrorInfo{};
}

int dxp_tarn_mirror_init(int unit) {
    if (int rv = unit_entry("dxp_tarn_mirror_init", unit); rv < 0) return rv;
    mirror_info[unit] = MirrorInfo{1, -1, -1, 0};
    return dxp_mirror_mode_set(unit, kModeOff);
}

int dxp_tarn_mirror_mode_set(int unit, int mode) {
    if (int rv = unit_entry("dxp_tarn_mirror_mode_set", unit); rv < 0) return rv;
    MirrorInfo &info = mirror_info[unit];
    DrvMirror m;
    if (int rv = read_state(unit, &m); rv < 0) return rv;
    if (mode == kModeL3) {
        soc_cm_debug_print(tarn::kDebugErr, "No L3 mirror mode for Tarn!\n");
        return DXP_E_UNAVAIL;
    }
    if (mode != kModeOff && mode != kModeL2) return DXP_E_PARAM;
    if ((m.enable != 0) == (mode == kModeL2) && m.port == info.to_port) {
        info.mode = mode;
        return DXP_E_NONE;
    }
    if (mode == kModeOff) {
        // The chip keeps the chosen mirror-to port; with none chosen it holds
        // none.
        m.enable = 0;
        m.port = info.to_port;
        m.ingress = soc_pbmp_t{};
        m.egress = soc_pbmp_t{};
    } else {
        if (info.to_port < 0) {
            info.mode = mode;
            return DXP_E_NONE;
        }
        m.enable = 1;
        m.port = info.to_port;
    }
    if (int rv = write_state(unit, m); rv < 0) return rv;
    info.mode = mode;
    return DXP_E_NONE;
}

int dxp_tarn_mirror_mode_get(int unit, int *mode) {
    if (int rv = unit_entry("dxp_tarn_mirror_mode_get", unit); rv < 0) return rv;
    *mode = mirror_info[unit].mode < 0 ? 0 : mirror_info[unit].mode;
    return DXP_E_NONE;
}

int dxp_tarn_mirror_to_set(int unit, int port) {
    if (int rv = unit_entry("dxp_tarn_mirror_to_set", unit); rv < 0) return rv;
    if (port_word(unit, port) == 0) return DXP_E_PORT;
    mirror_info[unit].to_port = port;
    return dxp_mirror_mode_set(unit, mirror_info[unit].mode);
}

int dxp_tarn_mirror_to_get(int unit, int *port) {
    if (int rv = unit_entry("dxp_tarn_mirror_to_get", unit); rv < 0) return rv;
    *port = mirror_info[unit].to_port;
    return DXP_E_NONE;
}

int dxp_tarn_mirror_ingress_set(int unit, int port, int enable) {
    return direction_set("dxp_tarn_mirror_ingress_set", unit, port, enable, true);
}

int dxp_tarn_mirror_egress_set(int unit, int port, int enable) {
    return direction_set("dxp_tarn_mirror_egress_set", unit, port, enable, false);
}

int dxp_tarn_mirror_ingress_get(int unit, int port, int *enable) {
    return direction_get("dxp_tarn_mirror_ingress_get", unit, port, enable, true);
}

int dxp_tarn_mirror_egress_get(int unit, int port, int *enable) {
    return direction_get("dxp_tarn_mirror_egress_get", unit, port, enable, false);
}

int dxp_tarn_mirror_port_set(int unit, int port, int dest_mod, int dest_port, uint32_t flags) {
    if (int rv = unit_entry("dxp_tarn_mirror_port_set", unit); rv < 0) return rv;
    if (int rv = port_check(unit, port); rv < 0) return rv;
    if (dest_mod != 0) return DXP_E_PARAM;
    if (!mirror_info[unit].initialised) return DXP_E_INIT;
    if (!(flags & (kFlagEnable | kFlagIngress | kFlagEgress))) {
        if (int rv = dxp_mirror_ingress_set(unit, port, 0); rv < 0) return rv;
        return dxp_mirror_egress_set(unit, port, 0);
    }
    if (flags & kFlagUnsupported) return DXP_E_PARAM;
    if (port_word(unit, dest_port) == 0) return DXP_E_PORT;
    if (int rv = dxp_mirror_to_set(unit, dest_port); rv < 0) return rv;
    if (int rv = dxp_mirror_ingress_set(unit, port, (flags & kFlagIngress) ? 1 : 0); rv < 0)
        return rv;
    return dxp_mirror_egress_set(unit, port, (flags & kFlagEgress) ? 1 : 0);
}

int dxp_tarn_mirror_port_get(int unit, int port, int *dest_mod, int *dest_port, uint32_t *flags) {
    if (int rv = unit_entry("dxp_tarn_mirror_port_get", unit); rv < 0) return rv;
    if (int rv = port_check(unit, port); rv < 0) return rv;
    int in = 0, out = 0;
    if (int rv = dxp_mirror_ingress_get(unit, port, &in); rv < 0) return rv;
    if (int rv = dxp_mirror_egress_get(unit, port, &out); rv < 0) return rv;
    *flags = (in ? kFlagIngress : 0) | (out ? kFlagEgress : 0);
    if (in || out) {
        *flags |= kFlagEnable;
        *dest_mod = 0;
        return dxp_mirror_to_get(unit, dest_port);
    }
    return DXP_E_NONE;
}

int dxp_tarn_mirror_pfmt_set(int, int) {
    return trace_unavailable("DXP API : dxp_tarn_mirror_pfmt_set()..unavailable\n");
}
int dxp_tarn_mirror_pfmt_get(int, int *) {
    return trace_unavailable("DXP API : dxp_tarn_mirror_pfmt_get()..unavailable\n");
}
int dxp_tarn_mirror_to_pbmp_set(int, int, dxp_pbmp_t) {
    return trace_unavailable("DXP API : dxp_tarn_mirror_to_pbmp_set()..unavailable\n");
}
int dxp_tarn_mirror_to_pbmp_get(int, int, dxp_pbmp_t *) {
    return trace_unavailable("DXP API : dxp_tarn_mirror_to_pbmp_get()..unavailable\n");
}
