#!/usr/bin/env bash
# Cross-builds the engine, trezorka-cli and the check program for Windows with
# mingw-w64, runs them under Wine (headless, a fresh prefix in a temporary
# folder), and checks that the CryptoAPI build and the OpenSSL build of Linux
# make byte-identical files, both ways.
#
# Usage: windows/check.sh
# Environment:
#   TREZORKA_LINUX_CLI  the Linux trezorka-cli (default build/dev/cli/trezorka-cli,
#                       built there when missing and build/dev is configured)
#   TREZORKA_WIN_BUILD  the cross build folder (default build/win)
#   TREZORKA_WIN_TOOL   the Windows side of the comparison: "cli" (trezorka-cli.exe),
#                       "crosscheck" (crosscheck.exe transform) or "auto" (default:
#                       the CLI when it builds for Windows, else crosscheck)
#   TREZORKA_WIN_ZIP    the release ZIP (windows/build.sh): its layout, text files
#                       and the programs' resources are checked, and it is
#                       unpacked into the fresh prefix, whose trezorka-cli.exe is
#                       then the Windows side of the comparison
#   TREZORKA_KEEP_WORK  set to 1 to keep the temporary folder for a look afterwards
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
started=$(date +%s)

missing=()
for tool in wine x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-gcc-posix cmake ninja cmp; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "error: missing: ${missing[*]}" >&2
    echo "Install the Debian packages mingw-w64, wine and wine64 (and cmake, ninja-build)." >&2
    exit 1
fi

win_build=${TREZORKA_WIN_BUILD:-$root/build/win}
linux_cli=${TREZORKA_LINUX_CLI:-$root/build/dev/cli/trezorka-cli}
tool_choice=${TREZORKA_WIN_TOOL:-auto}

# ---- builds -----------------------------------------------------------------

echo "== Cross build ($win_build)"
cmake -S "$root" -B "$win_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DTREZORKA_GUI=OFF -DTREZORKA_TESTS=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$win_build" -j2 --target crosscheck
crosscheck_exe=$win_build/tests/windows/crosscheck.exe
cli_exe=$win_build/cli/trezorka-cli.exe
cli_log=$win_build/trezorka-cli-build.log
release_zip=${TREZORKA_WIN_ZIP:-}
if [ -n "$release_zip" ]; then
    cli_built=yes # the ZIP's, below
elif cmake --build "$win_build" -j2 --target trezorka-cli >"$cli_log" 2>&1; then
    cli_built=yes
else
    cli_built=no
    echo "note: trezorka-cli does not build for Windows yet (first errors below; all in $cli_log)"
    grep -m 5 -E 'error' "$cli_log" | sed 's/^/  /' || true
fi

case $tool_choice in
auto) if [ $cli_built = yes ]; then win_tool=cli; else win_tool=crosscheck; fi ;;
cli)
    if [ $cli_built = no ]; then
        echo "error: TREZORKA_WIN_TOOL=cli but trezorka-cli.exe does not build" >&2
        exit 1
    fi
    win_tool=cli
    ;;
crosscheck) win_tool=crosscheck ;;
*)
    echo "error: TREZORKA_WIN_TOOL must be auto, cli or crosscheck" >&2
    exit 2
    ;;
esac

if [ ! -x "$linux_cli" ] && [ -z "${TREZORKA_LINUX_CLI:-}" ] && [ -f "$root/build/dev/build.ninja" ]; then
    echo "== Linux build of trezorka-cli (build/dev)"
    cmake --build "$root/build/dev" -j2 --target trezorka-cli
fi
if [ ! -x "$linux_cli" ]; then
    echo "error: no Linux trezorka-cli at $linux_cli (build it, or set TREZORKA_LINUX_CLI)" >&2
    exit 1
fi

# ---- Wine -------------------------------------------------------------------

work=$(mktemp -d "${TMPDIR:-/tmp}/trezorka-windows.XXXXXX")
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
unset WAYLAND_DISPLAY
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    if [ "${TREZORKA_KEEP_WORK:-0}" = 1 ]; then
        echo "kept: $work"
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT

echo "== Wine prefix ($(wine --version 2>/dev/null))"
boot_started=$(date +%s)
mkdir -p "$WINEPREFIX"
# One server for the prefix's whole life, so each program below starts quickly.
wineserver -p
wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log" >&2; exit 1; }
echo "   ready in $(($(date +%s) - boot_started)) s"

