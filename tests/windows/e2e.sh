#!/bin/bash
# The Windows program under Wine in a fresh prefix on Xvfb, driven like a
# person: encrypt a file started from the command line (password twice,
# "Zašifrovat", "Trezorka - dokončeno"), compare the bytes with the Linux
# build's, try a wrong password with Enter, Enter, Enter (the plain file must
# stay), decrypt it back from a second start (Enter in the password field,
# the question before replacing the original), start with a ".t1k" file and
# see "Warning", pick a file in the open dialog and cancel the save dialog,
# send a large job to the tray, abort a job from the progress dialog, compare
# the prefix's registry before and after (the program must record nothing;
# the system's file dialog keeps the program's last folder), and check the
# layout at 144 dpi.
#
# Usage: e2e.sh TREZORKA.EXE|RELEASE.ZIP LINUX-TREZORKA-CLI [SCREENSHOT.png]
#   RELEASE.ZIP     the Windows ZIP: unpacked into the fresh prefix's C: drive
#                   and the program run from there, which it must not write to
#   SCREENSHOT.png  where to save a picture of the main window after start-up
# Exits 77 (skipped) when Wine, Xvfb, xdotool or ImageMagick's import is missing.
set -u

exe=$1
cli=$2
screenshot=${3:-}
for tool in wine wineserver wineboot Xvfb xdotool import; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done
source "$(dirname "$0")/../e2e/private_display.sh"
in_private_session_bus "$0" "$@"
started=$(date +%s)

work=$(mktemp -d "${TMPDIR:-/tmp}/trezorka-wine-e2e.XXXXXX")
xvfb_pid=
cleanup() {
    WINEPREFIX=$work/prefix wineserver -k >/dev/null 2>&1
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    if [ "${TREZORKA_KEEP_WORK:-0}" = 1 ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    [ -f "$work/wine.log" ] && tail -n 20 "$work/wine.log" >&2
    exit 1
}
step() { echo "== $* ($(($(date +%s) - started)) s)"; }

start_private_display 160 "$work/xvfb.log"

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset WAYLAND_DISPLAY
step "Fresh Wine prefix"
# A fresh prefix now and then fails to come up on a busy machine; once more
# from scratch before giving up.
if ! wineboot -i >"$work/wineboot.log" 2>&1; then
    wineserver -k >/dev/null 2>&1
    rm -rf "$WINEPREFIX"
    wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot failed: $(tail -5 "$work/wineboot.log")"
fi
# The registry reaches its files when the server ends.
wineserver -w
cp "$WINEPREFIX/user.reg" "$work/user.before"
cp "$WINEPREFIX/system.reg" "$work/system.before"
unpacked=
if [[ $exe == *.zip ]]; then
    unzip -q "$exe" -d "$WINEPREFIX/drive_c" || fail "cannot unpack $exe"
    unpacked=$(find "$WINEPREFIX/drive_c" -maxdepth 1 -type d -name 'Trezorka-*')
    exe=$unpacked/trezorka.exe
    [ -f "$exe" ] || fail "the ZIP has no Trezorka-<version>/trezorka.exe"
    unpacked_before=$(ls -lA --time-style=+%s "$unpacked")
fi
# From here on one server for all runs, so each start is quick.
wineserver -p

winpath() { printf 'Z:%s' "${1//\//\\}"; }

data=$work/data
mkdir "$data"
source="$data/zpráva 1.pdf"
# A PDF's start, so that decrypting it with the right password looks right.
{
    printf '%%PDF-1.4\n'
    head -c 300000 /dev/urandom
} >"$source"
cp "$source" "$work/original"
password='Tajne heslo 42'
printf '%s\n' "$password" >"$work/password"

app_pid=
start_app() {
    wine "$exe" "$@" >>"$work/wine.log" 2>&1 &
    app_pid=$!
}
main_window() {
    timeout 40 xdotool search --sync --onlyvisible --name '^Trezorka 2\.0 Portable$' | head -n 1
}
# wait_window PATTERN: the id of the first visible window so named.
wait_window() {
    timeout 30 xdotool search --sync --onlyvisible --name "$1" | head -n 1
}
gone() {
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}
# A key pressed in the window (Return: its default button), made the active
# one first; one key only, which must not reach the window behind it.
press() {
    local window=$1 key=$2
    xdotool windowactivate "$window" 2>/dev/null || xdotool windowfocus "$window" 2>/dev/null
    sleep 0.3
    xdotool key "$key"
}
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }
type_into() {
    click "$1" "$2" "$3"
    sleep 0.3
    xdotool type --delay 40 "$password"
}
quit_app() {
    click "$1" 387 304 # "Ukončit"
    for _ in $(seq 150); do
        kill -0 "$app_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$app_pid" 2>/dev/null && fail "\"Ukončit\" did not end the program"
    wait "$app_pid"
    local status=$?
    app_pid=
    [ "$status" -eq 0 ] || fail "the program ended with status $status"
}

