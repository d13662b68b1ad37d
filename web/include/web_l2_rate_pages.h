// The rate limit and storm control pages, and the address table and aging
// pages: their form handlers, page tags and loops.
#pragma once

#include <cstdint>

#include "httpd.h"

// ---- rate limit and storm control
int rate_cgi(httpd_event *ev, httpd_request *req);
int setrate_cgi(httpd_event *ev, httpd_request *req);
int storm_show_per_port_cgi(httpd_event *ev, httpd_request *req);
int storm_per_port_cgi(httpd_event *ev, httpd_request *req);
// argument 0: 0/1 ingress choice names/values, 2/3 egress, 4/5 burst.
void sspvar_rate_tag_choice(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
// argument 0: 0 the selected port, 1 its ingress preset, 2 "selected" when
// its egress limit is on, 3 egress preset, 4 burst preset; 5 with argument 1
// a port index: "selected" on the selected port.
void sspvar_rate_tag_form(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
// argument 0: 0 "<!--" / 4 "-->" around a row whose egress limit cannot be
// read, 1 ingress, 2 egress, 3 egress burst; argument 1 the port index.
void sspvar_rate_tag_row(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
// Rows for storm types 1 to 5.
int ssploop_storm_tag_type(const uint16_t args[3], int index, httpd_request *req);
// argument 0: 0 type value, 1 type name, 2 "selected" on the selected
// port's type (argument 1 the type index); 3 the selected port (0 all), 4
// its rate; 5: "selected" when argument 1 + argument 2 is the selected
// port (0 all).
void sspvar_storm_tag_form(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
// argument 0: 0 type name, 1 rate; argument 1 the port index.
void sspvar_storm_tag_row(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);

// ---- address table and aging
constexpr int WEB_L2_DUMP_PER_PAGE = 15;
constexpr uint16_t WEB_L2_LOOKUP_INDEX = 500;

int aging_cgi(httpd_event *ev, httpd_request *req);
int l2lookup_cgi(httpd_event *ev, httpd_request *req);
int l2dump_cgi(httpd_event *ev, httpd_request *req);
int pagel2dump_cgi(httpd_event *ev, httpd_request *req);
int l2add_cgi(httpd_event *ev, httpd_request *req);
int l2del_cgi(httpd_event *ev, httpd_request *req);
void sspvar_aging_tag_value(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
int ssploop_l2static_tag_index(const uint16_t args[3], int index, httpd_request *req);
void sspvar_arl_tag_address(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
int ssploop_l2dump_tag_index(const uint16_t args[3], int index, httpd_request *req);
void sspvar_arl_tag_dump(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_l2dump_tag_page(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_l2dump_tag_total(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_l2dump_tag_static(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_l2dump_tag_dynamic(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
int ssploop_port_tag_all(const uint16_t args[3], int index, httpd_request *req);
void sspvar_l2add_tag_port(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
