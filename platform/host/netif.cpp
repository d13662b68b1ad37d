// Addresses of the Linux interfaces that stand for the firmware's interfaces.
#include "sal_netif.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "unique_fd.h"

namespace {

struct Mapping {
    char fw[8];
    char host[IFNAMSIZ];
};

struct Table {
    std::mutex lock;
    Mapping map[4] = {};
};

Table &table() {
    static auto *t = new Table;
    return *t;
}

bool name_ok(const char *name) {
    return name != nullptr && *name != '\0' && std::strlen(name) < IFNAMSIZ;
}

void fill_addr(sockaddr *sa, const uint8_t a[4]) {
    auto *in = reinterpret_cast<sockaddr_in *>(sa);
    std::memset(in, 0, sizeof *in);
    in->sin_family = AF_INET;
    std::memcpy(&in->sin_addr, a, 4);
}

int ifreq_call(const char *host_name, unsigned long req, ifreq *ifr) {
    if (!name_ok(host_name)) return -1;
    UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return -1;
    std::snprintf(ifr->ifr_name, sizeof ifr->ifr_name, "%s", host_name);
    return ioctl(fd.get(), req, ifr) == 0 ? 0 : -1;
}

int default_route(unsigned long req, const char *host_name, const uint8_t gw[4]) {
    UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return -1;
    rtentry rt{};
    const uint8_t any[4] = {0, 0, 0, 0};
    fill_addr(&rt.rt_dst, any);
    fill_addr(&rt.rt_genmask, any);
    fill_addr(&rt.rt_gateway, gw);
    rt.rt_flags = RTF_UP;
    if ((gw[0] | gw[1] | gw[2] | gw[3]) != 0) rt.rt_flags |= RTF_GATEWAY;
    char dev[IFNAMSIZ];
    std::snprintf(dev, sizeof dev, "%s", host_name);
    rt.rt_dev = dev;
    return ioctl(fd.get(), req, &rt) == 0 ? 0 : -1;
}

}  // namespace

void sal_netif_map(const char *fw_name, const char *host_name) {
    if (fw_name == nullptr || std::strlen(fw_name) >= sizeof(Mapping::fw)) return;
    Table &t = table();
    std::lock_guard<std::mutex> g(t.lock);
    Mapping *slot = nullptr;
    for (Mapping &m : t.map) {
        if (std::strcmp(m.fw, fw_name) == 0) slot = &m;
    }
    if (!name_ok(host_name)) {
        if (slot != nullptr) *slot = Mapping{};
        return;
    }
    for (Mapping &m : t.map) {
        if (slot == nullptr && m.fw[0] == '\0') slot = &m;
    }
    if (slot == nullptr) return;
    std::snprintf(slot->fw, sizeof slot->fw, "%s", fw_name);
    std::snprintf(slot->host, sizeof slot->host, "%s", host_name);
}

bool sal_netif_host_name(const char *fw_name, char *out, int size) {
    if (fw_name == nullptr || *fw_name == '\0') return false;
    Table &t = table();
    std::lock_guard<std::mutex> g(t.lock);
    for (const Mapping &m : t.map) {
        if (std::strcmp(m.fw, fw_name) == 0) {
            if (out != nullptr && size > 0)
                std::snprintf(out, static_cast<size_t>(size), "%s", m.host);
            return true;
        }
    }
    return false;
}

int sal_netif_addr_set(const char *host_name, const uint8_t ip[4], const uint8_t mask[4],
                       const uint8_t gw[4]) {
    ifreq ifr{};
    fill_addr(&ifr.ifr_addr, ip);
    if (ifreq_call(host_name, SIOCSIFADDR, &ifr) != 0) return -1;
    ifr = ifreq{};
    fill_addr(&ifr.ifr_netmask, mask);
    if (ifreq_call(host_name, SIOCSIFNETMASK, &ifr) != 0) return -1;
    if (gw == nullptr || (gw[0] | gw[1] | gw[2] | gw[3]) == 0) return 0;
    const uint8_t none[4] = {0, 0, 0, 0};
    default_route(SIOCDELRT, host_name, none);  // absent is fine
    return default_route(SIOCADDRT, host_name, gw);
}

int sal_netif_addr_clear(const char *host_name) {
    ifreq ifr{};
    const uint8_t none[4] = {0, 0, 0, 0};
    fill_addr(&ifr.ifr_addr, none);
    return ifreq_call(host_name, SIOCSIFADDR, &ifr);
}

int sal_netif_mac_get(const char *host_name, uint8_t mac[6]) {
    ifreq ifr{};
    if (ifreq_call(host_name, SIOCGIFHWADDR, &ifr) != 0) return -1;
    std::memcpy(mac, ifr.ifr_hwaddr.sa_data, 6);
    return 0;
}
