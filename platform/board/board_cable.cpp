// What is plugged into the simulated board's ports from the host side: a
// cable of a known length and faults for the cable tests, and the fibre of a
// copper/fibre port, which may appear a while after start-up so that the
// PHY's medium switch can be watched.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "board_host.h"
#include "sal.h"
#include "sim/board.h"
#include "sim/host_binding.h"

namespace {

int fail(char *error, size_t size, const std::string &text) {
    if (error != nullptr && size > 0) std::snprintf(error, size, "%s", text.c_str());
    return -1;
}

// A number of metres 0-1000 from text; false when it is none.
bool metres_of(const std::string &text, int *metres) {
    char *end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || n < 0 || n > 1000) return false;
    *metres = static_cast<int>(n);
    return true;
}

bool fault_of(const std::string &text, sim::PairFault *fault) {
    constexpr std::pair<const char *, sim::PairFault> kFaults[] = {
        {"open", sim::PairFault::Open},
        {"short", sim::PairFault::Short},
        {"unknown", sim::PairFault::Unknown},
    };
    for (const auto &[name, f] : kFaults) {
        if (text == name) {
            *fault = f;
            return true;
        }
    }
    return false;
}

struct PairFaultSpec {
    int pair;
    sim::PairFault fault;
    int metres;
};

// "B=open@12": pair B open at 12 m.
bool pair_fault_of(const std::string &text, PairFaultSpec *out) {
    const auto eq = text.find('='), at = text.find('@');
    if (eq != 1 || at == std::string::npos || at < eq) return false;
    const char pair = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (pair < 'A' || pair > 'D') return false;
    out->pair = pair - 'A';
    return fault_of(text.substr(eq + 1, at - eq - 1), &out->fault) &&
           metres_of(text.substr(at + 1), &out->metres);
}

struct FiberPlug {
    int chip_port;
    int speed;
    uint32_t up_ms;
    uint32_t gone_ms;  // 0: stays
};

void plug_fiber_later(void *arg) {
    const FiberPlug plug = *static_cast<FiberPlug *>(arg);
    delete static_cast<FiberPlug *>(arg);
    sal_usleep(plug.up_ms * 1000);
    if (sim::Board *board = sim::boundBoard())
        board->chip().linkUp(plug.chip_port, sim::LinkPartner::fiber(plug.speed));
    if (plug.gone_ms == 0) return;
    sal_usleep((plug.gone_ms - plug.up_ms) * 1000);
    if (sim::Board *board = sim::boundBoard()) board->chip().fiberDown(plug.chip_port);
}

}  // namespace

int board_host_cable_set(int user_port, const char *cable, char *error, size_t size) {
    const int chip_port = board_host_chip_port(user_port, error, size);
    if (chip_port < 0) return -1;
    sim::Board *board = sim::boundBoard();
    const std::string text = cable ? cable : "";
    const auto slash = text.find('/');
    const std::string length = text.substr(0, slash);
    int metres = -1;
    if (!length.empty() && !metres_of(length, &metres))
        return fail(error, size, "cable length must be 0-1000 metres, not '" + length + "'");
    std::vector<PairFaultSpec> faults;
    for (auto at = slash; at != std::string::npos;) {
        const auto next = text.find('/', at + 1);
        const std::string item =
            text.substr(at + 1, next == std::string::npos ? next : next - at - 1);
        PairFaultSpec f{};
        if (!pair_fault_of(item, &f))
            return fail(error, size,
                        "a pair fault is PAIR=FAULT@METRES (pair A-D; open, short or unknown; "
                        "0-1000 m), not '" +
                            item + "'");
        faults.push_back(f);
        at = next;
    }
    if (metres < 0 && faults.empty())
        return fail(error, size, "the cable needs a length or a fault");
    sim::Chip &chip = board->chip();
    for (const PairFaultSpec &f : faults)
        chip.cableFaultSet(chip_port, f.pair, f.fault, f.metres);
    if (metres >= 0) {
        chip.cableSet(chip_port, metres);
        chip.linkUp(chip_port);
    }
    return 0;
}

int board_host_fiber_set(int user_port, int speed, uint32_t up_ms, uint32_t gone_ms, char *error,
                         size_t size) {
    const int chip_port = board_host_chip_port(user_port, error, size);
    if (chip_port < 0) return -1;
    sim::Board *board = sim::boundBoard();
    const sim::PhyKind kind = board->chip().phyModel(chip_port).kind();
    if (kind != sim::PhyKind::GigabitCombo && kind != sim::PhyKind::GigabitDualMedia)
        return fail(error, size,
                    "port " + std::to_string(user_port) +
                        " has no fibre side (choose a 640x or 6401s gigabit PHY)");
    if (speed != 1000 && speed != 100) return fail(error, size, "a fibre runs at 1000 or 100 Mb/s");
    if (speed == 100 && kind != sim::PhyKind::GigabitCombo)
        return fail(error, size,
                    "port " + std::to_string(user_port) + " takes no 100BASE-FX (a 640x PHY does)");
    if (gone_ms != 0 && gone_ms <= up_ms)
        return fail(error, size, "the fibre must go after it came");
    // A port with a fibre socket has its PHY's fibre interface wired.
    if (kind == sim::PhyKind::GigabitCombo) board->chip().fiberStrapSet(chip_port);
    if (up_ms == 0 && gone_ms == 0) {
        board->chip().linkUp(chip_port, sim::LinkPartner::fiber(speed));
        return 0;
    }
    auto *plug = new FiberPlug{chip_port, speed, up_ms, gone_ms};
    if (sal_thread_create("fiberPlug", 16384, 50, plug_fiber_later, plug) == SAL_THREAD_ERROR) {
        delete plug;
        return fail(error, size, "cannot start the fibre plug thread");
    }
    return 0;
}
