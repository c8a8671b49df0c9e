#!/usr/bin/env bash
# The wine wrapper against a scripted stand-in for wine: silent start-up losses are run again,
# every real result (output, status, arguments, which stream) passes through unchanged.
set -u

wrapper="$(cd "$(dirname "$0")/.." && pwd)/lib/wine-run.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# A stand-in for wine that plays one scripted behaviour per call: "silent:N" exits N with no
# output, "say:N" prints its arguments on stdout and a line on stderr, then exits N, "env:N"
# prints the DLL search path and display it was given, then exits N.
fake_wine() {
    cat >"$work/wine" <<'FAKE'
#!/usr/bin/env bash
dir=$(dirname "$0")
calls=$(($(cat "$dir/calls" 2>/dev/null || echo 0) + 1))
echo "$calls" >"$dir/calls"
step=$(sed -n "${calls}p" "$dir/script")
case "$step" in
silent:*) exit "${step#silent:}" ;;
env:*)
    echo "WINEPATH=$WINEPATH DISPLAY=${DISPLAY:-}"
    exit "${step#env:}"
    ;;
say:*)
    printf '<%s>' "$@"
    echo
    echo "from stderr" >&2
    exit "${step#say:}"
    ;;
esac
exit 99
FAKE
    chmod +x "$work/wine"
    printf '%s\n' "$@" >"$work/script"
    rm -f "$work/calls"
}

run() {
    run_with "$work/wine" "$@"
}

# run_with [WRAPPER OPTIONS...] WINE ARGUMENTS...
run_with() {
    "$wrapper" "$@" >"$work/stdout" 2>"$work/stderr"
    status=$?
    calls=$(cat "$work/calls")
}

# A process lost once before printing anything is started again and its result stands.
fake_wine silent:1 say:0
run prog.exe --gtest_list_tests
[ "$status" -eq 0 ] || fail "lost once: status $status, expected 0"
[ "$calls" -eq 2 ] || fail "lost once: $calls calls, expected 2"
grep -qx '<prog.exe><--gtest_list_tests>' "$work/stdout" || fail "lost once: stdout is '$(cat "$work/stdout")'"
grep -q 'attempt 1 of 3' "$work/stderr" || fail "lost once: the retry is not reported on stderr"

# A failing test that printed is a real result: no second run, status and streams unchanged.
fake_wine say:1 say:0
run prog.exe "an argument with spaces" ''
[ "$status" -eq 1 ] || fail "printed failure: status $status, expected 1"
[ "$calls" -eq 1 ] || fail "printed failure: $calls calls, expected 1"
grep -qx '<prog.exe><an argument with spaces><>' "$work/stdout" || fail "printed failure: stdout is '$(cat "$work/stdout")'"
grep -qx 'from stderr' "$work/stderr" || fail "printed failure: stderr lost"
grep -q 'from stderr' "$work/stdout" && fail "printed failure: stderr leaked into stdout"

# A silent success is a success.
fake_wine silent:0 say:0
run prog.exe
[ "$status" -eq 0 ] || fail "silent success: status $status, expected 0"
[ "$calls" -eq 1 ] || fail "silent success: $calls calls, expected 1"

# A process that is lost every time fails with wine's status after the last attempt.
fake_wine silent:5 silent:6 silent:7 say:0
run prog.exe
[ "$status" -eq 7 ] || fail "always lost: status $status, expected 7"
[ "$calls" -eq 3 ] || fail "always lost: $calls calls, expected 3"

# DLL folders reach wine as its Windows search path, in order and before the caller's; an
# environment file is read when it exists and ignored when it does not.
fake_wine env:0 env:0
echo "export DISPLAY=:42" >"$work/desktop.env"
WINEPATH='C:\extra' run_with --dll-dir "/opt/qt dlls/bin" --dll-dir /usr/lib/rt --env-file "$work/desktop.env" \
    "$work/wine" prog.exe
grep -qxF 'WINEPATH=Z:\opt\qt dlls\bin;Z:\usr\lib\rt;C:\extra DISPLAY=:42' "$work/stdout" ||
    fail "dll folders: stdout is '$(cat "$work/stdout")'"
DISPLAY='' WINEPATH='' run_with --env-file "$work/none.env" "$work/wine" prog.exe
grep -qxF 'WINEPATH= DISPLAY=' "$work/stdout" || fail "no env file: stdout is '$(cat "$work/stdout")'"

[ "$failures" -eq 0 ] && echo "all wine-run cases passed"
exit $((failures > 0))
