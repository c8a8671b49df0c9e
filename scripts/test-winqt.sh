#!/usr/bin/env bash
# Builds Qt for Windows from Debian's source (or reuses the cached build), the programs for
# Windows with it, and runs their end-to-end tests under wine on a virtual desktop; then prints
# the start-up benchmark (figures only, it never fails the run).
# Usage: scripts/test-winqt.sh [extra ctest arguments...]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/windows"
"$root/scripts/install-deps.sh" build windows
mkdir -p "$build"

started=$SECONDS
if ! "$root/scripts/build-qt-windows.sh" >"$build/qt-build.log" 2>&1; then
  tail -n 40 "$build/qt-build.log"
  echo "test-winqt: building Qt for Windows failed (log: $build/qt-build.log)" >&2
  exit 1
fi
ORLUNE_QT_WINDOWS=$(tail -n1 "$build/qt-build.log")
export ORLUNE_QT_WINDOWS
echo "test-winqt: Qt for Windows in $ORLUNE_QT_WINDOWS ($((SECONDS - started)) s)"

started=$SECONDS
# A build tree made with another Qt for Windows is configured afresh.
fresh=()
[ -f "$build/CMakeCache.txt" ] && ! grep -qF "$ORLUNE_QT_WINDOWS/" "$build/CMakeCache.txt" && fresh=(--fresh)
(cd "$root" && cmake --preset windows "${fresh[@]}" >/dev/null)
cmake --build "$build" -j2
echo "test-winqt: programs for Windows built in $((SECONDS - started)) s"

cd "$root"
rc=0
ctest --preset windows "$@" || rc=$?
bash "$root/bench/wine_startup_bench.sh" "$build" || echo "test-winqt: the start-up benchmark did not complete"
exit "$rc"
