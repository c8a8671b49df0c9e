#!/usr/bin/env bash
# Builds Qt for Windows from Debian's source (or reuses the cached build), the programs and the
# Qt test suites for Windows with it, and runs the suites and the programs' end-to-end tests
# under wine on a virtual desktop; counts the suites' results, then prints the start-up
# benchmark (figures only, it never fails the run).
# Usage: scripts/test-winqt.sh [extra ctest arguments...]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/windows"
echo "test-winqt: Qt for Windows (from the cache, or built once from Debian's source: about 30" \
  "minutes), then the programs and test suites for Windows (several minutes), then the suites" \
  "and the end-to-end tests under wine"
"$root/scripts/install-deps.sh" build windows
mkdir -p "$build"

# It says itself what it does and how far it is; its only line on stdout is the folder.
ORLUNE_QT_WINDOWS=$("$root/scripts/build-qt-windows.sh") ||
  { echo "test-winqt: no Qt for Windows, so no programs for Windows to test" >&2; exit 1; }
export ORLUNE_QT_WINDOWS

started=$SECONDS
# A build tree made with another Qt for Windows is configured afresh.
fresh=()
[ -f "$build/CMakeCache.txt" ] && ! grep -qF "$ORLUNE_QT_WINDOWS/" "$build/CMakeCache.txt" && fresh=(--fresh)
(cd "$root" && cmake --preset windows "${fresh[@]}" >/dev/null)
cmake --build "$build" -j2
echo "test-winqt: programs and test suites for Windows built in $((SECONDS - started)) s"

# The suites' listing runs come before any test and need the prefix: it is made now. Its
# server is then ended: one kept from here on, without a display, kept the shared desktop from
# starting (its notification area could not open the display). The desktop's first test starts
# the one server all tests use.
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY
# The display of an earlier, interrupted run is gone.
rm -f "$build/wine-desktop/env"
mkdir -p "$WINEPREFIX"
wineserver -k </dev/null >/dev/null 2>&1 || true
[ -f "$WINEPREFIX/system.reg" ] || echo "test-winqt: creating the wine prefix $WINEPREFIX (once)"
wine cmd /c exit 0 </dev/null >/dev/null 2>&1
wineserver -k </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT

cd "$root"
rc=0
junit="$build/wine-tests.xml"
rm -f "$junit"
ctest --preset windows --output-junit "$junit" "$@" || rc=$?
# At least this many suite tests pass under wine in a whole run; fewer means a suite went missing.
at_least=190
[ $# -eq 0 ] || at_least=0
if [ -f "$junit" ]; then
  python3 "$root/scripts/lib/wine-suite-summary.py" "$junit" --at-least "$at_least" || rc=1
else
  echo "test-winqt: ctest wrote no results ($junit)"
  rc=1
fi
bash "$root/bench/wine_startup_bench.sh" "$build" || echo "test-winqt: the start-up benchmark did not complete"
exit "$rc"
