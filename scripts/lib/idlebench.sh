# shellcheck shell=bash
# The idle benchmarks' common part (bench/tray_vs_bare.sh natively, bench/wine_tray_vs_bare.sh
# for the Windows programs under wine): three programs start together, idle through the same
# window, and a table prints their figures with the first one's ratios to the other two.
#
# The sourcing script sets IB_PROGRAMS (three names, the measured program first), IB_SECONDS
# (the window), IB_CPU_FALLBACK ("two runs" or "ticks": how CPU is read without a cgroup), and
# defines:
#   bench_start DIR NAME   starts NAME with ib_launch DIR/NAME PROGRAM ARGUMENTS...;
#   bench_shown DIR NAME   succeeds once NAME has shown its icon;
#   bench_shared           optional: "LABEL PID" lines of processes all programs lean on, whose
#                          CPU in the window is printed below the table.
# It calls ib_cgroup_open before measuring and ib_stop_all, ib_cgroup_close when it ends.

IB_WARMUP=3         # seconds after the icon is shown: past the first polls, the steady state
IB_SHOWN_MS=15000   # how long the programs have to show their icons
IB_CPU_FALLBACK="two runs"
IB_CG=""            # the cgroup of this run, where one could be made
IB_PIDS=()          # the launching subshells of the programs that may still run

# Where a cgroup v1 "cpuacct" hierarchy can be written (as root in a container, say), each
# program runs in a group of its own, which gives its CPU to the nanosecond.
ib_cgroup_open() {
    if [ -w /sys/fs/cgroup/cpuacct ] && mkdir "/sys/fs/cgroup/cpuacct/orlune-bench-$$" 2>/dev/null; then
        IB_CG="/sys/fs/cgroup/cpuacct/orlune-bench-$$"
    fi
}

# Removes the groups. A group goes once it is empty: the programs have been ended by now, but
# may take a moment to go.
ib_cgroup_close() {
    local i
    [ -n "$IB_CG" ] || return 0
    for ((i = 0; i < 50; i++)); do
        find "$IB_CG" -depth -type d -exec rmdir {} + 2>/dev/null
        [ -d "$IB_CG" ] || return 0
        sleep 0.1
    done
}

# Ends every program still running, and reaps it. The program itself is ended, not only the
# subshell that launched it, which would leave the program running on its own.
ib_stop_all() {
    local shell program
    for shell in "${IB_PIDS[@]}"; do
        program=$(ib_program_of "$shell")
        # Before the program is there, /usr/bin/time is ended instead, and the subshell.
        [ -n "$program" ] || program=$(pgrep -P "$shell" | head -n1)
        [ -z "$program" ] || kill "$program" 2>/dev/null
        kill "$shell" 2>/dev/null
        wait "$shell" 2>/dev/null
    done
    IB_PIDS=()
}

ib_now_ms() { echo $(($(date +%s%N) / 1000000)); }
ib_rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null; }
# Context switches of the main thread: the wake-ups of the event loop.
ib_main_switches() { awk '/ctxt_switches:/ { n += $2 } END { print n }' "/proc/$1/task/$1/status" 2>/dev/null; }

# ib_ticks: user plus system time in clock ticks of all threads of a process, ended ones
# included, from its /proc/PID/stat line on standard input. The command name, in parentheses,
# may itself hold spaces and parentheses, so the fields are counted from the last ")".
ib_ticks() {
    sed 's/.*) //' | awk 'NF >= 13 { print $12 + $13; ok = 1 } END { exit !ok }'
}

# ib_proc_ticks PID: ib_ticks of a running process.
ib_proc_ticks() { ib_ticks <"/proc/$1/stat" 2>/dev/null; }

# ib_launch PREFIX PROGRAM ARGUMENTS...: starts the program under /usr/bin/time in a subshell
# that, once the program has ended, writes the CPU time of everything it reaped (the program's
# dead threads included, to the millisecond) to PREFIX.times; PREFIX.time gets the context
# switches. With cgroups, the subshell and all it starts go into the group PREFIX names.
ib_launch() {
    local prefix=$1 group=""
    shift
    if [ -n "$IB_CG" ]; then
        group="$IB_CG/$(basename "$(dirname "$prefix")")-$(basename "$prefix")"
        mkdir -p "$group"
    fi
    (
        [ -z "$group" ] || echo "$BASHPID" >"$group/cgroup.procs"
        /usr/bin/time -f '%w %c %e' -o "$prefix.time" "$@" >"$prefix.out" 2>&1 </dev/null &
        wait $!
        # Not in a pipeline: that would be another subshell, which has reaped nothing.
        times >"$prefix.times"
    ) &
}

