// Login, session cookie and request authorisation through the running
// server: what a browser (or curl) sees.
#include <stdlib.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>

#include "flash.h"
#include "logger.h"
#include "net_util.h"
#include "nvram.h"
#include "settings.h"
#include "sal_host.h"
#include "storage_host.h"
#include "web_pages.h"
#include "web_test_support.h"
#include "webauth.h"
#include "webauth_internal.h"

// Handler of the test page "err.cgi": an error page with markup in its texts.
int test_error_handler(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    return web_error_page(ev, req, "<T>", "a&b \"q\" <script>", nullptr, "history.go(-1)");
}

namespace {

// A flash file with the NVRAM store for the whole test process, so that the
// password handler can save its settings item.
class store_for_process {
  public:
    store_for_process() {
        std::string pattern = (std::filesystem::temp_directory_path() / "webauth_XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
        flash_host_open((dir_ / "flash.bin").c_str(), 1);
        flashInit();
        nvram_init();
        settings_init();
        settings_item_handler_set("password", webauth_item_password);
    }
    ~store_for_process() {
        nvram_host_close();
        flash_host_close();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

  private:
    std::filesystem::path dir_;
};

void environment_once() {
    static std::once_flag once;
    std::call_once(once, [] {
        static store_for_process store;
        logger_init();
        net_util_init();
        net_util_if_start("eth0", NET_IF_MODE_STATIC, "127.0.0.1", "255.0.0.0", "");
    });
}

std::string url_encode(const std::string &text) {
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) != 0) {
            out += static_cast<char>(c);
        } else {
            char esc[4];
            std::snprintf(esc, sizeof esc, "%%%02X", c);
            out += esc;
        }
    }
    return out;
}

test_response auth_get(const std::string &path, const std::string &cookie_header = "") {
    std::string request = "GET " + path + " HTTP/1.0\r\n";
    if (!cookie_header.empty()) request += "Cookie: " + cookie_header + "\r\n";
    return test_parse_response(test_exchange(request + "\r\n"));
}

test_response auth_post(const std::string &path, const std::string &body,
                        const std::string &cookie_header = "") {
    std::string request = "POST " + path + " HTTP/1.0\r\n";
    if (!cookie_header.empty()) request += "Cookie: " + cookie_header + "\r\n";
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    return test_parse_response(test_exchange(request));
}

test_response login(const std::string &user, const std::string &pass) {
    return auth_post("/login.cgi",
                     "username=" + url_encode(user) + "&password=" + url_encode(pass));
}

test_response change_password(const std::string &cookie, const std::string &old_pass,
                              const std::string &new_pass, const std::string &confirm) {
    return auth_post("/password.cgi",
                     "old_password=" + url_encode(old_pass) + "&new_password=" +
                         url_encode(new_pass) + "&confirm_password=" + url_encode(confirm),
                     "WebManaged=" + cookie);
}

// The value of the response's session cookie, "" when it sets none.
std::string cookie_of(const test_response &r) {
    const std::string prefix = "Set-Cookie: WebManaged=";
    for (const std::string &h : r.headers) {
        if (h.compare(0, prefix.size(), prefix) == 0) {
            return h.substr(prefix.size(), h.find(';') - prefix.size());
        }
    }
    return "";
}

int ram_log_count(const std::string &text) {
    logger *ram = logger_ram_get();
    if (ram == nullptr) return 0;
    uint32_t first = 0;
    int count = ram->ops->count(&first, ram);
    int found = 0;
    for (int i = 0; i < count; i++) {
        logger_record rec{first + static_cast<uint32_t>(i), 0, 0, 0};
        char line[LOGGER_TEXT_MAX];
        if (ram->ops->read(&rec, line, sizeof line, ram) > 0 &&
            std::string(line).find(text) != std::string::npos) {
            found++;
        }
    }
    return found;
}

bool ram_log_has(const std::string &text) {
    return ram_log_count(text) > 0;
}

std::string current_password() {
    char buf[WEBAUTH_FIELD_SIZE] = "";
    webauth_password_get(buf, sizeof buf);
    return buf;
}

