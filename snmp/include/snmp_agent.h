// The embedded net-snmp master agent and its "snmpd" thread.
#pragma once

// Sets the agent up (MIB modules, the SNMP configuration with its defaults,
// the UDP port sal_host_port(161) on sal_host_listen_address()) and starts
// the "snmpd" thread. 0, or -1 when the agent could not start (logged).
int snmp_agent_start(void);
// Sets up the crypto library that net-snmp's SNMPv3 hashing uses. Called by
// the program before it starts any thread: its lazy set-up on first use is
// otherwise reached from the agent thread while other threads run.
void snmp_crypto_init(void);

// The set-up alone, without the thread: 0, or -1 (logged). The caller then
// runs the agent with snmp_agent_poll.
int snmp_agent_setup(void);
// One pass of the agent's loop: waits up to max_usecs for requests, answers
// them and runs the agent's timers.
void snmp_agent_poll(long max_usecs);

// Every call into net-snmp holds this lock: the library is not thread-safe.
// Recursive, so glue called under it may take it again.
void snmp_agent_lock(void);
void snmp_agent_unlock(void);

// The UDP port trap sinks get when a station names a host only.
int snmp_trap_port(void);
