// The board glue over a simulated board: GPIO pins, the device enumerator,
// DMA memory, host memory access and the host program's board set-up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bde.h"
#include "board_host.h"
#include "chipdata/ids.h"
#include "sal.h"
#include "sal_mem.h"
#include "sb.h"
#include "sim/board.h"
#include "sim/host_binding.h"

namespace {

// Binds a board of the given kind for the test and unbinds it afterwards.
class BoundBoard {
  public:
    explicit BoundBoard(sim::BoardConfig config) : board(config) {
        board_host_forget_devices();
        sim::bindHost(board);
    }
    ~BoundBoard() {
        board_host_forget_devices();
        bde_switch_access_register(nullptr);
        sim::unbindHost();
    }
    sim::Board board;
};

sim::BoardConfig rw3090() {
    return sim::BoardConfig::preset(sim::BoardKind::RW3090);
}

TEST(board_gpio, PinListenerSeesAByteWrittenMsbFirst) {
    BoundBoard b(rw3090());
    sb_t *sbh = sb_attach(SB_CC_CORE_ID, 0);
    ASSERT_NE(sbh, nullptr);
    const uint32_t clk = 0x08, dout = 0x10, din = 0x20;
    std::vector<int> sampled;
    int id = b.board.gpio().addListener([&](uint32_t levels, uint32_t changed) {
        if ((changed & clk) && (levels & clk)) sampled.push_back((levels & dout) ? 1 : 0);
        // Answer on data-in with the inverse of the clock.
        b.board.gpio().drive(din, (levels & clk) ? 0 : din);
    });
    EXPECT_EQ(sb_gpioouten(sbh, clk | dout, clk | dout), clk | dout);
    sb_gpioout(sbh, clk, clk);  // idle high, so the first bit starts with a falling edge
    sampled.clear();
    const uint8_t byte = 0xa5;
    for (int bit = 7; bit >= 0; bit--) {
        sb_gpioout(sbh, clk, 0);
        EXPECT_EQ(sb_gpioin(sbh) & din, din);
        sb_gpioout(sbh, dout, (byte >> bit) & 1 ? dout : 0);
        sb_gpioout(sbh, clk, clk);
        EXPECT_EQ(sb_gpioin(sbh) & din, 0u);
    }
    EXPECT_EQ(sampled, (std::vector<int>{1, 0, 1, 0, 0, 1, 0, 1}));
    b.board.gpio().removeListener(id);
    sb_detach(sbh);
}

TEST(board_gpio, CoreSelectionAndCoresOfTheBoard) {
    BoundBoard b(rw3090());
    sb_t *sbh = sb_attach(SB_CC_CORE_ID, 0);
    ASSERT_NE(sbh, nullptr);
    EXPECT_EQ(sb_soc_coreid(sbh), SB_CC_CORE_ID);
    unsigned saved = sb_coreidx(sbh);
    sb_setcoreidx(sbh, 2);
    EXPECT_EQ(sb_coreidx(sbh), 2u);
    sb_setcore_gpio(sbh);
    EXPECT_EQ(sb_soc_coreid(sbh), SB_CC_CORE_ID);
    sb_setcoreidx(sbh, saved);
    EXPECT_EQ(sb_coreidx(sbh), saved);
    EXPECT_EQ(sb_bus(sbh), SB_BUS_SYSTEM);
    EXPECT_NE(sb_clock(sbh), 0u);
    // This board carries no Ethernet MAC core for eth0.
    EXPECT_EQ(sb_attach(SB_ENET, 0), nullptr);
    EXPECT_EQ(sb_extbus_config(sbh, 7), -1);
    EXPECT_EQ(sb_extbus_config(sbh, 1), 0);
    EXPECT_TRUE(b.board.window().enabled());
    sb_detach(sbh);
}

TEST(board_bde, ReportsTheSwitchWithItsIdRevisionAndBus) {
    sim::BoardConfig cfg = rw3090();
    cfg.revision = 1;
    BoundBoard b(cfg);
    ASSERT_EQ(bde_init(), 0);
    const bde_ops *ops = bde_ops_get();
    ASSERT_NE(ops, nullptr);
    EXPECT_STREQ(ops->name(), "RW3090");
    EXPECT_EQ(ops->num_devices(BDE_ALL_DEVICES), 2);
    EXPECT_EQ(ops->num_devices(BDE_SWITCH_DEVICES), 1);
    EXPECT_EQ(ops->num_devices(BDE_ETHER_DEVICES), 1);
    const bde_dev_t *dev = ops->get_dev(0);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->device, DXP7101_DEVICE_ID);
    EXPECT_EQ(dev->rev, 1);
    EXPECT_EQ(ops->get_dev_type(0) & BDE_BUS_MASK, BDE_BUS_SPI);
    EXPECT_EQ(ops->get_dev(2), nullptr);
    EXPECT_EQ(bde_pci_conf_read(0, 0), ~0u);
    EXPECT_EQ(bde_pci_conf_write(0, 0, 1), -1);
}

