#!/usr/bin/env bash
# The Windows tray under wine on the shared desktop, against the Windows stand-in service on
# the real named pipe: start-up names, the skin icon docked, the panel with the service's
# status, the service killed and back, a second tray refused by the named mutex, the language
# event set by another Windows process, and taskkill's close request (without /F) ending the tray
# cleanly. Screenshots are kept in ARTEFACT_DIR.
# Usage: tray_test.sh STATE_DIR APPDIR ARTEFACT_DIR SOURCE_DIR EVENT_SETTER
set -euo pipefail

state=$1 appdir_src=$2 artefacts=$3 source_dir=$4 setter=$5
# shellcheck source=../../scripts/lib/xdesktop.sh
. "$source_dir/scripts/lib/xdesktop.sh"
# shellcheck source=winqt.sh
. "$source_dir/windows/wine/winqt.sh"

work=$(mktemp -d)
service_pid=""
cleanup() {
  wq_kill_all
  rm -rf "$work"
}
trap cleanup EXIT
log="$work/app/log/DizovuvOdiv.log"
XD_FAIL_FILES=("$log" "$work/service.out" "$work/tray.out")
log_has() { grep -qF -- "$1" "$log" 2>/dev/null; }
hidden() { ! xd_viewable "$1"; }
balloon_open() { [ -n "$(wq_other_windows "$WQ_ICON_CLASS" "$icon")" ]; }

mkdir -p "$artefacts"
rm -f "$artefacts"/tray-*.png
wq_begin "$state" "$appdir_src" "$work"
id="WqTray$$"
app_name="WqTray$$"
printf '[product]\nappName=%s\ninstanceId=%s\n[language]\ncurrentLanCode=en_US\n' "$app_name" "$id" \
  >"$work/app/params.ini"
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
wine reg add "$run_key" /v "${app_name}_DizovuvOdiv" /d "x" /f >/dev/null 2>&1 || xd_fail "cannot add the Run value"

start_service() {
  wq_start "$work/service.out" "$work/app/service-standin.exe" --instance-id "$id" --http-port 0
  service_pid=$WQ_PID
  xd_wait 20 wq_service_ready "$work/service.out" || xd_fail "the Windows service stand-in did not start"
}

xd_step "the stand-in serves \\\\.\\pipe\\${id}_Service; the tray starts"
start_service
grep -qF "ready pipe=\\\\.\\pipe\\${id}_Service " "$work/service.out" || xd_fail "the stand-in serves no named pipe"
started=$(date +%s%3N)
wq_start "$work/tray.out" "$work/app/Orlune_DizovuvOdiv.exe"
tray_pid=$WQ_PID
xd_wait 20 log_has "TrayIcon shown" || xd_fail "no 'TrayIcon shown'"
log_has "DizovuvOdiv startup: appName=$app_name instanceId=$id serviceName=" || xd_fail "no start-up line"
log_has "pipePath=\\\\.\\pipe\\${id}_Service mutexName=Local\\${id}_DizovuvOdiv applicationDirPath=Z:/" ||
  xd_fail "the start-up line does not carry the Windows names"
log_has "TrayIcon icon source= \"Z:/" || xd_fail "the icon is not the skin's"
log_has "tray_logo_28.png\"" || xd_fail "the icon is not the skin's 28-pixel logo"

xd_step "the skin icon docks into the notification area"
xd_wait 20 wq_find_icon >/dev/null || xd_fail "no icon in the notification area"
echo "icon docked $(($(date +%s%3N) - started)) ms after the tray started"
icon=$(wq_find_icon)
xd_shot_window "$icon" "$artefacts/tray-icon.png"
# The skin logo is a red disc (wine shades it a little); the fallback computer icon has no red.
[ "$(wq_count_red "$artefacts/tray-icon.png")" -gt 80 ] || xd_fail "the docked icon is not the skin logo"
if wine reg query "$run_key" /v "${app_name}_DizovuvOdiv" >/dev/null 2>&1; then
  xd_fail "the Run value was not deleted"
fi

xd_step "a click opens the 639x342 panel with the status from the pipe"
xd_wait 20 grep -q "request GET_STATUS" "$work/service.out" || xd_fail "the tray never asked for the status"
wq_click_centre "$icon"
xd_wait 10 wq_find_window "$XD_TRAY_CLASS" 639 342 >/dev/null || xd_fail "no 639x342 panel after a click"
panel=$(wq_find_window "$XD_TRAY_CLASS" 639 342)
sleep 1.2
xd_shot_window "$panel" "$artefacts/tray-panel-running.png"
check_panel() {
  local shot=$1
  [ "$(xd_pixel "$shot" 0 0)" = "#3A3D40" ] || xd_fail "$shot: border is $(xd_pixel "$shot" 0 0)"
  [ "$(xd_pixel "$shot" 10 300)" = "#2B2B2B" ] || xd_fail "$shot: background is $(xd_pixel "$shot" 10 300)"
}
check_panel "$artefacts/tray-panel-running.png"
[ "$(xd_count_colour "$artefacts/tray-panel-running.png" '#00FF00')" -gt 50 ] || xd_fail "running: no green state"

