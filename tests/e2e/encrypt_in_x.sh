#!/bin/bash
# The real program in a real X server, driven like a person: start it with a
# file, type the password twice, click "Zašifrovat", confirm the success
# message, leave with "Ukončit", and check that the .t2k file decrypts with
# the command-line tool to the original bytes. Then start it with the .t2k
# file beside the plain one, type a wrong password and press Enter three
# times: the plain file must stay as it was. Last, start it with no session
# bus at all: nothing may start one for it.
#
# Usage: encrypt_in_x.sh TREZORKA TREZORKA-CLI
# Exits 77 (skipped) when Xvfb or xdotool is missing.
set -u

app_bin=$1
cli_bin=$2
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
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

start_private_display 140 "$work/xvfb.log"
unset QT_QPA_PLATFORM

use_private_profile "$work"

mkdir "$work/data"
source="$work/data/zpráva 1.pdf"
head -c 300000 /dev/urandom >"$source"
password='Tajne heslo 42'

"$app_bin" "$source" >"$work/app.log" 2>&1 &
app_pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Trezorka 2\.0 Portable$' | head -n 1)
[ -n "$window" ] || fail "the main window did not appear"
sleep 0.5
# The password fields may hold a password at any time: no core file, ever.
grep -Eq '^Max core file size +0 +0 ' "/proc/$app_pid/limits" || fail "the program may write a core dump"

# Window-relative points: the two password boxes, the encrypt and exit commands.
type_into() {
    xdotool mousemove --window "$window" "$1" "$2" click 1
    sleep 0.2
    xdotool type --delay 30 "$password"
}
type_into 115 217
type_into 115 260
sleep 0.3
xdotool mousemove --window "$window" 129 304 click 1

box=$(timeout 30 xdotool search --sync --onlyvisible --name '^Trezorka - dokon' | head -n 1)
[ -n "$box" ] || fail "no success message (log: $(cat "$work/app.log"))"
target="$source.t2k"
[ -f "$target" ] || fail "the message came, but $target is missing"
# Enter presses the box's only button, OK.
xdotool mousemove --window "$box" 5 5
xdotool windowfocus --sync "$box" 2>/dev/null
xdotool key Return
for _ in $(seq 50); do
    xdotool search --onlyvisible --name '^Trezorka - dokon' >/dev/null 2>&1 || break
    sleep 0.1
done
xdotool search --onlyvisible --name '^Trezorka - dokon' >/dev/null 2>&1 && fail "the message did not go away"

# The window is enabled again: its exit command ends the program normally.
sleep 0.3
xdotool mousemove --window "$window" 387 304 click 1
for _ in $(seq 100); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$app_pid" 2>/dev/null && fail "\"Ukončit\" did not end the program"
wait "$app_pid"
status=$?
app_pid=
[ "$status" -eq 0 ] || fail "the program ended with status $status (log: $(tail -c 3000 "$work/app.log"))"

printf '%s\n' "$password" >"$work/password"
"$cli_bin" -q --password-file "$work/password" -o "$work/back" "$target" || fail "trezorka-cli could not decrypt"
cmp -s "$source" "$work/back" || fail "the decrypted file differs from the original"
cmp -s "$source" "$target" && fail "the .t2k file is the plain file"
# A mistyped password and Enter, Enter, Enter, each to the window in front
# (as a window manager hands the focus to a new dialog): the command, then
# the wrong-password question, then whatever is in front. Both questions
# guard the plain file, so Enter must not get past them.
"$app_bin" "$target" >"$work/app.log" 2>&1 &
app_pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Trezorka 2\.0 Portable$' | head -n 1)
[ -n "$window" ] || fail "the main window did not appear for the .t2k file"
sleep 0.5
password='Chybne heslo' # differs in its first half, which alone makes the key
type_into 115 217
enter_in_front() {
    local front
    front=$(xdotool search --onlyvisible --name '^(Warning|Trezorka - dokon.*)$' 2>/dev/null | tail -n 1)
    xdotool windowfocus --sync "${front:-$window}" 2>/dev/null
    sleep 0.3
    xdotool key Return
    sleep 1.5
}
enter_in_front
xdotool search --onlyvisible --name '^Warning$' >/dev/null 2>&1 || fail "no question about the wrong password"
enter_in_front
enter_in_front
sleep 2 # a job that ran would have ended by now
cmp -s "$source" "$work/back" || fail "Enter, Enter, Enter replaced the plain file"
xdotool search --onlyvisible --name '^Trezorka - dokon' >/dev/null 2>&1 && fail "a job ran after Enter, Enter, Enter"
kill "$app_pid" 2>/dev/null
wait "$app_pid" 2>/dev/null
app_pid=

# Started where there is no session bus at all (none given, none in the
# runtime folder): nothing may start one for the program. With dbus-x11
# installed the bus library would, writing ~/.dbus/session-bus/ and leaving
# the bus running after the program.
buses_started_for_us() {
    local p
    for p in $(pgrep -x dbus-launch) $(pgrep -x dbus-daemon); do
        tr '\0' '\n' 2>/dev/null <"/proc/$p/environ" | grep -qxF "HOME=$HOME" && echo "$p"
    done
}
env -u DBUS_SESSION_BUS_ADDRESS "$app_bin" >"$work/app.log" 2>&1 &
app_pid=$!
timeout 20 xdotool search --sync --onlyvisible --name '^Trezorka 2\.0 Portable$' >/dev/null ||
    fail "the main window did not appear without a session bus"
sleep 1
kill "$app_pid" 2>/dev/null
wait "$app_pid" 2>/dev/null
app_pid=
started=$(buses_started_for_us)
# shellcheck disable=SC2086 # the ids of the buses started, if any
[ -z "$started" ] || kill $started 2>/dev/null
[ -z "$started" ] && [ ! -e "$HOME/.dbus" ] ||
    fail "a session bus was started for the program: $(find "$HOME/.dbus" 2>/dev/null | tail -n 1)"

listing=$(cd "$work/data" && ls -A)
[ "$listing" = "$(printf 'zpráva 1.pdf\nzpráva 1.pdf.t2k')" ] || fail "unexpected files: $listing"
[ -z "$(find "$HOME" -type f)" ] || fail "the program wrote into the profile: $(find "$HOME" -type f)"
echo "PASS: encrypted in the window, decrypted by trezorka-cli to the same $(stat -c %s "$source") bytes;" \
    "Enter, Enter, Enter with a wrong password kept the plain file; no session bus started for it"
