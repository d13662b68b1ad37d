#!/usr/bin/env bash
# Managers at work side by side: in a private network namespace the release
# firmware runs one board with two TAP ports, and the script prints each
# figure idle and under load in one table, from three pairs of phases taken
# in turn (idle, loaded, idle, loaded, ...), as the median and the extreme
# of the three:
#   - the port settings page's requests/s, alone and while the monitor loops
#     `dos all enable 2` / `dos all disable 2`;
#   - SNMP ifTable walks/s, alone and while a web client posts forms;
#   - a monitor `dos all` command's time, alone and while two web clients post;
#   - the forwarding capacity between the TAPs (the highest frame rate that
#     loses no frame), alone and while the web and the monitor work;
#   - the slowest web answer (form posts, and a static file fetched every
#     50 ms) and the slowest telnet `load`, each request alone and while two
#     web clients post, the monitor loops `dos all` and telnet `load` runs
#     every 2 s;
#   - the slowest static file fetched every 50 ms from 127.0.0.3, alone and
#     while 127.0.0.2 keeps every web slot with requests it never finishes,
#     opening a new one every 10 ms.
# It prints the machine's load (load average and cores) before and after.
# Needs root (the namespace; it installs snmp and python3 when missing).
#
#   tools/bench-managers.sh [--board 52|28|26] [seconds per phase, default 10]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BENCH_ARGS=("$@")
bench_board_and_seconds 10 "$@"
bench_enter_netns snmp python3

bench_workspace
sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1

OFFSET=8000
cat >"$WORK/bench.py" <<'EOF'
import os, socket, subprocess, sys, threading, time

root, work, board, duration, offset = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4]), int(sys.argv[5])
sys.path.insert(0, root + "/tools")
sys.dont_write_bytecode = True
from bench_console import Firmware

WEB, TELNET, AGENT = offset + 80, offset + 23, offset + 161
TAP_A, TAP_B = "swbma", "swbmb"
MAC_A, MAC_B = bytes.fromhex("020000000a01"), bytes.fromhex("020000000b02")

fw = Firmware(
    [root + "/build/release/host/switchfw", "--board", board, "--flash", work + "/flash.bin",
     "--fs", work + "/fs", "--port-offset", str(offset), "--listen", "127.0.0.1",
     "--tap", "1=" + TAP_A, "--tap", "2=" + TAP_B], work, keep=8192)

def monitor(line):
    """One monitor command; its time in seconds."""
    start = time.time()
    fw.monitor(line)
    return time.time() - start

def http(method, path, body="", cookie="", source="127.0.0.1"):
    s = socket.create_connection(("127.0.0.1", WEB), timeout=60, source_address=(source, 0))
    head = f"{method} {path} HTTP/1.0\r\nCookie: WebManaged={cookie}\r\n"
    if method == "POST":
        head += f"Content-Length: {len(body)}\r\n"
    s.sendall((head + "\r\n" + body).encode())
    out = b""
    while True:
        chunk = s.recv(65536)
        if not chunk:
            break
        out += chunk
    s.close()
    return out

def login():
    answer = http("POST", "/login.cgi", "username=admin&password=qivor").decode(errors="replace")
    tag = "Set-Cookie: WebManaged="
    at = answer.find(tag)
    if at < 0:
        sys.exit("web login failed")
    at += len(tag)
    end = min(i for i in (answer.find(";", at), answer.find("\r", at)) if i >= 0)
    return answer[at:end]

def telnet_login():
    s = socket.create_connection(("127.0.0.1", TELNET), timeout=60)
    read_until(s, b"login: ")
    s.sendall(b"admin\r\nqivor\r\n")
    read_until(s, b"ecos> ")
    return s

def read_until(s, text):
    seen = b""
    while not seen.endswith(text):
        chunk = s.recv(4096)
        if not chunk:
            raise OSError("telnet closed")
        seen = (seen + chunk)[-4096:]

fw.wait()
for tap in (TAP_A, TAP_B):
    subprocess.run(["ip", "link", "set", tap, "up"], check=True)
cookie = login()
# The port QoS form as its page posts it, one priority per port; the two
# lists differ on every port.
def port_priorities(first):
    return "values=" + ",".join(str((first + i) % 8) for i in range(int(board)))

FORMS = [("/qos_enhance_mode.cgi", "mode=1"), ("/qos_enhance_port.cgi", port_priorities(1)),
         ("/qos_enhance_port.cgi", port_priorities(4)), ("/qos_enhance_mode.cgi", "mode=2"), ("/voip.cgi", "profiles=1"), ("/voip.cgi", "profiles=0"),
         ("/dos.cgi", "checks=101"), ("/dos.cgi", "checks=010")]

