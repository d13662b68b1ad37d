// Settings manager: items in the NVRAM store, the backup image, factory
// defaults from generated images, and refused records.
#include <cstring>
#include <string>
#include <vector>

#include "app_test_env.h"
#include "fake_items.h"
#include "nvram.h"
#include "settings.h"
#include "shr.h"

namespace {

using fake_items::state;

fake_items::State sample_state() {
    fake_items::State s;
    s.vlan_word = 0x01020304;
    s.vlan_half = 0x0506;
    s.vlan_bytes[0] = 7;
    s.vlan_bytes[1] = 8;
    s.rmon = 42;
    s.username = "admin";
    return s;
}

std::string nvram_value(const char *name) {
    const char *v = nvram_get(name);
    return v ? v : "<absent>";
}

class settings_store : public app_test::FlashFixture {
  protected:
    void SetUp() override {
        FlashFixture::SetUp();
        fake_items::reset();
        ASSERT_EQ(settings_init(), 0);
    }
};

TEST_F(settings_store, SaveItemWritesValueAndVersionAndSurvivesAReopen) {
    state = sample_state();
    ASSERT_EQ(settings_save_item("vlan"), 1);
    EXPECT_EQ(nvram_value("vlan"), "0102030405060708");
    EXPECT_EQ(nvram_value("vlan_ver"), "0x88740001");

    reopen_flash();
    EXPECT_EQ(nvram_value("vlan"), "0102030405060708");
    EXPECT_EQ(nvram_value("vlan_ver"), "0x88740001");
    state = {};
    EXPECT_EQ(settings_load_group(SETTINGS_GROUP_VLAN), 1);
    EXPECT_EQ(state.vlan_word, 0x01020304u);
    EXPECT_EQ(state.vlan_bytes[1], 8);
    // The stored value is what runs now: loading it again does nothing.
    EXPECT_EQ(fake_items::vlan_loads, 1);
    EXPECT_EQ(settings_load_group(SETTINGS_GROUP_VLAN), 1);
    EXPECT_EQ(fake_items::vlan_loads, 1);
}

// The rows an item's load skips reach the caller that asked for them, cut
// to its buffer; a plain load only logs them. Each load finds another state
// running, so that it has work to do.
TEST_F(settings_store, ALoadNotesTheRowsItsItemsSkipped) {
    state = sample_state();
    ASSERT_EQ(settings_save_item("vlan"), 1);
    fake_items::skipped_rows[0] = "Port settings: port 3: port under self-test";
    fake_items::skipped_rows[1] = "VLAN table: port under self-test";
    char notes[128];
    state = {};
    ASSERT_EQ(settings_load_group_noting(SETTINGS_GROUP_VLAN, notes, sizeof notes), 1);
    EXPECT_STREQ(notes,
                 "Port settings: port 3: port under self-test\n"
                 "VLAN table: port under self-test\n");
    state = {};
    ASSERT_EQ(settings_load_group_noting(SETTINGS_GROUP_VLAN, notes, 10), 1);
    EXPECT_STREQ(notes, "Port sett");
    fake_items::skipped_rows[0].clear();
    fake_items::skipped_rows[1].clear();
    state = {};
    ASSERT_EQ(settings_load_group_noting(SETTINGS_GROUP_VLAN, notes, sizeof notes), 1);
    EXPECT_STREQ(notes, "");
    // A row skipped outside a noting load goes to the log only, and the
    // next noting load starts empty.
    fake_items::skipped_rows[0] = "Port settings: port 4: port under self-test";
    state = {};
    EXPECT_EQ(settings_load_group(SETTINGS_GROUP_VLAN), 1);
    fake_items::skipped_rows[0].clear();
    state = {};
    ASSERT_EQ(settings_load_group_noting(SETTINGS_GROUP_VLAN, notes, sizeof notes), 1);
    EXPECT_STREQ(notes, "");
}

TEST_F(settings_store, SaveItemRefusesUnknownAndUnhandledItems) {
    EXPECT_LE(settings_save_item("nosuch"), 0);
    EXPECT_LE(settings_save_item(nullptr), 0);
    EXPECT_LE(settings_save_item("mirror"), 0);  // no handler registered
    EXPECT_EQ(nvram_get("mirror_ver"), nullptr);
}

TEST_F(settings_store, HandlerRegistrationNeedsAKnownFreeItem) {
    settings_item_fn fn = settings_item_handler(settings_item_find("vlan"));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(settings_item_handler_set("nosuch", fn), -1);
    EXPECT_EQ(settings_item_handler_set("vlan", fn), -1);  // taken
    EXPECT_EQ(settings_item_handler_set("mirror", nullptr), -1);
    EXPECT_EQ(settings_item_handler(settings_item_find("mirror")), nullptr);
}

TEST_F(settings_store, SaveGroupSavesTheItemsOfIntersectingGroups) {
    state = sample_state();
    ASSERT_EQ(settings_save_group(0x10000000), 1);
    EXPECT_EQ(nvram_value("username"), "admin");
    EXPECT_EQ(nvram_value("username_ver"), "0x88740001");
    EXPECT_EQ(nvram_value("vlan"), "<absent>");
}

TEST_F(settings_store, ValidationNeedsEveryHandledItemWithItsVersion) {
    EXPECT_EQ(settings_nvram_validate(), 0);  // nothing stored yet
    state = sample_state();
    ASSERT_EQ(settings_save_group(SETTINGS_GROUP_ALL), 1);
    EXPECT_EQ(settings_nvram_validate(), 1);
    ASSERT_EQ(nvram_set("vlan_ver", "0x88740002"), 0);
    EXPECT_EQ(settings_nvram_validate(), 0);
    ASSERT_EQ(nvram_set("vlan_ver", "0x88740001"), 0);
    ASSERT_EQ(nvram_set("vlan", "01zz"), 0);
    EXPECT_EQ(settings_nvram_validate(), 0);
}

TEST_F(settings_store, RecordOfWrongVersionOrSizeIsRefusedAndTheStateKept) {
    state = sample_state();
    ASSERT_EQ(settings_save_item("vlan"), 1);
    const fake_items::State kept = sample_state();
    state.vlan_word = 0xAAAA;  // the running state to keep
    fake_items::State running = state;

    ASSERT_EQ(nvram_set("vlan_ver", "0x88740007"), 0);
    EXPECT_EQ(settings_load_group(SETTINGS_GROUP_VLAN), 0);
    EXPECT_EQ(state, running);

    ASSERT_EQ(nvram_set("vlan_ver", "0x88740001"), 0);
    ASSERT_EQ(nvram_set("vlan", "010203040506"), 0);  // 6 bytes: too short
    EXPECT_EQ(settings_load_group(SETTINGS_GROUP_VLAN), 0);
    EXPECT_EQ(state, running);

    ASSERT_EQ(nvram_set("vlan", "01020304050607080900"), 0);  // 10 bytes: too long
    EXPECT_EQ(settings_load_group(SETTINGS_GROUP_VLAN), 0);
    EXPECT_EQ(state, running);  // the applied record was rolled back

    ASSERT_EQ(nvram_set("vlan", "0102030405060708"), 0);
    EXPECT_EQ(settings_load_group(SETTINGS_GROUP_VLAN), 1);
    EXPECT_EQ(state.vlan_word, kept.vlan_word);
}

// ---- backup image

class settings_backup : public ::testing::Test {
  protected:
    std::vector<char> buf = std::vector<char>(SETTINGS_BACKUP_SIZE);
    void SetUp() override {
        fake_items::reset();
        state = sample_state();
        ASSERT_NE(settings_backup_to_memory(buf.data()), 0);
    }
    std::string image() const { return buf.data(); }

