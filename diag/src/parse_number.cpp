// Text helpers, integers of 32, 64 and more bits and the address forms.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "diag_parse.h"
#include "sal.h"
#include "shr.h"

const char *strcaseindex(const char *text, const char *word) {
    if (text == nullptr || word == nullptr || *text == '\0') return nullptr;
    size_t n = std::strlen(word);
    for (const char *p = text; *p != '\0'; p++) {
        if (sal_strncasecmp(p, word, n) == 0) return p;
    }
    return nullptr;
}

char *strrepl(char *text, int pos, int len, const char *insert) {
    size_t ins = std::strlen(insert);
    char *at = text + pos;
    std::memmove(at + ins, at + len, std::strlen(at + len) + 1);
    std::memcpy(at, insert, ins);
    return text;
}

char i2xdigit(int v) {
    return "0123456789abcdef"[v & 0xf];
}

int parse_xdigit(char c) {
    int v = shr_hex_digit(c);
    return v < 0 ? 0 : v;
}

void format_entab(char *dst, const char *src, int tabwidth) {
    if (tabwidth < 2) tabwidth = 1;
    int col = 0;
    while (*src != '\0') {
        if (*src != ' ') {
            char c = *src++;
            *dst++ = c;
            if (c == '\n' || c == '\r') {
                col = 0;
            } else if (c == '\t') {
                col = (col / tabwidth + 1) * tabwidth;
            } else {
                col++;
            }
            continue;
        }
        int run = 0;
        while (src[run] == ' ')
            run++;
        src += run;
        while (run > 0) {
            int stop = (col / tabwidth + 1) * tabwidth;
            int gap = stop - col;
            if (run < gap) break;
            // A single space before a tab stop gains nothing as a tab.
            *dst++ = gap >= 2 ? '\t' : ' ';
            run -= gap;
            col = stop;
        }
        for (; run > 0; run--, col++)
            *dst++ = ' ';
    }
    *dst = '\0';
}

// ---------------------------------------------------------------- integers

int parse_rand(const char *text, uint32_t *value) {
    if (text == nullptr || sal_strncasecmp(text, "rand(", 5) != 0) return 0;
    const char *end = nullptr;
    const char *p = text + 5;
    int a = 0;
    int b = sal_ctoi(p, &end);
    if (end == p) return 0;
    if (*end == ',') {
        a = b;
        p = end + 1;
        b = sal_ctoi(p, &end);
        if (end == p || b < a) return 0;  // an empty range is malformed
    } else {
        b -= 1;  // N values: 0..N-1 (N = 0 wraps to the full range)
    }
    if (end[0] != ')' || end[1] != '\0') return 0;
    uint32_t span = static_cast<uint32_t>(b) - static_cast<uint32_t>(a);
    uint32_t r = (sal_rand() << 17) ^ (sal_rand() << 13) ^ (sal_rand() << 5) ^ (sal_rand() >> 3);
    *value = span == 0xffffffffu ? 0 : static_cast<uint32_t>(a) + r % (span + 1);
    return 1;
}

// The digits of a number in sal_ctoi's forms, past any "0x"/"0b" prefix.
static const char *digits_start(const char *s) {
    return s[0] == '0' && s[1] != '\0' && std::strchr("xXbB", s[1]) != nullptr ? s + 2 : s;
}

// An integer's shape in sal_ctoi's forms (sign, base prefix, digits), its
// size aside.
static bool integer_form(const char *text) {
    if (text == nullptr) return false;
    const char *s = *text == '-' ? text + 1 : text;
    if (*s == '-') return false;
    const char *end = s;
    sal_ctoi(s, &end);
    return *end == '\0' && end > digits_start(s);
}

// The size of a number of integer_form past its sign; false when it needs
// more than 64 bits.
static bool magnitude(const char *text, uint64_t *value) {
    const char *s = *text == '-' ? text + 1 : text;
    unsigned base = 10;
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
    } else if (s[0] == '0' && (s[1] == 'b' || s[1] == 'B')) {
        base = 2;
    } else if (s[0] == '0') {
        base = 8;
    }
    uint64_t v = 0;
    for (s = digits_start(s); *s != '\0'; s++) {
        auto digit = static_cast<uint64_t>(shr_hex_digit(*s));
        if (v > (~0ull - digit) / base) return false;
        v = v * base + digit;
    }
    *value = v;
    return true;
}

// A decimal number is a signed 32-bit one; the other forms are 32-bit
// patterns, as in masks (0xffffffff).
static bool fits_int(const char *text) {
    uint64_t m;
    if (!magnitude(text, &m)) return false;
    if (*text == '-') return m <= 0x80000000ull;
    bool decimal = text[0] != '0' || text[1] == '\0';
    return m <= (decimal ? 0x7fffffffull : 0xffffffffull);
}

int parse_is_integer(const char *text) {
    uint32_t dummy;
    if (text == nullptr) return 0;
    if (parse_rand(text, &dummy)) return 1;
    return integer_form(text) && fits_int(text) ? 1 : 0;
}

