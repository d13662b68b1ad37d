#!/usr/bin/env python3
"""Browser scenario of a DoS check the monitor switched on, on the page.

For the 52- and 28-port boards starts switchfw with its console on a pipe
and logs in with a headless Chromium. The monitor's `dos all enable 2`
(Blat, on every port's own control) shows as a checked Blat box on the DoS
page. After `dos fe0 disable 2` the box shows neither on nor off and the
page says that some ports only have it; Apply on that unchanged page leaves
port fe0 off and fe1 on. Two clicks make the box clear, and its Apply
switches Blat off on every port (`dos all show`).

    dos_monitor_scenario.py SWITCHFW_BINARY [SCREENSHOT.png]

Exits 77 (skipped) when Chromium or chromedriver cannot be found.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache files in the source tree
import browser_test as bt  # noqa: E402
from port_speed_scenario import run_each_board  # noqa: E402

expect, wait_state = bt.expect, bt.wait_state

BOARDS = ("52", "28")
BLAT_ON = "Item[ 2] is enabled"
BLAT_OFF = "Item[ 2] is disabled"
STATE = bt.main_frame_script("""
  state.text = main.document.body ? main.document.body.innerText : '';
  var box = main.document.getElementById('blat');
  state.blat = box ? {checked: box.checked, some: box.indeterminate} : null;""")


def open_dos(wd):
    bt.navigate_main(wd, "/dos.htm")
    return wait_state(wd, lambda s: s.get("main", "").endswith("/dos.htm") and s.get("blat"),
                      "the DoS page", STATE)


def press_apply(wd):
    wd.frame_path("left", "main")
    wd.click("#apply")
    wd.frame_path()
    state = wait_state(wd, lambda s: s.get("main", "").endswith("/dos.cgi"),
                       "the answer to the DoS form", STATE)
    expect("ERROR" not in state["text"], f"DoS Apply refused: {state['text']}")
    return state


def run_board(wd, console, base):
    bt.log_in(wd, base)
    console.run("dos all enable 2")
    state = open_dos(wd)
    expect(state["blat"] == {"checked": True, "some": False},
           f"the monitor's Blat check on the page: {state['blat']}")

    console.run("dos fe0 disable 2")
    state = open_dos(wd)
    expect(state["blat"]["some"] and "on for some ports only" in state["text"],
           f"Blat on all ports but fe0: {state}")
    press_apply(wd)
    expect(BLAT_OFF in console.run("dos fe0 show"), "the unchanged Apply switched fe0 on")
    expect(BLAT_ON in console.run("dos fe1 show"), "the unchanged Apply switched fe1 off")

    # The box left neither on nor off: a click makes it on, another clear.
    open_dos(wd)
    wd.frame_path("left", "main")
    wd.click("#blat")
    wd.click("#blat")
    wd.frame_path()
    state = wait_state(wd, lambda s: s.get("blat") is not None, "the Blat box", STATE)
    expect(state["blat"] == {"checked": False, "some": False}, f"two clicks: {state['blat']}")
    press_apply(wd)
    shown = console.run("dos all show")
    expect(BLAT_OFF in shown and BLAT_ON not in shown, f"Blat after Apply with the box clear: "
           f"{shown[:2000]}")
    state = open_dos(wd)
    expect(state["blat"] == {"checked": False, "some": False}, f"the page after: {state}")


def some_ports_page(wd, console):
    console.run("dos fe3 enable 2")  # a page that says "some ports"
    open_dos(wd)


def run(session, binary, screenshot):
    run_each_board(session, binary, screenshot, BOARDS, "dos", run_board, 160, some_ports_page)
    print("DoS monitor scenario passed")
    return 0


if __name__ == "__main__":
    sys.exit(bt.run_main(run, __doc__, "dos_monitor_"))
