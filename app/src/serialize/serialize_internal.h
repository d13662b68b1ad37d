// Shared by the serializer's modules: item values, the parsed form of the
// text and binary images, and the medium handed to item handlers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "byte_buffer.h"
#include "serialize.h"

namespace settings_internal {

constexpr size_t kMaxItems = 32;

const settings_item *item_find(std::string_view name);
int item_index(const settings_item *item);
// Items sorted by the lowest bit of their group, table order within a bit.
std::span<const settings_item *const> items_in_group_order();

// One item as a medium stores it: the version word and the value bytes (a
// record, or a text without its NUL). `present` is false for a text item
// that has no text.
struct ItemValue {
    uint32_t version = 0;
    bool present = false;
    ByteBuffer bytes;
};

// An item as found in an image; `value` points into the image.
struct ImageEntry {
    const settings_item *item = nullptr;
    uint32_t version = 0;
    bool present = false;
    bool hex = false;  // value is hexadecimal text of the record bytes
    std::string_view value;
};

struct ParsedImage {
    std::array<ImageEntry, kMaxItems> entries{};  // by table index; item null when absent
    int count = 0;
    const ImageEntry *find(const settings_item &item) const;
    // Adds an entry; false (with err) for a duplicate.
    bool add(const ImageEntry &e, char *err, size_t err_size);
};

// Fills out with the entry's value bytes; false for bad hexadecimal text.
bool entry_value(const ImageEntry &e, ItemValue &out);

// Text lines: "name_ver=0x%08x" and, when present, "name=value" (records in
// lower-case hexadecimal).
bool version_parse(std::string_view text, uint32_t &version);  // "0x" and 1-8 hex digits
// The value as text: the text itself, or the record in hexadecimal.
bool value_text_append(ByteBuffer &out, const settings_item &item, const ItemValue &v);
// An entry from a stored version and value text (null: none stored); false
// when the value is missing for a record or malformed.
bool text_entry_make(const settings_item &item, uint32_t version, const char *value, ImageEntry &e);
bool text_append_item(ByteBuffer &out, const settings_item &item, const ItemValue &v);
// Parses text lines into out. With allow_comments, blank lines and lines
// beginning with '#' are skipped; otherwise they are an error.
bool text_parse_lines(std::string_view text, bool allow_comments, ParsedImage &out, char *err,
                      size_t err_size);
// True when the text has no control characters (it fits on one line).
bool text_well_formed(std::string_view text);
bool hex_decode(std::string_view hex, ByteBuffer &out);

// Binary image: a 32-bit byte count, then per item: name length (1 byte),
// name, version (4), flags (1: bit 0 present), value length (4), value.
void binary_begin(ByteBuffer &out);
bool binary_append_item(ByteBuffer &out, const settings_item &item, const ItemValue &v);
bool binary_finish(ByteBuffer &out);
bool binary_parse(const uint8_t *image, size_t limit, ParsedImage &out, char *err, size_t err_size);

// The checks of an uploaded backup image, while it lives (one round).
class BackupCheck {
  public:
    BackupCheck();
    ~BackupCheck();
    BackupCheck(const BackupCheck &) = delete;
    BackupCheck &operator=(const BackupCheck &) = delete;
};

// Every entry of an item that has a handler is one its load takes whole (see
// SETTINGS_OP_CHECK); false with the reason in err.
bool entries_fit(const ParsedImage &image, char *err, size_t err_size);
// Null when the item's load takes the stored value whole, else the reason.
const char *item_check(const settings_item &item, uint32_t version, const ItemValue &v);
// The value the last refusing check of this thread named; empty when none.
const char *check_refused_value(void);
void check_refused_clear(void);

// The medium handed to a handler for one item.
struct MediumState {
    const settings_item *item = nullptr;
    bool loading = false;
    bool failed = false;  // a write was refused
    // Loading: the stored value (texts NUL-terminated by the caller).
    const uint8_t *data = nullptr;
    size_t len = 0;
    size_t pos = 0;
    bool present = false;
    uint32_t version = 0;
    // Saving.
    ItemValue *out = nullptr;
};
settings_medium medium_for(MediumState &state);
MediumState &state_of(settings_medium *m);

// Calls the item's handler to save it into v; the handler's result, or -1.
int item_save(const settings_item &item, ItemValue &v);
// Loads the item from a stored value after checking its version; on a failed
// load, or stored bytes left unread, the item's previous state is loaded
// back. The handler's result, or -1 (logged with `source`).
int item_load(const settings_item &item, uint32_t version, const ItemValue &v, const char *source);
uint32_t item_version(const settings_item &item);

}  // namespace settings_internal
