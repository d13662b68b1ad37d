// Several managers at once: for each feature, a web client posting the
// feature's forms, a monitor session typing the matching commands, SNMP SETs
// where the feature has them, telnet `load` and frames through TAP ports run
// together on the 52-port board for SWITCHFW_CONCURRENCY_SECONDS (default
// 10) seconds; the rounds with the longest rule rebuilds add the monitor's
// `dos all` loop and a client fetching a static file, the ARP inspection
// and QoS rounds a self-test holding two ports. No interface may keep a
// client waiting more than 5 s (10 s under ThreadSanitizer; twice that on
// two processors) for an answer meanwhile. Afterwards the program must be
// alive with no sanitizer report (a race or a lock-order inversion), every
// interface must answer, the switch must still act on frames,
// and after a restart the stored settings must load as they were saved.
// Needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping, python3 and the snmp
// tools; skips without.
#include <gtest/gtest.h>

#include <sched.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../../../platform/tests/private_workdir.h"
#include "../system_fixture.h"
#include "../web_client.h"

namespace {

using system_fixture::backup_items;
using system_fixture::FrameWatch;
using system_fixture::hex_of_ip;
using system_fixture::hex_of_mac;
using system_fixture::Netns;
using system_fixture::sh;
using system_fixture::sh_out;
using system_fixture::Switch;
using Clock = std::chrono::steady_clock;

int stress_seconds() {
    const char *text = std::getenv("SWITCHFW_CONCURRENCY_SECONDS");
    int seconds = text != nullptr ? std::atoi(text) : 10;
    return seconds > 0 ? seconds : 10;
}

// What the sanitizers and the firmware's own checks print when they fire.
const char *const kFaultTexts[] = {"ThreadSanitizer",  "AddressSanitizer", "runtime error:",
                                   "Assertion failed", "LeakSanitizer",    "Segmentation"};

// The longest any client of an interface may wait for an answer beyond its
// time alone while every manager is at work: a bound that shows nothing is
// stuck or starved, not a speed target (the benchmarks measure those).
// ThreadSanitizer runs the program several times slower, and on fewer than
// four processors the managers, the frames and the program share fewer of
// them, so the bound grows as the processors the test may use shrink.
long slowest_wait_ms() {
#ifdef __SANITIZE_THREAD__
    constexpr long kBaseMs = 10000;
#else
    constexpr long kBaseMs = 5000;
#endif
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    const int count = sched_getaffinity(0, sizeof cpus, &cpus) == 0 ? CPU_COUNT(&cpus) : 4;
    return count >= 4 ? kBaseMs : kBaseMs * 4 / std::max(count, 1);
}

// Frames offered per second on each of the two sending TAPs.
constexpr int kFramesPerSecond = 200;

// The monitor's DoS loop over every port, whose rule rebuilds compete with
// the web's and the load's.
const std::vector<std::string> kDosAllLoop = {"dos all enable 2", "dos all disable 2"};

template <typename F>
long elapsed_ms(F request) {
    const auto asked = Clock::now();
    request();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked).count();
}

void raise_to(std::atomic<long> &slowest, long ms) {
    long seen = slowest.load();
    while (ms > seen && !slowest.compare_exchange_weak(seen, ms)) {
    }
}

// The slowest answer of one interface in a run, and the longest wait: the
// time an answer took beyond what the same request takes with nothing else
// at work (a form that rebuilds rules for every port is slow on its own in
// the race checker's build; waiting for the other managers is what counts).
struct Slowest {
    const char *name;
    std::map<std::string, long> alone{};  // request -> ms, filled before the run
    std::atomic<long> answer_ms{0};
    std::atomic<long> wait_ms{0};

    template <typename F>
    void time_alone(const std::string &request, F ask) {
        alone[request] = elapsed_ms(ask);
    }
    template <typename F>
    auto timed(const std::string &request, F ask) {
        decltype(ask()) answer{};
        const long took = elapsed_ms([&] { answer = ask(); });
        raise_to(answer_ms, took);
        auto own = alone.find(request);
        raise_to(wait_ms, took - (own != alone.end() ? own->second : 0));
        return answer;
    }
};

