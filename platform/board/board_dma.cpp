#include "board_dma.h"

#include "sim/host_binding.h"

void *board_dma_alloc(size_t size) {
    return sim_dma_alloc(size);
}

bool board_dma_free(void *p) {
    return sim_dma_free(p) == 0;
}

bool board_dma_bound(void) {
    return sim_bound() != 0;
}
