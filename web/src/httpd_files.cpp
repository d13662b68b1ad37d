// The web root: directories with their file tables, the root hook and the
// server name.
#include <atomic>
#include <cstring>

#include "httpd_internal.h"
#include "sal.h"

namespace {

struct httpd_dir {
    const char *name;
    const httpd_file *files;  // in byte order of their lower-case names
    int count;
};

const httpd_dir web_dirs[] = {{"/", web_file_table, HTTPD_FILE_COUNT}, {nullptr, nullptr, 0}};

// Names compare without regard to case; the table's names are lower case,
// so its byte order is also the order of this comparison.
const httpd_file *row_find(const httpd_dir &dir, const char *component) {
    int low = 0;
    int high = dir.count - 1;
    while (low <= high) {
        int mid = low + (high - low) / 2;
        int cmp = sal_strcasecmp(component, dir.files[mid].name);
        if (cmp == 0) return &dir.files[mid];
        if (cmp < 0) {
            high = mid - 1;
        } else {
            low = mid + 1;
        }
    }
    return nullptr;
}

// Set by the start-up code before the server runs and read by "httpd".
std::atomic<httpd_hook_fn> root_hook{nullptr};
std::atomic<uint32_t> root_mask{0};
std::atomic<const char *> server_name{"CarvolixQSW"};

}  // namespace

const httpd_file *httpd_file_find(const char *path) {
    if (path == nullptr) return nullptr;
    const char *slash = std::strrchr(path, '/');
    const char *component = slash != nullptr ? slash + 1 : path;
    for (const httpd_dir *dir = web_dirs; dir->name != nullptr; dir++) {
        if (std::strncmp(path, dir->name, std::strlen(dir->name)) != 0) continue;
        if (const httpd_file *row = row_find(*dir, component)) return row;
    }
    return nullptr;
}

const httpd_record *httpd_file_content_get(const char *path, uint32_t *flags) {
    const httpd_file *row = httpd_file_find(path);
    if (row == nullptr) return nullptr;
    if (flags != nullptr) *flags = row->flags;
    return row->content;
}

void httpd_set_hook(httpd_hook_fn hook, uint32_t mask) {
    root_hook.store(hook);
    root_mask.store(mask);
}

void httpd_set_server_name(const char *name) {
    if (name == nullptr || name[0] == '\0') return;
    server_name.store(name);
}

const char *httpd_server_name(void) {
    return server_name.load();
}

httpd_hook_fn httpd_root_hook(void) {
    return root_hook.load();
}

uint32_t httpd_root_mask(void) {
    return root_hook.load() != nullptr ? root_mask.load() : 0;
}

int httpd_pending_handler(httpd_event *, httpd_request *) {
    return 0;
}
