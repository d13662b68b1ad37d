// Bytes sent on a TCP connection that its peer has not read yet, as the
// kernel's table of TCP sockets has them: a test waits on it for a server
// to have taken in what it sent.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <fstream>
#include <string>

// Unread bytes of what was sent on `fd`; -1 when the peer's socket is not found.
inline long tcp_unread_by_peer(int fd) {
    sockaddr_in own{}, peer{};
    socklen_t len = sizeof own;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&own), &len) != 0) return -1;
    len = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &len) != 0) return -1;
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line)) {
        unsigned local_port = 0, remote_port = 0;
        unsigned long tx = 0, rx = 0;
        if (std::sscanf(line.c_str(), " %*d: %*x:%x %*x:%x %*x %lx:%lx", &local_port, &remote_port,
                        &tx, &rx) == 4 &&
            local_port == ntohs(peer.sin_port) && remote_port == ntohs(own.sin_port))
            return static_cast<long>(rx);
    }
    return -1;
}
