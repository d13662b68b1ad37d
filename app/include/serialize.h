// Settings items and the medium their handlers read and write through.
//
// Every setting belongs to one item of the fixed table g_serializers; the
// subsystem that owns it registers the item's handler. A handler is called as handler(op, medium):
// op 1 loads the item from the medium, 2 saves it, 3 answers its version word (the int carries the
// 32 bits; compare it as uint32_t), 4 checks a stored record without applying it. Load and save
// return the number of bytes handled, or a negative value on failure.
//
// A text item reads and writes one text; a record item reads and writes typed
// fields (16- and 32-bit words big-endian, byte blocks). A read past the end
// of the stored record fails, so a load handler reads its whole record before
// it applies any of it. If a load fails or leaves stored bytes unread, the
// serializer loads the item's previous state back.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int SETTINGS_OP_LOAD = 1;
constexpr int SETTINGS_OP_SAVE = 2;
constexpr int SETTINGS_OP_VERSION = 3;
// Answers 1 when the load would take the medium's record (of the version
// medium_stored_version gives) whole, 0 when it would refuse it. A handler
// without this op answers -1: the record must then have the current version.
constexpr int SETTINGS_OP_CHECK = 4;

struct settings_medium;

struct settings_medium_ops {
    // The item's text, or null when none is stored. Valid until the handler
    // returns.
    const char *(*read_text)(settings_medium *m);
    // 0, or -1 for a null text, one with control characters, or a second text.
    int (*write_text)(settings_medium *m, const char *text);
    // Each returns 0, or -1 when the stored record has fewer bytes left (a
    // read then takes nothing) or the item is a text item.
    int (*read_bytes)(settings_medium *m, void *buf, size_t len);
    int (*write_bytes)(settings_medium *m, const void *buf, size_t len);
    int (*read_u32)(settings_medium *m, uint32_t *value);
    int (*write_u32)(settings_medium *m, uint32_t value);
    int (*read_u16)(settings_medium *m, uint16_t *value);
    int (*write_u16)(settings_medium *m, uint16_t value);
    // The version word of the record being loaded or checked (0 when saving).
    uint32_t (*stored_version)(settings_medium *m);
};

struct settings_medium {
    const settings_medium_ops *ops;
    void *state;  // owned by the serializer
};

using settings_item_fn = int (*)(int op, settings_medium *m);

// The op switch of an item whose load, save and (optional) check are
// functions of the medium: load, save, check, or the item's version; -1 for
// any other op.
inline int settings_item_dispatch(int op, settings_medium *m, int (*load)(settings_medium *),
                                  int (*save)(settings_medium *), uint32_t version,
                                  int (*check)(settings_medium *) = nullptr) {
    switch (op) {
        case SETTINGS_OP_LOAD:
            return load(m);
        case SETTINGS_OP_SAVE:
            return save(m);
        case SETTINGS_OP_VERSION:
            return static_cast<int>(version);
        case SETTINGS_OP_CHECK:
            return check != nullptr ? check(m) : -1;
        default:
            return -1;
    }
}

constexpr int SETTINGS_ITEM_RECORD = 0;
constexpr int SETTINGS_ITEM_TEXT = 1;

struct settings_item {
    const char *name;
    uint32_t group;  // bit mask; groups apply in ascending bit order
    int kind;        // SETTINGS_ITEM_TEXT or SETTINGS_ITEM_RECORD
};

// Groups. RMON is bit 0: 0xFFFFFFFE means "all but RMON".
constexpr uint32_t SETTINGS_GROUP_RMON = 0x00000001;
constexpr uint32_t SETTINGS_GROUP_VLAN = 0x00000002;
constexpr uint32_t SETTINGS_GROUP_PORT = 0x00000004;
constexpr uint32_t SETTINGS_GROUP_TRUNK = 0x00000008;
constexpr uint32_t SETTINGS_GROUP_L2 = 0x00000010;
constexpr uint32_t SETTINGS_GROUP_AGING = 0x00000020;
constexpr uint32_t SETTINGS_GROUP_MIRROR = 0x00000040;
constexpr uint32_t SETTINGS_GROUP_QOS = 0x00000080;
constexpr uint32_t SETTINGS_GROUP_RATE = 0x00000100;
constexpr uint32_t SETTINGS_GROUP_DOS = 0x00000200;
constexpr uint32_t SETTINGS_GROUP_DARP = 0x00000400;
constexpr uint32_t SETTINGS_GROUP_VOIP = 0x00000800;
constexpr uint32_t SETTINGS_GROUP_SNMP = 0x00001000;
constexpr uint32_t SETTINGS_GROUP_NETWORK = 0x00002000;
constexpr uint32_t SETTINGS_GROUP_BOOT = 0x00004000;
constexpr uint32_t SETTINGS_GROUP_HTTPD = 0x00008000;
constexpr uint32_t SETTINGS_GROUP_LOGGERS = 0x02000000;
constexpr uint32_t SETTINGS_GROUP_ACCOUNT = 0xF0000000;
constexpr uint32_t SETTINGS_GROUP_ALL = 0xFFFFFFFF;

// The fixed item table, in save order.
extern const settings_item g_serializers[];
extern const int g_serializers_count;

// Item lookup by exact name; null when unknown.
const settings_item *settings_item_find(const char *name);

// Registers the handler of the named item (at start-up, before the settings
// are used): 0, or -1 for an unknown name, a null handler or an item that
// already has one.
int settings_item_handler_set(const char *name, settings_item_fn fn);
// The item's handler; null until its owner registers one.
settings_item_fn settings_item_handler(const settings_item *item);

// Shorthands for handlers.
inline const char *medium_read_text(settings_medium *m) {
    return m->ops->read_text(m);
}
inline int medium_write_text(settings_medium *m, const char *text) {
    return m->ops->write_text(m, text);
}
inline int medium_read_bytes(settings_medium *m, void *buf, size_t len) {
    return m->ops->read_bytes(m, buf, len);
}
inline int medium_write_bytes(settings_medium *m, const void *buf, size_t len) {
    return m->ops->write_bytes(m, buf, len);
}
inline int medium_read_u32(settings_medium *m, uint32_t *v) {
    return m->ops->read_u32(m, v);
}
inline int medium_write_u32(settings_medium *m, uint32_t v) {
    return m->ops->write_u32(m, v);
}
inline int medium_read_u16(settings_medium *m, uint16_t *v) {
    return m->ops->read_u16(m, v);
}
inline int medium_write_u16(settings_medium *m, uint16_t v) {
    return m->ops->write_u16(m, v);
}
inline uint32_t medium_stored_version(settings_medium *m) {
    return m->ops->stored_version(m);
}
// The check of a record of one fixed length: 1 when the medium holds exactly
// size bytes of that version, else 0.
int settings_check_record_size(settings_medium *m, uint32_t version, size_t size);
// Called by an item's check that refuses a record for one of its values,
// naming it ("port 3: PVID 5000 (1-4094)"): the validation's refusal says
// so instead of a bare "record refused".
void settings_check_refuse(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// Whether the running check is one of a backup image uploaded for a restore,
// not of the stored settings or the factory image: only such a check also
// refuses what this switch as it runs cannot take (a speed its port lacks),
// so a restart never falls back to the factory settings for it. Each image
// is checked in a round of its own, in table order, so that an item's check
// can hand what it read to a later item's (the VLANs to the PVIDs).
bool settings_check_of_backup(void);
uint32_t settings_check_round(void);
