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
#     weights 3:1:1:1 (the monitor's cos command): what each delivered,
#     and of queue 3's frames, how many the port sent (its QoS counter) and
#     how many its own port dropped on the way in;
#   - of bursts of 100 back-to-back 1514-byte frames from port 7 to port 8,
#     and of 1,000 between the gigabit ports, how many arrived;
#   - with port 8's egress limited on the rate page: of bursts of 150
#     back-to-back 1514-byte frames from the first gigabit port through a
#     limit of 102,400 kbit/s (above the line rate), how many arrived; TCP
#     through a limit of 10,240 kbit/s (bursts of 16 and 528 kbit), and UDP
#     at half and twice that limit: what arrived and the discards counted;
#   - TCP from one gigabit port to the other through the second one's egress
#     limit of 507,904 kbit/s (528 kbit burst), and for comparison through
#     Linux's tbf at the same rate, burst and queue depth (the port's queue)
#     on a router between two veth pairs: the rate and the sender's retransmits of each;
#   - a storm of broadcasts from four ports (3-6, 100,000 a second offered
#     from each) while host B (the board's last port; port 24 on the 26-port
#     board, whose last two carry the gigabit pair) sends a frame to host C
#     (port 2) and pings the management address every 0.1 s: how many of
#     each arrived, their delay, what the switch took from each storming
#     port and the discards counted there, and the program's resident memory.
# A figure that could not be measured (an iperf3 run that failed) says so
# and why; the other figures are still taken.
# Frames a TAP's kernel queue drops before the firmware reads them are the
# sending host's loss, counted nowhere in the switch.
#
# With --against, the same figures are taken of other builds in the same run,
# the builds alternated (this checkout's first, then each other's, each
# running the phases in turn; the order reversed every other round; with
# --each-phase the builds take turns at every phase instead, at the cost of
# a start of the firmware for each), and a table gives each
# figure's median per build and its ratio to this checkout's, so a change
# that slows the wire shows before it lands. BUILD is a switchfw binary, a
# build folder or checkout holding one (build/release/host/switchfw), or a
# git revision of this repository, built in a temporary worktree that is
# removed at the end.
# Needs root (the namespaces; it installs python3, iperf3 and iputils-ping
# when missing).
#
#   tools/bench-wire.sh [--board 52|28|26] [--against BUILD]... [--rounds N]
#                       [--each-phase] [--phases NAME,...]
#                       [seconds of each phase, default 10]
#
# Phases: tcp-fast, tcp-gigabit, tcp-to-fast, udp, priorities, bursts,
# limit, limit-500, storm (default: all; with --against, 2 rounds).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BENCH_ARGS=("$@")
AGAINST=()
ROUNDS=""
PHASES=all
EACH_PHASE=0
OWN_ARGS=()
while [[ $# -gt 0 ]]; do
    case $1 in
        --against)
            AGAINST+=("$2")
            shift 2
            ;;
        --rounds)
            ROUNDS=$2
            shift 2
            ;;
        --phases)
            PHASES=$2
            shift 2
            ;;
        --each-phase)
            EACH_PHASE=1
            shift
            ;;
        *)
            OWN_ARGS+=("$1")
            shift
            ;;
    esac
