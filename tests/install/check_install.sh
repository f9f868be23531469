#!/usr/bin/env bash
# Installs the build into a temporary prefix, as a distribution package or a
# user would, and checks every installed file with the desktop's own tools.
#
#   check_install.sh BUILD CMAKE APP_ID MIME_TYPE MIME_ICON GUI SIZES VERSION [MIME_PROBE]
#
# Exit status: 0 all checks passed, 1 a check failed, 77 every check that could
# run passed but a validator is not installed (ctest reports a skip).
set -uo pipefail

build=$1 cmake=$2 app_id=$3 mime_type=$4 mime_icon=$5 gui=$6 sizes=$7 version=$8 probe=${9:-}

failures=0
missing_tools=()
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }
have() {
    command -v "$1" >/dev/null 2>&1 && return 0
    missing_tools+=("$1")
    return 1
}
# Runs a validator; it passes when it succeeds and prints nothing on stderr
# (or, with "any", nothing at all).
quiet_run() {
    local what=$1 mode=$2
    shift 2
    local out err rc
    out=$(mktemp -p "$root") err=$(mktemp -p "$root")
    "$@" >"$out" 2>"$err"
    rc=$?
    if [ $rc -ne 0 ] || [ -s "$err" ] || { [ "$mode" = any ] && [ -s "$out" ]; }; then
        fail "$what (exit $rc)"
        sed 's/^/    /' "$out" "$err"
    else
        ok "$what"
    fi
    rm -f "$out" "$err"
}

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
prefix=$root/prefix

if ! "$cmake" --install "$build" --prefix "$prefix" >"$root/install.log" 2>&1; then
    cat "$root/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi
ok "cmake --install into a temporary prefix"

share=$prefix/share
desktop=$share/applications/$app_id.desktop
metainfo=$share/metainfo/$app_id.metainfo.xml
mimexml=$share/mime/packages/$app_id.xml

# --- exactly the expected files, nothing more --------------------------------
expected=(bin/trezorka-cli share/man/man1/trezorka-cli.1.gz share/doc/trezorka/changelog.gz)
# The licence goes with the package once the repository has one.
if [ -f "$(dirname "$0")/../../LICENSE" ]; then expected+=(share/doc/trezorka/copyright); fi
if [ "$gui" = ON ]; then
    expected+=(bin/trezorka share/man/man1/trezorka.1.gz
        "share/applications/$app_id.desktop"
        "share/metainfo/$app_id.metainfo.xml"
        "share/mime/packages/$app_id.xml"
        "share/kio/servicemenus/$app_id.encrypt.desktop"
        "share/icons/hicolor/scalable/apps/$app_id.svg"
        "share/icons/hicolor/scalable/mimetypes/$mime_icon.svg")
    for s in $sizes; do
        expected+=("share/icons/hicolor/${s}x$s/apps/$app_id.png"
            "share/icons/hicolor/${s}x$s/mimetypes/$mime_icon.png")
    done
fi
# A build without gzip installs the pages uncompressed.
actual=$(cd "$prefix" && find . \( -type f -o -type l \) -printf '%P\n' | sed -e 's/\.1$/.1.gz/' -e 's/changelog$/changelog.gz/' | LC_ALL=C sort)
wanted=$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)
if [ "$actual" = "$wanted" ]; then
    ok "installed files: ${#expected[@]}, as expected"
else
    fail "installed files differ from the expected list (< missing, > unexpected)"
    diff <(echo "$wanted") <(echo "$actual") | grep '^[<>]' | sed 's/^/    /'
fi

# --- the programs --------------------------------------------------------------
for p in trezorka-cli $([ "$gui" = ON ] && echo trezorka); do
    if [ -x "$prefix/bin/$p" ]; then ok "bin/$p is executable"; else fail "bin/$p is not executable"; fi
done
if [ -x "$prefix/bin/trezorka-cli" ]; then
    v=$("$prefix/bin/trezorka-cli" --version 2>&1)
    case $v in
        *" $version "* | *" $version") ok "installed trezorka-cli reports $version" ;;
        *) fail "installed trezorka-cli --version says '$v', expected $version" ;;
    esac
