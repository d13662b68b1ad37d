// Helpers shared by the page handlers and page tags: the common error page,
// HTML escaping, the shared tag text buffer, the management and client
// addresses, and the tags and loops that many pages use (one row per
// front-panel port, the feature-visibility loop, the empty tag).
#pragma once

#include <cstddef>
#include <cstdint>

#include "httpd.h"

// Button of every form handler's error page: back to the form.
constexpr const char *WEB_RETRY_LABEL = " Retry ";
constexpr const char *WEB_RETRY_ACTION = "history.go(-1)";

// Turns the response into the error page "errormsg.htm" with a title, a
// message, a button label and the button's onclick action; any may be null
// and then shows nothing. The texts are printed HTML-escaped. Returns 1, the
// value the handler returns so that the server takes the new content.
int web_error_page(httpd_event *ev, httpd_request *req, const char *title, const char *message,
                   const char *button, const char *action);

// Switches the request to the content of another web file; 1 when found
// (the handler then returns 1), 0 when the path names no file.
int web_content_switch(httpd_event *ev, const char *path);

// Copies text into out (size bytes) with &, <, >, " and ' as entities; the
// text is cut before an entity that does not fit. Returns the length.
size_t web_html_escape(const char *text, char *out, size_t size);

// Copies text into out without control characters (CR, LF, ...), cut to
// size - 1 bytes, for texts from requests that go into the log.
inline void web_log_text(const char *text, char *out, size_t size) {
    httpd_text_clean(text, out, size);
}

// The shared tag text buffer: tags print here and the renderer copies the
// text before the next tag runs. Only the "httpd" thread renders pages.
constexpr size_t WEB_TAG_TEXT_SIZE = 1024;
const char *web_tag_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void web_tag_text(httpd_tag_out *out, const char *text);
void web_tag_int(httpd_tag_out *out, int number);

