// Host-only controls of the platform layer: the clock source, fault
// injection, the reboot hook, simulated interrupt context and the servers'
// listening address and ports. The host entry point and the tests set them;
// the firmware's servers read the address and ports (sal_host_port,
// sal_host_listen_address), nothing else.
#pragma once

#include <cstdint>

#include "sal.h"

// ---- clock source. The real source is CLOCK_MONOTONIC. A manual clock only
// moves when a test advances it; every timed wait of the platform (semaphore
// and sleep time-outs, deferred-call due times) follows it.
void sal_clock_manual(uint64_t start_usecs);
void sal_clock_advance(uint64_t usecs);
void sal_clock_real(void);
int sal_clock_is_manual(void);
uint64_t sal_clock_usecs64(void);  // 64-bit view of the active clock
// 1 while the thread is in a platform wait (semaphore, sleep, deferred-call
// queue), so a test can step the clock once the thread waits.
int sal_host_thread_waiting(sal_thread_t t);

// ---- memory: make the n-th following sal_alloc/sal_dma_alloc fail (0 = off).
void sal_alloc_fail_after(unsigned n);

// ---- reboot. Exit status of the process after sal_reboot, which the
// run script takes as "start again".
constexpr int SAL_REBOOT_EXIT_STATUS = 10;
using sal_reboot_hook_t = void (*)(void);
// Called by sal_reboot instead of ending the process; if it returns, the
// calling thread is stopped. Returns the previous hook.
sal_reboot_hook_t sal_reboot_hook_set(sal_reboot_hook_t hook);
// Work to finish before the process ends on reboot (flushing the flash file).
void sal_reboot_flush_register(void (*fn)(void));
// Skip the one-second pause before the reset (tests).
void sal_reboot_delay_set(int enabled);

// ---- console. A terminal on standard input is read key by key and its
// lines edited by the console itself from here on (else at the first read,
// or, in the background of a shell, once the program has the terminal's
// foreground); the entry point calls it before anything could be typed at a
// prompt.
void sal_host_terminal_edit(void);
// The console's break (SIGINT), suspend (SIGTSTP) and quit (SIGQUIT) keys.
// Typed at the terminal the console takes they act on this program alone,
// never on the other processes of the terminal's foreground; the entry point
// hands their signals here too, typed when the terminal's driver raised
// them. A typed key shows as the terminal's own line mode echoes it (^C,
// ^\, ^Z; nothing for a pipe or while echo is off). At a prompt the break and the suspend key drop
// the typed line; during a command the break calls command_break and the suspend key stops nothing;
// the quit key calls quit.
void sal_host_console_keys_set(void (*command_break)(void), void (*quit)(void));
void sal_host_console_key(int sig, int typed);

// ---- simulated interrupts. Work posted here runs on one host "interrupt"
// thread with interrupts masked (sal_splhi held) and sal_int_context() true.
int sal_host_intr_post(void (*fn)(void *), void *arg);
// Runs fn now on the calling thread as if in interrupt context.
void sal_host_intr_run(void (*fn)(void *), void *arg);

// ---- privileged ports. The servers of the firmware bind their well-known
// port plus this offset (default 0).
void sal_host_port_offset_set(int offset);
int sal_host_port(int well_known_port);

// ---- listening address. Every server of the firmware binds this IPv4
// address (network byte order); 127.0.0.1 by default on the host, so that the
// factory account is not offered to the network until the operator asks.
// Setting takes a dotted address: 0, or -1 when it does not parse.
int sal_host_listen_address_set(const char *dotted);
uint32_t sal_host_listen_address(void);
// The kernel's queue of connections not yet accepted, for every listening
// server: deep enough that one client's flood of connections cannot fill it
// (a connection the kernel drops waits a second for its retransmit), so that
// the servers' own shares decide who waits. Linux cuts it to somaxconn.
constexpr int SAL_HOST_LISTEN_BACKLOG = 4096;
