#!/usr/bin/env bash
# Throughput of trezorka-cli against `openssl enc -rc4` and `cp` on one file
# of random bytes, with a check that both ciphers wrote the same bytes.
#
#   bench/throughput.sh [SIZE_MIB]        (default 1024, i.e. 1 GiB)
#
# Environment:
#   BENCH_SIZE_MIB  the size when no argument is given
#   BENCH_RUNS      runs of each command; the fastest counts (default 1)
#   BENCH_DIR       where the scratch folder goes (default $TMPDIR or /tmp)
#   TREZORKA_CLI    the tool to time (default build/$BUILD_PRESET/cli/trezorka-cli,
#                   BUILD_PRESET defaulting to "dev", else any build/*/cli/trezorka-cli)
set -euo pipefail

size_mib=${1:-${BENCH_SIZE_MIB:-1024}}
runs=${BENCH_RUNS:-1}
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
[[ $size_mib =~ ^[0-9]+$ && $size_mib -gt 0 ]] || { echo "size must be a whole number of MiB" >&2; exit 2; }

work=$(mktemp -d "${BENCH_DIR:-${TMPDIR:-/tmp}}/trezorka-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

password=benchmark
printf '%s\n' "$password" >"$work/password"
# The key the program derives: SHA-1 of the first L bytes of the password's
# UTF-16LE text (L = its length in UTF-16 units; ASCII here), first 16 bytes.
key=$(printf '%s' "$password" | iconv -f UTF-8 -t UTF-16LE | head -c ${#password} \
      | openssl dgst -sha1 -binary | head -c 16 | od -An -tx1 | tr -d ' \n')

echo "making $size_mib MiB of random bytes in $work"
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$work/plain.bin"
bytes=$(stat -c %s "$work/plain.bin")

# time_it NAME OUTPUT COMMAND...: the fastest of $runs runs, seconds and peak KiB
time_it() {
    local name=$1 output=$2
    shift 2
    local best="" peak=0
    for ((i = 0; i < runs; i++)); do
        rm -f "$output"
        sync
        /usr/bin/time -f '%e %M' -o "$work/time" "$@"
        read -r seconds kib <"$work/time"
        if [[ -z $best ]] || awk -v a="$seconds" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$seconds; fi
        ((kib > peak)) && peak=$kib
    done
    eval "${name}_s=$best ${name}_kib=$peak"
}

echo "timing cp, openssl enc -rc4 and $cli ($runs run(s) each)"
time_it cp "$work/copy.bin" cp "$work/plain.bin" "$work/copy.bin"
rm -f "$work/copy.bin"
time_it ossl "$work/openssl.t2k" openssl enc -rc4 -K "$key" -nosalt -provider legacy -provider default \
    -in "$work/plain.bin" -out "$work/openssl.t2k"
time_it cli "$work/cli.t2k" "$cli" --quiet --encrypt --force --password-file "$work/password" \
    -o "$work/cli.t2k" "$work/plain.bin"

if cmp -s "$work/openssl.t2k" "$work/cli.t2k"; then
    same="yes"
else
    same="NO"
fi

# Peak memory on a small file too: it must not grow with the file's size.
head -c $((16 * 1024 * 1024)) "$work/plain.bin" >"$work/small.bin"
rm -f "$work/plain.bin" "$work/openssl.t2k"
time_it small "$work/small.t2k" "$cli" --quiet --encrypt --force --password-file "$work/password" \
    -o "$work/small.t2k" "$work/small.bin"

# RC4 alone in memory on this machine: no single stream can beat it, so
# openssl's time over this is the best ratio any implementation could reach.
rc4_kbps=$(openssl speed -provider legacy -provider default -evp rc4 -bytes 262144 -seconds 2 2>/dev/null \
           | awk '/^RC4/ { sub(/k$/, "", $2); print $2 }')
rc4_s=$(awk -v b="$bytes" -v k="${rc4_kbps:-0}" 'BEGIN { printf "%.2f", (k > 0 ? b / (k * 1000) : 0) }')

mbps() { awk -v b="$bytes" -v s="$1" 'BEGIN { printf "%.0f", (s > 0 ? b / s / 1e6 : 0) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

printf '\nfile: %d bytes (%d MiB), key %s\n' "$bytes" "$size_mib" "$key"
printf '%-22s %8s s %7s MB/s %9s KiB peak\n' \
    "cp (I/O floor)" "$cp_s" "$(mbps "$cp_s")" "$cp_kib" \
    "openssl enc -rc4" "$ossl_s" "$(mbps "$ossl_s")" "$ossl_kib" \
    "trezorka-cli" "$cli_s" "$(mbps "$cli_s")" "$cli_kib"
printf '%-22s %8s s %7s MB/s\n' "RC4 alone (in memory)" "$rc4_s" "$(mbps "$rc4_s")"
printf 'trezorka-cli vs openssl: %sx the throughput (RC4 alone caps it at %sx)\n' \
    "$(ratio "$ossl_s" "$cli_s")" "$(ratio "$ossl_s" "$rc4_s")"
printf 'trezorka-cli vs cp:      %sx the time\n' "$(ratio "$cli_s" "$cp_s")"
printf 'peak memory of trezorka-cli: %s KiB on %d MiB, %s KiB on 16 MiB\n' "$cli_kib" "$size_mib" "$small_kib"
printf 'outputs byte-identical: %s\n' "$same"
[[ $same == yes ]]
