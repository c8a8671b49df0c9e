#!/usr/bin/env bash
# Runs one cross-compiled program under wine for ctest (test discovery and test runs).
#
# Wine now and then loses a process before its main() runs: it exits non-zero at once and
# prints nothing at all. A GoogleTest program prints (and flushes) before any test can fail,
# so "non-zero and silent" is never a test's own result; such a run is started again, at most
# twice, and each retry is said on stderr so that it shows in the test's output. Every other
# result, pass or fail, is passed on unchanged.
#
# Usage: wine-run.sh [--dll-dir DIR]... [--env-file FILE] WINE program.exe [arguments...]
#   --dll-dir   a folder of the DLLs the program imports (Qt's, the toolchain's), searched
#               after the program's own folder; it reaches the processes the program starts
#   --env-file  a file of shell exports (a shared desktop's DISPLAY), read when it exists
set -u

dll_path=""
while [ $# -gt 0 ]; do
    case "$1" in
    --dll-dir)
        dir=$(realpath -m "$2")
        dll_path="${dll_path:+$dll_path;}Z:${dir//\//\\}"
        shift 2
        ;;
    --env-file)
        # shellcheck disable=SC1090 # a file of exports written at run time
        [ -f "$2" ] && . "$2"
        shift 2
        ;;
    *) break ;;
    esac
done
[ -z "$dll_path" ] || export WINEPATH="$dll_path${WINEPATH:+;$WINEPATH}"

wine=$1
shift
attempts=3

out=$(mktemp) && err=$(mktemp) || exit 125
trap 'rm -f "$out" "$err"' EXIT

for ((attempt = 1; attempt <= attempts; ++attempt)); do
    "$wine" "$@" >"$out" 2>"$err"
    rc=$?
    if [ "$rc" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ] || [ "$attempt" -eq "$attempts" ]; then
        cat "$out"
        cat "$err" >&2
        exit "$rc"
    fi
    echo "wine-run: $1 ended with status $rc before printing anything (attempt $attempt of $attempts); starting it again" >&2
done
