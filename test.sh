#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless through ctest.
# Usage: ./test.sh [--windows] [ctest arguments...]
#   --windows  afterwards also cross-build for Windows with mingw-w64 (windows/build.sh),
#              check under Wine that the CryptoAPI build and this build make the same
#              files, and drive the window program under Wine on Xvfb
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

windows=0
if [ "${1:-}" = "--windows" ]; then
    windows=1
    shift
fi

need_packages "${BASE_PACKAGES[@]}" xvfb xauth xdotool x11-utils trayer \
    desktop-file-utils appstream shared-mime-info groff-base man-db libxml2-utils \
    dpkg-dev file libglib2.0-bin tmux strace age
build_tree dev
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build/dev --output-on-failure -j2 "$@"

if [ "$windows" = 1 ]; then
    need_packages mingw-w64 wine wine64 imagemagick unzip
    windows/build.sh
    # Both programs are run as a user gets them: from the unpacked ZIP.
    zip=$(ls build/windows/trezorka-*-win64.zip)
    TREZORKA_LINUX_CLI="$PWD/build/dev/cli/trezorka-cli" TREZORKA_WIN_ZIP="$PWD/$zip" windows/check.sh
    tests/windows/e2e.sh "$zip" build/dev/cli/trezorka-cli
fi
