#!/bin/sh
# Times Open + Save of a full-size level against copying the same bytes with
# cp. The level: 30 stages of 640x430 24-bit bitmaps (825 654 bytes each)
# and 300 sprite images of 4 KB.
#
# Usage: tools/slvtool/measure_package.sh [BUILD_DIR] [RUNS]
# BUILD_DIR holds slvtool and package_testdata (default: build).
set -eu
B=${1:-build}; RUNS=${2:-7}
TOOL="$B/slvtool"; MAKE="$B/package_testdata"
[ -x "$TOOL" ] && [ -x "$MAKE" ] || { echo "build slvtool and package_testdata in $B first" >&2; exit 2; }
T=$(mktemp -d); trap 'rm -rf "$T"' EXIT
"$MAKE" "$T/lvl" 30 825654 300 4096
P="$T/lvl/level.slv"
echo "package: $(wc -c < "$P") bytes"

now() { date +%s%N; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

: > "$T/resave.txt"; : > "$T/cp.txt"
i=0
while [ $i -lt "$RUNS" ]; do
    rm -rf "$T/lvl/sprites" "$T/lvl/backpx" "$T/out.slv" "$T/c1" "$T/c2"
    sync
    t0=$(now); "$TOOL" resave "$P" "$T/out.slv" >/dev/null; t1=$(now)
    echo $(( (t1 - t0) / 1000 )) >> "$T/resave.txt"
    # Open reads the package and writes its bitmaps; Save reads them back and
    # writes a package: the same bytes as two copies of the package.
    t0=$(now); cp "$P" "$T/c1"; cp "$T/c1" "$T/c2"; t1=$(now)
    echo $(( (t1 - t0) / 1000 )) >> "$T/cp.txt"
    i=$((i + 1))
done
cmp -s "$P" "$T/out.slv" && echo "resaved package: identical bytes" || echo "resaved package: header equal, tables name the extracted copies"
r=$(median < "$T/resave.txt"); c=$(median < "$T/cp.txt")
echo "median open+save (slvtool resave): $r us"
echo "median cp of the same bytes (2 copies): $c us"
awk -v r="$r" -v c="$c" 'BEGIN { printf "ratio: %.2f (goal: at most 2)\n", r / c }'
