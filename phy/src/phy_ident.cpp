// PHY layer init and the probe that picks each port's driver from its PHY's
// identifier registers.
#include "chipdata/chipdata.h"
#include "chipdata/ids.h"
#include "drv_reg_value.h"
#include "phy.h"
#include "phy_internal.h"
#include "sal.h"
#include "soc_error.h"
#include "soc_property.h"

namespace {

constexpr int kTableMax = 32;
constexpr uint8_t kNoInternalAddr = 255;
constexpr int kAnTimeoutDefault = 250000;

// Boot flags: a simulated platform puts every port on the null driver unless
// it asks for real PHY registers.
constexpr uint32_t kBootSimPlatform = 0x20000;
constexpr uint32_t kBootSimPhys = 0x80000;
constexpr uint32_t kStrapTbi = 2;

struct Lookup {
    uint32_t key;
    uint16_t model;
    uint32_t index;
};
// Searched from the first row; indexes without an identification row fall
// through to the SERDES and unknown rows.
constexpr Lookup kLookup[] = {
    {PHY_OUI_KEY_A, PHY_MODEL_6311, 1},
    {PHY_OUI_KEY_A, PHY_MODEL_6312, 2},
    {PHY_OUI_KEY_A, PHY_MODEL_6319, 3},
    {PHY_OUI_KEY_A, PHY_MODEL_6315, 4},
    {PHY_OUI_KEY_A, PHY_MODEL_6316, 5},
    {PHY_OUI_KEY_B, PHY_MODEL_6317, 6},
    {PHY_OUI_KEY_B, PHY_MODEL_7102_FE, 7},
    {PHY_OUI_KEY_C, PHY_MODEL_7102_FE, 7},
    {PHY_OUI_KEY_D, PHY_MODEL_6405, 8},
    {PHY_OUI_KEY_D, PHY_MODEL_6406, 9},
    {PHY_OUI_KEY_D, PHY_MODEL_6407, 10},
    {PHY_OUI_KEY_D, PHY_MODEL_6408, 11},
    {PHY_OUI_KEY_D, PHY_MODEL_6409, 12},
    {PHY_OUI_KEY_D, PHY_MODEL_6401S, 13},
    {PHY_OUI_KEY_D, PHY_MODEL_6410, 14},
    {PHY_OUI_KEY_D, PHY_MODEL_6402, 16},
    {PHY_OUI_KEY_D, PHY_MODEL_6413, 17},
    {PHY_OUI_KEY_D, PHY_MODEL_6412, 15},
    {PHY_OUI_KEY_D, 0x0d, 15},
    {PHY_OUI_KEY_B, PHY_MODEL_6414, 18},
    {PHY_OUI_KEY_B, PHY_MODEL_6415, 19},
    {PHY_OUI_KEY_B, PHY_MODEL_6416, 20},
    {PHY_OUI_KEY_A, 0x09, 25},
    {PHY_OUI_KEY_D, 0x03, 26},
    {PHY_OUI_KEY_D, 0x3f, 29},
    {PHY_OUI_KEY_D, 0x3a, 30},
    {PHY_OUI_KEY_B, PHY_MODEL_7104, 33},
    {PHY_OUI_KEY_B, PHY_MODEL_7101_FE, 34},
    {PHY_OUI_KEY_B, PHY_MODEL_7105, 35},
};
static_assert(sizeof kLookup / sizeof kLookup[0] == 29);

void fill(soc_phy_info_t *pi, const char *name, uint16_t id0, uint16_t id1) {
    pi->phy_id0 = id0;
    pi->phy_id1 = id1;
    pi->phy_name = name;
}

int table_probe(int, int, const phy_ident_row_t *row, uint16_t id0, uint16_t id1,
                soc_phy_info_t *pi) {
    if (phy_oui_model_lookup(id0, id1) != row->model_index) return 0;
    fill(pi, row->name, id0, id1);
    return 1;
}

int null_probe(int unit, int port, const phy_ident_row_t *row, uint16_t id0, uint16_t id1,
               soc_phy_info_t *pi) {
    const uint32_t boot = sal_boot_flags_get();
    const bool null = ((boot & kBootSimPlatform) && !(boot & kBootSimPhys)) ||
                      soc_property_get(unit, "phy_enable", 1) == 0 ||
                      soc_property_port_get(unit, port, "phy_null", 0) != 0;
    if (!null) return 0;
    fill(pi, row->name, id0, id1);
    return 1;
}

int serdes_probe(int unit, int port, const phy_ident_row_t *, uint16_t id0, uint16_t id1,
                 soc_phy_info_t *pi) {
    if (!phy::ge_class(unit, port)) return 0;
    fill(pi, "Serdes", id0, id1);
    pi->phy_flags |= PHY_FLAGS_SERDES | PHY_FLAGS_FIBER;
    return 1;
}

int unknown_probe(int, int, const phy_ident_row_t *row, uint16_t id0, uint16_t id1,
                  soc_phy_info_t *pi) {
    fill(pi, row->name, id0, id1);
    return 1;
}

constexpr phy_ident_row_t kNullRow = {null_probe, 0, "Null", &phy_null, 0};
constexpr phy_ident_row_t kSerdesRow = {serdes_probe, 0, "Assumed SERDES", &phy_serdes_drv, 0};
constexpr phy_ident_row_t kUnknownRow = {unknown_probe, 0, "Unknown", &phy_fe_drv, 0};

constexpr phy_ident_row_t kBuiltIn[] = {
    {table_probe, 1, "DXP6311", &phy_631x_drv, 0},
    {table_probe, 2, "DXP6312/13", &phy_631x_drv, 0},
    {table_probe, 3, "DXP6319", &phy_631x_drv, 0},
    {table_probe, 4, "DXP6315", &phy_631x_drv, 0},
    {table_probe, 5, "DXP6316", &phy_631x_drv, 0},
    {table_probe, 6, "DXP6317", &phy_631x_drv, 0},
    {table_probe, 7, "DXP7102/FE", &phy_631x_drv, 0},
    {table_probe, 34, "DXP7101/FE", &phy_631x_drv, 0},
    {table_probe, 8, "DXP6405", &phy_ge_drv, 0},
    {table_probe, 9, "DXP6406", &phy_6406_drv, 0},
    {table_probe, 10, "DXP6407", &phy_6407_drv, 0},
    {table_probe, 11, "DXP6408", &phy_6408_drv, 0},
    {table_probe, 14, "DXP6410/11", &phy_6410_drv, 0},
    {table_probe, 12, "DXP6409", &phy_6409_drv, 0},
    {table_probe, 15, "DXP6412", &phy_640x_drv, 0},
    {table_probe, 16, "DXP6402", &phy_640x_drv, 0},
    {table_probe, 17, "DXP6413", &phy_640x_drv, 0},
    {table_probe, 18, "DXP6414", &phy_640x_drv, 0},
    {table_probe, 19, "DXP6415", &phy_640x_drv, 0},
    {table_probe, 20, "DXP6416", &phy_640x_drv, 0},
    // Its driver comes later: the slot answers "unsupported" everywhere.
    {table_probe, 13, "DXP6401S", &phy_6401s_drv, 0},
    {table_probe, 33, "DXP7104", &phy_640x_drv, 0},
    {table_probe, 35, "DXP7105", &phy_640x_drv, 0},
    kNullRow,
};
static_assert(sizeof kBuiltIn / sizeof kBuiltIn[0] == 24);

struct IdentTable {
    const phy_ident_row_t *rows[kTableMax];
    int count = -1;
};
IdentTable &table() {
    static auto *t = new IdentTable;
    return *t;
}

soc_phy_info_t records[PHY_UNITS_MAX][SOC_MAX_NUM_PORTS];

// The first row of the table (walked from its end) that matches.
const phy_ident_row_t *walk(int unit, int port, uint16_t id0, uint16_t id1, soc_phy_info_t *pi) {
    const IdentTable &t = table();
    for (int i = t.count - 1; i >= 0; i--) {
        if (t.rows[i]->probe(unit, port, t.rows[i], id0, id1, pi)) return t.rows[i];
    }
    return nullptr;
}

void read_ids(int unit, uint8_t addr, bool c45, uint16_t *id0, uint16_t *id1) {
    uint16_t v = 0;
    if (c45) {
        if (soc_miimc45_read(unit, addr, 1, MII_PHYSID1, &v) >= 0) *id0 = v;
        if (soc_miimc45_read(unit, addr, 1, MII_PHYSID2, &v) >= 0) *id1 = v;
        return;
    }
    if (soc_miim_read(unit, addr, MII_PHYSID1, &v) >= 0) *id0 = v;
    if (soc_miim_read(unit, addr, MII_PHYSID2, &v) >= 0) *id1 = v;
}

// The gigabit ports' interface straps of the DXP7102: TBI or not.
int strap_check(int unit, int port, soc_phy_info_t *pi) {
    uint32_t field = 0;
    if (port == 25) {
        field = F_GIGA0_IFSEL;
    } else if (port == 26) {
        field = F_GIGA1_IFSEL;
    } else {
        return SOC_E_PARAM;
    }
    DrvRegValue straps(unit, R_STRAP_STS);
    if (int rv = straps.read(); rv < 0) return rv;
    if (straps.get(field) == kStrapTbi) pi->phy_flags |= PHY_FLAGS_TBI;
    return SOC_E_NONE;
}

}  // namespace

