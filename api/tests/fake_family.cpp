// The recording stand-in family.
#include "fake_family.h"

#include <map>
#include <mutex>
#include <sstream>

#include "dxp_tarn.h"

namespace fake {
namespace {

std::mutex mutex;
std::vector<std::string> recorded;
std::map<std::pair<std::string, int>, int> results;
dxp_linkscan_handler_t link_handlers[DXP_UNITS_MAX];
dxp_pbmp_t vlan_members[DXP_UNITS_MAX], vlan_untagged[DXP_UNITS_MAX];

void stream_args(std::ostringstream &) {}
template <typename T, typename... Rest>
void stream_args(std::ostringstream &out, T first, Rest... rest) {
    out << first;
    if constexpr (sizeof...(rest) > 0) out << ',';
    stream_args(out, rest...);
}

// Records op(args) and answers the result set for the unit.
template <typename... Args>
int call(const char *op, int unit, Args... args) {
    std::ostringstream text;
    text << op << '(' << unit;
    if constexpr (sizeof...(args) > 0) text << ',';
    stream_args(text, args...);
    text << ')';
    std::lock_guard<std::mutex> lock(mutex);
    recorded.push_back(text.str());
    auto it = results.find({op, unit});
    return it == results.end() ? 0 : it->second;
}

dxp_pbmp_t ports(int first, int last) {
    dxp_pbmp_t b{};
    for (int p = first; p <= last; p++)
        dxp_pbmp_port_add(&b, p);
    return b;
}

int attach(int unit, dxp_info_t *info) {
    *info = dxp_info_t{0x1234, 0x7101, 2, DXP_INFO_CAP_L3};
    return call("attach", unit);
}

int port_config_get(int unit, dxp_port_config_t *config) {
    *config = dxp_port_config_t{};
    config->fe = ports(0, CPU_PORT - 1);
    config->ge = ports(CPU_PORT + 1, PORTS - 1);
    config->cmic = ports(CPU_PORT, CPU_PORT);
    config->all = config->e = config->port = ports(0, PORTS - 1);
    return call("port_config_get", unit);
}

int port_speed_set(int unit, int port, int speed) {
    return call("port_speed_set", unit, port, speed);
}
int port_speed_get(int unit, int port, int *speed) {
    *speed = 1000;
    return call("port_speed_get", unit, port);
}
int port_dscp_map_set(int unit, int port, int srccp, int mapcp, int prio) {
    return call("port_dscp_map_set", unit, port, srccp, mapcp, prio);
}
int rate_bcast_get(int unit, int *rate, int *flags, int port) {
    *rate = 500;
    *flags |= DXP_RATE_BCAST;
    return call("rate_bcast_get", unit, port);
}
int stk_my_modid_get(int unit, int *modid) {
    *modid = unit;
    return DXP_E_NONE;
}
int linkscan_register(int unit, dxp_linkscan_handler_t handler) {
    std::lock_guard<std::mutex> lock(mutex);
    link_handlers[unit] = handler;
    return DXP_E_NONE;
}
int linkscan_unregister(int unit, dxp_linkscan_handler_t) {
    std::lock_guard<std::mutex> lock(mutex);
    link_handlers[unit] = nullptr;
    return DXP_E_NONE;
}
int rx_start(int unit, dxp_rx_cfg_t *) {
    return call("rx_start", unit);
}
int rx_register(int unit, const char *name, dxp_rx_cb_f, int priority, void *, uint32_t flags) {
    return call("rx_register", unit, name, priority, flags);
}
int rx_unregister(int unit, dxp_rx_cb_f, int priority) {
    return call("rx_unregister", unit, priority);
}
int switch_control_set(int unit, int type, int arg) {
    return call("switch_control_set", unit, type, arg);
}
int switch_control_get(int unit, int type, int *arg) {
    *arg = 0;
    return call("switch_control_get", unit, type);
}
int field_entry_create(int unit, int group, int *entry) {
    *entry = 77;
    return call("field_entry_create", unit, group);
}
int field_entry_create_id(int unit, int group, int entry) {
    return call("field_entry_create_id", unit, group, entry);
}
int field_entry_install(int unit, int entry) {
    return call("field_entry_install", unit, entry);
}
int field_action_add(int unit, int entry, int action, uint32_t p0, uint32_t p1) {
    return call("field_action_add", unit, entry, action, p0, p1);
}
int vlan_port_add(int unit, dxp_vlan_t vid, dxp_pbmp_t pbmp, dxp_pbmp_t ubmp) {
    return call("vlan_port_add", unit, vid, pbmp.w[0], pbmp.w[1], ubmp.w[0], ubmp.w[1]);
}
int vlan_port_get(int unit, dxp_vlan_t vid, dxp_pbmp_t *pbmp, dxp_pbmp_t *ubmp) {
    *pbmp = vlan_members[unit];
    *ubmp = vlan_untagged[unit];
    return call("vlan_port_get", unit, vid);
}
int vlan_default_get(int unit, dxp_vlan_t *vid) {
    *vid = 1;
    return call("vlan_default_get", unit);
}
int l2_addr_add(int unit, dxp_l2_addr *a) {
    return call("l2_addr_add", unit, a->port, a->modid, a->vid, a->flags);
}
int l2_addr_get(int unit, const dxp_mac_t, dxp_vlan_t vid, dxp_l2_addr *a) {
    *a = dxp_l2_addr{};
    a->vid = vid;
    a->port = 7;
    a->modid = unit;
    return call("l2_addr_get", unit, vid);
}
int trunk_set(int unit, int tid, dxp_trunk_add_info *info) {
    return call("trunk_set", unit, tid, info->num_ports, info->tp[0], info->tm[0]);
}
int mirror_port_set(int unit, int port, int modid, int mtp, uint32_t flags) {
    return call("mirror_port_set", unit, port, modid, mtp, flags);
}
int tx(int unit, dxp_pkt *pkt, void *) {
    return call("tx", unit, pkt->tx_pbmp.w[0], pkt->tx_pbmp.w[1], pkt->tx_upbmp.w[0]);
}
int init(int unit) {
    return call("init", unit);
}

dxp_dispatch_t build() {
    dxp_dispatch_t t{};
    t.family = "tarn";
    t.attach = attach;
    t.port_config_get = port_config_get;
    t.port_speed_set = port_speed_set;
    t.port_speed_get = port_speed_get;
    t.port_dscp_map_set = port_dscp_map_set;
    t.rate_bcast_get = rate_bcast_get;
    t.stk_my_modid_get = stk_my_modid_get;
    t.linkscan_register = linkscan_register;
    t.linkscan_unregister = linkscan_unregister;
    t.rx_start = rx_start;
    t.rx_register = rx_register;
    t.rx_unregister = rx_unregister;
    t.switch_control_set = switch_control_set;
    t.switch_control_get = switch_control_get;
    t.field_entry_create = field_entry_create;
    t.field_entry_create_id = field_entry_create_id;
    t.field_entry_install = field_entry_install;
    t.field_action_add = field_action_add;
    t.vlan_port_add = vlan_port_add;
    t.vlan_port_get = vlan_port_get;
    t.vlan_default_get = vlan_default_get;
    t.l2_addr_add = l2_addr_add;
    t.l2_addr_get = l2_addr_get;
    t.trunk_set = trunk_set;
    t.mirror_port_set = mirror_port_set;
    t.tx = tx;
    t.init = init;
    return t;
}

}  // namespace

dxp_dispatch_t table = build();

void reset() {
    std::lock_guard<std::mutex> lock(mutex);
    recorded.clear();
    results.clear();
    for (int u = 0; u < DXP_UNITS_MAX; u++) {
        link_handlers[u] = nullptr;
        vlan_members[u] = vlan_untagged[u] = dxp_pbmp_t{};
    }
}

void set_result(const std::string &op, int unit, int rv) {
    std::lock_guard<std::mutex> lock(mutex);
    results[{op, unit}] = rv;
}

std::vector<std::string> calls(const std::string &op) {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<std::string> out;
    for (const std::string &c : recorded)
        if (op.empty() || c.compare(0, op.size() + 1, op + "(") == 0) out.push_back(c);
    return out;
}

dxp_linkscan_handler_t link_handler(int unit) {
    std::lock_guard<std::mutex> lock(mutex);
    return link_handlers[unit];
}

void set_vlan_ports(int unit, dxp_pbmp_t members, dxp_pbmp_t untagged) {
    std::lock_guard<std::mutex> lock(mutex);
    vlan_members[unit] = members;
    vlan_untagged[unit] = untagged;
}

}  // namespace fake

void FakeFamilyTest::SetUp() {
    fake::reset();
    ASSERT_EQ(dxp_dispatch_register(&fake::table), DXP_E_NONE);
}

void FakeFamilyTest::TearDown() {
    for (int unit = 0; unit < DXP_UNITS_MAX; unit++) {
        dxpx_unit_unregister(unit);
        if (dxp_attach_check(unit) == DXP_E_NONE) dxp_detach(unit);
    }
    dxp_dispatch_register(&dxp_tarn_dispatch);
}

void FakeFamilyTest::add_units(std::initializer_list<int> units) {
    for (int unit : units) {
        ASSERT_EQ(dxp_attach(unit, "tarn", nullptr, unit), unit);
        ASSERT_EQ(dxpx_unit_register(unit), DXP_E_NONE);
    }
}
