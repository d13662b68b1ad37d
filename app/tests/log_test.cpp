// Log core and loggers: routing by level mask, line clean-up, names, the RAM
// ring, syslog datagrams and the flash ring.
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <string>
#include <vector>

#include "app_host.h"
#include "app_test_env.h"
#include "log_gate.h"
#include "logger.h"
#include "nvram.h"

namespace {

using app_test::ConsoleCapture;
using app_test::UdpListener;

std::string read_text(logger *l, uint32_t seq, logger_record *out = nullptr) {
    logger_record rec{seq, -1, -1, 0};
    char text[LOGGER_TEXT_MAX];
    if (l->ops->read(&rec, text, sizeof text, l) <= 0) return "<none>";
    if (out) *out = rec;
    return text;
}

void remove_all_servers() {
    for (int slot = 0; slot < LOGGER_SYSLOG_SLOTS; slot++)
        logger_syslog_remove(slot);
}

class log_core : public app_test::FlashFixture {
  protected:
    logger *ram = nullptr;
    logger *console = nullptr;
    void SetUp() override {
        FlashFixture::SetUp();
        ASSERT_EQ(logger_init(), 0);
        ram = logger_ram_get();
        console = logger_console_get();
        ASSERT_NE(ram, nullptr);
        ASSERT_NE(console, nullptr);
        ram->ops->clear(ram);
        remove_all_servers();
    }
    uint32_t newest() {
        uint32_t first = 0;
        int n = ram->ops->count(&first, ram);
        return first + static_cast<uint32_t>(n) - 1;
    }
};

TEST_F(log_core, RoutesEachLineToTheLoggersWhoseMaskHasItsLevel) {
    ram->ops->level_mask_set(1u << LOG_LEVEL_ERROR | 1u << LOG_LEVEL_INFO, ram);
    console->ops->level_mask_set(1u << LOG_LEVEL_WARNING, console);
    // The console logger writes to the board's console, not the thread's.
    ConsoleCapture session;
    struct Board {
        std::string out;
        sal_console_ops ops{.ctx = this,
                            .write =
                                [](void *c, const char *buf, size_t len) {
                                    static_cast<Board *>(c)->out.append(buf, len);
                                    return static_cast<int>(len);
                                },
                            .read_line = nullptr};
    } board;
    const sal_console_ops *prev = sal_console_default_set(&board.ops);
    logger_puts(LOG_LEVEL_INFO, LOG_MOD_SYSTEM, "to ram");
    logger_printf(LOG_LEVEL_WARNING, LOG_MOD_VLAN, "to %s", "console");
    logger_puts(LOG_LEVEL_DEBUG, LOG_MOD_PORT, "nowhere");
    sal_console_default_set(prev);

    uint32_t first = 0;
    EXPECT_EQ(ram->ops->count(&first, ram), 1);
    logger_record rec{};
    EXPECT_EQ(read_text(ram, first, &rec), "to ram");
    EXPECT_EQ(rec.level, LOG_LEVEL_INFO);
    EXPECT_EQ(rec.module, LOG_MOD_SYSTEM);
    EXPECT_EQ(board.out, "[WARNING] VLAN: to console\n");
    EXPECT_EQ(session.text(), "");
    EXPECT_EQ(ram->ops->level_mask_get(ram), 0x5u);
}

TEST_F(log_core, LevelsAboveSevenAreLoggedAsSeven) {
    ram->ops->level_mask_set(0x80, ram);
    sal_wallclock_set(1146441600);  // 2006-05-01 00:00:00
    logger_printf(9, LOG_MOD_GENERAL, "high");
    logger_record rec{};
    EXPECT_EQ(read_text(ram, newest(), &rec), "high");
    EXPECT_EQ(rec.level, 7);
    EXPECT_GE(rec.time, 1146441600u);
    EXPECT_LT(rec.time, 1146441600u + 60);
}

TEST_F(log_core, LineBreaksAndOverlongTextEndOnOneCutLine) {
    ram->ops->level_mask_set(0xFF, ram);
    logger_puts(LOG_LEVEL_ERROR, LOG_MOD_WEB, "first\r\nsecond\tthird\n");
    EXPECT_EQ(read_text(ram, newest()), "first  second third");
    std::string longer(400, 'x');
    logger_printf(LOG_LEVEL_ERROR, LOG_MOD_WEB, "%s", longer.c_str());
    EXPECT_EQ(read_text(ram, newest()), std::string(LOGGER_TEXT_MAX - 1, 'x'));
    logger_puts(LOG_LEVEL_ERROR, LOG_MOD_WEB, nullptr);
    EXPECT_EQ(read_text(ram, newest()), "");
}

// A gate's lines, as the RAM ring holds them, and the manual clock it runs on.
class log_gate_test : public log_core {
  protected:
    uint32_t from = 0;
    void SetUp() override {
        log_core::SetUp();
        sal_clock_manual(1000000);
        from = newest();
    }
    void TearDown() override { sal_clock_real(); }
    static int send(log_gate &gate, log_source source, const char *text, int lines = 1) {
        int written = 0;
        for (int i = 0; i < lines; i++)
            written += log_gate_puts(&gate, source, LOG_LEVEL_WARNING, LOG_MOD_DOS, text);
        return written;
    }
    void advance(uint32_t secs) { sal_clock_advance(secs * 1000000ull); }
    // The lines sent that the written ones stand for: each written, the
    // ones its count folded, and the shared budget's counts.
    static uint32_t accounted(const std::vector<std::string> &lines) {
        uint32_t counted = 0;
        const std::regex count(R"(.* \((\d+) more like this folded.*\))");
        const std::regex shared(R"((\d+) lines others caused not logged: .*)");
        for (const std::string &line : lines) {
            std::smatch m;
            if (std::regex_match(line, m, shared))
                counted += std::stoul(m[1]);
            else
                counted += 1 + (std::regex_match(line, m, count) ? std::stoul(m[1]) : 0);
        }
        return counted;
    }
    // The lines written since the test began, once there are `lines` of them.
    std::vector<std::string> written(uint32_t lines) {
        for (int tries = 0; tries < 2000 && newest() - from < lines; tries++)
            usleep(1000);
        std::vector<std::string> out;
        for (uint32_t seq = from + 1; seq <= newest(); seq++)
            out.push_back(read_text(ram, seq));
        return out;
    }
};

// The count names every source it counts, each with its own count; what
// the table has no room for is counted together and said so. A source
// that appears while another's lines fold is named at once (four a
// window), so a flood of ever-new sources is counted, not written.
TEST_F(log_gate_test, TheCountNamesEverySource) {
    static log_gate ports{}, addresses{};
    send(ports, log_source_port(2), "from port 2", 301);
    send(ports, log_source_port(3), "from port 3");
    send(ports, log_source_port(4), "from port 4");
    for (int port = 5; port <= 12; port++)
        send(ports, log_source_port(port), "from another port");
    send(ports, log_source_port(2), "from port 2");
    for (uint32_t host = 2; host <= 9; host++)
        send(addresses, log_source_ipv4(0x7f000000 | host), "from an address", 5);
    EXPECT_EQ(written(10),
              (std::vector<std::string>{
                  "from port 2", "from port 3", "from port 4", "from another port (port 5)",
                  "from another port (port 6)", "from an address (127.0.0.2)",
                  "from an address (127.0.0.3)", "from an address (127.0.0.4)",
                  "from an address (127.0.0.5)", "from an address (127.0.0.6)"}));
    advance(LOG_GATE_WINDOW_SECS);
    const std::vector<std::string> lines = written(12);
    ASSERT_EQ(lines.size(), 12u);
    std::vector<std::string> reports(lines.begin() + 10, lines.end());
    std::sort(reports.begin(), reports.end());
    // The line is the latest of the source folded most; one that does not
    // name its source is given it.
    EXPECT_EQ(
        reports[0],
        "from an address (127.0.0.2) (34 more like this folded: 3 from 127.0.0.2, 4 from "
        "127.0.0.3, 4 from 127.0.0.4, 4 from 127.0.0.5, 19 from other addresses, 127.0.0.6 to "
        "127.0.0.9)");
    EXPECT_EQ(reports[1],
              "from port 2 (306 more like this folded: 300 from port 2, 1 from port 7, "
              "1 from port 8, 1 from port 9, 3 from ports 10-12)");
}

// Kinds that each keep within their own budget still share one: four of
// them, a line each a minute for a day, write at most a quarter of the
// flash ring, and the counts add up to every line sent.
TEST_F(log_gate_test, KindsTogetherShareOneBudget) {
    static log_gate kinds[4]{};
    const int modules[4] = {LOG_MOD_DYNAMICARP, LOG_MOD_SNMPD, LOG_MOD_WEB, LOG_MOD_AUTOVOIP};
    constexpr uint32_t kDay = 86400, kEvery = 61;
    uint32_t sent = 0;
    for (uint32_t t = 0; t < kDay; t += kEvery) {
        for (int k = 0; k < 4; k++) {
            log_gate_puts(&kinds[k], log_source_port(k + 2), LOG_LEVEL_WARNING, modules[k],
                          "a host's line");
            sent++;
            advance(kEvery / 4);
        }
        advance(kEvery % 4);
    }
    log_gates_report_all();
    const std::vector<std::string> lines = written(1);
    EXPECT_LE(lines.size(), 1420u / 4);
    EXPECT_EQ(accounted(lines), sent);
    EXPECT_TRUE(lines.back().find("share (WEB, SNMPD, AUTOVOIP, DYNAMICARP): ") !=
                std::string::npos)
        << lines.back();
}

// A kind's gate lets its burst through (what a notification hangs on)
// whether the shared budget writes the lines or, spent by another kind,
// counts them; every line is still written or counted.
TEST_F(log_gate_test, AKindsBurstPassesItsGateWhenTheSharedBudgetIsSpent) {
    static log_gate flood{.burst = 30}, auth{.burst = 10};
    EXPECT_EQ(send(flood, log_source_port(2), "a reply", 25), 25);
    int passed = 0;
    for (int i = 0; i < 12; i++)
        passed += log_gate_puts(&auth, log_source_ipv4(0x7f000002), LOG_LEVEL_WARNING,
                                LOG_MOD_SNMPD, "a wrong community");
    EXPECT_EQ(passed, 10);
    log_gates_report_all();
    const std::vector<std::string> lines = written(LOG_GATE_SHARED_BURST + 1);
    EXPECT_EQ(accounted(lines), 37u);
}

// A slow stream spends the bucket and then writes only the doubling
// windows' counts: a line a second for an hour leaves some twenty lines,
// and their counts add up to every line sent.
TEST_F(log_gate_test, ASlowStreamWritesItsBurstThenCounts) {
    static log_gate gate{.burst = 10};
    constexpr uint32_t kSecs = 3600;
    for (uint32_t s = 0; s < kSecs; s++) {
        send(gate, log_source_ipv4(0x7f000002), "Bad PDU type received: 0xfa");
        advance(1);
    }
    advance(LOG_GATE_WINDOW_MAX_SECS);
    log_gate_flush(&gate);
    const std::vector<std::string> lines = written(11);
    EXPECT_LE(lines.size(), 20u);
    uint32_t counted = 0;
    const std::regex count(R"(.* \((\d+) more like this folded\))");
    for (const std::string &line : lines) {
        std::smatch m;
        counted += 1 + (std::regex_match(line, m, count) ? std::stoul(m[1]) : 0);
    }
    EXPECT_EQ(counted, kSecs);
}

// A burst writes its first line and folds the rest into one count, N
// counting only the lines not written. A line after a window's end reports
// that window while its deferred report still waits: the window is
// reported once, and the next one, twice as long, at its own end. Quiet
// till the bucket holds a line again, the next is written.
TEST_F(log_gate_test, AWindowIsReportedOnceWithAnExactCount) {
    static log_gate gate{};
    send(gate, log_source_port(6), "port 6", 4);
    static std::atomic<int> held{0};
    held = 1;
    ASSERT_EQ(sal_dpc(
                  [](void *, void *, void *, void *, void *) {
                      held = 2;
                      while (held == 2)
                          usleep(1000);
                  },
                  nullptr, nullptr, nullptr, nullptr, nullptr),
              0);
    for (int tries = 0; tries < 2000 && held != 2; tries++)
        usleep(1000);
    advance(LOG_GATE_WINDOW_SECS);
    send(gate, log_source_port(6), "port 6");
    EXPECT_EQ(written(2).back(), "port 6 (2 more like this folded)");
    held = 0;  // the deferred report of the window now runs
    send(gate, log_source_port(6), "port 6");
    advance(LOG_GATE_WINDOW_SECS);
    send(gate, log_source_port(6), "port 6");
    advance(LOG_GATE_WINDOW_SECS);
    EXPECT_EQ(written(3), (std::vector<std::string>{"port 6", "port 6 (2 more like this folded)",
                                                    "port 6 (2 more like this folded)"}));
    advance(4 * LOG_GATE_REFILL_SECS);
    EXPECT_EQ(send(gate, log_source_port(6), "port 6"), 1);
}

TEST(log_names, LevelAndModuleNames) {
    const char *levels[] = {"ERROR",  "WARNING", "INFO",   "DEBUG",
                            "LOCAL1", "LOCAL2",  "LOCAL3", "LOCAL4"};
    for (int level = 0; level < 8; level++)
        EXPECT_STREQ(logger_level_name(level), levels[level]);
    EXPECT_STREQ(logger_level_name(8), "UNKNOWN");
    EXPECT_STREQ(logger_level_name(-1), "UNKNOWN");

    const std::pair<int, const char *> fixed[] = {
        {33, "GENERAL"},  {34, "SYSTEM"}, {39, "PERSISTENCE"}, {41, "WEB"},        {42, "HTTPD"},
        {44, "SNMPD"},    {45, "RMON"},   {46, "CABLEDIAG"},   {47, "VLAN"},       {48, "PORT"},
        {49, "L2"},       {50, "MIRROR"}, {51, "RATE"},        {52, "QOS"},        {53, "AGING"},
        {54, "TRUNKING"}, {55, "DOS"},    {56, "AUTOVOIP"},    {57, "DYNAMICARP"}, {0, "SDK"},
        {32, "SDK"}};
    for (auto [module, name] : fixed)
        EXPECT_STREQ(logger_module_name(module), name) << module;
    for (int module = 33; module <= 57; module++)
        EXPECT_STRNE(logger_module_name(module), "SDK");
    EXPECT_STREQ(logger_module_name(58), "UNKNOWN");
    EXPECT_STREQ(logger_module_name(-1), "UNKNOWN");
}

using log_ram = log_core;

TEST_F(log_ram, KeepsTheNewestRecordsAndReadsThemBySequence) {
    ram->ops->level_mask_set(1u << LOG_LEVEL_INFO, ram);
    const int total = LOGGER_RAM_RECORDS + 10;
    for (int i = 1; i <= total; i++)
        logger_printf(LOG_LEVEL_INFO, LOG_MOD_L2, "line %d", i);

    uint32_t first = 0;
    ASSERT_EQ(ram->ops->count(&first, ram), LOGGER_RAM_RECORDS);
    uint32_t last = first + LOGGER_RAM_RECORDS - 1;
    EXPECT_EQ(read_text(ram, last), "line " + std::to_string(total));
    EXPECT_EQ(read_text(ram, first), "line 11");
    EXPECT_EQ(read_text(ram, first - 1), "<none>");
    EXPECT_EQ(read_text(ram, last + 1), "<none>");

    logger_record rec{last, -1, -1, 0};
    EXPECT_EQ(ram->ops->read(&rec, nullptr, 0, ram), 1);  // header only
    EXPECT_EQ(rec.module, LOG_MOD_L2);
    char small[5];
    rec.seq = last;
    EXPECT_EQ(ram->ops->read(&rec, small, sizeof small, ram), 1);
    EXPECT_STREQ(small, "line");

    EXPECT_EQ(ram->ops->clear(ram), 0);
    EXPECT_EQ(ram->ops->count(&first, ram), 0);
    EXPECT_EQ(read_text(ram, last), "<none>");
    logger_puts(LOG_LEVEL_INFO, LOG_MOD_L2, "after clear");
    EXPECT_EQ(ram->ops->count(&first, ram), 1);
    EXPECT_EQ(first, last + 1);  // sequence numbers go on
}

using log_syslog = log_core;

TEST_F(log_syslog, SendsAnRfc3164DatagramToTheServer) {
    UdpListener server;
    ASSERT_EQ(logger_syslog_add("collector", "127.0.0.1", server.port, 16), 0);
    sal_wallclock_set(1146441600);  // 2006-05-01 00:00:00
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_SYSTEM, "System init %s\n", "done");
    std::string datagram = server.receive();
    EXPECT_TRUE(std::regex_match(
        datagram, std::regex("<134>May  1 00:00:0\\d switch SYSTEM: System init done")))
        << datagram;

