#!/usr/bin/env bash
# Benchmark, prints figures and never fails a build: start-up of the tray to its icon docked in
# the notification area, the Windows program under wine beside the native program, in the same
# run on one virtual desktop (Xvfb, a small window manager, trayer). Three starts of each; the
# wine server is kept running, as on the desktop tests.
# Usage: bench/wine_startup_bench.sh WINDOWS_BUILD_DIR [NATIVE_APPDIR]
#   NATIVE_APPDIR defaults to build/release/appdir, else build/debug/appdir.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
windows_build=$(realpath -m "$1")
native=${2:-}
for candidate in "$root/build/release/appdir" "$root/build/debug/appdir"; do
  [ -n "$native" ] || { [ -x "$candidate/Orlune_DizovuvOdiv" ] && native=$candidate; }
done
rounds=3
# The unpacked release package that the winqt stage's tests run from.
windows_app=$(find "$windows_build/package/unpacked" -mindepth 1 -maxdepth 1 -name 'Orlune-*-win64' 2>/dev/null | head -n1)
if [ -z "$windows_app" ]; then
  echo "bench wine_startup: no unpacked package in $windows_build/package/unpacked (ctest -R winqt.package)"
  exit 0
fi

# shellcheck source=../scripts/lib/xdesktop.sh
. "$root/scripts/lib/xdesktop.sh"
# shellcheck source=../windows/wine/winqt.sh
. "$root/windows/wine/winqt.sh"

work=$(mktemp -d)
pid=""
cleanup() {
  [ -z "$pid" ] || kill -9 "$pid" 2>/dev/null
  wineserver -k </dev/null >/dev/null 2>&1
  xd_stop "${wm_pid:-}"
  xd_stop_desktop
  rm -rf "$work"
}
trap cleanup EXIT

export WINEPREFIX="$windows_build/wineprefix" WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
xd_start_display "$work" || exit 0
evilwm -snap 0 >/dev/null 2>&1 &
wm_pid=$!
xd_start_trayer "$work"
wq_wait_tray_host "$work" || exit 0
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit 0 </dev/null >/dev/null 2>&1
mkdir -p "$work/run" && chmod 700 "$work/run"
export XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"

# measure FINDER PROGRAM...: one start, prints the milliseconds to the docked icon.
measure() {
  local finder=$1 start now
  shift
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 </dev/null &
  pid=$!
  if ! xd_wait 30 "$finder" >/dev/null; then
    echo "-"
  else
    now=$(date +%s%N)
    echo $(((now - start) / 1000000))
  fi
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  pid=""
  xd_wait 10 eval "! $finder >/dev/null"
}

# The native tray's icon window carries the program's own class (winqt.sh set the wine one).
native_icon() { XD_TRAY_CLASS=Orlune_DizovuvOdiv xd_find_icon; }

median() { printf '%s\n' "$@" | grep -v -- - | sort -n | awk '{a[NR]=$1} END {print (NR ? a[int((NR + 1) / 2)] : "-")}'; }

for side in wine native; do
  if [ "$side" = native ] && [ -z "$native" ]; then
    echo "bench wine_startup: no native build (build/release or build/debug); native side left out"
    continue
  fi
  [ "$side" = native ] && echo "bench wine_startup: native tray from $native"
  app="$work/$side"
  mkdir -p "$app"
  if [ "$side" = wine ]; then
    # The application directory as the package ships it, with Qt's DLLs and plugins.
    cp -r "$windows_app"/. "$app/"
    program=(wine "$app/Orlune_DizovuvOdiv.exe")
    finder=wq_find_icon
  else
    cp "$native/Orlune_DizovuvOdiv" "$app/"
    program=("$app/Orlune_DizovuvOdiv")
    finder=native_icon
  fi
  [ "$side" = wine ] || cp -r "$windows_app/Skin" "$windows_app/translation" "$app/"
  printf '[product]\nappName=Bench%s\ninstanceId=Bench%s%s\n' "$side" "$side" "$$" >"$app/params.ini"
  times=()
  for ((i = 0; i < rounds; ++i)); do
    times+=("$(measure "$finder" "${program[@]}")")
  done
  echo "bench wine_startup: $side tray start-up to docked icon: median $(median "${times[@]}") ms" \
    "(runs: ${times[*]} ms; polled every 0.1 s)"
done
