// Test support: the server started once per test process on a free port, a
// small blocking HTTP client, and a root hook that routes request paths to
// the test pages.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "httpd.h"

extern const httpd_file web_test_file_table[];

// Starts the server on a free port (once per process) and returns the port.
int test_server_port();

int test_connect();  // -1 when the server does not answer
bool test_send(int fd, const std::string &data);
// Everything the server sends until it closes the connection.
std::string test_read_all(int fd);
std::string test_exchange(const std::string &request);
// True when the server closes the connection within the time.
bool test_closed_within(int fd, int millis);
// True when the server has closed the connection already (no waiting).
bool test_closed_now(int fd);
// Polls until the condition holds; false when the deadline passes first.
bool test_wait_until(const std::function<bool()> &done, int millis);
// Waits until the server has read every byte sent on `fd` (the kernel's
// table of TCP sockets shows none left); false when the deadline passes first.
bool test_read_by_server(int fd, int millis);
// Requests opened by the server so far (its request line was read).
int test_opened_count();
// Connects from another loopback address (127.0.0.2); -1 on failure.
int test_connect_from(const char *source);
// Switches the process to the manual clock for good: going back to the real
// clock after advancing would leave sleeping threads with far-off deadlines.
// The wall clock restarts at a whole second.
void test_clock_manual();

struct test_response {
    bool answered = false;
    std::string status;                // "200 OK"
    std::vector<std::string> headers;  // "Name: value", in order
    std::string body;
    bool has_header(const std::string &line) const;
    bool has_header_named(const std::string &name) const;
};
test_response test_parse_response(const std::string &raw);
// Whether the answer's body holds the text.
inline bool has(const test_response &r, const std::string &text) {
    return r.body.find(text) != std::string::npos;
}
// The message of an error page ("errormsg.htm"), "" when the answer is none.
std::string test_error_message(const test_response &r);

// Event log written by test handlers and hooks on "httpd".
void test_log(const std::string &entry);
std::vector<std::string> test_log_take();

// Extra root hook for a test; the routing hook calls it for every event
// after routing. Installed with the mask bits given (0x200000 is added).
void test_hook_set(httpd_hook_fn extra, uint32_t mask);
// Content served for request paths under "/raw/".
void test_raw_content_set(const httpd_record *content);

// Resets the hook and the log before each test.
class web_server_fixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};
