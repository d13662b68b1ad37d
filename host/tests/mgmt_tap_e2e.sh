#!/bin/bash
# The management interface on a real network: switchfw runs in a network
# namespace of its own with eth1 on a TAP and front-panel port 1 on a TAP
# moved into a peer namespace, where dnsmasq hands out addresses. The
# firmware leases its address through the simulated switch, and the peer
# pings it, fetches the login page, gets the telnet login prompt and asks
# the SNMP agent. Exit 77: skipped (needs root).
# Usage: mgmt_tap_e2e.sh SWITCHFW
set -u
SWITCHFW=$1
skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; [ -f "$WORK/console.log" ] && tail -40 "$WORK/console.log"; exit 1; }

[ "$(id -u)" = 0 ] || skip "needs root (CAP_NET_ADMIN) for network namespaces and TAP devices"
[ -c /dev/net/tun ] || skip "no /dev/net/tun"
command -v ip >/dev/null || skip "no ip command (iproute2)"
command -v dnsmasq >/dev/null || skip "no dnsmasq (apt-get install dnsmasq-base)"
command -v curl >/dev/null || skip "no curl"
"$SWITCHFW" --help | grep -q -- '--tap ' || skip "switchfw has no front-panel TAP bridge (--tap)"

WORK=$(mktemp -d)
FW=swfw_fw_$$
PEER=swfw_peer_$$
FW_PID=
DNS_PID=
BLACKHOLE=
cleanup() {
    [ -n "$BLACKHOLE" ] && ip route del blackhole 10.77.0.0/24 2>/dev/null
    [ -n "$FW_PID" ] && kill "$FW_PID" 2>/dev/null
    [ -n "$DNS_PID" ] && kill "$DNS_PID" 2>/dev/null
    exec 3>&- 2>/dev/null
    ip netns del "$FW" 2>/dev/null
    ip netns del "$PEER" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
ip netns add "$FW" 2>/dev/null || skip "cannot create network namespaces"
ip netns add "$PEER" || fail "peer namespace"
# The test subnet never leaves the namespaces through the host's routes.
ip route add blackhole 10.77.0.0/24 2>/dev/null && BLACKHOLE=1
ip -n "$FW" link set lo up

mkfifo "$WORK/console"
ip netns exec "$FW" "$SWITCHFW" --mgmt-tap mgmt --tap 1=fp1 --flash "$WORK/flash.bin" \
    --fs "$WORK/fs" --exit-on-eof <"$WORK/console" >"$WORK/console.log" 2>&1 &
FW_PID=$!
exec 3>"$WORK/console"  # console input stays open

wait_for() {  # seconds, command...
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -ge $end ] && return 1
        kill -0 "$FW_PID" 2>/dev/null || return 1
        sleep 0.2
    done
}
booted() { grep -q "Network interface status" "$WORK/console.log"; }
wait_for 60 booted || fail "switchfw did not start"
grep -q "no TAP back-end" "$WORK/console.log" && fail "management TAP not created"
ls /proc/"$FW_PID"/task/*/comm >/dev/null 2>&1 &&
    ! cat /proc/"$FW_PID"/task/*/comm | grep -q '^dxpRX' &&
    skip "the receive service (dxpRX) is not running: packet services unavailable"
wait_for 10 ip -n "$FW" link show fp1 >/dev/null 2>&1 || fail "front-panel TAP fp1 missing"

# Port 1's wire goes to the peer, with the DHCP server on it.
ip -n "$FW" link set fp1 netns "$PEER" || fail "moving fp1"
ip -n "$PEER" link set lo up
ip -n "$PEER" addr add 10.77.0.1/24 dev fp1
ip -n "$PEER" link set fp1 up
ip netns exec "$PEER" dnsmasq --no-daemon --conf-file=/dev/null --interface=fp1 \
    --bind-interfaces --port=0 --leasefile-ro --dhcp-range=10.77.0.50,10.77.0.59,255.255.255.0,1h \
    --dhcp-option=3,10.77.0.1 >"$WORK/dnsmasq.log" 2>&1 &
DNS_PID=$!

# eth1 to DHCP through the web page, from inside the firmware's namespace.
COOKIE=$(ip netns exec "$FW" curl -s -i -d 'username=admin&password=qivor' \
    http://127.0.0.1/login.cgi | sed -n 's/^Set-Cookie: WebManaged=\([^;\r]*\).*/\1/p')
[ -n "$COOKIE" ] || fail "web login"
ip netns exec "$FW" curl -s -o /dev/null -b "WebManaged=$COOKIE" \
    'http://127.0.0.1/dhcp.cgi?ifname=eth1' || fail "dhcp.cgi"

leased() { grep -q "DHCP: eth1 leased address 10.77.0.5" "$WORK/console.log"; }
wait_for 60 leased || fail "no DHCP lease for eth1"
IP=$(sed -n 's/.*DHCP: eth1 leased address \(10\.77\.0\.5[0-9]\).*/\1/p' "$WORK/console.log" | head -1)
ip -n "$FW" -4 addr show mgmt | grep -q "inet $IP/24" || fail "mgmt TAP does not carry $IP"
echo "eth1 leased $IP"

ip netns exec "$PEER" ping -c 3 -W 2 "$IP" >/dev/null || fail "peer cannot ping $IP"
ip netns exec "$PEER" curl -s -m 10 "http://$IP/login.htm" | grep -qi "password" ||
    fail "peer gets no login page from $IP"
ip netns exec "$PEER" timeout 8 bash -c "exec 3<>/dev/tcp/$IP/23; timeout 3 cat <&3" 2>/dev/null |
    grep -aq "login" || fail "peer gets no telnet login prompt from $IP"
if command -v snmpget >/dev/null; then
    ip netns exec "$PEER" snmpget -v2c -c public -On -t 3 -r 1 "$IP" .1.3.6.1.2.1.1.1.0 |
        grep -q '^.1.3.6.1.2.1.1.1.0 = ' || fail "peer gets no sysDescr from $IP"
fi
echo "PASSED"
