// System, IP and DHCP pages, the restart requests, the firmware upgrade and
// the settings backup, restore and factory defaults, through the server.
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "flash.h"
#include "flash_layout.h"
#include "logger.h"
#include "net_util.h"
#include "nvram.h"
#include "sal.h"
#include "settings.h"
#include "web_page_client.h"
#include "web_pages.h"
#include "web_system.h"

namespace {

std::atomic<int> reboots{0};
std::atomic<int> counter_clears{0};

void fake_reboot() {
    reboots++;
}

void fake_counters_clear() {
    counter_clears++;
}

class web_system_pages : public web_server_fixture {
  protected:
    void SetUp() override {
        web_server_fixture::SetUp();
        page_env_once();
        web_reboot_set(fake_reboot);
        web_counters_clear_set(fake_counters_clear);
        reboots = 0;
        counter_clears = 0;
    }
    void TearDown() override {
        web_reboot_set(nullptr);
        web_counters_clear_set(nullptr);
        web_server_fixture::TearDown();
    }
};

net_if_info eth(const char *name) {
    net_if_info info{};
    net_util_if_info_get(name, &info, 0);
    return info;
}

TEST_F(web_system_pages, SetipRefusesBadAddressesAndAppliesAGoodOneLater) {
    const char *refused[][2] = {
        {"ip=192.168.1.10&netmask=255.255.255.0&gateway=192.168.2.1&ifname=eth1",
         "IP and gateway addresses are in different domain!"},
        {"ip=192.168.1.10&netmask=255.255.255.0&gateway=192.168.1.1&ifname=eth2",
         "Invalid IP, network submask or gateway address!"},
        {"ip=192.168.1.10&netmask=255.255.255.0&gateway=192.168.1.1&ifname=eth10",
         "Invalid IP, network submask or gateway address!"},
        {"ip=0192.168.001.010&netmask=255.255.255.0&gateway=192.168.1.1&ifname=eth1",
         "Invalid IP, network submask or gateway address!"},
        {"ip=192.168.1.10&netmask=255.0.255.0&gateway=192.168.1.1&ifname=eth1",
         "Invalid IP, network submask or gateway address!"},
        // Addresses no host can take.
        {"ip=0.0.0.0&netmask=255.255.255.0&gateway=0.0.0.0&ifname=eth1",
         "Invalid IP, network submask or gateway address!"},
        {"ip=224.0.0.1&netmask=255.255.255.0&gateway=0.0.0.0&ifname=eth1",
         "Invalid IP, network submask or gateway address!"},
        {"ip=192.168.1.0&netmask=255.255.255.0&gateway=0.0.0.0&ifname=eth1",
         "Invalid IP, network submask or gateway address!"},
        {"ip=192.168.1.255&netmask=255.255.255.0&gateway=192.168.1.1&ifname=eth1",
         "Invalid IP, network submask or gateway address!"},
    };
    for (auto &[form, message] : refused) {
        test_response r = page_post("/setip.cgi", form);
        EXPECT_TRUE(has(r, message)) << form;
        EXPECT_TRUE(has(r, "Configure IP Address"));
    }
    // Three pairs: the system page, unchanged.
    test_response sys = page_post("/setip.cgi", "ip=1.2.3.4&netmask=255.0.0.0&gateway=1.2.3.5");
    EXPECT_TRUE(has(sys, "System Information"));

    // No gateway, as in the factory settings.
    test_response none =
        page_post("/setip.cgi", "ip=192.168.1.9&netmask=255.255.255.0&gateway=0.0.0.0&ifname=eth1");
    EXPECT_TRUE(has(none, "href=\"http://192.168.1.9/\"")) << none.body;
    test_response ok = page_post(
        "/setip.cgi", "ip=192.168.1.10&netmask=255.255.255.0&gateway=192.168.1.1&ifname=eth1");
    EXPECT_TRUE(has(ok, "href=\"http://192.168.1.10/\"")) << ok.body;
    EXPECT_TRUE(
        test_wait_until([] { return std::strcmp(eth("eth1").ip, "192.168.1.10") == 0; }, 5000));
    EXPECT_EQ(eth("eth1").mode, NET_IF_STATIC);
    EXPECT_TRUE(test_wait_until([] { return sal_alloc_bytes_in_use("setip.cgi") == 0; }, 5000));
    EXPECT_NE(nvram_get("et1config")[0], '\0');
    net_util_if_stop("eth1");
}

TEST_F(web_system_pages, DhcpChecksTheInterfaceAndShowsTheNotice) {
    test_response bad = page_post("/dhcp.cgi", "ifname=eth2");
    EXPECT_FALSE(has(bad, "Please check console"));
    EXPECT_TRUE(has(bad, "Invalid interface: no DHCP client started"));
    EXPECT_EQ(sal_alloc_bytes_in_use("dhcp.cgi"), 0u);
    test_response r = page_post("/dhcp.cgi", "ifname=eth1");
    EXPECT_TRUE(has(r, "Please check console for IP assigned from DHCP server"));
    EXPECT_FALSE(has(r, "id=\"system\""));
    EXPECT_TRUE(test_wait_until(
        [] {
            return eth("eth1").mode == NET_IF_DHCP_WAIT || eth("eth1").mode == NET_IF_DHCP_BOUND;
        },
        5000));
    net_util_if_stop("eth1");
    EXPECT_TRUE(has(page_get("/system.htm"), "id=\"system\""));
}

TEST_F(web_system_pages, RestartNeedsTheExactConfirmation) {
    page_post("/reset.cgi", "confirm=YES");
    page_get("/restart.cgi?confirm=no");
    test_response r = page_post("/reset.cgi", "confirm=yes");
    EXPECT_TRUE(has(r, "12"));
    EXPECT_TRUE(test_wait_until([] { return reboots.load() == 1; }, 5000));
    page_get("/restart.cgi?confirm=yes");
    EXPECT_TRUE(test_wait_until([] { return reboots.load() == 2; }, 5000));
}

// ---- firmware upgrade
std::string image(size_t size, const char *name = "SSS-DXP7101") {
    std::string file(size, '\0');
    for (size_t i = 0; i < size; i++)
        file[i] = static_cast<char>((i * 31 + i / 65536) & 0xFF);
    const unsigned char head[4] = {0x1F, 0x8B, 0x08, 0x18};
    std::memcpy(file.data(), head, 4);
    std::memcpy(file.data() + 10, name, std::strlen(name) + 1);
    return file;
}

std::string flash_bytes(uint32_t offset, size_t len) {
    std::string out(len, '\0');
    flash_read(offset, out.data(), len);
    return out;
}

TEST_F(web_system_pages, UpgradeWritesTheImageSectorBySector) {
    std::string file = image(3 * FLASH_SECTOR_SIZE + 1234);
    test_response r = page_upload("/fupgrade.cgi", file);
    EXPECT_TRUE(has(r, "Firmware Upgrade Complete")) << r.body;
    EXPECT_EQ(flash_bytes(FLASH_IMAGE_OFFSET, file.size()), file);
    // The last sector was erased and holds only the image's tail.
    EXPECT_EQ(flash_bytes(FLASH_IMAGE_OFFSET + file.size(), 4), std::string(4, '\xff'));
    EXPECT_EQ(sal_alloc_bytes_in_use("httpd_req_state"), 0u);
    // Not running any more: the form is served and the progress reads 0.
    EXPECT_TRUE(has(page_get("/fupgrade.htm"), "enctype=\"multipart/form-data\""));
    EXPECT_EQ(page_get("/upgstatus.htm").body, "0 of 0 bytes");
}

TEST_F(web_system_pages, UpgradeRefusesBadImagesBeforeWriting) {
    std::string before = flash_bytes(FLASH_IMAGE_OFFSET, FLASH_SECTOR_SIZE);
    for (const std::string &file :
         {std::string(), image(FLASH_SECTOR_SIZE - 1), image(FLASH_IMAGE_SIZE + 1),
          image(2 * FLASH_SECTOR_SIZE, "SSS-DXP7102"), std::string(2 * FLASH_SECTOR_SIZE, 'x')}) {
        test_response r = page_upload("/fupgrade.cgi", file);
        EXPECT_TRUE(has(r, "Invalid firmware image! Please double check!")) << file.size();
    }
    EXPECT_EQ(flash_bytes(FLASH_IMAGE_OFFSET, FLASH_SECTOR_SIZE), before);
}

TEST_F(web_system_pages, RefusedSecondUploadLeavesTheFirstOneRunning) {
    std::string file = image(2 * FLASH_SECTOR_SIZE);
    std::string first = page_upload_request("/fupgrade.cgi", file);
    int fd = test_connect();
    ASSERT_GE(fd, 0);
    size_t half = first.size() / 2;
    ASSERT_TRUE(test_send(fd, first.substr(0, half)));
    ASSERT_TRUE(test_wait_until(
        [] { return page_get("/upgstatus.htm").body.rfind("0 of ", 0) != 0; }, 5000));
    EXPECT_TRUE(has(page_upload("/fupgrade.cgi", file), "already started"));
    EXPECT_TRUE(has(page_get("/fupgrade.htm"), "already started"));  // guard kept
    ASSERT_TRUE(test_send(fd, first.substr(half)));
    test_response r = test_parse_response(test_read_all(fd));
    close(fd);
    EXPECT_TRUE(has(r, "Firmware Upgrade Complete"));
    EXPECT_FALSE(has(page_get("/fupgrade.htm"), "already started"));
}

// ---- backup, restore, factory defaults
std::string backup_text() {
    std::vector<char> buf(SETTINGS_BACKUP_SIZE);
    if (settings_backup_to_memory(buf.data()) == 0) return "";
    return buf.data();
}

// Every line the RAM log holds, one per line.
std::string ram_log() {
    logger *ram = logger_ram_get();
    uint32_t seq = 0;
    const int count = ram->ops->count(&seq, ram);
    std::string all;
    for (int n = 0; n < count; n++) {
        logger_record rec{seq + static_cast<uint32_t>(n), 0, 0, 0};
        char text[LOGGER_TEXT_MAX];
        if (ram->ops->read(&rec, text, sizeof text, ram) == 1) all += std::string(text) + "\n";
    }
    return all;
}

// The restore's completion is logged once the image is applied and stored,
// not when the upload is taken.
TEST_F(web_system_pages, BackupDownloadRestoresByteForByte) {
    logger *ram = logger_ram_get();
    ram->ops->level_mask_set(0x05, ram);
    test_response backup = page_get("/dxpqsw.cfg");
    ASSERT_TRUE(backup.answered);
    EXPECT_EQ(backup.body, backup_text());
    EXPECT_TRUE(backup.has_header("Content-Length: " + std::to_string(backup.body.size())));
    EXPECT_TRUE(
        backup.has_header("Content-Disposition: attachment; filename=\"config_RW3090.log\""));

    ram->ops->level_mask_set(0x0F, ram);
    ram->ops->clear(ram);
    const std::string done = "Restore settings: process completed";
    test_response r = page_upload("/restore.cgi", backup.body);
    EXPECT_TRUE(has(r, "Restoring Configuration")) << r.body;
    EXPECT_EQ(ram_log().find(done), std::string::npos) << "logged before it was applied";
    EXPECT_TRUE(test_wait_until([&] { return ram_log().find(done) != std::string::npos; }, 5000));
    EXPECT_EQ(ram->ops->level_mask_get(ram), 0x05u);
    EXPECT_EQ(backup_text(), backup.body);
    EXPECT_TRUE(test_wait_until([] { return sal_alloc_bytes_in_use("restore") == 0; }, 5000));
}

TEST_F(web_system_pages, RestoreRefusesForeignAndOversizedFiles) {
    logger *ram = logger_ram_get();
    ram->ops->level_mask_set(0x03, ram);
    for (const std::string &file : {std::string(), std::string("not a settings file\n"),
                                    std::string(SETTINGS_BACKUP_SIZE + 1, '#')}) {
        test_response r = page_upload("/restore.cgi", file);
        EXPECT_TRUE(has(r, "Invalid format or version not matched!")) << file.size();
    }
    // An empty file gets the error page too.
    EXPECT_NE(page_upload_raw("/restore.cgi", "").find("Invalid format or version not matched!"),
              std::string::npos);
    EXPECT_EQ(ram->ops->level_mask_get(ram), 0x03u);
    EXPECT_EQ(sal_alloc_bytes_in_use("restore"), 0u);

    // A negative announced size never reaches the allocation.
    httpd_event ev{HTTPD_EV_UPLOAD, nullptr, HTTPD_F_MULTIPART, {}, {.num = -1}, {.num = -8}};
    EXPECT_EQ(restore_cgi(&ev, nullptr), 1);
    EXPECT_EQ(ev.flags & HTTPD_F_MULTIPART, 0u);
}

TEST_F(web_system_pages, FactoryDefaultsOnlyWithTheValueTwo) {
    logger *ram = logger_ram_get();
    ram->ops->level_mask_set(0x0F, ram);
    settings_factory_image_set(factory_default_image_a);
    EXPECT_TRUE(has(page_post("/restored.cgi", "factory=1"), "System Information"));
    test_response r = page_post("/restored.cgi", "factory=2");
    EXPECT_TRUE(has(r, "Restoring Configuration"));
    EXPECT_TRUE(test_wait_until([] { return counter_clears.load() == 1; }, 5000));
    EXPECT_NE(ram->ops->level_mask_get(ram), 0x0Fu);
}

// Resets posted back to back each run once; one past the eight that may wait
// is refused and runs nothing.
TEST_F(web_system_pages, ResetsPostedTogetherEachRunAndOnlyEightWait) {
    settings_factory_image_set(factory_default_image_a);
    for (int n = 0; n < 8; n++)
        EXPECT_TRUE(has(page_post("/restored.cgi", "factory=2"), "Restoring Configuration")) << n;
    test_response refused = page_post("/restored.cgi", "factory=2");
    EXPECT_TRUE(has(refused,
                    "Too many restores are waiting to be applied: the factory defaults "
                    "are not restored and nothing changed"));
    EXPECT_FALSE(has(refused, "Restoring Configuration"));
    EXPECT_TRUE(test_wait_until([] { return counter_clears.load() == 8; }, 20000));
    EXPECT_TRUE(has(page_post("/restored.cgi", "factory=2"), "Restoring Configuration"));
    EXPECT_TRUE(test_wait_until([] { return counter_clears.load() == 9; }, 5000));
}

// A form posted while a settings image waits runs after the image and is
// answered then, without holding the server: a static file and another page
// are answered meanwhile. The image is one accepted elsewhere, holding its
// turn among the changes.
TEST_F(web_system_pages, AFormWaitingForAnImageHoldsUpNoOtherRequest) {
    uint32_t image = sal_turn_take(1);
    const std::string form =
        "ip=192.168.1.10&netmask=255.255.255.0&gateway=192.168.2.1&ifname=eth1";
    const int fd = test_connect();
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(test_send(fd, "POST /setip.cgi HTTP/1.0\r\nContent-Length: " +
                                  std::to_string(form.size()) + "\r\n\r\n" + form));
    EXPECT_EQ(page_get("/plus.gif").status, "200 OK");
    EXPECT_TRUE(has(page_get("/system.htm"), "System Information"));
    pollfd waiting{fd, POLLIN, 0};
    EXPECT_EQ(poll(&waiting, 1, 0), 0) << "the form was answered before the image was applied";
    sal_turn_release(image);
    const test_response answer = test_parse_response(test_read_all(fd));
    close(fd);
    EXPECT_TRUE(has(answer, "IP and gateway addresses are in different domain!")) << answer.body;

    // Two administrators' forms waiting run in the order they were posted,
    // though the later one took the server's lower slot.
    image = sal_turn_take(1);
    const int first_slot = test_connect();
    const int earlier = test_connect();
    ASSERT_GE(first_slot, 0);
    ASSERT_GE(earlier, 0);
    const auto post_ip = [](int fd, const std::string &ip) {
        const std::string body = "ip=" + ip + "&netmask=255.255.255.0&gateway=0.0.0.0&ifname=eth1";
        return test_send(fd, "POST /setip.cgi HTTP/1.0\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\n\r\n" + body);
    };
    ASSERT_TRUE(post_ip(earlier, "192.168.1.10"));
    close(first_slot);
    EXPECT_EQ(page_get("/plus.gif").status, "200 OK");
    const int later = test_connect();
    ASSERT_GE(later, 0);
    ASSERT_TRUE(post_ip(later, "192.168.1.11"));
    EXPECT_EQ(page_get("/plus.gif").status, "200 OK");
    sal_turn_release(image);
    for (const int fd : {earlier, later}) {
        test_read_all(fd);
        close(fd);
    }
    EXPECT_TRUE(
        test_wait_until([] { return std::strcmp(eth("eth1").ip, "192.168.1.11") == 0; }, 5000))
        << eth("eth1").ip;
    net_util_if_stop("eth1");
}

}  // namespace