    const char *name = nullptr;
    logger *l = logger_syslog_get(0, &name);
    ASSERT_NE(l, nullptr);
    EXPECT_STREQ(name, "collector");
    int port = 0;
    int facility = 0;
    EXPECT_STREQ(logger_syslog_info(l, &port, &facility), "127.0.0.1");
    EXPECT_EQ(port, server.port);
    EXPECT_EQ(facility, 16);
    EXPECT_EQ(logger_syslog_info(ram, &port, &facility), nullptr);
    EXPECT_EQ(l->ops->count(nullptr, l), 0);
}

TEST_F(log_syslog, ServerLevelMaskSelectsTheLinesSent) {
    UdpListener server;
    int slot = logger_syslog_add("errors", "127.0.0.1", server.port, 23);
    ASSERT_EQ(slot, 0);
    logger *l = logger_syslog_get(slot, nullptr);
    l->ops->level_mask_set(1u << LOG_LEVEL_ERROR, l);
    logger_puts(LOG_LEVEL_INFO, LOG_MOD_QOS, "filtered");
    logger_puts(LOG_LEVEL_ERROR, LOG_MOD_QOS, "sent");
    std::string datagram = server.receive();
    EXPECT_EQ(datagram.rfind("<187>", 0), 0u) << datagram;  // local7 * 8 + err
    EXPECT_NE(datagram.find("QOS: sent"), std::string::npos) << datagram;
}

