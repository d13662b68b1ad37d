// Session cookie, request authorisation and the login, logout and password
// handlers.
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "log_gate.h"
#include "logger.h"
#include "sal.h"
#include "sal_host.h"
#include "settings.h"
#include "web_pages.h"
#include "webauth.h"
#include "webauth_internal.h"

namespace {

// Our constants of the cookie value; a change logs every browser out.
constexpr uint32_t kCookieAdd = 0x5A17;
constexpr uint32_t kCookieXor = 0xC3E9;
constexpr size_t kCookieSize = 10;  // "%04X%04X" of a 16- and a 17-bit value
// Typed user names are logged with at most this many characters.
constexpr size_t kLoggedNameSize = 34;

constexpr const char *kLoginPage = "/login.htm";
constexpr const char *kLoggedOut = "Invalid";  // cookie value after a logout
constexpr const char *kRedirectPage = "/redirect.htm";

uint32_t text_sum(const char *text) {
    uint32_t sum = 0;
    for (const char *p = text; *p != '\0'; p++) {
        auto c = static_cast<unsigned char>(*p);
        sum += c * 256u + (c ^ 0xFFu);
    }
    return sum;
}

// ---- the secret of this start
// Drawn at random once per start, so that a cookie cannot be computed
// offline from a guessed password and none outlives a reboot.
struct boot_secret {
    uint64_t k0, k1;
};

boot_secret secret_draw() {
    boot_secret s{};
    if (getrandom(&s, sizeof s, 0) == static_cast<ssize_t>(sizeof s)) return s;
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ssize_t n = read(fd, &s, sizeof s);
        close(fd);
        if (n == static_cast<ssize_t>(sizeof s)) return s;
    }
    // No entropy source: still differs between starts.
    s.k0 ^= sal_time_usecs() * 0x9E3779B97F4A7C15ull;
    s.k1 ^= static_cast<uint64_t>(sal_time()) << 32 | sal_rand();
    return s;
}

const boot_secret &secret() {
    static const boot_secret s = secret_draw();
    return s;
}

uint64_t rotl(uint64_t x, int b) {
    return (x << b) | (x >> (64 - b));
}

void sip_round(uint64_t v[4]) {
    v[0] += v[1];
    v[1] = rotl(v[1], 13) ^ v[0];
    v[0] = rotl(v[0], 32);
    v[2] += v[3];
    v[3] = rotl(v[3], 16) ^ v[2];
    v[0] += v[3];
    v[3] = rotl(v[3], 21) ^ v[0];
    v[2] += v[1];
    v[1] = rotl(v[1], 17) ^ v[2];
    v[2] = rotl(v[2], 32);
}

// SipHash-2-4 of the bytes under the secret of this start.
uint64_t keyed_hash(const uint8_t *data, size_t len) {
    const boot_secret &k = secret();
    uint64_t v[4] = {k.k0 ^ 0x736f6d6570736575ull, k.k1 ^ 0x646f72616e646f6dull,
                     k.k0 ^ 0x6c7967656e657261ull, k.k1 ^ 0x7465646279746573ull};
    uint64_t last = static_cast<uint64_t>(len) << 56;
    size_t whole = len - len % 8;
    for (size_t i = 0; i <= whole; i += 8) {
        uint64_t m = 0;
        size_t n = i < whole ? 8 : len % 8;
        for (size_t j = 0; j < n; j++)
            m |= static_cast<uint64_t>(data[i + j]) << (8 * j);
        if (i == whole) m |= last;
        v[3] ^= m;
        sip_round(v);
        sip_round(v);
        v[0] ^= m;
    }
    v[2] ^= 0xFF;
    for (int r = 0; r < 4; r++)
        sip_round(v);
    return v[0] ^ v[1] ^ v[2] ^ v[3];
}

void cookie_compute(char out[kCookieSize]) {
    char user[WEBAUTH_FIELD_SIZE] = "";
    char pass[WEBAUTH_FIELD_SIZE] = "";
    webauth_username_get(user, sizeof user);
    webauth_password_get(pass, sizeof pass);
    // The whole account, so that anagram passwords differ.
    uint8_t account[2 * WEBAUTH_FIELD_SIZE] = {};
    std::memcpy(account, user, sizeof user);
    std::memcpy(account + WEBAUTH_FIELD_SIZE, pass, sizeof pass);
    uint64_t mix = keyed_hash(account, sizeof account);
    uint32_t s1 = (text_sum(user) % 65535) ^ static_cast<uint32_t>(mix & 0xFFFF);
    uint32_t s2 = (((text_sum(pass) % 65535) + kCookieAdd) ^ kCookieXor) ^
                  static_cast<uint32_t>((mix >> 16) & 0xFFFF);
    std::snprintf(out, kCookieSize, "%04X%04X", s1, s2);
}

