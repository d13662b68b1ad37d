// Management interfaces: the interface table, static set-up, the DHCP client
// thread and the "et0config"/"et1config" settings items.
#include <atomic>
#include <cstdio>
#include <cstring>

#include "app_host.h"
#include "dhcp_client.h"
#include "logger.h"
#include "net_util.h"
#include "sal_lock.h"
#include "sal_netif.h"
#include "serialize.h"

sal_mutex_t net_util_userinfo = nullptr;

namespace {

struct DhcpClient {
    char ifname[8];
    sal_sem_t wake;
    bool stop;  // guarded by table_lock()
};

struct Interface {
    net_if_info info;
    DhcpClient *client;  // running DHCP client, or null
};

Interface interfaces[] = {{{"eth0", NET_IF_DOWN, "", "", ""}, nullptr},
                          {{"eth1", NET_IF_DOWN, "", "", ""}, nullptr}};

std::atomic<net_dhcp_server_fn> dhcp_server{nullptr};

// Never held while logging: the syslog logger reads the table.
sal_mutex_t table_lock() {
    static sal_mutex_t lock = sal_mutex_create("net_util");
    return lock;
}

Interface *find(const char *name) {
    if (name == nullptr) return nullptr;
    for (Interface &itf : interfaces) {
        if (std::strcmp(itf.info.name, name) == 0) return &itf;
    }
    return nullptr;
}

// Normalised dotted text of an address; false when it does not parse. An
// empty or null text is "0.0.0.0" where allow_empty says so.
bool address_text(const char *text, bool allow_empty, char (&out)[NET_IF_ADDR_SIZE]) {
    uint8_t a[4] = {0, 0, 0, 0};
    bool empty = text == nullptr || *text == '\0';
    if (empty ? !allow_empty : net_util_ip_parse(text, a) != 0) return false;
    std::snprintf(out, sizeof out, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    return true;
}

struct Addresses {
    char ip[NET_IF_ADDR_SIZE];
    char mask[NET_IF_ADDR_SIZE];
    char gw[NET_IF_ADDR_SIZE];
};

bool addresses_parse(const char *ip, const char *mask, const char *gw, Addresses &out) {
    return address_text(ip, false, out.ip) && address_text(mask, false, out.mask) &&
           address_text(gw, true, out.gw);
}

void set_addresses(net_if_info &info, int mode, const Addresses &a) {
    info.mode = mode;
    std::memcpy(info.ip, a.ip, sizeof info.ip);
    std::memcpy(info.mask, a.mask, sizeof info.mask);
    std::memcpy(info.gw, a.gw, sizeof info.gw);
}

// Caller holds table_lock(). The client thread frees itself once it sees stop.
void stop_locked(Interface &itf) {
    if (itf.client != nullptr) {
        itf.client->stop = true;
        sal_sem_give(itf.client->wake);
        itf.client = nullptr;
    }
    set_addresses(itf.info, NET_IF_DOWN, Addresses{});
}

constexpr int kDhcpExchangeMs = 4000;
constexpr uint32_t kRenewMaxSecs = 1800;

// The Linux interface follows the table: the address of a static set-up or
// a lease, none when stopped.
void host_addresses(const char *ifname, const Addresses *a) {
    char host[16];
    if (!sal_netif_host_name(ifname, host, sizeof host)) return;
    uint8_t ip[4], mask[4], gw[4] = {0, 0, 0, 0};
    if (a == nullptr || net_util_ip_parse(a->ip, ip) != 0 ||
        net_util_ip_parse(a->mask, mask) != 0) {
        sal_netif_addr_clear(host);
        return;
    }
    net_util_ip_parse(a->gw, gw);
    if (sal_netif_addr_set(host, ip, mask, gw) != 0)
        logger_printf(LOG_LEVEL_WARNING, LOG_MOD_NETWORK, "%s: %s could not be set on %s", ifname,
                      a->ip, host);
}

// A lease from the test's source, else from the servers on the interface's
// Linux interface; false when none came or it is malformed.
bool request_lease(const char *ifname, Addresses &out, uint32_t *lease_secs) {
    net_dhcp_server_fn server = dhcp_server.load();
    net_dhcp_lease lease{};
    char host[16];
    uint8_t mac[6];
    if (server != nullptr) {
        if (server(ifname, &lease) != 0) return false;
    } else if (!sal_netif_host_name(ifname, host, sizeof host) ||
               sal_netif_mac_get(host, mac) != 0 ||
               dhcp_exchange(host, mac, &lease, kDhcpExchangeMs) != 0) {
        return false;
    }
    lease.ip[sizeof lease.ip - 1] = lease.mask[sizeof lease.mask - 1] =
        lease.gw[sizeof lease.gw - 1] = '\0';
    *lease_secs = lease.lease_secs;
    return addresses_parse(lease.ip, lease.mask, lease.gw, out);
}

void dhcp_client_main(void *arg) {
    auto *client = static_cast<DhcpClient *>(arg);
    bool leased = false;
    bool reported_silence = false;
    uint32_t lease_secs = 0;
    for (;;) {
        bool stopping;
        Addresses lease{};
        bool renewing = leased && lease_secs != 0;
        if (!leased || renewing) {
            bool got = request_lease(client->ifname, lease, &lease_secs);
            // A failed renewal keeps the address and tries again later.
            if (renewing && !got) lease_secs = NET_DHCP_RETRY_USECS / 1000000 * 2;
            {
                SalLock hold(table_lock());
                stopping = client->stop;
                Interface *itf = find(client->ifname);
                if (!stopping && got && itf != nullptr) {
                    set_addresses(itf->info, NET_IF_DHCP_BOUND, lease);
                    leased = true;
                }
            }
            if (stopping) break;
            if (got) host_addresses(client->ifname, &lease);
            if (got && !renewing) {
                sal_printf("DHCP: %s leased address %s, mask %s, gateway %s\n", client->ifname,
                           lease.ip, lease.mask, lease.gw);
                logger_printf(LOG_LEVEL_INFO, LOG_MOD_DHCP, "%s leased address %s/%s gateway %s",
                              client->ifname, lease.ip, lease.mask, lease.gw);
            } else if (!reported_silence) {
                logger_printf(LOG_LEVEL_WARNING, LOG_MOD_DHCP,
                              "No DHCP server answered for %s; trying again", client->ifname);
                reported_silence = true;
            }
        }
        int wait = leased ? sal_sem_FOREVER : NET_DHCP_RETRY_USECS;
        if (leased && lease_secs != 0) {
            uint32_t half = lease_secs / 2 < kRenewMaxSecs ? lease_secs / 2 : kRenewMaxSecs;
            wait = static_cast<int>((half ? half : 1) * 1000000u);
        }
        sal_sem_take(client->wake, wait);
        {
            SalLock hold(table_lock());
            stopping = client->stop;
        }
        if (stopping) break;
    }
    sal_sem_destroy(client->wake);
    sal_free(client);
}

int start_dhcp_locked(Interface &itf) {
    auto *client = static_cast<DhcpClient *>(sal_alloc(sizeof(DhcpClient), "dhcp client"));
    if (client == nullptr) return -1;
    std::snprintf(client->ifname, sizeof client->ifname, "%s", itf.info.name);
    client->wake = sal_sem_create("dhcp client", sal_sem_BINARY, 0);
    client->stop = false;
    if (client->wake == nullptr ||
        sal_thread_create("dhcp client", 16384, 50, dhcp_client_main, client) == SAL_THREAD_ERROR) {
        if (client->wake) sal_sem_destroy(client->wake);
        sal_free(client);
        return -1;
    }
    itf.client = client;
    set_addresses(itf.info, NET_IF_DHCP_WAIT, Addresses{});
    return 0;
}

}  // namespace

net_dhcp_server_fn net_util_host_dhcp_server_set(net_dhcp_server_fn fn) {
    return dhcp_server.exchange(fn);
}

int net_util_init(void) {
    static sal_mutex_t userinfo = sal_mutex_create("net_util_userinfo");
    net_util_userinfo = userinfo;
    return userinfo && table_lock() ? 0 : -1;
}

int net_util_if_info_get(const char *name, net_if_info *rec, int flag) {
    (void)flag;
    SalLock hold(table_lock());
    Interface *itf = find(name);
    if (itf == nullptr) return -1;
    if (rec != nullptr) *rec = itf->info;
    return itf->info.mode;
}

int net_util_if_stop(const char *name) {
    {
        SalLock hold(table_lock());
        Interface *itf = find(name);
        if (itf == nullptr) return -1;
        stop_locked(*itf);
    }
    host_addresses(name, nullptr);
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_NETWORK, "Interface %s stopped", name);
    return 0;
}

