// SDK operating-system abstraction: memory, locks, threads, deferred calls,
// time, console output and assorted C-library helpers. Every subsystem above
// the platform reaches the operating system only through these calls.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------- memory
void *sal_alloc(size_t size, const char *tag);  // zero-filled, or null
void sal_free(void *p);
void *sal_dma_alloc(size_t size, const char *tag);  // bus address fits in 32 bits
void sal_dma_free(void *p);
char *sal_strdup(const char *s);  // null for a null text
int sal_memcmp(const void *a, const void *b, size_t n);

// Bytes currently allocated under a tag (null: all tags); for diagnostics.
size_t sal_alloc_bytes_in_use(const char *tag);

// ---------------------------------------------------------------- locks
struct sal_mutex_s;
struct sal_sem_s;
using sal_mutex_t = sal_mutex_s *;
using sal_sem_t = sal_sem_s *;

constexpr int sal_mutex_FOREVER = -1;
constexpr int sal_sem_FOREVER = -1;
constexpr int sal_sem_BINARY = 1;
constexpr int sal_sem_COUNTING = 0;

// Mutexes are recursive and hand over: the last give passes the lock to the
// thread that has waited longest, so a thread that gives and takes again in
// a loop queues behind the waiters instead of taking it back first.
sal_mutex_t sal_mutex_create(const char *name);
void sal_mutex_destroy(sal_mutex_t m);
int sal_mutex_take(sal_mutex_t m, int usec);  // 0 taken, -1 time-out
int sal_mutex_give(sal_mutex_t m);            // -1 when the caller does not hold it
// Threads waiting to take the mutex now.
int sal_mutex_waiters(sal_mutex_t m);

sal_sem_t sal_sem_create(const char *name, int binary, int initial_count);
void sal_sem_destroy(sal_sem_t s);
int sal_sem_take(sal_sem_t s, int usec);  // 0 given, -1 time-out
int sal_sem_give(sal_sem_t s);

// Interrupt masking: one process-wide lock that simulated interrupt work
// also holds. sal_splhi returns the level to hand back to sal_spl.
int sal_splhi(void);
int sal_spl(int level);
int sal_int_context(void);

// ---------------------------------------------------------------- threads
struct sal_thread_s;
using sal_thread_t = sal_thread_s *;
#define SAL_THREAD_ERROR (reinterpret_cast<sal_thread_t>(~static_cast<uintptr_t>(0)))

constexpr int SAL_THREAD_PRIO_DEFAULT = 8;
constexpr int SAL_THREAD_PRIO_SERVICE = 7;  // deferred-call, receive and transmit threads

sal_thread_t sal_thread_create(const char *name, int stack_bytes, int prio, void (*entry)(void *),
                               void *arg);
// Stops the thread at its next platform wait (semaphore, sleep, deferred-call
// queue); a thread blocked elsewhere stops when it next waits here.
int sal_thread_destroy(sal_thread_t t);
[[noreturn]] void sal_thread_exit(int code);
sal_thread_t sal_thread_self(void);
void sal_thread_yield(void);
void sal_thread_main_set(sal_thread_t t);
sal_thread_t sal_thread_main_get(void);
// Name of a thread ("" for threads not made by sal_thread_create).
const char *sal_thread_name(sal_thread_t t, char *buf, size_t size);
// Operating-system priority the thread would run at on the board.
int sal_thread_os_priority(sal_thread_t t);

// ---------------------------------------------------------------- deferred calls
using sal_dpc_fn_t = void (*)(void *owner, void *a1, void *a2, void *a3, void *a4);
constexpr int SAL_DPC_QUEUE_SIZE = 256;

// Starts the deferred-call thread (it also starts on first use): 0, or -1.
int sal_core_init(void);
// 0 when queued; -1 (with a console message) when the queue is full.
int sal_dpc(sal_dpc_fn_t fn, void *owner, void *a1, void *a2, void *a3, void *a4);
int sal_dpc_time(uint32_t usec, sal_dpc_fn_t fn, void *owner, void *a1, void *a2, void *a3,
                 void *a4);
void sal_dpc_cancel(void *owner);

// ---------------------------------------------------------------- time
uint32_t sal_time_usecs(void);  // wraps; compare by signed difference
uint32_t sal_time(void);        // wall-clock seconds
double sal_time_double(void);
void sal_wallclock_set(uint32_t seconds);  // firmware wall clock, host clock untouched
void sal_sleep(int seconds);
void sal_usleep(uint32_t usec);  // rounded up to whole 10 ms ticks
void sal_udelay(uint32_t usec);  // busy wait
void board_udelay(uint32_t usec);
int sal_date_get(uint32_t *seconds);  // no hardware date on this board: -1
int sal_date_set(uint32_t seconds);

