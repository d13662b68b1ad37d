#!/usr/bin/env python3
"""Browser scenario: Apply on an unchanged form stores nothing new.

Starts switchfw on the 52-, 28- and 26-port boards in turn (one program per
board, one browser session for all) and logs in. For every form that writes
settings it opens the page, presses the form's Apply button without
changing anything and compares the settings backup (dxpqsw.cfg) before and
after: it must be the same, but for the password record and the checksum
line, which are scrambled anew at every download. The priority-mapping
forms show by mode: the mode is chosen first (a change), then the form
shown is applied unchanged. The port page is pressed for a fast-Ethernet
port and for the first gigabit port with each kind of gigabit PHY the board
can carry (the SERDES, generic copper, the 640X copper/fibre PHY and the
6401S on fibre, each in a program of its own), whose advertisement the
backup holds as the chip reports it; a copper one is first capped at 100
Mb/s on the monitor, which its page shows as a choice of its own.

Before the forms are pressed, hand-made posts set what the forms' lists do
not offer: port 1's egress limit between two steps (640 kbps, 130 KB
burst) and the RAM log's LOCAL1-LOCAL4 levels, and the monitor sets
multicast-only storm control, which the storm page refuses posted by hand; an ingress-only Apply on the rate page keeps that egress limit, and
the unchanged forms keep them all.

    unchanged_apply_scenario.py SWITCHFW_BINARY [SCREENSHOT_PNG]

Exits 77 (skipped) when Chromium or chromedriver cannot be found.
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser_test  # noqa: E402
from browser_test import TestFailure, expect, log_in, run_main, wait_for_port  # noqa: E402
from browser_test import wait_state  # noqa: E402
from vlan_scenario import open_main, pick_offset  # noqa: E402

BOARDS = ("52", "28", "26")

# (page to open, the Apply button in its frame, the answer's address holds,
# and what is chosen first or None). A form with a choice changes the
# settings on purpose: it shows the next form, whose unchanged Apply is
# checked. The IP form goes last: the address is applied a second later.
MODE_DSCP = "#modes tr:nth-child(3) input"
MODE_PORT = "#modes tr:nth-child(2) input"
FORMS = [
    ("aging.htm", "#apply", "aging.cgi", None),
    ("darp_config.htm", "#apply", "darp.cgi", None),
    ("dos.htm", "#apply", "dos.cgi", None),
    ("dos_perport.htm", "#apply", "dos_perport.cgi", None),
    ("loggers.htm", "#apply", "logger_set.cgi", None),
    ("mirror.htm", "#apply", "mirror.cgi", None),
    ("qos.htm", "#apply", "qos.cgi", None),
    ("queue_num.htm", "#apply", "queue_num.cgi", None),
    ("qos_enhance.htm", "#apply_mode", "qos_enhance_mode.cgi", None),
    ("qos_enhance.htm", "#apply_mode", "qos_enhance_mode.cgi", MODE_DSCP),
    ("qos_enhance.htm", "form[name='map'] input[type='submit']", "qos_enhance_", None),
    ("qos_enhance.htm", "#apply_mode", "qos_enhance_mode.cgi", MODE_PORT),
    ("qos_enhance.htm", "form[name='port'] input[type='submit']", "qos_enhance_port.cgi", None),
    ("rate.htm", "#apply", "setrate.cgi", None),
    ("storm.htm", "#apply", "storm_per_port.cgi", None),
    ("snmp_community.htm", "#apply", "editcommunity.cgi", None),
    ("snmp_group.htm", "#apply", "editgroup.cgi", None),
    ("snmp_user.htm", "#apply", "edituser.cgi", None),
    ("snmp_id.htm", "#apply", "snmp_id.cgi", None),
    ("trunk.htm", "#apply", "trunk.cgi", None),
    ("vlan.htm", "#apply", "setvlan.cgi", None),
    ("voip.htm", "#apply", "voip.cgi", None),
    ("setip.htm", "form[name='setip'] input[type='submit']", "setip.cgi", None),
]

# The 26-port board's chip has no field processor for the rules of the
# port-based priorities: it refuses that mode, so its form never shows.
SKIPPED = {"26": {MODE_PORT, "qos_enhance_port.cgi"}}

PORT_BUTTON = "form[name='portset'] input[type='submit']"
FIRST_GIGABIT = {"52": 49, "28": 25, "26": 25}
# Each kind of gigabit PHY, with the options that fit it and start the port
# on its medium. The board's own kind runs with every form.
GIGABIT_KINDS = {
    "serdes": [],
    "copper": [],
    "640x": [],
    "6401s": ["--fiber", "{port}"],
}
BOARD_KIND = {"52": "serdes", "28": "serdes", "26": "copper"}
# The 26-port board's chip has no SERDES of its own.
NO_KIND = {"26": {"serdes"}}


# (path, body) of the hand-made posts of values the lists do not offer.
OFF_LIST = [
    ("/setrate.cgi", "port=1&ingress=0&egress_enable=1&egress=10&burst=1040"),
    ("/logger_set.cgi", "m0=247&m1=3&m2=3"),
]
# Multicast storm control alone, which the storm page offers nowhere and
# refuses posted by hand: set on the monitor, for every port.
OFF_LIST_MONITOR = b"rate Limit=2048 Bcast=0 Mcast=1 Dlf=0\n"
STORM_PAGE = ("var x = new XMLHttpRequest(); x.open('GET', '/storm.htm', false); x.send();"
              "return x.responseText;")
POST = ("var x = new XMLHttpRequest(); x.open('POST', arguments[0], false);"
        "x.setRequestHeader('Content-Type', 'application/x-www-form-urlencoded');"
        "x.send(arguments[1]); return x.responseText;")
# A copper gigabit port capped at 100 Mb/s on the monitor: its port page
# shows the cap as a choice of its own, which the unchanged Apply keeps.
CAPPED_KINDS = {"copper", "640x"}
CAP_MONITOR = b"port ge0 AutoNeg=on SPeed=100\n"
PORT_PAGE = ("var x = new XMLHttpRequest(); x.open('GET', '/setport.cgi?port=' + arguments[0],"
             " false); x.send(); return x.responseText;")
RATE_ROW = ("var row = document.getElementById('rates').rows[1];"
            "return row ? row.innerText : '';")


def port_forms(*ports):
    return [(f"setport.cgi?port={p}", PORT_BUTTON, "portset.cgi", None) for p in ports]

BACKUP = ("var x = new XMLHttpRequest(); x.open('GET', '/dxpqsw.cfg', false); x.send();"
          "return x.responseText;")

MAIN_TEXT = browser_test.main_frame_script(
    "state.text = main.document.body ? main.document.body.innerText : '';\n"
    "state.error = !!main.document.querySelector('.errorbox');")


def stored(wd):
    """The backup file's lines but the password record and the checksum."""
    wd.frame_path()
    text = wd.script(BACKUP)
    expect("qos=" in text, f"no backup file: {text[:200]!r}")
    return [line for line in text.splitlines()
            if not line.startswith("password=") and not line.startswith("#end")]