    // The image with its end line rewritten to match the body.
    static std::string reseal(std::string text) {
        size_t end = text.rfind("#end ");
        std::string body = text.substr(0, end);
        size_t items = 0;
        for (size_t at = body.find("_ver="); at != std::string::npos;
             at = body.find("_ver=", at + 1))
            items++;
        char trailer[48];
        std::snprintf(trailer, sizeof trailer, "#end %zu %08x\n", items,
                      ~shr_crc32(~0u, body.data(), body.size()));
        return body + trailer;
    }
    // The image with lines added before its end line.
    static std::string with_lines(const std::string &text, const std::string &lines) {
        size_t end = text.rfind("#end ");
        return text.substr(0, end) + lines + text.substr(end);
    }
    static std::string replace(std::string text, const std::string &from, const std::string &to) {
        size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
        return text;
    }
};

TEST_F(settings_backup, BackupValidateRestoreIsByteStable) {
    std::string first = image();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.back(), '\n');
    EXPECT_NE(first.find("\nvlan=0102030405060708\n"), std::string::npos) << first;
    EXPECT_NE(first.find("\nusername=admin\n"), std::string::npos) << first;
    EXPECT_NE(settings_validate_memory(first.c_str()), 0);
    // The restore page appends a LF.
    EXPECT_NE(settings_validate_memory((first + "\n").c_str()), 0);