fi
# The window program answers --help and --version as desktop programs do:
# on standard output, status 0, with no display and no window.
if [ "$gui" = ON ] && [ -x "$prefix/bin/trezorka" ]; then
    for option in --help --version; do
        case $option in
            --help) want="Použití: trezorka [SOUBOR]" ;;
            --version) want="trezorka $version (Trezorka 2.0 Portable)" ;;
        esac
        out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 10 "$prefix/bin/trezorka" "$option" 2>"$root/err")
        rc=$?
        if [ $rc -eq 0 ] && [ "$(head -n1 <<<"$out")" = "$want" ] && [ ! -s "$root/err" ]; then
            ok "trezorka $option without a display: status 0, '$want'"
        else
            fail "trezorka $option without a display: status $rc, '$(head -n1 <<<"$out")', stderr '$(head -c 200 "$root/err")'"
        fi
    done
fi

# --- manual pages --------------------------------------------------------------
for page in "$share"/man/man1/*.1*; do
    [ -f "$page" ] || continue
    name=$(basename "$page")
    if have groff; then
        # -k runs the UTF-8 text through preconv, as man(1) does.
        quiet_run "groff -man -ww: $name" any sh -c 'zcat -f "$1" | groff -k -Tutf8 -man -ww -z' sh "$page"
    fi
    if have man; then
        # The check Debian's lintian makes.
        quiet_run "man --warnings: $name" err env LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
            man --warnings -E UTF-8 -l -Tutf8 -Z "$page"
        text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l -P cat "$page" 2>/dev/null)
        prog=${name%%.1*}
        if grep -q "^NAME" <<<"$text" && grep -Eq "^ *$prog +- " <<<"$text" && grep -q '^EXIT STATUS' <<<"$text"; then
            ok "man -l $name renders NAME and EXIT STATUS"
        else
            fail "man -l $name lacks the NAME line or EXIT STATUS"
        fi
    fi
done

if [ "$gui" != ON ]; then
    echo "window program not built: no desktop files to check"
else
    # --- desktop entry -----------------------------------------------------------
    if [ -f "$desktop" ]; then
        # Hints are suggestions (Security "can be extended" with System);
        # warnings and errors fail.
        have desktop-file-validate && quiet_run "desktop-file-validate $app_id.desktop" any \
            bash -c 'desktop-file-validate "$1" | grep -v ": hint: "; exit "${PIPESTATUS[0]}"' sh "$desktop"
        key() { grep -m1 "^$1=" "$desktop" | cut -d= -f2-; }
        [ "$(key Exec)" = "trezorka %f" ] && ok "Exec=trezorka %f" || fail "Exec is '$(key Exec)'"
        [ "$(key Icon)" = "$app_id" ] && ok "Icon is the application id" || fail "Icon is '$(key Icon)'"
        [ "$(key Type)" = Application ] || fail "Type is '$(key Type)'"
        for c in Utility Security; do
            case ";$(key Categories)" in
                *";$c;"*) ok "Categories has $c" ;;
                *) fail "Categories '$(key Categories)' lacks $c" ;;
            esac
        done
        case ";$(key MimeType)" in
            *";$mime_type;"*) ok "MimeType lists $mime_type" ;;
            *) fail "MimeType is '$(key MimeType)'" ;;
        esac
        for k in 'Name\[cs\]' 'Comment\[cs\]' Name Comment; do
            grep -q "^$k=." "$desktop" || fail "no $k in the desktop entry"
        done
        exe=$(key Exec) exe=${exe%% *}
        [ -x "$prefix/bin/$exe" ] && ok "Exec names an installed program" || fail "Exec names '$exe', not installed"
        # What a file manager consults on a double click: the type's handlers.
        if have update-desktop-database; then
            quiet_run "update-desktop-database" any update-desktop-database "$share/applications"
            if grep -qx "$mime_type=$app_id.desktop;" "$share/applications/mimeinfo.cache" 2>/dev/null; then
                ok "mimeinfo.cache: $mime_type opens with $app_id.desktop"
            else
                fail "mimeinfo.cache does not map $mime_type to $app_id.desktop"
            fi
        fi
    fi

    # --- the file manager's "Zašifrovat v Trezorce" (a KDE service menu) ---------
    # KIO's own format, which desktop-file-validate rejects: checked key by key.
    menu=$share/kio/servicemenus/$app_id.encrypt.desktop
    if [ -f "$menu" ]; then
        [ -x "$menu" ] && ok "service menu is executable" || fail "service menu is not executable"
        lacking=0
        for line in 'Type=Service' 'MimeType=all/allfiles;' 'Actions=encrypt;' 'X-KDE-Protocols=file' \
            '[Desktop Action encrypt]' 'Name=Zašifrovat v Trezorce' "Icon=$app_id" 'Exec=trezorka -- %f'; do
            grep -qxF "$line" "$menu" || { fail "service menu lacks the line '$line'"; lacking=1; }
        done
        [ $lacking = 0 ] && ok "service menu: any local file, 'Zašifrovat v Trezorce' runs trezorka -- %f"
    fi

    # --- MIME type ---------------------------------------------------------------
    if [ -f "$mimexml" ]; then
        have xmllint && quiet_run "xmllint $app_id.xml" any xmllint --noout "$mimexml"
        if have update-mime-database; then
            # With the prefix in XDG_DATA_DIRS it has no note to print.
            quiet_run "update-mime-database" any env XDG_DATA_DIRS="$share:/usr/share" \
                update-mime-database "$share/mime"
            globs=$share/mime/globs2
            if [ -f "$globs" ]; then
                ours=$(grep ":$mime_type:" "$globs")
                # weight:type:pattern:flags - "cs" is the case-sensitive flag.
                # update-mime-database 2.x repeats a case-sensitive glob without
                # flags for old readers (freedesktop's own *.C gets the same).
                if grep -qx "50:$mime_type:\*\.t2k:cs" <<<"$ours" \
                    && ! grep -vqx -e "50:$mime_type:\*\.t2k:cs" -e "50:$mime_type:\*\.t2k" <<<"$ours"; then
                    ok "globs2: *.t2k, case-sensitive, no other pattern"
                else
                    fail "globs2 rules for $mime_type: '${ours//$'\n'/ | }'"
                fi
            else
                fail "update-mime-database wrote no globs2"
            fi
            if [ -n "$probe" ]; then
                # What a real reader makes of it, through mime.cache: the name
                # decides, case-sensitively, whatever the content looks like.
                files=$root/files
                mkdir -p "$files"
                printf '%%PDF-1.4\n%%\xe2\xe3\xcf\xd3\n' >"$files/report.pdf.t2k"
                head -c 600 /dev/urandom | tee "$files/x.t2k" "$files/X.T2K" "$files/y.T2k" >"$files/notes"
                answers=$(env XDG_DATA_HOME="$root/nohome" XDG_DATA_DIRS="$share:/usr/share" \
                    "$probe" cs "$files"/report.pdf.t2k "$files"/x.t2k "$files"/X.T2K "$files"/y.T2k "$files"/notes)
                type_of() { awk -F'\t' -v n="$1" '$1 == n { print $2 }' <<<"$answers"; }
                for f in report.pdf.t2k x.t2k; do
                    [ "$(type_of "$f")" = "$mime_type" ] && ok "Qt: $f is $mime_type" \
                        || fail "Qt: $f is '$(type_of "$f")', not $mime_type"
                done
                for f in X.T2K y.T2k notes; do
                    [ "$(type_of "$f")" != "$mime_type" ] && [ -n "$(type_of "$f")" ] \
                        && ok "Qt: $f is $(type_of "$f")" || fail "Qt: $f is '$(type_of "$f")'"
                done
                line=$(grep -m1 "^x.t2k"$'\t' <<<"$answers")
                if [ "$line" = "x.t2k"$'\t'"$mime_type"$'\t'"$mime_icon"$'\t'"Soubor šifrovaný aplikací Trezorka 2" ]; then
                    ok "Qt: icon $mime_icon, Czech comment"
                else
                    fail "Qt: '$line'"
                fi
            fi
            if [ -s "$share/mime/magic" ] && grep -aq "$mime_type" "$share/mime/magic"; then
                fail "$mime_type has a magic rule; .t2k content carries no mark"
            fi
            if grep -qx "$mime_type:$mime_icon" "$share/mime/icons" 2>/dev/null \
                && [ -f "$share/icons/hicolor/scalable/mimetypes/$mime_icon.svg" ]; then
                ok "the MIME type's icon $mime_icon is named and installed"
            else
                fail "the MIME type's icon is not named in mime/icons or not installed"
            fi
        fi
    fi

    # --- a double click, as a GLib file manager makes it ------------------------
    # gio finds the type, the handler and its Exec line, and starts the program
    # with the file as its first argument; the program runs on the offscreen
    # platform and is stopped once its arguments are seen. Not a validator, so
    # a machine without gio just does without this check.
    launch_check() {
        local files=$root/launch file pid="" deadline cmd
        mkdir -p "$files"
        file="$files/zpráva z porady.t2k"    # blanks and diacritics must survive %f
        head -c 64 /dev/urandom >"$file"
        env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen PATH="$prefix/bin:$PATH" \
            XDG_DATA_HOME="$root/nohome" XDG_CONFIG_HOME="$root/noconfig" XDG_DATA_DIRS="$share:/usr/share" \
            gio open "$file" >"$root/gio.log" 2>&1 || { fail "gio open"; cat "$root/gio.log"; return; }
        deadline=$((SECONDS + 10))
        while [ -z "$pid" ] && [ $SECONDS -lt $deadline ]; do
            for d in /proc/[0-9]*; do
                cmd=$(tr '\0' '\n' <"$d/cmdline" 2>/dev/null) || continue
                if [ "$cmd" = "trezorka"$'\n'"$file" ]; then pid=${d#/proc/}; break; fi
            done
            [ -n "$pid" ] || sleep 0.1
        done
        if [ -z "$pid" ]; then
            fail "gio open did not start 'trezorka FILE' for a .t2k file"
            return
        fi
        if [ "$(readlink "/proc/$pid/exe")" = "$prefix/bin/trezorka" ]; then
            ok "double click on a .t2k file runs the installed trezorka with the file as argument"
        else
            fail "double click ran $(readlink "/proc/$pid/exe")"
        fi
        kill "$pid" 2>/dev/null
    }
    if [ -f "$desktop" ] && [ -f "$share/mime/mime.cache" ] && [ -f "$share/applications/mimeinfo.cache" ]; then
        if command -v gio >/dev/null 2>&1; then
            launch_check
        else
            echo "note: gio (libglib2.0-bin) not installed: double click not tried"
        fi
    fi

    # --- AppStream ---------------------------------------------------------------
    if [ -f "$metainfo" ]; then
        if have appstreamcli; then
            quiet_run "appstreamcli validate --no-net" err appstreamcli validate --no-net --no-color "$metainfo"
            # The whole tree: the metainfo together with its desktop entry.
            quiet_run "appstreamcli validate-tree --no-net" err appstreamcli validate-tree --no-net --no-color "$prefix"
        fi
        grep -q "<id>$app_id</id>" "$metainfo" && ok "metainfo id is $app_id" || fail "metainfo id differs from $app_id"
        grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" \
            && ok "metainfo launches $app_id.desktop" || fail "metainfo launchable differs from $app_id.desktop"
        grep -q "<mediatype>$mime_type</mediatype>" "$metainfo" || fail "metainfo does not provide $mime_type"
        grep -q "<release version=\"$version\"" "$metainfo" && ok "metainfo release $version" \
            || fail "metainfo has no release $version"
    fi

    # --- icons ---------------------------------------------------------------------
    # Width and height of a PNG: bytes 16-23, big-endian, after the signature
    # and the IHDR chunk header.
    png_size() {
        local sig
        sig=$(od -An -tx1 -N8 "$1" | tr -d ' \n')
        [ "$sig" = 89504e470d0a1a0a ] || { echo "not-a-png"; return; }
        local w h
        w=$(od -An -tu4 --endian=big -j16 -N4 "$1" | tr -d ' ')
        h=$(od -An -tu4 --endian=big -j20 -N4 "$1" | tr -d ' ')
        echo "${w}x$h"
    }
    for s in $sizes; do
        for icon in "$share/icons/hicolor/${s}x$s/apps/$app_id.png" \
            "$share/icons/hicolor/${s}x$s/mimetypes/$mime_icon.png"; do
            [ -f "$icon" ] || continue
            got=$(png_size "$icon")
            [ "$got" = "${s}x$s" ] && ok "${icon#"$share"/icons/} is ${s}x$s" \
                || fail "${icon#"$share"/icons/} is $got, expected ${s}x$s"
        done
    done
    for svg in "$share/icons/hicolor/scalable/apps/$app_id.svg" \
        "$share/icons/hicolor/scalable/mimetypes/$mime_icon.svg"; do
        [ -f "$svg" ] && have xmllint && quiet_run "xmllint ${svg#"$share"/icons/}" any xmllint --noout "$svg"
    done
fi

echo
if [ $failures -gt 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
if [ ${#missing_tools[@]} -gt 0 ]; then
    echo "SKIP: validators not installed: $(printf '%s\n' "${missing_tools[@]}" | sort -u | tr '\n' ' ')"
    exit 77
fi
echo "all checks passed"
