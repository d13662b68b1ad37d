// Flash driver over a host file. The whole chip is mirrored in memory and
// every erase or program is written through to the file at once, so the file
// always holds what the chip would hold, even if the process dies.
#include "flash.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "flash_layout.h"
#include "sal.h"
#include "sal_host.h"
#include "storage_host.h"
#include "unique_fd.h"

const int flash_sector_size = FLASH_SECTOR_SIZE;

namespace {

enum class FaultOutcome { none, fail, torn };

struct FlashChip {
    std::mutex lock;
    UniqueFd fd;
    std::string path;
    std::vector<uint8_t> mirror;
    bool probed = false;
    std::string last_error;
    uint64_t write_ops = 0;
    bool fault_armed = false;
    unsigned fault_countdown = 0;
    flash_fault fault_kind = flash_fault::stop;
    bool power_cut = false;

    // Decides the fate of the next erase-sector or program call.
    FaultOutcome next_write_op() {
        if (power_cut) return FaultOutcome::fail;
        if (fault_armed) {
            if (fault_countdown == 0) {
                power_cut = true;
                return fault_kind == flash_fault::torn ? FaultOutcome::torn : FaultOutcome::fail;
            }
            fault_countdown--;
        }
        write_ops++;
        return FaultOutcome::none;
    }

    bool write_through(uint32_t offset, const uint8_t *data, size_t len) {
        if (len == 0) return true;
        size_t done = 0;
        bool ok = true;
        while (done < len) {
            ssize_t n =
                ::pwrite(fd.get(), data + done, len - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                sal_printf("flash: write to %s at 0x%x failed: %s\n", path.c_str(),
                           static_cast<unsigned>(offset + done), std::strerror(errno));
                ok = false;
                break;
            }
            done += static_cast<size_t>(n);
        }
        // The bytes that reached the file are what the chip now holds.
        std::memcpy(mirror.data() + offset, data, done);
        return ok;
    }

    bool in_chip(uint32_t offset, size_t len) const {
        return probed && fd.valid() && offset <= FLASH_SIZE && len <= FLASH_SIZE - offset;
    }

