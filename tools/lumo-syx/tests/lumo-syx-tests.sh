#!/bin/bash
# Black-box tests of lumo-syx. Usage: lumo-syx-tests.sh CASE TOOL SAMPLES_DIR [EMULATOR...]
#
# Each case writes its input files into a scratch folder, runs the tool there (through the
# emulator when one is given, e.g. Wine for the Windows build) and checks exit status, standard
# output (line ends normalised) and the gist of standard error.
set -u

case_name="$1"
tool="$2"
samples="$3"
shift 3
emulator=("$@")

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

# bytes FILE HEX... : writes the bytes given as hexadecimal pairs.
bytes() {
    local file="$1"
    shift
    local hex escaped=""
    for hex in "$@"; do
        escaped+="\\x$hex"
    done
    printf "$escaped" >> "$work/$file"
}

# repeat FILE COUNT HEX : appends COUNT copies of one byte.
repeat() {
    local i
    for ((i = 0; i < $2; i++)); do
        printf "\\x$3"
    done >> "$work/$1"
}

run() {
    (cd "$work" && "${emulator[@]}" "$tool" "$@") > "$work/stdout.raw" 2> "$work/stderr.raw"
    status=$?
    tr -d '\r' < "$work/stdout.raw" > "$work/stdout"
    tr -d '\r' < "$work/stderr.raw" > "$work/stderr"
}

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

expect_status() {
    [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"
}

expect_stdout() {
    local expected="$1"
    if [ "$(cat "$work/stdout")" != "$expected" ]; then
        fail "standard output differs"
        echo "--- expected" >&2
        printf '%s\n' "$expected" >&2
        echo "--- got" >&2
        cat "$work/stdout" >&2
    fi
}

expect_stdout_contains() {
    grep -qF -- "$1" "$work/stdout" || fail "standard output lacks '$1'"
}

expect_stderr_contains() {
    grep -qF -- "$1" "$work/stderr" || { fail "standard error lacks '$1'"; cat "$work/stderr" >&2; }
}

expect_stderr_clean() {
    ! grep -q 'lumo-syx:' "$work/stderr" || { fail "unexpected report on standard error"; cat "$work/stderr" >&2; }
}

# Display message with the code bytes given (hex), F0 77 ... 75 F7.
display() {
    local file="$1"
    shift
    bytes "$file" F0 77 "$@" 75 F7
}

case "$case_name" in
help)
    run --help
    expect_status 0
    expect_stdout_contains "Usage: lumo-syx [--channel omni|1..16] [--settings FILE] FILE..."
    run -h
    expect_status 0
    ;;
version)
    # The one version of the build, whatever else is on the line.
    run --version
    expect_status 0
    expect_stdout "lumo-syx ${LUMO_EXPECTED_VERSION:?}"
    run --version a.syx
    expect_status 0
    expect_stdout "lumo-syx ${LUMO_EXPECTED_VERSION}"
    run --version --bogus
    expect_status 2
    ;;
no-arguments)
    run
    expect_status 2
    expect_stderr_contains "no input file"
    expect_stderr_contains "Usage: lumo-syx"
    [ ! -s "$work/stdout" ] || fail "usage errors must not print to standard output"
    ;;
bad-options)
    bytes a.syx C0 05
    run --bogus a.syx
    expect_status 2
    expect_stderr_contains "unknown option '--bogus'"
    run a.syx --settings
    expect_status 2
    expect_stderr_contains "needs a value"
    run -x a.syx
    expect_status 2
    ;;
bad-channel)
    bytes a.syx C0 05
    for value in 0 17 -1 x 1a "" 100; do
        run --channel "$value" a.syx
        expect_status 2
        expect_stderr_contains "invalid channel"
    done
    run a.syx --channel
    expect_status 2
    ;;
