#!/usr/bin/env bash
# Plays the boot loader: starts the firmware and starts it again after every
# reboot (exit status 10), keeping the flash file.
set -uo pipefail
prog=$1
shift
mkdir -p var
# The terminal's interrupt, quit and suspend keys are the firmware's (the
# serial line's break, the end of the program, a key that stops nothing): the
# firmware takes them itself, and should one reach this loop (typed while
# the firmware restarts) it waits for the firmware rather than ending or
# stopping on it, so that the switch stays up. Ignored rather than caught:
# the firmware starts with them ignored too, so that one typed before it
# takes them neither ends nor stops it.
trap '' INT QUIT TSTP TTIN TTOU
while true; do
    "$prog" "$@"
    status=$?
    [[ $status -eq 10 ]] || exit $status
    # Shown without waiting for it: a terminal paused with Ctrl-S or a pipe
    # nobody reads would keep the switch down until read again.
    echo "(rebooting)" &
done
