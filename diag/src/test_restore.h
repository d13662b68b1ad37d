// What a self-test saves of the switch before it changes anything, and gives
// back at its done: the tested ports held against the other managers, the
// VLAN table (members, untagged ports, spanning-tree group), the static
// unicast addresses in those VLANs, every port's default VLAN, and each
// tested port's settings. The restore goes on past a refused item and
// reports each one it could not give back.
#pragma once

#include "dxp.h"
#include "soc_control.h"

constexpr int TEST_SAVE_PORTS = 64;

struct test_saved_t {
    int unit;
    soc_pbmp_t held;  // reserved against the managers
    dxp_vlan_data *vlans;
    int vlan_count;
    int *vlan_stg;  // per saved VLAN
    dxp_l2_addr *statics;
    int static_count;
    soc_pbmp_t pvid_ports;
    dxp_vlan_t pvid[TEST_SAVE_PORTS];
    soc_pbmp_t info_ports;
    dxp_port_info info[TEST_SAVE_PORTS];
};

// Holds the ports for the named test and saves the VLAN table, the static
// addresses and the default VLANs: 0, or -1 after reporting (through
// test_error) why not; nothing is held then.
int test_save_switch(test_saved_t *s, int unit, const soc_pbmp_t &ports, const char *owner);
// Saves one tested port's settings; the error of the read.
int test_save_port(test_saved_t *s, int port);
// Gives everything saved back and releases the ports: 0, or -1 after
// reporting each item that could not be restored. Safe on a record that
// saved nothing; the record is empty afterwards.
int test_restore_switch(test_saved_t *s);
// Releases the ports and forgets what was saved, restoring nothing (a test
// told to leave its configuration in place).
void test_release_switch(test_saved_t *s);
