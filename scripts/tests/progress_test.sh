#!/usr/bin/env bash
# The progress lines of a long step, against a stand-in build that prints ninja-like "[N/M]"
# lines: the steps a line reports are the command's latest, its output stays in the log, its
# status passes through, and nothing outlives the step to hold the caller's output open.
set -u

lib="$(cd "$(dirname "$0")/.." && pwd)/lib/progress.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The stand-in build: a step, then the next only once a progress line reported the step.
cat >"$work/steps.sh" <<'STEPS'
. "$1"
# wait_for PATTERN: up to 20 s for PATTERN among the lines said so far.
wait_for() {
    local i
    for ((i = 0; i < 200; i++)); do
        grep -q -- "$1" "$2" && return 0
        sleep 0.1
    done
    return 1
}
build() {
    echo "[1/4] first"
    wait_for "compiling, step 1 of 4 (25%)" "$1" || return 9
    echo "[3/4] third"
    wait_for "compiling, step 3 of 4 (75%)" "$1" || return 9
    echo "[4/4] last"
    return 3
}
# A later phase in the same log, with no steps of its own.
later() {
    wait_for "installing, 0 min so far" "$1"
}
log=$2
pg_phase compiling "a note"
pg_run "$log" build "$3"
echo "build: $?"
pg_phase installing
pg_run "$log" later "$3"
echo "later: $?"
STEPS

# Each step as it comes, the status, the output in the log only.
# shellcheck disable=SC2094 # the stand-in build reads what was said so far, on purpose
ORLUNE_PROGRESS_SECONDS=0.2 PG_NAME=builder timeout 60 bash "$work/steps.sh" "$lib" "$work/log" "$work/said" \
    >"$work/out" 2>"$work/said"
grep -qx 'builder: compiling (a note)' "$work/said" || fail "no phase line: $(head -n3 "$work/said")"
grep -qx 'build: 3' "$work/out" || fail "the build's status is not passed on: $(cat "$work/out")"
[ "$(grep -c '^\[' "$work/log")" -eq 3 ] || fail "the log lacks the build's lines: $(cat "$work/log")"
grep -q '^\[' "$work/said" "$work/out" && fail "the build's lines reached the terminal"
# A later phase does not report the earlier one's steps.
grep -qx 'later: 0' "$work/out" || fail "the later phase saw no line without steps: $(tail -n1 "$work/said")"
grep -q 'installing, step' "$work/said" && fail "the later phase reported the build's steps"

# Once the command ended, nothing holds the output: a reader reaches its end at once, not
# when the interval the ticker was waiting in would have ended.
cat >"$work/quick.sh" <<'QUICK'
. "$1"
pg_phase quick
pg_run - sleep 1
QUICK
start=$SECONDS
ORLUNE_PROGRESS_SECONDS=20 timeout 30 bash "$work/quick.sh" "$lib" 2>&1 | cat >/dev/null
[ $((SECONDS - start)) -lt 10 ] || fail "the output stayed open $((SECONDS - start)) s after the command ended"

[ "$failures" -eq 0 ] && echo "all progress cases passed"
exit $((failures > 0))
