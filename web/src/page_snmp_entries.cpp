// The SNMP user, community and trap-station pages and the notification
// switches; the kinds share the scheme of the group pages.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "logger.h"
#include "net_util.h"
#include "page_snmp_internal.h"
#include "web_pages.h"

using namespace snmppage;

namespace {

constexpr size_t kKeyMax = 33;  // characters of an authentication key
constexpr size_t kAddressMax = 15;

// What user_param.cgi and edit_user_param.cgi keep for the re-rendered
// form: the group choice and the typed user name.
struct UserParam {
    char group;
    char name[34];
};

const char user_param_key = 0;

const snmpcfg_user *user_at(int slot) {
    const snmpcfg_tables &t = snmpcfg();
    return slot >= 0 && slot < t.user_count ? &t.users[slot] : nullptr;
}

// The protocol form value of SHA, offered only as what a user runs.
constexpr int kAuthSha = 2;

// A user's SHA protocol (auth above 1) when it stays with the group slot,
// the user's own authenticating group; -1 otherwise.
int sha_kept(const snmpcfg_user &u, int slot) {
    const snmpcfg_group *g = group_at(slot);
    return u.auth > 1 && slot == u.group && g != nullptr && g->level == 2 ? u.auth : -1;
}

// The name check of the user and community forms; null when the name may
// be used.
const char *name_check(int kind, const char *name, const char *own, const char *too_long,
                       const char *exists, const char *missing) {
    if (name != nullptr && std::strlen(name) > kNameMax) return too_long;
    if (name != nullptr && *name != '\0' && !snmpcfg_token_ok(name))
        return kind == kUser ? "Invalid character in user name."
                             : "Invalid character in community string.";
    if (name != nullptr && (own == nullptr || std::strcmp(name, own) != 0) &&
        snmp_name_exists(kind, name) != 0)
        return exists;
    if (name == nullptr || *name == '\0') return missing;
    return nullptr;
}

// A key for a user with a protocol.
Refusal key_check(const char *key) {
    if (key == nullptr || *key == '\0') return {"Missing Auth Key."};
    if (std::strlen(key) < static_cast<size_t>(SNMPCFG_PASS_MIN))
        return {.message = "Auth Key length is below required.(Min. 8 characters)",
                .log = "Auth Key length is below required."};
    if (std::strlen(key) > kKeyMax) return {"Exceed max auth key length."};
    if (!snmpcfg_token_ok(key)) return {"Invalid character in auth key."};
    return {};
}

// The user fields of the creation and edit forms.
Refusal user_fill(const httpd_event *ev, snmpcfg_user *rec, const snmpcfg_user *old) {
    const char *name = field(ev, "snmp_user_name");
    if (const char *why = name_check(
            kUser, name, old != nullptr ? old->name : nullptr, "Exceed max user name length.",
            "User name already exist in the list.", "User Name not entered."))
        return {why};
    const char *group = field(ev, "snmp_group_name");
    int slot = old != nullptr ? old->group : -1;
    if (group != nullptr && !web_form_int(group, 0, INT32_MAX, &slot)) slot = -1;
    if (group_at(slot) == nullptr) return {"Group not selected."};
    copy_text(rec->name, sizeof rec->name, name);
    rec->group = slot;
    rec->model = group_at(slot)->model;
    // SHA (which a restored file may hold, and the form does not offer) is
    // kept while the user stays in its authenticating group.
    const int kept_auth = old != nullptr ? sha_kept(*old, slot) : -1;
    rec->auth = kept_auth > 1 ? kept_auth : group_at(slot)->level - 1;
    if (const char *ver = field(ev, "snmp_ver"))
        rec->model = web_form_int(ver, 0, 2, &rec->model) ? rec->model + 1 : 0;
    if (rec->model < 1 || rec->model > 3) return {"SNMP Version not selected."};
    if (const char *type = field(ev, "auth_type");
        type != nullptr && web_form_int(type, 0, kAuthSha, &rec->auth)) {
        if (rec->auth == kAuthSha) rec->auth = kept_auth;
    } else if (type != nullptr) {
        rec->auth = -1;
    }
    if (rec->auth < 0 || (rec->auth > 1 && rec->auth != kept_auth))
        return {"Invalid Auth Protocol."};
    rec->password[0] = '\0';
    if (rec->auth != 0) {
        const char *key = field(ev, old != nullptr ? "new_key" : "auth_key");
        if (old != nullptr) {
            const char *old_key = field(ev, "old_key");
            if (old_key == nullptr) return {"Missing Old Auth Key."};
            if (std::strcmp(old_key, old->password) != 0) return {"Old Auth Key is Incorrect."};
        }
        if (Refusal bad = key_check(key); bad.message != nullptr) return bad;
        copy_text(rec->password, sizeof rec->password, key);
    }
    if (old == nullptr) {
        // A new user is localised to the engine ID in force.
        std::memcpy(rec->engine_id, snmpcfg().engine_id, sizeof rec->engine_id);
        rec->engine_id_len = snmpcfg().engine_id_len;
    }
    return {};
}

// Communities name a user of their group as security name: they follow
// every change of the users.
template <typename F>
void users_change(F change) {
    snmpcfg_community_unapply_all();
    change();
    snmpcfg_community_apply_all();
}

const EntryKind<snmpcfg_user> user_kind = {
    .kind = kUser,
    .word = "User",
    .table = [] { return snmpcfg().users; },
    .fill = user_fill,
    .add = snmpcfg_user_add,
    .apply =
        [](int slot) {
            int rv = 0;
            users_change([&] { rv = snmpcfg_user_apply(slot); });
            return rv;
        },
    .replace =
        [](int slot, const snmpcfg_user &old, const snmpcfg_user &rec) {
            users_change([&] {
                snmpcfg_user_unapply(&old);
                snmpcfg().users[slot] = rec;
                snmpcfg_user_apply(slot);
            });
        },
    .remove =
        [](int slot) {
            users_change([&] {
                snmpcfg_user_unapply(&snmpcfg().users[slot]);
                snmpcfg_user_delete(slot + 1);
            });
        },
    .name = [](const snmpcfg_user &u) -> const char * { return u.name; },
    .detail = nullptr,
};

// The group a user form shows: the re-rendered choice, else the user's.
int chosen_group(const httpd_request *req, int fallback) {
    const auto *p = static_cast<const UserParam *>(httpd_req_state_find(req, &user_param_key));
    if (p == nullptr || p->group < '0' || p->group > '9') return fallback;
    return p->group - '0';
}

int user_param(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    auto *p =
        static_cast<UserParam *>(httpd_req_state_get(req, &user_param_key, sizeof(UserParam)));
    if (p == nullptr) return 0;
    const char *group = ev->b.num > 0 ? ev->a.pairs[0].value : "";
    const char *name = ev->b.num > 1 ? ev->a.pairs[1].value : "";
    p->group = group[0];
    copy_text(p->name, sizeof p->name, name);
    // The edit form comes back for the user it showed.
    int id = 0;
    if (web_form_int(field(ev, "id"), 0, INT32_MAX, &id)) shown_set(kUser, req, id);
    return 0;
}

// The community fields of the creation and edit forms.
Refusal community_fill(const httpd_event *ev, snmpcfg_community *rec,
                       const snmpcfg_community *old) {
    const char *name = field(ev, "snmp_community_name");
    if (const char *why = name_check(kCommunity, name, old != nullptr ? old->community : nullptr,
                                     "Exceed max community length.",
                                     "Community string already exist in the list.",
                                     "Community string not entered."))
        return {why};
    const char *ip = field(ev, "snmp_community_ip");
    uint8_t addr[4];
    if (ip == nullptr || std::strlen(ip) > kAddressMax || !snmpcfg_token_ok(ip) ||
        net_util_ip_parse(ip, addr) != 0)
        return {"Invalid IP format."};
    const snmpcfg_tables &t = snmpcfg();
    const char *pos_text = field(ev, "snmp_group_name");
    // "own": the group the community has, which the list no longer offers
    // (its version changed since), kept as it is.
    const bool own = pos_text != nullptr && std::strcmp(pos_text, "own") == 0 && old != nullptr &&
                     group_at(old->group) != nullptr;
    int pos = -1;
    if (!own && !web_form_int(pos_text, 0, INT32_MAX, &pos)) pos = -1;
    if (!own && (pos < 0 || pos >= t.v1v2group_count)) return {"Group not selected."};
    int slot = own ? old->group : t.v1v2groups[pos].group;
    bool has_user = own;
    for (int i = 0; i < t.user_count; i++)
        has_user = has_user || t.users[i].group == slot;
    if (!has_user) return {"No User defined in the Group."};
    copy_text(rec->community, sizeof rec->community, name);
    // The form shows a stored "default" as 0.0.0.0; posted back unchanged it
    // stays "default", so an edit that changes nothing stores nothing new.
    const bool shown_default = old != nullptr && std::strcmp(old->source, "default") == 0 &&
                               std::strcmp(ip, "0.0.0.0") == 0;
    copy_text(rec->source, sizeof rec->source, shown_default ? "default" : ip);
    rec->group = slot;
    return {};
}

snmpcfg_community *community_table() {
    return snmpcfg().communities;
}

snmpcfg_trap *trap_table() {
    return snmpcfg().traps;
}

// Communities and trap stations leave the agent and come back all together.
template <typename T, T *(*table)(), void (*unapply_all)(), void (*apply_all)(), int (*del)(int)>
struct AllTogether {
    static void replace(int slot, const T &, const T &rec) {
        unapply_all();
        table()[slot] = rec;
        apply_all();
    }
    static void remove(int slot) {
        unapply_all();
        del(slot + 1);
        apply_all();
    }
};

using Communities = AllTogether<snmpcfg_community, community_table, snmpcfg_community_unapply_all,
                                snmpcfg_community_apply_all, snmpcfg_community_delete>;
using Traps = AllTogether<snmpcfg_trap, trap_table, snmpcfg_trap_unapply_all,
                          snmpcfg_trap_apply_all, snmpcfg_trap_delete>;

const EntryKind<snmpcfg_community> community_kind = {
    .kind = kCommunity,
    .word = "Community",
    .table = community_table,
    .fill = community_fill,
    .add = snmpcfg_community_add,
    .apply = snmpcfg_community_apply,
    .replace = Communities::replace,
    .remove = Communities::remove,
    .name = [](const snmpcfg_community &c) -> const char * { return c.community; },
    .detail = [](const snmpcfg_community &c) -> const char * { return c.source; },
};

// A community's source as the forms take it: the stored "default" (every
// station) is 0.0.0.0 there.
const char *source_text(const snmpcfg_community &c) {
    return std::strcmp(c.source, "default") == 0 ? "0.0.0.0" : c.source;
}

// A trap station's address: dotted IPv4, on this host also "address:port".
bool trap_address_ok(const char *text) {
    if (text == nullptr || std::strlen(text) > kAddressMax || !snmpcfg_token_ok(text)) return false;
    char ip[kAddressMax + 1];
    copy_text(ip, sizeof ip, text);
    if (char *colon = std::strchr(ip, ':')) {
        *colon = '\0';
        int port = 0;
        if (!web_form_int(colon + 1, 1, 65535, &port)) return false;
    }
    uint8_t addr[4];
    return net_util_ip_parse(ip, addr) == 0;
}

// The trap-station fields of the creation and edit forms.
Refusal trap_fill(const httpd_event *ev, snmpcfg_trap *rec, const snmpcfg_trap *old) {
    const char *ip = field(ev, "snmp_trap_ip");
    if (!trap_address_ok(ip))
        return {"Invalid IP format.",
                old != nullptr ? "Edit SNMP Trap Station" : "Create SNMP Trap Station"};
    const char *community = field(ev, "snmp_trap_cstring");
    if (community != nullptr && std::strlen(community) > kNameMax)
        return {"Exceed max community length."};
    if (community == nullptr || *community == '\0') return {"Community string not entered."};
    if (!snmpcfg_token_ok(community)) return {"Invalid character in community string."};
    copy_text(rec->host, sizeof rec->host, ip);
    copy_text(rec->community, sizeof rec->community, community);
    return {};
}

const EntryKind<snmpcfg_trap> trap_kind = {
    .kind = kTrap,
    .word = "Trap",
    .table = trap_table,
    .fill = trap_fill,
    .add = snmpcfg_trap_add,
    .apply = snmpcfg_trap_apply,
    .replace = Traps::replace,
    .remove = Traps::remove,
    .name = [](const snmpcfg_trap &s) -> const char * { return s.host; },
    .detail = [](const snmpcfg_trap &s) -> const char * { return s.community; },
};

// Selectors of the user tags, 0 to 23 in order.
enum UserSelector : uint16_t {
    kSelId,
    kSelName,
    kSelGroupValue,
    kSelGroupSelected,
    kSelGroupName,
    kSelVerValue,
    kSelVerSelected,
    kSelVerName,
    kSelProtoValue,
    kSelProtoSelected,
    kSelProtoName,
    kSelProtoDisabled,
    kSelKeyDisabled,
    kSelCreateDisabled,
    kSelUserPage,
    kSelUserOption,
    kSelUserOptionText,
    kSelUserRowId,
    kSelUserRowName,
    kSelUserRowGroup,
    kSelUserRowVersion,
    kSelUserRowAuth,
    kSelUserPrev
};

const char *protocol_name(int auth) {
    return auth == 0 ? "None" : auth == 1 ? "MD5" : "SHA";
}

// The SHA protocol of the user the edit page shows, when it keeps it: with
// the user's own group chosen (-1 otherwise).
int shown_sha(const httpd_request *req) {
    const snmpcfg_user *u = user_at(shown_id(kUser, req) - 1);
    return u != nullptr ? sha_kept(*u, chosen_group(req, u->group)) : -1;
}

}  // namespace

