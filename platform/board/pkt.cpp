// Stack packet buffers from the tagged heap.
#include "pkt.h"

#include "sal.h"

static_assert(sizeof(pkt) + PKT_DATA_MAX <= PKT_BLOCK_SIZE, "packet header too large");

pkt *pkt_get(size_t len) {
    if (len > PKT_DATA_MAX) return nullptr;
    auto *p = static_cast<pkt *>(sal_alloc(PKT_BLOCK_SIZE, "pkt"));
    if (p == nullptr) return nullptr;
    p->next = nullptr;
    p->data = reinterpret_cast<uint8_t *>(p) + (PKT_BLOCK_SIZE - PKT_DATA_MAX);
    p->len = static_cast<uint32_t>(len);
    p->flags = 0;
    return p;
}

void pkt_free(pkt *p) {
    while (p != nullptr) {
        pkt *next = p->next;
        sal_free(p);
        p = next;
    }
}
