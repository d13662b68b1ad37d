// The management interface "eth1" over the switch's CPU port.
#include "end_drv.h"

#include <atomic>
#include <cstring>

#include "logger.h"
#include "net_util.h"
#include "nvram.h"
#include "pkt.h"
#include "sal.h"
#include "sal_lock.h"

namespace {

struct LearnEntry {
    dxp_mac_t mac;
    dxp_vlan_t vid;
    bool valid;
};

// Hand-over record of a received frame until the stack has copied it.
struct SgPkt {
    uint8_t *data;
    int len;
};

struct EndState {
    std::atomic<int> reg_state{-1};  // -1 never registered, 1 started, 0 stopped
    pkt *txq_head = nullptr;
    pkt *txq_tail = nullptr;
    int txq_count = 0;
    unsigned long keys[END_KEYS] = {};
    int key_put = 0;
    int key_done = 0;
    SgPkt *rx_frame = nullptr;
    dxp_mac_t mac = {};
    dxp_vlan_t default_vid = 1;

    // Learning table: written by the receive thread, read by the stack's
    // send; the counters are shared the same way.
    sal_mutex_t lock = sal_mutex_create("END");
    LearnEntry learn[END_LEARN_SIZE] = {};
    int replace = 0;
    uint32_t rx = 0, tx = 0, bcast = 0, mcast = 0, ucast = 0;
    uint32_t runts = 0, refused = 0;

    // The CPU MAC of the last start.
    dxp_mac_t cpu_mac = {};
    bool cpu_mac_known = false;

    // Serialises the stack's sends, start and stop.
    sal_mutex_t tx_lock = sal_mutex_create("END TX");
};

EndState &state() {
    static auto *s = new EndState;
    return *s;
}

const end_board_t *board_hooks = nullptr;

const end_switch_ops_t kDefaultOps = {
    .rx_start = dxpx_rx_start,
    .rx_register = dxpx_rx_register,
    .tx = dxpx_tx,
    .l2_addr_add = dxpx_l2_addr_add,
    .l2_addr_delete = dxpx_l2_addr_delete,
    .cpu_lport_get = dxpx_unit_cpu_lport_get,
};
const end_switch_ops_t *ops = &kDefaultOps;

int user_port_count() {
    return board_hooks && board_hooks->user_port_count ? board_hooks->user_port_count() : 0;
}

dxp_vlan_t port_vid(int uport) {
    int pvid = board_hooks && board_hooks->pvid_get ? board_hooks->pvid_get(uport - 1) : 1;
    return static_cast<dxp_vlan_t>(pvid);
}

int mac_from_nvram(dxp_mac_t mac) {
    const char *text = nvram_get("et1macaddr");
    if (text == nullptr || *text == '\0') text = END_DEFAULT_MAC;
    return net_util_mac_parse(text, mac);
}

// A fresh flash holds no address: the one eth1 runs with is stored, so the
// system page, the SNMP engine ID and ARP inspection all see it.
void mac_store_default() {
    const char *text = nvram_get("et1macaddr");
    if (text != nullptr && *text != '\0') return;
    if (nvram_set("et1macaddr", END_DEFAULT_MAC) != 0 || nvram_commit() != 0)
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_NETWORK, "eth1: et1macaddr cannot be stored");
}

void learn(EndState &s, const uint8_t *mac, dxp_vlan_t vid) {
    SalLock g(s.lock);
    int i = 0;
    for (; i < END_LEARN_SIZE && s.learn[i].valid; i++) {
        if (std::memcmp(s.learn[i].mac, mac, 6) == 0) {
            s.learn[i].vid = vid;
            return;
        }
    }
    if (i == END_LEARN_SIZE) {
        i = s.replace;
        s.replace = (s.replace + 1) % END_LEARN_SIZE;
    }
    std::memcpy(s.learn[i].mac, mac, 6);
    s.learn[i].vid = vid;
    s.learn[i].valid = true;
}

dxp_vlan_t lookup(EndState &s, const uint8_t *mac) {
    SalLock g(s.lock);
    for (int i = 0; i < END_LEARN_SIZE && s.learn[i].valid; i++) {
        if (std::memcmp(s.learn[i].mac, mac, 6) == 0) return s.learn[i].vid;
    }
    return END_VID_NONE;
}

void count(EndState &s, uint32_t EndState::*counter) {
    SalLock g(s.lock);
    s.*counter += 1;
}

