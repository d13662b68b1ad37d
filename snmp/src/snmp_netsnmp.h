// net-snmp headers in the order they need, and the agent-library calls
// whose headers are not installed.
#pragma once

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/agent/net-snmp-agent-includes.h>
// clang-format on
#include <net-snmp/agent/agent_callbacks.h>
#include <net-snmp/agent/agent_trap.h>
#include <net-snmp/library/snmpUDPDomain.h>

extern "C" {
void vacm_parse_group(const char *token, char *line);
void vacm_parse_access(const char *token, char *line);
void vacm_parse_view(const char *token, char *line);
void netsnmp_udp_com2SecList_free(void);
void init_sysORTable(void);
void netsnmp_access_interface_init(void);
void init_ip(void);
void init_icmp(void);
void init_tcp(void);
void init_udp(void);
void init_snmp_mib(void);
void init_snmpEngine(void);
void init_snmpMPDStats(void);
void init_usmStats(void);
void init_usmUser(void);
void init_vacm_vars(void);
void init_vacm_conf(void);
extern netsnmp_session *main_session;  // the agent's first listening session
}
#include <net-snmp/agent/agent_sysORTable.h>
