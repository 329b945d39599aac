#!/bin/sh
# slvtool end to end: ls, check, extract and resave on a made-up level, and
# the refusals with their exit codes.
# Usage: slvtool_test.sh SLVTOOL PACKAGE_TESTDATA
set -u
TOOL=$1; MAKE=$2
T=$(mktemp -d); trap 'rm -rf "$T"' EXIT
fails=0
fail() { printf 'FAIL: %s\n' "$*"; fails=$((fails + 1)); }
# Runs slvtool with the arguments after the first two: it should exit with
# status $1, its error output holding $2.
exits() {
    code=$1 words=$2
    shift 2
    "$TOOL" "$@" > "$T/out.txt" 2> "$T/err.txt"
    [ $? -eq "$code" ] && grep -q -- "$words" "$T/err.txt" || fail "slvtool $*: not exit $code saying \"$words\": $(cat "$T/err.txt")"
}

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
grep '^entry' "$T/ls.txt" | cmp -s - "$T/e2.txt" || fail "resave changed the header entries"
ls "$T/a" | grep -q '^_.*\.tmp$' && fail "a _*.tmp file stayed"

# check decodes every picture: a stage whose BMP header is spoiled (bit count
# 65535) passes every table check but is refused.
D=$(sed -n 's/^entries [0-9]* data \([0-9]*\) .*/\1/p' "$T/ls.txt")
S=$(grep 'entry \\backpx\\stage1.bmp ' "$T/ls.txt" | awk '{print $3}')
cp "$P" "$T/bad.slv"
printf '\377\377' | dd of="$T/bad.slv" bs=1 seek=$((D + S + 28)) conv=notrunc 2>/dev/null
exits 1 'stage 1 ("\\backpx\\stage1.bmp")' check "$T/bad.slv"

# A package that check accepts opens: in a folder so deep that the extracted
# paths would not fit a record, check refuses it as Open does.
DEEP="$T/$(printf 'a%.0s' $(seq 110))/$(printf 'b%.0s' $(seq 110))"
mkdir -p "$DEEP" && "$TOOL" resave "$P" "$DEEP/p.slv" >/dev/null || fail "saving into a deep folder"
exits 1 "too long" check "$DEEP/p.slv"

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
exits 1 "no stage 9" render "$P" 9 "$T/none.png"
[ ! -e "$T/none.png" ] || fail "render of a missing stage wrote a file"
exits 1 "There is no stage 0: the package's stages are 1..3" render "$P" 0 "$T/none.png"
exits 1 "the folder \"$T/missing/\" does not exist" render "$P" 1 "$T/missing/out.png"

# An older package: an accented 19-character sprite name, an accented stage
# name and a sprite of 999 frames on a 30-pixel strip (frames 0 pixels wide)
# opens, checks, renders and resaves with every name and record as it was.
"$MAKE" --older "$T/o" || fail "cannot build the older package"
O="$T/o/older.slv"
"$TOOL" check "$O" > /dev/null 2> "$T/err.txt" || fail "check of the older package: $(cat "$T/err.txt")"
"$TOOL" render "$O" 1 "$T/older.png" > /dev/null 2> "$T/err.txt" || fail "render of the older package: $(cat "$T/err.txt")"
"$TOOL" resave "$O" "$T/o/again.slv" > /dev/null 2> "$T/err.txt" || fail "resave of the older package: $(cat "$T/err.txt")"
"$TOOL" check "$T/o/again.slv" > /dev/null || fail "check of the resaved older package"
mkdir "$T/o1" "$T/o2"
"$TOOL" extract "$O" "$T/o1" > /dev/null && "$TOOL" extract "$T/o/again.slv" "$T/o2" > /dev/null || fail "extract of the older packages"
for t in _sectors.tmp _sprites.tmp _images.tmp _stages.tmp; do
    cmp -s "$T/o1/$t" "$T/o2/$t" || fail "resave changed $t of the older package"
done
"$TOOL" ls "$O" > "$T/o1.txt" && "$TOOL" ls "$T/o/again.slv" > "$T/o2.txt" || fail "ls of the older packages"
cmp -s "$T/o1.txt" "$T/o2.txt" || fail "resave changed the older package's header or records"
grep -q '^  sprite 1 ééééééééééééééé.bmp x 40 ' "$T/o2.txt" || fail "the 19-character sprite name: $(cat "$T/o2.txt")"
grep -q '^  sprite 2 rope.bmp x 80 y 30 frames 999 ' "$T/o2.txt" || fail "the sprite of 999 frames"
grep -q '^entry \\backpx\\plage_d_été_2026.bmp ' "$T/o2.txt" || fail "the stage entry keeps its extension"
grep -q '^  sector 1 Secteur_é ' "$T/o2.txt" || fail "the accented sector name"

