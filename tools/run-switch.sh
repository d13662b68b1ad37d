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

# Nor does the terminal's driver send them to anybody while the loop runs:
# between one firmware's end and the next one's start it would signal the
# whole job, and so end the reader of a pipe the loop writes to (`| tee
# log`). A key typed then waits for the next firmware. The firmware is told
# whether the user had the keys on (it takes them as keys itself) and
# leaves them off at its end; the user's settings come back when the loop
# ends. A loop in the background leaves the terminal to the foreground job
# until it is brought to the foreground.
user_modes=""
keys_held=false
if [[ -t 0 ]] && user_modes=$(stty -g 2>/dev/null); then
    if [[ " $(stty -a 2>/dev/null) " =~ [[:space:]]-isig[[:space:]] ]]; then
        export SWITCHFW_TERMINAL_ISIG=0
    else
        export SWITCHFW_TERMINAL_ISIG=1
    fi
fi

# Whether this loop's process group is its terminal's foreground one.
in_foreground() {
    local stat pgrp tpgid
    stat=$(</proc/$$/stat) || return 1
    read -r _ _ pgrp _ _ tpgid _ <<<"${stat##*) }"
    [[ $pgrp == "$tpgid" ]]
}

hold_keys() {
    if [[ -n $user_modes ]] && ! $keys_held && in_foreground && stty -isig 2>/dev/null; then
        keys_held=true
    fi
}

give_terminal_back() {
    if $keys_held && in_foreground; then stty "$user_modes" 2>/dev/null; fi
}
trap give_terminal_back EXIT

# The loop's end is the firmware's too: SIGTERM, SIGHUP (the terminal
# closing) and, where the console is no terminal, SIGINT go on to the
# firmware, which applies what was accepted and writes the flash as it does
# on its own, and the loop ends with the same signal once it is gone. On a
# terminal SIGINT is the console's break, which the firmware takes itself.
child=""
end_with() {
    local sig=$1 pid=${child:-${!:-}}
    trap '' TERM HUP INT
    if [[ -n $pid ]] && kill -s "$sig" "$pid" 2>/dev/null; then
        while kill -0 "$pid" 2>/dev/null; do wait "$pid"; done
    fi
    give_terminal_back
    trap - EXIT "$sig"
    kill -s "$sig" $$
}
trap 'end_with TERM' TERM
trap 'end_with HUP' HUP
[[ -t 0 ]] || trap 'end_with INT' INT

while true; do
    hold_keys
    # Waited for in the background, so that a signal's trap runs while the
    # firmware does; the console stays on this standard input.
    "$prog" "$@" <&0 &
    child=$!
    wait "$child"
    status=$?
    child=""
    [[ $status -eq 10 ]] || exit $status
    # Shown without waiting for it: a terminal paused with Ctrl-S or a pipe
    # nobody reads would keep the switch down until read again.
    echo "(rebooting)" &
done
