#!/usr/bin/env bash
# Builds everything a release holds into dist/, from one commit (by default the
# one checked out):
#
#   trezorka-<version>.tar.gz        the sources (git archive)
#   trezorka_<version>_<arch>.deb    the Linux package
#   trezorka-<version>-win64.zip     the Windows programs (windows/build.sh)
#   SHA256SUMS                       the SHA-256 of the three
#
# Both builds start from the source tarball itself, unpacked into a fresh
# temporary folder, so a release proves that its sources build. The result is
# reproducible where the tools allow: every time stamp is the commit's
# (SOURCE_DATE_EPOCH), the ZIP's entries are sorted and fixed, and the source
# folder is mapped out of the binaries; as the temporary folder differs from
# run to run, a path of it in a binary would show as a difference, and is
# looked for here as well. Uncommitted changes are not in a release.
#
# Usage: scripts/release.sh [COMMIT]
# Environment:
#   TREZORKA_KEEP_WORK  set to 1 to keep the temporary build folder
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/setup.sh
need_packages "${BASE_PACKAGES[@]}" git dpkg-dev file binutils
started=$(date +%s)

commit=$(git rev-parse --verify "${1:-HEAD}^{commit}")
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct "$commit")
export SOURCE_DATE_EPOCH
version=$(git show "$commit:CMakeLists.txt" | sed -n 's/^project(trezorka VERSION \([0-9.]*\).*/\1/p')
if [ $# -eq 0 ] && [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "note: the working tree has uncommitted changes; the release is made from $commit without them"
fi
echo "== Release $version from $commit ($(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC'))"

# A release compiles everything itself: a compiler cache could hand in
# objects made in another folder.
unset CMAKE_CXX_COMPILER_LAUNCHER CMAKE_C_COMPILER_LAUNCHER
work=$(mktemp -d "${TMPDIR:-/tmp}/trezorka-release.XXXXXX")
cleanup() {
    if [ "${TREZORKA_KEEP_WORK:-0}" = 1 ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

dist=$root/dist
mkdir -p "$dist"
rm -f "$dist"/trezorka[-_]* "$dist/SHA256SUMS"

tarball=trezorka-$version.tar.gz
echo "== Sources: $tarball"
git archive --format=tar.gz --prefix="trezorka-$version/" -o "$dist/$tarball" "$commit"
tar -xzf "$dist/$tarball" -C "$work"
src=$work/trezorka-$version

echo "== Linux package (in $src)"
(
    cd "$src"
    cmake --preset release -DTREZORKA_TESTS=OFF -DTREZORKA_REPRODUCIBLE=ON >/dev/null
    cmake --build --preset release
    cpack --config build/release/CPackConfig.cmake -G DEB >/dev/null
)
deb=$(cd "$src/build/release/packages" && ls trezorka_"$version"_*.deb)
cp "$src/build/release/packages/$deb" "$dist/"

echo "== Windows ZIP"
TREZORKA_HOST_BUILD=$src/build/release "$src/windows/build.sh"
zip=trezorka-$version-win64.zip
cp "$src/build/windows/$zip" "$dist/"

# Neither folder the sources were built in may appear in a program.
echo "== Build paths in the programs"
dpkg-deb -x "$dist/$deb" "$work/deb"
leaks=0
for program in "$work"/deb/usr/bin/* "$src"/build/windows/bin/*.exe; do
    if strings -a "$program" | grep -qF -e "$work" -e "$root"; then
        echo "error: $(basename "$program") holds a build path:" >&2
        strings -a "$program" | grep -F -e "$work" -e "$root" | head -n 3 >&2
        leaks=1
    fi
done
[ $leaks = 0 ] || exit 1
echo "   none in $(ls "$work"/deb/usr/bin | tr '\n' ' ')trezorka.exe trezorka-cli.exe"

(cd "$dist" && sha256sum "$tarball" "$deb" "$zip" >SHA256SUMS && sha256sum -c --quiet SHA256SUMS)
echo "== dist/ ($(($(date +%s) - started)) s)"
(cd "$dist" && for file in "$tarball" "$deb" "$zip"; do
    printf '   %-32s %9d bytes\n' "$file" "$(stat -c %s "$file")"
done)
sed 's/^/   /' "$dist/SHA256SUMS"