int parse_integer_too_wide(const char *text) {
    uint32_t dummy;
    if (text == nullptr || parse_rand(text, &dummy)) return 0;
    return integer_form(text) && !fits_int(text) ? 1 : 0;
}

int parse_integer_fits(const char *text, int bits) {
    uint32_t value;
    if (text == nullptr || bits <= 0 || bits > 64) return 0;
    if (parse_rand(text, &value)) return bits >= 32 || value >> bits == 0 ? 1 : 0;
    uint64_t m;
    if (!integer_form(text) || !magnitude(text, &m)) return 0;
    if (*text == '-') return m <= 1ull << (bits - 1) ? 1 : 0;
    return bits == 64 || m >> bits == 0 ? 1 : 0;
}

int parse_integer(const char *text) {
    uint32_t value;
    if (parse_rand(text, &value)) return static_cast<int>(value);
    if (!parse_is_integer(text)) sal_printf("WARNING: truncated malformed integer \"%s\"\n", text);
    return shr_ctoi(text);
}

uint32_t parse_address(const char *text) {
    uint32_t value;
    if (parse_rand(text, &value)) return value;
    if (!parse_integer_fits(text, 32))
        sal_printf("WARNING: truncated malformed address \"%s\"\n", text);
    return shr_ctou(text);
}

void parse_long_integer(uint32_t *words, int nwords, const char *text) {
    for (int i = 0; i < nwords; i++)
        words[i] = 0;
    if (nwords <= 0 || text == nullptr) return;
    bool negative = *text == '-';
    if (negative) text++;
    uint32_t value;
    if (parse_rand(text, &value)) {
        words[0] = value;
    } else if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && std::strlen(text + 2) > 8) {
        const char *digits = text + 2;
        int len = static_cast<int>(std::strlen(digits));
        // Groups of 8 digits from the right, word 0 taking the last.
        for (int w = 0; w < nwords && len > 0; w++) {
            int take = len < 8 ? len : 8;
            uint32_t v = 0;
            for (int i = len - take; i < len; i++) {
                int d = shr_hex_digit(digits[i]);
                v = (v << 4) | static_cast<uint32_t>(d < 0 ? 0 : d);
            }
            words[w] = v;
            len -= take;
        }
    } else if (uint64_t m; *text != '-' && integer_form(text) && magnitude(text, &m) &&
                           (nwords >= 2 || m >> 32 == 0)) {
        // Decimal, octal and binary numbers fill two words when there are.
        words[0] = static_cast<uint32_t>(m);
        if (nwords >= 2) words[1] = static_cast<uint32_t>(m >> 32);
    } else {
        words[0] = static_cast<uint32_t>(parse_integer(text));
    }
    if (negative) {
        uint32_t carry = 1;
        for (int i = 0; i < nwords; i++) {
            uint32_t v = ~words[i] + carry;
            carry = carry != 0 && v == 0 ? 1 : 0;
            words[i] = v;
        }
    }
}

void format_long_integer(char *buf, const uint32_t *words, int nwords) {
    int top = nwords - 1;
    while (top > 0 && words[top] == 0)
        top--;
    if (top <= 0 && (nwords <= 0 || words[0] < 10)) {
        std::sprintf(buf, "%d", nwords <= 0 ? 0 : static_cast<int>(words[0]));
        return;
    }
    buf += std::sprintf(buf, "0x%x", words[top]);
    for (int i = top - 1; i >= 0; i--)
        buf += std::sprintf(buf, "%08x", words[i]);
}

uint64_t parse_uint64(const char *text) {
    uint32_t w[2];
    parse_long_integer(w, 2, text);
    return static_cast<uint64_t>(w[1]) << 32 | w[0];
}

void format_uint64(char *buf, uint64_t value) {
    const uint32_t w[2] = {static_cast<uint32_t>(value), static_cast<uint32_t>(value >> 32)};
    format_long_integer(buf, w, 2);
}

void format_uint64_decimal(char *buf, uint64_t value, int sep) {
    static constexpr uint64_t powers[20] = {1ull,
                                            10ull,
                                            100ull,
                                            1000ull,
                                            10000ull,
                                            100000ull,
                                            1000000ull,
                                            10000000ull,
                                            100000000ull,
                                            1000000000ull,
                                            10000000000ull,
                                            100000000000ull,
                                            1000000000000ull,
                                            10000000000000ull,
                                            100000000000000ull,
                                            1000000000000000ull,
                                            10000000000000000ull,
                                            100000000000000000ull,
                                            1000000000000000000ull,
                                            10000000000000000000ull};
    bool started = false;
    for (int i = 19; i >= 0; i--) {
        int digit = 0;
        while (value >= powers[i]) {
            value -= powers[i];
            digit++;
        }
        if (digit == 0 && !started && i > 0) continue;
        started = true;
        *buf++ = static_cast<char>('0' + digit);
        if (sep != 0 && i > 0 && i % 3 == 0) *buf++ = static_cast<char>(sep);
    }
    *buf = '\0';
}

// ---------------------------------------------------------------- addresses

