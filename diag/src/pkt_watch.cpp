// The packet watcher (PacketWatcher): a per-unit daemon "dxpPW.<unit>" that
// takes every frame the switch hands to the CPU, numbers and counts it,
// keeps the last ones in a log and reports each on the console. It receives
// through the receive service (RX mode) or straight from the CPU port's
// receive DMA (SOC mode).
#include <atomic>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "diag_parse.h"
#include "diag_pkt.h"
#include "diag_shell.h"
#include "dxp.h"
#include "dxp_error.h"
#include "et_soc.h"
#include "sal.h"
#include "shell_cmds.h"
#include "soc_dma.h"
#include "soc_error.h"
#include "soc_property.h"

namespace {

constexpr int kModeRx = 0;
constexpr int kModeSoc = 1;
constexpr int kModePmux = 2;
const char *const mode_names[] = {"RX", "SOC", "PMUX"};

constexpr uint32_t kOptCount = 0x1;
constexpr uint32_t kOptRaw = 0x2;
constexpr uint32_t kOptDecode = 0x4;
constexpr uint32_t kOptDma = 0x8;
constexpr uint32_t kOptChannel = 0x10;
const parse_mask_t opt_masks[] = {
    {"Count", kOptCount},     {"Raw", kOptRaw}, {"DECode", kOptDecode}, {"DMA", kOptDma},
    {"CHannel", kOptChannel}, {"@ALL", 0x1f},   {"@*", 0x1f},           {nullptr, 0},
};
const parse_mask_t chan_masks[] = {
    {"0", 0x1}, {"1", 0x2}, {"2", 0x4}, {"3", 0x8}, {"@ALL", 0xf}, {"@*", 0xf}, {nullptr, 0},
};

constexpr int kChannels = 4;
constexpr int kSocVectors = 8;  // per channel, so that bursts find a buffer
constexpr int kDefaultBufferSize = 10240;
constexpr int kPrio = 100;
constexpr uint32_t kRxFlags = 0xC0FF;

// One frame taken by the watcher.
struct pw_pup_t {
    pw_pup_t *next;
    dxp_pkt pkt;    // the receive record; pkt_data points at pkt._pkt_data
    void *owned;    // receive buffer to return, RX mode
    uint8_t *copy;  // frame copy, SOC mode
    int number;
    int channel;  // -1: not known
    dv_t *dv;     // SOC mode: the vector it came in
};

struct pw_list_t {
    pw_pup_t *head;
    pw_pup_t *tail;
    int count;
    void push(pw_pup_t *p) {
        p->next = nullptr;
        if (tail)
            tail->next = p;
        else
            head = p;
        tail = p;
        count++;
    }
    pw_pup_t *pop() {
        pw_pup_t *p = head;
        if (p == nullptr) return nullptr;
        head = p->next;
        if (head == nullptr) tail = nullptr;
        count--;
        return p;
    }
};

struct pw_state_t {
    bool init;
    int unit;
    std::atomic<bool> running;
    std::atomic<bool> stop;
    char name[16];
    sal_thread_t thread;
    sal_mutex_t lock;  // "pw_lock": log, pending list and counters
    sal_sem_t sync;    // "pw_sync": start-up and stop hand-shake
    sal_sem_t wake;    // "pw_thread": frames are pending or stop
    int mode;
    std::atomic<uint32_t> channels;
    std::atomic<uint32_t> report;
    std::atomic<uint32_t> dump;
    int log_size;
    pw_list_t log;
    pw_list_t pending;
    int total;
    int per_chan[kChannels + 1];
    int logged;
    uint32_t start_time;
    int rate;
    std::atomic<int> interval;
    int buffer_size;
    dxp_rx_cfg_t rx_cfg;
    dv_t *dv[kChannels][kSocVectors];
    bool start_failed;
    bool started_rx;
};

pw_state_t pw_states[DXP_UNITS_MAX];

pw_state_t *pw_state(int unit) {
    pw_state_t *pw = &pw_states[unit];
    if (pw->init) return pw;
    pw->unit = unit;
    std::snprintf(pw->name, sizeof pw->name, "dxpPW.%d", unit);
    pw->lock = sal_mutex_create("pw_lock");
    pw->sync = sal_sem_create("pw_sync", sal_sem_BINARY, 0);
    pw->wake = sal_sem_create("pw_thread", sal_sem_BINARY, 0);
    pw->mode = kModeRx;
    pw->report = kOptCount;
    pw->dump = kOptCount | kOptRaw | kOptDecode;
    pw->buffer_size = soc_property_get(unit, "diag_pw_buffer_size", kDefaultBufferSize);
    if (dxp_rx_cfg_get(unit, &pw->rx_cfg) < 0) {
        // The service's own defaults, as a start without configuration uses.
        pw->rx_cfg = dxp_rx_cfg_t{};
        pw->rx_cfg.pkt_size = 2048;
        pw->rx_cfg.pkts_per_chain = 1;
        pw->rx_cfg.max_burst = 1;
        pw->rx_cfg.chan_cfg[0] = {63, 0, 0, 0xff};
    }
    pw->rate = pw->rx_cfg.global_pps;
    pw->init = true;
    return pw;
}

void pup_free(pw_state_t *pw, pw_pup_t *p) {
    if (p->owned != nullptr) dxp_rx_free(pw->unit, p->owned);
    sal_free(p->copy);
    sal_free(p);
}

void list_free(pw_state_t *pw, pw_list_t *l) {
    while (pw_pup_t *p = l->pop())
        pup_free(pw, p);
}

const uint8_t *pup_data(const pw_pup_t *p) {
    return p->copy != nullptr ? p->copy : p->pkt._pkt_data.data;
}

void pup_print(pw_state_t *pw, const pw_pup_t *p, uint32_t mask) {
    if (mask == 0) return;
    char chan[8] = "";
    if (mask & kOptChannel) {
        if (p->channel >= 0 && p->channel < kChannels)
            std::snprintf(chan, sizeof chan, "-chn%d", p->channel);
        else
            std::snprintf(chan, sizeof chan, "-----");
    }
    const dxp_pkt &k = p->pkt;
    const uint8_t *data = pup_data(p);
    int len = k.pkt_len;
    sal_printf("Packet[%d]%s: ", p->number, chan);
    if (pw->mode == kModeRx) {
        bool cut = k._pkt_data.len < k.pkt_len;
        if (cut) len = static_cast<int>(k._pkt_data.len);
        bool tagged = data != nullptr && len >= 14 && data[12] == 0x81 && data[13] == 0x00;
        sal_printf("%slength %d (%d). rx-port %d. cos %d. prio_int %d. reason 0x%x. %s.\n", "",
                   k.pkt_len, k.tot_len, k.rx_port, k.cos, k.prio_int, k.rx_reason,
                   tagged ? "Tagged" : "Untagged");
        sal_printf("%sdest-port %d. dest-mod %d. %s %d. src-mod %d. opcode %d. %s\n", "    ",
                   k.dest_port, k.dest_mod, "src-port", k.src_port, k.src_mod, k.opcode,
                   cut ? "Truncated." : "");
    } else {
        sal_printf("length %d.\n", len);
    }
    if (mask & kOptDecode) pkt_decode_print("  ", PKT_DECODE_ETHER, data, len);
    if (mask & kOptRaw) soc_dma_data_dump("  ", data, len);
    if ((mask & kOptDma) && p->dv != nullptr) soc_dv_dump(pw->unit, "  ", p->dv);
}

// ---------------------------------------------------------------- receive paths
// The watcher copies each frame and leaves it to the handlers after it
// (the management interface among them): it only watches.
int pw_rx_callout(int unit, dxp_pkt *pkt, void *) {
    pw_state_t *pw = &pw_states[unit];
    auto *p = static_cast<pw_pup_t *>(sal_alloc(sizeof(pw_pup_t), "PW-pup"));
    if (p == nullptr) {
        sal_debug_printf(0x8000000, "PW: Failed to allocate pup struct.  Discarding\n");
        return DXP_RX_NOT_HANDLED;
    }
    *p = pw_pup_t{};
    p->pkt = *pkt;
    p->pkt._pkt_data = pkt->pkt_data != nullptr ? pkt->pkt_data[0] : pkt->_pkt_data;
    p->pkt.pkt_data = &p->pkt._pkt_data;
    p->pkt.blk_count = 1;
    p->pkt.alloc_ptr = nullptr;
    const uint32_t len = p->pkt._pkt_data.len < pkt->pkt_len ? p->pkt._pkt_data.len : pkt->pkt_len;
    p->copy = static_cast<uint8_t *>(sal_alloc(len > 0 ? len : 1, "PW-pup"));
    if (p->copy == nullptr || p->pkt._pkt_data.data == nullptr) {
        sal_free(p->copy);
        sal_free(p);
        return DXP_RX_NOT_HANDLED;
    }
    std::memcpy(p->copy, p->pkt._pkt_data.data, len);
    p->pkt._pkt_data.data = p->copy;
    p->pkt._pkt_data.len = len;
    p->channel = pkt->dma_chan < kChannels ? pkt->dma_chan : -1;
    sal_mutex_take(pw->lock, sal_mutex_FOREVER);
    pw->pending.push(p);
    sal_mutex_give(pw->lock);
    sal_sem_give(pw->wake);
    return DXP_RX_NOT_HANDLED;
}

// SOC mode: a channel's vector completed. The frame is copied out and the
// daemon starts the vector again; a bad frame only restarts it.
void pw_dma_done(int unit, dv_t *dv) {
    auto *pw = static_cast<pw_state_t *>(dv->user1);
    // The receiver stopped, or handed back what it still had posted.
    if ((dv->dv_flags & DV_F_RX_DISABLED) || pw->stop.load()) return;
    auto *p = static_cast<pw_pup_t *>(sal_alloc(sizeof(pw_pup_t), "PW-pup"));
    if (p == nullptr) {
        sal_debug_printf(0x8000000, "PW: Failed to allocate pup struct.  Discarding\n");
        return;
    }
    p->dv = dv;
    p->channel = static_cast<int>(reinterpret_cast<intptr_t>(dv->user2));
    // The parse left the frame (with its FCS) after the receive header, the
    // management tag taken out.
    int len = dv->dv_dcb[0].len;
    if (!(dv->dv_flags & DV_F_BAD) && len > 0) {
        p->copy = static_cast<uint8_t *>(sal_alloc(static_cast<size_t>(len), "PW-pup"));
        if (p->copy != nullptr)
            std::memcpy(p->copy, dv->dv_dcb[0].addr + SOC_DMA_RX_HDR_BYTES + 6,
                        static_cast<size_t>(len));
        p->pkt.pkt_len = static_cast<uint16_t>(len);
        p->pkt.tot_len = static_cast<uint16_t>(len);
        p->pkt.rx_port = static_cast<uint8_t>(dv->dv_status & 0x3F);
        p->pkt.unit = static_cast<uint8_t>(unit);
    }
    sal_mutex_take(pw->lock, sal_mutex_FOREVER);
    pw->pending.push(p);
    sal_mutex_give(pw->lock);
    sal_sem_give(pw->wake);
}

int pw_soc_start(pw_state_t *pw) {
    uint32_t chans = pw->channels.load();
    if (chans == 0) chans = 0x1;
    // The ring is set up before the first vector is posted: a vector posted
    // to a ring that is set up afterwards stays in it unaccounted, and the
    // receive service's next start finds its slot taken.
    if (int rv = soc_dma_rx_enable(pw->unit); rv < 0) return rv;
    for (int k = 0; k < kChannels * kSocVectors; k++) {
        int c = k / kSocVectors;
        if (!(chans & (1u << c))) continue;
        dv_t *dv = soc_dv_alloc(pw->unit, DV_RX, 1);
        auto *buf =
            static_cast<uint8_t *>(sal_dma_alloc(static_cast<size_t>(pw->buffer_size), "PW-dma"));
        if (dv == nullptr || buf == nullptr) {
            if (dv != nullptr) soc_dv_free(pw->unit, dv);
            sal_dma_free(buf);
            return SOC_E_MEMORY;
        }
        soc_dv_desc_add(dv, buf, static_cast<uint16_t>(pw->buffer_size));
        dv->dv_done_chain = pw_dma_done;
        dv->user1 = pw;
        dv->user2 = reinterpret_cast<void *>(static_cast<intptr_t>(c));
        pw->dv[c][k % kSocVectors] = dv;
        soc_dma_start(pw->unit, dv);
    }
    return 0;
}

void pw_soc_restart(pw_state_t *pw, dv_t *dv) {
    uint8_t *buf = dv->dv_dcb[0].addr;
    void *chan = dv->user2;
    soc_dma_dv_reset(DV_RX, dv);
    soc_dv_desc_add(dv, buf, static_cast<uint16_t>(pw->buffer_size));
    dv->dv_done_chain = pw_dma_done;
    dv->user1 = pw;
    dv->user2 = chan;
    soc_dma_start(pw->unit, dv);
}

void pw_soc_stop(pw_state_t *pw) {
    soc_dma_rx_disable(pw->unit);
    for (auto &chan : pw->dv) {
        for (dv_t *&dv : chan) {
            if (dv == nullptr) continue;
            sal_dma_free(dv->dv_dcb[0].addr);
            soc_dv_free(pw->unit, dv);
            dv = nullptr;
        }
    }
}

// ---------------------------------------------------------------- daemon
void pw_take(pw_state_t *pw) {
    sal_mutex_take(pw->lock, sal_mutex_FOREVER);
    int level = sal_splhi();
    pw_list_t batch = pw->pending;
    pw->pending = pw_list_t{};
    sal_spl(level);
    for (pw_pup_t *p = batch.head; p != nullptr; p = p->next) {
        if (p->dv != nullptr && p->copy == nullptr) continue;  // bad frame
        p->number = ++pw->total;
        pw->per_chan[p->channel + 1]++;
    }
    sal_mutex_give(pw->lock);
    while (pw_pup_t *p = batch.pop()) {
        dv_t *dv = p->dv;
        bool bad = dv != nullptr && p->copy == nullptr;
        if (!bad) pup_print(pw, p, pw->report.load());
        sal_mutex_take(pw->lock, sal_mutex_FOREVER);
        if (pw->log_size > 0 && !bad) {
            pw->log.push(p);
            pw->logged++;
            p = pw->log.count > pw->log_size ? pw->log.pop() : nullptr;
        }
        sal_mutex_give(pw->lock);
        if (p != nullptr) pup_free(pw, p);
        if (dv != nullptr && !pw->stop.load()) {
            int wait = pw->interval.load();
            if (wait > 0) sal_usleep(static_cast<uint32_t>(wait));
            pw_soc_restart(pw, dv);
        }
    }
}

void pw_daemon(void *arg) {
    auto *pw = static_cast<pw_state_t *>(arg);
    int unit = pw->unit;
    int rv = 0;
    if (pw->mode == kModeRx) {
        // The management interface may have the service running already; it
        // keeps it then, and the watcher only adds its handler.
        pw->started_rx = !dxp_rx_active(unit);
        rv = pw->started_rx ? dxp_rx_start(unit, &pw->rx_cfg) : 0;
        if (rv < 0) {
            sal_printf("%s: Error: Cannot start RX: %s\n", pw->name, dxp_errmsg(rv));
        } else {
            rv = dxp_rx_register(unit, "RX CMD", pw_rx_callout, kPrio, nullptr,
                                 kRxFlags | DXP_RCO_F_OBSERVER);
            if (rv < 0) {
                sal_printf("%s: dxp_rx_register failed: %s\n", pw->name, dxp_errmsg(rv));
                if (pw->started_rx) dxp_rx_stop(unit, nullptr);
            }
        }
    } else if (dxp_rx_active(unit)) {
        sal_printf("%s: Error: RX is running; SOC mode needs the DMA to itself\n", pw->name);
        rv = SOC_E_BUSY;
    } else {
        rv = pw_soc_start(pw);
        if (rv < 0) {
            sal_printf("%s: Error: Cannot start DMA: %s\n", pw->name, dxp_errmsg(rv));
            pw_soc_stop(pw);
        }
    }
    if (rv < 0) {
        pw->start_failed = true;
        pw->running = false;
        sal_sem_give(pw->sync);
        sal_thread_exit(0);
    }
    sal_sem_give(pw->sync);
    while (!pw->stop.load()) {
        sal_sem_take(pw->wake, sal_sem_FOREVER);
        if (pw->stop.load()) break;
        pw_take(pw);
    }
    if (pw->mode == kModeRx) {
        if (pw->started_rx) dxp_rx_stop(unit, nullptr);
        dxp_rx_unregister(unit, pw_rx_callout, kPrio);
    } else {
        pw_soc_stop(pw);
    }
    sal_mutex_take(pw->lock, sal_mutex_FOREVER);
    list_free(pw, &pw->pending);
    list_free(pw, &pw->log);
    sal_mutex_give(pw->lock);
    pw->running = false;
    pw->stop = false;
    sal_sem_give(pw->sync);
    sal_thread_exit(0);
}

int pw_start(const char *cmd, pw_state_t *pw) {
    if (pw->running.load()) {
        sal_printf("%s: WARNING: Already running\n", cmd);
        return CMD_OK;
    }
    if (pw->mode == kModePmux) {
        sal_printf("%s: Error: Unknown pkt watcher mode\n", cmd);
        return CMD_FAIL;
    }
    sal_mutex_take(pw->lock, sal_mutex_FOREVER);
    list_free(pw, &pw->pending);
    list_free(pw, &pw->log);
    pw->total = 0;
    std::memset(pw->per_chan, 0, sizeof pw->per_chan);
    pw->logged = 0;
    pw->start_time = sal_time();
    sal_mutex_give(pw->lock);
    pw->start_failed = false;
    pw->stop = false;
    pw->running = true;
    int prio = soc_property_get(pw->unit, "diag_pw_thread_pri", 100);
    pw->thread = sal_thread_create(pw->name, 16384, prio, pw_daemon, pw);
    if (pw->thread == nullptr || pw->thread == SAL_THREAD_ERROR) {
        pw->running = false;
        sal_printf("%s: Error: Failed to create thread %s\n", cmd, pw->name);
        return CMD_FAIL;
    }
    sal_sem_take(pw->sync, sal_sem_FOREVER);
    return pw->start_failed ? CMD_FAIL : CMD_OK;
}

int pw_stop(const char *cmd, pw_state_t *pw) {
    if (!pw->running.load()) {
        sal_printf("%s: WARNING: Not running\n", cmd);
        return CMD_OK;
    }
    pw->stop = true;
    sal_sem_give(pw->wake);
    sal_sem_take(pw->sync, sal_sem_FOREVER);
    return CMD_OK;
}

void show_mask(const char *lead, const char *on, const char *off, const parse_mask_t *table,
               uint32_t mask, uint32_t all) {
    sal_printf("%s%s", lead, on);
    parse_mask_format(60, table, mask);
    sal_printf("%s%s", lead, off);
    parse_mask_format(60, table, ~mask & all);
}

void pw_status(const char *cmd, pw_state_t *pw) {
    sal_printf("%s: Status: %s. Mode %s. Buffering up to %d packets.%s\n", cmd,
               pw->running.load() ? "Running" : "Not Running", mode_names[pw->mode], pw->log_size,
               pw->stop.load() ? " STOP Requested." : "");
    if (pw->mode == kModeSoc) sal_printf("Interval %d us. ", pw->interval.load());
    if (pw->rate == 0)
        sal_printf("Rate limiting is off.\n");
    else
        sal_printf("Rate limit is %d (soc intvl %d).\n", pw->rate, pw->interval.load());
    show_mask("", "Reporting is enabled for: ", "Reporting is disabled for: ", opt_masks,
              pw->report.load(), 0x1f);
    show_mask("", "Dump options are enabled for: ", "Dump options are disabled for: ", opt_masks,
              pw->dump.load(), 0x1f);
    if (pw->channels.load() == 0) {
        sal_printf("RX on for channel(s):  -- using default --\n");
    } else {
        show_mask("", "RX on for channel(s): ", "RX off for channel(s): ", chan_masks,
                  pw->channels.load(), 0xf);
    }
}

// Mask words from the list while they name options; -1 when none did.
int take_masks(args_t *a, const parse_mask_t *table, std::atomic<uint32_t> *mask) {
    int taken = 0;
    uint32_t m = mask->load();
    while (ARG_CUR(a) != nullptr && parse_mask(ARG_CUR(a), table, &m) == 0) {
        ARG_GET(a);
        taken++;
    }
    mask->store(m);
    return taken;
}

}  // namespace

