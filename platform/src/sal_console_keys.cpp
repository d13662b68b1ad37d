// The terminal's keys between lines (see sal_console_keys.h).
#include "sal_console_keys.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "sal.h"
#include "sal_terminal.h"

namespace sal_internal {

namespace {

// As many keys as the driver's own queue holds; more wait in the driver.
constexpr size_t kKeptMax = 4096;
constexpr int kLookMs = 100;

struct Keys {
    std::mutex lock;  // held while a key is read and acted on
    std::condition_variable released;
    bool held = false;  // a line reader reads
    std::string kept;   // read between lines, for the next line
};

Keys &keys() {
    static auto *k = new Keys;  // the watcher may still run while the process exits
    return *k;
}

std::atomic<SignalKeyAction> action{nullptr};

// Whether the key after the kept ones is taken as typed (a literal-next
// key ends them).
bool literal_after(const std::string &kept) {
    bool literal = false;
    for (const char c : kept)
        literal = !literal && terminal_literal_next(static_cast<unsigned char>(c));
    return literal;
}

// Waits up to the time for the terminal to have a key while this program
// has its foreground: 1, 0 when none came, -1 when the terminal went away.
int terminal_has_key(int ms) {
    if (terminal_elsewhere()) {
        poll(nullptr, 0, ms);
        return 0;
    }
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return 0;
    if ((p.revents & POLLIN) == 0) return -1;
    // Put in the background meanwhile: the keys are the foreground job's.
    return terminal_elsewhere() ? 0 : 1;
}

void watch(void *) {
    Keys &k = keys();
    std::unique_lock<std::mutex> g(k.lock);
    for (;;) {
        // With the kept keys full, the rest wait in the driver until a line
        // reader takes some: none is read to be thrown away.
        k.released.wait(g, [&k] { return !k.held && k.kept.size() < kKeptMax; });
        bool literal = literal_after(k.kept);
        g.unlock();
        const int has = terminal_has_key(kLookMs);
        if (has < 0) return;  // hung up: the next line's read finds the end
        g.lock();
        // Before each read: a line reader may have taken the key, or the
        // terminal may have gone to another job, since the look.
        if (has == 0 || k.held || terminal_has_key(0) <= 0) continue;
        unsigned char c = 0;
        if (read(STDIN_FILENO, &c, 1) != 1) continue;
        const int sig = literal ? 0 : terminal_signal_of(c);
        if (sig == 0) {
            k.kept += static_cast<char>(c);
            continue;
        }
        // The driver drops the keys typed before a signal key.
        if (terminal_flushes_at_signal()) k.kept.clear();
        // Acted on before the next line's read starts: a break typed right
        // after a line's Enter is the break of that line's command.
        if (const SignalKeyAction act = action.load(); act != nullptr) act(sig);
    }
}

}  // namespace

void terminal_keys_watch(SignalKeyAction act) {
    action = act;
    static const bool started = sal_thread_create("Console keys", 0, SAL_THREAD_PRIO_DEFAULT, watch,
                                                  nullptr) != SAL_THREAD_ERROR;
    (void)started;
}

TerminalKeysHold::TerminalKeysHold() {
    std::lock_guard<std::mutex> g(keys().lock);
    keys().held = true;
}

TerminalKeysHold::~TerminalKeysHold() {
    {
        std::lock_guard<std::mutex> g(keys().lock);
        keys().held = false;
    }
    keys().released.notify_all();
}

bool terminal_key_ready(int ms) {
    {
        std::lock_guard<std::mutex> g(keys().lock);
        if (!keys().kept.empty()) return true;
    }
    return terminal_has_key(ms) != 0;
}

int terminal_key_take() {
    {
        std::lock_guard<std::mutex> g(keys().lock);
        std::string &kept = keys().kept;
        if (!kept.empty()) {
            const auto c = static_cast<unsigned char>(kept.front());
            kept.erase(0, 1);
            return c;
        }
    }
    unsigned char c = 0;
    const ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n == 1) return c;
    // Put in the background while it read: it reads on in the foreground.
    if (n < 0 && (errno == EINTR || errno == EAGAIN || (errno == EIO && terminal_elsewhere())))
        return kNoKey;
    return EOF;
}

}  // namespace sal_internal
