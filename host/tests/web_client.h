// A plain client of the firmware's servers for the program's tests: TCP
// connections to 127.0.0.1, HTTP/1.0 requests with the session cookie, and
// the web login.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "switchfw_child.h"

namespace web_client {

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

// One HTTP/1.0 request to the firmware's web server: the whole answer.
inline std::string http_request(int port, const std::string &method, const std::string &path,
                                const std::string &body, const std::string &cookie) {
    int fd = telnet_connect(port);
    if (fd < 0) return "";
    std::string head = method + " " + path + " HTTP/1.0\r\nCookie: WebManaged=" + cookie + "\r\n";
    if (method == "POST") head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    send_text(fd, head + "\r\n" + body);
    std::string answer;
    switchfw_child::read_until(fd, &answer, "\x01never", 5);
    close(fd);
    return answer;
}

inline std::string http_post(int port, const std::string &path, const std::string &body,
                             const std::string &cookie = "") {
    return http_request(port, "POST", path, body, cookie);
}

inline std::string http_get(int port, const std::string &path, const std::string &cookie = "") {
    return http_request(port, "GET", path, "", cookie);
}

// Logs in over the web: the session cookie, "" when refused.
inline std::string web_login(int port, const std::string &password) {
    std::string answer = http_post(port, "/login.cgi", "username=admin&password=" + password);
    const std::string tag = "Set-Cookie: WebManaged=";
    size_t at = answer.find(tag);
    if (at == std::string::npos) return "";
    at += tag.size();
    return answer.substr(at, answer.find_first_of(";\r", at) - at);
}

}  // namespace web_client