int pw_running(int unit) {
    if (unit < 0 || unit >= DXP_UNITS_MAX) return 0;
    return pw_states[unit].running.load() ? 1 : 0;
}

int pw_dump_log(int unit, int count) {
    if (unit < 0 || unit >= DXP_UNITS_MAX) return CMD_FAIL;
    pw_state_t *pw = pw_state(unit);
    sal_mutex_take(pw->lock, sal_mutex_FOREVER);
    int n = pw->log.count;
    int first = 0, last = n;
    if (count > 0 && count < n) last = count;
    if (count < 0 && -count < n) first = n + count;
    int shown = 0;
    int i = 0;
    for (pw_pup_t *p = pw->log.head; p != nullptr; p = p->next, i++) {
        if (i < first || i >= last) continue;
        uint32_t mask = pw->dump.load();
        pup_print(pw, p, mask != 0 ? mask : kOptCount);
        shown++;
    }
    sal_mutex_give(pw->lock);
    if (shown == 0) {
        sal_printf("pw_dump_log[%d]: Warning: no packets logged or selected to dump\n", unit);
    }
    return CMD_OK;
}

int cmd_packet_watcher(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit)) return CMD_FAIL;
    pw_state_t *pw = pw_state(unit);
    if (ARG_CNT(a) == 0) {
        pw_status(cmd, pw);
        return CMD_OK;
    }
    auto is = [](const char *w, const char *name) { return strcasecmp(w, name) == 0; };
    while (const char *w = ARG_GET(a)) {
        int rv = CMD_OK;
        if (is(w, "start")) {
            rv = pw_start(cmd, pw);
        } else if (is(w, "stop")) {
            rv = pw_stop(cmd, pw);
        } else if (is(w, "count")) {
            sal_mutex_take(pw->lock, sal_mutex_FOREVER);
            uint32_t secs = sal_time() - pw->start_time;
            int total = pw->total;
            sal_printf(
                "%s: Received %d packets [(%d),%d,%d,%d,%d] (%d/sec), last %d packet(s) "
                "logged\n",
                cmd, total, pw->per_chan[0], pw->per_chan[1], pw->per_chan[2], pw->per_chan[3],
                pw->per_chan[4], secs > 0 ? total / static_cast<int>(secs) : total, pw->log.count);
            sal_mutex_give(pw->lock);
        } else if (is(w, "log")) {
            const char *n = ARG_GET(a);
            if (pw->running.load()) {
                sal_printf("%s: Can not change \"log\" while PW-daemon running\n", cmd);
                rv = CMD_FAIL;
            } else if (n == nullptr || !parse_is_integer(n) || parse_integer(n) < 0) {
                sal_printf("%s: Invalid log count \"%s\"\n", cmd, n != nullptr ? n : "");
                rv = CMD_FAIL;
            } else {
                sal_mutex_take(pw->lock, sal_mutex_FOREVER);
                pw->log_size = parse_integer(n);
                while (pw->log.count > pw->log_size)
                    pup_free(pw, pw->log.pop());
                sal_mutex_give(pw->lock);
                sal_printf("%s: Logging(%d-packets)\n", cmd, pw->log_size);
            }
        } else if (is(w, "dump")) {
            const char *n = ARG_CUR(a);
            if (n != nullptr && is(n, "options")) {
                ARG_GET(a);
                take_masks(a, opt_masks, &pw->dump);
                show_mask(cmd, ": Dump options on for: ", ": Dump options off for: ", opt_masks,
                          pw->dump.load(), 0x1f);
            } else if (n != nullptr && (n[0] == '-' || (n[0] >= '0' && n[0] <= '9'))) {
                ARG_GET(a);
                if (!parse_is_integer(n)) {
                    sal_printf("%s: Invalid count \"%s\"\n", cmd, n);
                    rv = CMD_FAIL;
                } else {
                    rv = pw_dump_log(unit, parse_integer(n));
                }
            } else {
                rv = pw_dump_log(unit, 0);
            }
        } else if (is(w, "report")) {
            take_masks(a, opt_masks, &pw->report);
            show_mask(cmd, ": Reporting on for: ", ": Reporting off for: ", opt_masks,
                      pw->report.load(), 0x1f);
        } else if (is(w, "quiet")) {
            pw->report = 0;
        } else if (is(w, "channel")) {
            if (pw->mode == kModeSoc && pw->running.load()) {
                sal_printf("%s: Unable to configure DMA channels while running\n", cmd);
                rv = CMD_FAIL;
            } else {
                take_masks(a, chan_masks, &pw->channels);
                if (pw->running.load())
                    sal_printf(
                        "%s: Warning channel re-assignment will not take\n%s: until "
                        "restarted.\n",
                        cmd, cmd);
                show_mask(cmd, ": RX on for channel(s): ", ": RX off for channel(s): ", chan_masks,
                          pw->channels.load(), 0xf);
            }
        } else if (is(w, "rate")) {
            const char *n = ARG_CUR(a);
            if (n == nullptr || !parse_is_integer(n)) {
                if (pw->rate == 0)
                    sal_printf("%s: No rate limiting.\n", cmd);
                else
                    sal_printf("%s: Rate limit is currently %d pkts/sec.\n", cmd, pw->rate);
            } else {
                ARG_GET(a);
                int r = dxp_rx_rate_set(unit, parse_integer(n));
                if (r < 0) {
                    sal_printf("%s: Error: Cannot set rate: %s\n", cmd, dxp_errmsg(r));
                    rv = CMD_FAIL;
                } else {
                    pw->rate = parse_integer(n);
                    pw->rx_cfg.global_pps = pw->rate;
                }
            }
        } else if (is(w, "interval")) {
            const char *n = ARG_GET(a);
            if (n == nullptr || !parse_is_integer(n) || parse_integer(n) < 0) {
                sal_printf("%s: Invalid interval: %s\n", cmd, n != nullptr ? n : "");
                rv = CMD_FAIL;
            } else {
                pw->interval = parse_integer(n);
            }
        } else if (is(w, "mode")) {
            const char *m = ARG_GET(a);
            if (m == nullptr) {
                sal_printf("Current mode is %s\n", mode_names[pw->mode]);
            } else if (pw->running.load()) {
                sal_printf("Can't set modes while running\n");
                rv = CMD_FAIL;
            } else if (is(m, "rx")) {
                pw->mode = kModeRx;
            } else if (is(m, "soc")) {
                pw->mode = kModeSoc;
            } else if (is(m, "pmux")) {
                pw->mode = kModePmux;
            } else {
                sal_printf("Unknown mode: %s\n", m);
                rv = CMD_FAIL;
            }
        } else {
            sal_printf("%s: What is %s?\n", cmd, w);
            return CMD_USAGE;
        }
        if (rv != CMD_OK) return rv;
    }
    return CMD_OK;
}
