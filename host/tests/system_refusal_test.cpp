// Refused changes change nothing, per board: each setter of the port, rate,
// storm, VLAN, trunk, multicast, QoS, DoS and mirror families, the script
// loops, the expression evaluator and the field-processor counters is given an
// out-of-range value from the monitor or a web form, and the chip's
// registers (as the monitor dumps them), the tables and settings the monitor
// shows, and the backup file are compared with what they were before.
#include <chrono>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "system_fixture.h"
#include "web_client.h"

namespace {

namespace fs = std::filesystem;
using system_fixture::register_dump;
using system_fixture::register_names;
using system_fixture::Switch;

constexpr const char *kRefusalPrompt = "DXP.0> ";

struct Refusal {
    bool web;           // a form post, else a monitor line
    std::string what;   // the monitor line, or the path
    std::string body;   // the form's fields
    std::string says;   // part of the answer that tells of the refusal
    bool file = false;  // with web: body is a file uploaded to the path
};

class refusals : public ::testing::TestWithParam<int> {
  protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("switchfw-refusal-" + std::to_string(getpid()) + "-" + std::to_string(GetParam()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string board() const { return std::to_string(GetParam()); }
};

std::string running_state(Switch &fw, const std::vector<std::string> &registers,
                          const std::vector<std::string> &extra = {}) {
    // The extra commands first: reading a field-processor counter moves the
    // field processor's access register, which the dump then shows alike.
    std::string all;
    for (const std::string &command : extra)
        all += "== " + command + "\n" + fw.output(command);
    all += "== registers\n" + register_dump(fw, registers);
    // The switch's own addresses for the CPU are left out of the L2 dump:
    // on a busy host the table's shadow may show one of them a while after
    // start-up, and no refusal touches them.
    std::istringstream l2(fw.output("l2 dump"));
    all += "== l2 dump\n";
    for (std::string entry; std::getline(l2, entry);)
        if (entry.find("/cpu0 Static") == std::string::npos ||
            entry.find(" CPU") == std::string::npos)
            all += entry + "\n";
    for (const char *command :
         {"trunk show", "rate", "cos show", "port e", "vlan show", "pvlan show", "stg show"})
        all += std::string("== ") + command + "\n" + fw.output(command);
    return all;
}

// The first line where the two texts differ, for a short failure message.
std::string first_difference(const std::string &a, const std::string &b) {
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        at++;
    size_t from = a.rfind('\n', at);
    from = from == std::string::npos ? 0 : from + 1;
    auto line = [from](const std::string &s) { return s.substr(from, s.find('\n', from) - from); };
    return "was: " + line(a) + "\nnow: " + line(b);
}

// Refusals every board has; the ports are those of the board's first
// gigabit port and its last front-panel ports.
std::vector<Refusal> common_refusals(int ports) {
    const std::string last = std::to_string(ports), before_last = std::to_string(ports - 1);
    return {
        // Storm control: a limit above the chip's largest, on one port
        // whose broadcast limit is set and on every port.
        {false, "rate limit=1048577 bcast=1", "",
         "could not set rate: fe0: storm limit 1048577 kbps is above the largest it runs"},
        {false, "rate limit=2000000 dlf=1", "", "could not set rate: fe0: storm limit 2000000"},
        {true, "/storm_per_port.cgi", "port=1&type=5&rate=2000000",
         "port 1: storm limit 2000000 kbps is above the largest it runs, 1048576 kbps"},
        {true, "/storm_per_port.cgi", "port=0&type=2&rate=2000000",
         "port 1: storm limit 2000000 kbps is above the largest it runs"},
        // Multicast groups in a VLAN the 12-bit key cannot hold.
        {false, "mcast add mac=01:00:5e:0a:0b:0c vlanid=9999 pbm=fe1", "", "Invalid parameter"},
        {false, "mcast join mac=01:00:5e:0a:0b:0c vlanid=9999 pbm=fe1", "", "Invalid parameter"},
        {false, "mcast delete mac=01:00:5e:0a:0b:0d vlanid=0x1070f", "", "Invalid parameter"},
        {false, "mcast leave mac=01:00:5e:0a:0b:0d vlanid=9999 pbm=fe2", "", "Invalid parameter"},
        {false, "mcast padd mac=01:00:5e:0a:0b:0d vlanid=9999 pbm=fe3", "", "Invalid parameter"},
        // Port settings the port cannot run, with auto-negotiation turned
        // off in the same line.
        {false, "port fe0 an=off SPeed=1000", "", "cannot run 1000"},
        {false, "port fe1 an=off SPeed=10 pfm=1", "", "Feature unavailable"},
        {true, "/setrate.cgi", "port=1&ingress=5000000&egress_enable=0&egress=0&burst=0",
         "port 1: ingress limit 5000000 kbps is above the largest it runs, 1024000 kbps"},
        // A limit above every code, with a new ingress limit in the post,
        // named alike by the page and the monitor.
        {true, "/setrate.cgi", "port=1&ingress=1024&egress_enable=1&egress=99999&burst=80",
         "port 1: egress limit 6399936 kbps is above the largest it runs, 1024000 kbps"},
        {false, "PortRate fe0-fe1 ingress 2000000 528", "",
         "PortRate: Error: fe0: ingress limit 2000000 kbps is above the largest it runs"},
        // Weights the switch refuses, with a new priority map in the post,
        // and a strict queue among weighted ones, which the chip lacks.
        {true, "/qos.cgi", "mode=3&p0=3&p1=3&p2=3&p3=3&p4=3&p5=3&p6=3&p7=3&w0=0&w1=0&w2=4&w3=4",
         "Queue 0 weight 0 cannot run on this switch: its weights run 1 to 55"},
        {true, "/qos.cgi", "mode=3&p0=1&p1=0&p2=1&p3=1&p4=2&p5=2&p6=3&p7=3&w0=7&w1=1&w2=1&w3=0",
         "Queue 3 weight 0 cannot run on this switch"},
        {true, "/qos.cgi", "mode=3&p0=1&p1=0&p2=1&p3=1&p4=2&p5=2&p6=3&p7=3&w0=7&w1=1&w2=16&w3=1",
         "Queue 2 weight is not one of the choices: 1 to 15"},
        {false, "cos weight W0=4 W1=1 W2=1 W3=0", "",
         "COS: ERROR: Queue 3 weight 0 cannot run on this switch"},
        {false, "cos weight W0=4 W1=1 W2=0 W3=0", "", "COS: ERROR: Queue 2 weight 0 cannot run"},
        {true, "/queue_num.cgi", "queue_num=9", "set cos queue number"},
        // A trunk with a port given twice and one with too many ports.
        {true, "/trunk.cgi",
         "trunk_criteria=3&tgmember1=3,4&tgmember2=4,5&tgmember3=", "cannot be a member"},
        {true, "/trunk.cgi",
         "trunk_criteria=1&tgmember1=1,2,3,4,5,6,7,8,9&tgmember2=" + before_last + "," + last +
             "&tgmember3=",
         "Trunk 1 would hold 9 ports: a trunk holds at most"},
        {false, "trunk add Id=0 Rtag=1 Pbmp=fe0-fe9", "",
         "trunk 0 would hold 10 ports: a trunk holds at most"},
        {true, "/trunk.cgi", "trunk_criteria=2&tgmember1=5,5&tgmember2=&tgmember3=",
         "Port 5 is named twice in trunk 1"},
        // The CPU port in a trunk would cut the management interface off.
        {false, "trunk add Id=2 Rtag=1 Pbmp=fe0,cpu0", "", "port cpu0 cannot be a trunk member"},
        {true, "/mirror.cgi", "ingress=1&egress=0&mtp=" + std::to_string(ports + 1) + "&mode=1",
         "Invalid monitor port"},
        {true, "/setvlan.cgi", "vid=1&values=9", "ERROR"},
        {true, "/newvlan.cgi", "newid=10&values=21x", "Invalid parameter"},
        // Port settings whose priority or PVID is refused after the link
        // values that come before them in the form.
        {true, "/portset.cgi", "port=1&admin=0&autonego=0&speed=2&flow_ctrl=1&priority=9&pvid=1",
         "Set untagged priority failed"},
        {true, "/portset.cgi", "port=1&admin=&autonego=0&speed=2&flow_ctrl=1&priority=5&pvid=1",
         "Port 1: admin &quot;&quot; is neither 0 (disable) nor 1 (enable); nothing changed"},
        {true, "/setrate.cgi", "port=1&ingress=1024&egress_enable=1&egress=16&burst=5000000",
         "port 1: egress burst 5000000 kbit is above the largest it runs, 1040 kbit"},
        {true, "/storm_per_port.cgi", "port=3&type=7&rate=64",
         "port 3: storm type 7 (DLF) is not one the page offers; nothing changed"},
        {true, "/portset.cgi", "port=1&admin=0&autonego=0&speed=2&flow_ctrl=1&priority=5&pvid=4095",
         "PVID is not an existent vlan id"},
        {true, "/storm_per_port.cgi", "port=" + std::to_string(ports + 1) + "&type=2&rate=100",
         "no front-panel port (0 for all ports); nothing changed"},
        // Port lists of another length and numbers past their fields: cut
        // or wrapped, they would name other ports, VLANs or groups.
        {true, "/darp.cgi", "enable=1&ports=01&rmfrom=0&rmto=0&addfrom=0&addto=0&aging=0",
         "Invalid port list"},
        {true, "/mirror.cgi", "ingress=111&egress=000&mtp=2&mode=1", "Invalid port list"},
        {true, "/portset.cgi",
         "port=4294967297&admin=0&autonego=0&speed=2&flow_ctrl=1&priority=0&pvid=1",
         "Transfer user port number to logical port number failed"},
        {true, "/portset.cgi",
         "port=1&admin=0&autonego=0&speed=2&flow_ctrl=1&priority=0&pvid=65537",
         "PVID is not an existent vlan id"},
        {true, "/l2add.cgi", "mac=00-11-22-33-44-77&vid=65537&port=1", "VLAN ID is not existent"},
        {true, "/snmp_community_new.cgi",
         "snmp_community_name=c2&snmp_community_ip=0.0.0.0&snmp_group_name=private",
         "Group not selected"},
        // ARP bindings no host can use.
        {true, "/darpadd.cgi", "mac=00-00-00-00-00-00&ip=10.1.1.6&vid=1", "Invalid MAC address"},
        {true, "/darpadd.cgi", "mac=01-00-5e-00-00-06&ip=10.1.1.6&vid=1", "Invalid MAC address"},
        {true, "/darpadd.cgi", "mac=02-00-00-00-00-06&ip=0.0.0.0&vid=1", "Invalid IP address"},
        // Member lists of another length than one character per port: the
        // VLAN would lose the ports left out.
        {true, "/newvlan.cgi", "newid=20&values=12", "Invalid parameter"},
        {true, "/setvlan.cgi", "vid=1&values=222", "Invalid parameter"},
        {true, "/setvlan.cgi", "vid=1&values=" + std::string(static_cast<size_t>(ports) + 1, '1'),
         "Invalid parameter"},
        // Numbers past 32 bits, which would wrap to another value.
        {false, "for i=0,99999999999,1 'echo x'", "",
         "FOR: Error: Invalid loop value: 99999999999"},
        {false, "for i=99999999999,0,-1 'echo x'", "", "Invalid loop value: 99999999999"},
        {false, "expr 99999999999", "", "Invalid expression: 99999999999"},
        {false, "expr 1+0x100000000", "", "Invalid expression"},
        // VLAN ids past the tag's 12 bits, named as typed: cut to 16 bits
        // they would be VLAN 1 or 4464.
        {false, "vlan create 70000", "", "VLAN ID 70000 out of range"},
        {false, "vlan destroy 65537", "", "VLAN ID 65537 out of range"},
        {false, "vlan add 65537 pbm=fe3", "", "VLAN ID 65537 out of range"},
        {false, "pvlan set fe0 65537", "", "VLAN ID 65537 out of range"},
        {false, "stg add 1 65537", "", "VLAN ID 65537 out of range"},
        {false, "l2 add mac=00:11:22:33:44:66 vlanid=65537 pbm=fe1 static=1", "",
         "VLAN ID 65537 out of range"},
        {false, "l2 del mac=00:11:22:33:44:66 vlanid=0x10001", "", "VLAN ID 65537 out of range"},
        // A negative speed is no speed: it would leave 10 Mb/s advertised.
        {false, "port fe0 speed=-100", "", "Invalid speed -100"},
        {false, "port fe0 an=off speed=-100", "", "Invalid speed -100"},
        // The fast-Ethernet MAC keeps one pause flag for both directions.
        {false, "port fe0 AutoNeg=off TxPAUse=on RxPAUse=off", "",
         "Port fe0 cannot pause in one direction only"},
        {false, "port fe1 an=off TxPAUse=off RxPAUse=on", "",
         "Port fe1 cannot pause in one direction only"},
        // Lines that one of their ports, VLANs or words refuses change none
        // of the others: the gigabit port stays negotiating, VLAN 1 in its
        // group, the first variable unset.
        {false, "port ge0,fe0 an=off SPeed=1000", "", "Port fe0 cannot run 1000"},
        {false, "stg add 2 1 99", "", "VLAN 99: Entry not found"},
        {false, "stg stp 1 all block", "", "port cpu0: Operation failed: nothing set"},
        {false, "mirror Mode=L2 Port=fe3 IngressBitMap=fe1,cpu0", "",
         "port cpu0 cannot be mirrored"},
        {false, "config add refusal_a=1 refusal_b", "", "nothing set"},
        {false, "config delete refusal_kept refusal_none", "", "nothing deleted"},
        {false, "dos fe1 enabel 2", "", "Usage"},
        {false, "counter Interval=-5", "", "Invalid interval -5"},
        // Numbers that are none, or negative, or of nothing: a word is never
        // taken as 0, and a field is read by its name.
        {false, "rate Limit=abc Bcast=1", "",
         "RATE: Error: Limit=abc refused: not an integer; nothing changed"},
        {false, "rate Limit=-5 Bcast=1", "", "Limit=-5: a limit is 0 (none) or more kbps"},
        {false, "port fe0 PRIOrity=x", "",
         "PORT: Error: PRIOrity=x refused for fe0: not an integer; nothing changed"},
        {false, "port ge0 SPeed=abc", "", "SPeed=abc refused for ge0: not an integer"},
        {false, "cos weight W0=x", "", "COS: Error: W0=x refused: not an integer; nothing changed"},
        {true, "/setrate.cgi", "burst=80&egress=0&egress_enable=1&ingress=64&port=1",
         "port 1: egress 0 with the egress limit enabled is no limit"},
        {true, "/storm_per_port.cgi", "type=2&rate=abc&port=1",
         "port 1: storm rate &quot;abc&quot; is not a number of kbps"},
        {true, "/portset.cgi", "port=1&admin=1&autonego=abc&flow_ctrl=0&priority=0&pvid=1",
         "Port 1: autonego &quot;abc&quot; is neither 0 (off) nor 1 (on)"},
        {false, "igmp of", "", "Usage"},
    };
}

// The backup file with its end line's checksum made anew over the body
// edited by edit (at the offset of its key's value): a file the restore
// page takes whole but for that edit.
std::string with_edit(const std::string &file, const std::string &key,
                      const std::function<void(std::string &, size_t)> &edit) {
    const size_t at = file.find("\n" + key + "=");
    const size_t end = file.rfind("#end ");
    if (at == std::string::npos || end == std::string::npos) return "";
    std::string body = file.substr(0, end);
    edit(body, at + key.size() + 2);
    uint32_t crc = ~0u;
    for (unsigned char c : body) {
        crc ^= c;
        for (int k = 0; k < 8; k++)
            crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    const unsigned count = static_cast<unsigned>(std::atoi(file.c_str() + end + 5));
    char trailer[40];
    std::snprintf(trailer, sizeof trailer, "#end %u %08x\n", count, ~crc);
    return body + trailer;
}

// The backup file with the 16-bit field at the given hex digit of the
// port's settings row set to value.
std::string with_port_value(const std::string &file, int port, size_t digit, unsigned value) {
    constexpr size_t kRowDigits = 40;
    return with_edit(file, "portconf", [&](std::string &body, size_t at) {
        char field[8];
        std::snprintf(field, sizeof field, "%04x", value);
        body.replace(at + static_cast<size_t>(port - 1) * kRowDigits + digit, 4, field);
    });
}

// The backup file with ARP inspection on, VLAN 1 inspected and port 1
// trusted (the trust bitmap of a 26-port board's 4 bytes).
std::string with_arp_inspection_on(const std::string &file) {
    return with_edit(file, "darp", [](std::string &body, size_t at) {
        const std::string on = "0001" + std::string(4, '0') + "0001" + std::string(255 * 4, '0') +
                               std::string(16 * 24, '0') + "01000000";
        body.replace(at, body.find('\n', at) - at, on);
    });
}

TEST_P(refusals, RefusedSettersLeaveRegistersTablesAndBackupAsTheyWere) {
    Switch fw(dir, {"--board", board()});
    ASSERT_TRUE(fw.run("", kRefusalPrompt, nullptr, 60));
    const int web = fw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());

    // The console keeps its log lines to itself, away from the monitor's
    // output. Then settings that a half-done refusal would disturb: a
    // broadcast limit on port 1, a multicast group with port 2, a trunk and
    // a priority map.
    for (const auto &[path, body] : std::vector<std::pair<std::string, std::string>>{
             {"/logger_set.cgi", "m0=255&m1=255&m2=0"},
             {"/storm_per_port.cgi", "port=1&type=2&rate=1000"},
             {"/trunk.cgi", "trunk_criteria=2&tgmember1=7,8&tgmember2=&tgmember3="},
             {"/qos.cgi", "mode=3&p0=1&p1=0&p2=1&p3=1&p4=2&p5=2&p6=3&p7=3&w0=2&w1=3&w2=4&w3=5"}}) {
        std::string answer = web_client::post(web, path, body, cookie);
        ASSERT_EQ(answer.find("Retry"), std::string::npos) << path << "\n" << answer;
    }
    const std::string added = fw.output("mcast add mac=01:00:5e:0a:0b:0d vlanid=0x70f pbm=fe2");
    ASSERT_EQ(added.find("ERROR"), std::string::npos) << added;
    // A second spanning-tree group for VLAN 1 to be refused into, and a
    // variable to be kept.
    fw.output("stg create 2");
    ASSERT_EQ(fw.output("config add refusal_kept=1"), "");

    // The backup file but its password line, which is scrambled anew with
    // the time of every download, and the checksum over it.
    auto backup = [&] {
        std::istringstream in(web_client::body_of(web_client::get(web, "/dxpqsw.cfg", cookie)));
        std::string text;
        for (std::string line; std::getline(in, line);)
            if (!line.starts_with("password=") && !line.starts_with("#end")) text += line + "\n";
        return text;
    };
    const std::vector<std::string> registers = register_names(fw);
    ASSERT_GT(registers.size(), 100u);

    std::vector<Refusal> all = common_refusals(GetParam());
    std::vector<std::string> extra;
    if (GetParam() != 26) {
        // A field-processor counter holds 32 bits: a wider value is refused,
        // not cut, and the counter keeps its count.
        for (const char *line : {"fp group create 0 90", "fp entry create 90 900",
                                 "fp counter create 900", "fp counter set 900 0 1234"}) {
            const std::string answer = fw.output(line);
            ASSERT_NE(answer.find("okay"), std::string::npos) << line << "\n" << answer;
        }
        extra = {"fp counter get 900 0", "fp counter get 900 1"};
        all.push_back({false, "fp counter set 900 0 99999999999", "", "out of range"});
        all.push_back({false, "fp counter set 900 1 0x100000000", "", "out of range"});
        all.push_back({false, "fp counter set 900 0 -1", "", "out of range"});
        // The SERDES ports run full duplex only.
        all.push_back({false, "port ge1 fd=false an=off", "", "cannot run half duplex"});
    } else {
        // Its chip has no ISP port flag for double tagging.
        all.push_back({false, "dtag mode fe0 external", "", "Feature unavailable"});
        // The first trunks take fast Ethernet ports only.
        const std::string ge = std::to_string(GetParam() - 1) + "," + std::to_string(GetParam());
        all.push_back(
            {true, "/trunk.cgi",
             "trunk_criteria=3&tgmember1=" + ge + "&tgmember2=&tgmember3=", "refused trunk 1"});
        // Nor a field processor for the DoS checks.
        all.push_back({true, "/dos.cgi", "checks=111", "the DoS checks cannot run"});
        all.push_back({true, "/dos_perport.cgi", "port=1&checks=111&rate1=64&rate2=64",
                       "the DoS checks cannot run"});
    }
    extra.push_back("config show");
    // Restored backups whose port 3 holds a value no form takes, each named.
    const std::string file = web_client::body_of(web_client::get(web, "/dxpqsw.cfg", cookie));
    ASSERT_NE(file.find("\nportconf_ver=0x88740003"), std::string::npos) << file;
    const std::vector<std::tuple<size_t, unsigned, std::string>> impossible = {
        {32, 7, "port 3: discard 7 is not 0-2"},
        {16, 99, "port 3: priority 99 is not 0-7"},
        {20, 5000, "port 3: PVID 5000 is not 1-4094"},
        {8, 9, "port 3: speed code 9 is not 0-5"}};
    for (const auto &[digit, value, says] : impossible)
        all.push_back({true, "/restore.cgi", with_port_value(file, 3, digit, value), says, true});
    // And values the port page refuses: a forced speed the port lacks, a
    // PVID the restored VLANs do not hold.
    all.push_back({true, "/restore.cgi", with_port_value(with_port_value(file, 3, 4, 0), 3, 8, 5),
                   "port 3: speed code 5 (1Gbps Full) is not one the port runs", true});
    all.push_back({true, "/restore.cgi", with_port_value(file, 7, 20, 300),
                   "port 7: PVID 300 is no VLAN of the settings", true});
    // A restore of an egress limit of port 3 above every code (2000000
    // kbps), as the page and the monitor refuse it.
    all.push_back({true, "/restore.cgi",
                   with_edit(file, "rate",
                             [](std::string &body, size_t at) {
                                 body.replace(at + 8 + 2 * 48 + 2 * 8, 16, "001e848000000050");
                             }),
                   "Rate limits: port 3: egress limit 2000000 kbps is above the largest", true});
    // A restore of a trunk of 9 ports, as the page and the monitor refuse it.
    all.push_back({true, "/restore.cgi",
                   with_edit(file, "trunk",
                             [](std::string &body, size_t at) {
                                 body.replace(at + 8, 8, "00000009");  // trunk 1's count
                             }),
                   "Trunk settings: trunk 1 would hold 9 ports: a trunk holds at most", true});
    // A restore of weights the chip cannot run, as cos weight and the page.
    all.push_back({true, "/restore.cgi",
                   with_edit(file, "qos",
                             [](std::string &body, size_t at) {
                                 body.replace(at + 8 + 3 * 8, 8, "00000000");  // weight 3
                             }),
                   "QoS settings: Queue 3 weight 0 cannot run on this switch", true});
    // The 26-port board's chip cannot run ARP inspection: a restore that
    // switches it on is refused, as the page refuses it.
    if (GetParam() == 26)
        all.push_back({true, "/restore.cgi", with_arp_inspection_on(file),
                       "ARP inspection: this switch has no field processor", true});
    std::string state = running_state(fw, registers, extra), stored = backup();
    ASSERT_NE(stored.find("qos="), std::string::npos);
    ASSERT_TRUE(state.find("VLAN ID = 1807") != std::string::npos ||
                state.find("vlan=1807") != std::string::npos)
        << state;
    if (GetParam() != 26) {
        ASSERT_NE(state.find("val=1234"), std::string::npos) << state;
    }
    for (const Refusal &r : all) {
        const std::string name = r.what + (r.web ? "?" + r.body.substr(0, 80) : "");
        std::string answer;
        if (r.file) {
            answer = web_client::upload(web, r.what, r.body, cookie);
        } else if (r.web) {
            answer = web_client::post(web, r.what, r.body, cookie);
        } else {
            answer = fw.output(r.what);
        }
        EXPECT_NE(answer.find(r.says), std::string::npos) << name << "\n" << answer;
        // A word the parser refuses is said once: no other line repeats it.
        if (const size_t end = r.says.find(" refused"); !r.web && end != std::string::npos) {
            const size_t start = r.says.rfind(' ', end - 1) + 1;  // 0 where none
            const std::string word = r.says.substr(start, end - start);
            EXPECT_EQ(system_fixture::count_of(answer, word), 1u) << word << "\n" << answer;
        }
        // A restore taken is applied a second after its answer.
        if (r.file) std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        std::string state_now = running_state(fw, registers, extra);
        // The L2 table as the monitor reads it may miss an entry for a
        // moment while the table's shadow catches up (longer on a busy
        // host); a change stays.
        for (int tries = 0; tries < 40 && state_now != state; tries++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            state_now = running_state(fw, registers, extra);
        }
        const std::string stored_now = backup();
        EXPECT_TRUE(state_now == state) << name << " changed the switch\n"
                                        << first_difference(state, state_now);
        EXPECT_TRUE(stored_now == stored) << name << " changed the stored settings\n"
                                          << first_difference(stored, stored_now);
        state = state_now;
        stored = stored_now;
    }

    // Each DoS post's refusal is at most one warning (the refusals before
    // them may have spent the budget all outside-caused lines share, and
    // then they are counted instead).
    if (GetParam() == 26) {
        const std::string dos = web_client::body_of(
            web_client::get(web, "/events.csv?module=55&mask=255&ring=0", cookie));
        size_t lines = 0;
        for (size_t at = dos.find("DOS setting failed : This switch has no field processor");
             at != std::string::npos; at = dos.find("DOS setting failed", at + 1))
            lines++;
        EXPECT_LE(lines, 2u) << dos;
        EXPECT_EQ(dos.find(",ERROR,"), std::string::npos) << dos;
    }

    // Where the MAC keeps a flag for each direction, forced pause goes one
    // way as asked.
    EXPECT_EQ(fw.output("port ge0 AutoNeg=off TxPAUse=on RxPAUse=off"), "");
    const std::string ge0 = fw.output("port ge0");
    EXPECT_NE(ge0.find("Forced(1GFD+TXpau)"), std::string::npos) << ge0;
    // A hexadecimal option takes any 32-bit value, typed in decimal too.
    const std::string sent = fw.output("tx 1 pbm=ge1 Pattern=3735928559");
    EXPECT_EQ(sent, "") << sent;
}

// ARP inspection keeps as many static bindings as its settings store: the
// one past them is refused, and a restart brings back exactly the bindings
// and trusted ports the pages listed.
TEST_P(refusals, StaticBindingsPastTheStoredOnesAreRefusedAndARestartKeepsTheList) {
    const int ports = GetParam();
    if (ports == 26) GTEST_SKIP() << "no field processor: ARP inspection cannot run";
    auto list = [](const std::string &page) {
        const size_t from = page.find("<TD>");
        return from == std::string::npos ? page : page.substr(from);
    };
    std::string entries, config;
    {
        Switch fw(dir, {"--board", board()});
        ASSERT_TRUE(fw.run("", kRefusalPrompt, nullptr, 60));
        const int web = fw.port_offset() + 80;
        const std::string cookie = web_client::login(web, "qivor");
        const std::string trusted = "01" + std::string(static_cast<size_t>(ports) - 2, '0');
        std::string answer = web_client::post(
            web, "/darp.cgi",
            "enable=1&ports=" + trusted + "&rmfrom=0&rmto=0&addfrom=1&addto=1&aging=0", cookie);
        ASSERT_EQ(answer.find("Retry"), std::string::npos) << answer;
        for (int i = 1; i <= 16; i++) {
            answer = web_client::post(web, "/darpadd.cgi",
                                      "mac=02-00-00-00-01-" + std::to_string(10 + i) +
                                          "&ip=10.1.2." + std::to_string(i) + "&vid=1",
                                      cookie);
            ASSERT_EQ(answer.find("Retry"), std::string::npos) << i << answer;
        }
        answer = web_client::post(web, "/darpadd.cgi", "mac=02-00-00-00-01-99&ip=10.1.2.99&vid=1",
                                  cookie);
        EXPECT_NE(answer.find("Static binding table full (16 bindings)"), std::string::npos)
            << answer;
        entries = list(web_client::body_of(web_client::get(web, "/darp_entry.htm", cookie)));
        config = web_client::body_of(web_client::get(web, "/darp_config.htm", cookie));
        EXPECT_EQ(system_fixture::count_of(entries, "<TD>static</TD>"), 16u) << entries;
        EXPECT_EQ(entries.find("02-00-00-00-01-99"), std::string::npos);
        ASSERT_TRUE(fw.run("EXIT", "Resetting"));
    }
    Switch fw(dir, {"--board", board()});
    ASSERT_TRUE(fw.run("", kRefusalPrompt, nullptr, 60));
    const int web = fw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    EXPECT_EQ(list(web_client::body_of(web_client::get(web, "/darp_entry.htm", cookie))), entries);
    EXPECT_EQ(web_client::body_of(web_client::get(web, "/darp_config.htm", cookie)), config);
}

// A manager repeating a refused post is logged as hosts are: a burst of
// warnings naming its address, then counts, however many it sends; none is
// stored as the switch's own error.
TEST_P(refusals, RepeatedRefusedPostsLeaveAFewWarningsNamingTheSender) {
    Switch fw(dir, {"--board", board()});
    ASSERT_TRUE(fw.run("", kRefusalPrompt, nullptr, 60));
    const int web = fw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    constexpr int kPosts = 300;
    for (int i = 0; i < kPosts; i++) {
        const std::string answer = web_client::post(
            web, "/portset.cgi", "port=1&admin=0&autonego=0&speed=2&flow_ctrl=1&priority=9&pvid=1",
            cookie);
        ASSERT_NE(answer.find("Retry"), std::string::npos) << i << answer;
    }
    const std::string line = "Set Port #1: Set untagged priority failed. (127.0.0.1)";
    auto flash = [&](int mask) {
        return web_client::get(
            web, "/events.csv?module=48&mask=" + std::to_string(mask) + "&ring=1", cookie);
    };
    // Every post a line written or counted, once the count is out.
    auto accounted = [&](const std::string &events) {
        return system_fixture::log_lines_accounted(events, line);
    };
    std::string warnings;
    for (int tries = 0; tries < 240 && accounted(warnings) < kPosts; tries++) {
        if (tries > 0) usleep(500 * 1000);
        warnings = flash(1 << 1);
    }
    EXPECT_EQ(accounted(warnings), static_cast<size_t>(kPosts)) << warnings;
    EXPECT_LE(system_fixture::count_of(warnings, "Set untagged priority failed"), 14u) << warnings;
    EXPECT_EQ(flash(1).find("Set untagged priority"), std::string::npos)
        << "not the switch's own error";

    // Every other page's refusals too: each kind once a second, together
    // they share the budget of all outside-caused lines, and every post is
    // a line naming the address or counted.
    std::vector<std::pair<const char *, const char *>> others = {
        {"/l2lookup.cgi", "mac=00-11-22-33-44-55&vid=1"},
        {"/aging.cgi", "enable=1&aging=abc"},
        {"/delvlan.cgi", "vid=77"},
        {"/queue_num.cgi", "num=abc"},
        {"/cable.cgi", GetParam() == 52 ? "port=49" : "port=25"},  // no cable test there
        {"/password.cgi", "old=wrong&new=a&confirm=a"},
        {"/l2del.cgi", "mac=00-11-22-33-44-66&vid=1"}};  // no such static address
    if (GetParam() == 26) {                              // no field processor
        others.push_back({"/voip.cgi", "profiles=1"});
        others.push_back({"/dos.cgi", "checks=111"});
    }
    constexpr int kRounds = 20;
    for (int i = 0; i < kRounds; i++)
        for (const auto &[path, body] : others)
            ASSERT_NE(web_client::post(web, path, body, cookie).find("Retry"), std::string::npos)
                << path << " " << i;
    // And SNMP SETs the RMON tables refuse: a valid alarm's deletion.
    int sets = 0;
    if (system_fixture::sh("snmpset -V 2>/dev/null") == 0) {
        const std::string set = "snmpset -v2c -r 0 -t 10 -c private 127.0.0.1:" +
                                std::to_string(fw.port_offset() + 161) +
                                " 1.3.6.1.2.1.16.3.1.1.12.1 i ";
        ASSERT_EQ(system_fixture::sh(set + "2 >/dev/null && " + set + "1 >/dev/null"), 0);
        for (; sets < kRounds; sets++)
            ASSERT_NE(system_fixture::sh(set + "4 >/dev/null 2>&1"), 0) << sets;
    }
    const std::regex shared(R"((\d+) lines others caused not logged)");
    auto all_accounted = [&](const std::string &events) {
        size_t lines = 0;
        std::istringstream in(events);
        for (std::string text; std::getline(in, text);) {
            std::smatch m;
            if (std::regex_search(text, m, shared))
                lines += std::stoul(m[1]);
            else
                lines += system_fixture::log_lines_accounted(text, "(127.0.0.1)");
        }
        return lines;
    };
    const size_t sent = kPosts + kRounds * others.size() + static_cast<size_t>(sets);
    std::string all;
    for (int tries = 0; tries < 240 && all_accounted(all) < sent; tries++) {
        if (tries > 0) usleep(500 * 1000);
        all = web_client::get(web, "/events.csv?module=-1&mask=2&ring=1", cookie);
    }
    EXPECT_EQ(all_accounted(all), sent) << all;
    EXPECT_LE(system_fixture::count_of(all, "\n"), 40u) << all;
    const std::string errors = web_client::get(web, "/events.csv?module=-1&mask=1&ring=1", cookie);
    for (const char *text : {"cablediag", "Aging", "Lookup", "Vlan", "CoS", "Password", "Delete L2",
                             "deletion", "DOS"})
        EXPECT_EQ(errors.find(text), std::string::npos) << text << " is no error of the switch";
}

INSTANTIATE_TEST_SUITE_P(boards, refusals, ::testing::Values(52, 28, 26),
                         [](const auto &info) { return "ports" + std::to_string(info.param); });

// A fibre-medium port runs 1000 full duplex only: a slower speed is refused
// with a message and the port keeps auto-negotiation.
TEST(refusals_fibre, SlowerSpeedOnAFibreMediumPortIsRefusedAndReported) {
    fs::path dir =
        fs::temp_directory_path() / ("switchfw-refusal-fibre-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    {
        Switch fw(dir, {"--board", "52", "--gig-phy", "6401s", "--fiber", "49"});
        ASSERT_TRUE(fw.run("", kRefusalPrompt, nullptr, 60));
        std::string before, seen, after;
        ASSERT_TRUE(fw.run("port ge0", kRefusalPrompt, &before));
        ASSERT_NE(before.find("Auto("), std::string::npos) << before;
        for (const char *line :
             {"port ge0 SPeed=100", "port ge0 an=off SPeed=100", "port ge0 an=off fd=false"}) {
            ASSERT_TRUE(fw.run(line, kRefusalPrompt, &seen)) << line;
            EXPECT_NE(seen.find("Error: Port ge0 cannot run"), std::string::npos) << line << seen;
            ASSERT_TRUE(fw.run("port ge0", kRefusalPrompt, &after));
            EXPECT_EQ(after, before) << line;
        }
    }
    fs::remove_all(dir);
}

}  // namespace
