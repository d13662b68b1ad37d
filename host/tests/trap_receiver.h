// snmptrapd on 127.0.0.1, logging every trap it receives to a file, for the
// tests of the SNMP agent's traps.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace trap_receiver {

class TrapReceiver {
  public:
    TrapReceiver(const std::filesystem::path &dir, int port) : log_(dir / "traps.log") {
        pid_ = fork();
        if (pid_ == 0) {
            std::string listen = "udp:127.0.0.1:" + std::to_string(port);
            std::string conf = (log_.parent_path() / "snmptrapd.conf").string();
            std::ofstream(conf) << "disableAuthorization yes\n";
            execlp("snmptrapd", "snmptrapd", "-f", "-n", "-On", "-m", "", "-C", "-c", conf.c_str(),
                   "-Lf", log_.c_str(), listen.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
    }
    ~TrapReceiver() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    TrapReceiver(const TrapReceiver &) = delete;
    TrapReceiver &operator=(const TrapReceiver &) = delete;

    // Polls the log for the text, up to the deadline.
    bool wait_for(const std::string &text, int seconds = 15) const {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (log().find(text) != std::string::npos) return true;
            poll(nullptr, 0, 100);
        }
        return false;
    }
    std::string log() const {
        std::ifstream f(log_);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

  private:
    std::filesystem::path log_;
    pid_t pid_ = -1;
};

}  // namespace trap_receiver