// ---- users

bool snmppage::snmp_user_shown_sha(const httpd_request *req) {
    Lock lock;
    return shown_sha(req) > 1;
}

SNMP_KIND_HANDLERS(user_kind, kUser, "user_page", ssphandler_snmp_user_new_cgi,
                   ssphandler_showuser_cgi, ssphandler_pageuser_cgi, ssphandler_edituser_cgi,
                   ssphandler_deluser_cgi)

int ssphandler_user_param_cgi(httpd_event *ev, httpd_request *req) {
    return user_param(ev, req);
}

int ssphandler_edit_user_param_cgi(httpd_event *ev, httpd_request *req) {
    return user_param(ev, req);
}

void sspvar_snmp_tag_userlist(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    Lock lock;
    const snmpcfg_user *u = user_at(
        list_tag_entry(kUser, {kSelUserPage, kSelUserOption, kSelUserPrev}, args, req, out));
    if (u == nullptr) return;
    const snmpcfg_group *g = group_at(u->group);
    if (args[0] == kSelUserRowId) web_tag_int(out, u->index);
    if (args[0] == kSelUserRowName) escaped(out, u->name);
    if (args[0] == kSelUserRowGroup) escaped(out, g != nullptr ? g->name : "");
    if (args[0] == kSelUserRowVersion) web_tag_text(out, version_name(u->model));
    if (args[0] == kSelUserRowAuth) web_tag_text(out, protocol_name(u->auth));
}

