// Request events seen by page handlers and the root hook: form arguments,
// headers and cookies, the response head, and multipart uploads.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "sal.h"
#include "settings.h"
#include "web_test_support.h"

using namespace std::string_literals;

// ---- handlers of the test pages (named in tests/pages/files.txt)

int test_args_handler(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    int count = 0;
    const httpd_pair *pairs = httpd_req_pairs(req, &count);
    test_log("count " + std::to_string(ev->b.num) + " " + std::to_string(count));
    for (int i = 0; i < ev->b.num; i++) {
        test_log(std::string(ev->a.pairs[i].name) + "=" + ev->a.pairs[i].value);
    }
    if (pairs != ev->a.pairs) test_log("accessor differs");
    return 0;
}

int test_header_handler(httpd_event *ev, httpd_request *) {
    if (ev->event == HTTPD_EV_COOKIE) test_log("cookie "s + ev->a.text);
    if (ev->event == HTTPD_EV_HEADER) {
        test_log(ev->a.text != nullptr ? "header "s + ev->a.text + "=" + ev->b.text : "end"s);
    }
    return 0;
}

int test_head_handler(httpd_event *ev, httpd_request *) {
    switch (ev->event) {
        case HTTPD_EV_STATUS:
            ev->a.text = "299 Custom";
            return 0;
        case HTTPD_EV_SET_COOKIE:
            ev->a.text = "v1";
            return 0;
        case HTTPD_EV_ATTACHMENT:
            ev->a.text = "";
            return 0;
        case HTTPD_EV_EXTRA_HEADER:
            ev->a.text = "X-Extra: a\r\nInjected: b";
            return 0;
        default:
            return 0;
    }
}

std::string uploaded;

int test_upload_handler(httpd_event *ev, httpd_request *req) {
    switch (ev->event) {
        case HTTPD_EV_OPEN:
            uploaded.clear();
            test_log("open");
            if (httpd_req_socket(req) < 0) test_log("no socket");
            return 0;
        case HTTPD_EV_UPLOAD:
            if (ev->a.data == nullptr) {
                test_log((ev->b.num < 0 ? "start " : "end ") + std::to_string(ev->b.num) + " " +
                         std::to_string(ev->c.num));
            } else {
                if (ev->b.num != static_cast<intptr_t>(uploaded.size())) test_log("gap");
                uploaded.append(static_cast<const char *>(ev->a.data),
                                static_cast<size_t>(ev->c.num));
            }
            return 0;
        case HTTPD_EV_CLOSE:
            test_log(httpd_req_authorised(req) != 0 ? "close authorised" : "close");
            return 0;
        default:
            return 0;
    }
}

namespace {

using httpd_events = web_server_fixture;

std::vector<std::string> log_after(const std::string &request) {
    test_exchange(request);
    return test_log_take();
}

std::string post(const std::string &path, const std::string &body) {
    return "POST " + path + " HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

TEST_F(httpd_events, QueryPairsAreUrlDecoded) {
    auto log =
        log_after("GET /args.cgi/b.gif?name=x%41y+z%2b&b=%4&c=%&d=%zz&e=%4a HTTP/1.0\r\n\r\n");
    std::vector<std::string> want = {"count 5 5", "name=xAy z+", "b=%4", "c=%", "d=%zz", "e=J"};
    EXPECT_EQ(log, want);
}

TEST_F(httpd_events, PostedPairsStopAtAPairWithoutValueAndCrEndsAValue) {
    auto log = log_after(post("/args.cgi/b.gif", "a=1&b=2\r\nnoise&c=3&flag&d=4"));
    std::vector<std::string> want = {"count 3 3", "a=1", "b=2", "c=3"};
    EXPECT_EQ(log, want);
}

// A form posted while the start-up load runs waits for it, then is handled.
TEST_F(httpd_events, FormPostedDuringStartUpWaitsForTheSettingsLoad) {
    settings_startup_begin();
    std::atomic<bool> opened{false};
    std::thread loader([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        opened = true;
        settings_startup_done_set();
    });
    auto log = log_after(post("/args.cgi/b.gif", "a=1"));
    const bool handled_after_load = opened.load();
    loader.join();
    std::vector<std::string> want = {"count 1 1", "a=1"};
    EXPECT_EQ(log, want);
    EXPECT_TRUE(handled_after_load);
}

TEST_F(httpd_events, AtMost256PairsAreKept) {
    std::string body;
    for (int i = 0; i < 300; i++)
        body += "k" + std::to_string(i) + "=v&";
    auto log = log_after(post("/args.cgi/b.gif", body));
    ASSERT_EQ(log.size(), 257u);
    EXPECT_EQ(log[0], "count 256 256");
    EXPECT_EQ(log[256], "k255=v");
}

TEST_F(httpd_events, LongBodyIsCutTo4095Bytes) {
    std::string body = "a=" + std::string(6000, 'x');
    auto log = log_after(post("/args.cgi/b.gif", body));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1], "a=" + std::string(4093, 'x'));
}

