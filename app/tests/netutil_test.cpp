// Network utilities: address parsing, static and DHCP set-up of the
// management interfaces, and their settings items.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "app_host.h"
#include "app_test_env.h"
#include "net_util.h"
#include "sal_host.h"
#include "sal_netif.h"
#include "unique_fd.h"
#include "settings.h"

namespace {

using app_test::advance_until;
using app_test::eventually;

std::string ip_of(const char *text) {
    uint8_t a[4] = {9, 9, 9, 9};
    if (net_util_ip_parse(text, a) != 0) return "bad";
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
           std::to_string(a[3]);
}

TEST(netutil_parse, IpAddressNeedsFourPartsOf0To255) {
    EXPECT_EQ(ip_of("192.168.1.10"), "192.168.1.10");
    EXPECT_EQ(ip_of("0.0.0.0"), "0.0.0.0");
    EXPECT_EQ(ip_of("255.255.255.255"), "255.255.255.255");
    EXPECT_EQ(ip_of("010.1.1.1"), "10.1.1.1");
    for (const char *bad : {"1.2.3", "256.0.0.1", "1.2.3.4.5", "1..2.3", "a.b.c.d", "", " 1.2.3.4",
                            "1.2.3.4 ", "1.2.3.-4", "1.2.3.0004", "1.2.3.4\n"}) {
        EXPECT_EQ(ip_of(bad), "bad") << bad;
    }
    uint8_t a[4];
    EXPECT_LT(net_util_ip_parse(nullptr, a), 0);
}

TEST(netutil_parse, MacAddressNeedsSixHexGroupsSeparatedByDashes) {
    uint8_t mac[6] = {};
    ASSERT_EQ(net_util_mac_parse("0-1-2-3-4-5", mac), 0);
    EXPECT_EQ(std::memcmp(mac, "\x00\x01\x02\x03\x04\x05", 6), 0);
    ASSERT_EQ(net_util_mac_parse("00-1a-2B-ff-04-C5", mac), 0);
    EXPECT_EQ(std::memcmp(mac, "\x00\x1a\x2b\xff\x04\xc5", 6), 0);
    for (const char *bad : {"00:11:22:33:44:55", "", "0-1-2-3-4", "0-1-2-3-4-5-6", "000-1-2-3-4-5",
                            "0-1-2-3-4-5-", "g-1-2-3-4-5", "0--1-2-3-4", " 0-1-2-3-4-5"}) {
        EXPECT_EQ(net_util_mac_parse(bad, mac), -1) << bad;
    }
    EXPECT_EQ(net_util_mac_parse(nullptr, mac), -1);
}

// ---- interfaces

std::atomic<int> lease_requests{0};
std::mutex client_lock;
std::string client_thread;

int lease_server(const char *ifname, net_dhcp_lease *lease) {
    char name[32];
    {
        std::lock_guard<std::mutex> g(client_lock);
        client_thread = sal_thread_name(sal_thread_self(), name, sizeof name);
    }
    lease_requests++;
    if (std::strcmp(ifname, "eth1") != 0) return -1;
    std::snprintf(lease->ip, sizeof lease->ip, "10.0.0.5");
    std::snprintf(lease->mask, sizeof lease->mask, "255.255.255.0");
    std::snprintf(lease->gw, sizeof lease->gw, "10.0.0.1");
    return 0;
}

int silent_server(const char *, net_dhcp_lease *) {
    lease_requests++;
    return -1;
}

class netutil_if : public ::testing::Test {
  protected:
    void SetUp() override {
        lease_requests = 0;
        ASSERT_EQ(net_util_init(), 0);
    }
    void TearDown() override {
        net_util_if_stop("eth0");
        net_util_if_stop("eth1");
        net_util_host_dhcp_server_set(nullptr);
        sal_clock_real();
    }
    static net_if_info info(const char *name) {
        net_if_info rec{};
        rec.mode = net_util_if_info_get(name, &rec, 0);
        return rec;
    }
};

TEST_F(netutil_if, StaticAddressUntilStopped) {
    ASSERT_EQ(net_util_if_start("eth1", NET_IF_MODE_STATIC, "192.168.001.10", "255.255.255.0",
                                "192.168.1.1"),
              0);
    net_if_info rec = info("eth1");
    EXPECT_STREQ(rec.name, "eth1");
    EXPECT_EQ(rec.mode, NET_IF_STATIC);
    EXPECT_STREQ(rec.ip, "192.168.1.10");
    EXPECT_STREQ(rec.mask, "255.255.255.0");
    EXPECT_STREQ(rec.gw, "192.168.1.1");

    // Refused set-ups change nothing.
    EXPECT_EQ(net_util_if_start("eth1", NET_IF_MODE_STATIC, "1.2.3", "255.0.0.0", ""), -1);
    EXPECT_EQ(net_util_if_start("eth1", 7, "1.2.3.4", "255.0.0.0", ""), -1);
    EXPECT_EQ(net_util_if_start("eth2", NET_IF_MODE_STATIC, "1.2.3.4", "255.0.0.0", ""), -1);
    EXPECT_STREQ(info("eth1").ip, "192.168.1.10");
    EXPECT_EQ(net_util_if_info_get("eth2", nullptr, 0), -1);

    ASSERT_EQ(net_util_if_start("eth0", NET_IF_MODE_STATIC, "127.0.0.1", "255.0.0.0", nullptr), 0);
    EXPECT_STREQ(info("eth0").gw, "0.0.0.0");

    EXPECT_EQ(net_util_if_stop("eth1"), 0);
    EXPECT_EQ(info("eth1").mode, NET_IF_DOWN);
    EXPECT_STREQ(info("eth1").ip, "");
    EXPECT_EQ(net_util_if_stop("eth9"), -1);
}

TEST_F(netutil_if, DhcpClientTakesTheLeaseOffered) {
    net_util_host_dhcp_server_set(lease_server);
    app_test::ConsoleCapture capture;
    ASSERT_EQ(net_util_if_start("eth1", NET_IF_MODE_DHCP, nullptr, nullptr, nullptr), 0);
    ASSERT_TRUE(eventually([] { return info("eth1").mode == NET_IF_DHCP_BOUND; }));
    net_if_info rec = info("eth1");
    EXPECT_STREQ(rec.ip, "10.0.0.5");
    EXPECT_STREQ(rec.mask, "255.255.255.0");
    EXPECT_STREQ(rec.gw, "10.0.0.1");
    {
        std::lock_guard<std::mutex> g(client_lock);
        EXPECT_EQ(client_thread, "dhcp client");
    }
    EXPECT_TRUE(eventually([&capture] {
        return capture.text().find("DHCP: eth1 leased address 10.0.0.5") != std::string::npos;
    })) << capture.text();
    EXPECT_EQ(net_util_if_stop("eth1"), 0);
    EXPECT_EQ(info("eth1").mode, NET_IF_DOWN);
}

// The IPv4 address of a Linux interface, "" when it has none.
std::string host_address(const char *name) {
    UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ifreq ifr{};
    std::snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "%s", name);
    if (ioctl(fd.get(), SIOCGIFADDR, &ifr) != 0) return "";
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(&ifr.ifr_addr)->sin_addr, text,
              sizeof text);
    return text;
}

