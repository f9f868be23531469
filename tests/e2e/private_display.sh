# Sourced by the end-to-end tests: an X server of their own.
#
# start_private_display FIRST LOG: starts Xvfb on the first free display
# number from FIRST up, logging to LOG; sets DISPLAY and xvfb_pid (for the
# caller's cleanup) and returns once the server answers, else calls `fail`.
start_private_display() {
    local display=$1
    while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
        display=$((display + 1))
    done
    Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$2" 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$display"
    for _ in $(seq 100); do
        xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    fail "Xvfb did not start"
}

# A profile of its own under WORK, so the run touches nothing of the user's.
use_private_profile() {
    export HOME="$1/home" XDG_CONFIG_HOME="$1/home/config" XDG_DATA_HOME="$1/home/data" \
        XDG_CACHE_HOME="$1/home/cache" XDG_RUNTIME_DIR="$1/runtime"
    mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
}
