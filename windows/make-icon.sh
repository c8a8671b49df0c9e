#!/usr/bin/env bash
# Renders the product mark into the programs' icon file. Run after the mark changes; the
# result is kept in the repository so that builds need neither tool.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
pngs=()
for size in 16 20 24 32 40 48 64 256; do
    rsvg-convert -w "$size" -h "$size" "$here/../assets/skin/logo.svg" -o "$work/$size.png"
    pngs+=("$work/$size.png")
done
convert "${pngs[@]}" "$here/orlune.ico"
