# Shared steps of the end-to-end scripts: a fresh home folder copied from
# the demo, the editor started in it, and small checks.
set -euo pipefail

EDITOR_BIN=$1
DEMO=$2
ARTEFACTS=$3
SLVTOOL=${4:-}
mkdir -p "$ARTEFACTS"

WORK=$(mktemp -d)
HOME_DIR=$WORK/home
# Recovery packages go to a state folder of this run, never the user's.
export XDG_STATE_HOME=$WORK/state
export XDG_CONFIG_HOME=$WORK/config
export XDG_RUNTIME_DIR=$WORK/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
# The scripts drive the classic 800x600 window, whose view has a fixed place;
# window.sh drives the desktop window.
classic_window() { mkdir -p "$XDG_CONFIG_HOME/slvedit"; printf '[General]\nclassicWindow=%s\n' "$1" > "$XDG_CONFIG_HOME/slvedit/window.ini"; }
classic_window true
chmod 700 "$XDG_RUNTIME_DIR"
cp -r "$DEMO" "$HOME_DIR"
EDITOR_PID=
cleanup() {
  if [ -n "$EDITOR_PID" ] && kill -0 "$EDITOR_PID" 2>/dev/null; then kill "$EDITOR_PID"; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Runs a command every tenth of a second until it succeeds; false when it
# has not within SECONDS.
wait_for() {
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}
editor_ended() { ! kill -0 "$EDITOR_PID" 2>/dev/null; }
# The editor's main window, once it is on the screen (WID).
editor_window() {
  WID=$(xdotool search --onlyvisible --pid "$EDITOR_PID" --name '^Sublevel editor' 2>/dev/null | head -n1 || true)
  [ -n "$WID" ] || editor_ended
}
# The view has drawn a frame: its numbers (white) are on the screen.
frame_shown() {
  local pixels
  pixels=$(import -window root -crop "40x12+$(view_x 0)+$(view_y 0)" txt:- 2>/dev/null) || return 1
  [[ $pixels == *'#FFFFFF'* ]]
}
# A visible window of the editor other than the main one (a file dialog or
# a question), if any.
dialog_window() { xdotool search --onlyvisible --pid "$EDITOR_PID" --name . 2>/dev/null | grep -vx "$WID" | head -n1 || true; }
dialog_open() { [ -n "$(dialog_window)" ]; }
dialog_closed() { [ -z "$(dialog_window)" ]; }
frame_or_dialog() { dialog_open || frame_shown; }
# Gives window $1 the keyboard and waits until it has it. Without a window
# manager a closed dialog leaves the keyboard with the root window.
focus_window() { timeout 10 xdotool windowfocus --sync "$1" || fail "window $1 did not take the keyboard"; }

# Starts the editor in the home folder and waits until its window (WID) shows
# the first frame.
start_editor() {
  (cd "$HOME_DIR" && exec "$EDITOR_BIN" "$@") > "$WORK/editor.log" 2>&1 &
  EDITOR_PID=$!
  WID=
  wait_for 30 editor_window || { cat "$WORK/editor.log" >&2; fail "no editor window appeared"; }
  if editor_ended; then
    wait "$EDITOR_PID" && status=0 || status=$?
    EDITOR_PID=; cat "$WORK/editor.log" >&2; fail "the editor ended at start (exit status $status)"
  fi
  eval "$(xwininfo -id "$WID" | awk '/Absolute upper-left X/{print "WX="$4} /Absolute upper-left Y/{print "WY="$4} /Width:/{print "WW="$2} /Height:/{print "WH="$2}')"
  # The first frame, or a message that start-up shows before it.
  wait_for 30 frame_or_dialog || fail "the view showed no frame"
}

wait_exit() {
  wait_for 10 editor_ended || fail "the editor did not close"
  wait "$EDITOR_PID" || true
  EDITOR_PID=
}
# Esc on an unchanged level ends the editor.
quit_editor() { xdotool key Escape; wait_exit; }

# Screen position of a point of the scene view (view pixels).
view_x() { echo $((WX + 6 + $1)); }
view_y() { echo $((WY + 7 + $1)); }

shot() { import -window root "$ARTEFACTS/$1"; }
# The colour of view point (x, y), as ImageMagick's text form gives it.
view_pixel() { import -window root -crop "1x1+$(view_x "$1")+$(view_y "$2")" txt:- 2>/dev/null | tail -n1; }

# Types a path into the file dialog once it is open, confirms it and waits
# until the dialog is gone.
dialog_type() {
  wait_for 10 dialog_open || fail "no file dialog appeared"
  xdotool key ctrl+a
  xdotool type --delay 5 "$1"
  xdotool key Return
  wait_for 10 dialog_closed || fail "the file dialog stayed"
  focus_window "$WID"
}
# Saving in the file dialog: the package is there once it has its name.
saved_as() { dialog_type "$1"; wait_for 10 test -e "$1" || fail "$1 was not written"; }

# The title marks unsaved changes with a '*'.
level_changed() { [[ $(xdotool getwindowname "$WID" 2>/dev/null) == *'*'* ]]; }
level_unchanged() { ! level_changed; }
# The line of the bird.bmp sprite in a package listing.
sprite_line() { "$SLVTOOL" ls "$1" | grep -F bird.bmp | tail -n1; }
# Drags the selected sprite (Ctrl held keeps the selection) from view point
# (100, 100) by (dx, dy), once the level shows it moved.
ctrl_drag_by() {
  xdotool mousemove "$(view_x 100)" "$(view_y 100)" keydown ctrl mousedown 1
  xdotool mousemove "$(view_x $((100 + $1 / 2)))" "$(view_y $((100 + $2 / 2)))"
  wait_for 10 level_changed || { shot drag-failed.png; fail "the drag moved nothing"; }
  xdotool mousemove "$(view_x $((100 + $1)))" "$(view_y $((100 + $2)))"
  xdotool mouseup 1 keyup ctrl
}
