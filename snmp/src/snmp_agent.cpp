// The embedded net-snmp master agent: set-up on the caller's thread, then the
// "snmpd" thread's select loop. net-snmp is not thread-safe, so every call
// into it holds the agent lock; the loop waits in select() without it.
#include "snmp_agent.h"

#include <arpa/inet.h>
#include <openssl/crypto.h>
#include <sys/select.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "log_gate.h"
#include "logger.h"
#include "sal.h"
#include "sal_host.h"
#include "settings.h"
#include "snmp_backend.h"
#include "snmp_mibs.h"
#include "snmp_netsnmp.h"
#include "snmp_request_queue.h"
#include "snmpcfg.h"
#include "snmpcfg_glue.h"

namespace {

constexpr const char *kAppName = "snmpd";

sal_mutex_t agent_mutex() {
    static sal_mutex_t m = sal_mutex_create("snmp agent");
    return m;
}

// Set-up runs with nothing configured yet: its warnings say only that.
bool quiet_setup = true;

// True while the library reads and answers requests: what it logs then a
// manager's request caused.
bool reading_requests = false;

// net-snmp's messages go to the switch's log.
int log_to_switch(int, int, void *data, void *) {
    if (quiet_setup) return 0;
    auto *msg = static_cast<const snmp_log_message *>(data);
    int level = msg->priority <= LOG_ERR       ? LOG_LEVEL_ERROR
                : msg->priority == LOG_WARNING ? LOG_LEVEL_WARNING
                                               : LOG_LEVEL_DEBUG;
    if (!reading_requests) {
        logger_printf(level, LOG_MOD_SNMPD, "snmpd: %s", msg->msg);
        return 0;
    }
    // Any host can send malformed or refused requests by the thousand, and
    // needs no community to: the line names it, and is no error of ours.
    static log_gate request_log{.burst = 10};
    const log_source from = log_source_ipv4(snmp_request_queue::serving());
    char sender[24];
    log_source_text(from, sender, sizeof sender);
    const int len = static_cast<int>(std::strcspn(msg->msg, "\r\n"));
    log_gate_printf(&request_log, from, std::max(level, static_cast<int>(LOG_LEVEL_WARNING)),
                    LOG_MOD_SNMPD, "snmpd: %.*s (request from %s)", len, msg->msg, sender);
    return 0;
}

void agent_loop(void *) {
    // Requests wait in the socket until the start-up load has set the
    // communities and users: a SET before it would be overwritten.
    while (!settings_startup_wait(60L * 1000000)) {
    }
    snmp_request_queue::start_reader();
    for (;;)
        snmp_agent_poll(1000000);  // at most a second between alarm checks
}

// Requests that have arrived go before configuration changes: pages that
// apply entries one after another (each user's keys take a hash over a
// megabyte) would otherwise take the lock back before the agent's thread
// wakes, and the agent would stop answering while they post. Other threads
// wait for a free turn only when they do not hold the lock already.
std::atomic<int> requests_waiting{0};
thread_local int lock_depth = 0;
constexpr uint32_t kTurnPollUsecs = 500;
// While settings images wait: how soon the requests held for them are
// looked at again.
constexpr long kImagesPollUsecs = 20000;

void take_for_requests() {
    requests_waiting++;
    sal_mutex_take(agent_mutex(), sal_mutex_FOREVER);
    requests_waiting--;
    lock_depth++;
}

}  // namespace

void snmp_agent_lock(void) {
    if (lock_depth == 0) {
        while (requests_waiting.load() > 0)
            sal_usleep(kTurnPollUsecs);
    }
    sal_mutex_take(agent_mutex(), sal_mutex_FOREVER);
    lock_depth++;
}

void snmp_agent_unlock(void) {
    lock_depth--;
    sal_mutex_give(agent_mutex());
}