uint32_t phy_oui_key(uint16_t id0, uint16_t id1) {
    return shr_bit_rev_by_byte(static_cast<uint32_t>(id0) << 6 | id1 >> 10);
}

uint32_t phy_oui_model_lookup(uint16_t id0, uint16_t id1) {
    const uint32_t key = phy_oui_key(id0, id1);
    const uint16_t model = phy_model_of(id1);
    for (const Lookup &l : kLookup) {
        if (l.key == key && l.model == model) return l.index;
    }
    return 0;
}

void phy_ident_table_init(void) {
    IdentTable &t = table();
    t.count = 0;
    for (const phy_ident_row_t &row : kBuiltIn)
        t.rows[t.count++] = &row;
}

int phy_ident_table_add(const phy_ident_row_t *row) {
    IdentTable &t = table();
    if (t.count < 0) {
        sal_assert("_phys_in_table >= 0", "phyident", __LINE__);
        return SOC_E_INIT;
    }
    if (t.count >= kTableMax) return SOC_E_MEMORY;
    t.rows[t.count++] = row;
    return SOC_E_NONE;
}

void soc_phy_addr_default_get(int unit, int port, uint8_t *addr, uint8_t *addr_int) {
    *addr = static_cast<uint8_t>(port + 1);
    *addr_int = SOC_IS_FAMILY_LAYOUT(unit) ? static_cast<uint8_t>(port + 1) : kNoInternalAddr;
}

