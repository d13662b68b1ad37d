#!/usr/bin/env python3
"""Browser scenario of the trunk page on the firmware program.

Starts switchfw on the 26-port board, whose trunks 1 and 2 take fast
Ethernet ports only and trunk 3 the gigabit ports only, and a headless
Chromium through chromedriver; logs in, asks for trunk 1 with the gigabit
ports 25 and 26 on the trunk page and presses Apply (the switch refuses:
the error page says which trunk takes which ports), then builds trunk 1 of
ports 1 and 2 and trunk 3 of ports 25 and 26 with the destination address
criterion and finds them on the page.

    trunk_scenario.py SWITCHFW_BINARY [SCREENSHOT_PNG]

Exits 77 (skipped) when Chromium or chromedriver cannot be found.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser_test  # noqa: E402
from browser_test import expect, log_in, run_main, wait_state  # noqa: E402
from vlan_scenario import Firmware, open_main, pick_offset  # noqa: E402

RULE = ("Trunks 1-2 take fast Ethernet ports only (1-24), "
        "trunk 3 takes gigabit ports only (25-26).")
DA = "DA ( Destination MAC Address ) "


def apply_trunks(wd, base, members, criterion):
    """Fills the trunk form and presses Apply: the main frame's state after."""
    open_main(wd, base, "trunk.htm")
    wd.frame_path("left", "main")
    for number, ports in members.items():
        wd.type(f"#tgmember{number}", ports)
    wd.script(f"document.getElementById('trunk_criteria').value = '{criterion}';")
    wd.click("#apply")
    wd.frame_path()
    return wait_state(wd, lambda s: s.get("main", "").endswith("/trunk.cgi"),
                      "the answer to the trunk form")


def refused_trunk_gets_error_page(wd, base):
    state = apply_trunks(wd, base, {1: "25,26"}, "2")
    text = state.get("main_text", "")
    expect("ERROR" in text and "The switch refused trunk 1." in text and RULE in text,
           f"a refused trunk without its error page: {text}")


def trunks_that_fit_are_shown(wd, base):
    state = apply_trunks(wd, base, {1: "1,2", 3: "25,26"}, "2")
    expect("ERROR" not in state.get("main_text", ""), f"trunks refused: {state}")
    wd.frame_path("left", "main")
    page = wd.script(
        "var c = document.getElementById('trunk_criteria');"
        "return {t1: document.getElementById('cell1').textContent,"
        "        t3: document.getElementById('cell3').textContent,"
        "        criterion: c.options[c.selectedIndex].text,"
        "        text: document.body.innerText};")
    wd.frame_path()
    expect(page["t1"] == "1,2" and page["t3"] == "25,26", f"trunks on the page: {page}")
    expect(page["criterion"] == DA.strip(), f"criterion shown: {page['criterion']!r}")
    expect(RULE in page["text"],
           f"the page does not say which trunk takes which ports: {page['text']}")


def run(session, binary, screenshot):
    browser_test.DEADLINE = time.monotonic() + 120
    offset = pick_offset()
    base = f"http://127.0.0.1:{80 + offset}"
    firmware = Firmware(os.path.abspath(binary), session.work, offset)
    try:
        wd = session.browser()
        log_in(wd, base)
        refused_trunk_gets_error_page(wd, base)
        trunks_that_fit_are_shown(wd, base)
        if screenshot:
            wd.screenshot(os.path.abspath(screenshot))
    finally:
        firmware.stop()
    print("trunk scenario passed")
    return 0


if __name__ == "__main__":
    sys.exit(run_main(run, __doc__, "trunk_scenario_"))
