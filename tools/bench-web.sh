#!/usr/bin/env bash
# Web server benchmark: the firmware's server and nginx (one worker) serve the
# same 1.2 KB static file side by side in a private network namespace; wrk
# drives each with "Connection: close" at 1, 32 and 64 clients and the script
# prints requests/s, p50, p99, CPU time per request and wrk's socket errors
# (connect, read, write, timeout: a reset connection shows there), then the time of a
# firmware upgrade with a 2 MB image and its progress page meanwhile. Needs
# root (the namespace; it installs nginx-light, wrk and curl when missing).
#
#   tools/bench-web.sh [seconds per run, default 10]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
DURATION=${1:-10}

BENCH_ARGS=("$@")
bench_enter_netns nginx-light wrk curl

bench_workspace

FILE=form.css
FW_PORT=8080
NGINX_PORT=8081
cp "$ROOT/web/pages/$FILE" "$WORK/$FILE"

# The firmware, on its own flash file; its web server is port 80 + offset.
(cd "$WORK" && exec "$ROOT/build/release/host/switchfw" --flash "$WORK/flash.bin" \
    --fs "$WORK/fs" --port-offset $((FW_PORT - 80)) --listen 127.0.0.1 </dev/null \
    >"$WORK/switchfw.log" 2>&1) &
FW_PID=$!
PIDS+=("$FW_PID")

cat >"$WORK/nginx.conf" <<EOF
worker_processes 1;
daemon off;
pid $WORK/nginx.pid;
error_log $WORK/nginx.err;
user root;
events { worker_connections 1024; }
http {
    access_log off;
    server {
        listen 127.0.0.1:$NGINX_PORT;
        root $WORK;
    }
}
EOF
nginx -c "$WORK/nginx.conf" &
PIDS+=($!)

wait_for() {
    for _ in $(seq 1 200); do
        curl -sf -o /dev/null "http://127.0.0.1:$1/$FILE" && return 0
        sleep 0.1
    done
    echo "server on port $1 did not answer" >&2
    exit 1
}
wait_for $FW_PORT
wait_for $NGINX_PORT

# CPU ticks (user + system) of a process and its threads.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# bench NAME PORT PID CLIENTS
bench() {
    local name=$1 port=$2 pid=$3 clients=$4 before after out
    before=$(cpu_ticks "$pid")
    out=$(wrk -t1 -c"$clients" -d"${DURATION}s" --latency -H "Connection: close" \
        "http://127.0.0.1:$port/$FILE")
    after=$(cpu_ticks "$pid")
    awk -v name="$name" -v clients="$clients" -v ticks=$((after - before)) \
        -v hz="$(getconf CLK_TCK)" '
        /^ +50%/ { p50 = $2 }
        /^ +99%/ { p99 = $2 }
        /requests in/ { requests = $1 }
        /^Requests\/sec/ { rate = $2 }
        /Socket errors:/ {
            gsub(",", "")
            connect = $4; read = $6; write = $8; timeout = $10
        }
        END {
            cpu = requests > 0 ? ticks * 1e6 / hz / requests : 0
            printf "%-8s %3d clients  %9.0f req/s  p50 %8s  p99 %8s  cpu %6.1f us/req",
                   name, clients, rate, p50, p99, cpu
            printf "  socket errors: connect %d read %d write %d timeout %d\n",
                   connect, read, write, timeout
        }' <<<"$out"
}

NGINX_WORKER=$(pgrep -P "$(cat "$WORK/nginx.pid")" | head -1)
for clients in 1 32 64; do
    bench switchfw $FW_PORT "$FW_PID" "$clients"
    bench nginx $NGINX_PORT "$NGINX_WORKER" "$clients"
done

# A 2 MB firmware image through the upgrade page, logged in: a gzip header
# with the image's stored name, then random bytes, into the image region of
# the flash file.
{
    printf '\x1f\x8b\x08\x18\0\0\0\0\0\x03SSS-DXP7101.bin\0'
    head -c $((2 * 1024 * 1024 - 26)) /dev/urandom
} >"$WORK/upload.bin"
curl -s -o /dev/null -c "$WORK/cookies" --data "username=admin&password=qivor" \
    "http://127.0.0.1:$FW_PORT/login.cgi"
upgrade() {
    curl -s -o "$WORK/upgrade.htm" -b "$WORK/cookies" -H "Expect:" -F "image=@$WORK/upload.bin" \
        "$@" "http://127.0.0.1:$FW_PORT/fupgrade.cgi"
    grep -q "Firmware Upgrade Complete" "$WORK/upgrade.htm" || {
        echo "the upgrade was not completed:" >&2
        sed 's/<[^>]*>//g' "$WORK/upgrade.htm" | grep -v '^\s*$' >&2
        exit 1
    }
}
upgrade -w "upgrade with a 2 MB image to switchfw: %{time_total} s\n"

# Once more at 4 MB/s, reading the progress page meanwhile.
upgrade --limit-rate 4M &
UPGRADE_PID=$!
for _ in $(seq 1 200); do
    progress=$(curl -s -b "$WORK/cookies" "http://127.0.0.1:$FW_PORT/upgstatus.htm" || true)
    if [[ -n $progress && $progress != "0 of 0 bytes" && $progress != "0 of "* ]]; then
        echo "progress page during the upgrade: $progress"
        break
    fi
    sleep 0.05
done
wait "$UPGRADE_PID"
