#!/usr/bin/env bash
# The tray's idle cost next to its floors. Beside a healthy stand-in service, three programs
# start together and idle through the same window, offscreen and then, when Xvfb and trayer are
# installed, on a virtual display with a notification area:
#   tray   the shipped tray;
#   floor  the floor of its design (bare_tray --poll): its timers and, once a second, a new
#          thread that re-reads params.ini and makes one GET_STATUS exchange, handed back to
#          the GUI thread by a queued call that decodes the JSON; nothing else;
#   bare   a bare Qt tray with the same three timers (bare_tray).
# Prints for each, with the tray's ratio to the floor and to the bare tray:
#   CPU per minute     user plus system time of all threads, short-lived ones included, from
#                      the resource usage of the ended program (/proc counts CPU in 10 ms
#                      ticks): a run with the window minus a run without it, so the start
#                      and the end of both cancel out. Where a cgroup v1 "cpuacct" hierarchy
#                      can be written (as root in a container, say), each program runs in a
#                      group of its own and the window's CPU is read from it to the
#                      nanosecond instead; the line says which. With a group, the window is
#                      also cut into 10 s parts and the median of the parts' ratios printed,
#                      which one busy moment on a shared machine cannot move much
#   wake-ups per sec.  context switches of the main thread in the window: the event loop's
#                      wake-ups; below it those of all threads, the per-cycle poll threads
#                      included, from the resource usage as for CPU (start-up varies more
#                      in switches than in CPU, so this line is the rougher one)
#   resident memory    VmRSS at the end of the window
#   start-up           from the start to the icon shown (the tray's log line, bare_tray's output)
# Prints figures, never fails.
# Usage: bench/tray_vs_bare.sh [--build-dir DIR] [--seconds N] [--tray PROGRAM]
#   --build-dir  the build tree to use (default build/release; built here when needed)
#   --seconds    length of the idle window (default 60)
#   --tray       measure this tray program instead of the build tree's (e.g. an older build)
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$repo/build/release"
seconds=60
tray=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build=$2; shift ;;
    --seconds) seconds=$2; shift ;;
    --tray) tray=$2; shift ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    *) echo "tray_vs_bare: unknown option '$1'" >&2; exit 0 ;;
  esac
  shift
done

case "$seconds" in
  '' | *[!0-9]*) echo "tray_vs_bare: --seconds takes a whole number of seconds, not '$seconds'" >&2; exit 0 ;;
esac
seconds=$((10#$seconds)) # "08" is eight, not a bad octal number
[ "$seconds" -gt 0 ] || { echo "tray_vs_bare: --seconds must be at least 1" >&2; exit 0; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  (cd "$repo" && cmake --preset release -B "$build" >/dev/null) || { echo "tray_vs_bare: configure failed"; exit 0; }
fi
cmake --build "$build" -j2 --target Orlune_DizovuvOdiv service-standin skin orlune_translations bare_tray \
  >/dev/null || { echo "tray_vs_bare: build failed"; exit 0; }
appdir="$build/appdir"
bare="$build/bench/bare_tray"
tray=${tray:-"$appdir/Orlune_DizovuvOdiv"}

# shellcheck source=../scripts/lib/xdesktop.sh
. "$repo/scripts/lib/xdesktop.sh"
# shellcheck source=../scripts/lib/idlebench.sh
. "$repo/scripts/lib/idlebench.sh"

# The programs measured side by side, in this order: the shipped tray, the floor of its design
# (bare_tray --poll) and the bare tray.
IB_PROGRAMS=(tray floor bare)
IB_SECONDS=$seconds

work=$(mktemp -d)
ib_cgroup_open
# shellcheck disable=SC2317 # reached through the EXIT trap, which shellcheck does not follow
cleanup() {
  # A second Ctrl-C does not cut the clean-up short.
  trap '' INT TERM
  ib_stop_all
  xd_stop "${XD_STANDIN_PID:-}"
  xd_stop_desktop
  rm -rf "$work"
  ib_cgroup_close
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# bench_start DIR NAME: launches one of the programs as DIR/NAME.
bench_start() {
  local icon="$work/app/Skin/Client/custom/tray_logo_28.png"
  case "$2" in
    tray)
      rm -rf "$work/app/log"
      ib_launch "$1/tray" "$work/app/Orlune_DizovuvOdiv"
      ;;
    floor) ib_launch "$1/floor" "$bare" "$icon" --poll "\\\\.\\pipe\\${instance}_Service" "$work/app/params.ini" ;;
    bare) ib_launch "$1/bare" "$bare" "$icon" ;;
  esac
}

# bench_shown DIR NAME: the program has shown its icon.
bench_shown() {
  if [ "$2" = tray ]; then
    grep -q "TrayIcon shown" "$work/app/log/DizovuvOdiv.log" 2>/dev/null
  else
    grep -q "^shown" "$1/$2.out" 2>/dev/null
  fi
}

# An installation of its own beside a healthy stand-in service; nothing meets other runs.
xd_install "$work" "$appdir"
cp "$tray" "$work/app/Orlune_DizovuvOdiv"
instance="Bench$$"
printf '[product]\ninstanceId=%s\n' "$instance" >"$work/app/params.ini"
xd_start_standin "$work/app/service-standin" "$work/service.log" --instance-id "$instance" --http-port 0 ||
  { echo "tray_vs_bare: the stand-in service did not start"; exit 0; }
echo "tray: $tray"
echo "floor and bare: $bare"

QT_QPA_PLATFORM=offscreen ib_measure offscreen "$work/offscreen"
if xd_missing_tools >/dev/null; then
  xd_start_desktop "$work" && ib_measure "Xvfb with trayer" "$work/xvfb"
else
  echo "== Xvfb with trayer: skipped, missing $(xd_missing_tools | tr '\n' ' ')"
fi
exit 0
