#!/usr/bin/env bash
# SNMP agent benchmark: the firmware's agent and Debian's snmpd (its own
# configuration, no MIB files, no persistent state) answer bulk walks of
# mib-2 (.1.3.6.1.2.1, 50 repetitions per request) side by side in a private
# network namespace. For each the script prints varbinds per walk, varbinds
# per second of wall time and the agent's CPU time (user + system) per
# varbind. Then both answer GETs of ten variables (the system group's
# sysDescr and sysUpTime and eight cells of the interfaces table's first
# row), one snmpget process per request as a manager's poller runs them,
# in phases of two seconds that alternate between the agents, and the script
# prints GETs per second and each agent's CPU time per variable (the
# firmware's also without the CPU time its idle threads take meanwhile).
# It prints the load average before and after, and each firmware figure as a
# ratio to snmpd's: on a busy machine both agents wait alike, so the ratios
# hold where the absolute figures do not.
# Needs root (the namespace; it installs snmp and snmpd when missing).
#
#   tools/bench-snmp.sh [seconds per agent, default 10]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
DURATION=${1:-10}

BENCH_ARGS=("$@")
bench_enter_netns snmp snmpd

bench_workspace

FW_PORT=8161
SNMPD_PORT=8162
export MIBS="" MIBDIRS="$WORK"  # numeric OIDs: no MIB files read by the tools

# The firmware, on its own flash file; its agent is port 161 + offset.
(cd "$WORK" && exec "$ROOT/build/release/host/switchfw" --flash "$WORK/flash.bin" \
    --fs "$WORK/fs" --port-offset $((FW_PORT - 161)) --listen 127.0.0.1 </dev/null \
    >"$WORK/switchfw.log" 2>&1) &
FW_PID=$!
PIDS+=("$FW_PID")

mkdir -p "$WORK/snmpd"
cat >"$WORK/snmpd.conf" <<EOF
agentaddress udp:127.0.0.1:$SNMPD_PORT
rocommunity public 127.0.0.1
EOF
SNMP_PERSISTENT_DIR="$WORK/snmpd" snmpd -f -C -c "$WORK/snmpd.conf" -Lf "$WORK/snmpd.log" \
    -M "$WORK" -m "" -p "$WORK/snmpd.pid" &
SNMPD_PID=$!
PIDS+=("$SNMPD_PID")

walk() { snmpbulkwalk -v2c -c public -On -Cr50 -t 5 -r 1 "127.0.0.1:$1" .1.3.6.1.2.1; }
wait_for() {
    for _ in $(seq 1 300); do
        snmpget -v2c -c public -t 1 -r 0 "127.0.0.1:$1" .1.3.6.1.2.1.1.3.0 >/dev/null 2>&1 &&
            return 0
        sleep 0.1
    done
    echo "agent on port $1 did not answer" >&2
    exit 1
}
wait_for $FW_PORT
wait_for $SNMPD_PORT
load_average() { echo "load average $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"; }
echo "before: $(load_average)"

# CPU ticks (user + system) of a process and its threads.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# bench NAME PORT PID: walks for DURATION seconds.
bench() {
    local name=$1 port=$2 pid=$3 before after start end walks=0 varbinds=0 per_walk
    walk "$port" >/dev/null  # warm
    per_walk=$(walk "$port" | wc -l)
    before=$(cpu_ticks "$pid")
    start=$(date +%s.%N)
    end=$(awk -v s="$start" -v d="$DURATION" 'BEGIN { printf "%.3f", s + d }')
    while awk -v now="$(date +%s.%N)" -v end="$end" 'BEGIN { exit !(now < end) }'; do
        varbinds=$((varbinds + $(walk "$port" | wc -l)))
        walks=$((walks + 1))
    done
    after=$(cpu_ticks "$pid")
    awk -v name="$name" -v walks="$walks" -v varbinds="$varbinds" -v per_walk="$per_walk" \
        -v ticks=$((after - before)) -v hz="$(getconf CLK_TCK)" -v start="$start" \
        -v end="$(date +%s.%N)" 'BEGIN {
            printf "%-8s %6d varbinds/walk  %4d walks  %8.0f varbinds/s  cpu %6.2f us/varbind\n",
                   name, per_walk, walks, varbinds / (end - start),
                   (varbinds > 0 ? ticks * 1e6 / hz / varbinds : 0)
        }' | tee -a "$WORK/walks"
}

