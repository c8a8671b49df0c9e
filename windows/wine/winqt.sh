# shellcheck shell=bash
# Helpers of the end-to-end tests of the Windows programs under wine: the shared desktop
# (desktop.sh), an application directory of the Windows programs, starting them, finding their
# windows. Sourced after scripts/lib/xdesktop.sh.

# Under wine the notification-area icon is a window of wine's explorer.exe, docked into the
# tray host; the tray program's own windows carry its executable's name as their class.
WQ_ICON_CLASS=explorer.exe
# shellcheck disable=SC2034 # used by xdesktop.sh and the tests
XD_TRAY_CLASS=orlune_dizovuvodiv.exe

# wq_begin STATE APPDIR WORKDIR: joins the shared desktop and wine server, copies the Windows
# application directory (the unpacked package) into WORKDIR/app.
wq_begin() {
  local state=$1 appdir=$2 work=$3
  [ -f "$state/env" ] || { echo "FAIL: no shared desktop ($state/env); run the winqt.desktop.start test" >&2; exit 1; }
  # shellcheck disable=SC1091
  . "$state/env"
  # Wine hands no variable named QT_* to Windows programs; WINEQT_* arrives as QT_*. Qt's
  # messages of a GUI program go to the debugger unless forced to standard error.
  export WINEQT_FORCE_STDERR_LOGGING=1
  echo "wine: Qt settings go in as WINEQT_* (wine hands no QT_* variable to Windows programs);" \
    "Qt's messages are forced to standard error"
  mkdir -p "$work/app"
  cp -r "$appdir"/. "$work/app/"
}

# The Windows form of a path on the Linux side (wine's Z: drive).
wq_winpath() {
  local path
  path=$(realpath -m "$1")
  echo "Z:${path//\//\\}"
}

WQ_PIDS=()

# A free TCP port on the loopback address, for a stand-in's web server.
wq_free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# wq_service_ready OUTPUT: the stand-in service writing to OUTPUT serves its pipe.
wq_service_ready() { grep -q "^ready " "$1" 2>/dev/null; }

# wq_tray_polling LOG OUTPUT: the tray logging to LOG is up and asks the stand-in service writing
# to OUTPUT for its status.
wq_tray_polling() { grep -qF "TrayIcon shown" "$1" 2>/dev/null && grep -q "request GET_STATUS" "$2" 2>/dev/null; }

# wq_start OUTPUT PROGRAM ARGUMENTS...: starts a Windows program in the background, its output
# to OUTPUT; WQ_PID is its process (wine becomes the Windows process, so it can be waited
# for and killed).
wq_start() {
  local output=$1
  shift
  wine "$@" >"$output" 2>&1 </dev/null &
  WQ_PID=$!
  WQ_PIDS+=("$WQ_PID")
}

# Kills every program wq_start started that still runs, and reaps it.
wq_kill_all() {
  local pid
  for pid in "${WQ_PIDS[@]}"; do
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  WQ_PIDS=()
}

# wq_wait PID: waits for a program started by wq_start; WQ_RC is its exit code as Windows gave
# it (wine passes the low byte on; -1 arrives as 255).
# shellcheck disable=SC2034 # for the caller
wq_wait() {
  WQ_RC=0
  wait "$1" || WQ_RC=$?
}

# The docked tray icon: a viewable explorer.exe window inside the notification area at the top.
wq_find_icon() {
  local w y width height
  for w in $(xdotool search --classname "$WQ_ICON_CLASS" 2>/dev/null); do
    { xd_viewable "$w" && xd_embedded "$w"; } || continue
    read -r _ y width height <<<"$(xd_geometry "$w")"
    if [ "$y" -lt 32 ] && [ "$width" -le 64 ] && [ "$height" -le 64 ]; then
      echo "$w"
      return 0
    fi
  done
  return 1
}

# wq_find_window CLASS WIDTH [HEIGHT]: a viewable window of the program CLASS of that size
# (under a window manager a window's parent is the manager's frame, so it is not asked for).
wq_find_window() {
  local class=$1 width=$2 height=${3:-} w gw gh
  for w in $(xdotool search --classname "$class" 2>/dev/null); do
    xd_viewable "$w" || continue
    read -r _ _ gw gh <<<"$(xd_geometry "$w")"
    if [ "$gw" = "$width" ] && { [ -z "$height" ] || [ "$gh" = "$height" ]; }; then
      echo "$w"
      return 0
    fi
  done
  return 1
}