void sspvar_snmp_tag_user(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    Lock lock;
    const snmpcfg_tables &t = snmpcfg();
    const bool creating = args[2] == 1;
    int id = shown_id(kUser, req);
    const snmpcfg_user *u = creating ? nullptr : user_at(id - 1);
    int group = chosen_group(req, u != nullptr ? u->group : 0);
    const snmpcfg_group *g = group_at(group);
    int level = g != nullptr ? g->level : 1;
    const char *selected = "selected";
    switch (args[0]) {
        case kSelId:
            current_set(kUser, id);
            web_tag_int(out, id);
            break;
        case kSelName: {
            const auto *p =
                static_cast<const UserParam *>(httpd_req_state_find(req, &user_param_key));
            escaped(out, p != nullptr ? p->name : u != nullptr ? u->name : "");
            break;
        }
        case kSelGroupValue:
            web_tag_int(out, args[1]);
            break;
        case kSelGroupSelected:
            web_tag_text(out, args[1] == group ? selected : "");
            break;
        case kSelGroupName:
            if (args[1] < t.group_count) escaped(out, t.groups[args[1]].name);
            break;
        case kSelVerValue:
            web_tag_int(out, args[1]);
            break;
        case kSelVerSelected: {
            int model = g != nullptr ? g->model : 0;
            web_tag_text(out, args[1] == model - 1 ? selected : "");
            break;
        }
        case kSelVerName:
            web_tag_text(out, version_name(args[1] + 1));
            break;
        case kSelProtoValue:
            web_tag_int(out, args[1]);
            break;
        case kSelProtoSelected: {
            const int shown = !creating && shown_sha(req) > 1 ? kAuthSha : level - 1;
            web_tag_text(out, args[1] == shown ? selected : "");
            break;
        }
        case kSelProtoName:
            if (args[1] == kAuthSha)
                web_tag_text(out, web_tag_printf("%s (running)", protocol_name(kAuthSha)));
            else
                web_tag_text(out, protocol_name(args[1]));
            break;
        case kSelProtoDisabled:
            web_tag_text(out, level != 1 ? "disabled" : "");
            break;
        case kSelKeyDisabled:
            web_tag_text(out, level == 1 ? "disabled" : "");
            break;
        case kSelCreateDisabled:
            web_tag_text(out, t.group_count == 0 ? "disabled" : "");
            break;
        default:
            break;
    }
}

