#!/bin/sh
# The build stamp written at build time follows SOURCE_DATE_EPOCH (date(1) is the oracle for
# the compiler's "Mmm dd yyyy hh:mm:ss" form) and is rewritten when the time moves on, so an
# incremental build never keeps an old date.
# Usage: check-build-stamp.sh <cmake> <WriteBuildStamp.cmake> [<ninja build folder>]
set -eu
cmake=$1
script=$2
build=${3:-}
out="${TMPDIR:-/tmp}/BuildStamp.cpp"

expect() {
    # __DATE__ pads the day with a blank: %e.
    LC_ALL=C date -u -d "@$1" '+%b %e %Y %H:%M:%S'
}

for epoch in 1751560965 1700000000 1704067199; do
    SOURCE_DATE_EPOCH=$epoch "$cmake" -DOUTPUT="$out" -P "$script"
    want=$(expect $epoch)
    if ! grep -qF "return \"$want\";" "$out"; then
        echo "epoch $epoch: expected \"$want\" in:" >&2
        cat "$out" >&2
        exit 1
    fi
done
echo "build stamp follows SOURCE_DATE_EPOCH"

# Every build, however incremental, writes the stamp anew: building the step twice runs it twice.
# (A dry run cannot show it: the program's QML list comes from a glob whose check a dry run
# always reports as a re-run of CMake, and it stops there.)
if [ -n "$build" ]; then
    for round in 1 2; do
        if ! ninja -C "$build" orvane_controls_build_stamp | grep -q "Build stamp"; then
            echo "build $round did not write the build stamp" >&2
            exit 1
        fi
    done
    echo "every build writes the build stamp"
fi
