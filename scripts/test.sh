#!/bin/bash
# Installs what the project needs, then builds and runs every test: Linux, Linux with
# AddressSanitizer + UndefinedBehaviorSanitizer, with ThreadSanitizer, the 32-bit Windows build
# under Wine (inside the test VM of scripts/vm/ where this kernel cannot run 32-bit programs) and a
# 64-bit Windows build under Wine.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/common.sh"

if [ "${LUMO_SKIP_SETUP:-0}" != 1 ]; then
    "$here/setup-debian.sh" || exit 1
fi

failed=()
passed=()
skipped=()
tests_passed=0
tests_failed=0

# record_suite NAME STATUS LOG: records a suite's outcome and adds its CTest summary to the totals.
record_suite() {
    local name="$1" status="$2" log="$3"
    if [ "$status" -eq 0 ]; then
        passed+=("$name")
    else
        failed+=("$name")
    fi
    # "100% tests passed, 0 tests failed out of 42"
    local summary
    summary="$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" 2>/dev/null | tail -n 1)"
    if [ -n "$summary" ]; then
        local total bad
        total="$(echo "$summary" | sed -E 's/.*out of ([0-9]+).*/\1/')"
        bad="$(echo "$summary" | sed -E 's/.*, ([0-9]+) tests? failed.*/\1/')"
        tests_passed=$((tests_passed + total - bad))
        tests_failed=$((tests_failed + bad))
    elif [ "$status" -ne 0 ]; then
        # Nothing ran (or the run broke before CTest's summary): count the suite as one failure.
        tests_failed=$((tests_failed + 1))
    fi
}

# run_suite NAME CTEST-ARGS...: runs ctest in $LUMO_BUILD/NAME and records the outcome.
run_suite() {
    local name="$1"
    shift
    echo "=== test $name"
    local log="$LUMO_BUILD/$name/ctest-output.log"
    ctest --test-dir "$LUMO_BUILD/$name" --output-on-failure "$@" 2>&1 | tee "$log"
    record_suite "$name" "${PIPESTATUS[0]}" "$log"
}

# run_win32_in_vm: runs the 32-bit tree under Wine inside one boot of the test VM. The folders the
# guest writes for us are shared: the run's results (CTest's output, the console, a newly made
# Wine prefix) and those the tests write their own reports into. The kill-during-save test is left
# out there (LUMO_SAVE_KILLS_VM sets a count): each emulated process start takes seconds, and the
# 64-bit tree runs the same Windows code with its kills on every run.
run_win32_in_vm() {
    local results="$LUMO_BUILD/win32/vm"
    local cache="$LUMO_CACHE/wineprefix-win32"
    rm -rf "$results"
    mkdir -p "$results"
    local started=$SECONDS
    # One test at a time, here as on this machine: the test processes share one Wine session, in
    # which a device-change broadcast of one test reaches the hidden windows of another.
    "$here/vm/run.sh" --timeout 2700 --log "$results/console.log" \
        --share "$results" \
        --share "$LUMO_BUILD/win32/Testing" \
        --share "$LUMO_BUILD/win32/tests/gui/wine-window" \
        --env LUMO_BUILD="$LUMO_BUILD" \
        --env LUMO_WINE_PREFIX_CACHE="$cache" \
        --env LUMO_WINE_PREFIX_IN_PLACE=1 \
        --env LUMO_WINE_PREFIX_SAVE="$results/wineprefix.tar" \
        --env LUMO_SAVE_KILLS="${LUMO_SAVE_KILLS_VM:-0}" \
        -- "$here/wine-tests.sh" "$LUMO_BUILD/win32" "$results/ctest-output.log" -j 1
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
    cp "$results/ctest-output.log" "$LUMO_BUILD/win32/ctest-output.log" 2>/dev/null \
        || echo "(no CTest output came back from the VM)" >"$LUMO_BUILD/win32/ctest-output.log"
    record_suite win32 "$status" "$LUMO_BUILD/win32/ctest-output.log"
}

