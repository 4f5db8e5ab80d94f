#!/usr/bin/env bash
# The filter's overhead on real work: one workload (create, write, read, rename and delete many
# 4 KiB files; one large file written and read sequentially) run in one go on
#   1. a plain directory,
#   2. a filtered directory with no client connected,
#   3. a filtered directory with a client taking every event, read and write data included,
#   4. the same without read and write data,
# and each phase given as a ratio to the plain directory. Needs root (FUSE mounts).
#
#   scripts/bench-filter.sh [--files N] [--mib M] [--out FILE] [--build DIR]
# (--build: an existing build directory to use as it is configured; default: a Release build in
# build-release)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
files=10000
mib=1024
out=""
build="$repo/build-release"
while [ $# -gt 0 ]; do
    case "$1" in
        --files) files=$2; shift 2 ;;
        --mib) mib=$2; shift 2 ;;
        --out) out=$2; shift 2 ;;
        --build) build=$(cd "$2" && pwd); shift 2 ;;
        -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
        *) echo "bench-filter: unknown argument $1" >&2; exit 2 ;;
    esac
done
if [ "$(id -u)" != 0 ]; then
    echo "bench-filter: run as root (it mounts a FUSE volume)" >&2
    exit 1
fi

"$repo/scripts/deps.sh" >/dev/null
[ -f "$build/CMakeCache.txt" ] || cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target vesk-host vesk_driver_image veskd vesklib \
    vesk_event_sink fs_workload >/dev/null

export VESK_ROOT
VESK_ROOT=$(mktemp -d /tmp/vesk-bench.XXXXXX)
plain="$VESK_ROOT/plain"
filtered="$VESK_ROOT/filtered"
mkdir -p "$plain" "$filtered"
bin="$build/bin"
sink_pid=""
cleanup() {
    [ -n "$sink_pid" ] && kill "$sink_pid" 2>/dev/null || true
    "$bin/veskd" unload >/dev/null 2>&1 || true
    rm -rf "$VESK_ROOT"
}
trap cleanup EXIT

"$bin/veskd" install "$build/lib" >/dev/null
"$bin/vesk-host" volumes add "$filtered" >/dev/null
"$bin/veskd" load | grep -q "successfully" || { echo "bench-filter: the driver did not load" >&2; exit 1; }

declare -A seconds
run() {  # run LABEL DIR
    local label=$1 dir=$2
    while read -r phase took; do
        seconds[$label/$phase]=$took
    done < <("$bin/fs_workload" "$dir" "$files" "$mib")
}
with_sink() {  # with_sink LABEL [--no-data]
    local label=$1; shift
    coproc SINK { "$bin/vesk_event_sink" "$@"; }
    sink_pid=$SINK_PID
    read -r ready <&"${SINK[0]}"
    [ "$ready" = ready ] || { echo "bench-filter: the client did not start" >&2; exit 1; }
    run "$label" "$filtered"
    exec {SINK[1]}>&-
    read -r _ events <&"${SINK[0]}" || events="?"
    wait "$sink_pid" || true
    sink_pid=""
    seconds[$label/events]=$events
}

run plain "$plain"
run filter "$filtered"
with_sink client-data
with_sink client-nodata --no-data

phases="create-write read rename delete sequential-write sequential-read"
{
    echo "Workload: $files files of 4 KiB (create+write, read, rename, delete), then $mib MiB written and read sequentially."
    echo "Kernel $(uname -r), $(nproc) cores; seconds, and the ratio to the plain directory in brackets."
    echo
    printf '| %-18s | %-10s | %-18s | %-18s | %-18s |\n' phase plain "filter, no client" "client, with data" "client, no data"
    printf '|%s|%s|%s|%s|%s|\n' "--------------------" "------------" "--------------------" "--------------------" "--------------------"
    for p in $phases; do
        base=${seconds[plain/$p]}
        cell() { awk -v s="$1" -v b="$base" 'BEGIN { printf "%.3f (%.2fx)", s, (b > 0 ? s / b : 0) }'; }
        printf '| %-18s | %-10s | %-18s | %-18s | %-18s |\n' "$p" "$base" \
            "$(cell "${seconds[filter/$p]}")" "$(cell "${seconds[client-data/$p]}")" \
            "$(cell "${seconds[client-nodata/$p]}")"
    done
    echo
    echo "Events taken by the client: ${seconds[client-data/events]} (with data), ${seconds[client-nodata/events]} (without)."
} | tee ${out:+"$out"}
