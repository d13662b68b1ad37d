// What the SNMP page modules share: form fields by name, the refusal page,
// the kinds' list paging and current entries, saving and logging. The
// handlers, tags and loops themselves are reached through the web file
// table only.
#pragma once

#include <cstddef>

#include "httpd.h"
#include "logger.h"
#include "snmp_agent.h"
#include "snmpcfg.h"

// 0 groups, 1 users, 2 communities: -1 when an entry of the kind already has
// exactly this name, else 0.
int snmp_name_exists(int kind, const char *name);

namespace snmppage {

constexpr int kPerPage = 5;
constexpr size_t kNameMax = 33;  // characters of a name or community

enum Kind : int { kGroup = 0, kUser = 1, kCommunity = 2, kTrap = 3, kV1v2 = 4, kKinds = 5 };

// Holds the agent lock: the tables are shared with the agent's thread.
struct Lock {
    Lock() { snmp_agent_lock(); }
    ~Lock() { release(); }
    void release() {
        if (held_) snmp_agent_unlock();
        held_ = false;
    }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;

  private:
    bool held_ = true;
};

// The posted value of a field, null when it was not posted.
const char *field(const httpd_event *ev, const char *name);
// The error page with the retry button, logged as "title: message" (or
// "title: log" when a log text is given).
int refuse(httpd_event *ev, httpd_request *req, const char *title, const char *message,
           const char *log = nullptr);

// Why a form is refused: no message when it is accepted; no title for the
// handler's own.
struct Refusal {
    const char *message = nullptr;
    const char *title = nullptr;
    const char *log = nullptr;
};
// Saves the item "snmp" once the agent lock is released (loading the item
// takes the settings lock first, then the agent's); a failure is logged.
void save(Lock &lock);
int entry_count(int kind);
// Id (1-based) of the entry the kind's edit page shows, from the show
// handler's per-request state, 1 when none; the tag that prints it makes
// it the kind's current entry.
int shown_id(int kind, const httpd_request *req);
void current_set(int kind, int id);
// Sets the id the edit page of this request shows.
void shown_set(int kind, httpd_request *req, int id);
// Slot of the entry a form acts on: its "id" field, else the current one;
// -1 when that entry does not exist.
int acted_slot(int kind, const httpd_event *ev);
int list_page(int kind, const httpd_request *req);
// The show and paging handlers of every kind.
int show(int kind, httpd_event *ev, httpd_request *req, const char *field_name);
int page(int kind, httpd_event *ev, httpd_request *req);
// List-page selectors shared by the kinds: the page number, and "disabled"
// for Previous (prev_sel) and Next (prev_sel + 1). False for other selectors.
bool list_common(int kind, int sel, int page_sel, int prev_sel, const httpd_request *req,
                 httpd_tag_out *out);
// Entry number of list row `row` on the current page.
int row_entry(int kind, int row, const httpd_request *req);

// Selectors of a kind's list page: the page number, the two selector
// option texts (the entry id), and Previous (Next is one more).
struct ListSelectors {
    int page, option, prev;
};
// Prints what the list tags share; the entry of the row (argument 1) for
// the kind's own columns, or -1 when printed or past the entries.
int list_tag_entry(int kind, const ListSelectors &sel, const uint16_t args[3],
                   const httpd_request *req, httpd_tag_out *out);
// Copies a posted text without control characters, cut to size - 1 bytes.
void copy_text(char *dst, size_t size, const char *src);
// Prints a stored text HTML-escaped.
void escaped(httpd_tag_out *out, const char *text);
// The group in a slot, null for an empty one.
const snmpcfg_group *group_at(int slot);
const char *version_name(int model);  // "SNMPv1", "SNMPv2c", "SNMPv3", "None"
// Whether the user the edit page shows runs SHA, which the page then offers.
bool snmp_user_shown_sha(const httpd_request *req);

// One kind of entry for the create, edit and delete handlers.
template <typename T>
struct EntryKind {
    int kind;
    const char *word;  // "Group", "User", "Community", "Trap"
    T *(*table)();
    // The posted fields onto rec; old is the entry edited, null on creation.
    Refusal (*fill)(const httpd_event *ev, T *rec, const T *old);
    int (*add)(const T *rec, int *slot);
    int (*apply)(int slot);
    // Puts rec in place of old in the tables and the agent.
    void (*replace)(int slot, const T &old, const T &rec);
    void (*remove)(int slot);
    const char *(*name)(const T &rec);
    const char *(*detail)(const T &rec);  // after the name in the ADD line, or null
};

struct Titles {
    char create[32], edit[32], full[48], missing[32];
    explicit Titles(const char *word);
};

template <typename T>
int create_entry(const EntryKind<T> &k, httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    Titles titles(k.word);
    Lock lock;
    if (entry_count(k.kind) >= SNMPCFG_SLOTS) return refuse(ev, req, titles.create, titles.full);
    T rec{};
    Refusal no = k.fill(ev, &rec, nullptr);
    if (no.message != nullptr)
        return refuse(ev, req, no.title != nullptr ? no.title : titles.create, no.message, no.log);
    int slot = -1;
    if (k.add(&rec, &slot) != 0) return refuse(ev, req, titles.create, titles.full);
    k.apply(slot);
    const char *detail = k.detail != nullptr ? k.detail(rec) : nullptr;
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_SNMPD, "ADD SNMP %s #%d, \"%s%s%s\"\n", k.word, slot + 1,
                  k.name(rec), detail != nullptr ? " " : "", detail != nullptr ? detail : "");
    save(lock);
    return 0;
}