// ---- failed logins per client address
// After kFailLimit failed logins or wrong cookies within kFailWindow
// seconds, the address gets the login page without any check for
// kBlockSeconds.
constexpr int kFailLimit = 5;
constexpr uint32_t kFailWindow = 60;
constexpr uint32_t kBlockSeconds = 30;
constexpr int kTrackedAddresses = 32;

// Lines that any host reaching the server can cause, without the password:
// each address's guesses are counted, but a host with many addresses is not
// held by that. The page lines are for debugging, where a browser's burst of
// files should still show.
log_gate failed_login_log{.burst = kFailLimit};
log_gate blocked_log{.burst = kTrackedAddresses};
constexpr uint32_t kPageLinesPerBurst = 50;
log_gate page_log{.burst = kPageLinesPerBurst}, unauthorised_log{.burst = kPageLinesPerBurst};
log_gate logout_log{.burst = kFailLimit};  // the logout page takes no login

struct client_record {
    uint32_t addr;
    uint32_t window_start;
    int failures;
    uint32_t blocked_until;  // 0: not blocked
};

struct client_table {
    client_record rows[kTrackedAddresses];
    int used;
};

client_table clients{};

sal_mutex_t clients_lock() {
    static sal_mutex_t lock = sal_mutex_create("webauth_clients");
    return lock;
}

class clients_guard {
  public:
    clients_guard() { sal_mutex_take(clients_lock(), sal_mutex_FOREVER); }
    ~clients_guard() { sal_mutex_give(clients_lock()); }
    clients_guard(const clients_guard &) = delete;
    clients_guard &operator=(const clients_guard &) = delete;
};

uint32_t client_of(const httpd_request *req) {
    uint8_t ip[4];
    web_client_address(req, ip);
    return static_cast<uint32_t>(ip[0]) << 24 | ip[1] << 16 | ip[2] << 8 | ip[3];
}

bool is_blocked(const client_record &c, uint32_t now) {
    return c.blocked_until != 0 && static_cast<int32_t>(now - c.blocked_until) < 0;
}

client_record *client_find(uint32_t addr) {
    for (int i = 0; i < clients.used; i++) {
        if (clients.rows[i].addr == addr) return &clients.rows[i];
    }
    return nullptr;
}

// True when the table has no row an unknown address could take.
bool every_row_blocked(uint32_t now) {
    if (clients.used < kTrackedAddresses) return false;
    for (const client_record &r : clients.rows) {
        if (!is_blocked(r, now)) return false;
    }
    return true;
}

bool client_blocked(const httpd_request *req) {
    clients_guard guard;
    if (clients.used == 0) return false;  // nothing to look up: no address read
    uint32_t now = sal_time();
    client_record *c = client_find(client_of(req));
    // An address the full table cannot count gets no guesses at all.
    return c != nullptr ? is_blocked(*c, now) : every_row_blocked(now);
}

void client_failed(const httpd_request *req) {
    uint32_t addr = client_of(req);
    uint32_t now = sal_time();
    clients_guard guard;
    client_record *c = client_find(addr);
    if (c == nullptr) {
        if (clients.used < kTrackedAddresses) {
            c = &clients.rows[clients.used++];
            *c = {addr, now, 0, 0};
        } else {
            // The row whose window began first, not one that is blocked. Its
            // failures of a window still open stay with the row, so that a
            // stream of new addresses gets no more guesses than one.
            for (client_record &r : clients.rows) {
                if (!is_blocked(r, now) && (c == nullptr || r.window_start < c->window_start))
                    c = &r;
            }
            if (c == nullptr) return;
            c->addr = addr;
        }
    }
    if (is_blocked(*c, now)) return;  // refused already, logged once
    if (c->blocked_until != 0 || now - c->window_start >= kFailWindow) *c = {addr, now, 0, 0};
    if (++c->failures < kFailLimit) return;
    c->blocked_until = now + kBlockSeconds;
    log_gate_printf(&blocked_log, log_source_ipv4(addr), LOG_LEVEL_WARNING, LOG_MOD_WEB,
                    "%d failed logins from %u.%u.%u.%u; its logins are refused for %u s",
                    kFailLimit, addr >> 24, (addr >> 16) & 0xFF, (addr >> 8) & 0xFF, addr & 0xFF,
                    kBlockSeconds);
}

// Compares in full, in a time that does not depend on where they differ.
bool same_text(const char *a, const char *b) {
    size_t la = std::strlen(a);
    size_t lb = std::strlen(b);
    unsigned diff = la != lb ? 1u : 0u;
    for (size_t i = 0; i < la; i++)
        diff |= static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[i % (lb + 1)]);
    return diff == 0;
}

