// Receive service: chains of receive buffers started on the CPU-port glue,
// sixteen class-of-service queues with token buckets, a global bucket on
// chain starts, and the per-unit thread that runs the callouts.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "et_soc.h"
#include "dxp_error.h"
#include "pktsvc.h"
#include "soc.h"
#include "soc_error.h"

namespace {

constexpr int kUnits = 128;
constexpr int kChans = DXP_RX_CHANNELS;
constexpr int kChainsMax = 63;
constexpr int kCos = 16;
constexpr int kFrameOffset = 36;  // the driver leaves the frame here
constexpr int kQueueLenDefault = 1000;
constexpr uint32_t kAcceptCos = 0xC0FF;
constexpr uint32_t kIntrCallout = 0x80000000;

constexpr uint32_t kDbgRx = 0x4000000;
constexpr uint32_t kDbgRxVerbose = 0x4010000;
constexpr uint32_t kDbgWarn = 0x8000000;
constexpr uint32_t kDbgErr = 0x200000;
constexpr uint32_t kDbgPkt = 0x11000;

constexpr uint32_t kSleepRunning = 100000;
constexpr uint32_t kSleepIdle = 500000;

struct dv_info_t {  // "dv_info", the chain state hung on user1
    int state;
    uint32_t sched_time;
    int delay;
    uint8_t chain;
    uint8_t chan;
    uint8_t pkts_done;
};

struct rx_callout_t {
    rx_callout_t *next;
    const char *name;
    void *cookie;
    dxp_rx_cb_f fn;
    uint32_t flags;
    uint8_t priority;
    uint32_t spare[2];
};

struct rx_queue_t {
    dxp_pkt *head, *tail;
    int pps, burst, tokens;
    uint32_t last;
    int len, max_len;
    uint32_t enqueued, dropped;
};

struct rx_chan_t {
    dv_t *dv[kChainsMax];
    dv_info_t *info[kChainsMax];  // also on each vector's user1
    int dcb_per_pkt;
    uint32_t rpkt, rbyte, dpkt, dbyte, mem_fail;
    dxp_pkt *pkts;
};

struct rx_ctl_t {
    dxp_rx_cfg_t cfg;
    rx_callout_t *callouts;
    int intr_callouts, thread_callouts;
    uint32_t chan_running;
    int next_chan;
    rx_chan_t chan[kChans];
    rx_queue_t queue[kCos];
    int tokens;
    uint32_t last_fill;
    char thread_name[16];
    sal_sem_t notify;
    sal_thread_t thread;
    uint32_t sleep_cur;
    std::atomic<int> running, exited;
    sal_mutex_t mutex;
    uint32_t received, received_since_start, bad_return, no_callout, chan_stopped, thread_stopped,
        bad;
    void *free_list;
};

rx_ctl_t *rx_ctl[kUnits];
std::atomic<uint32_t> units_started{0};
std::atomic<int> dv_serial{0};
std::atomic<bool> alloc_warned{false};

// Interrupt mask: queues, counters and the deferred-free list change under it.
struct Spl {
    int level = sal_splhi();
    ~Spl() { sal_spl(level); }
};

void rx_assert(const char *expr, int line) {
    sal_assert(expr, "rx", line);
}

bool unit_ok(int unit) {
    return unit >= 0 && unit < kUnits;
}

rx_ctl_t *ctl_of(int unit) {
    return unit_ok(unit) ? rx_ctl[unit] : nullptr;
}

bool started(int unit) {
    return unit >= 0 && unit < 32 && (units_started.load() >> unit & 1);
}

int rx_dflt_alloc(int unit, int size, uint32_t, void **buf) {
    // The MAC fills whole ring buffers whatever the chain asked for.
    *buf = soc_cm_salloc(unit, std::max(size, ET_SOC_RXBUFSIZE), "rx_dflt_alloc");
    return *buf ? 0 : SOC_E_MEMORY;
}

int rx_dflt_free(int unit, void *buf) {
    soc_cm_sfree(unit, buf);
    return 0;
}

void cfg_defaults(dxp_rx_cfg_t *cfg) {
    *cfg = dxp_rx_cfg_t{};
    cfg->pkt_size = 2048;
    cfg->pkts_per_chain = 1;
    cfg->max_burst = 1;
    cfg->chan_cfg[0] = {.chains = kChainsMax, .reserved = 0, .flags = 0, .cos_bmp = 0xFF};
    cfg->rx_alloc = rx_dflt_alloc;
    cfg->rx_free = rx_dflt_free;
}

int discard(int unit, dxp_pkt *pkt, void *) {
    rx_ctl_t *ctl = ctl_of(unit);
    if (ctl != nullptr && pkt->dma_chan < kChans) {
        Spl spl;
        ctl->chan[pkt->dma_chan].dpkt++;
        ctl->chan[pkt->dma_chan].dbyte += pkt->pkt_len;
    }
    return DXP_RX_HANDLED;
}

// The thread changes a chain's state under the mask too: the completion
// context and the monitor read it.
void set_state(dv_info_t *info, int state) {
    Spl spl;
    info->state = state;
}

dv_info_t *info_of(dv_t *dv) {
    return static_cast<dv_info_t *>(dv->user1);
}

dxp_pkt *dv_pkt(rx_ctl_t *ctl, dv_t *dv, int idx) {
    dv_info_t *info = info_of(dv);
    return &ctl->chan[info->chan].pkts[info->chain * ctl->cfg.pkts_per_chain + idx];
}

// Interrupt mask held.
void pkt_done(rx_ctl_t *ctl, dv_t *dv) {
    dv_info_t *info = info_of(dv);
    if (++info->pkts_done == ctl->cfg.pkts_per_chain) {
        info->state = DV_S_NEEDS_FILL;
        sal_sem_give(ctl->notify);
    }
}

void pkt_complete(rx_ctl_t *ctl, dxp_pkt *pkt) {
    Spl spl;
    pkt_done(ctl, static_cast<dv_t *>(pkt->dv));
}

int callouts(rx_ctl_t *ctl) {
    Spl spl;
    return ctl->intr_callouts + ctl->thread_callouts;
}

uint32_t running_chans(rx_ctl_t *ctl) {
    Spl spl;
    return ctl->chan_running;
}

int thread_callouts(rx_ctl_t *ctl) {
    Spl spl;
    return ctl->thread_callouts;
}

// Same rule for the global bucket and each queue's.
void refill(int pps, int burst, int *tokens, uint32_t *last) {
    if (*tokens >= burst) return;
    uint32_t now = sal_time_usecs();
    if (now == *last) return;
    uint64_t e = now - *last;
    uint64_t add = pps < 1000 ? e * static_cast<uint64_t>(pps) / 1000000
                              : (e / 10000) * static_cast<uint64_t>(pps) / 100;
    if (add == 0) return;
    soc_cm_debug_print(kDbgRxVerbose, "new tokens: pps %d. cur %u, last %u. toks %d\n", pps, now,
                       *last, static_cast<int>(add));
    *tokens = static_cast<int>(std::min<int64_t>(*tokens + static_cast<int64_t>(add), burst));
    *last = now;
}

// The driver's per-frame completion, in its deferred-call context.
void rx_done_packet(int, dv_t *dv, soc_dcb_t *dcb) {
    dv_info_t *info = info_of(dv);
    rx_ctl_t *ctl = ctl_of(dv->dv_unit);
    if (info == nullptr || ctl == nullptr) return;
    rx_chan_t &ch = ctl->chan[info->chan];
    int idx = static_cast<int>(dcb - dv->dv_dcb) / ch.dcb_per_pkt;
    Spl spl;
    dxp_pkt *pkt = dv_pkt(ctl, dv, idx);
    if (pkt->_idx != idx) {
        rx_assert("pkt_dcb_idx == pkt->_idx", __LINE__);
        return;
    }
    // The MAC fills one buffer per vector: the chain's other packets are done.
    for (int j = idx + 1; j < dv->dv_vcnt / ch.dcb_per_pkt; j++)
        pkt_done(ctl, dv);
    ctl->received++;
    ctl->received_since_start++;
    if (!ctl->running.load()) {
        ctl->thread_stopped++;
        pkt_done(ctl, dv);
        return;
    }
    if (!(ctl->chan_running >> info->chan & 1)) {
        ctl->chan_stopped++;
        pkt_done(ctl, dv);
        return;
    }
    if (dv->dv_flags != 0) {
        ctl->bad++;
        pkt_done(ctl, dv);
        return;
    }
    pkt->cos = 0;
    // The frame as the parse leaves it, FCS included (the length field plus
    // 4): the management driver drops the last 4 bytes as the FCS, so the
    // bare field would cut 4 bytes off every frame it hands to the stack.
    pkt->pkt_len = pkt->tot_len = static_cast<uint16_t>(((dv->dv_status >> 15) & 0x3FFF) + 4);
    ch.rpkt++;
    ch.rbyte += pkt->pkt_len;
    rx_queue_t &q = ctl->queue[pkt->cos];
    // Refilled here too: with no token left nothing would reach the drain
    // that refills it, and the queue would drop for ever.
    if (q.pps != 0) refill(q.pps, q.burst, &q.tokens, &q.last);
    if (q.pps != 0 && q.tokens <= 0) {
        q.dropped++;
        pkt_done(ctl, dv);
        return;
    }
    pkt->dma_chan = info->chan;
    pkt->rx_opcode = dv->dv_status >> 29;
    pkt->rx_port = static_cast<uint8_t>(dv->dv_status & 0x3F);
    if (ctl_of(pkt->rx_unit) == nullptr) {
        pkt_done(ctl, dv);
        return;
    }
    if (ctl->intr_callouts > 0) {
        for (rx_callout_t *c = ctl->callouts; c != nullptr; c = c->next) {
            if (!(c->flags & kIntrCallout)) continue;
            int rv = c->fn(pkt->rx_unit, pkt, c->cookie);
            if (rv == DXP_RX_NOT_HANDLED) continue;
            if (rv == DXP_RX_HANDLED || rv == DXP_RX_HANDLED_OWNED) {
                if (q.pps != 0) q.tokens--;
                if (rv == DXP_RX_HANDLED_OWNED) {
                    pkt->alloc_ptr = nullptr;
                    pkt->_pkt_data.data = nullptr;
                }
                pkt_done(ctl, dv);
                return;
            }
            ctl->bad_return++;
        }
    }
    if (ctl->thread_callouts == 0) {
        pkt_done(ctl, dv);
        ctl->no_callout++;
        return;
    }
    if (q.max_len == 0 || q.len >= q.max_len) {
        pkt_done(ctl, dv);
        q.dropped++;
        return;
    }
    pkt->_next = nullptr;
    if (q.tail)
        q.tail->_next = pkt;
    else
        q.head = pkt;
    q.tail = pkt;
    q.len++;
    q.enqueued++;
    sal_sem_give(ctl->notify);
}

void free_list_drain(int unit, rx_ctl_t *ctl) {
    void *list;
    {
        Spl spl;
        list = ctl->free_list;
        ctl->free_list = nullptr;
    }
    while (list != nullptr) {
        void *next = *static_cast<void **>(list);
        dxp_tarn_rx_free(unit, list);
        list = next;
    }
}

void chain_fill(int unit, rx_ctl_t *ctl, int c, int i) {
    rx_chan_t &ch = ctl->chan[c];
    dv_t *dv = ch.dv[i];
    dv_info_t *info = info_of(dv);
    soc_dma_dv_reset(DV_RX, dv);
    dv->user1 = info;  // the reset clears it
    dv->dv_length = 0;
    if (info->state != DV_S_NEEDS_FILL) {
        rx_assert("DV_STATE(dv) == DV_S_NEEDS_FILL", __LINE__);
        return;
    }
    const int ppc = ctl->cfg.pkts_per_chain;
    for (int j = 0; j < ppc; j++) {
        dxp_pkt *pkt = &ch.pkts[i * ppc + j];
        if (pkt->alloc_ptr == nullptr) {
            void *buf = nullptr;
            if (ctl->cfg.rx_alloc(unit, ctl->cfg.pkt_size, ctl->cfg.chan_cfg[c].flags, &buf) < 0 ||
                buf == nullptr) {
                if (!alloc_warned.exchange(true))
                    soc_cm_debug_print(kDbgWarn, "RX: Failed to allocate mem\n");
                Spl spl;
                ch.mem_fail++;
                return;
            }
            pkt->alloc_ptr = buf;
            pkt->_pkt_data.data = static_cast<uint8_t *>(buf) + kFrameOffset;
            pkt->_pkt_data.len = static_cast<uint32_t>(ctl->cfg.pkt_size);
        }
        if (soc_dv_desc_add(dv, pkt->alloc_ptr, static_cast<uint16_t>(ctl->cfg.pkt_size)) < 0) {
            set_state(info, DV_S_ERROR);
            soc_cm_debug_print(kDbgWarn, "Failed to add pkt %d to dv on unit %d: %s\n", j, unit,
                               dxp_errmsg(SOC_E_INTERNAL));
        }
    }
    if (info->state != DV_S_ERROR) {
        Spl spl;
        info->state = DV_S_FILLED;
        info->pkts_done = 0;
    }
}

void chain_dma(int unit, rx_ctl_t *ctl, int c, int i) {
    dv_t *dv = ctl->chan[c].dv[i];
    soc_cm_debug_print(kDbgRxVerbose, "RX: Starting %d/%d/%d\n", unit, c, i);
    set_state(info_of(dv), DV_S_ACTIVE);
    if (soc_dma_start(unit, dv) < 0) {
        set_state(info_of(dv), DV_S_ERROR);
        soc_cm_debug_print(kDbgErr, "RX: Could not start dv, u %d, chan %d\n", unit, c);
    }
}

void chain_start(int unit, rx_ctl_t *ctl, int c, int i) {
    soc_cm_debug_print(kDbgRxVerbose, "RX: Chain. glob tok %d.\n", ctl->tokens);
    const int pps = ctl->cfg.global_pps;
    if (pps != 0) {
        ctl->tokens -= ctl->cfg.pkts_per_chain;
        if (ctl->tokens < 0) {
            dv_info_t *info = info_of(ctl->chan[c].dv[i]);
            set_state(info, DV_S_SCHEDULED);
            info->sched_time = sal_time_usecs();
            info->delay = (ctl->cfg.pkts_per_chain - ctl->tokens) * (1000000 / pps);
            ctl->sleep_cur = std::min(ctl->sleep_cur, static_cast<uint32_t>(info->delay));
            soc_cm_debug_print(kDbgRx, "RX: Scheduling %d/%d/%d in %d us; cur %u; sleep %u\n", unit,
                               c, i, info->delay, info->sched_time, ctl->sleep_cur);
            return;
        }
    }
    chain_dma(unit, ctl, c, i);
}

void chains_check(int unit, rx_ctl_t *ctl) {
    if (ctl->cfg.global_pps > 0)
        refill(ctl->cfg.global_pps, ctl->cfg.max_burst, &ctl->tokens, &ctl->last_fill);
    const bool active = ctl->running.load() && callouts(ctl) > 0;
    for (int n = 0; n < kChans; n++) {
        const int c = (ctl->next_chan + n) % kChans;
        if (!(running_chans(ctl) >> c & 1)) continue;
        for (int i = 0; i < ctl->cfg.chan_cfg[c].chains; i++) {
            dv_info_t *info = info_of(ctl->chan[c].dv[i]);
            int state;
            {
                Spl spl;
                state = info->state;
            }
            if (!active) {
                if (state == DV_S_SCHEDULED) set_state(info, DV_S_FILLED);
                continue;
            }
            if (state == DV_S_NEEDS_FILL) {
                chain_fill(unit, ctl, c, i);
                if (info->state == DV_S_FILLED) chain_start(unit, ctl, c, i);
            } else if (state == DV_S_FILLED) {
                chain_start(unit, ctl, c, i);
            } else if (state == DV_S_SCHEDULED) {
                uint32_t now = sal_time_usecs();
                int diff = info->delay - static_cast<int>(now - info->sched_time);
                if (diff <= 0) {
                    soc_cm_debug_print(kDbgRx, "RX: Starting scheduled %d/%d/%d, diff %d @ %u\n",
                                       unit, c, i, diff, now);
                    chain_dma(unit, ctl, c, i);
                } else {
                    soc_cm_debug_print(kDbgRx, "RX: %d/%d/%d not ready at %u, diff %d\n", unit, c,
                                       i, now, diff);
                    ctl->sleep_cur = std::min(ctl->sleep_cur, static_cast<uint32_t>(diff));
                }
            }
        }
    }
    ctl->next_chan = (ctl->next_chan + 1) % kChans;
}

void queue_drain(int unit, rx_ctl_t *ctl, int cos) {
    rx_queue_t &q = ctl->queue[cos];
    dxp_pkt *list;
    {
        Spl spl;
        list = q.head;
        q.head = q.tail = nullptr;
        q.len = 0;
    }
    while (list != nullptr) {
        if (q.pps != 0) {
            Spl spl;
            refill(q.pps, q.burst, &q.tokens, &q.last);
            if (q.tokens < 1) break;
            q.tokens--;
        }
        dxp_pkt *pkt = list;
        list = list->_next;
        rx_process_packet(unit, pkt);
        if (!ctl->running.load()) break;
    }
    // Over its rate a queue drops what is left; it does not delay it.
    while (list != nullptr) {
        dxp_pkt *pkt = list;
        list = list->_next;
        Spl spl;
        q.dropped++;
        pkt_done(ctl, static_cast<dv_t *>(pkt->dv));
    }
}

bool queues_busy(rx_ctl_t *ctl) {
    Spl spl;
    for (const rx_queue_t &q : ctl->queue)
        if (q.head != nullptr) return true;
    return false;
}

void channel_teardown(int unit, rx_ctl_t *ctl, int c) {
    rx_chan_t &ch = ctl->chan[c];
    {
        Spl spl;
        ctl->chan_running &= ~(1u << c);
    }
    const int chains = ctl->cfg.chan_cfg[c].chains;
    const int ppc = ctl->cfg.pkts_per_chain;
    if (ch.pkts != nullptr) {
        for (int k = 0; k < chains * ppc; k++) {
            if (ch.pkts[k].alloc_ptr != nullptr) ctl->cfg.rx_free(unit, ch.pkts[k].alloc_ptr);
            ch.pkts[k].alloc_ptr = nullptr;
            ch.pkts[k]._pkt_data.data = nullptr;
        }
        sal_free(ch.pkts);
        ch.pkts = nullptr;
    }
    for (int i = 0; i < chains; i++) {
        if (ch.dv[i] == nullptr) continue;
        {
            Spl spl;
            ch.info[i] = nullptr;
        }
        sal_free(ch.dv[i]->user1);
        ch.dv[i]->user1 = nullptr;
        soc_dv_free(unit, ch.dv[i]);
        ch.dv[i] = nullptr;
    }
}

void release(int unit, rx_ctl_t *ctl, bool pause) {
    if (pause) sal_usleep(100000);
    free_list_drain(unit, ctl);
    {
        Spl spl;
        for (rx_queue_t &q : ctl->queue) {
            q.head = q.tail = nullptr;
            q.len = 0;
        }
    }
    for (int c = 0; c < kChans; c++)
        if (ctl->cfg.chan_cfg[c].chains > 0) channel_teardown(unit, ctl, c);
    {
        Spl spl;
        ctl->chan_running = 0;
    }
    free_list_drain(unit, ctl);
}

int channel_setup(int unit, rx_ctl_t *ctl, int c) {
    rx_chan_t &ch = ctl->chan[c];
    const int chains = ctl->cfg.chan_cfg[c].chains;
    const int ppc = ctl->cfg.pkts_per_chain;
    ch.pkts = static_cast<dxp_pkt *>(sal_alloc(sizeof(dxp_pkt) * chains * ppc, "rx_pkts"));
    if (ch.pkts == nullptr) return SOC_E_MEMORY;
    std::memset(static_cast<void *>(ch.pkts), 0, sizeof(dxp_pkt) * chains * ppc);
    for (int i = 0; i < chains; i++) {
        auto *info = static_cast<dv_info_t *>(sal_alloc(sizeof(dv_info_t), "dv_info"));
        dv_t *dv = info ? soc_dv_alloc(unit, DV_RX, ch.dcb_per_pkt * ppc) : nullptr;
        if (dv == nullptr) {
            sal_free(info);
            return SOC_E_MEMORY;
        }
        ch.dv[i] = dv;
        *info = dv_info_t{.state = DV_S_NEEDS_FILL,
                          .sched_time = 0,
                          .delay = 0,
                          .chain = static_cast<uint8_t>(i),
                          .chan = static_cast<uint8_t>(c),
                          .pkts_done = 0};
        dv->user1 = info;
        {
            Spl spl;
            ch.info[i] = info;
        }
        dv->dv_done_packet = rx_done_packet;
        dv->dv_done_chain = nullptr;
        dv->user2 = reinterpret_cast<void *>(static_cast<intptr_t>(dv_serial.fetch_add(1)));
        for (int j = 0; j < ppc; j++) {
            dxp_pkt &pkt = ch.pkts[i * ppc + j];
            pkt.pkt_data = &pkt._pkt_data;
            pkt.blk_count = 1;
            pkt.unit = static_cast<uint8_t>(unit);
            pkt.rx_unit = static_cast<uint8_t>(unit);
            pkt._idx = static_cast<uint8_t>(j);
            pkt.dv = dv;
        }
    }
    return 0;
}

void cfg_check(dxp_rx_cfg_t *cfg) {
    int used = 0;
    for (int c = 0; c < kChans; c++) {
        int &chains = cfg->chan_cfg[c].chains;
        if (chains < 0) {
            soc_cm_debug_print(kDbgWarn, "rx_config %d %d: Warning: chains < 0.", 0, c);
            chains = 0;
        } else if (chains > kChainsMax) {
            soc_cm_debug_print(kDbgWarn, "rx_config %d %d: Warning: Bad chain cnt %d.  Now %d.\n",
                               0, c, chains, kChainsMax);
            chains = kChainsMax;
        }
        if (chains > 0) used++;
    }
    if (cfg->pkts_per_chain < 1 || cfg->pkts_per_chain > 16) {
        soc_cm_debug_print(kDbgWarn, "rx_config: Warning: bad pkts/chn %d. Now %d.\n",
                           cfg->pkts_per_chain, 1);
        cfg->pkts_per_chain = 1;
    }
    if (cfg->global_pps < 0) cfg->global_pps = 0;
    if (cfg->max_burst < cfg->pkts_per_chain) cfg->max_burst = cfg->pkts_per_chain;
    if (used > 1)
        soc_cm_debug_print(kDbgWarn,
                           "rx_config: Warning: more than one channel activated on this chip\n");
}

void rx_thread(void *arg) {
    const int unit = static_cast<int>(reinterpret_cast<intptr_t>(arg));
    rx_ctl_t *ctl = rx_ctl[unit];
    soc_cm_debug_print(kDbgRx, "RX:  Packet thread starting\n");
    auto dflt = [ctl] {
        Spl spl;
        return ctl->chan_running ? kSleepRunning : kSleepIdle;
    };
    ctl->sleep_cur = dflt();
    while (ctl->running.load()) {
        while (queues_busy(ctl) && ctl->running.load()) {
            for (int cos = kCos - 1; cos >= 0; cos--) {
                if (!ctl->running.load()) break;
                queue_drain(unit, ctl, cos);
                free_list_drain(unit, ctl);
                chains_check(unit, ctl);
            }
        }
        if (!ctl->running.load()) break;
        free_list_drain(unit, ctl);
        chains_check(unit, ctl);
        uint32_t sleep = std::min(dflt(), ctl->sleep_cur);
        soc_cm_debug_print(kDbgRxVerbose, "Sleeping %d at %u\n", static_cast<int>(sleep),
                           sal_time_usecs());
        sal_sem_take(ctl->notify, static_cast<int>(sleep));
        soc_cm_debug_print(kDbgRxVerbose, "Woke %u\n", sal_time_usecs());
        ctl->sleep_cur = dflt();
    }
    soc_dma_rx_disable(unit);
    release(unit, ctl, true);
    soc_cm_debug_print(kDbgRx, "RX: Packet thread exitting\n");
    ctl->exited.store(1);
}

int rx_stop_unit(int unit) {
    rx_ctl_t *ctl = ctl_of(unit);
    if (ctl == nullptr || !ctl->running.load()) return 0;
    ctl->exited.store(0);
    ctl->running.store(0);
    sal_sem_give(ctl->notify);
    // Bounded like the original ten polls of half a second, in finer steps.
    for (int i = 0; i < 500 && !ctl->exited.load(); i++)
        sal_usleep(10000);
    if (!ctl->exited.load()) {
        soc_cm_debug_print(kDbgWarn,
                           "RX %d: Thread %p running after signaled to stop; \nDVs may not be "
                           "cleaned up.\n",
                           unit, static_cast<void *>(ctl->thread));
    } else {
        ctl->thread = nullptr;
    }
    soc_cm_debug_print(kDbgRx, "RX: Stopping unit %d\n", unit);
    if (unit < 32) units_started.fetch_and(~(1u << unit));
    return 0;
}

int queue_set(int unit, int cos, int value, int min, int rx_queue_t::*field) {
    if (cos < -1 || cos >= kCos || value < min) return SOC_E_PARAM;
    if (int rv = dxp_tarn_rx_init(unit); rv < 0) return rv;
    rx_ctl_t *ctl = rx_ctl[unit];
    Spl spl;
    for (int c = 0; c < kCos; c++)
        if (cos == -1 || cos == c) ctl->queue[c].*field = value;
    return 0;
}

int queue_get(int unit, int cos, int *value, int rx_queue_t::*field) {
    if (cos < 0 || cos >= kCos || value == nullptr) return SOC_E_PARAM;
    if (int rv = dxp_tarn_rx_init(unit); rv < 0) return rv;
    Spl spl;
    *value = rx_ctl[unit]->queue[cos].*field;
    return 0;
}

}  // namespace

