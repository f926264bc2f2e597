#!/bin/bash
# Installs what the project needs, then builds and runs every test: Linux, Linux with
# AddressSanitizer + UndefinedBehaviorSanitizer, with ThreadSanitizer, the 32-bit Windows build
# under Wine (inside the test VM of scripts/vm/ where this kernel cannot run 32-bit programs) and a
# 64-bit Windows build under Wine; then the fuzz targets for a short while and the packages.
#
# Every tree is a preset of CMakePresets.json (build/<name>), tested with CTest's test preset of
# the same name; the totals are counted from CTest's JUnit reports, and a suite that runs no test
# fails. LUMO_CONFIGS (say "linux win64") narrows a run to some trees; LUMO_SKIP_SETUP=1 leaves
# out the install step. CI runs everything.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/common.sh"

if [ "${LUMO_SKIP_SETUP:-0}" != 1 ]; then
    "$here/setup-debian.sh" || exit 1
fi

failed=()
failed_cases=()
passed=()
skipped=()
tests_passed=0
tests_failed=0
tests_skipped=0

# record_suite NAME STATUS LOG: records the outcome of a suite run by a script of ours (fuzz,
# packages), which ends with a line "N% tests passed, F tests failed out of T".
record_suite() {
    local name="$1" status="$2" log="$3"
    local summary
    summary="$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" 2>/dev/null | tail -n 1)"
    if [ -n "$summary" ]; then
        local total bad
        total="$(echo "$summary" | sed -E 's/.*out of ([0-9]+).*/\1/')"
        bad="$(echo "$summary" | sed -E 's/.*, ([0-9]+) tests? failed.*/\1/')"
        count_suite "$name" "$status" "$((total - bad))" "$bad" 0
    else
        count_suite "$name" "$status" 0 0 0
    fi
}

# record_ctest NAME STATUS JUNIT: records the outcome of a CTest run from its JUnit report.
record_ctest() {
    local name="$1" status="$2" junit="$3" counts
    # First line "passed failed skipped", from each test case's status; then the failed cases'
    # names, so that the end of a long run says which ones they were.
    local report
    report="$(python3 - "$junit" 2>/dev/null <<'PY'
import sys
import xml.etree.ElementTree as ET
passed = skipped = 0
failed = []
for case in ET.parse(sys.argv[1]).getroot().iter("testcase"):
    status = case.get("status")
    if status == "run":
        passed += 1
    elif status in ("notrun", "disabled"):
        skipped += 1
    else:
        # the first lines that say why, from the test's output
        out = case.findtext("system-out") or ""
        why = [line.strip() for line in out.splitlines()
               if any(word in line for word in ("Failure", "not ok", "FAIL", "Expected", "Which is"))]
        failed.append(" | ".join([case.get("name")] + why[:4])[:600])
print(passed, len(failed), skipped)
for line in failed:
    print(line)
PY
)" || report="0 0 0"
    counts="$(head -n 1 <<<"$report")"
    while IFS= read -r failed_case; do
        [ -n "$failed_case" ] && failed_cases+=("$name: $failed_case")
    done < <(tail -n +2 <<<"$report")
    # shellcheck disable=SC2086
    count_suite "$name" "$status" $counts
}

# count_suite NAME STATUS PASSED FAILED SKIPPED: adds a suite to the lists and the totals. A suite
# that failed, or ran no test at all, without a failed test to show for it (it broke before its
# report, say) counts as one failure.
count_suite() {
    local name="$1" status="$2" good="$3" bad="$4" skip="$5"
    if [ "$status" -eq 0 ] && [ $((good + bad)) -eq 0 ]; then
        echo "=== $name ran no test"
        status=1
    fi
    if [ "$status" -eq 0 ]; then
        passed+=("$name")
    else
        failed+=("$name")
        [ "$bad" -eq 0 ] && bad=1
    fi
    tests_passed=$((tests_passed + good))
    tests_failed=$((tests_failed + bad))
    tests_skipped=$((tests_skipped + skip))
}

# junit_of PRESET: where CTest's test preset PRESET writes its JUnit report (CMakePresets.json).
junit_of() {
    local tree
    tree="$(cd "$LUMO_ROOT" && python3 -c 'import json, sys
presets = json.load(open("CMakePresets.json"))["testPresets"]
print(next(p["configurePreset"] for p in presets if p["name"] == sys.argv[1]))' "$1")"
    echo "$LUMO_BUILD/$tree/Testing/junit-$1.xml"
}

