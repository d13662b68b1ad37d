// Port operations that tie a port to forwarding: untagged VLAN and priority,
// spanning-tree state, discard and learning modes, egress mask, trunk,
// double tagging, protocol VLANs, DSCP mapping and rate limits.
#include "drv_queue.h"
#include "drv_rate.h"
#include "dxp_tarn.h"
#include "soc_property.h"
#include "tarn_internal.h"

namespace {

using tarn::port_entry;
using tarn::services;

// Port database words.
constexpr int kDbLearnCopy = 3;
constexpr int kDbDiscard = 4;
constexpr int kDbLearnMode = 13;
constexpr int kDbMember = 14;    // two words
constexpr int kDbUntagged = 16;  // two words
constexpr int kDbVlan = 18;

constexpr dxp_vlan_t kNoVlan = 0xFFF;  // also the largest VLAN id
constexpr int kPriorities = 8;
constexpr uint32_t kLearnCopy = 0x2;
constexpr uint16_t kInnerTpid = 0x8100;
constexpr uint32_t kDevPropRatePbmp = 10;
constexpr uint32_t kMemProtocolVlan = 0x1000A;
constexpr uint32_t kFieldVid = 0x10001, kFieldValid = 0x10007, kFieldEtherType = 0x10014;
constexpr uint32_t kInsertFlags = 0x1000;
constexpr int kFeatureDscp = 236;
// The DSCP mode classifies by DSCP through the map that dscp_map_set fills;
// the ToS-precedence selection would read the separate, unfilled ToS map.
constexpr uint32_t kMappingDscp = DRV_QUEUE_MAP_DFSV;
constexpr int kDscpMax = 63;

uint32_t *db(int unit, int port) {
    return dxp_tarn_port_db(unit, port);
}

int prop_set(int unit, int port, uint32_t type, uint32_t value) {
    return services(unit)->port_set(unit, tarn::port_bitmap(port), type, value);
}
int prop_get(int unit, int port, uint32_t type, uint32_t *value) {
    return services(unit)->port_get(unit, port, type, value);
}

soc_pbmp_t rate_ports(int unit) {
    uint32_t w[2] = {0, 0};
    if (services(unit)->dev_prop_get(unit, kDevPropRatePbmp, w) < 0) return soc_pbmp_t{};
    return soc_pbmp_t{{w[0], w[1]}};
}

int rate_set(const char *op, int unit, int port, uint32_t direction, uint32_t kbits,
             uint32_t burst) {
    if (int rv = port_entry(op, unit, port); rv < 0) return rv;
    const soc_pbmp_t capable = rate_ports(unit);
    if (!soc_pbmp_member(capable, port)) return DXP_E_PARAM;
    const soc_pbmp_t b = tarn::port_bitmap(port);
    return services(unit)->rate_set(unit, b.w[0] & capable.w[0], b.w[1] & capable.w[1], direction,
                                    kbits, burst);
}

int rate_get(const char *op, int unit, int port, uint32_t direction, uint32_t *kbits,
             uint32_t *burst) {
    if (int rv = port_entry(op, unit, port); rv < 0) return rv;
    if (!soc_pbmp_member(rate_ports(unit), port)) return DXP_E_PARAM;
    return services(unit)->rate_get(unit, port, direction, kbits, burst);
}

// Learn mode codes kept in the port database and the learning service's codes.
int learn_service_code(uint32_t mode) {
    switch (mode) {
        case 0:
            return 1;
        case 2:
            return 2;
        case 5:
            return 3;
        default:
            return DXP_E_UNAVAIL;
    }
}

soc_pbmp_t e_ports(int unit) {
    return SOC_CONTROL(unit)->e.bitmap;
}

// Port -1 stands for every Ethernet port; another port must be valid.
int dscp_port_check(const char *op, int unit, int port) {
    return port == -1 ? tarn::port_entry_no_port(op, unit) : port_entry(op, unit, port);
}

}  // namespace

// ---------------------------------------------------------------- untagged VLAN and priority
int dxp_tarn_port_untagged_vlan_get(int unit, int port, dxp_vlan_t *vid) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (vid != nullptr) *vid = static_cast<dxp_vlan_t>(db(unit, port)[kDbVlan] & 0xffff);
    return DXP_E_NONE;
}

