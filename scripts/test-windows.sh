#!/usr/bin/env bash
# Cross-compiles the OS layer and its tests for Windows and runs them under wine.
# Usage: scripts/test-windows.sh [extra ctest arguments...]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/win32"
echo "test-windows: the OS layer and its tests cross-compiled for Windows, then run under wine (a few minutes)"

"$root/scripts/install-deps.sh" windows

# The prefix lives in the build tree, never in $HOME; wine must not touch the desktop.
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
unset DISPLAY

cmake --preset win32 -S "$root" >/dev/null
cmake --build "$build" -j2

mkdir -p "$WINEPREFIX"
# One server for the whole run: without it every test process waits for the server to exit.
# A server left over from an interrupted run of this prefix is stopped first.
wineserver -k </dev/null >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
[ -f "$WINEPREFIX/system.reg" ] || echo "test-windows: creating the wine prefix (once)"
wine cmd /c exit 0 </dev/null >/dev/null 2>&1

cd "$root"
ctest --preset win32 "$@"
