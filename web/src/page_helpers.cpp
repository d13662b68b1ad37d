// Helpers of the page handlers and tags: the error page, escaping, the
// shared tag text buffer and the addresses pages print or log.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>

#include "board.h"
#include "dxp.h"
#include "log_gate.h"
#include "port_reserve.h"
#include "sal.h"
#include "web_pages.h"

namespace {

char tag_text[WEB_TAG_TEXT_SIZE];

// Stores the escaped text in a state block owned by the tag that prints it.
void error_text_store(httpd_request *req, const void *key, const char *text) {
    httpd_req_state_free(req, key);
    if (text == nullptr) return;
    size_t size = web_html_escape(text, nullptr, 0) + 1;
    auto *block = static_cast<char *>(httpd_req_state_get(req, key, size));
    if (block != nullptr) web_html_escape(text, block, size);
}

void error_text_tag(const void *key, httpd_tag_out *out, httpd_request *req) {
    const char *text = static_cast<const char *>(httpd_req_state_find(req, key));
    if (text != nullptr) web_tag_text(out, text);
}

const char *entity_of(char c) {
    switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return "&quot;";
        case '\'':
            return "&#39;";
        default:
            return nullptr;
    }
}

// The web server's thread builds one page piece at a time.
thread_local std::optional<DxpUnitLock> api_batch;
constexpr int kApiBatchUnit = 0;

}  // namespace

int web_content_switch(httpd_event *ev, const char *path) {
    const httpd_record *content = httpd_file_content_get(path, nullptr);
    if (content == nullptr) return 0;
    ev->content = content;
    return 1;
}

int web_error_page(httpd_event *ev, httpd_request *req, const char *title, const char *message,
                   const char *button, const char *action) {
    error_text_store(req, reinterpret_cast<const void *>(&sspvar_errormsg_tag_title), title);
    error_text_store(req, reinterpret_cast<const void *>(&sspvar_errormsg_tag_message), message);
    error_text_store(req, reinterpret_cast<const void *>(&sspvar_errormsg_tag_button), button);
    error_text_store(req, reinterpret_cast<const void *>(&sspvar_errormsg_tag_action), action);
    web_content_switch(ev, "/errormsg.htm");
    ev->flags = (ev->flags | HTTPD_F_NO_CACHE) & ~HTTPD_F_LONG_CACHE;
    // Its texts are the request's own: it goes out even while a restart
    // holds the settings.
    httpd_req_answer_unlocked(req);
    return 1;
}

void sspvar_errormsg_tag_title(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    error_text_tag(reinterpret_cast<const void *>(&sspvar_errormsg_tag_title), out, req);
}

void sspvar_errormsg_tag_message(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    error_text_tag(reinterpret_cast<const void *>(&sspvar_errormsg_tag_message), out, req);
}

void sspvar_errormsg_tag_button(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    error_text_tag(reinterpret_cast<const void *>(&sspvar_errormsg_tag_button), out, req);
}

void sspvar_errormsg_tag_action(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    error_text_tag(reinterpret_cast<const void *>(&sspvar_errormsg_tag_action), out, req);
}

size_t web_html_escape(const char *text, char *out, size_t size) {
    size_t len = 0;
    bool counting = out == nullptr;
    for (const char *p = text != nullptr ? text : ""; *p != '\0'; p++) {
        const char *entity = entity_of(*p);
        size_t n = entity != nullptr ? std::strlen(entity) : 1;
        if (!counting) {
            if (len + n >= size) break;
            if (entity != nullptr) {
                std::memcpy(out + len, entity, n);
            } else {
                out[len] = *p;
            }
        }
        len += n;
    }
    if (!counting && size > 0) out[len] = '\0';
    return len;
}

const char *web_tag_printf(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(tag_text, sizeof tag_text, fmt, ap);
    va_end(ap);
    return tag_text;
}

const char *web_port_held_text(int uport) {
    int lport = 0;
    if (ulpm_to_lport(uport, &lport) != 0 || !port_reserved_lport(lport)) return nullptr;
    return web_tag_printf("Port %d: %s", uport, port_reserve_held_text_lport(lport));
}

