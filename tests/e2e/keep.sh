# Work is kept: an opened level's bitmap files are written beside it, also
# when it is saved at once; Ctrl+S writes an opened level into its own
# package with no dialog; a sprite strip saved again by a paint program
# shows in the view;
# an editor ended by SIGTERM half a second after a drag leaves a recovery
# package that holds the drag.
source "$(dirname "$0")/lib.sh"
[ -n "$SLVTOOL" ] || fail "slvtool is needed"
PKG=$WORK/level.slv

# Starts the editor on the package, opens its first stage and selects its
# first sprite.
open_stage_and_sprite() {
  start_editor "$PKG"
  focus_window "$WID"
  xdotool key F1 Home Return
  xdotool key F2 Home
}

# A level of one stage and one sprite, saved through the dialog.
start_editor
xdotool key Insert
dialog_type '"sea.bmp"'
xdotool key F1 Home Return
xdotool key F2 Insert
xdotool key End Home Return
xdotool key ctrl+s
saved_as "$PKG"
quit_editor
BEFORE=$(sprite_line "$PKG")
[ -n "$BEFORE" ] || fail "no sprite in the package"

# Opened from a folder of its own, the level shows at once and its bitmap
# files follow: the same files the tool extracts.
mkdir -p "$WORK/fresh" "$WORK/tool"
cp "$PKG" "$WORK/fresh/level.slv"
cp "$PKG" "$WORK/tool/level.slv"
"$SLVTOOL" extract "$WORK/tool/level.slv" "$WORK/tool" > /dev/null
start_editor "$WORK/fresh/level.slv"
wait_for 10 test -f "$WORK/fresh/backpx/sea.bmp" || fail "the level's files were not written"
quit_editor
for d in sprites backpx; do
  diff -r "$WORK/tool/$d" "$WORK/fresh/$d" || fail "the files of $d differ from the tool's"
done

# Saved right after Open, while its files may still be on their way: the
# package keeps every picture, and the files follow.
mkdir -p "$WORK/fresh2"
cp "$PKG" "$WORK/fresh2/level.slv"
touch -d '1 hour ago' "$WORK/fresh2/level.slv"
start_editor "$WORK/fresh2/level.slv"
focus_window "$WID"
xdotool key ctrl+s
wait_for 10 test "$WORK/fresh2/level.slv" -nt "$PKG" || fail "Ctrl+S after Open did not save"
wait_for 10 test -f "$WORK/fresh2/backpx/sea.bmp" || fail "the files were not written after the Save"
quit_editor
"$SLVTOOL" check "$WORK/fresh2/level.slv" > /dev/null || fail "the package saved after Open does not pass check"
mkdir -p "$WORK/tool2"
"$SLVTOOL" extract "$WORK/fresh2/level.slv" "$WORK/tool2" > /dev/null
for d in sprites backpx; do
  diff -r "$WORK/tool/$d" "$WORK/tool2/$d" || fail "the pictures saved after Open differ in $d"
done

# Opened, dragged, Ctrl+S: the package has the move, no dialog appeared, and
# Esc ends the editor at once.
open_stage_and_sprite
ctrl_drag_by 40 30
xdotool key ctrl+s
wait_for 10 level_unchanged || fail "Ctrl+S left the level unsaved"
dialog_closed || fail "Ctrl+S opened a dialog"
AFTER=$(sprite_line "$PKG")
[ "$BEFORE" != "$AFTER" ] || fail "the package does not hold the move: $AFTER"
quit_editor

# The strip saved again in another colour shows within two seconds.
read -r _ _ _ _ X _ Y _ < <(echo "$AFTER")
open_stage_and_sprite
STRIP=$WORK/sprites/bird.bmp
[ -f "$STRIP" ] || fail "no extracted strip at $STRIP"
SIZE=$(identify -format '%wx%h' "$STRIP")
convert -size "$SIZE" xc:'#10e020' -type TrueColor "BMP3:$WORK/green.bmp"
green_shown() { [[ $(view_pixel $((X + 3)) $((Y + 3))) == *'srgb(16,224,32)'* ]]; }
green_shown && fail "the sprite was green before its strip was repainted"
T0=$(date +%s%N)
mv "$WORK/green.bmp" "$STRIP"
wait_for 5 green_shown || { shot keep-strip.png; fail "the repainted strip did not show"; }
MS=$(( ($(date +%s%N) - T0) / 1000000 ))
echo "the repainted strip showed after $MS ms"
[ "$MS" -le 2000 ] || fail "the repainted strip took $MS ms to show"
shot keep-strip.png
quit_editor

# A drag, then SIGTERM as soon as the title shows the change: the editor
# ends and leaves a recovery package holding the drag.
open_stage_and_sprite
ctrl_drag_by 60 20
wait_for 5 level_changed || fail "the drag did not change the level"
kill -TERM "$EDITOR_PID"
wait_exit
RECOVERY=$(ls "$XDG_STATE_HOME"/slvedit/session-*/recovery.slv 2>/dev/null | head -n1)
[ -n "$RECOVERY" ] || fail "SIGTERM left no recovery package"
KEPT=$(sprite_line "$RECOVERY")
[ "$KEPT" != "$(sprite_line "$PKG")" ] || fail "the recovery package does not hold the drag: $KEPT"
echo "3 passed, 0 failed"
