#!/usr/bin/env bash
# The tray's idle cost next to its floors. Beside a healthy stand-in service, three programs
# start together and idle through the same window, offscreen and then, when Xvfb and trayer are
# installed, on a virtual display with a notification area:
#   tray   the shipped tray;
#   floor  the floor of its design (bare_tray --poll): its timers and, once a second, a new
#          thread that re-reads params.ini and makes one GET_STATUS exchange, handed back to
#          the GUI thread by a queued call that decodes the JSON; nothing else;
#   bare   a bare Qt tray with the same three timers (bare_tray).
# Prints for each, with the tray's ratio to the floor and to the bare tray:
#   CPU per minute     user plus system time of all threads, short-lived ones included, from
#                      the resource usage of the ended program (/proc counts CPU in 10 ms
#                      ticks): a run with the window minus a run without it, so the start
#                      and the end of both cancel out. Where a cgroup v1 "cpuacct" hierarchy
#                      can be written (as root in a container, say), each program runs in a
#                      group of its own and the window's CPU is read from it to the
#                      nanosecond instead; the line says which. With a group, the window is
#                      also cut into 10 s parts and the median of the parts' ratios printed,
#                      which one busy moment on a shared machine cannot move much
#   wake-ups per sec.  context switches of the main thread in the window: the event loop's
#                      wake-ups; below it those of all threads, the per-cycle poll threads
#                      included, from the resource usage as for CPU (start-up varies more
#                      in switches than in CPU, so this line is the rougher one)
#   resident memory    VmRSS at the end of the window
#   start-up           from the start to the icon shown (the tray's log line, bare_tray's output)
# Prints figures, never fails.
# Usage: bench/tray_vs_bare.sh [--build-dir DIR] [--seconds N] [--tray PROGRAM]
#   --build-dir  the build tree to use (default build/release; built here when needed)
#   --seconds    length of the idle window (default 60)
#   --tray       measure this tray program instead of the build tree's (e.g. an older build)
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$repo/build/release"
seconds=60
tray=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build=$2; shift ;;
    --seconds) seconds=$2; shift ;;
    --tray) tray=$2; shift ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    *) echo "tray_vs_bare: unknown option '$1'" >&2; exit 0 ;;
  esac
  shift
done

case "$seconds" in
  '' | *[!0-9]*) echo "tray_vs_bare: --seconds takes a whole number of seconds, not '$seconds'" >&2; exit 0 ;;
