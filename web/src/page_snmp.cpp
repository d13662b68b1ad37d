// The SNMP engine ID and group pages, and what every SNMP page shares: the
// name lookup, list paging, the kinds' current entries and the refusal page.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "logger.h"
#include "nvram.h"
#include "page_snmp_internal.h"
#include "settings.h"
#include "snmp_backend.h"
#include "web_pages.h"

namespace snmppage {

namespace {

// Per-request state keys of the kinds' show and paging handlers.
const char show_keys[kKinds] = {};
const char page_keys[kKinds] = {};
// The entry each kind's edit page showed last (id, 0 none).
int current_ids[kKinds] = {};

struct ShowTexts {
    const char *log;
    const char *title;
    const char *message;
    const char *create_page;
};

const ShowTexts show_texts[] = {
    {"Show SNMP Group: Number of Group exceeds MAXIMUM\n", "Group",
     "Number of Group exceeds MAXIMUM", "/snmp_group_new.htm"},
    {"Show SNMP User: Number of User exceeds MAXIMUM.\n", "User", "Number of User exceeds MAXIMUM",
     "/snmp_user_new.htm"},
    {"Show SNMP Community: Number of Community exceeds MAXIMUM.\n", "Community",
     "Number of Community exceeds MAXIMUM", "/snmp_community_new.htm"},
    {"Show SNMP Trap Station: Number of Trap Station exceeds MAXIMUM.\n", "Trap Station",
     "Number of Trap Station exceeds MAXIMUM", "/snmp_trap_new.htm"},
};

int number_of(const char *text, int fallback) {
    int v = 0;
    return web_form_int(text, -1000, 1000, &v) ? v : fallback;
}

int page_count(int kind) {
    int n = entry_count(kind);
    return n == 0 ? 1 : (n + kPerPage - 1) / kPerPage;
}

}  // namespace

const char *field(const httpd_event *ev, const char *name) {
    for (int i = 0; i < ev->b.num; i++) {
        if (std::strcmp(ev->a.pairs[i].name, name) == 0) return ev->a.pairs[i].value;
    }
    return nullptr;
}

int refuse(httpd_event *ev, httpd_request *req, const char *title, const char *message,
           const char *log) {
    web_refused_printf(req, LOG_MOD_SNMPD, "%s: %s\n", title, log != nullptr ? log : message);
    return web_error_page(ev, req, title, message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

Titles::Titles(const char *word) {
    std::snprintf(create, sizeof create, "Create SNMP %s", word);
    std::snprintf(edit, sizeof edit, "Edit SNMP %s", word);
    std::snprintf(full, sizeof full, "Created %s Exceed Max. Number.", word);
    std::snprintf(missing, sizeof missing, "%s not found.", word);
}

void save(Lock &lock) {
    lock.release();
    if (settings_save_item("snmp") != 1)
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_SNMPD, "Save SNMP settings to nvram failed\n");
}

int entry_count(int kind) {
    const snmpcfg_tables &t = snmpcfg();
    switch (kind) {
        case kGroup:
            return t.group_count;
        case kUser:
            return t.user_count;
        case kCommunity:
            return t.community_count;
        case kTrap:
            return t.trap_count;
        case kV1v2:
            return t.v1v2group_count;
        default:
            return 0;
    }
}

int shown_id(int kind, const httpd_request *req) {
    const auto *slot = static_cast<const int32_t *>(httpd_req_state_find(req, &show_keys[kind]));
    return slot != nullptr && *slot > 0 ? *slot : 1;
}

void current_set(int kind, int id) {
    current_ids[kind] = id;
}

int acted_slot(int kind, const httpd_event *ev) {
    int id = number_of(field(ev, "id"), current_ids[kind]);
    return id >= 1 && id <= entry_count(kind) ? id - 1 : -1;
}

int list_page(int kind, const httpd_request *req) {
    const auto *slot = static_cast<const int32_t *>(httpd_req_state_find(req, &page_keys[kind]));
    return slot != nullptr ? *slot : 0;
}

int row_entry(int kind, int row, const httpd_request *req) {
    return list_page(kind, req) * kPerPage + row;
}

int show(int kind, httpd_event *ev, httpd_request *req, const char *field_name) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    Lock lock;
    int id = number_of(field(ev, field_name), 0);
    if (id <= 0) {
        const ShowTexts &s = show_texts[kind];
        if (entry_count(kind) >= SNMPCFG_SLOTS) {
            web_refused_puts(req, LOG_MOD_SNMPD, s.log);
            return web_error_page(ev, req, s.title, s.message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
        }
        return web_content_switch(ev, s.create_page);
    }
    shown_set(kind, req, id);
    return 0;
}

void shown_set(int kind, httpd_request *req, int id) {
    auto *slot =
        static_cast<int32_t *>(httpd_req_state_get(req, &show_keys[kind], sizeof(int32_t)));
    if (slot != nullptr) *slot = id;
}

int page(int kind, httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    Lock lock;
    const char *mode = field(ev, "pagemode");
    int p = number_of(field(ev, "curpage"), 0);
    p += mode != nullptr && std::strcmp(mode, "1") == 0 ? 1 : -1;
    // The number comes from the client: keep it on an existing page.
    if (p >= page_count(kind)) p = page_count(kind) - 1;
    if (p < 0) p = 0;
    auto *slot =
        static_cast<int32_t *>(httpd_req_state_get(req, &page_keys[kind], sizeof(int32_t)));
    if (slot != nullptr) *slot = p;
    return 0;
}

int list_tag_entry(int kind, const ListSelectors &sel, const uint16_t args[3],
                   const httpd_request *req, httpd_tag_out *out) {
    if (list_common(kind, args[0], sel.page, sel.prev, req, out)) return -1;
    if (args[0] == sel.option || args[0] == sel.option + 1) {
        if (args[1] < entry_count(kind)) web_tag_int(out, args[1] + 1);
        return -1;
    }
    int entry = row_entry(kind, args[1], req);
    return entry < entry_count(kind) ? entry : -1;
}

bool list_common(int kind, int sel, int page_sel, int prev_sel, const httpd_request *req,
                 httpd_tag_out *out) {
    int p = list_page(kind, req);
    if (sel == page_sel) {
        web_tag_int(out, p);
    } else if (sel == prev_sel) {
        web_tag_text(out, p == 0 ? "disabled" : "");
    } else if (sel == prev_sel + 1) {
        web_tag_text(out, p * kPerPage + kPerPage >= entry_count(kind) ? "disabled" : "");
    } else {
        return false;
    }
    return true;
}

void copy_text(char *dst, size_t size, const char *src) {
    httpd_text_clean(src != nullptr ? src : "", dst, size);
}

void escaped(httpd_tag_out *out, const char *text) {
    char buf[WEB_TAG_TEXT_SIZE / 2];
    web_html_escape(text, buf, sizeof buf);
    web_tag_text(out, web_tag_printf("%s", buf));
}

const snmpcfg_group *group_at(int slot) {
    const snmpcfg_tables &t = snmpcfg();
    return slot >= 0 && slot < t.group_count ? &t.groups[slot] : nullptr;
}

const char *version_name(int model) {
    static const char *const names[] = {"SNMPv1", "SNMPv2c", "SNMPv3", "None"};
    return model >= 1 && model <= 3 ? names[model - 1] : names[3];
}

}  // namespace snmppage

using namespace snmppage;

namespace {

constexpr char kEnginePrefix[] = "800007e504";
constexpr size_t kEngineTextMax = 54;  // hex digits after the prefix
constexpr int kEngineDefault = 1;
constexpr int kEngineUser = 0;

int engine_mode_set = -1;  // -1 until the page sets it

// The 12 hex digits of the management MAC address ("" when unknown).
void mac_text(char out[13]) {
    out[0] = '\0';
    uint8_t mac[6];
    const char *stored = nvram_get("et1macaddr");
    if (stored != nullptr && mac_str_parse(stored, mac) == 0) hex_encode(out, mac, 6);
}

// The engine ID text after the prefix; empty for an ID of the prefix alone.
void engine_suffix(char *out) {
    Lock lock;
    const snmpcfg_tables &t = snmpcfg();
    int n = t.engine_id_len < 33 ? t.engine_id_len : 33;
    char text[2 * SNMPCFG_ENGINE_ID_MAX + 3];
    hex_encode(text, t.engine_id, static_cast<size_t>(n > 0 ? n : 0));
    std::strcpy(out, std::strlen(text) > 10 ? text + 10 : "");
}

// Until the page sets a mode (after a restart), an ID made from the MAC
// address counts as the default one.
int engine_mode() {
    if (engine_mode_set >= 0) return engine_mode_set;
    char mac[13], suffix[2 * SNMPCFG_ENGINE_ID_MAX + 3];
    mac_text(mac);
    engine_suffix(suffix);
    return std::strcmp(mac, suffix) == 0 ? kEngineDefault : kEngineUser;
}

// Selectors of the group tags, 4 to 23 in order.
enum GroupSelector : uint16_t {
    kSelShownId = 4,
    kSelName,
    kSelVerValue,
    kSelVerSelected,
    kSelVerName,
    kSelAuthOn,
    kSelAuthOff,
    kSelReadOn,
    kSelReadOff,
    kSelWriteOn,
    kSelWriteOff,
    kSelListPage,
    kSelOptionValue,
    kSelOptionText,
    kSelRowId,
    kSelRowName,
    kSelRowVersion,
    kSelRowAuth,
    kSelRowAccess,
    kSelPrev
};

// The group fields of the creation and edit forms.
Refusal group_fill(const httpd_event *ev, snmpcfg_group *rec, const snmpcfg_group *old) {
    const char *name = field(ev, "snmp_group_name");
    if (name != nullptr && std::strlen(name) > kNameMax) return {"Exceed max group name length."};
    if (name != nullptr && *name != '\0' && !snmpcfg_token_ok(name))
        return {"Invalid character in group name."};
    if (name != nullptr && (old == nullptr || std::strcmp(name, old->name) != 0) &&
        snmp_name_exists(kGroup, name) != 0)
        return {"Group name already exist in the list."};
    if (name == nullptr || *name == '\0') return {"Group Name not entered."};
    const char *ver = field(ev, "snmp_ver");
    int model = old != nullptr ? old->model : 0;
    if (ver != nullptr) model = web_form_int(ver, 0, 2, &model) ? model + 1 : 0;
    if (model < 1 || model > 3) return {"SNMP Version not selected."};
    copy_text(rec->name, sizeof rec->name, name);
    rec->model = model;
    const char *auth = field(ev, "auth_state");
    // Only SNMPv3 authenticates.
    rec->level = auth != nullptr && std::strcmp(auth, "en") == 0 && model == 3 ? 2 : 1;
    const char *read = field(ev, "read_state");
    const char *write = field(ev, "write_state");
    rec->read = read != nullptr && std::strcmp(read, "en") == 0 ? 1 : 0;
    rec->write = write != nullptr && std::strcmp(write, "en") == 0 ? 1 : 0;
    return {};
}

// Drops every entry of a packed table whose group is the slot and moves the
// later groups' slots down; del is the back end's delete by index.
template <typename T, typename Before>
void drop_group_members(T *table, int *count, int slot, int (*del)(int), Before before) {
    for (int round = 0; round <= SNMPCFG_SLOTS; round++) {
        int found = -1;
        for (int i = 0; i < *count && found < 0; i++) {
            if (table[i].group == slot) found = i;
        }
        if (found < 0) break;
        before(table[found]);
        del(found + 1);
    }
    for (int i = 0; i < *count; i++) {
        if (table[i].group > slot) table[i].group--;
    }
}

void group_replace(int slot, const snmpcfg_group &old, const snmpcfg_group &rec) {
    snmpcfg_tables &t = snmpcfg();
    // Unapply also drops an SNMPv1/SNMPv2c group from that list; apply
    // records it again.
    snmpcfg_group_unapply(&old);
    t.groups[slot] = rec;
    snmpcfg_group_apply(slot);
    // The group's users are mapped to it by name.
    for (int i = 0; i < t.user_count; i++) {
        if (t.users[i].group != slot) continue;
        snmpcfg_user_unapply(&t.users[i]);
        snmpcfg_user_apply(i);
    }
}

// The group goes with its users and communities.
void group_remove(int slot) {
    snmpcfg_tables &t = snmpcfg();
    snmpcfg_group_unapply(&t.groups[slot]);
    drop_group_members(t.users, &t.user_count, slot, snmpcfg_user_delete,
                       [](const snmpcfg_user &u) { snmpcfg_user_unapply(&u); });
    snmpcfg_community_unapply_all();
    drop_group_members(t.communities, &t.community_count, slot, snmpcfg_community_delete,
                       [](const snmpcfg_community &) {});
    snmpcfg_community_apply_all();
    snmpcfg_group_delete(slot + 1);
}

const EntryKind<snmpcfg_group> group_kind = {
    .kind = kGroup,
    .word = "Group",
    .table = [] { return snmpcfg().groups; },
    .fill = group_fill,
    .add = snmpcfg_group_add,
    .apply = snmpcfg_group_apply,
    .replace = group_replace,
    .remove = group_remove,
    .name = [](const snmpcfg_group &g) -> const char * { return g.name; },
    .detail = nullptr,
};

}  // namespace

int snmp_name_exists(int kind, const char *name) {
    const snmpcfg_tables &t = snmpcfg();
    for (int i = 0; i < entry_count(kind); i++) {
        const char *have = kind == kGroup  ? t.groups[i].name
                           : kind == kUser ? t.users[i].name
                                           : t.communities[i].community;
        if (std::strcmp(have, name) == 0) return -1;
    }
    return 0;
}

// ---- engine ID

int ssphandler_snmp_id_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    static constexpr const char *kTitle = "Create Engine ID";
    char mac[13];
    mac_text(mac);
    char suffix[kEngineTextMax + 1] = "";
    int mode = engine_mode();
    if (ev->b.num == 2) {
        const char *type = field(ev, "select_type");
        mode = type != nullptr && std::strcmp(type, "1") == 0 ? kEngineUser : kEngineDefault;
        const char *text = field(ev, "engine_id");
        size_t n = text != nullptr ? std::strlen(text) : 0;
        if (n >= kEngineTextMax + 3) return refuse(ev, req, kTitle, "Exceed max engineID length.");
        if (mode == kEngineUser && n != 0 && hex_str_check(text) != 0)
            return refuse(ev, req, kTitle, "Non hex character in the input string.");
        if (mode == kEngineUser && n > kEngineTextMax)
            return refuse(ev, req, kTitle, "Exceed max engineID length.");
        // Whole bytes only: half a byte would not reach the agent.
        if (mode == kEngineUser && n % 2 != 0)
            return refuse(ev, req, kTitle, "Odd number of hex digits in the input string.");
        copy_text(suffix, sizeof suffix, mode == kEngineUser ? text : mac);
    }
    Lock lock;
    if (snmpcfg_apply_all(suffix) < 0) return refuse(ev, req, kTitle, "Invalid Engine ID.");
    engine_mode_set = mode;
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_SNMPD, "Setting EngineID: 0x%s%s\n", kEnginePrefix,
                  suffix);
    save(lock);
    return 0;
}

