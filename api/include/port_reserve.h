// Ports reserved by a running self-test. While a self-test holds a port, the
// managers (web, SNMP, telnet, settings load, the monitor's port commands)
// are refused their changes to it with PORT_RESERVE_MESSAGE and change
// nothing: the test's own restore would undo their change on the chip while
// their records still showed it.
//
// Lock order: the settings lock, then this reservation's lock, then a
// feature manager's lock, then the unit's API lock. A changer that applies
// several settings to one port holds the reservation's lock across them
// (port_reserve_hold / port_reserve_unhold), so a self-test cannot take the
// port half-way through; the self-test itself takes the lock only to mark
// and unmark its ports, never across its run.
#pragma once

#include "dxp_types.h"

#define PORT_RESERVE_MESSAGE "port under self-test"

// Marks the unit's ports as held by the named self-test: DXP_E_BUSY when one
// of them is held already (nothing is marked then).
int port_reserve(int unit, dxp_pbmp_t ports, const char *owner);
// Gives the unit's ports back; ports not held are ignored.
void port_reserve_release(int unit, dxp_pbmp_t ports);
// Whether a self-test holds the port now.
bool port_reserved(int unit, int port);
bool port_reserved_lport(int lport);
// The self-test that holds the port, or nullptr.
const char *port_reserve_owner(int unit, int port);

// Takes the reservation's lock for a change of the logical port: 0 with the
// lock held, or DXP_E_BUSY (lock not held) when a self-test holds the port.
// The lock is recursive; every 0 needs one port_reserve_unhold.
int port_reserve_hold(int lport);
void port_reserve_unhold(void);
