// NVRAM store: the name=value table lives in RAM; a commit writes the whole
// image to the copy not in use, so a power cut at any moment leaves the
// previous copy intact, and the valid copy with the later commit counter wins
// at open.
#include "nvram.h"

#include <array>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "flash.h"
#include "flash_layout.h"
#include "nvram_image.h"
#include "sal.h"
#include "storage_host.h"

namespace {

struct Var {
    std::string name;
    std::unique_ptr<std::string> text;
    std::string_view value;  // of text
    size_t record_bytes() const { return name.size() + 1 + value.size() + 1; }
};

// A value that was replaced or removed. Callers of nvram_get read the text
// they were handed right away, possibly on another thread while the value
// is set again, so it is freed only after a grace time rather than at once;
// keeping every value ever set would grow without bound as the settings
// change.
struct Retired {
    std::unique_ptr<std::string> text;
    uint32_t at_usecs;  // sal_time_usecs
};
constexpr uint32_t kRetiredGraceUsecs = 2000000;

struct Store {
    std::mutex lock;
    bool open = false;
    std::vector<Var> vars;
    size_t records_bytes = 0;
    int active_copy = -1;
    uint32_t commit_count = 0;
    int bad_copies = 0;
    std::string stored_records;  // records of the active copy

    Var *find(const char *name) {
        for (auto &v : vars) {
            if (v.name == name) return &v;
        }
        return nullptr;
    }

    void put(std::string name, std::string_view value) {
        Var *v = find(name.c_str());
        if (v != nullptr && v->value == value) return;  // the handed-out text stays
        auto text = std::make_unique<std::string>(value);
        const std::string_view kept(*text);
        if (v != nullptr) {
            records_bytes -= v->record_bytes();
            retire(std::move(v->text));
            v->text = std::move(text);
            v->value = kept;
            records_bytes += v->record_bytes();
            return;
        }
        vars.push_back(Var{std::move(name), std::move(text), kept});
        records_bytes += vars.back().record_bytes();
    }

    std::deque<Retired> retired;  // oldest first

    void retire(std::unique_ptr<std::string> text) {
        const uint32_t now = sal_time_usecs();
        while (!retired.empty() && now - retired.front().at_usecs >= kRetiredGraceUsecs)
            retired.pop_front();
        retired.push_back(Retired{std::move(text), now});
    }

    std::string records() const {
        std::string out;
        out.reserve(records_bytes);
        for (const auto &v : vars) {
            out += v.name;
            out += '=';
            out += v.value;
            out += '\0';
        }
        return out;
    }

    void clear() {
        for (auto &v : vars)
            retire(std::move(v.text));
        vars.clear();
        records_bytes = 0;
        active_copy = -1;
        commit_count = 0;
        bad_copies = 0;
        stored_records.clear();
    }
};

Store &store() {
    static auto *s = new Store;
    return *s;
}

uint32_t copy_offset(int copy) {
    return FLASH_NVRAM_OFFSET + static_cast<uint32_t>(copy) * FLASH_NVRAM_COPY_SIZE;
}

bool flash_ready() {
    return flashNumSectors() > 0 || flashInit() == 0;
}

bool valid_name(const char *name) {
    return name != nullptr && *name != '\0' && std::strchr(name, '=') == nullptr;
}

// Writes the image to one copy. The copy's magic is cleared first, so an
// erase cut short can never leave old and new bytes that pass the CRC-8 by
// chance; then the body, then the header, so a copy cut off half-way never
// shows a complete header over an incomplete body. Each step reaches the disk
// before the next, and the save counts as done only once the header has.
bool write_copy(int copy, const std::vector<uint8_t> &image) {
    const uint32_t at = copy_offset(copy);
    const size_t head = nvram_image::kHeaderSize;
    static constexpr uint8_t kNoMagic[4] = {0, 0, 0, 0};
    if (flash_program(at, kNoMagic, sizeof kNoMagic) != 0 || flash_host_sync() != 0) return false;
    if (flash_erase(at, FLASH_NVRAM_COPY_SIZE) != 0) return false;
    if (flash_program(at + head, image.data() + head, image.size() - head) != 0) return false;
    if (flash_host_sync() != 0) return false;
    if (flash_program(at, image.data(), head) != 0 || flash_host_sync() != 0) return false;
    std::vector<uint8_t> check(image.size());
    return flash_read(at, check.data(), check.size()) == 0 && check == image;
}

}  // namespace

