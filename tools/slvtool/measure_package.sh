#!/bin/sh
# Times Open + Save (`slvtool resave`) of a full-size level against copying
# the same bytes with cp. The level: 30 stages of 640x430 24-bit bitmaps
# (825 654 bytes each) and 300 sprite images of 4 KB. Every timed run works
# in a fresh folder made (with its copy of the package) before any timing
# starts, so no run finds what an earlier one extracted or deleted, and
# starts after a sync, so no run waits for the writes of an earlier one.
# The folders are plain folders under $TMPDIR, as a user's are. Resave
# reads the package and writes a new one (the bitmaps go from one to the
# other), and flushes it to disk before it renames it into place; the fair
# copy does the same work: cp of the package, then sync of the copy (fsync).
#
# Usage: tools/slvtool/measure_package.sh [BUILD_DIR] [RUNS]
# BUILD_DIR holds slvtool and package_testdata (default: build). With
# SLVTOOL_BEFORE=path/to/an/older/slvtool the two are timed in alternation.
# Prints, each on its own line:
#   resave vs cp ratio: R           (against a plain cp)
#   resave vs cp+fsync ratio: R     (against a cp, flushed)
#   open+save N images: T us      (for 30, 300 and 3000 images)
#   3000 vs 300 images: R
set -eu
B=${1:-build}; RUNS=${2:-7}; BEFORE=${SLVTOOL_BEFORE:-}
TOOL="$B/slvtool"; MAKE="$B/package_testdata"
[ -x "$TOOL" ] && [ -x "$MAKE" ] || { echo "build slvtool and package_testdata in $B first" >&2; exit 2; }
T=$(mktemp -d); trap 'rm -rf "$T"' EXIT
"$MAKE" "$T/lvl" 30 825654 300 4096
P="$T/lvl/level.slv"
echo "package: $(wc -c < "$P") bytes"

now() { date +%s%N; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# fresh NAME PKG: RUNS folders NAME1.. each holding a copy of PKG.
fresh() {
    i=1
    while [ $i -le "$RUNS" ]; do mkdir "$T/$1$i"; cp "$2" "$T/$1$i/level.slv"; i=$((i + 1)); done
}
# timed TOOL FOLDER: microseconds of one resave in FOLDER. Every timed
# command starts after a sync, with no dirty pages of an earlier one waiting.
timed() {
    sync
    t0=$(now); "$1" resave "$2/level.slv" "$2/out.slv" >/dev/null; t1=$(now)
    echo $(( (t1 - t0) / 1000 ))
}

fresh run "$P"; fresh cp "$P"
[ -n "$BEFORE" ] && fresh old "$P"
sync
: > "$T/resave.txt"; : > "$T/cp.txt"; : > "$T/cpsync.txt"; : > "$T/old.txt"
i=1
while [ $i -le "$RUNS" ]; do
    timed "$TOOL" "$T/run$i" >> "$T/resave.txt"
    sync
    t0=$(now); cp "$T/cp$i/level.slv" "$T/cp$i/c1"; t1=$(now)
    echo $(( (t1 - t0) / 1000 )) >> "$T/cp.txt"
    sync
    t0=$(now); cp "$T/cp$i/level.slv" "$T/cp$i/f1"; sync "$T/cp$i/f1"; t1=$(now)
    echo $(( (t1 - t0) / 1000 )) >> "$T/cpsync.txt"
    [ -n "$BEFORE" ] && timed "$BEFORE" "$T/old$i" >> "$T/old.txt"
    i=$((i + 1))
done
r=$(median < "$T/resave.txt"); c=$(median < "$T/cp.txt")
echo "median open+save (slvtool resave, 30 stages, 300 images): $r us"
echo "median cp of the package: $c us"
f=$(median < "$T/cpsync.txt")
echo "median cp of the package, flushed: $f us"
awk -v r="$r" -v c="$c" 'BEGIN { printf "resave vs cp ratio: %.2f\n", r / c }'
awk -v r="$r" -v f="$f" 'BEGIN { printf "resave vs cp+fsync ratio: %.2f\n", r / f }'
if [ -n "$BEFORE" ]; then
    o=$(median < "$T/old.txt")
    echo "median open+save with $BEFORE: $o us"
    awk -v r="$r" -v o="$o" 'BEGIN { printf "after vs before: %.2f\n", r / o }'
fi

# Scale: 30, 300 and 3000 images of 4 KB (and 3 small stages), fresh folders.
for n in 30 300 3000; do
    "$MAKE" "$T/scale$n" 3 4000 "$n" 4096
    fresh "s$n-" "$T/scale$n/level.slv"
done
sync
for n in 30 300 3000; do
    : > "$T/scale$n.txt"
    i=1
    while [ $i -le "$RUNS" ]; do timed "$TOOL" "$T/s$n-$i" >> "$T/scale$n.txt"; i=$((i + 1)); done
    echo "open+save $n images: $(median < "$T/scale$n.txt") us"
done
awk -v a="$(median < "$T/scale3000.txt")" -v b="$(median < "$T/scale300.txt")" \
    'BEGIN { printf "3000 vs 300 images: %.2f\n", a / b }'
