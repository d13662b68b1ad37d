// Flash copy of the RAM file system: the whole tree packed into one archive
// in the file-system region of flash.
//   0  "RFS1"
//   4  u32 length of the archive, header included (little-endian)
//   8  u32 CRC-32 of bytes 12 .. length-1
//  12  u32 number of entries
//  16  entries: u8 kind (1 directory, 2 file), u8 0, u16 path length,
//      u32 data length, the path ('/'-separated, below the root), the data
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "byte_order.h"
#include "flash.h"
#include "flash_layout.h"
#include "fs_internal.h"
#include "sal.h"
#include "shr.h"
#include "unique_fd.h"

namespace fs = std::filesystem;

namespace sal_fs_internal {
namespace {

using storage_bytes::get_u32;

constexpr char kMagic[4] = {'R', 'F', 'S', '1'};
constexpr size_t kHeaderSize = 16;
constexpr size_t kEntryHeaderSize = 8;
constexpr uint8_t kKindDir = 1;
constexpr uint8_t kKindFile = 2;

// One writer at a time, so two syncs cannot interleave their flash writes.
std::mutex &sync_lock() {
    static auto *m = new std::mutex;
    return *m;
}

void put_u32(std::string &out, uint32_t v) {
    for (int i = 0; i < 4; i++)
        out += static_cast<char>(v >> (8 * i));
}

uint32_t archive_crc(const uint8_t *data, size_t len) {
    return ~shr_crc32(~0u, data, len);
}

bool flash_ready() {
    return flashNumSectors() > 0 || flashInit() == 0;
}

bool read_file(const fs::path &path, std::string *out) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) return false;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd.get(), buf, sizeof buf)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        out->append(buf, static_cast<size_t>(n));
        if (out->size() > FLASH_FS_SIZE) break;  // cannot fit anyway; the caller says so
    }
    return n >= 0;
}

// Packs the tree below root; false with a console message when it cannot.
bool pack(const std::string &root, std::string *archive) {
    struct Entry {
        std::string path;
        uint8_t kind;
        std::string data;
    };
    std::vector<Entry> entries;
    size_t total = kHeaderSize;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        fs::file_status st = it->symlink_status(ec);
        if (ec) break;
        Entry e{it->path().lexically_relative(root).generic_string(), 0, {}};
        if (fs::is_directory(st)) {
            e.kind = kKindDir;
        } else if (fs::is_regular_file(st)) {
            e.kind = kKindFile;
            if (!read_file(it->path(), &e.data)) {
                sal_printf("fs: cannot read %s for the flash copy\n", it->path().c_str());
                return false;
            }
        } else {
            continue;  // links and devices are not part of the file system
        }
        total += kEntryHeaderSize + e.path.size() + e.data.size();
        if (e.path.size() > UINT16_MAX || total > FLASH_FS_SIZE) {
            sal_printf("fs: the file system does not fit the %u bytes of its flash region\n",
                       static_cast<unsigned>(FLASH_FS_SIZE));
            return false;
        }
        entries.push_back(std::move(e));
    }
    if (ec) {
        sal_printf("fs: cannot read %s: %s\n", root.c_str(), ec.message().c_str());
        return false;
    }
    // Parents sort before their children; a fixed order also lets an
    // unchanged tree give an unchanged archive.
    std::sort(entries.begin(), entries.end(),
              [](const Entry &a, const Entry &b) { return a.path < b.path; });
    std::string body;
    put_u32(body, static_cast<uint32_t>(entries.size()));
    for (const auto &e : entries) {
        body += static_cast<char>(e.kind);
        body += '\0';
        body += static_cast<char>(e.path.size() & 0xFF);
        body += static_cast<char>(e.path.size() >> 8);
        put_u32(body, static_cast<uint32_t>(e.data.size()));
        body += e.path;
        body += e.data;
    }
    archive->assign(kMagic, sizeof kMagic);
    put_u32(*archive, static_cast<uint32_t>(12 + body.size()));
    put_u32(*archive, archive_crc(reinterpret_cast<const uint8_t *>(body.data()), body.size()));
    *archive += body;
    return true;
}

