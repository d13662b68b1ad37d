// Registers the settings handlers of the subsystems in this build.
#pragma once

// 0, or -1 when a handler could not be registered (called twice).
int settings_wiring(void);
