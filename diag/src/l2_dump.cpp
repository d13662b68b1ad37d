// One-line dumps of an L2 address record and of an L2 cache entry.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "diag_parse.h"
#include "dxp.h"
#include "sal.h"
#include "shr.h"

namespace {

const char *port_name(int unit, int port) {
    const soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr || port < 0 || port >= SOC_MAX_NUM_PORTS) return "?";
    return s->port_name[port];
}

bool cpu_port(int unit, int port) {
    const soc_control_t *s = SOC_CONTROL(unit);
    return s != nullptr && port >= 0 && port == s->cmic_port;
}

void add(std::string *line, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void add(std::string *line, const char *fmt, ...) {
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    *line += buf;
}

}  // namespace

void dump_l2_addr(int unit, const char *prefix, const dxp_l2_addr *l2) {
    std::string line;
    const uint8_t *m = l2->mac;
    int my_modid = -1;
    if (dxp_stk_my_modid_get(unit, &my_modid) != 0) my_modid = -1;
    bool local = l2->modid == my_modid;
    add(&line, "%smac=%02x:%02x:%02x:%02x:%02x:%02x vlan=%d modid=%d port=%d%s%s", prefix, m[0],
        m[1], m[2], m[3], m[4], m[5], l2->vid, l2->modid, l2->port, local ? "/" : " ",
        local ? port_name(unit, l2->port) : " ");
    if (l2->flags & DXP_L2_TRUNK_MEMBER) add(&line, " Trunk=%d Rtag=%d", l2->tgid, l2->rtag);
    if (l2->flags & DXP_L2_STATIC) line += " Static";
    if (l2->flags & DXP_L2_HIT) line += " Hit";
    if (l2->cos_src != 0 || l2->cos_dst != 0)
        add(&line, " COS(src=%d,dst=%d)", l2->cos_src, l2->cos_dst);
    if (l2->flags & 0x1) line += " SCP";
    if ((l2->flags & DXP_L2_COPY_TO_CPU) || cpu_port(unit, l2->port)) line += " CPU";
    if (l2->flags & DXP_L2_L3LOOKUP) line += " L3";
    if (l2->flags & 0x2) line += " DiscardSrc";
    if (l2->flags & DXP_L2_DISCARD_DST) line += " DiscardDest";
    if (l2->flags & DXP_L2_MCAST) add(&line, " MCast=%d", l2->l2mc_index);
    if (!dxp_pbmp_is_null(l2->block_bitmap)) {
        char names[256];
        char hex[19];
        soc_pbmp_t b{{l2->block_bitmap.w[0], l2->block_bitmap.w[1]}};
        format_pbmp(unit, names, sizeof names, b);
        shr_format_uint64_hex(b.w[0], b.w[1], hex);
        add(&line, " MAC blocked port bitmap=%s: %s", names, hex);
    }
    if (l2->group != 0) add(&line, " Group=%d", l2->group);
    sal_printf("%s\n", line.c_str());
}

void dump_l2_cache_addr(int unit, const char *prefix, const dxp_l2_cache_addr *e) {
    std::string line;
    const uint8_t *m = e->mac;
    const uint8_t *k = e->mac_mask;
    add(&line, "%smac=%02x:%02x:%02x:%02x:%02x:%02x", prefix, m[0], m[1], m[2], m[3], m[4], m[5]);
    static const uint8_t kAllOnes[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    if (std::memcmp(k, kAllOnes, 6) != 0)
        add(&line, "/%02x:%02x:%02x:%02x:%02x:%02x", k[0], k[1], k[2], k[3], k[4], k[5]);
    add(&line, " vlan=%d", e->vlan);
    if (e->vlan_mask != 0xfff) add(&line, "/0x%03x", e->vlan_mask);
    if (e->src_port_mask != 0) {
        add(&line, " srcport=%d", e->src_port);
        if (e->src_port_mask != 0x3f) add(&line, "/0x%02x", e->src_port_mask);
    }
    if (e->flags & 0x40) {
        add(&line, " trunk=%d", e->dest_trunk);
    } else {
        add(&line, " modid=%d port=%d/%s", e->dest_modid, e->dest_port,
            port_name(unit, e->dest_port));
    }
    if (e->flags & 0x20) add(&line, " prio=%d", e->prio);
    if (e->flags & 0x10) line += " BPDU";
    if ((e->flags & 0x1) || cpu_port(unit, e->dest_port)) line += " CPU";
    if (e->flags & 0x8) line += " L3";
    if (e->flags & 0x2) line += " Discard";
    if (e->flags & 0x4) line += " Mirror";
    sal_printf("%s\n", line.c_str());
}
