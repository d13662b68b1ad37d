#!/usr/bin/env python3
"""Browser test of the IP configuration form on the 28-port board.

Starts switchfw with the factory settings (no gateway: 0.0.0.0) and a
headless Chromium, logs in, changes only the address on the IP page and
presses Apply: the answer names the new address and the system page shows
it a moment later. Apply with the subnet's broadcast address as the
switch's address is refused.

    ip_form_scenario.py SWITCHFW_BINARY [SCREENSHOT.png]

Exits 77 (skipped) when Chromium or chromedriver cannot be found.
"""
import sys
import time

sys.dont_write_bytecode = True  # no cache files in the source tree
import browser_test as bt  # noqa: E402
from field_rules_scenario import MAIN_STATE, open_page, start  # noqa: E402

expect, wait_state = bt.expect, bt.wait_state


def apply_address(wd, address):
    open_page(wd, "setip.htm")
    wd.frame_path("left", "main")
    wd.type("#ip", address)
    wd.click("input[type='submit']")
    wd.frame_path()
    return wait_state(wd, lambda s: s.get("main", "").endswith("/setip.cgi"),
                      "the answer to the IP form", MAIN_STATE)["text"]


def run(session, switchfw, screenshot):
    bt.DEADLINE = time.monotonic() + 90
    wd = session.browser("1400,1000")
    bt.log_in(wd, start(session, switchfw, 28))

    gateway = open_page(wd, "system.htm")["text"]
    expect("0.0.0.0" in gateway, f"the factory settings have a gateway: {gateway}")
    text = apply_address(wd, "192.168.1.20")
    expect("ERROR" not in text and "192.168.1.20" in text,
           f"the factory form with a new address was refused: {text}")
    wait_state(wd, lambda s: "192.168.1.20" in (open_page(wd, "system.htm").get("text") or ""),
               "the new address on the system page")
    if screenshot:
        wd.screenshot(screenshot)

    text = apply_address(wd, "192.168.1.255")
    expect("Invalid IP, network submask or gateway address!" in text,
           f"the broadcast address as the switch's address: {text}")
    print("IP form scenario passed")
    return 0


if __name__ == "__main__":
    sys.exit(bt.run_main(run, __doc__, "ip_form_"))
