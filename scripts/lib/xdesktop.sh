# shellcheck shell=bash
# Helpers for driving the tray on a virtual X desktop: a display, a notification area,
# finding and clicking the tray's windows, screenshots. Sourced by bash scripts.
# Needs Xvfb, trayer, xdotool, xwininfo and ImageMagick (scripts/install-deps.sh run|test).

XD_TRAY_CLASS=Orlune_DizovuvOdiv

# Prints each missing tool; fails when one is missing.
xd_missing_tools() {
  local missing=0 tool
  for tool in Xvfb trayer xdotool xwininfo import convert; do
    command -v "$tool" >/dev/null 2>&1 || { echo "$tool"; missing=1; }
  done
  return $missing
}

# For a test: the files whose contents a failure shows (its logs), set by the test.
XD_FAIL_FILES=()

# For a test: the failure MESSAGE, then each of XD_FAIL_FILES, and the end with 1.
xd_fail() {
  local f
  echo "FAIL: $*" >&2
  for f in "${XD_FAIL_FILES[@]}"; do
    echo "--- $f" >&2
    cat "$f" >&2 2>/dev/null || true
  done
  exit 1
}

# For a test: the heading of its next step.
xd_step() { echo "== $*"; }

# For a test: exits with 77 (skipped) when a desktop tool is missing.
xd_skip_without_tools() {
  local missing
  if ! missing=$(xd_missing_tools); then
    echo "SKIP: missing $missing (scripts/install-deps.sh test)"
    exit 77
  fi
}

# xd_wait SECONDS COMMAND...: runs COMMAND every 100 ms until it succeeds or time runs out.
xd_wait() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}

# Starts Xvfb on a free display (WIDTHxHEIGHT, default 1280x800) and exports DISPLAY;
# XD_XVFB_PID holds its process. The tray must reach the notification area over X, not D-Bus.
xd_start_display() {
  local workdir=$1 size=${2:-1280x800}
  local numberfile="$workdir/display-number"
  : >"$numberfile"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$numberfile" >"$workdir/xvfb.log" 2>&1 &
  XD_XVFB_PID=$!
  xd_wait 10 test -s "$numberfile" || { echo "Xvfb did not start" >&2; return 1; }
  DISPLAY=":$(head -n1 "$numberfile")"
  export DISPLAY
  unset DBUS_SESSION_BUS_ADDRESS
  export QT_QPA_PLATFORM=xcb
}

# Starts a notification area at the top right; XD_TRAYER_PID holds its process.
xd_start_trayer() {
  local workdir=$1
  trayer --edge top --align right --widthtype pixel --width 200 --heighttype pixel --height 32 \
    --SetDockType true --transparent false >>"$workdir/trayer.log" 2>&1 &
  XD_TRAYER_PID=$!
}

# A display with a notification area (xd_start_display, xd_start_trayer).
xd_start_desktop() {
  xd_start_display "$@" && xd_start_trayer "$1"
}

# Ends the notification area and the display, when they were started.
xd_stop_desktop() {
  xd_stop "${XD_TRAYER_PID:-}"
  xd_stop "${XD_XVFB_PID:-}"
}

# xd_install WORKDIR APPDIR: an application directory WORKDIR/app with copies of the tray, the
# stand-in service, the skin and the translations of APPDIR, and a runtime directory and config
# home of its own (WORKDIR/run, WORKDIR/config) for everything started from here on.
xd_install() {
  local workdir=$1 appdir=$2
  mkdir -p "$workdir/app" "$workdir/run" "$workdir/config"
  chmod 700 "$workdir/run"
  cp "$appdir/Orlune_DizovuvOdiv" "$appdir/service-standin" "$workdir/app/"
  cp -r "$appdir/Skin" "$appdir/translation" "$workdir/app/"
  export XDG_RUNTIME_DIR="$workdir/run" XDG_CONFIG_HOME="$workdir/config"
}

# How many "ready" lines the stand-in service wrote to a log.
xd_ready_count() {
  local n
  n=$(grep -c "^ready " "$1" 2>/dev/null) || true
  echo "${n:-0}"
}

# xd_ready_beyond LOG N: the log holds more than N "ready" lines.
xd_ready_beyond() {
  [ "$(xd_ready_count "$1")" -gt "$2" ]
}