esac
seconds=$((10#$seconds)) # "08" is eight, not a bad octal number
[ "$seconds" -gt 0 ] || { echo "tray_vs_bare: --seconds must be at least 1" >&2; exit 0; }

# Warm-up after the icon is shown: past the first polls, the steady state is what a user pays.
warmup=3

if [ ! -f "$build/CMakeCache.txt" ]; then
  (cd "$repo" && cmake --preset release -B "$build" >/dev/null) || { echo "tray_vs_bare: configure failed"; exit 0; }
fi
cmake --build "$build" -j2 --target Orlune_DizovuvOdiv service-standin skin orlune_translations bare_tray \
  >/dev/null || { echo "tray_vs_bare: build failed"; exit 0; }
appdir="$build/appdir"
bare="$build/bench/bare_tray"
tray=${tray:-"$appdir/Orlune_DizovuvOdiv"}

# shellcheck source=../scripts/lib/xdesktop.sh
. "$repo/scripts/lib/xdesktop.sh"

work=$(mktemp -d)
pids=()
cg=""
if [ -w /sys/fs/cgroup/cpuacct ] && mkdir "/sys/fs/cgroup/cpuacct/orlune-bench-$$" 2>/dev/null; then
  cg="/sys/fs/cgroup/cpuacct/orlune-bench-$$"
fi
# shellcheck disable=SC2317 # reached through the EXIT trap, which shellcheck does not follow
cleanup() {
  local pid
  for pid in "${pids[@]}"; do xd_stop "$pid"; done
  xd_stop "${XD_STANDIN_PID:-}"
  xd_stop_desktop
  rm -rf "$work"
  # A group goes once it is empty; the programs have ended by now.
  [ -z "$cg" ] || find "$cg" -depth -type d -exec rmdir {} + 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM

now_ms() { echo $(($(date +%s%N) / 1000000)); }
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null; }
# Context switches of the main thread: the wake-ups of the event loop.
main_switches() { awk '/ctxt_switches:/ { n += $2 } END { print n }' "/proc/$1/task/$1/status" 2>/dev/null; }

# launch PREFIX PROGRAM ARGUMENTS...: starts the program under /usr/bin/time in a subshell that,
# once the program has ended, writes the CPU time of everything it reaped (the program's dead
# threads included, to the millisecond) to PREFIX.times; PREFIX.time gets the context switches.
# With cgroups, the subshell and all it starts go into the group PREFIX names.
launch() {
  local prefix=$1 group=""
  shift
  if [ -n "$cg" ]; then
    group="$cg/$(basename "$(dirname "$prefix")")-$(basename "$prefix")"
    mkdir -p "$group"
  fi
  (
    [ -z "$group" ] || echo "$BASHPID" >"$group/cgroup.procs"
    /usr/bin/time -f '%w %c %e' -o "$prefix.time" "$@" >"$prefix.out" 2>&1 &
    wait $!
    # Not in a pipeline: that would be another subshell, which has reaped nothing.
    times >"$prefix.times"
  ) &
}

# The program started by launch(): the child of /usr/bin/time, the child of the subshell.
program_of() {
  local timer
  timer=$(pgrep -P "$1" | head -n1)
  [ -n "$timer" ] && pgrep -P "$timer" | head -n1
}

# The programs measured side by side, in this order: the shipped tray, the floor of its design
# (bare_tray --poll) and the bare tray.
programs=(tray floor bare)

# start_program DIR NAME: launches one of the programs as DIR/NAME.
start_program() {
  local icon="$work/app/Skin/Client/custom/tray_logo_28.png"
  case "$2" in
    tray) launch "$1/tray" "$work/app/Orlune_DizovuvOdiv" ;;
    floor) launch "$1/floor" "$bare" "$icon" --poll "\\\\.\\pipe\\${instance}_Service" "$work/app/params.ini" ;;
    bare) launch "$1/bare" "$bare" "$icon" ;;
  esac
}

# shown_yet DIR NAME: the program has shown its icon.
shown_yet() {
  if [ "$2" = tray ]; then
    grep -q "TrayIcon shown" "$work/app/log/DizovuvOdiv.log" 2>/dev/null
  else
    grep -q "^shown" "$1/$2.out" 2>/dev/null
  fi
}

# usage_marks DIR: one line of the programs' CPU nanoseconds so far (0s without cgroups).
usage_marks() {
  local name line=""
  for name in "${programs[@]}"; do line="$line $(group_usage "$1" "$name")"; done
  echo "${line# }"
}

