// Request parsing: lines, the request line, header lines, Content-Length and
// the form argument pairs. Everything works on lengths so that nothing reads
// past the bytes received.
#include <cstring>

#include "httpd_internal.h"
#include "sal.h"
#include "shr.h"

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

char *skip_blanks(char *p) {
    while (is_blank(*p))
        p++;
    return p;
}

// Cuts the token at p and returns the text after it.
char *cut_token(char *p) {
    while (*p != '\0' && !is_blank(*p))
        p++;
    if (*p != '\0') *p++ = '\0';
    return p;
}

}  // namespace

httpd_line_result httpd_take_line(char *buf, size_t fill, size_t *pos, char **line) {
    size_t start = *pos;
    if (start >= fill) return httpd_line_result::none;
    auto *lf = static_cast<char *>(std::memchr(buf + start, '\n', fill - start));
    if (lf == nullptr) return httpd_line_result::partial;
    size_t end = static_cast<size_t>(lf - buf);
    if (end > start && buf[end - 1] == '\r') end--;
    *lf = '\0';
    buf[end] = '\0';
    *pos = static_cast<size_t>(lf - buf) + 1;
    *line = buf + start;
    // A NUL inside the line would hide the rest of it from every text routine.
    if (std::strlen(*line) != end - start) return httpd_line_result::invalid;
    return httpd_line_result::line;
}

bool httpd_parse_request_line(char *line, bool *post, char **path, char **query) {
    char *method = skip_blanks(line);
    char *rest = skip_blanks(cut_token(method));
    if (sal_strcasecmp(method, "GET") == 0) {
        *post = false;
    } else if (sal_strcasecmp(method, "POST") == 0) {
        *post = true;
    } else {
        return false;
    }
    if (*rest == '\0') return false;
    *path = rest;
    cut_token(rest);
    char *mark = std::strchr(rest, '?');
    *query = nullptr;
    if (mark != nullptr) {
        *mark = '\0';
        *query = mark + 1;
    }
    return true;
}

bool httpd_parse_header(char *line, char **name, char **value) {
    char *colon = std::strchr(line, ':');
    if (colon == nullptr) return false;
    *colon = '\0';
    char *end = colon;
    while (end > line && is_blank(end[-1]))
        *--end = '\0';
    *name = skip_blanks(line);
    *value = skip_blanks(colon + 1);
    return true;
}

bool httpd_parse_content_length(const char *text, long *length) {
    while (is_blank(*text))
        text++;
    if (*text < '0' || *text > '9') return false;
    long value = 0;
    for (; *text >= '0' && *text <= '9'; text++) {
        value = value * 10 + (*text - '0');
        if (value > HTTPD_CONTENT_LENGTH_MAX) return false;
    }
    while (is_blank(*text))
        text++;
    if (*text != '\0') return false;
    *length = value;
    return true;
}

void httpd_url_decode(char *text) {
    char *out = text;
    for (const char *in = text; *in != '\0'; in++) {
        int high = -1;
        int low = -1;
        if (*in == '%') {
            high = shr_hex_digit(in[1]);
            if (high >= 0) low = shr_hex_digit(in[2]);
        }
        if (high >= 0 && low >= 0) {
            *out++ = static_cast<char>(high * 16 + low);
            in += 2;
        } else if (*in == '+') {
            *out++ = ' ';
        } else {
            *out++ = *in;
        }
    }
    *out = '\0';
}

int httpd_split_pairs(char *buf, size_t len, httpd_pair *pairs, int max_pairs) {
    buf[len] = '\0';
    int count = 0;
    size_t pos = 0;
    while (pos < len && count < max_pairs) {
        size_t end = pos;
        while (end < len && buf[end] != '&' && buf[end] != '\r')
            end++;
        auto *eq = static_cast<char *>(std::memchr(buf + pos, '=', end - pos));
        if (eq == nullptr) break;
        size_t next = end + 1;
        if (end < len && buf[end] == '\r') {
            // After a CR the next "&" starts the next pair.
            auto *amp = static_cast<char *>(std::memchr(buf + end, '&', len - end));
            next = amp != nullptr ? static_cast<size_t>(amp - buf) + 1 : len;
        }
        buf[end] = '\0';
        *eq = '\0';
        pairs[count].name = buf + pos;
        pairs[count].value = eq + 1;
        httpd_url_decode(pairs[count].name);
        httpd_url_decode(pairs[count].value);
        count++;
        pos = next;
    }
    return count;
}
