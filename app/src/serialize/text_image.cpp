// Text form of settings items: a version line and a value line per item.
#include <cstdio>
#include <cstring>

#include "serialize_internal.h"
#include "shr.h"

namespace settings_internal {
namespace {

constexpr std::string_view kVersionSuffix = "_ver";

}  // namespace

bool version_parse(std::string_view text, uint32_t &version) {
    if (text.size() < 3 || text.size() > 10 || text.substr(0, 2) != "0x") return false;
    uint32_t v = 0;
    for (char c : text.substr(2)) {
        int d = shr_hex_digit(c);
        if (d < 0) return false;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    version = v;
    return true;
}

namespace {

bool value_well_formed(const settings_item &item, std::string_view value) {
    if (item.kind == SETTINGS_ITEM_TEXT) return text_well_formed(value);
    if (value.size() % 2 != 0) return false;
    return value.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
}

}  // namespace

bool text_well_formed(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    }
    return true;
}

bool value_text_append(ByteBuffer &out, const settings_item &item, const ItemValue &v) {
    if (item.kind == SETTINGS_ITEM_TEXT) return out.append(v.bytes.view());
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < v.bytes.size(); i++) {
        const char pair[2] = {digits[v.bytes.data()[i] >> 4], digits[v.bytes.data()[i] & 15]};
        out.append(pair, 2);
    }
    return out.ok();
}

bool text_entry_make(const settings_item &item, uint32_t version, const char *value,
                     ImageEntry &e) {
    e = ImageEntry{};
    e.item = &item;
    e.version = version;
    e.present = value != nullptr;
    e.hex = item.kind == SETTINGS_ITEM_RECORD;
    e.value = value ? std::string_view(value) : std::string_view();
    if (e.hex && !e.present) return false;
    return value_well_formed(item, e.value);
}

bool text_append_item(ByteBuffer &out, const settings_item &item, const ItemValue &v) {
    char version[32];
    std::snprintf(version, sizeof version, "%s=0x%08x\n", kVersionSuffix.data(), v.version);
    out.append(item.name);
    out.append(version);
    if (!v.present) return out.ok();
    out.append(item.name);
    out.append_byte('=');
    value_text_append(out, item, v);
    out.append_byte('\n');
    return out.ok();
}

bool text_parse_lines(std::string_view text, bool allow_comments, ParsedImage &out, char *err,
                      size_t err_size) {
    ImageEntry pending;
    auto commit = [&]() -> bool {
        if (pending.item == nullptr) return true;
        if (pending.item->kind == SETTINGS_ITEM_RECORD && !pending.present) {
            std::snprintf(err, err_size, "record item %s has no value line", pending.item->name);
            return false;
        }
        bool added = out.add(pending, err, err_size);
        pending = ImageEntry{};
        return added;
    };

    int line_no = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        line_no++;
        if (allow_comments && (line.empty() || line[0] == '#')) continue;

        size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            std::snprintf(err, err_size, "line %d: no '='", line_no);
            return false;
        }
        std::string_view key = line.substr(0, eq);
        std::string_view value = line.substr(eq + 1);

        const settings_item *item = nullptr;
        if (key.size() > kVersionSuffix.size() && key.ends_with(kVersionSuffix)) {
            item = item_find(key.substr(0, key.size() - kVersionSuffix.size()));
        }
        if (item != nullptr) {
            if (!commit()) return false;
            pending.item = item;
            if (!version_parse(value, pending.version)) {
                std::snprintf(err, err_size, "line %d: bad version of %s", line_no, item->name);
                return false;
            }
            continue;
        }

        item = item_find(key);
        if (item == nullptr) {
            std::snprintf(err, err_size, "line %d: unknown item %.*s", line_no,
                          static_cast<int>(key.size()), key.data());
            return false;
        }
        if (pending.item != item || pending.present) {
            std::snprintf(err, err_size, "line %d: value of %s without its version line", line_no,
                          item->name);
            return false;
        }
        if (!value_well_formed(*item, value)) {
            std::snprintf(err, err_size, "line %d: malformed value of %s", line_no, item->name);
            return false;
        }
        pending.present = true;
        pending.hex = item->kind == SETTINGS_ITEM_RECORD;
        pending.value = value;
    }
    return commit();
}

}  // namespace settings_internal