TEST_F(log_syslog, EachLevelHasItsSyslogSeverity) {
    UdpListener server;
    int slot = logger_syslog_add("levels", "127.0.0.1", server.port, 1);
    ASSERT_EQ(slot, 0);
    logger *l = logger_syslog_get(slot, nullptr);
    l->ops->level_mask_set(0xFF, l);
    const int severity[LOG_LEVEL_COUNT] = {3, 4, 6, 7, 5, 5, 5, 5};
    for (int level = 0; level < LOG_LEVEL_COUNT; level++) {
        logger_puts(level, LOG_MOD_SYSTEM, "x");
        std::string want = "<" + std::to_string(8 + severity[level]) + ">";
        EXPECT_EQ(server.receive().rfind(want, 0), 0u) << logger_level_name(level);
    }
}

TEST_F(log_syslog, FifthServerAndDuplicateNameAreRefused) {
    for (int i = 0; i < LOGGER_SYSLOG_SLOTS; i++) {
        std::string name = "s" + std::to_string(i);
        EXPECT_EQ(logger_syslog_add(name.c_str(), "127.0.0.1", 514, 16), i);
    }
    EXPECT_EQ(logger_syslog_add("s4", "127.0.0.1", 514, 16), -1);
    EXPECT_EQ(logger_syslog_remove(1), 0);
    EXPECT_EQ(logger_syslog_get(1, nullptr), nullptr);
    EXPECT_EQ(logger_syslog_add("s0", "127.0.0.2", 514, 16), -1);
    EXPECT_EQ(logger_syslog_add("s4", "127.0.0.2", 514, 16), 1);
}