// A path of the archive must name something strictly below the root.
bool safe_path(std::string_view path) {
    if (path.empty()) return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        std::string_view part = path.substr(
            start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (part.empty() || part == "." || part == ".." || part.find('\0') != part.npos)
            return false;
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return true;
}

bool unpack(const std::string &root, const std::vector<uint8_t> &archive, std::string *why) {
    const uint32_t count = get_u32(&archive[12]);
    size_t pos = kHeaderSize;
    for (uint32_t i = 0; i < count; i++) {
        if (archive.size() - pos < kEntryHeaderSize) {
            *why = "truncated entry";
            return false;
        }
        const uint8_t kind = archive[pos];
        const size_t path_len = archive[pos + 2] | static_cast<size_t>(archive[pos + 3]) << 8;
        const size_t data_len = get_u32(&archive[pos + 4]);
        pos += kEntryHeaderSize;
        if (archive.size() - pos < path_len || archive.size() - pos - path_len < data_len) {
            *why = "entry beyond the archive";
            return false;
        }
        std::string path(reinterpret_cast<const char *>(&archive[pos]), path_len);
        pos += path_len;
        if (!safe_path(path) || (kind != kKindDir && kind != kKindFile)) {
            *why = "bad entry";
            return false;
        }
        std::error_code ec;
        fs::path target = fs::path(root) / path;
        if (kind == kKindDir) {
            fs::create_directories(target, ec);
        } else {
            fs::create_directories(target.parent_path(), ec);
            std::ofstream out(target, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char *>(&archive[pos]),
                      static_cast<std::streamsize>(data_len));
            if (!out) ec = std::make_error_code(std::errc::io_error);
        }
        if (ec) {
            *why = "cannot create " + target.string() + ": " + ec.message();
            return false;
        }
        pos += data_len;
    }
    return true;
}

}  // namespace

int flash_copy_write(const std::string &root) {
    std::lock_guard<std::mutex> g(sync_lock());
    std::string archive;
    if (!pack(root, &archive)) return -1;
    if (!flash_ready()) return -1;
    std::vector<uint8_t> current(archive.size());
    if (flash_read(FLASH_FS_OFFSET, current.data(), current.size()) == 0 &&
        std::memcmp(current.data(), archive.data(), archive.size()) == 0) {
        return 0;  // flash already holds this tree
    }
    const size_t sectors = (archive.size() + FLASH_SECTOR_SIZE - 1) / FLASH_SECTOR_SIZE;
    const auto *bytes = reinterpret_cast<const uint8_t *>(archive.data());
    // Header last: a copy cut off half-way is seen as corrupt, never as complete.
    bool ok = flash_erase(FLASH_FS_OFFSET, sectors * FLASH_SECTOR_SIZE) == 0 &&
              flash_program(FLASH_FS_OFFSET + kHeaderSize, bytes + kHeaderSize,
                            archive.size() - kHeaderSize) == 0 &&
              flash_program(FLASH_FS_OFFSET, bytes, kHeaderSize) == 0 &&
              flash_read(FLASH_FS_OFFSET, current.data(), current.size()) == 0 &&
              std::memcmp(current.data(), bytes, archive.size()) == 0;
    if (!ok) {
        sal_printf("fs: writing the file system to flash failed\n");
        return -1;
    }
    return 0;
}

int flash_copy_restore(const std::string &root) {
    std::lock_guard<std::mutex> g(sync_lock());
    if (!flash_ready()) return -1;
    uint8_t header[kHeaderSize];
    if (flash_read(FLASH_FS_OFFSET, header, sizeof header) != 0) return -1;
    static constexpr uint8_t kErased[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    if (std::memcmp(header, kErased, 4) == 0) return 0;
    std::string why;
    const uint32_t length = get_u32(&header[4]);
    std::vector<uint8_t> archive;
    if (std::memcmp(header, kMagic, 4) != 0) {
        why = "no archive header";
    } else if (length < kHeaderSize || length > FLASH_FS_SIZE) {
        why = "bad length " + std::to_string(length);
    } else {
        archive.resize(length);
        if (flash_read(FLASH_FS_OFFSET, archive.data(), archive.size()) != 0) {
            why = "flash read failed";
        } else if (archive_crc(&archive[12], length - 12) != get_u32(&archive[8])) {
            why = "CRC mismatch";
        } else {
            unpack(root, archive, &why);
        }
    }
    if (!why.empty()) {
        sal_printf("fs: flash copy of the file system ignored: %s\n", why.c_str());
        return -1;
    }
    return 1;
}

int flash_copy_erase() {
    std::lock_guard<std::mutex> g(sync_lock());
    if (!flash_ready()) return -1;
    return flash_erase(FLASH_FS_OFFSET, FLASH_FS_SIZE) == 0 ? 0 : -1;
}

}  // namespace sal_fs_internal