bool matches_account(const char *user, const char *pass) {
    char want_user[WEBAUTH_FIELD_SIZE] = "";
    char want_pass[WEBAUTH_FIELD_SIZE] = "";
    if (webauth_username_get(want_user, sizeof want_user) != 1 ||
        webauth_password_get(want_pass, sizeof want_pass) != 1) {
        return false;
    }
    bool user_ok = same_text(user, want_user);
    bool pass_ok = same_text(pass, want_pass);
    return user_ok && pass_ok;
}

// The redirect target of a request, printed by the redirect page's tag and
// used in the Location line.
const void *target_key() {
    return reinterpret_cast<const void *>(&sspvar_redirect_tag_target);
}

void target_set(httpd_request *req, const char *page) {
    size_t size = std::strlen(page) + 1;
    auto *block = static_cast<char *>(httpd_req_state_get(req, target_key(), size));
    if (block != nullptr) std::memcpy(block, page, size);
}

const char *target_get(const httpd_request *req) {
    const char *target = static_cast<const char *>(httpd_req_state_find(req, target_key()));
    return target != nullptr ? target : "";
}

// The hook's out lines live until the server has copied them.
char location_line[96];

int hook_end_of_headers(httpd_hook_event *ev, httpd_request *req) {
    if ((ev->flags & HTTPD_F_LOGIN_FREE) != 0) return 0;
    const httpd_record *redirect = httpd_file_content_get(kRedirectPage, nullptr);
    if (redirect != nullptr) ev->content = redirect;
    target_set(req, "login.htm");
    ev->flags = (ev->flags | HTTPD_F_REDIRECT) & ~(HTTPD_F_EV_ARGS | HTTPD_F_MULTIPART);
    return 1;
}

int hook_status(httpd_hook_event *ev, httpd_request *req) {
    const char *page = ev->row != nullptr ? ev->row->name : "";
    if (logger_level_kept(LOG_LEVEL_DEBUG) != 0) {
        uint8_t ip[4];
        web_client_address(req, ip);
        log_gate_printf(&page_log, log_source_ipv4(ip), LOG_LEVEL_DEBUG, LOG_MOD_HTTPD,
                        "Page %s accessed from %u.%u.%u.%u", page, ip[0], ip[1], ip[2], ip[3]);
    }
    if ((ev->flags & HTTPD_F_REDIRECT) != 0) {
        ev->a.text = "302 Found";
        if ((ev->flags & HTTPD_F_LOGIN_FREE) == 0) {
            log_gate_printf(&unauthorised_log, log_source_ipv4(client_of(req)), LOG_LEVEL_DEBUG,
                            LOG_MOD_WEB, "Page %s request not authorized; Redirected to login.",
                            page);
        }
    }
    return 1;
}

// The address the browser reached us on. On the board that is the management
// interface's address; on the host the management interfaces are only a
// record, so the connection's own local address is the one that works.
void redirect_address(httpd_request *req, char *out, size_t size) {
    if (!web_local_address(req, out, size)) web_mgmt_address(out, size);
}

int hook_extra_header(httpd_hook_event *ev, httpd_request *req) {
    if ((ev->flags & HTTPD_F_REDIRECT) == 0) return 0;
    ev->flags &= ~HTTPD_F_REDIRECT;
    char address[32];
    redirect_address(req, address, sizeof address);
    // A server moved off port 80 on the host redirects to its own port.
    char port[8] = "";
    if (sal_host_port(80) != 80) std::snprintf(port, sizeof port, ":%d", sal_host_port(80));
    std::snprintf(location_line, sizeof location_line, "Location: http://%s%s/%s", address, port,
                  target_get(req));
    ev->a.text = location_line;
    return 1;
}

// A null gate logs the line as it is.
void log_with_client(log_gate *gate, const char *fmt, const char *name, httpd_request *req) {
    uint8_t ip[4];
    web_client_address(req, ip);
    char clean[kLoggedNameSize];
    web_log_text(name, clean, sizeof clean);
    char line[LOGGER_TEXT_MAX];
    std::snprintf(line, sizeof line, fmt, clean, ip[0], ip[1], ip[2], ip[3]);
    log_gate_puts(gate, log_source_ipv4(ip), LOG_LEVEL_INFO, LOG_MOD_WEB, line);
}

int login_arguments(httpd_event *ev, httpd_request *req) {
    if (ev->b.num != 2 || client_blocked(req)) {
        ev->flags &= ~HTTPD_F_EV_SET_COOKIE;
        web_content_switch(ev, kLoginPage);
        return 1;
    }
    const char *user = ev->a.pairs[0].value;
    const char *pass = ev->a.pairs[1].value;
    if (!matches_account(user, pass)) {
        client_failed(req);
        log_with_client(&failed_login_log,
                        "Incorrect login username(%s) or password from %u.%u.%u.%u", user, req);
        web_error_page(ev, req, "Login", "Incorrect username or password!", WEB_RETRY_LABEL,
                       WEB_RETRY_ACTION);
        ev->flags &= ~HTTPD_F_EV_SET_COOKIE;
        return 1;
    }
    web_content_switch(ev, kRedirectPage);
    target_set(req, "system.htm");
    ev->flags |= HTTPD_F_REDIRECT;
    log_with_client(nullptr, "User %s logined from %u.%u.%u.%u", user, req);
    return 1;
}

