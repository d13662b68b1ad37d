// The administrator account, its settings items and the scrambled password
// record.
#include <array>
#include <atomic>
#include <cstring>

#include "net_util.h"
#include "sal.h"
#include "webauth.h"
#include "webauth_internal.h"

namespace {

using field = std::array<char, WEBAUTH_FIELD_SIZE>;

// Our constants of the record scrambling; stored records depend on them.
constexpr uint8_t kScrambleKey = 0x6D;
constexpr int kRecordTextBytes = WEBAUTH_FIELD_SIZE - 1;

field username{"admin"};
field password{"qivor"};
std::atomic<uint32_t> account_generation{1};

// Holds "net_util_userinfo" while it exists; without it the account runs
// unguarded, as it does before the network utilities start.
class account_lock {
  public:
    account_lock() : mutex_(net_util_userinfo) {
        if (mutex_ != nullptr) taken_ = sal_mutex_take(mutex_, NET_UTIL_USERINFO_WAIT_USECS) == 0;
    }
    ~account_lock() {
        if (taken_) sal_mutex_give(mutex_);
    }
    account_lock(const account_lock &) = delete;
    account_lock &operator=(const account_lock &) = delete;
    bool held() const { return mutex_ == nullptr || taken_; }

  private:
    sal_mutex_t mutex_;
    bool taken_ = false;
};

int field_set(field &dst, const char *value) {
    if (value == nullptr) return 0;
    size_t len = strnlen(value, WEBAUTH_FIELD_SIZE);
    if (len >= WEBAUTH_FIELD_SIZE) return 0;
    account_lock lock;
    if (!lock.held()) return 0;
    dst.fill('\0');
    std::memcpy(dst.data(), value, len);
    account_generation.fetch_add(1);
    return 1;
}

int field_get(const field &src, char *buf, int size) {
    if (buf == nullptr || size <= 0) return 0;
    account_lock lock;
    if (!lock.held()) return 0;
    size_t len = strnlen(src.data(), src.size());
    if (len >= static_cast<size_t>(size)) return 0;
    std::memcpy(buf, src.data(), len + 1);
    return 1;
}

// The 15 text bytes as one 120-bit number, first byte most significant.
void rotate_right(uint8_t *bytes, int bits) {
    uint8_t out[kRecordTextBytes];
    for (int i = 0; i < kRecordTextBytes; i++) {
        uint8_t prev = bytes[(i + kRecordTextBytes - 1) % kRecordTextBytes];
        out[i] = static_cast<uint8_t>((bytes[i] >> bits) | (prev << (8 - bits)));
    }
    std::memcpy(bytes, out, sizeof out);
}

void rotate_left(uint8_t *bytes, int bits) {
    uint8_t out[kRecordTextBytes];
    for (int i = 0; i < kRecordTextBytes; i++) {
        uint8_t next = bytes[(i + 1) % kRecordTextBytes];
        out[i] = static_cast<uint8_t>((bytes[i] << bits) | (next >> (8 - bits)));
    }
    std::memcpy(bytes, out, sizeof out);
}

uint8_t key_byte(int i) {
    return static_cast<uint8_t>(kScrambleKey + 5 * i);
}

}  // namespace

namespace webauth_internal {

uint32_t account_generation_get() {
    return account_generation.load();
}

void password_scramble(const char *text, uint8_t t, uint8_t record[16]) {
    uint8_t plain[kRecordTextBytes] = {};
    std::memcpy(plain, text, strnlen(text, kRecordTextBytes));
    int shift = t % 14 + 1;
    for (int i = 0; i < kRecordTextBytes; i++)
        record[(i + shift) % kRecordTextBytes] = plain[i];
    rotate_right(record, t % 7 + 1);
    for (int i = 0; i < kRecordTextBytes; i++)
        record[i] ^= key_byte(i);
    record[kRecordTextBytes] = t;
}

void password_unscramble(const uint8_t record[16], char text[16]) {
    uint8_t t = record[kRecordTextBytes];
    uint8_t bytes[kRecordTextBytes];
    for (int i = 0; i < kRecordTextBytes; i++)
        bytes[i] = record[i] ^ key_byte(i);
    rotate_left(bytes, t % 7 + 1);
    int shift = t % 14 + 1;
    for (int i = 0; i < kRecordTextBytes; i++)
        text[i] = static_cast<char>(bytes[(i + shift) % kRecordTextBytes]);
    text[kRecordTextBytes] = '\0';
}

}  // namespace webauth_internal

int webauth_username_set(const char *name) {
    return field_set(username, name);
}

int webauth_password_set(const char *value) {
    return field_set(password, value);
}

int webauth_username_get(char *buf, int size) {
    return field_get(username, buf, size);
}

int webauth_password_get(char *buf, int size) {
    return field_get(password, buf, size);
}

int webauth_item_username(int op, settings_medium *m) {
    switch (op) {
        case SETTINGS_OP_LOAD: {
            const char *text = medium_read_text(m);
            // A name the account cannot hold fails the load, so that the
            // serializer keeps the current one.
            if (text != nullptr && webauth_username_set(text) != 1) return -1;
            return WEBAUTH_TEXT_MAX;
        }
        case SETTINGS_OP_SAVE: {
            char name[WEBAUTH_FIELD_SIZE];
            if (webauth_username_get(name, sizeof name) != 1) return -1;
            return medium_write_text(m, name) == 0 ? WEBAUTH_TEXT_MAX : -1;
        }
        case SETTINGS_OP_VERSION:
            return static_cast<int>(WEBAUTH_USERNAME_VERSION);
        default:
            return -1;
    }
}

int webauth_item_password(int op, settings_medium *m) {
    uint8_t record[WEBAUTH_PASSWORD_RECORD_SIZE] = {};
    switch (op) {
        case SETTINGS_OP_LOAD: {
            if (medium_read_bytes(m, record, kRecordTextBytes) != 0 ||
                medium_read_bytes(m, record + kRecordTextBytes, 1) != 0) {
                return -1;
            }
            char text[WEBAUTH_FIELD_SIZE];
            webauth_internal::password_unscramble(record, text);
            return webauth_password_set(text) == 1 ? WEBAUTH_FIELD_SIZE : -1;
        }
        case SETTINGS_OP_SAVE: {
            char text[WEBAUTH_FIELD_SIZE];
            if (webauth_password_get(text, sizeof text) != 1) return -1;
            webauth_internal::password_scramble(text, static_cast<uint8_t>(sal_time() & 0xFF),
                                                record);
            if (medium_write_bytes(m, record, kRecordTextBytes) != 0 ||
                medium_write_bytes(m, record + kRecordTextBytes, 1) != 0) {
                return -1;
            }
            return WEBAUTH_FIELD_SIZE;
        }
        case SETTINGS_OP_VERSION:
            return static_cast<int>(WEBAUTH_PASSWORD_VERSION);
        case SETTINGS_OP_CHECK:
            return settings_check_record_size(m, WEBAUTH_PASSWORD_VERSION,
                                              WEBAUTH_PASSWORD_RECORD_SIZE);
        default:
            return -1;
    }
}
