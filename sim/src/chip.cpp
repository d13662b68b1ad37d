#include "sim/chip.h"
#include "sim/eav_thresholds.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace sim {

namespace {

std::string hex_address(uint16_t address) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04x", address);
    return buf;
}

uint64_t bytes_value(const uint8_t *buf, int len) {
    uint64_t v = 0;
    for (int k = 0; k < len && k < 8; k++)
        v |= static_cast<uint64_t>(buf[k]) << (8 * k);
    return v;
}

uint16_t address_of(uint8_t page, uint8_t offset) {
    return static_cast<uint16_t>(page << 8 | offset);
}

// The bit of a port in a status field value (bit k of the field = the k-th
// position of the layout, the chip's port offset already in the field's
// position): one bit per port, two-bit speed codes for the gigabit ports and,
// on the DXP7101 family, the CPU port.
int status_bit(const ChipProfile &p, int port, bool speed_field) {
    if (!speed_field || p.portClass(port) == PortClass::FastEthernet) return port;
    if (p.wideBitmaps())
        return p.portClass(port) == PortClass::Cpu ? p.cpu_port : 2 * port - p.cpu_port;
    return p.portClass(port) == PortClass::Cpu ? port : 2 * port - 25;
}

uint64_t speed_code(const ChipProfile &p, int port, const LinkState &link) {
    bool two_bits = p.portClass(port) == PortClass::Gigabit ||
                    (p.portClass(port) == PortClass::Cpu && p.wideBitmaps());
    if (!two_bits) return link.speed == 100 ? 1 : 0;
    return link.speed == 1000 ? 2 : link.speed == 100 ? 1 : 0;
}

}  // namespace

// A port's PHY or SERDES page: 32 registers of 16 bits, register r at offset
// 2r. A write may change the link, which the port status registers follow.
class Chip::PhyPage : public PageHandler {
  public:
    PhyPage(Chip &chip, PhyModel &phy) : chip_(chip), phy_(phy) {}
    const char *kind() const override { return "PHY register"; }
    int width(uint8_t offset) const override { return (offset & 1) || offset >= 64 ? 0 : 2; }
    void read(uint8_t offset, uint8_t *buf, int len) override {
        if (width(offset) == 0) return;
        uint16_t value = phy_.read(offset / 2);
        buf[0] = static_cast<uint8_t>(value);
        if (len > 1) buf[1] = static_cast<uint8_t>(value >> 8);
    }
    void write(uint8_t offset, const uint8_t *buf, int len) override {
        if (len != 2 || width(offset) == 0) return;
        phy_.write(offset / 2, static_cast<uint16_t>(buf[0] | buf[1] << 8));
        chip_.refreshPortStatus();
    }

  private:
    Chip &chip_;
    PhyModel &phy_;
};

Chip::Chip(const ChipProfile &profile, Anomalies &anomalies, AccessLog &log, PhyKind gigabit_phy,
           PhyPart gigabit_part)
    : profile_(profile),
      anomalies_(anomalies),
      log_(log),
      regs_(profile),
      tables_(profile, regs_, mutex_),
      phys_(profile, gigabit_phy, gigabit_part),
      mib_(profile) {
    installPhyPages();
    installResetControl();
    installMibReset();
    refreshPortStatus();
    if (regs_.find(R_CFP_ACC, 0) != nullptr) cfp_ = std::make_unique<CfpEngine>(regs_, mutex_);
}

void Chip::refreshPortStatus() {
    struct Status {
        int reg;
        int field;
        bool speed;
    };
    const Status kStatus[] = {
        {R_LNKSTS, F_LNK_STS, false}, {R_DUPSTS, F_DUP_STS, false}, {R_SPDSTS, F_PORT_SPD, true}};
    for (const Status &st : kStatus) {
        const RegInstance *reg = regs_.find(st.reg, 0);
        const chipdata_field *field = reg ? chipdata_reg_field(reg->row, st.field) : nullptr;
        if (field == nullptr) continue;
        uint64_t value = 0;
        for (int port = 0; port < profile_.num_ports; port++) {
            LinkState link = phys_.link(port);
            if (!link.up) continue;
            uint64_t bits = st.reg == R_LNKSTS   ? 1
                            : st.reg == R_DUPSTS ? link.full_duplex
                                                 : speed_code(profile_, port, link);
            value |= bits << status_bit(profile_, port, st.speed);
        }
        regs_.poke(*reg, value << field->bp);
    }
    // Each SERDES reports its link (behind a copper/fibre PHY: the SGMII one).
    for (int k = 0;; k++) {
        const RegInstance *sts = regs_.find(R_X1K_MIISTS, k);
        if (sts == nullptr) break;
        regs_.poke(*sts, sts->port >= 0 ? phys_.serdesStatus(sts->port) : 0);
    }
}

