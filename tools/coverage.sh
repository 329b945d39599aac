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
"${GCOVR[@]}" --csv "$REPORT/files.csv" --html-details "$REPORT/index.html" || exit 1

# One row per folder (src/display, tools/slvtool, ...), summed over its files.
echo
awk -F, 'NR > 1 {
    n = split($1, part, "/"); dir = part[1] (n > 2 ? "/" part[2] : "/*");
    lt[dir] += $2; lc[dir] += $3; bt[dir] += $5; bc[dir] += $6
} END {
    printf "%-18s %8s %8s\n", "folder", "lines", "branches"
    for (d in lt) printf "%-18s %7.1f%% %7.1f%%\n", d, lt[d] ? 100 * lc[d] / lt[d] : 100, bt[d] ? 100 * bc[d] / bt[d] : 100 | "sort"
}' "$REPORT/files.csv"
close_note="HTML report: $REPORT/index.html"
echo
echo "$close_note"
[ $tests_status -eq 0 ] || echo "Some tests failed (ctest status $tests_status); the figures cover the tests that ran."
# The summary for the whole comes last.
"${GCOVR[@]}" --print-summary --txt "$REPORT/summary.txt" || exit 1
exit $tests_status
