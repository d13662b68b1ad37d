#!/usr/bin/env python3
"""Browser scenario of the Factory Defaults button after limits and mirroring.

For the 52-, 28- and 26-port boards starts switchfw with its console on a
pipe and logs in with a headless Chromium. Port 3 gets a broadcast storm
limit on the storm page, an ingress and an egress limit on the rate page,
and mirroring is switched on to port 8 with port 3 mirrored; the monitor
shows the chip's limiter, egress and mirror registers changed. Factory
Defaults pressed on the reset page and its question accepted bring those
registers back to what the first boot had, and the monitor's `mirror`
shows no mirror-to port again.

    factory_registers_scenario.py SWITCHFW_BINARY [SCREENSHOT.png]

Exits 77 (skipped) when Chromium or chromedriver cannot be found.
"""
import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache files in the source tree
import browser_test as bt  # noqa: E402
from port_speed_scenario import run_each_board  # noqa: E402
from switch_forms_scenario import main_reads, press  # noqa: E402
from vlan_scenario import open_main  # noqa: E402

expect, wait_state = bt.expect, bt.wait_state

BOARDS = ("52", "28", "26")
REGISTERS = "getreg raw PORT_IRC_CON.fe2; getreg raw PORT_ERC_CON.fe2; getreg raw MIRCAPCTL"


def registers(console):
    """The raw register values as the monitor reads them, one line each."""
    return re.findall(r"[A-Z_0-9]+(?:\.\w+)?\[0x[0-9a-f]+\]=\w+", console.run(REGISTERS))


def not_refused(state, answer):
    expect("ERROR" not in state.get("main_text", ""), f"{answer} refused: {state}")


def press_apply(wd, answer):
    not_refused(press(wd, answer, f"the answer {answer}"), answer)


# Selects user port n in a list, whatever the width of its values ("3", "03").
SELECT_PORT = ("function port(id, n) { var s = document.getElementById(id);"
               "  for (var i = 0; i < s.options.length; i++)"
               "    if (parseInt(s.options[i].value, 10) == n) s.value = s.options[i].value;"
               "  return s; }")


def pick_port(wd, base, page, answer):
    """Port 3 in the page's port list, which posts the list's form."""
    open_main(wd, base, page)
    main_reads(wd, SELECT_PORT + "port('port', 3).form.submit();")
    not_refused(wait_state(wd, lambda s: s.get("main", "").endswith("/" + answer),
                           f"the answer {answer}"), answer)


def limits_and_mirroring(wd, base):
    pick_port(wd, base, "storm.htm", "storm_show_per_port.cgi")
    main_reads(wd, "document.getElementById('type').value = '2';"
                   "document.getElementById('rate').value = '1000';")
    press_apply(wd, "storm_per_port.cgi")

    pick_port(wd, base, "rate.htm", "rate.cgi")
    # The lists are filled by the page's script: a few steps above "no limit".
    main_reads(wd, "function pick(id, n) { var s = document.getElementById(id);"
                   "  s.value = s.options[Math.min(n, s.options.length - 1)].value; }"
                   "pick('ingress', 4); document.getElementById('egress_enable').value = '1';"
                   "pick('egress', 3); pick('burst', 2);")
    press_apply(wd, "setrate.cgi")

    open_main(wd, base, "mirror.htm")
    main_reads(wd, SELECT_PORT + "port('mtp', 8); document.getElementById('modesel').value = '1';"
                   "(document.getElementById('in03') ||"
                   " document.getElementById('in3')).checked = true;")
    press_apply(wd, "mirror.cgi")


def factory_defaults(wd, base):
    open_main(wd, base, "reset.htm")
    wd.frame_path("left", "main")
    wd.click("form[name='factory'] input[type='submit']")
    text = wd.call("GET", wd.s("/alert/text"))
    expect(text == "Do you want to restore the factory defaults?", f"the dialog asks {text!r}")
    wd.call("POST", wd.s("/alert/accept"), {})
    wd.frame_path()


def run_board(wd, console, base):
    bt.log_in(wd, base)
    first = registers(console)
    expect(len(first) == 3, f"the monitor's registers: {first}")
    shown = console.run("mirror")
    expect("Port=?" in shown, f"a first boot's mirror: {shown}")

    limits_and_mirroring(wd, base)
    changed = registers(console)
    expect(changed != first, f"the forms changed no register: {changed}")
    expect("Port=fe7" in console.run("mirror"), "mirroring to port 8 not on")

    factory_defaults(wd, base)
    # The defaults apply a second or two after the answer.
    now = changed
    for _ in range(50):
        now = registers(console)
        if now == first:
            break
        time.sleep(0.2)
    expect(now == first, f"registers after Factory Defaults:\n{now}\nfirst boot:\n{first}")
    after = console.run("mirror")
    expect("Port=?" in after and "Mode=Off" in after, f"mirror after Factory Defaults:\n{after}")


def run(session, binary, screenshot):
    run_each_board(session, binary, screenshot, BOARDS, "factory", run_board, 170)
    print("factory registers scenario passed")
    return 0


if __name__ == "__main__":
    sys.exit(bt.run_main(run, __doc__, "factory_registers_"))
