// The monitor's loopback self-tests in the program, driven over a
// pseudo-terminal: the PHY loopback (test 49) on one port and on several,
// the snake (test 39), refused parameters, and a frame the chip model spoils
// on the wire, which fails test 49 and offers the Stop-on-Error menu; the
// DSCP map shown for each port.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "switchfw_child.h"

namespace {

namespace fs = std::filesystem;

// switchfw with its console on a pty; the model's frame fault when given.
class Monitor {
  public:
    Monitor(const fs::path &dir, const char *corrupt_frame = nullptr, int board = 52) {
        switchfw_child::Child child = switchfw_child::start(
            dir,
            {"--board", std::to_string(board), "--bus", "direct", "--port-offset",
             std::to_string(switchfw_child::free_port_offset()), "--flash", "flash.bin", "--fs",
             "fs"},
            true, corrupt_frame != nullptr ? "SWITCHFW_TEST_CORRUPT_FRAME" : nullptr,
            corrupt_frame);
        pid_ = child.pid;
        in_ = child.in;
        out_ = child.out;
    }
    ~Monitor() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        close(in_);
        close(out_);
    }
    // Types a line and collects the output up to the text (the prompt by
    // default): false when it did not come in time.
    bool run(const std::string &line, const std::string &text = "DXP.0> ", int seconds = 60) {
        seen_.clear();
        const std::string typed = line + "\n";
        if (write(in_, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size()))
            return false;
        return switchfw_child::read_until(out_, &seen_, text, seconds);
    }
    bool ready() { return switchfw_child::read_until(out_, &seen_, "DXP.0> ", 30); }
    bool saw(const std::string &text) const { return seen_.find(text) != std::string::npos; }
    const std::string &output() const { return seen_; }

  private:
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    std::string seen_;
};

