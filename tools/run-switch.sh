#!/usr/bin/env bash
# Plays the boot loader: starts the firmware and starts it again after every
# reboot (exit status 10), keeping the flash file.
set -uo pipefail
prog=$1
shift
mkdir -p var
while true; do
    "$prog" "$@"
    status=$?
    [[ $status -eq 10 ]] || exit $status
    echo "(rebooting)"
done
