#!/usr/bin/env python3
"""Browser scenario of the cable page on a port that runs on its fibre.

For the 26-, 28- and 52-port boards starts switchfw with copper/fibre PHYs
on the gigabit ports, a fibre and a copper cable on the first and a copper
cable with a short on pair B on the second (on the 28- and 52-port boards
after storing `phy_fiber_pref_ge0=1`, so that the first starts on its fibre),
logs in with a headless Chromium, opens the cable page, picks the first
gigabit port and presses Test: the page says the port runs on fibre and
tests none of its copper pairs, as the monitor's `cablediag ge0` does. The
second port's test finds the short.

    cable_fibre_scenario.py SWITCHFW_BINARY [SCREENSHOT.png]

Exits 77 (skipped) when Chromium or chromedriver cannot be found.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache files in the source tree
import browser_test as bt  # noqa: E402
from port_speed_scenario import Console  # noqa: E402
from vlan_scenario import pick_offset  # noqa: E402

expect, wait_state = bt.expect, bt.wait_state

ON_FIBRE = "port runs on fibre: copper pairs not tested"
# (board, PHY model, first and second gigabit front-panel ports)
BOARDS = (("26", "6412", 25, 26), ("28", "6416", 25, 26), ("52", "6416", 49, 50))
STATE = bt.main_frame_script("""
  var cell = main.document.getElementById('state');
  state.state = cell ? cell.innerText : '';
  var tested = main.document.getElementById('tested');
  state.tested = tested ? tested.innerText : '';
  state.pairs = [];
  var rows = main.document.querySelectorAll('#result tr');
  for (var i = 0; i < rows.length; i++) {
    var th = rows[i].querySelector('th'), td = rows[i].querySelector('td');
    if (th && td && th.innerText.indexOf('Pair ') == 0) state.pairs.push(td.innerText);
  }""")


def test_port(wd, port):
    """Picks the port on the cable page, presses Test; the page's result."""
    bt.navigate_main(wd, "/cable.htm")
    wait_state(wd, lambda s: s.get("main", "").endswith("/cable.htm"), "the cable page", STATE)
    wd.frame_path("left", "main")
    wd.click(f"#port option[value='{port}']")
    wd.click("#test")
    wd.frame_path()
    return wait_state(wd, lambda s: s.get("main", "").endswith("/cable.cgi") and
                      s.get("tested") == f"{port:02d}", f"the cable test of port {port}", STATE)


def start_board(session, binary, name, board, model, first, second):
    """switchfw on the board with the fibre on its first gigabit port; the
    console and the web address."""
    binary = os.path.abspath(binary)
    if board != "26":
        # Copper comes first on these boards unless the port prefers fibre.
        console = Console(binary, session.work, pick_offset(), name, ["--board", board])
        session.procs.append(console.proc)
        console.run("config add phy_fiber_pref_ge0=1")
        console.run("config save")
        console.stop()
    offset = pick_offset()
    console = Console(binary, session.work, offset, name,
                      ["--board", board, "--gig-phy", model, "--fiber", str(first),
                       "--cable", f"{first}=40", "--cable", f"{second}=30/B=short@12"])
    session.procs.append(console.proc)
    return console, f"http://127.0.0.1:{80 + offset}"


def run_board(wd, console, base, ports, screenshot):
    first, second = ports
    bt.log_in(wd, base)
    state = test_port(wd, first)
    expect(state["state"] == ON_FIBRE, f"port {first} on fibre: {state}")
    expect(state["pairs"] == ["not tested"] * 4, f"port {first}'s pairs: {state['pairs']}")
    if screenshot:
        wd.screenshot(os.path.abspath(screenshot))
    shown = console.run("cablediag ge0")
    expect(f"port ge0: {ON_FIBRE}" in shown, f"the monitor's test of ge0: {shown}")
    state = test_port(wd, second)
    expect(state["state"] == "Short", f"port {second}'s copper: {state}")
    expect(state["pairs"][1] == "Short, length 12 meters", f"port {second}'s pairs: {state}")


def run(session, binary, screenshot):
    bt.DEADLINE = time.monotonic() + 160
    wd = session.browser("1200,800")
    for index, (board, model, first, second) in enumerate(BOARDS):
        console, base = start_board(session, binary, f"cable{index}", board, model, first, second)
        run_board(wd, console, base, (first, second), screenshot if index == 0 else None)
        console.stop()
    print("Cable fibre scenario passed")
    return 0


if __name__ == "__main__":
    sys.exit(bt.run_main(run, __doc__, "cable_fibre_"))
