// Background jobs: one command line per thread, at most ten per unit. A job is
// stopped cooperatively: KILL raises its stop flag and the job's commands end
// at their next wait or command boundary, so nothing a command holds is lost.
// The job's thread alone frees its record, and JOBS lists it until then.
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "diag_parse.h"
#include "diag_shell.h"
#include "log_gate.h"
#include "sal.h"
#include "shell_cmds.h"

namespace {

constexpr int BG_UNITS = 18;
constexpr int BG_JOBS = 10;
constexpr uint32_t DEBUG_VERBOSE = 0x10000;

struct bg_job_t {
    int unit;
    int slot;
    int job_num;
    sal_sem_t start;
    std::atomic<int> stop;
    log_source requester;  // whose session started it: its refusals name them
    char cmd[4096];
};

bg_job_t *jobs[BG_UNITS][BG_JOBS];
std::atomic<int> job_counter{0};
thread_local std::atomic<int> *stop_flag = nullptr;

sal_mutex_t job_lock() {
    static sal_mutex_t m = sal_mutex_create("bg_jobs");
    return m;
}

struct JobGuard {
    JobGuard() { sal_mutex_take(job_lock(), sal_mutex_FOREVER); }
    ~JobGuard() { sal_mutex_give(job_lock()); }
};

int table_unit(int unit) {
    return unit >= 0 && unit < BG_UNITS ? unit : 0;
}

void bg_job_thread(void *arg) {
    auto *job = static_cast<bg_job_t *>(arg);
    sal_sem_take(job->start, sal_sem_FOREVER);
    stop_flag = &job->stop;
    const log_requester_scope session(job->requester);
    int rv = sh_process_command(job->unit, job->cmd);
    stop_flag = nullptr;
    if (rv != CMD_OK && rv != CMD_EXIT && rv != CMD_INTR)
        sal_printf("bg: error in job %d: code %d\n", job->job_num, rv);
    sal_debug_printf(DEBUG_VERBOSE, "bg: end of job %d\n", job->job_num);
    {
        JobGuard g;
        jobs[table_unit(job->unit)][job->slot] = nullptr;
    }
    sal_sem_destroy(job->start);
    sal_free(job);
}

}  // namespace

int sh_stop_requested(void) {
    return (stop_flag != nullptr && stop_flag->load() != 0) || sh_break_requested();
}

int sh_in_background(void) {
    return stop_flag != nullptr;
}

void sh_stop_own_job(void) {
    if (stop_flag != nullptr) stop_flag->store(1);
}

int sh_wait_usec(uint64_t usec, int busy) {
    // Slices short enough that a killed job ends promptly.
    constexpr uint64_t kSlice = 10000;
    while (usec > 0) {
        if (sh_stop_requested()) return CMD_INTR;
        auto step = static_cast<uint32_t>(usec < kSlice ? usec : kSlice);
        if (busy) {
            sal_udelay(step);
        } else {
            sal_usleep(step);
        }
        usec -= step;
    }
    return sh_stop_requested() ? CMD_INTR : CMD_OK;
}

int bg_job_count(int unit) {
    JobGuard g;
    int n = 0;
    for (bg_job_t *j : jobs[table_unit(unit)])
        n += j != nullptr;
    return n;
}

int sh_background(int unit, args_t *a) {
    if (ARG_CNT(a) != 1) return CMD_USAGE;
    const char *line = ARG_GET(a);
    int u = table_unit(unit);
    JobGuard g;
    int slot = 0;
    while (slot < BG_JOBS && jobs[u][slot] != nullptr)
        slot++;
    if (slot == BG_JOBS) {
        sal_printf("bg: ERROR: too many background tasks\n");
        return CMD_FAIL;
    }
    auto *job = static_cast<bg_job_t *>(sal_alloc(sizeof(bg_job_t), "bg_job"));
    if (job == nullptr) {
        sal_printf("bg: cannot allocate job info\n");
        return CMD_FAIL;
    }
    job->unit = unit;
    job->slot = slot;
    job->requester = log_requester();
    job->start = sal_sem_create("bg_job", sal_sem_BINARY, 0);
    if (job->start == nullptr) {
        sal_printf("bg: ERROR: cannot create task semaphore\n");
        sal_free(job);
        return CMD_FAIL;
    }
    std::snprintf(job->cmd, sizeof job->cmd, "%s", line);
    job->job_num = ++job_counter;
    jobs[u][slot] = job;
    sal_thread_t t = sal_thread_create("dxpBG", 0x20000, 110, bg_job_thread, job);
    if (t == nullptr || t == SAL_THREAD_ERROR) {
        sal_printf("bg: ERROR: cannot create thread\n");
        jobs[u][slot] = nullptr;
        sal_sem_destroy(job->start);
        sal_free(job);
        return CMD_FAIL;
    }
    sal_debug_printf(DEBUG_VERBOSE, "bg: starting job %d\n", job->job_num);
    sal_sem_give(job->start);
    return CMD_OK;
}

int sh_jobs(int unit, args_t *) {
    JobGuard g;
    for (bg_job_t *j : jobs[table_unit(unit)])
        if (j != nullptr) sal_printf("Job %d: %s\n", j->job_num, j->cmd);
    return CMD_OK;
}

int sh_kill(int unit, args_t *a) {
    const char *w = ARG_GET(a);
    if (w == nullptr || !parse_is_integer(w)) return CMD_USAGE;
    int n = parse_integer(w);
    JobGuard g;
    for (bg_job_t *j : jobs[table_unit(unit)]) {
        // A job already told to stop is as good as gone.
        if (j == nullptr || j->job_num != n || j->stop.load() != 0) continue;
        j->stop.store(1);
        sal_printf("Job %d killed\n", n);
        return CMD_OK;
    }
    sal_printf("Job %d not found\n", n);
    return CMD_FAIL;
}
