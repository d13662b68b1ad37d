// Handlers of the monitor's command tables, by the module that owns them.
#pragma once

#include "diag_shell.h"
#include "soc_control.h"

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

// port_cmds.cpp
int cmd_port(int unit, args_t *a);
int cmd_port_stat(int unit, args_t *a);
int cmd_port_rate(int unit, args_t *a);
inline constexpr const char *PORT_USAGE =
    "Parameters: <ports> [AutoNeg=on|off] [enable] [disable]\n\t[STP=Disable|Block|LIsten|LEarn|"
    "Forward] [detach] [probe] [attach]\n\t[LinkScan=on|off|hw|sw] [SPeed=10|100|1000] "
    "[FullDuplex=true|false]\n\t[TxPAUse=on|off RxPAUse=on|off] [DISCard=none|untag|all]\n\t"
    "[PRIOrity=<0-7>] [PHymaster=<Master|Slave|Auto>]\n\tIf only <ports> is specified, "
    "characteristics for that port are\n\tdisplayed. <ports> is a standard port bitmap (see "
    "\"help pbmp\").\n\tIf AutoNeg is on, SPeed and DUPlex are the ADVERTISED MAX values.\n\tIf "
    "AutoNeg is off, SPeed and DUPlex are the FORCED values.\n\tSPeed of zero indicates maximum "
    "speed.\n\tLinkScan enables automatic scanning for link changes with updating\n\tof MAC "
    "registers.\n\tPAUse enables send/receive of pause frames in full duplex mode.\n\tPRIOrity "
    "sets the priority for untagged packets coming on this port.\n";
inline constexpr const char *PORT_STAT_USAGE =
    "Display info about port status in table format.\n    Link scan modes:\n        SW = "
    "software\n        HW = hardware\n    Learn operations (source lookup failure control):\n   "
    "     F = SLF packets are forwarded\n        C = SLF packets are sent to the CPU\n        A = "
    "SLF packets are learned in L2 table\n    Pause:\n        TX = Switch will transmit pause "
    "packets\n        RX = Switch will obey pause packets\n";
inline constexpr const char *PORT_RATE_USAGE =
    "Set/Display port rate metering characteristics.\nParameters: <pbm> [ingress|egress [arg1 "
    "arg2]]\n\t    If no parameters, show status of all ports\n\t    For Ingress or Egress: arg1 "
    "is rate, arg2 is max_burst\n\t    rate is in kilobits (1000 bits) per second\n\t    "
    "max_burst are in kilobits (1000 bits)\n";

// test_framework.cpp
int cmd_test_list(int unit, args_t *a);
int cmd_test_select(int unit, args_t *a);
int cmd_test_run(int unit, args_t *a);
int cmd_test_mode(int unit, args_t *a);
int cmd_test_parameters(int unit, args_t *a);
int cmd_test_clear(int unit, args_t *a);
// counter_cmds.cpp
int cmd_counter(int unit, args_t *a);
inline constexpr const char *COUNTER_USAGE =
    "Usages:\n\t\nParameters: [off] [sync] [Interval=<usec>]\n\t\t[PortBitMap=<pbm>] "
    "[MIBGroup=<MibGroup>]\n\tStarts the counter collection task running every "
    "<usec>\n\tmicroseconds.  The task tallies software counters based on hardware\n\tvalues "
    "and must run often enough to avoid counter overflow.\n\tIf <interval> is 0, stops the "
    "task.  If <interval> is omitted, prints\n\tthe current INTERVAL.  sync reads in all the "
    "counters to synchronize\n\t'show counters' for the first time, and must be used "
    "alone.\n\tfor dxp7103 select MIB Group(0-2) <MibGroup> for different counters\n";
// Port bitmap records as 64-bit words (bit n = port n).
inline uint64_t diag_pbmp_bits(const soc_pbmp_t &b) {
    return static_cast<uint64_t>(b.w[1]) << 32 | b.w[0];
}
inline soc_pbmp_t diag_pbmp_of(uint64_t bits) {
    return soc_pbmp_t{{static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32)}};
}

// mem_cmds.cpp
int cmd_mem_write(int unit, args_t *a);
int cmd_mem_modify(int unit, args_t *a);
int cmd_mem_list(int unit, args_t *a);
int cmd_mem_cache(int unit, args_t *a);
inline constexpr const char *MEM_WRITE_USAGE =
    "Parameters: <TABLE> <ENTRY> <ENTRYCOUNT>\n\t        { <DW0> .. <DWN> | "
    "<FIELD>=<VALUE>[,...] }\n\tNumber of <DW> must be a multiple of table entry "
    "size.\n\tWrites entry(s) into table index(es).\n";