template <typename T>
int edit_entry(const EntryKind<T> &k, httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    Titles titles(k.word);
    Lock lock;
    int slot = acted_slot(k.kind, ev);
    if (slot < 0) return refuse(ev, req, titles.edit, titles.missing);
    const T old = k.table()[slot];
    T rec = old;
    Refusal no = k.fill(ev, &rec, &old);
    if (no.message != nullptr)
        return refuse(ev, req, no.title != nullptr ? no.title : titles.edit, no.message, no.log);
    k.replace(slot, old, rec);
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_SNMPD, "EDIT SNMP %s #%d\n", k.word, slot + 1);
    save(lock);
    return 0;
}

// Deletes the entry the form acts on; no error page.
template <typename T>
int delete_entry(const EntryKind<T> &k, httpd_event *ev) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    Lock lock;
    int slot = acted_slot(k.kind, ev);
    if (slot < 0) return 0;
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_SNMPD, "DEL SNMP %s #%d \"%s\"\n", k.word, slot + 1,
                  k.name(k.table()[slot]));
    k.remove(slot);
    current_set(k.kind, 0);
    save(lock);
    return 0;
}

}  // namespace snmppage

// The five form handlers of a kind, named after their request paths: create,
// show (the id in FIELD), page, edit and delete.
#define SNMP_KIND_HANDLERS(KIND, KIND_NO, FIELD, NEW, SHOW, PAGE, EDIT, DEL) \
    int NEW(httpd_event *ev, httpd_request *req) {                           \
        return create_entry(KIND, ev, req);                                  \
    }                                                                        \
    int SHOW(httpd_event *ev, httpd_request *req) {                          \
        return show(KIND_NO, ev, req, FIELD);                                \
    }                                                                        \
    int PAGE(httpd_event *ev, httpd_request *req) {                          \
        return page(KIND_NO, ev, req);                                       \
    }                                                                        \
    int EDIT(httpd_event *ev, httpd_request *req) {                          \
        return edit_entry(KIND, ev, req);                                    \
    }                                                                        \
    int DEL(httpd_event *ev, httpd_request *) {                              \
        return delete_entry(KIND, ev);                                       \
    }
