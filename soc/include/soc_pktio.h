// The unit life cycle's calls into the CPU packet path. The packet path sits
// above this layer and registers its operations at start-up; until it does,
// unit init sets nothing up and the CPU-port controller gets its empty unit
// record.
#pragma once

struct soc_pktio_ops {
    int (*dma_init)(int unit);   // management port set-up; 0 or non-zero
    int (*dma_attach)(int dev);  // the CPU-port controller's device
    int (*dma_detach)(int dev);
};
void soc_pktio_register(const soc_pktio_ops *ops);  // null: none

int soc_tarn_dma_init(int unit);
int soc_tarn_dma_attach(int dev);
int soc_tarn_dma_detach(int dev);
// Forces the port's MAC link state in the chip (STS_OVERRIDE_P or
// STS_OVERRIDE_GP); -4 for a port that is neither fast Ethernet nor gigabit.
int soc_link_sts_override_set(int unit, int link, int port);