void l2_record(const dxp_mac_t mac, dxp_vlan_t vid, dxpx_l2_addr_t *rec) {
    dxpx_l2_addr_init(rec, mac, vid);
    int lport = DXPX_LPORT_CPU;
    ops->cpu_lport_get(DXPX_CPU_UNIT, &lport);
    rec->lport = lport;
    rec->cos_dst = 7;
    rec->flags = END_L2_FLAGS;
}

int rx_callout(int, dxp_pkt *pkt, void *cookie) {
    auto &s = *static_cast<EndState *>(cookie);
    if (s.reg_state != 1 || pkt == nullptr || pkt->pkt_data == nullptr) return DXP_RX_NOT_HANDLED;
    // Never read beyond the first block, whatever tot_len claims.
    uint32_t avail = pkt->tot_len;
    if (avail > pkt->pkt_data[0].len) avail = pkt->pkt_data[0].len;
    int len = static_cast<int>(avail);
    uint8_t *data = pkt->pkt_data[0].data;
    if (data == nullptr || len < END_RX_MIN) {
        count(s, &EndState::runts);
        return DXP_RX_HANDLED;
    }
    auto *rec = static_cast<SgPkt *>(sal_alloc(sizeof(SgPkt), "sgpkt"));
    if (rec == nullptr) return DXP_RX_NOT_HANDLED;
    if (data[12] == 0x81 && data[13] == 0x00) {
        auto vid = static_cast<dxp_vlan_t>(((data[14] & 0x0f) << 8) | data[15]);
        std::memmove(data + 12, data + 16, static_cast<size_t>(len - 16));
        len -= 4;
        learn(s, data + 6, vid);
    }
    rec->data = data;
    rec->len = len - 4;  // the frame check sequence stays behind
    s.rx_frame = rec;
    end0_sc.funs->eth_drv->recv(&end0_sc, rec->len);
    if (s.rx_frame != nullptr) {  // the stack never asked for it
        sal_free(s.rx_frame);
        s.rx_frame = nullptr;
    }
    count(s, &EndState::rx);
    return DXP_RX_HANDLED;
}

void end_recv(eth_drv_sc *, eth_drv_sg *sg_list, int sg_len) {
    EndState &s = state();
    SgPkt *rec = s.rx_frame;
    if (rec == nullptr) return;
    int done = 0;
    for (int i = 0; i < sg_len && done < rec->len && sg_list[i].buf != 0; i++) {
        int n = static_cast<int>(sg_list[i].len);
        if (n > rec->len - done) n = rec->len - done;
        std::memcpy(reinterpret_cast<void *>(sg_list[i].buf), rec->data + done,
                    static_cast<size_t>(n));
        done += n;
    }
    sal_free(rec);
    s.rx_frame = nullptr;
}

void tx_free(int, dxp_pkt *pkt, void *) {
    if (pkt == nullptr) return;
    sal_dma_free(pkt->_pkt_data.data);
    sal_free(pkt);
}

