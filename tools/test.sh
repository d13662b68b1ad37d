#!/usr/bin/env bash
# Build the test build (AddressSanitizer + UndefinedBehaviorSanitizer) and run
# every test. Extra arguments go to ctest (e.g. -L platform).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages

cd "$ROOT"
mapfile -t sources < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' 2>/dev/null ||
    find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
existing=()
for f in "${sources[@]}"; do [[ -f "$f" ]] && existing+=("$f"); done
if [[ ${#existing[@]} -gt 0 ]]; then
    echo "Checking code style of ${#existing[@]} files"
    clang-format --dry-run -Werror "${existing[@]}"
fi

# The optimised program of tools/run.sh must build too: its warnings differ,
# and the link-time optimiser's come at the link, where they are errors too.
# (Linking each test program that way would re-optimise the whole firmware
# once per program, most of the suite's build time on two cores.)
configure_and_build "$ROOT/build/release" -DCMAKE_BUILD_TYPE=Release -DSWITCHFW_TESTS=OFF
configure_and_build "$ROOT/build/test" -DCMAKE_BUILD_TYPE=Debug -DSWITCHFW_SANITIZE=ON
cd "$ROOT/build/test"
# Leak checks need LeakSanitizer to stop the process's threads, which some
# containers forbid; use them wherever a trial run shows they work.
if [[ -z "${ASAN_OPTIONS:-}" ]]; then
    if ASAN_OPTIONS=detect_leaks=1 platform/platform_tests --gtest_filter='shr_crc32.*' \
        >/dev/null 2>&1; then
        export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
    else
        echo "LeakSanitizer does not work here: leak checks are off"
        export ASAN_OPTIONS=detect_leaks=0:abort_on_error=0
    fi
fi
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
# Three tests per processor: most spend their time waiting on the program's
# timers (fibre windows, deglitch and ageing times, restarts), not on a
# processor. Those that keep a processor busy (frames going round, rate
# measurements; host/tests/test_weights.cmake) take one of three "busy"
# slots for every two processors as well, so that the heaviest never all
# run at once. The concurrency test, which bounds its clients' waits, still
# runs alone. Each test's own time-out bounds only one that hangs; this one
# is for a test that sets none.
jobs=$(($(nproc) * 3))
((jobs > 16)) && jobs=16
# The busy slots are locks the listing hands out in turn (test_weights.cmake).
export SWITCHFW_BUSY_SLOTS=$((($(nproc) * 3 + 1) / 2))
ctest --output-on-failure -j"$jobs" --timeout 300 "$@" ||
    status=$?

# The concurrency test again in a ThreadSanitizer build (only what it needs:
# the program and the test), on whole runs and on `-L concurrency`. A race
# report ends the program (TSAN_OPTIONS, set by the test's CTest entry), which
# the test sees and fails on.
if [[ $# -eq 0 || " $* " == *" concurrency "* ]]; then
    tsan_dir="$ROOT/build/tsan"
    if [[ ! -f "$tsan_dir/build.ninja" ]]; then
        cmake -S "$ROOT" -B "$tsan_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSWITCHFW_TSAN=ON >/dev/null
    fi
    echo "Building the concurrency test with ThreadSanitizer"
    cmake --build "$tsan_dir" -j"$(nproc)" --target switchfw concurrency_tests
    (cd "$tsan_dir" && ctest --output-on-failure -L concurrency --timeout 1800) || status=1
fi

# Soak test of the release program, on whole runs only: every web form
# fuzzed for a 20 s warm-up and SWITCHFW_SOAK_SECONDS (default 60) more with
# its memory watched, then SNMP under configuration posts and the web under a
# DoS flood; about 90 s in all (SWITCHFW_SOAK_SECONDS=0 skips it).
soak_seconds=${SWITCHFW_SOAK_SECONDS:-60}
if [[ $# -eq 0 && $soak_seconds -gt 0 ]]; then
    echo "Soak test of the release program (${soak_seconds}s after the warm-up)"
    SWITCHFW_SOAK=1 SWITCHFW_SOAK_BINARY="$ROOT/build/release/host/switchfw" \
        SOAK_SECONDS="$soak_seconds" ctest --output-on-failure -L soak --timeout 300 ||
        status=1
fi

# Bounded libFuzzer runs over the web request parser, over the monitor's
# port-bitmap parser and expression evaluator, and over the SNMP agent's
# request decoding with the RMON-lite set handlers, on whole runs only
# (SWITCHFW_FUZZ_SECONDS=0 skips them).
fuzz_seconds=${SWITCHFW_FUZZ_SECONDS:-30}
if [[ $# -eq 0 && $fuzz_seconds -gt 0 ]]; then
    if command -v clang++ >/dev/null; then
        fuzz_dir="$ROOT/build/fuzz"
        if [[ ! -f "$fuzz_dir/build.ninja" ]]; then
            CC=clang CXX=clang++ cmake -S "$ROOT" -B "$fuzz_dir" -G Ninja \
                -DCMAKE_BUILD_TYPE=Debug -DSWITCHFW_TESTS=OFF -DSWITCHFW_FUZZ=ON >/dev/null
        fi
        if ! cmake --build "$fuzz_dir" -j"$(nproc)" --target web_request_fuzz diag_parse_fuzz \
            voip_h323_fuzz snmp_request_fuzz >"$fuzz_dir/build.log" 2>&1; then
            grep -B2 -A8 -m5 'error' "$fuzz_dir/build.log" || tail -n 40 "$fuzz_dir/build.log"
            echo "THE FUZZ TARGETS DO NOT BUILD WITH CLANG (log: $fuzz_dir/build.log)"
            exit 1
        fi
        # name, program, corpus folder; the fuzzers run side by side, as each
        # takes one processor for its time.
        fuzzers=("web request parser:web/web_request_fuzz:corpus"
            "monitor parsers:diag/diag_parse_fuzz:corpus-diag"
            "H.323 snooper:features/voip_h323_fuzz:corpus-h323"
            "SNMP agent requests:snmp/snmp_request_fuzz:corpus-snmp")
        echo "Fuzzing the ${#fuzzers[@]} targets for ${fuzz_seconds}s"
        fuzz_pids=()
        for fuzz in "${fuzzers[@]}"; do
            IFS=: read -r what program corpus <<<"$fuzz"
            mkdir -p "$fuzz_dir/$corpus"
            "$fuzz_dir/$program" -max_total_time="$fuzz_seconds" "$fuzz_dir/$corpus" \
                >"$fuzz_dir/$(basename "$program").log" 2>&1 &
            fuzz_pids+=($!)
        done
        for i in "${!fuzzers[@]}"; do
            IFS=: read -r what program corpus <<<"${fuzzers[$i]}"
            log="$fuzz_dir/$(basename "$program").log"
            if ! wait "${fuzz_pids[$i]}"; then
                tail -n 40 "$log"
                echo "FUZZING THE ${what^^} FOUND A FAULT (log: $log)"
                status=1
            else
                echo "$what: $(tail -n 1 "$log")"
            fi
        done
    else
        echo "clang++ not found: fuzzing skipped"
    fi
fi
exit $status