void Chip::installPhyPages() {
    for (int page = 0; page < 256; page++) {
        if (PhyModel *phy = phys_.atPage(page))
            handlePage(static_cast<uint8_t>(page), std::make_unique<PhyPage>(*this, *phy));
    }
}

void Chip::handlePage(uint8_t page, std::unique_ptr<PageHandler> handler) {
    std::lock_guard<ChipMutex> g(mutex_);
    page_handlers_[page] = std::move(handler);
}

void Chip::installResetControl() {
    const RegInstance *ctl = regs_.find(R_CHIP_RST_CTL, 0);
    const chipdata_field *field = ctl ? chipdata_reg_field(ctl->row, F_RST_CHIP) : nullptr;
    if (field == nullptr) return;  // this model has no chip reset
    const uint64_t bit = 1ull << field->bp;
    // The reset is done at once; the bit reads 1 for a few polls as on the chip.
    regs_.onWrite(*ctl, [this, ctl, bit](uint64_t, uint64_t new_value) {
        if ((new_value & bit) == 0) return;
        reset();
        armBusy(*ctl, bit, reset_busy_reads_);
    });
    regs_.onRead(*ctl, [bit](uint64_t &value) { value &= ~bit; });
}

// RST_MIB_CNT clears every counter while it is set; the bit stays as written.
void Chip::installMibReset() {
    const RegInstance *cfg = regs_.find(R_GMNGCFG, 0);
    const chipdata_field *field = cfg ? chipdata_reg_field(cfg->row, F_RST_MIB_CNT) : nullptr;
    if (field == nullptr) return;
    const uint64_t bit = 1ull << field->bp;
    regs_.onWrite(*cfg, [this, bit](uint64_t, uint64_t new_value) {
        if (new_value & bit) mib_.clearAll();
    });
}

const RegInstance &Chip::mibCounter(const std::string &reg, int port) const {
    int id = chipdata_reg_id(reg.c_str());
    const RegInstance *r = id < 0 ? nullptr : mib_.find(id, port);
    if (r == nullptr)
        throw std::out_of_range("no counter " + reg + " on port " + std::to_string(port) + " of " +
                                profile_.name);
    return *r;
}

uint64_t Chip::mibGet(const std::string &reg, int port) const {
    std::lock_guard<ChipMutex> g(mutex_);
    return mib_.get(mibCounter(reg, port));
}

void Chip::mibSet(const std::string &reg, int port, uint64_t value) {
    std::lock_guard<ChipMutex> g(mutex_);
    mib_.set(mibCounter(reg, port), value);
}

void Chip::mibAdd(const std::string &reg, int port, uint64_t delta) {
    std::lock_guard<ChipMutex> g(mutex_);
    mib_.add(mibCounter(reg, port), delta);
}

void Chip::reset() {
    std::lock_guard<ChipMutex> g(mutex_);
    regs_.resetAll();
    tables_.reset();
    mib_.clearAll();
    phys_.resetAll();
    refreshPortStatus();
    if (cfp_) cfp_->reset();
    busy_.clear();
    reset_count_++;
}

void Chip::setResetBusyReads(int reads) {
    std::lock_guard<ChipMutex> g(mutex_);
    reset_busy_reads_ = reads < 0 ? 0 : reads;
}

void Chip::busyReads(const std::string &reg, int reads, int instance_index) {
    std::lock_guard<ChipMutex> g(mutex_);
    const RegInstance &r = instance(reg, instance_index);
    for (uint32_t i = 0; i < r.row->num_fields; i++) {
        const char *name = chipdata_field_name(static_cast<int>(r.row->fields[i].field));
        std::string_view n = name ? name : "";
        if (n.ends_with("STDN") || n.ends_with("STRTDN") || n.ends_with("DONE")) {
            armBusy(r, 1ull << r.row->fields[i].bp, reads);
            return;
        }
    }
    throw std::out_of_range(reg + " has no start/done bit");
}

void Chip::busyReads(const std::string &reg, const std::string &field, int reads,
                     int instance_index) {
    std::lock_guard<ChipMutex> g(mutex_);
    const RegInstance &r = instance(reg, instance_index);
    int id = chipdata_field_id(field.c_str());
    const chipdata_field *f = id < 0 ? nullptr : chipdata_reg_field(r.row, id);
    if (f == nullptr) throw std::out_of_range("no field " + field + " in " + reg);
    armBusy(r, ((f->len >= 64 ? 0 : 1ull << f->len) - 1) << f->bp, reads);
}

void Chip::armBusy(const RegInstance &reg, uint64_t mask, int reads) {
    std::erase_if(busy_, [&](const BusyBit &b) { return b.reg == &reg && b.mask == mask; });
    if (reads > 0) busy_.push_back({&reg, mask, reads});
}