# The program started by ib_launch: the child of /usr/bin/time, the child of the subshell.
ib_program_of() {
    local timer
    timer=$(pgrep -P "$1" | head -n1)
    [ -n "$timer" ] && pgrep -P "$timer" | head -n1
}

# ib_group_usage DIR NAME: CPU nanoseconds so far of the program launched as DIR/NAME (0 without
# cgroups).
ib_group_usage() {
    cat "$IB_CG/$(basename "$1")-$2/cpuacct.usage" 2>/dev/null || echo 0
}

# ib_release_shared DIR NAME SHARED: moves each process of SHARED ("LABEL PID" lines) that is in
# the group of DIR/NAME back into this script's own group, and prints its label. A program may
# start a process that outlives it and serves every program (wine starts its desktop process
# from the first program that needs one); that one's CPU is not the program's.
ib_release_shared() {
    local group home label pid
    group="$IB_CG/$(basename "$1")-$2"
    [ -n "$IB_CG" ] && [ -n "$3" ] && [ -r "$group/cgroup.procs" ] || return 0
    home=$(awk -F: '$2 ~ /(^|,)cpuacct(,|$)/ { print $3 }' "/proc/$$/cgroup")
    while read -r label pid; do
        grep -qx "$pid" "$group/cgroup.procs" &&
            echo "$pid" >"/sys/fs/cgroup/cpuacct${home%/}/cgroup.procs" 2>/dev/null && echo "$label"
    done <<<"$3"
}

# ib_usage_marks DIR: one line of the programs' CPU nanoseconds so far (0s without cgroups).
ib_usage_marks() {
    local name line=""
    for name in "${IB_PROGRAMS[@]}"; do line="$line $(ib_group_usage "$1" "$name")"; done
    echo "${line# }"
}

# ib_shared_ticks SHARED: "LABEL TICKS" of each process of SHARED ("LABEL PID" lines).
ib_shared_ticks() {
    local label pid
    [ -n "$1" ] || return 0
    while read -r label pid; do
        echo "$label $(ib_proc_ticks "$pid")"
    done <<<"$1"
}

# ib_run_all DIR SECONDS: starts the programs, waits until each shows its icon, for the warm-up
# and for SECONDS more, then ends them. Writes for each program NAME: DIR/NAME.startup (ms),
# NAME.wakeups (main thread, in the window), NAME.ticks (CPU ticks in the window), NAME.rss
# (KiB at the end), NAME.cpu (ms), NAME.switches, NAME.life (s) (whole run), NAME.window_ns
# (with cgroups), NAME.released (shared processes moved out of its group); DIR/marks, the usage
# at the start of the window and at each 10 s mark; DIR/shared, "LABEL TICKS" in the window of
# each process bench_shared names.
ib_run_all() {
    local dir=$1 window=$2 name
    local -A t0 shell pid shown main ticks
    mkdir -p "$dir"
    IB_PIDS=()
    for name in "${IB_PROGRAMS[@]}"; do
        t0[$name]=$(ib_now_ms)
        bench_start "$dir" "$name"
        shell[$name]=$!
        IB_PIDS+=("$!")
    done
    local deadline=$(($(ib_now_ms) + IB_SHOWN_MS)) waiting=1
    while [ "$waiting" = 1 ] && [ "$(ib_now_ms)" -le "$deadline" ]; do
        waiting=0
        for name in "${IB_PROGRAMS[@]}"; do
            [ -n "${shown[$name]:-}" ] && continue
            if bench_shown "$dir" "$name"; then shown[$name]=$(($(ib_now_ms) - t0[$name])); else waiting=1; fi
        done
        sleep 0.002
    done
    for name in "${IB_PROGRAMS[@]}"; do
        echo "${shown[$name]:-n/a}" >"$dir/$name.startup"
        pid[$name]=$(ib_program_of "${shell[$name]}")
    done
    sleep "$IB_WARMUP"
    local shared="" start_marks shared_start
    ! declare -F bench_shared >/dev/null || shared=$(bench_shared)
    for name in "${IB_PROGRAMS[@]}"; do
        ib_release_shared "$dir" "$name" "$shared" >"$dir/$name.released"
        main[$name]=$(ib_main_switches "${pid[$name]}")
        ticks[$name]=$(ib_proc_ticks "${pid[$name]}")
    done
    start_marks=$(ib_usage_marks "$dir")
    shared_start=$(ib_shared_ticks "$shared")
    echo "$start_marks" >"$dir/marks"
    local left=$window
    while [ "$left" -gt 0 ]; do
        local step=$((left < 10 ? left : 10))
        sleep "$step"
        left=$((left - step))
        [ "$step" -lt 10 ] || ib_usage_marks "$dir" >>"$dir/marks"
    done
    paste -d' ' <(echo "$shared_start") <(ib_shared_ticks "$shared") |
        awk 'NF == 4 { print $1, $4 - $2 }' >"$dir/shared"
    local i=0
    for name in "${IB_PROGRAMS[@]}"; do
        i=$((i + 1))
        ib_difference "$(ib_main_switches "${pid[$name]}")" "${main[$name]}" >"$dir/$name.wakeups"
        ib_difference "$(ib_proc_ticks "${pid[$name]}")" "${ticks[$name]}" >"$dir/$name.ticks"
        [ -z "$IB_CG" ] ||
            echo "$(($(ib_group_usage "$dir" "$name") - $(echo "$start_marks" | cut -d' ' -f"$i")))" >"$dir/$name.window_ns"
        ib_rss_kib "${pid[$name]}" >"$dir/$name.rss"
        kill "${pid[$name]}" 2>/dev/null
    done
    for name in "${IB_PROGRAMS[@]}"; do wait "${shell[$name]}" 2>/dev/null; done
    IB_PIDS=()
    for name in "${IB_PROGRAMS[@]}"; do
        # time writes "Command terminated by signal N" first when the program did not exit itself.
        tail -n1 "$dir/$name.time" | awk '{ print $1 + $2 > "'"$dir/$name.switches"'"; print $3 > "'"$dir/$name.life"'" }'
        # The second line of times, "0m1.234s 0m0.567s": user and system time of the reaped children.
        tail -n1 "$dir/$name.times" | tr 'ms' '  ' | awk '{ printf "%.0f\n", ($1 * 60 + $2 + $3 * 60 + $4) * 1000 }' >"$dir/$name.cpu"
    done
}

