#!/usr/bin/env bash
# Register read speed: builds the release bench_bus and prints reads per second
# and microseconds per read through the firmware's register read on the 52-port
# board, over the pins (the bit-banged serial bus) and over the direct path.
#   tools/bench-bus.sh [READS]   (default 100000 per register and path; JOBS sets the build's -j, default 3)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD="$ROOT/build/release"

if [[ ! -f "$BUILD/build.ninja" ]]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSWITCHFW_TESTS=OFF >&2
fi
cmake --build "$BUILD" -j"${JOBS:-3}" --target bench_bus >&2
exec "$BUILD/host/bench_bus" "${1:-100000}"
