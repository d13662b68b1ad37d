// DMA memory of the bound board, for the platform's DMA allocator: while a
// board is bound every DMA block comes from its arena, so the model sees what
// the firmware writes.
#pragma once

#include <cstddef>

// Null when no board is bound or its arena is full.
void *board_dma_alloc(size_t size);
// False for a block that is not the board's.
bool board_dma_free(void *p);
bool board_dma_bound(void);
