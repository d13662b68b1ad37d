#!/usr/bin/env bash
# What the ports carry at their line rate: in a private network namespace the
# release firmware runs one board with its management interface on a TAP and
# front-panel ports on TAPs, each host in a namespace of its own. It prints:
#   - iperf3 TCP from one fast-Ethernet port to another (ports 7 and 8),
#     between two gigabit ports and from a gigabit port to port 8, with the
#     sender's retransmits;
#   - a 200 Mbit/s UDP stream from a gigabit port into port 8: what arrived
#     and the discards counted for the rest;
#   - two UDP streams into port 8 at once, one in queue 3 (the gigabit
#     port's untagged frames given priority 7 on the port page) at 60 Mbit/s
#     and one in queue 0 at 100 Mbit/s, under strict priority and under
#     weights 3:1:1:1 (the monitor's cos command): what each delivered;
#   - of bursts of 100 back-to-back 1514-byte frames from port 7 to port 8,
#     and of 1,000 between the gigabit ports, how many arrived;
#   - with port 8's egress limited on the rate page: of bursts of 150
#     back-to-back 1514-byte frames from the first gigabit port through a
#     limit of 102,400 kbit/s (above the line rate), how many arrived; TCP
#     through a limit of 10,240 kbit/s (bursts of 16 and 528 kbit), and UDP
#     at half and twice that limit: what arrived and the discards counted;
#   - a storm of broadcasts from four ports (3-6, 100,000 a second offered
#     from each) while host B (the board's last port; port 24 on the 26-port
#     board, whose last two carry the gigabit pair) sends a frame to host C
#     (port 2) and pings the management address every 0.1 s: how many of
#     each arrived, their delay, what the switch took from each storming
#     port and the discards counted there, and the program's resident memory.
# Frames a TAP's kernel queue drops before the firmware reads them are the
# sending host's loss, counted nowhere in the switch.
# Needs root (the namespaces; it installs python3, iperf3 and iputils-ping
# when missing).
#
#   tools/bench-wire.sh [--board 52|28|26] [seconds of each phase, default 10]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BENCH_ARGS=("$@")
bench_board_and_seconds 10 "$@"
bench_enter_netns python3 curl iperf3 iputils-ping

bench_workspace
sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
bench_namespaces b c f1 f2 g1 g2

cat >"$WORK/bench.py" <<'EOF'
import json, os, socket, statistics, struct, subprocess, sys, threading, time

root, work, board, duration = sys.argv[1:5]
sys.path.insert(0, root + "/tools")
sys.dont_write_bytecode = True
from bench_console import Firmware, ok, set_management_address, sh, socket_in, web_post

board, duration = int(board), float(duration)
ns_b, ns_c, ns_f1, ns_f2, ns_g1, ns_g2 = sys.argv[5:11]
OFFSET = 8000
WEB = OFFSET + 80
PORT_B = {52: 52, 28: 26, 26: 24}[board]
GIGABIT = {52: (49, 50), 28: (27, 28), 26: (25, 26)}[board]
FIRST_GIGABIT = {52: 49, 28: 25, 26: 25}[board]
STORM = (3, 4, 5, 6)
MGMT = "10.88.0.1"
HOSTS = {  # name: (port, namespace, address)
    "b": (PORT_B, ns_b, "10.88.0.20"), "c": (2, ns_c, "10.88.0.30"),
    "f1": (7, ns_f1, "10.88.0.71"), "f2": (8, ns_f2, "10.88.0.81"),
    "g1": (GIGABIT[0], ns_g1, "10.88.0.91"), "g2": (GIGABIT[1], ns_g2, "10.88.0.92")}

def tap(port):
    return f"swbw{port}"

args = [root + "/build/release/host/switchfw", "--board", str(board), "--flash",
        work + "/flash.bin", "--fs", work + "/fs", "--port-offset", str(OFFSET),
        "--mgmt-tap", "mgmt"]
for port in list(STORM) + [h[0] for h in HOSTS.values()]:
    args += ["--tap", f"{port}={tap(port)}"]
fw = Firmware(args, work, mark="end-of-bench-output")

