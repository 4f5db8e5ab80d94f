#!/usr/bin/env bash
# The live demo: builds what it needs, installs the engine under a demo VESK_ROOT (never the
# machine's own /var/lib/vesk or /run/vesk), offers a demo directory as a filtered volume, loads
# the driver and runs "veskd mon" while a small script works in the directory. Press any key (or
# Ctrl+C) to leave the monitor: the driver is unloaded, the volume forgotten, and the directory is
# left as it was.
#
#   scripts/demo.sh [filter] [pattern]      e.g. scripts/demo.sh rw '*.txt'
#
# VESK_ROOT (default /tmp/vesk-demo) and VESK_DEMO_DIR (default $VESK_ROOT/demo) move it.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
if [ "$(id -u)" != 0 ]; then
    # Mounting a FUSE volume over a directory, for every user to see, takes root.
    if command -v sudo >/dev/null; then
        exec sudo --preserve-env=VESK_ROOT,VESK_DEMO_DIR "$0" "$@"
    fi
    echo "demo: run as root (the host mounts a FUSE volume over the demo directory)" >&2
    exit 1
fi

"$repo/scripts/deps.sh"
build="$repo/build-demo"
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
echo "Building the host, the driver image, the engine and veskd..."
cmake --build "$build" -j"$(nproc)" --target vesk-host vesk_driver_image vesklib veskd >/dev/null
bin="$build/bin"

export VESK_ROOT=${VESK_ROOT:-/tmp/vesk-demo}
demo=${VESK_DEMO_DIR:-$VESK_ROOT/demo}
mkdir -p "$VESK_ROOT" "$demo"
demo=$(cd "$demo" && pwd -P)
work="$demo/vesk-demo-activity"

activity_pid=""
finish() {
    trap - EXIT INT TERM
    set +e
    if [ -n "$activity_pid" ]; then
        kill "$activity_pid" 2>/dev/null
        wait "$activity_pid" 2>/dev/null
    fi
    "$bin/veskd" unload | tr -d '\r'
    rm -rf "$work"
    "$bin/vesk-host" volumes remove "$demo" >/dev/null 2>&1 || true
    echo "The driver is unloaded and $demo is as it was."
}
trap finish EXIT
trap 'exit 130' INT TERM

"$bin/veskd" install "$build/lib" | tr -d '\r'
"$bin/vesk-host" volumes add "$demo" >/dev/null 2>&1 || true   # already there from a run cut short
"$bin/veskd" load | tr -d '\r'

# Something to watch: a small script creating, writing, reading, renaming and deleting files.
(
    mkdir -p "$work"
    i=0
    while :; do
        i=$((i + 1))
        echo "note $i, written at $(date +%T)" > "$work/note.txt"
        cat "$work/note.txt" > /dev/null
        mv "$work/note.txt" "$work/note-$i.txt"
        chmod 600 "$work/note-$i.txt"
        rm -f "$work/note-$i.txt"
        sleep 3
    done
) > /dev/null 2>&1 &
activity_pid=$!

cat <<TEXT

Watching $demo (a FUSE volume over the directory, run by vesk-host).
A script works in $work every 3 seconds; make more from another terminal, e.g.
    echo hello > $demo/hello.txt; cat $demo/hello.txt; rm $demo/hello.txt
Press any key here to stop. (scripts/demo.sh '*' '*' shows the whole machine's activity.)

TEXT
sleep 1
# Everything the machine does is captured (processes starting and ending, and the images the
# driver opens for them); by default the demo prints what happens in its directory only.
if [ $# -eq 0 ]; then
    set -- '*' "$demo/*"
fi
"$bin/veskd" mon "$@"