int dxp_tarn_rx_init(int unit) {
    if (!unit_ok(unit)) return SOC_E_UNIT;
    if (rx_ctl[unit] != nullptr) return 0;
    auto *ctl = static_cast<rx_ctl_t *>(sal_alloc(sizeof(rx_ctl_t), "rx_ctl"));
    if (ctl == nullptr) return SOC_E_MEMORY;
    std::memset(static_cast<void *>(ctl), 0, sizeof *ctl);
    cfg_defaults(&ctl->cfg);
    ctl->mutex = sal_mutex_create("RX_MUTEX");
    auto *d = static_cast<rx_callout_t *>(sal_alloc(sizeof(rx_callout_t), "rx_callout"));
    if (ctl->mutex == nullptr || d == nullptr) {
        if (ctl->mutex) sal_mutex_destroy(ctl->mutex);
        sal_free(d);
        sal_free(ctl);
        return SOC_E_MEMORY;
    }
    *d = rx_callout_t{.next = nullptr,
                      .name = "Discard",
                      .cookie = nullptr,
                      .fn = discard,
                      .flags = kAcceptCos,
                      .priority = 0,
                      .spare = {0, 0}};
    ctl->callouts = d;
    for (rx_queue_t &q : ctl->queue) {
        q.burst = 1;
        q.max_len = kQueueLenDefault;
    }
    rx_ctl[unit] = ctl;
    soc_cm_debug_print(kDbgRx, "RX: Initialized unit %d\n", unit);
    return 0;
}

