#!/usr/bin/env bash
# Line and branch coverage of src/ and tools/ over the whole test suite
# (the time-boxed fuzz run left out).
# Usage: tools/coverage.sh BUILD_DIR REPORT_DIR [GENERATOR]
# BUILD_DIR gets an instrumented build of its own; REPORT_DIR the HTML report.
set -uo pipefail
BUILD=${1:?build folder}
REPORT=${2:?report folder}
GEN=${3:-Ninja}
ROOT=$(cd "$(dirname "$0")/.." && pwd)

cmake -S "$ROOT" -B "$BUILD" -G "$GEN" -DSLV_COVERAGE=ON -DCMAKE_BUILD_TYPE=Debug || exit 1
cmake --build "$BUILD" || exit 1
# Counts from an earlier run would add up with this one's.
find "$BUILD" -name '*.gcda' -delete
(cd "$BUILD" && ctest --output-on-failure --timeout 600 -j2 -E '^package_fuzz')
tests_status=$?

mkdir -p "$REPORT"
GCOVR=(gcovr --root "$ROOT" --object-directory "$BUILD" --filter "$ROOT/src/" --filter "$ROOT/tools/"
       --exclude-unreachable-branches --exclude-throw-branches)
# One pass of gcovr: the per-file figures, the HTML report and the summary
# for the whole (printed below, after the test output).
"${GCOVR[@]}" --csv "$REPORT/files.csv" --html-details "$REPORT/index.html" \
    --txt "$REPORT/summary.txt" --print-summary > "$REPORT/summary-lines.txt" || exit 1

echo
echo "HTML report: $REPORT/index.html"
[ $tests_status -eq 0 ] || echo "Some tests failed (ctest status $tests_status); the figures cover the tests that ran."
# The figures come last: lines and branches for the whole, then one row per
# folder (src/display, tools/slvtool, ...), summed over its files.
echo
grep -E '^(lines|branches):' "$REPORT/summary-lines.txt"
echo
awk -F, 'NR > 1 {
    n = split($1, part, "/"); dir = part[1] (n > 2 ? "/" part[2] : "/*");
    lt[dir] += $2; lc[dir] += $3; bt[dir] += $5; bc[dir] += $6
} END {
    printf "%-18s %8s %8s\n", "folder", "lines", "branches"
    for (d in lt) printf "%-18s %7.1f%% %7.1f%%\n", d, lt[d] ? 100 * lc[d] / lt[d] : 100, bt[d] ? 100 * bc[d] / bt[d] : 100 | "sort"
}' "$REPORT/files.csv"
exit $tests_status