display-messages)
    # Full message: PROGRAM / 006 plus spaces; 4 bytes; 12 bytes; 13 bytes; 24 bytes;
    # then wrong end marker and wrong manufacturer (nothing printed).
    display m.syx 10 12 0F 07 12 01 0D 00 1B 1B 27 00 00 00 00 00
    display m.syx
    display m.syx 01 02 03 04 05 06 07 08
    display m.syx 01 02 03 04 05 06 07 08 09
    display m.syx 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14
    bytes m.syx F0 77 01 02 03 74 F7
    bytes m.syx F0 78 01 02 03 75 F7
    display m.syx 33 38 36 37 2F 30 31 32
    run m.syx
    expect_status 0
    expect_stdout '"PROGRAM " "006     "
" " ""
"ABCDEFGH" ""
"ABCDEFGH" "I"
"ABCDEFGH" "IJKLMNOP"
"\|._+-*/" ""'
    expect_stderr_clean
    ;;
program-changes)
    bytes p.syx C0 00 C3 05 CF 7F C0 80 C0 05 00
    run p.syx
    expect_status 0
    # C0 80 is incomplete (80 is a status byte); C0 05 00 is C0 05 and a stray 00.
    expect_stdout '"PROGRAM " "001"
"PROGRAM " "006"
"PROGRAM " "128"
"PROGRAM " "006"'
    expect_stderr_contains "incomplete message at offset 6"
    expect_stderr_contains "1 stray data byte(s) at offset 10"
    ;;
channel-filter)
    bytes p.syx C3 05 C0 06 C9 07
    run --channel 4 p.syx
    expect_stdout '"PROGRAM " "006"'
    run --channel=1 p.syx
    expect_stdout '"PROGRAM " "007"'
    run --channel OMNI p.syx
    expect_stdout '"PROGRAM " "006"
"PROGRAM " "007"
"PROGRAM " "008"'
    run --channel 16 p.syx
    expect_stdout ''
    expect_status 0
    ;;
settings-names-and-channel)
    printf '[Current]\nReceiveChannel=9\n\n[Program Names]\nProgram5=ABC\nProgram7=ABCDEFGHIJKLMNOPQRST\nProgram8=\n' > "$work/s.qrcf"
    bytes p.syx C9 05 C9 07 C9 08 C9 06 C3 05
    run --settings s.qrcf p.syx
    expect_status 0
    expect_stdout '"ABC" ""
"ABCDEFGH" "IJKLMNOP"
"PROGRAM " "009"
"PROGRAM " "007"'
    ;;
settings-channel-out-of-range)
    printf '[Current]\nReceiveChannel=20\n' > "$work/s.qrcf"
    bytes p.syx C3 05 CF 01
    run --settings=s.qrcf p.syx
    expect_status 0
    expect_stdout '"PROGRAM " "006"
"PROGRAM " "002"'
    printf '[Current]\nReceiveChannel=abc\n' > "$work/s.qrcf"
    run --settings=s.qrcf p.syx
    expect_stdout '"PROGRAM " "006"
"PROGRAM " "002"'
    ;;
channel-option-overrides-settings)
    printf '[Current]\nReceiveChannel=9\n' > "$work/s.qrcf"
    bytes p.syx C3 05 C9 06
    run --channel 4 --settings s.qrcf p.syx
    expect_stdout '"PROGRAM " "006"'
    run --settings s.qrcf --channel omni p.syx
    expect_stdout '"PROGRAM " "006"
"PROGRAM " "007"'
    ;;
bad-settings-file)
    bytes p.syx C3 05
    run --settings missing.qrcf p.syx
    expect_status 2
    expect_stderr_contains "settings file 'missing.qrcf' cannot be read"
    printf '<?xml version="1.0"?>\n<settings/>\n' > "$work/x.qrcf"
    run --settings x.qrcf p.syx
    expect_status 2
    expect_stderr_contains "is an XML document"
    [ ! -s "$work/stdout" ] || fail "nothing is decoded without the settings asked for"
    ;;
