// Actions, meters and counters of a CFP row.
#include "cfp_internal.h"
#include "soc_cm.h"

namespace {

constexpr uint32_t kDest63 = 63;
constexpr uint32_t kDest62 = 62;
constexpr uint32_t kDestMax = 63;  // NEW_DEST_IB/OB are 6 bits
constexpr uint32_t kPriMax = 3;    // PRI_MAP_IB/OB are 2 bits
constexpr uint32_t kRateMin = 64;
constexpr uint32_t kRateMax = 1048576;
constexpr uint32_t kBurstMin = 64;
constexpr uint32_t kBurstMax = 131072;
constexpr uint32_t kBurstCodes = 12;

// The fields of one group (in-band or out-of-band) of the action word.
struct Group {
    uint32_t redirect, add_change, new_dest, upd_pri, pri_map;
};
constexpr Group kIb = {DRV_CFP_FIELD_REDIRECT_IB, DRV_CFP_FIELD_ADD_CHANGE_DEST_IB,
                       DRV_CFP_FIELD_NEW_DEST_IB, DRV_CFP_FIELD_CHANGE_PRI_IB,
                       DRV_CFP_FIELD_NEW_PRI_IB};
constexpr Group kOb = {DRV_CFP_FIELD_REDIRECT_OB, DRV_CFP_FIELD_ADD_CHANGE_DEST_OB,
                       DRV_CFP_FIELD_NEW_DEST_OB, DRV_CFP_FIELD_CHANGE_PRI_OB,
                       DRV_CFP_FIELD_NEW_PRI_OB};

// Served actions: 1-7 in band, 14-20 out of band. Gives the group and the
// in-band action number.
bool split_action(uint32_t action, const Group **group, uint32_t *base) {
    if (action >= DRV_CFP_ACT_IB_NONE && action <= DRV_CFP_ACT_IB_REDIRECT) {
        *group = &kIb;
        *base = action;
        return true;
    }
    if (action >= DRV_CFP_ACT_OB_NONE && action <= DRV_CFP_ACT_OB_REDIRECT) {
        *group = &kOb;
        *base = action - DRV_CFP_ACT_OB_OFFSET;
        return true;
    }
    return false;
}

uint32_t get(int unit, drv_cfp_entry_t *entry, uint32_t field) {
    uint32_t v = 0;
    drv_cfp_field_get(unit, DRV_CFP_RAM_ACT, field, entry, &v);
    return v;
}

void set(int unit, drv_cfp_entry_t *entry, uint32_t field, uint32_t value) {
    drv_cfp_field_set(unit, DRV_CFP_RAM_ACT, field, entry, &value);
}

uint32_t meter_get(int unit, drv_cfp_entry_t *entry, uint32_t field) {
    uint32_t v = 0;
    drv_cfp_field_get(unit, DRV_CFP_RAM_METER, field, entry, &v);
    return v;
}

void meter_set(int unit, drv_cfp_entry_t *entry, uint32_t field, uint32_t value) {
    drv_cfp_field_set(unit, DRV_CFP_RAM_METER, field, entry, &value);
}

uint32_t port_in(int unit, uint32_t port) {
    return cfp::port_shifted(unit) ? port + cfp::kPortShift : port;
}
uint32_t port_out(int unit, uint32_t port) {
    return cfp::port_shifted(unit) ? port - cfp::kPortShift : port;
}

}  // namespace

