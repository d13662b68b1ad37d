// Console logger: prints each line as "[LEVEL] MODULE: text".
#include "log_internal.h"

namespace log_internal {
namespace {

int console_write(const logger_record *rec, const char *text, logger *) {
    sal_printf("[%s] %s: %s\n", logger_level_name(rec->level), logger_module_name(rec->module),
               text);
    return 0;
}

const logger_ops kConsoleOps = {mask_set,         mask_get,        no_records_clear,
                                no_records_count, no_records_read, console_write};

}  // namespace

logger *console_logger_create() {
    static LoggerBase console;
    console.ops = &kConsoleOps;
    console.mask = LOGGER_CONSOLE_DEFAULT_MASK;
    return &console;
}

}  // namespace log_internal