TEST_F(httpd_events, BodyInSeveralReadsIsCollected) {
    int fd = test_connect();
    ASSERT_GE(fd, 0);
    int before = test_opened_count();
    test_send(fd, "POST /args.cgi/b.gif HTTP/1.0\r\nContent-Length: 7\r\n\r\na=1");
    // Once the request is open the first read is done: the rest is a second one.
    ASSERT_TRUE(test_wait_until([&] { return test_opened_count() > before; }, 5000));
    test_send(fd, "&b=2");
    EXPECT_TRUE(test_parse_response(test_read_all(fd)).answered);
    close(fd);
    std::vector<std::string> want = {"count 2 2", "a=1", "b=2"};
    EXPECT_EQ(test_log_take(), want);
}

TEST_F(httpd_events, HeadersAndSessionCookieReachTheHandler) {
    auto log = log_after(
        "GET /hdr.cgi/b.gif HTTP/1.0\r\nCookie: WebManaged=abc\r\nX-A:  1\r\n"
        "Cookie: other=1;WebManaged=abc; x=2\r\nCookie: WebManagedX=1; a=WebManaged=2\r\n\r\n");
    // The session cookie is picked out among the others of the header.
    std::vector<std::string> want = {"cookie abc",
                                     "header Cookie=WebManaged=abc",
                                     "header X-A=1",
                                     "cookie abc",
                                     "header Cookie=other=1;WebManaged=abc; x=2",
                                     "header Cookie=WebManagedX=1; a=WebManaged=2",
                                     "end"};
    EXPECT_EQ(log, want);
}

// Each answer is given once per request; the test resets them.
static bool cookie_given = false;
static bool extra_given = false;

int answering_hook(httpd_hook_event *ev, httpd_request *) {
    if (ev->event == HTTPD_EV_SET_COOKIE && !cookie_given) {
        cookie_given = true;
        ev->a.text = "hookval";
        return 1;
    }
    if (ev->event == HTTPD_EV_EXTRA_HEADER && !extra_given) {
        extra_given = true;
        ev->a.text = "X-Hook: 1";
        return 1;
    }
    return 0;
}

TEST_F(httpd_events, HeadLinesComeInOrderAndCarryNoLineBreaksOfTheirOwn) {
    cookie_given = extra_given = false;
    test_hook_set(answering_hook, HTTPD_F_EV_SET_COOKIE | HTTPD_F_EV_EXTRA_HEADER);
    test_response r = test_parse_response(test_exchange("GET /head.cgi/b.gif HTTP/1.0\r\n\r\n"));
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(r.status, "299 Custom");
    std::vector<std::string> want = {"Connection: close",
                                     "Content-Length: " + std::to_string(r.body.size()),
                                     "Cache-Control: no-cache",
                                     "Pragma: no-cache",
                                     "Expires: -1",
                                     "Set-Cookie: WebManaged=hookval; path=/; SameSite=Strict",
                                     "X-Hook: 1",
                                     "Set-Cookie: WebManaged=v1; path=/; SameSite=Strict",
                                     "Content-Disposition: attachment; filename=\"head.cgi\"",
                                     "X-Extra: aInjected: b"};
    EXPECT_EQ(r.headers, want);
}