# wq_find_named CLASS TITLE: a viewable window of the program CLASS with that title.
wq_find_named() {
  local w
  for w in $(xdotool search --name "^$2\$" 2>/dev/null); do
    xprop -id "$w" WM_CLASS 2>/dev/null | grep -qiF "\"$1\"" || continue
    xd_viewable "$w" && { echo "$w"; return 0; }
  done
  return 1
}

# Viewable windows of the program CLASS other than the ones given.
wq_other_windows() {
  local class=$1 w skip
  shift
  for w in $(xdotool search --classname "$class" 2>/dev/null); do
    xd_viewable "$w" || continue
    for skip in "$@"; do [ "$w" = "$skip" ] && continue 2; done
    echo "$w"
  done
}

# wq_log_time LOG TEXT: the time of the first log line holding TEXT, in ms since the epoch.
wq_log_time() {
  local line
  line=$(grep -m1 -F -- "$2" "$1") || return 1
  date -d "$(cut -c1-23 <<<"$line")" +%s%3N
}

# wq_click_centre WINDOW [BUTTON]: clicks the middle of a window.
wq_click_centre() {
  local w h
  read -r _ _ w h <<<"$(xd_geometry "$1")"
  xd_click "$1" $((w / 2)) $((h / 2)) "${2:-1}"
}

# How many pixels of FILE are strongly red (the skin logo's disc, whatever the scaling did to
# its exact colour).
wq_count_red() {
  convert "$1" -alpha off -fx '(r > 0.7 && g < 0.3 && b < 0.35) ? 1 : 0' -format '%[fx:int(mean*w*h+0.5)]' info:
}

# wq_wait_tray_host WORKDIR: waits until trayer (at the top right of the display) has drawn.
# Once, with wine's explorer started while trayer was still coming up, no icon of the whole run
# was docked; so no Windows program starts before this.
wq_wait_tray_host() {
  xd_wait 20 wq_tray_host_drawn "$1"
}

wq_tray_host_drawn() {
  local width
  width=$(xwininfo -root | awk '/^  Width:/ {print $NF}')
  import -window root "$1/root.png" 2>/dev/null &&
    [ "$(xd_pixel "$1/root.png" $((width - 10)) 16)" != "#000000" ]
}

# wq_find_icons: every docked tray icon (see wq_find_icon), one a line.
wq_find_icons() {
  local w y width height
  for w in $(xdotool search --classname "$WQ_ICON_CLASS" 2>/dev/null); do
    { xd_viewable "$w" && xd_embedded "$w"; } || continue
    read -r _ y width height <<<"$(xd_geometry "$w")"
    [ "$y" -lt 32 ] && [ "$width" -le 64 ] && [ "$height" -le 64 ] && echo "$w"
  done
  return 0
}

# wq_open_menu ICON [WINDOW...]: right-clicks a tray icon and prints its context menu, a window
# of the tray program other than the ones given.
wq_open_menu() {
  local icon=$1
  shift
  wq_click_centre "$icon" 3
  if ! xd_wait 3 wq_other_windows "$XD_TRAY_CLASS" "$@" >/dev/null; then
    # Wine now and then loses the first right click of a tray icon; a person clicks again.
    echo "wine: the context menu did not open on the first right click; clicking again" >&2
    wq_click_centre "$icon" 3
    xd_wait 5 wq_other_windows "$XD_TRAY_CLASS" "$@" >/dev/null || return 1
  fi
  wq_other_windows "$XD_TRAY_CLASS" "$@" | head -n1
}

# wq_choose_exit ICON: chooses Exit, the menu's last entry, and prints the confirmation dialog.
wq_choose_exit() {
  local menu mw mh
  menu=$(wq_open_menu "$1") || return 1
  read -r _ _ mw mh <<<"$(xd_geometry "$menu")"
  xd_click "$menu" $((mw / 2)) $((mh - 12))
  xd_wait 10 wq_find_window "$XD_TRAY_CLASS" 440 >/dev/null || return 1
  wq_find_window "$XD_TRAY_CLASS" 440
}

# wq_answer_yes DIALOG, wq_answer_no DIALOG: click Yes or No in the tray's confirmation dialog.
wq_answer_yes() {
  local dw dh
  read -r _ _ dw dh <<<"$(xd_geometry "$1")"
  xd_click "$1" $((dw - 190)) $((dh - 46))
}
wq_answer_no() {
  local dw dh
  read -r _ _ dw dh <<<"$(xd_geometry "$1")"
  xd_click "$1" $((dw - 95)) $((dh - 46))
}
