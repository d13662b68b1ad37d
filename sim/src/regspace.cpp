#include "sim/regspace.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

uint64_t row_reset(const chipdata_reg &row) {
    return (static_cast<uint64_t>(row.reset_hi) << 32) | row.reset_lo;
}

uint64_t row_mask(const chipdata_reg &row) {
    return (static_cast<uint64_t>(row.mask_hi) << 32) | row.mask_lo;
}

uint64_t field_bits(const chipdata_field &f) {
    uint64_t ones = f.len >= 64 ? ~0ull : ((1ull << f.len) - 1);
    return ones << f.bp;
}

uint64_t read_only_bits(const chipdata_reg &row) {
    if (row.flags & CHIPDATA_RF_RO) return ~0ull;
    uint64_t ro = 0;
    for (uint32_t i = 0; i < row.num_fields; i++) {
        if (row.fields[i].flags & CHIPDATA_FF_RO) ro |= field_bits(row.fields[i]);
    }
    return ro;
}

// Block-type bits of a chip port, including the two port groups of the
// DXP7101 family (ports 0-23 in group A; on the DXP7101 24-47 in group B, on
// the DXP7106 0-23 in both).
uint32_t port_blocks(const ChipProfile &profile, int port) {
    const chipdata_port *ports = chipdata_port_table(profile.data_model);
    const chipdata_block *blocks = chipdata_block_table(profile.data_model);
    uint32_t bits = static_cast<uint32_t>(blocks[ports[port].block].type);
    if (profile.kind == ChipKind::DXP7101) {
        if (port < 24) bits |= CHIPDATA_BLK_GROUP_A;
        if (port >= 24 && port < 48) bits |= CHIPDATA_BLK_GROUP_B;
    } else if (profile.kind == ChipKind::DXP7106 && port < 24) {
        bits |= CHIPDATA_BLK_GROUP_A | CHIPDATA_BLK_GROUP_B;
    }
    return bits;
}

// Page index of a port within a per-port counter page row: gigabit-only rows
// of the DXP7101 family count from the first gigabit page, group-B rows of
// the DXP7101 from port 24.
int page_port(const ChipProfile &profile, const chipdata_reg &row, int port) {
    if ((row.block & 3) == CHIPDATA_BLK_GE && profile.wideBitmaps()) return port - profile.fe_ports;
    if ((row.block & CHIPDATA_BLK_GROUP_B) && (profile.chip_flags & 0x4000000)) return port - 24;
    return port;
}

// Registers that carry the ports above another register's array: the chip
// answers them as arrays of their own, instance k serving port first_port + k.
struct Continuation {
    ChipKind kind;
    int reg;
    int continues;
    int first_port;
};
constexpr Continuation kContinuations[] = {
    {ChipKind::DXP7101, R_UDF_OFFSET4_EXP, R_UDF_OFFSET4_P, 24},
    {ChipKind::DXP7101, R_PORT_VLAN1_CTL, R_PORT_VLAN_CTL, 24},
    {ChipKind::DXP7101, R_PORT_EAP1_CON, R_PORT_EAP_CON, 24},
    {ChipKind::DXP7101, R_PORT_IRC1_CON, R_PORT_IRC_CON, 32},
    {ChipKind::DXP7106, R_PORT_IRC1_CON, R_PORT_IRC_CON, 8},
};

const Continuation *continuation(const ChipProfile &profile, int reg) {
    for (const Continuation &c : kContinuations) {
        if (c.kind == profile.kind && c.reg == reg) return &c;
    }
    return nullptr;
}

bool continued(const ChipProfile &profile, int reg) {
    for (const Continuation &c : kContinuations) {
        if (c.kind == profile.kind && c.continues == reg) return true;
    }
    return false;
}

// The ports served by instances 0, 1, ... of an addressed row: a continuation
// from its first port, an array continued by another from port 0, a
// chip-wide row none, any other row the ports of its blocks in order.
std::vector<int> instance_ports(const ChipProfile &profile, int id, const chipdata_reg &row) {
    std::vector<int> ports;
    if (const Continuation *c = continuation(profile, id)) {
        for (uint32_t k = 0; k < row.count; k++)
            ports.push_back(c->first_port + static_cast<int>(k));
    } else if (continued(profile, id)) {
        for (uint32_t k = 0; k < row.count; k++)
            ports.push_back(static_cast<int>(k));
    } else if (!(row.block & CHIPDATA_BLK_SYS)) {
        for (int port = 0; port < profile.num_ports; port++) {
            if (port_blocks(profile, port) & row.block) ports.push_back(port);
        }
    }
    return ports;
}

}  // namespace