    void close_file() {
        if (fd.valid()) ::fdatasync(fd.get());
        fd.reset();  // also drops the lock on the file
        path.clear();
        mirror.clear();
        probed = false;
    }
};

FlashChip &chip() {
    // Never destroyed: the reboot flush may run while the process ends.
    static auto *c = new FlashChip;
    return *c;
}

void flush_on_reboot() {
    flash_host_sync();
}

bool read_fully(int fd, uint8_t *buf, size_t len) {
    size_t done = 0;
    while (done < len) {
        ssize_t n = ::pread(fd, buf + done, len - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes erased bytes from the offset to the end of the chip.
bool fill_erased(int fd, uint32_t from, const std::string &name, std::string *error) {
    std::vector<uint8_t> erased(FLASH_SECTOR_SIZE, 0xFF);
    for (uint32_t off = from; off < FLASH_SIZE;) {
        size_t n = std::min<size_t>(erased.size(), FLASH_SIZE - off);
        ssize_t w = ::pwrite(fd, erased.data(), n, off);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            *error = "cannot write flash file " + name + ": " + std::strerror(errno);
            return false;
        }
        off += static_cast<uint32_t>(w);
    }
    return true;
}

UniqueFd create_erased(const std::string &path, std::string *error) {
    std::error_code ec;
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!fd.valid()) {
        *error = "cannot create flash file " + path + ": " + std::strerror(errno);
        return fd;
    }
    if (!fill_erased(fd.get(), 0, path, error)) {
        fd.reset();
        ::unlink(path.c_str());
    }
    return fd;
}

// Opens or creates the file with the chip lock held.
int open_locked(FlashChip &c, const char *path, bool create) {
    c.close_file();
    if (path == nullptr || *path == '\0') {
        c.last_error = "no flash file name given";
        return -1;
    }
    std::string name = path;
    UniqueFd fd(::open(path, O_RDWR | O_CLOEXEC));
    if (!fd.valid() && errno == ENOENT && create) {
        fd = create_erased(name, &c.last_error);
        if (!fd.valid()) return -1;
    } else if (!fd.valid()) {
        c.last_error = "cannot open flash file " + name + ": " + std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        c.last_error = "flash file " + name + " is not a regular file";
        return -1;
    }
    // Only a file opened for use (create) is filled up; one that is only read
    // stays as it is.
    off_t size = st.st_size;
    if (size > static_cast<off_t>(FLASH_SIZE) ||
        (size < static_cast<off_t>(FLASH_SIZE) && !create)) {
        c.last_error = "flash file " + name + " is " + std::to_string(size) + " bytes, not the " +
                       std::to_string(FLASH_SIZE) + " bytes of the flash chip; refusing to use it";
        return -1;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        c.last_error = "flash file " + name + " is in use by another process";
        return -1;
    }
    if (size < static_cast<off_t>(FLASH_SIZE)) {
        // A file cut short stands for a chip whose missing part is erased:
        // the store finds no settings there and the firmware starts with its
        // defaults rather than not at all.
        sal_printf(
            "flash: flash file %s is %lld bytes, less than the %u bytes of the flash "
            "chip; the rest is taken as erased\n",
            name.c_str(), static_cast<long long>(size), FLASH_SIZE);
        if (!fill_erased(fd.get(), static_cast<uint32_t>(size), name, &c.last_error)) return -1;
    }
    std::vector<uint8_t> mirror(FLASH_SIZE);
    if (!read_fully(fd.get(), mirror.data(), mirror.size())) {
        c.last_error = "cannot read flash file " + name + ": " + std::strerror(errno);
        return -1;
    }
    c.fd = std::move(fd);
    c.path = name;
    c.mirror = std::move(mirror);
    c.write_ops = 0;
    c.last_error.clear();
    static std::once_flag flusher;
    std::call_once(flusher, [] { sal_reboot_flush_register(flush_on_reboot); });
    return 0;
}

// Sector-relative arguments to a chip offset; false when out of range.
bool sector_range(int sector, int offset, int len, uint32_t *chip_offset) {
    if (sector < 0 || sector >= static_cast<int>(FLASH_NUM_SECTORS) || offset < 0 || len < 0 ||
        offset > static_cast<int>(FLASH_SECTOR_SIZE) ||
        len > static_cast<int>(FLASH_SECTOR_SIZE) - offset) {
        return false;
    }
    *chip_offset =
        static_cast<uint32_t>(sector) * FLASH_SECTOR_SIZE + static_cast<uint32_t>(offset);
    return true;
}

}  // namespace

int flash_host_open(const char *path, int create) {
    FlashChip &c = chip();
    std::lock_guard<std::mutex> g(c.lock);
    return open_locked(c, path, create != 0);
}

void flash_host_close(void) {
    FlashChip &c = chip();
    std::lock_guard<std::mutex> g(c.lock);
    c.close_file();
}

const char *flash_host_path(void) {
    FlashChip &c = chip();
    std::lock_guard<std::mutex> g(c.lock);
    return c.fd.valid() ? c.path.c_str() : "";
}

const char *flash_host_last_error(void) {
    FlashChip &c = chip();
    std::lock_guard<std::mutex> g(c.lock);
    return c.last_error.c_str();
}

int flash_host_sync(void) {
    FlashChip &c = chip();
    std::lock_guard<std::mutex> g(c.lock);
    if (!c.fd.valid()) return -1;
    return ::fdatasync(c.fd.get()) == 0 ? 0 : -1;
}

void flash_host_fault_after(unsigned ops, flash_fault kind) {
    FlashChip &c = chip();
    std::lock_guard<std::mutex> g(c.lock);
    c.fault_armed = true;
    c.fault_countdown = ops;
    c.fault_kind = kind;
    c.power_cut = false;
}

void flash_host_fault_clear(void) {
    FlashChip &c = chip();
    std::lock_guard<std::mutex> g(c.lock);
    c.fault_armed = false;
    c.power_cut = false;
}

uint64_t flash_host_write_ops(void) {
    FlashChip &c = chip();
    std::lock_guard<std::mutex> g(c.lock);
    return c.write_ops;
}

int flashInit(void) {
    FlashChip &c = chip();
    std::lock_guard<std::mutex> g(c.lock);
    if (!c.fd.valid() && open_locked(c, FLASH_HOST_DEFAULT_PATH, true) != 0) {
        sal_printf("flash: %s\n", c.last_error.c_str());
        return -1;
    }
    c.probed = true;
    return 0;
}

int flashNumSectors(void) {
    FlashChip &c = chip();
    std::lock_guard<std::mutex> g(c.lock);
    return c.probed ? static_cast<int>(FLASH_NUM_SECTORS) : 0;
}

int flash_read(uint32_t offset, void *buf, size_t len) {
    FlashChip &c = chip();
    std::lock_guard<std::mutex> g(c.lock);
    if (buf == nullptr || !c.in_chip(offset, len)) return -1;
    if (len > 0) std::memcpy(buf, c.mirror.data() + offset, len);
    return 0;
}

int flash_program(uint32_t offset, const void *buf, size_t len) {
    FlashChip &c = chip();
    std::lock_guard<std::mutex> g(c.lock);
    if (buf == nullptr || !c.in_chip(offset, len)) return -1;
    FaultOutcome fault = c.next_write_op();
    if (fault == FaultOutcome::fail) return -1;
    if (fault == FaultOutcome::torn) len /= 2;
    // NOR programming can only clear bits.
    std::vector<uint8_t> cells(c.mirror.begin() + offset, c.mirror.begin() + offset + len);
    const auto *src = static_cast<const uint8_t *>(buf);
    for (size_t i = 0; i < len; i++)
        cells[i] &= src[i];
    bool ok = c.write_through(offset, cells.data(), len);
    return ok && fault == FaultOutcome::none ? 0 : -1;
}

int flash_erase(uint32_t offset, size_t len) {
    FlashChip &c = chip();
    std::lock_guard<std::mutex> g(c.lock);
    if (!c.in_chip(offset, len) || offset % FLASH_SECTOR_SIZE != 0 ||
        len % FLASH_SECTOR_SIZE != 0) {
        return -1;
    }
    const std::vector<uint8_t> erased(FLASH_SECTOR_SIZE, 0xFF);
    for (uint32_t at = offset; at < offset + len; at += FLASH_SECTOR_SIZE) {
        FaultOutcome fault = c.next_write_op();
        if (fault == FaultOutcome::fail) return -1;
        size_t span = fault == FaultOutcome::torn ? FLASH_SECTOR_SIZE / 2 : FLASH_SECTOR_SIZE;
        if (!c.write_through(at, erased.data(), span) || fault != FaultOutcome::none) return -1;
    }
    return 0;
}

int flashBlkRead(int sector, void *buf, int offset, int len) {
    uint32_t at;
    if (!sector_range(sector, offset, len, &at)) return -1;
    return flash_read(at, buf, static_cast<size_t>(len));
}

int flashBlkWrite(int sector, const void *buf, int offset, int len) {
    uint32_t at;
    if (!sector_range(sector, offset, len, &at)) return -1;
    return flash_program(at, buf, static_cast<size_t>(len));
}

int flashEraseBank(int first, int count) {
    if (first < 0 || count < 0 || first >= static_cast<int>(FLASH_NUM_SECTORS) ||
        count > static_cast<int>(FLASH_NUM_SECTORS) - first) {
        return -1;
    }
    return flash_erase(static_cast<uint32_t>(first) * FLASH_SECTOR_SIZE,
                       static_cast<size_t>(count) * FLASH_SECTOR_SIZE);
}
