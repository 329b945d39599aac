# A new author's first level: two stages from the demo backdrops, three
# animated sprites through the picker, one dragged, a sector drawn, the
# level saved; the package is then read back with slvtool.
source "$(dirname "$0")/lib.sh"
[ -n "$SLVTOOL" ] || fail "slvtool is needed"

start_editor
# Add two stages (Insert on the Stage tab opens the bitmap dialog).
xdotool key Insert
dialog_type '"sea.bmp" "city.bmp"'
# Open the first one: F1 puts the focus in the stage list, Enter opens it.
xdotool key F1 Home Return
sleep 0.5
# Three sprites through the picker: F2, Insert, select three files, Enter.
xdotool key F2 Insert
sleep 0.5
xdotool key Home shift+Down shift+Down Return
sleep 0.5
# Select the first sprite in the list and drag it with Ctrl held, which
# moves the selected sprite wherever the pointer grabs it.
xdotool key F2 Home
sleep 0.3
xdotool mousemove "$(view_x 200)" "$(view_y 150)" keydown ctrl mousedown 1
xdotool mousemove "$(view_x 230)" "$(view_y 170)"
sleep 0.2
xdotool mousemove "$(view_x 250)" "$(view_y 180)"
sleep 0.2
xdotool mouseup 1 keyup ctrl
# Draw a sector with the right button on the Sector tab.
xdotool key F3
xdotool mousemove "$(view_x 300)" "$(view_y 250)" mousedown 3
xdotool mousemove "$(view_x 350)" "$(view_y 290)"
sleep 0.2
xdotool mousemove "$(view_x 400)" "$(view_y 320)"
sleep 0.2
xdotool mouseup 3
# Show the sprite boxes too, then photograph the edited stage.
xdotool key F1
xdotool mousemove $((WX + 5 + 2 + 373 + 8)) $((WY + 439 + 24 + 7 + 8)) click 1
sleep 1
shot editing.png
# Save with the Save button on the Stage tab.
xdotool mousemove $((WX + 5 + 2 + 146 + 27)) $((WY + 439 + 24 + 50 + 27)) click 1
dialog_type "$WORK/mylevel.slv"
sleep 1.5
xdotool key Escape
wait_exit

PKG=$WORK/mylevel.slv
[ -f "$PKG" ] || { cat "$WORK/editor.log"; fail "no package saved"; }
"$SLVTOOL" check "$PKG" || fail "package refused"
"$SLVTOOL" ls "$PKG" > "$ARTEFACTS/editing-package.txt"
cat "$ARTEFACTS/editing-package.txt"
grep -q 'sea.bmp' "$ARTEFACTS/editing-package.txt" || fail "stage sea.bmp missing"
grep -q 'city.bmp' "$ARTEFACTS/editing-package.txt" || fail "stage city.bmp missing"
grep -qE 'Sector1 .*300.*250.*100.*70' "$ARTEFACTS/editing-package.txt" || fail "sector missing"
grep -qE '250.*180' "$ARTEFACTS/editing-package.txt" || fail "dragged sprite not at 250,180"

# The same level with its first sprite moved to the far corner of the int
# range: it opens, its stage opens and draws, and the editor keeps running.
entries=0; flags=0
while [ $flags -lt 2 ]; do
  flag=$(od -An -tu1 -j $((entries * 64 + 60)) -N1 "$PKG" | tr -d ' ')
  entries=$((entries + 1))
  [ "$flag" = 1 ] && flags=$((flags + 1))
  [ $entries -lt 1000 ] || fail "no end of the header in $PKG"
done
FAR=$WORK/far.slv
cp "$PKG" "$FAR"
sprite1=$((entries * 64 + 120000))  # sprite 1 of stage 1 opens the sprite table
printf '\x00\x00\x00\x80\x00\x00\x00\x80' | dd of="$FAR" bs=1 seek=$((sprite1 + 28)) conv=notrunc status=none
"$SLVTOOL" ls "$FAR" | grep -q -- '-2147483648' || fail "the far sprite was not written"
start_editor "$FAR"
sleep 1  # the package opens on the first frame, its progress panel shows for a second
VIEW="600x380+$(view_x 20)+$(view_y 50)"  # below the numbers
import -window root -crop "$VIEW" "$ARTEFACTS/far-before.png"
xdotool key F1 Home Return
sleep 1
kill -0 "$EDITOR_PID" 2>/dev/null || { cat "$WORK/editor.log"; fail "the editor died on a sprite at -2147483648"; }
import -window root -crop "$VIEW" "$ARTEFACTS/far-stage.png"
! compare -metric AE "$ARTEFACTS/far-before.png" "$ARTEFACTS/far-stage.png" null: 2>/dev/null \
  || fail "the stage with the far sprite did not open"
xdotool key Escape
wait_exit
echo "2 passed, 0 failed"