// The server runs off port 80, so its redirects name their port.
std::string location(const char *page) {
    return "Location: http://127.0.0.1:" + std::to_string(test_server_port()) + "/" + page;
}

class webauth_http : public web_server_fixture {
  protected:
    void SetUp() override {
        web_server_fixture::SetUp();
        environment_once();
        ASSERT_EQ(webauth_username_set("admin"), 1);
        ASSERT_EQ(webauth_password_set("qivor"), 1);
        test_hook_set(webauth_hook, WEBAUTH_HOOK_MASK);
        webauth_internal::clients_forget();
    }
    std::string valid_cookie() { return "WebManaged=" + std::string(webauth_cookie_get()); }
};

TEST_F(webauth_http, PageWithoutCookieRedirectsToTheLoginPage) {
    test_response r = auth_get("/system.htm");
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(r.status, "302 Found");
    EXPECT_TRUE(r.has_header(location("login.htm")));
    EXPECT_NE(r.body.find("url=http://127.0.0.1/login.htm"), std::string::npos) << r.body;
    EXPECT_NE(r.body.find("href=\"http://127.0.0.1/login.htm\""), std::string::npos) << r.body;
    EXPECT_FALSE(r.has_header_named("Set-Cookie"));
}

TEST_F(webauth_http, RedirectNamesTheAddressTheBrowserUsed) {
    // A management address the browser cannot reach on this host.
    ASSERT_EQ(net_util_if_start("eth1", NET_IF_MODE_STATIC, "192.168.1.1", "255.255.255.0", ""), 0);
    test_response r = auth_get("/system.htm");
    net_util_if_stop("eth1");
    ASSERT_TRUE(r.answered);
    EXPECT_TRUE(r.has_header(location("login.htm")));
}

TEST_F(webauth_http, LoginFreeFilesNeedNoCookie) {
    for (const char *path : {"/", "/login.htm", "/form.css", "/plus.gif", "/tree.js", "/left.htm",
                             "/left2.htm", "/top.htm", "/logout.cgi"}) {
        test_response r = auth_get(path);
        EXPECT_TRUE(r.answered) << path;
        EXPECT_NE(r.status, "302 Found") << path;
    }
}

TEST_F(webauth_http, CorrectLoginSetsTheCookieAndRedirectsToTheSystemPage) {
    test_response r = login("admin", "qivor");
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(r.status, "302 Found");
    EXPECT_TRUE(r.has_header("Set-Cookie: WebManaged=" + std::string(webauth_cookie_get()) +
                             "; path=/; SameSite=Strict"));
    EXPECT_TRUE(r.has_header(location("system.htm")));
    EXPECT_TRUE(ram_log_has("User admin logined from 127.0.0.1"));

    test_response page = auth_get("/system.htm", "WebManaged=" + cookie_of(r));
    EXPECT_TRUE(page.status.empty() || page.status == "200 OK") << page.status;
    EXPECT_FALSE(page.has_header_named("Location"));
}

TEST_F(webauth_http, WrongLoginShowsTheErrorPageAndSetsNoCookie) {
    for (auto [user, pass] : {std::pair{"admin", "wrong"}, std::pair{"root", "qivor"},
                              std::pair{"admin", "qivorqivorqivorqivor"}}) {
        test_response r = login(user, pass);
        ASSERT_TRUE(r.answered);
        EXPECT_NE(r.status, "302 Found");
        EXPECT_NE(r.body.find("Incorrect username or password!"), std::string::npos) << r.body;
        EXPECT_NE(r.body.find("Login"), std::string::npos);
        EXPECT_FALSE(r.has_header_named("Set-Cookie")) << user << "/" << pass;
        EXPECT_FALSE(r.has_header_named("Location"));
    }
    EXPECT_TRUE(ram_log_has("Incorrect login username(root) or password from 127.0.0.1"));
}

TEST_F(webauth_http, LoginWithAnotherFieldCountShowsTheLoginPage) {
    for (const char *body : {"username=admin", "username=admin&password=qivor&extra=1", ""}) {
        test_response r = auth_post("/login.cgi", body);
        ASSERT_TRUE(r.answered) << body;
        EXPECT_NE(r.body.find("action=\"login.cgi\""), std::string::npos) << body;
        EXPECT_FALSE(r.has_header_named("Set-Cookie")) << body;
        EXPECT_NE(r.status, "302 Found");
    }
}

