#!/usr/bin/env bash
# A broadcast storm from one port: in a private network namespace the
# release firmware runs one board with its management interface on a TAP
# and three front-panel ports on TAPs. Host A (port 3) sends gratuitous ARP
# broadcasts, host B (the board's last port, in a namespace of its own, with
# an address) pings the management address and fetches its login page, and
# host C (port 2) exchanges marker frames with B. The script first finds the
# forwarding capacity for A's broadcasts (the highest rate C receives whole),
# then offers twice that for the storm, once without and once with storm
# control (the monitor's `rate Limit=1000 Bcast=true`), and prints for each:
#   - the program's resident memory before, at its peak and after;
#   - the management address's answers (a ping every 0.1 s, the login page
#     every 0.5 s) during the storm and the time to its first answer after;
#   - the delay of marker frames from B to C during and right after it;
#   - the discards counted on A's port (ifInDiscards, from the monitor's
#     counters) and the broadcasts C received.
# Needs root (the namespaces; it installs python3 and curl when missing).
#
#   tools/bench-storm.sh [--board 52|28|26] [storm seconds, default 15]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BENCH_ARGS=("$@")
bench_board_and_seconds 15 "$@"
bench_enter_netns python3 curl iputils-ping

bench_workspace
sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
bench_namespaces b
HOST_B=${SPACES[0]}

cat >"$WORK/bench.py" <<'EOF'
import os, socket, statistics, struct, subprocess, sys, threading, time

root, work, board, duration, host_b = sys.argv[1:6]
sys.path.insert(0, root + "/tools")
sys.dont_write_bytecode = True
from bench_console import Firmware, ok, set_management_address, sh, socket_in

board, duration = int(board), float(duration)
OFFSET = 8000
WEB = OFFSET + 80
LAST = {52: 52, 28: 26, 26: 26}[board]
TAP_A, TAP_B, TAP_C = "swbsa", "swbsb", "swbsc"
MGMT, IP_B = "10.88.0.1", "10.88.0.20"
MAC_A, MAC_C = bytes.fromhex("020000000a01"), bytes.fromhex("020000000c03")

fw = Firmware(
    [root + "/build/release/host/switchfw", "--board", str(board), "--flash", work + "/flash.bin",
     "--fs", work + "/fs", "--port-offset", str(OFFSET), "--mgmt-tap", "mgmt",
     "--tap", "3=" + TAP_A, "--tap", f"{LAST}=" + TAP_B, "--tap", "2=" + TAP_C], work)

def discards():
    """RXDROPPKTS of A's port (port 3, fe2) as the monitor shows it."""
    return fw.counter("RXDROPPKTS", "fe2")

fw.monitor("", 120)
set_management_address(WEB, MGMT)
sh(f"ip link set {TAP_B} netns {host_b}")
sh(f"ip -n {host_b} addr add {IP_B}/24 dev {TAP_B}")
sh(f"ip -n {host_b} link set {TAP_B} up")
sh(f"ip link set {TAP_A} up")
sh(f"ip link set {TAP_C} up")
IN_B = f"ip netns exec {host_b} "
for _ in range(20):
    if ok(IN_B + f"ping -c 1 -W 1 {MGMT}"):
        break
else:
    sys.exit("the management address does not answer host B")

GARP = (b"\xff" * 6 + MAC_A + b"\x08\x06" + bytes.fromhex("0001080006040001") + MAC_A +
        socket.inet_aton("10.88.0.10") + bytes(6) + socket.inet_aton("10.88.0.10")).ljust(60, b"\0")
tx_a = socket.socket(socket.AF_PACKET, socket.SOCK_RAW)
tx_a.bind((TAP_A, 0))
rx_c = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(3))
rx_c.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16 << 20)
rx_c.bind((TAP_C, 0))
rx_c.settimeout(0.1)
tx_b = socket_in(host_b, socket.AF_PACKET, socket.SOCK_RAW)
tx_b.bind((TAP_B, 0))
MAC_B = tx_b.getsockname()[4]
# C's address is learnt on port 2, so that B's markers go there only.
tx_c = socket.socket(socket.AF_PACKET, socket.SOCK_RAW)
tx_c.bind((TAP_C, 0))
tx_c.send(b"\xff" * 6 + MAC_C + b"\x88\xb5" + bytes(50))

class Receiver:
    """Counts A's broadcasts at C and times B's markers (their send time inside)."""
    def __init__(self):
        self.storm, self.delays, self.stop = 0, [], threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()
    def run(self):
        while not self.stop.is_set():
            try:
                data = rx_c.recv(2048)
            except socket.timeout:
                continue
            if data[6:12] == MAC_A:
                self.storm += 1
            elif data[12:14] == b"\x88\xb5" and data[14:20] == b"marker":
                sent = struct.unpack("!d", data[20:28])[0]
                self.delays.append((sent, time.time() - sent))
    def close(self):
        self.stop.set()
        self.thread.join()

def offer(rate, seconds):
    """Sends A's broadcasts at the rate (frames/s) for the time; the number sent."""
    sent, start = 0, time.time()
    while True:
        now = time.time() - start
        if now >= seconds:
            return sent
        due = int(now * rate)
        while sent < due:
            try:
                tx_a.send(GARP)
            except OSError:
                pass
            sent += 1
        time.sleep(0.0005)

