#!/usr/bin/env python3
"""Browser test of the forms whose scripts run before they post.

Starts switchfw on the 52-port board in a temporary folder and a headless
Chromium, logs in and presses each such form's button: Restart and Factory
Defaults ask first and send nothing when dismissed; Apply on the dynamic ARP
page with no change keeps the trusted ports; Apply on the DoS pages sets the
checked attacks, system-wide and per port. Last, Restart confirmed restarts
the program.

    scripted_forms_scenario.py SWITCHFW_BINARY [SCREENSHOT.png]

Exits 77 (skipped) when Chromium or chromedriver cannot be found.
"""
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no cache files in the source tree
import browser_test as bt  # noqa: E402
from port_scenario import pick_offset  # noqa: E402

TestFailure, expect, wait_state = bt.TestFailure, bt.expect, bt.wait_state

# The state of the main frame's check boxes and radio buttons.
MAIN_STATE = bt.main_frame_script("""
  state.checked = {};
  main.document.querySelectorAll('input[type=checkbox],input[type=radio]').forEach(
      function (e) { if (e.id) state.checked[e.id] = e.checked; });""")


def open_page(wd, page):
    bt.navigate_main(wd, f"/{page}")
    return wait_state(wd, lambda s: s.get("main", "").endswith("/" + page), page, MAIN_STATE)


def press(wd, css, answer):
    """Presses the button in the main frame and waits for the answer page."""
    wd.frame_path("left", "main")
    wd.click(css)
    wd.frame_path()
    return wait_state(wd, lambda s: s.get("main", "").endswith("/" + answer),
                      f"the answer {answer}", MAIN_STATE)


def dismissed_dialog(wd, css, question, fw):
    """Presses a button that asks first, dismisses the question and checks
    that the page stays and the program keeps running."""
    wd.frame_path("left", "main")
    wd.click(css)
    text = wd.call("GET", wd.s("/alert/text"))
    expect(text == question, f"the dialog asks {text!r}")
    wd.call("POST", wd.s("/alert/dismiss"), {})
    time.sleep(2)  # a restart would follow within 1.75 s
    expect(fw.poll() is None, "the program ended after the dialog was dismissed")
    wd.frame_path()
    state = wd.script(MAIN_STATE)
    expect(state.get("main", "").endswith("/reset.htm"), f"the page left: {state.get('main')}")


def start_logged_in(session, switchfw):
    """switchfw on the 52-port board on an empty flash, and a browser logged
    in to it: (the program's process, the browser)."""
    offset = pick_offset()
    web_port = 80 + offset
    fw = subprocess.Popen([switchfw, "--port-offset", str(offset), "--flash", "flash.bin",
                           "--fs", "fs", "--board", "52"],
                          cwd=session.work, stdin=subprocess.PIPE,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    session.procs.append(fw)
    bt.wait_for_port(web_port, "switchfw", fw)
    wd = session.browser("1400,1000")
    bt.log_in(wd, f"http://127.0.0.1:{web_port}")
    return fw, wd


def run(session, switchfw, screenshot):
    fw, wd = start_logged_in(session, switchfw)

    open_page(wd, "reset.htm")
    dismissed_dialog(wd, "form[name='reset'] input[type='submit']",
                     "Do you want to restart the system?", fw)
    dismissed_dialog(wd, "form[name='factory'] input[type='submit']",
                     "Do you want to restore the factory defaults?", fw)

    # ARP inspection on with ports 1 and 3 trusted, then Apply unchanged.
    open_page(wd, "darp_config.htm")
    wd.frame_path("left", "main")
    wd.click("select[name='enable'] option[value='1']")
    wd.click("#trust1")
    wd.click("#trust3")
    wd.frame_path()
    for when in ("after the first Apply", "after Apply with no change"):
        state = press(wd, "#apply", "darp.cgi")
        trusted = {p: state["checked"].get(f"trust{p}") for p in (1, 2, 3)}
        expect(trusted == {1: True, 2: False, 3: True}, f"trusted {when}: {trusted}")
        open_page(wd, "darp_config.htm")

    # The system-wide DoS checks.
    state = open_page(wd, "dos.htm")
    expect(state["checked"].get("land") is False, "the Land check starts on")
    wd.frame_path("left", "main")
    wd.click("#land")
    wd.click("#xmas")
    wd.frame_path()
    state = press(wd, "#apply", "dos.cgi")
    checks = {c: state["checked"].get(c) for c in ("land", "blat", "xmas")}
    expect(checks == {"land": True, "blat": False, "xmas": True}, f"DoS checks: {checks}")

    # The per-port checks of port 1, with the higher ping-flood rate.
    open_page(wd, "dos_perport.htm")
    wd.frame_path("left", "main")
    wd.click("#smurf")
    wd.click("#ping")
    wd.click("#ping128")
    wd.frame_path()
    state = press(wd, "#apply", "dos_perport.cgi")
    checks = {c: state["checked"].get(c) for c in ("smurf", "ping", "ping128", "ping64", "syn")}
    expect(checks == {"smurf": True, "ping": True, "ping128": True, "ping64": False,
                      "syn": False}, f"per-port checks: {checks}")
    if screenshot:
        wd.screenshot(screenshot)

    # Restart confirmed: the program restarts (it ends with status 10 here).
    open_page(wd, "reset.htm")
    wd.frame_path("left", "main")
    wd.click("form[name='reset'] input[type='submit']")
    wd.call("POST", wd.s("/alert/accept"), {})
    try:
        status = fw.wait(timeout=10)
    except subprocess.TimeoutExpired:
        raise TestFailure("Restart confirmed did not restart the program") from None
    expect(status == 10, f"the program ended with status {status}")
    print("scripted forms scenario passed")
    return 0


if __name__ == "__main__":
    sys.exit(bt.run_main(run, __doc__, "scripted_forms_"))