TEST(board_bde, FailsWithoutABoard) {
    board_host_forget_devices();
    sim::unbindHost();
    EXPECT_LT(bde_init(), 0);
    EXPECT_EQ(bde_ops_get(), nullptr);
}

TEST(board_bde, DirectModeReachesTheRegistersAndRefusesBadAccesses) {
    sim::BoardConfig cfg = rw3090();
    cfg.bus = sim::BusMode::Direct;
    BoundBoard b(cfg);
    ASSERT_EQ(bde_init(), 0);
    const bde_ops *ops = bde_ops_get();
    uint8_t value[1] = {0x03};
    EXPECT_EQ(ops->switch_reg_write(0, 0x0020, value, 1), 0);  // SWMODE
    EXPECT_EQ(b.board.chip().peek("SWMODE"), 3u);
    uint8_t back[8] = {};
    EXPECT_EQ(ops->switch_reg_read(0, 0x0020, back, 1), 0);
    EXPECT_EQ(back[0], 3);
    EXPECT_EQ(ops->switch_reg_read(1, 0x0020, back, 1), -1);  // no such device
    EXPECT_EQ(ops->switch_reg_read(0, 0x0020, back, 0), -1);
    EXPECT_EQ(ops->switch_reg_read(0, 0x0020, back, 9), -1);
    EXPECT_EQ(ops->switch_reg_read(0, 0x10020, back, 1), -1);
    EXPECT_EQ(ops->switch_reg_write(0, 0x0020, nullptr, 1), -1);
    EXPECT_TRUE(b.board.anomalies().empty());
}

// A CPU-side switch access that records what the enumerator asks of it.
struct FakeAccess {
    static std::vector<std::string> calls;
    static int handle;
    static void *attach(sb_t *sbh, uint32_t cs, uint32_t clk, uint32_t dout, uint32_t din) {
        calls.push_back("attach " + std::to_string(cs) + " " + std::to_string(clk) + " " +
                        std::to_string(dout) + " " + std::to_string(din) + (sbh ? " sb" : " nosb"));
        return &handle;
    }
    static void detach(void *) { calls.push_back("detach"); }
    static void mode_set(void *, int mode) { calls.push_back("mode " + std::to_string(mode)); }
    static int read(void *, int chip, uint8_t page, uint8_t offset, uint8_t *buf, int len) {
        calls.push_back("read " + std::to_string(chip) + " " + std::to_string(page) + " " +
                        std::to_string(offset) + " " + std::to_string(len));
        buf[0] = 0x42;
        return 0;
    }
    static int write(void *, int, uint8_t, uint8_t, uint8_t *, int) {
        calls.push_back("write");
        return 0;
    }
    static int spi_read(void *, uint8_t, uint8_t, uint8_t *, int) { return 0; }
    static int spi_write(void *, uint8_t, uint8_t, uint8_t *, int) { return 0; }
    static int byte_read(void *, uint8_t, uint8_t *byte) {
        *byte = 7;
        return 0;
    }
    static int status_read(void *, uint8_t *status) {
        *status = 1;
        return 0;
    }
};
std::vector<std::string> FakeAccess::calls;
int FakeAccess::handle;

const bde_switch_access kFakeAccess = {
    FakeAccess::attach,    FakeAccess::detach,    FakeAccess::mode_set,
    FakeAccess::read,      FakeAccess::write,     FakeAccess::spi_read,
    FakeAccess::spi_write, FakeAccess::byte_read, FakeAccess::status_read,
};

