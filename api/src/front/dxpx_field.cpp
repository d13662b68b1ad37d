// Field-processor rules installed alike on every registered unit.
#include "dxpx.h"
#include "dxpx_internal.h"

int dxpx_field_group_create_id(dxp_field_qset_t qset, int pri, int group) {
    return dxpx_each_unit([=](int u) { return dxp_field_group_create_id(u, qset, pri, group); });
}

int dxpx_field_entry_create_id(int group, int *entry) {
    if (entry == nullptr) return DXP_E_PARAM;
    bool created = false;
    int rv = dxpx_each_unit([&](int u) {
        if (created) return dxp_field_entry_create_id(u, group, *entry);
        int r = dxp_field_entry_create(u, group, entry);
        created = r == DXP_E_NONE;
        return r;
    });
    // Without a unit that made the entry there is no id to hand back.
    if (!created && rv == DXP_E_NONE) return DXP_E_UNAVAIL;
    return rv;
}

#define DXPX_FIELD_ENTRY_OP(op)                                                       \
    int dxpx_field_entry_##op(int entry) {                                            \
        return dxpx_each_unit([=](int u) { return dxp_field_entry_##op(u, entry); }); \
    }
DXPX_FIELD_ENTRY_OP(install)
DXPX_FIELD_ENTRY_OP(reinstall)
DXPX_FIELD_ENTRY_OP(remove)
DXPX_FIELD_ENTRY_OP(destroy)

int dxpx_field_entry_prio_set(int entry, int prio) {
    return dxpx_each_unit([=](int u) { return dxp_field_entry_prio_set(u, entry, prio); });
}

#define DXPX_FIELD_QUALIFY(qual, type)                                              \
    int dxpx_field_qualify_##qual(int entry, type data, type mask) {                \
        return dxpx_each_unit(                                                      \
            [=](int u) { return dxp_field_qualify_##qual(u, entry, data, mask); }); \
    }
DXPX_FIELD_QUALIFY(EtherType, uint16_t)
DXPX_FIELD_QUALIFY(IpProtocol, uint8_t)
DXPX_FIELD_QUALIFY(SrcIp, dxp_ip_t)
DXPX_FIELD_QUALIFY(DstIp, dxp_ip_t)
DXPX_FIELD_QUALIFY(L4SrcPort, uint32_t)
DXPX_FIELD_QUALIFY(L4DstPort, uint32_t)

int dxpx_field_action_add(int entry, int action, uint32_t param0, uint32_t param1) {
    if (action != dxpFieldActionRedirectPort)
        return dxpx_each_unit(
            [=](int u) { return dxp_field_action_add(u, entry, action, param0, param1); });
    // The destination is a logical port; the units take it as module and port.
    int unit, port, modid;
    int lport = static_cast<int>(param1);
    int rv = dxpx_lport_to_unit_port(lport, &unit, &port);
    if (rv == DXP_E_NONE) rv = dxpx_lport_modid_get(lport, &modid);
    if (rv < 0) return rv;
    return dxpx_each_unit([=](int u) {
        return dxp_field_action_add(u, entry, action, static_cast<uint32_t>(modid),
                                    static_cast<uint32_t>(port));
    });
}
