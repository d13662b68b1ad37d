// Binary form of settings items, the content of the factory-default images.
#include <cstdio>

#include "settings.h"
#include "serialize_internal.h"

namespace settings_internal {

void binary_begin(ByteBuffer &out) {
    out.clear();
    out.append_be32(0);  // byte count, filled in by binary_finish
}

bool binary_append_item(ByteBuffer &out, const settings_item &item, const ItemValue &v) {
    std::string_view name = item.name;
    if (name.size() > 255 || v.bytes.size() > SETTINGS_IMAGE_MAX) return false;
    out.append_byte(static_cast<uint8_t>(name.size()));
    out.append(name);
    out.append_be32(v.version);
    out.append_byte(v.present ? 1 : 0);
    out.append_be32(static_cast<uint32_t>(v.bytes.size()));
    out.append(v.bytes.data(), v.bytes.size());
    return out.ok();
}

bool binary_finish(ByteBuffer &out) {
    if (!out.ok() || out.size() > SETTINGS_IMAGE_MAX) return false;
    store_be32(out.data(), static_cast<uint32_t>(out.size()));
    return true;
}

bool binary_parse(const uint8_t *image, size_t limit, ParsedImage &out, char *err,
                  size_t err_size) {
    if (image == nullptr) {
        std::snprintf(err, err_size, "no image");
        return false;
    }
    uint32_t size = load_be32(image);
    if (size < 4 || size > limit) {
        std::snprintf(err, err_size, "image size %u out of range", size);
        return false;
    }
    size_t pos = 4;
    auto take = [&](size_t n) -> const uint8_t * {
        if (n > size - pos) return nullptr;
        const uint8_t *p = image + pos;
        pos += n;
        return p;
    };
    while (pos < size) {
        const uint8_t *name_len = take(1);
        const uint8_t *name = name_len ? take(*name_len) : nullptr;
        const uint8_t *head = name ? take(9) : nullptr;  // version, flags, value length
        const uint8_t *value = head ? take(load_be32(head + 5)) : nullptr;
        if (value == nullptr) {
            std::snprintf(err, err_size, "item at offset %zu runs past the end", pos);
            return false;
        }
        ImageEntry e;
        std::string_view key(reinterpret_cast<const char *>(name), *name_len);
        e.item = item_find(key);
        if (e.item == nullptr) {
            std::snprintf(err, err_size, "unknown item %.*s", static_cast<int>(key.size()),
                          key.data());
            return false;
        }
        e.version = load_be32(head);
        e.present = (head[4] & 1) != 0;
        e.value = {reinterpret_cast<const char *>(value), load_be32(head + 5)};
        bool text = e.item->kind == SETTINGS_ITEM_TEXT;
        if ((!text && !e.present) || (text && !text_well_formed(e.value))) {
            std::snprintf(err, err_size, "malformed value of %s", e.item->name);
            return false;
        }
        if (!out.add(e, err, err_size)) return false;
    }
    return true;
}

}  // namespace settings_internal
