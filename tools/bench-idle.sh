#!/usr/bin/env bash
# Idle load of the firmware: builds the release switchfw, starts it on the
# 52-port board with a temporary flash file and file system (unprivileged,
# var/ untouched), lets it idle and prints the voluntary context switches of
# each thread over the window, the total per second, and the CPU time each
# thread and the whole process used, as a share of one core.
#   tools/bench-idle.sh [SECONDS]   (default 20; JOBS sets the build's -j, default 3)
#   (BUILD_DIR picks another release build directory)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WINDOW=${1:-20}
BUILD=${BUILD_DIR:-"$ROOT/build/release"}

if [[ ! -f "$BUILD/build.ninja" ]]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSWITCHFW_TESTS=OFF >&2
fi
cmake --build "$BUILD" -j"${JOBS:-3}" --target switchfw >&2

work=$(mktemp -d)
pid=""
cleanup() {
    if [[ -n "$pid" ]]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    exec 3>&- || true
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"  # anything the program writes beside its files stays here

# Console input that stays open and silent for the whole run.
mkfifo console.in
exec 3<>console.in
offset=$((20000 + RANDOM % 20000))
"$BUILD/host/switchfw" --board 52 --flash "$work/flash.bin" --fs "$work/fs" \
    --port-offset "$offset" <console.in >console.out 2>&1 &
pid=$!

for _ in $(seq 1 300); do
    grep -q "DXP.0> " console.out 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || { cat console.out >&2; echo "switchfw ended" >&2; exit 1; }
    sleep 0.1
done
grep -q "DXP.0> " console.out || { echo "switchfw did not reach the monitor prompt" >&2; exit 1; }
sleep 2  # let start-up work settle

# tid name switches cpu-ticks, one line per thread
sample() {
    for status in /proc/"$pid"/task/*/status; do
        local tid=${status%/status}
        tid=${tid##*/}
        # utime and stime are fields 14 and 15 of stat, after the "(name)" field
        local ticks
        ticks=$(sed 's/^.*) //' "/proc/$pid/task/$tid/stat" 2>/dev/null | awk '{print $12 + $13}') || true
        awk -v tid="$tid" -v ticks="${ticks:-0}" '/^Name:/ {name=$2} /^voluntary_ctxt_switches:/ {n=$2}
            END {if (name != "") print tid, name, n, ticks}' "$status" 2>/dev/null || true
    done
}

# utime + stime of the whole process, in clock ticks
process_ticks() {
    sed 's/^.*) //' "/proc/$pid/stat" | awk '{print $12 + $13}'
}

hz=$(getconf CLK_TCK)
sample >before.txt
ticks_before=$(process_ticks)
start_ns=$(date +%s%N)
sleep "$WINDOW"
ticks_after=$(process_ticks)
end_ns=$(date +%s%N)
sample >after.txt
elapsed=$(awk -v a="$start_ns" -v b="$end_ns" 'BEGIN {print (b - a) / 1e9}')

echo "Voluntary context switches and CPU over ${WINDOW} s (switchfw, 52-port board, idle)"
awk -v window="$elapsed" -v hz="$hz" '
    NR == FNR { start[$1] = $3; cpu[$1] = $4; next }
    {
        d = $3 - ($1 in start ? start[$1] : 0)
        c = $4 - ($1 in cpu ? cpu[$1] : 0)
        printf "  %-26s %6d  (%.1f/s)  CPU %5.2f%%\n", $2 " [" $1 "]", d, d / window,
            100 * c / hz / window
        total += d
    }
    END { printf "Total: %d switches, %.1f per second\n", total, total / window }
' before.txt after.txt
awk -v a="$ticks_before" -v b="$ticks_after" -v hz="$hz" -v window="$elapsed" \
    'BEGIN { printf "CPU: %.2f%% of one core (%.2f s of CPU in %.1f s)\n",
             100 * (b - a) / hz / window, (b - a) / hz, window }'
