// Parsed images: entry lookup and value decoding.
#include <cstdio>

#include "serialize_internal.h"
#include "shr.h"

namespace settings_internal {

const ImageEntry *ParsedImage::find(const settings_item &item) const {
    const ImageEntry &e = entries[static_cast<size_t>(item_index(&item))];
    return e.item ? &e : nullptr;
}

bool ParsedImage::add(const ImageEntry &e, char *err, size_t err_size) {
    ImageEntry &slot = entries[static_cast<size_t>(item_index(e.item))];
    if (slot.item != nullptr) {
        std::snprintf(err, err_size, "item %s appears twice", e.item->name);
        return false;
    }
    slot = e;
    count++;
    return true;
}

bool hex_decode(std::string_view hex, ByteBuffer &out) {
    if (hex.size() % 2 != 0) return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = shr_hex_digit(hex[i]);
        int lo = shr_hex_digit(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        if (!out.append_byte(static_cast<uint8_t>(hi << 4 | lo))) return false;
    }
    return true;
}

bool entry_value(const ImageEntry &e, ItemValue &out) {
    out.version = e.version;
    out.present = e.present;
    out.bytes.clear();
    if (e.hex) return hex_decode(e.value, out.bytes);
    return out.bytes.append(e.value);
}

}  // namespace settings_internal