// A refused change, as often as the client posts it: gated, naming the
// address; a store that fails is the switch's own error.
int password_error(httpd_event *ev, httpd_request *req, const char *message, bool refused = true) {
    if (refused)
        web_refused_printf(req, LOG_MOD_WEB, "Change Password : %s", message);
    else
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_WEB, "Change Password : %s", message);
    return web_error_page(ev, req, "Change Password", message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

}  // namespace

void webauth_internal::clients_forget() {
    clients_guard guard;
    clients = {};
}

const char *webauth_cookie_get(void) {
    // Only "httpd" asks in the firmware; a cache per thread keeps other
    // callers (tests, a console) from racing it.
    thread_local char cache[kCookieSize] = "";
    thread_local uint32_t cached_generation = 0;
    uint32_t generation = webauth_internal::account_generation_get();
    if (cache[0] == '\0' || cached_generation != generation) {
        cookie_compute(cache);
        cached_generation = generation;
    }
    return cache;
}

int webauth_cookie_check(const char *value) {
    return value != nullptr && same_text(value, webauth_cookie_get()) ? 0 : -1;
}

int webauth_hook(httpd_hook_event *ev, httpd_request *req) {
    switch (ev->event) {
        case HTTPD_EV_COOKIE:
            if ((ev->flags & HTTPD_F_LOGIN_FREE) != 0 || client_blocked(req)) return 0;
            if (webauth_cookie_check(ev->a.text) != 0) {
                // The value logout leaves in the browser is no guess.
                if (std::strcmp(ev->a.text, kLoggedOut) != 0) client_failed(req);
                return 0;
            }
            ev->flags |= HTTPD_F_LOGIN_FREE;
            return 1;
        case HTTPD_EV_HEADER:
            return ev->a.text == nullptr ? hook_end_of_headers(ev, req) : 0;
        case HTTPD_EV_STATUS:
            return hook_status(ev, req);
        case HTTPD_EV_EXTRA_HEADER:
            return hook_extra_header(ev, req);
        default:
            return 0;
    }
}

int login_cgi(httpd_event *ev, httpd_request *req) {
    switch (ev->event) {
        case HTTPD_EV_ARGS:
            return login_arguments(ev, req);
        case HTTPD_EV_SET_COOKIE:
            ev->a.text = webauth_cookie_get();
            return 0;
        default:
            return 0;
    }
}

int logout_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_SET_COOKIE) return 0;
    uint8_t ip[4];
    web_client_address(req, ip);
    log_gate_printf(&logout_log, log_source_ipv4(ip), LOG_LEVEL_INFO, LOG_MOD_WEB,
                    "User logouted from %u.%u.%u.%u", ip[0], ip[1], ip[2], ip[3]);
    ev->a.text = kLoggedOut;
    return 0;
}

int password_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS || ev->b.num != 3) return 0;
    const char *old_pass = ev->a.pairs[0].value;
    const char *new_pass = ev->a.pairs[1].value;
    const char *confirm = ev->a.pairs[2].value;
    char current[WEBAUTH_FIELD_SIZE] = "";
    if (webauth_password_get(current, sizeof current) != 1 || !same_text(old_pass, current)) {
        return password_error(ev, req, "Incorrect old password!");
    }
    if (std::strcmp(new_pass, confirm) != 0) {
        return password_error(ev, req, "New password unmatched!");
    }
    if (strnlen(new_pass, WEBAUTH_FIELD_SIZE) > WEBAUTH_TEXT_MAX ||
        webauth_password_set(new_pass) != 1) {
        char message[64];
        std::snprintf(message, sizeof message, "Password cannot exceed %d characters!",
                      WEBAUTH_TEXT_MAX);
        return password_error(ev, req, message);
    }
    if (settings_save_item("password") != 1) {
        // The old password would return after a reboot: keep it now, and
        // put it back in the store so that a later save does not commit
        // the new one.
        webauth_password_set(current);
        settings_save_item("password");
        return password_error(ev, req, "Password could not be saved!", false);
    }
    webauth_cookie_get();
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_WEB, "Password changed");
    return 0;
}

void sspvar_redirect_tag_target(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    const char *target = static_cast<const char *>(httpd_req_state_find(req, target_key()));
    if (target != nullptr) web_tag_text(out, target);
}
