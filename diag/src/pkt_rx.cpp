// The monitor's receive commands: RXCfg edits the receive configuration a
// later start uses, RXMon starts and stops the receive service with a
// handler that prints every frame, RXInit initialises a unit's service.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "diag_parse.h"
#include "diag_pkt.h"
#include "diag_shell.h"
#include "dxp.h"
#include "dxp_error.h"
#include "sal.h"
#include "shell_cmds.h"
#include "soc_dma.h"

namespace {

constexpr int kPrio = 100;
constexpr uint32_t kRxFlags = 0xC0FF;  // every class of service

dxp_rx_cfg_t make_default_cfg() {
    dxp_rx_cfg_t c{};
    c.pkt_size = 2048;
    c.pkts_per_chain = 1;
    c.global_pps = 0;
    c.max_burst = 1;
    c.chan_cfg[0] = {63, 0, 0, 0xFF};
    return c;
}

dxp_rx_cfg_t rx_cfg = make_default_cfg();
dxp_rx_chan_cfg_t chan_template = {31, 0, 0, 0xFF};
int rx_free_flag = 0;
std::atomic<int> rx_dumped{0};
// Whether RXMon started the unit's receive service: only then does its stop
// stop it (the management interface runs on the same service).
bool rx_started_here[DXP_UNITS_MAX];

// Prints the frame and leaves it to the handlers after it: RXMon watches the
// frames the switch sends to the CPU, it does not take them.
int rx_dump_callout(int unit, dxp_pkt *pkt, void *) {
    int n = ++rx_dumped;
    sal_printf("RX packet %d: unit=%d len=%d rx_port=%d reason=%d cos=%d\n", n, unit, pkt->pkt_len,
               pkt->rx_port, pkt->rx_reason, pkt->cos);
    sal_printf("Parsed packet info:\n");
    sal_printf("    src mod=%d. src port=%d. op=%d.\n", pkt->src_mod, pkt->src_port, pkt->opcode);
    sal_printf("    dest mod=%d. dest port=%d. chan=%d.\n", pkt->dest_mod, pkt->dest_port,
               pkt->dma_chan);
    const dxp_pkt_blk_t *b = pkt->pkt_data != nullptr ? &pkt->pkt_data[0] : &pkt->_pkt_data;
    int len = pkt->pkt_len < b->len ? pkt->pkt_len : static_cast<int>(b->len);
    sal_printf("Data: ");
    soc_dma_data_dump("", b->data, len);
    return DXP_RX_NOT_HANDLED;
}

int rx_init(const char *cmd, int unit) {
    if (dxp_rx_active(unit)) {
        sal_printf("RX is already running\n");
        return CMD_FAIL;
    }
    int rv = dxp_rx_start(unit, &rx_cfg);
    if (rv < 0) {
        sal_printf("%s: Error: Cannot start RX: %s.\n", cmd, dxp_errmsg(rv));
        return CMD_FAIL;
    }
    rx_started_here[unit] = true;
    return CMD_OK;
}

}  // namespace