int dxp_tarn_port_untagged_vlan_set(int unit, int port, dxp_vlan_t vid) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    // A wider id would spill into the priority bits of the port's tag.
    if (vid > kNoVlan) return DXP_E_PARAM;
    dxp_pbmp_t member{}, untagged{};
    if (vid != kNoVlan) {
        if (int rv = dxp_vlan_port_get(unit, vid, &member, &untagged); rv < 0) return rv;
    }
    uint32_t current = 0, prio = 0;
    if (int rv = services(unit)->port_vlan_pvid_get(unit, port, &current, &prio); rv < 0) return rv;
    if (current == vid) return DXP_E_NONE;
    if (int rv = services(unit)->port_vlan_pvid_set(unit, port, vid, prio); rv < 0) return rv;
    uint32_t *rec = db(unit, port);
    rec[kDbVlan] = vid;
    rec[kDbMember] = member.w[0];
    rec[kDbMember + 1] = member.w[1];
    rec[kDbUntagged] = untagged.w[0];
    rec[kDbUntagged + 1] = untagged.w[1];
    return DXP_E_NONE;
}

int dxp_tarn_port_untagged_priority_set(int unit, int port, int priority) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (priority < 0 || priority >= kPriorities) return DXP_E_PARAM;
    uint32_t vid = 0, prio = 0;
    if (int rv = services(unit)->port_vlan_pvid_get(unit, port, &vid, &prio); rv < 0) return rv;
    if (prio == static_cast<uint32_t>(priority)) return DXP_E_NONE;
    if (int rv =
            services(unit)->port_vlan_pvid_set(unit, port, vid, static_cast<uint32_t>(priority));
        rv < 0)
        return rv;
    db(unit, port)[kDbVlan] = vid;
    return DXP_E_NONE;
}

int dxp_tarn_port_untagged_priority_get(int unit, int port, int *priority) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (priority == nullptr) return DXP_E_NONE;
    uint32_t vid = 0, prio = 0;
    if (int rv = services(unit)->port_vlan_pvid_get(unit, port, &vid, &prio); rv < 0) return rv;
    *priority = static_cast<int>(prio);
    return DXP_E_NONE;
}

// ---------------------------------------------------------------- spanning tree
int dxp_tarn_port_stp_set(int unit, int port, int stp_state) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    dxp_vlan_data *list = nullptr;
    int count = 0;
    dxp_pbmp_t b{};
    dxp_pbmp_port_add(&b, port);
    if (int rv = dxp_vlan_list_by_pbmp(unit, b, &list, &count); rv < 0) return rv;
    int walk = DXP_E_NONE;
    for (int i = 0; i < count && walk >= 0; i++)
        walk = dxp_vlan_stp_set(unit, list[i].vlan_tag, port, stp_state);
    if (int rv = dxp_vlan_list_destroy(unit, list, count); rv < 0) return rv;
    return walk;
}

int dxp_tarn_port_stp_get(int unit, int port, int *stp_state) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    int stg = 0;
    if (int rv = dxp_stg_default_get(unit, &stg); rv < 0) return rv;
    return dxp_stg_stp_get(unit, stg, port, stp_state);
}

// ---------------------------------------------------------------- discard
int dxp_tarn_port_discard_get(int unit, int port, int *mode) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (mode == nullptr) return DXP_E_PARAM;
    *mode = static_cast<int>(db(unit, port)[kDbDiscard]);
    return DXP_E_NONE;
}

int dxp_tarn_port_discard_set(int unit, int port, int mode) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    uint32_t *rec = db(unit, port);
    if (rec[kDbDiscard] == static_cast<uint32_t>(mode)) return DXP_E_NONE;
    // Receive on, and whether untagged frames are dropped, by mode.
    static constexpr struct {
        uint32_t rx;
        uint32_t drop_untagged;
    } kModes[] = {{1, 0}, {0, 1}, {1, 1}};
    if (mode == 3) return DXP_E_UNAVAIL;
    if (mode < 0 || mode > 2) return DXP_E_PARAM;
    // A disabled port's receiver stays off whatever the mode.
    uint32_t enabled = 1;
    if (prop_get(unit, port, PROP_ENABLE, &enabled) < 0) enabled = 1;
    if (int rv = prop_set(unit, port, PROP_ENABLE_RX, kModes[mode].rx && enabled != 0); rv < 0)
        return rv;
    if (int rv = prop_set(unit, port, PROP_ENABLE_DROP_NON1Q, kModes[mode].drop_untagged); rv < 0)
        return rv;
    rec[kDbDiscard] = static_cast<uint32_t>(mode);
    return DXP_E_NONE;
}

int tarn::discard_rx_keep(int unit, int port) {
    if (db(unit, port)[kDbDiscard] != 1) return DXP_E_NONE;
    return prop_set(unit, port, PROP_ENABLE_RX, 0);
}

