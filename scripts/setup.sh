# Sourced by run.sh and test.sh: installs what is missing, configures, builds.
# Usage: setup_packages PKG...; build_tree PRESET

need_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo)
        else
            echo "error: these packages are missing and neither root nor sudo is available:" >&2
            echo "  ${missing[*]}" >&2
            echo "Install them (apt-get install ${missing[*]}) and run this again." >&2
            exit 1
        fi
    fi
    if ! command -v apt-get >/dev/null 2>&1; then
        echo "error: apt-get not found; install these packages by hand: ${missing[*]}" >&2
        exit 1
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
}

BASE_PACKAGES=(g++ cmake ninja-build pkg-config libssl-dev openssl
               qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins qt6-translations-l10n fonts-wine
               python3 shared-mime-info)

# The real desktops of the window program's desktop tests (tests/e2e/desktop.py),
# installed only when asked for (./test.sh --desktops).
DESKTOP_PACKAGES=(gnome-shell gjs mutter sway grim mako-notifier kwin-wayland xwayland
                  qt6-wayland at-spi2-core python3-pyatspi python3-gi dbus-daemon dbus-bin libglib2.0-bin)

# build_tree PRESET [TARGET...]: configures once, then builds (only TARGETs when given).
build_tree() {
    local preset=$1
    shift
    if [ ! -f "build/$preset/build.ninja" ]; then
        cmake --preset "$preset" >/dev/null
    fi
    if [ $# -gt 0 ]; then
        cmake --build --preset "$preset" --target "$@"
    else
        cmake --build --preset "$preset"
    fi
}