int dxp_tarn_rx_cfg_init(int unit) {
    if (int rv = dxp_tarn_rx_init(unit); rv < 0) return rv;
    if (started(unit)) return SOC_E_BUSY;
    cfg_defaults(&rx_ctl[unit]->cfg);
    return 0;
}

int dxp_tarn_rx_cfg_get(int unit, dxp_rx_cfg_t *cfg) {
    if (int rv = dxp_tarn_rx_init(unit); rv < 0) return rv;
    if (cfg) *cfg = rx_ctl[unit]->cfg;
    return started(unit) ? 0 : SOC_E_INIT;
}

int dxp_tarn_rx_start(int unit, dxp_rx_cfg_t *cfg) {
    if (int rv = dxp_tarn_rx_init(unit); rv < 0) return rv;
    rx_ctl_t *ctl = rx_ctl[unit];
    if (started(unit)) {
        soc_cm_print("RX start:  Already started\n");
        return SOC_E_BUSY;
    }
    if (cfg != nullptr) {
        if (cfg->pkt_size == 0 || cfg->pkts_per_chain == 0) return SOC_E_PARAM;
        ctl->cfg = *cfg;
        if (ctl->cfg.rx_alloc == nullptr) ctl->cfg.rx_alloc = rx_dflt_alloc;
        if (ctl->cfg.rx_free == nullptr) ctl->cfg.rx_free = rx_dflt_free;
        cfg_check(&ctl->cfg);
    }
    soc_cm_debug_print(kDbgRx, "RX: Starting unit %d\n", unit);
    const uint32_t now = sal_time_usecs();
    {
        Spl spl;
        ctl->tokens = ctl->cfg.max_burst;
        ctl->last_fill = now;
        for (rx_queue_t &q : ctl->queue) {
            q.tokens = q.burst;
            q.last = now;
            q.head = q.tail = nullptr;
            q.len = 0;
            q.max_len = kQueueLenDefault;
        }
        ctl->received_since_start = 0;
    }
    for (int c = 0; c < kChans; c++) {
        ctl->chan[c].dcb_per_pkt = 1;
        if (ctl->cfg.chan_cfg[c].chains <= 0) continue;
        soc_cm_debug_print(kDbgRx, "RX: Starting unit %d chan %d\n", unit, c);
        if (int rv = channel_setup(unit, ctl, c); rv < 0) {
            soc_cm_debug_print(kDbgErr, "RX: Error on setup unit %d, chan %d\n", unit, c);
            release(unit, ctl, false);
            return rv;
        }
        Spl spl;
        ctl->chan_running |= 1u << c;
    }
    if (ctl->running.load()) return 0;
    if (ctl->notify == nullptr) ctl->notify = sal_sem_create("RX pkt ntfy", 1, 0);
    if (ctl->notify == nullptr) {
        release(unit, ctl, false);
        return SOC_E_MEMORY;
    }
    ctl->running.store(1);
    soc_dma_rx_enable(unit);
    sal_snprintf(ctl->thread_name, sizeof ctl->thread_name, "dxpRX.%d", unit);
    ctl->thread = sal_thread_create(ctl->thread_name, 16384, 200, rx_thread,
                                    reinterpret_cast<void *>(static_cast<intptr_t>(unit)));
    if (ctl->thread == SAL_THREAD_ERROR || ctl->thread == nullptr) {
        ctl->running.store(0);
        ctl->thread = nullptr;
        release(unit, ctl, false);
        return SOC_E_MEMORY;
    }
    if (unit < 32) units_started.fetch_or(1u << unit);
    return 0;
}

