// The agent's MIB modules. C++ names in their own namespace: net-snmp's MIB
// library exports C functions of the same names.
#pragma once

namespace snmpmib {
void init_system_mib();
void init_interfaces();
void init_dot3();
// RMON-lite: the probe's tables under 1.3.6.1.2.1.16.
void init_rmonlite();
// Every module the agent serves, in order: system, sysORTable, interfaces,
// dot3, RMON-lite, snmp, then the SNMPv3 engine, USM and VACM modules.
void init_mib_modules();
// Sends the linkDown and linkUp traps of the link changes seen since the
// last call; on the agent thread, with the agent lock held.
void send_link_traps();
}  // namespace snmpmib
