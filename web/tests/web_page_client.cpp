#include "web_page_client.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>

#include "boot_items.h"
#include "flash.h"
#include "logger.h"
#include "net_util.h"
#include "nvram.h"
#include "serialize.h"
#include "settings.h"
#include "storage_host.h"

void page_env_once() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (flash_host_path()[0] == '\0') {
            std::string dir = (std::filesystem::temp_directory_path() / "webpages_XXXXXX").string();
            if (::mkdtemp(dir.data()) == nullptr) std::abort();
            flash_host_open((dir + "/flash.bin").c_str(), 1);
            flashInit();
            nvram_init();
        }
        settings_init();
        settings_item_handler_set("loggers", settings_item_loggers);
        settings_item_handler_set("et0config", settings_item_et0config);
        settings_item_handler_set("et1config", settings_item_et1config);
        settings_item_handler_set("STARTUP", settings_item_startup);
        logger_init();
        net_util_init();
        net_util_if_start("eth0", NET_IF_MODE_STATIC, "127.0.0.1", "255.0.0.0", "");
    });
}

test_response page_get(const std::string &path_and_query) {
    return test_parse_response(test_exchange("GET " + path_and_query + " HTTP/1.0\r\n\r\n"));
}

test_response page_post(const std::string &path, const std::string &form) {
    return test_parse_response(test_exchange("POST " + path + " HTTP/1.0\r\nContent-Length: " +
                                             std::to_string(form.size()) + "\r\n\r\n" + form));
}

std::string page_upload_request(const std::string &path, const std::string &file) {
    std::string body =
        "--xyzzy\r\nContent-Disposition: form-data; name=\"f\"; filename=\"f.bin\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\n" +
        file + "\r\n--xyzzy--\r\n";
    return "POST " + path +
           " HTTP/1.0\r\nContent-Type: multipart/form-data; boundary=xyzzy\r\n"
           "Content-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string page_upload_raw(const std::string &path, const std::string &file) {
    return test_exchange(page_upload_request(path, file));
}

test_response page_upload(const std::string &path, const std::string &file) {
    return test_parse_response(page_upload_raw(path, file));
}
