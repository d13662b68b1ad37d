// File layer of the SDK: the RAM file system (kept in flash) and remote files.
// Names are "flash:name" (the RAM file system from its root), "host:name" (a
// file of the TFTP server), "/name" (from the RAM file system's root) or a
// name relative to the current directory. No name reaches outside its root.
#pragma once

#include <cstddef>
#include <cstdio>

// A C stream, or null (errno tells why). Closing a stream that was opened for
// writing on the RAM file system writes the file system back to flash.
FILE *sal_fopen(const char *name, const char *mode);
// 0, or EOF when the close or the write-back to flash failed.
int sal_fclose(FILE *stream);

// Each returns 0 or non-zero on failure, and writes the RAM file system back
// to flash after a change of it.
int sal_remove(const char *name);
int sal_rename(const char *old_name, const char *new_name);
int sal_mkdir(const char *path);
int sal_rmdir(const char *path);

// Lists a file, or the entries of a directory by name, on the console:
// "%10lu  name" for files and "     <DIR>  name/" for directories.
// flags are accepted for compatibility and ignored. 0, or -1 when absent.
int sal_ls(const char *name, int flags);

// Current directory of the RAM file system ("/" at its root); buf, or null when
// it does not fit.
char *sal_getcwd(char *buf, size_t size);
// Changes the current directory (null: the home directory); 0 or -1.
int sal_cd(const char *dir);
// The home directory, an existing directory of the RAM file system; 0 or -1.
int sal_homedir_set(const char *dir);
// Copies the home directory, ending in "/"; buf, or null when it does not fit.
char *sal_homedir_get(char *buf, size_t size);

// Writes the RAM file system to flash now; 0, or negative on failure.
int sal_flash_sync(void);
// Re-initialises the RAM file system: with format, empties it and its flash
// copy; otherwise reloads an empty file system from flash. 0, or non-zero on
// failure.
int sal_flash_init(int format);
// Writing a boot loader to flash is not supported on this board: always -1.
int sal_flash_boot(const char *file);
