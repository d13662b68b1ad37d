// What the SNMP page modules share: form fields by name, the refusal page,
// the kinds' list paging and current entries, saving and logging.
#pragma once

#include <cstddef>

#include "httpd.h"
#include "snmp_agent.h"
#include "snmpcfg.h"

namespace snmppage {

constexpr int kPerPage = 5;
constexpr size_t kNameMax = 33;  // characters of a name or community

enum Kind : int { kGroup = 0, kUser = 1, kCommunity = 2, kTrap = 3, kV1v2 = 4, kKinds = 5 };

// Holds the agent lock: the tables are shared with the agent's thread.
struct Lock {
    Lock() { snmp_agent_lock(); }
    ~Lock() { snmp_agent_unlock(); }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;
};

// The posted value of a field, null when it was not posted.
const char *field(const httpd_event *ev, const char *name);
// The error page with the retry button, logged as "title: message".
int refuse(httpd_event *ev, httpd_request *req, const char *title, const char *message);
// Saves the item "snmp"; a failure is logged.
void save();
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
// Copies a posted text without control characters, cut to size - 1 bytes.
void copy_text(char *dst, size_t size, const char *src);
// Prints a stored text HTML-escaped.
void escaped(httpd_tag_out *out, const char *text);
const char *version_name(int model);  // "SNMPv1", "SNMPv2c", "SNMPv3", "None"

}  // namespace snmppage
