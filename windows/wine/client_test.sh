#!/usr/bin/env bash
# The whole product for Windows under wine on the shared desktop. The stand-in service is
# registered with wine's service manager; the launcher's check runs the real "sc query", finds it
# stopped and starts it with the real "net start". The user signs in, a second launcher is
# refused through the local server (a named pipe) with its box and -1; Exit in the tray's menu,
# answered Yes, closes the launcher through the named exit event, STOP_SERVICE goes over the
# pipe, the service stops and the tray ends with 0. Screenshots are kept in ARTEFACT_DIR.
# Usage: client_test.sh STATE_DIR APPDIR ARTEFACT_DIR SOURCE_DIR
set -euo pipefail

state=$1 appdir_src=$2 artefacts=$3 source_dir=$4
# shellcheck source=../../scripts/lib/xdesktop.sh
. "$source_dir/scripts/lib/xdesktop.sh"
# shellcheck source=winqt.sh
. "$source_dir/windows/wine/winqt.sh"

work=$(mktemp -d)
service=""
cleanup() {
  wq_kill_all
  if [ -n "$service" ]; then
    wine sc stop "$service" >/dev/null 2>&1 || true
    wine sc delete "$service" >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
tray_log="$work/app/log/DizovuvOdiv.log"
XD_FAIL_FILES=("$tray_log" "$work/app/log/VadorivOruziz.log" "$work/trace" "$work/client.out" "$work/client2.out")
tray_log_has() { grep -qF -- "$1" "$tray_log" 2>/dev/null; }
traced() { grep -qF -- "$1" "$work/trace" 2>/dev/null; }
service_state() { wine sc query "$service" 2>/dev/null | tr -d '\r' | awk '/STATE/ {print $NF}'; }
service_is() { [ "$(service_state)" = "$1" ]; }

mkdir -p "$artefacts"
rm -f "$artefacts"/client-*.png
wq_begin "$state" "$appdir_src" "$work"
id="WqE2e$$"
app_name="WqClient$$"
service="WqService$$"
port=$(wq_free_port)
# The client's file is named after the product, as the tray expects to find it.
cp "$work/app/Orlune.exe" "$work/app/$app_name.exe"
printf '[product]\nappName=%s\ninstanceId=%s\nserviceName=%s\n[client]\ntorvikServerPort=%s\n' \
  "$app_name" "$id" "$service" "$port" >"$work/app/params.ini"
export ORLUNE_STANDIN_TRACE="Z:$work/trace"

xd_step "the stand-in registered as the Windows service $service (stopped)"
binpath="$(wq_winpath "$work/app/service-standin.exe") --service $service --instance-id $id --http-port $port"
wine sc create "$service" binpath= "$binpath" start= demand >"$work/sc-create.out" 2>&1 ||
  xd_fail "sc create: $(cat "$work/sc-create.out")"
service_is STOPPED || xd_fail "the new service is $(service_state), not STOPPED"

xd_step "the tray starts without a service: offline"
wq_start "$work/tray.out" "$work/app/Orlune_DizovuvOdiv.exe"
tray_pid=$WQ_PID
xd_wait 20 wq_find_icon >/dev/null || xd_fail "no icon in the notification area"
icon=$(wq_find_icon)
xd_wait 20 tray_log_has "TrayIcon Watch pipe connection changed: offline" || xd_fail "the tray did not go offline"

xd_step "the launcher: sc query finds the service stopped, net start starts it, the login shows"
wq_start "$work/client.out" "$work/app/$app_name.exe"
client_pid=$WQ_PID
xd_wait 40 wq_find_named "$app_name.exe" "Sign in" >/dev/null || xd_fail "no login window"
service_is RUNNING || xd_fail "the service is $(service_state) after the launcher's check"
xd_wait 20 tray_log_has "TrayIcon Watch pipe connection changed: connected" ||
  xd_fail "the tray did not reach the service started by net start"
login=$(wq_find_named "$app_name.exe" "Sign in")
sleep 0.5
xd_shot_window "$login" "$artefacts/client-login.png"

xd_step "sign in with the keyboard: the main window"
xdotool windowactivate --sync "$login" 2>/dev/null || xdotool windowfocus --sync "$login"
xdotool type --delay 30 operator
xdotool key Tab
xdotool type --delay 30 secret
xdotool key Return
xd_wait 30 traced "MainFrame shown" || xd_fail "the client did not reach its main window"
xd_wait 10 wq_find_named "$app_name.exe" "Client" >/dev/null || xd_fail "no main window on the screen"
main_painted() {
  xd_shot_window "$(wq_find_named "$app_name.exe" "Client")" "$artefacts/client-main.png" &&
    [ "$(convert "$artefacts/client-main.png" -format %k info:)" -gt 4 ]
}
xd_wait 10 main_painted || { xd_shot_screen "$artefacts/client-main-screen.png"; xd_fail "the main window shows nothing"; }

xd_step "a second launcher is refused through the local server: its box, then -1"
wq_start "$work/client2.out" "$work/app/$app_name.exe"
second_pid=$WQ_PID
xd_wait 30 wq_find_named "$app_name.exe" "Note" >/dev/null || xd_fail "no 'already running' box"
box=$(wq_find_named "$app_name.exe" "Note")
sleep 0.3
xd_shot_window "$box" "$artefacts/client-already-running.png"
xdotool windowactivate --sync "$box" 2>/dev/null || xdotool windowfocus --sync "$box"
xdotool key Return
wq_wait "$second_pid"
rc=$WQ_RC
[ "$rc" = 255 ] || xd_fail "the second launcher ended with $rc, not -1 (255)"
kill -0 "$client_pid" 2>/dev/null || xd_fail "the first launcher ended"

xd_step "right-click, Exit, Yes"
dialog=$(wq_choose_exit "$icon") || xd_fail "no confirmation dialog after Exit"
read -r _ _ dw dh <<<"$(xd_geometry "$dialog")"
sleep 0.3
xd_shot_window "$dialog" "$artefacts/client-exit-dialog.png"
[ "$(xd_pixel "$artefacts/client-exit-dialog.png" 10 120)" = "#2B2B2B" ] || xd_fail "dialog background"
[ "$(xd_pixel "$artefacts/client-exit-dialog.png" $((dw - 225)) $((dh - 46)))" = "#E3192B" ] || xd_fail "Yes button colour"
tray_log_has "TrayIcon exit requested: clientPid=" || xd_fail "no exit request line"
if tray_log_has 'clientPid= "none"'; then xd_fail "the tray did not find the client process"; fi
wq_answer_yes "$dialog"

xd_step "the launcher closes through the exit event, the service stops, the tray ends with 0"
wq_wait "$client_pid"
rc=$WQ_RC
[ "$rc" = 0 ] || xd_fail "the launcher ended with $rc"
traced "MainFrame closed by tray request" || xd_fail "the main window was not closed by the tray's request"
grep -qF "tray exit request received, closing all windows" "$work/client.out" || xd_fail "no exit request line"
wq_wait "$tray_pid"
rc=$WQ_RC
[ "$rc" = 0 ] || xd_fail "the tray ended with $rc"
tray_log_has "TrayIcon client exited gracefully: pid=" || xd_fail "the client was not seen ending by itself"
if tray_log_has "TrayIcon force terminate"; then xd_fail "the client was forced"; fi
tray_log_has "TrayIcon STOP_SERVICE attempt= 1 success= true" || xd_fail "the service was not stopped"
xd_wait 20 service_is STOPPED || xd_fail "the service is $(service_state) after STOP_SERVICE"
# Windows line ends (CR LF) in the log.
last=$(tail -n1 "$tray_log" | tr -d '\r')
[[ "$last" == *"DizovuvOdiv exiting, code= 0" ]] || xd_fail "last tray line: $last"

echo "PASS: screenshots in $artefacts"
