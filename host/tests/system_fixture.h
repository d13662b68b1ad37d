// Shared by the system tests: shell helpers, switchfw with its monitor on a
// pipe, and network namespaces that are removed on every way out. The tests
// need root (CAP_NET_ADMIN), /dev/net/tun, ip and ping, and skip without them.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "shell_out.h"
#include "switchfw_child.h"

namespace system_fixture {

inline int sh(const std::string &cmd) {
    int rc = std::system((cmd + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// How often the text holds what.
inline size_t count_of(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

// The log's lines holding the text, each with the lines its count folded
// ("(N more like this folded...)").
inline size_t log_lines_accounted(const std::string &events, const std::string &line) {
    static const std::regex folded(" \\((\\d+) more like this folded");
    size_t lines = 0;
    std::istringstream in(events);
    for (std::string text; std::getline(in, text);) {
        std::smatch m;
        if (text.find(line) != std::string::npos)
            lines += 1 + (std::regex_search(text, m, folded) ? std::stoul(m[1]) : 0);
    }
    return lines;
}

// The number after the text, on the text's line (thousands separated by
// commas or not), -1 when absent.
inline long long number_after(const std::string &out, const std::string &text) {
    const size_t at = out.find(text);
    if (at == std::string::npos) return -1;
    const size_t digit = out.find_first_of("0123456789", at + text.size());
    if (digit == std::string::npos || out.find('\n', at) < digit) return -1;
    long long n = 0;
    for (size_t k = digit;
         k < out.size() && (std::isdigit(static_cast<unsigned char>(out[k])) || out[k] == ','); k++)
        if (out[k] != ',') n = n * 10 + (out[k] - '0');
    return n;
}

// A number below 10000 that this process holds until it ends, for the names
// of the TAP devices and namespaces it makes: two tests running at once may
// share the last digits of their process ids, never this number. A lock
// file holds it, as free_port_offset holds the ports.
inline int own_id() {
    static const int id = [] {
        const char *dir = "/tmp/switchfw-test-ids";
        mkdir(dir, 0777);
        for (int k = 0, n = static_cast<int>(getpid() % 10000); k < 10000;
             k++, n = (n + 1) % 10000) {
            int fd = open((std::string(dir) + "/" + std::to_string(n)).c_str(),
                          O_RDWR | O_CREAT | O_CLOEXEC, 0666);
            if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) return n;  // held until the end
            if (fd >= 0) close(fd);
        }
        ADD_FAILURE() << "no free test id";
        return static_cast<int>(getpid() % 10000);
    }();
    return id;
}

// True when this process may make namespaces and TAP devices.
inline bool can_make_namespaces() {
    return geteuid() == 0 && access("/dev/net/tun", R_OK | W_OK) == 0 && sh("ip -V") == 0 &&
           sh("ping -V") == 0;
}

// switchfw with its monitor on a pipe (or a pseudo-terminal, which may be
// its controlling terminal, with switchfw in the background of it), started
// by a launcher when given (see switchfw_child::start). The arguments follow
// the fixed ones (direct bus, a free port offset, a private flash and file
// system).
class Switch {
  public:
    Switch(const std::filesystem::path &dir, const std::vector<std::string> &args, bool pty = false,
           bool controlling = false, bool background = false,
           const std::vector<std::string> &launcher = {})
        : offset_(switchfw_child::free_port_offset()), pty_(pty) {
        std::vector<std::string> all{
            "--bus",   "direct",    "--port-offset", std::to_string(offset_),
            "--flash", "flash.bin", "--fs",          "fs"};
        all.insert(all.end(), args.begin(), args.end());
        switchfw_child::Child child = switchfw_child::start(dir, all, pty, nullptr, nullptr,
                                                            controlling, background, launcher);
        pid_ = child.pid;
        in_ = child.in;
        out_ = child.out;
    }
    ~Switch() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(in_);
        close(out_);
    }
    Switch(const Switch &) = delete;
    Switch &operator=(const Switch &) = delete;

    // Sends a monitor line (if any) and collects output up to the text. A
    // line that waits for the monitor's prompt waits for the one after its
    // own answer (see answer), never for one an earlier line left behind.
    // The bounds only catch a program that hangs: a busy host may take long.
    bool run(const std::string &line, const std::string &text, std::string *seen = nullptr,
             int seconds = 60) {
        if (!line.empty() && text == "DXP.0> ") return answer(line, seen, seconds);
        std::string buf;
        if (!line.empty() && write(in_, (line + "\n").data(), line.size() + 1) < 0) return false;
        bool found = switchfw_child::read_until(out_, &buf, text, seconds);
        if (seen) *seen = buf;
        return found;
    }
    // Reads on into what an earlier run saw, until the text appears in it:
    // the text a run ended on may have come in one read with what follows.
    bool read_more(std::string *seen, const std::string &text, int seconds = 60) {
        return switchfw_child::read_until(out_, seen, text, seconds);
    }
    // Sends a monitor line and, on a line of its own, a mark, and collects
    // the output up to the prompt that follows the mark: an answer an
    // earlier line left behind (its prompt, a late line) cannot end the
    // wait, and none is left behind for the next line. `seen` gets the
    // line's output and its prompt, without the mark; false when the mark
    // did not come within the time (a monitor that stopped answering).
    bool answer(const std::string &line, std::string *seen = nullptr, int seconds = 60) {
        const std::string end = "end-of-output-" + std::to_string(++marks_);
        const std::string newline = pty_ ? "\r\n" : "\n", prompt = "DXP.0> ";
        // Typed in quotes, so a terminal's echo of what is typed does not
        // hold the mark as the monitor prints it.
        const std::string typed = "echo \"" + end + "\"";
        std::string buf;
        bool found = type(line + "\n" + typed + "\n") &&
                     switchfw_child::read_until(out_, &buf, end + newline, seconds);
        size_t mark = buf.find(end + newline);
        if (found) {
            // The prompt after the mark, which a read may have cut.
            std::string tail = buf.substr(mark + end.size() + newline.size());
            found = switchfw_child::read_until(out_, &tail, prompt, seconds);
        }
        if (seen != nullptr) {
            buf.resize(std::min(mark, buf.size()));
            // The mark line's prompt stays: it ended the line's output.
            if (size_t echoed = buf.find(typed + newline); echoed != std::string::npos)
                buf.erase(echoed, typed.size() + newline.size());
            *seen = buf;
        }
        return found;
    }
    // A monitor line's output without prompts and log lines. It ends at a
    // mark of its own: a log line may bring a prompt of its own in between.
    std::string output(const std::string &line, int seconds = 60) {
        std::string seen, out;
        EXPECT_TRUE(answer(line, &seen, seconds)) << line;
        const std::string prompt = "DXP.0> ";
        size_t from = 0;
        while (from < seen.size()) {
            size_t to = seen.find('\n', from);
            if (to == std::string::npos) to = seen.size();
            std::string text = seen.substr(from, to - from);
            from = to + 1;
            while (text.starts_with(prompt))
                text = text.substr(prompt.size());
            if (!text.empty() && text.back() == '\r') text.pop_back();
            if (text.empty() || text.starts_with("[")) continue;
            out += text + "\n";
        }
        return out;
    }
    // Types bytes as they are (a Ctrl-D, a line without its newline).
    bool type(const std::string &bytes) {
        return write(in_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    int port_offset() const { return offset_; }
    pid_t pid() const { return pid_; }
    // The program's exit status (128 + the signal when a signal ended it)
    // once it ended within the time; -1 while it runs.
    int exit_status(int seconds) {
        for (int tenths = 0; tenths < seconds * 10; tenths++) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(100000);
        }
        return -1;
    }

  private:
    int offset_;
    bool pty_;
    int marks_ = 0;
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
};

// Waits for a self-test's one run (started in the background) to end; its
// TestList row. The run is counted once it has given its ports back; a busy
// host may take minutes for it, so the bound only ends a test that hangs.
inline std::string test_run_once(Switch &fw, int test) {
    std::string list;
    for (int tries = 0; tries < 1200; tries++) {
        list = fw.output("TestList " + std::to_string(test));
        if (list.find("|    1|    1|    1|    0|") != std::string::npos ||
            list.find("|    1|    1|    0|    1|") != std::string::npos)
            break;
        usleep(500000);
    }
    return list;
}

// Once the self-test running as a background job shows `progress` (a line
// it prints only while it passes, after what the caller did), stops the job
// and waits until the test has given its ports back; its TestList row, or
// "" when the job had ended (failed) before. A test stopped so runs for as
// long as the caller's checks take on any host, not for a guessed count.
inline std::string test_stop_background(Switch &fw, int test, const std::string &progress) {
    std::string seen;
    if (!fw.read_more(&seen, progress, 120)) return "";
    const std::string run = "TestRun " + std::to_string(test);
    std::istringstream in(fw.output("JOBS"));
    bool killed = false;
    for (std::string line; std::getline(in, line);) {
        int job = 0;
        if (std::sscanf(line.c_str(), "Job %d:", &job) == 1 && line.find(run) != std::string::npos)
            killed = fw.output("KILL " + std::to_string(job)).find("killed") != std::string::npos;
    }
    return killed ? test_run_once(fw, test) : "";
}

// True once `ps` shows the port with link, false after a minute. A frame
// the host sends before link scan has seen its link is dropped at the port,
// as a real port drops it.
inline bool link_up(Switch &sw, const std::string &port) {
    for (int i = 0; i < 300; i++) {
        if (sw.output("ps " + port).find(" up ") != std::string::npos) return true;
        usleep(200 * 1000);
    }
    return false;
}

// The address table's line for the MAC ("aa:bb:..."), or "".
inline std::string l2_entry_of(Switch &fw, const std::string &mac) {
    std::istringstream in(fw.output("l2 show"));
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("mac=" + mac + " ")) return line;
    return "";
}

// The value of one register instance as the monitor's getreg shows it
// ("NAME.port"); -1 when it shows none.
inline long long register_number(Switch &sw, const std::string &name) {
    std::string seen;
    EXPECT_TRUE(sw.run("getreg " + name, "DXP.0> ", &seen)) << seen;
    size_t at = seen.find(name + "[");
    if (at == std::string::npos || (at = seen.find("]=", at)) == std::string::npos) return -1;
    return std::strtoll(seen.c_str() + at + 2, nullptr, 0);
}

// The monitor's output of the command for each name, twenty to a line.
inline std::string each_of(Switch &fw, const std::string &command,
                           const std::vector<std::string> &names) {
    std::string all;
    constexpr size_t kPerLine = 20;
    for (size_t i = 0; i < names.size(); i += kPerLine) {
        std::string line;
        for (size_t n = i; n < i + kPerLine && n < names.size(); n++)
            line += (line.empty() ? "" : "; ") + command + " " + names[n];
        all += fw.output(line);
    }
    return all;
}

// Which of the chip's registers register_names gives.
enum class Registers {
    // Every one but the table access windows whose reading disturbs: reading
    // the search result of the L2 table takes a result away from a search
    // under way.
    Readable,
    // Those that hold settings: also without the counters, and without the
    // field processor's access windows, which hold the last row moved.
    Settings,
};

// The register names of the monitor's dump, as "getreg" takes them.
inline std::vector<std::string> register_names(Switch &fw, Registers which = Registers::Readable) {
    // A register's name without its port or index: "PKTS64OCTETS.fe0" and
    // "CFP_DATA(1)" are instances of what Listreg describes.
    auto base = [](const std::string &name) { return name.substr(0, name.find_first_of(".(")); };
    std::vector<std::string> names;
    std::istringstream in(fw.output("dump soc addr"));
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string addr, name;
        if (!(words >> addr >> name) || !addr.starts_with("0x")) continue;
        if (name.starts_with("ARLA_") || name.starts_with("GENMEM_") ||
            name.starts_with("OTHER_TABLE_"))
            continue;
        names.push_back(name);
    }
    if (which == Registers::Readable) return names;
    std::vector<std::string> bases;
    for (const std::string &name : names)
        if (bases.empty() || bases.back() != base(name)) bases.push_back(base(name));
    std::vector<std::string> skipped{"CFP_ACC",     "CFP_DATA",    "CFP_MASK",    "ACT_POL_DATA",
                                     "RATE_METER0", "RATE_METER1", "RATE_INBAND", "RATE_OUTBAND"};
    std::istringstream described(each_of(fw, "listreg", bases));
    std::string name;
    for (std::string text; std::getline(described, text);) {
        if (text.starts_with("Register: ")) name = base(text.substr(10, text.find(' ', 10) - 10));
        if (text.starts_with("Flags: ") && text.find("counter") != std::string::npos)
            skipped.push_back(name);
    }
    std::erase_if(names, [&](const std::string &name) {
        return std::find(skipped.begin(), skipped.end(), base(name)) != skipped.end();
    });
    return names;
}

// The raw values of the registers, one "NAME[0xADDR]=VALUE" line each.
inline std::string register_dump(Switch &fw, const std::vector<std::string> &names) {
    return each_of(fw, "getreg raw", names);
}

// Namespaces and the host's blackhole route of the test subnet, removed on
// every way out.
struct Netns {
    std::vector<std::string> spaces;
    std::string subnet;
    Netns() = default;
    Netns(const Netns &) = delete;
    Netns &operator=(const Netns &) = delete;
    ~Netns() {
        for (const std::string &space : spaces)
            sh("ip netns del " + space);
        if (!subnet.empty()) sh("ip route del blackhole " + subnet);
    }
    // The subnet's blackhole route and the namespaces; false at the first
    // failure (what was made is still removed). A fixed subnet (the factory
    // management address's) that another test run holds is waited for, up
    // to a minute: its route is the lock.
    bool make(const std::string &cidr, const std::vector<std::string> &names) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (sh("ip route add blackhole " + cidr + " 2>/dev/null") != 0) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        subnet = cidr;
        return add_spaces(names);
    }
    // As make, on the first /24 of `prefix` ("10.197.") from `seed` on whose
    // blackhole route is free: tests running at once may pick the same one.
    // Sets `net` to the subnet's first three octets with a dot.
    bool make_free(const std::string &prefix, int seed, const std::vector<std::string> &names,
                   std::string *net) {
        for (int k = 0; k < 250; k++) {
            const std::string candidate = prefix + std::to_string((seed + k) % 250) + ".";
            if (sh("ip route add blackhole " + candidate + "0/24 2>/dev/null") != 0) continue;
            subnet = candidate + "0/24";
            *net = candidate;
            return add_spaces(names);
        }
        return false;
    }
    bool add_spaces(const std::vector<std::string> &names) {
        for (const std::string &name : names) {
            if (sh("ip netns add " + name) != 0) return false;
            spaces.push_back(name);
        }
        return true;
    }
    // Moves a TAP into a namespace with the address (with its prefix length)
    // and brings it up.
    static bool attach(const std::string &tap, const std::string &space,
                       const std::string &address) {
        return sh("ip link set " + tap + " netns " + space) == 0 &&
               sh("ip -n " + space + " addr add " + address + " dev " + tap) == 0 &&
               sh("ip -n " + space + " link set " + tap + " up") == 0;
    }
};

// switchfw started inside the namespace, its management TAP there too (the
// child takes this thread's namespace); null when the namespace is missing.
inline std::unique_ptr<Switch> switch_in(const std::string &space, const std::filesystem::path &dir,
                                         const std::vector<std::string> &args) {
    int home = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    int inside = open(("/run/netns/" + space).c_str(), O_RDONLY | O_CLOEXEC);
    std::unique_ptr<Switch> sw;
    if (home >= 0 && inside >= 0 && setns(inside, CLONE_NEWNET) == 0) {
        sw = std::make_unique<Switch>(dir, args);
        setns(home, CLONE_NEWNET);
    }
    if (home >= 0) close(home);
    if (inside >= 0) close(inside);
    return sw;
}

// Moves the management address of the switch running in the namespace (its
// TAP "mgmt") to address/24 through the web page; false when it did not move.
inline bool set_management_address(Switch &sw, const std::string &space,
                                   const std::string &address) {
    const std::string in = "ip netns exec " + space + " ";
    const std::string web = "http://127.0.0.1:" + std::to_string(sw.port_offset() + 80);
    const std::string cookie =
        sh_out(in + "curl -s -i -d 'username=admin&password=qivor' " + web +
               "/login.cgi | sed -n 's/^Set-Cookie: WebManaged=\\([^;\\r]*\\).*/\\1/p' | "
               "tr -d '\\n'");
    if (cookie.empty()) return false;
    sh(in + "curl -s -m 10 -b WebManaged=" + cookie + " -d 'ip=" + address +
       "&netmask=255.255.255.0&gateway=0.0.0.0&ifname=eth1' " + web + "/setip.cgi");
    for (int tries = 0; tries < 50; tries++) {
        if (sh_out("ip -n " + space + " -4 addr show mgmt").find("inet " + address + "/24") !=
            std::string::npos)
            return true;
        usleep(100000);
    }
    return false;
}

// The MAC address of a TAP inside a namespace ("aa:bb:..."), "" when unknown.
inline std::string mac_of(const std::string &space, const std::string &tap) {
    std::string link = sh_out("ip -n " + space + " link show " + tap);
    auto at = link.find("link/ether ");
    return at == std::string::npos ? "" : link.substr(at + 11, 17);
}

// Writes a frame (hex) to the TAP inside its namespace, count times, gap_us
// microseconds apart.
inline bool send_frames(const std::string &space, const std::string &tap, const std::string &hex,
                        int count = 1, int gap_us = 0) {
    return sh("ip netns exec " + space +
              " python3 -c 'import socket,sys,time; s=socket.socket(socket.AF_PACKET,"
              "socket.SOCK_RAW); s.bind((sys.argv[1],0)); f=bytes.fromhex(sys.argv[2])\n"
              "for i in range(int(sys.argv[3])): s.send(f); time.sleep(int(sys.argv[4])/1e6)' " +
              tap + " " + hex + " " + std::to_string(count) + " " + std::to_string(gap_us)) == 0;
}

// The frames a TAP inside a namespace receives for some seconds, each as a
// line of hex, from a packet socket opened by the constructor: every frame,
// or those of one EtherType only (what else arrives then fills no buffer),
// until `enough` of them came, or until one that begins with `last` (hex)
// came: a test that sends that frame after the others waits for it rather
// than for a time a busy host may overrun. The socket's buffer
// (SO_RCVBUFFORCE, 8 MB) holds a burst the switch hands over while a busy
// host keeps the watch from reading: the default 208 KB holds fewer than 100
// full-size frames.
class FrameWatch {
  public:
    FrameWatch(const std::string &space, const std::string &tap, int seconds,
               uint16_t ethertype = 3, int enough = 0, const std::string &last = "") {
        std::string cmd = "ip netns exec " + space +
                          " python3 -c 'import socket,sys,time\n"
                          "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW,"
                          "socket.htons(int(sys.argv[3])))\n"
                          "s.setsockopt(socket.SOL_SOCKET,33,8<<20)\n"
                          "s.bind((sys.argv[1],0)); s.settimeout(0.2)\n"
                          "print(\"ready\",flush=True); end=time.time()+int(sys.argv[2]); n=0\n"
                          "while time.time()<end and (n<int(sys.argv[4]) or sys.argv[4]==\"0\"):\n"
                          "  try: h=s.recv(2000).hex()\n"
                          "  except OSError: continue\n"
                          "  print(h,flush=True); n+=1\n"
                          "  if h.startswith(sys.argv[5]): break\n' " +
                          tap + " " + std::to_string(seconds) + " " + std::to_string(ethertype) +
                          " " + std::to_string(enough) + " " + (last.empty() ? "-" : last);
        pipe_ = popen(cmd.c_str(), "r");
        char line[16];
        ready_ = pipe_ && fgets(line, sizeof line, pipe_) && std::string(line) == "ready\n";
    }
    ~FrameWatch() {
        if (pipe_) pclose(pipe_);
    }
    FrameWatch(const FrameWatch &) = delete;
    FrameWatch &operator=(const FrameWatch &) = delete;
    bool ready() const { return ready_; }
    // Waits for the watch to end.
    std::vector<std::string> frames() {
        std::vector<std::string> out;
        std::string line;
        char buf[512];
        while (pipe_ && fgets(buf, sizeof buf, pipe_)) {
            line += buf;
            if (line.back() != '\n') continue;
            line.pop_back();
            out.push_back(line);
            line.clear();
        }
        return out;
    }

  private:
    FILE *pipe_ = nullptr;
    bool ready_ = false;
};

// The MAC "aa:bb:..." and the IPv4 address "a.b.c.d" as the hex of their
// bytes, for the frames the tests write.
inline std::string hex_of_mac(const std::string &mac) {
    std::string hex;
    for (char ch : mac)
        if (ch != ':') hex += ch;
    return hex;
}

inline std::string hex_of_ip(const std::string &ip) {
    unsigned a, b, c, d;
    char buf[9];
    if (std::sscanf(ip.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return "";
    std::snprintf(buf, sizeof buf, "%02x%02x%02x%02x", a, b, c, d);
    return buf;
}

// The backup file's item lines by key ("vlan", "vlan_ver", ...).
inline std::map<std::string, std::string> backup_items(const std::string &text) {
    std::map<std::string, std::string> items;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
        items[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return items;
}

}  // namespace system_fixture
