// Tagged heap and DMA memory. Every block carries a small header with its
// size and tag so that use per tag can be reported.
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "../board/board_dma.h"
#include "sal.h"
#include "sal_host.h"

namespace {

constexpr uint32_t kHeapMagic = 0x5a1a110c;
constexpr uint32_t kDmaMagic = 0x5a1d3a00;
constexpr uint32_t kArenaMagic = 0x5a1d3a01;  // from the bound board's arena

struct alignas(16) BlockHeader {
    uint32_t magic;
    uint32_t reserved;
    size_t size;      // bytes asked for (DMA: whole mapping)
    const char *tag;  // the accounting's own copy: callers may pass built texts
};

std::mutex accounting_lock;
std::map<std::string, size_t> &bytes_by_tag() {
    static auto *m = new std::map<std::string, size_t>;
    return *m;
}

std::atomic<unsigned> fail_countdown{0};

bool injected_failure() {
    unsigned n = fail_countdown.load();
    while (n != 0) {
        if (fail_countdown.compare_exchange_weak(n, n - 1)) return n == 1;
    }
    return false;
}

// Adds size to the tag's count; returns the tag's text as the map keeps it.
const char *account(const char *tag, size_t size, bool add) {
    std::lock_guard<std::mutex> g(accounting_lock);
    auto &entry = *bytes_by_tag().try_emplace(tag ? tag : "", 0).first;
    entry.second = add ? entry.second + size : (entry.second >= size ? entry.second - size : 0);
    return entry.first.c_str();
}

}  // namespace

void sal_alloc_fail_after(unsigned n) {
    fail_countdown.store(n);
}

void *sal_alloc(size_t size, const char *tag) {
    if (injected_failure()) return nullptr;
    if (size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    auto *h = static_cast<BlockHeader *>(std::calloc(1, sizeof(BlockHeader) + size));
    if (h == nullptr) return nullptr;
    h->magic = kHeapMagic;
    h->size = size;
    h->tag = account(tag, size, true);
    return h + 1;
}

void sal_free(void *p) {
    if (p == nullptr) return;
    auto *h = static_cast<BlockHeader *>(p) - 1;
    if (h->magic != kHeapMagic) {
        sal_assert("sal_free of a block not from sal_alloc", __FILE__, __LINE__);
        return;
    }
    h->magic = 0;
    account(h->tag, h->size, false);
    std::free(h);
}

void *sal_dma_alloc(size_t size, const char *tag) {
    if (injected_failure()) return nullptr;
    if (board_dma_bound()) {
        if (size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
        auto *h = static_cast<BlockHeader *>(board_dma_alloc(sizeof(BlockHeader) + size));
        if (h == nullptr) return nullptr;
        std::memset(h, 0, sizeof(BlockHeader) + size);
        h->magic = kArenaMagic;
        h->size = size;
        h->tag = account(tag, size, true);
        h->reserved = static_cast<uint32_t>(size);
        return h + 1;
    }
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    if (size > SIZE_MAX - sizeof(BlockHeader) - page) return nullptr;
    size_t total = (size + sizeof(BlockHeader) + page - 1) / page * page;
    // Descriptors hold 32-bit bus addresses, so DMA memory lives below 4 GB.
    void *m = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT,
                   -1, 0);
    if (m == MAP_FAILED) return nullptr;
    auto *h = static_cast<BlockHeader *>(m);
    h->magic = kDmaMagic;
    h->size = total;
    h->tag = account(tag, size, true);
    h->reserved = static_cast<uint32_t>(size);
    return h + 1;
}

void sal_dma_free(void *p) {
    if (p == nullptr) return;
    auto *h = static_cast<BlockHeader *>(p) - 1;
    if (h->magic == kArenaMagic) {
        h->magic = 0;
        account(h->tag, h->reserved, false);
        if (!board_dma_free(h)) sal_assert("sal_dma_free after the board went", __FILE__, __LINE__);
        return;
    }
    if (h->magic != kDmaMagic) {
        sal_assert("sal_dma_free of a block not from sal_dma_alloc", __FILE__, __LINE__);
        return;
    }
    account(h->tag, h->reserved, false);
    munmap(h, h->size);
}

size_t sal_alloc_bytes_in_use(const char *tag) {
    std::lock_guard<std::mutex> g(accounting_lock);
    if (tag != nullptr) {
        auto it = bytes_by_tag().find(tag);
        return it == bytes_by_tag().end() ? 0 : it->second;
    }
    size_t total = 0;
    for (auto &[name, bytes] : bytes_by_tag())
        total += bytes;
    return total;
}

char *sal_strdup(const char *s) {
    if (s == nullptr) return nullptr;
    size_t n = std::strlen(s) + 1;
    auto *p = static_cast<char *>(sal_alloc(n, "sal_strdup"));
    if (p != nullptr) std::memcpy(p, s, n);
    return p;
}

int sal_memcmp(const void *a, const void *b, size_t n) {
    return std::memcmp(a, b, n);
}
