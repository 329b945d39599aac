#!/bin/sh
# slvtool end to end: ls, check, extract and resave on a made-up level, and
# the refusals with their exit codes.
# Usage: slvtool_test.sh SLVTOOL PACKAGE_TESTDATA
set -u
TOOL=$1; MAKE=$2
T=$(mktemp -d); trap 'rm -rf "$T"' EXIT
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

"$MAKE" "$T/a" 3 4000 5 300 || { echo "cannot build the test level"; exit 1; }
P="$T/a/level.slv"

"$TOOL" --help | grep -q "resave IN OUT" || fail "--help"
"$TOOL" >/dev/null 2>&1; [ $? -eq 2 ] || fail "no arguments should exit 2"
"$TOOL" ls >/dev/null 2>&1; [ $? -eq 2 ] || fail "ls without package should exit 2"

"$TOOL" check "$P" >/dev/null || fail "check of a good package"
"$TOOL" ls "$P" > "$T/ls.txt" || fail "ls of a good package"
grep -q 'entry \\_sectors.tmp  *0  *120000 0' "$T/ls.txt" || fail "ls shows the first entry"
grep -q 'entry \\backpx\\stage3.bmp .* 1$' "$T/ls.txt" || fail "ls shows the last stage flagged"
grep -q '^stage 2 stage2.bmp sprites 3 sectors 2$' "$T/ls.txt" || fail "ls shows stage 2"
grep -q '^  sprite 2 .* x 20 y 40 frames 2 ' "$T/ls.txt" || fail "ls shows sprite 2 of stage 2"
grep -q '^  sector 2 Sector2 x 2 y 3 w 100 h 50$' "$T/ls.txt" || fail "ls shows sector 2 of stage 3"

mkdir "$T/x"
"$TOOL" extract "$P" "$T/x" >/dev/null || fail "extract"
cmp -s "$T/x/backpx/stage2.bmp" "$T/a/src/stage2.bmp" || fail "extracted stage differs"
cmp -s "$T/x/sprites/sprite4.bmp" "$T/a/src/sprite4.bmp" || fail "extracted sprite differs"
[ "$(wc -c < "$T/x/_images.tmp")" -eq 876000 ] || fail "extracted image table size"

"$TOOL" resave "$P" "$T/a/again.slv" >/dev/null || fail "resave"
"$TOOL" ls "$T/a/again.slv" | grep '^entry' > "$T/e2.txt"
grep '^entry' "$T/ls.txt" > "$T/e1.txt"
cmp -s "$T/e1.txt" "$T/e2.txt" || fail "resave changed the header entries"
ls "$T/a" | grep -q '^_.*\.tmp$' && fail "a _*.tmp file stayed"

# Refused inputs: exit 1 with a message, nothing extracted.
head -c 5000 "$P" > "$T/short.slv"
"$TOOL" check "$T/short.slv" 2> "$T/err.txt"; [ $? -eq 1 ] || fail "short package should exit 1"
grep -q "too short" "$T/err.txt" || fail "short package message"
mkdir "$T/y"
"$TOOL" extract "$T/short.slv" "$T/y" 2>/dev/null; [ $? -eq 1 ] || fail "extract of a bad package should exit 1"
[ -z "$(ls "$T/y")" ] || fail "a refused extract wrote files"
"$TOOL" resave "$T/short.slv" "$T/out.slv" 2>/dev/null; [ $? -eq 1 ] || fail "resave of a bad package should exit 1"
[ ! -e "$T/out.slv" ] || fail "a refused resave wrote a package"

[ $fails -eq 0 ] && echo "slvtool: all checks passed"
exit $fails