class selftest_e2e : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("selftest_e2e_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

// The pass count of a test in its TestList line, -1 when the line is missing.
int passes(Monitor &m, int test) {
    if (!m.run("TestList " + std::to_string(test))) return -1;
    const std::string &out = m.output();
    const size_t row = out.find("|  " + std::to_string(test) + "|");
    if (row == std::string::npos) return -1;
    // |number|name|loops|runs|passes: the pass count follows the fourth bar on.
    size_t at = row;
    for (int bars = 0; bars < 4 && at != std::string::npos; bars++)
        at = out.find('|', at + 1);
    return at == std::string::npos ? -1 : std::stoi(out.substr(at + 1));
}

// A board and the ports of its several-port case: on the 52-port board one of
// them lies in the chip's second port group, where every DXP7106 port is.
struct LoopbackBoard {
    int board;
    const char *several;
};

void PrintTo(const LoopbackBoard &b, std::ostream *os) {
    *os << b.board;
}

class selftest_e2e_boards : public selftest_e2e,
                            public ::testing::WithParamInterface<LoopbackBoard> {};

TEST_P(selftest_e2e_boards, LoopbackTestsPassOnOnePortOnSeveralAndAsASnake) {
    Monitor m(dir, nullptr, GetParam().board);
    ASSERT_TRUE(m.ready()) << m.output();
    ASSERT_TRUE(m.run("TestList all")) << m.output();
    for (const char *row :
         {"|  30| Counter widths", "|  31| Counter read/write", "|  39| New Snake Test",
          "|  49| PHY Loopback - Mark 2", "|  72| Traffic Test"})
        EXPECT_TRUE(m.saw(row)) << row << "\n" << m.output();

    // One port sends and receives every frame itself.
    ASSERT_TRUE(m.run("TestRun 49 PortBitMap=fe0 Count=2 LengthEnd=600 COSEnd=1")) << m.output();
    EXPECT_TRUE(m.saw("LB: total 136 pkt (2 len * 2 COS * 1 port * 17 packets * 2 count)"))
        << m.output();
    EXPECT_TRUE(m.saw("recv 136 pkt")) << m.output();
    EXPECT_FALSE(m.saw("TEST ERROR")) << m.output();
    EXPECT_EQ(passes(m, 49), 1);

    // Several ports, the frames of a trial sent as one array.
    ASSERT_TRUE(
        m.run(std::string("TestRun 49 PortBitMap=") + GetParam().several +
              " Count=1 LengthEnd=300 COSEnd=0 SENDMethod=Array CRC=CpuAppend CheckCrc=yes"))
        << m.output();
    EXPECT_TRUE(m.saw("recv 51 pkt")) << m.output();
    EXPECT_FALSE(m.saw("TEST ERROR")) << m.output();
    EXPECT_EQ(passes(m, 49), 2);

    // The snake: frames circulate through the ports both ways and return.
    ASSERT_TRUE(
        m.run("TestRun 39 PortBitMap=fe0-fe3 Count=2 Duration=1 Interval=1 "
              "LoopbackMode=PHY SnakePath=TWOways"))
        << m.output();
    EXPECT_TRUE(m.saw("LB: loop 2 of 2: circular test on ports for 1 seconds")) << m.output();
    EXPECT_TRUE(m.saw("Port fe3 (3) (")) << m.output();
    EXPECT_FALSE(m.saw("did not return")) << m.output();
    EXPECT_FALSE(m.saw("TEST ERROR")) << m.output();
    EXPECT_EQ(passes(m, 39), 1);

    // Injecting only: the first loop line, and the test passes.
    ASSERT_TRUE(m.run("TestRun 39 InjectPackets=yes")) << m.output();
    EXPECT_TRUE(m.saw("LB: loop 1 of 2")) << m.output();
    EXPECT_FALSE(m.saw("LB: loop 2 of 2")) << m.output();
    EXPECT_EQ(passes(m, 39), 2);

    // The code point map is the unit's: every listed port shows it.
    ASSERT_TRUE(m.run("DSCP fe1-fe2 10")) << m.output();
    EXPECT_TRUE(m.saw("0:fe1 dscp map: 10=10\r\n0:fe2 dscp map: 10=10\r\n")) << m.output();
    EXPECT_FALSE(m.saw("ERROR")) << m.output();
}

INSTANTIATE_TEST_SUITE_P(every_board, selftest_e2e_boards,
                         ::testing::Values(LoopbackBoard{52, "fe1,fe2,fe30"},
                                           LoopbackBoard{28, "fe1-fe3"},
                                           LoopbackBoard{26, "fe1-fe3"}),
                         [](const ::testing::TestParamInfo<LoopbackBoard> &info) {
                             return std::to_string(info.param.board);
                         });

TEST_F(selftest_e2e, BadParametersFailTheInitAndAreNotKept) {
    Monitor m(dir);
    ASSERT_TRUE(m.ready()) << m.output();
    const struct {
        const char *args, *error;
    } cases[] = {
        {"LengthStart=63", "Packet start length 63 too small"},
        {"LengthEnd=5000", "Packet end length 5000 too large.  Max is 2008."},
        {"PktsPerTrialEnd=17", "Too many packets per trial (1, 17).  Max is 16."},
        {"COSEnd=8", "Invalid COS values: start=0 end=8"},
        {"LengthIncrement=0", "Increments must be > 0"},
        {"CheckCrc=yes CRC=CpuNone", "Can't check CRC if not generating it"},
        {"PortBitMap=cpu", "Invalid bits in port bitmap.\r\nAllowable ports are fe,ge"},
        {"Bogus=1", "Invalid option: Bogus=1"},
        {"Count=99999999", "Count 99999999 too large (at most 1000000)"},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(m.run(std::string("TestRun 49 PortBitMap=fe0 ") + c.args)) << m.output();
        EXPECT_TRUE(m.saw(c.error)) << c.args << "\n" << m.output();
        EXPECT_TRUE(m.saw("Test: ERROR: Init function for test 49 (PHY Loopback - Mark 2) failed"))
            << c.args << "\n"
            << m.output();
    }
    // The refused values were not kept: the next run passes.
    ASSERT_TRUE(m.run("TestRun 49 PortBitMap=fe0 Count=1 LengthEnd=72 COSEnd=0 PktsPerTrialEnd=1"))
        << m.output();
    EXPECT_TRUE(m.saw("recv 1 pkt")) << m.output();
    EXPECT_EQ(passes(m, 49), 1);
}

TEST_F(selftest_e2e, ASpoiltFrameFailsThePhyLoopbackWithTheStopOnErrorMenu) {
    Monitor m(dir, "2");
    ASSERT_TRUE(m.ready()) << m.output();
    ASSERT_TRUE(m.run("TestMode +SOE")) << m.output();
    ASSERT_TRUE(m.run("TestRun 49 PortBitMap=fe0 Count=3 LengthEnd=72 COSEnd=0 PktsPerTrialEnd=1",
                      "Stop-on-Error action? "))
        << m.output();
    EXPECT_TRUE(m.saw("ERROR: Payload miscompare: offset 0x22")) << m.output();
    EXPECT_TRUE(m.saw("ERROR Found when verifying received packet")) << m.output();
    EXPECT_TRUE(m.saw("TEST ERROR PHY Loopback - Mark 2:")) << m.output();
    EXPECT_TRUE(
        m.saw("See error description\r\n\tPort TX(fe0) RX(fe0)\r\n\tPacket Length=72 "
              "bytes\r\n\tPPT=1\r\n\tCurrent COS=0\r\n\tIteration 2 of 3"))
        << m.output();
    // "stop" says how to stop the test and asks again.
    ASSERT_TRUE(m.run("stop", "Stop-on-Error action? ")) << m.output();
    EXPECT_TRUE(m.saw("A break (Ctrl-C) stops the test")) << m.output();
    ASSERT_TRUE(m.run("continue")) << m.output();
    ASSERT_TRUE(m.run("TestList fail")) << m.output();
    EXPECT_TRUE(m.saw("49")) << m.output();
    // The switch is usable again: the next run passes.
    ASSERT_TRUE(m.run("TestRun 49")) << m.output();
    EXPECT_TRUE(m.saw("recv 3 pkt")) << m.output();
    EXPECT_FALSE(m.saw("TEST ERROR")) << m.output();
}

}  // namespace