# file_dialog WINDOW X Y NAME: a click at X,Y opens the dialog NAME; Escape cancels it.
file_dialog() {
    click "$1" "$2" "$3"
    local shown
    shown=$(wait_window "$4")
    [ -n "$shown" ] || fail "the file dialog \"$4\" did not open"
    press "$shown" Escape
    gone "$4" || fail "the file dialog \"$4\" did not close"
    sleep 0.3
}

# ---- start-up without a file -------------------------------------------------
step "Started without a file: the window, the open dialog, a file picked in it"
start_app
window=$(main_window)
[ -n "$window" ] || fail "the main window did not appear"
geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/ *Geometry: //p')
[ "$geometry" = 555x341 ] || fail "the client area is $geometry, not 555x341"
if [ -n "$screenshot" ]; then
    xdotool mousemove 1000 750
    sleep 1
    import -window "$window" "$screenshot" || fail "no screenshot"
fi
picked="$data/vybrany.txt"
printf 'x' >"$picked"
click "$window" 433 121
shown=$(wait_window '^Open$')
[ -n "$shown" ] || fail "the open dialog did not open"
press "$shown" ctrl+a
xdotool type --delay 20 "$(winpath "$picked")"
xdotool key Return
gone '^Open$' || fail "the open dialog did not take the file"
sleep 0.3
quit_app "$window"
rm -f "$picked"

step "--version: a message box instead of the window"
start_app --version
box=$(wait_window '^Trezorka 2\.0 Portable$')
[ -n "$box" ] || fail "no answer to --version"
geometry=$(xdotool getwindowgeometry "$box" | sed -n 's/ *Geometry: //p')
[ "$geometry" != 555x341 ] || fail "--version opened the main window"
press "$box" Return
wait "$app_pid" || fail "--version ended with status $?"
app_pid=

# ---- encrypt ----------------------------------------------------------------
step "Encrypt: started with the file, password twice, \"Zašifrovat\""
start_app "$(winpath "$source")"
window=$(main_window)
[ -n "$window" ] || fail "the main window did not appear with the file"
type_into "$window" 115 217
type_into "$window" 115 260
sleep 0.3
click "$window" 129 304 # "Zašifrovat"
box=$(wait_window '^Trezorka - dokončeno$')
[ -n "$box" ] || fail "no \"Trezorka - dokončeno\" message"
target="$source.t2k"
[ -f "$target" ] || fail "the message came, but the .t2k file is missing"
press "$box" Return
gone '^Trezorka - dokončeno$' || fail "the message did not go away"
sleep 0.5
quit_app "$window"

"$cli" --encrypt --quiet --force --password-file "$work/password" -o "$work/linux.t2k" -- "$source" ||
    fail "the Linux trezorka-cli could not encrypt"
cmp -s "$target" "$work/linux.t2k" || fail "the window's .t2k differs from the Linux build's"
cmp -s "$target" "$source" && fail "the .t2k file is the plain file"

# ---- a wrong password and Enter, Enter, Enter --------------------------------
step "Decrypt with a wrong password beside the plain file: Enter, Enter, Enter keeps it"
start_app "$(winpath "$target")"
window=$(main_window)
[ -n "$window" ] || fail "the main window did not appear for the .t2k file"
sleep 0.5
right_password=$password
password='Chybne heslo' # differs in its first half, which alone makes the key
type_into "$window" 115 217
password=$right_password
# Each Enter to the window in front, as a window manager gives a new dialog
# the focus: the command, the wrong-password question, then whatever is in
# front. Both questions guard the plain file, so Enter must not pass them.
enter_in_front() {
    local front
    front=$(xdotool search --onlyvisible --name '^Warning$' 2>/dev/null | tail -n 1)
    press "${front:-$window}" Return
    sleep 1.5
}
enter_in_front
xdotool search --onlyvisible --name '^Warning$' >/dev/null 2>&1 || fail "no question about the wrong password"
enter_in_front
enter_in_front
sleep 2 # a job that ran would have ended by now
cmp -s "$source" "$work/original" || fail "Enter, Enter, Enter replaced the plain file"
xdotool search --onlyvisible --name '^Trezorka - dokon' >/dev/null 2>&1 && fail "a job ran after Enter, Enter, Enter"
question=$(xdotool search --onlyvisible --name '^Warning$' 2>/dev/null | tail -n 1)
[ -n "$question" ] && press "$question" Escape
gone '^Warning$' || fail "Escape did not close the question"
sleep 0.3
quit_app "$window"

