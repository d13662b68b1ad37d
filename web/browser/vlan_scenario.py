#!/usr/bin/env python3
"""Browser scenario of the 802.1Q VLAN pages on the firmware program.

Starts switchfw on the 26-port board (a flash file and file system in a
temporary directory, server ports moved by an offset of 10000 or more) and a
headless Chromium through chromedriver, logs in, starts the monitor's traffic
test on ports 5 and 6, and while it runs creates VLAN 100 with ports 1 and 2
tagged and port 3 untagged on the creation page (taken) and VLAN 101 with
port 5 (refused: the port is under self-test). After the test the chip holds
VLAN 100 and not 101; the scenario restarts the firmware from its console
with the same flash, logs in again and finds the VLAN with those members on
the VLAN list page.

    vlan_scenario.py SWITCHFW_BINARY [SCREENSHOT_PNG]

Exits 77 (skipped) when Chromium or chromedriver cannot be found.
"""
import os
import random
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser_test  # noqa: E402
from browser_test import TestFailure, expect, log_in, run_main  # noqa: E402
from browser_test import wait_for_port, wait_state  # noqa: E402



def pick_offset():
    """An offset of 10000 or more whose server ports this scenario now holds."""
    for _ in range(200):
        offset = 10000 + random.randrange(0, 7000) * 3
        if browser_test.firmware_ports_claimed(offset):
            return offset
    raise TestFailure("no free server ports")


class Firmware:
    def __init__(self, binary, work, offset, console=None):
        """console: a file the console output is added to, else it is dropped."""
        out = open(console, "ab") if console else subprocess.DEVNULL
        self.proc = subprocess.Popen(
            [binary, "--port-offset", str(offset), "--flash", "flash.bin", "--fs", "fs",
             "--board", "26"],
            cwd=work, stdin=subprocess.PIPE, stdout=out, stderr=subprocess.STDOUT)
        if console:
            out.close()
        wait_for_port(80 + offset, "switchfw", self.proc)

    def command(self, line):
        self.proc.stdin.write(line.encode() + b"\n")
        self.proc.stdin.flush()

    def restart(self):
        """The monitor's EXIT restarts the switch: the program ends with 10."""
        self.proc.stdin.write(b"EXIT\n")
        self.proc.stdin.flush()
        try:
            status = self.proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            raise TestFailure("switchfw did not restart") from None
        expect(status == 10, f"switchfw ended with {status} on EXIT")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def wait_console(path, text, what, seconds=20):
    """The console output once it holds the text."""
    deadline = time.monotonic() + seconds
    while True:
        with open(path, "rb") as f:
            seen = f.read().decode(errors="replace")
        if text in seen:
            return seen
        if time.monotonic() > deadline:
            raise TestFailure(f"no {what} on the console: {seen[-2000:]}")
        time.sleep(0.2)


def open_main(wd, base, page):
    browser_test.navigate_main(wd, f"{base}/{page}")
    wait_state(wd, lambda s: s.get("main", "").endswith("/" + page), page)


def run(session, binary, screenshot):
    binary = os.path.abspath(binary)
    screenshot = os.path.abspath(screenshot) if screenshot else None
    # Two firmware starts take longer than the login test's time.
    browser_test.DEADLINE = time.monotonic() + 170

    firmware = None
    try:
        offset = pick_offset()
        base = f"http://127.0.0.1:{80 + offset}"
        console = os.path.join(session.work, "console.txt")
        firmware = Firmware(binary, session.work, offset, console)
        wd = session.browser()

        log_in(wd, base)
        firmware.command("TestRun 72 PortBitMap=fe4-fe5 RunMode=PHY TimeInSeconds=10 "
                         "CounterPollInterval=5")
        wait_console(console, "TRAFFIC: setting up ports", "the traffic test's set-up")
        for vid, states in (("101", {"p5": "2"}), ("100", {"p1": "2", "p2": "2", "p3": "1"})):
            open_main(wd, base, "vlannew.htm")
            wd.frame_path("left", "main")
            wd.type("#newid", vid)
            wd.script("".join(f"document.getElementById('{p}').value = '{v}';"
                              for p, v in states.items()))
            wd.click("#apply")
            wd.frame_path()
            state = wait_state(wd, lambda s: s.get("main", "").endswith("/newvlan.cgi"),
                               f"the answer to the creation of VLAN {vid}")
            text = state.get("main_text", "")
            if vid == "101":
                expect("Port 5: port under self-test" in text, f"VLAN 101 taken: {state}")
            else:
                expect("ERROR" not in text and "self-test" not in text,
                       f"creation refused: {state}")
        wait_console(console, "TEST passed", "the end of the traffic test", 40)
        firmware.command("VLAN show")
        shown = wait_console(console, "\n100     0x", "VLAN 100 on the chip")
        expect("\n101     0x" not in shown, "VLAN 101 on the chip")

        firmware.restart()
        firmware = Firmware(binary, session.work, offset)
        log_in(wd, base)
        open_main(wd, base, "vlanlist.htm")
        wd.frame_path("left", "main")
        rows = wd.script(
            "var out = {};"
            "var links = document.querySelectorAll('a.vid');"
            "for (var i = 0; i < links.length; i++) {"
            "  var row = links[i].closest('tr');"
            "  var cells = row.querySelectorAll('table.members td');"
            "  out[links[i].textContent] = Array.prototype.map.call(cells, function (c) {"
            "    return c.textContent + '/' + c.getAttribute('bgcolor'); });"
            "}"
            "return out;")
        wd.frame_path()
        expect("100" in rows, f"VLAN 100 not on the list page: {rows}")
        expect(rows["100"] == ["01/#FFCC33", "02/#FFCC33", "03/#33FFCC"],
               f"VLAN 100 members after the restart: {rows['100']}")
        if screenshot:
            wd.screenshot(screenshot)
        print("VLAN scenario passed")
        return 0
    finally:
        if firmware:
            firmware.stop()


if __name__ == "__main__":
    sys.exit(run_main(run, __doc__, "vlan_scenario_"))
