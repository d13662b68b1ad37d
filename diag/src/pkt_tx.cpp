// The monitor's transmit commands: TX, TXSTArt, TXSTOp and TXCount. Test
// frames are built from per-unit options that persist between commands and
// sent from the CPU with dxp_tx, in the foreground or on the "TX" thread.
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "diag_parse.h"
#include "diag_pattern.h"
#include "diag_shell.h"
#include "dxp.h"
#include "dxp_error.h"
#include "sal.h"
#include "sal_fs.h"
#include "shell_cmds.h"
#include "soc_control.h"

namespace {

constexpr int kMaxTxCount = 100000000;

constexpr int kIdle = 0;
constexpr int kRunning = 1;
constexpr int kStopRequested = 2;

constexpr int kCrcNone = 0;
constexpr int kCrcRecompute = 1;
constexpr int kCrcAppend = 2;
const char *const crc_names[] = {"None", "Recompute", "Append", nullptr};

constexpr int kPayloadStart = 26;
constexpr int kCrcBytes = 4;
constexpr int kFileMax = 4096;
// Shortest frame that holds the header; longest a transmit buffer takes.
constexpr int kLengthMin = 18;
constexpr int kLengthMax = 16383;

// The options, kept from one command to the next.
struct tx_opts_t {
    int per_port_src_mac;
    int length;
    char *file_name;
    dxp_mac_t dst_mac;
    dxp_mac_t src_mac;
    int dst_mac_inc;
    int src_mac_inc;
    uint32_t pattern;
    int pattern_inc;
    uint32_t vlantag;
    int vlan_prio;
    int crc;
    soc_pbmp_t pbmp;
    soc_pbmp_t upbmp;
};

struct tx_state_t {
    bool valid;
    // Written by TXSTOp and the sender; the only value both threads change.
    std::atomic<int> state;
    int unit;
    std::atomic<int> count_req;
    std::atomic<int> count_sent;
    tx_opts_t o;
    dxp_mac_t saved_src_mac;
    soc_pbmp_t saved_pbmp;
    bool from_file;
    dxp_pkt pkt;
    uint8_t *buf;
    int buf_len;
};

tx_state_t tx_states[DXP_UNITS_MAX];

tx_state_t *tx_state(int unit) {
    tx_state_t *s = &tx_states[unit];
    if (s->valid) return s;
    static const dxp_mac_t dst = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15};
    static const dxp_mac_t src = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05};
    s->unit = unit;
    s->o.per_port_src_mac = 0;
    s->o.length = 68;
    s->o.file_name = nullptr;
    std::memcpy(s->o.dst_mac, dst, 6);
    std::memcpy(s->o.src_mac, src, 6);
    s->o.dst_mac_inc = 0;
    s->o.src_mac_inc = 0;
    s->o.pattern = 0x12345678;
    s->o.pattern_inc = 1;
    s->o.vlantag = 1;
    s->o.vlan_prio = 0;
    s->o.crc = kCrcRecompute;
    const soc_control_t *soc = SOC_CONTROL(unit);
    s->o.pbmp = soc != nullptr ? soc->all.bitmap : soc_pbmp_t{};
    s->o.upbmp = soc_pbmp_t{};
    s->valid = true;
    return s;
}

