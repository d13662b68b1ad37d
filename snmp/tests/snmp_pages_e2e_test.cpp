// The SNMP pages of the running firmware: a community and a v3 user made in
// the browser answer Debian's snmpget.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "../../host/tests/switchfw_child.h"
#include "../../platform/tests/private_workdir.h"

namespace {

namespace fs = std::filesystem;

std::string shell(const std::string &cmd) {
    std::string out;
    if (FILE *p = popen((cmd + " 2>&1").c_str(), "r")) {
        char buf[256];
        while (size_t n = fread(buf, 1, sizeof buf, p))
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

// One form post (or, without a body, a GET) to 127.0.0.1:port; the answer.
std::string web(int port, const std::string &path, const std::string &cookie,
                const std::string *form = nullptr) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{.sin_family = AF_INET,
                   .sin_port = htons(static_cast<uint16_t>(port)),
                   .sin_addr = {.s_addr = htonl(INADDR_LOOPBACK)},
                   .sin_zero = {}};
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0) {
        std::string request = std::string(form != nullptr ? "POST " : "GET ") + path +
                              " HTTP/1.0\r\nCookie: WebManaged=" + cookie + "\r\n";
        if (form != nullptr)
            request += "Content-Length: " + std::to_string(form->size()) + "\r\n\r\n" + *form;
        else
            request += "\r\n";
        if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) > 0)
            switchfw_child::read_until(fd, &answer, "</html>", 10);
    }
    close(fd);
    return answer;
}

TEST(snmp_pages_e2e, CommunityAndUserFromThePagesAnswerSnmpget) {
    const fs::path dir = fs::path(test_workdir::path()) / "fw";
    fs::create_directories(dir);
    const int offset = switchfw_child::free_port_offset();
    switchfw_child::Child fw = switchfw_child::start(
        dir, {"--port-offset", std::to_string(offset), "--flash", "flash.bin", "--fs", "fs"});
    std::string console;
    ASSERT_TRUE(switchfw_child::read_until(fw.out, &console, "DXP.0> ", 60)) << console;

    const int http = offset + 80;
    std::string login_form = "username=admin&password=qivor";
    std::string login = web(http, "/login.cgi", "", &login_form);
    size_t at = login.find("WebManaged=");
    ASSERT_NE(at, std::string::npos) << login;
    std::string cookie = login.substr(at + 11, login.find_first_of(";\r", at) - at - 11);

    auto post = [&](const std::string &path, std::string form) {
        std::string answer = web(http, path, cookie, &form);
        EXPECT_EQ(answer.find("error_message"), std::string::npos) << path << answer;
        return answer;
    };
    post("/snmp_group_new.cgi", "snmp_group_name=webro&snmp_ver=1&read_state=en");
    post("/snmp_group_new.cgi", "snmp_group_name=webv3&snmp_ver=2&auth_state=en&read_state=en");
    // The factory groups come first: the new ones are slots 2 and 3.
    post("/snmp_user_new.cgi", "snmp_user_name=webro_user&snmp_group_name=2");
    post("/snmp_user_new.cgi", "snmp_user_name=webv3&snmp_group_name=3&auth_key=webpass12");
    std::string list = web(http, "/snmp_community_new.htm", cookie);
    ASSERT_NE(list.find(">webro</option>"), std::string::npos) << list;
    // The group's position in the SNMPv1/SNMPv2c list: after the factory two.
    post("/snmp_community_new.cgi",
         "snmp_community_name=webcomm&snmp_community_ip=0.0.0.0&snmp_group_name=2");

    // sysName is empty: -On prints it as "".
    const std::string kAnswer = ".1.3.6.1.2.1.1.5.0 = \"\"";
    const std::string agent =
        " -On -r 1 -t 3 127.0.0.1:" + std::to_string(offset + 161) + " .1.3.6.1.2.1.1.5.0";
    EXPECT_NE(shell("snmpget -v2c -c webcomm" + agent).find(kAnswer), std::string::npos);
    const std::string v3 = "snmpget -v3 -l authNoPriv -u webv3 -a MD5 -A webpass12" + agent;
    EXPECT_NE(shell(v3).find(kAnswer), std::string::npos);
    EXPECT_EQ(
        shell("snmpget -v3 -l authNoPriv -u webv3 -a MD5 -A wrongpass1" + agent).find(kAnswer),
        std::string::npos);

    // A new engine ID keeps the user working; once deleted it answers nothing.
    post("/snmp_id.cgi", "select_type=1&engine_id=0102030405");
    EXPECT_NE(shell(v3).find(kAnswer), std::string::npos);
    post("/showuser.cgi", "user_page=4");
    post("/deluser.cgi", "id=4");
    EXPECT_EQ(shell(v3).find(kAnswer), std::string::npos);

    kill(fw.pid, SIGKILL);
    waitpid(fw.pid, nullptr, 0);
    close(fw.in);
    close(fw.out);
}

}  // namespace