int dxp_tarn_rx_stop(int unit, dxp_rx_cfg_t *cfg) {
    rx_ctl_t *ctl = ctl_of(unit);
    if (ctl == nullptr) return 0;
    if (cfg) *cfg = ctl->cfg;
    return rx_stop_unit(unit);
}

int dxp_tarn_rx_clear(int) {
    for (int unit = 0; unit < kUnits; unit++) {
        rx_ctl_t *ctl = rx_ctl[unit];
        if (ctl == nullptr) continue;
        dxp_tarn_rx_stop(unit, nullptr);
        release(unit, ctl, false);
        while (rx_callout_t *c = ctl->callouts) {
            ctl->callouts = c->next;
            sal_free(c);
        }
        if (ctl->notify) sal_sem_destroy(ctl->notify);
        sal_mutex_destroy(ctl->mutex);
        rx_ctl[unit] = nullptr;
        sal_free(ctl);
    }
    return 0;
}

int dxp_tarn_rx_register(int unit, const char *name, dxp_rx_cb_f fn, int priority, void *cookie,
                         uint32_t flags) {
    if (fn == nullptr) return SOC_E_PARAM;
    if (int rv = dxp_tarn_rx_init(unit); rv < 0) return rv;
    rx_ctl_t *ctl = rx_ctl[unit];
    const bool intr = flags & kIntrCallout;
    soc_cm_debug_print(kDbgRx, "RX: Registering %s on %d, flags 0x%x%s\n", name, unit, flags,
                       intr ? "(intr)" : "");
    if ((flags & kAcceptCos) == 0) {
        soc_cm_debug_print(kDbgWarn, "RX unit %d: Registering callback with no COS accepted.\n",
                           unit);
        soc_cm_debug_print(kDbgWarn, "    Callbacks will not occur to %s\n", name);
    }
    const auto prio = static_cast<uint8_t>(priority);
    sal_mutex_take(ctl->mutex, sal_mutex_FOREVER);
    for (rx_callout_t *c = ctl->callouts; c != nullptr; c = c->next) {
        if (c->fn != fn || c->priority != prio) continue;
        sal_mutex_give(ctl->mutex);
        if (c->flags == flags && c->cookie == cookie) return 0;
        soc_cm_debug_print(kDbgRxVerbose, "RX: %s registered with diff params\n", name);
        return SOC_E_PARAM;
    }
    auto *n = static_cast<rx_callout_t *>(sal_alloc(sizeof(rx_callout_t), "rx_callout"));
    if (n == nullptr) {
        sal_mutex_give(ctl->mutex);
        return SOC_E_MEMORY;
    }
    *n = rx_callout_t{.next = nullptr,
                      .name = name,
                      .cookie = cookie,
                      .fn = fn,
                      .flags = flags,
                      .priority = prio,
                      .spare = {0, 0}};
    rx_callout_t *prev = nullptr;
    {
        Spl spl;
        // An observer goes ahead of the handlers of its priority, so that it
        // sees the frames they take.
        const bool observer = flags & DXP_RCO_F_OBSERVER;
        auto before = [&](const rx_callout_t *c) {
            if (c->priority != prio) return c->priority > prio;
            return !observer || (c->flags & DXP_RCO_F_OBSERVER) != 0;
        };
        rx_callout_t **at = &ctl->callouts;
        while (*at != nullptr && before(*at)) {
            prev = *at;
            at = &(*at)->next;
        }
        n->next = *at;
        *at = n;
        (intr ? ctl->intr_callouts : ctl->thread_callouts)++;
    }
    sal_mutex_give(ctl->mutex);
    soc_cm_debug_print(kDbgRxVerbose, "RX: %s registered %s%s.\n", name, prev ? "after " : "first",
                       prev ? prev->name : "");
    return 0;
}

