// Shared by the system tests: shell helpers, switchfw with its monitor on a
// pipe, and network namespaces that are removed on every way out. The tests
// need root (CAP_NET_ADMIN), /dev/net/tun, ip and ping, and skip without them.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
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

// True when this process may make namespaces and TAP devices.
inline bool can_make_namespaces() {
    return geteuid() == 0 && access("/dev/net/tun", R_OK | W_OK) == 0 && sh("ip -V") == 0 &&
           sh("ping -V") == 0;
}

// switchfw with its monitor on a pipe. The arguments follow the fixed ones
// (direct bus, a free port offset, a private flash and file system).
class Switch {
  public:
    Switch(const std::filesystem::path &dir, const std::vector<std::string> &args)
        : offset_(switchfw_child::free_port_offset()) {
        std::vector<std::string> all{
            "--bus",   "direct",    "--port-offset", std::to_string(offset_),
            "--flash", "flash.bin", "--fs",          "fs"};
        all.insert(all.end(), args.begin(), args.end());
        switchfw_child::Child child = switchfw_child::start(dir, all);
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

    // Sends a monitor line (if any) and collects output up to the text.
    bool run(const std::string &line, const std::string &text, std::string *seen = nullptr,
             int seconds = 20) {
        std::string buf;
        if (!line.empty() && write(in_, (line + "\n").data(), line.size() + 1) < 0) return false;
        bool found = switchfw_child::read_until(out_, &buf, text, seconds);
        if (seen) *seen = buf;
        return found;
    }
    int port_offset() const { return offset_; }
    pid_t pid() const { return pid_; }

  private:
    int offset_;
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
};

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
    // failure (what was made is still removed).
    bool make(const std::string &cidr, const std::vector<std::string> &names) {
        if (sh("ip route add blackhole " + cidr) != 0) return false;
        subnet = cidr;
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

}  // namespace system_fixture