// The IPv4 address text of the management interface: "eth1" when it is set
// up, else "eth0"; "" when neither is known.
void web_mgmt_address(char *buf, size_t size);
// The client's IPv4 address; 0.0.0.0 when the peer cannot be read.
void web_client_address(const httpd_request *req, uint8_t addr[4]);
// The IPv4 address text the client reached this connection on; false when
// it cannot be read or is the any-address.
bool web_local_address(const httpd_request *req, char *buf, size_t size);
// Logs why the client's form was refused: a warning naming the client,
// through the log gate of the module's refusals (a burst, then counts).
void web_refused_printf(const httpd_request *req, int module, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
void web_refused_puts(const httpd_request *req, int module, const char *text);

// Holds the switch API's unit lock until the pieces of the page that the
// server builds and sends in one go are out, so that a page of many ports
// waits for the lock once per write rather than once per port. Only for tags
// that call the switch API and no feature manager (a manager's lock comes
// before the unit lock).
void web_api_batch_hold(void);
// Gives the lock back, if held; the server calls it after every write.
void web_api_batch_release(void);

// "Port N: port under self-test (the test's name)" while a self-test holds
// user port N, else nullptr; the text is the shared tag text.
const char *web_port_held_text(int uport);
// The same text for the first port a self-test holds, or nullptr.
const char *web_any_port_held_text(void);

// The board's number of front-panel ports N (0 before the board probe).
int web_port_count(void);

// A form's port list: exactly one character per front-panel port, each one
// of `allowed` ("01" for a yes or no per port). A shorter list would drop the
// ports it leaves out, so it is refused like a wrong character.
bool web_form_ports(const char *text, const char *allowed);
// A form's decimal number: an optional minus sign and digits, nothing else,
// within [min, max]. Anything else, a number too large for its field
// included, is refused rather than cut or wrapped into it.
bool web_form_number(const char *text, long long min, long long max, long long *out);
bool web_form_int(const char *text, int min, int max, int *out);
// A form's fields by name, in whatever order they come: values[i] is the
// value of names[i], null when the post lacks it. Returns null when every
// posted field is one of names and comes once; else the first field that is
// not (unknown, or given twice), which the handler refuses by name.
const char *web_form_fields(const httpd_event *ev, const char *const names[], int count,
                            const char *values[]);
// Set by the board probe; negative counts are taken as 0.
void web_board_port_count_set(int ports);

// ---- tags of "errormsg.htm"
void sspvar_errormsg_tag_title(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_errormsg_tag_message(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_errormsg_tag_button(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_errormsg_tag_action(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);

// ---- per-port tables. "First half": ports 1 to ceil(N/2).
// argument 0: 0 a row per port, 100 a row per port of the first half.
int ssploop_port_tag_index(const uint16_t args[3], int index, httpd_request *req);
// Exactly one row.
int ssploop_once_tag(const uint16_t args[3], int index, httpd_request *req);
// argument 0: 6 one row on boards with 27 ports or more, 7 on smaller ones.
int ssploop_board_tag_size(const uint16_t args[3], int index, httpd_request *req);
// argument 0: loop index; argument 1: 0 or 3 port = index + 1, 4 port of
// the second half; argument 2: 2 as an integer, else "%02d". Port N + 1 (the
// empty cell after an odd count) prints "&nbsp;".
void sspvar_port_tag_number(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
void sspvar_port_tag_count(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
// argument 0: 1 "<TR>" when N >= 27 and argument 1 is 25; 5 "rowspan=2"
// when N >= 27; otherwise an empty text.
void sspvar_port_tag_layout(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);

// ---- feature visibility
// Menu entries and page parts that follow the features of this firmware.
enum web_feature : uint16_t {
    WEB_FEATURE_PVID = 0,
    WEB_FEATURE_LOOP_DETECTION = 1,
    WEB_FEATURE_TRUNK = 2,
    WEB_FEATURE_MIRROR = 3,
    WEB_FEATURE_QOS = 4,
    WEB_FEATURE_RATE = 5,
    WEB_FEATURE_STORM = 6,
    WEB_FEATURE_SPANNING_TREE = 7,
    WEB_FEATURE_MSTP = 8,
    WEB_FEATURE_DOT1X = 9,
    WEB_FEATURE_IGMP_SNOOPING = 10,
    WEB_FEATURE_MLD_SNOOPING = 11,
    WEB_FEATURE_ACL = 12,
    WEB_FEATURE_CABLE_DIAG = 13,
    WEB_FEATURE_AUTO_DOS = 14,
    WEB_FEATURE_AUTO_VOIP = 15,
    WEB_FEATURE_LOGGING = 16,
    WEB_FEATURE_RAM_LOGS = 17,
    WEB_FEATURE_FLASH_LOGS = 18,
    WEB_FEATURE_SNMP = 19,
    WEB_FEATURE_RMON_LITE = 20,
    WEB_FEATURE_DYNAMIC_ARP = 21,
    WEB_FEATURE_COUNT = 22,
};
// argument 0: the feature; one row when it is shown.
int ssploop_feature_tag_show(const uint16_t args[3], int index, httpd_request *req);
// Why the feature does nothing on this switch (its chip lacks the field
// processor the feature's rules need), or nullptr when it runs.
const char *web_feature_missing(uint16_t feature);
// argument 0: the feature; one row when it does nothing on this switch.
int ssploop_feature_tag_missing(const uint16_t args[3], int index, httpd_request *req);
// argument 0: the feature; prints why it does nothing on this switch.
void sspvar_feature_tag_missing(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
// Prints nothing.
void sspvar_empty_tag(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);

// Tag of the system page that prints the management interface's values;
// argument 0 selects: 1 IP address, 2 subnet mask, 3 gateway, 4 interface
// name, 5 "Disabled"/"Enabled" DHCP client, 9 its MAC address ("N/A").
void sspvar_system_tag_ssi(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
