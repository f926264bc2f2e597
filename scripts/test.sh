#!/bin/bash
# Installs what the project needs, then builds and runs every test: Linux, Linux with
# AddressSanitizer + UndefinedBehaviorSanitizer, with ThreadSanitizer, the 32-bit Windows build
# under Wine (where the kernel can run 32-bit programs) and a 64-bit Windows build under Wine.
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

# run_suite NAME CTEST-ARGS...: runs ctest in $LUMO_BUILD/NAME and records the outcome.
run_suite() {
    local name="$1"
    shift
    echo "=== test $name"
    local log="$LUMO_BUILD/$name/ctest-output.log"
    ctest --test-dir "$LUMO_BUILD/$name" --output-on-failure "$@" 2>&1 | tee "$log"
    if [ "${PIPESTATUS[0]}" -eq 0 ]; then
        passed+=("$name")
    else
        failed+=("$name")
    fi
    # "100% tests passed, 0 tests failed out of 42"
    local summary
    summary="$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)"
    if [ -n "$summary" ]; then
        local total bad
        total="$(echo "$summary" | sed -E 's/.*out of ([0-9]+).*/\1/')"
        bad="$(echo "$summary" | sed -E 's/.*, ([0-9]+) tests? failed.*/\1/')"
        tests_passed=$((tests_passed + total - bad))
        tests_failed=$((tests_failed + bad))
    fi
}

configuration() {
    local name="$1"
    shift
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
    run_suite linux -j 2
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

# Wine creates windows (the hidden message windows included) only with an X display: one virtual
# display serves the prefixes, their servers and every Windows test process.
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

# The Windows build is always cross-compiled (warnings are errors there too); its tests run under
# Wine wherever the kernel can execute 32-bit programs.
export WINEPREFIX="$LUMO_BUILD/wineprefix"
if configuration win32 -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$LUMO_ROOT/cmake/mingw-i686.cmake"; then
    if why="$("$here/wine-probe.sh")"; then
        rm -rf "$WINEPREFIX"
        "$here/wine-prefix.sh"
        run_suite win32 -j 1
        wineserver -k 2>/dev/null || true
    else
        echo "=== test win32 NOT RUN: $why"
        skipped+=("win32 (built, not run: $why)")
    fi
fi
echo "=== win32 done at $((SECONDS - t0)) s"

# The same Windows sources built for 64-bit run under Wine's 64-bit loader, which needs no 32-bit
# support from the kernel: the Windows code paths are exercised on every machine. The shipped
# program is the 32-bit one; the 64-bit program of the same sources ships beside it and is run
# here for real (front plate, port dialog, clean exit, settings file) on the virtual display.
if configuration win64 -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$LUMO_ROOT/cmake/mingw-x86_64.cmake"; then
    export LUMO_WINE_ARCH=win64
    export WINEPREFIX="$LUMO_BUILD/wineprefix64"
    rm -rf "$WINEPREFIX"
    "$here/wine-prefix.sh"
    run_suite win64 -j 1
    wineserver -k 2>/dev/null || true
    echo "=== test win64-app"
    if python3 "$LUMO_ROOT/tests/gui/wine_app_tests.py" "$LUMO_BUILD/win64/app/lumo.exe" \
            "$LUMO_BUILD/win64/wine-app"; then
        passed+=("win64-app")
    else
        failed+=("win64-app")
    fi
    unset LUMO_WINE_ARCH
fi
echo "=== win64 done at $((SECONDS - t0)) s"
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