# run_suite PRESET [CTEST ARGS...]: runs CTest's test preset PRESET and records the outcome.
run_suite() {
    local name="$1"
    shift
    echo "=== test $name"
    local junit log
    junit="$(junit_of "$name")"
    log="$(dirname "$junit")/ctest-output-$name.log"
    mkdir -p "$(dirname "$junit")"
    rm -f "$junit"
    (cd "$LUMO_ROOT" && ctest --preset "$name" "$@") 2>&1 | tee "$log"
    record_ctest "$name" "${PIPESTATUS[0]}" "$junit"
}

# run_win32_in_vm: runs the 32-bit tree under Wine inside one boot of the test VM. The folders the
# guest writes for us are shared: the run's results (CTest's output, the console, a newly made
# Wine prefix) and those the tests write their own reports into. The kill-during-save test is left
# out there (LUMO_SAVE_KILLS_VM sets a count): each emulated process start takes seconds, and the
# 64-bit tree runs the same Windows code with its kills on every run.
run_win32_in_vm() {
    local results="$LUMO_BUILD/win32/vm"
    local cache="$LUMO_CACHE/wineprefix-win32"
    rm -rf "$results" "$(junit_of win32)"
    mkdir -p "$results" "$LUMO_BUILD/win32/Testing"
    local started=$SECONDS
    # One test at a time, here as on this machine: the test processes share one Wine session, in
    # which a device-change broadcast of one test reaches the hidden windows of another.
    "$here/vm/run.sh" --timeout 2700 --log "$results/console.log" \
        --share "$results" \
        --share "$LUMO_BUILD/win32/Testing" \
        --share "$LUMO_BUILD/win32/tests/gui/wine-window" \
        --env LUMO_WINE_PREFIX_CACHE="$cache" \
        --env LUMO_WINE_PREFIX_IN_PLACE=1 \
        --env LUMO_WINE_PREFIX_SAVE="$results/wineprefix.tar" \
        --env LUMO_SAVE_KILLS="${LUMO_SAVE_KILLS_VM:-0}" \
        -- "$here/wine-tests.sh" win32 "$results/ctest-output.log"
    local status=$?
    echo "=== win32 VM run: status $status after $((SECONDS - started)) s"
    # A prefix made in this boot is kept for the next ones.
    if [ -f "$results/wineprefix.tar" ]; then
        rm -rf "$cache" "$cache.new"
        mkdir -p "$cache.new"
        if tar -C "$cache.new" -xf "$results/wineprefix.tar" && [ -f "$cache.new/.lumo-prefix" ]; then
            mv "$cache.new" "$cache"
        else
            rm -rf "$cache.new"
        fi
        rm -f "$results/wineprefix.tar"
    fi
    [ -f "$results/ctest-output.log" ] || echo "=== no CTest output came back from the VM"
    record_ctest win32 "$status" "$(junit_of win32)"
}

# run_alsa_vm: the ALSA backend's tests against a real sequencer, inside one boot of the test VM
# (build/linux's CTest label alsa-vm; it skips, clearly, where qemu or the guest kernel cannot be
# had). Counted as a suite of its own.
run_alsa_vm() {
    local started=$SECONDS
    run_suite alsa-vm
    local log="$LUMO_BUILD/linux/Testing/ctest-output-alsa-vm.log"
    echo "=== alsa-vm done after $((SECONDS - started)) s"
    if grep -q 'Skipped' "$log"; then
        skipped+=("alsa-vm (no qemu or guest kernel; see $log)")
    fi
}

# wanted NAME: whether this run builds and tests configuration NAME. LUMO_CONFIGS (a list such
# as "linux win32") narrows a run on a developer's machine; CI runs everything.
wanted() {
    [ -z "${LUMO_CONFIGS:-}" ] && return 0
    [[ " $LUMO_CONFIGS " == *" $1 "* ]]
}

# run_packages: makes the packages users install from the linux, win32 and win64 trees
# (scripts/package.sh) and checks them as users get them (tests/packaging/package-tests.sh).
run_packages() {
    echo "=== test packages"
    local started=$SECONDS
    mkdir -p "$LUMO_BUILD/package-tests"
    local log="$LUMO_BUILD/package-tests/package-tests.log"
    { "$here/package.sh" --no-build linux win32 win64 \
        && "$LUMO_ROOT/tests/packaging/package-tests.sh" "$LUMO_BUILD/packages"; } 2>&1 | tee "$log"
    record_suite packages "${PIPESTATUS[0]}" "$log"
    echo "=== packages done in $((SECONDS - started)) s"
}