int net_util_if_start(const char *name, int mode, const char *ip, const char *mask,
                      const char *gw) {
    Addresses a{};
    if (mode == NET_IF_MODE_STATIC && !addresses_parse(ip, mask, gw, a)) return -1;
    if (mode != NET_IF_MODE_STATIC && mode != NET_IF_MODE_DHCP) return -1;
    {
        SalLock hold(table_lock());
        Interface *itf = find(name);
        if (itf == nullptr) return -1;
        stop_locked(*itf);
        if (mode == NET_IF_MODE_STATIC) {
            set_addresses(itf->info, NET_IF_STATIC, a);
        } else if (start_dhcp_locked(*itf) != 0) {
            return -1;
        }
    }
    host_addresses(name, mode == NET_IF_MODE_STATIC ? &a : nullptr);
    if (mode == NET_IF_MODE_STATIC) {
        logger_printf(LOG_LEVEL_INFO, LOG_MOD_NETWORK, "Interface %s: address %s/%s gateway %s",
                      name, a.ip, a.mask, a.gw);
    } else {
        logger_printf(LOG_LEVEL_INFO, LOG_MOD_NETWORK, "Interface %s: DHCP client started", name);
    }
    return 0;
}

// ---- "et0config" and "et1config" settings items: {u32 set-up (0 static,
// 1 DHCP, 2 down), IP address, mask and gateway as 16-byte texts}.
namespace {

constexpr uint32_t kIfConfigVersion = 0x88740001;
constexpr uint32_t kSetupStatic = 0, kSetupDhcp = 1, kSetupDown = 2;
constexpr int kIfConfigBytes = 4 + 3 * NET_IF_ADDR_SIZE;

int if_config_save(const char *name, settings_medium *m) {
    net_if_info info{};
    int state = net_util_if_info_get(name, &info, 0);
    uint32_t setup = state == NET_IF_STATIC                                    ? kSetupStatic
                     : state == NET_IF_DHCP_WAIT || state == NET_IF_DHCP_BOUND ? kSetupDhcp
                                                                               : kSetupDown;
    if (medium_write_u32(m, setup) || medium_write_bytes(m, info.ip, sizeof info.ip) ||
        medium_write_bytes(m, info.mask, sizeof info.mask) ||
        medium_write_bytes(m, info.gw, sizeof info.gw))
        return -1;
    return kIfConfigBytes;
}

int if_config_load(const char *name, settings_medium *m) {
    uint32_t setup = 0;
    Addresses a{};
    if (medium_read_u32(m, &setup) || medium_read_bytes(m, a.ip, sizeof a.ip) ||
        medium_read_bytes(m, a.mask, sizeof a.mask) || medium_read_bytes(m, a.gw, sizeof a.gw))
        return -1;
    a.ip[sizeof a.ip - 1] = a.mask[sizeof a.mask - 1] = a.gw[sizeof a.gw - 1] = '\0';
    if (setup == kSetupDown) return net_util_if_stop(name) == 0 ? kIfConfigBytes : -1;
    if (setup != kSetupStatic && setup != kSetupDhcp) return -1;
    int mode = setup == kSetupStatic ? NET_IF_MODE_STATIC : NET_IF_MODE_DHCP;
    return net_util_if_start(name, mode, a.ip, a.mask, a.gw) == 0 ? kIfConfigBytes : -1;
}

int if_config_item(const char *name, int op, settings_medium *m) {
    switch (op) {
        case SETTINGS_OP_LOAD:
            return if_config_load(name, m);
        case SETTINGS_OP_SAVE:
            return if_config_save(name, m);
        case SETTINGS_OP_VERSION:
            return static_cast<int>(kIfConfigVersion);
        case SETTINGS_OP_CHECK:
            return settings_check_record_size(m, kIfConfigVersion, kIfConfigBytes);
        default:
            return -1;
    }
}

}  // namespace

int settings_item_et0config(int op, settings_medium *m) {
    return if_config_item("eth0", op, m);
}

int settings_item_et1config(int op, settings_medium *m) {
    return if_config_item("eth1", op, m);
}