TEST_F(netutil_if, LinuxInterfaceFollowsTheStaticOrLeasedAddress) {
    if (access("/dev/net/tun", R_OK | W_OK) != 0) GTEST_SKIP() << "no /dev/net/tun";
    UniqueFd home(open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(home.valid());
    if (unshare(CLONE_NEWNET) != 0) GTEST_SKIP() << "needs CAP_NET_ADMIN";
    UniqueFd tap(open("/dev/net/tun", O_RDWR | O_CLOEXEC));
    ifreq ifr{};
    ifr.ifr_flags = IFF_TAP | IFF_NO_PI;
    std::snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "mgmt-test");
    ASSERT_EQ(ioctl(tap.get(), TUNSETIFF, &ifr), 0);
    UniqueFd ctl(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ioctl(ctl.get(), SIOCGIFFLAGS, &ifr);
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
    ASSERT_EQ(ioctl(ctl.get(), SIOCSIFFLAGS, &ifr), 0);
    sal_netif_map("eth1", "mgmt-test");

    ASSERT_EQ(net_util_if_start("eth1", NET_IF_MODE_STATIC, "192.168.1.10", "255.255.255.0", ""),
              0);
    EXPECT_EQ(host_address("mgmt-test"), "192.168.1.10");
    net_util_host_dhcp_server_set(lease_server);
    ASSERT_EQ(net_util_if_start("eth1", NET_IF_MODE_DHCP, nullptr, nullptr, nullptr), 0);
    EXPECT_TRUE(eventually([] { return host_address("mgmt-test") == "10.0.0.5"; }));
    EXPECT_EQ(net_util_if_stop("eth1"), 0);
    EXPECT_EQ(host_address("mgmt-test"), "");

    sal_netif_map("eth1", nullptr);
    ASSERT_EQ(setns(home.get(), CLONE_NEWNET), 0);
}

TEST_F(netutil_if, DhcpClientWithoutALeaseKeepsAsking) {
    sal_clock_manual(sal_clock_usecs64());
    net_util_host_dhcp_server_set(silent_server);
    ASSERT_EQ(net_util_if_start("eth1", NET_IF_MODE_DHCP, nullptr, nullptr, nullptr), 0);
    ASSERT_TRUE(eventually([] { return lease_requests >= 1; }));
    EXPECT_EQ(info("eth1").mode, NET_IF_DHCP_WAIT);
    EXPECT_STREQ(info("eth1").ip, "");
    ASSERT_TRUE(advance_until([] { return lease_requests >= 2; }, NET_DHCP_RETRY_USECS, 20));
    EXPECT_EQ(info("eth1").mode, NET_IF_DHCP_WAIT);

    // A lease that comes later is taken.
    net_util_host_dhcp_server_set(lease_server);
    ASSERT_TRUE(advance_until([] { return info("eth1").mode == NET_IF_DHCP_BOUND; },
                              NET_DHCP_RETRY_USECS, 20));
}

TEST_F(netutil_if, UserInfoLockExists) {
    ASSERT_NE(net_util_userinfo, nullptr);
    EXPECT_EQ(sal_mutex_take(net_util_userinfo, NET_UTIL_USERINFO_WAIT_USECS), 0);
    EXPECT_EQ(sal_mutex_give(net_util_userinfo), 0);
}

// ---- settings items of the interfaces

class netutil_config : public app_test::FlashFixture {
  protected:
    void TearDown() override {
        net_util_if_stop("eth0");
        net_util_if_stop("eth1");
        net_util_host_dhcp_server_set(nullptr);
        FlashFixture::TearDown();
    }
};

TEST_F(netutil_config, InterfaceSetUpsRoundTripThroughNvram) {
    ASSERT_EQ(net_util_init(), 0);
    ASSERT_EQ(net_util_if_start("eth1", NET_IF_MODE_STATIC, "10.1.2.3", "255.255.0.0", "10.1.0.1"),
              0);
    net_util_host_dhcp_server_set(lease_server);
    ASSERT_EQ(net_util_if_start("eth0", NET_IF_MODE_DHCP, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(settings_save_group(SETTINGS_GROUP_NETWORK), 1);

    net_util_if_stop("eth0");
    net_util_if_start("eth1", NET_IF_MODE_STATIC, "172.16.0.1", "255.255.255.0", "");
    reopen_flash();
    ASSERT_EQ(settings_load_group(SETTINGS_GROUP_NETWORK), 1);
    net_if_info rec{};
    EXPECT_EQ(net_util_if_info_get("eth1", &rec, 0), NET_IF_STATIC);
    EXPECT_STREQ(rec.ip, "10.1.2.3");
    EXPECT_STREQ(rec.gw, "10.1.0.1");
    EXPECT_GE(net_util_if_info_get("eth0", &rec, 0), NET_IF_DHCP_WAIT);
    EXPECT_NE(net_util_if_info_get("eth0", &rec, 0), NET_IF_STATIC);

    // A stored static address that does not parse is refused.
    ASSERT_EQ(nvram_set("et1config", std::string(104, 'f').c_str()), 0);
    EXPECT_EQ(settings_load_group(SETTINGS_GROUP_NETWORK), 0);
    EXPECT_EQ(net_util_if_info_get("eth1", &rec, 0), NET_IF_STATIC);
    EXPECT_STREQ(rec.ip, "10.1.2.3");
}

TEST_F(netutil_config, ShortStoredRecordIsReplacedByTheFactoryDefault) {
    ASSERT_EQ(net_util_init(), 0);
    ASSERT_EQ(settings_init(), 0);
    ASSERT_EQ(net_util_if_start("eth1", NET_IF_MODE_STATIC, "10.9.9.9", "255.0.0.0", ""), 0);
    std::vector<uint8_t> factory(SETTINGS_IMAGE_MAX);
    ASSERT_GT(settings_image_build(factory.data(), factory.size()), 0);
    settings_factory_image_set(factory.data());
    ASSERT_EQ(settings_save_group(SETTINGS_GROUP_NETWORK), 1);
    ASSERT_EQ(net_util_if_stop("eth1"), 0);
    // The right version, but a record of four bytes.
    ASSERT_EQ(nvram_set("et1config", "00000000"), 0);

    EXPECT_EQ(settings_load_group(SETTINGS_GROUP_NETWORK), 0);
    net_if_info rec{};
    EXPECT_EQ(net_util_if_info_get("eth1", &rec, 0), NET_IF_STATIC);
    EXPECT_STREQ(rec.ip, "10.9.9.9");
    // Saved and committed: the next start loads it.
    reopen_flash();
    EXPECT_EQ(settings_load_group(SETTINGS_GROUP_NETWORK), 1);
    settings_factory_image_set(nullptr);
}

}  // namespace
