#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless through ctest.
# Usage: ./test.sh [ctest arguments...]
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
need_packages "${BASE_PACKAGES[@]}" xvfb xauth xdotool x11-utils trayer \
    desktop-file-utils appstream shared-mime-info groff-base man-db libxml2-utils \
    dpkg-dev libglib2.0-bin
build_tree dev
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build/dev --output-on-failure -j2 "$@"