inline constexpr const char *MEM_MODIFY_USAGE =
    "Parameters: <TABLE> <ENTRY> <ENTRYCOUNT>\n\t        <FIELD>=<VALUE>[,...]\n\tRead/modify/"
    "write field(s) of a table entry(s).\n";
inline constexpr const char *MEM_LIST_USAGE =
    "Parameters: <TABLE>\n\tIf no parameters are given, displays a reference list of "
    "all\n\tmemories and their attributes.\n\tIf TABLE is given, displays the entry fields "
    "for that table.\n";
inline constexpr const char *MEM_CACHE_USAGE =
    "Parameters [+<TABLE> | -<TABLE>]\n\tIf no parameters are given, displays caching "
    "status.  Otherwise,\n\tturns software caching on (+) or off (-) for specified "
    "TABLE(s).\n\tOnly VLAN and SEC_MAC available. SEC_MAC0, SEC_MAC1 and SEC_MAC2\n\tare "
    "all set to SEC_MAC\n";

// show_cmds.cpp
int cmd_clear(int unit, args_t *a);
int cmd_show(int unit, args_t *a);
int cmd_pbmp(int unit, args_t *a);
int cmd_soc(int unit, args_t *a);
inline constexpr const char *CLEAR_USAGE =
    "clear counters [PBMP] | <TABLE> ... | DEV | stats [PBMP]\n\tcounters - zeroes all or some "
    "internal packet counters\n\t<TABLE> - clears specified memory table\n\t        - set any "
    "of SEC_MAC0, SEC_MAC1 and SEC_MAC2 will\n\t          clear all of the three "
    "table.\n\tDEV - Call dxp_clear on the unit to reset to known state\n\tstats - Clear the "
    "port based statistics.\n";
inline constexpr const char *SHOW_USAGE =
    "Usages:\n  show CHips      - Show all driver-supported device IDs\n  show Counters [Changed] "
    "[Same] [Z] [NZ] [Hex] [Raw] [<reg> | <pbmp>]\n\tDisplay all counters, or only specified "
    "regs and/or ports\n\t  Changed - include counters that changed\n\t  Same    - include "
    "counters that did not change\n\t  Z       - include counters that are zero\n\t  Nz      "
    "- include counters that are not zero\n\t  All     - same as: Changed Same Z Nz\n\t  Hex  "
    "   - display counters as 64-bit hex values\n\t  Raw     - display raw 64-bit hex values, "
    "no register name(s)\n\t  ErDisc  - Only show those counters marked with "
    "Error/Discard\n\tNOTES: If neither Changed or Same is specified, Change is used.\n\t      "
    " If neither Z or Nz is specified, Nz is used.\n\t       Use All to display counters "
    "regardless of value.\n  show Statistics [pbm] [all] - SNMP accumulated statistics,all "
    "shows 0s\n  show Errors            - logged error counts for certain errors\n  show params "
    "[<chip>]   - Chip parameters (chip id or current unit)\n  show unit [<unit>]     - Unit "
    "list or unit parameters\n  show features [all]    - Show enabled (or all) features for "
    "this unit\n";
inline constexpr const char *PBMP_USAGE =
    "Parameters: <pbmp>\nConverts a pbmp string into a hardware port bitmap.  A pbmp "
    "string\n\tis a single port, or a group of ports specified in a list using ','\n\tto "
    "separate them and '-' for ranges, e.g. 1-8,25,cpu.  Ports may be\n\tspecified using the "
    "one-based port number (1-29) or port type and\n\tzero-based number (fe0-fe23,ge0-ge7).  "
    "'cpu' is equal to port 24,\n\t'fe' is all FE ports, 'ge' is all GE ports, 'e' is all "
    "ethernet\n\tports, 'all' is all ports, and 'none' is no ports (0x0).\n\tA '~' may be used "
    "to exclude port previously given (e.g. e,~fe19)\n\tAcceptable strings and values also "
    "depend on the chip being used.\n\tA pbmp may also be given as a raw hex (0x) number, e.g. "
    "0xbffffff.\n";
inline constexpr const char *SOC_USAGE =
    "Parameters: [<unit #>] ... \n\tPrint internal SOC driver control information IF compiled "
    "as a \n\tdebug version. If not compiled as a debug version, a warning is\n\tprinted and "
    "the command completes successfully with no further\n\toutput\n";
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