// ---------------------------------------------------------------- learning
int dxp_tarn_port_learn_set(int unit, int port, uint32_t flags) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (flags <= 3) return DXP_E_UNAVAIL;
    uint32_t *rec = db(unit, port);
    // The record changes only once the chip took the new mode.
    uint32_t mode = rec[kDbLearnMode];
    if (flags == 4) mode = 2;
    if (flags == 5 || flags == 7) mode = 0;
    if (flags == 6) mode = 5;
    const int code = learn_service_code(mode);
    if (code < 0) return code;
    if (int rv = services(unit)->arl_learn_enable_set(unit, tarn::port_bitmap(port),
                                                      static_cast<uint32_t>(code));
        rv < 0)
        return rv;
    rec[kDbLearnCopy] = (flags & kLearnCopy) != 0;
    rec[kDbLearnMode] = mode;
    return DXP_E_NONE;
}

int dxp_tarn_port_learn_get(int unit, int port, uint32_t *flags) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (flags == nullptr) return DXP_E_PARAM;
    const uint32_t *rec = db(unit, port);
    static constexpr uint32_t kByMode[] = {5, 2, 4, 0, 7, 6};
    const uint32_t mode = rec[kDbLearnMode];
    if (mode == 0) {
        *flags = rec[kDbLearnCopy] ? 7 : 5;
    } else {
        *flags = mode < 6 ? kByMode[mode] : UINT32_MAX;
    }
    return DXP_E_NONE;
}

int dxp_tarn_port_learn_modify(int unit, int port, uint32_t add, uint32_t remove) {
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    uint32_t flags = 0;
    if (int rv = dxp_port_learn_get(unit, port, &flags); rv < 0) return rv;
    return dxp_port_learn_set(unit, port, (flags | add) & ~remove);
}

// ---------------------------------------------------------------- egress, trunk, BPDU
int dxp_tarn_port_egress_set(int unit, int port, dxp_pbmp_t pbmp) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    const soc_pbmp_t all = SOC_CONTROL(unit)->all.bitmap;
    return pbmp.w[0] == all.w[0] && pbmp.w[1] == all.w[1] ? DXP_E_NONE : DXP_E_UNAVAIL;
}

int dxp_tarn_port_egress_get(int unit, int port, dxp_pbmp_t *pbmp) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (pbmp == nullptr) return DXP_E_PARAM;
    *pbmp = tarn::to_dxp(SOC_CONTROL(unit)->all.bitmap);
    return DXP_E_NONE;
}

int dxp_tarn_port_tgid_get(int unit, int port, int *tid, int *psc) {
    soc_cm_debug_print(tarn::kDebugPort, "DXP API : %s()..\n", __func__);
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    if (port < 0 || port >= SOC_MAX_NUM_PORTS) return DXP_E_PORT;
    if (tid == nullptr || psc == nullptr) return DXP_E_PARAM;
    dxp_trunk_chip_info info{};
    if (int rv = dxp_trunk_chip_info_get(unit, &info); rv < 0) return rv;
    for (int id = info.trunk_id_min; id <= info.trunk_id_max; id++) {
        soc_pbmp_t members{};
        uint32_t hash = 0;
        if (int rv = services(unit)->trunk_get(unit, id, &members, 4, &hash); rv < 0) return rv;
        if (!soc_pbmp_member(members, port)) continue;
        soc_cm_debug_print(tarn::kDebugPort, "dxp_tarn_port_tgid_get():port in tgid=%d", id);
        *tid = id;
        return dxp_trunk_psc_get(unit, id, psc);
    }
    *tid = -1;
    *psc = 0;
    return DXP_E_NONE;
}

int dxp_tarn_port_bpdu_enable_get(int unit, int port, int *enable) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (enable == nullptr) return DXP_E_PARAM;
    uint32_t v = 0;
    if (int rv = prop_get(unit, port, PROP_BPDU_RX, &v); rv < 0) return rv;
    *enable = static_cast<int>(v);
    return DXP_E_NONE;
}

int dxp_tarn_port_bpdu_enable_set(int, int, int) {
    return DXP_E_UNAVAIL;
}

