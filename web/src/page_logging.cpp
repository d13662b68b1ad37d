// Logging pages: the loggers and syslog servers with their level masks,
// the log view (50 records a page, newest first), the search and its CSV
// download. The loggers and their rings belong to the log core.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "logger.h"
#include "net_util.h"
#include "settings.h"
#include "web_pages.h"

namespace {

constexpr uint32_t kLoggerGroup = 0x2000000;
constexpr int kLevelBoxes = 4;
constexpr int kRecordsPerPage = 50;
constexpr int kLinksMax = 9;
constexpr int kFirstAppModule = LOG_MOD_GENERAL;
constexpr const char *kAddTitle = "Logging - Add Server";
constexpr const char *kDelTitle = "Logging - Remove Server";

enum local_logger : uint16_t { LOCAL_RAM = 0, LOCAL_FLASH = 5, LOCAL_CONSOLE = 6 };
enum ring_no : int { RING_RAM = 0, RING_FLASH = 1 };

// Target numbers: RAM, flash and console in that order as far as present;
// syslog rows follow the flash logger (or the RAM logger without one).
struct target_numbers {
    int ram;
    int flash;
    int console;
    int server_base;
};

target_numbers targets() {
    target_numbers t{-1, -1, -1, -1};
    int next = 0;
    if (logger_ram_get() != nullptr) t.ram = next++;
    if (logger_flash_get() != nullptr) t.flash = next++;
    if (logger_console_get() != nullptr) t.console = next;
    t.server_base = t.flash >= 0 ? t.flash : t.ram;
    return t;
}

logger *local_get(uint16_t which) {
    switch (which) {
        case LOCAL_RAM:
            return logger_ram_get();
        case LOCAL_FLASH:
            return logger_flash_get();
        case LOCAL_CONSOLE:
            return logger_console_get();
        default:
            return nullptr;
    }
}

// Slot of the row-th configured server; -1 when there are fewer.
int server_slot(int row, const char **name = nullptr) {
    for (int slot = 0; slot < LOGGER_SYSLOG_SLOTS; slot++) {
        if (logger_syslog_get(slot, name) != nullptr && row-- == 0) return slot;
    }
    return -1;
}

int server_count() {
    int n = 0;
    while (server_slot(n) >= 0)
        n++;
    return n;
}

logger *server_get(int row, const char **name = nullptr) {
    int slot = server_slot(row, name);
    return slot >= 0 ? logger_syslog_get(slot, name) : nullptr;
}

// Level 1 to 4: "checked" for a box whose level the target logs. Level 0:
// the mask of the levels it logs that have no box (LOCAL1 to LOCAL4), which
// the form posts back as they are.
void level_box(logger *l, uint16_t level, httpd_tag_out *out) {
    if (l != nullptr && level == 0)
        return web_tag_int(
            out, static_cast<int>(l->ops->level_mask_get(l) >> kLevelBoxes << kLevelBoxes));
    if (l == nullptr || level < 1 || level > kLevelBoxes) return;
    bool set = (l->ops->level_mask_get(l) & (1u << (level - 1))) != 0;
    web_tag_text(out, set ? "checked" : "");
}

// Whole-text numbers in decimal, octal or hexadecimal as written.
bool number_parse(const char *text, long *out) {
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 0);
    if (end == text || *end != '\0' || errno != 0) return false;
    *out = v;
    return true;
}

logger *ring_logger(int ring) {
    return ring == RING_FLASH ? logger_flash_get() : logger_ram_get();
}

const char *ring_name(int ring) {
    return ring == RING_FLASH ? "FLASH" : "RAM";
}

// ---- per-request states
struct log_view {
    int ring;
    unsigned page;
    unsigned pages;
    uint32_t newest;
    uint32_t count;
    unsigned links[kLinksMax];
    int link_count;
};

struct log_search {
    int ring;
    long module;  // negative: any
    uint32_t mask;
    uint32_t next_seq;  // the next record to look at
    uint32_t newest;
    int left;  // records not yet looked at
};

struct record_view {
    logger_record rec;
    char text[LOGGER_TEXT_MAX];
};

const char view_key = 0;
const char search_key = 0;
const char find_key = 0;
const char record_key = 0;

// Pages 1-3, the neighbours of the current one and the last three.
void links_build(log_view *v) {
    v->link_count = 0;
    for (unsigned p = 1; p <= v->pages && v->link_count < kLinksMax; p++) {
        bool shown =
            v->pages < 10 || p <= 3 || p + 3 > v->pages || (p + 1 >= v->page && p <= v->page + 1);
        if (shown) v->links[v->link_count++] = p;
    }
}

