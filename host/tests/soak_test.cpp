// Soak test of a running switchfw: every form of the web file table is
// fuzzed (random and oversized fields, GET and POST mixed) and the program's
// memory must level off after a warm-up; then the management must keep
// answering under load: SNMP requests while the SNMP configuration forms are
// posted in a loop, and web pages while a port takes a flood of DoS frames.
//
// It runs only when SWITCHFW_SOAK=1 (tools/test.sh sets it and points
// SWITCHFW_SOAK_BINARY at the release program: the sanitizers' own memory
// would hide the program's). SOAK_WARMUP_SECONDS and SOAK_SECONDS change the
// fuzzing times (20 and 60).
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {
const char *soak_program() {
    const char *path = std::getenv("SWITCHFW_SOAK_BINARY");
    return path != nullptr && *path != '\0' ? path : SWITCHFW_DEFAULT_PATH;
}
}  // namespace
#define SWITCHFW_PATH soak_program()

#include "system_fixture.h"
#include "web_client.h"

namespace {

using Clock = std::chrono::steady_clock;
using system_fixture::sh;
using system_fixture::sh_out;

int env_seconds(const char *name, int fallback) {
    const char *text = std::getenv(name);
    return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

// Resident memory of a process in kB (0 when it is gone).
long rss_kb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
}

// The .cgi rows of the web file table.
std::vector<std::string> cgi_rows() {
    std::ifstream table(WEB_PAGES_DIR "/files.txt");
    std::vector<std::string> rows;
    std::string line;
    while (std::getline(table, line)) {
        std::string name = line.substr(0, line.find_first_of(" \t"));
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".cgi") == 0) rows.push_back(name);
    }
    return rows;
}

// Every form field name of the compiled pages.
std::vector<std::string> field_names() {
    std::set<std::string> names;
    const std::regex field("name=\"([A-Za-z0-9_]+)\"");
    for (const auto &entry : std::filesystem::directory_iterator(WEB_PAGES_DIR)) {
        std::ifstream page(entry.path());
        std::string text((std::istreambuf_iterator<char>(page)), std::istreambuf_iterator<char>());
        for (std::sregex_iterator m(text.begin(), text.end(), field), end; m != end; ++m)
            names.insert((*m)[1]);
    }
    return {names.begin(), names.end()};
}

// Values that would end the run if a form took them: a restart, a
// factory reset, a new address, the DHCP client or the password.
bool harmful(const std::string &value) {
    static const std::set<std::string> words{"yes", "eth0", "eth1", "qivor", "2"};
    return words.count(value) != 0;
}

class FormFuzzer {
  public:
    FormFuzzer(int port, std::string cookie, unsigned seed)
        : port_(port),
          cookie_(std::move(cookie)),
          rng_(seed),
          rows_(cgi_rows()),
          names_(field_names()) {}

    size_t rows() const { return rows_.size(); }

    // One request to a random form; false when the server did not answer.
    bool once() {
        // Bursts at one form, then the next: the sequences of handlers
        // matter, not only each handler alone.
        if (burst_left_-- <= 0) {
            row_ = pick(rows_.size());
            burst_left_ = static_cast<int>(pick(kBurstMax));
        }
        const std::string &row = rows_[row_];
        // A refused login blocks the address for a while: the login form
        // always gets the account, then the random fields.
        std::string form = row == "login.cgi" ? "username=admin&password=qivor&" : "";
        int pairs = chance(20) ? 200 + static_cast<int>(pick(200)) : static_cast<int>(pick(9));
        for (int i = 0; i < pairs; i++) {
            if (i > 0) form += '&';
            form += chance(80) ? names_[pick(names_.size())] : junk(1 + pick(12));
            form += '=';
            form += value();
        }
        std::string answer = chance(50) ? web_client::post(port_, "/" + row, form, cookie_)
                                        : web_client::get(port_, "/" + row + "?" + form, cookie_);
        return answer.rfind("HTTP/1.0", 0) == 0 || answer.empty();
    }