// Sends one copied frame; false stops the drain.
bool send_one(EndState &s, const pkt *frame) {
    const uint8_t *f = frame->data;
    const int len = static_cast<int>(frame->len);
    auto *dp = static_cast<dxp_pkt *>(sal_alloc(sizeof(dxp_pkt), "dxp pkt"));
    auto *buf = static_cast<uint8_t *>(sal_dma_alloc(END_DMA_BUF, "packet"));
    if (dp == nullptr || buf == nullptr) {
        sal_free(dp);
        sal_dma_free(buf);
        return false;
    }
    dp->_pkt_data.data = buf;
    std::memcpy(buf, f, 12);
    int out_len = len;
    if (f[12] == 0x81 && f[13] == 0x00) {
        std::memcpy(buf + 12, f + 12, static_cast<size_t>(len - 12));
    } else {
        dxp_vlan_t vid = s.default_vid;
        if ((f[0] & 1) == 0) vid = lookup(s, f);
        if (vid == END_VID_NONE) {
            tx_free(0, dp, nullptr);
            return false;
        }
        std::memcpy(buf + 16, f + 12, static_cast<size_t>(len - 12));
        buf[12] = 0x81;
        buf[13] = 0x00;
        buf[14] = static_cast<uint8_t>((vid >> 8) & 0x0f);
        buf[15] = static_cast<uint8_t>(vid & 0xff);
        out_len += 4;
    }
    dp->_pkt_data.len = static_cast<uint32_t>(out_len);
    dp->pkt_data = &dp->_pkt_data;
    dp->blk_count = 1;
    dp->tot_len = static_cast<uint16_t>(out_len);
    dp->pkt_len = static_cast<uint16_t>(out_len);
    dp->flags = (dp->flags & ~DXP_PKT_F_CRC_MASK) | END_TX_FLAGS;
    dp->call_back = tx_free;

    static const uint8_t kBroadcast[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    uint32_t EndState::*counter = &EndState::ucast;
    if (std::memcmp(f, kBroadcast, 6) == 0) {
        counter = &EndState::bcast;
    } else if (f[0] & 1) {
        count(s, &EndState::mcast);
        tx_free(0, dp, nullptr);
        return false;
    } else {
        dp->unit = DXPX_CPU_UNIT;
    }
    if (ops->tx(dp, nullptr) < 0) {
        tx_free(0, dp, nullptr);
        return false;
    }
    SalLock g(s.lock);
    s.*counter += 1;
    s.tx++;
    return true;
}

void drain(EndState &s) {
    while (s.txq_head != nullptr) {
        pkt *frame = s.txq_head;
        s.txq_head = frame->next;
        if (s.txq_head == nullptr) s.txq_tail = nullptr;
        s.txq_count--;
        frame->next = nullptr;
        bool go_on = send_one(s, frame);
        pkt_free(frame);
        if (!go_on) break;
    }
}

void report_done(eth_drv_sc *sc, EndState &s) {
    while (s.key_done != s.key_put) {
        sc->funs->eth_drv->tx_done(sc, s.keys[s.key_done], ETH_DRV_TX_OK);
        s.key_done = (s.key_done + 1) % END_KEYS;
    }
}

void refuse(eth_drv_sc *sc, EndState &s, unsigned long key) {
    count(s, &EndState::refused);
    sc->funs->eth_drv->tx_done(sc, key, ETH_DRV_TX_FAILED);
}

void end_send(eth_drv_sc *sc, eth_drv_sg *sg_list, int sg_len, int total_len, unsigned long key) {
    EndState &s = state();
    SalLock g(s.tx_lock);
    report_done(sc, s);
    // A frame with no room for its header, or one that would not fit the
    // transmit buffer once tagged, is refused: the stack still gets its key.
    if (s.txq_count >= END_TXQ_MAX || total_len < 14 || total_len > END_DMA_BUF - 4) {
        refuse(sc, s, key);
        return;
    }
    pkt *frame = pkt_get(static_cast<size_t>(total_len));
    if (frame == nullptr) {
        refuse(sc, s, key);
        return;
    }
    uint32_t done = 0;
    for (int i = 0; i < sg_len && done < frame->len; i++) {
        uint32_t n = sg_list[i].len < frame->len - done ? sg_list[i].len : frame->len - done;
        if (sg_list[i].buf == 0) break;
        std::memcpy(frame->data + done, reinterpret_cast<const void *>(sg_list[i].buf), n);
        done += n;
    }
    frame->len = done;
    if (done < 14) {
        pkt_free(frame);
        refuse(sc, s, key);
        return;
    }
    s.keys[s.key_put] = key;
    s.key_put = (s.key_put + 1) % END_KEYS;
    if (s.txq_tail != nullptr)
        s.txq_tail->next = frame;
    else
        s.txq_head = frame;
    s.txq_tail = frame;
    s.txq_count++;
    drain(s);
    report_done(sc, s);
}

void end_start(eth_drv_sc *, unsigned char *, int) {
    EndState &s = state();
    SalLock g(s.tx_lock);
    s.default_vid = 1;
    if (mac_from_nvram(s.mac) != 0) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_NETWORK, "eth1: malformed et1macaddr \"%s\"",
                      nvram_get("et1macaddr"));
        return;
    }
    {
        SalLock l(s.lock);
        std::memcpy(s.cpu_mac, s.mac, 6);
        s.cpu_mac_known = true;
    }
    int rv = ops->rx_start();
    if (rv < 0) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_NETWORK, "eth1: receive start failed (%d)", rv);
        return;
    }
    {
        SalLock l(s.lock);
        std::memset(s.learn, 0, sizeof s.learn);
        s.replace = 0;
    }
    for (int uport = 1; uport <= user_port_count(); uport++) {
        dxpx_l2_addr_t rec{};
        l2_record(s.mac, port_vid(uport), &rec);
        ops->l2_addr_add(&rec, 0);
    }
    if (s.reg_state < 0) {
        rv = ops->rx_register("ECOSEND", rx_callout, END_CALLOUT_PRIO, &s, END_CALLOUT_FLAGS);
        if (rv < 0) {
            logger_printf(LOG_LEVEL_ERROR, LOG_MOD_NETWORK, "eth1: callout failed (%d)", rv);
            return;
        }
    }
    s.reg_state = 1;
}

