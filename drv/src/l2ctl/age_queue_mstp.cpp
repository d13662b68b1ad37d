// Age timer, queue scheduling mode, multiple spanning trees and the packet
// CRC.
#include "drv_l2ctl.h"
#include "drv_mem.h"
#include "drv_reg_rmw.h"
#include "shr.h"
#include "soc_error.h"
#include "soc_property.h"

int drv_age_timer_set(int unit, uint32_t enable, uint32_t age_time) {
    soc_cm_debug_print(DK_API, "drv_age_timer_set: unit %d, %sable, age_time = %d\n", unit,
                       enable ? "en" : "dis", static_cast<int>(age_time));
    return drv_reg_field_write(unit, R_SPTAGT, 0, F_AGE_TIME, enable ? age_time : 0);
}

int drv_age_timer_get(int unit, uint32_t *enable, uint32_t *age_time) {
    DrvRegValue v(unit, R_SPTAGT);
    if (int rv = v.read(); rv < 0) return rv;
    uint32_t age = v.get(F_AGE_TIME);
    *enable = age != 0;
    *age_time = age;
    if (int rv = v.write(); rv < 0) return rv;
    soc_cm_debug_print(DK_API, "drv_age_timer_get: unit %d, %sable, age_time = %d\n", unit,
                       *enable ? "en" : "dis", static_cast<int>(age));
    return 0;
}

int drv_queue_mode_set(int unit, soc_pbmp_t bmp, uint32_t mode) {
    soc_cm_debug_print(DK_API, "drv_queue_mode_set: unit %d, bmp = %x, queue mode = %d\n", unit,
                       bmp.w[0], static_cast<int>(mode));
    if (mode != 1 && mode != 2) return SOC_E_UNAVAIL;
    if (int rv = drv_reg_field_write(unit, R_FCON_FLOWMIX, 0, F_MODE_HQ_PREEMPT, mode == 1); rv < 0)
        return rv;
    const uint32_t regs[] = {R_FCON_STRICT_HIQ_PRE_CTRL0, R_FCON_STRICT_HIQ_PRE_CTRL1,
                             R_FCON_STRICT_HIQ_PRE_CTRL2, R_FCON_STRICT_HIQ_PRE_CTRL3};
    int count = SOC_IS_DXP7101_FAMILY(unit) ? 4 : 2;
    for (int i = 0; i < count; i++) {
        if (SOC_REG_INFO(unit, regs[i]) == nullptr) continue;
        DrvRegValue v(unit, regs[i]);
        v.words()[0] = mode == 1 ? 0xffff : 0;
        v.write();
    }
    return 0;
}

int drv_queue_mode_get(int unit, int port, uint32_t *mode) {
    if (port < 0 || port >= SOC_MAX_NUM_PORTS) return SOC_E_PARAM;
    uint32_t strict;
    if (int rv = drv_reg_field_read(unit, R_FCON_FLOWMIX, 0, F_MODE_HQ_PREEMPT, &strict); rv < 0)
        return rv;
    *mode = strict ? 1 : 2;
    soc_cm_debug_print(DK_API, "drv_queue_mode_get: unit %d, port = %d, queue mode = %d\n", unit,
                       port, static_cast<int>(*mode));
    return 0;
}

int drv_mst_enable_set(int unit, uint32_t enable) {
    return drv_reg_field_write(unit, R_MST_CON, 0, F_EN_802_1S, enable ? 1 : 0);
}

int drv_mst_enable_get(int unit, uint32_t *enable) {
    uint32_t v;
    if (int rv = drv_reg_field_read(unit, R_MST_CON, 0, F_EN_802_1S, &v); rv < 0) return rv;
    *enable = v ? 1 : 0;
    return 0;
}

namespace {

constexpr int kVlanMax = 4095;
constexpr int kEntryWords = 6;

uint32_t mstp_instances(int unit) {
    uint32_t n[2] = {0, 0};
    DRV_SERVICES(unit)->dev_prop_get(unit, 6, n);
    return n[0];
}

bool has_mstp(int unit) {
    return soc_feature(unit, soc_feature_mstp);
}

}  // namespace

int drv_mstp_config_set(int unit, uint32_t vlan_id, uint32_t mstp_gid) {
    soc_cm_debug_print(0x1000000, "drv_mstp_config_set : unit %d, vlan = %d, STP id = %d \n", unit,
                       static_cast<int>(vlan_id), static_cast<int>(mstp_gid));
    if (vlan_id > kVlanMax) return SOC_E_PARAM;
    if (!has_mstp(unit)) return mstp_gid > 1 ? SOC_E_PARAM : 0;
    if (mstp_gid > mstp_instances(unit)) return SOC_E_PARAM;
    if (int rv = drv_mst_enable_set(unit, 1); rv < 0) return rv;
    const drv_if_t *s = DRV_SERVICES(unit);
    uint32_t entry[kEntryWords] = {};
    if (int rv = s->mem_read(unit, DRV_MEM_VLAN, vlan_id, 1, entry); rv < 0) return rv;
    uint32_t gid[2] = {mstp_gid, 0};
    if (int rv = s->mem_field_set(unit, DRV_MEM_VLAN, DRV_MEM_FIELD_SPT_GROUP_ID, entry, gid);
        rv < 0)
        return rv;
    return s->mem_write(unit, DRV_MEM_VLAN, vlan_id, 1, entry);
}

