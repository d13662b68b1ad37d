#!/usr/bin/env python3
"""Browser scenario of a gigabit port forced to 1000 Mb/s on every board.

For the 52-, 28- and 26-port boards (the last with a cable on its first
gigabit port, and again with dual-media PHYs and no signal) starts switchfw with its console on a pipe, logs in with a
headless Chromium, follows the first gigabit port from the port status page
to its settings form, turns auto-negotiation off, picks "1Gbps Full",
priority 3 and flow control, presses Apply, and then sees the values on the
reopened form and the port's state on the monitor ("ps" and "port").

    port_speed_scenario.py SWITCHFW_BINARY [SCREENSHOT.png]

Exits 77 (skipped) when Chromium or chromedriver cannot be found.
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache files in the source tree
import browser_test  # noqa: E402
from browser_test import TestFailure, expect, log_in, run_main  # noqa: E402
from browser_test import wait_for_port, wait_state  # noqa: E402
from port_scenario import MAIN_STATE  # noqa: E402
from vlan_scenario import open_main, pick_offset  # noqa: E402

# (board, first gigabit port, extra options, what "port ge0" shows after)
BOARDS = (
    ("52", 49, [], "Forced(1GFD"),
    ("28", 25, [], "Forced(1GFD"),
    # Gigabit on copper negotiates with only 1000 full advertised.
    ("26", 25, ["--cable", "25=10"], "Adv(1GFD+TXpau+RXpau)"),
    # A dual-media copper and fibre port with signal on neither.
    ("26", 25, ["--gig-phy", "6401s"], "Forced(1GFD"),
)


class Console:
    """switchfw with its monitor on a pipe and its output in a file."""

    def __init__(self, binary, work, offset, name, args):
        self.out_path = os.path.join(work, f"console{name}.txt")
        self.out = open(self.out_path, "wb")
        self.proc = subprocess.Popen(
            [binary, "--port-offset", str(offset), "--flash", f"flash{name}.bin",
             "--fs", f"fs{name}"] + args,
            cwd=work, stdin=subprocess.PIPE, stdout=self.out, stderr=subprocess.STDOUT)
        wait_for_port(80 + offset, "switchfw", self.proc)
        self.marks = 0

    def run(self, line):
        """The monitor's output of one command line."""
        self.marks += 1
        mark = f"end-of-command-{self.marks}"
        self.proc.stdin.write(f"{line}\nEcho {mark}\n".encode())
        self.proc.stdin.flush()
        while time.monotonic() < browser_test.DEADLINE:
            with open(self.out_path, "rb") as f:
                text = f.read().decode(errors="replace")
            if mark in text:
                start = text.rfind(f"end-of-command-{self.marks - 1}") if self.marks > 1 else 0
                return text[max(start, 0):text.find(mark)]
            time.sleep(0.1)
        raise TestFailure(f"the monitor did not answer {line!r}")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.out.close()


def consoles(session, binary, boards, name):
    """switchfw on each board in turn, with its console on a pipe:
    (index, console, base address); the program ends before the next."""
    for index, board in enumerate(boards):
        offset = pick_offset()
        console = Console(binary, session.work, offset, f"{name}{index}", ["--board", board])
        # The session ends the program with the scenario, however it ends.
        session.procs.append(console.proc)
        try:
            yield index, console, f"http://127.0.0.1:{80 + offset}"
        finally:
            console.stop()


def run_each_board(session, binary, screenshot, boards, name, run_board, seconds,
                   before_screenshot=None):
    """A scenario's run: run_board(wd, console, base) on each board in turn
    within the seconds, the screenshot after the first board's (and after
    before_screenshot(wd, console) when given)."""
    screenshot = os.path.abspath(screenshot) if screenshot else None
    browser_test.DEADLINE = time.monotonic() + seconds
    wd = session.browser("1200,800")
    for index, console, base in consoles(session, os.path.abspath(binary), boards, name):
        run_board(wd, console, base)
        if screenshot and index == 0:
            if before_screenshot:
                before_screenshot(wd, console)
            wd.screenshot(screenshot)
    return 0


def wait_form(wd, port):
    # The page's script fills the speed list and the values after the form
    # itself is there.
    label = f"{port:02d}"
    return wait_state(wd, lambda s: s.get("form", {}).get("port") == label and
                      s["form"].get("speeds") and s["form"].get("pvid"),
                      f"port {port}'s form", MAIN_STATE)


def force_gigabit(wd, base, port):
    open_main(wd, base, "portconf.htm")
    wd.frame_path("left", "main")
    wd.click(f"#port{port}")
    wd.frame_path()
    state = wait_form(wd, port)
    expect("1Gbps Full" in state["form"]["speeds"], f"port {port} offers {state['form']}")
    wd.frame_path("left", "main")
    wd.click("select[name='autonego'] option[value='0']")
    wd.click("select[name='speed'] option[value='5']")
    wd.click("select[name='flow_ctrl'] option[value='1']")
    wd.click("select[name='priority'] option:nth-child(4)")
    wd.click("input[type='submit']")
    wd.frame_path()
    state = wait_state(wd, lambda s: s.get("main", "").endswith("/portset.cgi"),
                       "the answer to the form", MAIN_STATE)
    expect("failed" not in state.get("text", ""), f"port {port} refused: {state.get('text')}")


def run(session, binary, screenshot):
    binary = os.path.abspath(binary)
    screenshot = os.path.abspath(screenshot) if screenshot else None
    # Three firmware starts take longer than the login test's time.
    browser_test.DEADLINE = time.monotonic() + 160
    wd = session.browser("1200,800")
    for index, (board, port, extra, shown) in enumerate(BOARDS):
        offset = pick_offset()
        base = f"http://127.0.0.1:{80 + offset}"
        # The session ends the program with the scenario, however it ends.
        console = Console(binary, session.work, offset, index, ["--board", board] + extra)
        session.procs.append(console.proc)
        log_in(wd, base)
        force_gigabit(wd, base, port)

        # The reopened form shows what was applied.
        browser_test.navigate_main(wd, f"{base}/setport.cgi?port={port}")
        form = wait_form(wd, port)["form"]
        expect((form["autonego"], form["speed"], form["priority"], form["flow_ctrl"]) ==
               ("0", "5", "3", "1"), f"board {board} port {port} form after Apply: {form}")
        expect(not form["speed_disabled"], "the speed list is disabled")

        ps = console.run("ps ge0")
        expect("1G FD" in ps, f"board {board}: ps ge0 after Apply:\n{ps}")
        info = console.run("port ge0")
        expect(shown in info and "UtPri(3)" in info,
               f"board {board}: port ge0 after Apply:\n{info}")
        if screenshot and index == 2:
            wd.screenshot(screenshot)
        console.stop()
    print("port speed scenario passed")
    return 0


if __name__ == "__main__":
    sys.exit(run_main(run, __doc__, "port_speed_scenario_"))