# run_all DIR SECONDS: starts the programs, waits until each shows its icon, for the warm-up
# and for SECONDS more, then ends them. Writes for each program NAME: DIR/NAME.startup (ms),
# NAME.wakeups (main thread, in the window), NAME.rss (KiB at the end), NAME.cpu (ms),
# NAME.switches, NAME.life (s) (whole run), NAME.window_ns (with cgroups); and DIR/marks, the
# usage at the start of the window and at each 10 s mark.
run_all() {
  local dir=$1 window=$2 name
  local -A t0 shell pid shown main
  mkdir -p "$dir"
  rm -rf "$work/app/log"
  pids=()
  for name in "${programs[@]}"; do
    t0[$name]=$(now_ms)
    start_program "$dir" "$name"
    shell[$name]=$!
    pids+=("$!")
  done
  local deadline=$(($(now_ms) + 15000)) waiting=1
  while [ "$waiting" = 1 ] && [ "$(now_ms)" -le "$deadline" ]; do
    waiting=0
    for name in "${programs[@]}"; do
      [ -n "${shown[$name]:-}" ] && continue
      if shown_yet "$dir" "$name"; then shown[$name]=$(($(now_ms) - t0[$name])); else waiting=1; fi
    done
    sleep 0.002
  done
  for name in "${programs[@]}"; do
    echo "${shown[$name]:-n/a}" >"$dir/$name.startup"
    pid[$name]=$(program_of "${shell[$name]}")
  done
  sleep "$warmup"
  for name in "${programs[@]}"; do main[$name]=$(main_switches "${pid[$name]}"); done
  local start_marks
  start_marks=$(usage_marks "$dir")
  echo "$start_marks" >"$dir/marks"
  local left=$window
  while [ "$left" -gt 0 ]; do
    local step=$((left < 10 ? left : 10))
    sleep "$step"
    left=$((left - step))
    [ "$step" -lt 10 ] || usage_marks "$dir" >>"$dir/marks"
  done
  local i=0
  for name in "${programs[@]}"; do
    i=$((i + 1))
    echo "$(($(main_switches "${pid[$name]}") - main[$name]))" >"$dir/$name.wakeups"
    [ -z "$cg" ] ||
      echo "$(($(group_usage "$dir" "$name") - $(echo "$start_marks" | cut -d' ' -f"$i")))" >"$dir/$name.window_ns"
    rss_kib "${pid[$name]}" >"$dir/$name.rss"
    kill "${pid[$name]}" 2>/dev/null
  done
  for name in "${programs[@]}"; do wait "${shell[$name]}" 2>/dev/null; done
  pids=()
  for name in "${programs[@]}"; do
    # time writes "Command terminated by signal N" first when the program did not exit itself.
    tail -n1 "$dir/$name.time" | awk '{ print $1 + $2 > "'"$dir/$name.switches"'"; print $3 > "'"$dir/$name.life"'" }'
    # The second line of times, "0m1.234s 0m0.567s": user and system time of the reaped children.
    tail -n1 "$dir/$name.times" | tr 'ms' '  ' | awk '{ printf "%.0f\n", ($1 * 60 + $2 + $3 * 60 + $4) * 1000 }' >"$dir/$name.cpu"
  done
}

# group_usage DIR NAME: CPU nanoseconds so far of the program launched as DIR/NAME (0 without
# cgroups).
group_usage() {
  cat "$cg/$(basename "$1")-$2/cpuacct.usage" 2>/dev/null || echo 0
}

# cpu_per_minute LONG SHORT NAME: from the group over the window where there is one, else from
# the two runs' resource usage.
cpu_per_minute() {
  if [ -n "$cg" ]; then
    awk -v ns="$(cat "$1/$3.window_ns")" -v s="$seconds" 'BEGIN { printf "%.1f", ns / 1e6 / s * 60 }'
  else
    per_unit "$1" "$2" "$3" cpu 60
  fi
}

# per_unit LONG SHORT NAME FIELD SCALE: (FIELD of the long run - of the short run) per second of
# the difference in life time, times SCALE; so the start and the end of both runs cancel out.
per_unit() {
  awk -v v1="$(cat "$1/$3.$4")" -v v0="$(cat "$2/$3.$4")" -v l1="$(cat "$1/$3.life")" -v l0="$(cat "$2/$3.life")" \
    -v scale="$5" 'BEGIN { if (l1 - l0 <= 0) print "n/a"; else printf "%.1f", (v1 - v0) / (l1 - l0) * scale }'
}

