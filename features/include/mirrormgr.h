// The monitor port of port mirroring. The switch names it only while some
// port is mirrored, so the one the administrator chose is kept here too:
// mirroring can be on with a monitor port and no mirrored port yet.
#pragma once

void mirrormgr_monitor_set(int uport);  // 0 forgets it
// The user port mirrored ports copy to; without any, the one chosen last;
// 0 when there is none.
int mirrormgr_monitor_get(void);
