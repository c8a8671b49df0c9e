#!/usr/bin/env bash
# Runs the Windows programs under wine from the unpacked release package: the Windows stand-in
# service and the Windows tray, built with Qt for Windows from the cache
# (scripts/build-qt-windows.sh builds it the first time, about half an hour on 2 cores).
# Called as `scripts/run-product.sh --windows [options]`.
#   On a desktop ($DISPLAY set) wine docks the tray icon into your notification area.
#   Without a display both run on a virtual display with a window manager and a notification
#   area; the panel is opened by clicking the icon and screenshots are saved to a printed path.
# Runs until Ctrl-C or until the tray exits. The wine prefix lives in build/windows/wineprefix.
# Usage: scripts/run-product.sh --windows [--once] [--screenshots DIR]
#   --once         without a display: end after the screenshots
#   --screenshots  where the screenshots go (default: build/windows/screenshots)
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$repo/build/windows"
once=0
shots="$build/screenshots"
while [ $# -gt 0 ]; do
  case "$1" in
    --once) once=1 ;;
    --screenshots) shots=$2; shift ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    *) echo "run-product --windows: unknown option '$1'" >&2; exit 2 ;;
  esac
  shift
done

"$repo/scripts/install-deps.sh" build windows
mkdir -p "$build"
# It says itself what it does and how far it is; its only line on stdout is the folder.
ORLUNE_QT_WINDOWS=$("$repo/scripts/build-qt-windows.sh") || exit 1
export ORLUNE_QT_WINDOWS
echo "run-product: building the Windows programs in $build"
fresh=()
[ -f "$build/CMakeCache.txt" ] && ! grep -qF "$ORLUNE_QT_WINDOWS/" "$build/CMakeCache.txt" && fresh=(--fresh)
(cd "$repo" && cmake --preset windows "${fresh[@]}" >/dev/null)
cmake --build "$build" -j2
# Run from the release package, unpacked: the programs with the Qt DLLs they ship with.
appdir=$("$repo/windows/wine/package.sh" "$build" "$build/package/unpacked" | tail -n1)
echo "run-product: running from the unpacked package $appdir"

instance=$(awk -F= '/^\[/{s=$0} s=="[product]" && $1=="instanceId"{print $2}' "$appdir/params.ini" | tr -d '[:space:]\r')
instance=${instance:-Orlune}

# shellcheck source=xdesktop.sh
. "$repo/scripts/lib/xdesktop.sh"
# shellcheck source=../../windows/wine/winqt.sh
. "$repo/windows/wine/winqt.sh"
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEQT_FORCE_STDERR_LOGGING=1

work=$(mktemp -d)
tray_pid="" service_pid="" wm_pid=""
cleanup() {
  [ -z "$tray_pid" ] || kill "$tray_pid" 2>/dev/null || true
  [ -z "$service_pid" ] || kill "$service_pid" 2>/dev/null || true
  wineserver -k </dev/null >/dev/null 2>&1 || true
  xd_stop "$wm_pid"
  xd_stop_desktop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  xd_start_display "$work"
  evilwm -snap 0 >/dev/null 2>&1 &
  wm_pid=$!
  xd_start_trayer "$work"
  wq_wait_tray_host "$work" || { echo "run-product: the notification area did not come up" >&2; exit 1; }
  echo "run-product: virtual display $DISPLAY with a window manager and a notification area"
fi
wineserver -p </dev/null >/dev/null 2>&1
[ -f "$WINEPREFIX/system.reg" ] || echo "run-product: creating the wine prefix (once)"
wine cmd /c exit 0 </dev/null >/dev/null 2>&1

wq_start "$work/service.log" "$appdir/service-standin.exe" --instance-id "$instance"
service_pid=$WQ_PID
if ! xd_wait 20 grep -qs "^ready " "$work/service.log"; then
  # The web port is only for the client; when it is taken, serve without it.
  kill "$service_pid" 2>/dev/null || true
  wq_start "$work/service.log" "$appdir/service-standin.exe" --instance-id "$instance" --http-port 0
  service_pid=$WQ_PID
  xd_wait 20 grep -qs "^ready " "$work/service.log" || { cat "$work/service.log" >&2; exit 1; }
fi
printf 'run-product: Windows service stand-in serving \\\\.\\pipe\\%s_Service\n' "$instance"

wq_start "$work/tray.out" "$appdir/Orlune_DizovuvOdiv.exe"
tray_pid=$WQ_PID
echo "run-product: Windows tray running; log: $appdir/log/DizovuvOdiv.log"

if [ "$headless" = 1 ]; then
  xd_wait 30 wq_find_icon >/dev/null || { echo "run-product: the tray icon did not appear" >&2; exit 1; }
  icon=$(wq_find_icon)
  mkdir -p "$shots"
  sleep 1.5
  wq_click_centre "$icon"
  xd_wait 10 wq_find_window "$XD_TRAY_CLASS" 639 342 >/dev/null || { echo "run-product: the panel did not open" >&2; exit 1; }
  sleep 1.2
  xd_shot_window "$(wq_find_window "$XD_TRAY_CLASS" 639 342)" "$shots/panel.png"
  xd_shot_screen "$shots/desktop.png"
  echo "run-product: screenshots saved to $shots (panel.png, desktop.png)"
  [ "$once" = 1 ] && exit 0
  echo "run-product: running on $DISPLAY; press Ctrl-C to stop"
else
  echo "run-product: click the tray icon for the panel; choose Exit in its menu (or press Ctrl-C) to stop"
fi

wq_wait "$tray_pid"
tray_rc=$WQ_RC
tray_pid=""
echo "run-product: the tray ended with code $tray_rc"