class Load:
    """Background work that runs until stopped; keeps the slowest answer."""
    def __init__(self, step):
        self.step, self.stop, self.slowest, self.count = step, threading.Event(), 0.0, 0
        self.thread = threading.Thread(target=self.run, daemon=True)
    def run(self):
        i = 0
        while not self.stop.is_set():
            start = time.time()
            took = self.step(i)
            if took is None:
                took = time.time() - start
            self.slowest = max(self.slowest, took)
            self.count += 1
            i += 1
    def __enter__(self):
        self.thread.start()
        return self
    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join()

def dos_loop():
    return Load(lambda i: monitor("dos all enable 2" if i % 2 == 0 else "dos all disable 2"))

def web_poster():
    own = login()
    def step(i):
        http("POST", FORMS[i % len(FORMS)][0], FORMS[i % len(FORMS)][1], own)
    return Load(step)

def telnet_loads():
    s = telnet_login()
    def step(i):
        start = time.time()
        s.sendall(b"load\r\n")
        read_until(s, b"ecos> ")
        took = time.time() - start
        time.sleep(max(0.0, 2.0 - took))
        return took
    return Load(step)

def rate(step):
    """Steps per second for the duration."""
    n, start = 0, time.time()
    while time.time() - start < duration:
        step()
        n += 1
    return n / (time.time() - start)

def page():
    if b"200 OK" not in http("GET", "/portconf.htm", cookie=cookie):
        sys.exit("the port page did not answer")

def walk():
    subprocess.run(["snmpbulkwalk", "-v2c", "-c", "public", "-Cr50", "-t", "30", "-r", "0",
                    f"127.0.0.1:{AGENT}", ".1.3.6.1.2.1.2.2"], stdout=subprocess.DEVNULL, check=True)

def dos_time():
    times = []
    start = time.time()
    while time.time() - start < duration or len(times) < 2:
        times.append(monitor("dos all enable 2" if len(times) % 2 == 0 else "dos all disable 2"))
    return 1000 * sum(times) / len(times)

def frames_lost(rate, seconds):
    """Offers frames from A to B at a steady rate: True when any was lost."""
    rx = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x88b5))
    rx.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 << 20)
    rx.bind((TAP_B, 0))
    rx.settimeout(0.2)
    tx = socket.socket(socket.AF_PACKET, socket.SOCK_RAW)
    tx.bind((TAP_A, 0))
    # Port 2 learns B, so that A's frames to B go there only.
    tx_b = socket.socket(socket.AF_PACKET, socket.SOCK_RAW)
    tx_b.bind((TAP_B, 0))
    tx_b.send(b"\xff" * 6 + MAC_B + b"\x88\xb5" + bytes(50))
    time.sleep(0.2)
    frame = MAC_B + MAC_A + b"\x88\xb5" + b"bench" + bytes(45)
    got = [0]
    stop = threading.Event()
    def receive():
        while not stop.is_set():
            try:
                data = rx.recv(2048)
            except socket.timeout:
                continue
            if data[6:12] == MAC_A:
                got[0] += 1
    r = threading.Thread(target=receive, daemon=True)
    r.start()
    start = time.time()
    sent = 0
    while time.time() - start < seconds:
        due = int((time.time() - start) * rate)
        while sent < due:
            tx.send(frame)
            sent += 1
        time.sleep(0.001)
    # Frames still queued in the model come out within the drain time.
    time.sleep(1.0)
    stop.set()
    r.join()
    for s in (rx, tx, tx_b):
        s.close()
    return got[0] < sent

def capacity():
    """The highest offered rate (frames/s) that loses nothing: doubled from
    250 until a loss, then halved between the last good rate and the lost
    one down to a step of 1/16."""
    probe = max(2.0, duration / 5)
    good, bad = 0, 250
    while bad <= 256000 and not frames_lost(bad, probe):
        good, bad = bad, bad * 2
    if bad > 256000:
        return good
    while bad - good > max(good, 250) / 16:
        mid = (good + bad) // 2
        if frames_lost(mid, probe):
            bad = mid
        else:
            good = mid
    return good

def static_client():
    def step(i):
        start = time.time()
        http("GET", "/form.css")
        took = time.time() - start
        time.sleep(0.05)
        return took
    return Load(step)

def slot_flood():
    """One address keeps every web slot: a request it never finishes every
    10 ms, its 64 newest held open."""
    held = []
    def step(i):
        s = socket.create_connection(("127.0.0.1", WEB), timeout=60,
                                     source_address=("127.0.0.2", 0))
        s.sendall(b"GET /form.css HTTP/1.0\r\nX-Slow: 1\r\n")
        held.append(s)
        if len(held) > 64:
            held.pop(0).close()
        time.sleep(0.01)
    return Load(step)

