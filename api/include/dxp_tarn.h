// The "tarn" chip family behind the per-unit dispatch table: one dxp_tarn_<op>
// per API operation (declared from the API list, defined by the family's
// modules as they are built) and the table itself, whose unfilled slots
// answer -16 "Feature unavailable".
#pragma once

#include "dxp.h"

extern const dxp_dispatch_t dxp_tarn_dispatch;

#define DXP_API(slot, name, ret, params, args) ret dxp_tarn_##name params;
#include "dxp_api_list.h"
