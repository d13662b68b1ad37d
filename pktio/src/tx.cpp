// Transmit service: single sends (synchronous, or asynchronous with the
// completion on "dxpTX"), multi-port sends split by port group and tagging,
// and the "multiAsyncTX" queue for multi-port sends with a callback.
#include <atomic>
#include <cstring>

#include "dxp_error.h"
#include "et_soc.h"
#include "pktsvc.h"
#include "soc.h"
#include "soc_error.h"

namespace {

constexpr uint32_t kDbgTx = 0x2000;
constexpr uint32_t kDbgErr = 0x200000;
constexpr int kTxPktsMax = 16;
constexpr int kThreadPrio = 110;
constexpr uint32_t kSingleTxPorts = 0x1FFFFFFF;  // the port bits of one transmission's tag

struct tx_dv_info_t {  // "tx_dv", hung on user1
    dxp_pkt *pkts[kTxPktsMax];
    int pkt_count;
    uint8_t pkt_done;
    dxp_pkt_cb_f chain_done_cb;
    void *cookie;
};

struct async_req_t {  // "Async packet info"
    async_req_t *next;
    int unit;
    dxp_pkt *pkt;
    void *cookie;
};

sal_sem_t tx_cb_sem;      // "tx cb": a vector completed
sal_sem_t multi_sem;      // "multi tx cb": one group transmission at a time
sal_sem_t async_sem;      // counts queued asynchronous requests
sal_mutex_t async_mutex;  // "multi async queue mx"
async_req_t *async_head, *async_tail;
dv_t *done_head, *done_tail;
std::atomic<bool> threads_started{false};
std::atomic<uint32_t> sends{0}, completions{0}, chain_completions{0};

// Interrupt mask: the completed-vector list changes under it.
struct Spl {
    int level = sal_splhi();
    ~Spl() { sal_spl(level); }
};

void dv_free_with_info(int unit, dv_t *dv) {
    sal_free(dv->user1);
    dv->user1 = nullptr;
    soc_dv_free(unit, dv);
}

// The driver's chain completion, in its deferred-call context: the
// callbacks run on "dxpTX".
void tx_chain_done(int unit, dv_t *dv) {
    chain_completions++;
    dv->dv_unit = unit;
    {
        Spl spl;
        dv->dv_next = nullptr;
        if (done_tail)
            done_tail->dv_next = dv;
        else
            done_head = dv;
        done_tail = dv;
    }
    sal_sem_give(tx_cb_sem);
}

void tx_cb_thread(void *) {
    for (;;) {
        if (sal_sem_take(tx_cb_sem, sal_sem_FOREVER) < 0) {
            soc_cm_debug_print(kDbgErr, "TX callback thread error\n");
            return;
        }
        dv_t *list;
        {
            Spl spl;
            list = done_head;
            done_head = done_tail = nullptr;
        }
        while (list != nullptr) {
            dv_t *dv = list;
            list = dv->dv_next;
            completions++;
            // The chain's memory is freed before its sender hears of the
            // completion: a synchronous sender may tear down what it used
            // as soon as it is woken.
            auto *info = static_cast<tx_dv_info_t *>(dv->user1);
            const int unit = dv->dv_unit;
            dxp_pkt_cb_f done = info != nullptr ? info->chain_done_cb : nullptr;
            dxp_pkt *first = info != nullptr ? info->pkts[0] : nullptr;
            void *cookie = info != nullptr ? info->cookie : nullptr;
            dv_free_with_info(unit, dv);
            if (done != nullptr) done(unit, first, cookie);
        }
    }
}

dv_t *tx_dv_alloc(int unit, int pkts, int dcbs, dxp_pkt_cb_f cb, void *cookie) {
    if (pkts > kTxPktsMax) {
        soc_cm_debug_print(kDbgErr, "TX array:  Cannot TX more than %d pkts. Attempting %d.\n",
                           kTxPktsMax, pkts);
        return nullptr;
    }
    dv_t *dv = soc_dv_alloc(unit, DV_TX, dcbs);
    if (dv == nullptr) return nullptr;
    auto *info = static_cast<tx_dv_info_t *>(sal_alloc(sizeof(tx_dv_info_t), "tx_dv"));
    if (info == nullptr) {
        soc_dv_free(unit, dv);
        return nullptr;
    }
    *info = tx_dv_info_t{
        .pkts = {}, .pkt_count = 0, .pkt_done = 0, .chain_done_cb = cb, .cookie = cookie};
    dv->user1 = info;
    dv->dv_done_chain = tx_chain_done;
    return dv;
}

int tx_single(int unit, dxp_pkt *pkt, void *cookie) {
    char ports[24];
    sal_snprintf(ports, sizeof ports, "0x%08x%08x", pkt->tx_pbmp.w[1], pkt->tx_pbmp.w[0]);
    soc_cm_debug_print(kDbgTx, "dxp_tx: pkt, u %d. len[0] %d to %s. flags 0x%x\n", unit,
                       pkt->blk_count && pkt->pkt_data ? static_cast<int>(pkt->pkt_data[0].len) : 0,
                       ports, pkt->flags);
    soc_cm_debug_print(kDbgTx, "dxp_tx: dmod %d, dport %d, chan %d, op %d cos %d\n", pkt->dest_mod,
                       pkt->dest_port, pkt->dma_chan, pkt->opcode, pkt->cos);
    if (pkt->blk_count == 0 || pkt->pkt_data == nullptr) return SOC_E_PARAM;
    const char *why;
    int rv;
    dv_t *dv = tx_dv_alloc(unit, 1, pkt->blk_count + 3, pkt->call_back, cookie);
    if (dv == nullptr) {
        why = "Could not allocate dv/dv info";
        rv = SOC_E_MEMORY;
    } else {
        auto *info = static_cast<tx_dv_info_t *>(dv->user1);
        info->pkts[0] = pkt;
        info->pkt_count = 1;
        const soc_control_t *soc = SOC_CONTROL(unit);
        rv = soc_dma_tx_setup(soc_dma_unit_flags(unit), soc ? soc->cmic_port : 0, pkt, dv);
        if (rv < 0) {
            why = "Could not setup or add pkt to DV";
        } else {
            sends++;
            why = "Could not send pkt";
            if (pkt->call_back != nullptr) {
                soc_cm_debug_print(kDbgTx, "dxp_tx: async send\n");
                rv = soc_dma_start(unit, dv);
                if (rv >= 0) return 0;
            } else {
                soc_cm_debug_print(kDbgTx, "dxp_tx: sync send\n");
                rv = soc_dma_wait(unit, dv);
                if (rv >= 0) {
                    // Nothing to call back: the chain is freed here, so no
                    // work on it outlives the send.
                    chain_completions++;
                    completions++;
                    dv_free_with_info(unit, dv);
                    return 0;
                }
            }
        }
    }
    if (dv != nullptr) dv_free_with_info(unit, dv);
    soc_cm_debug_print(kDbgErr, "dxp_tx: %s\n", why);
    return rv;
}

void multi_give(int, dxp_pkt *, void *cookie) {
    sal_sem_give(static_cast<sal_sem_t>(cookie));
}

// The packet as the caller gave it to a multi-port send.
struct mtx_saved_t {
    dxp_pbmp_t tx_pbmp, tx_upbmp;
    dxp_pkt_cb_f call_back;
    uint8_t dest_mod;
    void *cookie;

