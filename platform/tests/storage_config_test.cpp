// SDK configuration variables: store order, deletion, and the "config.dxp"
// file through flush and refresh.
#include <vector>

#include "sal_config.h"
#include "storage_test_env.h"

namespace {

using storage_test::ConsoleCapture;
using storage_test::read_file;
using storage_test::write_file;

class config_vars : public storage_test::StorageTest {
  protected:
    void SetUp() override {
        StorageTest::SetUp();
        use_fs();
        const char *name;
        const char *value;
        while (sal_config_get_next(nullptr, &name, &value) == 0) {
            std::string first = name;
            sal_config_set(first.c_str(), nullptr);
        }
    }
    static std::string walk() {
        std::string out;
        const char *name = nullptr;
        const char *value = nullptr;
        while (sal_config_get_next(name, &name, &value) == 0)
            out += std::string(name) + "=" + value + ";";
        return out;
    }
    std::filesystem::path file() const { return fs_root / "config.dxp"; }
};

TEST_F(config_vars, SetKeepsStoreOrderAndDeleteOfAnAbsentNameIsNegative) {
    ASSERT_EQ(sal_config_set("pci_override_dev.0", "0x7102"), 0);
    ASSERT_EQ(sal_config_set("diag_tabs", "1"), 0);
    ASSERT_EQ(sal_config_set("alpha", "x"), 0);
    ASSERT_EQ(sal_config_set("pci_override_dev.0", "0x7106"), 0);  // keeps its place
    EXPECT_EQ(walk(), "pci_override_dev.0=0x7106;diag_tabs=1;alpha=x;");
    EXPECT_STREQ(sal_config_get("diag_tabs"), "1");
    EXPECT_EQ(sal_config_get("absent"), nullptr);
    EXPECT_EQ(sal_config_set("diag_tabs", nullptr), 0);
    EXPECT_LT(sal_config_set("diag_tabs", nullptr), 0);
    EXPECT_LT(sal_config_set("never", nullptr), 0);
    EXPECT_EQ(walk(), "pci_override_dev.0=0x7106;alpha=x;");
    const char *name;
    const char *value;
    EXPECT_EQ(sal_config_get_next("unknown", &name, &value), -1);
    EXPECT_EQ(sal_config_get_next("alpha", &name, &value), -1);
}

TEST_F(config_vars, BadNamesAndValuesAreRefused) {
    EXPECT_LT(sal_config_set(nullptr, "1"), 0);
    EXPECT_LT(sal_config_set("", "1"), 0);
    EXPECT_LT(sal_config_set("a=b", "1"), 0);
    EXPECT_LT(sal_config_set("a\nb", "1"), 0);
    EXPECT_LT(sal_config_set("a", "1\r\nb=2"), 0);
    EXPECT_EQ(walk(), "");
}

TEST_F(config_vars, FlushAndRefreshKeepStoreOrder) {
    ASSERT_EQ(sal_config_set("zeta", "1"), 0);
    ASSERT_EQ(sal_config_set("alpha", "two words"), 0);
    ASSERT_EQ(sal_config_set("mid", ""), 0);
    ASSERT_EQ(sal_config_flush(), 0);
    EXPECT_EQ(read_file(file()), "zeta=1\nalpha=two words\nmid=\n");
    ASSERT_EQ(sal_config_set("alpha", nullptr), 0);
    ASSERT_EQ(sal_config_set("later", "x"), 0);
    ASSERT_EQ(sal_config_refresh(), 0);  // the file replaces the store
    EXPECT_EQ(walk(), "zeta=1;alpha=two words;mid=;");

    // The flushed file reaches flash and comes back after a reboot.
    std::filesystem::remove_all(fs_root);
    reboot();
    use_fs();
    ASSERT_EQ(sal_config_set("zeta", nullptr), 0);
    ASSERT_EQ(sal_config_refresh(), 0);
    EXPECT_EQ(walk(), "zeta=1;alpha=two words;mid=;");
}

TEST_F(config_vars, RefreshSkipsBadLinesAndReadsCrLf) {
    const std::string long_line = "long=" + std::string(10000, 'x');
    write_file(file(),
               "# comment\r\n"
               "first=1\r\n"
               "\r\n"
               "no equals sign\n" +
                   long_line +
                   "\n"
                   "  spaced  =  value  \n"
                   "=nameless\n"
                   "last=9");
    ConsoleCapture console;
    ASSERT_EQ(sal_config_refresh(), 0);
    EXPECT_EQ(walk(), "first=1;spaced=value;last=9;");
    EXPECT_NE(console.out.find("line 4 ignored: not a name=value line"), std::string::npos);
    EXPECT_NE(console.out.find("line 5 ignored: too long"), std::string::npos);
    EXPECT_NE(console.out.find("line 7 ignored"), std::string::npos);
}

TEST_F(config_vars, RefreshWithoutAFileKeepsTheStore) {
    ASSERT_EQ(sal_config_set("kept", "1"), 0);
    EXPECT_LT(sal_config_refresh(), 0);
    EXPECT_EQ(walk(), "kept=1;");
    std::filesystem::create_directory(file());  // not a file
    EXPECT_LT(sal_config_refresh(), 0);
    EXPECT_LT(sal_config_flush(), 0);
    EXPECT_EQ(walk(), "kept=1;");
}

TEST_F(config_vars, ALineWithANulByteIsSkippedWithoutHidingLaterOnes) {
    static const char text[] = "a=1\nb\0x=2\nc=3\nd=4\0tail\ne=5\n";
    write_file(file(), std::string(text, sizeof text - 1));
    ConsoleCapture console;
    ASSERT_EQ(sal_config_refresh(), 0);
    EXPECT_EQ(walk(), "a=1;c=3;e=5;");
    EXPECT_EQ(console.count("holds a NUL byte"), 2u);
}

TEST_F(config_vars, ReturnedTextsOutliveLaterChanges) {
    ASSERT_EQ(sal_config_set("held", "first"), 0);
    const char *value = sal_config_get("held");
    const char *name = nullptr;
    const char *next_value = nullptr;
    ASSERT_EQ(sal_config_get_next(nullptr, &name, &next_value), 0);
    ASSERT_EQ(sal_config_set("held", "second"), 0);
    ASSERT_EQ(sal_config_set("held", nullptr), 0);
    write_file(file(), "other=1\n");
    ASSERT_EQ(sal_config_refresh(), 0);
    EXPECT_STREQ(value, "first");
    EXPECT_STREQ(name, "held");
    EXPECT_STREQ(next_value, "first");
}

}  // namespace
