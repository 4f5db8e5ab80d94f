#!/usr/bin/env bash
# Builds and runs every test.
#
#   scripts/test.sh              plain build (build/), every test
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/)
#   scripts/test.sh --tsan       ThreadSanitizer build (build-tsan/), the threaded tests
#   scripts/test.sh --fuzz [S]   clang + libFuzzer + ASan build (build-fuzz/), each fuzz target S seconds
#   scripts/test.sh --all        all of the above, one after the other (what CI runs)
#
# Installs the Debian packages it needs first. Exit status is non-zero when anything fails.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=$(nproc)

"$top/scripts/deps.sh"

configure_and_build() {  # dir, extra cmake args...
    local dir=$1
    shift
    cmake -S "$top" -B "$top/$dir" -G Ninja "$@" >/dev/null
    cmake --build "$top/$dir" -j "$jobs"
}

run_ctest() {  # dir, extra ctest args...
    local dir=$1
    shift
    ctest --test-dir "$top/$dir" --output-on-failure -j "$jobs" "$@"
}

plain() {
    echo "== plain build and tests"
    configure_and_build build
    run_ctest build
}

sanitize() {
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
    configure_and_build build-asan -DVESK_SANITIZE=ON -DVESK_BENCHMARKS=OFF
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        run_ctest build-asan
}

tsan() {
    echo "== ThreadSanitizer build and the threaded tests"
    configure_and_build build-tsan -DVESK_TSAN=ON -DVESK_BENCHMARKS=OFF
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 run_ctest build-tsan -L threaded
}

fuzz() {  # seconds per target
    local seconds=${1:-60}
    echo "== fuzz targets, ${seconds}s each"
    CC=clang CXX=clang++ cmake -S "$top" -B "$top/build-fuzz" -G Ninja -DVESK_FUZZ=ON \
        -DVESK_SANITIZE=ON -DVESK_BENCHMARKS=OFF >/dev/null
    cmake --build "$top/build-fuzz" -j "$jobs" --target fuzzers
    shopt -s nullglob
    local targets=("$top"/build-fuzz/bin/fuzz/*)
    for t in "${targets[@]}"; do
        local name corpus
        name=$(basename "$t")
        corpus="$top/build-fuzz/corpus/$name"
        mkdir -p "$corpus"
        echo "-- $name"
        # A finding is written next to the corpus and fails the run.
        if ! "$t" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$top/build-fuzz/findings-$name-" "$corpus" >"$top/build-fuzz/$name.log" 2>&1; then
            tail -n 40 "$top/build-fuzz/$name.log"
            echo "fuzz target $name found a failure (artifacts: build-fuzz/findings-$name-*)"
            return 1
        fi
        tail -n 6 "$top/build-fuzz/$name.log"
    done
}

case "${1:-}" in
    "") plain ;;
    --sanitize) sanitize ;;
    --tsan) tsan ;;
    --fuzz) fuzz "${2:-60}" ;;
    --all)
        plain
        sanitize
        tsan
        fuzz "${2:-60}"
        ;;
    *)
        sed -n '2,10p' "$0"
        exit 2
        ;;
esac
echo "== all passed"
