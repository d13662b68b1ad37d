// A thread of a running switchfw made to get little of the processor, as
// on a loaded host: the system tests that need a receive thread behind.
#pragma once

#include <sched.h>
#include <sys/resource.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace starved_thread {

// The thread of the process with that name, or -1.
inline pid_t thread_named(pid_t pid, const std::string &name) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto &task : std::filesystem::directory_iterator(tasks)) {
        std::string comm;
        std::getline(std::ifstream(task.path() / "comm"), comm);
        if (comm == name) return static_cast<pid_t>(std::stoi(task.path().filename()));
    }
    return -1;
}

// Keeps one processor busy and gives the thread only what is left of it:
// at nice 19 next to nothing, at a lower nice value a share, as a loaded
// host does.
class Starved {
  public:
    explicit Starved(pid_t tid, int nice = 19) {
        cpu_set_t allowed;
        sched_getaffinity(0, sizeof allowed, &allowed);
        int cpu = 0;
        while (cpu < CPU_SETSIZE && !CPU_ISSET(cpu, &allowed))
            cpu++;
        CPU_ZERO(&one_);
        CPU_SET(cpu, &one_);
        pinned_ = sched_setaffinity(tid, sizeof one_, &one_) == 0 &&
                  setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0;
        spinner_ = std::thread([this] {
            sched_setaffinity(0, sizeof one_, &one_);
            while (!done_.load()) {
            }
        });
    }
    ~Starved() {
        done_.store(true);
        spinner_.join();
    }
    bool pinned() const { return pinned_; }

  private:
    cpu_set_t one_{};
    bool pinned_ = false;
    std::atomic<bool> done_{false};
    std::thread spinner_;
};

}  // namespace starved_thread
