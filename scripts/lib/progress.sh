# shellcheck shell=bash
# Shows a person watching that a long step is working: a line when a phase starts, and while a
# command of that phase runs, at least once a minute a line with the phase, the steps done of
# all steps (ninja's "[N/M]" lines in the command's log) and the minutes since the start.
# Everything goes to stderr, beginning with the script's name; a command's own output goes to
# its log (or stays where it is). A caller's EXIT trap calls pg_stop.
#
# PG_NAME: the name lines begin with (default: the script's name). ORLUNE_PROGRESS_SECONDS:
# the interval (default 60).

PG_NAME=${PG_NAME:-$(basename "$0" .sh)}
PG_INTERVAL=${ORLUNE_PROGRESS_SECONDS:-60}
PG_START=$EPOCHSECONDS
PG_PHASE=""
PG_TICKER=""

# pg_say TEXT...: one line for the person watching.
pg_say() {
    echo "$PG_NAME: $*" >&2
}

# pg_phase NAME [NOTE]: a new phase starts; NOTE (how long it takes, say) is said once.
pg_phase() {
    PG_PHASE=$1
    pg_say "$1${2:+ ($2)}"
}

# pg_status LOG OFFSET: the progress line: the phase, ninja's last step in LOG after byte
# OFFSET, the minutes so far.
pg_status() {
    local log=$1 offset=$2 step=""
    if [ "$log" != - ] && [ -f "$log" ]; then
        step=$(tail -c +"$((offset + 1))" "$log" | grep -oE '^\[[0-9]+/[0-9]+\]' | tail -n1 || true)
    fi
    local text="$PG_PHASE"
    if [[ $step =~ ^\[([0-9]+)/([0-9]+)\]$ ]] && [ "${BASH_REMATCH[2]}" -gt 0 ]; then
        text+=", step ${BASH_REMATCH[1]} of ${BASH_REMATCH[2]} ($((BASH_REMATCH[1] * 100 / BASH_REMATCH[2]))%)"
    fi
    echo "$text, $(((EPOCHSECONDS - PG_START) / 60)) min so far"
}

# pg_ticker LOG OFFSET: says pg_status every interval until stopped or the script is gone.
# It waits in `read -t` on a pipe of its own, not in a `sleep` child: a child left behind
# would hold the caller's output (a `| tee`) and inherited locks open.
pg_ticker() {
    local log=$1 offset=$2 hold
    trap 'exit 0' TERM
    exec {hold}<> <(:)
    while read -rt "$PG_INTERVAL" -u "$hold"; [ $? -gt 128 ]; do
        kill -0 "$$" 2>/dev/null || exit 0
        pg_say "$(pg_status "$log" "$offset")"
    done
}

# pg_run LOG COMMAND...: runs COMMAND with its output appended to LOG ("-": left where it is),
# ticking meanwhile; returns COMMAND's status.
pg_run() {
    local log=$1 offset=0 rc=0
    shift
    [ "$log" = - ] || offset=$(stat -c %s "$log" 2>/dev/null || echo 0)
    pg_ticker "$log" "$offset" &
    PG_TICKER=$!
    if [ "$log" = - ]; then
        "$@" || rc=$?
    else
        "$@" >>"$log" 2>&1 || rc=$?
    fi
    pg_stop
    return "$rc"
}

# Ends the ticker, if one runs.
pg_stop() {
    [ -n "$PG_TICKER" ] || return 0
    kill "$PG_TICKER" 2>/dev/null || true
    wait "$PG_TICKER" 2>/dev/null || true
    PG_TICKER=""
}