int drv_mstp_config_get(int unit, uint32_t vlan_id, uint32_t *mstp_gid) {
    if (vlan_id > kVlanMax) return SOC_E_PARAM;
    uint32_t enabled = 0;
    if (has_mstp(unit)) {
        if (int rv = drv_mst_enable_get(unit, &enabled); rv < 0) return rv;
    }
    if (!enabled) {
        *mstp_gid = 1;
    } else {
        const drv_if_t *s = DRV_SERVICES(unit);
        uint32_t entry[kEntryWords] = {};
        if (int rv = s->mem_read(unit, DRV_MEM_VLAN, vlan_id, 1, entry); rv < 0) return rv;
        uint32_t gid[2] = {0, 0};
        if (int rv = s->mem_field_get(unit, DRV_MEM_VLAN, DRV_MEM_FIELD_SPT_GROUP_ID, entry, gid);
            rv < 0)
            return rv;
        *mstp_gid = gid[0];
    }
    soc_cm_debug_print(0x1000000, "drv_mstp_config_get : unit %d, vlan = %d, STP id = %d \n", unit,
                       static_cast<int>(vlan_id), static_cast<int>(*mstp_gid));
    return 0;
}

namespace {

bool gigabit(int unit, int port) {
    return soc_pbmp_member(SOC_CONTROL(unit)->ge.bitmap, port);
}

// The port's register state field without multiple spanning trees.
int port_state_reg(int unit, int port, uint32_t *reg, uint32_t *field) {
    if (!SOC_PORT_VALID(unit, port)) return SOC_E_PORT;
    *reg = gigabit(unit, port) ? R_G_PCTL : R_TH_PCTL;
    *field = gigabit(unit, port) ? F_G_MISTP_STATE : F_MISTP_STATE;
    return 0;
}

int mstp_entry(int unit, uint32_t gid, uint32_t *entry) {
    uint32_t n = mstp_instances(unit);
    if (n == 0 || gid > n) return SOC_E_PARAM;
    return DRV_SERVICES(unit)->mem_read(unit, DRV_MEM_MSTP, gid % n, 1, entry);
}

}  // namespace

int drv_mstp_port_set(int unit, uint32_t mstp_gid, int port, uint32_t port_state) {
    if (!has_mstp(unit)) {
        if (mstp_gid > 1) return SOC_E_PARAM;
        uint32_t state;
        switch (port_state) {
            case 1:
            case 2:
            case 4:
            case 5:
                state = port_state;
                break;
            case 3:
                state = 4;
                break;
            default:
                return SOC_E_PARAM;
        }
        uint32_t reg, field;
        if (int rv = port_state_reg(unit, port, &reg, &field); rv < 0) return rv;
        return drv_reg_field_write(unit, reg, port, field, state);
    }
    static constexpr uint32_t kCode[] = {0, 0, 1, 2, 2, 3};  // by state 1-5
    if (port_state < 1 || port_state > 5) return SOC_E_PARAM;
    if (port < 0 || port >= 32) return SOC_E_PORT;
    uint32_t entry[kEntryWords] = {};
    if (int rv = mstp_entry(unit, mstp_gid, entry); rv < 0) return rv;
    int word = port >= 16 ? 1 : 0;
    int shift = 2 * (port % 16);
    entry[word] = (entry[word] & ~(3u << shift)) | kCode[port_state] << shift;
    uint32_t n = mstp_instances(unit);
    return DRV_SERVICES(unit)->mem_write(unit, DRV_MEM_MSTP, mstp_gid % n, 1, entry);
}

int drv_mstp_port_get(int unit, uint32_t mstp_gid, int port, uint32_t *port_state) {
    if (!has_mstp(unit)) {
        if (mstp_gid > 1) return SOC_E_PARAM;
        uint32_t reg, field, state;
        if (int rv = port_state_reg(unit, port, &reg, &field); rv < 0) return rv;
        if (int rv = drv_reg_field_read(unit, reg, port, field, &state); rv < 0) return rv;
        if (state != 1 && state != 2 && state != 4 && state != 5) return SOC_E_INTERNAL;
        *port_state = state;
    } else {
        static constexpr uint32_t kState[] = {1, 2, 4, 5};
        if (port < 0 || port >= 32) return SOC_E_PORT;
        uint32_t entry[kEntryWords] = {};
        if (int rv = mstp_entry(unit, mstp_gid, entry); rv < 0) return rv;
        *port_state = kState[(entry[port >= 16 ? 1 : 0] >> (2 * (port % 16))) & 3];
    }
    soc_cm_debug_print(0x1000000,
                       "drv_mstp_port_get : unit %d, STP id = %d, port = %d, state = %d\n", unit,
                       static_cast<int>(mstp_gid), port, static_cast<int>(*port_state));
    return 0;
}

uint32_t soc_pkt_crc32(const soc_pkt_block_t *blocks, int count, int skip_tag) {
    constexpr uint32_t kTagAt = 12;
    constexpr uint32_t kTagBytes = 6;
    // The bytes of the frame in order, the tag left out when asked.
    uint32_t crc = ~0u;
    uint32_t taken = 0;
    int pending_skip = 0;
    for (int b = 0; b < count; b++) {
        const uint8_t *p = blocks[b].data;
        for (uint32_t i = 0; i < blocks[b].len; i++) {
            if (pending_skip > 0) {
                pending_skip--;
                continue;
            }
            if (skip_tag && taken == kTagAt && p[i] == 0x88) {
                // Look at the next byte, which may start the next block.
                const uint8_t *next = nullptr;
                if (i + 1 < blocks[b].len)
                    next = &p[i + 1];
                else if (b + 1 < count && blocks[b + 1].len > 0)
                    next = blocks[b + 1].data;
                if (next != nullptr && *next == 0x74) {
                    pending_skip = kTagBytes - 1;
                    continue;
                }
            }
            crc = shr_crc32(crc, &p[i], 1);
            taken++;
        }
    }
    return ~crc;
}
