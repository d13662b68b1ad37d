#include "fp_cmd.h"
namespace fp_cmd {
int action(int, args_t *) {
    return CMD_NOTIMPL;
}
int counter(int, args_t *) {
    return CMD_NOTIMPL;
}
int meter(int, args_t *) {
    return CMD_NOTIMPL;
}
int range(int, args_t *) {
    return CMD_NOTIMPL;
}
}  // namespace fp_cmd
