// The per-unit stubs, one per operation of the API list.
#include "dispatch_internal.h"
#include "dxp.h"

#define DXP_API(slot, name, ret, params, args)                 \
    ret dxp_##name params {                                    \
        const dxp_dispatch_t *table = dxp_unit_dispatch(unit); \
        if (table == nullptr) return DXP_E_UNIT;               \
        if (table->name == nullptr) return DXP_E_UNAVAIL;      \
        return table->name args;                               \
    }
#define DXP_API_FRONT(slot, name, ret, params, args)  // written by hand
#include "dxp_api_list.h"