const char *web_any_port_held_text(void) {
    for (int uport = 1; uport <= web_port_count(); uport++) {
        if (const char *text = web_port_held_text(uport)) return text;
    }
    return nullptr;
}

void web_tag_text(httpd_tag_out *out, const char *text) {
    out->kind = HTTPD_TAG_TEXT;
    out->text = text;
}

void web_tag_int(httpd_tag_out *out, int number) {
    out->kind = HTTPD_TAG_INT;
    out->number = number;
}

namespace {

// The connection's own (local) or its client's (peer) IPv4 address; false
// when it cannot be read.
bool socket_address(const httpd_request *req, bool local, in_addr *out) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    int sock = httpd_req_socket(req);
    if (sock < 0) return false;
    auto *sa = reinterpret_cast<sockaddr *>(&addr);
    int got = local ? getsockname(sock, sa, &len) : getpeername(sock, sa, &len);
    if (got != 0 || addr.sin_family != AF_INET) return false;
    *out = addr.sin_addr;
    return true;
}

}  // namespace

void web_client_address(const httpd_request *req, uint8_t addr[4]) {
    std::memset(addr, 0, 4);
    in_addr peer{};
    if (!socket_address(req, false, &peer)) return;
    uint32_t host = ntohl(peer.s_addr);
    for (int i = 0; i < 4; i++)
        addr[i] = static_cast<uint8_t>(host >> (24 - 8 * i));
}

bool web_local_address(const httpd_request *req, char *buf, size_t size) {
    in_addr local{};
    if (!socket_address(req, true, &local) || local.s_addr == htonl(INADDR_ANY)) return false;
    return inet_ntop(AF_INET, &local, buf, static_cast<socklen_t>(size)) != nullptr;
}

void web_refused_puts(const httpd_request *req, int module, const char *text) {
    uint8_t ip[4];
    web_client_address(req, ip);
    log_refused_puts_from(log_source_ipv4(ip), module, text);
}

void web_refused_printf(const httpd_request *req, int module, const char *fmt, ...) {
    char line[LOGGER_TEXT_MAX];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    web_refused_puts(req, module, line);
}

void web_api_batch_hold(void) {
    if (!api_batch) api_batch.emplace(kApiBatchUnit);
}

void web_api_batch_release(void) {
    api_batch.reset();
}

bool web_form_ports(const char *text, const char *allowed) {
    if (text == nullptr) return false;
    const size_t length = std::strlen(text);
    return length == static_cast<size_t>(web_port_count()) && std::strspn(text, allowed) == length;
}

bool web_form_number(const char *text, long long min, long long max, long long *out) {
    if (text == nullptr) return false;
    const bool negative = *text == '-';
    const char *digit = negative ? text + 1 : text;
    if (*digit == '\0') return false;
    // Digit by digit: anything past the largest bound is refused before it
    // could overflow.
    const unsigned long long limit = negative
                                         ? 0ull - static_cast<unsigned long long>(min < 0 ? min : 0)
                                         : static_cast<unsigned long long>(max > 0 ? max : 0);
    unsigned long long value = 0;
    for (; *digit != '\0'; digit++) {
        if (*digit < '0' || *digit > '9') return false;
        const auto d = static_cast<unsigned long long>(*digit - '0');
        if (value > (limit - d) / 10 || limit < d) return false;
        value = value * 10 + d;
    }
    const long long v = !negative    ? static_cast<long long>(value)
                        : value == 0 ? 0
                                     : -static_cast<long long>(value - 1) - 1;
    if (v < min || v > max) return false;
    *out = v;
    return true;
}

const char *web_form_fields(const httpd_event *ev, const char *const names[], int count,
                            const char *values[]) {
    for (int i = 0; i < count; i++)
        values[i] = nullptr;
    for (int p = 0; p < ev->b.num; p++) {
        const httpd_pair &pair = ev->a.pairs[p];
        int i = 0;
        while (i < count && std::strcmp(pair.name, names[i]) != 0)
            i++;
        if (i == count || values[i] != nullptr) return pair.name;
        values[i] = pair.value;
    }
    return nullptr;
}

bool web_form_int(const char *text, int min, int max, int *out) {
    long long v = 0;
    if (!web_form_number(text, min, max, &v)) return false;
    *out = static_cast<int>(v);
    return true;
}