TEST(board_bde, PinModeProbesOnceThroughTheRegisteredSwitchAccess) {
    BoundBoard b(rw3090());
    ASSERT_EQ(bde_init(), 0);
    const bde_ops *ops = bde_ops_get();
    uint8_t buf[2] = {};
    // Without the CPU-side access the pin path has nothing to run on.
    EXPECT_EQ(ops->switch_reg_read(0, 0x0020, buf, 1), -1);

    FakeAccess::calls.clear();
    bde_switch_access_register(&kFakeAccess);
    EXPECT_EQ(ops->switch_reg_read(0, 0x3400, buf, 1), 0);
    EXPECT_EQ(buf[0], 0x42);
    EXPECT_EQ(ops->switch_reg_write(0, 0x3400, buf, 1), 0);
    EXPECT_EQ(FakeAccess::calls,
              (std::vector<std::string>{"attach 4 8 16 32 sb", "read 0 52 64 2", "mode 1",
                                        "read 0 52 64 2", "read 0 52 0 1", "write"}));
    uint8_t byte = 0;
    EXPECT_EQ(ops->spi_byte_read(0, 3, &byte), 0);
    EXPECT_EQ(byte, 7);
    // A new enumeration probes again and detaches the old handle.
    ASSERT_EQ(bde_init(), 0);
    EXPECT_EQ(FakeAccess::calls[6], "detach");
    EXPECT_EQ(FakeAccess::calls[7], "attach 4 8 16 32 sb");
}

TEST(board_bde, DmaMemoryTranslatesBothWaysWithin32Bits) {
    BoundBoard b(rw3090());
    ASSERT_EQ(bde_init(), 0);
    const bde_ops *ops = bde_ops_get();
    void *ring = ops->salloc(0, 4096, "ring");
    void *buf = ops->salloc(0, 1600, "packet");
    ASSERT_NE(ring, nullptr);
    ASSERT_NE(buf, nullptr);
    uint32_t bus = ops->l2p(0, buf);
    EXPECT_NE(bus, 0u);
    EXPECT_EQ(ops->p2l(0, bus), buf);
    EXPECT_EQ(ops->p2l(0, ops->l2p(0, ring)), ring);
    EXPECT_EQ(ops->l2p(0, ring) % 4096, 0u);
    int on_stack = 0;
    EXPECT_EQ(ops->l2p(0, &on_stack), 0u);
    EXPECT_EQ(ops->p2l(0, 0x100), nullptr);
    EXPECT_EQ(ops->salloc(0, 0, "none"), nullptr);
    EXPECT_EQ(ops->salloc(5, 64, "no device"), nullptr);
    EXPECT_EQ(ops->sflush(0, buf, 1600), 0);
    ops->sfree(0, buf);
    ops->sfree(0, ring);
    EXPECT_EQ(b.board.dma().bytesInUse(), 0u);
}

TEST(board_bde, InterruptRoutineRunsInInterruptContext) {
    BoundBoard b(rw3090());
    ASSERT_EQ(bde_init(), 0);
    const bde_ops *ops = bde_ops_get();
    EXPECT_EQ(board_host_irq_raise(0), -1);  // nothing connected
    static sal_sem_t done;
    static int context;
    done = sal_sem_create("irq", sal_sem_BINARY, 0);
    auto isr = [](void *) {
        context = sal_int_context();
        sal_sem_give(done);
    };
    ASSERT_EQ(ops->interrupt_connect(0, isr, nullptr), 0);
    ASSERT_EQ(board_host_irq_raise(0), 0);
    ASSERT_EQ(sal_sem_take(done, 2000000), 0);
    EXPECT_NE(context, 0);
    EXPECT_EQ(ops->interrupt_disconnect(0), 0);
    EXPECT_EQ(board_host_irq_raise(0), -1);
    sal_sem_destroy(done);
}

TEST(board_bde, MacRegistersConfigurationAndInterruptLine) {
    BoundBoard b(rw3090());
    ASSERT_EQ(bde_init(), 0);
    const bde_ops *ops = bde_ops_get();
    EXPECT_EQ(ops->get_dev_type(1), BDE_BUS_PCI | BDE_DEV_ETHER);
    EXPECT_EQ(ops->pci_conf_read(1, 0),
              static_cast<uint32_t>(DXP6202_DEVICE_ID) << 16 | CHIP_VENDOR_ID);
    EXPECT_EQ(ops->pci_conf_read(0, 0), ~0u);  // the switch is not on PCI
    EXPECT_EQ(ops->read(1, 0xFFC), 0x8060u);
    EXPECT_EQ(ops->read(0, 0xFFC), ~0u);
    EXPECT_EQ(ops->write(1, 0x424, 0x1234), 0);
    EXPECT_EQ(b.board.mac().peek(0x424), 0x1234u);

    static sal_sem_t done;
    static int context;
    done = sal_sem_create("irq", sal_sem_BINARY, 0);
    auto isr = [](void *) {
        context = sal_int_context();
        sim_mmio_write(1, 0x024, 0);  // mask, as a driver's routine does
        sal_sem_give(done);
    };
    ASSERT_EQ(ops->interrupt_connect(1, isr, nullptr), 0);
    b.board.mac().write(0x024, 0x4000);
    b.board.mac().rxFifoOverflow();
    ASSERT_EQ(sal_sem_take(done, 2000000), 0);
    EXPECT_NE(context, 0);
    EXPECT_EQ(ops->interrupt_disconnect(1), 0);
    sal_sem_destroy(done);
}