void snmp_agent_poll(long max_usecs) {
    int fds = 0, block = 0;
    fd_set readers;
    FD_ZERO(&readers);
    // The library only shortens the time it is given to the next alarm or
    // retry: starting from zero would turn the wait into a busy loop as
    // soon as a module has an alarm (the IP group's caches do).
    timeval timeout{.tv_sec = max_usecs / 1000000, .tv_usec = max_usecs % 1000000};
    snmp_agent_lock();
    snmp_select_info(&fds, &readers, &timeout, &block);
    // Changes accepted after a settings image (or after another entrance's
    // change held behind one) wait in their managers' queues and the others
    // are served; a short wait looks again for their turn.
    const bool holding = snmp_request_queue::holding();
    // Requests read ahead already wait in their managers' queues.
    const bool queued = snmp_request_queue::pending();
    snmp_agent_unlock();
    // The reader posts what it takes off the socket while this thread is
    // away.
    const int agent_socket = snmp_request_queue::socket();
    const int wake = snmp_request_queue::wake_socket();
    if (wake >= 0) {
        FD_SET(wake, &readers);
        fds = std::max(fds, wake + 1);
    }
    long wait = queued  ? 0
                : block ? max_usecs
                        : std::min(max_usecs, timeout.tv_sec * 1000000L + timeout.tv_usec);
    if (holding) wait = std::min(wait, kImagesPollUsecs);
    timeout = {.tv_sec = wait / 1000000, .tv_usec = wait % 1000000};
    // The wait is without the lock: the pages change the configuration
    // meanwhile.
    int count = select(fds, &readers, nullptr, nullptr, &timeout);
    bool filed = queued;
    if (wake >= 0 && count > 0 && FD_ISSET(wake, &readers)) {
        snmp_request_queue::wake_clear();
        FD_CLR(wake, &readers);
        count--;
        filed = true;
    }
    if (filed && count >= 0 && !FD_ISSET(agent_socket, &readers)) {
        FD_SET(agent_socket, &readers);
        count++;
    }
    if (count > 0)
        take_for_requests();
    else
        snmp_agent_lock();
    if (count > 0) {
        snmp_values_batch_begin();
        reading_requests = true;
        {
            // Each request names its sender as the queue hands it out.
            const log_requester_scope none(LOG_SOURCE_NONE);
            snmp_read(&readers);
        }
        snmp_request_queue::served_done();
        reading_requests = false;
        snmp_values_batch_end();
    } else if (count == 0)
        snmp_timeout();
    run_alarms();
    snmpglue::send_cold_start();
    snmpmib::send_link_traps();
    netsnmp_check_outstanding_agent_requests();
    snmp_agent_unlock();
}

int snmp_trap_port(void) {
    return sal_host_port(162);
}

void snmp_crypto_init(void) {
    OPENSSL_init_crypto(OPENSSL_INIT_ADD_ALL_CIPHERS | OPENSSL_INIT_ADD_ALL_DIGESTS |
                            OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                        nullptr);
}

int snmp_agent_setup(void) {
    static int set_up = 1;  // 1: not yet
    if (set_up <= 0) return set_up;
    snmp_crypto_init();  // once more, for programs that did not (tests)
    snmp_agent_lock();
    snmp_register_callback(SNMP_CALLBACK_LIBRARY, SNMP_CALLBACK_LOGGING, log_to_switch, nullptr);
    snmp_enable_calllog();
    netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_ROLE, 0);
    netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID,
                           NETSNMP_DS_AGENT_DONT_LOG_TCPWRAPPERS_CONNECTS, 1);
    // Our tables are the only configuration: no files read or written.
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
    // init_agent still creates a directory there (absolute: a relative one
    // is taken from the root).
    char dir[PATH_MAX];
    if (getcwd(dir, sizeof dir - 16) == nullptr) std::snprintf(dir, sizeof dir, "/tmp");
    std::strcat(dir, "/var");
    mkdir(dir, 0700);
    std::strcat(dir, "/snmp");
    mkdir(dir, 0700);
    netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_PERSISTENT_DIR, dir);
    in_addr listen{.s_addr = sal_host_listen_address()};
    char ports[64];
    std::snprintf(ports, sizeof ports, "udp:%s:%d", inet_ntoa(listen), sal_host_port(161));
    netsnmp_ds_set_string(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_PORTS, ports);
    // SMUX would listen on TCP 199 of every interface.
    static char no_smux[] = "-smux";
    add_to_init_list(no_smux);
    // No MIB files: the agent needs none, and loading them only warns.
    static char no_mibs[] = "[snmp] mibs :";
    netsnmp_config_remember(no_mibs);
    init_agent(kAppName);
    snmpmib::init_mib_modules();
    init_snmp(kAppName);
    int rv = init_master_agent();
    if (rv == 0 && main_session != nullptr)
        snmp_request_queue::attach(snmp_sess_transport(snmp_sess_pointer(main_session)));
    snmpglue::traps_from_switch();
    if (rv == 0) snmpcfg_init();
    quiet_setup = false;
    snmp_agent_unlock();
    if (rv != 0) sal_printf("SNMP agent: cannot open %s\n", ports);
    set_up = rv != 0 ? -1 : 0;
    return set_up;
}

int snmp_agent_start(void) {
    static bool started = false;
    if (started) return 0;
    if (snmp_agent_setup() != 0) return -1;
    started = true;
    if (sal_thread_create(kAppName, 64 * 1024, 8, agent_loop, nullptr) == SAL_THREAD_ERROR) {
        sal_printf("SNMP agent: no thread\n");
        return -1;
    }
    return 0;
}