int dxp_tarn_rx_unregister(int unit, dxp_rx_cb_f fn, int priority) {
    rx_ctl_t *ctl = ctl_of(unit);
    if (ctl == nullptr) return SOC_E_NOT_FOUND;
    rx_callout_t *found = nullptr;
    sal_mutex_take(ctl->mutex, sal_mutex_FOREVER);
    {
        Spl spl;
        for (rx_callout_t **at = &ctl->callouts; *at != nullptr; at = &(*at)->next) {
            if ((*at)->fn != fn || (*at)->priority != static_cast<uint8_t>(priority)) continue;
            found = *at;
            *at = found->next;
            (found->flags & kIntrCallout ? ctl->intr_callouts : ctl->thread_callouts)--;
            break;
        }
    }
    sal_mutex_give(ctl->mutex);
    if (found == nullptr) return SOC_E_NOT_FOUND;
    soc_cm_debug_print(kDbgRx, "RX: Unregistered %s on %d\n", found->name, unit);
    sal_free(found);
    return 0;
}

// A stop clears the started bit and a start sets it again, so the answer
// follows the service through any number of stops and starts.
int dxp_tarn_rx_active(int unit) {
    return started(unit) ? 1 : 0;
}

int dxp_tarn_rx_channels_running(int unit, uint32_t *channels) {
    rx_ctl_t *ctl = ctl_of(unit);
    if (channels) *channels = ctl ? running_chans(ctl) : 0;
    return 0;
}