// l2_cmds.cpp
int cmd_age(int unit, args_t *a);
int cmd_bpdu(int unit, args_t *a);
int cmd_l2(int unit, args_t *a);
int cmd_mcast(int unit, args_t *a);
inline constexpr const char *AGE_USAGE =
    "Parameters:  [<seconds>]\n\t   Set the hardware age timer to the indicated number of "
    "seconds.\n\t   With no parameter, displays current value.\n\t   Setting to 0 disables "
    "hardware aging\n";
inline constexpr const char *BPDU_USAGE =
    "Usages:\n\t  bpdu add [Index=<n>] [MACaddress=<mac>] \n\t        - Add BPDU "
    "addresses.\n\t        - only Dxp7101 provide 3 BPDUs.\n\t  bpdu del [Index=<n>]\n\t   "
    "     - Delete BPDU address.\n\t  bpdu show \n\t        - Show BPDU addresses.\n";
inline constexpr const char *L2_USAGE =
    "Usages:\n\t  l2 add [PortBitMap=<pbmp>] [MACaddress=<mac>] [Vlanid=<id>]\n\t         "
    "[PRIority=<cosq>] [STatic=true|false]\n\t        - Add incrementing L2 addresses "
    "associated with port(s)\n\t  l2 del [MACaddress=<mac>] [Count=<value>] "
    "[Vlanid=<id>]\n\t        - Delete incrementing L2 address(s)\n\t  l2 show "
    "[PortBitMap=<pbmp]\n\t        - Show L2 addresses associated with port(s)\n\t  l2 clear "
    "[Port=<port>] [MACaddress=<mac>]\n\t           [Vlanid=<id>] [TrunkGroupID=<id>] "
    "[Static=true|false]\n\t        - Remove all L2 entries on the given module, "
    "module/port,\n\t           VLAN, or trunk group ID\n\t  l2 dump\n\t        - Dump all "
    "entries in L2 table\n\t  l2 conflict [MACaddress=<mac>] [Vlanid=<id>]\n\t        - Dump "
    "all conflicting L2 entries (same hash bucket)\n\t  l2 watch [start | stop]\n\t        - "
    "Watch dynamic address insertions/deletions\n";
inline constexpr const char *MCAST_USAGE =
    "Usages:\n\t  mcast add <MACaddress>=<val> <Vlanid>=<val> <PortBitMap>=<val>\n\t        "
    "          <Index>=<val>\n\t  mcast delete <MACaddress>=<val> <Vlanid>=<val>\n\t  mcast "
    "join <MACaddress>=<val> <Vlanid>=<val> <PortBitMap>=<val>\n\t  mcast leave "
    "<MACaddress>=<val> <Vlanid>=<val> <PortBitMap>=<val>\n\t  mcast padd <MACaddress>=<val> "
    "<Vlanid>=<val> <PortBitMap>=<val>\n\t  mcast premove <MACaddress>=<val> <Vlanid>=<val> "
    "<PortBitMap>=<val>\n";

// vlan_cmds.cpp
int cmd_vlan(int unit, args_t *a);
int cmd_pvlan(int unit, args_t *a);
inline constexpr const char *VLAN_USAGE =
    "Usages:\n\t  vlan create <id> [PortBitMap=<pbmp> UntagBitMap=<pbmp>]\n\t                 "
    "                      - Create a VLAN\n\t  vlan destroy <id>                    - Destroy a "
    "VLAN\n\t  vlan clear                           - Destroy all VLANs\n\t  vlan add <id> "
    "[PortBitMap=<pbmp> UntagBitMap=<pbmp>\n\t                                       - Add "
    "port(s) to a VLAN\n\t  vlan remove <id> [PortBitMap=<pbmp>] - Remove ports from a "
    "VLAN\n\t  vlan show                            - Display all VLANs\n\t  vlan default "
    "[<id>]                  - Show or set the default VLAN\n\t  vlan control <name> <value>\n";
inline constexpr const char *PVLAN_USAGE =
    "Usages:\n\t  pvlan show <pbmp>\n\t        - Show PVLAN info for these ports.\n\t  pvlan "
    "disable <pbmp>\n\t        - Disable default VLAN tagging for a port\n\n\t  pvlan set "
    "<pbmp> <vid>\n\t        - Set default VLAN tag for port(s)\n\t          Port bitmaps are "
    "read from the VTABLE entry for the VID.\n\t          <vid> must have been created and all "
    "ports in <pbmp> must\n\t          belong to that VLAN.\n";

