#!/usr/bin/env bash
# The tray's idle cost next to its floor. The shipped tray, beside a healthy stand-in service,
# and a bare Qt tray with the same three timers (bare_tray) start together and idle through the
# same window, offscreen and then, when Xvfb and trayer are installed, on a virtual display
# with a notification area. Prints for both, with the ratio shipped/bare:
#   CPU per minute     user plus system time of all threads, the slope of /proc/PID/stat
#                      sampled once a second (the counter only moves in clock ticks)
#   wake-ups per sec.  context switches of all threads, short-lived ones included: a run of
#                      the window's length minus a run without it, so start and end cancel out
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
cleanup() {
  local pid
  for pid in "${pids[@]}"; do xd_stop "$pid"; done
  xd_stop "${XD_STANDIN_PID:-}"
  xd_stop_desktop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

now_ms() { echo $(($(date +%s%N) / 1000000)); }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null; }
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null; }
# The program's process under /usr/bin/time.
child_of() { pgrep -P "$1" | head -n1; }

# run_pair DIR SECONDS: starts the shipped tray and the bare tray, each under /usr/bin/time,
# waits until both show their icon and for the warm-up, samples both over SECONDS, ends both.
# Writes DIR/{tray,bare}.{startup,samples,rss,switches,life}.
run_pair() {
  local dir=$1 window=$2 t0_tray t0_bare tray_time bare_time tray_pid bare_pid shown_tray="" shown_bare=""
  mkdir -p "$dir"
  rm -rf "$work/app/log"
  t0_tray=$(now_ms)
  /usr/bin/time -f '%w %c %e' -o "$dir/tray.time" "$work/app/Orlune_DizovuvOdiv" >"$dir/tray.out" 2>&1 &
  tray_time=$!
  t0_bare=$(now_ms)
  /usr/bin/time -f '%w %c %e' -o "$dir/bare.time" "$bare" "$work/app/Skin/Client/custom/tray_logo_28.png" \
    >"$dir/bare.out" 2>&1 &
  bare_time=$!
  pids=("$tray_time" "$bare_time")
  local deadline=$(($(now_ms) + 15000))
  while [ -z "$shown_tray" ] || [ -z "$shown_bare" ]; do
    [ -z "$shown_tray" ] && grep -q "TrayIcon shown" "$work/app/log/DizovuvOdiv.log" 2>/dev/null &&
      shown_tray=$(($(now_ms) - t0_tray))
    [ -z "$shown_bare" ] && grep -q "^shown" "$dir/bare.out" 2>/dev/null && shown_bare=$(($(now_ms) - t0_bare))
    [ "$(now_ms)" -gt "$deadline" ] && break
    sleep 0.002
  done
  echo "${shown_tray:-n/a}" >"$dir/tray.startup"
  echo "${shown_bare:-n/a}" >"$dir/bare.startup"
  tray_pid=$(child_of "$tray_time")
  bare_pid=$(child_of "$bare_time")
  sleep "$warmup"
  local i start
  start=$(now_ms)
  for ((i = 0; i <= window; i++)); do
    [ "$i" -gt 0 ] && sleep 1
    echo "$(($(now_ms) - start)) $(cpu_ticks "$tray_pid")" >>"$dir/tray.samples"
    echo "$(($(now_ms) - start)) $(cpu_ticks "$bare_pid")" >>"$dir/bare.samples"
  done
  rss_kib "$tray_pid" >"$dir/tray.rss"
  rss_kib "$bare_pid" >"$dir/bare.rss"
  kill "$tray_pid" "$bare_pid" 2>/dev/null
  wait "$tray_time" "$bare_time" 2>/dev/null
  pids=()
  local who
  for who in tray bare; do
    # time writes "Command terminated by signal N" first when the program did not exit itself.
    tail -n1 "$dir/$who.time" | awk '{ print $1 + $2 > "'"$dir/$who.switches"'"; print $3 > "'"$dir/$who.life"'" }'
  done
}

# Least-squares slope of "milliseconds ticks" samples, as milliseconds of CPU per minute.
cpu_per_minute() {
  awk -v hz="$(getconf CLK_TCK)" '
    NF == 2 && $2 != "" { n++; sx += $1; sy += $2; sxx += $1 * $1; sxy += $1 * $2 }
    END {
      d = n * sxx - sx * sx
      if (n < 2 || d == 0) { print "n/a"; exit }
      printf "%.1f", (n * sxy - sx * sy) / d * 1000 / hz * 60000
    }' "$1"
}

wakeups_per_second() {
  local dir_long=$1 dir_short=$2 who=$3
  awk -v s1="$(cat "$dir_long/$who.switches")" -v s0="$(cat "$dir_short/$who.switches")" \
    -v l1="$(cat "$dir_long/$who.life")" -v l0="$(cat "$dir_short/$who.life")" \
    'BEGIN { if (l1 - l0 <= 0) print "n/a"; else printf "%.1f", (s1 - s0) / (l1 - l0) }'
}

ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN {
    number = "^[0-9]+([.][0-9]+)?$"
    if (a ~ number && b ~ number && b + 0 > 0) printf "%.2f", a / b; else print "n/a" }'
}

row() {
  printf '  %-24s %14s %14s %8s\n' "$1" "$2" "$3" "$(ratio "$2" "$3")"
}

measure() {
  local mode=$1 short="$work/$1-short" long="$work/$1-long"
  run_pair "$short" 0
  run_pair "$long" "$seconds"
  echo "== $mode, ${seconds} s window after ${warmup} s of warm-up"
  printf '  %-24s %14s %14s %8s\n' "" "shipped tray" "bare tray" "ratio"
  row "CPU per minute (ms)" "$(cpu_per_minute "$long/tray.samples")" "$(cpu_per_minute "$long/bare.samples")"
  row "wake-ups per second" "$(wakeups_per_second "$long" "$short" tray)" \
    "$(wakeups_per_second "$long" "$short" bare)"
  row "resident memory (MiB)" "$(awk '{ printf "%.1f", $1 / 1024 }' "$long/tray.rss")" \
    "$(awk '{ printf "%.1f", $1 / 1024 }' "$long/bare.rss")"
  row "start-up to shown (ms)" "$(cat "$long/tray.startup")" "$(cat "$long/bare.startup")"
}

# An installation of its own beside a healthy stand-in service; nothing meets other runs.
xd_install "$work" "$appdir"
cp "$tray" "$work/app/Orlune_DizovuvOdiv"
instance="Bench$$"
printf '[product]\ninstanceId=%s\n' "$instance" >"$work/app/params.ini"
xd_start_standin "$work/app/service-standin" "$work/service.log" --instance-id "$instance" --http-port 0 ||
  { echo "tray_vs_bare: the stand-in service did not start"; exit 0; }
echo "tray: $tray"
echo "bare: $bare"

QT_QPA_PLATFORM=offscreen measure offscreen
if xd_missing_tools >/dev/null; then
  xd_start_desktop "$work" && measure "Xvfb with trayer"
else
  echo "== Xvfb with trayer: skipped, missing $(xd_missing_tools | tr '\n' ' ')"
fi
exit 0
