#include "sim/dma_arena.h"

#include <sys/mman.h>

#include <new>

namespace sim {

namespace {

size_t alignment_for(size_t size) {
    size_t a = 16;
    while (a < size && a < 4096)
        a <<= 1;
    return a;
}

}  // namespace

DmaArena::DmaArena(size_t bytes) {
    // The bus addresses must stay below 4 GB.
    if (bytes == 0 || bytes > 0xffffffffu - kBusBase) bytes = 16u << 20;
    void *m = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) throw std::bad_alloc();
    base_ = static_cast<uint8_t *>(m);
    size_ = bytes;
}

DmaArena::~DmaArena() {
    munmap(base_, size_);
}

void *DmaArena::alloc(size_t size) {
    if (size == 0 || size > size_) return nullptr;
    size_t align = alignment_for(size);
    std::lock_guard<std::mutex> g(mutex_);
    size_t candidate = 0;
    for (const auto &[offset, length] : used_) {
        if (candidate + size <= offset) break;
        size_t end = offset + length;
        candidate = (end + align - 1) / align * align;
    }
    if (candidate + size > size_) return nullptr;
    used_[candidate] = size;
    return base_ + candidate;
}

bool DmaArena::free(void *p) {
    if (!contains(p, 1)) return false;
    std::lock_guard<std::mutex> g(mutex_);
    return used_.erase(static_cast<uint8_t *>(p) - base_) == 1;
}

bool DmaArena::contains(const void *p, size_t len) const {
    auto addr = reinterpret_cast<uintptr_t>(p);
    auto base = reinterpret_cast<uintptr_t>(base_);
    return addr >= base && addr - base < size_ && len <= size_ - (addr - base);
}

uint32_t DmaArena::toBus(const void *p) const {
    if (!contains(p, 1)) return 0;
    return kBusBase + static_cast<uint32_t>(static_cast<const uint8_t *>(p) - base_);
}

void *DmaArena::fromBus(uint32_t bus, size_t len) const {
    if (bus < kBusBase) return nullptr;
    size_t offset = bus - kBusBase;
    if (offset >= size_ || len > size_ - offset) return nullptr;
    return base_ + offset;
}

size_t DmaArena::bytesInUse() const {
    std::lock_guard<std::mutex> g(mutex_);
    size_t total = 0;
    for (const auto &[offset, length] : used_)
        total += length;
    return total;
}

}  // namespace sim