// stg_trunk_cmds.cpp
int cmd_stg(int unit, args_t *a);
int cmd_trunk(int unit, args_t *a);
inline constexpr const char *STG_USAGE =
    "Usages:\n\t  stg create [<id>]            - Create a STG; optionally specify ID\n\t  stg "
    "destroy <id>             - Destroy a STG\n\t  stg show [<id>]              - List "
    "STG(s)\n\t  stg add <id> <vlan_id> [...]     - Add VLAN(s) to a STG\n\t  stg remove <id> "
    "<vlan_id> [...]  - Remove VLAN(s) from a STG\n\t  stg clear <id>          - Remove ALL "
    "VLAN(s) from a STG\n\t  stg stp                      - Get span tree state, all "
    "ports/STGs\n\t  stg stp <id>                 - Get span tree state of ports in STG\n\t  "
    "stg stp <id> <pbmp> <state>  - Set span tree state of ports in STG\n\t                    "
    "             (disable/block/listen/learn/forward)\n\t  stg default [<id>]           - "
    "Show or set the default STG\n";
inline constexpr const char *TRUNK_USAGE =
    "Usages:\n\t  trunk add <Id=val> <Rtag=val> <Pbmp=val> - Add ports to a trunk\n\t  trunk "
    "remove <Id=val> <Pbmp=val>         - Remove ports from a trunk\n\t  trunk show "
    "[<Id=val>]                    - Display trunk information\n\t  trunk psc <Id=val> "
    "<Rtag=val>         - Change Rtag(for testing ONLY)\n";
// dump_cmd.cpp
int cmd_dump(int unit, args_t *a);
inline constexpr const char *DUMP_USAGE =
    "Usages:\n\tDUMP [File=<name>] [Append=true|false] [raw] [hex] [all] [chg]\n\t        "
    "<TABLE>[.<COPYNO>] [<INDEX>] [<COUNT>]\n\t        [-filter <FIELD>=<VALUE>[,...]]\n\t      "
    "If raw is specified, show raw memory words instead of fields.\n\t      If hex is specified, "
    "show hex data only (for Expect parsing).\n\t      If all is specified, show even empty or "
    "invalid entries\n\t      If chg is specified, show only fields changed from defaults\n\t    "
    "  (Use \"listmem\" command to show a list of valid tables)\n\tDUMP PCIC                     "
    "(PCI config space)\n\tDUMP PCIM [<START> [<COUNT>]] (CMIC PCI registers)\n\tDUMP SOC [ADDR "
    "| RVAL | DIFF] (All SOC registers)\n\t      ADDR shows only addresses, doesn't actually "
    "load.\n\t      RVAL shows reset defaults, doesn't actually load.\n\t      DIFF shows only "
    "regs not equal to their reset defaults.\n\tDUMP SOCMEM [DIFF] (All SOC memories)\n\t      "
    "DIFF shows only memories not equal to their reset defaults.\n\tDUMP MW [<START> "
    "[<COUNT>]]   (System memory, 32 bits)\n\tDUMP MH [<START> [<COUNT>]]   (System memory, 16 "
    "bits)\n\tDUMP MB [<START> [<COUNT>]]   (System memory, 8 bits)\n\tDUMP SA                 "
    "      (ARL shadow table)\n\tDUMP DV ADDR                  (DMA vector)\n\tDUMP PHY "
    "[<PHYID>]            See also, the 'PHY' command.\n";
// feature_cmds.cpp
int cmd_mirror(int unit, args_t *a);
int cmd_dtag(int unit, args_t *a);
int cmd_ipg(int unit, args_t *a);
int cmd_dscp(int unit, args_t *a);
int cmd_igmp(int unit, args_t *a);
int cmd_dos(int unit, args_t *a);
int cmd_rate(int unit, args_t *a);
inline constexpr const char *MIRROR_USAGE =
    "Usages:\n  mirror Mode=<L2|Off>        -Mirror L2 or none\n  mirror Port=<port>          "
    "-Set the mirror destination port\n  mirror IngressBitMap=<pbmp> -PortBitMap with ingress "
    "mirroring enabled\n  mirror EgressBitMap=<pbmp>  -PortBitMap with egress mirroring "
    "enabled\n";
inline constexpr const char *DTAG_USAGE =
    "Usage:\n\tdtag show <pbmp>\n\tdtag mode <pbmp> none|internal|external\n\tdtag tpid <pbmp> "
    "hex-value\n";
