#!/bin/sh
# Takes a picture of the main window as it appears on an X server and writes
# it to docs/main-window.png (or the given file).
#
# Usage: scripts/screenshot.sh [-b program] [-o output.png] [-g screen WxH] [-- program arguments]
# Needs Xvfb, xdotool, xwininfo and ImageMagick's import. QT_SCALE_FACTOR is
# passed through, so QT_SCALE_FACTOR=2 scripts/screenshot.sh -o x2.png shows
# the window at 200 % (give it a screen large enough: -g 1600x1000).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
program=
output="$root/docs/main-window.png"
screen=1024x768
while [ $# -gt 0 ]; do
    case $1 in
        -b) program=$2; shift 2 ;;
        -o) output=$2; shift 2 ;;
        -g) screen=$2; shift 2 ;;
        --) shift; break ;;
        *) echo "usage: $0 [-b program] [-o output.png] [-g WxH] [-- arguments]" >&2; exit 2 ;;
    esac
done
if [ -z "$program" ]; then
    # The most recently built window program of any build tree.
    program=$(ls -t "$root"/build/*/app/trezorka 2>/dev/null | head -n 1 || true)
fi
[ -x "${program:-}" ] || { echo "error: no built program found; build it or pass -b" >&2; exit 1; }
for tool in Xvfb xdotool xwininfo import; do
    command -v $tool >/dev/null 2>&1 || { echo "error: $tool is missing" >&2; exit 1; }
done

# A private display: the first free number from 90 up.
display=90
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 "${screen}x24" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT INT TERM

export DISPLAY=":$display"
unset QT_QPA_PLATFORM
tries=0
until xdpyinfo >/dev/null 2>&1 || xwininfo -root >/dev/null 2>&1; do
    tries=$((tries + 1)); [ $tries -lt 50 ] || { echo "error: Xvfb did not start" >&2; exit 1; }
    sleep 0.1
done

"$program" "$@" >/dev/null 2>&1 &
app=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Trezorka 2\.0 Portable$' | head -n 1)
[ -n "$window" ] || { echo "error: the main window did not appear" >&2; exit 1; }
# Let the first paint finish.
sleep 1

geometry=$(xwininfo -id "$window")
x=$(echo "$geometry" | awk '/Absolute upper-left X/ {print $4}')
y=$(echo "$geometry" | awk '/Absolute upper-left Y/ {print $4}')
w=$(echo "$geometry" | awk '/Width:/ {print $2}')
h=$(echo "$geometry" | awk '/Height:/ {print $2}')
mkdir -p "$(dirname "$output")"
import -window root -crop "${w}x${h}+${x}+${y}" +repage "$output"
echo "$output: ${w}x${h}"
