#include "sim/mac_core.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "chipdata/ids.h"

namespace sim {

namespace {

constexpr uint32_t kDevControl = 0x000;
constexpr uint32_t kIntStatus = 0x020;
constexpr uint32_t kIntMask = 0x024;
constexpr uint32_t kXmtControl = 0x200;
constexpr uint32_t kXmtAddr = 0x204;
constexpr uint32_t kXmtPtr = 0x208;
constexpr uint32_t kXmtStatus = 0x20C;
constexpr uint32_t kRcvControl = 0x210;
constexpr uint32_t kRcvAddr = 0x214;
constexpr uint32_t kRcvPtr = 0x218;
constexpr uint32_t kRcvStatus = 0x21C;
constexpr uint32_t kMiiData = 0x414;
constexpr uint32_t kEmacIntStatus = 0x41C;
constexpr uint32_t kCamDataLow = 0x420;
constexpr uint32_t kCamDataHigh = 0x424;
constexpr uint32_t kCamControl = 0x428;
constexpr uint32_t kEnetControl = 0x42C;
constexpr uint32_t kMibControl = 0x438;
constexpr uint32_t kMibFirst = 0x500;
constexpr uint32_t kMibLast = 0x5D8;
constexpr uint32_t kTxMib = 0x500;
constexpr uint32_t kRxMib = 0x580;
constexpr uint32_t kRxMissed = 0x5BC;
constexpr uint32_t kSbImState = 0xF90;
constexpr uint32_t kSbStateLow = 0xF98;
constexpr uint32_t kSbIdHigh = 0xFFC;

constexpr uint32_t kIntDescError = 0x400;
constexpr uint32_t kIntDataError = 0x800;
constexpr uint32_t kIntRxUnderflow = 0x2000;
constexpr uint32_t kIntRxOverflow = 0x4000;
constexpr uint32_t kIntRxDone = 0x10000;
constexpr uint32_t kIntTxDone = 0x1000000;

constexpr uint32_t kCtrlCount = 0x1FFF;
constexpr uint32_t kCtrlEot = 0x10000000;
constexpr uint32_t kCtrlIoc = 0x20000000;
constexpr uint32_t kCtrlEof = 0x40000000;
constexpr uint32_t kCtrlSof = 0x80000000;
constexpr uint32_t kStateDisabled = 0;
constexpr uint32_t kStateIdle = 0x2000;
constexpr uint32_t kStateStopped = 0x3000;
constexpr int kMaxRing = 512;

// Internal PHY present and held in reset until the driver releases it.
constexpr uint32_t kDevControlReset = 0x400 | 0x8000;
// Core in reset with its clock forced, as after power-up.
constexpr uint32_t kSbStateLowReset = 0x30001;

constexpr std::array<uint16_t, 32> phy_reset_values() {
    std::array<uint16_t, 32> p{};
    p[0] = 0x3100;  // autonegotiation, 100 Mb/s, full duplex
    p[1] = 0x782D;  // link up, autonegotiation complete
    p[2] = 0x0022;
    p[3] = 0x5521;
    p[4] = 0x01E1;
    p[5] = 0x45E1;  // partner: 100 Mb/s full duplex
    return p;
}

uint32_t le32(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace

MacCore::MacCore(DmaArena &arena, Anomalies &anomalies, uint16_t device_id)
    : arena_(arena), anomalies_(anomalies), device_id_(device_id) {
    reg(kDevControl) = kDevControlReset;
    reg(kSbStateLow) = kSbStateLowReset;
    reg(kSbIdHigh) = SB_ENET_CORE_ID << 4;
    phy_ = phy_reset_values();
}

void MacCore::setTransmitSink(std::function<void(std::vector<uint8_t>)> sink) {
    std::lock_guard<std::mutex> g(mutex_);
    sink_ = std::move(sink);
}

void MacCore::setIrqNotify(std::function<void()> notify) {
    std::lock_guard<std::mutex> g(mutex_);
    notify_ = std::move(notify);
}

void MacCore::setRxRoomNotify(std::function<void()> notify) {
    std::lock_guard<std::mutex> g(mutex_);
    room_notify_ = std::move(notify);
}

void MacCore::finish(Pending &out) {
    std::function<void(std::vector<uint8_t>)> sink;
    std::function<void()> notify, room_notify;
    {
        std::lock_guard<std::mutex> g(mutex_);
        sink = sink_;
        notify = notify_;
        room_notify = room_notify_;
    }
    for (auto &frame : out.tx) {
        if (sink) sink(std::move(frame));
    }
    if (out.notify && notify) notify();
    if (out.room_grew && room_notify) room_notify();
}

// Counts the posted descriptors from the receive channel's current one up to
// the driver's pointer, as the channel would walk them.
void MacCore::publishRxRoom(Pending &out) {
    int room = -1;
    if (reg(kRcvControl) & 1) {
        room = 0;
        uint32_t index = (reg(kRcvStatus) & 0xFFF) / 8;
        const uint32_t posted = (reg(kRcvPtr) & 0xFFF) / 8;
        while (index != posted && room < kMaxRing) {
            const auto *d =
                static_cast<const uint8_t *>(arena_.fromBus(reg(kRcvAddr) + index * 8, 8));
            if (d == nullptr) break;
            room++;
            index = (le32(d) & kCtrlEot) ? 0 : index + 1;
        }
    }
    const int before = rx_room_.exchange(room);
    if (room > before || (room < 0 && before >= 0)) out.room_grew = true;
}

bool MacCore::irqPending() {
    std::lock_guard<std::mutex> g(mutex_);
    return (reg(kIntStatus) & reg(kIntMask)) != 0;
}

uint32_t MacCore::peek(uint32_t offset) {
    std::lock_guard<std::mutex> g(mutex_);
    return offset < kRegSpace ? reg(offset & ~3u) : 0;
}

uint16_t MacCore::phyReg(int r) {
    std::lock_guard<std::mutex> g(mutex_);
    return phy_[r & 31];
}

void MacCore::setPhyReg(int r, uint16_t value) {
    std::lock_guard<std::mutex> g(mutex_);
    phy_[r & 31] = value;
}

std::array<uint8_t, 6> MacCore::camEntry(int index) {
    std::lock_guard<std::mutex> g(mutex_);
    auto it = cam_.find(index);
    return it == cam_.end() ? std::array<uint8_t, 6>{} : it->second;
}

void MacCore::rxFifoOverflow() {
    Pending out;
    {
        std::lock_guard<std::mutex> g(mutex_);
        reg(kIntStatus) |= kIntRxOverflow;
        out.notify = true;
    }
    finish(out);
}

void MacCore::rxFlags(uint16_t flags) {
    std::lock_guard<std::mutex> g(mutex_);
    rx_flags_ = flags;
}

void MacCore::miiNoDone(bool on) {
    std::lock_guard<std::mutex> g(mutex_);
    mii_no_done_ = on;
}

uint32_t MacCore::read(uint32_t offset) {
    std::lock_guard<std::mutex> g(mutex_);
    if (offset >= kRegSpace || (offset & 3) != 0) {
        anomalies_.record(AnomalyKind::UndescribedAddress, offset, "MAC register read");
        return 0;
    }
    uint32_t v = reg(offset);
    if (offset >= kMibFirst && offset <= kMibLast && (reg(kMibControl) & 1)) reg(offset) = 0;
    return v;
}

void MacCore::write(uint32_t offset, uint32_t value) {
    Pending out;
    {
        std::lock_guard<std::mutex> g(mutex_);
        writeLocked(offset, value, out);
    }
    finish(out);
}

void MacCore::writeLocked(uint32_t offset, uint32_t value, Pending &out) {
    if (offset >= kRegSpace || (offset & 3) != 0) {
        anomalies_.record(AnomalyKind::UndescribedAddress, offset, "MAC register write");
        return;
    }
    switch (offset) {
        case kIntStatus:
            reg(kIntStatus) &= ~value;
            out.notify = true;
            return;
        case kIntMask:
            reg(kIntMask) = value;
            out.notify = true;
            return;
        case kEmacIntStatus:
            reg(offset) &= ~value;
            return;
        case kMiiData:
            mii(value);
            return;
        case kCamControl:
            if (value & 0x8) {
                uint32_t lo = reg(kCamDataLow), hi = reg(kCamDataHigh);
                int index = static_cast<int>((value >> 16) & 0x3F);
                if (hi & 0x10000) {
                    cam_[index] = {static_cast<uint8_t>(hi >> 8),  static_cast<uint8_t>(hi),
                                   static_cast<uint8_t>(lo >> 24), static_cast<uint8_t>(lo >> 16),
                                   static_cast<uint8_t>(lo >> 8),  static_cast<uint8_t>(lo)};
                } else {
                    cam_.erase(index);
                }
            }
            // The strobe completes at once: neither it nor busy stays set.
            reg(offset) = value & ~(0x8u | 0x80000000u);
            return;
        case kEnetControl:
            reg(offset) = (value & 0x4) ? value & ~0x5u : value;
            return;
        case kXmtControl:
        case kRcvControl:
            // Enabling makes the channel idle, disabling stops it.
            reg(offset) = value;
            reg(offset + 0xC) = (value & 1) ? kStateIdle : kStateDisabled;
            if (offset == kXmtControl) partial_.clear();
            if (offset == kRcvControl) publishRxRoom(out);
            return;
        case kXmtAddr:
        case kRcvAddr:
            // A new ring starts at its first descriptor.
            reg(offset) = value;
            reg(offset + 0x8) &= ~0xFFFu;
            if (offset == kRcvAddr) publishRxRoom(out);
            return;
        case kXmtPtr:
            reg(offset) = value;
            transmit(out);
            return;
        case kRcvPtr:
            reg(offset) = value;
            publishRxRoom(out);
            return;
        case kXmtStatus:
        case kRcvStatus:
        case kSbIdHigh:
            anomalies_.record(AnomalyKind::ReadOnlyWrite, offset, "MAC status register write");
            return;
        case kSbStateLow:
            reg(offset) = value;
            if (value & 1) {
                // Core reset: every MAC register back to its reset value.
                for (uint32_t a = 0; a < kSbImState; a += 4)
                    reg(a) = 0;
                reg(kDevControl) = kDevControlReset;
                cam_.clear();
                partial_.clear();
                out.notify = true;
                publishRxRoom(out);
            }
            return;
        default:
            reg(offset) = value;
    }
}

uint32_t MacCore::miiOperations() {
    std::lock_guard<std::mutex> g(mutex_);
    return mii_ops_;
}

void MacCore::mii(uint32_t value) {
    mii_ops_++;
    int phy = static_cast<int>((value >> 23) & 0x1F);
    int r = static_cast<int>((value >> 18) & 0x1F);
    uint32_t op = value >> 28;
    uint32_t data = value & 0xFFFF;
    if (op == 0x6) {
        data = phy == kPhyAddress ? phy_[r] : 0xFFFF;
    } else if (op == 0x5 && phy == kPhyAddress) {
        // The reset bit clears itself.
        phy_[r] = static_cast<uint16_t>(r == 0 ? data & ~0x8000u : data);
    }
    reg(kMiiData) = (value & 0xFFFF0000) | data;
    if (!mii_no_done_) reg(kEmacIntStatus) |= 1;
}

void MacCore::countFrame(uint32_t base, size_t bytes, const uint8_t *da) {
    static constexpr size_t kBuckets[] = {64, 127, 255, 511, 1023};
    auto n = static_cast<uint32_t>(bytes);
    reg(base + 0x0) += n;
    reg(base + 0x4) += 1;
    reg(base + 0x8) += n;
    reg(base + 0xC) += 1;
    if (da != nullptr && (da[0] & 1)) {
        bool bcast = std::memcmp(da, "\xff\xff\xff\xff\xff\xff", 6) == 0;
        reg(base + (bcast ? 0x10 : 0x14)) += 1;
    }
    uint32_t bucket = 5;
    for (uint32_t i = 0; i < 5; i++) {
        if (bytes <= kBuckets[i]) {
            bucket = i;
            break;
        }
    }
    reg(base + 0x18 + 4 * bucket) += 1;
}

void MacCore::transmit(Pending &out) {
    uint32_t &status = reg(kXmtStatus);
    if (!(reg(kXmtControl) & 1)) return;
    uint32_t index = (status & 0xFFF) / 8;
    uint32_t end = (reg(kXmtPtr) & 0xFFF) / 8;
    uint32_t state = kStateIdle;
    for (int steps = 0; index != end && steps < kMaxRing; steps++) {
        uint32_t at = reg(kXmtAddr) + index * 8;
        const auto *d = static_cast<const uint8_t *>(arena_.fromBus(at, 8));
        if (d == nullptr) {
            anomalies_.record(AnomalyKind::DmaOutOfArena, at, "transmit descriptor outside DMA");
            reg(kIntStatus) |= kIntDescError;
            state = kStateStopped;
            break;
        }
        uint32_t ctrl = le32(d), addr = le32(d + 4);
        uint32_t len = ctrl & kCtrlCount;
        if (ctrl & kCtrlSof) partial_.clear();
        if (len > 0) {
            const auto *data = static_cast<const uint8_t *>(arena_.fromBus(addr, len));
            if (data == nullptr) {
                anomalies_.record(AnomalyKind::DmaOutOfArena, addr, "transmit buffer outside DMA");
                reg(kIntStatus) |= kIntDataError;
                state = kStateStopped;
                break;
            }
            partial_.insert(partial_.end(), data, data + len);
        }
        if (ctrl & kCtrlEof) {
            countFrame(kTxMib, partial_.size(), partial_.size() >= 6 ? partial_.data() : nullptr);
            out.tx.push_back(std::move(partial_));
            partial_.clear();
        }
        if (ctrl & kCtrlIoc) reg(kIntStatus) |= kIntTxDone;
        index = (ctrl & kCtrlEot) ? 0 : index + 1;
    }
    status = state | (index * 8);
    out.notify = true;
}

void MacCore::receiveFromSwitch(std::span<const uint8_t> frame) {
    Pending out;
    {
        std::lock_guard<std::mutex> g(mutex_);
        out.notify = true;
        uint32_t control = reg(kRcvControl);
        uint32_t offset = (control >> 1) & 0x7F;
        uint32_t index = (reg(kRcvStatus) & 0xFFF) / 8;
        uint32_t posted = (reg(kRcvPtr) & 0xFFF) / 8;
        // The buffers the frame needs, all posted.
        struct Slot {
            uint8_t *data;
            uint32_t size;
            uint32_t ctrl;
        };
        std::vector<Slot> slots;
        size_t room = 0;
        bool ok = (control & 1) != 0;
        while (ok && (slots.empty() || room < frame.size() + offset)) {
            if (index == posted || slots.size() >= static_cast<size_t>(kMaxRing)) {
                ok = false;
                break;
            }
            uint32_t at = reg(kRcvAddr) + index * 8;
            const auto *d = static_cast<const uint8_t *>(arena_.fromBus(at, 8));
            uint32_t ctrl = d ? le32(d) : 0;
            uint32_t size = ctrl & kCtrlCount;
            auto *data = d ? static_cast<uint8_t *>(arena_.fromBus(le32(d + 4), size)) : nullptr;
            if (data == nullptr || size < offset) {
                anomalies_.record(AnomalyKind::DmaOutOfArena, at, "receive descriptor unusable");
                reg(kIntStatus) |= kIntDescError;
                ok = false;
                break;
            }
            slots.push_back({data, size, ctrl});
            room += size;
            index = (ctrl & kCtrlEot) ? 0 : index + 1;
        }
        if (!ok) {
            reg(kRxMissed) += 1;
            reg(kIntStatus) |= kIntRxUnderflow;
        } else {
            std::memset(slots[0].data, 0, offset);
            auto count = static_cast<uint16_t>(frame.size());
            std::memcpy(slots[0].data, &count, 2);
            std::memcpy(slots[0].data + 2, &rx_flags_, 2);
            size_t done = 0;
            for (size_t s = 0; s < slots.size() && done < frame.size(); s++) {
                uint32_t skip = s == 0 ? offset : 0;
                size_t n = std::min<size_t>(slots[s].size - skip, frame.size() - done);
                std::memcpy(slots[s].data + skip, frame.data() + done, n);
                done += n;
            }
            reg(kRcvStatus) = (reg(kRcvStatus) & 0xF000) | (index * 8);
            reg(kIntStatus) |= kIntRxDone;
            countFrame(kRxMib, frame.size(), frame.size() >= 6 ? frame.data() : nullptr);
            rx_room_.store(std::max(0, rx_room_.load() - static_cast<int>(slots.size())));
        }
    }
    finish(out);
}

uint32_t MacCore::pciConfRead(uint32_t offset) {
    std::lock_guard<std::mutex> g(mutex_);
    switch (offset) {
        case 0x00:
            return static_cast<uint32_t>(device_id_) << 16 | CHIP_VENDOR_ID;
        case 0x04:
            return pci_command_;
        default:
            return 0;
    }
}

void MacCore::pciConfWrite(uint32_t offset, uint32_t value) {
    std::lock_guard<std::mutex> g(mutex_);
    // Status bits are cleared by writing them back.
    if (offset == 0x04) pci_command_ = (value & 0xFFFF) | (pci_command_ & ~value & 0xFFFF0000);
}

}  // namespace sim