int drv_cfp_action_set(int unit, uint32_t action, drv_cfp_entry_t *entry, uint32_t act_param) {
    SAL_ASSERT(entry);
    if (entry == nullptr) return SOC_E_PARAM;
    const Group *g;
    uint32_t base;
    if (!split_action(action, &g, &base)) return SOC_E_PARAM;
    // A port or priority the action word cannot hold would be cut to another
    // one: refuse it before anything changes.
    const bool to_port = base == DRV_CFP_ACT_IB_REDIRECT_ADD || base == DRV_CFP_ACT_IB_REDIRECT;
    if ((to_port && port_in(unit, act_param) > kDestMax) ||
        (base == DRV_CFP_ACT_IB_PRI && act_param > kPriMax))
        return SOC_E_PARAM;
    switch (base) {
        case DRV_CFP_ACT_IB_NONE:
            set(unit, entry, g->redirect, 0);
            break;
        case DRV_CFP_ACT_IB_REDIRECT_ADD:
            set(unit, entry, g->redirect, 1);
            set(unit, entry, g->add_change, 1);
            set(unit, entry, g->new_dest, port_in(unit, act_param));
            break;
        case DRV_CFP_ACT_IB_PRI:
            set(unit, entry, g->upd_pri, 1);
            set(unit, entry, g->pri_map, act_param);
            break;
        case DRV_CFP_ACT_IB_PRI_CANCEL:
            set(unit, entry, g->upd_pri, 0);
            break;
        case DRV_CFP_ACT_IB_DEST_63:
        case DRV_CFP_ACT_IB_DEST_62:
            set(unit, entry, g->redirect, 1);
            set(unit, entry, g->add_change, 0);
            set(unit, entry, g->new_dest, base == DRV_CFP_ACT_IB_DEST_63 ? kDest63 : kDest62);
            break;
        default:  // DRV_CFP_ACT_IB_REDIRECT
            set(unit, entry, g->redirect, 1);
            set(unit, entry, g->add_change, 0);
            set(unit, entry, g->new_dest, port_in(unit, act_param));
            break;
    }
    return SOC_E_NONE;
}

int drv_cfp_action_get(int unit, uint32_t *action, drv_cfp_entry_t *entry, uint32_t *act_param) {
    SAL_ASSERT(action);
    SAL_ASSERT(entry);
    SAL_ASSERT(act_param);
    if (action == nullptr || entry == nullptr || act_param == nullptr) return SOC_E_PARAM;
    const Group *g;
    uint32_t base;
    if (!split_action(*action, &g, &base)) return SOC_E_PARAM;
    const uint32_t ob = g == &kOb ? DRV_CFP_ACT_OB_OFFSET : 0;
    uint32_t result;
    if (base == DRV_CFP_ACT_IB_PRI || base == DRV_CFP_ACT_IB_PRI_CANCEL) {
        if (get(unit, entry, g->upd_pri) == 0) {
            result = DRV_CFP_ACT_IB_PRI_CANCEL;
        } else {
            result = DRV_CFP_ACT_IB_PRI;
            *act_param = get(unit, entry, g->pri_map);
        }
    } else if (get(unit, entry, g->redirect) == 0) {
        result = DRV_CFP_ACT_IB_NONE;
    } else {
        uint32_t dest = get(unit, entry, g->new_dest);
        if (get(unit, entry, g->add_change) == 1) {
            result = DRV_CFP_ACT_IB_REDIRECT_ADD;
        } else if (dest == kDest62) {
            result = DRV_CFP_ACT_IB_DEST_62;
        } else if (dest == kDest63) {
            result = DRV_CFP_ACT_IB_DEST_63;
        } else {
            result = DRV_CFP_ACT_IB_REDIRECT;
        }
        if (result == DRV_CFP_ACT_IB_REDIRECT_ADD || result == DRV_CFP_ACT_IB_REDIRECT)
            *act_param = port_out(unit, dest);
    }
    *action = result + ob;
    return SOC_E_NONE;
}

uint32_t _drv_cfp_meter_rate2chip(uint32_t kbits_sec) {
    if (kbits_sec <= 1792) return kbits_sec / 64;
    if (kbits_sec <= 102400) return kbits_sec / 1024 + 27;
    return kbits_sec / 8192 + 115;
}

uint32_t _drv_cfp_meter_chip2rate(uint32_t code) {
    if (code >= 128) return code * 8192 - 942080;
    if (code >= 29) return code * 1024 - 27648;
    return code * 64;
}

uint32_t _drv_cfp_meter_burst2chip(uint32_t kbits_burst) {
    for (uint32_t k = 0; k < kBurstCodes; k++) {
        if (kbits_burst >= (kBurstMax >> k)) return k;
    }
    return kBurstCodes - 1;
}

uint32_t _drv_cfp_meter_chip2burst(uint32_t code) {
    return kBurstMax >> code;
}