def other_address_static(loaded):
    """The slowest static file fetched every 50 ms from another address."""
    def fetch():
        slowest, start = 0.0, time.time()
        while time.time() - start < duration:
            slowest = max(slowest, timed(lambda: http("GET", "/form.css", source="127.0.0.3")))
            time.sleep(0.05)
        return slowest
    if not loaded:
        return fetch()
    with slot_flood():
        time.sleep(1.0)  # every slot taken
        return fetch()

def machine_load():
    with open("/proc/loadavg") as f:
        return f"load average {' '.join(f.read().split()[:3])} on {os.cpu_count()} cores"

def timed(step):
    start = time.time()
    step()
    return time.time() - start

def slowest_alone():
    """Each request of the mixed run once, alone: (web, static file, load)."""
    own = login()
    web = max(timed(lambda: http("POST", path, body, own)) for path, body in FORMS)
    static = max(timed(lambda: http("GET", "/form.css")) for _ in range(5))
    s = telnet_login()
    def load():
        s.sendall(b"load\r\n")
        read_until(s, b"ecos> ")
    slowest_load = max(timed(load) for _ in range(2))
    s.close()
    return web, static, slowest_load

def slowest_loaded():
    with web_poster() as w1, web_poster() as w2, static_client() as f, dos_loop() as d, \
            telnet_loads() as t:
        time.sleep(duration)
    return max(w1.slowest, w2.slowest), f.slowest, t.slowest

def page_rate(loaded):
    if not loaded:
        return rate(page)
    with dos_loop():
        return rate(page)

def walk_rate(loaded):
    if not loaded:
        return rate(walk)
    with web_poster():
        return rate(walk)

def dos_ms(loaded):
    if not loaded:
        return dos_time()
    with web_poster(), web_poster():
        return dos_time()

def forwarding(loaded):
    if not loaded:
        return capacity()
    with web_poster(), dos_loop():
        return capacity()

def mixed(loaded):
    return slowest_loaded() if loaded else slowest_alone()

PAIRS = 3

def pairs(measure):
    """PAIRS idle and loaded samples taken in turn."""
    idle, loaded = [], []
    for _ in range(PAIRS):
        idle.append(measure(False))
        loaded.append(measure(True))
    return idle, loaded

def median(values):
    return sorted(values)[len(values) // 2]

print(f"board {board}, {duration:.0f} s per phase, {PAIRS} pairs of idle and loaded phases")
print(f"machine before: {machine_load()}", flush=True)
with open("/proc/loadavg") as f:
    BUSY_BEFORE = float(f.read().split()[0])
page()
walk()
rows = []
# name, samples (idle, loaded), higher is better, goal
for name, measure, higher in (
        ("port page, requests/s (monitor loops dos all)", page_rate, True),
        ("SNMP ifTable walks/s (forms posted)", walk_rate, True),
        ("monitor dos all, ms/command (two web clients)", dos_ms, False),
        ("forwarding capacity, frames/s (web, monitor)", forwarding, True)):
    idle, loaded = pairs(measure)
    rows.append((name, idle, loaded, higher))
mixed_idle, mixed_loaded = pairs(mixed)
for i, name in enumerate(("slowest web post, s", "slowest static file, s", "slowest telnet load, s")):
    rows.append((name, [m[i] for m in mixed_idle], [m[i] for m in mixed_loaded], False))
idle, loaded = pairs(other_address_static)
rows.append(("slowest static file, s (an address holds slots)", idle, loaded, False))
after = machine_load()

# Every answer within a quarter second on an idle machine, half a second
# on a busy one (as much work as cores before the benchmark began).
busy = BUSY_BEFORE >= (os.cpu_count() or 1)
bound = 0.5 if busy else 0.25
print()
print(f"{'':48} {'idle median':>11} {'worst':>9} {'loaded median':>13} {'worst':>9}")
for name, idle, loaded, higher in rows:
    worst = min if higher else max
    line = (f"{name:48} {median(idle):11.2f} {worst(idle):9.2f} {median(loaded):13.2f} "
            f"{worst(loaded):9.2f}")
    if name.startswith("slowest"):
        line += f"  goal < {bound} s ({'busy' if busy else 'idle'} machine): " + \
            ("met" if max(loaded + idle) < bound else "MISSED")
    print(line)
print("(worst: the lowest rate, the highest time)")
print(f"machine after: {after}")
fw.stop()
EOF

python3 "$WORK/bench.py" "$ROOT" "$WORK" "$BOARD" "$DURATION" "$OFFSET"
