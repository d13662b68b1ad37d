// Firmware upgrade: the uploaded gzip image goes into the image region of
// the flash sector by sector while it arrives, through one sector buffer,
// so that no copy of the whole image is held. Nothing on this host boots
// the written image; the boot loader is not part of the firmware.
#include <algorithm>
#include <cstring>

#include "flash.h"
#include "flash_layout.h"
#include "logger.h"
#include "sal.h"
#include "web_pages.h"
#include "web_system.h"

namespace {

constexpr const char *kTitle = "Firmware Upgrade";
constexpr unsigned char kMagic[4] = {0x1F, 0x8B, 0x08, 0x18};
constexpr const char kStoredName[] = "SSS-DXP7101";
constexpr size_t kNameOffset = 10;
constexpr int kProbeBytes = 256;
constexpr long kNotFound = -1;

enum upgrade_error : int {
    UPG_NO_FLASH = 0,
    UPG_INVALID_IMAGE = 1,
    UPG_WRITE_FAILED = 2,
    UPG_BUSY = 3,
    UPG_NO_MEMORY = 4,
};

// Upgrade state; only the "httpd" thread reads or writes it.
bool running = false;
long image_start = kNotFound;  // flash offset of the image, found once
long received = 0;             // -1 after a failure
long total = 0;

// Per-request blocks: the owner mark of the request that started the
// upgrade, and the sector buffer.
const char owner_key = 0;
const char sector_key = 0;

bool image_head_valid(const unsigned char *head) {
    return std::memcmp(head, kMagic, sizeof kMagic) == 0 &&
           std::memcmp(head + kNameOffset, kStoredName, sizeof kStoredName - 1) == 0;
}

// The sector where the running image starts, searched in the image region.
long image_start_find() {
    unsigned char head[kProbeBytes];
    for (uint32_t off = FLASH_IMAGE_OFFSET; off < FLASH_IMAGE_END; off += FLASH_SECTOR_SIZE) {
        int sector = static_cast<int>(flash_sector_of(off));
        if (sector >= flashNumSectors() || flashBlkRead(sector, head, 0, kProbeBytes) != 0) break;
        if (image_head_valid(head)) return off;
    }
    return FLASH_IMAGE_OFFSET;
}

int sector_write(int sector, const unsigned char *buf, int len) {
    long image_offset = static_cast<long>(sector) * flash_sector_size - image_start;
    sal_printf("* Firmware write: sector=%d (image offset %ld) with len=%d\n", sector, image_offset,
               len);
    if (flashEraseBank(sector, 1) != 0) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_SYSTEM,
                      "Failed to erase flash sector %d when upgrading firmware", sector);
        return -1;
    }
    if (flashBlkWrite(sector, buf, 0, len) != 0) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_SYSTEM,
                      "Failed to program flash sector %d when upgrading firmware", sector);
        return -1;
    }
    return 0;
}

int upgrade_fail(httpd_event *ev, httpd_request *req, upgrade_error error) {
    static const char *const messages[] = {
        "Failed to detect flash memory type!",
        "Invalid firmware image! Please double check!",
        "Failed to erase/write flash memory!",
        "An upgrade has been already started (by someone else)!",
        "Internal server error! Failed to allocate memory!",
    };
    httpd_req_state_free(req, &sector_key);
    received = -1;
    return web_error_page(ev, req, kTitle, messages[error], WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

void invalid_image_log(const httpd_request *req) {
    web_refused_puts(req, LOG_MOD_SYSTEM, "Invalid firmware provided for upgrade");
}

// Refusals before the first byte: the server then drops the body.
int upgrade_refuse(httpd_event *ev, httpd_request *req, upgrade_error error) {
    upgrade_fail(ev, req, error);
    ev->flags &= ~HTTPD_F_MULTIPART;
    return 1;
}

int upgrade_start(httpd_event *ev, httpd_request *req, long size) {
    if (running) return upgrade_refuse(ev, req, UPG_BUSY);
    running = true;
    httpd_req_state_get(req, &owner_key, 1);
    if (flashNumSectors() == 0 && flashInit() != 0) {
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_SYSTEM,
                    "Failed to initialize flash when upgrading firmware");
        return upgrade_refuse(ev, req, UPG_NO_FLASH);
    }
    if (size < flash_sector_size) {
        invalid_image_log(req);
        return upgrade_refuse(ev, req, UPG_INVALID_IMAGE);
    }
    if (httpd_req_state_get(req, &sector_key, static_cast<size_t>(flash_sector_size)) == nullptr) {
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_SYSTEM, "Not enough resource for firmware upgrade");
        return upgrade_refuse(ev, req, UPG_NO_MEMORY);
    }
    if (image_start == kNotFound) {
        image_start = image_start_find();
        logger_printf(LOG_LEVEL_DEBUG, LOG_MOD_SYSTEM, "Firmware upgrade: starting address at %p",
                      reinterpret_cast<void *>(image_start));
    }
    long flash_end = static_cast<long>(flashNumSectors()) * flash_sector_size;
    long room = std::min(static_cast<long>(flash_image_room(static_cast<uint32_t>(image_start))),
                         flash_end - image_start);
    if (size > room) {
        invalid_image_log(req);
        return upgrade_refuse(ev, req, UPG_INVALID_IMAGE);
    }
    // Logged once the image is taken, not for one refused before its first byte.
    logger_puts(LOG_LEVEL_INFO, LOG_MOD_SYSTEM, "Firmware upgrade process started");
    received = 0;
    total = size;
    return 0;
}

