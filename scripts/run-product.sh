#!/usr/bin/env bash
# Runs the product on this machine: the stand-in background service and the tray, from the
# build tree's application directory.
#   On a desktop ($DISPLAY set) the tray icon appears in your notification area; click it for
#   the status panel, right-click and choose Exit to stop the service and the tray.
#   Without a display both run under a virtual display with a notification area; the panel is
#   opened by clicking the icon and screenshots are saved to a path printed at the end.
# Runs until Ctrl-C or until the tray exits.
# Usage: scripts/run-product.sh [--debug] [--once] [--screenshots DIR] [--build-dir DIR]
#   --debug        build and run the debug preset instead of release
#   --once         without a display: end after the screenshots
#   --screenshots  where the screenshots go (default: <build dir>/screenshots)
#   --build-dir    build there instead of the preset's folder under build/
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# --windows (first): the Windows programs under wine; see scripts/lib/run-windows.sh --help.
[ "${1:-}" = --windows ] && { shift; exec "$repo/scripts/lib/run-windows.sh" "$@"; }
preset=release
once=0
shots=""
build=""
while [ $# -gt 0 ]; do
  case "$1" in
    --debug) preset=debug ;;
    --once) once=1 ;;
    --screenshots) shots=$2; shift ;;
    --build-dir) build=$2; shift ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    *) echo "run-product: unknown option '$1'" >&2; exit 2 ;;
  esac
  shift
done

"$repo/scripts/install-deps.sh" run

build=${build:-"$repo/build/$preset"}
echo "run-product: building ($preset) in $build"
(cd "$repo" && cmake --preset "$preset" -B "$build" >/dev/null)
cmake --build "$build" -j2 --target Orlune_DizovuvOdiv service-standin skin orlune_translations
appdir="$build/appdir"
shots=${shots:-"$build/screenshots"}

# The stand-in serves the installation the application directory's params.ini names.
instance=$(awk -F= '/^\[/{s=$0} s=="[product]" && $1=="instanceId"{print $2}' "$appdir/params.ini" | tr -d '[:space:]\r')
instance=${instance:-Orlune}

work=$(mktemp -d)
tray_pid=""
# shellcheck source=lib/xdesktop.sh
. "$repo/scripts/lib/xdesktop.sh"
cleanup() {
  xd_stop "$tray_pid"
  xd_stop "${XD_STANDIN_PID:-}"
  xd_stop_desktop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  # A runtime directory of its own, so nothing meets another run's named objects.
  mkdir -p "$work/run"
  chmod 700 "$work/run"
  export XDG_RUNTIME_DIR="$work/run"
  xd_start_desktop "$work"
  echo "run-product: virtual display $DISPLAY with a notification area"
fi

start_service() {
  xd_start_standin "$appdir/service-standin" "$work/service.log" --instance-id "$instance" "$@"
}
# The web port is only for the client; when it is taken, serve without it.
if ! start_service; then
  xd_stop "$XD_STANDIN_PID"
  start_service --http-port 0 || { cat "$work/service.log" >&2; exit 1; }
fi
echo "run-product: service stand-in for \"$instance\" running (pid $XD_STANDIN_PID)"

"$appdir/Orlune_DizovuvOdiv" >"$work/tray.out" 2>&1 &
tray_pid=$!
echo "run-product: tray running (pid $tray_pid); log: $appdir/log/DizovuvOdiv.log"

if [ "$headless" = 1 ]; then
  xd_wait 15 xd_find_icon >/dev/null || { echo "run-product: the tray icon did not appear" >&2; exit 1; }
  icon=$(xd_find_icon)
  mkdir -p "$shots"
  sleep 1.5
  xd_click "$icon" 11 15
  xd_wait 5 xd_find_window 639 342 >/dev/null || { echo "run-product: the panel did not open" >&2; exit 1; }
  sleep 1.2
  xd_shot_window "$(xd_find_window 639 342)" "$shots/panel.png"
  xd_shot_screen "$shots/desktop.png"
  echo "run-product: screenshots saved to $shots (panel.png, desktop.png)"
  if [ "$once" = 1 ]; then
    exit 0
  fi
  echo "run-product: running on $DISPLAY; press Ctrl-C to stop"
else
  echo "run-product: click the tray icon for the panel; choose Exit in its menu (or press Ctrl-C) to stop"
fi

tray_rc=0
wait "$tray_pid" || tray_rc=$?
tray_pid=""
echo "run-product: the tray ended with code $tray_rc"