void sspvar_snmp_tag_engineid(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    switch (args[0]) {
        case 0:
            web_tag_text(out, engine_mode() == kEngineUser ? "checked" : "");
            break;
        case 1: {
            if (engine_mode() != kEngineUser) break;
            char suffix[2 * SNMPCFG_ENGINE_ID_MAX + 3];
            engine_suffix(suffix);
            web_tag_text(out, web_tag_printf("%s", suffix));
            break;
        }
        case 2:
            web_tag_text(out, engine_mode() == kEngineDefault ? "checked" : "");
            break;
        default:
            break;
    }
}

void sspvar_snmp_tag_engineid_mac(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    if (args[0] != 3) return;
    char mac[13];
    mac_text(mac);
    web_tag_text(out, web_tag_printf("%s", mac));
}

// ---- groups

SNMP_KIND_HANDLERS(group_kind, kGroup, "port", ssphandler_snmp_group_new_cgi,
                   ssphandler_showgroup_cgi, ssphandler_pagegroup_cgi, ssphandler_editgroup_cgi,
                   ssphandler_delgroup_cgi)

// List page: 15 page number, 16 and 17 selector options, per row 18 id,
// 19 name, 20 version, 21 authentication, 22 access; 23, 24 Previous, Next.
void sspvar_snmp_tag_grouplist(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    Lock lock;
    int entry = list_tag_entry(kGroup, {kSelListPage, kSelOptionValue, kSelPrev}, args, req, out);
    const snmpcfg_group *g = group_at(entry);
    if (g == nullptr) return;
    switch (args[0]) {
        case kSelRowId:
            web_tag_int(out, g->index);
            break;
        case kSelRowName:
            escaped(out, g->name);
            break;
        case kSelRowVersion:
            web_tag_text(out, version_name(g->model));
            break;
        case kSelRowAuth:
            web_tag_text(out, g->level < 2 ? "Disabled" : "Enabled");
            break;
        case kSelRowAccess:
            if (g->read != 1 && g->write != 1)
                web_tag_text(out, "&nbsp;");
            else
                web_tag_text(out, web_tag_printf("%s%s", g->read == 1 ? "R " : "",
                                                 g->write == 1 ? "W" : ""));
            break;
        default:
            break;
    }
}

