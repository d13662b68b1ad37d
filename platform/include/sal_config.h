// SDK configuration variables: a name=value store in memory, kept in the
// file "config.dxp" of the RAM file system. The device manager reads its
// chip properties from it.
#pragma once

constexpr const char *SAL_CONFIG_FILE = "flash:config.dxp";

// Value, or null when absent. Texts returned here and by get_next stay valid
// while the program runs, whatever later calls change.
const char *sal_config_get(const char *name);
// The variable after name in store order (the first for a null name) into
// *next_name and *next_value; 0, or -1 after the last one or for an unknown name.
int sal_config_get_next(const char *name, const char **next_name, const char **next_value);
// Sets or replaces (keeping its place) the variable, or deletes it when value
// is null. 0, or negative for a bad name or value (empty name; '=', CR or LF
// in the name; CR or LF in the value) or when deleting an absent name.
int sal_config_set(const char *name, const char *value);
// Replaces the store by the file's "name=value" lines; 0, or negative when the
// file cannot be read (the store is then kept).
int sal_config_refresh(void);
// Writes the store to the file in store order; 0, or negative on failure.
int sal_config_flush(void);
