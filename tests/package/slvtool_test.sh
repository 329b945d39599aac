#!/bin/sh
# slvtool end to end: ls, check, extract and resave on a made-up level, and
# the refusals with their exit codes.
# Usage: slvtool_test.sh SLVTOOL PACKAGE_TESTDATA
set -u
TOOL=$1; MAKE=$2
T=$(mktemp -d); trap 'rm -rf "$T"' EXIT
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

"$MAKE" "$T/a" 3 4000 5 3000 || { echo "cannot build the test level"; exit 1; }
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

# check decodes every picture: a stage whose BMP header is spoiled (bit count
# 65535) passes every table check but is refused.
D=$(sed -n 's/^entries [0-9]* data \([0-9]*\) .*/\1/p' "$T/ls.txt")
S=$(grep 'entry \\backpx\\stage1.bmp ' "$T/ls.txt" | awk '{print $3}')
cp "$P" "$T/bad.slv"
printf '\377\377' | dd of="$T/bad.slv" bs=1 seek=$((D + S + 28)) conv=notrunc 2>/dev/null
"$TOOL" check "$T/bad.slv" 2> "$T/err.txt"; [ $? -eq 1 ] || fail "check should decode the stage pictures"
grep -q 'stage 1 ("\\backpx\\stage1.bmp")' "$T/err.txt" || fail "the message names the stage: $(cat "$T/err.txt")"

# A package that check accepts opens: in a folder so deep that the extracted
# paths would not fit a record, check refuses it as Open does.
DEEP="$T/$(printf 'a%.0s' $(seq 110))/$(printf 'b%.0s' $(seq 110))"
mkdir -p "$DEEP" && "$TOOL" resave "$P" "$DEEP/p.slv" >/dev/null || fail "saving into a deep folder"
"$TOOL" check "$DEEP/p.slv" 2> "$T/err.txt"; [ $? -eq 1 ] || fail "check of a package Open refuses should exit 1"
grep -q "too long" "$T/err.txt" || fail "deep folder message: $(cat "$T/err.txt")"

# render: the same picture after two round trips; different stages differ.
mkdir "$T/r1" "$T/r2"
"$TOOL" render "$P" 2 "$T/before.png" >/dev/null || fail "render"
"$TOOL" resave "$P" "$T/r1/l.slv" >/dev/null && "$TOOL" resave "$T/r1/l.slv" "$T/r2/l.slv" >/dev/null || fail "round trips"
"$TOOL" render "$T/r2/l.slv" 2 "$T/after.png" >/dev/null || fail "render after round trips"
cmp -s "$T/before.png" "$T/after.png" || fail "render changed after two round trips"
"$TOOL" render "$P" 1 "$T/other.png" >/dev/null || fail "render stage 1"
cmp -s "$T/before.png" "$T/other.png" && fail "stages 1 and 2 render alike"
# --key is RRGGBB: the sprites' stripe (ff0080) is keyed out by its own key only.
"$TOOL" render "$P" 2 "$T/keyed.png" --key ff0080 >/dev/null || fail "render --key"
"$TOOL" render "$P" 2 "$T/mirrored.png" --key 8000ff >/dev/null || fail "render --key"
cmp -s "$T/before.png" "$T/keyed.png" && fail "render --key ff0080 kept the stripe"
cmp -s "$T/before.png" "$T/mirrored.png" || fail "render --key 8000ff keyed the stripe out"
"$TOOL" render "$P" 9 "$T/none.png" 2> "$T/err.txt"; [ $? -eq 1 ] || fail "render of a missing stage should exit 1"
grep -q "no stage 9" "$T/err.txt" && [ ! -e "$T/none.png" ] || fail "render of a missing stage: message, no file"

# A package path relative to the current folder extracts beside the package.
mkdir "$T/rel" && cp "$P" "$T/rel/level.slv"
(cd "$T/rel" && "$TOOL" resave level.slv out.slv >/dev/null) || fail "relative resave"
[ -f "$T/rel/backpx/stage1.bmp" ] && [ -f "$T/rel/out.slv" ] || fail "relative resave extracted elsewhere"

# Nothing is extracted through a linked folder.
mkdir "$T/z" "$T/outside" && ln -s "$T/outside" "$T/z/sprites"
"$TOOL" extract "$P" "$T/z" > /dev/null 2> "$T/err.txt"; [ $? -eq 1 ] || fail "extract through a link should exit 1"
grep -q "symbolic link" "$T/err.txt" && [ -z "$(ls "$T/outside")" ] || fail "extract wrote through a link"

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
