// Internal priority of frames by ingress port, DSCP, IP precedence or source
// IPv4 address: one mode at a time. Port and IP rules are field-processor
// entries of the manager's own group; DSCP and ToS use the chip's DSCP map.
// Results are 1 for success and 0 for failure unless said otherwise.
#pragma once

#include <cstdint>

#include "sal.h"
#include "serialize.h"

enum qosmgr_mode {
    ENHANCE_MODE_DISABLED = 0,
    ENHANCE_MODE_PORT_BASED_QOS = 1,
    ENHANCE_MODE_DSCP_BASED_QOS = 2,
    ENHANCE_MODE_TOS_BASED_QOS = 3,
    ENHANCE_MODE_IP_BASED_QOS = 4,
};

constexpr int MAX_QOS_DSCP_BASE_NUM = 64;
constexpr int MAX_QOS_TOS_BASE_NUM = 8;
constexpr int MAX_QOS_IP_BASE_NUM = 128;
constexpr int QOSMGR_GROUP_PRIO = 5;

// Address and mask in network byte order.
struct qosmgr_ip_base_entry {
    uint32_t reserved;
    uint8_t ip[4];
    uint8_t mask[4];
    uint32_t priority;
};

// The manager's lock (recursive; every call below takes it). Hold it across
// several calls that must be one change; it sits under the settings lock and
// over the API's locks.
sal_mutex_t qosmgr_lock(void);

int qosmgr_init(void);
int qosmgr_group_get(void);  // the field group of the rules, -1 without
int qosmgr_mode_get(int *mode);
int qosmgr_mode_set(int mode);
// "Port N: port under self-test (test)" when a change from the running mode
// to this one would reach a port a self-test holds (its rule or its DSCP
// classification), else null; qosmgr_mode_set refuses such a change.
const char *qosmgr_mode_held(int mode);
// The same text for the first user port a self-test holds, or null.
const char *qosmgr_held_port_text(void);
// Why the last refused mode change could not make its rules (the shared rows
// kept for DoS prevention and ARP inspection, or the chip's error); null when
// no rule was refused.
const char *qosmgr_refusal(void);
int qos_port_mod_priority_by_index(int index, int priority);  // index = user port - 1
// The priorities of user ports 1..count as one change: ports that keep
// theirs keep their rule, and a rule the switch refuses puts every port back
// as it was (0). Outside the port mode nothing changes (1), as above.
int qos_port_priorities_set(const int *priorities, int count);
int qos_port_priority_get_by_index(int index, int *priority);
int qosmgr_dscp_base_set_by_index(int dscp, int priority);
int qosmgr_dscp_base_get_by_index(int dscp, int *priority);
int qosmgr_tos_base_set_by_index(int precedence, int priority);
int qosmgr_tos_base_get_by_index(int precedence, int *priority);
// The chip holds queues where the tables hold priorities (the DSCP map, the
// port and IP rules when rules is non-zero): after the priority-to-queue map
// changed they are written again, as a load writes them, and so are the
// registered features' rules (always). 1, or 0 on failure.
int qosmgr_queues_refresh(int rules);
// Called by qosmgr_queues_refresh for the other features whose rules hold
// the queue of a priority (Auto VoIP's), wired at start-up.
void qosmgr_queues_moved_register(int (*moved)(void));
int qosmgr_ip_base_cnt_get(void);
int qosmgr_ip_base_full(void);
// Stored in every mode, installed as a rule in the IP mode: the new entry's
// index, -6 when the table is full, or the chip's error.
int qosmgr_ip_base_add(const uint8_t ip[4], const uint8_t mask[4], int priority);
int qosmgr_ip_base_delete_by_index(int index);
int qosmgr_ip_base_get_by_index(int index, uint8_t ip[4], uint8_t mask[4], int *priority);
int qosmgr_ip_base_set_by_index(int index, int priority);
int qosmgr_ip_base_find(const uint8_t ip[4], const uint8_t mask[4]);  // index, or -1

void storm_allports_init(void);
void storm_allports_set(int value);
void storm_allports_get(int *value);

// The "rate" settings item: the storm "all ports" flag and every port's
// ingress, egress and storm limits.
int rate_item(int op, settings_medium *m);

// The "qos" settings item: scheduling, priority mapping, mode and tables.
int qosmgr_item(int op, settings_medium *m);
