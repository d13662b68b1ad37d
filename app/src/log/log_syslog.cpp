// Syslog loggers: up to four servers, each sent every line as one UDP
// datagram in the RFC 3164 form "<PRI>Mmm dd hh:mm:ss HOST TAG: text", with
// PRI = facility * 8 + the level's syslog severity and the module name as TAG.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "log_internal.h"
#include "net_util.h"
#include "sal_lock.h"

namespace log_internal {
namespace {

constexpr int kMaxFacility = 23;

// Syslog severities of the levels: ERROR "err", WARNING "warning", INFO
// "info", DEBUG "debug". LOCAL1-LOCAL4 mark noteworthy events of their own
// and go out as "notice".
constexpr int kSeverity[LOG_LEVEL_COUNT] = {3, 4, 6, 7, 5, 5, 5, 5};

struct SyslogLogger : LoggerBase {
    bool used = false;
    char name[LOGGER_SYSLOG_NAME_SIZE] = {};
    char ip[16] = {};
    int port = 0;
    int facility = 0;
    int sock = -1;
    sockaddr_in addr{};
};

// Never freed: a logger pointer a page still holds stays valid after removal.
SyslogLogger slots[LOGGER_SYSLOG_SLOTS];

SyslogLogger *syslog_of(logger *l) {
    for (SyslogLogger &s : slots) {
        if (l == &s) return &s;
    }
    return nullptr;
}

// The management address: eth1's when it is set up, else eth0's.
void host_name(char *buf, size_t size) {
    net_if_info info;
    for (const char *ifname : {"eth1", "eth0"}) {
        if (net_util_if_info_get(ifname, &info, 0) >= NET_IF_DHCP_BOUND && info.ip[0] != '\0') {
            std::snprintf(buf, size, "%s", info.ip);
            return;
        }
    }
    std::snprintf(buf, size, "switch");
}

int syslog_write(const logger_record *rec, const char *text, logger *l) {
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    SyslogLogger *s = syslog_of(l);
    if (s == nullptr || !s->used) return -1;
    time_t now = static_cast<time_t>(rec->time);
    tm t{};
    gmtime_r(&now, &t);
    char host[24];
    host_name(host, sizeof host);
    char datagram[LOGGER_TEXT_MAX + 96];
    int len = std::snprintf(datagram, sizeof datagram, "<%d>%s %2d %02d:%02d:%02d %s %s: %s",
                            s->facility * 8 + kSeverity[rec->level & (LOG_LEVEL_COUNT - 1)],
                            months[t.tm_mon % 12], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, host,
                            logger_module_name(rec->module), text);
    if (len < 0) return -1;
    size_t n = std::min(static_cast<size_t>(len), sizeof datagram - 1);
    ssize_t sent = sendto(s->sock, datagram, n, MSG_DONTWAIT | MSG_NOSIGNAL,
                          reinterpret_cast<const sockaddr *>(&s->addr), sizeof s->addr);
    return sent == static_cast<ssize_t>(n) ? 0 : -1;
}

const logger_ops kSyslogOps = {mask_set,         mask_get,        no_records_clear,
                               no_records_count, no_records_read, syslog_write};

}  // namespace

bool syslog_name_valid(const char *name) {
    if (name == nullptr || *name == '\0') return false;
    size_t len = strnlen(name, LOGGER_SYSLOG_NAME_SIZE);
    if (len >= LOGGER_SYSLOG_NAME_SIZE) return false;
    for (size_t i = 0; i < len; i++) {
        if (static_cast<unsigned char>(name[i]) < 0x20 || name[i] == 0x7f) return false;
    }
    return true;
}

int syslog_open(int slot, const char *name, const char *ip, int port, int facility) {
    uint8_t addr[4];
    if (slot < 0 || slot >= LOGGER_SYSLOG_SLOTS || slots[slot].used || !syslog_name_valid(name) ||
        ip == nullptr || net_util_ip_parse(ip, addr) < 0 || port <= 0 || port > 0xFFFF ||
        facility < 0 || facility > kMaxFacility)
        return -1;
    int sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0) return -1;
    SyslogLogger &s = slots[slot];
    s.ops = &kSyslogOps;
    s.mask = LOGGER_SYSLOG_DEFAULT_MASK;
    std::snprintf(s.name, sizeof s.name, "%s", name);
    std::snprintf(s.ip, sizeof s.ip, "%u.%u.%u.%u", addr[0], addr[1], addr[2], addr[3]);
    s.port = port;
    s.facility = facility;
    s.sock = sock;
    s.addr = sockaddr_in{};
    s.addr.sin_family = AF_INET;
    s.addr.sin_port = htons(static_cast<uint16_t>(port));
    std::memcpy(&s.addr.sin_addr, addr, sizeof addr);
    s.used = true;
    return 0;
}

void syslog_close(int slot) {
    SyslogLogger &s = slots[slot];
    if (!s.used) return;
    s.used = false;
    close(s.sock);
    s.sock = -1;
}

logger *syslog_slot(int slot) {
    return slots[slot].used ? &slots[slot] : nullptr;
}

const char *syslog_name(logger *l) {
    SyslogLogger *s = syslog_of(l);
    return s ? s->name : nullptr;
}

}  // namespace log_internal

const char *logger_syslog_info(logger *l, int *port, int *facility) {
    using namespace log_internal;
    SalLock hold(core_lock());
    SyslogLogger *s = syslog_of(l);
    if (s == nullptr || !s->used) return nullptr;
    if (port) *port = s->port;
    if (facility) *facility = s->facility;
    return s->ip;
}
