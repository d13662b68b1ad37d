#!/usr/bin/env python3
"""Browser test of the port pages against the firmware program.

Starts switchfw on the 52-port board (with a VLAN 100 made by its test hook)
in a temporary folder and a headless Chromium through chromedriver, logs in,
opens the port status page, follows port 3 to its settings form, sets
10 Mb/s full duplex and PVID 100 through the form, reloads the status page
and the form and sees both, and takes a screenshot of the port status page.

    port_scenario.py SWITCHFW_BINARY [SCREENSHOT.png]

Exits 77 (skipped) when Chromium or chromedriver cannot be found.
"""
import os
import subprocess
import sys

sys.dont_write_bytecode = True  # no cache files in the source tree
import browser_test  # noqa: E402
from browser_test import (TestFailure, expect, log_in, main_frame_script,  # noqa: E402
                          run_main, wait_for_port, wait_state)

# Reads the main frame and the front panel from the top document.
MAIN_STATE = main_frame_script("""
  state.html = main.document.body ? main.document.body.innerHTML : '';
  var f = main.document.forms.portset;
  if (f) state.form = {speed: f.speed.value, pvid: f.pvid.value, autonego: f.autonego.value,
                       port: f.port.value, priority: f.priority.value,
                       flow_ctrl: f.flow_ctrl.value, speed_disabled: f.speed.disabled,
                       speeds: Array.prototype.map.call(f.speed.options,
                                                        function (o) { return o.text; })};
  state.text = main.document.body ? main.document.body.innerText : '';
  state.links = window.frames['banner'].document.querySelectorAll('td[id^=link]').length;""")


def pick_offset():
    # Below the ephemeral ports (32768 up) that clients take, and one more
    # than a multiple of 3 above the end-to-end tests' offsets (10000 + 3k),
    # so that their web and telnet ports never meet ours.
    start = 10001 + (os.getpid() % 5000) * 3
    for offset in range(start, start + 3000, 3):
        if browser_test.firmware_ports_claimed(offset):
            return offset
    raise TestFailure("no free port offset for the firmware")


def wait_main(wd, check, what):
    return wait_state(wd, check, what, MAIN_STATE)


def open_status_page(wd):
    browser_test.navigate_main(wd, "/portconf.htm")


def port_row(html, port):
    """The table row that holds the given port's link on the status page."""
    at = html.find(f'id="port{port}"')
    expect(at >= 0, f"status page lacks port {port}")
    return html[html.rfind("<tr>", 0, at):html.find("</tr>", at)]


def run(session, switchfw, screenshot):
    offset = pick_offset()
    web_port = 80 + offset
    env = dict(os.environ, SWITCHFW_TEST_MANAGERS="create")
    fw = subprocess.Popen([switchfw, "--port-offset", str(offset), "--flash", "flash.bin",
                           "--fs", "fs", "--board", "52"],
                          cwd=session.work, env=env, stdin=subprocess.PIPE,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    session.procs.append(fw)
    wait_for_port(web_port, "switchfw", fw)

    wd = session.browser("1400,1000")
    log_in(wd, f"http://127.0.0.1:{web_port}")

    # The status page, then port 3's form through its link.
    open_status_page(wd)
    state = wait_main(wd, lambda s: s.get("main", "").endswith("/portconf.htm"),
                      "the port status page")
    expect("<b>Down</b>" in port_row(state["html"], 3), "port 3 is not listed as down")
    wd.frame_path("left", "main")
    wd.click("#port3")
    wd.frame_path()
    state = wait_main(wd, lambda s: s.get("form", {}).get("port") == "03", "port 3's form")

    wd.frame_path("left", "main")
    wd.click("select[name='autonego'] option[value='0']")
    wd.click("select[name='speed'] option[value='2']")
    wd.type("input[name='pvid']", "100")
    wd.click("input[type='submit']")
    wd.frame_path()
    state = wait_main(wd, lambda s: s.get("main", "").endswith("/portset.cgi"),
                      "the answer to the form")
    expect("<td>100</td>" in port_row(state["html"], 3),
           f"port 3's PVID after the form: {port_row(state['html'], 3)}")

    # Reloaded, the status page and the form still show the change.
    open_status_page(wd)
    state = wait_main(wd, lambda s: s.get("main", "").endswith("/portconf.htm"),
                      "the reloaded status page")
    expect("<td>100</td>" in port_row(state["html"], 3), "PVID lost on reload")
    expect("<td>1</td>" in port_row(state["html"], 4), "port 4's PVID changed")
    expect(state.get("links") == 52, f"front panel has {state.get('links')} link LEDs")
    if screenshot:
        wd.screenshot(screenshot)
    wd.frame_path("left", "main")
    wd.click("#port3")
    wd.frame_path()
    # The page's script fills the values after the form itself is there.
    state = wait_main(wd, lambda s: s.get("form", {}).get("port") == "03" and
                      s["form"].get("speeds") and s["form"].get("pvid"), "port 3's form again")
    form = {key: state["form"][key] for key in ("speed", "pvid", "autonego", "port")}
    expect(form == {"speed": "2", "pvid": "100", "autonego": "0", "port": "03"},
           f"form after the change: {state['form']}")
    print("port scenario passed")
    return 0


if __name__ == "__main__":
    sys.exit(run_main(run, __doc__, "port_scenario_"))
