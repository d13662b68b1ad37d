#!/usr/bin/env python3
"""Browser scenario of the 802.1Q VLAN pages on the firmware program.

Starts switchfw on the 26-port board (a flash file and file system in a
temporary directory, server ports moved by an offset of 10000 or more) and a
headless Chromium through chromedriver, logs in, creates VLAN 100 with ports
1 and 2 tagged and port 3 untagged on the creation page, restarts the
firmware from its console with the same flash, logs in again and finds the
VLAN with those members on the VLAN list page.

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


def open_main(wd, base, page):
    wd.frame_path()
    wd.script(f"window.frames['left'].frames['main'].location.href = '{base}/{page}';")
    wait_state(wd, lambda s: s.get("main", "").endswith("/" + page), page)


def run(session, binary, screenshot):
    binary = os.path.abspath(binary)
    screenshot = os.path.abspath(screenshot) if screenshot else None
    # Two firmware starts take longer than the login test's time.
    browser_test.DEADLINE = time.monotonic() + 150

    firmware = None
    try:
        offset = pick_offset()
        base = f"http://127.0.0.1:{80 + offset}"
        firmware = Firmware(binary, session.work, offset)
        wd = session.browser()

        log_in(wd, base)
        open_main(wd, base, "vlannew.htm")
        wd.frame_path("left", "main")
        wd.type("#newid", "100")
        wd.script("document.getElementById('p1').value = '2';"
                  "document.getElementById('p2').value = '2';"
                  "document.getElementById('p3').value = '1';")
        wd.click("#apply")
        wd.frame_path()
        state = wait_state(wd, lambda s: s.get("main", "").endswith("/newvlan.cgi"),
                           "the answer to the creation")
        expect("ERROR" not in state.get("main_text", ""), f"creation refused: {state}")

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
