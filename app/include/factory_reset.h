// The reset button: the "FactoryDefault" thread waits for it, then erases the
// saved settings (keeping the board's own keys) and reboots.
#pragma once

// Starts "FactoryDefault"; 0, or -1 when the thread cannot be made.
int factory_default_thread_start(void);
// What the board's external-interrupt code calls when the button is pressed.
void factory_default_button_press(void);
// Erases every NVRAM key but the MAC-address, PHY, GPIO and boot keys and
// commits: 0, or negative when the store could not be written.
int factory_default_erase_settings(void);
// True for the keys that survive a factory reset.
bool factory_default_keeps_key(const char *name);
