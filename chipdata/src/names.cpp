// Register and field name tables, indexed by id.
#include <array>
#include <cstring>

#include "chipdata/chipdata.h"

namespace {

struct NameEntry {
    int id;
    const char *name;
};

constexpr NameEntry kRegNames[] = {
#define REG_NAME(id, name) {id, #name},
#include "chipdata/reg_names.def"
#undef REG_NAME
};

constexpr NameEntry kFieldNames[] = {
#define FIELD_NAME(id, name) {id, #name},
#include "chipdata/field_names.def"
#undef FIELD_NAME
};

template <size_t Size, size_t N>
constexpr std::array<const char *, Size> by_id(const NameEntry (&entries)[N]) {
    std::array<const char *, Size> table{};
    for (const NameEntry &e : entries) {
        if (e.id < 0 || static_cast<size_t>(e.id) >= Size || table[e.id] != nullptr)
            throw "name id used twice or out of range";
        table[e.id] = e.name;
    }
    return table;
}

constexpr auto kRegTable = by_id<CHIPDATA_NUM_REG_NAMES>(kRegNames);
constexpr auto kFieldTable = by_id<CHIPDATA_NUM_FIELD_NAMES>(kFieldNames);

template <size_t N>
int find_id(const NameEntry (&entries)[N], const char *name) {
    if (name == nullptr) return -1;
    for (const NameEntry &e : entries) {
        if (std::strcmp(e.name, name) == 0) return e.id;
    }
    return -1;
}

}  // namespace

const char *chipdata_reg_name(int reg_id) {
    if (reg_id < 0 || reg_id >= CHIPDATA_NUM_REG_NAMES) return nullptr;
    return kRegTable[reg_id];
}

const char *chipdata_field_name(int field_id) {
    if (field_id < 0 || field_id >= CHIPDATA_NUM_FIELD_NAMES) return nullptr;
    return kFieldTable[field_id];
}

int chipdata_reg_id(const char *name) {
    return find_id(kRegNames, name);
}

int chipdata_field_id(const char *name) {
    return find_id(kFieldNames, name);
}
