// Whole settings images taken in turn, per board: a factory reset and a
// backup restore posted 0.2 s apart, in both orders, leave the one posted
// last running and stored across a restart; a restart posted after a restore,
// or asked for at the console after a reset, comes once it is stored; the
// reset button pressed just after a restore was posted leaves the factory
// defaults; an image posted as the switch restarts is refused or runs.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "../../platform/tests/private_workdir.h"
#include "../../platform/tests/tcp_unread.h"
#include "system_fixture.h"
#include "web_client.h"

namespace {

using system_fixture::Switch;

constexpr const char *kBackupRuns = "age 250, VLAN 50";
constexpr const char *kFactoryRuns = "age 300, no VLAN 50";

class system_image_order : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        std::filesystem::remove(dir + "/flash.bin");
        start();
    }
    void TearDown() override { std::filesystem::remove(dir + "/flash.bin"); }
    // The switch started (again) on the flash it has, logged in on the web.
    void start() {
        fw.reset();
        fw = std::make_unique<Switch>(
            dir, std::vector<std::string>{"--board", std::to_string(GetParam())});
        ASSERT_TRUE(fw->run("", "DXP.0> ", nullptr, 60));
        web = fw->port_offset() + 80;
        cookie = web_client::login(web, "qivor");
        ASSERT_FALSE(cookie.empty());
    }
    std::string post(const char *path, const std::string &form) {
        return web_client::post(web, path, form, cookie);
    }
    // The chip's ageing time and VLAN 50, as the ageing page and the
    // monitor show them.
    std::string runs() {
        const std::string page = web_client::get(web, "/aging.htm", cookie);
        const std::string mark = "<td id=\"current\">";
        const size_t from = page.find(mark), to = page.find(" second(s)</td>", from);
        const std::string age = from == std::string::npos || to == std::string::npos
                                    ? "?"
                                    : page.substr(from + mark.size(), to - from - mark.size());
        const bool vlan50 = ("\n" + fw->output("vlan show")).find("\n50 ") != std::string::npos;
        return "age " + age + (vlan50 ? ", VLAN 50" : ", no VLAN 50");
    }
    // What runs once the accepted images have all been applied: the same
    // for two seconds after it first showed (a busy host may take a minute
    // to apply them).
    std::string settles_on(const std::string &want) {
        for (int tries = 0; tries < 240 && runs() != want; tries++)
            usleep(250000);
        sleep(2);
        return runs();
    }
    // The backup taken once ageing 250 and VLAN 50 run.
    std::string backup_image() {
        const int ports = GetParam();
        EXPECT_EQ(post("/aging.cgi", "enable=1&time=250").find("Retry"), std::string::npos);
        EXPECT_EQ(
            post("/newvlan.cgi", "newid=50&values=22" + std::string(ports - 2, '0')).find("Retry"),
            std::string::npos);
        [&] { ASSERT_EQ(runs(), kBackupRuns); }();  // fatal for the caller
        return web_client::body_of(web_client::get(web, "/dxpqsw.cfg", cookie));
    }
    const std::string dir = test_workdir::path();
    std::unique_ptr<Switch> fw;
    int web = 0;
    std::string cookie;
};

TEST_P(system_image_order, TheImageAcceptedLastRunsAndIsStored) {
    const std::string image = backup_image();
    if (HasFatalFailure()) return;

    for (const bool reset_first : {true, false}) {
        SCOPED_TRACE(reset_first ? "reset, then restore" : "restore, then reset");
        EXPECT_EQ(post("/aging.cgi", "enable=1&time=120").find("Retry"), std::string::npos);
        std::string first, second;
        if (reset_first) {
            first = post("/restored.cgi", "factory=2");
            usleep(200000);
            second = web_client::upload(web, "/restore.cgi", image, cookie);
        } else {
            first = web_client::upload(web, "/restore.cgi", image, cookie);
            usleep(200000);
            second = post("/restored.cgi", "factory=2");
        }
        for (const std::string *answer : {&first, &second}) {
            EXPECT_NE(answer->find("Restoring Configuration"), std::string::npos) << *answer;
            EXPECT_EQ(answer->find("Retry"), std::string::npos) << *answer;
        }
        const std::string last = reset_first ? kBackupRuns : kFactoryRuns;
        EXPECT_EQ(settles_on(last), last);
        ASSERT_TRUE(fw->run("EXIT", "Resetting"));
        start();
        if (HasFatalFailure()) return;
        EXPECT_EQ(runs(), last) << "after a restart";
    }

    // A restart posted after a restore comes once the restore is stored; a
    // reset posted after the restart is refused, as the restart would drop it.
    EXPECT_NE(
        web_client::upload(web, "/restore.cgi", image, cookie).find("Restoring Configuration"),
        std::string::npos);
    usleep(200000);
    post("/reset.cgi", "confirm=yes");
    const std::string refused = post("/restored.cgi", "factory=2");
    EXPECT_NE(refused.find("The switch is restarting: the factory defaults are not restored and "
                           "nothing changed"),
              std::string::npos)
        << refused;
    EXPECT_EQ(fw->exit_status(30), 10);
    start();
    if (HasFatalFailure()) return;
    EXPECT_EQ(runs(), kBackupRuns) << "after the restart page";

    // A restart at the console right after a reset was announced comes once
    // the reset is applied and stored.
    EXPECT_NE(post("/restored.cgi", "factory=2").find("Restoring Configuration"),
              std::string::npos);
    ASSERT_TRUE(fw->run("EXIT", "Resetting"));
    start();
    if (HasFatalFailure()) return;
    EXPECT_EQ(runs(), kFactoryRuns) << "after a console restart";

    // The reset button pressed just before a restore posted before it is
    // due: the restore may be applied while the switch restarts, but the
    // erase comes after it and the switch starts with the factory defaults.
    EXPECT_NE(
        web_client::upload(web, "/restore.cgi", image, cookie).find("Restoring Configuration"),
        std::string::npos);
    usleep(900000);
    kill(fw->pid(), SIGUSR1);
    // One posted after the press is answered with its refusal, or finds the
    // switch gone when the restart (a second after the press) came first,
    // as it may on a busy host; it is never taken.
    ASSERT_TRUE(fw->run("", "Reset button pressed"));
    const std::string late = web_client::upload(web, "/restore.cgi", image, cookie);
    if (!late.empty()) {
        EXPECT_NE(late.find("The switch is restarting: the backup is not restored"),
                  std::string::npos)
            << late;
    }
    EXPECT_EQ(fw->exit_status(30), 10);
    start();
    if (HasFatalFailure()) return;
    EXPECT_EQ(runs(), kFactoryRuns) << "after the reset button";
}

// Sends the text on a new connection and waits until the server has read
// it: it has taken the request in its turn.
int sent_and_read(int web, const std::string &text) {
    const int fd = web_client::send_on_new(web, text);
    for (int tries = 0; fd >= 0 && tries < 2000 && tcp_unread_by_peer(fd) != 0; tries++)
        usleep(10000);
    return fd;
}

