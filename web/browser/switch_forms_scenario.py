#!/usr/bin/env python3
"""Browser scenario of the mirroring, trunk, static ARP and aging forms.

Starts switchfw on the 26-port board and a headless Chromium through
chromedriver and logs in. On the mirroring page it turns mirroring on with
monitor port 5 and no mirrored port; a trunk posted with a letter among its
members is refused with the error page and the trunk stays; an ARP entry
with a malformed MAC or IP address is refused naming the field and nothing
is added; the aging time is set to 450 seconds (Apply answers with the
system page). After a restart from the console with the same flash, the
mirroring page shows mirroring on to port 5, the console has not refused
the monitor port and the aging page shows the new time.

    switch_forms_scenario.py SWITCHFW_BINARY [SCREENSHOT_PNG]

Exits 77 (skipped) when Chromium or chromedriver cannot be found.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser_test  # noqa: E402
from browser_test import expect, log_in, run_main, wait_state  # noqa: E402
from trunk_scenario import apply_trunks  # noqa: E402
from vlan_scenario import Firmware, open_main, pick_offset  # noqa: E402


def main_reads(wd, script):
    """What the script returns, run in the main frame."""
    wd.frame_path("left", "main")
    try:
        return wd.script(script)
    finally:
        wd.frame_path()


def press(wd, answer, what):
    """Presses the main frame's #apply: the main frame's state once answer loaded."""
    wd.frame_path("left", "main")
    wd.click("#apply")
    wd.frame_path()
    return wait_state(wd, lambda s: s.get("main", "").endswith("/" + answer), what)


def mirror_shown(wd, base):
    open_main(wd, base, "mirror.htm")
    return main_reads(wd, "return {mode: document.getElementById('modesel').value,"
                          "        mtp: document.getElementById('mtp').value};")


def monitor_without_mirrored_ports(wd, base):
    open_main(wd, base, "mirror.htm")
    main_reads(wd, "document.getElementById('modesel').value = '1';"
                   "document.getElementById('mtp').value = '5';")
    state = press(wd, "mirror.cgi", "the answer to the mirroring form")
    expect("ERROR" not in state.get("main_text", ""), f"mirroring refused: {state}")
    shown = mirror_shown(wd, base)
    expect(shown == {"mode": "1", "mtp": "5"}, f"mirroring shown after Apply: {shown}")


def trunk_with_letters_refused(wd, base):
    state = apply_trunks(wd, base, {1: "1,2"}, "1")
    expect("ERROR" not in state.get("main_text", ""), f"trunk refused: {state}")
    state = apply_trunks(wd, base, {1: "1,x"}, "1")
    text = state.get("main_text", "")
    expect("ERROR" in text and
           "Member list of trunk 1 must be port numbers separated by commas" in text,
           f"a trunk member with a letter without its error page: {text}")
    open_main(wd, base, "trunk.htm")
    cell = main_reads(wd, "return document.getElementById('cell1').textContent;")
    expect(cell == "1,2", f"trunk 1 after the refused post: {cell!r}")


def arp_entry_refused(wd, base, mac, ip, message):
    open_main(wd, base, "darp_add.htm")
    wd.frame_path("left", "main")
    wd.type("input[name=mac]", mac)
    wd.type("input[name=ip]", ip)
    wd.type("input[name=vid]", "1")
    wd.frame_path()
    text = press(wd, "darpadd.cgi", "the answer to the ARP entry").get("main_text", "")
    expect("ERROR" in text and message in text, f"ARP entry {mac} {ip} not refused: {text}")


def arp_entries_refused(wd, base):
    arp_entry_refused(wd, base, "00-11-22-33-44-zz", "10.0.0.5", "Invalid MAC address")
    arp_entry_refused(wd, base, "00-11-22-33-44-55", "10.0.0", "Invalid IP address")
    open_main(wd, base, "darp_entry.htm")
    rows = main_reads(wd, "return document.getElementById('bindings').innerText;")
    expect("00-11-22-33-44-55" not in rows and "10.0.0.5" not in rows,
           f"a refused ARP entry was added: {rows}")


def aging_set(wd, base):
    open_main(wd, base, "aging.htm")
    main_reads(wd, "document.getElementById('enable').checked = true;"
                   "document.getElementById('time').disabled = false;"
                   "document.getElementById('time').value = '450';")
    state = press(wd, "aging.cgi", "the answer to the aging form")
    text = state.get("main_text", "")
    # Apply answers with the system page, as the file table binds it.
    expect("ERROR" not in text and "Firmware Version" in text, f"aging answer: {state}")


def aging_shown(wd, base):
    open_main(wd, base, "aging.htm")
    return main_reads(wd, "return document.getElementById('current').textContent;")


def settings_back_after_restart(wd, base, console, screenshot):
    shown = mirror_shown(wd, base)
    expect(shown == {"mode": "1", "mtp": "5"}, f"mirroring after the restart: {shown}")
    with open(console, encoding="utf-8", errors="replace") as f:
        expect("bad monitor port" not in f.read(), "the restart refused the saved monitor port")
    aging = aging_shown(wd, base)
    expect(aging == "450 second(s)", f"aging time after the restart: {aging!r}")
    if screenshot:
        wd.screenshot(os.path.abspath(screenshot))
    print("switch forms scenario passed")


def run(session, binary, screenshot):
    binary = os.path.abspath(binary)
    browser_test.DEADLINE = time.monotonic() + 150
    offset = pick_offset()
    base = f"http://127.0.0.1:{80 + offset}"
    console = os.path.join(session.work, "console.txt")
    firmware = Firmware(binary, session.work, offset, console)
    try:
        wd = session.browser()
        log_in(wd, base)
        monitor_without_mirrored_ports(wd, base)
        trunk_with_letters_refused(wd, base)
        arp_entries_refused(wd, base)
        aging_set(wd, base)
        expect(aging_shown(wd, base) == "450 second(s)", "aging time not set")

        firmware.restart()
        firmware = Firmware(binary, session.work, offset, console)
        log_in(wd, base)
        settings_back_after_restart(wd, base, console, screenshot)
    finally:
        firmware.stop()
    return 0


if __name__ == "__main__":
    sys.exit(run_main(run, __doc__, "switch_forms_scenario_"))
