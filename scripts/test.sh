#!/usr/bin/env bash
# Builds and runs every test of the project: the native debug build (unit, integration and
# desktop tests), the address/undefined-behaviour sanitizer build, the thread-sanitizer run of
# the service link, a bounded fuzzing run of the answer decoder, the Win32 backend under a
# Windows API implementation, and the programs built for Windows run end to end under it.
# Installs what is missing first. Exits non-zero on any failure.
# First, and fast, the check stage: clang-format, shellcheck and clang-tidy over the tree.
#
# Usage: scripts/test.sh [stage ...]   stages: check debug asan tsan fuzz windows winqt (default: all)
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1

stages=("$@")
[ ${#stages[@]} -eq 0 ] && stages=(check debug asan tsan fuzz windows winqt)

scripts/install-deps.sh build test check windows || exit 1

jobs=$(nproc)
passed=0
failed=0
failed_stages=()

# Adds the summary of a ctest log to the totals; a non-zero status, or a log without a
# summary (the run never got to its tests), fails the stage.
count_results() {
    local stage=$1 rc=$2 log=$3
    local summary fail total
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    if [ -n "$summary" ]; then
        fail=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
        total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
        passed=$((passed + total - fail))
        failed=$((failed + fail))
    fi
    if [ "$rc" -ne 0 ] || [ -z "$summary" ]; then
        failed_stages+=("$stage")
        [ -z "$summary" ] && failed=$((failed + 1))
    fi
}

# Runs ctest, echoing its output, and counts its results.
run_ctest() {
    local stage=$1
    shift
    local log
    log=$(mktemp)
    ctest "$@" 2>&1 | tee "$log"
    count_results "$stage" "${PIPESTATUS[0]}" "$log"
    rm -f "$log"
}

# The check stage: each tool below is one counted result.

# Every tracked C++ file formatted as .clang-format says (a CMake template such as *.h.in is
# not C++ until configured).
check_format() {
    git ls-files -z -- '*.cpp' '*.h' | xargs -0 -r clang-format --dry-run -Werror
}

# Tracked shell scripts: *.sh, or a shell in the first line (CMake files are not shell).
shell_scripts() {
    local file first
    while IFS= read -r -d '' file; do
        [ -f "$file" ] || continue
        case "$file" in
        *.sh) printf '%s\0' "$file" ;;
        *)
            first=$(head -n1 "$file" 2>/dev/null | tr -d '\0')
            if [[ $first =~ ^#!.*[/[:space:]](ba|da|k)?sh([[:space:]]|$) ]]; then
                printf '%s\0' "$file"
            fi
            ;;
        esac
    done < <(git ls-files -z)
}

# -x follows sourced files; .shellcheckrc says where to find them.
check_shell() {
    shell_scripts | xargs -0 -r shellcheck -x
}

# The product code for clang-tidy: the programs, the OS layer and the stand-ins, which every
# integration test runs against, so a fault in them misleads the tests. Not the tests, the
# benchmarks or the fuzzing harness; not the Win32 backend, which only the cross build compiles.
tidy_files() {
    git ls-files -z -- 'platform/*.cpp' 'installation/*.cpp' 'tray/*.cpp' 'launcher/*.cpp' 'standins/*.cpp' \
        ':!:*/tests/*' ':!:tray/link/fuzz/*' ':!:platform/win32/*'
}

# clang-tidy with the checks in .clang-tidy, on the debug build's compile commands. Configuring
# is enough: no product file includes generated (moc) code.
check_tidy() {
    cmake --preset debug >/dev/null || return 1
    tidy_files | xargs -0 -r -P"$jobs" -n1 clang-tidy -p build/debug --quiet 2>&1 |
        { grep -v ' warnings generated\.$' || true; }
}

check_passed=0
check_failed=0
# Runs one tool and says how it went and how long it took.
run_check() {
    local tool=$1 start=$SECONDS
    shift
    if "$@"; then
        echo "check $tool: passed ($((SECONDS - start)) s)"
        check_passed=$((check_passed + 1))
    else
        echo "check $tool: FAILED ($((SECONDS - start)) s)"
        check_failed=$((check_failed + 1))
    fi
}

build() {
    local preset=$1
    shift
    cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j"$jobs" "$@"
}

for stage in "${stages[@]}"; do
    echo "=== stage: $stage"
    case "$stage" in
    check)
        run_check clang-format check_format
        run_check shellcheck check_shell
        run_check clang-tidy check_tidy
        echo "check: $check_passed passed, $check_failed failed"
        passed=$((passed + check_passed))
        failed=$((failed + check_failed))
        [ "$check_failed" -eq 0 ] || failed_stages+=("check")
        ;;
    debug)
        if build debug; then
            run_ctest debug --preset debug
        else
            failed_stages+=("debug-build"); failed=$((failed + 1))
        fi
        ;;
    asan)
        if build asan; then
            # The desktop tests drive a real X session; they gain nothing from the sanitizers.
            ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
                run_ctest asan --preset asan -LE desktop
        else
            failed_stages+=("asan-build"); failed=$((failed + 1))
        fi
        ;;
    tsan)
        if build tsan --target tray_link_tests service-standin; then
            TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
                run_ctest tsan --preset tsan -R '^PipeClient|^Pipe'
        else
            failed_stages+=("tsan-build"); failed=$((failed + 1))
        fi
        ;;
    fuzz)
        if CC=clang CXX=clang++ build fuzz --target answer_decoder_fuzzer; then
            run_ctest fuzz --preset fuzz
        else
            failed_stages+=("fuzz-build"); failed=$((failed + 1))
        fi
        ;;
    windows | winqt)
        # Shown as it comes (the first winqt run builds Qt for half an hour) and kept for the count.
        mkdir -p "$root/build"
        scripts/test-"$stage".sh 2>&1 | tee "$root/build/$stage-tests.log"
        rc=${PIPESTATUS[0]}
        count_results "$stage" "$rc" "$root/build/$stage-tests.log"
        ;;
    *)
        echo "unknown stage: $stage" >&2
        exit 2
        ;;
    esac
done

[ ${#failed_stages[@]} -gt 0 ] && echo "failed stages: ${failed_stages[*]}"
echo "total: $passed passed, $failed failed"
[ ${#failed_stages[@]} -eq 0 ] && [ "$failed" -eq 0 ]