record_view *record_read(httpd_request *req, logger *l, uint32_t seq, bool with_text) {
    auto *r =
        static_cast<record_view *>(httpd_req_state_get(req, &record_key, sizeof(record_view)));
    if (r == nullptr || l == nullptr) return nullptr;
    r->rec = logger_record{.seq = seq, .level = 0, .module = 0, .time = 0};
    r->text[0] = '\0';
    char *text = with_text ? r->text : nullptr;
    if (l->ops->read(&r->rec, text, with_text ? LOGGER_TEXT_MAX : 0, l) != 1) return nullptr;
    r->text[LOGGER_TEXT_MAX - 1] = '\0';
    return r;
}

const record_view *record_current(const httpd_request *req) {
    return static_cast<const record_view *>(httpd_req_state_find(req, &record_key));
}

uint32_t newest_of(const httpd_request *req) {
    const auto *v = static_cast<const log_view *>(httpd_req_state_find(req, &view_key));
    if (v != nullptr) return v->newest;
    const auto *s = static_cast<const log_search *>(httpd_req_state_find(req, &search_key));
    return s != nullptr ? s->newest : 0;
}

int search_open(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    long module = -1, mask = 0, ring = 0;
    const httpd_pair *pairs = ev->a.pairs;
    logger *l = nullptr;
    auto *s = static_cast<log_search *>(httpd_req_state_get(req, &search_key, sizeof(log_search)));
    // The ring is the flash ring only when named so, the RAM ring otherwise.
    if (ev->b.num == 3 && number_parse(pairs[0].value, &module) &&
        number_parse(pairs[1].value, &mask)) {
        if (!number_parse(pairs[2].value, &ring)) ring = RING_RAM;
        l = ring_logger(ring == RING_FLASH ? RING_FLASH : RING_RAM);
    }
    if (s == nullptr || l == nullptr) {
        httpd_req_state_free(req, &search_key);
        int changed = web_content_switch(ev, "/loggers.htm");
        ev->flags |= HTTPD_F_NO_CACHE;
        return changed;
    }
    uint32_t first = 0;
    int count = l->ops->count(&first, l);
    *s = {.ring = ring == RING_FLASH ? RING_FLASH : RING_RAM,
          .module = module,
          .mask = static_cast<uint32_t>(mask),
          .next_seq = first + static_cast<uint32_t>(count) - 1,
          .newest = first + static_cast<uint32_t>(count) - 1,
          .left = count};
    return 0;
}

const char *time_text(uint32_t seconds) {
    time_t t = static_cast<time_t>(seconds);
    tm parts{};
    gmtime_r(&t, &parts);
    return web_tag_printf("%04d/%2d/%2d %2d:%02d:%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                          parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
}

int loggers_page(httpd_event *ev) {
    return web_content_switch(ev, "/loggers.htm");
}

}  // namespace

// ---- loggers.htm
int ssploop_logger_tag_local(const uint16_t args[3], int index, httpd_request *) {
    return index == 0 && local_get(args[0]) != nullptr ? 1 : 0;
}

void sspvar_logger_tag_index(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    target_numbers t = targets();
    if (args[0] == LOCAL_RAM) web_tag_int(out, t.ram);
    if (args[0] == LOCAL_FLASH) web_tag_int(out, t.flash);
    if (args[0] == LOCAL_CONSOLE) web_tag_int(out, t.console);
}

void sspvar_logger_tag_level(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    level_box(local_get(args[0]), args[1], out);
}

int ssploop_logger_tag_server(const uint16_t *, int index, httpd_request *) {
    return server_slot(index) >= 0 ? 1 : 0;
}

void sspvar_logger_tag_servername(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    const char *name = nullptr;
    if (server_get(args[0], &name) == nullptr || name == nullptr) return;
    char field[LOGGER_SYSLOG_NAME_SIZE + 1] = {};
    std::strncpy(field, name, LOGGER_SYSLOG_NAME_SIZE);
    char escaped[WEB_TAG_TEXT_SIZE];
    web_html_escape(field, escaped, sizeof escaped);
    web_tag_text(out, web_tag_printf("%s", escaped));
}

void sspvar_logger_tag_serverip(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    const char *ip = logger_syslog_info(server_get(args[0]), nullptr, nullptr);
    if (ip != nullptr) web_tag_text(out, web_tag_printf("%s", ip));
}

