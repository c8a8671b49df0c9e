#!/usr/bin/env bash
# Builds the release package (CPack's Orlune-<version>-win64.zip of the installed application
# directory) and unpacks it into OUT_DIR, where the Windows tests run the programs from: what
# ships is what is tested. Prints the unpacked application directory as its last line.
# Usage: package.sh BUILD_DIR OUT_DIR
set -euo pipefail

build=$1 out=$2
cmake --build "$build" --target package >"$build/package.log" 2>&1 ||
  { cat "$build/package.log" >&2; echo "FAIL: cpack failed" >&2; exit 1; }
zip=$(find "$build/package" -maxdepth 1 -name 'Orlune-*-win64.zip' -newer "$build/CMakeCache.txt" | head -n1)
[ -n "$zip" ] || { echo "FAIL: no Orlune-<version>-win64.zip in $build/package" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out"
(cd "$out" && cmake -E tar xf "$zip")
app="$out/$(basename "$zip" .zip)"
[ -f "$app/Orlune.exe" ] || { echo "FAIL: $zip does not hold Orlune.exe in $(basename "$app")/" >&2; exit 1; }
echo "package: $(basename "$zip"), $(stat -c %s "$zip") bytes, $(find "$app" -type f | wc -l) files"
echo "$app"
