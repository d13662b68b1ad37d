// A plain HTTP/1.0 client of the firmware's web server on 127.0.0.1, for the
// program's own tests: one request per connection, the whole answer back.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "switchfw_child.h"

namespace web_client {

using switchfw_child::send_text;
using switchfw_child::telnet_connect;

// The whole answer up to the server's close; closes the socket. The time
// only bounds a server that hangs.
inline std::string answer_of(int fd) {
    if (fd < 0) return "";
    std::string answer;
    switchfw_child::read_until(fd, &answer, "\x01never", 30);
    close(fd);
    return answer;
}

// The request's text: its head with the session cookie's value, and the body.
inline std::string request_text(const std::string &method, const std::string &path,
                                const std::string &body, const std::string &cookie) {
    std::string head = method + " " + path + " HTTP/1.0\r\nCookie: WebManaged=" + cookie + "\r\n";
    if (method == "POST") head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return head + "\r\n" + body;
}

// The upload of the file as the one part of a multipart form, as a browser
// sends it.
inline std::string upload_text(const std::string &path, const std::string &file,
                               const std::string &cookie) {
    const std::string boundary = "----switchfwtestboundary";
    const std::string body = "--" + boundary +
                             "\r\nContent-Disposition: form-data; name=\"file\"; "
                             "filename=\"f\"\r\nContent-Type: application/octet-stream\r\n\r\n" +
                             file + "\r\n--" + boundary + "--\r\n";
    return "POST " + path + " HTTP/1.0\r\nCookie: WebManaged=" + cookie +
           "\r\nContent-Type: multipart/form-data; boundary=" + boundary +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Sends the text on a new connection: its socket, -1 when none.
inline int send_on_new(int port, const std::string &text) {
    int fd = telnet_connect(port);
    if (fd >= 0) send_text(fd, text);
    return fd;
}

// One request with the session cookie's value: the whole answer.
inline std::string request(int port, const std::string &method, const std::string &path,
                           const std::string &body, const std::string &cookie) {
    return answer_of(send_on_new(port, request_text(method, path, body, cookie)));
}

inline std::string post(int port, const std::string &path, const std::string &body,
                        const std::string &cookie = "") {
    return request(port, "POST", path, body, cookie);
}

inline std::string get(int port, const std::string &path, const std::string &cookie = "") {
    return request(port, "GET", path, "", cookie);
}

// Uploads the file as the one part of a multipart form, as a browser does.
inline std::string upload(int port, const std::string &path, const std::string &file,
                          const std::string &cookie) {
    return answer_of(send_on_new(port, upload_text(path, file, cookie)));
}

// The answer's body, after the header block.
inline std::string body_of(const std::string &answer) {
    size_t at = answer.find("\r\n\r\n");
    return at == std::string::npos ? "" : answer.substr(at + 4);
}

// Logs in as the administrator: the session cookie's value, "" when refused.
inline std::string login(int port, const std::string &password) {
    std::string answer = post(port, "/login.cgi", "username=admin&password=" + password);
    const std::string tag = "Set-Cookie: WebManaged=";
    size_t at = answer.find(tag);
    if (at == std::string::npos) return "";
    at += tag.size();
    return answer.substr(at, answer.find_first_of(";\r", at) - at);
}

}  // namespace web_client