    state = {};
    ASSERT_EQ(settings_restore_from_memory((first + "\n").c_str()), 1);
    EXPECT_EQ(state, sample_state());
    ASSERT_NE(settings_backup_to_memory(buf.data()), 0);
    EXPECT_EQ(image(), first);
}

TEST_F(settings_backup, ChangedVersionWordFailsValidation) {
    std::string changed = reseal(replace(image(), "vlan_ver=0x88740001", "vlan_ver=0x88740009"));
    EXPECT_NE(settings_validate_memory(reseal(image()).c_str()), 0);  // resealing alone is fine
    EXPECT_EQ(settings_validate_memory(changed.c_str()), 0);
    state = {};
    EXPECT_EQ(settings_restore_from_memory(changed.c_str()), 0);
    EXPECT_EQ(state, fake_items::State{});
}

TEST_F(settings_backup, TruncatedOrAlteredImageIsRefusedAndChangesNothing) {
    std::string whole = image();
    std::vector<std::string> bad = {
        whole.substr(0, whole.size() / 2),         // cut in the middle
        whole.substr(0, whole.rfind("#end ")),     // no end line
        replace(whole, "vlan=0102", "vlan=0103"),  // one byte changed
        replace(whole, "username=admin", "username=Admin"),
        replace(whole, "#settings-image 1", "#settings-image 2"),
        "",
        "hello\n",
        reseal(with_lines(whole, "bogus_ver=0x88740001\n")),  // not this firmware's
        reseal(with_lines(whole, "vlan_ver=0x88740001\nvlan=0102030405060708\n")),
    };
    state = {};
    for (const std::string &text : bad) {
        EXPECT_EQ(settings_validate_memory(text.c_str()), 0) << text;
        EXPECT_STRNE(settings_validate_error(), "") << text;  // the caller logs why
        EXPECT_EQ(settings_restore_from_memory(text.c_str()), 0) << text;
    }
    EXPECT_EQ(fake_items::vlan_loads, 0);
    EXPECT_EQ(state, fake_items::State{});
    EXPECT_EQ(settings_validate_memory(nullptr), 0);
    EXPECT_EQ(settings_backup_to_memory(nullptr), 0);
}

TEST_F(settings_backup, RecordOfWrongSizeStopsTheRestoreAndPutsBackEarlierItems) {
    // Well-formed, but "vlan" is one byte short; "rmon" loads before it.
    std::string short_vlan =
        reseal(replace(image(), "vlan=0102030405060708", "vlan=01020304050607"));
    EXPECT_NE(settings_validate_memory(short_vlan.c_str()), 0);
    state = {};
    state.rmon = 5;
    state.vlan_word = 9;
    const fake_items::State running = state;
    EXPECT_EQ(settings_restore_from_memory(short_vlan.c_str()), 0);
    EXPECT_EQ(state, running);
}

TEST_F(settings_backup, UnterminatedTextBeyondTheBufferSizeIsRefused) {
    std::vector<char> big(SETTINGS_BACKUP_SIZE + 16, 'x');
    std::string whole = image();
    std::memcpy(big.data(), whole.data(), whole.size());
    EXPECT_EQ(settings_validate_memory(big.data()), 0);  // no NUL within the limit
}

// ---- factory defaults

class settings_factory : public ::testing::Test {
  protected:
    std::vector<uint8_t> image = std::vector<uint8_t>(SETTINGS_IMAGE_MAX);
    void SetUp() override { fake_items::reset(); }
    void TearDown() override { settings_factory_image_set(nullptr); }
};

