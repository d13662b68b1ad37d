// What the "qos" item writes into the manager's tables at load.
#pragma once

#include "qosmgr.h"

// Removes every rule, then replaces the port priorities (one per user port)
// and the IP table without installing anything; the next mode set does.
void qosmgr_tables_replace(const int *port_priorities, int ports, const qosmgr_ip_base_entry *ip,
                           int count);
// Installs the running mode's rules anew from the tables (after a replace in
// the same mode), without leaving the mode; 1, or 0 on failure.
int qosmgr_rules_rebuild(void);

// After the manager's init the next load applies its record in full, even
// one equal to what the manager holds. Called under the manager's lock.
void qos_item_forget_applied(void);
