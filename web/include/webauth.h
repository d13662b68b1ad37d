// Web login: the administrator account, the session cookie derived from it,
// the root hook that turns requests without a valid cookie into a redirect to
// the login page, and the login, logout and password handlers.
//
// The cookie carries no session: it is a function of the user name, the
// password and a secret drawn at random at every start, so it stays valid
// until the password changes or the switch restarts, and logging out only
// overwrites the browser's copy. An address with 5 failed logins or wrong
// cookies within 60 s gets the login page without any check for 30 s. The
// stored password record is obfuscated, not encrypted. Browsers and stored
// settings rely on the cookie's "%04X%04X" form and the record format.
#pragma once

#include <cstddef>
#include <cstdint>

#include "httpd.h"
#include "serialize.h"

// 15 characters and the NUL, for the user name and the password alike.
constexpr int WEBAUTH_FIELD_SIZE = 16;
constexpr int WEBAUTH_TEXT_MAX = WEBAUTH_FIELD_SIZE - 1;

constexpr const char *WEBAUTH_DEFAULT_USERNAME = "admin";
constexpr uint32_t WEBAUTH_USERNAME_VERSION = 0x88740001u;
constexpr uint32_t WEBAUTH_PASSWORD_VERSION = 0x88740002u;
// Bytes of the stored password record: 15 scrambled bytes and the time byte.
constexpr size_t WEBAUTH_PASSWORD_RECORD_SIZE = 16;

// Events the root hook takes: headers, cookie, status and extra header.
constexpr uint32_t WEBAUTH_HOOK_MASK =
    HTTPD_F_EV_HEADER | HTTPD_F_EV_COOKIE | HTTPD_F_EV_STATUS | HTTPD_F_EV_EXTRA_HEADER;

// ---- account; shared with the console and telnet logins
// 1 when stored; 0 for a null value or one of 16 characters or more.
int webauth_username_set(const char *name);
int webauth_password_set(const char *password);
// 1 when the value (and its NUL) fits into size bytes; 0 otherwise or for a
// null buffer or a size of 0.
int webauth_username_get(char *buf, int size);
int webauth_password_get(char *buf, int size);

// Handlers of the settings items "username" (text) and "password" (16-byte
// record), registered at start-up.
struct settings_medium;
int webauth_item_username(int op, settings_medium *m);
int webauth_item_password(int op, settings_medium *m);

// ---- session cookie
// The cookie value of the current account and this start ("%04X%04X", at
// most 9 characters).
const char *webauth_cookie_get(void);
// 0 when the value equals the cookie exactly, else -1.
int webauth_cookie_check(const char *value);

// ---- requests
// Root hook of the web server, installed with WEBAUTH_HOOK_MASK.
int webauth_hook(httpd_hook_event *ev, httpd_request *req);

// Page handlers and the redirect page's tag (named in the web file table).
int login_cgi(httpd_event *ev, httpd_request *req);
int logout_cgi(httpd_event *ev, httpd_request *req);
int password_cgi(httpd_event *ev, httpd_request *req);
void sspvar_redirect_tag_target(const uint16_t args[3], httpd_tag_out *out, httpd_request *req);
