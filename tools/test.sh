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

configure_and_build "$ROOT/build/test" -DCMAKE_BUILD_TYPE=Debug -DSWITCHFW_SANITIZE=ON
cd "$ROOT/build/test"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
exec ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@"