TEST(board_bde, PlatformDmaMemoryIsTheBoundBoardsArena) {
    void *plain = sal_dma_alloc(256, "dma");
    ASSERT_NE(plain, nullptr);
    {
        BoundBoard b(rw3090());
        void *p = sal_dma_alloc(256, "dma");
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(b.board.dma().contains(p, 256));
        EXPECT_NE(sim_dma_virt_to_bus(p), 0u);
        sal_dma_free(p);
        EXPECT_EQ(b.board.dma().bytesInUse(), 0u);
        EXPECT_FALSE(b.board.dma().contains(plain, 1));
    }
    sal_dma_free(plain);
}

TEST(board_mem, UnmappedAddressesReadZeroAndTheWindowAndDmaMemoryAreMapped) {
    BoundBoard b(rw3090());
    EXPECT_EQ(sal_mem_read32(0x00001000), 0u);
    EXPECT_EQ(sal_mem_read8(0xfffffff0), 0u);
    sal_mem_write32(0x00001000, 0x12345678);
    EXPECT_EQ(b.board.anomalies().count(sim::AnomalyKind::HostMemory), 3u);

    ASSERT_EQ(bde_init(), 0);
    auto *words = static_cast<uint32_t *>(bde_ops_get()->salloc(0, 64, "words"));
    uint32_t bus = bde_ops_get()->l2p(0, words);
    sal_mem_write32(bus + 4, 0xcafef00d);
    EXPECT_EQ(words[1], 0xcafef00du);
    EXPECT_EQ(sal_mem_read16(bus + 4), 0xf00d);
    bde_ops_get()->sfree(0, words);

    // The switch window answers once the external bus is configured.
    sb_t *sbh = sb_attach(SB_CC_CORE_ID, 0);
    ASSERT_EQ(sb_extbus_config(sbh, 1), 0);
    sal_mem_write16(SAL_MEM_SWITCH_WINDOW + 8, 0x2000);  // page 0x00, offset 0x20
    sal_mem_write8(SAL_MEM_SWITCH_WINDOW + 0, 0x05);
    sal_mem_write8(SAL_MEM_SWITCH_WINDOW + 10, 2);  // write
    EXPECT_EQ(sal_mem_read8(SAL_MEM_SWITCH_WINDOW + 11), 0);
    EXPECT_EQ(b.board.chip().peek("SWMODE"), 5u);
    sb_detach(sbh);
}

struct Capture {
    std::string text;
    static int write(void *ctx, const char *buf, size_t len) {
        static_cast<Capture *>(ctx)->text.append(buf, len);
        return static_cast<int>(len);
    }
};

TEST(board_host, StartNamesThePresetsAndPrintsARegisterThroughTheGlue) {
    char error[200] = "";
    EXPECT_EQ(board_host_start("8", "pins", error, sizeof error), -1);
    EXPECT_NE(std::string(error).find("52 (RW3090"), std::string::npos) << error;
    EXPECT_EQ(board_host_start("52", "spi", error, sizeof error), -1);
    EXPECT_NE(std::string(error).find("pins or direct"), std::string::npos) << error;

    ASSERT_EQ(board_host_start("26", "direct", error, sizeof error), 0) << error;
    Capture capture;
    sal_console_ops ops{&capture, Capture::write, nullptr};
    const sal_console_ops *previous = sal_console_bind(&ops);
    EXPECT_EQ(board_host_register_width(0x3440), 2);  // DEFAULT_1Q_TAG of port 0
    EXPECT_EQ(board_host_register_width(0x0208), 4);  // SPDSTS
    EXPECT_EQ(board_host_register_width(0x7f00), 0);
    EXPECT_EQ(board_host_debug_read(0x3440, 2), 0);
    EXPECT_EQ(board_host_debug_read(0x3440, 9), -1);
    sal_console_bind(previous);
    EXPECT_NE(capture.text.find("DXP97102R24GM: register 0x3440 = 0x0001"), std::string::npos)
        << capture.text;
    EXPECT_NE(capture.text.find("failed"), std::string::npos);
    board_host_stop();
    EXPECT_EQ(sim_bound(), 0);
}

}  // namespace