# run_fuzz: builds the libFuzzer targets with clang in $LUMO_BUILD/fuzz and runs each for a short
# fixed budget (scripts/fuzz.sh); one "test" per target in the totals.
run_fuzz() {
    echo "=== test fuzz"
    local started=$SECONDS
    mkdir -p "$LUMO_BUILD/fuzz"
    local log="$LUMO_BUILD/fuzz/fuzz-output.log"
    "$here/fuzz.sh" "${LUMO_FUZZ_SECONDS:-30}" 2>&1 | tee "$log"
    record_suite fuzz "${PIPESTATUS[0]}" "$log"
    echo "=== fuzz done in $((SECONDS - started)) s"
}

# configuration NAME: configures and builds the tree NAME unless LUMO_CONFIGS leaves it out;
# fails (and records the failure) when it cannot be built.
configuration() {
    local name="$1"
    if ! wanted "$name"; then
        skipped+=("$name (not in LUMO_CONFIGS)")
        return 1
    fi
    local started=$SECONDS
    if lumo_build "$name"; then
        return 0
    fi
    echo "=== build $name FAILED after $((SECONDS - started)) s"
    failed+=("$name (build)")
    tests_failed=$((tests_failed + 1))
    return 1
}

t0=$SECONDS
if configuration linux; then
    # The JACK tests start servers of their own; ones killed on earlier runs must not use up the
    # machine's server slots.
    "$here/jack-clear-stale.sh"
    run_suite linux
    run_alsa_vm
fi
echo "=== linux done at $((SECONDS - t0)) s"

if configuration asan; then
    run_suite asan
fi
echo "=== asan done at $((SECONDS - t0)) s"

if configuration tsan; then
    run_suite tsan
fi
echo "=== tsan done at $((SECONDS - t0)) s"
if wanted fuzz; then
    run_fuzz
else
    skipped+=("fuzz (not in LUMO_CONFIGS)")
fi

# Wine creates windows (the hidden message windows included) only with an X display: one virtual
# display serves the prefixes, their servers and every Windows test process on this machine (the
# test VM starts its own).
xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 70 99); do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
            xvfb_pid=$!
            export DISPLAY=":$n"
            sleep 2
            break
        fi
    done
fi

# The Windows build is always cross-compiled (warnings are errors there too). Its tests run under
# Wine's 32-bit loader: here if this kernel can execute 32-bit programs, else inside the test VM,
# whose kernel can.
if configuration win32; then
    if why="$("$here/wine-probe.sh")"; then
        echo "=== test win32"
        rm -f "$(junit_of win32)"
        "$here/wine-tests.sh" win32 "$LUMO_BUILD/win32/ctest-output.log"
        record_ctest win32 $? "$(junit_of win32)"
    else
        echo "=== test win32 in the test VM: $why"
        run_win32_in_vm
    fi
fi
echo "=== win32 done at $((SECONDS - t0)) s"

# The same Windows sources built for 64-bit run under Wine's 64-bit loader, which needs no 32-bit
# support from the kernel: the Windows code paths are exercised on every machine. The 64-bit
# program ships beside the 32-bit one; its CTest tree also runs it for real (front plate, port
# dialog, clean exit, settings files it cannot trust) on the virtual display.
if configuration win64; then
    echo "=== test win64"
    rm -f "$(junit_of win64)"
    LUMO_WINE_ARCH=win64 WINEPREFIX="$LUMO_BUILD/wineprefix64" \
        "$here/wine-tests.sh" win64 "$LUMO_BUILD/win64/ctest-output.log"
    record_ctest win64 $? "$(junit_of win64)"
fi
echo "=== win64 done at $((SECONDS - t0)) s"
if wanted packages; then
    run_packages
else
    skipped+=("packages (not in LUMO_CONFIGS)")
fi
if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    unset DISPLAY
fi

echo
echo "configurations passed: ${passed[*]:-none}"
echo "configurations failed: ${failed[*]:-none}"
if [ ${#skipped[@]} -ne 0 ]; then
    echo "configurations not run: ${skipped[*]}"
fi
for failed_case in "${failed_cases[@]}"; do
    echo "failed test: $failed_case"
done
echo "total: $tests_passed passed, $tests_failed failed, $tests_skipped skipped"
if [ ${#failed[@]} -ne 0 ]; then
    exit 1
fi