constexpr uint32_t SAL_TICK_USECS = 10000;

// ---------------------------------------------------------------- boot, assert, reboot
uint32_t sal_boot_flags_get(void);
void sal_boot_flags_set(uint32_t flags);

using sal_assert_handler_t = void (*)(const char *expr, const char *file, int line);
void sal_assert(const char *expr, const char *file, int line);
sal_assert_handler_t sal_assert_set(sal_assert_handler_t handler);  // returns previous
#define SAL_ASSERT(e) ((e) ? (void)0 : sal_assert(#e, __FILE__, __LINE__))

[[noreturn]] void sal_reboot(void);
// Settings images accepted and announced but not yet applied: the count of
// them still to do. What is accepted after them (a restart, a settings
// change) waits until none is left, so that it runs after them.
void sal_images_pending_set(int (*pending)(void));
// 1 once no image waits, 0 if some still wait after `usecs`.
int sal_images_wait(uint32_t usecs);
// The count of images still to do, as the registered counter has it.
int sal_images_pending(void);
// A restart or the program's end under way, from whichever entrance: from
// the announcement on no settings image may be accepted, since nothing
// accepted after it would run. An image counts itself pending first and then
// looks, and a restart announces first and then waits for the pending ones,
// so each image is either refused or waited for. sal_reboot announces too;
// a restart that does not come after all (a failed erase, a stand-in that
// returns) is withdrawn.
void sal_restart_announce(void);
void sal_restart_withdraw(void);
int sal_restart_announced(void);
// Other changes answered as accepted that run a moment later (the web's
// address changes): the count of them not yet applied and stored. A
// restart waits for them as for the images; they are accepted only while no
// restart is announced, counted first as the images are.
void sal_changes_pending_set(int (*pending)(void));
// A restart the administrator asks for waits for the images, up to a bound.
[[noreturn]] void sal_reboot_after_pending(void);
// The program's end (the console's end, the quit key, a signal): the images
// accepted before it are applied and the flash written first, as for a
// restart. Ends the process with `status`.
[[noreturn]] void sal_exit_after_pending(int status);
// The same, but the process ends by `sig` with its default action.
[[noreturn]] void sal_signal_after_pending(int sig);
// How long a settings change waits for the images before it is refused:
// images apply within about two seconds.
constexpr uint32_t SAL_IMAGES_WAIT_USECS = 5000000;
constexpr const char *SAL_IMAGES_BUSY_TEXT =
    "A restore is being applied: nothing changed; try again once it is done";
int sal_clean_exit(void);  // no clean exit on this board: -2
// The order of settings images and the changes around them, whichever
// entrance (web, SNMP, the shells) accepted them: each takes a turn as it is
// accepted and holds it until it has run or been dropped. A change waits
// while an image accepted before it is held (the image would undo it), and
// then for the changes that waited with it and were accepted before it; an
// image waits while anything accepted before it is held (it would undo
// that). A restore holds its turn from its upload's head until applied
// (sal_turn_keep: one more hold of a turn held already).
uint32_t sal_turn_take(int image);
void sal_turn_keep(uint32_t turn);
void sal_turn_release(uint32_t turn);
// For a change: 1 while an image accepted before `turn` is held, and for
// one accepted while others waited around an image, while anything
// accepted before it is held (those waiting are released together).
int sal_turn_waits(uint32_t turn);
// 1 while anything accepted before `turn` is held.
int sal_turn_before(uint32_t turn);
// 1 while a change accepted before `turn` is held that no turn holds back
// (it runs, or may run now).
int sal_turn_change_ready_before(uint32_t turn);
// For a change: 1 once sal_turn_waits no longer holds it, 0 if it still
// does after `usecs`.
int sal_turn_wait(uint32_t turn, uint32_t usecs);

void sal_srand(uint32_t seed);
uint32_t sal_rand(void);  // 31 bits

int sal_bus_probe(uint32_t addr);
uint32_t cp0_status_get(void);

