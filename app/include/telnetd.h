// Telnet daemon: "login: " and "password: ", then the "ecos>" shell with its
// console bound to the session's socket.
#pragma once

constexpr int TELNETD_PORT = 23;
constexpr int TELNETD_MAX_SESSIONS = 4;
constexpr int TELNETD_LOGIN_TRIES = 3;
// How long a connection made during start-up waits for the settings load.
constexpr long TELNETD_STARTUP_WAIT_USECS = 60L * 1000000;
constexpr int TELNETD_SEND_TIMEOUT_SECONDS = 30;  // a client that stops reading is dropped
// A login must end within this time; a shell session ends after this long
// without input. Either frees the session's slot for someone else.
constexpr int TELNETD_LOGIN_SECONDS = 60;
constexpr int TELNETD_IDLE_SECONDS = 600;

// Binds the telnet port (moved by the host port offset) on the platform's
// listening address and starts the "telnetd" thread: 0, or negative after
// printing why the port is unusable.
int telnetd_start(void);
// Closes the listening socket; running sessions go on until they end.
void telnetd_stop(void);
// The port actually bound, 0 while stopped.
int telnetd_port(void);
// Sessions holding a slot now.
int telnetd_session_count(void);
