// The stack side of the generic Ethernet driver interface on the host: frames
// a driver receives are copied into stack buffers and queued per interface.
#include "eth_drv.h"

#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "pkt.h"

struct eth_drv_host_if {
    std::mutex lock;
    std::deque<std::vector<uint8_t>> queue;
    unsigned dropped = 0;
    unsigned tx_done = 0;
    std::deque<std::pair<unsigned long, int>> done;
    eth_drv_host_sink_fn sink = nullptr;
    void *sink_ctx = nullptr;
};

namespace {

constexpr int kMaxDevices = 4;

struct Registry {
    std::mutex lock;
    std::vector<eth_drv_sc *> interfaces;
    eth_drv_device devices[kMaxDevices] = {};
    int num_devices = 0;
};

Registry &registry() {
    static auto *r = new Registry;
    return *r;
}

void stack_init(eth_drv_sc *sc, unsigned char *enaddr) {
    if (sc == nullptr) return;
    if (enaddr != nullptr) std::memcpy(sc->enaddr, enaddr, sizeof sc->enaddr);
    Registry &r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    if (sc->host == nullptr) {
        sc->host = new eth_drv_host_if;
        r.interfaces.push_back(sc);
    }
    sc->state = 1;
}

void stack_recv(eth_drv_sc *sc, int total_len) {
    if (sc == nullptr || sc->host == nullptr) return;
    eth_drv_host_if &h = *sc->host;
    pkt *buf = total_len > 0 ? pkt_get(static_cast<size_t>(total_len)) : nullptr;
    if (buf == nullptr) {
        // The driver frees its frame in recv: an entry without an address
        // lets it drop the frame instead of keeping it for ever.
        eth_drv_sg none{0, 0};
        sc->funs->recv(sc, &none, 1);
        std::lock_guard<std::mutex> g(h.lock);
        h.dropped++;
        return;
    }
    eth_drv_sg sg{reinterpret_cast<uintptr_t>(buf->data), buf->len};
    sc->funs->recv(sc, &sg, 1);
    std::vector<uint8_t> frame(buf->data, buf->data + buf->len);
    pkt_free(buf);
    eth_drv_host_sink_fn sink;
    void *ctx;
    {
        std::lock_guard<std::mutex> g(h.lock);
        sink = h.sink;
        ctx = h.sink_ctx;
    }
    if (sink != nullptr) {
        sink(ctx, frame.data(), frame.size());
        return;
    }
    std::lock_guard<std::mutex> g(h.lock);
    if (h.queue.size() >= ETH_DRV_HOST_QUEUE) {
        h.dropped++;
        return;
    }
    h.queue.push_back(std::move(frame));
}

void stack_tx_done(eth_drv_sc *sc, unsigned long key, int status) {
    if (sc == nullptr || sc->host == nullptr) return;
    std::lock_guard<std::mutex> g(sc->host->lock);
    sc->host->tx_done++;
    if (sc->host->done.size() >= ETH_DRV_HOST_QUEUE) sc->host->done.pop_front();
    sc->host->done.emplace_back(key, status);
}

}  // namespace

const eth_drv_funs eth_drv_funs_table = {stack_init, stack_recv, stack_tx_done};

int eth_drv_device_register(const eth_drv_device *dev) {
    if (dev == nullptr || dev->init == nullptr || dev->sc == nullptr) return -1;
    Registry &r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    if (r.num_devices >= kMaxDevices) return -1;
    r.devices[r.num_devices++] = *dev;
    return 0;
}

int eth_drv_devices_init(void) {
    Registry &r = registry();
    int count;
    eth_drv_device devices[kMaxDevices];
    {
        std::lock_guard<std::mutex> g(r.lock);
        count = r.num_devices;
        std::copy(r.devices, r.devices + count, devices);
    }
    int ok = 0;
    for (int i = 0; i < count; i++) {
        if (devices[i].init(devices[i].sc)) ok++;
    }
    return ok;
}

eth_drv_sc *eth_drv_host_find(const char *ifname) {
    if (ifname == nullptr) return nullptr;
    Registry &r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    for (eth_drv_sc *sc : r.interfaces) {
        if (sc->dev_name != nullptr && std::strcmp(sc->dev_name, ifname) == 0) return sc;
    }
    return nullptr;
}

int eth_drv_host_receive(eth_drv_sc *sc, uint8_t *buf, size_t size) {
    if (sc == nullptr || sc->host == nullptr || buf == nullptr) return -1;
    std::lock_guard<std::mutex> g(sc->host->lock);
    if (sc->host->queue.empty()) return -1;
    std::vector<uint8_t> frame = std::move(sc->host->queue.front());
    sc->host->queue.pop_front();
    size_t n = frame.size() < size ? frame.size() : size;
    std::memcpy(buf, frame.data(), n);
    return static_cast<int>(n);
}

int eth_drv_host_pending(eth_drv_sc *sc) {
    if (sc == nullptr || sc->host == nullptr) return 0;
    std::lock_guard<std::mutex> g(sc->host->lock);
    return static_cast<int>(sc->host->queue.size());
}

unsigned eth_drv_host_dropped(eth_drv_sc *sc) {
    if (sc == nullptr || sc->host == nullptr) return 0;
    std::lock_guard<std::mutex> g(sc->host->lock);
    return sc->host->dropped;
}

int eth_drv_host_send(eth_drv_sc *sc, const uint8_t *frame, size_t len, unsigned long key) {
    if (sc == nullptr || sc->funs == nullptr || frame == nullptr || len == 0) return -1;
    if (sc->funs->can_send && !sc->funs->can_send(sc)) return -1;
    eth_drv_sg sg{reinterpret_cast<uintptr_t>(frame), static_cast<uint32_t>(len)};
    sc->funs->send(sc, &sg, 1, static_cast<int>(len), key);
    return 0;
}

unsigned eth_drv_host_tx_done(eth_drv_sc *sc) {
    if (sc == nullptr || sc->host == nullptr) return 0;
    std::lock_guard<std::mutex> g(sc->host->lock);
    return sc->host->tx_done;
}

void eth_drv_host_reset(void) {
    Registry &r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    for (eth_drv_sc *sc : r.interfaces) {
        delete sc->host;
        sc->host = nullptr;
        sc->state = 0;
    }
    r.interfaces.clear();
    r.num_devices = 0;
}

int eth_drv_host_tx_done_take(eth_drv_sc *sc, unsigned long *key, int *status) {
    if (sc == nullptr || sc->host == nullptr) return -1;
    std::lock_guard<std::mutex> g(sc->host->lock);
    if (sc->host->done.empty()) return -1;
    if (key != nullptr) *key = sc->host->done.front().first;
    if (status != nullptr) *status = sc->host->done.front().second;
    sc->host->done.pop_front();
    return 0;
}

void eth_drv_host_sink_set(eth_drv_sc *sc, eth_drv_host_sink_fn sink, void *ctx) {
    if (sc == nullptr || sc->host == nullptr) return;
    std::lock_guard<std::mutex> g(sc->host->lock);
    sc->host->sink = sink;
    sc->host->sink_ctx = ctx;
}
