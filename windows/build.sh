#!/usr/bin/env bash
# Cross-builds the Windows programs with mingw-w64 into build/windows/bin/
# (trezorka.exe, the window program, and trezorka-cli.exe), and packs them
# into build/windows/trezorka-<version>-win64.zip: one folder
# Trezorka-<version>/ with both programs, the quick start in Czech (CTI-ME.txt)
# and English (README.txt), and LICENSE.txt. Installs mingw-w64 when it is
# missing. The pictures are rendered from the SVG drawings on this machine
# first, by a tool built here with Qt.
#
# The result is reproducible: the same sources give the same bytes, wherever
# they lie. Time stamps (the programs' and the ZIP's) come from
# SOURCE_DATE_EPOCH, by default the time of the last commit.
#
# Usage: windows/build.sh
# Environment:
#   TREZORKA_HOST_BUILD  the Linux build tree that builds the rendering tool
#                        (default build/dev when configured, else build/windows/host)
#   SOURCE_DATE_EPOCH    the time stamp of everything built
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    # A source tarball from git archive has the commit's time on every file.
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || stat -c %Y "$root/CMakeLists.txt")
fi
# The linker takes the programs' time stamp from it.
export SOURCE_DATE_EPOCH
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
    -DTREZORKA_REPRODUCIBLE=ON -DTREZORKA_RENDER_ART="$render" -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$out/bin" >/dev/null
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
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$cross/CMakeCache.txt")
zip=$out/trezorka-$version-win64.zip
rm -f "$zip"
python3 "$root/windows/pack_zip.py" "$zip" "Trezorka-$version" "$SOURCE_DATE_EPOCH" \
    trezorka.exe="$out/bin/trezorka.exe" trezorka-cli.exe="$out/bin/trezorka-cli.exe" \
    CTI-ME.txt="$root/windows/dist/CTI-ME.txt" README.txt="$root/windows/dist/README.txt" \
    LICENSE.txt="$root/LICENSE"
for file in "$out/bin/trezorka.exe" "$out/bin/trezorka-cli.exe" "$zip"; do
    printf '   %-26s %9d bytes\n' "$(basename "$file")" "$(stat -c %s "$file")"
done