# Only '/' separates folders: a package named lev:el\1.slv saves, checks and reopens.
mkdir "$T/n"
N="$T/n/"'lev:el\1.slv'
"$TOOL" resave "$P" "$N" > /dev/null 2> "$T/err.txt" || fail "resave to lev:el\\1.slv: $(cat "$T/err.txt")"
"$TOOL" check "$N" > /dev/null 2> "$T/err.txt" || fail "check of lev:el\\1.slv: $(cat "$T/err.txt")"
"$TOOL" resave "$N" "$T/n/again.slv" > /dev/null 2> "$T/err.txt" || fail "lev:el\\1.slv reopens: $(cat "$T/err.txt")"
[ ! -e "$T/n/backpx" ] && [ ! -e "$T/n/sprites" ] || fail "resave wrote bitmaps beside lev:el\\1.slv"

# A package path relative to the current folder saves beside the package,
# the bitmaps going from package to package.
mkdir "$T/rel" && cp "$P" "$T/rel/level.slv"
(cd "$T/rel" && "$TOOL" resave level.slv out.slv >/dev/null) || fail "relative resave"
[ "$(ls "$T/rel" | tr '\n' ' ')" = "level.slv out.slv " ] || fail "relative resave wrote: $(ls "$T/rel")"
mkdir "$T/rel2" && "$TOOL" extract "$T/rel/out.slv" "$T/rel2" >/dev/null || fail "extract of the relative resave"
cmp -s "$T/rel2/backpx/stage1.bmp" "$T/a/src/stage1.bmp" || fail "relative resave changed a stage's bitmap"

# Nothing is extracted through a linked folder.
mkdir "$T/z" "$T/outside" && ln -s "$T/outside" "$T/z/sprites"
exits 1 "symbolic link" extract "$P" "$T/z"
[ -z "$(ls "$T/outside")" ] || fail "extract wrote through a link"

# Refused inputs: exit 1 with a message, nothing extracted.
head -c 5000 "$P" > "$T/short.slv"
exits 1 "too short" check "$T/short.slv"
mkdir "$T/y"
exits 1 "too short" extract "$T/short.slv" "$T/y"
[ -z "$(ls "$T/y")" ] || fail "a refused extract wrote files"
exits 1 "too short" resave "$T/short.slv" "$T/out.slv"
[ ! -e "$T/out.slv" ] || fail "a refused resave wrote a package"

# Levels as text: export beside the package and import give resave's bytes;
# a sprite moved in the JSON shows in ls and in diff; git-style text form.
J="$T/j"; mkdir "$J" && cp "$P" "$J/level.slv"
"$TOOL" export "$J/level.slv" "$J" >/dev/null || fail "export"
"$TOOL" resave "$J/level.slv" "$J/resaved.slv" >/dev/null || fail "resave beside the export"
"$TOOL" import "$J" "$J/imported.slv" >/dev/null || fail "import"
cmp -s "$J/resaved.slv" "$J/imported.slv" || fail "export then import differs from resave"
"$TOOL" diff "$J/resaved.slv" "$J/imported.slv" > "$T/diff.txt"; [ $? -eq 0 ] && [ ! -s "$T/diff.txt" ] || fail "diff of the same level"
sed 's/"stage":2,"name":"\([^"]*\)","x":20,"y":40/"stage":2,"name":"\1","x":77,"y":41/' "$J/level.json" > "$T/moved.json"
cmp -s "$J/level.json" "$T/moved.json" && fail "the test could not move a sprite in the JSON"
cp "$T/moved.json" "$J/level.json"
"$TOOL" import "$J" "$J/moved.slv" >/dev/null || fail "import of a moved sprite"
"$TOOL" ls "$J/moved.slv" | grep -q '^  sprite 2 .* x 77 y 41 frames 2 ' || fail "ls does not show the moved sprite"
"$TOOL" diff "$J/imported.slv" "$J/moved.slv" > "$T/diff.txt"; [ $? -eq 1 ] || fail "diff of a moved sprite should exit 1"
grep -q '^stage 2 "stage2.bmp": sprite 2 ".*" moved from (20, 40) to (77, 41)$' "$T/diff.txt" || fail "diff text: $(cat "$T/diff.txt")"
[ "$(wc -l < "$T/diff.txt")" -eq 1 ] || fail "diff of one move says more: $(cat "$T/diff.txt")"
"$TOOL" diff "$J/imported.slv" "$T/short.slv" 2> "$T/err.txt"; [ $? -eq 2 ] || fail "diff of a bad package should exit 2"
"$TOOL" text "$J/moved.slv" > "$T/a.txt" && "$TOOL" text "$J/imported.slv" > "$T/b.txt" || fail "text"
[ "$(diff "$T/a.txt" "$T/b.txt" | grep -c '^[<>]')" -eq 2 ] || fail "text form: a moved sprite is not a one-line change"
# A refused import names the fault's place and writes nothing.
sed 's/"x":77,/"x":"77",/' "$J/level.json" > "$T/bad.json" && cp "$T/bad.json" "$J/level.json"
mkdir "$T/refused"
exits 1 'sprites\[4\]\.x: not a number' import "$J" "$T/refused/bad.slv"
[ -z "$(ls "$T/refused")" ] || fail "a refused import wrote files"