int cmd_rx_cfg(int unit, args_t *a) {
    if (ARG_CNT(a) == 0) {
        sal_printf("Current RX configuration:\n");
        sal_printf("    Pkt Size %d. Pkts/chain %d. Global PPS %d. Burst %d\n", rx_cfg.pkt_size,
                   rx_cfg.pkts_per_chain, rx_cfg.global_pps, rx_cfg.max_burst);
        for (int c = 0; c < DXP_RX_CHANNELS; c++)
            sal_printf("    Channel %d:  Chains %d. PPS %d.\n", c, rx_cfg.chan_cfg[c].chains,
                       rx_cfg.chan_cfg[c].reserved);
        return CMD_OK;
    }
    int chan = -1;
    if (parse_is_integer(ARG_CUR(a))) {
        chan = parse_integer(ARG_GET(a));
        if (chan < 0 || chan >= DXP_RX_CHANNELS) {
            sal_printf("Error: Bad channel %d\n", chan);
            return CMD_FAIL;
        }
    }
    dxp_rx_cfg_t cfg = rx_cfg;
    dxp_rx_chan_cfg_t tmpl = chan_template;
    int free_flag = rx_free_flag;
    parse_table_t pt;
    parse_table_init(unit, &pt);
    parse_table_add(&pt, "GPPS", PQ_DFL | PQ_INT, nullptr, &cfg.global_pps, nullptr);
    parse_table_add(&pt, "PKTSIZE", PQ_DFL | PQ_INT, nullptr, &cfg.pkt_size, nullptr);
    parse_table_add(&pt, "PPC", PQ_DFL | PQ_INT, nullptr, &cfg.pkts_per_chain, nullptr);
    parse_table_add(&pt, "BURST", PQ_DFL | PQ_INT, nullptr, &cfg.max_burst, nullptr);
    parse_table_add(&pt, "FREE", PQ_DFL | PQ_BOOL, nullptr, &free_flag, nullptr);
    if (chan >= 0) {
        parse_table_add(&pt, "CHAINS", PQ_DFL | PQ_INT, nullptr, &tmpl.chains, nullptr);
        // The channel's rate sits in the record's second word.
        parse_table_add(&pt, "PPS", PQ_DFL | PQ_INT, nullptr, &tmpl.reserved, nullptr);
    }
    int n = parse_table_args(a, &pt);
    parse_table_done(&pt);
    if (n < 0 || ARG_CNT(a) > 0) {
        if (n >= 0)
            sal_printf("%s: Error: Invalid option or malformed expression: %s\n", ARG_CMD(a),
                       ARG_CUR(a));
        return CMD_FAIL;
    }
    if (cfg.pkt_size <= 0 || cfg.pkts_per_chain <= 0 || cfg.global_pps < 0 || cfg.max_burst < 0 ||
        tmpl.chains < 0 || tmpl.reserved < 0) {
        sal_printf("%s: Error: Values must be positive\n", ARG_CMD(a));
        return CMD_FAIL;
    }
    if (chan >= 0) {
        chan_template = tmpl;
        cfg.chan_cfg[chan] = tmpl;
    }
    rx_cfg = cfg;
    rx_free_flag = free_flag;
    return CMD_OK;
}

int cmd_rx_mon(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit)) return CMD_FAIL;
    const char *w = ARG_GET(a);
    if (w == nullptr) {
        uint32_t chans = 0;
        dxp_rx_channels_running(unit, &chans);
        sal_printf("Active bitmap for RX is %x.\n", chans);
        return CMD_OK;
    }
    if (ARG_CNT(a) != 0) return CMD_USAGE;
    bool init = strcasecmp(w, "init") == 0, start = strcasecmp(w, "start") == 0;
    if (init || start) {
        if (pw_running(unit)) {
            sal_printf("rxmon: Error: Cannot start RX with packetwatcher running\n");
            return CMD_FAIL;
        }
        int rv = rx_init("rxmon", unit);
        if (init) return rv;
        if (rv != CMD_OK) sal_printf("Warning:  init failed.  Will attempt register\n");
        rx_dumped = 0;
        rv = dxp_rx_register(unit, "RX CMD", rx_dump_callout, kPrio, nullptr,
                             kRxFlags | DXP_RCO_F_OBSERVER);
        if (rv < 0) {
            sal_printf("%s: dxp_rx_register failed: %s\n", cmd, dxp_errmsg(rv));
            return CMD_FAIL;
        }
        return CMD_OK;
    }
    if (strcasecmp(w, "stop") == 0) {
        int rv = 0;
        if (rx_started_here[unit]) {
            rv = dxp_rx_stop(unit, &rx_cfg);
            if (rv < 0) {
                sal_printf("%s: Error: Cannot stop RX: %s.  Is it running?\n", cmd, dxp_errmsg(rv));
                return CMD_FAIL;
            }
            rx_started_here[unit] = false;
        }
        rv = dxp_rx_unregister(unit, rx_dump_callout, kPrio);
        if (rv < 0) {
            sal_printf("%s: dxp_rx_unregister failed: %s\n", cmd, dxp_errmsg(rv));
            return CMD_FAIL;
        }
        return CMD_OK;
    }
    if (strcasecmp(w, "show") == 0) {
        sal_printf("%s: ERROR: cannot show in non-CARVOLIX_DEBUG compilation\n", cmd);
        return CMD_FAIL;
    }
    return CMD_USAGE;
}

int cmd_rx_init(int, args_t *a) {
    const char *w = ARG_GET(a);
    if (w == nullptr) {
        sal_printf("RXINIT requires a unit number\n");
        return CMD_USAGE;
    }
    int unit = static_cast<int>(std::strtoul(w, nullptr, 0));
    int rv = dxp_rx_init(unit);
    if (rv < 0) {
        sal_printf("ERROR:  dxp_rx_init(%d) returns %d: %s\n", unit, rv, dxp_errmsg(rv));
        return CMD_FAIL;
    }
    return CMD_OK;
}
