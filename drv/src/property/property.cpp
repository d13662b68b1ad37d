// Configuration properties with their unit, chip, group and port forms.
#include <cctype>
#include <string>

#include "drv_if.h"
#include "shr.h"
#include "soc_property.h"

namespace {

// The device whose configuration vector answers for a unit; a negative unit
// asks the first device that has one.
int config_device(int unit) {
    if (unit >= 0) return unit;
    for (int dev = 0; dev < soc_cm_get_num_devices(); dev++) {
        const soc_cm_dev_t *d = soc_cm_dev(dev);
        if (d != nullptr && d->vectors.config_var_get != nullptr) return dev;
    }
    return -1;
}

const char *lookup(int dev, const std::string &name) {
    return soc_cm_config_var_get(dev, name.c_str());
}

const char *first_found(int unit, std::initializer_list<std::string> names) {
    for (const std::string &n : names) {
        if (const char *v = soc_property_get_str(unit, n.c_str())) return v;
    }
    return nullptr;
}

// 1-based position of the port among the unit's front ports, 0 when none.
int front_position(const soc_control_t &soc, int port) {
    if (!soc_pbmp_member(soc.port.bitmap, port)) return 0;
    int position = 0;
    for (int p = 0; p <= port; p++) {
        if (soc_pbmp_member(soc.port.bitmap, p)) position++;
    }
    return position;
}

struct NamedType {
    uint32_t type;
    const char *name;
};

constexpr NamedType kPortTypeNames[] = {
    {SOC_BLK_EPIC, "fe"}, {SOC_BLK_GPIC, "ge"},  {SOC_BLK_HG4, "hg"},   {SOC_BLK_HG8, "hg"},
    {SOC_BLK_XE, "xe"},   {SOC_BLK_CMIC, "cpu"}, {SOC_BLK_CPIC, "cpu"},
};

constexpr NamedType kBlockNames[] = {
    {SOC_BLK_EPIC, "epic"}, {SOC_BLK_GPIC, "gpic"}, {SOC_BLK_HG4, "hpic"},  {SOC_BLK_HG8, "ipic"},
    {SOC_BLK_XE, "xpic"},   {SOC_BLK_CMIC, "cmic"}, {SOC_BLK_CPIC, "cpic"}, {SOC_BLK_ARL, "arl"},
    {SOC_BLK_MMU, "mmu"},   {SOC_BLK_MCU, "mcu"},
};

template <size_t N>
const char *name_of(const NamedType (&table)[N], uint32_t type) {
    for (const NamedType &row : table) {
        if (row.type == type) return row.name;
    }
    return "?";
}

template <size_t N>
uint32_t type_of(const NamedType (&table)[N], const char *name) {
    if (name == nullptr) return 0;
    for (const NamedType &row : table) {
        if (std::string(row.name) == name) return row.type;
    }
    return 0;
}

}  // namespace

const char *soc_property_get_str(int unit, const char *name) {
    if (name == nullptr) return nullptr;
    int dev = config_device(unit);
    if (unit >= 0) {
        if (const char *v = lookup(dev, std::string(name) + "." + std::to_string(unit))) return v;
        if (const soc_control_t *soc = SOC_CONTROL(unit)) {
            const char *type = soc_chip_type_name(soc->chip_type);
            const char *group = soc_chip_group_name(soc->chip_group);
            if (const char *v = lookup(dev, std::string(name) + "." + type)) return v;
            if (const char *v = lookup(dev, std::string(name) + "." + group)) return v;
        }
    }
    return lookup(dev, name);
}

int soc_property_get(int unit, const char *name, int dflt) {
    const char *v = soc_property_get_str(unit, name);
    return v ? shr_ctoi(v) : dflt;
}

soc_pbmp_t soc_property_get_pbmp(int unit, const char *name, int default_all) {
    soc_pbmp_t bmp{};
    const char *v = soc_property_get_str(unit, name);
    if (v == nullptr) {
        if (default_all) bmp = {{~0u, ~0u}};
        return bmp;
    }
    if (shr_parse_uint64(v, bmp.w) < 0) bmp = {};
    return bmp;
}

const char *soc_property_port_get_str(int unit, int port, const char *name) {
    if (name == nullptr) return nullptr;
    const soc_control_t *soc = SOC_CONTROL(unit);
    const char *v = nullptr;
    if (soc != nullptr && port >= 0 && port < SOC_MAX_NUM_PORTS) {
        std::string port_name = soc->port_name[port];
        std::string type_name = port_name;
        while (!type_name.empty() && std::isdigit(static_cast<unsigned char>(type_name.back())))
            type_name.pop_back();
        int position = front_position(*soc, port);
        v = first_found(unit,
                        {std::string(name) + "_" + port_name, std::string(name) + "_" + type_name});
        if (v == nullptr && position > 0)
            v = soc_property_get_str(
                unit, (std::string(name) + "_port" + std::to_string(position)).c_str());
    }
    return v != nullptr ? v : soc_property_get_str(unit, name);
}

int soc_property_port_get(int unit, int port, const char *name, int dflt) {
    const char *v = soc_property_port_get_str(unit, port, name);
    return v ? shr_ctoi(v) : dflt;
}

namespace {

int numbered(int unit, int n, const char *name, const char *infix, int dflt) {
    if (name == nullptr) return dflt;
    char digit[16];
    sal_snprintf(digit, sizeof digit, "%1d", n);
    const char *v = first_found(unit, {std::string(name) + infix + digit, name});
    return v ? shr_ctoi(v) : dflt;
}

}  // namespace

int soc_property_ch_get(int unit, int n, const char *name, int dflt) {
    return numbered(unit, n, name, "_ch", dflt);
}

int soc_property_cos_get(int unit, int n, const char *name, int dflt) {
    return numbered(unit, n, name, "_cos", dflt);
}

const char *soc_block_port_name_lookup(uint32_t block_type) {
    return name_of(kPortTypeNames, block_type);
}

const char *soc_block_name_lookup(uint32_t block_type) {
    return name_of(kBlockNames, block_type);
}

uint32_t soc_block_port_name_match(const char *name) {
    return type_of(kPortTypeNames, name);
}

uint32_t soc_block_name_match(const char *name) {
    return type_of(kBlockNames, name);
}