// Called after the register's own read side effects, so the injected bit wins.
void Chip::showBusy(uint16_t address, uint8_t *buf, int len) {
    const RegInstance *reg = regs_.at(address);
    if (reg == nullptr || reg->address != address) return;
    for (BusyBit &b : busy_) {
        if (b.reg != reg) continue;
        for (int k = 0; k < len && k < 8; k++)
            buf[k] |= static_cast<uint8_t>(b.mask >> (8 * k));
        b.reads--;
    }
    std::erase_if(busy_, [](const BusyBit &b) { return b.reads <= 0; });
}

int Chip::resetCount() const {
    std::lock_guard<ChipMutex> g(mutex_);
    return reset_count_;
}

int Chip::read(BusPath path, uint8_t page, uint8_t offset, uint8_t *buf, int len) {
    std::lock_guard<ChipMutex> g(mutex_);
    if (!lengthOk(BusOp::Read, address_of(page, offset), len)) return -1;
    fetch(page, offset, buf, len);
    complete(path, page, offset, buf, len);
    return 0;
}

void Chip::fetch(uint8_t page, uint8_t offset, uint8_t *buf, int len) {
    std::lock_guard<ChipMutex> g(mutex_);
    std::memset(buf, 0, len);
    if (PageHandler *handler = pageHandler(page)) {
        handler->read(offset, buf, len);
        return;
    }
    if (mib_.at(address_of(page, offset)) != nullptr) {
        mib_.read(address_of(page, offset), buf, len);
        return;
    }
    regs_.read(address_of(page, offset), buf, len);
    if (!busy_.empty()) showBusy(address_of(page, offset), buf, len);
}

void Chip::complete(BusPath path, uint8_t page, uint8_t offset, const uint8_t *buf, int len) {
    std::lock_guard<ChipMutex> g(mutex_);
    uint16_t address = address_of(page, offset);
    if (lengthOk(BusOp::Read, address, len)) checkWidth(BusOp::Read, address, len);
    log_.add({path, BusOp::Read, page, offset, len, bytes_value(buf, len)});
}

int Chip::write(BusPath path, uint8_t page, uint8_t offset, const uint8_t *buf, int len) {
    std::lock_guard<ChipMutex> g(mutex_);
    uint16_t address = address_of(page, offset);
    if (!lengthOk(BusOp::Write, address, len)) return -1;
    log_.add({path, BusOp::Write, page, offset, len, bytes_value(buf, len)});
    if (len == 2 && eavThresholdAddress(address)) return 0;
    checkWidth(BusOp::Write, address, len);
    if (PageHandler *handler = pageHandler(page)) {
        handler->write(offset, buf, len);
        return 0;
    }
    if (mib_.at(address) != nullptr) {
        mib_.write(address, buf, len);
        return 0;
    }
    RegSpace::WriteResult result = regs_.write(address, buf, len);
    const RegInstance *reg = regs_.at(address);
    const char *name = reg ? chipdata_reg_name(reg->reg_id) : nullptr;
    std::string where = (name ? std::string(name) : hex_address(address));
    if (result.read_only)
        anomalies_.record(AnomalyKind::ReadOnlyWrite, address, "write to read-only " + where);
    if (result.unimplemented) {
        char bits[24];
        std::snprintf(bits, sizeof bits, "0x%llx",
                      static_cast<unsigned long long>(result.unimplemented));
        anomalies_.record(AnomalyKind::UnimplementedBits, address,
                          "write of unimplemented bits " + std::string(bits) + " to " + where);
    }
    return 0;
}

bool Chip::lengthOk(BusOp op, uint16_t address, int len) {
    if (len >= 1 && len <= 8) return true;
    anomalies_.record(AnomalyKind::BadLength, address,
                      std::string(op == BusOp::Write ? "write" : "read") + " of " +
                          std::to_string(len) + " bytes at " + hex_address(address));
    return false;
}

void Chip::checkWidth(BusOp op, uint16_t address, int len) {
    const char *what = op == BusOp::Write ? "write" : "read";
    uint8_t page = static_cast<uint8_t>(address >> 8);
    uint8_t offset = static_cast<uint8_t>(address);
    if (const PageHandler *handler = pageHandler(page)) {
        if (handler->width(offset) != len)
            anomalies_.record(AnomalyKind::WidthMismatch, address,
                              std::string(what) + " of " + std::to_string(len) + " bytes at " +
                                  handler->kind() + " " + hex_address(address));
        return;
    }
    const RegInstance *reg = mib_.at(address);
    if (reg == nullptr) reg = regs_.at(address);
    if (reg == nullptr) {
        anomalies_.record(AnomalyKind::UndescribedAddress, address,
                          std::string(what) + " of undescribed address " + hex_address(address));
        return;
    }
    if (reg->address != address || reg->width != len) {
        const char *name = chipdata_reg_name(reg->reg_id);
        anomalies_.record(AnomalyKind::WidthMismatch, address,
                          std::string(what) + " of " + std::to_string(len) + " bytes at " +
                              hex_address(address) + " (" + (name ? name : "?") + " has " +
                              std::to_string(reg->width) + " bytes at " +
                              hex_address(reg->address) + ")");
    }
}

