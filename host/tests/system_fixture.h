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

#include "switchfw_child.h"

namespace system_fixture {

inline int sh(const std::string &cmd) {
    int rc = std::system((cmd + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

inline std::string sh_out(const std::string &cmd) {
    std::string out;
    if (FILE *p = popen(cmd.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    return out;
}

// True when this process may make namespaces and TAP devices.
inline bool can_make_namespaces() {
    return geteuid() == 0 && access("/dev/net/tun", R_OK | W_OK) == 0 && sh("ip -V") == 0 &&
           sh("ping -V") == 0;
}

// switchfw with its monitor on a pipe (or a pseudo-terminal). The arguments
// follow the fixed ones (direct bus, a free port offset, a private flash and
// file system).
class Switch {
  public:
    Switch(const std::filesystem::path &dir, const std::vector<std::string> &args, bool pty = false)
        : offset_(switchfw_child::free_port_offset()) {
        std::vector<std::string> all{
            "--bus",   "direct",    "--port-offset", std::to_string(offset_),
            "--flash", "flash.bin", "--fs",          "fs"};
        all.insert(all.end(), args.begin(), args.end());
        switchfw_child::Child child = switchfw_child::start(dir, all, pty);
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
    // Types bytes as they are (a Ctrl-D, a line without its newline).
    bool type(const std::string &bytes) {
        return write(in_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
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
};

}  // namespace system_fixture