def press(wd, base, page, button, answer, choose):
    """Opens the page, makes its choice if any and presses its button: the
    answer page's state (its text, and whether it is the error page)."""
    open_main(wd, base, page)
    wd.frame_path("left", "main")
    if choose:
        wd.click(choose)
    wd.click(button)
    wd.frame_path()
    state = wait_state(wd, lambda s: answer in s.get("main", "").rsplit("/", 1)[-1]
                       and s.get("text") is not None, f"the answer to {page}", MAIN_TEXT)
    return state


def off_list_values(wd, base, proc):
    """Sets the values the lists do not offer, then changes only port 1's
    ingress limit on the rate page: its egress limit stays."""
    wd.frame_path()
    for path, body in OFF_LIST:
        answer = wd.script(POST, path, body)
        expect("errorbox" not in answer, f"{path} {body}: {answer[:300]!r}")
    proc.stdin.write(OFF_LIST_MONITOR)
    proc.stdin.flush()
    wait_state(wd, lambda page: "<td>1</td><td>MC</td>" in page,
               "port 1's multicast storm control set on the monitor", STORM_PAGE)
    open_main(wd, base, "rate.htm")
    wd.frame_path("left", "main")
    shown = wd.script("var e = document.getElementById('egress');"
                      "var b = document.getElementById('burst');"
                      "document.getElementById('ingress').value = '1024';"
                      "return e.options[e.selectedIndex].text + ' / ' +"
                      "       b.options[b.selectedIndex].text;")
    expect(shown == "640 kbps (running) / 130 KB (running)", f"the rate form shows {shown!r}")
    wd.click("#apply")
    wd.frame_path()
    wait_state(wd, lambda s: s.get("main", "").endswith("/setrate.cgi"), "the answer setrate.cgi")
    open_main(wd, base, "rate.htm")
    wd.frame_path("left", "main")
    row = wd.script(RATE_ROW)
    wd.frame_path()
    expect(row.split()[1:] == ["1024", "kbps", "640", "kbps", "130", "KB"],
           f"port 1 after an ingress-only Apply: {row!r}")


