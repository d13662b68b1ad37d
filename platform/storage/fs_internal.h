// Shared by the storage modules; not part of the public interface.
#pragma once

#include <string>
#include <string_view>

namespace sal_fs_internal {

// Host directory of the RAM file system (set up with the defaults on first use).
std::string root_dir();

// Replaces a file of the RAM file system in one step (a new file renamed over
// the old one), then writes the file system to flash. 0, or -1.
int replace_file(const char *name, std::string_view content);

// The flash copy of the file system. write: 0 or negative. restore unpacks a
// valid copy into the (empty) directory: 1 when it did, 0 when the flash holds
// none, -1 when the copy is corrupt or cannot be unpacked. erase: 0 or -1.
int flash_copy_write(const std::string &root);
int flash_copy_restore(const std::string &root);
int flash_copy_erase();

}  // namespace sal_fs_internal