# A Linux path as Wine's Z: drive sees it.
winpath() {
    local p=$1
    printf 'Z:%s' "${p//\//\\}"
}

failed=0
report_failure() {
    echo "FAIL $*"
    failed=$((failed + 1))
}

# ---- the release ZIP ----------------------------------------------------------

if [ -n "$release_zip" ]; then
    echo "== The release ZIP ($(basename "$release_zip"))"
    version=$(sed -n 's/^project(trezorka VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
    top=Trezorka-$version
    listing=$(unzip -Z1 "$release_zip" | LC_ALL=C sort | tr '\n' ' ')
    want="$top/ $top/CTI-ME.txt $top/LICENSE.txt $top/README.txt $top/trezorka-cli.exe $top/trezorka.exe "
    [ "$listing" = "$want" ] || report_failure "the ZIP holds '$listing', not '$want'"
    unzip -q "$release_zip" -d "$WINEPREFIX/drive_c"
    unpacked=$WINEPREFIX/drive_c/$top
    for text in CTI-ME.txt README.txt LICENSE.txt; do
        file=$unpacked/$text
        [ -f "$file" ] || continue
        # UTF-8 with a byte-order mark, every line ended by CR LF.
        if [ "$(head -c 3 "$file" | od -An -tx1 | tr -d ' ')" != efbbbf ] || ! iconv -f UTF-8 -t UTF-8 "$file" >/dev/null 2>&1 ||
            [ "$(grep -c $'\r$' "$file")" -ne "$(wc -l <"$file")" ] || [ -n "$(tail -c 1 "$file" | tr -d '\n')" ]; then
            report_failure "$text is not UTF-8 with a BOM and CR LF line ends"
        fi
    done
    # Version information, icon and manifest in both programs, as Explorer reads them.
    for program in trezorka trezorka-cli; do
        resources=$(x86_64-w64-mingw32-windres -i "$unpacked/$program.exe" -O rc 2>/dev/null)
        for item in "VALUE \"FileVersion\", \"$version\"" "VALUE \"OriginalFilename\", \"$program.exe\"" \
            'RT_GROUP_ICON' 'RT_MANIFEST' 'requestedExecutionLevel level=""asInvoker""'; do
            grep -qF "$item" <<<"$resources" || report_failure "$program.exe lacks $item"
        done
    done
    cli_exe=$unpacked/trezorka-cli.exe
    win_tool=cli
    said=$(wine "$cli_exe" --version 2>&1 | tr -d '\r')
    [ "$said" = "trezorka-cli $version (Trezorka 2.0 Portable)" ] ||
        report_failure "the unpacked trezorka-cli.exe --version says '$said'"
    echo "   $top/: 5 files; text files UTF-8 with BOM and CR LF; version $version, icon and manifest in both programs"
fi

# ---- the engine's checks ----------------------------------------------------

echo "== Engine checks under Wine (crosscheck.exe)"
if wine "$crosscheck_exe" >"$work/crosscheck.log" 2>&1; then
    tr -d '\r' <"$work/crosscheck.log" | grep -v '^     (job:' | sed 's/^/   /'
else
    tr -d '\r' <"$work/crosscheck.log" | sed 's/^/   /'
    report_failure "crosscheck.exe"
fi

# ---- both builds, both ways -------------------------------------------------

# win_run encrypt|decrypt RULE_OPTION PASSWORD_FILE SOURCE TARGET
win_run() {
    local direction=$1 rule=$2 pwfile=$3 source=$4 target=$5
    if [ $win_tool = cli ]; then
        wine "$cli_exe" "--$direction" $rule --quiet --force --password-file "$(winpath "$pwfile")" \
            -o "$(winpath "$target")" -- "$(winpath "$source")"
    else
        wine "$crosscheck_exe" transform "$direction" $rule "$(winpath "$pwfile")" "$(winpath "$source")" \
            "$(winpath "$target")"
    fi
}

linux_run() {
    local direction=$1 rule=$2 pwfile=$3 source=$4 target=$5
    "$linux_cli" "--$direction" $rule --quiet --force --password-file "$pwfile" -o "$target" -- "$source"
}

data=$work/data
mkdir -p "$data"
# Passwords, written as UTF-8; the Czech one with a Windows line ending.
declare -A passwords=(
    [ascii]='Trezor-2.0 heslo!'
    [czech]='Příliš žluťoučký kůň úpěl ďábelské ódy'
    [cyrillic]='Съешь же ещё этих мягких французских булок'
    [non-bmp]='😀x'
    [64-chars]='0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ+/'
)
names=(ascii czech cyrillic non-bmp 64-chars)
for name in "${names[@]}"; do
    if [ "$name" = czech ]; then
        printf '%s\r\n' "${passwords[$name]}" >"$data/pw-$name"
    else
        printf '%s\n' "${passwords[$name]}" >"$data/pw-$name"
    fi
done
[ "$(printf '%s' "${passwords[64-chars]}" | wc -c)" -eq 64 ] ||
    report_failure "the 64-character password is not 64 characters"

lengths=(0 1 513 100000)
for n in "${lengths[@]}"; do
    head -c "$n" /dev/urandom >"$data/plain-$n.bin"
done

echo "== Cross comparison: Windows side $win_tool, Linux side $linux_cli"
cases=0
compare_case() {
    local name=$1 n=$2 rule=$3 label=$4
    local base=$data/$label-$name-$n plain=$data/plain-$n.bin pw=$data/pw-$name
    cases=$((cases + 1))
    if ! linux_run encrypt "$rule" "$pw" "$plain" "$base.linux.t2k" >"$base.log" 2>&1; then
        report_failure "$label $name $n: Linux encrypt ($(tr -d '\r' <"$base.log" | tail -1))"
        return
    fi
    if ! win_run encrypt "$rule" "$pw" "$plain" "$base.win.t2k" >"$base.log" 2>&1; then
        report_failure "$label $name $n: Windows encrypt ($(tr -d '\r' <"$base.log" | tail -1))"
        return
    fi
    cmp -s "$base.linux.t2k" "$base.win.t2k" ||
        report_failure "$label $name $n: ciphertexts differ between Linux and Windows"
    [ "$(stat -c %s "$base.win.t2k")" -eq "$n" ] ||
        report_failure "$label $name $n: the ciphertext is not $n bytes"
    if [ "$n" -ge 16 ] && cmp -s "$plain" "$base.win.t2k"; then
        report_failure "$label $name $n: the ciphertext is the plain text"
    fi
    # Windows' file decrypted on Linux, Linux's file decrypted on Windows.
    if linux_run decrypt "$rule" "$pw" "$base.win.t2k" "$base.linux.back" >"$base.log" 2>&1; then
        cmp -s "$plain" "$base.linux.back" || report_failure "$label $name $n: Windows -> Linux does not give the original"
    else
        report_failure "$label $name $n: Linux decrypt ($(tr -d '\r' <"$base.log" | tail -1))"
    fi
    if win_run decrypt "$rule" "$pw" "$base.linux.t2k" "$base.win.back" >"$base.log" 2>&1; then
        cmp -s "$plain" "$base.win.back" || report_failure "$label $name $n: Linux -> Windows does not give the original"
    else
        report_failure "$label $name $n: Windows decrypt ($(tr -d '\r' <"$base.log" | tail -1))"
    fi
}

compare_started=$(date +%s)
for name in "${names[@]}"; do
    for n in "${lengths[@]}"; do
        compare_case "$name" "$n" "" 128
    done
done
# The old 40-bit rule, through the base provider on Windows.
for name in czech non-bmp; do
    for n in 513 100000; do
        compare_case "$name" "$n" --key-40 40
    done
done
echo "   $cases cases (${#names[@]} passwords x ${#lengths[@]} lengths, plus 4 with --key-40)" \
    "in $(($(date +%s) - compare_started)) s"

# Different passwords must not give the same file (a check that the comparison
# above can fail at all).
if cmp -s "$data/128-ascii-100000.win.t2k" "$data/128-czech-100000.win.t2k"; then
    report_failure "two passwords gave the same ciphertext"
fi

# ---- summary ----------------------------------------------------------------

elapsed=$(($(date +%s) - started))
echo "== Summary"
echo "   cross build: crosscheck.exe built; trezorka-cli.exe $([ $cli_built = yes ] && echo built || echo 'NOT built')"
[ -z "$release_zip" ] || echo "   trezorka-cli.exe run from the unpacked $(basename "$release_zip")"
echo "   Windows side of the comparison: $win_tool"
if [ $failed -eq 0 ]; then
    echo "   all checks passed in $elapsed s"
    exit 0
fi
echo "   $failed check(s) FAILED in $elapsed s"
exit 1