int nvram_init(void) {
    Store &s = store();
    std::lock_guard<std::mutex> g(s.lock);
    if (s.open) return 0;  // a second caller must not drop uncommitted settings
    s.clear();
    s.open = true;
    if (!flash_ready()) {
        sal_printf("nvram: flash not available; the store starts empty\n");
        return -1;
    }
    std::vector<uint8_t> copy(FLASH_NVRAM_COPY_SIZE);
    nvram_image::Decoded best;
    for (int i = 0; i < static_cast<int>(FLASH_NVRAM_COPIES); i++) {
        if (flash_read(copy_offset(i), copy.data(), copy.size()) != 0) {
            sal_printf("nvram: cannot read copy %d from flash\n", i);
            s.bad_copies++;
            continue;
        }
        nvram_image::Decoded d = nvram_image::decode(copy);
        if (d.verdict == nvram_image::Verdict::blank) continue;
        if (d.verdict != nvram_image::Verdict::valid) {
            sal_printf("nvram: copy %d at 0x%06x ignored: %s\n", i,
                       static_cast<unsigned>(copy_offset(i)), nvram_image::describe(d).c_str());
            s.bad_copies++;
            continue;
        }
        if (s.active_copy < 0 || nvram_image::later(d.commit, best.commit)) {
            s.active_copy = i;
            best = std::move(d);
        }
    }
    if (s.active_copy < 0) {
        if (s.bad_copies > 0)
            sal_printf("nvram: no valid image in flash; the store starts empty\n");
        return 0;
    }
    s.commit_count = best.commit;
    for (auto &[name, value] : best.vars)
        s.put(std::move(name), value);
    s.stored_records = s.records();
    return 0;
}

const char *nvram_get(const char *name) {
    Store &s = store();
    std::lock_guard<std::mutex> g(s.lock);
    if (!s.open) return "";
    if (name == nullptr) return nullptr;
    Var *v = s.find(name);
    return v ? v->value.data() : nullptr;
}

int nvram_set(const char *name, const char *value) {
    if (!valid_name(name)) {
        sal_printf("nvram: invalid variable name \"%.64s\"\n", name ? name : "(null)");
        return -1;
    }
    if (value == nullptr) value = "";
    Store &s = store();
    std::lock_guard<std::mutex> g(s.lock);
    if (!s.open) return -1;
    const size_t name_len = std::strlen(name);
    const size_t value_len = std::strlen(value);
    Var *old = s.find(name);
    const size_t others = s.records_bytes - (old ? old->record_bytes() : 0);
    const size_t limit = FLASH_NVRAM_COPY_SIZE - nvram_image::image_size(0);
    const size_t record = name_len + 1 + value_len + 1;
    if (others + record > limit) {
        sal_printf("nvram: no room for \"%.64s\": the image would exceed %u bytes\n", name,
                   static_cast<unsigned>(FLASH_NVRAM_COPY_SIZE));
        return -1;
    }
    s.put(name, value);
    return 0;
}

int nvram_unset(const char *name) {
    Store &s = store();
    std::lock_guard<std::mutex> g(s.lock);
    if (!s.open || name == nullptr) return -1;
    for (auto it = s.vars.begin(); it != s.vars.end(); ++it) {
        if (it->name == name) {
            s.records_bytes -= it->record_bytes();
            s.retire(std::move(it->text));
            s.vars.erase(it);
            return 0;
        }
    }
    return -1;
}

int nvram_getall(char *buf, size_t count) {
    if (buf == nullptr || count == 0) return -1;
    Store &s = store();
    std::lock_guard<std::mutex> g(s.lock);
    buf[0] = '\0';
    if (s.records_bytes + 1 > count) return -1;
    std::string records = s.records();
    std::memcpy(buf, records.data(), records.size());
    buf[records.size()] = '\0';
    return 0;
}

int nvram_commit(void) {
    Store &s = store();
    std::lock_guard<std::mutex> g(s.lock);
    if (!s.open) return -1;
    std::string records = s.records();
    const bool nothing_stored = s.active_copy < 0 && s.bad_copies == 0 && records.empty();
    if (nothing_stored || (s.active_copy >= 0 && records == s.stored_records)) return 0;
    if (!flash_ready()) {
        sal_printf("nvram: commit failed: flash not available\n");
        return -1;
    }
    const int target = s.active_copy < 0 ? 0 : 1 - s.active_copy;
    const uint32_t commit = s.active_copy < 0 ? 1 : s.commit_count + 1;
    std::vector<uint8_t> image = nvram_image::encode(records, commit);
    if (!write_copy(target, image)) {
        sal_printf("nvram: commit to flash copy %d failed; the previous settings are kept\n",
                   target);
        return -1;
    }
    s.active_copy = target;
    s.commit_count = commit;
    s.stored_records = std::move(records);
    return 0;
}

void nvram_host_close(void) {
    Store &s = store();
    std::lock_guard<std::mutex> g(s.lock);
    s.clear();
    s.open = false;
}

void nvram_host_state_get(nvram_host_state *out) {
    if (out == nullptr) return;
    Store &s = store();
    std::lock_guard<std::mutex> g(s.lock);
    out->open = s.open ? 1 : 0;
    out->active_copy = s.active_copy;
    out->commit_count = s.commit_count;
    out->bad_copies = s.bad_copies;
    out->image_bytes = static_cast<uint32_t>(nvram_image::image_size(s.records_bytes));
    out->image_limit = FLASH_NVRAM_COPY_SIZE;
}