std::string fault_in(const std::string &log) {
    for (const char *text : kFaultTexts) {
        size_t at = log.find(text);
        if (at != std::string::npos) return log.substr(at > 2000 ? at - 2000 : 0, 8000);
    }
    return "";
}

std::string zeros(int bytes) {
    return std::string(static_cast<size_t>(bytes) * 2, '0');
}

std::string hex_of_text(const std::string &text) {
    std::string hex;
    char buf[3];
    for (unsigned char ch : text) {
        std::snprintf(buf, sizeof buf, "%02x", ch);
        hex += buf;
    }
    return hex;
}

// An IPv4 UDP frame; the payload is text.
std::string udp_frame(const std::string &dst_mac, const std::string &src_mac,
                      const std::string &src_ip, const std::string &dst_ip, int sport, int dport,
                      const std::string &payload) {
    char head[64];
    const int udp_len = 8 + static_cast<int>(payload.size());
    std::snprintf(head, sizeof head,
                  "4500%04x000000004011"
                  "0000",
                  udp_len + 20);
    char ports[32];
    std::snprintf(ports, sizeof ports, "%04x%04x%04x0000", sport, dport, udp_len);
    return dst_mac + src_mac + "0800" + head + hex_of_ip(src_ip) + hex_of_ip(dst_ip) + ports +
           hex_of_text(payload);
}

// A broadcast ARP request of sender (MAC, IP) for the target IP.
std::string arp_request(const std::string &sender, const std::string &sender_ip,
                        const std::string &target_ip) {
    return "ffffffffffff" + sender + "0806" + "0001080006040001" + sender + hex_of_ip(sender_ip) +
           zeros(6) + hex_of_ip(target_ip);
}

// A DHCP acknowledgement from the server leasing ip to the client.
std::string dhcp_ack(const std::string &client, const std::string &server,
                     const std::string &server_ip, const std::string &ip) {
    std::string bootp = "020106001234567800000000" + zeros(4) + hex_of_ip(ip) + zeros(8) + client +
                        zeros(10) + zeros(64 + 128) + "63825363350105ff";
    const int udp_len = 8 + static_cast<int>(bootp.size() / 2);
    char lens[64];
    std::snprintf(lens, sizeof lens,
                  "4500%04x000000004011"
                  "0000",
                  udp_len + 20);
    std::string out = client + server + "0800" + lens + hex_of_ip(server_ip) + hex_of_ip(ip);
    std::snprintf(lens, sizeof lens, "00430044%04x0000", udp_len);
    return out + lens + bootp;
}