void end_stop(eth_drv_sc *) {
    EndState &s = state();
    SalLock g(s.tx_lock);
    if (s.reg_state == 1) s.reg_state = 0;
    for (int uport = 1; uport <= user_port_count(); uport++)
        ops->l2_addr_delete(s.mac, port_vid(uport));
}

eth_hwr_funs end_funs = {
    .start = end_start,
    .stop = end_stop,
    .control = [](eth_drv_sc *, unsigned long, void *, int) { return 0; },
    .can_send = [](eth_drv_sc *) { return 1; },
    .send = end_send,
    .recv = end_recv,
    .deliver = [](eth_drv_sc *) {},
    .poll = [](eth_drv_sc *) {},
    .int_vector = [](eth_drv_sc *) { return 0; },
    .eth_drv = &eth_drv_funs_table,
};

bool end_init(eth_drv_sc *sc) {
    EndState &s = state();
    dxp_mac_t mac;
    mac_store_default();
    if (mac_from_nvram(mac) != 0) return false;
    end_reset();
    std::memcpy(s.mac, mac, 6);
    sc->funs->eth_drv->init(sc, s.mac);
    return true;
}

}  // namespace

eth_drv_sc end0_sc = {
    .funs = &end_funs,
    .driver_private = nullptr,
    .dev_name = "eth1",
    .state = 0,
    .enaddr = {},
    .host = nullptr,
};

const eth_drv_device dev_end0 = {
    .name = "dev_end0",
    .init = end_init,
    .sc = &end0_sc,
};

void end_board_register(const end_board_t *board) {
    board_hooks = board;
}

const end_switch_ops_t *end_switch_ops_set(const end_switch_ops_t *table) {
    const end_switch_ops_t *prev = ops;
    ops = table != nullptr ? table : &kDefaultOps;
    return prev;
}

void end_counters_get(uint32_t *rx, uint32_t *tx, uint32_t *bcast, uint32_t *mcast,
                      uint32_t *ucast) {
    EndState &s = state();
    SalLock g(s.lock);
    if (rx) *rx = s.rx;
    if (tx) *tx = s.tx;
    if (bcast) *bcast = s.bcast;
    if (mcast) *mcast = s.mcast;
    if (ucast) *ucast = s.ucast;
}

void end_counters_clear(void) {
    EndState &s = state();
    SalLock g(s.lock);
    s.rx = s.tx = s.bcast = s.mcast = s.ucast = 0;
}

uint32_t end_rx_runts_get(void) {
    EndState &s = state();
    SalLock g(s.lock);
    return s.runts;
}

uint32_t end_tx_refused_get(void) {
    EndState &s = state();
    SalLock g(s.lock);
    return s.refused;
}

int end_cpu_l2_addr_get(dxp_vlan_t vid, dxpx_l2_addr_t *record) {
    EndState &s = state();
    if (record == nullptr) return 0;
    dxp_mac_t mac;
    {
        SalLock g(s.lock);
        if (!s.cpu_mac_known) return 0;
        std::memcpy(mac, s.cpu_mac, 6);
    }
    l2_record(mac, vid, record);
    return 1;
}

void end_reset(void) {
    EndState &s = state();
    SalLock g(s.tx_lock);
    pkt_free(s.txq_head);
    // pkt_free follows the chain: the whole queue is gone.
    s.txq_head = s.txq_tail = nullptr;
    s.txq_count = 0;
    s.key_put = s.key_done = 0;
    s.reg_state = -1;
    SalLock l(s.lock);
    std::memset(s.learn, 0, sizeof s.learn);
    s.replace = 0;
    s.rx = s.tx = s.bcast = s.mcast = s.ucast = s.runts = s.refused = 0;
    s.cpu_mac_known = false;
    s.default_vid = 1;
}