void sspvar_logger_tag_serverport(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    int port = 0;
    if (logger_syslog_info(server_get(args[0]), &port, nullptr) != nullptr) web_tag_int(out, port);
}

void sspvar_logger_tag_facility(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    int facility = 0;
    if (logger_syslog_info(server_get(args[0]), nullptr, &facility) == nullptr) return;
    if (facility >= 16 && facility <= 23) {
        web_tag_text(out, web_tag_printf("local%d", facility - 16));
    } else {
        web_tag_int(out, facility);
    }
}

void sspvar_logger_tag_serverlevel(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    level_box(server_get(args[0]), args[1], out);
}

void sspvar_logger_tag_serverindex(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    web_tag_int(out, targets().server_base + args[0] + 1);
}

void sspvar_logger_tag_nextindex(const uint16_t *, httpd_tag_out *out, httpd_request *) {
    web_tag_int(out, targets().server_base + server_count() + 1);
}

void sspvar_logger_tag_maxservers(const uint16_t *, httpd_tag_out *out, httpd_request *) {
    web_tag_int(out, LOGGER_SYSLOG_SLOTS);
}

int ssploop_logger_tag_addable(const uint16_t *, int index, httpd_request *) {
    return index == 0 && server_count() < LOGGER_SYSLOG_SLOTS ? 1 : 0;
}

// ---- logger handlers
int logger_set_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    logger *order[3 + LOGGER_SYSLOG_SLOTS] = {};
    int n = 0;
    for (uint16_t which : {LOCAL_RAM, LOCAL_FLASH, LOCAL_CONSOLE}) {
        if (local_get(which) != nullptr) order[n++] = local_get(which);
    }
    for (int row = 0; server_get(row) != nullptr; row++)
        order[n++] = server_get(row);
    int pairs = static_cast<int>(ev->b.num);
    uint32_t masks[3 + LOGGER_SYSLOG_SLOTS] = {};
    for (int i = 0; i < pairs && i < n; i++) {
        long mask = 0;
        if (!number_parse(ev->a.pairs[i].value, &mask) || mask < 0 || mask > 0xFF)
            return web_error_page(ev, req, "Logging", "Invalid level setting!", WEB_RETRY_LABEL,
                                  WEB_RETRY_ACTION);
        masks[i] = static_cast<uint32_t>(mask);
    }
    if (pairs < 2) return loggers_page(ev);
    for (int i = 0; i < pairs && i < n; i++)
        order[i]->ops->level_mask_set(masks[i], order[i]);
    settings_save_group(kLoggerGroup);
    return loggers_page(ev);
}

int logger_add_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    if (ev->b.num != 4) return loggers_page(ev);
    const httpd_pair *p = ev->a.pairs;
    uint8_t ip[4];
    if (net_util_ip_parse(p[1].value, ip) != 0)
        return web_error_page(ev, req, kAddTitle, "Invalid IP address!", WEB_RETRY_LABEL,
                              WEB_RETRY_ACTION);
    long port = 0, facility = 0;
    bool valid = number_parse(p[2].value, &port) && port > 0 && port <= 0xFFFF &&
                 number_parse(p[3].value, &facility) && facility >= 0 && facility <= 0xFF;
    if (!valid || logger_syslog_add(p[0].value, p[1].value, static_cast<int>(port),
                                    static_cast<int>(facility)) < 0)
        return web_error_page(ev, req, kAddTitle, "Failed to add server!", WEB_RETRY_LABEL,
                              WEB_RETRY_ACTION);
    settings_save_group(kLoggerGroup);
    return loggers_page(ev);
}

int logger_del_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    long row = 0;
    // Only a row that names a configured server; any other removes nothing
    // and says so.
    const bool parsed = ev->b.num == 1 && number_parse(ev->a.pairs[0].value, &row);
    int slot = -1;
    if (parsed) {
        long server_row = row - targets().server_base - 1;
        if (server_row >= 0 && server_row < LOGGER_SYSLOG_SLOTS)
            slot = server_slot(static_cast<int>(server_row));
    }
    if (slot < 0 || logger_syslog_remove(slot) != 0) {
        const char *text = parsed
                               ? web_tag_printf("Row %ld is no syslog server: nothing removed", row)
                               : "Invalid row: nothing removed";
        return web_error_page(ev, req, kDelTitle, text, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
    }
    settings_save_group(kLoggerGroup);
    return loggers_page(ev);
}

