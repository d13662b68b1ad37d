#!/usr/bin/env python3
"""Browser test of the web login and the site frame.

Starts the test server and a headless Chromium through chromedriver's
WebDriver protocol, then: opens the switch's address, is sent to the login
page, logs in, sees the system page inside the frameset with its top bar
and menu (whose log entries follow the loggers the server has), changes the
password, logs in with the new one and logs out.

The server redirects to http://<management address>:<port>/<page>, the port
being the test server's own.

    browser_test.py SERVER_BINARY [SCREENSHOT.png]

Exits 77 (skipped) when Chromium or chromedriver cannot be found.
"""
import base64
import fcntl
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

SKIP = 77
DEADLINE = time.monotonic() + 90

# chromedriver listens on loopback: a proxy from the environment must not
# carry its requests.
DIRECT = urllib.request.build_opener(urllib.request.ProxyHandler({}))


class TestFailure(Exception):
    pass


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# Ports claimed by this process, held until it ends. Test programs and
# scenarios run in parallel and probe ports long before their firmware binds
# them; the lock files make two of them never pick the same port.
PORT_LOCKS = "/tmp/switchfw-test-ports"
_claims = []


def claim_ports(ports):
    """Claims the (port, socket kind) pairs when all are free now; False otherwise."""
    os.makedirs(PORT_LOCKS, exist_ok=True)
    held = []
    for port, kind in ports:
        fd = os.open(f"{PORT_LOCKS}/{port}", os.O_RDWR | os.O_CREAT, 0o666)
        held.append(fd)
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            with socket.socket(socket.AF_INET, kind) as s:
                s.bind(("127.0.0.1", port))
        except OSError:
            for h in held:
                os.close(h)
            return False
    _claims.extend(held)
    return True


def firmware_ports_claimed(offset):
    """Claims the firmware's telnet, web, SNMP and trap ports moved by offset."""
    return claim_ports(((offset + 23, socket.SOCK_STREAM), (offset + 80, socket.SOCK_STREAM),
                        (offset + 161, socket.SOCK_DGRAM), (offset + 162, socket.SOCK_DGRAM)))


def wait_for_port(port, what, proc):
    while time.monotonic() < DEADLINE:
        if proc.poll() is not None:
            raise TestFailure(f"{what} ended with status {proc.returncode}")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return
        except OSError:
            time.sleep(0.05)
    raise TestFailure(f"{what} does not answer on port {port}")


class WebDriver:
    def __init__(self, port):
        self.base = f"http://127.0.0.1:{port}"
        self.session = None

    def call(self, method, path, body=None):
        url = self.base + path
        data = json.dumps(body).encode() if body is not None else None
        req = urllib.request.Request(url, data=data, method=method,
                                     headers={"Content-Type": "application/json"})
        try:
            # A page load waits for the switch; on a loaded host that can
            # take a while.
            with DIRECT.open(req, timeout=90) as resp:
                return json.loads(resp.read() or b"null").get("value")
        except urllib.error.HTTPError as e:
            detail = e.read().decode(errors="replace")[:500]
            raise TestFailure(f"{method} {path}: HTTP {e.code}: {detail}") from None
        except (urllib.error.URLError, OSError) as e:
            raise TestFailure(f"{method} {path}: {e}") from None

    def start(self, chromium, args):
        caps = {"capabilities": {"alwaysMatch": {
            "browserName": "chrome",
            "goog:chromeOptions": {"binary": chromium, "args": args},
        }}}
        value = self.call("POST", "/session", caps)
        self.session = value["sessionId"]

    def s(self, path):
        return f"/session/{self.session}{path}"

    def get(self, url):
        self.call("POST", self.s("/url"), {"url": url})

    def script(self, source, *args):
        return self.call("POST", self.s("/execute/sync"), {"script": source, "args": list(args)})

    def frame_path(self, *names):
        """Switches to the top document and then down the named frames."""
        self.call("POST", self.s("/frame"), {"id": None})
        for name in names:
            element = self.find(f"frame[name='{name}']")
            self.call("POST", self.s("/frame"), {"id": element})

    def find(self, css):
        return self.call("POST", self.s("/element"), {"using": "css selector", "value": css})

    def type(self, css, text):
        element = self.find(css)
        eid = next(iter(element.values()))
        self.call("POST", self.s(f"/element/{eid}/clear"), {})
        self.call("POST", self.s(f"/element/{eid}/value"), {"text": text})

    def click(self, css):
        eid = next(iter(self.find(css).values()))
        self.call("POST", self.s(f"/element/{eid}/click"), {})

    def cookies(self):
        return {c["name"]: c["value"] for c in self.call("GET", self.s("/cookie"))}

    def screenshot(self, path):
        self.call("POST", self.s("/frame"), {"id": None})
        data = self.call("GET", self.s("/screenshot"))
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def quit(self):
        if self.session:
            try:
                self.call("DELETE", self.s(""))
            except Exception:
                pass


