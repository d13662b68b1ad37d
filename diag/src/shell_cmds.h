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

// reg.cpp
int cmd_reg_get(int unit, args_t *a);
int cmd_reg_set(int unit, args_t *a);
int cmd_reg_mod(int unit, args_t *a);
inline constexpr const char *REG_GET_USAGE =
    "Parameters: [hex] [<REGTYPE>] <REGISTER|PAGE ADDRESS>\n\tIf <REGTYPE> is not specified, it "
    "defaults to \"soc\".\n\t<REGISTER> is SOC register symbolic name.\n\t<PAGE> is SOC "
    "register page value.\n\t<ADDRESS> is SOC register address value.\n\tIf hex is specified, "
    "dumps only a hex value (for Expect parsing).\n\tFor a list of register types, use "
    "\"dump\".\n";
inline constexpr const char *REG_SET_USAGE =
    "1. Parameters: [<REGTYPE>] <REGISTER|arg1 arg2> <VALUE>\n\t\tIf <REGTYPE> is not specified, "
    "it defaults to \"soc\".\n\t\t<REGISTER> is SOC register symbolic name.\n\t\tIf <REGTYPE> "
    "is SOC - <arg1> is SOC register page value.\n\t\t                      <arg2> is SOC "
    "register address value.\n\t\tIf <REGTYPE> is PHY - <arg1> is phy address value.\n\t\t     "
    "                 <arg2> is register offset value.\n\t2. Parameters: <REGISTER> "
    "<FIELD>=<VALUE>[,...]\n\t\t<REGISTER> designates symbolic name.\n\t\t<FIELD>=<VALUE>[,...] "
    "is a list of fields to affect,\n\t\tfor example: L3_ENA=0,CPU_PRI=1.\n\t\tFields not "
    "specified in the list are set to zero.\n\tFor a list of register types, use \"help "
    "dump\".\n";
inline constexpr const char *REG_MOD_USAGE =
    "Parameters: <REGISTER> <FIELD>=<VALUE>[,...]\n\t<REGISTER> is SOC register symbolic "
    "name.\n\t<FIELD>=<VALUE>[,...] is a list of fields to affect,\n\tFields not specified in "
    "the list are left unaffected.\n";

// reg_list.cpp
int cmd_reg_list(int unit, args_t *a);
int cmd_reg_edit(int unit, args_t *a);
inline constexpr const char *REG_LIST_USAGE =
    "1. Parameters: <REGISTER|PAGE ADDRESS> [<VALUE>]\n\tLists all register fields in "
    "<REGISTER>\n\t<REGISTER> is SOC register symbolic name.\n\t<PAGE> is SOC register page "
    "value.\n\t<ADDRESS> is SOC register address value.\n\t2. Parameters: <SUBSTRING>\n\tPrints "
    "all SOC register names containing substring.\n\t3. Parameters: *\n\tPrints all SOC "
    "registers.\n";
inline constexpr const char *REG_EDIT_USAGE =
    "Parameters: <REGISTER>\n\t<REGISTER> is SOC register symbolic name.\n\tLoads a register "
    "and displays each field, providing an opportunity\n\tto modify each field.\n";

// unit.cpp
int cmd_probe(int unit, args_t *a);
int cmd_attach(int unit, args_t *a);
int cmd_detach(int unit, args_t *a);
int cmd_init(int unit, args_t *a);

// dispatch.cpp
int cmd_dispatch(int unit, args_t *a);
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

// pkt_tx.cpp, pkt_watch.cpp, pkt_rx.cpp: the packet commands
int cmd_tx(int unit, args_t *a);
int cmd_tx_start(int unit, args_t *a);
int cmd_tx_stop(int unit, args_t *a);
int cmd_tx_count(int unit, args_t *a);
inline constexpr const char *TX_USAGE =
    "Count [PortBitMap=pbmp] [UntagBitMap=pbmp] [Length=bytes] [DestMac=mac] [SourceMac=mac]\n\t"
    "[DestMacInc=n] [SourceMacInc=n] [PerPortSrcMac=0|1] [Pattern=hex] [PatternInc=n]\n\t"
    "[VLantag=hex] [VlanPrio=0-7] [CRC=None|Recompute|Append] [Filename=file]\n";
int cmd_packet_watcher(int unit, args_t *a);
int cmd_rx_cfg(int unit, args_t *a);
int cmd_rx_mon(int unit, args_t *a);
int cmd_rx_init(int unit, args_t *a);
