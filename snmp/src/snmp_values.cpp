// The application's answers to the agent's MIB-II and Ethernet-like
// requests, from the switch API and the board port map.
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "board.h"
#include "dxp.h"
#include "dxp_enums.h"
#include "dxpx.h"
#include "nvram.h"
#include "port_reserve.h"
#include "sal.h"
#include "shr.h"
#include "snmp_backend.h"

namespace {

// The application's callbacks by (major, minor) slot, in registration order.
struct AppCallback {
    int major, minor;
    snmp_app_callback_fn fn;
    void *arg;
};
constexpr size_t kAppCallbacks = 8;

AppCallback *app_callbacks() {
    static auto *table = new AppCallback[kAppCallbacks]{};
    return table;
}

// Texts owned by the handler; RAM only, nothing saves them.
struct Texts {
    char descr[128] = "RW-3090";
    char contact[128] = "";
    char name[128] = "";
    char location[128] = "";
    uint8_t base_mac[6] = {0, 0, 0, 0, 0, 1};
    uint8_t oper_cache[BOARD_MAX_UPORTS + 1] = {};
};

Texts &texts() {
    static auto *t = new Texts;
    return *t;
}

// The product's identifier under 1.3.6.1.4.1 (11 sub-ids) and the chip
// maker's (8 sub-ids, last 0).
constexpr uint32_t kSysObjectId[] = {1, 3, 6, 1, 4, 1, 40413, 1, 3, 90, 1};
constexpr uint32_t kChipSetId[] = {1, 3, 6, 1, 4, 1, 40413, 0};

void set_oid(snmp_param_block *b, const uint32_t *oid, int n) {
    std::memcpy(b->oid, oid, sizeof(uint32_t) * static_cast<size_t>(n));
    b->value = 4 * n;
}

void put_text(snmp_param_block *b, const char *text) {
    std::snprintf(b->text, sizeof b->text, "%s", text);
}

char *system_text(int item) {
    Texts &t = texts();
    switch (item) {
        case 0:
            return t.descr;
        case 3:
            return t.contact;
        case 4:
            return t.name;
        case 5:
            return t.location;
        default:
            return nullptr;
    }
}

// A failed counter or speed read answers 0 and an empty text.
int fail_clear(snmp_param_block *b) {
    b->value = 0;
    b->text[0] = '\0';
    return 1;
}

int link_status(int lport, int *status) {
    int up = 0;
    if (dxpx_port_link_status_get(lport, &up) != 0) return -1;
    *status = up ? 1 : 2;
    return 0;
}

// True when the port has no link and autonegotiates: its PHY then reports
// no speed or duplex of its own.
bool negotiating_without_link(int lport) {
    int up = 0, autoneg = 0;
    return dxpx_port_link_status_get(lport, &up) == 0 && up == 0 &&
           dxpx_port_autoneg_get(lport, &autoneg) == 0 && autoneg != 0;
}

// The speed the port runs at; without link, the speed it is forced to or,
// when it negotiates, the most its class runs (its nominal bandwidth).
int port_speed_mbps(int lport, int *speed) {
    if (!negotiating_without_link(lport)) return dxpx_port_speed_get(lport, speed);
    dxpx_lport_t entry{};
    if (dxpx_lport_get(lport, &entry) != 0) return -1;
    *speed = (entry.flags & DXPX_PORT_F_GE) ? 1000 : 100;
    return 0;
}

// The port state an interfaces or Ethernet-like cell answers from: an item's
// result code with its value.
enum class Reading : size_t { Link, SpeedMbps, Enable, Duplex, Storm, Count };
constexpr size_t kReadings = static_cast<size_t>(Reading::Count);
struct Answer {
    int rv = 1;
    int value = 0;
};

Answer read_port(Reading reading, int lport) {
    Answer a;
    int v = 0;
    switch (reading) {
        case Reading::Link:
            a.rv = link_status(lport, &v) != 0 ? 1 : 0;
            break;
        case Reading::SpeedMbps:
            a.rv = port_speed_mbps(lport, &v) != 0 ? 1 : 0;
            break;
        case Reading::Enable:
            a.rv = dxpx_port_enable_get(lport, &v) != 0 ? 1 : 0;
            break;
        case Reading::Duplex:
            if (negotiating_without_link(lport)) {
                v = 1;  // nothing negotiated yet
                a.rv = 0;
            } else if (dxpx_port_duplex_get(lport, &v) != 0) {
                v = 1;
            } else {
                v = v == 1 ? 3 : 2;
                a.rv = 0;
            }
            break;
        case Reading::Storm: {
            int flags = 0, rate = 0;
            if (dxpx_rate_dlfbc_get(&rate, &flags, lport) != 0 ||
                dxpx_rate_bcast_get(&rate, &flags, lport) != 0 ||
                dxpx_rate_mcast_get(&rate, &flags, lport) != 0) {
                v = 3;
            } else {
                v = flags != 0 ? 2 : 1;
                a.rv = 0;
            }
            break;
        }
        case Reading::Count:
            break;
    }
    a.value = v;
    return a;
}

// While the agent answers a request, each reading is taken for every port
// under one take of the unit lock: taken per cell, a walk would queue
// behind every step of a page's apply once per cell. A reading then serves
// the next requests for a moment, as an agent's table cache does, so a walk
// takes each kind once rather than once per request; a call of the
// managers' port setters, a link change or an SNMP write ends it at once,
// and a change made beside them (the monitor's own commands) shows within
// kFreshUsecs. Only the agent's thread opens a batch, under the agent lock.
constexpr uint32_t kFreshUsecs = 500000;
std::atomic<uint32_t> link_changes{0};

struct Batch {
    std::array<bool, kReadings> filled{};
    // Microseconds for the age, which wrap; seconds so that a wrapped age
    // never passes for a fresh one.
    std::array<uint32_t, kReadings> filled_at{}, filled_second{};
    std::array<uint32_t, kReadings> port_changes_seen{}, link_changes_seen{};
    std::array<std::array<Answer, BOARD_MAX_UPORTS + 1>, kReadings> answers{};
};
thread_local bool batch_open = false;

Batch &batch() {
    static auto *b = new Batch;
    return *b;
}

Answer port_answer(Reading reading, int uport, int lport) {
    if (!batch_open || uport < 1 || uport > BOARD_MAX_UPORTS) return read_port(reading, lport);
    Batch &b = batch();
    const auto r = static_cast<size_t>(reading);
    const uint32_t now = sal_time_usecs(), second = sal_time();
    const uint32_t port_changes = dxpx_port_changes(), links = link_changes.load();
    if (!b.filled[r] || now - b.filled_at[r] >= kFreshUsecs || second - b.filled_second[r] > 1 ||
        b.port_changes_seen[r] != port_changes || b.link_changes_seen[r] != links) {
        DxpUnitLock api(0);
        for (int port = 1; port <= board_num_uports && port <= BOARD_MAX_UPORTS; port++) {
            int each = -1;
            b.answers[r][static_cast<size_t>(port)] =
                ulpm_to_lport(port, &each) == 0 ? read_port(reading, each) : Answer{};
        }
        b.filled[r] = true;
        b.filled_at[r] = now;
        b.filled_second[r] = second;
        b.port_changes_seen[r] = port_changes;
        b.link_changes_seen[r] = links;
    }
    return b.answers[r][static_cast<size_t>(uport)];
}

}  // namespace

