# Work is kept: Ctrl+S writes an opened level into its own package with no
# dialog; a sprite strip saved again by a paint program shows in the view;
# an editor ended by SIGTERM half a second after a drag leaves a recovery
# package that holds the drag.
source "$(dirname "$0")/lib.sh"
[ -n "$SLVTOOL" ] || fail "slvtool is needed"
export XDG_STATE_HOME=$WORK/state

level_changed() { [[ $(xdotool getwindowname "$WID" 2>/dev/null) == *'*'* ]]; }
level_unchanged() { ! level_changed; }
sprite_line() { "$SLVTOOL" ls "$1" | grep -F "bird.bmp" | grep sprite | tail -n1; }
# Drags the selected sprite (Ctrl held keeps the selection) by (dx, dy).
ctrl_drag_by() {
  xdotool mousemove "$(view_x 100)" "$(view_y 100)" keydown ctrl mousedown 1
  xdotool mousemove "$(view_x $((100 + $1 / 2)))" "$(view_y $((100 + $2 / 2)))"
  wait_for 10 level_changed || { shot keep-drag.png; fail "the drag moved nothing"; }
  xdotool mousemove "$(view_x $((100 + $1)))" "$(view_y $((100 + $2)))"
  xdotool mouseup 1 keyup ctrl
}
# Opens the package's first stage and selects its first sprite.
open_stage_and_sprite() {
  focus_window "$WID"
  xdotool key F1 Home Return
  xdotool key F2 Home
}
PKG=$WORK/level.slv

# A level of one stage and one sprite, saved through the dialog.
start_editor
xdotool key Insert
dialog_type '"sea.bmp"'
xdotool key F1 Home Return
xdotool key F2 Insert
xdotool key End Home Return
xdotool key ctrl+s
dialog_type "$PKG"
wait_for 10 test -e "$PKG" || fail "the level was not saved"
xdotool key Escape
wait_exit
BEFORE=$(sprite_line "$PKG")
[ -n "$BEFORE" ] || fail "no sprite in the package"

# Opened, dragged, Ctrl+S: the package has the move, no dialog appeared, and
# Esc ends the editor at once.
start_editor "$PKG"
open_stage_and_sprite
ctrl_drag_by 40 30
xdotool key ctrl+s
wait_for 10 level_unchanged || fail "Ctrl+S left the level unsaved"
dialog_closed || fail "Ctrl+S opened a dialog"
AFTER=$(sprite_line "$PKG")
echo "before: $BEFORE"
echo "after:  $AFTER"
[ "$BEFORE" != "$AFTER" ] || fail "the package does not hold the move"
xdotool key Escape
wait_exit

# The strip saved again in another colour shows within two seconds.
read -r _ _ _ _ X _ Y _ < <(echo "$AFTER")
start_editor "$PKG"
open_stage_and_sprite
STRIP=$WORK/sprites/bird.bmp
[ -f "$STRIP" ] || fail "no extracted strip at $STRIP"
SIZE=$(identify -format '%wx%h' "$STRIP")
convert -size "$SIZE" xc:'#10e020' -type TrueColor "BMP3:$WORK/green.bmp"
green_shown() {
  local pixel
  pixel=$(import -window root -crop "1x1+$(view_x $((X + 3)))+$(view_y $((Y + 3)))" txt:- 2>/dev/null) || return 1
  [[ $pixel == *'srgb(16,224,32)'* ]]
}
green_shown && fail "the sprite was green before its strip was repainted"
T0=$(date +%s%N)
mv "$WORK/green.bmp" "$STRIP"
wait_for 5 green_shown || { shot keep-strip.png; fail "the repainted strip did not show"; }
MS=$(( ($(date +%s%N) - T0) / 1000000 ))
echo "the repainted strip showed after $MS ms"
[ "$MS" -le 2000 ] || fail "the repainted strip took $MS ms to show"

shot keep-strip.png
xdotool key Escape
wait_exit

# A drag, then SIGTERM half a second later: the editor ends and leaves a
# recovery package holding the drag.
start_editor "$PKG"
open_stage_and_sprite
ctrl_drag_by 60 20
sleep 0.5
kill -TERM "$EDITOR_PID"
wait_exit
RECOVERY=$(ls "$XDG_STATE_HOME"/slvedit/session-*/recovery.slv 2>/dev/null | head -n1)
[ -n "$RECOVERY" ] || fail "SIGTERM left no recovery package"
KEPT=$(sprite_line "$RECOVERY")
echo "kept:   $KEPT"
[ "$KEPT" != "$(sprite_line "$PKG")" ] || fail "the recovery package does not hold the drag"
echo "3 passed, 0 failed"
