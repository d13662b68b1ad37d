// The web part of the application start-up.
#pragma once

// Installs the login hook, names the server (and so its session cookie)
// "WebManaged" and, when the "httpd" setting enables it, starts the server.
// 0, or -1 when the server threads cannot be made.
int web_start(void);
