// Dynamic ARP inspection: bindings of (MAC, VLAN) to an IPv4 address, learned
// from DHCP acknowledgements or configured, against which ARP frames from
// untrusted ports in the inspected VLANs are checked before the CPU re-sends
// them. Field-processor rules bring ARP and DHCP to the CPU.
#pragma once

#include <cstdint>

#include "board.h"
#include "dxp.h"
#include "sal.h"
#include "serialize.h"

constexpr int DARP_BUCKETS = 256;
constexpr int DARP_BUCKET_ENTRIES = 4;
constexpr int DARP_VLAN_MAX = 256;
// Configured bindings: as many as the settings item stores.
constexpr int DARP_STATIC_MAX = 16;
constexpr int DARP_RX_PRIORITY = 190;
// Every class of service, delivered on the receive thread: the copied DHCP
// and the redirected ARP frames arrive in class 0.
constexpr uint32_t DARP_RX_FLAGS = 0xC0FF;
constexpr uint32_t DARP_AGING_PERIOD_MS = 600000;

// Two locks. darp_config_lock() (recursive, "DARP CFG") guards the enable
// state, the aging timer, the field groups and the rule sets built from the
// trusted ports, and the receive callout's registration; every call of this
// header that changes them takes it, and the web page and the settings item
// hold it across their whole change. It sits under the settings lock and over
// the receive thread's callout lock, which the receive thread holds while the
// callout runs. The inner "DARP" lock guards the bindings, trusted ports and
// inspected VLANs, which the callout reads; nothing is called under it.
sal_mutex_t darp_config_lock(void);

void darp_init(void);
// 0, or the chip's refusal, and then the enable flag and the rules are as
// they were; -16 to switch on a chip without a field processor.
int darp_enable_set(int enable);
// False on a chip without a field processor, where inspection cannot run.
bool darp_runs(void);
// Inspection on with exactly the trusted ports of the set: 0, or the chip's
// refusal, and then the trusted ports are as they were too.
int darp_enable_trusted(const upbmp_t *trusted);
int darp_enable_get(int *enable);
void darp_aging_set(uint16_t hours);  // 0: learned bindings never age
uint16_t darp_aging_get(void);
// One aging pass (the timer's work): learned bindings not seen since the
// previous pass and older than the aging time are removed.
void darp_aging_run(void);
// Back to nothing: no bindings, trusted ports or inspected VLANs.
void darp_reset(void);

// ip in network order. 0; -4 for a MAC no host has (zero, multicast,
// broadcast) or IP 0.0.0.0; -6 when a configured binding would be the
// DARP_STATIC_MAX + 1st; -14 when the bucket is full.
int darp_trusted_db_add(const uint8_t mac[6], const uint8_t ip[4], uint16_t vid, int learned);
int darp_trusted_db_delete(const uint8_t mac[6], uint16_t vid);  // 0 or -7
// The n-th valid binding: 0, or -7 when n >= the count.
int darp_trusted_db_get_by_index(int n, uint8_t mac[6], uint8_t ip[4], uint16_t *vid, int *learned);
int darp_trusted_db_count_get(void);
// 1 when (MAC, IP, VLAN) is bound (the binding counts as seen), else 0.
int darp_binding_check(const uint8_t mac[6], const uint8_t ip[4], uint16_t vid);

void darp_port_trust_set(int uport, int untrusted);
int darp_port_trust_get(int uport);  // 1 when trusted

// add non-zero: 0, -8 when listed, -6 when full; add 0 removes: 0 or -7.
int darp_vlan_set(uint16_t vid, int add);
int darp_vlan_exist(uint16_t vid);
int darp_vlan_get_by_index(int n, uint16_t *vid);  // 0, -7 empty slot, -4 beyond the list
int darp_vlan_count_get(void);

// The field-processor group shared with DoS prevention (0 before init).
int darp_group_get(void);
// DoS prevention's group id when it has one (else 0); it is asked first at
// init so that both share one group. Set by the program's wiring.
void darp_dos_group_source_set(int (*dos_group_get)(void));

// The receive callout.
int darp_rx(int unit, dxp_pkt *pkt, void *cookie);
// ARP frames the callout dropped since start-up.
uint32_t darp_dropped_count_get(void);

// The "darp" settings item.
int darp_item(int op, settings_medium *m);
