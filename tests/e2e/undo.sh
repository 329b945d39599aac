# A new author's first level in the running editor: two stages from the
# demo backdrops, three sprites through the picker, a sector drawn, the level
# saved and read back with slvtool. Then undo and the unsaved-changes
# question: a sprite is dragged, the drag undone with Ctrl+Z and the level
# saved, so the package has the sprite where it was before the drag; Esc
# after another drag asks before anything is lost, and the editor runs on
# until answered. Named on the command line, the package opens at start.
source "$(dirname "$0")/lib.sh"
[ -n "$SLVTOOL" ] || fail "slvtool is needed"

# Clicks the Save button on the Stage tab (Save as is beside it), at
# window x $1.
click_stage_button() {
  xdotool key F1
  xdotool mousemove $((WX + $1)) $((WY + 439 + 24 + 50 + 27)) click 1
}
SAVE_X=$((5 + 2 + 146 + 27))
SAVE_AS_X=$((5 + 2 + 207 + 31))
# Selects the first row of the Sprite tab, whichever row was current.
select_first_sprite() { xdotool key F2 End Home; }
question_window() { xdotool search --name 'Unsaved changes' 2>/dev/null | head -n1 || true; }
question_open() { [ -n "$(question_window)" ]; }
question_closed() { [ -z "$(question_window)" ]; }
# Esc on the changed level, then the question (Q) with the keyboard.
ask_question() {
  xdotool key Escape
  wait_for 10 question_open || fail "$1"
  Q=$(question_window)
  focus_window "$Q"
}

start_editor
# Two stages (Insert on the Stage tab opens the bitmap dialog); F1 puts the
# focus in the stage list and Enter opens the first.
xdotool key Insert
dialog_type '"sea.bmp" "city.bmp"'
xdotool key F1 Home Return
# Three sprites through the picker: F2, Insert, select three files, Enter.
xdotool key F2 Insert
xdotool key Home shift+Down shift+Down Return
# A sector drawn with the right button on the Sector tab.
xdotool key F3
xdotool mousemove "$(view_x 300)" "$(view_y 250)" mousedown 3
xdotool mousemove "$(view_x 350)" "$(view_y 290)"
xdotool mousemove "$(view_x 400)" "$(view_y 320)"
xdotool mouseup 3
select_first_sprite
# Saved once as it stands: the sprite's first place.
click_stage_button "$SAVE_X"
saved_as "$WORK/first.slv"
"$SLVTOOL" check "$WORK/first.slv" || fail "package refused"
"$SLVTOOL" ls "$WORK/first.slv" > "$ARTEFACTS/first-package.txt"
cat "$ARTEFACTS/first-package.txt"
grep -q 'sea.bmp' "$ARTEFACTS/first-package.txt" || fail "stage sea.bmp missing"
grep -q 'city.bmp' "$ARTEFACTS/first-package.txt" || fail "stage city.bmp missing"
grep -qE 'Sector1 .*300.*250.*100.*70' "$ARTEFACTS/first-package.txt" || fail "sector missing"
FIRST=$(sprite_line "$WORK/first.slv")
[ -n "$FIRST" ] || fail "no sprite in the first package"

# Drag, undo, save under another name (Save as: Save itself now writes first.slv).
select_first_sprite
ctrl_drag_by 150 80
xdotool key ctrl+z
wait_for 10 level_unchanged || fail "Ctrl+Z did not undo the drag"
click_stage_button "$SAVE_AS_X"
saved_as "$WORK/undone.slv"
UNDONE=$(sprite_line "$WORK/undone.slv")
[ "$FIRST" = "$UNDONE" ] || fail "the undone drag was saved: \"$FIRST\" became \"$UNDONE\""

# Another drag, then Esc: the question, and the editor still runs.
select_first_sprite
ctrl_drag_by 200 100
ask_question "Esc on a changed level asked nothing"
shot undo-question.png
import -window "$Q" "$ARTEFACTS/undo-question-box.png" || true
editor_ended && fail "the editor ended without an answer"
# Cancel (Esc in the question) keeps the editor and the level.
xdotool key Escape
wait_for 10 question_closed || fail "the question stayed after Cancel"
editor_ended && fail "Cancel ended the editor"
# Esc again, and Save (the default button): saved into its package, then closed.
focus_window "$WID"
ask_question "the second Esc asked nothing"
xdotool key Return
wait_exit
"$SLVTOOL" check "$WORK/undone.slv" || fail "package refused"
LAST=$(sprite_line "$WORK/undone.slv")
[[ $LAST =~ 300.*200 ]] || fail "Save in the question did not save the dragged sprite: $LAST"

# A package named on the command line opens at start.
start_editor "$WORK/undone.slv"
[[ $(xdotool getwindowname "$WID") == *' - undone.slv' ]] || fail "the package on the command line did not open"
quit_editor
echo "2 passed, 0 failed"
