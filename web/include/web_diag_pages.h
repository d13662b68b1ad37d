// The cable diagnostics page and the port mirroring page: their form
// handlers, page tags and loops.
#pragma once

#include <cstdint>

#include "httpd.h"

// ---- cable diagnostics
int cable_cgi(httpd_event *ev, httpd_request *req);
// argument 0: 0 "selected" when argument 1 + 1 is the tested port; 1 the
// tested port ("--" before a test); 2 pair count; 3 overall state; 4 pair
// letter of pair argument 1; 5 that pair's state and length.
void sspvar_cable_tag_result(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
int ssploop_cable_tag_result(const uint16_t args[3], int index, httpd_request *req);
int ssploop_cable_tag_pairs(const uint16_t args[3], int index, httpd_request *req);
int ssploop_cable_tag_ports(const uint16_t args[3], int index, httpd_request *req);

// ---- port mirroring
int mirror_cgi(httpd_event *ev, httpd_request *req);
int mode_cgi(httpd_event *ev, httpd_request *req);
// argument 0: 0 "selected" when argument 1 is the mode shown; 1 "selected"
// when port index argument 1 is the monitor port; 2 / 3 "checked" when the
// port of index argument 1 has its ingress / egress mirrored; 4 the port
// number "%02d" of index argument 1.
void sspvar_mirror_tag_form(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
int ssploop_mirror_tag_ports(const uint16_t args[3], int index, httpd_request *req);
