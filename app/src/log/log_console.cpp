// Console logger: prints each line as "[LEVEL] MODULE: text" on the board's
// console while that console is switched on, never on a telnet session's:
// the logger's lock is held here, and a client that stops reading would hold
// up every thread that logs.
#include "log_internal.h"

namespace log_internal {
namespace {

int console_write(const logger_record *rec, const char *text, logger *) {
    if (sal_board_console_enable_get() == 0) return 0;
    sal_board_printf("[%s] %s: %s\n", logger_level_name(rec->level),
                     logger_module_name(rec->module), text);
    return 0;
}

const logger_ops kConsoleOps = {.level_mask_set = mask_set,
                                .level_mask_get = mask_get,
                                .clear = no_records_clear,
                                .count = no_records_count,
                                .read = no_records_read,
                                .write = console_write};

}  // namespace

logger *console_logger_create() {
    static LoggerBase console;
    console.ops = &kConsoleOps;
    console.mask = LOGGER_CONSOLE_DEFAULT_MASK;
    return &console;
}

}  // namespace log_internal
