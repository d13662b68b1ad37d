// The web account: limits of the user name and password, the settings items
// and the scrambled password record.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "flash.h"
#include "nvram.h"
#include "sal.h"
#include "settings.h"
#include "storage_host.h"
#include "webauth.h"
#include "webauth_internal.h"

namespace {

// A medium over a byte vector (record items) or one text (text items).
struct memory_medium {
    std::vector<uint8_t> bytes;
    size_t read_pos = 0;
    std::string text;
    bool has_text = false;
    settings_medium medium{&ops, this};

    static memory_medium *self(settings_medium *m) {
        return static_cast<memory_medium *>(m->state);
    }
    static const char *read_text(settings_medium *m) {
        return self(m)->has_text ? self(m)->text.c_str() : nullptr;
    }
    static int write_text(settings_medium *m, const char *text) {
        self(m)->text = text;
        self(m)->has_text = true;
        return 0;
    }
    static int read_bytes(settings_medium *m, void *buf, size_t len) {
        memory_medium *mm = self(m);
        if (mm->bytes.size() - mm->read_pos < len) return -1;
        std::memcpy(buf, mm->bytes.data() + mm->read_pos, len);
        mm->read_pos += len;
        return 0;
    }
    static int write_bytes(settings_medium *m, const void *buf, size_t len) {
        auto *p = static_cast<const uint8_t *>(buf);
        self(m)->bytes.insert(self(m)->bytes.end(), p, p + len);
        return 0;
    }
    static constexpr settings_medium_ops ops{read_text,   write_text, read_bytes,
                                             write_bytes, nullptr,    nullptr,
                                             nullptr,     nullptr,    nullptr};
};

std::string username() {
    char buf[WEBAUTH_FIELD_SIZE] = "";
    EXPECT_EQ(webauth_username_get(buf, sizeof buf), 1);
    return buf;
}

std::string password() {
    char buf[WEBAUTH_FIELD_SIZE] = "";
    EXPECT_EQ(webauth_password_get(buf, sizeof buf), 1);
    return buf;
}

std::vector<uint8_t> hex_bytes(const std::string &hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// The value of "name=" in a factory-default settings file.
std::string factory_value(const char *file, const std::string &name) {
    std::ifstream in(std::string(FACTORY_DIR) + "/" + file);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, name.size() + 1, name + "=") == 0) return line.substr(name.size() + 1);
    }
    return "";
}

class webauth_account : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(webauth_username_set("admin"), 1);
        ASSERT_EQ(webauth_password_set("qivor"), 1);
    }
};

TEST_F(webauth_account, ValuesUpTo15CharactersAreKept) {
    EXPECT_EQ(webauth_password_set("123456789012345"), 1);
    EXPECT_EQ(password(), "123456789012345");
    EXPECT_EQ(webauth_password_set("1234567890123456"), 0);
    EXPECT_EQ(password(), "123456789012345");
    EXPECT_EQ(webauth_username_set(nullptr), 0);
    EXPECT_EQ(webauth_username_set("operator_with_16"), 0);
    EXPECT_EQ(username(), "admin");
    EXPECT_EQ(webauth_password_set(""), 1);
    EXPECT_EQ(password(), "");
}

TEST_F(webauth_account, GetNeedsRoomForTheValueAndItsEnd) {
    char buf[8];
    EXPECT_EQ(webauth_username_get(buf, 6), 1);
    EXPECT_STREQ(buf, "admin");
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(webauth_username_get(buf, 5), 0);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(webauth_username_get(buf, 0), 0);
    EXPECT_EQ(webauth_username_get(nullptr, 8), 0);
}

TEST_F(webauth_account, CookieFollowsTheAccount) {
    std::string first = webauth_cookie_get();
    EXPECT_EQ(first.size(), 8u);
    EXPECT_EQ(webauth_cookie_check(first.c_str()), 0);
    EXPECT_EQ(webauth_cookie_check((first + " ").c_str()), -1);
    EXPECT_EQ(webauth_cookie_check(first.substr(0, 7).c_str()), -1);
    EXPECT_EQ(webauth_cookie_check(nullptr), -1);
    ASSERT_EQ(webauth_password_set("another"), 1);
    EXPECT_NE(webauth_cookie_get(), first);
    EXPECT_EQ(webauth_cookie_check(first.c_str()), -1);
    ASSERT_EQ(webauth_password_set("qivor"), 1);
    EXPECT_EQ(webauth_cookie_get(), first);  // a function of the account
    // Passwords with the same letters in another order do not share it.
    ASSERT_EQ(webauth_password_set("rovqi"), 1);
    EXPECT_NE(webauth_cookie_get(), first);
    ASSERT_EQ(webauth_password_set("qivor"), 1);
}

TEST_F(webauth_account, PasswordRecordRoundTripsForEveryTimeByte) {
    const char *samples[] = {"qivor", "", "123456789012345", "\x7f\x80\xff~ !"};
    for (const char *sample : samples) {
        for (int t = 0; t < 256; t++) {
            uint8_t record[WEBAUTH_PASSWORD_RECORD_SIZE];
            webauth_internal::password_scramble(sample, static_cast<uint8_t>(t), record);
            EXPECT_EQ(record[15], t);
            char text[WEBAUTH_FIELD_SIZE];
            webauth_internal::password_unscramble(record, text);
            ASSERT_STREQ(text, sample) << "t=" << t;
        }
    }
}