void sspvar_snmp_tag_group(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    Lock lock;
    int id = shown_id(kGroup, req);
    if (args[0] == kSelShownId) {
        current_set(kGroup, id);
        web_tag_int(out, id);
        return;
    }
    const snmpcfg_group *g = group_at(id - 1);
    if (g == nullptr) return;
    if (args[0] == kSelName) {
        escaped(out, g->name);
        return;
    }
    // The radio pairs: authentication, read, write.
    const bool checked[] = {g->level == 2, g->level != 2, g->read == 1,
                            g->read != 1,  g->write == 1, g->write != 1};
    if (args[0] >= kSelAuthOn && args[0] <= kSelWriteOff)
        web_tag_text(out, checked[args[0] - kSelAuthOn] ? "checked" : "");
}

void sspvar_snmp_tag_ver_new(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    if (args[0] == kSelVerValue) web_tag_int(out, args[1]);
    if (args[0] == kSelVerName) web_tag_text(out, version_name(args[1] + 1));
}

void sspvar_snmp_tag_ver(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    int model = 0;
    {
        Lock lock;
        const snmpcfg_group *g = group_at(shown_id(kGroup, req) - 1);
        if (g != nullptr) model = g->model;
    }
    if (args[0] == kSelVerSelected) {
        web_tag_text(out, args[1] == model - 1 ? "selected" : "");
        return;
    }
    sspvar_snmp_tag_ver_new(args, out, req);
}