// ---------------------------------------------------------------- strings and numbers
int sal_strcasecmp(const char *a, const char *b);
int sal_strncasecmp(const char *a, const char *b, size_t n);
// Optional '-', then 0x hex, 0b binary, leading-0 octal or decimal; *end gets
// the first character that is not a digit of the base.
int sal_ctoi(const char *text, const char **end);
int sal_snprintf(char *buf, size_t size, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
int sal_sprintf(char *buf, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

// ---------------------------------------------------------------- console
int sal_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
int sal_vprintf(const char *fmt, va_list ap);
int sal_console_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
int sal_printf_console(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
int sal_debug_printf(uint32_t flags, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
uint32_t sal_debug_flags_set(uint32_t word);
uint32_t sal_debug_flags_add(uint32_t bits);
// The switch and the log file below act on the calling thread's console.
int sal_console_enable_get(void);
int sal_console_enable_set(int on);

// Shows the prompt and reads a line; null at end of input. A line holding a
// NUL byte is refused with a message and read again.
char *diag_readline(const char *prompt, char *buf, int size, const char *dflt);
// The break key typed at the board's console. While the console waits for a
// line, the line typed so far is dropped (the terminal's driver drops it
// with the key) and the prompt is shown again on a new line: 1. Otherwise
// 0: a command runs, and the caller hands the break to it.
int sal_console_break_at_prompt(void);
// How many breaks were taken at a prompt so far: a reader that continues a
// line drops what it read before a break.
uint32_t sal_console_prompt_breaks(void);
// How many reads of the board's console have ended: a break taken after the
// read of a command's line is that command's, one taken before it is not.
uint32_t sal_console_lines_read(void);
// Waits (a few seconds at most) until the board console's queued output is
// written: 0 when it was, -1 when its reader is still behind.
int sal_console_output_flush(void);
// While on, a break at the board's prompt ends the waiting read of the
// calling thread (diag_readline answers null) instead of showing the prompt
// again: for an answer a running command waits for, which the break stops.
void sal_console_break_ends_read(int on);
// The prompt a break shows while a line is continued (the line's own, as the
// break drops the whole line); null or "" for the waiting read's prompt.
void sal_console_line_prompt_set(const char *prompt);
int sal_readchar(const char *prompt);

int sal_log_file_set(const char *name, int append);
int sal_log_enable(int on);
int sal_log_enabled(void);

// A console is a set of operations; each thread writes to and reads from the
// console bound to it (telnet sessions bind their socket), or else the
// board's own console. Threads made by sal_thread_create inherit the binding
// of their creator.
struct sal_console_ops {
    void *ctx;
    int (*write)(void *ctx, const char *buf, size_t len);
    // Reads one line without its newline into buf (at most size-1 bytes,
    // terminated); returns its length, or -1 at end of input. A NUL byte of
    // the line stays in it (counted in the length): diag_readline refuses
    // such a line.
    int (*read_line)(void *ctx, char *buf, size_t size);
    // Stops (on 0) or resumes showing what the user types: 0 when done, -1
    // when the console cannot. Null: it cannot.
    int (*echo_set)(void *ctx, int on) = nullptr;
    // Serialises writes to this console. A console that can block (a network
    // session) brings its own, so that a peer that stops reading holds up
    // the writers to that console only. Null: one lock shared by the
    // consoles that bring none; the board's console always has its own.
    sal_mutex_t lock = nullptr;
    // 1 when the last end of input was the end of the console itself (a
    // closed pipe, a terminal that went away), 0 when it was one end-of-input
    // key typed at a terminal that stays. Null: every end is final.
    int (*input_closed)(void *ctx) = nullptr;
};
const sal_console_ops *sal_console_bind(const sal_console_ops *ops);  // returns previous
const sal_console_ops *sal_console_bound(void);
const sal_console_ops *sal_console_default(void);  // the board's console
// Replaces the board's console (tests capture it); null: the process's
// standard input and output. Returns the previous one.
const sal_console_ops *sal_console_default_set(const sal_console_ops *ops);
// Forgets a console that goes away (a telnet session's): its switch, and
// its log file, which is closed.
void sal_console_release(const sal_console_ops *ops);
int sal_console_write(const char *buf, size_t len);
int sal_console_read_line(char *buf, size_t size);
// After a read that found the end of input: 1 when the calling thread's
// console has no more input to give, 0 when the end was a key typed at it.
int sal_console_input_closed(void);
// Typed input of the calling thread's console shown or hidden (passwords).
int sal_console_echo_set(int on);
// Like sal_console_printf, but to the board's console whichever console the
// calling thread is bound to: what the serial line must show (log lines,
// the reset) even when a telnet session causes it.
int sal_board_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// The board's console switch, whichever console the calling thread has.
int sal_board_console_enable_get(void);

// The "ecos>" shell lives in the application; it registers itself here.
using sal_shell_fn_t = void (*)(void);
void sal_shell_register(sal_shell_fn_t fn);
void sal_shell(void);
