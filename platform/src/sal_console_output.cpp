// The board console's output thread and its bounded queue (see
// sal_console_output.h).
#include "sal_console_output.h"

#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>

#include "sal.h"

namespace sal_internal {

namespace {

// Room for some ten thousand lines: a terminal paused for a while, or a
// reader that falls behind a long dump, loses none; one that never reads
// again costs a bounded amount of memory.
constexpr size_t kQueueBytes = 1024 * 1024;
constexpr size_t kWritePieceBytes = 16 * 1024;

struct Chunk {
    ConsoleSink sink;
    std::string text;
};

struct Queue {
    std::mutex lock;
    std::condition_variable work;     // queued text, or drops to tell
    std::condition_variable drained;  // everything queued was written
    std::deque<Chunk> chunks;
    size_t bytes = 0;           // queued and not yet written, the writer's part too
    bool writing = false;       // the writer holds text it has not written yet
    bool writer_waits = false;  // the writer sleeps until text comes
    uint64_t dropped_lines = 0;
    bool dropped_part = false;  // the text dropped last ended within a line
    bool line_open = false;     // the output queued last ended within a line
};

// When the output last took text, while text waits to be written (0: none
// waits): a write that takes nothing for long has no reader.
std::atomic<int64_t> waiting_since_usecs{0};

int64_t now_usecs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Never destroyed: the writer may still run while the process exits.
Queue &queue() {
    static auto *q = new Queue;
    return *q;
}

bool drops_to_tell(const Queue &q) {
    return q.dropped_lines > 0 || q.dropped_part;
}

// Under the queue's lock, as are the helpers below.
void append_locked(Queue &q, ConsoleSink sink, const char *text, size_t len) {
    if (!q.chunks.empty() && q.chunks.back().sink == sink) {
        q.chunks.back().text.append(text, len);
    } else {
        q.chunks.push_back(Chunk{sink, std::string(text, len)});
    }
    q.bytes += len;
    if (sink == ConsoleSink::output) q.line_open = text[len - 1] != '\n';
}

void drop_locked(Queue &q, const char *text, size_t len) {
    for (size_t i = 0; i < len; i++)
        if (text[i] == '\n') q.dropped_lines++;
    q.dropped_part = text[len - 1] != '\n';
}

// The count of the lines dropped since the last count, on a line of its own.
std::string notice_locked(const Queue &q) {
    const uint64_t lines = q.dropped_lines + (q.dropped_part ? 1 : 0);
    return std::string(q.line_open ? "\n" : "") + std::to_string(lines) +
           " console lines dropped\n";
}

// Queues the count of dropped lines when it fits with `more` bytes after it.
bool tell_drops_locked(Queue &q, size_t more) {
    if (!drops_to_tell(q)) return true;
    const std::string notice = notice_locked(q);
    if (q.bytes + notice.size() + more > kQueueBytes) return false;
    q.dropped_lines = 0;
    q.dropped_part = false;
    append_locked(q, ConsoleSink::output, notice.data(), notice.size());
    return true;
}

// Writes all of it unless the output went away (a closed pipe, a terminal
// hung up): then nobody is left to show it to.
void write_all(int fd, const char *text, size_t len) {
    while (len > 0) {
        waiting_since_usecs = now_usecs();
        // In pieces, so that a reader that reads slowly shows it goes on.
        const ssize_t n = write(fd, text, std::min(len, kWritePieceBytes));
        if (n > 0) {
            text += n;
            len -= static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 1000);
        } else if (n < 0 && errno != EINTR) {
            break;
        }
    }
    waiting_since_usecs = 0;
}

int fd_of(ConsoleSink sink) {
    return sink == ConsoleSink::output ? STDOUT_FILENO : STDIN_FILENO;
}

void writer(void *) {
    // A reader that closed its pipe fails the write; it does not end the
    // program.
    sigset_t pipe_signal;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
    Queue &q = queue();
    std::unique_lock<std::mutex> g(q.lock);
    for (;;) {
        q.writer_waits = true;
        q.work.wait(g, [&q] { return !q.chunks.empty() || drops_to_tell(q); });
        q.writer_waits = false;
        if (q.chunks.empty()) tell_drops_locked(q, 0);
        std::deque<Chunk> taken;
        taken.swap(q.chunks);
        q.writing = true;
        g.unlock();
        size_t written = 0;
        for (const Chunk &chunk : taken) {
            write_all(fd_of(chunk.sink), chunk.text.data(), chunk.text.size());
            written += chunk.text.size();
        }
        g.lock();
        q.bytes -= written;
        q.writing = false;
        if (q.chunks.empty()) q.drained.notify_all();
    }
}

// Started with the first output; false when no thread could be made.
bool writer_running() {
    static const bool running = [] {
        if (sal_thread_create("Console output", 0, SAL_THREAD_PRIO_DEFAULT, writer, nullptr) ==
            SAL_THREAD_ERROR)
            return false;
        // A program that ends by returning or exit() shows what it queued
        // last as well.
        std::atexit([] { console_output_drain(kConsoleDrainAtExitUsecs); });
        return true;
    }();
    return running;
}

}  // namespace

void console_output_queue(ConsoleSink sink, const char *text, size_t len) {
    if (len == 0) return;
    if (!writer_running()) {
        write_all(fd_of(sink), text, len);
        return;
    }
    Queue &q = queue();
    std::unique_lock<std::mutex> g(q.lock);
    if (!tell_drops_locked(q, len) || q.bytes + len > kQueueBytes) {
        drop_locked(q, text, len);  // a sleeping writer still tells the count
    } else {
        append_locked(q, sink, text, len);
    }
    // Only a sleeping writer needs the call, and once the lock is free, so
    // that it does not wake only to wait for the lock: a command's line
    // reaches the reader a context switch sooner.
    const bool wake = q.writer_waits;
    q.writer_waits = false;
    g.unlock();
    if (wake) q.work.notify_one();
}

bool console_output_drain(uint64_t usecs) {
    Queue &q = queue();
    const auto end = std::chrono::steady_clock::now() + std::chrono::microseconds(usecs);
    std::unique_lock<std::mutex> g(q.lock);
    for (;;) {
        if (q.chunks.empty() && !q.writing && !drops_to_tell(q)) return true;
        // A reader that stopped (a paused terminal, a pipe nobody reads)
        // would hold the program's end up to the bound for nothing.
        const int64_t since = waiting_since_usecs.load();
        const bool stalled =
            since != 0 && now_usecs() - since >= static_cast<int64_t>(kConsoleStalledUsecs);
        if (stalled || std::chrono::steady_clock::now() >= end) return false;
        q.drained.wait_for(g, std::chrono::milliseconds(50));
    }
}

}  // namespace sal_internal
