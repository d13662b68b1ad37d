// The loopback self-tests on a starved host beside a storm, one case per
// board: a host floods 20,000 broadcasts/s into port 3 while switchfw shares
// one processor with busy loops, so that its receive thread and the chip
// model fall behind. The snake on every port (the storming one among them)
// and test 49 on the storming port and its neighbour pass: a frame a test
// sends comes back or is dropped where it is counted, and is sent again; no
// healthy port fails. Needs root (CAP_NET_ADMIN), /dev/net/tun, ip and
// python3; skips without them.
#include <gtest/gtest.h>

#include <sched.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"

namespace {

using system_fixture::count_of;
using system_fixture::Netns;
using system_fixture::sh;
using system_fixture::Switch;

// Processes that spin on one processor until they are killed.
class BusyLoops {
  public:
    BusyLoops(int cpu, int count) {
        for (int k = 0; k < count; k++) {
            const pid_t pid = fork();
            if (pid == 0) {
                cpu_set_t set;
                CPU_ZERO(&set);
                CPU_SET(cpu, &set);
                sched_setaffinity(0, sizeof set, &set);
                for (;;)
                    __asm__ volatile("" ::: "memory");
            }
            if (pid > 0) pids_.push_back(pid);
        }
    }
    ~BusyLoops() {
        for (pid_t pid : pids_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    BusyLoops(const BusyLoops &) = delete;
    BusyLoops &operator=(const BusyLoops &) = delete;

  private:
    std::vector<pid_t> pids_;
};

// Every thread of the process on the one processor (threads started later
// inherit it from their creators).
void pin(pid_t pid, int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    for (const auto &task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task"))
        sched_setaffinity(std::stoi(task.path().filename()), sizeof set, &set);
}

class system_selftest_starved : public testing::TestWithParam<int> {};

TEST_P(system_selftest_starved, LoopbackTestsPassBesideAStormOnAStarvedHost) {
    if (!system_fixture::can_make_namespaces() || sh("python3 --version") != 0)
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip and python3";
    const int board = GetParam();
    const std::string id = std::to_string(system_fixture::own_id()) + "v" + std::to_string(board);
    const std::string fw = "swvf" + id, storm_space = "swvs" + id, tap = "swv3x" + id;
    Netns ns;
    std::string net;
    ASSERT_TRUE(ns.make_free("10.193.", system_fixture::own_id() % 250, {fw, storm_space}, &net));
    const std::string dir = test_workdir::path();
    std::filesystem::remove(dir + "/flash.bin");
    auto sw = system_fixture::switch_in(
        fw, dir, {"--board", std::to_string(board), "--mgmt-tap", "mgmt", "--tap", "3=" + tap});
    ASSERT_NE(sw, nullptr);
    std::string seen;
    ASSERT_TRUE(sw->run("", "DXP.0> ", &seen, 60)) << seen;
    ASSERT_EQ(sh("ip -n " + fw + " link set " + tap + " netns " + storm_space), 0);
    ASSERT_EQ(sh("ip -n " + storm_space + " link set " + tap + " up"), 0);

    const std::string running = dir + "/storming";
    sh("touch " + running);
    sh("ip netns exec " + storm_space +
       " timeout 900 python3 -c 'import os,socket,sys,time\n"
       "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW); s.bind((sys.argv[1],0))\n"
       "f=bytes.fromhex(\"ffffffffffff020000c0ffee88b5\"+\"00\"*50); t=time.time(); n=0\n"
       "while os.path.exists(sys.argv[2]):\n"
       "  due=min(n+1000,(time.time()-t)*20000)\n"
       "  while n<due:\n"
       "    try: s.send(f)\n"
       "    except OSError: pass\n"
       "    n+=1\n"
       "  time.sleep(0.001)\n' " +
       tap + " " + running + " &");
    sleep(2);
    // switchfw gets a quarter of one processor at most.
    const int cpu = sched_getcpu() >= 0 ? sched_getcpu() : 0;
    pin(sw->pid(), cpu);
    BusyLoops busy(cpu, 3);

    std::string all;
    for (int run = 0; run < 3; run++) {
        for (const char *line :
             {"TestRun 39 PortBitMap=fe,ge Count=1 Duration=1 LoopbackMode=PHY",
              "TestRun 49 PortBitMap=fe2-fe3 Count=3 LengthEnd=300 COSEnd=0 LoopbackMode=PHY"}) {
            std::string out;
            EXPECT_TRUE(sw->run(line, "DXP.0> ", &out, 600)) << line << "\n" << out;
            EXPECT_EQ(out.find("TEST ERROR"), std::string::npos) << line << "\n" << out;
            all += out;
        }
    }
    std::filesystem::remove(running);
    // A frame that did not come back was dropped where it was counted.
    EXPECT_LE(count_of(all, "did not return to CPU") + count_of(all, "Time-out waiting"),
              count_of(all, " dropped at ") + count_of(all, "The CPU port was overrun"))
        << all;
    EXPECT_EQ(sw->exit_status(0), -1) << "switchfw ended";
    std::filesystem::remove(dir + "/flash.bin");
}

INSTANTIATE_TEST_SUITE_P(every_board, system_selftest_starved, testing::Values(52, 28, 26),
                         [](const testing::TestParamInfo<int> &info) {
                             return std::to_string(info.param);
                         });

}  // namespace
