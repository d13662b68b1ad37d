// String helpers of the SDK: case-insensitive compares, number parsing and
// bounded formatting.
#include <cctype>
#include <cstdio>

#include "sal.h"
#include "shr.h"

namespace {
int lower(char c) {
    return std::tolower(static_cast<unsigned char>(c));
}
}  // namespace

int sal_strcasecmp(const char *a, const char *b) {
    return sal_strncasecmp(a, b, SIZE_MAX);
}

int sal_strncasecmp(const char *a, const char *b, size_t n) {
    if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
    for (size_t i = 0; i < n; i++) {
        int ca = lower(a[i]), cb = lower(b[i]);
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
    return 0;
}

int sal_ctoi(const char *text, const char **end) {
    const char *s = text ? text : "";
    bool negative = false;
    if (*s == '-') {
        negative = true;
        s++;
    }
    unsigned base = 10;
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s += 2;
    } else if (s[0] == '0' && (s[1] == 'b' || s[1] == 'B')) {
        base = 2;
        s += 2;
    } else if (s[0] == '0') {
        base = 8;
    }
    // Unsigned arithmetic: over-long numbers wrap instead of overflowing.
    uint32_t value = 0;
    for (;; s++) {
        int digit = shr_hex_digit(*s);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) break;
        value = value * base + static_cast<unsigned>(digit);
    }
    if (end != nullptr) *end = s;
    if (negative) value = 0u - value;
    return static_cast<int>(value);
}

int sal_snprintf(char *buf, size_t size, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, size, fmt, ap);
    va_end(ap);
    return n;
}

int sal_sprintf(char *buf, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsprintf(buf, fmt, ap);
    va_end(ap);
    return n;
}
