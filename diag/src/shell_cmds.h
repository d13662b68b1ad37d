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

// fs_cmds.cpp
int sh_copy_file(const char *cmd, const char *src, const char *dst);
int sh_ls(int unit, args_t *a);
int sh_pwd(int unit, args_t *a);
int sh_cd(int unit, args_t *a);
int sh_copy(int unit, args_t *a);
int sh_rm(int unit, args_t *a);
int sh_move(int unit, args_t *a);
int sh_mkdir(int unit, args_t *a);
int sh_rmdir(int unit, args_t *a);
int sh_more(int unit, args_t *a);
int sh_save(int unit, args_t *a);
int sh_flashinit(int unit, args_t *a);
int sh_flashsync(int unit, args_t *a);

// bgjob.cpp
int sh_background(int unit, args_t *a);
int sh_jobs(int unit, args_t *a);
int sh_kill(int unit, args_t *a);

// system_cmds.cpp
int sh_log(int unit, args_t *a);
int sh_console(int unit, args_t *a);
int sh_debug(int unit, args_t *a);
int sh_debugmod(int unit, args_t *a);
int sh_reboot(int unit, args_t *a);
int sh_version(int unit, args_t *a);
int sh_date(int unit, args_t *a);
int sh_history(int unit, args_t *a);

// config_cmd.cpp
int sh_config(int unit, args_t *a);

// edline.cpp
int sh_edline(int unit, args_t *a);
