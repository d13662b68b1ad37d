// Texts handed out by the stores (NVRAM values, configuration names and
// values). Callers keep the pointers across later calls, and another thread
// may set or delete the variable meanwhile, so a handed-out text is never
// freed: each distinct text is kept once for the life of the program.
#pragma once

#include <string_view>

namespace storage_text {

// A NUL-terminated copy of text that stays valid until the program ends.
const char *keep(std::string_view text);

}  // namespace storage_text