// ---- communities

SNMP_KIND_HANDLERS(community_kind, kCommunity, "user_page", ssphandler_snmp_community_new_cgi,
                   ssphandler_showcommunity_cgi, ssphandler_pagecommunity_cgi,
                   ssphandler_editcommunity_cgi, ssphandler_delcommunity_cgi)

// List page: 9 page number, 10 and 11 selector options, per row 12 id,
// 13 community, 14 source address, 15 group; 16, 17 Previous, Next.
void sspvar_snmp_tag_communitylist(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    Lock lock;
    int entry = list_tag_entry(kCommunity, {9, 10, 16}, args, req, out);
    if (entry < 0) return;
    const snmpcfg_community &c = snmpcfg().communities[entry];
    const snmpcfg_group *g = group_at(c.group);
    if (args[0] == 12) web_tag_int(out, c.index);
    if (args[0] == 13) escaped(out, c.community);
    if (args[0] == 14) escaped(out, source_text(c));
    if (args[0] == 15) escaped(out, g != nullptr ? g->name : "");
}

namespace {

// The group of the community the edit page shows when the v1/v2c list does
// not hold it; null otherwise.
const snmpcfg_group *community_own_group(const httpd_request *req) {
    const snmpcfg_tables &t = snmpcfg();
    const int id = shown_id(kCommunity, req);
    if (id < 1 || id > t.community_count) return nullptr;
    const int slot = t.communities[id - 1].group;
    for (int i = 0; i < t.v1v2group_count; i++)
        if (t.v1v2groups[i].group == slot) return nullptr;
    return group_at(slot);
}

}  // namespace

