// Shared by the port settings page and its settings item.
#pragma once

// The speed/duplex code (1-5) last applied by the form to a port with
// auto-negotiation off, indexed by user port - 1; 0 when none was.
void port_speed_code_set(int index, int code);
int port_speed_code_get(int index);
// Speed and duplex of a code; false for a code other than 1-5.
bool port_speed_of_code(int code, int *speed, int *duplex);