# run_alsa_vm: the ALSA backend's tests against a real sequencer, inside one boot of the test VM
# (build/linux's CTest label alsa-vm; it skips, clearly, where qemu or the guest kernel cannot be
# had). Counted as a suite of its own.
run_alsa_vm() {
    echo "=== test alsa-vm"
    local log="$LUMO_BUILD/linux/alsa-vm-ctest-output.log"
    local started=$SECONDS
    ctest --test-dir "$LUMO_BUILD/linux" --output-on-failure -L alsa-vm 2>&1 | tee "$log"
    local status=${PIPESTATUS[0]}
    echo "=== alsa-vm: status $status after $((SECONDS - started)) s"
    if grep -q 'Skipped' "$log"; then
        skipped+=("alsa-vm (no qemu or guest kernel; see $log)")
    fi
    record_suite alsa-vm "$status" "$log"
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

configuration() {
    local name="$1"
    shift
    if ! wanted "$name"; then
        skipped+=("$name (not in LUMO_CONFIGS)")
        return 1
    fi
    local started=$SECONDS
    if lumo_build "$name" "$@"; then
        return 0
    fi
    echo "=== build $name FAILED after $((SECONDS - started)) s"
    failed+=("$name (build)")
    return 1
}

t0=$SECONDS
if configuration linux -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_BUILD_BENCHMARKS=ON; then
    # The JACK tests start servers of their own; ones killed on earlier runs must not use up the
    # machine's server slots.
    "$here/jack-clear-stale.sh"
    run_suite linux -j 2 -LE alsa-vm
    run_alsa_vm
fi
echo "=== linux done at $((SECONDS - t0)) s"

if configuration asan -DCMAKE_BUILD_TYPE=Debug -DLUMO_SANITIZE=address,undefined -DLUMO_BUILD_APP=OFF; then
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        run_suite asan -j 2
fi
echo "=== asan done at $((SECONDS - t0)) s"

if configuration tsan -DCMAKE_BUILD_TYPE=Debug -DLUMO_SANITIZE=thread -DLUMO_BUILD_APP=OFF; then
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_suite tsan -j 2
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
if configuration win32 -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$LUMO_ROOT/cmake/mingw-i686.cmake"; then
    if why="$("$here/wine-probe.sh")"; then
        echo "=== test win32"
        "$here/wine-tests.sh" "$LUMO_BUILD/win32" "$LUMO_BUILD/win32/ctest-output.log" -j 1
        record_suite win32 $? "$LUMO_BUILD/win32/ctest-output.log"
    else
        echo "=== test win32 in the test VM: $why"
        run_win32_in_vm
    fi
fi
echo "=== win32 done at $((SECONDS - t0)) s"

# The same Windows sources built for 64-bit run under Wine's 64-bit loader, which needs no 32-bit
# support from the kernel: the Windows code paths are exercised on every machine. The shipped
# program is the 32-bit one; the 64-bit program of the same sources ships beside it and is run
# here for real (front plate, port dialog, clean exit, settings file) on the virtual display.
if configuration win64 -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$LUMO_ROOT/cmake/mingw-x86_64.cmake"; then
    echo "=== test win64"
    LUMO_WINE_ARCH=win64 WINEPREFIX="$LUMO_BUILD/wineprefix64" \
        "$here/wine-tests.sh" "$LUMO_BUILD/win64" "$LUMO_BUILD/win64/ctest-output.log" -j 1
    record_suite win64 $? "$LUMO_BUILD/win64/ctest-output.log"
    echo "=== test win64-app"
    if LUMO_WINE_ARCH=win64 WINEPREFIX="$LUMO_BUILD/wineprefix64" \
            python3 "$LUMO_ROOT/tests/gui/wine_app_tests.py" "$LUMO_BUILD/win64/app/lumo.exe" \
            "$LUMO_BUILD/win64/wine-app"; then
        passed+=("win64-app")
    else
        failed+=("win64-app")
    fi
    # Settings files it cannot trust, a read-only one or folder, a full disk and a dump file in the
    # way, each with a fresh start of lumo.exe in one Wine session (about 45 s).
    echo "=== test win64-hostile-settings"
    if python3 "$LUMO_ROOT/tests/gui/wine_hostile_settings_tests.py" "$LUMO_BUILD/win64/app/lumo.exe" \
            "$LUMO_BUILD/win64/wine-hostile-settings"; then
        passed+=("win64-hostile-settings")
    else
        failed+=("win64-hostile-settings")
    fi
    wineserver -k 2>/dev/null || true
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
echo "total: $tests_passed passed, $tests_failed failed"
if [ ${#failed[@]} -ne 0 ]; then
    exit 1
fi