TEST_F(settings_factory, FactoryDefaultFromAGeneratedImageSkipsTheRmonGroup) {
    state = sample_state();
    int size = settings_image_build(image.data(), image.size());
    ASSERT_GT(size, 4);
    EXPECT_EQ((image[0] << 24 | image[1] << 16 | image[2] << 8 | image[3]), size);

    state = {};
    state.rmon = 7;
    settings_factory_image_set(image.data());
    EXPECT_EQ(settings_factory_image_get(), image.data());
    EXPECT_EQ(settings_factory_default_validate(), 1);
    ASSERT_EQ(settings_factory_default(), 1);
    EXPECT_EQ(state.vlan_word, 0x01020304u);
    EXPECT_EQ(state.username, "admin");
    EXPECT_EQ(state.rmon, 7u);  // RMON is reset, not loaded
    EXPECT_EQ(fake_items::rmon_resets, 1);

    // The C-array dump of the same image.
    int len = settings_carray_format(image.data(), "board_image", nullptr, 0);
    ASSERT_GT(len, 0);
    std::string c_text(static_cast<size_t>(len) + 1, '\0');
    EXPECT_EQ(settings_carray_format(image.data(), "board_image", c_text.data(), c_text.size()),
              len);
    EXPECT_NE(c_text.find("const uint8_t board_image[" + std::to_string(size) + "]"),
              std::string::npos);
    EXPECT_EQ(settings_carray_format(image.data(), "1bad", nullptr, 0), -1);
}

TEST_F(settings_factory, ImagesFromSettingsText) {
    char err[160] = "";
    const char *text =
        "# defaults\n\nvlan_ver=0x88740001\nvlan=0a0b0c0d0e0f1011\nusername_ver=0x88740001\n";
    int size = settings_image_from_text(text, image.data(), image.size(), err, sizeof err);
    ASSERT_GT(size, 0) << err;
    settings_factory_image_set(image.data());
    state.username = "kept";
    ASSERT_EQ(settings_factory_default(), 1);
    EXPECT_EQ(state.vlan_word, 0x0a0b0c0du);
    EXPECT_EQ(state.username, "kept");  // stored without a text

    const char *bad[] = {"vlan=00\n",
                         "nosuch_ver=0x1\n",
                         "vlan_ver=0x88740001\n",
                         "vlan_ver=12\nvlan=00\n",
                         "vlan_ver=0x1\nvlan=0g\n",
                         "vlan_ver=0x1\nvlan=00\nvlan_ver=0x1\nvlan=00\n"};
    for (const char *b : bad) {
        err[0] = '\0';
        EXPECT_EQ(settings_image_from_text(b, image.data(), image.size(), err, sizeof err), -1)
            << b;
        EXPECT_NE(err[0], '\0') << b;
    }
    EXPECT_EQ(settings_image_from_text(text, image.data(), 8, err, sizeof err), -1);
}

TEST_F(settings_factory, BuiltInImagesAreValid) {
    for (const uint8_t *built_in :
         {factory_default_image_a, factory_default_image_b, factory_default_image_c}) {
        settings_factory_image_set(built_in);
        EXPECT_EQ(settings_factory_default_validate(), 1);
        state = {};
        // The stand-in "vlan" item here cannot read a board's record: the
        // other items still load.
        settings_factory_default();
        EXPECT_EQ(state.username, "admin");
    }
}

TEST_F(settings_factory, MissingOrDamagedImageIsInvalid) {
    settings_factory_image_set(nullptr);
    EXPECT_EQ(settings_factory_default_validate(), 0);
    EXPECT_EQ(settings_factory_default(), 0);

    state = sample_state();
    int size = settings_image_build(image.data(), image.size());
    ASSERT_GT(size, 0);
    settings_factory_image_set(image.data());
    image[3] = static_cast<uint8_t>(image[3] + 1);  // byte count one too many
    EXPECT_EQ(settings_factory_default_validate(), 0);
    image[3] = static_cast<uint8_t>(image[3] - 2);  // one too few
    EXPECT_EQ(settings_factory_default_validate(), 0);
    state = {};
    EXPECT_EQ(settings_factory_default(), 0);
    EXPECT_EQ(state, fake_items::State{});
    EXPECT_EQ(fake_items::rmon_resets, 0);
}

}  // namespace