// Sends an SNMPv2c SET (request id 42) of port 3's ifAdminStatus to down
// from a socket of its own, whose answer set_answered() reads; -1 on failure.
int send_admin_down(int agent_port) {
    static const uint8_t message[] = {
        0x30, 0x2a, 0x02, 0x01, 0x01, 0x04, 0x07, 'p',  'r',  'i',  'v',  'a',  't',  'e',  0xa3,
        0x1c, 0x02, 0x01, 0x2a, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x11, 0x30, 0x0f, 0x06,
        0x0a, 0x2b, 0x06, 0x01, 0x02, 0x01, 0x02, 0x02, 0x01, 0x07, 0x03, 0x02, 0x01, 0x02};
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in to{.sin_family = AF_INET,
                         .sin_port = htons(static_cast<uint16_t>(agent_port)),
                         .sin_addr = {htonl(INADDR_LOOPBACK)},
                         .sin_zero = {}};
    if (fd >= 0 && sendto(fd, message, sizeof message, 0, reinterpret_cast<const sockaddr *>(&to),
                          sizeof to) < 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Whether the SET sent on `fd` was answered without an error (request id
// 42, error status 0), waiting as long as a held change may.
bool set_answered(int fd) {
    if (fd < 0) return false;
    const timeval limit{.tv_sec = 60, .tv_usec = 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    char reply[512];
    const ssize_t got = recv(fd, reply, sizeof reply, 0);
    close(fd);
    const std::string answer(reply, got > 0 ? static_cast<size_t>(got) : 0);
    return answer.find(std::string("\x02\x01\x2a\x02\x01\x00", 6)) != std::string::npos;
}

// Changes accepted while a restore waits to be applied run after it: an
// SNMP SET or an ageing form sent 0.2 s after the upload is answered once
// the restore is in, and the change stays, across a restart too; a read
// from the SET's manager is answered meanwhile. A SET sent while the upload
// is still being read runs after it as well, and before a restore accepted
// after it; a SET and a form that both waited run in the order accepted.
TEST_P(system_image_order, AChangeAcceptedAfterARestoreRunsAfterIt) {
    EXPECT_EQ(post("/aging.cgi", "enable=1&time=270").find("Retry"), std::string::npos);
    const std::string image_b = web_client::body_of(web_client::get(web, "/dxpqsw.cfg", cookie));
    EXPECT_EQ(post("/aging.cgi", "enable=1&time=250").find("Retry"), std::string::npos);
    const std::string image = web_client::body_of(web_client::get(web, "/dxpqsw.cfg", cookie));
    EXPECT_EQ(post("/aging.cgi", "enable=1&time=300").find("Retry"), std::string::npos);
    auto restore = [&] {
        EXPECT_NE(
            web_client::upload(web, "/restore.cgi", image, cookie).find("Restoring Configuration"),
            std::string::npos);
        usleep(200000);
    };

    const bool snmp = system_fixture::sh("snmpset -V") == 0;
    const std::string sys_name = " .1.3.6.1.2.1.1.5.0",
                      agent = " -v2c -On -Oqv -r 0 -t 10 -c private 127.0.0.1:" +
                              std::to_string(fw->port_offset() + 161);
    auto name = [&] { return system_fixture::sh_out("snmpget" + agent + sys_name + " 2>&1"); };
    if (snmp) {
        // A read from the manager whose SET the restore holds is answered
        // meanwhile, with the name from before the SET: in one of a few
        // rounds, since a busy host may start the read only once the
        // restore is done.
        bool read_meanwhile = false;
        for (int round = 0; round < 4 && !read_meanwhile; round++) {
            const std::string value = "later" + std::to_string(round);
            restore();
            std::string set;
            std::thread setter([&] {
                set =
                    system_fixture::sh_out("snmpset" + agent + sys_name + " s " + value + " 2>&1");
            });
            usleep(100000);  // the SET goes first
            const std::string read = name();
            setter.join();
            read_meanwhile = read.find(value) == std::string::npos;
            EXPECT_NE(set.find(value), std::string::npos) << set;
            EXPECT_EQ(runs(), "age 250, no VLAN 50") << "answered before the restore";
            EXPECT_NE(name().find(value), std::string::npos);
        }
        EXPECT_TRUE(read_meanwhile) << "every read waited for the SET the restore held";

        // A SET sent while a restore upload is still being read runs after
        // its image too, as a form does: the port stays down.
        const std::string admin = " .1.3.6.1.2.1.2.2.1.7.3";
        EXPECT_EQ(post("/aging.cgi", "enable=1&time=300").find("Retry"), std::string::npos);
        const std::string upload = web_client::upload_text("/restore.cgi", image, cookie);
        const size_t head = upload.find("\r\n\r\n") + 4 + 200;
        const int restoring = sent_and_read(web, upload.substr(0, head));
        std::string set;
        std::thread setter(
            [&] { set = system_fixture::sh_out("snmpset -Oe" + agent + admin + " i 2 2>&1"); });
        usleep(300000);  // the SET goes first
        if (restoring >= 0) switchfw_child::send_text(restoring, upload.substr(head));
        EXPECT_NE(web_client::answer_of(restoring).find("Restoring Configuration"),
                  std::string::npos);
        setter.join();
        EXPECT_EQ(set, "2\n");
        EXPECT_EQ(settles_on("age 250, no VLAN 50"), "age 250, no VLAN 50");
        EXPECT_EQ(system_fixture::sh_out("snmpget -Oe" + agent + admin), "2\n")
            << "the restore undid the SET";

        // Restore A's head is read, then a SET, then restore B whole, then
        // the rest of A: they run in the order accepted, A, the SET, B,
        // whichever upload ended first. B's ageing runs and B brings the
        // port back up.
        const std::string upload_a = web_client::upload_text("/restore.cgi", image, cookie);
        const int restoring_a = sent_and_read(web, upload_a.substr(0, head));
        const int held_set = send_admin_down(fw->port_offset() + 161);
        // A read sent after it is answered once the SET is taken in (the
        // manager's requests are read in order; a read passes a held SET).
        EXPECT_NE(name(), "");
        EXPECT_NE(web_client::upload(web, "/restore.cgi", image_b, cookie)
                      .find("Restoring Configuration"),
                  std::string::npos);
        if (restoring_a >= 0) switchfw_child::send_text(restoring_a, upload_a.substr(head));
        EXPECT_NE(web_client::answer_of(restoring_a).find("Restoring Configuration"),
                  std::string::npos);
        EXPECT_TRUE(set_answered(held_set));
        EXPECT_EQ(settles_on("age 270, no VLAN 50"), "age 270, no VLAN 50");
        EXPECT_EQ(system_fixture::sh_out("snmpget -Oe" + agent + admin), "1\n")
            << "the SET ran after the restore accepted after it";

        // Restore A, then a SET taking port 3 down, then the port page
        // bringing it up: both wait for A and then run in the order
        // accepted, whichever entrance serves first.
        EXPECT_NE(
            web_client::upload(web, "/restore.cgi", image, cookie).find("Restoring Configuration"),
            std::string::npos);
        const int down = send_admin_down(fw->port_offset() + 161);
        EXPECT_NE(name(), "");  // the SET is taken in
        const int up = sent_and_read(
            web, web_client::request_text("POST", "/portset.cgi",
                                          "port=3&admin=1&autonego=1&flow_ctrl=0&priority=0&pvid=1",
                                          cookie));
        EXPECT_TRUE(set_answered(down));
        const std::string port_page = web_client::answer_of(up);
        EXPECT_EQ(port_page.find("ERROR"), std::string::npos) << port_page;
        EXPECT_EQ(settles_on("age 250, no VLAN 50"), "age 250, no VLAN 50");
        EXPECT_EQ(system_fixture::sh_out("snmpget -Oe" + agent + admin), "1\n")
            << "the form ran before the SET accepted before it";

        // Restore A, a form waiting for it, a factory reset waiting behind
        // the form, then a SET: the SET runs last and the port stays down.
        EXPECT_NE(
            web_client::upload(web, "/restore.cgi", image, cookie).find("Restoring Configuration"),
            std::string::npos);
        const int form = sent_and_read(
            web, web_client::request_text("POST", "/aging.cgi", "enable=1&time=260", cookie));
        const int reset = sent_and_read(
            web, web_client::request_text("POST", "/restored.cgi", "factory=2", cookie));
        const int last_set = send_admin_down(fw->port_offset() + 161);
        EXPECT_EQ(web_client::answer_of(form).find("Retry"), std::string::npos);
        EXPECT_NE(web_client::answer_of(reset).find("Restoring Configuration"), std::string::npos);
        EXPECT_TRUE(set_answered(last_set));
        EXPECT_EQ(settles_on(kFactoryRuns), kFactoryRuns);
        EXPECT_EQ(system_fixture::sh_out("snmpget -Oe" + agent + admin), "2\n")
            << "the factory reset ran after the SET accepted after it";
    }

    restore();
    const std::string answer = post("/aging.cgi", "enable=1&time=120");
    EXPECT_EQ(answer.find("Retry"), std::string::npos) << answer;
    EXPECT_EQ(runs(), "age 120, no VLAN 50") << "answered before the restore";
    EXPECT_EQ(settles_on("age 120, no VLAN 50"), "age 120, no VLAN 50");
    ASSERT_TRUE(fw->run("EXIT", "Resetting"));
    start();
    if (HasFatalFailure()) return;
    EXPECT_EQ(runs(), "age 120, no VLAN 50") << "after a restart";
}

// A form accepted after a restore upload began runs after that restore,
// though the rest of the upload waits unread behind a form accepted before
// it: restore A, a form, restore B and a form end with the last form's
// ageing, on the page and after a restart. The last form may instead be
// refused by name when the restores keep it waiting too long (a busy host);
// then restore B's ageing runs.
TEST_P(system_image_order, AFormAcceptedDuringARestoreUploadRunsAfterIt) {
    EXPECT_EQ(post("/aging.cgi", "enable=1&time=270").find("Retry"), std::string::npos);
    const std::string image_b = web_client::body_of(web_client::get(web, "/dxpqsw.cfg", cookie));
    EXPECT_EQ(post("/aging.cgi", "enable=1&time=250").find("Retry"), std::string::npos);
    const std::string image_a = web_client::body_of(web_client::get(web, "/dxpqsw.cfg", cookie));
    EXPECT_EQ(post("/aging.cgi", "enable=1&time=300").find("Retry"), std::string::npos);
    auto form = [&](int age) {
        return web_client::request_text("POST", "/aging.cgi",
                                        "enable=1&time=" + std::to_string(age), cookie);
    };

    EXPECT_NE(
        web_client::upload(web, "/restore.cgi", image_a, cookie).find("Restoring Configuration"),
        std::string::npos);
    const int first = sent_and_read(web, form(260));
    // Restore B's head and the start of its file are read; the rest waits
    // while the first form does.
    const std::string upload = web_client::upload_text("/restore.cgi", image_b, cookie);
    const size_t head = upload.find("\r\n\r\n") + 4 + 200;
    const int restore = sent_and_read(web, upload.substr(0, head));
    if (restore >= 0) switchfw_child::send_text(restore, upload.substr(head));
    const int last = sent_and_read(web, form(290));

    const std::string answers[] = {web_client::answer_of(first), web_client::answer_of(restore),
                                   web_client::answer_of(last)};
    EXPECT_EQ(answers[0].find("Retry"), std::string::npos) << answers[0];
    EXPECT_NE(answers[1].find("Restoring Configuration"), std::string::npos) << answers[1];
    const bool taken = answers[2].find("Retry") == std::string::npos;
    if (!taken) {
        EXPECT_NE(answers[2].find("A restore is being applied: nothing changed"), std::string::npos)
            << answers[2];
    }
    const std::string want = taken ? "age 290, no VLAN 50" : "age 270, no VLAN 50";
    EXPECT_EQ(settles_on(want), want);
    ASSERT_TRUE(fw->run("EXIT", "Resetting"));
    start();
    if (HasFatalFailure()) return;
    EXPECT_EQ(runs(), want) << "after a restart";
}

// A restore or factory reset posted 0.3 s after a restart was asked for at
// the console (`EXIT`) or over telnet (`reboot`) is refused by name and
// changes nothing, or is what runs after the restart; one posted before
// SIGINT ends the program on a pipe is applied and stored first, and an SNMP
// SET taken in behind it is answered.
TEST_P(system_image_order, AnImagePostedAsTheSwitchRestartsIsRefusedOrRuns) {
    const std::string image = backup_image();
    if (HasFatalFailure()) return;
    // Each image is posted where it would change what runs.
    auto running = [&](const std::string &want) {
        if (runs() == want) return;
        const std::string answer = want == kBackupRuns
                                       ? web_client::upload(web, "/restore.cgi", image, cookie)
                                       : post("/restored.cgi", "factory=2");
        EXPECT_NE(answer.find("Restoring Configuration"), std::string::npos) << answer;
        ASSERT_EQ(settles_on(want), want);
    };
    int telnet = -1;

    for (const bool factory : {false, true}) {
        const std::string before = factory ? kBackupRuns : kFactoryRuns;
        const std::string after = factory ? kFactoryRuns : kBackupRuns;
        for (const bool at_console : {true, false}) {
            SCOPED_TRACE(std::string(factory ? "reset" : "restore") +
                         (at_console ? " after EXIT" : " after telnet reboot"));
            running(before);
            if (HasFatalFailure()) return;
            if (!at_console) {
                telnet = switchfw_child::telnet_login(fw->port_offset() + 23, "qivor");
                ASSERT_GE(telnet, 0);
            }
            if (at_console) {
                fw->type("EXIT\n");
            } else {
                switchfw_child::send_text(telnet, "reboot\r\n");
            }
            usleep(300000);
            const std::string answer = factory
                                           ? post("/restored.cgi", "factory=2")
                                           : web_client::upload(web, "/restore.cgi", image, cookie);
            EXPECT_EQ(fw->exit_status(30), 10);
            if (telnet >= 0) close(telnet);
            telnet = -1;
            start();
            if (HasFatalFailure()) return;
            if (answer.find("Restoring Configuration") != std::string::npos) {
                EXPECT_EQ(runs(), after) << "answered as accepted";
            } else {
                EXPECT_NE(answer.find(std::string("The switch is restarting: the ") +
                                      (factory ? "factory defaults are" : "backup is") +
                                      " not restored and nothing changed"),
                          std::string::npos)
                    << answer;
                EXPECT_EQ(runs(), before) << "refused";
            }
        }
    }

    // The end by SIGINT on a pipe comes once the restore posted before it is
    // stored, and once an SNMP SET taken in behind that restore is answered.
    running(kFactoryRuns);
    if (HasFatalFailure()) return;
    EXPECT_NE(
        web_client::upload(web, "/restore.cgi", image, cookie).find("Restoring Configuration"),
        std::string::npos);
    const bool snmp = system_fixture::sh("snmpget -V") == 0;
    const int held_set = snmp ? send_admin_down(fw->port_offset() + 161) : -1;
    if (snmp) {
        // Read after the SET by the agent's one socket: the SET is taken in.
        EXPECT_NE(
            system_fixture::sh_out("snmpget -v2c -r 0 -t 10 -c public 127.0.0.1:" +
                                   std::to_string(fw->port_offset() + 161) + " .1.3.6.1.2.1.1.5.0"),
            "");
    } else {
        usleep(300000);
    }
    kill(fw->pid(), SIGINT);
    if (snmp) {
        EXPECT_TRUE(set_answered(held_set)) << "a SET accepted before the end";
    }
    EXPECT_EQ(fw->exit_status(30), 128 + SIGINT);
    start();
    if (HasFatalFailure()) return;
    EXPECT_EQ(runs(), kBackupRuns) << "after SIGINT";
}

// An address change answered 0.3 s before `EXIT` is stored before the
// restart; one posted 0.3 s after it is refused by name and stores nothing.
TEST_P(system_image_order, AnAddressChangeAnsweredBeforeARestartIsStored) {
    auto stored = [&] {
        return system_fixture::backup_items(
            web_client::body_of(web_client::get(web, "/dxpqsw.cfg", cookie)))["et0config"];
    };
    auto set_address = [&](const char *ip) {
        return post("/setip.cgi",
                    std::string("ip=") + ip + "&netmask=255.0.0.0&gateway=10.0.0.1&ifname=eth0");
    };
    const std::string first = stored();
    EXPECT_EQ(set_address("10.0.0.2").find("Retry"), std::string::npos);
    usleep(300000);
    ASSERT_TRUE(fw->run("EXIT", "Resetting"));
    EXPECT_EQ(fw->exit_status(30), 10);
    start();
    if (HasFatalFailure()) return;
    const std::string second = stored();
    EXPECT_NE(second, first) << "the address answered was not stored";

    fw->type("EXIT\n");
    usleep(300000);
    const std::string answer = set_address("10.0.0.3");
    EXPECT_NE(answer.find("The switch is restarting: the address is not changed"),
              std::string::npos)
        << answer;
    EXPECT_EQ(fw->exit_status(30), 10);
    start();
    if (HasFatalFailure()) return;
    EXPECT_EQ(stored(), second);
}

INSTANTIATE_TEST_SUITE_P(every_board, system_image_order, testing::Values(52, 28, 26),
                         [](const testing::TestParamInfo<int> &info) {
                             return std::to_string(info.param);
                         });

}  // namespace
