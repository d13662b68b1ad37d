// The 802.1Q VLAN, trunk and quality-of-service pages: their form handlers,
// page tags and loops, and the helpers other pages and items share with them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "board.h"
#include "httpd.h"
#include "web_ports.h"

// ---- VLAN pages
constexpr int WEB_VLAN_VID_MAX = 4094;
constexpr int WEB_VLANS_PER_PAGE = 5;

int showvlan_cgi(httpd_event *ev, httpd_request *req);
int pagevlan_cgi(httpd_event *ev, httpd_request *req);
int setvlan_cgi(httpd_event *ev, httpd_request *req);
int newvlan_cgi(httpd_event *ev, httpd_request *req);
int delvlan_cgi(httpd_event *ev, httpd_request *req);
// argument 0 selects, argument 1 is the enclosing loop's index.
void sspvar_vlan_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
// argument 0 selects; argument 1 the list row, argument 2 the port index.
void sspvar_vlanlist_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
int ssploop_vlanlist_tag_page(const uint16_t args[3], int index, httpd_request *req);
int ssploop_vlan_tag_all(const uint16_t args[3], int index, httpd_request *req);

// Port-state text ('1' untagged, '2' tagged member, else none) into bit
// words (bit n = user port n + 1); at most min(length, ports, 64) characters.
void vlan_portstr_parse(const char *text, uint64_t *members, uint64_t *untagged, uint64_t *all);
int vlan_lplist_to_bits(const dxpx_lplist_t *list, uint64_t *bits);
int vlan_bits_to_lplist(uint64_t bits, dxpx_lplist_t *list);

// ---- trunk page
int trunk_cgi(httpd_event *ev, httpd_request *req);
void sspvar_trunk_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_trunk_tag_misc(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_trunk_tag_port(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
int ssploop_trunk_tag_psc(const uint16_t args[3], int index, httpd_request *req);
int ssploop_trunk_tag_rows(const uint16_t args[3], int index, httpd_request *req);
int ssploop_trunk_tag_trunks(const uint16_t args[3], int index, httpd_request *req);
int ssploop_trunk_tag_ports(const uint16_t args[3], int index, httpd_request *req);
int ssploop_trunk_tag_type(const uint16_t args[3], int index, httpd_request *req);

// Flushes the addresses learned on ports that join the trunk and, once, the
// trunk's addresses when a port leaves it: 1, or 0 with a log line.
int trunk_member_l2_flush(int tid, const upbmp_t *members);
// "%d.%d.%d.%d" of the bytes in order; buf holds at least 16 bytes.
char *ip_to_str(char *buf, const uint8_t addr[4]);
// 1 when the mask (big-endian bytes) is a run of ones from the top bit.
int netmask_is_contiguous(const uint8_t mask[4]);

// ---- quality-of-service pages
int qos_cgi(httpd_event *ev, httpd_request *req);
int queue_num_cgi(httpd_event *ev, httpd_request *req);
int qos_enhance_mode_cgi(httpd_event *ev, httpd_request *req);
int qos_enhance_port_cgi(httpd_event *ev, httpd_request *req);
int qos_enhance_dscp_cgi(httpd_event *ev, httpd_request *req);
int qos_enhance_tos_cgi(httpd_event *ev, httpd_request *req);
int qos_enhance_ip_cgi(httpd_event *ev, httpd_request *req);
int qos_enhance_ip_add_cgi(httpd_event *ev, httpd_request *req);
int qos_enhance_ip_del_cgi(httpd_event *ev, httpd_request *req);
void sspvar_qos_tag_value(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
int ssploop_qos_tag_mode(const uint16_t args[3], int index, httpd_request *req);
int ssploop_qos_tag_two(const uint16_t args[3], int index, httpd_request *req);
int ssploop_qos_tag_queues(const uint16_t args[3], int index, httpd_request *req);
int ssploop_qos_tag_once(const uint16_t args[3], int index, httpd_request *req);
int ssploop_qos_tag_boardqueues(const uint16_t args[3], int index, httpd_request *req);
int ssploop_qos_tag_weights(const uint16_t args[3], int index, httpd_request *req);
// argument 0: 0 rows of the DSCP or ToS map (32 or 4), 1 IP entries.
int ssploop_qos_tag_rows(const uint16_t args[3], int index, httpd_request *req);

// Value i of the form arguments (event 4), or null when there are fewer.
inline const char *web_form_value(const httpd_event *ev, int i) {
    return i >= 0 && i < ev->b.num ? ev->a.pairs[i].value : nullptr;
}