TEST_F(webauth_http, CookieMustMatchInFullAndExactly) {
    std::string cookie = webauth_cookie_get();
    std::string lower = cookie;
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(auth_get("/system.htm", "WebManaged=" + cookie).status, "200 OK");
    // Other cookies of the address around ours do not matter.
    EXPECT_EQ(auth_get("/system.htm", "a=1; WebManaged=" + cookie + "; b=2").status, "200 OK");
    EXPECT_EQ(auth_get("/system.htm", "WebManaged=" + cookie + "x").status, "302 Found");
    EXPECT_EQ(auth_get("/system.htm", "webmanaged=" + cookie).status, "302 Found");
    EXPECT_EQ(auth_get("/system.htm", "WebManaged=" + cookie.substr(1)).status, "302 Found");
    EXPECT_EQ(auth_get("/system.htm", "WebManaged=Invalid").status, "302 Found");
    if (lower != cookie) {
        EXPECT_EQ(auth_get("/system.htm", "WebManaged=" + lower).status, "302 Found");
    }
}

TEST_F(webauth_http, UnauthorisedHandlerSeesNoArguments) {
    test_response r = auth_post("/password.cgi", "o=qivor&n=hacked&c=hacked", "WebManaged=0");
    EXPECT_EQ(r.status, "302 Found");
    EXPECT_EQ(current_password(), "qivor");
    r = auth_get("/password.cgi?o=qivor&n=hacked&c=hacked");
    EXPECT_EQ(r.status, "302 Found");
    EXPECT_EQ(current_password(), "qivor");
}

TEST_F(webauth_http, PasswordChangeRefusesBadForms) {
    std::string cookie = webauth_cookie_get();
    struct {
        const char *old_pass, *new_pass, *confirm, *message;
    } cases[] = {
        {"wrong", "abc", "abc", "Incorrect old password!"},
        {"qivor", "abc", "abd", "New password unmatched!"},
        {"qivor", "1234567890123456", "1234567890123456", "Password cannot exceed 15 characters!"},
    };
    for (const auto &c : cases) {
        test_response r = change_password(cookie, c.old_pass, c.new_pass, c.confirm);
        ASSERT_TRUE(r.answered);
        EXPECT_NE(r.body.find("Change Password"), std::string::npos);
        EXPECT_NE(r.body.find(c.message), std::string::npos) << r.body;
        EXPECT_EQ(current_password(), "qivor");
    }
    // Any other field count changes nothing.
    auth_post("/password.cgi", "a=qivor&b=x", "WebManaged=" + cookie);
    EXPECT_EQ(current_password(), "qivor");
}

TEST_F(webauth_http, PasswordChangeInvalidatesTheOldCookie) {
    std::string old_cookie = cookie_of(login("admin", "qivor"));
    ASSERT_FALSE(old_cookie.empty());
    test_response r = change_password(old_cookie, "qivor", "123456789012345", "123456789012345");
    ASSERT_TRUE(r.answered);
    EXPECT_NE(r.body.find("action=\"login.cgi\""), std::string::npos);
    EXPECT_EQ(current_password(), "123456789012345");
    EXPECT_TRUE(ram_log_has("Password changed"));
    ASSERT_NE(nvram_get("password"), nullptr);

    EXPECT_EQ(auth_get("/system.htm", "WebManaged=" + old_cookie).status, "302 Found");
    EXPECT_EQ(cookie_of(login("admin", "qivor")), "");
    std::string new_cookie = cookie_of(login("admin", "123456789012345"));
    EXPECT_FALSE(new_cookie.empty());
    EXPECT_NE(new_cookie, old_cookie);
    EXPECT_EQ(auth_get("/system.htm", "WebManaged=" + new_cookie).status, "200 OK");
}