inline constexpr const char *IPG_USAGE =
    "Parameters: [PortBitMap=<pbmp>] [SPeed=10|100|1000]\n\t[FullDuplex=true|false]\n\tGet the "
    "IPG register values.\n\tIf no args are given, displays all.\n";
inline constexpr const char *DSCP_USAGE =
    "Usages:\n  dscp pbmp [source [mapped]]\n        - map source dscp to mapped\n";
inline constexpr const char *IGMP_USAGE =
    "IGMP snooping enable/disable\nWith no arguments, displays the IGMP snooping "
    "status.\n\tUsage :\n\t   igmp  init\n\t   igmp  on|enable|yes\n\t   igmp  "
    "off|disable|no\n";
inline constexpr const char *DOS_USAGE =
    "DoS Attack enable/disable\nUsage :\n\t   dos [pbm] enable [0|1|2|...|6]\n\t   dos [pbm] "
    "disable [0|1|2|...|6]\n\t   dos [pbm] show\n\t0: Source IP equal Destination IP\n\t1: TCP "
    "flags\n\t2: Source Port equal Destination Port\n\t3: smaller than defined TCP Header "
    "Size\n\t4: Ping Flood\n\t5: SYN Flood\n\t6: TCP SMURF\n";
inline constexpr const char *RATE_USAGE =
    "Parameters:[Limit=<limit>] [Bcast=<1|0>] [Mcast=<1|0>] [Dlf=<1|0>]\n\tEnables the "
    "specified packet rate controls.\n\t  Limit     kilo bits per second\n\t  Bcast     Enable "
    "broadcast rate control\n\t  Mcast     Enable multicast rate control\n\t  Dlf       Enable "
    "DLF flooding rate control\n\t<limit> = 0, Bcast/Mcast/Dlf = 1: Disable Bcast/Mcast/Dlf "
    "suppression\n\t<limit> > 0, Bcast/Mcast/Dlf = 1: Enable Bcast/Mcast/Dlf suppression\n";
// phy_cmds.cpp
int cmd_phy(int unit, args_t *a);
int cmd_cable_diag(int unit, args_t *a);
int cmd_linkscan(int unit, args_t *a);
int cmd_combo(int unit, args_t *a);
inline constexpr const char *PHY_USAGE =
    "Parameters: [int] <ports> <regnum> [<value>]\n\t                 raw <mii-addr> <regnum> "
    "[<value>]\n\tSet or display PHY registers.  If only <ports> is specified,\n\tthen "
    "registers for those ports' PHYs are displayed. <ports> is a\n\tstandard port bitmap, e.g. "
    "fe for all 10/100 ports, fe5-fe7 for\n\tthree FE's, etc. (see \"help pbmp\").  If the int "
    "option is given,\n\tthe intermediate PHY for the port is used instead of the outer "
    "PHY.\n\tIn 'raw' mode, the direct mii-address can be specified, only\n\t'writing' is "
    "supported.\n";
inline constexpr const char *CABLE_DIAG_USAGE =
    "Run Cable Diagnostics on a set of ports.\nParameter: <portbitmap>\n";
inline constexpr const char *LINKSCAN_USAGE =
    "Parameters: [SwPortBitMap=<pbmp>] [HwPortBitMap=<pbmp>]\n\t[Interval=<usec>] "
    "[FORCE=<pbmp>]\n\tWith no arguments, displays the linkscan status for all "
    "ports.\n\tEnables software linkscan on ports specified by SwPortBitMap.\n\tEnables "
    "hardware linkscan on ports specified by HwPortBitMap.\n\tDisables linkscan on all other "
    "ports.\n\tInterval specifies non-default linkscan interval for software.\n\tNote: With "
    "linkscan disabled, autonegotiated ports will NOT have\n\tthe MACs updated with "
    "speed/duplex..\n\tFORCE=<pbmp> requests linkscan to update ports once even if link\n\tstatus "
    "did not change.\n";
inline constexpr const char *COMBO_USAGE =
    "Parameters: <ports> [copper|fiber [<option>=<value>]]\n            <ports> watch "
    "[on|off]\n\tDisplay or update operating parameters of copper/fiber combo PHY.\n\tNote: the "
    "'port' command operates on the currently active medium.\n\tExample: combo ge1 fiber "
    "autoneg_enable=1 autoneg_advert=1000,pause\n\tWatch subcommand enables/disables media "
    "change notifications\n";

