#!/bin/sh
# Builds the package fuzz harness with clang and runs it.
# Usage: run_fuzz.sh CLANGXX SOURCE_DIR OUT_DIR SECONDS SOURCES...
set -e
CXX=$1; SRC=$2; OUT=$3; SECS=$4; shift 4
mkdir -p "$OUT/corpus"
BIN="$OUT/package_fuzz"
# Every stage of an opened package is drawn: the display layer comes along.
"$CXX" -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$SRC/src" -o "$BIN" "$SRC/fuzz/package_fuzz.cpp" "$@" \
    "$SRC/src/display/surface.cpp" "$SRC/src/display/canvas.cpp" "$SRC/src/display/scene.cpp" \
    $(pkg-config --cflags --libs Qt6Gui sdl2)
# New inputs go to OUT/corpus; the committed seeds are only read.
# Qt finds no display here and needs none; leaks of its plugin loader are not ours.
export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
exec "$BIN" -max_total_time="$SECS" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
    "$OUT/corpus" "$SRC/fuzz/corpus"