void put16(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

// Parses the options into a copy that replaces the state's only when every
// word parsed and the length fits. CMD_OK or CMD_FAIL.
int tx_parse(int unit, tx_state_t *s, args_t *a) {
    tx_opts_t o = s->o;
    parse_table_t pt;
    parse_table_init(unit, &pt);
    parse_table_add(&pt, "PerPortSrcMac", PQ_DFL | PQ_INT, nullptr, &o.per_port_src_mac, nullptr);
    parse_table_add(&pt, "Length", PQ_DFL | PQ_INT, nullptr, &o.length, nullptr);
    // The table allocates a new name and, told not to, leaves it to us.
    parse_table_add(&pt, "Filename", PQ_DFL | PQ_STRING | PQ_NOFREE, nullptr, &o.file_name,
                    nullptr);
    parse_table_add(&pt, "DestMac", PQ_DFL | PQ_MAC, nullptr, o.dst_mac, nullptr);
    parse_table_add(&pt, "SourceMac", PQ_DFL | PQ_MAC, nullptr, o.src_mac, nullptr);
    parse_table_add(&pt, "DestMacInc", PQ_DFL | PQ_INT, nullptr, &o.dst_mac_inc, nullptr);
    parse_table_add(&pt, "SourceMacInc", PQ_DFL | PQ_INT, nullptr, &o.src_mac_inc, nullptr);
    parse_table_add(&pt, "Pattern", PQ_DFL | PQ_HEX, nullptr, &o.pattern, nullptr);
    parse_table_add(&pt, "PatternInc", PQ_DFL | PQ_INT, nullptr, &o.pattern_inc, nullptr);
    parse_table_add(&pt, "VLantag", PQ_DFL | PQ_HEX, nullptr, &o.vlantag, nullptr);
    parse_table_add(&pt, "VlanPrio", PQ_DFL | PQ_INT, nullptr, &o.vlan_prio, nullptr);
    parse_table_add(&pt, "CRC", PQ_DFL | PQ_MULTI, nullptr, &o.crc, crc_names);
    parse_table_add(&pt, "PortBitMap", PQ_DFL | PQ_PBMP, nullptr, &o.pbmp, nullptr);
    parse_table_add(&pt, "UntagBitMap", PQ_DFL | PQ_PBMP, nullptr, &o.upbmp, nullptr);
    int n = parse_table_args(a, &pt);
    parse_table_done(&pt);
    int rv = CMD_OK;
    if (n < 0 || ARG_CNT(a) > 0) {
        if (n >= 0)
            sal_printf("%s: Error: Invalid option or malformed expression: %s\n", ARG_CMD(a),
                       ARG_CUR(a));
        rv = CMD_FAIL;
    } else if (o.length < kLengthMin || o.length > kLengthMax) {
        sal_printf("%s: Error: Length %d out of range (%d to %d)\n", ARG_CMD(a), o.length,
                   kLengthMin, kLengthMax);
        rv = CMD_FAIL;
    }
    if (rv != CMD_OK) {
        if (o.file_name != s->o.file_name) sal_free(o.file_name);
        return rv;
    }
    if (o.file_name != s->o.file_name) {
        sal_free(s->o.file_name);
        if (o.file_name[0] == '\0') {  // "Filename=" drops the file
            sal_free(o.file_name);
            o.file_name = nullptr;
        }
    }
    s->o = o;
    bool tagged = (o.vlantag & 0xfff) != 0;
    int min = tagged ? 68 : 64;
    if (o.length < min) {
        sal_printf("%s: Warning: Length %d too small for %s packet (min %d)\n", ARG_CMD(a),
                   o.length, tagged ? "tagged" : "untagged", min);
    }
    return CMD_OK;
}

// The frame's bytes from a text of hex digit pairs; -1 when unreadable.
int tx_load_file(const char *name, uint8_t *out, int max) {
    FILE *f = sal_fopen(name, "r");
    if (f == nullptr) return -1;
    int n = 0;
    int hi = -1;
    int c;
    while (n < max && (c = std::fgetc(f)) != EOF) {
        if (!std::isxdigit(c)) continue;
        int v = parse_xdigit(static_cast<char>(c));
        if (hi < 0) {
            hi = v;
        } else {
            out[n++] = static_cast<uint8_t>(hi << 4 | v);
            hi = -1;
        }
    }
    sal_fclose(f);
    return n;
}

// DMA memory lives as long as the board does, so each run takes its own.
bool tx_buffer(tx_state_t *s, int length) {
    s->buf = static_cast<uint8_t *>(sal_dma_alloc(static_cast<size_t>(length), "TX"));
    if (s->buf == nullptr) {
        sal_printf("WARNING:  Could not allocate tx buffer.  Memory error.\n");
        return false;
    }
    s->buf_len = length;
    std::memset(s->buf, 0, static_cast<size_t>(length));
    return true;
}

void tx_buffer_free(tx_state_t *s) {
    sal_dma_free(s->buf);
    s->buf = nullptr;
    s->buf_len = 0;
}

// Builds the frame and the packet record once per command. CMD_OK or CMD_FAIL.
int tx_build(tx_state_t *s) {
    int length = s->o.length;
    s->from_file = s->o.file_name != nullptr;
    if (s->from_file) {
        auto *data = static_cast<uint8_t *>(sal_alloc(kFileMax, "TX file"));
        int n = data != nullptr ? tx_load_file(s->o.file_name, data, kFileMax) : -1;
        if (n < kLengthMin) {
            sal_free(data);
            sal_printf("Unable to load packet from file %s\n", s->o.file_name);
            return CMD_FAIL;
        }
        // A file frame goes out at the size the file gives.
        length = n;
        if (!tx_buffer(s, length)) {
            sal_free(data);
            return CMD_FAIL;
        }
        std::memcpy(s->buf, data, static_cast<size_t>(n));
        sal_free(data);
        std::memcpy(s->buf, s->o.dst_mac, 6);
        std::memcpy(s->buf + 6, s->o.src_mac, 6);
        if (s->buf[12] == 0x81 && s->buf[13] == 0x00) {
            uint32_t tci = static_cast<uint32_t>(s->buf[14]) << 8 | s->buf[15];
            s->o.vlantag = tci & 0xfff;
            s->o.vlan_prio = static_cast<int>(tci >> 13);
        } else {
            sal_printf("Warning:  Untagged packet read from file for tx.\n");
        }
    } else {
        if (!tx_buffer(s, length)) return CMD_FAIL;
        std::memcpy(s->buf, s->o.dst_mac, 6);
        std::memcpy(s->buf + 6, s->o.src_mac, 6);
        if ((s->o.vlantag & 0xfff) != 0) {
            put16(s->buf + 12, 0x8100);
            put16(s->buf + 14,
                  static_cast<uint32_t>(s->o.vlan_prio & 7) << 13 | (s->o.vlantag & 0xfff));
            put16(s->buf + 16, static_cast<uint32_t>(length));
        } else {
            sal_printf("Warning:  Sending untagged packet.\n");
            put16(s->buf + 12, static_cast<uint32_t>(length));
        }
    }
    dxp_pkt *p = &s->pkt;
    std::memset(p, 0, sizeof *p);
    p->_pkt_data.data = s->buf;
    p->_pkt_data.len = static_cast<uint32_t>(length);
    p->pkt_data = &p->_pkt_data;
    p->blk_count = 1;
    p->unit = static_cast<uint8_t>(s->unit);
    if (s->o.crc == kCrcRecompute) p->flags |= DXP_PKT_F_CRC_REGEN;
    if (s->o.crc == kCrcAppend) p->flags |= DXP_PKT_F_CRC_APPEND;
    // Short frames are padded by the transmit path unless told otherwise.
    std::memcpy(p->tx_pbmp.w, s->o.pbmp.w, sizeof p->tx_pbmp.w);
    std::memcpy(p->tx_upbmp.w, s->o.upbmp.w, sizeof p->tx_upbmp.w);
    return CMD_OK;
}

int first_port(const soc_pbmp_t &b, int after) {
    for (int port = after + 1; port < 64; port++)
        if (soc_pbmp_member(b, port)) return port;
    return -1;
}

// Sends the requested frames while the state stays running. CMD_OK or CMD_FAIL.
int tx_send(tx_state_t *s) {
    dxp_pkt *p = &s->pkt;
    int length = static_cast<int>(p->_pkt_data.len);
    bool per_port = s->o.per_port_src_mac != 0;
    int port = -1;
    if (per_port) {
        std::memcpy(s->saved_src_mac, s->o.src_mac, 6);
        s->saved_pbmp = s->o.pbmp;
        port = first_port(s->saved_pbmp, -1);
    }
    bool write_macs = per_port || s->o.dst_mac_inc != 0 || s->o.src_mac_inc != 0;
    int payload = length - kPayloadStart - kCrcBytes;
    int rv = CMD_OK;
    s->count_sent = 0;
    // A background job running TX ends when it is killed.
    for (int i = 0; i < s->count_req && s->state.load() == kRunning && !sh_stop_requested(); i++) {
        if (write_macs) {
            std::memcpy(s->buf, s->o.dst_mac, 6);
            std::memcpy(s->buf + 6, s->o.src_mac, 6);
        }
        if (!s->from_file && payload > 0 && (i == 0 || s->o.pattern_inc != 0)) {
            s->o.pattern = packet_pattern_fill(s->buf + kPayloadStart, payload, s->o.pattern,
                                               static_cast<uint32_t>(s->o.pattern_inc));
        }
        if (per_port && port >= 0) {
            p->tx_pbmp = dxp_pbmp_t{};
            p->tx_upbmp = dxp_pbmp_t{};
            dxp_pbmp_port_add(&p->tx_pbmp, port);
            if (soc_pbmp_member(s->o.upbmp, port)) dxp_pbmp_port_add(&p->tx_upbmp, port);
        }
        int r = dxp_tx(s->unit, p, nullptr);
        if (r < 0) {
            sal_printf("dxp_tx failed: Unit %d: %s\n", s->unit, dxp_errmsg(r));
            rv = CMD_FAIL;
            break;
        }
        macaddr_increment(s->o.dst_mac, s->o.dst_mac_inc);
        macaddr_increment(s->o.src_mac, s->o.src_mac_inc);
        if (per_port && port >= 0) {
            port = first_port(s->saved_pbmp, port);
            if (port < 0) {
                port = first_port(s->saved_pbmp, -1);
                std::memcpy(s->o.src_mac, s->saved_src_mac, 6);
            }
        }
        s->count_sent.fetch_add(1);
    }
    return rv;
}

// Count and options of TX and TXSTArt; CMD_OK when the frame is ready.
int tx_prepare(int unit, tx_state_t *s, args_t *a) {
    const char *c = ARG_GET(a);
    if (c == nullptr || !parse_is_integer(c)) return CMD_USAGE;
    int count = parse_integer(c);
    // A run nothing would end (in the foreground) or that sends nothing is
    // refused before anything is parsed or built.
    if (count < 1 || count > kMaxTxCount) {
        sal_printf("%s: Error: Count %s out of range (1-%d)\n", ARG_CMD(a), c, kMaxTxCount);
        return CMD_FAIL;
    }
    int rv = tx_parse(unit, s, a);
    if (rv != CMD_OK) return rv;
    rv = tx_build(s);
    if (rv != CMD_OK) return rv;
    s->count_req = count;
    s->count_sent = 0;
    return CMD_OK;
}

void tx_thread(void *arg) {
    auto *s = static_cast<tx_state_t *>(arg);
    int rv = tx_send(s);
    tx_buffer_free(s);
    sal_printf("TX Completed %s: TX Requested(%d) Tx Sent(%d)\n",
               rv == CMD_OK ? "successfully" : "with error", s->count_req.load(),
               s->count_sent.load());
    s->state.store(kIdle);
    sal_thread_exit(0);
}

}  // namespace

