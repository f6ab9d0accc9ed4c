#!/usr/bin/env bash
# Runs the Windows program under Wine and checks what only the Windows build does: UTF-8 paths
# through its manifest (quoted, and as separate unquoted words), "\" in the paths it builds, the
# null device under --check, the pause on by default, its own folder found when it is started
# through PATH, REAPER's cache under APPDATA, and every real session converted to the Linux
# build's project, byte for byte apart from the way the session's folders are spelt, and so
# are sessions of EQ3 7-Bands and of Channel Strips built in bytes (by lanwick_eq_session, beside
# the Linux program).
#
#   tools/windows_check.sh [lanwick.exe] [Linux lanwick] [lanwick_tests.exe]
#
# Defaults: build/windows/lanwick.exe and build/test/lanwick; the unit tests' Windows build
# (the windows-tests preset) runs too when it is named. Prints one line per check and
# closes with "windows: N passed, N failed"; exits 1 when any check failed. The real-session
# checks are skipped, saying so, when ../shared/sessions is absent.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/windows/lanwick.exe}
linux=${2:-$root/build/test/lanwick}
unit_tests=${3:-}
# The checks run from folders of their own: the programs are named by absolute paths.
exe=$(realpath -m "$exe")
linux=$(realpath -m "$linux")
[ -n "$unit_tests" ] && unit_tests=$(realpath -m "$unit_tests")