# xd_start_standin PROGRAM LOG ARGUMENTS...: starts the stand-in service, its output appended to
# LOG, and waits up to 10 s for the "ready" line of this run (a restart onto the same log does
# not count the last one); XD_STANDIN_PID holds its process.
xd_start_standin() {
  local program=$1 log=$2 before
  shift 2
  before=$(xd_ready_count "$log")
  "$program" "$@" >>"$log" 2>&1 &
  # shellcheck disable=SC2034 # for the caller
  XD_STANDIN_PID=$!
  xd_wait 10 xd_ready_beyond "$log" "$before"
}

# Ends a process this script started, and reaps it.
xd_stop() {
  local pid=$1
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

# "X Y WIDTH HEIGHT" of a window.
xd_geometry() {
  xwininfo -id "$1" 2>/dev/null | awk '
    /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /^  Width:/ {w=$NF} /^  Height:/ {h=$NF}
    END {print x, y, w, h}'
}

xd_viewable() {
  xwininfo -id "$1" 2>/dev/null | grep -q "Map State: IsViewable"
}

xd_embedded() {
  local info
  info=$(xwininfo -id "$1" -children 2>/dev/null) || return 1
  local root parent
  root=$(echo "$info" | awk '/Root window id:/ {print $4}')
  parent=$(echo "$info" | awk '/Parent window id:/ {print $4}')
  [ -n "$parent" ] && [ "$parent" != "$root" ]
}

# The tray icon: the tray's viewable window that the notification area has taken in.
xd_find_icon() {
  local w
  for w in $(xdotool search --classname "$XD_TRAY_CLASS" 2>/dev/null); do
    if xd_viewable "$w" && xd_embedded "$w"; then
      echo "$w"
      return 0
    fi
  done
  return 1
}

# A viewable top-level window of the tray WIDTH pixels wide (and HEIGHT high when given).
xd_find_window() {
  local width=$1 height=${2:-} w
  for w in $(xdotool search --classname "$XD_TRAY_CLASS" 2>/dev/null); do
    xd_viewable "$w" || continue
    xd_embedded "$w" && continue
    read -r _ _ gw gh <<<"$(xd_geometry "$w")"
    if [ "$gw" = "$width" ] && { [ -z "$height" ] || [ "$gh" = "$height" ]; }; then
      echo "$w"
      return 0
    fi
  done
  return 1
}

# Viewable top-level windows of the tray other than the ones given.
# shellcheck disable=SC2120 # the scripts that source this pass the windows to leave out
xd_other_windows() {
  local w skip
  for w in $(xdotool search --classname "$XD_TRAY_CLASS" 2>/dev/null); do
    xd_viewable "$w" || continue
    xd_embedded "$w" && continue
    for skip in "$@"; do [ "$w" = "$skip" ] && continue 2; done
    echo "$w"
  done
}

# xd_click WINDOW X Y [BUTTON]: clicks at a point relative to the window.
xd_click() {
  xdotool mousemove --window "$1" "$2" "$3" click "${4:-1}"
}

# Whether a window of the tray other than its icon is open (the context menu, where no panel or
# dialog is).
xd_menu_open() { [ -n "$(xd_other_windows)" ]; }

# xd_choose_exit ICON: right-clicks the tray icon and chooses Exit, the menu's last entry; fails
# when no menu opens within 5 s. Only for a tray showing no other window.
xd_choose_exit() {
  local menu mw mh
  xd_click "$1" 11 15 3
  xd_wait 5 xd_menu_open || return 1
  menu=$(xd_other_windows | head -n1)
  read -r _ _ mw mh <<<"$(xd_geometry "$menu")"
  xd_click "$menu" $((mw / 2)) $((mh - 12))
}

# xd_shot_window WINDOW FILE: a screenshot of the window as it appears on the screen.
xd_shot_window() {
  local x y w h
  read -r x y w h <<<"$(xd_geometry "$1")"
  import -window root "$2.full.png"
  convert "$2.full.png" -crop "${w}x${h}+${x}+${y}" +repage "$2"
  rm -f "$2.full.png"
}

# xd_shot_screen FILE
xd_shot_screen() {
  import -window root "$1"
}

# How many pixels of FILE have exactly the colour "#RRGGBB".
xd_count_colour() {
  convert "$1" -alpha off -fill black +opaque "$2" -fill white -opaque "$2" -format '%[fx:int(mean*w*h+0.5)]' info:
}

# The colour of one pixel as "#RRGGBB".
xd_pixel() {
  convert "$1" -alpha off -format "%[hex:p{$2,$3}]" info: | cut -c1-6 | sed 's/^/#/'
}