// One request, the whole answer; the server may take long while a load or
// a sanitizer slows it.
std::string http(int port, const std::string &method, const std::string &path,
                 const std::string &body, const std::string &cookie) {
    int fd = switchfw_child::telnet_connect(port);
    if (fd < 0) return "";
    timeval limit{30, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string head = method + " " + path + " HTTP/1.0\r\nCookie: WebManaged=" + cookie + "\r\n";
    if (method == "POST") head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    switchfw_child::send_text(fd, head + "\r\n" + body);
    std::string answer;
    char buf[4096];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
        answer.append(buf, static_cast<size_t>(n));
    close(fd);
    return answer;
}

std::string post(int port, const std::string &path, const std::string &body,
                 const std::string &cookie) {
    return http(port, "POST", path, body, cookie);
}

std::string get(int port, const std::string &path, const std::string &cookie) {
    return http(port, "GET", path, "", cookie);
}

// One SNMP request of a feature's list: "v3 OID" is an SNMPv3 read with
// authentication, which the agent checks with the crypto library; anything
// else is snmpset's arguments after the agent. A datagram lost on a loaded
// machine costs one retry, not the request.
std::string snmp_request(const std::string &agent, const std::string &what) {
    return what.starts_with("v3 ")
               ? sh_out("snmpget -v3 -l authNoPriv -u eve -a MD5 -A evesecretpw -r 1 -t 3" + agent +
                        " " + what.substr(3) + " 2>&1")
               : sh_out("snmpset -v2c -c private -r 1 -t 3" + agent + " " + what + " 2>&1");
}

// One feature: what each front end does with it. Lists are used in turn.
struct Feature {
    std::string name;
    std::vector<std::pair<std::string, std::string>> posts;  // path, body
    std::vector<std::string> monitor;
    std::vector<std::string> snmp;  // snmpset arguments after the agent
    std::vector<std::pair<std::string, std::string>> final_posts;  // left for the checks
    bool busiest = false;  // adds the `dos all` loop and the static-file client
};

std::string bits(int ports, const std::string &first) {
    return first + std::string(static_cast<size_t>(ports) - first.size(), '0');
}

// The port QoS form as the page posts it: one priority per port, the first
// port's priority first and counting up from there.
std::string port_priorities(int ports, int first) {
    std::string values;
    for (int i = 0; i < ports; i++)
        values += (i == 0 ? "" : ",") + std::to_string((first + i) % 8);
    return "values=" + values;
}

// A self-test on two ports no frame of the round crosses: the pages and the
// loads check the held ports meanwhile, and are refused them.
const std::string kSelfTest =
    "TestRun 72 PortBitMap=fe39-fe40 RunMode=PHY TimeInSeconds=2 CounterPollInterval=1";

std::vector<Feature> features(int ports) {
    const std::string rmon = ".1.3.6.1.2.1.16.";
    return {
        {"dos",
         {{"/dos.cgi", "checks=101"},
          {"/dos.cgi", "checks=010"},
          {"/dos_perport.cgi", "port=5&checks=011&ping_rate=64&syn_rate=64"},
          {"/dos.cgi", "checks=111"},
          {"/dos_perport.cgi", "port=5&checks=000&ping_rate=64&syn_rate=64"}},
         {"dos fe10-fe12 enable 0", "dos fe10 show", "dos fe10-fe12 disable 0", "dos fe10 enable 4",
          "dos fe10 disable 4", "dos fe11 enable 2"},
         {},
         {{"/dos.cgi", "checks=100"}}},
        {"darp",
         {{"/darp.cgi", "enable=1&ports=1" + std::string(static_cast<size_t>(ports) - 1, '0') +
                            "&rmfrom=0&rmto=0&addfrom=1&addto=1&aging=5"},
          {"/darpadd.cgi", "mac=00-11-22-33-44-5a&ip=10.1.1.5&vid=1"},
          {"/darp.cgi", "enable=0"},
          {"/darpdel.cgi", "mac=00-11-22-33-44-5A&vid=1"},
          {"/darp.cgi",
           "enable=1&ports=" + bits(ports, "11") + "&rmfrom=0&rmto=0&addfrom=1&addto=2&aging=0"}},
         {"dos fe10 enable 0", "fp show", "dos fe10 disable 0", "dos fe10 show", kSelfTest},
         {},
         {{"/darp.cgi", "enable=1&ports=1" + std::string(static_cast<size_t>(ports) - 1, '0') +
                            "&rmfrom=0&rmto=0&addfrom=1&addto=1&aging=5"}}},
        {"voip",
         {{"/voip.cgi", "profiles=1"}, {"/voip.cgi", "profiles=0"}},
         {"fp show", "dos fe10 enable 0", "dos fe10 disable 0"},
         {},
         {{"/voip.cgi", "profiles=1"}},
         true},
        {"vlan",
         {{"/newvlan.cgi", "newid=10&values=" + bits(ports, "0002222")},
          {"/setvlan.cgi", "vid=10&values=" + bits(ports, "0001202")},
          {"/delvlan.cgi", "id=10"},
          {"/newvlan.cgi", "newid=20&values=" + bits(ports, "0000022")},
          {"/delvlan.cgi", "id=20"}},
         {"vlan create 30 PortBitMap=fe10,fe11", "vlan show", "vlan add 30 PortBitMap=fe12",
          "vlan remove 30 PortBitMap=fe11", "vlan destroy 30"},
         {},
         {{"/delvlan.cgi", "id=10"},
          {"/delvlan.cgi", "id=20"},
          {"/newvlan.cgi", "newid=10&values=" + bits(ports, "0002222")}}},
        {"trunk",
         {{"/trunk.cgi", "trunk_criteria=2&tgmember1=5,6&tgmember2=&tgmember3="},
          {"/trunk.cgi", "trunk_criteria=1&tgmember1=0&tgmember2=9,10&tgmember3="},
          {"/trunk.cgi", "trunk_criteria=3&tgmember1=&tgmember2=&tgmember3="}},
         {"trunk add Id=3 Rtag=1 Pbmp=fe20,fe21", "trunk show", "trunk remove Id=3 Pbmp=fe20,fe21"},
         {},
         {{"/trunk.cgi", "trunk_criteria=2&tgmember1=5,6&tgmember2=&tgmember3="}}},
        {"qos",
         {{"/qos_enhance_mode.cgi", "mode=1"},
          {"/qos_enhance_port.cgi", port_priorities(ports, 1)},
          {"/qos_enhance_port.cgi", port_priorities(ports, 4)},
          {"/qos_enhance_mode.cgi", "mode=4"},
          {"/qos_enhance_ip_add.cgi", "ip=10.9.0.0&mask=255.255.0.0&priority=5"},
          {"/qos_enhance_ip_del.cgi", "entry=1"},
          {"/qos_enhance_mode.cgi", "mode=2"},
          {"/qos_enhance_dscp.cgi", "values=1,2,3,4"},
          {"/queue_num.cgi", "queue_num=4"}},
         {"cos map Pri=0 Queue=2", "fp show", "cos config Numcos=4", "dscp fe10", kSelfTest},
         {},
         {{"/qos_enhance_mode.cgi", "mode=2"}},
         true},
        {"rate",
         {{"/setrate.cgi", "port=3&ingress=1024&egress_enable=1&egress=16&burst=80"},
          {"/storm_per_port.cgi", "port=0&type=1&rate=300"},
          {"/setrate.cgi", "port=3&ingress=0&egress_enable=0&egress=10&burst=80"},
          {"/storm_per_port.cgi", "port=2&type=2&rate=64"}},
         {"rate Limit=64 Bcast=true", "rate", "PortRate fe10 ingress 1000 100", "PortRate",
          "rate Limit=0 Bcast=true"},
         {},
         {{"/setrate.cgi", "port=3&ingress=1024&egress_enable=1&egress=16&burst=80"},
          {"/storm_per_port.cgi", "port=0&type=1&rate=1024"}}},
        {"mirror",
         {{"/mirror.cgi",
           "ingress=" + bits(ports, "1") + "&egress=" + bits(ports, "011") + "&mtp=5&mode=1"},
          {"/mirror.cgi", "mode=0"},
          {"/mirror.cgi",
           "ingress=" + bits(ports, "01") + "&egress=" + bits(ports, "") + "&mtp=4&mode=1"}},
         {"mirror Port=fe8 EgressBitMap=fe9 Mode=L2", "mirror", "mirror Mode=Off"},
         {},
         {{"/mirror.cgi",
           "ingress=" + bits(ports, "1") + "&egress=" + bits(ports, "") + "&mtp=3&mode=1"}}},
        {"l2",
         {{"/l2add.cgi", "mac=00-11-22-33-44-55&vid=1&port=5"},
          {"/l2del.cgi", "mac=00-11-22-33-44-55&vid=1"},
          {"/aging.cgi", "enable=1&time=120"},
          {"/l2add.cgi", "mac=00-11-22-33-44-66&vid=1&port=6"},
          {"/l2del.cgi", "mac=00-11-22-33-44-66&vid=1"},
          {"/aging.cgi", "enable=1&time=300"}},
         {"l2 add PortBitMap=fe15 MACaddress=00:00:00:00:aa:01 Vlanid=1 STatic=true", "l2 show",
          "l2 del MACaddress=00:00:00:00:aa:01 Vlanid=1", "age 200", "age"},
         {},
         {{"/l2add.cgi", "mac=00-11-22-33-44-55&vid=1&port=5"}}},
        {"port",
         {{"/portset.cgi", "port=5&admin=1&autonego=0&speed=2&flow_ctrl=1&priority=5&pvid=1"},
          {"/portset.cgi", "port=5&admin=0&autonego=1&speed=0&flow_ctrl=0&priority=0&pvid=1"},
          {"/portset.cgi", "port=6&admin=1&autonego=0&speed=2&flow_ctrl=1&priority=3&pvid=1"}},
         {"port fe4", "port fe5 enable", "port fe4 disable", "port fe4 enable", "ps"},
         {".1.3.6.1.2.1.2.2.1.7.5 i 2", ".1.3.6.1.2.1.2.2.1.7.5 i 1", ".1.3.6.1.2.1.2.2.1.7.6 i 2",
          ".1.3.6.1.2.1.2.2.1.7.6 i 1"},
         {{"/portset.cgi", "port=5&admin=1&autonego=0&speed=2&flow_ctrl=1&priority=2&pvid=1"}}},
        {"snmp",
         {{"/snmp_community_new.cgi",
           "snmp_community_name=extra&snmp_community_ip=0.0.0.0&snmp_group_name=1"},
          {"/snmp_trap_new.cgi", "snmp_trap_ip=10.0.0.9&snmp_trap_cstring=public"},
          {"/snmp_notify.cgi", "notify1=1&notify2=1"},
          {"/snmp_group_new.cgi", "snmp_ver=2&snmp_group_name=readers"},
          {"/snmp_user_new.cgi",
           "snmp_user_name=eve&snmp_group_name=0&auth_type=1&auth_key=evesecretpw"},
          {"/snmp_notify.cgi", "notify1=1"}},
         {"dos fe10 show"},
         {".1.3.6.1.2.1.1.4.0 s contact", "v3 .1.3.6.1.2.1.1.5.0", ".1.3.6.1.2.1.1.6.0 s here",
          "v3 .1.3.6.1.2.1.1.3.0", ".1.3.6.1.2.1.1.5.0 s name"},
         {{"/snmp_notify.cgi", "notify1=1"}}},
        {"rmon",
         {{"/rmonlite_histctrl_modify.cgi",
           "ctrl_id=2&entry_status=1&input_interval=10&histctrl_enable=1&input_owner=mon"},
          {"/rmonlite_stat_port.cgi", "port_id=3&set_row_sts=1"},
          {"/rmonlite_alarm_create.cgi", ""},
          {"/rmonlite_event_create.cgi", ""},
          {"/rmonlite_stat_port.cgi", "port_id=3&set_row_sts=3"}},
         {"show counters", "dos fe10 show"},
         {rmon + "1.1.1.21.4 i 1", rmon + "1.1.1.21.4 i 3", rmon + "3.1.1.12.7 i 2",
          rmon + "3.1.1.12.7 i 4", rmon + "9.1.1.7.9 i 2", rmon + "9.1.1.7.9 i 4"},
         {{"/rmonlite_stat_port.cgi", "port_id=1&set_row_sts=1"}}},
    };
}

// The switch under test with its TAP ports in namespaces A (port 1), B
// (port 2) and C (port 3), and what its console printed.
class concurrency : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // A switch that dies must fail the test, not end it on a write.
        signal(SIGPIPE, SIG_IGN);
        if (!system_fixture::can_make_namespaces() || sh("python3 --version") != 0 ||
            sh("snmpset --version") != 0)
            return;
        const int id = static_cast<int>(getpid() % 10000);
        n_ = std::to_string(id);
        net_ = "10.196." + std::to_string(id % 250) + ".";
        ns_ = new Netns;
        if (!ns_->make(net_ + "0/24", {"swcca" + n_, "swccb" + n_, "swccc" + n_})) return;
        start();
        ready_ = sw_ != nullptr;
    }
    static void TearDownTestSuite() {
        delete sw_;
        sw_ = nullptr;
        delete ns_;
        ns_ = nullptr;
    }
    void SetUp() override {
        if (!ready_)
            GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping, python3 and "
                            "the snmp tools";
    }

    static std::string tap(int i) { return std::string("swcc") + "abc"[i] + n_; }
    static const std::string &space(int i) { return ns_->spaces[static_cast<size_t>(i)]; }

    // Starts (or restarts) the firmware on the same flash.
    static void start() {
        delete sw_;
        sw_ = new Switch(test_workdir::path(), {"--board", "52", "--tap", "1=" + tap(0), "--tap",
                                                "2=" + tap(1), "--tap", "3=" + tap(2)});
        std::string seen;
        const bool up = sw_->run("", "DXP.0> ", &seen, 120);
        log_ += seen;
        if (!up) {
            ADD_FAILURE() << "no prompt:\n" << seen;
            return;
        }
        for (int i = 0; i < 3; i++) {
            // After a restart the namespaces hold TAPs of the same name no
            // longer: they went with the old process.
            if (!Netns::attach(tap(i), space(i), net_ + std::to_string(i + 1) + "/24"))
                ADD_FAILURE() << "TAP " << tap(i) << " not attached";
            macs_[i] = hex_of_mac(system_fixture::mac_of(space(i), tap(i)));
        }
        cookie_ = web_client::login(web_port(), "qivor");
    }

    static int web_port() { return sw_->port_offset() + 80; }
    static std::string agent() { return " 127.0.0.1:" + std::to_string(sw_->port_offset() + 161); }

    // A monitor line; its output is kept for the fault check.
    static bool monitor(const std::string &line, int seconds = 30) {
        std::string seen;
        bool ok = sw_->run(line, "DXP.0> ", &seen, seconds);
        std::lock_guard<std::mutex> hold(log_lock_);
        log_ += seen;
        if (FILE *f = std::fopen(log_path().c_str(), "a")) {
            std::fwrite(seen.data(), 1, seen.size(), f);
            std::fclose(f);
        }
        return ok;
    }

    // Everything the console printed, kept after the test for a look.
    static std::string log_path() { return "/tmp/switchfw-concurrency-" + n_ + ".log"; }

    static bool alive() {
        int status = 0;
        return waitpid(sw_->pid(), &status, WNOHANG) == 0;
    }

    // Frames written in turn from a namespace's TAP at kFramesPerSecond
    // until the time is up.
    static std::thread frame_loop(int from, const std::vector<std::string> &frames, int seconds) {
        std::string list;
        for (const std::string &f : frames)
            list += " " + f;
        std::string cmd =
            "ip netns exec " + space(from) +
            " python3 -c 'import socket,sys,time\n"
            "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW); s.bind((sys.argv[1],0))\n"
            "rate=int(sys.argv[3]); fs=[bytes.fromhex(h) for h in sys.argv[4:]]\n"
            "start=time.time(); end=start+int(sys.argv[2]); sent=0\n"
            "while time.time()<end:\n"
            "  while sent<int((time.time()-start)*rate): s.send(fs[sent%len(fs)]); sent+=1\n"
            "  time.sleep(0.005)' " +
            tap(from) + " " + std::to_string(seconds) + " " + std::to_string(kFramesPerSecond) +
            list;
        return std::thread([cmd] { sh(cmd); });
    }

    // True when a frame with the marker sent from one TAP reaches another.
    static bool passes(int from, int to, const std::string &frame) {
        for (int tries = 0; tries < 3; tries++) {
            FrameWatch watch(space(to), tap(to), 2);
            if (!watch.ready()) continue;
            system_fixture::send_frames(space(from), tap(from), frame, 3, 50000);
            for (const std::string &seen : watch.frames())
                if (seen.find(frame.substr(28)) != std::string::npos) return true;
        }
        return false;
    }

    void stress(const Feature &f);
    void interfaces_answer();
    void stored_settings_load_at_next_start();

    static inline Switch *sw_ = nullptr;
    static inline Netns *ns_ = nullptr;
    static inline bool ready_ = false;
    static inline std::string n_, net_, cookie_;
    static inline std::string macs_[3];
    static inline std::string log_;
    static inline std::mutex log_lock_;
};

