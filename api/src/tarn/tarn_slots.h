// The operations of the "tarn" family that are implemented: one X(name) per
// API operation whose dxp_tarn_<name> is defined, as in
// "#define DXP_TARN_IMPLEMENTED(X) X(port_enable_get) X(port_enable_set)"
// (one entry a line, joined by backslashes). Every other slot of the family's
// dispatch table answers -16 "Feature unavailable".
#pragma once

#define DXP_TARN_IMPLEMENTED(X)
