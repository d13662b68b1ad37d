#!/usr/bin/env python3
"""Browser scenario of a copper/fibre port on a 100BASE-FX fibre.

On the 26-port board with 640X PHYs, automatic medium selection and fibre
preference saved, a copper cable and a 100BASE-FX fibre on port 25: the
port's form offers "100Mbps Full" alone; auto-negotiation turned off with
flow control on is applied and the port runs forced 100 full; the reopened
form shows it, and a change of the priority alone is applied and keeps it.
Then switchfw starts again on the same flash with the fibre arriving a few
seconds after start: the port runs the saved forced 100 full on copper
first and on the fibre once it comes, and its form shows it.

    fx100_scenario.py SWITCHFW_BINARY [SCREENSHOT.png]

Exits 77 (skipped) when Chromium or chromedriver cannot be found.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache files in the source tree
import browser_test  # noqa: E402
from browser_test import expect, log_in, run_main  # noqa: E402
from fibre_save_scenario import open_form, until  # noqa: E402
from port_scenario import MAIN_STATE  # noqa: E402
from port_speed_scenario import Console  # noqa: E402
from vlan_scenario import pick_offset  # noqa: E402

PORT = 25
BASE_ARGS = ["--board", "26", "--gig-phy", "640x"]
FORCED = "Forced(100MFD+TXpau+RXpau)"
# Seconds after start before the fibre of the last start arrives.
FIBRE_LATER = 8


def start(session, binary, args):
    offset = pick_offset()
    console = Console(binary, session.work, offset, "", BASE_ARGS + args)
    session.procs.append(console.proc)
    return console, f"http://127.0.0.1:{80 + offset}"


def apply_form(wd, clicks):
    wd.frame_path("left", "main")
    for css in clicks:
        wd.click(css)
    wd.click("input[type='submit']")
    wd.frame_path()
    state = browser_test.wait_state(wd, lambda s: s.get("main", "").endswith("/portset.cgi"),
                                    "the answer to the form", MAIN_STATE)
    expect("failed" not in state.get("text", ""), f"Apply refused: {state.get('text')}")


def expect_forced_form(form, priority, when):
    expect(form["speeds"] == ["100Mbps Full"], f"{when}: the form offers {form['speeds']}")
    expect((form["autonego"], form["speed"], form["flow_ctrl"], form["priority"]) ==
           ("0", "4", "1", priority), f"{when}: the form shows {form}")


def run(session, binary, screenshot):
    binary = os.path.abspath(binary)
    screenshot = os.path.abspath(screenshot) if screenshot else None
    browser_test.DEADLINE = time.monotonic() + 160
    wd = session.browser("1200,800")

    console, _ = start(session, binary, [])
    for line in ("config add phy_automedium=1", "config add phy_fiber_pref=1", "config save"):
        console.run(line)
    console.stop()

    console, base = start(session, binary, ["--cable", f"{PORT}=10", "--fiber", f"{PORT}/100"])
    info = until(console, "port ge0", "Auto(100MFD")
    expect("Auto(100MFD" in info, f"ge0 on its 100BASE-FX fibre:\n{info}")
    log_in(wd, base)
    form = open_form(wd, base, PORT)
    expect(form["speeds"] == ["100Mbps Full"], f"the negotiating port's form: {form}")
    apply_form(wd, ["select[name='autonego'] option[value='0']",
                    "select[name='flow_ctrl'] option[value='1']"])
    info = until(console, "port ge0", FORCED)
    expect(FORCED in info, f"ge0 after Disable and Apply:\n{info}")
    form = open_form(wd, base, PORT)
    expect_forced_form(form, "0", "after Apply")
    expect(not form["speed_disabled"], "the speed list of the forced port is disabled")
    apply_form(wd, ["select[name='priority'] option:nth-child(6)"])
    info = until(console, "port ge0", "UtPri(5)")
    expect(FORCED in info and "UtPri(5)" in info, f"ge0 after the priority change:\n{info}")
    expect_forced_form(open_form(wd, base, PORT), "5", "after the priority change")
    if screenshot:
        wd.screenshot(screenshot)
    console.stop()

    console, base = start(session, binary,
                          ["--cable", f"{PORT}=10", "--fiber", f"{PORT}@{FIBRE_LATER}/100"])
    combo = until(console, "combo ge0", "Copper medium (active)")
    expect("Copper medium (active)" in combo, f"ge0 before its fibre comes:\n{combo}")
    combo = until(console, "combo ge0", "Fiber medium (active)")
    expect("Fiber medium (active)" in combo, f"ge0 once its fibre comes:\n{combo}")
    info = until(console, "port ge0", FORCED)
    expect(FORCED in info, f"ge0 on the fibre that came after start:\n{info}")
    log_in(wd, base)
    expect_forced_form(open_form(wd, base, PORT), "5", "on the fibre that came after start")
    console.stop()
    print("100BASE-FX scenario passed")
    return 0


if __name__ == "__main__":
    sys.exit(run_main(run, __doc__, "fx100_scenario_"))
