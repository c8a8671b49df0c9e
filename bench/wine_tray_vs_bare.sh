#!/usr/bin/env bash
# The idle cost of the Windows tray under wine next to its floors, as bench/tray_vs_bare.sh
# measures the native one. From the unpacked release package of a Windows build tree, beside
# the Windows stand-in service, three Windows programs start together under one wine server on
# a virtual display with a window manager and a notification area, and idle through the same
# window:
#   tray   the shipped tray (Orlune_DizovuvOdiv.exe);
#   floor  the floor of its design (bare_tray.exe --poll, see bench/bare_tray.cpp);
#   bare   a bare Qt tray with the same three timers (bare_tray.exe).
# bare_tray.exe runs from the package's folder, beside the Qt DLLs the programs use. Each
# Windows program is measured through its Linux process (wine becomes it):
#   CPU per minute     user plus system time of all its threads in the window: from a cgroup
#                      of its own where one can be made (as tray_vs_bare.sh, with the median
#                      ratios of the 10 s parts), else from the clock ticks (10 ms) of
#                      /proc/PID/stat. The wine server and wine's desktop process (explorer.exe,
#                      which holds the notification-area icons) work for all programs: their CPU
#                      is printed below the table, and the desktop process, started by the first
#                      program that needs it, is moved out of that program's cgroup
#   wake-ups per sec.  context switches of the main thread (under wine the first Linux thread
#                      runs the Windows main thread); it also switches whenever it waits for
#                      the wine server, so this counts more than the event loop's wake-ups;
#                      below it those of all threads, from two runs as tray_vs_bare.sh does
#   resident memory    VmRSS at the end of the window, wine's own mappings included
#   start-up           from the start of wine to the icon shown (the tray's log line,
#                      bare_tray's output)
# Prints figures, never fails: a missing piece is said in one line, and the script ends.
# Usage: bench/wine_tray_vs_bare.sh [--build-dir DIR] [--seconds N]
#   --build-dir  the Windows build tree (default build/windows), with its unpacked package
#                (ctest --preset windows -R winqt.package) and bench/bare_tray.exe
#   --seconds    length of the idle window (default 60)
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$repo/build/windows"
seconds=60
while [ $# -gt 0 ]; do
    case "$1" in
    --build-dir) build=$2; shift ;;
    --seconds) seconds=$2; shift ;;
    -h | --help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    *) echo "wine_tray_vs_bare: unknown option '$1'" >&2; exit 0 ;;
    esac
    shift
done

case "$seconds" in
'' | *[!0-9]*) echo "wine_tray_vs_bare: --seconds takes a whole number of seconds, not '$seconds'" >&2; exit 0 ;;
esac
seconds=$((10#$seconds))
[ "$seconds" -gt 0 ] || { echo "wine_tray_vs_bare: --seconds must be at least 1" >&2; exit 0; }

build=$(realpath -m "$build")
package=$(find "$build/package/unpacked" -mindepth 1 -maxdepth 1 -name 'Orlune-*-win64' 2>/dev/null | head -n1)
if [ -z "$package" ]; then
    echo "wine_tray_vs_bare: no unpacked package in $build/package/unpacked (ctest --preset windows -R winqt.package); nothing measured"
    exit 0
fi
bare="$build/bench/bare_tray.exe"
if [ ! -f "$bare" ] && ! cmake --build "$build" -j2 --target bare_tray >/dev/null 2>&1; then
    echo "wine_tray_vs_bare: no $bare and it could not be built (configure with the windows preset, which builds it); nothing measured"
    exit 0
fi

# shellcheck source=../scripts/lib/xdesktop.sh
. "$repo/scripts/lib/xdesktop.sh"
# shellcheck source=../windows/wine/winqt.sh
. "$repo/windows/wine/winqt.sh"
# shellcheck source=../scripts/lib/idlebench.sh
. "$repo/scripts/lib/idlebench.sh"

missing=$(xd_missing_tools)
for tool in wine wineserver evilwm /usr/bin/time; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "${missing// /}" ]; then
    echo "wine_tray_vs_bare: missing$(echo " $missing" | tr '\n' ' ') (scripts/install-deps.sh windows); nothing measured"
    exit 0
fi

IB_PROGRAMS=(tray floor bare)
IB_SECONDS=$seconds
# Three Windows programs starting at once on a small machine take a few seconds each.
IB_SHOWN_MS=60000
# A wine program's start costs far more CPU than its idle minute, and varies: the two runs'
# difference would be mostly that variation, the window's own ticks are not.
IB_CPU_FALLBACK=ticks

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Qt's messages go to standard error (the programs' .out files), not to the debugger.
export WINEQT_FORCE_STDERR_LOGGING=1

# wine_pids NAME: the processes named NAME that belong to this run's wine prefix.
wine_pids() {
    local pid
    for pid in $(pgrep -x "$1"); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
    done
    return 0
}