done
bench_board_and_seconds 10 "${OWN_ARGS[@]}"
[[ -n "$ROUNDS" ]] || ROUNDS=$([[ ${#AGAINST[@]} -gt 0 ]] && echo 2 || echo 1)
bench_enter_netns python3 curl iperf3 iputils-ping iproute2

bench_workspace
sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
bench_namespaces b c f1 f2 g1 g2 t1 t2 tr
REV_TREES=()
remove_rev_trees() {
    local tree
    for tree in "${REV_TREES[@]}"; do git -C "$ROOT" worktree remove --force "$tree" || true; done
    git -C "$ROOT" worktree prune
}
trap 'bench_remove_namespaces; remove_rev_trees; bench_cleanup' EXIT

# build_of <BUILD>: sets BUILT to "label=binary" for a binary, build folder,
# checkout or git revision (built here in a temporary worktree).
build_of() {
    local what=$1 dir
    for dir in "$what" "$what/host/switchfw" "$what/build/release/host/switchfw"; do
        if [[ -f "$dir" && -x "$dir" ]]; then
            BUILT="$what=$(realpath "$dir")"
            return
        fi
    done
    local rev
    if ! rev=$(git -C "$ROOT" rev-parse --short --verify -q "$what^{commit}"); then
        echo "--against $what: neither a switchfw build nor a revision of $ROOT" >&2
        exit 2
    fi
    dir=$WORK/rev-$rev
    git -C "$ROOT" worktree add -q --detach "$dir" "$rev" >&2
    REV_TREES+=("$dir")
    cmake -S "$dir" -B "$dir/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DSWITCHFW_TESTS=OFF >/dev/null
    cmake --build "$dir/build/release" -j"$(nproc)" >&2
    BUILT="$rev=$dir/build/release/host/switchfw"
}

BUILDS=("this=$ROOT/build/release/host/switchfw")
for what in "${AGAINST[@]}"; do
    build_of "$what"
    BUILDS+=("$BUILT")
done

cat >"$WORK/bench.py" <<'EOF'
import json, os, socket, statistics, struct, subprocess, sys, threading, time

root, work, board, duration, binary, label, phases, figures = sys.argv[1:9]
sys.path.insert(0, root + "/tools")
sys.dont_write_bytecode = True
from bench_console import Firmware, ok, set_management_address, sh, socket_in, web_post

board, duration = int(board), float(duration)
ns_b, ns_c, ns_f1, ns_f2, ns_g1, ns_g2, ns_t1, ns_t2, ns_tr = sys.argv[9:18]
phases = set(phases.split(","))
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

args = [binary, "--board", str(board), "--flash",
        work + "/flash.bin", "--fs", work + "/fs", "--port-offset", str(OFFSET),
        "--mgmt-tap", "mgmt"]
for port in list(STORM) + [h[0] for h in HOSTS.values()]:
    args += ["--tap", f"{port}={tap(port)}"]
# The TAPs of the run before go once the kernel has let go of them.
for _ in range(300):
    if not any(os.path.exists(f"/sys/class/net/{tap(p)}") for p in STORM) and \
            not any(ok(f"ip -n {h[1]} link show {tap(h[0])}") for h in HOSTS.values()):
        break
    time.sleep(0.1)
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

def figure(name, value):
    """A figure for the table that compares builds."""
    with open(figures, "a") as f:
        f.write(json.dumps({"label": label, "figure": name, "value": value}) + "\n")


def iperf_end(report):
    """The "end" part of an iperf3 client's JSON report, or the reason there
    is none (the client's own error, or what it printed instead)."""
    try:
        result = json.loads(report)
    except ValueError:
        return None, f"iperf3 gave no report ({report.strip()[:200] or 'no output'})"
    if "error" in result:
        return None, f"iperf3: {result['error']}"
    end = result.get("end", {})
    if "sum_received" not in end and "sum" not in end:
        return None, "iperf3's report holds no totals"
    return end, None


def iperf_runs(runs):
    """iperf3 runs at once, each (client, server, options, TCP port); for
    each client, the "end" part of its report and None, or None and why
    there is none."""
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
    ends = [iperf_end(c.communicate()[0]) for c in clients]
    for s in servers:
        s.wait()
    return ends

def udp_received(end):
    """A UDP client's totals: "sum_received" in newer iperf3, "sum" in older."""
    return end.get("sum_received", end.get("sum"))

def tcp_line(what, end, why):
    if end is None:
        print(f"TCP {what}: not measured: {why}", flush=True)
        return None
    sent, received = end["sum_sent"], end["sum_received"]
    print(f"TCP {what}: {received['bits_per_second'] / 1e6:.1f} Mbit/s received, "
          f"{sent['retransmits']} retransmits in {sent['seconds']:.1f} s", flush=True)
    return received["bits_per_second"] / 1e6, sent["retransmits"]

def iperf(client, server, what, name=None):
    measured = tcp_line(what, *iperf_runs([(client, server, "", 5201)])[0])
    if measured and name:
        figure(f"{name} Mbit/s", measured[0])
        figure(f"{name} retransmits", measured[1])

def udp_into_fast_port(mbit=200, label=""):
    g, f = HOSTS["g1"][0], HOSTS["f2"][0]
    before = counter("TXDROPPKTS", f) + counter("RXDROPPKTS", g)
    end, why = iperf_runs([("g1", "f2", f"-u -b {mbit}M -l 1400", 5201)])[0]
    what = f"UDP at {mbit} Mbit/s from port {g} to port {f}{label}"
    if end is None:
        print(f"{what}: not measured: {why}", flush=True)
        return
    got = udp_received(end)
    time.sleep(1.5)  # the counters collected once a second
    counted = counter("TXDROPPKTS", f) + counter("RXDROPPKTS", g) - before
    figure(f"UDP {mbit} Mbit/s{label}: % lost", got["lost_percent"])
    print(f"{what}: "
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
        sent_before, dropped_before = counter("TXQOSPKTS", f), counter("RXDROPPKTS", g_high)
        (high, why_high), (low, why_low) = iperf_runs(
            [("g1", "f2", "-u -b 60M -l 1400", 5202), ("g2", "f2", "-u -b 100M -l 1400", 5203)])
        if high is None or low is None:
            print(f"two streams into port {f} under {mode}: not measured: "
                  f"{why_high or why_low}", flush=True)
            continue
        high, low = udp_received(high), udp_received(low)
        time.sleep(1.5)  # the counters collected once a second
        sent = counter("TXQOSPKTS", f) - sent_before
        dropped = counter("RXDROPPKTS", g_high) - dropped_before
        figure(f"{mode}: queue 3 % lost", high["lost_percent"])
        figure(f"{mode}: queue 3 Mbit/s", high["bits_per_second"] / 1e6)
        print(f"two streams into port {f} under {mode}: queue 3 (60 Mbit/s from port {g_high}) "
              f"{high['bits_per_second'] / 1e6:.1f} Mbit/s, {high['lost_percent']:.1f}% lost; "
              f"queue 0 (100 Mbit/s from port {g_low}) {low['bits_per_second'] / 1e6:.1f} Mbit/s;"
              f" port {f} sent {sent:,} of queue 3's {high['packets']:,} datagrams and port "
              f"{g_high} dropped {dropped:,} on their way in", flush=True)

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
    figure(f"bursts of {count} from port {port_1}: frames arrived", sum(arrived))
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
    figure("storm: broadcasts taken", sum(taken))
    figure("storm: B to C frames arrived", len(delays))
    print(f"storm from ports {', '.join(map(str, STORM))}: offered "
          f"{', '.join(f'{o:,.0f}' for o in offered)} broadcasts/s for {duration:.0f} s; "
          f"the switch took {', '.join(f'{t:,}' for t in taken)} and counted "
          f"{', '.join(f'{d:,}' for d in dropped)} discards")
    print(f"  frames from B (port {port_b}) to C (port {port_c}): {len(delays)} of {markers} "
          f"arrived, delay median {1000 * statistics.median(delays) if delays else 0:.1f} ms, "
          f"max {1000 * max(delays) if delays else 0:.1f} ms")
    print(f"  pings from B to the management address: {sum(pings)} of {len(pings)} answered")
    print(f"  RSS {rss_before / 1024:.1f} MB before, {peak / 1024:.1f} MB at most", flush=True)

def limit_500():
    """TCP between the gigabit ports through the second one's egress limit
    of 507,904 kbit/s, then through Linux's tbf at that rate, burst and
    queue depth (a queue of the port holds 1,024 cells of 256 bytes: 170
    full frames) on a router between two veth pairs."""
    g1, g2 = HOSTS["g1"][0], HOSTS["g2"][0]
    web_post(WEB, "/setrate.cgi", f"port={g2}&ingress=0&egress_enable=1&egress=7936&burst=528")
    before = counter("TXDROPPKTS", g2), counter("RXDROPPKTS", g1)
    iperf("g1", "g2", f"through port {g2}'s egress limit of 507,904 kbit/s (528 kbit burst)",
          "TCP through 507,904 kbit/s")
    time.sleep(1.5)  # the counters collected once a second
    print(f"  discards counted: {counter('TXDROPPKTS', g2) - before[0]:,} leaving port {g2}, "
          f"{counter('RXDROPPKTS', g1) - before[1]:,} entering port {g1}", flush=True)
    web_post(WEB, "/setrate.cgi", f"port={g2}&ingress=0&egress_enable=0&egress=0&burst=0")
    # tbf sits on a router between the hosts, as the port's queue does: on
    # the sender's own device its queue would hold the sender's TCP back
    # before it filled, which no switch can.
    sh(f"ip link add tbf1 netns {ns_t1} type veth peer name tbfr1 netns {ns_tr}")
    sh(f"ip link add tbfr2 netns {ns_tr} type veth peer name tbf2 netns {ns_t2}")
    for space, ifname, address in ((ns_t1, "tbf1", "10.89.0.1/24"), (ns_tr, "tbfr1", "10.89.0.254/24"),
                                   (ns_tr, "tbfr2", "10.89.1.254/24"), (ns_t2, "tbf2", "10.89.1.2/24")):
        sh(f"ip -n {space} addr add {address} dev {ifname}")
        sh(f"ip -n {space} link set {ifname} up")
    sh(f"ip -n {ns_t1} route add default via 10.89.0.254")
    sh(f"ip -n {ns_t2} route add default via 10.89.1.254")
    sh(f"ip netns exec {ns_tr} sysctl -qw net.ipv4.ip_forward=1")
    HOSTS["tbf1"] = (None, ns_t1, "10.89.0.1")
    HOSTS["tbf2"] = (None, ns_t2, "10.89.1.2")
    sh(f"ip netns exec {ns_tr} tc qdisc add dev tbfr2 root tbf rate 507904kbit burst 66000 "
       f"limit {170 * 1514}")
    iperf("tbf1", "tbf2", "through Linux's tbf at 507,904 kbit/s (528 kbit burst, 170 frames)",
          "TCP through tbf at 507,904 kbit/s")
    sh(f"ip -n {ns_t1} link del tbf1")
    sh(f"ip -n {ns_t2} link del tbf2")

PHASES = {
    "tcp-fast": lambda: iperf("f1", "f2", f"fast Ethernet (port {HOSTS['f1'][0]} to "
                              f"{HOSTS['f2'][0]})", "TCP fast Ethernet"),
    "tcp-gigabit": lambda: iperf("g1", "g2", f"gigabit (port {GIGABIT[0]} to {GIGABIT[1]})",
                                 "TCP gigabit"),
    "tcp-to-fast": lambda: iperf("g1", "f2", f"gigabit to fast Ethernet (port {GIGABIT[0]} to "
                                 f"{HOSTS['f2'][0]})", "TCP gigabit to fast Ethernet"),
    "udp": udp_into_fast_port,
    "priorities": two_priorities,
    "bursts": lambda: (bursts("f1", "f2"), bursts("g1", "g2", count=1000)),
    "limit": egress_limit,
    "limit-500": limit_500,
    "storm": lambda: storm(100000),
}
with open("/proc/loadavg") as f:
    print(f"{label}: board {board}, {duration:.0f} s phases; load average "
          f"{' '.join(f.read().split()[:3])} on {os.cpu_count()} cores", flush=True)
for name, run in PHASES.items():
    if "all" in phases or name in phases:
        run()
fw.stop()
EOF

# Each figure's median per build, and its ratio to this checkout's.
cat >"$WORK/compare.py" <<'EOF'
import json, statistics, sys

rows, labels = {}, []
for line in open(sys.argv[1]):
    r = json.loads(line)
    rows.setdefault(r["figure"], {}).setdefault(r["label"], []).append(r["value"])
    if r["label"] not in labels:
        labels.append(r["label"])
print("\nmedians per build (runs), and the ratio to this checkout's:")
for name, by in rows.items():
    mine = statistics.median(by["this"]) if "this" in by else None
    cells = []
    for label in labels:
        if label not in by:
            cells.append(f"{label}: not measured")
            continue
        m = statistics.median(by[label])
        ratio = f" ({m / mine:.2f}x)" if label != "this" and mine else ""
        cells.append(f"{label}: {m:,.1f} [{', '.join(f'{v:,.1f}' for v in by[label])}]{ratio}")
    print(f"  {name}: " + "; ".join(cells))
EOF

[[ "$PHASES" == all ]] && PHASES=tcp-fast,tcp-gigabit,tcp-to-fast,udp,priorities,bursts,limit,limit-500,storm
IFS=, read -r -a PHASE_LIST <<<"$PHASES"
FIGURES=$WORK/figures.jsonl
: >"$FIGURES"
# One build's run of the phases given; a run that ends early says so and the
# others go on.
run_phase() {
    local label=${1%%=*} binary=${1#*=}
    rm -rf "$WORK/fs" "$WORK/flash.bin"
    python3 "$WORK/bench.py" "$ROOT" "$WORK" "$BOARD" "$DURATION" "$binary" "$label" "$2" \
        "$FIGURES" "${SPACES[@]}" || echo "$label: the run of $2 ended early (status $?)"
}
for ((round = 0; round < ROUNDS; round++)); do
    ORDER=("${BUILDS[@]}")
    if ((round % 2 == 1)); then
        ORDER=()
        for ((i = ${#BUILDS[@]} - 1; i >= 0; i--)); do ORDER+=("${BUILDS[i]}"); done
    fi
    if [[ $EACH_PHASE == 0 ]]; then
        for build in "${ORDER[@]}"; do run_phase "$build" "$PHASES"; done
        continue
    fi
    for phase in "${PHASE_LIST[@]}"; do
        for build in "${ORDER[@]}"; do run_phase "$build" "$phase"; done
    done
done
if [[ ${#BUILDS[@]} -gt 1 || $ROUNDS -gt 1 ]]; then
    for build in "${BUILDS[@]}"; do echo "${build%%=*}: ${build#*=}"; done
    python3 "$WORK/compare.py" "$FIGURES"
fi
