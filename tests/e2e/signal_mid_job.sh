#!/bin/bash
# The window program ended by a signal in the middle of a job: it removes its
# temporary file and ends with 128 + the signal, and the target never appears.
# The source is named "-reverse", which Qt would take for one of its options
# if the program read its argument after Qt had.
#
# Usage: signal_mid_job.sh TREZORKA
# Exits 77 (skipped) when Xvfb or xdotool is missing.
set -u

app_bin=$(realpath "$1")
for tool in Xvfb xdotool; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done
source "$(dirname "$0")/private_display.sh"
in_private_session_bus "$0" "$@"

work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill -9 "$app_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

start_private_display 160 "$work/xvfb.log"
unset QT_QPA_PLATFORM
use_private_profile "$work"

mkdir "$work/data"
cd "$work/data" || fail "no data folder"
# Sparse: a long job that costs no disk to prepare.
truncate -s 64G -- -reverse

# PWR and RTMIN stand for the signals that end a process by default although
# few programs think of them; the guard shared with the tool handles them all.
for signal in TERM HUP INT QUIT PWR RTMIN; do
    "$app_bin" -reverse >"$work/app.log" 2>&1 &
    app_pid=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Trezorka 2\.0 Portable$' | head -n 1)
    [ -n "$window" ] || fail "the main window did not appear"
    sleep 0.5
    for y in 217 260; do
        xdotool mousemove --window "$window" 115 "$y" click 1
        sleep 0.2
        xdotool type --delay 20 'heslo'
    done
    sleep 0.3
    xdotool mousemove --window "$window" 129 304 click 1

    # The job is under way once the program holds a file of its own in the
    # folder (a temporary file, named or not yet).
    under_way=
    for _ in $(seq 100); do
        if ls -l "/proc/$app_pid/fd" 2>/dev/null | grep -F -- "$work/data/" | grep -vqF -- "$work/data/-reverse"; then
            under_way=1
            break
        fi
        sleep 0.1
    done
    [ -n "$under_way" ] || fail "SIG$signal: no job started for the file \"-reverse\" (log: $(cat "$work/app.log"))"
    kill -s "$signal" "$app_pid"
    wait "$app_pid"
    status=$?
    app_pid=
    expected=$((128 + $(kill -l "$signal")))
    [ "$status" -eq "$expected" ] || fail "SIG$signal: status $status, expected $expected"
    listing=$(ls -A)
    [ "$listing" = "-reverse" ] || fail "SIG$signal left files behind: $listing"
done
echo "PASS: SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGPWR and SIGRTMIN mid-job left only the source"
