// Loops and tags that print one table row or cell per front-panel port.
#include "web_pages.h"

#include <atomic>

namespace {

std::atomic<int> board_port_count{0};

constexpr uint16_t kAllPorts = 0;
constexpr uint16_t kFirstHalf = 100;
constexpr uint16_t kLargeBoard = 6;
constexpr uint16_t kSmallBoard = 7;
constexpr uint16_t kSecondHalfColumn = 4;
constexpr uint16_t kAsInteger = 2;
constexpr uint16_t kLayoutRowBreak = 1;
constexpr uint16_t kLayoutRowSpan = 5;
constexpr int kLargeBoardPorts = 27;

int first_half(int ports) {
    return (ports + 1) / 2;
}

}  // namespace

int web_port_count(void) {
    return board_port_count.load();
}

void web_board_port_count_set(int ports) {
    board_port_count.store(ports > 0 ? ports : 0);
}

int ssploop_port_tag_index(const uint16_t args[3], int index, httpd_request *) {
    int ports = web_port_count();
    switch (args[0]) {
        case kAllPorts:
            return index < ports ? 1 : 0;
        case kFirstHalf:
            return index < first_half(ports) ? 1 : 0;
        default:
            return 0;
    }
}

int ssploop_once_tag(const uint16_t *, int index, httpd_request *) {
    return index == 0 ? 1 : 0;
}

int ssploop_board_tag_size(const uint16_t args[3], int index, httpd_request *) {
    if (index != 0) return 0;
    bool large = web_port_count() >= kLargeBoardPorts;
    return (args[0] == kLargeBoard && large) || (args[0] == kSmallBoard && !large) ? 1 : 0;
}

void sspvar_port_tag_number(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    int ports = web_port_count();
    int port = args[0] + 1;
    if (args[1] == kSecondHalfColumn) port += first_half(ports);
    if (port == ports + 1) {
        web_tag_text(out, "&nbsp;");
    } else if (port <= ports) {
        if (args[2] == kAsInteger) {
            web_tag_int(out, port);
        } else {
            web_tag_text(out, web_tag_printf("%02d", port));
        }
    }
}

void sspvar_port_tag_count(const uint16_t *, httpd_tag_out *out, httpd_request *) {
    web_tag_int(out, web_port_count());
}

void sspvar_port_tag_layout(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    bool large = web_port_count() >= kLargeBoardPorts;
    const char *text = "";
    if (args[0] == kLayoutRowBreak && large && args[1] == 25) text = "<TR>";
    if (args[0] == kLayoutRowSpan && large) text = "rowspan=2";
    web_tag_text(out, text);
}
