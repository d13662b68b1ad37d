#!/usr/bin/env python3
"""Browser test of the other forms whose scripts gather their values.

Starts switchfw on the 52-port board and a headless Chromium, logs in and
presses each form's button: mirroring on port 3 to port 2, a port-based QoS
priority, the DHCP question dismissed, the log search, an RMON alarm (a bad
number caught in the page, then one created), and the firmware
upgrade without a file (a warning, nothing sent) and with a file that is no
image (the upgrade's error page).

    form_scripts_scenario.py SWITCHFW_BINARY [SCREENSHOT.png]

Exits 77 (skipped) when Chromium or chromedriver cannot be found.
"""
import os
import sys
import time

sys.dont_write_bytecode = True  # no cache files in the source tree
import browser_test as bt  # noqa: E402
from scripted_forms_scenario import open_page, press, start_logged_in  # noqa: E402

expect = bt.expect

# The main frame's text, its boxes and its text fields.
STATE = bt.main_frame_script("""
  state.text = main.document.body ? main.document.body.innerText : '';
  state.checked = {};
  state.values = {};
  main.document.querySelectorAll('input').forEach(function (e) {
    if (!e.id) return;
    if (e.type == 'checkbox' || e.type == 'radio') state.checked[e.id] = e.checked;
    else state.values[e.id] = e.value;
  });""")


def read(wd):
    wd.frame_path()
    return wd.script(STATE)


def in_main(wd, *clicks):
    wd.frame_path("left", "main")
    for css in clicks:
        wd.click(css)


def run(session, switchfw, screenshot):
    _, wd = start_logged_in(session, switchfw)

    # Mirroring: the mode list posts on its own, then the port boxes.
    open_page(wd, "mirror.htm")
    in_main(wd, "#modesel option[value='1']")
    wd.frame_path()
    bt.wait_state(wd, lambda s: s.get("main", "").endswith("/mode.cgi"), "mode.cgi", STATE)
    in_main(wd, "#mtp option[value='2']", "#in3", "#eg3")
    wd.frame_path()
    press(wd, "#apply", "mirror.cgi")
    state = read(wd)
    boxes = {b: state["checked"].get(b) for b in ("in3", "eg3", "in4")}
    expect(boxes == {"in3": True, "eg3": True, "in4": False}, f"mirrored ports: {boxes}")

    # Port-based QoS, then port 1's priority through the port map.
    open_page(wd, "qos_enhance.htm")
    in_main(wd, "input[name='mode'][value='1']")
    wd.frame_path()
    press(wd, "#apply_mode", "qos_enhance_mode.cgi")
    in_main(wd)
    wd.type("#pp0", "5")
    wd.click("form[name='port'] input[type='submit']")
    wd.frame_path()
    bt.wait_state(wd, lambda s: s.get("main", "").endswith("/qos_enhance_port.cgi"),
                  "qos_enhance_port.cgi", STATE)
    state = read(wd)
    expect(state["values"].get("pp0") == "5" and state["values"].get("pp1") == "0",
           f"port priorities: {state['values'].get('pp0')}, {state['values'].get('pp1')}")

    # The DHCP question, dismissed: nothing is sent.
    open_page(wd, "system.htm")
    in_main(wd, "form[name='dhcp'] input[type='submit']")
    text = wd.call("GET", wd.s("/alert/text"))
    expect(text == "Do you want to enable DHCP client?", f"the DHCP dialog asks {text!r}")
    wd.call("POST", wd.s("/alert/dismiss"), {})
    time.sleep(1)
    state = read(wd)
    expect(state["main"].endswith("/system.htm") and "Please check console" not in state["text"],
           "the DHCP form posted after the dialog was dismissed")

    # The log search finds the QoS line logged above.
    open_page(wd, "logfind.htm")
    in_main(wd, "form[name='find'] input[type='submit']")
    wd.frame_path()
    state = bt.wait_state(wd, lambda s: "/logresult.cgi" in s.get("main", ""), "the log search",
                          STATE)
    expect("QoS Enhancement Set" in state["text"], f"the search lists: {state['text'][:300]}")

    # An RMON alarm: a bad number is caught before posting, good ones post.
    open_page(wd, "rmonlite_alarm_overview.htm")
    in_main(wd, "#create")
    wd.frame_path()
    bt.wait_state(wd, lambda s: s.get("main", "").endswith("/rmonlite_alarm_create.cgi"),
                  "the new alarm's form", STATE)
    in_main(wd)
    wd.type("input[name='input_interval']", "ten")
    wd.click("form[name='alarm'] input[type='submit']")
    text = wd.call("GET", wd.s("/alert/text"))
    expect(text == "Invalid number.", f"the alarm form warns {text!r}")
    wd.call("POST", wd.s("/alert/accept"), {})
    wd.type("input[name='input_interval']", "10")
    wd.click("select[name='sel_var_interface'] option[value='3']")
    wd.click("select[name='sel_alarm_var'] option[value='2']")
    wd.type("input[name='input_alarm_rising_threshold']", "1000")
    wd.type("input[name='input_alarm_falling_threshold']", "10")
    wd.type("input[name='input_owner']", "monitor")
    wd.click("form[name='alarm'] input[type='submit']")
    wd.frame_path()
    state = bt.wait_state(wd, lambda s: s.get("main", "").endswith("/rmonlite_alarm_modify.cgi"),
                          "the alarm's answer", STATE)
    expect("failed" not in state["text"], f"the alarm answers: {state['text'][:300]}")
    open_page(wd, "rmonlite_alarm_overview.htm")
    state = read(wd)
    expect("etherStatsOctets.3" in state["text"], f"the alarm list: {state['text'][:300]}")

    # The upgrade without a file warns and stays; a file that is no image is
    # refused by the switch.
    open_page(wd, "fupgrade.htm")
    in_main(wd, "form[name='fupgrade'] input[type='submit']")
    text = wd.call("GET", wd.s("/alert/text"))
    expect(text == "Please choose a firmware image!", f"the upgrade warns {text!r}")
    wd.call("POST", wd.s("/alert/accept"), {})
    path = os.path.join(session.work, "not_an_image.bin")
    with open(path, "wb") as f:
        f.write(b"\x00" * 70000)
    in_main(wd)
    file_input = next(iter(wd.find("#image").values()))
    wd.call("POST", wd.s(f"/element/{file_input}/value"), {"text": path})
    wd.click("form[name='fupgrade'] input[type='submit']")
    wd.frame_path()
    state = bt.wait_state(wd, lambda s: s.get("main", "").endswith("/fupgrade.cgi"),
                          "the upgrade's answer", STATE)
    expect("Invalid firmware image! Please double check!" in state["text"],
           f"the upgrade answers: {state['text'][:300]}")
    if screenshot:
        wd.screenshot(screenshot)
    print("form scripts scenario passed")
    return 0


if __name__ == "__main__":
    sys.exit(bt.run_main(run, __doc__, "form_scripts_"))