int ssploop_snmp_tag_community_own(const uint16_t *, int index, httpd_request *req) {
    Lock lock;
    return index == 0 && community_own_group(req) != nullptr ? 1 : 0;
}

void sspvar_snmp_tag_community(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    Lock lock;
    const snmpcfg_tables &t = snmpcfg();
    int id = shown_id(kCommunity, req);
    const snmpcfg_community *c = id <= t.community_count ? &t.communities[id - 1] : nullptr;
    const bool in_list = args[1] < t.v1v2group_count;
    switch (args[0]) {
        case 1:
            current_set(kCommunity, id);
            web_tag_int(out, id);
            break;
        case 2:
            if (c != nullptr) escaped(out, c->community);
            break;
        case 3:
            if (c != nullptr) escaped(out, source_text(*c));
            break;
        case 4:
            web_tag_int(out, args[1]);
            break;
        case 5:
            if (c != nullptr && in_list && t.v1v2groups[args[1]].group == c->group)
                web_tag_text(out, "selected");
            break;
        case 6:
            if (in_list) escaped(out, t.v1v2groups[args[1]].name);
            break;
        case 7:
            web_tag_text(out, t.v1v2group_count == 0 ? "disabled" : "");
            break;
        case 8:
            if (const snmpcfg_group *g = community_own_group(req)) {
                char name[WEB_TAG_TEXT_SIZE];
                web_html_escape(g->name, name, sizeof name);
                web_tag_text(out, web_tag_printf("%s (running)", name));
            }
            break;
        default:
            break;
    }
}

