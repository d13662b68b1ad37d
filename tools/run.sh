#!/usr/bin/env bash
# Build the release firmware and start it on the simulated board.
# Every option is passed to switchfw (see `tools/run.sh --help`).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages
configure_and_build "$ROOT/build/release" -DCMAKE_BUILD_TYPE=Release -DSWITCHFW_TESTS=OFF >&2
exec "$ROOT/tools/run-switch.sh" "$ROOT/build/release/host/switchfw" "$@"