TEST_F(webauth_http, EmptyPasswordIsAccepted) {
    test_response r = change_password(webauth_cookie_get(), "qivor", "", "");
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(current_password(), "");
    std::string cookie = cookie_of(login("admin", ""));
    EXPECT_FALSE(cookie.empty());
    EXPECT_EQ(auth_get("/system.htm", "WebManaged=" + cookie).status, "200 OK");
}

TEST_F(webauth_http, LogoutOverwritesTheBrowserCookie) {
    test_response r = auth_get("/logout.cgi", valid_cookie());
    ASSERT_TRUE(r.answered);
    EXPECT_TRUE(r.has_header("Set-Cookie: WebManaged=Invalid; path=/; SameSite=Strict"));
    EXPECT_NE(r.body.find("action=\"login.cgi\""), std::string::npos);
    EXPECT_TRUE(ram_log_has("User logouted from 127.0.0.1"));
    // The page takes no login: a host's flood of it writes a few lines.
    for (int i = 0; i < 20; i++)
        auth_get("/logout.cgi", "");
    EXPECT_LE(ram_log_count("User logouted from"), 5);
}

TEST_F(webauth_http, TypedUserNameReachesTheLogWithoutLineBreaks) {
    test_response r = login("ev\r\nil<b>" + std::string(100, 'x'), "nope");
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(r.body.find("il<b>"), std::string::npos);  // never echoed
    EXPECT_TRUE(ram_log_has("Incorrect login username(evil<b>xxx"));
    EXPECT_FALSE(ram_log_has(std::string(40, 'x')));  // the logged name is cut
}

TEST_F(webauth_http, ErrorPageEscapesItsTexts) {
    test_response r = auth_get("/err.cgi/b.gif", valid_cookie());
    ASSERT_TRUE(r.answered);
    EXPECT_NE(r.body.find("&lt;T&gt;"), std::string::npos) << r.body;
    EXPECT_NE(r.body.find("a&amp;b &quot;q&quot; &lt;script&gt;"), std::string::npos);
    EXPECT_EQ(r.body.find("<script>"), std::string::npos);
    EXPECT_NE(r.body.find("value=\"\""), std::string::npos);  // no button label given
    EXPECT_NE(r.body.find("onclick=\"history.go(-1)\""), std::string::npos);
    EXPECT_NE(r.body.find("ERROR"), std::string::npos);
    EXPECT_TRUE(r.has_header("Cache-Control: no-cache"));
}

TEST_F(webauth_http, RepeatedFailuresShutTheAddressOutForThirtySeconds) {
    test_clock_manual();
    const std::string warning = "5 failed logins from 127.0.0.1";
    int warned = ram_log_count(warning);
    std::string cookie = valid_cookie();
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(cookie_of(login("admin", "guess" + std::to_string(i))), "");
    EXPECT_EQ(auth_get("/system.htm", "WebManaged=Invalid").status, "302 Found");  // no guess
    EXPECT_EQ(auth_get("/system.htm", "WebManaged=00000001").status, "302 Found");
    EXPECT_EQ(ram_log_count(warning), warned);
    EXPECT_EQ(auth_get("/system.htm", "WebManaged=00000002").status, "302 Found");
    EXPECT_EQ(ram_log_count(warning), warned + 1);
    // The right account and cookie no longer help from this address...
    test_response r = login("admin", "qivor");
    EXPECT_EQ(cookie_of(r), "");
    EXPECT_NE(r.body.find("action=\"login.cgi\""), std::string::npos);
    EXPECT_EQ(auth_get("/system.htm", cookie).status, "302 Found");
    EXPECT_EQ(ram_log_count(warning), warned + 1);  // said once
    // ...while another address keeps its session.
    int other = test_connect_from("127.0.0.2");
    ASSERT_GE(other, 0);
    test_send(other, "GET /system.htm HTTP/1.0\r\nCookie: " + cookie + "\r\n\r\n");
    EXPECT_EQ(test_parse_response(test_read_all(other)).status, "200 OK");
    close(other);
    sal_clock_advance(30ull * 1000000);
    EXPECT_EQ(auth_get("/system.htm", cookie).status, "200 OK");
}

