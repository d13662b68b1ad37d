// The DoS attack prevention pages: the system-wide checks ("dos.htm") and
// the per-port smurf and flood checks ("dos_perport.htm").
#pragma once

#include <cstdint>

#include "httpd.h"

// One value: three characters for land, blat and the TCP-flag checks, "1" on.
int ssphandler_dos_cgi(httpd_event *ev, httpd_request *req);
// One value: the user port the per-port page shows.
int ssphandler_dos_showperport_cgi(httpd_event *ev, httpd_request *req);
// Port (or "FF" for every port), three characters for smurf, ping flood and
// SYN flood, then the ping and SYN flood rates.
int ssphandler_dos_perport_cgi(httpd_event *ev, httpd_request *req);

// argument 0: 11, 12, 14, 15, 16, 17, 20 "checked" when type 0, 1, 9, 8, 2,
// 7, 4 is on.
void sspvar_dos_tag_global(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
// argument 0: 2 all ports chosen; 3 smurf on; 4 ping flood on, 5 at a rate
// other than 128, 6 other than 64; 7, 8, 9 the same for SYN flood.
void sspvar_dos_tag_perport(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
// argument 0 = 1: "selected" when argument 1 + 1 is the port shown.
void sspvar_dos_tag_port(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
// One row when argument 0 is 18.
int ssploop_dos_tag_section(const uint16_t args[3], int index, httpd_request *req);
