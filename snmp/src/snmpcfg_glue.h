// The configuration glue over net-snmp: each call feeds one line to one of
// the agent's parsers or drops its entries. Callers hold the agent lock.
#pragma once

#include <netinet/in.h>

#include <cstdint>

namespace snmpglue {
void group_line(const char *line);
void access_line(const char *line);
void view_line(const char *line);
// The view "default" (.1.3.6.1.2) every group grants, present once.
void default_view();
void usm_line(const char *line);
void com2sec_line(const char *line);
void trapsink_add(const char *host, const char *community);
// Makes the coldStart trap due to the stations of the first configuration
// loaded since the program started; later calls do nothing.
void cold_start_once();
// Sends the coldStart trap if due. The agent thread sends it, once start-up
// has given the switch the address the trap carries.
void send_cold_start();
void group_destroy(int model, const char *name);
void access_destroy(const char *name, int model, int level);
void usm_destroy(const uint8_t *engine_id, int len, const char *name);
void security_free();
void trapsinks_free();
void notify_glue_set(int traps, int authtraps);
void notify_glue_get(int *traps, int *authtraps);
// The agent's post-read-config callbacks (engine boots and time).
void post_read_config();
// The switch's own address (network order), as the system page shows it;
// 127.0.0.1 while it has none.
in_addr_t switch_address();
// Makes the agent's own traps carry the switch's address and sysObjectID.
void traps_from_switch();
// The engine ID the agent runs with.
int engine_id_get(uint8_t *out, int room);
}  // namespace snmpglue
