// SDP bodies of SIP and MGCP: only the connection (c) and media (m) lines
// matter for the voice rules; every other line is skipped.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sal.h"
#include "voip_internal.h"

namespace {

bool list_append(voip_list *list, void *item) {
    auto *node = static_cast<voip_node *>(sal_alloc(sizeof(voip_node), "VOIP"));
    if (node == nullptr) return false;
    node->item = item;
    voip_node **at = &list->head;
    while (*at != nullptr)
        at = &(*at)->next;
    *at = node;
    list->count++;
    return true;
}

void list_free(voip_list *list, void (*free_item)(void *)) {
    voip_node *n = list->head;
    while (n != nullptr) {
        voip_node *next = n->next;
        free_item(n->item);
        sal_free(n);
        n = next;
    }
    list->head = nullptr;
    list->count = 0;
}

void media_free(void *item) {
    auto *m = static_cast<sdp_media *>(item);
    list_free(&m->connections, sal_free);
    sal_free(m);
}

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// A decimal number of [*p, end) (after an optional blank run).
bool number(const char **p, const char *end, int *out) {
    const char *s = *p;
    while (s < end && blank(*s))
        s++;
    long v = 0;
    const char *e = s;
    while (e < end && *e >= '0' && *e <= '9' && v <= 0xFFFFFF)
        v = v * 10 + (*e++ - '0');
    if (e == s || v > 0xFFFFFF) return false;
    *out = static_cast<int>(v);
    *p = e;
    return true;
}

// What a malformed description prints on the console: any host can send
// such by the thousand, so the lines pass a gate, named by the port.
log_gate printed_log{.burst = 3, .console = true};
void print(const char *text) {
    log_gate_puts(&printed_log, log_source_port(voip_rx_port()), LOG_LEVEL_INFO, LOG_MOD_AUTOVOIP,
                  text);
}

int fail(const char *what) {
    char line[LOGGER_TEXT_MAX];
    std::snprintf(line, sizeof line, "VOIP: %s", what);
    print(line);
    return -1;
}

}  // namespace

bool voip_token(const char **p, const char *end, char *out, size_t size, char stop) {
    const char *s = *p;
    while (s < end && blank(*s))
        s++;
    const char *e = s;
    while (e < end && !blank(*e) && *e != stop)
        e++;
    if (e == s || static_cast<size_t>(e - s) >= size) return false;
    std::memcpy(out, s, static_cast<size_t>(e - s));
    out[e - s] = '\0';
    *p = e;
    return true;
}

const char *voip_line_end(const char *p) {
    while (*p != '\0' && *p != '\n')
        p++;
    return p;
}

int sdp_connection_init(sdp_connection **out) {
    *out = static_cast<sdp_connection *>(sal_alloc(sizeof(sdp_connection), "SDP"));
    return *out != nullptr ? 0 : -1;
}

// "c=<net type> <addr type> <address>[/<ttl>[/<count>]]"
int sdp_message_parse_c(sdp_description *desc, const char *line, const char *end) {
    sdp_connection *c = nullptr;
    if (sdp_connection_init(&c) != 0) return fail("sdp_connection_init failed!\n");
    const char *p = line + 2;
    const char *error = nullptr;
    if (!voip_token(&p, end, c->net_type, sizeof c->net_type)) {
        error = "search network type failed!\n";
    } else if (!voip_token(&p, end, c->addr_type, sizeof c->addr_type)) {
        error = "search addr type failed!\n";
    } else if (!voip_token(&p, end, c->address, sizeof c->address, '/')) {
        error = "search unicast addr failed!\n";
    } else if (p < end && *p == '/') {
        p++;
        if (!number(&p, end, &c->ttl)) {
            error = "search mcast address failed!\n";
        } else if (p < end && *p == '/') {
            p++;
            if (!number(&p, end, &c->count)) error = "search optional integer failed!\n";
        }
    }
    if (error != nullptr) {
        sal_free(c);
        return fail(error);
    }
    bool ok;
    if (desc->media.count == 0) {
        sal_free(desc->connection);
        desc->connection = c;
        ok = true;
    } else {
        voip_node *last = desc->media.head;
        while (last->next != nullptr)
            last = last->next;
        ok = list_append(&static_cast<sdp_media *>(last->item)->connections, c);
    }
    if (!ok) {
        sal_free(c);
        return -1;
    }
    return 0;
}

// "m=<media> <port>[/<number of ports>] <proto> <fmt> ..."
int sdp_message_parse_m(sdp_description *desc, const char *line, const char *end) {
    auto *m = static_cast<sdp_media *>(sal_alloc(sizeof(sdp_media), "SDP"));
    if (m == nullptr) return -1;
    const char *p = line + 2;
    const char *error = nullptr;
    if (!voip_token(&p, end, m->type, sizeof m->type) || !number(&p, end, &m->port)) {
        error = "search optional integer failed!\n";
    } else if (p < end && *p == '/') {
        print("a number of port is specified!!!\n");
        p++;
        if (!number(&p, end, &m->num_ports)) error = "search optional integer failed!\n";
    }
    if (error == nullptr && !voip_token(&p, end, m->protocol, sizeof m->protocol))
        error = "get protocol failed!!!\n";
    if (error != nullptr || !list_append(&desc->media, m)) {
        sal_free(m);
        return error != nullptr ? fail(error) : -1;
    }
    return 0;
}

int sdp_message_parse(sdp_description *desc, const char *text) {
    const char *p = text;
    while (*p != '\0' && *p != '\r' && *p != '\n') {
        const char *end = p;
        while (*end != '\0' && *end != '\r' && *end != '\n')
            end++;
        if (end - p >= 2 && p[1] == '=') {
            if (p[0] == 'c' && sdp_message_parse_c(desc, p, end) != 0)
                return fail("sdp_message_parse_c failed!\n");
            if (p[0] == 'm' && sdp_message_parse_m(desc, p, end) != 0)
                return fail("sdp_message_parse_m failed!\n");
        }
        if (*end == '\r') end++;
        if (*end == '\n') end++;
        p = end;
    }
    return 0;
}

void sdp_description_free(sdp_description *desc) {
    if (desc == nullptr) return;
    sal_free(desc->connection);
    desc->connection = nullptr;
    list_free(&desc->media, media_free);
}

const sdp_media *sdp_audio_media(const sdp_description *desc) {
    for (const voip_node *n = desc->media.head; n != nullptr; n = n->next) {
        const auto *m = static_cast<const sdp_media *>(n->item);
        if (std::strcmp(m->type, "audio") == 0) return m;
    }
    return nullptr;
}

bool voip_ip_parse(const char *text, uint32_t *ip) {
    uint32_t v = 0;
    const char *p = text;
    for (int i = 0; i < 4; i++) {
        int part = 0;
        const char *s = p;
        while (*p >= '0' && *p <= '9' && p - s < 3)
            part = part * 10 + (*p++ - '0');
        if (p == s || part > 255) return false;
        if (i < 3 && *p++ != '.') return false;
        v = v << 8 | static_cast<uint32_t>(part);
    }
    if (*p != '\0') return false;
    *ip = v;
    return true;
}

char *voip_text_copy(const uint8_t *data, int len, const char *tag) {
    if (data == nullptr || len < 4) return nullptr;
    auto *text = static_cast<char *>(sal_alloc(static_cast<size_t>(len), tag));
    if (text == nullptr) return nullptr;
    std::memcpy(text, data, static_cast<size_t>(len - 4));
    text[len - 4] = '\0';
    return text;
}
