#!/usr/bin/env bash
# The whole product on one virtual desktop: the stand-in service, the tray and a signed-in
# client. Exit in the tray's menu, answered Yes, closes the client through the exit request
# (not by force), stops the service, and every program ends with 0.
# Usage: tray_exit_closes_client_test.sh APPDIR SOURCE_DIR
# Exit 77 (skipped) when a desktop tool is missing.
set -euo pipefail

appdir_src=$1
source_dir=$2
# shellcheck source=../../../scripts/lib/xdesktop.sh
. "$source_dir/scripts/lib/xdesktop.sh"

xd_skip_without_tools

work=$(mktemp -d)
tray_pid="" client_pid=""
cleanup() {
  xd_stop "$client_pid"
  xd_stop "$tray_pid"
  xd_stop "${XD_STANDIN_PID:-}"
  xd_stop_desktop
  rm -rf "$work"
}
trap cleanup EXIT

XD_FAIL_FILES=("$work/app/log/DizovuvOdiv.log" "$work/app/log/VadorivOruziz.log" "$work/service.log" "$work/client.err" "$work/trace")

# An installation of our own. The client's file is named after the product, as the tray
# expects to find it.
id="E2e$$"
app_name="E2eClient$$"
xd_install "$work" "$appdir_src"
cp "$appdir_src/Orlune" "$work/app/$app_name"
mkdir -p "$work/bin"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '[product]\nappName=%s\ninstanceId=%s\n[client]\ntorvikServerPort=%s\n' "$app_name" "$id" "$port" \
  >"$work/app/params.ini"

# The service check asks "systemctl"; this one says the service runs.
cat >"$work/bin/systemctl" <<'SCRIPT'
#!/bin/sh
if [ "$1" = show ]; then
    for last; do :; done
    printf 'Id=%s.service\nActiveState=active\nSubState=running\n' "$last"
fi
SCRIPT
chmod +x "$work/bin/systemctl"

tray_log="$work/app/log/DizovuvOdiv.log"
tray_log_has() { grep -qF -- "$1" "$tray_log" 2>/dev/null; }
# A tray line naming the client's process id, quoted or not.
tray_log_names_client() { grep -qE -- "$1 \"?$client_id\"?\$" "$tray_log" 2>/dev/null; }
traced() { grep -qF -- "$1" "$work/trace" 2>/dev/null; }

xd_step "desktop, notification area, service, tray"
xd_start_desktop "$work"
xd_start_standin "$work/app/service-standin" "$work/service.log" --instance-id "$id" --http-port "$port" ||
  xd_fail "the service stand-in did not start"
"$work/app/Orlune_DizovuvOdiv" >"$work/tray.out" 2>&1 &
tray_pid=$!
xd_wait 10 xd_find_icon >/dev/null || xd_fail "no tray icon in the notification area"
icon=$(xd_find_icon)

xd_step "client signs in and shows its main frame"
PATH="$work/bin:$PATH" QT_QPA_PLATFORM=offscreen ORLUNE_STANDIN_LOGIN=accept ORLUNE_STANDIN_TRACE="$work/trace" \
  "$work/app/$app_name" >"$work/client.out" 2>"$work/client.err" &
client_pid=$!
client_id=$client_pid
xd_wait 20 traced "MainFrame shown" || xd_fail "the client did not reach its main frame"

xd_step "right-click, Exit, Yes"
xd_choose_exit "$icon" || xd_fail "no context menu"
xd_wait 5 xd_find_window 440 >/dev/null || xd_fail "no 440 wide dialog after Exit"
dialog=$(xd_find_window 440)
read -r _ _ dw dh <<<"$(xd_geometry "$dialog")"
tray_log_names_client "TrayIcon exit requested: clientPid=" || xd_fail "the tray did not find the client"
sleep 0.3
xd_click "$dialog" $((dw - 190)) $((dh - 46))

xd_step "the client closes through the request, the service stops, the tray ends"
client_rc=0
wait "$client_pid" || client_rc=$?
client_pid=""
[ "$client_rc" = 0 ] || xd_fail "the client ended with $client_rc"
traced "MainFrame closed by tray request" || xd_fail "the main frame was not closed by the tray's request"
grep -qF "tray exit request received, closing all windows" "$work/client.err" || xd_fail "no exit request line"
tray_rc=0
wait "$tray_pid" || tray_rc=$?
tray_pid=""
[ "$tray_rc" = 0 ] || xd_fail "the tray ended with $tray_rc"
tray_log_names_client "TrayIcon client exited gracefully: pid=" || xd_fail "the client was not seen ending by itself"
if tray_log_has "TrayIcon force terminate"; then xd_fail "the client was forced"; fi
tray_log_has "TrayIcon STOP_SERVICE attempt= 1 success= true" || xd_fail "the service was not stopped"
service_rc=0
wait "$XD_STANDIN_PID" || service_rc=$?
XD_STANDIN_PID=""
[ "$service_rc" = 0 ] || xd_fail "the service stand-in ended with $service_rc"

echo "PASS"