// ---------------------------------------------------------------- double tagging
int dxp_tarn_port_dtag_mode_set(int unit, int port, int mode) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (mode < 0 || mode > 2) return DXP_E_PARAM;
    // A chip without the port's ISP flag refuses before the unit-wide switch
    // is turned; a flag that fails to set turns the switch back.
    uint32_t was_on = 0, isp = 0;
    if (int rv = prop_get(unit, port, PROP_DTAG_MODE, &was_on); rv < 0) return rv;
    if (mode != 0) {
        if (int rv = prop_get(unit, port, PROP_DTAG_ISP_PORT, &isp); rv < 0) return rv;
    }
    // The double-tag switch is unit-wide: an empty bitmap.
    const uint32_t on = mode != 0;
    if (int rv = services(unit)->port_set(unit, soc_pbmp_t{}, PROP_DTAG_MODE, on); rv < 0)
        return rv;
    if (mode == 0) return DXP_E_NONE;
    int rv = prop_set(unit, port, PROP_DTAG_ISP_PORT, mode == 1);
    if (rv < 0) services(unit)->port_set(unit, soc_pbmp_t{}, PROP_DTAG_MODE, was_on);
    return rv;
}

int dxp_tarn_port_dtag_mode_get(int unit, int port, int *mode) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (mode == nullptr) return DXP_E_PARAM;
    uint32_t on = 0, isp = 0;
    if (int rv = prop_get(unit, port, PROP_DTAG_MODE, &on); rv < 0) return rv;
    if (on == 0) {
        *mode = 0;
        return DXP_E_NONE;
    }
    if (int rv = prop_get(unit, port, PROP_DTAG_ISP_PORT, &isp); rv < 0) return rv;
    *mode = isp ? 1 : 2;
    return DXP_E_NONE;
}

int dxp_tarn_port_tpid_set(int unit, int port, uint16_t tpid) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    return prop_set(unit, port, PROP_DTAG_TPID, tpid);
}

int dxp_tarn_port_tpid_get(int unit, int port, uint16_t *tpid) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (tpid == nullptr) return DXP_E_PARAM;
    uint32_t v = 0;
    if (int rv = prop_get(unit, port, PROP_DTAG_TPID, &v); rv < 0) return rv;
    *tpid = static_cast<uint16_t>(v);
    return DXP_E_NONE;
}

int dxp_tarn_port_inner_tpid_get(int unit, int port, uint16_t *tpid) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (tpid == nullptr) return DXP_E_PARAM;
    *tpid = kInnerTpid;
    return DXP_E_NONE;
}

int dxp_tarn_port_vlan_member_set(int unit, int port, uint32_t flags) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    return prop_set(unit, port, PROP_INGRESS_VLAN_CHK, flags);
}

int dxp_tarn_port_vlan_member_get(int unit, int port, uint32_t *flags) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (flags == nullptr) return DXP_E_PARAM;
    return prop_get(unit, port, PROP_INGRESS_VLAN_CHK, flags);
}

// ---------------------------------------------------------------- protocol VLANs
int dxp_tarn_port_protocol_vlan_add(int unit, int port, uint32_t, uint16_t ether, dxp_vlan_t vid) {
    soc_cm_debug_print(DK_VLAN, "DXP API : %s()\n", __func__);
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    const drv_if_t *svc = services(unit);
    uint32_t entry[8] = {};
    uint32_t valid = 1, type = ether, vlan = vid;
    if (int rv = svc->mem_field_set(unit, kMemProtocolVlan, kFieldValid, entry, &valid); rv < 0)
        return rv;
    if (int rv = svc->mem_field_set(unit, kMemProtocolVlan, kFieldEtherType, entry, &type); rv < 0)
        return rv;
    if (int rv = svc->mem_field_set(unit, kMemProtocolVlan, kFieldVid, entry, &vlan); rv < 0)
        return rv;
    return svc->mem_insert(unit, kMemProtocolVlan, entry, kInsertFlags);
}

int dxp_tarn_port_protocol_vlan_delete(int unit, int port, uint32_t, uint16_t ether) {
    soc_cm_debug_print(DK_VLAN, "DXP API : %s()\n", __func__);
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    uint32_t entry[8] = {};
    uint32_t type = ether;
    if (int rv =
            services(unit)->mem_field_set(unit, kMemProtocolVlan, kFieldEtherType, entry, &type);
        rv < 0)
        return rv;
    return services(unit)->mem_delete(unit, kMemProtocolVlan, entry, 0);
}

int dxp_tarn_port_protocol_vlan_delete_all(int unit, int port) {
    soc_cm_debug_print(DK_VLAN, "DXP API : %s()\n", __func__);
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    return services(unit)->mem_clear(unit, kMemProtocolVlan);
}

