// RAM file system over a host directory, and "host:" files over the TFTP
// directory. Every name is resolved lexically inside its root and then walked
// one directory at a time without following symbolic links, so no name can
// reach outside the root.
#include "sal_fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fs_internal.h"
#include "sal.h"
#include "storage_host.h"
#include "unique_fd.h"

namespace {

enum class Area { local, host };

struct Resolved {
    Area area = Area::local;
    std::vector<std::string> parts;  // below the area's root
};

struct FsState {
    std::mutex lock;
    bool ready = false;
    std::string root;
    std::string tftp_root;
    std::vector<std::string> cwd;
    std::vector<std::string> home;
    std::set<FILE *> written;  // local streams open for writing
};

FsState &state() {
    static auto *s = new FsState;
    return *s;
}

void ensure_ready() {
    {
        std::lock_guard<std::mutex> g(state().lock);
        if (state().ready) return;
    }
    sal_fs_host_init(nullptr, nullptr);
}

std::string join(const std::vector<std::string> &parts, const char *trailer) {
    std::string out = "/";
    for (size_t i = 0; i < parts.size(); i++) {
        if (i > 0) out += '/';
        out += parts[i];
    }
    if (!parts.empty()) out += trailer;
    return out;
}

bool starts_with(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// Lexical resolution: errno value, 0 when the name stays inside its root.
int resolve(const char *name, Resolved *out) {
    if (name == nullptr) return EINVAL;
    std::string_view rest(name);
    if (rest.empty()) return ENOENT;
    out->parts.clear();
    if (starts_with(rest, "flash:")) {
        out->area = Area::local;
        rest.remove_prefix(6);
    } else if (starts_with(rest, "host:")) {
        out->area = Area::host;
        rest.remove_prefix(5);
    } else if (rest.find(':') < rest.find('/')) {
        return ENODEV;  // a device prefix this board does not have
    } else {
        out->area = Area::local;
        if (rest.front() != '/') {
            std::lock_guard<std::mutex> g(state().lock);
            out->parts = state().cwd;
        }
    }
    while (!rest.empty()) {
        size_t slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (out->parts.empty()) return EACCES;
            out->parts.pop_back();
            continue;
        }
        out->parts.emplace_back(part);
    }
    return 0;
}

std::string area_root(Area area) {
    std::lock_guard<std::mutex> g(state().lock);
    return area == Area::local ? state().root : state().tftp_root;
}

// Opens the directory made of the first count parts, refusing symbolic links.
UniqueFd open_dir(Area area, const std::vector<std::string> &parts, size_t count) {
    UniqueFd fd(::open(area_root(area).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (size_t i = 0; i < count && fd.get() >= 0; i++) {
        fd.reset(
            ::openat(fd.get(), parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    return fd;
}

// The directory holding a name and the name's last part; the root itself has
// no parent. Sets errno and returns false on failure.
struct Located {
    Resolved where;
    UniqueFd parent;
    std::string leaf;
};

bool locate(const char *name, Located *out) {
    ensure_ready();
    int err = resolve(name, &out->where);
    if (err != 0) {
        errno = err;
        return false;
    }
    if (out->where.parts.empty()) {
        errno = EBUSY;  // the root cannot be opened, removed or renamed
        return false;
    }
    const auto &parts = out->where.parts;
    out->parent = open_dir(out->where.area, parts, parts.size() - 1);
    out->leaf = parts.back();
    return out->parent.get() >= 0;
}

int open_flags(const char *mode, bool *writes) {
    int flags;
    switch (mode[0]) {
        case 'r':
            flags = 0;
            *writes = false;
            break;
        case 'w':
            flags = O_CREAT | O_TRUNC;
            *writes = true;
            break;
        case 'a':
            flags = O_CREAT | O_APPEND;
            *writes = true;
            break;
        default:
            return -1;
    }
    const bool update = std::strchr(mode, '+') != nullptr;
    if (update) *writes = true;
    if (update) return flags | O_RDWR;
    return flags | (mode[0] == 'r' ? O_RDONLY : O_WRONLY);
}

// Opens a regular file below dir. Non-blocking until it is known to be one:
// opening a FIFO would otherwise wait for ever for its other end.
UniqueFd open_regular(int dir, const char *leaf, int flags) {
    UniqueFd fd(::openat(dir, leaf, flags | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd.valid()) return fd;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return UniqueFd();
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return UniqueFd();
    }
    if (::fcntl(fd.get(), F_SETFL, flags & O_APPEND) != 0) return UniqueFd();
    return fd;
}

bool is_dir(Area area, const std::vector<std::string> &parts) {
    return open_dir(area, parts, parts.size()).get() >= 0;
}

int sync_after_change(int result) {
    if (result != 0) return result;
    return sal_flash_sync() == 0 ? 0 : -1;
}

void list_dir(UniqueFd dir_fd, const char *name) {
    DIR *dir = ::fdopendir(dir_fd.get());
    if (dir == nullptr) {
        sal_printf("ls: cannot read %s: %s\n", name, std::strerror(errno));
        return;
    }
    dir_fd.release();  // closedir closes it
    struct Entry {
        std::string name;
        bool dir;
        unsigned long size;
    };
    std::vector<Entry> entries;
    while (struct dirent *d = ::readdir(dir)) {
        if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) continue;
        entries.push_back({d->d_name, S_ISDIR(st.st_mode), static_cast<unsigned long>(st.st_size)});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const Entry &a, const Entry &b) { return a.name < b.name; });
    for (const auto &e : entries) {
        if (e.dir) {
            sal_printf("     <DIR>  %s/\n", e.name.c_str());
        } else {
            sal_printf("%10lu  %s\n", e.size, e.name.c_str());
        }
    }
}

// Copies the current or home directory as text; buf, or null when it does not fit.
char *copy_dir_text(std::vector<std::string> FsState::*dir, const char *trailer, char *buf,
                    size_t size) {
    if (buf == nullptr) return nullptr;
    ensure_ready();
    std::string text;
    {
        std::lock_guard<std::mutex> g(state().lock);
        text = join(state().*dir, trailer);
    }
    if (text.size() + 1 > size) return nullptr;
    std::memcpy(buf, text.c_str(), text.size() + 1);
    return buf;
}

}  // namespace

namespace sal_fs_internal {

std::string root_dir() {
    ensure_ready();
    return area_root(Area::local);
}

int replace_file(const char *name, std::string_view content) {
    Located at;
    if (!locate(name, &at)) return -1;
    const std::string temp = "." + at.leaf + ".new";
    UniqueFd fd = open_regular(at.parent.get(), temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC);
    if (!fd.valid()) return -1;
    size_t done = 0;
    while (done < content.size()) {
        ssize_t n = ::write(fd.get(), content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::unlinkat(at.parent.get(), temp.c_str(), 0);
            return -1;
        }
        done += static_cast<size_t>(n);
    }
    fd.reset();
    if (::renameat(at.parent.get(), temp.c_str(), at.parent.get(), at.leaf.c_str()) != 0) {
        ::unlinkat(at.parent.get(), temp.c_str(), 0);
        return -1;
    }
    return at.where.area == Area::local ? sync_after_change(0) : 0;
}

}  // namespace sal_fs_internal

int sal_fs_host_init(const char *root, const char *tftp_root) {
    std::string dir = root ? root : SAL_FS_HOST_DEFAULT_ROOT;
    std::string tftp = tftp_root ? tftp_root : SAL_FS_HOST_DEFAULT_TFTP_ROOT;
    for (const std::string &d : {dir, tftp}) {
        std::error_code ec;
        std::filesystem::create_directories(d, ec);
        if (!std::filesystem::is_directory(d, ec)) {
            sal_printf("fs: cannot use directory %s: %s\n", d.c_str(),
                       ec ? ec.message().c_str() : "not a directory");
            return -1;
        }
    }
    {
        std::lock_guard<std::mutex> g(state().lock);
        state().root = dir;
        state().tftp_root = tftp;
        state().cwd.clear();
        state().home.clear();
        state().ready = true;
    }
    std::error_code ec;
    if (std::filesystem::is_empty(dir, ec) && !ec) sal_fs_internal::flash_copy_restore(dir);
    return 0;
}

FILE *sal_fopen(const char *name, const char *mode) {
    bool writes = false;
    const int flags = mode ? open_flags(mode, &writes) : -1;
    if (flags < 0) {
        errno = EINVAL;
        return nullptr;
    }
    Located at;
    if (!locate(name, &at)) return nullptr;
    UniqueFd fd = open_regular(at.parent.get(), at.leaf.c_str(), flags);
    if (!fd.valid()) return nullptr;
    FILE *f = ::fdopen(fd.get(), mode);
    if (f == nullptr) return nullptr;
    fd.release();
    if (writes && at.where.area == Area::local) {
        std::lock_guard<std::mutex> g(state().lock);
        state().written.insert(f);
    }
    return f;
}

int sal_fclose(FILE *stream) {
    if (stream == nullptr) return EOF;
    bool written;
    {
        std::lock_guard<std::mutex> g(state().lock);
        written = state().written.erase(stream) > 0;
    }
    int rc = std::fclose(stream);
    if (written && sal_flash_sync() != 0) rc = EOF;
    return rc;
}

int sal_remove(const char *name) {
    Located at;
    if (!locate(name, &at)) return -1;
    int rc = ::unlinkat(at.parent.get(), at.leaf.c_str(), 0);
    return at.where.area == Area::local ? sync_after_change(rc) : rc;
}

int sal_rename(const char *old_name, const char *new_name) {
    Located from;
    Located to;
    if (!locate(old_name, &from) || !locate(new_name, &to)) return -1;
    if (from.where.area != to.where.area) {
        errno = EXDEV;
        return -1;
    }
    int rc = ::renameat(from.parent.get(), from.leaf.c_str(), to.parent.get(), to.leaf.c_str());
    return from.where.area == Area::local ? sync_after_change(rc) : rc;
}

int sal_mkdir(const char *path) {
    Located at;
    if (!locate(path, &at)) return -1;
    int rc = ::mkdirat(at.parent.get(), at.leaf.c_str(), 0755);
    return at.where.area == Area::local ? sync_after_change(rc) : rc;
}

int sal_rmdir(const char *path) {
    Located at;
    if (!locate(path, &at)) return -1;
    int rc = ::unlinkat(at.parent.get(), at.leaf.c_str(), AT_REMOVEDIR);
    return at.where.area == Area::local ? sync_after_change(rc) : rc;
}

int sal_ls(const char *name, int /*flags*/) {
    ensure_ready();
    Resolved where;
    if (name == nullptr || *name == '\0') name = ".";
    if (resolve(name, &where) != 0) {
        sal_printf("ls: %s: no such file or directory\n", name);
        return -1;
    }
    UniqueFd dir = open_dir(where.area, where.parts, where.parts.size());
    if (dir.get() >= 0) {
        list_dir(std::move(dir), name);
        return 0;
    }
    Located at;
    struct stat st {};
    if (!locate(name, &at) ||
        ::fstatat(at.parent.get(), at.leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode)) {
        sal_printf("ls: %s: no such file or directory\n", name);
        return -1;
    }
    sal_printf("%10lu  %s\n", static_cast<unsigned long>(st.st_size), at.leaf.c_str());
    return 0;
}

char *sal_getcwd(char *buf, size_t size) {
    return copy_dir_text(&FsState::cwd, "", buf, size);
}

int sal_cd(const char *dir) {
    ensure_ready();
    Resolved where;
    if (dir == nullptr) {
        std::lock_guard<std::mutex> g(state().lock);
        where.parts = state().home;
    } else if (resolve(dir, &where) != 0 || where.area != Area::local) {
        return -1;
    }
    if (!is_dir(Area::local, where.parts)) return -1;
    std::lock_guard<std::mutex> g(state().lock);
    state().cwd = std::move(where.parts);
    return 0;
}

int sal_homedir_set(const char *dir) {
    ensure_ready();
    Resolved where;
    if (resolve(dir, &where) != 0 || where.area != Area::local ||
        !is_dir(Area::local, where.parts)) {
        return -1;
    }
    std::lock_guard<std::mutex> g(state().lock);
    state().home = std::move(where.parts);
    return 0;
}

char *sal_homedir_get(char *buf, size_t size) {
    return copy_dir_text(&FsState::home, "/", buf, size);
}

int sal_flash_sync(void) {
    return sal_fs_internal::flash_copy_write(sal_fs_internal::root_dir());
}

int sal_flash_init(int format) {
    const std::string root = sal_fs_internal::root_dir();
    if (!format) {
        std::error_code ec;
        if (!std::filesystem::is_empty(root, ec) || ec) return ec ? -1 : 0;
        return sal_fs_internal::flash_copy_restore(root) < 0 ? -1 : 0;
    }
    std::error_code ec;
    std::vector<std::filesystem::path> entries;
    for (std::filesystem::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path());
    if (ec) return -1;
    for (const auto &path : entries) {
        std::filesystem::remove_all(path, ec);  // removes links, never what they point to
        if (ec) {
            sal_printf("fs: cannot remove %s: %s\n", path.c_str(), ec.message().c_str());
            return -1;
        }
    }
    {
        std::lock_guard<std::mutex> g(state().lock);
        state().cwd.clear();
        state().home.clear();
    }
    return sal_fs_internal::flash_copy_erase();
}

int sal_flash_boot(const char * /*file*/) {
    return -1;
}
