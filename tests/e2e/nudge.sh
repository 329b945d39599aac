# Several sprites moved at once from the keyboard: a level of three sprites
# is saved and opened again; a click gives the view the keyboard, Ctrl+A
# selects every sprite of the stage, three presses of Right move them, and
# Ctrl+S saves. The package lists every sprite 3 pixels to the right.
source "$(dirname "$0")/lib.sh"
[ -n "$SLVTOOL" ] || fail "slvtool is needed"

# "sprite N NAME x X y Y ..." lines of a package, as "N X Y".
sprite_places() { "$SLVTOOL" ls "$1" | awk '$1 == "sprite" { print $2, $5, $7 }'; }

# The level: one stage and three sprites, saved as level.slv.
start_editor
xdotool key Insert
dialog_type '"sea.bmp"'
xdotool key F1 Home Return
xdotool key F2 Insert
xdotool key Home shift+Down shift+Down Return
xdotool key ctrl+s
saved_as "$WORK/level.slv"
wait_for 10 level_unchanged || fail "the level was not saved"
quit_editor
sprite_places "$WORK/level.slv" > "$ARTEFACTS/nudge-before.txt"
[ "$(wc -l < "$ARTEFACTS/nudge-before.txt")" -eq 3 ] || fail "the level does not hold three sprites"

start_editor "$WORK/level.slv"
xdotool key F1 Home Return F2
xdotool mousemove "$(view_x 2)" "$(view_y 2)" click 1
xdotool key ctrl+a
xdotool key Right Right Right
wait_for 10 level_changed || { shot nudge-failed.png; fail "the arrows moved nothing"; }
xdotool key ctrl+s
wait_for 10 level_unchanged || fail "Ctrl+S did not save"
sprite_places "$WORK/level.slv" > "$ARTEFACTS/nudge-after.txt"
awk '{ print $1, $2 + 3, $3 }' "$ARTEFACTS/nudge-before.txt" | diff - "$ARTEFACTS/nudge-after.txt" \
  || fail "the sprites did not move 3 pixels right"
quit_editor
echo "1 passed, 0 failed"
