// The medium handed to item handlers: typed big-endian fields and texts over
// one item value.
#include <cstring>

#include "serialize_internal.h"

namespace settings_internal {

MediumState &state_of(settings_medium *m) {
    return *static_cast<MediumState *>(m->state);
}

namespace {

bool is_record_load(const MediumState &s) {
    return s.loading && s.item->kind == SETTINGS_ITEM_RECORD;
}

bool is_record_save(const MediumState &s) {
    return !s.loading && s.item->kind == SETTINGS_ITEM_RECORD && s.out != nullptr;
}

const char *read_text(settings_medium *m) {
    MediumState &s = state_of(m);
    if (!s.loading || s.item->kind != SETTINGS_ITEM_TEXT || !s.present) return nullptr;
    return reinterpret_cast<const char *>(s.data);
}

int write_text(settings_medium *m, const char *text) {
    MediumState &s = state_of(m);
    // One line per text in the text images: control characters would break it.
    bool acceptable = !s.loading && s.item->kind == SETTINGS_ITEM_TEXT && s.out != nullptr &&
                      text != nullptr && !s.out->present && text_well_formed(text);
    if (!acceptable || !s.out->bytes.append(std::string_view(text))) {
        s.failed = true;
        return -1;
    }
    s.out->present = true;
    return 0;
}

int read_bytes(settings_medium *m, void *buf, size_t len) {
    MediumState &s = state_of(m);
    if (!is_record_load(s) || len > s.len - s.pos || (buf == nullptr && len != 0)) return -1;
    if (len != 0) std::memcpy(buf, s.data + s.pos, len);
    s.pos += len;
    return 0;
}

int write_bytes(settings_medium *m, const void *buf, size_t len) {
    MediumState &s = state_of(m);
    if (!is_record_save(s) || (buf == nullptr && len != 0) || !s.out->bytes.append(buf, len)) {
        s.failed = true;
        return -1;
    }
    return 0;
}

int read_u32(settings_medium *m, uint32_t *value) {
    uint8_t b[4];
    if (value == nullptr || read_bytes(m, b, sizeof b) != 0) return -1;
    *value = load_be32(b);
    return 0;
}

int write_u32(settings_medium *m, uint32_t value) {
    uint8_t b[4];
    store_be32(b, value);
    return write_bytes(m, b, sizeof b);
}

int read_u16(settings_medium *m, uint16_t *value) {
    uint8_t b[2];
    if (value == nullptr || read_bytes(m, b, sizeof b) != 0) return -1;
    *value = load_be16(b);
    return 0;
}

int write_u16(settings_medium *m, uint16_t value) {
    uint8_t b[2];
    store_be16(b, value);
    return write_bytes(m, b, sizeof b);
}

uint32_t stored_version(settings_medium *m) {
    const MediumState &s = state_of(m);
    return s.loading ? s.version : 0;
}

const settings_medium_ops kOps = {.read_text = read_text,
                                  .write_text = write_text,
                                  .read_bytes = read_bytes,
                                  .write_bytes = write_bytes,
                                  .read_u32 = read_u32,
                                  .write_u32 = write_u32,
                                  .read_u16 = read_u16,
                                  .write_u16 = write_u16,
                                  .stored_version = stored_version};

}  // namespace

settings_medium medium_for(MediumState &state) {
    return settings_medium{&kOps, &state};
}

uint32_t item_version(const settings_item &item) {
    // An empty loading medium, for handlers that look at it anyway.
    MediumState idle;
    idle.item = &item;
    idle.loading = true;
    settings_medium m = medium_for(idle);
    settings_item_fn handler = settings_item_handler(&item);
    return handler ? static_cast<uint32_t>(handler(SETTINGS_OP_VERSION, &m)) : 0;
}

}  // namespace settings_internal

int settings_check_record_size(settings_medium *m, uint32_t version, size_t size) {
    const settings_internal::MediumState &s = settings_internal::state_of(m);
    return s.loading && s.version == version && s.len == size ? 1 : 0;
}
