// The DoS routines behind the family's switch controls.
#pragma once

// Field-entry realisation; port -1 stands for all ports.
int dxp_tarn_switch_dos_fp_set(int unit, int port, int type, int value);
int dxp_tarn_switch_dos_fp_get(int unit, int port, int type, int *value);
