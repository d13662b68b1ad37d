// Address parsing for the management pages and the loggers.
#include <cctype>

#include "net_util.h"
#include "shr.h"

int net_util_ip_parse(const char *text, uint8_t out[4]) {
    if (text == nullptr || out == nullptr) return -1;
    uint8_t parts[4];
    const char *p = text;
    for (int i = 0; i < 4; i++) {
        if (i > 0 && *p++ != '.') return -1;
        int value = 0;
        int digits = 0;
        while (std::isdigit(static_cast<unsigned char>(*p)) && digits < 4) {
            value = value * 10 + (*p++ - '0');
            digits++;
        }
        if (digits == 0 || digits > 3 || value > 255) return -1;
        parts[i] = static_cast<uint8_t>(value);
    }
    if (*p != '\0') return -1;
    for (int i = 0; i < 4; i++)
        out[i] = parts[i];
    return 0;
}

int net_util_mac_parse(const char *text, uint8_t out[6]) {
    if (text == nullptr || out == nullptr || *text == '\0') return -1;
    uint8_t bytes[6];
    const char *p = text;
    for (int i = 0; i < 6; i++) {
        if (i > 0 && *p++ != '-') return -1;
        int value = 0;
        int digits = 0;
        for (int d; digits < 3 && (d = shr_hex_digit(*p)) >= 0; p++, digits++)
            value = value * 16 + d;
        if (digits == 0 || digits > 2) return -1;
        bytes[i] = static_cast<uint8_t>(value);
    }
    if (*p != '\0') return -1;
    for (int i = 0; i < 6; i++)
        out[i] = bytes[i];
    return 0;
}
