// Flash logger: a ring of fixed-size records in the flash log region. Lines
// are queued by the log core and written by the thread "flashlog", so a
// logging thread never waits for the flash. Record n lives in slot
// n % slots; entering a sector erases it first, dropping its oldest records.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app_host.h"
#include "byte_buffer.h"
#include "flash.h"
#include "flash_layout.h"
#include "log_internal.h"
#include "nvram.h"
#include "sal_lock.h"
#include "shr.h"

namespace log_internal {
namespace {

// Record: magic, seq, time (u32 each, big-endian), level, module, text
// length (u8 each), a spare byte, CRC-32 of the header and text, the text.
constexpr uint32_t kMagic = 0x464C4F47;
constexpr uint32_t kHeaderBytes = 20;
constexpr uint32_t kRecordBytes = 276;
constexpr uint32_t kTextMax = LOGGER_TEXT_MAX - 1;
static_assert(kHeaderBytes + kTextMax <= kRecordBytes);
constexpr int kQueueSize = 64;

struct Pending {
    logger_record head;
    char text[LOGGER_TEXT_MAX];
};

struct FlashLogger : LoggerBase {
    sal_mutex_t io = nullptr;    // orders the writer's and clear's flash writes
    sal_mutex_t lock = nullptr;  // everything below; never held over a flash write
    sal_sem_t work = nullptr;    // queue not empty
    sal_sem_t idle = nullptr;    // the writer emptied the queue
    uint32_t offset = 0;
    uint32_t slots = 0;
    uint32_t slots_per_sector = 0;
    uint32_t first = 1;  // oldest stored sequence
    uint32_t count = 0;  // sequences first .. first + count - 1 are written
    uint32_t next_seq = 1;
    Pending queue[kQueueSize];
    int queued = 0;
    bool writing = false;
    uint32_t dropped = 0;  // lines refused since the last note of them
};

FlashLogger &flash_of(logger *l) {
    return *static_cast<FlashLogger *>(l);
}

uint32_t slot_offset(const FlashLogger &f, uint32_t seq) {
    uint32_t slot = seq % f.slots;
    uint32_t sector = slot / f.slots_per_sector;
    return f.offset + sector * FLASH_SECTOR_SIZE + (slot % f.slots_per_sector) * kRecordBytes;
}

uint32_t record_crc(const uint8_t *rec, uint32_t text_len) {
    uint32_t crc = shr_crc32(~0u, rec, 16);
    return ~shr_crc32(crc, rec + kHeaderBytes, text_len);
}

void encode(const logger_record &head, const char *text, uint8_t (&rec)[kRecordBytes]) {
    std::memset(rec, 0xFF, sizeof rec);
    uint32_t len = static_cast<uint32_t>(strnlen(text, kTextMax));
    store_be32(rec, kMagic);
    store_be32(rec + 4, head.seq);
    store_be32(rec + 8, head.time);
    rec[12] = static_cast<uint8_t>(head.level);
    rec[13] = static_cast<uint8_t>(head.module);
    rec[14] = static_cast<uint8_t>(len);
    rec[15] = 0;
    std::memcpy(rec + kHeaderBytes, text, len);
    store_be32(rec + 16, record_crc(rec, len));
}

// Reads the record of seq from flash: true when it is intact.
bool decode(const FlashLogger &f, uint32_t seq, logger_record &head, char *text, size_t size) {
    uint8_t rec[kRecordBytes];
    if (flash_read(slot_offset(f, seq), rec, sizeof rec) != 0) return false;
    uint32_t len = rec[14];
    if (load_be32(rec) != kMagic || load_be32(rec + 4) != seq || len > kTextMax ||
        load_be32(rec + 16) != record_crc(rec, len))
        return false;
    head.seq = seq;
    head.time = load_be32(rec + 8);
    head.level = rec[12];
    head.module = rec[13];
    if (text != nullptr && size > 0) {
        size_t n = std::min<size_t>(len, size - 1);
        std::memcpy(text, rec + kHeaderBytes, n);
        text[n] = '\0';
    }
    return true;
}

// Finds the stored range after a restart.
void scan(FlashLogger &f) {
    bool any = false;
    uint32_t last = 0;
    for (uint32_t slot = 0; slot < f.slots; slot++) {
        uint8_t head[8];
        uint32_t at = f.offset + (slot / f.slots_per_sector) * FLASH_SECTOR_SIZE +
                      (slot % f.slots_per_sector) * kRecordBytes;
        if (flash_read(at, head, sizeof head) != 0 || load_be32(head) != kMagic) continue;
        uint32_t seq = load_be32(head + 4);
        logger_record rec;
        if (seq % f.slots != slot || !decode(f, seq, rec, nullptr, 0)) continue;
        if (!any || static_cast<int32_t>(seq - last) > 0) last = seq;
        any = true;
    }
    if (!any) return;
    // The oldest intact record within one ring's length of the newest.
    uint32_t first = last;
    for (uint32_t back = 1; back < f.slots && last - back != 0; back++) {
        logger_record rec;
        if (decode(f, last - back, rec, nullptr, 0)) first = last - back;
    }
    f.first = first;
    f.count = last - first + 1;
    f.next_seq = last + 1;
}

// True when the record slot of seq reads as erased flash.
bool slot_blank(const FlashLogger &f, uint32_t seq) {
    uint8_t rec[kRecordBytes];
    if (flash_read(slot_offset(f, seq), rec, sizeof rec) != 0) return false;
    return std::all_of(rec, rec + sizeof rec, [](uint8_t b) { return b == 0xFF; });
}

// Writer side: stores one record, erasing its sector first when it starts one.
void store(FlashLogger &f, const Pending &p) {
    SalLock writing(f.io);
    uint32_t seq = p.head.seq;
    {
        SalLock hold(f.lock);
        if (static_cast<int32_t>(seq - f.first) < 0 && f.count == 0) return;  // cleared meanwhile
    }
    uint32_t in_sector = seq % f.slots % f.slots_per_sector;
    if (in_sector != 0 && !slot_blank(f, seq)) {
        // Programming can only clear bits: over foreign bytes (a damaged
        // region, a write cut short) the record would never read back. The
        // sector is erased and the ring starts again at this record.
        flash_erase(slot_offset(f, seq - in_sector), FLASH_SECTOR_SIZE);
        SalLock hold(f.lock);
        f.first = seq;
        f.count = 0;
    } else if (in_sector == 0) {
        flash_erase(slot_offset(f, seq), FLASH_SECTOR_SIZE);
        // The erased sector held the records one ring's length older.
        uint32_t oldest_left = seq + f.slots_per_sector - f.slots;
        SalLock hold(f.lock);
        if (f.count != 0 && static_cast<int32_t>(oldest_left - f.first) > 0) {
            uint32_t dropped = oldest_left - f.first;
            f.count = dropped >= f.count ? 0 : f.count - dropped;
            f.first = oldest_left;
        }
    }
    uint8_t rec[kRecordBytes];
    encode(p.head, p.text, rec);
    flash_program(slot_offset(f, seq), rec, sizeof rec);  // a failed write leaves a hole
    SalLock hold(f.lock);
    if (f.count == 0) f.first = seq;
    f.count = seq - f.first + 1;
}

void flashlog_main(void *arg) {
    FlashLogger &f = *static_cast<FlashLogger *>(arg);
    for (;;) {
        sal_sem_take(f.work, sal_sem_FOREVER);
        for (;;) {
            Pending p;
            {
                SalLock hold(f.lock);
                if (f.queued == 0) {
                    f.writing = false;
                    break;
                }
                p = f.queue[0];
                std::memmove(f.queue, f.queue + 1,
                             sizeof(Pending) * static_cast<size_t>(--f.queued));
                f.writing = true;
            }
            store(f, p);
        }
        sal_sem_give(f.idle);
    }
}

// Drops the queued lines too.
int flash_clear(logger *l) {
    FlashLogger &f = flash_of(l);
    SalLock writing(f.io);
    {
        SalLock hold(f.lock);
        f.queued = 0;
        f.dropped = 0;
    }
    int result = flash_erase(f.offset, f.slots / f.slots_per_sector * FLASH_SECTOR_SIZE);
    SalLock hold(f.lock);
    f.first = f.next_seq;
    f.count = 0;
    return result;
}

int flash_count(uint32_t *first_seq, logger *l) {
    FlashLogger &f = flash_of(l);
    SalLock hold(f.lock);
    if (first_seq) *first_seq = f.first;
    return static_cast<int>(f.count);
}

int flash_read_record(logger_record *rec, char *text, int size, logger *l) {
    if (rec == nullptr) return 0;
    FlashLogger &f = flash_of(l);
    SalLock hold(f.lock);
    if (rec->seq - f.first >= f.count) return 0;
    return decode(f, rec->seq, *rec, text, size > 0 ? static_cast<size_t>(size) : 0) ? 1 : 0;
}

void enqueue_locked(FlashLogger &f, const logger_record &rec, const char *text) {
    Pending &p = f.queue[f.queued++];
    p.head = rec;
    p.head.seq = f.next_seq++;
    std::snprintf(p.text, sizeof p.text, "%s", text);
}

int flash_write(const logger_record *rec, const char *text, logger *l) {
    FlashLogger &f = flash_of(l);
    {
        SalLock hold(f.lock);
        // The flash is behind: the line is dropped, and the ring says how
        // many were before the next line it keeps.
        if (f.queued >= kQueueSize - (f.dropped != 0 ? 1 : 0)) {
            f.dropped++;
            return -1;
        }
        if (f.dropped != 0) {
            char note[LOGGER_TEXT_MAX];
            std::snprintf(note, sizeof note, "%u lines not stored: the flash was behind",
                          f.dropped);
            enqueue_locked(f, {0, LOG_LEVEL_WARNING, LOG_MOD_LOGGER, rec->time}, note);
            f.dropped = 0;
        }
        enqueue_locked(f, *rec, text);
    }
    sal_sem_give(f.work);
    return 0;
}

const logger_ops kFlashOps = {mask_set,    mask_get,          flash_clear,
                              flash_count, flash_read_record, flash_write};

std::atomic<FlashLogger *> the_flash_logger{nullptr};

// The region from the NVRAM keys "flashlog_offset" and "flashlog_size", or
// the layout's; it must stay inside the layout's log area.
bool region(uint32_t &offset, uint32_t &size) {
    const char *off_text = nvram_get("flashlog_offset");
    const char *size_text = nvram_get("flashlog_size");
    offset = off_text && *off_text ? shr_ctou(off_text) : FLASH_LOG_OFFSET;
    size = size_text && *size_text ? shr_ctou(size_text) : FLASH_LOG_SIZE;
    if (size == 0) return false;  // turned off
    bool inside = offset >= FLASH_LOG_OFFSET && size <= FLASH_LOG_SIZE &&
                  offset - FLASH_LOG_OFFSET <= FLASH_LOG_SIZE - size;
    if (!inside || offset % FLASH_SECTOR_SIZE != 0 || size % FLASH_SECTOR_SIZE != 0 ||
        size < 2 * FLASH_SECTOR_SIZE) {
        sal_printf(
            "flashlog: region 0x%x+0x%x is not whole sectors of the log area; no flash log\n",
            offset, size);
        return false;
    }
    return true;
}

}  // namespace

logger *flash_logger_create() {
    if (FlashLogger *made = the_flash_logger.load()) return made;
    uint32_t offset;
    uint32_t size;
    if ((flashNumSectors() == 0 && flashInit() != 0) || !region(offset, size)) return nullptr;
    static FlashLogger instance;
    FlashLogger *f = &instance;
    f->ops = &kFlashOps;
    f->mask = LOGGER_FLASH_DEFAULT_MASK;
    f->offset = offset;
    f->slots_per_sector = FLASH_SECTOR_SIZE / kRecordBytes;
    f->slots = size / FLASH_SECTOR_SIZE * f->slots_per_sector;
    f->io = sal_mutex_create("flashlog io");
    f->lock = sal_mutex_create("flashlog");
    f->work = sal_sem_create("flashlog work", sal_sem_BINARY, 0);
    f->idle = sal_sem_create("flashlog idle", sal_sem_BINARY, 0);
    if (!f->io || !f->lock || !f->work || !f->idle) return nullptr;
    scan(*f);
    if (sal_thread_create("flashlog", 16384, 50, flashlog_main, f) == SAL_THREAD_ERROR) {
        return nullptr;
    }
    the_flash_logger.store(f);
    return f;
}

}  // namespace log_internal

int logger_flash_sync(void) {
    using namespace log_internal;
    FlashLogger *f = the_flash_logger.load();
    if (f == nullptr) return -1;
    for (;;) {
        {
            SalLock hold(f->lock);
            if (f->queued == 0 && !f->writing) return 0;
        }
        sal_sem_take(f->idle, sal_sem_FOREVER);
    }
}
