#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless through ctest;
# then builds the tests of the engine, the rules and the tool with the window
# program switched off (build/nogui) and runs them again.
# Usage: ./test.sh [--windows] [--desktops] [ctest arguments...]
#   --windows   afterwards also cross-build for Windows with mingw-w64 (windows/build.sh),
#               check under Wine that the CryptoAPI build and this build make the same
#               files, and drive the window program under Wine on Xvfb
#   --desktops  also install GNOME Shell, mutter, sway and KWin and run the tests of long
#               jobs on them (and, with --windows, `taskkill` during a job under Wine)
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

windows=0
desktops=0
while [ $# -gt 0 ]; do
    case "$1" in
        --windows) windows=1 ;;
        --desktops) desktops=1 ;;
        *) break ;;
    esac
    shift
done

need_packages "${BASE_PACKAGES[@]}" xvfb xauth xdotool x11-utils trayer dbus-daemon \
    desktop-file-utils appstream shared-mime-info groff-base man-db libxml2-utils \
    dpkg-dev file libglib2.0-bin tmux strace age ccache
# A second build tree compiles the same sources again: ccache makes that cheap.
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
# The tools the wrong-password check's corpus of legitimate files is made with.
need_packages zip unzip zstd xz-utils bzip2 lz4 lzip lzop ncompress cpio 7zip gcab makeself gettext \
    imagemagick qpdf sqlite3 sox flac vorbis-tools opus-tools lame libgsf-bin python3-fonttools python3-brotli
if [ "$desktops" = 1 ]; then
    need_packages "${DESKTOP_PACKAGES[@]}"
    cmake --preset dev -DTREZORKA_WAYLAND_TESTS=ON >/dev/null
elif [ -f build/dev/CMakeCache.txt ]; then
    cmake --preset dev -DTREZORKA_WAYLAND_TESTS=OFF >/dev/null
fi
build_tree dev
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build/dev --output-on-failure -j2 "$@"
# The engine's, the rules' and the tool's tests need no window toolkit: built
# and run once more with the window program switched off, they show it.
echo "== Without the window program (build/nogui)"
build_tree nogui
ctest --preset nogui -j2 "$@"

if [ "$windows" = 1 ]; then
    need_packages mingw-w64 wine wine64 imagemagick unzip
    windows/build.sh
    # Both programs are run as a user gets them: from the unpacked ZIP.
    zip=$(ls build/windows/trezorka-*-win64.zip)
    TREZORKA_LINUX_CLI="$PWD/build/dev/cli/trezorka-cli" TREZORKA_WIN_ZIP="$PWD/$zip" windows/check.sh
    tests/windows/e2e.sh "$zip" build/dev/cli/trezorka-cli
    if [ "$desktops" = 1 ]; then
        tests/windows/taskkill_mid_job.sh build/windows/bin/trezorka.exe
    fi
fi
