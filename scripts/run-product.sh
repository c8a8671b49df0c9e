#!/usr/bin/env bash
# Runs the whole product on this machine from a fresh copy of the build tree's application
# directory (<build dir>/run-product/app, logs included, kept after the run): the stand-in
# background service, the tray, then the client launcher, which checks the service, waits for
# the stand-in's web server, shows the login and then the main window.
#   On a desktop ($DISPLAY set) you see all of it: sign in with any user name and password;
#   click the tray icon for the status panel; choose Exit in the icon's menu to close the client
#   through the tray's exit request, stop the service and end the tray.
#   Without a display everything runs under a virtual display with a notification area, and
#   the run signs in, chooses Exit in the tray's menu and confirms it by itself, saving
#   screenshots (panel, login, main window, the exit question, and the desktop after the
#   client closed, with the lines that show it closed through the exit request).
# Service check: on Linux the launcher asks the service manager ("systemctl") for the service
# named in params.ini. Where a user-level service manager is usable, the stand-in runs as a
# unit of that name under it for the run (removed afterwards) and the launcher's check asks
# that manager; otherwise the run says why the check takes its failure path (the launcher goes
# on either way).
# The web port is the one params.ini names (default 18080); when it is taken, a free port is
# written into the run's copy of params.ini.
# Runs until the tray exits or Ctrl-C, which ends everything the run started.
# Usage: scripts/run-product.sh [options]
#   --tray-only    the stand-in service and the tray, without the launcher
#   --lang CODE    the language of the run, e.g. de_DE (one of translation/Client/*.qm)
#   --debug        build and run the debug preset instead of release
#   --once         --tray-only without a display: end after the screenshots
#   --screenshots  where the screenshots go (default: <build dir>/screenshots)
#   --build-dir    build there instead of the preset's folder under build/
#   -h, --help     this text
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# --windows (first): the Windows programs under wine; see scripts/lib/run-windows.sh --help.
[ "${1:-}" = --windows ] && { shift; exec "$repo/scripts/lib/run-windows.sh" "$@"; }
preset=release
once=0
tray_only=0
lang=""
shots=""
build=""
need_value() { [ $# -ge 2 ] || { echo "run-product: $1 needs a value" >&2; exit 2; }; }
while [ $# -gt 0 ]; do
  case "$1" in
    --tray-only) tray_only=1 ;;
    --lang) need_value "$@"; lang=$2; shift ;;
    --debug) preset=debug ;;
    --once) once=1 ;;
    --screenshots) need_value "$@"; shots=$2; shift ;;
    --build-dir) need_value "$@"; build=$2; shift ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    *) echo "run-product: unknown option '$1' (see --help)" >&2; exit 2 ;;
  esac
  shift
done

"$repo/scripts/install-deps.sh" run

build=${build:-"$repo/build/$preset"}
echo "run-product: building ($preset) in $build"
(cd "$repo" && cmake --preset "$preset" -B "$build" >/dev/null)
targets=(Orlune_DizovuvOdiv service-standin skin orlune_translations)
[ "$tray_only" = 1 ] || targets+=(Orlune)
cmake --build "$build" -j2 --target "${targets[@]}"
shots=${shots:-"$build/screenshots"}

if [ -n "$lang" ] && [ ! -f "$build/appdir/translation/Client/$lang.qm" ]; then
  known=""
  for qm in "$build/appdir/translation/Client/"*.qm; do known+=" $(basename "$qm" .qm)"; done
  echo "run-product: no translation '$lang'; there are:$known" >&2
  exit 2
fi

# shellcheck source=lib/runproduct.sh
. "$repo/scripts/lib/runproduct.sh"
# shellcheck source=lib/xdesktop.sh
. "$repo/scripts/lib/xdesktop.sh"

# A fresh application directory for the run, so its params.ini can name the language and port.
run_dir="$build/run-product"
app="$run_dir/app"
rm -rf "$run_dir"
mkdir -p "$run_dir"
cp -r "$build/appdir" "$app"
rm -rf "$app/log"
[ -z "$lang" ] || rp_ini_set "$app/params.ini" language currentLanCode "$lang"
instance=$(rp_ini_get "$app/params.ini" product instanceId)
app_name=$(rp_ini_get "$app/params.ini" product appName)
app_name=${app_name:-Orlune}
instance=${instance:-$app_name}
service=$(rp_ini_get "$app/params.ini" product serviceName)
service=${service:-${app_name}_Server}
port=$(rp_ini_get "$app/params.ini" client torvikServerPort)
port=${port:-18080}