int regWidth(const chipdata_reg &row) {
    if ((row.flags & CHIPDATA_RF_COUNTER) && row.type != 4)
        return (row.flags & CHIPDATA_RF_64BIT) ? 8 : 4;
    if (row.flags & CHIPDATA_RF_64BIT) {
        if (row.mask_hi & 0xff000000) return 8;
        if (row.mask_hi & 0x00ff0000) return 7;
        if (row.mask_hi & 0x0000ff00) return 6;
        return 5;
    }
    if (row.flags & CHIPDATA_RF_32BIT) return (row.mask_lo & 0xff000000) ? 4 : 3;
    if (row.flags & CHIPDATA_RF_16BIT) return 2;
    if (row.flags & CHIPDATA_RF_8BIT) return 1;
    return 0;
}

std::vector<RegInstance> buildAddressMap(const ChipProfile &profile) {
    std::vector<RegInstance> out;
    const chipdata_reg *const *table = chipdata_reg_table(profile.data_model);
    for (int id = 0; id < CHIPDATA_NUM_REGS; id++) {
        const chipdata_reg *row = table[id];
        if (row == nullptr) continue;
        RegInstance proto{id,
                          0,
                          -1,
                          0,
                          regWidth(*row),
                          row->type,
                          row_reset(*row),
                          row_mask(*row),
                          read_only_bits(*row),
                          row};
        if (row->type == CHIPDATA_TYPE_PORT_PHY || row->type == CHIPDATA_TYPE_PORT_MIB) {
            for (int port = 0; port < profile.num_ports; port++) {
                if ((port_blocks(profile, port) & row->block) == 0) continue;
                int page = row->type == CHIPDATA_TYPE_PORT_PHY
                               ? profile.phyPage(port)
                               : page_port(profile, *row, port) + (row->address >> 8);
                if (page < 0 || page > 0xff) continue;
                RegInstance r = proto;
                r.instance = port;
                r.port = port;
                r.address = static_cast<uint16_t>(page << 8 | (row->address & 0xff));
                out.push_back(r);
            }
            continue;
        }
        uint32_t count = row->type == CHIPDATA_TYPE_SINGLE ? 1 : std::max<uint32_t>(row->count, 1);
        std::vector<int> ports = instance_ports(profile, id, *row);
        for (uint32_t k = 0; k < count; k++) {
            RegInstance r = proto;
            r.instance = static_cast<int>(k);
            r.port = k < ports.size() ? ports[k] : -1;
            r.address = static_cast<uint16_t>(row->address + k * r.width);
            out.push_back(r);
        }
    }
    return out;
}

const RegInstance *findInstance(const ChipProfile &profile, const std::vector<RegInstance> &map,
                                int reg_id, int port, int index) {
    int carrier = -1;
    for (const Continuation &c : kContinuations) {
        if (c.kind == profile.kind && c.continues == reg_id) carrier = c.reg;
    }
    for (const RegInstance &r : map) {
        if (r.reg_id != reg_id && r.reg_id != carrier) continue;
        bool by_index = (r.row->block & CHIPDATA_BLK_SYS) || r.type == CHIPDATA_TYPE_SINGLE;
        if (r.reg_id == reg_id && (by_index ? r.instance == index : r.port == port)) return &r;
        if (r.reg_id == carrier && r.port == port) return &r;
    }
    // The chip decodes a port-numbered array (fast-Ethernet or no port
    // blocks) at base + port * width for every port: past the array's own
    // ports that is the register of the port's class, if it serves the port.
    const RegInstance *first = nullptr;
    for (const RegInstance &r : map) {
        if (r.reg_id == reg_id) first = first ? first : &r;
    }
    if (first == nullptr || port < 0 || first->type != CHIPDATA_TYPE_ADDR) return nullptr;
    uint32_t blk = first->row->block;
    if ((blk & (CHIPDATA_BLK_SYS | CHIPDATA_BLK_PORTS)) != 0 && !(blk & CHIPDATA_BLK_FE))
        return nullptr;
    uint32_t at = first->address + static_cast<uint32_t>(port * first->width);
    for (const RegInstance &r : map) {
        if (r.address == at && r.port == port && r.type == CHIPDATA_TYPE_ADDR) return &r;
    }
    return nullptr;
}

