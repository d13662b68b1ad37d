// libFuzzer target: the port-bitmap parser (with a format/parse round trip)
// and the expression evaluator, over a unit record of 24 fast-Ethernet ports,
// the CPU port and 4 gigabit ports.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "diag_expr.h"
#include "diag_parse.h"

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
    soc_control[0] = unit;
    if (size == 0) return 0;
    std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
    if (data[0] & 1) {
        uint32_t value = 0;
        int rv = expr_eval(text.c_str(), &value);
        if (rv < -1 || rv > 1) std::abort();
        return 0;
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