// ---- trap stations

SNMP_KIND_HANDLERS(trap_kind, kTrap, "trap_page", ssphandler_snmp_trap_new_cgi,
                   ssphandler_showtrap_cgi, ssphandler_pagetrap_cgi, ssphandler_edittrap_cgi,
                   ssphandler_deltrap_cgi)

// List page: 3 page number, 4 and 5 selector options, per row 6 id,
// 7 address, 8 community; 9, 10 Previous, Next.
void sspvar_snmp_tag_traplist(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    Lock lock;
    int entry = list_tag_entry(kTrap, {3, 4, 9}, args, req, out);
    if (entry < 0) return;
    const snmpcfg_trap &s = snmpcfg().traps[entry];
    if (args[0] == 6) web_tag_int(out, s.index);
    if (args[0] == 7) escaped(out, s.host);
    if (args[0] == 8) escaped(out, s.community);
}

void sspvar_snmp_tag_trap(const uint16_t args[3], httpd_tag_out *out, httpd_request *req) {
    Lock lock;
    const snmpcfg_tables &t = snmpcfg();
    int id = shown_id(kTrap, req);
    const snmpcfg_trap *s = id <= t.trap_count ? &t.traps[id - 1] : nullptr;
    if (args[0] == 0) {
        current_set(kTrap, id);
        web_tag_int(out, id);
    }
    if (s == nullptr) return;
    if (args[0] == 1) escaped(out, s->host);
    if (args[0] == 2) escaped(out, s->community);
}

// ---- notifications

int ssphandler_snmp_notify_cgi(httpd_event *ev, httpd_request *) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    // A checkbox that is not posted is off.
    int traps = field(ev, "notify1") != nullptr ? 1 : 0;
    int authtraps = field(ev, "notify2") != nullptr ? 1 : 0;
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_SNMPD, "SET SNMP Notification %s\n",
                  traps ? "Enabled" : "Disabled");
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_SNMPD, "SET Authentication Notification %s\n",
                  authtraps ? "Enabled" : "Disabled");
    Lock lock;
    int now_traps = 0, now_authtraps = 0;
    snmpcfg_notify_get(&now_traps, &now_authtraps);
    if (traps == now_traps && authtraps == now_authtraps) return 0;
    snmpcfg_notify_set(traps, authtraps);
    if (traps) {
        // Switching traps off dropped the stations' sinks.
        snmpcfg_trap_unapply_all();
        snmpcfg_trap_apply_all();
    }
    save(lock);
    return 0;
}

void sspvar_snmp_tag_notify(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    Lock lock;
    int traps = 0, authtraps = 0;
    snmpcfg_notify_get(&traps, &authtraps);
    int on = args[0] == 0 ? traps : args[0] == 1 ? authtraps : 0;
    web_tag_text(out, on ? "checked" : "");
}