# parts_ratio DIR A B: median, lowest and highest over the window's 10 s parts of the CPU of
# the A-th program over the B-th's (columns of DIR/marks).
parts_ratio() {
  awk -v a="$2" -v b="$3" 'NR > 1 && $b > pb { r[++n] = ($a - pa) / ($b - pb) } { pa = $a; pb = $b }
    END {
      if (n == 0) { print "n/a"; exit }
      for (i = 2; i <= n; i++) for (j = i; j > 1 && r[j - 1] > r[j]; j--) { x = r[j]; r[j] = r[j - 1]; r[j - 1] = x }
      median = n % 2 ? r[(n + 1) / 2] : (r[n / 2] + r[n / 2 + 1]) / 2
      printf "%.2f (%d parts, %.2f to %.2f)", median, n, r[1], r[n] }' "$1/marks"
}

rss_mib() { awk '{ printf "%.1f", $1 / 1024 }' "$1"; }

per_window() {
  awk -v n="$(cat "$1/$2.wakeups")" -v s="$seconds" 'BEGIN { printf "%.1f", n / s }'
}

ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN {
    number = "^[0-9]+([.][0-9]+)?$"
    if (a ~ number && b ~ number && b + 0 > 0) printf "%.2f", a / b; else print "n/a" }'
}

# row LABEL TRAY FLOOR BARE: the three figures and the tray's over the floor's and the bare's.
row() {
  printf '  %-26s %8s %8s %8s %12s %11s\n' "$1" "$2" "$3" "$4" "$(ratio "$2" "$3")" "$(ratio "$2" "$4")"
}

measure() {
  local mode=$1 short="$work/$1-short" long="$work/$1-long"
  run_all "$short" 0
  run_all "$long" "$seconds"
  echo "== $mode, ${seconds} s window after ${warmup} s of warm-up"
  printf '  %-26s %8s %8s %8s %12s %11s\n' "" "tray" "floor" "bare" "tray/floor" "tray/bare"
  local how="two runs"
  [ -z "$cg" ] || how="cgroup"
  row "CPU per minute (ms, $how)" "$(cpu_per_minute "$long" "$short" tray)" \
    "$(cpu_per_minute "$long" "$short" floor)" "$(cpu_per_minute "$long" "$short" bare)"
  if [ -n "$cg" ]; then
    echo "  CPU ratio, median of the 10 s parts:"
    echo "    tray/floor $(parts_ratio "$long" 1 2)"
    echo "    tray/bare  $(parts_ratio "$long" 1 3)"
  fi
  row "wake-ups per second" "$(per_window "$long" tray)" "$(per_window "$long" floor)" "$(per_window "$long" bare)"
  row "  all threads' switches" "$(per_unit "$long" "$short" tray switches 1)" \
    "$(per_unit "$long" "$short" floor switches 1)" "$(per_unit "$long" "$short" bare switches 1)"
  row "resident memory (MiB)" "$(rss_mib "$long/tray.rss")" "$(rss_mib "$long/floor.rss")" "$(rss_mib "$long/bare.rss")"
  row "start-up to shown (ms)" "$(cat "$long/tray.startup")" "$(cat "$long/floor.startup")" \
    "$(cat "$long/bare.startup")"
}

# An installation of its own beside a healthy stand-in service; nothing meets other runs.
xd_install "$work" "$appdir"
cp "$tray" "$work/app/Orlune_DizovuvOdiv"
instance="Bench$$"
printf '[product]\ninstanceId=%s\n' "$instance" >"$work/app/params.ini"
xd_start_standin "$work/app/service-standin" "$work/service.log" --instance-id "$instance" --http-port 0 ||
  { echo "tray_vs_bare: the stand-in service did not start"; exit 0; }
echo "tray: $tray"
echo "floor and bare: $bare"

QT_QPA_PLATFORM=offscreen measure offscreen
if xd_missing_tools >/dev/null; then
  xd_start_desktop "$work" && measure "Xvfb with trayer"
else
  echo "== Xvfb with trayer: skipped, missing $(xd_missing_tools | tr '\n' ' ')"
fi
exit 0
