// Front-panel ports of the simulated board bridged to Linux TAP devices: a
// platform thread per TAP sends what the host sends through the port's wire
// (the model's queue for it takes the place of the host's), a second one
// writes the port's output to the TAP, and the port's PHY sees a link while
// the TAP is up. A write to a TAP runs the host's receive path (its TCP
// stack included) on the writing thread: done by a writer of its own, it
// leaves the model's thread free to move the next frames meanwhile.
#include <fcntl.h>
#include <net/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "board_host.h"
#include "sal.h"
#include "sim/board.h"
#include "sim/host_binding.h"
#include "unique_fd.h"

namespace {

struct Tap {
    sim::Board *board = nullptr;
    int chip_port = -1;
    std::string name;
    UniqueFd fd;
    UniqueFd wake;  // eventfd: stop request
    sal_sem_t done = nullptr;
    std::atomic<bool> stop{false};
    // The port's frames waiting for the writer; a port that sends faster
    // than the host takes them waits for room, as it waited for the write.
    std::mutex out_lock;
    std::condition_variable out_changed;  // frames or room came, or stop
    std::deque<std::vector<uint8_t>> out;
    bool writer_idle = false;
    bool wake_due = false;  // an idle writer to wake once the batch is handed over
    sal_sem_t writer_done = nullptr;
};

constexpr size_t kWriterBacklog = 4096;
// An idle writer is woken at the end of the model's batch, or sooner once
// this many frames wait: a wake-up per frame would cost the model's thread
// more than the frames themselves under a flood of small ones.
constexpr size_t kWakeBatch = 32;
// Frames read from a TAP for one poll, so that a flood on one port still
// lets the reader see a stop request.
constexpr int kReadBatch = 64;

// The writers to wake at the end of the batch the calling thread hands over.
thread_local std::vector<std::shared_ptr<Tap>> writers_to_wake;

std::mutex taps_lock;
std::vector<std::shared_ptr<Tap>> &taps() {
    static auto *t = new std::vector<std::shared_ptr<Tap>>;
    return *t;
}

int fail(char *error, size_t size, const std::string &text) {
    if (error != nullptr && size > 0) std::snprintf(error, size, "%s", text.c_str());
    return -1;
}

// Whether the interface is up. Once the TAP moved to another network
// namespace its name means nothing here; then it counts as up while the
// device stays attached.
bool interface_up(const std::string &name) {
    UniqueFd s(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!s.valid()) return true;
    ifreq ifr{};
    std::snprintf(ifr.ifr_name, IFNAMSIZ, "%s", name.c_str());
    if (ioctl(s.get(), SIOCGIFFLAGS, &ifr) != 0) return true;
    return (ifr.ifr_flags & IFF_UP) != 0;
}

bool set_queue_length(const std::string &name, uint32_t frames) {
    UniqueFd s(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!s.valid()) return false;
    ifreq ifr{};
    std::snprintf(ifr.ifr_name, IFNAMSIZ, "%s", name.c_str());
    ifr.ifr_qlen = static_cast<int>(frames);
    return ioctl(s.get(), SIOCSIFTXQLEN, &ifr) == 0;
}

void set_link(Tap &t, bool up, bool *now) {
    if (up == *now) return;
    *now = up;
    if (up)
        t.board->port(t.chip_port).linkUp();
    else
        t.board->port(t.chip_port).linkDown();
}

void reader(void *arg) {
    auto *t = static_cast<Tap *>(arg);
    bool link = false;
    set_link(*t, interface_up(t->name), &link);
    std::vector<uint8_t> buf(65536);
    while (!t->stop.load()) {
        pollfd fds[2] = {{t->fd.get(), POLLIN, 0}, {t->wake.get(), POLLIN, 0}};
        int n = poll(fds, 2, 1000);
        if (n < 0 && errno != EINTR) break;
        if (fds[1].revents != 0) break;
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) break;
        if (n == 0 || !(fds[0].revents & POLLIN)) {
            set_link(*t, interface_up(t->name), &link);
            continue;
        }
        // What the host queued is read at once, a poll for the lot: under a
        // flood the poll would cost as much as the frame.
        bool gone = false;
        for (int i = 0; i < kReadBatch && !t->stop.load(); i++) {
            ssize_t len = read(t->fd.get(), buf.data(), buf.size());
            if (len < 0) {
                gone = errno != EAGAIN && errno != EINTR;
                break;
            }
            set_link(*t, true, &link);
            // The host hands frames without FCS and without padding; its NIC
            // would pad short ones. The port takes them at its line rate.
            std::vector<uint8_t> frame(buf.begin(), buf.begin() + len);
            if (frame.size() < 60) frame.resize(60, 0);
            t->board->port(t->chip_port).send(sim::Frame{std::move(frame)});
        }
        if (gone) break;  // the device went away
    }
    t->board->port(t->chip_port).setSink({});
    if (!t->stop.load()) {
        sal_printf("TAP %s of port %d went away: link down\n", t->name.c_str(), t->chip_port);
    }
    t->board->port(t->chip_port).linkDown();
    sal_sem_give(t->done);
}

// Hands the port's frames to the TAP: a TAP that is down refuses them, as a
// cable without link.
void writer(void *arg) {
    auto *t = static_cast<Tap *>(arg);
    std::deque<std::vector<uint8_t>> batch;
    for (;;) {
        {
            std::unique_lock<std::mutex> g(t->out_lock);
            // Idle again after every wake-up (a spurious one too): the next
            // frame pushed wakes it.
            while (t->out.empty() && !t->stop.load()) {
                t->writer_idle = true;
                t->out_changed.wait(g);
            }
            t->writer_idle = false;
            t->wake_due = false;
            if (t->stop.load()) break;
            if (t->out.size() >= kWriterBacklog) t->out_changed.notify_all();
            // Taken in one swap: the model's thread never waits long here.
            batch.swap(t->out);
        }
        for (const std::vector<uint8_t> &frame : batch) {
            ssize_t n = write(t->fd.get(), frame.data(), frame.size());
            (void)n;
        }
        batch.clear();
    }
    sal_sem_give(t->writer_done);
}