TEST_F(log_syslog, BadNameAddressPortOrFacilityIsRefused) {
    EXPECT_EQ(logger_syslog_add(nullptr, "127.0.0.1", 514, 16), -1);
    EXPECT_EQ(logger_syslog_add("", "127.0.0.1", 514, 16), -1);
    EXPECT_EQ(logger_syslog_add("thirteen-char", "127.0.0.1", 514, 16), -1);
    EXPECT_EQ(logger_syslog_add("bad\nname", "127.0.0.1", 514, 16), -1);
    EXPECT_EQ(logger_syslog_add("host", "1.2.3", 514, 16), -1);
    EXPECT_EQ(logger_syslog_add("host", "256.0.0.1", 514, 16), -1);
    EXPECT_EQ(logger_syslog_add("host", nullptr, 514, 16), -1);
    EXPECT_EQ(logger_syslog_add("host", "127.0.0.1", 0, 16), -1);
    EXPECT_EQ(logger_syslog_add("host", "127.0.0.1", 70000, 16), -1);
    EXPECT_EQ(logger_syslog_add("host", "127.0.0.1", 514, 24), -1);
    EXPECT_EQ(logger_syslog_add("host", "127.0.0.1", 514, -1), -1);
    EXPECT_EQ(logger_syslog_add("twelve-chars", "127.0.0.1", 514, 0), 0);
    EXPECT_EQ(logger_syslog_remove(-1), -1);
    EXPECT_EQ(logger_syslog_remove(2), -1);
    EXPECT_EQ(logger_syslog_remove(LOGGER_SYSLOG_SLOTS), -1);
    EXPECT_EQ(logger_syslog_get(LOGGER_SYSLOG_SLOTS, nullptr), nullptr);
}