    void restore(dxp_pkt *pkt) const {
        pkt->tx_pbmp = tx_pbmp;
        pkt->tx_upbmp = tx_upbmp;
        pkt->call_back = call_back;
        pkt->dest_mod = dest_mod;
    }
};

// Completion of the last transmission of an asynchronous multi-port send:
// the caller's callback may free the packet, so it is restored first.
void mtx_last_done(int unit, dxp_pkt *pkt, void *cookie) {
    auto *saved = static_cast<mtx_saved_t *>(cookie);
    saved->restore(pkt);
    void *caller_cookie = saved->cookie;
    sal_free(saved);
    pkt->call_back(unit, pkt, caller_cookie);
}

// The two port groups of a 64-bit bitmap, by chip type.
void split_groups(int unit, dxp_pbmp_t pbmp, uint32_t group[2]) {
    const soc_control_t *soc = SOC_CONTROL(unit);
    const uint32_t chip = soc ? soc->chip_flags : 0;
    const uint32_t lo = pbmp.w[0], hi = pbmp.w[1];
    if (chip & SOC_CHIP_DXP71090) {
        group[0] = lo & soc->port.bitmap.w[0];
        group[1] = lo >> 24;
    } else if (chip & SOC_CHIP_DXP7101_FAMILY) {
        group[0] = lo & 0xFFFFFF;
        group[1] = hi << 8 | lo >> 24;
        if (chip & SOC_CHIP_DXP7106) {
            group[0] = 0;
            group[1] = lo;
        }
    } else {
        group[0] = lo;
        group[1] = 0;
    }
}

int mtx_tx(int unit, dxp_pkt *pkt, void *cookie) {
    uint32_t ports[2], untagged[2];
    split_groups(unit, pkt->tx_pbmp, ports);
    split_groups(unit, pkt->tx_upbmp, untagged);
    struct send_t {
        uint8_t group;
        uint32_t ports, untagged;
    } sends_list[4];
    int n = 0;
    for (uint8_t g = 0; g < 2; g++) {
        const uint32_t u = ports[g] & untagged[g];
        if (u != 0) sends_list[n++] = {g, u, u};
        if ((ports[g] & ~u) != 0) sends_list[n++] = {g, ports[g] & ~u, 0};
    }
    const mtx_saved_t caller{pkt->tx_pbmp, pkt->tx_upbmp, pkt->call_back, pkt->dest_mod, cookie};
    // Once the last transmission is under way an asynchronous send leaves the
    // packet alone: its completion restores it.
    mtx_saved_t *saved = nullptr;
    if (caller.call_back != nullptr) {
        saved = static_cast<mtx_saved_t *>(sal_alloc(sizeof(mtx_saved_t), "mtx saved"));
        if (saved == nullptr) return SOC_E_MEMORY;
        *saved = caller;
    }
    int rv = 0;
    bool handed_over = false;
    for (int i = 0; i < n; i++) {
        sal_sem_take(multi_sem, sal_sem_FOREVER);
        const bool last = i == n - 1;
        pkt->dest_mod = sends_list[i].group;
        pkt->tx_pbmp = dxp_pbmp_t{{sends_list[i].ports, 0}};
        pkt->tx_upbmp = dxp_pbmp_t{{sends_list[i].untagged, 0}};
        void *send_cookie = multi_sem;
        pkt->call_back = multi_give;
        if (last) {
            pkt->call_back = saved != nullptr ? mtx_last_done : nullptr;
            send_cookie = saved != nullptr ? static_cast<void *>(saved) : cookie;
        }
        rv = tx_single(unit, pkt, send_cookie);
        if (rv < 0) {
            soc_cm_debug_print(kDbgErr, "_mtx_tx: %s\n", dxp_errmsg(rv));
            break;
        }
        handed_over = last && saved != nullptr;
    }
    // Also after a failure: otherwise every later multi-port send would wait.
    if (n > 0) sal_sem_give(multi_sem);
    if (!handed_over) {
        sal_free(saved);
        caller.restore(pkt);
    }
    return rv < 0 ? rv : 0;
}

int async_queue(int unit, dxp_pkt *pkt, void *cookie) {
    auto *req = static_cast<async_req_t *>(sal_dma_alloc(sizeof(async_req_t), "Async packet info"));
    if (req == nullptr) {
        soc_cm_debug_print(kDbgErr, "Can't allocate packet info\n");
        return SOC_E_MEMORY;
    }
    *req = async_req_t{.next = nullptr, .unit = unit, .pkt = pkt, .cookie = cookie};
    if (sal_mutex_take(async_mutex, sal_mutex_FOREVER) < 0) {
        soc_cm_debug_print(kDbgErr, "async tx: Can't take async TX mutex\n");
        sal_dma_free(req);
        return SOC_E_RESOURCE;
    }
    if (async_tail)
        async_tail->next = req;
    else
        async_head = req;
    async_tail = req;
    sal_mutex_give(async_mutex);
    sal_sem_give(async_sem);
    return 0;
}

int async_fetch(int *unit, dxp_pkt **pkt, void **cookie) {
    if (sal_sem_take(async_sem, sal_sem_FOREVER) < 0) {
        soc_cm_debug_print(kDbgErr, "async fetch: Can't take async TX semaphore\n");
        return SOC_E_RESOURCE;
    }
    if (sal_mutex_take(async_mutex, sal_mutex_FOREVER) < 0) {
        soc_cm_debug_print(kDbgErr, "async fetch: Can't take async TX mutex\n");
        return SOC_E_RESOURCE;
    }
    async_req_t *req = async_head;
    if (req != nullptr) {
        async_head = req->next;
        if (async_head == nullptr) async_tail = nullptr;
    }
    sal_mutex_give(async_mutex);
    if (req == nullptr) return SOC_E_RESOURCE;
    *unit = req->unit;
    *pkt = req->pkt;
    *cookie = req->cookie;
    sal_dma_free(req);
    return 0;
}

// A failed request is reported, its callback still runs, and the queue goes
// on, so that later asynchronous sends are not stranded.
void multi_async_thread(void *) {
    for (;;) {
        int unit;
        dxp_pkt *pkt;
        void *cookie;
        int rv = async_fetch(&unit, &pkt, &cookie);
        if (rv < 0) {
            soc_cm_debug_print(kDbgErr, "Async TX: fetch: %s\n", dxp_errmsg(rv));
            continue;
        }
        rv = mtx_tx(unit, pkt, cookie);
        if (rv < 0) {
            soc_cm_debug_print(kDbgErr, "Async TX: tx: %s\n", dxp_errmsg(rv));
            // The callback is the sender's only sign that the packet is free
            // again; without it the packet (and any copy made for the send)
            // would be held for ever.
            pkt->call_back(unit, pkt, cookie);
        }
    }
}

bool thread_ok(sal_thread_t t) {
    return t != nullptr && t != SAL_THREAD_ERROR;
}

}  // namespace

