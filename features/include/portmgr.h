// Link state of every user port: read from the ports at start, then followed
// through the link scan.
#pragma once

#include "dxp.h"

int portmgr_init(void);  // 0, or -11
// The link-scan handler: logs the change and remembers it per user port.
void portmgr_link_change(int lport, dxp_port_info *info);
int portmgr_link_get(int uport, int *link);  // 0, or -11
