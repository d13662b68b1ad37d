#!/usr/bin/env python3
"""Browser scenario of the logging page.

Logs in to the test server in a headless Chromium, adds a syslog server on
127.0.0.1 on the logging page, sees it listed, then logs out and finds the
log lines of that session arriving at a UDP listener on 127.0.0.1.

    logging_scenario.py SERVER_BINARY [SCREENSHOT_PNG]

Exits 77 (skipped) when Chromium or chromedriver cannot be found.
"""

import os
import socket
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser_test import (TestFailure, expect, log_in, run_main,  # noqa: E402
                          navigate_main, start_test_server, wait_state)

DEADLINE = time.monotonic() + 90


def udp_listener():
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", 0))
    sock.settimeout(0.2)
    return sock


def receive_until(sock, text):
    seen = []
    while time.monotonic() < DEADLINE:
        try:
            data = sock.recv(2048).decode("utf-8", "replace")
        except socket.timeout:
            continue
        seen.append(data)
        if text in data:
            return seen
    raise TestFailure(f"no syslog line with {text!r}; got {seen[:5]}")


def run(session, server_bin, screenshot):
    syslog = udp_listener()
    try:
        web_port, _ = start_test_server(session, server_bin)
        wd = session.browser()
        log_in(wd, f"http://127.0.0.1:{web_port}")

        # The entry sits in a folded part of the menu tree.
        navigate_main(wd, "/loggers.htm")
        wait_state(wd, lambda s: "Add Syslog Server" in s.get("main_text", ""), "the logging page")

        syslog_port = syslog.getsockname()[1]
        wd.frame_path("left", "main")
        wd.type("#name", "collector")
        wd.type("#ip", "127.0.0.1")
        wd.type("#port", str(syslog_port))
        wd.click("#add")
        wd.frame_path()
        state = wait_state(wd, lambda s: "collector" in s.get("main_text", ""),
                           "the new server in the list")
        expect(f"127.0.0.1\t{syslog_port}\tlocal0" in state["main_text"],
               f"server row: {state['main_text'][:400]!r}")
        if screenshot:
            wd.screenshot(screenshot)

        # Logging out is logged at INFO, which a new server forwards.
        wd.frame_path("left", "menu")
        wd.click("#menu_logout")
        wd.frame_path()
        lines = receive_until(syslog, "User logouted from 127.0.0.1")
        expect(all(line.startswith("<") for line in lines), f"not syslog lines: {lines}")
        print("logging scenario passed")
        return 0
    finally:
        syslog.close()


if __name__ == "__main__":
    sys.exit(run_main(run, __doc__, "web_logging_"))
