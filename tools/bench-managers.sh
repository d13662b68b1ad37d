#!/usr/bin/env bash
# Managers at work side by side: in a private network namespace the release
# firmware runs one board with two TAP ports, and the script prints, each
# figure idle and under load in one table:
#   - the port settings page's requests/s, alone and while the monitor loops
#     `dos all enable 2` / `dos all disable 2`;
#   - SNMP ifTable walks/s, alone and while a web client posts forms;
#   - a monitor `dos all` command's time, alone and while two web clients post;
#   - frames forwarded/s between the TAPs, alone and while the web and the
#     monitor work;
#   - the slowest web answer and the slowest telnet `load` while two web
#     clients post, the monitor loops `dos all` and telnet `load` runs every 2 s.
# Needs root (the namespace; it installs snmp and python3 when missing).
#
#   tools/bench-managers.sh [--board 52|28|26] [seconds per figure, default 10]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BENCH_ARGS=("$@")
BOARD=52
DURATION=10
while [[ $# -gt 0 ]]; do
    case $1 in
        --board)
            BOARD=$2
            shift 2
            ;;
        *)
            DURATION=$1
            shift
            ;;
    esac
done
bench_enter_netns snmp python3

bench_workspace
sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1

OFFSET=8000
cat >"$WORK/bench.py" <<'EOF'
import os, socket, subprocess, sys, threading, time

root, work, board, duration, offset = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4]), int(sys.argv[5])
WEB, TELNET, AGENT = offset + 80, offset + 23, offset + 161
TAP_A, TAP_B = "swbma", "swbmb"
MAC_A, MAC_B = bytes.fromhex("020000000a01"), bytes.fromhex("020000000b02")

fw = subprocess.Popen(
    [root + "/build/release/host/switchfw", "--board", board, "--flash", work + "/flash.bin",
     "--fs", work + "/fs", "--port-offset", str(offset), "--listen", "127.0.0.1",
     "--tap", "1=" + TAP_A, "--tap", "2=" + TAP_B],
    cwd=work, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, bufsize=0)
console = threading.Condition()
console_text = b""

def drain():
    """Reads the console all the time: a full pipe would stop the firmware."""
    global console_text
    while True:
        chunk = os.read(fw.stdout.fileno(), 65536)
        with console:
            if not chunk:
                console_text += b"\n[ended]"
                console.notify_all()
                return
            console_text = (console_text + chunk)[-8192:]
            console.notify_all()

threading.Thread(target=drain, daemon=True).start()

def until_prompt(limit=120):
    with console:
        if not console.wait_for(lambda: console_text.endswith(b"DXP.0> ") or
                                console_text.endswith(b"[ended]"), limit) or \
                console_text.endswith(b"[ended]"):
            sys.exit("no monitor prompt; the console said:\n" +
                     console_text[-2000:].decode(errors="replace"))

def monitor(line):
    """One monitor command; its time in seconds."""
    global console_text
    with console:
        console_text = b""
    start = time.time()
    fw.stdin.write((line + "\n").encode())
    until_prompt()
    return time.time() - start

def http(method, path, body="", cookie=""):
    s = socket.create_connection(("127.0.0.1", WEB), timeout=60)
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

until_prompt()
for tap in (TAP_A, TAP_B):
    subprocess.run(["ip", "link", "set", tap, "up"], check=True)
cookie = login()
FORMS = [("/qos_enhance_mode.cgi", "mode=1"), ("/qos_enhance_port.cgi", "values=1,2,3,4,5,6"),
         ("/qos_enhance_mode.cgi", "mode=2"), ("/voip.cgi", "profiles=1"), ("/voip.cgi", "profiles=0"),
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

def frames_per_second():
    rx = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x88b5))
    rx.bind((TAP_B, 0))
    rx.settimeout(0.2)
    tx = socket.socket(socket.AF_PACKET, socket.SOCK_RAW)
    tx.bind((TAP_A, 0))
    learn = socket.socket(socket.AF_PACKET, socket.SOCK_RAW)
    learn.bind((TAP_B, 0))
    # Port 2 learns B, so that A's frames to B go there only.
    learn.send(b"\xff" * 6 + MAC_B + b"\x88\xb5" + bytes(50))
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
    # Offered at a steady 2,000 frames/s, a rate the model keeps up with idle.
    sent = 0
    while time.time() - start < duration:
        due = int((time.time() - start) * 2000)
        while sent < due:
            tx.send(frame)
            sent += 1
        time.sleep(0.001)
    time.sleep(0.5)
    stop.set()
    r.join()
    for s in (rx, tx, learn):
        s.close()
    return got[0] / duration

rows = []
def row(name, idle, loaded, goal="", check=None):
    ratio = loaded / idle if idle else 0.0
    verdict = "" if check is None else ("met" if check(ratio, loaded) else "MISSED")
    rows.append((name, idle, loaded, ratio, goal, verdict))

page()
walk()
idle_page = rate(page)
with dos_loop():
    loaded_page = rate(page)
row("port page, requests/s (monitor loops dos all)", idle_page, loaded_page, ">= 0.25x", lambda r, v: r >= 0.25)

idle_walk = rate(walk)
with web_poster():
    loaded_walk = rate(walk)
row("SNMP ifTable walks/s (forms posted)", idle_walk, loaded_walk, ">= 0.5x", lambda r, v: r >= 0.5)

idle_dos = dos_time()
with web_poster(), web_poster():
    loaded_dos = dos_time()
row("monitor dos all, ms/command (two web clients)", idle_dos, loaded_dos)

idle_frames = frames_per_second()
with web_poster(), dos_loop():
    loaded_frames = frames_per_second()
row("frames forwarded/s (web and monitor at work)", idle_frames, loaded_frames)

with web_poster() as w1, web_poster() as w2, dos_loop() as d, telnet_loads() as t:
    time.sleep(duration)
slowest_web = max(w1.slowest, w2.slowest)

print(f"board {board}, {duration:.0f} s per figure")
print(f"{'':48} {'idle':>10} {'loaded':>10} {'ratio':>7}  goal")
for name, idle, loaded, ratio, goal, verdict in rows:
    print(f"{name:48} {idle:10.1f} {loaded:10.1f} {ratio:6.2f}x  {goal} {verdict}")
print(f"{'two web clients, dos all loop, telnet load:':48}")
print(f"{'  slowest web answer, s':48} {'':10} {slowest_web:10.2f} {'':7}  <= 1 s "
      f"{'met' if slowest_web <= 1.0 else 'MISSED'}")
print(f"{'  slowest telnet load, s':48} {'':10} {t.slowest:10.2f}")
print(f"{'  slowest monitor dos all, s':48} {'':10} {d.slowest:10.2f}")
print(f"{'  web posts / monitor commands / loads':48} {'':10} "
      f"{w1.count + w2.count:4d} / {d.count} / {t.count}")
fw.stdin.close()
fw.kill()
EOF

python3 "$WORK/bench.py" "$ROOT" "$WORK" "$BOARD" "$DURATION" "$OFFSET"