// An unsupported rate or burst is refused before anything changes, so that
// no truncated rate code or arbitrary burst code reaches the entry.
int drv_cfp_meter_set(int unit, drv_cfp_entry_t *entry, uint32_t kbits_sec, uint32_t kbits_burst) {
    SAL_ASSERT(entry);
    if (entry == nullptr) return SOC_E_PARAM;
    int rv = SOC_E_NONE;
    if (kbits_sec != 0 && (kbits_sec < kRateMin || kbits_sec > kRateMax)) {
        soc_cm_debug_print(cfp::kError, "drv_cfp_meter_set : rate unsupported. \n");
        rv = SOC_E_PARAM;
    }
    if (kbits_burst != 0 && (kbits_burst < kBurstMin || kbits_burst > kBurstMax)) {
        soc_cm_debug_print(cfp::kError, "drv_cfp_meter_set : burst size unsupported. \n");
        rv = SOC_E_PARAM;
    }
    if (rv < 0) return rv;
    if (kbits_sec != 0) {
        meter_set(unit, entry, DRV_CFP_FIELD_TOKEN_NUM, _drv_cfp_meter_rate2chip(kbits_sec));
        meter_set(unit, entry, DRV_CFP_FIELD_RATE_REFRESH_EN, 1);
    } else {
        meter_set(unit, entry, DRV_CFP_FIELD_RATE_REFRESH_EN, 0);
    }
    if (kbits_burst != 0)
        meter_set(unit, entry, DRV_CFP_FIELD_REF_CAP, _drv_cfp_meter_burst2chip(kbits_burst));
    return SOC_E_NONE;
}

int drv_cfp_meter_get(int unit, drv_cfp_entry_t *entry, uint32_t *kbits_sec,
                      uint32_t *kbits_burst) {
    SAL_ASSERT(entry);
    SAL_ASSERT(kbits_sec);
    SAL_ASSERT(kbits_burst);
    if (entry == nullptr || kbits_sec == nullptr || kbits_burst == nullptr) return SOC_E_PARAM;
    *kbits_sec = meter_get(unit, entry, DRV_CFP_FIELD_RATE_REFRESH_EN) == 0
                     ? 0
                     : _drv_cfp_meter_chip2rate(meter_get(unit, entry, DRV_CFP_FIELD_TOKEN_NUM));
    *kbits_burst = _drv_cfp_meter_chip2burst(meter_get(unit, entry, DRV_CFP_FIELD_REF_CAP));
    return SOC_E_NONE;
}

// Counter failures are passed on: a timed-out read leaves no counter to report.
int drv_cfp_stat_get(int unit, uint32_t stat_type, uint32_t index, uint32_t *counter) {
    SAL_ASSERT(counter);
    if (counter == nullptr || index >= static_cast<uint32_t>(DRV_CFP_ROWS)) return SOC_E_PARAM;
    switch (stat_type) {
        case DRV_CFP_STAT_IB:
            return _drv_cfp_stat_read(unit, DRV_CFP_RAM_STAT_IB, index, counter);
        case DRV_CFP_STAT_OB:
            return _drv_cfp_stat_read(unit, DRV_CFP_RAM_STAT_OB, index, counter);
        case DRV_CFP_STAT_ALL: {
            uint32_t ib = 0, ob = 0;
            if (int rv = _drv_cfp_stat_read(unit, DRV_CFP_RAM_STAT_IB, index, &ib); rv < 0)
                return rv;
            if (int rv = _drv_cfp_stat_read(unit, DRV_CFP_RAM_STAT_OB, index, &ob); rv < 0)
                return rv;
            *counter = ib + ob;
            return SOC_E_NONE;
        }
        default:
            return SOC_E_PARAM;
    }
}

int drv_cfp_stat_set(int unit, uint32_t stat_type, uint32_t index, uint32_t counter) {
    if (index >= static_cast<uint32_t>(DRV_CFP_ROWS)) return SOC_E_PARAM;
    switch (stat_type) {
        case DRV_CFP_STAT_IB:
            return _drv_cfp_stat_write(unit, DRV_CFP_RAM_STAT_IB, index, counter);
        case DRV_CFP_STAT_OB:
            return _drv_cfp_stat_write(unit, DRV_CFP_RAM_STAT_OB, index, counter);
        case DRV_CFP_STAT_ALL:
            if (int rv = _drv_cfp_stat_write(unit, DRV_CFP_RAM_STAT_IB, index, counter); rv < 0)
                return rv;
            return _drv_cfp_stat_write(unit, DRV_CFP_RAM_STAT_OB, index, counter);
        default:
            return SOC_E_PARAM;
    }
}