# import checks every picture as Open does before anything is written: a cut
# BMP or a picture too large to decode is named with the reason, and a good
# package already at OUT keeps its bytes.
I="$T/i"
"$TOOL" export "$P" "$I" >/dev/null || fail "export for the import checks"
cp "$I/level.json" "$T/level.json.orig" && cp "$I/backpx/stage2.bmp" "$T/stage2.bmp"
cp "$J/imported.slv" "$T/good.slv" && cp "$T/good.slv" "$T/keep.slv"
keeps() { cmp -s "$T/good.slv" "$T/keep.slv" || fail "a refused import changed OUT ($1)"; }
head -c 1000 "$T/stage2.bmp" > "$I/backpx/stage2.bmp"
exits 1 "stages\[1\]\.picture: \"$I/backpx/stage2.bmp\" is cut short" import "$I" "$T/keep.slv"; keeps "cut BMP"
printf '\211PNG\r\n\032\n\0\0\0\015IHDR\0\0\165\060\0\0\165\060' > "$I/backpx/stage2.bmp"  # 30000 x 30000
exits 1 "stages\[1\]\.picture: \"$I/backpx/stage2.bmp\" (30000 x 30000) needs more than the 2 GB" import "$I" "$T/keep.slv"
keeps "huge picture"
cp "$T/stage2.bmp" "$I/backpx/stage2.bmp"

# Picture paths separate folders with '/' only and never lead out of DIR, also
# not through a link; sectors take the sizes the editor's fields take; use
# counts are counted from the sprites.
cp "$I/sprites/sprite1.bmp" "$I/sprites\\sprite1.bmp"
sed 's|"sprites/sprite1.bmp"|"sprites\\\\sprite1.bmp"|' "$T/level.json.orig" > "$I/level.json"
exits 1 'images\[0\]\.picture: "sprites\\sprite1.bmp" holds a backslash' import "$I" "$T/keep.slv"; keeps "backslash"
cp "$T/level.json.orig" "$I/level.json"
mv "$I/sprites/sprite4.bmp" "$T/sprite4.bmp" && ln -s "$T/sprite4.bmp" "$I/sprites/sprite4.bmp"
exits 1 'images\[3\]\.picture: "sprites/sprite4.bmp" is a symbolic link, or lies in one, that leads outside' import "$I" "$T/keep.slv"
keeps "linked file"
rm "$I/sprites/sprite4.bmp" && mv "$T/sprite4.bmp" "$I/sprites/sprite4.bmp"
mv "$I/backpx" "$T/backpx" && ln -s "$T/backpx" "$I/backpx"
exits 1 'stages\[0\]\.picture: "backpx/stage1.bmp" is a symbolic link' import "$I" "$T/keep.slv"; keeps "linked folder"
rm "$I/backpx" && mv "$T/backpx" "$I/backpx"
sed 's|"name":"Sector2","x":2,"y":2,"w":100|"name":"Sector2","x":2,"y":2,"w":-5|' "$T/level.json.orig" > "$I/level.json"
exits 1 'sectors\[3\]\.w: -5 is not a sector width (0 to 640)' import "$I" "$T/keep.slv"; keeps "negative sector"
sed 's|"y":3,"w":100,"h":50|"y":3,"w":100,"h":431|' "$T/level.json.orig" > "$I/level.json"
exits 1 'sectors\[4\]\.h: 431 is not a sector height (0 to 430)' import "$I" "$T/keep.slv"; keeps "tall sector"
sed 's|"uses":2}|"uses":-1}|' "$T/level.json.orig" > "$I/level.json"
"$TOOL" import "$I" "$T/uses.slv" > /dev/null 2> "$T/err.txt" || fail "import with uses -1: $(cat "$T/err.txt")"
"$TOOL" ls "$T/uses.slv" | grep -q '^image 1 sprite1.bmp size [0-9]* uses 2$' || fail "uses not counted: $("$TOOL" ls "$T/uses.slv" | grep '^image 1 ')"