// ---------------------------------------------------------------- rates
int dxp_tarn_port_rate_egress_set(int unit, int port, uint32_t kbits_sec, uint32_t kbits_burst) {
    return rate_set(__func__, unit, port, DRV_RATE_EGRESS, kbits_sec, kbits_burst);
}
int dxp_tarn_port_rate_ingress_set(int unit, int port, uint32_t kbits_sec, uint32_t kbits_burst) {
    return rate_set(__func__, unit, port, DRV_RATE_INGRESS, kbits_sec, kbits_burst);
}
int dxp_tarn_port_rate_egress_get(int unit, int port, uint32_t *kbits_sec, uint32_t *kbits_burst) {
    return rate_get(__func__, unit, port, DRV_RATE_EGRESS, kbits_sec, kbits_burst);
}
int dxp_tarn_port_rate_ingress_get(int unit, int port, uint32_t *kbits_sec, uint32_t *kbits_burst) {
    return rate_get(__func__, unit, port, DRV_RATE_INGRESS, kbits_sec, kbits_burst);
}

// ---------------------------------------------------------------- DSCP mapping
int dxp_tarn_port_dscp_map_mode_set(int unit, int port, int mode) {
    if (int rv = dscp_port_check(__func__, unit, port); rv < 0) return rv;
    soc_pbmp_t ports = e_ports(unit);
    if (port != -1) {
        if (!soc_pbmp_member(ports, port)) return DXP_E_NONE;
        ports = tarn::port_bitmap(port);
    }
    if (mode == 1) return DXP_E_NONE;
    if (mode != 0 && mode != 2) return DXP_E_PARAM;
    return services(unit)->queue_mapping_type_set(unit, ports, kMappingDscp, mode == 2);
}

int dxp_tarn_port_dscp_map_mode_get(int unit, int port, int *mode) {
    if (int rv = dscp_port_check(__func__, unit, port); rv < 0) return rv;
    if (mode == nullptr) return DXP_E_PARAM;
    const soc_pbmp_t ports = e_ports(unit);
    if (port == -1) {
        for (port = 0; port < 64 && !soc_pbmp_member(ports, port); port++) {
        }
    }
    if (!soc_pbmp_member(ports, port)) return DXP_E_NONE;
    uint8_t on = 0;
    if (int rv = services(unit)->queue_mapping_type_get(unit, port, kMappingDscp, &on); rv < 0)
        return rv;
    *mode = on ? 2 : 0;
    return DXP_E_NONE;
}

int dxp_tarn_port_dscp_map_set(int unit, int port, int srccp, int mapcp, int prio) {
    if (int rv = dscp_port_check(__func__, unit, port); rv < 0) return rv;
    if (port != -1 && !soc_pbmp_member(e_ports(unit), port)) return DXP_E_PORT;
    if (srccp < -1 || srccp > kDscpMax || mapcp < -1 || mapcp > kDscpMax) return DXP_E_PARAM;
    if (!soc_feature(unit, kFeatureDscp)) return DXP_E_NONE;
    if (srccp != mapcp) return DXP_E_PARAM;
    if (srccp == -1) {
        const soc_pbmp_t ports = port == -1 ? e_ports(unit) : tarn::port_bitmap(port);
        return services(unit)->queue_mapping_type_set(unit, ports, kMappingDscp, 0);
    }
    if (prio < 0) {
        if (int rv = dxp_port_untagged_priority_get(unit, port, &prio); rv < 0) return rv;
    }
    uint8_t queue = 0;
    if (int rv = services(unit)->queue_prio_get(unit, static_cast<uint8_t>(prio), &queue); rv < 0)
        return rv;
    return services(unit)->queue_dfsv_set(unit, static_cast<uint8_t>(srccp), queue);
}

int dxp_tarn_port_dscp_map_get(int unit, int port, int srccp, int *mapcp, int *prio) {
    soc_cm_debug_print(tarn::kDebugPort, "DXP API : %s()..\n", __func__);
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    if (port != -1) return DXP_E_PORT;
    if (srccp < 0 || srccp > kDscpMax + 1 || mapcp == nullptr || prio == nullptr)
        return DXP_E_PARAM;
    if (!soc_feature(unit, kFeatureDscp)) return DXP_E_UNAVAIL;
    uint8_t queue = 0;
    if (int rv = services(unit)->queue_dfsv_get(unit, static_cast<uint8_t>(srccp), &queue); rv < 0)
        return rv;
    *prio = kPriorities;
    for (int p = 0; p < kPriorities; p++) {
        uint8_t q = 0;
        if (int rv = services(unit)->queue_prio_get(unit, static_cast<uint8_t>(p), &q); rv < 0)
            return rv;
        if (q == queue) {
            *prio = p;
            break;
        }
    }
    *mapcp = srccp;
    return DXP_E_NONE;
}