bench switchfw $FW_PORT "$FW_PID"
bench snmpd $SNMPD_PORT "$SNMPD_PID"
# "switchfw/snmpd" ratios of the walk figures.
awk '{ rate[NR] = $6; cpu[NR] = $9 } END {
    if (rate[2] > 0 && cpu[2] > 0)
        printf "walks, switchfw/snmpd: %.2f x the varbinds/s, %.2f x the cpu per varbind\n",
               rate[1] / rate[2], cpu[1] / cpu[2]
}' "$WORK/walks"

# GETs of ten variables, one process per request, in alternating phases.
GET_OIDS=(.1.3.6.1.2.1.1.1.0 .1.3.6.1.2.1.1.3.0)
for column in 1 2 3 4 5 6 7 8; do GET_OIDS+=(".1.3.6.1.2.1.2.2.1.$column.1"); done
get() { snmpget -v2c -c public -On -t 5 -r 1 "127.0.0.1:$1" "${GET_OIDS[@]}"; }
[[ $(get $FW_PORT | wc -l) -eq 10 && $(get $SNMPD_PORT | wc -l) -eq 10 ]] || {
    echo "an agent did not answer all ten variables" >&2
    exit 1
}
# The firmware's CPU time per second while nothing asks it.
idle_before=$(cpu_ticks "$FW_PID")
sleep 2
idle_ticks_per_s=$(awk -v t=$(($(cpu_ticks "$FW_PID") - idle_before)) 'BEGIN { print t / 2 }')
declare -A gets=([fw]=0 [snmpd]=0) ticks=([fw]=0 [snmpd]=0) wall=([fw]=0 [snmpd]=0)
for ((phase = 0; phase < 2 * ((DURATION + 1) / 2); phase++)); do
    for agent in fw snmpd; do
        if [[ $agent == fw ]]; then port=$FW_PORT pid=$FW_PID; else port=$SNMPD_PORT pid=$SNMPD_PID; fi
        before=$(cpu_ticks "$pid")
        start=$(date +%s.%N)
        end=$(awk -v s="$start" 'BEGIN { printf "%.3f", s + 2 }')
        n=0
        while awk -v now="$(date +%s.%N)" -v end="$end" 'BEGIN { exit !(now < end) }'; do
            get "$port" >/dev/null
            n=$((n + 1))
        done
        gets[$agent]=$((gets[$agent] + n))
        ticks[$agent]=$((ticks[$agent] + $(cpu_ticks "$pid") - before))
        wall[$agent]=$(awk -v w="${wall[$agent]}" -v s="$start" -v e="$(date +%s.%N)" \
            'BEGIN { print w + e - s }')
    done
done
for agent in fw snmpd; do
    awk -v name="$([[ $agent == fw ]] && echo switchfw || echo snmpd)" -v gets="${gets[$agent]}" \
        -v ticks="${ticks[$agent]}" -v wall="${wall[$agent]}" -v hz="$(getconf CLK_TCK)" \
        -v idle="$([[ $agent == fw ]] && echo "$idle_ticks_per_s" || echo -1)" 'BEGIN {
            vars = 10 * gets
            printf "%-8s GET of 10 variables: %5d GETs  %6.1f GETs/s  cpu %6.2f us/variable",
                   name, gets, gets / wall, (vars > 0 ? ticks * 1e6 / hz / vars : 0)
            # The idle threads measured alone may take more than the whole
            # phase did (a busy host): then the share cannot be told apart.
            if (idle >= 0) {
                net = ticks - idle * wall
                if (net > 0 && vars > 0)
                    printf " (%.2f without the idle threads)", net * 1e6 / hz / vars
                else
                    printf " (without the idle threads: could not be measured)"
            }
            printf "\n"
        }' | tee -a "$WORK/gets"
done
# "switchfw/snmpd" ratios of the GET figures; the firmware's cpu counted
# both with and without its idle threads.
awk '{ for (i = 1; i <= NF; i++) if ($i == "GETs/s") rate[NR] = $(i - 1)
       for (i = 1; i <= NF; i++) if ($i == "us/variable") cpu[NR] = $(i - 1)
       if (NR == 1 && match($0, /\([0-9.]+ without/)) net = substr($0, RSTART + 1, RLENGTH - 9) + 0 }
     END { if (rate[2] > 0 && cpu[2] > 0) {
         printf "GETs, switchfw/snmpd: %.2f x the GETs/s, %.2f x the cpu per variable ",
                rate[1] / rate[2], cpu[1] / cpu[2]
         if (net > 0) printf "(%.2f without the idle threads)\n", net / cpu[2]
         else printf "(without the idle threads: could not be measured)\n" } }' "$WORK/gets"
echo "after: $(load_average)"
