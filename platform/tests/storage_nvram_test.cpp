// NVRAM store: set, unset, getall, commit to flash and reading back after a
// reboot, the size limit, and damaged copies.
#include <vector>

#include "flash_layout.h"
#include "pvk.h"
#include "storage_test_env.h"

namespace {

using storage_test::ConsoleCapture;
using storage_test::nvram_all;

class nvram_store : public storage_test::StorageTest {
  protected:
    void SetUp() override {
        StorageTest::SetUp();
        ASSERT_EQ(nvram_init(), 0);
    }
    nvram_host_state state() {
        nvram_host_state s{};
        nvram_host_state_get(&s);
        return s;
    }
    // Clears one bit of a committed copy, as a failing flash cell would.
    void damage(int copy, uint32_t offset) {
        uint8_t byte;
        uint32_t at = FLASH_NVRAM_OFFSET + copy * FLASH_NVRAM_COPY_SIZE + offset;
        ASSERT_EQ(flash_read(at, &byte, 1), 0);
        ASSERT_NE(byte, 0);
        byte &= static_cast<uint8_t>(byte - 1);
        ASSERT_EQ(flash_program(at, &byte, 1), 0);
    }
};

TEST_F(nvram_store, ValuesSurviveCommitAndReboot) {
    ASSERT_EQ(nvram_set("et1macaddr", "00-10-18-01-02-03"), 0);
    ASSERT_EQ(nvram_set("STARTUP", "load -z flash0:1"), 0);
    ASSERT_EQ(nvram_set("empty", ""), 0);
    ASSERT_EQ(nvram_set("STARTUP", "changed"), 0);
    ASSERT_EQ(nvram_commit(), 0);
    reboot();
    EXPECT_STREQ(nvram_get("et1macaddr"), "00-10-18-01-02-03");
    EXPECT_STREQ(nvram_get("STARTUP"), "changed");
    EXPECT_STREQ(nvram_get("empty"), "");
    EXPECT_EQ(nvram_get("absent"), nullptr);

    // Store order is kept through the image.
    const std::string want("et1macaddr=00-10-18-01-02-03\0STARTUP=changed\0empty=\0\0", 53);
    char buf[128];
    ASSERT_EQ(nvram_getall(buf, sizeof buf), 0);
    EXPECT_EQ(std::string(buf, want.size()), want);
}

TEST_F(nvram_store, UncommittedChangesAreLostOnReboot) {
    ASSERT_EQ(nvram_set("a", "1"), 0);
    ASSERT_EQ(nvram_commit(), 0);
    ASSERT_EQ(nvram_set("a", "2"), 0);
    ASSERT_EQ(nvram_unset("a"), 0);
    reboot();
    EXPECT_STREQ(nvram_get("a"), "1");
}

TEST_F(nvram_store, SecondInitKeepsUncommittedSettings) {
    ASSERT_EQ(nvram_set("a", "1"), 0);
    EXPECT_EQ(nvram_init(), 0);
    EXPECT_STREQ(nvram_get("a"), "1");
}

TEST_F(nvram_store, ClosedStoreAnswersEmptyTextAndRefusesChanges) {
    nvram_host_close();
    EXPECT_STREQ(nvram_get("anything"), "");
    EXPECT_EQ(nvram_set("a", "1"), -1);
    EXPECT_EQ(nvram_commit(), -1);
}

TEST_F(nvram_store, BadNamesAndAbsentNamesAreRefused) {
    ConsoleCapture console;
    EXPECT_LT(nvram_set(nullptr, "1"), 0);
    EXPECT_LT(nvram_set("", "1"), 0);
    EXPECT_LT(nvram_set("a=b", "1"), 0);
    EXPECT_NE(console.out.find("invalid variable name \"a=b\""), std::string::npos);
    EXPECT_LT(nvram_unset("never"), 0);
    EXPECT_LT(nvram_unset(nullptr), 0);
    EXPECT_EQ(nvram_get(nullptr), nullptr);
    EXPECT_TRUE(nvram_all().empty());
}

TEST_F(nvram_store, GetallRefusesASmallBufferAndLeavesAnEmptyList) {
    ASSERT_EQ(nvram_set("name", "value"), 0);
    char buf[11] = "xxxxxxxxxx";
    EXPECT_LT(nvram_getall(buf, 11), 0);  // needs "name=value\0\0"
    EXPECT_EQ(buf[0], '\0');
    char exact[12];
    EXPECT_EQ(nvram_getall(exact, sizeof exact), 0);
    EXPECT_EQ(std::string(exact, 12), std::string("name=value\0\0", 12));
}

TEST_F(nvram_store, SetThatWouldOverflowACopyIsRefusedWithNothingChanged) {
    ConsoleCapture console;
    ASSERT_EQ(nvram_set("keep", "me"), 0);
    EXPECT_LT(nvram_set("huge", std::string(128 * 1024 + 1, 'v').c_str()), 0);
    EXPECT_NE(console.out.find("no room for \"huge\""), std::string::npos);

    // Fill exactly to the limit, then one byte more is refused.
    const uint32_t limit = state().image_limit;
    const uint32_t used = state().image_bytes;
    const size_t value_len = limit - used - std::string("big=").size() - 1;
    std::string big(value_len, 'b');
    ASSERT_EQ(nvram_set("big", big.c_str()), 0);
    EXPECT_EQ(state().image_bytes, limit);
    EXPECT_LT(nvram_set("x", "1"), 0);
    EXPECT_LT(nvram_set("big", (big + "b").c_str()), 0);
    EXPECT_EQ(nvram_set("big", "small"), 0);  // a shorter value still fits

    ASSERT_EQ(nvram_set("big", big.c_str()), 0);
    ASSERT_EQ(nvram_commit(), 0);
    reboot();
    EXPECT_EQ(nvram_get("big"), big);
    EXPECT_STREQ(nvram_get("keep"), "me");
    EXPECT_EQ(nvram_get("huge"), nullptr);
}

TEST_F(nvram_store, CommitsAlternateCopiesAndEqualContentWritesNothing) {
    EXPECT_EQ(nvram_commit(), 0);  // blank flash, empty store: nothing to write
    EXPECT_EQ(flash_host_write_ops(), 0u);
    ASSERT_EQ(nvram_set("a", "1"), 0);
    ASSERT_EQ(nvram_commit(), 0);
    EXPECT_EQ(state().active_copy, 0);
    EXPECT_EQ(state().commit_count, 1u);
    const uint64_t ops = flash_host_write_ops();
    ASSERT_EQ(nvram_set("a", "1"), 0);
    ASSERT_EQ(nvram_commit(), 0);
    EXPECT_EQ(flash_host_write_ops(), ops);
    ASSERT_EQ(nvram_set("a", "2"), 0);
    ASSERT_EQ(nvram_commit(), 0);
    EXPECT_EQ(state().active_copy, 1);
    EXPECT_EQ(state().commit_count, 2u);
    ASSERT_EQ(nvram_set("a", "3"), 0);
    ASSERT_EQ(nvram_commit(), 0);
    EXPECT_EQ(state().active_copy, 0);
    reboot();
    EXPECT_STREQ(nvram_get("a"), "3");
    EXPECT_EQ(state().commit_count, 3u);
    EXPECT_EQ(state().bad_copies, 0);
}

TEST_F(nvram_store, FlippedByteGivesCrcMismatchEmptyStoreAndOneReport) {
    ASSERT_EQ(nvram_set("password", "secret"), 0);
    ASSERT_EQ(nvram_commit(), 0);
    damage(0, 20);
    ConsoleCapture console;
    reboot();
    EXPECT_TRUE(nvram_all().empty());
    EXPECT_EQ(nvram_get("password"), nullptr);
    EXPECT_EQ(console.count("CRC mismatch"), 1u);
    EXPECT_EQ(console.count("the store starts empty"), 1u);
    EXPECT_EQ(state().bad_copies, 1);

    // The next commit writes a sound image again.
    ASSERT_EQ(nvram_set("password", "new"), 0);
    ASSERT_EQ(nvram_commit(), 0);
    reboot();
    EXPECT_STREQ(nvram_get("password"), "new");
}

TEST_F(nvram_store, DamagedNewerCopyFallsBackToTheOlderOne) {
    ASSERT_EQ(nvram_set("v", "old"), 0);
    ASSERT_EQ(nvram_commit(), 0);
    ASSERT_EQ(nvram_set("v", "new"), 0);
    ASSERT_EQ(nvram_commit(), 0);
    damage(1, 17);
    ConsoleCapture console;
    reboot();
    EXPECT_STREQ(nvram_get("v"), "old");
    EXPECT_EQ(console.count("copy 1"), 1u);
    EXPECT_EQ(console.count("starts empty"), 0u);
    // The damaged copy is the one the next commit overwrites.
    ASSERT_EQ(nvram_set("v", "newer"), 0);
    ASSERT_EQ(nvram_commit(), 0);
    EXPECT_EQ(state().active_copy, 1);
    reboot();
    EXPECT_STREQ(nvram_get("v"), "newer");
    EXPECT_EQ(state().bad_copies, 0);
}

TEST_F(nvram_store, WritesAFlashImageOfTheDocumentedLayout) {
    ASSERT_EQ(nvram_set("k", "v"), 0);
    ASSERT_EQ(nvram_commit(), 0);
    uint8_t image[21];
    ASSERT_EQ(flash_read(FLASH_NVRAM_OFFSET, image, sizeof image), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(image), 4), "FLSH");
    EXPECT_EQ(image[4], 21);  // 16-byte header, "k=v\0", final "\0"
    EXPECT_EQ(image[9], 1);   // format
    EXPECT_EQ(image[12], 1);  // first commit
    EXPECT_EQ(image[8], pvk_crc8(image + 9, 12, 0xFF));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(image + 16), 4), std::string("k=v\0", 4));
}

TEST_F(nvram_store, ReturnedValuesOutliveSetUnsetAndReopen) {
    ASSERT_EQ(nvram_set("held", "first"), 0);
    const char *value = nvram_get("held");
    ASSERT_EQ(nvram_set("held", std::string(500, 'x').c_str()), 0);
    ASSERT_EQ(nvram_unset("held"), 0);
    nvram_host_close();
    nvram_init();
    EXPECT_STREQ(value, "first");
}

}  // namespace
