#!/usr/bin/env bash
# The tray on a virtual desktop, used as a person would: click the icon and see the panel
# centred in its three states, right-click, choose Exit, answer Yes; the service is asked to
# stop and the tray ends with 0. Restarting the notification area brings the icon back.
# Usage: tray_desktop_test.sh APPDIR ARTEFACT_DIR SOURCE_DIR
# Screenshots are left in ARTEFACT_DIR. Exit 77 (skipped) when a desktop tool is missing.
set -euo pipefail

appdir_src=$1
artefacts=$2
source_dir=$3
# shellcheck source=../../../../scripts/lib/xdesktop.sh
. "$source_dir/scripts/lib/xdesktop.sh"

xd_skip_without_tools

work=$(mktemp -d)
tray_pid=""
cleanup() {
  xd_stop "$tray_pid"
  xd_stop "${XD_STANDIN_PID:-}"
  xd_stop_desktop
  rm -rf "$work"
}
trap cleanup EXIT

XD_FAIL_FILES=("$work/app/log/DizovuvOdiv.log" "$work/service.log")

mkdir -p "$artefacts"
rm -f "$artefacts"/*.png

# An application directory and an installation of our own.
id="Desk$$"
app_name="DeskTest$$"
xd_install "$work" "$appdir_src"
mkdir -p "$work/config/autostart"
printf '[product]\nappName=%s\ninstanceId=%s\n' "$app_name" "$id" >"$work/app/params.ini"
autostart_entry="$work/config/autostart/${app_name}_DizovuvOdiv.desktop"
echo "[Desktop Entry]" >"$autostart_entry"
log="$work/app/log/DizovuvOdiv.log"

start_service() {
  xd_start_standin "$work/app/service-standin" "$work/service.log" --instance-id "$id" --http-port 0 ||
    xd_fail "the service stand-in did not start"
}
control() { "$work/app/service-standin" --instance-id "$id" --send "$1" >/dev/null; }
log_has() { grep -qF -- "$1" "$log" 2>/dev/null; }
log_count() { grep -cF -- "$1" "$log" 2>/dev/null || true; }
panel_hidden() { ! xd_viewable "$panel"; }
icon_gone() { ! xd_find_icon >/dev/null; }
# A balloon or the context menu: the tray's other top-level windows.
popup_open() { [ -n "$(xd_other_windows "$panel")" ]; }
popup_closed() { ! popup_open; }

xd_step "desktop, notification area, service, tray"
xd_start_desktop "$work"
start_service
"$work/app/Orlune_DizovuvOdiv" >"$work/tray.out" 2>&1 &
tray_pid=$!

xd_wait 10 xd_find_icon >/dev/null || xd_fail "no tray icon in the notification area"
icon=$(xd_find_icon)
[ ! -e "$autostart_entry" ] || xd_fail "the autostart entry was not deleted"
xd_wait 10 log_has "TrayIcon shown" || xd_fail "no 'TrayIcon shown'"

# ---- the panel ----
xd_step "click the icon: the panel opens centred"
xd_click "$icon" 11 15
xd_wait 5 xd_find_window 639 342 >/dev/null || xd_fail "no 639x342 panel after a click"
panel=$(xd_find_window 639 342)
read -r px py _ _ <<<"$(xd_geometry "$panel")"
want_x=$(((1280 - 639) / 2)) want_y=$(((800 - 342) / 2))
[ "$px,$py" = "$want_x,$want_y" ] || xd_fail "panel at $px,$py, not centred at $want_x,$want_y"
[ "$(log_count 'TrayIcon panel opened')" = 1 ] || xd_fail "expected one 'panel opened' line"

check_panel_colours() {
  local shot=$1
  [ "$(xd_pixel "$shot" 0 0)" = "#3A3D40" ] || xd_fail "$shot: border is $(xd_pixel "$shot" 0 0)"
  [ "$(xd_pixel "$shot" 10 300)" = "#2B2B2B" ] || xd_fail "$shot: background is $(xd_pixel "$shot" 10 300)"
  [ "$(xd_pixel "$shot" 40 90)" = "#27292D" ] || xd_fail "$shot: card is $(xd_pixel "$shot" 40 90)"
}

xd_step "running"
xd_wait 10 grep -q "request GET_STATUS" "$work/service.log" || xd_fail "the tray never asked for the status"
sleep 1.2
xd_shot_window "$panel" "$artefacts/panel-running.png"
check_panel_colours "$artefacts/panel-running.png"
[ "$(xd_count_colour "$artefacts/panel-running.png" '#00FF00')" -gt 50 ] || xd_fail "running: no green state"
[ "$(xd_count_colour "$artefacts/panel-running.png" '#F1C40F')" = 0 ] || xd_fail "running: yellow shown"

xd_step "restarting: one server process down"
control "processes mainServer:Server:9010:true,database:dbserver:9020:false,webServer:v7iZodore:18080:true,redis:redis-server:6379:true"
sleep 2.2
xd_shot_window "$panel" "$artefacts/panel-restarting.png"
check_panel_colours "$artefacts/panel-restarting.png"
[ "$(xd_count_colour "$artefacts/panel-restarting.png" '#F1C40F')" -gt 50 ] || xd_fail "restarting: no yellow state"

xd_step "stopped: the service goes away"
xd_stop "$XD_STANDIN_PID"
XD_STANDIN_PID=""
xd_wait 20 log_has "TrayIcon Watch pipe connection changed: offline" || xd_fail "the tray did not notice the service leave"
xd_wait 2 popup_open || xd_fail "no 'Service stopped' balloon"
balloon=$(xd_other_windows "$panel" | head -n1)
xd_shot_window "$balloon" "$artefacts/balloon-stopped.png"
sleep 0.3
xd_shot_window "$panel" "$artefacts/panel-stopped.png"
check_panel_colours "$artefacts/panel-stopped.png"
[ "$(xd_count_colour "$artefacts/panel-stopped.png" '#00FF00')" = 0 ] || xd_fail "stopped: green still shown"
[ "$(xd_count_colour "$artefacts/panel-stopped.png" '#787878')" -gt 50 ] || xd_fail "stopped: no grey state disc"
[ "$(xd_count_colour "$artefacts/panel-stopped.png" '#E82202')" -gt 50 ] || xd_fail "stopped: no red text"

xd_step "a second click hides the panel, a third shows it again"
xd_click "$icon" 11 15
xd_wait 5 panel_hidden || xd_fail "the panel stayed open"
xd_click "$icon" 11 15
xd_wait 5 xd_viewable "$panel" || xd_fail "the panel did not reopen"

xd_step "a double click leaves the panel shown, from hidden and from shown"
xd_click "$icon" 11 15
xd_wait 5 panel_hidden || xd_fail "the panel stayed open"
for from in hidden shown; do
  sleep 1 # well apart from the click before, which would make a double click of its own
  xdotool mousemove --window "$icon" 11 15 click --repeat 2 --delay 80 1
  sleep 1
  xd_viewable "$panel" || xd_fail "the panel is not shown after a double click on a $from panel"
done

xd_step "service back"
start_service
xd_wait 20 log_has "TrayIcon Watch pipe connection changed: connected" || xd_fail "the tray did not see the service return"

xd_step "the notification area restarts: the icon comes back"
xd_stop "$XD_TRAYER_PID"
xd_wait 10 icon_gone || xd_fail "the icon stayed without a notification area"
xd_start_trayer "$work"
xd_wait 15 xd_find_icon >/dev/null || xd_fail "the icon did not come back after the notification area restarted"
icon=$(xd_find_icon)

# ---- exit ----
xd_step "right-click, Exit"
xd_wait 5 popup_closed || xd_fail "the 'Service running' balloon did not go away"
xd_click "$icon" 11 15 3
xd_wait 5 popup_open || xd_fail "no context menu"
menu=$(xd_other_windows "$panel" | head -n1)
read -r _ _ mw mh <<<"$(xd_geometry "$menu")"
xd_shot_window "$menu" "$artefacts/menu.png"
xd_click "$menu" $((mw / 2)) $((mh - 12))

xd_wait 5 xd_find_window 440 >/dev/null || xd_fail "no 440 wide dialog after Exit"
dialog=$(xd_find_window 440)
read -r _ _ dw dh <<<"$(xd_geometry "$dialog")"
[ "$dh" -ge 230 ] || xd_fail "dialog is only $dh high"
sleep 0.3
xd_shot_window "$dialog" "$artefacts/dialog-exit.png"
[ "$(xd_pixel "$artefacts/dialog-exit.png" 10 120)" = "#2B2B2B" ] || xd_fail "dialog background"
[ "$(xd_pixel "$artefacts/dialog-exit.png" $((dw - 225)) $((dh - 46)))" = "#E3192B" ] || xd_fail "Yes button colour"
log_has 'TrayIcon exit requested: clientPid= "none"' || xd_fail "no exit request line"

xd_step "Yes"
xd_click "$dialog" $((dw - 190)) $((dh - 46))
tray_rc=0
wait "$tray_pid" || tray_rc=$?
tray_pid=""
[ "$tray_rc" = 0 ] || xd_fail "the tray ended with $tray_rc"
grep -q "request STOP_SERVICE" "$work/service.log" || xd_fail "the service was not asked to stop"
service_rc=0
wait "$XD_STANDIN_PID" || service_rc=$?
XD_STANDIN_PID=""
[ "$service_rc" = 0 ] || xd_fail "the service stand-in ended with $service_rc"
log_has "TrayIcon STOP_SERVICE attempt= 1 success= true" || xd_fail "no successful stop attempt"
last=$(tail -n1 "$log")
[[ "$last" == *"DizovuvOdiv exiting, code= 0" ]] || xd_fail "last log line: $last"

echo "PASS: screenshots in $artefacts"
ls "$artefacts"
