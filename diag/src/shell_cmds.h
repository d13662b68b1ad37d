// Handlers of the monitor's command tables, by the module that owns them.
#pragma once

#include "diag_shell.h"

// shell.cpp
int sh_help(int unit, args_t *a);
int sh_help_short(int unit, args_t *a);
int sh_exit(int unit, args_t *a);
int sh_set(int unit, args_t *a);
int sh_shell(int unit, args_t *a);
int sh_not_implemented(int unit, args_t *a);

// variable.cpp
int sh_printenv(int unit, args_t *a);
int sh_setenv(int unit, args_t *a);
int sh_local(int unit, args_t *a);

// script.cpp
int sh_loop(int unit, args_t *a);
int sh_for(int unit, args_t *a);
int sh_case(int unit, args_t *a);
int sh_if(int unit, args_t *a);
int sh_expr(int unit, args_t *a);
int sh_echo(int unit, args_t *a);
int sh_noecho(int unit, args_t *a);
int sh_pause(int unit, args_t *a);
int sh_sleep(int unit, args_t *a);
int sh_delay(int unit, args_t *a);
int sh_time(int unit, args_t *a);
int sh_rcload(int unit, args_t *a);
int sh_rccache(int unit, args_t *a);