  private:
    size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
    bool chance(int percent) { return static_cast<int>(pick(100)) < percent; }
    std::string junk(size_t len) {
        static const char chars[] =
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
            "-_.:,;'<>!*()%+ ";
        std::string s;
        for (size_t i = 0; i < len; i++)
            s += chars[pick(sizeof chars - 1)];
        return s;
    }
    std::string value() {
        std::string v;
        switch (pick(8)) {
            case 0:
                v = std::to_string(pick(64));
                break;
            case 1:
                v = std::to_string(static_cast<long>(rng_()) - 0x7fffffffL);
                break;
            case 2:
                v = std::to_string(pick(256)) + "." + std::to_string(pick(256)) + ".0." +
                    std::to_string(pick(256));
                break;
            case 3:
                v = std::string(1 + pick(52), '1');
                break;
            case 4:
                v = junk(pick(40));
                break;
            case 5:
                v = junk(300 + pick(5000));
                break;  // oversized
            case 6:
                v = "%" + junk(2) + "%41+%zz";
                break;
            default:
                v = "";
                break;
        }
        return harmful(v) ? "x" : v;
    }

    static constexpr size_t kBurstMax = 400;
    int port_;
    std::string cookie_;
    size_t row_ = 0;
    int burst_left_ = 0;
    std::mt19937 rng_;
    std::vector<std::string> rows_;
    std::vector<std::string> names_;
};

// The longest wait for one answer of a series of requests, in ms; the
// request returns false when it went unanswered.
class Liveness {
  public:
    void record(bool answered, Clock::duration took) {
        std::lock_guard<std::mutex> hold(mutex_);
        long ms = std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
        if (!answered) unanswered_++;
        if (ms > worst_ms_) worst_ms_ = ms;
        count_++;
    }
    long worst_ms() const { return worst_ms_; }
    int unanswered() const { return unanswered_; }
    int count() const { return count_; }

  private:
    std::mutex mutex_;
    long worst_ms_ = 0;
    int unanswered_ = 0;
    int count_ = 0;
};

constexpr long kAnswerLimitMs = 5000;  // liveness, not speed

// sysUpTime by Debian's snmpget; *out gets what it printed.
bool snmp_answers(int port, std::string *out = nullptr) {
    std::string said =
        sh_out("snmpget -v2c -c public -On -r 0 -t 5 127.0.0.1:" + std::to_string(port) +
               " .1.3.6.1.2.1.1.3.0 2>&1");
    if (out != nullptr) *out = said;
    return said.find(".1.3.6.1.2.1.1.3.0 = Timeticks") != std::string::npos;
}

// Frames of the attacks the DoS checks drop, as hex: LAND (source IP equal
// to destination IP), an Xmas scan, a SYN flood and a ping flood.
std::vector<std::string> dos_frames(const std::string &src_mac) {
    std::string mac;
    for (char c : src_mac)
        if (c != ':') mac += c;
    const std::string head = "02aabbccddee" + mac + "0800";
    const std::string land_ip =
        "45000028000100004006"
        "0000"
        "0a0101010a010101";
    const std::string ip =
        "45000028000100004006"
        "0000"
        "0a0102030a010101";
    return {
        head + land_ip +
            "1f901f90000000000000000050020200"
            "00000000",
        head + ip +
            "04d20050000000000000000050290200"
            "00000000",
        head + ip +
            "c3500050000000000000000050020200"
            "00000000",
        head +
            "45000054000100004001"
            "0000"
            "0a0102030a010101"
            "0800f7ff00000000" +
            std::string(112, '0'),
    };
}

