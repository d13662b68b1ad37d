// Messages of the switch return codes.
#include <array>
#include <cstddef>

#include "dxp_error.h"

namespace {

constexpr std::array<const char *, 19> messages = {
    "Ok",
    "Internal error",
    "Out of memory",
    "Invalid unit",
    "Invalid parameter",
    "Table empty",
    "Table full",
    "Entry not found",
    "Entry exists",
    "Operation timed out",
    "Operation still running",
    "Operation failed",
    "Operation disabled",
    "Invalid identifier",
    "No resources for operation",
    "Invalid configuration",
    "Feature unavailable",
    "Feature not initialized",
    "Invalid port",
};

}  // namespace

const char *dxp_errmsg(int rv) {
    if (rv > 0 || rv < -static_cast<int>(messages.size() - 1)) return "Unknown error";
    return messages[static_cast<size_t>(-rv)];
}
