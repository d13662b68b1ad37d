// Shared by the port settings page and its settings item.
#pragma once

#include <cstdint>

// The speed/duplex code (1-5) last applied by the form to a port with
// auto-negotiation off, indexed by user port - 1; 0 when none was.
void port_speed_code_set(int index, int code);
int port_speed_code_get(int index);
// The code the port's form shows for a user port: what a forced port runs
// (the forced gigabit state 5), the link's speed while it negotiates.
int port_speed_code_running(int port);
// Flow control (1 on) as a user port runs it, as its form shows it.
int port_flowctrl_running(int port);
// Speed and duplex of a code; false for a code other than 1-5.
bool port_speed_of_code(int code, int *speed, int *duplex);
// The code of a speed and duplex (10 half for an unknown speed).
int port_code_of_speed(int speed, int duplex);

// Every speed bit of an advertisement, 10 Mb/s to 10 Gb/s.
constexpr uint32_t kPortAdvertSpeeds = 0x600003FF;

// The advertisement a port takes: its speeds cut to those the port (its PHY
// and MAC) runs, or all of those when none is left; the other bits as given.
// First boot, a load and the form's Apply all advertise through it, so they
// agree on what an unchanged port advertises.
uint32_t port_advert_runnable(int lport, uint32_t advert);
