#!/usr/bin/env bash
# Installs what is missing, builds, and starts Trezorka with FILE preselected.
# Usage: ./run.sh [FILE]
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
need_packages "${BASE_PACKAGES[@]}"
build_tree release trezorka
exec build/release/app/trezorka "$@"
