// TAP back-end of the stack shim: the Linux kernel in the firmware's network
// namespace is the TCP/IP stack of an interface.
#include <fcntl.h>
#include <net/if.h>
#include <linux/if_tun.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "eth_drv.h"
#include "pkt.h"
#include "sal.h"
#include "unique_fd.h"

namespace {

struct Tap {
    eth_drv_sc *sc;
    int fd;
    unsigned long next_key;
};

void to_kernel(void *ctx, const uint8_t *frame, size_t len) {
    auto *tap = static_cast<Tap *>(ctx);
    // A full TAP queue loses the frame, as a busy wire would.
    ssize_t n = write(tap->fd, frame, len);
    (void)n;
}

void from_kernel(void *arg) {
    auto *tap = static_cast<Tap *>(arg);
    static uint8_t frame[PKT_DATA_MAX];
    for (;;) {
        ssize_t n = read(tap->fd, frame, sizeof frame);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        if (n > 0) eth_drv_host_send(tap->sc, frame, static_cast<size_t>(n), tap->next_key++);
    }
}

int fail(char *error, size_t size, const char *what) {
    if (error != nullptr && size > 0) std::snprintf(error, size, "%s: %s", what, strerror(errno));
    return -1;
}

// Multicast sends of the kernel are dropped by the driver: no IPv6 here.
void ipv6_off(const char *name) {
    char path[96];
    std::snprintf(path, sizeof path, "/proc/sys/net/ipv6/conf/%s/disable_ipv6", name);
    UniqueFd fd(open(path, O_WRONLY | O_CLOEXEC));
    if (fd.valid() && write(fd.get(), "1", 1) < 0) return;
}

}  // namespace

int eth_drv_host_tap_attach(eth_drv_sc *sc, const char *tap_name, char *error, size_t size) {
    if (sc == nullptr || sc->host == nullptr || tap_name == nullptr || *tap_name == '\0' ||
        std::strlen(tap_name) >= IFNAMSIZ) {
        errno = EINVAL;
        return fail(error, size, "TAP back-end");
    }
    UniqueFd fd(open("/dev/net/tun", O_RDWR | O_CLOEXEC));
    if (!fd.valid()) return fail(error, size, "/dev/net/tun");
    ifreq ifr{};
    ifr.ifr_flags = IFF_TAP | IFF_NO_PI;
    std::snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "%s", tap_name);
    if (ioctl(fd.get(), TUNSETIFF, &ifr) != 0) return fail(error, size, tap_name);

    UniqueFd ctl(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!ctl.valid()) return fail(error, size, "socket");
    ifreq hw{};
    std::snprintf(hw.ifr_name, sizeof hw.ifr_name, "%s", tap_name);
    hw.ifr_hwaddr.sa_family = 1;  // ARPHRD_ETHER
    std::memcpy(hw.ifr_hwaddr.sa_data, sc->enaddr, 6);
    if (ioctl(ctl.get(), SIOCSIFHWADDR, &hw) != 0) return fail(error, size, "MAC address");
    ipv6_off(tap_name);
    ifreq up{};
    std::snprintf(up.ifr_name, sizeof up.ifr_name, "%s", tap_name);
    if (ioctl(ctl.get(), SIOCGIFFLAGS, &up) != 0) return fail(error, size, "flags");
    up.ifr_flags = static_cast<short>(up.ifr_flags | IFF_UP);
    if (ioctl(ctl.get(), SIOCSIFFLAGS, &up) != 0) return fail(error, size, "up");

    // Lives as long as the program, like the interface.
    auto *tap = new Tap{sc, fd.release(), 1};
    eth_drv_host_sink_set(sc, to_kernel, tap);
    if (sal_thread_create("mgmt tap", 16384, 50, from_kernel, tap) == SAL_THREAD_ERROR) {
        eth_drv_host_sink_set(sc, nullptr, nullptr);
        close(tap->fd);
        delete tap;
        errno = EAGAIN;
        return fail(error, size, "thread");
    }
    return 0;
}