void snmp_values_batch_begin(void) {
    batch_open = true;
}

void snmp_values_port_state_changed(void) {
    link_changes++;
}

void snmp_values_batch_end(void) {
    batch_open = false;
}

int snmp_app_callback_register(int major, int minor, snmp_app_callback_fn fn, void *arg) {
    if (fn == nullptr) return -1;
    AppCallback *table = app_callbacks();
    for (size_t i = 0; i < kAppCallbacks; i++) {
        if (table[i].fn != nullptr) continue;
        table[i] = {.major = major, .minor = minor, .fn = fn, .arg = arg};
        return 0;
    }
    return -1;
}

int snmp_app_callbacks_call(int major, int minor, void *data) {
    int rv = 1;
    AppCallback *table = app_callbacks();
    for (size_t i = 0; i < kAppCallbacks && table[i].fn != nullptr; i++) {
        if (table[i].major == major && table[i].minor == minor)
            rv = table[i].fn(major, minor, data, table[i].arg);
    }
    return rv;
}

int mac_str_parse(const char *text, uint8_t mac_out[6]) {
    if (text == nullptr) return -1;
    uint8_t mac[6] = {};
    if (std::strpbrk(text, "-:") != nullptr) {
        const char *p = text;
        for (int i = 0; i < 6; i++) {
            int digits = 0, v = 0;
            while (digits < 2 && shr_hex_digit(*p) >= 0) {
                v = v * 16 + shr_hex_digit(*p++);
                digits++;
            }
            if (digits == 0) return -1;
            mac[i] = static_cast<uint8_t>(v);
            if (i < 5) {
                if (*p != '-' && *p != ':') return -1;
                p++;
            }
        }
        if (*p != '\0') return -1;
    } else {
        if (text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return -1;
        const char *digits = text + 2;
        size_t n = std::strlen(digits);
        if (n == 0 || n > 12) return -1;
        for (size_t i = 0; i < n; i++) {
            if (shr_hex_digit(digits[i]) < 0) return -1;
        }
        // From the right, two digits per byte.
        int byte = 5;
        for (size_t end = n; end > 0; byte--) {
            size_t start = end >= 2 ? end - 2 : 0;
            int v = 0;
            for (size_t i = start; i < end; i++)
                v = v * 16 + shr_hex_digit(digits[i]);
            mac[byte] = static_cast<uint8_t>(v);
            end = start;
        }
    }
    std::memcpy(mac_out, mac, sizeof mac);
    return 0;
}

void snmp_port_mac_get(int port, uint8_t mac_out[6]) {
    Texts &t = texts();
    const char *stored = nvram_get("et1macaddr");
    if (stored == nullptr) stored = nvram_get("et0macaddr");
    uint8_t parsed[6];
    if (stored != nullptr && mac_str_parse(stored, parsed) == 0)
        std::memcpy(t.base_mac, parsed, sizeof parsed);
    std::memcpy(mac_out, t.base_mac, 6);
    unsigned sum = mac_out[5] + static_cast<unsigned>(port);
    mac_out[5] = static_cast<uint8_t>(sum);
    if (sum > 0xFF) {
        for (int i = 4; i >= 1; i--) {
            if (++mac_out[i] != 0) break;
        }
    }
}

int snmp_system_value(snmp_param_block *b) {
    if (b->item < 0 || b->item > 6) return 1;
    switch (b->item) {
        case 1:
            set_oid(b, kSysObjectId, 11);
            return 0;
        case 2:
            return 1;  // the agent computes sysUpTime
        case 6:
            b->value = 7;
            return 0;
        default:
            break;
    }
    char *text = system_text(b->item);
    if (b->direction == 1) {
        std::snprintf(text, 128, "%s", b->text);
    } else {
        put_text(b, text);
    }
    return 0;
}

int snmp_interface_value(snmp_param_block *b) {
    if (b->item < 7 || b->item > 29) return 1;
    if (b->item == 7) {
        b->value = board_num_uports;
        return 0;
    }
    int lport = -1;
    if (ulpm_to_lport(b->port, &lport) != 0) return 1;
    Texts &t = texts();
    switch (b->item) {
        case 8:
            b->value = b->port;
            return 0;
        case 9:
            std::snprintf(b->text, sizeof b->text, "Port #%d", b->port);
            return 0;
        case 10:
            b->value = 6;
            return 0;
        case 11:
            b->value = 1514;
            return 0;
        case 12: {
            const Answer speed = port_answer(Reading::SpeedMbps, b->port, lport);
            if (speed.rv != 0) return fail_clear(b);
            b->value = static_cast<int32_t>(static_cast<uint32_t>(speed.value) * 1000000u);
            return 0;
        }
        case 13: {
            uint8_t mac[6];
            snmp_port_mac_get(b->port, mac);
            std::memcpy(b->text, mac, sizeof mac);
            return 0;
        }
        case 14: {
            if (b->direction == SNMP_DIR_CHECK) {
                if (!port_reserved_lport(lport)) return 0;
                std::snprintf(b->text, sizeof b->text, "Port %d: %s", b->port,
                              port_reserve_held_text_lport(lport));
                return 1;
            }
            if (b->direction == SNMP_DIR_WRITE) {
                int enable = b->value == 1 ? 1 : 0;
                if (batch_open) batch().filled.fill(false);  // later cells read the change
                return dxpx_port_enable_set(lport, enable) == 0 ? 0 : 1;
            }
            const Answer enable = port_answer(Reading::Enable, b->port, lport);
            if (enable.rv != 0) return 1;
            b->value = enable.value ? 1 : 2;
            return 0;
        }
        case 15: {
            const Answer link = port_answer(Reading::Link, b->port, lport);
            if (link.rv != 0) return 1;
            b->value = link.value;
            t.oper_cache[b->port] = static_cast<uint8_t>(link.value);
            return 0;
        }
        case 16: {
            const Answer link = port_answer(Reading::Link, b->port, lport);
            if (link.rv != 0) return 1;
            b->value = t.oper_cache[b->port] != link.value ? 1 : 0;
            t.oper_cache[b->port] = static_cast<uint8_t>(link.value);
            return 0;
        }
        case 29:
            b->value = 0;
            return 0;
        default: {
            uint32_t count = 0;
            if (dxpx_stat_get32(lport, snmpIfInOctets + b->item - 17, &count) != 0)
                return fail_clear(b);
            b->value = static_cast<int32_t>(count);
            return 0;
        }
    }
}

int snmp_dot3_value(snmp_param_block *b) {
    if (b->item < 30 || b->item > 50) return 1;
    int lport = -1;
    if (ulpm_to_lport(b->port, &lport) != 0) return 1;
    uint32_t count = 0;
    switch (b->item) {
        case 30:
        case 48:
            b->value = b->port;
            return 0;
        case 44:
            set_oid(b, kChipSetId, 8);
            return 0;
        case 45:
        case 47: {
            const Answer a =
                port_answer(b->item == 45 ? Reading::Duplex : Reading::Storm, b->port, lport);
            b->value = a.value;
            return a.rv;
        }
        case 46: {
            const Answer speed = port_answer(Reading::SpeedMbps, b->port, lport);
            if (speed.rv != 0) return fail_clear(b);
            b->value = speed.value < 1000 ? 2 : 1;
            return 0;
        }
        case 49:
            b->value = 1;
            return 0;
        case 50:
            if (dxpx_stat_get32(lport, snmpDot3StatsSingleCollisionFrames, &count) != 0)
                return fail_clear(b);
            b->value = static_cast<int32_t>(count);
            return 0;
        default:
            // 31-43: statistics 40-52 in column order.
            if (dxpx_stat_get32(lport, snmpDot3StatsAlignmentErrors + b->item - 31, &count) != 0)
                return fail_clear(b);
            b->value = static_cast<int32_t>(count);
            return 0;
    }
}

int snmp_mib_callback(int, int, void *block, void *) {
    auto *b = static_cast<snmp_param_block *>(block);
    if (b == nullptr) return 1;
    switch (b->selector) {
        case SNMP_SEL_SYSTEM:
            return snmp_system_value(b);
        case SNMP_SEL_INTERFACES:
            return snmp_interface_value(b);
        case SNMP_SEL_DOT3:
            return snmp_dot3_value(b);
        default:
            return 1;
    }
}

void snmp_backend_init(void) {
    snmp_app_callback_register(SNMP_CB_MIB_VALUE_MAJOR, SNMP_CB_MIB_VALUE_MINOR, snmp_mib_callback,
                               nullptr);
}