wine=$(command -v wine || command -v wine64 || true)
[ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
wineserver=$(command -v wineserver || true)
[ -z "$wineserver" ] && [ -x /usr/lib/wine/wineserver ] && wineserver=/usr/lib/wine/wineserver
if [ -z "$wine" ] || [ ! -f "$exe" ]; then
    echo "windows: cannot run: wine (${wine:-not found}) or $exe is missing"
    echo "windows: 0 passed, 1 failed"
    exit 1
fi

work=$(mktemp -d)
finish() {
    [ -n "$wineserver" ] && "$wineserver" -k >/dev/null 2>&1
    rm -rf "$work"
}
trap finish EXIT

# A prefix of its own, no display, no Mono or Gecko installers, no Wine chatter.
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

passed=0
failed=0
pass() {
    passed=$((passed + 1))
    echo "  ok    $1"
}
fail() {
    failed=$((failed + 1))
    echo "  FAIL  $1"
    [ $# -gt 1 ] && printf '%s\n' "$2" | head -n 20 | sed 's/^/        /'
    return 0
}

# The Windows spelling of a Unix path, through Wine's Z: drive.
winpath() {
    local p=$1
    printf 'Z:%s' "${p//\//\\}"
}

# lanwick.exe (or the given copy of it) with the arguments, in the current folder, stdin empty;
# standard output to $out, the exit code to $rc.
out=$work/out.txt
run_exe() {
    local program=$1
    shift
    "$wine" "$program" "$@" </dev/null >"$out" 2>"$work/err.txt"
    rc=$?
}
has() { grep -qF -- "$1" "$out"; }
# The project texts agree but for the spelling of the session's folders: the Linux project's
# FILE paths, respelt with Z: and "\" throughout, are the Windows project's.
respell='/^ *FILE ["'"'"'`]\//{s|/|\\|g;s|^\( *FILE .\)\\|\1Z:\\|}'

echo "windows: $exe under $("$wine" --version 2>/dev/null || echo wine)"
"$wine" wineboot -i >/dev/null 2>&1

# --- Checks that need no session ----------------------------------------------------------------
mkdir -p "$work/empty" && cd "$work/empty"

run_exe "$exe" --help
if [ "$rc" = 0 ] && has "lanwick: convert a Pro Tools session to a REAPER project" &&
    ! has "Press Enter to close."; then
    pass "--help: code 0, no pause"
else
    fail "--help: code $rc" "$(cat "$out")"
fi

run_exe "$exe"
if [ "$rc" = 1 ] && has "lanwick: drag a .ptx file onto this program." &&
    has "Press Enter to close."; then
    pass "no session: code 1, and the pause is on by default"
else
    fail "no session: code $rc" "$(cat "$out")"
fi
run_exe "$exe" --no-pause
if [ "$rc" = 1 ] && ! has "Press Enter to close."; then
    pass "--no-pause: no pause"
else
    fail "--no-pause: code $rc" "$(cat "$out")"
fi

# An older session is refused by its name: a non-ASCII name must arrive whole to be found.
mkdir -p "$work/old ż"
printf 'older session' >"$work/old ż/Stara sesja ą.ptf"
run_exe "$exe" "$(winpath "$work/old ż/Stara sesja ą.ptf")" --no-pause
if [ "$rc" = 1 ] && has "Reason: this is an OLDER Pro Tools session format"; then
    pass "a .ptf session with a non-ASCII name: refused as older, code 1"
else
    fail "a .ptf session with a non-ASCII name: code $rc" "$(cat "$out")"
fi

# --learn started through PATH from another folder writes beside the program, in a folder whose
# name is not ASCII.
program_dir="$work/Program ż"
mkdir -p "$program_dir" "$work/learn"
cp "$exe" "$program_dir/lanwick.exe"
# The state header: identifier, magic FEED5EEE, 2 inputs and 2 outputs with 8-byte pin masks,
# chunk size 0, the constant 1, tail word 0.
masks=$(printf '\\x03%.0s' {1..16})
header=$(printf "\x78\x56\x34\x12\xee\x5e\xed\xfe\x02\x00\x00\x00${masks}\x02\x00\x00\x00${masks}"\
"\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00" | base64 -w0)
printf '<REAPER_FXCHAIN\r\n  <VST "VST: Qzzy EQ (Qzzy)" qzzy.dll 0 "" 1366952817<56535451> ""\r\n    %s\r\n  >\r\n>\r\n' \
    "$header" >"$work/learn/one.RfxChain"
cd "$work/learn"
WINEPATH=$(winpath "$program_dir") run_exe lanwick.exe --learn one.RfxChain QzzyQzEq --no-pause
table="$program_dir/lanwick-plugins.txt"
if [ "$rc" = 0 ] && [ -f "$table" ] && [ ! -e "$work/learn/lanwick-plugins.txt" ] &&
    has "appended to $(winpath "$table")" &&
    grep -qxF "QzzyQzEq | VST: Qzzy EQ (Qzzy) | qzzy.dll | 1366952817<56535451> | 2 | 2 | 0" \
        <(tr -d '\r' <"$table"); then
    pass "--learn through PATH: the table lies beside the program"
else
    fail "--learn through PATH: code $rc" "$(cat "$out")"
fi
# Learning the signature again replaces its line: the new table is moved over the old one.
sed 's/qzzy\.dll/qzzy2.dll/' "$work/learn/one.RfxChain" >"$work/learn/two.RfxChain"
WINEPATH=$(winpath "$program_dir") run_exe lanwick.exe --learn two.RfxChain QzzyQzEq --no-pause
if [ "$rc" = 0 ] && has "replaced the line for QzzyQzEq" &&
    [ "$(tr -d '\r' <"$table")" = \
        "QzzyQzEq | VST: Qzzy EQ (Qzzy) | qzzy2.dll | 1366952817<56535451> | 2 | 2 | 0" ]; then
    pass "--learn again: the line is replaced in place"
else
    fail "--learn again: code $rc" "$(cat "$out" "$table")"
fi

# --- Checks with the real sessions --------------------------------------------------------------
sessions_dir="$root/../shared/sessions"
if [ ! -d "$sessions_dir" ]; then
    echo "  skip  the real-session checks: $sessions_dir is absent"
else
    sessions=$(cd "$sessions_dir" && pwd -P)
    if [ ! -x "$linux" ]; then
        fail "the Linux program $linux is missing"
    else
        mkdir -p "$work/linux" "$work/win" "$work/run"
        cd "$work/run"
        for session in "$sessions"/*.ptx; do
            name=$(basename "$session" .ptx)
            "$linux" "$session" -o "$work/linux/$name.rpp" --no-pause >/dev/null 2>&1
            linux_rc=$?
            run_exe "$exe" "$(winpath "$session")" -o "$(winpath "$work/win/$name.rpp")" --no-pause
            if [ "$rc" != "$linux_rc" ] || [ ! -f "$work/win/$name.rpp" ]; then
                fail "$name.ptx: code $rc on Windows, $linux_rc on Linux" "$(cat "$out")"
                continue
            fi
            sed "$respell" "$work/linux/$name.rpp" >"$work/linux/$name.respelt.rpp"
            if cmp -s "$work/linux/$name.respelt.rpp" "$work/win/$name.rpp"; then
                pass "$name.ptx: the Linux build's project"
            else
                fail "$name.ptx: the projects differ" \
                    "$(diff "$work/linux/$name.respelt.rpp" "$work/win/$name.rpp")"
            fi
        done
        for older in "$sessions"/*.ptf "$sessions"/*.pts; do
            [ -f "$older" ] || continue
            run_exe "$exe" "$(winpath "$older")" --no-pause
            if [ "$rc" = 1 ] && has "OLDER Pro Tools session format"; then
                pass "$(basename "$older"): refused as older, code 1"
            else
                fail "$(basename "$older"): code $rc" "$(cat "$out")"
            fi
        done
    fi

    # A session whose folder and name hold non-ASCII letters and blanks.
    song_dir="$work/Łódź mix"
    mkdir -p "$song_dir"
    cp "$sessions/RegionTest.ptx" "$song_dir/ąčę Song.ptx"
    audio="FILE \"$(winpath "$song_dir")\\Audio Files\\region_name_WAV.wav\""
    cd "$work/run"
    run_exe "$exe" "$(winpath "$song_dir/ąčę Song.ptx")" --no-pause
    if [ "$rc" = 0 ] && [ -f "$song_dir/ąčę Song.rpp" ] &&
        grep -qF -- "$audio" "$song_dir/ąčę Song.rpp"; then
        pass "\"ąčę Song.ptx\" quoted: converted beside itself, its audio path in \"\\\""
        mv "$song_dir/ąčę Song.rpp" "$work/quoted.rpp"
    else
        fail "\"ąčę Song.ptx\" quoted: code $rc" "$(cat "$out"; grep FILE "$song_dir"/*.rpp)"
    fi
    # Dragged without quotes, the path arrives as separate words.
    run_exe "$exe" "$(winpath "$work/Łódź")" "mix\\ąčę" "Song.ptx" --no-pause
    if [ "$rc" = 0 ] && [ -f "$song_dir/ąčę Song.rpp" ] &&
        cmp -s "$song_dir/ąčę Song.rpp" "$work/quoted.rpp"; then
        pass "ąčę Song.ptx as unquoted words: the same project"
    else
        fail "ąčę Song.ptx as unquoted words: code $rc" "$(cat "$out")"
    fi
    rm -f "$song_dir/ąčę Song.rpp"

    # --check: the project goes to NUL; nothing appears beside the session or in the current
    # folder.
    before=$(ls -A "$song_dir" "$work/run")
    run_exe "$exe" "$(winpath "$song_dir/ąčę Song.ptx")" --check --no-pause
    after=$(ls -A "$song_dir" "$work/run")
    if [ "$rc" = 0 ] && [ "$before" = "$after" ] && has "--check: nothing was written."; then
        pass "--check: code 0, nothing written"
    else
        fail "--check: code $rc" "$(diff <(echo "$before") <(echo "$after"); cat "$out")"
    fi

    # A conversion from a third folder reads the learned table beside the program and REAPER's
    # cache under APPDATA.
    appdata=$("$wine" cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
    appdata_unix=$("$wine" winepath -u "$appdata" 2>/dev/null | tr -d '\r')
    mkdir -p "$appdata_unix/REAPER" "$work/third"
    printf '[vstcache]\nreaeq.dll=00A1B2C3D4E5F601,1919247729,ReaEQ (Cockos)\n' \
        >"$appdata_unix/REAPER/reaper-vstplugins64.ini"
    cd "$work/third"
    WINEPATH=$(winpath "$program_dir") run_exe lanwick.exe "$(winpath "$song_dir/ąčę Song.ptx")" \
        --check --no-pause
    if [ "$rc" = 0 ] && has "  1 plug-in(s) learned from lanwick-plugins.txt" &&
        has "  plug-in cache: 1 entries from $appdata\\REAPER\\reaper-vstplugins64.ini"; then
        pass "through PATH from a third folder: the learned table and the APPDATA cache are read"
    else
        fail "through PATH from a third folder: code $rc" "$(cat "$out")"
    fi
fi

# --- Sessions of EQ3s and Channel Strips built in bytes ------------------------------------------
# The EQ fit is a chaotic search: the Windows build must make every decision the Linux build
# makes, so both write the same ReaEQ states; the Channel Strips' ReaEQ, ReaGate and ReaComp
# states (at 48 and 44.1 kHz) are worked out from the same elementary functions.
# REAPER names its own plug-ins' files by platform: reaeq.vst.so on Linux is reaeq.dll there.
reaper_files='s/^\( *<VST "VST: [^"]*" [a-z0-9_]*\)\.vst\.so /\1.dll /'
eq_tool=$(dirname "$linux")/lanwick_eq_session
if [ ! -x "$linux" ] || [ ! -x "$eq_tool" ]; then
    fail "the Linux program $linux or the session builder $eq_tool is missing"
else
    mkdir -p "$work/eq" "$work/eq-linux" "$work/eq-win" && cd "$work/eq"
    "$eq_tool" "$work/eq" 8
    for session in "$work/eq"/*.ptx; do
        name=$(basename "$session" .ptx)
        "$linux" "$session" -o "$work/eq-linux/$name.rpp" --no-pause >/dev/null 2>&1
        linux_rc=$?
        run_exe "$exe" "$(winpath "$session")" -o "$(winpath "$work/eq-win/$name.rpp")" --no-pause
        sed -e "$respell" -e "$reaper_files" "$work/eq-linux/$name.rpp" \
            >"$work/eq-linux/$name.respelt.rpp"
        if [ "$rc" = "$linux_rc" ] && [ -f "$work/eq-win/$name.rpp" ] &&
            cmp -s "$work/eq-linux/$name.respelt.rpp" "$work/eq-win/$name.rpp"; then
            pass "$name.ptx (built in bytes): the Linux build's project"
        else
            fail "$name.ptx: code $rc on Windows, $linux_rc on Linux, or the projects differ" \
                "$(diff "$work/eq-linux/$name.respelt.rpp" "$work/eq-win/$name.rpp" | head -n 20)"
        fi
    done
fi

# --- The unit tests built for Windows -------------------------------------------------------------
if [ -n "$unit_tests" ]; then
    mkdir -p "$work/unit" && cd "$work/unit"
    "$wine" "$unit_tests" </dev/null >"$work/unit.txt" 2>&1
    unit_rc=$?
    count() {
        local n
        n=$(sed -n "s/^\[$1\] \([0-9]*\) tests\{0,1\}[ .,].*/\1/p" "$work/unit.txt" | head -n 1)
        echo "${n:-0}"
    }
    summary="$(count ==========) ran, $(count '  PASSED  ') passed, $(count '  SKIPPED ') skipped"
    if [ "$unit_rc" = 0 ]; then
        pass "the unit tests under Wine: $summary"
    else
        fail "the unit tests under Wine: code $unit_rc" "$(grep -E '^\[  FAILED  \]|Failure' "$work/unit.txt")"
    fi
fi

echo "windows: $passed passed, $failed failed"
[ "$failed" = 0 ]