// Copies a chunk into the sector buffer, writing each sector once it is full.
int upgrade_chunk(httpd_event *ev, httpd_request *req, const unsigned char *data, long offset,
                  long len) {
    auto *buf = static_cast<unsigned char *>(httpd_req_state_find(req, &sector_key));
    if (buf == nullptr || offset + len > total) return 0;  // failed already
    while (len > 0) {
        long pos = (image_start + offset) % flash_sector_size;
        long n = std::min(len, flash_sector_size - pos);
        std::memcpy(buf + pos, data, static_cast<size_t>(n));
        if (pos + n == flash_sector_size) {
            int sector = static_cast<int>((image_start + offset) / flash_sector_size);
            if (sector == image_start / flash_sector_size && !image_head_valid(buf)) {
                invalid_image_log(req);
                return upgrade_fail(ev, req, UPG_INVALID_IMAGE);
            }
            if (sector_write(sector, buf, flash_sector_size) != 0)
                return upgrade_fail(ev, req, UPG_WRITE_FAILED);
        }
        data += n;
        offset += n;
        len -= n;
        received += n;
    }
    return 0;
}

int upgrade_end(httpd_event *ev, httpd_request *req, long size) {
    auto *buf = static_cast<unsigned char *>(httpd_req_state_find(req, &sector_key));
    if (buf == nullptr) return 0;
    if (size != total) return upgrade_fail(ev, req, UPG_INVALID_IMAGE);  // cut short
    long held = (image_start + size) % flash_sector_size;
    if (held != 0) {
        int sector = static_cast<int>((image_start + size) / flash_sector_size);
        if (sector_write(sector, buf, static_cast<int>(held)) != 0)
            return upgrade_fail(ev, req, UPG_WRITE_FAILED);
    }
    httpd_req_state_free(req, &sector_key);
    logger_puts(LOG_LEVEL_INFO, LOG_MOD_SYSTEM, "Firmware upgrade process completed");
    return 0;
}

}  // namespace

int fupgrade_htm(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    if (running)
        return web_error_page(ev, req, kTitle,
                              "An upgrade has been already started (by someone else)!",
                              WEB_RETRY_LABEL, WEB_RETRY_ACTION);
    received = 0;
    total = 0;
    return 0;
}

int fupgrade_cgi(httpd_event *ev, httpd_request *req) {
    switch (ev->event) {
        case HTTPD_EV_UPLOAD:
            if (ev->a.data == nullptr && ev->b.num == -1) return upgrade_start(ev, req, ev->c.num);
            if (ev->a.data == nullptr) return upgrade_end(ev, req, ev->b.num);
            return upgrade_chunk(ev, req, static_cast<const unsigned char *>(ev->a.data), ev->b.num,
                                 ev->c.num);
        case HTTPD_EV_CLOSE:
            // Only the request that started the upgrade ends it.
            if (httpd_req_state_find(req, &owner_key) != nullptr) running = false;
            return 0;
        default:
            return 0;
    }
}

void sspvar_upgstatus_tag_progress(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    if (args[0] == 0) web_tag_int(out, running ? static_cast<int>(received) : 0);
    if (args[0] == 1) web_tag_int(out, running ? static_cast<int>(total) : 0);
}
