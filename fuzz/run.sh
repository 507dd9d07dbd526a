#!/usr/bin/env bash
# Builds the fuzz targets (preset `fuzz`) and runs each from the seeds, fuzz/regressions/ and
# earlier runs' corpus; exits 1 on a finding (kept in build-fuzz/fuzz/findings/).
#   fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]     default: 60, all targets
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_picture fuzz_state_file fuzz_band)

bash scripts/deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

out=build-fuzz/fuzz
declare -A corpus=([fuzz_picture]=picture [fuzz_state_file]=state_file [fuzz_band]=band)
declare -A extra=([fuzz_picture]="-dict=fuzz/jpeg.dict")
status=0
summary=()
for target in "${targets[@]}"; do
    name=${corpus[$target]:?unknown target $target}
    mkdir -p "$out/corpus/$name" "$out/findings/$name"
    log=$out/$target.log
    start=$SECONDS
    # No leak checks: Qt keeps caches for the life of the process. Over 25 s is a hang.
    # shellcheck disable=SC2086
    if "$out/$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2560 \
        -detect_leaks=0 -print_final_stats=1 ${extra[$target]:-} \
        -artifact_prefix="$out/findings/$name/" \
        "$out/corpus/$name" "$out/seeds/$name" "fuzz/regressions/$name" >"$log" 2>&1; then
        result="no findings"
    else
        result="FINDING: $(grep -m1 -oE '(ERROR|SUMMARY): .*|property broken: .*' "$log" || echo "exit status $?")"
        status=1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    summary+=("$target: ${runs:-?} runs in $((SECONDS - start)) s, $result")
done
printf 'fuzz: %s\n' "${summary[@]}"
[ $status -eq 0 ] || echo "fuzz: inputs in $out/findings/, logs in $out/*.log" >&2
exit $status
