#!/usr/bin/env bash
# Runs every fuzz target for a while on a copy of its corpus in the build folder (so a run never
# changes the repository) and fails when any of them finds a crash, a leak, a timeout or an OOM.
# Usage: fuzz/run.sh BUILD_DIR [SECONDS]
set -uo pipefail

build=$(cd "$1" && pwd)
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$build/fuzz-run
targets=(library_xml preferences custom_format cli_arguments csv_writer)

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# Reports a failed target: its full log stays in the build folder.
failed() {
    echo "fuzz: $1 FAILED ($2); the report, from $3:"
    # The finding, the top of its stack (below libFuzzer's own frames) and where the input went.
    awk '/fuzz check failed|runtime error|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|^SUMMARY|Test unit written|^Base64/ { print; next }
         /^ *#[0-9]+ 0x/ && !/fuzzer::|__sanitizer|__asan|__ubsan|__interceptor|libc\.so|nptl\/|signal\/|stdlib\/|csu\/| _start / && shown++ < 8 { print }' \
        "$3" | cut -c1-200 | sed 's/^/    /'
    status=1
}

status=0
for target in "${targets[@]}"; do
    binary=$build/fuzz/fuzz_$target
    corpus=$work/corpus/$target
    artifacts=$work/artifacts/$target
    log=$work/$target.log
    mkdir -p "$corpus" "$artifacts"
    # Inputs found by earlier runs stay; the seeds are added again in case they were removed.
    cp -r "$root/fuzz/corpus/$target/." "$corpus/"

    if [[ $target == library_xml ]]; then
        # The real libraries are too big to mutate usefully; each is read once, whole.
        fixtures=("$root"/tests/fixtures/itunes-xml/*.xml "$root"/examples/demo/Library.xml)
        if ! "$binary" -rss_limit_mb=2048 -timeout=60 -artifact_prefix="$artifacts/" \
            "${fixtures[@]}" >"$work/$target.fixtures.log" 2>&1; then
            failed "$target" "on the fixture libraries" "$work/$target.fixtures.log"
            continue
        fi
    fi

    options=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1
             -artifact_prefix="$artifacts/")
    [[ -f $root/fuzz/$target.dict ]] && options+=(-dict="$root/fuzz/$target.dict")
    if "$binary" "${options[@]}" "$corpus" >"$log" 2>&1; then
        last=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
        cov=$(sed -nE 's/.*(cov: [0-9]+ ft: [0-9]+).*/\1/p' <<<"$last")
        runs=$(sed -nE 's/^stat::number_of_executed_units: *//p' "$log")
        speed=$(sed -nE 's/^stat::average_exec_per_sec: *//p' "$log")
        rss=$(sed -nE 's/^stat::peak_rss_mb: *//p' "$log")
        echo "fuzz: $target ok: $runs runs, $speed exec/s, $cov, peak RSS ${rss} MB"
    else
        failed "$target" "input kept in $artifacts" "$log"
    fi
done
exit $status
