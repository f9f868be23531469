#!/usr/bin/env bash
# Throughput of trezorka-cli against RC4 alone and `openssl enc -rc4`, on files
# of random bytes, with a check that both ciphers wrote the same bytes.
#
#   bench/throughput.sh [SIZE_MIB...]        (default: 256 1024)
#
# For each size, BENCH_RUNS rounds (default 5) run in turn: trezorka-cli to a
# file (flushed to disk, as every file target is), trezorka-cli to standard
# output (/dev/null), `openssl enc -rc4` to a file, and RC4 alone in memory
# (`openssl speed -evp rc4`, which no single stream can beat). Alternating the
# commands spreads the machine's noise over all of them; the median counts.
#
# Environment:
#   BENCH_RUNS      rounds per size (default 5)
#   BENCH_DIR       where the scratch folder goes (default $TMPDIR or /tmp)
#   BENCH_NICE      run every timed command at this nice value (e.g. -10 as
#                   root on a machine shared with other work; default: as is)
#   TREZORKA_CLI    the tool to time (default build/$BUILD_PRESET/cli/trezorka-cli,
#                   BUILD_PRESET defaulting to "dev", else any build/*/cli/trezorka-cli)
set -euo pipefail

sizes=("$@")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(256 1024)
runs=${BENCH_RUNS:-5}
root=$(cd "$(dirname "$0")/.." && pwd)

