// Starting switchfw as a child process with its console on pipes or a
// pseudo-terminal, and reading its output, for the program's own tests.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "test_ports.h"

namespace switchfw_child {

struct Child {
    pid_t pid = -1;
    int in = -1;   // the console's input
    int out = -1;  // its output and error output
};

// In a child that leads the session of its controlling terminal (standard
// input): puts it behind a job in the terminal's foreground, as "switchfw &"
// typed at an interactive shell. A process of that job joins the child's
// group, as the shell links a job it starts: a group without a parent in
// the session outside it is orphaned, and the driver refuses it what it
// would stop it for. Both processes end with the session.
inline bool behind_a_foreground_job() {
    int joined[2];
    if (pipe(joined) != 0) return false;
    const pid_t leader = getpid();
    const pid_t job = fork();
    if (job == 0) {
        setpgid(0, 0);
        if (fork() == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (setpgid(0, leader) != 0 || write(joined[1], "j", 1) != 1) _exit(1);
        }
        for (int fd : {0, 1, 2, joined[0], joined[1]})
            close(fd);
        for (;;)
            pause();
    }
    char c = 0;
    const bool behind =
        job > 0 && setpgid(job, job) == 0 && tcsetpgrp(0, job) == 0 && read(joined[0], &c, 1) == 1;
    close(joined[0]);
    close(joined[1]);
    return behind;
}

// Runs switchfw with the arguments in dir; env_name=env_value is set in the
// child when given. A pty that is the child's controlling terminal turns
// its interrupt and quit keys into signals, as a user's terminal does; in
// the background the terminal is another job's. A launcher (a shell and its
// words) starts switchfw with the arguments after them, as a user's command
// line would.
inline Child start(const std::filesystem::path &dir, const std::vector<std::string> &args,
                   bool pty = false, const char *env_name = nullptr,
                   const char *env_value = nullptr, bool controlling = false,
                   bool background = false, const std::vector<std::string> &launcher = {}) {
    int in[2], out[2];
    if (pty) {
        int master = posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(master, 0);
        EXPECT_EQ(grantpt(master), 0);
        EXPECT_EQ(unlockpt(master), 0);
        int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        EXPECT_GE(slave, 0);
        in[0] = slave;
        in[1] = master;
        out[0] = dup(master);
        out[1] = dup(slave);
    } else {
        EXPECT_EQ(pipe(in), 0);
        EXPECT_EQ(pipe(out), 0);
    }
    // Built before the fork: the child only calls what is safe there.
    std::vector<char *> argv{const_cast<char *>("switchfw")};
    if (!launcher.empty()) {
        argv.clear();
        for (const std::string &word : launcher)
            argv.push_back(const_cast<char *>(word.c_str()));
        argv.push_back(const_cast<char *>(SWITCHFW_PATH));
    }
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    Child child;
    child.pid = fork();
    if (child.pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(out[1], 2);
        if (pty && controlling && (setsid() < 0 || ioctl(0, TIOCSCTTY, 0) != 0)) _exit(127);
        close(in[1]);
        close(out[0]);
        if (pty && controlling && background && !behind_a_foreground_job()) _exit(127);
        if (chdir(dir.c_str()) != 0) _exit(127);
        if (env_name != nullptr) setenv(env_name, env_value, 1);
        execv(launcher.empty() ? SWITCHFW_PATH : argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    child.in = in[1];
    child.out = out[0];
    return child;
}

// Reads from fd until the text has been seen or the time is up.
inline bool read_until(int fd, std::string *seen, const std::string &text, int seconds = 10) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    // Only the new bytes and the text's length before them are searched
    // again: a long output read in small pieces costs no square time.
    size_t from = 0;
    while (seen->find(text, from) == std::string::npos) {
        if (std::chrono::steady_clock::now() > end) return false;
        from = seen->size() >= text.size() ? seen->size() - text.size() + 1 : 0;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buf[4096];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) return seen->find(text, from) != std::string::npos;
        seen->append(buf, static_cast<size_t>(n));
    }
    return true;
}

inline int telnet_connect(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

inline void send_text(int fd, const std::string &s) {
    send(fd, s.data(), s.size(), MSG_NOSIGNAL);
}

// Logs in over telnet: the connection at the "ecos> " prompt, or -1.
inline int telnet_login(int port, const std::string &password) {
    int fd = telnet_connect(port);
    std::string session;
    if (fd >= 0 && read_until(fd, &session, "login: ")) {
        send_text(fd, "admin\r\n" + password + "\r\n");
        if (read_until(fd, &session, "ecos> ", 30)) return fd;
    }
    if (fd >= 0) close(fd);
    return -1;
}

}  // namespace switchfw_child