int dxp_tarn_tx_init(int) {
    if (tx_cb_sem == nullptr) tx_cb_sem = sal_sem_create("tx cb", 1, 0);
    if (tx_cb_sem == nullptr) return SOC_E_MEMORY;
    if (threads_started.load()) return 0;
    multi_sem = sal_sem_create("multi tx cb", 1, 1);
    async_sem = sal_sem_create("multi tx cb", 0, 0);
    async_mutex = sal_mutex_create("multi async queue mx");
    if (multi_sem == nullptr || async_sem == nullptr || async_mutex == nullptr) return SOC_E_MEMORY;
    if (!thread_ok(sal_thread_create("dxpTX", 16384, kThreadPrio, tx_cb_thread, nullptr)) ||
        !thread_ok(
            sal_thread_create("multiAsyncTX", 16384, kThreadPrio, multi_async_thread, nullptr)))
        return SOC_E_MEMORY;
    threads_started.store(true);
    return 0;
}

int dxp_tarn_tx(int unit, dxp_pkt *pkt, void *cookie) {
    if (pkt == nullptr) return SOC_E_PARAM;
    if (!threads_started.load()) return SOC_E_INIT;
    // One transmission names ports 0 to 28 only: a resolved destination
    // beyond them (the 52-port chip's upper ports) goes by port group too.
    const bool one_transmission = (pkt->flags & DXP_TX_ETHER) &&
                                  (pkt->tx_pbmp.w[0] & ~kSingleTxPorts) == 0 &&
                                  pkt->tx_pbmp.w[1] == 0;
    if (!dxp_pbmp_is_null(pkt->tx_pbmp) && !one_transmission) {
        return pkt->call_back ? async_queue(unit, pkt, cookie) : mtx_tx(unit, pkt, cookie);
    }
    return tx_single(unit, pkt, cookie);
}

