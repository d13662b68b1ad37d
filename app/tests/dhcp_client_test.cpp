// DHCP client messages: what the client asks, and which replies it takes.
#include <gtest/gtest.h>

#include <cstring>

#include "../src/proto_sup/dhcp_client.h"

namespace {

const uint8_t kMac[6] = {0x02, 0x53, 0x57, 0x00, 0x00, 0x01};
constexpr uint32_t kXid = 0x12345678;

// A server reply with the given options after the magic cookie.
int reply(uint8_t *buf, const std::initializer_list<uint8_t> &options) {
    std::memset(buf, 0, DHCP_MSG_MAX);
    buf[0] = 2;
    buf[4] = 0x12, buf[5] = 0x34, buf[6] = 0x56, buf[7] = 0x78;
    const uint8_t yiaddr[4] = {10, 9, 0, 50};
    std::memcpy(buf + 16, yiaddr, 4);
    std::memcpy(buf + 28, kMac, 6);
    const uint8_t cookie[4] = {99, 130, 83, 99};
    std::memcpy(buf + 236, cookie, 4);
    int n = 240;
    for (uint8_t b : options)
        buf[n++] = b;
    return n;
}

TEST(dhcp_client, RequestNamesTheOfferAndAsksForABroadcastAnswer) {
    uint8_t msg[DHCP_MSG_MAX];
    const uint8_t offered[4] = {10, 9, 0, 50}, server[4] = {10, 9, 0, 1};
    int len = dhcp_build(msg, DHCP_REQUEST, kXid, kMac, offered, server);
    ASSERT_GE(len, 300);
    EXPECT_EQ(msg[0], 1);
    EXPECT_EQ(msg[10], 0x80);
    EXPECT_EQ(0, std::memcmp(msg + 28, kMac, 6));
    const uint8_t options[] = {53, 1, DHCP_REQUEST, 50, 4, 10, 9, 0, 50, 54, 4, 10, 9, 0, 1};
    EXPECT_EQ(0, std::memcmp(msg + 240, options, sizeof options));
}

TEST(dhcp_client, AckGivesTheLeaseAndForeignOrBrokenRepliesAreIgnored) {
    uint8_t buf[DHCP_MSG_MAX];
    dhcp_reply r{};
    int n = reply(buf, {53, 1,  DHCP_ACK, 1, 4, 255,  255,  255, 0, 3,  4, 10, 9, 0,
                        1,  51, 4,        0, 0, 0x0e, 0x10, 54,  4, 10, 9, 0,  1, 255});
    ASSERT_TRUE(dhcp_parse(buf, n, kXid, kMac, &r));
    EXPECT_EQ(r.type, DHCP_ACK);
    EXPECT_EQ(r.yiaddr[3], 50);
    EXPECT_EQ(r.mask[2], 255);
    EXPECT_EQ(r.router[3], 1);
    EXPECT_EQ(r.lease_secs, 3600u);

    EXPECT_FALSE(dhcp_parse(buf, n, kXid + 1, kMac, &r));
    const uint8_t other[6] = {0, 1, 2, 3, 4, 5};
    EXPECT_FALSE(dhcp_parse(buf, n, kXid, other, &r));
    EXPECT_FALSE(dhcp_parse(buf, 200, kXid, kMac, &r));
    // An option running past the end of the message.
    n = reply(buf, {53, 1, DHCP_OFFER, 3, 40, 10});
    EXPECT_FALSE(dhcp_parse(buf, n, kXid, kMac, &r));
    // No message type: not DHCP.
    n = reply(buf, {1, 4, 255, 255, 255, 0, 255});
    EXPECT_FALSE(dhcp_parse(buf, n, kXid, kMac, &r));
}

}  // namespace
