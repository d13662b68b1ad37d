// The PHY loopback test on the gigabit ports of every PHY kind, with no
// other traffic, while the receive thread gets little of the processor (as
// on a loaded host): the test's own frames never overrun the CPU port, and
// every trial passes.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/resource.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"

namespace {

using system_fixture::Switch;

// The thread of the process with that name, or -1.
pid_t thread_named(pid_t pid, const std::string &name) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto &task : std::filesystem::directory_iterator(tasks)) {
        std::string comm;
        std::getline(std::ifstream(task.path() / "comm"), comm);
        if (comm == name) return static_cast<pid_t>(std::stoi(task.path().filename()));
    }
    return -1;
}

// Keeps one processor busy and gives the thread only what is left of it.
class Starved {
  public:
    explicit Starved(pid_t tid) {
        cpu_set_t allowed;
        sched_getaffinity(0, sizeof allowed, &allowed);
        int cpu = 0;
        while (cpu < CPU_SETSIZE && !CPU_ISSET(cpu, &allowed))
            cpu++;
        CPU_ZERO(&one_);
        CPU_SET(cpu, &one_);
        pinned_ = sched_setaffinity(tid, sizeof one_, &one_) == 0 &&
                  setpriority(PRIO_PROCESS, static_cast<id_t>(tid), 19) == 0;
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

class system_selftest_room : public testing::TestWithParam<int> {};

TEST_P(system_selftest_room, OwnFramesNeverOverrunTheCpuPortOnEveryPhyKind) {
    const int board = GetParam();
    const std::vector<std::string> kinds = board == 52 ? std::vector<std::string>{"board", "serdes"}
                                           : board == 28
                                               ? std::vector<std::string>{"copper", "6401s"}
                                               : std::vector<std::string>{"640x", "6413"};
    for (const std::string &kind : kinds) {
        std::filesystem::remove(test_workdir::path() + "/flash.bin");
        Switch fw(test_workdir::path(), {"--board", std::to_string(board), "--gig-phy", kind});
        ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60)) << kind;
        const pid_t rx = thread_named(fw.pid(), "dxpRX.0");
        ASSERT_GT(rx, 0) << kind;
        Starved starved(rx);
        ASSERT_TRUE(starved.pinned()) << kind;
        std::string out;
        ASSERT_TRUE(fw.answer("TestRun 49 PortBitMap=ge Count=1", &out, 120)) << kind << "\n"
                                                                              << out;
        EXPECT_NE(out.find("(100%"), std::string::npos) << kind << "\n" << out;
        EXPECT_EQ(out.find("overrun"), std::string::npos) << kind << "\n" << out;
        EXPECT_EQ(out.find("TEST ERROR"), std::string::npos) << kind << "\n" << out;
    }
    std::filesystem::remove(test_workdir::path() + "/flash.bin");
}

INSTANTIATE_TEST_SUITE_P(every_board, system_selftest_room, testing::Values(52, 28, 26),
                         [](const testing::TestParamInfo<int> &info) {
                             return std::to_string(info.param);
                         });

}  // namespace
