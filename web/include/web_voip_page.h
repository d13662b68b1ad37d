// The Auto VoIP page: its form handler, tags and loops.
#pragma once

#include <cstdint>

#include "httpd.h"

int voip_cgi(httpd_event *ev, httpd_request *req);
// argument 0: 0 number of profiles, 2 profile value, 3 "selected" on the
// current profile, 4 profile name; argument 1 the profile index.
void sspvar_voip_tag_profile(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
// argument 0: 1 number of bandwidth entries, 5 entry index, 6 "selected" on
// the current limit, 7 label; argument 1 the entry index.
void sspvar_voip_tag_bw(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
int ssploop_voip_tag_profiles(const uint16_t args[3], int index, httpd_request *req);
int ssploop_voip_tag_bw(const uint16_t args[3], int index, httpd_request *req);
// Never runs: the bandwidth choice stays off the page.
int ssploop_voip_tag_hidden(const uint16_t args[3], int index, httpd_request *req);
