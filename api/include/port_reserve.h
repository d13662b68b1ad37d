// Ports reserved by a running self-test. While a self-test holds a port, the
// managers (web, SNMP, telnet, settings load, the monitor's port commands)
// are refused their changes to it with port_reserve_held_text and change
// nothing: the test's own restore would undo their change on the chip while
// their records still showed it.
//
// Lock order: the settings lock, then this reservation's lock, then a
// feature manager's lock, then the unit's API lock. A changer that applies
// several settings to one port holds the reservation's lock across them
// (port_reserve_hold / port_reserve_unhold), so a self-test cannot take the
// port half-way through; the self-test itself takes the lock only to mark
// and unmark its ports, never across its run, and marks them under the
// unit's API lock too, so that a change holding that lock across its steps
// (the switch API checks every change under it) sees the held ports stay as
// it checked them. Nothing that holds the unit's API lock takes this one:
// the owner and held-port reads take no lock.
#pragma once

#include <vector>

#include "dxp_types.h"

// Marks the unit's ports as held by the named self-test: DXP_E_BUSY when one
// of them is held already (nothing is marked then).
int port_reserve(int unit, dxp_pbmp_t ports, const char *owner);
// Keeps every self-test from starting (port_reserve answers DXP_E_BUSY)
// from the moment a whole settings image, a restore or the factory defaults,
// is accepted until it has been applied and stored, so that what was
// announced is done whole. DXP_E_BUSY (nothing barred) while a test holds a
// port already. Nests: every 0 needs one port_reserve_unbar.
int port_reserve_bar(const char *why);
void port_reserve_unbar(void);
// Why no self-test may start now, or nullptr.
const char *port_reserve_barred(void);
// Gives the unit's ports back; ports not held are ignored.
void port_reserve_release(int unit, dxp_pbmp_t ports);
// Whether a self-test holds the port now.
bool port_reserved(int unit, int port);
bool port_reserved_lport(int lport);
// Whether a change of the port by the calling thread is refused: a self-test
// holds it and the caller is not that test at work. The switch API's per-unit
// entry points ask this for every operation that changes a port, so that no
// command can skip the hold.
bool port_reserve_refuses(int unit, int port);
// Sets the calling thread's work apart from its self-test (on 1) or back
// (on 0), e.g. around the monitor shell a failing test opens: commands typed
// there are refused the test's ports as any other manager is. Nests.
void port_reserve_step_aside(int on);
// The switch API notes the port whose hold refused the calling thread's change
// (DXP_E_BUSY), so that the caller can name it; taking the note clears it.
void port_reserve_note_refusal(int unit, int port);
bool port_reserve_take_refusal(int *unit, int *port);
// The self-test that holds the port, or nullptr. Takes no lock: any thread
// may ask under any lock.
const char *port_reserve_owner(int unit, int port);
const char *port_reserve_owner_lport(int lport);
// Why a change of the port is refused: "port under self-test (the test's
// name)", the name left out only when no test holds the port any more. Every
// refusal of a held port says it so. The text stays until the thread's next
// call.
const char *port_reserve_held_text(int unit, int port);
const char *port_reserve_held_text_lport(int lport);

// Takes the reservation's lock for a change of the logical port: 0 with the
// lock held, or DXP_E_BUSY (lock not held) when a self-test holds the port.
// The lock is recursive; every 0 needs one port_reserve_unhold.
int port_reserve_hold(int lport);
void port_reserve_unhold(void);
// The same for a change of every port (a settings load that rebuilds a whole
// table): DXP_E_BUSY (lock not held) while any port is held.
int port_reserve_hold_all(void);
// The same whatever is held: no self-test takes or gives back a port until
// port_reserve_unhold, so a change that looks at the held ports first (a
// settings load of a feature that spans ports) sees them stay as it saw them.
void port_reserve_freeze(void);
class PortReserveFreeze {
  public:
    PortReserveFreeze() { port_reserve_freeze(); }
    ~PortReserveFreeze() { port_reserve_unhold(); }
    PortReserveFreeze(const PortReserveFreeze &) = delete;
    PortReserveFreeze &operator=(const PortReserveFreeze &) = delete;
};
// Whether any port of any unit is held.
bool port_reserve_any(void);
// The logical port of the first held port, or -1 when none is held.
int port_reserve_first_lport(void);

