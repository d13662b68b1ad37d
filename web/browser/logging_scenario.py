#!/usr/bin/env python3
"""Browser scenario of the logging page.

Logs in to the test server in a headless Chromium, adds a syslog server on
127.0.0.1 on the logging page, sees it listed, then logs out and finds the
log lines of that session arriving at a UDP listener on 127.0.0.1.

    logging_scenario.py SERVER_BINARY [SCREENSHOT_PNG]

Exits 77 (skipped) when Chromium or chromedriver cannot be found.
"""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser_test import (SKIP, TestFailure, WebDriver, expect, free_port,  # noqa: E402
                          login, wait_for_port, wait_state)

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


def run(server_bin, screenshot=None):
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    driver = shutil.which("chromedriver")
    if not chromium or not driver:
        print("SKIP: chromium and chromedriver are not installed")
        return SKIP

    work = tempfile.mkdtemp(prefix="web_logging_")
    procs = []
    wd = None
    syslog = udp_listener()
    try:
        web_port = free_port()
        server = subprocess.Popen([server_bin, str(web_port), os.path.join(work, "flash.bin")],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=sys.stderr, text=True)
        procs.append(server)
        ready = server.stdout.readline().split()
        expect(ready[:1] == ["ready"], f"server did not start: {ready}")
        wait_for_port(web_port, "test server", server)

        driver_port = free_port()
        chromedriver = subprocess.Popen([driver, f"--port={driver_port}"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        procs.append(chromedriver)
        wait_for_port(driver_port, "chromedriver", chromedriver)
        wd = WebDriver(driver_port)
        wd.start(chromium, [
            "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
            "--disable-component-update", "--disable-sync", "--no-first-run",
            "--disable-dev-shm-usage", f"--user-data-dir={os.path.join(work, 'profile')}",
        ])

        wd.get(f"http://127.0.0.1:{web_port}/")
        wait_state(wd, lambda s: s.get("main_has_login"), "the login page")
        login(wd, "admin", "qivor")
        wait_state(wd, lambda s: s.get("main", "").endswith("/system.htm"), "the system page")

        # The entry sits in a folded part of the menu tree.
        wd.script("window.frames['left'].frames['main'].location.href = '/loggers.htm';")
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
        if wd:
            wd.quit()
        for p in reversed(procs):
            if p.stdin:
                p.stdin.close()
            p.terminate()
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(work, ignore_errors=True)


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__)
        return 2
    try:
        return run(sys.argv[1], sys.argv[2] if len(sys.argv) == 3 else None)
    except TestFailure as e:
        print(f"FAIL: {e}")
        return 1


if __name__ == "__main__":
    sys.exit(main())
