// The few kernel calls that the firmware makes beside the SDK layer.
#pragma once

// Scheduler lock: no other firmware thread runs inside it on the board; here
// it is one process-wide recursive lock.
void cyg_scheduler_lock(void);
void cyg_scheduler_unlock(void);