// Loops; argument 0 names the kind: 0 groups, 1 users, 2 communities,
// 3 trap stations, 4 the SNMPv1/SNMPv2c group list.
int ssploop_snmp_tag_entries(const uint16_t args[3], int index, httpd_request *) {
    Lock lock;
    return index < entry_count(args[0]) ? 1 : 0;
}

int ssploop_snmp_tag_rows(const uint16_t args[3], int index, httpd_request *req) {
    Lock lock;
    return index < kPerPage && row_entry(args[0], index, req) < entry_count(args[0]) ? 1 : 0;
}

// One row when the entry the kind's edit page shows exists (argument 1: 1),
// or when it does not (argument 1: 0).
int ssploop_snmp_tag_shown(const uint16_t args[3], int index, httpd_request *req) {
    if (index != 0) return 0;
    Lock lock;
    bool exists = shown_id(args[0], req) <= entry_count(args[0]);
    return exists == (args[1] == 1) ? 1 : 0;
}

int ssploop_snmp_tag_versions(const uint16_t *, int index, httpd_request *) {
    return index < 3 ? 1 : 0;
}

// Argument 0: 1 on the edit page, which offers SHA too while the user runs it.
int ssploop_snmp_tag_protocols(const uint16_t args[3], int index, httpd_request *req) {
    return index < 2 || (index == 2 && args[0] == 1 && snmp_user_shown_sha(req)) ? 1 : 0;
}
