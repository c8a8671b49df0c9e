#!/usr/bin/env bash
# Builds Qt for Windows from Debian's source (or reuses the cached build), the programs for
# Windows with it, and runs their end-to-end tests under wine on a virtual desktop; then prints
# the start-up benchmark (figures only, it never fails the run).
# Usage: scripts/test-winqt.sh [extra ctest arguments...]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/windows"
echo "test-winqt: Qt for Windows (from the cache, or built once from Debian's source: about 30" \
  "minutes), then the programs for Windows (a few minutes), then their end-to-end tests under wine"
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
echo "test-winqt: programs for Windows built in $((SECONDS - started)) s"

cd "$root"
rc=0
ctest --preset windows "$@" || rc=$?
bash "$root/bench/wine_startup_bench.sh" "$build" || echo "test-winqt: the start-up benchmark did not complete"
exit "$rc"
