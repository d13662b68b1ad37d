// A board with its CPU-port MAC attached through the unit life cycle, the
// packet path registered; frames the MAC transmits are captured.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "board_host.h"
#include "et_soc.h"
#include "sal.h"
#include "sal_config.h"
#include "sim/board.h"
#include "sim/host_binding.h"
#include "soc.h"
#include "soc_pktio.h"
#include "soc_sysconf.h"

namespace pktio_test {

constexpr int kNic = 1;

// Records the assertions the code under test raises instead of stopping.
class AssertCapture {
  public:
    AssertCapture() {
        seen().clear();
        prev_ = sal_assert_set(record);
    }
    ~AssertCapture() { sal_assert_set(prev_); }
    static std::vector<std::string> &seen() {
        static std::vector<std::string> s;
        return s;
    }

  private:
    static void record(const char *expr, const char *, int) { seen().push_back(expr); }
    sal_assert_handler_t prev_;
};

// Polls until the condition holds or five seconds pass.
inline bool eventually(const std::function<bool()> &cond) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::yield();
    }
    return true;
}

// A switch frame to the CPU: tag word with port and length (at len_shift;
// 17 on chips with a 12-bit length), 802.1Q tag, FCS.
inline std::vector<uint8_t> to_cpu(size_t len, int port, int len_shift = 15) {
    std::vector<uint8_t> f(len, 0x5A);
    for (int i = 0; i < 12; i++)
        f[i] = static_cast<uint8_t>(0x20 + i);
    uint32_t word = static_cast<uint32_t>(len - 10) << len_shift | static_cast<uint32_t>(port);
    const uint8_t tag[] = {0x88,
                           0x74,
                           static_cast<uint8_t>(word >> 24),
                           static_cast<uint8_t>(word >> 16),
                           static_cast<uint8_t>(word >> 8),
                           static_cast<uint8_t>(word),
                           0x81,
                           0x00};
    std::memcpy(&f[12], tag, sizeof tag);
    return f;
}

inline void forget_everything() {
    soc_host_forget_units();
    sysconf_host_forget();
    board_host_forget_devices();
    sim::unbindHost();
}

class PktioTest : public ::testing::Test {
  protected:
    void SetUp() override {
        AssertCapture::seen().clear();
        forget_everything();
        sim::BoardConfig config = sim::BoardConfig::preset(sim::BoardKind::RW3090);
        config.bus = sim::BusMode::Direct;
        board = std::make_unique<sim::Board>(config);
        sim::bindHost(*board);
        board->mac().setTransmitSink([this](std::vector<uint8_t> f) {
            std::lock_guard<std::mutex> g(lock);
            sent.push_back(std::move(f));
        });
        pktio_register();
        static const soc_cm_init_t vectors = {print, nullptr, nullptr};
        ASSERT_EQ(soc_cm_init(&vectors), 0);
        ASSERT_EQ(sysconf_probe(), 0);
        ASSERT_EQ(soc_cm_get_num_devices(), 2);
        ASSERT_EQ(sysconf_attach(kNic), 0);
        et = et_soc_get();
        ASSERT_NE(et, nullptr);
    }
    void TearDown() override {
        if (et_soc_get()) {
            et_soc_stop(kNic);
            et_soc_detach(kNic);
        }
        soc_pktio_register(nullptr);
        forget_everything();
        board->mac().setTransmitSink(nullptr);
        for (const sim::Anomaly &a : board->anomalies().list())
            ADD_FAILURE() << "chip model anomaly: " << a.text;
        board.reset();
    }
    static int print(uint32_t, const char *, va_list) { return 0; }

    std::vector<std::vector<uint8_t>> frames() {
        std::lock_guard<std::mutex> g(lock);
        return sent;
    }
    // A receive vector over one DMA buffer of the ring's size.
    static dv_t *rx_vector(dv_done_chain_t done) {
        dv_t *dv = soc_dv_alloc(kNic, DV_RX, 1);
        auto *buf = static_cast<uint8_t *>(sal_dma_alloc(ET_SOC_RXBUFSIZE, "rx"));
        soc_dv_desc_add(dv, buf, ET_SOC_RXBUFSIZE);
        dv->dv_done_chain = done;
        return dv;
    }
    static void free_rx_vector(dv_t *dv) {
        sal_dma_free(dv->dv_dcb[0].addr);
        soc_dv_free(kNic, dv);
    }
    // Reads driver state under the glue's lock, which its deferred routine
    // holds while it changes it.
    template <class F>
    auto locked(F f) {
        sal_mutex_take(et->soc_dma, sal_mutex_FOREVER);
        auto v = f();
        sal_mutex_give(et->soc_dma);
        return v;
    }
    dma_info_t *di() const { return et_chip_dma(et->etc->ch); }

    std::unique_ptr<sim::Board> board;
    et_soc_info_t *et = nullptr;
    std::mutex lock;
    std::vector<std::vector<uint8_t>> sent;
};

}  // namespace pktio_test