# ---- decrypt, with the save dialog opened and cancelled first ---------------
step "Decrypt: started with the .t2k, the save dialog, Enter in the password field"
start_app "$(winpath "$target")"
window=$(main_window)
[ -n "$window" ] || fail "the main window did not appear for the .t2k file"
sleep 0.5
file_dialog "$window" 456 169 '^Save As$'
type_into "$window" 115 217
xdotool key Return
# The plain file is still there: the program asks before replacing it, with
# "Cancel" as the default button: "OK" is the one before it.
question=$(wait_window '^Warning$')
[ -n "$question" ] || fail "no question before replacing the original"
press "$question" shift+Tab
xdotool key space
box=$(wait_window '^Trezorka - dokončeno$')
[ -n "$box" ] || fail "no \"Trezorka - dokončeno\" message after decrypting"
press "$box" Return
gone '^Trezorka - dokončeno$' || fail "the message did not go away"
sleep 0.5
quit_app "$window"
cmp -s "$source" "$work/original" || fail "decrypting did not give back the original bytes"

# ---- a large source goes to the tray and comes back ---------------------------
step "A source over 8,000,000 bytes: the window in the tray during the job"
big="$data/velký.bin"
head -c 40000000 /dev/urandom >"$big"
start_app "$(winpath "$big")"
window=$(main_window)
[ -n "$window" ] || fail "the main window did not appear for the large file"
type_into "$window" 115 217
type_into "$window" 115 260
click "$window" 129 304 # "Zašifrovat"
in_tray=no
for _ in $(seq 300); do
    xdotool search --onlyvisible --name '^Trezorka - dokončeno$' >/dev/null 2>&1 && break
    if xdotool search --onlyvisible --name '^Wine System Tray$' >/dev/null 2>&1 &&
        ! xdotool search --onlyvisible --name '^Trezorka 2\.0 Portable$' >/dev/null 2>&1; then
        in_tray=yes
    fi
    sleep 0.1
done
[ "$in_tray" = yes ] || fail "the main window did not go to the tray for a large source"
box=$(wait_window '^Trezorka - dokončeno$')
[ -n "$box" ] || fail "no \"Trezorka - dokončeno\" message for the large file"
xdotool search --onlyvisible --name '^Trezorka 2\.0 Portable$' >/dev/null 2>&1 ||
    fail "the main window did not come back from the tray"
press "$box" Return
gone '^Trezorka - dokončeno$' || fail "the message did not go away"
sleep 0.5
quit_app "$window"
"$cli" --decrypt --quiet --force --password-file "$work/password" -o "$work/big.back" -- "$big.t2k" ||
    fail "the Linux trezorka-cli could not decrypt the large file"
cmp -s "$big" "$work/big.back" || fail "the large file did not decrypt to the original"
rm -f "$big" "$big.t2k"

# ---- abort from the progress dialog -----------------------------------------
step "\"Přerušit a ukončit\" in the progress dialog, answered OK: the program ends at once"
# Just under the tray's threshold, so the dialog stays in view a while.
aborted="$data/abort.bin"
head -c 7900000 /dev/urandom >"$aborted"
start_app "$(winpath "$aborted")"
window=$(main_window)
[ -n "$window" ] || fail "the main window did not appear"
type_into "$window" 115 217
type_into "$window" 115 260
click "$window" 129 304 # "Zašifrovat"
dialog=$(wait_window '^Trezorka - šifrování$')
[ -n "$dialog" ] || fail "no progress dialog"
click "$dialog" 199 123 # "Přerušit a ukončit"
question=$(wait_window '^Warning$')
[ -n "$question" ] || fail "no question before aborting"
press "$question" Return
for _ in $(seq 100); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$app_pid" 2>/dev/null && fail "the abort did not end the program"
wait "$app_pid"
status=$?
app_pid=
[ "$status" -eq 0 ] || fail "the abort ended the program with status $status, not 0"
xdotool search --onlyvisible --name '^Trezorka - dokončeno$' >/dev/null 2>&1 && fail "a result message after the abort"
# The target is there or not, depending on how far the job had come; a
# half-written temporary file is not.
leftover=$(cd "$data" && ls -A | grep -vxF -e 'zpráva 1.pdf' -e 'zpráva 1.pdf.t2k' -e abort.bin -e abort.bin.t2k || true)
[ -z "$leftover" ] || fail "the abort left files behind: $leftover"
rm -f "$aborted" "$aborted.t2k"

# ---- the old format ---------------------------------------------------------
step "Started with a .t1k file: \"Warning\""
old="$data/stary.t1k"
head -c 100 /dev/urandom >"$old"
start_app "$(winpath "$old")"
warning=$(wait_window '^Warning$')
[ -n "$warning" ] || fail "no warning for the .t1k file"
press "$warning" Return
window=$(main_window)
[ -n "$window" ] || fail "the main window did not open after the warning"
sleep 0.3
quit_app "$window"