# Reads the frames from the top document; all pages share one origin.
FRAMES_STATE = """
function text(w) {
  try { return w.document.body ? w.document.body.innerText : ''; } catch (e) { return ''; }
}
function href(w) { try { return w.location.href; } catch (e) { return ''; } }
var left = window.frames['left'];
var state = {top: href(window), bar: text(window.frames['banner'])};
if (left && left.frames['main']) {
  var stale = false;
  try { stale = !!left.frames['main'].document.switchfwStale; } catch (e) {}
  state.main = stale ? '' : href(left.frames['main']);
  state.main_text = text(left.frames['main']);
  state.main_has_login = !!left.frames['main'].document.getElementById('username');
  state.menu = text(left.frames['menu']);
  state.menu_html = left.frames['menu'].document.body ?
      left.frames['menu'].document.body.innerHTML : '';
}
return state;
"""


def main_frame_script(reads):
    """A script for wait_state: the main frame's address once it has loaded,
    and what the JavaScript `reads` adds to `state` from the frame `main`."""
    return ("var main = window.frames['left'] && window.frames['left'].frames['main'];\n"
            "var state = {};\n"
            "try {\n"
            "  state.main = main.document.readyState == 'complete' &&\n"
            "      !main.document.switchfwStale ? main.location.href : '';\n"
            + reads +
            "\n} catch (e) {}\n"
            "return state;\n")


def navigate_main(wd, url):
    """Loads url into the main frame. The page it shows is marked first, so
    that the states above read no address until the new page has replaced
    it: opening the same page again otherwise reads the old one at once."""
    wd.frame_path()
    wd.script("var main = window.frames['left'].frames['main'];\n"
              "try { main.document.switchfwStale = true; } catch (e) {}\n"
              "main.location.href = arguments[0];", url)


def wait_state(wd, check, what, script=FRAMES_STATE):
    """The state the script reads once check accepts it."""
    state = None
    while time.monotonic() < DEADLINE:
        state = wd.script(script)
        if check(state):
            return state
        time.sleep(0.1)
    raise TestFailure(f"timed out waiting for {what}; last state: {json.dumps(state)[:800]}")


def login(wd, user, password):
    wd.frame_path("left", "main")
    wd.type("#username", user)
    wd.type("#password", password)
    wd.click("#login_button")
    wd.frame_path()


def expect(condition, message):
    if not condition:
        raise TestFailure(message)


def browser_tools():
    """(chromium, chromedriver), or None after saying why the test is skipped."""
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    driver = shutil.which("chromedriver")
    if not chromium or not driver:
        print("SKIP: chromium and chromedriver are not installed "
              "(Debian packages chromium, chromium-driver)")
        return None
    return chromium, driver