int dxp_tarn_rx_alloc(int unit, int size, uint32_t flags, void **buf) {
    if (unit < 0) unit = 0;
    rx_ctl_t *ctl = ctl_of(unit);
    if (ctl == nullptr) return SOC_E_INIT;
    return ctl->cfg.rx_alloc(unit, size < 1 ? ctl->cfg.pkt_size : size, flags, buf);
}

int dxp_tarn_rx_free(int unit, void *buf) {
    rx_ctl_t *ctl = ctl_of(unit < 0 ? 0 : unit);
    if (buf == nullptr) return 0;
    if (ctl == nullptr) return SOC_E_INIT;
    return ctl->cfg.rx_free(unit < 0 ? 0 : unit, buf);
}

int dxp_tarn_rx_free_enqueue(int unit, void *buf) {
    if (buf == nullptr) {
        rx_assert("pkt_data != NULL", __LINE__);
        return SOC_E_PARAM;
    }
    rx_ctl_t *ctl = ctl_of(unit);
    if (ctl == nullptr) return SOC_E_INIT;
    {
        Spl spl;
        *static_cast<void **>(buf) = ctl->free_list;
        ctl->free_list = buf;
    }
    if (ctl->notify) sal_sem_give(ctl->notify);
    return 0;
}

int dxp_tarn_rx_rate_set(int unit, int pps) {
    if (pps < 0) return SOC_E_PARAM;
    if (int rv = dxp_tarn_rx_init(unit); rv < 0) return rv;
    rx_ctl[unit]->cfg.global_pps = pps;
    return 0;
}

