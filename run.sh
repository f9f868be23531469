#!/usr/bin/env bash
# Installs what is missing, builds both programs (build/release/app/trezorka and
# build/release/cli/trezorka-cli), and starts the window with FILE preselected.
# Usage: ./run.sh [FILE]
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
need_packages "${BASE_PACKAGES[@]}"
build_tree release trezorka trezorka-cli
exec build/release/app/trezorka "$@"