cli=${TREZORKA_CLI:-$root/build/${BUILD_PRESET:-dev}/cli/trezorka-cli}
if [[ ! -x $cli && -z ${TREZORKA_CLI:-} ]]; then
    for candidate in "$root"/build/*/cli/trezorka-cli; do
        [[ -x $candidate ]] && { cli=$candidate; break; }
    done
fi
[[ -x $cli ]] || { echo "trezorka-cli not found ($cli); build it first, e.g. cmake --preset dev && cmake --build --preset dev" >&2; exit 2; }
command -v openssl >/dev/null || { echo "openssl is missing (apt-get install openssl)" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is missing (apt-get install time)" >&2; exit 2; }
for size in "${sizes[@]}"; do
    [[ $size =~ ^[0-9]+$ && $size -gt 0 ]] || { echo "sizes must be whole numbers of MiB" >&2; exit 2; }
done
[[ $runs =~ ^[0-9]+$ && $runs -gt 0 ]] || { echo "BENCH_RUNS must be a whole number" >&2; exit 2; }
prefix=()
[[ -n ${BENCH_NICE:-} ]] && prefix=(nice -n "$BENCH_NICE")

work=$(mktemp -d "${BENCH_DIR:-${TMPDIR:-/tmp}}/trezorka-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

password=benchmark
printf '%s\n' "$password" >"$work/password"
# The key the program derives: SHA-1 of the first L bytes of the password's
# UTF-16LE text (L = its length in UTF-16 units; ASCII here), first 16 bytes.
key=$(printf '%s' "$password" | iconv -f UTF-8 -t UTF-16LE | head -c ${#password} \
      | openssl dgst -sha1 -binary | head -c 16 | od -An -tx1 | tr -d ' \n')

# timed OUTPUT COMMAND...: appends "seconds peak_kib" of one run to $work/times
timed() {
    local output=$1
    shift
    [[ $output == - ]] || rm -f "$output"
    sync
    if [[ $output == - ]]; then
        "${prefix[@]}" /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null
    else
        "${prefix[@]}" /usr/bin/time -f '%e %M' -o "$work/time" "$@"
    fi
    cat "$work/time"
}

# RC4 alone over BYTES, in seconds, from openssl's own throughput figure.
rc4_alone() {
    local kbps
    kbps=$("${prefix[@]}" openssl speed -provider legacy -provider default -evp rc4 -bytes 262144 -seconds 1 \
           2>/dev/null | awk '/^RC4/ { sub(/k$/, "", $2); print $2 }')
    awk -v b="$1" -v k="${kbps:-0}" 'BEGIN { printf "%.3f", (k > 0 ? b / (k * 1000) : 0) }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { printf "%.3f", (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
mbps() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.0f", (s > 0 ? b / s / 1e6 : 0) }'; }

echo "trezorka-cli: $cli"
echo "rounds per size: $runs${BENCH_NICE:+, nice $BENCH_NICE}; $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
all_same=yes
summary=()
for size_mib in "${sizes[@]}"; do
    head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$work/plain.bin"
    bytes=$(stat -c %s "$work/plain.bin")
    : >"$work/file.s"; : >"$work/stdout.s"; : >"$work/enc.s"; : >"$work/rc4.s"
    peak=0
    for ((round = 0; round < runs; round++)); do
        read -r seconds kib < <(timed "$work/cli.t2k" "$cli" --quiet --encrypt --force \
            --password-file "$work/password" -o "$work/cli.t2k" "$work/plain.bin")
        echo "$seconds" >>"$work/file.s"
        ((kib > peak)) && peak=$kib
        read -r seconds kib < <(timed - "$cli" --quiet --encrypt --password-file "$work/password" \
            -o - "$work/plain.bin")
        echo "$seconds" >>"$work/stdout.s"
        read -r seconds kib < <(timed "$work/openssl.t2k" openssl enc -rc4 -K "$key" -nosalt \
            -provider legacy -provider default -in "$work/plain.bin" -out "$work/openssl.t2k")
        echo "$seconds" >>"$work/enc.s"
        rc4_alone "$bytes" >>"$work/rc4.s"
        echo >>"$work/rc4.s"
    done
    same=yes
    cmp -s "$work/openssl.t2k" "$work/cli.t2k" || { same=NO; all_same=NO; }
    file_s=$(median <"$work/file.s")
    stdout_s=$(median <"$work/stdout.s")
    enc_s=$(median <"$work/enc.s")
    rc4_s=$(median <"$work/rc4.s")

    printf '\n%d MiB (%d bytes), median of %d rounds\n' "$size_mib" "$bytes" "$runs"
    printf '  %-28s %7s s %6s MB/s   %5sx RC4   %5sx openssl enc\n' \
        "trezorka-cli, file target" "$file_s" "$(mbps "$bytes" "$file_s")" "$(ratio "$file_s" "$rc4_s")" "$(ratio "$file_s" "$enc_s")" \
        "trezorka-cli, standard output" "$stdout_s" "$(mbps "$bytes" "$stdout_s")" "$(ratio "$stdout_s" "$rc4_s")" "$(ratio "$stdout_s" "$enc_s")" \
        "openssl enc -rc4, file" "$enc_s" "$(mbps "$bytes" "$enc_s")" "$(ratio "$enc_s" "$rc4_s")" "1.00"
    printf '  %-28s %7s s %6s MB/s\n' "RC4 alone (in memory)" "$rc4_s" "$(mbps "$bytes" "$rc4_s")"
    printf '  all file-target runs (s): %s\n' "$(tr '\n' ' ' <"$work/file.s")"
    printf '  peak memory of trezorka-cli: %s KiB; outputs byte-identical: %s\n' "$peak" "$same"
    summary+=("$(printf '| %d MiB | %s s | %sx | %sx | %sx | %sx |' "$size_mib" "$rc4_s" "$(ratio "$file_s" "$rc4_s")" \
        "$(ratio "$stdout_s" "$rc4_s")" "$(ratio "$file_s" "$enc_s")" "$(ratio "$stdout_s" "$enc_s")")")
    rm -f "$work/plain.bin" "$work/cli.t2k" "$work/openssl.t2k"
done

printf '\n| size | RC4 alone | file / RC4 | stdout / RC4 | file / openssl enc | stdout / openssl enc |\n'
printf '|---|---|---|---|---|---|\n'
printf '%s\n' "${summary[@]}"
[[ $all_same == yes ]]