int dxp_tarn_rx_rate_get(int unit, int *pps) {
    if (int rv = dxp_tarn_rx_init(unit); rv < 0) return rv;
    if (pps) *pps = rx_ctl[unit]->cfg.global_pps;
    return 0;
}

int dxp_tarn_rx_burst_set(int unit, int burst) {
    if (burst < 1) return SOC_E_PARAM;
    if (int rv = dxp_tarn_rx_init(unit); rv < 0) return rv;
    rx_ctl[unit]->cfg.max_burst = burst;
    return 0;
}

int dxp_tarn_rx_burst_get(int unit, int *burst) {
    if (int rv = dxp_tarn_rx_init(unit); rv < 0) return rv;
    if (burst) *burst = rx_ctl[unit]->cfg.max_burst;
    return 0;
}

int dxp_tarn_rx_cos_rate_set(int unit, int cos, int pps) {
    return queue_set(unit, cos, pps, 0, &rx_queue_t::pps);
}

int dxp_tarn_rx_cos_rate_get(int unit, int cos, int *pps) {
    return queue_get(unit, cos, pps, &rx_queue_t::pps);
}

int dxp_tarn_rx_cos_burst_set(int unit, int cos, int burst) {
    return queue_set(unit, cos, burst, 1, &rx_queue_t::burst);
}

