// DMA memory of the board: one mapped region whose bus addresses are a fixed
// base plus the offset, so they fit the 32-bit address words of DMA
// descriptors on a 64-bit host. Translation refuses addresses outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>

namespace sim {

class DmaArena {
  public:
    static constexpr uint32_t kBusBase = 0x10000000;

    explicit DmaArena(size_t bytes);
    ~DmaArena();
    DmaArena(const DmaArena &) = delete;
    DmaArena &operator=(const DmaArena &) = delete;

    // Blocks are aligned to the next power of two of their size, between 16
    // and 4096 bytes, so descriptor rings keep their natural alignment.
    void *alloc(size_t size);
    bool free(void *p);  // false for a pointer that is not a block of the arena

    // 0 for a pointer outside the arena.
    uint32_t toBus(const void *p) const;
    // Null unless [bus, bus + len) lies inside the arena.
    void *fromBus(uint32_t bus, size_t len) const;
    bool contains(const void *p, size_t len) const;

    size_t size() const { return size_; }
    size_t bytesInUse() const;

  private:
    uint8_t *base_ = nullptr;
    size_t size_ = 0;
    mutable std::mutex mutex_;
    std::map<size_t, size_t> used_;  // offset -> size
};

}  // namespace sim
