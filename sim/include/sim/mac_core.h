// The CPU-port Ethernet MAC core: registers, the transmit and receive
// descriptor rings in the board's DMA memory, the MIB block, the address CAM,
// the MII engine with its PHY at address 1, the backplane core registers and
// the interrupt level. Frames the CPU transmits go to the transmit sink; the
// switch's management port hands frames to receiveFromSwitch.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <vector>

#include "sim/anomalies.h"
#include "sim/dma_arena.h"

namespace sim {

class MacCore {
  public:
    static constexpr uint32_t kRegSpace = 0x1000;
    static constexpr int kPhyAddress = 1;
    static constexpr uint32_t kRxHeaderBytes = 30;

    MacCore(DmaArena &arena, Anomalies &anomalies, uint16_t device_id);
    MacCore(const MacCore &) = delete;
    MacCore &operator=(const MacCore &) = delete;

    uint32_t read(uint32_t offset);
    void write(uint32_t offset, uint32_t value);
    uint32_t pciConfRead(uint32_t offset);
    void pciConfWrite(uint32_t offset, uint32_t value);

    // Frames taken from the transmit ring, as the CPU wrote them.
    void setTransmitSink(std::function<void(std::vector<uint8_t>)> sink);
    // A frame of the switch (management tag, FCS) into the next posted
    // receive buffers; counted as missed when none is posted.
    void receiveFromSwitch(std::span<const uint8_t> frame);
    // Receive buffers posted and not yet filled; -1 while reception is off
    // (the MAC then takes every frame and misses it). Read without the lock:
    // the switch asks it under its own.
    int rxRoom() const { return rx_room_.load(); }
    // Called (outside the model's lock) when rxRoom grew or reception went off.
    void setRxRoomNotify(std::function<void()> notify);

    // intstatus & intmask is non-zero.
    bool irqPending();
    // Called (outside the model's lock) whenever the level may have changed.
    void setIrqNotify(std::function<void()> notify);

    // Read-back without side effects.
    uint32_t peek(uint32_t offset);
    uint16_t phyReg(int reg);
    std::array<uint8_t, 6> camEntry(int index);
    uint32_t miiOperations();  // MII reads and writes so far

    // Faults.
    void rxFifoOverflow();                    // raises the receive-overflow status
    void rxFlags(uint16_t flags);             // receive flags of the next frames
    void miiNoDone(bool on);                  // MII operations never complete
    void setPhyReg(int reg, uint16_t value);  // e.g. link status

  private:
    struct Pending {
        std::vector<std::vector<uint8_t>> tx;
        bool notify = false;
        bool room_grew = false;
    };
    uint32_t &reg(uint32_t offset) { return regs_[offset / 4]; }
    void writeLocked(uint32_t offset, uint32_t value, Pending &out);
    void transmit(Pending &out);
    void mii(uint32_t value);
    void countFrame(uint32_t base, size_t bytes, const uint8_t *da);
    void finish(Pending &out);
    void publishRxRoom(Pending &out);

    DmaArena &arena_;
    Anomalies &anomalies_;
    uint16_t device_id_;
    std::mutex mutex_;
    std::array<uint32_t, kRegSpace / 4> regs_{};
    std::array<uint16_t, 32> phy_{};
    std::map<int, std::array<uint8_t, 6>> cam_;
    std::vector<uint8_t> partial_;  // transmit frame gathered so far
    uint32_t pci_command_ = 0;
    uint16_t rx_flags_ = 0;
    bool mii_no_done_ = false;
    uint32_t mii_ops_ = 0;
    std::function<void(std::vector<uint8_t>)> sink_;
    std::function<void()> notify_;
    std::function<void()> room_notify_;
    std::atomic<int> rx_room_{-1};
};

}  // namespace sim
