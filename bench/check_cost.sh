#!/usr/bin/env bash
# What the wrong-password check costs next to the decryption it guards.
#
#   bench/check_cost.sh [SIZE_MIB]        (default 1024, i.e. 1 GiB)
#
# Makes a file that starts like a PDF (then random bytes), encrypts it with
# the password "benchmark" (engine_bench), then times:
#   - the decryption job alone (engine_bench, the same stream job the tools run)
#   - check_password on it, with the right and a wrong password
#     (plausibility_probe; the first call and the average of many)
#   - when trezorka-cli knows --no-check: the tool decrypting with and
#     without the check
#
# Environment:
#   BENCH_DIR    where the scratch folder goes (default $TMPDIR or /tmp)
#   BENCH_ROUNDS calls of the check to average (default 2000)
#   BUILD_PRESET the build folder's preset (default dev)
set -euo pipefail

size_mib=${1:-1024}
rounds=${BENCH_ROUNDS:-2000}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/${BUILD_PRESET:-dev}
bench=$build/bench/engine_bench
probe=$build/bench/plausibility_probe
cli=$build/cli/trezorka-cli
for tool in "$bench" "$probe"; do
    [[ -x $tool ]] || { echo "$tool not found; build it: cmake --build --preset dev --target engine_bench plausibility_probe" >&2; exit 2; }
done
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is missing (apt-get install time)" >&2; exit 2; }
[[ $size_mib =~ ^[0-9]+$ && $size_mib -gt 0 ]] || { echo "size must be a whole number of MiB" >&2; exit 2; }

work=$(mktemp -d "${BENCH_DIR:-${TMPDIR:-/tmp}}/trezorka-check-cost.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "making $size_mib MiB in $work"
{ printf '%%PDF-1.7\n'; head -c $((size_mib * 1024 * 1024 - 9)) /dev/urandom; } >"$work/plain.pdf"
"$bench" "$work/plain.pdf" "$work/report.pdf.t2k" 2>/dev/null
rm -f "$work/plain.pdf"

# seconds COMMAND...: wall time of one run
seconds() {
    /usr/bin/time -f '%e' -o "$work/time" "$@" >/dev/null 2>&1
    cat "$work/time"
}

sync
job_s=$(seconds "$bench" "$work/report.pdf.t2k" "$work/report.pdf")
rm -f "$work/report.pdf"
echo "decryption job (engine_bench): $job_s s"

"$probe" time "$work/report.pdf.t2k" report.pdf "$rounds" | tee "$work/check"
right_us=$(sed -n 's/.* then \([0-9.]*\) us a call with the right.*/\1/p' "$work/check")
first_us=$(sed -n 's/.*first call \([0-9.]*\) us.*/\1/p' "$work/check")
awk -v f="$first_us" -v r="$right_us" -v j="$job_s" 'BEGIN {
    printf "check vs job: first call %.3f ms, then %.3f ms = %.4f %% of the job\n", f / 1000, r / 1000,
        (j > 0 ? 100 * f / 1e6 / j : 0)
}'

if [[ -x $cli ]] && "$cli" --help 2>&1 | grep -q -- '--no-check'; then
    printf 'benchmark\n' >"$work/password"
    cli_args=(--quiet --decrypt --force --password-file "$work/password" -o "$work/report.pdf")
    # Alternating rounds spread the machine's noise over both.
    with=() without=()
    for _ in 1 2 3; do
        with+=("$(seconds "$cli" "${cli_args[@]}" -- "$work/report.pdf.t2k")")
        rm -f "$work/report.pdf"
        without+=("$(seconds "$cli" "${cli_args[@]}" --no-check -- "$work/report.pdf.t2k")")
        rm -f "$work/report.pdf"
    done
    echo "trezorka-cli decrypting, 3 alternating rounds: ${with[*]} s with the check; ${without[*]} s with --no-check"
else
    echo "trezorka-cli has no --no-check yet: timed the check itself instead"
fi
