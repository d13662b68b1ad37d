// The factory defaults end to end, per board: a first boot on an empty flash,
// every settings item changed on its web page, "Factory Defaults" posted, and
// the settings and every register of the chip read back at their first-boot
// values. Also what a first boot shows and what survives a restart.
#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "system_fixture.h"
#include "web_client.h"

namespace {

namespace fs = std::filesystem;
using system_fixture::backup_items;
using system_fixture::count_of;
using system_fixture::register_dump;
using system_fixture::register_names;
using system_fixture::Registers;
using system_fixture::Switch;

// The first row of the VLAN list (VLAN 1) and the ports it shows untagged.
size_t vlan1_untagged(const std::string &list) {
    size_t from = list.find("showvlan.cgi?port=1\"");
    size_t to = list.find("</table>", from);
    if (from == std::string::npos) return 0;
    return count_of(list.substr(from, to - from), "BGCOLOR=#33FFCC>");
}

// "NAME[0xADDR]=VALUE" lines by name. The MACs' status overrides keep the
// link's state, speed and duplex in bits 3:0: what the last link or forced
// speed left there, which the link scan rewrites at every link change; only
// the override's controls above them are settings.
std::map<std::string, std::string> register_values(const std::string &dump) {
    std::map<std::string, std::string> values;
    std::istringstream in(dump);
    for (std::string line; std::getline(in, line);) {
        const size_t open = line.find('['), eq = line.find("]=");
        if (open == std::string::npos || eq == std::string::npos) continue;
        const std::string name = line.substr(0, open);
        std::string value = line.substr(eq + 2);
        if (name.starts_with("STS_OVERRIDE_P.") || name.starts_with("STS_OVERRIDE_GP."))
            value =
                std::to_string(std::stoull(value, nullptr, 16) & ~0xfull) + " (bits 3:0 left out)";
        values[name] = value;
    }
    return values;
}

// One line per register whose value differs, empty when none does.
std::string register_differences(const std::map<std::string, std::string> &was,
                                 const std::map<std::string, std::string> &now) {
    std::string differences;
    for (const auto &[name, value] : was) {
        auto it = now.find(name);
        const std::string after = it == now.end() ? "(unread)" : it->second;
        if (after != value) differences += name + ": was " + value + ", now " + after + "\n";
    }
    return differences;
}

class factory_defaults : public ::testing::TestWithParam<int> {
  protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("switchfw-factory-" + std::to_string(getpid()) + "-" + std::to_string(GetParam()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    int ports() const { return GetParam(); }
    std::string board() const { return std::to_string(GetParam()); }
};

TEST_P(factory_defaults, WebResetBringsEveryItemButRmonAndEveryRegisterBackToTheFirstBoot) {
    Switch fw(dir, {"--board", board()});
    ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
    const int web = fw.port_offset() + 80;
    std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    auto backup = [&] {
        return backup_items(web_client::body_of(web_client::get(web, "/dxpqsw.cfg", cookie)));
    };
    // What the chip runs with, as the monitor shows it.
    auto running = [&fw] {
        std::string all;
        for (const char *command : {"cos show", "rate", "trunk show", "port e", "mirror"})
            all += std::string("== ") + command + "\n" + fw.output(command);
        return all;
    };
    const std::string first_running = running();
    // Every register that holds a setting, as the first boot leaves it.
    const std::vector<std::string> registers = register_names(fw, Registers::Settings);
    ASSERT_GT(registers.size(), 250u);
    const auto first_registers = register_values(register_dump(fw, registers));
    ASSERT_EQ(first_registers.size(), registers.size());
    ASSERT_EQ(first_registers.count("PKTS64OCTETS.fe0"), 0u);  // a counter
    // The first boot schedules with weights the chip takes, and the page
    // shows them.
    EXPECT_NE(first_running.find("COSQ 0 = 1 packets"), std::string::npos) << first_running;
    const auto first_boot = backup();
    ASSERT_TRUE(first_boot.count("vlan") && first_boot.count("rmon") && first_boot.count("qos"));
    ASSERT_EQ(vlan1_untagged(web_client::get(web, "/vlanlist.htm", cookie)),
              static_cast<size_t>(ports()));
    // The backup's first VLAN: 1, with every port a member and untagged.
    std::string bits;
    for (int byte = 0; byte <= ports() / 8; byte++) {
        int v = 0;
        for (int bit = 0; bit < 8; bit++)
            if (int port = byte * 8 + bit; port >= 1 && port <= ports()) v |= 1 << bit;
        char hex[9];
        std::snprintf(hex, sizeof hex, "%02x", v);
        bits += hex;
    }
    char count[9];
    std::snprintf(count, sizeof count, "%02x000000", ports() / 8 + 1);
    const std::string vlan1 = std::string(count) + bits + count + bits + "010100";
    EXPECT_EQ(first_boot.at("vlan").substr(0, vlan1.size()), vlan1);

    // Every item through its own page, most of them more than once, so that
    // each setter also takes something back.
    const std::string vlan10 = "newid=10&values=22" + std::string(ports() - 2, '0');
    const std::string vlan20 = "newid=20&values=0" + std::string(ports() - 1, '1');
    const std::string last = std::to_string(ports());
    const std::string one = "1" + std::string(ports() - 1, '0'), none(ports(), '0');
    const std::string posts[][2] = {
        {"/portset.cgi", "port=3&admin=1&autonego=0&speed=2&flow_ctrl=1&priority=5&pvid=1"},
        {"/portset.cgi", "port=" + std::to_string(ports() - 1) +
                             "&admin=0&autonego=1&flow_ctrl=1&priority=2&pvid=1"},
        {"/newvlan.cgi", vlan10},
        {"/newvlan.cgi", vlan20},
        {"/portset.cgi", "port=4&admin=1&autonego=1&flow_ctrl=0&priority=0&pvid=20"},
        {"/portset.cgi", "port=6&admin=0&autonego=0&speed=3&flow_ctrl=0&priority=7&pvid=1"},
        {"/trunk.cgi", "trunk_criteria=2&tgmember1=5,6&tgmember2=7,8&tgmember3="},
        {"/l2add.cgi", "mac=00-11-22-33-44-55&vid=1&port=5"},
        {"/aging.cgi", "enable=1&time=120"},
        {"/mirror.cgi", "ingress=" + one + "&egress=" + one + "&mtp=8&mode=1"},
        {"/mirror.cgi", "ingress=" + one + "&egress=" + none + "&mtp=2&mode=1"},
        {"/qos.cgi", "mode=3&p0=1&p1=0&p2=1&p3=1&p4=2&p5=2&p6=3&p7=3&w0=5&w1=9&w2=2&w3=3"},
        {"/queue_num.cgi", "queue_num=2"},
        {"/qos_enhance_mode.cgi", "mode=1"},
        {"/qos_enhance_port.cgi", "values=1,2,3,4,5,6"},
        {"/qos_enhance_mode.cgi", "mode=4"},
        {"/qos_enhance_ip_add.cgi", "ip=10.9.0.0&mask=255.255.0.0&priority=5"},
        {"/qos_enhance_mode.cgi", "mode=3"},
        {"/qos_enhance_tos.cgi", "values=0,0,5,0,0,0,0,0"},
        {"/qos_enhance_mode.cgi", "mode=2"},
        {"/qos_enhance_dscp.cgi", "values=1,2,3,4"},
        {"/setrate.cgi", "port=3&ingress=1024&egress_enable=1&egress=10&burst=80"},
        {"/setrate.cgi", "port=" + last + "&ingress=2048&egress_enable=1&egress=100&burst=80"},
        {"/storm_per_port.cgi", "port=0&type=1&rate=300"},
        {"/storm_per_port.cgi", "port=3&type=2&rate=1000"},
        {"/storm_per_port.cgi", "port=9&type=5&rate=512"},
        {"/dos.cgi", "checks=101"},
        {"/dos_perport.cgi", "port=5&checks=011&ping_rate=64&syn_rate=64"},
        {"/darp.cgi", "enable=1&ports=101" + std::string(ports() - 3, '0') +
                          "&rmfrom=0&rmto=0&addfrom=1&addto=1&aging=5"},
        {"/voip.cgi", "profiles=1"},
        {"/snmp_community_new.cgi",
         "snmp_community_name=extra&snmp_community_ip=0.0.0.0&snmp_group_name=1"},
        {"/logger_set.cgi", "m0=7&m1=1&m2=1"},
        {"/rmonlite_histctrl_modify.cgi",
         "ctrl_id=2&entry_status=1&input_interval=10&histctrl_enable=1&input_owner=monitorX"},
    };
    for (const auto &[path, body] : posts) {
        std::string answer = web_client::post(web, path, body, cookie);
        EXPECT_NE(answer.find("200 OK"), std::string::npos) << path;
        // The 26-port chip has no field processor for the rules of Auto VoIP,
        // DoS, ARP inspection and the port and IP address QoS modes: the
        // pages refuse them.
        const bool refused = ports() == 26 && (path == "/dos.cgi" || path == "/voip.cgi" ||
                                               path == "/dos_perport.cgi" || path == "/darp.cgi" ||
                                               body == "mode=1" || body == "mode=4");
        EXPECT_EQ(answer.find("Retry") != std::string::npos, refused) << path << "\n" << answer;
        if (refused) {
            EXPECT_NE(answer.find("no field processor"), std::string::npos) << path;
        }
        if (refused && path == "/voip.cgi") {
            // A refusal the page names is logged once, as a warning naming
            // the client.
            std::string seen;
            ASSERT_TRUE(fw.run("echo logged", "DXP.0> ", &seen));
            EXPECT_EQ(seen.find("[ERROR] AUTOVOIP"), std::string::npos) << seen;
            EXPECT_EQ(system_fixture::count_of(seen,
                                               "[WARNING] AUTOVOIP: Set Auto VoIP failed : "
                                               "This switch has no field processor"),
                      1u)
                << seen;
            EXPECT_NE(seen.find("cannot run on it. (127.0.0.1)"), std::string::npos) << seen;
        }
    }
    // The forms reached the chip.
    const auto changed_registers = register_values(register_dump(fw, registers));
    for (const char *name : {"PORT_IRC_CON.fe2", "PORT_ERC_CON.fe2", "MIRCAPCTL", "MIICTL.fe2"})
        EXPECT_NE(changed_registers.at(name), first_registers.at(name)) << name;
    // The server's own address, the account: both are items too.
    web_client::post(web, "/setip.cgi",
                     "ip=10.0.0.2&netmask=255.0.0.0&gateway=10.0.0.1&ifname=eth0", cookie);
    web_client::post(web, "/password.cgi", "o=qivor&n=other&c=other", cookie);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // setip applies after 1 s
    cookie = web_client::login(web, "other");
    ASSERT_FALSE(cookie.empty());
    const auto changed = backup();
    for (const char *item : {"vlan", "portconf", "trunk", "l2", "aging", "mirror", "qos", "rate",
                             "dos", "darp", "voip", "snmp", "et0config", "loggers", "rmon"}) {
        // Refused on the 26-port board, as above.
        if ((std::string(item) == "voip" || std::string(item) == "dos" ||
             std::string(item) == "darp") &&
            ports() == 26)
            continue;
        EXPECT_NE(changed.at(item), first_boot.at(item)) << item << " did not change";
    }

    std::string answer = web_client::post(web, "/restored.cgi", "factory=2", cookie);
    ASSERT_NE(answer.find("200 OK"), std::string::npos);
    // The reset runs a second or two after the answer. Few tries: five failed
    // logins would lock this address out.
    for (int tries = 0; tries < 3 && cookie.size() > 0; tries++) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        if (std::string fresh = web_client::login(web, "qivor"); !fresh.empty()) {
            cookie = fresh;
            break;
        }
    }
    ASSERT_FALSE((cookie = web_client::login(web, "qivor")).empty())
        << "the factory password does not log in";
    auto reset = backup();
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (reset.at("vlan") != first_boot.at("vlan") && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        reset = backup();
    }
    for (const auto &[key, value] : first_boot) {
        // The password record is scrambled with the time of its save.
        if (key == "password") continue;
        // RMON is not loaded from the image: the probe's own reset brings its
        // rows back.
        EXPECT_EQ(reset[key], value) << key << " is not back at its first-boot value";
    }

    // Every register as the first boot left it.
    EXPECT_EQ(register_differences(first_registers, register_values(register_dump(fw, registers))),
              "");

    // The chip runs as after the first boot: weights, queue map and mirror
    // port too.
    const std::string reset_running = running();
    EXPECT_TRUE(reset_running == first_running) << "first boot:\n"
                                                << first_running << "after the reset:\n"
                                                << reset_running;

    // What an administrator reads back on the pages.
    std::string form = web_client::get(web, "/setport.cgi?port=3", cookie);
    for (const char *preset : {"autonego = Number(\"1\")", "flow_ctrl = Number(\"0\")",
                               "priority = Number(\"0\")", "pvid = Number(\"1\")"})
        EXPECT_NE(form.find(preset), std::string::npos) << preset << "\n" << form;
    std::string list = web_client::get(web, "/vlanlist.htm", cookie);
    EXPECT_EQ(list.find("showvlan.cgi?port=2\""), std::string::npos) << list;
    EXPECT_EQ(vlan1_untagged(list), static_cast<size_t>(ports()));
    EXPECT_NE(web_client::get(web, "/aging.htm", cookie).find("300"), std::string::npos);
}

TEST_P(factory_defaults, QueueCountAndMacAddressSurviveARestart) {
    {
        Switch fw(dir, {"--board", board()});
        ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
        const int web = fw.port_offset() + 80;
        std::string cookie = web_client::login(web, "qivor");
        std::string answer = web_client::post(web, "/queue_num.cgi", "queue_num=2", cookie);
        EXPECT_EQ(answer.find("Retry"), std::string::npos) << answer;
        ASSERT_TRUE(fw.run("EXIT", "Resetting"));
    }
    Switch fw(dir, {"--board", board()});
    ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
    const int web = fw.port_offset() + 80;
    std::string cookie = web_client::login(web, "qivor");
    EXPECT_NE(web_client::get(web, "/queue_num.htm", cookie).find("value=\"2\" selected"),
              std::string::npos);
    std::string system = web_client::get(web, "/system.htm", cookie);
    EXPECT_NE(system.find("<td id=\"mac\">02-53-57-00-00-01</td>"), std::string::npos) << system;
    // The default SNMP engine ID carries it too.
    EXPECT_NE(web_client::get(web, "/snmp_id.htm", cookie).find("<span id=\"mac\">025357000001"),
              std::string::npos);
}

// What ran before a restart runs after it, on every board: port settings
// made on the monitor (a forced speed, a discard mode) and saved by an Apply
// of another port's page, and strict priority with a priority map that
// moves the queues the DSCP map holds. Mirroring switched off on its page
// leaves the chip as a first boot does.
TEST_P(factory_defaults, WhatRanBeforeARestartRunsAfterIt) {
    std::vector<std::string> registers;
    std::map<std::string, std::string> ran_registers, ran_backup;
    std::string ran, ran_pages;
    auto backup = [](int web, const std::string &cookie) {
        auto items = backup_items(web_client::body_of(web_client::get(web, "/dxpqsw.cfg", cookie)));
        items.erase("password");  // scrambled anew at every save
        return items;
    };
    auto running = [](Switch &fw) { return fw.output("port fe5,fe6") + fw.output("cos show"); };
    // The values the pages preset their forms with.
    auto pages = [](int web, const std::string &cookie) {
        std::string presets;
        for (const char *page : {"/setport.cgi?port=6", "/setport.cgi?port=7", "/qos.htm"}) {
            std::istringstream in(web_client::body_of(web_client::get(web, page, cookie)));
            for (std::string line; std::getline(in, line);)
                if (line.starts_with("var ") || line.find(" selected>") != std::string::npos)
                    presets += line + "\n";
        }
        return presets;
    };
    {
        Switch fw(dir, {"--board", board()});
        ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
        const int web = fw.port_offset() + 80;
        const std::string cookie = web_client::login(web, "qivor");
        ASSERT_FALSE(cookie.empty());
        registers = register_names(fw, Registers::Settings);
        const auto first_registers = register_values(register_dump(fw, registers));
        const std::string first_mirror = fw.output("mirror");
        ASSERT_NE(first_mirror.find("Port=?"), std::string::npos) << first_mirror;
        auto post = [&](const char *path, const std::string &body) {
            const std::string answer = web_client::post(web, path, body, cookie);
            EXPECT_NE(answer.find("200 OK"), std::string::npos) << path;
            EXPECT_EQ(answer.find("Retry"), std::string::npos) << path << "\n" << answer;
        };
        const std::string one = "1" + std::string(ports() - 1, '0');
        post("/mirror.cgi", "ingress=" + one + "&egress=" + one + "&mtp=7&mode=1");
        EXPECT_NE(fw.output("mirror").find("Port=fe6"), std::string::npos);
        post("/mirror.cgi", "mode=0");
        EXPECT_EQ(fw.output("mirror"), first_mirror);
        EXPECT_EQ(
            register_differences(first_registers, register_values(register_dump(fw, registers))),
            "");

        fw.output("port fe5 AutoNeg=off SPeed=10 FullDuplex=false TxPAUse=on RxPAUse=on");
        fw.output("port fe6 DISCard=all PRIOrity=5");
        post("/qos.cgi", "mode=1&p0=1&p1=0&p2=0&p3=1&p4=2&p5=2&p6=3&p7=3");
        post("/portset.cgi", "port=1&admin=1&autonego=1&flow_ctrl=0&priority=0&pvid=1");
        ran = running(fw);
        EXPECT_NE(ran.find("fe5 LS(SW) Forced(10MHD+TXpau+RXpau)"), std::string::npos) << ran;
        EXPECT_NE(ran.find("Disc(all) Lrn(ARL,FWD) UtPri(5)"), std::string::npos) << ran;
        ran_pages = pages(web, cookie);
        EXPECT_NE(ran_pages.find("var weights = [1,1,1,1]"), std::string::npos) << ran_pages;
        ran_backup = backup(web, cookie);
        ran_registers = register_values(register_dump(fw, registers));
        ASSERT_TRUE(fw.run("EXIT", "Resetting"));
    }
    Switch fw(dir, {"--board", board()});
    ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
    const int web = fw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    EXPECT_EQ(running(fw), ran);
    EXPECT_EQ(pages(web, cookie), ran_pages);
    EXPECT_EQ(backup(web, cookie), ran_backup);
    EXPECT_EQ(register_differences(ran_registers, register_values(register_dump(fw, registers))),
              "");
}

INSTANTIATE_TEST_SUITE_P(boards, factory_defaults, ::testing::Values(52, 28, 26),
                         [](const auto &info) { return "ports" + std::to_string(info.param); });

// A backup of another board, and empty files, are refused with the error
// pages before anything changes.
TEST(system_restore, AnotherBoardsBackupAndEmptyFilesAreRefused) {
    fs::path dir = fs::temp_directory_path() / ("switchfw-restore-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "26");
    fs::create_directories(dir / "52");
    std::string other;
    {
        Switch fw(dir / "26", {"--board", "26"});
        ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
        const int web = fw.port_offset() + 80;
        std::string cookie = web_client::login(web, "qivor");
        other = web_client::body_of(web_client::get(web, "/dxpqsw.cfg", cookie));
    }
    ASSERT_NE(other.find("vlan="), std::string::npos);
    Switch fw(dir / "52", {"--board", "52"});
    ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
    const int web = fw.port_offset() + 80;
    std::string cookie = web_client::login(web, "qivor");
    auto backup = [&] {
        auto items = backup_items(web_client::body_of(web_client::get(web, "/dxpqsw.cfg", cookie)));
        items.erase("password");  // scrambled anew at every save
        return items;
    };
    const auto before = backup();
    std::string answer = web_client::upload(web, "/restore.cgi", other, cookie);
    EXPECT_NE(answer.find("Invalid format or version not matched!"), std::string::npos) << answer;
    answer = web_client::upload(web, "/restore.cgi", "", cookie);
    EXPECT_NE(answer.find("Invalid format or version not matched!"), std::string::npos) << answer;
    answer = web_client::upload(web, "/fupgrade.cgi", "", cookie);
    EXPECT_NE(answer.find("Invalid firmware image! Please double check!"), std::string::npos)
        << answer;
    std::this_thread::sleep_for(std::chrono::seconds(2));  // a restore would apply by now
    EXPECT_EQ(backup(), before);
    std::string log = web_client::get(web, "/logview.htm", cookie);
    EXPECT_EQ(log.find("process completed"), std::string::npos) << log;
    fs::remove_all(dir);
}

}  // namespace
