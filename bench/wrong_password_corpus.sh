#!/usr/bin/env bash
# How well the wrong-password check does on real files from this machine.
#
# Picks files of many kinds (up to CORPUS_PER_KIND per file name ending, at
# most CORPUS_FILES in all, each under CORPUS_MAX_KIB), encrypts the start of
# each with a random password, and judges it with that password and with
# another random one (bench/plausibility_probe). Then reports:
#   - caught:       wrong passwords refused, among the files whose kind can be
#                   judged (the right password gave a verdict)
#   - false alarms: right passwords refused (must be 0)
#   - no verdict:   files the check says nothing about (unknown kind, too
#                   short, a kind without a dependable signature)
# The corpus is only read; nothing encrypted is written. Fails on a false
# alarm, or when fewer than CORPUS_MIN_CAUGHT % of the judged files' wrong
# passwords are caught. tests/engine/plausibility_corpus.py does the same for
# files in the forms applications write.
#
#   bench/wrong_password_corpus.sh
#
# Environment:
#   CORPUS_ROOTS     folders to take files from (default: /usr/share /usr/lib
#                    /usr/include /etc /var/cache/apt/archives)
#   CORPUS_FILES     most files in all (default 4000)
#   CORPUS_PER_KIND  most files per name ending (default 40)
#   CORPUS_MAX_KIB   largest file in KiB (default 4096)
#   CORPUS_SEED      picks the same files and passwords again (default 1)
#   CORPUS_RESULTS   keep the per-file results (a TSV) at this path
#   CORPUS_LIST      take the files listed here (one path a line) instead of
#                    picking; with CORPUS_SAVE_LIST, before and after a change
#                    judge the very same files
#   CORPUS_SAVE_LIST keep the list of picked files at this path
#   CORPUS_MIN_CAUGHT the least share of wrong passwords caught, in % (default 99)
#   PROBE            the probe program (default build/${BUILD_PRESET:-dev}/bench/plausibility_probe)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
probe=${PROBE:-$root/build/${BUILD_PRESET:-dev}/bench/plausibility_probe}
[[ -x $probe ]] || { echo "plausibility_probe not found ($probe); build it: cmake --build --preset dev --target plausibility_probe" >&2; exit 2; }
command -v openssl >/dev/null || { echo "openssl is missing (apt-get install openssl)" >&2; exit 2; }

read -r -a roots <<<"${CORPUS_ROOTS:-/usr/share /usr/lib /usr/include /etc /var/cache/apt/archives}"
max_files=${CORPUS_FILES:-4000}
per_kind=${CORPUS_PER_KIND:-40}
max_kib=${CORPUS_MAX_KIB:-4096}
seed=${CORPUS_SEED:-1}

work=$(mktemp -d "${TMPDIR:-/tmp}/trezorka-corpus.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A repeatable stream of random bytes for shuf, from the seed.
random_source() { openssl enc -aes-256-ctr -pass "pass:$seed" -nosalt -pbkdf2 </dev/zero 2>/dev/null; }

if [[ -n ${CORPUS_LIST:-} ]]; then
    cp "$CORPUS_LIST" "$work/list"
    echo "taking the $(wc -l <"$work/list") files listed in $CORPUS_LIST"
else
    echo "collecting files under ${roots[*]} (up to $max_kib KiB each)"
    existing=()
    for r in "${roots[@]}"; do [[ -d $r ]] && existing+=("$r"); done
    find "${existing[@]}" -xdev -type f -readable -size "-$((max_kib + 1))k" 2>/dev/null |
        LC_ALL=C grep -v $'\t' >"$work/all" || true
    total=$(wc -l <"$work/all")

    # Shuffle, then keep at most $per_kind of each name ending ("" for names
    # without a dot), then shuffle again and cut at $max_files.
    shuf --random-source=<(random_source) "$work/all" |
        awk -v per="$per_kind" '{
            name = $0; sub(/.*\//, "", name)
            ending = (match(name, /\.[^.]+$/) ? tolower(substr(name, RSTART)) : "")
            if (seen[ending]++ < per) print
        }' |
        shuf --random-source=<(random_source) | awk -v max="$max_files" 'NR <= max' >"$work/list"
    echo "picked $(wc -l <"$work/list") of $total files"
    [[ -n ${CORPUS_SAVE_LIST:-} ]] && cp "$work/list" "$CORPUS_SAVE_LIST"
fi

"$probe" corpus "$seed" <"$work/list" >"$work/results" 2>"$work/skipped"
[[ -n ${CORPUS_RESULTS:-} ]] && cp "$work/results" "$CORPUS_RESULTS"

status=0
awk -F'\t' -v min_caught="${CORPUS_MIN_CAUGHT:-99}" '
    { files++; kinds[$1] = 1 }
    $3 == "none" { none++; if ($1 == "-") unknown++; else if ($2 < 16) short++; else unjudged[$1]++; next }
    $3 == "wrong" { alarms++; alarm_list = alarm_list sprintf("  FALSE ALARM %s as %s (%s, %d bytes)\n", $5, $6, $1, $2) }
    { judged++; judged_kinds[$1] = 1 }
    $4 == "wrong" { caught++ }
    $4 == "none" { wrong_none++ }
    $4 == "plausible" { missed++; missed_kind[$1]++ }
    END {
        nk = 0; for (k in kinds) if (k != "-") nk++
        njk = 0; for (k in judged_kinds) njk++
        printf "\nfiles: %d (%d kinds known by name), skipped: see below\n", files, nk
        printf "judged with the right password: %d of %d files (%.1f %%), %d kinds\n", judged, files,
            files ? 100 * judged / files : 0, njk
        printf "wrong passwords caught: %d of %d judged (%.2f %%); passed as plausible: %d; no verdict: %d\n",
            caught, judged, judged ? 100 * caught / judged : 0, missed, wrong_none
        printf "false alarms with the right password: %d\n", alarms
        printf "no verdict with the right password: %d of %d files (%.1f %%): %d names of no known kind, %d files under 16 bytes,\n",
            none, files, files ? 100 * none / files : 0, unknown, short
        printf "  and of kinds not judged:"
        for (k in unjudged) printf " %s (%d)", k, unjudged[k]
        printf "\n"
        if (missed) {
            printf "kinds where a wrong password passed:"
            for (k in missed_kind) printf " %s (%d)", k, missed_kind[k]
            printf "\n"
        }
        printf "%s", alarm_list
        if (judged && caught < min_caught / 100 * judged)
            printf "FEWER THAN %s %% CAUGHT\n", min_caught
        exit alarms > 0 || (judged && caught < min_caught / 100 * judged)
    }' "$work/results" || status=$?
skipped=$(grep -c . "$work/skipped" || true)
echo "skipped (unreadable): $skipped"
exit $status