# ib_difference NOW BEFORE: NOW - BEFORE, or "n/a" when either could not be read (the program
# ended early).
ib_difference() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "") print "n/a"; else print a - b }'
}

# ib_cpu_how: how the CPU line was measured.
ib_cpu_how() {
    if [ -n "$IB_CG" ]; then echo cgroup; elif [ "$IB_CPU_FALLBACK" = ticks ]; then echo ticks; else echo "two runs"; fi
}

# ib_cpu_per_minute LONG SHORT NAME: from the group over the window where there is one, else as
# IB_CPU_FALLBACK says: the two runs' resource usage, or the process's ticks over the window.
ib_cpu_per_minute() {
    if [ -n "$IB_CG" ]; then
        awk -v ns="$(cat "$1/$3.window_ns")" -v s="$IB_SECONDS" 'BEGIN { printf "%.1f", ns / 1e6 / s * 60 }'
    elif [ "$IB_CPU_FALLBACK" = ticks ]; then
        ib_ticks_per_minute "$(cat "$1/$3.ticks")"
    else
        ib_per_unit "$1" "$2" "$3" cpu 60
    fi
}

# ib_ticks_per_minute TICKS: milliseconds per minute of TICKS clock ticks over the window.
ib_ticks_per_minute() {
    awk -v t="$1" -v hz="$(getconf CLK_TCK)" -v s="$IB_SECONDS" \
        'BEGIN { if (t !~ /^[0-9]+$/) print "n/a"; else printf "%.1f", t * 1000 / hz / s * 60 }'
}

# ib_per_unit LONG SHORT NAME FIELD SCALE: (FIELD of the long run - of the short run) per second
# of the difference in life time, times SCALE; so the start and the end of both runs cancel out.
ib_per_unit() {
    awk -v v1="$(cat "$1/$3.$4")" -v v0="$(cat "$2/$3.$4")" -v l1="$(cat "$1/$3.life")" -v l0="$(cat "$2/$3.life")" \
        -v scale="$5" 'BEGIN { if (v1 == "" || v0 == "" || l1 - l0 <= 0) print "n/a"; else printf "%.1f", (v1 - v0) / (l1 - l0) * scale }'
}