int logger_clr_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    long ring = -1;
    logger *l = nullptr;
    if (ev->b.num == 1 && number_parse(ev->a.pairs[0].value, &ring) &&
        (ring == RING_RAM || ring == RING_FLASH))
        l = ring_logger(static_cast<int>(ring));
    // Only a log this switch keeps is cleared; any other says so.
    if (l == nullptr)
        return web_error_page(ev, req, "Logging - Clear", "No such log: nothing cleared",
                              WEB_RETRY_LABEL, WEB_RETRY_ACTION);
    l->ops->clear(l);
    return loggers_page(ev);
}

// ---- logview.htm
int logview_htm(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    long ring = 0, page = 0;
    bool valid = ev->b.num == 2 && number_parse(ev->a.pairs[0].value, &ring) &&
                 number_parse(ev->a.pairs[1].value, &page) && page >= 0;
    if (ring < 0 || ring >= 2) ring = RING_RAM;
    logger *l = ring_logger(static_cast<int>(ring));
    auto *v = static_cast<log_view *>(
        valid && l != nullptr ? httpd_req_state_get(req, &view_key, sizeof(log_view)) : nullptr);
    if (v == nullptr) {
        int changed = loggers_page(ev);
        ev->flags |= HTTPD_F_NO_CACHE;
        return changed;
    }
    uint32_t first = 0;
    int count = l->ops->count(&first, l);
    if (count < 0) count = 0;
    v->ring = static_cast<int>(ring);
    v->count = static_cast<uint32_t>(count);
    v->pages = (v->count + kRecordsPerPage - 1) / kRecordsPerPage;
    if (v->pages == 0) v->pages = 1;
    v->page = page == 0 ? 1 : static_cast<unsigned>(std::min(page, static_cast<long>(v->pages)));
    v->newest = first + v->count - 1;
    links_build(v);
    return 0;
}

void sspvar_logview_tag_ring(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    const auto *v = static_cast<const log_view *>(httpd_req_state_find(req, &view_key));
    if (v != nullptr) web_tag_int(out, v->ring);
}

void sspvar_logview_tag_ringname(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    const auto *v = static_cast<const log_view *>(httpd_req_state_find(req, &view_key));
    web_tag_text(out, ring_name(v != nullptr ? v->ring : RING_RAM));
}

void sspvar_logview_tag_page(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    const auto *v = static_cast<const log_view *>(httpd_req_state_find(req, &view_key));
    if (v == nullptr) return;
    int page = static_cast<int>(v->page);
    if (args[0] == 2) page--;
    if (args[0] == 3) page++;
    web_tag_int(out, page);
}

void sspvar_logview_tag_pages(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    const auto *v = static_cast<const log_view *>(httpd_req_state_find(req, &view_key));
    if (v != nullptr) web_tag_int(out, static_cast<int>(v->pages));
}

int ssploop_logview_tag_nav(const uint16_t args[3], int index, httpd_request *req) {
    const auto *v = static_cast<const log_view *>(httpd_req_state_find(req, &view_key));
    if (v == nullptr || index != 0 || v->pages < 2) return 0;
    if (args[0] == 2) return v->page >= 2 ? 1 : 0;
    if (args[0] == 3) return v->page < v->pages ? 1 : 0;
    return args[0] == 1 ? 1 : 0;
}

int ssploop_logview_tag_links(const uint16_t *, int index, httpd_request *req) {
    const auto *v = static_cast<const log_view *>(httpd_req_state_find(req, &view_key));
    return v != nullptr && index < v->link_count ? 1 : 0;
}

void sspvar_logview_tag_link(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    const auto *v = static_cast<const log_view *>(httpd_req_state_find(req, &view_key));
    int i = args[0];
    if (v == nullptr || i >= v->link_count) return;
    unsigned p = v->links[i];
    const char *sep = i == 0 ? "" : p == v->links[i - 1] + 1 ? ",&nbsp;" : "&nbsp;...&nbsp;";
    if (p == v->page) {
        web_tag_text(out, web_tag_printf("%s%u", sep, p));
    } else {
        web_tag_text(out, web_tag_printf("%s<a href=\"logview.htm?target=%d&page=%u\">%u</a>", sep,
                                         v->ring, p, p));
    }
}

int ssploop_logview_tag_records(const uint16_t *, int index, httpd_request *req) {
    const auto *v = static_cast<const log_view *>(httpd_req_state_find(req, &view_key));
    if (v == nullptr || index >= kRecordsPerPage) return 0;
    uint32_t back = (v->page - 1) * kRecordsPerPage + static_cast<uint32_t>(index);
    if (back >= v->count) return 0;
    return record_read(req, ring_logger(v->ring), v->newest - back, true) != nullptr ? 1 : 0;
}

