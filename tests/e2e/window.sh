# The desktop window at a 2x desktop scale on a 1920x1080 screen with a
# window manager: the whole window is on the screen, and making it larger
# makes the view larger. Run with XVFB_SCREEN=1920x1080x24.
source "$(dirname "$0")/lib.sh"

command -v openbox >/dev/null || fail "openbox is not installed (tools/install-deps.sh)"
classic_window false
openbox --sm-disable > "$WORK/openbox.log" 2>&1 &
WM_PID=$!
trap 'kill "$WM_PID" 2>/dev/null || true; cleanup' EXIT
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
wait_for 30 wm_ready || fail "openbox did not start"

export QT_SCALE_FACTOR=2
(cd "$HOME_DIR" && exec "$EDITOR_BIN") > "$WORK/editor.log" 2>&1 &
EDITOR_PID=$!
WID=
wait_for 30 editor_window || { cat "$WORK/editor.log" >&2; fail "no editor window appeared"; }
geometry() { eval "$(xdotool getwindowgeometry --shell "$WID")"; }
# The pointer's colour at screen point (x, y).
screen_pixel() { import -window root -crop "1x1+$1+$2" txt:- 2>/dev/null | tail -n1 | grep -o '#[0-9A-F]\{6\}'; }
framed() { [ "$(xprop -id "$WID" _NET_FRAME_EXTENTS 2>/dev/null | grep -c '=')" = 1 ]; }
wait_for 10 framed || fail "the window manager gave the window no frame"
geometry
echo "window at $X,$Y, ${WIDTH}x$HEIGHT"
shot window-scale2.png
[ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le 1920 ] && [ $((Y + HEIGHT)) -le 1080 ] ||
  fail "the window (${WIDTH}x$HEIGHT at $X,$Y) is not wholly on the 1920x1080 screen"

# The smallest window first (the window manager keeps it at its minimum):
# a point near its right edge is in the lists.
xdotool windowsize "$WID" 1000 700
FIRST_WIDTH=$WIDTH
shrunk() { geometry; [ "$WIDTH" -lt "$FIRST_WIDTH" ]; }
wait_for 10 shrunk || fail "the window did not get smaller than $FIRST_WIDTH pixels"
SMALL_WIDTH=$WIDTH
PX=$((X + WIDTH - 160)) PY=$((Y + 300))
in_lists() { [ "$(screen_pixel "$PX" "$PY")" = "#FFFFFF" ]; }
wait_for 10 in_lists || { shot window-small.png; fail "no list at $PX,$PY"; }
# Larger: the view now reaches past that point and draws the stage there.
xdotool windowsize "$WID" 1880 1000
grown() { geometry; [ "$WIDTH" -gt "$SMALL_WIDTH" ]; }
wait_for 10 grown || fail "the window did not grow"
in_view() { ! in_lists; }
wait_for 10 in_view || { shot window-large.png; fail "the view did not grow to $PX,$PY"; }
shot window-scale2-large.png
geometry
[ $((X + WIDTH)) -le 1920 ] && [ $((Y + HEIGHT)) -le 1080 ] || fail "the larger window left the screen"
xdotool key ctrl+q
wait_exit
echo "window: on screen and resizable at 2x"
