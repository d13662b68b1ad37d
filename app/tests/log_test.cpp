// Log core and loggers: routing by level mask, line clean-up, names, the RAM
// ring, syslog datagrams and the flash ring.
#include <sys/wait.h>

#include <regex>
#include <string>

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

// A gate lets a burst's first lines through and reports the rest as one
// count at its window's end; while they keep coming, each window is twice
// as long and writes only its count; a window without any ends the burst.
TEST_F(log_core, AGateFoldsAFloodIntoOneCountAWindow) {
    sal_clock_manual(1000000);
    static log_gate gate{.burst = 2};
    const uint32_t from = newest();
    auto flood = [&](int lines) {
        int written = 0;
        for (int i = 0; i < lines; i++)
            written += log_gate_printf(&gate, LOG_LEVEL_WARNING, LOG_MOD_DOS, "port %d\n", i % 2);
        return written;
    };
    // The newest line once the gate has written `lines`, after `windows`.
    auto after = [&](uint32_t windows, uint32_t lines) {
        sal_clock_advance(windows * LOG_GATE_WINDOW_SECS * 1000000ull);
        for (int tries = 0; tries < 2000 && newest() - from < lines; tries++)
            usleep(1000);
        return newest() - from == lines ? read_text(ram, newest()) : "<not so many lines>";
    };
    EXPECT_EQ(flood(50), 2);
    EXPECT_EQ(after(1, 3), "port 1 (48 more like this folded)");
    EXPECT_EQ(flood(5), 0);
    sal_clock_advance(LOG_GATE_WINDOW_SECS * 1000000ull);
    EXPECT_EQ(newest() - from, 3u) << "a window twice as long";
    EXPECT_EQ(after(1, 4), "port 0 (5 more like this folded)");
    sal_clock_advance(4 * LOG_GATE_WINDOW_SECS * 1000000ull);
    EXPECT_EQ(flood(1), 1);
    sal_clock_real();
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
