# A new author's first level in the running editor: two stages from the
# demo backdrops, three sprites through the picker, a sector drawn, the level
# saved and read back with slvtool. Then undo and the unsaved-changes
# question: a sprite is dragged, the drag undone with Ctrl+Z and the level
# saved, so the package has the sprite where it was before the drag; Esc
# after another drag asks before anything is lost, and the editor runs on
# until answered. Named on the command line, the package opens at start.
source "$(dirname "$0")/lib.sh"
[ -n "$SLVTOOL" ] || fail "slvtool is needed"

# The Save button on the Stage tab.
click_save() {
  xdotool key F1
  xdotool mousemove $((WX + 5 + 2 + 146 + 27)) $((WY + 439 + 24 + 50 + 27)) click 1
}
# The Save as button beside it.
click_save_as() {
  xdotool key F1
  xdotool mousemove $((WX + 5 + 2 + 207 + 31)) $((WY + 439 + 24 + 50 + 27)) click 1
}
# The line of sprite 1 in a package listing.
sprite_line() { "$SLVTOOL" ls "$1" | grep -F "bird.bmp" | tail -n1; }
# The title marks unsaved changes with a '*'.
level_changed() { [[ $(xdotool getwindowname "$WID" 2>/dev/null) == *'*'* ]]; }
level_unchanged() { ! level_changed; }
# Drags the selected sprite (Ctrl held) so that it ends at view point (x, y),
# once the level shows it moved.
ctrl_drag_to() {
  xdotool mousemove "$(view_x 100)" "$(view_y 100)" keydown ctrl mousedown 1
  xdotool mousemove "$(view_x $(( ($1 + 100) / 2 )))" "$(view_y $(( ($2 + 100) / 2 )))"
  wait_for 10 level_changed || fail "the drag moved nothing"
  xdotool mousemove "$(view_x "$1")" "$(view_y "$2")"
  xdotool mouseup 1 keyup ctrl
}
question_window() { xdotool search --name 'Unsaved changes' 2>/dev/null | head -n1 || true; }
question_open() { [ -n "$(question_window)" ]; }
question_closed() { [ -z "$(question_window)" ]; }
# Saving in the file dialog: the package is there once it has its name.
saved_as() { dialog_type "$1"; wait_for 10 test -e "$1" || fail "$1 was not written"; }

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
xdotool key F2 End Home  # the first row selected, whichever row was current
# Saved once as it stands: the sprite's first place.
click_save
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
xdotool key F2 End Home  # the first row selected, whichever row was current
ctrl_drag_to 250 180
xdotool key ctrl+z
wait_for 10 level_unchanged || fail "Ctrl+Z did not undo the drag"
click_save_as
saved_as "$WORK/undone.slv"
UNDONE=$(sprite_line "$WORK/undone.slv")
echo "before the drag: $FIRST"
echo "after undo:      $UNDONE"
[ "$FIRST" = "$UNDONE" ] || fail "the undone drag was saved"

# Another drag, then Esc: the question, and the editor still runs.
xdotool key F2 End Home  # the first row selected, whichever row was current
ctrl_drag_to 300 200
xdotool key Escape
wait_for 10 question_open || fail "Esc on a changed level asked nothing"
Q=$(question_window)
shot undo-question.png
import -window "$Q" "$ARTEFACTS/undo-question-box.png" || true
kill -0 "$EDITOR_PID" 2>/dev/null || fail "the editor ended without an answer"
# Cancel (Esc in the question) keeps the editor and the level.
focus_window "$Q"
xdotool key Escape
wait_for 10 question_closed || fail "the question stayed after Cancel"
kill -0 "$EDITOR_PID" 2>/dev/null || fail "Cancel ended the editor"
# Esc again, and Save (the default button): saved into its package, then closed.
focus_window "$WID"
xdotool key Escape
wait_for 10 question_open || fail "the second Esc asked nothing"
Q=$(question_window)
focus_window "$Q"
xdotool key Return
wait_exit
"$SLVTOOL" check "$WORK/undone.slv" || fail "package refused"
LAST=$(sprite_line "$WORK/undone.slv")
echo "saved at close:  $LAST"
echo "$LAST" | grep -qE '300.*200' || fail "Save in the question did not save the dragged sprite"

# A package named on the command line opens at start.
start_editor "$WORK/undone.slv"
[[ $(xdotool getwindowname "$WID") == *' - undone.slv' ]] || fail "the package on the command line did not open"
xdotool key Escape
wait_exit
echo "2 passed, 0 failed"
