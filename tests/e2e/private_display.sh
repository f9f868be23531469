# Sourced by the end-to-end tests: an X server, a session bus and a profile
# of their own.

# in_private_session_bus "$0" "$@": runs the calling script anew inside a
# session bus of its own, as a desktop session has one (so the run reaches
# nothing of the user's session), and ends with it; returns once inside.
# Exits 77 (skipped) when dbus-run-session is missing.
in_private_session_bus() {
    [ "${TREZORKA_E2E_BUS:-}" = 1 ] && return 0
    if ! command -v dbus-run-session >/dev/null 2>&1; then
        echo "SKIP: dbus-run-session (dbus-daemon) is not installed"
        exit 77
    fi
    TREZORKA_E2E_BUS=1 exec dbus-run-session -- bash "$@"
}
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