// ---- record tags, shared by the view, the search and the CSV file
void sspvar_logrec_tag_number(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    const record_view *r = record_current(req);
    if (r != nullptr) web_tag_text(out, web_tag_printf("%u", newest_of(req) - r->rec.seq + 1));
}

void sspvar_logrec_tag_seq(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    const record_view *r = record_current(req);
    if (r != nullptr) web_tag_text(out, web_tag_printf("%u", r->rec.seq));
}

void sspvar_logrec_tag_level(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    const record_view *r = record_current(req);
    if (r != nullptr) web_tag_text(out, logger_level_name(r->rec.level));
}

void sspvar_logrec_tag_module(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    const record_view *r = record_current(req);
    if (r != nullptr) web_tag_text(out, logger_module_name(r->rec.module));
}

void sspvar_logrec_tag_time(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    const record_view *r = record_current(req);
    if (r != nullptr) web_tag_text(out, time_text(r->rec.time));
}

void sspvar_logrec_tag_text(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    const record_view *r = record_current(req);
    if (r == nullptr) return;
    char escaped[WEB_TAG_TEXT_SIZE];
    web_html_escape(r->text, escaped, sizeof escaped);
    web_tag_text(out, web_tag_printf("%s", escaped));
}

void sspvar_logrec_tag_csvtext(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    const record_view *r = record_current(req);
    if (r == nullptr) return;
    // A quote inside a quoted field is written twice.
    char doubled[2 * LOGGER_TEXT_MAX];
    size_t n = 0;
    for (const char *p = r->text; *p != '\0' && n + 2 < sizeof doubled; p++) {
        if (*p == '"') doubled[n++] = '"';
        doubled[n++] = *p;
    }
    doubled[n] = '\0';
    web_tag_text(out, web_tag_printf("%s", doubled));
}

// ---- logfind.htm, logresult.cgi, events.csv
int logfind_htm(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    long ring = 0;
    auto *state = static_cast<int *>(httpd_req_state_get(req, &find_key, sizeof(int)));
    if (state != nullptr)
        *state = ev->b.num >= 1 && number_parse(ev->a.pairs[0].value, &ring) && ring == RING_FLASH
                     ? RING_FLASH
                     : RING_RAM;
    return 0;
}

void sspvar_logfind_tag_ring(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    const auto *ring = static_cast<const int *>(httpd_req_state_find(req, &find_key));
    web_tag_int(out, ring != nullptr ? *ring : RING_RAM);
}

int ssploop_logfind_tag_module(const uint16_t *, int index, httpd_request *) {
    return index < LOG_MODULE_COUNT - kFirstAppModule ? 1 : 0;
}

void sspvar_logfind_tag_moduleid(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    web_tag_int(out, kFirstAppModule + args[0]);
}

void sspvar_logfind_tag_modulename(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    web_tag_text(out, logger_module_name(kFirstAppModule + args[0]));
}

int logresult_cgi(httpd_event *ev, httpd_request *req) {
    return search_open(ev, req);
}

int events_csv(httpd_event *ev, httpd_request *req) {
    if (ev->event == HTTPD_EV_ATTACHMENT) {
        ev->a.text = "events.csv";
        return 0;
    }
    return search_open(ev, req);
}

void sspvar_logresult_tag_ringname(const uint16_t *, httpd_tag_out *out, httpd_request *req) {
    const auto *s = static_cast<const log_search *>(httpd_req_state_find(req, &search_key));
    web_tag_text(out, ring_name(s != nullptr ? s->ring : RING_RAM));
}

int ssploop_logresult_tag_records(const uint16_t *, int, httpd_request *req) {
    auto *s = static_cast<log_search *>(httpd_req_state_find(req, &search_key));
    if (s == nullptr) return 0;
    logger *l = ring_logger(s->ring);
    while (s->left > 0) {
        uint32_t seq = s->next_seq--;
        s->left--;
        record_view *r = record_read(req, l, seq, false);
        if (r == nullptr) return 0;
        bool module_ok = s->module < 0 || r->rec.module == s->module;
        bool level_ok =
            r->rec.level >= 0 && r->rec.level < 32 && (s->mask & (1u << r->rec.level)) != 0;
        if (module_ok && level_ok) return record_read(req, l, seq, true) != nullptr ? 1 : 0;
    }
    return 0;
}