work=$(mktemp -d)
tray_pid="" client_pid="" unit=""
cleanup() {
  xd_stop "$client_pid"
  xd_stop "$tray_pid"
  xd_stop "${XD_STANDIN_PID:-}"
  [ -z "$unit" ] || rp_remove_unit "$unit"
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

# The service: a unit of the user's service manager when one is usable, else a child of this
# script. The launcher needs the web port, the tray does not.
service_log="$run_dir/service.log"
if [ "$tray_only" = 0 ] && rp_user_manager_usable; then
  port=$(rp_free_port "$port")
  unit=$service
  rp_start_unit "$unit" "$service_log" "$app/service-standin" --instance-id "$instance" --http-port "$port" ||
    { cat "$service_log" >&2; exit 1; }
  echo "run-product: service stand-in for \"$instance\" registered with the user's service manager as" \
    "$unit.service (removed at the end)"
else
  started=0
  for _ in 1 2 3; do
    port=$(rp_free_port "$port")
    if xd_start_standin "$app/service-standin" "$service_log" --instance-id "$instance" --http-port "$port"; then
      started=1
      break
    fi
    # Taken meanwhile: try the next one.
    xd_stop "$XD_STANDIN_PID"
    port=$((port + 1))
  done
  [ "$started" = 1 ] || { cat "$service_log" >&2; exit 1; }
  echo "run-product: service stand-in for \"$instance\" running (pid $XD_STANDIN_PID), web server on port $port"
fi
rp_ini_set "$app/params.ini" client torvikServerPort "$port"

"$app/Orlune_DizovuvOdiv" >"$run_dir/tray.out" 2>&1 &
tray_pid=$!
echo "run-product: tray running (pid $tray_pid); log: $app/log/DizovuvOdiv.log"

if [ "$headless" = 1 ]; then
  mkdir -p "$shots"
  xd_wait 15 xd_find_icon >/dev/null || { echo "run-product: the tray icon did not appear" >&2; exit 1; }
  icon=$(xd_find_icon)
  sleep 1.5
  xd_click "$icon" 11 15
  xd_wait 5 xd_find_window 639 342 >/dev/null || { echo "run-product: the panel did not open" >&2; exit 1; }
  sleep 1.2
  xd_shot_window "$(xd_find_window 639 342)" "$shots/panel.png"
  xd_shot_screen "$shots/desktop.png"
  echo "run-product: screenshots of the panel saved to $shots (panel.png, desktop.png)"
fi

if [ "$tray_only" = 1 ]; then
  if [ "$headless" = 1 ]; then
    [ "$once" = 0 ] || exit 0
    echo "run-product: running on $DISPLAY; press Ctrl-C to stop"
  else
    echo "run-product: click the tray icon for the panel; choose Exit in its menu (or press Ctrl-C) to stop"
  fi
  tray_rc=0
  wait "$tray_pid" || tray_rc=$?
  tray_pid=""
  echo "run-product: the tray ended with code $tray_rc"
  exit 0
fi

# The launcher's service check asks "systemctl"; a shim on its PATH sends the question to the
# user's manager, where the stand-in is registered.
client_env=(ORLUNE_STANDIN_TRACE="$run_dir/client.trace")
if [ -n "$unit" ]; then
  rp_user_systemctl_shim "$work/bin"
  client_env+=(PATH="$work/bin:$PATH")
  echo "run-product: service check: the launcher asks the user's service manager for \"$service\""
else
  echo "run-product: service check takes its failure path: $(rp_no_manager_reason); the launcher" \
    "finds \"$service\" not running, its start fails, and it goes on to wait for the web server"
fi

if [ "$headless" = 1 ]; then
  xd_click "$icon" 11 15 # the panel closes again, out of the client's way
fi
env "${client_env[@]}" "$app/Orlune" >"$run_dir/client.out" 2>"$run_dir/client.err" &
client_pid=$!
echo "run-product: launcher running (pid $client_pid); log: $app/log/VadorivOruziz.log"

if [ "$headless" = 0 ]; then
  echo "run-product: sign in with any user name and password; choose Exit in the tray icon's menu" \
    "to close the client through the tray (or press Ctrl-C)"
  tray_rc=0
  wait "$tray_pid" || tray_rc=$?
  tray_pid=""
  echo "run-product: the tray ended with code $tray_rc"
  exit 0
fi

# Headless: sign in, look at the main window, then Exit in the tray's menu, answered Yes.
trace="$run_dir/client.trace"
traced() { grep -qF -- "$1" "$trace" 2>/dev/null; }
# The launcher's viewable window (login, then main window).
client_window() {
  local w
  for w in $(xdotool search --pid "$client_pid" 2>/dev/null); do
    if xd_viewable "$w"; then
      echo "$w"
      return 0
    fi
  done
  return 1
}
stop_here() {
  echo "run-product: $*; logs in $run_dir and $app/log" >&2
  exit 1
}

xd_wait 60 traced "LoginDlg type=" || stop_here "the launcher did not reach its login"
xd_wait 5 client_window >/dev/null || stop_here "no login window"
login=$(client_window)
sleep 0.5
xd_shot_window "$login" "$shots/login.png"
# The stand-in login takes any user name and password; typed like a person would, into the
# user field (right of its label) of the focused form, then the password field.
read -r _ _ lw _ <<<"$(xd_geometry "$login")"
xdotool windowfocus --sync "$login"
xd_click "$login" $((lw * 2 / 3)) 20
# ("type" takes all its remaining arguments as text, so one call per step.)
xdotool type --delay 20 operator
xdotool key Tab
xdotool type --delay 20 secret
xdotool key Return
xd_wait 20 traced "MainFrame shown" || stop_here "the launcher did not reach its main window"
sleep 0.5
xd_shot_window "$(client_window)" "$shots/main-window.png"
echo "run-product: signed in; screenshots login.png, main-window.png"

xd_choose_exit "$icon" || stop_here "no menu on the tray icon"
xd_wait 5 xd_find_window 440 >/dev/null || stop_here "no question after Exit"
question=$(xd_find_window 440)
sleep 0.3
xd_shot_window "$question" "$shots/exit-question.png"
read -r _ _ qw qh <<<"$(xd_geometry "$question")"
xd_click "$question" $((qw - 190)) $((qh - 46))

# Gone, or a zombie waiting for this script to reap it.
ended() {
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)
  [ -z "$state" ] || [ "$state" = Z ]
}
xd_wait 20 ended "$client_pid" || stop_here "the launcher did not close after Exit"
client_rc=0
wait "$client_pid" || client_rc=$?
client_pid=""
xd_wait 20 ended "$tray_pid" || stop_here "the tray did not end after Exit"
tray_rc=0
wait "$tray_pid" || tray_rc=$?
tray_pid=""
evidence=("after Exit in the tray's menu, answered Yes:"
  "launcher ended with code $client_rc, tray with code $tray_rc")
if traced "MainFrame closed by tray request" &&
  grep -q "tray exit request received, closing all windows" "$run_dir/client.err"; then
  evidence+=("launcher: \"tray exit request received, closing all windows\"")
  closed_by_request=1
else
  closed_by_request=0
fi
grep_tray() { grep -o "TrayIcon $1.*" "$app/log/DizovuvOdiv.log" | tail -n1 || true; }
evidence+=("tray log: $(grep_tray "client exited gracefully")" "tray log: $(grep_tray "STOP_SERVICE")")
xd_shot_screen "$work/after-exit.png"
convert "$work/after-exit.png" -font DejaVu-Sans -fill white -undercolor '#202020' -pointsize 15 \
  -annotate +30+80 "$(printf '%s\n' "${evidence[@]}")" "$shots/after-exit.png"
printf 'run-product: %s\n' "${evidence[@]}"
echo "run-product: screenshots saved to $shots (panel.png, desktop.png, login.png, main-window.png," \
  "exit-question.png, after-exit.png)"
if [ "$closed_by_request" = 0 ]; then
  stop_here "the launcher did not close through the tray's exit request"
fi
echo "run-product: the launcher closed through the tray's exit request"