# ib_parts_ratio DIR A B: median, lowest and highest over the window's 10 s parts of the CPU of
# the A-th program over the B-th's (columns of DIR/marks).
ib_parts_ratio() {
    awk -v a="$2" -v b="$3" 'NR > 1 && $b > pb { r[++n] = ($a - pa) / ($b - pb) } { pa = $a; pb = $b }
    END {
      if (n == 0) { print "n/a"; exit }
      for (i = 2; i <= n; i++) for (j = i; j > 1 && r[j - 1] > r[j]; j--) { x = r[j]; r[j] = r[j - 1]; r[j - 1] = x }
      median = n % 2 ? r[(n + 1) / 2] : (r[n / 2] + r[n / 2 + 1]) / 2
      printf "%.2f (%d parts, %.2f to %.2f)", median, n, r[1], r[n] }' "$1/marks"
}

ib_rss_mib() { awk '$1 ~ /^[0-9]+$/ { printf "%.1f", $1 / 1024; ok = 1 } END { if (!ok) print "n/a" }' "$1"; }

ib_per_window() {
    awk -v n="$(cat "$1/$2.wakeups")" -v s="$IB_SECONDS" 'BEGIN { if (n !~ /^-?[0-9]+$/) print "n/a"; else printf "%.1f", n / s }'
}

ib_ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN {
    number = "^[0-9]+([.][0-9]+)?$"
    if (a ~ number && b ~ number && b + 0 > 0) printf "%.2f", a / b; else print "n/a" }'
}

# ib_row LABEL FIRST SECOND THIRD: the three figures and the first's over the second's and the
# third's.
ib_row() {
    printf '  %-26s %8s %8s %8s %12s %11s\n' "$1" "$2" "$3" "$4" "$(ib_ratio "$2" "$3")" "$(ib_ratio "$2" "$4")"
}

# ib_measure TITLE DIR: a run without a window and one with it (DIR-short, DIR-long), then the
# table.
ib_measure() {
    local short="$2-short" long="$2-long" p=("${IB_PROGRAMS[@]}")
    ib_run_all "$short" 0
    ib_run_all "$long" "$IB_SECONDS"
    echo "== $1, ${IB_SECONDS} s window after ${IB_WARMUP} s of warm-up"
    printf '  %-26s %8s %8s %8s %12s %11s\n' "" "${p[0]}" "${p[1]}" "${p[2]}" "${p[0]}/${p[1]}" "${p[0]}/${p[2]}"
    local cpu=() switches=() rss=() startup=() wakeups=() name
    for name in "${p[@]}"; do
        cpu+=("$(ib_cpu_per_minute "$long" "$short" "$name")")
        wakeups+=("$(ib_per_window "$long" "$name")")
        switches+=("$(ib_per_unit "$long" "$short" "$name" switches 1)")
        rss+=("$(ib_rss_mib "$long/$name.rss")")
        startup+=("$(cat "$long/$name.startup")")
    done
    ib_row "CPU per minute (ms, $(ib_cpu_how))" "${cpu[@]}"
    if [ -n "$IB_CG" ]; then
        echo "  CPU ratio, median of the 10 s parts:"
        echo "    ${p[0]}/${p[1]} $(ib_parts_ratio "$long" 1 2)"
        echo "    ${p[0]}/${p[2]}  $(ib_parts_ratio "$long" 1 3)"
    fi
    ib_row "wake-ups per second" "${wakeups[@]}"
    ib_row "  all threads' switches" "${switches[@]}"
    ib_row "resident memory (MiB)" "${rss[@]}"
    ib_row "start-up to shown (ms)" "${startup[@]}"
    ib_shared_lines "$long"
    for name in "${p[@]}"; do
        [ "$(cat "$long/$name.startup")" != n/a ] ||
            echo "  $name did not show its icon within $((IB_SHOWN_MS / 1000)) s; its last words: $(tail -n1 "$long/$name.out" | tr -d '\r')"
        [ ! -s "$long/$name.released" ] && [ ! -s "$short/$name.released" ] ||
            echo "  started by $name, serving all, and so left out of its CPU: $(cat "$short/$name.released" "$long/$name.released" | sort -u | paste -sd' ')"
    done
}

# ib_shared_lines DIR: the CPU in the window of the processes the programs share.
ib_shared_lines() {
    local label ticks
    [ -s "$1/shared" ] || return 0
    echo "  shared by all, CPU per minute (ms, /proc ticks):"
    while read -r label ticks; do
        printf '    %-24s %8s\n' "$label" "$(ib_ticks_per_minute "$ticks")"
    done <"$1/shared"
}
