#!/usr/bin/env python3
"""Browser scenario of a dual-media port saved while it runs on its fibre.

On the 28-port board with 6401S PHYs, a copper cable and a fibre on port 26,
starts switchfw on a fresh flash (the port runs on its fibre), logs in with a
headless Chromium, opens port 26's settings form, leaves it on Auto and
presses Apply, which saves the port settings. Then starts switchfw again on
the same flash with the copper cable alone: the port negotiates with every
copper speed advertised ("phy ge1 4" reads 0x01e1), and its reopened form
shows Auto.

    fibre_save_scenario.py SWITCHFW_BINARY [SCREENSHOT.png]

Exits 77 (skipped) when Chromium or chromedriver cannot be found.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache files in the source tree
import browser_test  # noqa: E402
from browser_test import expect, log_in, run_main  # noqa: E402
from port_speed_scenario import Console, wait_form  # noqa: E402
from port_scenario import MAIN_STATE  # noqa: E402
from vlan_scenario import open_main, pick_offset  # noqa: E402

PORT = 26
BASE_ARGS = ["--board", "28", "--gig-phy", "6401s", "--cable", f"{PORT}=10"]


def until(console, line, text):
    """The monitor's answer to the line once it holds the text (10 s)."""
    answer = ""
    for _ in range(50):
        answer = console.run(line)
        if text in answer:
            break
        time.sleep(0.2)
    return answer


def open_form(wd, base, port=PORT):
    """The port's settings form, opened from the port status page."""
    open_main(wd, base, "portconf.htm")
    wd.frame_path("left", "main")
    wd.click(f"#port{port}")
    wd.frame_path()
    return wait_form(wd, port)["form"]


def run(session, binary, screenshot):
    binary = os.path.abspath(binary)
    screenshot = os.path.abspath(screenshot) if screenshot else None
    browser_test.DEADLINE = time.monotonic() + 160
    wd = session.browser("1200,800")

    offset = pick_offset()
    base = f"http://127.0.0.1:{80 + offset}"
    console = Console(binary, session.work, offset, "", BASE_ARGS + ["--fiber", str(PORT)])
    session.procs.append(console.proc)
    combo = until(console, "combo ge1", "Fiber medium (active)")
    expect("Fiber medium (active)" in combo, f"ge1 does not run on its fibre:\n{combo}")
    log_in(wd, base)
    form = open_form(wd, base)
    expect(form["autonego"] == "1", f"the form on fibre: {form}")
    wd.frame_path("left", "main")
    wd.click("input[type='submit']")
    wd.frame_path()
    state = browser_test.wait_state(wd, lambda s: s.get("main", "").endswith("/portset.cgi"),
                                    "the answer to the form", MAIN_STATE)
    expect("failed" not in state.get("text", ""), f"Apply refused: {state.get('text')}")
    console.stop()

    offset = pick_offset()
    base = f"http://127.0.0.1:{80 + offset}"
    console = Console(binary, session.work, offset, "", BASE_ARGS)
    session.procs.append(console.proc)
    ps = until(console, "ps ge1", " up ")
    expect("1G FD" in ps, f"ge1 on copper:\n{ps}")
    reg = console.run("phy ge1 4")
    expect("Reg 4: 0x01e1" in reg, f"ge1 advertises on copper:\n{reg}")
    log_in(wd, base)
    form = open_form(wd, base)
    expect(form["autonego"] == "1", f"the form on copper after the restart: {form}")
    if screenshot:
        wd.screenshot(screenshot)
    console.stop()
    print("fibre save scenario passed")
    return 0


if __name__ == "__main__":
    sys.exit(run_main(run, __doc__, "fibre_save_scenario_"))
