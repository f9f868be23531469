#!/bin/bash
# ./run.sh started from another folder: a relative FILE still names the file
# in the caller's folder, although the script changes to its own folder to
# build. run.sh runs as it is, in a copy of the project whose setup and
# program are stand-ins that do nothing but report the program's arguments.
#
# Usage: run_from_elsewhere.sh PROJECT-ROOT
set -u

root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

project=$work/project
mkdir -p "$project/scripts" "$project/build/release/app" "$work/caller/sub"
cp "$root/run.sh" "$project/run.sh"
cat >"$project/scripts/setup.sh" <<'STUB'
BASE_PACKAGES=()
need_packages() { :; }
build_tree() { :; }
STUB
cat >"$project/build/release/app/trezorka" <<'STUB'
#!/bin/bash
for a in "$@"; do printf '%s|' "$a"; done
STUB
chmod +x "$project/build/release/app/trezorka"

caller=$work/caller
# arguments (joined by "|") and the arguments the program must get
rows=(
    "notes.txt"            "$caller/notes.txt|"
    "sub/a b.pdf.t2k"      "$caller/sub/a b.pdf.t2k|"
    "./notes.txt"          "$caller/notes.txt|"
    "/data/notes.txt"      "/data/notes.txt|"
    "-reverse"             "-reverse|"
    ""                     ""
    "notes.txt|more"       "$caller/notes.txt|more|"
)
for ((i = 0; i < ${#rows[@]}; i += 2)); do
    given=${rows[i]}
    want=${rows[i + 1]}
    args=()
    [ -n "$given" ] && IFS='|' read -r -a args <<<"$given"
    got=$(cd "$caller" && bash "$project/run.sh" "${args[@]}") || fail "run.sh failed for \"$given\""
    [ "$got" = "$want" ] || fail "run.sh \"$given\" from another folder started the program with \"$got\", not \"$want\""
done
echo "PASS: run.sh gives the program FILE as seen from the caller's folder ($((${#rows[@]} / 2)) cases)"
