#!/usr/bin/env bash
# The idle benchmarks' common part against stand-in programs: CPU is given to the program that
# spent it (from /proc ticks, and from cgroups where they can be made), a process the programs
# share is left out of the one that started it, a program that never shows its icon reads n/a,
# and nothing the benchmark started outlives it.
set -u

lib="$(cd "$(dirname "$0")/.." && pwd)/lib/idlebench.sh"
work=$(mktemp -d)
# Ends the helpers the stand-in programs started (they outlive them).
kill_helpers() {
    local helper
    [ -f "$work/helpers" ] || return 0
    while read -r helper; do kill "$helper" 2>/dev/null; done <"$work/helpers"
    rm -f "$work/helpers"
}
# After a failure: ends what the benchmark left running, the program under each /usr/bin/time.
kill_left() {
    local pid
    for pid in $(pgrep -f "$work/"); do
        pgrep -P "$pid" | xargs -r kill 2>/dev/null
        kill "$pid" 2>/dev/null
    done
}
# shellcheck disable=SC2317 # reached through the EXIT trap
cleanup() {
    kill_helpers
    rm -rf "$work"
}
trap cleanup EXIT
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# shellcheck source=../lib/idlebench.sh
. "$lib"
IB_PROGRAMS=(tray floor bare)
IB_SECONDS=1
IB_WARMUP=0
IB_SHOWN_MS=1000

# A command name may hold spaces and parentheses; user and system time are the 14th and 15th
# fields of the line.
ticks=$(echo '4242 (My (odd) app.exe) S 1 2 3 0 -1 4194304 10 0 0 0 70 5 0 0 20 0 1 0 99' | ib_ticks)
[ "$ticks" = 75 ] || fail "ticks of a process with an odd name: '$ticks', not 75"

# The stand-in programs: one that spins, one that idles, one that never shows its icon, and one
# that idles but starts a spinning helper that outlives it, as wine starts its desktop process.
printf 'echo shown\nwhile :; do :; done\n' >"$work/spin.sh"
printf 'echo shown\nexec sleep 300\n' >"$work/idle.sh"
printf 'exec sleep 300\n' >"$work/silent.sh"
printf '(while :; do :; done) &\necho $! >>"%s/helpers"\necho shown\nexec sleep 300\n' "$work" >"$work/starter.sh"

# bench_start DIR NAME: the stand-in program of NAME, as SCRIPTS says.
declare -A scripts
bench_start() { ib_launch "$1/$2" bash "$work/${scripts[$2]}"; }
bench_shown() { grep -q "^shown" "$1/$2.out" 2>/dev/null; }

# figure OUTPUT LABEL COLUMN: the figure of a program (1, 2, 3) in the row starting with LABEL.
figure() { grep -m1 -F "  $2" "$1" | awk -v c="$3" '{ print $(NF - 5 + c) }'; }

# CPU from the window's ticks: the spinning program's, not the idle one's.
scripts=([tray]=spin.sh [floor]=idle.sh [bare]=silent.sh)
IB_CPU_FALLBACK=ticks
ib_measure "ticks" "$work/ticks" >"$work/ticks.out"
spin=$(figure "$work/ticks.out" "CPU per minute" 1)
idle=$(figure "$work/ticks.out" "CPU per minute" 2)
# Bounds a loaded machine keeps: a spinning program gets more than 5 % of a core.
awk -v s="$spin" -v i="$idle" 'BEGIN { exit !(s > 3000 && i < 600) }' ||
    fail "CPU per minute from ticks: spinning $spin ms, idle $idle ms: $(cat "$work/ticks.out")"
[ "$(figure "$work/ticks.out" "start-up to shown" 3)" = n/a ] ||
    fail "a program that never showed its icon has a start-up time: $(cat "$work/ticks.out")"
left=$(pgrep -f "$work/" | tr '\n' ' ')
[ -z "$left" ] || { fail "left running after the measurement: $left"; kill_left; }

# Ended early (on Ctrl-C, say): the programs themselves end, not only their launchers.
mkdir -p "$work/early"
for name in tray floor; do
    bench_start "$work/early" "$name"
    IB_PIDS+=("$!")
done
for shell in "${IB_PIDS[@]}"; do
    for ((i = 0; i < 50; i++)); do [ -z "$(ib_program_of "$shell")" ] || break; sleep 0.1; done
done
ib_stop_all
left=$(pgrep -f "$work/" | tr '\n' ' ')
[ -z "$left" ] || { fail "left running after the benchmark was stopped: $left"; kill_left; }

# With cgroups, the shared helper's CPU is its own line, not the program's that started it.
ib_cgroup_open
if [ -z "$IB_CG" ]; then
    echo "no writable cpuacct cgroup here: the shared-process case is left out"
else
    scripts=([tray]=starter.sh [floor]=idle.sh [bare]=idle.sh)
    bench_shared() { [ ! -s "$work/helpers" ] || echo "helper $(tail -n1 "$work/helpers")"; }
    ib_measure "cgroup" "$work/cgroup" >"$work/cgroup.out"
    tray=$(figure "$work/cgroup.out" "CPU per minute" 1)
    shared=$(grep -m1 "^    helper " "$work/cgroup.out" | awk '{ print $2 }')
    awk -v t="$tray" -v h="${shared:-0}" 'BEGIN { exit !(t < 600 && h > 3000) }' ||
        fail "the shared helper's CPU went to the program: $(cat "$work/cgroup.out")"
    grep -q "started by tray, serving all, and so left out of its CPU: helper" "$work/cgroup.out" ||
        fail "the released helper is not named: $(cat "$work/cgroup.out")"
    kill_helpers
    ib_cgroup_close
    [ ! -d "$IB_CG" ] || fail "the cgroup $IB_CG is left behind"
fi

[ "$failures" -eq 0 ] && echo "all idle benchmark cases passed"
exit $((failures > 0))
