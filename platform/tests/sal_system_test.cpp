// Assertions, memory, strings and the random generator.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "sal.h"
#include "sal_host.h"

namespace {

std::string last_assert;

void capture_assert(const char *expr, const char *file, int line) {
    last_assert = std::string(expr) + "@" + file + ":" + std::to_string(line);
}

TEST(sal_assert_death, PrintsAndAbortsOnAForeignThread) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(sal_assert("x > 0", "file.c", 12),
                 "User assertion failed: \"x > 0\", at file.c:12");
}

TEST(sal_assert, ReplaceableHandlerIsCalledAndReturns) {
    sal_assert_handler_t prev = sal_assert_set(capture_assert);
    SAL_ASSERT(1 + 1 == 3);
    sal_assert_set(prev);
    EXPECT_NE(last_assert.find("1 + 1 == 3@"), std::string::npos);
}

TEST(sal_assert, StopsOnlyTheCallingSdkThread) {
    static std::atomic<int> stage{0};
    sal_thread_t t = sal_thread_create(
        "asserter", 0, 0,
        [](void *) {
            stage = 1;
            sal_assert("false", "t.c", 1);
            stage = 2;
        },
        nullptr);
    // Poll until the thread has ended, with a deadline.
    for (int i = 0; i < 2000 && sal_thread_os_priority(t) != -1; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(stage.load(), 1);
}

TEST(sal_alloc, KeepsItsOwnCopyOfTheTag) {
    char tag[] = "built-tag";
    void *p = sal_alloc(24, tag);
    ASSERT_NE(p, nullptr);
    std::strcpy(tag, "reused!!!");
    EXPECT_EQ(sal_alloc_bytes_in_use("built-tag"), 24u);
    sal_free(p);
    EXPECT_EQ(sal_alloc_bytes_in_use("built-tag"), 0u);
}

TEST(sal_alloc, BlocksAreZeroFilledAndAccountedByTag) {
    size_t before = sal_alloc_bytes_in_use("unit-test");
    auto *p = static_cast<unsigned char *>(sal_alloc(100, "unit-test"));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 100; i++)
        ASSERT_EQ(p[i], 0);
    EXPECT_EQ(sal_alloc_bytes_in_use("unit-test"), before + 100);
    sal_free(p);
    EXPECT_EQ(sal_alloc_bytes_in_use("unit-test"), before);
}

TEST(sal_alloc, InjectedFailureReturnsNull) {
    sal_alloc_fail_after(2);
    void *a = sal_alloc(8, "x");
    void *b = sal_alloc(8, "x");
    void *c = sal_alloc(8, "x");
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(b, nullptr);
    EXPECT_NE(c, nullptr);
    sal_free(a);
    sal_free(c);
    EXPECT_EQ(sal_alloc(SIZE_MAX, "huge"), nullptr);
}

TEST(sal_alloc, DmaMemoryHasThirtyTwoBitAddresses) {
    void *p = sal_dma_alloc(4096, "dma");
    ASSERT_NE(p, nullptr);
    EXPECT_LT(reinterpret_cast<uintptr_t>(p), 0x100000000ull);
    std::memset(p, 0xab, 4096);
    sal_dma_free(p);
}

TEST(sal_alloc, StrdupCopiesAndToleratesNull) {
    char *s = sal_strdup("port 1");
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, "port 1");
    sal_free(s);
    EXPECT_EQ(sal_strdup(nullptr), nullptr);
}

TEST(sal_string, CtoiForms) {
    const char *end = nullptr;
    EXPECT_EQ(sal_ctoi("-0x10", &end), -16);
    EXPECT_EQ(*end, '\0');
    EXPECT_EQ(sal_ctoi("0b101", &end), 5);
    EXPECT_EQ(sal_ctoi("017", &end), 15);
    EXPECT_EQ(sal_ctoi("12z", &end), 12);
    EXPECT_EQ(*end, 'z');
    EXPECT_EQ(sal_ctoi("0x1F", nullptr), 31);
    EXPECT_EQ(sal_ctoi("089", &end), 0);  // octal stops at 8
    EXPECT_EQ(*end, '8');
}

