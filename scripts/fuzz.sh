#!/bin/bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer and UndefinedBehaviorSanitizer)
# in build/fuzz (the preset fuzz of CMakePresets.json) and runs each for SECONDS (default 30) on a copy of its seed corpus.
# Prints per target the executions run and the crashes found, then a CTest-style summary line
# (one "test" per target). Exits non-zero when the build fails or any target crashed.
# A crashing input is kept as $LUMO_BUILD/fuzz/runs/<target>/crash-*.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/common.sh"

seconds="${1:-30}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [SECONDS per target, default 30]" >&2
    exit 2
fi
tree="$LUMO_BUILD/fuzz"
targets=(fuzz_protocol fuzz_settings fuzz_aliases fuzz_strings)
slice_max="${LUMO_FUZZ_SLICE:-300}"

started=$SECONDS
if ! lumo_build fuzz; then
    echo "=== fuzz build FAILED"
    echo "0% tests passed, ${#targets[@]} tests failed out of ${#targets[@]}"
    exit 1
fi
echo "=== fuzz build done in $((SECONDS - started)) s"

# fuzz_one TARGET: runs one target for the budget; its report line goes to runs/TARGET/result.
fuzz_one() {
    local target="$1"
    local run="$tree/runs/$target"
    rm -rf "$run"
    mkdir -p "$run/corpus" "$run/tmp"
    cp "$LUMO_ROOT/fuzz/corpus/$target/"* "$run/corpus/" 2>/dev/null || true
    echo "=== fuzz $target for $seconds s"
    local log="$run/fuzz.log"
    : >"$log"
    # Runs longer than a slice go in slices on the growing corpus: the alias target's manager is
    # the program's singleton and keeps every alias it loaded, so one process slows down and grows
    # the longer it runs.
    local left=$seconds execs=0 status=0 slice n
    while [ "$left" -gt 0 ] && [ "$status" -eq 0 ]; do
        slice=$(( left < slice_max ? left : slice_max ))
        left=$((left - slice))
        # The targets' scratch files go below the run (a crashed run leaves them for inspection).
        (cd "$run" && TMPDIR="$run/tmp" ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
            UBSAN_OPTIONS=print_stacktrace=1 "$tree/$target" -max_total_time="$slice" \
            -print_final_stats=1 -artifact_prefix="$run/" corpus) >"$run/slice.log" 2>&1
        status=$?
        cat "$run/slice.log" >>"$log"
        n="$(grep -aE '^stat::number_of_executed_units:' "$run/slice.log" | awk '{print $2}' | tail -n 1)"
        if [ -z "$n" ]; then
            # A crash ends the run before the final statistics; the last status line counts.
            n="$(grep -aoE '^#[0-9]+' "$run/slice.log" | tail -n 1 | tr -d '#')"
        fi
        execs=$((execs + ${n:-0}))
    done
    local crashes
    crashes=$(find "$run" -maxdepth 1 \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
        -o -name 'oom-*' \) | wc -l)
    if [ "$status" -ne 0 ] && [ "$crashes" -eq 0 ]; then
        crashes=1
    fi
    echo "$crashes $target: ${execs:-0} executions, $crashes crashes (status $status)" >"$run/result"
}

# Each target is one process on one core: as many run at once as the machine has processors, so
# the budget per target stays what was asked and the suite's time shrinks.
jobs="${LUMO_FUZZ_JOBS:-$(nproc)}"
running=0
for target in "${targets[@]}"; do
    if [ "$running" -ge "$jobs" ]; then
        wait -n
        running=$((running - 1))
    fi
    fuzz_one "$target" &
    running=$((running + 1))
done
wait

crashed=0
report=()
for target in "${targets[@]}"; do
    run="$tree/runs/$target"
    read -r crashes line <"$run/result" || { crashes=1; line="$target: no result"; }
    echo "$line"
    report+=("$line")
    if [ "$crashes" -ne 0 ]; then
        crashed=$((crashed + 1))
        grep -a -A 30 -E "FUZZ CHECK FAILED|ERROR: |runtime error" "$run/fuzz.log" | head -n 60
        echo "(inputs kept in $run)"
    fi
done

echo
echo "=== fuzz summary ($seconds s per target, $((SECONDS - started)) s in all)"
printf '%s\n' "${report[@]}"
total=${#targets[@]}
echo "$(( (total - crashed) * 100 / total ))% tests passed, $crashed tests failed out of $total"
[ "$crashed" -eq 0 ]
