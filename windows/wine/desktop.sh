#!/usr/bin/env bash
# The one virtual desktop the Windows end-to-end tests share: Xvfb on a free display, a small
# window manager, a notification area, and one wine server for the wine prefix in the build
# tree, warmed up once. "start" writes STATE/env for the tests; "stop" ends what start began.
# Usage: desktop.sh start|stop STATE_DIR PREFIX_DIR SOURCE_DIR
set -euo pipefail

action=$1
state=$(realpath -m "$2")
prefix=$(realpath -m "$3")
source_dir=$4
# shellcheck source=../../scripts/lib/xdesktop.sh
. "$source_dir/scripts/lib/xdesktop.sh"
# shellcheck source=winqt.sh
. "$source_dir/windows/wine/winqt.sh"

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

stop_recorded() {
  [ -f "$state/pids" ] || return 0
  local pid
  while read -r pid; do
    kill "$pid" 2>/dev/null || true
  done <"$state/pids"
  rm -f "$state/pids"
}

case "$action" in
start)
  if ! missing=$(xd_missing_tools) || ! command -v evilwm >/dev/null; then
    echo "FAIL: missing ${missing:-} ${missing:+and maybe }evilwm (scripts/install-deps.sh windows)" >&2
    exit 1
  fi
  stop_recorded
  wineserver -k </dev/null >/dev/null 2>&1 || true
  mkdir -p "$state" "$prefix"
  xd_start_display "$state"
  # Without a window manager every hidden window costs wine a 2 s wait for a reply that never
  # comes, and keyboard focus does not follow the windows.
  evilwm -snap 0 >"$state/evilwm.log" 2>&1 &
  echo $! >>"$state/pids"
  echo "$XD_XVFB_PID" >>"$state/pids"
  xd_start_trayer "$state"
  echo "$XD_TRAYER_PID" >>"$state/pids"
  wq_wait_tray_host "$state" || { echo "FAIL: the notification area did not come up" >&2; exit 1; }
  echo "desktop: waited for the notification area before starting any Windows program"
  # One server for every test: without it each program start waits for the last one's server.
  wineserver -p </dev/null >/dev/null 2>&1
  [ -f "$prefix/system.reg" ] || echo "desktop: creating the wine prefix $prefix (once)"
  started=$SECONDS
  wine cmd /c exit 0 </dev/null >/dev/null 2>&1
  echo "desktop: display $DISPLAY, wine prefix ready after $((SECONDS - started)) s;" \
    "evilwm manages the windows (without a window manager wine waits 2 s for every hidden window)"
  {
    echo "export DISPLAY=$DISPLAY"
    echo "export WINEPREFIX=$prefix WINEDEBUG=-all WINEARCH=win64"
    echo "export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'"
  } >"$state/env"
  ;;
stop)
  wineserver -k </dev/null >/dev/null 2>&1 || true
  stop_recorded
  rm -f "$state/env"
  ;;
*)
  echo "usage: desktop.sh start|stop STATE_DIR PREFIX_DIR SOURCE_DIR" >&2
  exit 2
  ;;
esac