def check_board(session, wd, binary, board, kind, forms):
    """Starts the board with the kind of gigabit PHY and presses the forms
    unchanged; the forms whose Apply stored something."""
    offset = pick_offset()
    base = f"http://127.0.0.1:{80 + offset}"
    work = os.path.join(session.work, f"{board}-{kind}")
    os.makedirs(work)
    gigabit = str(FIRST_GIGABIT[board])
    extra = ["--gig-phy", kind] + [a.format(port=gigabit) for a in GIGABIT_KINDS[kind]]
    proc = subprocess.Popen(
        [binary, "--port-offset", str(offset), "--flash", "flash.bin", "--fs", "fs",
         "--board", board] + extra,
        cwd=work, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
    # The session ends the program with the scenario, however it ends.
    session.procs.append(proc)
    wait_for_port(80 + offset, "switchfw", proc)
    log_in(wd, base)
    if kind == BOARD_KIND[board]:
        off_list_values(wd, base, proc)
    if kind in CAPPED_KINDS:
        proc.stdin.write(CAP_MONITOR)
        proc.stdin.flush()
        wd.frame_path()
        wait_state(wd, lambda page: 'autonego = Number("2")' in page
                   and '"up to 100"' in page, "the port page showing the 100 cap",
                   PORT_PAGE.replace("arguments[0]", gigabit))
    before = stored(wd)
    changed = []
    for page, button, answer, choose in forms:
        if {answer, choose} & SKIPPED.get(board, set()):
            continue
        state = press(wd, base, page, button, answer, choose)
        if state.get("error"):
            changed.append(f"{page}: answered {state.get('text', '')[:200]!r}")
        if page == "setip.htm":
            time.sleep(1.5)  # the address is applied a second after the answer
        after = stored(wd)
        if after != before and not choose:
            moved = [line[:120] for line in after if line not in before]
            changed.append(f"{page} {answer}: stored {moved}")
        before = after
    proc.kill()
    proc.wait()
    return [f"board {board}, {kind} PHYs: {c}" for c in changed]


def run(session, binary, screenshot):
    binary = os.path.abspath(binary)
    screenshot = os.path.abspath(screenshot) if screenshot else None
    browser_test.DEADLINE = time.monotonic() + 400
    wd = session.browser("1200,800")
    changed = []
    for board in BOARDS:
        gigabit = FIRST_GIGABIT[board]
        own = BOARD_KIND[board]
        # The port page of a fast-Ethernet port goes with the other forms,
        # before the IP form moves the address.
        forms = FORMS[:-1] + port_forms(1, gigabit) + FORMS[-1:]
        changed += check_board(session, wd, binary, board, own, forms)
        for kind in GIGABIT_KINDS:
            if kind != own and kind not in NO_KIND.get(board, set()):
                changed += check_board(session, wd, binary, board, kind, port_forms(gigabit))
    expect(not changed, "Apply without a change:\n  " + "\n  ".join(changed))
    if screenshot:
        wd.screenshot(screenshot)
    print("Unchanged Apply scenario passed")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(run_main(run, __doc__, "unchanged_apply_"))
    except TestFailure as e:
        print(f"FAIL: {e}")
        sys.exit(1)