xd_step "the stand-in's control channel (its own named pipe): one server process down, restarting"
wine "$work/app/service-standin.exe" --instance-id "$id" --send \
  "processes mainServer:Server:9010:true,database:dbserver:9020:false,webServer:v7iZodore:18080:true,redis:redis-server:6379:true" \
  >"$work/control.out" 2>&1 || xd_fail "the control command was refused: $(cat "$work/control.out")"
sleep 2.2
xd_shot_window "$panel" "$artefacts/tray-panel-restarting.png"
check_panel "$artefacts/tray-panel-restarting.png"
[ "$(xd_count_colour "$artefacts/tray-panel-restarting.png" '#F1C40F')" -gt 50 ] || xd_fail "restarting: no yellow state"

xd_step "the stand-in killed: offline, balloon"
kill -9 "$service_pid"
wait "$service_pid" 2>/dev/null || true
service_pid=""
xd_wait 20 log_has "TrayIcon Watch pipe connection changed: offline" || xd_fail "the tray did not notice the service leave"
sleep 1.2
xd_shot_window "$panel" "$artefacts/tray-panel-stopped.png"
check_panel "$artefacts/tray-panel-stopped.png"
[ "$(xd_count_colour "$artefacts/tray-panel-stopped.png" '#00FF00')" = 0 ] || xd_fail "stopped: green still shown"
[ "$(xd_count_colour "$artefacts/tray-panel-stopped.png" '#E82202')" -gt 50 ] || xd_fail "stopped: no red text"
# Wine's explorer shows the balloon as a window of its own beside the icon.
xd_wait 5 balloon_open || xd_fail "no 'Service stopped' balloon"
xd_shot_window "$(wq_other_windows "$WQ_ICON_CLASS" "$icon" | head -n1)" "$artefacts/tray-balloon-stopped.png"

xd_step "the stand-in back: recovered"
start_service
xd_wait 20 log_has "TrayIcon Watch pipe connection changed: connected" || xd_fail "the tray did not see the service return"
wq_click_centre "$icon"
xd_wait 10 hidden "$panel" || xd_fail "a second click did not hide the panel"

xd_step "a second tray exits 0 through the named mutex"
wq_start "$work/tray2.out" "$work/app/Orlune_DizovuvOdiv.exe"
wq_wait "$WQ_PID"
rc=$WQ_RC
[ "$rc" = 0 ] || xd_fail "the second tray ended with $rc"
log_has "DizovuvOdiv existing instance detected; exiting" || xd_fail "the second tray did not see the mutex"
kill -0 "$tray_pid" 2>/dev/null || xd_fail "the first tray ended"

xd_step "the language event set by another Windows process: the menu in German"
menu=$(wq_open_menu "$icon" "$panel") || xd_fail "no context menu"
read -r _ _ english_width _ <<<"$(xd_geometry "$menu")"
xdotool key Escape
xd_wait 5 hidden "$menu" || xd_fail "the menu did not close"
sed -i 's/^currentLanCode=.*/currentLanCode=de_DE/' "$work/app/params.ini"
set_line=$(wine "$setter" "Local\\${id}_LanguageChanged" 2>&1) || xd_fail "the event could not be set: $set_line"
xd_wait 5 log_has "TrayIcon translation reloaded: \"de_DE\"" || xd_fail "no German translation after the event"
set_ms=$(sed -n 's/^set \([0-9]*\).*/\1/p' <<<"$set_line")
seen_ms=$(wq_log_time "$log" "TrayIcon language change event received")
echo "language event seen $((seen_ms - set_ms)) ms after it was set (polled every 300 ms)"
menu=$(wq_open_menu "$icon" "$panel") || xd_fail "no context menu"
read -r _ _ german_width _ <<<"$(xd_geometry "$menu")"
xd_shot_window "$menu" "$artefacts/tray-menu-german.png"
[ "$german_width" != "$english_width" ] || xd_fail "the menu kept its English width ($english_width)"
xdotool key Escape

xd_step "taskkill without /F asks the tray to close (WM_CLOSE): it ends cleanly"
win_pid=$(sed -n 's/.*DizovuvOdiv startup: .* PID=\([0-9]*\) logPath=.*/\1/p' "$log" | head -n1)
[ -n "$win_pid" ] || xd_fail "no process id in the start-up line"
wine taskkill /pid "$win_pid" >"$work/taskkill.out" 2>&1 || xd_fail "taskkill failed: $(cat "$work/taskkill.out")"
tray_ended() { ! kill -0 "$tray_pid" 2>/dev/null; }
xd_wait 10 tray_ended || xd_fail "the tray did not end on the close request"
wq_wait "$tray_pid"
[ "$WQ_RC" = 0 ] || xd_fail "the tray ended with $WQ_RC"
last=$(tail -n1 "$log" | tr -d '\r' | sed 's/^.* TID=[0-9]* //')
[ "$last" = "DizovuvOdiv exiting, code= 0" ] || xd_fail "the log ends with '$last', not the exit line"

echo "PASS: screenshots in $artefacts"
