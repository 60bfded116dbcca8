#!/bin/sh
# Builds the libFuzzer targets of tests/fuzz with clang++ and runs them.
#
#   run-fuzz.sh short BUILD_DIR [TARGET...]   replay the regression corpus, then fuzz each target
#                                             for a few seconds from its seeds (make test)
#   run-fuzz.sh long BUILD_DIR [TARGET...]    at least FUZZ_RUNS (10 million) executions per
#                                             target, with final statistics (make fuzz); with
#                                             FUZZ_WORKERS=N in N processes sharing the runs
#
# Without TARGET every fuzz_* target in tests/fuzz/CMakeLists.txt runs. Findings (crash-*,
# timeout-*, leak-* files) are written to BUILD_DIR/findings/TARGET; the exit status is non-zero
# when a target found something. Each input has a time limit (FUZZ_INPUT_TIMEOUT seconds).
set -eu
mode=$1
mkdir -p "$2"
build=$(cd "$2" && pwd)
shift 2
here=$(cd "$(dirname "$0")" && pwd)
seconds=${FUZZ_SECONDS:-5}
runs=${FUZZ_RUNS:-10000000}
input_timeout=${FUZZ_INPUT_TIMEOUT:-2}
jobs=${FUZZ_JOBS:-2}
workers=${FUZZ_WORKERS:-1}

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$jobs" >/dev/null

if [ $# -eq 0 ]; then
    set -- $(sed -n 's/^nimbrel_add_fuzzer(\([A-Za-z0-9_]*\).*/\1/p' "$here/CMakeLists.txt")
fi

# The targets' own sanitizer settings, not the test environment's.
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1:max_malloc_fill_size=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

status=0
for target in "$@"; do
    binary="$build/$target"
    seeds="$build/seeds/$target"
    work="$build/work/$target"
    findings="$build/findings/$target"
    regression="$here/corpus/$target"
    rm -rf "$seeds" "$work"
    mkdir -p "$seeds" "$work" "$findings" "$regression"
    "$here/$target.seeds" "$seeds"
    echo "== $target: $(ls "$seeds" | wc -l) seeds, $(ls "$regression" | wc -l) regression inputs"
    # Every input that once failed must pass before any new fuzzing.
    if [ -n "$(ls "$regression")" ]; then
        "$binary" -timeout="$input_timeout" "$regression"/* >"$build/$target.replay.log" 2>&1 || {
            cat "$build/$target.replay.log"
            echo "$target: a regression input fails"
            status=1
            continue
        }
    fi
    case $mode in
        short) limit="-max_total_time=$seconds" ;;
        long) limit="-runs=$runs" ;;
        *) echo "unknown mode $mode" >&2; exit 2 ;;
    esac
    # <target>.max_len caps the input size where the parser's input has a fixed upper bound.
    max_len=32768
    if [ -f "$here/$target.max_len" ]; then
        max_len=$(cat "$here/$target.max_len")
    fi
    if [ "$mode" = long ] && [ "$workers" -gt 1 ]; then
        # libFuzzer's jobs: each process runs its share and writes fuzz-<job>.log where it
        # starts; they share the work corpus.
        jobs_dir="$build/jobs/$target"
        rm -rf "$jobs_dir"
        mkdir -p "$jobs_dir"
        limit="-runs=$(( (runs + workers - 1) / workers )) -jobs=$workers -workers=$workers"
        if ! (cd "$jobs_dir" && "$binary" $limit -timeout="$input_timeout" -rss_limit_mb=2048 \
                -max_len="$max_len" -print_final_stats=1 -artifact_prefix="$findings/" \
                "$work" "$seeds" >"$build/$target.log" 2>&1); then
            tail -n 60 "$jobs_dir"/fuzz-*.log
            echo "$target: finding in $findings"
            status=1
            continue
        fi
        cat "$jobs_dir"/fuzz-*.log | grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)'
        cat "$jobs_dir"/fuzz-*.log | awk '/^stat::number_of_executed_units/ { total += $2 }
            END { print "total executions: " total }'
        continue
    fi
    if ! "$binary" $limit -timeout="$input_timeout" -rss_limit_mb=2048 -max_len="$max_len" \
            -print_final_stats=1 -artifact_prefix="$findings/" "$work" "$seeds" \
            >"$build/$target.log" 2>&1; then
        tail -n 60 "$build/$target.log"
        echo "$target: finding in $findings"
        status=1
        continue
    fi
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$build/$target.log"
done
exit $status
