#!/usr/bin/env bash
# The unpacked release package on a wine prefix made just for this test, as on a machine that
# never saw the build: the stand-in service, the tray and the launcher start from the package
# alone (a missing DLL or plugin shows here: the program cannot start its platform). Then the
# session ends (wineboot --end-session sends the session-end messages): the tray writes its exit
# line and closes its log, opens no dialog and does not hold the session up.
# Usage: fresh_prefix_test.sh STATE_DIR APPDIR SOURCE_DIR
set -euo pipefail

state=$1 appdir_src=$2 source_dir=$3
# shellcheck source=../../scripts/lib/xdesktop.sh
. "$source_dir/scripts/lib/xdesktop.sh"
# shellcheck source=winqt.sh
. "$source_dir/windows/wine/winqt.sh"

work=$(mktemp -d)
cleanup() {
  wq_kill_all
  wineserver -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
tray_log="$work/app/log/DizovuvOdiv.log"
XD_FAIL_FILES=("$tray_log" "$work/service.out" "$work/tray.out" "$work/client.out" "$work/trace")
tray_log_has() { grep -qF -- "$1" "$tray_log" 2>/dev/null; }
traced() { grep -qF -- "$1" "$work/trace" 2>/dev/null; }

# The shared desktop's display, but a prefix and wine server of this test's own.
wq_begin "$state" "$appdir_src" "$work"
export WINEPREFIX="$work/prefix"
xd_step "a new wine prefix, nothing in it but wine"
started=$SECONDS
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit 0 </dev/null >/dev/null 2>&1 || xd_fail "the new prefix could not be made"
echo "prefix made in $((SECONDS - started)) s"

id="WqFresh$$"
port=$(wq_free_port)
printf '[product]\nappName=Orlune\ninstanceId=%s\nserviceName=WqFreshService%s\n[client]\ntorvikServerPort=%s\n' \
  "$id" "$$" "$port" >"$work/app/params.ini"

xd_step "the stand-in service and the tray start from the package"
wq_start "$work/service.out" "$work/app/service-standin.exe" --instance-id "$id" --http-port "$port"
xd_wait 30 wq_service_ready "$work/service.out" || xd_fail "the stand-in service did not start"
wq_start "$work/tray.out" "$work/app/Orlune_DizovuvOdiv.exe"
tray_pid=$WQ_PID
xd_wait 30 wq_tray_polling "$tray_log" "$work/service.out" || xd_fail "the tray did not come up"
tray_log_has "DizovuvOdiv translation loaded:" || xd_fail "the tray did not load its translation"

xd_step "the launcher starts from the package, signs in, shows its main window and ends with 0"
export ORLUNE_STANDIN_TRACE="Z:$work/trace" ORLUNE_STANDIN_LOGIN=accept ORLUNE_STANDIN_MAINFRAME_EXIT=0:300
wq_start "$work/client.out" "$work/app/Orlune.exe"
client_pid=$WQ_PID
xd_wait 60 traced "MainFrame shown" || xd_fail "the launcher did not reach its main window"
wq_wait "$client_pid"
[ "$WQ_RC" = 0 ] || xd_fail "the launcher ended with $WQ_RC"
unset ORLUNE_STANDIN_TRACE ORLUNE_STANDIN_LOGIN ORLUNE_STANDIN_MAINFRAME_EXIT

xd_step "the session ends: the tray writes its exit line, opens no dialog, holds nothing up"
started=$SECONDS
timeout 60 wineboot --end-session </dev/null >"$work/wineboot.out" 2>&1 || xd_fail "wineboot --end-session failed or hung"
echo "the session ended in $((SECONDS - started)) s"
tray_gone() { ! kill -0 "$tray_pid" 2>/dev/null; }
xd_wait 20 tray_gone || xd_fail "the tray still runs after the session ended"
wq_wait "$tray_pid"
last=$(tail -n1 "$tray_log" | tr -d '\r')
[[ "$last" == *"DizovuvOdiv exiting, code= 0" ]] || xd_fail "last tray line at session end: $last"
if tray_log_has "TrayIcon exit requested"; then xd_fail "the session end ran the tray's exit sequence"; fi
echo "PASS"
