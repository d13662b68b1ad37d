// Caller-side entry width of the driver memories (service slot 11).
#include "drv_if.h"
#include "soc_error.h"

int drv_mem_width_get(int, uint32_t mem, uint32_t *width) {
    uint32_t bytes;
    switch (mem) {
        case DRV_MEM_ARL:
        case DRV_MEM_GEN:
        case DRV_MEM_MARL:
            bytes = 12;
            break;
        case DRV_MEM_VLAN:
        case DRV_MEM_MSTP:
        case DRV_MEM_MCAST:
            bytes = 24;
            break;
        case DRV_MEM_SECMAC:
            bytes = 8;
            break;
        default:
            return SOC_E_PARAM;
    }
    *width = bytes;
    return 0;
}