long-sysex-pieces)
    # Exactly 1024 bytes: one piece, a display message.
    bytes exact.syx F0 77 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10
    repeat exact.syx 1004 00
    bytes exact.syx 75 F7
    run exact.syx
    expect_status 0
    expect_stdout '"ABCDEFGH" "IJKLMNOP"'
    # 1025 bytes: a piece of 1024 that does not end in 75 F7 and a piece of one byte (F7).
    bytes over.syx F0 77 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10
    repeat over.syx 1004 00
    bytes over.syx 00 75 F7
    run over.syx
    expect_stdout ''
    # 2048 + 20 bytes: the last piece is F0-less and no display message either; the display
    # message after it is recognised again.
    bytes long.syx F0 77
    repeat long.syx 2064 00
    bytes long.syx 75 F7
    display long.syx 01
    run long.syx
    expect_stdout '"A" ""'
    expect_stderr_clean
    ;;
realtime-inside-sysex)
    bytes r.syx F0 77 01 02 F8 03 04 FE 75 F7
    run r.syx
    expect_status 0
    expect_stdout '"ABCD" ""'
    expect_stderr_clean
    ;;
status-inside-sysex)
    bytes s.syx F0 77 01 02 C0 05 F0 77 03 90 40 7F
    display s.syx 04
    run s.syx
    expect_status 0
    expect_stdout '"PROGRAM " "006"
"D" ""'
    expect_stderr_contains "System Exclusive message at offset 0 ends without F7 at offset 4 (status byte C0)"
    expect_stderr_contains "System Exclusive message at offset 6 ends without F7 at offset 9 (status byte 90)"
    ;;
unterminated-sysex-at-end)
    display u.syx 01
    bytes u.syx F0 77 01 02 75
    run u.syx
    expect_status 0
    expect_stdout '"A" ""'
    expect_stderr_contains "u.syx: System Exclusive message at offset 5 ends without F7 at the end of the file"
    ;;
stray-data-bytes)
    bytes d.syx 05 06 07 C0 05 F7 7F
    run d.syx
    expect_status 0
    expect_stdout '"PROGRAM " "006"'
    expect_stderr_contains "3 stray data byte(s) at offset 0 skipped"
    expect_stderr_contains "2 stray data byte(s) at offset 5 skipped"
    ;;
unreadable-file)
    bytes good.syx C0 05
    run good.syx missing.syx good.syx
    expect_status 2
    expect_stderr_contains "cannot read 'missing.syx'"
    expect_stdout '"PROGRAM " "006"
"PROGRAM " "006"'
    [ "$(grep -c 'lumo-syx:' "$work/stderr")" -eq 1 ] || fail "one line per unreadable file"
    ;;
directory-as-file)
    mkdir "$work/folder.syx"
    run folder.syx
    expect_status 2
    expect_stderr_contains "cannot read 'folder.syx'"
    ;;
files-in-order)
    bytes 1.syx C0 01
    bytes 2.syx C0 02
    # An unterminated System Exclusive at the end of one file does not swallow the next file.
    bytes 2.syx F0 77 01
    bytes 3.syx C0 03
    run 1.syx 2.syx -- 3.syx
    expect_status 0
    expect_stdout '"PROGRAM " "002"
"PROGRAM " "003"
"PROGRAM " "004"'
    ;;
demo-sample)
    cp "$samples/demo.syx" "$work/demo.syx"
    run demo.syx
    expect_status 0
    expect_stdout '"VERSION " "1.1     "
"PROGRAM " "006"
"HELLO   " "WORLD   "
"PROGRAM " "128"
" " ""'
    expect_stderr_clean
    run --channel 1 demo.syx
    expect_stdout '"VERSION " "1.1     "
"PROGRAM " "006"
"HELLO   " "WORLD   "
" " ""'
    ;;
*)
    echo "unknown case '$case_name'" >&2
    exit 2
    ;;
esac

if [ "$failures" -ne 0 ]; then
    echo "$case_name: $failures check(s) failed" >&2
    exit 1
fi
echo "$case_name: passed"
