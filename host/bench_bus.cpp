// Register reads per second through the firmware's own register read
// (drv_reg_read) on the 52-port board, over the pin-level serial bus and over
// the direct path. Prints figures only: by the wall clock and by the thread's
// CPU time (the steadier figure on a busy machine).
//   bench_bus [READS]   (default 100000 per register and path)
#include <time.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "bde.h"
#include "board_host.h"
#include "chipdata/chipdata.h"
#include "drv_reg.h"
#include "soc.h"
#include "soc_sysconf.h"
#include "tarn_bus.h"

namespace {

struct Target {
    const char *name;
    uint32_t reg;
};

// A one-byte, a six-byte and an eight-byte register.
constexpr Target kTargets[] = {
    {"MST_CON", R_MST_CON},
    {"LNKSTS", R_LNKSTS},
    {"RXOCTETS", R_RXOCTETS},
};

double cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void forget_board() {
    soc_host_forget_units();
    sysconf_host_forget();
    board_host_stop();
    bde_switch_access_register(nullptr);
}

bool start_board(const char *bus) {
    char error[200] = "";
    if (board_host_start("52", bus, error, sizeof error) != 0) {
        std::fprintf(stderr, "bench_bus: %s\n", error);
        return false;
    }
    tarn_bus_register();
    if (sysconf_init() != 0 || sysconf_probe() != 0 || sysconf_attach(0) < 0) {
        std::fprintf(stderr, "bench_bus: unit 0 not attached over %s\n", bus);
        return false;
    }
    return true;
}

bool run(const char *bus, long reads) {
    if (!start_board(bus)) return false;
    for (const Target &t : kTargets) {
        uint32_t addr = drv_reg_addr(0, t.reg, 0, 0);
        int len = drv_reg_length_get(0, t.reg);
        uint8_t buf[8] = {};
        if (drv_reg_read(0, addr, buf, len) != 0) {
            std::fprintf(stderr, "bench_bus: reading %s failed\n", t.name);
            return false;
        }
        auto start = std::chrono::steady_clock::now();
        double cpu_start = cpu_seconds();
        for (long i = 0; i < reads; i++)
            drv_reg_read(0, addr, buf, len);
        double cpu = cpu_seconds() - cpu_start;
        double secs =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("  %-6s %-9s %d bytes  %10.0f reads/s  %7.3f us/read  (CPU %7.3f us/read)\n",
                    bus, t.name, len, reads / secs, secs * 1e6 / reads, cpu * 1e6 / reads);
    }
    forget_board();
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    long reads = argc > 1 ? std::atol(argv[1]) : 100000;
    if (reads <= 0) {
        std::fprintf(stderr, "usage: bench_bus [READS]\n");
        return 2;
    }
    std::printf("Register reads through drv_reg_read, 52-port board, %ld reads each\n", reads);
    if (!run("pins", reads) || !run("direct", reads)) return 1;
    return 0;
}