// auth_cos_cmds.cpp
int cmd_auth(int unit, args_t *a);
int cmd_cos(int unit, args_t *a);
inline constexpr const char *AUTH_USAGE =
    "Usages:\n\tauth init\n\t       - Init auth function\n\tauth detach\n\t       - Detach auth "
    "function\n\tauth mac init\n\t       - Add switch mac address from config to all "
    "ports\n\tauth mac add  [PortBitMap = <pbmp>] [MACaddress=<address>]\n\t       - Add "
    "switch mac address\n\tauth mac del  [PortBitMap = <pbmp>] [MACaddress=<address>]\n\t     "
    "  - Delete switch mac address\n\tauth mac clear  [PortBitMap = <pbmp>]\n\t       - Clear "
    "all switch mac addresses\n\tauth block [PortBitMap = <pbmp>] "
    "[IngressOnly=true|false]\n\t       - Block traffic for all directions or ingress "
    "direction only\n\tauth unblock [PortBitMap = <pbmp>]\n\t       - All traffic allowed, "
    "ports in uncontrolled state\n\tauth enable [PortBitMap = <pbmp>] "
    "[LearnEnable=true|false] [AuthNum=#] \n\t                  [SaNum=<value>]\n\t            "
    "# = 0: None\n\t              = 1: Static accept\n\t              = 2: Static reject\n\t    "
    "          = 3: SA num (SaNum should be set)\n\t              = 4: SA match\n\t       - "
    "Authorized ports to allow traffic\n\tauth disable [PortBitMap = <pbmp>]\n\t       - Put "
    "ports back in block state\n\tauth show\n\t       - Show ports access state\n";
inline constexpr const char *COS_USAGE =
    "Usages:\n\tcos clear                  - Reset COS configuration to default\n\tcos config "
    "[Numcos=#]      - Set number of active COS queues\n\tcos map [Pri=#] [Queue=#]  - Map a "
    "priority 0-7 to a COS queue\n\tcos show                   - Show current COS "
    "config\n\tcos strict                 - Set strict queue scheduling mode\n\tcos weight "
    "[W0=#] [W1=#] ... - Set weighted round-robin queue\n\t                               "
    "scheduling mode with the specified\n\t                               weights per queue\n";

// fp_cmd.cpp, fp_qual.cpp, fp_action.cpp
int cmd_fp(int unit, args_t *a);
inline constexpr const char *FP_USAGE =
    " Where <cmd> is:\n\taction <add|get|remove> <eid> [act] [p0] [p1]\n\tcontrol <ctrl_num> "
    "[<status>]\n\tcounter create|get|set <eid> [<0|1>] [<val>]\n\tcounter share <src_eid> "
    "<dst_eid>\n\tcounter destroy <eid>\n\tdetach\n\tentry create <gid> [<eid>]\n\tentry copy "
    "<src_eid> [<dst_eid>]\n\tentry install|reinstall|remove|destroy <eid>\n\tentry prio <eid> "
    "[highest|lowest|dontcare|default|<priority>]\n\tgroup create <pri> [<gid>] [mode]\n\tgroup "
    "destroy|get|set <gid>\n\tinit\n\trange create [<rid>] [<flags>] [<min>] [<max>]\n\trange "
    "group create [<rid>] [<flags>] [<min>] [<max>] [<group>]\n\trange get|destroy <rid>\n\tmeter "
    "create|destroy <eid>\n\tmeter share <src_eid> <dst_eid>\n\tmeter getc|getp|setc|getp <eid> "
    "[<rate>] [<burst>]\n\tqual <eid> <QUAL> [<udf_id*>] data mask (*required for "
    "QUAL=UserDefined)\n\tqset add|clear|show [qualifier]\n\tshow [group|entry] [id]\n\tuser "
    "get|set|init|create [udf_id] [flags] [offset]\n\tstatus\n";

// eav_cmd.cpp
int cmd_eav(int unit, args_t *a);
inline constexpr const char *EAV_USAGE =
    " Where <cmd> is:\n\tcontrol set|get <ctrl_type> <parameter>\n\tmac get|set <mac value> "
    "<ethertype>\n\ttypes. (Describe the types of Ethernet AV CLI commands)\n\tinit\n\tport "
    "enable|disable <port number>\n\tqueue set|get <port number> <queue_control_type> "
    "<param>\n\twatch start|stop\n\tstatus\n\ttimestamp <port number>\n\ttimesync set|get <time "
    "sync type> <p0> [<p1>]\n\ttx <pbmp> <vlanid>\n";