int Chip::widthAt(uint8_t page, uint8_t offset) const {
    std::lock_guard<ChipMutex> g(mutex_);
    if (const PageHandler *handler = pageHandler(page)) return handler->width(offset);
    const RegInstance *reg = mib_.at(address_of(page, offset));
    if (reg == nullptr) reg = regs_.at(address_of(page, offset));
    return reg && reg->address == address_of(page, offset) ? reg->width : 0;
}

const RegInstance &Chip::instance(const std::string &reg, int index) const {
    int id = chipdata_reg_id(reg.c_str());
    const RegInstance *r = id < 0 ? nullptr : regs_.find(id, index);
    if (r == nullptr)
        throw std::out_of_range("no register " + reg + "[" + std::to_string(index) + "] on " +
                                profile_.name);
    return *r;
}

uint64_t Chip::peek(const std::string &reg, int instance_index) const {
    std::lock_guard<ChipMutex> g(mutex_);
    return regs_.peek(instance(reg, instance_index));
}

void Chip::poke(const std::string &reg, int instance_index, uint64_t value) {
    std::lock_guard<ChipMutex> g(mutex_);
    regs_.poke(instance(reg, instance_index), value);
}

void Chip::setResetValue(const std::string &reg, int instance_index, uint64_t value) {
    std::lock_guard<ChipMutex> g(mutex_);
    regs_.setReset(instance(reg, instance_index), value);
}

uint64_t Chip::peekAt(uint16_t address) const {
    std::lock_guard<ChipMutex> g(mutex_);
    const RegInstance *reg = regs_.at(address);
    if (reg == nullptr) throw std::out_of_range("no register at " + hex_address(address));
    return regs_.peek(*reg);
}

uint16_t Chip::phyPeek(int port, int reg) const {
    std::lock_guard<ChipMutex> g(mutex_);
    if (port < 0 || port >= profile_.num_ports) throw std::out_of_range("no port");
    return phys_.peek(port, reg);
}

bool Chip::phyLoopedBack(int port) const {
    std::lock_guard<ChipMutex> g(mutex_);
    if (port < 0 || port >= profile_.num_ports) throw std::out_of_range("no port");
    return phys_.loopedBack(port);
}

void Chip::phyPoke(int port, int reg, uint16_t value) {
    std::lock_guard<ChipMutex> g(mutex_);
    if (port < 0 || port >= profile_.num_ports) throw std::out_of_range("no port");
    phys_.poke(port, reg, value);
}

void Chip::linkUp(int port, const LinkPartner &partner) {
    std::lock_guard<ChipMutex> g(mutex_);
    if (port < 0 || port >= profile_.num_ports) throw std::out_of_range("no port");
    phys_.connect(port, partner);
    refreshPortStatus();
}

void Chip::linkDown(int port) {
    std::lock_guard<ChipMutex> g(mutex_);
    if (port < 0 || port >= profile_.num_ports) throw std::out_of_range("no port");
    phys_.disconnect(port);
    refreshPortStatus();
}

void Chip::fiberDown(int port) {
    std::lock_guard<ChipMutex> g(mutex_);
    if (port < 0 || port >= profile_.num_ports) throw std::out_of_range("no port");
    phys_.disconnectFiber(port);
    refreshPortStatus();
}

void Chip::fiberStrapSet(int port) {
    std::lock_guard<ChipMutex> g(mutex_);
    if (port < 0 || port >= profile_.num_ports) throw std::out_of_range("no port");
    phys_.phy(port).setFiberStrap(true);
}

void Chip::cableSet(int port, int metres) {
    std::lock_guard<ChipMutex> g(mutex_);
    if (port < 0 || port >= profile_.num_ports) throw std::out_of_range("no port");
    phys_.phy(port).setCableLength(metres);
}

void Chip::cableFaultSet(int port, int pair, PairFault fault, int metres) {
    std::lock_guard<ChipMutex> g(mutex_);
    if (port < 0 || port >= profile_.num_ports) throw std::out_of_range("no port");
    phys_.phy(port).setPairFault(pair, fault, metres);
    refreshPortStatus();
}

LinkState Chip::portLink(int port) const {
    std::lock_guard<ChipMutex> g(mutex_);
    if (port < 0 || port >= profile_.num_ports) throw std::out_of_range("no port");
    return phys_.link(port);
}

}  // namespace sim