// Wakes an idle writer; called with its lock held, it notifies once the
// lock is free, so that the writer does not wake only to wait for it.
void wake_writer(Tap &t, std::unique_lock<std::mutex> &g) {
    t.wake_due = false;
    if (!t.writer_idle) return;
    t.writer_idle = false;
    g.unlock();
    t.out_changed.notify_all();
    g.lock();
}

void to_writer(const std::shared_ptr<Tap> &tap, std::vector<uint8_t> frame) {
    Tap &t = *tap;
    std::unique_lock<std::mutex> g(t.out_lock);
    if (t.out.size() >= kWriterBacklog) {
        wake_writer(t, g);
        t.out_changed.wait(g, [&t] { return t.out.size() < kWriterBacklog || t.stop.load(); });
    }
    if (t.stop.load()) return;
    t.out.push_back(std::move(frame));
    if (!t.writer_idle) return;
    if (t.out.size() >= kWakeBatch) {
        wake_writer(t, g);
    } else if (!t.wake_due) {
        t.wake_due = true;
        writers_to_wake.push_back(tap);
    }
}

// The end of a batch the model handed over: the writers it gave frames wake.
void wake_writers() {
    std::vector<std::shared_ptr<Tap>> due;
    due.swap(writers_to_wake);
    for (const std::shared_ptr<Tap> &t : due) {
        std::unique_lock<std::mutex> g(t->out_lock);
        if (t->wake_due) wake_writer(*t, g);
    }
}

void stop_writer(Tap &t) {
    {
        std::lock_guard<std::mutex> g(t.out_lock);
        t.stop.store(true);
        t.out_changed.notify_all();
    }
    sal_sem_take(t.writer_done, sal_sem_FOREVER);
    sal_sem_destroy(t.writer_done);
}

}  // namespace

int board_host_tap_add(int user_port, const char *ifname, char *error, size_t size) {
    const int chip_port = board_host_chip_port(user_port, error, size);
    if (chip_port < 0) return -1;
    sim::Board *board = sim::boundBoard();
    std::string name = ifname ? ifname : "";
    if (name.empty() || name.size() >= IFNAMSIZ)
        return fail(error, size, "bad TAP name '" + name + "'");

    auto t = std::make_shared<Tap>();
    t->board = board;
    t->chip_port = chip_port;
    t->name = name;
    t->fd = UniqueFd(open("/dev/net/tun", O_RDWR | O_CLOEXEC | O_NONBLOCK));
    if (!t->fd.valid())
        return fail(error, size, "cannot open /dev/net/tun: " + std::string(std::strerror(errno)));
    ifreq ifr{};
    ifr.ifr_flags = IFF_TAP | IFF_NO_PI;
    std::snprintf(ifr.ifr_name, IFNAMSIZ, "%s", name.c_str());
    if (ioctl(t->fd.get(), TUNSETIFF, &ifr) != 0)
        return fail(error, size,
                    "cannot create TAP " + name + ": " + std::string(std::strerror(errno)));
    // The kernel's default queue (1,000 frames) would drop a burst the
    // port's own queue takes whole: it holds at least as many frames. A user
    // without the right to change it (a TAP made beforehand) keeps the
    // kernel's.
    if (!set_queue_length(name, sim::Fabric::kHostQueueCells))
        sal_printf("TAP %s keeps its queue length: %s\n", name.c_str(), std::strerror(errno));
    t->wake = UniqueFd(eventfd(0, EFD_CLOEXEC));
    if (!t->wake.valid()) return fail(error, size, "cannot create an eventfd");
    t->writer_done = sal_sem_create("tapWriterDone", sal_sem_BINARY, 0);
    if (sal_thread_create("tapWriter", 16384, 50, writer, t.get()) == SAL_THREAD_ERROR) {
        sal_sem_destroy(t->writer_done);
        return fail(error, size, "cannot start the TAP writer thread");
    }
    // Set before the port's sink: a frame handed over in between would wait
    // for its writer until some later batch.
    board->fabric().setHandedOver(wake_writers);
    std::weak_ptr<Tap> weak = t;
    board->port(chip_port).setSink([weak](std::vector<uint8_t> frame) {
        if (auto tap = weak.lock()) to_writer(tap, std::move(frame));
    });
    t->done = sal_sem_create("tapDone", sal_sem_BINARY, 0);
    std::lock_guard<std::mutex> g(taps_lock);
    if (sal_thread_create("tapBridge", 16384, 50, reader, t.get()) == SAL_THREAD_ERROR) {
        board->port(chip_port).setSink({});
        stop_writer(*t);
        sal_sem_destroy(t->done);
        return fail(error, size, "cannot start the TAP thread");
    }
    taps().push_back(t);
    return 0;
}

void board_host_tap_stop_all(void) {
    std::lock_guard<std::mutex> g(taps_lock);
    for (auto &t : taps()) {
        t->stop.store(true);
        uint64_t one = 1;
        ssize_t n = write(t->wake.get(), &one, sizeof one);
        (void)n;
        sal_sem_take(t->done, sal_sem_FOREVER);
        sal_sem_destroy(t->done);
        stop_writer(*t);
    }
    taps().clear();
}
