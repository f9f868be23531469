#!/usr/bin/env bash
# Installs what is missing, builds both programs (build/release/app/trezorka and
# build/release/cli/trezorka-cli), and starts the window with FILE preselected.
# Usage: ./run.sh [FILE]
set -euo pipefail
# A relative FILE names a file in the caller's folder, which the build below
# leaves; an argument starting with "-" is the program's to read.
if [ $# -gt 0 ] && [ -n "$1" ] && [ "${1#[-/]}" = "$1" ]; then
    set -- "$(realpath -ms -- "$1")" "${@:2}"
fi
cd "$(dirname "$0")"
source scripts/setup.sh
need_packages "${BASE_PACKAGES[@]}"
build_tree release trezorka trezorka-cli
exec build/release/app/trezorka "$@"