def capacity():
    """The highest broadcast rate that C receives whole: doubled from 1000,
    then halved between the last whole rate and the lossy one."""
    def whole(rate):
        r = Receiver()
        sent = offer(rate, 2.0)
        time.sleep(1.0)
        r.close()
        return r.storm >= sent
    good, bad = 0, 1000
    while bad <= 512000 and whole(bad):
        good, bad = bad, bad * 2
    while bad - good > max(good, 1000) / 8:
        mid = (good + bad) // 2
        if whole(mid):
            good = mid
        else:
            bad = mid
    return max(good, 1000)

class Probe:
    """Asks the management address (a ping every 0.1 s and the login page
    every 0.5 s, each waited for on its own) and sends a marker from B to C
    every 0.1 s."""
    def __init__(self):
        self.pings, self.pages, self.stop = [], [], threading.Event()
        self.asked, self.markers = [], []
        self.threads = [threading.Thread(target=f, daemon=True) for f in (self.ask, self.marker)]
        for t in self.threads:
            t.start()
    def ask(self):
        turn = 0
        while not self.stop.is_set():
            at = time.time()
            self.asked.append((self.pings, at, subprocess.Popen(
                IN_B + f"ping -c 1 -W 1 {MGMT}", shell=True, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL)))
            if turn % 5 == 0:
                self.asked.append((self.pages, at, subprocess.Popen(
                    IN_B + f"curl -s -f -m 2 -o /dev/null http://{MGMT}:{WEB}/login.htm",
                    shell=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)))
            turn += 1
            time.sleep(0.1)
    def marker(self):
        while not self.stop.is_set():
            at = time.time()
            tx_b.send(MAC_C + MAC_B + b"\x88\xb5" + b"marker" + struct.pack("!d", at) + bytes(32))
            self.markers.append(at)
            time.sleep(0.1)
    def close(self):
        self.stop.set()
        for t in self.threads:
            t.join()
        for samples, at, process in self.asked:
            samples.append((at, process.wait() == 0))

def share(samples, start, end):
    inside = [good for at, good in samples if start <= at < end]
    return f"{sum(inside)}/{len(inside)}"

def first_answer(samples, end):
    after = [at for at, good in samples if at >= end and good]
    return f"{after[0] - end:.2f} s" if after else "none"

def storm(rate, label):
    before, drops_before = fw.rss_kb(), discards()
    r, p = Receiver(), Probe()
    time.sleep(2.0)
    peak = [before]
    stop = threading.Event()
    def sample():
        while not stop.is_set():
            peak[0] = max(peak[0], fw.rss_kb())
            time.sleep(0.2)
    s = threading.Thread(target=sample, daemon=True)
    s.start()
    start = time.time()
    sent = offer(rate, duration)
    end = time.time()
    time.sleep(5.0)
    stop.set()
    s.join()
    p.close()
    r.close()
    after = fw.rss_kb()
    time.sleep(1.5)  # the counters are collected once a second
    dropped = discards() - drops_before
    during = [d for at, d in r.delays if start <= at < end]
    later = [d for at, d in r.delays if end <= at < end + 5]
    def delays(values):
        if not values:
            return "none arrived"
        return (f"median {1000 * statistics.median(values):.1f} ms, "
                f"max {1000 * max(values):.1f} ms")
    # Counted against what B sent: on a busy machine its 0.1-s sleeps run
    # long, so the storm's time says nothing of how many were sent.
    sent_during = sum(1 for at in p.markers if start <= at < end)
    print(f"\n{label}: offered {sent / (end - start):.0f} broadcasts/s for {end - start:.1f} s "
          f"({sent} frames), C received {r.storm}")
    print(f"  RSS: {before / 1024:.1f} MB before, {peak[0] / 1024:.1f} MB peak, "
          f"{after / 1024:.1f} MB after")
    print(f"  management during the storm: pings {share(p.pings, start, end)}, "
          f"login page {share(p.pages, start, end)}")
    print(f"  management after the storm: first ping answer {first_answer(p.pings, end)}, "
          f"first page {first_answer(p.pages, end)}")
    print(f"  markers B->C during: {len(during)} of {sent_during} sent arrived, "
          f"{delays(during)}")
    print(f"  markers B->C in the 5 s after: {delays(later)}")
    print(f"  discards on A's port (ifInDiscards): {dropped}", flush=True)

with open("/proc/loadavg") as f:
    print(f"board {board}, storm of {duration:.0f} s; load average "
          f"{' '.join(f.read().split()[:3])} on {os.cpu_count()} cores")
cap = capacity()
print(f"forwarding capacity for A's broadcasts: {cap} frames/s", flush=True)
storm(2 * cap, "without storm control")
fw.monitor("rate Limit=1000 Bcast=true")
storm(2 * cap, "with storm control (1000 kbit/s of broadcasts)")
fw.stop()
EOF

python3 "$WORK/bench.py" "$ROOT" "$WORK" "$BOARD" "$DURATION" "$HOST_B"
