#!/usr/bin/env bash
# Plays the boot loader: starts the firmware and starts it again after every
# reboot (exit status 10), keeping the flash file.
set -uo pipefail
prog=$1
shift
mkdir -p var
# The terminal's interrupt and quit keys are the firmware's (the serial
# line's break, and the end of the program): this loop waits for the firmware
# rather than ending on them.
trap ':' INT QUIT
while true; do
    "$prog" "$@"
    status=$?
    [[ $status -eq 10 ]] || exit $status
    echo "(rebooting)"
done