def counter(name, port):
    """A port's counter as the monitor shows it."""
    ifname = f"fe{port - 1}" if port < FIRST_GIGABIT else f"ge{port - FIRST_GIGABIT}"
    return fw.counter(name, ifname)

for _ in range(600):
    if all(os.path.exists(f"/sys/class/net/{tap(p)}") for p in STORM) and \
            os.path.exists("/sys/class/net/mgmt"):
        break
    time.sleep(0.1)
fw.monitor("", 120)
set_management_address(WEB, MGMT)
for port, space, address in HOSTS.values():
    sh(f"ip link set {tap(port)} netns {space}")
    sh(f"ip -n {space} addr add {address}/24 dev {tap(port)}")
    sh(f"ip -n {space} link set {tap(port)} up")
    sh(f"ip -n {space} link set lo up")
for port in STORM:
    sh(f"ip link set {tap(port)} up")
for name, (port, space, address) in HOSTS.items():
    if not any(ok(f"ip netns exec {space} ping -c 1 -W 1 {MGMT}") for _ in range(20)):
        sys.exit(f"the management address does not answer host {name} (port {port})")

def iperf_runs(runs):
    """iperf3 runs at once, each (client, server, options, TCP port); the
    "end" part of each client's report."""
    servers, clients = [], []
    for client, server, options, port in runs:
        servers.append(subprocess.Popen(
            f"ip netns exec {HOSTS[server][1]} timeout {duration + 30:.0f} iperf3 -s -1 -p {port}",
            shell=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    time.sleep(0.5)
    for client, server, options, port in runs:
        clients.append(subprocess.Popen(
            f"ip netns exec {HOSTS[client][1]} iperf3 -J -c {HOSTS[server][2]} -p {port} "
            f"-t {duration:.0f} {options}", shell=True, stdout=subprocess.PIPE, text=True))
    ends = [json.loads(c.communicate()[0])["end"] for c in clients]
    for s in servers:
        s.wait()
    return ends

def iperf(client, server, label):
    end = iperf_runs([(client, server, "", 5201)])[0]
    sent, received = end["sum_sent"], end["sum_received"]
    print(f"TCP {label}: {received['bits_per_second'] / 1e6:.1f} Mbit/s received, "
          f"{sent['retransmits']} retransmits in {sent['seconds']:.1f} s", flush=True)

def udp_into_fast_port(mbit=200, label=""):
    g, f = HOSTS["g1"][0], HOSTS["f2"][0]
    before = counter("TXDROPPKTS", f) + counter("RXDROPPKTS", g)
    got = iperf_runs([("g1", "f2", f"-u -b {mbit}M -l 1400", 5201)])[0]["sum_received"]
    time.sleep(1.5)  # the counters collected once a second
    counted = counter("TXDROPPKTS", f) + counter("RXDROPPKTS", g) - before
    print(f"UDP at {mbit} Mbit/s from port {g} to port {f}{label}: "
          f"{got['bits_per_second'] / 1e6:.1f} Mbit/s arrived, {got['lost_packets']:,} of "
          f"{got['packets']:,} datagrams lost, {counted:,} discards counted (port {f} out, "
          f"port {g} in)", flush=True)

def two_priorities():
    (g_high, _, _), (g_low, _, _), (f, _, _) = HOSTS["g1"], HOSTS["g2"], HOSTS["f2"]
    for port, priority in ((g_high, 7), (g_low, 0)):
        web_post(WEB, "/portset.cgi",
                 f"port={port}&admin=1&autonego=1&flow_ctrl=0&priority={priority}&pvid=1")
    for mode, command in (("strict priority", "cos strict"),
                          ("weights 3:1:1:1", "cos weight W0=3 W1=1 W2=1 W3=1")):
        fw.monitor(command)
        high, low = (end["sum_received"] for end in iperf_runs(
            [("g1", "f2", "-u -b 60M -l 1400", 5202), ("g2", "f2", "-u -b 100M -l 1400", 5203)]))
        print(f"two streams into port {f} under {mode}: queue 3 (60 Mbit/s from port {g_high}) "
              f"{high['bits_per_second'] / 1e6:.1f} Mbit/s, {high['lost_percent']:.1f}% lost; "
              f"queue 0 (100 Mbit/s from port {g_low}) {low['bits_per_second'] / 1e6:.1f} Mbit/s",
              flush=True)

def mac(space, ifname):
    out = subprocess.run(f"ip -n {space} link show {ifname}", shell=True, capture_output=True,
                         text=True).stdout
    return bytes.fromhex(out.split("link/ether ")[1].split()[0].replace(":", ""))

def bursts(sender, receiver, rounds=5, size=1514, count=100):
    (port_1, ns_1, _), (port_2, ns_2, _) = HOSTS[sender], HOSTS[receiver]
    tx = socket_in(ns_1, socket.AF_PACKET, socket.SOCK_RAW)
    tx.bind((tap(port_1), 0))
    rx = socket_in(ns_2, socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x88b5))
    # Past the host's receive-buffer limit (SO_RCVBUFFORCE, as root): the
    # switch may hand a whole burst over at once.
    rx.setsockopt(socket.SOL_SOCKET, 33, 8 << 20)
    rx.bind((tap(port_2), 0))
    rx.settimeout(2.0)
    time.sleep(1.5)  # what the phase before discarded collected first
    before = counter("RXDROPPKTS", port_1) + counter("TXDROPPKTS", port_2)
    frame = (mac(ns_2, tap(port_2)) + mac(ns_1, tap(port_1)) + b"\x88\xb5").ljust(size, b"\xee")
    arrived = []
    for _ in range(rounds):
        for _ in range(count):
            tx.send(frame)
        n = 0
        try:
            while n < count:
                rx.recv(2048)
                n += 1
        except socket.timeout:
            pass
        arrived.append(n)
    time.sleep(1.5)  # the counters collected once a second
    counted = counter("RXDROPPKTS", port_1) + counter("TXDROPPKTS", port_2) - before
    print(f"bursts of {count} back-to-back {size}-byte frames from port {port_1} to port "
          f"{port_2}: {', '.join(map(str, arrived))} arrived; {counted} discards counted",
          flush=True)

def egress_limit():
    """Port 8's egress limit as the rate page sets it (steps of 64 kbit/s,
    bursts in kbit); removed at the end."""
    f = HOSTS["f2"][0]

    def limit(steps, burst):
        web_post(WEB, "/setrate.cgi",
                 f"port={f}&ingress=0&egress_enable=1&egress={steps}&burst={burst}")

    limit(1600, 528)
    print(f"port {f}'s egress limited to 102,400 kbit/s, above its line rate (528 kbit burst):",
          flush=True)
    bursts("g1", "f2", rounds=3, count=150)
    for burst in (16, 528):
        limit(160, burst)
        iperf("g1", "f2", f"through port {f}'s egress limit of 10,240 kbit/s ({burst} kbit burst)")
    for mbit in (5, 20):
        udp_into_fast_port(mbit, " through the limit")
    web_post(WEB, "/setrate.cgi", f"port={f}&ingress=0&egress_enable=0&egress=0&burst=0")

def storm(rate):
    (port_b, ns_b_, _), (port_c, ns_c_, _) = HOSTS["b"], HOSTS["c"]
    tx_b = socket_in(ns_b_, socket.AF_PACKET, socket.SOCK_RAW)
    tx_b.bind((tap(port_b), 0))
    rx_c = socket_in(ns_c_, socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x88b5))
    rx_c.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 << 20)
    rx_c.bind((tap(port_c), 0))
    rx_c.settimeout(0.1)
    mac_b, mac_c = mac(ns_b_, tap(port_b)), mac(ns_c_, tap(port_c))
    delays, stop, probe_stop = [], threading.Event(), threading.Event()

    def receive():
        while not stop.is_set():
            try:
                data = rx_c.recv(2048)
            except socket.timeout:
                continue
            if data[14:20] == b"marker":
                sent = struct.unpack("!d", data[20:28])[0]
                delays.append(time.time() - sent)

    pings = []

    def probe():
        asked = []
        while not probe_stop.is_set():
            tx_b.send(mac_c + mac_b + b"\x88\xb5" + b"marker" + struct.pack("!d", time.time()) +
                      bytes(32))
            asked.append(subprocess.Popen(f"ip netns exec {ns_b_} ping -c 1 -W 1 {MGMT}",
                                          shell=True, stdout=subprocess.DEVNULL,
                                          stderr=subprocess.DEVNULL))
            time.sleep(0.1)
        pings.extend(p.wait() == 0 for p in asked)

    flood = ("import socket,sys,time\n"
             "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW); s.bind((sys.argv[1],0))\n"
             "f=bytes.fromhex(sys.argv[2]); rate=float(sys.argv[3])\n"
             "start=time.time(); end=start+float(sys.argv[4]); n=0\n"
             "while time.time()<end:\n"
             "  for i in range(50):\n"
             "    try: s.send(f); n+=1\n"
             "    except OSError: pass\n"
             "  time.sleep(max(0,start+n/rate-time.time()))\n"
             "print(n/(time.time()-start))\n")
    before = [(counter("RXDROPPKTS", p), counter("RXBROADCASTPKT", p)) for p in STORM]
    rss_before = fw.rss_kb()
    threads = [threading.Thread(target=receive), threading.Thread(target=probe)]
    for t in threads:
        t.start()
    senders = []
    for port in STORM:
        src = bytes.fromhex(f"0200000010{port:02x}")
        frame = (b"\xff" * 6 + src + b"\x08\x06" + bytes.fromhex("0001080006040001") + src +
                 socket.inet_aton(f"10.88.0.{100 + port}") + bytes(6) +
                 socket.inet_aton(f"10.88.0.{100 + port}")).ljust(60, b"\0")
        senders.append(subprocess.Popen(
            ["python3", "-c", flood, tap(port), frame.hex(), str(rate), str(duration)],
            stdout=subprocess.PIPE, text=True))
    peak = rss_before
    while any(s.poll() is None for s in senders):
        peak = max(peak, fw.rss_kb())
        time.sleep(0.2)
    offered = [float(s.stdout.read()) for s in senders]
    probe_stop.set()
    threads[1].join()
    time.sleep(1.5)  # the last frames on their way; the counters collected once a second
    stop.set()
    threads[0].join()
    dropped = [counter("RXDROPPKTS", p) - b[0] for p, b in zip(STORM, before)]
    taken = [counter("RXBROADCASTPKT", p) - b[1] for p, b in zip(STORM, before)]
    markers = len(pings)
    print(f"storm from ports {', '.join(map(str, STORM))}: offered "
          f"{', '.join(f'{o:,.0f}' for o in offered)} broadcasts/s for {duration:.0f} s; "
          f"the switch took {', '.join(f'{t:,}' for t in taken)} and counted "
          f"{', '.join(f'{d:,}' for d in dropped)} discards")
    print(f"  frames from B (port {port_b}) to C (port {port_c}): {len(delays)} of {markers} "
          f"arrived, delay median {1000 * statistics.median(delays) if delays else 0:.1f} ms, "
          f"max {1000 * max(delays) if delays else 0:.1f} ms")
    print(f"  pings from B to the management address: {sum(pings)} of {len(pings)} answered")
    print(f"  RSS {rss_before / 1024:.1f} MB before, {peak / 1024:.1f} MB at most", flush=True)

with open("/proc/loadavg") as f:
    print(f"board {board}, {duration:.0f} s phases; load average "
          f"{' '.join(f.read().split()[:3])} on {os.cpu_count()} cores", flush=True)
iperf("f1", "f2", f"fast Ethernet (port {HOSTS['f1'][0]} to {HOSTS['f2'][0]})")
iperf("g1", "g2", f"gigabit (port {GIGABIT[0]} to {GIGABIT[1]})")
iperf("g1", "f2", f"gigabit to fast Ethernet (port {GIGABIT[0]} to {HOSTS['f2'][0]})")
udp_into_fast_port()
two_priorities()
bursts("f1", "f2")
bursts("g1", "g2", count=1000)
egress_limit()
storm(100000)
fw.stop()
EOF

python3 "$WORK/bench.py" "$ROOT" "$WORK" "$BOARD" "$DURATION" "${SPACES[@]}"