# A JSON number of 100,000 digits: a short message with the file, line and
# column, not the number.
DIGITS=$(head -c 100000 /dev/zero | tr '\0' '7')
sed "0,/\"x\":20,\"y\":20/s//\"x\":$DIGITS,\"y\":20/" "$T/level.json.orig" > "$I/level.json"
"$TOOL" import "$I" "$T/keep.slv" > /dev/null 2> "$T/err.txt"; [ $? -eq 1 ] || fail "a 100,000-digit number should exit 1"
[ "$(wc -c < "$T/err.txt")" -lt 300 ] || fail "the message for a long number is $(wc -c < "$T/err.txt") bytes"
grep -q "^slvtool: $I/level.json:19:41: not JSON: the number is too large (at: 7777" "$T/err.txt" || fail "long number: $(head -c 300 "$T/err.txt")"
keeps "long number"
cp "$T/level.json.orig" "$I/level.json"

# export writes level.json as a file of its own: a link there, to a file or
# dangling, is refused and its target stays as it was.
mkdir "$T/el" && echo "the author's own" > "$T/own.txt" && ln -s "$T/own.txt" "$T/el/level.json"
exits 1 'level.json" is a symbolic link' export "$P" "$T/el"
[ "$(cat "$T/own.txt")" = "the author's own" ] || fail "export wrote through a link"
rm "$T/el/level.json" && ln -s "$T/made-by-export.txt" "$T/el/level.json"
exits 1 'level.json" is a symbolic link' export "$P" "$T/el"
[ ! -e "$T/made-by-export.txt" ] || fail "export created a dangling link's target"

# An older package (frames 0 pixels wide) goes through export and import
# with the bytes of resave.
"$TOOL" export "$O" "$T/o" > /dev/null 2> "$T/err.txt" || fail "export of the older package: $(cat "$T/err.txt")"
"$TOOL" import "$T/o" "$T/o/imported.slv" > /dev/null 2> "$T/err.txt" || fail "import of the older package: $(cat "$T/err.txt")"
cmp -s "$T/o/again.slv" "$T/o/imported.slv" || fail "export then import of the older package differs from resave"

# diff names as the terminal shows text: accented names in UTF-8, control
# bytes escaped, in its lines and in its messages.
sed 's|"name":"Secteur_é","x":\([0-9]*\)|"name":"Secteur_é","x":\1 5|; s|\("Secteur_é","x":[0-9]*\) 5|\15|' "$T/o/level.json" > "$T/o/moved.json"
cmp -s "$T/o/level.json" "$T/o/moved.json" && fail "the test could not move the accented sector"
cp "$T/o/moved.json" "$T/o/level.json"
"$TOOL" import "$T/o" "$T/o/moved.slv" > /dev/null 2> "$T/err.txt" || fail "import of a moved sector: $(cat "$T/err.txt")"
"$TOOL" diff "$T/o/imported.slv" "$T/o/moved.slv" > "$T/diff.txt"
grep -q '^stage 1 "plage_d_été_2026.bmp": sector 1 "Secteur_é" moved' "$T/diff.txt" || fail "diff of accented names: $(cat "$T/diff.txt")"

