#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pktio_fixture.h"

namespace {

using namespace pktio_test;

using etc_engine = PktioTest;

// Control calls and the watchdog run under the glue's lock, as the owner's
// control path does.
class Locked {
  public:
    explicit Locked(et_soc_info_t *et) : et_(et) { sal_mutex_take(et->soc_dma, sal_mutex_FOREVER); }
    ~Locked() { sal_mutex_give(et_->soc_dma); }

  private:
    et_soc_info_t *et_;
};

TEST_F(etc_engine, ControlCodes) {
    Locked hold(et);
    etc_info_t *etc = et->etc;
    int arg[2] = {4, 0};
    EXPECT_EQ(etc_ioctl(etc, 7, arg), -1);
    EXPECT_EQ(etc->forcespeed, -1);
    etc->advertise = 0x01E1;
    arg[0] = -1;
    EXPECT_EQ(etc_ioctl(etc, 7, arg), 0);
    EXPECT_EQ(etc->needautoneg, 0);  // the re-init programmed it
    EXPECT_EQ(board->mac().phyReg(4), 0x01E1);
    arg[0] = 2;
    EXPECT_EQ(etc_ioctl(etc, 7, arg), 0);
    EXPECT_EQ(board->mac().phyReg(0) & 0x3100, 0x2000);  // 100 Mb/s half duplex forced

    for (int code : {6, 8, 11, 99})
        EXPECT_EQ(etc_ioctl(etc, code, arg), -1) << code;
    arg[0] = 2;
    EXPECT_EQ(etc_ioctl(etc, 9, arg), 0);
    EXPECT_EQ(arg[1], 0x0022);
    arg[0] = 27;
    arg[1] = 0x1234;
    EXPECT_EQ(etc_ioctl(etc, 10, arg), 0);
    EXPECT_EQ(board->mac().phyReg(27), 0x1234);
    EXPECT_EQ(etc_ioctl(etc, 9, nullptr), 0);

    char text[8] = "xyz";
    arg[0] = 0x10000;
    etc_ioctl(etc, 4, arg);
    EXPECT_EQ(etc_ioctl(etc, 3, text), 0);
    EXPECT_EQ(text[0], '\0');
    etc_ioctl(etc, 4, nullptr);
    EXPECT_EQ(et_msglevel, 0u);
}

TEST_F(etc_engine, ModesProgramTheAddressFilter) {
    Locked hold(et);
    etc_info_t *etc = et->etc;
    // Started promiscuous: the CAM stays off and empty.
    EXPECT_EQ(board->mac().peek(0x400), 0x68u);
    EXPECT_EQ(board->mac().peek(0x428) & 1, 0u);
    EXPECT_EQ(board->mac().camEntry(0), (std::array<uint8_t, 6>{}));
    etc_promisc(etc, 0);
    EXPECT_EQ(board->mac().peek(0x428) & 1, 1u);
    auto cam = board->mac().camEntry(0);
    EXPECT_EQ(std::memcmp(cam.data(), etc->cur_etheraddr, 6), 0);
    etc_loopback(etc, 1);
    EXPECT_EQ(board->mac().peek(0x400), 0x70u);
    EXPECT_EQ(board->mac().peek(0x404), 1550u);
    EXPECT_EQ(board->mac().peek(0x100), 0x01000000u);
}

TEST_F(etc_engine, WatchdogResolvesTheLink) {
    Locked hold(et);
    etc_info_t *etc = et->etc;
    board->mac().setPhyReg(5, 0x0040);
    etc_watchdog(etc);
    EXPECT_EQ(etc->linkstate, 1);
    EXPECT_EQ(etc->speed, 10);
    EXPECT_EQ(etc->duplex, 1);
    EXPECT_EQ(board->mac().peek(0x430) & 1, 1u);

    board->mac().setPhyReg(1, 0x7809);  // link down
    board->mac().setPhyReg(5, 0x0100);
    etc_watchdog(etc);
    EXPECT_EQ(etc->linkstate, 0);
    EXPECT_EQ(etc->speed, 100);

    // No PHY answers at address 5: nothing changes.
    etc->phyaddr = 5;
    etc_watchdog(etc);
    EXPECT_EQ(etc->speed, 100);
    etc->phyaddr = 1;

    // Counters are refreshed on every 30th tick only.
    uint32_t before = etc_mib(etc, 0x5BC);
    board->mac().receiveFromSwitch(std::vector<uint8_t>(64, 0));  // missed: nothing posted
    while (etc->now % 30 != 29)
        etc_watchdog(etc);
    EXPECT_EQ(etc_mib(etc, 0x5BC), before);
    etc_watchdog(etc);
    EXPECT_EQ(etc_mib(etc, 0x5BC), before + 1);
}

TEST_F(etc_engine, PhyAddressThirtyIsNeverTouched) {
    Locked hold(et);
    etc_info_t *etc = et->etc;
    etc->phyaddr = 30;
    etc->advertise = 0x01E1;
    uint32_t before = board->mac().miiOperations();
    int arg[2] = {3, 0};
    EXPECT_EQ(etc_ioctl(etc, 7, arg), 0);  // phy reset and forced speed
    arg[0] = -1;
    EXPECT_EQ(etc_ioctl(etc, 7, arg), 0);  // advertisement
    etc_watchdog(etc);
    EXPECT_EQ(board->mac().miiOperations(), before);
    EXPECT_EQ(etc->linkstate, 1);
    EXPECT_EQ(etc->speed, 100);
    etc->phyaddr = 1;
}

TEST_F(etc_engine, MiiReadThatNeverCompletesIsBounded) {
    Locked hold(et);
    board->mac().miiNoDone(true);
    EXPECT_EQ(et->etc->chops->phyrd(et->etc->ch, 1, 2), 0x0022);
    board->mac().miiNoDone(false);
}

TEST_F(etc_engine, DumpTexts) {
    Locked hold(et);
    etc_info_t *etc = et->etc;
    std::string text(8192, '\0');
    char *end = etc_dumpetc(etc, text.data());
    text.resize(end - text.data());
    EXPECT_NE(text.find("up 1 promisc 1 loopbk 0 forcespeed -1 advertise 0x0 needautoneg 0\n"),
              std::string::npos);
    EXPECT_NE(text.find("vendor 0x1d7a device 0xa622 rev 0 coreunit 1 phyaddr 1 mdcport 1\n"),
              std::string::npos);
    EXPECT_NE(text.find("perm_etheraddr 00:1d:7a:62:02:01 cur_etheraddr 00:1d:7a:62:02:01\n"
                        "linkstate 0\n\n"),
              std::string::npos);
    EXPECT_NE(text.find("rx_fragment_pkts 0 rx_missed_pkts 0         rx_crc_align_errs 0"),
              std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n");

    char small[16] = "keep";
    etc_dumpchip(etc, small, sizeof small);
    EXPECT_STREQ(small, "keep");
    std::string chip(8192, '\0');
    etc_dumpchip(etc, chip.data(), chip.size());
    EXPECT_EQ(chip.rfind("devcontrol 0x", 0), 0u);
    EXPECT_NE(chip.find("phy0 0x"), std::string::npos);
    EXPECT_NE(chip.find("xmtcontrol 0x1 xmtaddr 0x"), std::string::npos);
    EXPECT_NE(chip.find("rcvcontrol 0x3d rcvaddr 0x"), std::string::npos);
}

}  // namespace