# ---- nothing recorded ---------------------------------------------------------
step "Registry and files"
wineserver -k 15 2>/dev/null # SIGTERM: the server saves the registry and ends
wineserver -w
listing=$(cd "$data" && ls -A | sort)
expected=$(printf 'stary.t1k\nzpráva 1.pdf\nzpráva 1.pdf.t2k' | sort)
[ "$listing" = "$expected" ] || fail "unexpected files beside the source: $listing"
found=$(find "$WINEPREFIX/drive_c" -path "${unpacked:-/nowhere}" -prune -o \( -iname '*trezork*' -o -iname '*.t2k' \) -print | head -5)
[ -z "$found" ] || fail "the program left files in the prefix: $found"
if [ -n "$unpacked" ] && [ "$(ls -lA --time-style=+%s "$unpacked")" != "$unpacked_before" ]; then
    fail "the program changed its own folder: $(ls -A "$unpacked" | tr '\n' ' ')"
fi

# Each registry value as "key|value", without Wine's time stamps; a key with
# no values as "key|". What the runs added or changed:
reg_records() {
    awk '/^#/ { next }
         /^\[/ { sub(/\] [0-9]+$/, "]"); key = $0; print key "|"; next }
         /^$/ { next }
         { print key "|" $0 }' "$1" | sort
}
changes=$(for f in user system; do
    comm -13 <(reg_records "$work/$f.before") <(reg_records "$WINEPREFIX/$f.reg") | sed "s/^/$f: /"
done)
if [ -n "$changes" ]; then
    echo "   registry changes during the runs:"
    printf '%s\n' "$changes" | head -n 15 | sed 's/^/     /'
fi
# Tolerated, and nothing else: Windows' own file dialog keeps, for each
# program, the folder of the last file picked in it (ComDlg32\LastVisitedMRU:
# the program's name and that folder), and none of the dialog's options stops
# that (OFN_DONTADDTORECENT keeps picked files out of the recent documents
# only). Wine's dialog also creates the key, empty, when it opens with no
# start folder. It must hold exactly the pick of the first run above.
mru_key='[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\LastVisitedMRU]'
changes=$(printf '%s\n' "$changes" | grep -vF "user: $mru_key|" || true)
recorded_folder=$(python3 - "$WINEPREFIX/user.reg" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8", errors="replace").read()
section = re.search(r"^\[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\ComDlg32"
                    r"\\\\LastVisitedMRU\][^\n]*\n(.*?)(?:\n\n|\Z)", text, re.S | re.M)
value = re.search(r'^"a"=hex:((?:[0-9a-f,]|\\\n\s*)*)', section.group(1), re.M) if section else None
print(bytes.fromhex(re.sub(r"[^0-9a-f]", "", value.group(1))).decode("utf-16-le").replace("\0", "|")
      if value else "")
PY
)
[ "$recorded_folder" = "trezorka.exe|$(winpath "$data")|" ] ||
    fail "the file dialog's own record is not just the program's last folder: $recorded_folder"
# Ours would name the program, its files or folder anywhere, or be a value
# in the other lists where Windows records picked files and folders.
ours=$(printf '%s\n' "$changes" | grep -iE 'trezork|t2k|t1k|zpr|stary|wine-e2e' || true)
recorded=$(printf '%s\n' "$changes" | grep -iE '(ComDlg32|RecentDocs|MRU)[^|]*\|.' || true)
[ -z "$ours$recorded" ] || fail "the program's use was recorded in the registry: $ours $recorded"
if grep -qiE 'trezork' "$WINEPREFIX/user.reg" "$WINEPREFIX/system.reg"; then
    fail "the registry names the program: $(grep -iE 'trezork' "$WINEPREFIX/user.reg" "$WINEPREFIX/system.reg" | head -3)"
fi

# ---- at 150 % ------------------------------------------------------------------
step "At 144 dpi: the layout scaled by 1.5"
wineserver -p
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1 ||
    fail "cannot set Wine's resolution"
start_app
window=$(main_window)
[ -n "$window" ] || fail "the main window did not appear at 144 dpi"
geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/ *Geometry: //p')
[ "$geometry" = 833x512 ] || fail "at 144 dpi the client area is $geometry, not 833x512"
quit_app_at() { click "$1" 581 456; } # "Ukončit", scaled
quit_app_at "$window"
for _ in $(seq 150); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$app_pid" 2>/dev/null && fail "\"Ukončit\" at its scaled place did not end the program"

echo "PASS: encrypted and decrypted under Wine ($(stat -c %s "$source") bytes, same as the Linux build)," \
    "\"Warning\" for .t1k, both file dialogs, tray for a large file, abort, nothing in the registry but the file dialog's last folder, 150 % layout, in $(($(date +%s) - started)) s"