// The flash ring on a region of two sectors, from the NVRAM keys.
class log_flash : public app_test::FlashFixture {
  protected:
    logger *flash = nullptr;
    void SetUp() override {
        FlashFixture::SetUp();
        ASSERT_EQ(nvram_set("flashlog_size", "0x20000"), 0);
        ASSERT_EQ(nvram_commit(), 0);
    }
    void start() {
        ASSERT_EQ(logger_init(), 0);
        flash = logger_flash_get();
        ASSERT_NE(flash, nullptr);
        flash->ops->level_mask_set(1u << LOG_LEVEL_WARNING, flash);
    }
    void log_lines(int from, int to) {
        for (int i = from; i <= to; i++) {
            logger_printf(LOG_LEVEL_WARNING, LOG_MOD_RMON, "flash %d", i);
            if (i % 32 == 0) {
                ASSERT_EQ(logger_flash_sync(), 0);  // the queue holds 64
            }
        }
        ASSERT_EQ(logger_flash_sync(), 0);
    }
};

TEST_F(log_flash, LinesReachTheFlashAndCanBeCleared) {
    start();
    log_lines(1, 3);
    uint32_t first = 0;
    ASSERT_EQ(flash->ops->count(&first, flash), 3);
    logger_record rec{};
    EXPECT_EQ(read_text(flash, first, &rec), "flash 1");
    EXPECT_EQ(rec.module, LOG_MOD_RMON);
    EXPECT_EQ(rec.level, LOG_LEVEL_WARNING);
    EXPECT_EQ(read_text(flash, first + 2), "flash 3");
    EXPECT_EQ(read_text(flash, first + 3), "<none>");

    EXPECT_EQ(flash->ops->clear(flash), 0);
    EXPECT_EQ(flash->ops->count(&first, flash), 0);
    log_lines(4, 4);
    ASSERT_EQ(flash->ops->count(&first, flash), 1);
    EXPECT_EQ(read_text(flash, first), "flash 4");
}