work=$(mktemp -d)
wm_pid="" own_server=0
ib_cgroup_open
# shellcheck disable=SC2317 # reached through the EXIT trap, which shellcheck does not follow
cleanup() {
    # A second Ctrl-C does not cut the clean-up short.
    trap '' INT TERM
    ib_stop_all
    wq_kill_all
    # Ends the wine processes this run's server started (wine's desktop and services).
    [ "$own_server" = 0 ] || wineserver -k </dev/null >/dev/null 2>&1
    xd_stop "$wm_pid"
    xd_stop_desktop
    rm -rf "$work"
    ib_cgroup_close
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The application directory as the package ships it, with bare_tray.exe beside the programs so
# that it finds the same Qt DLLs and plugins; an instance of its own, which nothing else meets.
mkdir -p "$work/app" "$work/run"
chmod 700 "$work/run"
export XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
cp -r "$package"/. "$work/app/"
cp "$bare" "$work/app/"
instance="Bench$$"
printf '[product]\ninstanceId=%s\n' "$instance" >"$work/app/params.ini"
icon=$(wq_winpath "$work/app/Skin/Client/custom/tray_logo_28.png")
params=$(wq_winpath "$work/app/params.ini")

# A server that already runs for the prefix belongs to another run (the winqt tests, say), with
# its desktop on another display: the programs would dock there, and ending it would end that run.
if [ -n "$(wine_pids wineserver64)$(wine_pids wineserver)" ]; then
    echo "wine_tray_vs_bare: a wine server already runs for $WINEPREFIX (another run uses it); nothing measured"
    exit 0
fi

# start_desktop: a virtual display with a window manager (without one wine waits 2 s for every
# hidden window) and a notification area, drawn before any Windows program starts.
start_desktop() {
    xd_start_display "$work" || return 1
    evilwm -snap 0 >/dev/null 2>&1 &
    wm_pid=$!
    xd_start_trayer "$work"
    wq_wait_tray_host "$work"
}

# Seen once while other desktop tests ran: the notification area could not open the display it
# was given. A second display is tried once.
if ! start_desktop; then
    echo "wine_tray_vs_bare: the notification area did not come up ($(tail -n1 "$work/trayer.log" 2>/dev/null));" \
        "starting the display again"
    xd_stop "$wm_pid"
    xd_stop_desktop
    start_desktop || { echo "wine_tray_vs_bare: the notification area did not come up; nothing measured"; exit 0; }
fi

own_server=1
wineserver -p </dev/null >/dev/null 2>&1
[ -f "$WINEPREFIX/system.reg" ] || echo "wine_tray_vs_bare: creating the wine prefix $WINEPREFIX (once)"
wine cmd /c exit 0 </dev/null >/dev/null 2>&1

wq_start "$work/service.log" "$work/app/service-standin.exe" --instance-id "$instance" --http-port 0
if ! xd_wait 30 wq_service_ready "$work/service.log"; then
    echo "wine_tray_vs_bare: the Windows stand-in service did not start; nothing measured"
    exit 0
fi

# bench_start DIR NAME: launches one of the programs under wine as DIR/NAME.
bench_start() {
    case "$2" in
    tray)
        rm -rf "$work/app/log"
        ib_launch "$1/tray" wine "$work/app/Orlune_DizovuvOdiv.exe"
        ;;
    floor) ib_launch "$1/floor" wine "$work/app/bare_tray.exe" "$icon" --poll "\\\\.\\pipe\\${instance}_Service" "$params" ;;
    bare) ib_launch "$1/bare" wine "$work/app/bare_tray.exe" "$icon" ;;
    esac
}

# bench_shown DIR NAME: the program has shown its icon.
bench_shown() {
    if [ "$2" = tray ]; then
        grep -q "TrayIcon shown" "$work/app/log/DizovuvOdiv.log" 2>/dev/null
    else
        grep -q "^shown" "$1/$2.out" 2>/dev/null
    fi
}

# bench_shared: the wine server and wine's desktop process, which serve all the programs.
bench_shared() {
    local pid
    for pid in $(wine_pids wineserver64) $(wine_pids wineserver); do echo "wineserver $pid"; done
    for pid in $(wine_pids explorer.exe); do echo "explorer.exe $pid"; done
}

echo "package: $package"
echo "floor and bare: $bare, run from the package's folder"
ib_measure "$(wine --version 2>/dev/null) on Xvfb with evilwm and trayer" "$work/wine"
if grep -qx n/a "$work/wine-long/"*.wakeups 2>/dev/null; then
    echo "  wake-ups: n/a where the main thread's counters could not be read (the program had ended)"
fi
echo "  wake-ups count the main thread's waits for the wine server as well as the event loop's"
exit 0