int soc_phy_init(int unit) {
    soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr || unit >= PHY_UNITS_MAX) return SOC_E_UNIT;
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        records[unit][port] = soc_phy_info_t{};
        s->phy_info[port] = &records[unit][port];
    }
    if (table().count < 0) phy_ident_table_init();
    for (int16_t &entry : s->phyaddr_to_port)
        entry = -1;
    if (s->all.min < 0) return SOC_E_NONE;
    for (int port = s->all.min; port <= s->all.max; port++) {
        if (!soc_pbmp_member(s->all.bitmap, port)) continue;
        soc_phy_info_t &pi = records[unit][port];
        soc_phy_addr_default_get(unit, port, &pi.phy_addr, &pi.phy_addr_int);
        if (pi.phy_addr < kPhyAddrLimit)
            s->phyaddr_to_port[pi.phy_addr] = static_cast<int16_t>(port);
    }
    return SOC_E_NONE;
}

int soc_phy_probe(int unit, int port, const phy_driver_t **driver) {
    if (driver == nullptr) return SOC_E_PARAM;
    *driver = nullptr;
    soc_phy_info_t *pi = soc_phy_info(unit, port);
    if (pi == nullptr) return SOC_E_INIT;
    uint8_t addr = 0, addr_int = 0;
    soc_phy_addr_default_get(unit, port, &addr, &addr_int);
    pi->phy_addr = addr;
    pi->phy_flags = 0;  // filled anew at every attach
    uint16_t id0 = 0xffff, id1 = 0xffff;

    const phy_ident_row_t *row = nullptr;
    if (null_probe(unit, port, &kNullRow, id0, id1, pi)) row = &kNullRow;
    if (row == nullptr) {
        const soc_control_t *s = SOC_CONTROL(unit);
        // The clause-45 ports: this family has none.
        const bool c45 = soc_pbmp_member(s->xe.bitmap, port);
        if (c45) pi->phy_flags |= PHY_FLAGS_C45;
        read_ids(unit, pi->phy_addr, c45, &id0, &id1);
        row = walk(unit, port, id0, id1, pi);
        if (row == nullptr && c45) {
            id0 = id1 = 0xffff;
            read_ids(unit, pi->phy_addr_int, false, &id0, &id1);
            row = walk(unit, port, id0, id1, pi);
            if (row != nullptr) pi->phy_addr = pi->phy_addr_int;
        }
        if (row == nullptr && serdes_probe(unit, port, &kSerdesRow, id0, id1, pi))
            row = &kSerdesRow;
        if (row == nullptr && unknown_probe(unit, port, &kUnknownRow, id0, id1, pi))
            row = &kUnknownRow;
    }
    if (row->driver == nullptr) {
        sal_assert("phyd != NULL", "phyident", __LINE__);
        return SOC_E_INTERNAL;
    }
    if (soc_property_port_get(unit, port, "if_tbi", 0)) pi->phy_flags |= PHY_FLAGS_TBI;
    if (phy::chip_flag(unit, SOC_CHIP_DXP7102) && phy::ge_class(unit, port)) {
        if (int rv = strap_check(unit, port, pi); rv < 0) return rv;
    }
    pi->phy_an_timeout = static_cast<uint32_t>(
        soc_property_port_get(unit, port, "phy_autoneg_timeout", kAnTimeoutDefault));
    *driver = row->driver;
    return SOC_E_NONE;
}

int phy_unit_init(int unit) {
    int rv = soc_phy_init(unit);
    return rv < 0 ? rv : phy_common_init(unit);
}

void phy_host_forget(void) {
    phy_common_host_forget();
    phy_serdes_host_forget();
    phy_640x_host_forget();
    phy_6401s_host_forget();
    for (auto &unit : records) {
        for (soc_phy_info_t &pi : unit)
            pi = soc_phy_info_t{};
    }
}
