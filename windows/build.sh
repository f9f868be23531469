#!/usr/bin/env bash
# Cross-builds the Windows programs with mingw-w64 into build/windows/bin/
# (trezorka.exe, the window program, and trezorka-cli.exe), and packs them
# with the README and the licence into build/windows/trezorka-<version>-win64.zip.
# Installs mingw-w64 when it is missing. The pictures are rendered from the
# SVG drawings on this machine first, by a tool built here with Qt.
#
# Usage: windows/build.sh
# Environment:
#   TREZORKA_HOST_BUILD  the Linux build tree that builds the rendering tool
#                        (default build/dev when configured, else build/windows/host)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=$root/build/windows
cross=$out/cross

apt_install() {
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
        --no-install-recommends "$@"
}

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || ! command -v x86_64-w64-mingw32-windres >/dev/null 2>&1; then
    echo "== Installing mingw-w64"
    apt_install g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
fi

# ---- the rendering tool, built for this machine ----------------------------

host=${TREZORKA_HOST_BUILD:-}
if [ -z "$host" ]; then
    if [ -f "$root/build/dev/build.ninja" ]; then host=$root/build/dev; else host=$out/host; fi
fi
if [ ! -f "$host/build.ninja" ]; then
    echo "== Configuring the host build for the rendering tool ($host)"
    cmake -S "$root" -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTREZORKA_TESTS=OFF >/dev/null
fi
cmake --build "$host" --target trezorka_render_art
render=$host/tools/trezorka_render_art
[ -x "$render" ] || { echo "error: no rendering tool at $render" >&2; exit 1; }

# ---- the cross build --------------------------------------------------------

echo "== Cross build ($cross)"
cmake -S "$root" -B "$cross" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DTREZORKA_GUI=OFF -DTREZORKA_TESTS=OFF -DTREZORKA_STRICT=ON \
    -DTREZORKA_RENDER_ART="$render" -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$out/bin" >/dev/null
cmake --build "$cross" -j2 --target trezorka trezorka-cli
x86_64-w64-mingw32-strip "$out/bin/trezorka.exe" "$out/bin/trezorka-cli.exe"

# Only Windows' own DLLs: anything else would have to travel with the program.
allowed='^(KERNEL32|USER32|GDI32|COMCTL32|COMDLG32|SHELL32|MSIMG32|OLE32|ADVAPI32|msvcrt|api-ms-win-crt-[a-z0-9-]+)\.dll$'
for exe in "$out/bin/trezorka.exe" "$out/bin/trezorka-cli.exe"; do
    bad=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | grep -viE "$allowed" || true)
    if [ -n "$bad" ]; then
        echo "error: $(basename "$exe") needs DLLs that are not Windows' own: $bad" >&2
        exit 1
    fi
done

echo "== Package"
(cd "$cross" && cpack -G ZIP >/dev/null)
zip=$(ls "$cross"/packages/trezorka-*-win64.zip)
cp "$zip" "$out/"
for exe in "$out/bin/trezorka.exe" "$out/bin/trezorka-cli.exe"; do
    printf '   %-18s %8d bytes\n' "$(basename "$exe")" "$(stat -c %s "$exe")"
done
echo "   $(basename "$zip")"
