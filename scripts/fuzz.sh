#!/bin/bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer and UndefinedBehaviorSanitizer)
# in $LUMO_BUILD/fuzz and runs each for SECONDS (default 30) on a copy of its seed corpus.
# Prints per target the executions run and the crashes found, then a CTest-style summary line
# (one "test" per target). Exits non-zero when the build fails or any target crashed.
# A crashing input is kept as $LUMO_BUILD/fuzz/runs/<target>/crash-*.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/common.sh"

seconds="${1:-30}"
tree="$LUMO_BUILD/fuzz"
targets=(fuzz_protocol fuzz_settings fuzz_aliases fuzz_strings)

started=$SECONDS
if ! lumo_build fuzz -DLUMO_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++; then
    echo "=== fuzz build FAILED"
    echo "0% tests passed, ${#targets[@]} tests failed out of ${#targets[@]}"
    exit 1
fi
echo "=== fuzz build done in $((SECONDS - started)) s"

crashed=0
report=()
for target in "${targets[@]}"; do
    run="$tree/runs/$target"
    rm -rf "$run"
    mkdir -p "$run/corpus"
    cp "$LUMO_ROOT/fuzz/corpus/$target/"* "$run/corpus/" 2>/dev/null || true
    echo "=== fuzz $target for $seconds s"
    log="$run/fuzz.log"
    (cd "$run" && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "$tree/$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$run/" \
        corpus) >"$log" 2>&1
    status=$?
    execs="$(grep -E '^stat::number_of_executed_units:' "$log" | awk '{print $2}' | tail -n 1)"
    if [ -z "$execs" ]; then
        # A crash ends the run before the final statistics; the last status line counts.
        execs="$(grep -oE '^#[0-9]+' "$log" | tail -n 1 | tr -d '#')"
    fi
    crashes=$(find "$run" -maxdepth 1 -name 'crash-*' -o -maxdepth 1 -name 'leak-*' \
        -o -maxdepth 1 -name 'timeout-*' -o -maxdepth 1 -name 'oom-*' | wc -l)
    if [ "$status" -ne 0 ] && [ "$crashes" -eq 0 ]; then
        crashes=1
    fi
    line="$target: ${execs:-0} executions, $crashes crashes (status $status)"
    echo "$line"
    report+=("$line")
    if [ "$crashes" -ne 0 ]; then
        crashed=$((crashed + 1))
        tail -n 40 "$log"
        echo "(inputs kept in $run)"
    fi
done

echo
echo "=== fuzz summary ($seconds s per target, $((SECONDS - started)) s in all)"
printf '%s\n' "${report[@]}"
total=${#targets[@]}
echo "$(( (total - crashed) * 100 / total ))% tests passed, $crashed tests failed out of $total"
[ "$crashed" -eq 0 ]
