#!/bin/bash
# The Windows program under Wine, asked to close by `taskkill` without /F (what
# Task Manager's "End task" and a log-off send: WM_CLOSE to the program's
# top-level windows) in the middle of a job. The close must bring the abort
# question, and the job's result message must never be lost.
#
# Usage: taskkill_mid_job.sh TREZORKA.EXE
# Prints a timeline of what is on the screen. Exits 0 when the question came,
# 1 when it did not, 77 (skipped) when Wine, Xvfb or xdotool is missing.
# Reusable: source it and call taskkill_mid_job EXE WORK after setting up a
# display and WINEPREFIX (a running wineserver is used as it is).
set -u

# visible_windows: the names of the shown windows, one a line.
visible_windows() {
    local id
    for id in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
        xdotool getwindowname "$id" 2>/dev/null
    done | grep -v '^$' | sort | paste -sd '|'
}

# taskkill_mid_job EXE WORK: starts EXE on a file in WORK, runs a job, sends
# taskkill during it and follows what happens for up to 30 s.
taskkill_mid_job() {
    local exe=$1 work=$2
    local data="$work/taskkill"
    mkdir -p "$data"
    # Under the large-file threshold, so the windows stay on the screen; long
    # enough under Wine's cipher service to be interrupted.
    local source="$data/dlouhý.bin"
    head -c 7900000 /dev/urandom >"$source"
    wine "$exe" "Z:${source//\//\\}" >>"$work/wine.log" 2>&1 &
    local pid=$!
    local window
    window=$(timeout 40 xdotool search --sync --onlyvisible --name '^Trezorka 2\.0 Portable$' | head -n 1)
    if [ -z "$window" ]; then
        echo "FAIL: the main window did not appear"
        return 1
    fi
    local y
    for y in 217 260; do
        xdotool mousemove --window "$window" 115 "$y" click 1
        sleep 0.3
        xdotool type --delay 40 'Tajne heslo 42'
    done
    xdotool mousemove --window "$window" 129 304 click 1 # "Zašifrovat"
    if ! timeout 20 xdotool search --sync --onlyvisible --name '^Trezorka - šifrování$' >/dev/null; then
        echo "FAIL: no progress dialog"
        return 1
    fi
    local start=$SECONDS
    echo "job running: $(visible_windows)"
    wine taskkill /IM trezorka.exe >"$work/taskkill.out" 2>&1
    echo "taskkill: $(tr -d '\r' <"$work/taskkill.out" | paste -sd ' ')"
    local asked=no seen last=
    for _ in $(seq 300); do
        seen=$(visible_windows)
        if [ "$seen" != "$last" ]; then
            echo "+$((SECONDS - start)) s: ${seen:-no window}"
            last=$seen
        fi
        case "|$seen|" in *"|Warning|"*) asked=yes; break ;; esac
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        wait_or_kill "$pid"
    fi
    wait "$pid" 2>/dev/null
    echo "program ended: status $? after $((SECONDS - start)) s; files: $(cd "$data" && ls -A | paste -sd ' ')"
    [ "$asked" = yes ]
}

# wait_or_kill PID: lets the program run on to its end (at most 30 s), then ends it.
wait_or_kill() {
    local waited
    for waited in $(seq 300); do
        kill -0 "$1" 2>/dev/null || return 0
        local seen
        seen=$(visible_windows)
        if [ "$seen" != "${last:-}" ]; then
            echo "+$((SECONDS - start)) s: ${seen:-no window}"
            last=$seen
        fi
        sleep 0.1
    done
    echo "still running after $((waited / 10)) s more: ended"
    kill "$1" 2>/dev/null
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    exe=$(realpath "$1")
    for tool in wine wineserver wineboot Xvfb xdotool; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "SKIP: $tool is not installed"
            exit 77
        fi
    done
    work=$(mktemp -d "${TMPDIR:-/tmp}/trezorka-taskkill.XXXXXX")
    xvfb_pid=
    cleanup() {
        WINEPREFIX=$work/prefix wineserver -k >/dev/null 2>&1
        [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
        wait 2>/dev/null
        rm -rf "$work"
    }
    trap cleanup EXIT
    fail() {
        echo "FAIL: $*" >&2
        exit 1
    }
    source "$(dirname "$0")/../e2e/private_display.sh"
    start_private_display 170 "$work/xvfb.log"
    export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
    unset WAYLAND_DISPLAY
    wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot failed"
    wineserver -p
    if taskkill_mid_job "$exe" "$work"; then
        echo "PASS: taskkill during a job brought the abort question"
    else
        echo "FAIL: taskkill during a job did not bring the abort question" >&2
        exit 1
    fi
fi
