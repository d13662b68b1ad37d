// Handlers, tags and hooks of the system, upgrade, backup and logging pages.
#pragma once

#include <cstdint>

#include "httpd.h"

// ---- system, IP and DHCP pages
// Replaces the board reboot that the restart pages call a second after
// answering (null: sal_reboot again). For tests and the host program.
void web_reboot_set(void (*fn)(void));
// Restores and factory resets accepted and not yet applied and stored.
int web_images_waiting(void);
// Address changes (setip.cgi, dhcp.cgi) and forms accepted and not yet
// applied and stored.
int web_changes_waiting(void);
// The address text setip.cgi accepted in this request; null when none.
const char *web_setip_address(const httpd_request *req);

int setip_cgi(httpd_event *ev, httpd_request *req);
int dhcp_cgi(httpd_event *ev, httpd_request *req);
int reset_cgi(httpd_event *ev, httpd_request *req);
int restart_cgi(httpd_event *ev, httpd_request *req);
// Selector 7 the firmware version, 8 its build date.
void sspvar_sysinfo_tag_version(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
// Argument 5: one row when this request turned the DHCP client on; any
// other argument: one row when it did not.
int ssploop_dhcp_tag_notice(const uint16_t args[3], int index, httpd_request *req);

// ---- firmware upgrade
int fupgrade_htm(httpd_event *ev, httpd_request *req);
int fupgrade_cgi(httpd_event *ev, httpd_request *req);
// Argument 0: 0 bytes received, 1 total size (0 while no upgrade runs).
void sspvar_upgstatus_tag_progress(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);

// ---- backup, restore and factory defaults
// Registers the clearing of the port counters that the factory defaults
// run (the port statistics pages provide it); null removes it.
void web_counters_clear_set(void (*fn)(void));
int dxpqsw_cfg(httpd_event *ev, httpd_request *req);
int restore_cgi(httpd_event *ev, httpd_request *req);
int restored_cgi(httpd_event *ev, httpd_request *req);
int ssploop_backup_tag_line(const uint16_t args[3], int index, httpd_request *req);
void sspvar_backup_tag_line(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