void concurrency::stress(const Feature &f) {
    const int seconds = stress_seconds();
    std::atomic<int> posts{0}, lines{0}, sets{0}, loads{0}, files{0};
    Slowest web{"web"}, console{"console"}, snmp{"SNMP"}, telnet{"telnet"}, file{"static file"};
    std::string cookie = web_client::login(web_port(), "qivor");
    std::vector<std::string> lines_of = f.monitor;
    if (f.busiest) lines_of.insert(lines_of.end(), kDosAllLoop.begin(), kDosAllLoop.end());
    const std::string kStaticFile = "/form.css";
    for (const auto &[path, body] : f.posts)
        web.time_alone(path + body, [&] { return post(web_port(), path, body, cookie); });
    for (const std::string &line : lines_of)
        console.time_alone(line, [&] { return monitor(line); });
    if (f.busiest) file.time_alone(kStaticFile, [&] { return get(web_port(), kStaticFile, ""); });
    for (const std::string &what : f.snmp)
        snmp.time_alone(what, [&] { return snmp_request(agent(), what); });
    int telnet_fd = switchfw_child::telnet_login(sw_->port_offset() + 23, "qivor");
    auto load = [&] {
        std::string seen;
        switchfw_child::send_text(telnet_fd, "load\r\n");
        return switchfw_child::read_until(telnet_fd, &seen, "ecos> ", 30);
    };
    if (telnet_fd >= 0) telnet.time_alone("load", load);
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    std::vector<std::thread> workers;

    workers.emplace_back([&] {
        // The last round is whole: the feature ends in the state the list
        // leaves it in, whichever post the time ran out at.
        for (size_t i = 0; Clock::now() < end || i % f.posts.size() != 0; i++) {
            const auto &[path, body] = f.posts[i % f.posts.size()];
            if (!web.timed(path + body, [&] { return post(web_port(), path, body, cookie); })
                     .empty())
                posts++;
        }
    });
    workers.emplace_back([&] {
        // Whole rounds too, so that the `dos all` loop ends disabled.
        for (size_t i = 0; Clock::now() < end || i % lines_of.size() != 0; i++) {
            const std::string &line = lines_of[i % lines_of.size()];
            if (console.timed(line, [&] { return monitor(line); })) lines++;
        }
    });
    if (f.busiest) {
        // A browser's style sheet, asked for every 50 ms.
        workers.emplace_back([&] {
            while (Clock::now() < end) {
                std::string answer =
                    file.timed(kStaticFile, [&] { return get(web_port(), kStaticFile, ""); });
                if (answer.find("200 OK") != std::string::npos) files++;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
    }
    if (!f.snmp.empty()) {
        workers.emplace_back([&] {
            for (size_t i = 0; Clock::now() < end; i++) {
                const std::string &what = f.snmp[i % f.snmp.size()];
                std::string out = snmp.timed(what, [&] { return snmp_request(agent(), what); });
                if (out.find("Timeout") == std::string::npos) sets++;
            }
        });
    }
    workers.emplace_back([&] {
        if (telnet_fd < 0) return;
        while (Clock::now() < end) {
            if (telnet.timed("load", load)) loads++;
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        switchfw_child::send_text(telnet_fd, "exit\r\n");
        close(telnet_fd);
    });
    // Traffic the receive thread acts on: SIP calls, DHCP and ARP for the
    // inspection, DoS attacks; and plain traffic between the ports.
    const std::string bcast = "ffffffffffff";
    const std::string a = net_ + "1", b = net_ + "2";
    std::vector<std::string> frames = {
        udp_frame(bcast, macs_[0], a, b, 5060, 5060,
                  "INVITE sip:b@" + b + " SIP/2.0\r\nCall-ID: " + f.name +
                      "\r\nContent-Type: application/sdp\r\n\r\nv=0\r\nc=IN IP4 " + a +
                      "\r\nm=audio 4000 RTP/AVP 0\r\n"),
        dhcp_ack(macs_[1], macs_[0], a, b),
        udp_frame(bcast, macs_[0], a, a, 7, 7, "land"),
        udp_frame(macs_[1], macs_[0], a, b, 1000, 1000, "plain"),
    };
    std::vector<std::string> from_b = {arp_request(macs_[1], b, a),
                                       arp_request(macs_[1], net_ + "99", a)};
    workers.push_back(frame_loop(0, frames, seconds));
    workers.push_back(frame_loop(1, from_b, seconds));
    for (std::thread &t : workers)
        t.join();

    // Each front end got through at least once.
    EXPECT_GT(posts.load(), 0) << f.name;
    EXPECT_GT(lines.load(), 0) << f.name;
    EXPECT_GT(loads.load(), 0) << f.name;
    if (!f.snmp.empty()) {
        EXPECT_GT(sets.load(), 0) << f.name;
    }
    if (f.busiest) {
        EXPECT_GT(files.load(), 0) << f.name;
    }
    std::printf(
        "%s: %d posts, %d monitor lines, %d SNMP SETs, %d loads, %d static files in %d s, "
        "%d frames/s on each of two TAPs\n",
        f.name.c_str(), posts.load(), lines.load(), sets.load(), loads.load(), files.load(),
        seconds, kFramesPerSecond);
    for (const Slowest *i : {&web, &console, &snmp, &telnet, &file}) {
        std::printf("%s: slowest %s answer %ld ms, longest wait %ld ms\n", f.name.c_str(), i->name,
                    i->answer_ms.load(), i->wait_ms.load());
        EXPECT_LE(i->wait_ms.load(), slowest_wait_ms()) << f.name << ": a " << i->name << " answer";
    }

    // The last one sets the state the checks rely on; those before it clear
    // the way and may be refused (what they remove may be gone already).
    for (size_t i = 0; i < f.final_posts.size(); i++) {
        const auto &[path, body] = f.final_posts[i];
        std::string answer = post(web_port(), path, body, cookie_);
        EXPECT_NE(answer.find("200 OK"), std::string::npos) << f.name << " " << path;
        if (i + 1 == f.final_posts.size()) {
            EXPECT_EQ(answer.find("Retry"), std::string::npos) << f.name << " " << path << answer;
        }
    }
}

void concurrency::interfaces_answer() {
    // A race or a lock-order report of ThreadSanitizer ends the program.
    ASSERT_TRUE(alive()) << "the program ended; its console: " << log_path() << "\n"
                         << fault_in(log_);
    EXPECT_TRUE(monitor(" ")) << "the monitor does not answer";
    EXPECT_EQ(fault_in(log_), "") << "console: " << log_path();
    std::string page = get(web_port(), "/portconf.htm", cookie_);
    EXPECT_NE(page.find("200 OK"), std::string::npos) << "the web server does not answer";
    std::string out =
        sh_out("snmpget -v2c -c public -r 2 -t 2 -On" + agent() + " .1.3.6.1.2.1.1.3.0 2>&1");
    EXPECT_NE(out.find("Timeticks"), std::string::npos) << "the SNMP agent does not answer";
    int fd = switchfw_child::telnet_login(sw_->port_offset() + 23, "qivor");
    EXPECT_GE(fd, 0) << "telnet does not answer";
    if (fd >= 0) close(fd);
}

// Last: what the stress left stored loads at the next start as it was.
void concurrency::stored_settings_load_at_next_start() {
    auto backup = [] {
        return backup_items(web_client::body_of(get(web_port(), "/dxpqsw.cfg", cookie_)));
    };
    const auto before = backup();
    ASSERT_FALSE(before.empty());
    start();
    ASSERT_TRUE(alive());
    const auto after = backup();
    for (const char *item : {"vlan", "portconf", "trunk", "l2", "aging", "mirror", "qos", "rate",
                             "dos", "darp", "voip", "snmp", "rmon"}) {
        ASSERT_TRUE(before.count(item)) << item;
        EXPECT_EQ(after.count(item) ? after.at(item) : "", before.at(item)) << item;
    }
    EXPECT_EQ(fault_in(log_), "");
    interfaces_answer();
}

class concurrency_features : public concurrency,
                             public ::testing::WithParamInterface<std::string> {};

TEST_P(concurrency_features, EveryFrontEndAtOnceLeavesTheSwitchSound) {
    if (GetParam() == "restart") {
        stored_settings_load_at_next_start();
        return;
    }
    for (const Feature &f : features(52)) {
        if (f.name != GetParam()) continue;
        stress(f);
        interfaces_answer();
        // Plain traffic still crosses the switch, and what the feature was
        // left with acts on frames.
        const std::string a = net_ + "1", b = net_ + "2";
        EXPECT_TRUE(
            passes(0, 1, udp_frame(macs_[1], macs_[0], a, b, 1000, 1000, "after-" + f.name)))
            << f.name;
        if (f.name == "dos") {
            // Land protection is on: source equal to destination is dropped.
            EXPECT_FALSE(passes(0, 1, udp_frame("ffffffffffff", macs_[0], a, a, 9, 9, "landx")));
        }
        if (f.name == "darp") {
            // Port 2 is untrusted and VLAN 1 inspected: an unbound ARP
            // request from it is dropped.
            EXPECT_FALSE(passes(1, 0, arp_request(macs_[1], net_ + "77", a)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(each, concurrency_features,
                         ::testing::Values("dos", "darp", "voip", "vlan", "trunk", "qos", "rate",
                                           "mirror", "l2", "port", "snmp", "rmon", "restart"));

}  // namespace
