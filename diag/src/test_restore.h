// What a self-test changes on the switch, and gives back at its done: the
// tested ports are held against the other managers and sealed from the
// ports in service, and every VLAN, VLAN membership, default VLAN and
// spanning-tree state the test changes goes through a journal that the done
// undoes newest first. What another manager
// changed meanwhile (a VLAN made, a port of no test moved) stays. The static
// addresses on the tested ports and each tested port's settings come back
// too. The restore goes on past a refused item and reports each one it could
// not give back.
//
// A test's end is the mirror of its start: the ports stop forwarding first,
// their loopback comes off once nothing moves through them any more, and
// the seal that was put on first is taken off last, so no frame of the
// test leaves by a tested port's wire however the test ends.
#pragma once

#include "dxp.h"
#include "soc_control.h"

constexpr int TEST_SAVE_PORTS = 64;

enum test_change_kind_t { TEST_VLAN_CREATED, TEST_VLAN_MEMBER, TEST_PORT_PVID, TEST_PORT_STP };

// One change of the test, with what was there before it.
struct test_change_t {
    int kind = TEST_VLAN_CREATED;  // test_change_kind_t
    dxp_vlan_t vid = 0;
    int port = 0;
    int stg = 0;
    bool member = false, untagged = false;  // TEST_VLAN_MEMBER
    int before = 0;                         // TEST_PORT_PVID: the VLAN; TEST_PORT_STP: the state
};

struct test_saved_t {
    int unit;
    soc_pbmp_t held;    // reserved against the managers
    int cpu_held = -1;  // the CPU port held for the test, or -1
    test_change_t *journal;
    int journal_count;
    int journal_room;
    dxp_l2_addr *statics;  // on the held ports
    int static_count;
    soc_pbmp_t info_ports;
    soc_pbmp_t stp_ports;  // whose state in every group is in the journal
    dxp_port_info info[TEST_SAVE_PORTS];
    // Copper/fibre ports: both media's stored configurations and the medium
    // that ran, so either medium comes back whichever runs at the end.
    soc_pbmp_t fp_ports;  // whose field processor the test turned off
    soc_pbmp_t media_ports;
    int medium[TEST_SAVE_PORTS];
    dxp_phy_config_t media[TEST_SAVE_PORTS][2];  // copper, fibre
    // The held ports' egress masks as the test found them.
    soc_pbmp_t egress_saved;
    soc_pbmp_t egress[TEST_SAVE_PORTS];
    // The other ports whose way into the held ports the test closed, and
    // the held ports each one reached.
    soc_pbmp_t closed_saved;
    soc_pbmp_t closed[TEST_SAVE_PORTS];
    bool stopped = false;  // test_stop_ports ran
};

// Holds the ports for the named test and saves the static addresses on
// them: 0, or -1 after reporting (through test_error) why not; nothing is
// held then.
int test_save_switch(test_saved_t *s, int unit, const soc_pbmp_t &ports, const char *owner);
// Holds the unit's CPU port for a test that sends from it and takes its
// frames back there (its settings, its membership of the test's VLANs): 0,
// or -1 after reporting why not.
int test_hold_cpu(test_saved_t *s, const char *owner);
// The test's VLAN whose CPU membership the test relies on.
void test_hold_cpu_vlan(test_saved_t *s, dxp_vlan_t vid);
// Saves one tested port's settings and its state in every spanning-tree
// group; the error of the read.
int test_save_port(test_saved_t *s, int port);
// Before anything changes: -1 after naming the first held port and its
// setting that would change where the test frames go or drop them (a rate
// limit, storm control, double tagging, mirroring, a trunk membership).
int test_check_frame_settings(test_saved_t *s);
// Makes a saved port leave the test's frames as they are: its default
// priority goes to 0, it stops discarding and the field processor's rules
// (DoS, QoS, Auto VoIP, ARP inspection, the monitor's FP) no longer look at
// its frames (all given back at the end); -1 after reporting a refusal.
int test_neutral_port(test_saved_t *s, int port);

// Seals held ports from the ports in service before any of them loops
// back: they forward to `allowed` alone, and no other port (the CPU port
// aside) forwards into them, whatever VLAN a frame is in. Only what was
// closed is opened again at the restore, so a change another manager makes
// meanwhile stays.
void test_seal_ports(test_saved_t *s, const soc_pbmp_t &ports, const soc_pbmp_t &allowed);
// Lets a sealed port forward to the ports given; 0 for a port not sealed.
int test_port_egress(test_saved_t *s, int port, const soc_pbmp_t &allowed);

// The first step of every end (done, failure, break, failed init): each
// port sealed at the start forwards to nothing, so what still goes round is
// dropped where it comes back in, while a held port the test left in
// service goes on serving; once the sealed ports have sent all they had
// queued (their counts stop), their loopback comes off. 0, or -1 after reporting a port
// whose loopback stays. Runs once per record; the restore runs it when the
// done has not.
int test_stop_ports(test_saved_t *s);
// Frames the ports passed, both ways, the dropped ones too.
uint64_t test_ports_traffic(int unit, const soc_pbmp_t &ports);

// Waits for the ports' links as dxp_link_wait does, the time-out counted
// from the last port that came up: links come up as fast as the host runs
// the chip model, so a busy host takes longer for many ports, not forever.
int test_link_wait(int unit, dxp_pbmp_t *ports, int usecs);

// The test's own changes, journaled: each answers as the switch call does.
int test_vlan_create(test_saved_t *s, dxp_vlan_t vid);
int test_vlan_port_add(test_saved_t *s, dxp_vlan_t vid, dxp_pbmp_t members, dxp_pbmp_t untagged);
int test_vlan_port_remove(test_saved_t *s, dxp_vlan_t vid, dxp_pbmp_t ports);
int test_pvid_set(test_saved_t *s, int port, dxp_vlan_t vid);
// Takes the ports out of every VLAN but `keep`.
int test_vlan_leave_others(test_saved_t *s, dxp_pbmp_t ports, dxp_vlan_t keep);

// Stops the ports (when not yet done), undoes the journal, gives the rest
// back, unseals and releases the ports: 0, or -1 after reporting each item
// that could not be restored. Safe on a record that saved nothing; the
// record is empty afterwards.
int test_restore_switch(test_saved_t *s);
// Releases the ports and forgets what was saved, restoring nothing (a test
// told to leave its configuration in place).
void test_release_switch(test_saved_t *s);