int dxp_tarn_rx_cos_burst_get(int unit, int cos, int *burst) {
    return queue_get(unit, cos, burst, &rx_queue_t::burst);
}

int dxp_tarn_rx_cos_max_len_set(int unit, int cos, int len) {
    return queue_set(unit, cos, len, 0, &rx_queue_t::max_len);
}

int dxp_tarn_rx_cos_max_len_get(int unit, int cos, int *len) {
    return queue_get(unit, cos, len, &rx_queue_t::max_len);
}

void rx_process_packet(int unit, dxp_pkt *pkt) {
    if (pkt == nullptr) {
        rx_assert("pkt", __LINE__);
        return;
    }
    rx_ctl_t *ctl = ctl_of(unit);
    auto *dv = static_cast<dv_t *>(pkt->dv);
    if (ctl == nullptr || dv == nullptr || pkt != dv_pkt(ctl, dv, pkt->_idx)) {
        rx_assert("pkt == DV_PKT(dv, idx)", __LINE__);
        return;
    }
    if (thread_callouts(ctl) == 0) {
        pkt_complete(ctl, pkt);
        Spl spl;
        ctl->no_callout++;
        return;
    }
    bool handled = false;
    sal_mutex_take(ctl->mutex, sal_mutex_FOREVER);
    for (rx_callout_t *c = ctl->callouts; c != nullptr && !handled; c = c->next) {
        if (c->flags & kIntrCallout) continue;
        int rv = c->fn(pkt->rx_unit, pkt, c->cookie);
        if (rv == DXP_RX_HANDLED) {
            soc_cm_debug_print(kDbgPkt, "rx: pkt handled by %s\n", c->name);
            handled = true;
        } else if (rv == DXP_RX_HANDLED_OWNED) {
            soc_cm_debug_print(kDbgPkt, "rx: pkt owned by %s\n", c->name);
            pkt->alloc_ptr = nullptr;
            pkt->_pkt_data.data = nullptr;
            handled = true;
        } else if (rv != DXP_RX_NOT_HANDLED) {
            soc_cm_debug_print(kDbgWarn,
                               "rx_process_packet: unit=%d: Invalid callback return value=%d\n",
                               unit, rv);
        }
    }
    sal_mutex_give(ctl->mutex);
    if (!handled) {
        const soc_control_t *soc = SOC_CONTROL(unit);
        soc_cm_debug_print(kDbgErr,
                           "dxp_rx_process_packet: No handler processed packet: Unit %d Port %s\n",
                           unit, soc ? soc->port_name[pkt->rx_port] : "?");
    }
    pkt_complete(ctl, pkt);
}

int rx_counts_get(int unit, rx_counts_t *out) {
    rx_ctl_t *ctl = ctl_of(unit);
    if (ctl == nullptr) return SOC_E_INIT;
    Spl spl;
    *out = rx_counts_t{};
    out->received = ctl->received;
    out->no_callout = ctl->no_callout;
    out->chan_stopped = ctl->chan_stopped;
    out->thread_stopped = ctl->thread_stopped;
    out->bad = ctl->bad;
    out->bad_return = ctl->bad_return;
    for (const rx_chan_t &ch : ctl->chan) {
        out->discarded += ch.dpkt;
        out->alloc_failed += ch.mem_fail;
    }
    for (int c = 0; c < kCos; c++) {
        out->enqueued[c] = ctl->queue[c].enqueued;
        out->dropped[c] = ctl->queue[c].dropped;
    }
    return 0;
}

sal_thread_t rx_thread_get(int unit) {
    rx_ctl_t *ctl = ctl_of(unit);
    return ctl && ctl->running.load() ? ctl->thread : nullptr;
}

int rx_chain_state(int unit, int chan, int chain) {
    rx_ctl_t *ctl = ctl_of(unit);
    if (ctl == nullptr || chan < 0 || chan >= kChans || chain < 0 || chain >= kChainsMax) return -1;
    Spl spl;
    return ctl->chan[chan].info[chain] ? ctl->chan[chan].info[chain]->state : -1;
}