class Session:
    """What a scenario starts: its processes, the browser and a work folder."""

    def __init__(self, tools, prefix):
        self.tools = tools
        self.work = tempfile.mkdtemp(prefix=prefix)
        self.procs = []
        self.wd = None

    def browser(self, window=None):
        """chromedriver and a headless Chromium session of that window size
        (Chromium's own size without one)."""
        chromium, driver = self.tools
        driver_port = free_port()
        chromedriver = subprocess.Popen([driver, f"--port={driver_port}"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(chromedriver)
        wait_for_port(driver_port, "chromedriver", chromedriver)
        self.wd = WebDriver(driver_port)
        args = [
            "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
            "--disable-component-update", "--disable-sync", "--no-first-run",
            "--disable-dev-shm-usage", f"--user-data-dir={os.path.join(self.work, 'profile')}",
        ]
        if window:
            args.append(f"--window-size={window}")
        self.wd.start(chromium, args)
        return self.wd

    def close(self):
        if self.wd:
            self.wd.quit()
        for p in reversed(self.procs):
            if p.stdin:
                p.stdin.close()
            p.terminate()
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        shutil.rmtree(self.work, ignore_errors=True)


def run_main(scenario, doc, prefix):
    """Runs scenario(session, binary, screenshot or None) with the command
    line's arguments; returns the exit status (77 when skipped)."""
    if len(sys.argv) not in (2, 3):
        print(doc)
        return 2
    tools = browser_tools()
    if tools is None:
        return SKIP
    session = Session(tools, prefix)
    try:
        return scenario(session, sys.argv[1], sys.argv[2] if len(sys.argv) == 3 else None)
    except TestFailure as e:
        print(f"FAIL: {e}")
        return 1
    finally:
        session.close()


def start_test_server(session, server_bin):
    """Starts the test server on a free port; returns (port, words after "ready")."""
    web_port = free_port()
    server = subprocess.Popen([server_bin, str(web_port), os.path.join(session.work, "flash.bin")],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=sys.stderr, text=True)
    session.procs.append(server)
    ready = server.stdout.readline().split()
    expect(ready[:1] == ["ready"], f"server did not start: {ready}")
    wait_for_port(web_port, "test server", server)
    return web_port, ready[1:]


STARTING = "The switch is starting"


def log_in(wd, base):
    """Opens the switch at base and logs in as admin up to the system page.
    A login posted while the switch still loads its settings is answered
    "Busy"; the user then tries again, and so does this."""
    def on_system(state):
        return state.get("main", "").endswith("/system.htm")

    while True:
        wd.get(base + "/")
        # The Busy page's Retry may have logged in meanwhile.
        state = wait_state(wd, lambda s: s.get("main_has_login") or on_system(s),
                           "the login page")
        if not state.get("main_has_login"):
            return
        login(wd, "admin", "qivor")
        state = wait_state(wd, lambda s: on_system(s) or STARTING in s.get("main_text", ""),
                           "the system page")
        if STARTING not in state.get("main_text", ""):
            return
        time.sleep(0.5)


def run(session, server_bin, screenshot):
    web_port, ready = start_test_server(session, server_bin)
    loggers = dict(item.split("=") for item in ready)

    wd = session.browser("1200,800")

    # Not logged in: the main frame is sent to the login page.
    wd.get(f"http://127.0.0.1:{web_port}/")
    state = wait_state(
        wd, lambda s: s.get("main_has_login") and "Web Managed Switch" in s.get("bar", ""),
        "the login page below the top bar")
    expect(state["main"].endswith("/login.htm"), f"main frame at {state['main']}")

    # A wrong password keeps the browser logged out.
    login(wd, "admin", "wrong")
    state = wait_state(wd, lambda s: "Incorrect username or password!" in s.get("main_text", ""),
                       "the login error page")
    expect("WebManaged" not in wd.cookies(), "a cookie after a wrong login")

    # Log in: the system page in the frameset, with the menu.
    wd.get(f"http://127.0.0.1:{web_port}/")
    wait_state(wd, lambda s: s.get("main_has_login"), "the login page again")
    login(wd, "admin", "qivor")
    state = wait_state(wd, lambda s: s.get("main", "").endswith("/system.htm"),
                       "the system page")
    expect(not state["main_has_login"], "still on the login page after logging in")
    cookie = wd.cookies().get("WebManaged", "")
    expect(len(cookie) >= 8 and cookie != "Invalid", f"session cookie {cookie!r}")
    menu = state["menu"]
    for entry in ("System Information", "Password", "Trunk Groups", "Logging", "Logout"):
        expect(entry in state["menu_html"], f"menu lacks {entry!r}")
    expect(("menu_ram_logs" in state["menu_html"]) == (loggers["ram_logs"] == "1"),
           f"RAM Logs entry does not follow the RAM logger ({loggers}): {menu!r}")
    expect(("menu_flash_logs" in state["menu_html"]) == (loggers["flash_logs"] == "1"),
           f"Flash Logs entry does not follow the flash logger ({loggers}): {menu!r}")
    for hidden in ("Spanning Tree", "IGMP Snooping", "ACL"):
        expect(hidden not in state["menu_html"], f"menu shows {hidden!r}")
    if screenshot:
        wd.screenshot(screenshot)

    # Change the password from the menu; the login page follows.
    wd.frame_path("left", "menu")
    wd.click("a[href='password.htm']")
    wd.frame_path()
    wait_state(wd, lambda s: s.get("main", "").endswith("/password.htm"), "the password page")
    wd.frame_path("left", "main")
    wd.type("#old_password", "qivor")
    wd.type("#new_password", "n3w-pass")
    wd.type("#confirm_password", "n3w-pass")
    wd.click("input[type='submit']")
    wd.frame_path()
    wait_state(wd, lambda s: s.get("main_has_login") and s["main"].endswith("/password.cgi"),
               "the login page after the password change")
    navigate_main(wd, "/system.htm")
    wait_state(wd, lambda s: s.get("main_has_login") and s["main"].endswith("/login.htm"),
               "the old cookie to be refused")

    login(wd, "admin", "n3w-pass")
    wait_state(wd, lambda s: s.get("main", "").endswith("/system.htm"),
               "the system page with the new password")
    expect(wd.cookies().get("WebManaged") not in ("", cookie, "Invalid"), "cookie unchanged")

    # Log out from the menu.
    wd.frame_path("left", "menu")
    wd.click("#menu_logout")
    wd.frame_path()
    wait_state(wd, lambda s: s.get("main_has_login"), "the login page after logout")
    expect(wd.cookies().get("WebManaged") == "Invalid", "logout left the cookie")
    print("browser test passed")
    return 0


if __name__ == "__main__":
    sys.exit(run_main(run, __doc__, "web_browser_"))
