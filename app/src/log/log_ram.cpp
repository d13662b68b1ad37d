// RAM logger: a ring of the newest LOGGER_RAM_RECORDS lines.
#include <cstdio>
#include <cstring>

#include "log_internal.h"
#include "sal_lock.h"

namespace log_internal {
namespace {

struct RamRecord {
    logger_record head;
    char text[LOGGER_TEXT_MAX];
};

struct RamLogger : LoggerBase {
    RamRecord *ring = nullptr;  // LOGGER_RAM_RECORDS entries
    uint32_t next_seq = 1;
    uint32_t count = 0;
};

RamLogger &ram_of(logger *l) {
    return *static_cast<RamLogger *>(l);
}

int ram_clear(logger *l) {
    SalLock hold(core_lock());
    ram_of(l).count = 0;
    return 0;
}

int ram_count(uint32_t *first_seq, logger *l) {
    SalLock hold(core_lock());
    RamLogger &r = ram_of(l);
    if (first_seq) *first_seq = r.next_seq - r.count;
    return static_cast<int>(r.count);
}

int ram_read(logger_record *rec, char *text, int size, logger *l) {
    if (rec == nullptr) return 0;
    SalLock hold(core_lock());
    RamLogger &r = ram_of(l);
    // Unsigned distance from the newest record: also refuses sequences ahead.
    uint32_t age = r.next_seq - 1 - rec->seq;
    if (age >= r.count) return 0;
    const RamRecord &slot = r.ring[rec->seq % LOGGER_RAM_RECORDS];
    rec->level = slot.head.level;
    rec->module = slot.head.module;
    rec->time = slot.head.time;
    if (text != nullptr && size > 0)
        std::snprintf(text, static_cast<size_t>(size), "%s", slot.text);
    return 1;
}

int ram_write(const logger_record *rec, const char *text, logger *l) {
    SalLock hold(core_lock());
    RamLogger &r = ram_of(l);
    RamRecord &slot = r.ring[r.next_seq % LOGGER_RAM_RECORDS];
    slot.head = *rec;
    slot.head.seq = r.next_seq++;
    std::snprintf(slot.text, sizeof slot.text, "%s", text);
    if (r.count < LOGGER_RAM_RECORDS) r.count++;
    return 0;
}

const logger_ops kRamOps = {mask_set, mask_get, ram_clear, ram_count, ram_read, ram_write};

}  // namespace

logger *ram_logger_create() {
    static RamLogger ram;
    if (ram.ring == nullptr) {
        ram.ring = static_cast<RamRecord *>(
            sal_alloc(sizeof(RamRecord) * LOGGER_RAM_RECORDS, "logger_ram"));
        if (ram.ring == nullptr) return nullptr;
    }
    ram.ops = &kRamOps;
    ram.mask = LOGGER_RAM_DEFAULT_MASK;
    return &ram;
}

}  // namespace log_internal
