// libFuzzer target: the port-bitmap parser (with a format/parse round trip)
// over a unit record of 24 fast-Ethernet ports, the CPU port and 4 gigabit
// ports, the expression evaluator, and the address, long-integer, ability and
// tab parsers and formatters. The first byte picks the parser.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "diag_expr.h"
#include "diag_parse.h"
#include "sal.h"

namespace {

void add(soc_port_list_t *set, int port) {
    if (set->num == 0) set->min = port;
    set->port[set->num++] = port;
    set->max = port;
    soc_pbmp_port_add(&set->bitmap, port);
}

soc_control_t *make_unit() {
    static soc_control_t s{};
    s.port_num = 29;
    s.cmic_port = 24;
    soc_pbmp_port_add(&s.cmic_bitmap, 24);
    for (int p = 0; p < 29; p++) {
        if (p < 24) {
            add(&s.fe, p);
            std::snprintf(s.port_name[p], SOC_PORT_NAME_LEN, "fe%d", p);
        } else if (p > 24) {
            add(&s.ge, p);
            std::snprintf(s.port_name[p], SOC_PORT_NAME_LEN, "ge%d", p - 25);
        } else {
            std::snprintf(s.port_name[p], SOC_PORT_NAME_LEN, "cpu0");
        }
        add(&s.port, p);
        add(&s.e, p);
        add(&s.all, p);
    }
    return &s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static soc_control_t *unit = make_unit();
    sal_console_enable_set(0);  // the integer parsers' warnings
    soc_control[0] = unit;
    if (size == 0) return 0;
    std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
    const char *in = text.c_str();
    switch (data[0] % 8) {
        case 0:
            break;
        case 1: {
            uint32_t value = 0;
            int rv = expr_eval(in, &value);
            if (rv < -1 || rv > 1) std::abort();
            return 0;
        }
        case 2: {
            dxp_mac_t mac;
            char buf[18];
            if (parse_macaddr(in, mac) == 0) format_macaddr(buf, mac);
            return 0;
        }
        case 3: {
            dxp_ip_t ip = 0;
            dxp_ip6_t ip6;
            char buf[40];
            if (parse_ipaddr(in, &ip) == 0) format_ipaddr_mask(buf, ip, ip);
            if (parse_ip6addr(in, ip6) == 0) format_ip6addr(buf, ip6);
            return 0;
        }
        case 4: {
            uint32_t words[3];
            char buf[32];
            parse_long_integer(words, 3, in);
            format_long_integer(buf, words, 3);
            format_uint64_decimal(buf, parse_uint64(in), ',');
            return 0;
        }
        case 5: {
            uint32_t mask = 0;
            char buf[128];
            if (parse_ability(in, &mask) == 0) format_ability(buf, sizeof buf, mask, data[0] & 8);
            return 0;
        }
        case 6: {
            std::string out(text.size() + 1, '\0');
            format_entab(out.data(), in, data[0] >> 4);
            return 0;
        }
        default: {
            int port = 0;
            diag_mod_port mp;
            parse_port(0, in, &port);
            parse_mod_port(0, in, &mp);
            return 0;
        }
    }
    soc_pbmp_t pbmp;
    if (parse_pbmp(0, text.c_str(), &pbmp) != 0) return 0;
    char buf[512];
    format_pbmp(0, buf, sizeof buf, pbmp);
    soc_pbmp_t again;
    if (parse_pbmp(0, buf, &again) != 0 || std::memcmp(&again, &pbmp, sizeof pbmp) != 0)
        std::abort();
    return 0;
}
