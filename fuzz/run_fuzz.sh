#!/bin/sh
# Builds the package fuzz harness with clang and runs it for SECONDS.
# Usage: run_fuzz.sh CLANGXX SOURCE_DIR OUT_DIR SECONDS SOURCES...
set -e
CXX=$1; SRC=$2; OUT=$3; SECS=$4; shift 4
mkdir -p "$OUT/corpus"
BIN="$OUT/package_fuzz"
# The harness is built again only when a source, a header or this script is
# newer than it, so that a run spends its time fuzzing.
if [ ! -x "$BIN" ] || [ -n "$(find "$SRC/src" "$SRC/fuzz/package_fuzz.cpp" "$0" -newer "$BIN" -print -quit)" ]; then
    started=$(date +%s)
    # Every stage of an opened package is drawn: the display layer comes along.
    "$CXX" -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
        -I"$SRC/src" -o "$BIN.new" "$SRC/fuzz/package_fuzz.cpp" "$@" \
        "$SRC/src/display/surface.cpp" "$SRC/src/display/canvas.cpp" "$SRC/src/display/scene.cpp" \
        "$SRC/src/display/spriteanimation.cpp" \
        $(pkg-config --cflags --libs Qt6Gui sdl2)
    mv "$BIN.new" "$BIN"
    echo "the harness was built in $(( $(date +%s) - started )) s"
fi
# New inputs go to OUT/corpus; the committed seeds are only read.
# Qt finds no display here and needs none; leaks of its plugin loader are not ours.
export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
exec "$BIN" -max_total_time="$SECS" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
    "$OUT/corpus" "$SRC/fuzz/corpus"