TEST_F(webauth_account, PasswordRecordHidesTheText) {
    uint8_t a[WEBAUTH_PASSWORD_RECORD_SIZE], b[WEBAUTH_PASSWORD_RECORD_SIZE];
    webauth_internal::password_scramble("qivor", 3, a);
    webauth_internal::password_scramble("qivor", 4, b);
    EXPECT_EQ(memmem(a, 15, "qivor", 5), nullptr);
    EXPECT_NE(std::memcmp(a, b, 15), 0);  // the time byte changes the record
}

TEST_F(webauth_account, PasswordItemSavesAndLoadsThroughAMedium) {
    EXPECT_EQ(static_cast<uint32_t>(webauth_item_password(SETTINGS_OP_VERSION, nullptr)),
              WEBAUTH_PASSWORD_VERSION);
    ASSERT_EQ(webauth_password_set("s3cret pass"), 1);
    sal_wallclock_set(1000000000u + 77);
    memory_medium saved;
    ASSERT_EQ(webauth_item_password(SETTINGS_OP_SAVE, &saved.medium), 16);
    ASSERT_EQ(saved.bytes.size(), 16u);
    EXPECT_EQ(saved.bytes[15], (1000000000u + 77) & 0xFF);

    ASSERT_EQ(webauth_password_set("other"), 1);
    ASSERT_EQ(webauth_item_password(SETTINGS_OP_LOAD, &saved.medium), 16);
    EXPECT_EQ(password(), "s3cret pass");

    memory_medium short_record;
    short_record.bytes.assign(saved.bytes.begin(), saved.bytes.begin() + 15);
    EXPECT_LT(webauth_item_password(SETTINGS_OP_LOAD, &short_record.medium), 0);
    EXPECT_EQ(password(), "s3cret pass");
}

TEST_F(webauth_account, UsernameItemRefusesANameTheAccountCannotHold) {
    EXPECT_EQ(static_cast<uint32_t>(webauth_item_username(SETTINGS_OP_VERSION, nullptr)),
              WEBAUTH_USERNAME_VERSION);
    memory_medium saved;
    ASSERT_EQ(webauth_item_username(SETTINGS_OP_SAVE, &saved.medium), 15);
    EXPECT_EQ(saved.text, "admin");

    memory_medium long_name;
    long_name.text = "a_name_of_16_chr";
    long_name.has_text = true;
    EXPECT_LT(webauth_item_username(SETTINGS_OP_LOAD, &long_name.medium), 0);
    EXPECT_EQ(username(), "admin");

    memory_medium other;
    other.text = "root";
    other.has_text = true;
    EXPECT_EQ(webauth_item_username(SETTINGS_OP_LOAD, &other.medium), 15);
    EXPECT_EQ(username(), "root");
}

TEST_F(webauth_account, FactoryDefaultsHoldTheDefaultAccount) {
    for (const char *file : {"rw3090.txt", "rw3070.txt"}) {
        EXPECT_EQ(factory_value(file, "username"), "admin") << file;
        std::vector<uint8_t> record = hex_bytes(factory_value(file, "password"));
        ASSERT_EQ(record.size(), WEBAUTH_PASSWORD_RECORD_SIZE) << file;
        char text[WEBAUTH_FIELD_SIZE];
        webauth_internal::password_unscramble(record.data(), text);
        EXPECT_STREQ(text, "qivor") << file;
    }
}

// Saving to the NVRAM store and loading back, as a reboot does.
TEST_F(webauth_account, PasswordSurvivesASaveAndLoadOfTheSettings) {
    std::string pattern = (std::filesystem::temp_directory_path() / "webauth_XXXXXX").string();
    std::filesystem::path dir = ::mkdtemp(pattern.data());
    ASSERT_EQ(flash_host_open((dir / "flash.bin").c_str(), 1), 0) << flash_host_last_error();
    ASSERT_EQ(flashInit(), 0);
    ASSERT_EQ(nvram_init(), 0);
    ASSERT_EQ(settings_init(), 0);
    settings_item_handler_set("username", webauth_item_username);
    settings_item_handler_set("password", webauth_item_password);

    ASSERT_EQ(webauth_password_set("fifteen_chars_1"), 1);
    ASSERT_EQ(webauth_username_set("boss"), 1);
    EXPECT_EQ(settings_save_group(SETTINGS_GROUP_ACCOUNT), 1);
    const char *stored = nvram_get("password");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(std::string(stored).find("fifteen"), std::string::npos);

    ASSERT_EQ(webauth_password_set("changed"), 1);
    ASSERT_EQ(webauth_username_set("admin"), 1);
    EXPECT_EQ(settings_load_group(SETTINGS_GROUP_ACCOUNT), 1);
    EXPECT_EQ(password(), "fifteen_chars_1");
    EXPECT_EQ(username(), "boss");

    nvram_host_close();
    flash_host_close();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace
