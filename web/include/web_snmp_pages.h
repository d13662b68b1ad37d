// The SNMP configuration pages: engine ID, groups, users, communities, trap
// stations and the notification switches. Every change goes through the
// SNMP configuration tables and is saved as the settings item "snmp".
#pragma once

#include <cstdint>

#include "httpd.h"

// 0 groups, 1 users, 2 communities: -1 when an entry of the kind already has
// exactly this name, else 0.
int snmp_name_exists(int kind, const char *name);

int ssphandler_snmp_id_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_snmp_group_new_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_showgroup_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_pagegroup_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_editgroup_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_delgroup_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_snmp_user_new_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_showuser_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_pageuser_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_edituser_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_deluser_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_user_param_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_edit_user_param_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_snmp_community_new_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_showcommunity_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_pagecommunity_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_editcommunity_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_delcommunity_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_snmp_trap_new_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_showtrap_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_pagetrap_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_edittrap_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_deltrap_cgi(httpd_event *ev, httpd_request *req);
int ssphandler_snmp_notify_cgi(httpd_event *ev, httpd_request *req);

// Page tags: argument 0 selects, argument 1 is the enclosing loop's index.
void sspvar_snmp_tag_engineid(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_snmp_tag_engineid_mac(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_snmp_tag_grouplist(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_snmp_tag_group(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_snmp_tag_ver(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_snmp_tag_ver_new(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_snmp_tag_userlist(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
// argument 2: 1 on the creation page, 0 on the edit page.
void sspvar_snmp_tag_user(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_snmp_tag_communitylist(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_snmp_tag_community(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_snmp_tag_traplist(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_snmp_tag_trap(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_snmp_tag_notify(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);

// Loops; argument 0 names the kind: 0 groups, 1 users, 2 communities,
// 3 trap stations, 4 the SNMPv1/SNMPv2c group list.
int ssploop_snmp_tag_entries(const uint16_t args[3], int index, httpd_request *req);
// Rows of the kind's list page (5 at most).
int ssploop_snmp_tag_rows(const uint16_t args[3], int index, httpd_request *req);
// One row when the entry the edit page shows exists (argument 1: 1), or
// when it does not (argument 1: 0).
int ssploop_snmp_tag_shown(const uint16_t args[3], int index, httpd_request *req);
int ssploop_snmp_tag_versions(const uint16_t args[3], int index, httpd_request *req);
int ssploop_snmp_tag_protocols(const uint16_t args[3], int index, httpd_request *req);