TEST(soak, FormsSnmpConfigAndDosFloodKeepMemoryAndAnswers) {
    if (std::getenv("SWITCHFW_SOAK") == nullptr || std::string(std::getenv("SWITCHFW_SOAK")) != "1")
        GTEST_SKIP() << "set SWITCHFW_SOAK=1 to run the soak test";
    if (!system_fixture::can_make_namespaces()) GTEST_SKIP() << "needs root and /dev/net/tun";
    if (sh("snmpget --version") != 0) GTEST_SKIP() << "needs Debian's snmp tools";
    const int warmup = std::max(env_seconds("SOAK_WARMUP_SECONDS", 20), 6);
    const int measured = std::max(env_seconds("SOAK_SECONDS", 60), 6);

    const std::string tag = std::to_string(system_fixture::own_id());
    const std::string tap = "sk" + tag, space = "soak" + tag;
    // A free test subnet, blackholed in the host namespace.
    std::string net;
    system_fixture::Netns netns;
    ASSERT_TRUE(netns.make_free("10.193.", system_fixture::own_id(), {space}, &net));

    auto dir = std::filesystem::temp_directory_path() / ("switchfw-soak-" + tag);
    std::filesystem::create_directories(dir);
    std::printf("program: %s\n", soak_program());
    {
        system_fixture::Switch fw(dir, {"--tap", "1=" + tap});
        ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
        ASSERT_TRUE(system_fixture::Netns::attach(tap, space, net + "1/24"));
        const int http = fw.port_offset() + 80, snmp = fw.port_offset() + 161;
        const std::string cookie = web_client::login(http, "qivor");
        ASSERT_FALSE(cookie.empty());
        // The console is read all the time: the program waits when its
        // output pipe is full, as it would on a stopped terminal.
        std::atomic<bool> done{false};
        std::thread console([&] {
            while (!done.load())
                fw.run("", "\x01never", nullptr, 1);
        });
        struct Join {
            std::atomic<bool> &done;
            std::thread &t;
            ~Join() {
                done = true;
                t.join();
            }
        } join_console{done, console};

        // Forms of every handler from four clients at once.
        std::atomic<bool> stop{false};
        std::atomic<long> requests{0}, unanswered{0};
        std::vector<std::thread> clients;
        size_t rows = 0;
        for (unsigned c = 0; c < 4; c++) {
            auto fuzzer = std::make_shared<FormFuzzer>(http, cookie, 1234 + c);
            rows = fuzzer->rows();
            clients.emplace_back([&, fuzzer] {
                while (!stop.load()) {
                    if (!fuzzer->once()) unanswered++;
                    requests++;
                }
            });
        }
        ASSERT_GT(rows, 80u);
        // The level is the highest RSS of a 5 s window: a window at the end
        // of the warm-up against one at the end of the run, so that a
        // passing peak of freed memory is not taken for growth.
        constexpr int kWindow = 5;
        std::this_thread::sleep_for(std::chrono::seconds(warmup - kWindow));
        long base = 0, end_level = 0;
        for (int s = 0; s < kWindow; s++) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            base = std::max(base, rss_kb(fw.pid()));
        }
        std::printf("after %d s warm-up: %ld requests, RSS %ld kB\n", warmup, requests.load(),
                    base);
        for (int s = 1; s <= measured; s++) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            long now = rss_kb(fw.pid());
            if (s > measured - kWindow) end_level = std::max(end_level, now);
            if (s % 10 == 0 || s == measured)
                std::printf("  +%3d s: %ld requests, RSS %ld kB\n", s, requests.load(), now);
            std::fflush(stdout);
        }
        stop = true;
        for (auto &t : clients)
            t.join();
        std::printf("fuzzed %zu forms with %ld requests\n", rows, requests.load());
        EXPECT_LE(end_level - base, 2048)
            << "RSS grew from " << base << " kB to " << end_level << " kB";
        EXPECT_EQ(unanswered.load(), 0) << "answers that were no HTTP answers";

        // Back to the factory settings, which the SNMP and DoS steps take
        // as their start.
        web_client::post(http, "/restored.cgi", "restore=2", cookie);
        std::string said;
        for (int i = 0; i < 10 && !snmp_answers(snmp, &said); i++)
            std::this_thread::sleep_for(std::chrono::seconds(1));
        ASSERT_TRUE(snmp_answers(snmp, &said)) << said;
        // The fuzzing may have changed the account that the cookie stands for.
        const std::string session = web_client::login(http, "qivor");
        ASSERT_FALSE(session.empty());

        // SNMP requests while the SNMP configuration forms are posted. A
        // walk of the IP group first: its caches give the agent alarms to
        // wait for.
        EXPECT_NE(sh_out("snmpwalk -v2c -c public -On -r 0 -t 5 127.0.0.1:" + std::to_string(snmp) +
                         " .1.3.6.1.2.1.4 2>&1")
                      .find(".1.3.6.1.2.1.4.1.0 = INTEGER"),
                  std::string::npos);
        Liveness agent;
        stop = false;
        std::atomic<int> taken{0};  // posts answered with a page, not the login
        auto post = [&](const std::string &path, const std::string &form) {
            std::string answer = web_client::post(http, path, form, session);
            if (answer.find("200 OK") != std::string::npos) taken++;
        };
        std::thread forms([&] {
            for (int i = 0; !stop.load(); i++) {
                std::string n = std::to_string(i % 7);
                post("/snmp_group_new.cgi",
                     "snmp_group_name=soakg" + n + "&snmp_ver=1&read_state=en");
                post("/snmp_community_new.cgi", "snmp_community_name=soak" + n +
                                                    "&snmp_community_ip=0.0.0.0&snmp_group_name=2");
                post("/snmp_user_new.cgi", "snmp_user_name=soaku" + n +
                                               "&snmp_group_name=2&auth_type=1&auth_key=soakpass" +
                                               n);
                post("/snmp_trap_new.cgi", "snmp_trap_ip=127.0.0.1&snmp_trap_cstring=soak" + n);
                post("/snmp_notify.cgi", "notify1=1&notify2=1");
                post("/snmp_id.cgi", "select_type=1&engine_id=0102030405" + n);
                post("/showcommunity.cgi", "user_page=3");
                post("/delcommunity.cgi", "id=3");
                post("/showtrap.cgi", "trap_page=1");
                post("/deltrap.cgi", "id=1");
                post("/showuser.cgi", "user_page=3");
                post("/deluser.cgi", "id=3");
                post("/showgroup.cgi", "group_page=3");
                post("/delgroup.cgi", "id=3");
            }
        });
        auto end = Clock::now() + std::chrono::seconds(5);
        while (Clock::now() < end) {
            auto t0 = Clock::now();
            bool answered = snmp_answers(snmp, &said);
            agent.record(answered, Clock::now() - t0);
            if (!answered) ADD_FAILURE() << said;
        }
        stop = true;
        forms.join();
        std::printf("SNMP under configuration posts: %d requests, worst %ld ms, %d unanswered\n",
                    agent.count(), agent.worst_ms(), agent.unanswered());
        EXPECT_GT(taken.load(), 10);
        EXPECT_EQ(agent.unanswered(), 0);
        EXPECT_LE(agent.worst_ms(), kAnswerLimitMs);

        // Web pages while port 1 takes a flood of frames its DoS checks drop.
        post("/dos.cgi", "checks=111");
        post("/dos_perport.cgi", "port=1&checks=111&rate1=" + std::to_string(64) + "&rate2=64");
        std::string frames;
        for (const std::string &f : dos_frames(system_fixture::mac_of(space, tap)))
            frames += " " + f;
        std::string flood = "timeout 7 ip netns exec " + space +
                            " python3 -c 'import socket,sys\n"
                            "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW)\n"
                            "s.bind((sys.argv[1],0)); fs=[bytes.fromhex(h) for h in sys.argv[2:]]\n"
                            "while True:\n"
                            "  for f in fs:\n"
                            "    try: s.send(f)\n"
                            "    except OSError: pass\n' " +
                            tap + frames;
        std::thread flooder([&] { sh(flood); });
        std::this_thread::sleep_for(std::chrono::seconds(1));
        Liveness web;
        end = Clock::now() + std::chrono::seconds(5);
        while (Clock::now() < end) {
            auto t0 = Clock::now();
            bool answered =
                web_client::get(http, "/portconf.htm", session).find("200 OK") != std::string::npos;
            web.record(answered, Clock::now() - t0);
        }
        flooder.join();
        std::printf("web during a DoS flood: %d pages, worst %ld ms, %d unanswered\n", web.count(),
                    web.worst_ms(), web.unanswered());
        EXPECT_EQ(web.unanswered(), 0);
        EXPECT_LE(web.worst_ms(), kAnswerLimitMs);
        EXPECT_GT(rss_kb(fw.pid()), 0) << "the program ended";
        post("/restored.cgi", "restore=2");
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