TEST(sal_string, CtoiDegenerateInputs) {
    const char *end = nullptr;
    EXPECT_EQ(sal_ctoi("", &end), 0);
    EXPECT_EQ(sal_ctoi("-", &end), 0);
    EXPECT_EQ(sal_ctoi("0x", &end), 0);
    EXPECT_EQ(sal_ctoi(nullptr, &end), 0);
    // Far too long: wraps without undefined behaviour.
    (void)sal_ctoi("99999999999999999999999999999", &end);
    EXPECT_EQ(*end, '\0');
    (void)sal_ctoi("-0xffffffffffffffffffff", nullptr);
}

TEST(sal_string, CaseInsensitiveCompare) {
    EXPECT_EQ(sal_strcasecmp("PortS", "ports"), 0);
    EXPECT_LT(sal_strcasecmp("a", "B"), 0);
    EXPECT_EQ(sal_strncasecmp("VLANx", "vlany", 4), 0);
    EXPECT_NE(sal_strncasecmp("VLANx", "vlany", 5), 0);
}

TEST(sal_rand, SeededSequenceRepeatsAndFitsIn31Bits) {
    sal_srand(1);
    uint32_t a = sal_rand(), b = sal_rand();
    sal_srand(1);
    EXPECT_EQ(sal_rand(), a);
    EXPECT_EQ(sal_rand(), b);
    for (int i = 0; i < 1000; i++)
        EXPECT_EQ(sal_rand() & 0x80000000u, 0u);
}

TEST(sal_system, BootFlagsDefaultToRealHardware) {
    EXPECT_EQ(sal_boot_flags_get() & 0xb0000u, 0u);
    EXPECT_EQ(sal_bus_probe(0x1234), 0);
    EXPECT_EQ(sal_clean_exit(), -2);
}

TEST(sal_system, RebootCallsHookInsteadOfExiting) {
    static std::atomic<int> hook_calls{0};
    static std::atomic<bool> after_reboot{false};
    sal_reboot_delay_set(0);
    sal_reboot_hook_t prev = sal_reboot_hook_set([] { hook_calls++; });
    sal_thread_t t = sal_thread_create(
        "rebooter", 0, 0,
        [](void *) {
            sal_reboot();
            after_reboot = true;
        },
        nullptr);
    for (int i = 0; i < 2000 && sal_thread_os_priority(t) != -1; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(hook_calls.load(), 1);
    EXPECT_FALSE(after_reboot.load());
    sal_reboot_hook_set(prev);
}

// A change waits only for the images accepted before it, an image for
// everything accepted before it; changes that waited behind an image keep
// their order once it is released; a turn held twice is free after two
// releases.
TEST(sal_system, TurnsWaitOnlyForWhatWasAcceptedBefore) {
    const uint32_t free_change = sal_turn_take(0), other = sal_turn_take(0);
    EXPECT_EQ(sal_turn_waits(other), 0) << "changes with no image around run side by side";
    sal_turn_release(free_change);
    sal_turn_release(other);

    const uint32_t image = sal_turn_take(1), change = sal_turn_take(0), next = sal_turn_take(1);
    sal_turn_keep(image);
    const uint32_t later_change = sal_turn_take(0);
    EXPECT_EQ(sal_turn_wait(change, 20000), 0);
    sal_turn_release(image);
    EXPECT_EQ(sal_turn_waits(change), 1);
    sal_turn_release(image);
    EXPECT_EQ(sal_turn_wait(change, 20000), 1);
    EXPECT_EQ(sal_turn_waits(later_change), 1) << "behind the image after it";
    EXPECT_EQ(sal_turn_before(next), 1) << "the change before it still runs";
    sal_turn_release(change);
    EXPECT_EQ(sal_turn_before(next), 0);
    sal_turn_release(next);
    EXPECT_EQ(sal_turn_waits(later_change), 0);
    sal_turn_release(later_change);

    // Two changes released by the same image: the later one waits for the
    // earlier one, whichever entrance serves it first.
    const uint32_t restore = sal_turn_take(1), first = sal_turn_take(0), second = sal_turn_take(0);
    const uint32_t end = sal_turn_take(1);
    EXPECT_EQ(sal_turn_change_ready_before(end), 0) << "both wait for the restore";
    sal_turn_release(restore);
    EXPECT_EQ(sal_turn_change_ready_before(end), 1);
    sal_turn_release(end);
    EXPECT_EQ(sal_turn_waits(first), 0);
    EXPECT_EQ(sal_turn_waits(second), 1);
    sal_turn_release(first);
    EXPECT_EQ(sal_turn_waits(second), 0);
    sal_turn_release(second);
}

}  // namespace
