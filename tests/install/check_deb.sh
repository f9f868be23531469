#!/usr/bin/env bash
# Builds the Debian package from the build tree into a temporary folder and
# checks its control data and its contents.
#
#   check_deb.sh BUILD CPACK APP_ID MIME_ICON GUI VERSION
#
# Exit status: 0 passed, 1 failed, 77 the Debian tools are not installed.
set -uo pipefail

build=$1 cpack=$2 app_id=$3 mime_icon=$4 gui=$5 version=$6

for tool in dpkg-deb dpkg-shlibdeps dpkg; do
    if ! command -v $tool >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed (package dpkg-dev)"
        exit 77
    fi
done

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

if ! "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$root" >"$root/cpack.log" 2>&1; then
    cat "$root/cpack.log"
    echo "FAIL: cpack -G DEB"
    exit 1
fi
shopt -s nullglob
debs=("$root"/*.deb)
if [ ${#debs[@]} -ne 1 ]; then
    cat "$root/cpack.log"
    echo "FAIL: expected one .deb, found ${#debs[@]}"
    exit 1
fi
deb=${debs[0]}
arch=$(dpkg --print-architecture)
ok "cpack -G DEB made $(basename "$deb")"
[ "$(basename "$deb")" = "trezorka_${version}_$arch.deb" ] || fail "file name is not trezorka_${version}_$arch.deb"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = trezorka ] && ok "Package: trezorka" || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] && ok "Version: $version" || fail "Version is '$(field Version)'"
[ "$(field Architecture)" = "$arch" ] && ok "Architecture: $arch" || fail "Architecture is '$(field Architecture)'"
for f in Maintainer Section Description Installed-Size; do
    [ -n "$(field $f)" ] || fail "no $f field"
done
# The long description: every line indented by exactly one space, with " ."
# for an empty line, and not repeating the summary.
description=$(field Description)
summary=${description%%$'\n'*}
body=$(sed 1d <<<"$description")
if [ -z "$body" ]; then
    fail "no long description"
elif grep -v -e '^ [^ ]' <<<"$body" >/dev/null || grep -qxF " $summary" <<<"$body"; then
    fail "long description is malformed:"
    sed 's/^/    |/' <<<"$body"
else
    ok "Description: '$summary' and $(wc -l <<<"$body") well-formed lines"
fi

# Depends comes from dpkg-shlibdeps over the binaries, plus what is loaded at
# run time and so invisible to it.
depends=$(field Depends)
echo "Depends: $depends"
want=(libc6 libstdc++6 libssl3)
[ "$gui" = ON ] && want+=(libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 qt6-qpa-plugins)
for d in "${want[@]}"; do
    case ", $depends," in
        *", $d "* | *", $d,"*) ok "depends on $d" ;;
        *) fail "Depends lacks $d" ;;
    esac
done

contents=$(dpkg-deb --contents "$deb")
# Every entry belongs to root, and nothing lands outside /usr.
if awk '$2 != "root/root" { bad = 1 } END { exit !bad }' <<<"$contents"; then
    fail "entries not owned by root/root"
fi
if awk '{ print $NF }' <<<"$contents" | grep -v -e '^\./$' -e '^\./usr/' >/dev/null; then
    fail "entries outside /usr:"
    awk '{ print "    " $NF }' <<<"$contents" | grep -v -e ' \./$' -e ' \./usr/'
fi

paths=(usr/bin/trezorka-cli usr/share/man/man1/trezorka-cli.1.gz usr/share/doc/trezorka/changelog.gz)
if [ "$gui" = ON ]; then
    paths+=(usr/bin/trezorka usr/share/man/man1/trezorka.1.gz
        "usr/share/applications/$app_id.desktop"
        "usr/share/metainfo/$app_id.metainfo.xml"
        "usr/share/mime/packages/$app_id.xml"
        "usr/share/kio/servicemenus/$app_id.encrypt.desktop"
        "usr/share/icons/hicolor/scalable/apps/$app_id.svg"
        "usr/share/icons/hicolor/256x256/apps/$app_id.png"
        "usr/share/icons/hicolor/16x16/mimetypes/$mime_icon.png")
fi
for p in "${paths[@]}"; do
    line=$(grep " \./$p\$" <<<"$contents")
    if [ -z "$line" ]; then
        fail "the package lacks /$p"
        continue
    fi
    mode=${line%% *}
    case $p in
        usr/bin/* | usr/share/kio/servicemenus/*) want_mode=-rwxr-xr-x ;;
        *) want_mode=-rw-r--r-- ;;
    esac
    [ "$mode" = "$want_mode" ] && ok "/$p $mode" || fail "/$p has mode $mode, expected $want_mode"
done

dpkg-deb -x "$deb" "$root/x"
if command -v dpkg-parsechangelog >/dev/null 2>&1 && [ -f "$root/x/usr/share/doc/trezorka/changelog.gz" ]; then
    zcat "$root/x/usr/share/doc/trezorka/changelog.gz" >"$root/changelog"
    cv=$(dpkg-parsechangelog -l "$root/changelog" -S Version 2>&1)
    [ "$cv" = "$version" ] && ok "changelog.gz names version $version" || fail "changelog.gz: '$cv', expected $version"
fi

# The binaries are stripped: no section of debugging information.
for p in usr/bin/trezorka-cli $([ "$gui" = ON ] && echo usr/bin/trezorka); do
    [ -f "$root/x/$p" ] || continue
    command -v readelf >/dev/null 2>&1 || break
    if readelf -S "$root/x/$p" | grep -q '\.debug_info'; then
        fail "/$p is not stripped"
    else
        ok "/$p is stripped"
    fi
done

echo
if [ $failures -gt 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