int cmd_tx(int unit, args_t *a) {
    if (!sh_check_attached(ARG_CMD(a), unit)) return CMD_FAIL;
    tx_state_t *s = tx_state(unit);
    if (s->state.load() != kIdle) {
        sal_printf("%s: Error: already active\n", ARG_CMD(a));
        return CMD_FAIL;
    }
    int rv = tx_prepare(unit, s, a);
    if (rv != CMD_OK) return rv;
    int ctx = 0;
    sh_break_push(&ctx);
    s->state.store(kRunning);
    rv = tx_send(s);
    tx_buffer_free(s);
    s->state.store(kIdle);
    sh_break_pop(&ctx);
    if (rv == CMD_OK && sh_stop_requested()) {
        sal_printf("%s: stopped after %d of %d frames\n", ARG_CMD(a), s->count_sent.load(),
                   s->count_req.load());
        return CMD_INTR;
    }
    return rv;
}

int cmd_tx_start(int unit, args_t *a) {
    if (!sh_check_attached(ARG_CMD(a), unit)) return CMD_FAIL;
    tx_state_t *s = tx_state(unit);
    if (s->state.load() != kIdle) {
        sal_printf("%s: Error: tx command running\n", ARG_CMD(a));
        return CMD_FAIL;
    }
    int rv = tx_prepare(unit, s, a);
    if (rv != CMD_OK) return rv;
    s->state.store(kRunning);
    sal_thread_t t = sal_thread_create("TX", 16384, 100, tx_thread, s);
    if (t == nullptr || t == SAL_THREAD_ERROR) {
        tx_buffer_free(s);
        s->state.store(kIdle);
        sal_printf("%s: Error: Failed to create background thread\n", ARG_CMD(a));
        return CMD_FAIL;
    }
    return CMD_OK;
}

int cmd_tx_stop(int unit, args_t *a) {
    if (!sh_check_attached(ARG_CMD(a), unit)) return CMD_FAIL;
    tx_state_t *s = tx_state(unit);
    int running = kRunning;
    if (s->state.compare_exchange_strong(running, kStopRequested)) {
        sal_printf("%s: TX termination requested\n", ARG_CMD(a));
    } else {
        sal_printf("%s: TX not currently running\n", ARG_CMD(a));
    }
    return CMD_OK;
}

int cmd_tx_count(int unit, args_t *a) {
    if (!sh_check_attached(ARG_CMD(a), unit)) return CMD_FAIL;
    tx_state_t *s = tx_state(unit);
    sal_printf("TX (%sRunning) Transmit Req(%d) Sent(%d)\n", s->state.load() == kIdle ? "Not-" : "",
               s->count_req.load(), s->count_sent.load());
    return CMD_OK;
}