// A login from another loopback address: the answer's cookie, "" when none.
std::string login_from(int host, const std::string &pass) {
    int fd = test_connect_from(("127.0.0." + std::to_string(host)).c_str());
    if (fd < 0) return "<no connection>";
    std::string body = "username=admin&password=" + url_encode(pass);
    test_send(fd, "POST /login.cgi HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) +
                      "\r\n\r\n" + body);
    std::string cookie = cookie_of(test_parse_response(test_read_all(fd)));
    close(fd);
    return cookie;
}

TEST_F(webauth_http, NewAddressesGetNoMoreGuessesThanATrackedOneOnceTheTableIsFull) {
    test_clock_manual();
    // 31 addresses shut out, and one with a single failure.
    for (int host = 2; host <= 32; host++) {
        for (int i = 0; i < 5; i++)
            EXPECT_EQ(login_from(host, "guess"), "") << host;
    }
    EXPECT_EQ(login_from(33, "guess"), "");
    // Newcomers take over the one open row with its failures: four more
    // guesses in all, and the fifth shuts out the table.
    for (int host = 34; host <= 37; host++)
        EXPECT_EQ(login_from(host, "guess"), "") << host;
    // Every row is shut out: unknown addresses get the login page even with
    // the right password, the tracked ones too.
    for (int host = 38; host <= 41; host++)
        EXPECT_EQ(login_from(host, "qivor"), "") << host;
    EXPECT_EQ(login_from(2, "qivor"), "");
    EXPECT_EQ(login_from(33, "qivor"), "");
    // When the rows open again, so does the login; the failures the log
    // folded were counted by address, each named (the first of each new
    // address written at once), and the shut-out lines past the budget all
    // such lines share were counted there.
    sal_clock_advance(30ull * 1000000);
    const std::string counted =
        "Incorrect login username(admin) or password from 127.0.0.3 (150 more like this folded: "
        "3 from 127.0.0.3, 4 from 127.0.0.4, 4 from 127.0.0.5, 4 from 127.0.0.6, 135 from other "
        "addresses, 127.0.0.7 to 127.0.0.37)";
    const std::string shut_out =
        "12 lines others caused not logged: over the budget all such lines share (WEB): 1 from "
        "127.0.0.22, 1 from 127.0.0.23, 1 from 127.0.0.24, 1 from 127.0.0.25, 8 from other "
        "addresses, 127.0.0.26 to 127.0.0.37";
    for (int tries = 0; tries < 2000 && !(ram_log_has(counted) && ram_log_has(shut_out)); tries++)
        usleep(1000);
    EXPECT_TRUE(ram_log_has(counted));
    EXPECT_TRUE(ram_log_has(shut_out));
    EXPECT_TRUE(ram_log_has("5 failed logins from 127.0.0.21"));
    EXPECT_EQ(login_from(41, "qivor"), webauth_cookie_get());
    EXPECT_EQ(login_from(2, "qivor"), webauth_cookie_get());
}

TEST_F(webauth_http, PasswordChangeThatCannotBeSavedKeepsTheOldPassword) {
    int changed = ram_log_count("Password changed");
    flash_host_fault_after(0, flash_fault::stop);
    test_response r = change_password(webauth_cookie_get(), "qivor", "newpass", "newpass");
    flash_host_fault_clear();
    ASSERT_TRUE(r.answered);
    EXPECT_NE(r.body.find("Password could not be saved!"), std::string::npos) << r.body;
    EXPECT_EQ(current_password(), "qivor");
    EXPECT_EQ(ram_log_count("Password changed"), changed);
    // The store agrees: loading the account gives the old password back.
    ASSERT_EQ(webauth_password_set("other"), 1);
    settings_load_group(0xF0000000u);
    EXPECT_EQ(current_password(), "qivor");
}

TEST_F(webauth_http, HandlersSeeWhetherTheRequestIsAuthorised) {
    auth_get("/upload.cgi/b.gif");
    auth_get("/upload.cgi/b.gif", valid_cookie());
    std::vector<std::string> want = {"open", "close", "open", "close authorised"};
    EXPECT_EQ(test_log_take(), want);
}

}  // namespace
