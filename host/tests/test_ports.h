// Ports a test process holds for the program it starts, so that test
// programs running side by side never pick the same ones.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

namespace switchfw_child {

// True when a socket of the type can bind 127.0.0.1:port now.
inline bool port_free(int type, int port) {
    int fd = socket(AF_INET, type, 0);
    if (fd < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

// Claims the ports for this process until it ends, when every one is free
// now. Test programs and browser scenarios run in parallel and probe ports
// long before their firmware binds them; a probe alone let two of them pick
// the same port, so each port is also held by a lock file that the browser
// scenarios take too.
inline bool ports_claimed(const std::vector<std::pair<int, int>> &ports) {
    const char *dir = "/tmp/switchfw-test-ports";
    mkdir(dir, 0777);
    std::vector<int> held;
    for (auto [port, type] : ports) {
        int fd = open((std::string(dir) + "/" + std::to_string(port)).c_str(),
                      O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd >= 0) held.push_back(fd);
        if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 || !port_free(type, port)) {
            for (int h : held)
                close(h);
            return false;
        }
    }
    return true;  // the descriptors stay open: the locks end with the process
}

// A port offset whose telnet, web, SNMP and trap ports this process holds.
// Below the kernel's ephemeral ports (32768 up), which other tests' clients
// take.
inline int free_port_offset() {
    int candidate = static_cast<int>(getpid() % 5000) * 4;
    for (int tries = 0; tries < 5000; tries++, candidate = (candidate + 4) % 20000) {
        int offset = 10000 + candidate;
        if (ports_claimed({{offset + 23, SOCK_STREAM},
                           {offset + 80, SOCK_STREAM},
                           {offset + 161, SOCK_DGRAM},
                           {offset + 162, SOCK_DGRAM}}))
            return offset;
    }
    ADD_FAILURE() << "no free port offset";
    return 10000;
}

}  // namespace switchfw_child
