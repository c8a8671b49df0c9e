#!/usr/bin/env bash
# Two installations of the product side by side, as one machine may hold them: different
# identifiers, the same product name and so the same client executable name, each from its own
# folder with its own service. Both trays and both clients run on their own named objects; Exit
# in the first tray closes only the first installation's client and stops only its service.
# Usage: side_by_side_test.sh STATE_DIR APPDIR ARTEFACT_DIR SOURCE_DIR
set -euo pipefail

state=$1 appdir_src=$2 artefacts=$3 source_dir=$4
# shellcheck source=../../scripts/lib/xdesktop.sh
. "$source_dir/scripts/lib/xdesktop.sh"
# shellcheck source=winqt.sh
. "$source_dir/windows/wine/winqt.sh"

work=$(mktemp -d)
cleanup() {
  wq_kill_all
  rm -rf "$work"
}
trap cleanup EXIT
XD_FAIL_FILES=("$work/A/log/DizovuvOdiv.log" "$work/B/log/DizovuvOdiv.log" "$work/trace"
  "$work/client-A.out" "$work/client-B.out" "$work/service-A.out" "$work/service-B.out")
log_has() { grep -qF -- "$2" "$work/$1/log/DizovuvOdiv.log" 2>/dev/null; }
traced() { grep -qF -- "$1" "$work/trace" 2>/dev/null; }
main_frames_shown() {
  local n
  n=$(grep -cF "MainFrame shown" "$work/trace" 2>/dev/null) || true
  echo "${n:-0}"
}
new_icon() { wq_find_icons | grep -vxF "${1:-none}" | head -n1 | grep .; }

mkdir -p "$artefacts"
wq_begin "$state" "$appdir_src" "$work"
export ORLUNE_STANDIN_TRACE="Z:$work/trace" ORLUNE_STANDIN_LOGIN=accept
declare -A service_pid tray_pid client_pid icon
for side in A B; do
  cp -r "$work/app" "$work/$side"
  port=$(wq_free_port)
  printf '[product]\nappName=Orlune\ninstanceId=WqSide%s%s\nserviceName=WqSideService%s%s\n[client]\ntorvikServerPort=%s\n' \
    "$side" "$$" "$side" "$$" "$port" >"$work/$side/params.ini"

  xd_step "installation $side: its service, its tray"
  wq_start "$work/service-$side.out" "$work/$side/service-standin.exe" --instance-id "WqSide$side$$" --http-port "$port"
  service_pid[$side]=$WQ_PID
  xd_wait 30 wq_service_ready "$work/service-$side.out" || xd_fail "service $side did not start"
  wq_start "$work/tray-$side.out" "$work/$side/Orlune_DizovuvOdiv.exe"
  tray_pid[$side]=$WQ_PID
  xd_wait 30 wq_tray_polling "$work/$side/log/DizovuvOdiv.log" "$work/service-$side.out" || xd_fail "tray $side did not come up"
  xd_wait 20 new_icon "${icon[A]:-}" >/dev/null || xd_fail "no icon of tray $side"
  icon[$side]=$(new_icon "${icon[A]:-}")
done

# The other installation's client first, so that a search by name alone meets it first.
for side in B A; do
  xd_step "installation $side: its client reaches its main window"
  shown=$(main_frames_shown)
  wq_start "$work/client-$side.out" "$work/$side/Orlune.exe"
  client_pid[$side]=$WQ_PID
  more_shown() { [ "$(main_frames_shown)" -gt "$shown" ]; }
  xd_wait 60 more_shown || xd_fail "client $side did not reach its main window"
done
kill -0 "${client_pid[B]}" 2>/dev/null || xd_fail "client B ended when client A started"

xd_step "Exit in tray A, Yes: only client A closes, only service A stops"
dialog=$(wq_choose_exit "${icon[A]}") || xd_fail "no confirmation dialog after Exit in tray A"
xd_shot_window "$dialog" "$artefacts/side-by-side-exit.png"
if log_has A 'clientPid= "none"'; then xd_fail "tray A did not find its own client"; fi
wq_answer_yes "$dialog"
wq_wait "${client_pid[A]}"
[ "$WQ_RC" = 0 ] || xd_fail "client A ended with $WQ_RC"
wq_wait "${tray_pid[A]}"
[ "$WQ_RC" = 0 ] || xd_fail "tray A ended with $WQ_RC"
log_has A "TrayIcon client exited gracefully: pid=" || xd_fail "client A did not end by the exit request"
if log_has A "TrayIcon force terminate"; then xd_fail "tray A forced a client"; fi
service_a_gone() { ! kill -0 "${service_pid[A]}" 2>/dev/null; }
xd_wait 20 service_a_gone || xd_fail "service A still runs after tray A's Exit"
kill -0 "${client_pid[B]}" 2>/dev/null || xd_fail "tray A's Exit ended installation B's client"
kill -0 "${service_pid[B]}" 2>/dev/null || xd_fail "tray A's Exit ended installation B's service"
kill -0 "${tray_pid[B]}" 2>/dev/null || xd_fail "tray B ended"
if log_has B "TrayIcon Watch pipe connection changed: offline"; then xd_fail "tray B lost its service"; fi
echo "PASS"
