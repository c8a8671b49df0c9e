#!/usr/bin/env bash
# The package installed as a Windows user installs it: under "C:\Program Files\" in a folder
# whose name has a blank and a non-ASCII letter, with the product home in "C:\ProgramData\"
# written in params.ini with single backslashes, as people write Windows paths. The tray and the
# launcher start from there, log there and find their skin and translation; the tray takes the
# language from the product home, and its exit question knows the home's recording plan.
# Usage: install_location_test.sh STATE_DIR APPDIR ARTEFACT_DIR SOURCE_DIR
set -euo pipefail

state=$1 appdir_src=$2 artefacts=$3 source_dir=$4
# shellcheck source=../../scripts/lib/xdesktop.sh
. "$source_dir/scripts/lib/xdesktop.sh"
# shellcheck source=winqt.sh
. "$source_dir/windows/wine/winqt.sh"

work=$(mktemp -d)
installed="" home=""
cleanup() {
  wq_kill_all
  rm -rf "$work" "$installed" "$home"
}
trap cleanup EXIT
# Wine takes a program's command line in the locale's encoding: UTF-8 carries the "ü" through.
export LC_ALL=C.UTF-8

mkdir -p "$artefacts"
rm -f "$artefacts"/location-*.png
wq_begin "$state" "$appdir_src" "$work"
id="WqPlace$$"
folder="Orlune Prüfung $$"
installed="$WINEPREFIX/drive_c/Program Files/$folder"
home_name="Orlune Home $$"
home="$WINEPREFIX/drive_c/ProgramData/$home_name"
win_app="C:\\Program Files\\$folder"
tray_log="$installed/log/DizovuvOdiv.log"
XD_FAIL_FILES=("$tray_log" "$installed/log/VadorivOruziz.log" "$work/service.out" "$work/tray.out" "$work/client.out" "$work/trace")
tray_log_has() { grep -qF -- "$1" "$tray_log" 2>/dev/null; }
traced() { grep -qF -- "$1" "$work/trace" 2>/dev/null; }

xd_step "the package in C:\\Program Files\\$folder, the product home in C:\\ProgramData\\$home_name"
mkdir -p "$installed" "$home"
cp -r "$work/app"/. "$installed/"
port=$(wq_free_port)
printf '[product]\r\nappName=Orlune\r\ninstanceId=%s\r\nserviceName=WqPlaceService%s\r\n[paths]\r\norlunehome=C:\\ProgramData\\%s\r\n[language]\r\ncurrentLanCode=en_US\r\n[client]\r\ntorvikServerPort=%s\r\n' \
  "$id" "$$" "$home_name" "$port" >"$installed/params.ini"
printf '[language]\r\ncurrentLanCode=de_DE\r\n[recordPlan]\r\nhasLocalPlan=1\r\n' >"$home/params.ini"
grep -qF 'orlunehome=C:\ProgramData\Orlune Home' "$installed/params.ini" || xd_fail "params.ini does not hold single backslashes"

xd_step "the tray starts from Program Files, logs there, shows the skin and the home's language"
wq_start "$work/service.out" "$work/app/service-standin.exe" --instance-id "$id" --http-port "$port"
xd_wait 30 wq_service_ready "$work/service.out" || xd_fail "the stand-in service did not start"
wq_start "$work/tray.out" "$win_app\\Orlune_DizovuvOdiv.exe"
tray_pid=$WQ_PID
xd_wait 30 wq_tray_polling "$tray_log" "$work/service.out" || xd_fail "the tray did not come up"
tray_log_has "applicationDirPath=C:/Program Files/$folder " || xd_fail "the tray does not run from Program Files"
tray_log_has "DizovuvOdiv translation loaded: \"de_DE\"" || xd_fail "the tray did not take the product home's language"
tray_log_has "TrayIcon icon source= \"C:/Program Files/$folder/Skin/Client/custom/tray_logo_28.png\"" ||
  xd_fail "the tray did not find its skin"
xd_wait 20 wq_find_icon >/dev/null || xd_fail "no icon in the notification area"
icon=$(wq_find_icon)

xd_step "the launcher starts from Program Files, logs there and reaches its main window"
export ORLUNE_STANDIN_TRACE="Z:$work/trace" ORLUNE_STANDIN_LOGIN=accept
wq_start "$work/client.out" "$win_app\\Orlune.exe"
xd_wait 60 traced "MainFrame shown" || xd_fail "the launcher did not reach its main window"
grep -qF "log system ready" "$installed/log/VadorivOruziz.log" || xd_fail "the launcher did not log in Program Files"

xd_step "Exit: the question names the client and the product home's recording plan, in German"
dialog=$(wq_choose_exit "$icon") || xd_fail "no confirmation dialog after Exit"
sleep 0.3
xd_shot_window "$dialog" "$artefacts/location-exit-question.png"
tray_log_has "TrayIcon recording plan detected= true" || xd_fail "the exit question does not know the recording plan"
if tray_log_has 'clientPid= "none"'; then xd_fail "the tray did not find the client it started beside"; fi
wq_answer_no "$dialog"
xd_wait 10 tray_log_has "TrayIcon exit cancelled by user" || xd_fail "No did not cancel the exit"
kill -0 "$tray_pid" 2>/dev/null || xd_fail "the tray ended after a cancelled exit"
echo "PASS: screenshot in $artefacts"