# Control bytes in names are shown escaped, never sent to the terminal: the
# first sector's name (at the start of the sector table) begins with ESC [2J
# and DEL.
cp "$P" "$T/esc.slv"
printf '\033[2J\177' | dd of="$T/esc.slv" bs=1 seek=$((D + 1)) conv=notrunc 2>/dev/null
"$TOOL" ls "$T/esc.slv" > "$T/ls-esc.txt" || fail "ls of a package with control bytes in a name"
grep -q 'sector 1 \\x1b\[2J\\x7fr1 ' "$T/ls-esc.txt" || fail "ls escapes ESC and DEL: $(grep 'sector 1 ' "$T/ls-esc.txt" | head -1)"
LC_ALL=C grep -q "$(printf '\033')" "$T/ls-esc.txt" && fail "ls printed a raw ESC byte"
LC_ALL=C grep -q "$(printf '\177')" "$T/ls-esc.txt" && fail "ls printed a raw DEL byte"
"$TOOL" diff "$P" "$T/esc.slv" > "$T/diff-esc.txt"; [ $? -eq 1 ] || fail "diff of a renamed sector should exit 1"
grep -q 'sector 1 renamed from "Sector1" to "\\x1b\[2J\\x7fr1"$' "$T/diff-esc.txt" || fail "diff escapes ESC: $(cat -v "$T/diff-esc.txt")"
LC_ALL=C grep -q "$(printf '\033')" "$T/diff-esc.txt" && fail "diff printed a raw ESC byte"
E="$T/$(printf 'bad\033]0;title\007')"
"$TOOL" diff "$P" "$E.slv" 2> "$T/err.txt"; [ $? -eq 2 ] || fail "diff of a missing package should exit 2"
grep -q 'bad\\x1b\]0;title\\x07\.slv' "$T/err.txt" || fail "diff's message escapes control bytes: $(cat -v "$T/err.txt")"
LC_ALL=C grep -q "$(printf '\033')" "$T/err.txt" && fail "diff's message holds a raw ESC byte"

# A picture member shorter than its header declares is a damaged package:
# stage 1's BMP claims 4000 more rows than it holds.
cp "$P" "$T/cut.slv"
printf '\240\017' | dd of="$T/cut.slv" bs=1 seek=$((D + S + 22)) conv=notrunc 2>/dev/null
exits 1 'stage 1 ("\\backpx\\stage1.bmp") is cut short' check "$T/cut.slv"

# Numbered names are planned before anything is written: in a folder where
# "sprites/sprite1.bmp" takes exactly 255 characters and the author's own
# sprite1.bmp (other bytes) is there, the package's copy would be
# sprite1~2.bmp, too long: check and Open refuse it and write nothing.
L="$T/$(printf 'l%.0s' $(seq 100))"
L="$L/$(printf 'm%.0s' $(seq $((236 - ${#L} - 2))))/"
[ $(printf '%s' "${L}sprites/sprite1.bmp" | wc -c) -eq 255 ] || fail "the limit folder is not at the limit"
mkdir -p "${L}sprites" && cp "$P" "${L}p.slv" && echo "the author's own" > "${L}sprites/sprite1.bmp"
exits 1 'sprite1~2.bmp" would exceed 255' check "${L}p.slv"
exits 1 'sprite1~2.bmp" would exceed 255' resave "${L}p.slv" "$T/l.slv"
[ "$(ls -A "${L}sprites")" = "sprite1.bmp" ] && [ ! -e "${L}backpx" ] || fail "a refused Open wrote: $(ls -A "${L}sprites")"

# Extraction goes through temporary files: an extraction that fails half way
# (the file-size limit) leaves no short file under a member's name, and the
# temporaries a killed one left are removed by the next one.
mkdir "$T/k"
(ulimit -f 2; "$TOOL" extract "$P" "$T/k" >/dev/null 2>&1); [ $? -ne 0 ] || fail "extract under a 1 KB limit should fail"
echo stale > "$T/k/sprites/.slv-part-Zz9Zz9" && chmod 200 "$T/k/sprites/.slv-part-Zz9Zz9"
"$TOOL" extract "$P" "$T/k" > "$T/k.txt" || fail "extract after a failed one"
grep -q '~2' "$T/k.txt" && fail "a short file took a member's name: $(grep '~2' "$T/k.txt")"
cmp -s "$T/k/backpx/stage2.bmp" "$T/a/src/stage2.bmp" || fail "the stage extracted after a failed extract differs"
[ -z "$(ls -A "$T/k/sprites" | grep slv-part)" ] || fail "a temporary file stayed: $(ls -A "$T/k/sprites")"

[ $fails -eq 0 ] && echo "slvtool: all checks passed"
exit $fails