// What the held ports were before their test, kept so that the managers'
// reads (pages, saves) see the switch as the test will give it back. The
// kept state has a lock of its own that is taken for a copy only, so these
// may be called under any lock. A release forgets what its ports kept.
void port_reserve_keep_info(int unit, int port, const dxp_port_info *info);
bool port_reserve_kept_info(int unit, int port, dxp_port_info *info);
bool port_reserve_kept_info_lport(int lport, dxp_port_info *info);
// A VLAN the self-test on the ports created.
void port_reserve_keep_created(int unit, dxp_vlan_t vid, dxp_pbmp_t ports);
// A held port's membership of the VLAN before the test first changed it;
// later calls for the same VLAN and port keep the first.
void port_reserve_keep_member(int unit, dxp_vlan_t vid, int port, bool member, bool untagged);
// Turns the chip's membership of the VLAN into what it is without the
// tests: false when the VLAN is a test's own.
bool port_reserve_vlan_view(int unit, dxp_vlan_t vid, dxp_pbmp_t *members, dxp_pbmp_t *untagged);
// When the VLAN is a self-test's own: "VLAN 15 is held by self-test 72
// (Traffic Test) on ports", for the caller to end with its names of the
// ports the test put in it (*ports). nullptr when it is none. The text
// stays until the thread's next call.
const char *port_reserve_vlan_holder_text(int unit, dxp_vlan_t vid, dxp_pbmp_t *ports);

// The entries a self-test puts in are held as its ports are: an address it
// adds (its frames' way back to the CPU, through a port in service or not)
// is refused to every other caller, and a clear of the table keeps it (the
// switch API's L2 entry points keep and put back these addresses).

// The number of the self-test the calling thread runs (0 when none), named
// when another caller is refused one of its addresses.
void port_reserve_test_number(int number);
// Whether the calling thread is a self-test at work on a port of the unit.
bool port_reserve_is_test(int unit);
// A self-test's address, after the test put it in; and its removal by the
// test. A release forgets the addresses of tests that hold no port then.
void port_reserve_keep_address(int unit, const dxp_l2_addr *addr);
void port_reserve_forget_address(int unit, const dxp_mac_t mac, dxp_vlan_t vid);
// Whether a change of the address by the calling thread is refused: it is
// another self-test's (or the caller stepped aside). A refusal is noted.
bool port_reserve_address_refuses(int unit, const dxp_mac_t mac, dxp_vlan_t vid);
// The text of the noted address refusal ("66:77:88:99:aa:bb in VLAN 1 is
// self-test 49's address"), taking the note; nullptr when the last refusal
// was none of an address. The text stays until the thread's next call.
const char *port_reserve_take_address_refusal(void);
// The unit's held addresses that are the calling thread's own (own), or
// that are refused to it.
std::vector<dxp_l2_addr> port_reserve_held_addresses(int unit, bool own);

// The CPU port a self-test sends its frames from and takes them back at: its
// own settings (enable, rates, learning, spanning-tree state, link scan,
// mirroring into or out of it, the receive rate) and its membership of the test's
// VLANs are held as a tested port's are, refused to every other caller; its
// other VLANs and the addresses that point to it stay open.
// DXP_E_BUSY when another test holds the unit's CPU port (nothing held then).
int port_reserve_cpu(int unit, int port, const char *owner);
// A VLAN of the test whose CPU membership is held from now on.
void port_reserve_cpu_vlan(int unit, dxp_vlan_t vid);
void port_reserve_cpu_release(int unit);
// Whether a change of the port's own settings by the calling thread is
// refused because it is a held CPU port (a refusal is noted); a port of -1
// stands for the unit's held CPU port, whichever it is.
bool port_reserve_cpu_refuses(int unit, int port);
// The same for a change of the ports' membership of the VLAN.
bool port_reserve_cpu_vlan_refuses(int unit, dxp_vlan_t vid, dxp_pbmp_t ports);
// The self-test that holds the CPU port, or nullptr.
const char *port_reserve_cpu_owner(int unit, int port);

// A static address on a tested port before its test: the test puts it back
// at its end, so a clear that would take it is refused (the administrator's
// delete would be undone).
void port_reserve_keep_static(int unit, const dxp_l2_addr *addr);
// The held port of the first kept static address refused to the caller that
// a clear selects (mac nullptr: any MAC; vid -1: any VLAN), or -1.
int port_reserve_kept_static_port(int unit, const uint8_t *mac, int vid);