// The packets go out one after the other in array order, each as dxp_tx
// sends it; the completion runs once, after the last.
int dxp_tarn_tx_array(int unit, dxp_pkt **pkts, int count, dxp_pkt_cb_f all_done, void *cookie) {
    if (pkts == nullptr || count < 1) return SOC_E_PARAM;
    if (count > kTxPktsMax) {
        soc_cm_debug_print(kDbgErr, "TX array:  Cannot TX more than %d pkts. Attempting %d.\n",
                           kTxPktsMax, count);
        return SOC_E_PARAM;
    }
    for (int i = 0; i < count; i++)
        if (pkts[i] == nullptr || pkts[i]->call_back != nullptr) return SOC_E_PARAM;
    for (int i = 0; i < count; i++) {
        if (int rv = dxp_tarn_tx(unit, pkts[i], cookie); rv < 0) {
            soc_cm_debug_print(kDbgErr, "TX array: packet %d: %s\n", i, dxp_errmsg(rv));
            return rv;
        }
    }
    if (all_done != nullptr) all_done(unit, pkts[0], cookie);
    return 0;
}

int dxp_tarn_tx_pkt_map(int, dxp_pkt *pkt, dxp_pbmp_t tx_pbmp, dxp_pbmp_t tx_upbmp) {
    if (pkt == nullptr) return SOC_E_PARAM;
    pkt->tx_pbmp = tx_pbmp;
    pkt->tx_upbmp = tx_upbmp;
    return 0;
}