int parse_macaddr(const char *text, dxp_mac_t mac) {
    if (text == nullptr) return -1;
    if (std::strchr(text, ':') == nullptr) {
        if (text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return -1;
        const char *digits = text + 2;
        int len = static_cast<int>(std::strlen(digits));
        if (len == 0 || len > 12) return -1;
        std::memset(mac, 0, 6);
        for (int i = 0; i < len; i++) {
            int d = shr_hex_digit(digits[len - 1 - i]);
            if (d < 0) return -1;
            mac[5 - i / 2] |= static_cast<uint8_t>(d << (4 * (i % 2)));
        }
        return 0;
    }
    const char *s = text;
    for (int i = 0; i < 6; i++) {
        int v = 0, n = 0;
        for (; n < 2 && shr_hex_digit(*s) >= 0; n++, s++)
            v = v * 16 + shr_hex_digit(*s);
        if (n == 0) return -1;
        mac[i] = static_cast<uint8_t>(v);
        if (i < 5 && *s++ != ':') return -1;
    }
    return *s == '\0' ? 0 : -1;
}

void format_macaddr(char *buf, const dxp_mac_t mac) {
    std::sprintf(buf, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4],
                 mac[5]);
}

void macaddr_increment(dxp_mac_t mac, int n) {
    uint32_t carry = static_cast<uint32_t>(n);
    for (int i = 5; i >= 0 && carry != 0; i--) {
        uint32_t sum = mac[i] + carry;
        mac[i] = static_cast<uint8_t>(sum);
        carry = sum >> 8;
    }
}

// One dotted-address part in sal_ctoi's forms, without a sign: 0..255.
static int ip_part(const char *s, const char **end) {
    if (*s == '-') return -1;
    uint32_t value = static_cast<uint32_t>(sal_ctoi(s, end));
    const char *digits = digits_start(s);
    if (*end <= digits) return -1;  // no digits, or a base prefix alone
    while (digits < *end && *digits == '0')
        digits++;
    // Eight significant digits at most cannot wrap sal_ctoi's 32 bits.
    if (*end - digits > 8 || value > 255) return -1;
    return static_cast<int>(value);
}

int parse_ipaddr(const char *text, dxp_ip_t *ip) {
    if (text == nullptr) return -1;
    if (std::strchr(text, '.') == nullptr) {
        // An address is unsigned: every 32-bit number, decimal too.
        if (!parse_integer_fits(text, 32)) return -1;
        *ip = *text == '-' ? static_cast<dxp_ip_t>(parse_integer(text)) : parse_address(text);
        return 0;
    }
    uint32_t value = 0;
    const char *s = text;
    for (int i = 0; i < 4; i++) {
        const char *end = nullptr;
        int part = ip_part(s, &end);
        if (part < 0) return -1;
        value = value << 8 | static_cast<uint32_t>(part);
        s = end;
        if (i < 3 && *s++ != '.') return -1;
    }
    if (*s != '\0') return -1;
    *ip = value;
    return 0;
}

int parse_ip6addr(const char *text, dxp_ip6_t ip6) {
    std::memset(ip6, 0, 16);
    if (text == nullptr || std::strchr(text, ':') == nullptr) return -1;
    if (std::strlen(text) > 49) return -1;
    const char *s = text;
    for (int i = 0; i < 8; i++) {
        uint32_t v = 0;
        int n = 0;
        for (; shr_hex_digit(*s) >= 0; s++, n++) {
            v = v * 16 + static_cast<uint32_t>(shr_hex_digit(*s));
            if (v > 0xffff) return -1;
        }
        if (n == 0) return -1;  // also refuses the "::" shorthand
        ip6[2 * i] = static_cast<uint8_t>(v >> 8);
        ip6[2 * i + 1] = static_cast<uint8_t>(v);
        if (i < 7 && *s++ != ':') return -1;
    }
    return *s == '\0' ? 0 : -1;
}

void format_ipaddr(char *buf, dxp_ip_t ip) {
    std::sprintf(buf, "%d.%d.%d.%d", (ip >> 24) & 0xff, (ip >> 16) & 0xff, (ip >> 8) & 0xff,
                 ip & 0xff);
}

void format_ipaddr_mask(char *buf, dxp_ip_t ip, dxp_ip_t mask) {
    int len = 0;
    while (len < 32 && (mask & (0x80000000u >> len)) != 0)
        len++;
    std::sprintf(buf, "%d.%d.%d.%d/%d", (ip >> 24) & 0xff, (ip >> 16) & 0xff, (ip >> 8) & 0xff,
                 ip & 0xff, len);
}

void format_ip6addr(char *buf, const dxp_ip6_t ip6) {
    int g[8];
    for (int i = 0; i < 8; i++)
        g[i] = ip6[2 * i] << 8 | ip6[2 * i + 1];
    std::sprintf(buf, "%04x:%04x:%04x:%04x:%04x:%04x:%04x:%04x", g[0], g[1], g[2], g[3], g[4], g[5],
                 g[6], g[7]);
}