// Lines the flash cannot take in time are counted before the next it keeps.
TEST_F(log_flash, LinesTheFlashFallsBehindOnAreCounted) {
    start();
    for (int i = 1; i < 200; i++)
        logger_printf(LOG_LEVEL_WARNING, LOG_MOD_RMON, "flash %d", i);
    ASSERT_EQ(logger_flash_sync(), 0);
    log_lines(200, 200);  // with room in the queue again
    uint32_t first = 0;
    const int stored = flash->ops->count(&first, flash);
    int lines = 0;
    for (uint32_t seq = first; seq < first + static_cast<uint32_t>(stored); seq++) {
        const std::string text = read_text(flash, seq);
        lines += text.ends_with(" lines not stored: the flash was behind") ? std::stoi(text) : 1;
    }
    EXPECT_EQ(lines, 200);
}

TEST_F(log_flash, FullRingDropsItsOldestSector) {
    start();
    const uint32_t per_sector = 0x10000 / 276;
    const int total = static_cast<int>(2 * per_sector) + 30;
    log_lines(1, total);
    uint32_t first = 0;
    int count = flash->ops->count(&first, flash);
    EXPECT_EQ(first + static_cast<uint32_t>(count) - 1, static_cast<uint32_t>(total));
    EXPECT_EQ(count, total - static_cast<int>(per_sector) + 1);
    EXPECT_EQ(read_text(flash, first), "flash " + std::to_string(first));
    EXPECT_EQ(read_text(flash, first - 1), "<none>");
    EXPECT_EQ(read_text(flash, static_cast<uint32_t>(total)), "flash " + std::to_string(total));
}

TEST_F(log_flash, RecordsWrittenBeforeARestartAreFoundAgain) {
    // A child process stands for the run before the restart.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        logger_init();
        logger *f = logger_flash_get();
        f->ops->level_mask_set(1u << LOG_LEVEL_WARNING, f);
        for (int i = 1; i <= 5; i++)
            logger_printf(LOG_LEVEL_WARNING, LOG_MOD_RMON, "flash %d", i);
        logger_flash_sync();
        flash_host_sync();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(status, 0);
    reopen_flash();
    start();
    uint32_t first = 0;
    ASSERT_EQ(flash->ops->count(&first, flash), 5);
    EXPECT_EQ(read_text(flash, first + 4), "flash 5");
    log_lines(6, 6);
    EXPECT_EQ(read_text(flash, first + 5), "flash 6");
}

TEST_F(log_flash, RegionOutsideTheLogAreaLeavesNoFlashLogger) {
    ASSERT_EQ(nvram_set("flashlog_offset", "0x3E0000"), 0);  // the NVRAM's sectors
    ConsoleCapture capture;
    EXPECT_EQ(logger_init(), 0);
    EXPECT_EQ(logger_flash_get(), nullptr);
    EXPECT_NE(capture.text().find("no flash log"), std::string::npos) << capture.text();
}

}  // namespace