int status_hook(httpd_hook_event *ev, httpd_request *) {
    if (ev->event != HTTPD_EV_STATUS) return 0;
    ev->a.text = "302 Found";
    return 1;
}

TEST_F(httpd_events, StatusFromTheRootHookWins) {
    test_hook_set(status_hook, HTTPD_F_EV_STATUS);
    test_response r = test_parse_response(test_exchange("GET /head.cgi/b.gif HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(r.status, "302 Found");
}

// Keeps some state for the request, then turns it to an internal page.
int internal_row_hook(httpd_hook_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_HOOK_OPEN) return 0;
    static const char key = 0;
    if (httpd_req_state_get(req, &key, 64) == nullptr) test_log("no state");
    for (const httpd_file *row = web_file_table; row->name != nullptr; row++) {
        if (std::string(row->name) == "errormsg.htm") ev->row = row;
    }
    return 1;
}

TEST_F(httpd_events, OpenHookTurningToAnInternalRowClosesAndFreesItsState) {
    test_hook_set(internal_row_hook, 0);
    EXPECT_EQ(test_exchange("GET /login.htm HTTP/1.0\r\n\r\n"), "");
    EXPECT_TRUE(test_log_take().empty());
    EXPECT_EQ(sal_alloc_bytes_in_use("httpd_req_state"), 0u);
}

std::string multipart(const std::string &file, std::string *boundary_out = nullptr) {
    std::string boundary = "----testboundary42";
    if (boundary_out != nullptr) *boundary_out = boundary;
    return "--" + boundary +
           "\r\nContent-Disposition: form-data; name=\"f\"; filename=\"image.bin\"\r\n"
           "Content-Type: application/octet-stream\r\n\r\n" +
           file + "\r\n--" + boundary + "--\r\n";
}

std::string upload_request(const std::string &body) {
    return "POST /upload.cgi/b.gif HTTP/1.0\r\nContent-Type: multipart/form-data\r\n"
           "Content-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST_F(httpd_events, MultipartUploadReachesTheHandlerInOrder) {
    std::string file;
    for (int i = 0; i < 20000; i++)
        file += static_cast<char>((i * 7) % 256);
    std::string request = upload_request(multipart(file));
    int fd = test_connect();
    ASSERT_GE(fd, 0);
    // Far more than one 4096-byte read: the file arrives over several.
    test_send(fd, request);
    test_response r = test_parse_response(test_read_all(fd));
    close(fd);
    EXPECT_TRUE(r.answered);
    std::vector<std::string> want = {"open", "start -1 20000", "end 20000 0", "close"};
    EXPECT_EQ(test_log_take(), want);
    EXPECT_EQ(uploaded, file);
}

TEST_F(httpd_events, MalformedUploadsAreClosed) {
    // No blank line after the part head in the first chunk.
    std::string no_head =
        "--b\r\nContent-Disposition: form-data; name=\"f\"\r\n" + std::string(50, 'x');
    EXPECT_EQ(test_exchange(upload_request(no_head)), "");
    // Less than nothing left for the file once head and tail are taken away.
    EXPECT_EQ(test_exchange(upload_request("--b\r\n\r\n")), "");
    std::vector<std::string> want = {"open", "close", "open", "close"};
    EXPECT_EQ(test_log_take(), want);
    // An empty file is announced and ends at once; its handler answers it.
    test_response r = test_parse_response(test_exchange(upload_request(multipart(""))));
    EXPECT_TRUE(r.answered);
    want = {"open", "start -1 0", "end 0 0", "close"};
    EXPECT_EQ(test_log_take(), want);
    EXPECT_EQ(sal_alloc_bytes_in_use("httpd_req_state"), 0u);
}

}  // namespace
