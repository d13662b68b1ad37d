// The NVRAM store under power cuts during a commit and with damaged or
// hostile images in flash.
#include <random>
#include <vector>

#include "flash_layout.h"
#include "pvk.h"
#include "storage_test_env.h"

namespace {

using storage_test::ConsoleCapture;
using storage_test::nvram_all;
using Vars = std::map<std::string, std::string>;

class NvramFaultTest : public storage_test::StorageTest {
  protected:
    void fresh_flash() {
        nvram_host_close();
        flash_host_close();
        std::filesystem::remove(flash_file);
        ASSERT_EQ(flash_host_open(flash_file.c_str(), 1), 0);
        ASSERT_EQ(flashInit(), 0);
        ASSERT_EQ(nvram_init(), 0);
    }
    static void apply(const Vars &vars) {
        for (const auto &[name, value] : nvram_all()) {
            if (vars.count(name) == 0) {
                ASSERT_EQ(nvram_unset(name.c_str()), 0);
            }
        }
        for (const auto &[name, value] : vars)
            ASSERT_EQ(nvram_set(name.c_str(), value.c_str()), 0);
    }
    nvram_host_state state() {
        nvram_host_state s{};
        nvram_host_state_get(&s);
        return s;
    }

    // Cuts the power after every possible number of flash writes of one commit
    // and checks what the next boot reads.
    void power_cut_sweep(flash_fault kind, int earlier_commits) {
        const Vars old_vars{{"a", "1"}, {"b", std::string(3000, 'b')}, {"gone", "x"}};
        const Vars new_vars{{"a", "2"}, {"b", std::string(2000, 'c')}, {"added", "y"}};
        for (unsigned cut = 0;; cut++) {
            SCOPED_TRACE("power cut after " + std::to_string(cut) + " writes, " +
                         std::to_string(earlier_commits) + " earlier commits");
            ASSERT_LT(cut, 20u) << "a commit must need only a few flash writes";
            fresh_flash();
            for (int i = 0; i < earlier_commits; i++) {
                Vars v = old_vars;
                v["round"] = std::to_string(earlier_commits - 1 - i);  // ends at "0"
                apply(v);
                ASSERT_EQ(nvram_commit(), 0);
            }
            Vars before = old_vars;
            before["round"] = "0";
            apply(new_vars);
            ConsoleCapture console;
            flash_host_fault_after(cut, kind);
            const int rc = nvram_commit();
            reboot();
            const Vars after = nvram_all();
            if (rc == 0) {
                EXPECT_EQ(after, new_vars);
                return;
            }
            EXPECT_TRUE(after == before || after == new_vars);
        }
    }
};

using nvram_powercut = NvramFaultTest;

TEST_F(nvram_powercut, StoppedWritesLeaveOldOrNewSettings) {
    power_cut_sweep(flash_fault::stop, 1);
    power_cut_sweep(flash_fault::stop, 2);
    power_cut_sweep(flash_fault::stop, 3);
}

TEST_F(nvram_powercut, TornWritesLeaveOldOrNewSettings) {
    power_cut_sweep(flash_fault::torn, 1);
    power_cut_sweep(flash_fault::torn, 2);
    power_cut_sweep(flash_fault::torn, 3);
}

TEST_F(nvram_powercut, ACopyStopsCountingBeforeItsEraseStarts) {
    // Two valid copies; the next save rewrites the older one.
    fresh_flash();
    ASSERT_EQ(nvram_set("a", "1"), 0);
    ASSERT_EQ(nvram_commit(), 0);
    ASSERT_EQ(nvram_set("a", "2"), 0);
    ASSERT_EQ(nvram_commit(), 0);
    ASSERT_EQ(nvram_set("a", "3"), 0);
    flash_host_fault_after(1, flash_fault::stop);  // the power goes at the erase
    EXPECT_NE(nvram_commit(), 0);
    reboot();
    // An erase cut short leaves bytes that may pass the CRC-8 by chance, so
    // the old copy must already be refused, whatever the erase left.
    EXPECT_EQ(state().bad_copies, 1);
    EXPECT_EQ(nvram_all(), (Vars{{"a", "2"}}));
}

TEST_F(nvram_powercut, FailedCommitKeepsRamAndCanBeRetried) {
    fresh_flash();
    ASSERT_EQ(nvram_set("a", "1"), 0);
    ASSERT_EQ(nvram_commit(), 0);
    ASSERT_EQ(nvram_set("a", "2"), 0);
    ConsoleCapture console;
    flash_host_fault_after(1, flash_fault::torn);
    EXPECT_LT(nvram_commit(), 0);
    EXPECT_NE(console.out.find("previous settings are kept"), std::string::npos);
    flash_host_fault_clear();
    EXPECT_STREQ(nvram_get("a"), "2");
    ASSERT_EQ(nvram_commit(), 0);
    reboot();
    EXPECT_STREQ(nvram_get("a"), "2");
}

// ---- hostile images

using nvram_fuzz = NvramFaultTest;

// An image with a correct CRC around whatever records are given.
std::vector<uint8_t> make_image(const std::string &records, uint32_t commit, int64_t length = -1,
                                uint8_t format = 1) {
    std::vector<uint8_t> image(16 + records.size(), 0);
    std::memcpy(image.data(), "FLSH", 4);
    const uint32_t len =
        length < 0 ? static_cast<uint32_t>(image.size()) : static_cast<uint32_t>(length);
    for (int i = 0; i < 4; i++) {
        image[4 + i] = static_cast<uint8_t>(len >> (8 * i));
        image[12 + i] = static_cast<uint8_t>(commit >> (8 * i));
    }
    image[9] = format;
    std::memcpy(image.data() + 16, records.data(), records.size());
    const size_t covered = std::min<size_t>(len, image.size());
    if (covered > 9) image[8] = pvk_crc8(image.data() + 9, covered - 9, 0xFF);
    return image;
}

void put_copy(int copy, const std::vector<uint8_t> &bytes) {
    const uint32_t at = FLASH_NVRAM_OFFSET + copy * FLASH_NVRAM_COPY_SIZE;
    ASSERT_LE(bytes.size(), FLASH_NVRAM_COPY_SIZE);
    ASSERT_EQ(flash_erase(at, FLASH_NVRAM_COPY_SIZE), 0);
    ASSERT_EQ(flash_program(at, bytes.data(), bytes.size()), 0);
}

const Vars kGood{{"good", "yes"}};

TEST_F(nvram_fuzz, MalformedImagesAreIgnoredInFavourOfTheValidCopy) {
    using namespace std::string_literals;
    const struct {
        const char *what;
        std::vector<uint8_t> image;
    } cases[] = {
        {"record without '='", make_image("novalue\0\0"s, 2)},
        {"record with an empty name", make_image("=v\0\0"s, 2)},
        {"no list terminator", make_image("a=1\0"s, 2)},
        {"record without its NUL", make_image("a=1"s, 2)},
        {"bytes after the terminator", make_image("a=1\0\0zz"s, 2)},
        {"length beyond the copy", make_image("a=1\0\0"s, 2, FLASH_NVRAM_COPY_SIZE + 1)},
        {"length of 4 GB", make_image("a=1\0\0"s, 2, 0xFFFFFFFF)},
        {"length shorter than a header", make_image(""s, 2, 12)},
        {"length cutting a record", make_image("a=1\0b=2\0\0"s, 2, 16 + 6)},
        {"unknown format", make_image("a=1\0\0"s, 2, -1, 7)},
        {"bad magic",
         [] {
             auto i = make_image("a=1\0\0"s, 2);
             i[3] = 'X';
             return i;
         }()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        fresh_flash();
        put_copy(1, make_image("good=yes\0\0"s, 1));
        put_copy(0, c.image);
        ConsoleCapture console;
        reboot();
        EXPECT_EQ(nvram_all(), kGood);
        EXPECT_EQ(state().bad_copies, 1);
        EXPECT_EQ(console.count("copy 0"), 1u) << console.out;
    }
}

TEST_F(nvram_fuzz, DuplicateNamesInAnImageKeepTheLastValue) {
    fresh_flash();
    put_copy(0, make_image(std::string("a=1\0b=2\0a=3\0\0", 13), 1));
    reboot();
    EXPECT_EQ(nvram_all(), (Vars{{"a", "3"}, {"b", "2"}}));
}

TEST_F(nvram_fuzz, RandomAndMutatedImagesNeverOpenCorrupt) {
    std::mt19937 rng(20060501);
    const std::string records = std::string("et0macaddr=00-10-18-00-00-01\0boardflags=0x10\0", 45) +
                                "vlan=" + std::string(200, 'v') + '\0' + '\0';
    const std::vector<uint8_t> valid = make_image(records, 5);
    using namespace std::string_literals;
    put_copy(1, make_image("good=yes\0\0"s, 1));
    for (int round = 0; round < 300; round++) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<uint8_t> bytes;
        if (round % 3 == 0) {
            bytes.resize(rng() % FLASH_NVRAM_COPY_SIZE + 1);  // random bytes
            for (auto &b : bytes)
                b = static_cast<uint8_t>(rng());
        } else {
            bytes = valid;  // a valid image with a few bytes changed
            for (unsigned n = rng() % 4 + 1; n > 0; n--)
                bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
            if (round % 3 == 2) bytes[4 + rng() % 4] = static_cast<uint8_t>(rng());
        }
        put_copy(0, bytes);
        ConsoleCapture console;
        nvram_host_close();
        nvram_init();
        if (state().bad_copies == 1) {
            EXPECT_EQ(nvram_all(), kGood);
            EXPECT_EQ(console.count("ignored"), 1u);
        } else {
            // Only an image that still checks out may be taken.
            EXPECT_EQ(state().active_copy, 0);
        }
    }
}

}  // namespace