RegSpace::RegSpace(const ChipProfile &profile) : by_address_(0x10000, -1) {
    for (const RegInstance &r : buildAddressMap(profile)) {
        // Per-port PHY and counter pages have their own models.
        if (r.type == CHIPDATA_TYPE_PORT_PHY || r.type == CHIPDATA_TYPE_PORT_MIB) continue;
        instances_.push_back(r);
    }
    for (size_t i = 0; i < instances_.size(); i++) {
        const RegInstance &r = instances_[i];
        for (int b = 0; b < r.width && r.address + b < 0x10000; b++) {
            // The first row to claim a byte keeps it; the catalogue test
            // reports overlaps.
            if (by_address_[r.address + b] < 0)
                by_address_[r.address + b] = static_cast<int32_t>(i);
        }
    }
    for (size_t i = 0; i < instances_.size(); i++) {
        size_t id = static_cast<size_t>(instances_[i].reg_id);
        if (id >= by_id_.size()) by_id_.resize(id + 1);
        by_id_[id].push_back(static_cast<int32_t>(i));
    }
    values_.resize(instances_.size());
    read_hooks_.resize(instances_.size());
    write_hooks_.resize(instances_.size());
    resetAll();
}

const RegInstance *RegSpace::at(uint16_t address) const {
    int32_t i = by_address_[address];
    return i < 0 ? nullptr : &instances_[i];
}

const RegInstance *RegSpace::find(int reg_id, int instance) const {
    if (reg_id < 0 || static_cast<size_t>(reg_id) >= by_id_.size()) return nullptr;
    for (int32_t i : by_id_[reg_id]) {
        if (instances_[i].instance == instance) return &instances_[i];
    }
    return nullptr;
}

void RegSpace::read(uint16_t address, uint8_t *buf, int len) {
    std::memset(buf, 0, len);
    if (const RegInstance *first = at(address)) {
        size_t i = indexOf(*first);
        if (read_hooks_[i]) read_hooks_[i](values_[i]);
    }
    for (int k = 0; k < len; k++) {
        uint32_t a = address + k;
        if (a > 0xffff) break;
        const RegInstance *r = at(static_cast<uint16_t>(a));
        if (r == nullptr) continue;
        int byte = static_cast<int>(a - r->address);
        buf[k] = static_cast<uint8_t>(values_[indexOf(*r)] >> (8 * byte));
    }
}

RegSpace::WriteResult RegSpace::write(uint16_t address, const uint8_t *buf, int len) {
    WriteResult result;
    int k = 0;
    while (k < len && address + k <= 0xffff) {
        const RegInstance *r = at(static_cast<uint16_t>(address + k));
        if (r == nullptr) {
            k++;
            continue;
        }
        // Gather the bytes of this write that fall into register r.
        uint64_t data = 0;
        uint64_t bytes = 0;
        while (k < len && address + k <= 0xffff && at(static_cast<uint16_t>(address + k)) == r) {
            int byte = static_cast<int>(address + k - r->address);
            data |= static_cast<uint64_t>(buf[k]) << (8 * byte);
            bytes |= 0xffull << (8 * byte);
            k++;
        }
        size_t i = indexOf(*r);
        result.unimplemented |= data & bytes & ~r->mask;
        if (r->ro_mask == ~0ull) {
            result.read_only = true;
            continue;
        }
        uint64_t writable = bytes & r->mask & ~r->ro_mask;
        uint64_t old_value = values_[i];
        values_[i] = (old_value & ~writable) | (data & writable);
        if (write_hooks_[i]) write_hooks_[i](old_value, values_[i]);
    }
    return result;
}

uint64_t RegSpace::peek(const RegInstance &reg) const {
    return values_[indexOf(reg)];
}

void RegSpace::poke(const RegInstance &reg, uint64_t value) {
    values_[indexOf(reg)] = value;
}

void RegSpace::setReset(const RegInstance &reg, uint64_t value) {
    instances_[indexOf(reg)].reset = value;
    values_[indexOf(reg)] = value;
}

void RegSpace::onRead(const RegInstance &reg, ReadHook hook) {
    read_hooks_[indexOf(reg)] = std::move(hook);
}

void RegSpace::onWrite(const RegInstance &reg, WriteHook hook) {
    write_hooks_[indexOf(reg)] = std::move(hook);
}

void RegSpace::resetAll() {
    for (size_t i = 0; i < instances_.size(); i++)
        values_[i] = instances_[i].reset;
}

}  // namespace sim
